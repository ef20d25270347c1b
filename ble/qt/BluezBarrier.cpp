#include "ble/qt/BluezBarrier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>

namespace ble::qt {

void whenBluezHasAnswered(QObject* context, std::chrono::milliseconds timeout,
                          std::function<void()> then) {
    // Peer.Ping is answered by the D-Bus library inside BlueZ itself, in turn
    // with the requests before it, and has no effect of its own.
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.bluez"), QStringLiteral("/"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    const QDBusPendingCall call =
        QDBusConnection::systemBus().asyncCall(ping, static_cast<int>(timeout.count()));
    auto* watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, then = std::move(then)] {
                         watcher->deleteLater();
                         then();
                     });
}

}  // namespace ble::qt
