// What real BlueZ does that the happy road does not show, on the mock: services
// resolved before their objects exist (or without them), a Service Changed
// under a live link, empty notifications, links the radio gives up on, a
// Bluetooth toggle in the middle of a connection, a vehicle that fails under
// a new address each time, and signals forged by another program on the bus.
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include "BluezRadioFixture.h"

namespace {

using namespace bluez_test;

using ManufacturerData = QMap<quint16, QDBusVariant>;
using Interfaces = QMap<QString, QVariantMap>;

const QString kDevice = QStringLiteral("org.bluez.Device1");

QString addressOf(int n) { return QStringLiteral("C0:11:22:33:55:%1").arg(n, 2, 16, QLatin1Char('0')).toUpper(); }

class BluezRaces : public BluezRadio {
protected:
    // A vehicle whose link came up through the race, then a speed it drives at.
    void drives(uint32_t identifier, const MockBluez::Vehicle& car, uint16_t speed) {
        ASSERT_TRUE(waitForWrites(car.writeCharacteristic, 2));
        EXPECT_EQ(bytesOf(mock_.writes(car.writeCharacteristic)), (std::vector<Bytes>{kSetSdkMode, kGetVersion}));
        const auto vehicle = controller_->findVehicleById(identifier);
        ASSERT_NE(vehicle, nullptr);
        vehicle->setSpeed(speed);
        EXPECT_TRUE(waitForLastWrite(car.writeCharacteristic, setSpeedFrame(speed)));
    }
};

TEST_F(BluezRaces, ServicesResolvedBeforeTheirObjectsExistStillDrive) {
    beginScan();
    struct Case {
        const char* mode;
        bool resolveByHand;  // the objects come only once BlueZ has said the services are resolved
    };
    const std::vector<Case> cases{{"early", false}, {"empty", true}};
    uint32_t identifier = 0x5100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ++identifier;
        const MockBluez::Vehicle car = mock_.addVehicle(addressOf(static_cast<int>(identifier & 0xff)), identifier, 9, -50);
        mock_.setConnectMode(car.device, QString::fromLatin1(c.mode));
        if (c.resolveByHand) {
            ASSERT_TRUE(waitFor([&] { return mock_.property(car.device, kDevice, QStringLiteral("ServicesResolved")).toBool(); }));
            mock_.resolveServices(car.device);
        }
        drives(identifier, car, 300);
    }
    EXPECT_EQ(log_.count("Discovered no service"), 0);
    EXPECT_EQ(log_.count("Failed to connect"), 0);
    EXPECT_EQ(log_.count("Disconnected"), 0);
}

class BluezRacesOnTransports : public BluezRaces, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        BluezRaces::SetUp();
        if (IsSkipped()) return;
        beginScan();
        if (!GetParam()) {
            // BlueZ refuses the sockets: D-Bus carries everything.
            const QString service = QStringLiteral("/org/bluez/hci0/dev_C0_11_22_33_55_01/service000a");
            mock_.setFailure(service + QStringLiteral("/char000b"), QStringLiteral("AcquireNotify"), true);
            mock_.setFailure(service + QStringLiteral("/char000e"), QStringLiteral("AcquireWrite"), true);
        }
        car_ = driveableVehicle(0x5201, addressOf(1));
        vehicle_ = controller_->findVehicleById(0x5201);
    }
    const char* subscription() const { return GetParam() ? "AcquireNotify" : "StartNotify"; }

    MockBluez::Vehicle car_;
    std::shared_ptr<Vehicle> vehicle_;
};

