#include "link/LinkText.h"

namespace link_text {

std::string describe(const ble::Error* error) {
    return error != nullptr ? error->localizedDescription() : std::string("(null)");
}

std::string describe(const std::vector<std::shared_ptr<ble::Peripheral>>& list) {
    std::string text = "[";
    bool first = true;
    for (const auto& peripheral : list) {
        if (!first) {
            text += ", ";
        }
        first = false;
        text += peripheral != nullptr ? peripheral->description() : std::string("(null)");
    }
    text += "]";
    return text;
}

}  // namespace link_text
