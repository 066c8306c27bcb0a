// Btrieve field types: the logical type of each Btrieve type, reading and writing values
// in their byte formats, and the settings that tolerate or refuse bad values.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "btrieve/engines/BtrieveEngineError.h"
#include "btrieve/engines/BtrieveFields.h"
#include "btrieve/engines/ConversionFunctions.h"
#include "platform/DateTime.h"

using namespace btrieve;
using Bytes = std::vector<uint8_t>;

namespace {

class FieldsTest : public ::testing::Test {
protected:
    void SetUp() override {
        BtrieveSettings() = TBtrieveSettings{};
        FreeConversionFunctions();
    }
    void TearDown() override {
        BtrieveSettings() = TBtrieveSettings{};
        SetDllDirectoryA(nullptr);
        FreeConversionFunctions();
    }

    static double ReadDouble(uint8_t type, const Bytes& bytes, int16_t decimals, bool* blank = nullptr) {
        double v = -999;
        bool b = false;
        ReadBtrieveField(type, static_cast<uint16_t>(bytes.size()), decimals, b, &v, bytes.data());
        if (blank) *blank = b;
        return v;
    }
    static Bytes WriteDouble(uint8_t type, size_t length, int16_t decimals, double v) {
        Bytes field(length, 0xAA);
        WriteBtrieveField(type, static_cast<uint16_t>(length), decimals, field.data(), &v);
        return field;
    }
    static int32_t DayOf(int y, int m, int d) {
        return platform::DateTimeToTimeStamp(platform::EncodeDate(y, m, d)).Date;
    }
};

struct NumberCase {
    uint8_t type;
    int16_t decimals;
    Bytes bytes;
    double value;
};

TEST_F(FieldsTest, NumberFormatsReadAndWrite) {
    const NumberCase cases[] = {
        {TypeDecimal, 2, {0x12, 0x34, 0x5D}, -123.45},
        {TypeDecimal, 2, {0x01, 0x25, 0x0F}, 12.5},
        {TypeMoney, 0, {0x00, 0x12, 0x5F}, 1.25},
        {TypeNumeric, 2, {'0', '0', '0', '1', '2', 'J'}, -1.21},
        {TypeNumeric, 0, {'0', '0', '1', '}'}, -10},
        {TypeNumeric, 1, {'0', '1', '2', 'C'}, 12.3},
        {TypeNumeric, 0, {'0', '0', '2', '0'}, 20},
        {TypeBFloat, 0, {0x00, 0x00, 0x00, 0x81}, 1.0},
        {TypeBFloat, 0, {0x00, 0x00, 0x80, 0x80}, -0.5},
        {TypeBFloat, 0, {0, 0, 0, 0, 0, 0, 0x20, 0x83}, 5.0},
        {TypeNumericSts, 1, {'0', '2', '5', '-'}, -2.5},
        {TypeNumericSts, 0, {'0', '4', '2', '+'}, 42},
        {TypeNumericSa, 0, {'1', '2', 'q'}, -121},
        {TypeCurrency, 0, {0x98, 0x3A, 0, 0, 0, 0, 0, 0}, 1.5},
        {TypeFloat, 0, {0x00, 0x00, 0x20, 0x40}, 2.5},
        {TypeFloat, 0, {0, 0, 0, 0, 0, 0, 0x04, 0xC0}, -2.5},
        {TypeFloat, 0, {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x01, 0x40}, 5.0},
        {exttype::DecimalFloat, 0, {0x41, 0, 0, 0, 0, 0, 0, 0, 0x50, 0x12}, 12.5},
        {exttype::DecimalFloat, 0, {0xBF, 0, 0, 0, 0, 0, 0, 0, 0, 0x25}, -0.25},
        {exttype::Real48, 0, {0x81, 0, 0, 0, 0, 0}, 1.0},
        {exttype::Real48, 0, {0x82, 0, 0, 0, 0, 0x80}, -2.0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(ReadDouble(c.type, c.bytes, c.decimals), c.value, 1e-9) << int(c.type);
        EXPECT_EQ(WriteDouble(c.type, c.bytes.size(), c.decimals, c.value), c.bytes) << int(c.type) << " " << c.value;
    }
}

TEST_F(FieldsTest, ZeroFieldsAndBlanks) {
    bool blank = false;
    EXPECT_EQ(ReadDouble(TypeDecimal, Bytes(3, 0), 2, &blank), 0.0);
    EXPECT_FALSE(blank);
    EXPECT_EQ(ReadDouble(TypeCurrency, Bytes(8, 0), 0, &blank), 0.0);
    EXPECT_TRUE(blank);
    EXPECT_EQ(ReadDouble(TypeNumeric, Bytes(4, 0), 0, &blank), 0.0);
    EXPECT_FALSE(blank);
    // An exponent of zero is zero, whatever the other bytes hold.
    EXPECT_EQ(ReadDouble(TypeBFloat, {0x12, 0x34, 0x56, 0x00}, 0), 0.0);
}

TEST_F(FieldsTest, IntegersBySettings) {
    auto read16 = [](const Bytes& bytes, bool& blank) {
        int16_t v = 0;
        ReadBtrieveField(TypeInteger, static_cast<uint16_t>(bytes.size()), 0, blank, &v, bytes.data());
        return v;
    };
    bool blank = false;
    EXPECT_EQ(read16({0xFF}, blank), -1);
    BtrieveSettings().smallIntAsByte = true;
    EXPECT_EQ(read16({0xFF}, blank), 255);
    EXPECT_EQ(read16({0x00, 0x00}, blank), 0);
    EXPECT_TRUE(blank);
    BtrieveSettings().integersShowAsZero = true;
    read16({0x00, 0x00}, blank);
    EXPECT_FALSE(blank);
    EXPECT_EQ(MapBtrieveType(TypeInteger, 1).type, fldtype::UInt16);

    // 8-byte integers keep all their bytes both ways.
    const int64_t big = (int64_t(1) << 40) + 7;
    Bytes field(8, 0);
    WriteBtrieveField(TypeInteger, 8, 0, field.data(), &big);
    int64_t back = 0;
    ReadBtrieveField(TypeInteger, 8, 0, blank, &back, field.data());
    EXPECT_EQ(back, big);
    const int16_t small = -2;
    Bytes one(1, 0);
    WriteBtrieveField(TypeAutoIncrement, 1, 0, one.data(), &small);
    EXPECT_EQ(one[0], 0xFE);
}

TEST_F(FieldsTest, TextFormats) {
    auto readText = [](uint8_t type, const Bytes& bytes, bool& blank) {
        std::vector<char> value(bytes.size() + 8, '#');
        ReadBtrieveField(type, static_cast<uint16_t>(bytes.size()), 0, blank, value.data(), bytes.data());
        return blank ? std::string() : std::string(value.data());
    };
    auto writeText = [](uint8_t type, size_t length, const char* text) {
        Bytes field(length, 0xAA);
        WriteBtrieveField(type, static_cast<uint16_t>(length), 0, field.data(), text);
        return field;
    };
    bool blank = false;
    EXPECT_EQ(writeText(TypeString, 5, "AB"), (Bytes{'A', 'B', ' ', ' ', ' '}));
    EXPECT_EQ(readText(TypeString, {'A', 'B', ' ', ' ', ' '}, blank), "AB");
    // The text ends at a NUL; control characters trail off like blanks, letters above 127 stay.
    EXPECT_EQ(readText(TypeString, {'A', ' ', 0, 'C', ' '}, blank), "A");
    EXPECT_EQ(readText(TypeString, {'A', 0xC0, '\t', ' ', '\r'}, blank), "A\xC0");
    EXPECT_EQ(readText(TypeString, {'A', 'B', 'C', 'D', 'E'}, blank), "ABCDE");
    EXPECT_EQ(writeText(TypeString, 3, "ABCDE"), (Bytes{'A', 'B', 'C'}));
    BtrieveSettings().stringPaddedSpaces = false;
    EXPECT_EQ(writeText(TypeString, 5, "AB"), (Bytes{'A', 'B', 0, 0, 0}));
    readText(TypeString, Bytes(5, 0), blank);
    EXPECT_TRUE(blank);

    EXPECT_EQ(writeText(TypeZString, 4, "ABCDE"), (Bytes{'A', 'B', 'C', 0}));
    EXPECT_EQ(readText(TypeZString, {'A', 'B', 'C', 'D'}, blank), "ABC");
    EXPECT_EQ(writeText(TypeLString, 4, "ABCDE"), (Bytes{3, 'A', 'B', 'C'}));
    EXPECT_EQ(readText(TypeLString, {2, 'A', 'B', 'Z'}, blank), "AB");
    // A length byte beyond the field reads only the field.
    EXPECT_EQ(readText(TypeLString, {200, 'A', 'B', 'C'}, blank), "ABC");
    EXPECT_EQ(readText(TypeLString, {3, 'A', 0, 'B'}, blank), "A");
    EXPECT_EQ(readText(TypeLString, {3, 'A', 'B', ' '}, blank), "AB ");
    EXPECT_THROW(writeText(TypeNote, 4, "x"), EBtrieveEngineError);
}

TEST_F(FieldsTest, DatesTimesAndStamps) {
    bool blank = false;
    int32_t day = -1;
    ReadBtrieveField(TypeDate, 4, 0, blank, &day, Bytes{3, 2, 0xD1, 0x07}.data());
    EXPECT_EQ(day, DayOf(2001, 2, 3));
    ReadBtrieveField(TypeDate, 4, 0, blank, &day, Bytes(4, 0).data());
    EXPECT_TRUE(blank);
    ReadBtrieveField(TypeDate, 4, 0, blank, &day, Bytes{1, 13, 0xD1, 0x07}.data());  // month 13
    EXPECT_EQ(day, 0);
    const Bytes february31{31, 2, 0xD1, 0x07};
    EXPECT_THROW(ReadBtrieveField(TypeDate, 4, 0, blank, &day, february31.data()), EBtrieveEngineError);
    BtrieveSettings().readTolerant = true;
    day = -1;
    ReadBtrieveField(TypeDate, 4, 0, blank, &day, february31.data());
    EXPECT_EQ(day, 0);

    Bytes date(4, 0);
    const int32_t when = DayOf(1999, 12, 31);
    WriteBtrieveField(TypeDate, 4, 0, date.data(), &when);
    EXPECT_EQ(date, (Bytes{31, 12, 0xCF, 0x07}));
    const int32_t refused = 0;
    EXPECT_THROW(WriteBtrieveField(TypeDate, 4, 0, date.data(), &refused), EBtrieveEngineError);
    BtrieveSettings().writeTolerant = true;
    WriteBtrieveField(TypeDate, 4, 0, date.data(), &refused);
    EXPECT_EQ(date, Bytes(4, 0));

    const int32_t msecs = ((13 * 60 + 14) * 60 + 15) * 1000 + 160;
    Bytes time(4, 0);
    WriteBtrieveField(TypeTime, 4, 0, time.data(), &msecs);
    EXPECT_EQ(time, (Bytes{16, 15, 14, 13}));
    int32_t back = 0;
    ReadBtrieveField(TypeTime, 4, 0, blank, &back, time.data());
    EXPECT_EQ(back, msecs);

    // Time stamps: local time in, the same local time out, for a winter and a summer date.
    for (const int32_t d : {DayOf(2001, 1, 15), DayOf(2001, 7, 15)}) {
        const double stamp = d * 86400000.0 + 3600000.0 * 10 + 1234;
        Bytes field(8, 0);
        WriteBtrieveField(TypeTimestamp, 8, 0, field.data(), &stamp);
        double read = 0;
        ReadBtrieveField(TypeTimestamp, 8, 0, blank, &read, field.data());
        EXPECT_EQ(read, stamp);
        EXPECT_FALSE(blank);
        const double dt = 0;
        Bytes real(8, 0);
        WriteBtrieveField(exttype::DateTimeFloat, 8, 0, real.data(), &stamp);
        ReadBtrieveField(exttype::DateTimeFloat, 8, 0, blank, &read, real.data());
        EXPECT_NEAR(read, stamp, 1.0 + dt);
    }
    double zero = -1;
    ReadBtrieveField(TypeTimestamp, 8, 0, blank, &zero, Bytes(8, 0).data());
    EXPECT_TRUE(blank);
    EXPECT_EQ(zero, 0.0);
}

// Runs in a process of its own whose time zone is central European time, which changes to
// daylight-saving time on the last Sunday of March at 02:00 and back on the last Sunday of
// October at 03:00 (CTest sets TZ for it). The stored value is UTC, whichever side of a
// change the local time lies on.
TEST_F(FieldsTest, DISABLED_StampsInADaylightSavingZone) {
    TIME_ZONE_INFORMATION zone{};
    ASSERT_NE(GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
    ASSERT_EQ(zone.Bias, -60) << "run with TZ=CET-1CEST,M3.5.0,M10.5.0/3";
    ASSERT_EQ(zone.DaylightBias, -60);
    struct Case {
        int day, month, hour, minute;           // local time, 2001
        int utcDay, utcMonth, utcHour, utcMinute;
    };
    const Case cases[] = {
        {15, 1, 10, 0, 15, 1, 9, 0},       // winter
        {15, 7, 10, 0, 15, 7, 8, 0},       // summer
        {25, 3, 1, 30, 25, 3, 0, 30},      // just before the change to summer time
        {25, 3, 3, 30, 25, 3, 1, 30},      // just after it
        {28, 10, 1, 30, 27, 10, 23, 30},   // before the change back
        {28, 10, 3, 30, 28, 10, 2, 30},    // after it
    };
    auto stampOf = [](int32_t day, int hour, int minute) { return day * 86400000.0 + (hour * 60 + minute) * 60000.0; };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.day) + "." + std::to_string(c.month) + " " + std::to_string(c.hour) + ":" +
                     std::to_string(c.minute));
        const double local = stampOf(DayOf(2001, c.month, c.day), c.hour, c.minute);
        Bytes field(8, 0);
        WriteBtrieveField(TypeTimestamp, 8, 0, field.data(), &local);
        int64_t stored = 0;
        std::memcpy(&stored, field.data(), 8);
        // 100-nanosecond units since the start of 1 January of year 1, UTC.
        const double utc = stampOf(DayOf(2001, c.utcMonth, c.utcDay) - 1, c.utcHour, c.utcMinute);
        EXPECT_EQ(stored, static_cast<int64_t>(utc) * 10000);
        double read = 0;
        bool blank = true;
        ReadBtrieveField(TypeTimestamp, 8, 0, blank, &read, field.data());
        EXPECT_EQ(read, local);
    }
}

