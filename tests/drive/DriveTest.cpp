// zelto-drive's scripts on the simulated radio, on virtual time: the exact
// lines printed and the frames the cars get, refused scripts with their line,
// missing and lost cars, a recording played back, and a signal mid-drive
// (also to the real program).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DriveRoad.h"
#include "drive/Runner.h"
#include "drive/Script.h"
#include "link/DriveRecorder.h"
#include "link/SystemLog.h"
#include "link/VehiclesController.h"

namespace {

using drive_test::Bytes;
using drive_test::Lines;
using drive_test::Road;

const Bytes kStop{0x06, 0x24, 0x00, 0x00, 0xA8, 0x61, 0x00};

TEST(DriveScripts, PrintEveryFrameWrittenAndEndWithAStop) {
    struct Case {
        const char* what;
        const char* script;
        Lines printed;
        std::vector<Bytes> vexaFrames;
    };
    const Case cases[] = {
        {"steps at their times, by id, model and all",
         "# a short drive\n"
         "{\"vehicle\": \"all\", \"speed\": 400}\n"
         "{\"vehicle\": \"model:9\", \"lane\": -20, \"at\": 500}\n"
         "\n{\"wait\": 250}\n"
         "{\"vehicle\": 305419896, \"uturn\": true}\n"
         "{\"vehicle\": \"0xcafe0018\", \"middle\": true}\n",
         {"+0.000 0x12345678 set-speed 06 24 90 01 A8 61 00", "+0.000 0xcafe0018 set-speed 06 24 90 01 A8 61 00",
          "+0.000 0x00001913 set-speed 06 24 90 01 A8 61 00",
          "+0.500 0x12345678 change-lane 0B 25 90 01 C4 09 00 00 A0 C1 00 00", "+0.750 0x12345678 turn-180 01 32",
          "+0.750 0xcafe0018 change-lane 0B 25 90 01 C4 09 00 00 00 00 00 00",
          "+0.750 0x00001913 set-speed 06 24 00 00 A8 61 00", "+0.750 0x12345678 set-speed 06 24 00 00 A8 61 00",
          "+0.750 0xcafe0018 set-speed 06 24 00 00 A8 61 00"},
         {{0x06, 0x24, 0x90, 0x01, 0xA8, 0x61, 0x00},
          {0x0B, 0x25, 0x90, 0x01, 0xC4, 0x09, 0x00, 0x00, 0xA0, 0xC1, 0x00, 0x00},
          {0x01, 0x32},
          kStop}},
        {"a lane with its own speed, an 'at' already past, a stop",
         "{\"vehicle\": \"0x12345678\", \"speed\": 300.9, \"at\": 1000}\n"
         "{\"vehicle\": \"0x12345678\", \"lane\": 15.5, \"speed\": 120, \"at\": 20}\n"
         "{\"vehicle\": \"0x12345678\", \"stop\": true, \"at\": 3600000}\n",
         {"+1.000 0x12345678 set-speed 06 24 2C 01 A8 61 00",
          "+1.000 0x12345678 change-lane 0B 25 78 00 C4 09 00 00 78 41 00 00",
          "+3600.000 0x12345678 set-speed 06 24 00 00 A8 61 00",
          "+3600.000 0x12345678 set-speed 06 24 00 00 A8 61 00"},
         {{0x06, 0x24, 0x2C, 0x01, 0xA8, 0x61, 0x00},
          {0x0B, 0x25, 0x78, 0x00, 0xC4, 0x09, 0x00, 0x00, 0x78, 0x41, 0x00, 0x00},
          kStop,
          kStop}},
        {"only waits: nothing to drive, nothing sent", "{\"wait\": 100}\n", {}, {}},
    };
    for (const Case& c : cases) {
        Road road;
        EXPECT_EQ(road.run(c.script), drive::kOk) << c.what;
        EXPECT_EQ(road.out, c.printed) << c.what;
        EXPECT_EQ(road.frames(0x12345678), c.vexaFrames) << c.what;
        EXPECT_TRUE(road.err.empty()) << c.what;
    }
}

TEST(DriveScripts, RefusedScriptsNameTheirLineAndReason) {
    const std::pair<const char*, const char*> refused[] = {
        {"{\"vehicle\": 1, \"speed\": 1}\nnot json\n", "line 2: not JSON"},
        {"# fine\n[1, 2]\n", "line 2: a step is a JSON object"},
        {"{\"speed\": 1}", "line 1: \"speed\" needs a \"vehicle\""},
        {"{\"vehicle\": \"all\", \"speed\": 1, \"uturn\": true}", "line 1: more than one action: speed, uturn"},
        {"{\"vehicle\": \"all\"}", "line 1: no action"},
        {"{\"vehicle\": \"all\", \"drift\": 3}", "line 1: unknown key \"drift\""},
        {"{\"vehicle\": 4294967296, \"stop\": true}", "line 1: vehicle 4294967296 is not an identifier"},
        {"{\"vehicle\": 1.5, \"stop\": true}", "line 1: vehicle 1.5 is not an identifier"},
        {"{\"vehicle\": \"0x1FFFFFFFF\", \"stop\": true}", "line 1: vehicle \"0x1FFFFFFFF\" is not an identifier"},
        {"{\"vehicle\": \"model:256\", \"stop\": true}", "line 1: vehicle \"model:256\": a model is 0 to 255"},
        {"{\"vehicle\": \"all\", \"speed\": -1}", "line 1: \"speed\" -1 is out of range (0 to 1000)"},
        {"{\"vehicle\": \"all\", \"lane\": 1e999}", "line 1: not JSON"},
        {"{\"vehicle\": \"all\", \"lane\": 5000}", "line 1: \"lane\" 5000 is out of range"},
        {"{\"vehicle\": \"all\", \"stop\": false}", "line 1: \"stop\" must be true"},
        {"{\"wait\": 5, \"vehicle\": \"all\"}", "line 1: \"wait\" takes no vehicle"},
        {"{\"wait\": 5, \"at\": -1}", "line 1: \"at\" -1 is out of range"},
        {"{\"vehicle\": \"all\", \"speed\": \"fast\"}", "line 1: \"speed\" is not a number"},
    };
    for (const auto& [text, reason] : refused) {
        const drive::Script script = drive::parseScript(text);
        ASSERT_TRUE(script.error) << text;
        EXPECT_TRUE(script.steps.empty()) << text;
        const std::string said = "line " + std::to_string(script.error->line) + ": " + script.error->reason.toStdString();
        EXPECT_EQ(said.rfind(reason, 0), 0u) << said;
    }
}

TEST(DriveScripts, AMissingCarSendsNothingAndALostOneStopsTheOthers) {
    Road missing;
    EXPECT_EQ(missing.run("{\"vehicle\": \"0x0badcafe\", \"speed\": 300}\n{\"vehicle\": \"model:9\", \"stop\": true}\n"),
              drive::kVehicleMissing);
    EXPECT_EQ(missing.err, Lines{"not ready after the connect timeout, nothing sent: 0x0badcafe"});
    EXPECT_TRUE(missing.out.empty());
    EXPECT_TRUE(missing.frames(0x12345678).empty());

    Road lost;
    const int code = lost.run("{\"vehicle\": \"all\", \"speed\": 300}\n{\"wait\": 60000}\n",
                              [&lost] { lost.world.removeVehicle(0xcafe0018); }, 5000);
    EXPECT_EQ(code, drive::kVehicleLost);
    EXPECT_EQ(lost.err, Lines{"vehicle 0xcafe0018 was lost"});
    EXPECT_EQ(lost.frames(0x12345678).back(), kStop);
    EXPECT_EQ(lost.frames(0x00001913).back(), kStop);
}

TEST(DriveScripts, ASignalMidDriveStopsTheCars) {
    Road road;
    drive::Runner::pendingSignal().store(0);
    const int code = road.run("{\"vehicle\": \"all\", \"speed\": 300}\n{\"wait\": 60000}\n",
                              [] { drive::Runner::pendingSignal().store(SIGTERM); }, 4000);
    drive::Runner::pendingSignal().store(0);
    EXPECT_EQ(code, 128 + SIGTERM);
    for (std::uint32_t id : {0x12345678u, 0xcafe0018u, 0x00001913u}) EXPECT_EQ(road.frames(id).back(), kStop);
}

TEST(DriveScripts, ARecordingPlayedBackSendsTheSameFrames) {
    const char* script =
        "{\"vehicle\": \"all\", \"speed\": 250}\n{\"vehicle\": \"model:18\", \"lane\": 30, \"at\": 400}\n"
        "{\"vehicle\": \"0x00001913\", \"uturn\": true, \"at\": 900}\n";
    char* recorded = nullptr;
    std::size_t size = 0;
    Road first;
    {
        std::FILE* memory = open_memstream(&recorded, &size);
        DriveRecorder recorder(memory, [&first] { return static_cast<double>(first.loop.now().count()); });
        EXPECT_EQ(first.run(script), drive::kOk);
        std::fclose(memory);
    }
    const std::string recording(recorded, size);
    std::free(recorded);
    EXPECT_NE(recording.find("\"notified\""), std::string::npos) << "what the cars said is there too";
    EXPECT_NE(recording.find("\"occasion\":\"the stop at the end\""), std::string::npos);

    // Played with a start of its own: the times shift, the frames do not.
    Road again;
    EXPECT_EQ(again.run(recording), drive::kOk);
    for (std::uint32_t id : {0x12345678u, 0xcafe0018u, 0x00001913u}) {
        EXPECT_EQ(again.frames(id), first.frames(id)) << id;
    }
    EXPECT_EQ(again.out.size(), first.out.size());
}

TEST(DriveProgram, SigtermStopsTheCarsOfARealTimeDrive) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.jsonl"));
    std::FILE* file = std::fopen(qPrintable(path), "w");
    std::fputs("{\"vehicle\": \"all\", \"speed\": 300}\n{\"wait\": 600000}\n", file);
    std::fclose(file);
    QProcess program;
    program.start(QStringLiteral(ZELTO_DRIVE_PROGRAM), {QStringLiteral("--radio"), QStringLiteral("sim"),
                                                        QStringLiteral("run"), path});
    ASSERT_TRUE(program.waitForStarted(10000));
    QByteArray printed;
    while (printed.count('\n') < 3 && program.waitForReadyRead(30000)) printed += program.readAllStandardOutput();
    ASSERT_EQ(printed.count('\n'), 3) << printed.toStdString();
    program.terminate();  // SIGTERM
    ASSERT_TRUE(program.waitForFinished(30000));
    printed += program.readAllStandardOutput();
    EXPECT_EQ(program.exitCode(), 128 + SIGTERM);
    EXPECT_EQ(printed.count(" set-speed 06 24 00 00 A8 61 00\n"), 3) << printed.toStdString();
}

