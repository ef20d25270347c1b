#include "app/MainWindow.h"

#include <QMenuBar>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>

#include "app/ViewController.h"
#if ZELTO_WITH_GAMEPADS
#include "app/gamepads/GamepadDriver.h"
#endif
#include "app/panels/FleetArea.h"
#include "app/panels/FleetPanel.h"
#include "app/panels/HealthText.h"
#include "app/panels/PanelActions.h"
#include "app/panels/PanelBoard.h"
#include "app/panels/PanelLayout.h"
#include "app/panels/SliderAccessibility.h"
#include "app/panels/VehicleState.h"
#include "app/phones/PhoneSharing.h"
#include "app/window/FileMenu.h"
#include "app/window/FollowEnd.h"
#include "app/window/HelpMenu.h"
#include "app/window/ScreenFit.h"
#include "app/window/StatusBar.h"
#include "app/window/WindowIcon.h"
#include "link/VehiclesController.h"
#include "ui_MainWindow.h"

namespace {

constexpr int kStatusRefreshMs = 500;
// Health figures change by the second; a faster refresh would only repaint.
constexpr int kHealthRefreshMs = 1000;

void every(int ms, QObject* owner, const std::function<void()>& job) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, job);
    timer->start(ms);
}

}  // namespace

MainWindow::MainWindow(Radio radio, RadioCatalog catalog, QWidget* parent)
    : QMainWindow(parent),
      radios_(std::make_unique<RadioMenu>(std::move(radio), std::move(catalog))),
      ui_(std::make_unique<Ui::MainWindow>()),
      viewController_(std::make_unique<ViewController>(radios_->radio().factory)) {
    ui_->setupUi(this);
    setWindowIcon(programIcon());
    installSliderAccessibility();
    makePlaceholdersReadable(this);
    layOutModelPanels();
    fleet_ = new FleetArea(*viewController_, [this] { refreshStatus(); });
    ui_->outputSplitter->insertWidget(0, fleet_);
    ui_->outputSplitter->setStretchFactor(0, 4);
    fleet_->serveController();
    connect(fleet_, &FleetArea::panelsChanged, this, &MainWindow::takeFleetPanels);
    connectOutlets();
    wireActions();
    viewController_->viewDidLoad();
    phoneSharing_ = new PhoneSharing(*viewController_, this, [this] { refreshStatus(); });
    phoneSharing_->setPanels(panelWidgets());
    setUpMenusAndStatusBar();
    every(kStatusRefreshMs, this, [this] { refreshStatus(); });
    every(kHealthRefreshMs, this, [this] { refreshHealth(); });
    refreshStatus();
    placeAsLastTime(this);  // the first time, wide enough for the model panels side by side
    ui_->connectButton->setFocus();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Now the window manager's frame is known: the whole window fits.
    if (!std::exchange(shownBefore_, true)) fitIntoScreen(this);
}

MainWindow::~MainWindow() {
    // Nothing is sent on the way out: the vehicles controller goes with the
    // ViewController, before the radios it was made on.
    rememberPlace(this);
    delete fileMenu_;  // the recording ends first
    delete phoneSharing_;  // phones let go before the panels they drive
    phoneSharing_ = nullptr;
    delete statusBar_;  // lines written on the way out find no window
    viewController_.reset();
}

