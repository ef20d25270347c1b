// The real zelto-drive on the simulated radio and virtual time: exit statuses
// and the exact lines of its refusals (FILE:LINE for scripts, the system's
// reason for files it cannot read), JSON frames, and the link's log only when
// asked for.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>

#include "DriveProgram.h"

namespace {

using drive_test::Ran;
using drive_test::runDrive;

const QStringList kSim{"--radio", "sim", "--virtual-time"};

TEST(DriveProgramRefusals, EachRefusalIsOneLineAndExitTwo) {
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.jsonl");
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# warm up\n{\"vehicle\": \"all\", \"speed\": 100}\n{\"vehicle\": \"all\", \"lane\": 80}\n");
    file.close();
    struct Case {
        QStringList arguments;
        QByteArray input;
        QByteArray err;
    };
    const Case cases[] = {
        {kSim + QStringList{"run", bad}, {},
         bad.toUtf8() + ":3: \"lane\" 80 is out of range (-70 to 70; --full-range allows -1000 to 1000)\n"},
        {kSim + QStringList{"run", "-"}, "{\"vehicle\": \"all\", \"speed\": 1}\n{\"vehicle\": \"all\", \"speed\": NaN}\n",
         "-:2: not JSON: illegal number\n"},
        {kSim + QStringList{"run", "-"}, "{\"vehicle\": \"all\", \"speed\": 2000}\n",
         "-:1: \"speed\" 2000 is out of range (0 to 1000; --full-range allows 0 to 65535)\n"},
        {kSim + QStringList{"run", "/no/such/script.jsonl"}, {},
         "zelto-drive: cannot read /no/such/script.jsonl: No such file or directory\n"},
        {kSim + QStringList{"run", dir.path()}, {}, "zelto-drive: cannot read " + dir.path().toUtf8() + ": Is a directory\n"},
        {kSim + QStringList{"run", "-", "--seconds", "4"}, {}, "zelto-drive: --seconds does not apply to run (see --help)\n"},
        {kSim + QStringList{"scan", "--full-range"}, {}, "zelto-drive: --full-range does not apply to scan (see --help)\n"},
        {kSim + QStringList{"--sim-cars", "1000", "scan"}, {}, "zelto-drive: --sim-cars is 1 to 256 (see --help)\n"},
        {kSim + QStringList{"run", "-", "--record", dir.filePath("no/such/folder.jsonl")},
         "{\"vehicle\": \"all\", \"stop\": true}\n",
         "zelto-drive: cannot write " + dir.filePath("no/such/folder.jsonl").toUtf8() + ": No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const Ran ran = runDrive(c.arguments, c.input);
        EXPECT_EQ(ran.code, 2) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(ran.err.toStdString(), c.err.toStdString()) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(ran.out.isEmpty()) << "nothing sent: " << ran.out.toStdString();
    }
}

TEST(DriveProgramOutput, SimCarsListsThatManyCarsEachOnce) {
    for (const int cars : {1, 12, 256}) {
        const Ran ran = runDrive(kSim + QStringList{"--sim-cars", QString::number(cars), "scan", "--json"});
        EXPECT_EQ(ran.code, 0) << cars << ran.err.toStdString();
        const QList<QByteArray> lines = ran.out.trimmed().split('\n');
        EXPECT_EQ(lines.size(), cars);
        EXPECT_EQ(QSet<QByteArray>(lines.begin(), lines.end()).size(), cars) << "each car once";
    }
    const Ran twelve = runDrive(kSim + QStringList{"--sim-cars", "12", "scan"});
    EXPECT_TRUE(twelve.out.contains("id=0x5e07000c model=7 name=Korrin 12 rssi=")) << twelve.out.toStdString();

    // With --json, each car's link health once the listening is over.
    const Ran health = runDrive(kSim + QStringList{"scan", "--seconds", "2", "--json"});
    const QList<QByteArray> lines = health.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3) << health.out.toStdString();
    const QJsonObject first = QJsonDocument::fromJson(lines.front()).object();
    EXPECT_EQ(first.value("id").toString(), "0x12345678");
    EXPECT_EQ(first.value("name").toString(), "Vexa");
    EXPECT_EQ(first.value("adapter").toString(), "") << "the simulated radio has none";
    EXPECT_TRUE(first.value("rssi").isDouble());
    EXPECT_LE(first.value("sinceHeardMs").toDouble(), 1000) << "heard while listening";
    EXPECT_FALSE(first.value("silent").toBool());
    for (const char* never : {"notifications", "sent", "superseded", "failed"}) {
        EXPECT_EQ(first.value(never).toDouble(-1), 0) << never << ": a scan never connects";
    }
}

TEST(DriveProgramOutput, FullRangeJsonAndVerboseDoWhatTheySay) {
    const QByteArray fast = "{\"vehicle\": \"0x12345678\", \"speed\": 2000}\n";
    struct Case {
        QStringList flags;
        QByteArray firstLine;  // of standard output
        bool linkLog;          // on standard error
    };
    const Case cases[] = {
        {{"--full-range"}, "+0.000 0x12345678 set-speed 06 24 D0 07 A8 61 00", false},
        {{"--full-range", "--json"},
         R"({"time":0.000,"vehicle":"0x12345678","command":"set-speed","hex":"06 24 D0 07 A8 61 00"})", false},
        {{"--full-range", "--verbose"}, "+0.000 0x12345678 set-speed 06 24 D0 07 A8 61 00", true},
    };
    for (const Case& c : cases) {
        const Ran ran = runDrive(kSim + c.flags + QStringList{"run", "-"}, fast);
        const std::string what = c.flags.join(' ').toStdString();
        EXPECT_EQ(ran.code, 0) << what << ran.err.toStdString();
        EXPECT_EQ(ran.out.split('\n').value(0).toStdString(), c.firstLine.toStdString()) << what;
        EXPECT_EQ(ran.out.count('\n'), 2) << what << ": the step and the stop at the end";
        EXPECT_EQ(ran.err.contains("Connected to vehicle id=0x12345678"), c.linkLog) << what << ran.err.toStdString();
        if (!c.linkLog) {
            EXPECT_TRUE(ran.err.isEmpty()) << what << ran.err.toStdString();
        }
    }
}

}  // namespace
