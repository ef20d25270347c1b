#include "app/MainWindow.h"

#include <QActionGroup>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>
#include <QSplitter>
#include <algorithm>
#include <numeric>
#include <cerrno>
#include <cstring>

#include "app/panels/FleetArea.h"
#include "app/panels/FleetPanel.h"
#include "app/window/FollowEnd.h"
#if ZELTO_WITH_GAMEPADS
#include "app/gamepads/GamepadDriver.h"
#endif
#include "app/panels/HealthText.h"
#include "app/window/HelpMenu.h"
#include "app/window/LinkLogForwarder.h"
#include "app/panels/PanelActions.h"
#include "app/phones/PhoneSharing.h"
#include "app/panels/PanelTags.h"
#include "app/panels/SliderAccessibility.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/panels/TextForms.h"
#include "app/panels/VehicleState.h"
#include "app/ViewController.h"
#include "app/window/WindowIcon.h"
#include "app/window/WindowSettings.h"
#include "link/DriveRecorder.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "ui_MainWindow.h"

namespace {

constexpr int kStatusRefreshMs = 500;
// Names of cars the status bar may still tell of after they went.
constexpr qsizetype kCarNamesKept = 1024;
// Health figures change by the second; a faster refresh would only repaint.
constexpr int kHealthRefreshMs = 1000;
const QString kLogTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");

// The placeholder's grey on white at 7:1, well past the 4.5:1 text needs.
const QColor kPlaceholder(0x59, 0x59, 0x59);

// "drive-20261209-061500.jsonl": a name a save dialog offers.
QString stampedFileName(const QString& stem, const QString& suffix) {
    return QStringLiteral("%1-%2.%3")
        .arg(stem, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")), suffix);
}

// A line under a model panel's buttons for the health of its car's link.
QLabel* healthLabelIn(QFormLayout* form) {
    auto* label = new QLabel(form->parentWidget());
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    // Three lines whatever it says (as many as the narrowest panel needs), so
    // the panels do not jump as figures change.
    label->setMinimumHeight(3 * label->fontMetrics().lineSpacing());
    label->setToolTip(healthFieldsTip());
    form->addRow(label);
    return label;
}

}  // namespace

// The widgets of one vehicle panel that the window itself looks after.
// Weak, like the outlets: a control deleted under the window is skipped.
struct MainWindow::Panel {
    QPointer<TaggedSlider> speed;
    QPointer<TaggedSlider> lane;
    QPointer<QLabel> state;
    QPointer<QLabel> firmware;
    QPointer<QLabel> identifierHex;
    QPointer<QLabel> health;
    QPointer<FleetPanel> row = nullptr;  // null for a model panel
    PanelStatus::Link shown = PanelStatus::Link::Unbound;
    // The link the sliders were last moved for: a new one starts from what
    // it was sent, not from what an ended one was.
    std::weak_ptr<Vehicle> link = {};
    bool linkedBefore = false;
};

MainWindow::MainWindow(Radio radio, RadioCatalog catalog, QWidget* parent)
    : QMainWindow(parent),
      radios_(std::make_unique<RadioMenu>(std::move(radio), std::move(catalog))),
      ui_(std::make_unique<Ui::MainWindow>()),
      viewController_(std::make_unique<ViewController>(radios_->radio().factory)) {
    ui_->setupUi(this);
    setWindowIcon(programIcon());
    installSliderAccessibility();
    QPalette palette = this->palette();
    palette.setColor(QPalette::PlaceholderText, kPlaceholder);
    setPalette(palette);
    // The health lines first: the panels' height is taken with them.
    QLabel* vexaHealth = healthLabelIn(ui_->vexaForm);
    QLabel* drummetHealth = healthLabelIn(ui_->drummetForm);
    QLabel* pellanHealth = healthLabelIn(ui_->pellanForm);
    placePanelsInAScrollArea();
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    ui_->outputArea->setFont(fixed);
    ui_->linkLogView->setFont(fixed);
    followEndWhileShown(ui_->outputArea);
    followEndWhileShown(ui_->linkLogView);
    panels_ = {
        {ui_->vexaSpeedSlider, ui_->vexaLaneSlider, ui_->vexaState, ui_->vexaFirmware, ui_->vexaIdHex, vexaHealth},
        {ui_->drummetSpeedSlider, ui_->drummetLaneSlider, ui_->drummetState, ui_->drummetFirmware, ui_->drummetIdHex,
         drummetHealth},
        {ui_->pellanSpeedSlider, ui_->pellanLaneSlider, ui_->pellanState, ui_->pellanFirmware, ui_->pellanIdHex,
         pellanHealth},
    };
    modelPanels_ = panels_.size();
    fleet_ = new FleetArea(*viewController_, [this] { refreshStatus(); });
    ui_->outputSplitter->insertWidget(0, fleet_);
    ui_->outputSplitter->setStretchFactor(0, 4);
    fleet_->serveController();
    connect(fleet_, &FleetArea::panelsChanged, this, &MainWindow::takeFleetPanels);

    connectOutlets();
    wireActions();
    viewController_->viewDidLoad();

    showValueOf(ui_->vexaSpeedSlider, ui_->vexaSpeedValue);
    showValueOf(ui_->vexaLaneSlider, ui_->vexaLaneValue);
    showValueOf(ui_->drummetSpeedSlider, ui_->drummetSpeedValue);
    showValueOf(ui_->drummetLaneSlider, ui_->drummetLaneValue);
    showValueOf(ui_->pellanSpeedSlider, ui_->pellanSpeedValue);
    showValueOf(ui_->pellanLaneSlider, ui_->pellanLaneValue);
    phoneSharing_ = new PhoneSharing(*viewController_, this, [this] { refreshStatus(); });
    phoneSharing_->setPanels(panelWidgets());
    setUpMenus();
    setUpStatusBar();
    nameForScreenReaders();
    // The first time, wide enough for the three model panels side by side.
    if (!restoreGeometry(window_settings::geometry())) resize(size().expandedTo(QSize(sizeHint().width(), 0)));
    fitIntoScreen();
    radios_->chooseRememberedRadio();
    ui_->connectButton->setFocus();
}

void MainWindow::fitIntoScreen() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    const QRect room = screen->availableGeometry();
    // What the window manager's frame takes, once it has told (nothing before the first show).
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(size().boundedTo(room.size() - frame));
    const QRect placed = frameGeometry();
    if (!room.contains(placed)) {
        move(std::clamp(placed.x(), room.left(), std::max(room.left(), room.right() + 1 - placed.width())),
             std::clamp(placed.y(), room.top(), std::max(room.top(), room.bottom() + 1 - placed.height())));
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Now the window manager's frame is known: the whole window fits.
    if (!std::exchange(shownBefore_, true)) fitIntoScreen();
}

MainWindow::~MainWindow() {
    // Nothing is sent on the way out: the vehicles controller goes with the
    // ViewController, before the radios it was made on.
    window_settings::setGeometry(saveGeometry());
    statusTimer_->stop();
    recorder_.reset();
    delete phoneSharing_;  // phones let go before the panels they drive
    phoneSharing_ = nullptr;
    delete linkLog_;  // lines written on the way out find no window
    linkLog_ = nullptr;
    viewController_.reset();
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
    connect(ui_->connectButton, &TaggedButton::triggered, vc, &ViewController::connectToBluetooth);
    connect(ui_->listButton, &TaggedButton::triggered, vc, &ViewController::connectToBluetooth);
    // Pressing a button may bind a panel or start the radio: show it at once.
    connect(ui_->connectButton, &TaggedButton::triggered, this, &MainWindow::refreshStatus);
    connect(ui_->listButton, &TaggedButton::triggered, this, &MainWindow::refreshStatus);

    // Stops: Esc anywhere in the window, the button beside Connect and List,
    // and one per panel. Space still presses the focused button.
    auto stopAll = [this, vc] {
        vc->stopAll();
        refreshStatus();
    };
    connect(ui_->stopAllButton, &QPushButton::clicked, this, stopAll);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, stopAll);
}

