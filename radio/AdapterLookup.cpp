#include "radio/AdapterLookup.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <memory>

#if ZELTO_WITH_BLUEZ
#include "ble/bluez/AdapterProbe.h"
#include "ble/bluez/AdapterWatch.h"
#else
#include "ble/qt/LocalAdapterWatch.h"
#endif

namespace {

// Beyond the watch's own D-Bus timeout (2 s), so that its answer wins.
constexpr int kListWaitMs = 2500;

QString notThere(const QString& wanted, const QStringList& names) {
    if (wanted.isEmpty()) return QStringLiteral("no Bluetooth adapter");
    if (names.isEmpty()) return QStringLiteral("no Bluetooth adapter %1 (there are none)").arg(wanted);
    return QStringLiteral("no Bluetooth adapter %1 (there are: %2)").arg(wanted, names.join(QStringLiteral(", ")));
}

// Calls `done` once: the first of the list's answer and the deadline.
template <typename Watch, typename ToKnown>
void pickFromWatch(QObject* context, const QString& wanted, std::function<void(AdapterLookup)> done,
                   ToKnown toKnown, std::function<AdapterLookup()> onSilence) {
    auto* watch = new Watch(context);
    auto answered = std::make_shared<bool>(false);
    auto answer = [watch, answered, done](AdapterLookup lookup) {
        if (*answered) return;
        *answered = true;
        watch->deleteLater();
        done(std::move(lookup));
    };
    QObject::connect(watch, &Watch::changed, watch,
                     [watch, wanted, answer, toKnown] { answer(pickAdapter(wanted, toKnown(watch->adapters()))); });
    QTimer::singleShot(kListWaitMs, watch, [watch, wanted, answer, toKnown, onSilence] {
        answer(watch->adapters().empty() ? onSilence() : pickAdapter(wanted, toKnown(watch->adapters())));
    });
}

#if ZELTO_WITH_BLUEZ
KnownAdapter knownOf(const ble::bluez::AdapterProbeResult& adapter) {
    const QString path = QString::fromStdString(adapter.path);
    return KnownAdapter{path.section(QLatin1Char('/'), -1), QString::fromStdString(adapter.name),
                        QString::fromStdString(adapter.address), adapter.powered};
}

std::vector<KnownAdapter> knownOf(const std::vector<ble::bluez::AdapterProbeResult>& adapters) {
    std::vector<KnownAdapter> known;
    for (const auto& adapter : adapters) known.push_back(knownOf(adapter));
    return known;
}

QString problemOf(ble::bluez::AdapterProbeResult::Status status, const QString& wanted) {
    using Status = ble::bluez::AdapterProbeResult::Status;
    switch (status) {
    case Status::NoSystemBus:
        return QStringLiteral("BlueZ is not running (there is no system D-Bus)");
    case Status::NoBluez:
        return QStringLiteral("BlueZ is not running");
    case Status::NoAdapter:
        return notThere(wanted, {});
    case Status::Found:
    case Status::NoAnswer:
        break;
    }
    return QStringLiteral("BlueZ did not answer");
}
#else
std::vector<KnownAdapter> knownOf(const std::vector<ble::qt::LocalAdapter>& adapters) {
    std::vector<KnownAdapter> known;
    for (const auto& adapter : adapters) {
        const QString name = QString::fromStdString(adapter.name);
        known.push_back(KnownAdapter{name, name, QString::fromStdString(adapter.address), adapter.powered});
    }
    return known;
}
#endif

}  // namespace

AdapterLookup pickAdapter(const QString& wanted, const std::vector<KnownAdapter>& adapters) {
    const KnownAdapter* chosen = nullptr;
    QStringList names;
    for (const KnownAdapter& adapter : adapters) {
        names << adapter.name;
        if (wanted.isEmpty()) {
            if (!chosen || (adapter.powered && !chosen->powered)) chosen = &adapter;
        } else if (!chosen && (adapter.name == wanted || adapter.address.compare(wanted, Qt::CaseInsensitive) == 0)) {
            chosen = &adapter;
        }
    }
    if (!chosen) return AdapterLookup{std::nullopt, notThere(wanted, names)};
    if (!chosen->powered) {
        return AdapterLookup{std::nullopt, QStringLiteral("Bluetooth adapter %1 is powered off").arg(chosen->name)};
    }
    return AdapterLookup{AdapterEntry{chosen->name, chosen->address, true}, QString()};
}

void lookUpAdapter(QObject* context, const QString& wanted, std::function<void(AdapterLookup)> done) {
#if ZELTO_WITH_BLUEZ
    // The probe tells whether BlueZ is there at all; only then is the whole
    // list worth asking for.
    ble::bluez::probeAdapter(context, [context = QPointer<QObject>(context), wanted,
                                       done = std::move(done)](const ble::bluez::AdapterProbeResult& probe) {
        if (!probe.found()) return done(AdapterLookup{std::nullopt, problemOf(probe.status, wanted)});
        if (wanted.isEmpty()) return done(pickAdapter(wanted, {knownOf(probe)}));
        pickFromWatch<ble::bluez::AdapterWatch>(
            context, wanted, done, [](const auto& adapters) { return knownOf(adapters); },
            [] { return AdapterLookup{std::nullopt, QStringLiteral("BlueZ did not answer")}; });
    });
#else
    pickFromWatch<ble::qt::LocalAdapterWatch>(
        context, wanted, std::move(done), [](const auto& adapters) { return knownOf(adapters); },
        [wanted] { return AdapterLookup{std::nullopt, notThere(wanted, {})}; });
#endif
}
