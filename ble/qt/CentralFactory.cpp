#include "ble/qt/CentralFactory.h"

#include <memory>

#include "ble/qt/Central.h"
#include "ble/qt/RadioContext.h"

namespace ble::qt {

CentralFactory makeCentralFactory(EventLoop& loop, const std::string& adapterAddress) {
    RadioOptions options;
    options.adapterAddress = adapterAddress;
    return makeCentralFactory(loop, std::move(options));
}

CentralFactory makeCentralFactory(EventLoop& loop, RadioOptions options) {
    auto radio = std::make_shared<RadioContext>(loop, std::move(options));
    return [radio](std::weak_ptr<CentralDelegate> delegate) -> std::shared_ptr<ble::Central> {
        return Central::create(radio, std::move(delegate));
    };
}

}  // namespace ble::qt
