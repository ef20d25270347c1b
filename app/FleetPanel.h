// The panel of a car that no model panel holds: the same controls as a
// model panel (speed, lane, Middle, U-turn, Stop) in one compact row, so
// that two dozen cars fit a laptop's screen.
#pragma once

#include <QFrame>
#include <QtGlobal>
#include <cstdint>

#include "app/PanelWidgets.h"

class QLabel;
class QPushButton;
class TaggedButton;
class TaggedSlider;

class FleetPanel : public QFrame {
    Q_OBJECT

public:
    // The sliders carry the car's identifier as their tag, the middle
    // button `middleTag`.
    FleetPanel(std::uint32_t identifier, std::uint8_t model, qint64 middleTag, QWidget* parent = nullptr);

    PanelWidgets widgets() const;
    TaggedSlider* speed() const { return speed_; }
    TaggedSlider* lane() const { return lane_; }
    TaggedButton* middle() const { return middle_; }
    QPushButton* uTurn() const { return uTurn_; }
    QPushButton* stop() const { return stop_; }
    QLabel* state() const { return state_; }
    QLabel* health() const { return health_; }
    QLabel* pad() const { return pad_; }
    QLabel* phone() const { return phone_; }

private:
    TaggedSlider* speed_;
    TaggedSlider* lane_;
    TaggedButton* middle_;
    QPushButton* uTurn_;
    QPushButton* stop_;
    QLabel* state_;
    QLabel* health_;
    QLabel* pad_;
    QLabel* phone_;
    QString title_;
};

// "Vexa", "Drummet", "Pellan", else "Model 7".
QString modelName(std::uint8_t model);
