#include "oracle/oci/OciLoader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/Registry.h"
#include "platform/StringList.h"
#include "platform/SysUtils.h"
#include "platform/TextFile.h"

namespace oracle {

namespace detail {
void RaiseNotLinked() { RaiseLibraryError("OCI function is not linked"); }
}  // namespace detail

void RaiseLibraryError(const std::string& message) { throw platform::Exception(message); }

#define ORACLE_OCI_STUB(name, type) &detail::UnboundEntry<type>::Call,
TOciEntryPoints Oci{ORACLE_OCI7_ENTRIES(ORACLE_OCI_STUB) ORACLE_OCI8_ENTRIES(ORACLE_OCI_STUB)
                        ORACLE_OCI_OBJECT_ENTRIES(ORACLE_OCI_STUB) ORACLE_OCI81_ENTRIES(ORACLE_OCI_STUB)};
#undef ORACLE_OCI_STUB

namespace {

const char* const OracleKey = "\\SOFTWARE\\ORACLE";

TOciClientState state;
std::mutex initLock;

// Every slot back to the stub: a freed library must leave no address behind.
void ResetEntryPoints() {
#define ORACLE_OCI_RESET(name, type) Oci.name = UnboundEntryPoint<type>();
    ORACLE_OCI7_ENTRIES(ORACLE_OCI_RESET)
    ORACLE_OCI8_ENTRIES(ORACLE_OCI_RESET)
    ORACLE_OCI_OBJECT_ENTRIES(ORACLE_OCI_RESET)
    ORACLE_OCI81_ENTRIES(ORACLE_OCI_RESET)
#undef ORACLE_OCI_RESET
}

template <class Proc>
void BindEntryPoint(HMODULE library, Proc& slot, const char* name) {
    const FARPROC address = GetProcAddress(library, name);
    slot = address ? reinterpret_cast<Proc>(reinterpret_cast<void*>(address)) : UnboundEntryPoint<Proc>();
}

void BindGroups(HMODULE library, uint8_t groups) {
#define ORACLE_OCI_BIND(name, type) BindEntryPoint(library, Oci.name, #name);
    if (groups & egOCI7) {
        ORACLE_OCI7_ENTRIES(ORACLE_OCI_BIND)
    }
    if (groups & egOCI8) {
        ORACLE_OCI8_ENTRIES(ORACLE_OCI_BIND)
        ORACLE_OCI_OBJECT_ENTRIES(ORACLE_OCI_BIND)
    }
    if (groups & egOCI81) {
        ORACLE_OCI81_ENTRIES(ORACLE_OCI_BIND)
    }
#undef ORACLE_OCI_BIND
}

// "Cannot find OCI DLL: " with the library path known so far, which is then forgotten.
[[noreturn]] void FailNotFound() {
    const std::string message = "Cannot find OCI DLL: " + state.ClientLibraryPath;
    state.ClientLibraryPath.clear();
    RaiseLibraryError(message);
}

bool StartsWithText(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && platform::AnsiSameText(text.substr(0, prefix.size()), prefix);
}

std::string ReadOracleValue(const std::string& key, const std::string& name, bool& found) {
    platform::TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    found = registry.EnterKeyReadOnly(key) && registry.ValueExists(name);
    return found ? registry.GetString(name) : std::string();
}

std::string ReadOracleValue(const std::string& key, const std::string& name) {
    bool found = false;
    return ReadOracleValue(key, name, found);
}

int FindHomeByName(const std::string& name) {
    for (size_t i = 0; i < state.HomeList.size(); ++i)
        if (platform::AnsiSameText(state.HomeList[i].Name, name)) return static_cast<int>(i);
    return -1;
}

void AddOracleHome(const std::string& keyName) {
    if (state.HomeList.size() >= MaxOracleHomes) return;
    const std::string key = std::string(OracleKey) + "\\" + keyName;
    bool hasName = false, hasPath = false;
    const std::string name = ReadOracleValue(key, "ORACLE_HOME_NAME", hasName);
    const std::string path = ReadOracleValue(key, "ORACLE_HOME", hasPath);
    if (hasName && hasPath && FindHomeByName(name) < 0) state.HomeList.push_back({path, keyName, name});
}

std::string EnvironmentValue(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    const DWORD written = GetEnvironmentVariableA(name, value.data(), size);
    value.resize(std::min<DWORD>(written, size));
    return value;
}

// The first PATH entry naming a home's bin folder (or the home itself) that holds oci.dll.
void FindHomeOnPath() {
    const std::string path = EnvironmentValue("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(';', start);
        if (end == std::string::npos) end = path.size();
        const std::string entry = platform::Trim(path.substr(start, end - start));
        start = end + 1;
        if (entry.empty()) continue;
        for (size_t i = 0; i < state.HomeList.size(); ++i) {
            const std::string& home = state.HomeList[i].Path;
            if ((platform::AnsiSameText(entry, home + "\\bin") || platform::AnsiSameText(entry, home + "\\bin\\")) &&
                platform::FileExists(home + "\\bin\\oci.dll")) {
                state.DefaultHome = static_cast<int>(i);
                return;
            }
            if ((platform::AnsiSameText(entry, home) || platform::AnsiSameText(entry, home + "\\")) &&
                platform::FileExists(home + "\\oci.dll")) {
                state.DefaultHome = static_cast<int>(i);
                return;
            }
        }
    }
}

void DiscoverHomes() {
    state.HomeList.clear();
    state.DefaultHome = -1;
    platform::TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!registry.EnterKeyReadOnly(OracleKey)) FailNotFound();
    platform::TStringList names;
    registry.GetKeyNames(names);
    for (int i = 0; i < names.Count(); ++i)
        if (StartsWithText(names[i], "HOME") || StartsWithText(names[i], "KEY_")) AddOracleHome(names[i]);
    if (!state.HomeList.empty()) FindHomeOnPath();
    if (state.HomeList.size() > 1) {
        bool found = false;
        const std::string defaultName = ReadOracleValue(std::string(OracleKey) + "\\ALL_HOMES", "DEFAULT_HOME", found);
        if (found) {
            const int index = FindHomeByName(defaultName);
            if (index >= 0) state.DefaultHome = index;
        }
    }
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Among BIN\ora*.dll the one whose version digits (from the fourth character, up to six,
// starting with a digit) compare greatest as text: ora805 before ora73.
std::string FindVersionedClient(const std::string& bin) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((bin + "ora*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    std::string best, bestDigits;
    do {
        std::string stem = found.cFileName;
        const size_t dot = stem.rfind('.');
        if (dot != std::string::npos) stem.resize(dot);
        if (stem.size() < 4 || stem[3] < '0' || stem[3] > '9') continue;
        const std::string digits = stem.substr(3, 6);
        if (best.empty() || digits > bestDigits) {
            best = found.cFileName;
            bestDigits = digits;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return best;
}

void ChooseLibraryFile() {
    if (state.ClientLibraryPath.empty()) {
        bool found = false;
        const std::string configured = ReadOracleValue(OracleKey, "OCIDLL", found);
        if (found) state.ClientLibraryPath = platform::Trim(configured);
    }
    if (!state.ClientLibraryPath.empty()) {
        state.HomePath = DirectoryOf(state.ClientLibraryPath);
        if (state.HomePath.size() >= 4 && platform::AnsiSameText(state.HomePath.substr(state.HomePath.size() - 4), "\\BIN"))
            state.HomePath.resize(state.HomePath.size() - 4);
        return;
    }
    std::string home;
    if (state.SelectedHome != ohDefault) {
        const size_t number = state.SelectedHome - ohHome0;
        if (number < state.HomeList.size()) home = state.HomeList[number].Path;
        if (home.empty()) {
            state.ClientLibraryPath = "in Home" + std::to_string(number);
            FailNotFound();
        }
    } else {
        if (state.DefaultHome >= 0) home = state.HomeList[static_cast<size_t>(state.DefaultHome)].Path;
        if (home.empty()) home = ReadOracleValue(OracleKey, "ORACLE_HOME");
        if (home.empty()) FailNotFound();
    }
    if (!home.empty() && home.back() == '\\') home.pop_back();
    state.HomePath = home;
    const std::string bin = home + "\\BIN\\";
    if (platform::FileExists(bin + "oci.dll"))
        state.ClientLibraryPath = bin + "oci.dll";
    else if (platform::FileExists(home + "\\oci.dll"))
        state.ClientLibraryPath = home + "\\oci.dll";
    else if (const std::string versioned = FindVersionedClient(bin); !versioned.empty())
        state.ClientLibraryPath = bin + versioned;
    if (state.ClientLibraryPath.empty()) {
        state.ClientLibraryPath = bin + "*.*";
        FailNotFound();
    }
}

bool RunningInsideLibrary() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&RunningInsideLibrary), &self);
    return self != nullptr && self != GetModuleHandleA(nullptr);
}

void CheckInit(sword result) {
    if (result != OCI_SUCCESS) RaiseLibraryError("Can't initialize OCI. Error " + std::to_string(result));
}

std::string OraCodeText(int32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "ORA-%05ld", static_cast<long>(std::labs(code)));
    return text;
}

}  // namespace

TOciClientState& OciClient() { return state; }

void StartOciLoader() {
    state = TOciClientState{};
    ResetEntryPoints();
}

void EndOciLoader() {
    FreeOCI();
    state.HomeList.clear();
    state.DefaultHome = -1;
    state.LiteClient = false;
}

void AddOciLoaderUnit(platform::TModuleUnits& units) { units.Add("OraCall", StartOciLoader, EndOciLoader); }

int CompareVersionText(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        unsigned long x = 0, y = 0;
        while (i < a.size() && a[i] != '.') x = x * 10 + static_cast<unsigned long>(std::max(0, a[i++] - '0'));
        while (j < b.size() && b[j] != '.') y = y * 10 + static_cast<unsigned long>(std::max(0, b[j++] - '0'));
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    return 0;
}

TClientGeneration ClassifyClientVersion(const std::string& fileName, const std::string& versionText) {
    if (platform::AnsiLowerCase(fileName) == "ociw32.dll") return {0, egOCI7, 1};
    const auto startsWith = [&](const char* prefix) { return versionText.rfind(prefix, 0) == 0; };
    if (startsWith("7.3")) return {1, egOCI7, 1};
    if (startsWith("8.1")) return {3, egOCI7 | egOCI8 | egOCI81, 2};
    if (startsWith("8.")) return {2, egOCI7 | egOCI8, 2};
    if (startsWith("9.") || startsWith("10.")) return {4, egOCI7 | egOCI8 | egOCI81 | egOCI9, 2};
    RaiseLibraryError("OCI version " + versionText + " is not supported");
}

std::string ReadFileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return {};
    std::string language = "040904B0";
    void* translation = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &length) && length >= 4) {
        const WORD* pair = static_cast<const WORD*>(translation);
        char hex[9];
        std::snprintf(hex, sizeof hex, "%04X%04X", pair[0], pair[1]);
        language = hex;
    }
    void* text = nullptr;
    if (!VerQueryValueA(block.data(), ("\\StringFileInfo\\" + language + "\\FileVersion").c_str(), &text, &length) ||
        text == nullptr)
        return {};
    return std::string(static_cast<const char*>(text), strnlen(static_cast<const char*>(text), length));
}

