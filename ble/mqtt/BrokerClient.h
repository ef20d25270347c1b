// One session with an MQTT broker (MQTT 5, libmosquitto), driven from Qt's
// event loop: socket notifiers wake it when the broker has something or the
// socket can take more, and a timer keeps the session alive. Only the
// blocking dial (the name lookup) runs on a short-lived thread; every
// handler runs on the loop's thread. Sessions are clean and
// nothing is queued while the broker is away, so nothing is replayed late.
// The header is plain C++.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ble/mqtt/BrokerUrl.h"

namespace ble::mqtt {

class BrokerClient {
public:
    struct Will {
        std::string topic;
        std::string payload;
        bool retain = false;
    };
    struct Handlers {
        // Every time a session stands, the first one and each after a loss:
        // subscriptions are made here (a clean session has none).
        std::function<void()> connected;
        // The first session could not be made (no broker there, the login
        // refused); the client then stays down. Later losses are not refusals.
        std::function<void(const std::string& why)> refused;
        // A standing session was lost; the client tries again with back-off.
        std::function<void()> lost;
        std::function<void(std::string_view topic, std::string_view payload)> message;
    };

    // The client id is the prefix and random digits, new for each client.
    BrokerClient(BrokerAddress address, const std::string& clientIdPrefix, std::optional<Will> will, Handlers handlers);
    ~BrokerClient();
    BrokerClient(const BrokerClient&) = delete;
    BrokerClient& operator=(const BrokerClient&) = delete;

    void start();
    bool connected() const;
    // `acknowledged` runs once the broker has taken the subscription: by
    // then it has sent every retained message of the subscriptions made before.
    void subscribe(const std::string& pattern, std::function<void()> acknowledged = {});
    // QoS 0. A message with an expiry is dropped by the broker once that
    // many seconds old. Nothing is kept when there is no session.
    void publish(const std::string& topic, const std::string& payload, bool retain = false, int expirySeconds = 0);
    // Ends the session cleanly (no last will) after handing over what waits.
    void stop();

private:
    struct Driver;
    std::unique_ptr<Driver> driver_;
};

}  // namespace ble::mqtt
