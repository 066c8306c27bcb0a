#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/Blob.h"
#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OCIRecordSet.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraParamDesc.h"
#include "oracle/oci/OraDataTypes.h"
#include "platform/DateTime.h"
#include "platform/SysUtils.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using testing::PumpUntilDone;

using platform::Variant;

class OCIRecordSetTest : public testing::StandinLogOnTest {
public:
    int LongColumns(int fetchRows) {
        const std::string table = "RS_LONGS" + testing::UniqueNameSuffix();
        Run("CREATE TABLE " + table + " (ID NUMBER(9), TEXT LONG, WIDE VARCHAR2(1500))");
        Run("CREATE TABLE " + table + "B (ID NUMBER(9), BYTES LONG RAW)");
        std::string text;
        for (int i = 0; text.size() < 140000; ++i) text += std::to_string(i) + ",";
        const std::string wide(1200, 'w');
        Run("INSERT INTO " + table + " VALUES (1, '" + text + "', '" + wide + "')");
        Run("INSERT INTO " + table + " VALUES (2, NULL, NULL)");
        Run("INSERT INTO " + table + " VALUES (3, 'x', 'short')");
        {
            TBlob* raw = NewShared<TBlob>();
            raw->SetAsString(std::string("\x00\xFF\x10", 3));
            std::unique_ptr<TQdCommand> insert = connection_.CreateCommand();
            insert->SetSQL("INSERT INTO " + table + "B VALUES (1, :b)");
            auto& param = *static_cast<TOraParamDesc*>(insert->FindParam("b"));
            param.SetDataType(dtBlob);
            param.SetParamType(pdInput);
            param.SetObject(raw);
            insert->Execute(1);
            raw->Release();
        }
        int fetchCalls = 0;
        auto recordSet = Query("SELECT ID, TEXT, WIDE FROM " + table + " ORDER BY ID");
        recordSet->SetProp(prLongStrings, Variant(false));
        recordSet->SetProp(prFetchRows, Variant(fetchRows));
        recordSet->AssignEvent(evBlockFetch, [&](const Variant& starting) {
            if (starting.AsBoolean()) ++fetchCalls;
        });
        recordSet->Open();
        EXPECT_EQ(recordSet->FieldByName("TEXT")->DataType, dtMemo);
        EXPECT_EQ(recordSet->FieldByName("WIDE")->DataType, dtMemo);
        TRecordBuffer record = recordSet->AllocRecBuf();
        const struct {
            std::string text;
            std::string wide;
            bool nulls;
        } expected[] = {{text, wide, false}, {"", "", true}, {"x", "short", false}};
        for (const auto& e : expected) {
            recordSet->GetNextRecord(record.data());
            EXPECT_FALSE(recordSet->Eof());
            if (recordSet->Eof()) break;
            EXPECT_EQ(recordSet->GetNull(2, record.data()), e.nulls);
            EXPECT_EQ(recordSet->GetNull(3, record.data()), e.nulls);
            EXPECT_EQ(recordSet->GetBlob(2, record.data())->AsString(), e.text);
            EXPECT_EQ(recordSet->GetBlob(3, record.data())->AsString(), e.wide);
        }
        recordSet->GetNextRecord(record.data());
        EXPECT_TRUE(recordSet->Eof());
        recordSet->Close();

        auto bytes = Query("SELECT ID, BYTES FROM " + table + "B");
        bytes->Open();
        EXPECT_EQ(bytes->FieldByName("BYTES")->DataType, dtBlob);
        bytes->GetNextRecord(record.data());
        EXPECT_FALSE(bytes->Eof());
        EXPECT_EQ(bytes->GetBlob(2, record.data())->AsString(), std::string("\x00\xFF\x10", 3));
        bytes->Close();
        Run("DROP TABLE " + table);
        Run("DROP TABLE " + table + "B");
        return fetchCalls;
    }

protected:
    // A record set over a block that opens a cursor parameter reads the cursor's rows.
    void CursorOfABlock();

    // Every row of an open record set, each as the values of its fields.
    static std::vector<std::vector<Variant>> Rows(TOCIRecordSet& recordSet) {
        std::vector<std::vector<Variant>> rows;
        TRecordBuffer record = recordSet.AllocRecBuf();
        while (true) {
            recordSet.GetNextRecord(record.data());
            if (recordSet.Eof()) break;
            std::vector<Variant> row;
            for (int i = 1; i <= recordSet.FieldCount(); ++i) {
                Variant value;
                recordSet.GetFieldAsVariant(i, record.data(), value);
                row.push_back(value);
            }
            rows.push_back(row);
        }
        return rows;
    }
};

