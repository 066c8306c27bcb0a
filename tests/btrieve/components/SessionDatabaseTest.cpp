#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <map>
#include <thread>

#include "TestBinding.h"
#include "btrieve/base/BaseSession.h"
#include "btrieve/base/VirtEng.h"
#include "btrieve/components/DBEngineError.h"
#include "platform/Registry.h"

using namespace btrieve;
using namespace testbinding;
using testengine::Row;
using testengine::TTestStore;

namespace {

const char kAliases[] = "\\Software\\Quillon\\Btrieve\\Aliases\\";

class SessionDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTestStore::Get().Reset();
        TTestStore::Get().tables["T"] = {Row(1, "one"), Row(2, "two")};
        RemoveAlias("SETRIXTEST_EDIT");
        StartBinding();
    }
    void TearDown() override {
        StopBinding();
        RemoveAlias("SETRIXTEST_EDIT");
    }
    static void RemoveAlias(const char* name) {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        registry.RemoveKey(AnsiString(kAliases) + name);
    }
    static void WriteAlias(const char* name, const char* physical) {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.EnterKey(AnsiString(kAliases) + name, true));
        registry.PutString("Description", "test data");
        registry.PutString("PhysicalName", physical);
    }
    static std::unique_ptr<TTestDatabase> NewDatabase(const AnsiString& name, const AnsiString& alias = "") {
        auto database = platform::NewUnownedComponent<TTestDatabase>();
        database->SetDatabaseName(name);
        if (!alias.empty()) database->SetAliasName(alias);
        return database;
    }
    TQnSession& Primary() { return *List().primary; }
};

}  // namespace

TEST_F(SessionDatabaseTest, SessionsAreFoundByNameWithoutRegardToCase) {
    auto second = platform::NewUnownedComponent<TTestSession>();
    second->SetSessionName("Second");
    EXPECT_EQ(List().FindSession(""), &Primary());
    EXPECT_EQ(List().FindSession("btrieve"), &Primary());
    EXPECT_EQ(List().FindSession("SECOND"), second.get());
    EXPECT_EQ(List().FindSession("none"), nullptr);
    EXPECT_EQ(ErrorText([] { List().GetSession("none"); }), "Invalid session name none");
    EXPECT_TRUE(Primary().IsPrimary());
    EXPECT_FALSE(second->IsPrimary());
    EXPECT_EQ(ErrorText([&] { second->SetSessionName("BTRIEVE"); }), "Duplicate session name 'BTRIEVE'");
}

TEST_F(SessionDatabaseTest, SecondSessionStartsThePrimaryFirstAndSharesItsFacade) {
    auto second = platform::NewUnownedComponent<TTestSession>();
    EXPECT_EQ(ErrorText([&] { second->SetActive(true); }), "Session name missing");
    EXPECT_FALSE(second->Active());
    second->SetSessionName("Second");
    second->SetActive(true);
    EXPECT_TRUE(Primary().Active());
    EXPECT_TRUE(second->Active());
    EXPECT_EQ(List().engine->Sessions().Count(), 2);
    EXPECT_EQ(List().facadesMade, 1);
    EXPECT_EQ(ErrorText([&] { second->SetSessionName("Other"); }),
              "Cannot perform this operation on an active session");

    // Stopping the primary session frees the facade: the other session stops first
    // instead of keeping a handle into the freed facade.
    Primary().SetActive(false);
    EXPECT_EQ(List().engine, nullptr);
    EXPECT_FALSE(second->Active());
    EXPECT_NE(Primary().Handle(), nullptr);
    EXPECT_EQ(List().facadesMade, 2);
}

TEST_F(SessionDatabaseTest, FailedSessionLockLeavesTheEngineLockFree) {
    auto unnamed = platform::NewUnownedComponent<TTestSession>();
    EXPECT_THROW(unnamed->LockSession(), platform::EDatabaseError);
    bool free = false;
    std::thread other([&] {
        free = List().lock.try_lock();
        if (free) List().lock.unlock();
    });
    other.join();
    EXPECT_TRUE(free);
    // Nested locks count.
    Primary().LockSession();
    Primary().LockSession();
    Primary().UnlockSession();
    Primary().UnlockSession();
}

