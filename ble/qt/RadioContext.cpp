#include "ble/qt/RadioContext.h"

#include <QString>

#include "ble/qt/Central.h"
#include "ble/qt/Peripheral.h"

namespace ble::qt {

RadioContext::RadioContext(EventLoop& loop, RadioOptions options)
    : loop_(loop),
      options_(std::move(options)),
      adapter_(QString::fromStdString(options_.adapterAddress)) {}

std::shared_ptr<Peripheral> RadioContext::peripheral(const std::string& deviceKey) const {
    const auto found = peripherals_.find(deviceKey);
    return found == peripherals_.end() ? nullptr : found->second.lock();
}

void RadioContext::remember(const std::string& deviceKey,
                            const std::shared_ptr<Peripheral>& peripheral) {
    std::erase_if(peripherals_, [](const auto& entry) { return entry.second.expired(); });
    peripherals_[deviceKey] = peripheral;
}

void RadioContext::postToCentral(CentralEvent event) {
    loop_.post([weak = weak_from_this(), event = std::move(event)] {
        const std::shared_ptr<RadioContext> self = weak.lock();
        if (!self) return;
        const std::shared_ptr<Central> central = self->central();
        if (!central) return;
        const std::shared_ptr<CentralDelegate> delegate = central->delegate();
        if (!delegate) return;
        event(*central, *delegate);
    });
}

}  // namespace ble::qt
