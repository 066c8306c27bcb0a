#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestEngine.h"
#include "btrieve/base/FilterListItem.h"
#include "btrieve/base/MemTable.h"
#include "platform/DBScreen.h"

using namespace btrieve;
using namespace testengine;

namespace {

int g_pumpRuns = 0;

// An application whose message pump counts its runs.
class TCountingApplication : public platform::IDBApplication {
public:
    AnsiString GetTitle() override { return ""; }
    void SetTitle(const AnsiString&) override {}
    void ProcessMessages() override { ++g_pumpRuns; }
};

class CursorTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTestStore::Get().Reset();
        Fill({5, 10, 15, 20, 25});
        platform::SetDBApplication(std::make_shared<TCountingApplication>());
        g_pumpRuns = 0;
        database_ = NewDatabase(nullptr);
        cursor_ = Open();
    }
    void TearDown() override {
        FreeHandle(database_);
        platform::SetDBApplication(nullptr);
    }
    void Fill(std::initializer_list<int> ids) {
        auto& rows = TTestStore::Get().tables["T"];
        rows.clear();
        for (int id : ids) rows.push_back(Row(id, ("N" + std::to_string(id)).c_str()));
    }
    TBaseTable* Open(int32_t shareMode = 0) {
        TBaseTable* cursor = nullptr;
        database_->OpenTable("T", nullptr, nullptr, nullptr, 0, 0, shareMode, 0, false, nullptr, cursor);
        return cursor;
    }
    // Ids met by next moves (or prior moves) until a boundary error.
    std::vector<int> Walk(bool forward) {
        std::vector<int> ids;
        TRow row;
        try {
            for (;;) {
                if (forward) cursor_->GetNextRecord(0, reinterpret_cast<uint8_t*>(&row), nullptr);
                else cursor_->GetPriorRecord(0, reinterpret_cast<uint8_t*>(&row), nullptr);
                ids.push_back(row.id);
            }
        } catch (const EQuillonBoundryError&) {
        }
        return ids;
    }
    std::vector<int> Ids() {
        std::vector<int> ids;
        for (const auto& r : TTestStore::Get().tables["T"]) ids.push_back(r.id);
        return ids;
    }

    TBaseDatabase* database_ = nullptr;
    TBaseTable* cursor_ = nullptr;
    TRow row_{};
    uint8_t* rec() { return reinterpret_cast<uint8_t*>(&row_); }
};

}  // namespace

TEST_F(CursorTest, StatesDecideWhatMovesDo) {
    TTestCursor closed(nullptr, nullptr, "T", 0, 0);
    EXPECT_EQ(CodeOf([&] { closed.GetNextRecord(0, rec(), nullptr); }), rc::Eof);
    EXPECT_EQ(CodeOf([&] { closed.GetPriorRecord(0, rec(), nullptr); }), rc::Bof);
    EXPECT_EQ(CodeOf([&] { closed.GetRecord(0, rec(), nullptr); }), rc::NoCurrRec);
    closed.OpenCursor();
    closed.GetNextRecord(0, rec(), nullptr);
    EXPECT_EQ(row_.id, 5);

    cursor_->SetToBegin();
    EXPECT_EQ(CodeOf([&] { cursor_->GetPriorRecord(0, rec(), nullptr); }), rc::Bof);
    EXPECT_EQ(CodeOf([&] { cursor_->GetRecord(0, rec(), nullptr); }), rc::Bof);
    cursor_->SetToEnd();
    EXPECT_EQ(CodeOf([&] { cursor_->GetNextRecord(0, rec(), nullptr); }), rc::Eof);
    EXPECT_EQ(CodeOf([&] { cursor_->GetRecord(0, rec(), nullptr); }), rc::Eof);
    cursor_->GetPriorRecord(0, rec(), nullptr);
    EXPECT_EQ(row_.id, 25);
    row_ = {};
    cursor_->GetRecord(0, rec(), nullptr);
    EXPECT_EQ(row_.id, 25);
}

