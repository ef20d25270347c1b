// A window within the screen it opens on, where it was the last time.
#pragma once

class QWidget;

// Shrinks the window to the screen's available area, frame included once
// the window manager has told it, and moves it back onto the screen.
void fitIntoScreen(QWidget* window);

// Opens where it was in the last run (the first time as wide as it would
// like), within the screen.
void placeAsLastTime(QWidget* window);
// Remembers the window's place for the next run.
void rememberPlace(const QWidget* window);
