#include "ble/qt/LocalAdapterWatch.h"

#include <QBluetoothLocalDevice>
#include <QTimer>

#include "ble/qt/LocalAdapterProbe.h"

namespace ble::qt {
namespace {

constexpr int kRefreshMs = 3000;

bool same(const std::vector<LocalAdapter>& a, const std::vector<LocalAdapter>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].address != b[i].address || a[i].powered != b[i].powered) return false;
    }
    return true;
}

}  // namespace

LocalAdapterWatch::LocalAdapterWatch(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    connect(timer_, &QTimer::timeout, this, &LocalAdapterWatch::refresh);
    timer_->start(kRefreshMs);
    QTimer::singleShot(0, this, &LocalAdapterWatch::refresh);
}

void LocalAdapterWatch::refresh() {
    std::vector<LocalAdapter> adapters;
    for (const QBluetoothHostInfo& host : QBluetoothLocalDevice::allDevices()) {
        LocalAdapter adapter = localAdapterOf(QBluetoothLocalDevice(host.address()));
        if (!adapter.found) adapter.name = host.name().toStdString();  // listed, but not answering
        adapters.push_back(std::move(adapter));
    }
    if (same(adapters, adapters_)) return;
    adapters_ = std::move(adapters);
    emit changed();
}

}  // namespace ble::qt
