// The buttons' tags and the models that select the three vehicle panels.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace paneltags {

constexpr std::int64_t kConnect = 100;
constexpr std::int64_t kList = 110;
constexpr std::int64_t kPellanMiddle = 200;
constexpr std::int64_t kDrummetMiddle = 210;
constexpr std::int64_t kVexaMiddle = 220;

constexpr std::uint8_t kVexaModel = 9;
constexpr std::uint8_t kDrummetModel = 18;
constexpr std::uint8_t kPellanModel = 19;

// The middle buttons of the panels of further cars (the fleet): one tag
// each, counted up from here and never reused while the window is open.
constexpr std::int64_t kFleetMiddleBase = 1000;

// What the six sliders carry until a panel is bound: no identifier is negative.
constexpr std::int64_t kUnbound = -1;

// The vehicle identifier a slider's tag carries: none for an unbound panel,
// nor for anything outside 0 to 4294967295.
inline std::optional<std::uint32_t> identifierOfTag(std::int64_t tag) {
    if (tag < 0 || tag > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(tag);
}

}  // namespace paneltags
