// The real window on a simulated radio on virtual time, with its controls
// found by name, standard output captured and the recorded writes at hand.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "StdoutCapture.h"
#include "app/MainWindow.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/ViewController.h"
#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

class QLineEdit;
class QPlainTextEdit;

using Bytes = std::vector<std::uint8_t>;

class PanelFixture : public ::testing::Test {
protected:
    PanelFixture();
    ~PanelFixture() override;

    // A virtual vehicle in the world; tests add theirs before openWindow().
    void addVehicle(std::uint8_t model, std::uint32_t identifier);
    // Makes the window, on the world's radio, with the Radio menu's choices.
    void openWindow(RadioCatalog catalog = {});
    // Presses Connect and lets the simulated road settle.
    void connect();
    void list();
    void settle(std::chrono::milliseconds time = std::chrono::milliseconds(2000));

    TaggedButton* button(const char* name) const;
    TaggedSlider* slider(const char* name) const;
    QLineEdit* field(const char* name) const;
    QString output() const;
    // What File → Save log writes, read back from a fresh file.
    QString savedLog() const;
    std::string takeStdout() { return stdout_.take(); }

    // What reached the vehicle's write characteristic since the last clear.
    std::vector<Bytes> writesTo(std::uint32_t identifier) const;
    void clearWrites();
    ViewController& vc() const { return window_->viewController(); }

    ble::ManualEventLoop loop_;
    ble::sim::World world_{loop_};
    int centralsMade_ = 0;
    std::unique_ptr<MainWindow> window_;
    StdoutCapture stdout_;
};
