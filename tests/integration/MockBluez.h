// The mock BlueZ (mock_bluez_le.py on dbusmock) as a test or a bench sees it:
// started as a child process on the private system bus that with_mock_bus.py
// provides, and driven over D-Bus. Every call is synchronous; a failed call
// throws std::runtime_error.
#pragma once

#include <QByteArray>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <map>
#include <vector>

class MockBluez {
public:
    struct Write {
        std::vector<uint8_t> bytes;
        QString type;          // the "type" option: "command", "request" or empty
        double monotonicTime;  // CLOCK_MONOTONIC seconds, as std::chrono::steady_clock
    };
    // The objects of one vehicle: the vehicle service with its read
    // (notifying, with a client configuration descriptor) and write
    // characteristics.
    struct Vehicle {
        QString device;
        QString service;
        QString readCharacteristic;
        QString writeCharacteristic;
    };

    static constexpr const char* kVehicleService = "be15beef-6186-407e-8381-0bd89c4d8df4";
    static constexpr const char* kReadCharacteristic = "be15bee0-6186-407e-8381-0bd89c4d8df4";
    static constexpr const char* kWriteCharacteristic = "be15bee1-6186-407e-8381-0bd89c4d8df4";
    static constexpr const char* kClientConfiguration = "00002902-0000-1000-8000-00805f9b34fb";

    MockBluez();
    ~MockBluez();
    MockBluez(const MockBluez&) = delete;
    MockBluez& operator=(const MockBluez&) = delete;

    // Whether the private system bus of with_mock_bus.py is there.
    static bool busAvailable();

    // Starts the mock and waits until it owns org.bluez.
    void start();
    void stop();
    QString logPath() const;

    // Adds an adapter "hci<n>": address 0n:0n+1:..., powered. Returns its path.
    QString addAdapter(const QString& name = QStringLiteral("hci0"),
                       const QString& alias = QStringLiteral("zelto-test"));
    QString addDevice(const QString& address, const QString& name, const QStringList& uuids,
                      const std::map<quint16, QByteArray>& manufacturerData, int16_t rssi);
    // A vehicle advertising the vehicle service and manufacturer data
    // BE EF 00 <model> <identifier, big-endian>, with its GATT objects.
    Vehicle addVehicle(const QString& address, uint32_t identifier, uint8_t model, int16_t rssi);
    // The same vehicle heard by an adapter ("hci1"): BlueZ's object for it there.
    Vehicle addVehicleOn(const QString& adapter, const QString& address, uint32_t identifier, uint8_t model,
                         int16_t rssi);
    // One vehicle heard by several adapters, each with its own signal: its
    // objects, in the order given.
    struct Hearing {
        QString adapter;
        int16_t rssi;
    };
    std::vector<Vehicle> addVehicleHeardBy(const QString& address, uint32_t identifier, uint8_t model,
                                           const std::vector<Hearing>& hearings);

    void setConnectMode(const QString& device, const QString& mode);
    // Finishes a connection left hanging: BlueZ reports the services resolved.
    void resolveServices(const QString& device);
    // The device indicates Service Changed: ServicesResolved false, acquired
    // sockets closed, GATT objects removed and added again one per main-loop
    // turn, then ServicesResolved true; the link stays up.
    void serviceChanged(const QString& device);
    void disconnectRemote(const QString& device);
    void emitNotification(const QString& characteristic, const QByteArray& value);
    std::vector<Write> writes(const QString& characteristic);
    // The newest write's bytes and time (empty before any): cheap to poll.
    Write lastWrite(const QString& characteristic);
    void clearWrites(const QString& characteristic);
    void setWriteDelay(double seconds);
    // How long Disconnect takes (BlueZ's 2 s by default).
    void setDisconnectDelay(double seconds);
    // A property of a BlueZ object as a client reads it; invalid when absent.
    QVariant property(const QString& objectPath, const QString& interface, const QString& name);
    // How often a method of the object was called.
    int callCount(const QString& objectPath, const QString& method);
    void setPowered(const QString& adapter, bool powered);
    void setRssi(const QString& device, int16_t rssi);
    // Device1.Paired and Device1.Trusted, as pairing or a user would set them.
    void setPaired(const QString& device, bool paired);
    void setTrusted(const QString& device, bool trusted);
    // Whether BlueZ holds an object at that path (its managed objects).
    bool hasObject(const QString& objectPath);
    // Makes a GATT method (WriteValue, StartNotify) of the object fail, or work.
    void setFailure(const QString& objectPath, const QString& method, bool on);
    // Hangs the mock for that long; returns at once.
    void freezeFor(double seconds);
    // Stops the mock's process (SIGSTOP) and lets it go on (SIGCONT): BlueZ
    // frozen, not answering, not reading its sockets. Nothing may call the
    // mock in between.
    void suspend();
    void resume();
    // BlueZ forgets a device (its temporary timeout, or RemoveDevice).
    void removeDevice(const QString& device);
    // With its devices: they go without being disconnected first.
    void removeAdapter(const QString& name = QStringLiteral("hci0"), bool withDevices = false);
    // The adapter is unplugged: it goes, then its devices, their links with them.
    void unplugAdapter(const QString& name);
    // The adapter's controller takes that many links: a Connect beyond fails
    // with org.bluez.Error.Failed and the message (empty: BlueZ 5.66's
    // "le-connection-abort-by-local"). Negative: no limit.
    void setAdapterCapacity(const QString& name, int links, const QString& message = {});

    // Another program on the bus. It connected the device and ended without
    // letting go (a crash): the link stays up, the RSSI goes with its discovery.
    void leaveConnected(const QString& device);
    // It holds the characteristic's write socket (AcquireWrite) until stop().
    void holdWriteSocket(const QString& characteristic);
    // It asks BlueZ to connect the device; the answer goes to it, not here.
    void connectAsAnotherProgram(const QString& device);

private:
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QList<QVariant>& arguments);
    QDBusMessage callMock(const QString& method, const QList<QVariant>& arguments);
    void updateProperties(const QString& path, const QString& interface, const QVariantMap& changes);
    QString addDeviceOn(const QString& adapter, const QString& address, const QString& name, const QStringList& uuids,
                        const std::map<quint16, QByteArray>& manufacturerData, int16_t rssi);

    QTemporaryDir scratch_;
    QProcess process_;
    std::vector<QDBusUnixFileDescriptor> heldSockets_;
};
