#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oracle/core/DASQLMonitor.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraParamDesc.h"
#include "oracle/oci/OraSQL.h"
#include "oracle/oci/OraSession.h"
#include "platform/DateTime.h"
#include "standins/oracle/client/StandinControl.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using platform::AnsiString;
using platform::Variant;
using testing::OracleRegistryTest;
using testing::ProgramFolder;

std::unique_ptr<TOraSession> NewSession() { return platform::NewUnownedComponent<TOraSession>(); }

// ---------------------------------------------------------------- without a server

TEST(OraSessionValues, ConnectStringBothWays) {
    const struct {
        const char* text;
        const char* user;
        const char* password;
        const char* server;
    } cases[] = {
        {"scott/tiger@ORCL", "scott", "tiger", "ORCL"},
        {"scott@ORCL", "scott", "", "ORCL"},
        {"scott/tiger", "scott", "tiger", ""},
        {"scott", "scott", "", ""},
        // A slash after the at-sign is part of the server ("host:port/service").
        {"scott@db:1521/SVC", "scott", "", "db:1521/SVC"},
        {"scott/tiger@db:1521/SVC", "scott", "tiger", "db:1521/SVC"},
    };
    auto session = NewSession();
    for (const auto& c : cases) {
        session->SetConnectString(c.text);
        EXPECT_EQ(session->Username(), c.user) << c.text;
        EXPECT_EQ(session->Password(), c.password) << c.text;
        EXPECT_EQ(session->Server(), c.server) << c.text;
        EXPECT_EQ(session->ConnectString(), c.text);
    }
}

TEST(OraSessionValues, ExtractVersionNumber) {
    const struct {
        const char* banner;
        const char* version;
    } cases[] = {
        {"Oracle9i Enterprise Edition Release 9.2.0.1.0 - Production", "9.2.0.1.0"},
        {"Setrix9 database stand-in Release 10.2.0.1.0 - Production", "10.2.0.1.0"},
        {"Oracle7 Server Release 7.3.4.0.0 - Production", "7.3.4.0.0"},
        {"Release 9.2.0.1.0", ""},  // no blank after the first "."
        {".1 x", ""},
        {"no version", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtractVersionNumber(c.banner), c.version) << c.banner;
}

TEST(OraSessionValues, CharsetIdsFromVersion81On) {
    const struct {
        const char* version;
        bool known;
    } cases[] = {{"8.1.7", true}, {"9.2.0.1.0", true}, {"10.2.0.1.0", true}, {"11.2", true},
                 {"8", false},    {"8.0", false},      {"7.3.4", false},      {"", false}};
    for (const auto& c : cases) EXPECT_EQ(ServerKnowsCharsetIds(c.version), c.known) << c.version;
}

TEST(OraSessionValues, DefaultSessionPassesToTheOldestRemaining) {
    ASSERT_EQ(DefaultSession(), nullptr);
    auto first = NewSession();
    auto second = NewSession();
    EXPECT_EQ(DefaultSession(), first.get());
    ASSERT_EQ(SessionList().size(), 2u);
    EXPECT_EQ(SessionList()[1], second.get());
    first.reset();
    EXPECT_EQ(DefaultSession(), second.get());
    second.reset();
    EXPECT_EQ(DefaultSession(), nullptr);
    EXPECT_TRUE(SessionList().empty());
}

TEST(OraSessionValues, DefaultsAndConnectionProperties) {
    auto session = NewSession();
    EXPECT_TRUE(session->ConnectPrompt());
    EXPECT_TRUE(session->AutoCommit());
    EXPECT_TRUE(session->ThreadSafety());
    EXPECT_EQ(session->Options().CharLength(), 1);
    ASSERT_NE(session->OraConnection(), nullptr);
    const auto statement = session->NewSQLObject();
    ASSERT_NE(dynamic_cast<TOraSQL*>(statement.get()), nullptr);
    EXPECT_EQ(statement->Connection(), session.get());
    session->SetConnectMode(cmSysDBA);
    EXPECT_EQ(session->OraConnection()->ConnectMode(), cmSysDBA);
    session->SetThreadSafety(false);
    EXPECT_FALSE(session->OraConnection()->ThreadSafety());
}

TEST(OraSessionValues, CompileErrorsOnlyForStoredUnits) {
    auto session = NewSession();
    for (const char* text : {"SELECT * FROM DUAL", "CREATE TABLE T (A NUMBER)", "CREATE OR PROCEDURE P", ""})
        EXPECT_EQ(session->GetCompileErrors(text), "") << text;
}

TEST(OraSQLValues, WorksOnTheDefaultSessionWhenItNamesNone) {
    auto statement = platform::NewUnownedComponent<TOraSQL>();
    EXPECT_EQ(statement->CommandConnection(), nullptr);
    auto session = NewSession();
    EXPECT_EQ(statement->CommandConnection(), session.get());
    statement->SetSQLText("UPDATE T SET A = :A WHERE B = :B");
    ASSERT_EQ(statement->Params().Count(), 2);
    EXPECT_EQ(statement->Params().Items(1).Name(), "B");
    // A debug session debugs its own statement.
    session->SetDebug(true);
    EXPECT_TRUE(session->InternalSQL().Debug);
    statement.reset();
}

TEST(OraSQLValues, LobValuesSurviveANewText) {
    auto statement = platform::NewUnownedComponent<TOraSQL>();
    statement->SetSQLText("UPDATE T SET DOC = :DOC");
    TOraParam& doc = statement->ParamByName("DOC");
    doc.SetDataType(platform::ftOraClob);
    doc.SetValue(Variant(AnsiString("a long text")));
    statement->SetSQLText("UPDATE T SET DOC = :DOC WHERE ID = :ID");
    ASSERT_EQ(statement->Params().Count(), 2);
    EXPECT_EQ(statement->ParamByName("DOC").DataType(), platform::ftOraClob);
    EXPECT_EQ(statement->ParamByName("DOC").ValueAsString(), "a long text");
}

// ---------------------------------------------------------------- against the stand-in server

class OraSessionTest : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\" + library_);
    }

    const char* library_ = "oci.dll";

    // The way the installation exports use a session.
    std::unique_ptr<TOraSession> Connect(const char* user = "scott", const char* password = "tiger") {
        auto session = NewSession();
        session->SetConnectPrompt(false);
        session->SetUsername(user);
        session->SetPassword(password);
        session->SetServer("SETRIX_TEST");
        if (AnsiString(user) == "SYS" || AnsiString(user) == "SYSTEM") session->SetConnectMode(cmSysDBA);
        session->Connect();
        return session;
    }

    void Exec(TOraSession& session, const std::string& sql) {
        auto statement = platform::NewUnownedComponent<TOraSQL>();
        statement->SetSession(&session);
        statement->SetSQLText(sql);
        statement->Execute();
    }

    void DropTable(TOraSession& session, const std::string& table) {
        try {
            Exec(session, "DROP TABLE " + table);
        } catch (const EOraError&) {
        }
    }

    int Count(TOraSession& session, const std::string& table) {
        return session.ExecuteStatement("begin SELECT COUNT(*) INTO :Result FROM " + table + "; end;", {}).AsInteger();
    }
};

