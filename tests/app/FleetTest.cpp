// Every listed car gets a panel: the cars no model panel holds get compact
// rows of their own that drive with the same lines and frames, Stop all and
// Save log cover them, and every panel tells its link's health.
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "PanelFixture.h"
#include "app/panels/FleetArea.h"
#include "app/panels/FleetPanel.h"

namespace {

using std::chrono::milliseconds;

class FleetTest : public PanelFixture {
protected:
    std::vector<FleetPanel*> fleet() const { return window_->findChild<FleetArea*>("fleetScroll")->panels(); }
    FleetPanel* fleetPanelOf(std::uint32_t identifier) const {
        for (FleetPanel* panel : fleet()) {
            if (panel->speed()->tag() == identifier) return panel;
        }
        ADD_FAILURE() << "no fleet panel for " << identifier;
        return nullptr;
    }
    std::vector<qint64> fleetTags() const {
        std::vector<qint64> tags;
        for (FleetPanel* panel : fleet()) tags.push_back(panel->speed()->tag());
        return tags;
    }
    // The output area's lines since `mark` characters.
    QString outputSince(qsizetype mark) const { return output().mid(mark); }
};

TEST_F(FleetTest, EarlierCarsOfAModelAndCarsOfOtherModelsGetPanelsThatDriveWithTheSameLines) {
    addVehicle(9, 42);
    addVehicle(9, 43);
    addVehicle(7, 44);
    openWindow();
    connect();
    list();
    QCoreApplication::processEvents();

    EXPECT_EQ(takeStdout(), "42\n43\n44\nNo car\n");
    EXPECT_EQ(output(), "\nConnects to bluetooth:\nVehicles:\nid:42 model:9\nid:43 model:9\nid:44 model:7");
    EXPECT_EQ(slider("vexaSpeedSlider")->tag(), 43);  // the later car of a model holds its panel
    EXPECT_EQ(fleetTags(), (std::vector<qint64>{42, 44}));
    clearWrites();

    // Each move of a fleet panel, by keys and clicks as a person would.
    struct Move {
        std::uint32_t car;
        std::function<void(FleetPanel&)> act;
        const char* trace;
        const char* line;
        Bytes frame;
    };
    const Move moves[] = {
        {42, [](FleetPanel& p) { p.speed()->setFloatValue(490.0f), QTest::keyClick(p.speed(), Qt::Key_Up); },
         "Speed 500.0 for carID: 42\n", "\nCar:[42] speed:500.0", {0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00}},
        {42, [](FleetPanel& p) { p.lane()->setFloatValue(19.0f), QTest::keyClick(p.lane(), Qt::Key_Right); },
         "Lane 20\n", "\nCar:[42] lane:20.0 speed:500.0",
         {0x0B, 0x25, 0xF4, 0x01, 0xC4, 0x09, 0x00, 0x00, 0xA0, 0x41, 0x00, 0x00}},
        {42, [](FleetPanel& p) { p.middle()->click(); }, "Lane 0\n", "\nCar:[42] lane:0.0 speed:500.0",
         {0x0B, 0x25, 0xF4, 0x01, 0xC4, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {44, [](FleetPanel& p) { p.speed()->setFloatValue(290.0f), QTest::keyClick(p.speed(), Qt::Key_Up); },
         "Speed 300.0 for carID: 44\n", "\nCar:[44] speed:300.0", {0x06, 0x24, 0x2C, 0x01, 0xA8, 0x61, 0x00}},
        {44, [](FleetPanel& p) { p.stop()->click(); }, "Speed 0.0 for carID: 44\n", "\nCar:[44] speed:0.0",
         {0x06, 0x24, 0x00, 0x00, 0xA8, 0x61, 0x00}},
        {44, [](FleetPanel& p) { p.uTurn()->click(); }, "U-turn for carID: 44\n", "\nCar:[44] u-turn",
         {}},
    };
    for (const Move& move : moves) {
        SCOPED_TRACE(move.trace);
        const qsizetype mark = output().size();
        FleetPanel* panel = fleetPanelOf(move.car);
        ASSERT_NE(panel, nullptr);
        move.act(*panel);
        settle(milliseconds(100));
        EXPECT_EQ(takeStdout(), move.trace);
        EXPECT_EQ(outputSince(mark), move.line);
        const std::vector<Bytes> frames = writesTo(move.car);
        ASSERT_EQ(frames.size(), 1u);
        if (!move.frame.empty()) {
            EXPECT_EQ(frames.front(), move.frame);
        }
        clearWrites();
    }
    EXPECT_TRUE(writesTo(43).empty());  // the model panel's car was never touched

    // Tab reaches the rows after the model panels, before the output.
    QWidget* focus = window_->findChild<QWidget*>("pellanStopButton");
    std::vector<QWidget*> order;
    for (int step = 0; step < 11; ++step) order.push_back(focus = focus->nextInFocusChain());
    const std::vector<QWidget*> rows = {fleetPanelOf(42)->speed(), fleetPanelOf(42)->lane(), fleetPanelOf(42)->middle(),
                                        fleetPanelOf(42)->uTurn(), fleetPanelOf(42)->stop(), fleetPanelOf(44)->speed(),
                                        fleetPanelOf(44)->lane(), fleetPanelOf(44)->middle(), fleetPanelOf(44)->uTurn(),
                                        fleetPanelOf(44)->stop(), window_->findChild<QWidget*>("outputArea")};
    EXPECT_EQ(order, rows);
}

TEST_F(FleetTest, ARowLeadsWithTheCarsNameThenItsModelAndIdAsTheStatusBarWritesThem) {
    ble::sim::VehicleProfile named;
    named.model = 7;
    named.identifier = 0x5e07000c;
    named.name = "Korrin 4";
    world_.addVehicle(named);
    addVehicle(8, 0x5e08000d);  // tells a made-up name
    openWindow();
    connect();
    list();
    QCoreApplication::processEvents();
    FleetPanel* row = fleetPanelOf(0x5e07000c);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->title()->text(), "Korrin 4");
    EXPECT_EQ(row->widgets().name, "Korrin 4");  // as phones offer it
    QStringList lines;
    for (QLabel* label : row->nameBlock()->findChildren<QLabel*>()) lines << label->text();
    EXPECT_EQ(lines, (QStringList{"Korrin 4", "Model 7 \u00b7 0x5e07000c"}));
    EXPECT_TRUE(row->nameBlock()->toolTip().contains("1577517068")) << "the decimal id, as the output area writes it";

    world_.removeVehicle(0x5e07000c);
    settle();
    const QString status = window_->findChild<QLabel*>("lastLogLine")->text();
    EXPECT_TRUE(status.startsWith("Korrin 4 (0x5e07000c): ")) << status.toStdString();
}

TEST_F(FleetTest, ListingAgainMovesPanelsWithTheRegistryAndKeepsTheRest) {
    addVehicle(9, 42);
    addVehicle(7, 44);
    addVehicle(8, 45);
    openWindow();
    connect();
    list();
    QCoreApplication::processEvents();
    EXPECT_EQ(fleetTags(), (std::vector<qint64>{44, 45}));
    fleetPanelOf(45)->speed()->setFloatValue(200.0f);

    world_.removeVehicle(44);  // gone: its row goes at the next listing
    addVehicle(9, 46);         // a later car of model 9 takes the model panel
    settle();
    list();
    QCoreApplication::processEvents();
    EXPECT_EQ(slider("vexaSpeedSlider")->tag(), 46);
    EXPECT_EQ(fleetTags(), (std::vector<qint64>{45, 42}));
    EXPECT_EQ(fleetPanelOf(45)->speed()->floatValue(), 200.0f);  // a kept row keeps its sliders
}

TEST_F(FleetTest, StopAllAndEscStopEveryOneOfTwentyFourCars) {
    ble::sim::World::populate(world_, 24);
    openWindow();
    connect();
    list();
    QCoreApplication::processEvents();
    ASSERT_EQ(fleet().size(), 21u);
    std::vector<TaggedSlider*> speeds = {slider("vexaSpeedSlider"), slider("drummetSpeedSlider"),
                                         slider("pellanSpeedSlider")};
    for (FleetPanel* panel : fleet()) speeds.push_back(panel->speed());

    for (const char* how : {"button", "Esc"}) {
        SCOPED_TRACE(how);
        for (TaggedSlider* speed : speeds) {
            speed->setFloatValue(390.0f);
            QTest::keyClick(speed, Qt::Key_Up);
        }
        settle(milliseconds(100));
        clearWrites();
        takeStdout();
        if (std::string(how) == "Esc") {
            QTest::keyClick(window_.get(), Qt::Key_Escape);
        } else {
            window_->findChild<QPushButton*>("stopAllButton")->click();
        }
        settle(milliseconds(100));
        std::string stops;
        for (TaggedSlider* speed : speeds) {
            const auto car = static_cast<std::uint32_t>(speed->tag());
            stops += "Speed 0.0 for carID: " + std::to_string(car) + "\n";
            EXPECT_EQ(speed->floatValue(), 0.0f);
            ASSERT_EQ(writesTo(car).size(), 1u) << car;
            EXPECT_EQ(writesTo(car).front(), (Bytes{0x06, 0x24, 0x00, 0x00, 0xA8, 0x61, 0x00})) << car;
            EXPECT_EQ(world_.vehicle(car)->speed(), 0);
        }
        EXPECT_EQ(takeStdout(), stops);
    }
}

TEST_F(FleetTest, EveryPanelShowsItsLinksHealthAndASilentCarPlainly) {
    addVehicle(18, 42);
    addVehicle(7, 44);
    openWindow();
    connect();
    list();
    QCoreApplication::processEvents();
    FleetPanel* panel = fleetPanelOf(44);
    ASSERT_NE(panel, nullptr);
    TaggedSlider* speed = panel->speed();
    const std::uint64_t handshake = vc().vehiclesController().findVehicleById(44)->health().commandsSent;
    for (int step = 0; step < 3; ++step) QTest::keyClick(speed, Qt::Key_Up);
    settle(milliseconds(10));
    world_.vehicle(44)->faults().errorOn.insert(ble::sim::PeripheralEvent::WriteValue);
    QTest::keyClick(speed, Qt::Key_Up);
    settle(milliseconds(10));
    world_.vehicle(44)->faults().errorOn.clear();
    for (int value = 0; value < 5; ++value) world_.vehicle(44)->notify({0x01, 0x17});
    settle(milliseconds(100));
    window_->refreshHealth();

    const LinkHealth health = vc().vehiclesController().findVehicleById(44)->health();
    EXPECT_EQ(health.commandsSent, handshake + 4);
    EXPECT_EQ(health.writesFailed, 1u);
    EXPECT_GE(health.notifications, 5u);
    ASSERT_TRUE(health.rssi.has_value());
    EXPECT_FALSE(health.name.empty());
    const QString text = panel->health()->text();
    EXPECT_TRUE(text.contains(QString::fromStdString(health.name))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("%1 dBm").arg(*health.rssi))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("%1 sent, 0 replaced, 1 failed").arg(handshake + 4))) << text.toStdString();
    EXPECT_FALSE(text.startsWith(QStringLiteral("Silent"))) << text.toStdString();

    // Stopped, the car reports nothing; with no advertisement either for 4 s
    // it is silent.
    panel->stop()->click();
    settle(milliseconds(100));
    world_.setAdvertisingInterval(std::chrono::hours(1));
    settle(milliseconds(4500));
    window_->refreshHealth();
    EXPECT_TRUE(panel->health()->text().startsWith(QStringLiteral("Silent for 4 s"))) << panel->health()->text().toStdString();
    EXPECT_FALSE(panel->health()->styleSheet().isEmpty());

    // Save log carries the same figures for every listed car.
    const QString log = savedLog();
    EXPECT_TRUE(log.contains(QStringLiteral("\n\nCars\nid:42 model:18 name:\""))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("\nid:44 model:7 name:\""))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral(" silent notifications/s:0 sent:%1 replaced:0 failed:1\n").arg(handshake + 5)))
        << log.toStdString();
}

}  // namespace
