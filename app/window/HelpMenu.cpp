#include "app/window/HelpMenu.h"

#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QtGlobal>

#if ZELTO_WITH_GAMEPADS
#include <SDL_version.h>
#endif

namespace help {
namespace {

struct Key {
    const char* keys;
    const char* does;
};

const Key kKeys[] = {
    {"Esc", "Stop all"},
    {"Alt+C, Alt+L", "Connect, List"},
    {"Tab, Shift+Tab", "Move focus"},
    {"Space", "Press the focused button"},
    {"Left/Right, Up/Down", "Move the focused slider by 10 (speed) or 1 (lane)"},
    {"Page Up/Down", "Move the focused slider by 100 (speed) or 10 (lane)"},
    {"Home/End", "Move the focused slider to its ends"},
    {"Ctrl+S", "Save log"},
    {"Ctrl+Q", "Quit"},
    {"F1", "This list"},
};

}  // namespace

QString shortcutsText() {
    QString rows;
    for (const Key& key : kKeys) {
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                    .arg(QString::fromLatin1(key.keys).toHtmlEscaped(), QString::fromLatin1(key.does).toHtmlEscaped());
    }
    return QStringLiteral("<table cellspacing=\"6\">%1</table>").arg(rows);
}

QString aboutText() {
    QString sdl = QStringLiteral("not used");
#if ZELTO_WITH_GAMEPADS
    SDL_version linked{};
    SDL_GetVersion(&linked);
    sdl = QStringLiteral("%1.%2.%3").arg(linked.major).arg(linked.minor).arg(linked.patch);
#endif
    return QStringLiteral("<h3>Zelto Panel %1</h3>"
                          "<p>Drives small toy vehicles over Bluetooth Low Energy, or simulated ones.</p>"
                          "<p>Qt %2, SDL %3</p>"
                          "<p>Copyright 2026 The zelto-panel developers</p>")
        .arg(QStringLiteral(ZELTO_VERSION), QString::fromLatin1(qVersion()), sdl);
}

void addHelpMenu(QMainWindow* window) {
    QMenu* menu = window->menuBar()->addMenu(QStringLiteral("&Help"));
    menu->setObjectName(QStringLiteral("helpMenu"));
    QAction* keys = menu->addAction(QStringLiteral("&Keyboard shortcuts"), window, [window] {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Keyboard shortcuts"), shortcutsText(),
                        QMessageBox::Close, window);
        box.exec();
    });
    keys->setObjectName(QStringLiteral("shortcutsAction"));
    keys->setShortcut(QKeySequence(Qt::Key_F1));
    QAction* about = menu->addAction(QStringLiteral("&About Zelto Panel"), window,
                                     [window] { QMessageBox::about(window, QStringLiteral("About Zelto Panel"), aboutText()); });
    about->setObjectName(QStringLiteral("aboutAction"));
}

}  // namespace help
