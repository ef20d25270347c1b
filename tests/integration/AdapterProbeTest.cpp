// The adapter probe against the mock BlueZ: present and powered, present and
// off, no adapter, no BlueZ, a hanging BlueZ, and no bus at all.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QObject>
#include <QTest>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MockBluez.h"
#include "ble/bluez/AdapterProbe.h"
#include "ble/bluez/AdapterWatch.h"

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

namespace {

TEST_F(AdapterProbeOnMockBluez, TheWatchFollowsAdaptersAsTheyComeArePoweredAndGo) {
    ble::bluez::AdapterWatch watch;
    int changes = 0;
    QObject::connect(&watch, &ble::bluez::AdapterWatch::changed, [&changes] { ++changes; });
    const auto seen = [&watch] {
        std::vector<std::string> adapters;
        for (const AdapterProbeResult& a : watch.adapters()) {
            adapters.push_back(a.path + " " + a.name + (a.powered ? " on" : " off"));
        }
        return adapters;
    };
    QString second;
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> adapters;
    };
    const Step steps[] = {
        {"BlueZ starts with an adapter", [&] { mock_.start(); mock_.addAdapter("hci0", "desk"); },
         {"/org/bluez/hci0 desk on"}},
        {"a second one arrives", [&] { second = mock_.addAdapter("hci1", "dongle"); },
         {"/org/bluez/hci0 desk on", "/org/bluez/hci1 dongle on"}},
        {"it is powered off", [&] { mock_.setPowered(second, false); },
         {"/org/bluez/hci0 desk on", "/org/bluez/hci1 dongle off"}},
        {"a crowd of devices changes nothing",
         [&] { for (int i = 0; i < 20; ++i) mock_.addVehicle(QStringLiteral("D0:00:00:00:00:%1").arg(i, 2, 10, QLatin1Char('0')), 0x100 + i, 9, -70); },
         {"/org/bluez/hci0 desk on", "/org/bluez/hci1 dongle off"}},
        {"the first is removed", [&] { mock_.removeAdapter("hci0"); }, {"/org/bluez/hci1 dongle off"}},
        {"BlueZ leaves", [&] { mock_.stop(); }, {}},
    };
    std::vector<std::string> previous;
    for (const Step& step : steps) {
        const int before = changes;
        step.act();
        EXPECT_TRUE(QTest::qWaitFor([&] { return seen() == step.adapters; }, kPatienceMs)) << step.what;
        QTest::qWait(100);
        EXPECT_EQ(seen(), step.adapters) << step.what;
        // A signal for a change (BlueZ may tell of one in two steps), none
        // when no adapter changed.
        if (step.adapters == previous) {
            EXPECT_EQ(changes, before) << step.what;
        } else {
            EXPECT_GE(changes, before + 1) << step.what;
        }
        previous = step.adapters;
    }
}

}  // namespace
