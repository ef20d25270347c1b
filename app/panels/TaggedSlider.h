// A slider that carries a float value and a signed 64-bit tag, and sends its
// action (userMoved) only for a person's moves: a key press, a click, a drag
// step, a wheel turn, an auto-repeat step. A value set by the program sends
// nothing.
//
// QSlider holds whole numbers; this one reads them as value / scale, so a
// scale of 2 gives steps of 0.5 (601 reads as 300.5). Drags send while the
// handle moves (tracking is on).
//
// No accidental moves: the slider takes keys and the wheel only while it has
// focus (a wheel over an unfocused slider scrolls what is around it), and a
// click on the groove puts the handle where the click is.
#pragma once

#include <QSlider>
#include <QtGlobal>

class TaggedSlider : public QSlider {
    Q_OBJECT
    Q_PROPERTY(qint64 tag READ tag WRITE setTag)
    Q_PROPERTY(int scale READ scale WRITE setScale)

public:
    explicit TaggedSlider(QWidget* parent = nullptr);
    explicit TaggedSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

    qint64 tag() const { return tag_; }
    void setTag(qint64 tag) { tag_ = tag; }

    // Steps per unit; at least 1.
    int scale() const { return scale_; }
    void setScale(int scale);

    float floatValue() const;
    // The value truncated toward zero to a whole number.
    int intValue() const;
    // Moves the slider to a whole value, bounded to its range, without
    // sending the action.
    void setIntValue(int value);
    // Moves the slider to the step nearest the value, bounded to its range,
    // without sending the action. NaN leaves the slider where it is.
    void setFloatValue(float value);

    // The slider shows only what its car was sent: a move that reached the
    // car is kept, one that reached none goes back to the value kept last
    // (set by the program, or kept after a move that reached its car).
    void keepValue() { keptValue_ = value(); }
    void restoreKeptValue() { setValue(keptValue_); }

signals:
    // The person moved the slider: once per key press, click, drag step,
    // wheel turn or auto-repeat step, after the value has settled.
    void userMoved(TaggedSlider* sender);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
#if QT_CONFIG(wheelevent)
    void wheelEvent(QWheelEvent* event) override;
#endif
    void timerEvent(QTimerEvent* event) override;

private:
    class UserInput;
    class ClickJumpsStyle;
    void markMoved();
    int keptValue_ = 0;

    qint64 tag_ = 0;
    int scale_ = 1;
    int userInputDepth_ = 0;
    bool moved_ = false;
    bool pressOffHandle_ = false;
};