TEST_F(SessionDatabaseTest, AutomaticSessionNamesTakeTheFirstFreeNumber) {
    platform::TComponent ownerA(nullptr), ownerB(nullptr);
    auto* a = platform::NewComponent<TTestSession>(ownerA);
    a->SetName("Sess");
    auto* b = platform::NewComponent<TTestSession>(ownerB);
    b->SetName("Sess");
    a->SetAutoSessionName(true);
    b->SetAutoSessionName(true);
    EXPECT_EQ(a->SessionName(), "Sess_1");
    EXPECT_EQ(b->SessionName(), "Sess_2");
    EXPECT_EQ(ErrorText([&] { a->SetSessionName("x"); }), "Cannot modify SessionName while AutoSessionName is enabled");
    EXPECT_EQ(ErrorText([&] { platform::NewComponent<TTestSession>(ownerA); }),
              "Cannot add a session to the form or data-module while session 'Sess' has AutoSessionName enabled");
    a->SetAutoSessionName(false);
    auto* c = platform::NewComponent<TTestSession>(ownerA);
    EXPECT_EQ(ErrorText([&] { c->SetAutoSessionName(true); }),
              "Cannot enable AutoSessionName property with more than one session on a form or data-module");
    // The number a gave back is taken again.
    platform::TComponent ownerC(nullptr);
    auto* d = platform::NewComponent<TTestSession>(ownerC);
    d->SetName("Other");
    d->SetAutoSessionName(true);
    EXPECT_EQ(d->SessionName(), "Other_1");
}

TEST_F(SessionDatabaseTest, DriverAndAliasParameters) {
    platform::TStringList list;
    Primary().GetDriverParams("standard", list);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0), "PATH=");
    Primary().GetAliasParams("C:\\DIR", list);
    EXPECT_EQ(list.Values("PATH"), "C:\\DIR");
    EXPECT_GE(list.IndexOfName("USER NAME"), 0);
}

TEST_F(SessionDatabaseTest, DatabaseConnectsOnAPathAndClosesItsTables) {
    auto database = NewDatabase("C:\\DATA");
    EXPECT_EQ(database->AliasName(), "");
    EXPECT_EQ(database->Session(), &Primary());
    database->OpenConnection();
    ASSERT_TRUE(database->Connected());
    EXPECT_FALSE(database->SQLBased());
    EXPECT_EQ(database->Params().Values("PATH"), "C:\\DATA");
    EXPECT_EQ(ErrorText([&] { database->SetReadOnly(true); }), "Cannot perform this operation on an open database");

    auto table = platform::NewUnownedComponent<TTestTable>();
    table->SetDatabaseName("C:\\DATA");
    table->SetTableName("T");
    table->OpenDataSet();
    EXPECT_EQ(table->Database(), database.get());
    database->CloseConnection();
    EXPECT_FALSE(table->Active());
    EXPECT_FALSE(database->Connected());
}

// The engine's database open gets the password of the parameters (the alias holds a user
// name and there is no log-in prompt) and a block of every parameter line that holds
// "=": names cut to 31 characters, values after the first "=" cut to 255 characters in
// the OEM code page, zero-terminated one after another.
TEST_F(SessionDatabaseTest, ConnectHandsPasswordAndParameterBlockToTheEngine) {
    EngineCalls() = {};
    const AnsiString longName(40, 'N');
    const AnsiString longValue(300, 'v');
    auto database = NewDatabase("C:\\TYPED");
    database->Params().Add("PASSWORD=Pass word");
    database->Params().Add("a line without a value");
    database->Params().Add(longName + "=x=y");
    database->Params().Add("LONG=" + longValue);
    database->Params().Add("TEXT=\xC6\xE8\xEB");
    database->OpenConnection();
    ASSERT_TRUE(database->Connected());
    EXPECT_EQ(EngineCalls().password, "Pass word");

    char oem[4] = {};
    CharToOemBuffA("\xC6\xE8\xEB", oem, 3);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"PASSWORD", "Pass word"}, {longName.substr(0, 31), "x=y"}, {"LONG", longValue.substr(0, 255)},
        {"TEXT", oem}, {"PATH", "C:\\TYPED"}, {"USER NAME", ""}};
    const auto& descs = EngineCalls().paramDescs;
    ASSERT_EQ(descs.size(), expected.size());
    size_t offset = 0;
    for (size_t i = 0; i < descs.size(); ++i) {
        EXPECT_EQ(descs[i].fieldNumber, i + 1);
        EXPECT_EQ(std::string(descs[i].name), expected[i].first);
        EXPECT_EQ(descs[i].fieldType, 1);
        EXPECT_EQ(descs[i].offset, offset) << i;
        EXPECT_EQ(descs[i].length, expected[i].second.size() + 1) << i;
        ASSERT_LE(offset + descs[i].length, EngineCalls().paramValues.size());
        EXPECT_EQ(std::string(&EngineCalls().paramValues[offset], expected[i].second.size() + 1),
                  expected[i].second + '\0') << i;
        offset += descs[i].length;
    }
}

