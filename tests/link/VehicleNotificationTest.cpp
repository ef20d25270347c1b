// What the vehicle notifies: decoded by message id and logged.
#include <gtest/gtest.h>

#include "VehicleFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

struct NotificationCase {
    const char* name;
    Bytes value;
    Lines lines;
};

void PrintTo(const NotificationCase& c, std::ostream* os) { *os << c.name; }

class VehicleNotificationTest : public testing::TestWithParam<NotificationCase> {};

TEST_P(VehicleNotificationTest, LogsExactlyTheLinesOfItsId) {
    VehicleFixture f;
    f.vehicle->setIdentifier(0x2a);
    f.discoverVehicleService();
    f.notify(GetParam().value);
    EXPECT_EQ(f.log.lines, GetParam().lines);
    EXPECT_TRUE(f.peripheral->writes.empty());
}

Bytes longValue(uint8_t id) {
    Bytes value(64, 0xEE);
    value[0] = 0x3F;
    value[1] = id;
    return value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, VehicleNotificationTest,
    testing::Values(
        NotificationCase{"Ping", {0x01, 0x17}, {"Ping recieved from vehicle"}},
        NotificationCase{"Version", {0x03, 0x19, 0x34, 0x12}, {"Version response 0x1234\n"}},
        NotificationCase{"VersionWithTrailingBytes",
                         {0x05, 0x19, 0x02, 0x01, 0xFF, 0xFF},
                         {"Version response 0x0102\n"}},
        NotificationCase{"Delocalized", {0x01, 0x2b}, {"Warning: vehicle delocalized id=0x002a"}},
        NotificationCase{"Unknown", {0x05, 0x99, 0, 0, 0, 0}, {"unknown message recieved - 0x0099, size 5"}},
        NotificationCase{"Report1b", {0x01, 0x1b}, {}},
        NotificationCase{"Report27", {0x0a, 0x27, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {}},
        NotificationCase{"Report29", {0x07, 0x29, 1, 2, 3, 4, 5, 6}, {}},
        // Odd ids between the handled ones, and outbound ids, are unknown inbound.
        NotificationCase{"Id1d", {0x02, 0x1d, 0x00}, {"unknown message recieved - 0x001D, size 2"}},
        NotificationCase{"Id25", {0x0b, 0x25}, {"unknown message recieved - 0x0025, size 11"}},
        NotificationCase{"Id18", {0x01, 0x18}, {"unknown message recieved - 0x0018, size 1"}},
        NotificationCase{"SizeByteIsNotChecked", {0xFF, 0x42}, {"unknown message recieved - 0x0042, size 255"}},
        // A value longer than a frame is acted on by its first two bytes.
        NotificationCase{"LongPing", longValue(0x17), {"Ping recieved from vehicle"}},
        NotificationCase{"LongVersion", longValue(0x19), {"Version response 0xeeee\n"}},
        NotificationCase{"LongUnknown", longValue(0x80), {"unknown message recieved - 0x0080, size 63"}},
        // Bytes a short value does not supply read as zero.
        NotificationCase{"Empty", {}, {"unknown message recieved - 0x0000, size 0"}},
        NotificationCase{"OneByte", {0x05}, {"unknown message recieved - 0x0000, size 5"}},
        NotificationCase{"VersionOfTwoBytes", {0x01, 0x19}, {"Version response 0x0000\n"}},
        NotificationCase{"VersionOfThreeBytes", {0x02, 0x19, 0x34}, {"Version response 0x0034\n"}},
        NotificationCase{"ShortReport27", {0x01, 0x27}, {}},
        NotificationCase{"ShortReport29", {0x01, 0x29}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VehicleDelocalized, PrintsAnIdentifierAbove0xffffInFull) {
    VehicleFixture f;
    f.vehicle->setIdentifier(0x12345678);
    f.notify({0x01, 0x2b});
    EXPECT_EQ(f.log.lines, Lines{"Warning: vehicle delocalized id=0x12345678"});
}

TEST(VehicleNotification, TheCharacteristicIsNotComparedWithTheReadChannel) {
    VehicleFixture f;
    f.discoverVehicleService();
    f.write->setValue({0x01, 0x17});
    f.vehicle->didUpdateValueForCharacteristic(*f.peripheral, *f.write, nullptr);
    EXPECT_EQ(f.log.lines, Lines{"Ping recieved from vehicle"});
}

TEST(VehicleNotification, AnErrorLogsItsLineAndTheValueIsNotRead) {
    VehicleFixture f;
    f.discoverVehicleService();
    f.read->setValue({0x01, 0x17});
    const ble::Error error("Insufficient encryption");
    f.vehicle->didUpdateValueForCharacteristic(*f.peripheral, *f.read, &error);
    EXPECT_EQ(f.log.lines, Lines{"Error updating value for characteristic "
                                 "BE15BEE0-6186-407E-8381-0BD89C4D8DF4 error: "
                                 "Insufficient encryption"});
}

TEST(VehicleNotification, ChangesNoFieldOfTheVehicle) {
    VehicleFixture f;
    f.vehicle->setIdentifier(7);
    f.vehicle->setModelIdentifier(18);
    for (int id = 0; id < 256; ++id) {
        f.notify({0x13, static_cast<uint8_t>(id), 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    }
    EXPECT_EQ(f.vehicle->identifier(), 7u);
    EXPECT_EQ(f.vehicle->modelIdentifier(), 18u);
    EXPECT_FALSE(f.vehicle->active());
    EXPECT_EQ(f.vehicle->readChannel(), nullptr);
    EXPECT_TRUE(f.peripheral->writes.empty());
}

}  // namespace
