#include <gtest/gtest.h>

#include <string>

#include "platform/StringList.h"

using namespace platform;

// Change handlers run around each change, and once per update bracket.
TEST(StringListUpdates, HandlersRunPerChangeOrOncePerBracket) {
    TStringList list;
    std::string log;
    list.OnChanging = [&](TStringList& l) { log += "<" + std::to_string(l.Count()); };
    list.OnChange = [&](TStringList& l) { log += ">" + std::to_string(l.Count()); };

    list.Add("a");
    list.Insert(0, "b");
    list.Put(0, "c");
    list.Delete(1);
    EXPECT_EQ(log, "<0>1<1>2<2>2<2>1");

    log.clear();
    list.AssignText("x\r\ny\r\nz");  // one bracket around clear and three adds
    EXPECT_EQ(log, "<1>3");

    log.clear();
    list.BeginUpdate();
    list.AssignCommaText("p,q");
    list.Add("r");
    list.BeginUpdate();
    list.EndUpdate();
    EXPECT_EQ(log, "<3");
    list.EndUpdate();
    EXPECT_EQ(log, "<3>3");
    list.EndUpdate();  // unbalanced: ignored
    EXPECT_EQ(list.UpdateCount(), 0);

    log.clear();
    list.Clear();
    list.Clear();  // nothing to clear: no change
    EXPECT_EQ(log, "<3>0");

    // A sorted add that a duplicate ignores changes nothing.
    list.SetSortedFlag(true);
    list.Add("k");
    log.clear();
    EXPECT_EQ(list.Add("K"), -1);
    EXPECT_EQ(log, "");
}
