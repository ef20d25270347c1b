// What a broker brings, read as every reader of the relay protocol reads it:
// the first byte splits topic from payload. Whatever a reader accepts must
// write back to a line it accepts again with the same meaning.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ble/mqtt/BrokerUrl.h"
#include "ble/mqtt/Wire.h"

using namespace ble::mqtt::wire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::size_t split = data[0] % (size);
    const std::string_view all(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view topic = all.substr(0, split);
    const std::string_view payload = all.substr(std::min(split, all.size()));
    if (const auto read = readTopic(topic); read && !read->driver.empty()) {
        // A driver's two levels name it the same way in every topic of it.
        const auto will = readTopic(driverWillTopic(read->driver));
        if (!will || will->driver != read->driver) std::abort();
    }
    (void)ble::mqtt::readBrokerUrl(all);
    // What may be remembered of an address reads again, without a password.
    if (const std::string bare = ble::mqtt::withoutPassword(all); !bare.empty()) {
        const auto again = ble::mqtt::readBrokerUrl(bare);
        if (!again.address || !again.address->password.empty()) std::abort();
    }
    if (const auto status = readStatus(payload)) {
        const auto again = readStatus(writeStatus(*status));
        if (!again || again->online != status->online || again->instance != status->instance) std::abort();
    }
    if (const auto request = readRequest(payload)) {
        const auto again = readRequest(writeRequest(*request));
        if (!again || again->frames != request->frames || again->car != request->car) std::abort();
    }
    if (const auto answer = readAnswer(payload)) {
        const auto again = readAnswer(writeAnswer(*answer));
        if (!again || again->value != answer->value || again->uuids != answer->uuids) std::abort();
    }
    if (const auto advert = readAdvert(payload)) {
        const auto again = readAdvert(writeAdvert(*advert));
        if (!again || again->data.localName != advert->data.localName || again->rssi != advert->rssi) std::abort();
    }
    return 0;
}
