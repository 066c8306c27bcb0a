#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "oracle/core/Blob.h"
#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraParamDesc.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/ScopeExit.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using testing::PumpUntilDone;

using platform::Variant;

TEST(NormalizeSQL, LineEndsOutsideStringLiterals) {
    const struct {
        const char* text;
        const char* normalized;
    } cases[] = {
        {"SELECT *\r\nFROM DUAL", "SELECT *\nFROM DUAL"},
        {"A\rB", "A\nB"},
        {"'x\r\ny'\r\n", "'x\r\ny'\n"},
        {"A -- it's\r\n'B\r'", "A -- it's\n'B\r'"},
        {"/* '\r */ X\r", "/* '\n */ X\r"},
        {"/* c */", "/* c */"},
        {"", ""},
    };
    for (const auto& c : cases) {
        int offset = -1;
        EXPECT_EQ(NormalizeSQL(c.text, offset), c.normalized) << c.text;
        EXPECT_EQ(offset, -1);
    }
}

TEST(NormalizeSQL, OffsetsMapBackToTheCallersText) {
    int offset = 10;
    NormalizeSQL("SELECT\r\n1 FROM X", offset);
    EXPECT_EQ(offset, 11);
    offset = 3;
    NormalizeSQL("ABCDEF", offset);
    EXPECT_EQ(offset, 3);
}

std::vector<std::string> ParamNames(TOCICommand& command) {
    std::vector<std::string> names;
    for (int i = 0; i < command.ParamCount(); ++i) {
        auto* param = static_cast<TOraParamDesc*>(command.ParamAt(i));
        names.push_back((param->QuotedName() ? "\"" : "") + param->GetName());
    }
    return names;
}

TEST(OCICommandParams, PlaceholdersOfTheText) {
    const struct {
        const char* sql;
        std::vector<std::string> names;
    } cases[] = {
        {"SELECT * FROM T WHERE A = :a OR B = :A", {"a"}},
        {"UPDATE T SET A = :1, B = :\"Name\" WHERE C = :begin", {"1", "\"Name", "BEGIN"}},
        {"BEGIN x := 1; :out := 2; END;", {"out"}},
        {"SELECT ':no' /* :nor */ FROM DUAL -- :neither", {}},
        {"CREATE TRIGGER TR BEFORE INSERT ON T FOR EACH ROW BEGIN :new.A := :old.A; END;", {}},
    };
    for (const auto& c : cases) {
        TOCICommand command;
        command.SetSQL(c.sql);
        EXPECT_EQ(ParamNames(command), c.names) << c.sql;
    }
    TOCICommand command;
    ASSERT_TRUE(command.SetProp(prScanParams, Variant(false)));
    command.SetSQL("SELECT :a FROM DUAL");
    EXPECT_EQ(command.ParamCount(), 0);
}