TEST_F(CursorTest, RangesBoundTheMovesBothWays) {
    const struct {
        bool startInclusive, endInclusive;
        std::vector<int> forward, backward;
    } cases[] = {
        {true, true, {10, 15, 20}, {20, 15, 10}},
        {true, false, {10, 15}, {15, 10}},
        {false, true, {15, 20}, {20, 15}},
    };
    const int32_t start = 10, end = 20;
    for (const auto& c : cases) {
        cursor_->SetRange(true, 1, 0, &start, c.startInclusive, 1, 0, &end, c.endInclusive);
        cursor_->SetToBegin();
        EXPECT_EQ(Walk(true), c.forward);
        cursor_->SetToEnd();
        EXPECT_EQ(Walk(false), c.backward);
    }
    cursor_->ResetRange();
    cursor_->SetToBegin();
    EXPECT_EQ(Walk(true).size(), 5u);
}

TEST_F(CursorTest, RangeEndOfBlankKeyFieldsIsNotActive) {
    const int32_t start = 10, blank = 0;
    cursor_->SetRange(true, 0, 0, &start, true, 0, 0, &blank, true);
    EXPECT_TRUE(cursor_->RangeStart().active);
    EXPECT_FALSE(cursor_->RangeEnd().active);
    cursor_->SetToBegin();
    EXPECT_EQ(Walk(true), (std::vector<int>{10, 15, 20, 25}));
}

TEST_F(CursorTest, RangeFromRecordBuffers) {
    TRow low = Row(12), high = Row(22);
    cursor_->SetRange(false, 0, 0, &low, true, 0, 0, &high, true);
    cursor_->SetToBegin();
    EXPECT_EQ(Walk(true), (std::vector<int>{15, 20}));
}

namespace {
int g_filterCalls = 0;
int16_t RejectAll(intptr_t, const uint8_t*, int32_t) {
    ++g_filterCalls;
    return 0;
}
int16_t RejectId15(intptr_t, const uint8_t* record, int32_t) {
    return reinterpret_cast<const TRow*>(record)->id != 15;
}
// Of 5, 10, 15, 20, 25 the cursor then shows 10 and 20: the range [10, 20] and a filter hiding 15.
void ShowTenAndTwenty(TBaseTable& cursor) {
    const int32_t start = 10, end = 20;
    cursor.SetRange(true, 1, 0, &start, true, 1, 0, &end, true);
    TFilterListItem* filter = nullptr;
    cursor.AddFilter(0, 0, false, nullptr, RejectId15, filter);
    cursor.ActivateFilter(filter);
}
}  // namespace

TEST_F(CursorTest, FilterThatRejectsEverythingReadsTheWholeTable) {
    TFilterListItem* filter = nullptr;
    cursor_->AddFilter(0, 0, false, nullptr, RejectAll, filter);
    cursor_->SetToBegin();
    EXPECT_EQ(Walk(true).size(), 5u);  // added, not active: every record shows
    cursor_->ActivateFilter(filter);
    g_filterCalls = 0;
    cursor_->SetToBegin();
    EXPECT_EQ(CodeOf([&] { cursor_->GetNextRecord(0, rec(), nullptr); }), rc::Eof);
    EXPECT_EQ(g_filterCalls, 5);
}

TEST_F(CursorTest, RecordCountPumpsMessagesAndKeepsThePosition) {
    auto& rows = TTestStore::Get().tables["T"];
    rows.clear();
    for (int i = 1; i <= 40; ++i) rows.push_back(Row(i));
    cursor_->SetToBegin();
    cursor_->GetRelativeRecord(7, 0, nullptr, rec());
    uint32_t count = 0;
    cursor_->GetRecordCount(count);
    EXPECT_EQ(count, 40u);
    EXPECT_EQ(g_pumpRuns, 2);
    cursor_->GetRecord(0, rec(), nullptr);
    EXPECT_EQ(row_.id, 7);

    TBaseTable* fresh = Open();
    fresh->GetRecordCount(count);
    EXPECT_EQ(fresh->State(), cursorstate::BeforeFirst);
}

