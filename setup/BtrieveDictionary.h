// What every Btrieve export prepares in the data directory before it opens a table: the
// directory itself, the library's three dictionary files and the editor alias for it.
#pragma once

#include <utility>
#include <vector>

#include "platform/SysUtils.h"

namespace setrix {

// The alias the Btrieve exports open their data directory through.
inline constexpr const char* EditorAlias = "BTI_edit";

// The data directory of a data file's path: its directory part, or the host program's
// directory for a bare file name. Always ends with a backslash.
platform::AnsiString DataDirectoryOfFile(const platform::AnsiString& path);
// The data directory of a directory argument; the host program's directory when the
// argument is empty or blank. Always ends with a backslash.
platform::AnsiString DataDirectoryOf(const platform::AnsiString& directory);

// Writes the embedded FIELD.DDF, FILE.DDF and INDEX.DDF into the directory, replacing
// existing files; false at the first one that cannot be written (earlier ones stay).
bool ExtractDictionary(const platform::AnsiString& directory);
// Deletes the three dictionary files; a file that cannot be deleted is left.
void RemoveDictionary(const platform::AnsiString& directory) noexcept;

// The embedded dictionary written into a directory for the time of one export. Dictionary
// files the directory held before (the product's own dictionary) are kept in memory and put
// back when the export's files are deleted, so that the export leaves them as it found them.
class DictionaryInstallation {
public:
    explicit DictionaryInstallation(const platform::AnsiString& directory);
    ~DictionaryInstallation();
    DictionaryInstallation(const DictionaryInstallation&) = delete;
    DictionaryInstallation& operator=(const DictionaryInstallation&) = delete;
    // False when the dictionary could not be written completely.
    bool Written() const { return written_; }

private:
    platform::AnsiString directory_;
    std::vector<std::pair<platform::AnsiString, std::vector<unsigned char>>> saved_;
    bool written_ = false;
};

// Registers the editor alias for the directory (one trailing backslash dropped); nothing
// is written when the alias key cannot be opened.
void SetEditorAlias(const platform::AnsiString& directory);

// The short date and time formats the record reads and writes use; they stay so for
// every later conversion of the library.
void UseEditorDateTimeFormats();

}  // namespace setrix
