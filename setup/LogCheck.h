// The check of an SQL*Plus log: counts its error lines and the lines an ignore list
// excuses, and rewrites the log with every error line framed so that it stands out.
#pragma once

#include "platform/SysUtils.h"

namespace setrix {

// "<errors> <ignored>", or "???" when the ignore list is missing or the log cannot be
// checked; then the log is left as it was.
platform::AnsiString CheckLogFile(const platform::AnsiString& logPath, const platform::AnsiString& ignoreListPath);

}  // namespace setrix
