// Hands the vehicle link's log lines to the window as a Qt signal, on the
// window's thread whichever thread wrote the line, with the time it was
// written and the vehicle it is about. Registered with the system log for as
// long as it lives.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <string>

#include "link/SystemLog.h"

class LinkLogForwarder : public QObject, public LogObserver {
    Q_OBJECT

public:
    explicit LinkLogForwarder(QObject* parent = nullptr);
    ~LinkLogForwarder() override;

    void logLine(const std::string& line) override;

signals:
    // `vehicle` is the identifier the line is about, or -1 when the link
    // did not say.
    void lineLogged(const QString& line, const QDateTime& at, qint64 vehicle);
};
