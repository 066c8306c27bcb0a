// The relational engine through our stand-in WSSQL32.DLL and WDBNM32.DLL beside the tests:
// loading and binding, the mapping of its statuses, the relational session and its
// database list, log-in over a dictionary directory, statements and result cursors.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "btrieve/base/SqlStmt.h"
#include "btrieve/engines/BtrSqlBaseTable.h"
#include "btrieve/engines/BtrSqlDatabase.h"
#include "btrieve/engines/BtrSqlProcTable.h"
#include "btrieve/engines/BtrSqlSession.h"
#include "btrieve/engines/SSQLSqlStmt.h"
#include "btrieve/engines/SqlEngine.h"
#include "btrieve/engines/WinBtr.h"
#include "platform/DateTime.h"
#include "tests/btrieve/engines/EngineTestSupport.h"

using namespace btrieve;

namespace {

const char* const kPeople =
    "table PEOPLE PEOPLE.DAT\n"
    "field ID integer 4\n"
    "field NAME string 12\n"
    "field BORN date 4\n"
    "field SALARY float 8\n"
    "key ID\n"
    "row 1 Anna 1980-05-01 1500.5\n"
    "row 2 Boris 1975-12-31 2000\n"
    "row 3 Clara 1990-01-15 1750.25\n"
    "row 4 Dmitri 2001-01-02 900\n"
    "row 5 Eva 1985-06-07 1200\n"
    "row 6 Fedor 1970-03-04 800\n";

int32_t I32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

double F64(const uint8_t* p) {
    double v;
    std::memcpy(&v, p, 8);
    return v;
}

// Restores the engine's module state after a test that changes it.
class EngineStateGuard {
public:
    ~EngineStateGuard() {
        if (SqlEngineLoaded()) SqlEngine().stop();
        UnloadSqlEngine();
        ClearSqlEngineLoadedFlag();
        SetSqlLibraryNames(kSqlStatementLibrary, kSqlNameLibrary);
        SetSqlLoadErrorReporter(nullptr);
        SetSqlEngineCheckedOnce(false);
        BtrieveSettings() = TBtrieveSettings{};
    }
};

class SqlLoader : public ::testing::Test {
protected:
    void SetUp() override {
        BtrieveSettings() = TBtrieveSettings{};
        SetSqlLoadErrorReporter([this](const AnsiString& message) { reports.push_back(message); });
    }
    EngineStateGuard guard;
    std::vector<std::string> reports;
};

TEST_F(SqlLoader, BindsBothLibrariesAndPassesTheVersionCheck) {
    EXPECT_EQ(LoadSqlEngine(), 0);
    EXPECT_TRUE(SqlEngineLoaded());
    EXPECT_TRUE(SqlNameLibraryLoaded());
    EXPECT_NE(SqlEngine().login, nullptr);
    EXPECT_NE(SqlEngine().countRemoteDatabaseNames, nullptr);
    EXPECT_TRUE(CheckSqlEngine());
    EXPECT_TRUE(reports.empty());
    UnloadSqlEngine();
    EXPECT_FALSE(SqlEngineLoaded());
    EXPECT_FALSE(SqlNameLibraryLoaded());
}

TEST_F(SqlLoader, AMissingStatementLibraryIsReportedAndTriedAgain) {
    SetSqlLibraryNames("no-such-wssql32.dll", kSqlNameLibrary);
    EXPECT_EQ(LoadSqlEngine(), SqlStatusEngineNotLoaded);
    EXPECT_FALSE(EnsureSqlEngineLoaded());
    EXPECT_FALSE(CheckSqlEngine());
    SetSqlLibraryNames(kSqlStatementLibrary, kSqlNameLibrary);
    EXPECT_TRUE(EnsureSqlEngineLoaded());
    EXPECT_TRUE(SqlEngineLoadedFlag());
}

TEST_F(SqlLoader, ALibraryWithoutAnEntryPointIsNotTheEngine) {
    // A library that loads but has none of the engine's names.
    SetSqlLibraryNames("kernel32.dll", kSqlNameLibrary);
    EXPECT_EQ(LoadSqlEngine(), SqlStatusEngineNotLoaded);
    EXPECT_FALSE(SqlEngineLoaded());
    EXPECT_EQ(SqlEngine().login, nullptr);
    EXPECT_FALSE(EnsureSqlEngineLoaded());
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], "Error Loading Dynamic Function _xGetSessionID from WSSQL32.DLL");
}

