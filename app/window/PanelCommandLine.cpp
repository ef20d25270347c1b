#include "app/window/PanelCommandLine.h"

#include <QCommandLineParser>
#include <QHostAddress>

#include "radio/BrokerRadio.h"
#include "radio/SimCars.h"
#include "radio/UsageText.h"

namespace {

PanelCommandLine refused(const QString& reason) {
    PanelCommandLine line;
    line.refusal = reason;
    return line;
}

PanelCommandLine printed(const QString& text) {
    PanelCommandLine line;
    line.text = text;
    return line;
}

}  // namespace

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
    const QCommandLineOption share(
        QStringLiteral("share"),
        QStringLiteral("lets phones on the network drive the cars from a page on PORT (0: any free port),\n"
                       "on ADDRESS or else this machine's first network address; prints the page's address\n"
                       "(on 0.0.0.0 or [::], every interface: one line for each of this machine's addresses)"),
        QStringLiteral("[address:]port"));
    parser.addOption(share);
    const QCommandLineOption connect(QStringLiteral("connect"),
                                     QStringLiteral("presses Connect at start, and List 3 s later"));
    parser.addOption(connect);
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("records the drive to FILE from the start, as File \u2192 Record drive does"),
                                    QStringLiteral("file"));
    parser.addOption(record);
    const QCommandLineOption radio(QStringLiteral("radio"),
                                   QStringLiteral("starts on the simulated cars (sim), or on the cars relays offer on a "
                                                  "broker, mqtt[s]://[USER@]HOST[:PORT][/RELAY] (a user's password from "
                                                  "ZELTO_BROKER_PASSWORD); --sim-cars alone means sim"),
                                   QStringLiteral("radio"));
    parser.addOption(radio);

    if (!parser.parse(arguments)) return refused(refusalText(parser.errorText()));
    if (parser.isSet(help)) return printed(helpNaming(parser.helpText(), QStringLiteral("zelto-panel")));
    if (parser.isSet(versionOption)) return printed(QStringLiteral("zelto-panel %1\n").arg(version));
    // The window has nothing to open: a stray word is more likely a mistake.
    if (!parser.positionalArguments().isEmpty()) {
        return refused(QStringLiteral("unexpected \"%1\"").arg(parser.positionalArguments().first()));
    }
    const std::optional<int> cars = readSimCars(parser.value(simCars));
    if (!cars) return refused(simCarsRefusal());
    PanelCommandLine line;
    line.simCars = cars;
    line.connect = parser.isSet(connect);
    line.record = parser.value(record);
    // Simulated cars asked for, and no radio named: never a real adapter
    // that happens to be there.
    line.simulated = parser.value(radio) == QLatin1String("sim") || (parser.isSet(simCars) && !parser.isSet(radio));
    if (parser.isSet(radio) && !line.simulated) {
        line.broker = parser.value(radio);
        const QString problem = brokerUrlProblem(line.broker);
        if (!problem.isEmpty()) return refused(QStringLiteral("--radio: %1").arg(problem));
    }
    if (parser.isSet(share)) {
        line.share = readShareAt(parser.value(share));
        if (!line.share) {
            return refused(QStringLiteral("--share takes [ADDRESS:]PORT, such as 8765 or 192.168.1.20:8765, not \"%1\"")
                               .arg(parser.value(share)));
        }
    }
    return line;
}

std::optional<ShareAt> readShareAt(const QString& text) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString address = colon < 0 ? QString() : text.left(colon);
    const QString portText = text.mid(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535 || portText.startsWith(QLatin1Char('+'))) return std::nullopt;
    if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']'))) {
        address = address.mid(1, address.size() - 2);
    }
    if (colon >= 0 && QHostAddress(address).isNull()) return std::nullopt;
    return ShareAt{address, static_cast<quint16>(port)};
}
