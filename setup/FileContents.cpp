#include "setup/FileContents.h"

#include <windows.h>

#include "platform/TextFile.h"

namespace setrix {

bool ReadWholeFile(const platform::AnsiString& path, std::vector<unsigned char>& contents) {
    platform::THandleOwner file(CreateFileA(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    LARGE_INTEGER size{};
    // One block in memory: files beyond 2 GB are not the product's files.
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) return false;
    contents.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!contents.empty() &&
        (!ReadFile(file.Get(), contents.data(), static_cast<DWORD>(contents.size()), &got, nullptr) ||
         got != contents.size()))
        return false;
    return true;
}

}  // namespace setrix

namespace setrix {

void ClearReadOnly(const platform::AnsiString& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return;
    SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace setrix
