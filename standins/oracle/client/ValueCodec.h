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

}  // namespace orastandin
