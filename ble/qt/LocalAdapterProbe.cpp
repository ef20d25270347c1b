#include "ble/qt/LocalAdapterProbe.h"

#include <QBluetoothLocalDevice>
#include <QTimer>

namespace ble::qt {

void probeLocalAdapter(QObject* context, std::function<void(const LocalAdapter&)> done) {
    QTimer::singleShot(0, context, [done = std::move(done)] {
        LocalAdapter adapter;
        const QBluetoothLocalDevice device;
        adapter.found = device.isValid();
        if (adapter.found) {
            adapter.powered = device.hostMode() != QBluetoothLocalDevice::HostPoweredOff;
            adapter.name = device.name().toStdString();
            const QBluetoothAddress address = device.address();
            if (!address.isNull()) adapter.address = address.toString().toStdString();
        }
        done(adapter);
    });
}

}  // namespace ble::qt
