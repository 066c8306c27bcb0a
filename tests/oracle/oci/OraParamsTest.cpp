#include <gtest/gtest.h>

#include "oracle/core/Blob.h"
#include "oracle/oci/OraDataTypes.h"
#include "oracle/oci/OraParams.h"
#include "platform/Streams.h"

namespace oracle {
namespace {

using platform::Variant;
using namespace platform;

class OraParamsTest : public ::testing::Test {
protected:
    TOraParam& Add(TFieldType type, const char* name = "P") {
        auto& param = static_cast<TOraParam&>(params_.AddParam());
        param.SetName(name);
        param.SetDataType(type);
        return param;
    }
    TOraParams params_;
};

TEST(OraTypeMappings, BothDirections) {
    const struct {
        TDataType code;
        TFieldType type;
    } toField[] = {{dtCursor, ftCursor},    {dtOraBlob, ftOraBlob}, {dtOraClob, ftOraClob}, {dtBFile, FieldTypeBFile},
                   {dtLabel, FieldTypeLabel}, {dtFixedChar, ftFixedChar}, {33, ftUnknown},     {dtString, ftString},
                   {dtInteger, ftInteger},  {dtMemo, ftMemo}};
    for (const auto& c : toField) EXPECT_EQ(OraDataTypeToFieldType(c.code), c.type) << c.code;
    const struct {
        TFieldType type;
        TDataType code;
    } toCode[] = {{ftString, 1},  {ftSmallint, 4}, {ftLargeint, 4}, {ftBoolean, 8},       {ftCurrency, 5},
                  {ftDate, 6},    {ftBlob, 12},    {ftMemo, 13},    {ftOraBlob, 23},      {ftOraClob, 24},
                  {ftCursor, 22}, {ftFixedChar, 32}, {ftADT, 14},   {ftReference, 15},    {ftArray, 16},
                  {ftDataSet, 17}, {FieldTypeBFile, 25}, {FieldTypeLabel, 31}, {ftGraphic, 0}, {ftUnknown, 0}};
    for (const auto& c : toCode) EXPECT_EQ(OraFieldTypeToDataType(c.type), c.code) << c.type;
}

TEST_F(OraParamsTest, LengthMakesAnArrayIndexedFromOne) {
    TOraParam& param = Add(ftInteger);
    EXPECT_EQ(param.Length(), 1);
    param.SetLength(3);
    ASSERT_TRUE(param.TParam::Value().IsArray());
    EXPECT_EQ(param.TParam::Value().LowBound(), 1);
    EXPECT_EQ(param.Length(), 3);
    EXPECT_TRUE(param.TParam::Value()[3].IsClear());
    Variant values = param.TParam::Value();
    values[1] = Variant(int32_t{7});
    values[2] = Variant(int32_t{8});
    param.TParam::SetValue(values);
    param.SetLength(4);  // elements kept
    EXPECT_EQ(param.TParam::Value()[2].AsInteger(), 8);
    param.SetLength(1);
    EXPECT_EQ(param.Value().AsInteger(), 7);
    EXPECT_EQ(param.Length(), 1);
}

TEST_F(OraParamsTest, TableAndLengthRefuseUnsuitedTypes) {
    TOraParam& untyped = Add(ftUnknown, "Loose");
    try {
        untyped.SetLength(2);
        ADD_FAILURE() << "length without a type";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Unknown type of parameter Loose");
    }
    TOraParam& blob = Add(ftBlob, "B");
    try {
        blob.SetTable(true);
        ADD_FAILURE() << "blob table";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "This type cannot consist in table");
    }
    EXPECT_FALSE(blob.Table());
    TOraParam& list = Add(ftString, "S");
    list.SetTable(true);
    list.SetLength(2);
    list.SetTable(false);  // the first element stays
    EXPECT_FALSE(list.TParam::Value().IsArray());
}

TEST_F(OraParamsTest, ValueObjectsFollowTheType) {
    TOraParam& param = Add(ftOraClob);
    TSharedObject* lob = param.ValueObject();
    ASSERT_NE(lob, nullptr);
    param.SetValue(Variant(AnsiString("text")));
    EXPECT_EQ(param.ValueAsString(), "text");
    param.SetDataType(ftString);
    EXPECT_EQ(param.ValueObject(), nullptr);
    param.SetDataType(ftOraClob);
    ASSERT_NE(param.ValueObject(), nullptr);
    EXPECT_TRUE(param.ValueIsNull());  // a new, empty object
    param.SetSubDataType(stOraBlob);
    EXPECT_EQ(param.DataType(), ftOraBlob);
    EXPECT_EQ(param.SubDataType(), stOraBlob);
    // A type set through the generic parameter still gets its object.
    TParam& generic = params_.CreateParam(ftMemo, "M", ptInput);
    auto& memo = static_cast<TOraParam&>(generic);
    memo.SetValue(Variant(AnsiString("memo text")));
    EXPECT_EQ(memo.Value().AsString(), "memo text");
    EXPECT_NE(dynamic_cast<TBlob*>(memo.ValueObject()), nullptr);
}

TEST_F(OraParamsTest, NullRules) {
    TOraParam& text = Add(ftString);
    text.SetValue(Variant(AnsiString("")));
    EXPECT_TRUE(text.ValueIsNull());
    text.SetValue(Variant(AnsiString("x")));
    EXPECT_FALSE(text.ValueIsNull());
    TOraParam& memo = Add(ftMemo, "M");
    EXPECT_TRUE(memo.ValueIsNull());
    memo.AssignText("abc");
    EXPECT_FALSE(memo.ValueIsNull());
    memo.ClearValue();
    EXPECT_TRUE(memo.ValueIsNull());
    TOraParam& number = Add(ftInteger, "N");
    EXPECT_TRUE(number.ValueIsNull());
}

TEST_F(OraParamsTest, CopiesShareTheValueObject) {
    TOraParam& source = Add(ftOraBlob, "Src");
    source.SetParamType(ptInput);
    source.SetValue(Variant(AnsiString("first")));
    TOraParams other;
    auto& copy = static_cast<TOraParam&>(other.AddParam());
    copy.CopyFromSource(&source);
    EXPECT_EQ(copy.Name(), "Src");
    EXPECT_EQ(copy.DataType(), ftOraBlob);
    EXPECT_EQ(copy.ValueObject(), source.ValueObject());
    source.SetValue(Variant(AnsiString("second")));
    EXPECT_EQ(copy.ValueAsString(), "second");
    // From a plain parameter a LOB value lands in the object.
    TParams plain;
    TParam& text = plain.CreateParam(ftMemo, "Txt", ptInput);
    text.SetValue(Variant(AnsiString("from plain")));
    auto& fromPlain = static_cast<TOraParam&>(other.AddParam());
    fromPlain.CopyFromSource(&text);
    EXPECT_EQ(fromPlain.ValueAsString(), "from plain");
}

// An object that writes itself to a stream, as a picture does.
class TStreamedPicture : public TPersistent, public IStreamPersist {
public:
    explicit TStreamedPicture(std::string bytes) : bytes_(std::move(bytes)) {}
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream& stream) override {
        stream.StreamWrite(bytes_.data(), static_cast<int32_t>(bytes_.size()));
    }

private:
    std::string bytes_;
};