TEST_F(CursorTest, RecordCountLeavesACursorAtEitherEndWhereItWas) {
    // The cursor has read 10 before it goes to an end; the engine still knows that record.
    const struct {
        const char* name;
        void (TBaseTable::*toEnd)();
        bool forward;
        int expected;
    } cases[] = {
        {"before the first", &TBaseTable::SetToBegin, true, 5},
        {"after the last", &TBaseTable::SetToEnd, false, 25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cursor_->SetToBegin();
        cursor_->GetRelativeRecord(2, 0, nullptr, rec());
        (cursor_->*c.toEnd)();
        uint32_t count = 0;
        cursor_->GetRecordCount(count);
        EXPECT_EQ(count, 5u);
        if (c.forward) cursor_->GetNextRecord(0, rec(), nullptr);
        else cursor_->GetPriorRecord(0, rec(), nullptr);
        EXPECT_EQ(row_.id, c.expected);
    }
}

TEST_F(CursorTest, RelativeMovesLockOnlyTheLastStep) {
    EXPECT_EQ(CodeOf([&] { cursor_->GetRelativeRecord(0, 0, nullptr, rec()); }), rc::InvalidParam);
    cursor_->SetToEnd();
    cursor_->GetRelativeRecord(-3, 1, nullptr, rec());
    EXPECT_EQ(row_.id, 15);
    EXPECT_EQ(TTestStore::Get().lockedReads, 1);

    // A locked move from either end re-reads the record it reached.
    cursor_->SetToBegin();
    cursor_->GetNextRecord(1, rec(), nullptr);
    EXPECT_EQ(row_.id, 5);
    cursor_->SetToEnd();
    cursor_->GetPriorRecord(1, rec(), nullptr);
    EXPECT_EQ(row_.id, 25);
    EXPECT_EQ(TTestStore::Get().lockedReads, 3);
}

TEST_F(CursorTest, DeleteAllRecordsStaysInsideTheRangeAndFilters) {
    ShowTenAndTwenty(*cursor_);
    cursor_->DeleteAllRecords();
    EXPECT_EQ(Ids(), (std::vector<int>{5, 15, 25}));
    EXPECT_EQ(g_pumpRuns, 2);
}

TEST_F(CursorTest, DeleteAllRecordsReportsARecordThatWillNotGo) {
    TTestStore::Get().refuseDelete = {15};
    EXPECT_EQ(CodeOf([&] { cursor_->DeleteAllRecords(); }), 0x2801);
    EXPECT_EQ(Ids(), (std::vector<int>{15, 20, 25}));
    EXPECT_EQ(cursor_->State(), cursorstate::BeforeFirst);
}

TEST_F(CursorTest, EmptyTableReturnsTheCursorToItsOpenState) {
    cursor_->EmptyTable();
    EXPECT_TRUE(Ids().empty());
    EXPECT_EQ(cursor_->ShareMode(), 0);
    EXPECT_NE(cursor_->State(), cursorstate::Closed);

    Fill({1, 2});
    cursor_->CloseCursor();
    cursor_->EmptyTable();
    EXPECT_TRUE(Ids().empty());
    EXPECT_EQ(cursor_->State(), cursorstate::Closed);

    // A failure leaves the share mode as it was, not exclusive.
    Fill({1, 2});
    TTestStore::Get().refuseDelete = {1};
    TBaseTable* shared = Open(0);
    EXPECT_NE(CodeOf([&] { shared->EmptyTable(); }), 0);
    EXPECT_EQ(shared->ShareMode(), 0);
}

TEST_F(CursorTest, EmptyTableEmptiesBeyondTheRangeAndFiltersItShows) {
    ShowTenAndTwenty(*cursor_);
    cursor_->EmptyTable();
    EXPECT_TRUE(Ids().empty());

    // The range and the filter are in force again afterwards.
    Fill({5, 10, 15, 20, 25});
    cursor_->SetToBegin();
    EXPECT_EQ(Walk(true), (std::vector<int>{10, 20}));
}

TEST_F(CursorTest, ReadBlockCountsAndBounds) {
    std::vector<TRow> block(5);
    auto* buffer = reinterpret_cast<uint8_t*>(block.data());
    cursor_->SetToBegin();
    cursor_->GetRelativeRecord(2, 0, nullptr, rec());
    uint32_t count = 5;
    cursor_->ReadBlock(count, buffer, sizeof(TRow) * 5);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(block[2].id, 25);

    // Asking for nothing reads nothing (the cursor does not move).
    cursor_->SetToBegin();
    count = 0;
    cursor_->ReadBlock(count, buffer, 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(cursor_->State(), cursorstate::BeforeFirst);

    // More records than the buffer holds are refused before anything is written.
    count = 3;
    EXPECT_EQ(CodeOf([&] { cursor_->ReadBlock(count, buffer, sizeof(TRow) * 2); }), rc::InvalidParam);
    EXPECT_EQ(count, 0u);

    std::vector<TRow> inserts = {Row(30), Row(31)};
    count = 2;
    cursor_->WriteBlock(count, reinterpret_cast<uint8_t*>(inserts.data()), sizeof(TRow) * 2);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Ids().back(), 31);
}

TEST_F(CursorTest, SearchByKey) {
    const int32_t missing = 12, last = 99;
    EXPECT_EQ(CodeOf([&] { cursor_->SetToKey(0, true, &missing, 0, 0); }), rc::Eof);
    cursor_->SetToKey(2, true, &missing, 0, 0);
    cursor_->GetRecord(0, rec(), nullptr);
    EXPECT_EQ(row_.id, 15);
    cursor_->SetToKey(1, true, &last, 0, 0);
    EXPECT_EQ(cursor_->State(), cursorstate::AfterLast);
}

TEST_F(CursorTest, CursorPropertiesAtTheirOffsets) {
    TCursorProps props;
    cursor_->GetCursorProps(props);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&props);
    auto word = [&](size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); };
    EXPECT_EQ(word(295), 3);    // fields
    EXPECT_EQ(word(297), 18);   // record size
    EXPECT_EQ(word(299), 18);   // record buffer size
    EXPECT_EQ(word(301), 4);    // key size
    EXPECT_EQ(word(309), 4);    // bookmark size
    EXPECT_EQ(word(323), 0xFFFF);
    EXPECT_EQ(word(339), 255);

    // The field count property is four bytes, whatever room the caller gives.
    uint32_t count[2] = {};
    uint16_t length = 0;
    cursor_->GetProp(15, count, length, sizeof count);
    EXPECT_EQ(count[0], 3u);
    EXPECT_EQ(length, 4);
}

