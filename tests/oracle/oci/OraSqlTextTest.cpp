#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "oracle/core/Assertion.h"
#include "oracle/oci/OraSqlText.h"

namespace oracle {
namespace {

struct TEditCase {
    const char* sql;
    const char* argument;
    const char* expected;
};

TEST(OraSqlText, AddWhereCondition) {
    const TEditCase cases[] = {
        {"SELECT * FROM t ORDER BY a", "c", "SELECT * FROM t\rWHERE c ORDER BY a"},
        {"SELECT * FROM t WHERE x = 1 ORDER BY a", "c", "SELECT * FROM t WHERE x = 1 and\r  c ORDER BY a"},
        {"SELECT * FROM (SELECT * FROM u WHERE z = 1) v", "c", "SELECT * FROM (SELECT * FROM u WHERE z = 1) v\rWHERE c"},
        {"  SELECT * FROM t  ", "c", "SELECT * FROM t\rWHERE c"},
        {"SELECT a, count(*) FROM t GROUP BY a", "c", "SELECT a, count(*) FROM t\rWHERE c GROUP BY a"},
        {"SELECT * FROM t WHERE a = 1 FOR UPDATE", "c", "SELECT * FROM t WHERE a = 1 and\r  c FOR UPDATE"},
        {"SELECT * FROM t union SELECT * FROM u", "c", "SELECT * FROM t\rWHERE c union SELECT * FROM u"},
        {"SELECT * FROM t /* all */ ORDER BY a", "c", "SELECT * FROM t /* all */\rWHERE c ORDER BY a"},
        {"SELECT * FROM t", " \r ", "SELECT * FROM t"},
        {"UPDATE t SET a = 1", "c", "UPDATE t SET a = 1"},
        // An OR on either side stays inside its own parentheses, so the "and" filters all rows.
        {"SELECT * FROM t WHERE a = 1 OR b = 2 ORDER BY a", "c = 3",
         "SELECT * FROM t WHERE (a = 1 OR b = 2) and\r  c = 3 ORDER BY a"},
        {"SELECT * FROM t WHERE a = 1", "b = 2 or c = 3", "SELECT * FROM t WHERE a = 1 and\r  (b = 2 or c = 3)"},
        {"SELECT * FROM t WHERE (a = 1 OR b = 2)", "c", "SELECT * FROM t WHERE (a = 1 OR b = 2) and\r  c"},
        {"SELECT * FROM t", "b = 2 or c = 3", "SELECT * FROM t\rWHERE b = 2 or c = 3"},
        // A line comment never swallows what is added after it.
        {"SELECT * FROM t WHERE a = 1 -- note\rORDER BY a", "c",
         "SELECT * FROM t WHERE a = 1 -- note\r and\r  c\rORDER BY a"},
        {"SELECT * FROM t WHERE a = 1 -- note", "c", "SELECT * FROM t WHERE a = 1 -- note\r and\r  c"},
        {"SELECT * FROM t -- note", "c", "SELECT * FROM t -- note\rWHERE c"},
        {"SELECT * FROM t ORDER BY a", "c -- why", "SELECT * FROM t\rWHERE c -- why\r ORDER BY a"},
        // A statement inside parentheses ends at its closing one.
        {"(SELECT * FROM t) ORDER BY a", "c", "(SELECT * FROM t\rWHERE c) ORDER BY a"},
    };
    for (const TEditCase& c : cases)
        EXPECT_EQ(AddWhereCondition(c.sql, c.argument), c.expected) << c.sql << " + " << c.argument;
}

TEST(OraSqlText, RemoveWhereClause) {
    const TEditCase cases[] = {
        {"SELECT * FROM t WHERE a = 1 ORDER BY b", "", "SELECT * FROM t ORDER BY b"},
        {"SELECT * FROM t WHERE a = 1", "", "SELECT * FROM t"},
        {"SELECT * FROM t WHERE a = 1  ", "", "SELECT * FROM t  "},
        {"SELECT *\rFROM t\rWHERE a = 1\rORDER BY b", "", "SELECT *\rFROM t\rORDER BY b"},
        {"SELECT * FROM t WHERE a = 1 FOR UPDATE", "", "SELECT * FROM t FOR UPDATE"},
        {"SELECT * FROM t ORDER BY b", "", "SELECT * FROM t ORDER BY b"},
        {"SELECT * FROM (SELECT * FROM u WHERE x = 1) v", "", "SELECT * FROM (SELECT * FROM u WHERE x = 1) v"},
        {"DELETE FROM t WHERE a = 1", "", "DELETE FROM t WHERE a = 1"},
        // Clauses of a sub-query inside the WHERE clause belong to it.
        {"SELECT * FROM t WHERE a IN (SELECT b FROM u GROUP BY b) ORDER BY a", "", "SELECT * FROM t ORDER BY a"},
        {"SELECT * FROM t WHERE a IN (SELECT b FROM u UNION SELECT c FROM w)", "", "SELECT * FROM t"},
        {"(SELECT * FROM t WHERE a = 1) UNION (SELECT * FROM u)", "", "(SELECT * FROM t) UNION (SELECT * FROM u)"},
    };
    for (const TEditCase& c : cases) EXPECT_EQ(RemoveWhereClause(c.sql), c.expected) << c.sql;
}

TEST(OraSqlText, ReplaceOrderBy) {
    const TEditCase cases[] = {
        {"SELECT * FROM t ORDER BY a", "", "SELECT * FROM t"},
        {"SELECT * FROM t ORDER BY a", "b;c", "SELECT * FROM t ORDER BY b,c"},
        {"SELECT * FROM t", "b", "SELECT * FROM t ORDER BY b"},
        {"SELECT *\rFROM t", "b", "SELECT *\rFROM t\r  ORDER BY b"},
        {"SELECT * FROM t ORDER BY a FOR UPDATE", "b", "SELECT * FROM t ORDER BY b FOR UPDATE"},
        {"SELECT * FROM t ORDER BY a FOR UPDATE", "", "SELECT * FROM t FOR UPDATE"},
        {"SELECT * FROM t FOR UPDATE", "b", "SELECT * FROM t ORDER BY b FOR UPDATE"},
        {"SELECT * FROM t ORDER BY a  ", "", "SELECT * FROM t  "},
        {"SELECT * FROM (SELECT * FROM u ORDER BY x) v", "", "SELECT * FROM (SELECT * FROM u ORDER BY x) v"},
        {"SELECT * FROM (SELECT * FROM u ORDER BY x) v", "b", "SELECT * FROM (SELECT * FROM u ORDER BY x) v ORDER BY b"},
        {"select * from t order by a desc", "b", "select * from t order by b"},
        {"SELECT * FROM t ORDER BY", "b", "SELECT * FROM t ORDER BY b"},
        {"SELECT * FROM t ORDER BY\ra", "b", "SELECT * FROM t ORDER BY\rb"},
        {"UPDATE t SET a = 1", "b", "UPDATE t SET a = 1"},
    };
    for (const TEditCase& c : cases)
        EXPECT_EQ(ReplaceOrderBy(c.sql, c.argument), c.expected) << c.sql << " / " << c.argument;
}

TEST(OraSqlText, OrderByClause) {
    const TEditCase cases[] = {
        {"SELECT * FROM t", "", ""},
        {"SELECT * FROM t ORDER BY a FOR UPDATE", "", "a FOR UPDATE"},
        {"SELECT * FROM t ORDER BY a, b", "", "a, b"},
        {"select * from t order\rby a", "", "a"},
        {"SELECT * FROM (SELECT * FROM u ORDER BY x) v", "", ""},
        {"SELECT * FROM t ORDER BY", "", ""},
        {"ORDER BY a", "", ""},
    };
    for (const TEditCase& c : cases) EXPECT_EQ(OrderByClause(c.sql), c.expected) << c.sql;
}

TEST(OraSqlText, DerivedStatements) {
    EXPECT_EQ(FirstTableName("SELECT * FROM scott.emp e, dept"), "SCOTT.EMP");
    EXPECT_EQ(FirstTableName("SELECT * FROM (SELECT * FROM emp) v"), "");

    EXPECT_EQ(RecordCountSQL("SELECT a, b FROM t WHERE x = :X ORDER BY a"),
              "SELECT Count(*) FROM (\rSELECT a, b FROM t WHERE x = :X)");
    EXPECT_EQ(RecordCountSQL("SELECT a FROM t -- all"), "SELECT Count(*) FROM (\rSELECT a FROM t -- all\r)");
    EXPECT_EQ(RecordCountSQL("SELECT a FROM t -- all\r\n"), "SELECT Count(*) FROM (\rSELECT a FROM t -- all\r\n)");

    const TEditCase refreshes[] = {
        {"SELECT * FROM emp", "  where empno = :EMPNO ", "SELECT * FROM emp\rWHERE empno = :EMPNO"},
        {"SELECT * FROM emp WHERE a = 1 OR b = 2", "WHERE empno = :EMPNO",
         "SELECT * FROM emp WHERE (a = 1 OR b = 2) and\r  empno = :EMPNO"},
        {"SELECT * FROM emp", " SELECT * FROM emp WHERE empno = :EMPNO ", "SELECT * FROM emp WHERE empno = :EMPNO"},
    };
    for (const TEditCase& c : refreshes) EXPECT_EQ(RefreshSQLFromWhere(c.sql, c.argument), c.expected) << c.argument;

    EXPECT_EQ(LockSQLFromFor("SELECT * FROM emp\rWHERE empno = :EMPNO", " FOR UPDATE NOWAIT"),
              "SELECT * FROM emp\rWHERE empno = :EMPNO\rFOR UPDATE NOWAIT");
    EXPECT_EQ(LockSQLFromFor("SELECT * FROM emp", " LOCK TABLE emp IN EXCLUSIVE MODE "), "LOCK TABLE emp IN EXCLUSIVE MODE");
}

TEST(OraSqlText, ParseFromList) {
    struct TCase {
        const char* sql;
        std::vector<std::pair<std::string, std::string>> tables;
    };
    const TCase cases[] = {
        {"SELECT * FROM scott.emp e, dept@remote d WHERE x = 1", {{"scott.emp", "e"}, {"dept@remote", "d"}}},
        {"SELECT * FROM emp", {{"emp", ""}}},
        {"SELECT * FROM emp e, dept", {{"emp", "e"}, {"dept", ""}}},
        {"SELECT * FROM \"My Tab\" m ORDER BY 1", {{"\"My Tab\"", "m"}}},
        {"SELECT (SELECT 1 FROM dual) x FROM emp e", {{"emp", "e"}}},
        {"SELECT * FROM (SELECT * FROM t) v", {}},
        {"SELECT * FROM scott. , x", {}},
        {"SELECT 1", {}},
        {"DELETE FROM t", {}},
    };
    for (const TCase& c : cases) {
        std::vector<std::pair<std::string, std::string>> got;
        for (const TTableInfo& table : ParseFromList(c.sql)) got.emplace_back(table.Name, table.Alias);
        EXPECT_EQ(got, c.tables) << c.sql;
    }
}

TEST(OraSqlText, FromListHoldsThirtyTables) {
    std::string sql = "SELECT * FROM t1";
    for (int i = 2; i <= 30; ++i) sql += ", t" + std::to_string(i);
    EXPECT_EQ(ParseFromList(sql).size(), 30u);
    try {
        ParseFromList(sql + ", t31");
        FAIL() << "a 31st table was taken";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Unit(), "Ora");
    }
}

TEST(OraSqlText, ParseSelectList) {
    struct TCase {
        const char* sql;
        // Name, Table, Expr, Alias of each item.
        std::vector<std::vector<std::string>> items;
    };
    const TCase cases[] = {
        {"SELECT a, t.b c, f(x) y, SYSDATE FROM t",
         {{"a", "", "", ""}, {"b", "t", "", "c"}, {"", "", "f(x)", "y"}, {"", "", "SYSDATE", ""}}},
        {"SELECT DISTINCT a FROM t", {{"a", "", "", ""}}},
        {"select distinct a, unique_id from t", {{"a", "", "", ""}, {"unique_id", "", "", ""}}},
        {"SELECT * FROM t", {{"*", "", "", ""}}},
        {"SELECT e.*, s.t.c AS x FROM t", {{"*", "e", "", ""}, {"c", "t", "", "x"}}},
        {"SELECT a + b total, count(*) FROM t", {{"", "", "a+b", "total"}, {"", "", "count(*)", ""}}},
        {"SELECT a b, c FROM t", {{"a", "", "", "b"}, {"c", "", "", ""}}},
        {"SELECT sal * 2 doubled, 'x' tag, f(a) AS g FROM t",
         {{"", "", "sal*2", "doubled"}, {"", "", "x", "tag"}, {"", "", "f(a)", "g"}}},
        {"SELECT CASE WHEN a = 1 THEN b END c FROM t", {{"", "", "CASEa=1THENbEND", "c"}}},
        {"SELECT user, sysdate d FROM dual", {{"", "", "user", ""}, {"", "", "sysdate", "d"}}},
        // A sub-query in the list does not end it.
        {"SELECT (SELECT max(x) FROM u) m, b FROM t", {{"", "", "(SELECTmax(x)FROMu)", "m"}, {"b", "", "", ""}}},
        {"SELECT a\r, b\rFROM t", {{"a", "", "", ""}, {"b", "", "", ""}}},
        {"SELECT a", {{"a", "", "", ""}}},
        {"INSERT INTO t VALUES (1)", {}},
    };
    for (const TCase& c : cases) {
        std::vector<std::vector<std::string>> got;
        for (const TColumnInfo& item : ParseSelectList(c.sql)) got.push_back({item.Name, item.Table, item.Expr, item.Alias});
        EXPECT_EQ(got, c.items) << c.sql;
    }
}

TEST(OraSqlText, LongSelectListsKeepEveryItem) {
    std::string sql = "SELECT c1";
    for (int i = 2; i <= 400; ++i) sql += ", c" + std::to_string(i);
    const std::vector<TColumnInfo> items = ParseSelectList(sql + " FROM t");
    ASSERT_EQ(items.size(), 400u);
    EXPECT_EQ(items.back().Name, "c400");
}

TEST(OraSqlText, UnterminatedTextsEndTheScan) {
    // Strings, quoted names and comments left open run to the end of the text.
    for (const char* sql : {"SELECT 'abc FROM t", "SELECT \"abc FROM t", "SELECT a /* FROM t", "SELECT a FROM t WHERE x = '"}) {
        EXPECT_NO_THROW(ParseSelectList(sql)) << sql;
        EXPECT_NO_THROW(ParseFromList(sql)) << sql;
        EXPECT_NO_THROW(AddWhereCondition(sql, "c")) << sql;
        EXPECT_NO_THROW(RemoveWhereClause(sql)) << sql;
        EXPECT_NO_THROW(ReplaceOrderBy(sql, "a")) << sql;
        EXPECT_NO_THROW(OrderByClause(sql)) << sql;
    }
}

TEST(OraSqlText, ArbitraryTextsStayInsideTheirBounds) {
    // Pieces of statements in any order: every operation ends cleanly, whatever is left open.
    const char* const pieces[] = {"SELECT", "FROM", "WHERE", "ORDER", "BY", "GROUP", "UNION", "FOR", "OR", "AS",
                                  "END", "(", ")", ",", ".", "*", "@", "a", "t", "1", "'", "\"", "--", "/*",
                                  "*/", " ", " ", "\r", "\n"};
    std::mt19937 random(2026);
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(1, 24);
    for (int n = 0; n < 3000; ++n) {
        std::string sql = "SELECT ";
        for (int k = length(random); k > 0; --k) sql += pieces[piece(random)];
        ASSERT_NO_THROW({
            ParseSelectList(sql);
            ParseFromList(sql);
            AddWhereCondition(sql, "c = 1 or d = 2 -- x");
            EXPECT_LE(RemoveWhereClause(sql).size(), sql.size());
            ReplaceOrderBy(sql, "a;b");
            ReplaceOrderBy(sql, "");
            EXPECT_LE(OrderByClause(sql).size(), sql.size());
            RecordCountSQL(sql);
        }) << sql;
    }
}

}  // namespace
}  // namespace oracle
