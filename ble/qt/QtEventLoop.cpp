#include "ble/qt/QtEventLoop.h"

#include <QMetaObject>
#include <QTimer>

namespace ble::qt {

QtEventLoop::QtEventLoop() { clock_.start(); }

QtEventLoop::~QtEventLoop() = default;

void QtEventLoop::post(Task task) {
    QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
}

void QtEventLoop::postAfter(std::chrono::milliseconds delay, Task task) {
    if (delay.count() <= 0) {
        post(std::move(task));
        return;
    }
    QTimer::singleShot(delay, &context_, std::move(task));
}

std::chrono::milliseconds QtEventLoop::now() const {
    return std::chrono::milliseconds(clock_.elapsed());
}

}  // namespace ble::qt
