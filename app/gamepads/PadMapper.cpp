#include "app/gamepads/PadMapper.h"

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

PadMapper::PadMapper(PanelControls& controls, int panels)
    : controls_(controls), panels_(static_cast<std::size_t>(std::max(panels, 0))) {}

std::optional<int> PadMapper::panelOf(int pad) const {
    const auto found = pads_.find(pad);
    return found == pads_.end() ? std::nullopt : found->second.panel;
}

std::optional<int> PadMapper::padOf(int panel) const {
    if (panel < 0 || panel >= panelCount()) return std::nullopt;
    return panels_[static_cast<std::size_t>(panel)].pad;
}

std::optional<int> PadMapper::freePanelAfter(int start) const {
    const int count = panelCount();
    for (int step = 1; step <= count; ++step) {
        const int panel = (start + step) % count;
        if (!panels_[static_cast<std::size_t>(panel)].pad) return panel;
    }
    return std::nullopt;
}

void PadMapper::bind(int pad, int panel) {
    Pad& entry = pads_[pad];
    if (entry.panel) {
        panels_[static_cast<std::size_t>(*entry.panel)].pad.reset();
        controls_.showPad(*entry.panel, {});
    }
    entry.panel = panel;
    panels_[static_cast<std::size_t>(panel)].pad = pad;
    controls_.showPad(panel, entry.name);
}

void PadMapper::seatWaitingPads() {
    for (auto& [id, pad] : pads_) {
        if (pad.panel) continue;
        const auto panel = freePanelAfter(panelCount() - 1);
        if (!panel) return;
        bind(id, *panel);
    }
}

void PadMapper::setPanels(int count) {
    std::vector<std::optional<int>> same(panels_.size());
    for (int panel = 0; panel < std::min(count, panelCount()); ++panel) {
        same[static_cast<std::size_t>(panel)] = panel;
    }
    panelsChanged(same, count);
}

void PadMapper::panelsChanged(const std::vector<std::optional<int>>& newIndexOfOld, int newCount) {
    std::vector<Panel> moved(static_cast<std::size_t>(std::max(newCount, 0)));
    std::vector<bool> taken(moved.size(), false);
    std::vector<std::optional<int>> newIndex(panels_.size());
    for (std::size_t old = 0; old < panels_.size() && old < newIndexOfOld.size(); ++old) {
        const std::optional<int> to = newIndexOfOld[old];
        // A muddled map loses a panel rather than giving one to two pads.
        if (!to || *to < 0 || *to >= newCount || taken[static_cast<std::size_t>(*to)]) continue;
        taken[static_cast<std::size_t>(*to)] = true;
        moved[static_cast<std::size_t>(*to)] = panels_[old];
        newIndex[old] = to;
    }
    panels_ = std::move(moved);
    for (auto& [id, pad] : pads_) {
        if (pad.panel) pad.panel = newIndex[static_cast<std::size_t>(*pad.panel)];
    }
    seatWaitingPads();
}

void PadMapper::padAdded(int pad, const std::string& name) {
    if (pads_.count(pad) != 0) return;
    pads_[pad].name = name;
    if (const auto panel = freePanelAfter(panelCount() - 1)) bind(pad, *panel);
}

void PadMapper::padRemoved(int pad) {
    const auto found = pads_.find(pad);
    if (found == pads_.end()) return;
    const std::optional<int> panel = found->second.panel;
    pads_.erase(found);
    if (!panel) return;
    Panel& freed = panels_[static_cast<std::size_t>(*panel)];
    freed.pad.reset();
    controls_.showPad(*panel, {});
    const float last = freed.speed.waiting.value_or(freed.speed.sent.value_or(0.0f));
    if (last > 0.0f) {
        controls_.stop(*panel);
        freed.speed = Channel{0.0f, std::nullopt, std::nullopt};
    }
    seatWaitingPads();
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
        controls_.stopAll();
        for (Panel& panel : panels_) panel.speed = Channel{0.0f, {}, now};
        return;
    }
    if (button == Button::Back) {
        const int from = found->second.panel.value_or(panelCount() - 1);
        if (const auto next = freePanelAfter(from)) bind(pad, *next);
        return;
    }
    if (!found->second.panel) return;
    const int panel = *found->second.panel;
    if (button == Button::A) {
        controls_.centreLane(panel);
        channel(panel, false) = Channel{0.0f, std::nullopt, now};
    } else if (button == Button::B) {
        controls_.stop(panel);
        channel(panel, true) = Channel{0.0f, std::nullopt, now};
    }
}

PadMapper::Channel& PadMapper::channel(int panel, bool speed) {
    Panel& state = panels_[static_cast<std::size_t>(panel)];
    return speed ? state.speed : state.lane;
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
        controls_.setSpeed(panel, value);
    } else {
        controls_.setLane(panel, value);
    }
}

void PadMapper::tick(Millis now) {
    for (int panel = 0; panel < panelCount(); ++panel) {
        for (bool speed : {true, false}) {
            const Channel& sends = channel(panel, speed);
            if (sends.waiting && (!sends.sentAt || now - *sends.sentAt >= kMinInterval)) {
                send(panel, speed, *sends.waiting, now);
            }
        }
    }
}

}  // namespace gamepad
