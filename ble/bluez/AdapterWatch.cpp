#include "ble/bluez/AdapterWatch.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

#include "ble/bluez/BluezNames.h"

namespace ble::bluez {
namespace {

constexpr int kAnswerTimeoutMs = 2000;

// "/org/bluez/hci0": an adapter; anything deeper is a device or below.
bool isAdapterPath(const QString& path) {
    return path.startsWith(QLatin1String("/org/bluez/")) && path.count(QLatin1Char('/')) == 3;
}

bool sameAdapters(const std::vector<AdapterProbeResult>& a, const std::vector<AdapterProbeResult>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].path != b[i].path || a[i].name != b[i].name || a[i].address != b[i].address ||
            a[i].powered != b[i].powered) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<AdapterProbeResult> adaptersIn(const ManagedObjects& objects) {
    std::vector<AdapterProbeResult> adapters;
    for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
        if (!it.value().contains(names::kAdapter)) continue;
        ManagedObjects one;
        one.insert(it.key(), it.value());
        adapters.push_back(chooseAdapter(one));
    }
    return adapters;
}

AdapterWatch::AdapterWatch(QObject* parent) : AdapterWatch(QDBusConnection::systemBus(), parent) {}

AdapterWatch::AdapterWatch(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {
    if (!bus_.isConnected()) return;
    auto* owner = new QDBusServiceWatcher(names::kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this, &AdapterWatch::refresh);
    bus_.connect(names::kService, QString(), names::kObjectManager, QStringLiteral("InterfacesAdded"), this,
                 SLOT(onInterfacesChanged(QDBusMessage)));
    bus_.connect(names::kService, QString(), names::kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                 SLOT(onInterfacesChanged(QDBusMessage)));
    bus_.connect(names::kService, QString(), names::kProperties, QStringLiteral("PropertiesChanged"),
                 QStringList{names::kAdapter}, QString(), this, SLOT(onAdapterPropertiesChanged(QDBusMessage)));
    refresh();
}

void AdapterWatch::onInterfacesChanged(const QDBusMessage& signal) {
    const QVariantList arguments = signal.arguments();
    if (arguments.isEmpty() || !isAdapterPath(arguments.first().value<QDBusObjectPath>().path())) return;
    refresh();
}

void AdapterWatch::onAdapterPropertiesChanged(const QDBusMessage& signal) {
    if (isAdapterPath(signal.path())) refresh();
}

void AdapterWatch::refresh() {
    if (asking_) {
        askAgain_ = true;  // the answer on its way may predate this change
        return;
    }
    asking_ = true;
    const QDBusMessage question = QDBusMessage::createMethodCall(names::kService, QStringLiteral("/"),
                                                                 names::kObjectManager,
                                                                 QStringLiteral("GetManagedObjects"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(question, kAnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        asking_ = false;
        answered(call->reply());
        if (askAgain_) {
            askAgain_ = false;
            refresh();
        }
    });
}

void AdapterWatch::answered(const QDBusMessage& reply) {
    std::vector<AdapterProbeResult> adapters;
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        const auto argument = reply.arguments().first().value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("a{oa{sa{sv}}}")) {
            ManagedObjects objects;
            argument >> objects;
            adapters = adaptersIn(objects);
        }
    }
    if (sameAdapters(adapters, adapters_)) return;
    adapters_ = std::move(adapters);
    emit changed();
}

}  // namespace ble::bluez
