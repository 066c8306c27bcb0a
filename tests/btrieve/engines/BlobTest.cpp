// Blob values: the blob text form, memo and binary fields kept inside their record,
// table-definition resources in place of the dictionary, and the registration of
// created tables in the dictionary.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "btrieve/engines/BlobText.h"
#include "btrieve/engines/BtrieveEngineError.h"
#include "btrieve/engines/TblResReader.h"
#include "tests/btrieve/engines/EngineTestSupport.h"

using namespace btrieve;
using namespace btrtest;
using Bytes = std::vector<uint8_t>;

namespace {

std::string Encode(const Bytes& bytes) {
    platform::TMemoryStream source, text;
    if (!bytes.empty()) source.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    EncodeBlobText(source, text);
    return std::string(text.Memory(), static_cast<size_t>(text.Size()));
}

Bytes Decode(const std::string& text) {
    platform::TMemoryStream source, bytes;
    source.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
    DecodeBlobText(source, bytes);
    return Bytes(bytes.Memory(), bytes.Memory() + bytes.Size());
}

TEST(BlobText, EncodesAndDecodes) {
    const std::pair<Bytes, std::string> cases[] = {
        {{}, "###"},
        {{0x4D, 0x61, 0x6E}, "###TWFu"},
        {{0x4D, 0x61}, "###TWE="},
        {{0x4D}, "###TQ=="},
        {Bytes(6, 0), "###AAAA!"},
        {Bytes(12, 0), "###AAAA!!!"},
        {{1, 2, 3, 1}, "###AQIDAQ=="},
        {{1, 2, 3, 1, 2, 3, 9}, "###AQID!CQ=="},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(Encode(bytes), text);
        EXPECT_EQ(Decode(text), bytes) << text;
    }
    const std::string large = Encode(Bytes(300, 0));
    EXPECT_EQ(large, "###AAAA" + std::string(99, '!'));
    try {
        Decode("AAAA");
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), 0x2F05);
    }
    EXPECT_THROW(Decode("###A*AA"), platform::EConvertError);
    // A group cut short by the end of the text carries what it has, nothing more.
    EXPECT_EQ(Decode("###TWFuTW"), (Bytes{0x4D, 0x61, 0x6E, 0x4D}));
    EXPECT_EQ(MapByteBase64(63), '/');
    EXPECT_EQ(MapBase64toByte('+'), 62);
    EXPECT_THROW(MapByteBase64(64), platform::EConvertError);
}

class BlobFieldTest : public EngineFixture {
protected:
    std::string Tables() const override {
        return std::string(kPeopleTables) +
               "table Docs DOCS.DAT\n"
               "field ID integer 4\n"
               "field MEMO 12 10\n"
               "field RAW222 string 260\n"
               "key ID\n"
               "row 1 null null\n";
    }
    // The blob's bytes as the first record of the table holds them.
    Bytes StoredBlob(TBaseTable* table, uint16_t field) {
        auto record = Record(table);
        table->SetToBegin();
        table->GetNextRecord(0, record.data(), nullptr);
        table->OpenBlob(record.data(), field, 0);
        uint32_t size = 0;
        table->GetBlobSize(record.data(), field, size);
        Bytes bytes(size + 1u, 0);
        uint32_t read = 0;
        if (size > 0) {
            try {
                table->GetBlob(record.data(), field, 0, size, bytes.data(), read);
            } catch (const EQuillonEngineError&) {
            }
        }
        table->FreeBlob(record.data(), field);
        bytes.resize(read);
        return bytes;
    }
};

TEST_F(BlobFieldTest, MemoStaysInsideItsField) {
    TBaseTable* docs = Open("Docs");
    auto record = Record(docs);
    docs->SetToBegin();
    docs->GetNextRecord(0, record.data(), nullptr);
    docs->OpenBlob(record.data(), 2, 0);
    docs->PutBlob(record.data(), 2, 0, 12, "abcdefghijkl");
    uint32_t size = 0;
    docs->GetBlobSize(record.data(), 2, size);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(record[4 + 9], 0);
    char text[16] = {};
    uint32_t read = 0;
    try {
        docs->GetBlob(record.data(), 2, 0, sizeof text, text, read);
        FAIL() << "a memo read ends with the end of the blob";
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), 0x2207);
    }
    EXPECT_EQ(read, 9u);
    EXPECT_STREQ(text, "abcdefghi");
    // A put that starts beyond the field is refused instead of writing past it.
    try {
        docs->PutBlob(record.data(), 2, 12, 3, "xyz");
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), 0x270E);
    }
    docs->ModifyRecord(record.data(), true);
    docs->SetToBegin();
    auto again = Record(docs);
    docs->GetNextRecord(0, again.data(), nullptr);
    docs->GetBlobSize(again.data(), 2, size);
    EXPECT_EQ(size, 9u);
    // Asking the size leaves the record as it was.
    EXPECT_EQ(again, record);
}

