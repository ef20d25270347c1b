#include "link/VehiclesController.h"

#include <algorithm>
#include <climits>

#include "link/LinkText.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehicleUuids.h"
#include "zelto_sdk/advertisement.h"

namespace {

constexpr long kPoweredOnState = static_cast<long>(ble::CentralState::PoweredOn);

}  // namespace

VehiclesController::VehiclesController(ble::CentralFactory centralFactory)
    : centralFactory_(std::move(centralFactory)) {
    vehicles_.store(std::make_shared<VehicleList>());
}

VehiclesController::~VehiclesController() {
    // The list goes first, then the central; no scan is stopped, no link closed.
    vehicles_.store(nullptr);
    manager_.reset();
    retired_.clear();
}

void VehiclesController::setVehicles(std::shared_ptr<VehicleList> list) {
    vehicles_.store(list != nullptr ? std::move(list) : std::make_shared<VehicleList>());
}

void VehiclesController::beginScan() {
    if (!centralFactory_) {
        return;
    }
    // The new central reports its state later; scanning starts then. The one
    // held before is let go without a stop request.
    // The listed vehicles stay: a radio keeps the links of a replaced central
    // and reports their later events through the current one.
    std::shared_ptr<ble::Central> previous =
        std::exchange(manager_, centralFactory_(weak_from_this()));
    previous.reset();
}

void VehiclesController::setCentralFactory(ble::CentralFactory centralFactory) {
    centralFactory_ = std::move(centralFactory);
    if (manager_ == nullptr) {
        return;
    }
    // The central of the radio left behind finds no more vehicles, but stays:
    // the vehicles it connected drive on, and their link ends still reach the
    // registry through it.
    manager_->stopScan();
    retired_.push_back(std::move(manager_));
}

bool VehiclesController::isRetired(const ble::Central& central) const {
    return std::any_of(retired_.begin(), retired_.end(),
                       [&central](const auto& retired) { return retired.get() == &central; });
}

void VehiclesController::stopScan() {
    if (manager_ != nullptr) {
        manager_->stopScan();
    }
}

std::shared_ptr<Vehicle> VehiclesController::findVehicleAttachedToPeripheral(
    const ble::Peripheral& peripheral) const {
    const auto list = vehicles_.load();
    for (const auto& vehicle : *list) {
        if (vehicle != nullptr && vehicle->peripheral().get() == &peripheral) {
            return vehicle;
        }
    }
    return nullptr;
}

std::shared_ptr<Vehicle> VehiclesController::findVehicleById(uint32_t identifier) const {
    const auto list = vehicles_.load();
    for (const auto& vehicle : *list) {
        if (vehicle != nullptr && vehicle->identifier() == identifier) {
            return vehicle;
        }
    }
    return nullptr;
}

void VehiclesController::vehicleWasDisconnected(const Vehicle& vehicle) { removeVehicle(vehicle); }

void VehiclesController::removeVehicle(const Vehicle& vehicle) {
    const auto list = vehicles_.load();
    // Every entry that is this very vehicle goes. The removed references are
    // dropped only once the list is consistent again, since dropping the last
    // one ends the vehicle (and may end `vehicle` itself).
    VehicleList removed;
    auto kept = list->begin();
    for (auto it = list->begin(); it != list->end(); ++it) {
        if (it->get() == &vehicle) {
            removed.push_back(std::move(*it));
        } else {
            if (kept != it) {
                *kept = std::move(*it);
            }
            ++kept;
        }
    }
    list->erase(kept, list->end());
}

void VehiclesController::centralManagerDidUpdateState(ble::Central& central) {
    SystemLog::write("state=%ld", static_cast<long>(central.state()));
    SystemLog::write("Power ON = %ld", kPoweredOnState);
    // Whatever the state: a later report asks again.
    if (manager_ != nullptr) {
        manager_->scanForPeripheralsWithServices({vehicle_uuids::service()});
    }
}

