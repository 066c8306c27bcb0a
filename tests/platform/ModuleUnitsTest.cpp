#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ModuleUnits.h"

using namespace platform;

TEST(ModuleUnitsTest, StopsRunInReverseAndOnlyForUnitsThatStarted) {
    std::vector<std::string> log;
    TModuleUnits units;
    auto add = [&](const char* name, bool failStart, bool failStop) {
        units.Add(
            name,
            [&log, name, failStart] {
                if (failStart) throw Exception(std::string("start ") + name);
                log.push_back(std::string("+") + name);
            },
            [&log, name, failStop] {
                log.push_back(std::string("-") + name);
                if (failStop) throw Exception(std::string("stop ") + name);
            });
    };
    add("loader", false, false);
    add("tokenizer", false, true);
    add("sessions", false, false);
    units.Start();
    EXPECT_TRUE(units.Started());
    // A failing stop does not keep the others from stopping; its failure comes after.
    try {
        units.Stop();
        ADD_FAILURE() << "the failing stop was not reported";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "stop tokenizer");
    }
    const std::vector<std::string> expected = {"+loader", "+tokenizer", "+sessions", "-sessions", "-tokenizer",
                                               "-loader"};
    EXPECT_EQ(log, expected);
    EXPECT_FALSE(units.Started());

    // A failing start stops what this start began and reports the start failure.
    log.clear();
    TModuleUnits failing;
    failing.Add("a", [&] { log.push_back("+a"); }, [&] { log.push_back("-a"); });
    failing.Add("b", [] { throw Exception("start b"); }, [&] { log.push_back("-b"); });
    failing.Add("c", nullptr, nullptr);
    EXPECT_THROW(failing.Start(), Exception);
    const std::vector<std::string> rolledBack = {"+a", "-a"};
    EXPECT_EQ(log, rolledBack);
    EXPECT_FALSE(failing.Started());
}
