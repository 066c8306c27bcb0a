// The one form in which object, collection and REF values travel between the stand-in's
// client and server and are kept in table columns: a tagged byte string holding the
// type's name, for a REF the object table and object id, and the attribute or element
// values in order (embedded objects and collections as images of their own).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "standins/oracle/protocol/Wire.h"

namespace orastandin {

struct ObjectImage {
  enum class Kind : std::uint8_t { Object = 'O', Collection = 'C', Ref = 'R' };
  Kind kind = Kind::Object;
  std::string typeName;
  std::string table;       // a REF's object table
  std::int64_t oid = 0;    // a REF's object id
  std::vector<Value> items;  // attributes or elements; Null for a null one

  std::string Encode() const;
  Value AsValue() const { return Value::Raw(Encode()); }
  // False when bytes is not an image.
  static bool Decode(const std::string& bytes, ObjectImage& image);
  static bool IsImage(const std::string& bytes);
};

}  // namespace orastandin
