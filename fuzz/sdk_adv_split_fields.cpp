// zelto_adv_split_fields: fields stay inside the payload and the items array.
#include <cstddef>
#include <cstdint>

#include "sdk_adv_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (data == nullptr) {
        size_t count = 7;
        SDK_FUZZ_CHECK(zelto_adv_split_fields(data, size, &count, nullptr) == 1 && count == 7);
        return 0;
    }
    const std::vector<zelto_adv_field> items = splitPayload(data, size);
    size_t counted = 0;
    SDK_FUZZ_CHECK(zelto_adv_split_fields(data, size, &counted, nullptr) == 0);
    SDK_FUZZ_CHECK(counted == items.size());

    // Each item mirrors its field: length byte, type, then data cut to 30 bytes.
    size_t pos = 0;
    for (const zelto_adv_field& item : items) {
        SDK_FUZZ_CHECK(pos + 1 < size);
        const uint8_t lengthByte = data[pos];
        SDK_FUZZ_CHECK(lengthByte != 0 && item.type != 0 && item.type == data[pos + 1]);
        SDK_FUZZ_CHECK(pos + lengthByte < size);
        const size_t stored = lengthByte - 1u < 30u ? lengthByte - 1u : 30u;
        SDK_FUZZ_CHECK(item.length == stored);
        for (size_t i = 0; i < stored; ++i) SDK_FUZZ_CHECK(item.data[i] == data[pos + 2 + i]);
        pos += lengthByte + 1u;
    }
    return 0;
}
