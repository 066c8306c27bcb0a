// MD5 digests of whole files through the Windows crypto provider (BCrypt), for the
// installation script's file checks.
#pragma once

#include <cstddef>

#include "platform/SysUtils.h"
#include "setup/FileContents.h"

namespace setrix {

// 32 upper-case hexadecimal digits of the file's MD5, read in blocks of blockSize bytes
// into one digest; "" when the file cannot be read. Raises platform::Exception when the
// crypto provider fails.
platform::AnsiString FileMD5Hex(const platform::AnsiString& path, size_t blockSize = ChecksumBlockSize);

}  // namespace setrix