// Closes and counts the windows a thread shows while it runs, as nobody would in an
// unattended installation.
class WindowWatch {
public:
    WindowWatch() : thread_(GetCurrentThreadId()), watcher_([this] { Watch(); }) {}
    ~WindowWatch() { Stop(); }
    std::vector<std::string> Stop() {
        done_ = true;
        if (watcher_.joinable()) watcher_.join();
        return captions_;
    }

private:
    void Watch() {
        while (!done_) {
            EnumThreadWindows(thread_, &CloseWindow, reinterpret_cast<LPARAM>(this));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    static BOOL CALLBACK CloseWindow(HWND window, LPARAM self) {
        if (!IsWindowVisible(window)) return TRUE;
        char caption[256] = {};
        GetWindowTextA(window, caption, sizeof caption);
        reinterpret_cast<WindowWatch*>(self)->captions_.push_back(caption);
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }

    DWORD thread_;
    std::atomic<bool> done_{false};
    std::vector<std::string> captions_;
    std::thread watcher_;
};

TEST_F(SqlLoader, AMissingEntryPointShowsNoWindow) {
    // The library's own report, in a process that may run with nobody at the screen.
    SetSqlLoadErrorReporter(nullptr);
    SetSqlLibraryNames("kernel32.dll", kSqlNameLibrary);
    WindowWatch watch;
    EXPECT_EQ(LoadSqlEngine(), SqlStatusEngineNotLoaded);
    EXPECT_EQ(watch.Stop(), std::vector<std::string>{});
}

TEST_F(SqlLoader, WithoutTheNameLibraryTheDatabaseListComesFromTheRegistry) {
    SetSqlLibraryNames(kSqlStatementLibrary, "no-such-wdbnm32.dll");
    EXPECT_EQ(LoadSqlEngine(), 0);
    EXPECT_FALSE(SqlNameLibraryLoaded());
    EXPECT_TRUE(BtrieveSettings().ignoreSqlDatabases);
    UnloadSqlEngine();
    // Once set, the name library is not asked for again.
    SetSqlLibraryNames(kSqlStatementLibrary, kSqlNameLibrary);
    EXPECT_EQ(LoadSqlEngine(), 0);
    EXPECT_FALSE(SqlNameLibraryLoaded());
}

TEST_F(SqlLoader, ACheckedOnceProgramKeepsTheFirstAnswer) {
    SetSqlEngineCheckedOnce(true);
    SetSqlLibraryNames("no-such-wssql32.dll", kSqlNameLibrary);
    EXPECT_FALSE(CheckSqlEngine());
    SetSqlLibraryNames(kSqlStatementLibrary, kSqlNameLibrary);
    EXPECT_FALSE(CheckSqlEngine());
    EXPECT_FALSE(SqlEngineLoaded());
    SetSqlEngineCheckedOnce(false);
    EXPECT_TRUE(CheckSqlEngine());
}


// The fake statement library beside the tests: version 3, log-in answered with 51.
constexpr const char* kUntrustedEngine = "fakesql.dll";

LONG FakeVersionCalls() {
    HMODULE module = GetModuleHandleA(kUntrustedEngine);
    if (!module) return -1;
    auto calls = reinterpret_cast<LONG(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module, "FakeVersionCalls")));
    return calls ? calls() : -1;
}

TEST_F(SqlLoader, AnEngineOfAnotherVersionFailsTheCheck) {
    SetSqlLibraryNames(kUntrustedEngine, kSqlNameLibrary);
    ASSERT_EQ(LoadSqlEngine(), 0);
    const LONG before = FakeVersionCalls();
    EXPECT_FALSE(CheckSqlEngine());
    EXPECT_FALSE(CheckSqlEngine());
    EXPECT_EQ(FakeVersionCalls(), before + 2);
    // Checked once: the second call does not reach the engine.
    SetSqlEngineCheckedOnce(true);
    EXPECT_FALSE(CheckSqlEngine());
    EXPECT_FALSE(CheckSqlEngine());
    EXPECT_EQ(FakeVersionCalls(), before + 3);
}

TEST(SqlStatus, StatusesBecomeTheLibrarysErrors) {
    for (int16_t status : {0, -109, -101, -116}) EXPECT_NO_THROW(CheckSqlStatus(status)) << status;
    EXPECT_THROW(CheckSqlStatus(SqlStatusEndOfData), EQuillonEOFError);
    struct Case {
        int16_t status;
        uint16_t code;
        const char* text;
    } cases[] = {
        {205, 0x271F, "Btrieve Status 205 - The user name or password is not valid."},
        {285, 0x2A0E, "Btrieve Status 285 - The operation is not allowed on a dictionary in use."},
        {802, 802, "Btrieve Error 802."},
    };
    for (const Case& c : cases) {
        try {
            CheckSqlStatus(c.status);
            ADD_FAILURE() << c.status;
        } catch (const EScalableSQLEngineError& e) {
            EXPECT_EQ(e.Code(), c.code) << c.status;
            EXPECT_EQ(e.Status(), c.status);
            EXPECT_EQ(e.GetNativeText(), c.text);
        }
    }
}