// A block of LONG, LONG RAW and wide text values of different lengths and nulls; answers
// how many fetch calls the record set made.
int CheckLongColumns(OCIRecordSetTest& test, int fetchRows);

TEST_F(OCIRecordSetTest, ColumnsBecomeFieldDescriptors) {
    Run("CREATE TABLE RS_DESC (N9 NUMBER(9), N10 NUMBER(10), N52 NUMBER(5,2), NF NUMBER, "
        "S VARCHAR2(20) NOT NULL, C CHAR(3), D DATE, R RAW(16), L VARCHAR2(4000))");
    const struct {
        const char* name;
        TDataType type;
        int size;
        int length;
        int scale;
    } expected[] = {
        {"N9", dtInteger, 4, 9, 0},     {"N10", dtFloat, 8, 10, 0},   {"N52", dtFloat, 8, 5, 2},
        {"NF", dtFloat, 8, 0, 127},  // a NUMBER without precision has scale -127
        {"S", dtString, 21, 20, 0},   {"C", dtString, 4, 3, 0},
        {"D", dtDateTime, 7, 0, 0},     {"R", dtString, 33, 32, 0},   {"L", dtMemo, ReferenceSlotSize, 4000, 0},
    };
    auto recordSet = Query("SELECT N9, N10, N52, NF, S, C, D, R, L FROM RS_DESC");
    recordSet->SetProp(prLongStrings, Variant(false));
    recordSet->Prepare();
    ASSERT_EQ(recordSet->FieldCount(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < recordSet->FieldCount(); ++i) {
        const TFieldDesc& field = *recordSet->Fields().Items(i);
        const auto& e = expected[i];
        EXPECT_EQ(field.Name, e.name);
        EXPECT_EQ(field.DataType, e.type) << e.name;
        EXPECT_EQ(field.Size, e.size) << e.name;
        EXPECT_EQ(field.Length, e.length) << e.name;
        EXPECT_EQ(field.Scale, e.scale) << e.name;
        EXPECT_EQ(field.FieldNo, i + 1);
    }
    EXPECT_TRUE(recordSet->FieldByName("S")->Required);
    EXPECT_FALSE(recordSet->FieldByName("C")->Required);
    EXPECT_TRUE(recordSet->FieldByName("C")->Fixed);
    EXPECT_EQ(recordSet->FieldByName("L")->SubDataType, 1);
    recordSet->Unprepare();
    EXPECT_EQ(recordSet->OCICommand()->GetCursorState(), csInactive);

    recordSet->SetProp(prLongStrings, Variant(true));
    recordSet->Prepare();
    EXPECT_EQ(recordSet->FieldByName("L")->DataType, dtString);
    EXPECT_EQ(recordSet->FieldByName("L")->Size, 4001);

    // Numbers and dates as text: a date is as wide as the session's format shows it.
    connection_.SetProp(prDateFormat, Variant("dd-month-yyyy"));
    auto asText = Query("SELECT NF, N9, D FROM RS_DESC");
    asText->OCICommand()->SetProp(prFieldsAsString, Variant(true));
    asText->Prepare();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(asText->Fields().Items(i)->DataType, dtString);
    EXPECT_EQ(asText->Fields().Items(0)->Length, 38);
    EXPECT_EQ(asText->Fields().Items(1)->Length, 9);
    EXPECT_EQ(asText->Fields().Items(1)->Size, 10);
    EXPECT_EQ(asText->Fields().Items(2)->Length, 20);
    Run("DROP TABLE RS_DESC");
}

TEST_F(OCIRecordSetTest, RepeatedColumnNamesGetANumber) {
    auto recordSet = Query("SELECT 1 ID, 'x' NAME, 2 ID, 3 ID FROM DUAL");
    recordSet->Prepare();
    std::vector<std::string> names, actual;
    for (int i = 0; i < recordSet->FieldCount(); ++i) {
        names.push_back(recordSet->Fields().Items(i)->Name);
        actual.push_back(recordSet->Fields().Items(i)->ActualName);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ID", "NAME", "ID_1", "ID_2"}));
    EXPECT_EQ(actual, (std::vector<std::string>{"ID", "NAME", "ID", "ID"}));
}

TEST_F(OCIRecordSetTest, RowsArriveInBlocksWithTheirValues) {
    Run("CREATE TABLE RS_ROWS (ID NUMBER(9), NAME VARCHAR2(30), AMOUNT NUMBER(8,2), BORN DATE)");
    for (int i = 1; i <= 26; ++i) {
        const std::string name = i % 5 == 0 ? "NULL" : "'row " + std::to_string(i) + "'";
        Run("INSERT INTO RS_ROWS VALUES (" + std::to_string(i) + ", " + name + ", " + std::to_string(i) +
            ".25, TO_DATE('2001-02-" + std::to_string(i) + "', 'YYYY-MM-DD'))");
    }
    int blockFetches = 0;
    auto recordSet = Query("SELECT ID, NAME, AMOUNT, BORN FROM RS_ROWS ORDER BY ID");
    recordSet->AssignEvent(evBlockFetch, [&](const Variant& starting) {
        if (starting.AsBoolean()) ++blockFetches;
    });
    recordSet->Open();
    const auto rows = Rows(*recordSet);
    ASSERT_EQ(rows.size(), 26u);
    EXPECT_EQ(recordSet->GetRecordCount(), 26);
    // Two blocks with rows, and the call that finds the end.
    EXPECT_GE(blockFetches, 2);
    for (int i = 1; i <= 26; ++i) {
        const auto& row = rows[static_cast<size_t>(i - 1)];
        EXPECT_EQ(row[0].AsInteger(), i);
        if (i % 5 == 0)
            EXPECT_TRUE(row[1].IsNull()) << i;
        else
            EXPECT_EQ(row[1].AsString(), "row " + std::to_string(i));
        EXPECT_DOUBLE_EQ(row[2].AsDouble(), i + 0.25);
        EXPECT_DOUBLE_EQ(row[3].AsDateTime(), platform::EncodeDate(2001, 2, i));
    }
    EXPECT_TRUE(recordSet->AllFetched());
    // A filter counts and numbers only the rows it lets through.
    recordSet->Close();
    recordSet->FilterFunc = [&](const void* record) {
        Variant id;
        recordSet->GetFieldAsVariant(1, record, id);
        return id.AsInteger() % 2 == 0;
    };
    recordSet->Open();
    TRecordBuffer record = recordSet->AllocRecBuf();
    std::vector<int> numbers;
    for (recordSet->GetNextRecord(record.data()); !recordSet->Eof(); recordSet->GetNextRecord(record.data()))
        numbers.push_back(recordSet->GetRecordNo());
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(recordSet->GetRecordCount(), 13);
    recordSet->FilterFunc = nullptr;
    // Reopened, the statement runs again and its rows replace the old ones.
    Run("DELETE FROM RS_ROWS WHERE ID > 3");
    recordSet->Reopen();
    EXPECT_EQ(Rows(*recordSet).size(), 3u);
    EXPECT_EQ(recordSet->GetRecordCount(), 3);
    recordSet->Close();
    EXPECT_EQ(recordSet->OCICommand()->GetCursorState(), csInactive);

    // A block holds at most 65535 rows; a larger FetchRows is not wrapped round to an empty block.
    recordSet->SetProp(prFetchRows, Variant(65536));
    recordSet->Open();
    EXPECT_EQ(Rows(*recordSet).size(), 3u);
    recordSet->Close();

    // Opened again, the statement delivers its rows anew; the whole set at once with FetchAll.
    recordSet->SetProp(prFetchAll, Variant(true));
    recordSet->SetProp(prFetchRows, Variant(2));
    recordSet->Open();
    EXPECT_EQ(recordSet->GetRecordCount(), 3);
    EXPECT_EQ(Rows(*recordSet).size(), 3u);
    recordSet->Close();
    Run("DROP TABLE RS_ROWS");
}

TEST_F(OCIRecordSetTest, LongAndWideTextColumnsBecomeBlobs) {
    Run("CREATE TABLE RS_LONG (ID NUMBER(9), WIDE VARCHAR2(4000), TEXT LONG)");
    const std::string wide(3000, 'w');
    std::string text;
    for (int i = 0; text.size() < 70000; ++i) text += std::to_string(i) + ",";
    Run("INSERT INTO RS_LONG VALUES (1, '" + wide + "', '" + text + "')");
    Run("INSERT INTO RS_LONG VALUES (2, NULL, NULL)");
    Run("INSERT INTO RS_LONG VALUES (3, 'short', 'x')");
    auto recordSet = Query("SELECT ID, WIDE, TEXT FROM RS_LONG ORDER BY ID");
    recordSet->SetProp(prLongStrings, Variant(false));
    recordSet->SetProp(prFetchRows, Variant(2));
    recordSet->Open();
    EXPECT_EQ(recordSet->FieldByName("WIDE")->DataType, dtMemo);
    EXPECT_EQ(recordSet->FieldByName("TEXT")->DataType, dtMemo);
    TRecordBuffer record = recordSet->AllocRecBuf();
    const struct {
        std::string wide;
        std::string text;
        bool nulls;
    } expected[] = {{wide, text, false}, {"", "", true}, {"short", "x", false}};
    for (const auto& e : expected) {
        recordSet->GetNextRecord(record.data());
        ASSERT_FALSE(recordSet->Eof());
        EXPECT_EQ(recordSet->GetNull(2, record.data()), e.nulls);
        EXPECT_EQ(recordSet->GetNull(3, record.data()), e.nulls);
        EXPECT_EQ(recordSet->GetBlob(2, record.data())->AsString(), e.wide);
        EXPECT_EQ(recordSet->GetBlob(3, record.data())->AsString(), e.text);
    }
    // Setting a blob field null empties its value.
    recordSet->SetNull(3, record.data(), true);
    EXPECT_TRUE(recordSet->GetNull(3, record.data()));
    EXPECT_EQ(recordSet->GetBlob(3, record.data())->GetSize(), 0u);
    recordSet->GetNextRecord(record.data());
    EXPECT_TRUE(recordSet->Eof());
    recordSet->Close();
    Run("DROP TABLE RS_LONG");
}

TEST_F(OCIRecordSetTest, LobColumnsAreReadWholeAndEmptyOnesAreNull) {
    Run("CREATE TABLE RS_LOB (ID NUMBER(9), C CLOB, B BLOB)");
    Run("INSERT INTO RS_LOB VALUES (1, 'clob text', EMPTY_BLOB())");
    Run("INSERT INTO RS_LOB VALUES (2, EMPTY_CLOB(), EMPTY_BLOB())");
    Run("INSERT INTO RS_LOB VALUES (3, NULL, NULL)");
    for (const bool deferred : {false, true}) {
        auto recordSet = Query("SELECT ID, C, B FROM RS_LOB ORDER BY ID");
        recordSet->SetProp(prDeferredLobRead, Variant(deferred));
        recordSet->Open();
        EXPECT_EQ(recordSet->FieldByName("C")->DataType, dtOraClob);
        EXPECT_EQ(recordSet->FieldByName("B")->DataType, dtOraBlob);
        TRecordBuffer record = recordSet->AllocRecBuf();
        recordSet->GetNextRecord(record.data());
        EXPECT_FALSE(recordSet->GetNull(2, record.data()));
        EXPECT_EQ(recordSet->GetBlob(2, record.data())->AsString(), "clob text") << deferred;
        EXPECT_TRUE(recordSet->GetNull(3, record.data())) << deferred;
        for (int row = 2; row <= 3; ++row) {
            recordSet->GetNextRecord(record.data());
            ASSERT_FALSE(recordSet->Eof());
            EXPECT_TRUE(recordSet->GetNull(2, record.data())) << row << deferred;
            EXPECT_TRUE(recordSet->GetNull(3, record.data())) << row << deferred;
        }
        recordSet->Close();
    }
    Run("DROP TABLE RS_LOB");
}

// BFILE columns: each row's file value names its file, whose contents come with the row
// unless their reading is deferred; a missing file reads empty, a null column is null.
TEST_F(OCIRecordSetTest, BFileColumnsOfFetchedRows) {
    const std::string suffix = testing::UniqueNameSuffix();
    const std::string name = "rs_bfile" + suffix + ".txt";
    const std::string path = testing::StandinFolder() + "/" + name;
    std::ofstream(path, std::ios::binary) << "file contents";
    const std::string alias = "RS_DIR" + suffix;
    Run("CREATE OR REPLACE DIRECTORY " + alias + " AS '" + testing::StandinFolder().substr(2) + "'");
    const std::string table = "RS_BFILE" + suffix;
    Run("CREATE TABLE " + table + " (ID NUMBER(9), F BFILE)");
    Run("INSERT INTO " + table + " VALUES (1, BFILENAME('" + alias + "', '" + name + "'))");
    Run("INSERT INTO " + table + " VALUES (2, BFILENAME('" + alias + "', 'missing.txt'))");
    Run("INSERT INTO " + table + " VALUES (3, NULL)");
    for (const bool deferred : {false, true}) {
        auto recordSet = Query("SELECT ID, F FROM " + table + " ORDER BY ID");
        recordSet->SetProp(prDeferredLobRead, Variant(deferred));
        recordSet->Open();
        EXPECT_EQ(recordSet->FieldByName("F")->DataType, dtBFile);
        TRecordBuffer record = recordSet->AllocRecBuf();
        recordSet->GetNextRecord(record.data());
        ASSERT_FALSE(recordSet->Eof());
        EXPECT_FALSE(recordSet->GetNull(2, record.data()));
        auto* file = static_cast<TOraFile*>(recordSet->GetBlob(2, record.data()));
        EXPECT_EQ(file->FileDir(), alias);
        EXPECT_EQ(file->FileName(), name);
        EXPECT_EQ(file->FirstPiece() == nullptr, deferred);  // read with the row, or not yet
        EXPECT_EQ(file->AsString(), "file contents") << deferred;
        recordSet->GetNextRecord(record.data());
        ASSERT_FALSE(recordSet->Eof());
        file = static_cast<TOraFile*>(recordSet->GetBlob(2, record.data()));
        EXPECT_EQ(file->FileName(), "missing.txt");
        EXPECT_FALSE(file->Exists());
        EXPECT_EQ(file->AsString(), "");
        recordSet->GetNextRecord(record.data());
        ASSERT_FALSE(recordSet->Eof());
        EXPECT_TRUE(recordSet->GetNull(2, record.data()));
        recordSet->Close();
    }
    Run("DROP TABLE " + table);
    std::remove(path.c_str());
}

TEST_F(OCIRecordSetTest, RowsOfACursorThatABlockOpens) { CursorOfABlock(); }

void OCIRecordSetTest::CursorOfABlock() {
    TOraCursor* refCursor = NewShared<TOraCursor>();
    {
        auto recordSet = Query("BEGIN OPEN :c FOR SELECT 41 + 1 ANSWER, 'x' NAME FROM DUAL; END;");
        auto* param = static_cast<TOraParamDesc*>(recordSet->OCICommand()->FindParam("c"));
        param->SetDataType(dtCursor);
        param->SetObject(refCursor);
        recordSet->Prepare();
        // The cursor is described only once the block has run.
        EXPECT_EQ(recordSet->FieldCount(), 0);
        recordSet->Open();
        ASSERT_EQ(recordSet->FieldCount(), 2);
        EXPECT_EQ(recordSet->Fields().Items(0)->Name, "ANSWER");
        const auto rows = Rows(*recordSet);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0].AsInteger(), 42);
        EXPECT_EQ(rows[0][1].AsString(), "x");
        recordSet->Close();
        EXPECT_NE(recordSet->OCICommand()->Cursor(), refCursor);
    }
    EXPECT_EQ(refCursor->RefCount(), 1);
    refCursor->Release();
}

