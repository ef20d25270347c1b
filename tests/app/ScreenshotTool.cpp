// Renders the window as a person sees it after Connect and List, with the
// simulated vehicles driving, into the PNG file named on the command line:
// `zelto_app_screenshot FILE [CARS [WIDTHxHEIGHT [system]]]` (3 cars by
// default; "system" takes the radio the program would choose, a real one if
// the machine has it, and waits for CARS cars there).
// Used by scripts/screenshot; not part of the program.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "app/panels/FleetArea.h"
#include "app/panels/FleetPanel.h"
#include "app/MainWindow.h"
#include "radio/RadioChoice.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/ViewController.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

// Lets real time pass on Qt's loop until `done` holds or the time is up.
template <typename Done>
bool waitFor(Done done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) QTest::qWait(20);
    return done();
}

void press(QWidget* window, const char* name, Qt::Key key, int times) {
    auto* slider = window->findChild<TaggedSlider*>(name);
    for (int i = 0; i < times; ++i) QTest::keyClick(slider, key);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshot.png");
    const int cars = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QStringList size = argc > 3 ? QString::fromLocal8Bit(argv[3]).split(QLatin1Char('x')) : QStringList();

    // Always the simulated vehicles, whatever radio this machine has.
    std::optional<Radio> radio;
    if (argc > 4 && QString::fromLocal8Bit(argv[4]) == QStringLiteral("system")) {
        chooseRadio(&application, [&radio](Radio chosen) { radio = std::move(chosen); });
        if (!waitFor([&radio] { return radio.has_value(); }, 10000)) return 1;
    } else {
        radio = makeSimulatedFleet(cars);
    }
    auto window = std::make_unique<MainWindow>(std::move(*radio));
    if (size.size() == 2) window->resize(size[0].toInt(), size[1].toInt());
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        std::fprintf(stderr, "the window did not appear\n");
        return 1;
    }

    QTest::mouseClick(window->findChild<TaggedButton*>("connectButton"), Qt::LeftButton);
    const VehiclesController& registry = window->viewController().vehiclesController();
    const bool driving = waitFor(
        [&registry, cars] {
            const auto vehicles = *registry.vehicles();
            if (vehicles.size() < static_cast<std::size_t>(cars)) return false;
            for (const auto& vehicle : vehicles) {
                if (!vehicle->active()) return false;
            }
            return true;
        },
        10000);
    if (!driving) {
        std::fprintf(stderr, "the simulated vehicles did not come alive\n");
        return 1;
    }
    QTest::mouseClick(window->findChild<TaggedButton*>("listButton"), Qt::LeftButton);

    press(window.get(), "vexaSpeedSlider", Qt::Key_PageUp, 5);
    press(window.get(), "drummetSpeedSlider", Qt::Key_PageUp, 3);
    press(window.get(), "drummetLaneSlider", Qt::Key_PageDown, 2);
    press(window.get(), "pellanSpeedSlider", Qt::Key_PageUp, 4);
    press(window.get(), "pellanLaneSlider", Qt::Key_PageUp, 2);
    int step = 1;
    for (FleetPanel* panel : window->findChild<FleetArea*>("fleetScroll")->panels()) {
        for (int i = 0; i < 1 + step % 5; ++i) QTest::keyClick(panel->speed(), Qt::Key_PageUp);
        if (step % 3 == 0) QTest::keyClick(panel->lane(), Qt::Key_PageUp);
        ++step;
    }
    window->findChild<QPushButton*>("logToggle")->setChecked(cars <= 3);
    QTest::qWait(800);
    window->refreshStatus();
    window->refreshHealth();

    if (!window->grab().save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}
