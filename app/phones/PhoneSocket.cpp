#include "app/phones/PhoneSocket.h"

#include <QStringDecoder>
#include <QTcpSocket>

#include "app/phones/WebSocketUpgrade.h"

namespace phone {

PhoneSocket::PhoneSocket(QTcpSocket* connection, const QByteArray& key, const PhoneLimits& limits, Clock clock,
                         QObject* parent)
    : QObject(parent),
      connection_(connection),
      limits_(limits),
      clock_(std::move(clock)),
      frames_(limits.mostFramesPerSecond) {
    connection_->setParent(this);
    // Qt reads no further ahead than a turn takes; the kernel holds the rest.
    connection_->setReadBufferSize(limits_.readPerTurn);
    turn_.setSingleShot(true);
    turn_.setInterval(0);
    connect(&turn_, &QTimer::timeout, this, &PhoneSocket::readTurn);
    connect(connection_, &QTcpSocket::readyRead, &turn_, [this] {
        if (!turn_.isActive()) turn_.start();
    });
    // Queued: the host learns of the end on a turn of its own, never inside
    // a call it is making on this socket.
    connect(connection_, &QTcpSocket::disconnected, this, &PhoneSocket::end, Qt::QueuedConnection);
    // A peer gone before its answer still ends, on the next turn.
    if (connection_->state() != QAbstractSocket::ConnectedState) QMetaObject::invokeMethod(this, &PhoneSocket::end, Qt::QueuedConnection);
    connection_->write(upgradeAnswer(key));
    // Whatever came along with the request waits for the first turn.
    if (connection_->bytesAvailable() > 0) turn_.start();
}

void PhoneSocket::sendText(const QString& text) { send(Opcode::Text, text.toUtf8()); }

void PhoneSocket::close(quint16 code) {
    if (ending_) return;
    ending_ = true;
    turn_.stop();
    if (connection_->state() != QAbstractSocket::ConnectedState) return;
    connection_->write(closeFrame(code));
    connection_->flush();
    // A peer that does not read gets no time to: what the kernel took goes.
    if (connection_->bytesToWrite() > 0) {
        connection_->abort();
    } else {
        connection_->disconnectFromHost();
    }
}

void PhoneSocket::end() {
    if (!std::exchange(ended_, true)) emit closed();
}

void PhoneSocket::send(Opcode opcode, QByteArrayView payload) {
    if (ending_) return;
    const QByteArray frame = hostFrame(opcode, payload);
    if (connection_->bytesToWrite() + frame.size() > limits_.mostUnsent) {
        ending_ = true;
        turn_.stop();
        connection_->abort();
        return;
    }
    connection_->write(frame);
}

void PhoneSocket::readTurn() {
    if (ending_) return;
    const QByteArray slice = connection_->read(limits_.readPerTurn);
    received_ += slice;
    qsizetype at = 0;
    while (!ending_) {
        const qsizetype longest = trusted_ ? limits_.longestMessage : limits_.longestHello;
        const FrameRead frame = readClientFrame(QByteArrayView(received_).sliced(at), longest);
        if (frame.status == FrameRead::Status::Partial) break;
        if (frame.status == FrameRead::Status::Fault) {
            close(frame.closeCode);
            return;
        }
        at += frame.used;
        take(frame);
    }
    if (ending_) return;
    received_.remove(0, at);
    if (connection_->bytesAvailable() > 0) turn_.start();
}

void PhoneSocket::take(const FrameRead& frame) {
    if (!trusted_) {
        // One frame, the hello, whole and as text; the host trusts the socket
        // or closes it before the next frame is read.
        if (std::exchange(framedBeforeTrust_, true) || frame.opcode != Opcode::Text || !frame.final) {
            close(kClosePolicy);
            return;
        }
        deliver(Opcode::Text, frame.payload);
        return;
    }
    if (frames_.admit(clock_()) != RateGate::Verdict::Pass) {
        close(kClosePolicy);
        return;
    }
    switch (frame.opcode) {
        case Opcode::Ping: send(Opcode::Pong, frame.payload); return;
        case Opcode::Pong: return;
        case Opcode::Close: close(kCloseNormal); return;
        case Opcode::Text:
        case Opcode::Binary:
            if (inMessage_) break;
            if (frame.final) {
                deliver(frame.opcode, frame.payload);
            } else {
                inMessage_ = true;
                messageOpcode_ = frame.opcode;
                message_ = frame.payload;
            }
            return;
        case Opcode::Continuation:
            if (!inMessage_) break;
            if (message_.size() + frame.payload.size() > limits_.longestMessage) {
                close(kCloseTooBig);
                return;
            }
            message_ += frame.payload;
            if (frame.final) {
                inMessage_ = false;
                deliver(messageOpcode_, std::exchange(message_, QByteArray()));
            }
            return;
    }
    close(kCloseProtocolError);
}

void PhoneSocket::deliver(Opcode opcode, const QByteArray& payload) {
    if (opcode == Opcode::Binary) {
        emit received(QString());
        return;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(payload);
    if (utf8.hasError()) {
        close(kCloseNotUtf8);
        return;
    }
    emit received(text);
}

}  // namespace phone
