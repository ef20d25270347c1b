#include "app/ViewController.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <algorithm>
#include <limits>
#include <optional>

#include "app/panels/PanelTags.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/panels/TextForms.h"
#include "app/panels/Trace.h"
#include "link/LaneSpeed.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

using textforms::floatText;
using textforms::identifierText;
using textforms::intText;
using textforms::modelText;
using textforms::tagText;

namespace {

// The value of a speed slider, or NaN when the window lacks it.
float speedOf(const TaggedSlider* slider) {
    return slider ? slider->floatValue() : std::numeric_limits<float>::quiet_NaN();
}

}  // namespace

ViewController::ViewController(ble::CentralFactory centralFactory, QObject* parent)
    : PanelDriving(parent),
      controller_(std::make_shared<VehiclesController>(std::move(centralFactory))) {}

ViewController::~ViewController() = default;

void ViewController::viewDidLoad() {}

void ViewController::changeSpeed(TaggedSlider* sender) {
    if (!sender) return;
    const qint64 tag = sender->tag();
    const float speed = sender->floatValue();
    trace("Speed " + floatText(speed) + " for carID: " + tagText(tag));

    const std::shared_ptr<Vehicle> vehicle = vehicleForTag(tag);
    if (!vehicle) {
        sender->restoreKeptValue();
        return;
    }
    vehicle->setSpeed(speed);
    sender->keepValue();
    writeOutput("Car:[" + tagText(tag) + "] speed:" + floatText(speed));
}

void ViewController::changeLane(TaggedSlider* sender) {
    if (!sender) return;
    const qint64 tag = sender->tag();
    trace("Lane " + intText(sender->intValue()));

    const std::shared_ptr<Vehicle> vehicle = vehicleForTag(tag);
    if (!vehicle) {
        sender->restoreKeptValue();
        return;
    }
    const float offset = sender->floatValue();
    vehicle->changeLaneAndSpeed(offset, laneChangeSpeed(speedOf(speedSliderForTag(tag))));
    sender->keepValue();
    writeOutput("Car:[" + tagText(tag) + "] lane:" + floatText(offset) +
                " speed:" + floatText(speedOf(speedSliderForTag(tag))));
}

void ViewController::setLaneToMiddle(TaggedButton* sender) {
    const qint64 tag = sender ? sender->tag() : 0;
    TaggedSlider* lane = nullptr;
    if (tag == paneltags::kVexaMiddle) {
        lane = vexLaneSelector_;
    } else if (tag == paneltags::kDrummetMiddle) {
        lane = drummetLaneSelector_;
    } else if (tag == paneltags::kPellanMiddle) {
        lane = pellanLaneSelector_;
    } else if (TaggedSlider* fleetLane = fleetLaneForMiddleTag(tag)) {
        lane = fleetLane;
    } else {
        trace("wrong tag");
        return;
    }
    if (!lane) return;
    lane->setIntValue(0);
    changeLane(lane);
}

void ViewController::connectToBluetooth(TaggedButton* sender) {
    const qint64 tag = sender ? sender->tag() : 0;
    if (tag == paneltags::kList) {
        listVehicles();
    } else if (tag == paneltags::kConnect) {
        controller_->beginScan();
        writeOutput("Connects to bluetooth:");
    } else {
        trace("wrong tag");
    }
}

void ViewController::stopAll() {
    for (TaggedSlider* speed : {vexaAcelaration_.data(), drummetAceleration_.data(),
                                pellanAccelaration_.data()}) {
        stopVehicleOf(speed);
    }
    // A copy: a stop's output may run code that changes the fleet.
    const std::vector<PanelWidgets> fleet = fleet_;
    for (const PanelWidgets& panel : fleet) stopVehicleOf(panel.speed);
}

void ViewController::stopVehicleOf(TaggedSlider* speed) {
    if (!speed || !paneltags::identifierOfTag(speed->tag())) return;  // never bound
    speed->setIntValue(0);
    changeSpeed(speed);
}

void ViewController::turnVehicleOf(TaggedSlider* speed) {
    if (!speed) return;
    const qint64 tag = speed->tag();
    trace("U-turn for carID: " + tagText(tag));
    const std::shared_ptr<Vehicle> vehicle = vehicleForTag(tag);
    if (!vehicle) return;
    vehicle->spin180();
    writeOutput("Car:[" + tagText(tag) + "] u-turn");
}

void ViewController::setHealthClock(HealthClock clock) { controller_->setHealthClock(std::move(clock)); }

void ViewController::useRadio(ble::CentralFactory centralFactory) {
    controller_->setCentralFactory(std::move(centralFactory));
}

void ViewController::writeOutput(const std::string& line) {
    if (!outputTextField_) return;
    // Appending at the end costs the same however long the text has grown;
    // the whole text still reads as every line preceded by a line break.
    QTextCursor end(outputTextField_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QLatin1Char('\n') + QString::fromStdString(line));
}

