#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oracle/oci/OraQuery.h"
#include "platform/DateTime.h"
#include "oracle/oci/OCICommand.h"
#include "platform/DataSetTypes.h"
#include "platform/Field.h"
#include "tests/oracle/oci/OraQueryFixture.h"

namespace oracle {
namespace {

using platform::AnsiString;
using testing::OraQueryTest;
using testing::TTextCapture;

// ---------------------------------------------------------------- the installation exports' paths

TEST_F(OraQueryTest, ReadsRowsByNameAndPositionAndCountsThem) {
    MakeTable("ORQ_READ", "ID NUMBER(10), NAME VARCHAR2(30)");
    Exec("INSERT INTO ORQ_READ VALUES (1, 'first')");
    Exec("INSERT INTO ORQ_READ VALUES (2, 'second')");
    Exec("INSERT INTO ORQ_READ VALUES (3, 'third')");
    auto query = NewQuery("SELECT ID, NAME FROM ORQ_READ ORDER BY ID");
    query->OpenDataSet();
    ASSERT_FALSE(query->IsEmpty());
    ASSERT_TRUE(query->Active());
    EXPECT_EQ(query->Fields().FieldAt(0)->ReadAsInteger(), 1);
    EXPECT_EQ(query->FieldNamed("NAME")->ReadAsString(), "first");
    EXPECT_EQ(query->CountRecords(), 3);
    query->MoveToNext();
    EXPECT_EQ(query->FieldNamed("ID")->ReadAsInteger(), 2);
    EXPECT_EQ(query->FieldNamed("NAME")->ReadAsString(), "second");
    query->CloseDataSet();
    EXPECT_FALSE(query->Active());
    // The same query opens again with a new text.
    query->SQL().AssignText("SELECT NAME FROM ORQ_READ WHERE ID = 3");
    query->OpenDataSet();
    EXPECT_EQ(query->Fields().FieldAt(0)->ReadAsString(), "third");
    EXPECT_EQ(query->CountRecords(), 1);
}

TEST_F(OraQueryTest, AnEmptyResultHasNoRecords) {
    MakeTable("ORQ_EMPTY", "ID NUMBER(10)");
    auto query = NewQuery("SELECT ID FROM ORQ_EMPTY");
    query->OpenDataSet();
    EXPECT_TRUE(query->IsEmpty());
    EXPECT_EQ(query->CountRecords(), 0);
}

TEST_F(OraQueryTest, JournalRowsGoThroughTheInsertText) {
    MakeTable("ORQ_JOURNAL", "DATE_TIME DATE, WHO VARCHAR2(20), WHAT VARCHAR2(40), CODE NUMBER(5)");
    auto query = NewQuery("SELECT * FROM ORQ_JOURNAL");
    query->SQLInsert().Add("INSERT INTO ORQ_JOURNAL (DATE_TIME, WHO, WHAT, CODE)");
    query->SQLInsert().Add("VALUES");
    query->SQLInsert().Add("(:DATE_TIME, :WHO, :WHAT, :CODE)");
    query->ReadOnly = false;
    query->OpenDataSet();
    const platform::TDateTime when = platform::EncodeDate(2024, 3, 5) + platform::EncodeTime(10, 20, 30, 0);
    const char* const names[] = {"admin", "operator"};
    for (int row = 0; row < 2; ++row) {
        query->BeginInsert();
        query->Fields().FieldAt(0)->WriteAsDateTime(when + row);
        query->Fields().FieldAt(1)->WriteAsString(names[row]);
        query->Fields().FieldAt(2)->WriteAsString("moved");
        query->Fields().FieldAt(3)->WriteAsString(std::to_string(10 + row));
        query->PostChanges();
    }
    EXPECT_EQ(query->CountRecords(), 2);
    session_->Commit();
    query->CloseDataSet();

    auto reader = Connect();
    EXPECT_EQ(Count(*reader, "ORQ_JOURNAL"), 2);
    EXPECT_EQ(Count(*reader, "ORQ_JOURNAL",
                    "WHO = 'operator' AND CODE = 11 AND DATE_TIME = TO_DATE('2024-03-06 10:20:30', "
                    "'YYYY-MM-DD HH24:MI:SS')"),
              1);
    reader.reset();
}


// ---------------------------------------------------------------- statement texts

// Shows the texts the query hands to its update statements.
class TTextProbeQuery : public TOraQuery {
public:
    using TOraQuery::TOraQuery;
    using TCustomOraQuery::InsertSQLText;
    using TCustomOraQuery::LockSQLText;
    using TCustomOraQuery::RefreshSQLText;
    using TCustomOraQuery::UpdateSQLText;
};

TEST(OraQueryTexts, RefreshAndLockComposeFromClauses) {
    const struct {
        const char* sql;
        const char* refresh;
        const char* lock;
        const char* refreshText;
        const char* lockText;
    } cases[] = {
        // A WHERE clause alone is added to the query's text; a FOR clause alone follows the refresh text.
        {"SELECT ID, NAME FROM T", "  WHERE ID = :ID ", "FOR UPDATE NOWAIT", "SELECT ID, NAME FROM T\rWHERE ID = :ID",
         "SELECT ID, NAME FROM T\rWHERE ID = :ID\rFOR UPDATE NOWAIT"},
        {"SELECT ID FROM T WHERE A = 1\nGROUP BY ID", "where ID = :ID", "for update",
         "SELECT ID FROM T WHERE A = 1 and\r  ID = :ID\r\nGROUP BY ID\r\n",
         "SELECT ID FROM T WHERE A = 1 and\r  ID = :ID\r\nGROUP BY ID\r\n\rfor update"},
        // An OR of the query's own keeps its meaning next to the added condition.
        {"SELECT ID FROM T WHERE A = 1 OR B = 2", "WHERE ID = :ID", "",
         "SELECT ID FROM T WHERE (A = 1 OR B = 2) and\r  ID = :ID", ""},
        {"SELECT ID FROM T ORDER BY ID", "WHERE ID = :ID", "", "SELECT ID FROM T\rWHERE ID = :ID ORDER BY ID\r\n", ""},
        // Whole statements are used as they are, trimmed.
        {"SELECT ID FROM T", " SELECT ID FROM T WHERE ID = :OLD_ID ", " SELECT 1 FROM T WHERE ID = :ID FOR UPDATE ",
         "SELECT ID FROM T WHERE ID = :OLD_ID", "SELECT 1 FROM T WHERE ID = :ID FOR UPDATE"},
    };
    for (const auto& c : cases) {
        auto query = platform::NewUnownedComponent<TTextProbeQuery>();
        query->SQL().AssignText(c.sql);
        query->SQLRefresh().AssignText(c.refresh);
        query->SQLLock().AssignText(c.lock);
        EXPECT_EQ(query->RefreshSQLText(), c.refreshText) << c.sql;
        EXPECT_EQ(query->LockSQLText(), c.lockText) << c.sql;
    }
}

TEST(OraQueryTexts, MacrosOfEveryTextAreFoundAndExpanded) {
    auto query = platform::NewUnownedComponent<TTextProbeQuery>();
    query->SQL().AssignText("SELECT * FROM &TBL");
    query->SQLInsert().AssignText("INSERT INTO &TBL (ID) VALUES (:ID)");
    query->SQLUpdate().AssignText("UPDATE &TBL SET &SETTING WHERE ID = :OLD_ID");
    query->SQLRefresh().AssignText("WHERE ID = :ID");
    ASSERT_NE(query->Macros().FindMacro("SETTING"), nullptr);
    query->Macros().MacroByName("TBL").SetValue("ORQ_T");
    query->Macros().MacroByName("SETTING").SetValue("NAME = :NAME");
    EXPECT_EQ(query->InsertSQLText(), "INSERT INTO ORQ_T (ID) VALUES (:ID)\r\n");
    EXPECT_EQ(query->UpdateSQLText(), "UPDATE ORQ_T SET NAME = :NAME WHERE ID = :OLD_ID\r\n");
    EXPECT_EQ(query->RefreshSQLText(), "SELECT * FROM ORQ_T\rWHERE ID = :ID");
    // Emptying a text drops the macros only it used.
    query->SQLUpdate().Clear();
    EXPECT_EQ(query->Macros().FindMacro("SETTING"), nullptr);
    EXPECT_NE(query->Macros().FindMacro("TBL"), nullptr);
}

TEST(OraQueryValues, ModifiableOnlyWithAWayToWrite) {
    const struct {
        const char* name;
        std::function<void(TOraQuery&)> setup;
        bool modifiable;
    } cases[] = {
        {"SQL only", [](TOraQuery&) {}, false},
        {"insert text", [](TOraQuery& q) { q.SQLInsert().Add("INSERT INTO T VALUES (:ID)"); }, true},
        {"update text", [](TOraQuery& q) { q.SQLUpdate().Add("UPDATE T SET ID = :ID"); }, true},
        {"delete text", [](TOraQuery& q) { q.SQLDelete().Add("DELETE FROM T"); }, true},
        {"lock and refresh texts", [](TOraQuery& q) {
             q.SQLLock().Add("FOR UPDATE");
             q.SQLRefresh().Add("WHERE ID = :ID");
         }, false},
        {"read only with a text", [](TOraQuery& q) {
             q.SQLInsert().Add("INSERT INTO T VALUES (:ID)");
             q.ReadOnly = true;
         }, false},
        {"local updates", [](TOraQuery& q) { q.LocalUpdate = true; }, true},
    };
    for (const auto& c : cases) {
        auto query = platform::NewUnownedComponent<TOraQuery>();
        query->SQL().AssignText("SELECT ID FROM T");
        c.setup(*query);
        EXPECT_EQ(query->IsModifiable(), c.modifiable) << c.name;
    }
}

TEST(OraQueryValues, OlderOptionFormsReadAndWriteTheCurrentOnes) {
    auto query = platform::NewUnownedComponent<TOraQuery>();
    EXPECT_EQ(query->OptionsSet(), doRequiredFields | doStrictUpdate | doLongStrings);
    const TOraDataSetOptions1 all = doRequiredFields | doStrictUpdate | doDefaultValue | doLongStrings |
                                    doNumberRange | doKeepPrepared | doAutoClose | doQueryRecCount;
    query->SetOptionsSet(all);
    // doDefaultValue is not an option of its own: it is never read back.
    EXPECT_EQ(query->OptionsSet(), all & ~doDefaultValue);
    EXPECT_TRUE(query->OptionsDS().KeepPrepared());
    EXPECT_TRUE(query->OptionsDS().QueryRecCount);
    EXPECT_FALSE(query->OptionsDS().DefaultValues());
    query->SetOptionsSet(doAutoClose);
    EXPECT_EQ(query->OptionsSet(), doAutoClose);
    EXPECT_FALSE(query->OptionsDS().StrictUpdate);
    EXPECT_FALSE(query->OptionsDS().LongStrings());

    const struct {
        TRefreshMode mode;
        TRefreshOptions options;
    } modes[] = {{rmNone, 0},
                 {rmAfterInsert, roAfterInsert},
                 {rmAfterUpdate, roAfterUpdate},
                 {rmAlways, roAfterInsert | roAfterUpdate}};
    for (const auto& m : modes) {
        // roBeforeEdit is left as it was.
        query->RefreshOptions = roBeforeEdit | roAfterInsert;
        query->SetRefreshMode(m.mode);
        EXPECT_EQ(query->RefreshOptions, roBeforeEdit | m.options) << m.mode;
        EXPECT_EQ(query->RefreshMode(), m.mode);
    }
    query->SetReturnParams(true);
    EXPECT_TRUE(query->OptionsDS().ReturnParams);
}

TEST(OraQueryValues, CopyTakesTheTextsLockModeAndKeys) {
    auto source = platform::NewUnownedComponent<TOraQuery>();
    source->SQL().AssignText("SELECT ID FROM T");
    source->SQLInsert().AssignText("INSERT INTO T VALUES (:ID)");
    source->SQLDelete().AssignText("DELETE FROM T WHERE ID = :OLD_ID");
    source->SQLUpdate().AssignText("UPDATE T SET ID = :ID WHERE ID = :OLD_ID");
    source->SQLLock().AssignText("FOR UPDATE");
    source->SQLRefresh().AssignText("WHERE ID = :ID");
    source->SetLockMode(lmLockDelayed);
    source->SetKeyFields("ID");
    source->SetNonBlocking(true);
    auto target = platform::NewUnownedComponent<TOraQuery>();
    source->CopyToTarget(*target);
    EXPECT_EQ(target->SQL().JoinedText(), source->SQL().JoinedText());
    EXPECT_EQ(target->SQLInsert().JoinedText(), source->SQLInsert().JoinedText());
    EXPECT_EQ(target->SQLDelete().JoinedText(), source->SQLDelete().JoinedText());
    EXPECT_EQ(target->SQLUpdate().JoinedText(), source->SQLUpdate().JoinedText());
    EXPECT_EQ(target->SQLLock().JoinedText(), source->SQLLock().JoinedText());
    EXPECT_EQ(target->SQLRefresh().JoinedText(), source->SQLRefresh().JoinedText());
    EXPECT_EQ(target->LockMode(), lmLockDelayed);
    EXPECT_EQ(target->KeyFieldDescs().Count(), 1);
    EXPECT_TRUE(target->OraCommand()->NonBlocking());
}

// ---------------------------------------------------------------- editing rules

class OraQueryEditTest : public OraQueryTest {
protected:
    void SetUp() override {
        OraQueryTest::SetUp();
        if (IsSkipped()) return;
        MakeTable("ORQ_EDIT", "ID NUMBER(10), NAME VARCHAR2(5)");
        Exec("INSERT INTO ORQ_EDIT VALUES (1, 'one')");
        Exec("INSERT INTO ORQ_EDIT VALUES (2, 'two')");
        session_->Commit();
    }

