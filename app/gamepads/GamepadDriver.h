// Gamepads drive the window's panels: each move goes through the panel's own
// slider or button, so it traces, writes to the output area and reaches the
// car exactly as the same move by hand; a panel whose car is lost makes its
// pad rumble.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "app/panels/PanelWidgets.h"
#include "app/gamepads/PadMapper.h"
#include "app/gamepads/SdlGamepads.h"

class QPushButton;
class PanelDriving;

class GamepadDriver : public QObject, private gamepad::PanelControls {
    Q_OBJECT

public:
    // What the window hands over: its panels in pad order (Vexa, Drummet,
    // Pellan, then a panel per further listed car), its Stop all button, the
    // controller the moves go through, and how to show their effect at once.
    struct Window {
        std::vector<PanelWidgets> panels;
        QPointer<QPushButton> stopAll;
        PanelDriving* viewController = nullptr;
        std::function<void()> refresh;
    };

    // Polls SDL on a timer when `poll` is true; tests poll by hand.
    GamepadDriver(Window window, QObject* parent, bool poll = true);

    gamepad::SdlGamepads& pads() { return pads_; }
    const gamepad::PadMapper& mapper() const { return mapper_; }
    // The window's panels now, in pad order. A panel is known by its speed
    // slider: one still there keeps its pad wherever it moved in the list.
    void setPanels(std::vector<PanelWidgets> panels);
    // The car of that panel was lost: its pad rumbles.
    void panelLinkLost(int panel) { pads_.rumble(panel); }

private:
    void setSpeed(int panel, float fraction) override;
    void setLane(int panel, float position) override;
    void centreLane(int panel) override;
    void stop(int panel) override;
    void stopAll() override;
    void showPad(int panel, const std::string& padName) override;

    const PanelWidgets* panel(int index) const;

    Window window_;
    gamepad::PadMapper mapper_;
    gamepad::SdlGamepads pads_;
};
