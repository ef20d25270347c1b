// Gamepads drive the window's panels: each move goes through the panel's own
// slider or button, so it traces, writes to the output area and reaches the
// car exactly as the same move by hand; a panel whose car is lost makes its
// pad rumble.
#pragma once

#include <QObject>
#include <string>

#include "app/gamepad/PadMapper.h"
#include "app/gamepad/SdlGamepads.h"

class MainWindow;

class GamepadDriver : public QObject, private gamepad::PanelControls {
    Q_OBJECT

public:
    // Polls SDL on a timer when `poll` is true; tests poll by hand.
    explicit GamepadDriver(MainWindow& window, bool poll = true);

    gamepad::SdlGamepads& pads() { return pads_; }
    const gamepad::PadMapper& mapper() const { return mapper_; }

private:
    void setSpeed(int panel, float fraction) override;
    void setLane(int panel, float position) override;
    void centreLane(int panel) override;
    void stop(int panel) override;
    void stopAll() override;
    void showPad(int panel, const std::string& padName) override;

    template <typename Widget>
    Widget* control(int panel, const char* suffix) const;

    MainWindow& window_;
    gamepad::PadMapper mapper_{*this};
    gamepad::SdlGamepads pads_;
};
