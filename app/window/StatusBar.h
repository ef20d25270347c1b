// The window's status bar: the link's last log line with the car it is
// about (by the name it advertised and its id), a recording under way, how
// many cars are listed and the radio in use. Every line of the link's log
// also goes, with its time, to the Link log view.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class LinkLogForwarder;
class QLabel;
class QPlainTextEdit;
class QStatusBar;
class VehiclesController;

class StatusBar : public QObject {
    Q_OBJECT

public:
    // Listens to the link's log until it is destroyed; `registry` outlives it.
    StatusBar(QStatusBar* bar, QPlainTextEdit* linkLogView, const VehiclesController& registry);
    ~StatusBar() override;

    void showRadio(const QString& description);
    void showRegistry(const QString& text);
    // The last line's place ("Reaching the broker…"); empty clears it.
    void say(const QString& text);
    // "Recording to FILE", or nothing for an empty name.
    void showRecording(const QString& fileName);
    void showSaved(const QString& path);

signals:
    // A line of the link's log was shown: it often tells of a new state.
    void lineShown();

private:
    void showLogLine(const QString& line, const QDateTime& at, qint64 vehicle);
    // The name a car advertised, kept for a while after it went.
    QString carNameOf(std::uint32_t identifier);

    QStatusBar* bar_;
    QPointer<QPlainTextEdit> linkLogView_;
    const VehiclesController& registry_;
    QLabel* radio_;
    QLabel* registryCount_;
    QLabel* lastLogLine_;
    QLabel* recording_;
    LinkLogForwarder* linkLog_;
    // The names cars advertised, by identifier, for the lines about them.
    QHash<std::uint32_t, QString> carNames_;
};