TEST_F(FieldsTest, ValuesThatDoNotFitAreRefusedNotCut) {
    EXPECT_THROW(WriteDouble(TypeDecimal, 2, 0, 1234), EBtrieveEngineError);
    EXPECT_THROW(WriteDouble(TypeNumeric, 3, 2, 12.5), EBtrieveEngineError);
    EXPECT_THROW(WriteDouble(TypeBFloat, 4, 0, 1e300), EBtrieveEngineError);
    BtrieveSettings().writeTolerant = true;
    EXPECT_NO_THROW(WriteDouble(TypeDecimal, 2, 0, 1234));
}

TEST_F(FieldsTest, FourByteFloatsKeepSevenDigitsAndAtMostSevenDecimals) {
    struct Case {
        double written;
        float stored;
    };
    const Case cases[] = {
        {1.23456789, 1.234568f},
        {-2.5, -2.5f},
        {123456789.0, 123456800.0f},
        {0.1234567891, 0.1234568f},
        {0.000012345678, 0.0000123f},
        {-0.000000049, 0.0f},
        {0.00000005, 0.0000001f},
    };
    for (const Case& c : cases) {
        const Bytes field = WriteDouble(TypeFloat, 4, 0, c.written);
        float stored = -1;
        std::memcpy(&stored, field.data(), 4);
        EXPECT_EQ(stored, c.stored) << c.written;
    }
    EXPECT_THROW(WriteDouble(TypeFloat, 4, 0, 1e300), EBtrieveEngineError);
    BtrieveSettings().writeTolerant = true;
    EXPECT_EQ(WriteDouble(TypeFloat, 4, 0, 1e300), Bytes(4, 0));
}

