#include "app/gamepads/GamepadDriver.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <optional>

#include "app/panels/PanelMoves.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/panels/PanelDriving.h"

namespace {

// The slider step nearest the fraction of its range on that side of zero.
int stepFor(const TaggedSlider& slider, float position) {
    const double end = position >= 0 ? slider.maximum() : -static_cast<double>(slider.minimum());
    const double steps = std::round(static_cast<double>(std::clamp(position, -1.0f, 1.0f)) * end);
    return static_cast<int>(std::clamp<double>(steps, slider.minimum(), slider.maximum()));
}

}  // namespace

GamepadDriver::GamepadDriver(Window window, QObject* parent, bool poll)
    : QObject(parent),
      window_(std::move(window)),
      mapper_(*this, static_cast<int>(window_.panels.size())),
      pads_(mapper_, poll, this) {}

void GamepadDriver::setPanels(std::vector<PanelWidgets> panels) {
    std::vector<std::optional<int>> newIndexOfOld(window_.panels.size());
    for (std::size_t old = 0; old < window_.panels.size(); ++old) {
        // A slider already deleted reads null and matches nothing: its panel went.
        const TaggedSlider* speed = window_.panels[old].speed.data();
        if (!speed) continue;
        for (std::size_t now = 0; now < panels.size(); ++now) {
            if (panels[now].speed.data() != speed) continue;
            newIndexOfOld[old] = static_cast<int>(now);
            break;
        }
    }
    // The new list first: the mapper shows the pads on the new panels' labels.
    window_.panels = std::move(panels);
    mapper_.panelsChanged(newIndexOfOld, static_cast<int>(window_.panels.size()));
}

const PanelWidgets* GamepadDriver::panel(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= window_.panels.size()) return nullptr;
    return &window_.panels[static_cast<std::size_t>(index)];
}

void GamepadDriver::setSpeed(int index, float fraction) {
    const PanelWidgets* controls = panel(index);
    TaggedSlider* slider = controls ? controls->speed.data() : nullptr;
    if (!slider) return;
    moveSpeedSlider(slider, stepFor(*slider, std::max(fraction, 0.0f)), window_.viewController, window_.refresh);
}

void GamepadDriver::setLane(int index, float position) {
    const PanelWidgets* controls = panel(index);
    TaggedSlider* slider = controls ? controls->lane.data() : nullptr;
    if (slider) moveLaneSlider(slider, stepFor(*slider, position), window_.viewController);
}

void GamepadDriver::centreLane(int index) {
    const PanelWidgets* controls = panel(index);
    if (controls && controls->middle) controls->middle->click();
}

void GamepadDriver::stop(int index) {
    const PanelWidgets* controls = panel(index);
    if (controls && controls->stop) controls->stop->click();
}

void GamepadDriver::stopAll() {
    if (window_.stopAll) window_.stopAll->click();
}

void GamepadDriver::showPad(int index, const std::string& padName) {
    const PanelWidgets* controls = panel(index);
    if (!controls || !controls->pad) return;
    controls->pad->setText(padName.empty() ? QString() : QStringLiteral("Pad: ") + QString::fromStdString(padName));
}