void DetectOCI() {
    DiscoverHomes();
    ChooseLibraryFile();
    bool found = false;
    const std::string lite = ReadOracleValue(OracleKey, "OLITE", found);
    state.LiteClient = found && platform::AnsiSameText(lite.substr(0, 3), "YES");

    state.ClientVersionText = ReadFileVersion(state.ClientLibraryPath);
    const std::string fileName = FileNameOf(state.ClientLibraryPath);
    if (platform::AnsiLowerCase(fileName) != "ociw32.dll" && state.ClientVersionText.empty()) FailNotFound();
    const TClientGeneration generation = ClassifyClientVersion(fileName, state.ClientVersionText);
    if (generation.Level != 0) state.ClientVersionLevel = generation.Level;
    state.EntryGroups |= generation.Groups;
    if (generation.CallInterface == 1 || state.CallInterface == 0) state.CallInterface = generation.CallInterface;
}

void LoadOCI() {
    DetectOCI();
    if (state.HomeList.size() > 1 && !state.HomePath.empty()) {
        // Dependent libraries of the chosen home come first; prepended once only.
        const std::string first = state.HomePath + "\\bin;";
        const std::string path = EnvironmentValue("PATH");
        if (!StartsWithText(path, first)) SetEnvironmentVariableA("PATH", (first + path).c_str());
    }
    const HMODULE library = LoadLibraryExA(state.ClientLibraryPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        const std::string path = state.ClientLibraryPath;
        state.ClientLibraryPath.clear();
        RaiseLibraryError("Cannot load OCI DLL: " + path);
    }
    state.Library = library;
    BindGroups(library, state.EntryGroups);
}

