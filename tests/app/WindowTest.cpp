// What the window adds for driving real cars, on the real widgets: stops for
// all and for each, no move without focus, a reader's place in the output,
// each panel's state, U-turns, the Radio menu, the saved log and the keys.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <functional>

#include "PanelFixture.h"

namespace {

const Bytes kStop{0x06, 0x24, 0x00, 0x00, 0xA8, 0x61, 0x00};

// Vexa 61, Drummet 62 and Pellan 63, listed and driving.
class WindowTest : public PanelFixture {
public:
    // For the tables' steps.
    using PanelFixture::slider;
    using PanelFixture::window_;
    using PanelFixture::world_;
    QPushButton* pushButton(const char* name) const { return window_->findChild<QPushButton*>(name); }

protected:
    void SetUp() override {
        addVehicle(9, 61);
        addVehicle(18, 62);
        addVehicle(19, 63);
    }

    void openAndList(RadioCatalog catalog = {}) {
        openWindow(std::move(catalog));
        connect();
        list();
        takeStdout();
        clearWrites();
    }

    void driveAll() {
        for (const char* name : {"vexaSpeedSlider", "drummetSpeedSlider", "pellanSpeedSlider"}) {
            QTest::keyClick(slider(name), Qt::Key_PageUp);  // 100
        }
        settle(std::chrono::milliseconds(100));
        takeStdout();
        clearWrites();
        before_ = output();
    }

    QString newOutput() const { return output().mid(before_.size()); }
    QString text(const char* label) const { return window_->findChild<QLabel*>(label)->text(); }

