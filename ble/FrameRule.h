// Which frames a radio may drop in favour of a newer one while they wait to be
// sent. The radio knows no vehicle protocol: whoever assembles it hands it the
// protocol's rule.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace ble {

// True when `newer` may take the place of `waiting`, a frame for the same
// characteristic not sent yet. An empty rule lets no frame replace another.
using SupersedeRule =
    std::function<bool(const std::vector<uint8_t>& waiting, const std::vector<uint8_t>& newer)>;

}  // namespace ble