TEST(FieldComparisons, ByLogicalType) {
    TTestCursor cursor(nullptr, nullptr, "T", 0, 0);
    auto cmp = [&](uint16_t type, auto v1, auto v2, uint16_t length, bool ci = false) {
        return cursor.CompareFieldValues(type, nullptr, &v2, &v1, ci, length);
    };
    EXPECT_EQ(cmp(fldtype::Bool, int16_t(1), int16_t(0), 2), 1);
    EXPECT_EQ(cmp(fldtype::Bool, int16_t(0), int16_t(1), 2), -1);  // false before true, not "unequal"
    EXPECT_EQ(cmp(fldtype::Bool, int16_t(1), int16_t(-1), 2), 0);
    EXPECT_EQ(cmp(fldtype::Int16, int8_t(-1), int8_t(1), 1), -1);
    EXPECT_EQ(cmp(fldtype::Int16, int16_t(-300), int16_t(200), 2), -1);
    EXPECT_EQ(cmp(fldtype::Int16, int32_t(-70000), int32_t(5), 4), -1);  // wider integers by value
    EXPECT_EQ(cmp(fldtype::Int16, int64_t(1) << 40, int64_t(7), 8), 1);
    EXPECT_EQ(cmp(fldtype::UInt16, uint16_t(65535), uint16_t(1), 2), 1);
    EXPECT_EQ(cmp(fldtype::UInt16, uint32_t(4000000000u), uint32_t(1), 4), 1);
    EXPECT_EQ(cmp(fldtype::Int32, int32_t(-5), int32_t(3), 4), -1);
    EXPECT_EQ(cmp(fldtype::UInt32, uint32_t(0xFFFFFFFF), uint32_t(3), 4), 1);
    EXPECT_EQ(cmp(fldtype::Float, 2.5, 2.25, 8), 1);
    EXPECT_EQ(cmp(fldtype::Timestamp, int64_t(10), int64_t(10), 8), 0);
    const char a[8] = "abcX", b[8] = "ABCy";
    EXPECT_EQ(cursor.CompareFieldValues(fldtype::ZString, nullptr, b, a, true, 3), 0);
    EXPECT_EQ(cursor.CompareFieldValues(fldtype::ZString, nullptr, b, a, false, 3), 1);
    EXPECT_EQ(cursor.CompareFieldValues(fldtype::Bytes, nullptr, b, a, false, 1), 1);
}

