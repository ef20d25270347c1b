// Any bytes as a notified value into Vehicle::didUpdateValueForCharacteristic.
// Besides the sanitizers' checks, the line logged must be the one the message
// id calls for, with bytes the value lacks read as zero, and nothing may be
// written or changed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "link/Vehicle.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/QuietFakes.h"

namespace {

std::string expectedLine(const uint8_t* data, size_t size, uint32_t identifier, bool& logs) {
    auto at = [&](size_t i) -> unsigned { return i < size ? data[i] : 0u; };
    char text[96];
    logs = true;
    switch (at(1)) {
        case 0x17: return "Ping recieved from vehicle";
        case 0x19:
            std::snprintf(text, sizeof text, "Version response 0x%04x\n", at(2) | at(3) << 8);
            return text;
        case 0x1b:
        case 0x27:
        case 0x29: logs = false; return "";
        case 0x2b:
            std::snprintf(text, sizeof text, "Warning: vehicle delocalized id=0x%04x", identifier);
            return text;
        default:
            std::snprintf(text, sizeof text, "unknown message recieved - 0x%04X, size %d", at(1),
                          static_cast<int>(at(0)));
            return text;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SystemLog::setEchoToStandardError(false);
    SystemLog::setSendToSystemLog(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr uint32_t kIdentifier = 0x00ABCDEF;
    auto peripheral = std::make_shared<QuietPeripheral>();
    auto vehicle = std::make_shared<Vehicle>();
    vehicle->setPeripheral(peripheral);
    vehicle->setIdentifier(kIdentifier);
    peripheral->setDelegate(vehicle);
    auto read = std::make_shared<ble::Characteristic>(
        ble::Uuid::fromString("BE15BEE0-6186-407E-8381-0BD89C4D8DF4"));
    read->setValue(std::vector<uint8_t>(data, data + size));

    LogRecorder log;
    vehicle->didUpdateValueForCharacteristic(*peripheral, *read, nullptr);

    bool logs = false;
    const std::string expected = expectedLine(data, size, kIdentifier, logs);
    if (log.lines.size() != (logs ? 1u : 0u)) std::abort();
    if (logs && log.lines[0] != expected) std::abort();
    if (peripheral->requests != 0 || vehicle->active() || vehicle->identifier() != kIdentifier) {
        std::abort();
    }
    return 0;
}
