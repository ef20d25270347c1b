#include "app/gamepads/SdlGamepads.h"

#include <SDL.h>

#include <QTimer>

#include "link/SystemLog.h"

namespace gamepad {
namespace {

constexpr Uint32 kRumbleMs = 250;

Millis steadyNow() {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

float axisValue(Sint16 raw) { return raw < 0 ? raw / 32768.0f : raw / 32767.0f; }

}  // namespace

SdlGamepads::SdlGamepads(PadMapper& mapper, bool poll, QObject* parent) : QObject(parent), mapper_(mapper) {
    // No window of SDL's: pads speak whichever window has the focus, and
    // SDL's own joystick thread stays off.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_THREAD, "0");
    // SDL's own SIGINT/SIGTERM handlers would turn them into quit events
    // nobody reads: the program handles its signals itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        SystemLog::write("Gamepads unavailable: %s", SDL_GetError());
        return;
    }
    available_ = true;
    if (poll) {
        timer_ = new QTimer(this);
        connect(timer_, &QTimer::timeout, this, [this] { this->poll(steadyNow()); });
        timer_->start(kPollInterval);
    }
}

SdlGamepads::~SdlGamepads() {
    if (!available_) return;
    for (const auto& [instance, controller] : controllers_) SDL_GameControllerClose(controller);
    controllers_.clear();
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void SdlGamepads::open(int deviceIndex) {
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (!controller) return;
    const int instance = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    if (controllers_.count(instance) != 0) {
        SDL_GameControllerClose(controller);  // SDL told twice of the same pad
        return;
    }
    controllers_[instance] = controller;
    const char* name = SDL_GameControllerName(controller);
    mapper_.padAdded(instance, name ? name : "Gamepad");
}

void SdlGamepads::close(int instance) {
    const auto found = controllers_.find(instance);
    if (found == controllers_.end()) return;
    mapper_.padRemoved(instance);
    SDL_GameControllerClose(found->second);
    controllers_.erase(found);
}

void SdlGamepads::poll(Millis now) {
    if (!available_) return;
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
            case SDL_CONTROLLERDEVICEADDED:
                open(event.cdevice.which);
                break;
            case SDL_CONTROLLERDEVICEREMOVED:
                close(event.cdevice.which);
                break;
            case SDL_CONTROLLERAXISMOTION: {
                const float value = axisValue(event.caxis.value);
                if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) {
                    mapper_.axisMoved(event.caxis.which, Axis::LeftX, value, now);
                } else if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) {
                    mapper_.axisMoved(event.caxis.which, Axis::LeftY, value, now);
                } else if (event.caxis.axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT) {
                    mapper_.axisMoved(event.caxis.which, Axis::RightTrigger, value, now);
                }
                break;
            }
            case SDL_CONTROLLERBUTTONDOWN:
                switch (event.cbutton.button) {
                    case SDL_CONTROLLER_BUTTON_A: mapper_.buttonPressed(event.cbutton.which, Button::A, now); break;
                    case SDL_CONTROLLER_BUTTON_B: mapper_.buttonPressed(event.cbutton.which, Button::B, now); break;
                    case SDL_CONTROLLER_BUTTON_BACK: mapper_.buttonPressed(event.cbutton.which, Button::Back, now); break;
                    case SDL_CONTROLLER_BUTTON_START: mapper_.buttonPressed(event.cbutton.which, Button::Start, now); break;
                    default: break;
                }
                break;
            default:
                break;
        }
    }
    mapper_.tick(now);
}

void SdlGamepads::rumble(int panel) {
    const std::optional<int> pad = mapper_.padOf(panel);
    if (!pad) return;
    const auto found = controllers_.find(*pad);
    if (found != controllers_.end()) SDL_GameControllerRumble(found->second, 0x8000, 0xC000, kRumbleMs);
}

}  // namespace gamepad
