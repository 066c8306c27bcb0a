#include <gtest/gtest.h>

#include "DAFixtures.h"
#include "oracle/core/DASQLMonitor.h"
#include "platform/DataLink.h"
#include "platform/Field.h"

namespace oracle {
namespace {

using namespace oracle::test;
using platform::AnsiString;
using platform::Variant;

std::string Sql(const std::string& text) { return text + "\r\n"; }

// A dataset of another engine: it supplies the statement texts and the WHERE editing
// that the base leaves empty, and may change its records.
class TestQuery : public TDADataSet {
public:
    using TDADataSet::TDADataSet;
    AnsiString InsertText, UpdateText, DeleteText, RefreshText;
    int QueriedTotal = 0;
    bool IsModifiable() override { return !ReadOnly; }

protected:
    AnsiString InsertSQLText() override { return InsertText; }
    AnsiString UpdateSQLText() override { return UpdateText; }
    AnsiString DeleteSQLText() override { return DeleteText; }
    AnsiString RefreshSQLText() override { return RefreshText; }
    int CountRecordsByQuery() override { return QueriedTotal; }
    AnsiString AddWhereCondition(const AnsiString& text, const AnsiString& condition) override {
        return platform::TrimRight(text) + " where " + condition;
    }
};

// Monitor lines as the outside monitor would get them.
class LineMonitor : public TDASQLMonitor {
public:
    using TDASQLMonitor::TDASQLMonitor;
    std::vector<std::string> Lines;

protected:
    void SendToMonitor(const AnsiString& text) override { Lines.push_back(text); }
};

struct Fixture {
    FakeServer server;
    std::unique_ptr<TestSession> session = NewSession(server);

