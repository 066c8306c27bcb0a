#include "setup/OracleClientConfig.h"

#include <cstdint>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/Registry.h"
#include "platform/TextFile.h"
#include "setup/FilePaths.h"
#include "setup/ModuleState.h"
#include "setup/TnsNamesParser.h"

namespace setrix {

using namespace platform;

namespace {

const char* const kOracleKey = "SOFTWARE\\ORACLE";
constexpr size_t kRegistryStringLimit = 1024;  // bytes, the terminator included
constexpr int kHomeNumberLimit = 1000;
constexpr size_t kCommandLineValueLimit = 255;

AnsiString HomeKey(intptr_t number) { return AnsiString(kOracleKey) + "\\HOME" + IntToStr(number); }

// Optional sign and decimal digits, nothing else, within 32 bits.
bool ReadDecimal(const AnsiString& text, int& value) {
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size()) return false;
    int64_t number = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
        if (number > INT32_MAX) return false;
    }
    value = static_cast<int>(text[0] == '-' ? -number : number);
    return true;
}

// The whole value of an environment variable, however long; "" when it is not set.
AnsiString EnvironmentVariable(const char* name) {
    std::vector<char> buffer(1024);
    for (;;) {
        const DWORD length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) return AnsiString(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

// The steps that find the tnsnames.ora path, each writing what it reached into `path`.
void ComputeTnsNamesPath(AnsiString& path) {
    const AnsiString key = GetOracleHomeKey();
    path = EnvironmentVariable("TNS_ADMIN");
    if (path.empty()) path = ReadRegistryString(HKEY_LOCAL_MACHINE, key, "TNS_ADMIN");
    if (path.empty() && !AnsiSameText(key, kOracleKey))
        path = ReadRegistryString(HKEY_LOCAL_MACHINE, kOracleKey, "TNS_ADMIN");
    if (path.empty()) {
        const AnsiString net80 = ReadRegistryString(HKEY_LOCAL_MACHINE, key, "NET80");
        path = !net80.empty() ? AppendPathPart(net80, "Admin")
                              : AppendPathPart(ReadRegistryString(HKEY_LOCAL_MACHINE, key, "ORACLE_HOME"),
                                               "Network\\Admin");
    }
    path = AppendPathPart(path, "tnsnames.ora");
}

}  // namespace

AnsiString ReadRegistryString(HKEY root, const AnsiString& key, const AnsiString& value) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(root);
    if (!reg.EnterKeyReadOnly("\\" + key)) return AnsiString();
    try {
        AnsiString text = reg.GetString(value);
        return text.size() < kRegistryStringLimit ? text : AnsiString();
    } catch (const ERegistryException&) {
        return AnsiString();
    }
}

void LoadOracleHomes() {
    TStringList& homes = State().OracleHomes;
    homes.SetSortedFlag(true);
    homes.Clear();
    int wanted = 0;
    if (!ReadDecimal(ReadRegistryString(HKEY_LOCAL_MACHINE, AnsiString(kOracleKey) + "\\ALL_HOMES", "HOME_COUNTER"),
                     wanted))
        return;
    if (wanted < 1) wanted = 1;
    for (intptr_t n = 0; wanted > 0 && n < kHomeNumberLimit; ++n) {
        const AnsiString name = ReadRegistryString(HKEY_LOCAL_MACHINE, HomeKey(n), "ORACLE_HOME_NAME");
        if (name.empty()) continue;
        homes.AddObject(name, reinterpret_cast<void*>(n));
        --wanted;
    }
}

AnsiString GetCommandLineValue(const AnsiString& name) {
    const AnsiString wanted = AnsiUpperCase(name) + "=";
    for (int i = 1; i <= ParamCount(); ++i) {
        const AnsiString param = ParamStr(i);
        if (AnsiUpperCase(param).find(wanted) == AnsiString::npos) continue;
        return param.substr(wanted.size(), kCommandLineValueLimit);
    }
    return AnsiString();
}

AnsiString AppendPathPart(const AnsiString& path, const AnsiString& part) {
    if (path.empty() || path.back() == '\\') return path + part;
    return path + '\\' + part;
}

AnsiString GetOracleHomeKey() {
    AnsiString& cached = State().OracleHomeKey;
    if (!cached.empty()) return cached;
    LoadOracleHomes();
    const TStringList& homes = State().OracleHomes;
    AnsiString key = kOracleKey;
    if (homes.Count() > 0) {
        const AnsiString choice = AnsiUpperCase(GetCommandLineValue("ORACLEHOME"));
        const AnsiString searchPath = AnsiUpperCase(EnvironmentVariable("PATH"));
        size_t best = searchPath.size();
        int taken = -1;
        for (int i = 0; i < homes.Count(); ++i) {
            const AnsiString homeKey = HomeKey(reinterpret_cast<intptr_t>(homes.GetObject(i)));
            if (AnsiUpperCase(homes[i]) == choice) {
                taken = i;
                break;
            }
            const AnsiString home = ReadRegistryString(HKEY_LOCAL_MACHINE, homeKey, "ORACLE_HOME");
            if (home.empty()) continue;
            const size_t at = searchPath.find(AnsiUpperCase(AppendPathPart(home, "bin")));
            if (at != AnsiString::npos && at < best) {
                taken = i;
                best = at;
            }
        }
        if (taken < 0) taken = homes.Count() - 1;
        key = HomeKey(reinterpret_cast<intptr_t>(homes.GetObject(taken)));
        if (ReadRegistryString(HKEY_LOCAL_MACHINE, key, "ORACLE_HOME").empty()) key = kOracleKey;
    }
    cached = key;
    return cached;
}

const AnsiString& TnsNamesPath() {
    AnsiString& path = State().TnsNamesPath;
    if (path.empty()) ComputeTnsNamesPath(path);
    return path;
}

AnsiString GetDefaultDomain() {
    AnsiString& domain = State().DefaultDomain;
    if (!domain.empty()) return domain;
    const AnsiString sqlnet = ExtractFilePath(State().TnsNamesPath) + "sqlnet.ora";
    if (!FileExists(sqlnet)) return domain;
    try {
        TTextFile file(sqlnet);
        AnsiString line;
        while (file.ReadLine(line)) {
            const size_t equals = line.find('=');
            if (equals == AnsiString::npos) continue;
            if (AnsiLowerCase(Trim(line.substr(0, equals))) != "names.default_domain") continue;
            domain = Trim(line.substr(equals + 1));
            break;
        }
    } catch (const EInOutError&) {
        // An unreadable sqlnet.ora reads as empty.
    }
    return domain;
}

void LoadOracleAliases() {
    TStringList& aliases = State().OracleAliases;
    aliases.SetSortedFlag(true);
    aliases.SetDuplicates(TDuplicates::dupIgnore);
    aliases.Clear();
    ParseTnsNamesFile(TnsNamesPath());
}

void ParseTnsNamesFile(const AnsiString& path) { TTnsNamesParser(State().OracleAliases).ParseFile(path); }

}  // namespace setrix
