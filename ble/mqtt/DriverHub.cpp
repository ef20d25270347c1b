#include "ble/mqtt/DriverHub.h"

#include <algorithm>
#include <utility>

#include "ble/mqtt/RemoteCentral.h"
#include "ble/mqtt/RemotePeripheral.h"

namespace ble::mqtt {
namespace {

constexpr std::chrono::milliseconds kBeat{250};
constexpr std::chrono::milliseconds kConnectTimeout{10000};
// Adverts naming ever new cars must not grow the table without end.
constexpr std::size_t kMostCars = 4096;

// A session of its own for each run: "d" and 16 random hex digits.
std::string newSession() {
    std::string session = "d";
    session += wire::randomHex(8);
    return session;
}

// What a relay's reason for letting a car go means to the person driving it.
const char* lostBecause(const std::string& reason) {
    if (reason == "silent") return "the relay stopped the car: it heard nothing from this driver for a second";
    if (reason == "gone") return "the relay stopped the car: the broker said this driver was gone";
    if (reason == "broker") return "the relay stopped the car: the relay lost the broker";
    if (reason == "relay") return "the relay stopped the car: the relay is stopping or was replaced";
    if (reason == "nostops") return "the relay refuses to drive a car before it holds the frames that stop it";
    return "the relay lost the car's link";
}

}  // namespace

DriverHub::DriverHub(EventLoop& loop, BrokerAddress address, DriverRules rules)
    : loop_(loop),
      address_(std::move(address)),
      rules_(std::move(rules)),
      driverId_(wire::driverId(address_.user, newSession())),
      badInput_(rules_.log) {}

DriverHub::~DriverHub() { *alive_ = false; }

void DriverHub::start(std::function<void(const std::string&)> done) {
    auto reported = std::make_shared<std::function<void(const std::string&)>>(std::move(done));
    BrokerClient::Handlers handlers;
    handlers.connected = [this, reported] {
        const std::string relays = address_.relay.empty() ? "+" : address_.relay;
        client_->subscribe(std::string(wire::kRoot) + relays + "/status");
        client_->subscribe(std::string(wire::kRoot) + relays + "/adv");
        client_->subscribe(wire::answerTopic(relays, driverId_));
        const bool again = !*reported;
        if (*reported) std::exchange(*reported, nullptr)("");
        powerChanged();
        // Said last, so that the window's status bar keeps it.
        if (again && rules_.log) rules_.log("Broker " + address_.describe() + " reached again");
    };
    handlers.refused = [reported](const std::string& why) {
        if (*reported) std::exchange(*reported, nullptr)(why);
    };
    handlers.lost = [this] {
        const std::string lost = wire::brokerLostEnd(address_.describe());
        for (auto& [key, car] : cars_) endLink(*car, lost.c_str());
        powerChanged();
        if (rules_.log) rules_.log("Broker " + address_.describe() + " lost, retrying\u2026");
    };
    handlers.message = [this](std::string_view topic, std::string_view payload) { received(topic, payload); };
    client_ = std::make_unique<BrokerClient>(address_, "driver-",
                                             BrokerClient::Will{wire::driverWillTopic(driverId_), "gone", false},
                                             std::move(handlers));
    client_->start();
    beat();
}

CentralFactory DriverHub::centralFactory() {
    std::weak_ptr<DriverHub> weak = weak_from_this();
    return [weak](std::weak_ptr<CentralDelegate> delegate) -> std::shared_ptr<Central> {
        auto central = std::make_shared<RemoteCentral>(weak, std::move(delegate));
        if (auto hub = weak.lock()) {
            hub->centrals_.push_back(central);
            // The platform reports its state after the central is made.
            std::weak_ptr<RemoteCentral> reported = central;
            hub->loop_.post([reported] {
                auto self = reported.lock();
                if (!self) return;
                if (auto delegate = self->delegate()) delegate->centralManagerDidUpdateState(*self);
            });
        }
        return central;
    };
}

std::vector<std::shared_ptr<RemoteCentral>> DriverHub::centrals() {
    std::vector<std::shared_ptr<RemoteCentral>> live;
    std::erase_if(centrals_, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : centrals_) {
        if (auto central = weak.lock()) live.push_back(central);
    }
    return live;
}

void DriverHub::forget(RemoteCentral* central) {
    // Its cars are let go: the relay keeps their links for the next driver.
    for (auto& [key, car] : cars_) {
        auto holder = car->holder.lock();
        if (car->link() != RemotePeripheral::Link::None && (!holder || holder.get() == central)) {
            send(car->relay(), wire::Request{wire::Request::Kind::Release, car->car(), {}, false, {}, {}});
            car->setLink(RemotePeripheral::Link::None);
            car->holder.reset();
        }
    }
}

void DriverHub::connect(const std::shared_ptr<RemotePeripheral>& car, const std::shared_ptr<RemoteCentral>& central) {
    if (car->link() != RemotePeripheral::Link::None) return;
    car->holder = central;
    car->setLink(RemotePeripheral::Link::Connecting);
    if (!up()) {
        loop_.post([weak = std::weak_ptr<RemotePeripheral>(car), this, alive = std::weak_ptr<bool>(alive_)] {
            if (auto self = weak.lock(); self && !alive.expired()) endLink(*self, "the broker is not there");
        });
        return;
    }
    send(car->relay(), wire::Request{wire::Request::Kind::Connect, car->car(), {}, false, {}, {}});
    loop_.postAfter(kConnectTimeout, [weak = std::weak_ptr<RemotePeripheral>(car), this, alive = std::weak_ptr<bool>(alive_)] {
        auto self = weak.lock();
        if (self && !alive.expired() && self->link() == RemotePeripheral::Link::Connecting) {
            endLink(*self, "the relay did not answer");
        }
    });
}

void DriverHub::send(const std::string& relay, const wire::Request& request, int expirySeconds) {
    if (client_) client_->publish(wire::requestTopic(relay, driverId_), wire::writeRequest(request), false, expirySeconds);
}

void DriverHub::endLink(RemotePeripheral& car, const char* why) {
    const auto was = car.link();
    if (was == RemotePeripheral::Link::None) return;
    car.setLink(RemotePeripheral::Link::None);
    auto central = car.holder.lock();
    car.holder.reset();
    auto delegate = central ? central->delegate() : nullptr;
    if (!delegate) return;
    const Error error(why);
    if (was == RemotePeripheral::Link::Connecting) delegate->didFailToConnectPeripheral(*central, car, &error);
    else delegate->didDisconnectPeripheral(*central, car, &error);
}

void DriverHub::received(std::string_view topicText, std::string_view payload) {
    const auto topic = wire::readTopic(topicText);
    const bool ours = topic && (address_.relay.empty() || topic->relay == address_.relay);
    if (ours && topic->kind == wire::TopicKind::Status) {
        if (const auto status = wire::readStatus(payload)) return status->online ? void() : relayGone(topic->relay);
    } else if (ours && topic->kind == wire::TopicKind::Advert) {
        if (const auto advert = wire::readAdvert(payload)) return advertised(topic->relay, *advert);
    } else if (ours && topic->kind == wire::TopicKind::Answer && topic->driver == driverId_) {
        if (const auto answer = wire::readAnswer(payload)) return answered(topic->relay, *answer);
    }
    badInput_.dropped(loop_.now(), "on " + wire::tokenFrom(topicText.substr(0, wire::kMaxTopic)));
}

void DriverHub::advertised(const std::string& relay, const wire::Advert& advert) {
    const auto key = std::make_pair(relay, advert.car);
    if (!cars_.count(key) && cars_.size() >= kMostCars) {
        return badInput_.dropped(loop_.now(), "advert of a car beyond " + std::to_string(kMostCars));
    }
    auto& car = cars_[key];
    if (!car) car = std::make_shared<RemotePeripheral>(weak_from_this(), relay, advert.car);
    if (!advert.data.localName.empty()) car->setName(advert.data.localName);
    for (const auto& central : centrals()) {
        auto delegate = central->delegate();
        if (delegate && central->wants(advert.data)) delegate->didDiscoverPeripheral(*central, car, advert.data, advert.rssi);
    }
}

void DriverHub::answered(const std::string& relay, const wire::Answer& answer) {
    const auto found = cars_.find({relay, answer.car});
    if (found == cars_.end()) return;
    RemotePeripheral& car = *found->second;
    using Kind = wire::Answer::Kind;
    if (answer.kind == Kind::Connected && car.link() == RemotePeripheral::Link::Connecting) {
        car.setLink(RemotePeripheral::Link::Up);
        auto central = car.holder.lock();
        auto delegate = central ? central->delegate() : nullptr;
        if (delegate) return delegate->didConnectPeripheral(*central, car);
        send(relay, wire::Request{wire::Request::Kind::Release, car.car(), {}, false, {}, {}});
        car.setLink(RemotePeripheral::Link::None);
    } else if (answer.kind == Kind::Failed) {
        endLink(car, answer.reason == "held" ? "another driver holds this car" : "the relay could not connect the car");
    } else if (answer.kind == Kind::Lost) {
        endLink(car, lostBecause(answer.reason));
    } else if (answer.kind == Kind::Written && answer.reason == "nostops") {
        // Nothing this driver writes will reach the car: say so as a lost link.
        send(relay, wire::Request{wire::Request::Kind::Release, car.car(), {}, false, {}, {}});
        endLink(car, lostBecause(answer.reason));
    } else if (car.link() == RemotePeripheral::Link::Up) {
        car.answered(answer);
    }
}

void DriverHub::relayGone(const std::string& relay) {
    for (auto& [key, car] : cars_) {
        if (key.first == relay) endLink(*car, "the relay went offline");
    }
}

void DriverHub::powerChanged() {
    for (const auto& central : centrals()) {
        if (auto delegate = central->delegate()) delegate->centralManagerDidUpdateState(*central);
    }
}

void DriverHub::beat() {
    // While it holds cars, every relay of theirs hears from this driver.
    std::vector<std::string> relays;
    for (const auto& [key, car] : cars_) {
        if (car->link() != RemotePeripheral::Link::None && std::find(relays.begin(), relays.end(), key.first) == relays.end()) {
            relays.push_back(key.first);
        }
    }
    for (const std::string& relay : relays) send(relay, wire::Request{});
    loop_.postAfter(kBeat, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->beat();
    });
}

}  // namespace ble::mqtt
