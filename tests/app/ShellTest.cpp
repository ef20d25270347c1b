// Launching, quitting, the choice of radio, and the state a person reads in
// the window's titles and status bar.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTest>
#include <optional>

#include "PanelFixture.h"
#include "app/AppDelegate.h"
#include "radio/RadioChoice.h"
#include "app/panels/VehicleState.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

using ShellTest = PanelFixture;

TEST_F(ShellTest, LaunchingShowsUnboundPanelsAndTouchesNothing) {
    ble::sim::World::populateDefault(world_);
    openWindow();
    loop_.advance(std::chrono::milliseconds(1000));

    EXPECT_TRUE(window_->isVisible());
    for (const char* name : {"vexaIdField", "drummetIdField", "pellanIdField"}) {
        EXPECT_EQ(field(name)->text(), "") << name;
    }
    for (const char* name : {"vexaSpeedSlider", "vexaLaneSlider", "drummetSpeedSlider",
                             "drummetLaneSlider", "pellanSpeedSlider", "pellanLaneSlider"}) {
        EXPECT_EQ(slider(name)->tag(), -1) << name;
        EXPECT_EQ(slider(name)->value(), 0) << name;
    }
    EXPECT_EQ(output(), "");
    EXPECT_EQ(takeStdout(), "");
    EXPECT_EQ(centralsMade_, 0);
    EXPECT_TRUE(vc().vehiclesController().vehicles()->empty());
    for (auto* vehicle : world_.vehicles()) EXPECT_FALSE(vehicle->connected());
}

TEST_F(ShellTest, TheOutletsAreTheWindowsControls) {
    openWindow();
    EXPECT_EQ(vc().connectButton(), button("connectButton"));
    EXPECT_EQ(vc().vexaIDTextfield(), field("vexaIdField"));
    EXPECT_EQ(vc().drummetIdTextfield(), field("drummetIdField"));
    EXPECT_EQ(vc().pellanIdTextField(), field("pellanIdField"));
    EXPECT_EQ(vc().outputTextField(), window_->findChild<QPlainTextEdit*>("outputArea"));
    EXPECT_EQ(vc().vexaAcelaration(), slider("vexaSpeedSlider"));
    EXPECT_EQ(vc().drummetAceleration(), slider("drummetSpeedSlider"));
    EXPECT_EQ(vc().pellanAccelaration(), slider("pellanSpeedSlider"));
    EXPECT_EQ(vc().vexLaneSelector(), slider("vexaLaneSlider"));
    EXPECT_EQ(vc().drummetLaneSelector(), slider("drummetLaneSlider"));
    EXPECT_EQ(vc().pellanLaneSelector(), slider("pellanLaneSlider"));
}

TEST_F(ShellTest, QuittingWhileConnectedSendsNothing) {
    ble::sim::World::populateDefault(world_);
    openWindow();
    connect();
    list();
    for (auto* vehicle : world_.vehicles()) ASSERT_TRUE(vehicle->connected());
    clearWrites();
    takeStdout();

    window_->close();
    window_.reset();
    loop_.advance(std::chrono::milliseconds(2000));
    for (auto* vehicle : world_.vehicles()) EXPECT_TRUE(vehicle->writes().empty());
    EXPECT_EQ(takeStdout(), "");
}

TEST_F(ShellTest, ControlsOutlivingTheirControllerAreHarmless) {
    // The outlets are weak: a control deleted under the controller is skipped.
    addVehicle(9, 5);
    openWindow();
    connect();
    delete field("vexaIdField");
    delete window_->findChild<QPlainTextEdit*>("outputArea");
    list();
    EXPECT_EQ(vc().vexaIDTextfield(), nullptr);
    EXPECT_EQ(vc().outputTextField(), nullptr);
    EXPECT_EQ(slider("vexaSpeedSlider")->tag(), 5);
    delete slider("vexaSpeedSlider");
    QTest::keyClick(slider("vexaLaneSlider"), Qt::Key_Up);
    EXPECT_EQ(takeStdout(), "5\nLane 1\n");
}

