#include "ble/mqtt/BrokerUrl.h"

#include <charconv>

#include "ble/mqtt/Wire.h"

namespace ble::mqtt {
namespace {

BrokerUrl refused(std::string why) { return BrokerUrl{std::nullopt, std::move(why)}; }

bool hostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

}  // namespace

std::string BrokerAddress::describe() const {
    std::string text = (tls ? "mqtts://" : "mqtt://") + host + ":" + std::to_string(port);
    if (!relay.empty()) text += "/" + relay;
    return text;
}

BrokerUrl readBrokerUrl(std::string_view text, std::string_view passwordFallback) {
    BrokerAddress address;
    if (text.substr(0, 7) == "mqtt://") {
        text.remove_prefix(7);
    } else if (text.substr(0, 8) == "mqtts://") {
        text.remove_prefix(8);
        address.tls = true;
        address.port = 8883;
    } else {
        return refused("a broker is mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
    }
    // The credentials end at the last '@': a password may hold any
    // character, '/', '?', '#' and '@' included; host and name hold none.
    const std::size_t at = text.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view credentials = text.substr(0, at);
        const std::size_t colon = credentials.find(':');
        address.user = std::string(credentials.substr(0, colon));
        if (colon != std::string_view::npos) address.password = std::string(credentials.substr(colon + 1));
        if (address.user.empty()) return refused("the broker's address names an empty user");
        text = text.substr(at + 1);
    }
    const std::size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        const std::string_view relay = text.substr(slash + 1);
        if (!relay.empty() && !wire::isToken(relay)) return refused("a relay's name is letters, digits and _.:-");
        address.relay = std::string(relay);
        text = text.substr(0, slash);
    }
    if (!address.user.empty() && address.password.empty()) address.password = std::string(passwordFallback);
    const std::size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        const std::string_view port = text.substr(colon + 1);
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), address.port);
        if (port.empty() || error != std::errc() || end != port.data() + port.size() || address.port < 1 ||
            address.port > 65535) {
            return refused("the broker's port is 1 to 65535");
        }
        text = text.substr(0, colon);
    }
    if (text.empty() || text.size() > 253) return refused("the broker's address names no host");
    for (char c : text) {
        if (!hostChar(c)) return refused("the broker's host is a name or an IPv4 address");
    }
    address.host = std::string(text);
    return BrokerUrl{std::move(address), {}};
}

std::string withoutPassword(std::string_view text) {
    if (!readBrokerUrl(text).address) return {};
    const std::size_t scheme = text.find("://") + 3;
    const std::size_t at = text.rfind('@');
    if (at == std::string_view::npos) return std::string(text);
    const std::size_t colon = text.substr(0, at).find(':', scheme);
    if (colon == std::string_view::npos) return std::string(text);
    return std::string(text.substr(0, colon)) + std::string(text.substr(at));
}

}  // namespace ble::mqtt
