// The vehicle service and its two characteristics.
#pragma once

#include "ble/Bluetooth.h"

namespace vehicle_uuids {

inline constexpr const char* kServiceText = "BE15BEEF-6186-407E-8381-0BD89C4D8DF4";
inline constexpr const char* kReadText = "BE15BEE0-6186-407E-8381-0BD89C4D8DF4";
inline constexpr const char* kWriteText = "BE15BEE1-6186-407E-8381-0BD89C4D8DF4";

// Parsed once from the texts above.
const ble::Uuid& service();
const ble::Uuid& readCharacteristic();
const ble::Uuid& writeCharacteristic();

}  // namespace vehicle_uuids
