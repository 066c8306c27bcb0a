#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "TestEngine.h"
#include "btrieve/base/BaseCacheTable.h"

using namespace btrieve;
using namespace testengine;

namespace {

TEngineFieldDesc Desc(uint16_t type, int16_t units1, int16_t units2 = 0) {
    TEngineFieldDesc d{};
    d.fieldType = type;
    d.units1 = units1;
    d.units2 = units2;
    return d;
}

// A plain memory table of one 32-bit integer, read and written through `value`.
struct TIntTable {
    TEngineFieldDesc descs[1] = {Desc(fldtype::Int32, 0)};
    TMemTable table{nullptr, nullptr, descs, 0, 1, "M", nullptr};
    int32_t value = 0;
    uint8_t* rec() { return reinterpret_cast<uint8_t*>(&value); }
    void Append(std::initializer_list<int32_t> values) {
        for (int32_t v : values) {
            value = v;
            table.AppendRecord(rec());
        }
    }
    // Reads the first record and deletes it.
    void DeleteFirst() {
        table.SetToBegin();
        table.GetNextRecord(0, rec(), nullptr);
        table.DeleteRecord(rec());
    }
};

}  // namespace

TEST(MemTable, FieldLengthsByTypeAndOffsetsOneAfterAnother) {
    TEngineFieldDesc descs[] = {Desc(fldtype::ZString, 10), Desc(fldtype::Int32, 0), Desc(fldtype::Float, 0),
                                Desc(fldtype::Bcd, 0, -6), Desc(fldtype::Bytes, 3)};
    TMemTable table(nullptr, nullptr, descs, 0, 5, "M", nullptr);
    const uint16_t lengths[] = {11, 4, 8, 6, 3}, offsets[] = {0, 11, 15, 23, 29};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(descs[i].length, lengths[i]);
        EXPECT_EQ(descs[i].offset, offsets[i]);
    }
    EXPECT_EQ(table.GetRecordSize(), 32);
    EXPECT_EQ(table.GetBookmarkSize(), 4);
}

TEST(MemTable, InsertsComeBackInOrderAndEmptyTablesEndAtOnce) {
    TEngineFieldDesc descs[] = {Desc(fldtype::Int32, 0)};
    TMemTable table(nullptr, nullptr, descs, 0, 1, "M", nullptr);
    int32_t value = 0;
    auto* rec = reinterpret_cast<uint8_t*>(&value);
    table.SetToBegin();
    EXPECT_EQ(CodeOf([&] { table.GetNextRecord(0, rec, nullptr); }), rc::Eof);
    table.SetToEnd();
    EXPECT_EQ(CodeOf([&] { table.GetPriorRecord(0, rec, nullptr); }), rc::Bof);
    for (int32_t v : {30, 10, 20}) {
        value = v;
        table.InsertRecord(0, rec);
    }
    uint32_t count = 0;
    table.GetRecordCount(count);
    EXPECT_EQ(count, 3u);
    std::vector<int32_t> seen;
    table.SetToBegin();
    TRecordProps props{};
    while (CodeOf([&] { table.GetNextRecord(0, rec, &props); }) == 0) seen.push_back(value);
    EXPECT_EQ(seen, (std::vector<int32_t>{30, 10, 20}));
    EXPECT_EQ(props.recordStatus, 2);
}

TEST(MemTable, DeletingTheCurrentRecordKeepsTheNextOneReachable) {
    TIntTable t;
    TMemTable& table = t.table;
    int32_t& value = t.value;
    uint8_t* rec = t.rec();
    t.Append({1, 2, 3});
    t.DeleteFirst();
    table.GetNextRecord(0, rec, nullptr);
    EXPECT_EQ(value, 2);
    table.DeleteRecord(rec);
    table.GetNextRecord(0, rec, nullptr);
    EXPECT_EQ(value, 3);
}