TEST_F(OraSessionTest, ExecSqlRoadCommitsWhatAnotherSessionSees) {
    auto session = Connect();
    EXPECT_TRUE(session->Connected());
    EXPECT_EQ(session->MaxStringSize(), 4000);
    DropTable(*session, "ORS_ROAD");
    Exec(*session, "CREATE TABLE ORS_ROAD (ID NUMBER(10), NAME VARCHAR2(30))");
    {
        auto statement = platform::NewUnownedComponent<TOraSQL>();
        statement->SetSession(session.get());
        statement->SQL().Add("INSERT INTO ORS_ROAD (ID, NAME)");
        statement->SQL().Add("VALUES (:ID, :NAME)");
        ASSERT_EQ(statement->Params().Count(), 2);
        statement->ParamByName("ID").SetAsInteger(1);
        statement->ParamByName("NAME").SetAsString("first");
        statement->Execute();
        EXPECT_EQ(statement->RowsAffected(), 1);
        EXPECT_FALSE(statement->Prepared());
        // A string parameter without a size binds with the session's largest string.
        EXPECT_EQ(statement->Command()->FindParam("NAME")->GetSize(), 4000);
    }
    session->SetAutoCommit(false);
    Exec(*session, "INSERT INTO ORS_ROAD VALUES (2, 'second')");
    session->Commit();
    auto reader = Connect();
    EXPECT_EQ(Count(*reader, "ORS_ROAD"), 2);
    reader.reset();
    session->Disconnect();
    EXPECT_FALSE(session->Connected());
}

