#include "app/RadioChoice.h"

#include <QMetaObject>
#include <QObject>

#include "ble/qt/QtEventLoop.h"
#include "ble/sim/World.h"
#include "link/FrameRules.h"

#if ZELTO_WITH_BLUEZ
#include "ble/bluez/AdapterProbe.h"
#include "ble/bluez/CentralFactory.h"
#else
#include "ble/qt/CentralFactory.h"
#include "ble/qt/LocalAdapterProbe.h"
#endif

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

QString describeAdapter(const std::string& name, const std::string& address) {
    if (address.empty()) return QStringLiteral("Bluetooth adapter %1").arg(QString::fromStdString(name));
    return QStringLiteral("Bluetooth adapter %1 (%2)")
        .arg(QString::fromStdString(name), QString::fromStdString(address));
}

template <typename Options, typename MakeFactory>
Radio makeRealRadio(const std::string& name, const std::string& address, MakeFactory makeFactory) {
    auto real = std::make_shared<RealRadio>();
    Options options;
    options.adapterAddress = address;
    options.supersedes = link_rules::vehicleFrames();
    ble::CentralFactory factory = makeFactory(real->loop, std::move(options));
    return Radio{std::move(factory), describeAdapter(name, address), std::move(real)};
}

}  // namespace

Radio makeSimulatedRadio() {
    auto simulated = std::make_shared<SimulatedRadio>();
    ble::sim::World::populateDefault(simulated->world);
    ble::CentralFactory factory = simulated->world.centralFactory();
    return Radio{std::move(factory), QStringLiteral("Simulated vehicles"), std::move(simulated)};
}

void chooseRadio(QObject* context, std::function<void(Radio)> done) {
    // A powered adapter gives the real radio; no system bus, no Bluetooth
    // stack, no adapter, an adapter that is off, or no answer within a second
    // give the simulated one. The probe answers once, from a later turn.
#if ZELTO_WITH_BLUEZ
    ble::bluez::probeAdapter(context, [done = std::move(done)](const ble::bluez::AdapterProbeResult& adapter) {
        if (!adapter.usable()) return done(makeSimulatedRadio());
        done(makeRealRadio<ble::bluez::RadioOptions>(
            adapter.name, adapter.address, [](ble::EventLoop& loop, ble::bluez::RadioOptions options) {
                return ble::bluez::makeCentralFactory(loop, std::move(options));
            }));
    });
#else
    ble::qt::probeLocalAdapter(context, [done = std::move(done)](const ble::qt::LocalAdapter& adapter) {
        if (!adapter.found || !adapter.powered) return done(makeSimulatedRadio());
        done(makeRealRadio<ble::qt::RadioOptions>(
            adapter.name, adapter.address, [](ble::EventLoop& loop, ble::qt::RadioOptions options) {
                return ble::qt::makeCentralFactory(loop, std::move(options));
            }));
    });
#endif
}
