// The vehicle's GATT table: the UUIDs and which services and characteristics
// a discovery finds under each ServiceLayout.
#pragma once

#include <memory>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/sim/World.h"

namespace ble::sim::gatt {

const Uuid& vehicleService();
const Uuid& readCharacteristic();   // vehicle to host, notifying
const Uuid& writeCharacteristic();  // host to vehicle
const Uuid& genericAccessService();
const Uuid& deviceNameCharacteristic();

// The service UUIDs a discovery finds, in order.
std::vector<Uuid> serviceUuids(ServiceLayout layout);
// The characteristic UUIDs of one of those services, in order.
std::vector<Uuid> characteristicUuids(ServiceLayout layout, const Uuid& service);

// True when `filter` is empty or holds `uuid`.
bool passes(const std::vector<Uuid>& filter, const Uuid& uuid);

}  // namespace ble::sim::gatt
