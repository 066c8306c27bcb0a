// Our relational engine through its entry points, bound by name as the product binds them,
// over databases written by the fixture writer.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/standins/relational/RelationalTestSupport.h"

using namespace btrieve;
using namespace sqltest;

namespace {

const char* const kPeople = R"(
table PEOPLE PEOPLE.DAT
field ID integer 4
field NAME string 12
field BORN date 4
field SALARY float 8
field ACTIVE logical 1
field START time 4
key ID
row 1 Anna 1980-05-01 1500.5 true 08:30:00
row 2 Boris 1975-12-31 2000 false 09:00:00
row 3 Clara 1990-01-15 1750.25 true 10:05:03.45
row 4 Dmitri 2001-01-02 900 true 07:15:00
table "JOUR.SH" JOUR.SH
field LINE string 20
)";

// Offsets of PEOPLE's columns in a row of SELECT *: after the 2-byte length word.
constexpr uint32_t kIdAt = 2, kNameAt = 6, kBornAt = 18, kSalaryAt = 22, kActiveAt = 30, kStartAt = 31;
constexpr uint32_t kPeopleStride = 2 + 33 + 4;

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

std::string Text(const uint8_t* p, size_t n) {
    std::string s(reinterpret_cast<const char*>(p), n);
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

class RelationalEngine : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(sql.module_, nullptr) << "WSSQL32.DLL did not load";
        WriteDatabase(dir.Path(), kPeople);
        ASSERT_EQ(sql.login("user", "", dir.Path().c_str(), dir.Path().c_str(), "", 1), 0);
        ASSERT_EQ(sql.getSession(&session), 0);
    }
    void TearDown() override { sql.stop(); }

    // A compiled statement; substitutions are pairs of name and value.
    int16_t Compile(const std::string& text, int16_t expected = 0) {
        int16_t cursor = -1;
        EXPECT_EQ(sql.putSession(session), 0);
        EXPECT_EQ(sql.cursor(&cursor), 0);
        EXPECT_EQ(sql.compile(cursor, static_cast<uint16_t>(text.size()), text.c_str()), expected) << text;
        return cursor;
    }
    void Subst(int16_t cursor, const std::string& name, const std::string& value) {
        ASSERT_EQ(sql.subst(cursor, 1, static_cast<uint16_t>(name.size() + 1), name.c_str(),
                            static_cast<uint16_t>(value.size() + 1), value.c_str()),
                  0);
    }
    int16_t Run(const std::string& text) {
        int16_t cursor = Compile(text);
        EXPECT_EQ(sql.exec(cursor), 0) << text;
        return cursor;
    }
    // One fetch; the row's bytes, empty when the engine gave none.
    Bytes Fetch(int16_t cursor, uint16_t option, uint32_t stride, int16_t* status = nullptr) {
        Bytes row(stride, 0xEE);
        uint32_t length = stride, count = 1;
        int16_t s = sql.fetch(cursor, option, &length, row.data(), &count, 0, 0);
        if (status) *status = s;
        else EXPECT_TRUE(s == 0 || s == SqlStatusNoRow) << s;
        if (count == 0) row.clear();
        return row;
    }
    std::vector<int32_t> Ids(int16_t cursor, uint32_t stride = kPeopleStride) {
        std::vector<int32_t> ids;
        for (Bytes row = Fetch(cursor, FetchFirst, stride); !row.empty(); row = Fetch(cursor, FetchNext, stride))
            ids.push_back(I32(row.data() + kIdAt));
        return ids;
    }
    std::vector<int32_t> Query(const std::string& text) {
        int16_t cursor = Run(text);
        auto ids = Ids(cursor);
        sql.free(cursor);
        return ids;
    }

    SqlLibrary& sql = SqlLibrary::Get();
    TempDirectory dir{"people"};
    int16_t session = -1;
};

TEST(RelationalLibraries, EveryEntryPointIsThereAndTheVersionIsFour) {
    SqlLibrary& sql = SqlLibrary::Get();
    ASSERT_NE(sql.module_, nullptr);
    for (const char* name : kSqlEntryNames) EXPECT_NE(GetProcAddress(sql.module_, name), nullptr) << name;
    HMODULE names = LoadLibraryA(kSqlNameLibrary);
    ASSERT_NE(names, nullptr);
    for (const char* name : kSqlNameEntryNames) EXPECT_NE(GetProcAddress(names, name), nullptr) << name;
    FreeLibrary(names);

    uint8_t record[22] = {'X', 'V', 'E', 'R', 22, 0};
    ASSERT_EQ(sql.version(record), 0);
    EXPECT_EQ(record[12] | record[13] << 8, 4);
    uint8_t wrong[22] = {'N', 'O', 'P', 'E', 22, 0};
    EXPECT_NE(sql.version(wrong), 0);
    char reset[1] = {0};
    EXPECT_EQ(sql.xreset(reset), 0);
    // An entry point the product binds but never calls answers, and does not crash.
    auto unused = Bind<XUnusedFn>(sql.module_, "xDDCreate");
    EXPECT_EQ(unused(), SqlStatusNotSupported);
}

