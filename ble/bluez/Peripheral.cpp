#include "ble/bluez/Peripheral.h"

#include <QObject>
#include <QTimer>

#include "ble/bluez/BluezNames.h"
#include "ble/bluez/Central.h"
#include "ble/bluez/DBusValues.h"
#include "ble/bluez/DevicePaths.h"
#include "ble/bluez/GattCharacteristic.h"
#include "ble/bluez/Radio.h"

namespace ble::bluez {
namespace {

const std::string kDrivenElsewhere = "The vehicle is driven by another program.";

// BlueZ 5.66 answers a second Connect while one is pending with Failed
// "Operation already in progress"; its documentation names InProgress.
bool anotherConnectUnderWay(const QDBusMessage& reply) {
    return isDBusError(reply, "org.bluez.Error.InProgress") ||
           (reply.type() == QDBusMessage::ErrorMessage &&
            reply.errorMessage() == QLatin1String("Operation already in progress"));
}

}  // namespace

Peripheral::Peripheral(std::shared_ptr<Radio> radio, QString path)
    : radio_(std::move(radio)), path_(std::move(path)), receiver_(std::make_unique<QObject>()) {
    attemptTimer_ = new QTimer(receiver_.get());
    attemptTimer_->setSingleShot(true);
    QObject::connect(attemptTimer_, &QTimer::timeout, receiver_.get(), [this] { attemptTimedOut(); });
    readyTimer_ = new QTimer(receiver_.get());
    readyTimer_->setSingleShot(true);
    QObject::connect(readyTimer_, &QTimer::timeout, receiver_.get(), [this] { readyTimedOut(); });
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

bool Peripheral::watchWrites(WriteOutcome outcome) {
    writeWatch_ = std::move(outcome);
    return true;
}

std::uint64_t Peripheral::writesSuperseded() const {
    std::uint64_t superseded = supersededGone_;
    for (const auto& [path, characteristic] : characteristics_) {
        if (characteristic->pacer) superseded += characteristic->pacer->superseded();
    }
    return superseded;
}

std::string Peripheral::adapterName() const {
    QString adapter = paths::adapterOf(path_);
    if (!holdsLink()) {
        const std::vector<QString> hearing = radio_->adaptersHearing(path_);
        if (!hearing.empty()) adapter = hearing.front();
    }
    return paths::adapterName(adapter).toStdString();
}

void Peripheral::moveTo(const QString& path) {
    if (path == path_ || holdsLink()) return;
    // The GATT objects of the other adapter's object are not this one's.
    for (const auto& [at, characteristic] : characteristics_) {
        if (characteristic->pacer) supersededGone_ += characteristic->pacer->superseded();
    }
    services_.clear();
    serviceObjects_.clear();
    characteristics_.clear();
    path_ = path;
}

bool Peripheral::heard(AdvertisementData advertisement, int rssi) {
    // 127: the platform's "no reading".
    const auto better = [](int a, int b) { return a == 127 ? b : b == 127 ? a : std::max(a, b); };
    if (heard_) {
        heard_->advertisement = std::move(advertisement);
        heard_->rssi = better(heard_->rssi, rssi);
        return false;
    }
    heard_ = Heard{std::move(advertisement), rssi};
    return true;
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

bool Peripheral::connectedAtBluez() const {
    return boolean(radio_->mirror().property(path_, names::kDevice, QStringLiteral("Connected"))).value_or(false);
}

bool Peripheral::resolved() const {
    return connectedAtBluez() &&
           boolean(radio_->mirror().property(path_, names::kDevice, QStringLiteral("ServicesResolved")))
               .value_or(false);
}

bool Peripheral::ready() const { return resolved() && layoutPresent(); }

void Peripheral::connect() {
    if (link_ == Link::Connected) {
        radio_->postToCentral([weak = weak_from_this()](Central& central, CentralDelegate& delegate) {
            if (const auto self = weak.lock()) delegate.didConnectPeripheral(central, *self);
        });
        return;
    }
    if (link_ != Link::Idle) return;
    // A link left up on an adapter (by an earlier run of the program, say)
    // is taken as it is, where it is: it needs no room and no Connect slot.
    const QString connected = radio_->connectedObject(path_);
    if (!connected.isEmpty()) {
        moveTo(connected);
        if (radio_->isDrivenElsewhere(connected)) {
            failAttempt(kDrivenElsewhere, Failure::Ended);
            return;
        }
        ++attempt_;
        startAttempt();
        return;
    }
    enqueue(false);
}

void Peripheral::enqueue(bool first) {
    link_ = Link::Queued;
    const uint64_t attempt = ++attempt_;
    const std::weak_ptr<Peripheral> weak = weak_from_this();
    const uint64_t ticket = radio_->connects().enqueue(
        [weak] {
            std::vector<std::string> adapters;
            if (const auto self = weak.lock()) {
                for (const QString& adapter : self->radio_->adaptersHearing(self->path_, self->refusedBy_)) {
                    adapters.push_back(adapter.toStdString());
                }
            }
            return adapters;
        },
        [weak, attempt](const std::string& adapter) {
            const auto self = weak.lock();
            if (!self || self->attempt_ != attempt || self->link_ != Link::Queued) return;
            self->moveTo(paths::deviceOn(QString::fromStdString(adapter), paths::deviceKey(self->path_)));
            self->startAttempt();
        },
        first);
    // The attempt may have started, and even ended, from inside the queue.
    const bool placeHeld = link_ == Link::Queued || (link_ == Link::Connecting && !connectAnswered_);
    if (placeHeld && attempt_ == attempt) {
        ticket_ = ticket;
    } else {
        radio_->connects().finish(ticket);
    }
}

void Peripheral::startAttempt() {
    link_ = Link::Connecting;
    connectAnswered_ = false;
    attemptStarted_ = radio_->loop().now();
    attemptTimer_->start(radio_->options().connectTimeout);
    radio_->linkTaken(path_);
    // A link left up (by an earlier run of the program, say) is taken as it is.
    if (ready()) {
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
    if (anotherConnectUnderWay(reply)) {
        // Another program is connecting the device: nothing is wrong with
        // it, so nothing counts against it, and its device object stays
        // (removing it would call that program's attempt off).
        failAttempt("Another program is connecting the device.", Failure::Ended);
        return;
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const std::chrono::milliseconds took = radio_->loop().now() - attemptStarted_;
        if (radio_->refusedForRoom(reply, path_, refusedBy_, took)) {
            moveOn(describeReply(reply));
        } else if (radio_->makeRoomFor(reply, path_, took)) {
            // Not the car's fault: it waits for the room another car leaves.
            attemptTimer_->stop();
            if (ticket_ != 0) radio_->connects().finish(std::exchange(ticket_, 0));
            enqueue(true);
        } else {
            failAttempt(describeReply(reply), Failure::ConnectRefused);
        }
        return;
    }
    // BlueZ answers once the link is up; the GATT objects and ServicesResolved
    // follow, in either order. The controller is free for the next device.
    connectAnswered_ = true;
    attemptTimer_->stop();
    if (ticket_ != 0) radio_->connects().finish(std::exchange(ticket_, 0));
    readyTimer_->start(radio_->options().readyTimeout);
    linkChanged();
}

void Peripheral::moveOn(const std::string& reason) {
    // Not the car's fault: nothing counts against it.
    const QString refused = path_;
    refusedBy_.push_back(paths::adapterOf(refused));
    attemptTimer_->stop();
    if (ticket_ != 0) radio_->connects().finish(std::exchange(ticket_, 0));
    // A stranger BlueZ kept on that adapter only for the attempt goes.
    radio_->letGo(refused, false, true);
    if (radio_->adaptersHearing(path_, refusedBy_).empty()) {
        failAttempt(reason, Failure::Ended);
        return;
    }
    enqueue(true);
}

void Peripheral::attemptTimedOut() {
    if (link_ != Link::Connecting) return;
    failAttempt("The connection timed out.", Failure::GivenUp);
}

void Peripheral::readyTimedOut() {
    if (link_ == Link::Connecting) {
        failAttempt("The device's services were not resolved in time.", Failure::GivenUp);
    } else if (link_ == Link::Connected && !servicesReady_) {
        giveUp("The device's services changed and did not come back.");
    }
}

void Peripheral::linkChanged() {
    const bool linkUp = connectedAtBluez();
    if (link_ == Link::Connecting) {
        if (ready()) {
            established();
        } else if (!linkUp && connectAnswered_) {
            failAttempt("The link dropped while the services were being resolved.", Failure::Ended);
        }
    } else if (link_ == Link::Connected && moving()) {
        if (!movingTo_.isEmpty() && !linkUp) {
            connectThere();
        } else if (movingConnect_ && linkUp) {
            movingConnect_ = false;
            if (ready()) servicesBack();
        }
    } else if (link_ == Link::Connected) {
        if (!linkUp) {
            lose("The device disconnected.");
        } else if (servicesReady_ && !ready()) {
            servicesChanging();
        } else if (!servicesReady_ && ready()) {
            servicesBack();
        }
    }
}

void Peripheral::established() {
    attemptTimer_->stop();
    readyTimer_->stop();
    link_ = Link::Connected;
    servicesReady_ = true;
    refusedBy_.clear();
    if (ticket_ != 0) radio_->connects().finish(std::exchange(ticket_, 0));
    radio_->linkUpThrough(paths::adapterOf(path_));
    radio_->backoff().succeeded(identifier(), identity_);
    radio_->postToCentral([weak = weak_from_this()](Central& central, CentralDelegate& delegate) {
        if (const auto self = weak.lock()) delegate.didConnectPeripheral(central, *self);
    });
}

void Peripheral::failAttempt(const std::string& reason, Failure failure) {
    // Still on its way or up at BlueZ: called off, so that BlueZ does not
    // finish it behind the program's back.
    const bool callOff = failure == Failure::GivenUp && (!connectAnswered_ || connectedAtBluez());
    const bool counts = failure != Failure::Ended;
    if (counts) radio_->backoff().failed(identifier(), identity_, radio_->loop().now());
    closeLink();
    // A stranger BlueZ keeps only because it was asked to connect goes again.
    if (callOff || counts) radio_->letGo(path_, callOff, counts);
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

void Peripheral::giveUp(const std::string& reason) {
    // The radio ends a link BlueZ still holds: BlueZ ends it too, else the
    // device (which does not advertise while connected) could not be found again.
    if (connectedAtBluez()) radio_->letGo(path_, true, false);
    lose(reason);
}

void Peripheral::relocate(const QString& devicePath) {
    if (link_ != Link::Connected || moving() || devicePath == path_) return;
    movingTo_ = devicePath;
    servicesChanging();
    radio_->call(path_, names::kDevice, QStringLiteral("Disconnect"), {}, {});
}

void Peripheral::connectThere() {
    // The old link is down: the same characteristics, through the new object.
    path_ = std::exchange(movingTo_, QString());
    movingConnect_ = true;
    radio_->linkTaken(path_);
    const uint64_t attempt = attempt_;
    radio_->call(path_, names::kDevice, QStringLiteral("Connect"), {},
                 [weak = weak_from_this(), attempt](const QDBusMessage& reply) {
                     const auto self = weak.lock();
                     if (!self || self->attempt_ != attempt || self->link_ != Link::Connected) return;
                     self->movingConnect_ = false;
                     if (reply.type() != QDBusMessage::ReplyMessage) {
                         self->giveUp("The move to another adapter failed: " + describeReply(reply));
                     } else {
                         self->linkChanged();
                     }
                 });
}

void Peripheral::yieldToAnotherProgram() {
    // Its link is that program's: it stays up, and the car is not taken
    // again while it lasts. Nothing was written to it.
    radio_->drivenElsewhere(path_);
    lose(kDrivenElsewhere);
}

void Peripheral::endLink(const std::string& reason) {
    switch (link_) {
        case Link::Idle: return;
        case Link::Queued:
        case Link::Connecting: failAttempt(reason, Failure::Ended); return;
        case Link::Connected: lose(reason); return;
    }
}

void Peripheral::closeLink() {
    link_ = Link::Idle;
    movingTo_.clear();
    movingConnect_ = false;
    servicesReady_ = false;
    refusedBy_.clear();
    ++attempt_;  // late answers to this link's calls find nothing to do
    attemptTimer_->stop();
    readyTimer_->stop();
    if (ticket_ != 0) radio_->connects().finish(std::exchange(ticket_, 0));
    for (const auto& [path, characteristic] : characteristics_) {
        if (characteristic->pacer) characteristic->pacer->clear();
        characteristic->dropTransport();
        characteristic->notifyWanted = false;
    }
}

}  // namespace ble::bluez
