// The GATT side of a BlueZ peripheral: the walk of its services and
// characteristics (again whenever BlueZ's objects change under a live link),
// notifications and paced writes.
#include <fcntl.h>
#include <unistd.h>

#include <QDBusUnixFileDescriptor>
#include <QTimer>
#include <algorithm>

#include "ble/UuidFilter.h"
#include "ble/bluez/BluezNames.h"
#include "ble/bluez/DBusValues.h"
#include "ble/bluez/GattCharacteristic.h"
#include "ble/bluez/Peripheral.h"
#include "ble/bluez/Radio.h"

namespace ble::bluez {
namespace {

const Error kNotConnected("The device is not connected.");
// BlueZ reads at most this much from an acquired socket; a write without
// response carries at most the ATT MTU less its 3-byte header.
constexpr std::size_t kLongestValue = 512;
constexpr uint16_t kSmallestMtu = 23;
constexpr std::size_t kAttHeader = 3;

bool wanted(const std::vector<Uuid>& filter, const Uuid& uuid) { return filterPasses(filter, uuid); }

Uuid uuidOf(const ObjectMirror& mirror, const QString& path, const QString& interface) {
    return Uuid::fromString(text(mirror.property(path, interface, QStringLiteral("UUID"))).toStdString());
}

// The object with the interface and UUID below `parent`: `preferred` where it
// still is one (the same handle), else the first in handle order; empty if none.
QString findBelow(const ObjectMirror& mirror, const QString& parent, const QString& interface, const Uuid& uuid,
                  const QString& preferred) {
    const std::vector<QString> objects = mirror.below(parent, interface);
    if (std::find(objects.begin(), objects.end(), preferred) != objects.end() &&
        uuidOf(mirror, preferred, interface) == uuid) {
        return preferred;
    }
    const auto found = std::find_if(objects.begin(), objects.end(),
                                    [&](const QString& path) { return uuidOf(mirror, path, interface) == uuid; });
    return found == objects.end() ? QString() : *found;
}

// The object a call went to is no longer there.
bool objectGone(const QDBusMessage& reply) {
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
           reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod");
}

// BlueZ lets one program at a time hold a characteristic's socket: a
// refusal to acquire it says another program drives the car.
bool heldByAnotherProgram(const QDBusMessage& reply) { return isDBusError(reply, "org.bluez.Error.NotPermitted"); }

// The fd of an Acquire* answer (h, q), duplicated so that this side owns it
// (and no program this one starts inherits it); -1 when the answer has none.
int acquiredFd(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage) return -1;
    const QVariant first = reply.arguments().value(0);
    if (first.userType() != qMetaTypeId<QDBusUnixFileDescriptor>()) return -1;
    const QDBusUnixFileDescriptor fd = first.value<QDBusUnixFileDescriptor>();
    if (!fd.isValid()) return -1;
    return ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
}

}  // namespace

// --- services and characteristics ---------------------------------------------

QString Peripheral::findService(const Uuid& uuid, const QString& preferred) const {
    return findBelow(radio_->mirror(), path_, names::kGattService, uuid, preferred);
}

QString Peripheral::findCharacteristic(const QString& service, const Uuid& uuid, const QString& preferred) const {
    return findBelow(radio_->mirror(), service, names::kGattCharacteristic, uuid, preferred);
}

bool Peripheral::layoutPresent() const {
    const GattLayout& layout = radio_->options().layout;
    if (layout.service.isNull() && layout.characteristics.empty()) return true;
    const ObjectMirror& mirror = radio_->mirror();
    const auto complete = [&](const QString& service) {
        return std::all_of(layout.characteristics.begin(), layout.characteristics.end(), [&](const Uuid& wanted) {
            const QString found = findCharacteristic(service, wanted, {});
            if (found.isEmpty()) return false;
            if (!(wanted == layout.writable)) return true;
            // The link writes to this one: a characteristic it cannot write is no channel.
            const QStringList flags =
                strings(mirror.property(found, names::kGattCharacteristic, QStringLiteral("Flags")));
            return flags.contains(QStringLiteral("write-without-response")) || flags.contains(QStringLiteral("write"));
        });
    };
    const std::vector<QString> services = mirror.below(path_, names::kGattService);
    return std::any_of(services.begin(), services.end(), [&](const QString& service) {
        return (layout.service.isNull() || uuidOf(mirror, service, names::kGattService) == layout.service) &&
               complete(service);
    });
}

