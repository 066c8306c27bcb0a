#include "btrieve/engines/BtrieveFields.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/engines/BtrieveApi.h"
#include "btrieve/engines/BtrieveEngineError.h"
#include "btrieve/engines/ConversionFunctions.h"
#include "platform/DateTime.h"
#include "platform/FormatSettings.h"
#include "platform/SysUtils.h"

namespace btrieve {

namespace {

constexpr int32_t kConversionFailed = 2999;
constexpr double kMsPerDay = 86400000.0;
// Numbers in their text forms use a full stop, whatever the user's settings.
const platform::TFormatSettings kFullStop{};

template <class T>
void Store(void* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

void StoreDouble(void* value, double v) { Store<double>(value, v); }

// ---- Calendar ----

bool DayNumberOfDate(int year, int month, int day, int32_t& dayNumber) {
    platform::TDateTime dt;
    if (!platform::TryEncodeDate(year, month, day, dt)) return false;
    dayNumber = platform::DateTimeToTimeStamp(dt).Date;
    return true;
}

bool DateOfDayNumber(int32_t dayNumber, int& year, int& month, int& day) {
    if (dayNumber <= 0 || dayNumber > 3652059) return false;  // 31 December 9999
    platform::TTimeStamp stamp;
    stamp.Date = dayNumber;
    stamp.Time = 0;
    platform::DecodeDate(platform::TimeStampToDateTime(stamp), year, month, day);
    return true;
}

// Day number of a Btrieve date (day, month, year); false for a date the calendar refuses.
bool ReadBtrieveDate(const uint8_t* field, int32_t& dayNumber) {
    const int day = field[0], month = field[1], year = LoadUnaligned<uint16_t>(field + 2);
    dayNumber = 0;
    if (month == 0 || month > 12 || day == 0 || day > 31 || year == 0) return true;
    return DayNumberOfDate(year, month, day, dayNumber);
}

bool WriteBtrieveDate(uint8_t* field, int32_t dayNumber) {
    int year, month, day;
    if (!DateOfDayNumber(dayNumber, year, month, day)) {
        std::memset(field, 0, 4);
        return false;
    }
    field[0] = static_cast<uint8_t>(day);
    field[1] = static_cast<uint8_t>(month);
    Store<uint16_t>(field + 2, static_cast<uint16_t>(year));
    return true;
}

int32_t ReadBtrieveTime(const uint8_t* field) {
    const int hundredths = field[0], seconds = field[1], minutes = field[2], hours = field[3];
    if (hundredths > 99 || seconds > 59 || minutes > 59 || hours > 23) return 0;
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + hundredths * 10;
}

void WriteBtrieveTime(uint8_t* field, int32_t msecs) {
    if (msecs < 0) msecs = 0;
    msecs %= 86400000;
    field[0] = static_cast<uint8_t>(msecs % 1000 / 10);
    field[1] = static_cast<uint8_t>(msecs / 1000 % 60);
    field[2] = static_cast<uint8_t>(msecs / 60000 % 60);
    field[3] = static_cast<uint8_t>(msecs / 3600000);
}

// ---- Time stamps ----

bool StampToSystemTime(double msecs, SYSTEMTIME& st) {
    const double days = std::floor(msecs / kMsPerDay);
    int year, month, day;
    if (!DateOfDayNumber(static_cast<int32_t>(days), year, month, day) || year < 1601 || year > 30827) return false;
    const int64_t rest = static_cast<int64_t>(msecs - days * kMsPerDay);
    st = SYSTEMTIME{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(rest / 3600000);
    st.wMinute = static_cast<WORD>(rest / 60000 % 60);
    st.wSecond = static_cast<WORD>(rest / 1000 % 60);
    st.wMilliseconds = static_cast<WORD>(rest % 1000);
    return true;
}

double SystemTimeToStamp(const SYSTEMTIME& st) {
    int32_t dayNumber = 0;
    DayNumberOfDate(st.wYear, st.wMonth, st.wDay, dayNumber);
    return dayNumber * kMsPerDay + ((st.wHour * 60.0 + st.wMinute) * 60 + st.wSecond) * 1000 + st.wMilliseconds;
}

double StandardBiasMsecs() {
    TIME_ZONE_INFORMATION tz;
    GetTimeZoneInformation(&tz);
    return tz.Bias * 60000.0;
}

// ---- Packed decimal, numeric texts ----

// Digits of |value| scaled by decimals, right-aligned in count digits; false when they do not fit.
bool ScaledDigits(double value, int decimals, size_t count, std::string& digits) {
    const double scaled = std::round(std::fabs(value) * std::pow(10.0, decimals));
    if (!std::isfinite(scaled)) return false;
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", scaled);
    const size_t length = std::strlen(text);
    if (length > count) return false;
    digits.assign(count - length, '0');
    digits += text;
    return true;
}

double ReadPacked(const uint8_t* field, uint16_t length, int decimals) {
    double v = 0;
    for (int i = 0; i < 2 * length - 1; ++i) {
        const uint8_t byte = field[i / 2];
        v = v * 10 + (i % 2 == 0 ? byte >> 4 : byte & 0x0F);
    }
    v /= std::pow(10.0, decimals);
    return (field[length - 1] & 0x0F) == 0x0D ? -v : v;
}

bool WritePacked(uint8_t* field, uint16_t length, int decimals, double value) {
    std::string digits;
    if (length == 0 || !ScaledDigits(value, decimals, 2 * length - 1, digits)) {
        std::memset(field, 0, length);
        return false;
    }
    std::memset(field, 0, length);
    for (size_t i = 0; i < digits.size(); ++i) {
        const uint8_t d = static_cast<uint8_t>(digits[i] - '0');
        field[i / 2] |= i % 2 == 0 ? static_cast<uint8_t>(d << 4) : d;
    }
    field[length - 1] |= value < 0 && digits.find_first_not_of('0') != std::string::npos ? 0x0D : 0x0F;
    return true;
}

bool ReadNumeric(const uint8_t* field, uint16_t length, int decimals, double& value) {
    if (length == 0) return false;
    double v = 0;
    for (uint16_t i = 0; i + 1 < length; ++i) {
        const char c = static_cast<char>(field[i]);
        if (c == ' ') continue;
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    const char last = static_cast<char>(field[length - 1]);
    bool negative = false;
    int digit;
    if (last >= '0' && last <= '9') digit = last - '0';
    else if (last == '{') digit = 0;
    else if (last >= 'A' && last <= 'I') digit = last - 'A' + 1;
    else if (last == '}') digit = 0, negative = true;
    else if (last >= 'J' && last <= 'R') digit = last - 'J' + 1, negative = true;
    else return false;
    v = (v * 10 + digit) / std::pow(10.0, decimals);
    value = negative ? -v : v;
    return true;
}

bool WriteNumeric(uint8_t* field, uint16_t length, int decimals, double value) {
    std::string digits;
    if (length == 0 || !ScaledDigits(value, decimals, length, digits)) return false;
    const bool negative = value < 0 && digits.find_first_not_of('0') != std::string::npos;
    const int lastDigit = digits.back() - '0';
    if (negative) digits.back() = lastDigit == 0 ? '}' : static_cast<char>('J' + lastDigit - 1);
    else if (lastDigit != 0) digits.back() = static_cast<char>('A' + lastDigit - 1);
    std::memcpy(field, digits.data(), length);
    return true;
}

bool ReadDigits(const uint8_t* field, size_t count, double& v) {
    v = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = static_cast<char>(field[i]);
        if (c == ' ') continue;
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

// ---- Binary floats of other formats ----

bool ReadBFloat(const uint8_t* field, uint16_t length, double& value) {
    if (length == 4) {
        const uint8_t exponent = field[3];
        // Exponent 0 is zero whatever the mantissa holds.
        if (exponent <= 2) {
            value = 0.0;
            return true;
        }
        const uint32_t bits = (static_cast<uint32_t>(field[2] & 0x80) << 24) |
                              (static_cast<uint32_t>(exponent - 2) << 23) |
                              (static_cast<uint32_t>(field[2] & 0x7F) << 16) | (field[1] << 8) | field[0];
        value = LoadUnaligned<float>(&bits);
        return true;
    }
    if (length == 8) {
        const uint8_t exponent = field[7];
        if (exponent == 0) {
            value = 0.0;
            return true;
        }
        uint64_t mantissa = 0;
        for (int i = 6; i >= 0; --i) mantissa = (mantissa << 8) | field[i];
        mantissa &= (uint64_t(1) << 55) - 1;
        const uint64_t bits = (static_cast<uint64_t>(field[6] & 0x80) << 56) |
                              (static_cast<uint64_t>(exponent + 894) << 52) | (mantissa >> 3);
        value = LoadUnaligned<double>(&bits);
        return true;
    }
    return false;
}

bool WriteBFloat(uint8_t* field, uint16_t length, double value) {
    std::memset(field, 0, length);
    if (length == 4) {
        char text[64];
        std::snprintf(text, sizeof text, "%.7g", value);
        const float single = std::strtof(text, nullptr);
        if (!std::isfinite(single)) return false;
        if (single == 0.0f) return true;
        const uint32_t bits = LoadUnaligned<uint32_t>(&single);
        const uint32_t exponent = (bits >> 23) & 0xFF;
        if (exponent == 0) return true;  // too small for the format: zero
        if (exponent + 2 > 255) return false;
        field[0] = static_cast<uint8_t>(bits);
        field[1] = static_cast<uint8_t>(bits >> 8);
        field[2] = static_cast<uint8_t>(((bits >> 16) & 0x7F) | ((bits >> 24) & 0x80));
        field[3] = static_cast<uint8_t>(exponent + 2);
        return true;
    }
    if (length == 8) {
        if (!std::isfinite(value)) return false;
        if (value == 0.0) return true;
        const uint64_t bits = LoadUnaligned<uint64_t>(&value);
        const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 894;
        if (exponent <= 0) return true;
        if (exponent > 255) return false;
        const uint64_t mantissa = (bits & ((uint64_t(1) << 52) - 1)) << 3;
        for (int i = 0; i < 7; ++i) field[i] = static_cast<uint8_t>(mantissa >> (8 * i));
        field[6] = static_cast<uint8_t>((field[6] & 0x7F) | ((bits >> 56) & 0x80));
        field[7] = static_cast<uint8_t>(exponent);
        return true;
    }
    return false;
}

double ReadExtended(const uint8_t* field) {
    const uint64_t mantissa = LoadUnaligned<uint64_t>(field);
    const uint16_t signExponent = LoadUnaligned<uint16_t>(field + 8);
    const int exponent = signExponent & 0x7FFF;
    if (exponent == 0 && mantissa == 0) return 0.0;
    const double v = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
    return (signExponent & 0x8000) ? -v : v;
}

void WriteExtended(uint8_t* field, double value) {
    std::memset(field, 0, 10);
    if (value == 0.0 || !std::isfinite(value)) return;
    int exponent;
    const double fraction = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
    const uint64_t mantissa = static_cast<uint64_t>(std::ldexp(fraction, 64));
    Store<uint64_t>(field, mantissa);
    Store<uint16_t>(field + 8, static_cast<uint16_t>((exponent - 1 + 16383) | (value < 0 ? 0x8000 : 0)));
}

double ReadDecimalFloat(const uint8_t* field) {
    double digits = 0;
    for (int i = 0; i < 17; ++i) {
        const uint8_t byte = field[9 - i / 2];
        digits = digits * 10 + (i % 2 == 0 ? byte >> 4 : byte & 0x0F);
    }
    const int exponent = (field[0] & 0x7F) - 64;
    const double v = digits / 1e16 * std::pow(10.0, exponent);
    return (field[0] & 0x80) ? -v : v;
}

void WriteDecimalFloat(uint8_t* field, double value) {
    std::memset(field, 0, 10);
    if (!std::isfinite(value) || std::fabs(value) < 1e-16) return;
    char text[64];
    std::snprintf(text, sizeof text, "%.16e", std::fabs(value));  // d.dddddddddddddddde+XX
    const int exponent = std::atoi(std::strchr(text, 'e') + 1);
    if (exponent + 64 < 0 || exponent + 64 > 127) return;
    std::string digits;
    for (const char* p = text; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    for (int i = 0; i < 17 && i < static_cast<int>(digits.size()); ++i) {
        const uint8_t d = static_cast<uint8_t>(digits[i] - '0');
        field[9 - i / 2] |= i % 2 == 0 ? static_cast<uint8_t>(d << 4) : d;
    }
    field[0] = static_cast<uint8_t>((exponent + 64) | (value < 0 ? 0x80 : 0));
}

double ReadReal48(const uint8_t* field) {
    if (field[0] == 0) return 0.0;
    uint64_t mantissa = 0;
    for (int i = 5; i >= 1; --i) mantissa = (mantissa << 8) | field[i];
    mantissa &= (uint64_t(1) << 39) - 1;
    const double v = std::ldexp(1.0 + std::ldexp(static_cast<double>(mantissa), -39), field[0] - 129);
    return (field[5] & 0x80) ? -v : v;
}

bool WriteReal48(uint8_t* field, double value) {
    std::memset(field, 0, 6);
    if (!std::isfinite(value)) return false;
    if (value == 0.0) return true;
    int exponent;
    const double fraction = std::frexp(std::fabs(value), &exponent);  // value = fraction * 2^exponent
    int stored = exponent - 1 + 129;
    uint64_t mantissa = static_cast<uint64_t>(std::llround(std::ldexp(fraction * 2 - 1, 39)));
    if (mantissa >> 39) {
        mantissa = 0;
        ++stored;
    }
    if (stored <= 0) return true;
    if (stored > 255) return false;
    field[0] = static_cast<uint8_t>(stored);
    for (int i = 1; i <= 5; ++i) field[i] = static_cast<uint8_t>(mantissa >> (8 * (i - 1)));
    field[5] = static_cast<uint8_t>((field[5] & 0x7F) | (value < 0 ? 0x80 : 0));
    return true;
}

// ---- Conversion library ----

bool IsExtendedDate(uint8_t type) {
    return type == exttype::LongYMD || type == exttype::MagicDate || type == exttype::CTime ||
           (type >= exttype::MagicDate2 && type <= exttype::TasProDate);
}

int16_t GetIntermediateDate(TConversionFunctions& f, uint8_t type, const uint8_t* field, uint8_t* out) {
    switch (type) {
    case exttype::LongYMD: return f.GetLongYMD ? f.GetLongYMD(field, out) : -1;
    case exttype::MagicDate: return f.GetMagicDate ? f.GetMagicDate(field, out, -693594) : -1;
    case exttype::MagicDate2: return f.GetMagicDate ? f.GetMagicDate(field, out, 367) : -1;
    case exttype::CTime: return f.GetCtime ? f.GetCtime(field, out) : -1;
    case exttype::YMD: return f.GetYMD ? f.GetYMD(field, out) : -1;
    case exttype::YYMMDD: return f.GetYYMMDD ? f.GetYYMMDD(field, out) : -1;
    case exttype::YYYYMMDD: return f.GetYYYYMMDD ? f.GetYYYYMMDD(field, out) : -1;
    case exttype::TasProDate: return f.GetTasProDate ? f.GetTasProDate(field, out) : -1;
    default: return -1;
    }
}

int16_t SetFieldFromDate(TConversionFunctions& f, uint8_t type, uint8_t* field, uint16_t length, uint32_t low,
                         uint32_t high) {
    switch (type) {
    case exttype::LongYMD: return f.SetLongDate ? f.SetLongDate(field, low, high) : -1;
    case exttype::MagicDate: return f.SetMagicDate ? f.SetMagicDate(field, low, high, -693594) : -1;
    case exttype::MagicDate2: return f.SetMagicDate ? f.SetMagicDate(field, low, high, 367) : -1;
    case exttype::CTime: return f.SetCtime ? f.SetCtime(field, low, high) : -1;
    case exttype::YMD: return f.SetYMD ? f.SetYMD(field, low, high) : -1;
    case exttype::YYMMDD: {
        // The entry writes a terminator after the six digits.
        if (!f.SetYYMMDD) return -1;
        uint8_t scratch[7] = {};
        const int16_t status = f.SetYYMMDD(scratch, low, high);
        std::memcpy(field, scratch, std::min<size_t>(6, length));
        return status;
    }
    case exttype::YYYYMMDD: return f.SetYYYYMMDD ? f.SetYYYYMMDD(field, low, high) : -1;
    case exttype::TasProDate: return f.SetTasProDate ? f.SetTasProDate(field, low, high) : -1;
    default: return -1;
    }
}

uint32_t Low(const uint8_t* v) { return LoadUnaligned<uint32_t>(v); }
uint32_t High(const uint8_t* v) { return LoadUnaligned<uint32_t>(v + 4); }

void ReadExtendedNumber(uint8_t type, uint16_t length, int16_t decimals, void* value, const uint8_t* field) {
    TConversionFunctions& f = GetConversionFunctions();
    uint8_t result[8] = {};
    int16_t status = -1;
    switch (type) {
    case exttype::Binary1:
        if (f.GetBinary) status = f.GetBinary(field, length, decimals, result, 1, 0);
        break;
    case exttype::Binary2:
        if (f.GetBinary) status = f.GetBinary(field, length, decimals, result, 0, 1);
        break;
    case exttype::Binary3:
        if (f.GetBinary) status = f.GetBinary(field, length, decimals, result, 0, 0);
        break;
    case exttype::MagicNum:
    case exttype::MagicNum2:
        if (f.GetMagicNum100) status = f.GetMagicNum100(field, length, result);
        break;
    case exttype::TasProNum:
    case exttype::TasProNum2:
        if (f.GetTasProNum) status = f.GetTasProNum(field, length, decimals, result);
        break;
    case exttype::UDecimal:
        if (f.GetUDecimal) status = f.GetUDecimal(field, length, decimals, result);
        break;
    case exttype::Currency:
        if (f.GetVBCurrency) status = f.GetVBCurrency(field, result);
        break;
    }
    if (status != 0) return ReadFailed(value, 8);
    std::memcpy(value, result, 8);
}

void WriteExtendedNumber(uint8_t type, uint16_t length, int16_t decimals, uint8_t* field, const void* value) {
    TConversionFunctions& f = GetConversionFunctions();
    uint8_t v[8];
    std::memcpy(v, value, 8);
    int16_t status = -1;
    switch (type) {
    case exttype::Binary1:
        if (f.SetBinary) status = f.SetBinary(field, length, decimals, Low(v), High(v), 1, 0);
        break;
    case exttype::Binary2:
        if (f.SetBinary) status = f.SetBinary(field, length, decimals, Low(v), High(v), 0, 1);
        break;
    case exttype::Binary3:
        if (f.SetBinary) status = f.SetBinary(field, length, decimals, Low(v), High(v), 0, 0);
        break;
    case exttype::MagicNum:
    case exttype::MagicNum2:
        if (f.SetMagicNum100) status = f.SetMagicNum100(field, length, Low(v), High(v));
        break;
    case exttype::TasProNum:
    case exttype::TasProNum2:
        if (f.SetTasProNum) status = f.SetTasProNum(field, length, decimals, Low(v), High(v));
        break;
    case exttype::UDecimal:
        if (f.SetUDecimal) status = f.SetUDecimal(field, length, decimals, Low(v), High(v));
        break;
    case exttype::Currency:
        if (f.SetVBCurrency) status = f.SetVBCurrency(field, Low(v), High(v));
        break;
    }
    if (status != 0) WriteFailed();
}

AnsiString TextOfField(const uint8_t* field, size_t length) {
    return FieldText(reinterpret_cast<const char*>(field), length);
}

// The field's text up to its first NUL, right-trimmed when asked, copied zero-terminated
// straight from the record: a field read makes no string on the heap.
void CopyFieldText(void* value, const uint8_t* field, size_t length, bool trimRight) {
    const void* end = std::memchr(field, '\0', length);
    size_t n = end ? static_cast<const uint8_t*>(end) - field : length;
    if (trimRight)
        while (n > 0 && field[n - 1] <= ' ') --n;  // the blanks TrimRight takes off
    std::memmove(value, field, n);
    static_cast<char*>(value)[n] = '\0';
}

// Integers of 1, 2, 4 or 8 bytes; false for other lengths.
bool ReadInteger(const uint8_t* field, uint16_t length, bool unsignedByte, void* value, bool& zero) {
    switch (length) {
    case 1: {
        const int16_t v = unsignedByte ? static_cast<int16_t>(field[0]) : static_cast<int16_t>(static_cast<int8_t>(field[0]));
        Store(value, v);
        zero = v == 0;
        return true;
    }
    case 2: Store(value, LoadUnaligned<int16_t>(field)); zero = LoadUnaligned<int16_t>(field) == 0; return true;
    case 4: Store(value, LoadUnaligned<int32_t>(field)); zero = LoadUnaligned<int32_t>(field) == 0; return true;
    case 8: Store(value, LoadUnaligned<int64_t>(field)); zero = LoadUnaligned<int64_t>(field) == 0; return true;
    default: return false;
    }
}

}  // namespace

TBtrieveSettings& BtrieveSettings() {
    static TBtrieveSettings settings;
    return settings;
}

TLogicalType MapBtrieveType(uint8_t type, uint16_t length) {
    TLogicalType t;
    t.units = static_cast<int16_t>(length);
    auto set = [&](uint16_t logical, int units, uint16_t subType = 0) {
        t.type = logical;
        t.units = static_cast<int16_t>(units);
        t.subType = subType;
        return t;
    };
    switch (type) {
    case TypeString:
        return length < 256 ? set(fldtype::ZString, length) : set(fldtype::Blob, length - 1, fldsubtype::Memo);
    case TypeInteger:
        switch (length) {
        case 1: return set(BtrieveSettings().smallIntAsByte ? fldtype::UInt16 : fldtype::Int16, 2);
        case 2: return set(fldtype::Int16, 2);
        case 4: return set(fldtype::Int32, 4);
        case 8: return set(fldtype::Int64, 8);
        }
        break;
    case TypeFloat:
    case TypeDecimal:
    case TypeNumeric:
    case TypeBFloat:
    case TypeNumericSts:
    case TypeNumericSa: return set(fldtype::Float, length);
    case TypeDate: return set(fldtype::Date, length);
    case TypeTime: return set(fldtype::Time, length);
    case TypeMoney:
    case TypeCurrency: return set(fldtype::Float, length, fldsubtype::Money);
    case TypeLogical:
    case TypeBit: return set(fldtype::Bool, 4);
    case TypeLString: return set(fldtype::ZString, length - 1);
    case TypeZString:
        if (length == 1) return set(fldtype::Bytes, length);
        if (length >= 2 && length <= 256) return set(fldtype::ZString, length - 1);
        if (length > 256) return set(fldtype::Blob, length - 1, fldsubtype::Memo);
        break;
    case TypeNote: return length == 1 ? set(fldtype::Bytes, length) : set(fldtype::Blob, length - 1, fldsubtype::Memo);
    case TypeLVar: return set(fldtype::Bytes, length);
    case TypeUnsignedBinary:
        switch (length) {
        case 1: return set(fldtype::UInt16, 2);
        case 2: return set(fldtype::UInt16, length);
        case 4: return set(fldtype::UInt32, length);
        case 6: return set(fldtype::Bytes, length);
        case 8: return set(fldtype::UInt64, 8);
        }
        break;
    case TypeAutoIncrement:
        switch (length) {
        case 1: return set(fldtype::Int16, 2, fldsubtype::AutoInc);
        case 2: return set(fldtype::Int16, length, fldsubtype::AutoInc);
        case 4: return set(fldtype::Int32, length, fldsubtype::AutoInc);
        case 6: return set(fldtype::Bytes, length, fldsubtype::AutoInc);
        case 8: return set(fldtype::Int64, length, fldsubtype::AutoInc);
        }
        break;
    case TypeTimestamp:
    case exttype::DateTimeFloat: return set(fldtype::Timestamp, length);
    case exttype::LongYMD:
    case exttype::MagicDate:
    case exttype::CTime:
    case exttype::MagicDate2:
    case exttype::YMD:
    case exttype::YYMMDD:
    case exttype::YYYYMMDD:
    case exttype::TasProDate: return set(fldtype::Date, length);
    case exttype::TasProTime:
    case exttype::MagicTime: return set(fldtype::Time, length);
    case exttype::Binary1:
    case exttype::Binary2:
    case exttype::Binary3:
    case exttype::Numeric:
    case exttype::MagicNum:
    case exttype::TasProNum:
    case exttype::DecimalFloat:
    case exttype::MagicNum2:
    case exttype::TasProNum2:
    case exttype::UDecimal:
    case exttype::Real48: return set(fldtype::Float, length);
    case exttype::Currency: return set(fldtype::Float, length, fldsubtype::Money);
    }
    return set(fldtype::Unknown, length);
}

TEngineFieldDesc DictFieldToDesc(const uint8_t* record, uint16_t fieldNumber) {
    TEngineFieldDesc desc{};
    desc.fieldNumber = fieldNumber;
    const AnsiString name = platform::Trim(TextOfField(record + fieldddf::Name, fieldddf::NameSize)).substr(0, 31);
    CopyToField(desc.name, sizeof desc.name, name);
    const uint16_t size = LoadUnaligned<uint16_t>(record + fieldddf::Size);
    const TLogicalType logical = MapBtrieveType(record[fieldddf::DataType], size);
    desc.fieldType = logical.type;
    desc.subType = logical.subType;
    desc.length = size;
    desc.units1 = logical.units;
    if (logical.type == fldtype::Blob) {
        if (name.find("111") != AnsiString::npos) {
            desc.subType = fldsubtype::Graphic;
            desc.units1 = 0;
        } else if (name.find("222") != AnsiString::npos) {
            desc.subType = fldsubtype::Binary;
            desc.units1 = 0;
        }
    }
    desc.units2 = record[fieldddf::Dec];
    desc.offset = LoadUnaligned<uint16_t>(record + fieldddf::Offset);
    desc.valCheck = 2;
    desc.rights = 3;
    return desc;
}

uint16_t BlankValueSize(uint16_t logicalType, uint16_t length) {
    // Fixed-width values clear their own width, whatever the field's physical length:
    // a 4-byte bit field must not clear more than its 16-bit value.
    switch (logicalType) {
    case fldtype::Blob: return 255;
    case fldtype::Bool:
    case fldtype::Int16:
    case fldtype::UInt16: return 2;
    case fldtype::Int32:
    case fldtype::UInt32:
    case fldtype::Date:
    case fldtype::Time: return 4;
    case fldtype::Float:
    case fldtype::Timestamp:
    case fldtype::Int64:
    case fldtype::UInt64: return 8;
    default: return length;
    }
}

void ReadFailed(void* value, size_t size) {
    if (!BtrieveSettings().readTolerant) RaiseBtrieveError(kConversionFailed);
    if (value) std::memset(value, 0, size);
}

void WriteFailed() {
    if (!BtrieveSettings().writeTolerant) RaiseBtrieveError(kConversionFailed);
}

double LocalStampToUtc(double msecs) {
    SYSTEMTIME local, utc;
    if (StampToSystemTime(msecs, local) && TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc))
        return SystemTimeToStamp(utc);
    return msecs + StandardBiasMsecs();
}

double UtcStampToLocal(double msecs) {
    SYSTEMTIME utc, local;
    if (StampToSystemTime(msecs, utc) && SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return SystemTimeToStamp(local);
    return msecs - StandardBiasMsecs();
}

void ReadBtrieveField(uint8_t type, uint16_t length, int16_t decimals, bool& blank, void* value,
                      const uint8_t* field) {
    blank = false;
    const TBtrieveSettings& settings = BtrieveSettings();
    const bool zero = IsZeroBuf(field, length);
    switch (type) {
    case TypeString:
        if (zero) {
            blank = true;
            return;
        }
        CopyFieldText(value, field, length, true);
        return;
    case TypeInteger:
    case TypeAutoIncrement: {
        bool isZero = false;
        if (!ReadInteger(field, length, settings.smallIntAsByte, value, isZero))
            return ReadFailed(value, length);
        if (isZero && !settings.integersShowAsZero) blank = true;
        return;
    }
    case TypeFloat:
        switch (length) {
        case 4: StoreDouble(value, LoadUnaligned<float>(field)); return;
        case 8: std::memcpy(value, field, 8); return;
        case 10: StoreDouble(value, ReadExtended(field)); return;
        default: return ReadFailed(value, 8);
        }
    case TypeDate: {
        if (zero) {
            blank = true;
            return;
        }
        int32_t dayNumber = 0;
        if (!ReadBtrieveDate(field, dayNumber)) return ReadFailed(value, 4);
        Store(value, dayNumber);
        return;
    }
    case TypeTime:
        if (zero) {
            blank = true;
            return;
        }
        Store(value, ReadBtrieveTime(field));
        return;
    case TypeDecimal:
        StoreDouble(value, zero ? 0.0 : ReadPacked(field, length, decimals));
        return;
    case TypeMoney:
        StoreDouble(value, zero ? 0.0 : ReadPacked(field, length, 2));
        return;
    case TypeLogical: Store<int16_t>(value, zero ? 0 : -1); return;
    case TypeNumeric:
    case exttype::Numeric: {
        double v = 0;
        if (!zero && !ReadNumeric(field, length, decimals, v)) return ReadFailed(value, 8);
        StoreDouble(value, v);
        return;
    }
    case TypeBFloat: {
        double v = 0;
        if (!zero && !ReadBFloat(field, length, v)) return ReadFailed(value, 8);
        StoreDouble(value, v);
        return;
    }
    case TypeLString:
        if (zero) {
            blank = true;
            return;
        }
        CopyFieldText(value, field + 1, std::min<size_t>(field[0], length > 0 ? length - 1 : 0), false);
        return;
    case TypeZString:
    case TypeNote: {
        const uint16_t capped = type == TypeNote ? std::min<uint16_t>(length, 255) : length;
        if (IsZeroBuf(field, capped)) {
            blank = true;
            return;
        }
        CopyFieldText(value, field, capped > 0 ? capped - 1u : 0u, false);
        return;
    }
    case TypeLVar: std::memcpy(value, field, length); return;
    case TypeUnsignedBinary:
        switch (length) {
        case 1: Store<uint16_t>(value, field[0]); return;
        case 2:
        case 4:
        case 6:
        case 8: std::memcpy(value, field, length); return;
        default: return ReadFailed(value, length);
        }
    case TypeBit: Store<int16_t>(value, (field[0] & static_cast<uint8_t>(decimals)) ? -1 : 0); return;
    case TypeNumericSts: {
        double v = 0;
        if (!zero) {
            if (length < 1 || !ReadDigits(field, length - 1u, v)) return ReadFailed(value, 8);
            v /= std::pow(10.0, decimals);
            if (field[length - 1] != '+') v = -v;
        }
        StoreDouble(value, v);
        return;
    }
    case TypeNumericSa: {
        double v = 0;
        if (!zero && length > 0) {
            std::vector<uint8_t> digits(field, field + length);
            const bool negative = digits.back() >= 'p' && digits.back() <= 'y';
            if (negative) digits.back() = static_cast<uint8_t>(digits.back() - 64);
            if (!ReadDigits(digits.data(), length, v)) return ReadFailed(value, 8);
            v /= std::pow(10.0, decimals);
            if (negative) v = -v;
        }
        StoreDouble(value, v);
        return;
    }
    case TypeCurrency:
        if (length != 8) return ReadFailed(value, 8);
        blank = zero;
        StoreDouble(value, zero ? 0.0 : static_cast<double>(LoadUnaligned<int64_t>(field)) / 10000.0);
        return;
    case TypeTimestamp: {
        if (length != 8) return ReadFailed(value, 8);
        blank = zero;
        const int64_t stored = LoadUnaligned<int64_t>(field);
        if (stored == 0) {
            StoreDouble(value, 0.0);
            return;
        }
        // Stored: 100-ns units since 1 January of year 1, UTC.
        const double utc = std::floor(static_cast<double>(stored) / 10000.0) + kMsPerDay;
        const double local = UtcStampToLocal(utc);
        StoreDouble(value, local < 2 * kMsPerDay ? 0.0 : local);
        return;
    }
    case exttype::DateTimeFloat: {
        if (zero) {
            blank = true;
            return;
        }
        if (length < 8) return ReadFailed(value, 8);
        const platform::TTimeStamp stamp = platform::DateTimeToTimeStamp(LoadUnaligned<double>(field));
        StoreDouble(value, platform::TimeStampToMSecs(stamp));
        return;
    }
    case exttype::DecimalFloat:
        StoreDouble(value, zero || length < 10 ? 0.0 : ReadDecimalFloat(field));
        return;
    case exttype::Real48:
        StoreDouble(value, zero || length < 6 ? 0.0 : ReadReal48(field));
        return;
    case exttype::TasProTime:
    case exttype::MagicTime: {
        if (zero) {
            blank = true;
            return;
        }
        TConversionFunctions& f = GetConversionFunctions();
        uint8_t intermediate[8] = {};
        auto get = type == exttype::TasProTime ? f.GetTasProTime : f.GetMagicTime;
        if (!get || get(field, intermediate) != 0) return ReadFailed(value, 4);
        uint8_t time[4] = {};
        if (!f.SetBtrieveTime || f.SetBtrieveTime(time, Low(intermediate), High(intermediate)) != 0) {
            WriteFailed();
            std::memset(time, 0, sizeof time);
        }
        Store(value, ReadBtrieveTime(time));
        return;
    }
    case exttype::Binary1:
    case exttype::Binary2:
    case exttype::Binary3: ReadExtendedNumber(type, length, decimals, value, field); return;
    case exttype::MagicNum:
    case exttype::MagicNum2:
    case exttype::TasProNum:
    case exttype::TasProNum2:
    case exttype::UDecimal:
    case exttype::Currency:
        if (zero) {
            StoreDouble(value, 0.0);
            return;
        }
        ReadExtendedNumber(type, length, decimals, value, field);
        return;
    default:
        if (!IsExtendedDate(type)) return;
        if (zero) {
            blank = true;
            return;
        }
        TConversionFunctions& f = GetConversionFunctions();
        uint8_t intermediate[8] = {};
        if (GetIntermediateDate(f, type, field, intermediate) != 0) return ReadFailed(value, 4);
        uint8_t date[4] = {};
        if (!f.SetBtrieveDate || f.SetBtrieveDate(date, Low(intermediate), High(intermediate)) != 0) {
            WriteFailed();
            std::memset(date, 0, sizeof date);
        }
        int32_t dayNumber = 0;
        if (!ReadBtrieveDate(date, dayNumber)) return ReadFailed(value, 4);
        Store(value, dayNumber);
        return;
    }
}

void WriteBtrieveField(uint8_t type, uint16_t length, int16_t decimals, uint8_t* field, const void* value) {
    const TBtrieveSettings& settings = BtrieveSettings();
    auto fail = [&] {
        std::memset(field, 0, length);
        WriteFailed();
    };
    switch (type) {
    case TypeString: {
        const AnsiString text = FieldText(static_cast<const char*>(value), length);
        std::memset(field, settings.stringPaddedSpaces ? ' ' : 0, length);
        std::memcpy(field, text.data(), text.size());
        return;
    }
    case TypeInteger:
    case TypeAutoIncrement:
        switch (length) {
        case 1: field[0] = static_cast<uint8_t>(LoadUnaligned<int16_t>(value)); return;
        case 2: std::memcpy(field, value, 2); return;
        case 4: std::memcpy(field, value, 4); return;
        // The logical type of an 8-byte integer is 64-bit: store all of it.
        case 8: std::memcpy(field, value, 8); return;
        default: return fail();
        }
    case TypeFloat: {
        const double v = LoadUnaligned<double>(value);
        switch (length) {
        case 4: {
            // A single holds 7 significant digits; the text also keeps at most 7
            // decimals, so that tiny fractions do not come back as noise.
            double rounded = 0;
            if (!platform::TryStrToFloat(platform::FloatToStrF(v, platform::TFloatFormat::ffFixed, 7, 7, kFullStop),
                                         rounded, kFullStop))
                return fail();
            const float single = static_cast<float>(rounded);
            if (!std::isfinite(single)) return fail();
            Store(field, single);
            return;
        }
        case 8: std::memcpy(field, value, 8); return;
        case 10: WriteExtended(field, v); return;
        default: return fail();
        }
    }
    case TypeDate:
        if (!WriteBtrieveDate(field, LoadUnaligned<int32_t>(value))) WriteFailed();
        return;
    case TypeTime: WriteBtrieveTime(field, LoadUnaligned<int32_t>(value)); return;
    case TypeDecimal:
        if (!WritePacked(field, length, decimals, LoadUnaligned<double>(value))) WriteFailed();
        return;
    case TypeMoney:
        if (!WritePacked(field, length, 2, LoadUnaligned<double>(value))) WriteFailed();
        return;
    case TypeLogical: {
        const bool truth = LoadUnaligned<int16_t>(value) != 0;
        std::memset(field, 0, length);
        if (!truth) return;
        if (length != 1 && length != 2 && length != 4) return fail();
        field[0] = 1;
        return;
    }
    case TypeNumeric:
    case exttype::Numeric:
        if (!WriteNumeric(field, length, decimals, LoadUnaligned<double>(value))) fail();
        return;
    case TypeBFloat:
        if (!WriteBFloat(field, length, LoadUnaligned<double>(value))) fail();
        return;
    case TypeLString: {
        std::memset(field, 0, length);
        if (length == 0) return;
        const AnsiString text = FieldText(static_cast<const char*>(value), length - 1u);
        field[0] = static_cast<uint8_t>(text.size());
        std::memcpy(field + 1, text.data(), text.size());
        return;
    }
    case TypeZString: {
        std::memset(field, 0, length);
        if (length == 0) return fail();
        const AnsiString text = FieldText(static_cast<const char*>(value), length - 1u);
        std::memcpy(field, text.data(), text.size());
        return;
    }
    case TypeNote: return fail();
    case TypeLVar: std::memcpy(field, value, length); return;
    case TypeUnsignedBinary:
        switch (length) {
        case 1: field[0] = static_cast<uint8_t>(LoadUnaligned<uint16_t>(value)); return;
        case 2:
        case 4:
        case 6:
        case 8: std::memcpy(field, value, length); return;
        default: return fail();
        }
    case TypeBit: {
        const uint8_t mask = static_cast<uint8_t>(decimals);
        if (LoadUnaligned<int16_t>(value) != 0) field[0] |= mask;
        else field[0] &= static_cast<uint8_t>(~mask);
        return;
    }
    case TypeNumericSts: {
        std::string digits;
        const double v = LoadUnaligned<double>(value);
        if (length < 1 || !ScaledDigits(v, decimals, length - 1u, digits)) return fail();
        std::memcpy(field, digits.data(), digits.size());
        field[length - 1] = v < 0 ? '-' : '+';
        return;
    }
    case TypeNumericSa: {
        std::string digits;
        const double v = LoadUnaligned<double>(value);
        if (length < 1 || !ScaledDigits(v, decimals, length, digits)) return fail();
        if (v < 0 && digits.find_first_not_of('0') != std::string::npos) digits.back() = static_cast<char>(digits.back() + 64);
        std::memcpy(field, digits.data(), length);
        return;
    }
    case TypeCurrency: {
        const double scaled = std::round(LoadUnaligned<double>(value) * 10000.0);
        if (length != 8 || !std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) return fail();
        Store<int64_t>(field, static_cast<int64_t>(scaled));
        return;
    }
    case TypeTimestamp: {
        if (length != 8) return fail();
        const double v = LoadUnaligned<double>(value);
        if (v < kMsPerDay) {
            std::memset(field, 0, 8);
            return;
        }
        const double m = LocalStampToUtc(v) - kMsPerDay;
        Store<int64_t>(field, static_cast<int64_t>(std::llround(m * 10000.0)));
        return;
    }
    case exttype::DateTimeFloat: {
        if (length < 8) return fail();
        const platform::TTimeStamp stamp = platform::MSecsToTimeStamp(LoadUnaligned<double>(value));
        Store<double>(field, platform::TimeStampToDateTime(stamp));
        return;
    }
    case exttype::DecimalFloat:
        if (length < 10) return fail();
        WriteDecimalFloat(field, LoadUnaligned<double>(value));
        return;
    case exttype::Real48:
        if (length < 6 || !WriteReal48(field, LoadUnaligned<double>(value))) fail();
        return;
    case exttype::TasProTime:
    case exttype::MagicTime: {
        TConversionFunctions& f = GetConversionFunctions();
        uint8_t time[4];
        WriteBtrieveTime(time, LoadUnaligned<int32_t>(value));
        uint8_t intermediate[8] = {};
        if (!f.GetBtrieveTime || f.GetBtrieveTime(time, intermediate) != 0) return ReadFailed(intermediate, 8);
        auto set = type == exttype::TasProTime ? f.SetTasProTime : f.SetMagicTime;
        if (!set || set(field, Low(intermediate), High(intermediate)) != 0) WriteFailed();
        return;
    }
    case exttype::Binary1:
    case exttype::Binary2:
    case exttype::Binary3:
    case exttype::MagicNum:
    case exttype::MagicNum2:
    case exttype::TasProNum:
    case exttype::TasProNum2:
    case exttype::UDecimal:
    case exttype::Currency: WriteExtendedNumber(type, length, decimals, field, value); return;
    default: {
        if (!IsExtendedDate(type)) return;
        TConversionFunctions& f = GetConversionFunctions();
        uint8_t date[4];
        if (!WriteBtrieveDate(date, LoadUnaligned<int32_t>(value))) return WriteFailed();
        uint8_t intermediate[8] = {};
        if (!f.GetBtrieveDate || f.GetBtrieveDate(date, intermediate) != 0) return ReadFailed(intermediate, 8);
        if (SetFieldFromDate(f, type, field, length, Low(intermediate), High(intermediate)) != 0) WriteFailed();
        return;
    }
    }
}

}  // namespace btrieve
