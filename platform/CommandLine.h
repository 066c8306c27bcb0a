// The runtime's view of the process's command line: ParamStr(0) is the program's path,
// ParamStr(1..ParamCount()) its parameters, split at blanks, with double quotes grouping
// blanks into one parameter (the quotes themselves dropped). Used by the Oracle home choice,
// which reads a parameter the installation host passes on its command line.
#pragma once

#include "SysUtils.h"

namespace platform {

int ParamCount();
// "" for an index out of range.
AnsiString ParamStr(int index);

}  // namespace platform
