#include <gtest/gtest.h>

#include "ble/Bluetooth.h"

namespace {

class NamedPeripheral : public ble::Peripheral {
  public:
    NamedPeripheral(std::string name, std::string identifier)
        : name_(std::move(name)), identifier_(std::move(identifier)) {}
    std::string name() const override { return name_; }
    std::string identifier() const override { return identifier_; }
    std::vector<std::shared_ptr<ble::Service>> services() const override { return {}; }
    void discoverServices(const std::vector<ble::Uuid>&) override {}
    void discoverCharacteristicsForService(const std::vector<ble::Uuid>&,
                                           const std::shared_ptr<ble::Service>&) override {}
    void setNotifyValueForCharacteristic(bool,
                                         const std::shared_ptr<ble::Characteristic>&) override {}
    void writeValueForCharacteristic(const std::vector<uint8_t>&,
                                     const std::shared_ptr<ble::Characteristic>&,
                                     ble::WriteType) override {}

  private:
    std::string name_;
    std::string identifier_;
};

TEST(PeripheralDescription, IsTheNameWhenThereIsOne) {
    EXPECT_EQ(NamedPeripheral("Vexa", "AA:BB").description(), "Vexa");
}

TEST(PeripheralDescription, FallsBackToTheIdentifierWithoutName) {
    EXPECT_EQ(NamedPeripheral("", "AA:BB").description(), "AA:BB");
}

}  // namespace
