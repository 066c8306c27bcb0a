// Value codecs of the OCI layer: the text forms of an Oracle ROWID (extended base-64 form
// and restricted dotted-hex form) read from the client's three storage layouts, and the
// 7-byte Oracle DATE against the runtime's date-time and the record buffers' milliseconds.
// Used by the command and record set layers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Variant.h"

namespace oracle {

// Base-64 digits (A-Z, a-z, 0-9, +, /) of the value, "A"-padded in front to the width.
std::string IntToSym(uint32_t value, int width);

// The four numbers of a ROWID as text: extended form, or dotted hex when object is 0.
std::string RowIdText(uint32_t object, uint32_t file, uint32_t block, uint32_t row);
// The 15 ROWID bytes of an OCI7 cursor data area (from its byte 20).
std::string RowId7ToText(const uint8_t* bytes);
// The 14 bytes of an 8.0 client's ROWID descriptor from its byte 8.
std::string RowId80ToText(const uint8_t* bytes);
// The 13 bytes an 8.1-or-later client's ROWID descriptor points to; nil gives "".
std::string RowId81ToText(const uint8_t* bytes);

// The 7-byte Oracle DATE: century+100, year+100, month, day, hour+1, minute+1, second+1.
// Years before 1 cannot be a date-time and raise EConvertError.
platform::TDateTime OraDateToDateTime(const uint8_t* date);
double OraDateToMSecs(const uint8_t* date);
// Milliseconds are dropped.
void DateTimeToOraDate(uint8_t* date, platform::TDateTime value);
void MSecsToOraDate(uint8_t* date, double msecs);

uint16_t Swap16(uint16_t value);
uint32_t Swap32(uint32_t value);

}  // namespace oracle