TEST_F(OraSessionTest, DefaultLogOnRunsOnlyTheDateSettingsQuery) {
    auto monitor = platform::NewUnownedComponent<TDASQLMonitor>();
    std::vector<std::string> statements;
    monitor->OnSQL = [&](void*, const AnsiString& text, TDATraceFlag flag) {
        if (flag == tfQPrepare || flag == tfQExecute) statements.push_back(text);
    };
    monitor->SetOptions(moCustom);
    monitor->SetActive(true);
    auto session = Connect();
    ASSERT_FALSE(statements.empty());
    for (const std::string& text : statements)
        EXPECT_EQ(text.rfind("SELECT * FROM nls_session_parameters WHERE parameter = 'NLS_DATE_FORMAT' or "
                             "parameter = 'NLS_DATE_LANGUAGE'ORDER BY parameter",
                             0),
                  0u)
            << text;
    // The server's settings, read in that order, and the format handed to the connection.
    EXPECT_EQ(session->Options().DateFormat(), "DD-MON-RR");
    EXPECT_EQ(session->Options().DateLanguage(), "AMERICAN");
    EXPECT_EQ(session->OraConnection()->DateFormat(), "DD-MON-RR");
    // They belong to that connection.
    session->Disconnect();
    EXPECT_EQ(session->Options().DateFormat(), "");
}

TEST_F(OraSessionTest, LogOnFailuresAreOraErrors) {
    auto session = NewSession();
    session->SetConnectPrompt(false);
    session->SetConnectString("scott/wrong@SETRIX_TEST");
    try {
        session->Connect();
        ADD_FAILURE() << "logged on with a wrong password";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), 1017);
        EXPECT_EQ(std::string(e.what()).rfind("ORA-01017: ", 0), 0u) << e.what();
    }
    EXPECT_FALSE(session->Connected());
}

TEST_F(OraSessionTest, SysdbaAndServerVersion) {
    auto session = Connect("SYS", "change_on_install");
    EXPECT_TRUE(session->Connected());
    EXPECT_EQ(session->GetServerVersion(), "9.2.0.1.0");
    EXPECT_EQ(session->OCIVersion(), 2);
    EXPECT_NE(session->OCIServiceContext(), nullptr);
}

TEST_F(OraSessionTest, ExecuteStatementFillsMissingValuesWithNull) {
    auto session = Connect();
    const Variant joined = session->ExecuteStatement(
        "begin :Result := Nvl(:A, 'none') || '-' || Nvl(:B, 'none'); end;", {Variant(), Variant(AnsiString("x"))});
    EXPECT_EQ(joined.AsString(), "x-none");
    EXPECT_TRUE(session->ExecuteStatement("begin NULL; end;", {}).IsNull());
}

TEST_F(OraSessionTest, DateParametersCarryWholeDays) {
    auto session = Connect();
    const platform::TDateTime noon = platform::EncodeDate(2024, 3, 5) + 0.5;
    auto statement = platform::NewUnownedComponent<TOraSQL>();
    statement->SetSession(session.get());
    statement->SetSQLText("begin :Result := TO_CHAR(:D, 'YYYY-MM-DD HH24:MI:SS'); end;");
    statement->ParamByName("D").SetDataType(platform::ftDate);
    statement->ParamByName("D").TParam::SetValue(Variant::FromDateTime(noon));
    statement->ParamByName("Result").SetDataType(platform::ftString);
    statement->Execute();
    EXPECT_EQ(statement->ParamByName("Result").ValueAsString(), "2024-03-05 00:00:00");
}

TEST_F(OraSessionTest, TransactionsAndSavepoints) {
    auto session = Connect();
    DropTable(*session, "ORS_SAVE");
    Exec(*session, "CREATE TABLE ORS_SAVE (ID NUMBER)");
    session->BeginTransaction();
    try {
        session->BeginTransaction();
        ADD_FAILURE() << "nested transaction";
    } catch (const platform::EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "User transaction is already in progress");
    }
    Exec(*session, "INSERT INTO ORS_SAVE VALUES (1)");
    session->Savepoint("ORS_SP");
    Exec(*session, "INSERT INTO ORS_SAVE VALUES (2)");
    session->RollbackToSavepoint("ORS_SP");
    session->Commit();
    EXPECT_FALSE(session->InTransaction());
    auto reader = Connect();
    EXPECT_EQ(Count(*reader, "ORS_SAVE"), 1);
}

TEST_F(OraSessionTest, SavepointsAreReportedToTheMonitorBeforeTheyRun) {
    auto session = Connect();
    auto monitor = platform::NewUnownedComponent<TDASQLMonitor>();
    std::vector<std::pair<std::string, TDATraceFlag>> lines;
    monitor->OnSQL = [&](void*, const AnsiString& text, TDATraceFlag flag) { lines.emplace_back(text, flag); };
    monitor->SetOptions(moCustom);
    monitor->SetActive(true);
    session->BeginTransaction();
    session->Savepoint("ORS_MON");
    session->RollbackToSavepoint("ORS_MON");
    session->Rollback();
    const std::pair<std::string, TDATraceFlag> expected[] = {
        {"Savepoint ORS_MON: scott@SETRIX_TEST", tfTransact},
        {"Rollback to savepoint ORS_MON: scott@SETRIX_TEST", tfTransact},
    };
    size_t found = 0;
    for (const auto& line : lines) {
        if (found < std::size(expected) && line == expected[found]) ++found;
        // Each notice comes before its statement.
        if (line.first.find("SAVEPOINT ORS_MON") != std::string::npos) {
            const bool rollback = line.first.find("ROLLBACK TO") != std::string::npos;
            EXPECT_EQ(found, rollback ? 2u : 1u) << line.first;
        }
    }
    EXPECT_EQ(found, std::size(expected));
}

