#include "app/GamepadDriver.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "app/MainWindow.h"
#include "app/TaggedButton.h"
#include "app/TaggedSlider.h"
#include "app/ViewController.h"

namespace {

const char* const kPanelNames[gamepad::kPanels] = {"vexa", "drummet", "pellan"};

// The slider step nearest the fraction of its range on that side of zero.
int stepFor(const TaggedSlider& slider, float position) {
    const double end = position >= 0 ? slider.maximum() : -static_cast<double>(slider.minimum());
    const double steps = std::round(static_cast<double>(std::clamp(position, -1.0f, 1.0f)) * end);
    return static_cast<int>(std::clamp<double>(steps, slider.minimum(), slider.maximum()));
}

}  // namespace

GamepadDriver::GamepadDriver(MainWindow& window, bool poll)
    : QObject(&window), window_(window), pads_(mapper_, poll, this) {
    connect(&window_, &MainWindow::panelLinkLost, this, [this](int panel) { pads_.rumble(panel); });
}

template <typename Widget>
Widget* GamepadDriver::control(int panel, const char* suffix) const {
    if (panel < 0 || panel >= gamepad::kPanels) return nullptr;
    return window_.findChild<Widget*>(QLatin1String(kPanelNames[panel]) + QLatin1String(suffix));
}

void GamepadDriver::setSpeed(int panel, float fraction) {
    TaggedSlider* slider = control<TaggedSlider>(panel, "SpeedSlider");
    if (!slider) return;
    const int step = stepFor(*slider, std::max(fraction, 0.0f));
    if (step == slider->value()) return;  // a move too small for the slider sends nothing
    slider->setValue(step);
    window_.viewController().changeSpeed(slider);
    window_.refreshStatus();
}

void GamepadDriver::setLane(int panel, float position) {
    TaggedSlider* slider = control<TaggedSlider>(panel, "LaneSlider");
    if (!slider) return;
    const int step = stepFor(*slider, position);
    if (step == slider->value()) return;
    slider->setValue(step);
    window_.viewController().changeLane(slider);
}

void GamepadDriver::centreLane(int panel) {
    if (auto* middle = control<TaggedButton>(panel, "MiddleButton")) middle->click();
}

void GamepadDriver::stop(int panel) {
    if (auto* button = control<QPushButton>(panel, "StopButton")) button->click();
}

void GamepadDriver::stopAll() {
    if (auto* button = window_.findChild<QPushButton*>(QStringLiteral("stopAllButton"))) button->click();
}

void GamepadDriver::showPad(int panel, const std::string& padName) {
    auto* label = control<QLabel>(panel, "Pad");
    if (!label) return;
    label->setText(padName.empty() ? QString() : QStringLiteral("Pad: ") + QString::fromStdString(padName));
}