void MainWindow::pressConnectThenList(int listAfterMs) {
    ui_->connectButton->click();
    QTimer::singleShot(listAfterMs, this, [this] { ui_->listButton->click(); });
}

void MainWindow::setUpMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* save = file->addAction(QStringLiteral("&Save log\u2026"), this, &MainWindow::saveLogAs);
    save->setObjectName(QStringLiteral("saveLogAction"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    recordAction_ = file->addAction(QStringLiteral("&Record drive\u2026"), this, &MainWindow::toggleRecording);
    recordAction_->setObjectName(QStringLiteral("recordDriveAction"));
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    connect(radios_.get(), &RadioMenu::switched, this, [this](const Radio& chosen) {
        viewController_->useRadio(chosen.factory);
        radioLabel_->setText(QStringLiteral("Radio: ") + chosen.description);
    });
    connect(radios_.get(), &RadioMenu::said, this, [this](const QString& text) { lastLogLine_->setText(text); });
    radios_->addTo(menuBar(), this);
    phoneSharing_->addMenu(menuBar());
    help::addHelpMenu(this);
}

#if ZELTO_WITH_GAMEPADS
GamepadDriver* MainWindow::attachGamepads(bool poll) {
    GamepadDriver::Window handed;
    handed.panels = panelWidgets();
    handed.stopAll = ui_->stopAllButton;
    handed.viewController = viewController_.get();
    handed.refresh = [this] { refreshStatus(); };
    auto* driver = new GamepadDriver(std::move(handed), this, poll);
    gamepads_ = driver;
    connect(this, &MainWindow::panelLinkLost, driver, [driver](int panel) { driver->panelLinkLost(panel); });
    return driver;
}
#endif

void MainWindow::placePanelsInAScrollArea() {
    // A narrow window scrolls the panels sideways instead of cutting their texts.
    auto* panels = new QWidget;
    auto* row = new QHBoxLayout(panels);
    row->setContentsMargins(0, 0, 0, 0);
    for (QWidget* panel : {static_cast<QWidget*>(ui_->vexaPanel), static_cast<QWidget*>(ui_->drummetPanel),
                           static_cast<QWidget*>(ui_->pellanPanel)}) {
        row->addWidget(panel);
    }
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("panelScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(panels);
    scroll->setMinimumHeight(panels->sizeHint().height() + scroll->horizontalScrollBar()->sizeHint().height());
    // The model panels take what they need; the rest goes to the fleet and the output.
    scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    scroll->setFixedHeight(scroll->minimumHeight());
    scroll->setFocusPolicy(Qt::NoFocus);
    ui_->panelRow->addWidget(scroll);
    // Moved widgets leave the focus chain's order: Tab reads the window again.
    const QWidget* order[] = {
        ui_->connectButton,      ui_->listButton,         ui_->stopAllButton,     ui_->logToggle,
        ui_->vexaIdField,        ui_->vexaSpeedSlider,    ui_->vexaLaneSlider,    ui_->vexaMiddleButton,
        ui_->vexaUTurnButton,    ui_->vexaStopButton,     ui_->drummetIdField,    ui_->drummetSpeedSlider,
        ui_->drummetLaneSlider,  ui_->drummetMiddleButton, ui_->drummetUTurnButton, ui_->drummetStopButton,
        ui_->pellanIdField,      ui_->pellanSpeedSlider,  ui_->pellanLaneSlider,  ui_->pellanMiddleButton,
        ui_->pellanUTurnButton,  ui_->pellanStopButton,   ui_->outputArea,        ui_->linkLogView,
    };
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    }
}

void MainWindow::nameForScreenReaders() {
    ui_->outputArea->setAccessibleName(QStringLiteral("Output"));
    ui_->linkLogView->setAccessibleName(QStringLiteral("Link log"));
    const std::pair<TaggedSlider*, const char*> sliders[] = {
        {ui_->vexaSpeedSlider, "Vexa speed"},       {ui_->vexaLaneSlider, "Vexa lane"},
        {ui_->drummetSpeedSlider, "Drummet speed"}, {ui_->drummetLaneSlider, "Drummet lane"},
        {ui_->pellanSpeedSlider, "Pellan speed"},   {ui_->pellanLaneSlider, "Pellan lane"},
    };
    for (const auto& [slider, name] : sliders) slider->setAccessibleName(QString::fromLatin1(name));
}

bool MainWindow::saveLog(const QString& path, QString* reason) const {
    // Written whole or not at all: a failed save leaves an older log as it was.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream out(&file);
        // The listed cars last, with their links' health as the panels show it.
        out << "Radio: " << radios_->radio().description << "\n\nLink log\n" << ui_->linkLogView->toPlainText()
            << "\n\nOutput" << ui_->outputArea->toPlainText() << "\n\nCars\n"
            << carsRecord(*viewController_->vehiclesController().vehicles());
        out.flush();
        if (file.commit()) return true;
    }
    if (reason) *reason = file.errorString();
    return false;
}

