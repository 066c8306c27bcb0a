// Data type codes the Oracle layer adds to the record store's (cursor, LOB, file, label,
// fixed char). Record sets, parameters and the LOB and object classes share them.
#pragma once

#include "oracle/core/DataTypes.h"

namespace oracle {

inline constexpr TDataType dtCursor = 22;
inline constexpr TDataType dtOraBlob = 23;
inline constexpr TDataType dtOraClob = 24;
inline constexpr TDataType dtBFile = 25;
inline constexpr TDataType dtCFile = 26;
inline constexpr TDataType dtLabel = 31;
inline constexpr TDataType dtFixedChar = 32;
// The bytes of a column the client describes with its internal type 25, passed through as
// text of the column's size.
inline constexpr TDataType dtInternalBytes = 33;

}  // namespace oracle
