#include <gtest/gtest.h>

#include <vector>

#include "Fixtures.h"
#include "oracle/core/FilterExpression.h"
#include "platform/DateTime.h"
#include "platform/FormatSettings.h"

namespace oracle {
namespace {

using platform::Variant;
using test::TestStore;

struct Row {
    int32_t id;
    const char* name;  // nullptr for null
    int32_t n;
    double date;
};

// Six records: ID, NAME, N, DT.
class Filters : public ::testing::Test {
protected:
    Filters() : store({{"ID", dtInteger}, {"NAME", dtString, 20}, {"N", dtInteger}, {"DT", dtDateTime}}) {
        platform::FormatSettings().ShortDateFormat = "dd.mm.yyyy";
        platform::FormatSettings().DateSeparator = '.';
        store.Open();
        const Row rows[] = {{1, "ABC", 1, 36000}, {2, "AXC", 2, 36600}, {3, "ABBC", 3, 37000},
                            {4, "abc", 1, 36526}, {5, "A*", 2, 36527}, {6, nullptr, 3, 30000}};
        for (const Row& row : rows) {
            TRecordBuffer r = store.NewRecord();
            store.PutFieldAsVariant(1, r.data(), Variant(row.id));
            if (row.name) store.PutFieldAsVariant(2, r.data(), Variant(row.name));
            store.PutFieldAsVariant(3, r.data(), Variant(row.n));
            store.PutFieldAsVariant(4, r.data(), Variant::FromDateTime(row.date));
            store.AppendRecord(r.data());
        }
    }
    ~Filters() override { platform::FormatSettings() = saved; }

    std::vector<int32_t> Kept() {
        std::vector<int32_t> ids;
        for (const auto& v : store.Visible()) ids.push_back(v.first);
        return ids;
    }
    std::vector<int32_t> Apply(const std::string& text) {
        store.SetFilterText(text);
        store.FilterUpdated();
        return Kept();
    }

    platform::TFormatSettings saved = platform::FormatSettings();
    TestStore store;
};

TEST_F(Filters, KeepTheRecordsTheExpressionAccepts) {
    struct Case {
        const char* text;
        bool caseInsensitive, noPartial;
        std::vector<int32_t> kept;
    } cases[] = {
        {"NAME = 'A*'", false, false, {1, 2, 3, 5}},
        {"NAME = 'A*'", false, true, {5}},
        {"NAME = 'A_C'", false, false, {1, 2}},
        {"NAME = 'ABC*'", false, false, {1}},
        {"NAME = 'abc'", true, false, {1, 4}},
        {"NAME <> 'ABC'", false, false, {2, 3, 4, 5, 6}},
        {"NAME = NULL", false, false, {6}},
        {"DT > '01.01.2000'", false, false, {2, 3, 5}},
        {"DT >= '01.01.2000'", false, false, {2, 3, 4, 5}},
        {"N = 1 AND (ID = 4 OR NOT N = 3)", false, false, {1, 4}},
        {"N = 1 or n = 3 and ID = 6", false, false, {1, 4, 6}},
        {"not (N < 2) and N <= 2", false, false, {2, 5}},
        {"TRUE", false, false, {1, 2, 3, 4, 5, 6}},
        {"false OR ID > 5", false, false, {6}},
        {"  ", false, false, {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        store.FilterCaseInsensitive = c.caseInsensitive;
        store.FilterNoPartialCompare = c.noPartial;
        EXPECT_EQ(Apply(c.text), c.kept) << c.text;
        store.SetFilterText("");
    }
}

TEST_F(Filters, BadTextsAreRefusedAndTheOldFilterStays) {
    Apply("N = 2");
    for (const char* text : {"(N = 1", "N = 1 N", "N", "N = 1 /* c */", "NULL = 1", "N = = 1", "NOT = 1", "N. = 1",
                             "N = 1 AND"}) {
        try {
            store.SetFilterText(text);
            ADD_FAILURE() << text << " accepted";
        } catch (const platform::Exception& e) {
            EXPECT_STREQ(e.what(), "Illegal filter expression") << text;
        }
        EXPECT_EQ(store.FilterText(), "N = 2");
        EXPECT_EQ(Kept(), (std::vector<int32_t>{2, 5})) << text;
    }
    try {
        store.SetFilterText("Q = 1");
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Filed Q not found");
    }
    EXPECT_EQ(Kept(), (std::vector<int32_t>{2, 5}));
}

TEST_F(Filters, TheTextIsParsedWhenTheStoreOpens) {
    store.Close();
    store.SetFilterText("ID = 3");
    EXPECT_EQ(store.FilterExpression(), nullptr);
    store.Open();
    ASSERT_NE(store.FilterExpression(), nullptr);
    EXPECT_EQ(store.FilterExpression()->Root()->Kind, ekEqual);
    store.Close();
    EXPECT_EQ(store.FilterExpression(), nullptr);
}

TEST(MatchesMask, WildcardsAndEnds) {
    struct Case {
        const char* value;
        const char* mask;
        bool matches;
    } cases[] = {
        {"ABC", "A*", true},  {"A", "A*", true},     {"", "*", true},      {"ABC", "*C", true},
        {"ABC", "*B", false}, {"ABBC", "A*C", true}, {"ABC", "A_C", true}, {"ABBC", "A_C", false},
        {"", "", true},       {"A", "", false},      {"", "A", false},     {"AB", "A*B*", true},
        {"ABC", "ABCD", false}, {"A*", "A*", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesMask(c.value, c.mask), c.matches) << c.value << " ~ " << c.mask;
}

}  // namespace
}  // namespace oracle
