// MoveJourSh2Oracle through setrix.dll: the card journal JOUR.SH of a data directory,
// written by the fixture writer, copied into a new table on the stand-in server and read
// back through GetSQLResult.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "standins/oracle/client/StandinControl.h"
#include "tests/oracle/oci/OciFixtures.h"
#include "tests/setup/ProductFiles.h"
#include "tests/setup/SetrixLibrary.h"

namespace {

using oracle::testing::OracleRegistryTest;
using oracle::testing::ProgramFolder;

const char* const kServer = "SETRIX_TEST";
const char* const kUser = "STX_JOURNAL";
const char* const kPassword = "JOURNAL";
const char* const kTable = "STX_JOUR_MOVE";
// A user whose move the server holds at its final commit, so that another session can look
// in while every row is sent and none committed.
const char* const kSlowUser = "STX_JOURNAL_SLOW";
const char* const kAliasKey = "\\SOFTWARE\\Quillon\\Btrieve\\ALIASES\\BTI_edit";

using ExecSqlFn = int(const char*, const char*, const char*, const char*);
using SqlResultFn = const char*(const char*, const char*, const char*, const char*);
using MoveFn = int(const char*, const char*, const char*, const char*, const char*);

// Two records as the product writes them: a 16-digit card number, a line of text.
const char* const kTwoRecords =
    "row 730486 0 4276001234567891 501 \"first line\" 7\n"
    "row 730487 43200 9999999999999998 502 \"second line\" 8\n";

class JournalMove : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
        for (const char* user : {kUser, kSlowUser})
            Exec("SYSTEM", "MANAGER", "CREATE USER " + std::string(user) + " IDENTIFIED BY " + kPassword);
        Exec(kUser, kPassword, "DROP TABLE " + std::string(kTable));
    }
    void TearDown() override {
        // A slowed move still running, or killed while the system kept its connection open,
        // would hold its uncommitted rows, and with them every later writer, indefinitely.
        EndSlowSessions();
        RemoveTree(root);
        OracleRegistryTest::TearDown();
    }

    int Exec(const std::string& user, const std::string& password, const std::string& sql) {
        return setrix_.Fn<ExecSqlFn>("ExecSQL")(user.c_str(), password.c_str(), kServer, sql.c_str());
    }
    std::string Query(const std::string& sql) {
        return setrix_.Fn<SqlResultFn>("GetSQLResult")(kUser, kPassword, kServer, sql.c_str());
    }
    // The number of the table's rows that meet the condition, as text ("" without the table).
    std::string Rows(const std::string& condition = "1 = 1") {
        return Query("SELECT COUNT(*) FROM " + std::string(kTable) + " WHERE " + condition);
    }
    bool TableExists() {
        return Query("SELECT COUNT(*) FROM USER_TABLES WHERE TABLE_NAME = '" + std::string(kTable) + "'") == "1";
    }
    int Move(const std::string& dataDir, const std::string& table = kTable, const char* password = kPassword) {
        return setrix_.Fn<MoveFn>("MoveJourSh2Oracle")(dataDir.c_str(), table.c_str(), kUser, password, kServer);
    }
    // The move run by the script host in a process of its own. The server holds its final
    // commit (its second: beginning the transaction commits first) until released, so the
    // move stops with all its rows sent and none committed.
    std::unique_ptr<HostProcess> HeldMove(const std::string& dataDir) {
        orastandin::InstallServerHook(kServer, "commit:2:hold@" + std::string(kSlowUser));
        return std::make_unique<HostProcess>(
            std::vector<std::string>{"MoveJourSh2Oracle", dataDir, kTable, kSlowUser, kPassword, kServer});
    }
    static void ReleaseHeldMove() { orastandin::InstallServerHook(kServer, "commit:0:release@" + std::string(kSlowUser)); }
    // Ends the slow user's sessions on the server, as an administrator would a dead client's:
    // they roll back, a held call with them. Wine may keep a killed process's socket open for
    // a long while, so the server cannot count on seeing a killed client's connection end.
    static void EndSlowSessions() {
        orastandin::InstallServerHook(kServer, "session:0:disconnect@" + std::string(kSlowUser));
    }
    // Another session (SYSTEM) asks for the move's table without waiting: refused while a
    // session holds changes to it that are not committed.
    bool TableHeldByAnother() {
        return Exec("SYSTEM", "MANAGER", "LOCK TABLE " + std::string(kTable) + " IN EXCLUSIVE MODE NOWAIT") != 1;
    }
    // Watches the held move from another session until it holds rows not yet committed (a
    // state that lasts while the move is held); answers whether it came, and what the other
    // session counted meanwhile.
    bool WatchUntilRowsInFlight(const HostProcess& move, std::vector<std::string>& counted) {
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (move.Running() && GetTickCount64() < deadline) {
            if (!TableExists()) continue;
            counted.push_back(Rows());
            if (TableHeldByAnother()) {
                counted.push_back(Rows());
                return true;
            }
        }
        return false;
    }
    // JOUR.SH of that many records.
    static std::string Records(int count) {
        std::string records;
        for (int i = 0; i < count; ++i)
            records += "row 730486 " + std::to_string(i) + " " + std::to_string(1000 + i) + " 7 \"line\" 3\n";
        return records;
    }

    // root\Data\ with the product's files, JOUR.SH holding the given records.
    std::string DataDirectory(const std::string& records) const {
        const std::string dataDir = root + "Data\\";
        CreateDirectoryA(dataDir.c_str(), nullptr);
        productfiles::Write(dataDir, productfiles::WithRows(productfiles::Description(), {{"JOUR.SH", records}}));
        return dataDir;
    }

    // The directory the editor alias names ("" without the alias).
    static std::string AliasPath() {
        platform::TRegistry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        return reg.EnterKey(kAliasKey, false) ? std::string(reg.GetString("PhysicalName")) : std::string();
    }
    static void SetAliasPath(const std::string& path) {
        platform::TRegistry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.EnterKey(kAliasKey, true));
        reg.PutString("PhysicalName", path);
    }
    static std::string ShortPathWithoutBackslash(const std::string& directory) {
        char shortPath[MAX_PATH] = {};
        GetShortPathNameA(directory.c_str(), shortPath, MAX_PATH);
        std::string path = shortPath;
        if (!path.empty() && path.back() == '\\') path.pop_back();
        return path;
    }

    SetrixLibrary setrix_;
    std::string root = TempDirectory();
};

