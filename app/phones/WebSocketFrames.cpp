#include "app/phones/WebSocketFrames.h"

#include <QtEndian>

namespace phone {
namespace {

constexpr qsizetype kLongestControlPayload = 125;

bool knownOpcode(quint8 opcode) {
    switch (static_cast<Opcode>(opcode)) {
        case Opcode::Continuation:
        case Opcode::Text:
        case Opcode::Binary:
        case Opcode::Close:
        case Opcode::Ping:
        case Opcode::Pong: return true;
    }
    return false;
}

FrameRead fault(quint16 code) {
    FrameRead read;
    read.status = FrameRead::Status::Fault;
    read.closeCode = code;
    return read;
}

}  // namespace

FrameRead readClientFrame(QByteArrayView bytes, qsizetype longestPayload) {
    FrameRead read;
    if (bytes.size() < 2) return read;
    const auto first = static_cast<quint8>(bytes[0]);
    const auto second = static_cast<quint8>(bytes[1]);
    const quint8 opcode = first & 0x0F;
    if ((first & 0x70) != 0 || !knownOpcode(opcode) || (second & 0x80) == 0) return fault(kCloseProtocolError);
    read.opcode = static_cast<Opcode>(opcode);
    read.final = (first & 0x80) != 0;
    const bool control = (opcode & 0x08) != 0;
    quint64 length = second & 0x7F;
    qsizetype at = 2;
    if (length == 126 || length == 127) {
        const qsizetype size = length == 126 ? 2 : 8;
        if (bytes.size() < at + size) return read;
        length = size == 2 ? qFromBigEndian<quint16>(bytes.data() + at) : qFromBigEndian<quint64>(bytes.data() + at);
        at += size;
    }
    if (control && (!read.final || length > kLongestControlPayload)) return fault(kCloseProtocolError);
    // Judged before the payload comes: a frame too long is never waited for.
    if (length > static_cast<quint64>(longestPayload)) return fault(kCloseTooBig);
    const auto size = static_cast<qsizetype>(length);
    if (bytes.size() < at + 4 + size) return read;
    const char* mask = bytes.data() + at;
    at += 4;
    read.payload = bytes.sliced(at, size).toByteArray();
    for (qsizetype i = 0; i < size; ++i) read.payload[i] = static_cast<char>(read.payload[i] ^ mask[i % 4]);
    read.used = at + size;
    read.status = FrameRead::Status::Complete;
    return read;
}

QByteArray hostFrame(Opcode opcode, QByteArrayView payload) {
    QByteArray frame;
    frame.reserve(payload.size() + 10);
    frame += static_cast<char>(0x80 | static_cast<quint8>(opcode));
    const auto size = static_cast<quint64>(payload.size());
    if (size < 126) {
        frame += static_cast<char>(size);
    } else if (size <= 0xFFFF) {
        frame += static_cast<char>(126);
        char length[2];
        qToBigEndian<quint16>(static_cast<quint16>(size), length);
        frame.append(length, 2);
    } else {
        frame += static_cast<char>(127);
        char length[8];
        qToBigEndian<quint64>(size, length);
        frame.append(length, 8);
    }
    frame += payload;
    return frame;
}

QByteArray closeFrame(quint16 code) {
    char payload[2];
    qToBigEndian<quint16>(code, payload);
    return hostFrame(Opcode::Close, QByteArrayView(payload, 2));
}

}  // namespace phone
