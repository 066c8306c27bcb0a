#include <gtest/gtest.h>

#include "platform/DateTime.h"
#include "platform/FormatSettings.h"
#include "platform/Variant.h"

using namespace platform;

namespace {

// Russian-style settings for the duration of a test; restored afterwards.
class RussianSettings {
public:
    RussianSettings() : saved_(FormatSettings()) {
        TFormatSettings& fs = FormatSettings();
        fs.DecimalSeparator = ',';
        fs.ThousandSeparator = ' ';
        fs.DateSeparator = '.';
        fs.TimeSeparator = ':';
        fs.ShortDateFormat = "dd/mm/yyyy";
        fs.LongTimeFormat = "hh:nn:ss";
        fs.ShortTimeFormat = "hh:nn";
    }
    ~RussianSettings() { FormatSettings() = saved_; }

private:
    TFormatSettings saved_;
};

}  // namespace

TEST(VariantTest, ConversionsOfEachTypeFollowTheTable) {
    RussianSettings russian;
    struct Case {
        Variant value;
        int32_t asInteger;
        double asDouble;
        const char* asString;
        bool asBoolean;
    };
    const Case cases[] = {
        {Variant(), 0, 0.0, "", false},
        {Variant(int16_t(-7)), -7, -7.0, "-7", true},
        {Variant(42), 42, 42.0, "42", true},
        {Variant(int64_t(1) << 40), 0, 1099511627776.0, "1099511627776", true},
        {Variant(uint8_t(200)), 200, 200.0, "200", true},
        {Variant(2.5), 2, 2.5, "2,5", true},  // half to even
        {Variant(3.5), 4, 3.5, "3,5", true},
        {Variant(Currency::FromDouble(12.3456)), 12, 12.3456, "12,3456", true},
        {Variant(true), -1, -1.0, "True", true},
        {Variant(false), 0, 0.0, "False", false},
        {Variant("17"), 17, 17.0, "17", true},
        {Variant("1,5"), 2, 1.5, "1,5", true},
        {Variant(" 0 "), 0, 0.0, " 0 ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Variant::TypeName(c.value.VarType()) + " " + c.asString);
        if (c.value.VarType() != varInt64) {
            EXPECT_EQ(c.value.AsInteger(), c.asInteger);
        }
        EXPECT_DOUBLE_EQ(c.value.AsDouble(), c.asDouble);
        EXPECT_EQ(c.value.AsString(), c.asString);
        EXPECT_EQ(c.value.AsBoolean(), c.asBoolean);
    }
}

TEST(VariantTest, BadConversionsRaiseConversionErrors) {
    RussianSettings russian;
    EXPECT_THROW(Variant::Null().AsInteger(), EVariantError);
    EXPECT_THROW(Variant::Null().AsString(), EVariantError);
    EXPECT_THROW(Variant("abc").AsInteger(), EVariantError);
    EXPECT_THROW(Variant("1.5").AsDouble(), EConvertError);  // the separator is a comma here
    EXPECT_THROW(Variant("maybe").AsBoolean(), EVariantError);
    EXPECT_THROW(Variant("32.13.2001").AsDateTime(), EVariantError);
    EXPECT_THROW(Variant(int64_t(1) << 40).AsInteger(), EVariantError);
    EXPECT_THROW(Variant::ArrayOf({1, 2}).AsInteger(), EVariantError);
    EXPECT_EQ(VarToStr(Variant::Null()), "");
}

TEST(VariantTest, DatesConvertThroughTheShortDateFormat) {
    RussianSettings russian;
    const Variant d = Variant::FromDateTime(EncodeDate(2001, 1, 1));
    EXPECT_EQ(d.AsString(), "01.01.2001");
    EXPECT_DOUBLE_EQ(d.AsDouble(), 36892.0);
    EXPECT_DOUBLE_EQ(Variant("31.12.2001").AsDateTime(), EncodeDate(2001, 12, 31));
    EXPECT_DOUBLE_EQ(Variant("31.12.2001 12:30").AsDateTime(), EncodeDate(2001, 12, 31) + 0.5 + 1.0 / 48);
}

TEST(VariantTest, ComparisonsFollowTheDocumentedRules) {
    RussianSettings russian;
    using R = TVariantRelationship;
    struct Case {
        Variant a, b;
        R expected;
    };
    const Case cases[] = {
        {Variant::Null(), Variant::Null(), R::vrEqual},
        {Variant(), Variant::Null(), R::vrEqual},
        {Variant::Null(), Variant(0), R::vrNotEqual},
        {Variant(""), Variant::Null(), R::vrNotEqual},
        {Variant(1), Variant(int64_t(1)), R::vrEqual},
        {Variant(1), Variant(1.5), R::vrLessThan},
        {Variant(int64_t(9007199254740993)), Variant(int64_t(9007199254740992)), R::vrGreaterThan},
        {Variant("10"), Variant(9), R::vrGreaterThan},  // text read as a number, not as text
        {Variant("abc"), Variant("abd"), R::vrLessThan},
        {Variant("\xE0"), Variant("\xC0"), R::vrLessThan},  // Cyrillic a < A in the locale
        {Variant(true), Variant("True"), R::vrEqual},
        {Variant(true), Variant(-1), R::vrEqual},
        {Variant::FromDateTime(EncodeDate(2000, 1, 2)), Variant("01.01.2000"), R::vrGreaterThan},
        {Variant(Currency::FromDouble(1.25)), Variant(1.25), R::vrEqual},
        {Variant::ArrayOf({1, "a"}), Variant::ArrayOf({1, "a"}), R::vrEqual},
        {Variant::ArrayOf({1, "a"}), Variant::ArrayOf({1, "b"}), R::vrNotEqual},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(VarToStr(c.a.IsArray() ? Variant("array") : c.a) + " vs " +
                     VarToStr(c.b.IsArray() ? Variant("array") : c.b));
        EXPECT_EQ(VarCompareValue(c.a, c.b), c.expected);
    }
    EXPECT_FALSE(Variant::Null() < Variant(1));
    EXPECT_FALSE(Variant::Null() >= Variant(1));
    EXPECT_TRUE(Variant::Null() != Variant(1));
    EXPECT_THROW(VarCompareValue(Variant("x"), Variant(1)), EVariantError);
}

TEST(VariantTest, ArraysKeepBoundsAndElementsThroughCopiesAndRedim) {
    Variant a = Variant::Array(1, 3);
    a[1] = 10;
    a[2] = "two";
    a[3] = Variant::Null();
    EXPECT_EQ(a.LowBound(), 1);
    EXPECT_EQ(a.HighBound(), 3);
    EXPECT_THROW(a[0], EVariantError);
    EXPECT_THROW(a[4], EVariantError);

    Variant copy = a;
    copy[1] = 11;  // copies do not share elements
    EXPECT_EQ(a[1].AsInteger(), 10);

    a.Redim(5);
    EXPECT_EQ(a.ElementCount(), 5);
    EXPECT_EQ(a[2].AsString(), "two");
    EXPECT_TRUE(a[3].IsNull());
    EXPECT_TRUE(a[5].IsEmpty());
    a.Redim(1);
    EXPECT_EQ(a.ElementCount(), 1);
    EXPECT_EQ(a[1].AsInteger(), 10);
    EXPECT_THROW(Variant(1).LowBound(), EVariantError);
}
