// Non-blocking opens and fetches of the Oracle record set against the stand-in server. A
// statement is made slow by holding it in the server until the test releases it, so that
// every step waits on an event and none on the clock.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OCIRecordSet.h"
#include "oracle/oci/OciLoader.h"
#include "platform/Application.h"
#include "platform/SysUtils.h"
#include "standins/oracle/client/StandinControl.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using platform::Variant;

using testing::PumpPending;
using testing::PumpUntilDone;

// Logged on as a user of its own, so that the statements the server holds are this test's.
class OCIRecordSetBackgroundTest : public testing::StandinLogOnTest {
protected:
    void SetUp() override {
        StandinLogOnTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        user_ = "RSBG" + testing::UniqueNameSuffix();
        table_ = "RSBG_ROWS" + testing::UniqueNameSuffix();
        RunAsSystem("CREATE USER " + user_ + " IDENTIFIED BY PW");
        Run("CREATE TABLE " + table_ + " (ID NUMBER(9), NAME VARCHAR2(20))");
        for (int i = 1; i <= kRows; ++i)
            Run("INSERT INTO " + table_ + " VALUES (" + std::to_string(i) + ", 'row " + std::to_string(i) + "')");
        Run("COMMIT");
        mine_.SetUsername(user_.c_str());
        mine_.SetPassword("PW");
        mine_.SetServer(server_);
        mine_.Connect();
        platform::SetApplicationOnException(
            [this](platform::TComponent*, const std::exception& error) { reported_.push_back(error.what()); });
    }
    void TearDown() override {
        platform::SetApplicationOnException({});
        if (mine_.GetConnected()) {
            mine_.Disconnect();
            Run("DROP TABLE " + table_);
            RunAsSystem("DROP USER " + user_);
        }
        StandinLogOnTest::TearDown();
    }

    void RunAsSystem(const std::string& sql) {
        TOCIConnection system;
        system.SetUsername("SYSTEM");
        system.SetPassword("MANAGER");
        system.SetServer(server_);
        system.Connect();
        std::unique_ptr<TQdCommand> command = system.CreateCommand();
        command->SetSQL(sql);
        command->Execute(1);
    }

    // A record set of this test's user over its rows, non-blocking, its reports counted.
    std::unique_ptr<TOCIRecordSet> Rows(int fetchRows, bool fetchAll) {
        std::unique_ptr<TQdRecordSet> created = mine_.CreateRecordSet();
        std::unique_ptr<TOCIRecordSet> recordSet(static_cast<TOCIRecordSet*>(created.release()));
        recordSet->SetSQL("SELECT ID, NAME FROM " + table_ + " ORDER BY ID");
        recordSet->OCICommand()->SetProp(prNonBlocking, Variant(true));
        recordSet->SetProp(prFetchRows, Variant(fetchRows));
        recordSet->SetProp(prFetchAll, Variant(fetchAll));
        recordSet->AssignEvent(evRecordSetExecuted, [this](const Variant& success) { opened_.push_back(success.AsBoolean()); });
        recordSet->AssignEvent(evAllRowsFetched, [this](const Variant& success) { fetched_.push_back(success.AsBoolean()); });
        // Described now: the describe is a statement of its own, on this thread.
        recordSet->Prepare();
        return recordSet;
    }
    void HoldNextStatement() { orastandin::InstallServerHook(server_, "execute:1:hold@" + user_); }
    void ReleaseStatement() { orastandin::InstallServerHook(server_, "execute:0:release@" + user_); }

    // The ids read from the current position to the end.
    static std::vector<int> ReadIds(TOCIRecordSet& recordSet) {
        TRecordBuffer record = recordSet.AllocRecBuf();
        std::vector<int> ids;
        for (recordSet.GetNextRecord(record.data()); !recordSet.Eof(); recordSet.GetNextRecord(record.data())) {
            Variant id;
            recordSet.GetFieldAsVariant(1, record.data(), id);
            ids.push_back(id.AsInteger());
        }
        return ids;
    }
    static std::vector<int> Ids(int from, int to) {
        std::vector<int> ids;
        for (int i = from; i <= to; ++i) ids.push_back(i);
        return ids;
    }

    static constexpr int kRows = 40;
    std::string user_;
    std::string table_;
    TOCIConnection mine_;
    std::vector<bool> opened_;
    std::vector<bool> fetched_;
    std::vector<std::string> reported_;
};

