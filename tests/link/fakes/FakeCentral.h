// A central that records the controller's requests, and a radio that makes
// such centrals and, like a real one, reports each new central's state on the
// event loop after creating it.
#pragma once

#include <memory>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/ManualEventLoop.h"

namespace fakes {

class FakeCentral : public ble::Central {
public:
    FakeCentral(ble::CentralState state, std::weak_ptr<ble::CentralDelegate> delegate)
        : state_(state), delegate_(std::move(delegate)) {}

    ble::CentralState state() const override { return state_; }
    void setState(ble::CentralState state) { state_ = state; }
    void scanForPeripheralsWithServices(const std::vector<ble::Uuid>& services) override {
        scanRequests.push_back(services);
    }
    void stopScan() override { ++stopScanRequests; }
    void connectPeripheral(const std::shared_ptr<ble::Peripheral>& peripheral) override {
        connectRequests.push_back(peripheral);
    }
    std::shared_ptr<ble::CentralDelegate> delegate() const { return delegate_.lock(); }

    std::vector<std::vector<ble::Uuid>> scanRequests;
    int stopScanRequests = 0;
    std::vector<std::shared_ptr<ble::Peripheral>> connectRequests;

private:
    ble::CentralState state_;
    std::weak_ptr<ble::CentralDelegate> delegate_;
};

class FakeRadio {
public:
    explicit FakeRadio(ble::ManualEventLoop& loop) : loop_(loop) {}

    // The state new centrals start in.
    ble::CentralState initialState = ble::CentralState::PoweredOn;
    // Every central made so far, newest last.
    std::vector<std::shared_ptr<FakeCentral>> centrals;

    ble::CentralFactory factory() {
        return [this](std::weak_ptr<ble::CentralDelegate> delegate) {
            auto central = std::make_shared<FakeCentral>(initialState, delegate);
            centrals.push_back(central);
            reportState(central);
            return central;
        };
    }

    // Posts a state report of the central to its delegate, as a radio does
    // after creating a central and on every change of state.
    void reportState(const std::shared_ptr<FakeCentral>& central) {
        loop_.post([weak = std::weak_ptr<FakeCentral>(central)] {
            const auto reporting = weak.lock();
            if (reporting == nullptr) return;
            if (const auto delegate = reporting->delegate()) {
                delegate->centralManagerDidUpdateState(*reporting);
            }
        });
    }

private:
    ble::ManualEventLoop& loop_;
};

}  // namespace fakes
