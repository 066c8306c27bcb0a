#include <gtest/gtest.h>

#include <regex>

#include "DAFixtures.h"
#include "oracle/core/DASQLMonitor.h"
#include "platform/DateTime.h"
#include "platform/FormatSettings.h"

namespace oracle {
namespace {

using namespace oracle::test;
using platform::AnsiString;

class LineMonitor : public TDASQLMonitor {
public:
    using TDASQLMonitor::TDASQLMonitor;
    std::vector<std::string> Lines;
    std::vector<std::pair<int, std::string>> Events;
    void AfterConstruction() override {
        TDASQLMonitor::AfterConstruction();
        OnSQL = [this](void*, const AnsiString& text, TDATraceFlag flag) { Events.emplace_back(flag, text); };
    }

protected:
    void SendToMonitor(const AnsiString& text) override { Lines.push_back(text); }
};

TEST(Monitor, ParameterLines) {
    platform::TParams params;
    auto add = [&](const char* name, platform::TFieldType type, platform::TParamType direction) -> platform::TParam& {
        return params.CreateParam(type, name, direction);
    };
    add("EMPNO", platform::ftInteger, platform::ptInput).SetValue(platform::Variant(7369));
    add("ENAME", platform::ftString, platform::ptInput);
    add("JOB", platform::ftString, platform::ptInputOutput).SetValue(platform::Variant("CLERK"));
    add("HIRED", platform::ftDate, platform::ptOutput).SetValue(platform::Variant::FromDateTime(platform::EncodeDate(2003, 5, 17)));
    add("DOC", platform::ftBlob, platform::ptInput).SetValue(platform::Variant("abc"));
    add("CUR", platform::ftCursor, platform::ptResult).SetValue(platform::Variant(1));
    add("N", platform::ftFloat, platform::ptUnknown).SetValue(platform::Variant(1.5));
    const std::string date = platform::DateToStr(platform::EncodeDate(2003, 5, 17));
    const std::vector<std::string> expected = {
        ":EMPNO (Integer,IN) = 7369",       ":ENAME (String[0],IN) = <NULL>", ":JOB (String[5],IN/OUT) = 'CLERK'",
        ":HIRED (Date,OUT) = " + date,      ":DOC (Blob,IN) = <BLOB:3>",      ":CUR (Cursor,RESULT) = <CURSOR>",
        ":N (Float) = " + platform::FloatToStr(1.5)};
    std::string all;
    for (int i = 0; i < params.Count(); ++i) {
        EXPECT_EQ(DASQLMonitorClass().ParamToText(params.Items(i)), expected[static_cast<size_t>(i)]);
        all += expected[static_cast<size_t>(i)] + " \r\n";
    }
    EXPECT_EQ(DASQLMonitorClass().ParamsToText(&params), all);
    EXPECT_EQ(DASQLMonitorClass().ParamsToText(nullptr), "");
}

TEST(Monitor, ConnectionAndTransactionLinesFollowTheAskedKinds) {
    FakeServer server;
    auto monitor = platform::NewUnownedComponent<LineMonitor>();
    auto session = NewSession(server);
    session->SetName("S1");
    session->SetUsername("scott");
    session->SetServer("orcl");
    monitor->SetMonitorTraceFlags(mtConnect);
    session->Connect();
    session->Commit();
    EXPECT_EQ(monitor->Lines, (std::vector<std::string>{"Connect: scott@orcl"}));
    monitor->SetMonitorTraceFlags(mtTransact | mtError);
    monitor->SetOptions(monitor->Options() | moHandled);
    session->Rollback();
    ASSERT_EQ(monitor->Lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(monitor->Lines[1], std::regex(R"(Rollback: scott@orcl \[S1\$[0-9A-F]{8,16}\] )")))
        << monitor->Lines[1];
    EXPECT_THROW(session->Fake().RaiseError(942), EDAError);
    EXPECT_EQ(monitor->Lines.back(), "Error: ORA-942: scripted failure");
    std::vector<int> flags;
    for (const auto& event : monitor->Events) flags.push_back(event.first);
    EXPECT_EQ(flags, (std::vector<int>{tfConnect, tfTransact, tfTransact, tfError}));
    // Without the outside-monitor option nothing is sent, OnSQL still hears.
    monitor->SetOptions(moDialog | moCustom);
    session->Commit();
    EXPECT_EQ(monitor->Lines.size(), 3u);
    EXPECT_EQ(monitor->Events.size(), 5u);
}

TEST(Monitor, StatementLinesCarryParametersWhenAsked) {
    FakeServer server;
    auto monitor = platform::NewUnownedComponent<LineMonitor>();
    monitor->SetMonitorTraceFlags(mtPrepare | mtExecute | mtParams);
    auto session = NewSession(server);
    auto statement = platform::NewUnownedComponent<TDASQL>();
    statement->SetConnection(session.get());
    statement->SetSQLText("delete from t where a = :a   ");
    statement->Params().ParamByName("a").SetAsInteger(3);
    statement->Execute();
    EXPECT_EQ(monitor->Lines, (std::vector<std::string>{"SQL Prepare: delete from t where a = :a", ":a (Integer) = 3",
                                                        "SQL Execute: delete from t where a = :a", ":a (Integer) = 3"}));
    // A monitor made while another is current hears nothing; once the first is gone, the next one does.
    auto second = platform::NewUnownedComponent<LineMonitor>();
    second->SetMonitorTraceFlags(mtExecute);
    statement->Execute();
    EXPECT_TRUE(second->Lines.empty());
    monitor.reset();
    statement->Execute();
    EXPECT_TRUE(second->Lines.empty());
    auto third = platform::NewUnownedComponent<LineMonitor>();
    third->SetMonitorTraceFlags(mtExecute);
    statement->Execute();
    EXPECT_EQ(third->Lines.size(), 1u);
    third->SetActive(false);
    statement->Execute();
    EXPECT_EQ(third->Lines.size(), 1u);
}

}  // namespace
}  // namespace oracle
