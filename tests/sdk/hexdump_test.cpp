// hexdump and hexdump_line: rows of upper-case hex pairs on standard output.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <sstream>
#include <thread>

#include "hex_bytes.h"
#include "zelto_sdk/zelto_util.h"

namespace {

using sdk_test::Bytes;
using sdk_test::fromHex;
using sdk_test::toHex;

// Dumps an exact-size heap copy (null for no bytes) and returns what reached stdout.
std::string dump(const char* prefix, size_t columnLen, const Bytes& data) {
    const Bytes copy(data);
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    hexdump(prefix, columnLen, copy.empty() ? nullptr : copy.data(), copy.size());
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// Rows built the plain way, for wide dumps.
std::string expectedRows(const std::string& prefix, size_t columnLen, const Bytes& data) {
    std::string out;
    for (size_t offset = 0; offset < data.size(); offset += columnLen) {
        const size_t n = std::min(columnLen, data.size() - offset);
        out += prefix + " " + toHex(data.data() + offset, n) + "\n";
    }
    return out;
}

Bytes counting(size_t n) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

struct DumpCase {
    const char* prefix;
    size_t columnLen;
    const char* bytes;
    const char* output;
};

const DumpCase kDumpCases[] = {
    {"rx", 4, "01 AB 20 FF 10", "rx 01 AB 20 FF\nrx 10\n"},
    {"rx", 3, "00 0F F0 7A", "rx 00 0F F0\nrx 7A\n"},
    {"rx", 16, "5C", "rx 5C\n"},
    {"rx", 2, "0a a0", "rx 0A A0\n"},  // whole multiple: no empty row
    {"rx", 1, "00 FF", "rx 00\nrx FF\n"},
    {"rx", 4, "", ""},                     // nothing to dump, nothing printed
    {"", 2, "01 02 03", " 01 02\n 03\n"},  // empty prefix still gets its blank
    {"%s %d", 2, "01", "%s %d 01\n"},      // the prefix is text, not a format
    {"tx", std::numeric_limits<size_t>::max(), "01 02 03", "tx 01 02 03\n"},
};

TEST(Hexdump, PrintsRowsOfUpperCasePairs) {
    for (const DumpCase& c : kDumpCases) {
        SCOPED_TRACE(std::string(c.prefix) + " / " + std::to_string(c.columnLen) + " / " + c.bytes);
        EXPECT_EQ(dump(c.prefix, c.columnLen, fromHex(c.bytes)), c.output);
    }
}

// Rows up to the stack row width take one printf; wider ones are printed in
// pieces. Both must give the same text.
TEST(Hexdump, WideRowsPrintWhole) {
    const size_t stackRow = ZELTO_HEXDUMP_STACK_ROW_BYTES;
    for (size_t columnLen :
         {stackRow - 1, stackRow, stackRow + 1, 2 * stackRow, 3 * stackRow + 5}) {
        SCOPED_TRACE("column_len " + std::to_string(columnLen));
        const Bytes data = counting(2 * columnLen + 17);
        EXPECT_EQ(dump("wide", columnLen, data), expectedRows("wide", columnLen, data));
    }
}

TEST(Hexdump, EmptyDataIsNeverRead) {
    EXPECT_EQ(dump("rx", 8, Bytes{}), "");
    testing::internal::CaptureStdout();
    hexdump("rx", 1, nullptr, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Rows from two threads interleave but are never broken up, narrow or wide.
TEST(Hexdump, RowsFromTwoThreadsStayWhole) {
    const Bytes a(700, 0xAA);
    const Bytes b(700, 0xBB);
    const size_t widths[] = {7, 700};
    for (size_t columnLen : widths) {
        SCOPED_TRACE("column_len " + std::to_string(columnLen));
        std::fflush(stdout);
        testing::internal::CaptureStdout();
        std::thread first([&] {
            for (int i = 0; i < 20; ++i) hexdump("a", columnLen, a.data(), a.size());
        });
        std::thread second([&] {
            for (int i = 0; i < 20; ++i) hexdump("b", columnLen, b.data(), b.size());
        });
        first.join();
        second.join();
        std::fflush(stdout);
        std::istringstream lines(testing::internal::GetCapturedStdout());
        const std::set<std::string> allowed = {"a " + toHex(Bytes(columnLen, 0xAA)),
                                               "b " + toHex(Bytes(columnLen, 0xBB))};
        size_t count = 0;
        for (std::string line; std::getline(lines, line); ++count) {
            ASSERT_TRUE(allowed.count(line)) << "broken row: " << line.substr(0, 80);
        }
        EXPECT_EQ(count, 2 * 20 * (700 / columnLen));
    }
}

TEST(HexdumpLine, WritesThreeBytesPerByteEndingInNul) {
    char dest[16];
    std::memset(dest, '#', sizeof dest);
    const uint8_t bytes[] = {0x0a, 0xa0, 0x00, 0xff};
    hexdump_line(bytes, 4, dest);
    EXPECT_EQ(std::string(dest, 12), std::string("0A A0 00 FF\0", 12));
    EXPECT_EQ(dest[12], '#') << "nothing beyond 3 * n bytes";

    std::memset(dest, '#', sizeof dest);
    hexdump_line(bytes, 1, dest);
    EXPECT_EQ(std::string(dest, 3), std::string("0A\0", 3)) << "one byte: two digits, no blank";
    EXPECT_EQ(dest[3], '#');
}

TEST(HexdumpLine, NoDestinationOrNoBytesWritesNothing) {
    const uint8_t byte = 0x12;
    hexdump_line(&byte, 1, nullptr);
    char dest[4] = {'#', '#', '#', '#'};
    hexdump_line(&byte, 0, dest + 1);
    EXPECT_EQ(std::string(dest, 4), "####");
}

TEST(HexdumpDeathTest, PreconditionsStopBeforeAnythingIsPrinted) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const uint8_t byte = 0x12;
    const std::string where = "zelto_sdk/zelto_util:[0-9]+: hexdump: Assertion `";
    EXPECT_DEATH(hexdump(nullptr, 4, &byte, 1), where + "prefix != NULL' failed");
    EXPECT_DEATH(hexdump(nullptr, 0, &byte, 1), where + "prefix != NULL' failed");
    EXPECT_DEATH(hexdump("rx", 0, &byte, 1), where + "column_len > 0' failed");
}

}  // namespace
