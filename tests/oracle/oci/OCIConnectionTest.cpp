#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OciLoader.h"
#include "platform/DataSetTypes.h"
#include "standins/oracle/client/StandinControl.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using testing::OracleRegistryTest;
using testing::ProgramFolder;

// The stand-in client found through OCIDLL, and the stand-in server's aliases.
class OCIConnectionTest : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\" + library_);
    }

    void Logon(TOCIConnection& connection, const char* user, const char* password, const char* server = "SETRIX_TEST") {
        connection.SetUsername(user);
        connection.SetPassword(password);
        connection.SetServer(server);
        connection.Connect();
    }

    // Runs one statement on the connection's own handles (commands are another class).
    void Execute(TOCIConnection& connection, const std::string& sql) {
        OCIStmt* statement = AllocStatement(connection, sql);
        const sword status = Oci.OCIStmtExecute(connection.GetSvcCtx(), statement, connection.ErrorHandle(), 1, 0,
                                                nullptr, nullptr, OCI_DEFAULT);
        Oci.OCIHandleFree(statement, OCI_HTYPE_STMT);
        connection.Check(status);
    }

    int CountRows(TOCIConnection& connection, const std::string& table) {
        OCIStmt* statement = AllocStatement(connection, "SELECT COUNT(*) FROM " + table);
        int32_t count = -1;
        OCIDefine* define = nullptr;
        connection.Check(Oci.OCIDefineByPos(statement, &define, connection.ErrorHandle(), 1, &count, sizeof count,
                                            SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT));
        const sword status = Oci.OCIStmtExecute(connection.GetSvcCtx(), statement, connection.ErrorHandle(), 1, 0,
                                                nullptr, nullptr, OCI_DEFAULT);
        Oci.OCIHandleFree(statement, OCI_HTYPE_STMT);
        connection.Check(status);
        return count;
    }

    const char* library_ = "oci.dll";

private:
    OCIStmt* AllocStatement(TOCIConnection& connection, const std::string& sql) {
        void* statement = nullptr;
        connection.Check(Oci.OCIHandleAlloc(OciClient().Environment, &statement, OCI_HTYPE_STMT, 0, nullptr));
        connection.Check(Oci.OCIStmtPrepare(static_cast<OCIStmt*>(statement), connection.ErrorHandle(),
                                            reinterpret_cast<const OraText*>(sql.c_str()),
                                            static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT));
        return static_cast<OCIStmt*>(statement);
    }
};

TEST_F(OCIConnectionTest, LogsOnAndOffWithTheVersion8Interface) {
    TOCIConnection connection;
    EXPECT_TRUE(connection.AutoCommit());
    EXPECT_TRUE(connection.ThreadSafety());
    Logon(connection, "scott", "tiger");
    EXPECT_TRUE(connection.GetConnected());
    EXPECT_EQ(connection.OCIVersion(), 2);
    EXPECT_EQ(connection.StatementOCIVersion(), 2);
    platform::Variant size;
    ASSERT_TRUE(connection.GetProp(prMaxStringSize, size));
    EXPECT_EQ(size.AsInteger(), 4000);
    EXPECT_NE(connection.GetSvcCtx(), nullptr);
    connection.Connect();  // connected already: nothing happens
    connection.Disconnect();
    EXPECT_FALSE(connection.GetConnected());
    connection.Disconnect();
}

TEST_F(OCIConnectionTest, LogOnFailuresLeaveTheConnectionClean) {
    const struct {
        const char* user;
        const char* password;
        const char* server;
        int32_t code;
    } cases[] = {{"scott", "wrong", "SETRIX_TEST", 1017},
                 {"scott", "tiger", "NO_SUCH_ALIAS", 12154},
                 // No user name: external credentials, which the server refuses (database
                 // credentials without a password would be refused with 1005).
                 {"", "", "SETRIX_TEST", 1017}};
    TOCIConnection connection;
    for (const auto& c : cases) {
        try {
            Logon(connection, c.user, c.password, c.server);
            ADD_FAILURE() << c.password << "@" << c.server << " logged on";
        } catch (const EOraError& e) {
            EXPECT_EQ(e.ErrorCode(), c.code);
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", c.code);
            EXPECT_EQ(e.Message().rfind(prefix, 0), 0u) << e.Message();
            EXPECT_EQ(connection.LastErrorCode(), c.code);
        }
        EXPECT_FALSE(connection.GetConnected());
        EXPECT_EQ(connection.GetSvcCtx(), nullptr);
    }
    Logon(connection, "scott", "tiger");
    EXPECT_TRUE(connection.GetConnected());
}

