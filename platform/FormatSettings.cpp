#include "FormatSettings.h"

#include <windows.h>

namespace platform {

namespace {

AnsiString LocaleText(LCTYPE type, const AnsiString& fallback) {
    char buffer[256];
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
    return n > 1 ? AnsiString(buffer, n - 1) : fallback;
}

char LocaleChar(LCTYPE type, char fallback) {
    const AnsiString s = LocaleText(type, AnsiString(1, fallback));
    return s.empty() ? fallback : s[0];
}

// The locale writes minutes as "mm" and quotes literals with '; the runtime's time
// formats use "nn" for minutes so that "mm" can stay the month.
AnsiString TimeFormatFromLocale(const AnsiString& localeFormat) {
    AnsiString out;
    for (size_t i = 0; i < localeFormat.size(); ++i) {
        const char c = localeFormat[i];
        if (c == 'm' || c == 'M') out += 'n';
        else if (c == 't') {
            // "tt" (AM/PM marker) becomes the runtime's "ampm".
            while (i + 1 < localeFormat.size() && localeFormat[i + 1] == 't') ++i;
            out += "ampm";
        } else out += c;
    }
    return out;
}

// Locale date patterns carry their own separator; the runtime writes "/" for it.
AnsiString DateFormatFromLocale(const AnsiString& localeFormat, char separator) {
    AnsiString out;
    bool quoted = false;
    for (char c : localeFormat) {
        if (c == '\'') { quoted = !quoted; out += '"'; continue; }
        if (!quoted && c == separator) out += '/';
        else if (!quoted && c == 'M') out += 'm';
        else out += c;
    }
    return out;
}

}  // namespace

TFormatSettings TFormatSettings::FromUserLocale() {
    TFormatSettings s;
    s.DecimalSeparator = LocaleChar(LOCALE_SDECIMAL, '.');
    s.ThousandSeparator = LocaleChar(LOCALE_STHOUSAND, ',');
    s.DateSeparator = LocaleChar(LOCALE_SDATE, '/');
    s.TimeSeparator = LocaleChar(LOCALE_STIME, ':');
    s.ShortDateFormat = DateFormatFromLocale(LocaleText(LOCALE_SSHORTDATE, "dd/MM/yyyy"), s.DateSeparator);
    s.LongDateFormat = DateFormatFromLocale(LocaleText(LOCALE_SLONGDATE, "dd MMMM yyyy"), s.DateSeparator);
    const AnsiString longTime = LocaleText(LOCALE_STIMEFORMAT, "HH:mm:ss");
    s.LongTimeFormat = TimeFormatFromLocale(longTime);
    // The short time format is the long one without its seconds.
    AnsiString shortTime = s.LongTimeFormat;
    const size_t secs = shortTime.find_first_of("sS");
    if (secs != AnsiString::npos && secs > 0) {
        size_t end = secs;
        while (end < shortTime.size() && (shortTime[end] == 's' || shortTime[end] == 'S')) ++end;
        shortTime.erase(secs - 1, end - secs + 1);
    }
    s.ShortTimeFormat = shortTime;
    s.TimeAMString = LocaleText(LOCALE_S1159, "AM");
    s.TimePMString = LocaleText(LOCALE_S2359, "PM");
    s.CurrencyString = LocaleText(LOCALE_SCURRENCY, "$");
    s.CurrencyDecimals = std::atoi(LocaleText(LOCALE_ICURRDIGITS, "2").c_str());
    for (int i = 0; i < 12; ++i) {
        s.ShortMonthNames[i] = LocaleText(LOCALE_SABBREVMONTHNAME1 + i, IntToStr(i + 1));
        s.LongMonthNames[i] = LocaleText(LOCALE_SMONTHNAME1 + i, IntToStr(i + 1));
    }
    // The locale counts days from Monday (LOCALE_SDAYNAME1); the runtime from Sunday.
    for (int i = 0; i < 7; ++i) {
        const int localeIndex = (i + 6) % 7;
        s.ShortDayNames[i] = LocaleText(LOCALE_SABBREVDAYNAME1 + localeIndex, IntToStr(i + 1));
        s.LongDayNames[i] = LocaleText(LOCALE_SDAYNAME1 + localeIndex, IntToStr(i + 1));
    }
    return s;
}

TFormatSettings& FormatSettings() {
    static TFormatSettings settings = TFormatSettings::FromUserLocale();
    return settings;
}

void ReloadFormatSettings() { FormatSettings() = TFormatSettings::FromUserLocale(); }

}  // namespace platform
