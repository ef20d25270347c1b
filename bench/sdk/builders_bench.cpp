// Each builder beside a baseline that copies the same finished message (its
// total length, a length the compiler cannot see) into the same buffer.
#include <benchmark/benchmark.h>

#include <cstring>

#include "zelto_sdk/protocol.h"

namespace {

template <typename Build>
void runBuilder(benchmark::State& state, Build build) {
    VehicleMessage message{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(build(&message));
        benchmark::ClobberMemory();
    }
}

template <typename Build>
void runCopyBaseline(benchmark::State& state, Build build) {
    VehicleMessage finished{};
    size_t length = build(&finished);
    VehicleMessage message{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(length);
        std::memcpy(&message, &finished, length);
        benchmark::DoNotOptimize(&message);
        benchmark::ClobberMemory();
    }
}

// Arguments pass through DoNotOptimize so that no call is folded to constants.
uint16_t opaque16(uint16_t v) {
    benchmark::DoNotOptimize(v);
    return v;
}
uint8_t opaque8(uint8_t v) {
    benchmark::DoNotOptimize(v);
    return v;
}
float opaqueF(float v) {
    benchmark::DoNotOptimize(v);
    return v;
}

#define BUILDER_BENCH(name, call)                                       \
    void BM_##name(benchmark::State& state) {                           \
        runBuilder(state, [](VehicleMessage* m) { return call; });      \
    }                                                                   \
    void BM_##name##_baseline_memcpy(benchmark::State& state) {         \
        runCopyBaseline(state, [](VehicleMessage* m) { return call; }); \
    }                                                                   \
    BENCHMARK(BM_##name);                                               \
    BENCHMARK(BM_##name##_baseline_memcpy)

BUILDER_BENCH(set_sdk_mode, zelto_vehicle_msg_set_sdk_mode(m, opaque8(1), opaque8(1)));
BUILDER_BENCH(set_speed, zelto_vehicle_msg_set_speed(m, opaque16(500), opaque16(25000)));
BUILDER_BENCH(set_offset_from_road_center,
              zelto_vehicle_msg_set_offset_from_road_center(m, opaqueF(-23.0f)));
BUILDER_BENCH(change_lane,
              zelto_vehicle_msg_change_lane(m, opaque16(300), opaque16(2500), opaqueF(-23.0f)));
BUILDER_BENCH(set_lights, zelto_vehicle_msg_set_lights(m, opaque8(0x5a)));
BUILDER_BENCH(lights_pattern,
              zelto_vehicle_msg_lights_pattern(m, opaque8(1), opaque8(2), opaque8(3), opaque8(4),
                                               opaque16(0x0102)));
BUILDER_BENCH(disconnect, zelto_vehicle_msg_disconnect(m));
BUILDER_BENCH(cancel_lane_change, zelto_vehicle_msg_cancel_lane_change(m));
BUILDER_BENCH(turn_180, zelto_vehicle_msg_turn_180(m));
BUILDER_BENCH(ping, zelto_vehicle_msg_ping(m));
BUILDER_BENCH(get_version, zelto_vehicle_msg_get_version(m));
BUILDER_BENCH(get_battery_level, zelto_vehicle_msg_get_battery_level(m));

}  // namespace

namespace {

// For scale: the same copies with a length the compiler knows, which become a
// couple of inline moves instead of a memcpy call.
template <size_t kLength>
void BM_inline_copy_reference(benchmark::State& state) {
    VehicleMessage finished{};
    zelto_vehicle_msg_change_lane(&finished, 300, 2500, -23.0f);
    VehicleMessage message{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(&finished);
        std::memcpy(&message, &finished, kLength);
        benchmark::DoNotOptimize(&message);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_inline_copy_reference<2>);
BENCHMARK(BM_inline_copy_reference<7>);
BENCHMARK(BM_inline_copy_reference<12>);

}  // namespace