TEST_F(RelationalEngine, LogInToDirectoriesAndNamedDatabases) {
    TempDirectory empty("empty");
    EXPECT_EQ(sql.login("u", "p", empty.Path().c_str(), empty.Path().c_str(), "", 1), SqlStatusDatabaseNotFound);
    EXPECT_EQ(sql.login("u", "p", "@NOSUCH", "", "", 1), SqlStatusDatabaseNotFound);

    SetEnvironmentVariableA("WSSQL_DATABASES", ("OTHER=C:\\nowhere;DEMO=" + dir.Path()).c_str());
    ASSERT_EQ(sql.login("u", "p", "@demo", "", "", 1), 0);
    SetEnvironmentVariableA("WSSQL_DATABASES", nullptr);
    int16_t named = -1;
    ASSERT_EQ(sql.getSession(&named), 0);
    EXPECT_NE(named, session);
    const int16_t first = session;
    session = named;
    int16_t cursor = Run("SELECT ID FROM PEOPLE");
    EXPECT_EQ(Ids(cursor, 2 + 4 + 4).size(), 4u);

    // Logging out ends the session and its cursors; the first session goes on.
    ASSERT_EQ(sql.logout(), 0);
    EXPECT_EQ(sql.putSession(named), SqlStatusInvalidSession);
    EXPECT_EQ(sql.exec(cursor), SqlStatusInvalidCursor);
    int16_t current = -1;
    EXPECT_EQ(sql.getSession(&current), SqlStatusInvalidSession);
    session = first;
    EXPECT_EQ(Query("SELECT * FROM PEOPLE").size(), 4u);

    // Stop ends every session.
    EXPECT_EQ(sql.stop(), 0);
    EXPECT_EQ(sql.putSession(first), SqlStatusInvalidSession);
}

TEST_F(RelationalEngine, ADictionaryWithUsersAdmitsOnlyThem) {
    WriteDatabase(dir.Path(), kPeople);
    auto users = wbtrv::ParseFixtureDescription(R"(
table X$User USER.DDF
field Xu$Id integer 2
field Xu$Name string 30
field Xu$Password string 9
field Xu$Flags integer 2
row 1 MASTER secret 0
row 2 Guest "" 0
)");
    wbtrv::FixtureWriter(dir.Path()).WriteTable(users[0]);
    struct Case {
        const char* user;
        const char* password;
        int16_t status;
    } cases[] = {{"master", "secret", 0}, {"MASTER", "Secret", SqlStatusBadPassword}, {"guest", "", 0},
                 {"guest", "x", SqlStatusBadPassword}, {"nobody", "", SqlStatusBadPassword}, {"", "", SqlStatusBadPassword}};
    for (const Case& c : cases) {
        EXPECT_EQ(sql.login(c.user, c.password, dir.Path().c_str(), dir.Path().c_str(), "", 1), c.status) << c.user;
        if (c.status == 0) {
            EXPECT_EQ(sql.logout(), 0);
        }
    }
}

TEST_F(RelationalEngine, StoredProceduresRunTheirStatement) {
    auto procedures = wbtrv::ParseFixtureDescription(R"(
table X$Proc PROC.DDF
field Xp$Name string 30
field Xp$Text zstring 1031
row Rich "SELECT * FROM PEOPLE WHERE SALARY > @limit ORDER BY ID DESC"
row Again "CALL Again();"
)");
    wbtrv::FixtureWriter(dir.Path()).WriteTable(procedures[0]);
    int16_t cursor = Compile("CALL RICH();");
    Subst(cursor, "limit", "1600");
    ASSERT_EQ(sql.exec(cursor), 0);
    EXPECT_EQ(Ids(cursor), (std::vector<int32_t>{3, 2}));
    Compile("CALL Again();", SqlStatusSyntaxError);
    Compile("CALL Nothing();", SqlStatusProcedureNotFound);
}

