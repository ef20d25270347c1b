#include "app/FollowEnd.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <memory>

void followEndWhileShown(QAbstractScrollArea* view) {
    QScrollBar* bar = view->verticalScrollBar();
    auto following = std::make_shared<bool>(true);
    // A growing range leaves the value where it was, so "at the end" is
    // judged before the growth and restored after it.
    QObject::connect(bar, &QAbstractSlider::valueChanged, bar,
                     [bar, following](int value) { *following = value >= bar->maximum(); });
    QObject::connect(bar, &QAbstractSlider::rangeChanged, bar, [bar, following](int, int maximum) {
        if (*following) bar->setValue(maximum);
    });
}
