// Where the machine's Oracle client keeps its configuration: the installed Oracle homes, the
// one in use, and the tnsnames.ora and sqlnet.ora it reads. The library's own search, kept
// apart from the Oracle access library's; its results are cached in the module state.
#pragma once

#include <windows.h>

#include "platform/StringList.h"

namespace setrix {

using platform::AnsiString;

// A string value of at most 1,023 characters; "" when the key or value is missing, is of
// another type or is longer.
AnsiString ReadRegistryString(HKEY root, const AnsiString& key, const AnsiString& value);

// Refills the module's list of Oracle homes (name -> home number) from the registry.
void LoadOracleHomes();

// The value of the first host parameter that holds NAME=, as the text after its first
// length(NAME) + 1 characters, at most 255 of them; "" when none does.
AnsiString GetCommandLineValue(const AnsiString& name);

// The path, a backslash when it is not empty and lacks one, then the part.
AnsiString AppendPathPart(const AnsiString& path, const AnsiString& part);

// The registry key (under HKEY_LOCAL_MACHINE, no leading backslash) of the Oracle home in
// use: the home named by the host's ORACLEHOME= parameter, else the one whose bin directory
// comes first in PATH, else the last by name; "SOFTWARE\ORACLE" when there is none. Found
// once and kept.
AnsiString GetOracleHomeKey();

// The tnsnames.ora path of the module state, found first when it is empty.
const AnsiString& TnsNamesPath();

// names.default_domain of the sqlnet.ora beside the tnsnames path; kept once found.
AnsiString GetDefaultDomain();

// Adds the aliases of a tnsnames.ora file and of the files it includes to the module's
// alias list.
void ParseTnsNamesFile(const AnsiString& path);

// Refills the module's alias list from the tnsnames path and the files it includes.
void LoadOracleAliases();

}  // namespace setrix
