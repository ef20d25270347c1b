// The whole link (VehiclesController, Vehicle) on the real Qt Bluetooth radio,
// against a mock BlueZ on a private system bus: discovery, connection, the
// handshake, notifications, commands, disconnection and failures, as BlueZ's
// D-Bus interface carries them.
#include "LinkOnMockBluez.h"
#include "ble/qt/CentralFactory.h"
#include "ble/qt/Peripheral.h"

namespace {

using namespace mock_link;

class RadioOverMockBluez : public LinkOnMockBluez {
protected:
    static ble::qt::RadioOptions withTheProtocolsRule() {
        ble::qt::RadioOptions options;
        options.supersedes = link_rules::vehicleFrames();
        // One write per interval: which frames merge then depends on no
        // clock (the burst's own rule is the pacer table's, on a test clock).
        options.writeBurst = 1;
        return options;
    }

    void beginScan(ble::qt::RadioOptions options = withTheProtocolsRule()) {
        beginScanOn([&] { return ble::qt::makeCentralFactory(loop_, std::move(options)); });
    }

    // The vehicle's peripheral's requests: idle once every write is through.
    bool waitUntilIdle(uint32_t identifier) {
        return waitFor([&] {
            const auto vehicle = controller_->findVehicleById(identifier);
            const auto peripheral =
                vehicle ? std::dynamic_pointer_cast<ble::qt::Peripheral>(vehicle->peripheral()) : nullptr;
            return peripheral && !peripheral->requests().busy() && peripheral->requests().waiting() == 0;
        });
    }

