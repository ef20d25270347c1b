// A browser's request to turn its connection into a WebSocket, and the
// host's answer (RFC 6455, section 4). No extension or subprotocol is
// offered: the frames that follow are plain.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace phone {

struct HttpHead;

struct UpgradeRequest {
    QByteArray key;  // Sec-WebSocket-Key, as sent
    QString origin;  // the page's Origin, lower-cased; empty when none was sent
};

// None unless the head asks for a version 13 WebSocket on "/ws" with a key
// of 16 bytes.
std::optional<UpgradeRequest> readUpgradeRequest(const HttpHead& head);

// "101 Switching Protocols" with the key's accept value.
QByteArray upgradeAnswer(const QByteArray& key);

}  // namespace phone