TEST_F(SessionDatabaseTest, SessionAliasLivesWhileConnected) {
    WriteAlias("SETRIXTEST_EDIT", "C:\\EDIT");
    std::vector<std::pair<int, AnsiString>> notices;
    Primary().OnDBNotify = [&](int kind, void* parameter) {
        if (kind == 4 || kind == 5) notices.emplace_back(kind, *static_cast<AnsiString*>(parameter));
    };
    // The alias's own name needs no session alias.
    auto same = NewDatabase("SETRIXTEST_EDIT", "SETRIXTEST_EDIT");
    same->OpenConnection();
    EXPECT_FALSE(same->SessionAlias());
    same->CloseConnection();
    EXPECT_TRUE(notices.empty());

    // A password alone needs none either; a value that overrides the alias's does.
    same->Params().Add("PASSWORD=secret");
    same->OpenConnection();
    EXPECT_FALSE(same->SessionAlias());
    same->CloseConnection();
    same->Params().SetValue("PhysicalName", "C:\\OTHER");
    same->OpenConnection();
    EXPECT_TRUE(same->SessionAlias());
    same->CloseConnection();
    notices.clear();

    auto database = NewDatabase("Btrieve", "SETRIXTEST_EDIT");
    database->OpenConnection();
    EXPECT_TRUE(database->SessionAlias());
    EXPECT_EQ(database->Params().Values("PhysicalName"), "C:\\EDIT");
    database->CloseConnection();
    EXPECT_FALSE(database->SessionAlias());
    using N = std::vector<std::pair<int, AnsiString>>;
    EXPECT_EQ(notices, (N{{4, "Btrieve"}, {5, "Btrieve"}}));
}

TEST_F(SessionDatabaseTest, SessionAliasKeepsADirectoryHoldingQuotesColonsAndSemicolons) {
    WriteAlias("SETRIXTEST_EDIT", "C:\\EDIT");
    const AnsiString directory = "C:\\A \"1\";B:2\"";
    auto database = NewDatabase("Btrieve", "SETRIXTEST_EDIT");
    database->Params().Add("PhysicalName=" + directory);
    database->OpenConnection();
    ASSERT_TRUE(database->SessionAlias());
    // The engine's record of the session alias holds every value whole.
    int32_t count = 0;
    std::vector<TEngineFieldDesc> descs;
    std::vector<char> values;
    List().engine->CurrentSession()->ReadCfgRecord(0, "\\DATABASES\\Btrieve\\DB INFO", &values, &descs, count);
    std::map<AnsiString, AnsiString> record;
    for (const TEngineFieldDesc& desc : descs) record[desc.name] = values.data() + desc.offset;
    EXPECT_EQ(record["PhysicalName"], directory);
    EXPECT_EQ(record["Description"], "test data");
    database->CloseConnection();
}

TEST_F(SessionDatabaseTest, FailedConnectLeavesNothingOpen) {
    auto database = NewDatabase("SETRIXTEST_NOSUCH");
    try {
        database->OpenConnection();
        FAIL() << "connected";
    } catch (const ETDBEngineError& error) {
        EXPECT_EQ(error.ErrorCode(), rc::UnknownDb);
    }
    EXPECT_FALSE(database->Connected());
    EXPECT_EQ(List().engine->Sessions().Count(), 1);
}

