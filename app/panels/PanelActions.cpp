#include "app/panels/PanelActions.h"

#include <QPushButton>

#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/ViewController.h"

void wirePanelActions(const PanelWidgets& panel, ViewController& controller, QObject* context,
                      const std::function<void()>& refresh) {
    ViewController* vc = &controller;
    TaggedSlider* speed = panel.speed;
    if (speed) {
        QObject::connect(speed, &TaggedSlider::userMoved, vc, &ViewController::changeSpeed);
        QObject::connect(speed, &TaggedSlider::userMoved, context, [refresh] { refresh(); });
    }
    if (panel.lane) QObject::connect(panel.lane, &TaggedSlider::userMoved, vc, &ViewController::changeLane);
    if (panel.middle) QObject::connect(panel.middle, &TaggedButton::triggered, vc, &ViewController::setLaneToMiddle);
    if (panel.uTurn) QObject::connect(panel.uTurn, &QPushButton::clicked, vc, [vc, speed] { vc->turnVehicleOf(speed); });
    if (panel.stop) {
        QObject::connect(panel.stop, &QPushButton::clicked, context, [vc, speed, refresh] {
            vc->stopVehicleOf(speed);
            refresh();
        });
    }
}
