// What people expect of a desktop window: help and keys, a title and icon
// that match the desktop entry, settings kept between runs, small screens,
// screen readers, readable placeholders, focus at start, mnemonics, and files
// that say why they failed.
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "PanelFixture.h"
#include "app/panels/FleetArea.h"
#include "app/panels/FleetPanel.h"
#include "app/window/HelpMenu.h"

namespace {

using WindowManners = PanelFixture;

double luminance(const QColor& color) {
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}

TEST_F(WindowManners, HelpTitleIconFocusAndMnemonics) {
    openWindow();
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Zelto Panel"));  // the desktop entry's Name
    EXPECT_FALSE(window_->windowIcon().isNull());
    EXPECT_EQ(QApplication::focusWidget(), button("connectButton"));

    auto* keys = window_->findChild<QAction*>(QStringLiteral("shortcutsAction"));
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys->shortcut(), QKeySequence(Qt::Key_F1));
    const QString about = help::aboutText();
    EXPECT_TRUE(about.contains(QStringLiteral("Zelto Panel 0."))) << about.toStdString();
    EXPECT_TRUE(about.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
    EXPECT_TRUE(about.contains(QStringLiteral("SDL ")));
    EXPECT_TRUE(about.contains(QStringLiteral("Copyright 2026 The zelto-panel developers")));

    for (QAction* menu : window_->menuBar()->actions()) {
        EXPECT_TRUE(menu->text().contains('&')) << menu->text().toStdString();
        for (QAction* item : menu->menu()->actions()) {
            if (item->isSeparator() || !item->isEnabled()) continue;
            EXPECT_TRUE(item->text().contains('&')) << item->text().toStdString();
        }
    }
}

TEST_F(WindowManners, ScreenReadersHearNamesAndValuesInTheUnitsShownAndPlaceholdersAreReadable) {
    openWindow();
    const struct {
        const char* slider;
        float value;
        double minimum, maximum;
    } sliders[] = {{"vexaSpeedSlider", 502.5f, 0, 1000}, {"pellanLaneSlider", -20.5f, -70, 70}};
    for (const auto& c : sliders) {
        TaggedSlider* slider = this->slider(c.slider);
        slider->setFloatValue(c.value);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(slider);
        ASSERT_NE(accessible, nullptr);
        ASSERT_NE(accessible->valueInterface(), nullptr);
        EXPECT_EQ(accessible->valueInterface()->currentValue().toDouble(), c.value) << c.slider;
        EXPECT_EQ(accessible->valueInterface()->minimumValue().toDouble(), c.minimum) << c.slider;
        EXPECT_EQ(accessible->valueInterface()->maximumValue().toDouble(), c.maximum) << c.slider;
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << c.slider;
    }
    for (const char* area : {"outputArea", "linkLogView"}) {
        EXPECT_FALSE(window_->findChild<QPlainTextEdit*>(area)->accessibleName().isEmpty()) << area;
    }
    auto* field = window_->findChild<QLineEdit*>(QStringLiteral("vexaIdField"));
    const double placeholder = luminance(field->palette().color(QPalette::PlaceholderText));
    const double base = luminance(field->palette().color(QPalette::Base));
    EXPECT_GE((std::max(base, placeholder) + 0.05) / (std::min(base, placeholder) + 0.05), 4.5);
}

// At the widths of common screens, with few cars and many: no button or
// label is narrower than its text (a wrapped line as tall as it needs), the
// status bar is in the window, the model panels side by side from 1024 px,
// and a row scrolled sideways still shows which car it drives.
void expectReadableAtCommonWidths(MainWindow& window) {
    const struct {
        int width, height;
        bool panelsSideBySide;
    } screens[] = {{720, 600, false}, {1024, 600, true}, {1366, 768, true}};
    for (const auto& screen : screens) {
        SCOPED_TRACE(screen.width);
        window.resize(screen.width, screen.height);
        window.refreshHealth();
        QApplication::processEvents();
        EXPECT_LE(window.width(), screen.width);
        EXPECT_LE(window.height(), screen.height);
        EXPECT_LE(window.statusBar()->geometry().bottom(), window.height());
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            if (!button->isVisibleTo(&window)) continue;
            EXPECT_GE(button->width(), button->minimumSizeHint().width()) << button->objectName().toStdString();
        }
        for (QLabel* label : window.findChildren<QLabel*>()) {
            // The status bar's last line is cut on purpose: the Link log has it whole.
            if (!label->isVisibleTo(&window) || label->objectName() == QStringLiteral("lastLogLine")) continue;
            const std::string text = label->text().toStdString();
            if (label->wordWrap()) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width())) << text;
            } else {
                EXPECT_GE(label->width(), label->minimumSizeHint().width()) << text;
            }
        }
        // The model panels scroll only sideways: nothing in them may reach below.
        auto* panels = window.findChild<QScrollArea*>(QStringLiteral("panelScroll"));
        EXPECT_EQ(panels->horizontalScrollBar()->isVisible(), !screen.panelsSideBySide);
        for (QLabel* label : panels->widget()->findChildren<QLabel*>()) {
            EXPECT_LE(label->mapTo(panels->viewport(), QPoint(0, label->height())).y(), panels->viewport()->height())
                << label->text().toStdString();
        }
        auto* fleet = window.findChild<FleetArea*>(QStringLiteral("fleetScroll"));
        fleet->horizontalScrollBar()->setValue(fleet->horizontalScrollBar()->maximum());
        for (FleetPanel* row : fleet->panels()) {
            EXPECT_EQ(row->nameBlock()->mapTo(fleet->viewport(), QPoint(0, 0)).x(), row->frameWidth())
                << row->title()->text().toStdString();
        }
        fleet->horizontalScrollBar()->setValue(0);
    }
}

