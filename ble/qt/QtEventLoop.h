// The EventLoop on Qt's event loop: posted tasks run on the thread of the
// loop's QObject (the main thread), each from a fresh turn of the loop.
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include "ble/EventLoop.h"

namespace ble::qt {

class QtEventLoop : public EventLoop {
public:
    QtEventLoop();
    ~QtEventLoop() override;
    void post(Task task) override;
    void postAfter(std::chrono::milliseconds delay, Task task) override;
    std::chrono::milliseconds now() const override;

private:
    // Tasks still queued when the loop object goes away are dropped with it.
    QObject context_;
    QElapsedTimer clock_;
};

}  // namespace ble::qt
