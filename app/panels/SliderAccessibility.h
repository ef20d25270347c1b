// Screen readers hear a slider's value in the units the window shows (speed
// 0 to 1000, lane -70 to 70, in steps of 0.5), not its raw steps.
#pragma once

// Installs the accessibility factory for the window's sliders; once is enough.
void installSliderAccessibility();
