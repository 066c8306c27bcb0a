// What every Btrieve export prepares in the data directory before it opens a table: the
// directory itself, the library's three dictionary files and the editor alias for it.
#pragma once

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

// The embedded FIELD.DDF, FILE.DDF and INDEX.DDF installed in a directory for the time of
// one export, so that the directory holds afterwards exactly what it held before, even when
// the process is killed on the way or a file cannot be written:
// - a dictionary file the directory has of its own (the product's dictionary) is set aside
//   by renaming it to "<name>.setrix-own"; where it has none, an empty "<name>.setrix-none"
//   says so before anything else is written under that name;
// - each embedded file is written completely and flushed as "<name>.setrix-new", then
//   renamed into place, so no half-written dictionary file ever carries a dictionary name;
// - at the end the embedded files are deleted and the own ones renamed back.
// A call killed on the way leaves only these names behind: every installation first puts
// back what such a call left, by the same steps. Callers hold the editor alias's lock, so no
// two processes work on one directory's dictionary at once.
class DictionaryInstallation {
public:
    explicit DictionaryInstallation(const platform::AnsiString& directory);
    ~DictionaryInstallation();
    DictionaryInstallation(const DictionaryInstallation&) = delete;
    DictionaryInstallation& operator=(const DictionaryInstallation&) = delete;
    // False when the dictionary could not be installed completely; the directory is then
    // left as it was found.
    bool Written() const { return written_; }

private:
    platform::AnsiString directory_;
    bool written_ = false;
};

// Registers the editor alias for the directory (one trailing backslash dropped); nothing
// is written when the alias key cannot be opened.
void SetEditorAlias(const platform::AnsiString& directory);

// The short date and time formats the record reads and writes use; they stay so for
// every later conversion of the library.
void UseEditorDateTimeFormats();

}  // namespace setrix
