// The relay protocol's topics and payloads (docs/mqtt.md), read and written
// without trusting anything that comes from the broker: every payload is one
// short line of space-separated fields, each field checked for its form and
// length; anything else is refused whole. Plain C++, no broker, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ble/Bluetooth.h"

namespace ble::mqtt::wire {

// No payload, topic or frame beyond these is read.
inline constexpr std::size_t kMaxPayload = 1024;
inline constexpr std::size_t kMaxTopic = 160;
inline constexpr std::size_t kMaxFrame = 64;        // bytes of one GATT value
inline constexpr std::size_t kMaxStopFrames = 4;
inline constexpr std::size_t kMaxUuids = 16;
inline constexpr std::size_t kMaxToken = 64;         // relay, driver, car and slot names

inline constexpr std::string_view kRoot = "zelto/v1/";
inline constexpr std::string_view kDrivers = "drivers";  // zelto/v1/drivers/<driver>: a driver's last will
// The login level of a driver that logged in without a user name.
inline constexpr std::string_view kNoLogin = "-";

// A name that may stand in a topic or a field: 1 to 64 of [A-Za-z0-9_.:-].
bool isToken(std::string_view text);
// `text` made into a token (other characters become '-', cut to length);
// "relay" for nothing usable.
std::string tokenFrom(std::string_view text);

std::string hexOf(const std::vector<uint8_t>& bytes);  // "0624F401", no spaces
// That many bytes from the system's random source, in hex.
std::string randomHex(std::size_t bytes);
std::optional<std::vector<uint8_t>> bytesOfHex(std::string_view hex, std::size_t maxBytes);

// How a car's link ends when its driver loses the broker, in the radio's
// words ("the broker at mqtt://HOST/NAME was lost"), and whether an end is that.
std::string brokerLostEnd(std::string_view broker);
bool isBrokerLostEnd(std::string_view end);

// Topics.
std::string statusTopic(std::string_view relay);           // retained "online" / will "offline"
std::string advertTopic(std::string_view relay);
std::string requestTopic(std::string_view relay, std::string_view driver);  // driver to relay
std::string answerTopic(std::string_view relay, std::string_view driver);   // relay to driver
std::string driverWillTopic(std::string_view driver);
// A driver is named by two levels, "LOGIN/SESSION": the broker's ACL can tie
// the first to the login that writes it, and the session tells one run from
// another. A login that is no token stands as kNoLogin.
std::string driverId(std::string_view login, std::string_view session);

enum class TopicKind { Status, Advert, Request, Answer, DriverWill };
struct Topic {
    TopicKind kind;
    std::string relay;   // empty for DriverWill
    std::string driver;  // "LOGIN/SESSION"; empty for Status and Advert
};
std::optional<Topic> readTopic(std::string_view topic);

// A relay's retained status: "online INSTANCE" while it runs (each run its
// own instance, so that a relay tells its own word from another's), its
// will "offline". A bare "online" is read too.
struct Status {
    bool online = false;
    std::string instance;
};
std::string writeStatus(const Status& status);
std::optional<Status> readStatus(std::string_view payload);

// What a relay tells of one advertisement.
struct Advert {
    std::string car;
    int rssi = 0;
    AdvertisementData data;
};
std::string writeAdvert(const Advert& advert);
std::optional<Advert> readAdvert(std::string_view payload);

// Driver to relay.
struct Request {
    enum class Kind { Connect, Release, Services, Characteristics, Notify, Stops, Write, Beat };
    Kind kind = Kind::Beat;
    std::string car;
    Uuid uuid;                              // the service, or the characteristic
    bool flag = false;                      // Notify: on; Write: with response
    std::string slot;                       // Write: empty for none
    std::vector<std::vector<uint8_t>> frames;  // Write: one; Stops: one to four
};
std::string writeRequest(const Request& request);
std::optional<Request> readRequest(std::string_view payload);

// Relay to driver.
struct Answer {
    enum class Kind { Connected, Failed, Lost, Services, Characteristics, Notifying, Written, Value };
    Kind kind = Kind::Lost;
    std::string car;
    Uuid uuid;                 // the service, or the characteristic
    std::vector<Uuid> uuids;   // Services, Characteristics
    // Failed: held, unknown or link; Lost: why the relay let the car go
    // (empty: its link ended); Notifying, Written: empty when done, else
    // failed, or nostops for a write before the car's stop frames.
    std::string reason;
    bool flag = false;         // Notifying: on
    std::vector<uint8_t> value;
};
std::string writeAnswer(const Answer& answer);
std::optional<Answer> readAnswer(std::string_view payload);

}  // namespace ble::mqtt::wire