TEST_F(OCIRecordSetBackgroundTest, TheCallerGoesOnBeforeTheRowsOfASlowStatementArrive) {
    auto recordSet = Rows(15, false);
    HoldNextStatement();
    recordSet->Open();
    // The statement is still held in the server: nothing has come yet.
    EXPECT_TRUE(recordSet->OCICommand()->Executing());
    EXPECT_TRUE(recordSet->Eof());
    EXPECT_EQ(recordSet->GetRecordCount(), 0);
    EXPECT_TRUE(opened_.empty());

    ReleaseStatement();
    PumpUntilDone([&] { return !opened_.empty(); });
    EXPECT_EQ(opened_, std::vector<bool>{true});
    EXPECT_FALSE(recordSet->OCICommand()->Executing());
    EXPECT_EQ(recordSet->GetRecordCount(), 15);  // the first block came with the open
    // The first record is current; the others are fetched as the reader goes on.
    TRecordBuffer record = recordSet->AllocRecBuf();
    recordSet->GetRecord(record.data());
    Variant id;
    recordSet->GetFieldAsVariant(1, record.data(), id);
    EXPECT_EQ(id.AsInteger(), 1);
    EXPECT_EQ(ReadIds(*recordSet), Ids(2, kRows));
    EXPECT_TRUE(reported_.empty());
    recordSet->Close();
}

TEST_F(OCIRecordSetBackgroundTest, BreakExecInterruptsABackgroundOpen) {
    auto recordSet = Rows(15, false);
    HoldNextStatement();
    recordSet->Open();
    // A break sent before the statement reaches the server is lost: it is sent again.
    PumpUntilDone([&] { return !opened_.empty(); }, [&] { recordSet->OCICommand()->BreakExec(); });
    EXPECT_EQ(opened_, std::vector<bool>{false});
    EXPECT_FALSE(recordSet->OCICommand()->Executing());
    ASSERT_EQ(reported_.size(), 1u);
    EXPECT_EQ(reported_[0].rfind("ORA-01013", 0), 0u) << reported_[0];
    EXPECT_EQ(recordSet->GetRecordCount(), 0);

    // The record set opens again as if nothing had happened.
    recordSet->Close();
    recordSet->Open();
    PumpUntilDone([&] { return opened_.size() == 2; });
    EXPECT_EQ(opened_.back(), true);
    recordSet->SetToBegin();
    EXPECT_EQ(ReadIds(*recordSet), Ids(1, kRows));
    recordSet->Close();
}

TEST_F(OCIRecordSetBackgroundTest, ClosingStopsARunningOpenAndDropsItsReport) {
    auto recordSet = Rows(15, false);
    HoldNextStatement();
    recordSet->Open();
    recordSet->Close();  // interrupts the held statement and waits for the worker
    EXPECT_FALSE(recordSet->OCICommand()->Executing());
    // The worker's report was posted before the close returned: it is in the queue now.
    PumpPending();
    EXPECT_TRUE(opened_.empty());
    EXPECT_TRUE(reported_.empty());
    EXPECT_EQ(recordSet->GetRecordCount(), 0);

    // Freed while its open runs: the record set waits for the worker it started.
    HoldNextStatement();
    recordSet->Open();
    recordSet.reset();
    PumpPending();
    EXPECT_TRUE(opened_.empty());
}

// Holds the client's fetch of the third block (the open fetches the first, the fetch of all
// rows starts with the second) until a thread waits for the record set's rows: the reader
// must wait at the last row fetched so far.
struct THeldFetchState {
    TOCIRecordSet* recordSet = nullptr;
    oci::OCIStmtFetchProc fetch = nullptr;
    HANDLE reading = nullptr;
    std::atomic<bool> readerDone{false};
    std::atomic<bool> readerWaited{false};
    int calls = 0;
    int rowsBefore = -1;
};

class THeldThirdFetch {
public:
    explicit THeldThirdFetch(TOCIRecordSet& recordSet) : override_(Oci.OCIStmtFetch, Arm(recordSet)) {}
    ~THeldThirdFetch() {
        ReaderDone();
        CloseHandle(state_.reading);
    }
    // From now on a thread that waits for rows is the reader (the owner no longer waits for
    // the start of the fetch of all rows).
    void ReaderStarts() { SetEvent(state_.reading); }
    // A reader that never waits lets the held fetch go too.
    void ReaderDone() {
        state_.readerDone = true;
        SetEvent(state_.reading);
    }
    bool ReaderWaited() const { return state_.readerWaited; }
    // Rows fetched when the third fetch was asked for.
    int RowsBeforeTheHold() const { return state_.rowsBefore; }

private:
    static oci::OCIStmtFetchProc Arm(TOCIRecordSet& recordSet) {
        state_.recordSet = &recordSet;
        state_.fetch = Oci.OCIStmtFetch;
        state_.reading = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        state_.readerDone = false;
        state_.readerWaited = false;
        state_.calls = 0;
        state_.rowsBefore = -1;
        return &Fetch;
    }
    static oci::sword OCI_CALL Fetch(oci::OCIStmt* statement, oci::OCIError* error, oci::ub4 rows,
                                     oci::ub2 orientation, oci::ub4 mode) {
        if (++state_.calls == 3) {
            state_.rowsBefore = state_.recordSet->GetRecordCount();
            WaitForSingleObject(state_.reading, INFINITE);
            while (!state_.readerWaited && !state_.readerDone)
                state_.readerWaited = state_.recordSet->AwaitWaitingReader(50);
        }
        return state_.fetch(statement, error, rows, orientation, mode);
    }