TEST_F(OCIConnectionTest, SysdbaLogOn) {
    TOCIConnection connection;
    ASSERT_TRUE(connection.SetProp(prConnectMode, platform::Variant(static_cast<int32_t>(cmSysDBA))));
    Logon(connection, "SYS", "change_on_install");
    EXPECT_TRUE(connection.GetConnected());
}

TEST_F(OCIConnectionTest, CommitAndRollbackAreSeenByAnotherSession) {
    TOCIConnection writer, reader;
    Logon(writer, "scott", "tiger");
    Logon(reader, "scott", "tiger");
    Execute(writer, "CREATE TABLE OCI_CONN_TX (N NUMBER)");
    Execute(writer, "INSERT INTO OCI_CONN_TX VALUES (1)");
    EXPECT_EQ(CountRows(reader, "OCI_CONN_TX"), 0);
    writer.Commit();
    EXPECT_EQ(CountRows(reader, "OCI_CONN_TX"), 1);
    Execute(writer, "INSERT INTO OCI_CONN_TX VALUES (2)");
    writer.Rollback();
    EXPECT_EQ(CountRows(writer, "OCI_CONN_TX"), 1);
    Execute(writer, "INSERT INTO OCI_CONN_TX VALUES (3)");
    writer.StartTransaction();  // commits what is pending
    EXPECT_EQ(CountRows(reader, "OCI_CONN_TX"), 2);
    Execute(writer, "DROP TABLE OCI_CONN_TX");
    // Transactions of a closed connection do nothing.
    writer.Disconnect();
    writer.Commit();
    writer.Rollback();
}

TEST_F(OCIConnectionTest, OnErrorSeesErrorsAndMayTurnThemIntoTheSilentAbort) {
    TOCIConnection connection;
    int32_t seen = 0;
    bool keepFailing = true;
    ASSERT_TRUE(connection.AssignEvent(evConnectionError, [&](const platform::Variant& argument) {
        TDAErrorReport& report = ErrorReportOf(argument);
        seen = report.Error->ErrorCode();
        EXPECT_NE(dynamic_cast<const EOraError*>(report.Error), nullptr);
        EXPECT_TRUE(report.Fail);
        report.Fail = keepFailing;
    }));
    Logon(connection, "scott", "tiger");
    EXPECT_THROW(Execute(connection, "SELECT * FROM NO_SUCH_TABLE"), EOraError);
    EXPECT_EQ(seen, 942);
    keepFailing = false;
    seen = 0;
    EXPECT_THROW(Execute(connection, "SELECT * FROM NO_SUCH_TABLE"), platform::EAbort);
    EXPECT_EQ(seen, 942);
}

TEST_F(OCIConnectionTest, WarningsPassExceptCompilationErrors) {
    TOCIConnection connection;
    Logon(connection, "HOOKED", "HOOKED");
    orastandin::InstallServerHook("SETRIX_TEST", "execute:1:info:24344@HOOKED");
    try {
        Execute(connection, "CREATE TABLE OCI_CONN_INFO (A NUMBER)");
        ADD_FAILURE() << "ORA-24344 is raised";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), 24344);
    }
    orastandin::InstallServerHook("SETRIX_TEST", "execute:1:info:28002@HOOKED");
    EXPECT_NO_THROW(Execute(connection, "DROP TABLE OCI_CONN_INFO"));
    EXPECT_EQ(connection.LastErrorCode(), 28002);
}