void FreeOCI() {
    if (state.EnvironmentReady && (state.EntryGroups & egOCI8) && !RunningInsideLibrary()) {
        // A DLL leaves the client's handles alone: the client may already be unloading.
        if (state.ErrorHandle) Oci.OCIHandleFree(state.ErrorHandle, OCI_HTYPE_ERROR);
        if (state.Environment) Oci.OCIHandleFree(state.Environment, OCI_HTYPE_ENV);
    }
    state.ErrorHandle = nullptr;
    state.Environment = nullptr;
    state.EnvironmentReady = false;
    if (state.Library) FreeLibrary(state.Library);
    state.Library = nullptr;
    ResetEntryPoints();
    state.ClientLibraryPath.clear();
    state.ClientVersionText.clear();
    state.ClientVersionLevel = 0;
    state.CallInterface = 0;
    state.EntryGroups = 0;
    state.HomePath.clear();
    state.Oci7ThreadFlag = false;
}

bool IsClientLoaded() { return state.Library != nullptr; }

uint32_t EnvironmentMode(const std::string& versionText, bool withOci81Group, const TOciClientState& switches) {
    uint32_t mode = OCI_OBJECT;
    if (switches.ThreadedMode && CompareVersionText(versionText, "8.0.4.0.0") > 0) mode += OCI_THREADED;
    if (switches.SharedMode && CompareVersionText(versionText, "8.1.4.0.0") >= 0) mode += OCI_SHARED;
    if (switches.EventsMode && CompareVersionText(versionText, "8.1.4.0.0") >= 0) mode += OCI_EVENTS;
    if (withOci81Group && switches.ThreadedMode && !switches.EnvironmentMutex) mode += OCI_NO_MUTEX;
    return mode;
}

