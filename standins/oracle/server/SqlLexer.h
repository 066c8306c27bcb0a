// Splits Oracle SQL and PL/SQL text into tokens, keeping each token's offset in the text.
#pragma once
#include <string>
#include <vector>

namespace orastandin {

struct Token {
  enum class Kind { Word, Quoted, String, Number, Bind, Symbol };
  Kind kind;
  std::string text;  // words upper-cased; quoted identifiers without quotes; binds without colon
  int pos = 0;       // offset in the source text
  bool quotedBind = false;

  bool Is(const char* word) const { return kind == Kind::Word && text == word; }
  bool IsSymbol(const char* s) const { return kind == Kind::Symbol && text == s; }
};

// Throws OraError(933) on an unterminated literal.
std::vector<Token> Tokenize(const std::string& sql);

}  // namespace orastandin