void Peripheral::readCharacteristic(GattCharacteristic& characteristic) const {
    const QVariantMap* properties = radio_->mirror().properties(characteristic.path(), names::kGattCharacteristic);
    if (!properties) return;
    characteristic.flags = strings(properties->value(QStringLiteral("Flags")));
    characteristic.canAcquireWrite = characteristic.flags.contains(QStringLiteral("write-without-response")) &&
                                     properties->contains(QStringLiteral("WriteAcquired"));
    characteristic.canAcquireNotify = characteristic.flags.contains(QStringLiteral("notify")) &&
                                      properties->contains(QStringLiteral("NotifyAcquired"));
}

void Peripheral::discoverServices(const std::vector<Uuid>& filter) {
    deliver([filter](Peripheral& self, PeripheralDelegate& delegate) {
        if (self.link_ != Link::Connected) {
            delegate.didDiscoverServices(self, &kNotConnected);
            return;
        }
        const ObjectMirror& mirror = self.radio_->mirror();
        std::vector<std::shared_ptr<GattService>> found;
        for (const QString& path : mirror.below(self.path_, names::kGattService)) {
            const Uuid uuid = uuidOf(mirror, path, names::kGattService);
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
            const Uuid uuid = uuidOf(mirror, path, names::kGattCharacteristic);
            if (!wanted(filter, uuid)) continue;
            auto& held = self.characteristics_[path];
            if (!held || !(held->uuid() == uuid)) held = std::make_shared<GattCharacteristic>(uuid, path);
            self.readCharacteristic(*held);
            found.push_back(held);
        }
        service->setCharacteristics(std::move(found));
        delegate.didDiscoverCharacteristicsForService(self, *service, nullptr);
    });
}

void Peripheral::servicesChanging() {
    // ServicesResolved went false, or objects went (a Service Changed from
    // the device): writes wait, and the link waits a bounded time for the
    // services to come back.
    servicesReady_ = false;
    for (const auto& [path, characteristic] : characteristics_) {
        if (characteristic->pacer) characteristic->pacer->hold(true);
    }
    readyTimer_->start(radio_->options().readyTimeout);
}

void Peripheral::servicesBack() {
    readyTimer_->stop();
    // Walked again: every service and characteristic the delegate holds
    // follows its UUID to BlueZ's new object (under the same handle where it
    // can), so the vehicle keeps its channels. Sockets and notification
    // sessions are taken afresh.
    std::map<QString, std::shared_ptr<GattService>> services;
    std::map<QString, std::shared_ptr<GattCharacteristic>> characteristics;
    for (const auto& [oldPath, service] : serviceObjects_) {
        const QString path = findService(service->uuid(), service->path());
        if (path.isEmpty() || services.contains(path)) continue;
        service->setPath(path);
        services[path] = service;
        for (const auto& member : service->characteristics()) {
            const auto gatt = std::dynamic_pointer_cast<GattCharacteristic>(member);
            if (!gatt) continue;
            const QString at = findCharacteristic(path, gatt->uuid(), gatt->path());
            if (at.isEmpty() || characteristics.contains(at)) continue;
            gatt->setPath(at);
            characteristics[at] = gatt;
        }
    }
    for (const auto& [path, characteristic] : characteristics_) {
        if (std::find_if(characteristics.begin(), characteristics.end(), [&](const auto& entry) {
                return entry.second == characteristic;
            }) != characteristics.end()) {
            continue;
        }
        // Gone from the device: whatever waits for it is dropped.
        if (characteristic->pacer) {
            supersededGone_ += characteristic->pacer->superseded();
            characteristic->pacer->clear();
        }
        characteristic->dropTransport();
    }
    std::erase_if(services_, [&](const auto& service) { return !services.contains(service->path()); });
    serviceObjects_ = std::move(services);
    characteristics_ = std::move(characteristics);
    servicesReady_ = true;
    for (const auto& [path, characteristic] : characteristics_) {
        characteristic->dropTransport();
        readCharacteristic(*characteristic);
        if (characteristic->notifyWanted) subscribe(characteristic, false);
        if (characteristic->pacer) characteristic->pacer->hold(false);
    }
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
    gatt->notifyWanted = enabled;
    const auto done = [this, gatt] { subscribed(gatt, true, std::nullopt); };
    if (!enabled) {
        // A subscription on its way is undone when it arrives.
        gatt->notifySocket.reset();
        if (std::exchange(gatt->notifySession, false)) {
            radio_->call(gatt->path(), names::kGattCharacteristic, QStringLiteral("StopNotify"), {}, {});
        }
        done();
        return;
    }
    if (gatt->notifyPending) return;  // its answer reports
    // Subscribed already; or the services are changing, and it follows once they are back.
    if (gatt->notifySocket || gatt->notifySession || !servicesReady_) {
        done();
        return;
    }
    subscribe(gatt, true);
}

