#include <gtest/gtest.h>

#include <cmath>

#include "platform/DateTime.h"
#include "platform/FormatSettings.h"
#include "platform/SysUtils.h"

using namespace platform;

namespace {

// Settings as a Russian user has them; each test restores the process's settings.
class RussianFormats : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FormatSettings();
        TFormatSettings& fs = FormatSettings();
        fs.DecimalSeparator = ',';
        fs.ThousandSeparator = ' ';
        fs.DateSeparator = '.';
        fs.TimeSeparator = ':';
        fs.ShortDateFormat = "dd/mm/yyyy";
        fs.LongTimeFormat = "h:nn:ss";
        fs.ShortTimeFormat = "h:nn";
    }
    void TearDown() override { FormatSettings() = saved_; }

    TFormatSettings saved_;
};

}  // namespace

TEST_F(RussianFormats, FormatHandlesTheSpecifiersTheLibrariesUse) {
    struct Case {
        AnsiString got;
        const char* expected;
    };
    const Case cases[] = {
        {Format("%s=%s", "KEY", "value"), "KEY=value"},
        {Format("%s_%d", "name", 7), "name_7"},
        {Format("Quillon Interface Error: ( %x )", 0x2A04), "Quillon Interface Error: ( 2A04 )"},
        {Format("%x", -1), "FFFFFFFF"},
        {Format("%x", static_cast<int64_t>(-1)), "FFFFFFFFFFFFFFFF"},
        {Format("%u", -1), "4294967295"},
        {Format("%2d - ", 5), " 5 - "},
        {Format("%-4d|", 5), "5   |"},
        {Format("@QVAR%4.4d", 12), "@QVAR0012"},
        {Format("%.3d", -7), "-007"},
        {Format("%4.4u-%2.2u-%2.2u", 2001u, 2u, 3u), "2001-02-03"},
        {Format("%.*f", 3, 2.5), "2,500"},
        {Format("%*d", 4, 42), "  42"},
        {Format("%f", 1.005), "1,00"},  // 1.005 is 1.00499999... in binary
        {Format("%f", 1.125), "1,13"},  // decimal halves round away from zero
        {Format("%.0f", 2.5), "3"},
        {Format("%g", 0.5), "0,5"},
        {Format("%g", 1e20), "1E+020"},
        {Format("%e", 1234.5), "1,23450000000000E+003"},
        {Format("%n", 1234567.891), "1 234 567,89"},
        {Format("%.3s|%5s", "abcdef", "ab"), "abc|   ab"},
        {Format("%1:s %0:s %s", "a", "b"), "b a b"},
        {Format("100%%"), "100%"},
        {Format("%d", int64_t(1) << 40), "1099511627776"},
        {Format("%s", 'c'), "c"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST_F(RussianFormats, FormatRejectsMissingAndMismatchedArguments) {
    EXPECT_THROW(Format("%d"), EConvertError);
    EXPECT_THROW(Format("%d", "text"), EConvertError);
    EXPECT_THROW(Format("%s", 5), EConvertError);
    EXPECT_THROW(Format("%d", 1.5), EConvertError);
    EXPECT_THROW(Format("%q", 1), EConvertError);
    EXPECT_THROW(Format("%", 1), EConvertError);
}

TEST_F(RussianFormats, FloatTextUsesFifteenDigitsAndTheDecimalSeparator) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {1234, "1234"},
        {-0.5, "-0,5"},
        {0.1 + 0.2, "0,3"},
        {1.0 / 3, "0,333333333333333"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {0.0001, "0,0001"},
        {0.00001, "1E-5"},
        {-1.5e-7, "-1,5E-7"},
        {2.0 / 3 * 1e10, "6666666666,66667"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FloatToStr(c.value), c.text);
        // Every text reads back to the same 15-digit value.
        EXPECT_EQ(FloatToStr(StrToFloat(c.text)), c.text);
    }
    EXPECT_EQ(FloatToStrF(1.005, TFloatFormat::ffFixed, 15, 2), "1,01");  // 15 digits first: 1,005
    EXPECT_EQ(FloatToStrF(-2.5, TFloatFormat::ffFixed, 15, 0), "-3");
    EXPECT_EQ(FloatToStrF(99.996, TFloatFormat::ffFixed, 15, 2), "100,00");
    EXPECT_EQ(FloatToStrF(0.0004, TFloatFormat::ffFixed, 15, 3), "0,000");
    EXPECT_EQ(FloatToStrF(-0.001, TFloatFormat::ffFixed, 15, 2), "0,00");
    EXPECT_EQ(FloatToStrF(1.0 / 3, TFloatFormat::ffGeneral, 7, 0), "0,3333333");
    EXPECT_EQ(FloatToStrF(NAN, TFloatFormat::ffGeneral, 15, 0), "NAN");
    // Given settings instead of the process's: a fixed full stop.
    TFormatSettings dot = FormatSettings();
    dot.DecimalSeparator = '.';
    EXPECT_EQ(FloatToStr(-1.25, dot), "-1.25");
    EXPECT_EQ(FloatToStrF(1e300, TFloatFormat::ffFixed, 7, 2, dot), "1.000000E+300");
    EXPECT_DOUBLE_EQ(StrToFloat("2.5", dot), 2.5);
    double v;
    EXPECT_FALSE(TryStrToFloat("2,5", v, dot));
}

TEST_F(RussianFormats, NumberTextIsReadStrictly) {
    EXPECT_DOUBLE_EQ(StrToFloat(" 1,5 "), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat("-2,5E3"), -2500);
    EXPECT_DOUBLE_EQ(StrToFloat("7"), 7);
    for (const char* bad : {"1.5", "", "abc", "1e", "1,5x", ",", "1 000", "--1"}) {
        double v;
        EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
    }
    EXPECT_THROW(StrToFloat("1.5"), EConvertError);

    EXPECT_EQ(StrToInt(" -42 "), -42);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_EQ(StrToInt("0x7fffffff"), 2147483647);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_THROW(StrToInt("2147483648"), EConvertError);
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    EXPECT_THROW(StrToInt("12a"), EConvertError);
    EXPECT_THROW(StrToInt(""), EConvertError);
    EXPECT_EQ(StrToIntDef("x", 9), 9);
    EXPECT_EQ(IntToHex(255, 4), "00FF");
}

TEST(DateTimeValues, TimeStampsCountDaysFromYearOneAndMillisecondsOfTheDay) {
    struct Case {
        TDateTime value;
        int32_t date;
        int32_t time;
        double msecs;
    };
    const Case cases[] = {
        {0.0, 693594, 0, 59926521600000.0},
        {36526.0, 730120, 0, 63082368000000.0},          // 1 January 2000
        {36892.5, 730486, 43200000, 63114033600000.0},   // 1 January 2001, noon
        {-693593.0, 1, 0, 86400000.0},                    // 1 January of year 1
        {2958465.0 + 0.999988425925926, 3652059, 86399000, 315537983999000.0},  // 31 December 9999 23:59:59
    };
    for (const Case& c : cases) {
        const TTimeStamp ts = DateTimeToTimeStamp(c.value);
        EXPECT_EQ(ts.Date, c.date);
        EXPECT_EQ(ts.Time, c.time);
        EXPECT_DOUBLE_EQ(TimeStampToMSecs(ts), c.msecs);
        const TTimeStamp back = MSecsToTimeStamp(c.msecs);
        EXPECT_EQ(back.Date, c.date);
        EXPECT_EQ(back.Time, c.time);
        EXPECT_NEAR(TimeStampToDateTime(back), c.value, 1e-9);
    }
    EXPECT_DOUBLE_EQ(EncodeDate(2001, 1, 1), 36892.0);
    // Before 1900 the fraction still counts forward within the day.
    const TTimeStamp early = DateTimeToTimeStamp(-1.25);
    EXPECT_EQ(early.Date, DateDelta - 1);
    EXPECT_EQ(early.Time, MSecsPerDay / 4);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(early), -1.25);
    // A time that rounds up to midnight carries into the next day.
    const TTimeStamp carried = DateTimeToTimeStamp(1.0 - 1e-10);
    EXPECT_EQ(carried.Date, DateDelta + 1);
    EXPECT_EQ(carried.Time, 0);
    EXPECT_THROW(TimeStampToDateTime(TTimeStamp{MSecsPerDay, 1}), EConvertError);
    EXPECT_THROW(TimeStampToDateTime(TTimeStamp{0, 0}), EConvertError);
}

TEST(DateTimeValues, EncodingChecksTheCalendar) {
    TDateTime d;
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, d));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, d));
    EXPECT_FALSE(TryEncodeDate(2001, 13, 1, d));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, d));
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    int y, m, day, h, n, s, ms;
    DecodeDate(EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59, 999), y, m, day);
    DecodeTime(EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59, 999), h, n, s, ms);
    EXPECT_EQ(y * 10000 + m * 100 + day, 19991231);
    EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 235959999);
    EXPECT_EQ(DayOfWeek(EncodeDate(2001, 1, 1)), 2);  // a Monday
}

