// zelto-drive shares BlueZ: however a run ends, the next one finds its car
// (its links go with it, or, after SIGKILL, the next run takes the link as
// it is); two runs at once each drive their own car and leave the other's.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QTest>
#include <csignal>

#include "DriveProgram.h"
#include "MockBluez.h"

namespace {

using drive_test::Ran;
using drive_test::runDrive;

const QString kDevice = QStringLiteral("org.bluez.Device1");
const QStringList kOnHci0{"--adapter", "hci0", "run", "-"};

QByteArray driveFor(uint32_t identifier, int waitMs) {
    const QByteArray id = QByteArray::number(identifier);
    return "{\"vehicle\": " + id + ", \"speed\": 400}\n{\"wait\": " + QByteArray::number(waitMs) +
           "}\n{\"vehicle\": " + id + ", \"stop\": true}\n";
}

bool connected(MockBluez& mock, const QString& device) {
    return mock.property(device, kDevice, QStringLiteral("Connected")).toBool();
}

// A set-speed frame of 400 reached the car.
bool drove(MockBluez& mock, const MockBluez::Vehicle& car) {
    for (const auto& write : mock.writes(car.writeCharacteristic)) {
        if (write.bytes.size() > 3 && write.bytes[1] == 0x24 && write.bytes[2] == 0x90 && write.bytes[3] == 0x01) {
            return true;
        }
    }
    return false;
}

class DriveSharesBluez : public ::testing::Test {
protected:
    void SetUp() override {
        if (!MockBluez::busAvailable()) GTEST_SKIP() << "no private system bus: run under with_mock_bus.py";
        mock_.start();
        mock_.addAdapter("hci0", "desk");
        mock_.setDisconnectDelay(0.1);
        car_ = mock_.addVehicle("C0:11:22:33:58:01", 0x5801, 9, -50);
    }

    // A run that drives the car until it gets `signal` once the car moves.
    int interruptedRun(int signal) {
        QProcess program;
        program.start(QStringLiteral(ZELTO_DRIVE_PROGRAM), kOnHci0);
        if (!program.waitForStarted(30000)) return -1;
        program.write(driveFor(0x5801, 60000));
        program.closeWriteChannel();
        if (!QTest::qWaitFor([&] { return drove(mock_, car_); }, 30000)) return -1;
        ::kill(static_cast<pid_t>(program.processId()), signal);
        if (!program.waitForFinished(30000)) return -1;
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : 128 + signal;
    }

    MockBluez mock_;
    MockBluez::Vehicle car_;
};

TEST_F(DriveSharesBluez, HoweverARunEndsTheNextOneDrivesTheCar) {
    enum class End { Script, Term, Kill };
    struct Case {
        End end;
        int code;
        bool linkGoes;  // BlueZ shows no link afterwards
    };
    const Case cases[] = {
        {End::Script, 0, true},
        {End::Term, 128 + SIGTERM, true},
        {End::Kill, 128 + SIGKILL, false},  // nothing runs after SIGKILL: the next run takes the link
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.end));
        mock_.clearWrites(car_.writeCharacteristic);
        int code = -1;
        if (c.end == End::Script) {
            const Ran ran = runDrive(kOnHci0, driveFor(0x5801, 100));
            code = ran.code;
        } else {
            code = interruptedRun(c.end == End::Term ? SIGTERM : SIGKILL);
        }
        EXPECT_EQ(code, c.code);
        if (c.linkGoes) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !connected(mock_, car_.device); }, 5000));
        } else {
            EXPECT_TRUE(connected(mock_, car_.device));
        }
        mock_.clearWrites(car_.writeCharacteristic);
        QDeadlineTimer tenSeconds(10000);
        const Ran next = runDrive(kOnHci0, driveFor(0x5801, 100));
        EXPECT_EQ(next.code, 0) << next.err.toStdString();
        EXPECT_TRUE(drove(mock_, car_));
        EXPECT_FALSE(tenSeconds.hasExpired());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !connected(mock_, car_.device); }, 5000));
    }
}

TEST_F(DriveSharesBluez, TwoRunsAtOnceEachDriveTheirOwnCar) {
    const MockBluez::Vehicle other = mock_.addVehicle("C0:11:22:33:58:02", 0x5802, 9, -50);
    QProcess first;
    QProcess second;
    first.start(QStringLiteral(ZELTO_DRIVE_PROGRAM), kOnHci0);
    second.start(QStringLiteral(ZELTO_DRIVE_PROGRAM), kOnHci0);
    ASSERT_TRUE(first.waitForStarted(30000) && second.waitForStarted(30000));
    first.write(driveFor(0x5801, 500));
    second.write(driveFor(0x5802, 500));
    first.closeWriteChannel();
    second.closeWriteChannel();
    ASSERT_TRUE(first.waitForFinished(60000) && second.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(drove(mock_, car_));
    EXPECT_TRUE(drove(mock_, other));
    // Each connected only its own car.
    EXPECT_EQ(mock_.callCount(car_.device, "Connect"), 1);
    EXPECT_EQ(mock_.callCount(other.device, "Connect"), 1);
}

}  // namespace