TEST_P(BluezRacesOnTransports, AServiceChangeUnderALiveLinkKeepsTheVehicleAndItsChannels) {
    ASSERT_EQ(mock_.callCount(car_.readCharacteristic, subscription()), 1);
    mock_.serviceChanged(car_.device);
    vehicle_->setSpeed(400);  // waits while the services change, then goes
    ASSERT_TRUE(waitForLastWrite(car_.writeCharacteristic, setSpeedFrame(400)));
    // Subscribed again, on the characteristic's new object.
    ASSERT_TRUE(waitFor([&] { return mock_.callCount(car_.readCharacteristic, subscription()) == 1; }));
    mock_.emitNotification(car_.readCharacteristic, QByteArray::fromHex("03192143"));
    EXPECT_TRUE(waitFor([&] { return log_.contains("Version response 0x4321"); }));
    EXPECT_EQ(controller_->findVehicleById(0x5201), vehicle_);
    EXPECT_EQ(log_.count("Disconnected"), 0);
    EXPECT_EQ(mock_.callCount(car_.device, "Connect"), 1);
}

TEST_P(BluezRacesOnTransports, AnEmptyNotificationIsAValueAndKeepsTheLink) {
    mock_.emitNotification(car_.readCharacteristic, QByteArray());
    ASSERT_TRUE(waitFor([&] { return log_.contains("unknown message recieved - 0x0000, size 0"); }));
    mock_.emitNotification(car_.readCharacteristic, QByteArray::fromHex("03193412"));
    EXPECT_TRUE(waitFor([&] { return log_.contains("Version response 0x1234"); }));
    vehicle_->setSpeed(250);
    EXPECT_TRUE(waitForLastWrite(car_.writeCharacteristic, setSpeedFrame(250)));
    EXPECT_EQ(log_.count("Disconnected"), 0);
}

TEST_P(BluezRacesOnTransports, FramesTheLinkCannotCarryAreRefusedWithAReasonAndTheNextOneGoes) {
    // The mock's ATT MTU is 23: 20 bytes fit a write without response.
    const uint8_t frame[21] = {20, 0x24};
    struct Case {
        uint8_t length;
        const char* reason;
    };
    const std::vector<Case> cases{
        {0, "An empty value cannot be written without response."},
        {21, "A value of 21 bytes is longer than the link carries (20)."},
    };
    for (const Case& c : cases) {
        vehicle_->sendMessageWithLength(frame, c.length);
        EXPECT_TRUE(waitFor([&] { return log_.contains(c.reason); })) << c.reason;
    }
    vehicle_->sendMessageWithLength(frame, 20);
    EXPECT_TRUE(waitForLastWrite(car_.writeCharacteristic, Bytes(frame, frame + 20)));
    EXPECT_EQ(mock_.writes(car_.writeCharacteristic).size(), 1u);
}

TEST_P(BluezRacesOnTransports, NotificationsSwitchedOffWhileASubscriptionIsOnItsWayStayOff) {
    const auto peripheral = peripheralOf(0x5201);
    const auto read = vehicle_->readChannel();
    const QString flag = GetParam() ? QStringLiteral("NotifyAcquired") : QStringLiteral("Notifying");
    const auto on = [&] {
        return mock_.property(car_.readCharacteristic, QStringLiteral("org.bluez.GattCharacteristic1"), flag).toBool();
    };
    peripheral->setNotifyValueForCharacteristic(false, read);
    peripheral->setNotifyValueForCharacteristic(true, read);
    peripheral->setNotifyValueForCharacteristic(false, read);  // before the answer to the one before
    // BlueZ is asked for the socket first on either transport.
    ASSERT_TRUE(waitFor([&] { return mock_.callCount(car_.readCharacteristic, "AcquireNotify") == 2 && !on(); }));
    mock_.emitNotification(car_.readCharacteristic, QByteArray::fromHex("03191111"));
    peripheral->setNotifyValueForCharacteristic(true, read);
    ASSERT_TRUE(waitFor(on));
    mock_.emitNotification(car_.readCharacteristic, QByteArray::fromHex("03192222"));
    ASSERT_TRUE(waitFor([&] { return log_.contains("Version response 0x2222"); }));
    EXPECT_EQ(log_.count("Version response 0x1111"), 0);
    EXPECT_EQ(log_.count("Error updating notification state"), 0);
}

