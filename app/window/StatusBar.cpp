#include "app/window/StatusBar.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>

#include "app/panels/HealthText.h"
#include "app/panels/PanelTags.h"
#include "app/panels/VehicleState.h"
#include "app/window/LinkLogForwarder.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

namespace {

const QString kLogTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");
// Names of cars the status bar may still tell of after they went.
constexpr qsizetype kCarNamesKept = 1024;

QLabel* namedLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

}  // namespace

StatusBar::StatusBar(QStatusBar* bar, QPlainTextEdit* linkLogView, const VehiclesController& registry)
    : QObject(bar),
      bar_(bar),
      linkLogView_(linkLogView),
      registry_(registry),
      radio_(namedLabel("radioLabel", bar)),
      registryCount_(namedLabel("registryLabel", bar)),
      lastLogLine_(namedLabel("lastLogLine", bar)),
      recording_(namedLabel("recordingLabel", bar)),
      linkLog_(new LinkLogForwarder(this)) {
    lastLogLine_->setTextFormat(Qt::PlainText);
    lastLogLine_->setMinimumWidth(1);  // long lines are cut, never widen the window
    recording_->setVisible(false);
    bar->addWidget(lastLogLine_, 1);
    bar->addPermanentWidget(recording_);
    bar->addPermanentWidget(registryCount_);
    bar->addPermanentWidget(radio_);
    connect(linkLog_, &LinkLogForwarder::lineLogged, this, &StatusBar::showLogLine);
}

StatusBar::~StatusBar() {
    delete linkLog_;  // lines written on the way out find no window
}

void StatusBar::showRadio(const QString& description) { radio_->setText(QStringLiteral("Radio: ") + description); }

void StatusBar::showRegistry(const QString& text) { registryCount_->setText(text); }

void StatusBar::say(const QString& text) { lastLogLine_->setText(text); }

void StatusBar::showRecording(const QString& fileName) {
    recording_->setText(fileName.isEmpty() ? QString() : QStringLiteral("Recording to %1").arg(fileName));
    recording_->setVisible(!fileName.isEmpty());
}

void StatusBar::showSaved(const QString& path) {
    bar_->showMessage(QStringLiteral("Saved to %1").arg(QDir::toNativeSeparators(path)), 10000);
}

void StatusBar::showLogLine(const QString& line, const QDateTime& at, qint64 vehicle) {
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
    if (linkLogView_) linkLogView_->appendPlainText(at.toString(kLogTimeFormat) + QLatin1Char(' ') + line);
    emit lineShown();
}

QString StatusBar::carNameOf(std::uint32_t identifier) {
    if (const auto vehicle = registry_.findVehicleById(identifier)) {
        const QString name = printableName(vehicle->health().name);
        if (!name.isEmpty()) {
            if (carNames_.size() >= kCarNamesKept) carNames_.clear();  // bounded, whatever the air brings
            carNames_.insert(identifier, name);
        }
    }
    return carNames_.value(identifier);
}