// After a delete every move keeps its place: the record behind the deleted one is the
// current and the next one, the record before it the prior one.
TEST(MemTable, MovesAfterADeleteKeepTheirPlace) {
    enum Move { Next, Prior, Current };
    struct {
        int deleted;  // 1-based place of the deleted record in [1, 2, 3]
        Move move;
        int32_t expected;  // the value read, or 0 with the code
        uint16_t code;
    } cases[] = {
        {1, Next, 2, 0},    {1, Prior, 0, rc::Bof}, {1, Current, 2, 0},
        {2, Next, 3, 0},    {2, Prior, 1, 0},       {2, Current, 3, 0},
        {3, Next, 0, rc::Eof}, {3, Prior, 2, 0},    {3, Current, 0, rc::Eof},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "deleted " << c.deleted << ", move " << c.move);
        TIntTable t;
        t.Append({1, 2, 3});
        t.table.SetToBegin();
        for (int i = 0; i < c.deleted; ++i) t.table.GetNextRecord(0, t.rec(), nullptr);
        t.table.DeleteRecord(t.rec());
        t.value = 0;
        const uint16_t code = CodeOf([&] {
            if (c.move == Next)
                t.table.GetNextRecord(0, t.rec(), nullptr);
            else if (c.move == Prior)
                t.table.GetPriorRecord(0, t.rec(), nullptr);
            else
                t.table.GetRecord(0, t.rec(), nullptr);
        });
        EXPECT_EQ(code, c.code);
        if (c.code == 0) EXPECT_EQ(t.value, c.expected);
    }
}

TEST(MemTable, RecordsAddedAfterADeletionGoLastAndKeepBookmarksOfTheirOwn) {
    TIntTable t;
    TMemTable& table = t.table;
    int32_t& value = t.value;
    uint8_t* rec = t.rec();
    t.Append({1, 2, 3});
    t.DeleteFirst();
    t.Append({4});
    value = 5;
    table.InsertRecord(0, rec);  // in front of the current record, 4

    std::vector<std::pair<int32_t, int32_t>> marks;  // bookmark, value
    table.SetToBegin();
    while (CodeOf([&] { table.GetNextRecord(0, rec, nullptr); }) == 0) {
        int32_t mark = 0;
        table.GetBookMark(&mark);
        marks.emplace_back(mark, value);
    }
    std::vector<int32_t> values;
    for (const auto& [mark, v] : marks) values.push_back(v);
    EXPECT_EQ(values, (std::vector<int32_t>{2, 3, 5, 4}));
    for (const auto& [mark, v] : marks) {
        SCOPED_TRACE(v);
        table.SetToBookMark(&mark);
        table.GetRecord(0, rec, nullptr);
        EXPECT_EQ(value, v);
    }
}

namespace {

class DelayedUpdatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTestStore::Get().Reset();
        auto& rows = TTestStore::Get().tables["T"];
        for (int id : {1, 2, 3}) rows.push_back(Row(id, ("N" + std::to_string(id)).c_str()));
        database_ = NewDatabase(nullptr);
        database_->OpenTable("T", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, base_);
        base_->BeginDelayedUpdates(cursor_);
        cache_ = static_cast<TBaseCacheTable*>(cursor_);
    }
    void TearDown() override { FreeHandle(database_); }

    // Moves the cursor onto the record with that id and gives what it shows.
    TRow At(int id) {
        TRow row{};
        cursor_->SetToBegin();
        while (CodeOf([&] { cursor_->GetNextRecord(0, reinterpret_cast<uint8_t*>(&row), nullptr); }) == 0)
            if (row.id == id) return row;
        return TRow{};
    }
    std::vector<int> Shown() {
        std::vector<int> ids;
        TRow row{};
        cursor_->SetToBegin();
        while (CodeOf([&] { cursor_->GetNextRecord(0, reinterpret_cast<uint8_t*>(&row), nullptr); }) == 0)
            ids.push_back(row.id);
        return ids;
    }
    std::vector<TRow>& Rows() { return TTestStore::Get().tables["T"]; }

    TBaseDatabase* database_ = nullptr;
    TBaseTable* base_ = nullptr;
    TBaseTable* cursor_ = nullptr;
    TBaseCacheTable* cache_ = nullptr;
};

}  // namespace

