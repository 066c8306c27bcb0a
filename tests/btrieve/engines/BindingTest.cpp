// The dataset components bound to the Btrieve engine: the default session, the component
// classes that form descriptions create, and a database on a registered alias whose
// table is read and written through the dataset framework.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <thread>

#include "btrieve/components/DBEngineError.h"
#include "btrieve/engines/QbDatabase.h"
#include "btrieve/engines/QbSession.h"
#include "btrieve/engines/QbTable.h"
#include "platform/DataLink.h"
#include "platform/Field.h"
#include "platform/FormReader.h"
#include "platform/Registry.h"
#include "tests/btrieve/engines/EngineTestSupport.h"

namespace {

using namespace btrieve;
using platform::AnsiString;

constexpr const char* kAlias = "BindingTest";

// A settings table with a Cyrillic field name (code page 1251 in the dictionary).
const char* kSettingsTables =
    "table Settings SETTINGS.DAT\n"
    "field CODE integer 4\n"
    "field \"ID эмитента\" float 8\n"
    "field NAME string 20\n"
    "field ACTIVE logical 1\n"
    "key CODE\n"
    "row 1 1234 First true\n"
    "row 2 5.5 Second false\n"
    "table Notes NOTES.DAT\n"
    "field ID integer 4\n"
    "field MEMO 12 20\n"
    "key ID\n"
    "row 1 null\n"
    "table Numbers NUMBERS.DAT\n"
    "field CODE integer 4\n"
    "field MEMO 12 20\n"
    "key CODE\n"
    "row 1 null\nrow 2 null\nrow 3 null\nrow 4 null\nrow 5 null\n"
    "table People PEOPLE.DAT\n"
    "field ID integer 4\n"
    "field NAME string 20\n"
    "key ID\n"
    "key NAME dup mod nocase\n"
    "indexname 1 ByName\n"
    "row 1 Clara\nrow 2 anna\nrow 3 Boris\n"
    // Visits by day, several a day: the key alone does not tell a visit from another.
    "table Visits VISITS.DAT\n"
    "field DAY integer 4\n"
    "field SEQ integer 4\n"
    "field NOTE string 12\n"
    "key DAY dup\n"
    "row 1 1 one\n"
    "row 1 2 two\n"
    "row 1 3 three\n"
    "row 2 4 four\n"
    "row 2 5 five\n"
    "row 2 6 six\n"
    "table Loose LOOSE.DAT\n"
    "field CODE integer 4\n"
    "row 1\nrow 2\n";

// "ID эмитента" in code page 1251.
const AnsiString kIssuerField = "ID \xFD\xEC\xE8\xF2\xE5\xED\xF2\xE0";

class BindingTest : public ::testing::Test {
protected:
    void SetUp() override {
        BtrieveSettings() = TBtrieveSettings{};
        btrtest::ClearBtrieveConfiguration();
        dir = btrtest::ScratchDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
        btrtest::WriteFixture(dir, kSettingsTables);
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.EnterKey(AnsiString("\\Software\\Quillon\\Btrieve\\Aliases\\") + kAlias, true));
        registry.PutString("PhysicalName", dir.substr(0, dir.size() - 1));
        // Names in the dictionary are ANSI text, as the deliverables configure it.
        btrtest::PutConfiguration("Intl", "IgnoreAnsiOEM", 1);
        btrtest::PutConfiguration("Intl", "IgnoreOEMAnsi", 1);
        platform::RegisterFieldClasses();
        StartBtrieveLibrary(false);
    }
    void TearDown() override {
        StopBtrieveLibrary();
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        registry.RemoveKey(AnsiString("\\Software\\Quillon\\Btrieve\\Aliases\\") + kAlias);
    }

    // A database "baza" on the alias, without owner.
    void ConnectDatabase() {
        database = platform::NewUnownedComponent<TQbDatabase>();
        database->SetDatabaseName("baza");
        database->SetAliasName(kAlias);
        database->OpenConnection();
    }
    // A table of "baza" without owner, not opened yet.
    static std::unique_ptr<TQbTable> TableOf(const char* tableName) {
        auto made = platform::NewUnownedComponent<TQbTable>();
        made->SetDatabaseName("baza");
        made->SetTableName(tableName);
        return made;
    }
    void OpenSettings() {
        ConnectDatabase();
        table = TableOf("settings.dat");
        table->OpenDataSet();
    }

