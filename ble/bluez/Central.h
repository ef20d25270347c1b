// The local adapter over BlueZ's D-Bus API: its powered state, LE discovery
// with a service filter, and connections. Every report reaches the delegate
// later, posted on the event loop.
#pragma once

#include <memory>
#include <vector>

#include "ble/Bluetooth.h"

namespace ble::bluez {

class Radio;

class Central : public ble::Central, public std::enable_shared_from_this<Central> {
public:
    // Makes the central the radio's current one; its first state report follows.
    static std::shared_ptr<Central> create(std::shared_ptr<Radio> radio,
                                           std::weak_ptr<CentralDelegate> delegate);
    ~Central() override;

    CentralState state() const override;
    void scanForPeripheralsWithServices(const std::vector<Uuid>& services) override;
    void stopScan() override;
    void connectPeripheral(const std::shared_ptr<ble::Peripheral>& peripheral) override;

    std::shared_ptr<CentralDelegate> delegate() const { return delegate_.lock(); }
    bool scanWanted() const { return scanWanted_; }
    const std::vector<Uuid>& scanFilter() const { return scanFilter_; }

private:
    Central(std::shared_ptr<Radio> radio, std::weak_ptr<CentralDelegate> delegate);

    std::shared_ptr<Radio> radio_;
    std::weak_ptr<CentralDelegate> delegate_;
    bool scanWanted_ = false;
    std::vector<Uuid> scanFilter_;
};

}  // namespace ble::bluez
