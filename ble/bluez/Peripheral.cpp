#include "ble/bluez/Peripheral.h"

#include <unistd.h>

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QTimer>
#include <algorithm>

#include "ble/UuidFilter.h"
#include "ble/bluez/BluezNames.h"
#include "ble/bluez/Central.h"
#include "ble/bluez/DBusValues.h"
#include "ble/bluez/GattCharacteristic.h"
#include "ble/bluez/Radio.h"

namespace ble::bluez {
namespace {

const Error kNotConnected("The device is not connected.");

// BlueZ's error, as a readable text for the log.
std::string describe(const QDBusMessage& reply) {
    const QString message = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return (reply.errorName() + QStringLiteral(": ") + message).toStdString();
}

bool wanted(const std::vector<Uuid>& filter, const Uuid& uuid) { return filterPasses(filter, uuid); }

// The fd of an Acquire* answer (h, q), duplicated so that this side owns it;
// -1 when the answer carries none.
int acquiredFd(const QDBusMessage& reply) {
    const QVariant first = reply.arguments().value(0);
    if (first.userType() != qMetaTypeId<QDBusUnixFileDescriptor>()) return -1;
    const QDBusUnixFileDescriptor fd = first.value<QDBusUnixFileDescriptor>();
    if (!fd.isValid()) return -1;
    return ::dup(fd.fileDescriptor());
}

}  // namespace

Peripheral::Peripheral(std::shared_ptr<Radio> radio, QString path)
    : radio_(std::move(radio)), path_(std::move(path)), receiver_(std::make_unique<QObject>()) {
    attemptTimer_ = new QTimer(receiver_.get());
    attemptTimer_->setSingleShot(true);
    QObject::connect(attemptTimer_, &QTimer::timeout, receiver_.get(), [this] { attemptTimedOut(); });
}

Peripheral::~Peripheral() {
    // Nobody holds the device any more: its place in the queue goes, and its
    // sockets close. BlueZ keeps or ends the link as it sees fit.
    if (ticket_ != 0) radio_->connects().finish(ticket_);
}

std::string Peripheral::name() const {
    QString name = text(radio_->mirror().property(path_, names::kDevice, QStringLiteral("Name")));
    if (name.isEmpty()) name = text(radio_->mirror().property(path_, names::kDevice, QStringLiteral("Alias")));
    return name.toStdString();
}

std::string Peripheral::identifier() const {
    const QString address = text(radio_->mirror().property(path_, names::kDevice, QStringLiteral("Address")));
    return (address.isEmpty() ? path_ : address).toStdString();
}

std::vector<std::shared_ptr<Service>> Peripheral::services() const {
    return {services_.begin(), services_.end()};
}

std::size_t Peripheral::framesWaiting() const {
    std::size_t frames = 0;
    for (const auto& [path, characteristic] : characteristics_) {
        if (characteristic->pacer) frames += characteristic->pacer->waiting();
    }
    return frames;
}

void Peripheral::deliver(Event event) {
    radio_->loop().post([weak = weak_from_this(), event = std::move(event)] {
        const std::shared_ptr<Peripheral> self = weak.lock();
        if (!self) return;
        const std::shared_ptr<PeripheralDelegate> delegate = self->delegate();
        if (!delegate) return;
        event(*self, *delegate);
    });
}

// --- the link ---------------------------------------------------------------

bool Peripheral::resolved() const {
    const ObjectMirror& mirror = radio_->mirror();
    return boolean(mirror.property(path_, names::kDevice, QStringLiteral("Connected"))).value_or(false) &&
           boolean(mirror.property(path_, names::kDevice, QStringLiteral("ServicesResolved"))).value_or(false);
}

void Peripheral::connect() {
    if (link_ == Link::Connected) {
        radio_->postToCentral([weak = weak_from_this()](Central& central, CentralDelegate& delegate) {
            if (const auto self = weak.lock()) delegate.didConnectPeripheral(central, *self);
        });
        return;
    }
    if (link_ != Link::Idle) return;
    link_ = Link::Queued;
    const uint64_t attempt = ++attempt_;
    ticket_ = radio_->connects().enqueue([weak = weak_from_this(), attempt] {
        const auto self = weak.lock();
        if (self && self->attempt_ == attempt && self->link_ == Link::Queued) self->startAttempt();
    });
}

void Peripheral::startAttempt() {
    link_ = Link::Connecting;
    connectAnswered_ = false;
    attemptTimer_->start(radio_->options().connectTimeout);
    // A link left up (by an earlier run of the program, say) is taken as it is.
    if (resolved()) {
        connectAnswered_ = true;
        established();
        return;
    }
    const uint64_t attempt = attempt_;
    radio_->call(path_, names::kDevice, QStringLiteral("Connect"), {},
                 [weak = weak_from_this(), attempt](const QDBusMessage& reply) {
                     const auto self = weak.lock();
                     if (self && self->attempt_ == attempt && self->link_ == Link::Connecting) {
                         self->attemptAnswered(reply);
                     }
                 });
}

void Peripheral::attemptAnswered(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage) {
        failAttempt(describe(reply));
        return;
    }
    // BlueZ answers once the link is up; the GATT objects and ServicesResolved follow.
    connectAnswered_ = true;
    if (resolved()) established();
}