TEST_F(BlobFieldTest, BinaryBlobsAsTextInTheirField) {
    TBaseTable* docs = Open("Docs");
    auto record = Record(docs);
    docs->SetToBegin();
    docs->GetNextRecord(0, record.data(), nullptr);
    docs->OpenBlob(record.data(), 3, 0);
    const Bytes zeros(300, 0);
    docs->PutBlob(record.data(), 3, 0, static_cast<uint32_t>(zeros.size()), zeros.data());
    uint32_t size = 0;
    docs->GetBlobSize(record.data(), 3, size);
    EXPECT_EQ(size, 300u);  // from the stream, before any update
    docs->ModifyRecord(record.data(), true);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.data()) + 14), "###AAAA" + std::string(99, '!'));

    auto again = Record(docs);
    docs->SetToBegin();
    docs->GetNextRecord(0, again.data(), nullptr);
    docs->OpenBlob(again.data(), 3, 0);
    docs->GetBlobSize(again.data(), 3, size);
    EXPECT_EQ(size, 300u);
    Bytes back(300, 0xEE);
    uint32_t read = 0;
    EXPECT_THROW(docs->GetBlob(again.data(), 3, 0, 300, back.data(), read), EQuillonEngineError);
    EXPECT_EQ(read, 300u);
    EXPECT_EQ(back, zeros);
    // An offset beyond the field is a wrong offset, not the end of the blob.
    const uint16_t fieldLength = static_cast<TBtrTable*>(docs)->FieldCache().Item(3).Desc().length;
    try {
        docs->GetBlob(again.data(), 3, fieldLength, 10, back.data(), read);
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), 0x270E);
    }

    // Bytes whose text does not fit the field stop the update.
    Bytes varied(300);
    for (size_t i = 0; i < varied.size(); ++i) varied[i] = static_cast<uint8_t>(i * 7);
    docs->PutBlob(again.data(), 3, 0, 300, varied.data());
    try {
        docs->ModifyRecord(again.data(), true);
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), 0x272D);
    }
}

// A graphic blob with a field after it, beside the documents.
class GraphicBlobTest : public BlobFieldTest {
protected:
    std::string Tables() const override {
        return BlobFieldTest::Tables() +
               "table Pics PICS.DAT\n"
               "field ID integer 4\n"
               "field PIC111 string 300\n"
               "field TAIL integer 4\n"
               "key ID\n"
               "row 1 null 5\n";
    }
};

TEST_F(GraphicBlobTest, AnEmptiedBinaryOrGraphicBlobStaysEmpty) {
    struct Case {
        const char* table;
        uint16_t field;  // RAW222 is the last field of its record, PIC111 is not
    };
    for (const Case c : {Case{"Docs", 3}, Case{"Pics", 2}}) {
        SCOPED_TRACE(c.table);
        TBaseTable* table = Open(c.table);
        auto record = Record(table);
        table->SetToBegin();
        table->GetNextRecord(0, record.data(), nullptr);
        table->OpenBlob(record.data(), c.field, 0);
        table->PutBlob(record.data(), c.field, 0, 3, "abc");
        table->ModifyRecord(record.data(), true);
        ASSERT_EQ(StoredBlob(table, c.field), (Bytes{'a', 'b', 'c'}));

        table->SetToBegin();
        table->GetNextRecord(0, record.data(), nullptr);
        table->OpenBlob(record.data(), c.field, 0);
        table->TruncateBlob(record.data(), c.field, 0);
        table->ModifyRecord(record.data(), true);
        EXPECT_EQ(StoredBlob(table, c.field), Bytes{});
        auto again = Record(table);
        table->SetToBegin();
        table->GetNextRecord(0, again.data(), nullptr);
        if (c.field == 2) EXPECT_EQ(Field<int32_t>(table, 3, again), 5);
    }
}