void MainWindow::saveLogAs() {
    const QString suggested = QDir(window_settings::folder(QStringLiteral("log")))
                                  .filePath(stampedFileName(QStringLiteral("zelto-panel"), QStringLiteral("log")));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save log"), suggested,
                                                      QStringLiteral("Text files (*.log *.txt)"));
    if (path.isEmpty()) return;
    window_settings::setFolderOf(QStringLiteral("log"), path);
    QString reason;
    if (saveLog(path, &reason)) {
        statusBar()->showMessage(QStringLiteral("Saved to %1").arg(QDir::toNativeSeparators(path)), 10000);
    } else {
        QMessageBox::warning(this, QStringLiteral("Save log"),
                             QStringLiteral("Could not write %1: %2").arg(QDir::toNativeSeparators(path), reason));
    }
}

bool MainWindow::recordDriveTo(const QString& path, QString* reason) {
    recorder_.reset();
    recordFile_.reset();
    if (!path.isEmpty()) {
        recordFile_.reset(std::fopen(QFile::encodeName(path).constData(), "w"));
        if (!recordFile_) {
            if (reason) *reason = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        // The recording's time starts at its first line, not when the file was chosen.
        auto started = std::make_shared<QElapsedTimer>();
        recorder_ = std::make_unique<DriveRecorder>(recordFile_.get(), [started] {
            if (!started->isValid()) started->start();
            return static_cast<double>(started->nsecsElapsed()) / 1e6;
        });
    }
    recordAction_->setText(recording() ? QStringLiteral("Stop &recording") : QStringLiteral("&Record drive\u2026"));
    recordingLabel_->setText(recording() ? QStringLiteral("Recording to %1").arg(QFileInfo(path).fileName()) : QString());
    recordingLabel_->setVisible(recording());
    return path.isEmpty() || recording();
}

void MainWindow::toggleRecording() {
    if (recording()) {
        recordDriveTo(QString());
        return;
    }
    const QString suggested = QDir(window_settings::folder(QStringLiteral("recording")))
                                  .filePath(stampedFileName(QStringLiteral("drive"), QStringLiteral("jsonl")));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Record drive"), suggested,
                                                      QStringLiteral("Drive recordings (*.jsonl)"));
    if (path.isEmpty()) return;
    window_settings::setFolderOf(QStringLiteral("recording"), path);
    QString reason;
    if (!recordDriveTo(path, &reason)) {
        QMessageBox::warning(this, QStringLiteral("Record drive"),
                             QStringLiteral("Could not write %1: %2").arg(QDir::toNativeSeparators(path), reason));
    }
}