TEST_F(SessionDatabaseTest, DuplicateNamesAndSharedHandles) {
    auto first = NewDatabase("C:\\DATA");
    EXPECT_EQ(ErrorText([] { NewDatabase("c:\\data"); }), "Duplicate database name 'c:\\data'");
    // Renaming a database to its own name is no duplicate.
    first->SetSessionName("Btrieve");
    first->SetHandleShared(true);
    auto second = platform::NewUnownedComponent<TTestDatabase>();
    second->SetHandleShared(true);
    second->SetDatabaseName("C:\\DATA");
    first->OpenConnection();
    second->OpenConnection();
    EXPECT_EQ(second->Handle(), first->Handle());
    second->CloseConnection();
    EXPECT_TRUE(first->Connected());
    EXPECT_EQ(List().engine->Sessions().Count(), 1);
}

TEST_F(SessionDatabaseTest, SessionHandsOutTemporaryDatabases) {
    TQnDatabase* database = Primary().OpenDatabaseByName("C:\\DATA");
    EXPECT_TRUE(database->Temporary());
    EXPECT_TRUE(database->Connected());
    EXPECT_EQ(database->RefCount(), 1);
    EXPECT_EQ(Primary().OpenDatabaseByName("c:\\data"), database);
    EXPECT_EQ(database->RefCount(), 2);
    Primary().CloseDatabase(database);
    Primary().CloseDatabase(database);
    EXPECT_TRUE(database->Connected());  // KeepConnections
    database->SetKeepConnection(false);  // no request holds it: closed at once
    EXPECT_FALSE(database->Connected());
    EXPECT_THROW(Primary().OpenDatabaseByName("SETRIXTEST_NOSUCH"), ETDBEngineError);
    EXPECT_EQ(Primary().FindDatabase("SETRIXTEST_NOSUCH"), nullptr);
    Primary().SetActive(false);
    EXPECT_EQ(Primary().DatabaseCount(), 0);  // temporary ones are freed
}

TEST_F(SessionDatabaseTest, MovingADatabaseToAnotherSessionKeepsItsName) {
    auto second = platform::NewUnownedComponent<TTestSession>();
    second->SetSessionName("Second");
    auto database = NewDatabase("C:\\DATA");
    // The database joins the new session before its name is checked there: it is
    // not a duplicate of itself.
    database->SetSessionName("Second");
    EXPECT_EQ(database->Session(), second.get());
    EXPECT_EQ(database->DatabaseName(), "C:\\DATA");
    database->OpenConnection();
    EXPECT_TRUE(second->Active());
    database->CloseConnection();
}

TEST_F(SessionDatabaseTest, DatasetOfANamedSessionLeavesThePrimarySessionsDatabaseAlone) {
    auto second = platform::NewUnownedComponent<TTestSession>();
    second->SetSessionName("Second");
    for (bool connected : {true, false}) {
        SCOPED_TRACE(connected);
        auto database = NewDatabase("C:\\DATA");
        const AnsiString ownSessionName = database->SessionName();
        if (connected) database->OpenConnection();
        auto table = platform::NewUnownedComponent<TTestTable>();
        table->SetSessionName("Second");
        table->SetDatabaseName("C:\\DATA");
        table->SetTableName("T");
        table->OpenDataSet();
        ASSERT_NE(table->Database(), nullptr);
        EXPECT_NE(table->Database(), database.get());
        EXPECT_EQ(table->Database()->Session(), second.get());
        EXPECT_EQ(database->Session(), &Primary());
        EXPECT_EQ(database->SessionName(), ownSessionName);
        EXPECT_EQ(database->Connected(), connected);
        table->CloseDataSet();
    }
}

TEST_F(SessionDatabaseTest, DatabaseNamingALaterSessionJoinsItForItsDataset) {
    auto database = NewDatabase("C:\\DATA");
    database->SetSessionName("Later");  // no such session yet: it waits in the primary one
    EXPECT_EQ(database->Session(), &Primary());
    auto later = platform::NewUnownedComponent<TTestSession>();
    later->SetSessionName("Later");
    auto table = platform::NewUnownedComponent<TTestTable>();
    table->SetSessionName("Later");
    table->SetDatabaseName("C:\\DATA");
    table->SetTableName("T");
    table->OpenDataSet();
    EXPECT_EQ(table->Database(), database.get());
    EXPECT_EQ(database->Session(), later.get());
    table->CloseDataSet();
}

