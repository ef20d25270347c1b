#include "radio/RadioChoice.h"

#include "radio/WatchEntries.h"

#include <QMetaObject>
#include <QObject>
#include <QStringList>

#include "ble/qt/QtEventLoop.h"
#include "ble/sim/World.h"
#include "link/FrameRules.h"
#include "link/SystemLog.h"

#if ZELTO_WITH_BLUEZ
#include "ble/bluez/AdapterProbe.h"
#include "ble/bluez/AdapterWatch.h"
#include "ble/bluez/CentralFactory.h"
#else
#include "ble/qt/LocalAdapterProbe.h"
#include "ble/qt/LocalAdapterWatch.h"
#endif
#include "ble/qt/CentralFactory.h"

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
    return Radio{std::move(factory), describeAdapter(name, address), QString::fromStdString(address),
                 std::move(real)};
}

Radio makeQtRadio(const std::string& name, const std::string& address) {
    return makeRealRadio<ble::qt::RadioOptions>(name, address, [](ble::EventLoop& loop, ble::qt::RadioOptions options) {
        return ble::qt::makeCentralFactory(loop, std::move(options));
    });
}

#if ZELTO_WITH_BLUEZ
ble::CentralFactory makeBluezFactory(ble::EventLoop& loop, ble::bluez::RadioOptions options) {
    options.layout = link_rules::vehicleLayout();
    options.identify = link_rules::vehicleIdentity();
    options.note = [](const std::string& line) { SystemLog::writeLine(line); };
    return ble::bluez::makeCentralFactory(loop, std::move(options));
}

Radio makeBluezRadio(const std::string& name, const std::string& address) {
    return makeRealRadio<ble::bluez::RadioOptions>(name, address, &makeBluezFactory);
}

// Several adapters at once, named as RadioOptions::adapters names them.
Radio makeBluezSetRadio(std::vector<std::string> adapters, QString description, QString adapterAddress) {
    auto real = std::make_shared<RealRadio>();
    ble::bluez::RadioOptions options;
    options.adapters = std::move(adapters);
    options.supersedes = link_rules::vehicleFrames();
    ble::CentralFactory factory = makeBluezFactory(real->loop, std::move(options));
    return Radio{std::move(factory), std::move(description), std::move(adapterAddress), std::move(real)};
}
#endif

// This platform's real radio: BlueZ's on Linux, Qt Bluetooth's elsewhere.
Radio makeRealRadio(const std::string& name, const std::string& address) {
#if ZELTO_WITH_BLUEZ
    return makeBluezRadio(name, address);
#else
    return makeQtRadio(name, address);
#endif
}

// The platform's watch, read as entries.
template <typename Watch>
class WatchedAdapters : public AdapterList {
public:
    explicit WatchedAdapters(QObject* parent) : AdapterList(parent), watch_(new Watch(this)) {
        QObject::connect(watch_, &Watch::changed, this, &AdapterList::changed);
    }
    std::vector<AdapterEntry> adapters() const override { return radio_watch::entriesOf(watch_->adapters()); }

private:
    Watch* watch_;
};

}  // namespace

Radio makeSimulatedRadio() { return makeSimulatedFleet(kDefaultSimCars); }

Radio makeSimulatedFleet(int cars) {
    auto simulated = std::make_shared<SimulatedRadio>();
    ble::sim::World::populate(simulated->world, cars);
    ble::CentralFactory factory = simulated->world.centralFactory();
    return Radio{std::move(factory), QStringLiteral("Simulated vehicles"), QString(), std::move(simulated)};
}

std::optional<Radio> makeRadioOfKind(RadioKind kind, const AdapterEntry& adapter) {
    const std::string name = adapter.name.toStdString();
    const std::string address = adapter.address.toStdString();
    if (kind == RadioKind::Qt) return makeQtRadio(name, address);
#if ZELTO_WITH_BLUEZ
    return makeBluezRadio(name, address);
#else
    return std::nullopt;
#endif
}

std::optional<Radio> makeAllAdaptersRadio() {
#if ZELTO_WITH_BLUEZ
    return makeBluezSetRadio({ble::bluez::kAllAdapters}, QStringLiteral("All Bluetooth adapters"),
                             QString::fromLatin1(ble::bluez::kAllAdapters));
#else
    return std::nullopt;
#endif
}

std::optional<Radio> makeAdaptersRadio(const std::vector<AdapterEntry>& adapters) {
#if ZELTO_WITH_BLUEZ
    if (adapters.empty()) return std::nullopt;
    std::vector<std::string> named;
    QStringList names;
    QStringList addresses;
    for (const AdapterEntry& adapter : adapters) {
        // The address follows an adapter whose number changes when plugged in again.
        named.push_back((adapter.address.isEmpty() ? adapter.name : adapter.address).toStdString());
        names << adapter.name;
        addresses << adapter.address;
    }
    return makeBluezSetRadio(std::move(named), QStringLiteral("Bluetooth adapters %1").arg(names.join(QStringLiteral(", "))),
                             addresses.join(QLatin1Char(',')));
#else
    (void)adapters;
    return std::nullopt;
#endif
}

RadioKind platformRadioKind() {
#if ZELTO_WITH_BLUEZ
    return RadioKind::Bluez;
#else
    return RadioKind::Qt;
#endif
}

Radio makeAdapterRadio(const AdapterEntry& adapter) {
    return makeRealRadio(adapter.name.toStdString(), adapter.address.toStdString());
}

AdapterList* watchAdapters(QObject* parent) {
#if ZELTO_WITH_BLUEZ
    return new WatchedAdapters<ble::bluez::AdapterWatch>(parent);
#else
    return new WatchedAdapters<ble::qt::LocalAdapterWatch>(parent);
#endif
}

void chooseRadio(QObject* context, std::function<void(Radio)> done, int simulatedCars) {
    // A powered adapter gives the real radio; no system bus, no Bluetooth
    // stack, no adapter, an adapter that is off, or no answer within a second
    // give the simulated one. The probe answers once, from a later turn.
#if ZELTO_WITH_BLUEZ
    ble::bluez::probeAdapter(context, [done = std::move(done), simulatedCars](const ble::bluez::AdapterProbeResult& adapter) {
        if (!adapter.usable()) return done(makeSimulatedFleet(simulatedCars));
        // With more than one adapter powered, every one drives.
        if (adapter.poweredAdapters > 1) {
            if (std::optional<Radio> all = makeAllAdaptersRadio()) return done(std::move(*all));
        }
        done(makeRealRadio(adapter.name, adapter.address));
    });
#else
    ble::qt::probeLocalAdapter(context, [done = std::move(done), simulatedCars](const ble::qt::LocalAdapter& adapter) {
        if (!adapter.found || !adapter.powered) return done(makeSimulatedFleet(simulatedCars));
        done(makeRealRadio(adapter.name, adapter.address));
    });
#endif
}

void releaseRadioLinks(std::chrono::milliseconds within) {
#if ZELTO_WITH_BLUEZ
    ble::bluez::releaseEveryLink(within);
#else
    (void)within;  // on macOS and Windows the system ends an app's links as it quits
#endif
}
