// Phones drive the window's panels: each move goes through the panel's own
// slider or button, so it traces, writes to the output area and reaches the
// car exactly as the same move by hand; each panel shows the phone that
// holds its car ("Phone: Anna").
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/panels/PanelWidgets.h"
#include "app/phones/Garage.h"

class PanelDriving;

class PhoneDriver : public phone::Garage {
public:
    // The window's panels, the controller the moves go through, and how to
    // show their effect at once.
    PhoneDriver(PanelDriving& controller, std::function<void()> refresh);

    void setPanels(std::vector<PanelWidgets> panels);

    std::vector<Car> cars() const override;
    void setSpeed(const std::string& car, double speed) override;
    void setLane(const std::string& car, double lane) override;
    void centre(const std::string& car) override;
    void uTurn(const std::string& car) override;
    void stop(const std::string& car) override;
    void showPhones(const std::map<std::string, std::string>& labels) override;

private:
    const PanelWidgets* panelOf(const std::string& car) const;
    static std::string keyOf(const PanelWidgets& panel);

    PanelDriving& controller_;
    std::function<void()> refresh_;
    std::vector<PanelWidgets> panels_;
    std::map<std::string, std::string> labels_;
};
