// Conversions between the client program's buffers (Oracle external types) and the
// values that travel to and from the server.
#pragma once
#include <string>

#include "oracle/oci/OciApi.h"
#include "standins/oracle/protocol/Wire.h"

namespace orastandin {

// Reads a bound value of external type dty from length bytes at data.
Value ReadExternal(const void* data, oracle::oci::sb4 length, oracle::oci::ub2 dty);

struct WriteResult {
  oracle::oci::ub4 length = 0;      // bytes written (without a terminator)
  oracle::oci::sb2 indicator = 0;   // -1 null, 0 whole, > 0 the original length when truncated
  bool truncated = false;
};

// The text form of a value: numbers as Oracle writes them, dates in the date format.
std::string ValueText(const Value& v, const std::string& dateFormat);

// Writes a value as external type dty into capacity bytes at dest. column (may be null)
// gives CHAR padding. Throws OraError on a conversion that cannot be made.
WriteResult WriteExternal(const Value& v, const ColumnInfo* column, oracle::oci::ub2 dty, void* dest,
                          oracle::oci::sb4 capacity, const std::string& dateFormat);

// A PL/SQL table bound as an array in the program's memory: items, and per element an
// indicator, a length and a return code (each optional), with their strides.
struct TableArray {
  void* items = nullptr;
  oracle::oci::ub4 itemSkip = 0;
  oracle::oci::sb4 itemSize = 0;
  oracle::oci::ub2 dty = 0;
  void* indicators = nullptr;
  oracle::oci::ub4 indicatorSkip = sizeof(oracle::oci::sb2);
  oracle::oci::ub2* lengths = nullptr;
  oracle::oci::ub4 lengthSkip = sizeof(oracle::oci::ub2);
  oracle::oci::ub2* codes = nullptr;
  oracle::oci::ub4 codeSkip = sizeof(oracle::oci::ub2);
  oracle::oci::ub4 maxElements = 0;
};

// The collection a block left in a table, element by element into the array; answers the
// number of elements (ORA-06513 when they are more than the array holds, ORA-06502 when the
// value is no collection).
oracle::oci::ub4 WriteTable(const TableArray& table, const Value& v, const std::string& dateFormat);

}  // namespace orastandin