    std::string dir;
    std::unique_ptr<TQbDatabase> database;
    std::unique_ptr<TQbTable> table;
};

TEST_F(BindingTest, DefaultSessionAndComponentClasses) {
    TQnSessionlist* list = qbbinding::SessionList();
    ASSERT_NE(list, nullptr);
    TQnSession* session = list->FindSession("btrieve");
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session, qbbinding::DefaultSession());
    EXPECT_TRUE(session->IsPrimary());
    EXPECT_FALSE(session->Active());
    EXPECT_EQ(qbbinding::Engine(), nullptr);  // the client is loaded on first use
    for (const char* name : {"TQbSession", "TQbDatabase", "TQbTable", "TQbBatchMove"}) {
        const platform::TClassInfo* info = platform::FindComponentClass(name);
        ASSERT_NE(info, nullptr) << name;
        EXPECT_TRUE(info->CanCreate()) << name;
    }
    // Published properties come from the component classes they bind.
    EXPECT_NE(platform::FindComponentClass("TQbDatabase")->FindProperty("AliasName"), nullptr);
    EXPECT_NE(platform::FindComponentClass("TQbTable")->FindProperty("TableName"), nullptr);
    // A database without a session of its own joins the default session.
    auto db = platform::NewUnownedComponent<TQbDatabase>();
    EXPECT_EQ(db->Session(), session);
    EXPECT_EQ(db->SessionName(), "Btrieve");
}

TEST_F(BindingTest, ReadsAndWritesFieldsOfATableOnAnAlias) {
    OpenSettings();
    ASSERT_TRUE(database->Connected());
    EXPECT_TRUE(qbbinding::DefaultSession()->Active());
    ASSERT_TRUE(table->Active());
    EXPECT_EQ(table->Fields().Count(), 4);
    table->MoveToFirst();
    EXPECT_EQ(table->FieldNamed("CODE")->ReadAsInteger(), 1);
    EXPECT_EQ(table->FieldNamed(kIssuerField)->ReadAsString(), "1234");
    EXPECT_EQ(table->FieldNamed("NAME")->ReadAsString(), "First");
    EXPECT_TRUE(table->FieldNamed("ACTIVE")->ReadAsBoolean());
    table->MoveToNext();
    EXPECT_DOUBLE_EQ(table->FieldNamed(kIssuerField)->ReadAsFloat(), 5.5);

    // Edit the first record, append a third.
    table->MoveToFirst();
    table->BeginEdit();
    table->FieldNamed("NAME")->WriteAsString("Changed");
    table->FieldNamed(kIssuerField)->WriteAsFloat(77);
    table->PostChanges();
    table->BeginAppend();
    table->FieldNamed("CODE")->WriteAsInteger(3);
    table->FieldNamed("NAME")->WriteAsString("Third");
    table->FieldNamed("ACTIVE")->WriteAsBoolean(true);
    table->PostChanges();
    table->CloseDataSet();
    database->CloseConnection();

    // A fresh database and table see what was posted.
    table.reset();
    database.reset();
    OpenSettings();
    EXPECT_EQ(table->CountRecords(), 3);
    table->MoveToFirst();
    EXPECT_EQ(table->FieldNamed("NAME")->ReadAsString(), "Changed");
    EXPECT_EQ(table->FieldNamed(kIssuerField)->ReadAsString(), "77");
    table->MoveToLast();
    EXPECT_EQ(table->FieldNamed("CODE")->ReadAsInteger(), 3);
    EXPECT_EQ(table->FieldNamed("NAME")->ReadAsString(), "Third");
}

