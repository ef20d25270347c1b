#include "link/VehicleUuids.h"

namespace vehicle_uuids {

const ble::Uuid& service() {
    static const ble::Uuid uuid = ble::Uuid::fromString(kServiceText);
    return uuid;
}

const ble::Uuid& readCharacteristic() {
    static const ble::Uuid uuid = ble::Uuid::fromString(kReadText);
    return uuid;
}

const ble::Uuid& writeCharacteristic() {
    static const ble::Uuid uuid = ble::Uuid::fromString(kWriteText);
    return uuid;
}

}  // namespace vehicle_uuids
