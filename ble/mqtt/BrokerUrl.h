// Where a broker is and how to log in, read from
// mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT][/NAME]. Only describe() is ever
// shown or logged: it leaves the credentials out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ble::mqtt {

struct BrokerAddress {
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string caFile;  // TLS: the CA certificates to trust; empty: the system's
    std::string user;
    std::string password;
    std::string relay;  // the /NAME part: one relay only; empty: every relay

    // "mqtt://host:port/name", without user or password.
    std::string describe() const;
};

struct BrokerUrl {
    std::optional<BrokerAddress> address;
    std::string problem;  // why the text is no broker address
};

// A password left out of the text is taken from `passwordFallback` (the
// ZELTO_BROKER_PASSWORD environment variable, so it stays off command lines).
BrokerUrl readBrokerUrl(std::string_view text, std::string_view passwordFallback = {});

// The address as written, with ":PASSWORD" cut out exactly where
// readBrokerUrl finds it; empty for text that does not read.
std::string withoutPassword(std::string_view text);

}  // namespace ble::mqtt