void MainWindow::showValueOf(TaggedSlider* slider, QLabel* label) {
    auto show = [slider, label] {
        label->setText(QString::fromStdString(textforms::floatText(slider->floatValue())));
    };
    connect(slider, &QAbstractSlider::valueChanged, label, show);
    show();
}

void MainWindow::setUpStatusBar() {
    radioLabel_ = new QLabel(QStringLiteral("Radio: ") + radios_->radio().description, this);
    radioLabel_->setObjectName(QStringLiteral("radioLabel"));
    registryLabel_ = new QLabel(this);
    registryLabel_->setObjectName(QStringLiteral("registryLabel"));
    lastLogLine_ = new QLabel(this);
    lastLogLine_->setObjectName(QStringLiteral("lastLogLine"));
    lastLogLine_->setTextFormat(Qt::PlainText);
    lastLogLine_->setMinimumWidth(1);  // long lines are cut, never widen the window
    recordingLabel_ = new QLabel(this);
    recordingLabel_->setObjectName(QStringLiteral("recordingLabel"));
    recordingLabel_->setVisible(false);
    statusBar()->addWidget(lastLogLine_, 1);
    statusBar()->addPermanentWidget(recordingLabel_);
    statusBar()->addPermanentWidget(registryLabel_);
    statusBar()->addPermanentWidget(radioLabel_);

    linkLog_ = new LinkLogForwarder(this);
    connect(linkLog_, &LinkLogForwarder::lineLogged, this, &MainWindow::showLogLine);
    connect(ui_->logToggle, &QAbstractButton::toggled, ui_->linkLogView, &QWidget::setVisible);

    statusTimer_ = new QTimer(this);
    connect(statusTimer_, &QTimer::timeout, this, &MainWindow::refreshStatus);
    statusTimer_->start(kStatusRefreshMs);
    healthTimer_ = new QTimer(this);
    connect(healthTimer_, &QTimer::timeout, this, &MainWindow::refreshHealth);
    healthTimer_->start(kHealthRefreshMs);
    refreshStatus();
}

