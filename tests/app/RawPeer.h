// A peer on the loopback that speaks WebSocket by hand, as a stranger's
// program would: from any local address, with any frame, masked or not,
// and with what the host sent back split into frames.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpSocket>

struct HeardFrame {
    quint8 opcode;
    QByteArray payload;
};

class RawPeer {
public:
    // Connects from `source` (any of 127.0.0.0/8) to the host's port; false
    // if it was not let in.
    bool open(quint16 port, const QHostAddress& source = QHostAddress(QStringLiteral("127.0.0.1")));
    // Asks for the WebSocket on "/ws" with that Origin; true once the host
    // switched protocols.
    bool upgrade(const QString& origin);
    // A frame as a client sends it: `first` is FIN, the reserved bits and the
    // opcode; `declared` overrides the length sent, without sending more.
    void send(quint8 first, const QByteArray& payload, bool masked = true, qint64 declared = -1);
    void sendText(const QString& text) { send(0x81, text.toUtf8()); }
    // Stops taking what the host sends, so that it piles up.
    void stopReading();

    // The host's frames after its answer to the upgrade.
    QList<HeardFrame> frames() const;
    bool heardOpcode(quint8 opcode) const;
    bool heardText(const QString& part) const;
    // Everything the host sent, its answer to the upgrade first.
    const QByteArray& heard() const { return heard_; }
    bool closed() const { return socket_.state() == QAbstractSocket::UnconnectedState; }
    QTcpSocket& socket() { return socket_; }

private:
    QTcpSocket socket_;
    QByteArray heard_;
};
