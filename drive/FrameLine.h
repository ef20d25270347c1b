// One line per frame a drive writes: the text a person reads, or a JSON
// object for a program (`run --json`).
//
//   +0.214 0x12345678 set-speed 06 24 F4 01 A8 61 00
//   {"time":0.214,"vehicle":"0x12345678","command":"set-speed","hex":"06 24 F4 01 A8 61 00"}
#pragma once

#include <cstdint>
#include <string>

namespace drive {

enum class FrameFormat { Text, Json };

// `seconds` from the first step; `hex` as the hex dump's row text.
std::string frameLine(FrameFormat format, double seconds, std::uint32_t vehicle, const std::string& command,
                      const std::string& hex);

// A frame a newer one replaced before it left: the text line (for standard
// error) ends "replaced by a newer speed", the JSON object has "replaced":true.
std::string replacedFrameLine(FrameFormat format, double seconds, std::uint32_t vehicle, const std::string& command,
                              const std::string& hex);

}  // namespace drive
