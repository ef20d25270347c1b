// The broker radio's central: powered on while the broker session stands,
// it reports the cars every relay (or the one named) advertises, and
// connects them through their relay.
#pragma once

#include <memory>
#include <vector>

#include "ble/Bluetooth.h"

namespace ble::mqtt {

class DriverHub;

class RemoteCentral final : public Central, public std::enable_shared_from_this<RemoteCentral> {
public:
    RemoteCentral(std::weak_ptr<DriverHub> hub, std::weak_ptr<CentralDelegate> delegate);
    ~RemoteCentral() override;

    CentralState state() const override;
    void scanForPeripheralsWithServices(const std::vector<Uuid>& services) override;
    void stopScan() override { scanning_ = false; }
    void connectPeripheral(const std::shared_ptr<Peripheral>& peripheral) override;

    // From the hub.
    std::shared_ptr<CentralDelegate> delegate() const { return delegate_.lock(); }
    bool wants(const AdvertisementData& advertisement) const;

private:
    std::weak_ptr<DriverHub> hub_;
    std::weak_ptr<CentralDelegate> delegate_;
    bool scanning_ = false;
    std::vector<Uuid> filter_;
};

}  // namespace ble::mqtt