    std::unique_ptr<TestQuery> Query(const std::string& sql) {
        auto query = platform::NewUnownedComponent<TestQuery>();
        query->SetConnection(session.get());
        query->SetSQLText(sql);
        return query;
    }
    // EMP with EMPNO, ENAME, SAL.
    std::unique_ptr<TestQuery> Emp(std::vector<std::vector<Variant>> rows = {{Variant(10), Variant("KING"),
                                                                                 Variant(5000.0)}}) {
        FakeResult& result = server.ResultFor(Sql("select * from emp"));
        result.Columns = {{"EMPNO", dtInteger}, {"ENAME", dtString, 10}, {"SAL", dtFloat}};
        result.Rows = std::move(rows);
        auto query = Query("select * from emp");
        query->UpdateText = "update emp set sal = :SAL where empno = :OLD_EMPNO";
        query->InsertText = "insert into emp values (:EMPNO, :ENAME, :SAL, :old_empno)";
        query->DeleteText = "delete from emp where empno = :OLD_EMPNO";
        query->RefreshText = "select SAL from emp where empno = :EMPNO";
        return query;
    }
};

// ---------------------------------------------------------------- opening and executing

TEST(DADataSet, OpensAQueryAndReadsItsRows) {
    Fixture f;
    auto query = f.Emp({{Variant(10), Variant("KING"), Variant(5000.0)}, {Variant(20), Variant("FORD"), Variant::Null()}});
    query->OpenDataSet();
    EXPECT_TRUE(f.session->Connected());
    EXPECT_EQ(query->RowsAffected(), -1);
    EXPECT_EQ(query->FieldNamed("ENAME")->ReadAsString(), "KING");
    query->MoveToNext();
    EXPECT_EQ(query->FieldNamed("EMPNO")->ReadAsInteger(), 20);
    EXPECT_TRUE(query->FieldNamed("SAL")->IsNull());
    EXPECT_EQ(query->CountRecords(), 2);
    // A disconnect closes and unprepares the datasets on the session.
    f.session->Disconnect();
    EXPECT_FALSE(query->Active());
    EXPECT_FALSE(query->Prepared());
}

TEST(DADataSet, ExecutingAStatementWithoutRowsPreparesOnlyForTheExecution) {
    Fixture f;
    f.server.ResultFor(Sql("delete from emp")).RowsAffected = 4;
    auto query = f.Query("delete from emp");
    int afterExecute = 0;
    query->AfterExecute = [&](platform::TComponent&, bool ok) { afterExecute += ok; };
    query->Execute();
    EXPECT_FALSE(query->Prepared());
    EXPECT_EQ(query->RowsAffected(), 4);
    EXPECT_EQ(afterExecute, 1);
    EXPECT_EQ(f.server.Log.back(), "unprepare " + Sql("delete from emp"));

    auto none = platform::NewUnownedComponent<TDADataSet>();
    none->SetSQLText("select 1 from dual");
    ExpectDatabaseError([&] { none->OpenDataSet(); }, "Connection is not defined");
}

TEST(DADataSet, ParameterValuesSetBeforeTheSessionReachTheServer) {
    Fixture f;
    f.server.ResultFor("select * from emp where empno = :EMPNO\r\n").Columns = {{"EMPNO", dtInteger}};
    auto query = platform::NewUnownedComponent<TestQuery>();
    query->SetSQLText("select * from emp where empno = :EMPNO");
    query->Params().ParamByName("EMPNO").SetAsInteger(10);
    query->SetConnection(f.session.get());
    query->OpenDataSet();
    EXPECT_EQ(f.server.Executed.back()["EMPNO"].AsInteger(), 10);
}

TEST(DADataSet, ClosingOverALostConnectionSucceeds) {
    Fixture f;
    auto query = f.Emp();
    query->OpenDataSet();
    f.server.FailClose = 3113;
    query->CloseDataSet();
    EXPECT_FALSE(query->Active());
    query->OpenDataSet();
    f.server.FailClose = 942;
    EXPECT_THROW(query->CloseDataSet(), EDAError);
}

TEST(DADataSet, AChangedMacroTakesEffectAtTheNextOpen) {
    Fixture f;
    f.server.ResultFor(Sql("select * from emp")).Columns = {{"EMPNO", dtInteger}};
    f.server.ResultFor(Sql("select * from dept")).Columns = {{"DEPTNO", dtInteger}};
    auto query = f.Query("select * from &tab");
    query->Macros().MacroByName("tab").SetValue("emp");
    query->OpenDataSet();
    query->Macros().MacroByName("tab").SetValue("dept");
    EXPECT_TRUE(query->Active());
    EXPECT_NE(query->FindField("EMPNO"), nullptr);
    query->CloseDataSet();
    EXPECT_FALSE(query->Prepared());
    query->OpenDataSet();
    EXPECT_NE(query->FindField("DEPTNO"), nullptr);
    EXPECT_EQ(f.server.Log.back(), "execute " + Sql("select * from dept"));
}

TEST(DADataSet, FetchSettings) {
    Fixture f;
    auto query = f.Emp();
    for (int bad : {0, 10001, -1}) {
        ExpectDatabaseError([&] { query->SetFetchRows(bad); }, "FetchRows must be 1..10000");
    }
    EXPECT_EQ(query->FetchRows(), 25);
    for (int good : {1, 10000}) {
        query->SetFetchRows(good);
        EXPECT_EQ(query->FetchRows(), good);
        EXPECT_EQ(query->RecordSet()->FetchRows(), good);
    }
    query->SetUniDirectional(true);
    query->SetFetchAll(true);
    EXPECT_FALSE(query->UniDirectional());
    query->SetUniDirectional(true);
    EXPECT_FALSE(query->FetchAll());
    query->OpenDataSet();
    EXPECT_THROW(query->SetUniDirectional(false), platform::EDatabaseError);
    EXPECT_TRUE(query->UniDirectional());
}

// The fake record set keeps the rows it fetched before, as a back end may when it
// cannot reuse its block: a unidirectional walk still reads each row once.
TEST(DADataSet, AUniDirectionalDataSetReadsEachRowOnce) {
    Fixture f;
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= 7; ++i) rows.push_back({Variant(i * 10), Variant("E" + std::to_string(i)), Variant(1.0 * i)});
    auto query = f.Emp(rows);
    query->SetFetchRows(2);
    query->SetUniDirectional(true);
    query->OpenDataSet();
    std::vector<int> seen;
    for (; !query->Eof(); query->MoveToNext()) seen.push_back(query->FieldNamed("EMPNO")->ReadAsInteger());
    EXPECT_EQ(seen, (std::vector<int>{10, 20, 30, 40, 50, 60, 70}));
}

TEST(DADataSet, QueriedRecordCountShiftsWithLocalInserts) {
    Fixture f;
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= 30; ++i) rows.push_back({Variant(i), Variant("E"), Variant(1.0)});
    auto query = f.Emp(rows);
    query->QueriedTotal = 1000;
    query->Options().QueryRecCount = true;
    query->LocalUpdate = true;
    query->OpenDataSet();
    EXPECT_EQ(query->CountRecords(), 1000);
    query->BeginInsert();
    query->FieldNamed("EMPNO")->WriteAsInteger(99);
    query->PostChanges();
    EXPECT_EQ(query->CountRecords(), 1001);
    query->Options().QueryRecCount = false;
    EXPECT_EQ(query->CountRecords(), 26);
}

