#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "oracle/oci/OciLoader.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using testing::OracleRegistryTest;
using testing::ProgramFolder;

// A home folder holding a copy of the stand-in client as BIN\oci.dll.
std::string MakeClientHome(const testing::TTempFolder& folder, const std::string& name) {
    const std::string home = folder.MakeFolder(name);
    folder.MakeFolder(name + "\\BIN");
    folder.CopyIn(ProgramFolder() + "\\oci.dll", name + "\\BIN\\oci.dll");
    return home;
}

TEST_F(OracleRegistryTest, OneHomeOnPathIsTheDefaultAndItsClientVersionIsRead) {
    const std::string home = MakeClientHome(folder_, "ora92");
    AddHome("HOME0", "OraHome92", home);
    SetPath("C:\\windows;" + home + "\\bin\\");
    DetectOCI();
    const TOciClientState& client = OciClient();
    ASSERT_EQ(client.HomeList.size(), 1u);
    EXPECT_EQ(client.DefaultHome, 0);
    EXPECT_EQ(client.HomePath, home);
    EXPECT_EQ(client.ClientLibraryPath, home + "\\BIN\\oci.dll");
    EXPECT_EQ(client.ClientVersionText, "9.2.0.1.0");
    EXPECT_EQ(client.ClientVersionLevel, 4);
    EXPECT_EQ(client.CallInterface, 2);
    EXPECT_EQ(client.EntryGroups, egOCI7 | egOCI8 | egOCI81 | egOCI9);
    EXPECT_FALSE(client.LiteClient);
}

TEST_F(OracleRegistryTest, DefaultHomeEntryOverridesPath) {
    const std::string a = MakeClientHome(folder_, "a"), b = MakeClientHome(folder_, "b");
    AddHome("HOME0", "HomeA", a);
    AddHome("HOME1", "HomeB", b);
    PutOracleValue("ALL_HOMES", "DEFAULT_HOME", "homeb");
    SetPath(a + "\\bin");
    DetectOCI();
    EXPECT_EQ(OciClient().DefaultHome, 1);
    EXPECT_EQ(OciClient().HomePath, b);
}

TEST_F(OracleRegistryTest, WithoutDefaultHomeTheRootOracleHomeServes) {
    const std::string a = MakeClientHome(folder_, "a"), b = MakeClientHome(folder_, "b");
    const std::string root = MakeClientHome(folder_, "root");
    AddHome("HOME0", "HomeA", a);
    AddHome("HOME1", "HomeB", b);
    PutOracleValue("", "ORACLE_HOME", root + "\\");
    SetPath("C:\\windows");
    DetectOCI();
    EXPECT_EQ(OciClient().DefaultHome, -1);
    EXPECT_EQ(OciClient().HomePath, root);
    EXPECT_EQ(OciClient().ClientLibraryPath, root + "\\BIN\\oci.dll");
}

TEST_F(OracleRegistryTest, HomeListTakesHomeAndKeySubkeysOnceEachUpToSix) {
    const std::string home = MakeClientHome(folder_, "h");
    AddHome("FOO", "Foo", home);
    AddHome("HOME0", "Same", home);
    AddHome("HOME1", "SAME", home);
    AddHome("KEY_OraClient10g", "Client10g", home);
    for (int i = 2; i < 8; ++i) AddHome("HOME" + std::to_string(i), "Extra" + std::to_string(i), home);
    // No home is on PATH and there is no root ORACLE_HOME: detection fails after listing.
    EXPECT_EQ(DetectFailure(), "Cannot find OCI DLL: ");
    const TOciClientState& client = OciClient();
    ASSERT_EQ(client.HomeList.size(), MaxOracleHomes);
    EXPECT_EQ(client.HomeList[0].KeyName, "HOME0");
    for (const TOracleHomeEntry& entry : client.HomeList) {
        EXPECT_NE(entry.Name, "Foo");
        EXPECT_NE(entry.Name, "SAME");
    }
}