TEST_F(OCIConnectionTest, FailedLogOffStillReleasesEverything) {
    TOCIConnection connection;
    Logon(connection, "HOOKED", "HOOKED");
    orastandin::InstallServerHook("SETRIX_TEST", "logoff:1:fail:3113@HOOKED");
    try {
        connection.Disconnect();
        ADD_FAILURE() << "the log-off failure is reported";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), 3113);
    }
    EXPECT_FALSE(connection.GetConnected());
    EXPECT_EQ(connection.GetSvcCtx(), nullptr);
    Logon(connection, "HOOKED", "HOOKED");
    EXPECT_TRUE(connection.GetConnected());
}

// The service context, server and session handles of a session, as the client knows them.
std::vector<std::pair<void*, oci::ub4>> SessionHandles(TOCIConnection& connection) {
    void* server = nullptr;
    void* session = nullptr;
    Oci.OCIAttrGet(connection.GetSvcCtx(), oci::OCI_HTYPE_SVCCTX, &server, nullptr, oci::OCI_ATTR_SERVER,
                   connection.ErrorHandle());
    Oci.OCIAttrGet(connection.GetSvcCtx(), oci::OCI_HTYPE_SVCCTX, &session, nullptr, oci::OCI_ATTR_SESSION,
                   connection.ErrorHandle());
    return {{connection.GetSvcCtx(), oci::OCI_HTYPE_SVCCTX},
            {server, oci::OCI_HTYPE_SERVER},
            {session, oci::OCI_HTYPE_SESSION}};
}

// Disconnecting gives every handle of the session back to the client, also when the log-off
// fails; the client then refuses them as handles it no longer knows.
TEST_F(OCIConnectionTest, DisconnectReleasesTheSessionsHandles) {
    for (const bool failing : {false, true}) {
        TOCIConnection connection;
        Logon(connection, "HOOKED", "HOOKED");
        connection.GetLDA();  // an area of the version 7 functions, made of the session
        const auto handles = SessionHandles(connection);
        for (const auto& [handle, type] : handles) ASSERT_NE(handle, nullptr) << type;
        if (failing) orastandin::InstallServerHook("SETRIX_TEST", "logoff:1:fail:3113@HOOKED");
        try {
            connection.Disconnect();
            EXPECT_FALSE(failing);
        } catch (const EOraError& e) {
            EXPECT_TRUE(failing);
            EXPECT_EQ(e.ErrorCode(), 3113);
        }
        for (const auto& [handle, type] : handles)
            EXPECT_EQ(Oci.OCIHandleFree(handle, type), oci::OCI_INVALID_HANDLE) << type << " " << failing;
    }
}

TEST_F(OCIConnectionTest, ChangingTheCallLevelDisconnects) {
    TOCIConnection connection;
    Logon(connection, "scott", "tiger");
    connection.SetOCIVersion(2);
    EXPECT_TRUE(connection.GetConnected());
    connection.SetOCIVersion(1);
    EXPECT_FALSE(connection.GetConnected());
    try {
        connection.GetSvcCtx();
        ADD_FAILURE() << "a version 7 connection has no service context";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Need Oracle 8 Call Interface");
    }
    connection.SetOCIVersion(3);
    try {
        connection.Connect();
        ADD_FAILURE() << "call level 3 does not exist";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "OCI is not inizialized");
    }
    EXPECT_FALSE(connection.GetConnected());
}

// Whether another thread finds the connection's lock free: it tries without waiting and
// says whether it got in (giving the lock back at once).
bool FreeForAnotherThread(TOCIConnection& connection) {
    bool free = false;
    std::thread([&] {
        free = connection.TryLock();
        if (free) connection.Unlock();
    }).join();
    return free;
}

// Another thread waiting for the connection's lock; it notes when it got in.
class LockWaiter {
public:
    explicit LockWaiter(TOCIConnection& connection)
        : connection_(connection), thread_([this] {
              TConnectionLock lock(connection_);
              entered_ = true;
          }) {}
    ~LockWaiter() { Join(); }
    // Returns once the thread waits for the lock, as the lock counts its waiters (or, with a
    // lock that lets it pass, once it got in).
    void AwaitAttempt() {
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (!entered_ && connection_.LockWaiters() == 0 && GetTickCount64() < deadline) Sleep(1);
    }
    bool Entered() const { return entered_; }
    // Waits until it got in (and has gone again).
    bool Join() {
        if (thread_.joinable()) thread_.join();
        return entered_;
    }

private:
    TOCIConnection& connection_;
    std::atomic<bool> entered_{false};
    std::thread thread_;
};

