// Decoders of what a vehicle broadcasts before anyone connects to it: the raw
// advertising payload (a run of length/type/data fields), its
// manufacturer-data field and its local-name field.
//
// Radio bytes are untrusted: no decoder reads outside the length it is given
// or writes outside the caller's record, and none allocates.
//
// Choices for malformed input:
// - A field whose length byte promises more bytes than remain, or a length
//   byte that is the payload's last byte, is not a field: the walk ends there,
//   exactly as at a zero length byte. `zelto_adv_parse` then runs its final
//   test and `zelto_adv_split_fields` does not count the field. The splitter
//   therefore yields exactly the fields that the walker sees.
// - Data longer than its slot is cut to the slot: `flags` and `tx_power` take
//   the first data byte, `service_id` the first 16, `name` the first 13 and a
//   split item's `data` the first 30. Empty data leaves the slot as it was.
//   A split item's `length` is the number of bytes stored in `data`, so the
//   first `length` bytes of `data` are always valid.
// - Positions and counts are size_t, so payloads of any length walk and count
//   correctly.
// - The record and UUID pointers must not be null; a null one stops the
//   process with a report on stderr, as the builders do.
#pragma once

#include <cstddef>
#include <cstdint>

// Field types of an advertising payload that the walker handles.
inline constexpr uint8_t ZELTO_ADV_TYPE_FLAGS = 0x01;
inline constexpr uint8_t ZELTO_ADV_TYPE_UUID128_COMPLETE = 0x07;
inline constexpr uint8_t ZELTO_ADV_TYPE_COMPLETE_LOCAL_NAME = 0x09;
inline constexpr uint8_t ZELTO_ADV_TYPE_TX_POWER = 0x0a;
inline constexpr uint8_t ZELTO_ADV_TYPE_MANUFACTURER_DATA = 0xff;

// Results of zelto_adv_parse.
inline constexpr uint8_t ZELTO_ADV_PARSE_VEHICLE = 0;
inline constexpr uint8_t ZELTO_ADV_PARSE_NO_PAYLOAD = 1;
inline constexpr uint8_t ZELTO_ADV_PARSE_NOT_VEHICLE = 2;
inline constexpr uint8_t ZELTO_ADV_PARSE_UNHANDLED_FIELD = 3;

// Manufacturer data: exactly this many bytes; vehicles carry this product id.
inline constexpr uint8_t ZELTO_ADV_MFG_DATA_LEN = 8;
inline constexpr uint16_t ZELTO_ADV_VEHICLE_PRODUCT_ID = 0xBEEF;

// Bits of the local name's first byte that make up the state.
inline constexpr uint8_t ZELTO_ADV_NAME_STATE_MASK = 0x70;

// The vehicle service UUID BE15BEEF-6186-407E-8381-0BD89C4D8DF4 in payload
// byte order (least significant byte first, the text form reversed).
inline constexpr uint8_t ZELTO_VEHICLE_SERVICE_UUID[16] = {
    0xF4, 0x8D, 0x4D, 0x9C, 0xD8, 0x0B, 0x81, 0x83, 0x7E, 0x40, 0x86, 0x61, 0xEF, 0xBE, 0x15, 0xBE,
};

struct zelto_adv_mfg_info {
    uint32_t identifier;
    uint8_t model_id;
    uint8_t reserved;
    uint16_t product_id;
};

struct zelto_adv_name_info {
    uint8_t state;  // only bits 4-6 are written
    uint16_t version;
    uint8_t reserved[5];  // never written
    uint8_t name[13];     // no terminator when all 13 bytes are used
};

struct zelto_adv_info {
    uint8_t flags;
    uint8_t tx_power;
    zelto_adv_mfg_info mfg_data;
    zelto_adv_name_info local_name;
    uint8_t service_id[16];  // payload byte order
};

struct zelto_adv_field {
    uint8_t type;
    uint8_t length;  // bytes stored in data (at most 30)
    uint8_t data[30];
};

// Walks the payload. With a record, fills the slots of the fields it meets
// (never clearing the record) and finally tests `service_id`; with a null
// record it only classifies, answering at the first 0x07 field. Returns one of
// the ZELTO_ADV_PARSE_* results.
uint8_t zelto_adv_parse(const uint8_t* payload, size_t length, zelto_adv_info* info);

// 8 bytes: product id (big-endian), reserved, model id, identifier
// (big-endian). Returns 0, or 1 for null data or another length (out untouched).
uint8_t zelto_adv_parse_mfg_data(const uint8_t* data, uint8_t length, zelto_adv_mfg_info* out);

// state bits, version (little-endian), 5 unread bytes, name. Returns 1 for
// length 0 or null data (out untouched), otherwise 0. Fields beyond the length
// keep their values; the name is cleared before a name is copied in.
uint8_t zelto_adv_parse_local_name(const uint8_t* data, uint8_t length, zelto_adv_name_info* out);

// Orders two 16-byte UUIDs as unsigned byte strings from byte 0: -1, 0 or 1.
int32_t zelto_uuid128_compare(const uint8_t* a, const uint8_t* b);

bool zelto_adv_is_vehicle_service(const uint8_t* uuid);

// True when zelto_adv_parse without a record returns ZELTO_ADV_PARSE_VEHICLE.
bool zelto_adv_is_vehicle(const uint8_t* payload, size_t length);

// Splits the payload into its fields, every type accepted. `count` (if given)
// receives the number of fields, `items` (if given) one entry per field and
// must have room for all of them: a payload of n bytes holds at most n / 2
// fields. Returns 1 for a null payload (nothing written), otherwise 0.
uint8_t zelto_adv_split_fields(const uint8_t* payload, size_t length, size_t* count,
                               zelto_adv_field* items);