// Two clients of one record: Edit locks the record, so the second client's Edit is
// refused while the first edits, and the first client's Post or Cancel lets it in.
TEST_F(BindingTest, EditLocksTheRecordUntilPostOrCancel) {
    const auto lockCode = [](platform::TDataSet& dataset) -> uint16_t {
        try {
            dataset.BeginEdit();
        } catch (const ETDBEngineError& error) {
            return error.ErrorCode();
        }
        return 0;
    };
    OpenSettings();
    auto other = TableOf("settings.dat");
    other->OpenDataSet();
    table->MoveToFirst();
    other->MoveToFirst();

    table->BeginEdit();
    table->FieldNamed("NAME")->WriteAsString("First's");
    EXPECT_EQ(lockCode(*other), 0x2801);
    EXPECT_EQ(other->State(), platform::dsBrowse);
    table->PostChanges();

    // The refused client now edits the record as posted, not the copy it read before.
    ASSERT_EQ(lockCode(*other), 0);
    EXPECT_EQ(other->FieldNamed("NAME")->ReadAsString(), "First's");
    EXPECT_EQ(lockCode(*table), 0x2801);
    other->CancelChanges();
    ASSERT_EQ(lockCode(*table), 0);
    table->FieldNamed("NAME")->WriteAsString("Again");
    table->PostChanges();

    // Another record is not locked by an edit of the first.
    other->MoveToNext();
    table->BeginEdit();
    EXPECT_EQ(lockCode(*other), 0);
    other->CancelChanges();
    table->CancelChanges();
    other->MoveToFirst();
    EXPECT_EQ(other->FieldNamed("NAME")->ReadAsString(), "Again");
}

// Block reading on the Btrieve cursor begins with the record the dataset is on, and the
// blocks that follow continue from the engine's position behind it.
TEST_F(BindingTest, BlockReadingStartsAtTheActiveRecord) {
    ConnectDatabase();
    table = TableOf("numbers.dat");
    table->OpenDataSet();
    for (int size : {1, 2, 1000000000}) {
        for (int start : {1, 3}) {
            table->MoveToFirst();
            while (table->FieldNamed("CODE")->ReadAsInteger() != start) table->MoveToNext();
            table->ChangeBlockReadSize(size);
            ASSERT_EQ(table->State(), platform::dsBlockRead);
            std::vector<int> codes;
            for (int guard = 0; !table->Eof() && guard < 20; ++guard) {
                codes.push_back(table->FieldNamed("CODE")->ReadAsInteger());
                table->MoveToNext();
            }
            std::vector<int> expected;
            for (int i = start; i <= 5; ++i) expected.push_back(i);
            EXPECT_EQ(codes, expected) << size << " " << start;
            table->ChangeBlockReadSize(0);
        }
    }
    // The memos of the block's records are read from the records themselves.
    const std::vector<AnsiString> written = {"", "two", "", "four", ""};
    for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) {
        const AnsiString& memo = written[static_cast<size_t>(table->FieldNamed("CODE")->ReadAsInteger() - 1)];
        if (memo.empty()) continue;
        table->BeginEdit();
        table->FieldNamed("MEMO")->WriteAsString(memo);
        table->PostChanges();
    }
    std::vector<AnsiString> browsed;
    for (table->MoveToFirst(); !table->Eof(); table->MoveToNext())
        browsed.push_back(table->FieldNamed("MEMO")->ReadAsString());
    ASSERT_EQ(browsed, written);
    table->MoveToFirst();
    table->ChangeBlockReadSize(2);
    std::vector<AnsiString> memos;
    for (int guard = 0; !table->Eof() && guard < 20; ++guard) {
        memos.push_back(table->FieldNamed("MEMO")->ReadAsString());
        table->MoveToNext();
    }
    EXPECT_EQ(memos, written);
}

