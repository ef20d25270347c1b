// How long things take in the simulated world, in loop time. Values near a
// real radio's, so the link sees realistic orderings without slow tests.
#pragma once

#include <chrono>
#include <cstddef>

namespace ble::sim::timing {

using namespace std::chrono_literals;

// First advertisement report after a scan starts.
inline constexpr std::chrono::milliseconds kFirstAdvertisement = 20ms;
// Between two reports of the same vehicle while scanning. A vehicle's
// advertising interval; long enough that hundreds of vehicles stay cheap.
inline constexpr std::chrono::milliseconds kAdvertisingInterval = 200ms;
// The most advertisement reports in one turn of the loop. A bigger world
// spreads its reports over the advertising interval in bursts of this size,
// as real vehicles each keep their own timing.
inline constexpr std::size_t kReportsPerBurst = 8;
// From a connect request to its outcome.
inline constexpr std::chrono::milliseconds kConnectLatency = 30ms;
// One GATT round trip: discovery, subscription, a write, a notification.
inline constexpr std::chrono::milliseconds kGattLatency = 10ms;
// Between two position reports of a driving vehicle.
inline constexpr std::chrono::milliseconds kReportInterval = 250ms;

}  // namespace ble::sim::timing
