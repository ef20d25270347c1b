// What a panel's controls drive: the moves a person makes on a panel, and
// where the rows of further cars are made. The window's ViewController is
// it; the panels, the pads and the phones know it by this name alone, so
// they need nothing of the window above them.
#pragma once

#include <QObject>
#include <QtGlobal>
#include <functional>

#include "app/panels/PanelWidgets.h"

class TaggedButton;
class TaggedSlider;
class Vehicle;
class VehiclesController;

class PanelDriving : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The registry, for what the panels show of their cars.
    virtual const VehiclesController& vehiclesController() const = 0;

    // Where the cars that no model panel binds get panels of their own. At
    // every listing the window is asked to add a panel for each such car
    // (its sliders tagged with the car's identifier, its middle button with
    // `middleTag`) and to remove the panels of cars no longer in that set.
    struct FleetHost {
        std::function<PanelWidgets(const Vehicle& vehicle, qint64 middleTag)> add;
        std::function<void(const PanelWidgets& panel)> remove;
    };
    virtual void setFleetHost(FleetHost host) = 0;

public slots:
    // Actions; each takes the control that sent it.
    virtual void changeSpeed(TaggedSlider* sender) = 0;
    virtual void changeLane(TaggedSlider* sender) = 0;
    virtual void setLaneToMiddle(TaggedButton* sender) = 0;
    // Every bound speed slider to 0, each sent as a person's move of it.
    virtual void stopAll() = 0;
    // The same for one panel, named by its speed slider; an unbound one is left.
    virtual void stopVehicleOf(TaggedSlider* speed) = 0;
    // Turns the vehicle of a panel, named by its speed slider, around.
    virtual void turnVehicleOf(TaggedSlider* speed) = 0;
};
