#include "app/panels/TextForms.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace textforms {
namespace {

constexpr float kPlainLow = 0.0001f;
constexpr float kPlainHigh = 16777216.0f;  // 2^24

bool hasPointOrExponent(std::string_view text) {
    return text.find_first_of(".e") != std::string_view::npos;
}

}  // namespace

std::string floatText(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";

    // Room for the longest shortest-round-trip text of a float in fixed
    // notation up to 2^24 and in either notation elsewhere.
    std::array<char, 64> buffer{};
    const float magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0f || (magnitude >= kPlainLow && magnitude <= kPlainHigh);
    const auto result =
        plain ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                              std::chars_format::fixed)
              : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (result.ec != std::errc()) return "nan";  // cannot happen with this buffer

    std::string text(buffer.data(), result.ptr);
    if (!hasPointOrExponent(text)) text += ".0";
    return text;
}

std::string tagText(std::int64_t tag) { return std::to_string(tag); }

std::string identifierText(std::uint32_t identifier) { return std::to_string(identifier); }

std::string modelText(std::uint8_t model) { return std::to_string(static_cast<unsigned>(model)); }

std::string intText(int value) { return std::to_string(value); }

}  // namespace textforms
