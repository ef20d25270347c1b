// The simulated radio: a small world of virtual vehicles that advertise,
// connect, answer the vehicle protocol and notify, on an EventLoop. A full
// peer of a real radio, with faults as switches.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ble/Bluetooth.h"
#include "ble/EventLoop.h"
#include "ble/sim/Vocabulary.h"

namespace ble::sim {

class VirtualVehicle {
public:
    virtual ~VirtualVehicle() = default;
    virtual uint32_t identifier() const = 0;
    virtual uint8_t model() const = 0;
    virtual Faults& faults() = 0;
    // Replaces the manufacturer data it advertises (any length and content);
    // nullopt advertises none.
    virtual void setManufacturerData(std::optional<std::vector<uint8_t>> data) = 0;
    // Oldest first. A very long run keeps only the most recent few thousand.
    virtual const std::vector<RecordedWrite>& writes() const = 0;
    virtual void clearWrites() = 0;
    virtual bool connected() const = 0;
    virtual bool notifying() const = 0;
    // Driving state, from set-speed, change-lane and offset commands.
    virtual uint16_t speed() const = 0;
    virtual float offset() const = 0;
    // Sends a value on the read characteristic (any length and content).
    virtual void notify(std::vector<uint8_t> value) = 0;
    virtual void triggerDelocalized() = 0;
    // Ends the link from the vehicle's side.
    virtual void disconnect() = 0;
};

class World {
public:
    explicit World(EventLoop& loop);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    VirtualVehicle& addVehicle(const VehicleProfile& profile);
    void removeVehicle(uint32_t identifier);  // goes out of range, link dropped
    std::vector<VirtualVehicle*> vehicles() const;
    VirtualVehicle* vehicle(uint32_t identifier) const;

    // Powering the radio off or on reports the new state to every central.
    void setPowered(bool powered);
    bool powered() const;

    // How often a scanning central reports each vehicle (200 ms unless set).
    void setAdvertisingInterval(std::chrono::milliseconds interval);
    std::chrono::milliseconds advertisingInterval() const;

    // Makes centrals in this world. The world must outlive them.
    CentralFactory centralFactory();
    EventLoop& loop() const;

    // Three vehicles, models 9, 18 and 19, with fixed identifiers.
    static constexpr int kDefaultVehicles = 3;
    static void populateDefault(World& world);
    // `count` vehicles (up to 65535): the default three first, then models
    // 7, 8, 10, 11 and 12 (which have no panel), then round again, so bigger
    // fleets repeat models. Identifiers and names are fixed and all differ.
    static void populate(World& world, int count);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ble::sim
