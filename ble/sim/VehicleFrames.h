// The few vehicle-protocol frames a virtual vehicle understands and sends.
// Frames are byte 0 size, byte 1 message id, then the payload, little-endian.
// Decoding reads only bytes that are there: a frame too short for its fields
// is Malformed and is ignored by the vehicle.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ble::sim::frames {

inline constexpr uint8_t kDisconnect = 0x0d;
inline constexpr uint8_t kPing = 0x16;
inline constexpr uint8_t kPingAnswer = 0x17;
inline constexpr uint8_t kVersionRequest = 0x18;
inline constexpr uint8_t kVersionResponse = 0x19;
inline constexpr uint8_t kSetSpeed = 0x24;
inline constexpr uint8_t kChangeLane = 0x25;
inline constexpr uint8_t kPositionReport = 0x27;    // 11 bytes
inline constexpr uint8_t kTransitionReport = 0x29;  // 8 bytes
inline constexpr uint8_t kDelocalized = 0x2b;
inline constexpr uint8_t kSetOffset = 0x2c;
inline constexpr uint8_t kTurn = 0x32;
inline constexpr uint8_t kSdkMode = 0x90;

struct Command {
    enum class Kind {
        None,       // shorter than size and id
        Unknown,    // an id the vehicle does not act on
        Malformed,  // a known id without room for its fields
        SdkMode,
        SetSpeed,
        ChangeLane,
        SetOffset,
        Turn,
        Ping,
        VersionRequest,
        Disconnect,
    };
    Kind kind = Kind::None;
    uint16_t speed = 0;   // SetSpeed, ChangeLane
    float offset = 0;     // ChangeLane, SetOffset
    uint8_t sdkMode = 0;  // SdkMode
};

Command decode(std::span<const uint8_t> frame);

std::vector<uint8_t> versionResponse(uint16_t version);
std::vector<uint8_t> pingAnswer();
std::vector<uint8_t> delocalized();
// Periodic reports of a driving vehicle; the contents only look plausible.
std::vector<uint8_t> positionReport(uint8_t piece, uint8_t location, float offset, uint16_t speed);
std::vector<uint8_t> transitionReport(uint8_t piece, uint8_t previousPiece, float offset);

}  // namespace ble::sim::frames
