// Gamepads through SDL's game-controller API, polled from Qt's event loop
// (no thread of SDL's own): pads arrive and leave at any time, their sticks,
// trigger and buttons go to a PadMapper. Without SDL's game-controller
// support, or without permission to read input devices, it says so once in
// the log and otherwise does nothing.
#pragma once

#include <QObject>
#include <chrono>
#include <map>
#include <memory>

#include "app/gamepads/PadMapper.h"

class QTimer;
struct _SDL_GameController;

namespace gamepad {

class SdlGamepads : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kPollInterval{8};

    // Starts polling on a timer when `poll` is true; tests poll by hand.
    SdlGamepads(PadMapper& mapper, bool poll = true, QObject* parent = nullptr);
    ~SdlGamepads() override;

    bool available() const { return available_; }
    // Reads every event SDL has and lets the mapper send what is due.
    void poll(Millis now);
    // A short rumble on the pad of the panel, where the pad can.
    void rumble(int panel);

private:
    void open(int deviceIndex);
    void close(int instance);

    PadMapper& mapper_;
    bool available_ = false;
    QTimer* timer_ = nullptr;
    std::map<int, _SDL_GameController*> controllers_;
};

}  // namespace gamepad
