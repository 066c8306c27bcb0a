// The Oracle SQL monitor: parameter lines of every Oracle parameter kind, the savepoint
// notices, and the session naming the Oracle monitor class.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraObject.h"
#include "oracle/oci/OraParams.h"
#include "oracle/oci/OraSQL.h"
#include "oracle/oci/OraSQLMonitor.h"
#include "oracle/oci/OraSession.h"
#include "oracle/oci/OraType.h"
#include "platform/DateTime.h"
#include "tests/oracle/oci/FakeObjectClient.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using namespace platform;

// A monitor that records what OnSQL hears.
class RecordingMonitor {
public:
    RecordingMonitor() : monitor_(NewUnownedComponent<TOraSQLMonitor>()) {
        monitor_->OnSQL = [this](void*, const AnsiString& text, TDATraceFlag flag) { Events.emplace_back(flag, text); };
    }
    std::vector<std::pair<int, std::string>> Events;

private:
    std::unique_ptr<TOraSQLMonitor> monitor_;
};

class OraParamLinesTest : public ::testing::Test {
protected:
    TOraParam& Add(const char* name, TFieldType type, TParamType direction) {
        auto& param = static_cast<TOraParam&>(params_.AddParam());
        param.SetName(name);
        param.SetDataType(type);
        param.SetParamType(direction);
        return param;
    }
    static AnsiString Line(const TParam& param) { return OraSQLMonitorClass().ParamToText(param); }

    TOraParams params_;
};

TEST_F(OraParamLinesTest, EachKindOfValue) {
    const TDateTime day = EncodeDate(2003, 5, 17);
    const TDateTime moment = day + 0.5;
    const struct {
        const char* name;
        TFieldType type;
        TParamType direction;
        std::function<void(TOraParam&)> fill;
        std::string expected;
    } cases[] = {
        {"EMPNO", ftInteger, ptInput, [](TOraParam& p) { p.SetValue(Variant(7369)); }, ":EMPNO (Integer,IN) = 7369"},
        // Oracle lists results without a direction.
        {"R", ftInteger, ptResult, [](TOraParam& p) { p.SetValue(Variant(5)); }, ":R (Integer) = 5"},
        {"N", ftFloat, ptUnknown, [](TOraParam& p) { p.SetValue(Variant(1.5)); }, ":N (Float) = " + FloatToStr(1.5)},
        {"NOTHING", ftInteger, ptOutput, [](TOraParam&) {}, ":NOTHING (Integer,OUT) = <NULL>"},
        // Single texts show the length of their value, quoted; an empty text is null.
        {"JOB", ftString, ptInputOutput, [](TOraParam& p) { p.SetValue(Variant("CLERK")); },
         ":JOB (String[5],IN/OUT) = 'CLERK'"},
        {"ENAME", ftString, ptInput, [](TOraParam& p) { p.SetSize(30); }, ":ENAME (String[0],IN) = <NULL>"},
        {"EMPTY", ftString, ptInput, [](TOraParam& p) { p.SetValue(Variant("")); }, ":EMPTY (String[0],IN) = <NULL>"},
        {"CODE", ftFixedChar, ptInput, [](TOraParam& p) { p.SetValue(Variant("AB")); },
         ":CODE (FixedChar[2],IN) = 'AB'"},
        // Arrays show their bind size (when there is one) and their length.
        {"NAMES", ftString, ptInput, [](TOraParam& p) {
             p.SetSize(20);
             p.SetLength(3);
         },
         ":NAMES (String[20],IN) = <ARRAY[3]>"},
        {"TAGS", ftFixedChar, ptInput, [](TOraParam& p) { p.SetLength(2); }, ":TAGS (FixedChar,IN) = <ARRAY[2]>"},
        {"IDS", ftInteger, ptInput, [](TOraParam& p) { p.SetLength(4); }, ":IDS (Integer,IN) = <ARRAY[4]>"},
        {"KEYS", ftInteger, ptInput, [](TOraParam& p) {
             p.SetTable(true);
             p.SetLength(4);
         },
         ":KEYS (Integer,IN) = <PL/SQL TABLE[4]>"},
        {"ONE", ftString, ptOutput,
         [](TOraParam& p) {
             p.SetSize(10);
             p.SetTable(true);
         },
         ":ONE (String[10],OUT) = <PL/SQL TABLE[1]>"},
        // Days unquoted, moments quoted.
        {"HIRED", ftDate, ptOutput, [&](TOraParam& p) { p.SetValue(Variant::FromDateTime(day)); },
         ":HIRED (Date,OUT) = " + DateToStr(day)},
        {"AT", ftDateTime, ptInput, [&](TOraParam& p) { p.SetValue(Variant::FromDateTime(moment)); },
         ":AT (DateTime,IN) = '" + DateTimeToStr(moment) + "'"},
        {"DOC", ftBlob, ptInput, [](TOraParam& p) { p.SetValue(Variant("abc")); }, ":DOC (Blob,IN) = <BLOB:3>"},
        {"NOTE", ftMemo, ptInput, [](TOraParam& p) { p.AssignText("hello"); }, ":NOTE (Memo,IN) = <BLOB:5>"},
        {"BLANK", ftBlob, ptInput, [](TOraParam&) {}, ":BLANK (Blob,IN) = <NULL>"},
        {"PIC", ftOraBlob, ptInput, [](TOraParam& p) { p.SetValue(Variant("wxyz")); }, ":PIC (BLOB,IN) = <LOB:4>"},
        {"TEXT", ftOraClob, ptInputOutput, [](TOraParam& p) { p.SetValue(Variant("ab")); },
         ":TEXT (CLOB,IN/OUT) = <LOB:2>"},
        {"NOLOB", ftOraClob, ptOutput, [](TOraParam&) {}, ":NOLOB (CLOB,OUT) = <NULL>"},
        // Before a file is bound its locator names nothing; nothing is asked of a server.
        {"F", FieldTypeBFile, ptOutput, [](TOraParam&) {}, ":F (BFile,OUT) = <BFileName('' ,'')>"},
        {"CUR", ftCursor, ptOutput, [](TOraParam&) {}, ":CUR (Cursor,OUT) = <CURSOR>"},
        {"L", FieldTypeLabel, ptInput, [](TOraParam& p) { p.SetValue(Variant("x")); }, ":L (Label,IN) = x"},
        // Objects without a type.
        {"O", ftADT, ptInput, [](TOraParam&) {}, ":O (Object:unknown,IN) = <OBJECT of unknown>"},
        {"REF", ftReference, ptOutput, [](TOraParam&) {}, ":REF (Ref:unknown,OUT) = <REF of unknown>"},
        {"VA", ftArray, ptInput, [](TOraParam&) {}, ":VA (Array:unknown,IN) = <VARRAY[0]>"},
        {"NT", ftDataSet, ptInput, [](TOraParam&) {}, ":NT (Table:unknown,IN) = <TABLE[0]>"},
    };
    for (const auto& c : cases) {
        TOraParam& param = Add(c.name, c.type, c.direction);
        c.fill(param);
        EXPECT_EQ(Line(param), c.expected) << c.name;
    }
}