void ViewController::listVehicles() {
    writeOutput("Vehicles:");
    // A copy of the list: what the loop calls cannot change what it walks.
    const VehicleList vehicles = *controller_->vehicles();
    for (const std::shared_ptr<Vehicle>& vehicle : vehicles) {
        if (!vehicle) continue;
        const std::uint32_t identifier = vehicle->identifier();
        const std::uint8_t model = vehicle->modelIdentifier();
        trace(identifierText(identifier));
        bindPanelToVehicle(*vehicle);
        writeOutput("id:" + identifierText(identifier) + " model:" + modelText(model));
    }
    bindFleet(vehicles);
}

void ViewController::bindFleet(const std::vector<std::shared_ptr<Vehicle>>& vehicles) {
    if (!fleetHost_.add || !fleetHost_.remove) return;
    std::vector<qint64> held;
    for (const TaggedSlider* speed : {vexaAcelaration_.data(), drummetAceleration_.data(),
                                      pellanAccelaration_.data()}) {
        if (speed) held.push_back(speed->tag());
    }
    auto isHeld = [&held](qint64 tag) { return std::find(held.begin(), held.end(), tag) != held.end(); };
    std::vector<qint64> wanted;
    for (const std::shared_ptr<Vehicle>& vehicle : vehicles) {
        if (vehicle && !isHeld(vehicle->identifier())) wanted.push_back(vehicle->identifier());
    }
    auto isWanted = [&wanted](qint64 tag) {
        return std::find(wanted.begin(), wanted.end(), tag) != wanted.end();
    };
    // Panels of cars that left, or that a model panel now holds, go; the
    // others stay where they are, sliders and all.
    std::vector<PanelWidgets> kept;
    for (const PanelWidgets& panel : fleet_) {
        if (panel.speed && isWanted(panel.speed->tag())) {
            kept.push_back(panel);
        } else {
            fleetHost_.remove(panel);
        }
    }
    fleet_ = std::move(kept);
    for (const std::shared_ptr<Vehicle>& vehicle : vehicles) {
        if (!vehicle || isHeld(vehicle->identifier())) continue;
        const qint64 tag = vehicle->identifier();
        const bool hasPanel = std::any_of(fleet_.begin(), fleet_.end(), [tag](const PanelWidgets& panel) {
            return panel.speed && panel.speed->tag() == tag;
        });
        if (hasPanel) continue;
        PanelWidgets panel = fleetHost_.add(*vehicle, nextFleetMiddleTag_++);
        if (panel.speed) fleet_.push_back(panel);
    }
}

TaggedSlider* ViewController::fleetLaneForMiddleTag(qint64 tag) const {
    for (const PanelWidgets& panel : fleet_) {
        if (panel.middle && panel.middle->tag() == tag) return panel.lane;
    }
    return nullptr;
}

void ViewController::bindPanelToVehicle(const Vehicle& vehicle) {
    QLineEdit* field = nullptr;
    TaggedSlider* speed = nullptr;
    TaggedSlider* lane = nullptr;
    switch (vehicle.modelIdentifier()) {
        case paneltags::kPellanModel:
            field = pellanIdTextField_, speed = pellanAccelaration_, lane = pellanLaneSelector_;
            break;
        case paneltags::kDrummetModel:
            field = drummetIdTextfield_, speed = drummetAceleration_, lane = drummetLaneSelector_;
            break;
        case paneltags::kVexaModel:
            field = vexaIDTextfield_, speed = vexaAcelaration_, lane = vexLaneSelector_;
            break;
        default:
            trace("No car");
            return;
    }
    const std::uint32_t identifier = vehicle.identifier();
    if (field) field->setText(QString::number(identifier));
    if (speed) speed->setTag(identifier);
    if (lane) lane->setTag(identifier);
}

TaggedSlider* ViewController::speedSliderForTag(qint64 tag) const {
    for (TaggedSlider* slider : {vexaAcelaration_.data(), pellanAccelaration_.data(),
                                 drummetAceleration_.data()}) {
        if (slider && slider->tag() == tag) return slider;
    }
    for (const PanelWidgets& panel : fleet_) {
        if (panel.speed && panel.speed->tag() == tag) return panel.speed;
    }
    return vexaAcelaration_;
}

std::shared_ptr<Vehicle> ViewController::vehicleForTag(qint64 tag) {
    const std::optional<std::uint32_t> identifier = paneltags::identifierOfTag(tag);
    if (!identifier) {
        writeOutput("No vehicle bound to this slider");
        return nullptr;
    }
    std::shared_ptr<Vehicle> vehicle = controller_->findVehicleById(*identifier);
    if (!vehicle) writeOutput("No vehicle with id " + identifierText(*identifier));
    return vehicle;
}
