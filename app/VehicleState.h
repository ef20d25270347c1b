// What a panel's title tells about the vehicle bound to it, and what the
// status bar tells about the registry. For a person's eyes only.
#pragma once

#include <QString>
#include <QtGlobal>

class VehiclesController;

// "" for a panel that was never bound (a negative tag); otherwise
// "<id>: connecting", "<id>: driving" (the link reached SDK mode) or
// "<id>: gone" (the vehicle is no longer in the registry).
QString panelStateText(const VehiclesController& controller, qint64 boundTag);

// "No vehicles", "1 vehicle", "3 vehicles".
QString registryText(const VehiclesController& controller);
