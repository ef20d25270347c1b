// The BlueZ radio with the whole vehicle link against the mock BlueZ on a
// private system bus: the fixture the integration tests of the radio share.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "MockBluez.h"
#include "ble/bluez/CentralFactory.h"
#include "ble/bluez/Peripheral.h"
#include "ble/qt/QtEventLoop.h"
#include "link/FrameRules.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "tests/support/LogRecorder.h"

namespace bluez_test {

using Bytes = std::vector<uint8_t>;

constexpr int kPatienceMs = 15000;

inline const Bytes kSetSdkMode{0x03, 0x90, 0x01, 0x01};
inline const Bytes kGetVersion{0x01, 0x18};

inline Bytes setSpeedFrame(uint16_t speed) {
    return {0x06, 0x24, static_cast<uint8_t>(speed & 0xff), static_cast<uint8_t>(speed >> 8), 0xA8, 0x61, 0x00};
}

inline std::vector<Bytes> bytesOf(const std::vector<MockBluez::Write>& writes) {
    std::vector<Bytes> list;
    for (const auto& write : writes) list.push_back(write.bytes);
    return list;
}

class BluezRadio : public ::testing::Test {
protected:
    void SetUp() override {
        if (!MockBluez::busAvailable()) GTEST_SKIP() << "no private system bus: run under with_mock_bus.py";
        mock_.start();
        adapter_ = mock_.addAdapter();
    }

    void TearDown() override {
        controller_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        mock_.stop();
        if (HasFailure()) std::fprintf(stderr, "mock log: %s\n", qPrintable(mock_.logPath()));
    }

    static ble::bluez::RadioOptions defaults() {
        ble::bluez::RadioOptions options;
        options.supersedes = link_rules::vehicleFrames();
        options.layout = link_rules::vehicleLayout();
        options.identify = link_rules::vehicleIdentity();
        return options;
    }

    void beginScan(ble::bluez::RadioOptions options = defaults()) {
        if (!controller_) {
            controller_ = std::make_shared<VehiclesController>(
                ble::bluez::makeCentralFactory(loop_, std::move(options)));
        }
        const int reports = log_.count("state=5");
        controller_->beginScan();
        ASSERT_TRUE(QTest::qWaitFor([&] { return log_.count("state=5") > reports; }, kPatienceMs));
    }

    bool waitFor(const std::function<bool()>& condition, int ms = kPatienceMs) {
        return QTest::qWaitFor(condition, ms);
    }
    bool waitForWrites(const QString& characteristic, std::size_t count) {
        return waitFor([&] { return mock_.writes(characteristic).size() >= count; });
    }
    bool waitForLastWrite(const QString& characteristic, const Bytes& frame) {
        return waitFor([&] { return mock_.lastWrite(characteristic).bytes == frame; });
    }
    std::shared_ptr<ble::bluez::Peripheral> peripheralOf(uint32_t identifier) {
        const auto vehicle = controller_->findVehicleById(identifier);
        return vehicle ? std::dynamic_pointer_cast<ble::bluez::Peripheral>(vehicle->peripheral()) : nullptr;
    }

    // A vehicle seen live, connected and through its handshake.
    MockBluez::Vehicle driveableVehicle(uint32_t identifier, const QString& address) {
        const MockBluez::Vehicle vehicle = mock_.addVehicle(address, identifier, 9, -50);
        EXPECT_TRUE(waitForWrites(vehicle.writeCharacteristic, 2));
        EXPECT_TRUE(waitFor([&] { return controller_->findVehicleById(identifier) &&
                                         controller_->findVehicleById(identifier)->active(); }));
        mock_.clearWrites(vehicle.writeCharacteristic);
        return vehicle;
    }

    MockBluez mock_;
    QString adapter_;
    LogRecorder log_;
    ble::qt::QtEventLoop loop_;
    std::shared_ptr<VehiclesController> controller_;
};

}  // namespace bluez_test
