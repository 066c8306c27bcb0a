// Oracle column types recovered from the type a column was declared with,
// for describe and the dictionary views.
#pragma once
#include <string>

namespace orastandin {

struct DeclaredType {
  int oraType = 1;
  std::string name = "VARCHAR2";  // for NAMED and REF columns: the type's name
  int size = 4000;
  int precision = 0;
  int scale = 0;
};

DeclaredType ParseDeclaredType(const std::string& declared);

}  // namespace orastandin
