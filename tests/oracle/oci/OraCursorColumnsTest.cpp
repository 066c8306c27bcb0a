// CURSOR(subquery) columns: described as cursor fields, each fetched row holds a cursor
// whose rows a second record set reads by switching its command to it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OCIRecordSet.h"
#include "oracle/oci/OraDataTypes.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using platform::Variant;
using testing::OracleRegistryTest;

class OraCursorColumnsTest : public testing::StandinLogOnTest {
protected:
    void SetUp() override {
        StandinLogOnTest::SetUp();
        if (IsSkipped()) return;
        Run("CREATE TABLE CC_MASTER (ID NUMBER(4))");
        Run("CREATE TABLE CC_DETAIL (ID NUMBER(4), NAME VARCHAR2(10))");
        for (int id = 1; id <= 4; ++id) {
            Run("INSERT INTO CC_MASTER VALUES (" + std::to_string(id) + ")");
            // Master i has i - 1 details: "d<i>.1" ...
            for (int n = 1; n < id; ++n)
                Run("INSERT INTO CC_DETAIL VALUES (" + std::to_string(id) + ", 'd" + std::to_string(id) + "." +
                    std::to_string(n) + "')");
        }
    }

    void TearDown() override {
        if (connection_.GetConnected()) {
            Run("DROP TABLE CC_MASTER");
            Run("DROP TABLE CC_DETAIL");
        }
        OracleRegistryTest::TearDown();
    }


    static TOraCursor* CursorIn(TOCIRecordSet& recordSet, int fieldNo, const void* record) {
        TOraCursor* cursor = nullptr;
        bool isNull = false;
        recordSet.GetField(fieldNo, record, &cursor, isNull);
        return cursor;
    }

    // The names a cursor's rows hold, read by a record set switched to it.
    std::vector<std::string> NamesOf(TOraCursor* cursor) {
        auto detail = Query("");
        detail->OCICommand()->SetCursor(cursor);
        detail->Open();
        std::vector<std::string> names;
        TRecordBuffer record = detail->AllocRecBuf();
        for (detail->GetNextRecord(record.data()); !detail->Eof(); detail->GetNextRecord(record.data())) {
            Variant name;
            detail->GetFieldAsVariant(1, record.data(), name);
            names.push_back(name.AsString());
        }
        detail->Close();
        return names;
    }

    static std::vector<std::string> DetailsOf(int id) {
        std::vector<std::string> names;
        for (int n = 1; n < id; ++n) names.push_back("d" + std::to_string(id) + "." + std::to_string(n));
        return names;
    }

    static constexpr const char* masterDetail =
        "SELECT ID, CURSOR(SELECT NAME FROM CC_DETAIL D WHERE D.ID = M.ID ORDER BY NAME) NAMES "
        "FROM CC_MASTER M ORDER BY ID";
};

TEST_F(OraCursorColumnsTest, ACursorColumnIsACursorField) {
    auto recordSet = Query(masterDetail);
    recordSet->Prepare();
    ASSERT_EQ(recordSet->FieldCount(), 2);
    const TFieldDesc& field = *recordSet->Fields().Items(1);
    EXPECT_EQ(field.Name, "NAMES");
    EXPECT_EQ(field.DataType, dtCursor);
    EXPECT_EQ(field.Size, ReferenceSlotSize);
    EXPECT_TRUE(recordSet->GetComplexTypes().Contains(dtCursor));
}

// Every row, in every block of the fetch, gets a cursor of its own holding its own rows,
// and a cursor stays readable after the master moved on.
TEST_F(OraCursorColumnsTest, EachRowsCursorFetchesTheRowsOfThatRow) {
    for (const int fetchRows : {1, 3, 25}) {
        auto master = Query(masterDetail);
        master->SetProp(prFetchRows, Variant(fetchRows));
        master->Open();
        TRecordBuffer record = master->AllocRecBuf();
        std::vector<TOraCursor*> cursors;
        int id = 0;
        for (master->GetNextRecord(record.data()); !master->Eof(); master->GetNextRecord(record.data())) {
            ++id;
            ASSERT_FALSE(master->GetNull(2, record.data())) << fetchRows;
            TOraCursor* cursor = CursorIn(*master, 2, record.data());
            ASSERT_NE(cursor, nullptr);
            EXPECT_EQ(cursor->State(), csExecuted);
            for (TOraCursor* other : cursors) EXPECT_NE(cursor, other);
            cursors.push_back(cursor);
        }
        ASSERT_EQ(id, 4) << fetchRows;
        // Read in reverse: each cursor keeps its rows while the others are read.
        for (int i = 4; i >= 1; --i) EXPECT_EQ(NamesOf(cursors[i - 1]), DetailsOf(i)) << fetchRows << " " << i;
        master->Close();
    }
}

// An edited row keeps its cursor: the copy the edit makes shares it instead of getting an
// empty one.
TEST_F(OraCursorColumnsTest, AnEditedRowKeepsItsCursor) {
    auto master = Query(masterDetail);
    master->Open();
    TRecordBuffer record = master->AllocRecBuf();
    master->GetNextRecord(record.data());
    master->GetNextRecord(record.data());
    TOraCursor* cursor = CursorIn(*master, 2, record.data());
    master->EditRecord(record.data());
    TRecordBuffer stored = master->AllocRecBuf();
    master->GetRecord(stored.data());
    EXPECT_EQ(CursorIn(*master, 2, stored.data()), cursor);
    EXPECT_EQ(NamesOf(cursor), DetailsOf(2));
    master->Close();
}

}  // namespace
}  // namespace oracle