TEST(DateTimeValues, EveryDayDecodesToTheDateItWasEncodedFrom) {
    int failures = 0;
    for (int year = 1; year <= 9999 && failures < 5; ++year)
        for (int month = 1; month <= 12; ++month)
            for (int day = 1; day <= DaysInMonth(year, month); ++day) {
                int y = 0, m = 0, d = 0;
                // Late in the day; before 1900 the fraction counts away from zero.
                const TDateTime date = EncodeDate(year, month, day);
                DecodeDate(date >= 0 ? date + 0.75 : date - 0.75, y, m, d);
                if (y == year && m == month && d == day) continue;
                ++failures;
                ADD_FAILURE() << year << "-" << month << "-" << day << " decoded as " << y << "-" << m << "-" << d;
            }
}

TEST_F(RussianFormats, DateTextFollowsTheShortFormatsTheExportsSet) {
    const TDateTime when = EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0);
    struct Case {
        const char* shortDate;
        const char* shortTime;
        const char* date;
        const char* timeAsFormatted;
    };
    const Case cases[] = {
        {"DD/MM/YYYY", "HH:MM:SS", "03.02.2001", "04:05:06"},  // MM right after HH is minutes
        {"dd.mm.yyyy", "hh:nn", "03.02.2001", "04:05"},
        {"d/m/yy", "h:n", "3.2.01", "4:5"},
        {"yyyy/mm/dd", "hh:nn:ss ampm", "2001.02.03", "04:05:06 AM"},
    };
    for (const Case& c : cases) {
        FormatSettings().ShortDateFormat = c.shortDate;
        FormatSettings().ShortTimeFormat = c.shortTime;
        FormatSettings().TimeAMString = "AM";
        EXPECT_EQ(DateToStr(when), c.date) << c.shortDate;
        EXPECT_EQ(FormatDateTime("t", when), c.timeAsFormatted) << c.shortTime;
        // The date text reads back under the same settings.
        EXPECT_DOUBLE_EQ(StrToDate(c.date), EncodeDate(2001, 2, 3)) << c.shortDate;
    }
    FormatSettings().ShortDateFormat = "dd/mm/yyyy";
    EXPECT_EQ(DateTimeToStr(when), "03.02.2001 4:05:06");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2001, 2, 3)), "03.02.2001");
    EXPECT_EQ(FormatDateTime("dd mmm yyyy 'at' hh:nn", when).substr(0, 3), "03 ");
    EXPECT_EQ(FormatDateTime("yyyymmdd\"T\"hhnnsszzz", when + 0.0000001), "20010203T040506009");
}

