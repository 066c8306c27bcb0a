#include "setup/ShortPath.h"

#include <windows.h>

#include <vector>

#include "platform/TextFile.h"

namespace setrix {

using platform::AnsiString;

AnsiString ShortPathName(const AnsiString& path) {
    if (path.empty() || !platform::FitsFilePathLimit(path)) return AnsiString();
    const DWORD needed = GetShortPathNameA(path.c_str(), nullptr, 0);
    if (needed == 0) return AnsiString();
    std::vector<char> buf(needed + 1, '\0');
    const DWORD got = GetShortPathNameA(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (got == 0 || got >= buf.size()) return AnsiString();
    return AnsiString(buf.data(), got);
}

AnsiString NormalisedDirectory(const AnsiString& path) {
    AnsiString dir = platform::AnsiUpperCase(ShortPathName(path));
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    return dir;
}

}  // namespace setrix
