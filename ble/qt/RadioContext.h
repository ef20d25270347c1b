// What every central of one adapter shares: the event loop, the options, one
// peripheral object per device address, and which central is the current one.
//
// The vehicles controller replaces its central at every scan request, while
// the vehicles it already has keep their peripherals. Those peripherals report
// their link events (a disconnection) to the current central, so a vehicle
// connected through an earlier central still leaves the list when its link ends.
#pragma once

#include <QBluetoothAddress>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"
#include "ble/qt/RadioOptions.h"

namespace ble::qt {

class Central;
class Peripheral;

class RadioContext : public std::enable_shared_from_this<RadioContext> {
public:
    RadioContext(EventLoop& loop, RadioOptions options);

    EventLoop& loop() const { return loop_; }
    const RadioOptions& options() const { return options_; }
    // Null for the system's default adapter.
    const QBluetoothAddress& adapter() const { return adapter_; }

    std::shared_ptr<Central> central() const { return central_.lock(); }
    void setCentral(const std::shared_ptr<Central>& central) { central_ = central; }

    // The live peripheral object of a device, if any holder keeps one.
    std::shared_ptr<Peripheral> peripheral(const std::string& deviceKey) const;
    void remember(const std::string& deviceKey, const std::shared_ptr<Peripheral>& peripheral);

    // Runs the event later for the current central and its delegate; dropped
    // when either is gone by then.
    using CentralEvent = std::function<void(Central&, CentralDelegate&)>;
    void postToCentral(CentralEvent event);

private:
    EventLoop& loop_;
    RadioOptions options_;
    QBluetoothAddress adapter_;
    std::weak_ptr<Central> central_;
    std::map<std::string, std::weak_ptr<Peripheral>> peripherals_;
};

}  // namespace ble::qt
