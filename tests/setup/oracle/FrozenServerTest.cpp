// The Oracle exports against a server that stops answering once a user has logged on: with
// the client's receive timeout set (sqlnet.ora), each export answers its failure within the
// bound instead of holding the installer, and leaves no dictionary files behind. The server
// holds every later call of that user until the test ends the user's sessions.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "standins/oracle/client/StandinControl.h"
#include "tests/oracle/oci/OciFixtures.h"
#include "tests/setup/ProductFiles.h"
#include "tests/setup/SetrixLibrary.h"

namespace {

using oracle::testing::OracleRegistryTest;
using oracle::testing::ProgramFolder;
using oracle::testing::StandinFolder;

const char* const kServer = "SETRIX_TEST";
const char* const kPassword = "FROZEN";

using Text3 = const char*(const char*, const char*, const char*);
using Text4 = const char*(const char*, const char*, const char*, const char*);
using Int3 = int(const char*, const char*, const char*);
using Int4 = int(const char*, const char*, const char*, const char*);
using Int5 = int(const char*, const char*, const char*, const char*, const char*);

class FrozenServer : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
        CreateDirectoryA(dataDir.c_str(), nullptr);
        productfiles::Write(dataDir);
    }
    void TearDown() override {
        SetEnvironmentVariableA("TNS_ADMIN", StandinFolder().c_str());
        for (const std::string& user : frozenUsers_) EndSessions(user);
        RemoveTree(root);
        RemoveTree(tnsAdmin);
        OracleRegistryTest::TearDown();
    }

    // A user of the test's own whose calls of these operations the server holds from now on.
    std::string FrozenUser(const std::string& name, const std::vector<const char*>& operations) {
        setrix_.Fn<Int4>("ExecSQL")("SYSTEM", "MANAGER", kServer,
                                    ("CREATE USER " + name + " IDENTIFIED BY " + kPassword).c_str());
        for (const char* operation : operations)
            orastandin::InstallServerHook(kServer, std::string(operation) + ":0:hold@" + name);
        frozenUsers_.push_back(name);
        return name;
    }
    // Held calls end with the sessions, which roll back: a held session's uncommitted rows
    // would make every other writer of the server wait.
    static void EndSessions(const std::string& user) {
        orastandin::InstallServerHook(kServer, "session:0:disconnect@" + user);
    }
    // The client's configuration from here on: the fixture's aliases and a receive timeout.
    void SetReceiveTimeout(const char* value) {
        WriteFileBytes(tnsAdmin + "tnsnames.ora", ReadFileBytes(StandinFolder() + "\\tnsnames.ora"));
        WriteFileBytes(tnsAdmin + "sqlnet.ora", std::string("SQLNET.RECV_TIMEOUT = ") + value + "\r\n");
        SetEnvironmentVariableA("TNS_ADMIN", tnsAdmin.substr(0, tnsAdmin.size() - 1).c_str());
    }

    struct Case {
        const char* exportName;
        std::function<std::string(const char* user)> call;
        std::string result;
    };
    std::string Text(const char* name, const char* user) {
        return setrix_.Fn<Text3>(name)(user, kPassword, kServer);
    }
    std::string Text(const char* name, const char* user, const std::string& fourth) {
        return setrix_.Fn<Text4>(name)(user, kPassword, kServer, fourth.c_str());
    }
    std::string Int(const char* name, const char* user, const std::string& fourth) {
        return std::to_string(setrix_.Fn<Int4>(name)(user, kPassword, kServer, fourth.c_str()));
    }
    std::string MoveOrvelConfig(const char* user) {
        return std::to_string(setrix_.Fn<Int4>("MoveOrvelConfig")(dataDir.c_str(), user, kPassword, kServer));
    }
    std::string MoveJournal(const char* user) {
        return std::to_string(
            setrix_.Fn<Int5>("MoveJourSh2Oracle")(dataDir.c_str(), journal.c_str(), user, kPassword, kServer));
    }
    void RunCases(const std::string& user, const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.exportName);
            EXPECT_EQ(c.call(user.c_str()), c.result);
            EndSessions(user);
            EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
        }
    }

    SetrixLibrary setrix_;
    std::string root = TempDirectory();
    std::string dataDir = root + "Data\\";
    std::string tnsAdmin = TempDirectory();
    std::string journal = "STX_FROZEN_JOUR" + oracle::testing::UniqueNameSuffix();
    std::vector<std::string> frozenUsers_;
};

}  // namespace

