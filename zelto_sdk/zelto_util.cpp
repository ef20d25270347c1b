#include "zelto_sdk/zelto_util.h"

#include <algorithm>
#include <cstdio>

#include "zelto_sdk/precondition.h"

namespace {

constexpr char kSourceFile[] = "zelto_sdk/zelto_util";
constexpr char kDigits[] = "0123456789ABCDEF";

// Prints one row of n >= 1 bytes; `text` holds 3 * ZELTO_HEXDUMP_STACK_ROW_BYTES.
void print_row(const char* prefix, const uint8_t* data, size_t n, char* text) {
    if (n <= ZELTO_HEXDUMP_STACK_ROW_BYTES) {
        hexdump_line(data, n, text);
        std::printf("%s %s\n", prefix, text);
        return;
    }
    // Too wide for the stack buffer: format it in pieces, holding the stdout
    // lock so that the pieces still reach the stream as one unbroken row.
    flockfile(stdout);
    std::printf("%s ", prefix);
    while (n > 0) {
        const size_t piece = std::min(n, ZELTO_HEXDUMP_STACK_ROW_BYTES);
        hexdump_line(data, piece, text);
        data += piece;
        n -= piece;
        std::fputs(text, stdout);
        std::putc(n > 0 ? ' ' : '\n', stdout);
    }
    funlockfile(stdout);
}

}  // namespace

#define REQUIRE(expression) ZELTO_REQUIRE(kSourceFile, expression, #expression)

void hexdump(const char* prefix, size_t column_len, const uint8_t* data, size_t length) {
    REQUIRE(prefix != NULL);
    REQUIRE(column_len > 0);
    char text[3 * ZELTO_HEXDUMP_STACK_ROW_BYTES];
    // Only rows that hold bytes are printed; the remainder row of a length
    // that divides evenly would be empty and is left out.
    while (length > 0) {
        const size_t n = std::min(column_len, length);
        print_row(prefix, data, n, text);
        data += n;
        length -= n;
    }
}

void hexdump_line(const uint8_t* data, size_t n, char* dest) {
    if (dest == nullptr || n == 0) {
        return;
    }
    for (size_t k = 0; k < n; ++k) {
        dest[3 * k] = kDigits[data[k] >> 4];
        dest[3 * k + 1] = kDigits[data[k] & 0x0f];
        dest[3 * k + 2] = ' ';
    }
    dest[3 * n - 1] = '\0';
}
