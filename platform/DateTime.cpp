#include "DateTime.h"

#include <windows.h>

#include <cmath>
#include <cstdio>

#include "Rounding.h"

namespace platform {

namespace {

constexpr int kDaysBefore[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};

// Day number (1 = 1 January of year 1) of a valid date.
int32_t DayNumber(int year, int month, int day) {
    const int y = year - 1;
    return y * 365 + y / 4 - y / 100 + y / 400 + kDaysBefore[IsLeapYear(year)][month - 1] + day;
}

void DayNumberToDate(int32_t dayNumber, int& year, int& month, int& day) {
    // Count whole 400-, 100-, 4- and 1-year periods from 1 January of year 1.
    int32_t d = dayNumber - 1;
    const int32_t d400 = 146097, d100 = 36524, d4 = 1461;
    int y = 1;
    y += 400 * (d / d400);
    d %= d400;
    int32_t n = d / d100;
    if (n == 4) n = 3;
    y += 100 * n;
    d -= n * d100;
    y += 4 * (d / d4);
    d %= d4;
    n = d / 365;
    if (n == 4) n = 3;
    y += n;
    d -= n * 365;
    const bool leap = IsLeapYear(y);
    // No month has more than 31 days, so d / 32 never passes the month: at most one step on
    // (a walk from January takes a step per month).
    int m = d / 32 + 1;
    while (d >= kDaysBefore[leap][m]) ++m;
    year = y;
    month = m;
    day = d - kDaysBefore[leap][m - 1] + 1;
}

// Whole day number and milliseconds of a date-time, the milliseconds rounded and
// carried into the day.
void SplitDateTime(TDateTime value, int32_t& dayNumber, int32_t& msecs) {
    const double whole = std::trunc(value);
    int64_t ms = static_cast<int64_t>(RoundHalfAway(std::fabs(value - whole) * MSecsPerDay));
    int64_t days = static_cast<int64_t>(whole) + DateDelta;
    if (ms >= MSecsPerDay) {
        ms -= MSecsPerDay;
        ++days;
    }
    dayNumber = static_cast<int32_t>(days);
    msecs = static_cast<int32_t>(ms);
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    return kDaysBefore[IsLeapYear(year)][month] - kDaysBefore[IsLeapYear(year)][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    result = static_cast<double>(DayNumber(year, month, day) - DateDelta);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
    if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 || msec < 0 ||
        msec >= 1000)
        return false;
    result = static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime r;
    if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
    return r;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    TDateTime r;
    if (!TryEncodeTime(hour, minute, second, msec, r)) throw EConvertError("Invalid argument to time encode");
    return r;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    int32_t dayNumber, ms;
    SplitDateTime(value, dayNumber, ms);
    if (dayNumber <= 0) {
        year = month = day = 0;
        return;
    }
    DayNumberToDate(dayNumber, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
    int32_t dayNumber, ms;
    SplitDateTime(value, dayNumber, ms);
    hour = ms / 3600000;
    minute = ms / 60000 % 60;
    second = ms / 1000 % 60;
    msec = ms % 1000;
}

int DayOfWeek(TDateTime value) {
    int32_t dayNumber, ms;
    SplitDateTime(value, dayNumber, ms);
    // Day 1 (1 January of year 1) was a Monday.
    return dayNumber % 7 + 1;
}

TDateTime Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return EncodeDate(st.wYear, st.wMonth, st.wDay) + EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

TDateTime Date() { return std::trunc(Now()); }
TDateTime Time() {
    const TDateTime now = Now();
    return now - std::trunc(now);
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
    TTimeStamp stamp;
    SplitDateTime(value, stamp.Date, stamp.Time);
    return stamp;
}

TDateTime TimeStampToDateTime(const TTimeStamp& stamp) {
    if (stamp.Time < 0 || stamp.Time >= MSecsPerDay || stamp.Date <= 0)
        throw EConvertError("'" + IntToStr(stamp.Date) + "." + IntToStr(stamp.Time) + "' is not a valid timestamp");
    const double days = static_cast<double>(stamp.Date - DateDelta);
    const double time = static_cast<double>(stamp.Time) / MSecsPerDay;
    return days >= 0 ? days + time : days - time;
}

double TimeStampToMSecs(const TTimeStamp& stamp) {
    return static_cast<double>(stamp.Date) * MSecsPerDay + stamp.Time;
}

TTimeStamp MSecsToTimeStamp(double msecs) {
    const int64_t total = static_cast<int64_t>(RoundHalfAway(msecs));
    TTimeStamp stamp;
    stamp.Date = static_cast<int32_t>(total / MSecsPerDay);
    stamp.Time = static_cast<int32_t>(total % MSecsPerDay);
    return stamp;
}

// ---- formatting ----

namespace {

AnsiString Padded(int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

bool StartsWithNoCase(const AnsiString& s, size_t pos, const char* what) {
    for (size_t i = 0; what[i]; ++i)
        if (pos + i >= s.size() || std::toupper(static_cast<unsigned char>(s[pos + i])) !=
                                       std::toupper(static_cast<unsigned char>(what[i])))
            return false;
    return true;
}

class DateTimeWriter {
public:
    explicit DateTimeWriter(TDateTime value) : value_(value) {
        DecodeDate(value, year_, month_, day_);
        DecodeTime(value, hour_, minute_, second_, msec_);
    }

    AnsiString Write(const AnsiString& format) {
        out_.clear();
        Append(format, 0);
        return out_;
    }

private:
    // Whether an am/pm marker follows in the format, which makes hours 12-based.
    static bool HasAmPm(const AnsiString& format) {
        for (size_t i = 0; i < format.size(); ++i)
            if (StartsWithNoCase(format, i, "am/pm") || StartsWithNoCase(format, i, "a/p") ||
                StartsWithNoCase(format, i, "ampm"))
                return true;
        return false;
    }

    void Append(const AnsiString& format, int depth) {
        if (depth > 2) return;  // nested c/ddddd/t forms cannot recurse for ever
        const TFormatSettings& fs = FormatSettings();
        const bool twelve = HasAmPm(format);
        bool lastWasHour = false;
        size_t i = 0;
        while (i < format.size()) {
            const char c = format[i];
            const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            size_t run = 1;
            while (i + run < format.size() &&
                   std::toupper(static_cast<unsigned char>(format[i + run])) == u)
                ++run;
            switch (u) {
            case '\'':
            case '"': {
                size_t end = format.find(c, i + 1);
                if (end == AnsiString::npos) end = format.size();
                out_ += format.substr(i + 1, end - i - 1);
                i = end + 1;
                continue;
            }
            case '/': out_ += fs.DateSeparator; i += 1; continue;
            case ':': out_ += fs.TimeSeparator; i += 1; continue;
            case 'Y':
                out_ += run <= 2 ? Padded(year_ % 100, 2) : Padded(year_, 4);
                break;
            case 'M':
                if (lastWasHour && run <= 2) {
                    out_ += run == 1 ? IntToStr(minute_) : Padded(minute_, 2);
                } else if (run == 1) out_ += IntToStr(month_);
                else if (run == 2) out_ += Padded(month_, 2);
                else if (run == 3) out_ += month_ ? fs.ShortMonthNames[month_ - 1] : "";
                else out_ += month_ ? fs.LongMonthNames[month_ - 1] : "";
                break;
            case 'D':
                if (run == 1) out_ += IntToStr(day_);
                else if (run == 2) out_ += Padded(day_, 2);
                else if (run == 3) out_ += fs.ShortDayNames[DayOfWeek(value_) - 1];
                else if (run == 4) out_ += fs.LongDayNames[DayOfWeek(value_) - 1];
                else if (run == 5) Append(fs.ShortDateFormat, depth + 1);
                else Append(fs.LongDateFormat, depth + 1);
                break;
            case 'H': {
                int h = hour_;
                if (twelve) {
                    h %= 12;
                    if (h == 0) h = 12;
                }
                out_ += run == 1 ? IntToStr(h) : Padded(h, 2);
                break;
            }
            case 'N': out_ += run == 1 ? IntToStr(minute_) : Padded(minute_, 2); break;
            case 'S': out_ += run == 1 ? IntToStr(second_) : Padded(second_, 2); break;
            case 'Z': out_ += run < 3 ? IntToStr(msec_) : Padded(msec_, 3); break;
            case 'T':
                Append(run == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, depth + 1);
                break;
            case 'C':
                Append(fs.ShortDateFormat, depth + 1);
                if (hour_ || minute_ || second_ || msec_) {
                    out_ += ' ';
                    Append(fs.LongTimeFormat, depth + 1);
                }
                break;
            case 'A':
                if (StartsWithNoCase(format, i, "am/pm")) {
                    const bool upper = std::isupper(static_cast<unsigned char>(c));
                    out_ += hour_ < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
                    i += 5;
                    continue;
                }
                if (StartsWithNoCase(format, i, "a/p")) {
                    const bool upper = std::isupper(static_cast<unsigned char>(c));
                    out_ += hour_ < 12 ? (upper ? 'A' : 'a') : (upper ? 'P' : 'p');
                    i += 3;
                    continue;
                }
                if (StartsWithNoCase(format, i, "ampm")) {
                    out_ += hour_ < 12 ? fs.TimeAMString : fs.TimePMString;
                    i += 4;
                    continue;
                }
                out_ += c;
                i += 1;
                continue;
            default:
                out_ += format.substr(i, run);
                break;
            }
            if (u == 'H') lastWasHour = true;
            else if (u != ' ' && u != ':' ) lastWasHour = false;
            i += run;
        }
    }

    TDateTime value_;
    int year_, month_, day_, hour_, minute_, second_, msec_;
    AnsiString out_;
};

}  // namespace

AnsiString FormatDateTime(const AnsiString& format, TDateTime value) {
    return DateTimeWriter(value).Write(format.empty() ? AnsiString("c") : format);
}

AnsiString DateToStr(TDateTime value) { return FormatDateTime("ddddd", value); }
AnsiString TimeToStr(TDateTime value) { return FormatDateTime("tt", value); }
AnsiString DateTimeToStr(TDateTime value) { return FormatDateTime("c", value); }

// ---- reading ----

namespace {

enum class DateOrder { DMY, MDY, YMD };

DateOrder OrderOf(const AnsiString& format) {
    for (char c : format) {
        switch (std::toupper(static_cast<unsigned char>(c))) {
        case 'Y': return DateOrder::YMD;
        case 'M': return DateOrder::MDY;
        case 'D': return DateOrder::DMY;
        default: break;
        }
    }
    return DateOrder::DMY;
}

class TextScanner {
public:
    TextScanner(const AnsiString& text, size_t pos) : text_(text), pos_(pos) {}
    void SkipBlanks() {
        while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    }
    bool Number(int& value, int& digits) {
        SkipBlanks();
        digits = 0;
        value = 0;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])) && digits < 9) {
            value = value * 10 + (text_[pos_] - '0');
            ++pos_;
            ++digits;
        }
        return digits > 0;
    }
    bool Char(char c) {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Word(const AnsiString& word) {
        SkipBlanks();
        if (word.empty() || !StartsWithNoCase(text_, pos_, word.c_str())) return false;
        pos_ += word.size();
        return true;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ >= text_.size();
    }
    size_t Pos() const { return pos_; }

private:
    const AnsiString& text_;
    size_t pos_;
};

bool ScanDate(TextScanner& scan, TDateTime& result) {
    const TFormatSettings& fs = FormatSettings();
    int n1, n2, n3 = 0, d1, d2, d3 = 0;
    if (!scan.Number(n1, d1) || !scan.Char(fs.DateSeparator) || !scan.Number(n2, d2)) return false;
    const bool third = scan.Char(fs.DateSeparator);
    if (third && !scan.Number(n3, d3)) return false;

    SYSTEMTIME now;
    GetLocalTime(&now);
    int year, month, day, yearDigits;
    const DateOrder order = OrderOf(fs.ShortDateFormat);
    if (!third) {
        // Two numbers: day and month in the format's order, this year.
        year = now.wYear;
        yearDigits = 4;
        if (order == DateOrder::MDY) month = n1, day = n2;
        else if (order == DateOrder::DMY) day = n1, month = n2;
        else month = n1, day = n2;
    } else {
        switch (order) {
        case DateOrder::MDY: month = n1, day = n2, year = n3, yearDigits = d3; break;
        case DateOrder::DMY: day = n1, month = n2, year = n3, yearDigits = d3; break;
        default: year = n1, yearDigits = d1, month = n2, day = n3; break;
        }
    }
    if (yearDigits <= 2) {
        // Two-digit years fall within the 50 years either side of now.
        const int century = now.wYear - now.wYear % 100;
        year += century;
        if (year > now.wYear + 50) year -= 100;
        else if (year <= now.wYear - 50) year += 100;
    }
    return TryEncodeDate(year, month, day, result);
}

bool ScanTime(TextScanner& scan, TDateTime& result) {
    const TFormatSettings& fs = FormatSettings();
    int hour, minute = 0, second = 0, msec = 0, digits;
    if (!scan.Number(hour, digits)) return false;
    if (!scan.Char(fs.TimeSeparator) || !scan.Number(minute, digits)) return false;
    if (scan.Char(fs.TimeSeparator)) {
        if (!scan.Number(second, digits)) return false;
        if (scan.Char(fs.DecimalSeparator) || scan.Char('.')) {
            if (!scan.Number(msec, digits)) return false;
            while (digits < 3) msec *= 10, ++digits;
            while (digits > 3) msec /= 10, --digits;
        }
    }
    int pm = -1;
    if (scan.Word(fs.TimeAMString) || scan.Word("AM")) pm = 0;
    else if (scan.Word(fs.TimePMString) || scan.Word("PM")) pm = 1;
    if (pm >= 0) {
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    return TryEncodeTime(hour, minute, second, msec, result);
}

}  // namespace

bool TryStrToDate(const AnsiString& text, TDateTime& result) {
    TextScanner scan(text, 0);
    TDateTime value;
    if (!ScanDate(scan, value) || !scan.AtEnd()) return false;
    result = value;
    return true;
}

bool TryStrToTime(const AnsiString& text, TDateTime& result) {
    TextScanner scan(text, 0);
    TDateTime value;
    if (!ScanTime(scan, value) || !scan.AtEnd()) return false;
    result = value;
    return true;
}

bool TryStrToDateTime(const AnsiString& text, TDateTime& result) {
    TextScanner dateScan(text, 0);
    TDateTime date;
    if (ScanDate(dateScan, date)) {
        if (dateScan.AtEnd()) {
            result = date;
            return true;
        }
        TDateTime time;
        if (!ScanTime(dateScan, time) || !dateScan.AtEnd()) return false;
        result = date >= 0 ? date + time : date - time;
        return true;
    }
    return TryStrToTime(text, result);
}

TDateTime StrToDate(const AnsiString& text) {
    TDateTime r;
    if (!TryStrToDate(text, r)) throw EConvertError("'" + text + "' is not a valid date");
    return r;
}

TDateTime StrToTime(const AnsiString& text) {
    TDateTime r;
    if (!TryStrToTime(text, r)) throw EConvertError("'" + text + "' is not a valid time");
    return r;
}

TDateTime StrToDateTime(const AnsiString& text) {
    TDateTime r;
    if (!TryStrToDateTime(text, r)) throw EConvertError("'" + text + "' is not a valid date and time");
    return r;
}

}  // namespace platform
