// The Oracle exports through the real boundary, against the stand-in server: the stand-in
// client is configured as the machine's Oracle client and each test loads setrix.dll anew,
// so every test starts with the client unloaded.
#include <gtest/gtest.h>

#include <string>

#include "standins/oracle/client/StandinControl.h"
#include "tests/oracle/oci/OciFixtures.h"
#include "tests/setup/SetrixLibrary.h"

namespace {

using oracle::testing::OracleRegistryTest;
using oracle::testing::ProgramFolder;

const char* const kServer = "SETRIX_TEST";

class OracleExports : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
    }

    int ExecSQL(const char* user, const char* password, const char* server, const std::string& sql) {
        return setrix_.Fn<int(const char*, const char*, const char*, const char*)>("ExecSQL")(user, password, server,
                                                                                           sql.c_str());
    }
    int ExecAsScott(const std::string& sql) { return ExecSQL("scott", "tiger", kServer, sql); }
    int CheckOraConn(const char* user, const char* password, const char* server) {
        return setrix_.Fn<int(const char*, const char*, const char*)>("CheckOraConn")(user, password, server);
    }
    std::string CheckOraConnStr(const char* user, const char* password, const char* server) {
        return setrix_.Fn<const char*(const char*, const char*, const char*)>("CheckOraConnStr")(user, password,
                                                                                                server);
    }
    std::string TextExport(const char* name, const char* user, const char* password, const char* server,
                           const std::string& fourth) {
        return setrix_.Fn<const char*(const char*, const char*, const char*, const char*)>(name)(user, password, server,
                                                                                              fourth.c_str());
    }
    std::string GetSQLResult(const std::string& sql, const char* password = "tiger", const char* server = kServer) {
        return TextExport("GetSQLResult", "scott", password, server, sql);
    }
    std::string CheckDBTableExists(const std::string& table, const char* password = "tiger",
                                   const char* server = kServer) {
        return TextExport("CheckDBTableExists", "scott", password, server, table);
    }
    std::string GetOrvelDBVersion(const char* user, const char* password, const char* server = kServer) {
        return setrix_.Fn<const char*(const char*, const char*, const char*)>("GetOrvelDBVersion")(user, password,
                                                                                                  server);
    }
    // A log-on of its own for the test, so that server hooks fire for this test only.
    void CreateUser(const std::string& name, const std::string& password) {
        ExecSQL("SYSTEM", "MANAGER", kServer, "DROP USER " + name);
        ASSERT_EQ(ExecSQL("SYSTEM", "MANAGER", kServer, "CREATE USER " + name + " IDENTIFIED BY " + password), 1);
    }
    // Whether a new session sees the row: the block fails when the query finds none.
    bool RowVisible(const std::string& table, int id) {
        return ExecAsScott("DECLARE n NUMBER; BEGIN SELECT ID INTO n FROM " + table + " WHERE ID = " +
                           std::to_string(id) + "; END;") == 1;
    }

    SetrixLibrary setrix_;
};

TEST_F(OracleExports, ExecSqlCommitsEachStatementAndKeepsNothingOfAFailingOne) {
    ExecAsScott("DROP TABLE STX_EXEC");
    ASSERT_EQ(ExecAsScott("CREATE TABLE STX_EXEC (ID NUMBER(10), NAME VARCHAR2(30))"), 1);
    EXPECT_EQ(ExecAsScott("INSERT INTO STX_EXEC (ID, NAME) VALUES (1, 'first')"), 1);
    EXPECT_TRUE(RowVisible("STX_EXEC", 1));
    EXPECT_EQ(ExecAsScott("INSERT INTO STX_EXEC (ID, NAME)\r\nVALUES (3, 'over two lines')"), 1);
    EXPECT_TRUE(RowVisible("STX_EXEC", 3));
    // The block's first insert succeeds, its second fails: nothing of it may stay.
    EXPECT_EQ(ExecAsScott("BEGIN INSERT INTO STX_EXEC VALUES (2, 'second'); INSERT INTO STX_NO_SUCH_TABLE VALUES (1); END;"),
              -2);
    EXPECT_FALSE(RowVisible("STX_EXEC", 2));
    EXPECT_EQ(ExecAsScott("UPDATE STX_EXEC SET NAME = 'way too long for the thirty characters'"), -2);
    EXPECT_EQ(ExecAsScott("this is no statement"), -2);
    EXPECT_EQ(ExecAsScott("DROP TABLE STX_EXEC"), 1);
}