TEST_F(OCIRecordSetTest, UniDirectionalSetsReuseTheirBlockAndAutoCloseReleasesTheStatement) {
    Run("CREATE TABLE RS_UNI (ID NUMBER(9), C CLOB)");
    for (int i = 1; i <= 12; ++i)
        Run("INSERT INTO RS_UNI VALUES (" + std::to_string(i) + ", 'text " + std::to_string(i) + "')");
    for (const bool autoClose : {false, true}) {
        auto recordSet = Query("SELECT ID, C FROM RS_UNI ORDER BY ID");
        recordSet->SetProp(prUniDirectional, Variant(true));
        recordSet->SetProp(prFetchRows, Variant(5));
        recordSet->SetProp(prAutoClose, Variant(autoClose));
        recordSet->Open();
        TRecordBuffer record = recordSet->AllocRecBuf();
        std::vector<int> ids;
        for (recordSet->GetNextRecord(record.data()); !recordSet->Eof(); recordSet->GetNextRecord(record.data())) {
            Variant id;
            recordSet->GetFieldAsVariant(1, record.data(), id);
            ids.push_back(id.AsInteger());
            EXPECT_EQ(recordSet->GetBlob(2, record.data())->AsString(), "text " + id.AsString());
        }
        EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        EXPECT_EQ(recordSet->GetRecordCount(), 12);
        EXPECT_EQ(recordSet->Prepared(), !autoClose);
        EXPECT_EQ(recordSet->OCICommand()->GetCursorState() == csInactive, autoClose);
        recordSet->Close();
    }
    Run("DROP TABLE RS_UNI");
}

