// zelto-drive relay: offers the radio given on a broker until a signal ends
// it, printing every frame it writes to a car (time, car, hex), its own stop
// frames with their reason. A broker that is not there or refuses the login,
// or another relay of its name online (without --take-over), ends it at once
// with kBadInput; another relay taking its name over ends it with
// kVehicleLost.
#pragma once

#include <functional>
#include <string>

#include "ble/Bluetooth.h"
#include "drive/CommandLine.h"

namespace drive {

using LineSink = std::function<void(const std::string&)>;

int runRelay(const Invocation& invocation, const ble::CentralFactory& radio, const LineSink& out, const LineSink& err);

}  // namespace drive
