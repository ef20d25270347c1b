// A drive script: JSON lines, one step a line; "#" comments and empty lines
// are skipped. A step names its vehicles ("vehicle": 305419896, "0x12345678",
// "model:9" or "all") and does one action: "speed": 500, "lane": -20 (with
// "speed" for the lane change's own speed), "middle", "stop" or "uturn": true,
// or "wait": 250 (milliseconds, no vehicle). "at": 1500 gives its time from
// the start. A recording is a script too: its "command", "frame" and
// "offset" are what was sent, and lines without an action are skipped.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
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
using Selector = std::variant<std::uint32_t, ModelSelector, AllVehicles>;

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

struct Script {
    std::vector<Step> steps;
    std::optional<ScriptError> error;  // set: nothing may be sent
};

Script parseScript(const QByteArray& text);

// The identifiers a script names by number: each must be there before the
// first step.
std::vector<std::uint32_t> namedIdentifiers(const Script& script);

}  // namespace drive