TEST(OCICommandParams, StateChecksWithoutASession) {
    TOCICommand command;
    command.SetSQL("SELECT 1 FROM DUAL");
    const struct {
        std::function<void()> call;
        const char* message;
    } cases[] = {
        {[&] { command.Prepare(); }, "Session is not defined"},
        {[&] { command.CloseCursor(); }, "Cursor must be opened"},
        {[&] { command.GetRowId(); }, "Cursor must be opened"},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.message;
        } catch (const platform::Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    TOCIConnection connection;
    command.SetConnection(&connection);
    try {
        command.Prepare();
        ADD_FAILURE() << "not connected";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Session is not connected");
    }
}

class OCICommandTest : public testing::StandinLogOnTest {
protected:
    // Runs a statement; answers property 13 (rows processed).
    int Run(const std::string& sql, std::function<void(TOCICommand&)> bind = {}, int iterations = 1,
            TOCIConnection* connection = nullptr) {
        std::unique_ptr<TQdCommand> created = (connection ? connection : &connection_)->CreateCommand();
        auto& command = static_cast<TOCICommand&>(*created);
        command.SetSQL(sql);
        if (bind) bind(command);
        command.Execute(iterations);
        Variant rows;
        command.GetProp(prRowsProcessed, rows);
        return rows.AsInteger();
    }

    TOraParamDesc& Param(TOCICommand& command, const char* name) {
        return *static_cast<TOraParamDesc*>(command.FindParam(name));
    }

    // A PL/SQL table goes in with its elements and comes back with the block's.
    void CheckTableParameters() {
        std::unique_ptr<TQdCommand> created = connection_.CreateCommand();
        auto& command = static_cast<TOCICommand&>(*created);
        command.SetSQL(
            "BEGIN :total := 0; FOR i IN 1 .. :t.COUNT LOOP :total := :total + :t(i); :t(i) := :t(i) * 10; END LOOP; "
            "END;");
        auto& table = Param(command, "t");
        table.SetIsTable(true);
        table.SetParamType(pdInputOutput);
        table.SetValue(Variant::ArrayOf({Variant(1), Variant(2), Variant(3)}));
        auto& total = Param(command, "total");
        total.SetDataType(dtInteger);
        total.SetParamType(pdOutput);
        command.Execute(1);
        EXPECT_EQ(total.GetItemAsInteger(1), 6);
        EXPECT_EQ(*table.CurrentElementCount(), 3u);
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(table.GetItemAsInteger(i), 10 * i) << i;
    }

    // LONG parameters in both directions: a long input value is stored and read back whole
    // into an output parameter, next to a short input value and a null one.
    void CheckLongParameters() {
        const std::string table = "OCI_CMD_LONGIO" + testing::UniqueNameSuffix();
        Run("CREATE TABLE " + table + " (N NUMBER, L LONG)");
        std::string text(150000, 'x');
        for (size_t i = 0; i < text.size(); i += 1000) text[i] = static_cast<char>('a' + i / 1000 % 26);
        TBlob* input = NewShared<TBlob>();
        TBlob* output = NewShared<TBlob>();
        const auto longParam = [&](TOCICommand& c, const char* name, uint8_t direction, TBlob* blob) {
            auto& param = Param(c, name);
            param.SetDataType(dtMemo);
            param.SetParamType(direction);
            param.SetObject(blob);
        };
        input->SetAsString(text);
        EXPECT_EQ(Run("INSERT INTO " + table + " VALUES (1, :l)", [&](TOCICommand& c) { longParam(c, "l", pdInput, input); }),
                  1);
        input->Clear();
        EXPECT_EQ(Run("INSERT INTO " + table + " VALUES (2, :l)", [&](TOCICommand& c) { longParam(c, "l", pdInput, input); }),
                  1);
        input->SetAsString("short");
        output->SetAsString("stale");
        TBlob* echo = NewShared<TBlob>();
        Run("BEGIN SELECT L INTO :o FROM " + table + " WHERE N = 1; :e := :i || '!'; END;", [&](TOCICommand& c) {
            longParam(c, "o", pdOutput, output);
            longParam(c, "i", pdInput, input);
            longParam(c, "e", pdOutput, echo);
        });
        EXPECT_EQ(output->AsString(), text);
        EXPECT_EQ(echo->AsString(), "short!");
        EXPECT_EQ(input->AsString(), "short");
        echo->Release();
        EXPECT_EQ(Run("UPDATE " + table + " SET N = 3 WHERE L IS NULL"), 1);
        output->SetAsString("stale");
        Run("BEGIN SELECT L INTO :o FROM " + table + " WHERE N = 3; END;",
            [&](TOCICommand& c) { longParam(c, "o", pdOutput, output); });
        EXPECT_EQ(output->GetSize(), 0u);
        input->Release();
        output->Release();
        Run("DROP TABLE " + table);
    }
};

TEST_F(OCICommandTest, AutoCommitAfterDmlAndRowCounts) {
    TOCIConnection reader;
    LogOn(reader);
    Run("CREATE TABLE OCI_CMD_AC (N NUMBER)");
    EXPECT_EQ(Run("INSERT INTO OCI_CMD_AC VALUES (1)"), 1);
    EXPECT_EQ(Run("UPDATE OCI_CMD_AC SET N = 2", {}, 1, &reader), 1);  // the insert was committed
    for (int i = 0; i < 4; ++i) Run("INSERT INTO OCI_CMD_AC VALUES (3)");
    EXPECT_EQ(Run("UPDATE OCI_CMD_AC SET N = 5"), 5);
    connection_.SetProp(prAutoCommit, Variant(false));
    EXPECT_EQ(Run("DELETE FROM OCI_CMD_AC"), 5);
    connection_.Rollback();  // the delete was not committed
    connection_.SetProp(prAutoCommit, Variant(true));
    EXPECT_EQ(Run("DELETE FROM OCI_CMD_AC WHERE N = 5", {}, 1, &reader), 5);
    Run("DROP TABLE OCI_CMD_AC");
}

TEST_F(OCICommandTest, StatementTypesAndPreparedState) {
    std::unique_ptr<TQdCommand> created = connection_.CreateCommand();
    auto& command = static_cast<TOCICommand&>(*created);
    command.SetSQL("SELECT * FROM DUAL");
    command.Prepare();
    EXPECT_TRUE(command.GetPrepared());
    EXPECT_EQ(command.GetCursorState(), csPrepared);
    EXPECT_EQ(command.SQLType(), SQL_SELECT);
    EXPECT_TRUE(command.RowsReturned());
    try {
        command.Prepare();
        ADD_FAILURE() << "prepared twice";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Cursor has been opened");
    }
    command.Unprepare();
    EXPECT_EQ(command.GetCursorState(), csInactive);
    command.SetSQL("BEGIN NULL; END;");
    command.Prepare();
    EXPECT_EQ(command.SQLType(), SQL_PLSQL);
    try {
        command.CheckRowsReturned();
        ADD_FAILURE() << "a block returns no rows";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "SQL statement doesn't return rows");
    }
    command.Unprepare();
}