TEST_F(OCIRecordSetTest, NonBlockingOpenFetchesTheFirstBlockOnAWorker) {
    Run("CREATE TABLE RS_BACKGROUND (ID NUMBER(9))");
    for (int i = 1; i <= 4; ++i) Run("INSERT INTO RS_BACKGROUND VALUES (" + std::to_string(i) + ")");
    auto recordSet = Query("SELECT ID FROM RS_BACKGROUND ORDER BY ID");
    recordSet->OCICommand()->SetProp(prNonBlocking, Variant(true));
    recordSet->SetProp(prFetchRows, Variant(3));
    std::vector<bool> ends;
    DWORD endThread = 0;
    recordSet->AssignEvent(evRecordSetExecuted, [&](const Variant& success) {
        ends.push_back(success.AsBoolean());
        endThread = GetCurrentThreadId();
    });
    recordSet->Open();
    PumpUntilDone([&] { return !ends.empty(); });
    EXPECT_EQ(ends, std::vector<bool>{true});
    EXPECT_EQ(recordSet->GetRecordCount(), 3);  // the first block came with the open
    EXPECT_EQ(endThread, GetCurrentThreadId());
    EXPECT_FALSE(recordSet->OCICommand()->Executing());
    // The first record is current once the open has reported.
    TRecordBuffer record = recordSet->AllocRecBuf();
    std::vector<int> ids;
    for (recordSet->GetRecord(record.data()); !recordSet->Eof(); recordSet->GetNextRecord(record.data())) {
        Variant id;
        recordSet->GetFieldAsVariant(1, record.data(), id);
        ids.push_back(id.AsInteger());
    }
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4}));
    recordSet->Close();

    connection_.SetProp(prThreadSafety, Variant(false));
    try {
        recordSet->Open();
        ADD_FAILURE() << "opened";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Session must be Thread Safety");
    }
    EXPECT_FALSE(recordSet->OCICommand()->Executing());
    connection_.SetProp(prThreadSafety, Variant(true));
    recordSet.reset();
    Run("DROP TABLE RS_BACKGROUND");
}