    QString before_;
};

TEST_F(WindowTest, EscAndStopAllStopEveryCarAsAPersonsMoveToZeroWould) {
    const std::pair<const char*, std::function<void(WindowTest&)>> ways[] = {
        {"Esc on a speed slider", [](WindowTest& t) { QTest::keyClick(t.slider("drummetSpeedSlider"), Qt::Key_Escape); }},
        {"Esc in the output area",
         [](WindowTest& t) { QTest::keyClick(t.window_->findChild<QPlainTextEdit*>("outputArea"), Qt::Key_Escape); }},
        {"the Stop all button", [](WindowTest& t) { t.pushButton("stopAllButton")->click(); }},
    };
    openAndList();
    for (const auto& [way, stop] : ways) {
        driveAll();
        stop(*this);
        settle(std::chrono::milliseconds(100));
        EXPECT_EQ(takeStdout(), "Speed 0.0 for carID: 61\nSpeed 0.0 for carID: 62\nSpeed 0.0 for carID: 63\n") << way;
        EXPECT_EQ(newOutput(), "\nCar:[61] speed:0.0\nCar:[62] speed:0.0\nCar:[63] speed:0.0") << way;
        for (std::uint32_t id : {61u, 62u, 63u}) EXPECT_EQ(writesTo(id), std::vector<Bytes>{kStop}) << way << id;
        for (const char* name : {"vexaSpeedSlider", "drummetSpeedSlider", "pellanSpeedSlider"}) {
            EXPECT_EQ(slider(name)->value(), 0) << way << name;
        }
    }
}

TEST_F(WindowTest, EachPanelsStopAndUTurnTouchOnlyItsCar) {
    openAndList();
    driveAll();
    pushButton("drummetStopButton")->click();
    pushButton("pellanUTurnButton")->click();
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(takeStdout(), "Speed 0.0 for carID: 62\nU-turn for carID: 63\n");
    EXPECT_EQ(newOutput(), "\nCar:[62] speed:0.0\nCar:[63] u-turn");
    EXPECT_EQ(writesTo(61), std::vector<Bytes>{});
    EXPECT_EQ(writesTo(62), std::vector<Bytes>{kStop});
    EXPECT_EQ(writesTo(63), (std::vector<Bytes>{{0x01, 0x32}}));
    EXPECT_EQ(slider("vexaSpeedSlider")->floatValue(), 100.0f);
}

TEST_F(WindowTest, StopsOnUnboundPanelsSendNothing) {
    openWindow();
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    pushButton("vexaStopButton")->click();
    EXPECT_EQ(takeStdout(), "");
    EXPECT_EQ(output(), "");
}

TEST_F(WindowTest, TheWheelMovesOnlyAFocusedSlider) {
    openAndList();
    TaggedSlider* speed = slider("vexaSpeedSlider");
    const auto turnWheel = [speed] {
        const QPoint at = speed->rect().center();
        QWheelEvent wheel(at, speed->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(speed, &wheel);
    };
    window_->findChild<QPlainTextEdit*>("outputArea")->setFocus();
    turnWheel();
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(speed->value(), 0);
    EXPECT_EQ(takeStdout(), "");
    EXPECT_TRUE(writesTo(61).empty());

    speed->setFocus();
    turnWheel();
    settle(std::chrono::milliseconds(100));
    EXPECT_GT(speed->value(), 0);
    EXPECT_EQ(writesTo(61).size(), 1u);
    EXPECT_EQ(speed->focusPolicy(), Qt::StrongFocus);
}

TEST_F(WindowTest, TheOutputFollowsNewLinesOnlyWhileItShowsItsEndHoweverTheReaderScrolls) {
    openAndList();
    auto* area = window_->findChild<QPlainTextEdit*>("outputArea");
    QScrollBar* bar = area->verticalScrollBar();
    const auto addLines = [this] {
        for (int i = 0; i < 20; ++i) QTest::keyClick(slider("vexaLaneSlider"), Qt::Key_Right);
    };
    for (int page = 0; page < 4; ++page) addLines();
    ASSERT_GT(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), bar->maximum()) << "at the end, it follows";

    struct Scroll {
        const char* how;
        std::function<void()> move;
        bool atEnd;  // where the move leaves the reader
    };
    const auto key = [area](Qt::Key k) { return [area, k] { QTest::keyClick(area, k); }; };
    const std::vector<Scroll> scrolls{
        {"the wheel", [area] {
             const QPoint at = area->viewport()->rect().center();
             QWheelEvent wheel(at, area->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 360), Qt::NoButton,
                               Qt::NoModifier, Qt::NoScrollPhase, false);
             QCoreApplication::sendEvent(area->viewport(), &wheel);
         }, false},
        {"dragging the handle", [bar] { bar->setSliderDown(true); bar->setSliderPosition(3); bar->setSliderDown(false); }, false},
        {"Page Up", key(Qt::Key_PageUp), false},
        {"a click in the trough", [bar] { bar->triggerAction(QAbstractSlider::SliderPageStepSub); }, false},
        {"to the top", [bar] { bar->triggerAction(QAbstractSlider::SliderToMinimum); }, false},
        {"Page Up, then Page Down to the end", [&, bar] {
             key(Qt::Key_PageUp)();
             for (int i = 0; i < 100 && bar->value() < bar->maximum(); ++i) key(Qt::Key_PageDown)();
         }, true},
        {"Page Up, then back to the end by the handle", [bar] {
             bar->triggerAction(QAbstractSlider::SliderPageStepSub);
             bar->setValue(bar->maximum());
         }, true},
    };
    for (const Scroll& scroll : scrolls) {
        SCOPED_TRACE(scroll.how);
        bar->setValue(bar->maximum());
        addLines();
        scroll.move();
        const int place = bar->value();
        ASSERT_EQ(place == bar->maximum(), scroll.atEnd);
        addLines();
        if (scroll.atEnd) {
            EXPECT_EQ(bar->value(), bar->maximum()) << "at the end, it follows";
        } else {
            EXPECT_EQ(bar->value(), place) << "the reader keeps their place";
        }
    }
}

TEST_F(WindowTest, EachPanelShowsItsCarsStateVersionAndHexIdentifier) {
    openWindow();
    button("connectButton")->click();
    for (int step = 0; step < 200 && !vc().vehiclesController().findVehicleById(61); ++step) {
        settle(std::chrono::milliseconds(1));
    }
    list();  // before the links are up
    window_->refreshStatus();
    EXPECT_EQ(text("vexaState"), QStringLiteral("Connecting\u2026"));
    EXPECT_EQ(text("vexaIdHex"), "0x0000003d");
    EXPECT_EQ(text("vexaFirmware"), "");

    struct Stage {
        const char* what;
        std::function<void(WindowTest&)> act;
        const char* state;
    };
    const Stage stages[] = {
        {"linked", [](WindowTest&) {}, "Ready"},
        {"driven", [](WindowTest& t) { QTest::keyClick(t.slider("vexaSpeedSlider"), Qt::Key_Up); }, "Moving"},
        {"stopped", [](WindowTest& t) { t.pushButton("stopAllButton")->click(); }, "Ready"},
        {"lost", [](WindowTest& t) { t.world_.removeVehicle(61); }, "Gone"},
    };
    for (const Stage& stage : stages) {
        stage.act(*this);
        settle();
        window_->refreshStatus();
        EXPECT_EQ(text("vexaState"), stage.state) << stage.what;
        EXPECT_EQ(text("vexaIdHex"), "0x0000003d") << stage.what;
    }
    EXPECT_EQ(text("drummetFirmware"), "Firmware 0x1234");
    EXPECT_EQ(text("drummetState"), "Ready");
}