TEST_F(OraParamsTest, StreamableObjectsGoIntoBlobParametersOnly) {
    const TStreamedPicture picture(std::string("GIF89a\0\x01\x02", 9));
    for (TFieldType type : {ftBlob, ftMemo}) {
        TOraParam& param = Add(type);
        param.CopyFromSource(&picture);
        EXPECT_EQ(param.ValueAsString(), std::string("GIF89a\0\x01\x02", 9)) << type;
    }
    for (TFieldType type : {ftString, ftOraBlob, ftUnknown}) {
        TOraParam& param = Add(type);
        try {
            param.CopyFromSource(&picture);
            ADD_FAILURE() << "copied into type " << type;
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Unsupported data type") << type;
        }
    }
}

TEST_F(OraParamsTest, StringSizeReadsZeroForOtherTypes) {
    TOraParam& param = Add(ftString);
    param.SetSize(30);
    EXPECT_EQ(param.Size(), 30);
    param.SetDataType(ftInteger);
    EXPECT_EQ(param.Size(), 0);
}

// Builds a stored block: little-endian numbers and raw bytes.
class TStoredBlock {
public:
    TStoredBlock& Number(uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) data_ += static_cast<char>((value >> (8 * i)) & 0xFF);
        return *this;
    }
    TStoredBlock& Text(const std::string& text) {
        data_ += text;
        return *this;
    }
    TStoredBlock& Name(const std::string& name) { return Number(static_cast<uint32_t>(name.size()), 1).Text(name); }
    const std::string& Data() const { return data_; }

