// The version exports: a file's version by its CRC, its MD5, its version resource's
// values, and the product's installations from given paths or from the fixed drives.
#include <optional>

#include "platform/StringList.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/FileSearch.h"
#include "setup/FileVersionInfo.h"
#include "setup/InstallationList.h"
#include "setup/Md5Digest.h"
#include "setup/VersionList.h"

using namespace platform;
using namespace setrix;

const char* CalcFileMD5(const char* path) {
    return Guarded<const char*>("", [&] { return ReturnText(FileMD5Hex(PathArg(path))); });
}

const char* GetOrvelVersion(const char* path, const char* listPath) {
    return Guarded<const char*>(kUnknownVersion, [&] {
        const AnsiString file = PathArg(path), list = PathArg(listPath);
        return ReturnText(LookupVersionByCRC(file, list));
    });
}

const char* GetModuleVersion(const char* path, const char* valueName) {
    return Guarded<const char*>("", [&] {
        const AnsiString file = PathArg(path), name = Arg(valueName);
        const TFileVersionInfo info(file);
        // The Russian block answers only for a value the English block lacks, not for one
        // it holds empty.
        std::optional<AnsiString> value = info.StringValue("040904E4", name);
        if (!value) value = info.StringValue("041904E3", name);
        return ReturnText(value.value_or(AnsiString()));
    });
}

// A list file that cannot be read, a path beyond the file path limit among them, only
// leaves the versions unknown: the installations are listed all the same.
const char* ProcessDexalList(const char* paths, const char* listPath) {
    return Guarded<const char*>("", [&] {
        const AnsiString candidates = Arg(paths), list = Arg(listPath);
        return ReturnText(InstallationLines(TInstalledComponent::Product, candidates, list));
    });
}

const char* ProcessGateList(const char* paths, const char* listPath) {
    return Guarded<const char*>("", [&] {
        const AnsiString candidates = Arg(paths), list = Arg(listPath);
        return ReturnText(InstallationLines(TInstalledComponent::Gate, candidates, list));
    });
}

const char* GetDexalVersionList(const char* listPath) {
    return Guarded<const char*>("", [&] {
        const AnsiString list = Arg(listPath);
        TStringList roots, controlFiles;
        GetFixedDrives(roots);
        for (int i = 0; i < roots.Count(); ++i) FindFilesRecursive(roots[i], "dexal.ctl", controlFiles);
        return ReturnText(InstallationLines(TInstalledComponent::Product, controlFiles.JoinedText(), list));
    });
}
