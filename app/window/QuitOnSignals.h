// SIGINT, SIGTERM and SIGHUP (Ctrl+C in the terminal, `kill`, the end of a
// session) quit the program the way Ctrl+Q does, on Qt's event loop: the
// handler only writes a byte into a pipe that the loop reads.
#pragma once

#include <functional>

class QObject;

// Installs the handlers; `quit` runs on the loop of `context`'s thread at each
// signal until `context` is gone.
void quitOnSignals(QObject* context, std::function<void()> quit);