private:
    std::string data_;
};

TEST_F(OraParamsTest, StoredValuesOfOlderForms) {
    Add(ftUnknown, "N");
    Add(ftUnknown, "S");
    Add(ftUnknown, "Gone");
    TStoredBlock block;
    block.Number(2, 1).Number(3, 2);
    block.Name("N").Number(dtInteger, 2).Number(4, 2).Number(42, 4).Number(0, 1).Number(0, 1).Number(1, 4).Number(ptInput, 1);
    block.Name("S").Number(dtString, 2).Number(20, 4).Number(5, 2).Text("hello").Number(0, 1).Number(0, 1).Number(1, 4).Number(
        ptOutput, 1);
    block.Name("Gone").Number(dtString, 2).Number(10, 4).Number(1, 2).Text("x").Number(1, 1).Number(0, 1).Number(1, 4).Number(
        ptUnknown, 1);
    params_.ReadData(block.Data());
    EXPECT_EQ(params_.ParamByName("N").Value().AsInteger(), 42);
    EXPECT_EQ(params_.ParamByName("N").ParamType(), ptInput);
    EXPECT_EQ(params_.ParamByName("S").Value().AsString(), "hello");
    EXPECT_EQ(params_.ParamByName("S").Size(), 20);
    EXPECT_EQ(params_.ParamByName("S").ParamType(), ptOutput);
    EXPECT_TRUE(params_.ParamByName("Gone").IsNull());
}

TEST_F(OraParamsTest, DamagedStoredBlocksAreReadErrors) {
    Add(ftUnknown, "S");
    auto entry = [](TStoredBlock block, const char* name, uint32_t textLength) {
        block.Name(name).Number(dtString, 2).Number(10, 4).Number(textLength, 2).Text(std::string(textLength, 'a'));
        return block.Number(0, 1).Number(0, 1).Number(1, 4);
    };
    TStoredBlock header;
    header.Number(1, 1).Number(1, 2);
    const std::string good = entry(header, "S", 3).Data();
    const struct {
        std::string data;
        const char* message;
    } cases[] = {
        {good.substr(0, good.size() - 1), "Stream read error"},
        {TStoredBlock().Number(1, 1).Number(0, 2).Data(), "Stream read error"},
        {entry(header, "S", 2047).Data(), "Stream read error"},
        {TStoredBlock(header).Name("S").Number(dtInteger, 2).Number(4, 2).Number(1, 4).Number(0, 1).Number(1, 1).Number(
             0x7FFFFFFF, 4).Data(),
         "Stream read error"},
        {entry(header, "Missing", 1).Data(), "Parameter 'Missing' not found"},
    };
    for (const auto& c : cases) {
        try {
            params_.ReadData(c.data);
            ADD_FAILURE() << c.message;
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    params_.ReadData(good);
    EXPECT_EQ(params_.ParamByName("S").Value().AsString(), "aaa");
}

}  // namespace
}  // namespace oracle
