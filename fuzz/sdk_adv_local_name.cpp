// zelto_adv_parse_local_name on any bytes; the length is their count's low 8 bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "zelto_sdk/advertisement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto length = static_cast<uint8_t>(size);
    auto out = std::make_unique<zelto_adv_name_info>();
    std::memset(out.get(), 0xA5, sizeof *out);
    const uint8_t result = zelto_adv_parse_local_name(data, length, out.get());
    if (data == nullptr || length == 0) {
        if (result != 1 || out->state != 0xA5 || out->version != 0xA5A5) std::abort();
        return 0;
    }
    if (result != 0) std::abort();
    if ((out->state & 0x8F) != 0x85 || (out->state & 0x70) != (data[0] & 0x70)) std::abort();
    for (uint8_t byte : out->reserved) {
        if (byte != 0xA5) std::abort();
    }
    if (length > 8) {
        const size_t nameLength = length - 8u < 13u ? length - 8u : 13u;
        if (std::memcmp(out->name, data + 8, nameLength) != 0) std::abort();
        for (size_t i = nameLength; i < 13; ++i) {
            if (out->name[i] != 0) std::abort();
        }
    }
    return 0;
}
