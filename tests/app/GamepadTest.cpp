// Gamepads on the real window, through SDL's virtual game controllers and on
// virtual time: pads take panels, every move traces, writes to the output
// area and reaches the car as the same move by hand, the dead zone, the rate
// limit that keeps the last value, unplugging, Start, the rumble, and panels
// the window adds and removes.
#include <SDL.h>

#include <QLabel>
#include <QPushButton>
#include <cmath>
#include <functional>

#include "PanelFixture.h"
#include "app/gamepads/GamepadDriver.h"

namespace {

using gamepad::Millis;

// A pad that exists only in SDL, with every standard axis and button.
class VirtualPad {
public:
    explicit VirtualPad(const char* name) {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = name;
        desc.userdata = this;
        desc.Rumble = [](void* self, Uint16, Uint16) {
            ++static_cast<VirtualPad*>(self)->rumbles;
            return 0;
        };
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        joystick_ = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
    }
    ~VirtualPad() { unplug(); }
    bool attached() const { return joystick_ != nullptr; }

    // Sticks from -1 to 1; triggers from 0 to 1, which SDL reads from the
    // virtual axis's whole range.
    void axis(SDL_GameControllerAxis axis, float value) {
        const bool trigger = axis == SDL_CONTROLLER_AXIS_TRIGGERLEFT || axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
        const auto raw = static_cast<Sint16>(trigger ? std::lround(value * 65535.0f) - 32768
                                                     : std::lround(value < 0 ? value * 32768 : value * 32767));
        SDL_JoystickSetVirtualAxis(joystick_, axis, raw);
    }
    void press(SDL_GameControllerButton button) { SDL_JoystickSetVirtualButton(joystick_, button, 1); }
    void release(SDL_GameControllerButton button) { SDL_JoystickSetVirtualButton(joystick_, button, 0); }
    void unplug() {
        if (!joystick_) return;
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
        SDL_JoystickClose(joystick_);
        joystick_ = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
        }
    }

    int rumbles = 0;

private:
    SDL_Joystick* joystick_ = nullptr;
};

// Vexa 61, Drummet 62 and Pellan 63, listed; pads polled by hand.
class GamepadTest : public PanelFixture {
protected:
    void SetUp() override {
        addVehicle(9, 61);
        addVehicle(18, 62);
        addVehicle(19, 63);
        openWindow();
        driver_ = window_->attachGamepads(false);
        if (!driver_->pads().available()) GTEST_SKIP() << "no SDL game-controller support here";
        connect();
        list();
        takeStdout();
        clearWrites();
    }

    // SDL reads the virtual pads and the mapper sends what is due.
    void poll(int ms) {
        now_ = Millis(ms);
        driver_->pads().poll(now_);
        settle(std::chrono::milliseconds(50));
    }
    QString padShown(const char* panel) const {
        return window_->findChild<QLabel*>(QLatin1String(panel) + QLatin1String("Pad"))->text();
    }
    QString newOutput() {
        const QString all = output();
        const QString fresh = all.mid(seen_);
        seen_ = all.size();
        return fresh;
    }

    GamepadDriver* driver_ = nullptr;
    Millis now_{0};
    qsizetype seen_ = 0;
};

TEST_F(GamepadTest, PadsTakeTheFreePanelsInOrderAndBackMovesOne) {
    VirtualPad one("Pad one"), two("Pad two");
    ASSERT_TRUE(one.attached() && two.attached());
    poll(0);
    EXPECT_EQ(padShown("vexa"), "Pad: Pad one");
    EXPECT_EQ(padShown("drummet"), "Pad: Pad two");
    EXPECT_EQ(padShown("pellan"), "");

    two.press(SDL_CONTROLLER_BUTTON_BACK);
    poll(100);
    EXPECT_EQ(padShown("drummet"), "");
    EXPECT_EQ(padShown("pellan"), "Pad: Pad two");

    one.unplug();
    poll(200);
    EXPECT_EQ(padShown("vexa"), "");
    VirtualPad three("Pad three");
    poll(300);
    EXPECT_EQ(padShown("vexa"), "Pad: Pad three") << "the first free panel";
    EXPECT_EQ(takeStdout(), "") << "arriving, moving and leaving pads drive nothing";
}

