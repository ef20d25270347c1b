#include "Recorder.h"

#include <algorithm>

namespace {

std::optional<std::string> textOf(const ble::Error* error) {
    if (!error) return std::nullopt;
    return error->localizedDescription();
}

}  // namespace

std::vector<Event> Recorder::of(const std::string& kind) const {
    std::vector<Event> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                 [&](const Event& event) { return event.kind == kind; });
    return found;
}

void Recorder::record(Event event) {
    event.at = loop_.now();
    events.push_back(event);
    if (onEvent) onEvent(event);
}

void Recorder::centralManagerDidUpdateState(ble::Central& central) {
    record({.kind = "state", .state = central.state()});
}

void Recorder::didConnectPeripheral(ble::Central&, ble::Peripheral& peripheral) {
    record({.kind = "connect", .peripheral = &peripheral});
}

void Recorder::didDisconnectPeripheral(ble::Central&, ble::Peripheral& peripheral,
                                       const ble::Error* error) {
    record({.kind = "disconnect", .peripheral = &peripheral, .error = textOf(error)});
}

void Recorder::didFailToConnectPeripheral(ble::Central&, ble::Peripheral& peripheral,
                                          const ble::Error* error) {
    record({.kind = "fail", .peripheral = &peripheral, .error = textOf(error)});
}

void Recorder::didDiscoverPeripheral(ble::Central&,
                                     const std::shared_ptr<ble::Peripheral>& peripheral,
                                     const ble::AdvertisementData& advertisement, int rssi) {
    if (std::find(discovered.begin(), discovered.end(), peripheral) == discovered.end()) {
        discovered.push_back(peripheral);
    }
    record({.kind = "discover",
            .peripheral = peripheral.get(),
            .manufacturerData = advertisement.manufacturerData,
            .localName = advertisement.localName,
            .serviceUuids = advertisement.serviceUuids,
            .rssi = rssi});
}

void Recorder::didDiscoverServices(ble::Peripheral& peripheral, const ble::Error* error) {
    record({.kind = "services", .peripheral = &peripheral, .error = textOf(error)});
}

void Recorder::didDiscoverCharacteristicsForService(ble::Peripheral& peripheral,
                                                    ble::Service& service,
                                                    const ble::Error* error) {
    record({.kind = "characteristics",
            .peripheral = &peripheral,
            .service = &service,
            .error = textOf(error)});
}

void Recorder::didUpdateValueForCharacteristic(ble::Peripheral& peripheral,
                                               ble::Characteristic& characteristic,
                                               const ble::Error* error) {
    record({.kind = "value",
            .peripheral = &peripheral,
            .characteristic = &characteristic,
            .error = textOf(error),
            .value = characteristic.value()});
}

void Recorder::didWriteValueForCharacteristic(ble::Peripheral& peripheral,
                                              ble::Characteristic& characteristic,
                                              const ble::Error* error) {
    record({.kind = "write",
            .peripheral = &peripheral,
            .characteristic = &characteristic,
            .error = textOf(error)});
}

void Recorder::didUpdateNotificationStateForCharacteristic(ble::Peripheral& peripheral,
                                                           ble::Characteristic& characteristic,
                                                           const ble::Error* error) {
    record({.kind = "notifyState",
            .peripheral = &peripheral,
            .characteristic = &characteristic,
            .error = textOf(error)});
}
