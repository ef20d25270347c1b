#include "ble/Bluetooth.h"

namespace ble {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isDashPosition(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

constexpr std::size_t kTextLength = 36;

}  // namespace

Uuid Uuid::fromString(std::string_view text) {
    if (text.size() != kTextLength) return Uuid();
    std::array<uint8_t, 16> bytes{};
    std::size_t out = 0;
    for (std::size_t i = 0; i < kTextLength;) {
        if (isDashPosition(i)) {
            if (text[i] != '-') return Uuid();
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low =
            hexValue(text[i + 1]);  // groups have even lengths: pairs never straddle a dash
        if (high < 0 || low < 0) return Uuid();
        bytes[out++] = static_cast<uint8_t>(high << 4 | low);
        i += 2;
    }
    return Uuid(bytes);
}

std::string Uuid::toString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(kTextLength);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(kDigits[bytes_[i] >> 4]);
        text.push_back(kDigits[bytes_[i] & 0x0f]);
    }
    return text;
}

bool Uuid::isNull() const {
    for (uint8_t b : bytes_) {
        if (b != 0) return false;
    }
    return true;
}

std::string Peripheral::description() const {
    std::string text = name();
    if (text.empty()) text = identifier();
    return text;
}

}  // namespace ble
