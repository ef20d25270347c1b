// The slider sends its action for a person's moves only, once per move, and
// reads its whole-number position as a float and a truncated int without
// ever leaving defined behaviour.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "app/panels/TaggedSlider.h"

namespace {

// Exposes where the style draws the handle, to grab it with the mouse.
class ProbeSlider : public TaggedSlider {
public:
    ProbeSlider() : TaggedSlider(Qt::Horizontal) {}
    QRect handle() const {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    }
};

class TaggedSliderTest : public ::testing::Test {
protected:
    TaggedSliderTest() {
        slider_.setRange(0, 2000);  // 0 to 1000 in halves, like a speed slider
        slider_.setScale(2);
        slider_.setSingleStep(20);
        slider_.setPageStep(200);
        slider_.resize(400, 30);
        slider_.show();
        QObject::connect(&slider_, &TaggedSlider::userMoved, [this](TaggedSlider* sender) {
            EXPECT_EQ(sender, &slider_);
            seen_.push_back(sender->value());
        });
    }

    void sendMove(QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, slider_.mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&slider_, &move);
    }

    ProbeSlider slider_;
    std::vector<int> seen_;  // the value at each action
};

struct KeyCase {
    Qt::Key key;
    int before;
    int after;
};

class SliderKeyTest : public TaggedSliderTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(SliderKeyTest, OneKeyPressSendsOneActionWithTheNewValue) {
    slider_.setValue(GetParam().before);
    QTest::keyClick(&slider_, GetParam().key);
    EXPECT_EQ(seen_, std::vector<int>{GetParam().after});
}

INSTANTIATE_TEST_SUITE_P(
    ArrowsPagesEnds, SliderKeyTest,
    ::testing::Values(KeyCase{Qt::Key_Up, 1000, 1020}, KeyCase{Qt::Key_Right, 1000, 1020},
                      KeyCase{Qt::Key_Down, 1000, 980}, KeyCase{Qt::Key_Left, 1000, 980},
                      KeyCase{Qt::Key_PageUp, 1000, 1200}, KeyCase{Qt::Key_PageDown, 1000, 800},
                      KeyCase{Qt::Key_Home, 1000, 0}, KeyCase{Qt::Key_End, 1000, 2000},
                      // At an end the key still is one move of the person's:
                      // one action, with the value where it stands.
                      KeyCase{Qt::Key_Up, 2000, 2000}, KeyCase{Qt::Key_PageDown, 0, 0},
                      // Part of a step is bounded by the range.
                      KeyCase{Qt::Key_PageUp, 1900, 2000}));

TEST_F(TaggedSliderTest, KeysThatAreNoSliderMoveSendNothing) {
    QTest::keyClick(&slider_, Qt::Key_A);
    QTest::keyClick(&slider_, Qt::Key_Tab);
    QTest::keyClick(&slider_, Qt::Key_Space);
    EXPECT_TRUE(seen_.empty());
}

TEST_F(TaggedSliderTest, ValuesSetByTheProgramSendNothing) {
    slider_.setValue(10);
    slider_.setIntValue(300);
    slider_.setFloatValue(12.5f);
    slider_.setSliderPosition(40);  // a tracked position change, still the program's
    slider_.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    slider_.setRange(100, 200);  // pulls the value into the new range
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(slider_.value(), 100);
}

TEST_F(TaggedSliderTest, DraggingTheHandleSendsEachNewPositionAndNothingOnRelease) {
    slider_.setValue(0);
    const QPoint grab = slider_.handle().center();
    QTest::mousePress(&slider_, Qt::LeftButton, Qt::NoModifier, grab);
    EXPECT_TRUE(seen_.empty()) << "grabbing the handle moves nothing";

    sendMove(grab + QPoint(50, 0));
    sendMove(grab + QPoint(100, 0));
    sendMove(grab + QPoint(100, 3));  // no new position along the groove
    ASSERT_EQ(seen_.size(), 2u);
    EXPECT_GT(seen_[0], 0);
    EXPECT_GT(seen_[1], seen_[0]);

    QTest::mouseRelease(&slider_, Qt::LeftButton, Qt::NoModifier, grab + QPoint(100, 3));
    EXPECT_EQ(seen_.size(), 2u);
    EXPECT_EQ(slider_.value(), seen_[1]);
}

