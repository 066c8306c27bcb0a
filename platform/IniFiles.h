// TIniFile: the runtime's INI file class over the Win32 private profile functions.
// Keys and sections are found without regard to case; writing keeps the other keys
// and sections of the file. A bare file name means the Windows directory (as the
// profile functions do), so callers pass full paths; a name beyond the file path limit
// (FitsFilePathLimit) names no file: it reads as missing and cannot be written. Used by
// the exports that read and write the product's INI files and by the configuration
// export tool.
#pragma once

#include "StringList.h"
#include "SysUtils.h"

namespace platform {

class EIniFileException : public Exception { using Exception::Exception; };

class TIniFile {
public:
    explicit TIniFile(AnsiString fileName) : fileName_(std::move(fileName)) {}
    // Writes cached changes to the disk.
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const AnsiString& FileName() const { return fileName_; }

    // A missing file, section or key gives the default. Values come as the file holds
    // them, with surrounding blanks and one pair of enclosing quotes removed.
    AnsiString GetString(const AnsiString& section, const AnsiString& key, const AnsiString& fallback = "") const;
    // Decimal or "$"/"0x" hexadecimal text; anything else gives the default.
    int32_t GetInteger(const AnsiString& section, const AnsiString& key, int32_t fallback) const;
    // "0" is false, any other number true; no number gives the default.
    bool GetBool(const AnsiString& section, const AnsiString& key, bool fallback) const;

    // Writing creates the file and section when missing; a failure raises
    // EIniFileException "Unable to write to <file>".
    void PutString(const AnsiString& section, const AnsiString& key, const AnsiString& value);
    void PutInteger(const AnsiString& section, const AnsiString& key, int32_t value);
    void PutBool(const AnsiString& section, const AnsiString& key, bool value);

    bool SectionExists(const AnsiString& section) const;
    bool KeyExists(const AnsiString& section, const AnsiString& key) const;
    // Lists replace the contents of `out`, in file order.
    void GetSectionNames(TStrings& out) const;
    void GetSectionKeys(const AnsiString& section, TStrings& out) const;
    // name=value lines of one section.
    void GetSectionValues(const AnsiString& section, TStrings& out) const;

    void RemoveSection(const AnsiString& section);
    void RemoveKey(const AnsiString& section, const AnsiString& key);

    // Makes the profile functions write what they cache to the file now.
    void FlushFile();

private:
    // Profile text for the given section and key (null pointers list names).
    AnsiString ProfileText(const char* section, const char* key, const char* fallback) const;
    void Write(const char* section, const char* key, const char* value);
    bool Exists() const;

    AnsiString fileName_;
};

}  // namespace platform
