// Screen readers hear a slider's value in the units the window shows (speed
// 0 to 1000, lane -70 to 70, in steps of 0.5), not its raw steps.
#pragma once

// Installs the accessibility factory for the window's sliders; once is enough.
void installSliderAccessibility();

// Placeholder texts in the window at 7:1 against white, well past the 4.5:1
// text needs.
class QWidget;
void makePlaceholdersReadable(QWidget* window);