TEST_F(OCICommandTest, BoundValuesReachTheServer) {
    Run("CREATE TABLE OCI_CMD_BIND (N NUMBER, S VARCHAR2(20), D DATE, F NUMBER)");
    const platform::TDateTime when = platform::EncodeDate(2001, 1, 15) + platform::EncodeTime(12, 30, 0, 0);
    const auto bindAll = [&](TOCICommand& command) {
        Param(command, "n").SetValue(Variant(int32_t{42}));
        Param(command, "s").SetValue(Variant("forty-two"));
        Param(command, "d").SetValue(Variant::FromDateTime(when));
        Param(command, "f").SetValue(Variant(2.5));
    };
    EXPECT_EQ(Run("INSERT INTO OCI_CMD_BIND VALUES (:n, :s, :d, :f)", bindAll), 1);
    EXPECT_EQ(Run("UPDATE OCI_CMD_BIND SET N = N WHERE N = :n AND S = :s AND D = :d AND F = :f", bindAll), 1);
    // A null parameter without a type binds as a null text.
    EXPECT_EQ(Run("UPDATE OCI_CMD_BIND SET S = :s", [&](TOCICommand& c) { Param(c, "s").SetNull(true); }), 1);
    EXPECT_EQ(Run("DELETE FROM OCI_CMD_BIND WHERE S IS NULL"), 1);
    try {
        Run("INSERT INTO OCI_CMD_BIND (N) VALUES (:n)", [&](TOCICommand& c) {
            auto& param = Param(c, "n");
            param.SetDataType(dtUnknown);
            param.SetNull(false);
        });
        ADD_FAILURE() << "an untyped value is refused";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Unknown type of parameter n");
    }
    Run("DROP TABLE OCI_CMD_BIND");
}

TEST_F(OCICommandTest, ArrayDmlNeedsLongEnoughTables) {
    Run("CREATE TABLE OCI_CMD_ARRAY (N NUMBER)");
    EXPECT_EQ(Run(
                  "INSERT INTO OCI_CMD_ARRAY VALUES (:n)",
                  [&](TOCICommand& c) { Param(c, "n").SetValue(Variant::ArrayOf({Variant(1), Variant(2), Variant(3)})); },
                  3),
              3);
    try {
        Run("INSERT INTO OCI_CMD_ARRAY VALUES (:n)",
            [&](TOCICommand& c) { Param(c, "n").SetValue(Variant::ArrayOf({Variant(1), Variant(2)})); }, 3);
        ADD_FAILURE() << "two values for three iterations";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "n parameter must be array with length 3");
    }
    EXPECT_EQ(Run("DELETE FROM OCI_CMD_ARRAY"), 3);
    Run("DROP TABLE OCI_CMD_ARRAY");
}

