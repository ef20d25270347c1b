#include "drive/Runner.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ble/mqtt/Wire.h"
#include "drive/NameHint.h"
#include "link/DriveRecorder.h"
#include "link/LaneSpeed.h"
#include "link/LinkText.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace drive {
namespace {

constexpr double kPollMs = 10;
// "all" is ready once nothing new has turned up for this long.
constexpr double kAllQuietMs = 1000;
constexpr std::size_t kMostHeardNames = 256;

}  // namespace

std::atomic<int>& Runner::pendingSignal() {
    static std::atomic<int> signal{0};
    return signal;
}

Runner::Runner(VehiclesController& controller, DriveClock& clock, double connectTimeoutMs, Sink out, Sink err)
    : controller_(controller),
      clock_(clock),
      connectTimeoutMs_(connectTimeoutMs),
      out_(std::move(out)),
      err_(std::move(err)),
      written_([this](const WrittenFrames::Frame& frame, bool replaced) { frameOutcome(frame, replaced); }),
      origin_(std::numeric_limits<double>::infinity()) {
    DriveTap::addObserver(this);
}

Runner::~Runner() {
    DriveTap::removeObserver(this);
    for (const auto& [vehicle, weak] : watched_) {
        if (const auto peripheral = weak.lock()) peripheral->watchWrites({});
    }
}

bool Runner::watching(std::uint32_t vehicle) {
    const auto found = controller_.findVehicleById(vehicle);
    const auto peripheral = found ? found->peripheral() : nullptr;
    if (!peripheral) return false;
    const auto known = watched_.find(vehicle);
    if (known != watched_.end() && known->second.lock() == peripheral) return true;
    const bool reports = peripheral->watchWrites([this, vehicle](const std::vector<uint8_t>& bytes, bool replaced) {
        written_.reported(vehicle, bytes, replaced);
    });
    if (!reports) return false;
    watched_[vehicle] = peripheral;
    return true;
}

void Runner::frameOutcome(const WrittenFrames::Frame& frame, bool replaced) {
    if (!frame.shown) return;
    const double seconds = (frame.atMs - origin_) / 1000.0;
    const std::string hex = hexText(frame.bytes.data(), frame.bytes.size());
    if (!replaced) {
        out_(frameLine(format_, seconds, frame.vehicle, frame.name, hex));
    } else if (format_ == FrameFormat::Json) {
        out_(replacedFrameLine(format_, seconds, frame.vehicle, frame.name, hex));
    } else if (sayReplaced_) {
        err_(replacedFrameLine(format_, seconds, frame.vehicle, frame.name, hex));
    }
}

void Runner::commandSent(const SentCommand& command) {
    const double now = clock_.nowMs();
    // The link's own handshake, also of a car that connects late, is not the
    // script's: the lines are the frames the steps send.
    const std::string name = command.name ? command.name : "frame";
    const bool shown = now >= origin_ && name != "sdk-mode" && name != "get-version";
    if (watching(command.vehicle)) {
        // The line waits for the radio to say the frame has left.
        written_.handedOver({now, command.vehicle, name,
                             std::vector<uint8_t>(command.bytes, command.bytes + command.length), shown});
        return;
    }
    if (!shown) return;
    out_(frameLine(format_, (now - origin_) / 1000.0, command.vehicle, name, hexText(command.bytes, command.length)));
}

void Runner::scriptError(const Script& script, int line, const std::string& reason) const {
    scriptErr_(script.placeOf(line) + ": " + reason);
}

Runner::Wanted Runner::wantedBy(const Script& script) {
    Wanted wanted;
    wanted.identifiers = namedIdentifiers(script);
    for (const Step& step : script.steps) {
        if (!step.vehicle) continue;
        if (const auto* model = std::get_if<ModelSelector>(&*step.vehicle)) wanted.models.insert(model->model);
        if (std::holds_alternative<AllVehicles>(*step.vehicle)) wanted.all = true;
        if (const auto* name = std::get_if<NameSelector>(&*step.vehicle)) wanted.names.emplace(name->name, step.line);
    }
    return wanted;
}

std::vector<std::shared_ptr<Vehicle>> Runner::named(const std::string& name) const {
    std::vector<std::shared_ptr<Vehicle>> found;
    for (const auto& vehicle : *controller_.vehicles()) {
        const auto peripheral = vehicle ? vehicle->peripheral() : nullptr;
        if (peripheral && peripheral->name() == name) found.push_back(vehicle);
    }
    return found;
}

