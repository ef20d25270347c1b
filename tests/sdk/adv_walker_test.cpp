// zelto_adv_parse and zelto_adv_is_vehicle: the payload walk.
#include <gtest/gtest.h>

#include <cstring>

#include "hex_bytes.h"
#include "zelto_sdk/advertisement.h"

namespace {

using sdk_test::Bytes;
using sdk_test::fromHex;
using sdk_test::kVehiclePayload;
using sdk_test::toHex;

const std::string kServiceHex = toHex(ZELTO_VEHICLE_SERVICE_UUID, 16);
const char kOtherUuid[] = "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF";

zelto_adv_info clearedRecord() { return zelto_adv_info{}; }

zelto_adv_info filledRecord(uint8_t fill) {
    zelto_adv_info info;
    std::memset(&info, fill, sizeof info);
    return info;
}

bool sameRecord(const zelto_adv_info& a, const zelto_adv_info& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Exact-size heap copy, so that the sanitizers see any read past the length.
uint8_t walk(const Bytes& payload, zelto_adv_info* info) {
    const Bytes copy(payload);
    return zelto_adv_parse(copy.empty() ? reinterpret_cast<const uint8_t*>("") : copy.data(),
                           copy.size(), info);
}

TEST(AdvWalker, VehiclePayloadFillsTheRecord) {
    zelto_adv_info info = clearedRecord();
    ASSERT_EQ(walk(kVehiclePayload, &info), ZELTO_ADV_PARSE_VEHICLE);
    EXPECT_EQ(info.flags, 0x06);
    EXPECT_EQ(toHex(info.service_id, 16), kServiceHex);
    EXPECT_EQ(info.mfg_data.product_id, 0xBEEF);
    EXPECT_EQ(info.mfg_data.reserved, 0);
    EXPECT_EQ(info.mfg_data.model_id, 9);
    EXPECT_EQ(info.mfg_data.identifier, 0x12345678u);
    EXPECT_EQ(info.tx_power, 0);
    EXPECT_EQ(info.local_name.version, 0);
}

TEST(AdvWalker, VehiclePayloadWithoutRecordIsAVehicle) {
    EXPECT_EQ(walk(kVehiclePayload, nullptr), ZELTO_ADV_PARSE_VEHICLE);
    EXPECT_TRUE(zelto_adv_is_vehicle(kVehiclePayload.data(), kVehiclePayload.size()));
}

TEST(AdvWalker, NullPayloadIsRefusedAndWritesNothing) {
    zelto_adv_info info = filledRecord(0x5A);
    const zelto_adv_info before = info;
    EXPECT_EQ(zelto_adv_parse(nullptr, 31, &info), ZELTO_ADV_PARSE_NO_PAYLOAD);
    EXPECT_EQ(zelto_adv_parse(nullptr, 0, nullptr), ZELTO_ADV_PARSE_NO_PAYLOAD);
    EXPECT_TRUE(sameRecord(info, before));
    EXPECT_FALSE(zelto_adv_is_vehicle(nullptr, 31));
}

struct WalkCase {
    const char* name;
    const char* payload;
    uint8_t withRecord;  // walked into a cleared record
    uint8_t withoutRecord;
};

const WalkCase kWalkCases[] = {
    {"empty payload", "", 2, 2},
    {"unhandled first field", "03 03 AA FE", 3, 3},
    {"unhandled field after the service",
     "11 07 F4 8D 4D 9C D8 0B 81 83 7E 40 86 61 EF BE 15 BE 03 03 AA FE", 3, 0},
    {"other 128-bit UUID",
     "02 01 06 11 07 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 03 03 AA FE", 2, 2},
    {"short UUID list", "05 07 01 02 03 04", 2, 0},
    {"empty UUID list", "01 07", 2, 0},
    {"no UUID field", "02 01 06 02 0A F4", 2, 2},
    {"zero length byte ends the walk", "02 01 06 00 03 03 AA FE", 2, 2},
    {"zero type byte ends the walk", "02 01 06 02 00 05 03 03 AA FE", 2, 2},
    {"vehicle UUID after a zero length byte",
     "00 11 07 F4 8D 4D 9C D8 0B 81 83 7E 40 86 61 EF BE 15 BE", 2, 2},
    {"lone trailing length byte", "02 01 06 05", 2, 2},
    {"field longer than the payload", "02 01 06 05 03 AA", 2, 2},
    {"UUID field cut short", "11 07 F4 8D 4D 9C D8 0B 81 83 7E 40", 2, 2},
    {"length byte 0xFF", "FF 07 01 02", 2, 2},
};

TEST(AdvWalker, ResultsForShapesOfPayload) {
    for (const WalkCase& c : kWalkCases) {
        SCOPED_TRACE(c.name);
        const Bytes payload = fromHex(c.payload);
        zelto_adv_info info = clearedRecord();
        EXPECT_EQ(walk(payload, &info), c.withRecord);
        EXPECT_EQ(walk(payload, nullptr), c.withoutRecord);
        EXPECT_EQ(zelto_adv_is_vehicle(payload.data(), payload.size()), c.withoutRecord == 0);
    }
}

TEST(AdvWalker, OtherUuidStopsAtOnceAndKeepsEarlierSlots) {
    const Bytes payload =
        fromHex(std::string("02 01 06 11 07 ") + kOtherUuid + " 09 FF BE EF 00 09 12 34 56 78");
    zelto_adv_info info = filledRecord(0xAA);
    EXPECT_EQ(walk(payload, &info), ZELTO_ADV_PARSE_NOT_VEHICLE);
    EXPECT_EQ(info.flags, 0x06);
    EXPECT_EQ(toHex(info.service_id, 16), toHex(Bytes(16, 0xAA)));
    EXPECT_EQ(info.mfg_data.product_id, 0xAAAA) << "manufacturer data after the UUID is not read";
}

TEST(AdvWalker, UnhandledFieldKeepsWhatEarlierFieldsWrote) {
    zelto_adv_info info = clearedRecord();
    EXPECT_EQ(walk(fromHex("02 01 06 03 03 AA FE 02 0A F4"), &info),
              ZELTO_ADV_PARSE_UNHANDLED_FIELD);
    EXPECT_EQ(info.flags, 0x06);
    EXPECT_EQ(info.tx_power, 0) << "the walk stopped before the tx power field";
}

TEST(AdvWalker, FinalTestReadsTheCallersServiceId) {
    zelto_adv_info info = clearedRecord();
    std::memcpy(info.service_id, ZELTO_VEHICLE_SERVICE_UUID, 16);
    EXPECT_EQ(walk(fromHex("02 01 06"), &info), ZELTO_ADV_PARSE_VEHICLE);
    EXPECT_EQ(walk(Bytes{}, &info), ZELTO_ADV_PARSE_VEHICLE);
    EXPECT_EQ(walk(Bytes{}, nullptr), ZELTO_ADV_PARSE_NOT_VEHICLE);
}

TEST(AdvWalker, ShortUuidListIsCopiedIntoItsSlot) {
    zelto_adv_info info = filledRecord(0xEE);
    EXPECT_EQ(walk(fromHex("05 07 01 02 03 04"), &info), ZELTO_ADV_PARSE_NOT_VEHICLE);
    EXPECT_EQ(toHex(info.service_id, 16), "01 02 03 04 EE EE EE EE EE EE EE EE EE EE EE EE");
}

// Two UUIDs (32 bytes): the first 16 are kept, the rest cut off.
TEST(AdvWalker, LongUuidListIsCutToTheSlot) {
    const Bytes payload = fromHex("21 07 " + kServiceHex + " " + kOtherUuid + " 02 0A 7F");
    zelto_adv_info info = clearedRecord();
    EXPECT_EQ(walk(payload, &info), ZELTO_ADV_PARSE_VEHICLE);
    EXPECT_EQ(toHex(info.service_id, 16), kServiceHex);
    EXPECT_EQ(info.tx_power, 0x7F);
    EXPECT_EQ(walk(payload, nullptr), ZELTO_ADV_PARSE_VEHICLE) << "not a 16-byte list: no compare";
}

TEST(AdvWalker, OneByteSlotsTakeTheFirstDataByte) {
    zelto_adv_info info = filledRecord(0x33);
    walk(fromHex("04 01 AA BB CC 03 0A DD EE"), &info);
    EXPECT_EQ(info.flags, 0xAA);
    EXPECT_EQ(info.tx_power, 0xDD);
    EXPECT_EQ(info.mfg_data.identifier, 0x33333333u) << "the neighbouring slot is untouched";

    zelto_adv_info empty = filledRecord(0x33);
    walk(fromHex("01 01 01 0A"), &empty);
    EXPECT_EQ(empty.flags, 0x33) << "no data, slot unchanged";
    EXPECT_EQ(empty.tx_power, 0x33);
}

TEST(AdvWalker, LaterFieldOfTheSameTypeWins) {
    zelto_adv_info info = clearedRecord();
    walk(fromHex("02 01 06 02 01 1A"), &info);
    EXPECT_EQ(info.flags, 0x1A);
}

TEST(AdvWalker, MalformedManufacturerDataIsSkipped) {
    const Bytes payload = fromHex("08 FF BE EF 00 09 12 34 56 11 07 " + kServiceHex);
    zelto_adv_info info = filledRecord(0x44);
    EXPECT_EQ(walk(payload, &info), ZELTO_ADV_PARSE_VEHICLE);
    EXPECT_EQ(info.mfg_data.product_id, 0x4444);
    EXPECT_EQ(info.mfg_data.identifier, 0x44444444u);
}

TEST(AdvWalker, LocalNameIsDecodedIntoItsSlot) {
    zelto_adv_info info = clearedRecord();
    walk(fromHex("0B 09 70 34 12 00 00 00 00 00 41 42"), &info);
    EXPECT_EQ(info.local_name.state, 0x70);
    EXPECT_EQ(info.local_name.version, 0x1234);
    EXPECT_EQ(toHex(info.local_name.name, 13), "41 42 00 00 00 00 00 00 00 00 00 00 00");
}

// Only whole fields count: each cut of the sample stops after the last field
// that fits completely.
TEST(AdvWalker, EveryTruncationOfTheVehiclePayload) {
    for (size_t length = 0; length <= kVehiclePayload.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        const Bytes cut(kVehiclePayload.begin(), kVehiclePayload.begin() + length);
        zelto_adv_info info = clearedRecord();
        const bool hasService = length >= sdk_test::kServiceEnd;
        const uint8_t expected = hasService ? ZELTO_ADV_PARSE_VEHICLE : ZELTO_ADV_PARSE_NOT_VEHICLE;
        EXPECT_EQ(walk(cut, &info), expected);
        EXPECT_EQ(walk(cut, nullptr), expected);
        EXPECT_EQ(info.flags, length >= sdk_test::kFlagsEnd ? 0x06 : 0x00);
        EXPECT_EQ(toHex(info.service_id, 16), hasService ? kServiceHex : toHex(Bytes(16, 0)));
        EXPECT_EQ(info.mfg_data.identifier, length >= sdk_test::kMfgEnd ? 0x12345678u : 0u);
    }
}

// Positions are not limited to 8 or 31 bits: a long run of fields still walks.
TEST(AdvWalker, LongPayloadWalksToItsEnd) {
    Bytes payload;
    for (int i = 0; i < 400; ++i) {
        payload.insert(payload.end(), {0x02, 0x01, static_cast<uint8_t>(i)});
    }
    const Bytes service = fromHex("11 07 " + kServiceHex);
    payload.insert(payload.end(), service.begin(), service.end());
    zelto_adv_info info = clearedRecord();
    EXPECT_EQ(walk(payload, &info), ZELTO_ADV_PARSE_VEHICLE);
    EXPECT_EQ(info.flags, static_cast<uint8_t>(399));
    EXPECT_EQ(walk(payload, nullptr), ZELTO_ADV_PARSE_VEHICLE);
}

}  // namespace
