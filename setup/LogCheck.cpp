#include "setup/LogCheck.h"

#include <windows.h>


#include "platform/StringList.h"
#include "platform/TextFile.h"
#include "setup/FileContents.h"
#include "setup/TextWriter.h"

namespace setrix {

using platform::AnsiString;

namespace {

const char* const kFailed = "???";
// Only the line's beginning is compared with the ignore list and the error prefixes.
constexpr size_t kPrefixLength = 9;

// The empty text is contained in nothing: an empty line never counts as ignored.
bool Contains(const AnsiString& text, const AnsiString& part) {
    return !part.empty() && text.find(part) != AnsiString::npos;
}

bool IsCompilationFailure(const AnsiString& line) {
    return Contains(line, "Warning: Package created with compilation errors.") ||
           Contains(line, "Warning: Package Body created with compilation errors.");
}

class TLogCheck {
public:
    explicit TLogCheck(const platform::TStrings& ignoreList) : ignoreList_(ignoreList) {}

    // Copies the log into the copy, error lines framed; raises on any file failure.
    void Copy(const AnsiString& logPath, const AnsiString& copyPath) {
        platform::TTextFile log(logPath);
        TTextWriter copy(copyPath, TTextWriter::TMode::Create);
        const AnsiString separator(121, '=');
        AnsiString line;
        while (log.ReadLine(line)) {
            if (IsError(line)) {
                ++errors_;
                copy.WriteLine(separator);
                copy.WriteLine(line);
                copy.WriteLine(separator);
            } else {
                copy.WriteLine(line);
            }
        }
        copy.Close();
    }

    AnsiString Counts() const { return platform::IntToStr(errors_) + " " + platform::IntToStr(ignored_); }

private:
    bool IsError(const AnsiString& line) {
        if (IsCompilationFailure(line)) return true;
        const AnsiString prefix = line.substr(0, kPrefixLength);
        int excused = 0;
        for (int i = 0; i < ignoreList_.Count(); ++i)
            if (Contains(ignoreList_[i], prefix)) ++excused;
        if (excused > 0) {
            ignored_ += excused;
            return false;
        }
        return Contains(prefix, "ORA-") || Contains(prefix, "SP2-");
    }

    const platform::TStrings& ignoreList_;
    long long errors_ = 0;
    long long ignored_ = 0;
};

platform::TStringList ReadLines(const AnsiString& path) {
    platform::TStringList lines;
    platform::TTextFile file(path);
    AnsiString line;
    while (file.ReadLine(line)) lines.Add(line);
    return lines;
}

}  // namespace

AnsiString CheckLogFile(const AnsiString& logPath, const AnsiString& ignoreListPath) {
    if (!platform::FileExists(ignoreListPath)) return kFailed;
    const platform::TStringList ignoreList = ReadLines(ignoreListPath);
    ClearReadOnly(logPath);
    const AnsiString copyPath = logPath + "_";
    TLogCheck check(ignoreList);
    try {
        check.Copy(logPath, copyPath);
    } catch (const platform::Exception&) {
        DeleteFileA(copyPath.c_str());
        return kFailed;
    }
    // One step replaces the log by its copy: when it fails, the log is still there.
    if (!MoveFileExA(copyPath.c_str(), logPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(copyPath.c_str());
        return kFailed;
    }
    return check.Counts();
}

}  // namespace setrix