TEST_F(GamepadTest, EachMoveIsTheSameAsByHandAndTheDeadZoneSendsNothing) {
    VirtualPad pad("Pad");
    poll(0);
    newOutput();
    struct Step {
        const char* what;
        std::function<void()> move;
        const char* trace;
        const char* output;
        std::vector<Bytes> frames;
    };
    const Step steps[] = {
        {"trigger in the dead zone", [&] { pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0.05f); }, "", "", {}},
        {"trigger full", [&] { pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 1.0f); },
         "Speed 1000.0 for carID: 61\n", "\nCar:[61] speed:1000.0", {{0x06, 0x24, 0xE8, 0x03, 0xA8, 0x61, 0x00}}},
        {"trigger released", [&] { pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0.0f); },
         "Speed 0.0 for carID: 61\n", "\nCar:[61] speed:0.0", {{0x06, 0x24, 0x00, 0x00, 0xA8, 0x61, 0x00}}},
        {"stick up halfway", [&] { pad.axis(SDL_CONTROLLER_AXIS_LEFTY, -0.54f); },
         "Speed 500.0 for carID: 61\n", "\nCar:[61] speed:500.0", {{0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00}}},
        {"stick sideways in the dead zone", [&] { pad.axis(SDL_CONTROLLER_AXIS_LEFTX, -0.07f); }, "", "", {}},
        {"stick full left", [&] { pad.axis(SDL_CONTROLLER_AXIS_LEFTX, -1.0f); }, "Lane -70\n",
         "\nCar:[61] lane:-70.0 speed:500.0",
         {{0x0B, 0x25, 0xF4, 0x01, 0xC4, 0x09, 0x00, 0x00, 0x8C, 0xC2, 0x00, 0x00}}},
        {"A centres", [&] { pad.press(SDL_CONTROLLER_BUTTON_A); }, "Lane 0\n", "\nCar:[61] lane:0.0 speed:500.0",
         {{0x0B, 0x25, 0xF4, 0x01, 0xC4, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}},
        {"B stops", [&] { pad.press(SDL_CONTROLLER_BUTTON_B); }, "Speed 0.0 for carID: 61\n",
         "\nCar:[61] speed:0.0", {{0x06, 0x24, 0x00, 0x00, 0xA8, 0x61, 0x00}}},
    };
    int time = 0;
    for (const Step& step : steps) {
        pad.release(SDL_CONTROLLER_BUTTON_A);
        pad.release(SDL_CONTROLLER_BUTTON_B);
        poll(time += 100);
        takeStdout();
        newOutput();
        clearWrites();
        step.move();
        poll(time += 100);
        EXPECT_EQ(takeStdout(), step.trace) << step.what;
        EXPECT_EQ(newOutput(), step.output) << step.what;
        EXPECT_EQ(writesTo(61), step.frames) << step.what;
    }
    EXPECT_TRUE(writesTo(62).empty());
}

TEST_F(GamepadTest, AHeldStickSendsAtMostEvery20MsAndAlwaysItsLastValue) {
    VirtualPad pad("Pad");
    poll(0);
    takeStdout();
    const std::pair<int, float> moves[] = {{100, 0.2f}, {105, 0.4f}, {110, 0.6f}, {115, 0.8f}};
    for (const auto& [at, value] : moves) {
        pad.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, value);
        poll(at);
    }
    EXPECT_EQ(writesTo(61).size(), 1u) << "the first at once, the rest held back";
    poll(119);
    EXPECT_EQ(writesTo(61).size(), 1u);
    poll(120);
    poll(200);
    ASSERT_EQ(writesTo(61).size(), 2u) << "then only the last";
    EXPECT_EQ(slider("vexaSpeedSlider")->floatValue(), 782.5f);
    EXPECT_EQ(takeStdout(), "Speed 130.5 for carID: 61\nSpeed 782.5 for carID: 61\n");
}

