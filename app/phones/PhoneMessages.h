// The messages a phone's page and the host exchange over the WebSocket, as
// JSON text. Whatever a phone sends is untrusted: anything but one of these
// messages, with its fields of the right type, length and range, reads as
// nothing.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace phone {

// Longer texts are not even parsed.
constexpr qsizetype kLongestMessage = 512;
constexpr int kSpeedTop = 1000;
constexpr int kLaneSide = 70;

struct Message {
    enum class Kind { Hello, Beat, Claim, Release, Speed, Lane, Stop, Middle, UTurn, Hidden, Name };
    Kind kind = Kind::Beat;
    std::string token;  // Hello: the sharing's token, 32 hex digits
    std::string phone;  // Hello: the page's identity, 8 to 64 letters, digits, '-' or '_'
    std::string name;   // Hello, Name: what the person calls the phone, may be empty
    std::string car;    // Claim: the car's key
    double value = 0;   // Speed: 0 to kSpeedTop; Lane: -kLaneSide to kLaneSide
};

std::optional<Message> readMessage(const QString& text);

// What the host tells a phone.
struct CarOffer {
    std::string car;
    std::string name;
    bool free = true;
    bool yours = false;
};
QString welcomeText(const std::string& label);
// The answer to a phone's beat: the page knows the laptop is there.
QString beatText();
QString carsText(const std::vector<CarOffer>& cars);
// The phone's car now: its name, link state, speed and lane; none when it
// holds no car.
struct CarState {
    std::string car;
    std::string name;
    std::string state;
    double speed = 0;
    double lane = 0;
};
QString carText(const std::optional<CarState>& car);
// "taken" (another phone holds the car), "full" (too many phones), "slow"
// (messages dropped: too many a second), "gone" (no such car), "replaced"
// (the same phone opened the page again elsewhere).
QString refusedText(const char* reason);

}  // namespace phone
