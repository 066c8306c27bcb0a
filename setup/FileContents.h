// Whole files read into memory in one block, for the checksums of the version exports.
#pragma once

#include <vector>

#include "platform/SysUtils.h"

namespace setrix {

// Reads the whole file for reading only, sharing it with every other user; false when it
// cannot be opened or read (missing, locked, a directory, a path too long).
bool ReadWholeFile(const platform::AnsiString& path, std::vector<unsigned char>& contents);

}  // namespace setrix

namespace setrix {

// Removes the read-only attribute of an existing file and keeps its other attributes.
void ClearReadOnly(const platform::AnsiString& path);

}  // namespace setrix