TEST_F(RussianFormats, DateAndTimeTextIsReadInTheFormatsOrder) {
    EXPECT_DOUBLE_EQ(StrToDate("31.12.2001"), EncodeDate(2001, 12, 31));
    EXPECT_DOUBLE_EQ(StrToDate(" 1.2.2003 "), EncodeDate(2003, 2, 1));
    FormatSettings().ShortDateFormat = "mm/dd/yyyy";
    EXPECT_DOUBLE_EQ(StrToDate("12.31.2001"), EncodeDate(2001, 12, 31));
    FormatSettings().ShortDateFormat = "yyyy/mm/dd";
    EXPECT_DOUBLE_EQ(StrToDate("2001.12.31"), EncodeDate(2001, 12, 31));
    FormatSettings().ShortDateFormat = "dd/mm/yyyy";

    int year, month, day;
    DecodeDate(StrToDate("05.06.07"), year, month, day);
    EXPECT_EQ(year, 2007);  // two-digit years land near now
    int thisYear, thisMonth, thisDay;
    DecodeDate(Date(), thisYear, thisMonth, thisDay);
    DecodeDate(StrToDate("05.06"), year, month, day);
    EXPECT_EQ(year, thisYear);  // a missing year is this one
    EXPECT_EQ(month * 100 + day, 605);

    EXPECT_DOUBLE_EQ(StrToTime("13:45"), EncodeTime(13, 45, 0, 0));
    EXPECT_DOUBLE_EQ(StrToTime("1:02:03,5"), EncodeTime(1, 2, 3, 500));
    EXPECT_DOUBLE_EQ(StrToTime("12:00 AM"), 0.0);
    EXPECT_DOUBLE_EQ(StrToTime("1:00 PM"), EncodeTime(13, 0, 0, 0));
    EXPECT_DOUBLE_EQ(StrToDateTime("31.12.2001 13:45"), EncodeDate(2001, 12, 31) + EncodeTime(13, 45, 0, 0));

    for (const char* bad : {"", "31.13.2001", "29.02.2001", "31/12/2001", "2001", "31.12.2001x", "abc"}) {
        TDateTime d;
        EXPECT_FALSE(TryStrToDate(bad, d)) << bad;
    }
    EXPECT_THROW(StrToDate("31.13.2001"), EConvertError);
    EXPECT_THROW(StrToTime("25:00"), EConvertError);
    EXPECT_THROW(StrToTime("13:00 PM"), EConvertError);
    EXPECT_THROW(StrToDateTime("31.12.2001 99:00"), EConvertError);
}