TEST_F(WindowManners, ThreeCarsReadAtCommonWidths) {
    ble::sim::World::populateDefault(world_);
    openWindow();
    connect();
    list();
    expectReadableAtCommonWidths(*window_);
}

TEST_F(WindowManners, TwentyFourCarsReadAtCommonWidthsAndASilentOneToo) {
    ble::sim::World::populate(world_, 24);
    openWindow();
    connect();
    list();
    world_.setAdvertisingInterval(std::chrono::hours(1));
    settle(std::chrono::milliseconds(4500));
    window_->refreshHealth();
    expectReadableAtCommonWidths(*window_);
}

TEST_F(WindowManners, GeometryIsRememberedAndFilesSayWhyTheyFailed) {
    openWindow();
    // A size that fits the screen: Qt (from 6.5) narrows a restored window as
    // wide as the screen by 2 px, so that it does not read as full screen.
    const QSize screen = window_->screen()->availableGeometry().size();
    const QSize size(std::min(800, screen.width() - 40), std::min(560, screen.height() - 40));
    window_->resize(size);
    QApplication::processEvents();
    window_.reset();
    openWindow();
    EXPECT_EQ(window_->size(), size);
    // A window remembered from a larger screen opens within this one.
    window_->resize(screen * 2);
    QApplication::processEvents();
    window_.reset();
    openWindow();
    EXPECT_LE(window_->frameGeometry().width(), screen.width());
    EXPECT_LE(window_->frameGeometry().height(), screen.height());

    QString reason;
    EXPECT_FALSE(window_->saveLog(QStringLiteral("/proc/no/such/zelto.log"), &reason));
    EXPECT_FALSE(reason.isEmpty());
    reason.clear();
    EXPECT_FALSE(window_->recordDriveTo(QStringLiteral("/proc/no/such/drive.jsonl"), &reason));
    EXPECT_EQ(reason, QStringLiteral("No such file or directory"));
}

TEST_F(WindowManners, ARecordingStartsAtItsFirstLine) {
    ble::sim::World::populateDefault(world_);
    openWindow();
    connect();
    list();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("drive.jsonl"));
    ASSERT_TRUE(window_->recordDriveTo(path));
    QTest::qWait(50);  // a person still deciding: not part of the recording
    QTest::keyClick(slider("vexaSpeedSlider"), Qt::Key_Up);
    ASSERT_TRUE(window_->recordDriveTo(QString()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readLine().startsWith("{\"at\":0,")) << "the first line is at 0";
}

}  // namespace
