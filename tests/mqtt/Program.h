// zelto-drive running beside the test: its lines as they come, waited for
// with bounds, and a kill by signal.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTest>
#include <csignal>
#include <functional>

namespace mqtt_test {

class Program {
public:
    explicit Program(const QStringList& arguments, const QByteArray& input = {}) {
        process_.start(QStringLiteral(ZELTO_DRIVE_PROGRAM), arguments);
        process_.waitForStarted(30000);
        if (!input.isEmpty()) process_.write(input);
        process_.closeWriteChannel();
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(30000);
        }
    }

    QStringList out() { return lines(out_, process_.readAllStandardOutput()); }
    QStringList err() { return lines(err_, process_.readAllStandardError()); }
    // Lines of standard output that hold `text`.
    int count(const QString& text) { return out().filter(text).size(); }
    bool waitFor(const std::function<bool()>& condition, int ms = 30000) { return QTest::qWaitFor(condition, ms); }
    bool waitForOut(const QString& text, int times = 1) {
        return waitFor([&] { return count(text) >= times; });
    }
    bool waitForErr(const QString& text) {
        return waitFor([&] { return !err().filter(text).isEmpty(); });
    }
    // The exit status, or -1 if it did not end in time (or by a signal).
    int finish(int ms = 60000) {
        if (!waitFor([this] { return process_.state() == QProcess::NotRunning; }, ms)) return -1;
        out();
        err();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    // Only while it runs: a pid of 0 would signal the test's own group.
    void signal(int number) {
        const auto pid = static_cast<pid_t>(process_.processId());
        if (process_.state() != QProcess::NotRunning && pid > 0) ::kill(pid, number);
    }

private:
    static QStringList lines(QByteArray& kept, const QByteArray& more) {
        kept += more;
        return QString::fromUtf8(kept).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QProcess process_;
    QByteArray out_, err_;
};

}  // namespace mqtt_test