// A relational session over a fixture directory, its database, and the engine's state
// restored afterwards.
class RelationalFixture : public ::testing::Test {
protected:
    void SetUp() override {
        StartBtrieveEngines();
        BtrieveSettings() = TBtrieveSettings{};
        btrtest::ClearBtrieveConfiguration();
        SetSqlLoadErrorReporter([](const AnsiString&) {});
        dir = btrtest::ScratchDirectory(std::string("sql-") +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
        btrtest::WriteFixture(dir, Tables());
        session = CreateSessionOf<TBtrSqlSession>(nullptr, nullptr, "Test", &sessions);
        TBaseDatabase* opened = nullptr;
        session->OpenDatabase(dir.c_str(), 0, 0, nullptr, 0, nullptr, nullptr, opened);
        db = dynamic_cast<TBtrSqlDatabase*>(opened);
        ASSERT_NE(db, nullptr);
    }
    void TearDown() override {
        sessions.FreeAll();
        StopBtrieveEngines();
        SetSqlLoadErrorReporter(nullptr);
    }
    virtual std::string Tables() const { return kPeople; }

    TBaseTable* Query(const char* text) {
        TBaseTable* cursor = nullptr;
        TSqlStmt* statement = nullptr;
        db->PrepareStmtExt(2, text, statement);
        statement->Execute(&cursor);
        return cursor;
    }
    static std::vector<int32_t> Ids(TBaseTable* cursor) {
        std::vector<int32_t> ids;
        std::vector<uint8_t> record(cursor->GetRecordSize(), 0);
        cursor->SetToBegin();
        try {
            for (;;) {
                cursor->GetNextRecord(0, record.data(), nullptr);
                ids.push_back(I32(record.data() + 2));
            }
        } catch (const EQuillonBoundryError&) {
        }
        return ids;
    }

    EngineStateGuard guard;
    std::string dir;
    TQuillonCollection sessions;
    TBaseSession* session = nullptr;
    TBtrSqlDatabase* db = nullptr;
};

TEST_F(RelationalFixture, TheDatabaseIsABtrieveDatabaseUntilSqlIsAsked) {
    EXPECT_EQ(db->GetDbType(), "SQL");
    EXPECT_FALSE(db->LoggedIn());
    EXPECT_FALSE(SqlEngineLoadedFlag());
    TBaseTable* cursor = nullptr;
    db->OpenTable("PEOPLE", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor);
    ASSERT_NE(cursor, nullptr);
    uint32_t count = 0;
    cursor->GetRecordCount(count);
    EXPECT_EQ(count, 6u);
    // A transaction before any statement is the record manager's.
    db->BeginTran(0);
    EXPECT_FALSE(db->LoggedIn());
    db->EndTran(0);
    EXPECT_THROW(db->EndTran(0), EQuillonEngineError);

    // A commit the record manager refuses: the abort that follows goes to the record
    // manager too, and nothing logs in to the relational engine.
    db->BeginTran(0);
    TWinBtr stopper(db->ClientId());
    stopper.Stop();
    EXPECT_THROW(db->EndTran(0), EBtrieveEngineError);
    EXPECT_EQ(db->TranState(), 1);
    try {
        db->EndTran(2);
        ADD_FAILURE() << "an abort of a transaction the client no longer has";
    } catch (const EScalableSQLEngineError& e) {
        ADD_FAILURE() << "the abort went to the relational engine: " << e.Status();
    } catch (const EBtrieveEngineError&) {
    }
    EXPECT_EQ(db->TranState(), 0);
    EXPECT_FALSE(db->LoggedIn());
}

TEST_F(RelationalFixture, WithoutTheEngineStatementsFailAndTablesStillOpen) {
    SetSqlLibraryNames("no-such-wssql32.dll", kSqlNameLibrary);
    try {
        Query("SELECT * FROM PEOPLE");
        ADD_FAILURE();
    } catch (const EScalableSQLEngineError& e) {
        EXPECT_EQ(e.Status(), SqlStatusEngineMissing);
    }
    TBaseTable* cursor = nullptr;
    db->OpenTable("PEOPLE", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor);
    EXPECT_NE(cursor, nullptr);
    // The database list falls back to the registry for the rest of the process.
    TBaseTable* list = nullptr;
    session->OpenDatabaseList(list);
    EXPECT_EQ(dynamic_cast<TSSQLDatabaseTable*>(list), nullptr);
    EXPECT_TRUE(BtrieveSettings().ignoreSqlDatabases);
}

TEST_F(RelationalFixture, LogsInOnTheFirstStatementAndRunsIt) {
    TBaseTable* cursor = Query("SELECT ID, NAME FROM PEOPLE WHERE ID > 4 ORDER BY ID DESC");
    ASSERT_NE(cursor, nullptr);
    EXPECT_TRUE(db->LoggedIn());
    EXPECT_GE(db->SessionId(), 0);
    EXPECT_EQ(Ids(cursor), (std::vector<int32_t>{6, 5}));
    db->ExecDirect(2, "DELETE FROM PEOPLE WHERE ID = 6", nullptr);
    db->ExecDirect(2, "INSERT INTO PEOPLE (ID, NAME, BORN, SALARY) VALUES (7, 'Gleb', '2000-01-01', 1)", nullptr);
    EXPECT_EQ(Ids(Query("SELECT ID FROM PEOPLE ORDER BY ID")), (std::vector<int32_t>{1, 2, 3, 4, 5, 7}));
}

TEST_F(RelationalFixture, ARelationalTransactionRollsBack) {
    Query("SELECT ID FROM PEOPLE");
    db->BeginTran(0);
    EXPECT_THROW(db->BeginTran(0), EQuillonEngineError);
    db->ExecDirect(2, "DELETE FROM PEOPLE", nullptr);
    EXPECT_TRUE(Ids(Query("SELECT ID FROM PEOPLE")).empty());
    db->EndTran(2);
    EXPECT_EQ(Ids(Query("SELECT ID FROM PEOPLE")).size(), 6u);
}

TEST_F(RelationalFixture, AFailedLogInLeavesTheDatabaseLoggedOutAndSaysWhy) {
    TBaseDatabase* opened = nullptr;
    const std::string empty = btrtest::ScratchDirectory("sql-empty-dictionary");
    session->OpenDatabase(empty.c_str(), 0, 0, nullptr, 0, nullptr, nullptr, opened);
    auto* other = static_cast<TBtrSqlDatabase*>(opened);
    try {
        other->Connect();
        ADD_FAILURE();
    } catch (const EScalableSQLEngineError& e) {
        EXPECT_EQ(e.Status(), SqlStatusDatabaseNotFound);
        EXPECT_EQ(e.KeyText(), empty);
    }
    EXPECT_FALSE(other->LoggedIn());
}

TEST_F(RelationalFixture, ParametersAreBoundByTheirPlaceAmongAllDescriptors) {
    TSqlStmt* statement = nullptr;
    db->PrepareStmtExt(2, "SELECT ID FROM PEOPLE WHERE ID >= ? AND ID <= :QVAR0002 ORDER BY ID", statement);
    // Three descriptors, the second named (and so not bound here): the first and the
    // third become QVAR0000 and QVAR0002.
    TEngineFieldDesc fields[3] = {};
    fields[0].fieldType = fldtype::Int32, fields[0].offset = 0, fields[0].length = 4;
    std::strcpy(fields[1].name, "WHO");
    fields[1].fieldType = fldtype::ZString, fields[1].offset = 4, fields[1].length = 8;
    fields[2].fieldType = fldtype::Int16, fields[2].offset = 12, fields[2].length = 2;
    uint8_t record[16] = {};
    const int32_t from = 2;
    const int16_t to = 4;
    std::memcpy(record, &from, 4);
    std::memcpy(record + 12, &to, 2);
    statement->SetParams(3, fields, record);
    TBaseTable* cursor = nullptr;
    statement->Execute(&cursor);
    EXPECT_EQ(Ids(cursor), (std::vector<int32_t>{2, 3, 4}));
}

TEST_F(RelationalFixture, ParameterValuesAreEngineTexts) {
    struct Case {
        uint16_t type;
        std::vector<uint8_t> bytes;
        const char* text;
    };
    auto bytesOf = [](auto value) {
        std::vector<uint8_t> bytes(sizeof value);
        std::memcpy(bytes.data(), &value, sizeof value);
        return bytes;
    };
    const int32_t day = platform::DateTimeToTimeStamp(platform::EncodeDate(2001, 1, 2)).Date;
    const int32_t time = ((10 * 60 + 5) * 60 + 3) * 1000 + 450;
    const double stamp = (static_cast<double>(day) * 86400000.0) + (10 * 3600 + 5 * 60 + 3) * 1000.0 + 450;
    const Case cases[] = {
        {fldtype::Date, bytesOf(day), "2001-01-02"},
        {fldtype::Time, bytesOf(time), "10:05:03:45"},
        {fldtype::Time, bytesOf(int32_t(time - 450)), "10:05:03"},
        {fldtype::Timestamp, bytesOf(stamp), "2001-01-02 10:05:03"},
        {fldtype::Bool, {1}, "true"},
        {fldtype::Bool, {0}, "false"},
        {fldtype::Int16, bytesOf(int16_t(-12)), "-12"},
        {fldtype::UInt32, bytesOf(uint32_t(4000000000u)), "4000000000"},
        {fldtype::Float, bytesOf(1.5), "1.5"},
        {fldtype::Bytes, {1, 2}, ""},
        {fldtype::ZString, {'A', 'n', 'n', 'a', 0, 'x'}, "Anna"},
        // A text that fills its field ends there.
        {fldtype::ZString, {'A', 'n', 'n', 'a'}, "Anna"},
    };
    for (const Case& c : cases) {
        TEngineFieldDesc desc{};
        desc.fieldType = c.type;
        desc.length = static_cast<uint16_t>(c.bytes.size());
        EXPECT_EQ(ParameterValueText(*session, desc, c.bytes.data()), c.text) << c.type;
    }
    // A float with a comma as the decimal separator still reaches the engine with a dot.
    const char separator = platform::FormatSettings().DecimalSeparator;
    platform::FormatSettings().DecimalSeparator = ',';
    TEngineFieldDesc desc{};
    desc.fieldType = fldtype::FloatIeee;
    desc.length = 8;
    const auto value = bytesOf(-2.25);
    EXPECT_EQ(ParameterValueText(*session, desc, value.data()), "-2.25");
    platform::FormatSettings().DecimalSeparator = separator;
}


TEST_F(RelationalFixture, AResultCursorDescribesItsColumns) {
    TBaseTable* cursor = Query("SELECT ID, NAME, SALARY FROM PEOPLE");
    TCursorProps props{};
    cursor->GetCursorProps(props);
    EXPECT_EQ(props.fieldCount, 3);
    EXPECT_EQ(props.recordSize, 2 + 4 + 12 + 8 + 4);
    EXPECT_EQ(props.bookmarkSize, 100);
    // The update mode the dataset layer sets lands in property 0; the cursor id is read-only.
    EXPECT_NO_THROW(cursor->CheckPropWritable(0x4050000, true));
    cursor->SetProp(0x4050000, 2);
    uint8_t mode = 0;
    uint16_t length = 0;
    cursor->GetProp(0, &mode, length, sizeof mode);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(length, 1);
    int16_t cursorId = -1;
    cursor->GetProp(1, &cursorId, length, sizeof cursorId);
    EXPECT_EQ(cursorId, static_cast<TBtrSqlBaseTable*>(cursor)->CursorId());
    EXPECT_THROW(cursor->CheckPropWritable(1, true), EQuillonEngineError);
    struct Expected {
        const char* name;
        uint16_t type;
        uint16_t offset;
        uint16_t length;
    } expected[] = {{"ID", fldtype::Int32, 2, 4}, {"NAME", fldtype::ZString, 6, 12}, {"SALARY", fldtype::Float, 18, 8}};
    for (uint16_t n = 1; n <= 3; ++n) {
        const TEngineFieldDesc& d = cursor->FieldCache().Item(n).Desc();
        EXPECT_STREQ(d.name, expected[n - 1].name);
        EXPECT_EQ(d.fieldType, expected[n - 1].type) << n;
        EXPECT_EQ(d.offset, expected[n - 1].offset) << n;
        EXPECT_EQ(d.length, expected[n - 1].length) << n;
    }
    std::vector<uint8_t> record(cursor->GetRecordSize(), 0);
    cursor->SetToBegin();
    cursor->GetNextRecord(0, record.data(), nullptr);
    char name[32] = {};
    bool blank = false;
    cursor->GetField(2, record.data(), blank, name);
    EXPECT_STREQ(name, "Anna");
    double salary = 0;
    cursor->GetField(3, record.data(), blank, &salary);
    EXPECT_DOUBLE_EQ(salary, 1500.5);
}

TEST_F(RelationalFixture, ComputedColumnsDescribeAsTheirValues) {
    TBaseTable* count = Query("SELECT COUNT(*) FROM PEOPLE");
    const TEngineFieldDesc& c = count->FieldCache().Item(1).Desc();
    EXPECT_EQ(c.fieldType, fldtype::Int32);
    EXPECT_EQ(c.length, 4);
    std::vector<uint8_t> record(count->GetRecordSize(), 0);
    count->SetToBegin();
    count->GetNextRecord(0, record.data(), nullptr);
    EXPECT_EQ(I32(record.data() + 2), 6);
    TBaseTable* sum = Query("SELECT SUM(ID) FROM PEOPLE");
    const TEngineFieldDesc& s = sum->FieldCache().Item(1).Desc();
    EXPECT_EQ(s.fieldType, fldtype::Float);
    EXPECT_EQ(s.length, 8);
    record.assign(sum->GetRecordSize(), 0);
    sum->SetToBegin();
    sum->GetNextRecord(0, record.data(), nullptr);
    EXPECT_DOUBLE_EQ(F64(record.data() + 2), 21.0);
}

TEST_F(RelationalFixture, AnEmptyResultEndsBothWays) {
    auto* cursor = static_cast<TBtrSqlBaseTable*>(Query("SELECT ID FROM PEOPLE WHERE ID > 100"));
    std::vector<uint8_t> record(cursor->GetRecordSize(), 0);
    cursor->SetRecBuf(record.data());
    EXPECT_THROW(cursor->PhysFirst(), EQuillonBOFError);
    EXPECT_THROW(cursor->PhysPrior(), EQuillonBOFError);
    EXPECT_THROW(cursor->PhysLast(), EQuillonEOFError);
    EXPECT_THROW(cursor->PhysNext(), EQuillonEOFError);
}

TEST_F(RelationalFixture, BookmarksFindTheirRowsAgain) {
    TBaseTable* cursor = Query("SELECT ID FROM PEOPLE ORDER BY ID");
    std::vector<uint8_t> record(cursor->GetRecordSize(), 0);
    std::vector<uint8_t> second(100), fourth(100);
    cursor->SetToBegin();
    cursor->GetNextRecord(0, record.data(), nullptr);
    cursor->GetNextRecord(0, record.data(), nullptr);
    cursor->GetBookMark(second.data());
    cursor->GetNextRecord(0, record.data(), nullptr);
    cursor->GetNextRecord(0, record.data(), nullptr);
    cursor->GetBookMark(fourth.data());
    int32_t order = 0;
    cursor->CompareBookMarks(second.data(), fourth.data(), order);
    EXPECT_EQ(order, -1);
    cursor->CompareBookMarks(fourth.data(), fourth.data(), order);
    EXPECT_EQ(order, 0);
    cursor->ReadAtBookmark(second.data(), record.data(), 0);
    EXPECT_EQ(I32(record.data() + 2), 2);
    cursor->SetToBookMark(fourth.data());
    cursor->GetNextRecord(0, record.data(), nullptr);
    EXPECT_EQ(I32(record.data() + 2), 5);
    // Bookmarks of different lengths are not comparable.
    std::vector<uint8_t> other = fourth;
    other[0] = 8;
    EXPECT_THROW(cursor->CompareBookMarks(second.data(), other.data(), order), EQuillonEngineError);
    // A length word beyond a position's size is not trusted.
    other[0] = 0xFF, other[1] = 0xFF;
    EXPECT_THROW(cursor->SetToBookMark(other.data()), EQuillonEngineError);
}

TEST_F(RelationalFixture, AnAggregateCursorCountsItsRows) {
    // A statement with property 16 set hands back a cursor that numbers its rows.
    TSqlStmt* statement = nullptr;
    db->PrepareStmtExt(2, "SELECT ID FROM PEOPLE ORDER BY ID", statement);
    statement->SetProp(16, 1);
    TBaseTable* result = nullptr;
    statement->Execute(&result);
    auto* cursor = dynamic_cast<TBtrSqlAggTable*>(result);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->GetBookmarkSize(), 4);
    std::vector<uint8_t> record(cursor->GetRecordSize(), 0);
    cursor->SetToBegin();
    cursor->GetNextRecord(0, record.data(), nullptr);
    EXPECT_THROW(cursor->GetPriorRecord(0, record.data(), nullptr), EQuillonBOFError);
    for (int i = 0; i < 4; ++i) cursor->GetNextRecord(0, record.data(), nullptr);
    EXPECT_EQ(I32(record.data() + 2), 5);
    int32_t bookmark = 0;
    cursor->GetBookMark(&bookmark);
    EXPECT_EQ(bookmark, 5);
    cursor->SetToBegin();
    cursor->GetNextRecord(0, record.data(), nullptr);
    std::vector<uint8_t> read(cursor->GetRecordSize(), 0);
    cursor->ReadAtBookmark(&bookmark, read.data(), 0);
    EXPECT_EQ(I32(read.data() + 2), 5);
    EXPECT_EQ(cursor->RowNumber(), 5);
    // From the end: the rows keep their numbers.
    cursor->SetToEnd();
    cursor->GetPriorRecord(0, record.data(), nullptr);
    cursor->GetPriorRecord(0, record.data(), nullptr);
    EXPECT_EQ(I32(record.data() + 2), 5);
    cursor->GetBookMark(&bookmark);
    EXPECT_EQ(bookmark, 5);
    cursor->SetToBegin();
    cursor->ReadAtBookmark(&bookmark, read.data(), 0);
    EXPECT_EQ(I32(read.data() + 2), 5);
}

