// The local adapter over Qt Bluetooth: its powered state, LE scanning with a
// service filter, and connections. Every report reaches the delegate later,
// posted on the event loop.
//
// Scanning runs until stopScan(): Qt's discovery would end after 40 s by
// itself, so its timeout is switched off, and a scan that ends anyway starts
// again. Only devices seen live are reported: when a scan starts Qt first
// replays BlueZ's cached devices, and those out of range carry RSSI 0.
#pragma once

#include <QBluetoothDeviceInfo>
#include <QBluetoothLocalDevice>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ble/Bluetooth.h"

class QBluetoothDeviceDiscoveryAgent;
class QObject;
class QTimer;

namespace ble::qt {

class Peripheral;
class RadioContext;

class Central : public ble::Central, public std::enable_shared_from_this<Central> {
public:
    // Makes the central the radio's current one; its first state report follows.
    static std::shared_ptr<Central> create(std::shared_ptr<RadioContext> radio,
                                           std::weak_ptr<CentralDelegate> delegate);
    ~Central() override;

    CentralState state() const override { return state_; }
    void scanForPeripheralsWithServices(const std::vector<Uuid>& services) override;
    void stopScan() override;
    void connectPeripheral(const std::shared_ptr<ble::Peripheral>& peripheral) override;

    std::shared_ptr<CentralDelegate> delegate() const { return delegate_.lock(); }
    bool isScanning() const;

private:
    Central(std::shared_ptr<RadioContext> radio, std::weak_ptr<CentralDelegate> delegate);

    void postStateReport();
    void onHostModeChanged(QBluetoothLocalDevice::HostMode mode);
    void startAgent();
    void restartLater();
    void onDeviceSeen(const QBluetoothDeviceInfo& info);
    std::shared_ptr<Peripheral> peripheralFor(const QBluetoothDeviceInfo& info);

    std::shared_ptr<RadioContext> radio_;
    std::weak_ptr<CentralDelegate> delegate_;
    // The receiver of every Qt connection: they all end with the central.
    std::unique_ptr<QObject> receiver_;
    QTimer* restartTimer_ = nullptr;
    QBluetoothLocalDevice* localDevice_ = nullptr;
    QBluetoothDeviceDiscoveryAgent* agent_ = nullptr;
    CentralState state_ = CentralState::Unknown;
    bool scanWanted_ = false;
    std::vector<Uuid> scanFilter_;
    // Set while Qt replays the cached devices inside start().
    bool replaying_ = false;
    // One object per device, so that every report of a device is the same peripheral.
    std::map<std::string, std::shared_ptr<Peripheral>> peripherals_;
};

}  // namespace ble::qt
