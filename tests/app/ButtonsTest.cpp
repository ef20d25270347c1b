// The connect and list buttons, tags that select nothing, the output area,
// and reaching every control from the keyboard.
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include "PanelFixture.h"

namespace {

using ButtonsTest = PanelFixture;

TEST_F(ButtonsTest, ConnectStartsAScanAndSaysSo) {
    openWindow();
    QTest::mouseClick(button("connectButton"), Qt::LeftButton);
    EXPECT_EQ(output(), "\nConnects to bluetooth:");
    EXPECT_EQ(centralsMade_, 1);
    EXPECT_EQ(takeStdout(), "");
}

TEST_F(ButtonsTest, EveryConnectPressScansAgain) {
    ble::sim::World::populateDefault(world_);
    openWindow();
    connect();
    connect();
    EXPECT_EQ(centralsMade_, 2);
    EXPECT_EQ(output(), "\nConnects to bluetooth:\nConnects to bluetooth:");
    // The vehicles met by the first central stay listed once each.
    EXPECT_EQ(vc().vehiclesController().vehicles()->size(), 3u);
}

TEST_F(ButtonsTest, ATagThatSelectsNothingOnlyTraces) {
    ble::sim::World::populateDefault(world_);
    openWindow();
    connect();
    const QString before = output();
    clearWrites();
    takeStdout();

    for (qint64 tag : {qint64{5}, qint64{0}, qint64{-100}, qint64{1} << 40}) {
        TaggedButton stray;
        stray.setTag(tag);
        vc().setLaneToMiddle(&stray);
        vc().connectToBluetooth(&stray);
        EXPECT_EQ(takeStdout(), "wrong tag\nwrong tag\n") << tag;
    }
    // A middle tag is no connect tag and a connect tag no middle tag.
    TaggedButton middle;
    middle.setTag(210);
    vc().connectToBluetooth(&middle);
    TaggedButton list;
    list.setTag(110);
    vc().setLaneToMiddle(&list);
    EXPECT_EQ(takeStdout(), "wrong tag\nwrong tag\n");

    EXPECT_EQ(output(), before);
    EXPECT_EQ(centralsMade_, 1);
    for (auto* vehicle : world_.vehicles()) EXPECT_TRUE(vehicle->writes().empty());
}

TEST_F(ButtonsTest, TheOutputAreaGrowsAtItsEndAndStaysScrolledThere) {
    openWindow();
    auto* area = window_->findChild<QPlainTextEdit*>("outputArea");
    ASSERT_TRUE(area->isReadOnly());
    for (int i = 0; i < 300; ++i) list();
    QString expected;
    for (int i = 0; i < 300; ++i) expected += "\nVehicles:";
    EXPECT_EQ(area->toPlainText(), expected);
    QScrollBar* bar = area->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(ButtonsTest, ButtonsAnswerTheirMnemonics) {
    openWindow();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    EXPECT_EQ(button("connectButton")->text(), "&Connect");
    EXPECT_EQ(button("listButton")->text(), "&List");

    // Through the window system, as a key from the keyboard arrives. A
    // mnemonic shows the button pressed and clicks it on a short timer.
    QTest::keyClick(window_->windowHandle(), Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(button("connectButton")->isDown());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !output().isEmpty(); }, 10000));
    EXPECT_EQ(output(), "\nConnects to bluetooth:");

    QTest::keyClick(window_->windowHandle(), Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(button("listButton")->isDown());
    EXPECT_TRUE(QTest::qWaitFor([this] { return output().endsWith("Vehicles:"); }, 10000));
    EXPECT_EQ(output(), "\nConnects to bluetooth:\nVehicles:");
}

TEST_F(ButtonsTest, TabVisitsTheControlsInReadingOrder) {
    openWindow();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    button("connectButton")->setFocus();

    const char* order[] = {"listButton",         "stopAllButton",      "logToggle",
                           "vexaIdField",        "vexaSpeedSlider",    "vexaLaneSlider",
                           "vexaMiddleButton",   "vexaUTurnButton",    "vexaStopButton",
                           "drummetIdField",     "drummetSpeedSlider", "drummetLaneSlider",
                           "drummetMiddleButton", "drummetUTurnButton", "drummetStopButton",
                           "pellanIdField",      "pellanSpeedSlider",  "pellanLaneSlider",
                           "pellanMiddleButton", "pellanUTurnButton",  "pellanStopButton",
                           "outputArea",         "connectButton"};
    for (const char* name : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), name);
    }
}

}  // namespace