std::string Runner::hintFor(const std::string& absent) const {
    const std::string prefix = "name:";
    if (absent.rfind(prefix, 0) != 0) return {};
    std::vector<std::string> heard(heardNames_.begin(), heardNames_.end());
    for (const auto& vehicle : *controller_.vehicles()) {
        if (const auto peripheral = vehicle ? vehicle->peripheral() : nullptr) heard.push_back(peripheral->name());
    }
    std::string hint;
    for (const std::string& name : nearestNames(absent.substr(prefix.size()), heard)) {
        hint += (hint.empty() ? " (heard: name:" : ", name:") + name;
    }
    return hint.empty() ? hint : hint + ")";
}

std::string Runner::sharedName(const Wanted& wanted, const Script& script) const {
    for (const auto& [name, line] : wanted.names) {
        const auto owners = named(name);
        if (owners.size() < 2) continue;
        std::string ids;
        for (std::size_t i = 0; i < owners.size(); ++i) {
            ids += (i == 0 ? "" : i + 1 == owners.size() ? " and " : ", ") + link_text::identifierText(owners[i]->identifier());
        }
        return script.placeOf(line) + ": name:" + name + " is shared by " + ids + ", nothing sent";
    }
    return {};
}

std::vector<std::string> Runner::missing(const Wanted& wanted, double quietMs) const {
    std::vector<std::string> absent;
    const VehicleList vehicles = *controller_.vehicles();
    const auto active = [&vehicles](const std::function<bool(const Vehicle&)>& match) {
        return std::any_of(vehicles.begin(), vehicles.end(),
                           [&](const auto& v) { return v && v->active() && match(*v); });
    };
    const auto connecting = [&vehicles](const std::function<bool(const Vehicle&)>& match) {
        return std::any_of(vehicles.begin(), vehicles.end(),
                           [&](const auto& v) { return v && !v->active() && match(*v); });
    };
    for (std::uint32_t id : wanted.identifiers) {
        if (!active([id](const Vehicle& v) { return v.identifier() == id; })) absent.push_back(link_text::identifierText(id));
    }
    // A model drives every car of it: like a name, it waits for the list to
    // settle and for its cars to finish connecting, so none is left out.
    for (int model : wanted.models) {
        const auto ofModel = [model](const Vehicle& v) { return v.modelIdentifier() == model; };
        if (!active(ofModel) || connecting(ofModel) || quietMs < kAllQuietMs) {
            absent.push_back("model:" + std::to_string(model));
        }
    }
    // Like "all", a name waits for the list to settle, so that a second car
    // of that name is seen before the first one is driven.
    for (const auto& entry : wanted.names) {
        const auto owners = named(entry.first);
        const bool ready = owners.size() == 1 && owners.front()->active() && quietMs >= kAllQuietMs;
        if (!ready) absent.push_back("name:" + entry.first);
    }
    if (wanted.all) {
        const auto any = [](const Vehicle&) { return true; };
        if (!active(any)) {
            absent.push_back("all (no vehicle yet)");
        } else if (connecting(any) || quietMs < kAllQuietMs) {
            absent.push_back("all (still connecting)");
        }
    }
    return absent;
}

int Runner::stopAndEnd(int code) {
    const DriveTap::Occasion occasion("the stop at the end");
    for (std::uint32_t id : driven_) {
        if (const auto vehicle = controller_.findVehicleById(id)) vehicle->setSpeed(0);
    }
    clock_.runFor(kDrainMs);  // paced frames leave the radio
    return code;
}

int Runner::waitUntil(double ms) {
    while (true) {
        if (const int signal = pendingSignal().load()) return stopAndEnd(128 + signal);
        for (std::uint32_t id : involved_) {
            if (!controller_.findVehicleById(id)) {
                // A broker's loss ends every car's link: it is said once, by its name.
                const std::string end = controller_.linkEndOf(id);
                err_(ble::mqtt::wire::isBrokerLostEnd(end) ? end : "vehicle " + link_text::identifierText(id) + " was lost");
                return stopAndEnd(kVehicleLost);
            }
        }
        const double now = clock_.nowMs();
        if (now >= ms) return 0;
        clock_.runFor(std::min(kPollMs, ms - now));
    }
}