int CheckLongColumns(OCIRecordSetTest& test, int fetchRows) { return test.LongColumns(fetchRows); }

// Logged on through a client that the registry marks as the Lite client.
class OCILiteRecordSetTest : public OCIRecordSetTest {
protected:
    void SetUp() override {
        OCIRecordSetTest::SetUp();
        if (IsSkipped()) return;
        connection_.Disconnect();
        FreeOCI();
        PutOracleValue("", "OLITE", "YES");
        LogOn(connection_);
        ASSERT_TRUE(OciClient().LiteClient);
    }
};

// Rows of the Lite client come one per call, LONG values through the callback.
TEST_F(OCILiteRecordSetTest, RowsComeOneByOne) {
    EXPECT_EQ(CheckLongColumns(*this, 25), 4);  // three rows and the end
}

// A client without dynamic defines hands out a LONG value of a row through status 99 and
// the piece information calls.
oci::sword OCI_CALL NoDefineCallback(oci::OCIDefine*, oci::OCIError*, void*, oci::OCICallbackDefine) {
    return oci::OCI_SUCCESS;
}

TEST_F(OCILiteRecordSetTest, LongPiecesOnRequest) {
    testing::TEntryOverride<oci::OCIDefineDynamicProc> noCallback(Oci.OCIDefineDynamic, NoDefineCallback);
    EXPECT_EQ(CheckLongColumns(*this, 25), 4);
}

