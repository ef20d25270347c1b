// Gamepads: how many commands a held, ever-moving stick sends per second, and
// the time from SDL's event to the bytes handed to the radio (the simulated
// one, on virtual time, so only the program's own work is measured: the
// simulated link's delay passes in no time). The
// poll interval (8 ms) comes on top of that latency in the worst case.
#include <SDL.h>

#include <QApplication>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/gamepads/GamepadDriver.h"
#include "app/MainWindow.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/ViewController.h"
#include "link/VehiclesController.h"
#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"
#include "link/SystemLog.h"

namespace {

using Clock = std::chrono::steady_clock;
using gamepad::Millis;

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
    std::FILE* quiet = std::freopen("/dev/null", "w", stdout);  // the trace
    (void)quiet;

    ble::ManualEventLoop loop;
    ble::sim::World world{loop};
    ble::sim::World::populateDefault(world);
    MainWindow window(Radio{world.centralFactory(), QStringLiteral("Simulated vehicles"), {}, {}});
    window.findChild<TaggedButton*>("connectButton")->click();
    loop.advance(std::chrono::milliseconds(2000));
    window.findChild<TaggedButton*>("listButton")->click();
    auto* driver = window.attachGamepads(false);
    if (!driver->pads().available()) {
        std::fprintf(stderr, "no SDL game-controller support\n");
        return 1;
    }
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "bench pad";
    SDL_Joystick* pad = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc));
    driver->pads().poll(Millis(0));
    // The pad took the first panel: Vexa's car.
    const auto vexa = static_cast<std::uint32_t>(window.findChild<TaggedSlider*>("vexaSpeedSlider")->tag());
    ble::sim::VirtualVehicle* car = world.vehicle(vexa);
    if (!car) {
        std::fprintf(stderr, "no car on the Vexa panel\n");
        return 1;
    }

    // A stick swept back and forth for 10 virtual seconds, a new position
    // every millisecond, polled every 8 ms.
    car->clearWrites();
    int polls = 0;
    for (int ms = 1; ms <= 10000; ++ms) {
        const int phase = ms % 2000;
        const int position = phase < 1000 ? phase : 2000 - phase;
        SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, static_cast<Sint16>(position * 65 - 32768));
        if (ms % 8 == 0) {
            driver->pads().poll(Millis(ms));
            loop.advance(std::chrono::milliseconds(8));
            ++polls;
        }
    }
    const double perSecond = static_cast<double>(car->writes().size()) / 10.0;

    // One trigger move at a time, 1000 times: from setting the axis to the
    // write the radio got.
    std::vector<double> micros;
    for (int i = 0; i < 1000; ++i) {
        const std::size_t before = car->writes().size();
        const auto start = Clock::now();
        SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, static_cast<Sint16>(i % 2 ? 32767 : 0));
        driver->pads().poll(Millis(20000 + i * 100));
        loop.advance(std::chrono::milliseconds(100));  // virtual: the radio's own delay costs nothing
        if (car->writes().size() > before) {
            micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    std::fprintf(stderr, "| case | figure |\n|---|---|\n");
    std::fprintf(stderr, "| held stick, a new position every 1 ms, polled every 8 ms | %.1f commands per second to one slider (%d polls) |\n",
                 perSecond, polls);
    std::fprintf(stderr, "| SDL event to the radio's write (%zu moves) | p50 %.0f us, p99 %.0f us, worst %.0f us |\n",
                 micros.size(), percentile(micros, 0.5), percentile(micros, 0.99), percentile(micros, 1.0));
    SDL_JoystickClose(pad);
    return 0;
}
