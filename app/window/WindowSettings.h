// What the window remembers between runs, in the platform's usual place for
// settings (on Linux ~/.config/zelto/zelto-panel.conf): its geometry, the
// radio chosen last, and the last folders of Save log and Record drive.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace window_settings {

QByteArray geometry();
void setGeometry(const QByteArray& geometry);

// The radio chosen last: an adapter's address, or empty for the simulated
// vehicles; none before the person chose one.
std::optional<QString> radio();
void setRadio(const QString& adapterAddress);

// The folder a file dialog of that kind ("log", "recording") starts in: the
// last one used, else the Documents folder.
QString folder(const QString& kind);
void setFolderOf(const QString& kind, const QString& filePath);

}  // namespace window_settings
