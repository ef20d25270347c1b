#include "ble/qt/LocalAdapterProbe.h"

#include <QBluetoothLocalDevice>
#include <QTimer>

namespace ble::qt {

LocalAdapter localAdapterOf(const QBluetoothLocalDevice& device) {
    LocalAdapter adapter;
    adapter.found = device.isValid();
    if (!adapter.found) return adapter;
    adapter.powered = device.hostMode() != QBluetoothLocalDevice::HostPoweredOff;
    adapter.name = device.name().toStdString();
    const QBluetoothAddress address = device.address();
    if (!address.isNull()) adapter.address = address.toString().toStdString();
    return adapter;
}

void probeLocalAdapter(QObject* context, std::function<void(const LocalAdapter&)> done) {
    QTimer::singleShot(0, context, [done = std::move(done)] { done(localAdapterOf(QBluetoothLocalDevice())); });
}

}  // namespace ble::qt