// The Btrieve database is not of the standard type: a table opens its cursor on the
// chosen index at once, and a closed table reads its index definitions from the index
// list. The dataset sets its update mode on every cursor of such a database, at the open
// and whenever it changes; the Btrieve cursor accepts that property and ignores it (its
// record locks guard an edit), so a table opens and posts under every update mode.
TEST_F(BindingTest, TablesOfTheBtrieveDatabaseOpenOnTheirIndex) {
    const auto names = [](TQbTable& people) {
        std::vector<AnsiString> read;
        for (people.MoveToFirst(); !people.Eof(); people.MoveToNext())
            read.push_back(people.FieldNamed("NAME")->ReadAsString());
        return read;
    };
    std::vector<AnsiString> byName = {"anna", "Boris", "Clara"};
    ConnectDatabase();
    ASSERT_TRUE(database->SQLBased());

    auto people = TableOf("people.dat");
    people->IndexDefs().Update();
    ASSERT_EQ(people->IndexDefs().Count(), 2);
    EXPECT_EQ(people->IndexDefs().Items(0).Fields(), "ID");
    EXPECT_EQ(people->IndexDefs().Items(1).Name(), "ByName");
    EXPECT_EQ(people->IndexDefs().Items(1).Fields(), "NAME");
    EXPECT_TRUE(people->IndexDefs().Items(1).Options() & platform::ixCaseInsensitive);
    EXPECT_FALSE(people->Active());

    for (bool byFields : {false, true}) {
        if (byFields)
            people->SetIndexFieldNames("NAME");
        else
            people->SetIndexName("ByName");
        people->SetAutoRefresh(true);
        people->OpenDataSet();
        EXPECT_EQ(names(*people), byName) << byFields;
        people->CloseDataSet();
        people->SetIndexName("");
    }
    people->OpenDataSet();
    EXPECT_EQ(names(*people), (std::vector<AnsiString>{"Clara", "anna", "Boris"}));
    people->CloseDataSet();

    // A table without a key lists no index while closed.
    auto loose = TableOf("loose.dat");
    EXPECT_NO_THROW(loose->IndexDefs().Update());
    EXPECT_EQ(loose->IndexDefs().Count(), 0);
    // Without DefaultIndex the cursor still opens, on the first key.
    people->SetDefaultIndex(false);
    people->OpenDataSet();
    EXPECT_EQ(names(*people), (std::vector<AnsiString>{"Clara", "anna", "Boris"}));
    people->CloseDataSet();

    const platform::TUpdateMode modes[] = {platform::upWhereAll, platform::upWhereChanged, platform::upWhereKeyOnly};
    for (platform::TUpdateMode mode : modes) {
        SCOPED_TRACE(static_cast<int>(mode));
        const AnsiString name = "Clara" + std::to_string(static_cast<int>(mode));
        people->SetUpdateMode(mode);
        ASSERT_NO_THROW(people->OpenDataSet());
        for (platform::TUpdateMode other : modes) EXPECT_NO_THROW(people->SetUpdateMode(other));
        people->SetUpdateMode(mode);
        people->MoveToFirst();
        people->BeginEdit();
        people->FieldNamed("NAME")->WriteAsString(name);
        people->PostChanges();
        people->CloseDataSet();
        people->OpenDataSet();
        people->MoveToFirst();
        EXPECT_EQ(people->FieldNamed("NAME")->ReadAsString(), name);
        people->CloseDataSet();
    }
}

