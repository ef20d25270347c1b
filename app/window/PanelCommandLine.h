// zelto-panel's command line: how many simulated cars, whether to share with
// phones and to press Connect and List at start, or --help and --version, or
// a refusal with its reason.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

// --share [ADDRESS:]PORT; an empty address is the machine's own.
struct ShareAt {
    QString address;
    quint16 port = 0;
};

struct PanelCommandLine {
    std::optional<int> simCars;  // set: start the window with this many
    std::optional<ShareAt> share;
    bool connect = false;        // press Connect at start, and List a little later
    QString record;              // record the drive to this file from the start
    QString broker;              // --radio mqtt[s]://…: start on the cars of that broker
    bool simulated = false;      // --radio sim, or --sim-cars without --radio: the simulated cars
    QString refusal;             // a usage error, without the program's name
    QString text;                // --help or --version: printed, and nothing else done
};

// `arguments` as QCoreApplication::arguments() gives them (the program first,
// Qt's own options already taken out).
PanelCommandLine readPanelCommandLine(const QStringList& arguments, const QString& version);

// "8765", "192.168.1.20:8765" or "[::1]:8765"; none for anything else.
std::optional<ShareAt> readShareAt(const QString& text);
