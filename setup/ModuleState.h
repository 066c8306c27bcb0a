// Everything setrix.dll keeps between two export calls, in one place. Each export
// creates and frees everything else within its own call.
#pragma once

#include <string>
#include <vector>

#include "platform/DataSetTypes.h"

#include "platform/StringList.h"
#include "platform/SysUtils.h"

namespace platform {
class TField;
}

namespace setrix {

using platform::AnsiString;

// One field definition of the table the persistent-field builder prepared last.
struct FieldDescription {
    platform::TField* Field = nullptr;  // owned by the table
    AnsiString Name;
    platform::TFieldType DataType = platform::ftUnknown;
};

struct ModuleState {
    // The text most string exports return; valid until the next export stores into it.
    AnsiString ResultBuffer;

    // Oracle client configuration. The installed Oracle homes (name -> home number),
    // refilled by every home search; the registry key of the home in use, fixed by the
    // first search; the tnsnames.ora path; sqlnet.ora's default domain, once found; the
    // aliases of the last GetOracleAliasList.
    platform::TStringList OracleHomes;
    AnsiString OracleHomeKey;
    AnsiString TnsNamesPath;
    AnsiString DefaultDomain;
    platform::TStringList OracleAliases;

    // The directory the chooser of SelectDirectory starts at.
    AnsiString ChooserInitialDirectory;

    // The field definitions of the table the Btrieve exports prepared last; emptied at the
    // start of every preparation.
    std::vector<FieldDescription> FieldDescriptions;
};

ModuleState& State();

// Releases the module-wide state at unload, in reverse order of its creation.
void ReleaseModuleState();

}  // namespace setrix
