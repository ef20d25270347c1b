// What gamepads do to the window's vehicle panels, without SDL and without
// widgets: which pad drives which panel, the dead zone, and the rate at which
// a held stick sends. The caller hands in the time of every event, so the
// rules run the same on a real clock and on a test's.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace gamepad {

using Millis = std::chrono::milliseconds;

enum class Axis { LeftX, LeftY, RightTrigger };
enum class Button { A, B, Back, Start };

// Vexa, Drummet, Pellan come first; a panel per further listed car follows.
constexpr int kModelPanels = 3;

// The window's side: every call goes through the panel's own sliders and
// buttons, as a person's move of them would.
class PanelControls {
public:
    virtual ~PanelControls() = default;
    // 0 (stopped) to 1 (the slider's maximum).
    virtual void setSpeed(int panel, float fraction) = 0;
    // -1 (the slider's minimum) to 1 (its maximum), 0 the road centre.
    virtual void setLane(int panel, float position) = 0;
    virtual void centreLane(int panel) = 0;
    virtual void stop(int panel) = 0;
    virtual void stopAll() = 0;
    // The pad that drives the panel, "" for none.
    virtual void showPad(int panel, const std::string& padName) = 0;
};

class PadMapper {
public:
    static constexpr Millis kMinInterval{20};
    static constexpr float kDeadZone = 0.08f;

    explicit PadMapper(PanelControls& controls, int panels = kModelPanels);

    int panelCount() const { return static_cast<int>(panels_.size()); }
    // Panels added or taken away at the end.
    void setPanels(int count);
    // The window's panels changed: old panel i is now newIndexOfOld[i], or
    // gone (nullopt, or beyond the list). A pad keeps its panel, with what it
    // sent and held back; a pad whose panel went sends nothing to it (its car
    // left the window) and, like every pad still without one, takes the first
    // free panel, in the order the pads came.
    void panelsChanged(const std::vector<std::optional<int>>& newIndexOfOld, int newCount);

    // A new pad takes the first free panel; with none free it waits for one.
    void padAdded(int pad, const std::string& name);
    // A pad unplugged while its car moves stops that car.
    void padRemoved(int pad);
    // Sticks from -1 to 1 (up is negative), the trigger from 0 to 1.
    void axisMoved(int pad, Axis axis, float value, Millis now);
    void buttonPressed(int pad, Button button, Millis now);
    // Sends what the rate held back once its time has come.
    void tick(Millis now);

    std::optional<int> panelOf(int pad) const;
    std::optional<int> padOf(int panel) const;

private:
    // One slider's sends: at most one per kMinInterval, the last value kept.
    struct Channel {
        std::optional<float> sent;
        std::optional<float> waiting;
        std::optional<Millis> sentAt;
    };
    enum class SpeedSource { Trigger, Stick };
    struct Pad {
        std::string name;
        std::optional<int> panel;
        SpeedSource speedSource = SpeedSource::Trigger;
    };
    struct Panel {
        std::optional<int> pad;
        Channel speed;
        Channel lane;
    };

    void bind(int pad, int panel);
    void seatWaitingPads();
    Channel& channel(int panel, bool speed);
    void offer(int panel, bool speed, float value, Millis now);
    void send(int panel, bool speed, float value, Millis now);
    std::optional<int> freePanelAfter(int start) const;

    PanelControls& controls_;
    std::map<int, Pad> pads_;  // by SDL's instance id, which grows with each pad plugged in
    std::vector<Panel> panels_;
};

// The value with the dead zone taken out and the rest stretched back to the
// full range; NaN reads as rest, anything beyond the range as its end.
float withoutDeadZone(float value);

}  // namespace gamepad
