// The radio zelto-drive's command line asks for, started: the simulated cars
// (on Qt's loop or on virtual time), the machine's own choice, or the real
// radio on an adapter that must be there. A real radio that cannot start is
// a plain reason, found out within a few seconds while Qt's loop runs.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ble/Bluetooth.h"
#include "drive/Clock.h"
#include "drive/CommandLine.h"
#include "radio/RadioChoice.h"

namespace ble {
class ManualEventLoop;
namespace sim {
class World;
}
}  // namespace ble

namespace drive {

// The chosen radio, and whatever its clock runs on.
struct StartedRadio {
    std::unique_ptr<ble::ManualEventLoop> virtualLoop;
    std::unique_ptr<ble::sim::World> virtualWorld;
    std::optional<Radio> radio;
    ble::CentralFactory factory;
    std::unique_ptr<DriveClock> clock;
    std::string problem;  // set: no radio, and why ("BlueZ is not running")

    StartedRadio();
    ~StartedRadio();
    StartedRadio(StartedRadio&&) noexcept;
};

StartedRadio startRadio(const Invocation& invocation);

}  // namespace drive