void MainWindow::showLogLine(const QString& line, const QDateTime& at, qint64 vehicle) {
    const QString hex = hexIdentifierText(vehicle);
    const std::optional<std::uint32_t> identifier = paneltags::identifierOfTag(vehicle);
    const QString name = identifier ? carNameOf(*identifier) : QString();
    if (hex.isEmpty()) {
        lastLogLine_->setText(line);
    } else if (name.isEmpty()) {
        lastLogLine_->setText(QStringLiteral("Vehicle %1: %2").arg(hex, line));
    } else {
        lastLogLine_->setText(QStringLiteral("%1 (%2): %3").arg(name, hex, line));
    }
    ui_->linkLogView->appendPlainText(at.toString(kLogTimeFormat) + QLatin1Char(' ') + line);
    // A line often tells of a new state (connected, a version, an end).
    refreshStatus();
}

QString MainWindow::carNameOf(std::uint32_t identifier) {
    if (const auto vehicle = viewController_->vehiclesController().findVehicleById(identifier)) {
        const QString name = printableName(vehicle->health().name);
        if (!name.isEmpty()) {
            if (carNames_.size() >= kCarNamesKept) carNames_.clear();  // bounded, whatever the air brings
            carNames_.insert(identifier, name);
        }
    }
    return carNames_.value(identifier);
}

void MainWindow::refreshPanel(Panel& panel, int index) {
    const VehiclesController& registry = viewController_->vehiclesController();
    const qint64 tag = panel.speed ? panel.speed->tag() : -1;
    const PanelStatus status = panelStatus(registry, tag);
    const PanelStatus::Link before = std::exchange(panel.shown, status.link);
    if (status.link == PanelStatus::Link::Gone && before != PanelStatus::Link::Gone &&
        before != PanelStatus::Link::Unbound) {
        emit panelLinkLost(index);
    }
    const std::optional<std::uint32_t> identifier = paneltags::identifierOfTag(tag);
    springBackOnANewLink(panel, identifier ? registry.findVehicleById(*identifier) : nullptr);
    const QString state = stateText(status);
    if (panel.state) {
        panel.state->setText(state.isEmpty() ? QStringLiteral("Not bound") : state);
        // The reason while there is one, else the label's own tip.
        if (!panel.state->property("ownTip").isValid()) panel.state->setProperty("ownTip", panel.state->toolTip());
        const QString reason = stateReason(status);
        panel.state->setToolTip(reason.isEmpty() ? panel.state->property("ownTip").toString() : reason);
    }
    if (panel.firmware) panel.firmware->setText(firmwareText(status.firmware));
    if (panel.identifierHex) panel.identifierHex->setText(hexIdentifierText(tag));
}