TEST_F(OraParamLinesTest, ParameterListsAndPlainParameters) {
    Add("A", ftInteger, ptInput).SetValue(Variant(1));
    Add("B", ftString, ptOutput).SetValue(Variant("x"));
    EXPECT_EQ(OraSQLMonitorClass().ParamsToText(&params_), ":A (Integer,IN) = 1 \r\n:B (String[1],OUT) = 'x' \r\n");
    // A parameter of the framework's own keeps the engine-neutral form, result and all.
    TParams plain;
    TParam& cursor = plain.CreateParam(ftCursor, "C", ptResult);
    cursor.SetValue(Variant(1));
    EXPECT_EQ(Line(cursor), ":C (Cursor,RESULT) = <CURSOR>");
    EXPECT_EQ(OraSQLMonitorClass().ProductName(), "Vimbra");
    EXPECT_EQ(DASQLMonitorClass().ProductName(), "DataAccess");
}

// Typed objects and collections over the fake object calls.
class OraObjectParamLinesTest : public OraParamLinesTest {
protected:
    void SetUp() override {
        saved_ = InstallFakeObjectClient(client_);
        FakeParam person;
        person.typeCode = OCI_TYPECODE_OBJECT;
        person.attributes = {Attribute("NAME", SQLT_CHR, 20), Attribute("AGE", SQLT_NUM, 22, 3, 0)};
        client_.types["PERSON_T"] = person;
        FakeParam numbers;
        numbers.typeCode = OCI_TYPECODE_NAMEDCOLLECTION;
        numbers.collectionCode = OCI_TYPECODE_VARRAY;
        numbers.element = {Attribute("", SQLT_NUM, 22, 0, -127)};
        numbers.element.front().elementCount = 10;
        client_.types["NUMBERS_T"] = numbers;
        FakeParam numberTable = numbers;
        numberTable.collectionCode = OCI_TYPECODE_TABLE;
        client_.types["NUMTAB_T"] = numberTable;
    }
    void TearDown() override { RemoveFakeObjectClient(saved_); }

    TOraType* Describe(const std::string& name) {
        types_.push_back(Hold(NewShared<TOraType>(svc_, name)));
        return types_.back().get();
    }
    // Binds the collection to count numbers kept by the fake.
    void Fill(TOraArray* collection, FakeCollection& elements, int count) {
        collection->SetSvcCtx(svc_);
        collection->SetInstance(&elements);
        collection->SetIndicator(&indicator_);
        for (int i = 0; i < count; ++i) {
            OCINumber number{};
            const double value = i;
            OCIInd present = IndNotNull;
            FakeNumberFromReal(nullptr, &value, sizeof value, &number);
            FakeCollAppend(nullptr, nullptr, &number, &present, reinterpret_cast<OCIColl*>(&elements));
        }
    }

