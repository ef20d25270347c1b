#include "app/VehicleState.h"

#include <cstdint>
#include <limits>

#include "link/Vehicle.h"
#include "link/VehiclesController.h"

QString panelStateText(const VehiclesController& controller, qint64 boundTag) {
    if (boundTag < 0 || boundTag > std::numeric_limits<std::uint32_t>::max()) return {};
    const auto identifier = static_cast<std::uint32_t>(boundTag);
    const std::shared_ptr<Vehicle> vehicle = controller.findVehicleById(identifier);
    const char* state = !vehicle ? "gone" : vehicle->active() ? "driving" : "connecting";
    return QStringLiteral("%1: %2").arg(identifier).arg(QLatin1String(state));
}

QString registryText(const VehiclesController& controller) {
    const std::size_t count = controller.vehicles()->size();
    if (count == 0) return QStringLiteral("No vehicles");
    if (count == 1) return QStringLiteral("1 vehicle");
    return QStringLiteral("%1 vehicles").arg(count);
}
