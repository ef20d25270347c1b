// The program's choice of radio against the mock BlueZ: a powered adapter
// gives the real radio, one that is off the simulated vehicles; and the
// window drives a vehicle on the real radio as a person would, also while
// BlueZ is frozen.
#include <gtest/gtest.h>

#include <QObject>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <optional>

#include <QElapsedTimer>
#include <QLineEdit>

#include "MockBluez.h"
#include "app/MainWindow.h"
#include "radio/RadioChoice.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"

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

TEST_F(RadioChoiceOnMockBluez, TwoPoweredAdaptersGiveEveryAdapterAtOnce) {
    mock_.addAdapter("hci0", "desk");
    const QString second = mock_.addAdapter("hci1");
    mock_.setPowered(second, false);
    EXPECT_EQ(choose().adapterAddress, "00:01:02:03:04:05") << "one powered: that one";
    mock_.setPowered(second, true);
    const Radio radio = choose();
    EXPECT_EQ(radio.adapterAddress, "all");
    EXPECT_EQ(radio.description, "All Bluetooth adapters");
}

TEST_F(RadioChoiceOnMockBluez, AnAdapterThatIsOffGivesTheSimulatedVehicles) {
    mock_.setPowered(mock_.addAdapter(), false);
    EXPECT_EQ(choose().description, "Simulated vehicles");
}

TEST_F(RadioChoiceOnMockBluez, NoAdapterGivesTheSimulatedVehicles) {
    EXPECT_EQ(choose().description, "Simulated vehicles");
}

TEST_F(RadioChoiceOnMockBluez, TheWindowDrivesAVehicleAndStaysResponsiveWhileBluezIsFrozen) {
    mock_.addAdapter("hci0", "desk");
    MainWindow window(choose());
    window.show();
    const MockBluez::Vehicle car = mock_.addVehicle("C0:11:22:33:44:C0", 0x12345678, 9, -50);
    window.findChild<TaggedButton*>("connectButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mock_.writes(car.writeCharacteristic).size() >= 2; }, 15000));
    window.findChild<TaggedButton*>("listButton")->click();
    EXPECT_EQ(window.findChild<QLineEdit*>("vexaIdField")->text(), "305419896");
    auto* speed = window.findChild<TaggedSlider*>("vexaSpeedSlider");
    speed->setFocus();
    QTest::qWait(50);

    mock_.suspend();
    QElapsedTimer frozen;
    frozen.start();
    qint64 slowest = 0;
    for (int press = 0; press < 20; ++press) {
        QElapsedTimer key;
        key.start();
        QTest::keyClick(speed, Qt::Key_Up);
        slowest = std::max(slowest, key.elapsed());
        QTest::qWait(100);
    }
    mock_.resume();
    EXPECT_LT(slowest, 1000);  // a safety net; the bench measures
    const std::vector<uint8_t> last{0x06, 0x24, 0xC8, 0x00, 0xA8, 0x61, 0x00};  // speed 200
    EXPECT_TRUE(QTest::qWaitFor([&] { return mock_.lastWrite(car.writeCharacteristic).bytes == last; }, 15000));
}

TEST_F(RadioChoiceOnMockBluez, TheWindowLetsGoOfItsLinksHoweverItEnds) {
    mock_.addAdapter();
    mock_.setDisconnectDelay(0.1);
    const MockBluez::Vehicle car = mock_.addVehicle(QStringLiteral("C0:11:22:33:59:01"), 0x5901, 8, -50);
    QProcess panel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    panel.setProcessEnvironment(environment);
    panel.start(QStringLiteral(ZELTO_PANEL_PROGRAM), {QStringLiteral("--connect")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return mock_.writes(car.writeCharacteristic).size() >= 2; }, 30000));
    ::kill(static_cast<pid_t>(panel.processId()), SIGTERM);
    ASSERT_TRUE(panel.waitForFinished(30000));
    EXPECT_EQ(panel.exitCode(), 0);
    EXPECT_EQ(mock_.callCount(car.device, QStringLiteral("Disconnect")), 1);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !mock_.property(car.device, QStringLiteral("org.bluez.Device1"), QStringLiteral("Connected")).toBool(); },
        5000));
    EXPECT_EQ(mock_.writes(car.writeCharacteristic).size(), 2u) << "nothing is sent on the way out";
}

}  // namespace
