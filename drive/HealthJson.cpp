#include "drive/HealthJson.h"

#include <QString>

#include "link/LinkText.h"

namespace drive {

QJsonObject healthJson(const LinkHealth& health) {
    const auto count = [](std::uint64_t n) { return QJsonValue(static_cast<double>(n)); };
    QJsonObject figures{
        {"name", QString::fromStdString(link_text::safe(health.name))},
        {"adapter", QString::fromStdString(health.adapter)},
        {"rssi", health.rssi ? QJsonValue(*health.rssi) : QJsonValue()},
        {"sinceHeardMs",
         health.sinceHeard ? QJsonValue(static_cast<double>(health.sinceHeard->count())) : QJsonValue()},
        {"silent", health.silent()},
        {"notificationsPerSecond", health.notificationsPerSecond},
        {"notifications", count(health.notifications)},
        {"sent", count(health.commandsSent)},
        {"superseded", count(health.commandsSuperseded)},
        {"failed", count(health.writesFailed)},
    };
    return figures;
}

}  // namespace drive
