// How numbers read in the output area and on standard output: decimal
// integers, and floats as the shortest text that reads back as the same
// 32-bit value, with at least one digit after the point.
#pragma once

#include <cstdint>
#include <string>

namespace textforms {

// "nan", "inf", "-inf"; zero and magnitudes from 0.0001 to 16777216 in plain
// notation ("500.0", "0.5", "-40.0"); other magnitudes with the same shortest
// digits, in whichever of plain or exponent notation is shorter ("1e-05",
// "1e+20", "33554432.0").
std::string floatText(float value);

// A tag: signed decimal.
std::string tagText(std::int64_t tag);
// A vehicle identifier: unsigned decimal.
std::string identifierText(std::uint32_t identifier);
// A model identifier: the unsigned decimal of the byte.
std::string modelText(std::uint8_t model);
// A slider's whole value: signed decimal.
std::string intText(int value);

}  // namespace textforms
