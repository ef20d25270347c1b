#include "ble/mqtt/Relay.h"

#include <algorithm>
#include <utility>

namespace ble::mqtt {
namespace {

using namespace std::chrono_literals;
constexpr auto kSilenceLimit = 1000ms;
constexpr auto kWatchEvery = 100ms;
constexpr auto kAdvertChangedEvery = 250ms;
constexpr auto kAdvertSameEvery = 1000ms;

std::vector<Uuid> uuidsOf(const std::vector<std::shared_ptr<Service>>& services) {
    std::vector<Uuid> uuids;
    for (const auto& service : services) uuids.push_back(service->uuid());
    return uuids;
}

}  // namespace

Relay::Relay(EventLoop& loop, CentralFactory radio, RelayOptions options)
    : loop_(loop), radio_(std::move(radio)), options_(std::move(options)), badInput_(options_.log) {}

Relay::~Relay() = default;

void Relay::start(std::function<void(const std::string&)> done) {
    started_ = std::move(done);
    instance_ = wire::randomHex(8);
    BrokerClient::Handlers handlers;
    handlers.connected = [this] { connected(); };
    handlers.refused = [this](const std::string& why) {
        if (started_) std::exchange(started_, nullptr)(why);
    };
    handlers.lost = [this] {
        if (options_.log) options_.log("broker: lost " + options_.address.describe() + ", trying again");
        settled_ = false;
        for (const auto& driver : std::vector<std::string>(heardDrivers())) driverGone(driver, "broker lost", "broker");
    };
    handlers.message = [this](std::string_view topic, std::string_view payload) { received(topic, payload); };
    client_ = std::make_unique<BrokerClient>(options_.address, "relay-" + options_.name + "-",
                                             BrokerClient::Will{wire::statusTopic(options_.name), "offline", true},
                                             std::move(handlers));
    client_->start();
    central_ = radio_(weak_from_this());
    watch();
}

void Relay::connected() {
    otherOnline_ = false;
    client_->subscribe(wire::statusTopic(options_.name));
    client_->subscribe(wire::requestTopic(options_.name, "+/+"));
    client_->subscribe(wire::driverWillTopic("+/+"), [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->settle();
    });
}

void Relay::settle() {
    if (stopped_) return;
    if (otherOnline_ && !everSettled_ && !options_.takeOver) {
        const std::string why = "a relay named " + options_.name + " is already online on " +
                                options_.address.describe() + " (stop it, or start this one with --take-over)";
        stopped_ = true;
        client_->stop();
        if (started_) std::exchange(started_, nullptr)(why);
        return;
    }
    if (otherOnline_ && everSettled_) return takenOver();
    if (otherOnline_ && options_.log) options_.log("taking over from the relay named " + options_.name + " online before");
    client_->publish(wire::statusTopic(options_.name), wire::writeStatus({true, instance_}), true);
    settled_ = true;
    for (const auto& [driver, car] : std::exchange(owedLost_, {})) {
        answer(driver, wire::Answer{wire::Answer::Kind::Lost, car, {}, {}, "broker", false, {}});
    }
    if (std::exchange(everSettled_, true)) {
        if (options_.log) options_.log("broker: back on " + options_.address.describe());
    } else if (started_) {
        std::exchange(started_, nullptr)("");
    }
}

void Relay::takenOver() {
    // Another relay of this name runs now: this one leaves without a word
    // on the status, which is the other's.
    for (const auto& driver : heardDrivers()) driverGone(driver, "another relay took over", "relay");
    stopped_ = true;
    client_->stop();
    if (options_.ended) options_.ended("another relay named " + options_.name + " took over on " + options_.address.describe());
}

std::vector<std::string> Relay::heardDrivers() const {
    std::vector<std::string> drivers;
    for (const auto& [key, car] : cars_) {
        if (!car.holder.empty() && std::find(drivers.begin(), drivers.end(), car.holder) == drivers.end()) {
            drivers.push_back(car.holder);
        }
    }
    return drivers;
}

void Relay::stop() {
    if (stopped_) return;
    for (const auto& driver : heardDrivers()) driverGone(driver, "relay stopping", "relay");
    if (client_) {
        client_->publish(wire::statusTopic(options_.name), wire::writeStatus({false, {}}), true);
        client_->stop();
    }
    stopped_ = true;
}

void Relay::received(std::string_view topicText, std::string_view payload) {
    const auto topic = wire::readTopic(topicText);
    if (topic && topic->kind == wire::TopicKind::Status && topic->relay == options_.name) {
        const auto status = wire::readStatus(payload);
        if (status && status->online && status->instance != instance_) {
            otherOnline_ = true;
            if (settled_) takenOver();
        } else if (status && !status->online && settled_) {
            // The late will of a relay this one took over from.
            client_->publish(wire::statusTopic(options_.name), wire::writeStatus({true, instance_}), true);
        }
        if (status) return;
    } else if (topic && topic->kind == wire::TopicKind::DriverWill) {
        if (payload == "gone") return driverGone(topic->driver, "driver gone", "gone");
    } else if (!settled_) {
        return;  // requests wait until the name is this relay's
    } else if (topic && topic->kind == wire::TopicKind::Request && topic->relay == options_.name) {
        if (const auto request = wire::readRequest(payload)) return requested(topic->driver, *request);
    }
    badInput_.dropped(loop_.now(), "on " + wire::tokenFrom(topicText.substr(0, wire::kMaxTopic)));
}

void Relay::requested(const std::string& driver, const wire::Request& request) {
    using Kind = wire::Request::Kind;
    if (heard_.count(driver) || request.kind == Kind::Connect) heard_[driver] = loop_.now();
    if (request.kind == Kind::Beat) return;
    const auto found = cars_.find(request.car);
    if (found == cars_.end()) {
        if (request.kind == Kind::Connect) answer(driver, wire::Answer{wire::Answer::Kind::Failed, request.car, {}, {}, "unknown", false, {}});
        return;
    }
    const std::string& key = found->first;
    Car& car = found->second;
    if (request.kind == Kind::Connect) {
        if (!car.holder.empty() && car.holder != driver) {
            answer(driver, wire::Answer{wire::Answer::Kind::Failed, key, {}, {}, "held", false, {}});
            return;
        }
        car.holder = driver;
        if (car.up) return answer(driver, wire::Answer{wire::Answer::Kind::Connected, key, {}, {}, {}, false, {}});
        if (!car.connecting && central_) {
            car.connecting = true;
            central_->connectPeripheral(car.peripheral);
        }
        return;
    }
    if (car.holder != driver) return;  // only the holder drives a car
    if (request.kind == Kind::Release) return letGo(key, car, std::nullopt);
    if (!car.up) return;
    switch (request.kind) {
    case Kind::Services: car.peripheral->discoverServices({}); break;
    case Kind::Characteristics:
        for (const auto& service : car.peripheral->services()) {
            if (service->uuid() == request.uuid) car.peripheral->discoverCharacteristicsForService({}, service);
        }
        break;
    case Kind::Notify:
        if (auto target = characteristic(car, request.uuid)) car.peripheral->setNotifyValueForCharacteristic(request.flag, target);
        break;
    case Kind::Stops:
        car.stopsThrough = request.uuid;
        car.stops = request.frames;
        break;
    case Kind::Write:
        // A car that the relay could not stop when its driver vanishes is
        // not driven: the driver's library hands the stop frames over first.
        if (car.stops.empty()) {
            answer(driver, wire::Answer{wire::Answer::Kind::Written, key, request.uuid, {}, "nostops", false, {}});
            break;
        }
        write(key, car, PendingWrite{request.uuid, request.slot, request.flag, request.frames.front()});
        break;
    default: break;
    }
}

void Relay::write(const std::string& key, Car& car, PendingWrite pending) {
    // Frames that arrive together (a burst after a stall) wait for one turn
    // of the loop; the newest of a slot takes the older one's place.
    if (!pending.slot.empty()) {
        for (PendingWrite& waiting : car.pending) {
            if (waiting.slot == pending.slot && waiting.characteristic == pending.characteristic) {
                waiting = std::move(pending);
                return;
            }
        }
    }
    const bool wasEmpty = car.pending.empty();
    car.pending.push_back(std::move(pending));
    if (!wasEmpty) return;
    loop_.post([weak = weak_from_this(), key] {
        if (auto self = weak.lock()) self->drain(key);
    });
}

void Relay::drain(const std::string& key) {
    const auto found = cars_.find(key);
    if (found == cars_.end()) return;
    Car& car = found->second;
    std::deque<PendingWrite> pending;
    pending.swap(car.pending);
    for (PendingWrite& write : pending) {
        auto target = characteristic(car, write.characteristic);
        if (!target || !car.up) continue;
        car.peripheral->writeValueForCharacteristic(write.frame, target,
                                                   write.withResponse ? WriteType::WithResponse : WriteType::WithoutResponse);
        if (options_.wrote) options_.wrote(key, write.frame, {});
    }
}

void Relay::answer(const std::string& driver, const wire::Answer& answer) {
    if (client_) client_->publish(wire::answerTopic(options_.name, driver), wire::writeAnswer(answer));
}

void Relay::driverGone(const std::string& driver, const std::string& why, const std::string& reason) {
    heard_.erase(driver);
    for (auto& [key, car] : cars_) {
        if (car.holder != driver) continue;
        stopCar(key, car, why);
        if (!client_ || !client_->connected()) owedLost_.emplace_back(driver, key);
        letGo(key, car, reason);
    }
}

void Relay::stopCar(const std::string& key, Car& car, const std::string& why) {
    car.pending.clear();
    auto target = car.up ? characteristic(car, car.stopsThrough) : nullptr;
    if (!target) return;
    for (const auto& frame : car.stops) {
        car.peripheral->writeValueForCharacteristic(frame, target, WriteType::WithoutResponse);
        if (options_.wrote) options_.wrote(key, frame, why);
    }
}

void Relay::letGo(const std::string& key, Car& car, const std::optional<std::string>& lost) {
    if (lost && !car.holder.empty()) answer(car.holder, wire::Answer{wire::Answer::Kind::Lost, key, {}, {}, *lost, false, {}});
    car.holder.clear();
    car.pending.clear();
    car.stops.clear();
    std::erase_if(heard_, [this](const auto& entry) {
        return std::none_of(cars_.begin(), cars_.end(), [&entry](const auto& held) { return held.second.holder == entry.first; });
    });
}

void Relay::watch() {
    const auto now = loop_.now();
    std::vector<std::string> silent;
    for (const auto& [driver, heard] : heard_) {
        if (now - heard > kSilenceLimit) silent.push_back(driver);
    }
    for (const auto& driver : silent) driverGone(driver, "driver silent", "silent");
    loop_.postAfter(kWatchEvery, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->watch();
    });
}

