// How many cars the simulated radio holds, as both programs' --sim-cars
// reads it. Qt Core only and header-only, so that the command lines can read
// it without the radios.
#pragma once

#include <QString>
#include <optional>

// The default world: one car for each panel.
inline constexpr int kDefaultSimCars = 3;
// Enough for any track; far more would only make the simulation crawl.
inline constexpr int kMostSimCars = 256;

// The count in `text`, or nullopt unless it is a whole number from 1 to
// kMostSimCars.
inline std::optional<int> readSimCars(const QString& text) {
    bool ok = false;
    const int cars = text.trimmed().toInt(&ok, 10);
    if (!ok || cars < 1 || cars > kMostSimCars) return std::nullopt;
    return cars;
}

// Why a count was refused, the same words in both programs.
inline QString simCarsRefusal() { return QStringLiteral("--sim-cars is 1 to %1").arg(kMostSimCars); }
