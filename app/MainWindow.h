// The window: loads its interface description, makes its ViewController,
// connects the eleven outlets through their setters and wires the actions.
// Around the controls that the ViewController drives it offers a stop for
// every vehicle (Esc) and for each, a U-turn, the radio of the person's
// choice, the state of each bound vehicle, the slider values and the link's
// log, which it can save.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QMainWindow>
#include <QString>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/panels/PanelWidgets.h"
#include "radio/BrokerRadio.h"
#include "radio/RadioChoice.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QTimer;
class DriveRecorder;
class FleetArea;
class GamepadDriver;
class LinkLogForwarder;
class PhoneSharing;
class TaggedSlider;
class Vehicle;
class ViewController;
namespace Ui {
class MainWindow;
}

// Where the Radio menu's choices come from.
struct RadioCatalog {
    // The adapters offered; the window takes it as its child. Null: none.
    AdapterList* adapters = nullptr;
    std::function<Radio(const AdapterEntry&)> adapterRadio = makeAdapterRadio;
    std::function<Radio()> simulatedRadio = makeSimulatedRadio;
    // Every adapter at once; null where the build cannot.
    std::function<std::optional<Radio>()> allAdaptersRadio = makeAllAdaptersRadio;
    // The cars relays offer on a broker, made asynchronously (makeBrokerRadio).
    // `password`, when given, stands in for the address's.
    std::function<void(QObject* context, const QString& url, const QString& password,
                       std::function<void(std::optional<Radio>, QString)> done)>
        brokerRadio = [](QObject* context, const QString& url, const QString& password,
                         std::function<void(std::optional<Radio>, QString)> done) {
            makeBrokerRadio(context, url, std::move(done), QString(), password);
        };
};

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(Radio radio, RadioCatalog catalog = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    ViewController& viewController() const { return *viewController_; }

    // Reads the registry into the panels and the status bar; also runs on a
    // timer while the window is open, and after every action and log line.
    void refreshStatus();
    // Reads each bound car's link health into its panel; runs once a second.
    void refreshHealth();

    // The radio the next Connect uses: the simulated vehicles for an empty
    // address, every adapter for "all", the cars on a broker for an
    // mqtt:// or mqtts:// address (once its session stands), else that
    // adapter. A radio once made is kept for the window's life, so the
    // vehicles it found drive on until their links end.
    void chooseRadio(const QString& adapterAddress);
    // Radio → Cars on a broker… with the address (and password) given:
    // chosen and remembered once the broker's session stands, else the
    // person is told why.
    void chooseBroker(const QString& url, const QString& password = QString());
    // Stays on the radio it was made with rather than the one the Radio
    // menu remembers (a radio named on the command line).
    void keepStartingRadio() { rememberedRadio_.reset(); }
    const Radio& radio() const { return radios_[current_]; }

    // Writes the link log, with the time of each line, and the output area
    // to a text file; false, with the system's reason, if it could not be written.
    bool saveLog(const QString& path, QString* reason = nullptr) const;

    // Records every command sent and value notified to a JSON-lines file
    // that zelto-drive can replay; an empty path stops recording. False if
    // the file could not be opened, with the system's reason.
    bool recordDriveTo(const QString& path, QString* reason = nullptr);
    bool recording() const { return recorder_ != nullptr; }

#if ZELTO_WITH_GAMEPADS
    // Gamepads drive the panels from here on; the driver is the window's
    // child. Polls SDL on a timer when `poll` is true; tests poll by hand.
    GamepadDriver* attachGamepads(bool poll = true);
#endif

    // Presses Connect now and List after `listAfterMs` (--connect).
    void pressConnectThenList(int listAfterMs);

    // Driving from phones (Share menu, --share).
    PhoneSharing& phoneSharing() const { return *phoneSharing_; }

signals:
    // The car of a panel (0 Vexa, 1 Drummet, 2 Pellan, then the fleet's
    // panels in order) left the registry.
    void panelLinkLost(int panel);

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Panel;
    void connectOutlets();
    void wireActions();
    void setUpMenus();
    void rebuildRadioMenu();
    std::vector<AdapterEntry> knownAdapters() const;
    void switchToRadio(std::size_t index);
    void reachBroker(const QString& url, const QString& password, bool askedByPerson);
    void saveLogAs();
    void toggleRecording();
    void showValueOf(TaggedSlider* slider, QLabel* label);
    void setUpStatusBar();
    void showLogLine(const QString& line, const QDateTime& at, qint64 vehicle);
    void refreshPanel(Panel& panel, int index);
    // A panel bound to a new link shows what that link was sent, not what
    // the ended one was.
    // The name a car advertised, kept for a while after it went.
    QString carNameOf(std::uint32_t identifier);
    void springBackOnANewLink(Panel& panel, const std::shared_ptr<Vehicle>& vehicle);
    void placePanelsInAScrollArea();
    // The fleet's panels changed: the window follows them.
    void takeFleetPanels();
    // New rows of the fleet get room from the output area.
    void giveTheFleetRoom();
    // Every panel's controls, the model panels first.
    std::vector<PanelWidgets> panelWidgets() const;
    std::vector<PanelWidgets> modelPanelWidgets() const;
    void nameForScreenReaders();
    void chooseRememberedRadio();
    // The first size, or one remembered from a larger screen, within the
    // screen's available area.
    void fitIntoScreen();

    // Declared first so that every radio outlives the vehicles controller
    // inside the ViewController, and both outlive nothing of Qt's.
    std::vector<Radio> radios_;
    std::size_t current_ = 0;
    RadioCatalog catalog_;
    std::unique_ptr<Ui::MainWindow> ui_;
    std::unique_ptr<ViewController> viewController_;
    std::vector<Panel> panels_;
    std::size_t modelPanels_ = 0;
    FleetArea* fleet_ = nullptr;
    GamepadDriver* gamepads_ = nullptr;
    PhoneSharing* phoneSharing_ = nullptr;
    LinkLogForwarder* linkLog_ = nullptr;
    QMenu* radioMenu_ = nullptr;
    QActionGroup* radioActions_ = nullptr;
    QLabel* radioLabel_ = nullptr;
    QLabel* registryLabel_ = nullptr;
    QLabel* lastLogLine_ = nullptr;
    QTimer* statusTimer_ = nullptr;
    QTimer* healthTimer_ = nullptr;
    QAction* recordAction_ = nullptr;
    QLabel* recordingLabel_ = nullptr;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> recordFile_{nullptr, &std::fclose};
    std::unique_ptr<DriveRecorder> recorder_;
    // The radio chosen in an earlier run, until it is chosen again (its
    // adapter may be announced after the window opens) or another one is.
    std::optional<QString> rememberedRadio_;
    QString lastTypedBroker_;
    bool shownBefore_ = false;
    // The names cars advertised, by identifier, for the status bar's lines.
    QHash<std::uint32_t, QString> carNames_;  // the Radio menu's broker dialog starts from it
};
