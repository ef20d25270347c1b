// The adapters the radio drives, chosen among BlueZ's by the radio's options:
// one adapter (by its address, else the first powered one, kept while it is
// there), a list of them by name or address, or every one. Each keeps its
// discovery session's state and its room: how many links it takes.
#pragma once

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "ble/bluez/RadioOptions.h"

namespace ble::bluez {

class ObjectMirror;

class AdapterSet {
public:
    enum class Discovery { Off, Starting, On, Stopping };
    struct Adapter {
        Discovery discovery = Discovery::Off;
        std::size_t room = 0;
        // The room was learnt from a refusal, not guessed: no stretching it.
        bool roomRefused = false;
        // When, on the radio's loop: the refusal lasts a bounded time.
        std::chrono::milliseconds roomRefusedAt{0};
        // Numbers the adapter's comings: answers meant for an earlier one find nothing.
        uint64_t serial = 0;

        // A refusal: the room is what the adapter holds, for a while.
        void refuseRoom(std::size_t links, std::chrono::milliseconds now) {
            room = std::min(room, links);
            roomRefused = true;
            roomRefusedAt = now;
        }
        void restoreRoom(std::size_t fullRoom) {
            room = fullRoom;
            roomRefused = false;
        }
    };

    explicit AdapterSet(const RadioOptions& options);

    // Chooses again among the adapters in the mirror; returns the paths that
    // left the set.
    std::vector<QString> choose(const ObjectMirror& mirror);
    void clear() { adapters_.clear(); }

    bool empty() const { return adapters_.empty(); }
    bool contains(const QString& adapterPath) const { return adapters_.contains(adapterPath); }
    // Whether the device object is below an adapter of the set.
    bool holds(const QString& devicePath) const;
    Adapter* find(const QString& adapterPath);
    // The adapter with that path, if it is still the same coming of it.
    Adapter* find(const QString& adapterPath, uint64_t serial);
    std::map<QString, Adapter>& all() { return adapters_; }
    const std::map<QString, Adapter>& all() const { return adapters_; }

    std::size_t fullRoom() const { return fullRoom_; }

private:
    std::vector<QString> wanted(const ObjectMirror& mirror) const;

    std::vector<std::string> names_;  // empty: one adapter, by address_
    bool every_ = false;
    QString address_;
    std::size_t fullRoom_;
    uint64_t lastSerial_ = 0;
    std::map<QString, Adapter> adapters_;
};

// Whether BlueZ says the adapter is powered.
bool adapterPowered(const ObjectMirror& mirror, const QString& adapterPath);
// Whether BlueZ says the device (on one adapter) is connected.
bool connectedAt(const ObjectMirror& mirror, const QString& devicePath);

}  // namespace ble::bluez