    // A vehicle seen live, connected and through its handshake.
    MockBluez::Vehicle driveableVehicle(uint32_t identifier, const QString& address) {
        beginScan();
        const MockBluez::Vehicle vehicle = mock_.addVehicle(address, identifier, 9, -50);
        EXPECT_TRUE(waitForWrites(vehicle.writeCharacteristic, 2));
        EXPECT_TRUE(waitUntilIdle(identifier));
        mock_.clearWrites(vehicle.writeCharacteristic);
        return vehicle;
    }
};

TEST_F(RadioOverMockBluez, TheWholeRoadFromDiscoveryToRemoteDisconnection) {
    beginScan();
    EXPECT_TRUE(log_.contains("Power ON = 5"));

    const MockBluez::Vehicle car = mock_.addVehicle("C0:11:22:33:44:55", 0x12345678, 9, -50);
    ASSERT_TRUE(waitFor([&] { return controller_->findVehicleById(0x12345678) != nullptr; }));
    EXPECT_TRUE(log_.contains("Discovered new vehicle, model=0x0009, id=0x12345678"));
    const auto vehicle = controller_->findVehicleById(0x12345678);
    EXPECT_EQ(vehicle->modelIdentifier(), 9);
    EXPECT_EQ(vehicle->peripheral()->identifier(), "C0:11:22:33:44:55");

    // Connected, both characteristics found, subscribed, handshake written.
    ASSERT_TRUE(waitForWrites(car.writeCharacteristic, 2));
    EXPECT_TRUE(log_.contains("Connected to vehicle id=0x12345678"));
    EXPECT_TRUE(log_.contains("Discovered write channel"));
    EXPECT_TRUE(log_.contains("Discovered read channel"));
    EXPECT_EQ(mock_.callCount(car.readCharacteristic, "StartNotify"), 1);
    ASSERT_TRUE(waitUntilIdle(0x12345678));
    const auto handshake = mock_.writes(car.writeCharacteristic);
    ASSERT_EQ(handshake.size(), 2u);
    EXPECT_EQ(handshake[0].bytes, kSetSdkMode);
    EXPECT_EQ(handshake[1].bytes, kGetVersion);
    for (const auto& write : handshake) EXPECT_EQ(write.type, "command");
    EXPECT_TRUE(vehicle->active());

    mock_.emitNotification(car.readCharacteristic, QByteArray::fromHex("03193412"));
    EXPECT_TRUE(waitFor([&] { return log_.contains("Version response 0x1234"); }));

    vehicle->setSpeed(500.0f);
    ASSERT_TRUE(waitForWrites(car.writeCharacteristic, 3));
    const auto written = mock_.writes(car.writeCharacteristic);
    EXPECT_EQ(written[2].bytes, (Bytes{0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00}));
    EXPECT_EQ(written[2].type, "command");

    mock_.disconnectRemote(car.device);
    EXPECT_TRUE(waitFor([&] { return controller_->findVehicleById(0x12345678) == nullptr; }));
    EXPECT_TRUE(log_.contains("Disconnected vehicle id=0x12345678, error="));
    EXPECT_TRUE(controller_->vehicles()->empty());
}

TEST_F(RadioOverMockBluez, AFailingConnectionIsLoggedAndDropsTheVehicle) {
    beginScan();
    const MockBluez::Vehicle car = mock_.addVehicle("C0:11:22:33:44:56", 0x0A0B0C0D, 18, -60);
    // The call returns before the program can ask to connect.
    mock_.setConnectMode(car.device, "fail");
    ASSERT_TRUE(waitFor([&] { return log_.contains("Failed to connect to vehicle id=0x0a0b0c0d, error="); }));
    EXPECT_EQ(controller_->findVehicleById(0x0A0B0C0D), nullptr);
    EXPECT_FALSE(log_.contains("Connected to vehicle"));
    EXPECT_TRUE(mock_.writes(car.writeCharacteristic).empty());

    // Seen again, it is a new vehicle, and this time the link comes up.
    mock_.setConnectMode(car.device, "ok");
    mock_.setRssi(car.device, -55);
    EXPECT_TRUE(waitForWrites(car.writeCharacteristic, 2));
    EXPECT_EQ(log_.count("Discovered new vehicle, model=0x0012, id=0x0a0b0c0d"), 2);
}

TEST_F(RadioOverMockBluez, AConnectionThatNeverResolvesTimesOut) {
    ble::qt::RadioOptions options = withTheProtocolsRule();
    options.connectTimeout = std::chrono::milliseconds(1500);
    beginScan(options);
    const MockBluez::Vehicle car = mock_.addVehicle("C0:11:22:33:44:57", 0x00000042, 19, -60);
    mock_.setConnectMode(car.device, "hang");
    ASSERT_TRUE(waitFor([&] {
        return log_.contains("Failed to connect to vehicle id=0x00000042, error=The connection timed out.");
    }));
    EXPECT_EQ(controller_->findVehicleById(0x42), nullptr);
    // The half-made link is taken down.
    EXPECT_TRUE(waitFor([&] { return mock_.callCount(car.device, "Disconnect") >= 1; }));
}

TEST_F(RadioOverMockBluez, CachedDevicesCountOnlyOnceSeenLive) {
    // Known to BlueZ from an earlier scan, out of range now.
    const MockBluez::Vehicle cached = mock_.addVehicle("C0:11:22:33:44:58", 0x000000CA, 9, 0);
    beginScan();
    const MockBluez::Vehicle live = mock_.addVehicle("C0:11:22:33:44:59", 0x000000CB, 9, -50);
    ASSERT_TRUE(waitFor([&] { return controller_->findVehicleById(0xCB) != nullptr; }));
    // The replay of the cache came before the live report, and gave nothing.
    EXPECT_EQ(controller_->findVehicleById(0xCA), nullptr);

    mock_.setRssi(cached.device, -70);
    EXPECT_TRUE(waitFor([&] { return controller_->findVehicleById(0xCA) != nullptr; }));
    EXPECT_TRUE(waitForWrites(cached.writeCharacteristic, 2));
    EXPECT_TRUE(waitForWrites(live.writeCharacteristic, 2));
}

TEST_F(RadioOverMockBluez, CommandsSentOneAtATimeGiveOneWriteEach) {
    const MockBluez::Vehicle car = driveableVehicle(0x5150, "C0:11:22:33:44:60");
    const auto vehicle = controller_->findVehicleById(0x5150);
    ASSERT_NE(vehicle, nullptr);
    for (uint16_t speed : {100, 100, 200, 300}) {
        vehicle->setSpeed(speed);
        ASSERT_TRUE(waitUntilIdle(0x5150));
    }
    EXPECT_EQ(bytesOf(mock_.writes(car.writeCharacteristic)),
              (std::vector<Bytes>{setSpeedFrame(100), setSpeedFrame(100), setSpeedFrame(200),
                                  setSpeedFrame(300)}));
}

TEST_F(RadioOverMockBluez, ABurstOfSpeedsSendsTheFirstAndThenOnlyTheNewest) {
    const MockBluez::Vehicle car = driveableVehicle(0x5151, "C0:11:22:33:44:61");
    const auto vehicle = controller_->findVehicleById(0x5151);
    ASSERT_NE(vehicle, nullptr);
    for (int speed = 0; speed < 100; ++speed) vehicle->setSpeed(static_cast<float>(speed));
    ASSERT_TRUE(waitUntilIdle(0x5151));
    EXPECT_EQ(bytesOf(mock_.writes(car.writeCharacteristic)),
              (std::vector<Bytes>{setSpeedFrame(0), setSpeedFrame(99)}));
}

TEST_F(RadioOverMockBluez, FramesOfDifferentKindsNeverMerge) {
    const MockBluez::Vehicle car = driveableVehicle(0x5152, "C0:11:22:33:44:62");
    const auto vehicle = controller_->findVehicleById(0x5152);
    ASSERT_NE(vehicle, nullptr);
    vehicle->setSpeed(1);               // goes out at once
    vehicle->setSpeed(2);               // waits ...
    vehicle->changeLaneAndSpeed(10.0f, 300);
    vehicle->setSpeed(3);               // ... a new run after the lane change
    vehicle->setSpeed(4);               // replaces 3
    vehicle->spin180();
    vehicle->spin180();                 // not a latest-value message: both go
    ASSERT_TRUE(waitUntilIdle(0x5152));
    const auto written = bytesOf(mock_.writes(car.writeCharacteristic));
    ASSERT_EQ(written.size(), 6u);
    EXPECT_EQ(written[0], setSpeedFrame(1));
    EXPECT_EQ(written[1], setSpeedFrame(2));
    EXPECT_EQ(written[2][1], 0x25);  // change lane
    EXPECT_EQ(written[3], setSpeedFrame(4));
    EXPECT_EQ(written[4], (Bytes{0x01, 0x32}));
    EXPECT_EQ(written[5], (Bytes{0x01, 0x32}));
}

TEST_F(RadioOverMockBluez, ASecondScanDisturbsNoCar) {
    const MockBluez::Vehicle driving = driveableVehicle(0x6001, "C0:11:22:33:44:63");
    const std::weak_ptr<Vehicle> first = controller_->findVehicleById(0x6001);
    const MockBluez::Vehicle connecting = mock_.addVehicle("C0:11:22:33:44:64", 0x6002, 18, -50);
    mock_.setConnectMode(connecting.device, QStringLiteral("hang"));
    ASSERT_TRUE(waitFor([&] { return mock_.callCount(connecting.device, "Connect") >= 1; }));

    beginScan();  // a new central; the links of the old one live on
    controller_->findVehicleById(0x6001)->setSpeed(250);
    ASSERT_TRUE(waitForWrites(driving.writeCharacteristic, 1));
    EXPECT_EQ(bytesOf(mock_.writes(driving.writeCharacteristic)), (std::vector<Bytes>{setSpeedFrame(250)}));
    EXPECT_EQ(controller_->findVehicleById(0x6001), first.lock());

    mock_.resolveServices(connecting.device);
    ASSERT_TRUE(waitForWrites(connecting.writeCharacteristic, 2));
    EXPECT_EQ(bytesOf(mock_.writes(connecting.writeCharacteristic)), (std::vector<Bytes>{kSetSdkMode, kGetVersion}));
    EXPECT_EQ(mock_.callCount(driving.device, "Disconnect"), 0);
    EXPECT_EQ(mock_.callCount(driving.device, "Connect"), 1);
    EXPECT_EQ(log_.count("Discovered new vehicle"), 2);
    EXPECT_EQ(log_.count("Disconnected"), 0);

    // The old central's links report their end through the new one.
    mock_.disconnectRemote(driving.device);
    ASSERT_TRUE(waitFor([&] { return log_.contains("Disconnected vehicle id=0x00006001"); }));
}

TEST_F(RadioOverMockBluez, AFailedWriteIsLoggedAndTheNextOneStillGoes) {
    const MockBluez::Vehicle car = driveableVehicle(0x8001, "C0:11:22:33:44:65");
    const auto vehicle = controller_->findVehicleById(0x8001);
    ASSERT_NE(vehicle, nullptr);
    mock_.setFailure(car.writeCharacteristic, "WriteValue", true);
    vehicle->setSpeed(100);
    ASSERT_TRUE(waitFor([&] {
        return log_.contains("Error writing value for characteristic BE15BEE1-6186-407E-8381-0BD89C4D8DF4 error: ");
    }));
    mock_.setFailure(car.writeCharacteristic, "WriteValue", false);
    ASSERT_TRUE(waitUntilIdle(0x8001));
    vehicle->setSpeed(200);
    ASSERT_TRUE(waitForWrites(car.writeCharacteristic, 1));
    EXPECT_EQ(mock_.writes(car.writeCharacteristic).back().bytes, setSpeedFrame(200));
    EXPECT_NE(controller_->findVehicleById(0x8001), nullptr);
}

TEST_F(RadioOverMockBluez, AFailedSubscriptionIsLoggedAndTheHandshakeStillGoes) {
    beginScan();
    const MockBluez::Vehicle car = mock_.addVehicle("C0:11:22:33:44:66", 0x8002, 9, -50);
    mock_.setFailure(car.readCharacteristic, "StartNotify", true);
    ASSERT_TRUE(waitFor([&] {
        return log_.contains(
            "Error updating notification state for characteristic BE15BEE0-6186-407E-8381-0BD89C4D8DF4 error: ");
    }));
    ASSERT_TRUE(waitForWrites(car.writeCharacteristic, 2));
    EXPECT_EQ(bytesOf(mock_.writes(car.writeCharacteristic)), (std::vector<Bytes>{kSetSdkMode, kGetVersion}));
}

TEST_F(RadioOverMockBluez, HostileAdvertisementsAndValuesAreHarmless) {
    beginScan();
    const QStringList vehicleService{QString::fromLatin1(MockBluez::kVehicleService)};
    // Too long for one advertising field, several ids, none, an empty one.
    mock_.addDevice("C0:11:22:33:44:70", "long", vehicleService, {{0xEFBE, QByteArray(300, '\x12')}}, -40);
    mock_.addDevice("C0:11:22:33:44:71", "many", vehicleService,
                    {{0x004C, QByteArray("\x01\x02", 2)}, {0xEFBE, QByteArray::fromHex("00090000BEEF")}}, -40);
    mock_.addDevice("C0:11:22:33:44:72", "none", vehicleService, {}, -40);
    mock_.addDevice("C0:11:22:33:44:73", "empty", vehicleService, {{0xEFBE, QByteArray()}}, -40);
    // Not the vehicle service: filtered out before the link sees it.
    mock_.addDevice("C0:11:22:33:44:74", "other", {QStringLiteral("0000180d-0000-1000-8000-00805f9b34fb")},
                    {{0xEFBE, QByteArray::fromHex("000900000001")}}, -40);
    const MockBluez::Vehicle car = mock_.addVehicle("C0:11:22:33:44:75", 0x9001, 9, -40);
    ASSERT_TRUE(waitForWrites(car.writeCharacteristic, 2));
    // The one with several ids is the vehicle 0x0000BEEF of model 9.
    EXPECT_TRUE(waitFor([&] { return controller_->findVehicleById(0xBEEF) != nullptr; }));
    EXPECT_EQ(controller_->findVehicleById(0x00000001), nullptr);
    EXPECT_EQ(controller_->findVehicleById(0x12121212), nullptr);

    for (const QByteArray& value : {QByteArray(), QByteArray("\x19", 1), QByteArray::fromHex("031934"),
                                    QByteArray(600, '\xff'), QByteArray::fromHex("0117"), QByteArray::fromHex("03193412")}) {
        mock_.emitNotification(car.readCharacteristic, value);
    }
    EXPECT_TRUE(waitFor([&] { return log_.contains("Version response 0x1234"); }));
    EXPECT_TRUE(log_.contains("Ping recieved from vehicle"));
    EXPECT_NE(controller_->findVehicleById(0x9001), nullptr);
}

TEST_F(RadioOverMockBluez, PowerChangesAreReportedAsStates) {
    beginScan();
    mock_.setPowered(adapter_, false);
    ASSERT_TRUE(waitFor([&] { return log_.contains("state=4"); }));
    mock_.setPowered(adapter_, true);
    ASSERT_TRUE(waitFor([&] { return log_.count("state=5") >= 2; }));
    // Scanning goes on with power back.
    mock_.addVehicle("C0:11:22:33:44:64", 0x7001, 9, -40);
    EXPECT_TRUE(waitFor([&] { return controller_->findVehicleById(0x7001) != nullptr; }));
}

}  // namespace