TEST_F(SessionDatabaseTest, DatasetsThatStayRegisteredDoNotHoldTheClose) {
    auto database = NewDatabase("C:\\DATA");
    database->OpenConnection();
    auto table = platform::NewUnownedComponent<TTestTable>();
    table->SetDatabaseName("C:\\DATA");
    table->SetTableName("T");
    table->OpenDataSet();
    // A client that is not a table of this library cannot be asked to close.
    platform::TDataSet* stranger = table.get();
    database->AttachClient(stranger);
    database->CloseConnection();
    EXPECT_FALSE(database->Connected());
    EXPECT_EQ(database->ClientDataSetCount(), 0);
}

TEST_F(SessionDatabaseTest, ConnectFailingAfterTheOpenClosesTheEngineDatabase) {
    auto database = NewDatabase("C:\\BADTYPE");
    try {
        database->OpenConnection();
        FAIL() << "connected";
    } catch (const ETDBEngineError& error) {
        EXPECT_EQ(error.ErrorCode(), rc::NotAvailable);
    }
    EXPECT_FALSE(database->Connected());
    auto* session = List().engine->CurrentSession();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->Databases().Count(), 0);
}

TEST_F(SessionDatabaseTest, DirectoriesOfAnActiveSessionComeFromTheEngine) {
    Primary().SetNetFileDir("c:\\net");
    EXPECT_EQ(Primary().NetFileDir(), "C:\\NET");
    Primary().SetActive(true);
    // Active: the engine session's answer, the process's current directory, in upper case.
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof current, current);
    ASSERT_NE(platform::AnsiUpperCase(current), "C:\\NET");
    EXPECT_EQ(Primary().NetFileDir(), platform::AnsiUpperCase(current));
    Primary().SetPrivateDir("c:\\private");
    EXPECT_EQ(Primary().PrivateDir(), "C:\\PRIVATE");
    // The configuration mode lives in the engine session; mode 7 is taken as 2.
    for (int32_t mode : {1, 0, 3}) {
        Primary().SetConfigMode(mode);
        EXPECT_EQ(Primary().GetConfigMode(), mode);
    }
    Primary().SetConfigModeMapped(7);
    EXPECT_EQ(Primary().GetConfigMode(), 2);
}

TEST_F(SessionDatabaseTest, PublishedPropertiesReachTheAccessors) {
    auto table = platform::NewUnownedComponent<TTestTable>();
    const platform::TClassInfo& info = TTestTable::StaticClassInfo();
    info.FindProperty("DatabaseName")->Write(*table, platform::Variant("C:\\DATA"));
    info.FindProperty("TableName")->Write(*table, platform::Variant("T"));
    info.FindProperty("Active")->Write(*table, platform::Variant(true));
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(info.FindProperty("IndexName")->Read(*table).AsString(), "");
    auto database = platform::NewUnownedComponent<TTestDatabase>();
    const platform::TClassInfo& databaseInfo = TTestDatabase::StaticClassInfo();
    databaseInfo.FindProperty("AliasName")->Write(*database, platform::Variant("SETRIXTEST_EDIT"));
    EXPECT_EQ(database->AliasName(), "SETRIXTEST_EDIT");
    EXPECT_EQ(databaseInfo.FindProperty("TransIsolation")->Read(*database).AsString(), "tiReadCommitted");
}

TEST_F(SessionDatabaseTest, DatabasesOutlivingTheirSessionJoinThePrimary) {
    auto second = platform::NewUnownedComponent<TTestSession>();
    second->SetSessionName("Second");
    platform::NewComponent<TTestDatabase>(*second)->SetDatabaseName("C:\\OWNED");
    auto database = NewDatabase("C:\\DATA");
    database->SetSessionName("Second");
    database->OpenConnection();
    second.reset();
    EXPECT_FALSE(database->Connected());
    EXPECT_EQ(database->Session(), &Primary());
    EXPECT_EQ(database->SessionName(), "");
    database->OpenConnection();
    EXPECT_TRUE(database->Connected());
}

