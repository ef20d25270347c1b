// Every Bluetooth adapter BlueZ has, followed as adapters appear, go and are
// powered on or off, and as BlueZ leaves and comes back. Nothing waits: each
// change asks BlueZ's object list again asynchronously, one question at a
// time, and device traffic (a crowd of advertisers) asks nothing.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <vector>

#include "ble/bluez/AdapterProbe.h"

class QDBusMessage;

namespace ble::bluez {

// Every adapter among BlueZ's objects, in path order.
std::vector<AdapterProbeResult> adaptersIn(const ManagedObjects& objects);

class AdapterWatch : public QObject {
    Q_OBJECT

public:
    // On the system bus.
    explicit AdapterWatch(QObject* parent = nullptr);
    AdapterWatch(const QDBusConnection& bus, QObject* parent);

    // In path order; empty until BlueZ has answered, and while it is away.
    const std::vector<AdapterProbeResult>& adapters() const { return adapters_; }

signals:
    void changed();

private slots:
    void onInterfacesChanged(const QDBusMessage& signal);
    void onAdapterPropertiesChanged(const QDBusMessage& signal);

private:
    void refresh();
    void answered(const QDBusMessage& reply);

    QDBusConnection bus_;
    bool asking_ = false;
    bool askAgain_ = false;
    std::vector<AdapterProbeResult> adapters_;
};

}  // namespace ble::bluez
