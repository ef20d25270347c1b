#include "ble/mqtt/BrokerClient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <sys/ioctl.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace ble::mqtt {
namespace {

constexpr int kKeepAliveSeconds = 5;
constexpr int kFirstConnectMs = 5000;
constexpr int kTickMs = 100;
constexpr int kFirstBackoffMs = 250;
constexpr int kLongestBackoffMs = 4000;
constexpr int kPacketsPerTurn = 256;

void initLibraryOnce() {
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    (void)done;
}

}  // namespace

struct BrokerClient::Driver {
    BrokerAddress address;
    Handlers handlers;
    mosquitto* session = nullptr;
    QObject context;
    std::unique_ptr<QSocketNotifier> reader, writer;
    QTimer tick, firstDeadline, retry;
    bool everConnected = false;
    bool up = false;
    bool stopped = false;
    int backoffMs = kFirstBackoffMs;

    void attachSocket() {
        reader.reset();
        writer.reset();
        const int fd = mosquitto_socket(session);
        if (fd < 0) return;
        reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        QObject::connect(reader.get(), &QSocketNotifier::activated, &context, [this] { readAll(); });
        QObject::connect(writer.get(), &QSocketNotifier::activated, &context, [this] { pump(mosquitto_loop_write(session, 1)); });
        wantWrite();
    }

    void wantWrite() {
        if (writer) writer->setEnabled(mosquitto_want_write(session));
    }

    // libmosquitto reads one packet a call: a burst is read in one turn of
    // the loop rather than one packet a turn.
    void readAll() {
        for (int packet = 0; packet < kPacketsPerTurn; ++packet) {
            const int rc = mosquitto_loop_read(session, 1);
            const int fd = mosquitto_socket(session);
            int waiting = 0;
            if (rc != MOSQ_ERR_SUCCESS || fd < 0 || ::ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0) return pump(rc);
        }
        pump(MOSQ_ERR_SUCCESS);
    }

    // After every read, write or tick: a failure means the session is gone.
    void pump(int rc) {
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(session) < 0) {
            return dropped(everConnected ? "the connection was lost" : "no broker answers at " + address.describe());
        }
        wantWrite();
    }

    void dial() {
        if (stopped) return;
        const int rc = mosquitto_reconnect_async(session);
        if (rc != MOSQ_ERR_SUCCESS) return dropped(rc == MOSQ_ERR_ERRNO ? "the broker cannot be reached" : mosquitto_strerror(rc));
        attachSocket();
    }

    void dropped(const std::string& why) {
        reader.reset();
        writer.reset();
        const bool wasUp = up;
        up = false;
        if (stopped) return;
        if (!everConnected) {
            // The first session: a clear refusal rather than endless tries.
            if (firstDeadline.isActive()) {
                firstDeadline.stop();
                stopped = true;
                if (handlers.refused) handlers.refused(why);
            }
            return;
        }
        retry.start(backoffMs);
        backoffMs = std::min(backoffMs * 2, kLongestBackoffMs);
        if (wasUp && handlers.lost) handlers.lost();
    }

    void connack(int reason) {
        if (reason != 0) {
            const std::string why = reason == MQTT_RC_BAD_USERNAME_OR_PASSWORD || reason == MQTT_RC_NOT_AUTHORIZED
                                        ? "the broker refused the user name or password"
                                        : std::string("the broker refused the session: ") + mosquitto_reason_string(reason);
            return dropped(why);
        }
        firstDeadline.stop();
        everConnected = true;
        up = true;
        backoffMs = kFirstBackoffMs;
        if (handlers.connected) handlers.connected();
    }
};

