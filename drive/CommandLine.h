// zelto-drive's command line read into what to do, or refused with a reason:
// a flag that does not apply to the command is refused, never ignored.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace drive {

struct Invocation {
    enum class Command { Scan, Run, Replay, Relay };
    Command command = Command::Scan;
    QString file;                   // run's and replay's, "-" for standard input
    QString radio = QStringLiteral("auto");  // auto, sim, bluez, qt or a broker's mqtt[s]:// address, as given
    QString broker;                 // relay's --broker, an mqtt[s]:// address
    QString relayName;              // relay's --name; empty: this host's name
    bool takeOver = false;          // relay: replaces a relay of its name that is online
    QString caFile;                 // TLS to a broker: the CA certificates to trust
    QString adapter;                // a name (hci0) or an address; empty: any
    QStringList adapters;           // --adapter read as a list: its names, or "all" alone
    double connectTimeoutS = 10;
    double seconds = 3;             // how long scan listens
    QString record;                 // empty: no recording
    bool json = false;
    bool virtualTime = false;
    int simCars = 3;                // how many cars the simulated radio holds
    bool fullRange = false;
    bool verbose = false;
};

struct CommandLine {
    std::optional<Invocation> invocation;
    QString refusal;  // a usage error, without the program's name
    QString text;     // --help or --version: printed, and nothing else done
};

// `arguments` as QCoreApplication::arguments() gives them (the program first).
CommandLine readCommandLine(const QStringList& arguments, const QString& version);

}  // namespace drive
