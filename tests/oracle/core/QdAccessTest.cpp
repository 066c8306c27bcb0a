#include <gtest/gtest.h>

#include <vector>

#include "Fixtures.h"
#include "oracle/core/Assertion.h"
#include "oracle/core/QdAccess.h"

namespace oracle {
namespace {

using platform::Variant;

// An in-memory back end: a command "executes" into the rows 1..RowCount of one
// integer column, and the record set fetches them FetchRows at a time.
class FakeConnection : public TQdConnection {
public:
    std::vector<std::string> log;
    void Connect() override { connected_ = true; }
    void Disconnect() override { connected_ = false; }
    void StartTransaction() override { log.push_back("start"); }
    void Commit() override { log.push_back("commit"); }
    void Rollback() override { log.push_back("rollback"); }
    std::unique_ptr<TQdCommand> CreateCommand() override;
    std::unique_ptr<TQdRecordSet> CreateRecordSet() override;
};

class FakeCommand : public TQdCommand {
public:
    int rowCount = 0;
    int executions = 0;
    bool prepared = false;
    bool failUnprepare = false;  // as a client whose server is gone
    std::vector<std::string>* log = nullptr;
    void Prepare() override { prepared = true; }
    void Unprepare() override {
        prepared = false;
        if (log) log->push_back("unprepare");
        if (failUnprepare) throw platform::Exception("ORA-03113: end-of-file on communication channel");
    }
    bool GetPrepared() override { return prepared; }
    void Execute(int iterations) override {
        executions += iterations;
        if (afterExecute_) afterExecute_(Variant(iterations));
    }
    int GetCursorState() override { return 0; }
};

class FakeRecordSet : public TQdRecordSet {
public:
    FakeRecordSet() {
        AutoInitFields = false;
        test::AddField(*this, {"ID", dtInteger});
    }
    ~FakeRecordSet() override { Close(); }
    int fetches = 0;

