// The whole road on the default simulated world: Connect, time passes, List,
// and each panel drives its own vehicle and no other.
#include <QTest>

#include "PanelFixture.h"

namespace {

class RoadTest : public PanelFixture {
protected:
    void SetUp() override {
        ble::sim::World::populateDefault(world_);
        openWindow();
        connect();
        for (auto* vehicle : world_.vehicles()) {
            ASSERT_TRUE(vehicle->connected());
            ASSERT_TRUE(vehicle->notifying());
        }
        list();
        clearWrites();
        takeStdout();
    }

    std::uint32_t identifierOfModel(std::uint8_t model) const {
        for (auto* vehicle : world_.vehicles()) {
            if (vehicle->model() == model) return vehicle->identifier();
        }
        ADD_FAILURE() << "no vehicle of model " << int(model);
        return 0;
    }

    // Every vehicle but the one named got nothing.
    void expectNothingElse(std::uint32_t identifier) const {
        for (auto* vehicle : world_.vehicles()) {
            if (vehicle->identifier() != identifier) {
                EXPECT_TRUE(vehicle->writes().empty()) << vehicle->identifier();
            }
        }
    }
};

TEST_F(RoadTest, EachSpeedSliderDrivesItsOwnVehicle) {
    struct Panel {
        const char* slider;
        std::uint8_t model;
    };
    for (const Panel& panel : {Panel{"vexaSpeedSlider", 9}, Panel{"drummetSpeedSlider", 18},
                               Panel{"pellanSpeedSlider", 19}}) {
        const std::uint32_t identifier = identifierOfModel(panel.model);
        QTest::keyClick(slider(panel.slider), Qt::Key_Up);
        settle(std::chrono::milliseconds(100));
        EXPECT_EQ(writesTo(identifier),
                  (std::vector<Bytes>{{0x06, 0x24, 0x0A, 0x00, 0xA8, 0x61, 0x00}}))
            << panel.slider;
        EXPECT_EQ(world_.vehicle(identifier)->speed(), 10);
        expectNothingElse(identifier);
        EXPECT_EQ(takeStdout(), "Speed 10.0 for carID: " + std::to_string(identifier) + "\n");
        clearWrites();
    }
}

TEST_F(RoadTest, TheMiddleButtonSendsOneChangeLaneToTheCentre) {
    const std::uint32_t vexa = identifierOfModel(9);
    slider("vexaSpeedSlider")->setFloatValue(400.0f);
    QTest::keyClick(slider("vexaLaneSlider"), Qt::Key_PageDown);
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(world_.vehicle(vexa)->offset(), -10.0f);
    clearWrites();
    takeStdout();

    QTest::mouseClick(button("vexaMiddleButton"), Qt::LeftButton);
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(writesTo(vexa), (std::vector<Bytes>{{0x0B, 0x25, 0x90, 0x01, 0xC4, 0x09, 0x00, 0x00,
                                                    0x00, 0x00, 0x00, 0x00}}));
    EXPECT_EQ(world_.vehicle(vexa)->offset(), 0.0f);
    expectNothingElse(vexa);
    EXPECT_EQ(takeStdout(), "Lane 0\n");
    EXPECT_TRUE(output().endsWith(QStringLiteral("\nCar:[%1] lane:0.0 speed:400.0").arg(vexa)));
}

TEST_F(RoadTest, NotificationsFromTheVehiclesLeaveTheOutputAlone) {
    const QString before = output();
    for (auto* vehicle : world_.vehicles()) {
        vehicle->notify({0x01, 0x17});  // ping
        vehicle->triggerDelocalized();
        vehicle->notify({});            // an empty value
    }
    settle(std::chrono::milliseconds(5000));
    EXPECT_EQ(output(), before);
    EXPECT_EQ(takeStdout(), "");
}

}  // namespace
