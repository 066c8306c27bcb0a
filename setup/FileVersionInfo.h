// TFileVersionInfo: the version resource of a file read through version.dll, for the
// export that reports string values such as FileVersion or ProductName.
#pragma once

#include <optional>
#include <vector>

#include "platform/SysUtils.h"

namespace setrix {

class TFileVersionInfo {
public:
    // Loads the file's version resource; a file without one (or a missing file) has none.
    explicit TFileVersionInfo(const platform::AnsiString& path);

    bool HasResource() const { return !data_.empty(); }
    // The string value of one StringFileInfo block ("040904E4"), empty when the value is;
    // nothing when the block or the value is missing.
    std::optional<platform::AnsiString> StringValue(const char* block, const platform::AnsiString& name) const;

private:
    std::vector<char> data_;
};

}  // namespace setrix
