#include "MockBluez.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDeadlineTimer>
#include <QThread>
#include <stdexcept>

#include <signal.h>

namespace {

const QString kBluez = QStringLiteral("org.bluez");
const QString kMockInterface = QStringLiteral("org.bluez.Mock");
const QString kDBusMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

using ManufacturerData = QMap<quint16, QByteArray>;

QVariant path(const QString& text) { return QVariant::fromValue(QDBusObjectPath(text)); }

QString pathOf(const QDBusMessage& reply) {
    if (reply.arguments().isEmpty()) throw std::runtime_error("mock BlueZ returned no path");
    return reply.arguments().first().value<QDBusObjectPath>().path();
}

}  // namespace

MockBluez::MockBluez() {
    qDBusRegisterMetaType<ManufacturerData>();
    // ZELTO_KEEP_MOCK_LOG=1 keeps the mock's log of every call for a look afterwards.
    if (qEnvironmentVariableIsSet("ZELTO_KEEP_MOCK_LOG")) scratch_.setAutoRemove(false);
}

MockBluez::~MockBluez() { stop(); }

bool MockBluez::busAvailable() {
    // Never the machine's real system bus, where the real BlueZ lives.
    return qEnvironmentVariableIsSet("ZELTO_PRIVATE_SYSTEM_BUS") &&
           QDBusConnection::systemBus().isConnected();
}

QString MockBluez::logPath() const { return scratch_.filePath(QStringLiteral("mock-bluez.log")); }

void MockBluez::start() {
    if (!busAvailable()) throw std::runtime_error("no private system bus: run under with_mock_bus.py");
    QDBusConnectionInterface* bus = QDBusConnection::systemBus().interface();
    if (bus->isServiceRegistered(kBluez)) throw std::runtime_error("org.bluez is taken already");
    process_.setProgram(QStringLiteral(ZELTO_SYSTEM_PYTHON));
    process_.setArguments({QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                           QStringLiteral("-l"), logPath(), QStringLiteral("-t"),
                           QStringLiteral(ZELTO_MOCK_BLUEZ_TEMPLATE)});
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start();
    if (!process_.waitForStarted(5000)) throw std::runtime_error("the mock BlueZ did not start");
    const QDeadlineTimer deadline(15000);
    while (!bus->isServiceRegistered(kBluez)) {
        if (process_.state() == QProcess::NotRunning) {
            throw std::runtime_error("the mock BlueZ exited at start");
        }
        if (deadline.hasExpired()) throw std::runtime_error("the mock BlueZ never took org.bluez");
        QThread::msleep(10);
    }
}

void MockBluez::stop() {
    if (process_.state() == QProcess::NotRunning) return;
    heldSockets_.clear();
    resume();  // a stopped process takes its kill only once it runs
    process_.kill();
    process_.waitForFinished(5000);
    // Wait until the bus has noticed, so a next mock can take the name.
    const QDeadlineTimer deadline(5000);
    QDBusConnectionInterface* bus = QDBusConnection::systemBus().interface();
    while (bus && bus->isServiceRegistered(kBluez) && !deadline.hasExpired()) QThread::msleep(10);
}

QDBusMessage MockBluez::call(const QString& objectPath, const QString& interface,
                             const QString& method, const QList<QVariant>& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kBluez, objectPath, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = QDBusConnection::systemBus().call(message, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        throw std::runtime_error((method + QStringLiteral(": ") + reply.errorName() +
                                  QStringLiteral(" ") + reply.errorMessage())
                                     .toStdString());
    }
    return reply;
}

QDBusMessage MockBluez::callMock(const QString& method, const QList<QVariant>& arguments) {
    return call(QStringLiteral("/"), kMockInterface, method, arguments);
}

QString MockBluez::addAdapter(const QString& name, const QString& alias) {
    // The stock template answers with the path as a string.
    return callMock(QStringLiteral("AddAdapter"), {name, alias}).arguments().value(0).toString();
}

QString MockBluez::addDevice(const QString& address, const QString& name, const QStringList& uuids,
                             const std::map<quint16, QByteArray>& manufacturerData, int16_t rssi) {
    return addDeviceOn(QStringLiteral("hci0"), address, name, uuids, manufacturerData, rssi);
}

QString MockBluez::addDeviceOn(const QString& adapter, const QString& address, const QString& name,
                               const QStringList& uuids, const std::map<quint16, QByteArray>& manufacturerData,
                               int16_t rssi) {
    ManufacturerData data;
    for (const auto& [id, bytes] : manufacturerData) data.insert(id, bytes);
    return pathOf(callMock(QStringLiteral("AddLEDevice"),
                           {adapter, address, name, uuids, QVariant::fromValue(data),
                            QVariant::fromValue(static_cast<qint16>(rssi))}));
}

