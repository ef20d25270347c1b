#include "drive/Clock.h"

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cmath>

#include "ble/ManualEventLoop.h"

namespace drive {

RealClock::RealClock() { elapsed_.start(); }

double RealClock::nowMs() const { return static_cast<double>(elapsed_.nsecsElapsed()) / 1e6; }

void RealClock::runFor(double ms) {
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(std::max<long long>(0, std::llround(ms))), &loop, &QEventLoop::quit);
    loop.exec();
}

double VirtualClock::nowMs() const { return static_cast<double>(loop_.now().count()); }

void VirtualClock::runFor(double ms) {
    // Whole milliseconds, at least one, so that waiting always moves time on.
    loop_.advance(std::chrono::milliseconds(std::max<long long>(1, std::llround(ms))));
}

}  // namespace drive
