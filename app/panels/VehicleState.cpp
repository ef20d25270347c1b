#include "app/panels/VehicleState.h"

#include "app/panels/PanelTags.h"
#include "ble/mqtt/Wire.h"
#include "link/LinkText.h"
#include "link/Vehicle.h"
#include "link/VehiclesController.h"

using paneltags::identifierOfTag;

PanelStatus panelStatus(const VehiclesController& controller, qint64 boundTag) {
    const std::optional<std::uint32_t> identifier = identifierOfTag(boundTag);
    if (!identifier) return {};
    const std::shared_ptr<Vehicle> vehicle = controller.findVehicleById(*identifier);
    if (!vehicle) return {PanelStatus::Link::Gone, std::nullopt, controller.linkEndOf(*identifier)};
    if (!vehicle->active()) return {PanelStatus::Link::Connecting, vehicle->firmwareVersion()};
    const auto link = vehicle->commandedSpeed() > 0 ? PanelStatus::Link::Moving : PanelStatus::Link::Ready;
    return {link, vehicle->firmwareVersion()};
}

QString linkText(PanelStatus::Link link) {
    switch (link) {
        case PanelStatus::Link::Unbound: return {};
        case PanelStatus::Link::Connecting: return QStringLiteral("Connecting\u2026");
        case PanelStatus::Link::Ready: return QStringLiteral("Ready");
        case PanelStatus::Link::Moving: return QStringLiteral("Moving");
        case PanelStatus::Link::Gone: return QStringLiteral("Gone");
    }
    return {};
}

namespace {

bool lostWithItsBroker(const PanelStatus& status) {
    return status.link == PanelStatus::Link::Gone && ble::mqtt::wire::isBrokerLostEnd(status.ended);
}

}  // namespace

QString stateText(const PanelStatus& status) {
    return lostWithItsBroker(status) ? QStringLiteral("Broker lost") : linkText(status.link);
}

QString stateReason(const PanelStatus& status) {
    return lostWithItsBroker(status) ? QString::fromStdString(status.ended) : QString();
}

QString firmwareText(std::optional<std::uint16_t> firmware) {
    if (!firmware) return {};
    return QStringLiteral("Firmware 0x%1").arg(*firmware, 4, 16, QLatin1Char('0'));
}

QString hexIdentifierText(qint64 boundTag) {
    const std::optional<std::uint32_t> identifier = identifierOfTag(boundTag);
    if (!identifier) return {};
    return QString::fromStdString(link_text::identifierText(*identifier));
}

QString registryText(const VehiclesController& controller) {
    const std::size_t count = controller.vehicles()->size();
    if (count == 0) return QStringLiteral("No vehicles");
    if (count == 1) return QStringLiteral("1 vehicle");
    return QStringLiteral("%1 vehicles").arg(count);
}
