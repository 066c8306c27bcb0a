#include "standins/btrieve/KeyCollation.h"

#include <cmath>
#include <cstring>

namespace wbtrv {

using namespace btrieve;

uint32_t KeyDefinition::Length() const {
    uint32_t total = 0;
    for (const auto& s : segments) total += s.length;
    return total;
}

uint32_t KeyDefinition::EndInRecord() const {
    uint32_t end = 0;
    for (const auto& s : segments) end = std::max<uint32_t>(end, s.offset + s.length);
    return end;
}

std::string KeyDefinition::Extract(const Bytes& record) const {
    std::string value;
    value.reserve(Length());
    for (const auto& s : segments) {
        for (uint32_t i = 0; i < s.length; ++i) {
            uint32_t at = s.offset + i;
            value.push_back(at < record.size() ? static_cast<char>(record[at]) : '\0');
        }
    }
    return value;
}

bool KeyDefinition::IsNullIn(const std::string& keyValue) const {
    const uint16_t flags = Flags();
    const bool anySegment = flags & KeyNullAnySegment;
    if (!anySegment && !(flags & KeyNullAllSegments)) return false;
    size_t at = 0;
    bool all = true;
    for (const auto& s : segments) {
        bool isNull = true;
        for (uint32_t i = 0; i < s.length; ++i)
            if (static_cast<uint8_t>(keyValue[at + i]) != s.nullValue) isNull = false;
        at += s.length;
        if (anySegment && isNull) return true;
        all = all && isNull;
    }
    return !anySegment && all;
}

namespace {

// Upper case of code page 1251 letters (Latin and Cyrillic), for case-insensitive keys.
uint8_t FoldCase(uint8_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0) return c - 32;
    if (c == 0xB8) return 0xA8;                  // yo
    return c;
}

// Numbers in order; not-a-number values after all of them (and equal to each other), so
// that an index stays a strict order whatever bytes a record holds.
int Sign(long double a, long double b) {
    const bool nanA = std::isnan(a), nanB = std::isnan(b);
    if (nanA || nanB) return int(nanA) - int(nanB);
    return a < b ? -1 : (a > b ? 1 : 0);
}

uint64_t ReadUnsigned(const uint8_t* p, uint32_t length) {
    uint64_t v = 0;
    for (uint32_t i = std::min<uint32_t>(length, 8); i-- > 0;) v = (v << 8) | p[i];
    return v;
}

int64_t ReadSigned(const uint8_t* p, uint32_t length) {
    uint64_t v = ReadUnsigned(p, length);
    if (length < 8 && (v >> (length * 8 - 1)) & 1) v |= ~uint64_t(0) << (length * 8);
    return static_cast<int64_t>(v);
}

long double ReadFloat(const uint8_t* p, uint32_t length) {
    if (length == 4) {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    if (length == 8) {
        double d;
        std::memcpy(&d, p, 8);
        return d;
    }
    // 10-byte extended: sign, 15-bit exponent, 64-bit mantissa with explicit integer bit.
    uint64_t mantissa = ReadUnsigned(p, 8);
    int exponent = (p[8] | (p[9] << 8)) & 0x7FFF;
    bool negative = p[9] & 0x80;
    long double v = exponent == 0 && mantissa == 0
                        ? 0.0L
                        : std::ldexp(static_cast<long double>(mantissa), exponent - 16383 - 63);
    return negative ? -v : v;
}

// The older binary float layout: exponent in the last byte, sign in the top bit before it.
long double ReadBFloat(const uint8_t* p, uint32_t length) {
    uint8_t exponent = p[length - 1];
    if (exponent == 0) return 0.0L;
    bool negative = p[length - 2] & 0x80;
    uint64_t mantissa = 0;
    for (uint32_t i = length - 1; i-- > 0;) {
        uint8_t byte = i == length - 2 ? static_cast<uint8_t>(p[i] | 0x80) : p[i];
        mantissa = (mantissa << 8) | byte;
    }
    long double v = std::ldexp(static_cast<long double>(mantissa),
                               exponent - 128 - static_cast<int>((length - 1) * 8));
    return negative ? -v : v;
}

// A signed decimal as digits of fixed width, for exact comparison.
struct DecimalValue {
    bool negative = false;
    std::string digits;

    bool IsZero() const { return digits.find_first_not_of('0') == std::string::npos; }
};

int CompareDecimals(DecimalValue a, DecimalValue b) {
    if (a.IsZero()) a.negative = false;
    if (b.IsZero()) b.negative = false;
    if (a.negative != b.negative) return a.negative ? -1 : 1;
    size_t width = std::max(a.digits.size(), b.digits.size());
    a.digits.insert(0, width - a.digits.size(), '0');
    b.digits.insert(0, width - b.digits.size(), '0');
    int c = a.digits.compare(b.digits);
    c = c < 0 ? -1 : (c > 0 ? 1 : 0);
    return a.negative ? -c : c;
}

// Packed decimal: two digits a byte, the sign in the last nibble (0xD or 0xB negative).
DecimalValue ReadPacked(const uint8_t* p, uint32_t length) {
    DecimalValue v;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t hi = p[i] >> 4, lo = p[i] & 0x0F;
        v.digits.push_back(static_cast<char>('0' + std::min<uint8_t>(hi, 9)));
        if (i + 1 < length)
            v.digits.push_back(static_cast<char>('0' + std::min<uint8_t>(lo, 9)));
        else
            v.negative = lo == 0x0D || lo == 0x0B;
    }
    return v;
}

char DigitOf(uint8_t c) { return c >= '0' && c <= '9' ? static_cast<char>(c) : '0'; }

// ASCII digits whose last character also carries the sign ("overpunch").
DecimalValue ReadOverpunch(const uint8_t* p, uint32_t length) {
    DecimalValue v;
    for (uint32_t i = 0; i + 1 < length; ++i) {
        if (p[i] == '-') v.negative = true;
        v.digits.push_back(DigitOf(p[i]));
    }
    uint8_t last = p[length - 1];
    char digit = '0';
    if (last >= '0' && last <= '9') digit = static_cast<char>(last);
    else if (last >= 'A' && last <= 'I') digit = static_cast<char>('1' + (last - 'A'));
    else if (last >= 'J' && last <= 'R') digit = static_cast<char>('1' + (last - 'J')), v.negative = true;
    else if (last >= 'p' && last <= 'y') digit = static_cast<char>('0' + (last - 'p')), v.negative = true;
    else if (last == '}') v.negative = true;
    v.digits.push_back(digit);
    return v;
}

// ASCII digits followed by a separate sign character.
DecimalValue ReadTrailingSign(const uint8_t* p, uint32_t length) {
    DecimalValue v;
    for (uint32_t i = 0; i + 1 < length; ++i) v.digits.push_back(DigitOf(p[i]));
    v.negative = p[length - 1] == '-';
    return v;
}

int CompareBytes(const uint8_t* a, size_t la, const uint8_t* b, size_t lb, const uint8_t* map,
                 bool foldCase) {
    size_t n = std::min(la, lb);
    for (size_t i = 0; i < n; ++i) {
        uint8_t x = a[i], y = b[i];
        if (map) x = map[x], y = map[y];
        else if (foldCase) x = FoldCase(x), y = FoldCase(y);
        if (x != y) return x < y ? -1 : 1;
    }
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

size_t ZeroTerminatedLength(const uint8_t* p, size_t max) {
    size_t n = 0;
    while (n < max && p[n]) ++n;
    return n;
}

}  // namespace

bool IsValidSegmentType(uint8_t type, uint16_t length) {
    if (length == 0) return false;
    switch (type) {
    case TypeInteger:
    case TypeAutoIncrement:
        return length == 1 || length == 2 || length == 4 || length == 8;
    case TypeFloat:
        return length == 4 || length == 8 || length == 10;
    case TypeBFloat:
        return length == 4 || length == 8;
    case TypeDate:
    case TypeTime:
        return length == 4;
    case TypeCurrency:
    case TypeTimestamp:
        return length == 8;
    case TypeLString:
    case TypeNumericSts:
        return length >= 2;
    default:
        return type <= TypeTimestamp;
    }
}

int KeyCollation::CompareSegment(const KeySegment& s, const uint8_t* a, const uint8_t* b) const {
    const uint32_t n = s.length;
    switch (s.type) {
    case TypeInteger:
    case TypeAutoIncrement:
    case TypeCurrency: {
        int64_t x = ReadSigned(a, n), y = ReadSigned(b, n);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case TypeUnsignedBinary:
    case TypeLogical:
    case TypeBit:
    case TypeTimestamp:
        // Most significant byte last; longer values compare from the top down.
        for (uint32_t i = n; i-- > 0;)
            if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        return 0;
    case TypeFloat:
        return Sign(ReadFloat(a, n), ReadFloat(b, n));
    case TypeBFloat:
        return Sign(ReadBFloat(a, n), ReadBFloat(b, n));
    case TypeDate: {  // day, month, year (16-bit)
        uint32_t x = (a[2] | a[3] << 8) << 16 | a[1] << 8 | a[0];
        uint32_t y = (b[2] | b[3] << 8) << 16 | b[1] << 8 | b[0];
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case TypeTime: {  // hundredths, seconds, minutes, hours
        uint32_t x = uint32_t(a[3]) << 24 | a[2] << 16 | a[1] << 8 | a[0];
        uint32_t y = uint32_t(b[3]) << 24 | b[2] << 16 | b[1] << 8 | b[0];
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case TypeDecimal:
    case TypeMoney:
        return CompareDecimals(ReadPacked(a, n), ReadPacked(b, n));
    case TypeNumeric:
    case TypeNumericSa:
        return CompareDecimals(ReadOverpunch(a, n), ReadOverpunch(b, n));
    case TypeNumericSts:
        return CompareDecimals(ReadTrailingSign(a, n), ReadTrailingSign(b, n));
    default:
        break;
    }
    const uint8_t* map = nullptr;
    if ((s.flags & KeyAltCollation) && s.acsNumber < sequences_->size())
        map = (*sequences_)[s.acsNumber].map;
    const bool fold = s.flags & KeyCaseInsensitive;
    switch (s.type) {
    case TypeLString: {
        size_t la = std::min<size_t>(a[0], n - 1), lb = std::min<size_t>(b[0], n - 1);
        return CompareBytes(a + 1, la, b + 1, lb, map, fold);
    }
    case TypeZString:
        return CompareBytes(a, ZeroTerminatedLength(a, n), b, ZeroTerminatedLength(b, n), map, fold);
    default:
        return CompareBytes(a, n, b, n, map, fold);
    }
}

int KeyCollation::Compare(const std::string& a, const std::string& b) const {
    const auto* pa = reinterpret_cast<const uint8_t*>(a.data());
    const auto* pb = reinterpret_cast<const uint8_t*>(b.data());
    for (const auto& s : key_->segments) {
        int c = CompareSegment(s, pa, pb);
        if (c) return (s.flags & KeyDescending) ? -c : c;
        pa += s.length;
        pb += s.length;
    }
    return 0;
}

}  // namespace wbtrv
