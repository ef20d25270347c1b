// The advertisement readers beside a plain byte loop over the same payload.
#include <benchmark/benchmark.h>

#include "bench_payload.h"
#include "zelto_sdk/advertisement.h"

namespace {

// Keeps the compiler from assuming anything about the payload or its length.
struct Input {
    const uint8_t* data = kVehiclePayload;
    size_t length = sizeof kVehiclePayload;
    void hide() {
        benchmark::DoNotOptimize(data);
        benchmark::DoNotOptimize(length);
    }
};

void BM_adv_byte_loop_baseline(benchmark::State& state) {
    Input in;
    for (auto _ : state) {
        in.hide();
        benchmark::DoNotOptimize(byteLoop(in.data, in.length));
    }
}
BENCHMARK(BM_adv_byte_loop_baseline);

void BM_adv_parse_record(benchmark::State& state) {
    Input in;
    zelto_adv_info info{};
    for (auto _ : state) {
        in.hide();
        benchmark::DoNotOptimize(zelto_adv_parse(in.data, in.length, &info));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_adv_parse_record);

void BM_adv_parse_no_record(benchmark::State& state) {
    Input in;
    for (auto _ : state) {
        in.hide();
        benchmark::DoNotOptimize(zelto_adv_parse(in.data, in.length, nullptr));
    }
}
BENCHMARK(BM_adv_parse_no_record);

void BM_adv_split_fields(benchmark::State& state) {
    Input in;
    zelto_adv_field items[sizeof kVehiclePayload / 2];
    size_t count = 0;
    for (auto _ : state) {
        in.hide();
        benchmark::DoNotOptimize(zelto_adv_split_fields(in.data, in.length, &count, items));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_adv_split_fields);

void BM_adv_split_fields_count_only(benchmark::State& state) {
    Input in;
    size_t count = 0;
    for (auto _ : state) {
        in.hide();
        benchmark::DoNotOptimize(zelto_adv_split_fields(in.data, in.length, &count, nullptr));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_adv_split_fields_count_only);

// The 8 manufacturer-data bytes of the sample.
void BM_adv_mfg_byte_loop_baseline(benchmark::State& state) {
    Input in{kVehiclePayload + 23, 8};
    for (auto _ : state) {
        in.hide();
        benchmark::DoNotOptimize(byteLoop(in.data, in.length));
    }
}
BENCHMARK(BM_adv_mfg_byte_loop_baseline);

void BM_adv_parse_mfg_data(benchmark::State& state) {
    Input in{kVehiclePayload + 23, 8};
    zelto_adv_mfg_info out{};
    for (auto _ : state) {
        in.hide();
        benchmark::DoNotOptimize(
            zelto_adv_parse_mfg_data(in.data, static_cast<uint8_t>(in.length), &out));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_adv_parse_mfg_data);

}  // namespace
