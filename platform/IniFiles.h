// TIniFile: the runtime's INI file class. It reads a file as the Win32 private profile
// functions read it (TIniText): keys and sections found without regard to case, comments,
// blank lines and key order kept. Changes are gathered in the object and reach the file
// together at FlushFile, or when the object ends other than by an exception: the whole
// new text goes in place of the old file in one step, so a failed write (a full disk)
// leaves the old file as it was instead of cut short. Writing keeps the other keys and
// sections of the file. A bare file name means the Windows directory (as the profile
// functions have it), so callers pass full paths; a name beyond the file path limit
// (FitsFilePathLimit) names no file: it reads as missing and cannot be written. Used by
// the exports that read and write the product's INI files and by the configuration
// export tool.
#pragma once

#include "IniText.h"
#include "StringList.h"
#include "SysUtils.h"

namespace platform {

class EIniFileException : public Exception { using Exception::Exception; };

class TIniFile {
public:
    explicit TIniFile(AnsiString fileName);
    // Writes the gathered changes as FlushFile does, unless an exception is ending the
    // object: the changes of an interrupted piece of work never reach the file. A failure
    // leaves the file as it was and is not reported: callers that must know flush first.
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

    // Writing creates the file and section when missing, at FlushFile; a name beyond the
    // path limit, or a file that exists but cannot be read, raises EIniFileException
    // "Unable to write to <file>" at once.
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

    // Writes the gathered changes to the file: all of them, or, when the write fails,
    // none (EIniFileException "Unable to write to <file>"; the changes are dropped).
    void FlushFile();

private:
    // The text as this object sees it: with the gathered changes when there are any,
    // else the file as it is now (a missing or unreadable file reads as empty).
    const TIniText& Current() const;
    // The text to change: the file's when nothing is gathered yet.
    TIniText& Editable();
    bool NothingToRemove() const;

    AnsiString fileName_;
    AnsiString path_;  // where the file lies; empty for a name beyond the path limit
    mutable TIniText text_;
    bool changed_ = false;
    int unwindingAtStart_;
};

}  // namespace platform
