// The adapter a person asks for (the terminal program's --adapter), and
// whether the real radio can start on it at all. A radio that cannot start is
// told as one plain line instead of a drive that silently finds nothing.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "radio/RadioChoice.h"

// An adapter as the system lists it: "hci0" is its name on Linux (what
// bluetoothctl and the kernel call it), the alias is what a person set.
struct KnownAdapter {
    QString name;
    QString alias;
    QString address;
    bool powered = false;
};

struct AdapterLookup {
    std::optional<AdapterEntry> adapter;  // found and powered
    QString problem;                      // else why not, one line
};

// Picks the adapter named `wanted` (its name, or its address in any case)
// among `adapters`; an empty `wanted` takes the first powered one.
AdapterLookup pickAdapter(const QString& wanted, const std::vector<KnownAdapter>& adapters);

// Asks the system without blocking and calls `done` exactly once, from a
// later turn of Qt's event loop, within a few seconds, unless `context` is
// gone by then. BlueZ's adapters on Linux, Qt Bluetooth's elsewhere.
void lookUpAdapter(QObject* context, const QString& wanted, std::function<void(AdapterLookup)> done);

// Several adapters at once: a list of names or addresses, or "all".
struct AdaptersLookup {
    std::vector<AdapterEntry> adapters;  // found and powered, as asked (all: the powered ones)
    bool every = false;                  // "all": every adapter, as they come and go
    QString problem;                     // else why not, one line
};

// Every adapter `wanted` names must be there and powered (the first that is
// not is the problem); "all" alone needs one powered adapter.
AdaptersLookup pickAdapters(const QStringList& wanted, const std::vector<KnownAdapter>& adapters);
// As lookUpAdapter, for a list or "all".
void lookUpAdapters(QObject* context, const QStringList& wanted, std::function<void(AdaptersLookup)> done);