TEST_F(TaggedSliderTest, AClickOnTheGrooveJumpsThereWithOneAction) {
    struct Case {
        double along;  // of the slider's width
        int low, high;
    };
    for (const Case c : {Case{0.99, 1900, 2000}, Case{0.5, 900, 1100}, Case{0.01, 0, 100}}) {
        slider_.setValue(c.along < 0.5 ? 2000 : 0);
        seen_.clear();
        const QPoint at(static_cast<int>(slider_.width() * c.along), slider_.height() / 2);
        QTest::mouseClick(&slider_, Qt::LeftButton, Qt::NoModifier, at);
        ASSERT_EQ(seen_.size(), 1u) << c.along;
        EXPECT_GE(seen_[0], c.low) << c.along;
        EXPECT_LE(seen_[0], c.high) << c.along;
    }
}

TEST_F(TaggedSliderTest, TheWheelMovesTheSliderOnlyWhileItHasFocus) {
    slider_.setValue(1000);
    const QPoint at = slider_.rect().center();
    QWheelEvent wheel(at, slider_.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&slider_, &wheel);
    EXPECT_TRUE(seen_.empty());
    EXPECT_FALSE(wheel.isAccepted()) << "the wheel goes on to what holds the slider";
    EXPECT_EQ(slider_.value(), 1000);

    slider_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&slider_));
    slider_.setFocus();
    ASSERT_TRUE(slider_.hasFocus());
    QWheelEvent again(at, slider_.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&slider_, &again);
    ASSERT_EQ(seen_.size(), 1u);
    EXPECT_NE(seen_[0], 1000);
}

struct ValueCase {
    int position;
    float floatValue;
    int intValue;
};

class SliderValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(SliderValueTest, FloatIsPositionOverScaleAndIntTruncatesTowardZero) {
    TaggedSlider slider;
    slider.setRange(INT_MIN, INT_MAX);
    slider.setScale(2);
    slider.setValue(GetParam().position);
    EXPECT_EQ(slider.floatValue(), GetParam().floatValue);
    EXPECT_EQ(slider.intValue(), GetParam().intValue);
}

INSTANTIATE_TEST_SUITE_P(
    HalfSteps, SliderValueTest,
    ::testing::Values(ValueCase{601, 300.5f, 300}, ValueCase{40, 20.0f, 20},
                      ValueCase{41, 20.5f, 20}, ValueCase{-41, -20.5f, -20},
                      ValueCase{-1, -0.5f, 0}, ValueCase{1, 0.5f, 0}, ValueCase{0, 0.0f, 0},
                      ValueCase{INT_MAX, 1073741824.0f, 1073741823},
                      ValueCase{INT_MIN, -1073741824.0f, -1073741824}));

TEST(TaggedSliderSetters, WholeAndFloatValuesAreBoundedToTheRange) {
    TaggedSlider lane;
    lane.setRange(-140, 140);
    lane.setScale(2);
    lane.setIntValue(INT_MAX);
    EXPECT_EQ(lane.value(), 140);
    lane.setIntValue(INT_MIN);
    EXPECT_EQ(lane.value(), -140);
    lane.setIntValue(20);
    EXPECT_EQ(lane.floatValue(), 20.0f);
    lane.setFloatValue(std::numeric_limits<float>::infinity());
    EXPECT_EQ(lane.value(), 140);
    lane.setFloatValue(-std::numeric_limits<float>::infinity());
    EXPECT_EQ(lane.value(), -140);
    lane.setFloatValue(-12.5f);
    EXPECT_EQ(lane.floatValue(), -12.5f);
    lane.setFloatValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(lane.floatValue(), -12.5f) << "NaN leaves the slider where it is";
    lane.setFloatValue(3.3f);
    EXPECT_EQ(lane.floatValue(), 3.5f) << "the nearest half step";
}

TEST(TaggedSliderSetters, ScaleIsAtLeastOneAndTagsHoldSixtyFourBits) {
    TaggedSlider slider;
    slider.setScale(0);
    EXPECT_EQ(slider.scale(), 1);
    slider.setScale(-3);
    EXPECT_EQ(slider.scale(), 1);
    slider.setTag(4000000000);
    EXPECT_EQ(slider.tag(), 4000000000);
    slider.setTag(std::numeric_limits<qint64>::min());
    EXPECT_EQ(slider.tag(), std::numeric_limits<qint64>::min());
}

}  // namespace
