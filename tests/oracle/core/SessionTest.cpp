#include <gtest/gtest.h>

#include <windows.h>

#include "DAFixtures.h"
#include "oracle/core/CustomConnectDialog.h"
#include "oracle/core/DASQLMonitor.h"
#include "oracle/core/WaitCursor.h"
#include "platform/DBScreen.h"
#include "platform/DateTime.h"
#include "platform/Forms.h"
#include "platform/Registry.h"

namespace oracle {
namespace {

using namespace oracle::test;
using platform::AnsiString;

std::vector<std::string> Without(const std::vector<std::string>& log, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& line : log)
        if (line.rfind(prefix, 0) != 0) out.push_back(line);
    return out;
}

// A screen whose cursor is a plain value.
class RecordingScreen : public platform::IDBScreen {
public:
    platform::TDBScreenCursor Cursor = platform::dcrDefault;
    platform::TDBScreenCursor GetCursor() override { return Cursor; }
    void SetCursor(platform::TDBScreenCursor cursor) override { Cursor = cursor; }
};

class ScreenFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetDBScreen(screen);
        InitializeWaitCursor();
    }
    void TearDown() override {
        FinalizeWaitCursor();
        platform::SetDBScreen(nullptr);
    }
    std::shared_ptr<RecordingScreen> screen = std::make_shared<RecordingScreen>();
};

using SessionTest = ScreenFixture;

TEST_F(SessionTest, ConnectsWithItsLogOnValuesUnderTheWaitCursor) {
    FakeServer server;
    auto session = NewSession(server);
    session->SetUsername("scott");
    session->SetPassword("tiger");
    session->SetServer("orcl");
    session->Connect();
    EXPECT_TRUE(session->Connected());
    EXPECT_EQ(Without(server.Log, "autocommit"), (std::vector<std::string>{"connect scott/tiger@orcl"}));
    EXPECT_EQ(server.CursorAtConnect, crSQLWait);
    // The cursor the session found is put back.
    EXPECT_EQ(ScreenCursor(), crDefault);
}

TEST_F(SessionTest, WithoutPromptAnEmptyUserNameStillConnects) {
    FakeServer server;
    auto session = NewSession(server);
    session->Connect();
    EXPECT_EQ(Without(server.Log, "autocommit"), (std::vector<std::string>{"connect /@"}));
}