TEST_F(JournalMove, CopiesEveryRecordWithItsMomentAndExactNumbers) {
    const std::string dataDir = DataDirectory(kTwoRecords);
    ASSERT_EQ(Move(dataDir), 1);
    EXPECT_EQ(Rows(), "2");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM ALL_TAB_COLUMNS WHERE TABLE_NAME = '" + std::string(kTable) +
                    "' AND NULLABLE = 'N'"),
              "5");
    // Numbers beyond the fifteen digits of a number's text form arrive whole.
    EXPECT_EQ(Rows("DATE_TIME = TO_DATE('2001-01-01 00:00:00', 'YYYY-MM-DD HH24:MI:SS') AND "
                   "CARD_NUMBER = 4276001234567891 AND CLIENT_NUMBER = 501 AND STROKA = 'first line' AND "
                   "PERSONNEL_ID = 7"),
              "1");
    EXPECT_EQ(Rows("DATE_TIME = TO_DATE('2001-01-02 12:00:00', 'YYYY-MM-DD HH24:MI:SS') AND "
                   "CARD_NUMBER = 9999999999999998 AND CLIENT_NUMBER = 502 AND PERSONNEL_ID = 8"),
              "1");
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
}

TEST_F(JournalMove, AnotherSessionSeesNoneOfTheRowsBeforeTheMoveEnds) {
    auto move = HeldMove(DataDirectory(Records(60)));
    std::vector<std::string> counted;
    ASSERT_TRUE(WatchUntilRowsInFlight(*move, counted));
    EXPECT_EQ(counted, std::vector<std::string>(counted.size(), "0"));
    ReleaseHeldMove();
    EXPECT_EQ(move->Output(), "1\n");
    EXPECT_EQ(Rows(), "60");
}

TEST_F(JournalMove, AMoveKilledOnItsWayLeavesNoRows) {
    auto move = HeldMove(DataDirectory(Records(20)));
    std::vector<std::string> counted;
    ASSERT_TRUE(WatchUntilRowsInFlight(*move, counted));
    move->Kill();
    // Nothing the dead move sent was committed: once its session ends, no row is left.
    EndSlowSessions();
    for (int attempt = 0; attempt < 600 && TableHeldByAnother(); ++attempt) Sleep(50);
    EXPECT_FALSE(TableHeldByAnother());
    EXPECT_EQ(Rows(), "0");
}

