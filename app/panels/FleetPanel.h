// The panel of a car that no model panel holds: the same controls as a
// model panel (speed, lane, Middle, U-turn, Stop) in one compact row, so
// that two dozen cars fit a laptop's screen. The row leads with the car as
// people tell it apart (its advertised name, its model, its id as the status
// bar writes it), which stays in view while the row scrolls sideways; its
// link's health reads on a line of its own below the controls.
#pragma once

#include <QFrame>
#include <QtGlobal>
#include <cstdint>

#include "app/panels/PanelWidgets.h"

class QLabel;
class QPushButton;
class TaggedButton;
class TaggedSlider;

class FleetPanel : public QFrame {
    Q_OBJECT

public:
    // The sliders carry the car's identifier as their tag, the middle
    // button `middleTag`.
    // `carName` is the name the car advertised, empty if it told none.
    FleetPanel(std::uint32_t identifier, std::uint8_t model, const QString& carName, qint64 middleTag,
               QWidget* parent = nullptr);

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
    QLabel* title() const { return name_; }
    // The block that names the car, kept at the left edge of what is seen.
    QWidget* nameBlock() const { return nameBlock_; }

    // A car may tell its name only after it was listed.
    void setCarName(const QString& carName);
    // The row is scrolled `x` pixels sideways: the name block follows.
    void keepNameAt(int x);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeNameBlock();

    QWidget* nameBlock_;
    QLabel* name_;
    QWidget* nameRoom_;  // holds the name block's place in the row
    int nameOffset_ = 0;
    TaggedSlider* speed_;
    TaggedSlider* lane_;
    TaggedButton* middle_;
    QPushButton* uTurn_;
    QPushButton* stop_;
    QLabel* state_;
    QLabel* health_;
    QLabel* pad_;
    QLabel* phone_;
    std::uint8_t model_;
    std::uint32_t identifier_;
    QString title_;
};

// "Vexa", "Drummet", "Pellan", else "Model 7".
QString modelName(std::uint8_t model);

// What a row and the phones call a car: its advertised name, else its model
// and id ("Model 7 0x5e07000c").
QString carTitle(const QString& carName, std::uint8_t model, std::uint32_t identifier);
