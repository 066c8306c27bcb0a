// Field origins over the generic layer's in-memory back end: it records the dictionary
// queries sent and answers them with scripted all_tab_columns rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oracle/core/Assertion.h"
#include "oracle/oci/FieldOrigins.h"
#include "platform/StringList.h"
#include "tests/oracle/core/DAFixtures.h"

namespace oracle {
namespace {

using namespace oracle::test;
using platform::Variant;

const char* const TwoTableQuery =
    "SELECT table_name,column_name,table_id FROM (\r"
    "SELECT table_name,column_name,1 table_id,column_id FROM all_tab_columns WHERE owner = 'SCOTT' and "
    "table_name = 'EMP'\r"
    "UNION (\r"
    "SELECT table_name,column_name,2 table_id,column_id FROM all_tab_columns WHERE owner = 'SCOTT' and "
    "table_name = 'DEPT'\r"
    ")\r"
    ")\r"
    "ORDER BY table_id,column_id";

// A text as a dataset's SQL lines hand it to the command.
std::string AsSent(const std::string& text) {
    platform::TStringList lines;
    lines.AssignText(text);
    return lines.JoinedText();
}

struct OriginsFixture {
    FakeServer server;
    std::unique_ptr<TestSession> session = NewSession(server);
    std::unique_ptr<TCustomDADataSet> dataSet;

    OriginsFixture() { session->SetUsername("scott"); }

