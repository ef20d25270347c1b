#include "app/window/FollowEnd.h"

#include <QFontDatabase>
#include <QPlainTextEdit>

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <memory>

void followEndWhileShown(QAbstractScrollArea* view) {
    QScrollBar* bar = view->verticalScrollBar();
    // "At the end" is judged when the text grows, against the end as it was
    // before: however the reader moved (wheel, drag, Page Up, a click in the
    // trough, keys, some of which Qt moves without a valueChanged), only a
    // view that showed the end follows.
    auto lastMaximum = std::make_shared<int>(bar->maximum());
    QObject::connect(bar, &QAbstractSlider::rangeChanged, bar, [bar, lastMaximum](int, int maximum) {
        const bool following = bar->value() >= *lastMaximum;
        *lastMaximum = maximum;
        if (following) bar->setValue(maximum);
    });
}

void setUpLogView(QPlainTextEdit* view, const QString& name) {
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    followEndWhileShown(view);
    view->setAccessibleName(name);
}
