#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "oracle/core/Parser.h"
#include "platform/FormatSettings.h"

namespace oracle {
namespace {

// A table holding ">", "=" and ">=" besides a few keywords.
class ComparisonParser : public TParser {
public:
    explicit ComparisonParser(const std::string& text) : TParser(text) { SetLexemes(Table()); }
    static const TLexemeTable& Table() {
        static const TLexemeTable table{{">", "=", ">=", "-", ".", "AND", "OR"}, 5, 2};
        return table;
    }
};

using Tokens = std::vector<std::pair<int, std::string>>;

Tokens Scan(TParser& parser) {
    Tokens tokens;
    std::string text;
    for (int code = parser.GetNext(text); code != lcEnd; code = parser.GetNext(text)) tokens.emplace_back(code, text);
    return tokens;
}

class DecimalSeparator : public ::testing::Test {
protected:
    void TearDown() override { platform::FormatSettings().DecimalSeparator = saved; }
    char saved = platform::FormatSettings().DecimalSeparator;
};

TEST_F(DecimalSeparator, TokenStreams) {
    platform::FormatSettings().DecimalSeparator = '.';
    struct Case {
        const char* input;
        Tokens expected;
    } cases[] = {
        {">=", {{3, ">="}}},
        {"=>", {{2, "="}, {1, ">"}}},
        {"a-b", {{lcIdent, "a-b"}}},
        {"-b", {{4, "-"}, {lcIdent, "b"}}},
        {"'it''s'", {{lcString, "it"}, {lcString, "s"}}},
        {"x /*c*/ y", {{lcIdent, "x"}, {lcComment, " /*c*/"}, {lcIdent, "y"}}},
        {"x // rest\ny", {{lcIdent, "x"}, {lcComment, " // rest"}, {lcIdent, "y"}}},
        {"and Or", {{6, "AND"}, {7, "OR"}}},
        {"1.5", {{lcNumber, "1.5"}}},
        {"1.x", {{lcNumber, "1"}, {5, "."}, {lcIdent, "x"}}},
        {"'open", {{lcString, "open"}}},
        // An unterminated comment keeps the rest of the text.
        {"x /* open", {{lcIdent, "x"}, {lcComment, " /* open"}}},
        {"#", {{lcSymbol, "#"}}},
        {"\xC0\xE1\xE2", {{lcIdent, "\xC0\xE1\xE2"}}},
    };
    for (const Case& c : cases) {
        ComparisonParser parser(c.input);
        EXPECT_EQ(Scan(parser), c.expected) << c.input;
    }
    platform::FormatSettings().DecimalSeparator = ',';
    ComparisonParser parser("1,5 1.5");
    EXPECT_EQ(Scan(parser), (Tokens{{lcNumber, "1,5"}, {lcNumber, "1"}, {5, "."}, {lcNumber, "5"}}));
}

TEST(Parser, OptionsKeepBlanksQuotesAndCase) {
    ComparisonParser parser("and 'q' /*c*/");
    parser.OmitBlank = false;
    parser.OmitComment = true;
    parser.Uppercase = false;
    parser.QuotedString = true;
    EXPECT_EQ(Scan(parser), (Tokens{{6, "and"}, {lcBlank, " "}, {lcString, "'q'"}, {lcBlank, " "}}));
}

TEST(Parser, UnknownCharactersRaiseAndLeaveThePosition) {
    TParser parser("a \x01");
    EXPECT_EQ(parser.Next(), lcIdent);
    try {
        parser.Next();
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Parser: The unknown symbol '\x01'  $01");
    }
    EXPECT_EQ(parser.CurrPos(), 2);
}

TEST(Parser, PositionsBackAndToCode) {
    TParser parser("select a, b from t");
    std::string token;
    parser.GetNext(token);
    parser.GetNext(token);
    EXPECT_EQ(token, "a");
    EXPECT_EQ(parser.CurrPos(), 8);
    EXPECT_EQ(parser.PrevPos(), 6);
    EXPECT_EQ(parser.PrevPrevPos(), 0);
    parser.Back();
    parser.GetNext(token);
    EXPECT_EQ(token, "a");
    EXPECT_EQ(parser.ToCode(12), 12);  // the comma of the base table
    parser.GetNext(token);
    EXPECT_EQ(token, "b");
    EXPECT_EQ(parser.ToCode(12), lcEnd);
    EXPECT_EQ(TParser("and").Next(), 29);
}

}  // namespace
}  // namespace oracle
