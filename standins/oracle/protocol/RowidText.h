// The 18-character ROWID text (object, file, block, row in base 64) of a stored row id,
// and its 13-byte form (byte 0 unused, object BE32, file BE16, block BE32, row BE16).
#pragma once
#include <cstdint>
#include <string>

namespace orastandin {

inline const char* RowidAlphabet() { return "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"; }

struct RowidParts {
  std::uint32_t object = 1;
  std::uint16_t file = 1;
  std::uint32_t block = 0;
  std::uint16_t row = 0;
};

inline RowidParts RowidOf(std::int64_t id) {
  RowidParts p;
  p.block = static_cast<std::uint32_t>(static_cast<std::uint64_t>(id) >> 16);
  p.row = static_cast<std::uint16_t>(id & 0xFFFF);
  return p;
}

inline std::string Base64Digits(std::uint64_t v, int count) {
  std::string s(static_cast<std::size_t>(count), 'A');
  for (int i = count - 1; i >= 0; --i, v >>= 6) s[static_cast<std::size_t>(i)] = RowidAlphabet()[v & 63];
  return s;
}

inline std::string RowidText(const RowidParts& p) {
  return Base64Digits(p.object, 6) + Base64Digits(p.file, 3) + Base64Digits(p.block, 6) + Base64Digits(p.row, 3);
}

// False for a text that is not 18 base-64 characters.
inline bool ParseRowidText(const std::string& text, RowidParts& out) {
  if (text.size() != 18) return false;
  auto digits = [&](std::size_t at, int count, std::uint64_t& v) {
    v = 0;
    for (int i = 0; i < count; ++i) {
      const char* hit = nullptr;
      for (const char* a = RowidAlphabet(); *a; ++a)
        if (*a == text[at + static_cast<std::size_t>(i)]) hit = a;
      if (!hit) return false;
      v = (v << 6) | static_cast<std::uint64_t>(hit - RowidAlphabet());
    }
    return true;
  };
  std::uint64_t o, f, b, r;
  if (!digits(0, 6, o) || !digits(6, 3, f) || !digits(9, 6, b) || !digits(15, 3, r)) return false;
  out = {static_cast<std::uint32_t>(o), static_cast<std::uint16_t>(f), static_cast<std::uint32_t>(b),
         static_cast<std::uint16_t>(r)};
  return true;
}

inline void RowidBytes(const RowidParts& p, unsigned char out[13]) {
  out[0] = 0;
  for (int i = 0; i < 4; ++i) out[1 + i] = static_cast<unsigned char>(p.object >> (24 - 8 * i));
  out[5] = static_cast<unsigned char>(p.file >> 8);
  out[6] = static_cast<unsigned char>(p.file);
  for (int i = 0; i < 4; ++i) out[7 + i] = static_cast<unsigned char>(p.block >> (24 - 8 * i));
  out[11] = static_cast<unsigned char>(p.row >> 8);
  out[12] = static_cast<unsigned char>(p.row);
}

}  // namespace orastandin
