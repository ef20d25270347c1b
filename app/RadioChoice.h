// Which radio the window drives. The choice is asynchronous so that a probe
// of a real adapter can take its time without holding up the event loop; the
// window is made once the choice is known.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "ble/Bluetooth.h"

class QObject;

struct Radio {
    // Makes the centrals; handed to the window's vehicles controller.
    ble::CentralFactory factory;
    // What the window shows as the radio in use.
    QString description;
    // Keeps whatever the factory's centrals live on (an event loop, a world
    // of virtual vehicles) alive for as long as the radio is held.
    std::shared_ptr<void> keepAlive;
};

// Chooses the radio and calls `done` with it from a later turn of Qt's event
// loop, unless `context` is gone by then. `done` is called exactly once, after
// a bounded time, whatever the machine has: a missing or unpowered Bluetooth
// stack gives the simulated radio.
void chooseRadio(QObject* context, std::function<void(Radio)> done);

// The built-in simulated radio: the default world of three virtual vehicles on
// Qt's event loop.
Radio makeSimulatedRadio();