TEST_F(OCICommandTest, ParseErrorsKeepTheirOffsetInTheCallersText) {
    std::unique_ptr<TQdCommand> created = connection_.CreateCommand();
    auto& command = static_cast<TOCICommand&>(*created);
    command.SetSQL("  SELECT\r\nNO_SUCH_COLUMN FROM DUAL");
    try {
        command.Execute(1);
        ADD_FAILURE() << "the column is missing";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), 904);
    }
    EXPECT_EQ(command.GetCursorState(), csInactive);
    Variant offset;
    ASSERT_TRUE(command.GetProp(prErrorOffset, offset));
    // The client points at the column in "SELECT\nNO_SUCH_COLUMN FROM DUAL" (offset 7); the
    // caller's text has two blanks and a carriage return more before it.
    EXPECT_EQ(offset.AsInteger(), 10);
}

TEST_F(OCICommandTest, RowIdOfTheInsertedRow) {
    Run("CREATE TABLE OCI_CMD_ROWID (N NUMBER)");
    std::unique_ptr<TQdCommand> created = connection_.CreateCommand();
    auto& command = static_cast<TOCICommand&>(*created);
    command.SetSQL("INSERT INTO OCI_CMD_ROWID VALUES (1)");
    command.Prepare();
    command.Execute(1);
    const std::string rowid = command.GetRowId();
    command.Unprepare();
    EXPECT_EQ(rowid.size(), 18u) << rowid;
    EXPECT_EQ(Run("DELETE FROM OCI_CMD_ROWID WHERE ROWID = :r",
                  [&](TOCICommand& c) { Param(c, "r").SetValue(Variant(rowid)); }),
              1);
    Run("DROP TABLE OCI_CMD_ROWID");
}

TEST_F(OCICommandTest, LongValuesTravelInPieces) {
    Run("CREATE TABLE OCI_CMD_LONG (N NUMBER, L LONG)");
    TBlob* blob = NewShared<TBlob>();
    std::string text(150000, 'x');
    for (size_t i = 0; i < text.size(); i += 1000) text[i] = static_cast<char>('a' + i / 1000 % 26);
    blob->SetAsString(text);
    EXPECT_EQ(Run("INSERT INTO OCI_CMD_LONG VALUES (1, :l)",
                  [&](TOCICommand& c) {
                      auto& param = Param(c, "l");
                      param.SetDataType(dtMemo);
                      param.SetParamType(pdInput);
                      param.SetObject(blob);
                  }),
              1);
    EXPECT_EQ(Run("UPDATE OCI_CMD_LONG SET N = 2 WHERE L = :l", [&](TOCICommand& c) {
                  auto& param = Param(c, "l");
                  param.SetDataType(dtMemo);
                  param.SetParamType(pdInput);
                  param.SetObject(blob);
              }),
              1);
    blob->Release();
    Run("DROP TABLE OCI_CMD_LONG");
}

TEST_F(OCICommandTest, LobParametersMoveTheirValue) {
    Run("CREATE TABLE OCI_CMD_LOB (ID NUMBER, BODY CLOB)");
    TOraLob* written = NewShared<TOraLob>();
    written->SetAsString("hello, large object");
    const auto bindLob = [](TOraLob* lob, uint8_t direction) {
        return [lob, direction](TOCICommand& c) {
            auto& param = *static_cast<TOraParamDesc*>(c.FindParam("body"));
            param.SetDataType(dtOraClob);
            param.SetParamType(direction);
            param.SetObject(lob);
        };
    };
    EXPECT_EQ(Run("INSERT INTO OCI_CMD_LOB VALUES (1, EMPTY_CLOB()) RETURNING BODY INTO :body",
                  bindLob(written, pdInput)),
              1);
    TOraLob* read = NewShared<TOraLob>();
    EXPECT_EQ(Run("UPDATE OCI_CMD_LOB SET ID = 2 RETURNING BODY INTO :body", bindLob(read, pdOutput)), 1);
    EXPECT_EQ(read->AsString(), "hello, large object");
    try {
        Run("UPDATE OCI_CMD_LOB SET ID = 3 RETURNING BODY INTO :body", bindLob(read, pdInputOutput));
        ADD_FAILURE() << "an input/output LOB";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Lob parameter should be Input or Output");
    }
    written->Release();
    read->Release();
    Run("DROP TABLE OCI_CMD_LOB");
}

