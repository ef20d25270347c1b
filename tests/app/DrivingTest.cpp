// The sliders and the middle buttons, driven with keys and clicks on the real
// widgets: the exact frames that reach the virtual vehicle, the trace and the
// output area.
#include <QTest>

#include "PanelFixture.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

constexpr std::uint32_t kId = 42;

// The drummet panel (model 18) bound to vehicle 42, on the road.
class DrivingTest : public PanelFixture {
protected:
    void SetUp() override {
        addVehicle(18, kId);
        openWindow();
        connect();
        list();
        ASSERT_EQ(slider("drummetSpeedSlider")->tag(), kId);
        takeStdout();
        clearWrites();
        listed_ = output();
    }

    // What the output area got since the listing.
    QString newOutput() const { return output().mid(listed_.size()); }

    QString listed_;
};

TEST_F(DrivingTest, ASpeedKeySendsOneSetSpeedFrame) {
    TaggedSlider* speed = slider("drummetSpeedSlider");
    speed->setFloatValue(490.0f);
    QTest::keyClick(speed, Qt::Key_Up);  // one step of 10
    settle(std::chrono::milliseconds(100));

    EXPECT_EQ(writesTo(kId), (std::vector<Bytes>{{0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00}}));
    EXPECT_EQ(takeStdout(), "Speed 500.0 for carID: 42\n");
    EXPECT_EQ(newOutput(), "\nCar:[42] speed:500.0");
}

TEST_F(DrivingTest, ALaneKeySendsOneChangeLaneFrameWithThePanelsSpeed) {
    slider("drummetSpeedSlider")->setFloatValue(300.5f);
    TaggedSlider* lane = slider("drummetLaneSlider");
    lane->setFloatValue(19.0f);
    QTest::keyClick(lane, Qt::Key_Right);  // one step of 1
    settle(std::chrono::milliseconds(100));

    // speed 300 (truncated), acceleration 2500, offset 20.0f
    EXPECT_EQ(writesTo(kId), (std::vector<Bytes>{{0x0B, 0x25, 0x2C, 0x01, 0xC4, 0x09, 0x00, 0x00,
                                                   0xA0, 0x41, 0x00, 0x00}}));
    EXPECT_EQ(takeStdout(), "Lane 20\n");
    EXPECT_EQ(newOutput(), "\nCar:[42] lane:20.0 speed:300.5");
}

TEST_F(DrivingTest, TheLaneTraceShowsTheWholeValueAndTheOutputTheFloat) {
    TaggedSlider* lane = slider("drummetLaneSlider");
    lane->setFloatValue(19.5f);
    QTest::keyClick(lane, Qt::Key_Up);
    lane->setFloatValue(-1.5f);
    QTest::keyClick(lane, Qt::Key_Up);
    QTest::keyClick(lane, Qt::Key_End);
    QTest::keyClick(lane, Qt::Key_Home);
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(takeStdout(), "Lane 20\nLane 0\nLane 70\nLane -70\n");
    EXPECT_EQ(newOutput(), "\nCar:[42] lane:20.5 speed:0.0\nCar:[42] lane:-0.5 speed:0.0"
                           "\nCar:[42] lane:70.0 speed:0.0\nCar:[42] lane:-70.0 speed:0.0");
    EXPECT_EQ(writesTo(kId).size(), 4u);
}

TEST_F(DrivingTest, ASpeedBelowZeroGivesLaneChangeSpeedZero) {
    TaggedSlider* speed = slider("drummetSpeedSlider");
    speed->setMinimum(-2);  // the window's range has no negative speeds
    speed->setFloatValue(-0.5f);
    TaggedSlider* lane = slider("drummetLaneSlider");
    QTest::keyClick(lane, Qt::Key_Left);
    settle(std::chrono::milliseconds(100));

    EXPECT_EQ(writesTo(kId), (std::vector<Bytes>{{0x0B, 0x25, 0x00, 0x00, 0xC4, 0x09, 0x00, 0x00,
                                                   0x80, 0xBF, 0x00, 0x00}}));
    EXPECT_EQ(newOutput(), "\nCar:[42] lane:-1.0 speed:-0.5");
}

TEST_F(DrivingTest, TheMiddleButtonCentresTheLaneWithOneChangeLaneFrame) {
    slider("drummetSpeedSlider")->setFloatValue(250.0f);
    TaggedSlider* lane = slider("drummetLaneSlider");
    lane->setFloatValue(-33.5f);
    TaggedButton* middle = button("drummetMiddleButton");
    ASSERT_EQ(middle->tag(), 210);
    QTest::mouseClick(middle, Qt::LeftButton);
    settle(std::chrono::milliseconds(100));

    EXPECT_EQ(lane->value(), 0);
    EXPECT_EQ(writesTo(kId), (std::vector<Bytes>{{0x0B, 0x25, 0xFA, 0x00, 0xC4, 0x09, 0x00, 0x00,
                                                   0x00, 0x00, 0x00, 0x00}}));
    EXPECT_EQ(takeStdout(), "Lane 0\n");
    EXPECT_EQ(newOutput(), "\nCar:[42] lane:0.0 speed:250.0");
}