void VehiclesController::didDiscoverPeripheral(ble::Central& central,
                                               const std::shared_ptr<ble::Peripheral>& peripheral,
                                               const ble::AdvertisementData& advertisementData,
                                               int rssi) {
    if (peripheral == nullptr || isRetired(central)) {
        return;
    }
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    if (advertisementData.manufacturerData.has_value()) {
        bytes = advertisementData.manufacturerData->data();
        length = advertisementData.manufacturerData->size();
    }
    // The decoder counts in 8 bits; a longer item would alias (264 bytes
    // would read as 8), so it is refused before the count is narrowed.
    if (length > UINT8_MAX) {
        return;
    }
    zelto_adv_mfg_info info{};
    if (zelto_adv_parse_mfg_data(bytes, static_cast<uint8_t>(length), &info) != 0) {
        return;
    }
    if (info.product_id != ZELTO_ADV_VEHICLE_PRODUCT_ID) {
        return;
    }
    if (const auto listed = findVehicleById(info.identifier)) {
        // Heard again: only its own peripheral tells how well.
        if (listed->peripheral() == peripheral) heardFrom(*listed, *peripheral, advertisementData, rssi);
        return;
    }
    // A peripheral drives one vehicle: a listed one that advertises another
    // identifier keeps its vehicle, and its events stay with it.
    if (findVehicleAttachedToPeripheral(*peripheral) != nullptr) {
        return;
    }
    if (connectFilter_ &&
        !connectFilter_(info.identifier, info.model_id,
                        peripheral->name().empty() ? advertisementData.localName : peripheral->name())) {
        return;
    }

    const SystemLog::VehicleScope about(info.identifier);
    SystemLog::write("Discovered new vehicle, model=0x%04x, id=0x%08x",
                     static_cast<unsigned>(info.model_id), static_cast<unsigned>(info.identifier));
    auto vehicle = std::make_shared<Vehicle>();
    vehicle->setPeripheral(peripheral);
    vehicle->setIdentifier(info.identifier);
    vehicle->setModelIdentifier(info.model_id);
    vehicle->linkMeter().setClock(healthClock_);
    heardFrom(*vehicle, *peripheral, advertisementData, rssi);
    vehicles_.load()->push_back(vehicle);
    peripheral->setDelegate(vehicle);
    central.connectPeripheral(peripheral);
}

void VehiclesController::heardFrom(Vehicle& vehicle, const ble::Peripheral& peripheral,
                                   const ble::AdvertisementData& advertisement, int rssi) {
    vehicle.linkMeter().advertisementHeard(
        advertisement.localName.empty() ? peripheral.name() : advertisement.localName, rssi);
}

void VehiclesController::didConnectPeripheral(ble::Central&, ble::Peripheral& peripheral) {
    const auto vehicle = findVehicleAttachedToPeripheral(peripheral);
    if (vehicle == nullptr) {
        return;
    }
    const SystemLog::VehicleScope about(vehicle->identifier());
    SystemLog::write("Connected to vehicle id=0x%08x",
                     static_cast<unsigned>(vehicle->identifier()));
    peripheral.discoverServices({});
}

void VehiclesController::didDisconnectPeripheral(ble::Central&, ble::Peripheral& peripheral,
                                                 const ble::Error* error) {
    endLink(peripheral, "Disconnected vehicle", error);
}

void VehiclesController::didFailToConnectPeripheral(ble::Central&, ble::Peripheral& peripheral,
                                                    const ble::Error* error) {
    endLink(peripheral, "Failed to connect to vehicle", error);
}

// A link that failed or ended: log it, detach the vehicle from its peripheral
// and drop it from the list.
void VehiclesController::endLink(ble::Peripheral& peripheral, const char* what,
                                 const ble::Error* error) {
    const auto vehicle = findVehicleAttachedToPeripheral(peripheral);
    if (vehicle == nullptr) {
        return;
    }
    const SystemLog::VehicleScope about(vehicle->identifier());
    SystemLog::write("%s id=0x%08x, error=%s", what, static_cast<unsigned>(vehicle->identifier()),
                     link_text::describe(error).c_str());
    // Bounded whatever the air brings: the oldest word matters least.
    if (linkEnds_.size() >= 1024) linkEnds_.clear();
    linkEnds_[vehicle->identifier()] = error ? error->localizedDescription() : std::string();
    const auto keepAlive = vehicle->peripheral();  // `peripheral` may be held by the vehicle only
    // No vehicle is left on a link that ended, even one that a caller of
    // setVehicles listed twice on the same peripheral.
    for (auto attached = vehicle; attached != nullptr;
         attached = findVehicleAttachedToPeripheral(peripheral)) {
        if (const auto held = attached->peripheral()) {
            held->setDelegate({});
        }
        removeVehicle(*attached);
    }
}

std::string VehiclesController::linkEndOf(uint32_t identifier) const {
    const auto found = linkEnds_.find(identifier);
    return found == linkEnds_.end() ? std::string() : found->second;
}

void VehiclesController::didRetrievePeripherals(
    ble::Central&, const std::vector<std::shared_ptr<ble::Peripheral>>& list) {
    SystemLog::write("Retrieved peripheral: %lu - %s", static_cast<unsigned long>(list.size()),
                     link_text::describe(list).c_str());
}
