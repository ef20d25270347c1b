// The field decoders (manufacturer data, local name) and the UUID helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "hex_bytes.h"
#include "zelto_sdk/advertisement.h"

namespace {

using sdk_test::Bytes;
using sdk_test::fromHex;
using sdk_test::toHex;

template <typename Record>
Record filled(uint8_t fill) {
    Record record;
    std::memset(&record, fill, sizeof record);
    return record;
}

template <typename Record>
bool same(const Record& a, const Record& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(AdvMfgData, DecodesBigEndianFields) {
    struct Case {
        const char* data;
        uint16_t product;
        uint8_t reserved;
        uint8_t model;
        uint32_t identifier;
    };
    const Case cases[] = {
        {"BE EF 00 09 12 34 56 78", 0xBEEF, 0x00, 9, 0x12345678},
        {"00 01 7F FF 80 00 00 01", 0x0001, 0x7F, 0xFF, 0x80000001},
        {"FF FF FF FF FF FF FF FF", 0xFFFF, 0xFF, 0xFF, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        const Bytes data = fromHex(c.data);
        auto out = filled<zelto_adv_mfg_info>(0x5A);
        ASSERT_EQ(zelto_adv_parse_mfg_data(data.data(), 8, &out), 0);
        EXPECT_EQ(out.product_id, c.product);
        EXPECT_EQ(out.reserved, c.reserved);
        EXPECT_EQ(out.model_id, c.model);
        EXPECT_EQ(out.identifier, c.identifier);
    }
}

TEST(AdvMfgData, RefusesNullAndEveryOtherLength) {
    const Bytes data(255, 0x11);
    const auto before = filled<zelto_adv_mfg_info>(0x5A);
    for (int length = 0; length <= 255; ++length) {
        if (length == 8) continue;
        auto out = before;
        EXPECT_EQ(zelto_adv_parse_mfg_data(data.data(), static_cast<uint8_t>(length), &out), 1)
            << "length " << length;
        EXPECT_TRUE(same(out, before)) << "length " << length;
    }
    auto out = before;
    EXPECT_EQ(zelto_adv_parse_mfg_data(nullptr, 8, &out), 1);
    EXPECT_TRUE(same(out, before));
}

struct NameCase {
    const char* name;
    const char* data;
    uint8_t state;     // starting from 0x8F in a record filled with 0xEE
    uint16_t version;  // starting from 0xEEEE
    const char* text;  // the 13 name bytes
};

const char kUntouchedName[] = "EE EE EE EE EE EE EE EE EE EE EE EE EE";

const NameCase kNameCases[] = {
    {"state only", "A5", 0xAF, 0xEEEE, kUntouchedName},
    {"state bits only, others kept", "0F", 0x8F, 0xEEEE, kUntouchedName},
    {"one version byte", "70 34", 0xFF, 0x0034, kUntouchedName},
    {"full version", "00 34 12", 0x8F, 0x1234, kUntouchedName},
    {"8 bytes, no name yet", "10 01 02 03 04 05 06 07", 0x9F, 0x0201, kUntouchedName},
    {"short name", "70 34 12 00 00 00 00 00 41 42", 0xFF, 0x1234,
     "41 42 00 00 00 00 00 00 00 00 00 00 00"},
    {"13-byte name fills the slot",
     "00 01 00 00 00 00 00 00 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D", 0x8F, 0x0001,
     "61 62 63 64 65 66 67 68 69 6A 6B 6C 6D"},
    {"longer name is cut",
     "00 01 00 00 00 00 00 00 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70", 0x8F, 0x0001,
     "61 62 63 64 65 66 67 68 69 6A 6B 6C 6D"},
};

TEST(AdvLocalName, DecodesWhatItsLengthHolds) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(c.name);
        const Bytes data = fromHex(c.data);
        auto out = filled<zelto_adv_name_info>(0xEE);
        out.state = 0x8F;
        ASSERT_EQ(zelto_adv_parse_local_name(data.data(), static_cast<uint8_t>(data.size()), &out),
                  0);
        EXPECT_EQ(out.state, c.state);
        EXPECT_EQ(out.version, c.version);
        EXPECT_EQ(toHex(out.name, 13), c.text);
        EXPECT_EQ(toHex(out.reserved, 5), "EE EE EE EE EE");
    }
}

// The largest length a field can carry; the record after the slot stays intact.
TEST(AdvLocalName, LongestDataStaysInsideTheRecord) {
    Bytes data(254, 0x41);
    zelto_adv_info info{};
    info.service_id[0] = 0x99;
    EXPECT_EQ(zelto_adv_parse_local_name(data.data(), 254, &info.local_name), 0);
    EXPECT_EQ(toHex(info.local_name.name, 13), toHex(Bytes(13, 0x41)));
    EXPECT_EQ(info.service_id[0], 0x99);
}

TEST(AdvLocalName, RefusesEmptyOrNullData) {
    const auto before = filled<zelto_adv_name_info>(0x5A);
    auto out = before;
    const uint8_t byte = 0x70;
    EXPECT_EQ(zelto_adv_parse_local_name(&byte, 0, &out), 1);
    EXPECT_EQ(zelto_adv_parse_local_name(nullptr, 0, &out), 1);
    EXPECT_EQ(zelto_adv_parse_local_name(nullptr, 10, &out), 1);
    EXPECT_TRUE(same(out, before));
}

TEST(AdvUuid, ComparesAsUnsignedBytesFromTheFirst) {
    uint8_t a[16] = {};
    uint8_t b[16] = {};
    EXPECT_EQ(zelto_uuid128_compare(a, b), 0);
    a[3] = 0x80;
    b[3] = 0x7F;
    EXPECT_EQ(zelto_uuid128_compare(a, b), 1);
    EXPECT_EQ(zelto_uuid128_compare(b, a), -1);
    b[15] = 0xFF;  // a later difference does not outweigh an earlier one
    EXPECT_EQ(zelto_uuid128_compare(a, b), 1);

    uint8_t c[16] = {};
    uint8_t d[16] = {};
    c[15] = 1;  // differences in the second half count too
    EXPECT_EQ(zelto_uuid128_compare(c, d), 1);
    EXPECT_EQ(zelto_uuid128_compare(d, c), -1);
    EXPECT_EQ(zelto_uuid128_compare(c, c), 0);
}

// The constant is the text form "BE15BEEF-6186-407E-8381-0BD89C4D8DF4" read
// from its last byte to its first.
TEST(AdvUuid, ServiceConstantIsTheTextFormReversed) {
    Bytes text = fromHex("BE15BEEF-6186-407E-8381-0BD89C4D8DF4");
    std::reverse(text.begin(), text.end());
    EXPECT_EQ(toHex(ZELTO_VEHICLE_SERVICE_UUID, 16), toHex(text));
    EXPECT_TRUE(zelto_adv_is_vehicle_service(text.data()));
}

TEST(AdvUuid, OnlyTheExactServiceUuidIsTheVehicleService) {
    EXPECT_TRUE(zelto_adv_is_vehicle_service(ZELTO_VEHICLE_SERVICE_UUID));
    const Bytes textOrder = fromHex("BE15BEEF-6186-407E-8381-0BD89C4D8DF4");
    EXPECT_FALSE(zelto_adv_is_vehicle_service(textOrder.data()));
    for (int i = 0; i < 16; ++i) {
        uint8_t uuid[16];
        std::memcpy(uuid, ZELTO_VEHICLE_SERVICE_UUID, 16);
        uuid[i] ^= 0x01;
        EXPECT_FALSE(zelto_adv_is_vehicle_service(uuid)) << "byte " << i;
    }
}

TEST(AdvDecodersDeathTest, NullRecordsAndUuidsStopWithAReport) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const uint8_t data[16] = {};
    const char* where = "zelto_sdk/advertisement:[0-9]+: ";
    EXPECT_DEATH(zelto_adv_parse_mfg_data(data, 8, nullptr),
                 std::string(where) + "zelto_adv_parse_mfg_data: Assertion `out != NULL' failed");
    EXPECT_DEATH(zelto_adv_parse_local_name(data, 3, nullptr),
                 std::string(where) + "zelto_adv_parse_local_name: Assertion `out != NULL' failed");
    EXPECT_DEATH(zelto_uuid128_compare(nullptr, data),
                 std::string(where) + "zelto_uuid128_compare: Assertion `a != NULL' failed");
    EXPECT_DEATH(zelto_uuid128_compare(data, nullptr),
                 std::string(where) + "zelto_uuid128_compare: Assertion `b != NULL' failed");
    EXPECT_DEATH(
        zelto_adv_is_vehicle_service(nullptr),
        std::string(where) + "zelto_adv_is_vehicle_service: Assertion `uuid != NULL' failed");
}

}  // namespace
