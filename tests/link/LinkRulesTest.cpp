// Which advertisements name a vehicle, as the radios' back-off sees them.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "link/FrameRules.h"

namespace {

TEST(LinkRules, AnAdvertisementNamesAVehicleOnlyByItsManufacturerData) {
    struct Case {
        const char* what;
        std::optional<std::vector<uint8_t>> data;
        const char* identity;
    };
    const std::vector<uint8_t> vehicle{0xBE, 0xEF, 0x00, 0x09, 0x12, 0x34, 0x56, 0x78};
    std::vector<uint8_t> longer = vehicle;
    longer.resize(264, 0);  // 264 bytes would read as 8 through a one-byte length
    const std::vector<Case> cases{
        {"a vehicle", vehicle, "0x12345678"},
        {"no manufacturer data", std::nullopt, ""},
        {"seven bytes", std::vector<uint8_t>(vehicle.begin(), vehicle.end() - 1), ""},
        {"another product", std::vector<uint8_t>{0xBE, 0xEE, 0x00, 0x09, 0x12, 0x34, 0x56, 0x78}, ""},
        {"longer than a length byte holds", longer, ""},
    };
    const ble::IdentityRule identify = link_rules::vehicleIdentity();
    for (const Case& c : cases) {
        ble::AdvertisementData advertisement;
        advertisement.manufacturerData = c.data;
        EXPECT_EQ(identify(advertisement), c.identity) << c.what;
    }
}

}  // namespace
