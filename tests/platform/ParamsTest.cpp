// Statement parameters: typing by value, lookup by name, copying values by name.
#include <gtest/gtest.h>

#include "MemoryTable.h"
#include "platform/Params.h"

using namespace platform;

TEST(Params, ValueGivesTheTypeOnlyWhileItIsUnknown) {
    struct Case {
        Variant value;
        TFieldType type;
    };
    for (const Case& c : {Case{Variant(int32_t{5}), ftInteger}, Case{Variant("text"), ftString},
                          Case{Variant(2.5), ftFloat}, Case{Variant(true), ftBoolean},
                          Case{Variant::FromDateTime(36526.0), ftDateTime}, Case{Variant(int64_t{1} << 40), ftLargeint},
                          Case{Variant::Null(), ftUnknown}}) {
        TParams params;
        TParam& p = params.AddParam();
        p.SetValue(c.value);
        EXPECT_EQ(p.DataType(), c.type) << c.value.AsString();
        EXPECT_TRUE(p.Bound());
        p.SetValue(Variant("later text"));  // the type stays once known
        if (c.type != ftUnknown) {
            EXPECT_EQ(p.DataType(), c.type);
        }
    }
}

TEST(Params, TypedWritersSetTypeAndClearKeepsIt) {
    TParams params;
    TParam& p = params.CreateParam(ftUnknown, "WHEN", ptInput);
    p.SetAsDateTime(36526.0);
    EXPECT_EQ(p.DataType(), ftDateTime);
    EXPECT_DOUBLE_EQ(p.AsDateTime(), 36526.0);
    p.SetAsInteger(3);
    EXPECT_EQ(p.DataType(), ftInteger);
    p.Clear();
    EXPECT_TRUE(p.IsNull());
    EXPECT_FALSE(p.Bound());
    EXPECT_EQ(p.DataType(), ftInteger);
    EXPECT_EQ(p.AsString(), "");
}

TEST(Params, FoundByNameWithoutRegardToCase) {
    TParams params;
    params.CreateParam(ftString, "Name", ptInput);
    params.CreateParam(ftInteger, "ID", ptInputOutput);
    EXPECT_EQ(params.FindParam("name"), &params.Items(0));
    EXPECT_EQ(params.FindParam("none"), nullptr);
    try {
        params.ParamByName("none");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Parameter 'none' not found");
    }
    params.SetParamValues("id;NAME", Variant::ArrayOf({Variant(int32_t{7}), Variant("x")}));
    Variant both = params.ParamValues("NAME; ID");
    EXPECT_EQ(both[0].AsString(), "x");
    EXPECT_EQ(both[1].AsInteger(), 7);
}

TEST(Params, AssignValuesCopiesOnlySameNamedParameters) {
    TParams target, source;
    target.CreateParam(ftUnknown, "A", ptInput);
    target.CreateParam(ftString, "B", ptInput).SetAsString("kept");
    source.CreateParam(ftInteger, "a", ptInput).SetAsInteger(1);
    source.CreateParam(ftInteger, "C", ptInput).SetAsInteger(3);
    target.AssignValues(source);
    EXPECT_EQ(target.ParamByName("A").AsInteger(), 1);
    EXPECT_EQ(target.ParamByName("A").DataType(), ftInteger);
    EXPECT_EQ(target.ParamByName("B").AsString(), "kept");
    EXPECT_EQ(target.FindParam("C"), nullptr);

    TParams copy;
    copy.CopyFromSource(&target);
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.Items(1).Name(), "B");
    EXPECT_EQ(copy.Items(1).AsString(), "kept");
}

TEST(Params, AssignFieldTakesNameTypeAndValue) {
    auto table = NewUnownedComponent<testing_support::TMemoryTable>(
        std::vector<testing_support::Column>{{"CODE", ftString, 6}});
    table->AddRow({Variant("X1")});
    table->OpenDataSet();
    TParams params;
    TParam& p = params.AddParam();
    p.AssignField(*table->FieldNamed("CODE"));
    EXPECT_EQ(p.Name(), "CODE");
    EXPECT_EQ(p.DataType(), ftString);
    EXPECT_EQ(p.Size(), 6);
    EXPECT_EQ(p.AsString(), "X1");
}
