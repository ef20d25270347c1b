// The manufacturer data of an advertisement as it was on the air, rebuilt
// from what Qt reports.
//
// BlueZ keys manufacturer data by company id, the little-endian 16-bit value of
// the field's first two bytes, and Qt passes on only the bytes after them. The
// link wants the whole data part, so the two id bytes go back in front: id 0xEFBE
// with 00 09 12 34 56 78 gives BE EF 00 09 12 34 56 78.
#pragma once

#include <QByteArray>
#include <QMultiHash>
#include <cstdint>
#include <optional>
#include <vector>

namespace ble::qt {

// The company id that vehicles' data carries (their bytes BE EF, read
// little-endian as BlueZ reads them).
inline constexpr quint16 kVehicleCompanyId = 0xEFBE;

// An advertising field's length byte counts its type byte and its data, so the
// data part, company id included, is at most 254 bytes.
inline constexpr std::size_t kMaxManufacturerDataLength = 254;

// With several company ids the vehicles' one is taken, else the lowest, so the
// choice does not depend on hash order. No data, or data too long for one
// advertising field, gives none.
std::optional<std::vector<uint8_t>> rebuildManufacturerData(
    const QMultiHash<quint16, QByteArray>& byCompany);

}  // namespace ble::qt