TEST_F(DelayedUpdatesTest, ChangesShowThroughTheCacheUntilWritten) {
    TRow row = At(2);
    std::strcpy(row.name, "first");
    cursor_->ModifyRecord(reinterpret_cast<uint8_t*>(&row), true);
    std::strcpy(row.name, "second");
    cursor_->ModifyRecord(reinterpret_cast<uint8_t*>(&row), true);
    EXPECT_EQ(cache_->Cache().Records().Count(), 1);
    EXPECT_STREQ(At(2).name, "second");
    EXPECT_STREQ(Rows()[1].name, "N2");

    cursor_->SetProp(4, 1);  // hide cached images
    EXPECT_STREQ(At(2).name, "N2");
    cursor_->SetProp(4, 0);

    row = At(3);
    cursor_->DeleteRecord(reinterpret_cast<uint8_t*>(&row));
    EXPECT_EQ(Shown(), (std::vector<int>{1, 2}));
    cursor_->SetProp(3, 15);
    EXPECT_EQ(Shown(), (std::vector<int>{1, 2, 3}));
    cursor_->SetProp(3, 11);

    At(1);
    cursor_->ApplyDelayedUpdates(applycmd::CancelCurrent);  // nothing cached for 1: nothing happens
    EXPECT_EQ(cache_->Cache().Records().Count(), 2);
}

TEST_F(DelayedUpdatesTest, WritingTwiceAppliesEachChangeOnceAndReportsRefusals) {
    TRow row = At(1);
    std::strcpy(row.name, "one");
    cursor_->ModifyRecord(reinterpret_cast<uint8_t*>(&row), true);
    row = At(2);
    std::strcpy(row.name, "two");
    cursor_->ModifyRecord(reinterpret_cast<uint8_t*>(&row), true);
    TRow added = Row(9, "new");
    cursor_->InsertRecord(0, reinterpret_cast<uint8_t*>(&added));
    TTestStore::Get().refuseModify = {2};

    EXPECT_EQ(CodeOf([&] { cursor_->ApplyDelayedUpdates(applycmd::Write); }), 0x2801);
    ASSERT_EQ(Rows().size(), 4u);
    EXPECT_STREQ(Rows()[0].name, "one");
    EXPECT_STREQ(Rows()[1].name, "N2");  // refused: stays unapplied
    EXPECT_EQ(Rows()[3].id, 9);

    // The second write retries only what did not go through: no second insert.
    TTestStore::Get().refuseModify.clear();
    cursor_->ApplyDelayedUpdates(applycmd::Write);
    EXPECT_EQ(Rows().size(), 4u);
    EXPECT_STREQ(Rows()[1].name, "two");
    cursor_->ApplyDelayedUpdates(applycmd::Commit);
    EXPECT_EQ(cache_->Cache().Records().Count(), 0);
}

// Cancelling drops every cached change unwritten: the cursor shows the table as it is,
// a later write has nothing to write and the end of delayed updates loses nothing.
TEST_F(DelayedUpdatesTest, CancelDropsTheCachedChangesUnwritten) {
    TRow row = At(2);
    std::strcpy(row.name, "changed");
    cursor_->ModifyRecord(reinterpret_cast<uint8_t*>(&row), true);
    row = At(3);
    cursor_->DeleteRecord(reinterpret_cast<uint8_t*>(&row));
    TRow added = Row(9, "new");
    cursor_->InsertRecord(0, reinterpret_cast<uint8_t*>(&added));
    ASSERT_EQ(cache_->Cache().Records().Count(), 3);

    cursor_->ApplyDelayedUpdates(applycmd::Cancel);
    EXPECT_EQ(cache_->Cache().Records().Count(), 0);
    EXPECT_EQ(Shown(), (std::vector<int>{1, 2, 3}));
    EXPECT_STREQ(At(2).name, "N2");
    cursor_->ApplyDelayedUpdates(applycmd::Write);
    ASSERT_EQ(Rows().size(), 3u);
    EXPECT_STREQ(Rows()[1].name, "N2");
    EXPECT_EQ(Rows()[2].id, 3);
    TBaseTable* handle = cursor_;
    EXPECT_EQ(CodeOf([&] { handle->EndDelayedUpdates(handle); }), 0);
    EXPECT_EQ(handle, base_);
}

TEST_F(DelayedUpdatesTest, EndingWithUnwrittenChangesIsReported) {
    TBaseTable* handle = cursor_;
    handle->EndDelayedUpdates(handle);  // nothing cached: a quiet end
    EXPECT_EQ(handle, base_);

    base_->BeginDelayedUpdates(cursor_);
    TRow row = At(1);
    std::strcpy(row.name, "lost");
    cursor_->ModifyRecord(reinterpret_cast<uint8_t*>(&row), true);
    handle = cursor_;
    EXPECT_EQ(CodeOf([&] { handle->EndDelayedUpdates(handle); }), rc::ObjImplicitlyDropped);
    EXPECT_EQ(handle, base_);
    EXPECT_FALSE(TBapiListItem::IsLive(cursor_));
    EXPECT_STREQ(Rows()[0].name, "N1");
}

