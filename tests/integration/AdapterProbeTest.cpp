// The adapter probe against the mock BlueZ: present and powered, present and
// off, no adapter, no BlueZ, a hanging BlueZ, and no bus at all.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QObject>
#include <QTest>
#include <optional>

#include "MockBluez.h"
#include "ble/bluez/AdapterProbe.h"

namespace {

using ble::bluez::AdapterProbeResult;
using Status = AdapterProbeResult::Status;

constexpr int kPatienceMs = 10000;

AdapterProbeResult probe(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000),
                         std::optional<QDBusConnection> bus = std::nullopt) {
    QObject context;
    std::optional<AdapterProbeResult> result;
    int answers = 0;
    auto done = [&](const AdapterProbeResult& r) {
        result = r;
        ++answers;
    };
    if (bus) {
        ble::bluez::probeAdapter(*bus, &context, done, timeout);
    } else {
        ble::bluez::probeAdapter(&context, done, timeout);
    }
    // Never from inside the call.
    EXPECT_EQ(answers, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, kPatienceMs));
    // And exactly once, the timer's guard included.
    QTest::qWait(static_cast<int>(timeout.count()) + 400);
    EXPECT_EQ(answers, 1);
    return result.value_or(AdapterProbeResult{});
}

class AdapterProbeOnMockBluez : public ::testing::Test {
protected:
    void SetUp() override {
        if (!MockBluez::busAvailable()) GTEST_SKIP() << "no private system bus: run under with_mock_bus.py";
    }
    MockBluez mock_;
};

TEST_F(AdapterProbeOnMockBluez, FindsAPoweredAdapter) {
    mock_.start();
    mock_.addAdapter("hci0", "desk");
    const AdapterProbeResult result = probe();
    EXPECT_EQ(result.status, Status::Found);
    EXPECT_TRUE(result.usable());
    EXPECT_EQ(result.path, "/org/bluez/hci0");
    EXPECT_EQ(result.name, "desk");
    EXPECT_EQ(result.address, "00:01:02:03:04:05");
}

TEST_F(AdapterProbeOnMockBluez, ReportsAnAdapterThatIsOff) {
    mock_.start();
    mock_.setPowered(mock_.addAdapter(), false);
    const AdapterProbeResult result = probe();
    EXPECT_EQ(result.status, Status::Found);
    EXPECT_FALSE(result.powered);
    EXPECT_FALSE(result.usable());
}

TEST_F(AdapterProbeOnMockBluez, PrefersAPoweredAdapter) {
    mock_.start();
    mock_.setPowered(mock_.addAdapter("hci0", "off"), false);
    mock_.addAdapter("hci1", "on");
    const AdapterProbeResult result = probe();
    EXPECT_TRUE(result.usable());
    EXPECT_EQ(result.path, "/org/bluez/hci1");
    EXPECT_EQ(result.address, "01:02:03:04:05:06");
}

TEST_F(AdapterProbeOnMockBluez, ReportsBluezWithoutAnAdapter) {
    mock_.start();
    EXPECT_EQ(probe().status, Status::NoAdapter);
}

TEST_F(AdapterProbeOnMockBluez, ReportsNoBluezWhenNobodyOwnsTheName) {
    const AdapterProbeResult result = probe();
    EXPECT_EQ(result.status, Status::NoBluez);
    EXPECT_FALSE(result.detail.empty());
}

TEST_F(AdapterProbeOnMockBluez, GivesUpOnABluezThatHangs) {
    mock_.start();
    mock_.addAdapter();
    mock_.freezeFor(5.0);
    EXPECT_EQ(probe(std::chrono::milliseconds(300)).status, Status::NoAnswer);
}

TEST_F(AdapterProbeOnMockBluez, AnswersNobodyOnceTheContextIsGone) {
    mock_.start();
    mock_.addAdapter();
    int answers = 0;
    auto context = std::make_unique<QObject>();
    ble::bluez::probeAdapter(context.get(), [&](const AdapterProbeResult&) { ++answers; });
    context.reset();
    QTest::qWait(1500);
    EXPECT_EQ(answers, 0);
}

TEST(AdapterProbe, ReportsNoSystemBusForABusThatIsNotThere) {
    const QDBusConnection nowhere = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/zelto-no-bus"), QStringLiteral("zelto-no-bus"));
    const AdapterProbeResult result = probe(std::chrono::milliseconds(1000), nowhere);
    EXPECT_EQ(result.status, Status::NoSystemBus);
    EXPECT_FALSE(result.found());
}

// Run by itself with no system bus at all (with_mock_bus.py --no-bus).
TEST(AdapterProbeWithoutBus, ReportsNoSystemBus) {
    if (QDBusConnection::systemBus().isConnected()) GTEST_SKIP() << "a system bus is there";
    EXPECT_EQ(probe().status, Status::NoSystemBus);
}

}  // namespace
