// What a script may ask for: speeds and lanes within the window's sliders
// unless the full range is asked for, refusals that point at FILE:LINE, cars
// named by the name they advertise (one car's alone), and frames printed as
// JSON for programs.
#include <gtest/gtest.h>

#include "DriveRoad.h"
#include "drive/Script.h"

namespace {

using drive_test::Lines;
using drive_test::Road;

TEST(DriveScriptRules, SpeedsAndLanesStayWithinTheWindowsRangesUnlessTheFullRangeIsAsked) {
    struct Case {
        const char* step;
        const char* window;  // the refusal without --full-range, "" when accepted
        const char* full;    // and with it
    };
    const Case cases[] = {
        {R"({"vehicle": "all", "speed": 1000})", "", ""},
        {R"({"vehicle": "all", "speed": 1000.5})",
         R"("speed" 1000.5 is out of range (0 to 1000; --full-range allows 0 to 65535))", ""},
        {R"({"vehicle": "all", "speed": 65536})", R"("speed" 65536 is out of range (0 to 1000))",
         R"("speed" 65536 is out of range (0 to 65535))"},
        {R"({"vehicle": "all", "lane": -70})", "", ""},
        {R"({"vehicle": "all", "lane": -70.5})",
         R"("lane" -70.5 is out of range (-70 to 70; --full-range allows -1000 to 1000))", ""},
        {R"({"vehicle": "all", "lane": 1001})", R"("lane" 1001 is out of range (-70 to 70))",
         R"("lane" 1001 is out of range (-1000 to 1000))"},
        {R"({"vehicle": "all", "lane": 20, "speed": 1500})",
         R"("speed" 1500 is out of range (0 to 1000; --full-range allows 0 to 65535))", ""},
    };
    for (const Case& c : cases) {
        for (const bool full : {false, true}) {
            const QByteArray text = QByteArray("# a comment\n") + c.step + "\n";
            const drive::Script script = drive::parseScript(text, drive::ScriptRules{QStringLiteral("race.jsonl"), full});
            const std::string expected = full ? c.full : c.window;
            const std::string said = script.error ? script.placeOf(script.error->line) + ": " + script.error->reason.toStdString() : "";
            EXPECT_EQ(said, expected.empty() ? "" : "race.jsonl:2: " + expected) << c.step << (full ? " full" : "");
        }
    }
}

TEST(DriveScriptRules, ACarNamedByItsAdvertisedNameMustBeOneCarsAlone) {
    struct Case {
        const char* what;
        const char* script;
        bool secondPellan;  // a fourth car that also calls itself Pellan
        int code;
        Lines err;
        std::size_t pellanFrames;
    };
    const Case cases[] = {
        {"found: only Pellan drives", "{\"vehicle\": \"name:Pellan\", \"speed\": 300}\n", false, drive::kOk, {}, 2},
        {"shared: refused, nothing sent",
         "{\"vehicle\": \"all\", \"speed\": 100}\n{\"vehicle\": \"name:Pellan\", \"speed\": 300}\n", true,
         drive::kBadInput, {"-:2: name:Pellan is shared by 0x00001913 and 0x00002020, nothing sent"}, 0},
        {"missing: not ready, nothing sent", "{\"vehicle\": \"name:Nobody\", \"stop\": true}\n", false,
         drive::kVehicleMissing, {"not ready after the connect timeout, nothing sent: name:Nobody"}, 0},
        {"names are exact, and the nearest heard is told", "{\"vehicle\": \"name:pellan\", \"stop\": true}\n", false,
         drive::kVehicleMissing, {"not ready after the connect timeout, nothing sent: name:pellan (heard: name:Pellan)"}, 0},
        {"a name near none heard has no hint", "{\"vehicle\": \"name:Zorbulax\", \"stop\": true}\n", false,
         drive::kVehicleMissing, {"not ready after the connect timeout, nothing sent: name:Zorbulax"}, 0},
    };
    for (const Case& c : cases) {
        Road road;
        if (c.secondPellan) road.world.addVehicle({.model = 19, .identifier = 0x00002020, .name = "Pellan"});
        EXPECT_EQ(road.run(c.script), c.code) << c.what;
        EXPECT_EQ(road.err, c.err) << c.what;
        EXPECT_EQ(road.frames(0x00001913).size(), c.pellanFrames) << c.what;
        EXPECT_TRUE(road.frames(0x12345678).empty()) << c.what;
    }
    EXPECT_EQ(drive::parseScript("{\"vehicle\": \"name:\", \"stop\": true}").error->reason,
              "vehicle \"name:\" names nobody");
}

TEST(DriveScriptRules, AConnectTimeoutOfZeroWaitsForACarHoweverLateItComes) {
    Road road;
    road.connectTimeoutMs = 0;
    const int code = road.run("{\"vehicle\": \"name:Late\", \"speed\": 300}\n", [&road] {
        road.world.addVehicle({.model = 8, .identifier = 0x00000808, .name = "Late"});
    }, 120000);
    EXPECT_EQ(code, drive::kOk);
    EXPECT_FALSE(road.frames(0x00000808).empty());
}

TEST(DriveScriptRules, AModelDrivesEveryCarOfItEvenOneThatConnectsLater) {
    Road road;
    road.world.addVehicle({.model = 9, .identifier = 0x00000909, .name = "Vexa"});
    EXPECT_EQ(road.run("{\"vehicle\": \"model:9\", \"speed\": 300}\n"), drive::kOk);
    EXPECT_FALSE(road.frames(0x12345678).empty());
    EXPECT_FALSE(road.frames(0x00000909).empty());
    EXPECT_TRUE(road.frames(0x00001913).empty());
}

TEST(DriveScriptRules, ACarLostMidDriveStopsItAndAStepWhoseCarsAreGoneNamesItsLine) {
    struct Case {
        const char* script;  // its second step waits while the car goes
        std::uint32_t removed;
        const char* err;
    };
    const Case cases[] = {
        {"{\"vehicle\": \"name:Vexa\", \"speed\": 300}\n{\"wait\": 60000}\n{\"vehicle\": \"name:Vexa\", \"stop\": true}\n",
         0x12345678, "vehicle 0x12345678 was lost"},
        {"{\"vehicle\": \"0x12345678\", \"speed\": 100}\n{\"wait\": 60000}\n{\"vehicle\": \"model:18\", \"stop\": true}\n",
         0xcafe0018, "-:3: every vehicle of model 18 is not there"},
    };
    for (const Case& c : cases) {
        Road road;
        EXPECT_EQ(road.run(c.script, [&road, &c] { road.world.removeVehicle(c.removed); }, 5000), drive::kVehicleLost)
            << c.script;
        EXPECT_EQ(road.err, Lines{c.err}) << c.script;
    }
}

TEST(DriveScriptRules, JsonFramesCarryTimeVehicleCommandAndHex) {
    Road road;
    road.format = drive::FrameFormat::Json;
    EXPECT_EQ(road.run("{\"vehicle\": \"0x12345678\", \"speed\": 500}\n"
                       "{\"vehicle\": \"model:9\", \"lane\": -20, \"at\": 1250}\n"),
              drive::kOk);
    const Lines expected{
        R"({"time":0.000,"vehicle":"0x12345678","command":"set-speed","hex":"06 24 F4 01 A8 61 00"})",
        R"({"time":1.250,"vehicle":"0x12345678","command":"change-lane","hex":"0B 25 F4 01 C4 09 00 00 A0 C1 00 00"})",
        R"({"time":1.250,"vehicle":"0x12345678","command":"set-speed","hex":"06 24 00 00 A8 61 00"})",
    };
    EXPECT_EQ(road.out, expected);
}

}  // namespace
