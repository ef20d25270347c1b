// A world on a manual loop, one central reporting to a Recorder, and helpers
// that walk a vehicle through discovery, connection and the GATT handshake.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "Recorder.h"
#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"

namespace simtest {

using namespace std::chrono_literals;
using ble::sim::VirtualVehicle;
using ble::sim::World;

inline const ble::Uuid kVehicleService =
    ble::Uuid::fromString("BE15BEEF-6186-407E-8381-0BD89C4D8DF4");
inline const ble::Uuid kReadUuid = ble::Uuid::fromString("BE15BEE0-6186-407E-8381-0BD89C4D8DF4");
inline const ble::Uuid kWriteUuid = ble::Uuid::fromString("BE15BEE1-6186-407E-8381-0BD89C4D8DF4");
inline const ble::Uuid kGenericService =
    ble::Uuid::fromString("00001800-0000-1000-8000-00805F9B34FB");

constexpr uint32_t kId = 0x11223344;

struct Link {
    std::shared_ptr<ble::Peripheral> peripheral;
    std::shared_ptr<ble::Service> service;
    std::shared_ptr<ble::Characteristic> read;
    std::shared_ptr<ble::Characteristic> write;
};

class SimTest : public testing::Test {
  protected:
    ble::ManualEventLoop loop;
    std::unique_ptr<World> world = std::make_unique<World>(loop);
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>(loop);
    std::shared_ptr<ble::Central> central;

    VirtualVehicle& addVehicle(uint32_t identifier = kId, uint8_t model = 9) {
        return world->addVehicle({.model = model, .identifier = identifier, .name = "Testa"});
    }

    std::shared_ptr<ble::Central> makeCentral() {
        central = world->centralFactory()(recorder);
        return central;
    }

    // Scans until some advertisement is seen; returns the first peripheral.
    std::shared_ptr<ble::Peripheral> discoverFirst() {
        if (!central) makeCentral();
        loop.runUntilIdle();
        central->scanForPeripheralsWithServices({kVehicleService});
        loop.advance(50ms);
        if (recorder->discovered.empty()) {
            ADD_FAILURE() << "nothing discovered";
            return nullptr;
        }
        return recorder->discovered.front();
    }

    std::shared_ptr<ble::Peripheral> connectFirst() {
        auto peripheral = discoverFirst();
        if (!peripheral) return nullptr;
        central->stopScan();
        central->connectPeripheral(peripheral);
        loop.advance(100ms);
        return peripheral;
    }

    // Connects, discovers, subscribes: the link as the vehicle layer makes it.
    Link handshake() {
        Link link;
        link.peripheral = connectFirst();
        if (!link.peripheral) return link;
        link.peripheral->setDelegate(recorder);
        link.peripheral->discoverServices({});
        loop.advance(50ms);
        const auto services = link.peripheral->services();
        if (services.empty()) {
            ADD_FAILURE() << "no service";
            return link;
        }
        link.service = services.back();
        link.peripheral->discoverCharacteristicsForService({}, link.service);
        loop.advance(50ms);
        for (const auto& characteristic : link.service->characteristics()) {
            if (characteristic->uuid() == kReadUuid) link.read = characteristic;
            if (characteristic->uuid() == kWriteUuid) link.write = characteristic;
        }
        link.peripheral->setNotifyValueForCharacteristic(true, link.read);
        loop.advance(50ms);
        return link;
    }

    void write(const Link& link, std::vector<uint8_t> bytes,
               ble::WriteType type = ble::WriteType::WithoutResponse) {
        link.peripheral->writeValueForCharacteristic(bytes, link.write, type);
        loop.advance(50ms);
    }

    std::vector<std::vector<uint8_t>> notifiedValues() const {
        std::vector<std::vector<uint8_t>> values;
        for (const auto& event : recorder->of("value")) values.push_back(event.value);
        return values;
    }
};

}  // namespace simtest
