// The dataset framework's state machine driven through a small in-memory dataset:
// opening, navigation over buffer windows of several sizes, editing, bookmarks,
// filters, calculated fields, persistent fields and error events.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "MemoryTable.h"
#include "platform/DataLink.h"
#include "platform/FormatSettings.h"
#include "platform/IndexDefs.h"

using namespace platform;
using testing_support::Column;
using testing_support::TMemoryTable;

namespace {

std::unique_ptr<TMemoryTable> MakeTable(int rows) {
    auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{
        {"ID", ftInteger}, {"NAME", ftString, 10}, {"AMOUNT", ftFloat}, {"ACTIVE", ftBoolean}});
    for (int i = 1; i <= rows; ++i)
        table->AddRow({Variant(i), Variant("N" + IntToStr(i)), Variant(i * 1.5), Variant(i % 2 == 0)});
    return table;
}

int CurrentId(TDataSet& ds) { return ds.FieldNamed("ID")->ReadAsInteger(); }

// A link that asks for a window of several record buffers, like a grid.
class WindowLink : public TDataLink {
public:
    explicit WindowLink(int buffers) { SetBufferCount(buffers); }
};

}  // namespace

TEST(DataSetOpen, DefaultFieldsComeFromTheDefinitionsAndGoAtClose) {
    std::vector<AnsiString> events;
    auto table = MakeTable(3);
    table->BeforeOpen = [&](TDataSet&) { events.push_back("BeforeOpen"); };
    table->AfterOpen = [&](TDataSet&) { events.push_back("AfterOpen"); };
    table->BeforeClose = [&](TDataSet&) { events.push_back("BeforeClose"); };
    table->AfterClose = [&](TDataSet&) { events.push_back("AfterClose"); };
    table->OpenDataSet();
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(table->State(), dsBrowse);
    ASSERT_EQ(table->Fields().Count(), 4);
    EXPECT_EQ(table->Fields().FieldAt(1)->FieldName(), "NAME");
    EXPECT_EQ(table->Fields().FieldAt(1)->Size(), 10);
    EXPECT_EQ(table->Fields().FieldAt(2)->FieldNo(), 3);
    EXPECT_TRUE(table->DefaultFields());
    EXPECT_EQ(CurrentId(*table), 1);
    EXPECT_TRUE(table->Bof());
    table->CloseDataSet();
    EXPECT_FALSE(table->Active());
    EXPECT_EQ(table->Fields().Count(), 0);
    EXPECT_EQ(events, (std::vector<AnsiString>{"BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose"}));
    table->OpenDataSet();
    EXPECT_EQ(CurrentId(*table), 1);
    events.clear();
    table.reset();  // closed by its destructor, without the close events
    EXPECT_TRUE(events.empty());
}

TEST(DataSetOpen, EmptyTableIsBofAndEof) {
    auto table = MakeTable(0);
    table->OpenDataSet();
    EXPECT_TRUE(table->IsEmpty());
    EXPECT_TRUE(table->Bof());
    EXPECT_TRUE(table->Eof());
    EXPECT_TRUE(table->FieldNamed("ID")->IsNull());
    EXPECT_EQ(table->FieldNamed("NAME")->ReadAsString(), "");
}

TEST(DataSetOpen, FieldDefinitionsReloadWhileClosed) {
    auto table = MakeTable(1);
    table->FieldDefs().Reload();
    EXPECT_FALSE(table->Active());
    ASSERT_EQ(table->FieldDefs().Count(), 4);
    EXPECT_EQ(table->FieldDefs().PositionOfName("amount"), 2);
    EXPECT_EQ(table->FieldDefs().PositionOfName("missing"), -1);
    EXPECT_EQ(table->FieldDefs().Items(1).Size(), 10);
}

