// Any bytes as the manufacturer data of an advertisement into
// VehiclesController::didDiscoverPeripheral, delivered twice. Only exactly 8
// bytes starting BE EF make a vehicle, with the identifier and model they
// carry, logged and connected once; the second delivery changes nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "link/Vehicle.h"
#include "link/VehiclesController.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/QuietFakes.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto central = std::make_shared<QuietCentral>();
    auto controller = std::make_shared<VehiclesController>(
        [central](std::weak_ptr<ble::CentralDelegate>) { return central; });
    controller->beginScan();
    auto peripheral = std::make_shared<QuietPeripheral>();

    ble::AdvertisementData advertisement;
    advertisement.manufacturerData = std::vector<uint8_t>(data, data + size);
    LogRecorder log;
    controller->didDiscoverPeripheral(*central, peripheral, advertisement, -60);
    controller->didDiscoverPeripheral(*central, peripheral, advertisement, -61);
    controller->didDiscoverPeripheral(*central, peripheral, ble::AdvertisementData{}, -62);

    const bool vehicle = size == 8 && data[0] == 0xBE && data[1] == 0xEF;
    const auto& list = *controller->vehicles();
    if (!vehicle) {
        if (!list.empty() || !log.lines.empty() || central->connects != 0) std::abort();
        return 0;
    }
    const uint32_t id = uint32_t{data[4]} << 24 | uint32_t{data[5]} << 16 |
                        uint32_t{data[6]} << 8 | data[7];
    char line[80];
    std::snprintf(line, sizeof line, "Discovered new vehicle, model=0x%04x, id=0x%08x",
                  static_cast<unsigned>(data[3]), static_cast<unsigned>(id));
    if (list.size() != 1 || central->connects != 1 || log.lines.size() != 1 || log.lines[0] != line) {
        std::abort();
    }
    if (list[0]->identifier() != id || list[0]->modelIdentifier() != data[3] ||
        list[0]->peripheral() != peripheral || peripheral->delegate() != list[0]) {
        std::abort();
    }
    return 0;
}
