#include "ble/sim/Gatt.h"

#include <algorithm>

#include "ble/UuidFilter.h"

namespace ble::sim::gatt {

const Uuid& vehicleService() {
    static const Uuid uuid = Uuid::fromString("BE15BEEF-6186-407E-8381-0BD89C4D8DF4");
    return uuid;
}
const Uuid& readCharacteristic() {
    static const Uuid uuid = Uuid::fromString("BE15BEE0-6186-407E-8381-0BD89C4D8DF4");
    return uuid;
}
const Uuid& writeCharacteristic() {
    static const Uuid uuid = Uuid::fromString("BE15BEE1-6186-407E-8381-0BD89C4D8DF4");
    return uuid;
}
const Uuid& genericAccessService() {
    static const Uuid uuid = Uuid::fromString("00001800-0000-1000-8000-00805F9B34FB");
    return uuid;
}
const Uuid& deviceNameCharacteristic() {
    static const Uuid uuid = Uuid::fromString("00002A00-0000-1000-8000-00805F9B34FB");
    return uuid;
}

std::vector<Uuid> serviceUuids(ServiceLayout layout) {
    switch (layout) {
        case ServiceLayout::NoService:
            return {};
        case ServiceLayout::TwoServices:
            return {genericAccessService(), vehicleService()};
        case ServiceLayout::Normal:
        case ServiceLayout::MissingWrite:
        case ServiceLayout::MissingRead:
            break;
    }
    return {vehicleService()};
}

std::vector<Uuid> characteristicUuids(ServiceLayout layout, const Uuid& service) {
    if (service == genericAccessService()) return {deviceNameCharacteristic()};
    if (service != vehicleService()) return {};
    switch (layout) {
        case ServiceLayout::MissingWrite:
            return {readCharacteristic()};
        case ServiceLayout::MissingRead:
            return {writeCharacteristic()};
        case ServiceLayout::NoService:
        case ServiceLayout::TwoServices:
        case ServiceLayout::Normal:
            break;
    }
    return {readCharacteristic(), writeCharacteristic()};
}

bool passes(const std::vector<Uuid>& filter, const Uuid& uuid) { return filterPasses(filter, uuid); }

}  // namespace ble::sim::gatt