TEST_F(OraSessionTest, CharsetOption) {
    auto session = NewSession();
    session->SetConnectPrompt(false);
    session->SetConnectString("scott/tiger@SETRIX_TEST");
    session->Options().SetCharset("CL8MSWIN1251");
    session->Connect();
    EXPECT_EQ(session->OraConnection()->CharsetId(), 171);
    session->Disconnect();
    session->Options().SetCharset("NO_SUCH_SET");
    try {
        session->Connect();
        ADD_FAILURE() << "unknown charset accepted";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Cannot find charset NO_SUCH_SET");
    }
    // A failed connect leaves no server session behind.
    EXPECT_FALSE(session->Connected());
    session->Options().SetCharLength(0);
    session->Options().SetCharset("");
    session->Disconnect();
    session->Connect();
    EXPECT_GE(session->OraConnection()->CharLength(), 1);
}

TEST_F(OraSessionTest, DateFormatOptionAltersTheSession) {
    auto session = Connect();
    session->Options().SetDateFormat("YYYY.MM.DD");
    EXPECT_EQ(session->OraConnection()->DateFormat(), "YYYY.MM.DD");
    const Variant text = session->ExecuteStatement(
        "begin :Result := TO_CHAR(TO_DATE('2024.01.02'), 'DD/MM/YYYY'); end;", {});
    EXPECT_EQ(text.AsString(), "02/01/2024");
}

TEST_F(OraSessionTest, CompilationErrorsBecomeTheMessage) {
    auto session = Connect();
    try {
        Exec(*session, "CREATE OR REPLACE PROCEDURE scott.ORS_BROKEN AS\nBEGIN\n  IF 1 = 1 THEN\n    NULL;\nEND;");
        ADD_FAILURE() << "broken procedure compiled";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), OraSuccessWithCompilationErrors);
        EXPECT_STREQ(e.what(), "5/1     PLS-00103: Encountered the symbol \"END\"\r");
    }
    Exec(*session, "CREATE OR REPLACE PROCEDURE ORS_FINE AS BEGIN NULL; END;");
    EXPECT_EQ(session->GetCompileErrors("create procedure ORS_FINE as begin null; end;"), "No errors");
    // Units are looked up by kind and name, without a schema; bodies by their own kind.
    const struct {
        const char* text;
        const char* type;
        const char* name;
    } cases[] = {
        {"CREATE OR REPLACE PACKAGE BODY scott.Pkg AS END;", "PACKAGE BODY", "PKG"},
        {"CREATE TYPE BODY Shape AS END;", "TYPE BODY", "SHAPE"},
        {"create function f return number", "FUNCTION", "F"},
        // The dictionary keeps a quoted name as written, without the quotes.
        {"CREATE PROCEDURE \"Mixed Case\" AS BEGIN NULL; END;", "PROCEDURE", "Mixed Case"},
        {"CREATE OR REPLACE PACKAGE BODY scott.\"Pkg\" AS END;", "PACKAGE BODY", "Pkg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(session->GetCompileErrors(c.text), "No errors") << c.text;
        EXPECT_EQ(session->InternalSQL().ParamByName("Type").ValueAsString(), c.type) << c.text;
        EXPECT_EQ(session->InternalSQL().ParamByName("Name").ValueAsString(), c.name) << c.text;
    }
}

TEST_F(OraSessionTest, CompileErrorsOfTheSessionsOwnStatement) {
    auto session = Connect();
    try {
        session->ExecuteStatement("CREATE OR REPLACE PROCEDURE ORS_OWN AS\nBEGIN\n  IF 1 = 1 THEN\n    NULL;\nEND;", {});
        ADD_FAILURE() << "broken procedure compiled";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), OraSuccessWithCompilationErrors);
        EXPECT_STREQ(e.what(), "5/1     PLS-00103: Encountered the symbol \"END\"\r");
    }
    EXPECT_EQ(session->ExecuteStatement("begin :Result := 'after'; end;", {}).AsString(), "after");
}

