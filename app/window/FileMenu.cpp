#include "app/window/FileMenu.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QTextStream>
#include <cerrno>
#include <cstring>

#include "app/window/WindowSettings.h"
#include "link/DriveRecorder.h"

namespace {

// "drive-20261209-061500.jsonl": a name a save dialog offers.
QString stampedFileName(const QString& stem, const QString& suffix) {
    return QStringLiteral("%1-%2.%3")
        .arg(stem, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")), suffix);
}

// A file dialog that starts in the folder used last for `kind`, and remembers it.
QString askForFile(QWidget* window, const QString& title, const QString& kind, const QString& suggested,
                   const QString& filter) {
    const QString start = QDir(window_settings::folder(kind)).filePath(suggested);
    const QString path = QFileDialog::getSaveFileName(window, title, start, filter);
    if (!path.isEmpty()) window_settings::setFolderOf(kind, path);
    return path;
}

void tellWhyNotWritten(QWidget* window, const QString& title, const QString& path, const QString& reason) {
    QMessageBox::warning(window, title,
                         QStringLiteral("Could not write %1: %2").arg(QDir::toNativeSeparators(path), reason));
}

}  // namespace

FileMenu::FileMenu(QMenuBar* bar, QWidget* window, std::function<QString()> logText)
    : QObject(window), window_(window), logText_(std::move(logText)) {
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QAction* save = file->addAction(QStringLiteral("&Save log\u2026"), this, &FileMenu::saveLogAs);
    save->setObjectName(QStringLiteral("saveLogAction"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    recordAction_ = file->addAction(QStringLiteral("&Record drive\u2026"), this, &FileMenu::toggleRecording);
    recordAction_->setObjectName(QStringLiteral("recordDriveAction"));
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"), window, &QWidget::close);
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

FileMenu::~FileMenu() = default;

bool FileMenu::saveLog(const QString& path, QString* reason) const {
    // Written whole or not at all: a failed save leaves an older log as it was.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream out(&file);
        out << logText_();
        out.flush();
        if (file.commit()) return true;
    }
    if (reason) *reason = file.errorString();
    return false;
}

void FileMenu::saveLogAs() {
    const QString path = askForFile(window_, QStringLiteral("Save log"), QStringLiteral("log"),
                                    stampedFileName(QStringLiteral("zelto-panel"), QStringLiteral("log")),
                                    QStringLiteral("Text files (*.log *.txt)"));
    if (path.isEmpty()) return;
    QString reason;
    if (saveLog(path, &reason)) {
        emit logSaved(path);
    } else {
        tellWhyNotWritten(window_, QStringLiteral("Save log"), path, reason);
    }
}

bool FileMenu::recordDriveTo(const QString& path, QString* reason) {
    recorder_.reset();
    recordFile_.reset();
    if (!path.isEmpty()) {
        recordFile_.reset(std::fopen(QFile::encodeName(path).constData(), "w"));
        if (!recordFile_) {
            if (reason) *reason = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        // The recording's time starts at its first line, not when the file was chosen.
        auto started = std::make_shared<QElapsedTimer>();
        recorder_ = std::make_unique<DriveRecorder>(recordFile_.get(), [started] {
            if (!started->isValid()) started->start();
            return static_cast<double>(started->nsecsElapsed()) / 1e6;
        });
    }
    recordAction_->setText(recording() ? QStringLiteral("Stop &recording") : QStringLiteral("&Record drive\u2026"));
    emit recordingTo(recording() ? QFileInfo(path).fileName() : QString());
    return path.isEmpty() || recording();
}

void FileMenu::toggleRecording() {
    if (recording()) {
        recordDriveTo(QString());
        return;
    }
    const QString path = askForFile(window_, QStringLiteral("Record drive"), QStringLiteral("recording"),
                                    stampedFileName(QStringLiteral("drive"), QStringLiteral("jsonl")),
                                    QStringLiteral("Drive recordings (*.jsonl)"));
    if (path.isEmpty()) return;
    QString reason;
    if (!recordDriveTo(path, &reason)) tellWhyNotWritten(window_, QStringLiteral("Record drive"), path, reason);
}
