// Path pieces with the runtime's Windows rules: a directory part keeps its trailing
// backslash (or the drive's colon), a file name part is what follows it.
#pragma once

#include "platform/SysUtils.h"

namespace setrix {

// Everything up to and including the last "\" or ":"; "" when there is none.
platform::AnsiString ExtractFilePath(const platform::AnsiString& path);
// Everything after the last "\" or ":".
platform::AnsiString ExtractFileName(const platform::AnsiString& path);
// The path without one trailing backslash.
platform::AnsiString ExcludeTrailingBackslash(const platform::AnsiString& path);
// The path with a trailing backslash added when it lacks one.
platform::AnsiString IncludeTrailingBackslash(const platform::AnsiString& path);
// The full path against the current directory; "" when the system cannot expand it.
platform::AnsiString ExpandFileName(const platform::AnsiString& path);

}  // namespace setrix
