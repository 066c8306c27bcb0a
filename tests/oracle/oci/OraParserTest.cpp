#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OraParser.h"

namespace oracle {
namespace {

using TTokens = std::vector<std::pair<int, std::string>>;

TTokens Tokens(const std::string& text) {
    TOraParser parser(text);
    TTokens tokens;
    std::string token;
    for (int code = parser.GetNext(token); code != lcEnd; code = parser.GetNext(token)) {
        // A comment token carries the blanks before it; only its own text matters here.
        if (code == lcComment) token.erase(0, token.find_first_not_of(' '));
        tokens.emplace_back(code, token);
    }
    return tokens;
}

struct TTokenCase {
    const char* text;
    TTokens expected;
};

TEST(OraParser, TokenTable) {
    const TTokenCase cases[] = {
        {"select a$b, #x from dual -- note",
         {{30, "SELECT"}, {lcIdent, "a$b"}, {4, ","}, {lcIdent, "#x"}, {18, "FROM"}, {lcIdent, "dual"},
          {lcComment, "-- note"}}},
        {"x := 1", {{lcIdent, "x"}, {3, ":"}, {2, "="}, {lcNumber, "1"}}},
        {"\"Mixed Case\"", {{lcIdent, "\"Mixed Case\""}}},
        {"\"SELECT\"", {{lcIdent, "\"SELECT\""}}},
        {"'a''b'", {{lcString, "a"}, {lcString, "b"}}},
        {"SeLeCt /* c */ *", {{30, "SELECT"}, {lcComment, "/* c */"}, {1, "*"}}},
        {"create or replace package body p is", {{13, "CREATE"}, {24, "OR"}, {28, "REPLACE"}, {26, "PACKAGE"},
                                                 {11, "BODY"}, {lcIdent, "p"}, {23, "IS"}}},
        {"a.b / c", {{lcIdent, "a"}, {5, "."}, {lcIdent, "b"}, {7, "/"}, {lcIdent, "c"}}},
        {"where x <> 1", {{35, "WHERE"}, {lcIdent, "x"}, {lcSymbol, "<"}, {lcSymbol, ">"}, {lcNumber, "1"}}},
    };
    for (const TTokenCase& c : cases) EXPECT_EQ(Tokens(c.text), c.expected) << c.text;
}

// A '-' never belongs to an Oracle name (the generic tokenizer lets names hold it): it is a
// minus or the start of a "--" comment.
TEST(OraParser, MinusEndsAName) {
    const TTokenCase cases[] = {
        {":N-1", {{3, ":"}, {lcIdent, "N"}, {lcSymbol, "-"}, {lcNumber, "1"}}},
        {"a-b", {{lcIdent, "a"}, {lcSymbol, "-"}, {lcIdent, "b"}}},
        {"a--:x", {{lcIdent, "a"}, {lcComment, "--:x"}}},
        {"x_1$#--c\ny", {{lcIdent, "x_1$#"}, {lcComment, "--c"}, {lcIdent, "y"}}},
        {"\"a-b\"", {{lcIdent, "\"a-b\""}}},
    };
    for (const TTokenCase& c : cases) EXPECT_EQ(Tokens(c.text), c.expected) << c.text;
}

TEST(OraParser, ParametersBeforeAMinusOrAComment) {
    const struct {
        const char* sql;
        std::vector<std::string> names;
    } cases[] = {
        {"SELECT :N-1 FROM DUAL", {"N"}},
        {"SELECT a--:x\nFROM DUAL", {}},
    };
    for (const auto& c : cases) {
        TOCICommand command;
        command.SetSQL(c.sql);
        std::vector<std::string> names;
        for (int i = 0; i < command.ParamCount(); ++i) names.push_back(command.ParamAt(i)->GetName());
        EXPECT_EQ(names, c.names) << c.sql;
    }
}

TEST(OraParser, EveryKeywordIsFoundByItsCode) {
    const TLexemeTable& table = OraLexemes();
    ASSERT_EQ(table.Lexemes.size(), 35u);
    for (size_t i = table.SymbolCount; i < table.Lexemes.size(); ++i) {
        TOraParser parser(table.Lexemes[i]);
        EXPECT_EQ(parser.Next(), static_cast<int>(i) + 1) << table.Lexemes[i];
    }
}

}  // namespace
}  // namespace oracle
