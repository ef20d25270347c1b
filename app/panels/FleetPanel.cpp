#include "app/panels/FleetPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/panels/HealthText.h"
#include "app/panels/PanelLayout.h"
#include "app/panels/PanelTags.h"
#include "app/panels/TaggedButton.h"
#include "app/panels/TaggedSlider.h"
#include "app/panels/TextForms.h"
#include "link/LinkText.h"

namespace {

// As the model panels' sliders: speed 0 to 1000, lane -70 to 70, in halves.
void shapeSpeed(TaggedSlider* slider) {
    slider->setRange(0, 2000);
    slider->setSingleStep(20);
    slider->setPageStep(200);
    slider->setScale(2);
    slider->setToolTip(QStringLiteral("Speed, 0 to 1000 (arrow keys: 10, Page Up/Down: 100)"));
}

void shapeLane(TaggedSlider* slider) {
    slider->setRange(-140, 140);
    slider->setSingleStep(2);
    slider->setPageStep(20);
    slider->setScale(2);
    slider->setToolTip(QStringLiteral("Offset from the road centre, -70 to 70 (arrow keys: 1, Page Up/Down: 10)"));
}

QLabel* valueLabel(TaggedSlider* slider, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("-1000.0")));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    showValueOf(slider, label);
    return label;
}

QPushButton* compactButton(QPushButton* button, const QString& text, const QString& tip) {
    button->setText(text);
    button->setToolTip(tip);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

}  // namespace

QString modelName(std::uint8_t model) {
    switch (model) {
        case paneltags::kVexaModel: return QStringLiteral("Vexa");
        case paneltags::kDrummetModel: return QStringLiteral("Drummet");
        case paneltags::kPellanModel: return QStringLiteral("Pellan");
        default: return QStringLiteral("Model %1").arg(model);
    }
}

QString carTitle(const QString& carName, std::uint8_t model, std::uint32_t identifier) {
    if (!carName.isEmpty()) return carName;
    return QStringLiteral("%1 %2").arg(modelName(model), QString::fromStdString(link_text::identifierText(identifier)));
}

