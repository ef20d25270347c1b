// Which radio drives the vehicles, for the window and the terminal program.
// The choice is asynchronous so that a probe of a real adapter can take its
// time without holding up the event loop; the window is made once the choice
// is known.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ble/Bluetooth.h"
#include "radio/AdapterEntry.h"
#include "radio/SimCars.h"

struct Radio {
    // Makes the centrals; handed to the window's vehicles controller.
    ble::CentralFactory factory;
    // What the window shows as the radio in use.
    QString description;
    // The adapter driven, empty for the simulated vehicles.
    QString adapterAddress;
    // Keeps whatever the factory's centrals live on (an event loop, a world
    // of virtual vehicles) alive for as long as the radio is held.
    std::shared_ptr<void> keepAlive;
};

// The program ends: the real radio lets go of the links it made or took at
// the system's Bluetooth service (on Linux they would outlive the program,
// and a connected car, which does not advertise, would be lost to the next
// run), waiting at most `within`. No vehicle message is sent.
void releaseRadioLinks(std::chrono::milliseconds within = std::chrono::seconds(1));

// Chooses the radio and calls `done` with it from a later turn of Qt's event
// loop, unless `context` is gone by then. `done` is called exactly once, after
// a bounded time, whatever the machine has: a missing or unpowered Bluetooth
// stack gives the simulated radio; more than one powered adapter, every
// adapter at once (makeAllAdaptersRadio).
// The simulated radio it may give holds `simulatedCars` cars.
void chooseRadio(QObject* context, std::function<void(Radio)> done, int simulatedCars = kDefaultSimCars);

// The built-in simulated radio: the default world of three virtual vehicles on
// Qt's event loop.
Radio makeSimulatedRadio();
// The simulated radio with a fleet of `cars` (see ble::sim::World::populate).
Radio makeSimulatedFleet(int cars);

// The machine's Bluetooth adapters, followed as they come, go and are powered
// on or off, without blocking: BlueZ's on Linux, Qt Bluetooth's elsewhere.
class AdapterList : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    virtual std::vector<AdapterEntry> adapters() const = 0;

signals:
    void changed();
};

AdapterList* watchAdapters(QObject* parent);

// The real radio on that adapter.
Radio makeAdapterRadio(const AdapterEntry& adapter);

// Every adapter at once, through the BlueZ radio: each adapter BlueZ has is
// scanned on, and so is every one plugged in or powered on later; a car heard
// by several is one car, connected through the adapter that hears it best and
// has room for another link; an adapter that goes ends only its own cars'
// links. Its description is "All Bluetooth adapters" and its adapterAddress
// the text "all". Null when this build has no BlueZ radio (ZELTO_WITH_BLUEZ
// off, as on macOS and Windows).
std::optional<Radio> makeAllAdaptersRadio();
// The same over the adapters given (those of an AdapterList, say), each known
// by its address (else its name) while it comes and goes. Its adapterAddress
// lists their addresses, comma-separated. Null without the BlueZ radio, or
// for no adapter at all.
std::optional<Radio> makeAdaptersRadio(const std::vector<AdapterEntry>& adapters);

// A radio asked for by name (the terminal program's --radio): the BlueZ radio
// or the portable Qt Bluetooth one, on that adapter (see AdapterLookup.h).
// Null when this build has no such radio.
enum class RadioKind { Bluez, Qt };
std::optional<Radio> makeRadioOfKind(RadioKind kind, const AdapterEntry& adapter);
// This platform's real radio: BlueZ's on Linux, Qt Bluetooth's elsewhere.
RadioKind platformRadioKind();
