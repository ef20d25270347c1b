// The simulated road the drive tests run scripts on, on virtual time.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"
#include "drive/Clock.h"
#include "drive/Runner.h"
#include "drive/Script.h"
#include "link/VehiclesController.h"

namespace drive_test {

using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// The three default cars: Vexa 0x12345678, Drummet 0xcafe0018, Pellan 0x00001913.
struct Road {
    Road() { ble::sim::World::populateDefault(world); }
    ~Road() { controller.reset(); }

    int run(const std::string& text, const std::function<void()>& during = {}, int duringAtMs = 0) {
        const drive::Script script = drive::parseScript(QByteArray::fromStdString(text));
        EXPECT_FALSE(script.error) << (script.error ? script.error->reason.toStdString() : "");
        if (during) loop.postAfter(std::chrono::milliseconds(duringAtMs), during);
        drive::Runner runner(*controller, clock, connectTimeoutMs, [this](const std::string& l) { out.push_back(l); },
                             [this](const std::string& l) { err.push_back(l); });
        runner.setFrameFormat(format);
        return runner.run(script);
    }
    // What the car got after its handshake.
    std::vector<Bytes> frames(std::uint32_t id) const {
        std::vector<Bytes> got;
        const auto& writes = world.vehicle(id)->writes();
        for (std::size_t i = 2; i < writes.size(); ++i) got.push_back(writes[i].bytes);
        return got;
    }

    ble::ManualEventLoop loop;
    ble::sim::World world{loop};
    std::shared_ptr<VehiclesController> controller = std::make_shared<VehiclesController>(world.centralFactory());
    drive::VirtualClock clock{loop};
    drive::FrameFormat format = drive::FrameFormat::Text;
    double connectTimeoutMs = 10000;
    Lines out, err;
};

}  // namespace drive_test
