// The Oracle components read from a form description, as a program's form declares them:
// a session that connects when the form is complete, a connect dialog, a query whose
// parameters and macros come with it and that opens against the stand-in server whatever
// the order of its lines, and a nested table on the query's dataset field.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "oracle/oci/ConnectDialog.h"
#include "oracle/oci/OraNestedTable.h"
#include "oracle/oci/OraQuery.h"
#include "oracle/oci/OraSQL.h"
#include "oracle/oci/OraSession.h"
#include "platform/FormReader.h"
#include "platform/ModuleUnits.h"
#include "tests/oracle/oci/OraQueryFixture.h"

namespace oracle::testing {
namespace {

using platform::AnsiString;

// The root a description is read into.
class TOraTestForm : public platform::TComponent {
public:
    using TComponent::TComponent;
    static const platform::TClassInfo& StaticClassInfo() {
        static const platform::TClassInfo info =
            platform::TClassInfo::Of<TOraTestForm>("TOraTestForm", &TComponent::StaticClassInfo());
        return info;
    }
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

// "{..}": the bytes as a binary block of a description.
std::string Binary(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "{";
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text + "}";
}

// The fixture's own session is the default one: the form's session is another.
class OraFormTest : public OraQueryTest {
protected:
    void SetUp() override {
        // The session unit makes the Oracle components known to descriptions.
        oracle::AddOraSessionUnit(units_);
        units_.Start();
        OraQueryTest::SetUp();
        if (IsSkipped()) return;
        table_ = "FORMROWS" + UniqueNameSuffix();
        MakeTable(table_, "ID NUMBER(5), NAME VARCHAR2(20)");
        for (const char* row : {"1, 'one'", "2, 'two'", "3, 'three'", "4, 'four'"})
            Exec("INSERT INTO " + table_ + " VALUES (" + row + ")");
        session_->Commit();
    }

    void TearDown() override {
        form_.reset();
        if (session_) {
            try {
                Exec("DROP TABLE " + table_);
            } catch (const std::exception&) {
            }
        }
        OraQueryTest::TearDown();
        units_.Stop();
    }

    TOraTestForm& Read(const std::string& description) {
        form_ = platform::NewUnownedComponent<TOraTestForm>();
        platform::ReadComponentText(*form_, description);
        return *form_;
    }
    template <class T>
    T& Child(const char* name) {
        platform::TComponent* c = form_->FindComponent(name);
        EXPECT_NE(c, nullptr) << name;
        return dynamic_cast<T&>(*c);
    }

    // The start of a description: a session that logs on through its connect string and
    // a query on it, whose lines follow.
    static constexpr const char* QueryOnSession = "OraForm: TOraTestForm\n"
                                                  "Session: TOraSession\n"
                                                  "  ConnectPrompt = False\n"
                                                  "  ConnectString = 'scott/tiger@SETRIX_TEST'\n"
                                                  "Query: TOraQuery\n"
                                                  "  Session = Session\n";

    // The IDs and names of the query's rows from its first.
    static std::string Rows(TOraQuery& query) {
        std::string rows;
        for (query.MoveToFirst(); !query.Eof(); query.MoveToNext())
            rows += query.FieldNamed("ID")->ReadAsString() + "=" + query.FieldNamed("NAME")->ReadAsString() + " ";
        return rows;
    }

