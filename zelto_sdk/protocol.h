// Wire format of the messages exchanged with a vehicle, and the builders of
// the messages the host sends.
//
// A message is one characteristic value: byte 0 is the size (the number of
// bytes after it), byte 1 the message id, then the packed payload. Integers
// are little-endian, floats IEEE 754 binary32 little-endian, nothing is
// aligned. A message is at most 20 bytes and every buffer holding one is 20
// bytes.
//
// Each builder fills the caller's buffer and returns the total length to send
// (size byte + 1). Bytes beyond the ones a builder writes keep what the caller
// left there, except that the change-lane builder clears the whole 20-byte
// buffer first. Values are never range-checked: wider values are cut to
// their field, floats are stored bit for bit (-0.0 and NaN payloads
// included). A null buffer stops the process with a report on stderr in
// every build type.
#pragma once

#include <cstddef>
#include <cstdint>

struct VehicleMessage {
    uint8_t size;
    uint8_t msg_id;
    uint8_t payload[18];
};
static_assert(sizeof(VehicleMessage) == 20, "a vehicle message is exactly 20 bytes");

// Room for the largest message; buffers that hold a message have this size.
inline constexpr size_t ZELTO_VEHICLE_MSG_MAX_LEN = 20;

// Ids of the messages the host sends to a vehicle.
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_SET_SDK_MODE = 0x90;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_SET_SPEED = 0x24;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_SET_OFFSET_FROM_ROAD_CENTER = 0x2c;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_CHANGE_LANE = 0x25;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_SET_LIGHTS = 0x1d;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_LIGHTS_PATTERN = 0x33;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_DISCONNECT = 0x0d;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_CANCEL_LANE_CHANGE = 0x26;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_TURN_180 = 0x32;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_PING = 0x16;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_GET_VERSION = 0x18;
inline constexpr uint8_t ZELTO_MSG_TO_VEHICLE_GET_BATTERY_LEVEL = 0x1a;

// Ids of the messages a vehicle notifies that the host handles. Every other
// id (0x18 and 0x25 included) is an unknown message on the way in.
inline constexpr uint8_t ZELTO_MSG_FROM_VEHICLE_PING = 0x17;
inline constexpr uint8_t ZELTO_MSG_FROM_VEHICLE_VERSION_RESPONSE = 0x19;
inline constexpr uint8_t ZELTO_MSG_FROM_VEHICLE_REPORT_1B = 0x1b;
inline constexpr uint8_t ZELTO_MSG_FROM_VEHICLE_REPORT_27 = 0x27;
inline constexpr uint8_t ZELTO_MSG_FROM_VEHICLE_REPORT_29 = 0x29;
inline constexpr uint8_t ZELTO_MSG_FROM_VEHICLE_DELOCALIZED = 0x2b;

// Total lengths (size byte included) of the outbound messages.
inline constexpr uint8_t ZELTO_MSG_LEN_SET_SDK_MODE = 4;
inline constexpr uint8_t ZELTO_MSG_LEN_SET_SPEED = 7;
inline constexpr uint8_t ZELTO_MSG_LEN_SET_OFFSET_FROM_ROAD_CENTER = 6;
inline constexpr uint8_t ZELTO_MSG_LEN_CHANGE_LANE = 12;
inline constexpr uint8_t ZELTO_MSG_LEN_SET_LIGHTS = 3;
inline constexpr uint8_t ZELTO_MSG_LEN_LIGHTS_PATTERN = 8;
inline constexpr uint8_t ZELTO_MSG_LEN_NO_PAYLOAD = 2;  // disconnect, cancel lane change,
                                                        // turn 180, ping, get version,
                                                        // get battery level

// Leading bytes of an inbound message that the host takes for the ids with a
// fixed length. The version response carries a u16 version at offset 2.
inline constexpr uint8_t ZELTO_MSG_LEN_VERSION_RESPONSE = 4;
inline constexpr uint8_t ZELTO_MSG_LEN_REPORT_27 = 11;
inline constexpr uint8_t ZELTO_MSG_LEN_REPORT_29 = 8;

// 03 90 switch options
uint8_t zelto_vehicle_msg_set_sdk_mode(VehicleMessage* message, uint8_t sdk_mode_switch,
                                       uint8_t sdk_mode_options);
// 06 24 speed(u16) accel(u16) 00
uint8_t zelto_vehicle_msg_set_speed(VehicleMessage* message, uint16_t speed, uint16_t accel);
// 05 2C offset(f32)
uint8_t zelto_vehicle_msg_set_offset_from_road_center(VehicleMessage* msg, float offset);
// 0B 25 speed(u16) accel(u16) offset(f32) 00 00; clears all 20 bytes first.
uint8_t zelto_vehicle_msg_change_lane(VehicleMessage* message, uint16_t speed, uint16_t accel,
                                      float offset_from_road_center);
// 02 1D value
uint8_t zelto_vehicle_msg_set_lights(VehicleMessage* message, uint8_t lights);
// 07 33 v1 v2 v3 v4 v5(u16)
uint8_t zelto_vehicle_msg_lights_pattern(VehicleMessage* message, uint8_t value1, uint8_t value2,
                                         uint8_t value3, uint8_t value4, uint16_t value5);
// 01 id
uint8_t zelto_vehicle_msg_disconnect(VehicleMessage* msg);
uint8_t zelto_vehicle_msg_cancel_lane_change(VehicleMessage* msg);
uint8_t zelto_vehicle_msg_turn_180(VehicleMessage* msg);
uint8_t zelto_vehicle_msg_ping(VehicleMessage* msg);
uint8_t zelto_vehicle_msg_get_version(VehicleMessage* msg);
uint8_t zelto_vehicle_msg_get_battery_level(VehicleMessage* msg);

// Whether a newer frame may take the place of an older one that has not been
// sent yet: both are whole frames of the same latest-value message (set
// speed, change lane, set offset from road centre; same length, same size
// byte, same id), so the older one says nothing the newer one does not. A
// radio that paces its writes uses this to keep a fast stream of commands
// from building a backlog. Null data with a zero length is allowed.
bool zelto_vehicle_msg_supersedes(const uint8_t* waiting, size_t waiting_len,
                                  const uint8_t* newer, size_t newer_len);