TEST_F(RelationalEngine, LockedReadsKeepOtherSessionsOff) {
    const uint32_t stride = 2 + 4 + 4;
    int16_t mine = Run("SELECT ID FROM PEOPLE WHERE ID = 1");
    int16_t status = 0;
    Fetch(mine, FetchFirst + FetchLockBias, stride, &status);
    ASSERT_EQ(status, 0);

    const int16_t first = session;
    ASSERT_EQ(sql.login("other", "", dir.Path().c_str(), dir.Path().c_str(), "", 1), 0);
    ASSERT_EQ(sql.getSession(&session), 0);
    int16_t theirs = Run("SELECT ID FROM PEOPLE ORDER BY ID");
    EXPECT_TRUE(Fetch(theirs, FetchFirst + FetchLockBias, stride, &status).empty());
    EXPECT_EQ(status, StatusRecordLocked);
    EXPECT_EQ(I32(Fetch(theirs, FetchFirst, stride).data() + 2), 1);  // reading without a lock is free
    EXPECT_EQ(I32(Fetch(theirs, FetchNext + FetchLockBias, stride).data() + 2), 2);
    int16_t update = Compile("UPDATE PEOPLE SET NAME = 'X' WHERE ID = 1");
    EXPECT_EQ(sql.exec(update), StatusRecordLocked);

    // Released by the first session: now the other may lock it.
    uint32_t length = 0, count = 0;
    EXPECT_EQ(sql.putSession(first), 0);
    EXPECT_EQ(sql.fetch(mine, FetchRelease, &length, nullptr, &count, 0, 0), 0);
    EXPECT_EQ(sql.putSession(session), 0);
    EXPECT_EQ(I32(Fetch(theirs, FetchFirst + FetchLockBias, stride).data() + 2), 1);
}

TEST_F(RelationalEngine, SelectAllDescribesTheFieldsAndDeliversRows) {
    int16_t cursor = Run("select * from people");
    struct Expected {
        const char* name;
        int16_t type, size, decimals;
    } columns[] = {{"ID", TypeInteger, 4, 0},  {"NAME", TypeString, 12, 0},  {"BORN", TypeDate, 4, 0},
                   {"SALARY", TypeFloat, 8, 0}, {"ACTIVE", TypeLogical, 1, 0}, {"START", TypeTime, 4, 0}};
    for (int i = 0; i < 6; ++i) {
        int16_t type = -1, size = -1, decimals = -1, display = -1, nameLength = 256;
        char name[256] = {};
        ASSERT_EQ(sql.describe(cursor, static_cast<int16_t>(i + 1), &type, &size, &decimals, &display, &nameLength, name), 0);
        EXPECT_STREQ(name, columns[i].name);
        EXPECT_EQ(nameLength, static_cast<int16_t>(std::strlen(columns[i].name)));
        EXPECT_EQ(type, columns[i].type);
        EXPECT_EQ(size, columns[i].size);
    }
    int16_t type, size, decimals, display, nameLength = 256;
    char name[256];
    EXPECT_EQ(sql.describe(cursor, 7, &type, &size, &decimals, &display, &nameLength, name), SqlStatusNoSuchColumn);

    Bytes row = Fetch(cursor, FetchFirst, kPeopleStride);
    ASSERT_EQ(row.size(), kPeopleStride);
    EXPECT_EQ(row[0] | row[1] << 8, 33);
    EXPECT_EQ(I32(row.data() + kIdAt), 1);
    EXPECT_EQ(Text(row.data() + kNameAt, 12), "Anna");
    EXPECT_EQ(Bytes(row.begin() + kBornAt, row.begin() + kBornAt + 4), (Bytes{1, 5, 0xBC, 0x07}));
    EXPECT_DOUBLE_EQ(F64(row.data() + kSalaryAt), 1500.5);
    EXPECT_EQ(row[kActiveAt], 1);
    EXPECT_EQ(Bytes(row.begin() + kStartAt, row.begin() + kStartAt + 4), (Bytes{0, 0, 30, 8}));
    EXPECT_EQ(Bytes(row.end() - 4, row.end()), Bytes(4, 0));

    // Moves: last, prior, current; past either end no row, and the count says so.
    EXPECT_EQ(I32(Fetch(cursor, FetchLast, kPeopleStride).data() + kIdAt), 4);
    EXPECT_EQ(I32(Fetch(cursor, FetchPrior, kPeopleStride).data() + kIdAt), 3);
    EXPECT_EQ(I32(Fetch(cursor, FetchCurrent + FetchLockBias, kPeopleStride).data() + kIdAt), 3);
    Fetch(cursor, FetchLast, kPeopleStride);
    int16_t status = 0;
    EXPECT_TRUE(Fetch(cursor, FetchNext, kPeopleStride, &status).empty());
    EXPECT_EQ(status, SqlStatusNoRow);
    EXPECT_EQ(I32(Fetch(cursor, FetchPrior, kPeopleStride).data() + kIdAt), 4);
    Fetch(cursor, FetchFirst, kPeopleStride);
    EXPECT_TRUE(Fetch(cursor, FetchPrior, kPeopleStride, &status).empty());
    EXPECT_EQ(status, SqlStatusNoRow);
    EXPECT_EQ(I32(Fetch(cursor, FetchNext, kPeopleStride).data() + kIdAt), 1);

    // A buffer shorter than one row is refused.
    Bytes small(kPeopleStride - 1);
    uint32_t length = static_cast<uint32_t>(small.size()), count = 1;
    EXPECT_EQ(sql.fetch(cursor, FetchFirst, &length, small.data(), &count, 0, 0), SqlStatusBufferTooShort);
}