// Navigation must give the same answers whatever the size of the buffer window.
TEST(DataSetNavigation, MovesAgreeForEveryWindowSize) {
    struct Step {
        const char* move;
        int expectedId;
        bool bof, eof;
        int moved;  // MoveBy result, when the step is a MoveBy
    };
    const std::vector<Step> steps = {
        {"first", 1, true, false, 0},  {"next", 2, false, false, 0}, {"by+2", 4, false, false, 2},
        {"next", 5, false, false, 0},  {"next", 5, false, true, 0},  {"prior", 4, false, false, 0},
        {"by-10", 1, true, false, -3}, {"last", 5, false, true, 0},  {"by-2", 3, false, false, -2},
        {"first", 1, true, false, 0},  {"prior", 1, true, false, 0}, {"by+9", 5, false, true, 4},
    };
    for (int window : {1, 2, 3, 7}) {
        SCOPED_TRACE("window " + std::to_string(window));
        auto table = MakeTable(5);
        auto source = NewUnownedComponent<TDataSource>();
        source->SetDataSet(table.get());
        WindowLink link(window);
        link.SetDataSource(source.get());
        table->OpenDataSet();
        for (const Step& step : steps) {
            SCOPED_TRACE(step.move);
            AnsiString move = step.move;
            int moved = 0;
            if (move == "first") table->MoveToFirst();
            else if (move == "last") table->MoveToLast();
            else if (move == "next") table->MoveToNext();
            else if (move == "prior") table->MoveToPrior();
            else moved = table->MoveBy(std::stoi(move.substr(2)));
            EXPECT_EQ(CurrentId(*table), step.expectedId);
            EXPECT_EQ(table->Bof(), step.bof);
            EXPECT_EQ(table->Eof(), step.eof);
            EXPECT_EQ(moved, step.moved);
        }
        link.SetDataSource(nullptr);
    }
}

// Random moves and changes against a plain list of the records: the window of buffers
// (whatever its size) must always show the record the list says is current.
TEST(DataSetNavigation, RandomWorkAgreesWithAPlainList) {
    for (int window : {1, 2, 3, 5}) {
        SCOPED_TRACE("window " + std::to_string(window));
        auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{{"ID", ftInteger}});
        std::vector<int> ids;
        for (int i = 1; i <= 6; ++i) {
            table->AddRow({Variant(i)});
            ids.push_back(i);
        }
        auto source = NewUnownedComponent<TDataSource>();
        source->SetDataSet(table.get());
        WindowLink link(window);
        link.SetDataSource(source.get());
        table->OpenDataSet();
        size_t cur = 0;
        bool bof = true, eof = false;
        int nextId = 100;
        TBookmark mark;
        int markedId = 0;
        std::mt19937 random(static_cast<unsigned>(window));
        for (int step = 0; step < 1500; ++step) {
            int op = static_cast<int>(random() % 11);
            SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op));
            switch (op) {
            case 0:
                table->MoveToFirst();
                cur = 0, bof = true, eof = ids.empty();
                break;
            case 1:
                table->MoveToLast();
                cur = ids.empty() ? 0 : ids.size() - 1, eof = true, bof = ids.empty();
                break;
            case 2:
            case 3: {
                int distance = static_cast<int>(random() % 7) - 3;
                int moved = table->MoveBy(distance);
                int expected = 0;
                if ((distance > 0 && !eof) || (distance < 0 && !bof)) {
                    bof = eof = false;
                    for (; distance > 0; --distance, ++expected) {
                        if (cur + 1 >= ids.size()) { eof = true; break; }
                        ++cur;
                    }
                    for (; distance < 0; ++distance, --expected) {
                        if (cur == 0) { bof = true; break; }
                        --cur;
                    }
                }
                EXPECT_EQ(moved, expected);
                break;
            }
            case 4:
            case 5: {
                bool append = op == 5;
                if (append) table->BeginAppend(); else table->BeginInsert();
                table->FieldNamed("ID")->WriteAsInteger(nextId);
                table->PostChanges();
                if (append || ids.empty()) cur = append ? ids.size() : 0;
                ids.insert(ids.begin() + static_cast<long>(cur), nextId++);
                bof = eof = false;
                break;
            }
            case 6:
                if (ids.empty()) {
                    EXPECT_THROW(table->DeleteRecord(), EDatabaseError);
                    break;
                }
                table->DeleteRecord();
                ids.erase(ids.begin() + static_cast<long>(cur));
                if (cur >= ids.size() && cur > 0) --cur;
                bof = eof = ids.empty();
                break;
            case 7:
                if (ids.empty()) break;
                table->BeginEdit();
                table->FieldNamed("ID")->WriteAsInteger(nextId);
                table->PostChanges();
                ids[cur] = nextId++;
                bof = eof = false;
                break;
            case 8:
                mark = table->CurrentBookmarkString();
                markedId = ids.empty() ? 0 : ids[cur];
                break;
            case 9: {
                auto at = std::find(ids.begin(), ids.end(), markedId);
                if (mark.empty() || at == ids.end()) break;
                table->GotoBookmark(mark);
                cur = static_cast<size_t>(at - ids.begin());
                bof = eof = false;
                break;
            }
            default:
                if (ids.empty()) break;
                table->BeginInsert();
                table->CancelChanges();
                bof = eof = false;
                break;
            }
            ASSERT_EQ(table->IsEmpty(), ids.empty());
            if (!ids.empty()) ASSERT_EQ(CurrentId(*table), ids[cur]);
            ASSERT_EQ(table->Bof(), bof);
            ASSERT_EQ(table->Eof(), eof);
        }
        std::vector<int> walked;
        for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) walked.push_back(CurrentId(*table));
        EXPECT_EQ(walked, ids);
        link.SetDataSource(nullptr);
    }
}

