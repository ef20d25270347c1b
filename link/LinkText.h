// Texts the link's log lines print for platform objects.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"

namespace link_text {

// The error's readable description, or "(null)" when the platform gave none
// (what the platform logger prints for a missing object).
std::string describe(const ble::Error* error);

// A list of peripherals as "[a, b]" (each by its description), "[]" when empty.
std::string describe(const std::vector<std::shared_ptr<ble::Peripheral>>& list);

}  // namespace link_text