TEST_F(WindowTest, TheStatusBarNamesTheCarOfItsLineAndTheLinkLogKeepsTimes) {
    openAndList();
    world_.removeVehicle(62);
    settle();
    // By the name the car advertised, and its id as the rows write it.
    EXPECT_EQ(text("lastLogLine").toStdString(),
              "Vehicle 0000003E (0x0000003e): Disconnected vehicle id=0x0000003e, error=The peripheral is out of range.");
    const QString log = window_->findChild<QPlainTextEdit*>("linkLogView")->toPlainText();
    const QRegularExpression stamped(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} state=5$)"),
                                     QRegularExpression::MultilineOption);
    EXPECT_TRUE(stamped.match(log).hasMatch()) << log.toStdString();
}

TEST_F(WindowTest, ASliderShowsWhatItsCarsNewLinkWasSentNotWhatAnEndedOneWas) {
    openAndList();
    QTest::keyClick(slider("vexaSpeedSlider"), Qt::Key_PageUp);
    QTest::keyClick(slider("vexaLaneSlider"), Qt::Key_PageUp);
    settle();
    world_.removeVehicle(61);
    settle();
    window_->refreshStatus();
    EXPECT_EQ(text("vexaState"), "Gone");
    EXPECT_EQ(slider("vexaSpeedSlider")->floatValue(), 100.0f);  // what the ended link was sent

    addVehicle(9, 61);
    connect();
    list();
    settle();
    clearWrites();
    window_->refreshStatus();
    EXPECT_EQ(text("vexaState"), "Ready");
    EXPECT_EQ(slider("vexaSpeedSlider")->floatValue(), 0.0f);
    EXPECT_EQ(slider("vexaLaneSlider")->floatValue(), 0.0f);
    settle();
    EXPECT_TRUE(writesTo(61).empty()) << "springing back sends nothing";
}

TEST_F(WindowTest, SaveLogWritesTheTimedLinkLogAndTheOutput) {
    openAndList();
    pushButton("stopAllButton")->click();
    const QString saved = savedLog();
    EXPECT_TRUE(saved.startsWith("Radio: Simulated vehicles\n\nLink log\n")) << saved.toStdString();
    EXPECT_TRUE(saved.contains(QRegularExpression(R"(\d\d:\d\d\.\d{3} Connected to vehicle id=0x0000003f\n)")));
    EXPECT_TRUE(saved.contains("\n\nOutput" + output() + "\n\nCars\nid:61 model:9 name:"));
    EXPECT_TRUE(saved.contains("Car:[63] speed:0.0"));
    QTemporaryDir dir;
    EXPECT_FALSE(window_->saveLog(dir.filePath(QStringLiteral("no/such/folder/drive.log"))));
}

TEST_F(WindowTest, CtrlQQuits) {
    openWindow();
    QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window_->isVisible());
}

// Adapters as a test says they are.
class FakeAdapters : public AdapterList {
public:
    std::vector<AdapterEntry> adapters() const override { return list; }
    void set(std::vector<AdapterEntry> adapters) {
        list = std::move(adapters);
        emit changed();
    }
    std::vector<AdapterEntry> list;
};