TEST_F(RelationalEngine, ConditionsOrderAndVariables) {
    struct Case {
        const char* text;
        std::vector<int32_t> ids;
    } cases[] = {
        {"SELECT * FROM PEOPLE WHERE SALARY > 1600", {2, 3}},
        {"SELECT * FROM PEOPLE WHERE SALARY >= 1500.5 AND ACTIVE = 1 ORDER BY SALARY DESC", {3, 1}},
        {"SELECT * FROM PEOPLE WHERE NOT (ID = 1 OR ID = 2)", {3, 4}},
        {"SELECT * FROM PEOPLE WHERE NAME LIKE '%r%' ORDER BY NAME", {2, 3, 4}},
        {"SELECT * FROM PEOPLE WHERE NAME NOT LIKE 'B_ris'", {1, 3, 4}},
        {"SELECT * FROM PEOPLE WHERE BORN < '1985-01-01' ORDER BY BORN", {2, 1}},
        {"SELECT * FROM PEOPLE WHERE BORN BETWEEN '1980-01-01' AND '2001-01-02'", {1, 3, 4}},
        {"SELECT * FROM PEOPLE WHERE START = '10:05:03:45'", {3}},
        {"SELECT * FROM PEOPLE WHERE START > '09:00:00'", {3}},
        {"SELECT * FROM PEOPLE WHERE ID IN (4, 2, 9) ORDER BY 1 DESC", {4, 2}},
        {"SELECT * FROM PEOPLE WHERE NAME = 'Anna   ' OR NAME <> NAME", {1}},
        {"SELECT * FROM PEOPLE WHERE ID = -1", {}},
        {"SELECT * FROM PEOPLE ORDER BY ACTIVE, NAME DESC;", {2, 4, 3, 1}},
    };
    for (const Case& c : cases) EXPECT_EQ(Query(c.text), c.ids) << c.text;

    // Markers rewritten by the product: values come as text, converted by the field's type.
    int16_t cursor = Compile("SELECT * FROM PEOPLE WHERE BORN = @QVAR0000 OR (NAME = @who AND ACTIVE = @QVAR0002)");
    Subst(cursor, "QVAR0000", "2001-01-02");
    Subst(cursor, "who", "Anna");
    Subst(cursor, "QVAR0002", "true");
    ASSERT_EQ(sql.exec(cursor), 0);
    EXPECT_EQ(Ids(cursor), (std::vector<int32_t>{1, 4}));
    // New values take effect on the next execution.
    Subst(cursor, "WHO", "Boris");
    Subst(cursor, "QVAR0002", "false");
    ASSERT_EQ(sql.exec(cursor), 0);
    EXPECT_EQ(Ids(cursor), (std::vector<int32_t>{2, 4}));
}

