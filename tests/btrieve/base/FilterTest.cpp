#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestEngine.h"
#include "btrieve/base/FilterListItem.h"

using namespace btrieve;
using namespace testengine;

namespace {

// Writes expression trees the way the filter parser lays them out: a 10-byte header,
// the node area, then the literal area. The first node made is the root.
class TTreeBuilder {
public:
    uint16_t Node(uint32_t nodeClass, uint32_t op, size_t size) {
        const auto at = static_cast<uint16_t>(nodes_.size());
        nodes_.resize(nodes_.size() + size, 0);
        Put32(at, nodeClass);
        Put32(at + 4, op);
        return at;
    }
    uint16_t Literal(const void* data, size_t size) {
        const auto at = static_cast<uint16_t>(literals_.size());
        const auto* p = static_cast<const uint8_t*>(data);
        literals_.insert(literals_.end(), p, p + size);
        return at;
    }
    uint16_t Compare(uint32_t op, bool ci = false, uint16_t partial = 0) {
        const uint16_t at = Node(exprnode::Compare, op, 16);
        Put16(at + 8, ci ? 1 : 0);
        Put16(at + 10, partial);
        return at;
    }
    uint16_t Binary(uint32_t op) { return Node(exprnode::Binary, op, 12); }
    uint16_t Unary(uint32_t op) { return Node(exprnode::Unary, op, 10); }
    uint16_t Field(const char* name) {
        const uint16_t at = Node(exprnode::Field, 0, 12);
        Put16(at + 10, Literal(name, std::strlen(name) + 1));
        return at;
    }
    uint16_t Constant(uint16_t type, const void* value, uint16_t size) {
        const uint16_t at = Node(exprnode::Constant, 0, 14);
        Put16(at + 8, type);
        Put16(at + 10, size);
        Put16(at + 12, Literal(value, size));
        return at;
    }
    uint16_t Text(const char* text) { return Constant(fldtype::ZString, text, static_cast<uint16_t>(std::strlen(text) + 1)); }
    void Operands(uint16_t node, uint16_t first, uint16_t second = 0) {
        const bool isCompare = Get32(node) == exprnode::Compare;
        Put16(node + (isCompare ? 12 : 8), first);
        if (Get32(node) != exprnode::Unary) Put16(node + (isCompare ? 14 : 10), second);
    }
    void Put16(size_t at, uint16_t v) { std::memcpy(&nodes_[at], &v, 2); }
    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> tree(10);
        const uint16_t nodeStart = 10, literalStart = static_cast<uint16_t>(10 + nodes_.size());
        const uint16_t total = static_cast<uint16_t>(literalStart + literals_.size());
        std::memcpy(&tree[2], &total, 2);
        std::memcpy(&tree[6], &nodeStart, 2);
        std::memcpy(&tree[8], &literalStart, 2);
        tree.insert(tree.end(), nodes_.begin(), nodes_.end());
        tree.insert(tree.end(), literals_.begin(), literals_.end());
        return tree;
    }

private:
    void Put32(size_t at, uint32_t v) { std::memcpy(&nodes_[at], &v, 4); }
    uint32_t Get32(size_t at) const {
        uint32_t v;
        std::memcpy(&v, &nodes_[at], 4);
        return v;
    }
    std::vector<uint8_t> nodes_, literals_;
};

class FilterTest : public ::testing::Test {
protected:
    bool Accepts(const TTreeBuilder& tree, TRow row) {
        const std::vector<uint8_t> bytes = tree.Build();
        TFilterListItem* filter = nullptr;
        cursor_.AddFilter(0, 0, false, bytes.data(), nullptr, filter);
        cursor_.ActivateFilter(filter);
        const bool result = filter->Evaluate(reinterpret_cast<uint8_t*>(&row));
        cursor_.DropFilter(filter);
        return result;
    }
    TTestCursor cursor_{nullptr, nullptr, "T", 0, 0};
};

}  // namespace