TEST_F(WindowTest, TheRadioMenuFollowsAdaptersAndSwitchesTheRadioForTheNextConnect) {
    ble::sim::World other{loop_};
    ble::sim::VehicleProfile far;
    far.model = 9;
    far.identifier = 71;
    other.addVehicle(far);
    auto* adapters = new FakeAdapters;
    adapters->list = {{QStringLiteral("hci9"), QStringLiteral("00:00:00:00:00:09"), true}};
    RadioCatalog catalog;
    catalog.adapters = adapters;
    int adapterRadiosMade = 0;
    catalog.adapterRadio = [&](const AdapterEntry& adapter) {
        ++adapterRadiosMade;
        return Radio{other.centralFactory(), "Adapter " + adapter.name, adapter.address, {}};
    };
    int allRadiosMade = 0;
    catalog.allAdaptersRadio = [&]() -> std::optional<Radio> {
        ++allRadiosMade;
        return Radio{other.centralFactory(), "All Bluetooth adapters", "all", {}};
    };
    openAndList(catalog);
    auto* menu = window_->findChild<QMenu*>("radioMenu");
    const auto entries = [menu] {
        QStringList texts;
        for (QAction* action : menu->actions()) {
            // As shown: the mnemonic's "&" is no letter.
            if (!action->isSeparator()) texts << QString(action->text()).remove('&') + (action->isChecked() ? " *" : "");
        }
        return texts;
    };
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("hci9 (00:00:00:00:00:09) \u2014 on"), "All adapters",
                                      "Simulated vehicles *", "Cars on a broker\u2026"}));

    adapters->set({{QStringLiteral("hci9"), QStringLiteral("00:00:00:00:00:09"), false},
                   {QStringLiteral("hci1"), QStringLiteral("00:00:00:00:00:01"), true}});
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("hci9 (00:00:00:00:00:09) \u2014 off"),
                                      QStringLiteral("hci1 (00:00:00:00:00:01) \u2014 on"), "All adapters",
                                      "Simulated vehicles *", "Cars on a broker\u2026"}));

    menu->actions().first()->trigger();
    EXPECT_EQ(text("radioLabel"), "Radio: Adapter hci9");
    EXPECT_EQ(entries().first(), QStringLiteral("hci9 (00:00:00:00:00:09) \u2014 off *"));
    connect();
    list();
    EXPECT_NE(vc().vehiclesController().findVehicleById(71), nullptr);
    EXPECT_NE(vc().vehiclesController().findVehicleById(61), nullptr) << "the cars of the radio left drive on";
    EXPECT_EQ(field("vexaIdField")->text(), "71");

    window_->chooseRadio(QString());
    window_->chooseRadio(QStringLiteral("00:00:00:00:00:09"));
    EXPECT_EQ(adapterRadiosMade, 1) << "a radio once made is kept";
    menu->actions().at(2)->trigger();  // All adapters
    EXPECT_EQ(text("radioLabel"), "Radio: All Bluetooth adapters");
    EXPECT_TRUE(entries().contains("All adapters *"));
    window_->chooseRadio(QStringLiteral("all"));
    EXPECT_EQ(allRadiosMade, 1);
    adapters->set({});
    EXPECT_TRUE(entries().contains("No Bluetooth adapter"));
    EXPECT_FALSE(entries().contains("All adapters *")) << "nothing to choose from";
    window_.reset();  // before the world its radio is on
    loop_.runUntilIdle();

    // The next run starts on the radio chosen last, once its adapter is announced.
    auto* later = new FakeAdapters;
    catalog.adapters = later;
    openWindow(catalog);
    EXPECT_EQ(window_->radio().adapterAddress, QString());
    later->set({{QStringLiteral("hci9"), QStringLiteral("00:00:00:00:00:09"), true}});
    settle(std::chrono::milliseconds(10));
    QApplication::processEvents();
    EXPECT_EQ(window_->radio().adapterAddress, QStringLiteral("all"));
    window_.reset();
    loop_.runUntilIdle();
}

}  // namespace

namespace {

TEST_F(WindowTest, RecordDriveWritesEachCommandAsAScriptStepAndSaysItRecords) {
    openAndList();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("drive.jsonl"));
    ASSERT_TRUE(window_->recordDriveTo(path));
    EXPECT_EQ(text("recordingLabel"), "Recording to drive.jsonl");
    QTest::keyClick(slider("vexaSpeedSlider"), Qt::Key_PageUp);
    pushButton("vexaUTurnButton")->click();
    settle(std::chrono::milliseconds(100));
    ASSERT_TRUE(window_->recordDriveTo(QString()));
    EXPECT_FALSE(window_->recording());
    QTest::keyClick(slider("vexaSpeedSlider"), Qt::Key_PageUp);  // no longer recorded

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString recorded = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(recorded.contains(QRegularExpression(
        R"(^\{"at":\d+,"vehicle":"0x0000003d","speed":100,"command":"set-speed","frame":"06 24 64 00 A8 61 00"\}$)",
        QRegularExpression::MultilineOption)))
        << recorded.toStdString();
    EXPECT_TRUE(recorded.contains(R"("uturn":true,"command":"turn-180","frame":"01 32"})"));
    EXPECT_FALSE(recorded.contains("\"speed\":200"));
    EXPECT_FALSE(window_->recordDriveTo(dir.filePath(QStringLiteral("no/such/folder/x.jsonl"))));
}

}  // namespace
