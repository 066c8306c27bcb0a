#include "oracle/oci/OraParser.h"

namespace oracle {

const TLexemeTable& OraLexemes() {
    static const TLexemeTable table{{"*",      "=",       ":",       ",",        ".",         " :=",  "/",
                                     "AND",    "AS",      "BEGIN",   "BODY",     "BY",        "CREATE",
                                     "DECLARE", "DELETE", "END",     "FOR",      "FROM",      "FUNCTION",
                                     "GROUP",  "INSERT",  "INTO",    "IS",       "OR",        "ORDER",
                                     "PACKAGE", "PROCEDURE", "REPLACE", "RETURNING", "SELECT", "TRIGGER",
                                     "TYPE",   "UNION",   "UPDATE",  "WHERE"},
                                    7,
                                    28};
    return table;
}

TOraParser::TOraParser(const std::string& text) : TParser(text) {
    SetLexemes(OraLexemes());
    CommentBegin = "/*";
    CommentEnd = "*/";
    LineComment = "--";
}

// '#' and '$' belong to Oracle names, so they are letters here, not symbols.
bool TOraParser::IsSymbol(unsigned char c) const { return c != '#' && c != '$' && TParser::IsSymbol(c); }

bool TOraParser::IsAlpha(unsigned char c) const { return c == '#' || c == '$' || TParser::IsAlpha(c); }

bool TOraParser::IsStringQuote(unsigned char c) const { return c == '\''; }

bool TOraParser::IsIdentQuote(unsigned char c) const { return c == '"'; }

// Oracle names never hold '-': in ":N-1" it is a minus, in "a--x" it starts a comment.
bool TOraParser::IsIdentChar(unsigned char c) const { return IsAlpha(c) || IsNumber(c) || c == '_'; }

}  // namespace oracle
