// A drive script: JSON lines, one step a line; "#" comments and empty lines
// are skipped. A step names its vehicles ("vehicle": 305419896, "0x12345678",
// "model:9", "name:Pellan" or "all") and does one action: "speed": 500,
// "lane": -20 (with "speed" for the lane change's own speed), "middle", "stop"
// or "uturn": true, or "wait": 250 (milliseconds, no vehicle). "at": 1500
// gives its time from the start. Speeds and lanes stay within the window's
// sliders unless the full range is asked for. A recording is a script too:
// its "command", "frame" and "offset" are what was sent, and lines without an
// action are skipped.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace drive {

struct AllVehicles {
    bool operator==(const AllVehicles&) const = default;
};
struct ModelSelector {
    std::uint8_t model;
    bool operator==(const ModelSelector&) const = default;
};
// The name the car advertises; it must be one car's alone.
struct NameSelector {
    std::string name;
    bool operator==(const NameSelector&) const = default;
};
using Selector = std::variant<std::uint32_t, ModelSelector, AllVehicles, NameSelector>;

// "name:Pellan", "model:9", "0x12345678" or "all", as a script writes it.
std::string selectorText(const Selector& selector);

enum class Action { Speed, Lane, Middle, Stop, UTurn, Wait };

struct Step {
    int line = 0;
    Action action = Action::Wait;
    std::optional<Selector> vehicle;  // none for a wait
    double value = 0;                 // the speed, the lane offset, or the wait in ms
    std::optional<double> laneSpeed;  // a lane change's own speed
    std::optional<double> atMs;
};

struct ScriptError {
    int line = 0;
    QString reason;
};

struct ScriptRules {
    // The file's name in messages, "-" for standard input.
    QString source = QStringLiteral("-");
    // The protocol's whole range of speeds and lanes instead of the window's.
    bool fullRange = false;
};

struct Script {
    std::vector<Step> steps;
    std::optional<ScriptError> error;  // set: nothing may be sent
    QString source = QStringLiteral("-");

    // "race.jsonl:4": where a message about that line points.
    std::string placeOf(int line) const;
};

Script parseScript(const QByteArray& text, const ScriptRules& rules = {});

// The identifiers a script names by number: each must be there before the
// first step.
std::vector<std::uint32_t> namedIdentifiers(const Script& script);

}  // namespace drive