TEST(DADataSet, FilterSQLThatFailsToOpenIsTakenBack) {
    Fixture f;
    auto query = f.Emp();
    f.server.ResultFor("select * from emp where SAL > 100").Columns = {{"EMPNO", dtInteger}};
    f.server.Rejected = {"select * from emp where SAL > x"};
    query->OpenDataSet();
    EXPECT_THROW(query->SetFilterSQL("SAL > x"), EDAError);
    EXPECT_EQ(query->FilterSQL(), "");
    EXPECT_FALSE(query->Active());
    query->OpenDataSet();
    EXPECT_EQ(f.server.Log.back(), "execute " + Sql("select * from emp"));
    query->SetFilterSQL("  SAL > 100 ");
    EXPECT_TRUE(query->Active());
    EXPECT_EQ(query->FilterSQL(), "SAL > 100");
    EXPECT_EQ(f.server.Log.back(), "execute select * from emp where SAL > 100");
}

TEST(DADataSet, ProviderStatementsNumberTheirMarksOutsideStrings) {
    Fixture f;
    auto query = f.Emp();
    platform::TParams given;
    given.AddParam().SetAsString("x");
    given.AddParam().SetAsInteger(5);
    const std::string sent = Sql("UPDATE T SET A = :1 WHERE B = :2 AND C <> 'why?' /* ? */");
    f.server.ResultFor(sent).RowsAffected = 2;
    EXPECT_EQ(query->ProviderRunStatement("UPDATE T SET A = ? WHERE B = ? AND C <> 'why?' /* ? */", &given), 2);
    EXPECT_EQ(f.server.Log.back(), "unprepare " + sent);
    auto& bound = f.server.Executed.back();
    EXPECT_EQ(bound["1"].AsString(), "x");
    EXPECT_EQ(bound["2"].AsInteger(), 5);

    query->ProviderBeginTransaction();
    EXPECT_TRUE(query->ProviderInTransaction());
    query->ProviderFinishTransaction(true);
    EXPECT_FALSE(query->ProviderInTransaction());
    EXPECT_EQ(f.server.Count("commit"), 1);
    // With auto-commit off the caller runs the transaction itself.
    query->SetAutoCommit(false);
    query->ProviderBeginTransaction();
    EXPECT_FALSE(query->ProviderInTransaction());
}

// ---------------------------------------------------------------- master and detail

struct MasterDetail : Fixture {
    std::unique_ptr<TestQuery> master;
    std::unique_ptr<TestQuery> detail;
    std::unique_ptr<platform::TDataSource> source = platform::NewUnownedComponent<platform::TDataSource>();
    const std::string detailSql = "select * from emp where DEPT_ID = :DEPTNO";