INSTANTIATE_TEST_SUITE_P(Transports, BluezRacesOnTransports, ::testing::Values(true, false),
                         [](const auto& info) { return std::string(info.param ? "AcquiredSockets" : "DBusCalls"); });

TEST_F(BluezRaces, EveryAttemptGivenUpIsCalledOffAtBluezAndStrangersItKeptOnlyForItGo) {
    ble::bluez::RadioOptions options = defaults();
    options.connectTimeout = std::chrono::milliseconds(500);
    options.readyTimeout = std::chrono::milliseconds(500);
    beginScan(options);
    mock_.setDisconnectDelay(0);
    struct Case {
        const char* mode;
        bool trusted;
        const char* reason;
        int disconnects;
    };
    const std::vector<Case> cases{
        {"empty", false, "The device's services were not resolved in time.", 1},
        {"empty", true, "The device's services were not resolved in time.", 1},
        {"never", false, "The connection timed out.", 1},
        {"never", true, "The connection timed out.", 1},
        {"fail", false, "org.bluez.Error.Failed: le-connection-abort-by-local", 0},
        {"fail", true, "org.bluez.Error.Failed: le-connection-abort-by-local", 0},
    };
    uint32_t identifier = 0x5300;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + (c.trusted ? " trusted" : ""));
        ++identifier;
        const MockBluez::Vehicle car = mock_.addVehicle(addressOf(static_cast<int>(identifier & 0xff)), identifier, 9, -50);
        mock_.setConnectMode(car.device, QString::fromLatin1(c.mode));
        if (c.trusted) mock_.setTrusted(car.device, true);
        const std::string line = "Failed to connect to vehicle id=0x0000" + QString::number(identifier, 16).toStdString() +
                                 ", error=" + c.reason;
        ASSERT_TRUE(waitFor([&] { return log_.contains(line); })) << line;
        if (c.trusted) {
            // The radio's calls went before its report: the mock has them.
            EXPECT_EQ(mock_.callCount(car.device, "Disconnect"), c.disconnects);
            EXPECT_TRUE(waitFor([&] { return !mock_.property(car.device, kDevice, QStringLiteral("Connected")).toBool(); }));
            EXPECT_TRUE(mock_.hasObject(car.device));
        } else {
            EXPECT_TRUE(waitFor([&] { return !mock_.hasObject(car.device); }));
        }
    }
    EXPECT_EQ(mock_.callCount(adapter_, "RemoveDevice"), 3);
}

TEST_F(BluezRaces, BluetoothTogglesInTheMiddleOfAConnectionDoNotMuteTheCar) {
    beginScan();
    const MockBluez::Vehicle car = mock_.addVehicle(addressOf(0x40), 0x5401, 9, -50);
    for (int toggle = 1; toggle <= 3; ++toggle) {
        SCOPED_TRACE(toggle);
        mock_.setConnectMode(car.device, QStringLiteral("hang"));
        if (toggle > 1) mock_.setRssi(car.device, static_cast<int16_t>(-50 - toggle));
        ASSERT_TRUE(waitFor([&] { return mock_.callCount(car.device, "Connect") == toggle; }));
        mock_.setPowered(adapter_, false);
        ASSERT_TRUE(waitFor([&] {
            return log_.count("Failed to connect to vehicle id=0x00005401, error=The Bluetooth adapter was powered off.") ==
                   toggle;
        }));
        mock_.disconnectRemote(car.device);  // BlueZ drops every link with the power
        if (toggle == 3) mock_.setConnectMode(car.device, QStringLiteral("ok"));
        mock_.setPowered(adapter_, true);
    }
    // Seen once more: the toggles were not the car's fault, so it connects at once.
    mock_.setRssi(car.device, -40);
    drives(0x5401, car, 500);
}

