// A vehicle panel's controls wired to the controller's actions, the same
// for the model panels and the rows of further cars: the sliders and the
// middle button send their actions, U-turn turns the panel's car, Stop sets
// its speed to 0. `refresh` shows at once what a speed move or a stop did.
#pragma once

#include <functional>

#include "app/panels/PanelWidgets.h"

class QObject;
class PanelDriving;

void wirePanelActions(const PanelWidgets& panel, PanelDriving& controller, QObject* context,
                      const std::function<void()>& refresh);