void MainWindow::springBackOnANewLink(Panel& panel, const std::shared_ptr<Vehicle>& vehicle) {
    if (!vehicle || panel.link.lock() == vehicle) return;
    panel.link = vehicle;
    if (!std::exchange(panel.linkedBefore, true)) return;
    // Shown only: nothing is sent for it.
    if (panel.speed) panel.speed->setFloatValue(static_cast<float>(vehicle->commandedSpeed()));
    if (panel.lane) panel.lane->setFloatValue(0.0f);
}

void MainWindow::refreshHealth() {
    if (!viewController_) return;
    const VehiclesController& registry = viewController_->vehiclesController();
    for (std::size_t index = 0; index < panels_.size(); ++index) {
        const Panel& panel = panels_[index];
        const std::optional<std::uint32_t> identifier =
            panel.speed ? paneltags::identifierOfTag(panel.speed->tag()) : std::nullopt;
        const std::shared_ptr<Vehicle> vehicle = identifier ? registry.findVehicleById(*identifier) : nullptr;
        if (!vehicle) {
            showHealth(panel.health, QString(), false);
            continue;
        }
        const LinkHealth health = vehicle->health();
        showHealth(panel.health, healthText(health, index >= modelPanels_), health.silent());
        if (panel.row) panel.row->setCarName(printableName(health.name));
    }
}

void MainWindow::takeFleetPanels() {
    const std::size_t before = panels_.size();
    panels_.resize(modelPanels_);
    for (FleetPanel* panel : fleet_->panels()) {
        panels_.push_back({panel->speed(), panel->lane(), panel->state(), nullptr, nullptr, panel->health(), panel});
    }
#if ZELTO_WITH_GAMEPADS
    if (gamepads_) gamepads_->setPanels(panelWidgets());
#endif
    if (phoneSharing_) phoneSharing_->setPanels(panelWidgets());
    // Tab reads the rows after the model panels and before the output.
    QWidget* previous = ui_->pellanStopButton;
    for (FleetPanel* panel : fleet_->panels()) {
        for (QWidget* control : std::initializer_list<QWidget*>{panel->speed(), panel->lane(), panel->middle(),
                                                                panel->uTurn(), panel->stop()}) {
            QWidget::setTabOrder(previous, control);
            previous = control;
        }
    }
    QWidget::setTabOrder(previous, ui_->outputArea);
    // Once the listing is done and the rows laid out.
    if (panels_.size() > before) QTimer::singleShot(0, this, &MainWindow::giveTheFleetRoom);
    refreshStatus();
    refreshHealth();
}

void MainWindow::giveTheFleetRoom() {
    // The rows as they are, up to two thirds of the space; the output keeps the rest.
    QSplitter* splitter = ui_->outputSplitter;
    QList<int> sizes = splitter->sizes();
    const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
    const int rows = fleet_->widget()->sizeHint().height() + 2 * fleet_->frameWidth();
    const int wanted = std::min(rows, total * 2 / 3);
    if (sizes.size() < 2 || wanted <= sizes[0]) return;
    const int taken = wanted - sizes[0];
    sizes[0] = wanted;
    sizes[1] = std::max(sizes[1] - taken, 0);
    splitter->setSizes(sizes);
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
    for (std::size_t i = 0; i < panels_.size(); ++i) refreshPanel(panels_[i], static_cast<int>(i));
    registryLabel_->setText(registryText(viewController_->vehiclesController()));
}