TEST_F(RelationalFixture, ResultRowsAreWrittenThroughTheCursor) {
    TBaseTable* cursor = Query("SELECT * FROM PEOPLE ORDER BY ID");
    std::vector<uint8_t> record(cursor->GetRecordSize(), 0);
    cursor->SetToBegin();
    cursor->GetNextRecord(0, record.data(), nullptr);
    double salary = 99.5;
    cursor->PutField(4, record.data(), &salary);
    cursor->ModifyRecord(record.data(), false);
    cursor->GetNextRecord(0, record.data(), nullptr);
    cursor->DeleteRecord(record.data());
    std::vector<uint8_t> added(cursor->GetRecordSize(), 0);
    const int32_t id = 9;
    cursor->PutField(1, added.data(), &id);
    cursor->PutField(2, added.data(), "Ivan");
    cursor->InsertRecord(0, added.data());
    EXPECT_EQ(Ids(Query("SELECT ID FROM PEOPLE ORDER BY ID")), (std::vector<int32_t>{1, 3, 4, 5, 6, 9}));
    TBaseTable* first = Query("SELECT SALARY FROM PEOPLE WHERE ID = 1");
    first->SetToBegin();
    first->GetNextRecord(0, record.data(), nullptr);
    EXPECT_DOUBLE_EQ(F64(record.data() + 2), 99.5);
}

