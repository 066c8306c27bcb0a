// Files read for the version exports: small ones whole, checksummed ones block by block.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/SysUtils.h"

namespace setrix {

// Reads the whole file for reading only, sharing it with every other user; false when it
// cannot be opened or read (missing, locked, a directory, a path too long). For small
// files only: it holds the whole file in memory.
bool ReadWholeFile(const platform::AnsiString& path, std::vector<unsigned char>& contents);

// The block size the checksums read files in: memory stays the same whatever the file's
// size, and the blocks are large enough that reading costs little beside the checksum.
inline constexpr size_t ChecksumBlockSize = size_t{1} << 20;

// Reads the file from its start to its end, opened for reading only and shared like
// ReadWholeFile, and hands each block to `consume` in order (the last one may be shorter;
// an empty file hands none). False when the file cannot be opened or a read fails.
bool ReadFileInBlocks(const platform::AnsiString& path, size_t blockSize,
                      const std::function<void(const unsigned char* data, size_t length)>& consume);

// Removes the read-only attribute of an existing file and keeps its other attributes.
void ClearReadOnly(const platform::AnsiString& path);

}  // namespace setrix
