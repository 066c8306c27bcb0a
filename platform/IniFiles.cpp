#include "IniFiles.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <utility>

#include "TextFile.h"

namespace platform {

namespace {

// The profile functions take a name without any directory from the Windows directory.
AnsiString FilePathOf(const AnsiString& fileName) {
    if (!FitsFilePathLimit(fileName)) return AnsiString();
    if (fileName.find_first_of("\\/:") != AnsiString::npos) return fileName;
    char windows[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    const AnsiString path = AnsiString(windows, n < sizeof windows ? n : 0) + "\\" + fileName;
    return FitsFilePathLimit(path) ? path : AnsiString();
}

// The file's text; empty for a missing file. An unreadable one raises EInOutError.
TIniText ReadText(const AnsiString& path) {
    if (path.empty() || !FileExists(path)) return TIniText();
    return TIniText(ReadFileText(path));
}

AnsiString Unquoted(const AnsiString& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

TIniFile::TIniFile(AnsiString fileName)
    : fileName_(std::move(fileName)), path_(FilePathOf(fileName_)), unwindingAtStart_(std::uncaught_exceptions()) {}

TIniFile::~TIniFile() {
    if (!changed_ || std::uncaught_exceptions() > unwindingAtStart_) return;
    try {
        FlushFile();
    } catch (...) {
        // Destructors never throw; the file is as it was.
    }
}

const TIniText& TIniFile::Current() const {
    if (!changed_) {
        try {
            text_ = ReadText(path_);
        } catch (const EInOutError&) {
            text_ = TIniText();  // the profile functions read an unreadable file as empty
        }
    }
    return text_;
}

TIniText& TIniFile::Editable() {
    if (path_.empty()) throw EIniFileException("Unable to write to " + fileName_);
    if (!changed_) {
        try {
            text_ = ReadText(path_);
        } catch (const EInOutError&) {
            throw EIniFileException("Unable to write to " + fileName_);
        }
    }
    return text_;
}

AnsiString TIniFile::GetString(const AnsiString& section, const AnsiString& key, const AnsiString& fallback) const {
    const std::optional<AnsiString> value = Current().Value(section, key);
    if (value) return Unquoted(*value);
    // The profile functions give the default without its trailing blanks.
    size_t n = fallback.size();
    while (n > 0 && fallback[n - 1] == ' ') --n;
    return Unquoted(fallback.substr(0, n));
}

int32_t TIniFile::GetInteger(const AnsiString& section, const AnsiString& key, int32_t fallback) const {
    const AnsiString text = GetString(section, key);
    int32_t value;
    return TryStrToInt(text, value) ? value : fallback;
}

bool TIniFile::GetBool(const AnsiString& section, const AnsiString& key, bool fallback) const {
    return GetInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::PutString(const AnsiString& section, const AnsiString& key, const AnsiString& value) {
    if (Editable().SetValue(section, key, value)) changed_ = true;
}

void TIniFile::PutInteger(const AnsiString& section, const AnsiString& key, int32_t value) {
    PutString(section, key, IntToStr(value));
}

void TIniFile::PutBool(const AnsiString& section, const AnsiString& key, bool value) {
    PutString(section, key, value ? "1" : "0");
}

bool TIniFile::SectionExists(const AnsiString& section) const {
    TStringList names;
    GetSectionNames(names);
    return names.IndexOf(section) >= 0;
}

bool TIniFile::KeyExists(const AnsiString& section, const AnsiString& key) const {
    TStringList keys;
    GetSectionKeys(section, keys);
    return keys.IndexOf(key) >= 0;
}

void TIniFile::GetSectionNames(TStrings& out) const { Current().SectionNames(out); }

void TIniFile::GetSectionKeys(const AnsiString& section, TStrings& out) const { Current().KeyNames(section, out); }

void TIniFile::GetSectionValues(const AnsiString& section, TStrings& out) const {
    TStringList keys;
    GetSectionKeys(section, keys);
    out.Clear();
    for (int i = 0; i < keys.Count(); ++i) out.Add(keys[i] + "=" + GetString(section, keys[i]));
}

// Removing from a file that does not exist is no failure: there is nothing to remove.
bool TIniFile::NothingToRemove() const { return !changed_ && (path_.empty() || !FileExists(path_)); }

void TIniFile::RemoveSection(const AnsiString& section) {
    if (!NothingToRemove() && Editable().RemoveSection(section)) changed_ = true;
}

void TIniFile::RemoveKey(const AnsiString& section, const AnsiString& key) {
    if (!NothingToRemove() && Editable().RemoveKey(section, key)) changed_ = true;
}

void TIniFile::FlushFile() {
    if (!changed_) return;
    // Written or not, the gathered changes are done with: none of them reaches the file later.
    changed_ = false;
    try {
        ReplaceFileContents(path_, text_.Text());
    } catch (const EInOutError&) {
        throw EIniFileException("Unable to write to " + fileName_);
    }
}

}  // namespace platform
