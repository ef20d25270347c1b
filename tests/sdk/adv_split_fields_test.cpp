// zelto_adv_split_fields: cutting a payload into its fields.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hex_bytes.h"
#include "zelto_sdk/advertisement.h"

namespace {

using sdk_test::Bytes;
using sdk_test::fromHex;
using sdk_test::kVehiclePayload;
using sdk_test::toHex;

constexpr size_t kUntouched = 0xC0FFEE;

// Splits an exact-size heap copy into items prefilled with 0xCC.
struct Split {
    explicit Split(const Bytes& payload) : items(payload.size() / 2 + 1) {
        for (zelto_adv_field& item : items) std::memset(&item, 0xCC, sizeof item);
        const Bytes copy(payload);
        result = zelto_adv_split_fields(
            copy.empty() ? reinterpret_cast<const uint8_t*>("") : copy.data(), copy.size(), &count,
            items.data());
    }
    std::string item(size_t i) const {
        return std::to_string(items[i].type) + ":" + std::to_string(items[i].length) + ":" +
               toHex(items[i].data, items[i].length);
    }
    std::vector<zelto_adv_field> items;
    size_t count = kUntouched;
    uint8_t result = 0xFF;
};

TEST(AdvSplitFields, SplitsEveryFieldOfAnyType) {
    const Split split(fromHex("02 01 06 03 03 AA FE"));
    EXPECT_EQ(split.result, 0);
    ASSERT_EQ(split.count, 2u);
    EXPECT_EQ(split.item(0), "1:1:06");
    EXPECT_EQ(split.item(1), "3:2:AA FE");
    EXPECT_EQ(split.items[1].data[2], 0xCC) << "data after the field's bytes is not written";
    EXPECT_EQ(split.items[2].type, 0xCC) << "no item beyond the count is written";
}

TEST(AdvSplitFields, CountsWithoutItems) {
    const Bytes payload = fromHex("02 01 06 03 03 AA FE");
    size_t count = kUntouched;
    EXPECT_EQ(zelto_adv_split_fields(payload.data(), payload.size(), &count, nullptr), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(zelto_adv_split_fields(payload.data(), payload.size(), nullptr, nullptr), 0);
}

TEST(AdvSplitFields, NullPayloadWritesNothing) {
    size_t count = kUntouched;
    zelto_adv_field item;
    std::memset(&item, 0xCC, sizeof item);
    EXPECT_EQ(zelto_adv_split_fields(nullptr, 7, &count, &item), 1);
    EXPECT_EQ(count, kUntouched);
    EXPECT_EQ(item.type, 0xCC);
}

struct CountCase {
    const char* name;
    const char* payload;
    size_t count;
};

const CountCase kCountCases[] = {
    {"empty", "", 0},
    {"zero type ends", "02 01 06 05 00 01 02 03 04", 1},
    {"zero length ends", "02 01 06 00 02 01 06", 1},
    {"empty data part", "01 0A 01 01", 2},
    {"lone trailing length byte", "02 01 06 05", 1},
    {"field past the end", "02 01 06 05 03 AA", 1},
    {"field exactly to the end", "02 01 06 03 03 AA FE", 2},
    {"vehicle payload",
     "02 01 06 11 07 F4 8D 4D 9C D8 0B 81 83 7E 40 86 61 EF BE 15 BE"
     " 09 FF BE EF 00 09 12 34 56 78",
     3},
};

TEST(AdvSplitFields, StopsWhereTheWalkerStops) {
    for (const CountCase& c : kCountCases) {
        SCOPED_TRACE(c.name);
        const Split split(fromHex(c.payload));
        EXPECT_EQ(split.result, 0);
        EXPECT_EQ(split.count, c.count);
    }
}

TEST(AdvSplitFields, EveryTruncationOfTheVehiclePayload) {
    for (size_t length = 0; length <= kVehiclePayload.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        const Split split(Bytes(kVehiclePayload.begin(), kVehiclePayload.begin() + length));
        const size_t expected = (length >= sdk_test::kFlagsEnd) +
                                (length >= sdk_test::kServiceEnd) + (length >= sdk_test::kMfgEnd);
        EXPECT_EQ(split.count, expected);
        if (expected == 3) {
            EXPECT_EQ(split.item(0), "1:1:06");
            EXPECT_EQ(split.item(1), "7:16:" + toHex(ZELTO_VEHICLE_SERVICE_UUID, 16));
            EXPECT_EQ(split.item(2), "255:8:BE EF 00 09 12 34 56 78");
        }
    }
}

// An item holds 30 data bytes; a longer field is cut and the walk goes on.
TEST(AdvSplitFields, LongDataIsCutToTheItem) {
    Bytes payload{41, 0x08};
    for (uint8_t i = 0; i < 40; ++i) payload.push_back(i);
    payload.insert(payload.end(), {0x02, 0x01, 0x06});
    const Split split(payload);
    ASSERT_EQ(split.count, 2u);
    EXPECT_EQ(split.items[0].type, 0x08);
    EXPECT_EQ(split.items[0].length, 30);
    EXPECT_EQ(split.items[0].data[29], 29);
    EXPECT_EQ(split.item(1), "1:1:06");
}

// The count is not limited to 8 bits: 300 two-byte fields give 300 items,
// the most that 600 bytes can hold.
TEST(AdvSplitFields, CountsMoreThan255Fields) {
    Bytes payload;
    for (int i = 0; i < 300; ++i)
        payload.insert(payload.end(), {0x01, static_cast<uint8_t>(i % 255 + 1)});
    const Split split(payload);
    EXPECT_EQ(split.count, 300u);
    EXPECT_EQ(split.items[299].type, 299 % 255 + 1);
    EXPECT_EQ(split.items[299].length, 0);
    EXPECT_EQ(split.items[0].type, 0x01) << "the first item is not overwritten";
}

}  // namespace
