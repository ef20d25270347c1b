#include "app/RadioChoice.h"

#include <QMetaObject>
#include <QObject>

#include "ble/qt/QtEventLoop.h"
#include "ble/sim/World.h"

namespace {

// The loop is declared first so that it outlives the world built on it.
struct SimulatedRadio {
    ble::qt::QtEventLoop loop;
    ble::sim::World world{loop};
};

}  // namespace

Radio makeSimulatedRadio() {
    auto simulated = std::make_shared<SimulatedRadio>();
    ble::sim::World::populateDefault(simulated->world);
    ble::CentralFactory factory = simulated->world.centralFactory();
    return Radio{std::move(factory), QStringLiteral("Simulated vehicles"), std::move(simulated)};
}

void chooseRadio(QObject* context, std::function<void(Radio)> done) {
    // Until the Qt Bluetooth backend can tell a present and powered adapter,
    // the simulated radio is the choice.
    QMetaObject::invokeMethod(
        context, [done = std::move(done)] { done(makeSimulatedRadio()); }, Qt::QueuedConnection);
}
