#include "SetrixLibrary.h"

#include <shellapi.h>

#include <fstream>

std::string TempDirectory() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    char name[MAX_PATH];
    GetTempFileNameA(base, "stx", 0, name);
    DeleteFileA(name);
    CreateDirectoryA(name, nullptr);
    return std::string(name) + "\\";
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

void RemoveTree(const std::string& path) {
    std::string from = path;
    while (!from.empty() && from.back() == '\\') from.pop_back();
    from.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationA(&op);
}
