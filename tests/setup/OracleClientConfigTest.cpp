// The Oracle client configuration: the home in use, the tnsnames.ora path and its aliases.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "SetrixLibrary.h"
#include "platform/Registry.h"

using platform::TRegistry;

namespace {

using TextOf0 = const char*();
using TextOf1 = const char*(const char*);

const char* const kOracle = "\\SOFTWARE\\ORACLE";

class Hklm : public TRegistry {
public:
    Hklm() { SetRootKey(HKEY_LOCAL_MACHINE); }
};

void PutString(const std::string& key, const char* name, const std::string& value) {
    Hklm reg;
    ASSERT_TRUE(reg.EnterKey(key, true));
    reg.PutString(name, value);
}

std::string Environment(const char* name) {
    char value[32768] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length ? std::string(value, length) : std::string();
}

// Sets an environment variable for the test's lifetime ("" removes it).
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name), saved_(Environment(name)) {
        SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
    }
    ~ScopedEnvironment() { SetEnvironmentVariableA(name_, saved_.empty() ? nullptr : saved_.c_str()); }

private:
    const char* name_;
    std::string saved_;
};

// Three installed homes, numbered out of name order; each home's own TNS_ADMIN tells which
// home was chosen.
class OracleHomes : public ::testing::Test {
protected:
    void SetUp() override {
        Clean();
        PutString(std::string(kOracle) + "\\ALL_HOMES", "HOME_COUNTER", "3");
        AddHome(0, "OraHomeB", "B");
        AddHome(1, "OraHomeC", "C");
        AddHome(2, "OraHomeA", "A");
        PutString(kOracle, "TNS_ADMIN", root + "common");
    }
    void TearDown() override {
        Clean();
        RemoveTree(root);
    }
    static void Clean() {
        Hklm reg;
        reg.RemoveKey(kOracle);
    }
    void AddHome(int number, const std::string& name, const std::string& letter) {
        const std::string key = std::string(kOracle) + "\\HOME" + std::to_string(number);
        PutString(key, "ORACLE_HOME_NAME", name);
        PutString(key, "ORACLE_HOME", Home(letter));
        PutString(key, "TNS_ADMIN", root + "tns" + letter);
    }
    std::string Home(const std::string& letter) const { return root + "ora" + letter; }
    std::string TnsOf(const std::string& letter) const { return root + "tns" + letter + "\\tnsnames.ora"; }

    std::string root = TempDirectory();
    ScopedEnvironment noTnsAdmin{"TNS_ADMIN", ""};
};

}  // namespace

TEST_F(OracleHomes, TheHomeWhoseBinComesFirstInPathWinsElseTheLastByName) {
    const std::string systemPath = Environment("PATH");
    struct Case {
        const char* what;
        std::string path;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"C before A", Home("C") + "\\bin;" + Home("A") + "\\BIN;" + systemPath, TnsOf("C")},
        {"A only", systemPath + ";" + Home("a") + "\\bin", TnsOf("A")},
        {"none in PATH", systemPath, TnsOf("C")},
    };
    for (const Case& c : cases) {
        ScopedEnvironment path("PATH", c.path);
        SetrixLibrary dll;
        EXPECT_EQ(dll.Fn<TextOf0>("GetTNSNamesPath")(), c.expected) << c.what;
    }
}

TEST_F(OracleHomes, WithoutUsableHomesTheOracleKeyItselfIsUsed) {
    const std::string common = root + "common\\tnsnames.ora";
    struct Case {
        const char* what;
        std::function<void()> change;
    };
    const std::vector<Case> cases = {
        {"no counter", [] { Hklm reg; reg.RemoveKey(std::string(kOracle) + "\\ALL_HOMES"); }},
        {"counter not a number", [] { PutString(std::string(kOracle) + "\\ALL_HOMES", "HOME_COUNTER", "3x"); }},
        {"chosen home without ORACLE_HOME",
         [] {
             Hklm reg;
             ASSERT_TRUE(reg.EnterKey(std::string(kOracle) + "\\HOME1", false));
             reg.RemoveValue("ORACLE_HOME");
         }},
    };
    for (const Case& c : cases) {
        SetUp();
        c.change();
        SetrixLibrary dll;
        EXPECT_EQ(dll.Fn<TextOf0>("GetTNSNamesPath")(), common) << c.what;
    }
}

