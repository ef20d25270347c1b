// The controls of one vehicle panel, model panel or row alike: what the
// window wires to the controller's actions (PanelDriving) and hands to whatever drives
// the panels besides the person's hands (gamepads, phones). Weak: a control
// deleted under its user is skipped.
#pragma once

#include <QPointer>
#include <QString>

class QLabel;
class QPushButton;
class TaggedButton;
class TaggedSlider;

struct PanelWidgets {
    QPointer<TaggedSlider> speed;
    QPointer<TaggedSlider> lane;
    QPointer<TaggedButton> middle;
    QPointer<QPushButton> stop;
    QPointer<QLabel> pad;
    QPointer<QPushButton> uTurn;
    // The phone that drives the panel, and the panel's name ("Vexa", "Korrin 4").
    QPointer<QLabel> phone;
    QString name;
};
