// TIniText: the text of an INI file, read and changed the way the Windows profile functions
// read and change it. Section and key names are found without regard to case (code page
// 1251 letters too), the first of equal names counts, and names and values lose the blanks
// around them. A section is the lines from its "[name]" line to the next; the lines before
// the first one form the section without a name. Comments (";") and lines without "=" are
// no keys when keys are listed. A change touches only the lines it concerns: every other
// byte of the text (comments, blank lines, line ends, key order) stays as it was.
#pragma once

#include <optional>
#include <vector>

#include "StringList.h"
#include "SysUtils.h"

namespace platform {

class TIniText {
public:
    TIniText() = default;
    explicit TIniText(const AnsiString& text);

    AnsiString Text() const;

    // The value as the file holds it, without the blanks around it; none for a missing
    // section or key, or a key line without "=".
    std::optional<AnsiString> Value(const AnsiString& section, const AnsiString& key) const;
    // Lists replace the contents of `out`, in file order.
    void SectionNames(TStrings& out) const;
    void KeyNames(const AnsiString& section, TStrings& out) const;

    // Each answers whether the text changed. A new key goes after the last line of its
    // section that is not blank; a new section goes to the end.
    bool SetValue(const AnsiString& section, const AnsiString& key, const AnsiString& value);
    bool RemoveKey(const AnsiString& section, const AnsiString& key);
    bool RemoveSection(const AnsiString& section);

private:
    struct Line {
        AnsiString text;
        AnsiString end;  // the line's own end: CR LF, LF, CR, or none for a last line without one
    };
    // Lines [header, end) of a section; its keys are (header, end). The section without a
    // name has no header line: its keys start at 0.
    struct Section {
        size_t header;
        size_t firstKey;
        size_t end;
    };

    std::optional<Section> FindSection(const AnsiString& name) const;
    // The line of the key in the section; none when it has no such key.
    std::optional<size_t> FindKey(const Section& section, const AnsiString& key) const;
    void Insert(size_t at, AnsiString text);

    std::vector<Line> lines_;
};

}  // namespace platform
