// File searches over the Win32 find API: a mask in one directory, a name in a whole
// tree, and the fixed drives' roots. Used by the version exports' installation search.
#pragma once

#include <windows.h>

#include "platform/StringList.h"

namespace setrix {

// Owns one FindFirstFile search and closes it.
class TFindHandle {
public:
    TFindHandle(const platform::AnsiString& mask, WIN32_FIND_DATAA& first)
        : handle_(FindFirstFileA(mask.c_str(), &first)) {}
    ~TFindHandle() {
        if (Valid()) FindClose(handle_);
    }
    TFindHandle(const TFindHandle&) = delete;
    TFindHandle& operator=(const TFindHandle&) = delete;

    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA& entry) { return FindNextFileA(handle_, &entry) != FALSE; }

private:
    HANDLE handle_;
};

// True when at least one file (not a directory) matches the mask.
bool AnyFileMatches(const platform::AnsiString& mask);

// Adds the full path of every file called `name` in `dir` and below. In each directory
// its sub-directories come first, then its own files, in the file system's order. Links
// and junctions are not followed, and no directory is entered twice, so loops in the
// tree end the descent instead of repeating it; the walk keeps its own stack.
void FindFilesRecursive(const platform::AnsiString& dir, const platform::AnsiString& name,
                        platform::TStrings& list);

// The roots ("C:\") of the fixed drives, in drive-letter order.
void GetFixedDrives(platform::TStrings& roots);

}  // namespace setrix
