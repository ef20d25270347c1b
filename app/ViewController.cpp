#include "app/ViewController.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <limits>
#include <optional>

#include "app/PanelTags.h"
#include "app/TaggedButton.h"
#include "app/TaggedSlider.h"
#include "app/TextForms.h"
#include "app/Trace.h"
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
    : QObject(parent),
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
