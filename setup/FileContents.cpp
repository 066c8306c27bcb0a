#include "setup/FileContents.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/TextFile.h"

namespace setrix {

namespace {

platform::THandleOwner OpenForReading(const platform::AnsiString& path, DWORD flags) {
    return platform::THandleOwner(CreateFileA(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, flags, nullptr));
}

}  // namespace

bool ReadWholeFile(const platform::AnsiString& path, std::vector<unsigned char>& contents) {
    platform::THandleOwner file = OpenForReading(path, FILE_ATTRIBUTE_NORMAL);
    if (!file.Valid()) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) return false;
    contents.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!contents.empty() &&
        (!ReadFile(file.Get(), contents.data(), static_cast<DWORD>(contents.size()), &got, nullptr) ||
         got != contents.size()))
        return false;
    return true;
}

bool ReadFileInBlocks(const platform::AnsiString& path, size_t blockSize,
                      const std::function<void(const unsigned char* data, size_t length)>& consume) {
    platform::THandleOwner file = OpenForReading(path, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file.Valid()) return false;
    // One read asks for at most what a DWORD counts.
    const DWORD block = static_cast<DWORD>(std::clamp<size_t>(blockSize, 1, 0x40000000));
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(block);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer.get(), block, &got, nullptr)) return false;
        if (got == 0) return true;
        consume(buffer.get(), got);
    }
}

void ClearReadOnly(const platform::AnsiString& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return;
    SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace setrix
