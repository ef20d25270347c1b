// The cars phones may drive, as the host sees them: the window's panels
// behind an interface, so the sharing runs without widgets in its tests.
// Every move goes through the panel's own controls.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace phone {

class Garage {
public:
    struct Car {
        std::string key;    // the car's identifier in decimal
        std::string name;   // its panel's name
        std::string state;  // its link, as the panel shows it
        double speed = 0;
        double lane = 0;
        bool moving = false;
    };

    virtual ~Garage() = default;
    // The cars on the panels now, in the panels' order.
    virtual std::vector<Car> cars() const = 0;
    virtual void setSpeed(const std::string& car, double speed) = 0;
    virtual void setLane(const std::string& car, double lane) = 0;
    virtual void centre(const std::string& car) = 0;
    virtual void uTurn(const std::string& car) = 0;
    virtual void stop(const std::string& car) = 0;
    // Which phone holds which car (car key to the phone's label); every other
    // panel shows no phone.
    virtual void showPhones(const std::map<std::string, std::string>& labels) = 0;
};

}  // namespace phone
