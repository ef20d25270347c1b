// The list button: the registry in the output area and on standard output,
// and the panels bound by model.
#include <QLineEdit>

#include "PanelFixture.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

using ListingTest = PanelFixture;

TEST_F(ListingTest, AnEmptyRegistryAppendsOnlyTheHeadingAndTracesNothing) {
    openWindow();
    list();
    EXPECT_EQ(output(), "\nVehicles:");
    EXPECT_EQ(takeStdout(), "");
}

TEST_F(ListingTest, AVehicleOfAModelWithoutPanelIsListedAndBindsNothing) {
    addVehicle(7, 42);
    openWindow();
    connect();
    list();
    EXPECT_EQ(takeStdout(), "42\nNo car\n");
    EXPECT_EQ(output(), "\nConnects to bluetooth:\nVehicles:\nid:42 model:7");
    for (const char* name : {"vexaIdField", "drummetIdField", "pellanIdField"}) {
        EXPECT_EQ(field(name)->text(), "") << name;
    }
    for (const char* name : {"vexaSpeedSlider", "vexaLaneSlider", "drummetSpeedSlider",
                             "drummetLaneSlider", "pellanSpeedSlider", "pellanLaneSlider"}) {
        EXPECT_EQ(slider(name)->tag(), -1) << name;
    }
}

TEST_F(ListingTest, TheDefaultWorldBindsEachPanelToItsModel) {
    ble::sim::World::populateDefault(world_);
    openWindow();
    connect();
    list();

    const auto vehicles = *vc().vehiclesController().vehicles();
    ASSERT_EQ(vehicles.size(), 3u);
    std::string expectedTrace;
    QString expectedOutput = "\nConnects to bluetooth:\nVehicles:";
    for (const auto& vehicle : vehicles) {
        expectedTrace += std::to_string(vehicle->identifier()) + "\n";
        expectedOutput += QStringLiteral("\nid:%1 model:%2")
                              .arg(vehicle->identifier())
                              .arg(vehicle->modelIdentifier());
    }
    EXPECT_EQ(takeStdout(), expectedTrace);
    EXPECT_EQ(output(), expectedOutput);

    struct Panel {
        std::uint8_t model;
        const char* field;
        const char* speed;
        const char* lane;
    };
    for (const Panel& panel : {Panel{9, "vexaIdField", "vexaSpeedSlider", "vexaLaneSlider"},
                               Panel{18, "drummetIdField", "drummetSpeedSlider", "drummetLaneSlider"},
                               Panel{19, "pellanIdField", "pellanSpeedSlider", "pellanLaneSlider"}}) {
        std::uint32_t identifier = 0;
        for (const auto& vehicle : vehicles) {
            if (vehicle->modelIdentifier() == panel.model) identifier = vehicle->identifier();
        }
        EXPECT_EQ(field(panel.field)->text(), QString::number(identifier)) << panel.field;
        EXPECT_EQ(slider(panel.speed)->tag(), identifier) << panel.speed;
        EXPECT_EQ(slider(panel.lane)->tag(), identifier) << panel.lane;
    }
}

TEST_F(ListingTest, TwoVehiclesOfOneModelLeaveThePanelWithTheLaterOne) {
    addVehicle(18, 1001);
    addVehicle(18, 1002);
    openWindow();
    connect();
    list();

    const auto vehicles = *vc().vehiclesController().vehicles();
    ASSERT_EQ(vehicles.size(), 2u);
    const std::uint32_t first = vehicles[0]->identifier();
    const std::uint32_t later = vehicles[1]->identifier();
    EXPECT_EQ(output(), QStringLiteral("\nConnects to bluetooth:\nVehicles:\nid:%1 model:18\nid:%2 model:18")
                            .arg(first)
                            .arg(later));
    EXPECT_EQ(field("drummetIdField")->text(), QString::number(later));
    EXPECT_EQ(slider("drummetSpeedSlider")->tag(), later);
    EXPECT_EQ(slider("drummetLaneSlider")->tag(), later);
}

TEST_F(ListingTest, AnIdentifierAboveTheSignedRangeIsAPositiveTag) {
    addVehicle(19, 4000000000u);
    openWindow();
    connect();
    list();
    EXPECT_EQ(field("pellanIdField")->text(), "4000000000");
    EXPECT_EQ(slider("pellanSpeedSlider")->tag(), 4000000000);
    EXPECT_EQ(slider("pellanLaneSlider")->tag(), 4000000000);
    EXPECT_EQ(takeStdout(), "4000000000\n");
}

TEST_F(ListingTest, BindingTouchesNoSliderValueAndSendsNothing) {
    addVehicle(9, 42);
    openWindow();
    connect();
    slider("vexaSpeedSlider")->setFloatValue(120.5f);
    slider("vexaLaneSlider")->setFloatValue(-7.0f);
    clearWrites();
    list();
    list();
    EXPECT_EQ(slider("vexaSpeedSlider")->floatValue(), 120.5f);
    EXPECT_EQ(slider("vexaLaneSlider")->floatValue(), -7.0f);
    EXPECT_TRUE(writesTo(42).empty());
}

TEST_F(ListingTest, APanelKeepsItsBindingWhenItsVehicleLeavesTheRegistry) {
    addVehicle(9, 42);
    openWindow();
    connect();
    list();
    world_.removeVehicle(42);
    settle();
    ASSERT_TRUE(vc().vehiclesController().vehicles()->empty());
    takeStdout();

    list();
    EXPECT_EQ(field("vexaIdField")->text(), "42");
    EXPECT_EQ(slider("vexaSpeedSlider")->tag(), 42);
    EXPECT_EQ(takeStdout(), "");
}

}  // namespace
