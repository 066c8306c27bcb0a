#include <gtest/gtest.h>

#include "TestBinding.h"
#include "btrieve/components/DBEngineError.h"
#include "platform/Field.h"

using namespace btrieve;
using namespace testbinding;
using testengine::Row;
using testengine::TTestStore;

namespace {

class BlobStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTestStore::Get().Reset();
        TTestStore::Get().tables["B"] = {Row(1, "one", 1), Row(2, "two", 0)};
        BlobStore() = {};
        BlobStore().blobs[1] = "hello blob world";
        StartBinding();
        table_ = platform::NewUnownedComponent<TTestTable>();
        table_->SetDatabaseName("C:\\DATA");
        table_->SetTableName("B");
        table_->OpenDataSet();
    }
    void TearDown() override {
        table_.reset();
        StopBinding();
    }
    platform::TField& Memo() { return *table_->FieldNamed("FLAG"); }
    std::unique_ptr<platform::TStream> Stream(platform::TBlobStreamMode mode) {
        return table_->OpenBlobStream(&Memo(), mode);
    }
    static AnsiString Read(platform::TStream& stream, int count) {
        AnsiString text(static_cast<size_t>(count), '\0');
        text.resize(static_cast<size_t>(stream.StreamRead(text.data(), count)));
        return text;
    }
    std::unique_ptr<TTestTable> table_;
};

}  // namespace

TEST_F(BlobStreamTest, ReadingTheWholeBlobFillsTheCache) {
    ASSERT_EQ(table_->FieldDefs().Items(2).DataType(), platform::ftMemo);
    {
        auto stream = Stream(platform::bmRead);
        EXPECT_EQ(Read(*stream, 6), "hello ");
        EXPECT_EQ(Read(*stream, 100), "blob world");
    }
    const int reads = BlobStore().reads;
    {
        auto stream = Stream(platform::bmRead);
        auto* blob = dynamic_cast<TQnBlobStream*>(stream.get());
        ASSERT_NE(blob, nullptr);
        EXPECT_TRUE(blob->Cached());
        EXPECT_EQ(Read(*stream, 100), "hello blob world");
        EXPECT_EQ(stream->Reposition(-1, platform::soEnd), 15);
        EXPECT_EQ(Read(*stream, 5), "d");
        // Before the start nothing is read (no bytes from in front of the cached text).
        stream->SetPosition(-4);
        EXPECT_EQ(Read(*stream, 4), "");
    }
    EXPECT_EQ(BlobStore().reads, reads);
    EXPECT_EQ(Memo().ReadAsString(), "hello blob world");
    // A new record read empties the cache.
    table_->MoveToNext();
    table_->MoveToPrior();
    auto stream = Stream(platform::bmRead);
    EXPECT_FALSE(dynamic_cast<TQnBlobStream*>(stream.get())->Cached());
    stream->SetPosition(-4);
    EXPECT_EQ(Read(*stream, 4), "");
}

TEST_F(BlobStreamTest, WritingNeedsEditModeAndReachesTheEngine) {
    try {
        Stream(platform::bmWrite);
        FAIL() << "written outside edit mode";
    } catch (const platform::EDatabaseError& error) {
        EXPECT_EQ(error.Message(), "Dataset not in edit or insert mode");
    }
    table_->MoveToLast();
    table_->BeginEdit();
    {
        auto stream = Stream(platform::bmWrite);
        EXPECT_EQ(stream->StreamWrite("abc", 3), 3);
    }
    EXPECT_TRUE(Memo().Modified());
    table_->PostChanges();
    EXPECT_EQ(BlobStore().blobs[2], "abc");
    EXPECT_EQ(TTestStore::Get().tables["B"][1].flag, 1);
    // Write mode starts by emptying the blob.
    table_->MoveToFirst();
    table_->BeginEdit();
    Memo().WriteAsString("xy");
    table_->PostChanges();
    EXPECT_EQ(BlobStore().blobs[1], "xy");
    // The post ends the field's mark: the next write outside edit mode is refused again,
    // and whole reads fill the cache again.
    EXPECT_FALSE(Memo().Modified());
    EXPECT_THROW(Stream(platform::bmWrite), platform::EDatabaseError);
    table_->MoveToLast();
    EXPECT_EQ(Memo().ReadAsString(), "abc");
    const int reads = BlobStore().reads;
    EXPECT_EQ(Memo().ReadAsString(), "abc");
    EXPECT_EQ(BlobStore().reads, reads);
}

// Records of a block are read past by the cursor: their blobs come from the dataset's
// own blob read, which answers an empty value for a blob the engine cannot read.
TEST_F(BlobStreamTest, BlockReadingReadsBlobsOfTheBlockRecords) {
    BlobStore().blobs[2] = "second";
    table_->ChangeBlockReadSize(10);
    ASSERT_EQ(table_->State(), platform::dsBlockRead);
    std::vector<AnsiString> memos;
    for (int guard = 0; !table_->Eof() && guard < 5; ++guard) {
        memos.push_back(Memo().ReadAsString());
        table_->MoveToNext();
    }
    EXPECT_EQ(memos, (std::vector<AnsiString>{"hello blob world", "second"}));
    table_->ChangeBlockReadSize(0);

    BlobStore().failing = true;
    table_->MoveToFirst();
    table_->ChangeBlockReadSize(10);
    ASSERT_EQ(table_->State(), platform::dsBlockRead);
    AnsiString value = "unread";
    EXPECT_NO_THROW(value = Memo().ReadAsString());
    EXPECT_EQ(value, "");
    table_->ChangeBlockReadSize(0);
    // Outside block reading the failure is reported.
    EXPECT_THROW(Memo().ReadAsString(), ETDBEngineError);
}
