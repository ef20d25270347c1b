#include "LoadMeters.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <algorithm>

namespace load {

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// utime + stime of one process, in seconds.
double cpuOf(const QString& pid) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    // The command name is in parentheses and may hold spaces: count from after it.
    const auto fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return 0;
    return static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

QStringList childrenOf(const QString& pid) {
    QStringList children;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray listed = readAll(tasks + QLatin1Char('/') + task + QStringLiteral("/children"));
        for (const QByteArray& child : listed.split(' ')) {
            if (!child.trimmed().isEmpty()) children << QString::fromLatin1(child.trimmed());
        }
    }
    return children;
}

}  // namespace

long residentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double childrenCpuSeconds() {
    double seconds = 0;
    QStringList pending = childrenOf(QString::number(getpid()));
    while (!pending.isEmpty()) {
        const QString pid = pending.takeFirst();
        seconds += cpuOf(pid);
        pending << childrenOf(pid);
    }
    return seconds;
}

MachineTime machineTime() {
    const QByteArray first = readAll(QStringLiteral("/proc/stat")).split('\n').value(0);
    const auto fields = first.simplified().split(' ');
    MachineTime time;
    // user nice system idle iowait irq softirq steal; guest time is already in user.
    for (qsizetype i = 1; i < std::min<qsizetype>(fields.size(), 9); ++i) {
        const double ticks = static_cast<double>(fields[i].toLongLong());
        time.total += ticks;
        if (i != 4 && i != 5) time.busy += ticks;  // all but idle and iowait
    }
    const double perSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    time.total /= perSecond;
    time.busy /= perSecond;
    return time;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

}  // namespace load
