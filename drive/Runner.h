// Runs a script on the link: scans and connects until every vehicle the
// script names is in SDK mode (a name being one car's alone), then sends each
// step through Vehicle at its time, printing one line per frame written. At
// the end, on a signal, or when a vehicle is lost, every vehicle it drove gets
// speed 0 before it returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"
#include "drive/Clock.h"
#include "drive/FrameLine.h"
#include "drive/Script.h"
#include "drive/WrittenFrames.h"
#include "link/DriveTap.h"

class Vehicle;
class VehiclesController;

namespace drive {

// kBadInput is also a radio that cannot start, and a script whose names do
// not each pick one car.
enum ExitCode { kOk = 0, kVehicleLost = 1, kBadInput = 2, kVehicleMissing = 3 };

class Runner : private DriveObserver {
public:
    using Sink = std::function<void(const std::string&)>;

    // `out` gets the frame lines, `err` what went wrong; each without newline.
    Runner(VehiclesController& controller, DriveClock& clock, double connectTimeoutMs, Sink out, Sink err);
    ~Runner() override;

    int run(const Script& script);

    // Frame lines as text (the default) or JSON.
    void setFrameFormat(FrameFormat format) { format_ = format; }
    // Says on `err` which text-format frames a newer one replaced before they left.
    void setSayReplaced(bool say) { sayReplaced_ = say; }
    // Where "FILE:LINE: reason" lines go, about one line of the script; to
    // `err` until set.
    void setScriptErrorSink(Sink sink) { scriptErr_ = std::move(sink); }

    // Set from a signal handler: the run stops its cars and returns 128 + it.
    static std::atomic<int>& pendingSignal();
    // The time of the first step on the clock, once the vehicles are ready.
    double originMs() const { return origin_; }

    // How long after the last step frames may still wait in the radio.
    static constexpr double kDrainMs = 200;

private:
    void commandSent(const SentCommand& command) override;
    void valueNotified(std::uint32_t, const std::vector<std::uint8_t>&) override {}

    // The vehicles the script needs before its first step.
    struct Wanted {
        std::vector<std::uint32_t> identifiers;
        std::set<int> models;
        std::map<std::string, int> names;  // with the first line naming each
        bool all = false;
    };
    static Wanted wantedBy(const Script& script);
    std::vector<std::string> missing(const Wanted& wanted, double quietMs) const;
    // The vehicles in the list that advertise that name, ready or not.
    std::vector<std::shared_ptr<Vehicle>> named(const std::string& name) const;
    // " (heard: name:Pellan)" for an absent "name:pellan"; empty otherwise.
    std::string hintFor(const std::string& absent) const;
    // A name two cars share, told as a refusal of its line; empty when none is.
    std::string sharedName(const Wanted& wanted, const Script& script) const;
    // 0 to go on, else the code to end with (the cars already stopped).
    int waitUntil(double ms);
    int stopAndEnd(int code);
    std::vector<std::shared_ptr<Vehicle>> targetsOf(const Selector& selector, std::string& lost) const;
    void scriptError(const Script& script, int line, const std::string& reason) const;
    void execute(const Step& step, Vehicle& vehicle);

    void frameOutcome(const WrittenFrames::Frame& frame, bool replaced);
    // Whether the vehicle's radio reports what became of its frames.
    bool watching(std::uint32_t vehicle);

    VehiclesController& controller_;
    DriveClock& clock_;
    double connectTimeoutMs_;
    Sink out_, err_, scriptErr_;
    FrameFormat format_ = FrameFormat::Text;
    bool sayReplaced_ = false;
    WrittenFrames written_;
    std::map<std::uint32_t, std::weak_ptr<ble::Peripheral>> watched_;
    double origin_;
    // Each name's car, fixed before the first step.
    std::map<std::string, std::uint32_t> nameOwners_;
    std::set<std::string> heardNames_;  // advertised names the connect filter passed over
    std::set<std::uint32_t> involved_;
    std::set<std::uint32_t> driven_;
    std::map<std::uint32_t, double> lastSpeed_;
};

}  // namespace drive
