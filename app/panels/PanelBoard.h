// What every panel shows of its car, model panel and row alike: the link's
// state (with why it went, where the state alone does not say), the firmware
// version, the hexadecimal id and the link's health. A panel bound to a new
// link of its car shows what that link was sent, not what an ended one was.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstddef>
#include <memory>
#include <vector>

#include "app/panels/VehicleState.h"

class FleetPanel;
class QLabel;
class TaggedSlider;
class Vehicle;
class VehiclesController;

class PanelBoard : public QObject {
    Q_OBJECT

public:
    // A model panel's controls and lines; any may be null.
    struct ModelPanel {
        TaggedSlider* speed;
        TaggedSlider* lane;
        QLabel* state;
        QLabel* firmware;
        QLabel* identifierHex;
        QLabel* health;
    };
    // `registry` outlives every refresh.
    PanelBoard(const VehiclesController& registry, const std::vector<ModelPanel>& models, QObject* parent = nullptr);
    ~PanelBoard() override;

    // The fleet's rows now, after the model panels.
    void setRows(const std::vector<FleetPanel*>& rows);
    std::size_t count() const;

    // Reads the registry into every panel's state, firmware and id.
    void refreshStatus();
    // Reads each bound car's link health into its panel.
    void refreshHealth();

signals:
    // The car of a panel (the model panels first, then the rows in order)
    // left the registry.
    void panelLinkLost(int panel);

private:
    struct Panel;
    void refresh(Panel& panel, int index);
    void springBackOnANewLink(Panel& panel, const std::shared_ptr<Vehicle>& vehicle);

    const VehiclesController& registry_;
    std::vector<Panel> panels_;
    std::size_t modelPanels_;
};
