#include "drive/CommandLine.h"

#include <QCommandLineParser>
#include <vector>

#include "ble/mqtt/BrokerUrl.h"
#include "ble/mqtt/Wire.h"
#include "radio/SimCars.h"
#include "radio/UsageText.h"

namespace drive {
namespace {

// Ends --help: what a script looks like, and one to try.
const char* const kScriptHelp = R"(
A script is JSON lines, one step a line ("#" comments and empty lines skipped):
  {"vehicle": WHO, ACTION, "at": MS}    or    {"wait": MS}
  WHO     305419896, "0x12345678", "model:9", "name:Pellan" or "all"
  ACTION  "speed": 0 to 1000, "lane": -70 to 70 (with "speed" for the change),
          "middle": true, "stop": true or "uturn": true
  "model:9" drives every car of model 9; a name two cars share is refused.
  "at" is the step's time in milliseconds from the start (optional).

Example:
  printf '%s\n' '{"vehicle": "all", "speed": 400}' '{"wait": 2000}' \
      '{"vehicle": "name:Pellan", "lane": -20}' | zelto-drive --radio sim run -
)";

QCommandLineOption valued(const char* name, const char* description, const char* valueName,
                          const char* fallback = nullptr) {
    QCommandLineOption option(QString::fromLatin1(name), QString::fromLatin1(description),
                              QString::fromLatin1(valueName));
    if (fallback) option.setDefaultValue(QString::fromLatin1(fallback));
    return option;
}

QCommandLineOption flag(const char* name, const char* description) {
    return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description));
}

// Seconds from 0 to an hour.
bool secondsIn(const QString& text, double& seconds) {
    bool ok = false;
    seconds = text.toDouble(&ok);
    return ok && seconds >= 0 && seconds <= 3600;
}

CommandLine refused(const QString& why) { return CommandLine{std::nullopt, why, QString()}; }

}  // namespace

