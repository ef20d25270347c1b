#include "app/gamepad/PadMapper.h"

#include <algorithm>
#include <cmath>

namespace gamepad {

float withoutDeadZone(float value) {
    if (std::isnan(value)) return 0.0f;
    const float magnitude = std::min(std::fabs(value), 1.0f);
    if (magnitude < PadMapper::kDeadZone) return 0.0f;
    const float stretched = (magnitude - PadMapper::kDeadZone) / (1.0f - PadMapper::kDeadZone);
    return std::copysign(stretched, value);
}

PadMapper::PadMapper(PanelControls& panels) : panels_(panels) {}

std::optional<int> PadMapper::panelOf(int pad) const {
    const auto found = pads_.find(pad);
    return found == pads_.end() ? std::nullopt : found->second.panel;
}

std::optional<int> PadMapper::padOf(int panel) const {
    if (panel < 0 || panel >= kPanels) return std::nullopt;
    return padOfPanel_[static_cast<std::size_t>(panel)];
}

std::optional<int> PadMapper::freePanelAfter(int start) const {
    for (int step = 1; step <= kPanels; ++step) {
        const int panel = (start + step) % kPanels;
        if (!padOfPanel_[static_cast<std::size_t>(panel)]) return panel;
    }
    return std::nullopt;
}

void PadMapper::bind(int pad, int panel) {
    Pad& entry = pads_[pad];
    if (entry.panel) {
        padOfPanel_[static_cast<std::size_t>(*entry.panel)].reset();
        panels_.showPad(*entry.panel, {});
    }
    entry.panel = panel;
    padOfPanel_[static_cast<std::size_t>(panel)] = pad;
    panels_.showPad(panel, entry.name);
}

void PadMapper::padAdded(int pad, const std::string& name) {
    if (pads_.count(pad) != 0) return;
    pads_[pad].name = name;
    if (const auto panel = freePanelAfter(kPanels - 1)) bind(pad, *panel);
}

void PadMapper::padRemoved(int pad) {
    const auto found = pads_.find(pad);
    if (found == pads_.end()) return;
    const std::optional<int> panel = found->second.panel;
    pads_.erase(found);
    if (!panel) return;
    const auto index = static_cast<std::size_t>(*panel);
    padOfPanel_[index].reset();
    panels_.showPad(*panel, {});
    const Channel& speed = speed_[index];
    const float last = speed.waiting.value_or(speed.sent.value_or(0.0f));
    if (last > 0.0f) {
        panels_.stop(*panel);
        speed_[index] = Channel{0.0f, std::nullopt, std::nullopt};
    }
    // A pad still waiting for a panel takes this one.
    for (auto& [id, waiting] : pads_) {
        if (!waiting.panel) {
            bind(id, *panel);
            break;
        }
    }
}

void PadMapper::axisMoved(int pad, Axis axis, float value, Millis now) {
    const auto found = pads_.find(pad);
    if (found == pads_.end() || !found->second.panel) return;
    Pad& entry = found->second;
    const int panel = *entry.panel;
    const float level = withoutDeadZone(value);
    switch (axis) {
        case Axis::LeftX:
            offer(panel, false, level, now);
            break;
        case Axis::LeftY:
            // Up is forward; pulling back is rest, never a negative speed.
            if (level < 0.0f) entry.speedSource = SpeedSource::Stick;
            if (entry.speedSource == SpeedSource::Stick) offer(panel, true, std::max(-level, 0.0f), now);
            break;
        case Axis::RightTrigger:
            if (level > 0.0f) entry.speedSource = SpeedSource::Trigger;
            if (entry.speedSource == SpeedSource::Trigger) offer(panel, true, std::max(level, 0.0f), now);
            break;
    }
}

void PadMapper::buttonPressed(int pad, Button button, Millis now) {
    const auto found = pads_.find(pad);
    if (found == pads_.end()) return;
    if (button == Button::Start) {
        panels_.stopAll();
        for (int panel = 0; panel < kPanels; ++panel) speed_[static_cast<std::size_t>(panel)] = Channel{0.0f, {}, now};
        return;
    }
    if (button == Button::Back) {
        const int from = found->second.panel.value_or(kPanels - 1);
        if (const auto next = freePanelAfter(from)) bind(pad, *next);
        return;
    }
    if (!found->second.panel) return;
    const int panel = *found->second.panel;
    const auto index = static_cast<std::size_t>(panel);
    if (button == Button::A) {
        panels_.centreLane(panel);
        lane_[index] = Channel{0.0f, std::nullopt, now};
    } else if (button == Button::B) {
        panels_.stop(panel);
        speed_[index] = Channel{0.0f, std::nullopt, now};
    }
}

PadMapper::Channel& PadMapper::channel(int panel, bool speed) {
    return (speed ? speed_ : lane_)[static_cast<std::size_t>(panel)];
}

void PadMapper::offer(int panel, bool speed, float value, Millis now) {
    Channel& sends = channel(panel, speed);
    if (sends.waiting == value || (!sends.waiting && sends.sent == value)) return;
    if (sends.sentAt && now - *sends.sentAt < kMinInterval) {
        sends.waiting = value;
        return;
    }
    send(panel, speed, value, now);
}

void PadMapper::send(int panel, bool speed, float value, Millis now) {
    Channel& sends = channel(panel, speed);
    sends.sent = value;
    sends.sentAt = now;
    sends.waiting.reset();
    if (speed) {
        panels_.setSpeed(panel, value);
    } else {
        panels_.setLane(panel, value);
    }
}

void PadMapper::tick(Millis now) {
    for (int panel = 0; panel < kPanels; ++panel) {
        for (bool speed : {true, false}) {
            const Channel& sends = channel(panel, speed);
            if (sends.waiting && (!sends.sentAt || now - *sends.sentAt >= kMinInterval)) {
                send(panel, speed, *sends.waiting, now);
            }
        }
    }
}

}  // namespace gamepad
