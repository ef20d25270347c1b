// The application's delegate: told when the program has launched and when it
// is about to end, and doing nothing on either. The program sends nothing to
// the vehicles and closes nothing itself on the way out.
#pragma once

#include <QObject>

class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(QObject* parent = nullptr);

public slots:
    void applicationDidFinishLaunching();
    void applicationWillTerminate();

private:
    void nothingToDo();
};
