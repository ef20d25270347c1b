// A link's health as JSON, the figures the window's panels show.
#pragma once

#include <QJsonObject>

#include "link/LinkHealth.h"

namespace drive {

// {"name", "adapter", "rssi" (null when unknown), "sinceHeardMs" (null before
// anything was heard), "silent", "notificationsPerSecond", "notifications",
// "sent", "superseded", "failed"}.
QJsonObject healthJson(const LinkHealth& health);

}  // namespace drive
