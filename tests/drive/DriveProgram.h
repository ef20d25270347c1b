// zelto-drive run as a person runs it: arguments, standard input, and what
// comes back (exit status, standard output, standard error). Bounded waits
// only, far beyond what a run takes.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

namespace drive_test {

struct Ran {
    int code = -1;
    QByteArray out, err;
};

inline Ran runDrive(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess program;
    program.start(QStringLiteral(ZELTO_DRIVE_PROGRAM), arguments);
    Ran ran;
    if (!program.waitForStarted(30000)) return ran;
    if (!input.isEmpty()) program.write(input);
    program.closeWriteChannel();
    if (!program.waitForFinished(60000)) {
        program.kill();
        program.waitForFinished(30000);
        return ran;
    }
    ran.code = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    ran.out = program.readAllStandardOutput();
    ran.err = program.readAllStandardError();
    return ran;
}

}  // namespace drive_test
