#include "link/LinkText.h"

#include <cstdint>
#include <cstdio>

namespace link_text {
namespace {

// The length of the UTF-8 sequence that starts at text[i], or 0 when the
// bytes there are not one (overlong forms, surrogates and values past
// U+10FFFF included).
std::size_t sequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<uint8_t>(text[i + k]); };
    const uint8_t lead = byte(0);
    std::size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;  // range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    }
    return length;
}

bool isControl(std::string_view text, std::size_t i, std::size_t length) {
    const auto lead = static_cast<uint8_t>(text[i]);
    if (length == 1) return lead < 0x20 || lead == 0x7F;
    // U+0080 to U+009F: the C1 controls, CSI among them.
    return length == 2 && lead == 0xC2 && static_cast<uint8_t>(text[i + 1]) <= 0x9F;
}

void appendEscaped(std::string& out, std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (const char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        out += "\\x";
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
}

}  // namespace

std::string safe(std::string_view text) {
    std::string out;
    out.reserve(text.size() < kMaxOutsideTextLength ? text.size() : kMaxOutsideTextLength);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (characters == kMaxOutsideTextLength) {
            out += "\xE2\x80\xA6";  // …
            break;
        }
        std::size_t length = sequenceLength(text, i);
        if (length == 0) {
            appendEscaped(out, text.substr(i, 1));
            length = 1;
        } else if (isControl(text, i, length)) {
            appendEscaped(out, text.substr(i, length));
        } else {
            out.append(text, i, length);
        }
        i += length;
        ++characters;
    }
    return out;
}

std::string describe(const ble::Error* error) {
    return error != nullptr ? safe(error->localizedDescription()) : std::string("(null)");
}

std::string describe(const std::vector<std::shared_ptr<ble::Peripheral>>& list) {
    std::string text = "[";
    bool first = true;
    for (const auto& peripheral : list) {
        if (!first) {
            text += ", ";
        }
        first = false;
        text += peripheral != nullptr ? descriptionOf(*peripheral) : std::string("(null)");
    }
    text += "]";
    return text;
}

std::string identifierText(std::uint32_t identifier) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(identifier));
    return text;
}

std::string nameOf(const ble::Peripheral& peripheral) { return safe(peripheral.name()); }

std::string descriptionOf(const ble::Peripheral& peripheral) {
    return safe(peripheral.description());
}

}  // namespace link_text
