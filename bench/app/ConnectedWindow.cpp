#include "bench/app/ConnectedWindow.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/panels/TaggedButton.h"
#include "app/ViewController.h"
#include "bench/radio/LoadMeters.h"
#include "link/SystemLog.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "radio/RadioChoice.h"

int& QuietBenchApplication::offscreenUnlessNamed(int& argc) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return argc;
}

QuietBenchApplication::QuietBenchApplication(int& argc, char** argv)
    : application_(offscreenUnlessNamed(argc), argv), terminal_(std::cout.rdbuf(sink_.rdbuf())) {
    SystemLog::setEchoToStandardError(false);
}

QuietBenchApplication::~QuietBenchApplication() { std::cout.rdbuf(terminal_); }

std::unique_ptr<MainWindow> openConnectedWindow(std::size_t cars) {
    auto window = std::make_unique<MainWindow>(makeSimulatedFleet(static_cast<int>(cars)));
    window->show();
    window->findChild<TaggedButton*>("connectButton")->click();
    const VehiclesController& registry = window->viewController().vehiclesController();
    const bool driving = load::waitFor(
        [&] {
            const auto vehicles = *registry.vehicles();
            return vehicles.size() == cars && std::all_of(vehicles.begin(), vehicles.end(), [](const auto& v) {
                       return v->active() && v->firmwareVersion().has_value();
                   });
        },
        30000);
    if (!driving) {
        std::fprintf(stderr, "the cars never drove\n");
        return nullptr;
    }
    window->findChild<TaggedButton*>("listButton")->click();
    return window;
}
