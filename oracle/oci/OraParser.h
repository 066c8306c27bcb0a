// TOraParser: the tokenizer of Oracle SQL and PL/SQL texts: the Oracle lexeme table,
// "/* */" and "--" comments, apostrophe strings, double-quoted identifiers and names
// that may hold '#' and '$'. Used to find parameters, select lists and clauses.
#pragma once

#include <string>

#include "oracle/core/Parser.h"

namespace oracle {

// Codes of the Oracle lexeme table (symbols 1-7, keywords 8-35).
inline constexpr int lxOraColon = 3;
inline constexpr int lxOraAssign = 6;  // " :=": never matches, ":=" reads as ":" then "="
inline constexpr int lxOraFrom = 18;
inline constexpr int lxOraSelect = 30;
inline constexpr int lxOraTrigger = 31;

class TOraParser : public TParser {
public:
    explicit TOraParser(const std::string& text);

protected:
    bool IsSymbol(unsigned char c) const override;
    bool IsAlpha(unsigned char c) const override;
    bool IsStringQuote(unsigned char c) const override;
    bool IsIdentQuote(unsigned char c) const override;
    bool IsIdentChar(unsigned char c) const override;
};

const TLexemeTable& OraLexemes();

}  // namespace oracle
