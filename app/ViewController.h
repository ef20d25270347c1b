// The controller of the window: three vehicle panels, the connect and list
// buttons and the output area. It owns the vehicles controller for its whole
// life and looks a vehicle up by identifier on every slider action; it keeps
// no vehicle between two actions.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "app/panels/PanelDriving.h"
#include "app/panels/PanelTags.h"
#include "app/panels/PanelWidgets.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "ble/Bluetooth.h"
#include "link/LinkHealth.h"

class Vehicle;
class VehiclesController;

class ViewController : public PanelDriving {
    Q_OBJECT

public:
    // The radio is chosen by whoever creates the window: nothing touches it
    // until the connect button is pressed.
    explicit ViewController(ble::CentralFactory centralFactory, QObject* parent = nullptr);
    ~ViewController() override;

    // Runs once the outlets are connected and the actions wired.
    void viewDidLoad();
    QVariant representedObject() const { return representedObject_; }
    void setRepresentedObject(const QVariant& object) { representedObject_ = object; }

    // The registry, for the window's status display.
    const VehiclesController& vehiclesController() const override { return *controller_; }
    // The clock the cars' link health is measured on (virtual time in tests).
    void setHealthClock(HealthClock clock);

    // Outlets: weak references to the window's controls.
    TaggedButton* connectButton() const { return connectButton_; }
    void setConnectButton(TaggedButton* control) { connectButton_ = control; }
    QLineEdit* vexaIDTextfield() const { return vexaIDTextfield_; }
    void setVexaIDTextfield(QLineEdit* control) { vexaIDTextfield_ = control; }
    QLineEdit* drummetIdTextfield() const { return drummetIdTextfield_; }
    void setDrummetIdTextfield(QLineEdit* control) { drummetIdTextfield_ = control; }
    QLineEdit* pellanIdTextField() const { return pellanIdTextField_; }
    void setPellanIdTextField(QLineEdit* control) { pellanIdTextField_ = control; }
    QPlainTextEdit* outputTextField() const { return outputTextField_; }
    void setOutputTextField(QPlainTextEdit* control) { outputTextField_ = control; }
    TaggedSlider* pellanAccelaration() const { return pellanAccelaration_; }
    void setPellanAccelaration(TaggedSlider* control) { pellanAccelaration_ = control; }
    TaggedSlider* drummetAceleration() const { return drummetAceleration_; }
    void setDrummetAceleration(TaggedSlider* control) { drummetAceleration_ = control; }
    TaggedSlider* vexaAcelaration() const { return vexaAcelaration_; }
    void setVexaAcelaration(TaggedSlider* control) { vexaAcelaration_ = control; }
    TaggedSlider* pellanLaneSelector() const { return pellanLaneSelector_; }
    void setPellanLaneSelector(TaggedSlider* control) { pellanLaneSelector_ = control; }
    TaggedSlider* drummetLaneSelector() const { return drummetLaneSelector_; }
    void setDrummetLaneSelector(TaggedSlider* control) { drummetLaneSelector_ = control; }
    TaggedSlider* vexLaneSelector() const { return vexLaneSelector_; }
    void setVexLaneSelector(TaggedSlider* control) { vexLaneSelector_ = control; }

public slots:
    // Actions; each takes the control that sent it.
    void changeSpeed(TaggedSlider* sender) override;
    void changeLane(TaggedSlider* sender) override;
    void setLaneToMiddle(TaggedButton* sender) override;
    void connectToBluetooth(TaggedButton* sender);

    void stopAll() override;
    void stopVehicleOf(TaggedSlider* speed) override;
    void turnVehicleOf(TaggedSlider* speed) override;

public:
    void setFleetHost(FleetHost host) override { fleetHost_ = std::move(host); }
    // The fleet's panels, in the order they were added.
    const std::vector<PanelWidgets>& fleetPanels() const { return fleet_; }

    // The radio of the next connect; the vehicles found on the one before
    // stay listed until their links end.
    void useRadio(ble::CentralFactory centralFactory);

private:
    void writeOutput(const std::string& line);
    void listVehicles();
    void bindPanelToVehicle(const Vehicle& vehicle);
    TaggedSlider* speedSliderForTag(qint64 tag) const;
    // Gives every listed car that no model panel holds a fleet panel.
    void bindFleet(const std::vector<std::shared_ptr<Vehicle>>& vehicles);
    TaggedSlider* fleetLaneForMiddleTag(qint64 tag) const;
    // The registered vehicle that a slider's tag names, or null after saying
    // in the output area why there is none.
    std::shared_ptr<Vehicle> vehicleForTag(qint64 tag);

    const std::shared_ptr<VehiclesController> controller_;
    QPointer<TaggedButton> connectButton_;
    QPointer<QLineEdit> vexaIDTextfield_;
    QPointer<QLineEdit> drummetIdTextfield_;
    QPointer<QLineEdit> pellanIdTextField_;
    QPointer<QPlainTextEdit> outputTextField_;
    QPointer<TaggedSlider> pellanAccelaration_;
    QPointer<TaggedSlider> drummetAceleration_;
    QPointer<TaggedSlider> vexaAcelaration_;
    QPointer<TaggedSlider> pellanLaneSelector_;
    QPointer<TaggedSlider> drummetLaneSelector_;
    QPointer<TaggedSlider> vexLaneSelector_;
    QVariant representedObject_;
    FleetHost fleetHost_;
    std::vector<PanelWidgets> fleet_;
    qint64 nextFleetMiddleTag_ = paneltags::kFleetMiddleBase;
};
