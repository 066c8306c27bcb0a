#include "oracle/oci/OraDes.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/SysUtils.h"

namespace oracle {

namespace {

// Bit positions count from 1 at the most significant bit of the input width.
constexpr uint8_t InitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4, 62, 54, 46, 38, 30, 22, 14, 6,
    64, 56, 48, 40, 32, 24, 16, 8, 57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
constexpr uint8_t FinalPermutation[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31, 38, 6, 46, 14, 54, 22, 62, 30,
    37, 5, 45, 13, 53, 21, 61, 29, 36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};
constexpr uint8_t Expansion[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                                   12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                                   22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};
constexpr uint8_t RoundPermutation[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                          2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
constexpr uint8_t PermutedChoice1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                         10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                         63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                         14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
constexpr uint8_t PermutedChoice2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                                         26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                                         51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
constexpr uint8_t Rotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};
constexpr uint8_t SBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7, 0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5,  3,  8,  4,  1,  14, 8,  13, 6, 2, 11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7,  2,  13, 12, 0, 5, 10, 3,  13, 4,  7,  15, 2,
     8,  14, 12, 0,  1,  10, 6,  9,  11, 5,  0,  14, 7,  11, 10, 4, 13, 1,  5,  8,  12, 6,
     9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6,  3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8, 13, 7,  0,  9,  3, 4,
     6,  10, 2,  8,  5,  14, 12, 11, 15, 1,  13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2, 12,
     5,  10, 14, 7,  1,  10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3, 11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2,  8,  5,  11, 12, 4,  15, 13, 8,  11, 5,  6,  15,
     0,  3,  4,  7, 2,  12, 1,  10, 14, 9,  10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3,  14,
     5,  2,  8,  4, 3,  15, 0,  6,  10, 1,  13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6, 8,  5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4, 7,
     13, 1,  5,  0,  15, 10, 3,  9, 8,  6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0,  14, 11, 8,  12, 7, 1,  14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8,  0,  13, 3, 4,  14, 7,  5,  11, 10, 15, 4,  2,  7, 12,
     9,  5,  6,  1,  13, 14, 0,  11, 3,  8,  9, 14, 15, 5,  2,  8,  12, 3,  7,  0,  4, 10,
     1,  13, 11, 6,  4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1, 7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8,  13, 3,  12, 9,  7, 5,  10, 6,  1,  13, 0, 11, 7,  4,  9,
     1,  10, 14, 3,  5,  12, 2,  15, 8,  6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0,  5,  9,  2,  6,  11, 13, 8,  1,  4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5, 0,  12, 7,  1,  15, 13, 8,  10, 3,
     7,  4,  12, 5, 6,  11, 0,  14, 9,  2,  7,  11, 4, 1,  9,  12, 14, 2,  0,  6,  10, 13,
     15, 3,  5,  8, 2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9, 0,  3,  5,  6,  11}};

template <size_t N>
uint64_t Permute(uint64_t input, int inputBits, const uint8_t (&table)[N]) {
    uint64_t output = 0;
    for (size_t i = 0; i < N; ++i) output = (output << 1) | ((input >> (inputBits - table[i])) & 1);
    return output;
}

using TSchedule = std::array<uint64_t, 16>;  // 48-bit round keys

TSchedule EncryptionSchedule(const TBytes& key) {
    uint64_t keyBits = 0;
    for (size_t i = 0; i < 8; ++i) keyBits = (keyBits << 8) | (i < key.size() ? key[i] : 0);
    const uint64_t chosen = Permute(keyBits, 64, PermutedChoice1);
    uint32_t c = static_cast<uint32_t>(chosen >> 28) & 0x0FFFFFFF;
    uint32_t d = static_cast<uint32_t>(chosen) & 0x0FFFFFFF;
    TSchedule schedule{};
    for (int round = 0; round < 16; ++round) {
        for (int r = 0; r < Rotations[round]; ++r) {
            c = ((c << 1) | (c >> 27)) & 0x0FFFFFFF;
            d = ((d << 1) | (d >> 27)) & 0x0FFFFFFF;
        }
        schedule[static_cast<size_t>(round)] = Permute((static_cast<uint64_t>(c) << 28) | d, 56, PermutedChoice2);
    }
    return schedule;
}

TSchedule Reversed(TSchedule schedule) {
    std::reverse(schedule.begin(), schedule.end());
    return schedule;
}

uint32_t Feistel(uint32_t half, uint64_t roundKey) {
    const uint64_t mixed = Permute(static_cast<uint64_t>(half), 32, Expansion) ^ roundKey;
    uint32_t substituted = 0;
    for (int box = 0; box < 8; ++box) {
        const unsigned six = static_cast<unsigned>(mixed >> (42 - 6 * box)) & 0x3F;
        const unsigned row = ((six & 0x20) >> 4) | (six & 1);
        const unsigned column = (six >> 1) & 0x0F;
        substituted = (substituted << 4) | SBoxes[box][row * 16 + column];
    }
    return static_cast<uint32_t>(Permute(static_cast<uint64_t>(substituted), 32, RoundPermutation));
}

