// Date and time values of the runtime and their text forms.
// TDateTime counts days from 30 December 1899 (the fraction is the time of day).
// TTimeStamp is the form record buffers keep: a day number with 1 = 1 January of
// year 1 and the milliseconds of the day; a date-time in a buffer is the time stamp's
// milliseconds in a double. Texts follow the process's FormatSettings().
#pragma once

#include <cstdint>

#include "FormatSettings.h"
#include "Variant.h"

namespace platform {

constexpr int32_t HoursPerDay = 24;
constexpr int32_t MinsPerDay = 24 * 60;
constexpr int32_t SecsPerDay = MinsPerDay * 60;
constexpr int32_t MSecsPerDay = SecsPerDay * 1000;
// Day number of 30 December 1899 counted with 1 = 1 January of year 1.
constexpr int32_t DateDelta = 693594;

struct TTimeStamp {
    int32_t Time = 0;  // milliseconds since midnight
    int32_t Date = 0;  // day number, 1 = 1 January of year 1
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Encoding raises EConvertError on an impossible date or time; the Try forms answer false.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);

TDateTime Now();
TDateTime Date();
TDateTime Time();

// Time stamps. A time stamp outside its ranges (time 0..MSecsPerDay-1, date >= 1)
// raises EConvertError when turned into a date-time.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);
double TimeStampToMSecs(const TTimeStamp& stamp);
TTimeStamp MSecsToTimeStamp(double msecs);

// Text forms. Format letters (any case): d dd ddd dddd, m mm mmm mmmm (minutes right
// after an hour), yy yyyy, h hh, n nn, s ss, z zzz, am/pm a/p ampm, c (short date and
// long time), ddddd (short date), dddddd (long date), t (short time), tt (long time),
// "/" and ":" (the separators), and text in single or double quotes.
AnsiString FormatDateTime(const AnsiString& format, TDateTime value);
AnsiString DateToStr(TDateTime value);
AnsiString TimeToStr(TDateTime value);
// The date, followed by the time when it is not midnight.
AnsiString DateTimeToStr(TDateTime value);

// Reading: numbers separated by the date separator in the order of the short date
// format (a missing year is the current one; a two-digit year falls in the 50 years
// around now); times as hours, minutes, optional seconds and milliseconds separated
// by the time separator, with an optional AM/PM marker. EConvertError on bad text.
TDateTime StrToDate(const AnsiString& text);
TDateTime StrToTime(const AnsiString& text);
TDateTime StrToDateTime(const AnsiString& text);
bool TryStrToDate(const AnsiString& text, TDateTime& result);
bool TryStrToTime(const AnsiString& text, TDateTime& result);
bool TryStrToDateTime(const AnsiString& text, TDateTime& result);

}  // namespace platform
