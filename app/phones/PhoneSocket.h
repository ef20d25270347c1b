// One phone's WebSocket, once the host has taken its upgrade: frames in,
// text out, and the bounds a peer cannot spend whatever it sends. Until the
// host trusts it (the token was shown) a socket may send one frame, the
// hello, and hears nothing back, not even a pong; anything else ends it.
// Afterwards pings are answered, fragments joined, and frames counted.
// Bytes are read a bounded slice per turn of the loop, and a peer that lets
// replies pile up unread is cut off.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "app/phones/PhoneLimits.h"
#include "app/phones/PhoneRules.h"
#include "app/phones/WebSocketFrames.h"

class QTcpSocket;

namespace phone {

class PhoneSocket : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<Millis()>;
    // Takes the connection, whose upgrade request was read and accepted, and
    // answers it with `key`'s accept value.
    PhoneSocket(QTcpSocket* connection, const QByteArray& key, const PhoneLimits& limits, Clock clock,
                QObject* parent = nullptr);

    void sendText(const QString& text);
    // Tells the peer why, and ends the connection.
    void close(quint16 code);
    // The token was shown: a phone's bounds apply from now on.
    void trust() { trusted_ = true; }
    QTcpSocket* connection() const { return connection_; }

signals:
    // A whole text message; a binary one arrives empty, as it means nothing here.
    void received(const QString& text);
    // The connection ended, from either side; once, and never from inside a
    // call on this socket.
    void closed();

private:
    void readTurn();
    void take(const FrameRead& frame);
    void deliver(Opcode opcode, const QByteArray& payload);
    void send(Opcode opcode, QByteArrayView payload);
    void end();

    QTcpSocket* connection_;
    PhoneLimits limits_;
    Clock clock_;
    RateGate frames_;
    QTimer turn_;
    QByteArray received_;   // bytes read, not yet a whole frame
    QByteArray message_;    // a fragmented message's frames so far
    Opcode messageOpcode_ = Opcode::Text;
    bool inMessage_ = false;
    bool trusted_ = false;
    bool framedBeforeTrust_ = false;
    bool ending_ = false;  // closing, or cut off: nothing more is read or sent
    bool ended_ = false;   // closed() was emitted
};

}  // namespace phone