TEST_F(OraSessionTest, LostConnectionDisconnectsTheSession) {
    auto session = Connect("HOOKED", "HOOKED");
    orastandin::InstallServerHook("SETRIX_TEST", "execute:1:fail:3113@HOOKED");
    try {
        Exec(*session, "begin NULL; end;");
        ADD_FAILURE() << "the hook did not fire";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), 3113);
    }
    EXPECT_FALSE(session->Connected());
}

TEST_F(OraSessionTest, StatementsAreUnpreparedWhenTheSessionDisconnects) {
    auto session = Connect();
    auto statement = platform::NewUnownedComponent<TOraSQL>();
    statement->SetSession(session.get());
    statement->SetSQLText("begin NULL; end;");
    statement->Prepare();
    EXPECT_TRUE(statement->Prepared());
    session->Disconnect();
    EXPECT_FALSE(statement->Prepared());
    session.reset();
    EXPECT_EQ(statement->Session(), nullptr);
}

TEST_F(OraSessionTest, ConnectChangeEventsAndNewSessionsTakeTheHome) {
    auto session = NewSession();
    std::vector<bool> changes;
    session->OnConnectChange = [&](TOraSession&, bool connected) { changes.push_back(connected); };
    session->SetConnectPrompt(false);
    session->SetConnectString("scott/tiger@SETRIX_TEST");
    session->Connect();
    session->Disconnect();
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    // A changed home reaches every session and the loader; the next session starts with it.
    session->Connect();
    auto second = NewSession();
    session->SetHome(ohHome1);
    EXPECT_FALSE(session->Connected());
    EXPECT_EQ(second->Home(), ohHome1);
    EXPECT_EQ(OciClient().SelectedHome, ohHome1);
    EXPECT_EQ(NewSession()->Home(), ohHome1);
    session->SetHome(ohDefault);
}

TEST_F(OraSessionTest, SessionSettingsAreQuotedAndHousekeepingIsUntraced) {
    auto monitor = platform::NewUnownedComponent<TDASQLMonitor>();
    std::vector<std::string> texts;
    monitor->OnSQL = [&](void*, const AnsiString& text, TDATraceFlag) { texts.push_back(text); };
    monitor->SetOptions(moCustom);
    monitor->SetActive(true);
    auto session = NewSession();
    session->SetConnectPrompt(false);
    session->SetConnectString("scott/tiger@SETRIX_TEST");
    session->Options().SetCharset("UTF8");
    session->Connect();
    for (const std::string& text : texts) EXPECT_EQ(text.find("NLS_CHARSET_ID"), std::string::npos) << text;
    // A quote in a value stays inside the literal instead of ending it.
    try {
        session->Options().SetDateLanguage("AMERICAN' x");
    } catch (const EOraError&) {
        // The server may refuse such a language; the text sent is what matters.
    }
    bool quoted = false;
    for (const std::string& text : texts) quoted |= text.find("NLS_DATE_LANGUAGE = 'AMERICAN'' x'") != std::string::npos;
    EXPECT_TRUE(quoted);
}

TEST_F(OraSessionTest, UseOCI7SwitchesTheCallInterfaceAndDisconnects) {
    auto session = Connect();
    EXPECT_EQ(session->OCIVersion(), 2);
    session->Options().SetUseOCI7(true);
    EXPECT_FALSE(session->Connected());
    EXPECT_EQ(session->OCIVersion(), 1);
    session->Options().SetUseOCI7(false);
    EXPECT_EQ(session->OCIVersion(), OciClient().CallInterface);
}

class OraSession7Test : public OraSessionTest {
protected:
    void SetUp() override {
        library_ = "ociw32.dll";
        OraSessionTest::SetUp();
    }
};

TEST_F(OraSession7Test, ExecSqlRoadOnTheVersion7Interface) {
    auto session = Connect();
    EXPECT_EQ(session->OCIVersion(), 1);
    EXPECT_EQ(session->OCIServiceContext(), nullptr);
    EXPECT_EQ(session->MaxStringSize(), 2000);
    DropTable(*session, "ORS_OCI7");
    Exec(*session, "CREATE TABLE ORS_OCI7 (NAME VARCHAR2(10))");
    auto statement = platform::NewUnownedComponent<TOraSQL>();
    statement->SetSession(session.get());
    statement->SetSQLText("INSERT INTO ORS_OCI7 VALUES (:NAME)");
    statement->ParamByName("NAME").SetAsString("seven");
    statement->Execute();
    session->Commit();
    EXPECT_EQ(Count(*session, "ORS_OCI7"), 1);
}

}  // namespace
}  // namespace oracle