TEST_F(OracleRegistryTest, LibraryFileChoiceAndFailureTexts) {
    // Only versioned client files: the greatest digits as text win (805 over 73).
    const std::string old = folder_.MakeFolder("old");
    folder_.MakeFolder("old\\BIN");
    folder_.Touch("old\\BIN\\ora73.dll");
    folder_.Touch("old\\BIN\\ora805.dll");
    folder_.Touch("old\\BIN\\oraclient.dll");
    PutOracleValue("", "ORACLE_HOME", old);
    // The files are no libraries: the version block cannot be read.
    EXPECT_EQ(DetectFailure(), "Cannot find OCI DLL: " + old + "\\BIN\\ora805.dll");
    EXPECT_EQ(OciClient().ClientLibraryPath, "");

    const std::string empty = folder_.MakeFolder("empty");
    PutOracleValue("", "ORACLE_HOME", empty);
    EXPECT_EQ(DetectFailure(), "Cannot find OCI DLL: " + empty + "\\BIN\\*.*");

    AddHome("HOME0", "A", empty);
    AddHome("HOME1", "B", empty);
    OciClient().SelectedHome = ohHome3;
    EXPECT_EQ(DetectFailure(), "Cannot find OCI DLL: in Home3");
    OciClient().SelectedHome = ohDefault;
}

TEST_F(OracleRegistryTest, MissingOracleKeyOrHomeFails) {
    EXPECT_EQ(DetectFailure(), "Cannot find OCI DLL: ");
    PutOracleValue("", "OLITE", "no");
    EXPECT_EQ(DetectFailure(), "Cannot find OCI DLL: ");
}

TEST_F(OracleRegistryTest, OciDllValueGivesTheHomePath) {
    const struct {
        const char* library;
        const char* home;
    } cases[] = {{"C:\\ORA\\BIN\\OCI.DLL", "C:\\ORA"}, {" D:\\client\\oci.dll ", "D:\\client"}};
    for (const auto& c : cases) {
        PutOracleValue("", "OCIDLL", c.library);
        // Neither file exists, so reading its version fails after the home is known.
        EXPECT_EQ(DetectFailure(), "Cannot find OCI DLL: " + platform::Trim(c.library));
        EXPECT_EQ(OciClient().HomePath, c.home);
    }
}

TEST_F(OracleRegistryTest, LiteFlagAndOci7Library) {
    folder_.CopyIn(ProgramFolder() + "\\ociw32.dll", "ociw32.dll");
    PutOracleValue("", "OCIDLL", folder_.Path() + "\\ociw32.dll");
    PutOracleValue("", "OLITE", "yes please");
    DetectOCI();
    EXPECT_TRUE(OciClient().LiteClient);
    EXPECT_EQ(OciClient().CallInterface, 1);
    EXPECT_EQ(OciClient().EntryGroups, egOCI7);
    EXPECT_EQ(OciClient().ClientVersionLevel, 0);
    std::string text;
    try {
        GetOraError(-1, text);
        ADD_FAILURE() << "an OCI7 client has no OCI8 error texts";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Need Oracle 8 Call Interface");
    }
}

TEST_F(OracleRegistryTest, InitOciLoadsBindsAndCreatesTheEnvironmentOnce) {
    PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
    EXPECT_TRUE(IsBound(Oci.OCIHandleAlloc) == false);
    InitOCI();
    const TOciClientState& client = OciClient();
    ASSERT_TRUE(IsClientLoaded());
    EXPECT_TRUE(client.EnvironmentReady);
    EXPECT_NE(client.Environment, nullptr);
    EXPECT_NE(client.ErrorHandle, nullptr);
    EXPECT_TRUE(IsBound(Oci.OCIEnvCreate));
    EXPECT_TRUE(IsBound(Oci.OCIServerAttach));
    EXPECT_TRUE(OCI7ThreadInitDone());
    OCIEnv* const environment = client.Environment;
    InitOCI();
    EXPECT_EQ(client.Environment, environment);

    // A version 8 client carries the OCI7 entry points too.
    EXPECT_TRUE(IsBound(Oci.olog));
    EXPECT_TRUE(IsBound(Oci.sqllda));

    FreeOCI();
    EXPECT_FALSE(IsClientLoaded());
    EXPECT_EQ(client.ClientLibraryPath, "");
    EXPECT_EQ(client.EntryGroups, 0);
    // No slot keeps an address into the freed library.
    EXPECT_FALSE(IsBound(Oci.OCIHandleAlloc));
    EXPECT_FALSE(IsBound(Oci.olog));
    for (const auto& call : std::vector<std::function<void()>>{
             [] { Oci.OCITransCommit(nullptr, nullptr, 0); },
             [] { Oci.olog(nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, 0); }}) {
        try {
            call();
            ADD_FAILURE() << "a freed client's function was called";
        } catch (const platform::Exception& e) {
            EXPECT_STREQ(e.what(), "OCI function is not linked");
        }
    }
}

