#include "app/LinkLogForwarder.h"

#include <QMetaObject>
#include <QThread>

LinkLogForwarder::LinkLogForwarder(QObject* parent) : QObject(parent) {
    SystemLog::addObserver(this);
}

LinkLogForwarder::~LinkLogForwarder() { SystemLog::removeObserver(this); }

void LinkLogForwarder::logLine(const std::string& line) {
    QString text = QString::fromStdString(line).trimmed();
    if (QThread::currentThread() == thread()) {
        emit lineLogged(text);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, text = std::move(text)] { emit lineLogged(text); }, Qt::QueuedConnection);
}