TEST_F(FieldsTest, OtherProductsFormatsNeedTheConversionLibrary) {
    const Bytes field{1, 2, 3, 4};
    bool blank = false;
    int32_t day = -1;
    for (uint8_t type : {exttype::MagicDate, exttype::CTime, exttype::YYYYMMDD}) {
        EXPECT_EQ(MapBtrieveType(type, 4).type, fldtype::Date);
        EXPECT_THROW(ReadBtrieveField(type, 4, 0, blank, &day, field.data()), EBtrieveEngineError);
    }
    for (uint8_t type : {exttype::TasProTime, exttype::MagicTime}) EXPECT_EQ(MapBtrieveType(type, 4).type, fldtype::Time);
    try {
        ReadBtrieveField(exttype::MagicDate, 4, 0, blank, &day, field.data());
    } catch (const EBtrieveEngineError& e) {
        EXPECT_EQ(e.GetNativeText(), "Btrieve Error 2999.");
    }
    BtrieveSettings().readTolerant = true;
    BtrieveSettings().writeTolerant = true;
    ReadBtrieveField(exttype::MagicDate, 4, 0, blank, &day, field.data());
    EXPECT_EQ(day, 0);
    Bytes out(4, 0);
    const int32_t when = DayOf(2001, 2, 3);
    EXPECT_NO_THROW(WriteBtrieveField(exttype::MagicDate, 4, 0, out.data(), &when));
    ReadBtrieveField(exttype::MagicDate, 4, 0, blank, &day, Bytes(4, 0).data());
    EXPECT_TRUE(blank);
}