TEST_F(SessionTest, ChangedLogOnValuesDisconnectEqualOnesDoNot) {
    struct Case {
        const char* what;
        void (TCustomDAConnection::*set)(const AnsiString&);
        const char* value;
        bool disconnects;
    } cases[] = {
        {"same user", &TCustomDAConnection::SetUsername, "scott", false},
        {"user in other case", &TCustomDAConnection::SetUsername, "SCOTT", true},
        {"other password", &TCustomDAConnection::SetPassword, "lion", true},
        {"same password", &TCustomDAConnection::SetPassword, "tiger", false},
        {"other server", &TCustomDAConnection::SetServer, "prod", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServer server;
        auto session = NewSession(server);
        session->SetUsername("scott");
        session->SetPassword("tiger");
        session->SetServer("orcl");
        session->Connect();
        ((*session).*c.set)(c.value);
        EXPECT_EQ(session->Connected(), !c.disconnects);
        EXPECT_EQ(server.Count("disconnect"), c.disconnects ? 1 : 0);
    }
    FakeServer server;
    auto session = NewSession(server);
    session->SetUsername("scott");
    EXPECT_EQ(session->Fake().Username(), "scott");
}

TEST_F(SessionTest, TransactionsSwitchAutoCommitOfTheConnectionObject) {
    FakeServer server;
    auto session = NewSession(server);
    session->Connect();
    server.Log.clear();
    session->BeginTransaction();
    EXPECT_TRUE(session->InTransaction());
    session->Commit();
    EXPECT_FALSE(session->InTransaction());
    session->SetAutoCommit(false);
    session->BeginTransaction();
    session->Rollback();
    EXPECT_EQ(server.Log, (std::vector<std::string>{"start", "autocommit off", "commit", "autocommit on",
                                                    "autocommit off", "start", "autocommit off", "rollback",
                                                    "autocommit off"}));
    EXPECT_TRUE(session->AutoCommit() == false);
}

TEST_F(SessionTest, DisconnectCommitsAnOpenTransactionAndClosesEvenWhenThatFails) {
    FakeServer server;
    auto session = NewSession(server);
    session->Connect();
    session->BeginTransaction();
    session->Disconnect();
    EXPECT_EQ(server.Count("commit"), 1);
    EXPECT_FALSE(session->Connected());

    session->Connect();
    session->BeginTransaction();
    server.FailCommit = 1555;
    EXPECT_THROW(session->Disconnect(), EDAError);
    EXPECT_FALSE(session->Connected());
    EXPECT_FALSE(session->InTransaction());
}

TEST_F(SessionTest, AFatalErrorDisconnectsOnceAndOnErrorMayClearFail) {
    FakeServer server;
    auto session = NewSession(server);
    session->Connect();
    session->BeginTransaction();
    // The commit on the way out meets the dead link again: no second disconnect.
    server.FailCommit = 3113;
    int reported = 0;
    session->OnError = [&](TCustomDAConnection&, const EDAError& error, bool& fail) {
        ++reported;
        fail = error.ErrorCode() != 3113;
    };
    EXPECT_THROW(session->Fake().RaiseError(3113), platform::EAbort);
    EXPECT_FALSE(session->Connected());
    EXPECT_EQ(server.Count("disconnect"), 1);
    EXPECT_EQ(reported, 2);

    session->Connect();
    EXPECT_THROW(session->Fake().RaiseError(942), EDAError);
    EXPECT_TRUE(session->Connected());
}

// A statement whose link is dead: every disconnect notice raises the fatal error.
struct DeadLinkStatement : TCustomDASQL {
    using TCustomDASQL::TCustomDASQL;
    int Notices = 0;
    void ConnectionClosed() override {
        ++Notices;
        throw EDAError(3113, "ORA-03113: end-of-file on communication channel");
    }
};

TEST_F(SessionTest, AClientThatKeepsFailingWithAFatalErrorStillLetsTheSessionClose) {
    FakeServer server;
    auto session = NewSession(server);
    auto statement = platform::NewUnownedComponent<DeadLinkStatement>();
    statement->SetConnection(session.get());
    session->Connect();
    EXPECT_THROW(session->Disconnect(), EDAError);
    EXPECT_FALSE(session->Connected());
    EXPECT_EQ(server.Count("disconnect"), 1);
    // The notice, its one repetition, and the notice of the disconnect sequence.
    EXPECT_EQ(statement->Notices, 3);
}

TEST_F(SessionTest, ANewConnectionObjectRebindsStatementsAndDataSets) {
    FakeServer server;
    auto session = NewSession(server);
    auto statement = platform::NewUnownedComponent<TDASQL>();
    statement->SetConnection(session.get());
    auto dataSet = platform::NewUnownedComponent<TDADataSet>();
    dataSet->SetConnection(session.get());
    TQdCommand* oldCommand = statement->Command();
    session->Renew();
    // Same kind of command: the statement keeps it and follows the new object.
    EXPECT_EQ(statement->Command(), oldCommand);
    EXPECT_EQ(statement->Command()->Connection(), session->ConnectionObject());
    EXPECT_EQ(dataSet->RecordSet()->Command()->Connection(), session->ConnectionObject());
    EXPECT_EQ(session->StatementClientCount(), 1);
    EXPECT_TRUE(session->HasClient(dataSet.get()));
}

TEST_F(SessionTest, FreeingTheSessionDetachesItsClients) {
    FakeServer server;
    auto session = NewSession(server);
    auto statement = platform::NewUnownedComponent<TDASQL>();
    auto dataSet = platform::NewUnownedComponent<TDADataSet>();
    statement->SetConnection(session.get());
    dataSet->SetConnection(session.get());
    session->Connect();
    session.reset();
    EXPECT_EQ(statement->Connection(), nullptr);
    EXPECT_EQ(dataSet->Connection(), nullptr);
    EXPECT_EQ(server.Count("disconnect"), 1);
}

// ---------------------------------------------------------------- log-on prompt and dialog

class ScriptedDialog : public TCustomConnectDialog {
public:
    using TCustomConnectDialog::TCustomConnectDialog;
    AnsiString Path;
    std::vector<AnsiString> Servers;
    // What the log-on form does: connect (OK) or not (cancel).
    bool Accept = true;
    AnsiString SeenUser, SeenPassword, SeenServer;

    AnsiString RegistryPath() const override { return Path; }
    void FillServerList(platform::TStrings& list) override {
        for (const auto& s : Servers) list.Add(s);
    }

protected:
    int RunLogOnForm() override {
        SeenUser = Connection()->Username();
        SeenPassword = Connection()->Password();
        SeenServer = Connection()->Server();
        if (!Accept) return platform::mrCancel;
        Connection()->PerformConnect();
        return platform::mrOk;
    }
};

class TitledApplication : public platform::IDBApplication {
public:
    AnsiString GetTitle() override { return "SetrixTest"; }
    void SetTitle(const AnsiString&) override {}
    void ProcessMessages() override {}
};

class DialogTest : public ScreenFixture {
protected:
    void SetUp() override {
        ScreenFixture::SetUp();
        platform::SetDBApplication(std::make_shared<TitledApplication>());
        path = "\\SOFTWARE\\SetrixTest\\LogOn" + std::to_string(GetCurrentProcessId()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
    }
    void TearDown() override {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        registry.RemoveKey(path.substr(0, path.size() - 1));
        platform::SetDBApplication(nullptr);
        ScreenFixture::TearDown();
    }
    void Store(const AnsiString& user, const AnsiString& server) {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        ASSERT_TRUE(registry.EnterKey(path + "Connect\\SetrixTest", true));
        registry.PutString("Username", user);
        registry.PutString("Server", server);
    }
    AnsiString path;
};

TEST_F(DialogTest, StoredUserNameWinsAndThePasswordFollowsSavePassword) {
    struct Case {
        const char* sessionUser;
        bool savePassword;
        const char* expectedPassword;
    } cases[] = {{"scott", false, ""}, {"adams", true, ""}, {"SCOTT", true, "tiger"}, {"scott", true, "tiger"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sessionUser + std::string(c.savePassword ? " save" : ""));
        Store("scott", "orcl");
        FakeServer server;
        auto session = NewSession(server);
        auto dialog = platform::NewUnownedComponent<ScriptedDialog>();
        dialog->Path = path;
        dialog->SetSavePassword(c.savePassword);
        session->SetUsername(c.sessionUser);
        session->SetPassword("tiger");
        session->SetServer("test");
        session->SetConnectDialog(dialog.get());
        session->SetLoginPrompt(true);
        session->Connect();
        EXPECT_EQ(dialog->SeenUser, "scott");
        EXPECT_EQ(dialog->SeenPassword, c.expectedPassword);
        EXPECT_EQ(dialog->SeenServer, "orcl");
        EXPECT_TRUE(session->Connected());
    }
}

TEST_F(DialogTest, ALogOnWritesTheServerHistoryButNoPassword) {
    FakeServer server;
    auto session = NewSession(server);
    auto dialog = platform::NewUnownedComponent<ScriptedDialog>();
    dialog->Path = path;
    dialog->Servers = {"A", "B", "C"};
    dialog->SetConnection(session.get());
    session->SetUsername("scott");
    session->SetPassword("tiger");
    session->SetServer("A");
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(registry.MakeKey(path + "Connect"));
    ASSERT_TRUE(dialog->Execute());
    ASSERT_TRUE(registry.EnterKey(path + "Connect", false));
    EXPECT_EQ(registry.GetString("Server1"), "A");
    EXPECT_EQ(registry.GetString("Server2"), "B");
    EXPECT_EQ(registry.GetString("Server3"), "C");
    EXPECT_FALSE(registry.ValueExists("Server4"));
    ASSERT_TRUE(registry.EnterKey(path + "Connect\\SetrixTest", false));
    EXPECT_EQ(registry.GetString("Username"), "scott");
    EXPECT_EQ(registry.GetString("Server"), "A");
    EXPECT_FALSE(registry.ValueExists("Password"));
}

TEST_F(DialogTest, ACancelledLogOnRestoresTheValuesAndAbortsSilently) {
    Store("adams", "prod");
    FakeServer server;
    auto session = NewSession(server);
    auto dialog = platform::NewUnownedComponent<ScriptedDialog>();
    dialog->Path = path;
    dialog->Accept = false;
    session->SetUsername("scott");
    session->SetPassword("tiger");
    session->SetServer("orcl");
    session->SetConnectDialog(dialog.get());
    session->SetLoginPrompt(true);
    EXPECT_THROW(session->Connect(), platform::EAbort);
    EXPECT_EQ(dialog->SeenUser, "adams");
    EXPECT_EQ(session->Username(), "scott");
    EXPECT_EQ(session->Password(), "tiger");
    EXPECT_EQ(session->Server(), "orcl");
    EXPECT_FALSE(session->Connected());

    auto alone = platform::NewUnownedComponent<ScriptedDialog>();
    ExpectDatabaseError([&] { alone->Execute(); }, "Connection is not defined");
}

TEST_F(DialogTest, FreeingADialogLeavesItsSessionsWithout) {
    FakeServer server;
    auto session = NewSession(server);
    auto dialog = platform::NewUnownedComponent<ScriptedDialog>();
    session->SetConnectDialog(dialog.get());
    EXPECT_EQ(dialog->ConnectionUserCount(), 1);
    dialog.reset();
    EXPECT_EQ(session->ConnectDialog(), nullptr);
}

TEST(ConnectDialog, LabelSetsLoadTheirTextsAndAWrittenTextMakesTheSetCustom) {
    auto dialog = platform::NewUnownedComponent<TCustomConnectDialog>();
    EXPECT_EQ(dialog->LabelSet(), lsEnglish);
    EXPECT_EQ(dialog->Caption(), "Connect");
    EXPECT_EQ(dialog->CancelButton(), "Cancel");
    struct Case {
        TLabelSet set;
        const char* caption;
        const char* cancel;
    } cases[] = {{lsGerman, "Anmeldung", "Abbrechen"},
                 {lsRussian, "\xD1\xEE\xE5\xE4\xE8\xED\xE5\xED\xE8\xE5", "\xCE\xF2\xEC\xE5\xED\xE0"},
                 {lsSpanish, "Conectar", "Cancelar"},
                 {lsFrench, "Ouverture de session", "Annuler"}};
    for (const Case& c : cases) {
        dialog->SetLabelSet(c.set);
        EXPECT_EQ(dialog->Caption(), c.caption);
        EXPECT_EQ(dialog->CancelButton(), c.cancel);
    }
    dialog->SetCaption("Log on");
    EXPECT_EQ(dialog->LabelSet(), lsCustom);
    EXPECT_EQ(dialog->Caption(), "Log on");
    EXPECT_EQ(dialog->CancelButton(), "Annuler");
}

// ---------------------------------------------------------------- wait cursor

using WaitCursorTest = ScreenFixture;

TEST_F(WaitCursorTest, BackgroundCursorStaysUntilEveryOperationEnded) {
    SetWaitCursor(crBackground);
    SetWaitCursor(crBackground);
    SetWaitCursor(crDefault);
    EXPECT_EQ(ScreenCursor(), crBackground);
    // An end reported while the SQL-wait cursor shows does not count down.
    SetWaitCursor(crSQLWait);
    SetWaitCursor(crDefault);
    EXPECT_EQ(ScreenCursor(), crBackground);
    SetWaitCursor(crDefault);
    EXPECT_EQ(ScreenCursor(), crDefault);
    // Another cursor value changes nothing.
    SetWaitCursor(-11);
    EXPECT_EQ(ScreenCursor(), crDefault);
}

// A non-blocking statement counts on the background cursor until its command reports the
// end; one that fails before the command has it (its parameters cannot be written) gives
// the cursor back itself.
TEST_F(WaitCursorTest, ANonBlockingStatementGivesTheBackgroundCursorBackHoweverItEnds) {
    FakeServer server;
    auto session = NewSession(server);
    auto statement = platform::NewUnownedComponent<TDASQL>();
    statement->SetConnection(session.get());
    statement->NonBlocking = true;
    statement->SetSQLText("insert into t values (:d)");
    session->Connect();
    WaitCursorTimerCheck(true);  // no SQL-wait cursor left from the log-on
    ASSERT_EQ(ScreenCursor(), crDefault);
    const struct {
        Variant value;
        bool fails;
    } cases[] = {{Variant(AnsiString("not a date")), true},
                 {Variant::FromDateTime(platform::EncodeDate(2003, 5, 17)), false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fails ? "failing" : "running");
        platform::TParam& param = statement->Params().ParamByName("d");
        param.SetValue(c.value);
        param.SetDataType(platform::ftDate);
        bool failed = false;
        try {
            statement->Execute();
        } catch (const std::exception&) {
            failed = true;
        }
        EXPECT_EQ(failed, c.fails);
        EXPECT_EQ(ScreenCursor(), crDefault);
    }
    EXPECT_EQ(server.Executed.size(), 1u);
}

TEST_F(WaitCursorTest, TheSQLWaitCursorIsHeldAtLeastThirtyMilliseconds) {
    SetWaitCursor(crSQLWait);
    EXPECT_TRUE(WaitCursorTimerRunning());
    SetWaitCursor(crSQLWait);
    WaitCursorTimerCheck(false);
    EXPECT_EQ(ScreenCursor(), crSQLWait);
    Sleep(60);
    // The timer of the main thread's message loop lets it go.
    MSG message;
    const DWORD start = GetTickCount();
    while (WaitCursorTimerRunning() && GetTickCount() - start < 2000) {
        while (PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&message);
        Sleep(5);
    }
    EXPECT_FALSE(WaitCursorTimerRunning());
    EXPECT_EQ(ScreenCursor(), crDefault);
}

TEST_F(WaitCursorTest, OnlyTheMainThreadAndOnlyWhenEnabled) {
    WaitCursorEnabled = false;
    SetWaitCursor(crSQLWait);
    EXPECT_EQ(ScreenCursor(), crDefault);
    WaitCursorEnabled = true;
    HANDLE thread = CreateThread(
        nullptr, 0, [](void*) -> DWORD {
            SetWaitCursor(crSQLWait);
            return 0;
        },
        nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(ScreenCursor(), crDefault);
    EXPECT_FALSE(WaitCursorTimerRunning());
}

}  // namespace
}  // namespace oracle
