#include "setup/FileVersionInfo.h"

#include <windows.h>

#include <cstring>

#include "platform/TextFile.h"

namespace setrix {

using platform::AnsiString;

TFileVersionInfo::TFileVersionInfo(const AnsiString& path) {
    if (path.empty() || !platform::FitsFilePathLimit(path)) return;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return;
    data_ = std::move(data);
}

std::optional<AnsiString> TFileVersionInfo::StringValue(const char* block, const AnsiString& name) const {
    // An empty name would query the block itself, which is no string.
    if (!HasResource() || name.empty()) return std::nullopt;
    const AnsiString query = AnsiString("\\StringFileInfo\\") + block + "\\" + name;
    void* value = nullptr;
    UINT length = 0;
    // VerQueryValueA may convert into the buffer it is given, so hand it a private copy.
    std::vector<char> data = data_;
    if (!VerQueryValueA(data.data(), query.c_str(), &value, &length)) return std::nullopt;
    if (!value || length == 0) return AnsiString();
    const char* text = static_cast<const char*>(value);
    return AnsiString(text, strnlen(text, length));
}

}  // namespace setrix
