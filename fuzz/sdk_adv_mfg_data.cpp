// zelto_adv_parse_mfg_data on any bytes; the length is their count's low 8 bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "zelto_sdk/advertisement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto length = static_cast<uint8_t>(size);
    auto out = std::make_unique<zelto_adv_mfg_info>();
    std::memset(out.get(), 0xA5, sizeof *out);
    const uint8_t result = zelto_adv_parse_mfg_data(data, length, out.get());
    if (data == nullptr || length != 8) {
        if (result != 1 || out->identifier != 0xA5A5A5A5u || out->product_id != 0xA5A5)
            std::abort();
        return 0;
    }
    if (result != 0 || out->product_id != (data[0] << 8 | data[1]) || out->reserved != data[2] ||
        out->model_id != data[3] ||
        out->identifier != (uint32_t{data[4]} << 24 | uint32_t{data[5]} << 16 |
                            uint32_t{data[6]} << 8 | data[7])) {
        std::abort();
    }
    return 0;
}