void MainWindow::layOutModelPanels() {
    // The health lines first: the panels' height is taken with them.
    QLabel* vexaHealth = addHealthLine(ui_->vexaForm);
    QLabel* drummetHealth = addHealthLine(ui_->drummetForm);
    QLabel* pellanHealth = addHealthLine(ui_->pellanForm);
    QScrollArea* panels = sideBySide({ui_->vexaPanel, ui_->drummetPanel, ui_->pellanPanel});
    panels->setObjectName(QStringLiteral("panelScroll"));
    ui_->panelRow->addWidget(panels);
    board_ = new PanelBoard(viewController_->vehiclesController(),
                            {{ui_->vexaSpeedSlider, ui_->vexaLaneSlider, ui_->vexaState, ui_->vexaFirmware,
                              ui_->vexaIdHex, vexaHealth},
                             {ui_->drummetSpeedSlider, ui_->drummetLaneSlider, ui_->drummetState,
                              ui_->drummetFirmware, ui_->drummetIdHex, drummetHealth},
                             {ui_->pellanSpeedSlider, ui_->pellanLaneSlider, ui_->pellanState, ui_->pellanFirmware,
                              ui_->pellanIdHex, pellanHealth}},
                            this);
    connect(board_, &PanelBoard::panelLinkLost, this, &MainWindow::panelLinkLost);

    setUpLogView(ui_->outputArea, QStringLiteral("Output"));
    setUpLogView(ui_->linkLogView, QStringLiteral("Link log"));
    // Each model panel's sliders named for screen readers and their values
    // shown; Tab reads the window in order again, as moved widgets leave it.
    QLabel* speedValues[] = {ui_->vexaSpeedValue, ui_->drummetSpeedValue, ui_->pellanSpeedValue};
    QLabel* laneValues[] = {ui_->vexaLaneValue, ui_->drummetLaneValue, ui_->pellanLaneValue};
    QWidget* fields[] = {ui_->vexaIdField, ui_->drummetIdField, ui_->pellanIdField};
    std::vector<QWidget*> order{ui_->connectButton, ui_->listButton, ui_->stopAllButton, ui_->logToggle};
    const std::vector<PanelWidgets> models = modelPanelWidgets();
    for (std::size_t i = 0; i < models.size(); ++i) {
        const PanelWidgets& p = models[i];
        p.speed->setAccessibleName(p.name + QStringLiteral(" speed"));
        p.lane->setAccessibleName(p.name + QStringLiteral(" lane"));
        showValueOf(p.speed, speedValues[i]);
        showValueOf(p.lane, laneValues[i]);
        order.insert(order.end(), {fields[i], p.speed, p.lane, p.middle, p.uTurn, p.stop});
    }
    order.insert(order.end(), {ui_->outputArea, ui_->linkLogView});
    chainTabOrder(order);
}

void MainWindow::connectOutlets() {
    ViewController& vc = *viewController_;
    vc.setConnectButton(ui_->connectButton);
    vc.setVexaIDTextfield(ui_->vexaIdField);
    vc.setDrummetIdTextfield(ui_->drummetIdField);
    vc.setPellanIdTextField(ui_->pellanIdField);
    vc.setOutputTextField(ui_->outputArea);
    vc.setPellanAccelaration(ui_->pellanSpeedSlider);
    vc.setDrummetAceleration(ui_->drummetSpeedSlider);
    vc.setVexaAcelaration(ui_->vexaSpeedSlider);
    vc.setPellanLaneSelector(ui_->pellanLaneSlider);
    vc.setDrummetLaneSelector(ui_->drummetLaneSlider);
    vc.setVexLaneSelector(ui_->vexaLaneSlider);
}

void MainWindow::wireActions() {
    ViewController* vc = viewController_.get();
    for (const PanelWidgets& panel : modelPanelWidgets()) {
        wirePanelActions(panel, *vc, this, [this] { refreshStatus(); });
    }
    for (TaggedButton* button : {ui_->connectButton, ui_->listButton}) {
        connect(button, &TaggedButton::triggered, vc, &ViewController::connectToBluetooth);
        // Pressing a button may bind a panel or start the radio: show it at once.
        connect(button, &TaggedButton::triggered, this, &MainWindow::refreshStatus);
    }
    // Stops: Esc anywhere in the window, the button beside Connect and List,
    // and one per panel. Space still presses the focused button.
    auto stopAll = [this, vc] {
        vc->stopAll();
        refreshStatus();
    };
    connect(ui_->stopAllButton, &QPushButton::clicked, this, stopAll);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, stopAll, Qt::WindowShortcut);
    connect(ui_->logToggle, &QAbstractButton::toggled, ui_->linkLogView, &QWidget::setVisible);
}