TEST_F(OCICommandTest, RefCursorParametersBecomeTheFetchCursor) {
    TOraCursor* refCursor = NewShared<TOraCursor>();
    {
        std::unique_ptr<TQdCommand> created = connection_.CreateCommand();
        auto& command = static_cast<TOCICommand&>(*created);
        command.SetSQL("BEGIN OPEN :c FOR SELECT 41 + 1 FROM DUAL; END;");
        auto& param = Param(command, "c");
        param.SetDataType(dtCursor);
        param.SetObject(refCursor);
        command.Execute(1);
        EXPECT_EQ(refCursor->State(), csExecuted);
        command.SetCursor(refCursor);
        EXPECT_EQ(command.Cursor(), refCursor);
        EXPECT_TRUE(command.RowsReturned());
        int32_t value = 0;
        OCIDefine* define = nullptr;
        ASSERT_EQ(Oci.OCIDefineByPos(refCursor->OCIStmt(), &define, connection_.ErrorHandle(), 1, &value, sizeof value,
                                     SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
                  OCI_SUCCESS);
        EXPECT_EQ(Oci.OCIStmtFetch(refCursor->OCIStmt(), connection_.ErrorHandle(), 1, OCI_FETCH_NEXT, OCI_DEFAULT),
                  OCI_SUCCESS);
        EXPECT_EQ(value, 42);
        command.SetCursor(nullptr);
        EXPECT_NE(command.Cursor(), refCursor);
        EXPECT_EQ(refCursor->RefCount(), 1);
    }
    refCursor->Release();
}

TEST_F(OCICommandTest, PlsqlTableParameters) { CheckTableParameters(); }

TEST_F(OCICommandTest, LongParametersThroughTheCallbacks) { CheckLongParameters(); }

// A client without dynamic binds asks for the values of data-at-execution binds (and hands
// out what a block returns to them) through status 99 and the piece information calls.
oci::sword OCI_CALL NoBindCallbacks(oci::OCIBind*, oci::OCIError*, void*, oci::OCICallbackInBind, void*,
                                    oci::OCICallbackOutBind) {
    return oci::OCI_SUCCESS;
}

TEST_F(OCICommandTest, LongParametersThroughNeedDataStatuses) {
    testing::TEntryOverride<oci::OCIBindDynamicProc> noCallbacks(Oci.OCIBindDynamic, NoBindCallbacks);
    CheckLongParameters();
}

class OCI7CommandTest : public OCICommandTest {
protected:
    void SetUp() override {
        library_ = "ociw32.dll";
        OCICommandTest::SetUp();
    }
};

TEST_F(OCI7CommandTest, StatementsOfTheVersion7Interface) {
    Run("CREATE TABLE OCI_CMD_SEVEN (N NUMBER, S VARCHAR2(10))");
    const auto bind = [&](TOCICommand& c) {
        Param(c, "n").SetValue(Variant(int32_t{7}));
        Param(c, "s").SetValue(Variant("seven"));
    };
    EXPECT_EQ(Run("INSERT INTO OCI_CMD_SEVEN VALUES (:n, :s)", bind), 1);
    EXPECT_EQ(Run("UPDATE OCI_CMD_SEVEN SET N = 8 WHERE N = :n AND S = :s", bind), 1);
    try {
        Run("SELECT * FROM NO_SUCH_TABLE");
        ADD_FAILURE() << "the table is missing";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), 942);
        EXPECT_EQ(e.Message().rfind("ORA-00942", 0), 0u);
    }
    Run("DROP TABLE OCI_CMD_SEVEN");
}

// A version 8 connection to an Oracle7 server: strings of at most 2000 bytes, and statements
// on the version 7 level through the log-on data area the client makes of the session.
class OCIOracle7ServerTest : public OCICommandTest {
protected:
    void SetUp() override {
        server_ = "SETRIX_SEVEN";
        OCICommandTest::SetUp();
    }
};