// A row fetched alone keeps an empty LOB's indicator: the value is empty, not null; a
// null column stays null.
TEST_F(OCILiteRecordSetTest, AnEmptyLobOfARowFetchedAloneIsNotNull) {
    Run("CREATE TABLE RS_LITE_LOB (ID NUMBER(9), C CLOB)");
    Run("INSERT INTO RS_LITE_LOB VALUES (1, EMPTY_CLOB())");
    Run("INSERT INTO RS_LITE_LOB VALUES (2, NULL)");
    auto recordSet = Query("SELECT ID, C FROM RS_LITE_LOB ORDER BY ID");
    recordSet->Open();
    TRecordBuffer record = recordSet->AllocRecBuf();
    recordSet->GetNextRecord(record.data());
    ASSERT_FALSE(recordSet->Eof());
    EXPECT_FALSE(recordSet->GetNull(2, record.data()));
    EXPECT_EQ(recordSet->GetBlob(2, record.data())->GetSize(), 0u);
    recordSet->GetNextRecord(record.data());
    ASSERT_FALSE(recordSet->Eof());
    EXPECT_TRUE(recordSet->GetNull(2, record.data()));
    recordSet->Close();
    Run("DROP TABLE RS_LITE_LOB");
}

class OCI7RecordSetTest : public OCIRecordSetTest {
protected:
    void SetUp() override {
        library_ = "ociw32.dll";
        OCIRecordSetTest::SetUp();
    }
};

