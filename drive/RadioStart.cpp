#include "drive/RadioStart.h"

#include <QEventLoop>
#include <QObject>

#include "ble/ManualEventLoop.h"
#include "ble/sim/World.h"
#include "radio/AdapterLookup.h"
#include "radio/BrokerRadio.h"

namespace drive {
namespace {

// Runs Qt's loop until the asynchronous answer is there (each is bounded).
template <typename Answer, typename Ask>
Answer waitFor(Ask ask) {
    std::optional<Answer> answer;
    QEventLoop wait;
    QObject context;
    ask(&context, [&](Answer given) {
        answer = std::move(given);
        wait.quit();
    });
    if (!answer) wait.exec();
    return std::move(*answer);
}

void startSimulated(StartedRadio& started, bool virtualTime, int cars) {
    if (!virtualTime) {
        started.radio = makeSimulatedFleet(cars);
        return;
    }
    started.virtualLoop = std::make_unique<ble::ManualEventLoop>();
    started.virtualWorld = std::make_unique<ble::sim::World>(*started.virtualLoop);
    ble::sim::World::populate(*started.virtualWorld, cars);
    started.factory = started.virtualWorld->centralFactory();
    started.clock = std::make_unique<VirtualClock>(*started.virtualLoop);
}

// The BlueZ radio on every adapter, or on a list of them.
void startOnSeveral(StartedRadio& started, const Invocation& invocation) {
    started.problem = "this build has no BlueZ radio (see --help)";
    if (platformRadioKind() != RadioKind::Bluez) return;
    const AdaptersLookup lookup = waitFor<AdaptersLookup>([&invocation](QObject* context, auto done) {
        lookUpAdapters(context, invocation.adapters, std::move(done));
    });
    if (!lookup.problem.isEmpty()) {
        started.problem = lookup.problem.toStdString();
        return;
    }
    started.radio = lookup.every ? makeAllAdaptersRadio() : makeAdaptersRadio(lookup.adapters);
    if (started.radio) started.problem.clear();
}

// The real radio of that kind on the adapter asked for, or on the one the
// system offers; named by --radio, or by --adapter alone.
void startReal(StartedRadio& started, const Invocation& invocation) {
    if (invocation.adapters.size() > 1 || invocation.adapters == QStringList{QStringLiteral("all")}) {
        startOnSeveral(started, invocation);
        return;
    }
    const RadioKind kind = invocation.radio == QLatin1String("qt")      ? RadioKind::Qt
                           : invocation.radio == QLatin1String("bluez") ? RadioKind::Bluez
                                                                        : platformRadioKind();
    if (kind == RadioKind::Bluez && platformRadioKind() != RadioKind::Bluez) {
        started.problem = "this build has no BlueZ radio (see --help)";
        return;
    }
    const AdapterLookup lookup = waitFor<AdapterLookup>([&invocation](QObject* context, auto done) {
        lookUpAdapter(context, invocation.adapter, std::move(done));
    });
    if (!lookup.adapter) {
        started.problem = lookup.problem.toStdString();
        return;
    }
    started.radio = makeRadioOfKind(kind, *lookup.adapter);
}

// The cars that relays offer on a broker; a broker that is not there or
// refuses the login is a plain reason.
void startOnBroker(StartedRadio& started, const Invocation& invocation) {
    using Answer = std::pair<std::optional<Radio>, QString>;
    Answer answer = waitFor<Answer>([&invocation](QObject* context, auto done) {
        makeBrokerRadio(context, invocation.radio,
                        [done](std::optional<Radio> radio, QString problem) { done(Answer{std::move(radio), problem}); },
                        invocation.caFile);
    });
    started.radio = std::move(answer.first);
    if (!started.radio) started.problem = answer.second.toStdString();
}

}  // namespace

StartedRadio::StartedRadio() = default;
StartedRadio::~StartedRadio() = default;
StartedRadio::StartedRadio(StartedRadio&&) noexcept = default;

StartedRadio startRadio(const Invocation& invocation) {
    StartedRadio started;
    if (invocation.radio.startsWith(QLatin1String("mqtt://")) || invocation.radio.startsWith(QLatin1String("mqtts://"))) {
        startOnBroker(started, invocation);
    } else if (invocation.radio == QLatin1String("sim")) {
        startSimulated(started, invocation.virtualTime, invocation.simCars);
    } else if (invocation.radio == QLatin1String("auto") && invocation.adapter.isEmpty()) {
        started.radio = waitFor<Radio>([cars = invocation.simCars](QObject* context, auto done) {
            chooseRadio(context, std::move(done), cars);
        });
    } else {
        startReal(started, invocation);
    }
    if (started.radio) {
        started.factory = started.radio->factory;
        started.clock = std::make_unique<RealClock>();
    }
    return started;
}

}  // namespace drive