void Peripheral::attemptTimedOut() {
    if (link_ != Link::Connecting) return;
    // Called off, so that BlueZ does not finish it behind the program's back.
    radio_->call(path_, names::kDevice, QStringLiteral("Disconnect"), {}, {});
    failAttempt("The connection timed out.");
}

void Peripheral::linkPropertiesChanged() {
    const ObjectMirror& mirror = radio_->mirror();
    const bool linkUp = boolean(mirror.property(path_, names::kDevice, QStringLiteral("Connected"))).value_or(false);
    if (link_ == Link::Connecting) {
        if (resolved()) {
            established();
        } else if (!linkUp && connectAnswered_) {
            failAttempt("The link dropped while the services were being resolved.");
        }
    } else if (link_ == Link::Connected && !linkUp) {
        lose("The device disconnected.");
    }
}

void Peripheral::established() {
    attemptTimer_->stop();
    link_ = Link::Connected;
    if (ticket_ != 0) radio_->connects().finish(std::exchange(ticket_, 0));
    radio_->backoff().succeeded(identifier());
    radio_->postToCentral([weak = weak_from_this()](Central& central, CentralDelegate& delegate) {
        if (const auto self = weak.lock()) delegate.didConnectPeripheral(central, *self);
    });
}

void Peripheral::failAttempt(const std::string& reason) {
    radio_->backoff().failed(identifier(), radio_->loop().now());
    closeLink();
    radio_->postToCentral([weak = weak_from_this(), error = Error(reason)](Central& central,
                                                                           CentralDelegate& delegate) {
        if (const auto self = weak.lock()) delegate.didFailToConnectPeripheral(central, *self, &error);
    });
}

void Peripheral::lose(const std::string& reason) {
    closeLink();
    radio_->postToCentral([weak = weak_from_this(), error = Error(reason)](Central& central,
                                                                           CentralDelegate& delegate) {
        if (const auto self = weak.lock()) delegate.didDisconnectPeripheral(central, *self, &error);
    });
}

void Peripheral::endLink(const std::string& reason) {
    switch (link_) {
        case Link::Idle: return;
        case Link::Queued:
        case Link::Connecting: failAttempt(reason); return;
        case Link::Connected: lose(reason); return;
    }
}

void Peripheral::closeLink() {
    link_ = Link::Idle;
    ++attempt_;  // late answers to this link's calls find nothing to do
    attemptTimer_->stop();
    if (ticket_ != 0) radio_->connects().finish(std::exchange(ticket_, 0));
    for (const auto& [path, characteristic] : characteristics_) {
        if (characteristic->pacer) characteristic->pacer->clear();
        characteristic->writeSocket.reset();
        characteristic->notifySocket.reset();
        characteristic->notifySession = false;
        characteristic->acquiringWrite = false;
        characteristic->acquireWriteFailed = false;
    }
}

// --- services and characteristics ---------------------------------------------