TEST_F(DelayedUpdatesTest, CachedImagesHoldExactlyTheWrappedRecordBuffer) {
    // Overlaid fields make the sum of the field lengths longer than the record: an
    // image that long would read past the caller's record buffer when it is filled.
    TBaseTable* overlaid = nullptr;
    database_->OpenTable("T", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, overlaid);
    TEngineFieldDesc overlay = RowFields()[0];
    std::strcpy(overlay.name, "IDLOW");
    overlay.length = 2;
    overlaid->FieldCache().Add(overlay);
    TBaseTable* wrapper = nullptr;
    overlaid->BeginDelayedUpdates(wrapper);
    TRow row{};
    wrapper->SetToBegin();
    wrapper->GetNextRecord(0, reinterpret_cast<uint8_t*>(&row), nullptr);
    wrapper->ModifyRecord(reinterpret_cast<uint8_t*>(&row), true);
    TMemTable& cache = static_cast<TBaseCacheTable*>(wrapper)->Cache();
    ASSERT_EQ(cache.Records().Count(), 1);
    EXPECT_EQ(static_cast<TMemTableRecord*>(cache.Records().Get(0))->Image.size(), sizeof(TRow));
}

TEST_F(DelayedUpdatesTest, WrapperRefusesWhatItCannotDo) {
    TBaseTable* again = nullptr;
    EXPECT_EQ(CodeOf([&] { cursor_->BeginDelayedUpdates(again); }), rc::NotSupported);
    EXPECT_EQ(CodeOf([&] { cursor_->SwitchToIndex("IDX1", nullptr, 1, false); }), rc::NoSuchIndex);
    uint8_t mask = 0;
    uint16_t length = 0;
    cursor_->GetProp(3, &mask, length, 1);
    EXPECT_EQ(mask, 11);
}

namespace {

// The record manager's refusal: the engine's own error class, with its status text.
class TLockedRecordError : public EQuillonEngineError {
public:
    TLockedRecordError() : EQuillonEngineError(0x2801) { SetNativeCode(84); }
    AnsiString GetNativeText() const override { return "The record is locked"; }
};

// A cursor on which every change is refused with that error.
class TLockedCursor : public TTestCursor {
public:
    using TTestCursor::TTestCursor;
    void ModifyRecord(uint8_t*, bool) override { throw TLockedRecordError(); }
    void DeleteRecord(uint8_t*) override { throw TLockedRecordError(); }
};

}  // namespace

// A refusal raised again after the other changes were tried is the one the engine
// raised, not a copy that lost its class and the status text with it.
TEST(RefusedChanges, ReachTheCallerAsTheEngineRaisedThem) {
    TTestStore::Get().Reset();
    TTestStore::Get().tables["T"] = {Row(1, "N1"), Row(2, "N2")};
    TBaseDatabase* database = NewDatabase(nullptr);
    const struct {
        const char* name;
        std::function<void(TBaseTable*)> change;
    } cases[] = {
        {"cached write",
         [](TBaseTable* base) {
             TBaseTable* cached = nullptr;
             base->BeginDelayedUpdates(cached);
             TRow row{};
             cached->SetToBegin();
             cached->GetNextRecord(0, reinterpret_cast<uint8_t*>(&row), nullptr);
             cached->ModifyRecord(reinterpret_cast<uint8_t*>(&row), true);
             cached->ApplyDelayedUpdates(applycmd::Write);
         }},
        {"delete all", [](TBaseTable* base) { base->DeleteAllRecords(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* cursor = MakeHandle<TLockedCursor>(database, &database->Cursors(), "T", 0, 0);
        cursor->OpenCursor();
        try {
            c.change(cursor);
            ADD_FAILURE() << "the refusal was not reported";
        } catch (const EQuillonEngineError& e) {
            EXPECT_NE(dynamic_cast<const TLockedRecordError*>(&e), nullptr);
            EXPECT_EQ(e.GetNativeText(), "The record is locked");
            EXPECT_EQ(e.Code(), 0x2801);
        }
    }
    FreeHandle(database);
}