void Peripheral::subscribe(const std::shared_ptr<GattCharacteristic>& characteristic, bool report) {
    characteristic->notifyPending = true;
    if (characteristic->canAcquireNotify) {
        acquireNotify(characteristic, report);
    } else {
        startNotify(characteristic, report);
    }
}

void Peripheral::subscribed(const std::shared_ptr<GattCharacteristic>& characteristic, bool report,
                            std::optional<Error> error) {
    if (!report && !error) return;
    deliver([characteristic, error](Peripheral& self, PeripheralDelegate& delegate) {
        delegate.didUpdateNotificationStateForCharacteristic(self, *characteristic, error ? &*error : nullptr);
    });
}

std::function<void()> Peripheral::onHangUp(const std::shared_ptr<GattCharacteristic>& characteristic,
                                           bool notify) {
    return [weak = weak_from_this(), target = std::weak_ptr<GattCharacteristic>(characteristic),
            epoch = characteristic->epoch, notify] {
        const auto self = weak.lock();
        if (!self) return;
        // Posted: the socket that calls this may not go from inside it.
        self->radio_->loop().post([weak, target, epoch, notify] {
            const auto peripheral = weak.lock();
            const auto characteristic = target.lock();
            if (peripheral && characteristic) peripheral->socketHungUp(characteristic, epoch, notify);
        });
    };
}

void Peripheral::socketHungUp(const std::shared_ptr<GattCharacteristic>& characteristic, uint64_t epoch,
                              bool notify) {
    if (link_ != Link::Connected || characteristic->epoch != epoch) return;
    (notify ? characteristic->notifySocket : characteristic->writeSocket).reset();
    // While the services change, BlueZ closes the sockets of the objects it
    // drops; they are taken again once the services are back.
    if (!servicesReady_) return;
    // Whether the link ended or the services are changing, BlueZ's signals
    // tell, and its answer to this question comes after every one it sent
    // before: only a characteristic still there on a link still up means
    // BlueZ closed this socket and nothing else. Writes wait meanwhile.
    if (characteristic->pacer) characteristic->pacer->hold(true);
    const uint64_t attempt = attempt_;
    radio_->call(characteristic->path(), names::kProperties, QStringLiteral("Get"),
                 {names::kGattCharacteristic, QStringLiteral("UUID")},
                 [weak = weak_from_this(), attempt, notify](const QDBusMessage& reply) {
                     const auto self = weak.lock();
                     if (!self || self->attempt_ != attempt || self->link_ != Link::Connected) return;
                     if (!self->servicesReady_) return;  // changing: they come back, or the link is given up
                     if (reply.type() == QDBusMessage::ReplyMessage && self->connectedAtBluez()) {
                         self->giveUp(notify ? "The notification socket was closed by BlueZ."
                                             : "The write socket was closed by BlueZ.");
                     } else {
                         // The object is gone at BlueZ: its signals are on their way.
                         self->servicesChanging();
                     }
                 });
}

void Peripheral::acquireNotify(const std::shared_ptr<GattCharacteristic>& characteristic, bool report) {
    const uint64_t attempt = attempt_;
    const uint64_t epoch = characteristic->epoch;
    radio_->call(characteristic->path(), names::kGattCharacteristic, QStringLiteral("AcquireNotify"),
                 {QVariantMap()},
                 [weak = weak_from_this(), characteristic, attempt, epoch, report](const QDBusMessage& reply) {
                     const auto self = weak.lock();
                     if (!self || self->attempt_ != attempt || self->link_ != Link::Connected ||
                         characteristic->epoch != epoch) {
                         return;
                     }
                     if (heldByAnotherProgram(reply)) {
                         self->yieldToAnotherProgram();
                         return;
                     }
                     const int fd = acquiredFd(reply);
                     if (fd < 0) {
                         // Offered but refused: the D-Bus way still works.
                         if (characteristic->notifyWanted) {
                             self->startNotify(characteristic, report);
                         } else {
                             characteristic->notifyPending = false;
                         }
                         return;
                     }
                     characteristic->notifyPending = false;
                     if (!characteristic->notifyWanted) {
                         ::close(fd);  // switched off meanwhile: closing it lets go at BlueZ
                         return;
                     }
                     const std::weak_ptr<GattCharacteristic> target = characteristic;
                     characteristic->notifySocket = std::make_unique<AcquiredSocket>(
                         fd,
                         [weak, target](std::vector<uint8_t> value) {
                             const auto peripheral = weak.lock();
                             const auto notified = target.lock();
                             if (!peripheral || !notified) return;
                             peripheral->deliver([notified, value = std::move(value)](
                                                     Peripheral& p, PeripheralDelegate& delegate) {
                                 notified->setValue(value);
                                 delegate.didUpdateValueForCharacteristic(p, *notified, nullptr);
                             });
                         },
                         self->onHangUp(characteristic, true));
                     self->subscribed(characteristic, report, std::nullopt);
                 });
}

