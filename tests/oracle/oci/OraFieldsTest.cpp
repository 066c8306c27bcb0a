// The Oracle components' field classes and the field class chosen for each field type.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "oracle/oci/OraFields.h"
#include "platform/Streams.h"
#include "tests/oracle/oci/NestedFixtures.h"

namespace oracle {
namespace {

using namespace platform;
using test::FieldSpec;
using test::MarkNotNull;
using test::OraMemDataSet;

std::string ClassOf(TFieldType type) {
    std::unique_ptr<TField> field = OraFieldForType(type);
    return field ? field->ClassName() : "";
}

TEST(OraFieldForType, EveryFieldTypeGetsItsClass) {
    struct Case {
        TFieldType type;
        const char* className;
    };
    const Case cases[] = {
        {ftUnknown, ""}, {ftString, "TStringField"}, {ftSmallint, "TSmallintField"},
        {ftInteger, "TIntegerField"}, {ftWord, "TWordField"}, {ftBoolean, "TBooleanField"},
        {ftFloat, "TFloatField"}, {ftCurrency, "TCurrencyField"}, {ftBCD, "TBCDField"},
        {ftDate, "TDateField"}, {ftTime, "TTimeField"}, {ftDateTime, "TDateTimeField"},
        {ftBytes, "TBytesField"}, {ftVarBytes, "TVarBytesField"}, {ftAutoInc, "TAutoIncField"},
        {ftBlob, "TBlobField"}, {ftMemo, "TMemoField"}, {ftGraphic, "TGraphicField"},
        {ftFmtMemo, "TBlobField"}, {ftParadoxOle, "TBlobField"}, {ftDBaseOle, "TBlobField"},
        {ftTypedBinary, "TBlobField"}, {ftCursor, "TCursorField"}, {ftFixedChar, "TStringField"},
        {ftWideString, ""}, {ftLargeint, "TLargeintField"}, {ftADT, "TADTField"},
        {ftArray, "TArrayField"}, {ftReference, "TOraReferenceField"}, {ftDataSet, "TOraDataSetField"},
        {ftOraBlob, "TBlobField"}, {ftOraClob, "TMemoField"},
        // The platform has no classes for these kinds.
        {ftVariant, ""}, {ftInterface, ""}, {ftIDispatch, ""}, {ftGuid, ""}, {ftTimeStamp, ""}, {ftFMTBcd, ""},
        {FieldTypeBFile, "TBFileField"}, {FieldTypeLabel, "TLabelField"},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassOf(c.type), c.className) << "field type " << int(c.type);
}

TEST(OraFieldForType, FieldsKeepTheKindOfTheirType) {
    // Blob kinds sharing a class keep their own type; a fixed-width text stays fixed.
    for (TFieldType type : {ftFmtMemo, ftParadoxOle, ftOraBlob, ftOraClob, ftFixedChar})
        EXPECT_EQ(OraFieldForType(type)->DataType(), type) << int(type);
    EXPECT_EQ(OraFieldForType(ftCursor)->DataType(), ftCursor);
    EXPECT_EQ(OraFieldForType(FieldTypeBFile)->DataType(), FieldTypeBFile);
    EXPECT_EQ(OraFieldForType(FieldTypeLabel)->DataType(), FieldTypeLabel);
}

TEST(OraFieldClasses, RegisteredForFormsAndRemovedAgain) {
    RegisterOraFieldClasses();
    for (const char* name : {"TCursorField", "TBFileField", "TOraDataSetField", "TOraReferenceField"}) {
        const TClassInfo* info = FindComponentClass(name);
        ASSERT_NE(info, nullptr) << name;
        EXPECT_TRUE(info->CanCreate()) << name;
    }
    const TPropertyInfo* autoRefresh = FindComponentClass("TBFileField")->FindProperty("AutoRefresh");
    ASSERT_NE(autoRefresh, nullptr);
    TBFileField field;
    EXPECT_TRUE(autoRefresh->Read(field).AsBoolean());
    autoRefresh->Write(field, Variant(false));
    EXPECT_FALSE(field.AutoRefresh());
    UnregisterOraFieldClasses();
    EXPECT_EQ(FindComponentClass("TBFileField"), nullptr);
}

// A dataset with a BFILE, a label, a nested table and a REF column: the first record
// holds nothing, the second a value in each.
class OraFieldValues : public ::testing::Test {
protected:
    void SetUp() override {
        ds.OpenWith({[](TData&, void*) {},
                     [](TData& data, void* record) {
                         for (const char* name : {"ID", "DOC", "ITEMS", "OWNER"}) MarkNotNull(data, record, name);
                         const int32_t label = 7;
                         data.PutField(data.FieldByName("LBL")->FieldNo, record, &label);
                     }});
    }
    OraMemDataSet ds{{{"ID", dtInteger}, {"DOC", dtBFile}, {"LBL", dtLabel}, {"ITEMS", dtTable},
                      {"OWNER", dtReference}}};
};

TEST_F(OraFieldValues, DescriptionsAreUpperCasedWhenTheFieldHoldsAValue) {
    ASSERT_NE(dynamic_cast<TBFileField*>(ds.FieldNamed("DOC")), nullptr);
    struct Expected {
        const char* doc;
        const char* items;
        const char* owner;
        const char* id;  // the framework's description, from the class name
    };
    for (const Expected& e : {Expected{"(BFile)", "(DataSet)", "(Reference)", "(Integer)"},
                              Expected{"(BFILE)", "(DATASET)", "(REFERENCE)", "(INTEGER)"}}) {
        EXPECT_EQ(ds.FieldNamed("DOC")->FieldClassDescription(), e.doc);
        EXPECT_EQ(ds.FieldNamed("ID")->FieldClassDescription(), e.id);
        EXPECT_EQ(ds.FieldNamed("ITEMS")->ReadAsString(), e.items);
        EXPECT_EQ(ds.FieldNamed("OWNER")->ReadAsString(), e.owner);
        ds.MoveToNext();
    }
    // Without a dataset nothing is held.
    EXPECT_EQ(TBFileField().FieldClassDescription(), "(BFile)");
}

TEST_F(OraFieldValues, ABFileRefusesEveryChange) {
    ds.MoveToLast();
    ds.BeginEdit();
    TField* doc = ds.FieldNamed("DOC");
    EXPECT_FALSE(doc->FieldIsModifiable());
    const std::vector<std::pair<const char*, std::function<void()>>> writes = {
        {"text", [&] { doc->WriteAsString("new"); }},
        {"clear", [&] { doc->Clear(); }},
        {"variant", [&] { doc->SetValue(Variant(AnsiString("new"))); }},
        {"null variant", [&] { doc->SetValue(Variant::Null()); }},
        {"stream", [&] {
             TMemoryStream source;
             source.WriteBuffer("abc", 3);
             source.SetPosition(0);
             static_cast<TBlobField*>(doc)->LoadFromStream(source);
         }},
        {"blob stream", [&] { ds.OpenBlobStream(doc, bmWrite); }},
    };
    for (const auto& [what, write] : writes) {
        try {
            write();
            ADD_FAILURE() << what << " was accepted";
        } catch (const EDatabaseError& e) {
            EXPECT_STREQ(e.what(), "Field 'DOC' cannot be modified") << what;
        }
    }
    EXPECT_FALSE(ds.Modified());
    ds.CancelChanges();
    EXPECT_FALSE(doc->IsNull());
    // Other kinds of the same dataset stay writable.
    EXPECT_TRUE(ds.FieldNamed("ITEMS")->FieldIsModifiable());
}

TEST_F(OraFieldValues, ABFileReadsAsAPlainBlobWhateverIsSet) {
    auto* doc = static_cast<TBlobField*>(ds.FieldNamed("DOC"));
    EXPECT_EQ(doc->BlobType(), ftBlob);
    EXPECT_EQ(doc->DataType(), FieldTypeBFile);
    doc->SetBlobType(ftMemo);
    EXPECT_EQ(doc->BlobType(), ftBlob);
    EXPECT_EQ(doc->DataType(), FieldTypeBFile);
    EXPECT_TRUE(static_cast<TBFileField*>(doc)->AutoRefresh());
}

TEST_F(OraFieldValues, ALabelNeverHasAValue) {
    TField* label = ds.FieldNamed("LBL");
    ASSERT_NE(dynamic_cast<TLabelField*>(label), nullptr);
    ds.MoveToLast();
    EXPECT_FALSE(label->IsNull());  // the store holds a number
    EXPECT_TRUE(label->ReadAsVariant().IsNull());
    EXPECT_TRUE(label->Value().IsNull());
    EXPECT_TRUE(TLabelField().ReadAsVariant().IsNull());
}

}  // namespace
}  // namespace oracle