std::vector<std::shared_ptr<Vehicle>> Runner::targetsOf(const Selector& selector, std::string& lost) const {
    std::vector<std::shared_ptr<Vehicle>> targets;
    const auto* byName = std::get_if<NameSelector>(&selector);
    const auto* id = std::get_if<std::uint32_t>(&selector);
    if (id || byName) {
        const std::uint32_t identifier = id ? *id : nameOwners_.at(byName->name);
        auto vehicle = controller_.findVehicleById(identifier);
        if (!vehicle || !vehicle->active()) lost = selectorText(selector);
        else targets.push_back(std::move(vehicle));
        return targets;
    }
    for (const auto& vehicle : *controller_.vehicles()) {
        if (!vehicle || !vehicle->active()) continue;
        const auto* model = std::get_if<ModelSelector>(&selector);
        if (!model || vehicle->modelIdentifier() == model->model) targets.push_back(vehicle);
    }
    if (targets.empty()) lost = std::holds_alternative<AllVehicles>(selector)
                                    ? std::string("every vehicle")
                                    : "every vehicle of model " + std::to_string(std::get<ModelSelector>(selector).model);
    return targets;
}

void Runner::execute(const Step& step, Vehicle& vehicle) {
    const std::uint32_t id = vehicle.identifier();
    driven_.insert(id);
    involved_.insert(id);
    double& speed = lastSpeed_[id];
    switch (step.action) {
        case Action::Speed:
            speed = step.value;
            vehicle.setSpeed(static_cast<float>(step.value));
            break;
        case Action::Stop:
            speed = 0;
            vehicle.setSpeed(0);
            break;
        case Action::Lane:
            vehicle.changeLaneAndSpeed(static_cast<float>(step.value),
                                       laneChangeSpeed(static_cast<float>(step.laneSpeed.value_or(speed))));
            break;
        case Action::Middle:
            vehicle.changeLaneAndSpeed(0.0f, laneChangeSpeed(static_cast<float>(speed)));
            break;
        case Action::UTurn:
            vehicle.spin180();
            break;
        case Action::Wait:
            break;
    }
}

int Runner::run(const Script& script) {
    if (script.error) return kBadInput;
    if (!scriptErr_) scriptErr_ = err_;
    // What must be ready before the first step, read from the script once.
    const Wanted wanted = wantedBy(script);
    involved_.insert(wanted.identifiers.begin(), wanted.identifiers.end());
    // Only the cars the script names are connected: the others may be
    // another program's to drive.
    if (!wanted.all) {
        controller_.setConnectFilter([this, wanted](uint32_t identifier, uint16_t model, const std::string& name) {
            // Names heard but not wanted, for the hint when a wanted one is
            // missing; bounded, as anything on the air may advertise.
            if (heardNames_.size() < kMostHeardNames) heardNames_.insert(name);
            return std::find(wanted.identifiers.begin(), wanted.identifiers.end(), identifier) !=
                       wanted.identifiers.end() ||
                   wanted.models.contains(model) || wanted.names.contains(name);
        });
    }
    controller_.beginScan();
    // 0: as long as it takes (Ctrl-C still ends the wait).
    const double deadline =
        connectTimeoutMs_ > 0 ? clock_.nowMs() + connectTimeoutMs_ : std::numeric_limits<double>::infinity();
    std::size_t listed = 0;
    double grew = clock_.nowMs();
    while (true) {
        if (const int signal = pendingSignal().load()) return stopAndEnd(128 + signal);
        const double now = clock_.nowMs();
        if (controller_.vehicles()->size() != listed) {
            listed = controller_.vehicles()->size();
            grew = now;
        }
        if (const std::string shared = sharedName(wanted, script); !shared.empty()) {
            scriptErr_(shared);
            return kBadInput;
        }
        const std::vector<std::string> absent = missing(wanted, now - grew);
        if (absent.empty()) break;
        if (now >= deadline) {
            std::string names;
            for (const std::string& name : absent) names += (names.empty() ? "" : ", ") + name + hintFor(name);
            err_("not ready after the connect timeout, nothing sent: " + names);
            return kVehicleMissing;
        }
        clock_.runFor(kPollMs);
    }

    for (const auto& entry : wanted.names) {
        nameOwners_[entry.first] = named(entry.first).front()->identifier();
        involved_.insert(nameOwners_[entry.first]);
    }
    origin_ = clock_.nowMs();
    double cursor = 0;
    for (const Step& step : script.steps) {
        const double due = std::max(step.atMs.value_or(cursor), cursor);
        if (const int code = waitUntil(origin_ + due)) return code;
        cursor = due;
        if (step.action == Action::Wait) {
            cursor += step.value;
            continue;
        }
        std::string lost;
        const auto targets = targetsOf(*step.vehicle, lost);
        if (!lost.empty()) {
            scriptError(script, step.line, lost + " is not there");
            return stopAndEnd(kVehicleLost);
        }
        for (const auto& vehicle : targets) execute(step, *vehicle);
    }
    if (const int code = waitUntil(origin_ + cursor)) return code;
    return stopAndEnd(kOk);
}

}  // namespace drive