TEST(KeyComparisons, DescendingPartsAndPartialKeys) {
    TTestCursor cursor(nullptr, nullptr, "T", 0, 0);
    const TRow high = Row(9, "abcdef"), low = Row(3, "abcxyz");
    int32_t result = 0;
    cursor.CompareKeys(&high, &low, result, 0, 0);
    EXPECT_EQ(result, 1);
    cursor.KeyParts()[0].descending = true;
    cursor.CompareKeys(&high, &low, result, 0, 0);
    EXPECT_EQ(result, -1);
    cursor.KeyParts()[0].descending = false;
    cursor.CompareKeys(&high, &low, result, 3, 0);
    EXPECT_EQ(result, 0);

    // A key over ID and NAME: two fields with 3 bytes of the second.
    TEngineIndexDesc& index = cursor.IndexDesc();
    index.fieldsInKey = 2;
    index.keyFields[1] = 2;
    const TRow x = Row(1, "abcdef"), y = Row(1, "abcxyz");
    cursor.CompareKeys(&x, &y, result, 3, 2);
    EXPECT_EQ(result, 0);
    cursor.CompareKeys(&x, &y, result, 0, 2);
    EXPECT_EQ(result, -1);
}

TEST(IndexForFields, FindsTheIndexOfExactlyThoseFields) {
    TTestCursor cursor(nullptr, nullptr, "T", 0, 0);
    uint16_t number = 99;
    char name[32] = {};
    cursor.IndexForFields("@name@ID", number, name);
    EXPECT_EQ(number, 1);
    EXPECT_STREQ(name, "IDX1");
    cursor.IndexForFields("@NAME", number, name);
    EXPECT_EQ(number, 2);
    cursor.IndexForFields("IDXNAME", number, name);
    EXPECT_STREQ(name, "IDXNAME");
    std::string many;
    for (int i = 0; i < 17; ++i) many += "@ID";
    EXPECT_EQ(CodeOf([&] { cursor.IndexForFields(many.c_str(), number, name); }), rc::InvalidIndexName);
    EXPECT_EQ(CodeOf([&] { cursor.IndexForFields("@FLAG@ID", number, name); }), rc::NoSuchIndex);
}

namespace {
// An engine that describes an index over FLAG for whatever number it is asked.
class TEndlessIndexCursor : public TTestCursor {
public:
    TEndlessIndexCursor() : TTestCursor(nullptr, nullptr, "T", 0, 0) {}
    void GetIndexDesc(uint16_t number, TEngineIndexDesc& desc) override {
        std::memset(&desc, 0, sizeof desc);
        desc.indexId = number;
        desc.fieldsInKey = 1;
        desc.keyFields[0] = 3;
    }
};
}  // namespace

TEST(IndexForFields, AnEngineThatNeverEndsItsIndexesEndsTheSearch) {
    TEndlessIndexCursor cursor;
    uint16_t number = 99;
    EXPECT_EQ(CodeOf([&] { cursor.IndexForFields("@ID", number, nullptr); }), rc::InvalidIndexName);
    EXPECT_EQ(number, 99);
    cursor.IndexForFields("@FLAG", number, nullptr);
    EXPECT_EQ(number, 0);
}