void InitOCI() {
    std::lock_guard<std::mutex> guard(initLock);
    if (state.EnvironmentReady) return;
    if (!IsClientLoaded()) LoadOCI();
    if (state.EntryGroups & egOCI8) {
        const bool with81 = (state.EntryGroups & egOCI81) != 0;
        const uint32_t mode = EnvironmentMode(state.ClientVersionText, with81, state);
        OCIEnv* environment = nullptr;
        if (with81) {
            CheckInit(Oci.OCIEnvCreate(&environment, mode, nullptr, nullptr, nullptr, nullptr, 0, nullptr));
        } else {
            CheckInit(Oci.OCIInitialize(mode, nullptr, nullptr, nullptr, nullptr));
            const bool noMutex = state.ThreadedMode && !state.EnvironmentMutex &&
                                 CompareVersionText(state.ClientVersionText, "8.1.4.0.0") >= 0;
            CheckInit(Oci.OCIEnvInit(&environment, noMutex ? OCI_NO_MUTEX : OCI_DEFAULT, 0, nullptr));
        }
        state.Environment = environment;
        void* errorHandle = nullptr;
        CheckInit(Oci.OCIHandleAlloc(environment, &errorHandle, OCI_HTYPE_ERROR, 0, nullptr));
        state.ErrorHandle = static_cast<OCIError*>(errorHandle);
        state.EnvironmentReady = true;
    }
    if (state.EntryGroups & egOCI7) {
        if (state.ThreadedMode) InitOCI7Thread(true);
        state.EnvironmentReady = true;
    }
}