TEST_F(BluezRaces, AVehicleThatFailsUnderANewAddressEachTimeIsStillKeptQuiet) {
    beginScan();
    constexpr uint32_t kFailing = 0x5501;
    for (int n = 1; n <= 3; ++n) {
        const MockBluez::Vehicle car = mock_.addVehicle(addressOf(0x50 + n), kFailing, 9, -50);
        mock_.setConnectMode(car.device, QStringLiteral("fail"));
        ASSERT_TRUE(waitFor([&] { return log_.count("Failed to connect to vehicle id=0x00005501") == n; }));
    }
    const MockBluez::Vehicle again = mock_.addVehicle(addressOf(0x54), kFailing, 9, -50);
    // Another vehicle seen after it connects; the quiet one is passed over.
    const MockBluez::Vehicle other = mock_.addVehicle(addressOf(0x55), 0x5502, 18, -50);
    drives(0x5502, other, 200);
    EXPECT_EQ(mock_.callCount(again.device, "Connect"), 0);
    EXPECT_EQ(log_.count("Discovered new vehicle, model=0x0009, id=0x00005501"), 3);
}

TEST_F(BluezRaces, SignalsForgedByAnotherProgramOnTheBusChangeNothing) {
    qDBusRegisterMetaType<ManufacturerData>();
    qDBusRegisterMetaType<Interfaces>();
    beginScan();
    const MockBluez::Vehicle car = driveableVehicle(0x5601, addressOf(0x60));
    const auto vehicle = controller_->findVehicleById(0x5601);

    QDBusConnection forger = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("forger"));
    ASSERT_TRUE(forger.isConnected());
    const auto changed = [&](const QString& path, const QString& interface, const QVariantMap& values) {
        QDBusMessage signal = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << interface << values << QStringList();
        forger.send(signal);
    };
    changed(car.device, kDevice, {{QStringLiteral("Connected"), false}, {QStringLiteral("ServicesResolved"), false}});
    changed(car.readCharacteristic, QStringLiteral("org.bluez.GattCharacteristic1"),
            {{QStringLiteral("Value"), QByteArray::fromHex("03199999")}});
    QVariantMap fake{
        {QStringLiteral("Address"), QStringLiteral("F0:0F:0F:0F:0F:0F")},
        {QStringLiteral("UUIDs"), QStringList{QString::fromLatin1(MockBluez::kVehicleService)}},
        {QStringLiteral("RSSI"), QVariant::fromValue<qint16>(-30)},
        {QStringLiteral("ManufacturerData"),
         QVariant::fromValue(ManufacturerData{{0xEFBE, QDBusVariant(QByteArray::fromHex("00090f0f0f0f"))}})},
        {QStringLiteral("Connected"), false},
    };
    QDBusMessage added = QDBusMessage::createSignal(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                    QStringLiteral("InterfacesAdded"));
    added << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/bluez/hci0/dev_F0_0F_0F_0F_0F_0F")))
          << QVariant::fromValue(Interfaces{{kDevice, fake}});
    forger.send(added);
    // A round trip to the bus: it has passed the forgeries on before what follows.
    ASSERT_TRUE(forger.interface()->isServiceRegistered(QStringLiteral("org.bluez")).value());
    QDBusConnection::disconnectFromBus(QStringLiteral("forger"));

    mock_.emitNotification(car.readCharacteristic, QByteArray::fromHex("03193412"));
    ASSERT_TRUE(waitFor([&] { return log_.contains("Version response 0x1234"); }));
    vehicle->setSpeed(600);
    ASSERT_TRUE(waitForLastWrite(car.writeCharacteristic, setSpeedFrame(600)));
    EXPECT_EQ(log_.count("Version response 0x9999"), 0);
    EXPECT_EQ(log_.count("Disconnected"), 0);
    EXPECT_EQ(log_.count("Discovered new vehicle"), 1);
    EXPECT_EQ(controller_->findVehicleById(0x5601), vehicle);
}

}  // namespace
