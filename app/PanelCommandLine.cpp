#include "app/PanelCommandLine.h"

#include <QCommandLineParser>

#include "radio/SimCars.h"

PanelCommandLine readPanelCommandLine(const QStringList& arguments, const QString& version) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Drives Bluetooth LE toy vehicles from a window; without a powered\n"
        "adapter, virtual ones in a built-in simulated radio."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption simCars(
        QStringLiteral("sim-cars"),
        QStringLiteral("the simulated radio's number of cars, 1 to %1 (3: one for each panel)").arg(kMostSimCars),
        QStringLiteral("count"), QString::number(kDefaultSimCars));
    parser.addOption(simCars);

    if (!parser.parse(arguments)) return {std::nullopt, parser.errorText(), QString()};
    if (parser.isSet(help)) return {std::nullopt, QString(), parser.helpText()};
    if (parser.isSet(versionOption)) return {std::nullopt, QString(), QStringLiteral("zelto-panel %1\n").arg(version)};
    // The window has nothing to open: a stray word is more likely a mistake.
    if (!parser.positionalArguments().isEmpty()) {
        return {std::nullopt, QStringLiteral("unexpected \"%1\"").arg(parser.positionalArguments().first()), QString()};
    }
    const std::optional<int> cars = readSimCars(parser.value(simCars));
    if (!cars) return {std::nullopt, simCarsRefusal(), QString()};
    return {cars, QString(), QString()};
}