TEST_F(OracleHomes, TnsNamesPathFollowsItsSourcesInOrder) {
    const std::string homeKey = std::string(kOracle) + "\\HOME1";  // OraHomeC, last by name
    struct Case {
        const char* what;
        std::function<void()> change;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"home's TNS_ADMIN", [] {}, TnsOf("C")},
        {"Oracle key's TNS_ADMIN",
         [&] {
             Hklm reg;
             ASSERT_TRUE(reg.EnterKey(homeKey, false));
             reg.RemoveValue("TNS_ADMIN");
         },
         root + "common\\tnsnames.ora"},
        {"NET80",
         [&] {
             Hklm reg;
             ASSERT_TRUE(reg.EnterKey(kOracle, false));
             reg.RemoveValue("TNS_ADMIN");
             reg.CloseKey();
             PutString(homeKey, "NET80", root + "net80\\");
         },
         root + "net80\\Admin\\tnsnames.ora"},
        {"ORACLE_HOME",
         [&] {
             Hklm reg;
             ASSERT_TRUE(reg.EnterKey(homeKey, false));
             reg.RemoveValue("NET80");
         },
         Home("C") + "\\Network\\Admin\\tnsnames.ora"},
    };
    for (const Case& c : cases) {
        c.change();
        SetrixLibrary dll;
        EXPECT_EQ(dll.Fn<TextOf0>("GetTNSNamesPath")(), c.expected) << c.what;
    }
    // Registry values of 1,024 characters or more read as missing.
    PutString(homeKey, "TNS_ADMIN", std::string(1024, 'x'));
    {
        SetrixLibrary dll;
        EXPECT_EQ(dll.Fn<TextOf0>("GetTNSNamesPath")(), Home("C") + "\\Network\\Admin\\tnsnames.ora");
    }
    // The environment wins over every registry value, however long it is.
    const std::string longDir = root + std::string(1500, 'e');
    for (const std::string& env : {root + "env\\", longDir}) {
        ScopedEnvironment tnsAdmin("TNS_ADMIN", env);
        SetrixLibrary dll;
        EXPECT_EQ(dll.Fn<TextOf0>("GetTNSNamesPath")(),
                  env + (env.back() == '\\' ? "" : "\\") + "tnsnames.ora");
    }
}

TEST_F(OracleHomes, TheHostsOracleHomeParameterWinsOverPath) {
    ScopedEnvironment path("PATH", Home("C") + "\\bin;" + Environment("PATH"));
    EXPECT_EQ(HostProcess({"oraclehome=orahomeb", "GetTNSNamesPath"}).Output(), TnsOf("B"));
    EXPECT_EQ(HostProcess({"ORACLEHOME=NoSuchHome", "GetTNSNamesPath"}).Output(), TnsOf("C"));
    EXPECT_EQ(HostProcess({"GetTNSNamesPath"}).Output(), TnsOf("C"));
}

TEST_F(OracleHomes, TheChosenHomeIsKeptForTheLibrarysLife) {
    SetrixLibrary dll;
    auto tnsPath = dll.Fn<TextOf0>("GetTNSNamesPath");
    auto aliases = dll.Fn<TextOf1>("GetOracleAliasList");
    {
        ScopedEnvironment path("PATH", Home("A") + "\\bin;" + Environment("PATH"));
        EXPECT_EQ(tnsPath(), TnsOf("A"));
    }
    // An empty argument makes the path be found again, from the home chosen before.
    ScopedEnvironment path("PATH", Home("B") + "\\bin;" + Environment("PATH"));
    EXPECT_STREQ(aliases(""), "\r\n");
    EXPECT_EQ(tnsPath(), TnsOf("A"));
}

namespace {

class TnsNames : public ::testing::Test {
protected:
    void TearDown() override { RemoveTree(dir); }

    std::string Aliases(const std::string& path) { return aliasList(path.c_str()); }

