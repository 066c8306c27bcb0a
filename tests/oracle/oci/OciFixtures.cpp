#include "tests/oracle/oci/OciFixtures.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "platform/Registry.h"

namespace oracle::testing {

namespace fs = std::filesystem;

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, n);
    return text.substr(0, text.find_last_of('\\'));
}

void StandinLogOnTest::SetUp() {
    OracleRegistryTest::SetUp();
    REQUIRE_STANDIN_SERVER();
    PutOracleValue("", "OCIDLL", ProgramFolder() + "\\" + library_);
    LogOn(connection_);
}

void StandinLogOnTest::LogOn(TOCIConnection& connection) {
    connection.SetUsername("scott");
    connection.SetPassword("tiger");
    connection.SetServer(server_);
    connection.Connect();
}

void StandinLogOnTest::Run(const std::string& sql) {
    std::unique_ptr<TQdCommand> command = connection_.CreateCommand();
    command->SetSQL(sql);
    command->Execute(1);
}

std::unique_ptr<TOCIRecordSet> StandinLogOnTest::Query(const std::string& sql) {
    std::unique_ptr<TQdRecordSet> created = connection_.CreateRecordSet();
    std::unique_ptr<TOCIRecordSet> recordSet(static_cast<TOCIRecordSet*>(created.release()));
    recordSet->SetSQL(sql);
    return recordSet;
}

void PumpPending() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

void PumpUntilDone(const std::function<bool()>& done, const std::function<void()>& step) {
    PumpPending();
    while (!done()) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, step ? 50 : INFINITE, QS_ALLPOSTMESSAGE) == WAIT_TIMEOUT)
            step();
        PumpPending();
    }
}

std::string UniqueNameSuffix() {
    static const std::string processToken = [] {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        uint64_t seed = static_cast<uint64_t>(now.QuadPart) * 0x9E3779B97F4A7C15ull ^ GetCurrentProcessId();
        std::string token;
        for (int i = 0; i < 6; ++i, seed /= 36) token += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[seed % 36];
        return token;
    }();
    static int serial = 0;
    return "_" + processToken + "_" + std::to_string(++serial);
}

TTempFolder::TTempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int counter = 0;
    path_ = std::string(temp) + "setrix-oci-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    fs::create_directories(path_);
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TTempFolder::MakeFolder(const std::string& relative) const {
    const std::string full = path_ + "\\" + relative;
    fs::create_directories(full);
    return full;
}

void TTempFolder::CopyIn(const std::string& sourceFile, const std::string& relativeTarget) const {
    fs::copy_file(sourceFile, path_ + "\\" + relativeTarget, fs::copy_options::overwrite_existing);
}

void TTempFolder::Touch(const std::string& relative) const { std::ofstream(path_ + "\\" + relative) << "x"; }

namespace {
void RemoveOracleKey() {
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.RemoveKey("\\SOFTWARE\\ORACLE");
}
}  // namespace

void OracleRegistryTest::SetUp() {
    RemoveOracleKey();
    char path[32767];
    const DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
    savedPath_.assign(path, n);
    FreeOCI();
    StartOciLoader();
}

void OracleRegistryTest::TearDown() {
    FreeOCI();
    StartOciLoader();
    SetEnvironmentVariableA("PATH", savedPath_.c_str());
    RemoveOracleKey();
}

void OracleRegistryTest::PutOracleValue(const std::string& subkey, const std::string& name, const std::string& value) {
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.EnterKey("\\SOFTWARE\\ORACLE" + (subkey.empty() ? "" : "\\" + subkey), true));
    registry.PutString(name, value);
}

void OracleRegistryTest::AddHome(const std::string& keyName, const std::string& name, const std::string& path) {
    PutOracleValue(keyName, "ORACLE_HOME_NAME", name);
    PutOracleValue(keyName, "ORACLE_HOME", path);
}

void OracleRegistryTest::SetPath(const std::string& value) { SetEnvironmentVariableA("PATH", value.c_str()); }

std::string OracleRegistryTest::DetectFailure() {
    try {
        DetectOCI();
    } catch (const platform::Exception& e) {
        return e.Message();
    }
    return {};
}

std::string StandinFolder() {
    char buffer[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("SETRIX_ORACLE_STANDIN", buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    SetEnvironmentVariableA("TNS_ADMIN", buffer);
    return std::string(buffer, n);
}

}  // namespace oracle::testing