void Peripheral::discoverServices(const std::vector<Uuid>& filter) {
    deliver([filter](Peripheral& self, PeripheralDelegate& delegate) {
        if (self.link_ != Link::Connected) {
            delegate.didDiscoverServices(self, &kNotConnected);
            return;
        }
        const ObjectMirror& mirror = self.radio_->mirror();
        std::vector<std::shared_ptr<GattService>> found;
        for (const QString& path : mirror.below(self.path_, names::kGattService)) {
            const Uuid uuid = Uuid::fromString(
                text(mirror.property(path, names::kGattService, QStringLiteral("UUID"))).toStdString());
            if (!wanted(filter, uuid)) continue;
            auto& held = self.serviceObjects_[path];
            if (!held || !(held->uuid() == uuid)) held = std::make_shared<GattService>(uuid, path);
            found.push_back(held);
        }
        self.services_ = std::move(found);
        delegate.didDiscoverServices(self, nullptr);
    });
}

void Peripheral::discoverCharacteristicsForService(const std::vector<Uuid>& filter,
                                                   const std::shared_ptr<Service>& service) {
    if (!service) return;
    deliver([filter, service](Peripheral& self, PeripheralDelegate& delegate) {
        const auto gatt = std::dynamic_pointer_cast<GattService>(service);
        if (self.link_ != Link::Connected || !gatt) {
            delegate.didDiscoverCharacteristicsForService(self, *service, &kNotConnected);
            return;
        }
        const ObjectMirror& mirror = self.radio_->mirror();
        std::vector<std::shared_ptr<ble::Characteristic>> found;
        for (const QString& path : mirror.below(gatt->path(), names::kGattCharacteristic)) {
            const QVariantMap* properties = mirror.properties(path, names::kGattCharacteristic);
            const Uuid uuid = Uuid::fromString(text(properties->value(QStringLiteral("UUID"))).toStdString());
            if (!wanted(filter, uuid)) continue;
            auto& held = self.characteristics_[path];
            if (!held || !(held->uuid() == uuid)) held = std::make_shared<GattCharacteristic>(uuid, path);
            held->flags = strings(properties->value(QStringLiteral("Flags")));
            held->canAcquireWrite = held->flags.contains(QStringLiteral("write-without-response")) &&
                                    properties->contains(QStringLiteral("WriteAcquired"));
            held->canAcquireNotify = held->flags.contains(QStringLiteral("notify")) &&
                                     properties->contains(QStringLiteral("NotifyAcquired"));
            found.push_back(held);
        }
        service->setCharacteristics(std::move(found));
        delegate.didDiscoverCharacteristicsForService(self, *service, nullptr);
    });
}

std::shared_ptr<GattCharacteristic> Peripheral::ours(
    const std::shared_ptr<ble::Characteristic>& characteristic) const {
    const auto gatt = std::dynamic_pointer_cast<GattCharacteristic>(characteristic);
    if (!gatt) return nullptr;
    const auto found = characteristics_.find(gatt->path());
    return found != characteristics_.end() && found->second == gatt ? gatt : nullptr;
}

// --- notifications ------------------------------------------------------------

void Peripheral::setNotifyValueForCharacteristic(
    bool enabled, const std::shared_ptr<ble::Characteristic>& characteristic) {
    if (!characteristic) return;
    const auto gatt = ours(characteristic);
    if (link_ != Link::Connected || !gatt) {
        deliver([characteristic](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didUpdateNotificationStateForCharacteristic(self, *characteristic, &kNotConnected);
        });
        return;
    }
    if (!enabled) {
        gatt->notifySocket.reset();
        if (std::exchange(gatt->notifySession, false)) {
            radio_->call(gatt->path(), names::kGattCharacteristic, QStringLiteral("StopNotify"), {}, {});
        }
        deliver([characteristic](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didUpdateNotificationStateForCharacteristic(self, *characteristic, nullptr);
        });
        return;
    }
    if (gatt->notifySocket || gatt->notifySession) {
        deliver([characteristic](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didUpdateNotificationStateForCharacteristic(self, *characteristic, nullptr);
        });
        return;
    }
    if (gatt->canAcquireNotify) {
        acquireNotify(gatt);
    } else {
        startNotify(gatt);
    }
}

