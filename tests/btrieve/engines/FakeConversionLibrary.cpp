// A conversion library for the tests of the extended field types: the intermediate form
// is a Btrieve date (day, month, year) or time in the low four bytes, numbers are
// doubles. Only the entries the tests use convert; the others answer failure.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

int16_t Fail() { return 1; }

void PutLow(void* intermediate, const uint8_t* four) {
    std::memset(intermediate, 0, 8);
    std::memcpy(intermediate, four, 4);
}

}  // namespace

extern "C" {

int16_t WINAPI Get_BtrieveDate(const void* source, void* destination) {
    PutLow(destination, static_cast<const uint8_t*>(source));
    return 0;
}
int16_t WINAPI Set_BtrieveDate(void* destination, uint32_t low, uint32_t) {
    std::memcpy(destination, &low, 4);
    return 0;
}
int16_t WINAPI Get_BtrieveTime(const void* source, void* destination) {
    PutLow(destination, static_cast<const uint8_t*>(source));
    return 0;
}
int16_t WINAPI Set_BtrieveTime(void* destination, uint32_t low, uint32_t) {
    std::memcpy(destination, &low, 4);
    return 0;
}

// "YYYYMMDD" text.
int16_t WINAPI Get_YYYYMMDD(const void* source, void* destination) {
    char text[9] = {};
    std::memcpy(text, source, 8);
    unsigned y = 0, m = 0, d = 0;
    if (std::sscanf(text, "%4u%2u%2u", &y, &m, &d) != 3) return 1;
    const uint8_t date[4] = {static_cast<uint8_t>(d), static_cast<uint8_t>(m), static_cast<uint8_t>(y & 0xFF),
                             static_cast<uint8_t>(y >> 8)};
    PutLow(destination, date);
    return 0;
}
int16_t WINAPI Set_YYYYMMDD(void* destination, uint32_t low, uint32_t) {
    char text[9];
    std::snprintf(text, sizeof text, "%04u%02u%02u", (low >> 16) & 0xFFFF, (low >> 8) & 0xFF, low & 0xFF);
    std::memcpy(destination, text, 8);
    return 0;
}
// "YYMMDD" text; the entry writes a terminator after it.
int16_t WINAPI Get_YYMMDD(const void* source, void* destination) {
    char text[7] = {};
    std::memcpy(text, source, 6);
    unsigned y = 0, m = 0, d = 0;
    if (std::sscanf(text, "%2u%2u%2u", &y, &m, &d) != 3) return 1;
    y += 2000;
    const uint8_t date[4] = {static_cast<uint8_t>(d), static_cast<uint8_t>(m), static_cast<uint8_t>(y & 0xFF),
                             static_cast<uint8_t>(y >> 8)};
    PutLow(destination, date);
    return 0;
}
int16_t WINAPI Set_YYMMDD(void* destination, uint32_t low, uint32_t) {
    char text[7];
    std::snprintf(text, sizeof text, "%02u%02u%02u", ((low >> 16) & 0xFFFF) % 100, (low >> 8) & 0xFF, low & 0xFF);
    std::memcpy(destination, text, 7);
    return 0;
}
// A 32-bit day count from the day base.
int16_t WINAPI Get_MagicDate(const void* source, void* destination, int32_t dayBase) {
    int32_t days;
    std::memcpy(&days, source, 4);
    // Only the base 367 is known here: day 1 of that base is 1 January 2001.
    if (dayBase != 367) return 1;
    const uint8_t date[4] = {static_cast<uint8_t>(days), 1, 0xD1, 0x07};
    PutLow(destination, date);
    return 0;
}
int16_t WINAPI Set_MagicDate(void* destination, uint32_t low, uint32_t, int32_t dayBase) {
    if (dayBase != 367 || ((low >> 8) & 0xFF) != 1) return 1;
    const int32_t days = static_cast<int32_t>(low & 0xFF);
    std::memcpy(destination, &days, 4);
    return 0;
}
// Hundredths of a second since midnight in 32 bits.
int16_t WINAPI Get_MagicTime(const void* source, void* destination) {
    uint32_t hundredths;
    std::memcpy(&hundredths, source, 4);
    const uint8_t time[4] = {static_cast<uint8_t>(hundredths % 100), static_cast<uint8_t>(hundredths / 100 % 60),
                             static_cast<uint8_t>(hundredths / 6000 % 60), static_cast<uint8_t>(hundredths / 360000)};
    PutLow(destination, time);
    return 0;
}
int16_t WINAPI Set_MagicTime(void* destination, uint32_t low, uint32_t) {
    const uint32_t hundredths = (((low >> 24) * 60 + ((low >> 16) & 0xFF)) * 60 + ((low >> 8) & 0xFF)) * 100 + (low & 0xFF);
    std::memcpy(destination, &hundredths, 4);
    return 0;
}
// Currency as a signed 64-bit count of ten-thousandths; numbers cross as doubles.
int16_t WINAPI Get_VBCurrency(const void* source, void* destination) {
    int64_t units;
    std::memcpy(&units, source, 8);
    const double value = static_cast<double>(units) / 10000.0;
    std::memcpy(destination, &value, 8);
    return 0;
}
int16_t WINAPI Set_VBCurrency(void* destination, uint32_t low, uint32_t high) {
    const uint64_t bits = (static_cast<uint64_t>(high) << 32) | low;
    double value;
    std::memcpy(&value, &bits, 8);
    const int64_t units = static_cast<int64_t>(value * 10000.0 + (value < 0 ? -0.5 : 0.5));
    std::memcpy(destination, &units, 8);
    return 0;
}

int16_t WINAPI Get_LongYMD(const void*, void*) { return Fail(); }
int16_t WINAPI Set_LongDate(void*, uint32_t, uint32_t) { return Fail(); }
int16_t WINAPI Get_Binary(const void*, int32_t, int32_t, void*, int32_t, int32_t) { return Fail(); }
int16_t WINAPI Set_Binary(void*, int32_t, int32_t, uint32_t, uint32_t, int32_t, int32_t) { return Fail(); }
int16_t WINAPI Get_Ctime(const void*, void*) { return Fail(); }
int16_t WINAPI Set_Ctime(void*, uint32_t, uint32_t) { return Fail(); }
int16_t WINAPI Get_MagicNum100(const void*, int32_t, void*) { return Fail(); }
int16_t WINAPI Set_MagicNum100(void*, int32_t, uint32_t, uint32_t) { return Fail(); }
int16_t WINAPI Get_TasProTime(const void*, void*) { return Fail(); }
int16_t WINAPI Set_TasProTime(void*, uint32_t, uint32_t) { return Fail(); }
int16_t WINAPI Get_TasProNum(const void*, int32_t, int32_t, void*) { return Fail(); }
int16_t WINAPI Set_TasProNum(void*, int32_t, int32_t, uint32_t, uint32_t) { return Fail(); }
int16_t WINAPI Get_YMD(const void*, void*) { return Fail(); }
int16_t WINAPI Set_YMD(void*, uint32_t, uint32_t) { return Fail(); }
int16_t WINAPI Get_TasProDate(const void*, void*) { return Fail(); }
int16_t WINAPI Set_TasProDate(void*, uint32_t, uint32_t) { return Fail(); }
int16_t WINAPI Get_UDecimal(const void*, int32_t, int32_t, void*) { return Fail(); }
int16_t WINAPI Set_UDecimal(void*, int32_t, int32_t, uint32_t, uint32_t) { return Fail(); }

}  // extern "C"