void InitOCI7Thread(bool flag) {
    if (!(state.EntryGroups & egOCI7)) return;
    state.Oci7ThreadFlag = flag;
    // A client whose library carries no OCI7 process initialisation needs none.
    if (IsBound(Oci.opinit)) Oci.opinit(0);
}

bool OCI7ThreadInitDone() { return state.Oci7ThreadFlag; }

void RequireOCI8() {
    if (state.CallInterface != 2) RaiseLibraryError("Need Oracle 8 Call Interface");
}

int32_t GetOraError(sword status, std::string& text, OCIError* errorHandle) {
    RequireOCI8();
    if (errorHandle == nullptr) errorHandle = state.ErrorHandle;
    int32_t code = status;
    switch (status) {
        case OCI_SUCCESS:
            return 0;
        case OCI_SUCCESS_WITH_INFO:
        case OCI_NO_DATA:
        case OCI_ERROR: {
            OraText buffer[512] = {};
            sb4 fetched = status;
            const sword result = Oci.OCIErrorGet(errorHandle, 1, nullptr, &fetched, buffer, sizeof buffer, OCI_HTYPE_ERROR);
            // The scan is bounded: a client that writes no terminator cannot run us past the buffer.
            text.assign(reinterpret_cast<const char*>(buffer), strnlen(reinterpret_cast<const char*>(buffer), sizeof buffer));
            code = fetched;
            switch (result) {
                case OCI_ERROR:
                    if (text.rfind("ORA-", 0) == 0) {
                        const std::string digits = text.substr(4, 5);
                        char* end = nullptr;
                        const long parsed = std::strtol(digits.c_str(), &end, 10);
                        if (!digits.empty() && end == digits.c_str() + digits.size()) code = static_cast<int32_t>(parsed);
                    }
                    break;
                case OCI_SUCCESS:
                    // Five digits, as the client writes them, so "ORA-01017" prefixes still match.
                    if (text.empty()) text = OraCodeText(code);
                    break;
                case OCI_SUCCESS_WITH_INFO:
                    text = "OCI_SUCCESS_WITH_INFO";
                    break;
                case OCI_NO_DATA:
                    text = "OCI_NO_DATA";
                    break;
                default:
                    break;
            }
            break;
        }
        case OCI_NEED_DATA:
            text = "OCI_NEED_DATA";
            break;
        case OCI_INVALID_HANDLE:
            text = "OCI_INVALID_HANDLE";
            break;
        default:
            text = "Unknown error: ORA-" + std::to_string(status);
            break;
    }
    return code < 0 ? -code : code;
}

int32_t GetOraErrorCode(sword status, OCIError* errorHandle) {
    std::string text;
    return GetOraError(status, text, errorHandle);
}

void OraCheck(sword status, OCIError* errorHandle) {
    if (status == OCI_SUCCESS) return;
    std::string text;
    const int32_t code = GetOraError(status, text, errorHandle);
    if (status != OCI_SUCCESS_WITH_INFO) throw EOraError(code, platform::TrimRight(text));
}

void CheckStatus(sword status, OCIError* errorHandle) {
    if (status != OCI_SUCCESS) OraCheck(status, errorHandle);
}

}  // namespace oracle
