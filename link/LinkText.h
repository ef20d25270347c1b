// Texts the link's log lines print for platform objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ble/Bluetooth.h"

namespace link_text {

// The most characters of an outside text that a log line carries.
inline constexpr std::size_t kMaxOutsideTextLength = 64;

// A text from outside the program (a peripheral's name, a platform's error
// description) made safe to print: control characters (C0, DEL, C1), and bytes
// that are not UTF-8, are written as \xNN, so nothing can start a new line or
// drive a terminal; past 64 characters the text is cut and ends in "…".
std::string safe(std::string_view text);

// The error's readable description made safe, or "(null)" when the platform gave none
// (what the platform logger prints for a missing object).
std::string describe(const ble::Error* error);

// A list of peripherals as "[a, b]" (each by its description, made safe), "[]" when empty.
std::string describe(const std::vector<std::shared_ptr<ble::Peripheral>>& list);

// A vehicle identifier as the log lines write it: "0x0000003d".
std::string identifierText(std::uint32_t identifier);

// A peripheral's name, and its description (its name, or failing that its
// address), made safe.
std::string nameOf(const ble::Peripheral& peripheral);
std::string descriptionOf(const ble::Peripheral& peripheral);

}  // namespace link_text
