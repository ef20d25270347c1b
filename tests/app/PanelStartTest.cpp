// Starting the panel with --sim-cars: the command line, the program's exit
// status, and the simulated radio it then holds.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>
#include <set>

#include "app/window/PanelCommandLine.h"
#include "radio/RadioChoice.h"

namespace {

PanelCommandLine read(const QStringList& arguments) {
    return readPanelCommandLine(QStringList{QStringLiteral("zelto-panel")} + arguments, QStringLiteral("9.9"));
}

TEST(PanelCommandLineTest, SimCarsIsAWholeNumberFromOneTo256) {
    const std::pair<QStringList, std::optional<int>> cases[] = {
        {{}, 3}, {{"--sim-cars", "1"}, 1}, {{"--sim-cars=24"}, 24}, {{"--sim-cars", "256"}, 256},
        {{"--sim-cars", "0"}, {}}, {{"--sim-cars", "-3"}, {}}, {{"--sim-cars", "257"}, {}},
        {{"--sim-cars", "1e2"}, {}}, {{"--sim-cars", "many"}, {}}, {{"--sim-cars", ""}, {}},
    };
    for (const auto& [arguments, cars] : cases) {
        const PanelCommandLine line = read(arguments);
        EXPECT_EQ(line.simCars, cars) << arguments.join(' ').toStdString();
        EXPECT_EQ(line.refusal, cars ? QString() : QStringLiteral("--sim-cars is 1 to 256"));
    }
    EXPECT_EQ(read({"--fly"}).refusal, "Unknown option 'fly'");
    EXPECT_EQ(read({"tracks.txt"}).refusal, "unexpected \"tracks.txt\"");
    // The simulated cars, named outright or by their count alone.
    for (const auto& [arguments, simulated] : {std::pair{QStringList{"--radio", "sim"}, true},
                                               std::pair{QStringList{"--sim-cars", "4"}, true},
                                               std::pair{QStringList{"--sim-cars", "4", "--radio", "mqtt://h"}, false},
                                               std::pair{QStringList{}, false}}) {
        EXPECT_EQ(read(arguments).simulated, simulated) << arguments.join(' ').toStdString();
    }
    EXPECT_TRUE(read({"--help"}).text.contains("--sim-cars <count>"));
    EXPECT_EQ(read({"--version"}).text, "zelto-panel 9.9\n");
}

TEST(PanelCommandLineTest, ShareTakesAPortAndMaybeAnAddressConnectAndRecordTheirOwn) {
    const std::pair<QString, std::optional<ShareAt>> cases[] = {
        {"8765", ShareAt{"", 8765}},
        {"127.0.0.1:0", ShareAt{"127.0.0.1", 0}},
        {"[::1]:80", ShareAt{"::1", 80}},
        {"65536", {}},
        {"-1", {}},
        {"+80", {}},
        {"", {}},
        {"1.2.3.4:", {}},
        {"laptop.local:80", {}},
        {"0.0.0.0:8765", ShareAt{"0.0.0.0", 8765}},
        {"[::]:0", ShareAt{"::", 0}},
    };
    for (const auto& [text, expected] : cases) {
        const std::optional<ShareAt> read = readShareAt(text);
        EXPECT_EQ(read.has_value(), expected.has_value()) << text.toStdString();
        if (!read || !expected) continue;
        EXPECT_EQ(read->address, expected->address);
        EXPECT_EQ(read->port, expected->port);
    }
    EXPECT_TRUE(read({"--share", "x"}).refusal.startsWith("--share takes [ADDRESS:]PORT"));
    EXPECT_FALSE(read({}).share);
    EXPECT_FALSE(read({}).connect);
    EXPECT_TRUE(read({"--connect"}).connect);
    EXPECT_EQ(read({"--record", "drive.jsonl"}).record, "drive.jsonl");
}

TEST(PanelCommandLineTest, TheProgramRefusesWithStatusTwoAndStartsWithAFleet) {
    struct Case {
        QStringList arguments;
        int code;
        QByteArray err;
    };
    const Case cases[] = {
        {{"--sim-cars", "0"}, 2, "zelto-panel: --sim-cars is 1 to 256 (see --help)\n"},
        {{"--sim-cars", "24"}, 0, ""},
        {{"--radio", "sim"}, 0, ""},
        {{"--share", "127.0.0.1:0"}, 0, "Drive from phones: http://127.0.0.1:"},
        {{"--share", "192.0.2.1:8765"}, 2, "zelto-panel: could not share on 192.0.2.1 port 8765: "},
        {{"--share", "my-laptop:8765"}, 2, "--share takes [ADDRESS:]PORT"},
        {{"--record", "/nonexistent/drive.jsonl"}, 2, "zelto-panel: could not record to /nonexistent/drive.jsonl: "},
        {{"--radio", "mqtt://127.0.0.1:1"}, 2, "zelto-panel: no broker answers at mqtt://127.0.0.1:1\n"},
        {{"--radio", "mqtt://anna:secret@"}, 2, "zelto-panel: --radio: "},
    };
    for (const Case& c : cases) {
        QProcess panel;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ZELTO_PANEL_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
        panel.setProcessEnvironment(environment);
        panel.start(QStringLiteral(ZELTO_PANEL_PROGRAM), c.arguments);
        ASSERT_TRUE(panel.waitForFinished(60000));
        EXPECT_EQ(panel.exitCode(), c.code) << c.arguments.join(' ').toStdString();
        const QByteArray err = panel.readAllStandardError();
        EXPECT_TRUE(err.contains(c.err)) << c.err.toStdString();
        EXPECT_FALSE(err.contains("secret")) << "a password is never printed";
    }
}

TEST(PanelCommandLineTest, ShareOnEveryInterfacePrintsAnAddressAPhoneCanOpenOnEachLine) {
    const std::pair<QString, QString> cases[] = {{"0.0.0.0:0", "http://127.0.0.1:"}, {"[::]:0", "http://[::1]:"}};
    for (const auto& [share, loopback] : cases) {
        QProcess panel;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ZELTO_PANEL_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
        panel.setProcessEnvironment(environment);
        panel.start(QStringLiteral(ZELTO_PANEL_PROGRAM), {QStringLiteral("--share"), share});
        ASSERT_TRUE(panel.waitForFinished(60000));
        EXPECT_EQ(panel.exitCode(), 0) << share.toStdString();
        const QStringList lines = QString::fromUtf8(panel.readAllStandardError()).split(QLatin1Char('\n'));
        const QStringList urls = lines.filter(QStringLiteral("Drive from phones: "));
        EXPECT_FALSE(urls.filter(loopback).isEmpty()) << share.toStdString();
        for (const QString& line : urls) {
            EXPECT_TRUE(line.startsWith(QStringLiteral("Drive from phones: http://"))) << line.toStdString();
            EXPECT_FALSE(line.contains(QStringLiteral("0.0.0.0")) || line.contains(QStringLiteral("[::]:")))
                << line.toStdString();
        }
    }
}

TEST(PanelCommandLineTest, HelpAndVersionNeedNoDisplay) {
    const std::pair<QStringList, QByteArray> cases[] = {
        {{"--version"}, "zelto-panel "},
        {{"--help"}, "Usage: zelto-panel [options]"},
        {{"--sim-cars", "5", "-v"}, "zelto-panel "},
    };
    for (const auto& [arguments, out] : cases) {
        QProcess panel;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The platform a desktop has, with no display to reach.
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        panel.setProcessEnvironment(environment);
        panel.start(QStringLiteral(ZELTO_PANEL_PROGRAM), arguments);
        ASSERT_TRUE(panel.waitForFinished(60000));
        EXPECT_EQ(panel.exitCode(), 0) << arguments.join(' ').toStdString();
        EXPECT_TRUE(panel.readAllStandardOutput().startsWith(out)) << arguments.join(' ').toStdString();
    }
}

// Collects the identifiers the radio reports.
class Census : public ble::CentralDelegate {
public:
    std::set<uint32_t> identifiers;
    void centralManagerDidUpdateState(ble::Central& central) override {
        if (central.state() == ble::CentralState::PoweredOn) central.scanForPeripheralsWithServices({});
    }
    void didDiscoverPeripheral(ble::Central&, const std::shared_ptr<ble::Peripheral>&,
                               const ble::AdvertisementData& advertisement, int) override {
        const auto& data = *advertisement.manufacturerData;
        identifiers.insert(uint32_t{data[4]} << 24 | uint32_t{data[5]} << 16 | uint32_t{data[6]} << 8 | data[7]);
    }
};

TEST(PanelCommandLineTest, TheSimulatedFleetOnQtsLoopHoldsThatManyCars) {
    Radio radio = makeSimulatedFleet(24);
    auto census = std::make_shared<Census>();
    const auto central = radio.factory(census);
    EXPECT_TRUE(QTest::qWaitFor([&census] { return census->identifiers.size() >= 24; }, 10000));
    QTest::qWait(450);  // two more rounds bring no one else
    EXPECT_EQ(census->identifiers.size(), 24u);
}

}  // namespace
