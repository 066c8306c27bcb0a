// MD5 digests of whole files through the Windows crypto provider (BCrypt), for the
// installation script's file checks.
#pragma once

#include "platform/SysUtils.h"

namespace setrix {

// 32 upper-case hexadecimal digits of the file's MD5; "" when the file cannot be read.
// Raises platform::Exception when the crypto provider fails.
platform::AnsiString FileMD5Hex(const platform::AnsiString& path);

}  // namespace setrix
