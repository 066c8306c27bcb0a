#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/WaitCursor.h"
#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OCIRecordSet.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraDataSet.h"
#include "oracle/oci/OraFields.h"
#include "oracle/oci/OraNestedTable.h"
#include "oracle/oci/OraSQL.h"
#include "platform/Application.h"
#include "platform/DBScreen.h"
#include "platform/Field.h"
#include "platform/ScopeExit.h"
#include "standins/oracle/client/StandinControl.h"
#include "tests/oracle/oci/OraQueryFixture.h"

namespace oracle {
namespace {

using platform::AnsiString;
using platform::Variant;
using testing::OraQueryTest;
using testing::TTextCapture;

std::unique_ptr<TOraDataSet> NewDataSet() { return platform::NewUnownedComponent<TOraDataSet>(); }

bool RecordSetProp(TOraDataSet& dataSet, int id) {
    Variant value;
    dataSet.OraRecordSet()->GetProp(id, value);
    return value.AsBoolean();
}

// ---------------------------------------------------------------- without a server

TEST(OraDataSetValues, DefaultsOfTheDataSetAndItsOptions) {
    auto dataSet = NewDataSet();
    EXPECT_EQ(dataSet->LockMode(), lmNone);
    EXPECT_EQ(dataSet->SequenceMode(), smPost);
    EXPECT_EQ(dataSet->FetchRows(), 25);
    EXPECT_TRUE(dataSet->AutoCommit());
    EXPECT_NE(dataSet->OraRecordSet(), nullptr);
    EXPECT_NE(dataSet->OraCommand(), nullptr);
    EXPECT_NE(dynamic_cast<TOraSQL*>(&dataSet->InnerSQL()), nullptr);
    const TOraDataSetOptions& options = dataSet->OptionsDS();
    const struct {
        const char* name;
        bool value;
        bool expected;
    } cases[] = {
        {"KeepPrepared", options.KeepPrepared(), false},   {"AutoClose", options.AutoClose(), false},
        {"FieldsOrigin", options.FieldsOrigin(), false},   {"DefaultValues", options.DefaultValues(), false},
        {"FieldsAsString", options.FieldsAsString(), false}, {"DeferredLobRead", options.DeferredLobRead(), false},
        {"CacheLobs", options.CacheLobs(), true},          {"RequiredFields", options.RequiredFields(), true},
        {"StrictUpdate", options.StrictUpdate, true},      {"TrimFixedChar", options.TrimFixedChar(), true},
        {"LongStrings", options.LongStrings(), true},      {"NumberRange", options.NumberRange(), false},
        {"QueryRecCount", options.QueryRecCount, false},   {"ReturnParams", options.ReturnParams, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value, c.expected) << c.name;
}

TEST(OraDataSetValues, OptionsReachTheRecordSetAndCommandAtOnce) {
    auto dataSet = NewDataSet();
    TOraDataSetOptions& options = dataSet->OptionsDS();
    options.SetKeepPrepared(true);
    options.SetAutoClose(true);
    options.SetDeferredLobRead(true);
    options.SetFieldsAsString(true);
    options.SetCacheLobs(false);
    dataSet->SetNonBlocking(true);
    EXPECT_TRUE(RecordSetProp(*dataSet, prKeepPrepared));
    EXPECT_TRUE(RecordSetProp(*dataSet, prAutoClose));
    EXPECT_TRUE(RecordSetProp(*dataSet, prDeferredLobRead));
    EXPECT_TRUE(dataSet->OraCommand()->FieldsAsString());
    EXPECT_FALSE(dataSet->OraCommand()->CacheLobs());
    EXPECT_TRUE(dataSet->OraCommand()->NonBlocking());
    // A session's record set takes the values the dataset holds.
    auto session = platform::NewUnownedComponent<TOraSession>();
    dataSet->SetSession(session.get());
    EXPECT_TRUE(RecordSetProp(*dataSet, prAutoClose));
    EXPECT_FALSE(dataSet->OraCommand()->CacheLobs());
    dataSet.reset();
}

TEST(OraDataSetValues, OptionsCopyLeavesDeferredLobReadBehind) {
    auto source = NewDataSet();
    auto target = NewDataSet();
    TOraDataSetOptions& options = source->OptionsDS();
    options.SetKeepPrepared(true);
    options.SetAutoClose(true);
    options.SetFieldsOrigin(true);
    options.SetDefaultValues(true);
    options.SetFieldsAsString(true);
    options.SetCacheLobs(false);
    options.SetDeferredLobRead(true);
    options.QueryRecCount = true;
    target->SetOptionsDS(options);
    const TOraDataSetOptions& copied = target->OptionsDS();
    EXPECT_TRUE(copied.KeepPrepared());
    EXPECT_TRUE(copied.AutoClose());
    EXPECT_TRUE(copied.FieldsOrigin());
    EXPECT_TRUE(copied.DefaultValues());
    EXPECT_TRUE(copied.FieldsAsString());
    EXPECT_FALSE(copied.CacheLobs());
    EXPECT_TRUE(copied.QueryRecCount);
    EXPECT_FALSE(copied.DeferredLobRead());
    // The copy reaches the target's command, not only its flags.
    EXPECT_TRUE(target->OraCommand()->FieldsAsString());
}

TEST(OraDataSetValues, KeyFieldsAreTrimmedAndSplitAtSemicolons) {
    const struct {
        const char* value;
        const char* stored;
        std::vector<std::string> names;
    } cases[] = {
        {"ID", "ID", {"ID"}},
        {"  ID ; CODE  ", "ID ; CODE", {"ID", "CODE"}},
        {"A;B;C", "A;B;C", {"A", "B", "C"}},
        {"A;;B;", "A;;B;", {"A", "B"}},
        {"", "", {}},
    };
    auto dataSet = NewDataSet();
    for (const auto& c : cases) {
        dataSet->SetKeyFields(c.value);
        EXPECT_EQ(dataSet->KeyFields(), c.stored) << c.value;
        std::vector<std::string> names;
        for (int i = 0; i < dataSet->KeyFieldDescs().Count(); ++i)
            names.push_back(dataSet->KeyFieldDescs().Items(i)->Name);
        EXPECT_EQ(names, c.names) << c.value;
    }
    dataSet->SetKeySequence("  SEQ_ID ");
    EXPECT_EQ(dataSet->KeySequence(), "SEQ_ID");
}

TEST(OraDataSetValues, LockSavepointNameKeepsTheLast25Characters) {
    const struct {
        const char* name;
        const char* savepoint;
    } cases[] = {
        {"Q1", "LOCK_Q1"},
        {"A234567890123456789012345", "LOCK_A234567890123456789012345"},
        {"A2345678901234567890123456", "LOCK_2345678901234567890123456"},
        {"Journal_Query_For_The_Installation_Step1", "LOCK_or_The_Installation_Step1"},
    };
    for (const auto& c : cases) {
        auto dataSet = NewDataSet();
        dataSet->SetName(c.name);
        EXPECT_EQ(dataSet->LockSavepointName(), c.savepoint) << c.name;
        EXPECT_LE(dataSet->LockSavepointName().size(), 30u);
    }
    // Unnamed datasets do not share one savepoint.
    auto first = NewDataSet();
    auto second = NewDataSet();
    EXPECT_EQ(first->LockSavepointName().substr(0, 5), "LOCK_");
    EXPECT_GT(first->LockSavepointName().size(), 5u);
    EXPECT_NE(first->LockSavepointName(), second->LockSavepointName());
}

TEST(OraDataSetValues, WithoutASessionTheDefaultSessionServes) {
    ASSERT_EQ(DefaultSession(), nullptr);
    auto dataSet = NewDataSet();
    EXPECT_EQ(dataSet->UsedConnection(), nullptr);
    auto first = platform::NewUnownedComponent<TOraSession>();
    EXPECT_EQ(dataSet->UsedConnection(), first.get());
    EXPECT_EQ(dataSet->Session(), nullptr);
    first.reset();
    EXPECT_EQ(dataSet->UsedConnection(), nullptr);
    auto next = platform::NewUnownedComponent<TOraSession>();
    EXPECT_EQ(dataSet->UsedConnection(), next.get());
    // A named session wins over the default one.
    auto own = platform::NewUnownedComponent<TOraSession>();
    dataSet->SetSession(own.get());
    EXPECT_EQ(dataSet->UsedConnection(), own.get());
    dataSet.reset();
}

TEST(OraDataSetValues, ProviderTableIsTheFirstOfTheFromList) {
    const struct {
        const char* sql;
        const char* table;
    } cases[] = {
        {"select * from scott.emp e, dept d where e.deptno = d.deptno", "SCOTT.EMP"},
        {"SELECT ID FROM journal", "JOURNAL"},
        {"SELECT 1 FROM (SELECT ID FROM T)", ""},
        {"BEGIN NULL; END;", ""},
    };
    for (const auto& c : cases) {
        auto dataSet = NewDataSet();
        dataSet->SetSQLText(c.sql);
        EXPECT_EQ(dataSet->ProviderTableName(), c.table) << c.sql;
    }
}

TEST(OraDataSetValues, SessionsMakeOracleDataSets) {
    auto session = platform::NewUnownedComponent<TOraSession>();
    const auto dataSet = session->NewDataSet();
    auto* oracleDataSet = dynamic_cast<TOraDataSet*>(dataSet.get());
    ASSERT_NE(oracleDataSet, nullptr);
    EXPECT_EQ(oracleDataSet->Session(), session.get());
}

TEST(OraDataSetValues, DataSetFieldsShowTheirRowsInNestedTables) {
    auto dataSet = NewDataSet();
    const auto field = OraFieldForType(platform::ftDataSet);
    field->SetFieldName("ITEMS");
    field->BindToDataSet(dataSet.get());
    auto& items = static_cast<platform::TDataSetField&>(*field);
    platform::TDataSet* nested = items.NestedDataSetOrNew();
    ASSERT_NE(nested, nullptr);
    EXPECT_NE(dynamic_cast<TOraNestedTable*>(nested), nullptr);
    EXPECT_EQ(nested->DataSetField(), &items);
}

// ---------------------------------------------------------------- against the stand-in server

// A screen whose cursor the wait cursor sets, for a test's time.
class TTestScreen {
public:
    TTestScreen() { platform::SetDBScreen(std::make_shared<TScreen>()); }
    ~TTestScreen() { platform::SetDBScreen(nullptr); }
    TTestScreen(const TTestScreen&) = delete;
    TTestScreen& operator=(const TTestScreen&) = delete;

private:
    struct TScreen : platform::IDBScreen {
        platform::TDBScreenCursor Cursor = platform::dcrDefault;
        platform::TDBScreenCursor GetCursor() override { return Cursor; }
        void SetCursor(platform::TDBScreenCursor cursor) override { Cursor = cursor; }
    };
};

// The failures that background work reports to the application's handler, for a test's time.
class TBackgroundReports {
public:
    TBackgroundReports() {
        platform::SetApplicationOnException(
            [this](platform::TComponent*, const std::exception& error) { texts_.push_back(error.what()); });
    }
    ~TBackgroundReports() { platform::SetApplicationOnException({}); }
    TBackgroundReports(const TBackgroundReports&) = delete;
    TBackgroundReports& operator=(const TBackgroundReports&) = delete;
    const std::vector<std::string>& Texts() const { return texts_; }

private:
    std::vector<std::string> texts_;
};

class OraDataSetTest : public OraQueryTest {
protected:
    std::unique_ptr<TOraDataSet> Open(const std::string& sql) {
        auto dataSet = NewDataSet();
        dataSet->SetSession(session_.get());
        dataSet->SetSQLText(sql);
        dataSet->OpenDataSet();
        return dataSet;
    }

    void FillNumbers(const std::string& table, int count) {
        MakeTable(table, "ID NUMBER(10)");
        for (int i = 1; i <= count; ++i) Exec("INSERT INTO " + table + " VALUES (" + std::to_string(i) + ")");
    }

    // A non-blocking dataset over the IDs of a table in order.
    std::unique_ptr<TOraDataSet> NonBlockingIds(const std::string& table, int fetchRows) {
        auto dataSet = NewDataSet();
        dataSet->SetSession(session_.get());
        dataSet->SetSQLText("SELECT ID FROM " + table + " ORDER BY ID");
        dataSet->SetFetchRows(fetchRows);
        dataSet->SetNonBlocking(true);
        return dataSet;
    }

    static std::vector<int> Numbers(int from, int to) {
        std::vector<int> numbers;
        for (int i = from; i <= to; ++i) numbers.push_back(i);
        return numbers;
    }

    // The ID values from the current record to the end.
    static std::vector<int> ReadIds(TOraDataSet& dataSet) {
        std::vector<int> ids;
        for (; !dataSet.Eof(); dataSet.MoveToNext()) ids.push_back(dataSet.FieldNamed("ID")->ReadAsInteger());
        return ids;
    }
};

TEST_F(OraDataSetTest, RowIdColumnIsHiddenAmongDefaultFields) {
    MakeTable("ORD_HIDE", "ID NUMBER(10), NAME VARCHAR2(20)");
    Exec("INSERT INTO ORD_HIDE VALUES (1, 'one')");
    auto dataSet = Open("SELECT ROWID, ID, NAME FROM ORD_HIDE");
    EXPECT_FALSE(dataSet->FieldNamed("ROWID")->Visible());
    EXPECT_FALSE(dataSet->FieldNamed("ROWID")->ReadAsString().empty());
    EXPECT_TRUE(dataSet->FieldNamed("ID")->Visible());
    EXPECT_TRUE(dataSet->FieldNamed("NAME")->Visible());
}

TEST_F(OraDataSetTest, ServerCountServesBeforeAllRowsAreFetched) {
    FillNumbers("ORD_COUNT", 30);
    const struct {
        const char* sql;
        int count;
        const char* countSQL;
    } cases[] = {
        {"SELECT ID FROM ORD_COUNT ORDER BY ID DESC", 30, "SELECT Count(*) FROM (\rSELECT ID FROM ORD_COUNT\r\n)"},
        {"SELECT ID FROM ORD_COUNT WHERE ID > :LOW", 20,
         "SELECT Count(*) FROM (\rSELECT ID FROM ORD_COUNT WHERE ID > :LOW\r\n)"},
        // A counting query may not lock: the clause stays with the query itself.
        {"SELECT ID FROM ORD_COUNT FOR UPDATE", 30, "SELECT Count(*) FROM (\rSELECT ID FROM ORD_COUNT)"},
        {"SELECT ID FROM ORD_COUNT WHERE ID IN (SELECT ID FROM ORD_COUNT) for update nowait", 30,
         "SELECT Count(*) FROM (\rSELECT ID FROM ORD_COUNT WHERE ID IN (SELECT ID FROM ORD_COUNT))"},
        // The closing parenthesis stays out of the line comment.
        {"SELECT ID FROM ORD_COUNT -- every row", 30, "SELECT Count(*) FROM (\rSELECT ID FROM ORD_COUNT -- every row\r\n)"},
    };
    for (const auto& c : cases) {
        TTextCapture capture;
        auto dataSet = NewDataSet();
        dataSet->SetSession(session_.get());
        dataSet->SetSQLText(c.sql);
        if (platform::TParam* low = dataSet->FindParam("LOW")) low->SetValue(Variant(int32_t{10}));
        dataSet->SetFetchRows(5);
        dataSet->Options().QueryRecCount = true;
        dataSet->OpenDataSet();
        EXPECT_FALSE(dataSet->AllRowsFetched()) << c.sql;
        EXPECT_EQ(dataSet->CountRecords(), c.count) << c.sql;
        EXPECT_TRUE(capture.Saw(c.countSQL)) << capture.All();
    }
}

TEST_F(OraDataSetTest, FetchEventsSurroundEveryBlock) {
    FillNumbers("ORD_FETCH", 10);
    auto dataSet = NewDataSet();
    dataSet->SetSession(session_.get());
    dataSet->SetSQLText("SELECT ID FROM ORD_FETCH");
    dataSet->SetFetchRows(3);
    std::string order;
    dataSet->BeforeFetch = [&](platform::TDataSet&) { order += "("; };
    dataSet->AfterFetch = [&](platform::TDataSet&) { order += ")"; };
    dataSet->OpenDataSet();
    while (!dataSet->Eof()) dataSet->MoveToNext();
    // Four blocks with rows and the call that finds the end, each wrapped.
    EXPECT_GE(order.size(), 8u);
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i % 2 == 0 ? '(' : ')') << order;
}

// With NonBlocking and FetchAll the background cursor and the disabled controls last until
// the fetch of all rows has ended, or until the dataset is closed before that.
TEST_F(OraDataSetTest, ANonBlockingFetchOfAllRowsGivesTheCursorBackAtItsEnd) {
    TTestScreen screen;
    const std::string table = "ORD_BACKGROUND" + testing::UniqueNameSuffix();
    FillNumbers(table, 30);
    for (const bool closeEarly : {false, true}) {
        auto dataSet = NonBlockingIds(table, 4);
        dataSet->SetFetchAll(true);
        dataSet->PrepareDataSet();
        WaitCursorTimerCheck(true);  // no SQL-wait cursor left from the statements before
        ASSERT_EQ(ScreenCursor(), crDefault);
        dataSet->OpenDataSet();
        EXPECT_EQ(ScreenCursor(), crBackground);
        EXPECT_TRUE(dataSet->ControlsDisabled());
        if (closeEarly) {
            dataSet->CloseDataSet();
            testing::PumpPending();  // the reports of the stopped work, if any, are dropped
        } else {
            testing::PumpUntilDone([&] { return dataSet->OraRecordSet()->AllFetched(); });
            EXPECT_EQ(dataSet->OraRecordSet()->GetRecordCount(), 30);
        }
        EXPECT_EQ(ScreenCursor(), crDefault) << (closeEarly ? "closed early" : "all fetched");
        EXPECT_FALSE(dataSet->ControlsDisabled());
        dataSet->CloseDataSet();
    }
    Exec("DROP TABLE " + table);
}

// A non-blocking open that fails closes the dataset and gives the cursor and the controls
// back, whether the failure comes at once on the caller's side or later from the worker (and
// reaches the application's handler).
TEST_F(OraDataSetTest, AFailedNonBlockingOpenGivesTheCursorAndTheControlsBack) {
    TTestScreen screen;
    TBackgroundReports reports;
    const std::string table = "ORD_BGFAIL" + testing::UniqueNameSuffix();
    FillNumbers(table, 3);
    const struct {
        const char* name;
        bool threadSafe;
        // Run once the statement is prepared.
        std::function<void()> beforeOpen;
        const char* error;
    } cases[] = {
        {"no thread safety", false, [] {}, "Session must be Thread Safety"},
        // Described before, gone when the worker runs the statement.
        {"the worker's statement fails", true, [&] { Exec("DROP TABLE " + table); }, "ORA-00942"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        session_->SetThreadSafety(c.threadSafe);
        auto dataSet = NonBlockingIds(table, 25);
        std::vector<bool> executed;
        dataSet->AfterExecute = [&](platform::TComponent&, bool success) { executed.push_back(success); };
        dataSet->PrepareDataSet();
        c.beforeOpen();
        WaitCursorTimerCheck(true);
        ASSERT_EQ(ScreenCursor(), crDefault);
        std::string raised;
        try {
            dataSet->OpenDataSet();
        } catch (const std::exception& e) {
            raised = e.what();
        }
        if (c.threadSafe) {
            EXPECT_EQ(raised, "");
            EXPECT_EQ(ScreenCursor(), crBackground);
            EXPECT_TRUE(dataSet->ControlsDisabled());
            // The end report and the failure come together.
            testing::PumpUntilDone([&] { return !executed.empty() || !reports.Texts().empty(); });
            EXPECT_EQ(executed, std::vector<bool>{false});
            ASSERT_EQ(reports.Texts().size(), 1u);
            EXPECT_EQ(reports.Texts()[0].rfind(c.error, 0), 0u) << reports.Texts()[0];
        } else {
            EXPECT_EQ(raised, c.error);
        }
        EXPECT_FALSE(dataSet->Active());
        EXPECT_EQ(ScreenCursor(), crDefault);
        EXPECT_FALSE(dataSet->ControlsDisabled());
    }
    session_->SetThreadSafety(true);
}

// Makes the client's third fetch fail (the open fetches the first block, the background
// fetch of all rows the second): it answers as the client does to a fetch on a statement
// that was never executed (ORA-01002).
class TFailingThirdFetch {
public:
    TFailingThirdFetch() : override_(Oci.OCIStmtFetch, Arm()) {}

private:
    static oci::OCIStmtFetchProc Arm() {
        fetch_ = Oci.OCIStmtFetch;
        calls_ = 0;
        return &Fetch;
    }
    static oci::sword OCI_CALL Fetch(oci::OCIStmt* statement, oci::OCIError* error, oci::ub4 rows,
                                     oci::ub2 orientation, oci::ub4 mode) {
        if (++calls_ != 3) return fetch_(statement, error, rows, orientation, mode);
        void* unexecuted = nullptr;
        Oci.OCIHandleAlloc(OciClient().Environment, &unexecuted, oci::OCI_HTYPE_STMT, 0, nullptr);
        const oci::sword status = fetch_(static_cast<oci::OCIStmt*>(unexecuted), error, rows, orientation, mode);
        Oci.OCIHandleFree(unexecuted, oci::OCI_HTYPE_STMT);
        return status;
    }

    static inline oci::OCIStmtFetchProc fetch_ = nullptr;
    static inline std::atomic<int> calls_{0};
    testing::TEntryOverride<oci::OCIStmtFetchProc> override_;
};

// A background fetch of all rows that fails gives the cursor and the controls back and
// leaves the rows fetched before it; the reader fetches the rest itself.
TEST_F(OraDataSetTest, AFailedNonBlockingFetchOfAllRowsGivesTheCursorBack) {
    TTestScreen screen;
    TBackgroundReports reports;
    const std::string table = "ORD_BGFETCH" + testing::UniqueNameSuffix();
    FillNumbers(table, 30);
    auto dataSet = NonBlockingIds(table, 7);
    dataSet->SetFetchAll(true);
    std::vector<bool> executed;
    dataSet->AfterExecute = [&](platform::TComponent&, bool success) { executed.push_back(success); };
    dataSet->PrepareDataSet();
    WaitCursorTimerCheck(true);
    {
        TFailingThirdFetch failing;
        dataSet->OpenDataSet();
        testing::PumpUntilDone([&] { return !executed.empty() && !reports.Texts().empty(); });
    }
    EXPECT_EQ(executed, std::vector<bool>{true});
    ASSERT_EQ(reports.Texts().size(), 1u);
    EXPECT_EQ(reports.Texts()[0].rfind("ORA-01002", 0), 0u) << reports.Texts()[0];
    EXPECT_EQ(ScreenCursor(), crDefault);
    EXPECT_FALSE(dataSet->ControlsDisabled());
    ASSERT_TRUE(dataSet->Active());
    EXPECT_FALSE(dataSet->OraRecordSet()->AllFetched());
    EXPECT_EQ(dataSet->OraRecordSet()->GetRecordCount(), 14);
    dataSet->MoveToFirst();
    EXPECT_EQ(ReadIds(*dataSet), Numbers(1, 30));
    dataSet->CloseDataSet();
    Exec("DROP TABLE " + table);
}

// A unidirectional dataset keeps one block: it never fetches all rows, in the background or
// not, and asking for that while it is open is refused with nothing changed.
TEST_F(OraDataSetTest, AUniDirectionalNonBlockingDataSetNeverFetchesAllRows) {
    const std::string table = "ORD_BGUNI" + testing::UniqueNameSuffix();
    FillNumbers(table, 30);
    auto dataSet = NonBlockingIds(table, 4);
    dataSet->SetFetchAll(true);
    dataSet->SetUniDirectional(true);
    EXPECT_FALSE(dataSet->FetchAll());
    EXPECT_FALSE(dataSet->OraRecordSet()->FetchAll());
    std::vector<bool> executed;
    dataSet->AfterExecute = [&](platform::TComponent&, bool success) { executed.push_back(success); };
    const auto readAll = [&] {
        dataSet->OpenDataSet();
        testing::PumpUntilDone([&] { return !executed.empty(); });
        executed.clear();
        return ReadIds(*dataSet);
    };
    EXPECT_EQ(readAll(), Numbers(1, 30));
    dataSet->CloseDataSet();

    dataSet->OpenDataSet();
    testing::PumpUntilDone([&] { return !executed.empty(); });
    executed.clear();
    EXPECT_THROW(dataSet->SetFetchAll(true), platform::EDatabaseError);
    EXPECT_FALSE(dataSet->FetchAll());
    EXPECT_FALSE(dataSet->OraRecordSet()->FetchAll());
    EXPECT_TRUE(dataSet->UniDirectional());
    dataSet->CloseDataSet();
    EXPECT_EQ(readAll(), Numbers(1, 30));
    dataSet->CloseDataSet();
    Exec("DROP TABLE " + table);
}

TEST_F(OraDataSetTest, CompileErrorsBecomeTheMessageOfAnExecutedStatement) {
    auto dataSet = NewDataSet();
    dataSet->SetSession(session_.get());
    dataSet->SetSQLText("CREATE OR REPLACE PROCEDURE ORD_BROKEN AS\nBEGIN\n  IF 1 = 1 THEN\n    NULL;\nEND;");
    try {
        dataSet->ExecuteDataSet();
        ADD_FAILURE() << "broken procedure compiled";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), OraSuccessWithCompilationErrors);
        EXPECT_STREQ(e.what(), "5/1     PLS-00103: Encountered the symbol \"END\"\r");
    }
}

TEST_F(OraDataSetTest, KeyFieldsChangeOnlyWhileClosed) {
    FillNumbers("ORD_KEYS", 1);
    auto dataSet = Open("SELECT ID FROM ORD_KEYS");
    EXPECT_THROW(dataSet->SetKeyFields("ID"), platform::EDatabaseError);
    EXPECT_EQ(dataSet->KeyFieldDescs().Count(), 0);
    dataSet->CloseDataSet();
    dataSet->SetKeyFields(" ID ");
    dataSet->OpenDataSet();
    // The same value after trimming is no change.
    EXPECT_NO_THROW(dataSet->SetKeyFields("ID "));
    EXPECT_THROW(dataSet->SetKeyFields("ID;CODE"), platform::EDatabaseError);
    EXPECT_EQ(dataSet->KeyFields(), "ID");
}

TEST_F(OraDataSetTest, DataSetWithoutSessionWorksOnTheDefaultOne) {
    ASSERT_EQ(DefaultSession(), session_.get());
    auto dataSet = NewDataSet();
    dataSet->SetSQLText("SELECT 7 AS N FROM DUAL");
    dataSet->OpenDataSet();
    EXPECT_EQ(dataSet->FieldNamed("N")->ReadAsInteger(), 7);
    // The session going away closes the dataset instead of leaving it on a dead link.
    session_.reset();
    EXPECT_FALSE(dataSet->Active());
    session_ = Connect();
    dataSet->OpenDataSet();
    EXPECT_EQ(dataSet->FieldNamed("N")->ReadAsInteger(), 7);
    // Naming the session it works on changes nothing: the dataset stays open on its row,
    // and the session still closes it when it goes.
    dataSet->SetSession(session_.get());
    EXPECT_TRUE(dataSet->Active());
    EXPECT_EQ(dataSet->FieldNamed("N")->ReadAsInteger(), 7);
    session_->Disconnect();
    EXPECT_FALSE(dataSet->Active());
}

TEST_F(OraDataSetTest, DefaultFieldsAreOfTheOracleClasses) {
    MakeTable("ORD_CLASSES", "ID NUMBER(10), DOC BFILE");
    Exec("INSERT INTO ORD_CLASSES VALUES (1, NULL)");
    auto dataSet = Open("SELECT ID, DOC FROM ORD_CLASSES");
    EXPECT_NE(dynamic_cast<TBFileField*>(dataSet->FieldNamed("DOC")), nullptr);
    EXPECT_FALSE(dataSet->FieldNamed("DOC")->FieldIsModifiable());
}

TEST_F(OraDataSetTest, CompileErrorsWithoutAListingLeaveTheServerMessage) {
    auto hooked = platform::NewUnownedComponent<TOraSession>();
    hooked->SetConnectPrompt(false);
    hooked->SetConnectString("HOOKED/HOOKED@SETRIX_TEST");
    hooked->Connect();
    const struct {
        const char* name;
        const char* sql;
        bool listingFails;
    } cases[] = {
        // The listing query itself fails.
        {"listing fails", "CREATE OR REPLACE PROCEDURE ORD_FINE AS BEGIN NULL; END;", true},
        // A statement that creates no stored unit has no listing: an empty message says nothing.
        {"no stored unit", "CREATE TABLE ORD_NOUNIT (A NUMBER)", false},
    };
    for (const auto& c : cases) {
        auto dataSet = NewDataSet();
        dataSet->SetSession(hooked.get());
        dataSet->SetSQLText(c.sql);
        orastandin::InstallServerHook("SETRIX_TEST", "execute:1:info:24344@HOOKED");
        if (c.listingFails) orastandin::InstallServerHook("SETRIX_TEST", "execute:2:fail:942@HOOKED");
        try {
            dataSet->ExecuteDataSet();
            ADD_FAILURE() << c.name << ": compile errors were not reported";
        } catch (const EOraError& e) {
            EXPECT_EQ(e.ErrorCode(), OraSuccessWithCompilationErrors) << c.name;
            EXPECT_NE(std::string(e.what()).find("24344"), std::string::npos) << c.name << ": " << e.what();
        }
    }
}

TEST_F(OraDataSetTest, ExecutingAQueryOpensIt) {
    FillNumbers("ORD_EXEC", 2);
    auto dataSet = NewDataSet();
    dataSet->SetSession(session_.get());
    dataSet->SetSQLText("SELECT ID FROM ORD_EXEC ORDER BY ID");
    dataSet->ExecuteDataSet();
    EXPECT_TRUE(dataSet->Active());
    EXPECT_EQ(dataSet->FieldNamed("ID")->ReadAsInteger(), 1);
    // A statement without rows runs and leaves the dataset closed.
    dataSet->SetSQLText("UPDATE ORD_EXEC SET ID = ID + 10");
    dataSet->ExecuteDataSet();
    EXPECT_FALSE(dataSet->Active());
    EXPECT_EQ(dataSet->RowsAffected(), 2);
}

TEST_F(OraDataSetTest, FieldOriginsAreReadWhenAsked) {
    MakeTable("ORD_ORIGIN", "ID NUMBER(10), NAME VARCHAR2(20)");
    auto dataSet = NewDataSet();
    dataSet->SetSession(session_.get());
    dataSet->SetSQLText("SELECT ID, NAME AS LABEL FROM ORD_ORIGIN");
    dataSet->OpenDataSet();
    EXPECT_EQ(dataSet->FieldNamed("LABEL")->Origin(), "");
    dataSet->CloseDataSet();
    dataSet->OptionsDS().SetFieldsOrigin(true);
    dataSet->OpenDataSet();
    EXPECT_EQ(dataSet->FieldNamed("ID")->Origin(), "ORD_ORIGIN.ID");
    EXPECT_EQ(dataSet->FieldNamed("LABEL")->Origin(), "ORD_ORIGIN.NAME");
}

}  // namespace
}  // namespace oracle
