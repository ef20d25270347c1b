#include "app/window/LinkLogForwarder.h"

#include <QMetaObject>
#include <QThread>

LinkLogForwarder::LinkLogForwarder(QObject* parent) : QObject(parent) {
    SystemLog::addObserver(this);
}

LinkLogForwarder::~LinkLogForwarder() { SystemLog::removeObserver(this); }

void LinkLogForwarder::logLine(const std::string& line) {
    QString text = QString::fromStdString(line).trimmed();
    const QDateTime at = QDateTime::currentDateTime();
    const std::optional<std::uint32_t> about = SystemLog::vehicleOfLine();
    const qint64 vehicle = about ? static_cast<qint64>(*about) : -1;
    if (QThread::currentThread() == thread()) {
        emit lineLogged(text, at, vehicle);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, text = std::move(text), at, vehicle] { emit lineLogged(text, at, vehicle); },
        Qt::QueuedConnection);
}