    static inline THeldFetchState state_;
    testing::TEntryOverride<oci::OCIStmtFetchProc> override_;
};

TEST_F(OCIRecordSetBackgroundTest, ABackgroundFetchOfAllRowsDeliversThemInOrder) {
    auto recordSet = Rows(7, true);
    {
        THeldThirdFetch held(*recordSet);
        recordSet->Open();
        PumpUntilDone([&] { return !opened_.empty(); });
        EXPECT_EQ(opened_, std::vector<bool>{true});
        // The rest comes on a worker while this thread reads: a reader at the last row fetched
        // waits for the next block, never taking the end of the rows fetched so far for the end.
        held.ReaderStarts();
        recordSet->SetToBegin();
        EXPECT_EQ(ReadIds(*recordSet), Ids(1, kRows));
        held.ReaderDone();
        EXPECT_TRUE(held.ReaderWaited());
        EXPECT_EQ(held.RowsBeforeTheHold(), 14);
        PumpUntilDone([&] { return !fetched_.empty(); });
    }
    EXPECT_EQ(fetched_, std::vector<bool>{true});
    EXPECT_TRUE(recordSet->AllFetched());
    EXPECT_EQ(recordSet->GetRecordCount(), kRows);
    EXPECT_EQ(recordSet->OCICommand()->GetCursorState(), csFetched);

    // SetToEnd waits for a running fetch of all rows; the last row is then the one before the end.
    recordSet->Close();
    recordSet->Open();
    PumpUntilDone([&] { return opened_.size() == 2; });
    recordSet->SetToEnd();
    EXPECT_EQ(recordSet->GetRecordCount(), kRows);
    TRecordBuffer record = recordSet->AllocRecBuf();
    recordSet->GetPriorRecord(record.data());
    Variant id;
    recordSet->GetFieldAsVariant(1, record.data(), id);
    EXPECT_EQ(id.AsInteger(), kRows);
    PumpUntilDone([&] { return fetched_.size() == 2; });
    recordSet->Close();
    EXPECT_TRUE(reported_.empty());
}

TEST_F(OCIRecordSetBackgroundTest, OpensAndClosesInQuickSuccessionLeaveNoTornState) {
    auto recordSet = Rows(3, false);
    for (int i = 0; i < 30; ++i) {
        recordSet->SetProp(prFetchAll, Variant(i % 2 == 0));
        recordSet->Open();
        // Some runs are read from before their report comes, some are closed at once.
        if (i % 3 == 0) EXPECT_EQ(ReadIds(*recordSet), Ids(1, kRows)) << "run " << i;
        if (i % 5 == 0) PumpPending();
        recordSet->Close();
        EXPECT_EQ(recordSet->GetRecordCount(), 0);
        EXPECT_FALSE(recordSet->OCICommand()->Executing());
    }
    // Reports of closed runs are dropped; the ones dispatched in between came before a close.
    PumpPending();
    const size_t reports = opened_.size();
    const size_t fetchReports = fetched_.size();
    for (bool success : opened_) EXPECT_TRUE(success);
    for (bool success : fetched_) EXPECT_TRUE(success);
    EXPECT_TRUE(reported_.empty());

    recordSet->SetProp(prFetchAll, Variant(true));
    recordSet->Open();
    PumpUntilDone([&] { return opened_.size() == reports + 1 && fetched_.size() == fetchReports + 1; });
    EXPECT_TRUE(recordSet->AllFetched());
    EXPECT_EQ(recordSet->GetRecordCount(), kRows);
    recordSet->SetToBegin();
    EXPECT_EQ(ReadIds(*recordSet), Ids(1, kRows));
    recordSet->Close();
}

}  // namespace
}  // namespace oracle
