// Parameter descriptors: item sizes, null handling, typed and variant element access,
// PL/SQL tables from variant arrays, and the null state taken from a held value object.
#include <gtest/gtest.h>

#include <cstring>

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraObject.h"
#include "oracle/oci/OraParamDesc.h"

namespace oracle {
namespace {

using platform::Variant;

struct ItemSizeCase {
    TDataType type;
    uint32_t itemSize;
};

TEST(OraParamDesc, ItemSizeFollowsTheDataType) {
    const ItemSizeCase cases[] = {{dtInteger, 4}, {dtFloat, 8}, {dtDateTime, 7}, {dtBoolean, 4},
                                  {dtBlob, 0},    {dtMemo, 0},  {dtObject, 0},   {dtReference, 0},
                                  {dtArray, 0},   {dtTable, 0}, {dtCursor, 0},   {dtOraBlob, 0},
                                  {dtOraClob, 0}, {dtBFile, 0}, {dtCFile, 0},    {dtLabel, 0}};
    for (const auto& c : cases) {
        TOraParamDesc param;
        param.SetDataType(c.type);
        EXPECT_EQ(param.ItemSize(), c.itemSize) << "type " << c.type;
    }
    TOraParamDesc param;
    EXPECT_THROW(param.SetDataType(dtCurrency), EAssertionFailed);
}

TEST(OraParamDesc, StringItemSizeIsTextPlusTerminator) {
    TOraParamDesc param;
    param.SetDataType(dtString);
    param.SetSize(10);
    EXPECT_EQ(param.ItemSize(), 11u);
    param.SetSize(0);
    EXPECT_EQ(param.ItemSize(), 2u);
    param.SetDataType(dtFixedChar);
    param.SetSize(5);
    EXPECT_EQ(param.ItemSize(), 6u);
}

TEST(OraParamDesc, NewDescriptorIsNull) {
    TOraParamDesc param;
    EXPECT_TRUE(param.GetNull());
    Variant value;
    param.GetValue(value);
    EXPECT_TRUE(value.IsNull());
    EXPECT_EQ(param.TableLength(), 1);
}

TEST(OraParamDesc, StringsAreCutToTheItemAndEmptyMeansNull) {
    TOraParamDesc param;
    param.SetDataType(dtString);
    param.SetSize(3);
    param.SetItemAsString(1, "abcdef");
    EXPECT_EQ(param.GetItemAsString(1), "abc");
    EXPECT_FALSE(param.GetNull());
    param.SetItemAsString(1, "");
    EXPECT_TRUE(param.GetNull());
    Variant value;
    param.GetValue(value);
    EXPECT_EQ(value.AsString(), "");  // a null string reads as an empty text, not Null
}

TEST(OraParamDesc, StringReadStopsAtTheItemEnd) {
    TOraParamDesc param;
    param.SetDataType(dtString);
    param.SetSize(3);
    param.SetTableLength(2);
    param.SetItemAsString(2, "xyz");
    // The client filled element 1 to its last byte without a terminator.
    std::memset(param.ValueBuffer(), 'a', param.ItemSize());
    param.SetIndicator(1, 0);
    EXPECT_EQ(param.GetItemAsString(1), "aaaa");
}

TEST(OraParamDesc, TypedSettersChooseTheTypeAndReadBack) {
    TOraParamDesc param;
    param.SetItemAsInteger(1, -42);
    EXPECT_EQ(param.GetDataType(), dtInteger);
    EXPECT_EQ(param.GetItemAsInteger(1), -42);
    param.SetItemAsFloat(1, 2.5);
    EXPECT_EQ(param.GetDataType(), dtFloat);
    EXPECT_DOUBLE_EQ(param.GetItemAsFloat(1), 2.5);
    const platform::TDateTime when = 45000.5;  // noon
    param.SetItemAsDateTime(1, when);
    EXPECT_EQ(param.GetDataType(), dtDateTime);
    EXPECT_DOUBLE_EQ(param.GetItemAsDateTime(1), when);
    param.SetNull(true);
    EXPECT_EQ(param.GetItemAsDateTime(1), 0);
    EXPECT_EQ(param.GetItemAsInteger(1), 0);  // another type reads as 0
}

TEST(OraParamDesc, ChangingTheTypeDropsTheValues) {
    TOraParamDesc param;
    param.SetTableLength(3);
    for (int i = 1; i <= 3; ++i) param.SetItemAsInteger(i, i);
    param.SetDataType(dtFloat);
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(param.ItemIsNull(i)) << i;
}

TEST(OraParamDesc, IndexOutsideTheTableRaises) {
    TOraParamDesc param;
    param.SetDataType(dtInteger);
    param.SetTableLength(2);
    for (int index : {0, 3, -1}) {
        EXPECT_THROW(param.SetItemAsInteger(index, 1), platform::ERangeError) << index;
        EXPECT_THROW(param.GetIndicator(index), platform::ERangeError) << index;
    }
    try {
        param.CheckIndex(5);
        FAIL();
    } catch (const platform::ERangeError& e) {
        EXPECT_STREQ(e.what(), "Index of array is not range");
    }
}

TEST(OraParamDesc, CursorIndicatorIsAlwaysSet) {
    TOraParamDesc param;
    param.SetDataType(dtCursor);
    EXPECT_EQ(param.GetIndicator(1), 0);
    EXPECT_EQ(param.GetIndicator(7), 0);
}

TEST(OraParamDesc, VariantArraysFillATable) {
    struct Case {
        int low;
        int high;
    };
    for (const Case c : {Case{1, 3}, Case{0, 2}}) {
        TOraParamDesc param;
        Variant array = Variant::Array(c.low, c.high);
        for (int i = c.low; i <= c.high; ++i) array[i] = Variant(int32_t{10 * (i - c.low + 1)});
        param.SetValue(array);
        EXPECT_EQ(param.TableLength(), 3) << c.low;
        Variant back;
        param.GetValue(back);
        ASSERT_TRUE(back.IsArray());
        EXPECT_EQ(back.LowBound(), 1);
        EXPECT_EQ(back.HighBound(), 3);
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(back[i].AsInteger(), 10 * i) << c.low << " " << i;
    }
}

TEST(OraParamDesc, UntypedTextArrayKeepsItsLongestElement) {
    TOraParamDesc param;
    param.SetValue(Variant::ArrayOf({Variant("ab"), Variant::Null(), Variant("a much longer text")}));
    EXPECT_EQ(param.GetDataType(), dtString);
    EXPECT_EQ(param.GetItemAsString(1), "ab");
    EXPECT_TRUE(param.ItemIsNull(2));
    EXPECT_EQ(param.GetItemAsString(3), "a much longer text");
}

TEST(OraParamDesc, VariantTypesAndConversions) {
    struct Case {
        TDataType preset;
        Variant value;
        TDataType type;
        const char* text;  // expected GetValue text
    };
    const Case cases[] = {
        {dtUnknown, Variant(int16_t{7}), dtInteger, "7"},
        {dtUnknown, Variant(uint8_t{9}), dtInteger, "9"},
        {dtUnknown, Variant(-2.0), dtFloat, "-2"},
        {dtUnknown, Variant("hello"), dtString, "hello"},
        {dtInteger, Variant("123"), dtInteger, "123"},
        {dtInteger, Variant(3.0), dtInteger, "3"},
        {dtFloat, Variant(int32_t{4}), dtFloat, "4"},
        {dtString, Variant(int32_t{12}), dtString, "1"},  // two-byte item: one character
    };
    for (const auto& c : cases) {
        TOraParamDesc param;
        param.SetDataType(c.preset);
        param.SetValue(c.value);
        EXPECT_EQ(param.GetDataType(), c.type) << c.text;
        Variant back;
        param.GetValue(back);
        EXPECT_EQ(back.AsString(), c.text);
    }
}

TEST(OraParamDesc, UnconvertibleVariantsRaise) {
    struct Case {
        TDataType preset;
        Variant value;
        const char* message;  // nil: any conversion error
    };
    const Case cases[] = {
        {dtUnknown, Variant(true), "Unknown data type"},
        {dtInteger, Variant(true), "Cannot convert type"},
        {dtFloat, Variant::FromDateTime(1.0), "Cannot convert type"},
        {dtBoolean, Variant(int32_t{1}), "Cannot convert type"},
        {dtInteger, Variant("twelve"), nullptr},
        {dtFloat, Variant("1.2.3"), nullptr},
    };
    for (const auto& c : cases) {
        TOraParamDesc param;
        param.SetDataType(c.preset);
        try {
            param.SetValue(c.value);
            ADD_FAILURE() << "no error for type " << c.preset;
        } catch (const platform::EConvertError& e) {
            if (c.message) EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(OraParamDesc, NullFromTheHeldBlob) {
    TOraParamDesc param;
    param.SetDataType(dtBlob);
    param.SyncNullFromObject();
    EXPECT_TRUE(param.GetNull());
    TBlob* blob = NewShared<TBlob>();
    param.SetObject(blob);
    EXPECT_EQ(param.ValueBuffer(), blob);
    param.SyncNullFromObject();
    EXPECT_TRUE(param.GetNull());
    blob->SetAsString("data");
    param.SyncNullFromObject();
    EXPECT_FALSE(param.GetNull());
    Variant value;
    param.GetValue(value);
    EXPECT_EQ(value.AsString(), "data");
    param.SetNull(true);  // clears the blob too
    EXPECT_EQ(blob->GetSize(), 0u);
    blob->Release();
}

TEST(OraParamDesc, NullFromHeldObjectsAndFiles) {
    struct Case {
        TDataType type;
        TSharedObject* object;
        bool isNull;
    };
    TOraObject* object = NewShared<TOraObject>();
    char instance[8] = {};
    TOraObject* allocated = NewShared<TOraObject>();
    allocated->SetInstance(instance);
    TOraFile* file = NewShared<TOraFile>();  // no locator: no names
    TOraLob* lob = NewShared<TOraLob>();
    const Case cases[] = {{dtObject, object, true},    {dtArray, object, true}, {dtObject, allocated, false},
                          {dtTable, allocated, false}, {dtBFile, file, true},   {dtOraClob, lob, false},
                          {dtOraBlob, nullptr, true}};
    for (const auto& c : cases) {
        TOraParamDesc param;
        param.SetDataType(c.type);
        param.SetObject(c.object);
        param.SetNull(!c.isNull);
        param.SyncNullFromObject();
        EXPECT_EQ(param.GetNull(), c.isNull) << "type " << c.type;
    }
    for (TSharedObject* o : std::initializer_list<TSharedObject*>{object, allocated, file, lob}) o->Release();
}

}  // namespace
}  // namespace oracle