// A blob opened for a change and changed in part, without being read first (as a
// read-write blob stream does): what the change does not touch stays as stored.
TEST_F(GraphicBlobTest, PartialChangesKeepTheRestOfTheStoredBlob) {
    using Change = std::function<void(TBaseTable*, uint8_t*, uint16_t)>;
    const struct {
        const char* name;
        Change change;
        Bytes stored;
    } cases[] = {
        {"write inside", [](TBaseTable* t, uint8_t* r, uint16_t f) { t->PutBlob(r, f, 2, 2, "XY"); },
         {'a', 'b', 'X', 'Y', 'e', 'f'}},
        {"write after the end", [](TBaseTable* t, uint8_t* r, uint16_t f) { t->PutBlob(r, f, 6, 2, "gh"); },
         {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}},
        {"truncation", [](TBaseTable* t, uint8_t* r, uint16_t f) { t->TruncateBlob(r, f, 3); }, {'a', 'b', 'c'}},
        {"truncation beyond the end", [](TBaseTable* t, uint8_t* r, uint16_t f) { t->TruncateBlob(r, f, 10); },
         {'a', 'b', 'c', 'd', 'e', 'f'}},
    };
    for (const auto& c : cases) {
        for (const auto& [tableName, field] : {std::pair<const char*, uint16_t>{"Docs", 3}, {"Pics", 2}}) {
            SCOPED_TRACE(std::string(c.name) + " in " + tableName);
            TBaseTable* table = Open(tableName);
            auto record = Record(table);
            table->SetToBegin();
            table->GetNextRecord(0, record.data(), nullptr);
            table->OpenBlob(record.data(), field, 0);
            table->PutBlob(record.data(), field, 0, 6, "abcdef");
            table->ModifyRecord(record.data(), true);

            table->SetToBegin();
            table->GetNextRecord(0, record.data(), nullptr);
            table->OpenBlob(record.data(), field, 0);
            c.change(table, record.data(), field);
            table->ModifyRecord(record.data(), true);
            EXPECT_EQ(StoredBlob(table, field), c.stored);
            db->Cursors().FreeAll();
        }
    }
}

TEST_F(BlobFieldTest, ResourceDefinitionsReplaceTheDictionary) {
    auto* people = static_cast<TBtrTable*>(Open("PEOPLE.DAT;RES:PEOPLEDEF"));
    EXPECT_TRUE(people->HasResourceDef());
    ASSERT_EQ(people->FieldCache().Count(), 2);
    EXPECT_EQ(people->FieldCache().Item(2).FieldName(), "NAME");
    EXPECT_EQ(Ids(people), (std::vector<int32_t>{1, 2, 3, 4}));

    TBaseTable* fields = nullptr;
    db->OpenFieldList("PEOPLE.DAT;RES:PEOPLEDEF", nullptr, false, fields);
    uint32_t count = 0;
    fields->GetRecordCount(count);
    EXPECT_EQ(count, 2u);
    TEngineFieldDesc desc{};
    fields->GetNextRecord(0, reinterpret_cast<uint8_t*>(&desc), nullptr);
    EXPECT_STREQ(desc.name, "ID");
    FreeHandle(fields);

    TBtrTable scratch(db, nullptr, 0, 0, "X", nullptr);
    TTblResReader reader(scratch);
    EXPECT_FALSE(reader.Read("OLDDEF"));
    EXPECT_FALSE(reader.Read("CUTDEF"));
    EXPECT_FALSE(reader.Read("NOSUCHDEF"));
}

TEST_F(BlobFieldTest, CreatedTablesJoinTheDictionary) {
    TwoFieldTable table("PRICES.DAT", "PRICE", TypeDecimal, 5, 2);
    TTableCreateDesc& desc = table.desc;
    db->CreateTable(false, desc);
    db->Cursors().FreeAll();

    TBaseTable* prices = Open("PRICES");
    ASSERT_EQ(prices->FieldCache().Count(), 2);
    EXPECT_EQ(prices->FieldCache().Item(2).Desc().units2, 2);
    auto record = Record(prices);
    prices->InitRecord(record.data());
    const int32_t code = 1;
    const double price = 12.34;
    prices->PutField(1, record.data(), &code);
    prices->PutField(2, record.data(), &price);
    prices->InsertRecord(0, record.data());
    prices->SetToBegin();
    prices->GetNextRecord(0, record.data(), nullptr);
    EXPECT_DOUBLE_EQ(Field<double>(prices, 2, record), 12.34);
    // The new table took the id after the last one.
    EXPECT_EQ(reinterpret_cast<uint8_t*>(static_cast<TBtrTable*>(prices)->ExtraBuf())[0], 23);

    // Inside the caller's transaction the registration joins it: an abort leaves no entry.
    db->Cursors().FreeAll();
    TwoFieldTable later("LATER.DAT", "NOTE", TypeString, 10);
    db->BeginTran(0);
    EXPECT_NO_THROW(db->CreateTable(false, later.desc));
    EXPECT_EQ(db->TranState(), 1);
    db->Cursors().FreeAll();
    db->EndTran(2);
    try {
        Open("LATER");
        ADD_FAILURE() << "an aborted registration left its table";
    } catch (const EBtrieveEngineError& e) {
        EXPECT_EQ(e.Status(), 204);
    }
    db->Cursors().FreeAll();
    TwoFieldTable kept("KEPT.DAT", "NOTE", TypeString, 10);
    db->BeginTran(0);
    db->CreateTable(false, kept.desc);
    db->Cursors().FreeAll();
    db->EndTran(0);
    EXPECT_EQ(Open("KEPT")->FieldCache().Count(), 2);
}

}  // namespace
