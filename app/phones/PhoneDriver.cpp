#include "app/phones/PhoneDriver.h"

#include <QLabel>
#include <QPushButton>

#include "app/panels/PanelMoves.h"
#include "app/panels/PanelTags.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/panels/VehicleState.h"
#include "app/panels/PanelDriving.h"

PhoneDriver::PhoneDriver(PanelDriving& controller, std::function<void()> refresh)
    : controller_(controller), refresh_(std::move(refresh)) {}

void PhoneDriver::setPanels(std::vector<PanelWidgets> panels) {
    panels_ = std::move(panels);
    showPhones(labels_);
}

std::string PhoneDriver::keyOf(const PanelWidgets& panel) {
    const std::optional<std::uint32_t> identifier =
        panel.speed ? paneltags::identifierOfTag(panel.speed->tag()) : std::nullopt;
    return identifier ? std::to_string(*identifier) : std::string();
}

std::vector<phone::Garage::Car> PhoneDriver::cars() const {
    std::vector<Car> cars;
    for (const PanelWidgets& panel : panels_) {
        const std::string key = keyOf(panel);
        if (key.empty() || !panel.lane) continue;
        const PanelStatus status = panelStatus(controller_.vehiclesController(), panel.speed->tag());
        if (status.link == PanelStatus::Link::Unbound || status.link == PanelStatus::Link::Gone) continue;
        cars.push_back({key, panel.name.toStdString(), stateText(status).toStdString(),
                        panel.speed->floatValue(), panel.lane->floatValue(), panel.speed->value() > 0});
    }
    return cars;
}

const PanelWidgets* PhoneDriver::panelOf(const std::string& car) const {
    for (const PanelWidgets& panel : panels_) {
        if (!car.empty() && keyOf(panel) == car) return &panel;
    }
    return nullptr;
}

void PhoneDriver::setSpeed(const std::string& car, double speed) {
    if (const PanelWidgets* panel = panelOf(car); panel && panel->speed) {
        moveSpeedSlider(panel->speed, stepOfValue(*panel->speed, speed), &controller_, refresh_);
    }
}

void PhoneDriver::setLane(const std::string& car, double lane) {
    if (const PanelWidgets* panel = panelOf(car); panel && panel->lane) {
        moveLaneSlider(panel->lane, stepOfValue(*panel->lane, lane), &controller_);
    }
}

void PhoneDriver::centre(const std::string& car) {
    if (const PanelWidgets* panel = panelOf(car); panel && panel->middle) panel->middle->click();
}

void PhoneDriver::uTurn(const std::string& car) {
    if (const PanelWidgets* panel = panelOf(car); panel && panel->uTurn) panel->uTurn->click();
}

void PhoneDriver::stop(const std::string& car) {
    if (const PanelWidgets* panel = panelOf(car); panel && panel->stop) panel->stop->click();
}

void PhoneDriver::showPhones(const std::map<std::string, std::string>& labels) {
    labels_ = labels;
    for (const PanelWidgets& panel : panels_) {
        if (!panel.phone) continue;
        const std::string key = keyOf(panel);
        const auto found = labels_.find(key);
        const QString text = found == labels_.end() || key.empty()
                                 ? QString()
                                 : QStringLiteral("Phone: ") + QString::fromStdString(found->second);
        if (panel.phone->text() != text) panel.phone->setText(text);
    }
}