    std::unique_ptr<TOraQuery> EditQuery() {
        auto query = NewQuery("SELECT ID, NAME FROM ORQ_EDIT ORDER BY ID");
        query->SetName("Q1");
        return query;
    }

    // Locks the record when editing starts: the refresh statement with a FOR UPDATE clause.
    std::unique_ptr<TOraQuery> LockingQuery() {
        auto query = EditQuery();
        query->SQLUpdate().Add("UPDATE ORQ_EDIT SET NAME = :NAME WHERE ID = :OLD_ID");
        query->SQLRefresh().Add("WHERE ID = :ID");
        query->SQLLock().Add("FOR UPDATE NOWAIT");
        query->SetLockMode(lmLockImmediate);
        return query;
    }

    // NAME of the row as another session sees it; "" when there is none.
    std::string CommittedName(int id) {
        auto reader = Connect();
        auto query = platform::NewUnownedComponent<TOraQuery>();
        query->SetSession(reader.get());
        query->SQL().AssignText("SELECT NAME FROM ORQ_EDIT WHERE ID = " + std::to_string(id));
        query->OpenDataSet();
        return query->IsEmpty() ? std::string() : query->Fields().FieldAt(0)->ReadAsString();
    }

    // Whether another session can lock the row at once.
    bool LockableElsewhere(int id) {
        auto other = Connect();
        try {
            Exec(*other, "SELECT ID FROM ORQ_EDIT WHERE ID = " + std::to_string(id) + " FOR UPDATE NOWAIT");
        } catch (const EOraError& e) {
            EXPECT_EQ(e.ErrorCode(), 54);
            return false;
        }
        other->Rollback();
        return true;
    }
};

enum TOutcome { Done, ReadOnlyRefused, SilentlyCancelled };

TOutcome Attempt(const std::function<void()>& change) {
    try {
        change();
    } catch (const platform::EAbort&) {
        return SilentlyCancelled;
    } catch (const platform::EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Cannot modify a read-only dataset");
        return ReadOnlyRefused;
    }
    return Done;
}

TEST_F(OraQueryEditTest, ChangesWithoutTheirStatementAreRefused) {
    const struct {
        const char* name;
        std::function<void(TOraQuery&)> setup;
        TOutcome insert, edit, remove;
    } cases[] = {
        {"SQL only", [](TOraQuery&) {}, ReadOnlyRefused, ReadOnlyRefused, SilentlyCancelled},
        {"insert text only", [](TOraQuery& q) { q.SQLInsert().Add("INSERT INTO ORQ_EDIT VALUES (:ID, :NAME)"); }, Done,
         SilentlyCancelled, SilentlyCancelled},
        {"update text only", [](TOraQuery& q) { q.SQLUpdate().Add("UPDATE ORQ_EDIT SET NAME = :NAME WHERE ID = :OLD_ID"); },
         SilentlyCancelled, Done, SilentlyCancelled},
        {"delete text only", [](TOraQuery& q) { q.SQLDelete().Add("DELETE FROM ORQ_EDIT WHERE ID = :OLD_ID"); },
         SilentlyCancelled, SilentlyCancelled, Done},
        {"local updates", [](TOraQuery& q) { q.LocalUpdate = true; }, Done, Done, Done},
        {"cached updates with a handler", [](TOraQuery& q) {
             q.SetCachedUpdates(true);
             q.OnUpdateRecord = [](platform::TDataSet&, platform::TUpdateKind, int& action) { action = platform::uaApplied; };
         }, Done, Done, Done},
    };
    for (const auto& c : cases) {
        auto query = EditQuery();
        c.setup(*query);
        query->OpenDataSet();
        EXPECT_EQ(Attempt([&] { query->BeginInsert(); }), c.insert) << c.name;
        query->CancelChanges();
        EXPECT_EQ(Attempt([&] { query->BeginEdit(); }), c.edit) << c.name;
        query->CancelChanges();
        EXPECT_EQ(query->State(), platform::dsBrowse) << c.name;
        const int before = query->CountRecords();
        EXPECT_EQ(Attempt([&] { query->DeleteRecord(); }), c.remove) << c.name;
        EXPECT_EQ(query->CountRecords(), c.remove == Done ? before - 1 : before) << c.name;
        query->CloseDataSet();
        session_->Rollback();
    }
    // Only the delete statement reached the server (and committed).
    EXPECT_EQ(CommittedName(1), "");
    EXPECT_EQ(CommittedName(2), "two");
}

TEST_F(OraQueryEditTest, ACachedInsertCanBeEditedAndDeletedWithOnlyTheInsertText) {
    auto query = EditQuery();
    query->SQLInsert().Add("INSERT INTO ORQ_EDIT VALUES (:ID, :NAME)");
    query->SetCachedUpdates(true);
    query->OpenDataSet();
    query->BeginAppend();
    query->FieldNamed("ID")->WriteAsInteger(3);
    query->FieldNamed("NAME")->WriteAsString("new");
    query->PostChanges();
    EXPECT_EQ(Attempt([&] { query->BeginEdit(); }), Done);
    query->FieldNamed("NAME")->WriteAsString("newer");
    query->PostChanges();
    EXPECT_EQ(Attempt([&] { query->DeleteRecord(); }), Done);
    // A row read from the server stays unchangeable.
    query->MoveToFirst();
    EXPECT_EQ(Attempt([&] { query->BeginEdit(); }), SilentlyCancelled);
}

TEST_F(OraQueryEditTest, UpdateAndDeleteRunTheirTextsWithFieldParameters) {
    auto query = EditQuery();
    query->SQLUpdate().Add("UPDATE ORQ_EDIT SET NAME = :NAME");
    query->SQLUpdate().Add("WHERE ID = :OLD_ID");
    query->SQLDelete().Add("DELETE FROM ORQ_EDIT WHERE ID = :OLD_ID");
    std::vector<std::string> seen;
    query->BeforeUpdateExecute = [&](TOraDataSet& sender, TStatementTypes kinds, TOraParams& params) {
        EXPECT_EQ(&sender, query.get());
        std::string line = "before " + std::to_string(kinds);
        for (int i = 0; i < params.Count(); ++i)
            line += " " + params.Items(i).Name() + "=" + params.Items(i).ValueAsString();
        seen.push_back(line);
    };
    query->AfterUpdateExecute = [&](TOraDataSet&, TStatementTypes kinds, TOraParams&) {
        seen.push_back("after " + std::to_string(kinds));
    };
    query->OpenDataSet();
    query->BeginEdit();
    query->FieldNamed("NAME")->WriteAsString("uno");
    query->PostChanges();
    query->MoveToNext();
    query->DeleteRecord();
    const std::vector<std::string> expected = {
        "before " + std::to_string(stUpdate) + " NAME=uno OLD_ID=1", "after " + std::to_string(stUpdate),
        "before " + std::to_string(stDelete) + " OLD_ID=2", "after " + std::to_string(stDelete)};
    EXPECT_EQ(seen, expected);
    // The dataset's AutoCommit commits each statement.
    EXPECT_EQ(CommittedName(1), "uno");
    EXPECT_EQ(CommittedName(2), "");
}

TEST_F(OraQueryEditTest, InsertedRowGetsItsRowIdBack) {
    auto query = NewQuery("SELECT ROWID, ID, NAME FROM ORQ_EDIT");
    query->SQLInsert().Add("INSERT INTO ORQ_EDIT (ID, NAME) VALUES (:ID, :NAME)");
    query->OpenDataSet();
    query->BeginAppend();
    query->FieldNamed("ID")->WriteAsInteger(7);
    query->FieldNamed("NAME")->WriteAsString("seven");
    query->PostChanges();
    const std::string rowId = query->ReturnedRowId();
    ASSERT_FALSE(rowId.empty());
    EXPECT_EQ(query->FieldNamed("ROWID")->ReadAsString(), rowId);
    auto check = NewQuery("SELECT NAME FROM ORQ_EDIT WHERE ROWID = '" + rowId + "'");
    check->OpenDataSet();
    EXPECT_EQ(check->FieldNamed("NAME")->ReadAsString(), "seven");
}

TEST_F(OraQueryEditTest, KeySequenceFillsTheFirstKeyField) {
    try {
        Exec("DROP SEQUENCE ORQ_SEQ");
    } catch (const EOraError&) {
    }
    Exec("CREATE SEQUENCE ORQ_SEQ START WITH 100");
    MakeTable("ORQ_KEYED", "ID NUMBER(10), CODE NUMBER(10), NAME VARCHAR2(10)");
    const struct {
        const char* name;
        TSequenceMode mode;
        bool insertText;
        bool keyAfterInsert;
        bool keyAfterPost;
    } cases[] = {
        {"on insert", smInsert, true, true, true},
        {"on post", smPost, true, false, true},
        // Without an insert statement there is nothing for the key to go to.
        {"on post, local only", smPost, false, false, false},
    };
    int last = 99;
    for (const auto& c : cases) {
        auto query = NewQuery("SELECT ID, CODE, NAME FROM ORQ_KEYED");
        query->SetKeyFields("ID;CODE");
        query->SetKeySequence("ORQ_SEQ");
        query->SetSequenceMode(c.mode);
        if (c.insertText)
            query->SQLInsert().Add("INSERT INTO ORQ_KEYED (ID, CODE, NAME) VALUES (:ID, :CODE, :NAME)");
        else
            query->LocalUpdate = true;
        query->OpenDataSet();
        TTextCapture capture;
        query->BeginInsert();
        EXPECT_EQ(!query->FieldNamed("ID")->IsNull(), c.keyAfterInsert) << c.name;
        query->FieldNamed("NAME")->WriteAsString(c.name);
        query->PostChanges();
        EXPECT_EQ(capture.Saw("begin\r  SELECT ORQ_SEQ.NEXTVAL INTO :ID FROM Dual;\rend;"), c.keyAfterPost)
            << capture.All();
        EXPECT_EQ(!query->FieldNamed("ID")->IsNull(), c.keyAfterPost) << c.name;
        if (c.keyAfterPost) {
            EXPECT_EQ(query->FieldNamed("ID")->ReadAsInteger(), ++last) << c.name;
        }
        EXPECT_TRUE(query->FieldNamed("CODE")->IsNull()) << c.name;
    }
    EXPECT_EQ(Count(*session_, "ORQ_KEYED", "ID = 100 AND NAME = 'on insert'"), 1);
    EXPECT_EQ(Count(*session_, "ORQ_KEYED", "ID = 101 AND NAME = 'on post'"), 1);
}

TEST_F(OraQueryEditTest, RefreshBeforeEditReadsTheRowAgain) {
    auto query = EditQuery();
    query->SQLUpdate().Add("UPDATE ORQ_EDIT SET NAME = :NAME WHERE ID = :OLD_ID");
    query->SQLRefresh().Add("WHERE ID = :ID");
    query->RefreshOptions = roBeforeEdit;
    query->OpenDataSet();
    auto other = Connect();
    Exec(*other, "UPDATE ORQ_EDIT SET NAME = 'eins' WHERE ID = 1");
    other->Commit();
    EXPECT_EQ(query->FieldNamed("NAME")->ReadAsString(), "one");
    query->BeginEdit();
    EXPECT_EQ(query->FieldNamed("NAME")->ReadAsString(), "eins");
    query->CancelChanges();
    // A row gone meanwhile cannot be edited.
    Exec(*other, "DELETE FROM ORQ_EDIT WHERE ID = 1");
    other->Commit();
    EXPECT_THROW(query->BeginEdit(), platform::EDatabaseError);
    EXPECT_EQ(query->State(), platform::dsBrowse);
}

TEST_F(OraQueryEditTest, LobFieldsGoToTheirStatementsAsLobs) {
    MakeTable("ORQ_DOCS", "ID NUMBER(10), DOC CLOB");
    Exec("INSERT INTO ORQ_DOCS VALUES (1, 'first text')");
    session_->Commit();
    auto query = NewQuery("SELECT ID, DOC FROM ORQ_DOCS");
    // The statements hand out the row's own locator, which receives the field's text.
    query->SQLUpdate().Add("UPDATE ORQ_DOCS SET DOC = EMPTY_CLOB() WHERE ID = :OLD_ID RETURNING DOC INTO :DOC");
    query->SQLInsert().Add("INSERT INTO ORQ_DOCS (ID, DOC) VALUES (:ID, EMPTY_CLOB()) RETURNING DOC INTO :DOC");
    query->OpenDataSet();
    EXPECT_EQ(query->FieldNamed("DOC")->ReadAsString(), "first text");
    query->BeginEdit();
    query->FieldNamed("DOC")->WriteAsString("a changed text");
    query->PostChanges();
    query->BeginAppend();
    query->FieldNamed("ID")->WriteAsInteger(2);
    query->FieldNamed("DOC")->WriteAsString(std::string(5000, 'x'));
    query->PostChanges();
    auto reader = NewQuery("SELECT ID, DOC FROM ORQ_DOCS ORDER BY ID");
    reader->OpenDataSet();
    EXPECT_EQ(reader->FieldNamed("DOC")->ReadAsString(), "a changed text");
    reader->MoveToNext();
    EXPECT_EQ(reader->FieldNamed("DOC")->ReadAsString(), std::string(5000, 'x'));
}

TEST_F(OraQueryEditTest, ARefreshWhilePostingHandsTheRecordTheServersLobs) {
    MakeTable("ORQ_RDOCS", "ID NUMBER(10), DOC CLOB");
    Exec("INSERT INTO ORQ_RDOCS VALUES (1, 'first text')");
    session_->Commit();
    auto query = NewQuery("SELECT ID, DOC FROM ORQ_RDOCS ORDER BY ID");
    // The server decides the texts; the refresh after each change brings them back.
    query->SQLUpdate().Add("UPDATE ORQ_RDOCS SET DOC = 'edited by the server' WHERE ID = :OLD_ID");
    query->SQLInsert().Add("INSERT INTO ORQ_RDOCS (ID, DOC) VALUES (:ID, 'inserted by the server')");
    query->SQLRefresh().Add("SELECT DOC FROM ORQ_RDOCS WHERE ID = :ID");
    query->RefreshOptions = roAfterInsert | roAfterUpdate;
    // The blob field is marked modified by the refresh alone: the changes below leave it
    // unwritten, and a post ends the mark of the record before.
    std::vector<bool> modifiedAtRefresh;
    query->AfterUpdateExecute = [&](TOraDataSet& sender, TStatementTypes kinds, TOraParams&) {
        if (kinds & stRefresh) modifiedAtRefresh.push_back(sender.FieldNamed("DOC")->Modified());
    };
    query->OpenDataSet();

    query->BeginEdit();
    query->FieldNamed("ID")->WriteAsInteger(1);
    EXPECT_FALSE(query->FieldNamed("DOC")->Modified());
    query->PostChanges();
    EXPECT_EQ(query->FieldNamed("DOC")->ReadAsString(), "edited by the server");
    EXPECT_FALSE(query->FieldNamed("DOC")->Modified());
    query->BeginAppend();
    query->FieldNamed("ID")->WriteAsInteger(2);
    EXPECT_FALSE(query->FieldNamed("DOC")->Modified());
    query->PostChanges();
    EXPECT_EQ(query->FieldNamed("DOC")->ReadAsString(), "inserted by the server");
    EXPECT_EQ(modifiedAtRefresh, (std::vector<bool>{true, true}));

    // The store holds what the records show.
    query->MoveToFirst();
    EXPECT_EQ(query->FieldNamed("DOC")->ReadAsString(), "edited by the server");
    query->MoveToNext();
    EXPECT_EQ(query->FieldNamed("DOC")->ReadAsString(), "inserted by the server");
    // An edit cancelled after a refreshed post keeps the refreshed value.
    query->MoveToFirst();
    query->BeginEdit();
    query->FieldNamed("DOC")->WriteAsString("dropped");
    query->CancelChanges();
    EXPECT_EQ(query->FieldNamed("DOC")->ReadAsString(), "edited by the server");
    query->CloseDataSet();
}

// ---------------------------------------------------------------- record locks

TEST_F(OraQueryEditTest, ImmediateLockHoldsTheRowUntilCancel) {
    auto query = LockingQuery();
    query->OpenDataSet();
    EXPECT_TRUE(LockableElsewhere(1));
    {
        TTextCapture capture;
        query->BeginEdit();
        EXPECT_TRUE(capture.Saw("SAVEPOINT LOCK_Q1")) << capture.All();
        EXPECT_TRUE(capture.Saw("SELECT ID, NAME FROM ORQ_EDIT\rWHERE ID = :ID ORDER BY ID\r\n\rFOR UPDATE NOWAIT"))
            << capture.All();
    }
    EXPECT_FALSE(LockableElsewhere(1));
    EXPECT_TRUE(LockableElsewhere(2));
    {
        TTextCapture capture;
        query->CancelChanges();
        EXPECT_TRUE(capture.Saw("ROLLBACK TO SAVEPOINT LOCK_Q1")) << capture.All();
    }
    EXPECT_TRUE(LockableElsewhere(1));
    // Posting commits and with it ends the lock.
    query->BeginEdit();
    query->FieldNamed("NAME")->WriteAsString("uno");
    query->PostChanges();
    EXPECT_TRUE(LockableElsewhere(1));
    EXPECT_EQ(CommittedName(1), "uno");
}

TEST_F(OraQueryEditTest, UnnamedQueriesKeepTheirLocksApart) {
    auto first = LockingQuery();
    auto second = LockingQuery();
    first->SetName("");
    second->SetName("");
    first->OpenDataSet();
    second->OpenDataSet();
    second->MoveToNext();
    first->BeginEdit();
    second->BeginEdit();
    EXPECT_FALSE(LockableElsewhere(1));
    EXPECT_FALSE(LockableElsewhere(2));
    // Cancelled in the reverse order, each edit gives back its own lock.
    second->CancelChanges();
    EXPECT_FALSE(LockableElsewhere(1));
    EXPECT_TRUE(LockableElsewhere(2));
    first->CancelChanges();
    EXPECT_TRUE(LockableElsewhere(1));
}

TEST_F(OraQueryEditTest, ARowLockedOrGoneElsewhereIsNotEdited) {
    const struct {
        const char* name;
        const char* statement;
        bool commit;
        const char* message;
    } cases[] = {
        {"locked", "SELECT ID FROM ORQ_EDIT WHERE ID = 1 FOR UPDATE", false, "ORA-00054"},
        {"deleted", "DELETE FROM ORQ_EDIT WHERE ID = 1", true, "Refresh failed. Found 0 records"},
    };
    for (const auto& c : cases) {
        auto query = LockingQuery();
        query->OpenDataSet();
        auto other = Connect();
        Exec(*other, c.statement);
        if (c.commit) other->Commit();
        try {
            query->BeginEdit();
            ADD_FAILURE() << c.name;
        } catch (const platform::EDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
        }
        EXPECT_EQ(query->State(), platform::dsBrowse) << c.name;
        // The lock savepoint stays until the transaction ends.
        session_->Rollback();
    }
}

TEST_F(OraQueryEditTest, LockingWithoutALockStatementIsAnError) {
    for (TLockMode mode : {lmLockImmediate, lmLockDelayed}) {
        auto query = EditQuery();
        query->SQLUpdate().Add("UPDATE ORQ_EDIT SET NAME = :NAME WHERE ID = :OLD_ID");
        query->SetLockMode(mode);
        query->OpenDataSet();
        // Going on would change the row as if it were locked.
        EXPECT_THROW(
            {
                query->BeginEdit();
                query->FieldNamed("NAME")->WriteAsString("uno");
                query->PostChanges();
            },
            platform::EDatabaseError)
            << mode;
        query->CancelChanges();
    }
    EXPECT_EQ(CommittedName(1), "one");
}

TEST_F(OraQueryEditTest, DelayedLockGoesBackToItsSavepointWhenTheUpdateFails) {
    session_->SetAutoCommit(false);
    auto query = EditQuery();
    query->SetAutoCommit(false);
    // Finds no row: the update fails after the lock was taken.
    query->SQLUpdate().Add("UPDATE ORQ_EDIT SET NAME = :NAME WHERE ID = :OLD_ID AND NAME IS NULL");
    query->SQLLock().Add("SELECT ID FROM ORQ_EDIT WHERE ID = :OLD_ID FOR UPDATE NOWAIT");
    query->SetLockMode(lmLockDelayed);
    query->OpenDataSet();
    // Work of the same transaction from before the lock stays.
    Exec("INSERT INTO ORQ_EDIT VALUES (3, 'three')");
    query->BeginEdit();
    EXPECT_TRUE(LockableElsewhere(1));
    query->FieldNamed("NAME")->WriteAsString("uno");
    {
        TTextCapture capture;
        EXPECT_THROW(query->PostChanges(), platform::EDatabaseError);
        EXPECT_TRUE(capture.Saw("SAVEPOINT LOCK_Q1")) << capture.All();
        EXPECT_TRUE(capture.Saw("ROLLBACK TO SAVEPOINT LOCK_Q1")) << capture.All();
    }
    EXPECT_TRUE(LockableElsewhere(1));
    EXPECT_EQ(Count(*session_, "ORQ_EDIT", "ID = 3"), 1);
    // A change that applies takes the lock and keeps it until the transaction ends.
    query->SQLUpdate().Clear();
    query->SQLUpdate().Add("UPDATE ORQ_EDIT SET NAME = :NAME WHERE ID = :OLD_ID");
    query->PostChanges();
    EXPECT_FALSE(LockableElsewhere(1));
    session_->Commit();
    EXPECT_TRUE(LockableElsewhere(1));
    EXPECT_EQ(CommittedName(1), "uno");
}

TEST_F(OraQueryEditTest, DeletesAreLockedFirstInEitherLockMode) {
    for (TLockMode mode : {lmLockImmediate, lmLockDelayed}) {
        MakeTable("ORQ_EDIT", "ID NUMBER(10), NAME VARCHAR2(5)");
        Exec("INSERT INTO ORQ_EDIT VALUES (1, 'one')");
        session_->Commit();
        auto query = EditQuery();
        query->SetAutoCommit(false);
        // Finds no row: the delete fails after the lock was taken.
        query->SQLDelete().Add("DELETE FROM ORQ_EDIT WHERE ID = :OLD_ID AND NAME IS NULL");
        query->SQLLock().Add("SELECT ID FROM ORQ_EDIT WHERE ID = :OLD_ID FOR UPDATE NOWAIT");
        query->SetLockMode(mode);
        query->OpenDataSet();
        {
            TTextCapture capture;
            EXPECT_THROW(query->DeleteRecord(), platform::EDatabaseError) << mode;
            EXPECT_TRUE(capture.Saw("SAVEPOINT LOCK_Q1")) << capture.All();
            EXPECT_TRUE(capture.Saw("ROLLBACK TO SAVEPOINT LOCK_Q1")) << capture.All();
        }
        EXPECT_TRUE(LockableElsewhere(1)) << mode;
        query->SQLDelete().Clear();
        query->SQLDelete().Add("DELETE FROM ORQ_EDIT WHERE ID = :OLD_ID");
        query->DeleteRecord();
        EXPECT_TRUE(query->IsEmpty()) << mode;
        EXPECT_FALSE(LockableElsewhere(1)) << mode;
        session_->Commit();
        EXPECT_EQ(Count(*session_, "ORQ_EDIT"), 0) << mode;
    }
}

// ---------------------------------------------------------------- form reading

TEST_F(OraQueryEditTest, ActiveReadFromAFormOpensWhenTheFormIsComplete) {
    // As the form reader leaves it: loading, and reading until every value is set.
    auto query = EditQuery();
    query->IncludeState(platform::csLoading);
    query->IncludeState(platform::csReading);
    query->SetActive(true);
    EXPECT_FALSE(query->Active());
    query->ExcludeState(platform::csReading);
    query->StreamingCompleted();
    EXPECT_TRUE(query->Active());
    // A session that must not connect while forms load keeps the query closed.
    auto quiet = EditQuery();
    session_->Options().NeverConnect = true;
    quiet->IncludeState(platform::csLoading);
    quiet->IncludeState(platform::csReading);
    quiet->SetActive(true);
    quiet->ExcludeState(platform::csReading);
    quiet->StreamingCompleted();
    EXPECT_FALSE(quiet->Active());
}

}  // namespace
}  // namespace oracle
