#include "ble/qt/ManufacturerData.h"

#include <algorithm>

namespace ble::qt {

std::optional<std::vector<uint8_t>> rebuildManufacturerData(
    const QMultiHash<quint16, QByteArray>& byCompany) {
    if (byCompany.isEmpty()) return std::nullopt;
    const QList<quint16> ids = byCompany.uniqueKeys();
    const quint16 id = ids.contains(kVehicleCompanyId)
                           ? kVehicleCompanyId
                           : *std::min_element(ids.begin(), ids.end());
    // With the same id twice, Qt's own look-up answers with the latest value.
    const QByteArray data = byCompany.value(id);
    const auto length = static_cast<std::size_t>(data.size());
    if (length > kMaxManufacturerDataLength - 2) return std::nullopt;

    std::vector<uint8_t> whole;
    whole.reserve(length + 2);
    whole.push_back(static_cast<uint8_t>(id & 0xff));
    whole.push_back(static_cast<uint8_t>(id >> 8));
    whole.insert(whole.end(), data.begin(), data.end());
    return whole;
}

}  // namespace ble::qt