TEST_F(SessionDatabaseTest, KeptTemporaryDatabaseFollowsItsAlias) {
    // A table naming the alias itself gets a temporary database, which stays connected
    // after the table closes; once the alias points elsewhere the next table must not
    // be served from the old directory.
    auto directoryOfNewTable = [] {
        auto table = platform::NewUnownedComponent<TTestTable>();
        table->SetDatabaseName("SETRIXTEST_EDIT");
        table->SetTableName("T");
        table->OpenDataSet();
        EXPECT_TRUE(table->Database()->Temporary());
        const AnsiString directory = table->Database()->Handle()->GetDirectory();
        const TQnDatabase* database = table->Database();
        table->CloseDataSet();
        return std::make_pair(directory, database);
    };
    WriteAlias("SETRIXTEST_EDIT", "C:\\EDIT");
    const auto first = directoryOfNewTable();
    EXPECT_EQ(first.first, "C:\\EDIT");
    ASSERT_EQ(Primary().FindDatabase("SETRIXTEST_EDIT"), first.second);
    EXPECT_TRUE(first.second->Connected());  // KeepConnections
    const auto again = directoryOfNewTable();
    EXPECT_EQ(again.second, first.second);  // unchanged alias: the kept database serves

    WriteAlias("SETRIXTEST_EDIT", "C:\\OTHER");
    const auto moved = directoryOfNewTable();
    EXPECT_EQ(moved.first, "C:\\OTHER");
    EXPECT_EQ(Primary().DatabaseCount(), 1);

    // Disconnected but kept, its parameters still hold the old place.
    Primary().FindDatabase("SETRIXTEST_EDIT")->SetKeepConnection(false);
    ASSERT_EQ(Primary().FindDatabase("SETRIXTEST_EDIT"), moved.second);
    EXPECT_FALSE(moved.second->Connected());
    WriteAlias("SETRIXTEST_EDIT", "C:\\THIRD");
    EXPECT_EQ(directoryOfNewTable().first, "C:\\THIRD");
}

TEST_F(SessionDatabaseTest, TemporaryDatabaseClosedUnderItsTableSurvivesItsOwnClose) {
    // Without kept connections the table's close frees its temporary database; when
    // that close comes from the database's own disconnect, the database is still at
    // work and must not be freed under it.
    Primary().SetKeepConnections(false);
    auto table = platform::NewUnownedComponent<TTestTable>();
    table->SetDatabaseName("C:\\DATA");
    table->SetTableName("T");
    table->OpenDataSet();
    TQnDatabase* database = table->Database();
    ASSERT_TRUE(database->Temporary());
    database->CloseConnection();
    EXPECT_FALSE(table->Active());
    ASSERT_EQ(Primary().FindDatabase("C:\\DATA"), database);
    EXPECT_FALSE(database->Connected());
    table->OpenDataSet();
    EXPECT_EQ(table->Database(), database);
    table->CloseDataSet();
    EXPECT_EQ(Primary().FindDatabase("C:\\DATA"), nullptr);  // an ordinary last close frees it
}

TEST_F(SessionDatabaseTest, FailedConnectTakesItsSessionAliasAway) {
    WriteAlias("SETRIXTEST_EDIT", "C:\\BADTYPE");
    std::vector<int> kinds;
    Primary().OnDBNotify = [&](int kind, void*) {
        if (kind == 4 || kind == 5) kinds.push_back(kind);
    };
    const int32_t mode = Primary().GetConfigMode();
    auto database = NewDatabase("Btrieve", "SETRIXTEST_EDIT");
    EXPECT_THROW(database->OpenConnection(), ETDBEngineError);
    EXPECT_FALSE(database->Connected());
    EXPECT_FALSE(database->SessionAlias());
    EXPECT_EQ(kinds, (std::vector<int>{4, 5}));
    EXPECT_EQ(Primary().GetConfigMode(), mode);
    platform::TStringList params;
    Primary().GetAliasParams("Btrieve", params);
    EXPECT_NE(params.Values("PhysicalName"), "C:\\BADTYPE");
    // The parameters merged from the alias stay.
    EXPECT_EQ(database->Params().Values("PhysicalName"), "C:\\BADTYPE");
}

TEST_F(SessionDatabaseTest, SessionLockHeldByOneThreadHoldsOffAnother) {
    // The nesting count belongs to the session, but the engine lock to a thread: a
    // second thread locking the same session waits for the first. The lock counts the
    // threads it holds off, so the test knows when the other thread has tried.
    Primary().LockSession();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        Primary().LockSession();
        entered = true;
        List().lock.Signal();
        Primary().UnlockSession();
    });
    int waiting = 0;
    List().lock.WaitUntil([&](int held) {
        waiting = held;
        return held > 0 || entered;
    });
    EXPECT_FALSE(entered);
    EXPECT_EQ(waiting, 1);
    Primary().UnlockSession();
    other.join();
    EXPECT_TRUE(entered);
}
