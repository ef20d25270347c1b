// zelto-drive: scans for vehicles and drives them from scripts, on the same
// link and radios as the window, without a display.
#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include "drive/CommandLine.h"
#include "drive/RadioStart.h"
#include "drive/RelayCommand.h"
#include "drive/Runner.h"
#include "drive/Scan.h"
#include "drive/ScriptFile.h"
#include "link/DriveRecorder.h"
#include "link/SystemLog.h"
#include "link/VehiclesController.h"
#include "radio/RadioChoice.h"

namespace {

void printLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const std::string& line) {
    std::fprintf(stderr, "zelto-drive: %s\n", line.c_str());
}

// "race.jsonl:4: reason": where an editor can jump to, so without the name.
void printScriptError(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

int usage(const QString& why) {
    printError(why.toStdString() + " (see --help)");
    return drive::kBadInput;
}

void onSignal(int signal) { drive::Runner::pendingSignal().store(signal); }

// However the program ends once its radio is up (the script's end, a signal,
// an error, a relay stopping), the links it made go with it: they belong to
// the system's Bluetooth service and would outlive the program.
struct LinksEndWithTheProgram {
    ~LinksEndWithTheProgram() { releaseRadioLinks(); }
};

}  // namespace

int main(int argc, char* argv[]) {
    SystemLog::setProgramName("zelto-drive");
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelto-drive"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELTO_VERSION));

    const drive::CommandLine commandLine =
        drive::readCommandLine(QCoreApplication::arguments(), QStringLiteral(ZELTO_VERSION));
    if (!commandLine.text.isEmpty()) {
        std::fputs(qPrintable(commandLine.text), stdout);
        return drive::kOk;
    }
    if (!commandLine.invocation) return usage(commandLine.refusal);
    const drive::Invocation& call = *commandLine.invocation;
    SystemLog::setEchoToStandardError(call.verbose);
    const bool scanning = call.command == drive::Invocation::Command::Scan;
    const bool relaying = call.command == drive::Invocation::Command::Relay;

    drive::Script script;
    if (!scanning && !relaying) {
        const drive::FileText file = drive::readScriptFile(call.file);
        if (!file.error.empty()) {
            printError(file.error);
            return drive::kBadInput;
        }
        script = drive::parseScript(file.text, drive::ScriptRules{call.file, call.fullRange});
        if (script.error) {
            printScriptError(script.placeOf(script.error->line) + ": " + script.error->reason.toStdString());
            return drive::kBadInput;
        }
    }

    drive::StartedRadio run = drive::startRadio(call);
    if (!run.problem.empty()) {
        printError(run.problem);
        return drive::kBadInput;
    }
    if (run.radio && call.verbose) printError("radio: " + run.radio->description.toStdString());

    const LinksEndWithTheProgram linksEnd;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);

    if (relaying) return drive::runRelay(call, run.factory, printLine, printError);
    if (scanning) {
        drive::scan(run.factory, *run.clock, call.seconds, call.json, printLine);
        return drive::kOk;
    }

    auto controller = std::make_shared<VehiclesController>(run.factory);
    drive::Runner runner(*controller, *run.clock, call.connectTimeoutS * 1000.0, printLine, printError);
    runner.setScriptErrorSink(printScriptError);
    if (call.json) runner.setFrameFormat(drive::FrameFormat::Json);
    runner.setSayReplaced(call.verbose);
    std::FILE* recording = nullptr;
    std::unique_ptr<DriveRecorder> recorder;
    if (!call.record.isEmpty()) {
        recording = std::fopen(qPrintable(call.record), "w");
        if (!recording) {
            printError("cannot write " + call.record.toStdString() + ": " + std::strerror(errno));
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