namespace {
// Fields with null areas after the record: 8 bytes per field.
class TNullCursor : public TTestCursor {
public:
    TNullCursor() : TTestCursor(nullptr, nullptr, "T", 0, 0) {
        for (int i = 1; i <= 3; ++i) FieldCache().Item(i).Desc().nullOffset = static_cast<uint16_t>(18 + (i - 1) * 8);
    }
    bool HasNullFlags() const override { return true; }
    void FieldToLogical(uint16_t a, uint16_t b, bool& blank, void* v, const uint8_t* d, uint16_t l,
                        int16_t u) override {
        ++conversions;
        TTestCursor::FieldToLogical(a, b, blank, v, d, l, u);
    }
    int conversions = 0;
};
}  // namespace

TEST(FieldAccess, NullAreasMarkBlankAndChangedFields) {
    TNullCursor cursor;
    std::vector<uint8_t> record(cursor.GetRecBufSize());
    EXPECT_EQ(record.size(), 18u + 3 * 8 + 1);
    cursor.InitRecord(record.data());
    bool blank = false;
    int32_t id = 0;
    cursor.GetField(1, record.data(), blank, &id);
    EXPECT_TRUE(blank);
    cursor.GetField(1, record.data(), blank, nullptr);
    EXPECT_TRUE(blank);
    EXPECT_EQ(cursor.conversions, 0);

    const int32_t seven = 7;
    cursor.PutField(1, record.data(), &seven);
    cursor.GetField(1, record.data(), blank, &id);
    EXPECT_FALSE(blank);
    EXPECT_EQ(id, 7);

    cursor.PutField(1, record.data(), nullptr);
    cursor.VerifyField(1, record.data(), blank);
    EXPECT_TRUE(blank);
    int32_t changed = 0;
    std::memcpy(&changed, record.data() + 18 + 4, 4);
    EXPECT_EQ(changed, -1);
    EXPECT_EQ(CodeOf([&] { cursor.GetField(9, record.data(), blank, &id); }), rc::NotSupported);
    EXPECT_EQ(CodeOf([&] { cursor.GetField(1, nullptr, blank, &id); }), rc::InvalidParam);
}

namespace {
// An engine whose records hold a null value as a field of blanks.
class TBlankNullCursor : public TTestCursor {
public:
    TBlankNullCursor() : TTestCursor(nullptr, nullptr, "T", 0, 0) {}
    void PutFieldValue(TFieldCacheItem& item, const void* value) override {
        if (value)
            TTestCursor::PutFieldValue(item, value);
        else
            std::memset(item.FieldData(), ' ', item.Desc().length);
    }
};
}  // namespace

TEST(FieldAccess, NullValuesAreWrittenTheEnginesWay) {
    TBlankNullCursor cursor;
    std::vector<uint8_t> record(cursor.GetRecBufSize());
    char name[12] = "abc";
    cursor.PutField(2, record.data(), name);
    cursor.PutField(2, record.data(), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.data()) + 4, 12), std::string(12, ' '));

    // A memory table has no null flags: its null is a field of zero bytes.
    TEngineFieldDesc desc{};
    desc.fieldType = fldtype::Int32;
    TMemTable table(nullptr, nullptr, &desc, 0, 1, "M", nullptr);
    int32_t value = 7;
    table.PutField(1, reinterpret_cast<uint8_t*>(&value), nullptr);
    EXPECT_EQ(value, 0);
}

TEST(FieldAccess, FieldDescriptorByPosition) {
    TTestCursor cursor(nullptr, nullptr, "T", 0, 0);
    TEngineFieldDesc overlay = RowFields()[0];
    std::strcpy(overlay.name, "IDLOW");
    overlay.length = 2;
    cursor.FieldCache().Add(overlay);
    TEngineFieldDesc desc;
    cursor.FindFieldDesc(1, 4, desc);
    EXPECT_STREQ(desc.name, "ID");
    cursor.FindFieldDesc(1, 3, desc);
    EXPECT_STREQ(desc.name, "IDLOW");
    try {
        cursor.FindFieldDesc(2, 4, desc);
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::InvalidRecStruct);
        EXPECT_EQ(e.ErrorMessage(), "Table: T");
    }
    EXPECT_EQ(cursor.FieldCache().FieldNumber("name"), 2);
}

