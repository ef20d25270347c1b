// `zelto-drive scan`: lists the vehicles that advertise, once each, in the
// order they were found, for a number of seconds.
#pragma once

#include <functional>
#include <string>

#include "ble/Bluetooth.h"
#include "drive/Clock.h"

namespace drive {

// One line per vehicle as it is found: "id=0x12345678 model=9 name=<name>
// rssi=<dBm or ?> adapter=<hci0>" (no adapter on the simulated radio). With
// `json`, one JSON object a line once the time is over: id, model, name and
// the link's health figures as the window shows them (see HealthJson.h).
void scan(const ble::CentralFactory& radio, DriveClock& clock, double seconds, bool json,
          const std::function<void(const std::string&)>& out);

}  // namespace drive