TEST_F(RelationalEngine, FailuresAnswerTheirStatus) {
    struct Case {
        const char* text;
        int16_t compileStatus;
        int16_t execStatus;
    } cases[] = {
        {"SELEKT * FROM PEOPLE", SqlStatusSyntaxError, SqlStatusNotExecuted},
        {"SELECT * FROM PEOPLE WHERE", SqlStatusSyntaxError, SqlStatusNotExecuted},
        {"SELECT * FROM PEOPLE WHERE NAME = 'open", SqlStatusSyntaxError, SqlStatusNotExecuted},
        {"SELECT ID, COUNT(*) FROM PEOPLE", SqlStatusSyntaxError, SqlStatusNotExecuted},
        {"SELECT * FROM NOBODY", SqlStatusTableNotFound, SqlStatusNotExecuted},
        {"SELECT WAGE FROM PEOPLE", SqlStatusUnknownColumn, SqlStatusNotExecuted},
        {"SELECT * FROM PEOPLE ORDER BY 9", SqlStatusUnknownColumn, SqlStatusNotExecuted},
        {"SELECT * FROM PEOPLE WHERE ID = @missing", 0, SqlStatusMissingVariable},
        {"SELECT * FROM PEOPLE WHERE ID = 'one'", 0, SqlStatusBadValue},
        {"INSERT INTO PEOPLE (ID, BORN) VALUES (9, '2001-13-40')", 0, SqlStatusBadValue},
        {"INSERT INTO PEOPLE (ID, NAME) VALUES (9)", SqlStatusSyntaxError, SqlStatusNotExecuted},
        {"CALL PROC1();", SqlStatusProcedureNotFound, SqlStatusNotExecuted},
        {"SELECT SUM(NAME) FROM PEOPLE", 0, SqlStatusBadValue},
    };
    for (const Case& c : cases) {
        int16_t cursor = Compile(c.text, c.compileStatus);
        EXPECT_EQ(sql.exec(cursor), c.execStatus) << c.text;
        sql.free(cursor);
    }
    EXPECT_EQ(sql.exec(999), SqlStatusInvalidCursor);
    int16_t cursor = Compile("SELECT * FROM PEOPLE");
    Bytes row(kPeopleStride);
    uint32_t length = kPeopleStride, count = 1;
    EXPECT_EQ(sql.fetch(cursor, FetchFirst, &length, row.data(), &count, 0, 0), SqlStatusNotExecuted);
    EXPECT_EQ(sql.free(cursor), 0);
    EXPECT_EQ(sql.free(cursor), SqlStatusInvalidCursor);
    // Nothing failed half-way: the table is as it was.
    EXPECT_EQ(Query("SELECT * FROM PEOPLE").size(), 4u);
}

TEST_F(RelationalEngine, ComputedColumnsDescribeAsTheProductExpects) {
    int16_t cursor = Run("SELECT COUNT(*), SUM(SALARY), AVG(ID), MAX(NAME), MIN(BORN) FROM PEOPLE WHERE ID > 1");
    struct Expected {
        const char* name;
        int16_t type, size;
    } columns[] = {{"COUNT(*)", 0, 0}, {"SUM(SALARY)", 0, 0}, {"AVG(ID)", 0, 0}, {"MAX(NAME)", TypeString, 12},
                   {"MIN(BORN)", TypeDate, 4}};
    for (int i = 0; i < 5; ++i) {
        int16_t type = -1, size = -1, decimals = -1, display = -1, nameLength = 256;
        char name[256] = {};
        ASSERT_EQ(sql.describe(cursor, static_cast<int16_t>(i + 1), &type, &size, &decimals, &display, &nameLength, name), 0);
        EXPECT_STREQ(name, columns[i].name);
        EXPECT_EQ(type, columns[i].type) << name;
        EXPECT_EQ(size, columns[i].size) << name;
    }
    // COUNT 4 bytes, SUM and AVG 8-byte floats, MAX and MIN as their field.
    const uint32_t stride = 2 + 4 + 8 + 8 + 12 + 4 + 4;
    Bytes row = Fetch(cursor, FetchFirst, stride);
    ASSERT_EQ(row.size(), stride);
    EXPECT_EQ(I32(row.data() + 2), 3);
    EXPECT_DOUBLE_EQ(F64(row.data() + 6), 4650.25);
    EXPECT_DOUBLE_EQ(F64(row.data() + 14), 3.0);
    EXPECT_EQ(Text(row.data() + 22, 12), "Dmitri");
    EXPECT_EQ(Bytes(row.begin() + 34, row.begin() + 38), (Bytes{31, 12, 0xB7, 0x07}));
    EXPECT_TRUE(Fetch(cursor, FetchNext, stride).empty());

    int16_t none = Run("SELECT COUNT(*) FROM PEOPLE WHERE ID > 100");
    EXPECT_EQ(I32(Fetch(none, FetchFirst, 10).data() + 2), 0);
}

TEST_F(RelationalEngine, EmptyResultHasNoRowInAnyDirection) {
    int16_t cursor = Run("SELECT * FROM PEOPLE WHERE ID > 100");
    for (uint16_t option : {FetchFirst, FetchPrior, FetchLast, FetchNext, FetchCurrent}) {
        int16_t status = 0;
        EXPECT_TRUE(Fetch(cursor, option, kPeopleStride, &status).empty()) << option;
        EXPECT_EQ(status, SqlStatusNoRow) << option;
    }
    uint32_t count = 1;
    Bytes position(kSqlPositionSize);
    EXPECT_EQ(sql.xfetch(cursor, kSqlPositionSize, FetchPosition, &count, 0, position.data()), SqlStatusNoRow);
    EXPECT_EQ(count, 0u);
}

