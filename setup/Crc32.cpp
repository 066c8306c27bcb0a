#include "setup/Crc32.h"

#include <array>
#include <cstdio>

namespace setrix {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;  // reflected 0x04C11DB7

// Sixteen bytes at a time: table k holds the CRC of a byte followed by k zero bytes, so
// that the sixteen bytes of one step are looked up independently and combined by XOR.
constexpr size_t kSlices = 16;
using CrcTables = std::array<std::array<uint32_t, 256>, kSlices>;

constexpr CrcTables MakeTables() {
    CrcTables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
        tables[0][n] = c;
    }
    for (size_t k = 1; k < kSlices; ++k)
        for (uint32_t n = 0; n < 256; ++n) {
            const uint32_t previous = tables[k - 1][n];
            tables[k][n] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    return tables;
}

constexpr CrcTables kTables = MakeTables();

// Four bytes in file order as a number whose lowest byte is the first one.
inline uint32_t LittleEndianWord(const unsigned char* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

}  // namespace

uint32_t UpdateCRC32(uint32_t state, const void* buffer, size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const auto& t = kTables;
    while (length >= kSlices) {
        const uint32_t a = LittleEndianWord(bytes) ^ state;
        const uint32_t b = LittleEndianWord(bytes + 4);
        const uint32_t c = LittleEndianWord(bytes + 8);
        const uint32_t d = LittleEndianWord(bytes + 12);
        state = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
                t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
                t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
                t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        bytes += kSlices;
        length -= kSlices;
    }
    for (; length > 0; --length, ++bytes) state = t[0][(state ^ *bytes) & 0xFF] ^ (state >> 8);
    return state;
}

bool CalcFileCRC32(const platform::AnsiString& path, uint32_t& crc, size_t blockSize) {
    uint32_t state = 0xFFFFFFFFu;
    if (!ReadFileInBlocks(path, blockSize,
                          [&](const unsigned char* data, size_t length) { state = UpdateCRC32(state, data, length); }))
        return false;
    crc = ~state;
    return true;
}

platform::AnsiString FileCRC32Hex(const platform::AnsiString& path) {
    uint32_t crc = 0;
    if (!CalcFileCRC32(path, crc)) return platform::AnsiString();
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
    return text;
}

}  // namespace setrix
