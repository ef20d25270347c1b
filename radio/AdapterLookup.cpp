#include "radio/AdapterLookup.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "radio/WatchEntries.h"
#if ZELTO_WITH_BLUEZ
#include "ble/bluez/AdapterWatch.h"
#endif

namespace {

// Beyond the watch's own D-Bus timeout (2 s), so that its answer wins.
constexpr int kListWaitMs = 2500;

QString notThere(const QString& wanted, const QStringList& names) {
    if (wanted.isEmpty()) return QStringLiteral("no Bluetooth adapter");
    if (names.isEmpty()) return QStringLiteral("no Bluetooth adapter %1 (there are none)").arg(wanted);
    return QStringLiteral("no Bluetooth adapter %1 (there are: %2)").arg(wanted, names.join(QStringLiteral(", ")));
}

// The terminal program names an adapter as its --adapter option does.
AdapterEntry bySystemName(const AdapterEntry& adapter) {
    AdapterEntry named = adapter;
    named.name = adapter.systemName;
    return named;
}

template <typename Answer>
using Pick = std::function<Answer(const std::vector<AdapterEntry>&)>;

// Calls `done` once: the first of the list's answer and the deadline.
template <typename Answer, typename Watch, typename ToKnown>
void pickFromWatch(QObject* context, Pick<Answer> pick, std::function<void(Answer)> done, ToKnown toKnown,
                   std::function<Answer()> onSilence) {
    auto* watch = new Watch(context);
    auto answered = std::make_shared<bool>(false);
    auto answer = [watch, answered, done](Answer lookup) {
        if (*answered) return;
        *answered = true;
        watch->deleteLater();
        done(std::move(lookup));
    };
    QObject::connect(watch, &Watch::changed, watch,
                     [watch, pick, answer, toKnown] { answer(pick(toKnown(watch->adapters()))); });
    QTimer::singleShot(kListWaitMs, watch, [watch, pick, answer, toKnown, onSilence] {
        answer(watch->adapters().empty() ? onSilence() : pick(toKnown(watch->adapters())));
    });
}

#if ZELTO_WITH_BLUEZ
// Why BlueZ cannot be asked; empty when it answers (without an adapter, say).
QString problemOf(ble::bluez::AdapterProbeResult::Status status) {
    using Status = ble::bluez::AdapterProbeResult::Status;
    switch (status) {
    case Status::NoSystemBus:
        return QStringLiteral("BlueZ is not running (there is no system D-Bus)");
    case Status::NoBluez:
        return QStringLiteral("BlueZ is not running");
    case Status::NoAdapter:
    case Status::Found:
        return QString();
    case Status::NoAnswer:
        break;
    }
    return QStringLiteral("BlueZ did not answer");
}
#endif

}  // namespace

AdapterLookup pickAdapter(const QString& wanted, const std::vector<AdapterEntry>& adapters) {
    const AdapterEntry* chosen = nullptr;
    QStringList names;
    for (const AdapterEntry& adapter : adapters) {
        names << adapter.systemName;
        if (wanted.isEmpty()) {
            if (!chosen || (adapter.powered && !chosen->powered)) chosen = &adapter;
        } else if (!chosen &&
                   (adapter.systemName == wanted || adapter.address.compare(wanted, Qt::CaseInsensitive) == 0)) {
            chosen = &adapter;
        }
    }
    if (!chosen) return AdapterLookup{std::nullopt, notThere(wanted, names)};
    if (!chosen->powered) {
        return AdapterLookup{std::nullopt, QStringLiteral("Bluetooth adapter %1 is powered off").arg(chosen->systemName)};
    }
    return AdapterLookup{bySystemName(*chosen), QString()};
}

namespace {

// Asks for the adapters and picks among them; `refuse` makes the answer when
// the system cannot be asked. `probeSuffices`: the probe's one adapter is
// enough to pick from.
template <typename Answer>
void lookUp(QObject* context, Pick<Answer> pick, std::function<Answer(QString)> refuse, bool probeSuffices,
            std::function<void(Answer)> done) {
#if ZELTO_WITH_BLUEZ
    // The probe tells whether BlueZ is there at all; only then is the whole
    // list worth asking for.
    ble::bluez::probeAdapter(context, [context = QPointer<QObject>(context), pick, refuse, probeSuffices,
                                       done = std::move(done)](const ble::bluez::AdapterProbeResult& probe) {
        if (!probe.found()) {
            const QString problem = problemOf(probe.status);
            return done(problem.isEmpty() ? pick({}) : refuse(problem));
        }
        if (probeSuffices) return done(pick({radio_watch::entryOf(probe)}));
        pickFromWatch<Answer, ble::bluez::AdapterWatch>(
            context, pick, done, [](const auto& adapters) { return radio_watch::entriesOf(adapters); },
            [refuse] { return refuse(QStringLiteral("BlueZ did not answer")); });
    });
#else
    (void)refuse;
    (void)probeSuffices;
    pickFromWatch<Answer, ble::qt::LocalAdapterWatch>(
        context, pick, std::move(done), [](const auto& adapters) { return radio_watch::entriesOf(adapters); },
        [pick] { return pick({}); });
#endif
}

}  // namespace

void lookUpAdapter(QObject* context, const QString& wanted, std::function<void(AdapterLookup)> done) {
    lookUp<AdapterLookup>(
        context, [wanted](const std::vector<AdapterEntry>& known) { return pickAdapter(wanted, known); },
        [](QString problem) { return AdapterLookup{std::nullopt, std::move(problem)}; }, wanted.isEmpty(),
        std::move(done));
}

AdaptersLookup pickAdapters(const QStringList& wanted, const std::vector<AdapterEntry>& adapters) {
    AdaptersLookup lookup;
    if (wanted == QStringList{QStringLiteral("all")}) {
        lookup.every = true;
        QStringList names;
        for (const AdapterEntry& adapter : adapters) {
            names << adapter.systemName;
            if (adapter.powered) lookup.adapters.push_back(bySystemName(adapter));
        }
        if (adapters.empty()) {
            lookup.problem = notThere(QString(), {});
        } else if (lookup.adapters.empty()) {
            lookup.problem = QStringLiteral("no Bluetooth adapter is powered on (there are: %1)")
                                 .arg(names.join(QStringLiteral(", ")));
        }
        return lookup;
    }
    for (const QString& name : wanted) {
        const AdapterLookup one = pickAdapter(name, adapters);
        if (!one.adapter) return AdaptersLookup{{}, false, one.problem};
        const bool again = std::any_of(lookup.adapters.begin(), lookup.adapters.end(),
                                       [&](const AdapterEntry& entry) { return entry.name == one.adapter->name; });
        if (!again) lookup.adapters.push_back(*one.adapter);
    }
    if (lookup.adapters.empty()) lookup.problem = notThere(QString(), {});
    return lookup;
}

void lookUpAdapters(QObject* context, const QStringList& wanted, std::function<void(AdaptersLookup)> done) {
    lookUp<AdaptersLookup>(
        context, [wanted](const std::vector<AdapterEntry>& known) { return pickAdapters(wanted, known); },
        [](QString problem) { return AdaptersLookup{{}, false, std::move(problem)}; }, false, std::move(done));
}
