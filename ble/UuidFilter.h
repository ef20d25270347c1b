// The UUID filters of the platform interface (services to scan for, to
// discover, characteristics to discover): an empty filter lets every UUID
// through.
#pragma once

#include <vector>

#include "ble/Bluetooth.h"

namespace ble {

bool filterPasses(const std::vector<Uuid>& filter, const Uuid& uuid);
// Any of the advertised UUIDs passes; an empty filter passes even none.
bool filterPassesAny(const std::vector<Uuid>& filter, const std::vector<Uuid>& advertised);

}  // namespace ble