TEST_F(FilterTest, CaseInsensitivePartialTextComparison) {
    TTreeBuilder t;
    const uint16_t root = t.Compare(exprnode::Equal, true, 3);
    t.Operands(root, t.Field("NAME"), t.Text("abcQQ"));
    EXPECT_TRUE(Accepts(t, Row(1, "ABCdef")));
    EXPECT_FALSE(Accepts(t, Row(1, "ABXdef")));
}

TEST_F(FilterTest, IntegerAgainstNumericTextComparesByValue) {
    const struct {
        uint32_t op;
        const char* text;
        bool accepted;
    } cases[] = {
        {exprnode::Equal, "7", true},
        {exprnode::Less, "8", true},
        {exprnode::Greater, " 6 ", true},
        {exprnode::Equal, "-7", false},
        {exprnode::Equal, "seven", false},  // not a number: compared as texts
    };
    for (const auto& c : cases) {
        TTreeBuilder t;
        const uint16_t root = t.Compare(c.op);
        t.Operands(root, t.Field("ID"), t.Text(c.text));
        EXPECT_EQ(Accepts(t, Row(7)), c.accepted) << c.text;
    }
}

TEST_F(FilterTest, BlankTestsUnknownNamesAndLogic) {
    TTreeBuilder blank;
    const uint16_t isBlank = blank.Unary(exprnode::IsBlank);  // the root comes first
    blank.Operands(isBlank, blank.Field("FLAG"));
    EXPECT_TRUE(Accepts(blank, Row(1, "", 0)));
    EXPECT_FALSE(Accepts(blank, Row(1, "", 3)));

    // A name the cursor does not know is the text of the name without its quotes.
    TTreeBuilder unknown;
    const uint16_t cmp = unknown.Compare(exprnode::Equal);
    unknown.Operands(cmp, unknown.Field("\"ZZ\""), unknown.Constant(15, "ZZ", 2));
    EXPECT_TRUE(Accepts(unknown, Row(1)));

    TTreeBuilder notNode;
    const uint16_t n = notNode.Unary(exprnode::Not);
    const uint16_t inner = notNode.Compare(exprnode::Equal);
    notNode.Operands(n, inner);
    notNode.Operands(inner, notNode.Field("ID"), notNode.Field("FLAG"));
    EXPECT_TRUE(Accepts(notNode, Row(1, "", 2)));
}

TEST_F(FilterTest, AndOrShortCircuit) {
    // The second operand points outside the tree: evaluating it would reject the record.
    for (uint32_t op : {exprnode::And, exprnode::Or}) {
        TTreeBuilder t;
        const uint16_t root = t.Binary(op);
        const uint16_t first = t.Compare(exprnode::Equal);
        t.Operands(first, t.Field("ID"), t.Field("ID"));  // true
        if (op == exprnode::And) t.Operands(first, t.Field("ID"), t.Field("FLAG"));  // false for id 1
        t.Operands(root, first, 60000);
        EXPECT_EQ(Accepts(t, Row(1, "", 0)), op == exprnode::Or);
    }
}

TEST_F(FilterTest, MalformedTreesRejectTheRecordWithoutReadingOutside) {
    {
        TTreeBuilder t;  // operand far beyond the tree
        const uint16_t root = t.Compare(exprnode::Equal);
        t.Operands(root, 5000, 6000);
        EXPECT_FALSE(Accepts(t, Row(1)));
    }
    {
        TTreeBuilder t;  // a node that is its own operand
        const uint16_t root = t.Unary(exprnode::Not);
        t.Operands(root, root);
        EXPECT_FALSE(Accepts(t, Row(1)));
    }
    {
        TTreeBuilder t;  // a constant longer than a node value
        const uint16_t root = t.Compare(exprnode::Equal);
        std::vector<char> big(300, 'x');
        t.Operands(root, t.Field("NAME"), t.Constant(fldtype::ZString, big.data(), 300));
        EXPECT_FALSE(Accepts(t, Row(1, "x")));
    }
    {
        TTreeBuilder t;  // a field name whose literal runs off the end
        const uint16_t root = t.Compare(exprnode::Equal);
        const uint16_t field = t.Field("ID");
        t.Operands(root, field, field);
        std::vector<uint8_t> bytes = t.Build();
        bytes.pop_back();  // drop the terminating zero of the only literal
        const uint16_t total = static_cast<uint16_t>(bytes.size());
        std::memcpy(&bytes[2], &total, 2);
        TFilterListItem* filter = nullptr;
        cursor_.AddFilter(0, 0, false, bytes.data(), nullptr, filter);
        cursor_.ActivateFilter(filter);
        TRow row = Row(1);
        EXPECT_FALSE(filter->Evaluate(reinterpret_cast<uint8_t*>(&row)));
        cursor_.DropFilter(filter);
    }
}