TEST_F(RelationalEngine, StatementsWriteTheTable) {
    Run("INSERT INTO PEOPLE (ID, NAME, BORN, SALARY) VALUES (5, 'Elena', '1999-09-09', 1200)");
    Run("INSERT INTO \"JOUR.SH\" VALUES ('first line')");
    int16_t cursor = Compile("UPDATE PEOPLE SET SALARY = @QVAR0000, ACTIVE = 0 WHERE SALARY < 1300");
    Subst(cursor, "QVAR0000", "1300.75");
    ASSERT_EQ(sql.exec(cursor), 0);
    Run("DELETE FROM PEOPLE WHERE NAME = 'Boris'");

    EXPECT_EQ(Query("SELECT * FROM PEOPLE WHERE SALARY = 1300.75 ORDER BY ID"), (std::vector<int32_t>{4, 5}));
    EXPECT_EQ(Query("SELECT * FROM PEOPLE WHERE ACTIVE = 0"), (std::vector<int32_t>{4, 5}));
    EXPECT_EQ(Query("SELECT * FROM PEOPLE"), (std::vector<int32_t>{1, 3, 4, 5}));
    int16_t born = Run("SELECT BORN, NAME FROM PEOPLE WHERE ID = 5");
    Bytes row = Fetch(born, FetchFirst, 2 + 4 + 12 + 4);
    EXPECT_EQ(Bytes(row.begin() + 2, row.begin() + 6), (Bytes{9, 9, 0xCF, 0x07}));
    EXPECT_EQ(Text(row.data() + 6, 12), "Elena");
    int16_t journal = Run("SELECT LINE FROM \"JOUR.SH\"");
    EXPECT_EQ(Text(Fetch(journal, FetchFirst, 26).data() + 2, 20), "first line");
    // A duplicate of the unique key is the record manager's status.
    int16_t duplicate = Compile("INSERT INTO PEOPLE (ID) VALUES (1)");
    EXPECT_EQ(sql.exec(duplicate), StatusDuplicateKey);
}

TEST_F(RelationalEngine, TransactionsCommitOrRollBack) {
    Run("START TRANSACTION");
    Run("INSERT INTO PEOPLE (ID, NAME) VALUES (6, 'Fedor')");
    Run("DELETE FROM PEOPLE WHERE ID = 1");
    EXPECT_EQ(Query("SELECT * FROM PEOPLE"), (std::vector<int32_t>{2, 3, 4, 6}));
    Run("ROLLBACK WORK");
    EXPECT_EQ(Query("SELECT * FROM PEOPLE"), (std::vector<int32_t>{1, 2, 3, 4}));

    Run("START TRANSACTION");
    int16_t nested = Compile("START TRANSACTION");
    EXPECT_EQ(sql.exec(nested), StatusTransactionActive);
    Run("UPDATE PEOPLE SET NAME = 'Anya' WHERE ID = 1");
    Run("COMMIT WORK");
    EXPECT_EQ(Query("SELECT * FROM PEOPLE WHERE NAME = 'Anya'"), (std::vector<int32_t>{1}));
    int16_t commit = Compile("COMMIT WORK");
    EXPECT_EQ(sql.exec(commit), StatusNoTransaction);

    // A session that logs out in a transaction loses its changes.
    Run("START TRANSACTION");
    Run("DELETE FROM PEOPLE");
    ASSERT_EQ(sql.logout(), 0);
    ASSERT_EQ(sql.login("user", "", dir.Path().c_str(), dir.Path().c_str(), "", 1), 0);
    ASSERT_EQ(sql.getSession(&session), 0);
    EXPECT_EQ(Query("SELECT * FROM PEOPLE").size(), 4u);
}

