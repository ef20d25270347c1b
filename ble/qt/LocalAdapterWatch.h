// The local Bluetooth adapters as Qt Bluetooth lists them, for the platforms
// where Qt Bluetooth is the radio. Qt tells of no adapter arriving or going,
// so the list is read again every few seconds; `changed` fires when it differs.
#pragma once

#include <QObject>
#include <vector>

#include "ble/qt/LocalAdapterProbe.h"

class QTimer;

namespace ble::qt {

class LocalAdapterWatch : public QObject {
    Q_OBJECT

public:
    explicit LocalAdapterWatch(QObject* parent = nullptr);

    const std::vector<LocalAdapter>& adapters() const { return adapters_; }

signals:
    void changed();

private:
    void refresh();

    QTimer* timer_ = nullptr;
    std::vector<LocalAdapter> adapters_;
};

}  // namespace ble::qt
