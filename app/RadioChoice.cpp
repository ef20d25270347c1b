#include "app/RadioChoice.h"

#include <QMetaObject>
#include <QObject>

#include "ble/qt/AdapterProbe.h"
#include "ble/qt/CentralFactory.h"
#include "ble/qt/QtEventLoop.h"
#include "ble/sim/World.h"
#include "link/FrameRules.h"

namespace {

// The loop is declared first so that it outlives the world built on it.
struct SimulatedRadio {
    ble::qt::QtEventLoop loop;
    ble::sim::World world{loop};
};

// The real radio's centrals and peripherals post their events on this loop.
struct RealRadio {
    ble::qt::QtEventLoop loop;
};

Radio makeRealRadio(const ble::qt::AdapterProbeResult& adapter) {
    auto real = std::make_shared<RealRadio>();
    ble::qt::RadioOptions options;
    options.adapterAddress = adapter.address;
    options.supersedes = link_rules::vehicleFrames();
    ble::CentralFactory factory = ble::qt::makeCentralFactory(real->loop, std::move(options));
    const QString description = QStringLiteral("Bluetooth adapter %1 (%2)")
                                    .arg(QString::fromStdString(adapter.name),
                                         QString::fromStdString(adapter.address));
    return Radio{std::move(factory), description, std::move(real)};
}

}  // namespace

Radio makeSimulatedRadio() {
    auto simulated = std::make_shared<SimulatedRadio>();
    ble::sim::World::populateDefault(simulated->world);
    ble::CentralFactory factory = simulated->world.centralFactory();
    return Radio{std::move(factory), QStringLiteral("Simulated vehicles"), std::move(simulated)};
}

void chooseRadio(QObject* context, std::function<void(Radio)> done) {
    // A powered adapter gives the real radio; no system bus, no BlueZ, no
    // adapter, an adapter that is off, or no answer within a second give the
    // simulated one. The probe answers once, from a later turn of the loop.
    ble::qt::probeAdapter(context, [done = std::move(done)](const ble::qt::AdapterProbeResult& adapter) {
        done(adapter.usable() ? makeRealRadio(adapter) : makeSimulatedRadio());
    });
}