TEST_F(OCIOracle7ServerTest, StatementsOfTheVersion7LevelOverTheSession) {
    EXPECT_EQ(connection_.OCIVersion(), 2);
    EXPECT_EQ(connection_.StatementOCIVersion(), 1);
    Variant maxSize;
    ASSERT_TRUE(connection_.GetProp(prMaxStringSize, maxSize));
    EXPECT_EQ(maxSize.AsInteger(), 2000);

    const std::string table = "OCI_SEVEN_SERVER" + testing::UniqueNameSuffix();
    Run("CREATE TABLE " + table + " (N NUMBER(9), S VARCHAR2(2000), L LONG)");
    const std::string text(2000, 's');
    TBlob* blob = NewShared<TBlob>();
    blob->SetAsString(std::string(70000, 'l'));
    EXPECT_EQ(Run("INSERT INTO " + table + " VALUES (:n, :s, :l)",
                  [&](TOCICommand& c) {
                      EXPECT_EQ(c.OCIVersion(), 2);  // until prepared
                      Param(c, "n").SetValue(Variant(int32_t{1}));
                      Param(c, "s").SetValue(Variant(text));
                      auto& l = Param(c, "l");
                      l.SetDataType(dtMemo);
                      l.SetParamType(pdInput);
                      l.SetObject(blob);
                  }),
              1);
    blob->Release();
    // On a client of two bytes per character a string parameter holds half as many bytes.
    connection_.SetProp(prCharLength, Variant(2));
    EXPECT_EQ(Run("INSERT INTO " + table + " (N, S) VALUES (2, :s)",
                  [&](TOCICommand& c) { Param(c, "s").SetValue(Variant(text)); }),
              1);
    connection_.SetProp(prCharLength, Variant(1));

    // Auto-commit ran through the session: another session sees the rows.
    TOCIConnection other;
    LogOn(other);
    std::unique_ptr<TQdRecordSet> created = other.CreateRecordSet();
    auto& rows = static_cast<TOCIRecordSet&>(*created);
    rows.SetSQL("SELECT N, LENGTH(S) SL, L FROM " + table + " ORDER BY N");
    rows.Open();
    EXPECT_EQ(rows.OCICommand()->OCIVersion(), 1);
    TRecordBuffer record = rows.AllocRecBuf();
    const struct {
        int n;
        int stringLength;
        size_t longLength;
    } expected[] = {{1, 2000, 70000}, {2, 999, 0}};
    for (const auto& e : expected) {
        rows.GetNextRecord(record.data());
        ASSERT_FALSE(rows.Eof());
        Variant value;
        rows.GetFieldAsVariant(1, record.data(), value);
        EXPECT_EQ(value.AsInteger(), e.n);
        rows.GetFieldAsVariant(2, record.data(), value);
        EXPECT_EQ(value.AsInteger(), e.stringLength);
        EXPECT_EQ(rows.GetBlob(3, record.data())->GetSize(), e.longLength);
    }
    rows.Close();
    other.Disconnect();

    try {
        Run("SELECT * FROM NO_SUCH_TABLE");
        ADD_FAILURE() << "the table is missing";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode(), 942);
        EXPECT_EQ(e.Message().rfind("ORA-00942", 0), 0u) << e.Message();
    }
    Run("DROP TABLE " + table);
}

TEST_F(OCI7CommandTest, PlsqlTableParameters) { CheckTableParameters(); }

TEST_F(OCI7CommandTest, LongParametersThroughPieceRequests) { CheckLongParameters(); }

TEST_F(OCI7CommandTest, ArrayDmlNeedsLongEnoughTables) {
    const std::string table = "OCI_CMD_ARRAY7" + testing::UniqueNameSuffix();
    Run("CREATE TABLE " + table + " (N NUMBER)");
    const auto values = [&](std::vector<Variant> items) {
        return [&, items](TOCICommand& c) { Param(c, "n").SetValue(Variant::ArrayOf(items)); };
    };
    EXPECT_EQ(Run("INSERT INTO " + table + " VALUES (:n)", values({Variant(1), Variant(2), Variant(3)}), 3), 3);
    try {
        Run("INSERT INTO " + table + " VALUES (:n)", values({Variant(1), Variant(2)}), 3);
        ADD_FAILURE() << "two values for three iterations";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "n parameter must be array with length 3");
    }
    EXPECT_EQ(Run("DELETE FROM " + table), 3);
    Run("DROP TABLE " + table);
}

}  // namespace
}  // namespace oracle

