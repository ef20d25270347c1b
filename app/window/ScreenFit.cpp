#include "app/window/ScreenFit.h"

#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "app/window/WindowSettings.h"

void fitIntoScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) return;
    const QRect room = screen->availableGeometry();
    // What the window manager's frame takes, once it has told (nothing before the first show).
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    window->resize(window->size().boundedTo(room.size() - frame));
    const QRect placed = window->frameGeometry();
    if (!room.contains(placed)) {
        window->move(std::clamp(placed.x(), room.left(), std::max(room.left(), room.right() + 1 - placed.width())),
                     std::clamp(placed.y(), room.top(), std::max(room.top(), room.bottom() + 1 - placed.height())));
    }
}

void placeAsLastTime(QWidget* window) {
    if (!window->restoreGeometry(window_settings::geometry())) {
        window->resize(window->size().expandedTo(QSize(window->sizeHint().width(), 0)));
    }
    fitIntoScreen(window);
}

void rememberPlace(const QWidget* window) { window_settings::setGeometry(window->saveGeometry()); }
