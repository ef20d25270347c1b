// zelto-drive's real radio against the mock BlueZ on a private system bus
// (with_mock_bus.py): --adapter takes an adapter's name or its address, a
// list of them or all, and means the real radio; an adapter that is not
// there, one that is off, or no BlueZ at all is one line and exit status 2,
// never the simulated cars; scan tells the adapter that hears each car best.
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
    enum class Bluez { Absent, Powered, Off, Two };
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
        {Bluez::Two, QStringList{"--adapter", "all", "--verbose"} + kBriefScan, 0,
         "zelto-drive: radio: All Bluetooth adapters\n"},
        {Bluez::Two, QStringList{"--adapter", "hci1,hci0", "--verbose"} + kBriefScan, 0,
         "zelto-drive: radio: Bluetooth adapters hci1, hci0\n"},
        {Bluez::Two, QStringList{"--adapter", "hci0,hci3"} + kBriefScan, 2,
         "zelto-drive: no Bluetooth adapter hci3 (there are: hci0, hci1)\n"},
        {Bluez::Off, QStringList{"--adapter", "all"} + kBriefScan, 2,
         "zelto-drive: no Bluetooth adapter is powered on (there are: hci0)\n"},
        {Bluez::Absent, QStringList{"--adapter", "all"} + kBriefScan, 2, "zelto-drive: BlueZ is not running\n"},
    };
    for (const Case& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        std::optional<MockBluez> mock;
        if (c.bluez != Bluez::Absent) {
            mock.emplace();
            mock->start();
            const QString adapter = mock->addAdapter("hci0", "desk");
            if (c.bluez == Bluez::Off) mock->setPowered(adapter, false);
            if (c.bluez == Bluez::Two) mock->addAdapter("hci1", "dongle");
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

TEST(DriveOnMockBluez, ScanOnEveryAdapterTellsTheAdapterThatHearsEachCarBest) {
    if (!MockBluez::busAvailable()) GTEST_SKIP() << "no private system bus: run under with_mock_bus.py";
    struct Case {
        QStringList arguments;
        std::vector<QByteArray> lines;  // each somewhere in standard output
    };
    // Long enough to start the radio on a loaded machine; the cars are there before.
    const QStringList scan{"--adapter", "all", "scan", "--seconds", "5"};
    const Case cases[] = {
        {scan, {"id=0x00007701 model=9 name=Drive rssi=-50 adapter=hci0\n",
                "id=0x00007702 model=18 name=Drive rssi=-40 adapter=hci1\n"}},
        {scan + QStringList{"--json"}, {"\"adapter\":\"hci0\"", "\"adapter\":\"hci1\"", "\"id\":\"0x00007702\""}},
    };
    for (const Case& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        // Afresh each time: BlueZ forgets the signal once the last scan stops.
        MockBluez mock;
        mock.start();
        mock.addAdapter("hci0", "desk");
        mock.addAdapter("hci1", "dongle");
        mock.addVehicleHeardBy("C0:11:22:33:77:01", 0x7701, 9, {{"hci0", -50}});
        mock.addVehicleHeardBy("C0:11:22:33:77:02", 0x7702, 18, {{"hci0", -70}, {"hci1", -40}});
        const Ran ran = runDrive(c.arguments);
        EXPECT_EQ(ran.code, 0) << what << "\n" << ran.err.toStdString();
        for (const QByteArray& line : c.lines) EXPECT_TRUE(ran.out.contains(line)) << what << "\n" << ran.out.toStdString();
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
