// zelto-panel's command line: how many simulated cars, or --help and
// --version, or a refusal with its reason.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct PanelCommandLine {
    std::optional<int> simCars;  // set: start the window with this many
    QString refusal;             // a usage error, without the program's name
    QString text;                // --help or --version: printed, and nothing else done
};

// `arguments` as QCoreApplication::arguments() gives them (the program first,
// Qt's own options already taken out).
PanelCommandLine readPanelCommandLine(const QStringList& arguments, const QString& version);
