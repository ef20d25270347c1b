#include "app/panels/PanelActions.h"

#include <QPushButton>

#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/panels/PanelDriving.h"

void wirePanelActions(const PanelWidgets& panel, PanelDriving& controller, QObject* context,
                      const std::function<void()>& refresh) {
    PanelDriving* vc = &controller;
    TaggedSlider* speed = panel.speed;
    if (speed) {
        QObject::connect(speed, &TaggedSlider::userMoved, vc, &PanelDriving::changeSpeed);
        QObject::connect(speed, &TaggedSlider::userMoved, context, [refresh] { refresh(); });
    }
    if (panel.lane) QObject::connect(panel.lane, &TaggedSlider::userMoved, vc, &PanelDriving::changeLane);
    if (panel.middle) QObject::connect(panel.middle, &TaggedButton::triggered, vc, &PanelDriving::setLaneToMiddle);
    if (panel.uTurn) QObject::connect(panel.uTurn, &QPushButton::clicked, vc, [vc, speed] { vc->turnVehicleOf(speed); });
    if (panel.stop) {
        QObject::connect(panel.stop, &QPushButton::clicked, context, [vc, speed, refresh] {
            vc->stopVehicleOf(speed);
            refresh();
        });
    }
}