void MainWindow::setUpMenusAndStatusBar() {
    statusBar_ = new StatusBar(statusBar(), ui_->linkLogView, viewController_->vehiclesController());
    statusBar_->showRadio(radio().description);
    // A line often tells of a new state (connected, a version, an end).
    connect(statusBar_, &StatusBar::lineShown, this, &MainWindow::refreshStatus);

    fileMenu_ = new FileMenu(menuBar(), this, [this] { return logText(); });
    connect(fileMenu_, &FileMenu::logSaved, statusBar_, &StatusBar::showSaved);
    connect(fileMenu_, &FileMenu::recordingTo, statusBar_, &StatusBar::showRecording);
    connect(radios_.get(), &RadioMenu::switched, this, [this](const Radio& chosen) {
        viewController_->useRadio(chosen.factory);
        statusBar_->showRadio(chosen.description);
    });
    connect(radios_.get(), &RadioMenu::said, statusBar_, &StatusBar::say);
    radios_->addTo(menuBar(), this);
    phoneSharing_->addMenu(menuBar());
    help::addHelpMenu(this);
}

QString MainWindow::logText() const {
    // The listed cars last, with their links' health as the panels show it.
    return QStringLiteral("Radio: ") + radio().description + QStringLiteral("\n\nLink log\n") +
           ui_->linkLogView->toPlainText() + QStringLiteral("\n\nOutput") + ui_->outputArea->toPlainText() +
           QStringLiteral("\n\nCars\n") + carsRecord(*viewController_->vehiclesController().vehicles());
}

void MainWindow::pressConnectThenList(int listAfterMs) {
    ui_->connectButton->click();
    QTimer::singleShot(listAfterMs, this, [this] { ui_->listButton->click(); });
}

#if ZELTO_WITH_GAMEPADS
GamepadDriver* MainWindow::attachGamepads(bool poll) {
    auto* driver = new GamepadDriver(
        {panelWidgets(), ui_->stopAllButton, viewController_.get(), [this] { refreshStatus(); }}, this, poll);
    gamepads_ = driver;
    connect(this, &MainWindow::panelLinkLost, driver, [driver](int panel) { driver->panelLinkLost(panel); });
    return driver;
}
#endif

void MainWindow::takeFleetPanels() {
    const std::size_t before = board_->count();
    board_->setRows(fleet_->panels());
#if ZELTO_WITH_GAMEPADS
    if (gamepads_) gamepads_->setPanels(panelWidgets());
#endif
    if (phoneSharing_) phoneSharing_->setPanels(panelWidgets());
    // Tab reads the rows after the model panels and before the output.
    fleet_->chainTabOrder(ui_->pellanStopButton, ui_->outputArea);
    // Once the listing is done and the rows laid out.
    if (board_->count() > before) QTimer::singleShot(0, this, [this] { fleet_->claimRoomIn(ui_->outputSplitter); });
    refreshStatus();
    refreshHealth();
}

std::vector<PanelWidgets> MainWindow::modelPanelWidgets() const {
    return {
        {ui_->vexaSpeedSlider, ui_->vexaLaneSlider, ui_->vexaMiddleButton, ui_->vexaStopButton, ui_->vexaPad,
         ui_->vexaUTurnButton, ui_->vexaPhone, QStringLiteral("Vexa")},
        {ui_->drummetSpeedSlider, ui_->drummetLaneSlider, ui_->drummetMiddleButton, ui_->drummetStopButton,
         ui_->drummetPad, ui_->drummetUTurnButton, ui_->drummetPhone, QStringLiteral("Drummet")},
        {ui_->pellanSpeedSlider, ui_->pellanLaneSlider, ui_->pellanMiddleButton, ui_->pellanStopButton,
         ui_->pellanPad, ui_->pellanUTurnButton, ui_->pellanPhone, QStringLiteral("Pellan")},
    };
}

std::vector<PanelWidgets> MainWindow::panelWidgets() const {
    std::vector<PanelWidgets> all = modelPanelWidgets();
    for (FleetPanel* panel : fleet_->panels()) all.push_back(panel->widgets());
    return all;
}

void MainWindow::refreshStatus() {
    if (!viewController_) return;
    board_->refreshStatus();
    statusBar_->showRegistry(registryText(viewController_->vehiclesController()));
}

void MainWindow::refreshHealth() {
    if (viewController_) board_->refreshHealth();
}