// A scan that runs off either end stays on the record it read last: the move back reaches
// that record's neighbour, its bookmark leads back to it, and an edit changes it and no
// other record of its key value. Also with a filter that reads on past the last record it
// accepts.
TEST_F(BindingTest, AScanOffTheEndStaysOnTheRecordItReadLast) {
    const struct {
        const char* table;
        bool filtered;  // visits 2 to 5 only
        int first, last;
    } cases[] = {{"visits.dat", false, 1, 6}, {"visits.dat", true, 2, 5}};
    const char* const notes[] = {"one", "two", "three", "four", "five", "six"};
    ConnectDatabase();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.table) + (c.filtered ? " filtered" : ""));
        table = TableOf(c.table);
        if (c.filtered) {
            table->SetOnFilterRecord([](platform::TDataSet& dataset, bool& accept) {
                const int seq = dataset.FieldNamed("SEQ")->ReadAsInteger();
                accept = seq > 1 && seq < 6;
            });
            table->SetFiltered(true);
        }
        table->OpenDataSet();
        auto seq = [&] { return table->FieldNamed("SEQ")->ReadAsInteger(); };

        for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) {
        }
        ASSERT_EQ(seq(), c.last);
        const platform::TBookmark last = table->CurrentBookmarkString();
        table->MoveToPrior();
        EXPECT_EQ(seq(), c.last - 1);
        table->MoveToFirst();
        table->GotoBookmark(last);
        EXPECT_EQ(seq(), c.last);
        for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) {
        }
        table->BeginEdit();
        table->FieldNamed("NOTE")->WriteAsString("last");
        table->PostChanges();

        for (table->MoveToLast(); !table->Bof(); table->MoveToPrior()) {
        }
        ASSERT_EQ(seq(), c.first);
        table->MoveToNext();
        EXPECT_EQ(seq(), c.first + 1);
        for (table->MoveToLast(); !table->Bof(); table->MoveToPrior()) {
        }
        table->BeginEdit();
        table->FieldNamed("NOTE")->WriteAsString("first");
        table->PostChanges();
        table->CloseDataSet();

        // Only the two records the scans ended on changed.
        table = TableOf(c.table);
        table->OpenDataSet();
        int records = 0;
        for (table->MoveToFirst(); !table->Eof(); table->MoveToNext(), ++records) {
            const int n = seq();
            ASSERT_TRUE(n >= 1 && n <= 6);
            EXPECT_EQ(table->FieldNamed("NOTE")->ReadAsString(),
                      n == c.first ? "first" : n == c.last ? "last" : notes[n - 1])
                << "visit " << n;
        }
        EXPECT_EQ(records, 6);
        // The notes as they were, for the next case.
        for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) {
            table->BeginEdit();
            table->FieldNamed("NOTE")->WriteAsString(notes[seq() - 1]);
            table->PostChanges();
        }
        table->CloseDataSet();
    }
}

// A control showing three records at once: each record of the window keeps its own
// bookmark, so an edit of a record behind the last one read changes that record.
TEST_F(BindingTest, ARecordOfAWindowIsEditedWhereItIs) {
    ConnectDatabase();
    table = TableOf("visits.dat");
    table->OpenDataSet();
    platform::TDataSource source(nullptr);
    source.SetDataSet(table.get());
    platform::TDataLink grid;
    grid.SetDataSource(&source);
    grid.SetBufferCount(3);
    auto seq = [&] { return table->FieldNamed("SEQ")->ReadAsInteger(); };
    for (table->MoveToFirst(); !table->Eof(); table->MoveToNext()) {
    }
    ASSERT_EQ(seq(), 6);
    table->MoveBy(-2);
    ASSERT_EQ(seq(), 4);
    table->BeginEdit();
    table->FieldNamed("NOTE")->WriteAsString("edited");
    table->PostChanges();
    grid.SetDataSource(nullptr);

    std::vector<std::string> notes;
    for (table->MoveToFirst(); !table->Eof(); table->MoveToNext())
        notes.push_back(table->FieldNamed("NOTE")->ReadAsString());
    EXPECT_EQ(notes, (std::vector<std::string>{"one", "two", "three", "edited", "five", "six"}));
}

// Locate, Lookup and filters on fields without an index compare the values the cursor
// reads with the values asked for, whatever the field's Btrieve type.
TEST_F(BindingTest, LocateLookupAndFiltersOnFieldsWithoutAnIndex) {
    OpenSettings();
    const auto code = [this] { return table->FieldNamed("CODE")->ReadAsInteger(); };
    struct Case {
        AnsiString field;
        platform::Variant value;
        platform::TLocateOptions options;
    };
    for (const Case& c : {Case{"NAME", platform::Variant("Second"), 0},
                          Case{"NAME", platform::Variant("Sec"), platform::loPartialKey},
                          Case{"NAME", platform::Variant("SECOND"), platform::loCaseInsensitive},
                          Case{kIssuerField, platform::Variant(5.5), 0},
                          Case{"ACTIVE", platform::Variant(false), 0}}) {
        table->MoveToFirst();
        EXPECT_TRUE(table->LocateByValues(c.field, c.value, c.options)) << c.field;
        EXPECT_EQ(code(), 2) << c.field;
    }
    table->MoveToFirst();
    EXPECT_FALSE(table->LocateByValues("NAME", platform::Variant("Third"), 0));
    EXPECT_EQ(table->LookupValues(kIssuerField, platform::Variant(1234), "NAME").AsString(), "First");
    table->SetFilter("NAME = 'Second'");
    table->SetFiltered(true);
    table->MoveToFirst();
    EXPECT_EQ(code(), 2);
    EXPECT_EQ(table->CountRecords(), 1);
}

