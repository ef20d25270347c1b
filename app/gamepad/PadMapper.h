// What gamepads do to the three vehicle panels, without SDL and without
// widgets: which pad drives which panel, the dead zone, and the rate at which
// a held stick sends. The caller hands in the time of every event, so the
// rules run the same on a real clock and on a test's.
#pragma once

#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace gamepad {

using Millis = std::chrono::milliseconds;

enum class Axis { LeftX, LeftY, RightTrigger };
enum class Button { A, B, Back, Start };

constexpr int kPanels = 3;  // Vexa, Drummet, Pellan

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

    explicit PadMapper(PanelControls& panels);

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

    void bind(int pad, int panel);
    Channel& channel(int panel, bool speed);
    void offer(int panel, bool speed, float value, Millis now);
    void send(int panel, bool speed, float value, Millis now);
    std::optional<int> freePanelAfter(int start) const;

    PanelControls& panels_;
    std::map<int, Pad> pads_;
    std::array<std::optional<int>, kPanels> padOfPanel_{};
    std::array<Channel, kPanels> speed_{};
    std::array<Channel, kPanels> lane_{};
};

// The value with the dead zone taken out and the rest stretched back to the
// full range; NaN reads as rest, anything beyond the range as its end.
float withoutDeadZone(float value);

}  // namespace gamepad
