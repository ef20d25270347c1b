#include "app/TaggedSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
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

TaggedSlider::TaggedSlider(QWidget* parent) : TaggedSlider(Qt::Horizontal, parent) {}

TaggedSlider::TaggedSlider(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent) {
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        if (action != SliderNoAction) markMoved();
    });
    connect(this, &QAbstractSlider::valueChanged, this, [this](int) { markMoved(); });
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
    UserInput input(*this);
    QSlider::wheelEvent(event);
}
#endif

void TaggedSlider::timerEvent(QTimerEvent* event) {
    // The base class's auto-repeat (a held click on the groove) steps here.
    UserInput input(*this);
    QSlider::timerEvent(event);
}
