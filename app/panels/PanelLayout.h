// How the model panels are laid out and what their lines show, apart from
// the window that holds them.
#pragma once

#include <vector>

class QFormLayout;
class QLabel;
class QScrollArea;
class QWidget;
class TaggedSlider;

// A line below a model panel's controls for the health of its car's link,
// as tall as the narrowest panel needs, so the panels do not jump.
QLabel* addHealthLine(QFormLayout* form);

// The panels side by side in an area that scrolls them sideways, never down,
// when the window is too narrow: their texts are never cut.
QScrollArea* sideBySide(const std::vector<QWidget*>& panels);

// The label shows the slider's value in the units a person reads.
void showValueOf(TaggedSlider* slider, QLabel* label);

// Tab moves along the widgets in the order given.
void chainTabOrder(const std::vector<QWidget*>& widgets);
