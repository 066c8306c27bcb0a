#include "setup/Crc32.h"

#include <array>
#include <cstdio>
#include <vector>

#include "setup/FileContents.h"

namespace setrix {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;  // reflected 0x04C11DB7

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t UpdateCRC32(uint32_t state, const void* buffer, size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    for (size_t i = 0; i < length; ++i) state = kTable[(state ^ bytes[i]) & 0xFF] ^ (state >> 8);
    return state;
}

bool CalcFileCRC32(const platform::AnsiString& path, uint32_t& crc) {
    std::vector<unsigned char> contents;
    if (!ReadWholeFile(path, contents)) return false;
    crc = ~UpdateCRC32(0xFFFFFFFFu, contents.data(), contents.size());
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