    platform::TModuleUnits units_;
    std::string table_;
    std::unique_ptr<TOraTestForm> form_;
};

TEST_F(OraFormTest, SessionDialogAndQueryComeFromTheDescriptionAndTheQueryRuns) {
    Read("# A program's form with its Oracle components\n"
         "OraForm: TOraTestForm\n"
         "Query: TOraQuery\n"
         "  Session = Session\n"  // declared further down
         "  SQL = (\n"
         "    'SELECT ID, NAME FROM &tab'\n"
         "    'WHERE ID >= :LOW'\n"
         "    'ORDER BY &order')\n"
         "  SQLInsert = ('INSERT INTO " + table_ + " (ID, NAME)' 'VALUES (:ID, :NAME)')\n"
         "  FetchRows = 2\n"
         "  LockMode = lmLockDelayed\n"
         "  RefreshOptions = [roAfterInsert, roBeforeEdit]\n"
         "  Options = [doRequiredFields, doQueryRecCount]\n"
         "  OptionsDS.CacheLobs = False\n"
         "  # the streamed values follow the published properties\n"
         "  MacroData = <\n"
         "    item\n"
         "      Name = 'tab'\n"
         "      Value = '" + table_ + "'\n"
         "    end\n"
         "    item\n"
         "      Name = 'order'\n"
         "      Value = 'ID DESC'\n"
         "    end>\n"
         "  ParamData = <\n"
         "    item\n"
         "      Name = 'LOW'\n"
         "      DataType = ftInteger\n"
         "      ParamType = ptInput\n"
         "      Value = 2\n"
         "    end>\n"
         "  Active = True\n"
         "Dialog: TConnectDialog\n"
         "  ReadAliases = True\n"
         "  Retries = 2\n"
         "  Caption = 'Log on'\n"
         "Session: TOraSession\n"
         "  ConnectPrompt = False\n"
         "  ConnectMode = cmNormal\n"
         "  ThreadSafety = False\n"
         "  Username = 'scott'\n"
         "  Password = 'tiger'\n"
         "  Server = 'SETRIX_TEST'\n"
         "  ConnectDialog = Dialog\n"
         "  Options.Charset = ''\n"
         "  Options.CharLength = 1\n"
         "  Connected = True\n");

    auto& session = Child<TOraSession>("Session");
    auto& dialog = Child<TConnectDialog>("Dialog");
    auto& query = Child<TOraQuery>("Query");
    EXPECT_TRUE(session.Connected());
    EXPECT_FALSE(session.ConnectPrompt());
    EXPECT_FALSE(session.ThreadSafety());
    EXPECT_EQ(session.ConnectDialog(), &dialog);
    EXPECT_TRUE(dialog.ReadAliases);
    EXPECT_EQ(dialog.Retries(), 2);
    EXPECT_EQ(dialog.Caption(), "Log on");

    EXPECT_EQ(query.Session(), &session);
    EXPECT_EQ(query.FetchRows(), 2);
    EXPECT_EQ(query.LockMode(), lmLockDelayed);
    EXPECT_EQ(query.RefreshOptions, roAfterInsert | roBeforeEdit);
    EXPECT_TRUE(query.OptionsDS().QueryRecCount);
    EXPECT_FALSE(query.OptionsDS().StrictUpdate);  // the older set form names every option it keeps
    EXPECT_FALSE(query.OptionsDS().CacheLobs());
    EXPECT_EQ(query.SQLInsert().Count(), 2);
    ASSERT_EQ(query.Macros().Count(), 2);
    ASSERT_EQ(query.Params().Count(), 1);
    EXPECT_EQ(query.Params().Items(0).DataType(), platform::ftInteger);
    EXPECT_EQ(query.Params().Items(0).ParamType(), platform::ptInput);

    // Opened when the form was complete, with the session connected by then.
    ASSERT_TRUE(query.Active());
    EXPECT_EQ(Rows(query), "4=four 3=three 2=two ");
    EXPECT_EQ(query.CountRecords(), 3);

    // The insert text came with the form too.
    query.BeginAppend();
    query.FieldNamed("ID")->WriteAsInteger(5);
    query.FieldNamed("NAME")->WriteAsString("five");
    query.PostChanges();
    query.CloseDataSet();
    query.Params().ParamByName("LOW").SetAsInteger(4);
    query.OpenDataSet();
    EXPECT_EQ(Rows(query), "5=five 4=four ");
}

TEST_F(OraFormTest, ASessionThatNeverConnectsWhileFormsLoadKeepsItsQueriesClosed) {
    Read("OraForm: TOraTestForm\n"
         "Session: TOraSession\n"
         "  ConnectPrompt = False\n"
         "  ConnectString = 'scott/tiger@SETRIX_TEST'\n"
         "  Options.NeverConnect = True\n"
         "  Connected = True\n"
         "Query: TOraQuery\n"
         "  Session = Session\n"
         "  SQL = ('SELECT ID FROM " + table_ + "')\n"
         "  Active = True\n");
    auto& session = Child<TOraSession>("Session");
    EXPECT_FALSE(session.Connected());
    EXPECT_FALSE(Child<TOraQuery>("Query").Active());
    // At run time the option no longer holds it back.
    session.Connect();
    EXPECT_TRUE(session.Connected());
}

// Settings that need a closed dataset (their setters close it) may come before or after
// Active in a description: the query opens when the form is complete either way.
TEST_F(OraFormTest, TheOrderOfAQuerysLinesDoesNotKeepItClosed) {
    const std::string select = "  SQL = ('SELECT ID, NAME FROM " + table_ + " ORDER BY ID')\n";
    struct Case {
        std::string line;
        std::function<void(TOraQuery&)> check;
    };
    const Case cases[] = {
        {select, [](TOraQuery& q) { EXPECT_EQ(Rows(q), "1=one 2=two 3=three 4=four "); }},
        {"  FilterSQL = 'ID > 2'\n", [](TOraQuery& q) { EXPECT_EQ(Rows(q), "3=three 4=four "); }},
        {"  UniDirectional = True\n", [](TOraQuery& q) { EXPECT_TRUE(q.UniDirectional()); }},
        {"  OptionsDS.LongStrings = False\n", [](TOraQuery& q) { EXPECT_FALSE(q.OptionsDS().LongStrings()); }},
        // The older set form of the options sets LongStrings too.
        {"  Options = [doRequiredFields]\n", [](TOraQuery& q) { EXPECT_FALSE(q.OptionsDS().LongStrings()); }},
    };
    for (const Case& c : cases) {
        for (const bool lineFirst : {true, false}) {
            SCOPED_TRACE(c.line + (lineFirst ? " before Active" : " after Active"));
            const std::string active = "  Active = True\n";
            Read(QueryOnSession + (c.line == select ? "" : select) + (lineFirst ? c.line + active : active + c.line));
            auto& query = Child<TOraQuery>("Query");
            EXPECT_TRUE(query.Active());
            if (query.Active()) c.check(query);
            form_.reset();
        }
    }
}

// A nested table is declared with the persistent dataset field of its parent query and
// shows the rows of the parent's current record.
TEST_F(OraFormTest, ANestedTableComesFromTheDescription) {
    const std::string tags = "FORMTAGS" + UniqueNameSuffix();
    const std::string owners = "FORMOWNERS" + UniqueNameSuffix();
    Exec("CREATE TYPE " + tags + " AS TABLE OF NUMBER");
    MakeTable(owners, "ID NUMBER(5), TAGS " + tags);
    Exec("INSERT INTO " + owners + " VALUES (1, " + tags + "(7, 8, 9))");
    Exec("INSERT INTO " + owners + " VALUES (2, " + tags + "(1))");
    session_->Commit();

    Read(std::string(QueryOnSession) +
         "  SQL = ('SELECT TAGS FROM " + owners + " ORDER BY ID')\n"
         "  Active = True\n"
         "QueryTAGS: TOraDataSetField\n"
         "  FieldName = 'TAGS'\n"
         "  DataSet = Query\n"
         "Tags: TOraNestedTable\n"
         "  DataSetField = QueryTAGS\n"
         "  Active = True\n");
    auto& query = Child<TOraQuery>("Query");
    auto& nested = Child<TOraNestedTable>("Tags");
    const auto values = [&nested] {
        std::string text;
        for (nested.MoveToFirst(); !nested.Eof(); nested.MoveToNext())
            text += nested.Fields().FieldAt(0)->ReadAsString() + " ";
        return text;
    };
    ASSERT_TRUE(nested.Active());
    EXPECT_EQ(values(), "7 8 9 ");
    query.MoveToNext();
    EXPECT_EQ(values(), "1 ");

    form_.reset();
    Exec("DROP TABLE " + owners);
    Exec("DROP TYPE " + tags);
}

TEST_F(OraFormTest, OlderBinaryParameterAndMacroDataAreRead) {
    // Macros: 'd', a second byte, then per macro its name, its value and its activity.
    std::string macros = std::string("d") + '\0';
    macros += static_cast<char>(3) + std::string("tab");
    macros += static_cast<char>(table_.size()) + std::string(1, '\0') + table_ + '\1';
    // Parameters, format 2: one entry, an integer of 4 bytes, not null, no table,
    // length 1, input.
    std::string params = std::string("\x02\x01\x00", 3);
    params += static_cast<char>(3) + std::string("LOW");
    params += std::string("\x04\x00", 2) + std::string("\x04\x00", 2) + std::string("\x03\x00\x00\x00", 4);
    params += std::string("\x00\x00", 2) + std::string("\x01\x00\x00\x00", 4) + std::string("\x01", 1);

    Read(std::string(QueryOnSession) +
         "  SQL = ('SELECT ID FROM &tab WHERE ID >= :LOW ORDER BY ID')\n"
         "  MacroData = " + Binary(macros) + "\n"
         "  ParamData = " + Binary(params) + "\n");
    auto& query = Child<TOraQuery>("Query");
    EXPECT_EQ(query.Params().ParamByName("LOW").ParamType(), platform::ptInput);
    query.OpenDataSet();
    std::string ids;
    for (query.MoveToFirst(); !query.Eof(); query.MoveToNext()) ids += query.FieldNamed("ID")->ReadAsString() + " ";
    EXPECT_EQ(ids, "3 4 ");
}

TEST_F(OraFormTest, ValuesThatDoNotFitAreReportedWithTheirLine) {
    struct Case {
        std::string body;
        const char* messagePart;
    };
    const Case cases[] = {
        {"Session: TOraSession\n  Home = ohHome9\n", "Line 3: Error reading Session.Home: Invalid property value"},
        {"Session: TOraSession\n  Options.Nope = 1\n", "Line 3: Error reading Session.Options.Nope: Property Nope"},
        // The parameter of a stored entry must come from the text.
        {"Query: TOraQuery\n  SQL = ('SELECT 1 FROM DUAL')\n  ParamData = " +
             Binary(std::string("\x01\x01\x00\x01X\x00\x00\x00\x00\x01\x00\x00\x00", 13)) + "\n",
         "Line 4: Error reading Query.ParamData: Parameter 'X' not found"},
        {"Query: TOraQuery\n  ParamData = <\n    item\n      Table = True\n    end>\n",
         "Line 5: Error reading Query.ParamData[0].Table: This type cannot consist in table"},
        {"Query: TOraQuery\n  RefreshOptions = [roSometimes]\n", "Line 3: Error reading Query.RefreshOptions"},
    };
    for (const Case& c : cases) {
        try {
            Read("OraForm: TOraTestForm\n" + c.body);
            ADD_FAILURE() << "no error for " << c.body;
        } catch (const platform::EFormReadError& e) {
            EXPECT_NE(e.Message().find(c.messagePart), AnsiString::npos) << e.Message();
        }
        form_.reset();
    }
}

}  // namespace
}  // namespace oracle::testing
