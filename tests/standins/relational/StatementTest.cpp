// The engine's text handling on its own: patterns, comparisons across kinds, and the
// statements it parses.
#include <gtest/gtest.h>

#include "standins/relational/SqlStatement.h"

using namespace wssql;

namespace {

TEST(SqlPatterns, LikeMatchesRunsAndSingleCharacters) {
    struct Case {
        const char* text;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"Boris", "B%", true},   {"Boris", "%s", true},      {"Boris", "B_r_s", true}, {"Boris", "B_s", false},
        {"", "%", true},         {"", "_", false},           {"abcabd", "%ab_", true}, {"abcabd", "%abc", false},
        {"a%b", "a%b", true},    {"Boris", "boris", false},  {"aXbXc", "a%b%c", true}, {"ab", "a%%b%", true},
    };
    for (const Case& c : cases) EXPECT_EQ(Like(c.text, c.pattern), c.matches) << c.text << " " << c.pattern;
}

TEST(SqlValues, TextsConvertToTheOtherSidesKind) {
    Value date;
    date.kind = Value::Date;
    date.integer = 20010102;
    Value time;
    time.kind = Value::Time;
    time.integer = 10050345;
    EXPECT_EQ(Compare(date, Value::OfText("2001-01-02")), 0);
    EXPECT_EQ(Compare(Value::OfText("2000-12-31"), date), -1);
    EXPECT_EQ(Compare(time, Value::OfText("10:05:03:45")), 0);
    EXPECT_EQ(Compare(time, Value::OfText("10:05:03.45")), 0);
    EXPECT_EQ(Compare(time, Value::OfText("10:05:03")), 1);
    EXPECT_EQ(Compare(Value::OfInt(2), Value::OfText("10")), -1);  // as numbers, not as text
    EXPECT_EQ(Compare(Value::OfFloat(1.5), Value::OfText(" 1.5 ")), 0);
    EXPECT_EQ(Compare(Value::OfInt(1), Value::OfText("true")), 0);
    EXPECT_EQ(Compare(Value::OfText("ab  "), Value::OfText("ab")), 0);
    for (const char* bad : {"2001-02", "2001-13-01", "x", ""}) EXPECT_THROW(Compare(date, Value::OfText(bad)), SqlError) << bad;
    EXPECT_THROW(Compare(Value::OfInt(1), Value::OfText("1x")), SqlError);
    EXPECT_THROW(Compare(time, Value::OfText("25:00:00")), SqlError);
}

TEST(SqlText, StatementsParseIntoTheirParts) {
    Statement s = ParseStatement(
        "select NAME, \"Odd.Name\" from \"JOUR.SH\" where (A = 'it''s' or B <> @QVAR0001) and not C != -2.5 "
        "order by NAME desc, 2");
    EXPECT_EQ(s.kind, Statement::Select);
    EXPECT_EQ(s.table, "JOUR.SH");
    ASSERT_EQ(s.items.size(), 2u);
    EXPECT_EQ(s.items[1].column, "Odd.Name");
    ASSERT_EQ(s.where.kind, Condition::And);
    const Condition& either = s.where.children[0];
    ASSERT_EQ(either.kind, Condition::Or);
    EXPECT_EQ(either.children[0].operands[1].literal.text, "it's");
    EXPECT_EQ(either.children[1].operands[1].kind, Operand::Variable);
    EXPECT_EQ(either.children[1].operands[1].name, "QVAR0001");
    EXPECT_EQ(s.where.children[1].kind, Condition::Not);
    EXPECT_EQ(s.where.children[1].children[0].op, "<>");
    EXPECT_DOUBLE_EQ(s.where.children[1].children[0].operands[1].literal.real, -2.5);
    ASSERT_EQ(s.order.size(), 2u);
    EXPECT_TRUE(s.order[0].descending);
    EXPECT_EQ(s.order[1].position, 2);

    Statement update = ParseStatement("UPDATE T SET A = 1, B = 'x' WHERE C IS NOT NULL");
    EXPECT_EQ(update.columns, (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(update.where.negated);
    EXPECT_EQ(ParseStatement("commit").kind, Statement::Commit);
    Statement call = ParseStatement("CALL Proc_1();");
    EXPECT_EQ(call.kind, Statement::Call);
    EXPECT_EQ(call.table, "Proc_1");
    EXPECT_EQ(ParseStatement("ROLLBACK WORK;").kind, Statement::Rollback);

    for (const char* bad : {"", "SELECT", "SELECT * FROM", "SELECT * FROM T WHERE A", "SELECT * FROM T extra",
                            "DELETE T", "START", "SELECT * FROM T WHERE A = 'x", "SELECT SUM(*) FROM T",
                            "SELECT * FROM T WHERE A ! 1", "UPDATE T SET A = 1,", "INSERT INTO T VALUES ()", "CALL P", "CALL P(1)"})
        EXPECT_THROW(ParseStatement(bad), SqlError) << bad;
}

}  // namespace
