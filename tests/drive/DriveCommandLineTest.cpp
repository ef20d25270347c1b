// zelto-drive's command line: every flag that does not apply to its command
// is refused by name, nothing is silently ignored, and the flags that apply
// arrive where the program reads them.
#include <gtest/gtest.h>

#include <QStringList>

#include "drive/CommandLine.h"

namespace {

drive::CommandLine read(const QStringList& arguments) {
    return drive::readCommandLine(QStringList{QStringLiteral("zelto-drive")} + arguments, QStringLiteral("9.9"));
}

TEST(DriveCommandLine, AFlagThatDoesNotApplyIsRefusedByName) {
    const std::pair<QStringList, QString> refused[] = {
        {{"run", "race.jsonl", "--seconds", "5"}, "--seconds does not apply to run"},
        {{"replay", "drive.jsonl", "--seconds", "1"}, "--seconds does not apply to replay"},
        {{"scan", "--record", "drive.jsonl"}, "--record does not apply to scan"},
        {{"scan", "--connect-timeout", "5"}, "--connect-timeout does not apply to scan"},
        {{"scan", "--full-range"}, "--full-range does not apply to scan"},
        {{"--radio", "sim", "--adapter", "hci0", "scan"}, "--adapter does not apply to --radio sim"},
        {{"--adapter", "", "scan"}, "--adapter names no adapter"},
        {{"--adapter", "hci0,,hci1", "scan"}, "--adapter names no adapter"},
        {{"--adapter", "hci0,", "scan"}, "--adapter names no adapter"},
        {{"--adapter", "all,hci1", "scan"}, "--adapter all stands alone"},
        {{"--radio", "qt", "--adapter", "all", "scan"}, "--radio qt drives one adapter; all and lists need the BlueZ radio"},
        {{"--radio", "qt", "--adapter", "hci0,hci1", "scan"}, "--radio qt drives one adapter; all and lists need the BlueZ radio"},
        {{"--adapter", "hci0", "--virtual-time", "scan"}, "--virtual-time needs --radio sim"},
        {{"--radio", "carrier-pigeon", "scan"}, "--radio is auto, sim, bluez, qt or mqtt://HOST[:PORT][/NAME]"},
        {{"--radio", "mqtt://h:0", "scan"}, "--radio: the broker's port is 1 to 65535"},
        {{"--radio", "mqtt://h", "--adapter", "hci0", "scan"}, "--adapter does not apply to a broker's cars"},
        {{"relay"}, "relay needs --broker mqtt[s]://HOST[:PORT]"},
        {{"relay", "--broker", "http://h"}, "--broker: a broker is mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"},
        {{"relay", "--broker", "mqtt://h/hall"}, "--broker takes no /NAME; the relay's name is --name"},
        {{"relay", "--broker", "mqtt://h", "--name", "hall 2"}, "--name is 1 to 64 letters, digits and _.:-"},
        {{"relay", "--broker", "mqtt://h", "--seconds", "2"}, "--seconds does not apply to relay"},
        {{"relay", "--radio", "mqtt://h", "--broker", "mqtt://h"}, "a relay offers this host's own radio, not a broker's"},
        {{"scan", "--broker", "mqtt://h"}, "--broker does not apply to scan"},
        {{"relay", "extra", "--broker", "mqtt://h"}, "relay takes no file"},
        {{"scan", "--seconds", "-1"}, "--seconds is 0 to 3600"},
        {{"run", "-", "--connect-timeout", "-1"}, "--connect-timeout is 0 to 3600 seconds"},
        {{"run", "-", "--record", ""}, "--record names no file"},
        {{"--radio", "sim", "--sim-cars", "0", "scan"}, "--sim-cars is 1 to 256"},
        {{"--sim-cars", "257", "scan"}, "--sim-cars is 1 to 256"},
        {{"--sim-cars", "twelve", "scan"}, "--sim-cars is 1 to 256"},
        {{"--sim-cars", "2.5", "scan"}, "--sim-cars is 1 to 256"},
        {{"--radio", "bluez", "--sim-cars", "4", "scan"}, "--sim-cars does not apply to a real radio"},
        {{"--adapter", "hci0", "--sim-cars", "4", "scan"}, "--sim-cars does not apply to a real radio"},
        {{"scan", "extra"}, "scan takes no file"},
        {{"replay"}, "replay takes one file"},
        {{"fly"}, "unknown command \"fly\""},
        {{}, "no command"},
    };
    for (const auto& [arguments, reason] : refused) {
        const drive::CommandLine line = read(arguments);
        EXPECT_FALSE(line.invocation) << arguments.join(' ').toStdString();
        EXPECT_EQ(line.refusal, reason) << arguments.join(' ').toStdString();
    }
    EXPECT_EQ(read({"--frobnicate", "scan"}).refusal, "Unknown option 'frobnicate'");
}

TEST(DriveCommandLine, TheFlagsThatApplyReachTheProgram) {
    const drive::CommandLine run = read({"--adapter", "00:1A:7D:DA:71:13", "run", "-", "--json", "--full-range",
                                         "--record", "r.jsonl", "--connect-timeout", "2.5", "--verbose"});
    ASSERT_TRUE(run.invocation) << run.refusal.toStdString();
    EXPECT_EQ(run.invocation->command, drive::Invocation::Command::Run);
    EXPECT_EQ(run.invocation->file, "-");
    EXPECT_EQ(run.invocation->adapter, "00:1A:7D:DA:71:13");
    EXPECT_EQ(run.invocation->adapters, QStringList{"00:1A:7D:DA:71:13"});
    EXPECT_EQ(read({"--adapter", "hci0, hci1", "scan"}).invocation->adapters, (QStringList{"hci0", "hci1"}));
    EXPECT_EQ(read({"--radio", "bluez", "--adapter", "all", "scan"}).invocation->adapters, QStringList{"all"});
    EXPECT_EQ(run.invocation->record, "r.jsonl");
    EXPECT_DOUBLE_EQ(run.invocation->connectTimeoutS, 2.5);
    EXPECT_TRUE(run.invocation->json && run.invocation->fullRange && run.invocation->verbose);

    const drive::CommandLine scan = read({"--radio", "sim", "--virtual-time", "scan", "--seconds", "0", "--json"});
    ASSERT_TRUE(scan.invocation) << scan.refusal.toStdString();
    EXPECT_DOUBLE_EQ(scan.invocation->seconds, 0);
    EXPECT_TRUE(scan.invocation->json && scan.invocation->virtualTime);
    EXPECT_FALSE(scan.invocation->verbose) << "quiet unless asked";
    EXPECT_EQ(scan.invocation->simCars, 3) << "the default world";

    // The simulated cars, asked for outright or as auto's fallback.
    for (const QString radio : {"sim", "auto"}) {
        const drive::CommandLine fleet = read({"--radio", radio, "--sim-cars", "256", "scan"});
        ASSERT_TRUE(fleet.invocation) << fleet.refusal.toStdString();
        EXPECT_EQ(fleet.invocation->simCars, 256);
    }
    // Simulated cars with no radio named are the simulated radio's, even
    // where a real adapter is there for auto to find.
    EXPECT_EQ(read({"--sim-cars", "4", "scan"}).invocation->radio, "sim");
}

TEST(DriveCommandLine, HelpEndsWithTheScriptFormAndAnExample) {
    const QString help = read({"--help"}).text;
    EXPECT_TRUE(help.contains("\"name:Pellan\""));
    EXPECT_GT(help.indexOf("Example:"), help.indexOf("A script is JSON lines"));
    EXPECT_TRUE(help.endsWith("zelto-drive --radio sim run -\n")) << help.toStdString();
    const QString started = drive::readCommandLine({"/home/me/build/drive/zelto-drive", "--help"}, "9.9").text;
    EXPECT_TRUE(started.startsWith("Usage: zelto-drive [options]")) << started.toStdString();
    EXPECT_EQ(read({"--version"}).text, "zelto-drive 9.9\n");
}

}  // namespace