Relay::Car* Relay::carOf(const Peripheral& peripheral, std::string* key) {
    for (auto& [name, car] : cars_) {
        if (car.peripheral.get() == &peripheral) {
            if (key) *key = name;
            return &car;
        }
    }
    return nullptr;
}

std::shared_ptr<Characteristic> Relay::characteristic(Car& car, const Uuid& uuid) {
    for (const auto& service : car.peripheral->services()) {
        for (const auto& characteristic : service->characteristics()) {
            if (characteristic->uuid() == uuid) return characteristic;
        }
    }
    return nullptr;
}

void Relay::centralManagerDidUpdateState(Central& central) {
    if (central.state() == CentralState::PoweredOn) central.scanForPeripheralsWithServices({});
}

void Relay::didConnectPeripheral(Central&, Peripheral& peripheral) {
    std::string key;
    Car* car = carOf(peripheral, &key);
    if (!car) return;
    car->connecting = false;
    car->up = true;
    peripheral.setDelegate(std::static_pointer_cast<PeripheralDelegate>(shared_from_this()));
    if (!car->holder.empty()) answer(car->holder, wire::Answer{wire::Answer::Kind::Connected, key, {}, {}, {}, false, {}});
}

void Relay::didDisconnectPeripheral(Central&, Peripheral& peripheral, const Error*) {
    std::string key;
    Car* car = carOf(peripheral, &key);
    if (!car) return;
    car->up = false;
    car->connecting = false;
    letGo(key, *car, std::string());  // its link ended: "lost" without a reason
}

