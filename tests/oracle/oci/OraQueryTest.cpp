#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oracle/oci/OraQuery.h"
#include "platform/DateTime.h"
#include "platform/Field.h"
#include "tests/oracle/oci/OraQueryFixture.h"

namespace oracle {
namespace {

using platform::AnsiString;
using testing::OraQueryTest;

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

}  // namespace
}  // namespace oracle
