// CRC-32 of whole files (the reflected ISO-HDLC / zlib variant), as the version list
// identifies the product's files by it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/SysUtils.h"
#include "setup/FileContents.h"

namespace setrix {

// The table-driven update, without the initial or final inversion.
uint32_t UpdateCRC32(uint32_t state, const void* buffer, size_t length);

// The CRC of the whole file, read in blocks of blockSize bytes. The file is opened for
// reading only and its attributes are left alone, so read-only, shared or write-protected
// files are identified too. False when the file cannot be opened or read.
bool CalcFileCRC32(const platform::AnsiString& path, uint32_t& crc, size_t blockSize = ChecksumBlockSize);

// Eight upper-case hexadecimal digits; "" when the file cannot be read.
platform::AnsiString FileCRC32Hex(const platform::AnsiString& path);

}  // namespace setrix
