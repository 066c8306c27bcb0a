#include <gtest/gtest.h>

#include "platform/StringList.h"

using namespace platform;

namespace {

AnsiString SortedOf(const AnsiString& text, const AnsiString& extra) {
    TStringList list;
    list.SetSortedFlag(true);
    list.AssignText(text);
    list.Add(extra);
    return list.JoinedText();
}

}  // namespace

TEST(StringList, SortedListIgnoresCaseDuplicatesKeepingFirst) {
    struct Case {
        const char* text;
        const char* item;
        const char* expected;
    } cases[] = {
        {"b\r\na\r\nA", "B", "a\r\nb\r\n"},
        {"x\ny\rz", "", "\r\nx\r\ny\r\nz\r\n"},
        // Cyrillic folds case in the user's locale: "Ёж" and "ёж" are one line.
        {"\xA8\xE6\r\n\xE0", "\xB8\xE6", "\xE0\r\n\xA8\xE6\r\n"},
        {"", "only", "only\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(SortedOf(c.text, c.item), c.expected) << c.text;
}

TEST(StringList, TextSplitsOnEveryLineEndAndKeepsInnerEmptyLines) {
    TStringList list;
    list.AssignText("a\r\n\r\nb\rc\n");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[1], "");
    EXPECT_EQ(list[3], "c");
    list.AssignZText(nullptr);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.JoinedText(), "");
}

TEST(StringList, CommaTextRoundTripsQuotesAndBlanks) {
    TStringList list;
    list.AssignCommaText("a, \"b c\",\"d\"\"e\",,f");
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(list[1], "b c");
    EXPECT_EQ(list[2], "d\"e");
    EXPECT_EQ(list[3], "");
    EXPECT_EQ(list.CommaText(), "a,\"b c\",\"d\"\"e\",\"\",f");
}

TEST(StringList, NameValueLines) {
    TStringList list;
    list.AssignText("Path=C:\\x\nUser=sys");
    EXPECT_EQ(list.Values("user"), "sys");
    EXPECT_EQ(list.Values("none"), "");
    list.SetValue("USER", "");
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Names(0), "Path");
}

TEST(StringList, BadIndexRaises) {
    TStringList list;
    list.Add("a");
    EXPECT_THROW(list.Get(1), EStringListError);
    EXPECT_THROW(list.Delete(-1), EStringListError);
    list.SetSortedFlag(true);
    EXPECT_THROW(list.Insert(0, "b"), EStringListError);
}
