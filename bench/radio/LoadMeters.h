// What a bench run costs, for the radio benches: this process's CPU, its
// children's (the mock BlueZ), how busy the whole machine was, percentiles
// of what was measured, and the worst gap of Qt's loop; and a wait in Qt's
// loop that costs nothing of its own.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace load {

double processCpuSeconds();
// This process's resident memory (VmRSS), -1 where /proc does not say.
long residentKilobytes();
// The CPU of this process's children and theirs.
double childrenCpuSeconds();

// The machine's CPU time, busy and in all, from /proc/stat (seconds over every core).
struct MachineTime {
    double busy = 0;
    double total = 0;
};
MachineTime machineTime();

double percentile(std::vector<double> values, double p);

// The largest interval between the ticks of a short timer.
class LoopWatch {
public:
    explicit LoopWatch(int periodMs) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            worst_ = std::max(worst_, now - last_);
            last_ = now;
        });
        clock_.start();
        timer_.start(periodMs);
    }
    double worstGapMs() const { return static_cast<double>(worst_) / 1e6; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

// Runs Qt's loop until `done` holds (checked every `pollMs`) or `ms` pass,
// never spinning, so that the CPU a bench reads is the program's.
template <typename Done>
bool waitFor(Done done, int ms, int pollMs = 10) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    poll.start(pollMs);
    if (!done()) loop.exec();
    return done();
}

}  // namespace load
