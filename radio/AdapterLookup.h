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

struct AdapterLookup {
    std::optional<AdapterEntry> adapter;  // found and powered
    QString problem;                      // else why not, one line
};

// Picks the adapter named `wanted` (its system name, or its address in any
// case) among `adapters`; an empty `wanted` takes the first powered one. The
// adapter found is named as the system names it, as --adapter names it.
AdapterLookup pickAdapter(const QString& wanted, const std::vector<AdapterEntry>& adapters);

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
AdaptersLookup pickAdapters(const QStringList& wanted, const std::vector<AdapterEntry>& adapters);
// As lookUpAdapter, for a list or "all".
void lookUpAdapters(QObject* context, const QStringList& wanted, std::function<void(AdaptersLookup)> done);
