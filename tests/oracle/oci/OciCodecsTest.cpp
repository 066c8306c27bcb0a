#include <gtest/gtest.h>

#include <array>

#include "oracle/oci/OciCodecs.h"
#include "platform/DateTime.h"
#include "platform/SysUtils.h"

namespace oracle {
namespace {

using TOraDate = std::array<uint8_t, 7>;

TEST(OciCodecs, IntToSymDigits) {
    const struct {
        uint32_t value;
        int width;
        const char* text;
    } cases[] = {{0, 6, "AAAAAA"}, {64, 3, "ABA"}, {63, 1, "/"}, {62, 1, "+"}, {26, 0, "a"}, {52, 2, "A0"},
                 {4096, 1, "BAA"}};
    for (const auto& c : cases) EXPECT_EQ(IntToSym(c.value, c.width), c.text) << c.value;
}

// The three storage layouts of the same ROWID numbers.
std::array<uint8_t, 15> Layout7(uint32_t object, uint16_t file, uint32_t block, uint32_t row) {
    std::array<uint8_t, 15> b{};
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(object >> 8 * i);
    for (int i = 0; i < 2; ++i) b[4 + i] = static_cast<uint8_t>(file >> 8 * i);
    for (int i = 0; i < 4; ++i) b[7 + i] = static_cast<uint8_t>(block >> 8 * i);
    for (int i = 0; i < 4; ++i) b[11 + i] = static_cast<uint8_t>(row >> 8 * i);
    return b;
}
std::array<uint8_t, 14> Layout80(uint32_t object, uint16_t file, uint32_t block, uint16_t row) {
    std::array<uint8_t, 14> b{};
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(object >> 8 * i);
    for (int i = 0; i < 2; ++i) b[4 + i] = static_cast<uint8_t>(file >> 8 * i);
    for (int i = 0; i < 4; ++i) b[8 + i] = static_cast<uint8_t>(block >> 8 * i);
    for (int i = 0; i < 2; ++i) b[12 + i] = static_cast<uint8_t>(row >> 8 * i);
    return b;
}
std::array<uint8_t, 13> Layout81(uint32_t object, uint16_t file, uint32_t block, uint16_t row) {
    std::array<uint8_t, 13> b{};
    for (int i = 0; i < 4; ++i) b[1 + i] = static_cast<uint8_t>(object >> 8 * (3 - i));
    for (int i = 0; i < 2; ++i) b[5 + i] = static_cast<uint8_t>(file >> 8 * (1 - i));
    for (int i = 0; i < 4; ++i) b[7 + i] = static_cast<uint8_t>(block >> 8 * (3 - i));
    for (int i = 0; i < 2; ++i) b[11 + i] = static_cast<uint8_t>(row >> 8 * (1 - i));
    return b;
}

TEST(OciCodecs, RowIdTextsFromEveryLayout) {
    const struct {
        uint32_t object;
        uint16_t file;
        uint32_t block;
        uint16_t row;
        const char* text;
    } cases[] = {
        {0, 7, 0x1A2B, 3, "00001A2B.0003.0007"},
        {1, 2, 3, 4, "AAAAABAACAAAAADAAE"},
        // Block and row numbers with a zero low byte are read as they are.
        {30000, 4, 256, 512, "AAAHUwAAEAAAAEAAIA"},
        {0, 1, 0x100, 0x200, "00000100.0200.0001"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RowId7ToText(Layout7(c.object, c.file, c.block, c.row).data()), c.text);
        EXPECT_EQ(RowId80ToText(Layout80(c.object, c.file, c.block, c.row).data()), c.text);
        EXPECT_EQ(RowId81ToText(Layout81(c.object, c.file, c.block, c.row).data()), c.text);
    }
    EXPECT_EQ(RowId81ToText(nullptr), "");
    // The OCI7 row takes 24 bits in the extended form and 16 in the restricted one.
    EXPECT_EQ(RowId7ToText(Layout7(1, 1, 1, 0xFF010002).data()), "AAAAABAABAAAAABQAC");
    EXPECT_EQ(RowId7ToText(Layout7(0, 1, 1, 0x00010002).data()), "00000001.0002.0001");
}

TEST(OciCodecs, OraDateRoundTrips) {
    const struct {
        TOraDate bytes;
        int year, month, day, hour, minute, second;
    } cases[] = {
        {{120, 101, 1, 15, 13, 31, 1}, 2001, 1, 15, 12, 30, 0},
        {{118, 199, 12, 30, 1, 1, 1}, 1899, 12, 30, 0, 0, 0},
        {{118, 199, 12, 29, 7, 1, 1}, 1899, 12, 29, 6, 0, 0},
        {{199, 199, 12, 31, 24, 60, 60}, 9999, 12, 31, 23, 59, 59},
        {{100, 101, 1, 1, 1, 1, 1}, 1, 1, 1, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const platform::TDateTime value = OraDateToDateTime(c.bytes.data());
        int year, month, day, hour, minute, second, msec;
        platform::DecodeDate(value, year, month, day);
        platform::DecodeTime(value, hour, minute, second, msec);
        EXPECT_EQ((std::array<int, 6>{year, month, day, hour, minute, second}),
                  (std::array<int, 6>{c.year, c.month, c.day, c.hour, c.minute, c.second}))
            << c.year;
        TOraDate encoded{};
        DateTimeToOraDate(encoded.data(), value);
        EXPECT_EQ(encoded, c.bytes) << c.year;
        TOraDate fromMSecs{};
        MSecsToOraDate(fromMSecs.data(), OraDateToMSecs(c.bytes.data()));
        EXPECT_EQ(fromMSecs, c.bytes) << c.year;
    }
    // The day before the base date keeps its time after the fraction's sign.
    const TOraDate before{118, 199, 12, 29, 7, 1, 1};
    EXPECT_DOUBLE_EQ(OraDateToDateTime(before.data()), -1.25);
}

TEST(OciCodecs, EncodingDropsMillisecondsAndMSecsRound) {
    TOraDate bytes{};
    DateTimeToOraDate(bytes.data(), platform::EncodeDate(2001, 1, 15) + platform::EncodeTime(12, 30, 0, 999));
    EXPECT_EQ(bytes, (TOraDate{120, 101, 1, 15, 13, 31, 1}));
    const double msecs = OraDateToMSecs(TOraDate{120, 101, 1, 15, 13, 31, 1}.data());
    EXPECT_DOUBLE_EQ(msecs, (730500.0 * 86400000.0) + 45000000.0);
    MSecsToOraDate(bytes.data(), msecs + 1999.6);  // rounds to 2000 ms later
    EXPECT_EQ(bytes, (TOraDate{120, 101, 1, 15, 13, 31, 3}));
}

TEST(OciCodecs, YearsBeforeOneAreRefused) {
    const TOraDate bc{100, 99, 1, 1, 1, 1, 1};  // year -1
    EXPECT_THROW(OraDateToDateTime(bc.data()), platform::EConvertError);
}

TEST(OciCodecs, ByteSwaps) {
    EXPECT_EQ(Swap16(0x1234), 0x3412);
    EXPECT_EQ(Swap32(0x12345678u), 0x78563412u);
}

}  // namespace
}  // namespace oracle
