#include <gtest/gtest.h>

#include "SetrixLibrary.h"

namespace {

class ListExports : public ::testing::Test {
protected:
    SetrixLibrary dll;
    decltype(dll.Fn<const char*(const char*, const char*)>("")) addToList =
        dll.Fn<const char*(const char*, const char*)>("AddToList");
    decltype(addToList) joinLists = dll.Fn<const char*(const char*, const char*)>("JoinLists");
    decltype(dll.Fn<const char*(const char*, int)>("")) getEntry =
        dll.Fn<const char*(const char*, int)>("GetEntry");
};

}  // namespace

TEST_F(ListExports, AddToListSortsAndDropsLinesEqualIgnoringCase) {
    struct Case {
        const char* list;
        const char* item;
        const char* expected;
    } cases[] = {
        {"b\r\na\r\nA", "B", "a\r\nb\r\n"},
        {"x", "", "\r\nx\r\n"},
        {"", "", "\r\n"},
        {"c\nb\ra", "b", "a\r\nb\r\nc\r\n"},
        // Cyrillic in code page 1251: "ё" folds onto "Ё".
        {"\xB8\r\n\xE0", "\xA8", "\xE0\r\n\xB8\r\n"},
    };
    for (const Case& c : cases) EXPECT_STREQ(addToList(c.list, c.item), c.expected) << c.list;
}

TEST_F(ListExports, GetEntryPicksOneBasedLinesAndIsEmptyOutside) {
    struct Case {
        const char* list;
        int n;
        const char* expected;
    } cases[] = {
        {"one\r\ntwo\nthree", 1, "one"}, {"one\r\ntwo\nthree", 3, "three"}, {"one\r\ntwo\nthree", 0, ""},
        {"one\r\ntwo\nthree", -1, ""},   {"one\r\ntwo\nthree", 4, ""},      {"", 1, ""},
        {"a\r\n\r\nb", 2, ""},
    };
    for (const Case& c : cases) EXPECT_STREQ(getEntry(c.list, c.n), c.expected) << c.list << " " << c.n;
}

TEST_F(ListExports, JoinListsMergesIntoOneSortedList) {
    struct Case {
        const char* a;
        const char* b;
        const char* expected;
    } cases[] = {
        {"", "", ""},
        {"x", "", "x\r\n"},
        {"", "y", "y\r\n"},
        {"b\r\na", "A\r\nc", "a\r\nb\r\nc\r\n"},
        // A list that already ends with its line end leaves one empty line between.
        {"x\r\n", "y", "\r\nx\r\ny\r\n"},
    };
    for (const Case& c : cases) EXPECT_STREQ(joinLists(c.a, c.b), c.expected) << c.a << "|" << c.b;
}

TEST_F(ListExports, ResultPassedBackAsArgumentIsReadBeforeBeingReplaced) {
    const char* first = addToList("m\r\nk", "z");
    const char* second = addToList(first, "a");
    EXPECT_STREQ(second, "a\r\nk\r\nm\r\nz\r\n");
    const char* joined = joinLists(second, second);
    EXPECT_STREQ(joined, "\r\na\r\nk\r\nm\r\nz\r\n");
    EXPECT_STREQ(getEntry(joined, 2), "a");
    const char* line = getEntry("p\r\nq", 2);
    EXPECT_STREQ(getEntry(line, 1), "q");
}

// EmptyProc stores no result: the text the previous call handed back stays as it was.
TEST_F(ListExports, EmptyProcLeavesThePreviousResultAlone) {
    auto emptyProc = dll.Fn<void()>("EmptyProc");
    const char* list = addToList("b\r\na", "c");
    emptyProc();
    emptyProc();
    EXPECT_STREQ(list, "a\r\nb\r\nc\r\n");
    EXPECT_STREQ(getEntry(list, 3), "c");
}
