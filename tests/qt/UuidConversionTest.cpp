#include <gtest/gtest.h>

#include "ble/qt/UuidConversion.h"

namespace {

TEST(UuidConversion, KeepsTheTextBothWays) {
    for (const char* text : {"BE15BEEF-6186-407E-8381-0BD89C4D8DF4", "00002902-0000-1000-8000-00805F9B34FB",
                             "00000000-0000-0000-0000-000000000000", "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"}) {
        const ble::Uuid ours = ble::Uuid::fromString(text);
        const QBluetoothUuid theirs = ble::qt::toQt(ours);
        EXPECT_EQ(theirs.toString(QUuid::WithoutBraces).toUpper().toStdString(), text);
        EXPECT_EQ(ble::qt::fromQt(theirs), ours) << text;
    }
    EXPECT_EQ(ble::qt::fromQt(QBluetoothUuid(QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration)),
              ble::Uuid::fromString("00002902-0000-1000-8000-00805f9b34fb"));
}

}  // namespace