TEST(DataSetNavigation, ScrollEventsSurroundEveryMove) {
    std::vector<int> before, after;
    auto table = MakeTable(3);
    table->OpenDataSet();
    table->BeforeScroll = [&](TDataSet& ds) { before.push_back(CurrentId(ds)); };
    table->AfterScroll = [&](TDataSet& ds) { after.push_back(CurrentId(ds)); };
    table->MoveToNext();
    table->MoveToLast();
    table->MoveToNext();  // already at the end: no move, no events
    EXPECT_EQ(before, (std::vector<int>{1, 2}));
    EXPECT_EQ(after, (std::vector<int>{2, 3}));
}

// A dataset with the window of a grid, as the libraries see it.
class WindowTable : public TMemoryTable {
public:
    using TMemoryTable::TMemoryTable;
    // What a library does when its record layout changes (another index, cached updates).
    void RebuildBuffers() {
        SetBufferListSize(0);
        SetBufferListSize(BufferCount() + 1);
        Resync(0);
    }
    int Window() const { return BufferCount(); }
};

TEST(DataSetNavigation, BuffersRebuiltByTheStorageKeepTheWindowAndPosition) {
    auto table = NewUnownedComponent<WindowTable>(std::vector<Column>{{"ID", ftInteger}});
    for (int i = 1; i <= 6; ++i) table->AddRow({Variant(i)});
    auto source = NewUnownedComponent<TDataSource>();
    source->SetDataSet(table.get());
    WindowLink link(3);
    link.SetDataSource(source.get());
    table->OpenDataSet();
    table->MoveBy(4);
    table->RebuildBuffers();
    EXPECT_EQ(table->Window(), 3);
    EXPECT_EQ(CurrentId(*table), 5);
    table->MoveToPrior();
    EXPECT_EQ(CurrentId(*table), 4);
    link.SetDataSource(nullptr);
}

TEST(DataSetNavigation, BlockReadingWalksWithoutScrollEvents) {
    int scrolls = 0;
    auto table = MakeTable(4);
    table->OpenDataSet();
    table->AfterScroll = [&](TDataSet&) { ++scrolls; };
    table->ChangeBlockReadSize(10);
    EXPECT_EQ(table->State(), dsBlockRead);
    std::vector<int> ids;
    for (; !table->Eof(); table->MoveToNext()) ids.push_back(CurrentId(*table));
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(scrolls, 0);
    table->ChangeBlockReadSize(0);
    EXPECT_EQ(table->State(), dsBrowse);
    table->AfterScroll = nullptr;
}

// ---------------------------------------------------------------- editing