BrokerClient::BrokerClient(BrokerAddress address, std::string clientId, std::optional<Will> will, Handlers handlers)
    : driver_(std::make_unique<Driver>()) {
    initLibraryOnce();
    Driver& d = *driver_;
    d.address = std::move(address);
    d.handlers = std::move(handlers);
    d.session = mosquitto_new(clientId.c_str(), true, &d);
    mosquitto_int_option(d.session, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // Small frames that must leave at once: no waiting to fill a segment.
    mosquitto_int_option(d.session, MOSQ_OPT_TCP_NODELAY, 1);
    if (!d.address.user.empty()) {
        mosquitto_username_pw_set(d.session, d.address.user.c_str(),
                                  d.address.password.empty() ? nullptr : d.address.password.c_str());
    }
    if (d.address.tls) {
        mosquitto_tls_set(d.session, d.address.caFile.empty() ? nullptr : d.address.caFile.c_str(),
                          d.address.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
    }
    if (will) {
        mosquitto_will_set_v5(d.session, will->topic.c_str(), static_cast<int>(will->payload.size()),
                              will->payload.data(), 0, will->retain, nullptr);
    }
    mosquitto_connect_v5_callback_set(d.session, [](mosquitto*, void* self, int reason, int, const mosquitto_property*) {
        static_cast<Driver*>(self)->connack(reason);
    });
    mosquitto_message_v5_callback_set(d.session, [](mosquitto*, void* self, const mosquitto_message* message,
                                                     const mosquitto_property*) {
        Driver& driver = *static_cast<Driver*>(self);
        if (!driver.handlers.message || !message->topic || message->payloadlen < 0) return;
        driver.handlers.message(message->topic,
                                std::string_view(static_cast<const char*>(message->payload),
                                                 static_cast<std::size_t>(message->payloadlen)));
    });
    d.tick.setInterval(kTickMs);
    QObject::connect(&d.tick, &QTimer::timeout, &d.context, [&d] {
        if (!d.reader) return;
        d.pump(mosquitto_loop_misc(d.session));
    });
    d.firstDeadline.setSingleShot(true);
    QObject::connect(&d.firstDeadline, &QTimer::timeout, &d.context, [&d] {
        d.stopped = true;
        d.reader.reset();
        d.writer.reset();
        if (d.handlers.refused) d.handlers.refused("no broker answers at " + d.address.describe());
    });
    d.retry.setSingleShot(true);
    QObject::connect(&d.retry, &QTimer::timeout, &d.context, [&d] { d.dial(); });
}

BrokerClient::~BrokerClient() {
    driver_->reader.reset();
    driver_->writer.reset();
    mosquitto_destroy(driver_->session);
}

void BrokerClient::start() {
    Driver& d = *driver_;
    d.firstDeadline.start(kFirstConnectMs);
    d.tick.start();
    const int rc = mosquitto_connect_async(d.session, d.address.host.c_str(), d.address.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        // Reported from the loop, never from inside start().
        const std::string why = rc == MOSQ_ERR_ERRNO ? "no broker answers at " + d.address.describe() : mosquitto_strerror(rc);
        QTimer::singleShot(0, &d.context, [&d, why] { d.dropped(why); });
        return;
    }
    d.attachSocket();
}

bool BrokerClient::connected() const { return driver_->up; }

void BrokerClient::subscribe(const std::string& pattern) {
    mosquitto_subscribe_v5(driver_->session, nullptr, pattern.c_str(), 0, 0, nullptr);
    driver_->wantWrite();
}

void BrokerClient::publish(const std::string& topic, const std::string& payload, bool retain, int expirySeconds) {
    if (!driver_->up) return;
    mosquitto_property* properties = nullptr;
    if (expirySeconds > 0) {
        mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, static_cast<uint32_t>(expirySeconds));
    }
    mosquitto_publish_v5(driver_->session, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 0,
                         retain, properties);
    mosquitto_property_free_all(&properties);
    driver_->wantWrite();
}

void BrokerClient::stop() {
    Driver& d = *driver_;
    d.stopped = true;
    d.retry.stop();
    d.firstDeadline.stop();
    if (d.up) {
        mosquitto_disconnect_v5(d.session, 0, nullptr);
        mosquitto_loop_write(d.session, 1);
    }
    d.up = false;
    d.reader.reset();
    d.writer.reset();
}

}  // namespace ble::mqtt
