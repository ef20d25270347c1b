#include "ble/bluez/Central.h"

#include "ble/bluez/Peripheral.h"
#include "ble/bluez/Radio.h"

namespace ble::bluez {

std::shared_ptr<Central> Central::create(std::shared_ptr<Radio> radio,
                                         std::weak_ptr<CentralDelegate> delegate) {
    std::shared_ptr<Central> central(new Central(radio, std::move(delegate)));
    radio->setCentral(central);
    // The first report: the state as far as BlueZ has told it (unknown until
    // its answer arrives; a later report follows every change).
    radio->loop().post([weak = std::weak_ptr<Central>(central)] {
        const std::shared_ptr<Central> self = weak.lock();
        if (!self) return;
        if (const auto delegate = self->delegate()) delegate->centralManagerDidUpdateState(*self);
    });
    return central;
}

Central::Central(std::shared_ptr<Radio> radio, std::weak_ptr<CentralDelegate> delegate)
    : radio_(std::move(radio)), delegate_(std::move(delegate)) {}

Central::~Central() {
    // The links made through this central live on; a scan nobody asks for ends.
    radio_->centralGone(this);
}

CentralState Central::state() const { return radio_->state(); }

void Central::scanForPeripheralsWithServices(const std::vector<Uuid>& services) {
    scanWanted_ = true;
    scanFilter_ = services;
    if (radio_->central().get() == this) radio_->scanRequestChanged();
}

void Central::stopScan() {
    scanWanted_ = false;
    if (radio_->central().get() == this) radio_->scanRequestChanged();
}

void Central::connectPeripheral(const std::shared_ptr<ble::Peripheral>& peripheral) {
    if (!peripheral) return;
    const auto ours = std::dynamic_pointer_cast<Peripheral>(peripheral);
    if (ours) {
        ours->connect();
        return;
    }
    radio_->loop().post([weak = weak_from_this(), peripheral] {
        const std::shared_ptr<Central> self = weak.lock();
        if (!self) return;
        static const Error foreign("The peripheral does not belong to this radio.");
        if (const auto delegate = self->delegate()) {
            delegate->didFailToConnectPeripheral(*self, *peripheral, &foreign);
        }
    });
}

}  // namespace ble::bluez