TEST_F(JournalMove, RecordsAtTheEdgesOfTheirValues) {
    const struct {
        const char* records;
        const char* condition;
        const char* rows;
    } cases[] = {
        // An empty line of text would be a null the column refuses: it goes over as one blank.
        {"row 730486 59 1 2 \"\" 3\n", "STROKA = ' '", "1"},
        // Before 30 December 1899 a date-time value counts backwards; its time of day does not.
        {"row 693593 21600 1 2 \"x\" 3\n", "DATE_TIME = TO_DATE('1899-12-29 06:00:00', 'YYYY-MM-DD HH24:MI:SS')",
         "1"},
        {"row 1 0 1 2 \"x\" 3\n", "DATE_TIME = TO_DATE('0001-01-01 00:00:00', 'YYYY-MM-DD HH24:MI:SS')", "1"},
        {"row 3652059 86399 1 2 \"x\" 3\n", "DATE_TIME = TO_DATE('9999-12-31 23:59:59', 'YYYY-MM-DD HH24:MI:SS')",
         "1"},
        // An empty journal still gets its table.
        {"", "1 = 1", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.records);
        Exec(kUser, kPassword, "DROP TABLE " + std::string(kTable));
        ASSERT_EQ(Move(DataDirectory(c.records)), 1);
        EXPECT_EQ(Rows(c.condition), c.rows);
    }
}

TEST_F(JournalMove, ARecordWithoutAValidMomentFailsTheMoveAndLeavesNoTable) {
    const char* const damaged[] = {
        "row 730486 0 1 2 \"x\" 3\nrow 0 0 1 2 \"x\" 3\n",
        "row 730486 0 1 2 \"x\" 3\nrow -5 0 1 2 \"x\" 3\n",
        "row 730486 0 1 2 \"x\" 3\nrow 730486 86400 1 2 \"x\" 3\n",
        "row 3652060 0 1 2 \"x\" 3\n",
    };
    for (const char* records : damaged) {
        SCOPED_TRACE(records);
        EXPECT_EQ(Move(DataDirectory(records)), 0);
        // A table left half filled would make the next attempt answer "exists" and copy nothing.
        EXPECT_FALSE(TableExists());
    }
    EXPECT_EQ(Move(DataDirectory(kTwoRecords)), 1);
    EXPECT_EQ(Rows(), "2");
}

TEST_F(JournalMove, AnInsertTheServerRefusesLeavesNoTableBehind) {
    const std::string dataDir = DataDirectory(kTwoRecords);
    // The ninth statement of the move's session is the second row's insert (after the
    // log-on's own, the count, the table, the query's open and the first row's insert).
    orastandin::InstallServerHook(kServer, "execute:9:fail:1653@" + std::string(kUser));
    EXPECT_EQ(Move(dataDir), 0);
    EXPECT_FALSE(TableExists());
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
    EXPECT_EQ(Move(dataDir), 1);
    EXPECT_EQ(Rows(), "2");
}

TEST_F(JournalMove, AnExistingTableIsLeftAsItIs) {
    ASSERT_EQ(Exec(kUser, kPassword, "CREATE TABLE " + std::string(kTable) + " (X NUMBER)"), 1);
    ASSERT_EQ(Exec(kUser, kPassword, "INSERT INTO " + std::string(kTable) + " VALUES (42)"), 1);
    const std::string dataDir = DataDirectory(kTwoRecords);
    // The name is looked up upper-cased.
    EXPECT_EQ(Move(dataDir, "stx_jour_move"), 2);
    EXPECT_EQ(Rows("X = 42"), "1");
    EXPECT_EQ(Rows(), "1");
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
}

