// Diagnostic hex dump of a byte buffer on standard output.
#pragma once

#include <cstddef>
#include <cstdint>

// Prints `data` as rows of `column_len` bytes, each row as
// "<prefix> <HH HH ... HH>\n" with upper-case digits and no trailing blank;
// the last row holds the remainder.
//
// - A row that would hold no bytes (the length is a whole multiple of
//   column_len, zero included) is not printed and reads no data: an empty
//   buffer prints nothing.
// - Rows of up to ZELTO_HEXDUMP_STACK_ROW_BYTES bytes are formatted in a stack
//   buffer and printed with one printf. Wider rows are formatted piece by
//   piece into that same buffer while standard output is locked (flockfile),
//   so no row is ever split by another thread's stdio output and nothing is
//   allocated, whatever column_len is.
// - A null prefix or a zero column_len stops the process with a report on
//   stderr, in every build type; nothing is printed before the checks.
void hexdump(const char* prefix, size_t column_len, const uint8_t* data, size_t length);

// Writes the row text of n bytes into dest: 3 * n bytes, the terminating NUL
// included. With a null dest, or n == 0 (no room promised), writes nothing.
void hexdump_line(const uint8_t* data, size_t n, char* dest);

// Widest row that hexdump prints with a single printf call.
inline constexpr size_t ZELTO_HEXDUMP_STACK_ROW_BYTES = 512;