    OCISvcCtx* const svc_ = reinterpret_cast<OCISvcCtx*>(uintptr_t{0x1000});
    FakeClient client_;
    OCIInd indicator_ = IndNotNull;

private:
    TOciEntryPoints saved_{};
    std::vector<std::unique_ptr<TOraType, void (*)(TOraType*)>> types_;
};

TEST_F(OraObjectParamLinesTest, TypedObjectsShowTheirTypeAndItemCount) {
    TOraParam& object = Add("O", ftADT, ptInput);
    object.ObjectValue()->SetObjectType(Describe("PERSON_T"));
    EXPECT_EQ(Line(object), ":O (Object:PERSON_T,IN) = <OBJECT of PERSON_T>");

    TOraParam& ref = Add("R", ftReference, ptOutput);
    auto pointer = Hold(NewShared<TOraRef>(Describe("PERSON_T")));
    ref.ShareValueObject(pointer.get());
    EXPECT_EQ(Line(ref), ":R (Ref:PERSON_T,OUT) = <REF of PERSON_T>");

    FakeCollection arrayElements, tableElements;
    TOraParam& array = Add("VA", ftArray, ptInput);
    auto numbers = Hold(NewShared<TOraArray>(Describe("NUMBERS_T")));
    Fill(numbers.get(), arrayElements, 3);
    array.ShareValueObject(numbers.get());
    EXPECT_EQ(Line(array), ":VA (Array:NUMBERS_T,IN) = <VARRAY[3]>");

    TOraParam& table = Add("NT", ftDataSet, ptInputOutput);
    auto rows = Hold(NewShared<TOraNestTable>(Describe("NUMTAB_T")));
    Fill(rows.get(), tableElements, 5);
    table.ShareValueObject(rows.get());
    EXPECT_EQ(Line(table), ":NT (Table:NUMTAB_T,IN/OUT) = <TABLE[5]>");
}

TEST(OraSQLMonitorNotices, SavepointsReachOnlyACurrentMonitor) {
    auto session = NewUnownedComponent<TOraSession>();
    session->SetUsername("scott");
    session->SetServer("orcl");
    // Without a monitor the notices go nowhere.
    TOraSQLMonitor::NotifySavepoint(session->SQLMonitorClass(), *session, "SP0");
    {
        RecordingMonitor monitor;
        // A second monitor while the first is current hears nothing.
        RecordingMonitor second;
        TOraSQLMonitor::NotifySavepoint(session->SQLMonitorClass(), *session, "SP1");
        TOraSQLMonitor::NotifyRollbackToSavepoint(session->SQLMonitorClass(), *session, "SP1");
        EXPECT_EQ(monitor.Events, (std::vector<std::pair<int, std::string>>{
                                      {tfTransact, "Savepoint SP1: scott@orcl"},
                                      {tfTransact, "Rollback to savepoint SP1: scott@orcl"}}));
        EXPECT_TRUE(second.Events.empty());
    }
    EXPECT_EQ(TCustomDASQLMonitor::CurrentMonitor(), nullptr);
    TOraSQLMonitor::NotifyRollbackToSavepoint(session->SQLMonitorClass(), *session, "SP2");
}

class OraSQLMonitorSessionTest : public testing::OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", testing::ProgramFolder() + "\\oci.dll");
    }
};

// The session's statements are listed in the Oracle form; a file parameter shows the
// names its locator carries after the statement.
TEST_F(OraSQLMonitorSessionTest, SessionStatementsUseTheOracleForm) {
    auto session = NewUnownedComponent<TOraSession>();
    session->SetConnectPrompt(false);
    session->SetConnectString("scott/tiger@SETRIX_TEST");
    session->Connect();
    EXPECT_EQ(session->SQLMonitorClass().ProductName(), "Vimbra");
    RecordingMonitor monitor;
    auto statement = NewUnownedComponent<TOraSQL>();
    statement->SetSession(session.get());
    statement->SetSQLText("begin :F := BFILENAME('DOCS', :N); end;");
    statement->ParamByName("F").SetDataType(FieldTypeBFile);
    statement->ParamByName("F").SetParamType(ptOutput);
    statement->ParamByName("N").SetDataType(ftString);
    statement->ParamByName("N").SetParamType(ptInput);
    statement->ParamByName("N").SetValue(Variant("report.txt"));
    statement->Execute();
    bool listed = false;
    for (const auto& event : monitor.Events)
        if (event.first == tfQExecute) {
            EXPECT_NE(event.second.find(":F (BFile,OUT) = <BFileName('' ,'')>"), std::string::npos) << event.second;
            EXPECT_NE(event.second.find(":N (String[10],IN) = 'report.txt'"), std::string::npos) << event.second;
            listed = true;
        }
    EXPECT_TRUE(listed);
    EXPECT_EQ(OraSQLMonitorClass().ParamToText(statement->ParamByName("F")),
              ":F (BFile,OUT) = <BFileName('DOCS' ,'report.txt')>");
}

}  // namespace
}  // namespace oracle