TEST_F(JournalMove, WhatStopsAMoveBeforeItCreatesAnything) {
    const std::string dataDir = DataDirectory(kTwoRecords);
    const struct {
        std::string directory;
        std::string table;
        const char* password;
        int result;
    } cases[] = {
        {root, kTable, kPassword, 4},  // no jour.sh there
        {dataDir, kTable, "wrong", 3},
        // Names pasted into the statements must be plain names.
        {dataDir, "", kPassword, 0},
        {dataDir, std::string(kTable) + " (X NUMBER); --", kPassword, 0},
        {dataDir, "1STX", kPassword, 0},
        {dataDir, "STX JOUR", kPassword, 0},
        {dataDir, "\"STX_JOUR_MOVE\"", kPassword, 0},
        {dataDir, "STX_NAME_LONGER_THAN_THIRTY_CHARS", kPassword, 0},
        // An owner's name may come before the table's, each of them a plain name.
        {dataDir, std::string(kUser) + ".", kPassword, 0},
        {dataDir, std::string(".") + kTable, kPassword, 0},
        {dataDir, std::string(kUser) + ".." + kTable, kPassword, 0},
        {dataDir, std::string(kUser) + "." + kTable + ".X", kPassword, 0},
        {dataDir, std::string(kUser) + " ." + kTable, kPassword, 0},
        {dataDir, std::string(kUser) + ".1STX", kPassword, 0},
        {dataDir, "\"" + std::string(kUser) + "\"." + kTable, kPassword, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory + " " + c.table + " " + c.password);
        EXPECT_EQ(Move(c.directory, c.table, c.password), c.result);
        EXPECT_FALSE(TableExists());
        EXPECT_TRUE(productfiles::DictionaryRemoved(c.directory));
    }
}

TEST_F(JournalMove, ATableNameMayNameItsOwner) {
    const std::string dataDir = DataDirectory(kTwoRecords);
    ASSERT_EQ(Move(dataDir, std::string(kUser) + "." + kTable), 1);
    EXPECT_EQ(Rows(), "2");
    // The owner's tables are where the name is looked for, whatever the case it is given in.
    EXPECT_EQ(Move(dataDir, "stx_journal.stx_jour_move"), 2);
    EXPECT_EQ(Rows(), "2");
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
}

TEST_F(JournalMove, TheDatabaseAnswersBeforeTheJournalIsOpened) {
    // A JOUR.SH that is no data file at all: the log-on and the table's existence decide
    // first, and the alias is not turned to the directory before the journal is needed.
    const std::string dataDir = root + "Damaged\\";
    CreateDirectoryA(dataDir.c_str(), nullptr);
    WriteFileBytes(dataDir + "JOUR.SH", "not a data file");
    SetAliasPath("C:\\ELSEWHERE");

    EXPECT_EQ(Move(dataDir, kTable, "wrong"), 3);
    EXPECT_EQ(AliasPath(), "C:\\ELSEWHERE");
    ASSERT_EQ(Exec(kUser, kPassword, "CREATE TABLE " + std::string(kTable) + " (X NUMBER)"), 1);
    EXPECT_EQ(Move(dataDir), 2);
    EXPECT_EQ(AliasPath(), "C:\\ELSEWHERE");
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));

    ASSERT_EQ(Exec(kUser, kPassword, "DROP TABLE " + std::string(kTable)), 1);
    EXPECT_EQ(Move(dataDir), 0);
    EXPECT_FALSE(TableExists());
    EXPECT_EQ(AliasPath(), ShortPathWithoutBackslash(dataDir));
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
}

TEST_F(JournalMove, ReadsTheJournalThroughTheAliasOfEachCallsDirectory) {
    // Two data directories one after the other: the second move reads its own journal,
    // not the first one's through a database still open on the alias.
    const std::string first = DataDirectory(kTwoRecords);
    ASSERT_EQ(Move(first), 1);
    const std::string second = root + "Second\\";
    CreateDirectoryA(second.c_str(), nullptr);
    productfiles::Write(second, productfiles::WithRows(productfiles::Description(),
                                                       {{"JOUR.SH", "row 730486 0 1 2 \"only\" 3\n"}}));
    ASSERT_EQ(Exec(kUser, kPassword, "DROP TABLE " + std::string(kTable)), 1);
    ASSERT_EQ(Move(second), 1);
    EXPECT_EQ(Rows(), "1");
    EXPECT_EQ(Rows("STROKA = 'only'"), "1");
    EXPECT_TRUE(productfiles::DictionaryRemoved(first));
    EXPECT_TRUE(productfiles::DictionaryRemoved(second));
}

}  // namespace