TEST_F(OracleRegistryTest, ConcurrentFirstUsesCreateOneEnvironment) {
    PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
    std::vector<OCIEnv*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] {
            InitOCI();
            seen[i] = OciClient().Environment;
        });
    for (std::thread& thread : threads) thread.join();
    ASSERT_NE(seen[0], nullptr);
    for (OCIEnv* environment : seen) EXPECT_EQ(environment, seen[0]);
}

TEST_F(OracleRegistryTest, ModuleUnitLoadsNothingAndFreesTheClientAtTheEnd) {
    PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
    platform::TModuleUnits units;
    AddOciLoaderUnit(units);
    units.Start();
    EXPECT_FALSE(IsClientLoaded());
    InitOCI();
    EXPECT_TRUE(IsClientLoaded());
    units.Stop();
    EXPECT_FALSE(IsClientLoaded());
    EXPECT_FALSE(IsBound(Oci.OCIEnvCreate));
}

TEST_F(OracleRegistryTest, OnlyTheChosenHomeIsPutInFrontOfPathOnce) {
    const std::string a = MakeClientHome(folder_, "a"), b = MakeClientHome(folder_, "b");
    AddHome("HOME0", "HomeA", a);
    AddHome("HOME1", "HomeB", b);
    SetPath("C:\\windows\\system32;C:\\windows;" + b + "\\bin");
    LoadOCI();
    FreeOCI();
    LoadOCI();
    char path[32767];
    const DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
    EXPECT_EQ(std::string(path, n), b + "\\bin;C:\\windows\\system32;C:\\windows;" + b + "\\bin");
}

TEST(OciClientVersion, GenerationTable) {
    const struct {
        const char* file;
        const char* version;
        uint8_t level, groups, callInterface;
    } cases[] = {
        {"oci.dll", "7.3.4.0.0", 1, egOCI7, 1},
        {"oci.dll", "8.0.5.0.0", 2, egOCI7 | egOCI8, 2},
        {"ora805.dll", "8.1.7.0.0", 3, egOCI7 | egOCI8 | egOCI81, 2},
        {"oci.dll", "9.2.0.1.0", 4, egOCI7 | egOCI8 | egOCI81 | egOCI9, 2},
        {"oci.dll", "10.2.0.1.0", 4, egOCI7 | egOCI8 | egOCI81 | egOCI9, 2},
        {"OCIW32.DLL", "9.2.0.1.0", 0, egOCI7, 1},
    };
    for (const auto& c : cases) {
        const TClientGeneration g = ClassifyClientVersion(c.file, c.version);
        EXPECT_EQ(g.Level, c.level) << c.version;
        EXPECT_EQ(g.Groups, c.groups) << c.version;
        EXPECT_EQ(g.CallInterface, c.callInterface) << c.version;
    }
    for (const char* unsupported : {"11.1.0.6.0", "7.2.0", "x"}) {
        try {
            ClassifyClientVersion("oci.dll", unsupported);
            ADD_FAILURE() << unsupported;
        } catch (const platform::Exception& e) {
            EXPECT_EQ(e.Message(), std::string("OCI version ") + unsupported + " is not supported");
        }
    }
}

