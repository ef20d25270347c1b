#include "app/phones/WebSocketUpgrade.h"

#include <QCryptographicHash>

#include "app/phones/HttpHead.h"

namespace phone {

std::optional<UpgradeRequest> readUpgradeRequest(const HttpHead& head) {
    if (head.method != "GET" || head.path != "/ws" || head.version != "HTTP/1.1") return std::nullopt;
    if (!head.headerLists("upgrade", "websocket") || !head.headerLists("connection", "upgrade")) return std::nullopt;
    if (head.header("sec-websocket-version") != "13") return std::nullopt;
    const QByteArray key = head.header("sec-websocket-key");
    const auto decoded = QByteArray::fromBase64Encoding(key, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 16) return std::nullopt;
    return UpgradeRequest{key, QString::fromLatin1(head.header("origin").toLower())};
}

QByteArray upgradeAnswer(const QByteArray& key) {
    // The key with the protocol's own GUID, hashed: proof that this host read the request.
    const QByteArray accept =
        QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11", QCryptographicHash::Sha1).toBase64();
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           accept + "\r\n\r\n";
}

}  // namespace phone
