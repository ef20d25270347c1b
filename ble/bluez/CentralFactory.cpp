#include "ble/bluez/CentralFactory.h"

#include <memory>

#include "ble/bluez/Central.h"
#include "ble/bluez/Radio.h"

namespace ble::bluez {

CentralFactory makeCentralFactory(EventLoop& loop, RadioOptions options) {
    return makeCentralFactory(loop, std::move(options), QDBusConnection::systemBus());
}

CentralFactory makeCentralFactory(EventLoop& loop, RadioOptions options, QDBusConnection bus) {
    // Made at the first central, so that nothing talks to BlueZ before
    // Connect is pressed.
    auto radio = std::make_shared<std::shared_ptr<Radio>>();
    return [radio, &loop, options = std::move(options),
            bus = std::move(bus)](std::weak_ptr<CentralDelegate> delegate) -> std::shared_ptr<ble::Central> {
        if (!*radio) {
            *radio = std::make_shared<Radio>(loop, options, bus);
            (*radio)->start();
        }
        return Central::create(*radio, std::move(delegate));
    };
}

void releaseEveryLink(std::chrono::milliseconds within) { Radio::releaseLinksOfEveryRadio(within); }

}  // namespace ble::bluez