TEST_F(RelationalEngine, ResultCursorWritesAndPositions) {
    int16_t cursor = Run("SELECT ID, NAME FROM PEOPLE WHERE ID >= 2 ORDER BY ID");
    const uint32_t stride = 2 + 4 + 12 + 4;
    Fetch(cursor, FetchNext, stride);  // on id 2

    // Position of the current row, and back to it after moving away.
    Bytes position(kSqlPositionSize, 0);
    uint32_t count = 1;
    ASSERT_EQ(sql.xfetch(cursor, kSqlPositionSize, FetchPosition, &count, 0, position.data()), 0);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(position[0] | position[1] << 8, 4);
    Fetch(cursor, FetchLast, stride);
    Bytes scratch(3 * kSqlPositionSize, 0);
    std::memcpy(scratch.data(), position.data(), 6);
    ASSERT_EQ(sql.xfetch(cursor, static_cast<uint32_t>(scratch.size()), FetchAtPosition + FetchLockBias, &count, -1,
                         scratch.data()),
              0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(I32(scratch.data() + 2), 2);
    EXPECT_EQ(I32(Fetch(cursor, FetchNext, stride).data() + 2), 3);
    Bytes unknown(kSqlPositionSize, 0);
    unknown[0] = 4;
    unknown[2] = 0x7F;
    ASSERT_EQ(sql.xfetch(cursor, kSqlPositionSize, FetchAtPosition, &count, -1, unknown.data()), SqlStatusNoRow);
    EXPECT_EQ(count, 0u);

    // Update the current row (id 3), then remove it: the next row is the one after it.
    Bytes row = Fetch(cursor, FetchCurrent, stride);
    std::memcpy(row.data() + 6, "Klara       ", 12);
    count = 1;
    ASSERT_EQ(sql.xupdate(cursor, 1, "*.*", &count, row.data()), 0);
    EXPECT_EQ(Text(Fetch(cursor, FetchCurrent, stride).data() + 6, 12), "Klara");
    EXPECT_EQ(Query("SELECT * FROM PEOPLE WHERE NAME = 'Klara'"), (std::vector<int32_t>{3}));
    ASSERT_EQ(sql.xremove(cursor, 1, "*.*", &count), 0);
    EXPECT_TRUE(Fetch(cursor, FetchCurrent, stride).empty());
    EXPECT_EQ(sql.xremove(cursor, 1, "*.*", &count), SqlStatusNoCurrentRow);
    EXPECT_EQ(I32(Fetch(cursor, FetchNext, stride).data() + 2), 4);

    // Insert two rows in one call; the first has a data length of 0 (the whole row), the
    // second one that ends inside NAME, which keeps only the bytes given.
    Bytes block(2 * stride, 0);
    const int32_t seven = 7, eight = 8;
    std::memcpy(block.data() + 2, &seven, 4);
    std::memcpy(block.data() + 6, "Galina      ", 12);
    block[stride] = 4 + 3;
    std::memcpy(block.data() + stride + 2, &eight, 4);
    std::memcpy(block.data() + stride + 6, "Ivanov      ", 12);
    count = 2;
    ASSERT_EQ(sql.xinsert(cursor, 1, "*.*", &count, block.data()), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(I32(Fetch(cursor, FetchCurrent, stride).data() + 2), 8);
    EXPECT_EQ(Text(Fetch(cursor, FetchCurrent, stride).data() + 6, 12), "Iva");
    EXPECT_EQ(Query("SELECT * FROM PEOPLE WHERE ID > 6"), (std::vector<int32_t>{7, 8}));
    EXPECT_EQ(sql.xinsert(cursor, 2, "ID", &count, block.data()), SqlStatusNotSupported);

    // Several rows in one read.
    Bytes rows(3 * stride, 0);
    uint32_t length = static_cast<uint32_t>(rows.size());
    count = 3;
    ASSERT_EQ(sql.fetch(cursor, FetchFirst, &length, rows.data(), &count, 0, 0), 0);
    length = static_cast<uint32_t>(rows.size());
    count = 3;
    EXPECT_EQ(sql.fetch(cursor, FetchNext, &length, rows.data(), &count, 0, 0), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(length, 3 * stride);
    EXPECT_EQ(I32(rows.data() + 2), 4);
    EXPECT_EQ(I32(rows.data() + stride + 2), 7);
    EXPECT_EQ(I32(rows.data() + 2 * stride + 2), 8);
    length = static_cast<uint32_t>(rows.size());
    count = 3;
    EXPECT_EQ(sql.fetch(cursor, FetchNext, &length, rows.data(), &count, 0, 0), SqlStatusNoRow);
    EXPECT_EQ(count, 0u);

    // Aggregate results are not written through.
    int16_t counted = Run("SELECT COUNT(*) FROM PEOPLE");
    Fetch(counted, FetchFirst, 10);
    EXPECT_EQ(sql.xremove(counted, 1, "*.*", &count), SqlStatusNotUpdatable);
}

TEST(RelationalNames, LocalAndRemoteDatabasesAreListedInTurn) {
    HMODULE module = LoadLibraryA(kSqlNameLibrary);
    ASSERT_NE(module, nullptr);
    auto countLocal = Bind<SqlGetCountDatabaseNamesFn>(module, "SQLGetCountDatabaseNames");
    auto countRemote = Bind<SqlGetCountDatabaseNamesFn>(module, "SQLGetCountRemoteDatabaseNames");
    auto nextLocal = Bind<SqlGetDatabaseNamesFn>(module, "SQLGetDatabaseNames");
    auto nextRemote = Bind<SqlGetDatabaseNamesFn>(module, "SQLGetRemoteDatabaseNames");
    SetEnvironmentVariableA("WSSQL_DATABASES", "DEMO=C:\\demo;AVERYLONGDATABASENAME_XYZ=C:\\x");
    SetEnvironmentVariableA("WSSQL_REMOTE_DATABASES", "FAR=\\\\server\\far");
    uint16_t count = 0;
    ASSERT_EQ(countLocal(&count), 0);
    EXPECT_EQ(count, 2);
    char name[kSqlDatabaseNameSize];
    uint16_t length = kSqlDatabaseNameSize;
    ASSERT_EQ(nextLocal(name, &length), 0);
    EXPECT_STREQ(name, "DEMO");
    length = kSqlDatabaseNameSize;
    ASSERT_EQ(nextLocal(name, &length), 0);
    EXPECT_STREQ(name, "AVERYLONGDATABASENA");  // cut to the buffer
    length = kSqlDatabaseNameSize;
    EXPECT_NE(nextLocal(name, &length), 0);
    ASSERT_EQ(countRemote(&count), 0);
    EXPECT_EQ(count, 1);
    length = kSqlDatabaseNameSize;
    ASSERT_EQ(nextRemote(name, &length), 0);
    EXPECT_STREQ(name, "FAR");
    SetEnvironmentVariableA("WSSQL_DATABASES", nullptr);
    SetEnvironmentVariableA("WSSQL_REMOTE_DATABASES", nullptr);
    ASSERT_EQ(countLocal(&count), 0);
    EXPECT_EQ(count, 0);
    FreeLibrary(module);
}

}  // namespace

namespace {

// The product's own tables, as the fixture tool writes them, with names in code page 1251.
TEST(RelationalProductTables, QueriesOverTheProductDictionary) {
    SqlLibrary& sql = SqlLibrary::Get();
    ASSERT_NE(sql.module_, nullptr);
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string tables = exe;
    tables = tables.substr(0, tables.find_last_of("\\/") + 1) + "product.tables";
    HANDLE file = CreateFileA(tables.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << tables;
    std::string description(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, description.data(), static_cast<DWORD>(description.size()), &read, nullptr);
    CloseHandle(file);
    TempDirectory dir("product");
    WriteDatabase(dir.Path(), description);
    ASSERT_EQ(sql.login("", "", dir.Path().c_str(), dir.Path().c_str(), "", 1), 0);

    const std::string query = wbtrv::ToCodePage1251(
        "SELECT \"ID схемы\", \"Описание схемы работ\" FROM ecfil016 WHERE \"Флаг активности\" = @QVAR0000 "
        "ORDER BY \"ID схемы\" DESC");
    int16_t cursor = -1;
    ASSERT_EQ(sql.cursor(&cursor), 0);
    ASSERT_EQ(sql.compile(cursor, static_cast<uint16_t>(query.size()), query.c_str()), 0);
    ASSERT_EQ(sql.subst(cursor, 1, 9, "QVAR0000", 5, "true"), 0);
    ASSERT_EQ(sql.exec(cursor), 0);
    const uint32_t stride = 2 + 8 + 40 + 4;
    std::vector<double> ids;
    std::vector<std::string> names;
    Bytes row(stride);
    for (uint16_t option = FetchFirst;; option = FetchNext) {
        uint32_t length = stride, count = 1;
        sql.fetch(cursor, option, &length, row.data(), &count, 0, 0);
        if (count == 0) break;
        ids.push_back(F64(row.data() + 2));
        names.push_back(Text(row.data() + 10, 40));
    }
    EXPECT_EQ(ids, (std::vector<double>{8, 2}));
    EXPECT_EQ(names, (std::vector<std::string>{wbtrv::ToCodePage1251("Схема 8"), wbtrv::ToCodePage1251("Схема 2")}));

    const std::string sum = wbtrv::ToCodePage1251("SELECT SUM(\"Номер карты\"), COUNT(*) FROM \"JOUR.SH\"");
    ASSERT_EQ(sql.compile(cursor, static_cast<uint16_t>(sum.size()), sum.c_str()), 0);
    ASSERT_EQ(sql.exec(cursor), 0);
    Bytes totals(2 + 8 + 4 + 4);
    uint32_t length = static_cast<uint32_t>(totals.size()), count = 1;
    ASSERT_EQ(sql.fetch(cursor, FetchFirst, &length, totals.data(), &count, 0, 0), 0);
    EXPECT_DOUBLE_EQ(F64(totals.data() + 2), 2003);
    EXPECT_EQ(I32(totals.data() + 10), 2);
    sql.stop();
}

}  // namespace