// A statement text the tokenizer cannot read (a control character outside quotes and
// comments) is a failed statement, never the end of the host.
TEST_F(OracleExports, StatementsThatDoNotParseFailWithoutEndingTheHost) {
    for (const std::string& text : {std::string("\r\n\t\x01\x1b\x7f"), std::string("SELECT 1 FROM DUAL \x01"),
                                    std::string("\x1f"), std::string("BEGIN NULL; \x08 END;")}) {
        SCOPED_TRACE(::testing::PrintToString(text));
        EXPECT_EQ(ExecAsScott(text), -2);
        setrix_.Fn<const char*(const char*, const char*)>("AddToList")("", "stale");
        EXPECT_EQ(GetSQLResult(text), "");
    }
    // Inside quotes and comments the same characters are text.
    EXPECT_EQ(GetSQLResult("SELECT 'a\x01' /* \x1b */ FROM DUAL"), "a\x01");
    EXPECT_EQ(ExecAsScott("BEGIN NULL; END;"), 1);
}

TEST_F(OracleExports, ExecSqlReportsAFailingCommit) {
    CreateUser("STX_COMMIT", "SECRET");
    orastandin::InstallServerHook(kServer, "commit:1:fail:3113@STX_COMMIT");
    EXPECT_EQ(ExecSQL("STX_COMMIT", "SECRET", kServer, "BEGIN NULL; END;"), -2);
}

// The value was read but the commit after it failed: the caller hears nothing, neither the
// value nor what an earlier call left in the result.
TEST_F(OracleExports, GetSqlResultWhoseCommitFailsAnswersNothing) {
    CreateUser("STX_RESULT_COMMIT", "SECRET");
    const auto query = [&] {
        setrix_.Fn<const char*(const char*, const char*)>("AddToList")("", "stale");
        return TextExport("GetSQLResult", "STX_RESULT_COMMIT", "SECRET", kServer, "SELECT 'read' FROM DUAL");
    };
    ASSERT_EQ(query(), "read");
    for (const char* commit : {"commit:1:fail:2091", "commit:1:drop"}) {
        SCOPED_TRACE(commit);
        orastandin::InstallServerHook(kServer, std::string(commit) + "@STX_RESULT_COMMIT");
        EXPECT_EQ(query(), "");
    }
}

TEST_F(OracleExports, LogOnFailuresByExport) {
    const struct {
        const char* user;
        const char* password;
        const char* server;
        int check;
        int exec;
        const char* message;  // CheckOraConnStr
    } cases[] = {
        {"scott", "tiger", kServer, 1, 1, ""},
        // The client's whole text: nothing of it is cut off.
        {"scott", "wrong", kServer, 2, -1, "ORA-01017: invalid username/password; logon denied"},
        {"scott", "tiger", "STX_NO_SUCH_ALIAS", 3, -1,
         "ORA-12154: TNS:could not resolve the connect identifier specified"},
        {"scott", "tiger", "SETRIX_NOLISTENER", 10, -1, "ORA-12541: TNS:no listener"},
        // SYSTEM logs on as SYSDBA in the checks, which this server refuses it; ExecSQL
        // logs it on normally, which this server (as a real one) refuses SYS.
        {"System", "MANAGER", kServer, 10, 1, "ORA-01031: insufficient privileges"},
        {"sys", "change_on_install", kServer, 1, -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.user) + "/" + c.password + "@" + c.server);
        EXPECT_EQ(CheckOraConn(c.user, c.password, c.server), c.check);
        EXPECT_EQ(CheckOraConnStr(c.user, c.password, c.server), c.message);
        EXPECT_EQ(ExecSQL(c.user, c.password, c.server, "BEGIN NULL; END;"), c.exec);
    }
}

