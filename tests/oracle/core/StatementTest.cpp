#include <gtest/gtest.h>

#include "DAFixtures.h"
#include "oracle/core/DASQLMonitor.h"
#include "oracle/core/Macros.h"
#include "platform/DateTime.h"

namespace oracle {
namespace {

using namespace oracle::test;
using platform::AnsiString;

// ---------------------------------------------------------------- macros

TEST(Macros, ScanAndExpand) {
    struct Case {
        const char* text;
        std::vector<std::pair<const char*, const char*>> values;  // name, value ("-": inactive)
        const char* expanded;
    } cases[] = {
        {"select * from &tab where x = 1", {{"tab", "emp"}}, "select * from emp where x = 1"},
        {"select * from &tab where x = 1", {{"tab", "-"}}, "select * from  where x = 1"},
        {"select &a, &A from t", {{"a", "1"}}, "select 1, 1 from t"},
        {"select '&a' from t /* &a */ where b = &a", {{"a", "2"}}, "select '&a' from t /* &a */ where b = 2"},
        {"select a & b from t & where", {}, "select a & b from t & where"},
        {"select 1 &* 2 from &t", {{"t", "dual"}}, "select 1 &* 2 from dual"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TMacros macros;
        macros.Scan(c.text);
        ASSERT_EQ(macros.Count(), static_cast<int>(c.values.size()));
        for (const auto& [name, value] : c.values) {
            TMacro& macro = macros.MacroByName(name);
            if (std::string(value) == "-")
                macro.SetActive(false);
            else
                macro.SetValue(value);
        }
        AnsiString text = c.text;
        macros.Expand(text);
        EXPECT_EQ(text, c.expanded);
    }
}

TEST(Macros, RescanKeepsValuesOfNamesThatStay) {
    TMacros macros;
    macros.Scan("select &a, &b from t");
    macros.MacroByName("a").SetValue("1");
    macros.MacroByName("B").SetValue("2");
    macros.Scan("select &b from t");
    ASSERT_EQ(macros.Count(), 1);
    EXPECT_EQ(macros.Items(0).Value(), "2");
    EXPECT_EQ(macros.FindMacro("a"), nullptr);
    macros.Scan("select 1 from t");
    EXPECT_EQ(macros.Count(), 0);
    ExpectDatabaseError([&] { macros.MacroByName("b"); }, "Macro b not found");
}

TEST(Macros, AnUnterminatedCommentStaysInTheText) {
    TMacros macros;
    macros.Scan("select &a from t /* open");
    macros.MacroByName("a").SetValue("x");
    AnsiString text = "select &a from t /* open";
    macros.Expand(text);
    EXPECT_EQ(text, "select x from t /* open");
}

TEST(Macros, StoredValuesAreReadForKnownMacros) {
    TMacros macros;
    macros.Scan("select &tab from &w");
    std::string data = "d";
    data += '\0';
    auto entry = [&](const std::string& name, const std::string& value, bool active) {
        data += static_cast<char>(name.size());
        data += name;
        data += static_cast<char>(value.size() & 0xFF);
        data += static_cast<char>(value.size() >> 8);
        data += value;
        data += static_cast<char>(active ? 1 : 0);
    };
    entry("TAB", "emp", true);
    entry("w", "x", false);
    macros.ReadData(data);
    EXPECT_EQ(macros.MacroByName("tab").Value(), "emp");
    EXPECT_FALSE(macros.MacroByName("w").Active());
    // A description cut short stops the reading without harm.
    macros.ReadData(data.substr(0, 7));
    EXPECT_EQ(macros.MacroByName("tab").Value(), "emp");
}

// ---------------------------------------------------------------- statements

// Collects the monitor's notices as "flag:text".
class RecordingMonitor {
public:
    RecordingMonitor() : monitor_(platform::NewUnownedComponent<TDASQLMonitor>()) {
        monitor_->OnSQL = [this](void*, const AnsiString& text, TDATraceFlag flag) {
            lines.push_back(std::to_string(flag) + ":" + text);
        };
    }
    int Count(TDATraceFlag flag) const {
        int n = 0;
        for (const auto& line : lines) n += line.rfind(std::to_string(flag) + ":", 0) == 0;
        return n;
    }
    std::vector<std::string> lines;

private:
    std::unique_ptr<TDASQLMonitor> monitor_;
};

struct StatementFixture {
    FakeServer server;
    std::unique_ptr<TestSession> session = NewSession(server);
    std::unique_ptr<TDASQL> statement = platform::NewUnownedComponent<TDASQL>();
    StatementFixture() { statement->SetConnection(session.get()); }
};

TEST(Statement, ExecuteWithoutPrepareIsPreparedAndUnpreparedAroundIt) {
    StatementFixture f;
    RecordingMonitor monitor;
    f.statement->SetSQLText("update emp set sal = :sal where empno = :empno");
    ASSERT_EQ(f.statement->ParamCount(), 2);
    f.statement->Params().ParamByName("SAL").SetAsFloat(1000);
    f.statement->Params().ParamByName("empno").SetAsInteger(7369);
    f.server.ResultFor("update emp set sal = :sal where empno = :empno\r\n").RowsAffected = 3;
    f.statement->Execute();
    EXPECT_FALSE(f.statement->Prepared());
    EXPECT_EQ(f.statement->RowsAffected(), 3);
    EXPECT_EQ(f.server.Count("unprepare update emp set sal = :sal where empno = :empno\r\n"), 1);
    ASSERT_EQ(f.server.Executed.size(), 1u);
    EXPECT_EQ(f.server.Executed[0]["empno"].AsInteger(), 7369);
    EXPECT_EQ(monitor.Count(tfQPrepare), 1);
    EXPECT_EQ(monitor.Count(tfQExecute), 1);

    f.statement->Prepare();
    f.statement->Execute();
    f.statement->Execute();
    EXPECT_TRUE(f.statement->Prepared());
    EXPECT_EQ(monitor.Count(tfQPrepare), 2);
    EXPECT_EQ(monitor.Count(tfQExecute), 3);
    EXPECT_EQ(monitor.lines.back(),
              "1:update emp set sal = :sal where empno = :empno\r\n:sal (Float) = 1000 \r\n:empno (Integer) = 7369");
}

TEST(Statement, ChangingTheTextUnpreparesAndRebuildsParametersKeepingValues) {
    StatementFixture f;
    f.statement->SetSQLText("select :a, :b from dual");
    f.statement->Params().ParamByName("a").SetAsInteger(1);
    f.statement->Params().ParamByName("b").SetAsInteger(2);
    f.statement->Prepare();
    f.statement->SetSQLText("select :a, :b from dual");
    EXPECT_TRUE(f.statement->Prepared());
    f.statement->SetSQLText("select :b, :c from dual");
    EXPECT_FALSE(f.statement->Prepared());
    ASSERT_EQ(f.statement->ParamCount(), 2);
    EXPECT_EQ(f.statement->Params().Items(0).Name(), "b");
    EXPECT_EQ(f.statement->Params().Items(0).AsInteger(), 2);
    EXPECT_TRUE(f.statement->Params().Items(1).IsNull());
}

// Without a command that scans its text (here: no command at all) the statement finds
// the parameters itself.
TEST(Statement, ParametersAreMarksOutsideStringsAndComments) {
    const struct {
        const char* text;
        std::vector<std::string> names;
    } cases[] = {
        {"select :a, :b from dual", {"a", "b"}},
        {"select ':x' from t where y = :y", {"y"}},
        {"/* :c */ select :d from t", {"d"}},
        {"select x::int from t", {}},
        {"begin :r := f(:a, :A); end;", {"r", "a"}},
    };
    for (const auto& c : cases) {
        auto statement = platform::NewUnownedComponent<TDASQL>();
        statement->SetSQLText(c.text);
        std::vector<std::string> names;
        for (int i = 0; i < statement->ParamCount(); ++i) names.push_back(statement->Params().Items(i).Name());
        EXPECT_EQ(names, c.names) << c.text;
    }
}

TEST(Statement, MacrosReachTheCommandExpanded) {
    StatementFixture f;
    f.statement->SetSQLText("select * from &tab where x = :x");
    f.statement->Macros().MacroByName("tab").SetValue("emp");
    EXPECT_EQ(f.statement->Command()->SQL(), "select * from emp where x = :x\r\n");
    EXPECT_EQ(f.statement->ParamCount(), 1);
}

TEST(Statement, ADateParameterLosesItsTimeOfDay) {
    StatementFixture f;
    f.statement->SetSQLText("insert into t values (:d, :dt)");
    const double when = platform::EncodeDate(2003, 5, 17) + platform::EncodeTime(14, 30, 0, 0);
    f.statement->Params().ParamByName("d").SetAsDateTime(when);
    f.statement->Params().ParamByName("d").SetDataType(platform::ftDate);
    f.statement->Params().ParamByName("dt").SetAsDateTime(when);
    f.statement->Execute();
    EXPECT_EQ(f.server.Executed[0]["d"].AsDateTime(), platform::EncodeDate(2003, 5, 17));
    EXPECT_EQ(f.server.Executed[0]["dt"].AsDateTime(), when);
}

TEST(Statement, WithoutSessionThereIsNothingToRun) {
    auto statement = platform::NewUnownedComponent<TDASQL>();
    statement->SetSQLText("update t set a = 1");
    ExpectDatabaseError([&] { statement->Execute(); }, "Connection is not defined");
}

TEST(Statement, SessionChangesKeepACommandOfTheSameKind) {
    StatementFixture f;
    TQdCommand* command = f.statement->Command();
    f.statement->SetConnection(f.session.get());
    EXPECT_EQ(f.statement->Command(), command);
    FakeServer other;
    auto second = NewSession(other);
    f.statement->SetConnection(second.get());
    EXPECT_EQ(f.statement->Command(), command);
    EXPECT_EQ(command->Connection(), second->ConnectionObject());
    EXPECT_FALSE(f.session->HasStatementClient(f.statement.get()));
    EXPECT_TRUE(second->HasStatementClient(f.statement.get()));
    f.statement->SetConnection(nullptr);
    EXPECT_EQ(command->Connection(), nullptr);
}

TEST(Statement, ExecuteConnectsAndADisconnectUnprepares) {
    StatementFixture f;
    f.statement->SetSQLText("update t set a = 1");
    f.statement->Prepare();
    EXPECT_TRUE(f.session->Connected());
    f.session->Disconnect();
    EXPECT_FALSE(f.statement->Prepared());
}

}  // namespace
}  // namespace oracle