    MasterDetail() {
        FakeResult& depts = server.ResultFor(Sql("select * from dept"));
        depts.Columns = {{"DEPTNO", dtInteger}};
        depts.Rows = {{Variant(10)}, {Variant(10)}, {Variant(20)}};
        master = Query("select * from dept");
        source->SetDataSet(master.get());
        FakeResult& emps = server.ResultFor(detailSql);
        emps.Columns = {{"EMPNO", dtInteger}, {"DEPT_ID", dtInteger}};
        emps.Rows = {{Variant(1), Variant(10)}};
        detail = Query("select * from emp");
        detail->SetMasterFields("DEPTNO");
        detail->SetDetailFields("DEPT_ID");
        detail->SetMasterSource(source.get());
    }
};

TEST(DADataSet, ADetailFollowsItsMasterRecord) {
    MasterDetail m;
    EXPECT_EQ(m.detail->EffectiveSQL(), m.detailSql);
    m.master->OpenDataSet();
    m.detail->OpenDataSet();
    EXPECT_EQ(m.server.Count("execute " + m.detailSql), 1);
    EXPECT_EQ(m.server.Executed.back()["DEPTNO"].AsInteger(), 10);
    m.master->MoveToNext();  // the same department: no new query
    EXPECT_EQ(m.server.Count("execute " + m.detailSql), 1);
    m.master->MoveToNext();
    EXPECT_EQ(m.server.Count("execute " + m.detailSql), 2);
    EXPECT_EQ(m.server.Executed.back()["DEPTNO"].AsInteger(), 20);
}

TEST(DADataSet, OnlyParametersNamedAfterMasterFieldsBecomeInputs) {
    MasterDetail m;
    m.detail->SetSQLText("select * from emp where SAL < :LIMIT");
    FakeResult& emps = m.server.ResultFor(m.detail->EffectiveSQL());
    emps.Columns = {{"EMPNO", dtInteger}, {"DEPT_ID", dtInteger}};
    platform::TParam& limit = m.detail->Params().ParamByName("LIMIT");
    limit.SetAsInteger(5000);
    limit.SetParamType(platform::ptInputOutput);
    m.master->OpenDataSet();
    m.detail->OpenDataSet();
    EXPECT_EQ(m.detail->Params().ParamByName("DEPTNO").ParamType(), platform::ptInput);
    EXPECT_EQ(m.detail->Params().ParamByName("LIMIT").ParamType(), platform::ptInputOutput);
    m.master->MoveToNext();
    m.master->MoveToNext();  // another department: the detail follows
    EXPECT_EQ(m.detail->Params().ParamByName("DEPTNO").AsInteger(), 20);
    EXPECT_EQ(m.detail->Params().ParamByName("LIMIT").ParamType(), platform::ptInputOutput);
}

TEST(DADataSet, ANewDetailRecordTakesTheMasterKeyBeforeOnNewRecord) {
    MasterDetail m;
    m.master->OpenDataSet();
    m.detail->OpenDataSet();
    m.detail->LocalUpdate = true;
    int seen = 0;
    m.detail->OnNewRecord = [&](platform::TDataSet& d) { seen = d.FieldNamed("DEPT_ID")->ReadAsInteger(); };
    m.detail->BeginInsert();
    EXPECT_EQ(seen, 10);
    m.detail->CancelChanges();
}

TEST(DADataSet, MasterFieldsPairWithDetailFieldsInOrder) {
    MasterDetail m;
    m.detail->SetMasterFields("A;B;C");
    m.detail->SetDetailFields("X;Y");
    EXPECT_EQ(m.detail->EffectiveSQL(), "select * from emp where X = :A and Y = :B");
    auto other = platform::NewUnownedComponent<platform::TDataSource>();
    other->SetDataSet(m.detail.get());
    ExpectDatabaseError([&] { m.master->SetMasterSource(other.get()); }, "Circular datalinks are not allowed");
}

// ---------------------------------------------------------------- update statements