// The block is two big-endian 32-bit halves in the first 8 bytes.
void CryptBlock(const TSchedule& schedule, uint8_t* block) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | block[i];
    bits = Permute(bits, 64, InitialPermutation);
    uint32_t left = static_cast<uint32_t>(bits >> 32), right = static_cast<uint32_t>(bits);
    for (const uint64_t roundKey : schedule) {
        const uint32_t next = left ^ Feistel(right, roundKey);
        left = right;
        right = next;
    }
    bits = Permute((static_cast<uint64_t>(right) << 32) | left, 64, FinalPermutation);
    for (int i = 7; i >= 0; --i) {
        block[i] = static_cast<uint8_t>(bits);
        bits >>= 8;
    }
}

struct TDesKeys {
    TSchedule Encryption{};
    TSchedule Decryption{};
};
TDesKeys desKeys;

// The fixed key of the first hash pass.
const TBytes PasswordHashKey = {0x5A, 0x1C, 0x3E, 0x7B, 0x9D, 0x2F, 0x48, 0x60};

// Shorter blocks would be read and written past their end.
void RequireWholeBlock(const TBytes& block) {
    if (block.size() < 8) throw platform::ERangeError("DES block shorter than 8 bytes");
}

}  // namespace

void DesSetKey(const TBytes& key) {
    desKeys.Encryption = EncryptionSchedule(key);
    desKeys.Decryption = Reversed(desKeys.Encryption);
}

void DesEncryptBlock(TBytes& block, int times) {
    RequireWholeBlock(block);
    for (int i = 0; i < times; ++i) CryptBlock(desKeys.Encryption, block.data());
}

void DesDecryptBlock(const TBytes& key, TBytes& block, int times) {
    RequireWholeBlock(block);
    const TSchedule schedule = Reversed(EncryptionSchedule(key));
    for (int i = 0; i < times; ++i) CryptBlock(schedule, block.data());
}

TBytes DesCbc(const TBytes& data, bool mac) {
    uint8_t chain[8] = {};
    TBytes output(mac ? 0 : data.size(), 0);
    for (size_t offset = 0; offset + 8 <= data.size(); offset += 8) {
        for (size_t i = 0; i < 8; ++i) chain[i] ^= data[offset + i];
        CryptBlock(desKeys.Encryption, chain);
        if (!mac) std::copy(chain, chain + 8, output.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    if (mac) output.assign(chain, chain + 8);
    return output;
}

TBytes EncryptBytes(const TBytes& key, const TBytes& data) {
    DesSetKey(key);
    return DesCbc(data, false);
}

TBytes DecryptHexBlock(const TBytes& key, const std::string& hexText) {
    TBytes bytes = HexToBytes(hexText);
    DesDecryptBlock(key, bytes, 1);
    return bytes;
}

TBytes OraPasswordHash(const std::string& userName, const std::string& password) {
    const std::string text = userName + password;
    TBytes input;
    input.reserve(text.size() * 2 + 8);
    for (const char c : text) {
        input.push_back(0);
        input.push_back(static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    }
    input.resize((input.size() + 7) / 8 * 8, 0);
    DesSetKey(PasswordHashKey);
    const TBytes intermediate = DesCbc(input, true);
    DesSetKey(intermediate);
    return DesCbc(input, true);
}

char NibbleToHex(uint8_t value) { return "0123456789ABCDEF"[value & 0x0F]; }

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return static_cast<unsigned char>(c);
}

std::string BytesToHex(const TBytes& bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const uint8_t b : bytes) {
        text += NibbleToHex(static_cast<uint8_t>(b >> 4));
        text += NibbleToHex(b);
    }
    return text;
}

TBytes HexToBytes(const std::string& text) {
    TBytes bytes(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char high = text[2 * i], low = text[2 * i + 1];
        if (!std::isxdigit(static_cast<unsigned char>(high)) || !std::isxdigit(static_cast<unsigned char>(low)))
            throw platform::EConvertError("'" + text + "' is not a hexadecimal text");
        bytes[i] = static_cast<uint8_t>(HexDigitValue(high) << 4 | HexDigitValue(low));
    }
    return bytes;
}

void CopyBytes(const TBytes& source, int sourceOffset, TBytes& target, int targetOffset, int count) {
    if (sourceOffset < 0 || targetOffset < 0 || count <= 0) return;
    const size_t from = static_cast<size_t>(sourceOffset), to = static_cast<size_t>(targetOffset);
    if (from >= source.size() || to >= target.size()) return;
    const size_t n = std::min({static_cast<size_t>(count), source.size() - from, target.size() - to});
    std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(from), n, target.begin() + static_cast<std::ptrdiff_t>(to));
}

}  // namespace oracle
