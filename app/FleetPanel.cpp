#include "app/FleetPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/HealthText.h"
#include "app/PanelTags.h"
#include "app/TaggedButton.h"
#include "app/TaggedSlider.h"
#include "app/TextForms.h"

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
    auto show = [slider, label] { label->setText(QString::fromStdString(textforms::floatText(slider->floatValue()))); };
    QObject::connect(slider, &QAbstractSlider::valueChanged, label, show);
    show();
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

FleetPanel::FleetPanel(std::uint32_t identifier, std::uint8_t model, qint64 middleTag, QWidget* parent)
    : QFrame(parent),
      speed_(new TaggedSlider(Qt::Horizontal, this)),
      lane_(new TaggedSlider(Qt::Horizontal, this)),
      middle_(new TaggedButton(this)),
      uTurn_(new QPushButton(this)),
      stop_(new QPushButton(this)),
      state_(new QLabel(this)),
      health_(new QLabel(this)),
      pad_(new QLabel(this)),
      phone_(new QLabel(this)) {
    setObjectName(QStringLiteral("fleetPanel%1").arg(identifier));
    setFrameShape(QFrame::StyledPanel);
    const QString title = QStringLiteral("%1 %2").arg(modelName(model)).arg(identifier);
    title_ = title;
    setAccessibleName(title);

    auto* name = new QLabel(title, this);
    name->setToolTip(QStringLiteral("Model %1, vehicle id %2 (%3)")
                         .arg(model)
                         .arg(identifier)
                         .arg(QStringLiteral("0x%1").arg(identifier, 8, 16, QLatin1Char('0'))));
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    // One width for every row, so that the columns line up.
    name->setFixedWidth(QFontMetrics(bold).horizontalAdvance(QStringLiteral("Model 255 4294967295")) + 4);

    shapeSpeed(speed_);
    shapeLane(lane_);
    speed_->setTag(identifier);
    lane_->setTag(identifier);
    speed_->setAccessibleName(title + QStringLiteral(" speed"));
    lane_->setAccessibleName(title + QStringLiteral(" lane"));
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
    health_->setMinimumWidth(1);  // a long line is cut, never widens the window

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 2, 6, 2);
    row->addWidget(name);
    row->addWidget(state_);
    auto* speedLabel = new QLabel(QStringLiteral("Speed"), this);
    speedLabel->setBuddy(speed_);
    row->addWidget(speedLabel);
    row->addWidget(speed_, 3);
    row->addWidget(valueLabel(speed_, this));
    auto* laneLabel = new QLabel(QStringLiteral("Lane"), this);
    laneLabel->setBuddy(lane_);
    row->addWidget(laneLabel);
    row->addWidget(lane_, 2);
    row->addWidget(valueLabel(lane_, this));
    row->addWidget(middle_);
    row->addWidget(uTurn_);
    row->addWidget(stop_);
    row->addWidget(pad_);
    row->addWidget(phone_);
    row->addWidget(health_, 10);
}

PanelWidgets FleetPanel::widgets() const { return {speed_, lane_, middle_, stop_, pad_, uTurn_, phone_, title_}; }
