// Keeps a text view scrolled to its end as lines arrive, but only while it
// shows its end: a person who scrolled up to read keeps their place, and
// scrolling back to the end resumes following.
#pragma once

#include <QString>

class QAbstractScrollArea;
class QPlainTextEdit;

void followEndWhileShown(QAbstractScrollArea* view);

// A log view as the window shows one: fixed-width, following its end while
// shown, and named for screen readers.
void setUpLogView(QPlainTextEdit* view, const QString& name);
