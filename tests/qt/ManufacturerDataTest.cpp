// Rebuilding the manufacturer data as it was on the air from BlueZ's
// company-id keyed record.
#include <gtest/gtest.h>

#include "ble/qt/ManufacturerData.h"

namespace {

using ble::qt::rebuildManufacturerData;
using Bytes = std::vector<uint8_t>;
using Record = QMultiHash<quint16, QByteArray>;

TEST(ManufacturerData, PutsTheCompanyIdBytesBackInFront) {
    const Record record{{0xEFBE, QByteArray::fromHex("000912345678")}};
    EXPECT_EQ(rebuildManufacturerData(record),
              (Bytes{0xBE, 0xEF, 0x00, 0x09, 0x12, 0x34, 0x56, 0x78}));
}

TEST(ManufacturerData, ChoosesSoundlyAmongSeveralIds) {
    struct Case {
        const char* what;
        Record record;
        Bytes expected;
    };
    const std::vector<Case> cases = {
        {"the vehicles' id wins", {{0x004C, QByteArray("\x01", 1)}, {0xEFBE, QByteArray("\x02", 1)}},
         {0xBE, 0xEF, 0x02}},
        {"else the lowest id", {{0x0600, QByteArray("\x01", 1)}, {0x004C, QByteArray("\x02", 1)}},
         {0x4C, 0x00, 0x02}},
        {"an id without data", {{0x1234, QByteArray()}}, {0x34, 0x12}},
    };
    for (const Case& c : cases) EXPECT_EQ(rebuildManufacturerData(c.record), c.expected) << c.what;
}

TEST(ManufacturerData, TakesTheLatestValueOfARepeatedId) {
    Record record;
    record.insert(0xEFBE, QByteArray("\x01", 1));
    record.insert(0xEFBE, QByteArray("\x02", 1));
    EXPECT_EQ(rebuildManufacturerData(record), (Bytes{0xBE, 0xEF, 0x02}));
}

TEST(ManufacturerData, NothingOrTooMuchGivesNone) {
    EXPECT_EQ(rebuildManufacturerData(Record{}), std::nullopt);
    // One advertising field holds at most 254 bytes of data, company id included.
    const Record fits{{0xEFBE, QByteArray(252, 'x')}};
    ASSERT_TRUE(rebuildManufacturerData(fits).has_value());
    EXPECT_EQ(rebuildManufacturerData(fits)->size(), 254u);
    EXPECT_EQ(rebuildManufacturerData(Record{{0xEFBE, QByteArray(253, 'x')}}), std::nullopt);
    EXPECT_EQ(rebuildManufacturerData(Record{{0xEFBE, QByteArray(70000, 'x')}}), std::nullopt);
}

}  // namespace
