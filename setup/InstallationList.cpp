#include "setup/InstallationList.h"

#include "platform/StringList.h"
#include "platform/TextFile.h"
#include "setup/FilePaths.h"
#include "setup/FileSearch.h"
#include "setup/VersionList.h"

namespace setrix {

using platform::AnsiString;

AnsiString InstallationLines(TInstalledComponent component, const AnsiString& paths, const AnsiString& listPath) {
    const bool gate = component == TInstalledComponent::Gate;
    const char* const controlFile = gate ? "\\Programm\\gate.ctl" : "\\Programm\\dexal.ctl";
    const char* const label = gate ? "GATE <" : "Orvel <";

    platform::TStringList candidates;
    candidates.AssignText(paths);
    platform::TStringList lines;
    lines.SetSortedFlag(true);
    for (int i = 0; i < candidates.Count(); ++i) {
        const AnsiString& path = candidates[i];
        // A path without a directory would probe the current drive's root; one beyond the
        // file path limit names no file.
        if (platform::Trim(ExtractFilePath(path)).empty() || !platform::FitsFilePathLimit(path)) continue;
        const AnsiString installDir = InstallationDirectoryOf(path);
        if (!platform::FileExists(installDir + controlFile) || !AnyFileMatches(installDir + "\\*.ini")) continue;
        AnsiString version = platform::Trim(LookupVersionByCRC(path, listPath));
        if (version.empty()) version = kUnknownVersion;
        lines.Add(label + version + ">  -  " + installDir);
    }
    AnsiString text = lines.JoinedText();
    if (text.size() >= 2) text.resize(text.size() - 2);  // no line end after the last line
    return text;
}

}  // namespace setrix
