#include "ble/qt/Peripheral.h"

#include <QLowEnergyDescriptor>
#include <QObject>
#include <QTimer>
#include <algorithm>

#include "ble/UuidFilter.h"
#include "ble/EventLoop.h"
#include "ble/qt/Central.h"
#include "ble/qt/Characteristic.h"
#include "ble/qt/RadioContext.h"
#include "ble/qt/Service.h"
#include "ble/qt/UuidConversion.h"

namespace ble::qt {
namespace {

bool passes(const std::vector<Uuid>& filter, const Uuid& uuid) { return filterPasses(filter, uuid); }

QByteArray toBytes(const std::vector<uint8_t>& data) {
    return QByteArray(reinterpret_cast<const char*>(data.data()),
                      static_cast<qsizetype>(data.size()));
}

std::vector<uint8_t> fromBytes(const QByteArray& data) {
    return std::vector<uint8_t>(data.begin(), data.end());
}

const char* describe(QLowEnergyService::ServiceError error) {
    switch (error) {
    case QLowEnergyService::CharacteristicWriteError:
        return "Writing the characteristic failed.";
    case QLowEnergyService::DescriptorWriteError:
        return "Writing the client characteristic configuration failed.";
    case QLowEnergyService::CharacteristicReadError:
        return "Reading the characteristic failed.";
    case QLowEnergyService::DescriptorReadError:
        return "Reading the descriptor failed.";
    case QLowEnergyService::OperationError:
        return "The service is not ready for the operation.";
    default:
        return "The Bluetooth service reported an error.";
    }
}

const Error kNotConnected("The device is not connected.");

}  // namespace

Peripheral::Peripheral(std::shared_ptr<RadioContext> radio, const QBluetoothDeviceInfo& info)
    : radio_(std::move(radio)),
      info_(info),
      receiver_(std::make_unique<QObject>()),
      requests_(radio_->options().supersedes),
      writeRoom_(radio_->options().writeInterval, radio_->options().writeBurst) {
    connectTimer_ = new QTimer(receiver_.get());
    connectTimer_->setSingleShot(true);
    QObject::connect(connectTimer_, &QTimer::timeout, receiver_.get(), [this] { onConnectTimeout(); });
    requestTimer_ = new QTimer(receiver_.get());
    requestTimer_->setSingleShot(true);
    QObject::connect(requestTimer_, &QTimer::timeout, receiver_.get(), [this] { onRequestTimeout(); });
}

Peripheral::~Peripheral() {
    // Nothing is reported any more; the link itself is closed as on any loss.
    closeLink();
}

std::string Peripheral::name() const { return info_.name().toStdString(); }

std::string deviceKey(const QBluetoothDeviceInfo& info) {
    const QBluetoothAddress address = info.address();
    return (address.isNull() ? info.deviceUuid().toString(QUuid::WithoutBraces) : address.toString())
        .toStdString();
}

std::string Peripheral::identifier() const { return deviceKey(info_); }

std::vector<std::shared_ptr<ble::Service>> Peripheral::services() const {
    return {services_.begin(), services_.end()};
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

void Peripheral::deliverWriteResult(const std::shared_ptr<ble::Characteristic>& characteristic,
                                    std::optional<Error> error) {
    deliver([characteristic, error](Peripheral& self, PeripheralDelegate& delegate) {
        delegate.didWriteValueForCharacteristic(self, *characteristic, error ? &*error : nullptr);
    });
}

void Peripheral::deliverNotifyResult(const std::shared_ptr<ble::Characteristic>& characteristic,
                                     std::optional<Error> error) {
    deliver([characteristic, error](Peripheral& self, PeripheralDelegate& delegate) {
        delegate.didUpdateNotificationStateForCharacteristic(self, *characteristic,
                                                             error ? &*error : nullptr);
    });
}

// --- the link ---------------------------------------------------------------

void Peripheral::connect() {
    if (link_ == Link::Connected) {
        radio_->postToCentral([weak = weak_from_this()](Central& central, CentralDelegate& delegate) {
            if (const auto self = weak.lock()) delegate.didConnectPeripheral(central, *self);
        });
        return;
    }
    if (link_ == Link::Connecting) return;

    lastError_.reset();
    link_ = Link::Connecting;
    QLowEnergyController* controller =
        radio_->adapter().isNull()
            ? QLowEnergyController::createCentral(info_)
            : QLowEnergyController::createCentral(info_, radio_->adapter());
    controller_ = controller;
    QObject* receiver = receiver_.get();
    QObject::connect(controller, &QLowEnergyController::connected, receiver, [this] { onConnected(); });
    QObject::connect(controller, &QLowEnergyController::disconnected, receiver,
                     [this] { onUnconnected(); });
    QObject::connect(controller, &QLowEnergyController::stateChanged, receiver,
                     [this](QLowEnergyController::ControllerState state) {
                         if (state == QLowEnergyController::UnconnectedState) onUnconnected();
                     });
    QObject::connect(controller, &QLowEnergyController::errorOccurred, receiver,
                     [this](QLowEnergyController::Error error) { onControllerError(error); });
    QObject::connect(controller, &QLowEnergyController::discoveryFinished, receiver, [this] {
        if (servicesPending_) onServicesDiscovered();
    });
    connectTimer_->start(radio_->options().connectTimeout);
    // May fail at once (an unknown device): the handlers above then close the
    // link before this returns, so nothing here touches it afterwards.
    controller->connectToDevice();
}

void Peripheral::onConnected() {
    if (link_ != Link::Connecting) return;
    connectTimer_->stop();
    link_ = Link::Connected;
    radio_->postToCentral([weak = weak_from_this()](Central& central, CentralDelegate& delegate) {
        if (const auto self = weak.lock()) delegate.didConnectPeripheral(central, *self);
    });
}

void Peripheral::onControllerError(QLowEnergyController::Error) {
    const std::string reason = controller_ ? controller_->errorString().toStdString()
                                           : std::string("Bluetooth error.");
    lastError_ = reason;
    if (link_ == Link::Connecting) {
        // A failed connect gives this, then the unconnected state, and never
        // disconnected(). Qt's own text for it is often just "Unknown Error".
        failConnection("The connection could not be made (" + reason + ").");
    } else if (link_ == Link::Connected && servicesPending_) {
        servicesPending_ = false;
        deliver([error = Error(reason)](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didDiscoverServices(self, &error);
        });
    }
}

void Peripheral::onUnconnected() {
    if (link_ == Link::Connecting) {
        failConnection(lastError_.value_or("The connection could not be made."));
    } else if (link_ == Link::Connected) {
        loseConnection();
    }
}

void Peripheral::onConnectTimeout() {
    if (link_ == Link::Connecting) failConnection("The connection timed out.");
}

void Peripheral::failConnection(const std::string& reason) {
    closeLink();
    radio_->postToCentral([weak = weak_from_this(), error = Error(reason)](Central& central,
                                                                           CentralDelegate& delegate) {
        if (const auto self = weak.lock()) delegate.didFailToConnectPeripheral(central, *self, &error);
    });
}

void Peripheral::loseConnection() {
    // The program never ends a link itself, so every end is the device's or
    // the adapter's doing.
    const Error error(lastError_.value_or("The connection to the device ended."));
    closeLink();
    radio_->postToCentral([weak = weak_from_this(), error](Central& central, CentralDelegate& delegate) {
        if (const auto self = weak.lock()) delegate.didDisconnectPeripheral(central, *self, &error);
    });
}

void Peripheral::closeLink() {
    link_ = Link::Idle;
    connectTimer_->stop();
    requestTimer_->stop();
    servicesPending_ = false;
    requests_.clear();
    writeRoom_.refill();
    inFlight_ = InFlight{};
    for (const auto& service : services_) {
        service->detailsPending = false;
        if (QLowEnergyService* handle = service->handle()) {
            QObject::disconnect(handle, nullptr, receiver_.get(), nullptr);
        }
    }
    services_.clear();
    if (QLowEnergyController* controller = controller_.data()) {
        controller_ = nullptr;
        retire(controller);
    }
}

void Peripheral::retire(QLowEnergyController* controller) {
    QObject::disconnect(controller, nullptr, receiver_.get(), nullptr);
    if (controller->state() == QLowEnergyController::UnconnectedState) {
        controller->deleteLater();
        return;
    }
    // Deleted once BlueZ has let the device go (Qt warns of a controller
    // deleted while connected), or after a while whatever happened.
    QObject::connect(controller, &QLowEnergyController::stateChanged, controller,
                     [controller](QLowEnergyController::ControllerState state) {
                         if (state == QLowEnergyController::UnconnectedState) controller->deleteLater();
                     });
    QTimer::singleShot(radio_->options().requestTimeout, controller,
                       [controller] { controller->deleteLater(); });
    // Not from inside one of its own signals, where this may run.
    QMetaObject::invokeMethod(
        controller,
        [controller] {
            const auto state = controller->state();
            if (state != QLowEnergyController::UnconnectedState &&
                state != QLowEnergyController::ClosingState) {
                controller->disconnectFromDevice();
            }
        },
        Qt::QueuedConnection);
}

// --- services and characteristics -------------------------------------------

void Peripheral::discoverServices(const std::vector<Uuid>& filter) {
    if (link_ != Link::Connected || !controller_) {
        deliver([](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didDiscoverServices(self, &kNotConnected);
        });
        return;
    }
    serviceFilter_ = filter;
    switch (controller_->state()) {
    case QLowEnergyController::DiscoveredState:
        onServicesDiscovered();
        break;
    case QLowEnergyController::DiscoveringState:
        servicesPending_ = true;
        break;
    default:
        servicesPending_ = true;
        controller_->discoverServices();
        break;
    }
}

void Peripheral::onServicesDiscovered() {
    servicesPending_ = false;
    if (!controller_) return;
    std::vector<std::shared_ptr<Service>> found;
    for (const QBluetoothUuid& qtUuid : controller_->services()) {
        const Uuid uuid = fromQt(qtUuid);
        if (!passes(serviceFilter_, uuid)) continue;
        const auto known = std::find_if(services_.begin(), services_.end(), [&](const auto& s) {
            return s->uuid() == uuid && s->handle() != nullptr;
        });
        if (known != services_.end()) {
            found.push_back(*known);
            continue;
        }
        // Qt's service objects belong to the controller and go with it.
        QLowEnergyService* handle = controller_->createServiceObject(qtUuid, controller_.data());
        if (!handle) continue;
        auto service = std::make_shared<Service>(uuid, handle);
        watchService(service);
        found.push_back(std::move(service));
    }
    services_ = std::move(found);
    deliver([](Peripheral& self, PeripheralDelegate& delegate) {
        delegate.didDiscoverServices(self, nullptr);
    });
}

void Peripheral::watchService(const std::shared_ptr<Service>& service) {
    QLowEnergyService* handle = service->handle();
    QObject* receiver = receiver_.get();
    QObject::connect(handle, &QLowEnergyService::stateChanged, receiver,
                     [this, weak = std::weak_ptr<Service>(service)](QLowEnergyService::ServiceState state) {
                         onServiceState(weak, state);
                     });
    QObject::connect(handle, &QLowEnergyService::errorOccurred, receiver,
                     [this, handle](QLowEnergyService::ServiceError error) {
                         onServiceError(handle, error);
                     });
    QObject::connect(handle, &QLowEnergyService::characteristicChanged, receiver,
                     [this, handle](const QLowEnergyCharacteristic& c, const QByteArray& value) {
                         onCharacteristicChanged(handle, c, value);
                     });
    QObject::connect(handle, &QLowEnergyService::characteristicWritten, receiver,
                     [this, handle] { onCharacteristicWritten(handle); });
    QObject::connect(handle, &QLowEnergyService::descriptorWritten, receiver,
                     [this, handle](const QLowEnergyDescriptor& d) { onDescriptorWritten(handle, d); });
}

void Peripheral::discoverCharacteristicsForService(const std::vector<Uuid>& filter,
                                                   const std::shared_ptr<ble::Service>& service) {
    if (!service) return;
    const auto ours = std::dynamic_pointer_cast<Service>(service);
    QLowEnergyService* handle = ours ? ours->handle() : nullptr;
    if (link_ != Link::Connected || !handle) {
        deliver([service](Peripheral& self, PeripheralDelegate& delegate) {
            delegate.didDiscoverCharacteristicsForService(self, *service, &kNotConnected);
        });
        return;
    }
    ours->detailsFilter = filter;
    switch (handle->state()) {
    case QLowEnergyService::RemoteServiceDiscovered:
        reportCharacteristics(ours);
        break;
    case QLowEnergyService::RemoteServiceDiscovering:
        ours->detailsPending = true;
        break;
    case QLowEnergyService::RemoteService:
        ours->detailsPending = true;
        // Values are not needed: reading them would only cost round trips.
        handle->discoverDetails(QLowEnergyService::SkipValueDiscovery);
        break;
    default:
        deliver([service](Peripheral& self, PeripheralDelegate& delegate) {
            static const Error gone("The service is no longer available.");
            delegate.didDiscoverCharacteristicsForService(self, *service, &gone);
        });
        break;
    }
}

void Peripheral::onServiceState(const std::weak_ptr<Service>& weak,
                                QLowEnergyService::ServiceState state) {
    const std::shared_ptr<Service> service = weak.lock();
    if (!service || !service->detailsPending) return;
    if (state == QLowEnergyService::RemoteServiceDiscovered) {
        reportCharacteristics(service);
    } else if (state == QLowEnergyService::RemoteService ||
               state == QLowEnergyService::InvalidService) {
        // Qt falls back to the undiscovered state when the discovery failed.
        service->detailsPending = false;
        deliver([service](Peripheral& self, PeripheralDelegate& delegate) {
            static const Error failed("Discovering the characteristics failed.");
            delegate.didDiscoverCharacteristicsForService(self, *service, &failed);
        });
    }
}

void Peripheral::reportCharacteristics(const std::shared_ptr<Service>& service) {
    service->detailsPending = false;
    QLowEnergyService* handle = service->handle();
    if (!handle) return;
    std::vector<std::shared_ptr<ble::Characteristic>> list;
    for (const QLowEnergyCharacteristic& c : handle->characteristics()) {
        const Uuid uuid = fromQt(c.uuid());
        if (!passes(service->detailsFilter, uuid)) continue;
        const auto& known = service->characteristics();
        const auto same = std::find_if(known.begin(), known.end(), [&](const auto& k) {
            const auto* ours = dynamic_cast<const Characteristic*>(k.get());
            return ours && ours->handle() == c;
        });
        if (same != known.end()) {
            list.push_back(*same);
            continue;
        }
        auto characteristic = std::make_shared<Characteristic>(uuid, handle, c);
        characteristic->setValue(fromBytes(c.value()));
        list.push_back(std::move(characteristic));
    }
    service->setCharacteristics(std::move(list));
    deliver([service](Peripheral& self, PeripheralDelegate& delegate) {
        delegate.didDiscoverCharacteristicsForService(self, *service, nullptr);
    });
}

void Peripheral::onCharacteristicChanged(QLowEnergyService* handle,
                                         const QLowEnergyCharacteristic& c,
                                         const QByteArray& value) {
    for (const auto& service : services_) {
        if (service->handle() != handle) continue;
        for (const auto& known : service->characteristics()) {
            const auto* ours = dynamic_cast<const Characteristic*>(known.get());
            if (!ours || !(ours->handle() == c)) continue;
            // The value is set at delivery, so each report carries its own.
            deliver([known, bytes = fromBytes(value)](Peripheral& self, PeripheralDelegate& delegate) {
                known->setValue(bytes);
                delegate.didUpdateValueForCharacteristic(self, *known, nullptr);
            });
            return;
        }
    }
}

// --- requests: notifications and writes -------------------------------------

void Peripheral::setNotifyValueForCharacteristic(
    bool enabled, const std::shared_ptr<ble::Characteristic>& characteristic) {
    if (!characteristic) return;
    const auto ours = std::dynamic_pointer_cast<Characteristic>(characteristic);
    if (link_ != Link::Connected || !ours || !ours->service()) {
        deliverNotifyResult(characteristic, kNotConnected);
        return;
    }
    // BlueZ starts notifications when Qt writes this descriptor; without it
    // there is no way to subscribe.
    const QLowEnergyDescriptor cccd = ours->handle().clientCharacteristicConfiguration();
    if (!cccd.isValid()) {
        deliverNotifyResult(characteristic,
                            Error("The characteristic has no client characteristic configuration."));
        return;
    }
    const auto properties = ours->handle().properties();
    const bool indicateOnly = !(properties & QLowEnergyCharacteristic::Notify) &&
                              (properties & QLowEnergyCharacteristic::Indicate);
    const QByteArray value = !enabled       ? QLowEnergyCharacteristic::CCCDDisable
                             : indicateOnly ? QLowEnergyCharacteristic::CCCDEnableIndication
                                            : QLowEnergyCharacteristic::CCCDEnableNotification;
    requests_.submit({ours.get(), {}, false,
                      [this, weak = std::weak_ptr<Characteristic>(ours), value](uint64_t ticket) {
                          issue(ticket, RequestKind::Notify, weak, value);
                      }});
}

void Peripheral::writeValueForCharacteristic(
    const std::vector<uint8_t>& data, const std::shared_ptr<ble::Characteristic>& characteristic,
    WriteType type) {
    if (!characteristic) return;
    const auto ours = std::dynamic_pointer_cast<Characteristic>(characteristic);
    if (link_ != Link::Connected || !ours || !ours->service()) {
        deliverWriteResult(characteristic, kNotConnected);
        return;
    }
    const bool command = type == WriteType::WithoutResponse;
    if (command && !radio_->options().supersedes) {
        ours->service()->writeCharacteristic(ours->handle(), toBytes(data),
                                             QLowEnergyService::WriteWithoutResponse);
        if (writeWatch_) writeWatch_(data, false);
        return;
    }
    const RequestKind kind = command ? RequestKind::WriteCommand : RequestKind::Write;
    // Whoever watches hears of a frame without response as it goes (issue),
    // or as a newer one takes its place first.
    std::function<void()> replaced;
    if (command) {
        replaced = [this, data] {
            if (writeWatch_) writeWatch_(data, true);
        };
    }
    requests_.submit({ours.get(), data, command,
                      [this, kind, weak = std::weak_ptr<Characteristic>(ours),
                       bytes = toBytes(data)](uint64_t ticket) { issue(ticket, kind, weak, bytes); },
                      std::move(replaced)});
}

void Peripheral::issue(uint64_t ticket, RequestKind kind, const std::weak_ptr<Characteristic>& target,
                       const QByteArray& bytes) {
    const std::shared_ptr<Characteristic> characteristic = target.lock();
    QLowEnergyService* service = characteristic ? characteristic->service() : nullptr;
    if (!service) {
        // Its vehicle or its link went away while it waited.
        requests_.finish(ticket);
        return;
    }
    inFlight_ = InFlight{ticket, kind, characteristic, service};
    switch (kind) {
    case RequestKind::Notify:
        service->writeDescriptor(characteristic->handle().clientCharacteristicConfiguration(), bytes);
        requestTimer_->start(radio_->options().requestTimeout);
        break;
    case RequestKind::Write:
        service->writeCharacteristic(characteristic->handle(), bytes,
                                     QLowEnergyService::WriteWithResponse);
        requestTimer_->start(radio_->options().requestTimeout);
        break;
    case RequestKind::WriteCommand:
        // Qt reports nothing for a write without response, and no stack
        // pushes back on a stream of them: the queue moves on at once while
        // the link's burst lasts, else once it has refilled, so that a fast
        // stream never builds a backlog and only what would wait is merged.
        service->writeCharacteristic(characteristic->handle(), bytes,
                                     QLowEnergyService::WriteWithoutResponse);
        if (writeWatch_) writeWatch_(std::vector<uint8_t>(bytes.begin(), bytes.end()), false);
        {
            const auto now = radio_->loop().now();
            writeRoom_.take(now);
            const auto wait = writeRoom_.roomAt() - now;
            if (wait <= std::chrono::milliseconds{0}) {
                inFlight_ = InFlight{};
                requests_.finish(ticket);
                break;
            }
            QTimer::singleShot(wait, receiver_.get(), [this, ticket] {
                if (inFlight_.ticket == ticket) inFlight_ = InFlight{};
                requests_.finish(ticket);
            });
        }
        break;
    case RequestKind::None:
        requests_.finish(ticket);
        break;
    }
}

void Peripheral::answered(uint64_t ticket) {
    requestTimer_->stop();
    inFlight_ = InFlight{};
    // From a later turn: Qt hands BlueZ its next request only after the
    // handler of this answer has returned.
    QMetaObject::invokeMethod(
        receiver_.get(), [this, ticket] { requests_.finish(ticket); }, Qt::QueuedConnection);
}

void Peripheral::onRequestTimeout() {
    const InFlight lost = inFlight_;
    if (lost.ticket == 0) return;
    const std::shared_ptr<Characteristic> characteristic = lost.characteristic.lock();
    if (characteristic) {
        const Error error("The Bluetooth stack did not answer in time.");
        if (lost.kind == RequestKind::Notify) deliverNotifyResult(characteristic, error);
        if (lost.kind == RequestKind::Write) deliverWriteResult(characteristic, error);
    }
    answered(lost.ticket);
}

void Peripheral::onCharacteristicWritten(QLowEnergyService* service) {
    if (inFlight_.kind != RequestKind::Write || inFlight_.service != service) return;
    if (const auto characteristic = inFlight_.characteristic.lock()) {
        deliverWriteResult(characteristic, std::nullopt);
    }
    answered(inFlight_.ticket);
}

void Peripheral::onDescriptorWritten(QLowEnergyService* service,
                                     const QLowEnergyDescriptor& descriptor) {
    if (inFlight_.kind != RequestKind::Notify || inFlight_.service != service) return;
    if (descriptor.uuid() !=
        QBluetoothUuid(QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration)) {
        return;
    }
    if (const auto characteristic = inFlight_.characteristic.lock()) {
        deliverNotifyResult(characteristic, std::nullopt);
    }
    answered(inFlight_.ticket);
}

void Peripheral::onServiceError(QLowEnergyService* service, QLowEnergyService::ServiceError error) {
    // One request at a time reaches Qt, so an error of this service is the
    // request in flight's.
    if (inFlight_.ticket == 0 || inFlight_.service != service) return;
    const std::shared_ptr<Characteristic> characteristic = inFlight_.characteristic.lock();
    const Error reported(describe(error));
    if (error == QLowEnergyService::DescriptorWriteError && inFlight_.kind == RequestKind::Notify) {
        if (characteristic) deliverNotifyResult(characteristic, reported);
        answered(inFlight_.ticket);
    } else if (error == QLowEnergyService::CharacteristicWriteError &&
               (inFlight_.kind == RequestKind::Write || inFlight_.kind == RequestKind::WriteCommand)) {
        if (characteristic) deliverWriteResult(characteristic, reported);
        answered(inFlight_.ticket);
    }
}

}  // namespace ble::qt
