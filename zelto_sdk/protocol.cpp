#include "zelto_sdk/protocol.h"

#include <cstring>

#include "zelto_sdk/byte_order.h"
#include "zelto_sdk/precondition.h"

using zelto_sdk_detail::store_f32_le;
using zelto_sdk_detail::store_u16_le;

namespace {

constexpr char kSourceFile[] = "zelto_sdk/protocol";

// Size byte and id; returns the total length.
uint8_t frame(VehicleMessage* msg, uint8_t total_length, uint8_t id) {
    msg->size = static_cast<uint8_t>(total_length - 1);
    msg->msg_id = id;
    return total_length;
}

}  // namespace

#define REQUIRE(expression) ZELTO_REQUIRE(kSourceFile, expression, #expression)

uint8_t zelto_vehicle_msg_set_sdk_mode(VehicleMessage* message, uint8_t sdk_mode_switch,
                                       uint8_t sdk_mode_options) {
    REQUIRE(message != NULL);
    message->payload[0] = sdk_mode_switch;
    message->payload[1] = sdk_mode_options;
    return frame(message, ZELTO_MSG_LEN_SET_SDK_MODE, ZELTO_MSG_TO_VEHICLE_SET_SDK_MODE);
}

uint8_t zelto_vehicle_msg_set_speed(VehicleMessage* message, uint16_t speed, uint16_t accel) {
    REQUIRE(message != NULL);
    store_u16_le(&message->payload[0], speed);
    store_u16_le(&message->payload[2], accel);
    message->payload[4] = 0;
    return frame(message, ZELTO_MSG_LEN_SET_SPEED, ZELTO_MSG_TO_VEHICLE_SET_SPEED);
}

uint8_t zelto_vehicle_msg_set_offset_from_road_center(VehicleMessage* msg, float offset) {
    REQUIRE(msg != NULL);
    store_f32_le(&msg->payload[0], offset);
    return frame(msg, ZELTO_MSG_LEN_SET_OFFSET_FROM_ROAD_CENTER,
                 ZELTO_MSG_TO_VEHICLE_SET_OFFSET_FROM_ROAD_CENTER);
}

uint8_t zelto_vehicle_msg_change_lane(VehicleMessage* message, uint16_t speed, uint16_t accel,
                                      float offset_from_road_center) {
    REQUIRE(message != NULL);
    // The whole buffer is cleared: its two trailing zero bytes and the unused rest.
    std::memset(message, 0, sizeof(VehicleMessage));
    store_u16_le(&message->payload[0], speed);
    store_u16_le(&message->payload[2], accel);
    store_f32_le(&message->payload[4], offset_from_road_center);
    return frame(message, ZELTO_MSG_LEN_CHANGE_LANE, ZELTO_MSG_TO_VEHICLE_CHANGE_LANE);
}

uint8_t zelto_vehicle_msg_set_lights(VehicleMessage* message, uint8_t lights) {
    REQUIRE(message != NULL);
    message->payload[0] = lights;
    return frame(message, ZELTO_MSG_LEN_SET_LIGHTS, ZELTO_MSG_TO_VEHICLE_SET_LIGHTS);
}

uint8_t zelto_vehicle_msg_lights_pattern(VehicleMessage* message, uint8_t value1, uint8_t value2,
                                         uint8_t value3, uint8_t value4, uint16_t value5) {
    REQUIRE(message != NULL);
    message->payload[0] = value1;
    message->payload[1] = value2;
    message->payload[2] = value3;
    message->payload[3] = value4;
    store_u16_le(&message->payload[4], value5);
    return frame(message, ZELTO_MSG_LEN_LIGHTS_PATTERN, ZELTO_MSG_TO_VEHICLE_LIGHTS_PATTERN);
}

uint8_t zelto_vehicle_msg_disconnect(VehicleMessage* msg) {
    REQUIRE(msg != NULL);
    return frame(msg, ZELTO_MSG_LEN_NO_PAYLOAD, ZELTO_MSG_TO_VEHICLE_DISCONNECT);
}

uint8_t zelto_vehicle_msg_cancel_lane_change(VehicleMessage* msg) {
    REQUIRE(msg != NULL);
    return frame(msg, ZELTO_MSG_LEN_NO_PAYLOAD, ZELTO_MSG_TO_VEHICLE_CANCEL_LANE_CHANGE);
}

uint8_t zelto_vehicle_msg_turn_180(VehicleMessage* msg) {
    REQUIRE(msg != NULL);
    return frame(msg, ZELTO_MSG_LEN_NO_PAYLOAD, ZELTO_MSG_TO_VEHICLE_TURN_180);
}

uint8_t zelto_vehicle_msg_ping(VehicleMessage* msg) {
    REQUIRE(msg != NULL);
    return frame(msg, ZELTO_MSG_LEN_NO_PAYLOAD, ZELTO_MSG_TO_VEHICLE_PING);
}

uint8_t zelto_vehicle_msg_get_version(VehicleMessage* msg) {
    REQUIRE(msg != NULL);
    return frame(msg, ZELTO_MSG_LEN_NO_PAYLOAD, ZELTO_MSG_TO_VEHICLE_GET_VERSION);
}

uint8_t zelto_vehicle_msg_get_battery_level(VehicleMessage* msg) {
    REQUIRE(msg != NULL);
    return frame(msg, ZELTO_MSG_LEN_NO_PAYLOAD, ZELTO_MSG_TO_VEHICLE_GET_BATTERY_LEVEL);
}

bool zelto_vehicle_msg_supersedes(const uint8_t* waiting, size_t waiting_len,
                                  const uint8_t* newer, size_t newer_len) {
    if (waiting == nullptr || newer == nullptr || waiting_len < 2 || waiting_len != newer_len) {
        return false;
    }
    const uint8_t id = waiting[1];
    const bool latestValue = id == ZELTO_MSG_TO_VEHICLE_SET_SPEED ||
                             id == ZELTO_MSG_TO_VEHICLE_CHANGE_LANE ||
                             id == ZELTO_MSG_TO_VEHICLE_SET_OFFSET_FROM_ROAD_CENTER;
    return latestValue && waiting[0] == newer[0] && id == newer[1];
}
