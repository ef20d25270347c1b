// WebSocket frames on the wire (RFC 6455, section 5) as the phone host needs
// them: a client's frame read from the front of the bytes received, its
// length judged before a byte of its payload is awaited, and the host's own
// frames written. No extension is in use, so a reserved bit is a fault.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace phone {

enum class Opcode : quint8 { Continuation = 0x0, Text = 0x1, Binary = 0x2, Close = 0x8, Ping = 0x9, Pong = 0xA };

// Close codes the host sends.
constexpr quint16 kCloseNormal = 1000;
constexpr quint16 kCloseProtocolError = 1002;
constexpr quint16 kCloseNotUtf8 = 1007;
constexpr quint16 kClosePolicy = 1008;
constexpr quint16 kCloseTooBig = 1009;

struct FrameRead {
    enum class Status {
        Complete,  // `frame` holds the frame, unmasked; `used` bytes were its own
        Partial,   // more bytes are needed, and the frame may have them
        Fault,     // not a client's frame, or longer than allowed: `closeCode` says which
    };
    Status status = Status::Partial;
    qsizetype used = 0;
    Opcode opcode = Opcode::Close;
    bool final = true;
    QByteArray payload;
    quint16 closeCode = kCloseProtocolError;
};

// Reads the frame at the front of `bytes`: masked, as a client's must be, a
// known opcode, a control frame whole and at most 125 bytes, and a payload
// of at most `longestPayload` bytes.
FrameRead readClientFrame(QByteArrayView bytes, qsizetype longestPayload);

// A final, unmasked frame from the host.
QByteArray hostFrame(Opcode opcode, QByteArrayView payload);
QByteArray closeFrame(quint16 code);

}  // namespace phone
