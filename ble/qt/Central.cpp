#include "ble/qt/Central.h"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QObject>
#include <QTimer>
#include <algorithm>

#include "ble/UuidFilter.h"
#include "ble/EventLoop.h"
#include "ble/qt/ManufacturerData.h"
#include "ble/qt/Peripheral.h"
#include "ble/qt/RadioContext.h"
#include "ble/qt/UuidConversion.h"

namespace ble::qt {
namespace {

constexpr std::chrono::milliseconds kRestartDelay{1000};

CentralState stateOf(const QBluetoothLocalDevice& device) {
    if (!device.isValid()) return CentralState::Unsupported;
    return device.hostMode() == QBluetoothLocalDevice::HostPoweredOff ? CentralState::PoweredOff
                                                                      : CentralState::PoweredOn;
}

AdvertisementData advertisementOf(const QBluetoothDeviceInfo& info) {
    AdvertisementData data;
    data.manufacturerData = rebuildManufacturerData(info.manufacturerData());
    data.localName = info.name().toStdString();
    for (const QBluetoothUuid& uuid : info.serviceUuids()) data.serviceUuids.push_back(fromQt(uuid));
    return data;
}

}  // namespace

std::shared_ptr<Central> Central::create(std::shared_ptr<RadioContext> radio,
                                         std::weak_ptr<CentralDelegate> delegate) {
    std::shared_ptr<Central> central(new Central(radio, std::move(delegate)));
    radio->setCentral(central);
    central->postStateReport();
    return central;
}

Central::Central(std::shared_ptr<RadioContext> radio, std::weak_ptr<CentralDelegate> delegate)
    : radio_(std::move(radio)), delegate_(std::move(delegate)), receiver_(std::make_unique<QObject>()) {
    restartTimer_ = new QTimer(receiver_.get());
    restartTimer_->setSingleShot(true);
    QObject::connect(restartTimer_, &QTimer::timeout, receiver_.get(), [this] {
        if (scanWanted_ && state_ == CentralState::PoweredOn && !isScanning()) startAgent();
    });

    localDevice_ = radio_->adapter().isNull() ? new QBluetoothLocalDevice()
                                              : new QBluetoothLocalDevice(radio_->adapter());
    state_ = stateOf(*localDevice_);
    QObject::connect(localDevice_, &QBluetoothLocalDevice::hostModeStateChanged, receiver_.get(),
                     [this](QBluetoothLocalDevice::HostMode mode) { onHostModeChanged(mode); });
}

Central::~Central() {
    // Connected peripherals live on with their vehicles; only the scan ends.
    receiver_.reset();
    if (agent_) {
        if (agent_->isActive()) agent_->stop();
        agent_->deleteLater();
    }
    localDevice_->deleteLater();
}

void Central::postStateReport() {
    radio_->loop().post([weak = weak_from_this()] {
        const std::shared_ptr<Central> self = weak.lock();
        if (!self) return;
        if (const auto delegate = self->delegate()) delegate->centralManagerDidUpdateState(*self);
    });
}

void Central::onHostModeChanged(QBluetoothLocalDevice::HostMode mode) {
    // Connectable and discoverable are both powered on: only a change of
    // power is a change of state.
    const CentralState now = mode == QBluetoothLocalDevice::HostPoweredOff
                                 ? CentralState::PoweredOff
                                 : CentralState::PoweredOn;
    if (now == state_) return;
    state_ = now;
    postStateReport();
    if (state_ == CentralState::PoweredOn && scanWanted_ && !isScanning()) startAgent();
}

bool Central::isScanning() const { return agent_ && agent_->isActive(); }

void Central::scanForPeripheralsWithServices(const std::vector<Uuid>& services) {
    scanWanted_ = true;
    scanFilter_ = services;
    // Without power the request is kept: scanning starts when power comes.
    if (state_ != CentralState::PoweredOn || isScanning()) return;
    startAgent();
}

void Central::stopScan() {
    scanWanted_ = false;
    restartTimer_->stop();
    if (isScanning()) agent_->stop();
}

void Central::startAgent() {
    if (!agent_) {
        agent_ = radio_->adapter().isNull() ? new QBluetoothDeviceDiscoveryAgent()
                                            : new QBluetoothDeviceDiscoveryAgent(radio_->adapter());
        agent_->setLowEnergyDiscoveryTimeout(0);  // until stop()
        QObject* receiver = receiver_.get();
        QObject::connect(agent_, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, receiver,
                         [this](const QBluetoothDeviceInfo& info) {
                             if (replaying_ && info.rssi() == 0) return;  // cached, out of range
                             onDeviceSeen(info);
                         });
        QObject::connect(agent_, &QBluetoothDeviceDiscoveryAgent::deviceUpdated, receiver,
                         [this](const QBluetoothDeviceInfo& info, QBluetoothDeviceInfo::Fields) {
                             onDeviceSeen(info);
                         });
        QObject::connect(agent_, &QBluetoothDeviceDiscoveryAgent::finished, receiver,
                         [this] { restartLater(); });
        QObject::connect(agent_, &QBluetoothDeviceDiscoveryAgent::errorOccurred, receiver,
                         [this](QBluetoothDeviceDiscoveryAgent::Error) { restartLater(); });
    }
    // start() reports BlueZ's cached devices before it returns.
    replaying_ = true;
    agent_->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
    replaying_ = false;
}

void Central::restartLater() {
    if (scanWanted_) restartTimer_->start(kRestartDelay);
}

void Central::onDeviceSeen(const QBluetoothDeviceInfo& info) {
    if (!scanWanted_) return;
    std::vector<Uuid> advertised;
    for (const QBluetoothUuid& uuid : info.serviceUuids()) advertised.push_back(fromQt(uuid));
    if (!filterPassesAny(scanFilter_, advertised)) return;
    std::shared_ptr<Peripheral> peripheral = peripheralFor(info);
    peripheral->setDeviceInfo(info);
    radio_->loop().post([weak = weak_from_this(), peripheral, advertisement = advertisementOf(info),
                         rssi = static_cast<int>(info.rssi())] {
        const std::shared_ptr<Central> self = weak.lock();
        if (!self) return;
        if (const auto delegate = self->delegate()) {
            delegate->didDiscoverPeripheral(*self, peripheral, advertisement, rssi);
        }
    });
}

std::shared_ptr<Peripheral> Central::peripheralFor(const QBluetoothDeviceInfo& info) {
    const std::string key = deviceKey(info);
    auto& held = peripherals_[key];
    if (!held) {
        held = radio_->peripheral(key);
        if (!held) {
            held = std::make_shared<Peripheral>(radio_, info);
            radio_->remember(key, held);
        }
    }
    return held;
}

void Central::connectPeripheral(const std::shared_ptr<ble::Peripheral>& peripheral) {
    if (!peripheral) return;
    if (const auto ours = std::dynamic_pointer_cast<Peripheral>(peripheral)) {
        ours->connect();
        return;
    }
    radio_->loop().post([weak = weak_from_this(), peripheral] {
        const std::shared_ptr<Central> self = weak.lock();
        if (!self) return;
        static const Error foreign("The peripheral does not belong to this radio.");
        if (const auto delegate = self->delegate()) {
            delegate->didFailToConnectPeripheral(*self, *peripheral, &foreign);
        }
    });
}

}  // namespace ble::qt