MockBluez::Vehicle MockBluez::addVehicle(const QString& address, uint32_t identifier, uint8_t model,
                                         int16_t rssi) {
    return addVehicleOn(QStringLiteral("hci0"), address, identifier, model, rssi);
}

std::vector<MockBluez::Vehicle> MockBluez::addVehicleHeardBy(const QString& address, uint32_t identifier,
                                                             uint8_t model, const std::vector<Hearing>& hearings) {
    std::vector<Vehicle> objects;
    for (const Hearing& hearing : hearings) {
        objects.push_back(addVehicleOn(hearing.adapter, address, identifier, model, hearing.rssi));
    }
    return objects;
}

MockBluez::Vehicle MockBluez::addVehicleOn(const QString& adapter, const QString& address, uint32_t identifier,
                                           uint8_t model, int16_t rssi) {
    // On the air: BE EF 00 <model> <identifier>; BlueZ keys the first two
    // bytes as the little-endian company id 0xEFBE.
    QByteArray data;
    data.append(char(0x00));
    data.append(static_cast<char>(model));
    for (int shift = 24; shift >= 0; shift -= 8) data.append(static_cast<char>(identifier >> shift));
    Vehicle vehicle;
    vehicle.device = addDeviceOn(adapter, address, QStringLiteral("Drive"), {QString::fromLatin1(kVehicleService)},
                                 {{0xEFBE, data}}, rssi);
    vehicle.service =
        pathOf(callMock(QStringLiteral("AddGattService"),
                        {path(vehicle.device), QVariant::fromValue(quint16(0x000a)),
                         QString::fromLatin1(kVehicleService)}));
    vehicle.readCharacteristic = pathOf(callMock(
        QStringLiteral("AddGattCharacteristic"),
        {path(vehicle.service), QVariant::fromValue(quint16(0x000b)), QString::fromLatin1(kReadCharacteristic),
         QStringList{QStringLiteral("read"), QStringLiteral("notify")}}));
    callMock(QStringLiteral("AddGattDescriptor"),
             {path(vehicle.readCharacteristic), QVariant::fromValue(quint16(0x000d)),
              QString::fromLatin1(kClientConfiguration)});
    vehicle.writeCharacteristic = pathOf(callMock(
        QStringLiteral("AddGattCharacteristic"),
        {path(vehicle.service), QVariant::fromValue(quint16(0x000e)), QString::fromLatin1(kWriteCharacteristic),
         QStringList{QStringLiteral("write-without-response"), QStringLiteral("write")}}));
    return vehicle;
}

void MockBluez::setConnectMode(const QString& device, const QString& mode) {
    callMock(QStringLiteral("SetConnectMode"), {path(device), mode});
}

void MockBluez::disconnectRemote(const QString& device) {
    callMock(QStringLiteral("DisconnectRemote"), {path(device)});
}

void MockBluez::emitNotification(const QString& characteristic, const QByteArray& value) {
    callMock(QStringLiteral("EmitNotification"), {path(characteristic), value});
}

std::vector<MockBluez::Write> MockBluez::writes(const QString& characteristic) {
    const QDBusMessage reply = callMock(QStringLiteral("GetWrites"), {path(characteristic)});
    std::vector<Write> list;
    const auto argument = reply.arguments().value(0).value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        QByteArray bytes;
        QVariantMap options;
        double time = 0;
        argument.beginStructure();
        argument >> bytes >> options >> time;
        argument.endStructure();
        list.push_back({std::vector<uint8_t>(bytes.begin(), bytes.end()),
                        options.value(QStringLiteral("type")).toString(), time});
    }
    argument.endArray();
    return list;
}

MockBluez::Write MockBluez::lastWrite(const QString& characteristic) {
    const QDBusMessage reply = callMock(QStringLiteral("GetLastWrite"), {path(characteristic)});
    const auto argument = reply.arguments().value(0).value<QDBusArgument>();
    QByteArray bytes;
    double time = 0;
    argument.beginStructure();
    argument >> bytes >> time;
    argument.endStructure();
    return {std::vector<uint8_t>(bytes.begin(), bytes.end()), QString(), time};
}

void MockBluez::clearWrites(const QString& characteristic) {
    callMock(QStringLiteral("ClearWrites"), {path(characteristic)});
}

void MockBluez::setWriteDelay(double seconds) { callMock(QStringLiteral("SetWriteDelay"), {seconds}); }

void MockBluez::setDisconnectDelay(double seconds) { callMock(QStringLiteral("SetDisconnectDelay"), {seconds}); }

QVariant MockBluez::property(const QString& objectPath, const QString& interface, const QString& name) {
    const QDBusMessage reply = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
                                   kBluez, objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("Get"))
                               << interface << name);
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