// Nothing after the log-on is answered: the session's own first query already waits. The
// session reads its date settings without letting a failure out, so the connect ends as if
// it went through and leaves the session disconnected (the client answers every later call
// "not connected"); the exports answer as after a connect that leaves no connection.
TEST_F(FrozenServer, EachOracleExportAnswersItsFailureWithinTheClientsTimeout) {
    const std::string user =
        FrozenUser("STX_FROZEN", {"execute", "commit", "rollback", "logoff", "version", "lobstore"});
    WriteFileBytes(root + "orvel_data.ini", "[ORVEL_DATA]\r\nEXCHANGE_DIRECTORY=C:\\EX\r\n");
    const std::string freshIniDir = root + "Ini\\";
    CreateDirectoryA(freshIniDir.c_str(), nullptr);
    SetReceiveTimeout("500 ms");
    const std::vector<Case> cases = {
        {"CheckOraConn",
         [&](const char* u) { return std::to_string(setrix_.Fn<Int3>("CheckOraConn")(u, kPassword, kServer)); }, "10"},
        {"CheckOraConnStr", [&](const char* u) { return Text("CheckOraConnStr", u); }, "!"},
        {"GetOrvelDBVersion", [&](const char* u) { return Text("GetOrvelDBVersion", u); }, "!"},
        {"CheckDBTableExists", [&](const char* u) { return Text("CheckDBTableExists", u, "ORVEL_CONFIGURATION"); },
         "!"},
        {"ExecSQL", [&](const char* u) { return Int("ExecSQL", u, "BEGIN NULL; END;"); }, "-2"},
        {"GetSQLResult", [&](const char* u) { return Text("GetSQLResult", u, "SELECT 1 FROM DUAL"); }, ""},
        {"GetOrvelOracleConfig", [&](const char* u) { return Int("GetOrvelOracleConfig", u, freshIniDir); }, "0"},
        {"SetOrvelOracleParams", [&](const char* u) { return Int("SetOrvelOracleParams", u, root); }, "0"},
        {"MoveOrvelConfig", [&](const char* u) { return MoveOrvelConfig(u); }, "0"},
        {"MoveJourSh2Oracle", [&](const char* u) { return MoveJournal(u); }, "0"},
    };
    RunCases(user, cases);
    // The INI file is written only from what the database answered.
    EXPECT_FALSE(productfiles::Exists(freshIniDir + "orvel_data.ini"));
}

// The work went through; the commit is never answered.
TEST_F(FrozenServer, WorkWhoseCommitIsNeverAnsweredFailsWithinTheClientsTimeout) {
    const std::string user = FrozenUser("STX_FROZEN_COMMIT", {"commit", "rollback", "logoff"});
    SetReceiveTimeout("500 ms");
    const std::vector<Case> cases = {
        {"ExecSQL", [&](const char* u) { return Int("ExecSQL", u, "BEGIN NULL; END;"); }, "-2"},
        {"GetSQLResult", [&](const char* u) { return Text("GetSQLResult", u, "SELECT 1 FROM DUAL"); }, ""},
        {"MoveJourSh2Oracle", [&](const char* u) { return MoveJournal(u); }, "0"},
    };
    RunCases(user, cases);
    // None of the journal's rows was committed (the move takes its table away where it can).
    SetEnvironmentVariableA("TNS_ADMIN", StandinFolder().c_str());
    auto query = [&](const std::string& sql) {
        return std::string(setrix_.Fn<Text4>("GetSQLResult")("SCOTT", "TIGER", kServer, sql.c_str()));
    };
    if (query("SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = '" + journal + "'") == "1")
        EXPECT_EQ(query("SELECT COUNT(*) FROM " + journal), "0");
}