TEST(UpdateStatements, OldValueParametersTakeTheValueBeforeTheEdit) {
    Fixture f;
    auto query = f.Emp();
    query->UpdateText = "update emp set sal = :SAL, empno = :EMPNO where empno = :old_empno";
    query->OpenDataSet();
    query->BeginEdit();
    query->FieldNamed("EMPNO")->WriteAsInteger(20);
    query->FieldNamed("SAL")->WriteAsFloat(6000);
    query->PostChanges();
    auto& bound = f.server.Executed.back();
    EXPECT_EQ(bound["SAL"].AsDouble(), 6000);
    EXPECT_EQ(bound["EMPNO"].AsInteger(), 20);
    EXPECT_EQ(bound["old_empno"].AsInteger(), 10);
    EXPECT_EQ(query->RowsAffected(), 1);

    // In an insert the old-value parameter takes the new value.
    query->BeginInsert();
    query->FieldNamed("EMPNO")->WriteAsInteger(30);
    query->PostChanges();
    EXPECT_EQ(f.server.Executed.back()["old_empno"].AsInteger(), 30);
}

// Applying cached changes binds the values of each changed record, wherever the
// dataset stands, and a refresh after the update lands in that record.
TEST(UpdateStatements, CachedChangesBindTheRecordsTheyChanged) {
    Fixture f;
    auto query = f.Emp({{Variant(10), Variant("KING"), Variant(5000.0)}, {Variant(20), Variant("FORD"), Variant(3000.0)}});
    query->SetCachedUpdates(true);
    query->RefreshOptions = roAfterUpdate;
    f.server.ResultFor(Sql("select SAL from emp where empno = :EMPNO")).Columns = {{"SAL", dtFloat}};
    f.server.ResultFor(Sql("select SAL from emp where empno = :EMPNO")).Rows = {{Variant(1750.0)}};
    query->OpenDataSet();
    query->MoveToLast();
    query->BeginEdit();
    query->FieldNamed("EMPNO")->WriteAsInteger(21);
    query->FieldNamed("SAL")->WriteAsFloat(1500);
    query->PostChanges();
    query->BeginAppend();
    query->FieldNamed("EMPNO")->WriteAsInteger(30);
    query->FieldNamed("SAL")->WriteAsFloat(900);
    query->PostChanges();
    query->MoveToFirst();
    f.server.Executed.clear();

    query->Data()->ApplyUpdates();
    ASSERT_EQ(f.server.Executed.size(), 3u);  // update, its refresh, insert
    EXPECT_EQ(f.server.Executed[0]["SAL"].AsDouble(), 1500);
    EXPECT_EQ(f.server.Executed[0]["OLD_EMPNO"].AsInteger(), 20);
    EXPECT_EQ(f.server.Executed[1]["EMPNO"].AsInteger(), 21);
    EXPECT_EQ(f.server.Executed[2]["EMPNO"].AsInteger(), 30);
    EXPECT_EQ(f.server.Executed[2]["SAL"].AsDouble(), 900);
    // The dataset still shows its first record; the refreshed salary is in the changed one.
    EXPECT_EQ(query->FieldNamed("EMPNO")->ReadAsInteger(), 10);
    EXPECT_EQ(query->FieldNamed("SAL")->ReadAsFloat(), 5000);
    EXPECT_EQ(query->LookupValues("EMPNO", Variant(21), "SAL").AsDouble(), 1750);
    EXPECT_EQ(query->LookupValues("EMPNO", Variant(10), "SAL").AsDouble(), 5000);
}

TEST(UpdateStatements, StrictUpdateWantsExactlyOneRow) {
    struct Case {
        bool strict;
        int rows;
        const char* error;
    } cases[] = {{true, 1, nullptr},
                 {true, 0, "Update failed. Found 0 records"},
                 {true, 2, "Update failed. Found 2 records"},
                 {false, 0, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + (c.strict ? " strict" : ""));
        Fixture f;
        auto query = f.Emp();
        query->Options().StrictUpdate = c.strict;
        f.server.ResultFor(query->UpdateText + "\r\n").RowsAffected = c.rows;
        query->OpenDataSet();
        query->BeginEdit();
        query->FieldNamed("SAL")->WriteAsFloat(1);
        if (c.error) {
            ExpectDatabaseError([&] { query->PostChanges(); }, c.error);
            EXPECT_EQ(query->State(), platform::dsEdit);
            query->CancelChanges();
        } else {
            query->PostChanges();
            EXPECT_EQ(query->RowsAffected(), c.rows);
        }
    }
}