FleetPanel::FleetPanel(std::uint32_t identifier, std::uint8_t model, const QString& carName, qint64 middleTag,
                       QWidget* parent)
    : QFrame(parent),
      nameBlock_(new QWidget(this)),
      name_(new QLabel(nameBlock_)),
      nameRoom_(new QWidget(this)),
      speed_(new TaggedSlider(Qt::Horizontal, this)),
      lane_(new TaggedSlider(Qt::Horizontal, this)),
      middle_(new TaggedButton(this)),
      uTurn_(new QPushButton(this)),
      stop_(new QPushButton(this)),
      state_(new QLabel(this)),
      health_(new QLabel(this)),
      pad_(new QLabel(this)),
      phone_(new QLabel(this)),
      model_(model),
      identifier_(identifier) {
    setObjectName(QStringLiteral("fleetPanel%1").arg(identifier));
    setFrameShape(QFrame::StyledPanel);

    // The name block: the car's name in bold, its model and hexadecimal id
    // (as the status bar writes it) below; the decimal id, as the output
    // area writes it, in the tooltip.
    const QString hexId = QString::fromStdString(link_text::identifierText(identifier));
    name_->setTextFormat(Qt::PlainText);
    name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    auto* modelAndId = new QLabel(QStringLiteral("%1 \u00b7 %2").arg(modelName(model), hexId), nameBlock_);
    modelAndId->setTextInteractionFlags(Qt::TextSelectableByMouse);
    nameBlock_->setToolTip(QStringLiteral("Model %1, vehicle id %2 (%3)").arg(model).arg(identifier).arg(hexId));
    nameBlock_->setAutoFillBackground(true);  // the controls scroll beneath it
    auto* lines = new QVBoxLayout(nameBlock_);
    lines->setContentsMargins(6, 2, 6, 2);
    lines->setSpacing(0);
    lines->addWidget(name_);
    lines->addWidget(modelAndId);
    // One width for every row, so that the columns line up; a longer name is
    // shortened, in full in the tooltip.
    const int width = std::max(QFontMetrics(bold).horizontalAdvance(QStringLiteral("Wwwwwwwwwwwww 99")),
                               modelAndId->fontMetrics().horizontalAdvance(QStringLiteral("Model 255 \u00b7 0x00000000")));
    nameBlock_->setFixedWidth(width + 12);
    nameRoom_->setFixedWidth(nameBlock_->width());
    setCarName(carName);

    shapeSpeed(speed_);
    shapeLane(lane_);
    speed_->setTag(identifier);
    lane_->setTag(identifier);
    speed_->setMinimumWidth(100);
    speed_->setMaximumWidth(180);
    lane_->setMinimumWidth(70);
    lane_->setMaximumWidth(120);
    middle_->setTag(middleTag);
    compactButton(middle_, QStringLiteral("Middle"), QStringLiteral("Back to the road centre"));
    compactButton(uTurn_, QStringLiteral("U-turn"), QStringLiteral("Turn the vehicle around"));
    compactButton(stop_, QStringLiteral("Stop"), QStringLiteral("Speed 0 for this vehicle"));
    state_->setTextFormat(Qt::PlainText);
    state_->setFixedWidth(state_->fontMetrics().horizontalAdvance(QStringLiteral("Connecting\u2026")) + 4);
    state_->setToolTip(QStringLiteral("The link: connecting, ready (speed 0), moving or gone"));
    pad_->setTextFormat(Qt::PlainText);
    pad_->setToolTip(QStringLiteral("The gamepad that drives this panel"));
    phone_->setTextFormat(Qt::PlainText);
    phone_->setToolTip(QStringLiteral("The phone that drives this panel"));
    health_->setTextFormat(Qt::PlainText);
    health_->setToolTip(healthFieldsTip());
    // Below the controls, as wide as they are; a longer line wraps, so that
    // every figure stays readable.
    health_->setWordWrap(true);

    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(6);  // not the column's, which sets the health line close below
    controls->addWidget(state_);
    auto* speedLabel = new QLabel(QStringLiteral("Speed"), this);
    speedLabel->setBuddy(speed_);
    controls->addWidget(speedLabel);
    controls->addWidget(speed_, 3);
    controls->addWidget(valueLabel(speed_, this));
    auto* laneLabel = new QLabel(QStringLiteral("Lane"), this);
    laneLabel->setBuddy(lane_);
    controls->addWidget(laneLabel);
    controls->addWidget(lane_, 2);
    controls->addWidget(valueLabel(lane_, this));
    controls->addWidget(middle_);
    controls->addWidget(uTurn_);
    controls->addWidget(stop_);
    controls->addWidget(pad_);
    controls->addWidget(phone_);
    controls->addStretch(1);
    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(controls);
    column->addWidget(health_);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 2, 6, 2);
    row->addWidget(nameRoom_);
    row->addLayout(column, 1);
    nameBlock_->raise();
}

void FleetPanel::setCarName(const QString& carName) {
    const QString title = carTitle(carName, model_, identifier_);
    if (title == title_) return;
    title_ = title;
    setAccessibleName(title);
    speed_->setAccessibleName(title + QStringLiteral(" speed"));
    lane_->setAccessibleName(title + QStringLiteral(" lane"));
    name_->setText(name_->fontMetrics().elidedText(title, Qt::ElideRight, nameBlock_->width() - 12));
    name_->setToolTip(title);
}

void FleetPanel::keepNameAt(int x) {
    nameOffset_ = x;
    placeNameBlock();
}

void FleetPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    placeNameBlock();
}

void FleetPanel::placeNameBlock() {
    const int frame = frameWidth();
    nameBlock_->setGeometry(frame + nameOffset_, frame, nameRoom_->width(), height() - 2 * frame);
}

PanelWidgets FleetPanel::widgets() const { return {speed_, lane_, middle_, stop_, pad_, uTurn_, phone_, title_}; }