// A table whose last column is a memo (a text too long for a string field).
class RelationalMemo : public RelationalFixture {
protected:
    std::string Tables() const override {
        return std::string(kPeople) +
               "table NOTES NOTES.DAT\n"
               "field ID integer 4\n"
               "field REMARK string 300\n"
               "key ID\n"
               "row 1 first\n"
               "row 2 second\n";
    }
};

TEST_F(RelationalMemo, AMemoIsWrittenIntoTheRecordBeingEdited) {
    TBaseTable* cursor = Query("SELECT * FROM NOTES ORDER BY ID");
    std::vector<uint8_t> current(cursor->GetRecordSize(), 0);
    cursor->SetToBegin();
    cursor->GetNextRecord(0, current.data(), nullptr);
    // The row is edited in a buffer of its own, as the dataset layer does.
    std::vector<uint8_t> edited = current;
    const std::vector<uint8_t> fetched = current;
    cursor->PutField(2, edited.data(), "\x07" "changed");
    EXPECT_EQ(current, fetched);
    EXPECT_STREQ(reinterpret_cast<const char*>(edited.data() + 2 + 4), "changed");
    cursor->ModifyRecord(edited.data(), true);

    TBaseTable* check = Query("SELECT REMARK FROM NOTES WHERE ID = 1");
    std::vector<uint8_t> row(check->GetRecordSize(), 0);
    check->SetToBegin();
    check->GetNextRecord(0, row.data(), nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(row.data() + 2), "changed");
}