void Relay::didFailToConnectPeripheral(Central&, Peripheral& peripheral, const Error*) {
    std::string key;
    Car* car = carOf(peripheral, &key);
    if (!car) return;
    car->connecting = false;
    if (!car->holder.empty()) answer(car->holder, wire::Answer{wire::Answer::Kind::Failed, key, {}, {}, "link", false, {}});
    letGo(key, *car, std::nullopt);
}

void Relay::didDiscoverPeripheral(Central&, const std::shared_ptr<Peripheral>& peripheral,
                                  const AdvertisementData& advertisement, int rssi) {
    if (!peripheral) return;
    std::string key;
    Car* car = carOf(*peripheral, &key);
    if (!car) {
        key = wire::tokenFrom(peripheral->identifier());
        while (cars_.count(key)) key = wire::tokenFrom(key.substr(0, wire::kMaxToken - 2) + "-2");
        car = &cars_[key];
        car->peripheral = peripheral;
    }
    AdvertisementData data = advertisement;
    if (data.manufacturerData && data.manufacturerData->size() > 255) data.manufacturerData.reset();
    if (data.localName.size() > 64) data.localName.resize(64);
    for (char& c : data.localName) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    if (data.serviceUuids.size() > wire::kMaxUuids) data.serviceUuids.resize(wire::kMaxUuids);
    const std::string payload = wire::writeAdvert(wire::Advert{key, std::clamp(rssi, -127, 127), std::move(data)});
    const auto now = loop_.now();
    const auto since = now - car->lastAdvertAt;
    if (since < kAdvertChangedEvery || (payload == car->lastAdvert && since < kAdvertSameEvery)) return;
    car->lastAdvert = payload;
    car->lastAdvertAt = now;
    if (client_) client_->publish(wire::advertTopic(options_.name), payload);
}