namespace {
// A cursor that describes its three 4-byte fields only when asked.
class TDescribingCursor : public TBaseTable {
public:
    TDescribingCursor() : TBaseTable(nullptr, nullptr, "D", nullptr, 0, 0) {}
    void GetFieldDesc(uint16_t n, uint16_t& localSize, uint16_t& localType, TEngineFieldDesc& desc) override {
        if (n < 1 || n > 3) RaiseEngineError(rc::InvalidRecStruct);
        desc = TEngineFieldDesc{};
        CopyToField(desc.name, sizeof desc.name, "F" + std::to_string(n));
        desc.offset = static_cast<uint16_t>((n - 1) * 4);
        desc.length = 4;
        localType = fldtype::Int32;
        localSize = 4;
    }
};
}  // namespace

TEST(FieldAccess, FieldsAskedForOutOfOrderKeepTheirNumbers) {
    TDescribingCursor cursor;
    EXPECT_EQ(cursor.FieldCache().Item(3).FieldName(), "F3");
    EXPECT_EQ(cursor.FieldCache().Item(1).FieldName(), "F1");
    EXPECT_EQ(cursor.FieldCache().Item(2).Desc().offset, 4);
    EXPECT_EQ(cursor.FieldCache().FieldNumber("F3"), 3);
    EXPECT_EQ(CodeOf([&] { cursor.FieldCache().Item(4); }), rc::InvalidRecStruct);
    EXPECT_EQ(cursor.FieldCache().Count(), 3);
}

TEST(ListCursor, GivesItsRecordsAndRefusesWrites) {
    const char names[2][4] = {"AB", "CD"};
    TBaseListTable list(nullptr, 2, names, 4, nullptr);
    char record[4];
    list.GetNextRecord(0, reinterpret_cast<uint8_t*>(record), nullptr);
    EXPECT_STREQ(record, "AB");
    list.GetNextRecord(0, reinterpret_cast<uint8_t*>(record), nullptr);
    EXPECT_EQ(CodeOf([&] { list.GetNextRecord(0, reinterpret_cast<uint8_t*>(record), nullptr); }), rc::Eof);
    list.SetToBegin();
    list.GetNextRecord(0, reinterpret_cast<uint8_t*>(record), nullptr);
    EXPECT_STREQ(record, "AB");
    EXPECT_EQ(CodeOf([&] { list.InsertRecord(0, reinterpret_cast<uint8_t*>(record)); }), rc::TableReadOnly);
    EXPECT_EQ(CodeOf([&] { list.DeleteRecord(nullptr); }), rc::TableReadOnly);
}

TEST_F(CursorTest, RereadsRepositioningAndCopies) {
    cursor_->SetToBegin();
    cursor_->GetRelativeRecord(2, 0, nullptr, rec());  // on 10
    cursor_->SetProp(20, 0);                             // the record may have moved
    EXPECT_EQ(cursor_->State(), cursorstate::Repositioning);
    cursor_->GetRecord(0, rec(), nullptr);
    EXPECT_EQ(row_.id, 15);

    // The current record went away: after ForceReread the cursor starts again.
    auto& rows = TTestStore::Get().tables["T"];
    rows.erase(rows.begin() + 2);
    EXPECT_EQ(CodeOf([&] { cursor_->GetRecord(0, rec(), nullptr); }), 0x2206);
    cursor_->ForceRecordReread(rec());
    EXPECT_EQ(row_.id, 5);

    TBaseTable* clone = nullptr;
    cursor_->CloneCursor(true, false, clone);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->OpenMode(), 1);
    EXPECT_EQ(database_->Cursors().Count(), 2);
    cursor_->GetNextRecord(0, rec(), nullptr);  // on 10
    cursor_->SetToCursor(clone);
    TRow other{};
    clone->GetRecord(0, reinterpret_cast<uint8_t*>(&other), nullptr);
    EXPECT_EQ(other.id, 10);
    EXPECT_EQ(CodeOf([&] { cursor_->SetToCursor(nullptr); }), rc::InvalidParam);

    TTestCursor orphan(nullptr, nullptr, "T", 0, 0);
    EXPECT_EQ(CodeOf([&] { orphan.CloneCursor(false, false, clone); }), rc::InvalidParam);
}
