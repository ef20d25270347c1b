#include "app/window/WindowSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace window_settings {
namespace {

const QString kGeometry = QStringLiteral("window/geometry");
const QString kRadio = QStringLiteral("radio/adapter");
const QString kSimulated = QStringLiteral("simulated");

QString folderKey(const QString& kind) { return QStringLiteral("folders/") + kind; }

}  // namespace

QByteArray geometry() { return QSettings().value(kGeometry).toByteArray(); }

void setGeometry(const QByteArray& geometry) { QSettings().setValue(kGeometry, geometry); }

std::optional<QString> radio() {
    const QString value = QSettings().value(kRadio).toString();
    if (value.isEmpty()) return std::nullopt;
    return value == kSimulated ? QString() : value;
}

void setRadio(const QString& adapterAddress) {
    QSettings().setValue(kRadio, adapterAddress.isEmpty() ? kSimulated : adapterAddress);
}

QString folder(const QString& kind) {
    const QString last = QSettings().value(folderKey(kind)).toString();
    if (!last.isEmpty() && QDir(last).exists()) return last;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void setFolderOf(const QString& kind, const QString& filePath) {
    QSettings().setValue(folderKey(kind), QFileInfo(filePath).absolutePath());
}

}  // namespace window_settings
