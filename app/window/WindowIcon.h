// The program's icon for its window: the installed one where the desktop
// has it, else the same picture (packaging/org.zelto.Panel.svg) drawn here,
// since the window cannot count on an SVG renderer.
#pragma once

#include <QIcon>

QIcon programIcon();
