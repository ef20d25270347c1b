#include "ble/mqtt/BrokerClient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <sys/ioctl.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "ble/mqtt/Wire.h"

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

// The libmosquitto session, shared with a dial in flight on its own thread:
// whoever lets go of it last destroys it, so a client destroyed while the
// system's resolver still mulls over the host name leaves nothing behind.
struct Session {
    mosquitto* handle = nullptr;
    std::mutex mutex;
    // The client's context object; cleared, under the mutex, when it goes.
    // Calls queued on it are dropped with it.
    QObject* owner = nullptr;
    std::function<void(int rc)> dialed;  // runs on the owner's thread
    ~Session() { mosquitto_destroy(handle); }
};

}  // namespace

struct BrokerClient::Driver {
    BrokerAddress address;
    Handlers handlers;
    std::shared_ptr<Session> shared = std::make_shared<Session>();
    mosquitto*& session = shared->handle;
    QObject context;
    std::unique_ptr<QSocketNotifier> reader, writer;
    QTimer tick, firstDeadline, retry;
    bool everConnected = false;
    bool up = false;
    bool stopped = false;
    bool dialing = false;  // the session belongs to the dialing thread meanwhile
    int backoffMs = kFirstBackoffMs;
    int inCallback = 0;  // libmosquitto holds its locks meanwhile: no writing from there
    std::map<int, std::function<void()>> acknowledged;  // subscriptions' message ids

    // Runs a handler from inside one of libmosquitto's callbacks.
    template <typename Handler>
    void insideCallback(Handler&& handler) {
        ++inCallback;
        handler();
        --inCallback;
    }

    // libmosquitto looks the host name up and opens the socket inside its
    // connect call, which blocks as long as the system's resolver takes (10 s
    // and more when no name server answers). That call runs on a thread of
    // its own; the loop only hears how it ended.
    void dialAway(bool first) {
        dialing = true;
        std::thread([shared = shared, first, host = address.host, port = address.port] {
            const int rc = first ? mosquitto_connect_async(shared->handle, host.c_str(), port, kKeepAliveSeconds)
                                 : mosquitto_reconnect_async(shared->handle);
            const std::lock_guard<std::mutex> lock(shared->mutex);
            if (!shared->owner) return;
            QMetaObject::invokeMethod(shared->owner, [dialed = shared->dialed, rc] { dialed(rc); }, Qt::QueuedConnection);
        }).detach();
    }

    void dialed(int rc) {
        dialing = false;
        if (stopped) return;
        if (rc == MOSQ_ERR_EAI) return dropped("cannot resolve " + address.host);
        if (rc != MOSQ_ERR_SUCCESS) {
            return dropped(rc == MOSQ_ERR_ERRNO ? "no broker answers at " + address.describe() : mosquitto_strerror(rc));
        }
        attachSocket();
    }

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
        if (stopped || dialing) return;
        dialAway(false);
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
        acknowledged.clear();
        everConnected = true;
        up = true;
        backoffMs = kFirstBackoffMs;
        if (handlers.connected) handlers.connected();
    }
};

BrokerClient::BrokerClient(BrokerAddress address, const std::string& clientIdPrefix, std::optional<Will> will,
                           Handlers handlers)
    : driver_(std::make_unique<Driver>()) {
    initLibraryOnce();
    Driver& d = *driver_;
    d.address = std::move(address);
    d.handlers = std::move(handlers);
    // A client id nobody can guess: a broker drops the older of two sessions
    // of one id, so a known id would let anyone throw this one off.
    d.session = mosquitto_new((clientIdPrefix + wire::randomHex(8)).c_str(), true, &d);
    d.shared->owner = &d.context;
    d.shared->dialed = [&d](int rc) { d.dialed(rc); };
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
        Driver& driver = *static_cast<Driver*>(self);
        driver.insideCallback([&] { driver.connack(reason); });
    });
    mosquitto_subscribe_v5_callback_set(d.session, [](mosquitto*, void* self, int mid, int, const int*, const mosquitto_property*) {
        Driver& driver = *static_cast<Driver*>(self);
        const auto found = driver.acknowledged.find(mid);
        if (found == driver.acknowledged.end()) return;
        auto then = std::move(found->second);
        driver.acknowledged.erase(found);
        driver.insideCallback(then);
    });
    mosquitto_message_v5_callback_set(d.session, [](mosquitto*, void* self, const mosquitto_message* message,
                                                     const mosquitto_property*) {
        Driver& driver = *static_cast<Driver*>(self);
        if (!driver.handlers.message || !message->topic || message->payloadlen < 0) return;
        driver.insideCallback([&] {
            driver.handlers.message(message->topic, std::string_view(static_cast<const char*>(message->payload),
                                                                     static_cast<std::size_t>(message->payloadlen)));
        });
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
        if (!d.handlers.refused) return;
        d.handlers.refused(d.dialing ? "cannot resolve " + d.address.host + ": no name server answered"
                                     : "no broker answers at " + d.address.describe());
    });
    d.retry.setSingleShot(true);
    QObject::connect(&d.retry, &QTimer::timeout, &d.context, [&d] { d.dial(); });
}

BrokerClient::~BrokerClient() {
    driver_->reader.reset();
    driver_->writer.reset();
    // A dial still in flight destroys the session when it ends.
    const std::lock_guard<std::mutex> lock(driver_->shared->mutex);
    driver_->shared->owner = nullptr;
}

void BrokerClient::start() {
    Driver& d = *driver_;
    d.firstDeadline.start(kFirstConnectMs);
    d.tick.start();
    d.dialAway(true);
}

bool BrokerClient::connected() const { return driver_->up; }

void BrokerClient::subscribe(const std::string& pattern, std::function<void()> acknowledged) {
    int mid = 0;
    if (mosquitto_subscribe_v5(driver_->session, &mid, pattern.c_str(), 0, 0, nullptr) == MOSQ_ERR_SUCCESS && acknowledged) {
        driver_->acknowledged[mid] = std::move(acknowledged);
    }
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
    if (d.up && !d.dialing) {
        mosquitto_disconnect_v5(d.session, 0, nullptr);
        // From inside one of its callbacks the goodbye leaves on the next turn.
        if (d.inCallback == 0) mosquitto_loop_write(d.session, 1);
        else QTimer::singleShot(0, &d.context, [&d] { mosquitto_loop_write(d.session, 1); });
    }
    d.up = false;
    d.reader.reset();
    d.writer.reset();
}

}  // namespace ble::mqtt
