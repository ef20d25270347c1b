// The BlueZ radio shares BlueZ with earlier runs and other programs: it lets
// go of its links when the program ends, takes a car an earlier run left
// connected, leaves a car another program drives to it, and never counts or
// undoes another program's Connect.
#include <QElapsedTimer>

#include "BluezRadioFixture.h"

namespace {

using namespace bluez_test;
const QString kDevice = QStringLiteral("org.bluez.Device1");

class BluezSharing : public BluezRadio {
protected:
    bool connectedAtBluez(const QString& device) {
        return mock_.property(device, kDevice, QStringLiteral("Connected")).toBool();
    }
};

TEST_F(BluezSharing, TheLinksGoWithTheProgramAndNothingIsWrittenOnTheWayOut) {
    mock_.setDisconnectDelay(0.1);
    beginScan();
    const MockBluez::Vehicle car = driveableVehicle(0x5701, QStringLiteral("C0:57:00:00:00:01"));
    controller_->findVehicleById(0x5701)->setSpeed(500);
    ASSERT_TRUE(waitForLastWrite(car.writeCharacteristic, setSpeedFrame(500)));
    mock_.clearWrites(car.writeCharacteristic);

    ble::bluez::releaseEveryLink(std::chrono::seconds(1));
    EXPECT_EQ(mock_.callCount(car.device, "Disconnect"), 1);
    EXPECT_TRUE(waitFor([&] { return !connectedAtBluez(car.device); }, 5000));
    EXPECT_TRUE(mock_.writes(car.writeCharacteristic).empty());
    // Let go once: a second end asks nothing more of BlueZ.
    ble::bluez::releaseEveryLink(std::chrono::seconds(1));
    EXPECT_EQ(mock_.callCount(car.device, "Disconnect"), 1);
}

TEST_F(BluezSharing, AnAttemptUnderWayIsCalledOffOnTheWayOutAndTheWaitIsBounded) {
    mock_.setDisconnectDelay(5);  // slower than the program waits
    beginScan();
    const MockBluez::Vehicle hanging = mock_.addVehicle(QStringLiteral("C0:57:00:00:00:02"), 0x5702, 9, -50);
    mock_.setConnectMode(hanging.device, QStringLiteral("never"));
    ASSERT_TRUE(waitFor([&] { return mock_.callCount(hanging.device, "Connect") == 1; }));
    QElapsedTimer waited;
    waited.start();
    ble::bluez::releaseEveryLink(std::chrono::milliseconds(300));
    EXPECT_LT(waited.elapsed(), 3000);
    EXPECT_EQ(mock_.callCount(hanging.device, "Disconnect"), 1);
}

TEST_F(BluezSharing, ACarAnEarlierRunLeftConnectedIsTakenWhereItIs) {
    const MockBluez::Vehicle car = mock_.addVehicle(QStringLiteral("C0:57:00:00:00:03"), 0x5703, 9, -50);
    mock_.leaveConnected(car.device);
    ASSERT_FALSE(mock_.property(car.device, kDevice, QStringLiteral("RSSI")).isValid());
    beginScan();
    ASSERT_TRUE(waitForWrites(car.writeCharacteristic, 2));
    EXPECT_EQ(bytesOf(mock_.writes(car.writeCharacteristic)), (std::vector<Bytes>{kSetSdkMode, kGetVersion}));
    EXPECT_EQ(mock_.callCount(car.device, "Connect"), 0) << "taken as it is, not connected again";
    // Taken, so let go of at the end like any link the radio made.
    mock_.setDisconnectDelay(0);
    ble::bluez::releaseEveryLink(std::chrono::seconds(1));
    EXPECT_EQ(mock_.callCount(car.device, "Disconnect"), 1);
}

TEST_F(BluezSharing, ACarAnotherProgramDrivesIsLeftToItAndItsLinkStays) {
    const MockBluez::Vehicle car = mock_.addVehicle(QStringLiteral("C0:57:00:00:00:04"), 0x5704, 9, -50);
    mock_.leaveConnected(car.device);
    mock_.holdWriteSocket(car.writeCharacteristic);
    beginScan();
    ASSERT_TRUE(waitFor([&] { return log_.contains("The vehicle is driven by another program."); }));
    EXPECT_TRUE(mock_.writes(car.writeCharacteristic).empty());
    // Heard again and again, it is never taken while that program holds it.
    controller_->beginScan();
    for (int turn = 0; turn < 10; ++turn) QCoreApplication::processEvents();  // the turns a retake would take
    EXPECT_EQ(log_.count("The vehicle is driven by another program."), 1);
    ble::bluez::releaseEveryLink(std::chrono::seconds(1));
    EXPECT_EQ(mock_.callCount(car.device, "Disconnect"), 0);
    EXPECT_EQ(mock_.callCount(adapter_, "RemoveDevice"), 0);
    EXPECT_TRUE(connectedAtBluez(car.device));
}

TEST_F(BluezSharing, AnotherProgramsConnectUnderWayIsNoFailureOfTheCar) {
    const MockBluez::Vehicle car = mock_.addVehicle(QStringLiteral("C0:57:00:00:00:05"), 0x5705, 9, -50);
    mock_.setConnectMode(car.device, QStringLiteral("never"));
    mock_.connectAsAnotherProgram(car.device);
    ASSERT_TRUE(waitFor([&] { return mock_.callCount(car.device, "Connect") == 1; }));
    beginScan();
    // Reported after the radio's calls: the mock has any it made.
    ASSERT_TRUE(waitFor([&] { return log_.contains("Another program is connecting the device."); }));
    EXPECT_EQ(mock_.callCount(adapter_, "RemoveDevice"), 0) << "removing it would cancel that program's attempt";
    EXPECT_EQ(mock_.callCount(car.device, "Disconnect"), 0);
}

}  // namespace
