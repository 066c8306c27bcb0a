#include "oracle/oci/OciCodecs.h"

#include <cmath>
#include <cstdio>

#include "platform/DateTime.h"
#include "platform/SysUtils.h"

namespace oracle {

namespace {

uint32_t Little32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Little16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Big32(const uint8_t* p) { return Swap32(Little32(p)); }
uint16_t Big16(const uint8_t* p) { return Swap16(Little16(p)); }

std::string RestrictedText(uint32_t file, uint32_t block, uint32_t row) {
    char text[32];
    std::snprintf(text, sizeof text, "%08lX.%04lX.%04lX", static_cast<unsigned long>(block),
                  static_cast<unsigned long>(row), static_cast<unsigned long>(file));
    return text;
}

}  // namespace

std::string IntToSym(uint32_t value, int width) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (; value != 0; value >>= 6) text.insert(text.begin(), digits[value & 63]);
    if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<size_t>(width) - text.size(), 'A');
    return text;
}

std::string RowIdText(uint32_t object, uint32_t file, uint32_t block, uint32_t row) {
    if (object == 0) return RestrictedText(file, block, row);
    return IntToSym(object, 6) + IntToSym(file, 3) + IntToSym(block, 6) + IntToSym(row, 3);
}

// The numbers are read as stored; block and row numbers with a zero low byte are genuine.
std::string RowId7ToText(const uint8_t* bytes) {
    const uint32_t object = Little32(bytes), file = Little16(bytes + 4), block = Little32(bytes + 7);
    const uint32_t row = Little32(bytes + 11);
    if (object == 0) return RestrictedText(file, block, row & 0xFFFF);
    return RowIdText(object, file, block, row & 0xFFFFFF);
}

std::string RowId80ToText(const uint8_t* bytes) {
    return RowIdText(Little32(bytes), Little16(bytes + 4), Little32(bytes + 8), Little16(bytes + 12));
}

std::string RowId81ToText(const uint8_t* bytes) {
    if (bytes == nullptr) return {};
    return RowIdText(Big32(bytes + 1), Big16(bytes + 5), Big32(bytes + 7), Big16(bytes + 11));
}

namespace {

// A date's day (a date-time's whole part), time of day and milliseconds since midnight,
// checked.
struct TOraDateParts {
    explicit TOraDateParts(const uint8_t* date) {
        const int year = (date[0] - 100) * 100 + date[1] - 100;
        if (year < 1) throw platform::EConvertError("Date before year 1: " + std::to_string(year));
        day = platform::EncodeDate(year, date[2], date[3]);
        const int hour = date[4] - 1, minute = date[5] - 1, second = date[6] - 1;
        time = platform::EncodeTime(hour, minute, second, 0);
        milliseconds = ((hour * 60 + minute) * 60 + second) * 1000;
    }
    platform::TDateTime day;
    platform::TDateTime time;
    int32_t milliseconds;
};

}  // namespace

platform::TDateTime OraDateToDateTime(const uint8_t* date) {
    const TOraDateParts parts(date);
    return parts.day > 0 ? parts.day + parts.time : parts.day - parts.time;
}

double OraDateToMSecs(const uint8_t* date) {
    // Straight from the parts: whole seconds need no fraction of a day rounded back.
    const TOraDateParts parts(date);
    platform::TTimeStamp stamp;
    stamp.Date = static_cast<int32_t>(parts.day) + platform::DateDelta;
    stamp.Time = parts.milliseconds;
    return platform::TimeStampToMSecs(stamp);
}

void DateTimeToOraDate(uint8_t* date, platform::TDateTime value) {
    int year, month, day, hour, minute, second, msec;
    platform::DecodeDate(value, year, month, day);
    platform::DecodeTime(value, hour, minute, second, msec);
    date[0] = static_cast<uint8_t>(year / 100 + 100);
    date[1] = static_cast<uint8_t>(year % 100 + 100);
    date[2] = static_cast<uint8_t>(month);
    date[3] = static_cast<uint8_t>(day);
    date[4] = static_cast<uint8_t>(hour + 1);
    date[5] = static_cast<uint8_t>(minute + 1);
    date[6] = static_cast<uint8_t>(second + 1);
}

void MSecsToOraDate(uint8_t* date, double msecs) {
    DateTimeToOraDate(date, platform::TimeStampToDateTime(platform::MSecsToTimeStamp(std::round(msecs))));
}

uint16_t Swap16(uint16_t value) { return static_cast<uint16_t>(value << 8 | value >> 8); }

uint32_t Swap32(uint32_t value) {
    return value << 24 | (value & 0xFF00) << 8 | (value >> 8 & 0xFF00) | value >> 24;
}

}  // namespace oracle
