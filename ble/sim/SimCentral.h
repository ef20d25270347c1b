// The local radio of a simulated world. It reports its state after it is
// made and on every power change, reports the advertisements of every vehicle
// in the world while it scans, and connects after a short latency. Every
// outcome is posted on the world's loop and delivered to the delegate of that
// moment; nothing is delivered once the central or the world is gone. A
// central that is let go hands its standing and pending links to the newest
// central of its world, as a real adapter keeps its links whatever becomes of
// one client's handle.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "ble/Bluetooth.h"

namespace ble::sim {

class SimPeripheral;
class SimVehicle;
struct WorldCore;

class SimCentral final : public Central, public std::enable_shared_from_this<SimCentral> {
  public:
    SimCentral(std::weak_ptr<WorldCore> world, std::weak_ptr<CentralDelegate> delegate);
    ~SimCentral() override;
    SimCentral(const SimCentral&) = delete;
    SimCentral& operator=(const SimCentral&) = delete;

    CentralState state() const override;
    void scanForPeripheralsWithServices(const std::vector<Uuid>& services) override;
    void stopScan() override;
    void connectPeripheral(const std::shared_ptr<Peripheral>& peripheral) override;

    // From the world.
    void reportState();
    void radioPoweredOff();
    void forgetVehicle(uint64_t serial);
    void reportDisconnect(std::shared_ptr<SimPeripheral> peripheral, Error error);
    // Takes over a link of a central that was let go: the same peripheral
    // object, its connection completing or standing, its events reported here.
    void adopt(uint64_t serial, const std::shared_ptr<SimPeripheral>& peripheral);

  private:
    using Event = std::function<void(SimCentral&, CentralDelegate*)>;
    // Runs `event` after `delay` if this central and its world still exist,
    // with the delegate of that moment (null when it is gone).
    void post(std::chrono::milliseconds delay, Event event);
    void scheduleScan(std::chrono::milliseconds delay, uint64_t generation);
    void scanRound(uint64_t generation);
    void reportBurst(uint64_t generation, uint64_t round, std::size_t burst);
    bool scanStillWanted(uint64_t generation) const;
    void completeConnect(const std::shared_ptr<SimPeripheral>& peripheral,
                         CentralDelegate* delegate);
    const std::shared_ptr<SimPeripheral>& peripheralFor(SimVehicle& vehicle);

    std::weak_ptr<WorldCore> world_;
    std::weak_ptr<CentralDelegate> delegate_;
    bool reported_ = false;  // the first state report has been delivered
    CentralState lastState_ = CentralState::Unknown;
    bool scanning_ = false;
    std::vector<Uuid> filter_;
    uint64_t scanGeneration_ = 0;
    uint64_t scanRounds_ = 0;
    std::unordered_map<uint64_t, std::shared_ptr<SimPeripheral>> peripherals_;
};

}  // namespace ble::sim