CommandLine readCommandLine(const QStringList& arguments, const QString& version) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Scans for vehicles and drives them from scripts.\n\n"
        "  scan               lists the vehicles that advertise\n"
        "  run SCRIPT|-       runs a JSON-lines script (- for standard input)\n"
        "  replay FILE        plays a recording back\n"
        "  relay              offers this host's radio on an MQTT broker (--broker)"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("scan, run, replay or relay"));
    const QCommandLineOption radio =
        valued("radio", "auto, sim, bluez, qt, or mqtt://HOST[:PORT][/NAME] for cars that relays offer", "radio", "auto");
    const QCommandLineOption broker =
        valued("broker", "relay: the broker, mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT] (a password may come from "
                         "ZELTO_BROKER_PASSWORD instead)", "url");
    const QCommandLineOption name = valued("name", "relay: the relay's name on the broker (this host's name)", "name");
    const QCommandLineOption takeOver =
        flag("take-over", "relay: starts even while a relay of its name is online, which then stops");
    const QCommandLineOption caFile = valued("ca-file", "mqtts: the CA certificates to trust (the system's)", "file");
    const QCommandLineOption adapter =
        valued("adapter",
               "the adapter's name (hci0) or address, a comma list of them (hci0,hci1), or all; "
               "the real radio, on those adapters",
               "adapter");
    const QCommandLineOption timeout =
        valued("connect-timeout", "run, replay: seconds to find and connect the vehicles (10; 0: no limit)", "seconds", "10");
    const QCommandLineOption seconds = valued("seconds", "scan: how long it listens (3)", "seconds", "3");
    const QCommandLineOption json = flag("json", "prints JSON lines: the vehicles found, or the frames written");
    const QCommandLineOption record = valued("record", "run, replay: records the drive to a file", "file");
    const QCommandLineOption fullRange =
        flag("full-range", "run, replay: speeds 0 to 65535 and lanes -1000 to 1000, beyond the window's");
    const QCommandLineOption virtualTime = flag("virtual-time", "with --radio sim: runs on the simulation's time");
    const QCommandLineOption verbose = flag("verbose", "the link's log on standard error");
    const QCommandLineOption simCars =
        valued("sim-cars", "the simulated radio's number of cars, 1 to 256 (3: one for each panel)", "count", "3");
    parser.addOptions({radio, adapter, timeout, seconds, json, record, fullRange, virtualTime, verbose, simCars, broker, name, takeOver,
                       caFile});

    if (!parser.parse(arguments)) return refused(refusalText(parser.errorText()));
    if (parser.isSet(help)) {
        const QString text = helpNaming(parser.helpText(), QStringLiteral("zelto-drive"));
        return CommandLine{std::nullopt, QString(), text + QLatin1String(kScriptHelp)};
    }
    if (parser.isSet(versionOption)) {
        return CommandLine{std::nullopt, QString(), QStringLiteral("zelto-drive %1\n").arg(version)};
    }

    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);
    Invocation invocation;
    if (command == QLatin1String("scan")) invocation.command = Invocation::Command::Scan;
    else if (command == QLatin1String("run")) invocation.command = Invocation::Command::Run;
    else if (command == QLatin1String("replay")) invocation.command = Invocation::Command::Replay;
    else if (command == QLatin1String("relay")) invocation.command = Invocation::Command::Relay;
    else return refused(command.isEmpty() ? QStringLiteral("no command") : QStringLiteral("unknown command \"%1\"").arg(command));
    const bool scanning = invocation.command == Invocation::Command::Scan;
    const bool relaying = invocation.command == Invocation::Command::Relay;
    if (scanning || relaying ? positional.size() != 1 : positional.size() != 2) {
        return refused(scanning || relaying ? QStringLiteral("%1 takes no file").arg(command)
                                            : QStringLiteral("%1 takes one file").arg(command));
    }
    invocation.file = positional.value(1);

    // Every flag that is given must do something for this command.
    const std::vector<const QCommandLineOption*> scanOnly{&seconds};
    const std::vector<const QCommandLineOption*> drivingOnly{&timeout, &record, &fullRange};
    const std::vector<const QCommandLineOption*> relayOnly{&broker, &name, &takeOver};
    const std::vector<const QCommandLineOption*> notRelaying{&seconds, &timeout, &record, &fullRange, &json, &virtualTime};
    std::vector<const QCommandLineOption*> refusedHere = relaying ? notRelaying : relayOnly;
    for (const QCommandLineOption* option : relaying ? std::vector<const QCommandLineOption*>{} : scanning ? drivingOnly : scanOnly) {
        refusedHere.push_back(option);
    }
    for (const QCommandLineOption* option : refusedHere) {
        if (parser.isSet(*option)) {
            return refused(QStringLiteral("--%1 does not apply to %2").arg(option->names().first(), command));
        }
    }

    invocation.radio = parser.value(radio);
    // Simulated cars asked for, and no radio named: the simulated radio,
    // never a real adapter that happens to be there.
    if (parser.isSet(simCars) && !parser.isSet(radio) && !parser.isSet(adapter)) invocation.radio = QStringLiteral("sim");
    const bool onBroker = invocation.radio.startsWith(QLatin1String("mqtt://")) ||
                          invocation.radio.startsWith(QLatin1String("mqtts://"));
    const QStringList radios{QStringLiteral("auto"), QStringLiteral("sim"), QStringLiteral("bluez"), QStringLiteral("qt")};
    if (onBroker && relaying) return refused(QStringLiteral("a relay offers this host's own radio, not a broker's"));
    if (onBroker) {
        const auto url = ble::mqtt::readBrokerUrl(invocation.radio.toStdString());
        if (!url.address) return refused(QStringLiteral("--radio: %1").arg(QString::fromStdString(url.problem)));
        if (parser.isSet(adapter)) return refused(QStringLiteral("--adapter does not apply to a broker's cars"));
    } else if (!radios.contains(invocation.radio)) {
        return refused(QStringLiteral("--radio is auto, sim, bluez, qt or mqtt://HOST[:PORT][/NAME]"));
    }
    if (relaying) {
        invocation.broker = parser.value(broker);
        if (invocation.broker.isEmpty()) return refused(QStringLiteral("relay needs --broker mqtt[s]://HOST[:PORT]"));
        const auto url = ble::mqtt::readBrokerUrl(invocation.broker.toStdString());
        if (!url.address) return refused(QStringLiteral("--broker: %1").arg(QString::fromStdString(url.problem)));
        if (!url.address->relay.empty()) return refused(QStringLiteral("--broker takes no /NAME; the relay's name is --name"));
        invocation.relayName = parser.value(name);
        invocation.takeOver = parser.isSet(takeOver);
        if (parser.isSet(name) && !ble::mqtt::wire::isToken(invocation.relayName.toStdString())) {
            return refused(QStringLiteral("--name is 1 to 64 letters, digits and _.:-"));
        }
    }
    invocation.caFile = parser.value(caFile);
    if (parser.isSet(caFile) && !relaying && !onBroker) return refused(QStringLiteral("--ca-file is for a broker"));
    invocation.adapter = parser.value(adapter);
    if (parser.isSet(adapter) && invocation.adapter.isEmpty()) return refused(QStringLiteral("--adapter names no adapter"));
    if (parser.isSet(adapter) && invocation.radio == QLatin1String("sim")) {
        return refused(QStringLiteral("--adapter does not apply to --radio sim"));
    }
    if (!invocation.adapter.isEmpty()) {
        for (const QString& name : invocation.adapter.split(QLatin1Char(','))) invocation.adapters << name.trimmed();
        if (invocation.adapters.contains(QString())) return refused(QStringLiteral("--adapter names no adapter"));
        if (invocation.adapters.size() > 1 && invocation.adapters.contains(QLatin1String("all"))) {
            return refused(QStringLiteral("--adapter all stands alone"));
        }
        const bool several = invocation.adapters.size() > 1 || invocation.adapters.first() == QLatin1String("all");
        if (several && invocation.radio == QLatin1String("qt")) {
            return refused(QStringLiteral("--radio qt drives one adapter; all and lists need the BlueZ radio"));
        }
    }
    invocation.virtualTime = parser.isSet(virtualTime);
    if (invocation.virtualTime && invocation.radio != QLatin1String("sim")) {
        return refused(QStringLiteral("--virtual-time needs --radio sim"));
    }
    // Auto may fall back on the simulated cars; bluez, qt and an adapter never do.
    const bool maySimulate = invocation.radio == QLatin1String("sim") ||
                             (invocation.radio == QLatin1String("auto") && !parser.isSet(adapter));
    if (parser.isSet(simCars) && !maySimulate) return refused(QStringLiteral("--sim-cars does not apply to a real radio"));
    const std::optional<int> cars = readSimCars(parser.value(simCars));
    if (!cars) return refused(simCarsRefusal());
    invocation.simCars = *cars;
    if (!secondsIn(parser.value(timeout), invocation.connectTimeoutS)) {
        return refused(QStringLiteral("--connect-timeout is 0 to 3600 seconds"));
    }
    if (!secondsIn(parser.value(seconds), invocation.seconds)) return refused(QStringLiteral("--seconds is 0 to 3600"));
    invocation.record = parser.value(record);
    if (parser.isSet(record) && invocation.record.isEmpty()) return refused(QStringLiteral("--record names no file"));
    invocation.json = parser.isSet(json);
    invocation.fullRange = parser.isSet(fullRange);
    invocation.verbose = parser.isSet(verbose);
    return CommandLine{invocation, QString(), QString()};
}

}  // namespace drive