    FakeCommand* Fake() { return static_cast<FakeCommand*>(Command()); }
    int32_t CurrentId() {
        TRecordBuffer record = AllocRecBuf();
        GetRecord(record.data());
        int32_t id;
        std::memcpy(&id, record.data(), sizeof(id));
        return id;
    }

protected:
    void CreateCommand() override {
        SetCommand(std::make_unique<FakeCommand>());
    }
    bool Fetch() override {
        FakeCommand* command = Fake();
        if (fetched_ >= command->rowCount) return false;
        ++fetches;
        if (uniDirectional_) {
            // Only the newest block is kept.
            while (firstItem_) {
                PItemHeader item = firstItem_;
                firstItem_ = item->Next;
                BlockManager().FreeItem(item);
            }
            lastItem_ = currentItem_ = nullptr;
        }
        for (int i = 0; i < fetchRows_ && fetched_ < command->rowCount; ++i) {
            PItemHeader item = BlockManager().AllocItem();
            const int32_t id = ++fetched_;
            std::memset(TBlockManager::ItemData(item), 0, static_cast<size_t>(RecordSize()));
            std::memcpy(TBlockManager::ItemData(item), &id, sizeof(id));
            AppendItem(item);
            // Numbers go on across blocks, also when older blocks were dropped.
            item->RecordNo = ++recordCount_ - recordNoOffset_;
        }
        return true;
    }
    void FreeData() override {
        TQdRecordSet::FreeData();
        fetched_ = 0;
    }

private:
    int fetched_ = 0;
};

std::unique_ptr<TQdCommand> FakeConnection::CreateCommand() { return std::make_unique<FakeCommand>(); }
std::unique_ptr<TQdRecordSet> FakeConnection::CreateRecordSet() { return std::make_unique<FakeRecordSet>(); }

std::unique_ptr<FakeRecordSet> OpenSet(int rows, int fetchRows, bool fetchAll, bool uniDirectional) {
    auto set = std::make_unique<FakeRecordSet>();
    set->Fake()->rowCount = rows;
    set->SetProp(prFetchRows, Variant(fetchRows));
    set->SetProp(prFetchAll, Variant(fetchAll));
    set->SetProp(prUniDirectional, Variant(uniDirectional));
    set->Open();
    return set;
}

TEST(RecordSet, FetchAllLoadsEverythingAtOpen) {
    auto set = OpenSet(10, 3, true, false);
    EXPECT_EQ(set->Fake()->executions, 1);
    EXPECT_EQ(set->fetches, 4);
    EXPECT_EQ(set->GetRecordCount(), 10);
}

TEST(RecordSet, NextFetchesBlocksOnDemand) {
    for (bool uniDirectional : {false, true}) {
        SCOPED_TRACE(uniDirectional);
        auto set = OpenSet(10, 3, false, uniDirectional);
        EXPECT_EQ(set->fetches, 1);
        std::vector<int32_t> seen;
        for (set->GetNextRecord(nullptr); !set->Eof(); set->GetNextRecord(nullptr)) seen.push_back(set->CurrentId());
        EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        EXPECT_EQ(set->fetches, 4);
    }
}

TEST(RecordSet, AUniDirectionalSetCannotGoBack) {
    auto set = OpenSet(10, 3, false, true);
    set->GetNextRecord(nullptr);
    set->GetNextRecord(nullptr);
    set->GetPriorRecord(nullptr);
    EXPECT_TRUE(set->Bof());
    EXPECT_EQ(set->GetRecordNo(), 0);

    auto both = OpenSet(10, 3, false, false);
    both->GetNextRecord(nullptr);
    both->GetNextRecord(nullptr);
    both->GetPriorRecord(nullptr);
    EXPECT_EQ(both->CurrentId(), 1);
}

// A unidirectional set keeps only its newest block, so a delete of the block's last
// record must not fetch the next block first (that would free the record).
TEST(RecordSet, AUniDirectionalSetDeletesTheLastRecordOfItsBlock) {
    const struct {
        bool uniDirectional;
        int32_t currentAfter;  // the successor when it could be fetched, else the predecessor
    } cases[] = {{false, 4}, {true, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uniDirectional);
        auto set = OpenSet(10, 3, false, c.uniDirectional);
        for (int i = 0; i < 3; ++i) set->GetNextRecord(nullptr);
        ASSERT_EQ(set->CurrentId(), 3);
        set->DeleteRecord();
        std::vector<int32_t> seen{set->CurrentId()};
        for (set->GetNextRecord(nullptr); !set->Eof(); set->GetNextRecord(nullptr)) seen.push_back(set->CurrentId());
        std::vector<int32_t> expected{c.currentAfter};
        for (int32_t id = 4; id <= 10; ++id)
            if (id != c.currentAfter) expected.push_back(id);
        EXPECT_EQ(seen, expected);
    }
}

TEST(RecordSet, SetRecordNoFetchesAsFarAsNeeded) {
    auto set = OpenSet(10, 3, false, false);
    set->SetRecordNo(8);
    EXPECT_EQ(set->CurrentId(), 8);
    EXPECT_EQ(set->fetches, 3);
}

// Fetching replaces a unidirectional set's records: the walk goes on in what arrived.
TEST(RecordSet, AUniDirectionalSetFetchesForwardToARecordNumber) {
    auto set = OpenSet(10, 3, false, true);
    set->GetNextRecord(nullptr);
    set->SetRecordNo(8);
    EXPECT_EQ(set->CurrentId(), 8);
    EXPECT_EQ(set->GetRecordNo(), 8);
    set->GetNextRecord(nullptr);
    EXPECT_EQ(set->CurrentId(), 9);
}

TEST(RecordSet, IsUnpreparedBeforeItsCommandIsFreed) {
    std::vector<std::string> log;
    auto set = OpenSet(3, 3, false, false);
    set->Fake()->log = &log;
    set->Close();
    EXPECT_EQ(log, (std::vector<std::string>{"unprepare"}));
    set->Prepare();
    set.reset();  // the command is still there to unprepare
    EXPECT_EQ(log, (std::vector<std::string>{"unprepare", "unprepare"}));
}

// Nothing a destructor runs may end the program: a failing unprepare is dropped there.
TEST(RecordSet, ACommandFailingToUnprepareStillLetsTheRecordSetGo) {
    std::vector<std::string> log;
    auto set = OpenSet(3, 3, false, false);
    set->Close();
    set->Prepare();
    set->Fake()->log = &log;
    set->Fake()->failUnprepare = true;
    set.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"unprepare"}));
}

