#include "ble/UuidFilter.h"

#include <algorithm>

namespace ble {

bool filterPasses(const std::vector<Uuid>& filter, const Uuid& uuid) {
    return filter.empty() || std::find(filter.begin(), filter.end(), uuid) != filter.end();
}

bool filterPassesAny(const std::vector<Uuid>& filter, const std::vector<Uuid>& advertised) {
    if (filter.empty()) return true;
    return std::any_of(advertised.begin(), advertised.end(),
                       [&filter](const Uuid& uuid) { return std::find(filter.begin(), filter.end(), uuid) != filter.end(); });
}

}  // namespace ble
