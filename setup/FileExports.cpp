// The file and folder exports: deleting a folder tree, appending a line, checking an
// SQL*Plus log, and the computer's name.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/FileContents.h"
#include "setup/FilePaths.h"
#include "setup/LogCheck.h"
#include "setup/TextWriter.h"

using namespace platform;
using namespace setrix;

namespace {

// The shell's code for a source it cannot work on; also what a refused path returns.
constexpr int kInvalidSource = 0x7C;

// Only dots and separators ("", ".", "..\", "/"): the current directory or one above it.
bool IsDotsAndSeparatorsOnly(const AnsiString& path) {
    return Trim(path).find_first_not_of(". \\/") == AnsiString::npos;
}

// A drive's root ("C:\") or a share's ("\\server\share").
bool IsRoot(const AnsiString& fullPath) {
    AnsiString path = fullPath;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    if (path.size() <= 2) return true;
    if (path.compare(0, 2, "\\\\") == 0) {
        const size_t server = path.find('\\', 2);
        return server == AnsiString::npos || path.find('\\', server + 1) == AnsiString::npos;
    }
    return false;
}

// A path given relative to the current directory ("sub", "C:sub"), not from a root.
bool IsRelative(const AnsiString& path) {
    const size_t start = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    return start >= path.size() || (path[start] != '\\' && path[start] != '/');
}

// A full path that is the current directory or one above it: deleting it takes the
// current directory with it.
bool HoldsCurrentDirectory(const AnsiString& fullPath) {
    const AnsiString current = ExpandFileName(".");
    AnsiString path = fullPath;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    if (current.size() < path.size() || !AnsiSameText(current.substr(0, path.size()), path)) return false;
    return current.size() == path.size() || current[path.size()] == '\\';
}

}  // namespace

int DeleteFolder(const char* path) {
    return Guarded(kInvalidSource, [&] {
        const AnsiString given = PathArg(path);
        // Deleting the current directory or a whole drive is never what the script means.
        if (IsDotsAndSeparatorsOnly(given)) return kInvalidSource;
        // A folder's name never holds a wildcard (nor the file system's DOS forms < > and
        // the quote); the shell would expand it and delete whatever matches.
        if (given.find_first_of("*?<>\"") != AnsiString::npos) return kInvalidSource;
        const AnsiString full = ExpandFileName(given);
        if (full.empty() || full.size() >= MAX_PATH || IsRoot(full)) return kInvalidSource;
        // "C:" or "sub\.." lead back to the current directory, most likely from an empty
        // folder name; the same directory named from its root is the script's plain wish.
        if (IsRelative(Trim(given)) && HoldsCurrentDirectory(full)) return kInvalidSource;
        std::vector<char> names(full.begin(), full.end());
        names.push_back('\0');
        names.push_back('\0');
        SHFILEOPSTRUCTA operation{};
        operation.wFunc = FO_DELETE;
        operation.pFrom = names.data();
        operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
        return SHFileOperationA(&operation);
    });
}

void WriteLine(const char* path, const char* text) {
    GuardedVoid([&] {
        const AnsiString file = PathArg(path), line = Arg(text);
        ClearReadOnly(file);
        TTextWriter writer(file, TTextWriter::TMode::Append);
        writer.WriteLine(line);
    });
}

const char* CheckLog(const char* logPath, const char* ignoreListPath) {
    return Guarded<const char*>("???", [&] {
        const AnsiString log = PathArg(logPath), ignoreList = PathArg(ignoreListPath);
        return ReturnText(CheckLogFile(log, ignoreList));
    });
}

const char* GetComputerName() {
    return Guarded<const char*>("", [&] {
        // A NetBIOS name has at most 15 characters; a longer host name is cut to them.
        char name[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD length = sizeof name;
        if (GetComputerNameA(name, &length)) return ReturnText(AnsiString(name, length));
        if (GetLastError() != ERROR_BUFFER_OVERFLOW) return ReturnText("");
        std::vector<char> longName(length + 1);
        length = static_cast<DWORD>(longName.size());
        if (!GetComputerNameA(longName.data(), &length)) return ReturnText("");
        return ReturnText(AnsiString(longName.data(), length).substr(0, MAX_COMPUTERNAME_LENGTH));
    });
}
