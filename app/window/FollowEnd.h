// Keeps a text view scrolled to its end as lines arrive, but only while it
// shows its end: a person who scrolled up to read keeps their place, and
// scrolling back to the end resumes following.
#pragma once

class QAbstractScrollArea;

void followEndWhileShown(QAbstractScrollArea* view);
