// The program's choice of radio against the mock BlueZ: a powered adapter
// gives the real radio, one that is off the simulated vehicles.
#include <gtest/gtest.h>

#include <QObject>
#include <QTest>
#include <optional>

#include "MockBluez.h"
#include "app/RadioChoice.h"

namespace {

class RadioChoiceOnMockBluez : public ::testing::Test {
protected:
    void SetUp() override {
        if (!MockBluez::busAvailable()) GTEST_SKIP() << "no private system bus: run under with_mock_bus.py";
        mock_.start();
    }

    Radio choose() {
        QObject context;
        std::optional<Radio> chosen;
        chooseRadio(&context, [&chosen](Radio radio) { chosen = std::move(radio); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return chosen.has_value(); }, 10000));
        return chosen.value_or(Radio{});
    }

    MockBluez mock_;
};

TEST_F(RadioChoiceOnMockBluez, APoweredAdapterGivesTheRealRadio) {
    mock_.addAdapter("hci0", "desk");
    const Radio radio = choose();
    EXPECT_EQ(radio.description, "Bluetooth adapter desk (00:01:02:03:04:05)");
    EXPECT_TRUE(radio.factory);
    EXPECT_TRUE(radio.keepAlive);
}

TEST_F(RadioChoiceOnMockBluez, AnAdapterThatIsOffGivesTheSimulatedVehicles) {
    mock_.setPowered(mock_.addAdapter(), false);
    EXPECT_EQ(choose().description, "Simulated vehicles");
}

TEST_F(RadioChoiceOnMockBluez, NoAdapterGivesTheSimulatedVehicles) {
    EXPECT_EQ(choose().description, "Simulated vehicles");
}

}  // namespace
