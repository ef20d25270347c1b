// The panels of the cars that no model panel holds, one compact row each, in
// a scrolling area below the model panels. It makes and wires a panel when
// the window's controller asks at a listing, and takes it away again.
#pragma once

#include <QPointer>
#include <QScrollArea>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/panels/PanelWidgets.h"

class FleetPanel;
class QSplitter;
class QVBoxLayout;
class Vehicle;
class PanelDriving;

class FleetArea : public QScrollArea {
    Q_OBJECT

public:
    // Every move goes to `controller`'s actions; `refresh` shows its effect.
    FleetArea(PanelDriving& controller, std::function<void()> refresh, QWidget* parent = nullptr);

    // Hands the controller the making and taking away of the panels.
    void serveController();

    std::vector<FleetPanel*> panels() const;

    // Tab reads the rows' controls between `after` and `before`.
    void chainTabOrder(QWidget* after, QWidget* before) const;
    // The rows as they are get room in the splitter that holds the area, up
    // to two thirds of it; the widget after it keeps the rest.
    void claimRoomIn(QSplitter* splitter) const;

signals:
    // A panel was added or taken away.
    void panelsChanged();

private:
    PanelWidgets add(const Vehicle& vehicle, qint64 middleTag);
    void remove(const PanelWidgets& panel);

    PanelDriving& controller_;
    std::function<void()> refresh_;
    QVBoxLayout* rows_;
    std::vector<QPointer<FleetPanel>> panels_;
};