TEST_F(RelationalFixture, TheDatabaseListOffersAliasesThenLocalThenRemoteDatabases) {
    {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.EnterKey("\\Software\\Quillon\\Btrieve\\Aliases\\SqlListAlias", true));
        registry.PutString("PhysicalName", dir);
    }
    SetEnvironmentVariableA("WSSQL_DATABASES", ("DEMO=" + dir).c_str());
    SetEnvironmentVariableA("WSSQL_REMOTE_DATABASES", ("FAR=" + dir).c_str());
    TBaseTable* list = nullptr;
    session->OpenDatabaseList(list);
    SetEnvironmentVariableA("WSSQL_DATABASES", nullptr);
    SetEnvironmentVariableA("WSSQL_REMOTE_DATABASES", nullptr);
    {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        registry.RemoveKey("\\Software\\Quillon\\Btrieve\\Aliases\\SqlListAlias");
    }
    ASSERT_NE(dynamic_cast<TSSQLDatabaseTable*>(list), nullptr);
    std::vector<std::string> rows;
    try {
        for (;;) {
            TDatabaseDesc desc{};
            list->GetNextRecord(0, reinterpret_cast<uint8_t*>(&desc), nullptr);
            rows.push_back(std::string(desc.name) + "|" + desc.text + "|" + desc.physicalName + "|" + desc.dbType);
        }
    } catch (const EQuillonEOFError&) {
    }
    // Other tests leave aliases of their own in the machine's registry (the editor alias
    // stays registered by design): only the order of the three kinds is this test's.
    ASSERT_GE(rows.size(), 3u);
    const size_t local = rows.size() - 2;
    EXPECT_EQ(rows[local], "@DEMO|LOCAL|@DEMO|BTRIEVE");
    EXPECT_EQ(rows[local + 1], "@FAR|REMOTE|@FAR|BTRIEVE");
    const auto ours = std::find_if(rows.begin(), rows.begin() + static_cast<long>(local),
                                   [](const std::string& row) { return row.rfind("SqlListAlias|", 0) == 0; });
    EXPECT_NE(ours, rows.begin() + static_cast<long>(local));
}