TEST_F(OCI7RecordSetTest, RowsOfACursorThatABlockOpens) { CursorOfABlock(); }

TEST_F(OCI7RecordSetTest, LongColumnsComeRowByRow) {
    EXPECT_EQ(CheckLongColumns(*this, 2), 4);  // three rows and the end
}

TEST_F(OCI7RecordSetTest, RowsOfTheVersion7Interface) {
    Run("CREATE TABLE RS_SEVEN (ID NUMBER(9), NAME VARCHAR2(10), D DATE)");
    for (int i = 1; i <= 7; ++i)
        Run("INSERT INTO RS_SEVEN VALUES (" + std::to_string(i) + ", " + (i == 4 ? "NULL" : "'n" + std::to_string(i) + "'") +
            ", TO_DATE('2010-03-0" + std::to_string(i) + "', 'YYYY-MM-DD'))");
    auto recordSet = Query("SELECT ID, NAME, D FROM RS_SEVEN ORDER BY ID");
    recordSet->SetProp(prFetchRows, Variant(3));
    recordSet->Open();
    ASSERT_EQ(recordSet->FieldCount(), 3);
    EXPECT_EQ(recordSet->FieldByName("ID")->DataType, dtInteger);
    EXPECT_EQ(recordSet->FieldByName("NAME")->Size, 11);
    EXPECT_EQ(recordSet->FieldByName("D")->DataType, dtDateTime);
    const auto rows = Rows(*recordSet);
    ASSERT_EQ(rows.size(), 7u);
    for (int i = 1; i <= 7; ++i) {
        const auto& row = rows[static_cast<size_t>(i - 1)];
        EXPECT_EQ(row[0].AsInteger(), i);
        if (i == 4)
            EXPECT_TRUE(row[1].IsNull());
        else
            EXPECT_EQ(row[1].AsString(), "n" + std::to_string(i));
        EXPECT_DOUBLE_EQ(row[2].AsDateTime(), platform::EncodeDate(2010, 3, i));
    }
    recordSet->Close();
    Run("DROP TABLE RS_SEVEN");
}

// A client that describes text columns with its internal type 25.
oci::OCIAttrGetProc realAttrGet = nullptr;
oci::sword OCI_CALL AttrGetWithType25(const void* handle, oci::ub4 handleType, void* value, oci::ub4* size,
                                      oci::ub4 attribute, oci::OCIError* error) {
    const oci::sword status = realAttrGet(handle, handleType, value, size, attribute, error);
    if (status == oci::OCI_SUCCESS && handleType == oci::OCI_DTYPE_PARAM && attribute == oci::OCI_ATTR_DATA_TYPE &&
        *static_cast<oci::ub2*>(value) == oci::SQLT_CHR)
        *static_cast<oci::ub2*>(value) = 25;
    return status;
}

