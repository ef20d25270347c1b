// The sample broker configuration against other logins: whatever another
// login writes under a driver's or a relay's name, the ACL drops it, and one
// relay of a name runs at a time.
#include <gtest/gtest.h>

#include "tests/mqtt/Broker.h"
#include "tests/mqtt/Program.h"
#include "tests/mqtt/RelayFrames.h"

namespace mqtt_test {
namespace {

QStringList relayAs(const Broker& broker, const QStringList& more = {}) {
    return relayArguments(broker.url(QStringLiteral("r1")), more);
}

TEST(SampleAcl, NoOtherLoginCanSpeakForADriverOrItsRelay) {
    Broker broker = Broker::withSampleAcl({QStringLiteral("r1"), QStringLiteral("alice"), QStringLiteral("mallory")});
    ASSERT_TRUE(broker.running());
    Program relay(relayAs(broker));
    ASSERT_TRUE(relay.waitForErr(QStringLiteral("offers this host's cars")));
    Spy requests(broker.port(), QStringLiteral("zelto/v1/r1/from/#"));
    Program alice(driverArguments(broker, {QStringLiteral("run"), QStringLiteral("-")}, QStringLiteral("alice")), kHold);
    ASSERT_TRUE(relay.waitForOut(kGo, 3));
    ASSERT_TRUE(requests.waitFor(QStringLiteral("beat")));
    const QString session = requests.topics().constFirst().split(QLatin1Char(' ')).constFirst().section(QLatin1Char('/'), 4, 5);
    ASSERT_TRUE(session.startsWith(QStringLiteral("alice/")));

    const QByteArray car = kCar.toUtf8();
    const std::pair<QString, QByteArray> forged[] = {
        {QStringLiteral("zelto/v1/drivers/") + session, "gone"},                         // alice's will
        {QStringLiteral("zelto/v1/r1/from/") + session, "release " + car},               // alice's request
        {QStringLiteral("zelto/v1/r1/from/") + session, "write " + car + " " + kWrite.toUtf8() + " - n 0624E803A86100"},
        {QStringLiteral("zelto/v1/r1/status"), "offline"},                               // the relay's word
        {QStringLiteral("zelto/v1/r1/to/") + session, "lost " + car},                    // an answer to alice
    };
    for (const auto& [topic, payload] : forged) ASSERT_TRUE(publishRaw(broker.port(), topic, payload, QStringLiteral("mallory")));
    // Mallory's own request for the car is heard, and refused: alice holds it.
    Spy refusals(broker.port(), QStringLiteral("zelto/v1/r1/to/mallory/#"));
    ASSERT_TRUE(publishRaw(broker.port(), QStringLiteral("zelto/v1/r1/from/mallory/d1"), "connect " + car, QStringLiteral("mallory")));
    ASSERT_TRUE(refusals.waitFor(QStringLiteral("failed ") + kCar + QStringLiteral(" held")));

    alice.signal(SIGTERM);
    alice.finish();
    EXPECT_TRUE(alice.err().filter(QStringLiteral("lost")).isEmpty()) << alice.err().join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(relay.waitForOut(kStop, 3));
    QStringList expected{kGo, kGo, kGo, kStop, kStop, kStop};
    expected.sort();
    EXPECT_EQ(framesOf(relay.out()), expected);
    EXPECT_TRUE(relay.out().filter(QStringLiteral("(driver gone)")).isEmpty());
}

TEST(SampleAcl, ASecondRelayOfANameIsRefusedUnlessItTakesOver) {
    Broker broker = Broker::withSampleAcl({QStringLiteral("r1")});
    ASSERT_TRUE(broker.running());
    Program first(relayAs(broker));
    ASSERT_TRUE(first.waitForErr(QStringLiteral("offers this host's cars")));
    Program second(relayAs(broker));
    EXPECT_EQ(second.finish(), 2);
    EXPECT_FALSE(second.err().filter(QStringLiteral("a relay named r1 is already online")).isEmpty());
    Program third(relayAs(broker, {QStringLiteral("--take-over")}));
    ASSERT_TRUE(third.waitForErr(QStringLiteral("offers this host's cars")));
    EXPECT_EQ(first.finish(), 1);
    EXPECT_FALSE(first.err().filter(QStringLiteral("another relay named r1 took over")).isEmpty());
    // The one left is the relay drivers find.
    Program driver(driverArguments(broker, {QStringLiteral("run"), QStringLiteral("-")}, QStringLiteral("r1")),
                   "{\"vehicle\": \"all\", \"speed\": 400}\n{\"wait\": 200}\n");
    EXPECT_EQ(driver.finish(), 0);
    EXPECT_TRUE(third.waitForOut(kGo, 3));
}

}  // namespace
}  // namespace mqtt_test
