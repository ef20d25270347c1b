// The words of the simulated radio: a virtual vehicle's profile, its fault
// switches and the writes it records.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"

namespace ble::sim {

// A handshake stage at which a link can be made to drop.
enum class Stage {
    Connected,                  // right after the connection is reported
    ServicesDiscovered,         // after the service discovery result
    CharacteristicsDiscovered,  // after the characteristic discovery result
    NotifyEnabled,              // after the notification state result
};

// The five peripheral events, for error injection.
enum class PeripheralEvent {
    DiscoverServices,
    DiscoverCharacteristics,
    UpdateValue,
    WriteValue,
    UpdateNotificationState,
};

// How the vehicle's GATT table looks.
enum class ServiceLayout {
    Normal,          // the vehicle service with its read and write characteristics
    NoService,       // discovery succeeds and reports no service
    TwoServices,     // a generic service first, then the vehicle service
    MissingWrite,    // the vehicle service without its write characteristic
    MissingRead,     // the vehicle service without its read characteristic
};

struct Faults {
    bool failConnect = false;
    std::optional<std::chrono::milliseconds> dropAfter;  // after connecting
    std::optional<Stage> dropAtStage;
    std::set<PeripheralEvent> errorOn;
    ServiceLayout layout = ServiceLayout::Normal;
};

struct RecordedWrite {
    Uuid characteristic;
    std::vector<uint8_t> bytes;
    WriteType type;
};

struct VehicleProfile {
    uint8_t model = 9;
    uint32_t identifier = 0;
    std::string name{};  // the local name; empty for a made-up one
    uint16_t version = 0x1234;
};

}  // namespace ble::sim
