// Directory names compared as the product registers them: short (8.3) form, upper case,
// ending with a backslash.
#pragma once

#include "platform/SysUtils.h"

namespace setrix {

// The short form of an existing path; "" when the path does not exist.
platform::AnsiString ShortPathName(const platform::AnsiString& path);

// Short form, upper-cased, with a trailing backslash; "" for a path that does not exist.
platform::AnsiString NormalisedDirectory(const platform::AnsiString& path);

}  // namespace setrix
