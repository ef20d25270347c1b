#include "app/MainWindow.h"

#include <QFontDatabase>
#include <QLabel>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>

#include "app/LinkLogForwarder.h"
#include "app/TaggedButton.h"
#include "app/TaggedSlider.h"
#include "app/TextForms.h"
#include "app/VehicleState.h"
#include "app/ViewController.h"
#include "ui_MainWindow.h"

namespace {

constexpr int kStatusRefreshMs = 500;

QString titled(const QString& base, const QString& state) {
    return state.isEmpty() ? base : base + QStringLiteral(" \u2014 ") + state;
}

}  // namespace

MainWindow::MainWindow(Radio radio, QWidget* parent)
    : QMainWindow(parent),
      radio_(std::move(radio)),
      ui_(std::make_unique<Ui::MainWindow>()),
      viewController_(std::make_unique<ViewController>(radio_.factory)) {
    ui_->setupUi(this);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    ui_->outputArea->setFont(fixed);
    ui_->linkLogView->setFont(fixed);
    // The output area stays scrolled to its end: each appended line grows
    // the scroll range, also when the layout catches up later.
    QScrollBar* outputBar = ui_->outputArea->verticalScrollBar();
    connect(outputBar, &QAbstractSlider::rangeChanged, outputBar,
            [outputBar](int, int maximum) { outputBar->setValue(maximum); });
    vexaTitle_ = ui_->vexaPanel->title();
    drummetTitle_ = ui_->drummetPanel->title();
    pellanTitle_ = ui_->pellanPanel->title();

    connectOutlets();
    wireActions();
    viewController_->viewDidLoad();

    showValueOf(ui_->vexaSpeedSlider, ui_->vexaSpeedValue);
    showValueOf(ui_->vexaLaneSlider, ui_->vexaLaneValue);
    showValueOf(ui_->drummetSpeedSlider, ui_->drummetSpeedValue);
    showValueOf(ui_->drummetLaneSlider, ui_->drummetLaneValue);
    showValueOf(ui_->pellanSpeedSlider, ui_->pellanSpeedValue);
    showValueOf(ui_->pellanLaneSlider, ui_->pellanLaneValue);
    setUpStatusBar();
}

MainWindow::~MainWindow() {
    // Nothing is sent on the way out: the vehicles controller goes with the
    // ViewController, before the radio it was made on.
    statusTimer_->stop();
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
    for (TaggedSlider* speed :
         {ui_->vexaSpeedSlider, ui_->drummetSpeedSlider, ui_->pellanSpeedSlider}) {
        connect(speed, &TaggedSlider::userMoved, vc, &ViewController::changeSpeed);
    }
    for (TaggedSlider* lane : {ui_->vexaLaneSlider, ui_->drummetLaneSlider, ui_->pellanLaneSlider}) {
        connect(lane, &TaggedSlider::userMoved, vc, &ViewController::changeLane);
    }
    for (TaggedButton* middle :
         {ui_->vexaMiddleButton, ui_->drummetMiddleButton, ui_->pellanMiddleButton}) {
        connect(middle, &TaggedButton::triggered, vc, &ViewController::setLaneToMiddle);
    }
    connect(ui_->connectButton, &TaggedButton::triggered, vc, &ViewController::connectToBluetooth);
    connect(ui_->listButton, &TaggedButton::triggered, vc, &ViewController::connectToBluetooth);
    // Pressing a button may bind a panel or start the radio: show it at once.
    connect(ui_->connectButton, &TaggedButton::triggered, this, &MainWindow::refreshStatus);
    connect(ui_->listButton, &TaggedButton::triggered, this, &MainWindow::refreshStatus);
}

void MainWindow::showValueOf(TaggedSlider* slider, QLabel* label) {
    auto show = [slider, label] {
        label->setText(QString::fromStdString(textforms::floatText(slider->floatValue())));
    };
    connect(slider, &QAbstractSlider::valueChanged, label, show);
    show();
}

void MainWindow::setUpStatusBar() {
    radioLabel_ = new QLabel(QStringLiteral("Radio: ") + radio_.description, this);
    registryLabel_ = new QLabel(this);
    lastLogLine_ = new QLabel(this);
    lastLogLine_->setTextFormat(Qt::PlainText);
    lastLogLine_->setMinimumWidth(1);  // long lines are cut, never widen the window
    statusBar()->addWidget(lastLogLine_, 1);
    statusBar()->addPermanentWidget(registryLabel_);
    statusBar()->addPermanentWidget(radioLabel_);

    linkLog_ = new LinkLogForwarder(this);
    connect(linkLog_, &LinkLogForwarder::lineLogged, this, &MainWindow::showLogLine);
    connect(ui_->logToggle, &QAbstractButton::toggled, ui_->linkLogView, &QWidget::setVisible);

    statusTimer_ = new QTimer(this);
    connect(statusTimer_, &QTimer::timeout, this, &MainWindow::refreshStatus);
    statusTimer_->start(kStatusRefreshMs);
    refreshStatus();
}

void MainWindow::showLogLine(const QString& line) {
    lastLogLine_->setText(line);
    ui_->linkLogView->appendPlainText(line);
}

void MainWindow::refreshStatus() {
    // Read through the outlets: a control that is gone shows its panel unbound.
    const ViewController& vc = *viewController_;
    const VehiclesController& registry = vc.vehiclesController();
    auto state = [&registry](const TaggedSlider* speed) {
        return speed ? panelStateText(registry, speed->tag()) : QString();
    };
    ui_->vexaPanel->setTitle(titled(vexaTitle_, state(vc.vexaAcelaration())));
    ui_->drummetPanel->setTitle(titled(drummetTitle_, state(vc.drummetAceleration())));
    ui_->pellanPanel->setTitle(titled(pellanTitle_, state(vc.pellanAccelaration())));
    registryLabel_->setText(registryText(registry));
}
