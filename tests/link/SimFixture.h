// A vehicles controller on the simulated radio, on virtual time.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "tests/support/LogRecorder.h"

namespace sim_fixture {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

inline const ble::Uuid kWrite = ble::Uuid::fromString("BE15BEE1-6186-407E-8381-0BD89C4D8DF4");
inline const Bytes kSdkMode{0x03, 0x90, 0x01, 0x01};
inline const Bytes kGetVersion{0x01, 0x18};

inline ble::sim::VehicleProfile vehicleProfile(uint8_t model, uint32_t identifier, uint16_t version = 0x1234) {
    ble::sim::VehicleProfile result;
    result.model = model;
    result.identifier = identifier;
    result.version = version;
    return result;
}

// True when every write reached the write characteristic without response
// and was part of a handshake (03 90 01 01 then 01 18, once per link).
inline ::testing::AssertionResult handshakeWritesOnly(const ble::sim::VirtualVehicle& vehicle) {
    const auto& writes = vehicle.writes();
    const std::vector<Bytes> handshake{kSdkMode, kGetVersion};
    for (size_t i = 0; i < writes.size(); ++i) {
        if (!(writes[i].characteristic == kWrite)) {
            return ::testing::AssertionFailure()
                   << "write " << i << " went to " << writes[i].characteristic.toString();
        }
        if (writes[i].type != ble::WriteType::WithoutResponse) {
            return ::testing::AssertionFailure() << "write " << i << " asked for a response";
        }
        if (writes[i].bytes != handshake[i % 2]) {
            return ::testing::AssertionFailure() << "write " << i << " is not the handshake's";
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace sim_fixture

class SimFixture {
public:
    std::shared_ptr<Vehicle> listedVehicle(uint32_t identifier) const {
        return controller->findVehicleById(identifier);
    }
    size_t listed() const { return controller->vehicles()->size(); }

    LogRecorder log;
    ble::ManualEventLoop loop;
    ble::sim::World world{loop};
    std::shared_ptr<VehiclesController> controller =
        std::make_shared<VehiclesController>(world.centralFactory());
};
