#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "hex_bytes.h"
#include "zelto_sdk/protocol.h"

namespace {

using sdk_test::fromHex;
using sdk_test::toHex;

struct BuilderCase {
    const char* name;
    std::function<uint8_t(VehicleMessage*)> build;
    const char* expected;  // the bytes the builder writes
};

float floatFromBits(uint32_t bits) { return std::bit_cast<float>(bits); }

const BuilderCase kCases[] = {
    {"sdk mode 1 1", [](VehicleMessage* m) { return zelto_vehicle_msg_set_sdk_mode(m, 1, 1); },
     "03 90 01 01"},
    {"sdk mode 0 FF", [](VehicleMessage* m) { return zelto_vehicle_msg_set_sdk_mode(m, 0, 0xFF); },
     "03 90 00 FF"},
    {"speed 500", [](VehicleMessage* m) { return zelto_vehicle_msg_set_speed(m, 500, 25000); },
     "06 24 F4 01 A8 61 00"},
    {"speed max", [](VehicleMessage* m) { return zelto_vehicle_msg_set_speed(m, 65535, 0); },
     "06 24 FF FF 00 00 00"},
    {"speed 0", [](VehicleMessage* m) { return zelto_vehicle_msg_set_speed(m, 0, 0xFFFF); },
     "06 24 00 00 FF FF 00"},
    {"offset 0.0",
     [](VehicleMessage* m) { return zelto_vehicle_msg_set_offset_from_road_center(m, 0.0f); },
     "05 2C 00 00 00 00"},
    {"offset -0.0",
     [](VehicleMessage* m) { return zelto_vehicle_msg_set_offset_from_road_center(m, -0.0f); },
     "05 2C 00 00 00 80"},
    {"offset -23.0",
     [](VehicleMessage* m) { return zelto_vehicle_msg_set_offset_from_road_center(m, -23.0f); },
     "05 2C 00 00 B8 C1"},
    {"offset NaN payload",
     [](VehicleMessage* m) {
         return zelto_vehicle_msg_set_offset_from_road_center(m, floatFromBits(0x7FC12345));
     },
     "05 2C 45 23 C1 7F"},
    {"offset -inf",
     [](VehicleMessage* m) {
         return zelto_vehicle_msg_set_offset_from_road_center(
             m, -std::numeric_limits<float>::infinity());
     },
     "05 2C 00 00 80 FF"},
    {"change lane",
     [](VehicleMessage* m) { return zelto_vehicle_msg_change_lane(m, 300, 2500, -23.0f); },
     "0B 25 2C 01 C4 09 00 00 B8 C1 00 00"},
    {"change lane max speed, NaN offset",
     [](VehicleMessage* m) {
         return zelto_vehicle_msg_change_lane(m, 0xFFFF, 0x0102, floatFromBits(0xFFFFFFFF));
     },
     "0B 25 FF FF 02 01 FF FF FF FF 00 00"},
    {"lights", [](VehicleMessage* m) { return zelto_vehicle_msg_set_lights(m, 0x5A); }, "02 1D 5A"},
    {"lights pattern",
     [](VehicleMessage* m) { return zelto_vehicle_msg_lights_pattern(m, 1, 2, 3, 4, 0x0102); },
     "07 33 01 02 03 04 02 01"},
    {"disconnect", [](VehicleMessage* m) { return zelto_vehicle_msg_disconnect(m); }, "01 0D"},
    {"cancel lane change",
     [](VehicleMessage* m) { return zelto_vehicle_msg_cancel_lane_change(m); }, "01 26"},
    {"turn 180", [](VehicleMessage* m) { return zelto_vehicle_msg_turn_180(m); }, "01 32"},
    {"ping", [](VehicleMessage* m) { return zelto_vehicle_msg_ping(m); }, "01 16"},
    {"get version", [](VehicleMessage* m) { return zelto_vehicle_msg_get_version(m); }, "01 18"},
    {"battery level", [](VehicleMessage* m) { return zelto_vehicle_msg_get_battery_level(m); },
     "01 1A"},
};

const uint8_t* bytesOf(const VehicleMessage& message) {
    return reinterpret_cast<const uint8_t*>(&message);
}

TEST(MessageBuilders, WriteTheirBytesAndReturnTheirLength) {
    for (const BuilderCase& c : kCases) {
        SCOPED_TRACE(c.name);
        VehicleMessage message{};
        const uint8_t length = c.build(&message);
        const sdk_test::Bytes expected = fromHex(c.expected);
        ASSERT_EQ(length, expected.size());
        EXPECT_EQ(message.size, length - 1);
        EXPECT_EQ(toHex(bytesOf(message), length), c.expected);
    }
}

// Builders write only their own bytes; change lane alone clears the buffer.
TEST(MessageBuilders, LeaveTheRestOfTheBufferAlone) {
    for (const BuilderCase& c : kCases) {
        SCOPED_TRACE(c.name);
        VehicleMessage message;
        std::memset(&message, 0xFF, sizeof message);
        const uint8_t length = c.build(&message);
        const bool clearsAll = message.msg_id == ZELTO_MSG_TO_VEHICLE_CHANGE_LANE;
        EXPECT_EQ(toHex(bytesOf(message), length), c.expected);
        for (size_t i = length; i < sizeof message; ++i) {
            EXPECT_EQ(bytesOf(message)[i], clearsAll ? 0x00 : 0xFF) << "byte " << i;
        }
    }
}

TEST(MessageBuilders, LengthsMatchTheNamedConstants) {
    VehicleMessage m{};
    EXPECT_EQ(zelto_vehicle_msg_set_sdk_mode(&m, 1, 1), ZELTO_MSG_LEN_SET_SDK_MODE);
    EXPECT_EQ(zelto_vehicle_msg_set_speed(&m, 1, 1), ZELTO_MSG_LEN_SET_SPEED);
    EXPECT_EQ(zelto_vehicle_msg_set_offset_from_road_center(&m, 1.0f),
              ZELTO_MSG_LEN_SET_OFFSET_FROM_ROAD_CENTER);
    EXPECT_EQ(zelto_vehicle_msg_change_lane(&m, 1, 1, 1.0f), ZELTO_MSG_LEN_CHANGE_LANE);
    EXPECT_EQ(zelto_vehicle_msg_set_lights(&m, 1), ZELTO_MSG_LEN_SET_LIGHTS);
    EXPECT_EQ(zelto_vehicle_msg_lights_pattern(&m, 1, 1, 1, 1, 1), ZELTO_MSG_LEN_LIGHTS_PATTERN);
    EXPECT_EQ(zelto_vehicle_msg_ping(&m), ZELTO_MSG_LEN_NO_PAYLOAD);
}

// Floats sit unaligned at offset 2 (set offset) and 6 (change lane).
TEST(MessageBuilders, StoreUnalignedFloatsLittleEndian) {
    VehicleMessage m{};
    zelto_vehicle_msg_set_offset_from_road_center(&m, floatFromBits(0x11223344));
    EXPECT_EQ(toHex(&m.payload[0], 4), "44 33 22 11");
    zelto_vehicle_msg_change_lane(&m, 0, 0, floatFromBits(0xA1B2C3D4));
    EXPECT_EQ(toHex(&m.payload[4], 4), "D4 C3 B2 A1");
}

struct NullCase {
    const char* builder;
    const char* parameter;
    std::function<void()> call;
};

TEST(MessageBuildersDeathTest, NullBufferStopsWithFunctionFileAndExpression) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const NullCase cases[] = {
        {"zelto_vehicle_msg_set_sdk_mode", "message",
         [] { zelto_vehicle_msg_set_sdk_mode(nullptr, 1, 1); }},
        {"zelto_vehicle_msg_set_speed", "message",
         [] { zelto_vehicle_msg_set_speed(nullptr, 1, 1); }},
        {"zelto_vehicle_msg_set_offset_from_road_center", "msg",
         [] { zelto_vehicle_msg_set_offset_from_road_center(nullptr, 1.0f); }},
        {"zelto_vehicle_msg_change_lane", "message",
         [] { zelto_vehicle_msg_change_lane(nullptr, 1, 1, 1.0f); }},
        {"zelto_vehicle_msg_set_lights", "message",
         [] { zelto_vehicle_msg_set_lights(nullptr, 1); }},
        {"zelto_vehicle_msg_lights_pattern", "message",
         [] { zelto_vehicle_msg_lights_pattern(nullptr, 1, 2, 3, 4, 5); }},
        {"zelto_vehicle_msg_disconnect", "msg", [] { zelto_vehicle_msg_disconnect(nullptr); }},
        {"zelto_vehicle_msg_cancel_lane_change", "msg",
         [] { zelto_vehicle_msg_cancel_lane_change(nullptr); }},
        {"zelto_vehicle_msg_turn_180", "msg", [] { zelto_vehicle_msg_turn_180(nullptr); }},
        {"zelto_vehicle_msg_ping", "msg", [] { zelto_vehicle_msg_ping(nullptr); }},
        {"zelto_vehicle_msg_get_version", "msg", [] { zelto_vehicle_msg_get_version(nullptr); }},
        {"zelto_vehicle_msg_get_battery_level", "msg",
         [] { zelto_vehicle_msg_get_battery_level(nullptr); }},
    };
    for (const NullCase& c : cases) {
        SCOPED_TRACE(c.builder);
        const std::string report = std::string("zelto_sdk/protocol:[0-9]+: ") + c.builder +
                                   ": Assertion `" + c.parameter + " != NULL' failed";
        EXPECT_DEATH(c.call(), report);
    }
}

}  // namespace
