// Starts the control panel: Qt gets the command line, the delegate is told
// of launch and termination, and the window appears once the radio is chosen.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/AppDelegate.h"
#include "app/window/BrokerChoice.h"
#include "app/MainWindow.h"
#include "app/window/PanelCommandLine.h"
#include "app/phones/PhoneSharing.h"
#include "app/window/QuitOnSignals.h"
#include "app/phones/PhoneHost.h"
#include "radio/BrokerRadio.h"
#include "radio/RadioChoice.h"

namespace {

// --help and --version are answered without a display, as any command's are
// (from a terminal over ssh, or a script that checks the install): only when
// the line asks for nothing else is the window's application needed.
bool asksOnlyForText(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (word == "--help" || word == "-h" || word == "-?" || word == "--help-all" || word == "--version" ||
            word == "-v") {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (asksOnlyForText(argc, argv)) {
        QCoreApplication core(argc, argv);
        const PanelCommandLine commandLine =
            readPanelCommandLine(QCoreApplication::arguments(), QStringLiteral(ZELTO_VERSION));
        if (!commandLine.text.isEmpty()) {
            std::fputs(qPrintable(commandLine.text), stdout);
            return 0;
        }
        // Anything else (Qt's own window options among them) is read below.
    }
    QApplication application(argc, argv);
    // Where the window's settings live: ~/.config/zelto/zelto-panel.conf on Linux.
    QCoreApplication::setOrganizationName(QStringLiteral("zelto"));
    QCoreApplication::setApplicationName(QStringLiteral("zelto-panel"));
    // The desktop entry's name: Wayland shows its icon for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zelto.Panel"));
    // A usage error exits with 2, as zelto-drive's do; before any window.
    const PanelCommandLine commandLine =
        readPanelCommandLine(QCoreApplication::arguments(), QStringLiteral(ZELTO_VERSION));
    if (!commandLine.text.isEmpty()) {
        std::fputs(qPrintable(commandLine.text), stdout);
        return 0;
    }
    if (!commandLine.simCars) {
        std::fprintf(stderr, "zelto-panel: %s (see --help)\n", qPrintable(commandLine.refusal));
        return 2;
    }
    const int simCars = *commandLine.simCars;
    const std::optional<ShareAt> shareAt = commandLine.share;
    const bool pressConnect = commandLine.connect;
    const QString record = commandLine.record;
    AppDelegate delegate;
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);

    std::unique_ptr<MainWindow> window;
    // A signal quits as Ctrl+Q does: the window closes (nothing is sent to
    // the cars), or the program ends before there is one.
    quitOnSignals(&application, [&window] {
        if (window) {
            window->close();
        } else {
            QCoreApplication::quit();
        }
    });
    // A radio named on the command line holds over the one the Radio menu remembers.
    const bool radioNamed = commandLine.simulated || !commandLine.broker.isEmpty();
    const auto showWindow = [&window, &delegate, simCars, shareAt, pressConnect, record, radioNamed](Radio radio) {
        RadioCatalog catalog;
        catalog.adapters = watchAdapters(nullptr);
        // The Radio menu's simulated vehicles are as many as at the start.
        catalog.simulatedRadio = [simCars] { return makeSimulatedFleet(simCars); };
        window = std::make_unique<MainWindow>(std::move(radio), std::move(catalog));
        if (radioNamed) window->keepStartingRadio();
#if ZELTO_WITH_GAMEPADS
        window->attachGamepads();
#endif
        window->show();
        delegate.applicationDidFinishLaunching();
        QString reason;
        if (!record.isEmpty() && !window->recordDriveTo(record, &reason)) {
            std::fprintf(stderr, "zelto-panel: could not record to %s: %s\n", qPrintable(record), qPrintable(reason));
            QCoreApplication::exit(2);
            return;
        }
        if (pressConnect) window->pressConnectThenList(3000);
        if (shareAt) {
            const QHostAddress address =
                shareAt->address.isEmpty() ? phone::defaultShareAddress() : QHostAddress(shareAt->address);
            if (!window->phoneSharing().share(address, shareAt->port, &reason)) {
                std::fprintf(stderr, "zelto-panel: could not share on %s port %u: %s\n",
                             qPrintable(address.toString()), static_cast<unsigned>(shareAt->port), qPrintable(reason));
                QCoreApplication::exit(2);
                return;
            }
            // On every interface, one line for each address a phone may open.
            for (const QString& url : window->phoneSharing().host().urls()) {
                std::fprintf(stderr, "Drive from phones: %s\n", qPrintable(url));
            }
            std::fflush(stderr);
        }
        // For the install check: the window came up, and the program ends.
        if (qEnvironmentVariableIsSet("ZELTO_PANEL_QUIT_WHEN_SHOWN")) {
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
    };
    if (commandLine.simulated) {
        QTimer::singleShot(0, &application, [showWindow, simCars] { showWindow(makeSimulatedFleet(simCars)); });
    } else if (commandLine.broker.isEmpty()) {
        chooseRadio(&application, showWindow, simCars);
    } else {
        // The broker's cars, or a plain reason and status 2 before any window.
        makeBrokerRadio(&application, commandLine.broker,
                        [showWindow, url = commandLine.broker](std::optional<Radio> radio, const QString& problem) {
                            if (!radio) {
                                std::fprintf(stderr, "zelto-panel: %s\n", qPrintable(problem));
                                QCoreApplication::exit(2);
                                return;
                            }
                            radio->adapterAddress = brokerKey(url);
                            showWindow(std::move(*radio));
                        });
    }
    const int status = QApplication::exec();
    // However the window went (Ctrl+Q, closed, a signal, the session's end),
    // the links go with it, and nothing is sent to the cars.
    releaseRadioLinks();
    return status;
}