void Peripheral::acquireNotify(const std::shared_ptr<GattCharacteristic>& characteristic) {
    const uint64_t attempt = attempt_;
    radio_->call(characteristic->path(), names::kGattCharacteristic, QStringLiteral("AcquireNotify"),
                 {QVariantMap()},
                 [weak = weak_from_this(), characteristic, attempt](const QDBusMessage& reply) {
                     const auto self = weak.lock();
                     if (!self || self->attempt_ != attempt || self->link_ != Link::Connected) return;
                     const int fd = reply.type() == QDBusMessage::ReplyMessage ? acquiredFd(reply) : -1;
                     if (fd < 0) {
                         // Offered but refused: the D-Bus way still works.
                         self->startNotify(characteristic);
                         return;
                     }
                     const std::weak_ptr<GattCharacteristic> weakCharacteristic = characteristic;
                     characteristic->notifySocket = std::make_unique<AcquiredSocket>(
                         fd,
                         [weak, weakCharacteristic](std::vector<uint8_t> value) {
                             const auto peripheral = weak.lock();
                             const auto target = weakCharacteristic.lock();
                             if (!peripheral || !target) return;
                             peripheral->deliver([target, value = std::move(value)](
                                                     Peripheral& p, PeripheralDelegate& delegate) {
                                 target->setValue(value);
                                 delegate.didUpdateValueForCharacteristic(p, *target, nullptr);
                             });
                         },
                         [weak, attempt] {
                             // Posted: the socket that calls this may not go from inside it.
                             if (const auto peripheral = weak.lock()) {
                                 peripheral->radio_->loop().post([weak, attempt] {
                                     const auto p = weak.lock();
                                     if (p && p->attempt_ == attempt && p->link_ == Link::Connected) {
                                         p->lose("The notification socket was closed by BlueZ.");
                                     }
                                 });
                             }
                         });
                     self->deliver([characteristic](Peripheral& p, PeripheralDelegate& delegate) {
                         delegate.didUpdateNotificationStateForCharacteristic(p, *characteristic, nullptr);
                     });
                 });
}

void Peripheral::startNotify(const std::shared_ptr<GattCharacteristic>& characteristic) {
    const uint64_t attempt = attempt_;
    radio_->call(characteristic->path(), names::kGattCharacteristic, QStringLiteral("StartNotify"), {},
                 [weak = weak_from_this(), characteristic, attempt](const QDBusMessage& reply) {
                     const auto self = weak.lock();
                     if (!self || self->attempt_ != attempt) return;
                     std::optional<Error> error;
                     if (reply.type() != QDBusMessage::ReplyMessage) {
                         error = Error(describe(reply));
                     } else {
                         characteristic->notifySession = true;
                     }
                     self->deliver([characteristic, error](Peripheral& p, PeripheralDelegate& delegate) {
                         delegate.didUpdateNotificationStateForCharacteristic(p, *characteristic,
                                                                              error ? &*error : nullptr);
                     });
                 });
}

void Peripheral::valueChanged(const QString& characteristicPath, std::vector<uint8_t> value) {
    const auto found = characteristics_.find(characteristicPath);
    if (found == characteristics_.end() || link_ != Link::Connected) return;
    const std::shared_ptr<GattCharacteristic> characteristic = found->second;
    // Values of a characteristic read over its socket are not taken twice.
    if (!characteristic->notifySession) return;
    deliver([characteristic, value = std::move(value)](Peripheral& self, PeripheralDelegate& delegate) {
        characteristic->setValue(value);
        delegate.didUpdateValueForCharacteristic(self, *characteristic, nullptr);
    });
}

// --- writes -------------------------------------------------------------------

void Peripheral::writeValueForCharacteristic(const std::vector<uint8_t>& data,
                                             const std::shared_ptr<ble::Characteristic>& characteristic,
                                             WriteType type) {
    if (!characteristic) return;
    const auto gatt = ours(characteristic);
    if (link_ != Link::Connected || !gatt) {
        deliver([characteristic](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didWriteValueForCharacteristic(self, *characteristic, &kNotConnected);
        });
        return;
    }
    if (type == WriteType::WithResponse) {
        writeValue(*gatt, data, QStringLiteral("request"),
                   [weak = weak_from_this(), gatt](std::optional<Error> error) {
                       if (const auto self = weak.lock()) {
                           self->deliver([gatt, error](Peripheral& p, PeripheralDelegate& delegate) {
                               delegate.didWriteValueForCharacteristic(p, *gatt, error ? &*error : nullptr);
                           });
                       }
                   });
        return;
    }
    if (!gatt->pacer) {
        const std::weak_ptr<GattCharacteristic> weakCharacteristic = gatt;
        gatt->pacer = std::make_unique<FramePacer>(
            radio_->loop(), radio_->options().writeInterval, radio_->options().supersedes,
            [weak = weak_from_this(), weakCharacteristic](std::vector<uint8_t> frame) {
                const auto self = weak.lock();
                const auto target = weakCharacteristic.lock();
                if (self && target) self->send(*target, std::move(frame));
            });
    }
    gatt->pacer->submit(data);
}