TEST(DataSetEditing, PostWritesTheStorageAndCancelLeavesIt) {
    auto table = MakeTable(3);
    table->OpenDataSet();
    table->MoveToNext();
    table->BeginEdit();
    EXPECT_EQ(table->State(), dsEdit);
    table->FieldNamed("NAME")->WriteAsString("Changed");
    EXPECT_TRUE(table->Modified());
    EXPECT_EQ(table->FieldNamed("NAME")->OldValue().AsString(), "N2");
    table->PostChanges();
    EXPECT_EQ(table->State(), dsBrowse);
    EXPECT_EQ(table->Stored(1, "NAME").AsString(), "Changed");
    EXPECT_EQ(CurrentId(*table), 2);

    table->BeginEdit();
    table->FieldNamed("NAME")->WriteAsString("Dropped");
    table->CancelChanges();
    EXPECT_EQ(table->FieldNamed("NAME")->ReadAsString(), "Changed");
    EXPECT_EQ(table->Stored(1, "NAME").AsString(), "Changed");
}

TEST(DataSetEditing, InsertGoesBeforeTheCurrentRecordAppendAfterTheLast) {
    struct Case {
        const char* how;
        int startAt;  // records moved past the first before inserting
        std::vector<int> expectedIds;
    };
    const std::vector<Case> cases = {
        {"insert", 0, {9, 1, 2, 3}},
        {"insert", 2, {1, 2, 9, 3}},
        {"append", 1, {1, 2, 3, 9}},
    };
    for (const Case& c : cases) {
        for (int window : {1, 4}) {
            SCOPED_TRACE(std::string(c.how) + " at " + std::to_string(c.startAt) + " window " + std::to_string(window));
            auto table = MakeTable(3);
            auto source = NewUnownedComponent<TDataSource>();
            source->SetDataSet(table.get());
            WindowLink link(window);
            link.SetDataSource(source.get());
            table->OpenDataSet();
            table->MoveBy(c.startAt);
            if (AnsiString(c.how) == "insert") table->BeginInsert(); else table->BeginAppend();
            EXPECT_EQ(table->State(), dsInsert);
            EXPECT_TRUE(table->FieldNamed("ID")->IsNull());
            table->FieldNamed("ID")->WriteAsInteger(9);
            table->PostChanges();
            EXPECT_EQ(CurrentId(*table), 9);
            std::vector<int> ids;
            for (int i = 0; i < table->StoredCount(); ++i) ids.push_back(table->Stored(i, "ID").AsInteger());
            EXPECT_EQ(ids, c.expectedIds);
            std::vector<int> walked;
            for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) walked.push_back(CurrentId(*table));
            EXPECT_EQ(walked, c.expectedIds);
            link.SetDataSource(nullptr);
        }
    }
}

TEST(DataSetEditing, CancelledInsertLeavesTheStorageAndThePosition) {
    auto table = MakeTable(3);
    table->OpenDataSet();
    table->MoveToNext();
    table->BeginInsert();
    table->FieldNamed("ID")->WriteAsInteger(9);
    table->CancelChanges();
    EXPECT_EQ(table->StoredCount(), 3);
    EXPECT_EQ(CurrentId(*table), 2);
}

TEST(DataSetEditing, FailingNewRecordEventLeavesTheWindowAsItWas) {
    for (bool append : {false, true}) {
        SCOPED_TRACE(append ? "append" : "insert");
        auto table = MakeTable(3);
        table->OpenDataSet();
        table->MoveToNext();
        table->OnNewRecord = [](TDataSet&) { throw EDatabaseError("no new records"); };
        EXPECT_THROW(append ? table->BeginAppend() : table->BeginInsert(), EDatabaseError);
        EXPECT_EQ(table->State(), dsBrowse);
        EXPECT_EQ(table->StoredCount(), 3);
        std::vector<int> ids;
        for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) ids.push_back(CurrentId(*table));
        EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
    }
}

TEST(DataSetEditing, EditOnAnEmptyTableInserts) {
    auto table = MakeTable(0);
    table->OpenDataSet();
    table->BeginEdit();
    EXPECT_EQ(table->State(), dsInsert);
    table->FieldNamed("ID")->WriteAsInteger(1);
    table->PostChanges();
    EXPECT_EQ(table->StoredCount(), 1);
    EXPECT_FALSE(table->IsEmpty());
    EXPECT_EQ(CurrentId(*table), 1);
}

