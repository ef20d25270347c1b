// The whole vehicle link on a real radio against the mock BlueZ on a private
// system bus: what the tests of the Qt radio and of the BlueZ radio share.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "MockBluez.h"
#include "ble/qt/QtEventLoop.h"
#include "link/FrameRules.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "tests/support/LogRecorder.h"

namespace mock_link {

using Bytes = std::vector<uint8_t>;

// Long enough for a loaded machine; a passing run takes a fraction of it.
constexpr int kPatienceMs = 15000;

inline const Bytes kSetSdkMode{0x03, 0x90, 0x01, 0x01};
inline const Bytes kGetVersion{0x01, 0x18};

// Set speed with the link's acceleration 25000 (0x61A8).
inline Bytes setSpeedFrame(uint16_t speed) {
    return {0x06, 0x24, static_cast<uint8_t>(speed & 0xff), static_cast<uint8_t>(speed >> 8), 0xA8, 0x61, 0x00};
}

inline std::vector<Bytes> bytesOf(const std::vector<MockBluez::Write>& writes) {
    std::vector<Bytes> list;
    for (const auto& write : writes) list.push_back(write.bytes);
    return list;
}

class LinkOnMockBluez : public ::testing::Test {
protected:
    void SetUp() override {
        if (!MockBluez::busAvailable()) GTEST_SKIP() << "no private system bus: run under with_mock_bus.py";
        mock_.start();
        adapter_ = mock_.addAdapter();
    }

    void TearDown() override {
        controller_.reset();
        // Let the radio's objects go the way they go in the program: later.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        mock_.stop();
        if (HasFailure()) std::fprintf(stderr, "mock log: %s\n", qPrintable(mock_.logPath()));
    }

    // The first scan makes the controller on the radio `makeFactory` makes.
    void beginScanOn(const std::function<ble::CentralFactory()>& makeFactory) {
        if (!controller_) controller_ = std::make_shared<VehiclesController>(makeFactory());
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

    MockBluez mock_;
    QString adapter_;
    LogRecorder log_;
    ble::qt::QtEventLoop loop_;
    std::shared_ptr<VehiclesController> controller_;
};

}  // namespace mock_link