TEST(DriveProgram, UsageErrorsAndBadScriptsExitTwo) {
    const std::vector<QStringList> calls = {
        {QStringLiteral("fly")},
        {QStringLiteral("run")},
        {QStringLiteral("--radio"), QStringLiteral("carrier-pigeon"), QStringLiteral("scan")},
        {QStringLiteral("--virtual-time"), QStringLiteral("scan")},
        {QStringLiteral("--radio"), QStringLiteral("sim"), QStringLiteral("run"), QStringLiteral("/no/such/script")},
    };
    for (const QStringList& arguments : calls) {
        QProcess program;
        program.start(QStringLiteral(ZELTO_DRIVE_PROGRAM), arguments);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitCode(), 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
    }
    QProcess script;
    script.start(QStringLiteral(ZELTO_DRIVE_PROGRAM),
                 {QStringLiteral("--radio"), QStringLiteral("sim"), QStringLiteral("--virtual-time"), QStringLiteral("run"), QStringLiteral("-")});
    script.write("{\"vehicle\": \"all\", \"speed\": 100}\n{\"vehicle\": \"all\", \"speed\": NaN}\n");
    script.closeWriteChannel();
    ASSERT_TRUE(script.waitForFinished(30000));
    EXPECT_EQ(script.exitCode(), 2);
    EXPECT_TRUE(script.readAllStandardOutput().isEmpty()) << "refused before anything is sent";
    EXPECT_TRUE(script.readAllStandardError().startsWith("-:2: not JSON"));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
