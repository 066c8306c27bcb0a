// The product's versions: a file's version looked up by its CRC in the host's version
// list, with the instance number that side-by-side installations (5.12.0.0 and later)
// carry in the product's registry keys.
#pragma once

#include "platform/SysUtils.h"

namespace setrix {

// The text that stands for a version that cannot be determined ("Неизв.").
extern const char* const kUnknownVersion;

// The version of the file whose CRC text the first matching line of the list holds,
// with the instance suffix; kUnknownVersion when the list is missing or unreadable,
// the file unreadable, or no line matches.
platform::AnsiString LookupVersionByCRC(const platform::AnsiString& path, const platform::AnsiString& listPath);

// The version of one list line: the text after its first "-", trimmed, or the whole
// line. The line must already be trimmed and upper-cased.
platform::AnsiString VersionOfListLine(const platform::AnsiString& line);

// True for a dotted numeric version of 5.12.0.0 or later, compared number by number;
// texts that do not start with a number are never instance versions.
bool IsInstanceVersion(const platform::AnsiString& version);

// The trimmed version with "_" and the instance number of the registry subkey of
// "SOFTWARE\Quarn\Orvel" whose name contains the version and whose InstallDir is the
// directory above the file's directory; unchanged below 5.12.0.0.
platform::AnsiString AppendInstanceSuffix(const platform::AnsiString& version, const platform::AnsiString& path);

// The installation directory of a control file: the directory above the file's
// directory, without a trailing backslash (D for D\Programm\dexal.ctl).
platform::AnsiString InstallationDirectoryOf(const platform::AnsiString& path);

}  // namespace setrix