TEST(FormatSettingsTest, StartFromTheUsersLocale) {
    // The tests run with a Russian user locale.
    const TFormatSettings fs = TFormatSettings::FromUserLocale();
    EXPECT_EQ(fs.DecimalSeparator, ',');
    EXPECT_EQ(fs.DateSeparator, '.');
    EXPECT_EQ(fs.TimeSeparator, ':');
    EXPECT_EQ(AnsiLowerCase(fs.ShortDateFormat), "dd/mm/yyyy");
    EXPECT_EQ(fs.LongTimeFormat.find('m'), AnsiString::npos);  // minutes are "n"
    EXPECT_FALSE(fs.LongMonthNames[0].empty());
}

// Names are compared without the locale when both are plain ASCII text; the answer must be
// the locale's all the same.
TEST(TextComparison, SameTextAnswersAsTheLocaleIgnoringCase) {
    for (int a = 0x20; a < 0x7F; ++a)
        for (int b = 0x20; b < 0x7F; ++b) {
            const AnsiString x(1, static_cast<char>(a)), y(1, static_cast<char>(b));
            ASSERT_EQ(AnsiSameText(x, y), AnsiCompareText(x, y) == 0) << "'" << x << "' '" << y << "'";
        }
    const char* const texts[] = {"",         "CARD_NUMBER", "card_number", "Card_Number ", "CARD_NUMBERS",
                                 "CLIENT_NUMBER", "co-op",  "coop",        "CO-OP",        "o'brien",
                                 "OBRIEN",   "O'BRIEN",     "\xC4\xE0\xF2\xE0", "\xE4\xE0\xF2\xE0",
                                 "DATE_TIME", "date_time",  "a\x01" "b",   "ab"};
    for (const char* x : texts)
        for (const char* y : texts)
            EXPECT_EQ(AnsiSameText(x, y), AnsiCompareText(x, y) == 0) << "'" << x << "' '" << y << "'";
    EXPECT_TRUE(AnsiSameText("STROKA", "stroka"));
    EXPECT_FALSE(AnsiSameText("STROKA", "STROKA_"));
    EXPECT_TRUE(AnsiSameText("\xC4\xE0\xF2\xE0", "\xE4\xC0\xD2\xC0"));  // Cyrillic, through the locale
}