void Relay::didDiscoverServices(Peripheral& peripheral, const Error*) {
    std::string key;
    Car* car = carOf(peripheral, &key);
    if (!car || car->holder.empty()) return;
    answer(car->holder, wire::Answer{wire::Answer::Kind::Services, key, {}, uuidsOf(peripheral.services()), {}, false, {}});
}

void Relay::didDiscoverCharacteristicsForService(Peripheral& peripheral, Service& service, const Error*) {
    std::string key;
    Car* car = carOf(peripheral, &key);
    if (!car || car->holder.empty()) return;
    std::vector<Uuid> uuids;
    for (const auto& characteristic : service.characteristics()) uuids.push_back(characteristic->uuid());
    if (uuids.size() > wire::kMaxUuids) uuids.resize(wire::kMaxUuids);
    answer(car->holder, wire::Answer{wire::Answer::Kind::Characteristics, key, service.uuid(), uuids, {}, false, {}});
}

void Relay::didUpdateValueForCharacteristic(Peripheral& peripheral, Characteristic& characteristic, const Error* error) {
    std::string key;
    Car* car = carOf(peripheral, &key);
    if (!car || car->holder.empty() || error || characteristic.value().size() > wire::kMaxFrame) return;
    answer(car->holder, wire::Answer{wire::Answer::Kind::Value, key, characteristic.uuid(), {}, {}, false, characteristic.value()});
}

void Relay::didWriteValueForCharacteristic(Peripheral& peripheral, Characteristic& characteristic, const Error* error) {
    std::string key;
    Car* car = carOf(peripheral, &key);
    if (!car || car->holder.empty()) return;
    answer(car->holder, wire::Answer{wire::Answer::Kind::Written, key, characteristic.uuid(), {}, error ? "failed" : "", false, {}});
}

void Relay::didUpdateNotificationStateForCharacteristic(Peripheral& peripheral, Characteristic& characteristic,
                                                        const Error* error) {
    std::string key;
    Car* car = carOf(peripheral, &key);
    if (!car || car->holder.empty()) return;
    answer(car->holder, wire::Answer{wire::Answer::Kind::Notifying, key, characteristic.uuid(), {}, error ? "failed" : "", !error, {}});
}

}  // namespace ble::mqtt
