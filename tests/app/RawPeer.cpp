#include "RawPeer.h"

#include <QTest>

namespace {

constexpr int kPatienceMs = 10000;

}  // namespace

bool RawPeer::open(quint16 port, const QHostAddress& source) {
    socket_.bind(source);
    socket_.connectToHost(QHostAddress::LocalHost, port);
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { heard_ += socket_.readAll(); });
    return socket_.waitForConnected(kPatienceMs);
}

bool RawPeer::upgrade(const QString& origin) {
    socket_.write("GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\nOrigin: " +
                  origin.toUtf8() + "\r\n\r\n");
    return QTest::qWaitFor([this] { return heard_.contains("\r\n\r\n") || closed(); }, kPatienceMs) &&
           heard_.startsWith("HTTP/1.1 101 ");
}

void RawPeer::stopReading() {
    QObject::disconnect(&socket_, &QTcpSocket::readyRead, nullptr, nullptr);
    socket_.setReadBufferSize(1);
    // Nor does the kernel grow its buffer for it.
    socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
}

void RawPeer::send(quint8 first, const QByteArray& payload, bool masked, qint64 declared) {
    const quint64 length = declared >= 0 ? static_cast<quint64>(declared) : static_cast<quint64>(payload.size());
    QByteArray frame(1, static_cast<char>(first));
    const char maskBit = masked ? char(0x80) : char(0);
    if (length < 126) {
        frame += static_cast<char>(maskBit | static_cast<char>(length));
    } else if (length <= 0xFFFF) {
        frame += static_cast<char>(maskBit | 126);
        frame += static_cast<char>(length >> 8);
        frame += static_cast<char>(length & 0xFF);
    } else {
        frame += static_cast<char>(maskBit | 127);
        for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((length >> shift) & 0xFF);
    }
    const QByteArray mask("\x1f\x2e\x3d\x4c", 4);
    if (masked) frame += mask;
    for (qsizetype i = 0; i < payload.size(); ++i) frame += masked ? char(payload[i] ^ mask[i % 4]) : payload[i];
    socket_.write(frame);
}

QList<HeardFrame> RawPeer::frames() const {
    QList<HeardFrame> frames;
    const qsizetype end = heard_.indexOf("\r\n\r\n");
    if (end < 0) return frames;
    // The host's frames are unmasked, with 7- or 16-bit lengths.
    for (qsizetype at = end + 4; at + 2 <= heard_.size();) {
        qsizetype length = heard_[at + 1] & 0x7F;
        qsizetype header = 2;
        if (length == 126) {
            if (at + 4 > heard_.size()) break;
            length = (static_cast<quint8>(heard_[at + 2]) << 8) | static_cast<quint8>(heard_[at + 3]);
            header = 4;
        }
        if (at + header + length > heard_.size()) break;
        frames.append({static_cast<quint8>(heard_[at] & 0x0F), heard_.mid(at + header, length)});
        at += header + length;
    }
    return frames;
}

bool RawPeer::heardOpcode(quint8 opcode) const {
    const QList<HeardFrame> heard = frames();
    return std::any_of(heard.begin(), heard.end(), [opcode](const HeardFrame& frame) { return frame.opcode == opcode; });
}

bool RawPeer::heardText(const QString& part) const {
    const QList<HeardFrame> heard = frames();
    return std::any_of(heard.begin(), heard.end(), [&part](const HeardFrame& frame) {
        return frame.opcode == 0x1 && QString::fromUtf8(frame.payload).contains(part);
    });
}