TEST_F(FieldsTest, OtherProductsFormatsThroughTheConversionLibrary) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder = folder.substr(0, folder.rfind('\\')) + "\\conversion-library";
    SetDllDirectoryA(folder.c_str());
    ASSERT_TRUE(GetConversionFunctions().Loaded());
    EXPECT_EQ(GetConversionFunctions().MissingEntries(), "");
    bool blank = false;
    int32_t day = 0;
    ReadBtrieveField(exttype::YYYYMMDD, 8, 0, blank, &day, reinterpret_cast<const uint8_t*>("20010203"));
    EXPECT_EQ(day, DayOf(2001, 2, 3));
    const int32_t newYear = DayOf(1999, 12, 31);
    Bytes text(8, 0);
    WriteBtrieveField(exttype::YYYYMMDD, 8, 0, text.data(), &newYear);
    EXPECT_EQ(std::string(text.begin(), text.end()), "19991231");
    // Six digits: the terminator the entry writes stays out of the record.
    Bytes shortText(8, '#');
    const int32_t inFebruary = DayOf(2001, 2, 3);
    WriteBtrieveField(exttype::YYMMDD, 6, 0, shortText.data(), &inFebruary);
    EXPECT_EQ(std::string(shortText.begin(), shortText.end()), "010203##");
    // Day counts go with the day base of their type.
    const int32_t five = 5;
    ReadBtrieveField(exttype::MagicDate2, 4, 0, blank, &day, reinterpret_cast<const uint8_t*>(&five));
    EXPECT_EQ(day, DayOf(2001, 1, 5));
    EXPECT_THROW(ReadBtrieveField(exttype::MagicDate, 4, 0, blank, &day, reinterpret_cast<const uint8_t*>(&five)),
                 EBtrieveEngineError);
    const uint32_t hundredths = 4500;
    int32_t msecs = 0;
    ReadBtrieveField(exttype::MagicTime, 4, 0, blank, &msecs, reinterpret_cast<const uint8_t*>(&hundredths));
    EXPECT_EQ(msecs, 45000);
    uint32_t back = 0;
    WriteBtrieveField(exttype::MagicTime, 4, 0, reinterpret_cast<uint8_t*>(&back), &msecs);
    EXPECT_EQ(back, hundredths);
    const int64_t units = 15000;
    EXPECT_EQ(ReadDouble(exttype::Currency, Bytes(reinterpret_cast<const uint8_t*>(&units),
                                                  reinterpret_cast<const uint8_t*>(&units) + 8), 0), 1.5);
    const Bytes written = WriteDouble(exttype::Currency, 8, 0, 2.25);
    int64_t stored = 0;
    std::memcpy(&stored, written.data(), 8);
    EXPECT_EQ(stored, 22500);
    // An entry that fails ends as a failed conversion.
    EXPECT_THROW(WriteDouble(exttype::TasProNum, 6, 2, 1.0), EBtrieveEngineError);
}