TEST_F(OCIRecordSetTest, InternalType25PassesItsBytesThrough) {
    const std::string table = "RS_T25" + testing::UniqueNameSuffix();
    Run("CREATE TABLE " + table + " (ID NUMBER(9), CODE VARCHAR2(6))");
    Run("INSERT INTO " + table + " VALUES (1, 'abc')");
    auto recordSet = Query("SELECT ID, CODE FROM " + table);
    realAttrGet = Oci.OCIAttrGet;
    {
        testing::TEntryOverride<oci::OCIAttrGetProc> describe(Oci.OCIAttrGet, AttrGetWithType25);
        recordSet->Open();
    }
    const TFieldDesc& code = *recordSet->FieldByName("CODE");
    EXPECT_EQ(code.DataType, dtInternalBytes);
    EXPECT_EQ(code.Size, 6);
    EXPECT_EQ(recordSet->FieldByName("ID")->DataType, dtInteger);
    TRecordBuffer record = recordSet->AllocRecBuf();
    recordSet->GetNextRecord(record.data());
    ASSERT_FALSE(recordSet->Eof());
    char bytes[6] = {};
    bool isNull = true;
    recordSet->GetField(2, record.data(), bytes, isNull);
    EXPECT_FALSE(isNull);
    EXPECT_EQ(std::string(bytes, 3), "abc");
    recordSet->Close();
    Run("DROP TABLE " + table);
}

class OCIRecordSet817Test : public OCIRecordSetTest {
protected:
    void SetUp() override {
        library_ = "client817\\oci.dll";
        OCIRecordSetTest::SetUp();
    }
};

// This client release writes a LONG column's indicator as far past the address it gets as the
// row lies within the block.
TEST_F(OCIRecordSet817Test, LongColumnNullsOfAClientThatMovesIndicators) {
    ASSERT_EQ(OciClient().ClientVersionText, "8.1.7.0.0");
    const std::string table = "RS_817" + testing::UniqueNameSuffix();
    Run("CREATE TABLE " + table + " (ID NUMBER(9), L LONG, N NUMBER(9))");
    for (int i = 1; i <= 5; ++i)
        Run("INSERT INTO " + table + " VALUES (" + std::to_string(i) + ", " +
            (i % 2 == 0 ? std::string("NULL") : "'long " + std::to_string(i) + "'") + ", " + std::to_string(10 * i) +
            ")");
    auto recordSet = Query("SELECT ID, L, N FROM " + table + " ORDER BY ID");
    recordSet->SetProp(prFetchRows, Variant(5));
    recordSet->Open();
    TRecordBuffer record = recordSet->AllocRecBuf();
    for (int i = 1; i <= 5; ++i) {
        recordSet->GetNextRecord(record.data());
        ASSERT_FALSE(recordSet->Eof());
        EXPECT_EQ(recordSet->GetNull(2, record.data()), i % 2 == 0) << i;
        EXPECT_EQ(recordSet->GetBlob(2, record.data())->AsString(), i % 2 == 0 ? "" : "long " + std::to_string(i));
        EXPECT_FALSE(recordSet->GetNull(3, record.data())) << i;
        Variant n;
        recordSet->GetFieldAsVariant(3, record.data(), n);
        EXPECT_EQ(n.AsInteger(), 10 * i);
    }
    recordSet->Close();
    Run("DROP TABLE " + table);
}

TEST_F(OCIRecordSetTest, NullsAndDatesWrittenIntoARecord) {
    auto recordSet = Query("SELECT SYSDATE D, 5 N FROM DUAL");
    recordSet->Open();
    TRecordBuffer record = recordSet->AllocRecBuf();
    recordSet->GetNextRecord(record.data());
    ASSERT_FALSE(recordSet->Eof());
    EXPECT_FALSE(recordSet->GetNull(2, record.data()));
    recordSet->SetNull(2, record.data(), true);
    EXPECT_TRUE(recordSet->GetNull(2, record.data()));
    const platform::TDateTime day = platform::EncodeDate(1999, 12, 31);
    recordSet->PutFieldAsVariant(1, record.data(), Variant::FromDateTime(day));
    Variant value;
    recordSet->GetFieldAsVariant(1, record.data(), value);
    EXPECT_DOUBLE_EQ(value.AsDateTime(), day);
    recordSet->GetNextRecord(record.data());
    EXPECT_TRUE(recordSet->Eof());
}

TEST_F(OCIRecordSetTest, OpeningAStatementWithoutRowsFails) {
    Run("CREATE TABLE RS_NOROWS (N NUMBER)");
    auto recordSet = Query("UPDATE RS_NOROWS SET N = 1");
    try {
        recordSet->Open();
        ADD_FAILURE() << "opened";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "SQL statement doesn't return rows");
    }
    EXPECT_FALSE(recordSet->Active());
    Run("DROP TABLE RS_NOROWS");
}

}  // namespace
}  // namespace oracle
