// The File menu: Save log (the window's log as one text file, for a bug
// report), Record drive (every command sent and value notified, to a
// JSON-lines file that zelto-drive can replay) and Quit.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdio>
#include <functional>
#include <memory>

class DriveRecorder;
class QAction;
class QMenuBar;
class QWidget;

class FileMenu : public QObject {
    Q_OBJECT

public:
    // The menu goes into `bar`, its dialogs over `window`; `logText` is what
    // Save log writes.
    FileMenu(QMenuBar* bar, QWidget* window, std::function<QString()> logText);
    ~FileMenu() override;

    // Writes the log to a text file, whole or not at all; false, with the
    // system's reason, if it could not be written.
    bool saveLog(const QString& path, QString* reason = nullptr) const;

    // Records to a file from now on; an empty path stops recording. False if
    // the file could not be opened, with the system's reason.
    bool recordDriveTo(const QString& path, QString* reason = nullptr);
    bool recording() const { return recorder_ != nullptr; }

signals:
    void logSaved(const QString& path);
    // The file recorded to now ("" once recording stopped).
    void recordingTo(const QString& fileName);

private:
    void saveLogAs();
    void toggleRecording();

    QPointer<QWidget> window_;
    std::function<QString()> logText_;
    QAction* recordAction_ = nullptr;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> recordFile_{nullptr, &std::fclose};
    std::unique_ptr<DriveRecorder> recorder_;
};
