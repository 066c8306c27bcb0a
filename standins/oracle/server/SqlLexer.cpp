#include "standins/oracle/server/SqlLexer.h"

#include <cctype>

#include "standins/oracle/protocol/OraError.h"

namespace orastandin {

namespace {
bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

std::vector<Token> Tokenize(const std::string& sql) {
  std::vector<Token> tokens;
  std::size_t i = 0, n = sql.size();
  while (i < n) {
    char c = sql[i];
    int start = static_cast<int>(i);
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      std::size_t end = sql.find("*/", i + 2);
      i = end == std::string::npos ? n : end + 2;
    } else if (c == '\'') {
      std::string text;
      ++i;
      for (;;) {
        if (i >= n) {
          OraError e(1756);
          e.SetOffset(start);
          throw e;
        }
        if (sql[i] == '\'') {
          if (i + 1 < n && sql[i + 1] == '\'') { text += '\''; i += 2; continue; }
          ++i;
          break;
        }
        text += sql[i++];
      }
      tokens.push_back({Token::Kind::String, text, start});
    } else if (c == '"') {
      std::size_t end = sql.find('"', i + 1);
      if (end == std::string::npos) end = n;
      tokens.push_back({Token::Kind::Quoted, sql.substr(i + 1, end - i - 1), start});
      i = end < n ? end + 1 : n;
    } else if (c == ':' && i + 1 < n && (IsWordChar(sql[i + 1]) || sql[i + 1] == '"')) {
      Token t{Token::Kind::Bind, {}, start};
      ++i;
      if (sql[i] == '"') {
        std::size_t end = sql.find('"', i + 1);
        if (end == std::string::npos) end = n;
        t.text = sql.substr(i + 1, end - i - 1);
        t.quotedBind = true;
        i = end < n ? end + 1 : n;
      } else {
        std::size_t b = i;
        while (i < n && IsWordChar(sql[i])) ++i;
        t.text = Upper(sql.substr(b, i - b));
      }
      tokens.push_back(t);
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      std::size_t b = i;
      while (i < n && (std::isdigit(static_cast<unsigned char>(sql[i])) || sql[i] == '.')) ++i;
      if (i < n && (sql[i] == 'e' || sql[i] == 'E') && i + 1 < n &&
          (std::isdigit(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '-' || sql[i + 1] == '+')) {
        i += 2;
        while (i < n && std::isdigit(static_cast<unsigned char>(sql[i]))) ++i;
      }
      tokens.push_back({Token::Kind::Number, sql.substr(b, i - b), start});
    } else if (IsWordChar(c)) {
      std::size_t b = i;
      while (i < n && IsWordChar(sql[i])) ++i;
      tokens.push_back({Token::Kind::Word, Upper(sql.substr(b, i - b)), start});
    } else {
      static const char* const pairs[] = {"||", ":=", "<=", ">=", "<>", "!=", "^=", "=>", ".."};
      std::string sym(1, c);
      for (const char* p : pairs)
        if (i + 1 < n && sql[i] == p[0] && sql[i + 1] == p[1]) sym = p;
      i += sym.size();
      tokens.push_back({Token::Kind::Symbol, sym, start});
    }
  }
  return tokens;
}

}  // namespace orastandin