// Only Edit reads with the record lock. Every other read of the dataset layer takes
// none: another client's reads of a record under edit are not refused, and leave no
// lock behind that would refuse the next Edit.
TEST_F(BindingTest, ReadsOtherThanEditTakeNoRecordLock) {
    OpenSettings();
    auto other = TableOf("settings.dat");
    other->OpenDataSet();
    const auto reads = [&other](const char* step) {
        SCOPED_TRACE(step);
        other->MoveToFirst();
        EXPECT_NO_THROW(other->RefreshRecords());
        EXPECT_TRUE(other->LocateByValues("NAME", platform::Variant("First"), 0));
        EXPECT_EQ(other->LookupValues("CODE", platform::Variant(1), "NAME").AsString(), "First");
        EXPECT_TRUE(other->LocateByValues("CODE", platform::Variant(1), 0));
        const platform::TBookmark mark = other->CurrentBookmarkString();
        other->MoveToLast();
        EXPECT_TRUE(other->IsBookmarkValid(mark));
        other->GotoBookmark(mark);
        EXPECT_EQ(other->CountRecords(), 2);
        other->ChangeBlockReadSize(10);
        EXPECT_EQ(other->FieldNamed("CODE")->ReadAsInteger(), 1);
        other->ChangeBlockReadSize(0);
        other->MoveToFirst();
    };
    table->MoveToFirst();
    table->BeginEdit();
    reads("while the record is under edit");
    table->FieldNamed("NAME")->WriteAsString("First");
    table->PostChanges();

    reads("before the edit");
    other->BeginAppend();
    other->FieldNamed("CODE")->WriteAsInteger(3);
    other->PostChanges();
    table->MoveToFirst();
    EXPECT_NO_THROW(table->BeginEdit());
    table->CancelChanges();
    table->MoveToLast();
    EXPECT_EQ(table->FieldNamed("CODE")->ReadAsInteger(), 3);
    EXPECT_NO_THROW(table->BeginEdit());
    table->CancelChanges();

    // With cached updates a post goes to the cache and gives the record's lock up too.
    table->SetCachedUpdates(true);
    table->MoveToFirst();
    table->BeginEdit();
    table->FieldNamed("NAME")->WriteAsString("Cached");
    table->PostChanges();
    other->MoveToFirst();
    EXPECT_NO_THROW(other->BeginEdit());
    other->CancelChanges();
    // The cached change is dropped on purpose (leaving cached updates reports it).
    EXPECT_THROW(table->SetCachedUpdates(false), ETDBEngineError);
}

// A second client of a data file: its own open of the file tries to lock the record whose
// key 0 is the given 4-byte value, without waiting, and gives the record manager's status
// (0 when the record was free; closing the file gives the lock back).
int16_t NoWaitLockStatus(const std::string& file, int32_t key) {
    uint8_t block[kPositionBlockSize] = {};
    uint8_t keyBuffer[kKeyBufferSize] = {};
    std::memcpy(keyBuffer, file.c_str(), std::min<size_t>(file.size(), kKeyBufferSize - 1));
    uint32_t length = 0;
    int16_t status = CallBtrieve(OpOpen, block, nullptr, &length, keyBuffer, 255, kOpenNormal, nullptr);
    if (status) return static_cast<int16_t>(-status);  // no open: a status no lock gives
    std::memset(keyBuffer, 0, sizeof keyBuffer);
    std::memcpy(keyBuffer, &key, sizeof key);
    uint8_t record[1024];
    length = sizeof record;
    status = CallBtrieve(OpGetEqual + kSingleNoWaitLockBias, block, record, &length, keyBuffer, 255, 0, nullptr);
    length = 0;
    CallBtrieve(OpClose, block, nullptr, &length, nullptr, 0, 0, nullptr);
    return status;
}