void Peripheral::startNotify(const std::shared_ptr<GattCharacteristic>& characteristic, bool report) {
    characteristic->notifyPending = true;
    const uint64_t attempt = attempt_;
    const uint64_t epoch = characteristic->epoch;
    radio_->call(characteristic->path(), names::kGattCharacteristic, QStringLiteral("StartNotify"), {},
                 [weak = weak_from_this(), characteristic, attempt, epoch, report](const QDBusMessage& reply) {
                     const auto self = weak.lock();
                     if (!self || self->attempt_ != attempt || characteristic->epoch != epoch) return;
                     characteristic->notifyPending = false;
                     if (reply.type() != QDBusMessage::ReplyMessage) {
                         self->subscribed(characteristic, report, Error(describeReply(reply)));
                         return;
                     }
                     if (!characteristic->notifyWanted) {
                         self->radio_->call(characteristic->path(), names::kGattCharacteristic,
                                            QStringLiteral("StopNotify"), {}, {});
                         return;
                     }
                     characteristic->notifySession = true;
                     self->subscribed(characteristic, report, std::nullopt);
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

std::size_t Peripheral::frameLimit(const GattCharacteristic& characteristic) const {
    uint16_t mtu = characteristic.mtu;
    if (mtu == 0) {
        mtu = uint16(radio_->mirror().property(characteristic.path(), names::kGattCharacteristic,
                                               QStringLiteral("MTU")))
                  .value_or(0);
    }
    if (mtu == 0) return kLongestValue;
    return std::min<std::size_t>(std::max(mtu, kSmallestMtu) - kAttHeader, kLongestValue);
}

std::optional<Error> Peripheral::refusal(const GattCharacteristic& characteristic, std::size_t size) const {
    // An empty record stalls BlueZ's reader of the socket; a longer one than
    // the link carries is dropped by BlueZ without a word.
    if (size == 0) return Error("An empty value cannot be written without response.");
    const std::size_t limit = frameLimit(characteristic);
    if (size > limit) {
        return Error("A value of " + std::to_string(size) + " bytes is longer than the link carries (" +
                     std::to_string(limit) + ").");
    }
    return std::nullopt;
}

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
        writeValue(*gatt, data, QStringLiteral("request"), [weak = weak_from_this(), gatt](const QDBusMessage& reply) {
            const auto self = weak.lock();
            if (!self) return;
            std::optional<Error> error;
            if (reply.type() != QDBusMessage::ReplyMessage) error = Error(describeReply(reply));
            self->deliver([gatt, error](Peripheral& p, PeripheralDelegate& delegate) {
                delegate.didWriteValueForCharacteristic(p, *gatt, error ? &*error : nullptr);
            });
        });
        return;
    }
    if (const auto refused = refusal(*gatt, data.size())) {
        deliver([gatt, error = *refused](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didWriteValueForCharacteristic(self, *gatt, &error);
        });
        return;
    }
    if (!gatt->pacer) {
        const std::weak_ptr<GattCharacteristic> weakCharacteristic = gatt;
        gatt->pacer = std::make_unique<FramePacer>(
            radio_->loop(), radio_->options().writeInterval, radio_->options().writeBurst,
            radio_->options().supersedes,
            [weak = weak_from_this(), weakCharacteristic](std::vector<uint8_t> frame) {
                const auto self = weak.lock();
                const auto target = weakCharacteristic.lock();
                if (!self || !target) return;
                if (self->writeWatch_) self->writeWatch_(frame, false);
                self->send(target, std::move(frame));
            },
            [weak = weak_from_this()](const std::vector<uint8_t>& dropped) {
                const auto self = weak.lock();
                if (self && self->writeWatch_) self->writeWatch_(dropped, true);
            });
        if (!servicesReady_) gatt->pacer->hold(true);
    }
    gatt->pacer->submit(data);
}

void Peripheral::send(const std::shared_ptr<GattCharacteristic>& target, std::vector<uint8_t> frame) {
    GattCharacteristic& characteristic = *target;
    FramePacer& pacer = *characteristic.pacer;
    const auto reportFailure = [this, target](Error error) {
        deliver([target, error = std::move(error)](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didWriteValueForCharacteristic(self, *target, &error);
        });
    };
    // The MTU may have become known since the frame was taken.
    if (auto refused = refusal(characteristic, frame.size())) {
        reportFailure(std::move(*refused));
        pacer.transportIdle();
        return;
    }
    if (characteristic.writeSocket) {
        switch (characteristic.writeSocket->send(frame)) {
            case AcquiredSocket::SendResult::Sent: pacer.transportIdle(); return;
            case AcquiredSocket::SendResult::TryLater: pacer.sendAgainLater(std::move(frame)); return;
            case AcquiredSocket::SendResult::Failed:
                // The frame waits for what the hang-up turns out to be: a
                // change of the services (it goes on the new socket) or the
                // link's end (it goes with the link).
                pacer.sendAgainLater(std::move(frame));
                socketHungUp(target, characteristic.epoch, false);
                return;
        }
    }
    if (characteristic.canAcquireWrite && !characteristic.acquireWriteFailed) {
        acquireWrite(target, std::move(frame));
        return;
    }
    const uint64_t epoch = characteristic.epoch;
    std::vector<uint8_t> copy = frame;
    writeValue(characteristic, std::move(frame), QStringLiteral("command"),
               [weak = weak_from_this(), target, epoch, frame = std::move(copy)](const QDBusMessage& reply) mutable {
                   const auto self = weak.lock();
                   if (!self) return;
                   if (reply.type() != QDBusMessage::ReplyMessage) {
                       if (objectGone(reply) && self->link_ == Link::Connected && target->epoch == epoch) {
                           // BlueZ dropped the object under a live link: the
                           // services are changing, and the frame waits for them.
                           if (target->pacer) target->pacer->sendAgainLater(std::move(frame));
                           if (self->servicesReady_) self->servicesChanging();
                           return;
                       }
                       self->deliver([target, error = Error(describeReply(reply))](Peripheral& p,
                                                                                  PeripheralDelegate& delegate) {
                           delegate.didWriteValueForCharacteristic(p, *target, &error);
                       });
                   }
                   if (target->pacer) target->pacer->transportIdle();
               });
}

void Peripheral::acquireWrite(const std::shared_ptr<GattCharacteristic>& characteristic, std::vector<uint8_t> frame) {
    // The first frame waits for the socket; the pacer holds the rest.
    characteristic->acquiringWrite = true;
    const uint64_t attempt = attempt_;
    const uint64_t epoch = characteristic->epoch;
    radio_->call(characteristic->path(), names::kGattCharacteristic, QStringLiteral("AcquireWrite"),
                 {QVariantMap()},
                 [weak = weak_from_this(), target = std::weak_ptr<GattCharacteristic>(characteristic), attempt,
                  epoch, frame = std::move(frame)](const QDBusMessage& reply) mutable {
                     const auto self = weak.lock();
                     const auto characteristic = target.lock();
                     if (!self || !characteristic || self->attempt_ != attempt || self->link_ != Link::Connected) {
                         return;
                     }
                     if (characteristic->epoch != epoch) {
                         // Asked before the services changed: the frame goes again on the new object.
                         if (characteristic->pacer) characteristic->pacer->sendAgainLater(std::move(frame));
                         return;
                     }
                     characteristic->acquiringWrite = false;
                     if (heldByAnotherProgram(reply)) {
                         self->yieldToAnotherProgram();  // the frame goes nowhere
                         return;
                     }
                     const int fd = acquiredFd(reply);
                     if (fd < 0) {
                         characteristic->acquireWriteFailed = true;
                     } else {
                         characteristic->writeSocket =
                             std::make_unique<AcquiredSocket>(fd, nullptr, self->onHangUp(characteristic, false));
                         characteristic->mtu = uint16(reply.arguments().value(1)).value_or(0);
                     }
                     self->send(characteristic, std::move(frame));
                 });
}

void Peripheral::writeValue(GattCharacteristic& characteristic, std::vector<uint8_t> frame,
                            const QString& type, std::function<void(const QDBusMessage& reply)> done) {
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
                     done(reply);
                 });
}

}  // namespace ble::bluez