TEST_F(GamepadTest, UnpluggingAMovingPadStopsItsCarAndStartStopsEveryCar) {
    VirtualPad one("One"), two("Two");
    poll(0);
    one.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 1.0f);
    two.axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 1.0f);
    poll(100);
    takeStdout();
    one.unplug();
    poll(200);
    EXPECT_EQ(takeStdout(), "Speed 0.0 for carID: 61\n");
    EXPECT_EQ(slider("drummetSpeedSlider")->floatValue(), 1000.0f);

    two.press(SDL_CONTROLLER_BUTTON_START);
    poll(300);
    EXPECT_EQ(takeStdout(), "Speed 0.0 for carID: 61\nSpeed 0.0 for carID: 62\nSpeed 0.0 for carID: 63\n")
        << "every bound panel, as Stop all";
    for (const char* name : {"vexaSpeedSlider", "drummetSpeedSlider", "pellanSpeedSlider"}) {
        EXPECT_EQ(slider(name)->value(), 0) << name;
    }
}

TEST_F(GamepadTest, ALostCarMakesItsPadRumble) {
    VirtualPad one("One"), two("Two");
    poll(0);
    world_.removeVehicle(62);
    settle();
    window_->refreshStatus();
    EXPECT_EQ(one.rumbles, 0);
    EXPECT_EQ(two.rumbles, 1);
}

TEST_F(GamepadTest, PadsFollowTheirPanelsAsTheWindowAddsAndRemovesThem) {
    auto modelPanel = [this](const QString& name) {
        return PanelWidgets{window_->findChild<TaggedSlider*>(name + "SpeedSlider"),
                            window_->findChild<TaggedSlider*>(name + "LaneSlider"),
                            window_->findChild<TaggedButton*>(name + "MiddleButton"),
                            window_->findChild<QPushButton*>(name + "StopButton"),
                            window_->findChild<QLabel*>(name + "Pad"),
                            window_->findChild<QPushButton*>(name + "UTurnButton"),
                            window_->findChild<QLabel*>(name + "Phone"),
                            name};
    };
    const PanelWidgets vexa = modelPanel("vexa"), drummet = modelPanel("drummet"),
                       pellan = modelPanel("pellan");
    QWidget extra;  // two fleet panels of the test's own
    PanelWidgets a{new TaggedSlider(&extra), {}, {}, {}, new QLabel(&extra), {}, {}, {}};
    PanelWidgets b{new TaggedSlider(&extra), {}, {}, {}, new QLabel(&extra), {}, {}, {}};
    driver_->setPanels({vexa, drummet, pellan, a, b});
    VirtualPad one("One"), two("Two"), three("Three"), four("Four"), five("Five");
    poll(0);
    EXPECT_EQ(a.pad->text(), "Pad: Four");
    EXPECT_EQ(b.pad->text(), "Pad: Five");

    driver_->setPanels({vexa, drummet, pellan, b});
    EXPECT_EQ(b.pad->text(), "Pad: Five") << "kept at its new place";
    driver_->panelLinkLost(3);
    EXPECT_EQ(five.rumbles, 1);
    EXPECT_EQ(four.rumbles, 0);

    a.pad->clear();  // the window deletes a panel that went; here it only comes back
    driver_->setPanels({vexa, drummet, pellan, b, a});
    EXPECT_EQ(a.pad->text(), "Pad: Four") << "the waiting pad takes the panel back";
}

TEST(PadMapperDeadZone, RestsInsideStretchesOutsideAndReadsNaNAsRest) {
    const std::pair<float, float> cases[] = {
        {0.0f, 0.0f}, {0.079f, 0.0f}, {-0.079f, 0.0f}, {0.08f, 0.0f}, {1.0f, 1.0f}, {-1.0f, -1.0f},
        {0.54f, 0.5f}, {5.0f, 1.0f}, {-INFINITY, -1.0f}, {NAN, 0.0f},
    };
    for (const auto& [in, out] : cases) EXPECT_NEAR(gamepad::withoutDeadZone(in), out, 1e-6f) << in;
}

}  // namespace
