#include "setup/FilePaths.h"

#include <windows.h>

#include <vector>

#include "platform/TextFile.h"

namespace setrix {

using platform::AnsiString;

namespace {

size_t AfterDirectoryPart(const AnsiString& path) {
    const size_t last = path.find_last_of("\\:");
    return last == AnsiString::npos ? 0 : last + 1;
}

}  // namespace

AnsiString ExtractFilePath(const AnsiString& path) { return path.substr(0, AfterDirectoryPart(path)); }

AnsiString ExtractFileName(const AnsiString& path) { return path.substr(AfterDirectoryPart(path)); }

AnsiString ExcludeTrailingBackslash(const AnsiString& path) {
    if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
    return path;
}

AnsiString IncludeTrailingBackslash(const AnsiString& path) {
    if (!path.empty() && path.back() == '\\') return path;
    return path + '\\';
}

AnsiString ExpandFileName(const AnsiString& path) {
    if (path.empty() || !platform::FitsFilePathLimit(path)) return AnsiString();
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD needed = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (needed == 0) return AnsiString();
        if (needed < buffer.size()) return AnsiString(buffer.data(), needed);
        buffer.resize(needed + 1);
    }
}

}  // namespace setrix
