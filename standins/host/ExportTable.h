// What the installation script knows of setrix.dll: each export's name, ordinal,
// argument kinds and result kind.
#pragma once

#include <string_view>

namespace host {

// Argument kinds: 't' text, 'i' signed 32-bit integer, 'h' window handle.
// Result kinds: 'i' integer, 't' text, 'n' nothing.
struct ExportInfo {
    int ordinal;
    const char* name;
    const char* args;
    char result;
};

const ExportInfo* FindExport(std::string_view name);
const ExportInfo* ExportsBegin();
const ExportInfo* ExportsEnd();

}  // namespace host