struct TypeCase {
    uint8_t type;
    uint16_t length;
    uint16_t logical;
    int16_t units;
    uint16_t subType;
};

TEST_F(FieldsTest, LogicalTypeOfEachBtrieveType) {
    const TypeCase cases[] = {
        {TypeString, 255, fldtype::ZString, 255, 0},    {TypeString, 256, fldtype::Blob, 255, fldsubtype::Memo},
        {TypeInteger, 1, fldtype::Int16, 2, 0},         {TypeInteger, 8, fldtype::Int64, 8, 0},
        {TypeInteger, 3, fldtype::Unknown, 3, 0},       {TypeDecimal, 5, fldtype::Float, 5, 0},
        {TypeMoney, 6, fldtype::Float, 6, fldsubtype::Money},
        {TypeLogical, 1, fldtype::Bool, 4, 0},          {TypeLString, 11, fldtype::ZString, 10, 0},
        {TypeZString, 1, fldtype::Bytes, 1, 0},         {TypeZString, 256, fldtype::ZString, 255, 0},
        {TypeZString, 257, fldtype::Blob, 256, fldsubtype::Memo},
        {TypeNote, 1, fldtype::Bytes, 1, 0},            {TypeNote, 100, fldtype::Blob, 99, fldsubtype::Memo},
        {TypeUnsignedBinary, 1, fldtype::UInt16, 2, 0}, {TypeUnsignedBinary, 6, fldtype::Bytes, 6, 0},
        {TypeUnsignedBinary, 8, fldtype::UInt64, 8, 0}, {TypeAutoIncrement, 4, fldtype::Int32, 4, fldsubtype::AutoInc},
        {TypeCurrency, 8, fldtype::Float, 8, fldsubtype::Money},
        {TypeTimestamp, 8, fldtype::Timestamp, 8, 0},   {exttype::Currency, 8, fldtype::Float, 8, fldsubtype::Money},
        {exttype::Real48, 6, fldtype::Float, 6, 0},     {100, 4, fldtype::Unknown, 4, 0},
    };
    for (const auto& c : cases) {
        const TLogicalType t = MapBtrieveType(c.type, c.length);
        EXPECT_EQ(t.type, c.logical) << int(c.type) << "/" << c.length;
        EXPECT_EQ(t.units, c.units) << int(c.type) << "/" << c.length;
        EXPECT_EQ(t.subType, c.subType) << int(c.type) << "/" << c.length;
    }
}

