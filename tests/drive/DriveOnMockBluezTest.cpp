// zelto-drive's real radio against the mock BlueZ on a private system bus
// (with_mock_bus.py): --adapter takes an adapter's name or its address, a
// list of them or all, and means the real radio; an adapter that is not
// there, one that is off, or no BlueZ at all is one line and exit status 2,
// never the simulated cars; scan tells the adapter that hears each car best;
// the frames a run prints as written are the frames BlueZ got.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
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

QString hexOf(const std::vector<uint8_t>& bytes) {
    QStringList parts;
    for (const uint8_t byte : bytes) parts << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(' ');
}

TEST(DriveOnMockBluez, WhatARunPrintsAsWrittenIsWhatBluezGot) {
    if (!MockBluez::busAvailable()) GTEST_SKIP() << "no private system bus: run under with_mock_bus.py";
    struct Case {
        const char* what;
        const char* radio;
        int frames;
        int waitMs;  // between two speeds
        bool someReplaced;
    };
    const Case cases[] = {
        {"one frame per 20 ms: every frame goes", "bluez", 60, 20, false},
        {"faster than the link: the replaced ones are said so, never printed as written", "bluez", 200, 0, true},
        {"the Qt radio, faster than the link: the same", "qt", 200, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MockBluez mock;
        mock.start();
        mock.addAdapter("hci0", "desk");
        const MockBluez::Vehicle car = mock.addVehicle("C0:11:22:33:59:01", 0x5901, 9, -50);
        QByteArray script;
        for (int i = 1; i <= c.frames; ++i) {
            script += "{\"vehicle\": 22785, \"speed\": " + QByteArray::number(300 + i) + "}\n";
            if (c.waitMs > 0) script += "{\"wait\": " + QByteArray::number(c.waitMs) + "}\n";
        }
        const Ran ran = runDrive({"--radio", c.radio, "--adapter", "hci0", "--json", "run", "-"}, script);
        ASSERT_EQ(ran.code, 0) << ran.err.toStdString();
        QStringList printed;
        int replaced = 0;
        for (const QByteArray& line : ran.out.split('\n')) {
            if (line.isEmpty()) continue;
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.value("replaced").toBool()) {
                ++replaced;
            } else {
                printed << object.value("hex").toString();
            }
        }
        EXPECT_EQ(printed.size() + replaced, c.frames + 1);  // and the stop at the end
        EXPECT_EQ(replaced > 0, c.someReplaced);
        QStringList recorded;
        const auto settled = [&] {
            recorded.clear();
            for (const auto& write : mock.writes(car.writeCharacteristic)) {
                if (write.bytes.size() > 1 && write.bytes[1] == 0x24) recorded << hexOf(write.bytes);
            }
            return recorded.size() >= printed.size();
        };
        EXPECT_TRUE(QTest::qWaitFor(settled, 10000));
        EXPECT_EQ(printed, recorded);
        ASSERT_FALSE(printed.isEmpty());
        EXPECT_TRUE(printed.last().startsWith(QStringLiteral("06 24 00 00")));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
