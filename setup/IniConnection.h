// Reads the product's connection value (the "ODER" line, possibly continued over several
// lines) from an INI-like text file and picks its comma-separated fields.
#pragma once

#include "platform/SysUtils.h"

namespace setrix {

// The joined value after its first "=", trimmed and upper-cased; "" when the file has
// none before "[MAGIC_PRINTERS]". Raises EInOutError when the file cannot be read.
platform::AnsiString ReadConnectionValue(const platform::AnsiString& path);

// Field n (1-based) of the value: the text before the n-th comma, trimmed. A field that
// no comma follows is empty.
platform::AnsiString ConnectionField(const platform::AnsiString& value, int n);

}  // namespace setrix