void Peripheral::send(GattCharacteristic& characteristic, std::vector<uint8_t> frame) {
    FramePacer& pacer = *characteristic.pacer;
    const auto reportFailure = [this, &characteristic](const std::string& reason) {
        const std::shared_ptr<GattCharacteristic> target = characteristics_.at(characteristic.path());
        deliver([target, error = Error(reason)](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didWriteValueForCharacteristic(self, *target, &error);
        });
    };
    if (characteristic.writeSocket) {
        switch (characteristic.writeSocket->send(frame)) {
            case AcquiredSocket::SendResult::Sent: pacer.transportIdle(); return;
            case AcquiredSocket::SendResult::TryLater: pacer.sendAgainLater(std::move(frame)); return;
            case AcquiredSocket::SendResult::Failed:
                // The link is going: the hang-up reports it.
                characteristic.writeSocket.reset();
                reportFailure("The write socket was closed by BlueZ.");
                pacer.transportIdle();
                return;
        }
    }
    if (characteristic.canAcquireWrite && !characteristic.acquireWriteFailed) {
        // The first frame waits for the socket; the pacer holds the rest.
        characteristic.acquiringWrite = true;
        const uint64_t attempt = attempt_;
        radio_->call(characteristic.path(), names::kGattCharacteristic, QStringLiteral("AcquireWrite"),
                     {QVariantMap()},
                     [weak = weak_from_this(), path = characteristic.path(), attempt,
                      frame](const QDBusMessage& reply) mutable {
                         const auto self = weak.lock();
                         if (!self || self->attempt_ != attempt || self->link_ != Link::Connected) return;
                         const auto found = self->characteristics_.find(path);
                         if (found == self->characteristics_.end()) return;
                         GattCharacteristic& target = *found->second;
                         target.acquiringWrite = false;
                         const int fd = reply.type() == QDBusMessage::ReplyMessage ? acquiredFd(reply) : -1;
                         if (fd < 0) {
                             target.acquireWriteFailed = true;
                         } else {
                             target.writeSocket = std::make_unique<AcquiredSocket>(fd, nullptr, [weak, attempt] {
                                 if (const auto p = weak.lock()) {
                                     p->radio_->loop().post([weak, attempt] {
                                         const auto peripheral = weak.lock();
                                         if (peripheral && peripheral->attempt_ == attempt &&
                                             peripheral->link_ == Link::Connected) {
                                             peripheral->lose("The write socket was closed by BlueZ.");
                                         }
                                     });
                                 }
                             });
                         }
                         self->send(target, std::move(frame));
                     });
        return;
    }
    const std::shared_ptr<GattCharacteristic> target = characteristics_.at(characteristic.path());
    writeValue(characteristic, std::move(frame), QStringLiteral("command"),
               [weak = weak_from_this(), target](std::optional<Error> error) {
                   const auto self = weak.lock();
                   if (!self) return;
                   if (error) {
                       self->deliver([target, error](Peripheral& p, PeripheralDelegate& delegate) {
                           delegate.didWriteValueForCharacteristic(p, *target, &*error);
                       });
                   }
                   if (target->pacer) target->pacer->transportIdle();
               });
}

void Peripheral::writeValue(GattCharacteristic& characteristic, std::vector<uint8_t> frame,
                            const QString& type, std::function<void(std::optional<Error>)> done) {
    QVariantMap options;
    options.insert(QStringLiteral("type"), type);
    const QByteArray value(reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(frame.size()));
    const uint64_t attempt = attempt_;
    radio_->call(characteristic.path(), names::kGattCharacteristic, QStringLiteral("WriteValue"),
                 {value, options},
                 [weak = weak_from_this(), attempt, done = std::move(done)](const QDBusMessage& reply) {
                     const auto self = weak.lock();
                     // A link that ended meanwhile reported itself already.
                     if (!self || self->attempt_ != attempt) return;
                     if (reply.type() == QDBusMessage::ReplyMessage) {
                         done(std::nullopt);
                     } else {
                         done(Error(describe(reply)));
                     }
                 });
}

}  // namespace ble::bluez
