// The whole link on the BlueZ radio, against the mock BlueZ on a private
// system bus: the road with and without acquired sockets, links that end in
// every way BlueZ ends them, a second Connect, and BlueZ frozen, restarted or
// flooded with advertisers that never connect.
#include <QElapsedTimer>

#include "BluezRadioFixture.h"

namespace {

using namespace bluez_test;

struct Transport {
    const char* name;
    bool acquire;  // BlueZ hands out sockets, else it refuses and D-Bus carries all
};

void PrintTo(const Transport& transport, std::ostream* out) { *out << transport.name; }

class BluezRoad : public BluezRadio, public ::testing::WithParamInterface<Transport> {};

TEST_P(BluezRoad, FromDiscoveryToRemoteDisconnection) {
    const bool acquire = GetParam().acquire;
    beginScan();
    const QString device = QStringLiteral("/org/bluez/hci0/dev_C0_11_22_33_44_55");
    const QString read = device + QStringLiteral("/service000a/char000b");
    const QString write = device + QStringLiteral("/service000a/char000e");
    if (!acquire) {
        mock_.setFailure(read, QStringLiteral("AcquireNotify"), true);
        mock_.setFailure(write, QStringLiteral("AcquireWrite"), true);
    }
    const MockBluez::Vehicle car = mock_.addVehicle("C0:11:22:33:44:55", 0x12345678, 9, -50);
    ASSERT_EQ(car.writeCharacteristic, write);

    ASSERT_TRUE(waitForWrites(car.writeCharacteristic, 2));
    const auto vehicle = controller_->findVehicleById(0x12345678);
    ASSERT_NE(vehicle, nullptr);
    EXPECT_EQ(vehicle->peripheral()->identifier(), "C0:11:22:33:44:55");
    EXPECT_EQ(vehicle->peripheral()->name(), "Drive");
    EXPECT_EQ(bytesOf(mock_.writes(car.writeCharacteristic)), (std::vector<Bytes>{kSetSdkMode, kGetVersion}));
    for (const auto& written : mock_.writes(car.writeCharacteristic)) EXPECT_EQ(written.type, "command");
    EXPECT_EQ(mock_.callCount(car.readCharacteristic, "StartNotify"), acquire ? 0 : 1);
    EXPECT_EQ(mock_.callCount(car.readCharacteristic, "AcquireNotify"), 1);
    EXPECT_EQ(mock_.callCount(car.writeCharacteristic, "AcquireWrite"), 1);
    EXPECT_EQ(mock_.callCount(car.writeCharacteristic, "WriteValue"), acquire ? 0 : 2);
    EXPECT_EQ(log_.count("Connected to vehicle id=0x12345678"), 1);

    mock_.emitNotification(car.readCharacteristic, QByteArray::fromHex("03193412"));
    EXPECT_TRUE(waitFor([&] { return log_.contains("Version response 0x1234"); }));

    vehicle->setSpeed(500.0f);
    ASSERT_TRUE(waitForWrites(car.writeCharacteristic, 3));
    EXPECT_EQ(mock_.writes(car.writeCharacteristic)[2].bytes, setSpeedFrame(500));

    mock_.disconnectRemote(car.device);
    ASSERT_TRUE(waitFor([&] { return controller_->findVehicleById(0x12345678) == nullptr; }));
    EXPECT_TRUE(log_.contains("Disconnected vehicle id=0x12345678, error=The device disconnected."));
}

INSTANTIATE_TEST_SUITE_P(Transports, BluezRoad,
                         ::testing::Values(Transport{"AcquiredSockets", true}, Transport{"DBusCalls", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BluezRadio, FailedAndTimedOutConnectionsAreReported) {
    ble::bluez::RadioOptions options = defaults();
    options.connectTimeout = std::chrono::milliseconds(1500);
    options.readyTimeout = std::chrono::milliseconds(1500);
    beginScan(options);
    struct Case {
        const char* mode;
        uint32_t id;
        const char* address;
        const char* line;
    };
    const std::vector<Case> cases{
        {"fail", 0x0a0b0c01, "C0:11:22:33:44:01",
         "Failed to connect to vehicle id=0x0a0b0c01, error=org.bluez.Error.Failed: le-connection-abort-by-local"},
        {"never", 0x0a0b0c02, "C0:11:22:33:44:02",
         "Failed to connect to vehicle id=0x0a0b0c02, error=The connection timed out."},
        {"hang", 0x0a0b0c03, "C0:11:22:33:44:03",
         "Failed to connect to vehicle id=0x0a0b0c03, error=The device's services were not resolved in time."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        const MockBluez::Vehicle car = mock_.addVehicle(QString::fromLatin1(c.address), c.id, 9, -60);
        mock_.setConnectMode(car.device, QString::fromLatin1(c.mode));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        EXPECT_TRUE(waitFor([&] { return log_.contains(c.line); })) << c.line;
        EXPECT_EQ(controller_->findVehicleById(c.id), nullptr);
    }
}

struct LinkEnd {
    const char* name;
    std::function<void(MockBluez&, const MockBluez::Vehicle&)> end;
    const char* reason;
};

void PrintTo(const LinkEnd& end, std::ostream* out) { *out << end.name; }

class BluezLinkEnd : public BluezRadio, public ::testing::WithParamInterface<LinkEnd> {};

TEST_P(BluezLinkEnd, IsReportedOnceWithItsReason) {
    beginScan();
    const MockBluez::Vehicle car = driveableVehicle(0x7001, "C0:11:22:33:44:70");
    GetParam().end(mock_, car);
    const std::string line = std::string("Disconnected vehicle id=0x00007001, error=") + GetParam().reason;
    ASSERT_TRUE(waitFor([&] { return log_.contains(line); })) << line;
    QTest::qWait(300);
    EXPECT_EQ(log_.count("Disconnected vehicle id=0x00007001"), 1);
    EXPECT_EQ(controller_->findVehicleById(0x7001), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, BluezLinkEnd,
    ::testing::Values(
        LinkEnd{"DeviceDisconnects", [](MockBluez& m, const auto& car) { m.disconnectRemote(car.device); },
                "The device disconnected."},
        // BlueZ disconnects a device before it removes it ...
        LinkEnd{"DeviceRemoved", [](MockBluez& m, const auto& car) { m.removeDevice(car.device); },
                "The device disconnected."},
        // ... but an adapter that goes may take its devices without a word.
        LinkEnd{"AdapterRemovedWithItsDevices", [](MockBluez& m, const auto&) { m.removeAdapter("hci0", true); },
                "The device is gone from BlueZ."},
        LinkEnd{"AdapterPoweredOff", [](MockBluez& m, const auto&) { m.setPowered("/org/bluez/hci0", false); },
                "The Bluetooth adapter was powered off."},
        LinkEnd{"AdapterRemoved", [](MockBluez& m, const auto&) { m.removeAdapter(); },
                "The Bluetooth adapter was removed."},
        LinkEnd{"BluezLeaves", [](MockBluez& m, const auto&) { m.stop(); }, "BlueZ left the system bus."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BluezRadio, ABurstOfSpeedsSendsOnlyWhatThePaceAllowsAndEndsWithTheNewest) {
    beginScan();
    const MockBluez::Vehicle car = driveableVehicle(0x8001, "C0:11:22:33:44:80");
    const auto vehicle = controller_->findVehicleById(0x8001);
    QTest::qWait(100);  // the burst the handshake took has refilled
    for (int speed = 1; speed <= 1000; ++speed) vehicle->setSpeed(static_cast<float>(speed));
    vehicle->spin180();
    ASSERT_TRUE(waitForLastWrite(car.writeCharacteristic, Bytes{0x01, 0x32}));
    QTest::qWait(100);
    // The burst's three speeds at once, the newest when the pace allows, then the turn.
    EXPECT_EQ(bytesOf(mock_.writes(car.writeCharacteristic)),
              (std::vector<Bytes>{setSpeedFrame(1), setSpeedFrame(2), setSpeedFrame(3), setSpeedFrame(1000),
                                  Bytes{0x01, 0x32}}));
    EXPECT_EQ(vehicle->peripheral()->writesSuperseded(), 996u);
}

TEST_F(BluezRadio, AFailedWriteIsReportedAndTheNextOneStillGoes) {
    beginScan();
    const QString write = QStringLiteral("/org/bluez/hci0/dev_C0_11_22_33_44_81/service000a/char000e");
    mock_.setFailure(write, QStringLiteral("AcquireWrite"), true);
    const MockBluez::Vehicle car = driveableVehicle(0x8101, "C0:11:22:33:44:81");
    mock_.setFailure(car.writeCharacteristic, QStringLiteral("WriteValue"), true);
    const auto vehicle = controller_->findVehicleById(0x8101);
    vehicle->setSpeed(100);
    ASSERT_TRUE(waitFor([&] {
        return log_.contains("Error writing value for characteristic BE15BEE1-6186-407E-8381-0BD89C4D8DF4 "
                             "error: org.bluez.Error.Failed: WriteValue failed");
    }));
    mock_.setFailure(car.writeCharacteristic, QStringLiteral("WriteValue"), false);
    vehicle->setSpeed(200);
    ASSERT_TRUE(waitForLastWrite(car.writeCharacteristic, setSpeedFrame(200)));
}

TEST_F(BluezRadio, ASecondScanDisturbsNoCar) {
    beginScan();
    const MockBluez::Vehicle driving = driveableVehicle(0x6001, "C0:11:22:33:44:63");
    const auto first = controller_->findVehicleById(0x6001);
    const MockBluez::Vehicle connecting = mock_.addVehicle("C0:11:22:33:44:64", 0x6002, 18, -50);
    mock_.setConnectMode(connecting.device, QStringLiteral("hang"));
    ASSERT_TRUE(waitFor([&] { return mock_.callCount(connecting.device, "Connect") >= 1; }));

    beginScan();
    first->setSpeed(250);
    ASSERT_TRUE(waitForLastWrite(driving.writeCharacteristic, setSpeedFrame(250)));
    EXPECT_EQ(bytesOf(mock_.writes(driving.writeCharacteristic)), (std::vector<Bytes>{setSpeedFrame(250)}));
    EXPECT_EQ(controller_->findVehicleById(0x6001), first);

    mock_.resolveServices(connecting.device);
    ASSERT_TRUE(waitForWrites(connecting.writeCharacteristic, 2));
    EXPECT_EQ(bytesOf(mock_.writes(connecting.writeCharacteristic)), (std::vector<Bytes>{kSetSdkMode, kGetVersion}));
    EXPECT_EQ(mock_.callCount(driving.device, "Connect"), 1);
    EXPECT_EQ(log_.count("Discovered new vehicle"), 2);
    EXPECT_EQ(log_.count("Disconnected"), 0);

    mock_.disconnectRemote(driving.device);
    ASSERT_TRUE(waitFor([&] { return log_.contains("Disconnected vehicle id=0x00006001"); }));
}

TEST_F(BluezRadio, FrozenBluezNeverHoldsTheLoopAndTheLastSpeedArrivesAfterTheThaw) {
    beginScan();
    const MockBluez::Vehicle car = driveableVehicle(0x9001, "C0:11:22:33:44:90");
    const auto vehicle = controller_->findVehicleById(0x9001);
    mock_.suspend();
    QElapsedTimer frozen;
    frozen.start();
    qint64 slowest = 0;
    int speed = 0;
    while (frozen.elapsed() < 8000) {
        QElapsedTimer call;
        call.start();
        vehicle->setSpeed(static_cast<float>(++speed));
        slowest = std::max(slowest, call.elapsed());
        QTest::qWait(10);
    }
    mock_.resume();
    // Generous: a safety net, not a measure (the bench measures).
    EXPECT_LT(slowest, 1000);
    ASSERT_TRUE(waitForLastWrite(car.writeCharacteristic, setSpeedFrame(static_cast<uint16_t>(speed))));
    EXPECT_EQ(log_.count("Disconnected"), 0);
    EXPECT_EQ(controller_->findVehicleById(0x9001), vehicle);
}

TEST_F(BluezRadio, ARestartedBluezFindsTheVehicleAgainWithItsHandshake) {
    beginScan();
    driveableVehicle(0xA001, "C0:11:22:33:44:A0");
    mock_.stop();
    ASSERT_TRUE(waitFor([&] { return log_.contains("Disconnected vehicle id=0x0000a001, error=BlueZ left the system bus."); }));
    mock_.start();
    mock_.addAdapter();
    const MockBluez::Vehicle again = mock_.addVehicle("C0:11:22:33:44:A0", 0xA001, 9, -50);
    ASSERT_TRUE(waitForWrites(again.writeCharacteristic, 2));
    EXPECT_EQ(bytesOf(mock_.writes(again.writeCharacteristic)), (std::vector<Bytes>{kSetSdkMode, kGetVersion}));
    EXPECT_EQ(log_.count("Discovered new vehicle, model=0x0009, id=0x0000a001"), 2);
}

TEST_F(BluezRadio, AmongFiveHundredAdvertisersThatNeverConnectTheVehicleDrives) {
    ble::bluez::RadioOptions options = defaults();
    options.connectTimeout = std::chrono::milliseconds(100);  // the crowd passes in seconds
    options.connectsPerAdapter = 4;                           // the mock connects side by side
    beginScan(options);
    uint32_t seed = 12345;
    const auto addFakes = [&](int count, int from) {
        for (int i = from; i < from + count; ++i) {
            seed = seed * 1103515245u + 12345u;
            const QString address = QStringLiteral("D0:00:00:00:%1:%2")
                                        .arg(i / 256, 2, 16, QLatin1Char('0'))
                                        .arg(i % 256, 2, 16, QLatin1Char('0'))
                                        .toUpper();
            const MockBluez::Vehicle fake = mock_.addVehicle(address, seed | 0x80000000u, 9, -80);
            mock_.setConnectMode(fake.device, QStringLiteral("never"));
        }
    };
    addFakes(250, 0);
    const MockBluez::Vehicle car = mock_.addVehicle("C0:11:22:33:44:B0", 0xB001, 18, -40);
    addFakes(250, 250);
    ASSERT_TRUE(waitFor([&] { return controller_->findVehicleById(0xB001) &&
                                     controller_->findVehicleById(0xB001)->active(); }, 60000));
    controller_->findVehicleById(0xB001)->setSpeed(300);
    ASSERT_TRUE(waitForLastWrite(car.writeCharacteristic, setSpeedFrame(300)));
    // Every fake gave up and went: only the vehicle stays listed.
    ASSERT_TRUE(waitFor([&] { return controller_->vehicles()->size() == 1; }, 60000));
}

}  // namespace
