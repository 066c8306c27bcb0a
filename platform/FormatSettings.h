// TFormatSettings: the process-wide separators, date and time formats and names that
// every text conversion of numbers and dates follows. They start from the user's
// locale; the Btrieve exports change the short date and time formats and leave them.
#pragma once

#include <array>

#include "SysUtils.h"

namespace platform {

struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    char DateSeparator = '/';
    char TimeSeparator = ':';
    // Format letters: d m y (date), h n s z (time); "/" and ":" stand for the separators.
    AnsiString ShortDateFormat = "dd/mm/yyyy";
    AnsiString LongDateFormat = "dd mmmm yyyy";
    AnsiString ShortTimeFormat = "hh:nn";
    AnsiString LongTimeFormat = "hh:nn:ss";
    AnsiString TimeAMString = "AM";
    AnsiString TimePMString = "PM";
    AnsiString CurrencyString = "$";
    int CurrencyDecimals = 2;
    std::array<AnsiString, 12> ShortMonthNames;
    std::array<AnsiString, 12> LongMonthNames;
    std::array<AnsiString, 7> ShortDayNames;  // Sunday first
    std::array<AnsiString, 7> LongDayNames;

    // The settings of the user's locale (GetLocaleInfo).
    static TFormatSettings FromUserLocale();
};

// The process's settings, filled from the user's locale on first use. Callers change
// them in place; every later conversion follows.
TFormatSettings& FormatSettings();
// Restores the process's settings from the user's locale.
void ReloadFormatSettings();

}  // namespace platform