// The lock Edit takes stays until the edit ends, with cached updates as without: a post,
// a cancel, or closing the table in the middle of the edit gives it back; a post that
// fails keeps it until the edit is cancelled. Another client's attempt to lock the
// record tells.
TEST_F(BindingTest, RecordLockLastsUntilTheEditEnds) {
    const std::string file = dir + "SETTINGS.DAT";
    const auto post = [](TQbTable& t) { t.PostChanges(); };
    const auto cancel = [](TQbTable& t) { t.CancelChanges(); };
    const auto close = [](TQbTable& t) { t.CloseDataSet(); };
    const auto duplicateKey = [](TQbTable& t) { t.FieldNamed("CODE")->WriteAsInteger(2); };
    const auto refusedByBeforePost = [](TQbTable& t) {
        t.BeforePost = [](platform::TDataSet&) { throw platform::Exception("refused"); };
    };
    struct Case {
        const char* what;
        bool cached;
        std::function<void(TQbTable&)> spoil;  // makes the post fail; none: it goes through
        std::function<void(TQbTable&)> end;
    };
    const Case cases[] = {
        {"post", false, nullptr, post},
        {"cancel", false, nullptr, cancel},
        {"close", false, nullptr, close},
        {"cached post", true, nullptr, post},
        {"cached cancel", true, nullptr, cancel},
        {"cached close", true, nullptr, close},
        {"post of a duplicate key", false, duplicateKey, cancel},
        {"post refused before it is made", false, refusedByBeforePost, cancel},
        {"cached post refused before it is made", true, refusedByBeforePost, cancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenSettings();
        table->SetCachedUpdates(c.cached);
        table->MoveToFirst();
        ASSERT_EQ(NoWaitLockStatus(file, 1), StatusOk);  // the probe itself leaves no lock
        ASSERT_EQ(NoWaitLockStatus(file, 1), StatusOk);
        table->BeginEdit();
        table->FieldNamed("NAME")->WriteAsString("Edited");
        EXPECT_EQ(NoWaitLockStatus(file, 1), StatusRecordLocked);
        EXPECT_EQ(NoWaitLockStatus(file, 2), StatusOk);  // only the edited record
        if (c.spoil) {
            c.spoil(*table);
            EXPECT_THROW(table->PostChanges(), platform::Exception);
            ASSERT_EQ(table->State(), platform::dsEdit);
            EXPECT_EQ(NoWaitLockStatus(file, 1), StatusRecordLocked);
            table->BeforePost = nullptr;
        }
        c.end(*table);
        EXPECT_EQ(NoWaitLockStatus(file, 1), StatusOk);
        try {
            table->CloseDataSet();
        } catch (const ETDBEngineError&) {
            // a cached change is never applied in this library: the close drops it, and says so
        }
        table.reset();
        database.reset();
    }
}

// Stopping the library while a dataset holds cached changes never applied stops all of it
// (the changes have nobody to be reported to): nothing is left connected to the stopped
// session, so the database and table go safely afterwards.
TEST_F(BindingTest, LibraryStopOverUnappliedCachedChangesLeavesNothingConnected) {
    OpenSettings();
    table->SetCachedUpdates(true);
    table->MoveToFirst();
    table->BeginEdit();
    table->FieldNamed("NAME")->WriteAsString("Cached");
    table->PostChanges();
    EXPECT_NO_THROW(StopBtrieveLibrary());
    EXPECT_FALSE(table->Active());
    EXPECT_FALSE(database->Connected());
    database.reset();
    table.reset();
    // Started again, the library finds the change dropped.
    StartBtrieveLibrary(false);
    OpenSettings();
    table->MoveToFirst();
    EXPECT_EQ(table->FieldNamed("NAME")->ReadAsString(), "First");
}

// One lock for the whole library: a thread may take it again while it holds it; another
// thread cannot take it until every level is given back. The other thread reports its own
// attempt, a try that does not wait, so no check depends on when that thread runs.
TEST_F(BindingTest, EngineLockIsRecursiveAndExclusive) {
    TQnSession& session = *qbbinding::DefaultSession();
    const auto anotherThreadGetsIn = [&session] {
        return std::async(std::launch::async, [&session] {
                   if (!session.TryEnterEngineLock()) return false;
                   session.LeaveEngineLock();
                   return true;
               })
            .get();
    };
    ASSERT_TRUE(anotherThreadGetsIn());
    session.EnterEngineLock();
    ASSERT_TRUE(session.TryEnterEngineLock());  // the holder takes it again at once
    EXPECT_FALSE(anotherThreadGetsIn());
    session.LeaveEngineLock();
    EXPECT_FALSE(anotherThreadGetsIn());  // one level is still held
    // A thread that waits for the lock gets it when the last level is given back.
    std::atomic<bool> entered{false};
    std::thread other([&] {
        session.EnterEngineLock();
        entered = true;
        session.LeaveEngineLock();
    });
    session.LeaveEngineLock();
    other.join();
    EXPECT_TRUE(entered);
    EXPECT_TRUE(anotherThreadGetsIn());
}

// A form description declares the components by class name with persistent fields.
TEST_F(BindingTest, FormDescriptionCreatesBoundComponents) {
    auto root = platform::NewUnownedComponent<platform::TComponent>();
    platform::ReadComponentText(*root,
                                "Root: TComponent\n"
                                "DB: TQbDatabase\n"
                                "  AliasName = 'BindingTest'\n"
                                "  DatabaseName = 'baza'\n"
                                "  SessionName = 'Btrieve'\n"
                                "Table1: TQbTable\n"
                                "  DatabaseName = 'baza'\n"
                                "  TableName = 'settings.dat'\n"
                                "Table1ID: TFloatField\n"
                                "  FieldName = 'ID '#253#236#232#242#229#237#242#224\n"
                                "  DataSet = Table1\n");
    auto* db = dynamic_cast<TQbDatabase*>(root->FindComponent("DB"));
    auto* table1 = dynamic_cast<TQbTable*>(root->FindComponent("Table1"));
    auto* issuer = dynamic_cast<platform::TFloatField*>(root->FindComponent("Table1ID"));
    ASSERT_TRUE(db && table1 && issuer);
    EXPECT_EQ(db->AliasName(), kAlias);
    db->OpenConnection();
    table1->OpenDataSet();
    table1->MoveToFirst();
    EXPECT_EQ(table1->Fields().Count(), 1);  // only the declared field
    EXPECT_EQ(issuer->ReadAsString(), "1234");
    table1->CloseDataSet();
    db->CloseConnection();
}

TEST_F(BindingTest, BlobStreamsAndRefusedOpens) {
    // A table the dictionary does not list.
    ConnectDatabase();
    table = TableOf("missing.dat");
    EXPECT_THROW(table->OpenDataSet(), platform::Exception);
    EXPECT_FALSE(table->Active());

    // A memo field reads and writes through the binding's blob stream.
    auto notes = TableOf("notes.dat");
    notes->OpenDataSet();
    notes->MoveToFirst();
    EXPECT_EQ(notes->FieldNamed("MEMO")->ReadAsString(), "");
    notes->BeginEdit();
    notes->FieldNamed("MEMO")->WriteAsString("a short note");
    notes->PostChanges();
    notes->CloseDataSet();
    notes->OpenDataSet();
    notes->MoveToFirst();
    EXPECT_EQ(notes->FieldNamed("MEMO")->ReadAsString(), "a short note");
    {
        auto stream = notes->OpenBlobStream(notes->FieldNamed("MEMO"), platform::bmRead);
        ASSERT_NE(dynamic_cast<TQbBlobStream*>(stream.get()), nullptr);
        EXPECT_EQ(stream->Size(), 12);
    }
    notes->CloseDataSet();

    // A blob stream over a field that holds no blob is a programming error.
    table->SetTableName("settings.dat");
    table->OpenDataSet();
    EXPECT_THROW(table->OpenBlobStream(table->FieldNamed("NAME"), platform::bmRead), platform::EInvalidCast);
}

}  // namespace