TEST(UpdateStatements, RefreshAfterUpdateReachesReadOnlyFields) {
    Fixture f;
    auto query = f.Emp();
    FakeResult& refresh = f.server.ResultFor(query->RefreshText + "\r\n");
    refresh.Columns = {{"SAL", dtFloat}};
    refresh.Rows = {{Variant(7777.0)}};
    query->RefreshOptions = roAfterUpdate;
    query->OpenDataSet();
    query->FieldNamed("SAL")->SetReadOnly(true);
    query->BeginEdit();
    query->FieldNamed("ENAME")->WriteAsString("KONG");
    query->PostChanges();
    EXPECT_EQ(query->FieldNamed("SAL")->ReadAsFloat(), 7777.0);
    EXPECT_TRUE(query->FieldNamed("SAL")->ReadOnly());
    EXPECT_EQ(f.server.ExecutedAutoCommit.back(), false);  // a refresh never commits
}

TEST(UpdateStatements, RefreshOutsidePostingWritesTheRecordAndAnEmptyResultChangesNothing) {
    Fixture f;
    auto query = f.Emp();
    FakeResult& refresh = f.server.ResultFor(query->RefreshText + "\r\n");
    refresh.Columns = {{"SAL", dtFloat}};
    refresh.Rows = {{Variant(1234.0)}};
    query->OpenDataSet();
    EXPECT_TRUE(query->PerformSQL(query->RefreshText, stRefresh));
    EXPECT_EQ(query->FieldNamed("SAL")->ReadAsFloat(), 1234.0);
    query->MoveToFirst();  // read again from the store
    EXPECT_EQ(query->FieldNamed("SAL")->ReadAsFloat(), 1234.0);

    refresh.Rows.clear();
    ExpectDatabaseError([&] { query->PerformSQL(query->RefreshText, stRefresh); }, "Refresh failed. Found 0 records");
    query->Options().StrictUpdate = false;
    EXPECT_TRUE(query->PerformSQL(query->RefreshText, stRefresh));
    EXPECT_EQ(query->RowsAffected(), 0);
    EXPECT_EQ(query->FieldNamed("SAL")->ReadAsFloat(), 1234.0);
    EXPECT_FALSE(query->PerformSQL("", stRefresh));
}

TEST(UpdateStatements, ACheckFindsRecordsChangedByOthers) {
    Fixture f;
    auto query = f.Emp();
    const std::string check = "select SAL from emp where empno = :EMPNO for check";
    FakeResult& result = f.server.ResultFor(check + "\r\n");
    result.Columns = {{"SAL", dtFloat}};
    result.Rows = {{Variant(5000.0)}};
    query->OpenDataSet();
    EXPECT_TRUE(query->PerformSQL(check, stCheck));
    // While editing the old value counts.
    query->BeginEdit();
    query->FieldNamed("SAL")->WriteAsFloat(1);
    EXPECT_TRUE(query->PerformSQL(check, stCheck));
    query->CancelChanges();
    result.Rows = {{Variant(4000.0)}};
    ExpectDatabaseError([&] { query->PerformSQL(check, stCheck); }, "Record was changed by another user");
}

