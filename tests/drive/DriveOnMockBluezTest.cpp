// zelto-drive's real radio against the mock BlueZ on a private system bus
// (with_mock_bus.py): --adapter takes an adapter's name or its address and
// means the real radio; an adapter that is not there, one that is off, or no
// BlueZ at all is one line and exit status 2, never the simulated cars.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <optional>

#include "DriveProgram.h"
#include "MockBluez.h"

namespace {

using drive_test::Ran;
using drive_test::runDrive;

const QStringList kBriefScan{"scan", "--seconds", "0"};

TEST(DriveOnMockBluez, TheAdapterAskedForOrOneLineWhyNot) {
    if (!MockBluez::busAvailable()) GTEST_SKIP() << "no private system bus: run under with_mock_bus.py";
    enum class Bluez { Absent, Powered, Off };
    struct Case {
        Bluez bluez;
        QStringList arguments;
        int code;
        QByteArray errLine;  // a line standard error holds
    };
    const Case cases[] = {
        {Bluez::Powered, QStringList{"--adapter", "hci0", "--verbose"} + kBriefScan, 0,
         "zelto-drive: radio: Bluetooth adapter hci0 (00:01:02:03:04:05)\n"},
        {Bluez::Powered, QStringList{"--adapter", "00:01:02:03:04:05", "--verbose"} + kBriefScan, 0,
         "zelto-drive: radio: Bluetooth adapter hci0 (00:01:02:03:04:05)\n"},
        {Bluez::Powered, QStringList{"--radio", "bluez", "--verbose"} + kBriefScan, 0,
         "zelto-drive: radio: Bluetooth adapter hci0 (00:01:02:03:04:05)\n"},
        {Bluez::Powered, QStringList{"--adapter", "hci3"} + kBriefScan, 2,
         "zelto-drive: no Bluetooth adapter hci3 (there are: hci0)\n"},
        {Bluez::Off, QStringList{"--adapter", "hci0"} + kBriefScan, 2,
         "zelto-drive: Bluetooth adapter hci0 is powered off\n"},
        {Bluez::Absent, QStringList{"--adapter", "hci0"} + kBriefScan, 2, "zelto-drive: BlueZ is not running\n"},
        {Bluez::Absent, QStringList{"--radio", "bluez", "run", "-"}, 2, "zelto-drive: BlueZ is not running\n"},
    };
    for (const Case& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        std::optional<MockBluez> mock;
        if (c.bluez != Bluez::Absent) {
            mock.emplace();
            mock->start();
            const QString adapter = mock->addAdapter("hci0", "desk");
            if (c.bluez == Bluez::Off) mock->setPowered(adapter, false);
        }
        const Ran ran = runDrive(c.arguments, "{\"vehicle\": \"all\", \"stop\": true}\n");
        EXPECT_EQ(ran.code, c.code) << what << "\n" << ran.err.toStdString();
        EXPECT_TRUE(ran.err.contains(c.errLine)) << what << "\n" << ran.err.toStdString();
        if (c.code != 0) {
            EXPECT_EQ(ran.err.count('\n'), 1) << what << "\n" << ran.err.toStdString();
        }
        EXPECT_TRUE(ran.out.isEmpty()) << what;
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
