// A panel's sliders moved for its person by another hand (a gamepad, a
// phone): the slider goes to the step and sends its action, as the same
// move by hand would; a move too small for the slider sends nothing.
#pragma once

#include <functional>

class TaggedSlider;
class PanelDriving;

// True when the slider moved and its car was sent the new speed.
bool moveSpeedSlider(TaggedSlider* slider, int step, PanelDriving* controller, const std::function<void()>& refresh);
bool moveLaneSlider(TaggedSlider* slider, int step, PanelDriving* controller);
// The slider's step nearest a value in the units it shows, within its range.
int stepOfValue(const TaggedSlider& slider, double value);
