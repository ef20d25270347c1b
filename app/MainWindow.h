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
#include "app/window/RadioMenu.h"

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

    // The Radio menu's choice (see RadioMenu).
    void chooseRadio(const QString& adapterAddress) { radios_->chooseRadio(adapterAddress); }
    void chooseBroker(const QString& url, const QString& password = QString()) { radios_->chooseBroker(url, password); }
    void keepStartingRadio() { radios_->keepStartingRadio(); }
    const Radio& radio() const { return radios_->radio(); }

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
    // The first size, or one remembered from a larger screen, within the
    // screen's available area.
    void fitIntoScreen();

    // Declared first so that every radio outlives the vehicles controller
    // inside the ViewController, and both outlive nothing of Qt's.
    std::unique_ptr<RadioMenu> radios_;
    std::unique_ptr<Ui::MainWindow> ui_;
    std::unique_ptr<ViewController> viewController_;
    std::vector<Panel> panels_;
    std::size_t modelPanels_ = 0;
    FleetArea* fleet_ = nullptr;
    GamepadDriver* gamepads_ = nullptr;
    PhoneSharing* phoneSharing_ = nullptr;
    LinkLogForwarder* linkLog_ = nullptr;
    QLabel* radioLabel_ = nullptr;
    QLabel* registryLabel_ = nullptr;
    QLabel* lastLogLine_ = nullptr;
    QTimer* statusTimer_ = nullptr;
    QTimer* healthTimer_ = nullptr;
    QAction* recordAction_ = nullptr;
    QLabel* recordingLabel_ = nullptr;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> recordFile_{nullptr, &std::fclose};
    std::unique_ptr<DriveRecorder> recorder_;
    QString lastTypedBroker_;
    bool shownBefore_ = false;
    // The names cars advertised, by identifier, for the status bar's lines.
    QHash<std::uint32_t, QString> carNames_;  // the Radio menu's broker dialog starts from it
};
