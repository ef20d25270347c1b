// zelto-drive through a relay on a real mosquitto: the frames a driver sends
// are the frames the relay writes, and the relay stops the cars whenever
// their driver or the broker disappears.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <algorithm>

#include "tests/mqtt/Broker.h"
#include "tests/mqtt/Program.h"
#include "tests/mqtt/RelayFrames.h"

namespace mqtt_test {
namespace {

class RelayTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(broker.running());
        ASSERT_TRUE(relay.waitForErr(QStringLiteral("offers this host's cars")));
    }
    // A driver holding the three cars at speed 400, seen at the relay.
    std::unique_ptr<Program> holdingDriver() {
        const int before = relay.count(kGo);
        auto driver = std::make_unique<Program>(driverArguments(broker), kHold);
        EXPECT_TRUE(relay.waitForOut(kGo, before + 3));
        return driver;
    }

    Broker broker;
    Program relay{relayArguments(broker.url())};
};

TEST_F(RelayTest, ThreeCarsDriveThroughTheRelayWithTheDriversExactFrames) {
    Program driver(driverArguments(broker), "{\"vehicle\": \"all\", \"speed\": 400}\n{\"vehicle\": \"all\", \"lane\": -20, \"at\": 300}\n{\"wait\": 300}\n");
    ASSERT_EQ(driver.finish(), 0) << driver.err().join(QLatin1Char('\n')).toStdString();
    const QStringList sent = framesOf(driver.out());
    ASSERT_EQ(sent.size(), 9);  // speed, lane and the stop at the end, for three cars
    ASSERT_TRUE(relay.waitFor([&] { return framesOf(relay.out()).size() >= sent.size(); }));
    EXPECT_EQ(framesOf(relay.out()), sent);
}

TEST_F(RelayTest, ADriverKilledOrFrozenMidDriveHasItsCarsStoppedByTheRelay) {
    // Killed, its last will tells the relay; frozen, its heartbeat stops,
    // and once it wakes it hears that its cars were let go.
    for (const auto& [signal, why] : {std::pair{SIGKILL, "driver gone"}, std::pair{SIGSTOP, "driver silent"}}) {
        const int stopsBefore = relay.count(kStop);
        auto driver = holdingDriver();
        QElapsedTimer killed;
        killed.start();
        driver->signal(signal);
        ASSERT_TRUE(relay.waitForOut(kStop + QStringLiteral(" (%1)").arg(QLatin1String(why)), 3));
        EXPECT_LT(killed.elapsed(), 1500) << why;
        EXPECT_EQ(relay.count(kStop), stopsBefore + 3);
        if (signal == SIGSTOP) {
            driver->signal(SIGCONT);
            EXPECT_EQ(driver->finish(), 1);
            EXPECT_FALSE(driver->err().filter(QStringLiteral("was lost")).isEmpty());
        }
        driver->signal(SIGKILL);
    }
}

TEST_F(RelayTest, ACarIsNeverDrivenBeforeTheRelayHoldsItsStopFrames) {
    // A careless client: it connects a car and sends speed 1000 without
    // handing over the frames that stop it, then falls silent.
    const QString from = QStringLiteral("zelto/v1/r1/from/-/dcareless");
    Spy answers(broker.port(), QStringLiteral("zelto/v1/r1/to/-/dcareless"));
    Spy adverts(broker.port(), QStringLiteral("zelto/v1/r1/adv"));
    ASSERT_TRUE(adverts.waitFor(QStringLiteral("adv ") + kCar));
    ASSERT_TRUE(publishRaw(broker.port(), from, "connect " + kCar.toUtf8()));
    ASSERT_TRUE(answers.waitFor(QStringLiteral("connected ") + kCar));
    ASSERT_TRUE(publishRaw(broker.port(), from, "write " + kCar.toUtf8() + " " + kWrite.toUtf8() + " - n 0624E803A86100"));
    ASSERT_TRUE(answers.waitFor(QStringLiteral("written %1 %2 nostops").arg(kCar, kWrite)));
    EXPECT_TRUE(framesOf(relay.out()).isEmpty());
}