TEST_F(DrivingTest, TheMiddleButtonsPickTheirOwnPanelsLane) {
    for (const char* name : {"vexaLaneSlider", "drummetLaneSlider", "pellanLaneSlider"}) {
        slider(name)->setFloatValue(10.0f);
    }
    QTest::mouseClick(button("vexaMiddleButton"), Qt::LeftButton);
    EXPECT_EQ(slider("vexaLaneSlider")->value(), 0);
    EXPECT_EQ(slider("drummetLaneSlider")->value(), 20);
    QTest::mouseClick(button("pellanMiddleButton"), Qt::LeftButton);
    EXPECT_EQ(slider("pellanLaneSlider")->value(), 0);
    EXPECT_EQ(slider("drummetLaneSlider")->value(), 20);
    EXPECT_EQ(button("vexaMiddleButton")->tag(), 220);
    EXPECT_EQ(button("pellanMiddleButton")->tag(), 200);
    // Both panels are unbound: their lane changes reach no vehicle.
    EXPECT_TRUE(writesTo(kId).empty());
    EXPECT_EQ(takeStdout(), "Lane 0\nLane 0\n");
}

TEST_F(DrivingTest, ValuesSetByTheProgramSendNothing) {
    for (const char* name : {"drummetSpeedSlider", "drummetLaneSlider"}) {
        slider(name)->setIntValue(5);
        slider(name)->setFloatValue(7.5f);
        slider(name)->setValue(3);
    }
    settle(std::chrono::milliseconds(100));
    EXPECT_TRUE(writesTo(kId).empty());
    EXPECT_EQ(takeStdout(), "");
    EXPECT_EQ(newOutput(), "");
}

TEST_F(DrivingTest, AVehicleThatLeftTheRegistryGetsNothingAndTheWindowSaysSo) {
    world_.removeVehicle(kId);  // out of range: the link drops and it advertises no more
    settle();
    ASSERT_EQ(vc().vehiclesController().findVehicleById(kId), nullptr);
    clearWrites();

    QTest::keyClick(slider("drummetSpeedSlider"), Qt::Key_Up);
    QTest::keyClick(slider("drummetLaneSlider"), Qt::Key_Up);
    EXPECT_EQ(takeStdout(), "Speed 10.0 for carID: 42\nLane 1\n");
    EXPECT_EQ(newOutput(), "\nNo vehicle with id 42\nNo vehicle with id 42");
    EXPECT_TRUE(writesTo(kId).empty());
}

TEST_F(DrivingTest, TagsOutsideTheIdentifierRangeNameNoVehicle) {
    TaggedSlider* speed = slider("drummetSpeedSlider");
    for (qint64 tag : {qint64{-1}, qint64{4294967296}, std::numeric_limits<qint64>::min()}) {
        speed->setTag(tag);
        QTest::keyClick(speed, Qt::Key_Up);
        // The move reached no car: the slider springs back, and the next starts from there.
        EXPECT_EQ(takeStdout(), "Speed 10.0 for carID: " + std::to_string(tag) + "\n");
        EXPECT_EQ(speed->value(), 0);
    }
    EXPECT_EQ(newOutput(), "\nNo vehicle bound to this slider\nNo vehicle bound to this slider"
                           "\nNo vehicle bound to this slider");
    EXPECT_TRUE(writesTo(kId).empty());
}

TEST_F(DrivingTest, ALaneSliderWhoseTagNoSpeedSliderCarriesUsesTheVexaSpeed) {
    // The lane slider names vehicle 42 while the speed sliders name others.
    slider("drummetSpeedSlider")->setTag(7);
    slider("vexaSpeedSlider")->setFloatValue(100.0f);
    QTest::keyClick(slider("drummetLaneSlider"), Qt::Key_Up);
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(writesTo(kId), (std::vector<Bytes>{{0x0B, 0x25, 0x64, 0x00, 0xC4, 0x09, 0x00, 0x00,
                                                   0x80, 0x3F, 0x00, 0x00}}));
    EXPECT_EQ(newOutput(), "\nCar:[42] lane:1.0 speed:100.0");
}

using UnboundPanelTest = PanelFixture;

TEST_F(UnboundPanelTest, ASliderMovedBeforeAnyListingTracesAndSaysThereIsNoVehicle) {
    ble::sim::World::populateDefault(world_);
    openWindow();
    QTest::keyClick(slider("vexaSpeedSlider"), Qt::Key_Up);
    QTest::keyClick(slider("pellanLaneSlider"), Qt::Key_Down);
    EXPECT_EQ(takeStdout(), "Speed 10.0 for carID: -1\nLane -1\n");
    EXPECT_EQ(output(), "\nNo vehicle bound to this slider\nNo vehicle bound to this slider");
    EXPECT_EQ(centralsMade_, 0);
}

TEST_F(UnboundPanelTest, AMoveThatReachesNoCarSpringsBackSoTheFirstMoveAfterListingStartsFromWhatTheCarWasSent) {
    ble::sim::World::populateDefault(world_);
    openWindow();
    TaggedSlider* speed = slider("vexaSpeedSlider");
    TaggedSlider* lane = slider("vexaLaneSlider");
    const struct {
        TaggedSlider* slider;
        Qt::Key key;
    } moves[] = {{speed, Qt::Key_Up}, {speed, Qt::Key_PageUp}, {speed, Qt::Key_End}, {lane, Qt::Key_Down},
                 {lane, Qt::Key_Home}};
    for (const auto& move : moves) {
        QTest::keyClick(move.slider, move.key);
        EXPECT_EQ(move.slider->value(), 0) << move.key;
    }
    QTest::mouseClick(speed, Qt::LeftButton, {}, speed->rect().center());  // a click on the groove jumps there
    EXPECT_EQ(speed->value(), 0);

    connect();
    settle();
    list();
    QTest::keyClick(speed, Qt::Key_Up);
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(speed->value(), 20);  // 10.0 in half steps
    EXPECT_TRUE(output().endsWith(QStringLiteral("Car:[305419896] speed:10.0"))) << output().toStdString();
}

}  // namespace
