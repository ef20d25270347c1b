// Builders, parsers and the hex dump allocate nothing. This binary replaces the
// global operator new to count allocations, so it is kept apart from the other
// tests.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "zelto_sdk/advertisement.h"
#include "zelto_sdk/protocol.h"
#include "zelto_sdk/zelto_util.h"

namespace {
std::atomic<long> g_allocations{0};

void* countedAllocation(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return countedAllocation(size); }
void* operator new[](std::size_t size) { return countedAllocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

const uint8_t kPayload[] = {0x02, 0x01, 0x06, 0x11, 0x07, 0xF4, 0x8D, 0x4D, 0x9C, 0xD8, 0x0B,
                            0x81, 0x83, 0x7E, 0x40, 0x86, 0x61, 0xEF, 0xBE, 0x15, 0xBE, 0x09,
                            0xFF, 0xBE, 0xEF, 0x00, 0x09, 0x12, 0x34, 0x56, 0x78};

TEST(NoAllocation, CountingAllocatorSeesAllocations) {
    const long before = g_allocations.load();
    delete new int(1);
    EXPECT_EQ(g_allocations.load() - before, 1);
}

TEST(NoAllocation, BuildersParsersAndDump) {
    std::printf("warm up stdout\n");  // stdio sets up its own buffer on first use
    const long before = g_allocations.load();

    VehicleMessage m{};
    zelto_vehicle_msg_set_sdk_mode(&m, 1, 1);
    zelto_vehicle_msg_set_speed(&m, 500, 25000);
    zelto_vehicle_msg_set_offset_from_road_center(&m, 1.5f);
    zelto_vehicle_msg_change_lane(&m, 300, 2500, -23.0f);
    zelto_vehicle_msg_set_lights(&m, 1);
    zelto_vehicle_msg_lights_pattern(&m, 1, 2, 3, 4, 5);
    zelto_vehicle_msg_disconnect(&m);
    zelto_vehicle_msg_cancel_lane_change(&m);
    zelto_vehicle_msg_turn_180(&m);
    zelto_vehicle_msg_ping(&m);
    zelto_vehicle_msg_get_version(&m);
    zelto_vehicle_msg_get_battery_level(&m);

    zelto_adv_info info{};
    EXPECT_EQ(zelto_adv_parse(kPayload, sizeof kPayload, &info), 0);
    EXPECT_EQ(zelto_adv_parse(kPayload, sizeof kPayload, nullptr), 0);
    EXPECT_TRUE(zelto_adv_is_vehicle(kPayload, sizeof kPayload));
    zelto_adv_mfg_info mfg{};
    EXPECT_EQ(zelto_adv_parse_mfg_data(kPayload + 23, 8, &mfg), 0);
    zelto_adv_name_info name{};
    EXPECT_EQ(zelto_adv_parse_local_name(kPayload, 20, &name), 0);
    EXPECT_TRUE(zelto_adv_is_vehicle_service(kPayload + 5));
    size_t count = 0;
    zelto_adv_field items[sizeof kPayload / 2];
    EXPECT_EQ(zelto_adv_split_fields(kPayload, sizeof kPayload, &count, items), 0);

    char line[3 * sizeof kPayload];
    hexdump_line(kPayload, sizeof kPayload, line);
    hexdump("alloc", 8, kPayload, sizeof kPayload);
    hexdump("alloc", 2 * ZELTO_HEXDUMP_STACK_ROW_BYTES, kPayload, sizeof kPayload);

    EXPECT_EQ(g_allocations.load() - before, 0);
    EXPECT_EQ(count, 3u);
}

}  // namespace