TEST(DataSetEditing, MovingPostsAPendingChangeAndDropsAnUntouchedOne) {
    auto table = MakeTable(3);
    table->OpenDataSet();
    table->BeginEdit();
    table->FieldNamed("NAME")->WriteAsString("Kept");
    table->MoveToNext();
    EXPECT_EQ(table->State(), dsBrowse);
    EXPECT_EQ(table->Stored(0, "NAME").AsString(), "Kept");

    table->BeginInsert();  // nothing written: leaving the record cancels it
    table->MoveToLast();
    EXPECT_EQ(table->StoredCount(), 3);
}

// A blob written through a stream marks its field modified for the record being edited
// only: however the record is left, the storage lets go of the value and the mark goes.
TEST(DataSetEditing, LeavingTheEditedRecordReleasesItsWrittenBlobs) {
    const struct {
        const char* how;
        std::function<void(TDataSet&)> leave;
    } cases[] = {
        {"post", [](TDataSet& ds) { ds.PostChanges(); }},
        {"cancel", [](TDataSet& ds) { ds.CancelChanges(); }},
        {"delete", [](TDataSet& ds) { ds.DeleteRecord(); }},
        {"move", [](TDataSet& ds) { ds.MoveToNext(); }},
        {"close", [](TDataSet& ds) { ds.CloseDataSet(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{{"ID", ftInteger}, {"NOTE", ftMemo}});
        table->AddRow({Variant(1), Variant()});
        table->AddRow({Variant(2), Variant()});
        table->OpenDataSet();
        table->BeginEdit();
        TField* note = table->FieldNamed("NOTE");
        note->WriteAsString("written");
        EXPECT_TRUE(note->Modified());
        EXPECT_TRUE(table->releasedBlobs.empty());
        c.leave(*table);
        EXPECT_FALSE(note->Modified());
        EXPECT_EQ(table->releasedBlobs, std::vector<AnsiString>{"NOTE"});
    }
}

TEST(DataSetEditing, DeleteMovesToTheNextOrThePreviousRecord) {
    auto table = MakeTable(3);
    table->OpenDataSet();
    table->MoveToNext();
    table->DeleteRecord();
    EXPECT_EQ(CurrentId(*table), 3);
    table->DeleteRecord();
    EXPECT_EQ(CurrentId(*table), 1);
    table->DeleteRecord();
    EXPECT_TRUE(table->IsEmpty());
    EXPECT_THROW(table->DeleteRecord(), EDatabaseError);
    EXPECT_EQ(table->StoredCount(), 0);
}

TEST(DataSetEditing, MissingRequiredValueKeepsTheInsertOpen) {
    auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{{"ID", ftInteger, 0, true}, {"NAME", ftString, 5}});
    table->OpenDataSet();
    table->BeginInsert();
    table->FieldNamed("NAME")->WriteAsString("x");
    try {
        table->PostChanges();
        FAIL() << "post without the required value";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field 'ID' must have a value");
    }
    EXPECT_EQ(table->State(), dsInsert);
    table->FieldNamed("ID")->WriteAsInteger(1);
    table->PostChanges();
    EXPECT_EQ(table->StoredCount(), 1);
}

TEST(DataSetEditing, WritesOutsideEditingAndToReadOnlyTablesAreRefused) {
    auto table = MakeTable(1);
    table->OpenDataSet();
    EXPECT_THROW(table->FieldNamed("ID")->WriteAsInteger(5), EDatabaseError);
    table->CloseDataSet();
    table->readOnly = true;
    table->OpenDataSet();
    EXPECT_THROW(table->BeginEdit(), EDatabaseError);
    EXPECT_EQ(table->State(), dsBrowse);
}

TEST(DataSetEditing, PostErrorEventDecidesBetweenFailAbortAndRetry) {
    struct Case {
        TDataSet::TDataAction action;
        bool expectAbort;
        bool expectError;
    };
    for (const Case& c : {Case{TDataSet::daFail, false, true}, Case{TDataSet::daAbort, true, false},
                          Case{TDataSet::daRetry, false, false}}) {
        auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{{"ID", ftInteger, 0, true}});
        table->OpenDataSet();
        table->BeginInsert();
        int calls = 0;
        table->OnPostError = [&](TDataSet& ds, const EDatabaseError&, TDataSet::TDataAction& action) {
            ++calls;
            action = c.action;
            if (c.action == TDataSet::daRetry) ds.FieldNamed("ID")->WriteAsInteger(4);
        };
        bool aborted = false, failed = false;
        try {
            table->PostChanges();
        } catch (const EAbort&) {
            aborted = true;
        } catch (const EDatabaseError&) {
            failed = true;
        }
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(aborted, c.expectAbort);
        EXPECT_EQ(failed, c.expectError);
        EXPECT_EQ(table->StoredCount(), c.action == TDataSet::daRetry ? 1 : 0);
    }
}

