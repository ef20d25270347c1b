// zelto-drive: scans for vehicles and drives them from scripts, on the same
// link and radios as the window, without a display.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include "radio/RadioChoice.h"
#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"
#include "drive/Clock.h"
#include "drive/Runner.h"
#include "drive/Scan.h"
#include "link/DriveRecorder.h"
#include "link/SystemLog.h"
#include "link/VehiclesController.h"

namespace {

void printLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const std::string& line) {
    std::fprintf(stderr, "zelto-drive: %s\n", line.c_str());
}

int usage(const QString& why) {
    printError(why.toStdString() + " (see --help)");
    return drive::kBadInput;
}

void onSignal(int signal) { drive::Runner::pendingSignal().store(signal); }

// The chosen radio, and whatever its clock runs on.
struct Drive {
    std::unique_ptr<ble::ManualEventLoop> virtualLoop;
    std::unique_ptr<ble::sim::World> virtualWorld;
    std::optional<Radio> radio;
    ble::CentralFactory factory;
    std::unique_ptr<drive::DriveClock> clock;
};

std::optional<Radio> autoRadio() {
    std::optional<Radio> chosen;
    QEventLoop wait;
    QObject context;
    chooseRadio(&context, [&](Radio radio) {
        chosen = std::move(radio);
        wait.quit();
    });
    if (!chosen) wait.exec();
    return chosen;
}

}  // namespace

int main(int argc, char* argv[]) {
    SystemLog::setProgramName("zelto-drive");
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelto-drive"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELTO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Scans for vehicles and drives them from scripts.\n\n"
        "  scan               lists the vehicles that advertise\n"
        "  run SCRIPT|-       runs a JSON-lines script (- for standard input)\n"
        "  replay FILE        plays a recording back"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("scan, run or replay"));
    const QCommandLineOption radioOption(QStringLiteral("radio"), QStringLiteral("auto, sim, bluez or qt"),
                                         QStringLiteral("radio"), QStringLiteral("auto"));
    const QCommandLineOption adapterOption(QStringLiteral("adapter"), QStringLiteral("the adapter's address"),
                                           QStringLiteral("address"));
    const QCommandLineOption timeoutOption(QStringLiteral("connect-timeout"),
                                           QStringLiteral("seconds to find and connect the vehicles (10)"),
                                           QStringLiteral("seconds"), QStringLiteral("10"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("how long scan listens (3)"),
                                           QStringLiteral("seconds"), QStringLiteral("3"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("scan prints JSON lines"));
    const QCommandLineOption recordOption(QStringLiteral("record"), QStringLiteral("records the drive to a file"),
                                          QStringLiteral("file"));
    const QCommandLineOption virtualOption(QStringLiteral("virtual-time"),
                                           QStringLiteral("with --radio sim: runs on the simulation's time"));
    parser.addOptions({radioOption, adapterOption, timeoutOption, secondsOption, jsonOption, recordOption,
                       virtualOption});
    if (!parser.parse(QCoreApplication::arguments())) return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return drive::kOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("zelto-drive %s\n", ZELTO_VERSION);
        return drive::kOk;
    }

    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);
    if (command != QLatin1String("scan") && command != QLatin1String("run") && command != QLatin1String("replay")) {
        return usage(command.isEmpty() ? QStringLiteral("no command") : QStringLiteral("unknown command \"%1\"").arg(command));
    }
    const bool scanning = command == QLatin1String("scan");
    if (scanning ? positional.size() != 1 : positional.size() != 2) {
        return usage(scanning ? QStringLiteral("scan takes no file") : QStringLiteral("%1 takes one file").arg(command));
    }
    bool ok = false;
    const double timeout = parser.value(timeoutOption).toDouble(&ok);
    if (!ok || !(timeout > 0 && timeout <= 3600)) return usage(QStringLiteral("--connect-timeout is 0 to 3600 seconds"));
    const double seconds = parser.value(secondsOption).toDouble(&ok);
    if (!ok || !(seconds >= 0 && seconds <= 3600)) return usage(QStringLiteral("--seconds is 0 to 3600"));
    const QString radioName = parser.value(radioOption);
    const bool virtualTime = parser.isSet(virtualOption);
    if (virtualTime && radioName != QLatin1String("sim")) return usage(QStringLiteral("--virtual-time needs --radio sim"));

    drive::Script script;
    if (!scanning) {
        const QString path = positional.at(1);
        QFile file;
        const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                       : (file.setFileName(path), file.open(QIODevice::ReadOnly));
        if (!opened) {
            printError("cannot read " + path.toStdString());
            return drive::kBadInput;
        }
        script = drive::parseScript(file.readAll());
        if (script.error) {
            std::fprintf(stderr, "line %d: %s\n", script.error->line, qPrintable(script.error->reason));
            return drive::kBadInput;
        }
    }

    Drive run;
    const QString adapter = parser.value(adapterOption);
    if (radioName == QLatin1String("sim")) {
        if (virtualTime) {
            run.virtualLoop = std::make_unique<ble::ManualEventLoop>();
            run.virtualWorld = std::make_unique<ble::sim::World>(*run.virtualLoop);
            ble::sim::World::populateDefault(*run.virtualWorld);
            run.factory = run.virtualWorld->centralFactory();
            run.clock = std::make_unique<drive::VirtualClock>(*run.virtualLoop);
        } else {
            run.radio = makeSimulatedRadio();
        }
    } else if (radioName == QLatin1String("bluez") || radioName == QLatin1String("qt")) {
        run.radio = makeRadioOfKind(radioName == QLatin1String("qt") ? RadioKind::Qt : RadioKind::Bluez, adapter);
        if (!run.radio) return usage(QStringLiteral("this build has no BlueZ radio"));
    } else if (radioName == QLatin1String("auto")) {
        run.radio = autoRadio();
    } else {
        return usage(QStringLiteral("--radio is auto, sim, bluez or qt"));
    }
    if (run.radio) {
        run.factory = run.radio->factory;
        run.clock = std::make_unique<drive::RealClock>();
        printError("radio: " + run.radio->description.toStdString());
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    if (scanning) {
        drive::scan(run.factory, *run.clock, seconds, parser.isSet(jsonOption), printLine);
        return drive::kOk;
    }

    auto controller = std::make_shared<VehiclesController>(run.factory);
    drive::Runner runner(*controller, *run.clock, timeout * 1000.0, printLine, printError);
    std::FILE* recording = nullptr;
    std::unique_ptr<DriveRecorder> recorder;
    if (parser.isSet(recordOption)) {
        recording = std::fopen(qPrintable(parser.value(recordOption)), "w");
        if (!recording) {
            printError("cannot write " + parser.value(recordOption).toStdString());
            return drive::kBadInput;
        }
        drive::DriveClock& clock = *run.clock;
        recorder = std::make_unique<DriveRecorder>(
            recording, [&clock, &runner] { return std::max(0.0, clock.nowMs() - runner.originMs()); });
    }
    const int code = runner.run(script);
    recorder.reset();
    if (recording) std::fclose(recording);
    controller.reset();
    return code;
}
