// The BlueZ radio with the whole vehicle link against the mock BlueZ on a
// private system bus: the fixture the BlueZ radio's integration tests share.
#pragma once

#include "LinkOnMockBluez.h"
#include "ble/bluez/CentralFactory.h"
#include "ble/bluez/Peripheral.h"
#include "link/SystemLog.h"

namespace bluez_test {

using namespace mock_link;

class BluezRadio : public LinkOnMockBluez {
protected:
    static ble::bluez::RadioOptions defaults() {
        ble::bluez::RadioOptions options;
        options.supersedes = link_rules::vehicleFrames();
        options.layout = link_rules::vehicleLayout();
        options.identify = link_rules::vehicleIdentity();
        options.note = [](const std::string& line) { SystemLog::writeLine(line); };
        return options;
    }

    void beginScan(ble::bluez::RadioOptions options = defaults()) {
        beginScanOn([&] { return ble::bluez::makeCentralFactory(loop_, std::move(options)); });
    }
    std::shared_ptr<ble::bluez::Peripheral> peripheralOf(uint32_t identifier) {
        const auto vehicle = controller_->findVehicleById(identifier);
        return vehicle ? std::dynamic_pointer_cast<ble::bluez::Peripheral>(vehicle->peripheral()) : nullptr;
    }

    // A vehicle seen live, connected and through its handshake.
    MockBluez::Vehicle driveableVehicle(uint32_t identifier, const QString& address) {
        const MockBluez::Vehicle vehicle = mock_.addVehicle(address, identifier, 9, -50);
        EXPECT_TRUE(waitForWrites(vehicle.writeCharacteristic, 2));
        EXPECT_TRUE(waitFor([&] { return controller_->findVehicleById(identifier) &&
                                         controller_->findVehicleById(identifier)->active(); }));
        mock_.clearWrites(vehicle.writeCharacteristic);
        return vehicle;
    }
};

}  // namespace bluez_test