// ---------------------------------------------------------------- bookmarks

TEST(DataSetBookmarks, GoBackToAMarkedRecord) {
    auto table = MakeTable(5);
    table->OpenDataSet();
    table->MoveBy(2);
    TBookmark third = table->CurrentBookmarkString();
    ASSERT_EQ(third.size(), 4u);
    table->MoveToLast();
    TBookmark fifth = table->CurrentBookmarkString();
    EXPECT_LT(table->OrderBookmarks(third, fifth), 0);
    table->GotoBookmark(third);
    EXPECT_EQ(CurrentId(*table), 3);
    EXPECT_TRUE(table->IsBookmarkValid(third));
    table->DeleteRecord();
    EXPECT_FALSE(table->IsBookmarkValid(third));
    EXPECT_THROW(table->GotoBookmark(third), EDatabaseError);
}

TEST(DataSetBookmarks, NoBookmarkWhileInsertingOrEmpty) {
    auto table = MakeTable(0);
    table->OpenDataSet();
    EXPECT_TRUE(table->CurrentBookmarkString().empty());
    table->BeginInsert();
    EXPECT_TRUE(table->CurrentBookmarkString().empty());
}

// ---------------------------------------------------------------- filters, calculated fields

TEST(DataSetFilter, RecordFilterSeesTheRecordUnderTest) {
    auto table = MakeTable(6);
    table->SetOnFilterRecord([](TDataSet& ds, bool& accept) { accept = ds.FieldNamed("ACTIVE")->ReadAsBoolean(); });
    table->SetFiltered(true);
    table->OpenDataSet();
    std::vector<int> ids;
    for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) ids.push_back(CurrentId(*table));
    EXPECT_EQ(ids, (std::vector<int>{2, 4, 6}));
}

TEST(DataSetFilter, FailingFilterEventIsHandledAndAccepts) {
    auto table = MakeTable(2);
    table->SetOnFilterRecord([](TDataSet&, bool&) { throw Exception("filter broke"); });
    table->SetFiltered(true);
    table->OpenDataSet();
    int count = 0;
    for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) ++count;
    EXPECT_EQ(count, 2);
    EXPECT_GT(table->handledErrors, 0);
}

TEST(DataSetCalcFields, ComputedOnFetchAndAfterEveryChange) {
    auto table = MakeTable(2);
    auto doubled = NewComponent<TIntegerField>(*table);
    doubled->SetFieldName("DOUBLED");
    doubled->SetFieldKind(fkCalculated);
    std::vector<AnsiString> persistent = {"ID", "NAME"};
    for (const AnsiString& name : persistent) {
        auto* f = name == "ID" ? static_cast<TField*>(NewComponent<TIntegerField>(*table))
                               : static_cast<TField*>(NewComponent<TStringField>(*table));
        f->SetFieldName(name);
        if (name == "NAME") f->SetSize(10);
        f->BindToDataSet(table.get());
    }
    doubled->BindToDataSet(table.get());
    table->OnCalcFields = [](TDataSet& ds) {
        ds.FieldNamed("DOUBLED")->WriteAsInteger(ds.FieldNamed("ID")->ReadAsInteger() * 2);
    };
    table->OpenDataSet();
    EXPECT_FALSE(table->DefaultFields());
    EXPECT_EQ(doubled->ReadAsInteger(), 2);
    table->MoveToNext();
    EXPECT_EQ(doubled->ReadAsInteger(), 4);
    table->BeginEdit();
    table->FieldNamed("ID")->WriteAsInteger(21);
    EXPECT_EQ(doubled->ReadAsInteger(), 42);
}

