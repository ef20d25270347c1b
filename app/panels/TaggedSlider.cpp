#include "app/panels/TaggedSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdint>

// Marks the span of one piece of user input. Whatever the base class does
// inside it (a slider action, a value change) counts as the person's move;
// when the outermost span ends, one action goes out with the settled value.
class TaggedSlider::UserInput {
public:
    explicit UserInput(TaggedSlider& slider) : slider_(slider) { ++slider_.userInputDepth_; }
    ~UserInput() {
        if (--slider_.userInputDepth_ > 0 || !slider_.moved_) return;
        slider_.moved_ = false;
        emit slider_.userMoved(&slider_);
    }
    UserInput(const UserInput&) = delete;
    UserInput& operator=(const UserInput&) = delete;

private:
    TaggedSlider& slider_;
};

// The application's style, except that a left click on the groove jumps there
// instead of paging toward it. A click on the handle grabs it where it is.
class TaggedSlider::ClickJumpsStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        const int base = QProxyStyle::styleHint(hint, option, widget, returnData);
        // QSlider asks without naming itself; this style serves one slider.
        const auto* slider = qobject_cast<const TaggedSlider*>(widget ? widget : parent());
        if (hint == SH_Slider_AbsoluteSetButtons && slider && slider->pressOffHandle_) {
            return base | Qt::LeftButton;
        }
        return base;
    }
};

TaggedSlider::TaggedSlider(QWidget* parent) : TaggedSlider(Qt::Horizontal, parent) {}

TaggedSlider::TaggedSlider(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent) {
    setFocusPolicy(Qt::StrongFocus);
    auto* style = new ClickJumpsStyle;
    style->setParent(this);
    setStyle(style);
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        if (action != SliderNoAction) markMoved();
    });
    connect(this, &QAbstractSlider::valueChanged, this, [this](int value) {
        // A value the program sets is the one it shows its car from then on.
        if (userInputDepth_ == 0) keptValue_ = value;
        markMoved();
    });
}

void TaggedSlider::markMoved() {
    if (userInputDepth_ > 0) moved_ = true;
}

void TaggedSlider::setScale(int scale) { scale_ = std::max(scale, 1); }

float TaggedSlider::floatValue() const {
    return static_cast<float>(value()) / static_cast<float>(scale_);
}

int TaggedSlider::intValue() const {
    // Integer division truncates toward zero and cannot overflow with scale_ >= 1.
    return value() / scale_;
}

void TaggedSlider::setIntValue(int value) {
    const std::int64_t steps = static_cast<std::int64_t>(value) * scale_;
    setValue(static_cast<int>(std::clamp<std::int64_t>(steps, minimum(), maximum())));
}

void TaggedSlider::setFloatValue(float value) {
    if (std::isnan(value)) return;
    const double steps = std::round(static_cast<double>(value) * scale_);
    setValue(static_cast<int>(std::clamp<double>(steps, minimum(), maximum())));
}

void TaggedSlider::keyPressEvent(QKeyEvent* event) {
    UserInput input(*this);
    QSlider::keyPressEvent(event);
}

void TaggedSlider::mousePressEvent(QMouseEvent* event) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    pressOffHandle_ = style()->hitTestComplexControl(QStyle::CC_Slider, &option, event->position().toPoint(),
                                                     this) != QStyle::SC_SliderHandle;
    UserInput input(*this);
    QSlider::mousePressEvent(event);
}

void TaggedSlider::mouseMoveEvent(QMouseEvent* event) {
    UserInput input(*this);
    QSlider::mouseMoveEvent(event);
}

void TaggedSlider::mouseReleaseEvent(QMouseEvent* event) {
    UserInput input(*this);
    QSlider::mouseReleaseEvent(event);
}

#if QT_CONFIG(wheelevent)
void TaggedSlider::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();  // the wheel scrolls whatever holds the slider
        return;
    }
    UserInput input(*this);
    QSlider::wheelEvent(event);
}
#endif

void TaggedSlider::timerEvent(QTimerEvent* event) {
    // The base class's auto-repeat (a held click on the groove) steps here.
    UserInput input(*this);
    QSlider::timerEvent(event);
}
