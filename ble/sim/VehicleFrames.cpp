#include "ble/sim/VehicleFrames.h"

#include <bit>
#include <optional>

namespace ble::sim::frames {
namespace {

std::optional<uint16_t> u16At(std::span<const uint8_t> frame, std::size_t offset) {
    if (frame.size() < offset + 2) return std::nullopt;
    return static_cast<uint16_t>(frame[offset] | frame[offset + 1] << 8);
}

std::optional<float> f32At(std::span<const uint8_t> frame, std::size_t offset) {
    if (frame.size() < offset + 4) return std::nullopt;
    const uint32_t bits = uint32_t{frame[offset]} | uint32_t{frame[offset + 1]} << 8 |
                          uint32_t{frame[offset + 2]} << 16 | uint32_t{frame[offset + 3]} << 24;
    return std::bit_cast<float>(bits);
}

void putU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xff));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putF32(std::vector<uint8_t>& out, float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(bits >> shift));
}

Command malformed() { return Command{Command::Kind::Malformed}; }

}  // namespace

Command decode(std::span<const uint8_t> frame) {
    Command command;
    if (frame.size() < 2) return command;
    switch (frame[1]) {
        case kSdkMode:
            if (frame.size() < 3) return malformed();
            command.kind = Command::Kind::SdkMode;
            command.sdkMode = frame[2];
            return command;
        case kSetSpeed: {
            const auto speed = u16At(frame, 2);
            if (!speed) return malformed();
            command.kind = Command::Kind::SetSpeed;
            command.speed = *speed;
            return command;
        }
        case kChangeLane: {
            const auto speed = u16At(frame, 2);
            const auto offset = f32At(frame, 6);
            if (!speed || !offset) return malformed();
            command.kind = Command::Kind::ChangeLane;
            command.speed = *speed;
            command.offset = *offset;
            return command;
        }
        case kSetOffset: {
            const auto offset = f32At(frame, 2);
            if (!offset) return malformed();
            command.kind = Command::Kind::SetOffset;
            command.offset = *offset;
            return command;
        }
        case kTurn:
            command.kind = Command::Kind::Turn;
            return command;
        case kPing:
            command.kind = Command::Kind::Ping;
            return command;
        case kVersionRequest:
            command.kind = Command::Kind::VersionRequest;
            return command;
        case kDisconnect:
            command.kind = Command::Kind::Disconnect;
            return command;
        default:
            command.kind = Command::Kind::Unknown;
            return command;
    }
}

std::vector<uint8_t> versionResponse(uint16_t version) {
    std::vector<uint8_t> out{0x03, kVersionResponse};
    putU16(out, version);
    return out;
}

std::vector<uint8_t> pingAnswer() { return {0x01, kPingAnswer}; }

std::vector<uint8_t> delocalized() { return {0x01, kDelocalized}; }

std::vector<uint8_t> positionReport(uint8_t piece, uint8_t location, float offset, uint16_t speed) {
    std::vector<uint8_t> out{0x0a, kPositionReport, location, piece};
    out.reserve(11);
    putF32(out, offset);
    putU16(out, speed);
    out.push_back(0x00);  // flags
    return out;
}

std::vector<uint8_t> transitionReport(uint8_t piece, uint8_t previousPiece, float offset) {
    std::vector<uint8_t> out{0x07, kTransitionReport, piece, previousPiece};
    out.reserve(8);
    putF32(out, offset);
    return out;
}

}  // namespace ble::sim::frames
