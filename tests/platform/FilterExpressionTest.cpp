// Filter texts into the canonical expression trees the Btrieve record filters read:
// whole trees compared byte for byte with trees written out by hand from the layout.
#include <gtest/gtest.h>

#include "platform/FilterExpression.h"
#include "platform/FormatSettings.h"

using namespace platform;

namespace {

bool Fields(const AnsiString& name, TFilterExpression::FieldInfo& info) {
    struct Known {
        const char* name;
        int number;
        TFieldType type;
    };
    static const Known known[] = {{"ID", 1, ftInteger}, {"NAME", 2, ftString}, {"ACTIVE", 3, ftBoolean}, {"D", 4, ftDate}};
    for (const Known& k : known)
        if (AnsiSameText(name, k.name)) {
            info.FieldNo = k.number;
            info.DataType = k.type;
            return true;
        }
    return false;
}

std::vector<uint8_t> Tree(const char* text, TFilterOptions options = 0) {
    return TFilterExpression(text, options, Fields).Tree();
}

}  // namespace

TEST(FilterExpression, ComparisonOfAFieldWithANumber) {
    const std::vector<uint8_t> expected = {
        0x01, 0x00, 0x3B, 0x00, 0x03, 0x00, 0x0A, 0x00, 0x34, 0x00,              // header
        0x03, 0, 0, 0, 0x03, 0, 0, 0, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x1C, 0x00,  // ID = ...
        0x04, 0, 0, 0, 0x00, 0, 0, 0, 0x01, 0x00, 0x00, 0x00,                    // field 1, "ID"
        0x05, 0, 0, 0, 0x00, 0, 0, 0, 0x06, 0x00, 0x04, 0x00, 0x03, 0x00,        // int32 constant
        'I', 'D', 0, 0x05, 0x00, 0x00, 0x00};
    EXPECT_EQ(Tree("ID = 5"), expected);
    EXPECT_EQ(Tree("  ID=5 "), expected);
}

TEST(FilterExpression, NotOrPartialCaseInsensitiveAndABooleanFieldAlone) {
    const std::vector<uint8_t> expected = {
        0x01, 0x00, 0x85, 0x00, 0x08, 0x00, 0x0A, 0x00, 0x74, 0x00,
        0x02, 0, 0, 0, 0x0B, 0, 0, 0, 0x0C, 0x00, 0x40, 0x00,                    // OR
        0x01, 0, 0, 0, 0x09, 0, 0, 0, 0x16, 0x00,                                // NOT
        0x03, 0, 0, 0, 0x03, 0, 0, 0, 0x01, 0x00, 0x02, 0x00, 0x26, 0x00, 0x32, 0x00,  // NAME = 'ab*'
        0x04, 0, 0, 0, 0x00, 0, 0, 0, 0x02, 0x00, 0x00, 0x00,
        0x05, 0, 0, 0, 0x00, 0, 0, 0, 0x01, 0x00, 0x03, 0x00, 0x05, 0x00,
        0x03, 0, 0, 0, 0x03, 0, 0, 0, 0x00, 0x00, 0x00, 0x00, 0x50, 0x00, 0x5C, 0x00,  // ACTIVE = TRUE
        0x04, 0, 0, 0, 0x00, 0, 0, 0, 0x03, 0x00, 0x08, 0x00,
        0x05, 0, 0, 0, 0x00, 0, 0, 0, 0x04, 0x00, 0x02, 0x00, 0x0F, 0x00,
        'N', 'A', 'M', 'E', 0, 'a', 'b', 0, 'A', 'C', 'T', 'I', 'V', 'E', 0, 0xFF, 0xFF};
    EXPECT_EQ(Tree("NOT (NAME = 'ab*') OR ACTIVE", foCaseInsensitive), expected);
}