TEST(ConnectionLock, SerialisesThreadsAndNestsOnOne) {
    TOCIConnection connection;
    EXPECT_TRUE(FreeForAnotherThread(connection));
    connection.Lock();
    connection.Lock();
    EXPECT_FALSE(FreeForAnotherThread(connection));
    connection.Unlock();
    // Still held: it was taken twice.
    EXPECT_FALSE(FreeForAnotherThread(connection));
    connection.Unlock();
    EXPECT_TRUE(FreeForAnotherThread(connection));

    // A thread that asks while the lock is held waits, and gets in once it is given back.
    connection.Lock();
    {
        LockWaiter waiter(connection);
        waiter.AwaitAttempt();
        EXPECT_EQ(connection.LockWaiters(), 1u);
        EXPECT_FALSE(waiter.Entered());
        connection.Unlock();
        EXPECT_TRUE(waiter.Join());
    }
    EXPECT_EQ(connection.LockWaiters(), 0u);

    // Without thread safety nothing is held.
    connection.SetProp(prThreadSafety, platform::Variant(false));
    connection.Lock();
    EXPECT_TRUE(FreeForAnotherThread(connection));
    EXPECT_TRUE(LockWaiter(connection).Join());
    connection.Unlock();
}

TEST(ConnectionLock, AWorkerStoppedByForceGivesUpTheLock) {
    TOCIConnection connection;
    struct Context {
        TOCIConnection& connection;
        HANDLE locked;
    } context{connection, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    // A worker that takes the lock and never ends, as one stuck in a call would.
    HANDLE worker = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            auto* context = static_cast<Context*>(parameter);
            context->connection.Lock();
            SetEvent(context->locked);
            Sleep(INFINITE);
            return 0;
        },
        &context, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(context.locked, INFINITE), WAIT_OBJECT_0);
    EXPECT_FALSE(FreeForAnotherThread(connection));
    LockWaiter waiter(connection);
    waiter.AwaitAttempt();
    EXPECT_FALSE(waiter.Entered());
    // The waiter is woken by the stop, not only a later asker.
    EXPECT_TRUE(StopThread(connection, worker));
    EXPECT_TRUE(waiter.Join());
    EXPECT_TRUE(FreeForAnotherThread(connection));
    CloseHandle(worker);
    CloseHandle(context.locked);
}

class OCI7ConnectionTest : public OCIConnectionTest {
protected:
    void SetUp() override {
        library_ = "ociw32.dll";
        OCIConnectionTest::SetUp();
    }
};

TEST_F(OCI7ConnectionTest, LogsOnWithTheVersion7Interface) {
    TOCIConnection connection;
    Logon(connection, "scott", "tiger");
    EXPECT_EQ(connection.OCIVersion(), 1);
    EXPECT_EQ(connection.MaxStringSize(), 2000);
    EXPECT_NE(connection.GetLDA(), nullptr);
    EXPECT_TRUE(OCI7ThreadInitDone());
    connection.Commit();
    connection.Rollback();
    connection.Disconnect();
    EXPECT_FALSE(connection.GetConnected());
}

TEST_F(OCI7ConnectionTest, Version7ErrorTexts) {
    TOCIConnection connection;
    try {
        Logon(connection, "scott", "wrong");
        ADD_FAILURE() << "a wrong password logged on";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), 1017);
        EXPECT_EQ(e.Message().rfind("ORA-01017", 0), 0u) << e.Message();
        EXPECT_NE(e.Message().back(), '\n');
    }
    EXPECT_FALSE(connection.GetConnected());
    EXPECT_EQ(connection.GetLDA(), nullptr);
}

}  // namespace
}  // namespace oracle
