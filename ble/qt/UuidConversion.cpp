#include "ble/qt/UuidConversion.h"

#include <QByteArray>
#include <QUuid>

namespace ble::qt {

// Both keep the 16 bytes in text order (RFC 4122), so the bytes pass as they are.
QBluetoothUuid toQt(const Uuid& uuid) {
    const auto& bytes = uuid.bytes();
    const QByteArray raw(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<qsizetype>(bytes.size()));
    return QBluetoothUuid(QUuid::fromRfc4122(raw));
}

Uuid fromQt(const QBluetoothUuid& uuid) {
    const QByteArray raw = uuid.toRfc4122();
    std::array<uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size() && i < static_cast<std::size_t>(raw.size()); ++i) {
        bytes[i] = static_cast<uint8_t>(raw[static_cast<qsizetype>(i)]);
    }
    return Uuid(bytes);
}

}  // namespace ble::qt
