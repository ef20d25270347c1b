#include "app/phones/Strangers.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>
#include <optional>

namespace phone {
namespace {

// One peer, however the listening socket saw it: an IPv4 peer of a
// dual-stack socket comes as ::ffff:a.b.c.d.
QString addressOf(const QTcpSocket& socket) {
    const QHostAddress peer = socket.peerAddress();
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : peer.toString();
}

}  // namespace

Strangers::Strangers(std::size_t perAddress, std::size_t overall, QObject* parent)
    : QObject(parent), perAddress_(std::max<std::size_t>(perAddress, 1)), overall_(std::max<std::size_t>(overall, 1)) {}

void Strangers::setBounds(std::size_t perAddress, std::size_t overall) {
    perAddress_ = std::max<std::size_t>(perAddress, 1);
    overall_ = std::max<std::size_t>(overall, 1);
}

std::size_t Strangers::countFrom(const QString& address) const {
    return static_cast<std::size_t>(std::count_if(waiting_.begin(), waiting_.end(),
                                                  [&address](const Waiting& w) { return w.address == address; }));
}

std::vector<Strangers::Waiting>::iterator Strangers::oldestFrom(const QString& address) {
    return std::find_if(waiting_.begin(), waiting_.end(), [&address](const Waiting& w) { return w.address == address; });
}

void Strangers::admit(QTcpSocket* socket) {
    const QString address = addressOf(*socket);
    std::optional<QString> pushed;
    if (countFrom(address) >= perAddress_) {
        pushed = address;
    } else if (waiting_.size() >= overall_) {
        // The address holding the most; of equals, the one whose oldest came first.
        std::size_t most = 0;
        for (const Waiting& w : waiting_) {
            const std::size_t from = countFrom(w.address);
            if (from > most) {
                most = from;
                pushed = w.address;
            }
        }
    }
    if (pushed) {
        const auto oldest = oldestFrom(*pushed);
        QTcpSocket* const out = oldest->socket;
        waiting_.erase(oldest);
        out->disconnect(this);
        out->abort();
    }
    waiting_.push_back({socket, address});
    connect(socket, &QObject::destroyed, this, &Strangers::forget);
}

void Strangers::trust(QTcpSocket* socket) {
    socket->disconnect(this);
    forget(socket);
}

void Strangers::forget(QObject* socket) {
    const auto found =
        std::find_if(waiting_.begin(), waiting_.end(), [socket](const Waiting& w) { return w.socket == socket; });
    if (found != waiting_.end()) waiting_.erase(found);
}

}  // namespace phone
