#include "app/panels/PanelMoves.h"

#include <algorithm>
#include <cmath>

#include "app/panels/TaggedSlider.h"
#include "app/panels/PanelDriving.h"

namespace {

bool moveTo(TaggedSlider* slider, int step, PanelDriving* controller) {
    if (!slider || !controller || step == slider->value()) return false;
    slider->setValue(step);
    return true;
}

}  // namespace

bool moveSpeedSlider(TaggedSlider* slider, int step, PanelDriving* controller, const std::function<void()>& refresh) {
    if (!moveTo(slider, step, controller)) return false;
    controller->changeSpeed(slider);
    if (refresh) refresh();
    return true;
}

bool moveLaneSlider(TaggedSlider* slider, int step, PanelDriving* controller) {
    if (!moveTo(slider, step, controller)) return false;
    controller->changeLane(slider);
    return true;
}

int stepOfValue(const TaggedSlider& slider, double value) {
    if (!std::isfinite(value)) return slider.value();
    const double step = std::round(value * slider.scale());
    return static_cast<int>(std::clamp<double>(step, slider.minimum(), slider.maximum()));
}
