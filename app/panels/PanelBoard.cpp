#include "app/panels/PanelBoard.h"

#include <QLabel>
#include <utility>

#include "app/panels/FleetPanel.h"
#include "app/panels/HealthText.h"
#include "app/panels/PanelTags.h"
#include "app/panels/TaggedSlider.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

// Weak, like the outlets: a control deleted under the board is skipped.
struct PanelBoard::Panel {
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

PanelBoard::PanelBoard(const VehiclesController& registry, const std::vector<ModelPanel>& models, QObject* parent)
    : QObject(parent), registry_(registry), modelPanels_(models.size()) {
    for (const ModelPanel& m : models) panels_.push_back({m.speed, m.lane, m.state, m.firmware, m.identifierHex, m.health});
}

PanelBoard::~PanelBoard() = default;

void PanelBoard::setRows(const std::vector<FleetPanel*>& rows) {
    panels_.resize(modelPanels_);
    for (FleetPanel* row : rows) {
        panels_.push_back({row->speed(), row->lane(), row->state(), nullptr, nullptr, row->health(), row});
    }
}

std::size_t PanelBoard::count() const { return panels_.size(); }

void PanelBoard::refreshStatus() {
    for (std::size_t i = 0; i < panels_.size(); ++i) refresh(panels_[i], static_cast<int>(i));
}

void PanelBoard::refresh(Panel& panel, int index) {
    const qint64 tag = panel.speed ? panel.speed->tag() : -1;
    const PanelStatus status = panelStatus(registry_, tag);
    const PanelStatus::Link before = std::exchange(panel.shown, status.link);
    if (status.link == PanelStatus::Link::Gone && before != PanelStatus::Link::Gone &&
        before != PanelStatus::Link::Unbound) {
        emit panelLinkLost(index);
    }
    const std::optional<std::uint32_t> identifier = paneltags::identifierOfTag(tag);
    springBackOnANewLink(panel, identifier ? registry_.findVehicleById(*identifier) : nullptr);
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

void PanelBoard::springBackOnANewLink(Panel& panel, const std::shared_ptr<Vehicle>& vehicle) {
    if (!vehicle || panel.link.lock() == vehicle) return;
    panel.link = vehicle;
    if (!std::exchange(panel.linkedBefore, true)) return;
    // Shown only: nothing is sent for it.
    if (panel.speed) panel.speed->setFloatValue(static_cast<float>(vehicle->commandedSpeed()));
    if (panel.lane) panel.lane->setFloatValue(0.0f);
}

void PanelBoard::refreshHealth() {
    for (std::size_t index = 0; index < panels_.size(); ++index) {
        const Panel& panel = panels_[index];
        const std::optional<std::uint32_t> identifier =
            panel.speed ? paneltags::identifierOfTag(panel.speed->tag()) : std::nullopt;
        const std::shared_ptr<Vehicle> vehicle = identifier ? registry_.findVehicleById(*identifier) : nullptr;
        if (!vehicle) {
            showHealth(panel.health, QString(), false);
            continue;
        }
        const LinkHealth health = vehicle->health();
        showHealth(panel.health, healthText(health, index >= modelPanels_), health.silent());
        if (panel.row) panel.row->setCarName(printableName(health.name));
    }
}
