#include "bench/BenchSupport.h"

#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

constexpr const char* kOracleKey = "SOFTWARE\\ORACLE";

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + name + "\\");
            else
                DeleteFileA((folder + name).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

void Die(const std::string& why) {
    std::fprintf(stderr, "bench: %s\n", why.c_str());
    std::exit(1);
}

double Stopwatch::Seconds() const {
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    return s > 0 ? s : 1e-9;
}

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) Die("GetProcessTimes failed");
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

void Report(const std::string& what, const Cost& product, const Cost& raw) {
    // The CPU clock ticks coarsely: a run too short to register reads as one tick.
    constexpr double kTick = 0.01;
    const double productCpu = product.cpu > 0 ? product.cpu : kTick;
    std::printf("%s: product %.3f s (cpu %.3f s), raw %.3f s (cpu %.3f s), ratio %.2f, cpu ratio %.2f\n",
                what.c_str(), product.wall, product.cpu, raw.wall, raw.cpu, raw.wall / product.wall,
                raw.cpu / productCpu);
    std::fflush(stdout);
}

uint32_t SizeArgument(int argc, char** argv, int index, uint32_t fallback) {
    if (argc <= index) return fallback;
    const unsigned long value = std::strtoul(argv[index], nullptr, 10);
    if (value == 0) Die(std::string("not a size: ") + argv[index]);
    return static_cast<uint32_t>(value);
}

BtrieveClient::BtrieveClient() : module_(LoadLibraryA(btrieve::kDefaultClientLibrary)) {
    if (!module_) Die("cannot load wbtrv32.dll");
    call_ = reinterpret_cast<btrieve::BtrCallFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, btrieve::kBtrCallName)));
    if (!call_) Die("wbtrv32.dll has no BTRCALL");
}

BtrieveClient::~BtrieveClient() { FreeLibrary(module_); }

void BtrieveClient::Check(int16_t status, const char* what) {
    if (status != btrieve::StatusOk) Die(std::string(what) + " answered status " + std::to_string(status));
}

ScratchFolder::ScratchFolder(const std::string& name) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    path_ = std::string(base) + "setrix-bench-" + name + "-" + std::to_string(GetCurrentProcessId()) + "\\";
    RemoveTree(path_);
    if (!CreateDirectoryA(path_.c_str(), nullptr)) Die("cannot create " + path_);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string file(path, length);
    return file.substr(0, file.find_last_of('\\') + 1);
}

std::string StandinServer() {
    char folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("SETRIX_ORACLE_STANDIN", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) Die("SETRIX_ORACLE_STANDIN names no stand-in server");
    SetEnvironmentVariableA("TNS_ADMIN", folder);
    return "SETRIX_TEST";
}

OracleClientRegistration::OracleClientRegistration() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOracleKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        Die("cannot open HKLM\\SOFTWARE\\ORACLE");
    char value[MAX_PATH] = {};
    DWORD size = sizeof value - 1;
    hadValue_ = RegQueryValueExA(key, "OCIDLL", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS;
    if (hadValue_) previous_ = value;
    const std::string client = ProgramFolder() + "oci.dll";
    RegSetValueExA(key, "OCIDLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(client.c_str()),
                   static_cast<DWORD>(client.size() + 1));
    RegCloseKey(key);
}

OracleClientRegistration::~OracleClientRegistration() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOracleKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    if (hadValue_)
        RegSetValueExA(key, "OCIDLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_.c_str()),
                       static_cast<DWORD>(previous_.size() + 1));
    else
        RegDeleteValueA(key, "OCIDLL");
    RegCloseKey(key);
}

}  // namespace bench