TEST_F(FilterTest, ValueTexts) {
    TFilterListItem::TNodeValue v;
    v.type = fldtype::Int32;
    const int32_t seven = 7;
    std::memcpy(v.value, &seven, 4);
    EXPECT_EQ(TFilterListItem::ValueToText(v), "0000000007");
    v.type = fldtype::Int16;
    const uint16_t big = 65535;
    std::memcpy(v.value, &big, 2);
    EXPECT_EQ(TFilterListItem::ValueToText(v), "65535");
    v.type = fldtype::Bool;
    EXPECT_EQ(TFilterListItem::ValueToText(v), "1");
}

namespace {
int g_first = 0, g_second = 0;
int16_t FirstRejectsOdd(intptr_t, const uint8_t* r, int32_t) {
    ++g_first;
    return reinterpret_cast<const TRow*>(r)->id % 2 == 0;
}
int16_t SecondCounts(intptr_t, const uint8_t*, int32_t) {
    ++g_second;
    return 1;
}
}  // namespace

TEST(FilterList, ActiveFiltersMustAllAcceptAndHandlesRoundTrip) {
    TTestCursor cursor(nullptr, nullptr, "T", 0, 0);
    TFilterListItem *first = nullptr, *second = nullptr;
    cursor.AddFilter(11, 1, true, nullptr, FirstRejectsOdd, first);
    cursor.AddFilter(22, 2, false, nullptr, SecondCounts, second);
    EXPECT_FALSE(cursor.FiltersActive());
    cursor.ActivateFilter(nullptr);
    TRow odd = Row(3), even = Row(4);
    g_first = g_second = 0;
    EXPECT_FALSE(cursor.RecordPassesFilters(reinterpret_cast<uint8_t*>(&odd)));
    EXPECT_EQ(g_second, 0);
    EXPECT_TRUE(cursor.RecordPassesFilters(reinterpret_cast<uint8_t*>(&even)));
    EXPECT_EQ(g_second, 1);

    TFilterInfo info;
    cursor.GetFilterInfo(second, info);
    EXPECT_EQ(info.position, 1);
    EXPECT_EQ(info.clientData, 22);
    cursor.DeactivateFilter(info.filter);
    cursor.GetFilterInfo(nullptr, info);
    EXPECT_EQ(info.filter, first);
    EXPECT_EQ(info.canAbort, -1);
    EXPECT_EQ(info.active, -1);

    TTestCursor other(nullptr, nullptr, "T", 0, 0);
    TFilterListItem* foreign = nullptr;
    other.AddFilter(0, 0, false, nullptr, nullptr, foreign);
    try {
        cursor.ActivateFilter(foreign);
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::NoSuchFilter);
    }
    cursor.DropFilter(foreign);  // not ours: nothing happens
    EXPECT_EQ(other.Filters().Count(), 1);

    cursor.DropFilter(nullptr);
    EXPECT_EQ(cursor.Filters().Count(), 0);
    EXPECT_TRUE(cursor.RecordPassesFilters(reinterpret_cast<uint8_t*>(&odd)));
    EXPECT_FALSE(cursor.FiltersActive());
}