TEST_F(OracleExports, OnlyTheSystemAccountsLogOnAsSysdba) {
    CreateUser("SYSTEMX", "SECRET");
    // This server refuses SYSDBA to SYSTEM and to every account but SYS, and SYS any other
    // log-on: SYSTEM's refusal and SYS's success show the mode was asked for.
    const struct {
        const char* user;
        const char* password;
        int check;
    } cases[] = {
        {"systemx", "secret", 1},
        {"SYSTEM", "MANAGER", 10},
        {" system ", "manager", 10},  // blanks around the name and its case do not matter
        {" sys ", "change_on_install", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckOraConn(c.user, c.password, kServer), c.check) << "[" << c.user << "]";
    // The version query logs on the same way.
    EXPECT_EQ(GetOrvelDBVersion(" system ", "manager"), "!");
}

TEST_F(OracleExports, AConnectThatLeavesNoConnectionIsNoSuccess) {
    // The link drops at the session's settings query after the log-on: that query's failure
    // is not the connect's, which ends without one, yet the session is gone.
    CreateUser("STX_DROPPED", "DROPPED");
    orastandin::InstallServerHook(kServer, "execute:2:drop@STX_DROPPED");
    EXPECT_EQ(CheckOraConn("STX_DROPPED", "DROPPED", kServer), 10);
    orastandin::InstallServerHook(kServer, "execute:2:drop@STX_DROPPED");
    EXPECT_EQ(CheckOraConnStr("STX_DROPPED", "DROPPED", kServer), "!");
    // Without the drop the same log-on works.
    EXPECT_EQ(CheckOraConn("STX_DROPPED", "DROPPED", kServer), 1);
    EXPECT_EQ(CheckOraConnStr("STX_DROPPED", "DROPPED", kServer), "");
}

TEST_F(OracleExports, ASuccessfulCheckLeavesTheResultBufferAlone) {
    const auto addToList = setrix_.Fn<const char*(const char*, const char*)>("AddToList");
    const char* list = addToList("", "kept");
    const char* result = setrix_.Fn<const char*(const char*, const char*, const char*)>("CheckOraConnStr")(
        "scott", "tiger", kServer);
    EXPECT_STREQ(result, "");
    EXPECT_STREQ(list, "kept\r\n");
}

TEST_F(OracleExports, TheClientLoadedByALogOnIsFreedWhenTheLibraryIsUnloaded) {
    const std::string client = ProgramFolder() + "\\oci.dll";
    ASSERT_EQ(GetModuleHandleA(client.c_str()), nullptr);
    EXPECT_EQ(CheckOraConn("scott", "tiger", kServer), 1);
    EXPECT_NE(GetModuleHandleA(client.c_str()), nullptr);
    setrix_.Unload();
    EXPECT_EQ(GetModuleHandleA(client.c_str()), nullptr);
    // Loaded again, the library starts over and finds the client anew.
    SetrixLibrary again;
    EXPECT_EQ(again.Fn<int(const char*, const char*, const char*)>("CheckOraConn")("scott", "tiger", kServer), 1);
}

TEST_F(OracleExports, AServerThatDoesNotAnswerInTimeIsUnreachable) {
    CreateUser("STX_LATE", "LATE");
    orastandin::InstallServerHook(kServer, "logon:1:delay:2500@STX_LATE");
    EXPECT_EQ(CheckOraConn("STX_LATE", "LATE", "SETRIX_QUICK"), 3);
    orastandin::InstallServerHook(kServer, "logon:1:delay:2500@STX_LATE");
    EXPECT_EQ(CheckOraConnStr("STX_LATE", "LATE", "SETRIX_QUICK"), "ORA-12535: TNS:operation timed out");
}

TEST_F(OracleExports, GetSqlResultAnswersTheFirstFieldOfTheFirstRow) {
    ExecAsScott("DROP TABLE STX_RESULT");
    ASSERT_EQ(ExecAsScott("CREATE TABLE STX_RESULT (ID NUMBER, NAME VARCHAR2(30), NOTE VARCHAR2(30))"), 1);
    ASSERT_EQ(ExecAsScott("BEGIN INSERT INTO STX_RESULT VALUES (2, 'second', 'b'); "
                          "INSERT INTO STX_RESULT VALUES (1, 'first', NULL); END;"),
              1);
    const struct {
        std::string sql;
        const char* password;
        const char* server;
        const char* result;
    } cases[] = {
        {"SELECT NAME, ID FROM STX_RESULT ORDER BY ID", "tiger", kServer, "first"},
        {"SELECT ID, NAME FROM STX_RESULT ORDER BY ID DESC", "tiger", kServer, "2"},
        {"SELECT COUNT(*) FROM STX_RESULT", "tiger", kServer, "2"},
        // No row, a null field, a failing query and a failing log-on all answer nothing.
        {"SELECT NAME FROM STX_RESULT WHERE ID = 3", "tiger", kServer, ""},
        {"SELECT NOTE FROM STX_RESULT WHERE ID = 1", "tiger", kServer, ""},
        {"SELECT NAME FROM STX_NO_SUCH_TABLE", "tiger", kServer, ""},
        {"SELECT NAME FROM STX_RESULT", "wrong", kServer, ""},
        {"SELECT NAME FROM STX_RESULT", "tiger", "STX_NO_SUCH_ALIAS", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql + " " + c.password + "@" + c.server);
        // A result left from an earlier call must not show through.
        setrix_.Fn<const char*(const char*, const char*)>("AddToList")("", "stale");
        EXPECT_EQ(GetSQLResult(c.sql, c.password, c.server), c.result);
    }
    EXPECT_EQ(ExecAsScott("DROP TABLE STX_RESULT"), 1);
}

TEST_F(OracleExports, CheckDbTableExistsCountsTablesOfTheName) {
    ExecAsScott("DROP TABLE STX_EXISTS");
    ASSERT_EQ(ExecAsScott("CREATE TABLE STX_EXISTS (ID NUMBER)"), 1);
    const struct {
        std::string table;
        const char* password;
        const char* server;
        const char* result;
    } cases[] = {
        {"STX_EXISTS", "tiger", kServer, "1"},
        {"stx_Exists", "tiger", kServer, "1"},
        {"STX_NO_SUCH_TABLE", "tiger", kServer, "0"},
        // A quote in the name is part of the name, not of the statement.
        {"STX_EXISTS' OR 'A'='A", "tiger", kServer, "0"},
        {"O'BRIEN", "tiger", kServer, "0"},
        {"STX_EXISTS", "wrong", kServer, "!2"},
        {"STX_EXISTS", "tiger", "STX_NO_SUCH_ALIAS", "!3"},
        {"STX_EXISTS", "tiger", "SETRIX_NOLISTENER", "!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table + " " + c.password + "@" + c.server);
        EXPECT_EQ(CheckDBTableExists(c.table, c.password, c.server), c.result);
    }
    EXPECT_EQ(ExecAsScott("DROP TABLE STX_EXISTS"), 1);
}

TEST_F(OracleExports, GetOrvelDbVersionReadsTheConfigurationTableOfTheUser) {
    ExecAsScott("DROP TABLE ORVEL_CONFIGURATION");
    // No table, then a table without the version column, then one without a row.
    EXPECT_EQ(GetOrvelDBVersion("scott", "tiger"), "?4");
    ASSERT_EQ(ExecAsScott("CREATE TABLE ORVEL_CONFIGURATION (ORVEL_NUM NUMBER)"), 1);
    EXPECT_EQ(GetOrvelDBVersion("scott", "tiger"), "?5");
    ASSERT_EQ(ExecAsScott("DROP TABLE ORVEL_CONFIGURATION"), 1);
    ASSERT_EQ(ExecAsScott("CREATE TABLE ORVEL_CONFIGURATION (DB_VERSION VARCHAR2(20))"), 1);
    EXPECT_EQ(GetOrvelDBVersion("scott", "tiger"), "");
    ASSERT_EQ(ExecAsScott("INSERT INTO ORVEL_CONFIGURATION VALUES ('5.12.0.3')"), 1);

    const struct {
        const char* user;
        const char* password;
        const char* server;
        const char* result;
    } cases[] = {
        {"scott", "tiger", kServer, "5.12.0.3"},
        // SYS logs on as SYSDBA; SYSTEM would too, which this server refuses it.
        {"sys", "change_on_install", kServer, "5.12.0.3"},
        {"SYSTEM", "MANAGER", kServer, "!"},
        {"scott", "wrong", kServer, "!2"},
        {"scott", "tiger", "STX_NO_SUCH_ALIAS", "!3"},
        {"scott", "tiger", "SETRIX_NOLISTENER", "!"},
        // The user name is pasted into the query as its schema: only a plain name may be,
        // whether or not it could log on.
        {"scott x", "tiger", kServer, "!"},
        {"scott.ORVEL_CONFIGURATION --", "tiger", kServer, "!"},
        {"", "tiger", kServer, "!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.user) + "/" + c.password + "@" + c.server);
        EXPECT_EQ(GetOrvelDBVersion(c.user, c.password, c.server), c.result);
    }
    EXPECT_EQ(ExecAsScott("DROP TABLE ORVEL_CONFIGURATION"), 1);
}

}  // namespace