TEST(DataSetCalcFields, LookupFieldsFollowTheirKey) {
    auto names = NewUnownedComponent<TMemoryTable>(std::vector<Column>{{"ID", ftInteger}, {"TITLE", ftString, 10}});
    names->AddRow({Variant(1), Variant("one")});
    names->AddRow({Variant(2), Variant("two")});
    names->OpenDataSet();
    auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{{"CODE", ftInteger}});
    table->AddRow({Variant(2)});
    table->AddRow({Variant(3)});
    auto* code = NewComponent<TIntegerField>(*table);
    code->SetFieldName("CODE");
    code->BindToDataSet(table.get());
    auto* title = NewComponent<TStringField>(*table);
    title->SetFieldName("TITLE");
    title->SetSize(10);
    title->SetFieldKind(fkLookup);
    title->SetLookupDataSet(names.get());
    title->KeyFields = "CODE";
    title->LookupKeyFields = "ID";
    title->LookupResultField = "TITLE";
    title->BindToDataSet(table.get());
    table->OpenDataSet();
    EXPECT_EQ(title->ReadAsString(), "two");
    table->MoveToNext();
    EXPECT_TRUE(title->IsNull());
    table->BeginEdit();
    code->WriteAsInteger(1);
    EXPECT_EQ(title->ReadAsString(), "one");
}

// ---------------------------------------------------------------- persistent fields

TEST(DataSetPersistentFields, AnIntegerFieldOverASmallintColumnReadsItsWidth) {
    // The installation exports put an integer field on every smallint column.
    auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{{"S", ftSmallint}, {"W", ftWord}});
    table->AddRow({Variant(-2), Variant(65000)});
    for (const char* name : {"S", "W"}) {
        auto* field = NewComponent<TIntegerField>(*table);
        field->SetFieldName(name);
        field->BindToDataSet(table.get());
    }
    table->OpenDataSet();
    EXPECT_EQ(table->FieldNamed("S")->ReadAsInteger(), -2);
    EXPECT_EQ(table->FieldNamed("W")->ReadAsInteger(), 65000);
    table->BeginEdit();
    table->FieldNamed("S")->WriteAsInteger(-300);
    EXPECT_THROW(table->FieldNamed("S")->WriteAsInteger(40000), EDatabaseError);
    table->PostChanges();
    EXPECT_EQ(table->Stored(0, "S").AsInteger(), -300);
}

TEST(DataSetPersistentFields, FieldsAdoptTheirColumnsFormOrStopTheOpen) {
    struct Case {
        TFieldType column;
        const char* fieldClass;
        bool opens;
        const char* written;  // through WriteAsString, read back the same
    };
    for (const Case& c : {Case{ftDate, "TDateTimeField", true, "02.01.2001"},
                          Case{ftDateTime, "TDateField", true, "02.01.2001"},
                          Case{ftCurrency, "TFloatField", true, "2.5"},
                          Case{ftLargeint, "TIntegerField", false, ""},
                          Case{ftFloat, "TStringField", false, ""},
                          Case{ftBoolean, "TIntegerField", false, ""}}) {
        SCOPED_TRACE(std::string(c.fieldClass) + " over " + std::to_string(c.column));
        TFormatSettings saved = FormatSettings();
        FormatSettings().ShortDateFormat = "dd.mm.yyyy";
        FormatSettings().DateSeparator = '.';
        FormatSettings().DecimalSeparator = '.';
        auto table = NewUnownedComponent<TMemoryTable>(std::vector<Column>{{"V", c.column}});
        table->AddRow({});
        RegisterFieldClasses();
        auto* field = static_cast<TField*>(GetComponentClass(c.fieldClass).CreateOwned(*table));
        field->SetFieldName("V");
        field->BindToDataSet(table.get());
        if (c.opens) {
            table->OpenDataSet();
            table->BeginEdit();
            field->WriteAsString(c.written);
            table->PostChanges();
            EXPECT_EQ(field->ReadAsString(), c.written);
        } else {
            EXPECT_THROW(table->OpenDataSet(), EDatabaseError);
            EXPECT_FALSE(table->Active());
        }
        FormatSettings() = saved;
    }
}

