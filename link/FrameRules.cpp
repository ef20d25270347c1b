#include "link/FrameRules.h"

#include "zelto_sdk/protocol.h"

namespace link_rules {

ble::SupersedeRule vehicleFrames() {
    return [](const std::vector<uint8_t>& waiting, const std::vector<uint8_t>& newer) {
        return zelto_vehicle_msg_supersedes(waiting.data(), waiting.size(), newer.data(),
                                            newer.size());
    };
}

}  // namespace link_rules