TEST_F(FieldsTest, DictionaryRecordsBecomeDescriptors) {
    auto record = [](const char* name, uint8_t type, uint16_t offset, uint16_t size, uint8_t dec) {
        Bytes r(32, 0);
        std::memset(r.data() + 4, ' ', 20);
        std::memcpy(r.data() + 4, name, std::strlen(name));
        r[24] = type;
        std::memcpy(r.data() + 25, &offset, 2);
        std::memcpy(r.data() + 27, &size, 2);
        r[29] = dec;
        return r;
    };
    const TEngineFieldDesc memo = DictFieldToDesc(record("Notes", TypeString, 10, 300, 0).data(), 3);
    EXPECT_EQ(memo.fieldNumber, 3);
    EXPECT_STREQ(memo.name, "Notes");
    EXPECT_EQ(memo.fieldType, fldtype::Blob);
    EXPECT_EQ(memo.subType, fldsubtype::Memo);
    EXPECT_EQ(memo.units1, 299);
    EXPECT_EQ(memo.offset, 10);
    EXPECT_EQ(memo.length, 300);
    const TEngineFieldDesc graphic = DictFieldToDesc(record("Pic111", TypeString, 0, 300, 0).data(), 1);
    EXPECT_EQ(graphic.subType, fldsubtype::Graphic);
    EXPECT_EQ(graphic.units1, 0);
    EXPECT_EQ(DictFieldToDesc(record("Raw222", TypeString, 0, 300, 0).data(), 1).subType, fldsubtype::Binary);
    const TEngineFieldDesc amount = DictFieldToDesc(record("Amount", TypeDecimal, 4, 6, 2).data(), 2);
    EXPECT_EQ(amount.fieldType, fldtype::Float);
    EXPECT_EQ(amount.units2, 2);
    EXPECT_EQ(amount.valCheck, 2);
    EXPECT_EQ(amount.rights, 3);
}

}  // namespace
