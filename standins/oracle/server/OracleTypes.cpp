#include "standins/oracle/server/OracleTypes.h"

#include <cctype>
#include <cstdlib>

#include "standins/oracle/protocol/Wire.h"

namespace orastandin {

DeclaredType ParseDeclaredType(const std::string& declared) {
  std::string d;
  for (char c : declared) d += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  DeclaredType t;
  int a = -1, b = -1;
  std::size_t paren = d.find('(');
  if (paren != std::string::npos) {
    a = std::atoi(d.c_str() + paren + 1);
    std::size_t comma = d.find(',', paren);
    if (comma != std::string::npos) b = std::atoi(d.c_str() + comma + 1);
  }
  std::string base = d.substr(0, paren);
  while (!base.empty() && base.back() == ' ') base.pop_back();
  auto has = [&](const char* w) { return base.find(w) != std::string::npos; };
  // Columns of object and collection types ("NAMED type") and REF columns ("REF type").
  for (const auto& [prefix, code] : {std::pair<const char*, int>{"NAMED ", oratype::Named}, {"REF ", oratype::Ref}})
    if (base.rfind(prefix, 0) == 0) {
      t = {code, base.substr(std::string(prefix).size()), code == oratype::Named ? 2000 : 36, 0, 0};
      return t;
    }
  if (has("LONG") && has("RAW")) {
    t = {oratype::LongRaw, "LONG RAW", 0, 0, 0};
  } else if (base == "LONG" || base == "LONG TEXT") {
    t = {oratype::Long, "LONG", 0, 0, 0};
  } else if (has("RAW")) {
    t = {oratype::Raw, "RAW", a > 0 ? a : 2000, 0, 0};
  } else if (has("VARCHAR")) {
    t = {oratype::Varchar2, has("NVARCHAR") ? "NVARCHAR2" : "VARCHAR2", a > 0 ? a : 4000, 0, 0};
  } else if (has("BFILE")) {
    t = {oratype::Bfile, "BFILE", 530, 0, 0};
  } else if (has("CLOB")) {
    t = {oratype::Clob, "CLOB", 4000, 0, 0};
  } else if (has("BLOB")) {
    t = {oratype::Blob, "BLOB", 4000, 0, 0};
  } else if (has("CHAR")) {
    t = {oratype::Char, "CHAR", a > 0 ? a : 1, 0, 0};
  } else if (has("DATE") || has("TIMESTAMP")) {
    t = {oratype::Date, "DATE", 7, 0, 0};
  } else if (has("NUMBER") || has("NUMERIC") || has("DECIMAL")) {
    t = {oratype::Number, "NUMBER", 22, a > 0 ? a : 0, a > 0 ? (b >= 0 ? b : 0) : -127};
  } else if (has("INT")) {
    t = {oratype::Number, "NUMBER", 22, 38, 0};
  } else if (has("FLOAT") || has("REAL") || has("DOUBLE")) {
    t = {oratype::Number, "FLOAT", 22, 126, -127};
  }
  return t;
}

}  // namespace orastandin
