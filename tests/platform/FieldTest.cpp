// Field value conversions over the native buffer forms, range checks, dates in the
// storage's day-number and millisecond forms, and blob fields through blob streams.
#include <gtest/gtest.h>

#include <cstring>

#include "MemoryTable.h"
#include "platform/DateTime.h"
#include "platform/FormatSettings.h"

using namespace platform;
using testing_support::Column;
using testing_support::TMemoryTable;

namespace {

// One table holding a column of every kind the callers read and write.
std::unique_ptr<TMemoryTable> AllKinds() {
    auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{
        {"S", ftString, 8},   {"SI", ftSmallint}, {"I", ftInteger},  {"W", ftWord},       {"L", ftLargeint},
        {"F", ftFloat},       {"C", ftCurrency},  {"B", ftBoolean},  {"D", ftDate},       {"T", ftTime},
        {"DT", ftDateTime},   {"BY", ftBytes, 4}, {"VB", ftVarBytes, 6}, {"M", ftMemo},    {"BL", ftBlob},
        {"LS", ftString, 1000}});
    table->AddRow({});
    return table;
}

class FormatGuard {
public:
    FormatGuard() : saved_(FormatSettings()) {
        FormatSettings().DecimalSeparator = '.';
        FormatSettings().DateSeparator = '.';
        FormatSettings().ShortDateFormat = "dd.mm.yyyy";
        FormatSettings().TimeSeparator = ':';
        FormatSettings().LongTimeFormat = "hh:nn:ss";
    }
    ~FormatGuard() { FormatSettings() = saved_; }

private:
    TFormatSettings saved_;
};

}  // namespace

