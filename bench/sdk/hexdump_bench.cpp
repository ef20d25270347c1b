// hexdump_line on a full 20-byte message beside a plain byte loop over it.
#include <benchmark/benchmark.h>

#include "bench_payload.h"
#include "zelto_sdk/zelto_util.h"

namespace {

constexpr size_t kRowBytes = 20;

void BM_hexdump_line_byte_loop_baseline(benchmark::State& state) {
    const uint8_t* data = kVehiclePayload;
    size_t n = kRowBytes;
    for (auto _ : state) {
        benchmark::DoNotOptimize(data);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(byteLoop(data, n));
    }
}
BENCHMARK(BM_hexdump_line_byte_loop_baseline);

void BM_hexdump_line(benchmark::State& state) {
    const uint8_t* data = kVehiclePayload;
    size_t n = kRowBytes;
    char text[3 * kRowBytes];
    for (auto _ : state) {
        benchmark::DoNotOptimize(data);
        benchmark::DoNotOptimize(n);
        hexdump_line(data, n, text);
        benchmark::DoNotOptimize(&text[0]);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_hexdump_line);

}  // namespace