TEST(FilterExpression, DateTextBecomesADayNumber) {
    TFormatSettings saved = FormatSettings();
    FormatSettings().ShortDateFormat = "dd.mm.yyyy";
    FormatSettings().DateSeparator = '.';
    const std::vector<uint8_t> expected = {
        0x01, 0x00, 0x3A, 0x00, 0x03, 0x00, 0x0A, 0x00, 0x34, 0x00,
        0x03, 0, 0, 0, 0x07, 0, 0, 0, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x1C, 0x00,
        0x04, 0, 0, 0, 0x00, 0, 0, 0, 0x04, 0x00, 0x00, 0x00,
        0x05, 0, 0, 0, 0x00, 0, 0, 0, 0x02, 0x00, 0x04, 0x00, 0x02, 0x00,
        'D', 0, 0x77, 0x25, 0x0B, 0x00};  // 2 January 2001 = day 730487
    std::vector<uint8_t> got = Tree("D >= '02.01.2001'");
    FormatSettings() = saved;
    EXPECT_EQ(got, expected);
}

TEST(FilterExpression, NodeShapesOfTheOtherOperators) {
    struct Case {
        const char* text;
        TFilterOptions options;
        uint32_t rootClass, rootOp;
        uint16_t partial;
    };
    for (const Case& c : {Case{"ID IS NULL", 0, 1, 1, 0}, Case{"ID is not null", 0, 1, 2, 0},
                          Case{"NAME = NULL", 0, 1, 1, 0}, Case{"NAME <> null", 0, 1, 2, 0},
                          Case{"ID <> 1", 0, 3, 4, 0}, Case{"ID > 1", 0, 3, 5, 0}, Case{"ID < -1", 0, 3, 6, 0},
                          Case{"ID <= 1.5", 0, 3, 8, 0}, Case{"ID = 1 AND ID = 2", 0, 2, 10, 0},
                          Case{"NAME = 'a*'", foNoPartialCompare, 3, 3, 0}, Case{"NAME = 'abc*'", 0, 3, 3, 3},
                          Case{"[NAME] = 'it''s'", 0, 3, 3, 0}, Case{"\"Unknown Name\" = 'x'", 0, 3, 3, 0}}) {
        SCOPED_TRACE(c.text);
        std::vector<uint8_t> tree = Tree(c.text, c.options);
        ASSERT_GE(tree.size(), 20u);
        EXPECT_EQ(tree[2] | (tree[3] << 8), static_cast<int>(tree.size()));
        EXPECT_EQ(tree[10], c.rootClass);
        EXPECT_EQ(tree[14], c.rootOp);
        if (c.rootClass == 3) {
            EXPECT_EQ(tree[20] | (tree[21] << 8), c.partial);
        }
    }
}

TEST(FilterExpression, BadTextsRaiseTheFrameworkError) {
    for (const char* text : {"", "(ID = 1", "ID = ", "ID 5", "ID = 'a", "ID = 1 AND", "ID >> 2", "NAME", "ID = 1)",
                             "ID < NULL", "ID = #"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(Tree(text), EDatabaseError);
    }
    try {
        Tree("NOPE = 1");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field 'NOPE' not found");
    }
}

TEST(FilterExpression, LookupTreesFromTheBuilder) {
    // Two key fields joined by "and", the last compared partially.
    TFilterExpressionBuilder b;
    auto first = b.AddComparison(fopEqual, b.AddField("ID", 1, ftInteger), b.AddConstant(Variant(int32_t{7}), ftInteger),
                                 true, 0);
    auto second = b.AddComparison(fopEqual, b.AddField("NAME", 2, ftString), b.AddConstant(Variant("ab"), ftString),
                                  true, 2);
    std::vector<uint8_t> tree = b.Build(b.AddBinary(fopAnd, first, second));
    EXPECT_EQ(tree, Tree("ID = 7 AND NAME = 'ab*'", foCaseInsensitive));
    EXPECT_EQ(tree[4], 7);  // and, two comparisons, two fields, two constants
    EXPECT_THROW(b.AddConstant(Variant(int32_t{70000}), ftSmallint), EConvertError);
}