namespace oracle {
namespace {

TEST_F(OCICommandTest, NonBlockingExecutionsReportOnTheOwnerThread) {
    Run("CREATE TABLE OCI_CMD_BACKGROUND (N NUMBER)");
    std::vector<std::string> reported;
    platform::SetApplicationOnException(
        [&](platform::TComponent*, const std::exception& error) { reported.push_back(error.what()); });
    platform::TScopeExit noHandler([] { platform::SetApplicationOnException({}); });
    std::unique_ptr<TQdCommand> created = connection_.CreateCommand();
    auto& command = static_cast<TOCICommand&>(*created);
    ASSERT_TRUE(command.SetProp(prNonBlocking, Variant(true)));
    std::vector<bool> ends;
    DWORD endThread = 0;
    command.AssignEvent(evAfterExecute, [&](const Variant& success) {
        ends.push_back(success.AsBoolean());
        endThread = GetCurrentThreadId();
    });

    command.SetSQL("INSERT INTO OCI_CMD_BACKGROUND VALUES (1)");
    command.Execute(1);
    PumpUntilDone([&] { return !ends.empty(); });
    EXPECT_EQ(ends, std::vector<bool>{true});
    EXPECT_EQ(endThread, GetCurrentThreadId());
    EXPECT_FALSE(command.Executing());
    const HWND window = connection_.UtilWindow();
    EXPECT_NE(window, nullptr);

    command.SetSQL("INSERT INTO NO_SUCH_TABLE VALUES (1)");
    command.Execute(1);
    PumpUntilDone([&] { return ends.size() == 2; });  // its failure is handled in the same report
    EXPECT_EQ(ends, (std::vector<bool>{true, false}));
    // The failure nobody waits for reaches the application's handler.
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].rfind("ORA-00942", 0), 0u) << reported[0];
    EXPECT_EQ(connection_.UtilWindow(), window);  // the window serves every background run

    // An error the session's handler turned into the silent abort stays silent.
    connection_.AssignEvent(evConnectionError,
                            [](const Variant& argument) { ErrorReportOf(argument).Fail = false; });
    command.Execute(1);
    PumpUntilDone([&] { return ends.size() == 3; });
    EXPECT_EQ(ends.back(), false);
    EXPECT_EQ(reported.size(), 1u);
    connection_.AssignEvent(evConnectionError, {});

    command.SetProp(prNonBlocking, Variant(false));
    EXPECT_EQ(Run("DELETE FROM OCI_CMD_BACKGROUND"), 1);
    Run("DROP TABLE OCI_CMD_BACKGROUND");
}

TEST_F(OCICommandTest, NonBlockingNeedsAThreadSafeSession) {
    connection_.SetProp(prThreadSafety, Variant(false));
    std::unique_ptr<TQdCommand> created = connection_.CreateCommand();
    auto& command = static_cast<TOCICommand&>(*created);
    command.SetProp(prNonBlocking, Variant(true));
    std::vector<bool> ends;
    command.AssignEvent(evAfterExecute, [&](const Variant& success) { ends.push_back(success.AsBoolean()); });
    command.SetSQL("SELECT * FROM DUAL");
    try {
        command.Execute(1);
        ADD_FAILURE() << "a session without thread safety runs nothing in the background";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Session must be Thread Safety");
    }
    EXPECT_EQ(ends, std::vector<bool>{false});
    EXPECT_EQ(connection_.UtilWindow(), nullptr);
}

TEST_F(OCICommandTest, ACommandFreedWhileItsEndIsPendingIsNotCalled) {
    bool ended = false;
    testing::PumpPending();
    {
        std::unique_ptr<TQdCommand> created = connection_.CreateCommand();
        created->SetProp(prNonBlocking, Variant(true));
        created->AssignEvent(evAfterExecute, [&](const Variant&) { ended = true; });
        created->SetSQL("SELECT * FROM DUAL");
        created->Execute(1);
        // The worker has ended once its report is in this thread's queue.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLPOSTMESSAGE);
        MSG report;
        ASSERT_TRUE(PeekMessageA(&report, connection_.UtilWindow(), 0, 0, PM_NOREMOVE));
    }
    testing::PumpPending();
    EXPECT_FALSE(ended);
}

}  // namespace
}  // namespace oracle
