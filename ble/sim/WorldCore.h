// The state of one simulated world, shared by its centrals, peripherals and
// pending loop tasks. Only the World owns it; everything else holds it weakly
// and goes quiet once the World is destroyed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "ble/EventLoop.h"
#include "ble/sim/Timing.h"

namespace ble::sim {

class SimCentral;
class SimVehicle;

struct WorldCore {
    explicit WorldCore(EventLoop& eventLoop) : loop(eventLoop) {}

    EventLoop& loop;
    bool alive = true;  // false from the World's destruction on
    bool powered = true;
    std::chrono::milliseconds advertisingInterval = timing::kAdvertisingInterval;
    std::vector<std::shared_ptr<SimVehicle>> vehicles;  // in the order they were added
    std::vector<std::weak_ptr<SimCentral>> centrals;
    uint64_t nextVehicleSerial = 1;

    void setPowered(bool on);
    void removeVehicle(uint32_t identifier);
    SimVehicle* find(uint32_t identifier) const;
    // The centrals still in use; forgets the others.
    std::vector<std::shared_ptr<SimCentral>> liveCentrals();
};

// The world while its World object exists, otherwise null.
std::shared_ptr<WorldCore> lockWorld(const std::weak_ptr<WorldCore>& world);

}  // namespace ble::sim
