// The registry exports under HKEY_LOCAL_MACHINE, and the removal of one installed
// product version's key.
#include "platform/Registry.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/ShortPath.h"

using namespace platform;
using namespace setrix;

namespace {

constexpr int kRegOk = 0;
constexpr int kRegFailed = 1;

// A registry object on HKEY_LOCAL_MACHINE with full access, as every export uses.
class THklmRegistry : public TRegistry {
public:
    THklmRegistry() : TRegistry(KEY_ALL_ACCESS) { SetRootKey(HKEY_LOCAL_MACHINE); }
};

// The host's key path, relative to the root with or without a leading backslash. A path
// that names no key below the root (empty, or backslashes only) is refused: no export
// works on the root of HKEY_LOCAL_MACHINE itself.
AnsiString KeyPathArg(const char* keyPath) {
    const AnsiString path = Arg(keyPath);
    if (path.find_first_not_of('\\') == AnsiString::npos) throw ERegistryException("No registry key named");
    return "\\" + path;
}

// Opens a key that is to be changed or read; false when there is no such key. A key that is
// there but cannot be opened (no rights to it) is a failure of the registry, not a missing
// key: taken for missing, its values would stay while the caller heard they were gone.
bool EnterExistingKey(TRegistry& reg, const AnsiString& path) {
    if (reg.EnterKey(path, false)) return true;
    if (reg.LastError() == ERROR_FILE_NOT_FOUND) return false;
    throw ERegistryException("Cannot open " + path);
}

}  // namespace

int RegCreateHKLMKey(const char* keyPath) {
    return Guarded(kRegFailed, [&] {
        const AnsiString path = KeyPathArg(keyPath);
        THklmRegistry reg;
        return reg.MakeKey(path) ? kRegOk : kRegFailed;
    });
}

int RegDeleteHKLMKey(const char* keyPath) {
    return Guarded(kRegFailed, [&] {
        const AnsiString path = KeyPathArg(keyPath);
        THklmRegistry reg;
        if (reg.RemoveKey(path)) return kRegOk;
        // A missing key is no failure; one that is still there could not be deleted, and so
        // could one that cannot even be opened to tell (no rights to it).
        if (reg.KeyExists(path)) return kRegFailed;
        return reg.LastError() == ERROR_FILE_NOT_FOUND ? kRegOk : kRegFailed;
    });
}

int RegCreateHKLMValue(const char* keyPath, const char* valueName, const char* text) {
    return Guarded(kRegFailed, [&] {
        const AnsiString path = KeyPathArg(keyPath), name = Arg(valueName), value = Arg(text);
        // Both are checked before the key is created: a refused name leaves no new key.
        TRegistry::CheckKeyPath(path);
        TRegistry::CheckValueName(name);
        THklmRegistry reg;
        if (!reg.EnterKey(path, true)) return kRegFailed;
        reg.PutString(name, value);
        return kRegOk;
    });
}

int RegDeleteHKLMValue(const char* keyPath, const char* valueName) {
    return Guarded(kRegFailed, [&] {
        const AnsiString path = KeyPathArg(keyPath), name = Arg(valueName);
        TRegistry::CheckValueName(name);
        THklmRegistry reg;
        if (!EnterExistingKey(reg, path)) return kRegOk;
        if (reg.RemoveValue(name)) return kRegOk;
        // A missing value is no failure; one that is still there could not be deleted.
        return reg.ValueExists(name) ? kRegFailed : kRegOk;
    });
}

const char* RegGetHKLMKeyList(const char* keyPath) {
    return Guarded<const char*>("", [&] {
        const AnsiString path = KeyPathArg(keyPath);
        THklmRegistry reg;
        TStringList names;
        if (reg.EnterKey(path, false)) reg.GetKeyNames(names);
        return ReturnText(names.JoinedText());
    });
}

namespace {

const char* const kOldProductKey = "\\SOFTWARE\\Orvel";
const char* const kProductKey = "\\SOFTWARE\\Quarn\\Orvel";

bool IsOldVersion(const AnsiString& v) {
    return v == "5.9.2.0" || v == "5.9.3.0" || v == "5.9.4.0" || v == "5.10.0.0" || v == "5.11.0.0";
}

bool IsInstanceVersion(const AnsiString& v) { return v == "5.12.0.0" || v == "5.13.0.0"; }

// Versions before 5.12 kept one key for the product with its directory and version.
const char* DeleteOldVersion(const AnsiString& version, const AnsiString& dir) {
    THklmRegistry reg;
    if (!EnterExistingKey(reg, kOldProductKey)) return "-";
    const AnsiString installDir = NormalisedDirectory(reg.GetString("InstallDir"));
    const AnsiString recorded = reg.GetString("Version");
    reg.CloseKey();
    if (installDir != dir) return "-";
    if (recorded != version) return "?";
    if (!reg.RemoveKey(kOldProductKey)) throw ERegistryException("Cannot delete the product key");
    return "ok";
}

// Later versions keep one subkey per installed instance, named by version and number.
const char* DeleteInstance(const AnsiString& version, const AnsiString& dir) {
    THklmRegistry reg;
    TStringList instances;
    if (EnterExistingKey(reg, kProductKey)) reg.GetKeyNames(instances);
    reg.CloseKey();
    for (int i = 0; i < instances.Count(); ++i) {
        const AnsiString& name = instances[i];
        if (name.find(version) == AnsiString::npos) continue;
        const AnsiString key = AnsiString(kProductKey) + "\\" + name;
        if (!EnterExistingKey(reg, key)) throw ERegistryException("Cannot open " + key);
        const AnsiString installDir = NormalisedDirectory(reg.GetString("InstallDir"));
        reg.CloseKey();
        if (installDir != dir) continue;
        if (!reg.RemoveKey(key)) throw ERegistryException("Cannot delete " + key);
        return "ok";
    }
    return "-";
}

}  // namespace

const char* RegDeleteOrvelVer(const char* version, const char* installDir) {
    return Guarded<const char*>("!", [&] {
        const AnsiString wanted = Trim(Arg(version));
        const AnsiString dir = NormalisedDirectory(Arg(installDir));
        if (dir.empty()) return "-";
        if (IsOldVersion(wanted)) return DeleteOldVersion(wanted, dir);
        if (IsInstanceVersion(wanted)) return DeleteInstance(wanted, dir);
        return "-";
    });
}