TEST_F(RelationalFixture, ANamedServerDatabaseRefusesATableList) {
    TDatabaseDesc desc{};
    std::strcpy(desc.name, "@DEMO");
    std::strcpy(desc.physicalName, "@DEMO");
    std::strcpy(desc.dbType, "BTRIEVE");
    TBaseDatabase* named = nullptr;
    const TEngineFieldDesc none{};
    session->CreateDatabaseObject(desc, named, 0, 0, nullptr, 0, &none, nullptr);
    TBaseTable* list = nullptr;
    try {
        named->OpenTableList(false, false, nullptr, list);
        ADD_FAILURE();
    } catch (const EScalableSQLEngineError& e) {
        EXPECT_EQ(e.Code(), 0x2A0E);
    }
}


TEST_F(RelationalFixture, ALogInAnsweredWith51IsAFailure) {
    SetSqlLibraryNames(kUntrustedEngine, kSqlNameLibrary);
    TSqlStmt* statement = nullptr;
    try {
        db->PrepareStmtExt(2, "SELECT ID FROM PEOPLE", statement);
        ADD_FAILURE();
    } catch (const EScalableSQLEngineError& e) {
        EXPECT_EQ(e.Status(), SqlStatusLoginIgnored);
        EXPECT_EQ(e.KeyText(), dir);
    }
    EXPECT_EQ(statement, nullptr);
    EXPECT_FALSE(db->LoggedIn());
    // The transaction is then the record manager's, not a relational one.
    db->BeginTran(0);
    db->EndTran(2);
}

TEST_F(RelationalFixture, TheLastSessionStopsAndUnloadsTheEngine) {
    Query("SELECT ID FROM PEOPLE");
    TBaseSession* second = CreateSessionOf<TBtrSqlSession>(nullptr, nullptr, "Second", &sessions);
    FreeHandle(second);
    EXPECT_TRUE(SqlEngineLoaded());
    sessions.FreeAll();
    EXPECT_FALSE(SqlEngineLoaded());
    EXPECT_FALSE(SqlEngineLoadedFlag());
}

TEST_F(RelationalFixture, LogInNamesComeFromParametersOrTheAlias) {
    db->SetParam("user", "  someone");
    EXPECT_EQ(db->UserName(), "  someone");
    db->SetParam("USER NAME", std::string(40, 'u').c_str());
    EXPECT_EQ(db->UserName(), std::string(31, 'u'));
    db->SetParam("Other", "x");
    EXPECT_EQ(db->UserName(), std::string(31, 'u'));
    {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.EnterKey("\\Software\\Quillon\\Btrieve\\Aliases\\SqlLoginAlias", true));
        registry.PutString("User", "master");
        registry.PutString("Password", "secret");
    }
    TDatabaseDesc desc{};
    std::strcpy(desc.name, "SqlLoginAlias");
    std::strcpy(desc.physicalName, dir.c_str());
    std::strcpy(desc.dbType, "BTRIEVE");
    TBaseDatabase* aliased = nullptr;
    session->CreateDatabaseObject(desc, aliased, 0, 0, nullptr, 0, nullptr, nullptr);
    {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        registry.RemoveKey("\\Software\\Quillon\\Btrieve\\Aliases\\SqlLoginAlias");
    }
    EXPECT_EQ(aliased->UserName(), "master");

    // Open parameters reach the log-in under the names this database knows; a password
    // given to the open wins over the parameter.
    const char values[] = "alice\0pw";
    TEngineFieldDesc params[2] = {};
    std::strcpy(params[0].name, "User");
    std::strcpy(params[1].name, "Password");
    params[1].offset = 6;
    struct {
        const char* password;
        const char* expected;
    } cases[] = {{nullptr, "pw"}, {"given", "given"}};
    for (const auto& c : cases) {
        TBaseDatabase* opened = nullptr;
        session->CreateDatabaseObject(desc, opened, 0, 0, c.password, 2, params, values);
        auto* withParams = static_cast<TBtrSqlDatabase*>(opened);
        EXPECT_EQ(withParams->UserName(), "alice");
        EXPECT_EQ(withParams->OwnerName(), c.expected);  // the password, when there is one
    }
}