TEST_F(RelayTest, ARelayKilledMidDriveIsCarsLostForTheDriver) {
    auto driver = holdingDriver();
    relay.signal(SIGKILL);
    EXPECT_EQ(driver->finish(), 1);
    EXPECT_FALSE(driver->err().filter(QStringLiteral("was lost")).isEmpty());
}

TEST_F(RelayTest, ABrokerRestartedFindsBothSidesBackAfterTheRelayStoppedTheCars) {
    auto driver = holdingDriver();
    broker.kill();
    EXPECT_TRUE(relay.waitForOut(kStop + QStringLiteral(" (broker lost)"), 3));
    EXPECT_EQ(driver->finish(), 1);  // its cars were lost with the broker
    EXPECT_EQ(driver->err().filter(QStringLiteral("was lost")),
              QStringList{QStringLiteral("zelto-drive: the broker at %1/r1 was lost").arg(broker.url())});
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(relay.waitForErr(QStringLiteral("broker: back on")));
    Program again(driverArguments(broker), "{\"vehicle\": \"all\", \"speed\": 400}\n{\"wait\": 300}\n");
    EXPECT_EQ(again.finish(), 0);
    EXPECT_TRUE(relay.waitForOut(kGo, 6));
}

TEST_F(RelayTest, ASecondDriverIsRefusedAHeldCar) {
    auto holder = holdingDriver();
    Program second(driverArguments(broker, {QStringLiteral("--connect-timeout"), QStringLiteral("3"), QStringLiteral("run"),
                                            QStringLiteral("-")}),
                   "{\"vehicle\": \"0x12345678\", \"speed\": 300}\n");
    EXPECT_EQ(second.finish(), 3);  // missing: nothing sent
    EXPECT_EQ(relay.count(QStringLiteral("06 24 2C 01")), 0);
}

TEST_F(RelayTest, MalformedOversizedAndForeignPayloadsChangeNothing) {
    auto driver = holdingDriver();
    const QString& car = kCar;
    const QString& write = kWrite;
    const std::vector<std::pair<QString, QByteArray>> junk{
        {QStringLiteral("zelto/v1/r1/from/-/dintruder"), "write " + car.toUtf8() + " " + write.toUtf8() + " - n 062400000A86100"},
        {QStringLiteral("zelto/v1/r1/from/-/dintruder"), "connect " + car.toUtf8()},  // held: refused
        {QStringLiteral("zelto/v1/r1/from/-/dintruder"), "write " + car.toUtf8() + " " + write.toUtf8() + " - n 06ZZ"},
        {QStringLiteral("zelto/v1/r1/from/-/dintruder"), QByteArray(200000, 'A')},
        {QStringLiteral("zelto/v1/r1/from/-/dintruder"), QByteArray("stops\0\xff", 7)},
        {QStringLiteral("zelto/v1/r1/from/x"), "beat"},
        {QStringLiteral("zelto/v1/r1/adv"), "adv x 99999999999 - - -"},
        {QStringLiteral("zelto/v1/drivers/-/dintruder"), "gone"},  // holds nothing
        {QStringLiteral("elsewhere/topic"), "connect " + car.toUtf8()},
    };
    for (const auto& [topic, payload] : junk) ASSERT_TRUE(publishRaw(broker.port(), topic, payload));
    // The driver's own stop comes after the junk on the broker.
    driver->signal(SIGTERM);
    driver->finish();
    ASSERT_TRUE(relay.waitForOut(kStop, 3));
    QStringList expected{kGo, kGo, kGo, kStop, kStop, kStop};
    expected.sort();
    EXPECT_EQ(framesOf(relay.out()), expected);
    EXPECT_LE(relay.err().filter(QStringLiteral("dropped")).size(), 1);  // one line, not one per message
}

}  // namespace
}  // namespace mqtt_test
