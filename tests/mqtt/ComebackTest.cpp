// The window's way of driving: one long-lived driver on the broker radio and
// a relay, both in this process. When the broker goes and comes back, the
// relay stops the cars, the driver's links end as lost, and once the broker
// is back the driver finds the cars again and drives them.
#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "ble/mqtt/DriverHub.h"
#include "ble/mqtt/Relay.h"
#include "ble/qt/QtEventLoop.h"
#include "ble/sim/World.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "radio/BrokerRules.h"
#include "tests/mqtt/Broker.h"

namespace mqtt_test {
namespace {

TEST(BrokerComeback, BothSidesComeBackAndDriveAgain) {
    SystemLog::setEchoToStandardError(false);
    Broker broker;
    ASSERT_TRUE(broker.running());
    ble::qt::QtEventLoop loop;
    ble::sim::World world(loop);
    ble::sim::World::populate(world, 3);
    std::vector<std::string> written;
    ble::mqtt::RelayOptions options;
    options.name = "hall";
    options.address = *ble::mqtt::readBrokerUrl(broker.url().toStdString()).address;
    options.wrote = [&](const std::string&, const std::vector<uint8_t>& frame, const std::string& why) {
        written.push_back(ble::mqtt::wire::hexOf(frame) + (why.empty() ? "" : " " + why));
    };
    auto relay = std::make_shared<ble::mqtt::Relay>(loop, world.centralFactory(), options);
    bool relayUp = false, driverUp = false;
    relay->start([&](const std::string& problem) { relayUp = problem.empty(); });
    auto rules = broker_rules::vehicleDriverRules();
    std::vector<std::string> said;  // what the window's status bar would show
    rules.log = [&said](const std::string& line) { said.push_back(line); };
    auto hub = std::make_shared<ble::mqtt::DriverHub>(loop, options.address, rules);
    hub->start([&](const std::string& problem) { driverUp = problem.empty(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return relayUp && driverUp; }, 30000));

    auto controller = std::make_shared<VehiclesController>(hub->centralFactory());
    controller->beginScan();
    const auto active = [&] {
        int count = 0;
        for (const auto& vehicle : *controller->vehicles()) count += vehicle && vehicle->active();
        return count;
    };
    const auto driveAll = [&] {
        for (const auto& vehicle : *controller->vehicles()) {
            if (vehicle && vehicle->active()) vehicle->setSpeed(400);
        }
    };
    const auto count = [&](const std::string& line) { return std::count(written.begin(), written.end(), line); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return active() == 3; }, 30000));
    driveAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return count("06249001A86100") == 3; }, 30000));

    broker.kill();
    EXPECT_TRUE(QTest::qWaitFor([&] { return count("06240000A86100 broker lost") == 3; }, 30000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return active() == 0 && !hub->up(); }, 30000));
    const std::string named = "Broker " + options.address.describe();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !said.empty() && said.back() == named + " lost, retrying\u2026"; }, 30000));

    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return active() == 3; }, 60000));
    EXPECT_NE(std::find(said.begin(), said.end(), named + " reached again"), said.end());
    driveAll();
    EXPECT_TRUE(QTest::qWaitFor([&] { return count("06249001A86100") == 6; }, 30000));
    controller.reset();
    relay->stop();
}

}  // namespace
}  // namespace mqtt_test
