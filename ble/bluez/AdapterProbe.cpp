#include "ble/bluez/AdapterProbe.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace ble::bluez {
namespace {

const QString kAdapterInterface = QStringLiteral("org.bluez.Adapter1");

AdapterProbeResult failure(AdapterProbeResult::Status status, std::string detail) {
    AdapterProbeResult result;
    result.status = status;
    result.detail = std::move(detail);
    return result;
}

AdapterProbeResult resultOf(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QDBusError error(reply);
        const auto status = error.type() == QDBusError::ServiceUnknown
                                ? AdapterProbeResult::Status::NoBluez
                                : AdapterProbeResult::Status::NoAnswer;
        return failure(status, (error.name() + QStringLiteral(": ") + error.message()).toStdString());
    }
    if (reply.arguments().isEmpty() || !reply.arguments().first().canConvert<QDBusArgument>()) {
        return failure(AdapterProbeResult::Status::NoAnswer, "BlueZ answered with no object list");
    }
    const auto argument = reply.arguments().first().value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a{oa{sa{sv}}}")) {
        return failure(AdapterProbeResult::Status::NoAnswer,
                       "BlueZ answered with " + argument.currentSignature().toStdString());
    }
    ManagedObjects objects;
    argument >> objects;
    return chooseAdapter(objects);
}

// One question in flight; answers once, then goes.
class Probe : public QObject {
public:
    Probe(QObject* context, std::function<void(const AdapterProbeResult&)> done)
        : context_(context), done_(std::move(done)) {}

    void answer(const AdapterProbeResult& result) {
        if (answered_) return;
        answered_ = true;
        // A context given and gone by now means nobody is waiting any more.
        if (!context_.isNull() || !hadContext_) done_(result);
        deleteLater();
    }

    void setHadContext(bool had) { hadContext_ = had; }

private:
    QPointer<QObject> context_;
    bool hadContext_ = true;
    std::function<void(const AdapterProbeResult&)> done_;
    bool answered_ = false;
};

}  // namespace

const char* toString(AdapterProbeResult::Status status) {
    switch (status) {
    case AdapterProbeResult::Status::Found:
        return "found";
    case AdapterProbeResult::Status::NoSystemBus:
        return "none: no system bus";
    case AdapterProbeResult::Status::NoBluez:
        return "none: BlueZ is not running";
    case AdapterProbeResult::Status::NoAdapter:
        return "none: no adapter";
    case AdapterProbeResult::Status::NoAnswer:
        return "none: BlueZ did not answer";
    }
    return "none";
}

AdapterProbeResult chooseAdapter(const ManagedObjects& objects) {
    AdapterProbeResult chosen = failure(AdapterProbeResult::Status::NoAdapter, "BlueZ has no adapter");
    int poweredAdapters = 0;
    // QMap walks in path order.
    for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
        const auto adapter = it.value().constFind(kAdapterInterface);
        if (adapter == it.value().constEnd()) continue;
        const QVariantMap& properties = adapter.value();
        const bool powered = properties.value(QStringLiteral("Powered")).toBool();
        if (powered) ++poweredAdapters;
        if (chosen.found() && (chosen.powered || !powered)) continue;
        QString name = properties.value(QStringLiteral("Alias")).toString();
        if (name.isEmpty()) name = properties.value(QStringLiteral("Name")).toString();
        chosen = AdapterProbeResult{};
        chosen.status = AdapterProbeResult::Status::Found;
        chosen.path = it.key().path().toStdString();
        chosen.name = name.toStdString();
        chosen.address = properties.value(QStringLiteral("Address")).toString().toStdString();
        chosen.powered = powered;
    }
    if (chosen.found()) chosen.poweredAdapters = poweredAdapters;
    return chosen;
}

void probeAdapter(QObject* context, std::function<void(const AdapterProbeResult&)> done,
                  std::chrono::milliseconds timeout) {
    probeAdapter(QDBusConnection::systemBus(), context, std::move(done), timeout);
}

void probeAdapter(const QDBusConnection& bus, QObject* context,
                  std::function<void(const AdapterProbeResult&)> done,
                  std::chrono::milliseconds timeout) {
    auto* probe = new Probe(context, std::move(done));
    probe->setHadContext(context != nullptr);
    if (!bus.isConnected()) {
        const std::string why = bus.lastError().isValid() ? bus.lastError().message().toStdString()
                                                          : std::string("not connected");
        QMetaObject::invokeMethod(
            probe,
            [probe, why] { probe->answer(failure(AdapterProbeResult::Status::NoSystemBus, why)); },
            Qt::QueuedConnection);
        return;
    }
    const QDBusMessage question = QDBusMessage::createMethodCall(
        QStringLiteral("org.bluez"), QStringLiteral("/"),
        QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    QDBusConnection connection(bus);
    const QDBusPendingCall call = connection.asyncCall(question, static_cast<int>(timeout.count()));
    auto* watcher = new QDBusPendingCallWatcher(call, probe);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, probe,
                     [probe, watcher] { probe->answer(resultOf(watcher->reply())); });
    // D-Bus keeps its own time; this one holds even if the bus does not.
    QTimer::singleShot(timeout + std::chrono::milliseconds(250), probe, [probe] {
        probe->answer(failure(AdapterProbeResult::Status::NoAnswer, "no answer in time"));
    });
}

}  // namespace ble::bluez