TEST(OciClientVersion, EnvironmentModeComparesVersionsByNumber) {
    TOciClientState switches;
    EXPECT_EQ(EnvironmentMode("9.2.0.1.0", true, switches), OCI_OBJECT | OCI_THREADED | OCI_NO_MUTEX);
    // A 10.x client is newer than 8.0.4 and gets the threaded environment too.
    EXPECT_EQ(EnvironmentMode("10.2.0.1.0", true, switches), OCI_OBJECT | OCI_THREADED | OCI_NO_MUTEX);
    EXPECT_EQ(EnvironmentMode("8.0.5.0.0", false, switches), OCI_OBJECT | OCI_THREADED);
    EXPECT_EQ(EnvironmentMode("8.0.4.0.0", false, switches), OCI_OBJECT);
    switches.SharedMode = switches.EventsMode = true;
    EXPECT_EQ(EnvironmentMode("8.1.4.0.0", true, switches), OCI_OBJECT | OCI_THREADED | OCI_SHARED | OCI_EVENTS | OCI_NO_MUTEX);
    EXPECT_EQ(EnvironmentMode("8.1.3.0.0", false, switches), OCI_OBJECT | OCI_THREADED);
    EXPECT_LT(CompareVersionText("9.2", "10.1"), 0);
    EXPECT_EQ(CompareVersionText("8.1.4", "8.1.4.0.0"), 0);
}

// Scripted error records for GetOraError, through the entry-point table.
struct TScriptedError {
    sword result;
    sb4 code;
    const char* text;
    bool writesCode;
};
TScriptedError scripted;

sword OCI_CALL ScriptedErrorGet(dvoid*, ub4, OraText*, sb4* code, OraText* buffer, ub4 size, ub4) {
    if (scripted.writesCode) *code = scripted.code;
    std::strncpy(reinterpret_cast<char*>(buffer), scripted.text, size);
    return scripted.result;
}

class OraErrorTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedEntry_ = Oci.OCIErrorGet;
        savedInterface_ = OciClient().CallInterface;
        Oci.OCIErrorGet = ScriptedErrorGet;
        OciClient().CallInterface = 2;
    }
    void TearDown() override {
        Oci.OCIErrorGet = savedEntry_;
        OciClient().CallInterface = savedInterface_;
    }

private:
    OCIErrorGetProc savedEntry_ = nullptr;
    uint8_t savedInterface_ = 0;
};

TEST_F(OraErrorTextTest, StatusTable) {
    const struct {
        sword status;
        TScriptedError record;
        int32_t code;
        const char* text;
    } cases[] = {
        {1, {0, 24344, "ORA-24344: success with compilation error\n", true}, 24344, "ORA-24344: success with compilation error\n"},
        {-1, {0, 1017, "", true}, 1017, "ORA-01017"},
        {-1, {-1, 3, "ORA-01403: no data found", true}, 1403, "ORA-01403: no data found"},
        {-1, {-1, 3, "ORA-xx: odd", true}, 3, "ORA-xx: odd"},
        {-1, {1, 3, "whatever", false}, 1, "OCI_SUCCESS_WITH_INFO"},
        {100, {100, 0, "", false}, 100, "OCI_NO_DATA"},
        {-1, {-2, 0, "kept", false}, 1, "kept"},
        {-2, {}, 2, "OCI_INVALID_HANDLE"},
        {99, {}, 99, "OCI_NEED_DATA"},
        {5, {}, 5, "Unknown error: ORA-5"},
    };
    for (const auto& c : cases) {
        scripted = c.record;
        std::string text = "before";
        EXPECT_EQ(GetOraError(c.status, text), c.code) << c.status << " " << c.record.text;
        EXPECT_EQ(text, c.text) << c.status;
    }
    std::string untouched = "before";
    EXPECT_EQ(GetOraError(0, untouched), 0);
    EXPECT_EQ(untouched, "before");
}

TEST_F(OraErrorTextTest, OraCheckRaisesTrimmedTextsExceptForWarnings) {
    scripted = {0, 1017, "ORA-01017: invalid username/password; logon denied  \n", true};
    EXPECT_NO_THROW(OraCheck(1));
    EXPECT_NO_THROW(CheckStatus(0));
    EXPECT_NO_THROW(OraCheck(0));
    try {
        CheckStatus(-1);
        ADD_FAILURE() << "status -1 raises";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), 1017);
        EXPECT_EQ(e.Message(), "ORA-01017: invalid username/password; logon denied");
    }
}

TEST_F(OraErrorTextTest, UnterminatedClientTextStaysInsideTheBuffer) {
    static char longText[600];
    std::memset(longText, 'x', sizeof longText - 1);
    scripted = {0, 600, longText, true};
    std::string text;
    EXPECT_EQ(GetOraError(-1, text), 600);
    EXPECT_EQ(text.size(), 512u);
}

}  // namespace
}  // namespace oracle
