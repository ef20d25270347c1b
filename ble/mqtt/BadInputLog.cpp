#include "ble/mqtt/BadInputLog.h"

namespace ble::mqtt {

void BadInputLog::dropped(std::chrono::milliseconds now, const std::string& what) {
    ++total_;
    ++unreported_;
    if (reported_ && now - lastLine_ < std::chrono::seconds(10)) return;
    if (sink_) {
        sink_("broker: dropped " + std::to_string(unreported_) + " message(s) not of this protocol, the last " + what);
    }
    reported_ = true;
    lastLine_ = now;
    unreported_ = 0;
}

}  // namespace ble::mqtt