    SetrixLibrary dll;
    SetrixLibrary::Stdcall<TextOf1>::Type aliasList = dll.Fn<TextOf1>("GetOracleAliasList");
    SetrixLibrary::Stdcall<TextOf0>::Type tnsPath = dll.Fn<TextOf0>("GetTNSNamesPath");
    std::string dir = TempDirectory();
    ScopedEnvironment noTnsAdmin{"TNS_ADMIN", ""};
};

// Entries over several lines, comments, nested parentheses, includes on the same and on the
// next line, and an include that leads back to the first file.
void WriteFixture(const std::string& dir, const std::string& domain) {
    WriteFileBytes(dir + "sqlnet.ora", "# client settings\r\nSQLNET.AUTHENTICATION_SERVICES = (NTS)\r\n"
                                       " Names.Default_Domain = " + domain + "\r\n");
    WriteFileBytes(dir + "tnsnames.ora",
                   "# COMMENTED = (DESCRIPTION = (ADDRESS = (HOST = x)))\r\n"
                   "SALES, SALES_ALT =\r\n"
                   "  (DESCRIPTION =\r\n"
                   "    (ADDRESS_LIST =\r\n"
                   "      (ADDRESS = (PROTOCOL = TCP)(HOST = INNER)(PORT = 1521))\r\n"
                   "    )\r\n"
                   "    (CONNECT_DATA = (SERVICE_NAME = INNER_SERVICE))\r\n"
                   "  )\r\n"
                   "\r\n"
                   "HR.WORLD = (DESCRIPTION = (ADDRESS = (HOST = h)))\r\n"
                   "  MIXED = (DESCRIPTION = (A = 1)) # not a comment\r\n"
                   "OLD.WORLD, NEW.WORLD = (DESCRIPTION = (A = 2))\r\n"
                   "sales = (DESCRIPTION = (A = 3))\r\n"
                   "IFILE = " + dir + "extra.ora\r\n"
                   "IFILE =\r\n"
                   "   " + dir + "nested\\second.ora\r\n");
    WriteFileBytes(dir + "extra.ora", "EXTRA = (DESCRIPTION = (A = 4))\n");
    CreateDirectoryA((dir + "nested").c_str(), nullptr);
    WriteFileBytes(dir + "nested\\second.ora", "SECOND=(DESCRIPTION=(A=5))\nifile=" + dir + "tnsnames.ora\n");
}

}  // namespace

TEST_F(TnsNames, AliasesOfTheFileAndItsIncludesSortedWithoutDuplicates) {
    WriteFixture(dir, "example.com");
    EXPECT_EQ(Aliases(dir + "tnsnames.ora"),
              "EXTRA\r\nHR.WORLD\r\nMIXED\r\nNEW.WORLD\r\nOLD.WORLD\r\nSALES\r\nSALES_ALT\r\nSECOND\r\n");
    EXPECT_EQ(tnsPath(), dir + "tnsnames.ora");
}

TEST_F(TnsNames, TheWorldDomainIsLeftOffTheLastName) {
    WriteFixture(dir, "world");
    EXPECT_EQ(Aliases(dir + "tnsnames.ora"),
              "EXTRA\r\nHR\r\nMIXED\r\nNEW\r\nOLD.WORLD\r\nSALES\r\nSALES_ALT\r\nSECOND\r\n");
}

TEST_F(TnsNames, TheReturnedPathCanBePassedBack) {
    WriteFixture(dir, "example.com");
    Aliases(dir + "tnsnames.ora");
    const char* cached = tnsPath();
    EXPECT_EQ(std::string(aliasList(cached)).substr(0, 7), "EXTRA\r\n");
    EXPECT_EQ(tnsPath(), dir + "tnsnames.ora");
}

TEST_F(TnsNames, BadInputGivesAnEmptyOrPartialList) {
    struct Case {
        const char* what;
        std::string text;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"empty file", "", "\r\n"},
        {"unclosed parenthesis", "FIRST = (DESCRIPTION = (A = 1)\r\nLOST = (x)\r\n", "FIRST\r\n"},
        {"stray closing parenthesis", "FIRST = (x))\r\nNEXT = (DESCRIPTION = (INSIDE = 1))\r\n",
         "FIRST\r\nNEXT\r\n"},
        {"include of a missing file", "IFILE = " + dir + "missing.ora\r\nKEPT = (x)\r\n", "KEPT\r\n"},
        {"include of itself", "IFILE = " + dir + "bad.ora\r\nKEPT = (x)\r\n", "KEPT\r\n"},
        {"control characters and blanks", "\x01\x02 \t\r\n  , = (x)\r\n\"A B\" = (y)\r\n", "A B\r\n"},
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir + "bad.ora", c.text);
        EXPECT_EQ(Aliases(dir + "bad.ora"), c.expected) << c.what;
    }
    EXPECT_EQ(Aliases(dir + "missing.ora"), "\r\n");
    EXPECT_EQ(Aliases(dir + std::string(400, 'x') + "\\tnsnames.ora"), "\r\n");
}
