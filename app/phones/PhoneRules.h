// What phones may do to the cars, without sockets and without widgets: who
// drives which car, how many phones and messages are let in, and when a
// quiet phone's car must stop. The caller hands in the time of every event,
// so the rules run the same on a real clock and on a test's.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace phone {

using Millis = std::chrono::milliseconds;

constexpr std::size_t kMostPhones = 16;
constexpr std::size_t kMostMessagesPerSecond = 50;
// A moving car stops when its phone has been quiet this long.
constexpr Millis kQuietStop{1000};
// A phone that went away keeps its car this long, so its person can come back.
// While another phone asks for that car, the time away adds up: coming back
// for a moment does not start it again.
constexpr Millis kClaimKept{30000};

// At most `most` events in any second; the first one dropped in a burst is
// the one the phone is told about.
class RateGate {
public:
    enum class Verdict { Pass, Drop, DropAndTell };
    explicit RateGate(std::size_t most = kMostMessagesPerSecond) : passed_(most > 0 ? most : 1) {}
    Verdict admit(Millis now);

private:
    std::vector<Millis> passed_;  // a ring of the latest passes
    std::size_t next_ = 0;
    std::size_t count_ = 0;
    bool told_ = false;
};

// The phones let in and the cars they hold: one car per phone, one phone per
// car. Phones are known by the identity their page keeps, so a page that
// comes back finds its car.
class PhoneRules {
public:
    enum class Join { Welcome, WelcomeBack, Full };
    enum class Claim { Granted, Taken };

    // A phone authenticated. Full when kMostPhones others are present.
    Join join(const std::string& phone, const std::string& label, Millis now);
    // Its socket closed: its car is kept for kClaimKept. Returns the car,
    // which must stop at once. It asks for no car any more.
    std::optional<std::string> leave(const std::string& phone, Millis now);
    // Any message from the phone counts as a sign of life.
    void heard(const std::string& phone, Millis now);
    RateGate::Verdict admit(const std::string& phone, Millis now);

    // Takes the car for the phone, letting go of the one it held before.
    // A car whose phone is away is taken, but the phone's ask stands: the
    // car is its once that phone's time away has run out.
    Claim claim(const std::string& phone, const std::string& car);
    // The phone lets go of its car (or the person releases it for the phone).
    std::optional<std::string> release(const std::string& phone);
    // The car is no longer on offer: whoever held it holds nothing.
    void carGone(const std::string& car);

    struct Handover {
        std::string car;
        std::string phone;                  // the phone that asked, and has it now
        std::optional<std::string> letGo;   // the car it held before, if any
    };
    struct Due {
        std::vector<std::string> stop;  // cars whose present phone fell quiet
        std::vector<std::string> freed; // cars whose absent phone did not come back
        std::vector<Handover> handed;   // the same, gone to the phone that asked first
    };
    // What time has made due; each quiet spell stops its car once.
    Due tick(Millis now);

    std::optional<std::string> carOf(const std::string& phone) const;
    std::optional<std::string> phoneOf(const std::string& car) const;
    std::string labelOf(const std::string& phone) const;
    // The person named the phone anew; an unknown phone is ignored.
    void rename(const std::string& phone, const std::string& label);
    bool present(const std::string& phone) const;
    // The cars held, by present and absent phones.
    std::vector<std::string> carsHeld() const;
    // The phones present, in the order they came.
    std::vector<std::string> phonesPresent() const;
    // The phones away that still hold a car, in the order they came.
    std::vector<std::string> phonesAway() const;

private:
    struct Phone {
        std::string label;
        std::optional<std::string> car;
        bool present = false;
        bool stoppedForQuiet = false;
        Millis lastHeard{0};
        Millis leftAt{0};
        Millis awayBefore{0};  // time away counted before it last came back
        std::size_t order = 0;
        std::optional<std::string> asking;  // a car held by a phone away
        std::size_t askOrder = 0;
        RateGate rate;
    };
    Phone* find(const std::string& phone);
    const Phone* find(const std::string& phone) const;
    std::vector<std::string> phonesWhere(bool present) const;
    // The earliest phone present that asks for the car.
    Phone* firstAsking(const std::string& car);
    // The car has a new holder, or none: older asks for it lapse.
    void forgetAsksFor(const std::string& car);

    std::map<std::string, Phone> phones_;
    std::size_t joins_ = 0;
    std::size_t asks_ = 0;
};

}  // namespace phone
