// TTnsNamesParser: reads the alias names of a tnsnames.ora file, following the files it
// includes (IFILE), into a list. Used by GetOracleAliasList.
#pragma once

#include <vector>

#include "platform/StringList.h"

namespace setrix {

using platform::AnsiString;

class TTnsNamesParser {
public:
    explicit TTnsNamesParser(platform::TStrings& aliases) : aliases_(aliases) {}

    // Adds the aliases of the file and of its includes; a missing or unreadable file adds
    // nothing, and a file never includes itself again, directly or through others.
    void ParseFile(AnsiString path);

private:
    void ParseLines(const std::vector<AnsiString>& lines);
    void AddEntry(const AnsiString& text, bool& includeNext);

    platform::TStrings& aliases_;
    // The files being read, outermost first, by full upper-case path.
    std::vector<AnsiString> includeChain_;
};

}  // namespace setrix
