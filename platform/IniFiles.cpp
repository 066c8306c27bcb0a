#include "IniFiles.h"

#include <windows.h>

#include <vector>

#include "TextFile.h"

namespace platform {

namespace {

// Splits a list of zero-terminated names ending with an empty one.
void SplitNames(const AnsiString& block, TStrings& out) {
    out.Clear();
    size_t pos = 0;
    while (pos < block.size()) {
        const size_t end = block.find('\0', pos);
        const size_t stop = end == AnsiString::npos ? block.size() : end;
        if (stop == pos) break;
        out.Add(block.substr(pos, stop - pos));
        pos = stop + 1;
    }
}

}  // namespace

TIniFile::~TIniFile() {
    try {
        FlushFile();
    } catch (...) {
        // Destructors never throw; nothing was cached when the file cannot be written.
    }
}

AnsiString TIniFile::ProfileText(const char* section, const char* key, const char* fallback) const {
    // A file name beyond the limit names no file: it reads as a missing one.
    if (!FitsFilePathLimit(fileName_)) {
        const bool listing = !section || !key;
        return listing ? AnsiString() : AnsiString(fallback);
    }
    // The profile functions cut the answer to the buffer without saying how much
    // more there was: grow until it fits.
    std::vector<char> buffer(1024);
    for (;;) {
        const DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), fileName_.c_str());
        const bool listing = !section || !key;
        const size_t full = buffer.size() - (listing ? 2 : 1);
        if (n < full) return AnsiString(buffer.data(), n + (listing && n > 0 ? 1 : 0));
        buffer.resize(buffer.size() * 4);
    }
}

AnsiString TIniFile::GetString(const AnsiString& section, const AnsiString& key, const AnsiString& fallback) const {
    return ProfileText(section.c_str(), key.c_str(), fallback.c_str());
}

int32_t TIniFile::GetInteger(const AnsiString& section, const AnsiString& key, int32_t fallback) const {
    const AnsiString text = GetString(section, key);
    int32_t value;
    return TryStrToInt(text, value) ? value : fallback;
}

bool TIniFile::GetBool(const AnsiString& section, const AnsiString& key, bool fallback) const {
    return GetInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::Write(const char* section, const char* key, const char* value) {
    if (!FitsFilePathLimit(fileName_) || !WritePrivateProfileStringA(section, key, value, fileName_.c_str()))
        throw EIniFileException("Unable to write to " + fileName_);
}

void TIniFile::PutString(const AnsiString& section, const AnsiString& key, const AnsiString& value) {
    Write(section.c_str(), key.c_str(), value.c_str());
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

void TIniFile::GetSectionNames(TStrings& out) const { SplitNames(ProfileText(nullptr, nullptr, ""), out); }

void TIniFile::GetSectionKeys(const AnsiString& section, TStrings& out) const {
    SplitNames(ProfileText(section.c_str(), nullptr, ""), out);
}

void TIniFile::GetSectionValues(const AnsiString& section, TStrings& out) const {
    TStringList keys;
    GetSectionKeys(section, keys);
    out.Clear();
    for (int i = 0; i < keys.Count(); ++i) out.Add(keys[i] + "=" + GetString(section, keys[i]));
}

bool TIniFile::Exists() const {
    return FitsFilePathLimit(fileName_) && GetFileAttributesA(fileName_.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Removing from a file that does not exist is no failure: there is nothing to remove.
void TIniFile::RemoveSection(const AnsiString& section) {
    if (Exists()) Write(section.c_str(), nullptr, nullptr);
}

void TIniFile::RemoveKey(const AnsiString& section, const AnsiString& key) {
    if (Exists()) Write(section.c_str(), key.c_str(), nullptr);
}

void TIniFile::FlushFile() {
    if (FitsFilePathLimit(fileName_)) WritePrivateProfileStringA(nullptr, nullptr, nullptr, fileName_.c_str());
}

}  // namespace platform