TEST_F(RelationalFixture, StoredProceduresAreListedAndCalled) {
    btrtest::WriteFixture(dir, std::string(kPeople) +
                                   "table X$Proc PROC.DDF\n"
                                   "field Xp$Name string 30\n"
                                   "field Xp$Text string 1031\n"
                                   "row Purge \"DELETE FROM PEOPLE WHERE ID > 2\"\n"
                                   "row Nothing \"DELETE FROM PEOPLE WHERE ID > 100\"\n");
    TBaseTable* list = nullptr;
    db->OpenProcList(false, false, nullptr, list);
    std::vector<std::string> names;
    try {
        for (;;) {
            char record[TBtrSqlProcTable::kNameRecordSize];
            std::memset(record, 'x', sizeof record);
            list->GetNextRecord(0, reinterpret_cast<uint8_t*>(record), nullptr);
            names.push_back(record);
        }
    } catch (const EQuillonEOFError&) {
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Purge", "Nothing"}));
    TSqlStmt* statement = nullptr;
    db->PrepareProc("Purge", 0, statement, nullptr);
    statement->Execute(nullptr);
    EXPECT_EQ(Ids(Query("SELECT ID FROM PEOPLE ORDER BY ID")), (std::vector<int32_t>{1, 2}));
}

TEST_F(RelationalFixture, ARegisteredAliasOpensWithOrWithoutTheEngine) {
    {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.EnterKey("\\Software\\Quillon\\Btrieve\\Aliases\\SqlPlainAlias", true));
        registry.PutString("PhysicalName", dir);
    }
    for (const char* library : {kSqlStatementLibrary, "no-such-wssql32.dll"}) {
        SCOPED_TRACE(library);
        SetSqlLibraryNames(library, kSqlNameLibrary);
        TBaseDatabase* opened = nullptr;
        session->OpenDatabase("SqlPlainAlias", 0, 0, nullptr, 0, nullptr, nullptr, opened);
        ASSERT_NE(dynamic_cast<TBtrSqlDatabase*>(opened), nullptr);
        EXPECT_EQ(FieldText(opened->Desc().physicalName, sizeof opened->Desc().physicalName), dir);
        TBaseTable* cursor = nullptr;
        opened->OpenTable("PEOPLE", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor);
        uint32_t count = 0;
        cursor->GetRecordCount(count);
        EXPECT_EQ(count, 6u);
        FreeHandle(opened);
        UnloadSqlEngine();
        ClearSqlEngineLoadedFlag();
    }
    EXPECT_TRUE(BtrieveSettings().ignoreSqlDatabases);
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.RemoveKey("\\Software\\Quillon\\Btrieve\\Aliases\\SqlPlainAlias");
}

TEST_F(RelationalFixture, ADescriptorTypedWithAnAtSignKeepsItsTypeOnlyForADictionaryWithUsers) {
    auto typed = [&](const char* name) {
        TDatabaseDesc desc{};
        std::strcpy(desc.name, name);
        std::strcpy(desc.physicalName, dir.c_str());
        std::strcpy(desc.dbType, "@SERVER");
        session->SetDescDbType(false, desc);
        return std::string(desc.dbType);
    };
    EXPECT_EQ(typed("LOCAL"), "STANDARD");
    EXPECT_EQ(typed("@NAMED"), "@SERVER");
    btrtest::WriteFixture(dir, std::string(kPeople) + "table X$User USER.DDF\nfield Xu$Id integer 2\n");
    EXPECT_EQ(typed("LOCAL"), "@SERVER");
}

TEST_F(RelationalFixture, BlocksOfRowsAreReadInOneCall) {
    TBaseTable* cursor = Query("SELECT ID FROM PEOPLE ORDER BY ID");
    const size_t rowSize = cursor->GetRecordSize();
    std::vector<uint8_t> block(rowSize * 4, 0);
    uint32_t count = 4;
    cursor->SetToBegin();
    cursor->ReadBlock(count, block.data(), block.size());
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(I32(block.data() + 3 * rowSize + 2), 4);
    // A count beyond the buffer is cut to what it holds.
    count = 10;
    cursor->ReadBlock(count, block.data(), block.size());
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(I32(block.data() + rowSize + 2), 6);
}

TEST_F(RelationalFixture, AStatementPreparedAgainRunsItsNewText) {
    TSqlStmt* statement = nullptr;
    db->PrepareStmtExt(2, "SELECT ID FROM PEOPLE WHERE ID = 1", statement);
    statement->Prepare(true);
    db->PrepareStmtExt(2, "SELECT ID FROM PEOPLE WHERE ID = 2", statement);
    TBaseTable* cursor = nullptr;
    statement->Execute(&cursor);
    EXPECT_EQ(Ids(cursor), (std::vector<int32_t>{2}));
    // Only SQL is understood.
    EXPECT_THROW(db->PrepareStmtExt(1, "SELECT ID FROM PEOPLE", statement), EQuillonEngineError);
}

TEST_F(RelationalFixture, AChangeAskedForRowsRunsOnce) {
    TBaseTable* cursor = Query("INSERT INTO PEOPLE (ID, NAME) VALUES (8, 'Hanna')");
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(Ids(Query("SELECT ID FROM PEOPLE WHERE ID = 8")), (std::vector<int32_t>{8}));
}

TEST(SqlStatementText, MarkersBecomeEngineVariables) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"select ? , ':x' , ? from t where a=:b", "select @QVAR0000 , ':x' , @QVAR0001 from t where a=@b"},
        {"\"a:b?\" = ?", "\"a:b?\" = @QVAR0000"},
        // Each marker grows by eight characters: nothing is cut.
        {"??????", "@QVAR0000@QVAR0001@QVAR0002@QVAR0003@QVAR0004@QVAR0005"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(RewriteParameterMarkers(c.text), c.expected) << c.text;
}

}  // namespace
