#include "drive/FrameLine.h"

#include <cstdio>

#include "link/LinkText.h"

namespace drive {

std::string frameLine(FrameFormat format, double seconds, std::uint32_t vehicle, const std::string& command,
                      const std::string& hex) {
    char time[32];
    const std::string id = link_text::identifierText(vehicle);
    if (format == FrameFormat::Text) {
        std::snprintf(time, sizeof time, "+%.3f", seconds);
        return std::string(time) + " " + id + " " + command + " " + hex;
    }
    // Every text here is the program's own (an identifier, a command's name,
    // hex digits): nothing needs escaping.
    std::snprintf(time, sizeof time, "%.3f", seconds);
    return std::string("{\"time\":") + time + ",\"vehicle\":\"" + id + "\",\"command\":\"" + command +
           "\",\"hex\":\"" + hex + "\"}";
}

std::string replacedFrameLine(FrameFormat format, double seconds, std::uint32_t vehicle, const std::string& command,
                              const std::string& hex) {
    std::string line = frameLine(format, seconds, vehicle, command, hex);
    if (format == FrameFormat::Json) {
        line.insert(line.size() - 1, ",\"replaced\":true");
        return line;
    }
    const std::string kind = command == "set-speed"     ? "speed"
                             : command == "change-lane" ? "lane change"
                             : command == "set-offset"  ? "offset"
                                                        : command;
    return line + " replaced by a newer " + kind;
}

}  // namespace drive
