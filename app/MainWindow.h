// The window: loads its interface description, makes its ViewController,
// connects the eleven outlets through their setters and wires the actions.
// Around the controls that the ViewController drives it puts the pieces a
// person sees, each a class of its own: the File, Radio, Share and Help
// menus, the status bar, the rows of further cars and what every panel
// shows of its car; a stop for every vehicle (Esc), gamepads and phones.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <vector>

#include "app/panels/PanelWidgets.h"
#include "app/window/FileMenu.h"
#include "app/window/RadioMenu.h"

class FleetArea;
class GamepadDriver;
class PanelBoard;
class PhoneSharing;
class StatusBar;
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

    // File → Save log and Record drive (see FileMenu).
    bool saveLog(const QString& path, QString* reason = nullptr) const { return fileMenu_->saveLog(path, reason); }
    bool recordDriveTo(const QString& path, QString* reason = nullptr) { return fileMenu_->recordDriveTo(path, reason); }
    bool recording() const { return fileMenu_->recording(); }

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
    void layOutModelPanels();
    void connectOutlets();
    void wireActions();
    void setUpMenusAndStatusBar();
    // The fleet's panels changed: the window follows them.
    void takeFleetPanels();
    // Every panel's controls, the model panels first.
    std::vector<PanelWidgets> panelWidgets() const;
    std::vector<PanelWidgets> modelPanelWidgets() const;
    QString logText() const;

    // Declared first so that every radio outlives the vehicles controller
    // inside the ViewController, and both outlive nothing of Qt's.
    std::unique_ptr<RadioMenu> radios_;
    std::unique_ptr<Ui::MainWindow> ui_;
    std::unique_ptr<ViewController> viewController_;
    PanelBoard* board_ = nullptr;
    FleetArea* fleet_ = nullptr;
    GamepadDriver* gamepads_ = nullptr;
    PhoneSharing* phoneSharing_ = nullptr;
    FileMenu* fileMenu_ = nullptr;
    StatusBar* statusBar_ = nullptr;
    bool shownBefore_ = false;
};