TEST(DataSetPersistentFields, AFieldMissingFromTheStorageStopsTheOpen) {
    auto table = MakeTable(1);
    table->SetName("Table1");
    auto* field = NewComponent<TStringField>(*table);
    field->SetFieldName("NOPE");
    field->BindToDataSet(table.get());
    try {
        table->OpenDataSet();
        FAIL() << "opened with an unknown field";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Table1: Field 'NOPE' not found");
    }
    EXPECT_FALSE(table->Active());
}

TEST(DataSetPersistentFields, RemoveAllFreesComponentOwnedFields) {
    auto table = MakeTable(1);
    auto* field = NewComponent<TIntegerField>(*table);
    field->SetFieldName("ID");
    field->BindToDataSet(table.get());
    EXPECT_EQ(table->ComponentCount(), 1);
    table->Fields().RemoveAll();
    EXPECT_EQ(table->ComponentCount(), 0);
    EXPECT_EQ(table->Fields().Count(), 0);
    table->OpenDataSet();  // default fields again
    EXPECT_EQ(table->Fields().Count(), 4);
}

TEST(DataSetFields, UnknownNamesAndPositionsRaise) {
    auto table = MakeTable(1);
    table->SetName("T");
    table->OpenDataSet();
    EXPECT_EQ(table->FindField("nope"), nullptr);
    EXPECT_EQ(table->FindField("name"), table->FieldNamed("NAME"));
    try {
        table->FieldNamed("nope");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "T: Field 'nope' not found");
    }
    try {
        table->Fields().FieldAt(4);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field index out of range");
    }
    Variant both = table->FieldValues("ID; NAME");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(both[1].AsString(), "N1");
}

TEST(DataSetLifecycle, FailedOpenLeavesTheDatasetClosed) {
    auto table = MakeTable(1);
    table->AfterOpen = [](TDataSet&) {};
    table->BeforeOpen = [](TDataSet&) { throw EDatabaseError("no"); };
    EXPECT_THROW(table->OpenDataSet(), EDatabaseError);
    EXPECT_FALSE(table->Active());
    table->BeforeOpen = nullptr;
    table->OpenDataSet();
    EXPECT_TRUE(table->Active());
}

TEST(DataSetLifecycle, ActiveReadFromAFormOpensWhenLoadingEnds) {
    auto table = MakeTable(1);
    table->IncludeState(csLoading);
    table->SetPropertyValue("Active", Variant(true));
    EXPECT_FALSE(table->Active());
    table->StreamingCompleted();
    EXPECT_TRUE(table->Active());
}

TEST(IndexDefinitions, FoundByTheirExactFieldList) {
    TIndexDefs defs;
    defs.Add("BYNAME", "NAME", ixCaseInsensitive);
    defs.Add("PK", "ID", ixPrimary | ixUnique);
    defs.Add("BOTH", "ID;NAME", 0);
    defs.Add("EXPR", "ID;NAME", ixExpression);
    struct Case {
        const char* fields;
        const char* found;               // by the case-blind search
        bool caseFlag;
        const char* foundWithCaseFlag;  // by the search with a case flag
    };
    for (const Case& c : {Case{"id", "PK", false, "PK"}, Case{" ID ; name", "BOTH", false, "BOTH"},
                          Case{"NAME", "BYNAME", false, ""}, Case{"NAME", "BYNAME", true, "BYNAME"},
                          Case{"NAME;ID", "", false, ""}, Case{"ID;NAME;X", "", false, ""}}) {
        SCOPED_TRACE(c.fields);
        if (*c.found) {
            EXPECT_EQ(defs.FindIndexForFields(c.fields).Name(), c.found);
        } else {
            EXPECT_THROW(defs.FindIndexForFields(c.fields), EDatabaseError);
        }
        TIndexDef* withFlag = defs.GetIndexForFields(c.fields, c.caseFlag);
        EXPECT_EQ(withFlag ? withFlag->Name() : AnsiString(), c.foundWithCaseFlag);
    }
    int refreshed = 0;
    defs.SetUpdateHandler([&] { ++refreshed; });
    defs.SetUpdated(false);
    defs.Update();
    defs.Update();
    EXPECT_EQ(refreshed, 1);
}