TEST(FieldConversions, WrittenAsOneKindReadAsOthers) {
    FormatGuard formats;
    // Longer than the field: cut to its 1000 characters.
    const std::string longText = std::string(999, 'x') + "yz", longTextCut = std::string(999, 'x') + "y";
    struct Case {
        const char* field;
        const char* writeAs;  // "string", "integer", "float", "boolean", "variant-date"
        const char* input;
        const char* asString;
        int asInteger;
    };
    const std::vector<Case> cases = {
        {"S", "string", "abcdefghij", "abcdefgh", 0},  // cut to the field's size
        {"S", "integer", "42", "42", 42},
        {"SI", "string", "-12", "-12", -12},
        {"I", "float", "2.6", "3", 3},
        {"W", "integer", "65535", "65535", 65535},
        {"L", "string", "9000000000", "9000000000", 0},
        {"F", "string", "1.5", "1.5", 2},
        {"F", "integer", "7", "7", 7},
        {"F", "string", "2.5", "2.5", 2},  // halves round to the even number
        {"F", "string", "-3.5", "-3.5", -4},
        {"C", "float", "12.25", "12.25", 12},
        {"B", "string", "yes", "True", 1},
        {"B", "boolean", "0", "False", 0},
        {"D", "string", "01.01.2001", "01.01.2001", 0},
        {"T", "string", "12:30:15", "12:30:15", 0},
        {"DT", "variant-date", "02.01.2001", "02.01.2001", 0},
        {"BY", "string", "\x01\x02\x03\x04\x05", "\x01\x02\x03\x04", 0},
        {"VB", "string", "abc", "abc", 0},
        {"M", "string", "long text\r\nsecond line", "long text\r\nsecond line", 0},
        {"LS", "string", longText.c_str(), longTextCut.c_str(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " <- " + c.writeAs + " " + c.input);
        auto table = AllKinds();
        table->OpenDataSet();
        table->BeginEdit();
        TField* field = table->FieldNamed(c.field);
        AnsiString how = c.writeAs;
        if (how == "string") field->WriteAsString(c.input);
        else if (how == "integer") field->WriteAsInteger(std::atoi(c.input));
        else if (how == "float") field->WriteAsFloat(std::atof(c.input));
        else if (how == "boolean") field->WriteAsBoolean(std::atoi(c.input) != 0);
        else field->WriteAsVariant(Variant::FromDateTime(StrToDate(c.input)));
        table->PostChanges();
        EXPECT_FALSE(field->IsNull());
        EXPECT_EQ(field->ReadAsString(), c.asString);
        if (c.asInteger != 0) {
            EXPECT_EQ(field->ReadAsInteger(), c.asInteger);
        }
    }
}

TEST(FieldConversions, StorageFormsOfDatesTimesAndBooleans) {
    // The record buffers keep a day number (1 = 1 January of year 1), milliseconds of
    // the day, a double of time-stamp milliseconds, and -1 for true.
    auto table = AllKinds();
    table->OpenDataSet();
    table->BeginEdit();
    table->FieldNamed("D")->WriteAsDateTime(EncodeDate(2001, 1, 1));
    table->FieldNamed("T")->WriteAsDateTime(EncodeTime(12, 0, 0, 0));
    table->FieldNamed("DT")->WriteAsDateTime(EncodeDate(2001, 1, 2) + EncodeTime(12, 0, 0, 0));
    table->FieldNamed("B")->WriteAsBoolean(true);
    table->PostChanges();
    EXPECT_EQ(table->Stored(0, "D").AsInteger(), 730486);
    EXPECT_EQ(table->Stored(0, "T").AsInteger(), 43200000);
    EXPECT_DOUBLE_EQ(table->Stored(0, "DT").AsDouble(), 730487.0 * 86400000.0 + 43200000.0);
    EXPECT_EQ(table->Stored(0, "B").AsInteger(), -1);
    EXPECT_DOUBLE_EQ(table->FieldNamed("DT")->ReadAsDateTime(), EncodeDate(2001, 1, 2) + 0.5);
}

TEST(FieldConversions, NullsAndVariants) {
    auto table = AllKinds();
    table->OpenDataSet();
    for (int i = 0; i < table->Fields().Count(); ++i) {
        TField* field = table->Fields().FieldAt(i);
        SCOPED_TRACE(field->FieldName());
        EXPECT_TRUE(field->IsNull());
        EXPECT_TRUE(field->ReadAsVariant().IsNull());
        EXPECT_EQ(field->ReadAsString(), "");
    }
    table->BeginEdit();
    table->FieldNamed("I")->WriteAsVariant(Variant("17"));
    table->FieldNamed("F")->WriteAsVariant(Variant(int32_t{3}));
    table->FieldNamed("S")->WriteAsVariant(Variant(2.5));
    table->FieldNamed("B")->WriteAsVariant(Variant(true));
    EXPECT_EQ(table->FieldNamed("I")->ReadAsVariant().VarType(), varInteger);
    EXPECT_EQ(table->FieldNamed("I")->ReadAsInteger(), 17);
    EXPECT_EQ(table->FieldNamed("F")->ReadAsVariant().VarType(), varDouble);
    EXPECT_EQ(table->FieldNamed("B")->ReadAsVariant().VarType(), varBoolean);
    table->FieldNamed("I")->WriteAsVariant(Variant::Null());
    EXPECT_TRUE(table->FieldNamed("I")->IsNull());
    EXPECT_THROW(table->FieldNamed("I")->WriteAsVariant(Variant("seven")), EConvertError);
}

TEST(FieldConversions, ValuesOutsideTheFieldAreRefusedWithoutTouchingTheRecord) {
    struct Case {
        const char* field;
        const char* good;
        const char* bad;
    };
    for (const Case& c : {Case{"SI", "-5", "40000"}, Case{"W", "7", "-1"}, Case{"I", "1", "3000000000"},
                          Case{"I", "1", "12abc"}, Case{"B", "T", "maybe"}, Case{"D", "01.02.2001", "31.02.2001"}}) {
        SCOPED_TRACE(std::string(c.field) + " <- " + c.bad);
        FormatGuard formats;
        auto table = AllKinds();
        table->OpenDataSet();
        table->BeginEdit();
        TField* field = table->FieldNamed(c.field);
        field->WriteAsString(c.good);
        AnsiString before = field->ReadAsString();
        EXPECT_ANY_THROW(field->WriteAsString(c.bad));
        EXPECT_EQ(field->ReadAsString(), before);
    }
}

TEST(FieldConversions, RangeOfANumericFieldIsCheckedOnWrite) {
    auto table = AllKinds();
    table->OpenDataSet();
    auto* integer = static_cast<TIntegerField*>(table->FieldNamed("I"));
    auto* real = static_cast<TFloatField*>(table->FieldNamed("F"));
    integer->SetRange(-99, 99);
    real->SetRange(-999.99, 999.99);
    table->BeginEdit();
    integer->WriteAsInteger(99);
    EXPECT_THROW(integer->WriteAsInteger(100), EDatabaseError);
    real->WriteAsFloat(-999.99);
    EXPECT_THROW(real->WriteAsFloat(1000), EDatabaseError);
    EXPECT_EQ(integer->ReadAsInteger(), 99);
    EXPECT_DOUBLE_EQ(real->ReadAsFloat(), -999.99);
    integer->SetRange(0, 0);  // no range at all
    integer->WriteAsInteger(123456);
    EXPECT_EQ(integer->ReadAsInteger(), 123456);
}

TEST(FieldConversions, FieldsOfTheWrongKindRefuseForeignAccess) {
    auto table = AllKinds();
    table->OpenDataSet();
    table->BeginEdit();
    EXPECT_THROW(table->FieldNamed("D")->WriteAsInteger(3), EDatabaseError);
    EXPECT_THROW(table->FieldNamed("M")->ReadAsDateTime(), EDatabaseError);
    EXPECT_THROW(table->FieldNamed("B")->WriteAsDateTime(1.0), EDatabaseError);
}

TEST(FieldEvents, ValidateAndChangeSurroundAWrite) {
    auto table = AllKinds();
    table->OpenDataSet();
    std::vector<AnsiString> events;
    TField* field = table->FieldNamed("I");
    field->OnValidate = [&](TField&) { events.push_back("validate"); };
    field->OnChange = [&](TField& f) { events.push_back("change " + f.ReadAsString()); };
    table->BeginEdit();
    field->WriteAsInteger(5);
    EXPECT_EQ(events, (std::vector<AnsiString>{"validate", "change 5"}));
    field->OnValidate = [](TField&) { throw EDatabaseError("refused"); };
    EXPECT_THROW(field->WriteAsInteger(6), EDatabaseError);
    EXPECT_EQ(field->ReadAsInteger(), 5);
    field->OnValidate = nullptr;
    field->OnChange = nullptr;
}

TEST(BlobFields, WrittenThroughStreamsKeptByPostDroppedByCancel) {
    auto table = AllKinds();
    table->OpenDataSet();
    auto* memo = static_cast<TBlobField*>(table->FieldNamed("M"));
    EXPECT_TRUE(memo->IsBlob());
    EXPECT_THROW(memo->WriteAsString("outside an edit"), EDatabaseError);
    table->BeginEdit();
    memo->WriteAsString("first");
    EXPECT_TRUE(table->Modified());
    table->PostChanges();
    EXPECT_EQ(table->Stored(0, "M").AsString(), "first");
    EXPECT_EQ(memo->BlobSize(), 5);

    table->BeginEdit();
    memo->WriteAsString("second");
    EXPECT_EQ(memo->ReadAsString(), "second");
    table->CancelChanges();
    EXPECT_EQ(memo->ReadAsString(), "first");

    table->BeginEdit();
    TMemoryStream source;
    source.WriteBuffer("streamed", 8);
    source.SetPosition(0);
    static_cast<TBlobField*>(table->FieldNamed("BL"))->LoadFromStream(source);
    table->PostChanges();
    TMemoryStream target;
    static_cast<TBlobField*>(table->FieldNamed("BL"))->SaveToStream(target);
    EXPECT_EQ(AnsiString(static_cast<const TCustomMemoryStream&>(target).Memory(), 8), "streamed");
}

TEST(FieldDefaults, EveryStorageTypeGetsItsFieldClass) {
    struct Case {
        TFieldType type;
        const char* className;
        int dataSize;
    };
    for (const Case& c : {Case{ftString, "TStringField", 21}, Case{ftFixedChar, "TStringField", 21},
                          Case{ftSmallint, "TSmallintField", 2}, Case{ftWord, "TWordField", 2},
                          Case{ftInteger, "TIntegerField", 4}, Case{ftAutoInc, "TAutoIncField", 4},
                          Case{ftLargeint, "TLargeintField", 8}, Case{ftBoolean, "TBooleanField", 2},
                          Case{ftFloat, "TFloatField", 8}, Case{ftCurrency, "TCurrencyField", 8},
                          Case{ftBCD, "TBCDField", 8}, Case{ftDate, "TDateField", 4}, Case{ftTime, "TTimeField", 4},
                          Case{ftDateTime, "TDateTimeField", 8}, Case{ftBytes, "TBytesField", 16},
                          Case{ftVarBytes, "TVarBytesField", 18}, Case{ftMemo, "TMemoField", 0},
                          Case{ftGraphic, "TGraphicField", 0}, Case{ftOraBlob, "TBlobField", 0},
                          Case{ftADT, "TADTField", 0}, Case{ftReference, "TReferenceField", 8}}) {
        std::unique_ptr<TField> field = DefaultFieldForType(c.type);
        ASSERT_TRUE(field) << c.className;
        EXPECT_EQ(field->ClassName(), c.className);
        EXPECT_EQ(field->DataType(), c.type);
        if (c.type != ftReference || sizeof(void*) == 8) {
            EXPECT_EQ(field->DataSize(), c.dataSize) << c.className;
        }
    }
    EXPECT_FALSE(DefaultFieldForType(ftUnknown));
}

TEST(FieldDefaults, FieldClassesAreKnownToFormDescriptions) {
    RegisterFieldClasses();
    const TClassInfo& info = GetComponentClass("TFloatField");
    auto owner = NewUnownedComponent<TMemoryTable>();
    TComponent* made = info.CreateOwned(*owner);
    made->SetPropertyValue("FieldName", Variant("ID эмитента"));
    EXPECT_EQ(static_cast<TField*>(made)->FieldName(), "ID эмитента");
    EXPECT_EQ(static_cast<TField*>(made)->DataType(), ftFloat);
}
