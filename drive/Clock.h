// The time a drive runs on: the wall clock with Qt's loop working in between,
// or the simulated radio's virtual time, where an hour passes in a moment.
#pragma once

#include <QElapsedTimer>

namespace ble {
class ManualEventLoop;
}

namespace drive {

class DriveClock {
public:
    virtual ~DriveClock() = default;
    virtual double nowMs() const = 0;
    // Lets the radio and the link work for that long.
    virtual void runFor(double ms) = 0;
};

class RealClock : public DriveClock {
public:
    RealClock();
    double nowMs() const override;
    void runFor(double ms) override;

private:
    QElapsedTimer elapsed_;
};

class VirtualClock : public DriveClock {
public:
    explicit VirtualClock(ble::ManualEventLoop& loop) : loop_(loop) {}
    double nowMs() const override;
    void runFor(double ms) override;

private:
    ble::ManualEventLoop& loop_;
};

}  // namespace drive