int MockBluez::callCount(const QString& objectPath, const QString& method) {
    const QDBusMessage reply = call(objectPath, kDBusMockInterface, QStringLiteral("GetMethodCalls"), {method});
    const auto argument = reply.arguments().value(0).value<QDBusArgument>();
    int count = 0;
    argument.beginArray();
    while (!argument.atEnd()) {
        qulonglong time = 0;
        QVariantList arguments;
        argument.beginStructure();
        argument >> time >> arguments;
        argument.endStructure();
        ++count;
    }
    argument.endArray();
    return count;
}

void MockBluez::updateProperties(const QString& objectPath, const QString& interface,
                                 const QVariantMap& changes) {
    call(objectPath, kDBusMockInterface, QStringLiteral("UpdateProperties"), {interface, changes});
}

void MockBluez::setPowered(const QString& adapter, bool powered) {
    updateProperties(adapter, QStringLiteral("org.bluez.Adapter1"), {{QStringLiteral("Powered"), powered}});
}

void MockBluez::resolveServices(const QString& device) {
    callMock(QStringLiteral("ResolveServices"), {path(device)});
}

void MockBluez::serviceChanged(const QString& device) {
    callMock(QStringLiteral("ServiceChanged"), {path(device)});
}

void MockBluez::suspend() {
    if (process_.state() == QProcess::Running) ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP);
}

void MockBluez::resume() {
    if (process_.state() == QProcess::Running) ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
}

void MockBluez::removeDevice(const QString& device) { callMock(QStringLiteral("RemoveLEDevice"), {path(device)}); }

void MockBluez::removeAdapter(const QString& name, bool withDevices) {
    callMock(withDevices ? QStringLiteral("RemoveAdapterWithDevices") : QStringLiteral("RemoveAdapter"), {name});
}

void MockBluez::unplugAdapter(const QString& name) { callMock(QStringLiteral("UnplugAdapter"), {name}); }

void MockBluez::setAdapterCapacity(const QString& name, int links, const QString& message) {
    callMock(QStringLiteral("SetAdapterCapacity"), {name, links, message});
}

void MockBluez::setRssi(const QString& device, int16_t rssi) {
    updateProperties(device, QStringLiteral("org.bluez.Device1"),
                     {{QStringLiteral("RSSI"), QVariant::fromValue(static_cast<qint16>(rssi))}});
}

void MockBluez::setPaired(const QString& device, bool paired) {
    updateProperties(device, QStringLiteral("org.bluez.Device1"), {{QStringLiteral("Paired"), paired}});
}

void MockBluez::setTrusted(const QString& device, bool trusted) {
    updateProperties(device, QStringLiteral("org.bluez.Device1"), {{QStringLiteral("Trusted"), trusted}});
}

bool MockBluez::hasObject(const QString& objectPath) {
    const QDBusMessage reply = call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                    QStringLiteral("GetManagedObjects"), {});
    const auto argument = reply.arguments().value(0).value<QDBusArgument>();
    bool found = false;
    argument.beginMap();
    while (!argument.atEnd()) {
        QDBusObjectPath held;
        QMap<QString, QVariantMap> interfaces;
        argument.beginMapEntry();
        argument >> held >> interfaces;
        argument.endMapEntry();
        found = found || held.path() == objectPath;
    }
    argument.endMap();
    return found;
}

void MockBluez::setFailure(const QString& objectPath, const QString& method, bool on) {
    callMock(QStringLiteral("SetFailure"), {path(objectPath), method, on});
}

void MockBluez::freezeFor(double seconds) {
    QDBusMessage message = QDBusMessage::createMethodCall(kBluez, QStringLiteral("/"), kMockInterface,
                                                          QStringLiteral("Freeze"));
    message.setArguments({seconds});
    QDBusConnection::systemBus().asyncCall(message);
}

namespace {

// A bus connection of its own: BlueZ tells its calls from the program's.
QDBusConnection anotherProgram() {
    return QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("another-program"));
}

}  // namespace

void MockBluez::leaveConnected(const QString& device) {
    callMock(QStringLiteral("LeaveConnected"), {QVariant::fromValue(QDBusObjectPath(device))});
}

void MockBluez::holdWriteSocket(const QString& characteristic) {
    QDBusMessage message = QDBusMessage::createMethodCall(kBluez, characteristic,
                                                          QStringLiteral("org.bluez.GattCharacteristic1"),
                                                          QStringLiteral("AcquireWrite"));
    message.setArguments({QVariantMap()});
    const QDBusMessage reply = anotherProgram().call(message, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        throw std::runtime_error("AcquireWrite: " + reply.errorMessage().toStdString());
    }
    heldSockets_.push_back(reply.arguments().value(0).value<QDBusUnixFileDescriptor>());
}

void MockBluez::connectAsAnotherProgram(const QString& device) {
    anotherProgram().asyncCall(
        QDBusMessage::createMethodCall(kBluez, device, QStringLiteral("org.bluez.Device1"), QStringLiteral("Connect")),
        30000);
}