TEST(UpdateStatements, ParametersWithoutFieldsNeedAHandlerThatTypesThem) {
    Fixture f;
    auto query = f.Emp();
    query->UpdateText = "update emp set x = :NOPE where empno = :OLD_EMPNO";
    query->OpenDataSet();
    query->BeginEdit();
    ExpectDatabaseError([&] { query->PostChanges(); }, "Not found field corresponding parameter NOPE");
    query->BeforeUpdateExecute = [](TCustomDADataSet&, TStatementTypes kinds, platform::TParams&) {
        EXPECT_EQ(kinds, stUpdate);
    };
    ExpectDatabaseError([&] { query->PostChanges(); }, "Unknown type of parameter NOPE");
    query->BeforeUpdateExecute = [](TCustomDADataSet&, TStatementTypes, platform::TParams& params) {
        params.ParamByName("NOPE").SetAsInteger(1);
    };
    int after = 0;
    query->AfterUpdateExecute = [&](TCustomDADataSet&, TStatementTypes, platform::TParams&) { ++after; };
    query->PostChanges();
    EXPECT_EQ(f.server.Executed.back()["NOPE"].AsInteger(), 1);
    EXPECT_EQ(after, 1);
}

TEST(UpdateStatements, ReturnedParametersGoBackIntoTheirFields) {
    Fixture f;
    FakeResult& rows = f.server.ResultFor(Sql("select * from doc"));
    rows.Columns = {{"ID", dtInteger}, {"NAME", dtString, 10}, {"BODY", dtMemo}};
    auto query = f.Query("select * from doc");
    query->InsertText = "insert into doc values (:ID, :NAME, :BODY) returning id into :ID";
    FakeResult& insert = f.server.ResultFor(query->InsertText + "\r\n");
    insert.Outputs = {{"ID", Variant(77)}, {"BODY", Variant("from server")}};
    query->Options().ReturnParams = true;
    query->OpenDataSet();
    query->BeginInsert();
    query->FieldNamed("NAME")->WriteAsString("memo");
    query->FieldNamed("BODY")->WriteAsString("mine");
    query->PostChanges();
    EXPECT_EQ(query->FieldNamed("ID")->ReadAsInteger(), 77);
    EXPECT_EQ(query->FieldNamed("BODY")->ReadAsString(), "mine");
}

TEST(UpdateStatements, AnAppliedCachedInsertTakesItsReturnedParameters) {
    Fixture f;
    f.server.ResultFor(Sql("select * from doc")).Columns = {{"ID", dtInteger}, {"NAME", dtString, 10}};
    auto query = f.Query("select * from doc");
    query->InsertText = "insert into doc values (:ID, :NAME) returning id into :ID";
    f.server.ResultFor(query->InsertText + "\r\n").Outputs = {{"ID", Variant(77)}};
    query->Options().ReturnParams = true;
    query->SetCachedUpdates(true);
    query->OpenDataSet();
    query->BeginInsert();
    query->FieldNamed("NAME")->WriteAsString("memo");
    query->PostChanges();
    query->Data()->ApplyUpdates();
    EXPECT_EQ(query->Data()->GetUpdateResult(), urApplied);
    EXPECT_EQ(f.server.Count("execute " + query->InsertText + "\r\n"), 1);
    EXPECT_EQ(query->LookupValues("NAME", Variant("memo"), "ID").AsInteger(), 77);
}

TEST(UpdateStatements, AppliedChangesAreTracedWithTheirKindAndCommitAsTheDataSetSays) {
    Fixture f;
    auto monitor = platform::NewUnownedComponent<LineMonitor>();
    monitor->SetMonitorTraceFlags(mtExecute | mtPrepare);
    auto query = f.Emp();
    query->OpenDataSet();
    monitor->Lines.clear();
    query->BeginInsert();
    query->FieldNamed("EMPNO")->WriteAsInteger(11);
    query->PostChanges();
    EXPECT_EQ(monitor->Lines, (std::vector<std::string>{"SQL Execute [Insert]: " + query->InsertText}));
    EXPECT_EQ(f.server.ExecutedAutoCommit.back(), true);
    query->SetAutoCommit(false);
    query->DeleteRecord();
    EXPECT_EQ(monitor->Lines.back(), "SQL Execute [Delete]: " + query->DeleteText);
    EXPECT_EQ(f.server.ExecutedAutoCommit.back(), false);
    EXPECT_EQ(f.server.Executed.back()["OLD_EMPNO"].AsInteger(), 11);
}

}  // namespace
}  // namespace oracle