TEST(RecordSet, PropertiesAndEvents) {
    FakeRecordSet set;
    set.SetProp(prKeepEmptyStrings, Variant(true));
    EXPECT_TRUE(set.KeepEmptyStrings);
    set.SetProp(prLongStrings, Variant(false));
    EXPECT_FALSE(set.LongStrings());
    for (int event : {evRecordSetExecuted, evAllRowsFetched, evBlockFetch})
        EXPECT_TRUE(set.AssignEvent(event, [](const Variant&) {}));
    Variant value;
    try {
        set.GetProp(prFetchRows, value);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Unit(), "QdAccess");
        EXPECT_NE(std::string(e.what()).find("21"), std::string::npos);
    }
    EXPECT_THROW(set.SetProp(99, Variant(1)), EAssertionFailed);
    EXPECT_THROW(set.AssignEvent(evAfterExecute, nullptr), EAssertionFailed);
}

TEST(Command, BasePropertiesEventsAndParameters) {
    FakeConnection connection;
    auto command = connection.CreateCommand();
    Variant value(true);
    EXPECT_TRUE(command->GetProp(prCommandHasCursor, value));
    EXPECT_FALSE(value.AsBoolean());
    EXPECT_TRUE(command->GetProp(prExecuting, value));
    EXPECT_FALSE(value.AsBoolean());
    EXPECT_THROW(command->GetProp(prAutoCommit, value), EAssertionFailed);
    command->SetProp(prAutoCommit, Variant(true));
    EXPECT_TRUE(command->AutoCommit());

    int executed = 0;
    command->AssignEvent(evAfterExecute, [&executed](const Variant& iterations) { executed += iterations.AsInteger(); });
    command->Execute(2);
    EXPECT_EQ(executed, 2);

    TParamDesc* id = command->AddParam();
    id->SetName("ID");
    command->AddParam()->SetName("NAME");
    EXPECT_EQ(command->FindParam("id"), id);
    EXPECT_EQ(command->FindParam("other"), nullptr);
    EXPECT_EQ(command->ParamAt(1)->GetName(), "NAME");
    EXPECT_FALSE(id->SetValue(Variant(5)));
    EXPECT_TRUE(id->SetValue(Variant::Null()));
    EXPECT_TRUE(id->GetNull());
    EXPECT_TRUE(id->SetValue(Variant()));
    command->ClearParams();
    EXPECT_EQ(command->ParamCount(), 0);
}

TEST(Connection, KeepsLogInValuesAndAutoCommit) {
    FakeConnection connection;
    connection.SetUsername("scott");
    connection.SetPassword(nullptr);
    connection.SetServer("orcl");
    EXPECT_EQ(connection.Username(), "scott");
    EXPECT_EQ(connection.Password(), "");
    connection.Connect();
    EXPECT_TRUE(connection.GetConnected());
    EXPECT_TRUE(connection.SetProp(prAutoCommit, Variant(true)));
    EXPECT_TRUE(connection.AutoCommit());
    EXPECT_THROW(connection.SetProp(prFetchRows, Variant(1)), EAssertionFailed);
    Variant value;
    EXPECT_THROW(connection.GetProp(prAutoCommit, value), EAssertionFailed);
}

}  // namespace
}  // namespace oracle
