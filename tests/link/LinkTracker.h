// Sits between a radio's central and the vehicles controller and keeps what
// the controller has been told about each link: a connection it asked for and
// whose outcome has not arrived, or a connection reported and not yet ended.
// The controller sees this object as its central; a new tracker takes over
// the record of the one it replaces.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <set>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"

class LinkTracker : public ble::Central,
                    public ble::CentralDelegate,
                    public std::enable_shared_from_this<LinkTracker> {
public:
    LinkTracker(ble::EventLoop& loop, std::weak_ptr<ble::CentralDelegate> target)
        : loop_(loop), target_(std::move(target)) {}

    // A factory that wraps every central of `radio` in a tracker and keeps the
    // newest tracker in `current`.
    static ble::CentralFactory factory(ble::EventLoop& loop, ble::CentralFactory radio,
                                       std::shared_ptr<LinkTracker>& current) {
        return [&loop, radio = std::move(radio), &current](std::weak_ptr<ble::CentralDelegate> target) {
            auto tracker = std::make_shared<LinkTracker>(loop, std::move(target));
            // The radio carries the links of a replaced central over to the
            // new one, and so does the record of them.
            if (current) {
                tracker->connecting_ = current->connecting_;
                tracker->connected_ = current->connected_;
            }
            tracker->inner_ = radio(tracker);
            current = tracker;
            return std::static_pointer_cast<ble::Central>(tracker);
        };
    }

    // Connection requests awaiting their outcome, with the time they were made.
    const std::map<const ble::Peripheral*, std::chrono::milliseconds>& connecting() const {
        return connecting_;
    }
    const std::set<const ble::Peripheral*>& connected() const { return connected_; }

    // ble::Central
    ble::CentralState state() const override { return inner_->state(); }
    void scanForPeripheralsWithServices(const std::vector<ble::Uuid>& services) override {
        inner_->scanForPeripheralsWithServices(services);
    }
    void stopScan() override { inner_->stopScan(); }
    void connectPeripheral(const std::shared_ptr<ble::Peripheral>& peripheral) override {
        if (peripheral) connecting_.emplace(peripheral.get(), loop_.now());
        inner_->connectPeripheral(peripheral);
    }

    // ble::CentralDelegate: noted, then passed on with this tracker as the central.
    void centralManagerDidUpdateState(ble::Central&) override {
        if (const auto target = target_.lock()) target->centralManagerDidUpdateState(*this);
    }
    void didConnectPeripheral(ble::Central&, ble::Peripheral& peripheral) override {
        connecting_.erase(&peripheral);
        connected_.insert(&peripheral);
        if (const auto target = target_.lock()) target->didConnectPeripheral(*this, peripheral);
    }
    void didDisconnectPeripheral(ble::Central&, ble::Peripheral& peripheral,
                                 const ble::Error* error) override {
        connected_.erase(&peripheral);
        if (const auto target = target_.lock()) target->didDisconnectPeripheral(*this, peripheral, error);
    }
    void didFailToConnectPeripheral(ble::Central&, ble::Peripheral& peripheral,
                                    const ble::Error* error) override {
        connecting_.erase(&peripheral);
        if (const auto target = target_.lock()) {
            target->didFailToConnectPeripheral(*this, peripheral, error);
        }
    }
    void didDiscoverPeripheral(ble::Central&, const std::shared_ptr<ble::Peripheral>& peripheral,
                               const ble::AdvertisementData& advertisement, int rssi) override {
        if (const auto target = target_.lock()) {
            target->didDiscoverPeripheral(*this, peripheral, advertisement, rssi);
        }
    }
    void didRetrievePeripherals(ble::Central&,
                                const std::vector<std::shared_ptr<ble::Peripheral>>& list) override {
        if (const auto target = target_.lock()) target->didRetrievePeripherals(*this, list);
    }

private:
    ble::EventLoop& loop_;
    std::weak_ptr<ble::CentralDelegate> target_;
    std::shared_ptr<ble::Central> inner_;
    std::map<const ble::Peripheral*, std::chrono::milliseconds> connecting_;
    std::set<const ble::Peripheral*> connected_;
};