TEST(VehicleStateText, EachLinkStateAndItsWords) {
    VehiclesController registry([](std::weak_ptr<ble::CentralDelegate>) { return nullptr; });
    auto connecting = std::make_shared<Vehicle>();
    connecting->setIdentifier(1);
    auto ready = std::make_shared<Vehicle>();
    ready->setIdentifier(4000000000u);
    ready->setActive(true);
    registry.setVehicles(std::make_shared<VehicleList>(VehicleList{connecting, ready}));

    struct Case {
        qint64 tag;
        PanelStatus::Link link;
        const char* words;
        const char* hex;
    };
    const Case cases[] = {
        {-1, PanelStatus::Link::Unbound, "", ""},
        {qint64{1} << 33, PanelStatus::Link::Unbound, "", ""},
        {1, PanelStatus::Link::Connecting, "Connecting\u2026", "0x00000001"},
        {4000000000, PanelStatus::Link::Ready, "Ready", "0xee6b2800"},
        {2, PanelStatus::Link::Gone, "Gone", "0x00000002"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(panelStatus(registry, c.tag).link, c.link) << c.tag;
        EXPECT_EQ(linkText(c.link), QString::fromUtf8(c.words)) << c.tag;
        EXPECT_EQ(hexIdentifierText(c.tag), c.hex) << c.tag;
    }
    EXPECT_EQ(linkText(PanelStatus::Link::Moving), "Moving");
    const struct {
        PanelStatus status;
        const char* state;
        const char* reason;
    } ends[] = {
        {{PanelStatus::Link::Gone, std::nullopt, "the broker at mqtt://relay.lan was lost"}, "Broker lost",
         "the broker at mqtt://relay.lan was lost"},
        {{PanelStatus::Link::Gone, std::nullopt, "The peripheral is out of range."}, "Gone", ""},
        {{PanelStatus::Link::Ready, std::nullopt, "the broker at mqtt://relay.lan was lost"}, "Ready", ""},
    };
    for (const auto& end : ends) {
        EXPECT_EQ(stateText(end.status), end.state) << end.status.ended;
        EXPECT_EQ(stateReason(end.status), end.reason) << end.status.ended;
    }
    EXPECT_EQ(firmwareText(std::nullopt), "");
    EXPECT_EQ(firmwareText(0x2a), "Firmware 0x002a");
    EXPECT_EQ(registryText(registry), "2 vehicles");
    registry.setVehicles(nullptr);
    EXPECT_EQ(registryText(registry), "No vehicles");
}

TEST(RadioChoiceTest, TheChoiceArrivesOnceFromALaterTurnOfTheLoop) {
    QObject context;
    std::optional<Radio> chosen;
    int calls = 0;
    chooseRadio(&context, [&chosen, &calls](Radio radio) {
        ++calls;
        chosen = std::move(radio);
    });
    EXPECT_FALSE(chosen) << "the choice arrives from the event loop, never inside the call";
    // Whatever the machine has, the choice is bounded in time.
    EXPECT_TRUE(QTest::qWaitFor([&chosen] { return chosen.has_value(); }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(chosen);
    EXPECT_FALSE(chosen->description.isEmpty());
    EXPECT_TRUE(chosen->factory);
    EXPECT_TRUE(chosen->keepAlive);
}

TEST(RadioChoiceTest, TheSimulatedRadioIsTheDefaultWorld) {
    Radio radio = makeSimulatedRadio();
    EXPECT_EQ(radio.description, "Simulated vehicles");
    EXPECT_TRUE(radio.factory);
    EXPECT_TRUE(radio.keepAlive);
}

TEST(RadioChoiceTest, NoChoiceArrivesForAContextThatIsGone) {
    bool called = false;
    {
        QObject context;
        chooseRadio(&context, [&called](Radio) { called = true; });
    }
    QApplication::processEvents();
    EXPECT_FALSE(called);
}

TEST(AppDelegateTest, LaunchAndTerminationDoNothing) {
    StdoutCapture out;
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    delegate.applicationWillTerminate();
    EXPECT_EQ(out.take(), "");
}

}  // namespace