    // Opens sql with one string column per name.
    void Open(const std::string& sql, const std::vector<std::string>& columns) {
        FakeResult& result = server.ResultFor(AsSent(sql));
        for (const std::string& column : columns) result.Columns.push_back({column, dtString, 20});
        result.Rows.push_back(std::vector<Variant>(columns.size(), Variant("x")));
        dataSet = session->NewDataSet();
        dataSet->SetSQLText(sql);
        dataSet->OpenDataSet();
    }
    // The dictionary's answer to query: (table, column, table id) rows.
    void Dictionary(const std::string& query, const std::vector<TDictionaryColumn>& rows) {
        FakeResult& result = server.ResultFor(AsSent(query));
        result.Columns = {{"TABLE_NAME", dtString, 30}, {"COLUMN_NAME", dtString, 30}, {"TABLE_ID", dtInteger}};
        for (const TDictionaryColumn& row : rows)
            result.Rows.push_back({Variant(row.TableName), Variant(row.ColumnName), Variant(row.TableId)});
    }
    // The answer to a default-value read of one table.
    void Defaults(const std::string& query) {
        FakeResult& result = server.ResultFor(AsSent(query));
        result.Columns = {{"COLUMN_NAME", dtString, 30}, {"DATA_DEFAULT", dtString, 30}};
        result.Rows.push_back({Variant("ENAME"), Variant("'none'")});
    }
    std::vector<std::string> Origins() {
        std::vector<std::string> origins;
        for (int i = 0; i < dataSet->Fields().Count(); ++i) origins.push_back(dataSet->Fields().FieldAt(i)->Origin());
        return origins;
    }
    int DictionaryQueries() const {
        int n = 0;
        for (const std::string& line : server.Log)
            n += line.rfind("execute ", 0) == 0 && line.find("all_tab_columns") != std::string::npos;
        return n;
    }
};

TEST(FieldOrigins, SingleTableNeedsNoDictionary) {
    OriginsFixture f;
    f.Open("SELECT empno, ename name, sal * 2 double_sal, e.job FROM emp e", {"EMPNO", "NAME", "DOUBLE_SAL", "JOB"});
    ReadFieldOrigins(*f.dataSet, false);
    EXPECT_EQ(f.Origins(), (std::vector<std::string>{"EMP.EMPNO", "EMP.ENAME", "", "EMP.JOB"}));
    EXPECT_EQ(f.DictionaryQueries(), 0);
}

TEST(FieldOrigins, SingleTableStarTakesTheFieldNames) {
    OriginsFixture f;
    f.Open("SELECT * FROM scott.emp", {"EMPNO", "ENAME"});
    ReadFieldOrigins(*f.dataSet, false);
    EXPECT_EQ(f.Origins(), (std::vector<std::string>{"SCOTT.EMP.EMPNO", "SCOTT.EMP.ENAME"}));
    EXPECT_EQ(f.DictionaryQueries(), 0);
}

TEST(FieldOrigins, DefaultValuesForceTheQuery) {
    OriginsFixture f;
    f.Open("SELECT empno FROM emp", {"EMPNO"});
    const std::string query =
        "SELECT table_name,column_name,1 table_id,data_default,column_id FROM all_tab_columns WHERE owner = "
        "'SCOTT' and table_name = 'EMP'";
    f.Dictionary(query, {{"EMP", "EMPNO", 1}});
    ReadFieldOrigins(*f.dataSet, true);
    EXPECT_EQ(f.server.Count("execute " + AsSent(query)), 1);
    EXPECT_EQ(f.Origins(), (std::vector<std::string>{"EMP.EMPNO"}));
}

TEST(FieldOrigins, UnqualifiedColumnsOfTwoTablesAskTheDictionary) {
    OriginsFixture f;
    f.Open("SELECT ename, dname, missing FROM emp e, scott.dept d", {"ENAME", "DNAME", "MISSING"});
    f.Dictionary(TwoTableQuery, {{"EMP", "EMPNO", 1}, {"EMP", "ENAME", 1}, {"DEPT", "DEPTNO", 2}, {"DEPT", "DNAME", 2}});
    ReadFieldOrigins(*f.dataSet, false);
    EXPECT_EQ(f.server.Count("execute " + AsSent(TwoTableQuery)), 1);
    // A column the dictionary does not know takes the first table.
    EXPECT_EQ(f.Origins(), (std::vector<std::string>{"EMP.ENAME", "DEPT.DNAME", "EMP.MISSING"}));
}

TEST(FieldOrigins, QualifiedStarExpandsToItsOwnTable) {
    OriginsFixture f;
    f.Open("SELECT e.*, dname FROM emp e, dept d", {"EMPNO", "DEPTNO", "DNAME"});
    std::string query = TwoTableQuery;
    f.Dictionary(query, {{"EMP", "EMPNO", 1}, {"EMP", "DEPTNO", 1}, {"DEPT", "DEPTNO", 2}, {"DEPT", "DNAME", 2}});
    ReadFieldOrigins(*f.dataSet, false);
    EXPECT_EQ(f.DictionaryQueries(), 1);
    EXPECT_EQ(f.Origins(), (std::vector<std::string>{"EMP.EMPNO", "EMP.DEPTNO", "DEPT.DNAME"}));
}

TEST(FieldOrigins, QualifiedColumnsOfTwoTablesNeedNoDictionary) {
    OriginsFixture f;
    f.Open("SELECT e.*, d.dname FROM emp e, dept d", {"EMPNO", "DNAME"});
    ReadFieldOrigins(*f.dataSet, false);
    EXPECT_EQ(f.DictionaryQueries(), 0);
    // The star stays unexpanded: its columns have no origin with two tables.
    EXPECT_EQ(f.Origins(), (std::vector<std::string>{"", "DEPT.DNAME"}));
}

TEST(FieldOrigins, ForcedOverTwoTablesReadsEachTablesDefaults) {
    OriginsFixture f;
    f.Open("SELECT e.ename, d.dname FROM emp e, dept d", {"ENAME", "DNAME"});
    f.Dictionary(TwoTableQuery, {{"EMP", "ENAME", 1}, {"DEPT", "DNAME", 2}});
    const std::string defaults =
        "SELECT column_name,data_default FROM all_tab_columns WHERE owner = 'SCOTT' and table_name = '";
    for (const char* table : {"EMP", "DEPT"}) f.Defaults(defaults + table + "'");
    ReadFieldOrigins(*f.dataSet, true);
    EXPECT_EQ(f.server.Count("execute " + AsSent(TwoTableQuery)), 1);
    for (const char* table : {"EMP", "DEPT"})
        EXPECT_EQ(f.server.Count("execute " + AsSent(defaults + table + "'")), 1) << table;
    EXPECT_EQ(f.Origins(), (std::vector<std::string>{"EMP.ENAME", "DEPT.DNAME"}));
}

TEST(FieldOrigins, TablesOfOtherSchemasYieldNoRows) {
    // Named without an owner, a synonym's table is looked up in the session user's schema.
    OriginsFixture f;
    f.Open("SELECT ename, dname FROM emp, dept", {"ENAME", "DNAME"});
    f.Dictionary(TwoTableQuery, {});
    ReadFieldOrigins(*f.dataSet, false);
    EXPECT_EQ(f.Origins(), (std::vector<std::string>{"EMP.ENAME", "EMP.DNAME"}));
}

TEST(FieldOrigins, DictionaryFailureFailsTheRead) {
    OriginsFixture f;
    f.Open("SELECT ename, dname FROM emp, dept", {"ENAME", "DNAME"});
    f.Dictionary(TwoTableQuery, {});
    f.server.Rejected.push_back(AsSent(TwoTableQuery));
    EXPECT_THROW(ReadFieldOrigins(*f.dataSet, false), EDAError);
}

TEST(FieldOrigins, FieldWithoutColumnNameIsAnAssertion) {
    OriginsFixture f;
    f.Open("SELECT empno FROM emp", {"EMPNO"});
    f.dataSet->Data()->Fields().Items(0)->ActualName.clear();
    try {
        ReadFieldOrigins(*f.dataSet, false);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Unit(), "Ora");
    }
}

TEST(FieldOrigins, SubQueryInFromAsksNothing) {
    OriginsFixture f;
    f.Open("SELECT a FROM (SELECT 1 a FROM dual)", {"A"});
    ReadFieldOrigins(*f.dataSet, true);
    EXPECT_EQ(f.DictionaryQueries(), 0);
    EXPECT_EQ(f.Origins(), (std::vector<std::string>{""}));
}

TEST(FieldOrigins, DictionaryTextsSpellNamesAsStored) {
    // Quoted names keep their case without the quotes; apostrophes are doubled.
    const TFieldOrigins origins("SELECT a FROM \"O'Neil\".\"Mixed\" x, dept", "scott");
    ASSERT_TRUE(origins.NeedsDictionary(false));
    const std::string query = origins.DictionaryQuery(false);
    EXPECT_NE(query.find("owner = 'O''Neil' and table_name = 'Mixed'"), std::string::npos) << query;
    EXPECT_NE(query.find("owner = 'SCOTT' and table_name = 'DEPT'"), std::string::npos) << query;
}

TEST(FieldOrigins, OwnerQualifiedStarTakesItsTableRows) {
    TFieldOrigins origins("SELECT x.*, dname FROM scott.emp x, dept d", "scott");
    ASSERT_TRUE(origins.NeedsDictionary(false));
    origins.Resolve({{"EMP", "EMPNO", 1}, {"DEPT", "DEPTNO", 2}, {"DEPT", "DNAME", 2}});
    EXPECT_EQ(origins.OriginOf("EMPNO"), "EMP.EMPNO");
    EXPECT_EQ(origins.OriginOf("DEPTNO"), "");
    EXPECT_EQ(origins.OriginOf("DNAME"), "DEPT.DNAME");
}

TEST(FieldOrigins, SelfJoinStarTakesTheFirstTableOnly) {
    TFieldOrigins origins("SELECT b.*, a.ename boss FROM emp a, emp b", "scott");
    ASSERT_TRUE(origins.NeedsDictionary(true));
    origins.Resolve({{"EMP", "EMPNO", 1}, {"EMP", "ENAME", 1}, {"EMP", "EMPNO", 2}, {"EMP", "ENAME", 2}});
    int empno = 0;
    for (const TColumnInfo& column : origins.Columns()) empno += column.Name == "EMPNO";
    EXPECT_EQ(empno, 1);
    EXPECT_EQ(origins.OriginOf("BOSS"), "EMP.ENAME");
}

}  // namespace
}  // namespace oracle
