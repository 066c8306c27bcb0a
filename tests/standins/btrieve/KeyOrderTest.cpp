// Every key type orders by its own meaning, not by raw bytes.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/standins/btrieve/BtrieveTestClient.h"

using namespace btrieve;
using namespace btrtest;

namespace {

template <typename T>
Bytes Raw(T v) {
    Bytes b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

Bytes Text(const std::string& s, size_t length) {
    Bytes b(length, 0);
    std::memcpy(b.data(), s.data(), std::min(s.size(), length));
    return b;
}

Bytes Date(int y, int m, int d) { return {uint8_t(d), uint8_t(m), uint8_t(y & 0xFF), uint8_t(y >> 8)}; }
Bytes Time(int h, int m, int s, int hund) { return {uint8_t(hund), uint8_t(s), uint8_t(m), uint8_t(h)}; }

struct OrderCase {
    const char* name;
    uint8_t type;
    uint16_t length;
    uint16_t flags;
    std::vector<Bytes> ascending;  // values in the order the key must give
};

std::vector<OrderCase> Cases() {
    return {
        {"int2", TypeInteger, 2, 0, {Raw<int16_t>(-300), Raw<int16_t>(-1), Raw<int16_t>(0), Raw<int16_t>(1), Raw<int16_t>(256)}},
        {"int4", TypeInteger, 4, 0, {Raw<int32_t>(INT32_MIN), Raw<int32_t>(-70000), Raw<int32_t>(-1), Raw<int32_t>(2), Raw<int32_t>(70000)}},
        {"int8", TypeInteger, 8, 0, {Raw<int64_t>(-5000000000LL), Raw<int64_t>(-1), Raw<int64_t>(0), Raw<int64_t>(5000000000LL)}},
        {"int1", TypeInteger, 1, 0, {Raw<int8_t>(-128), Raw<int8_t>(-1), Raw<int8_t>(0), Raw<int8_t>(127)}},
        {"float4", TypeFloat, 4, 0, {Raw<float>(-1e10f), Raw<float>(-1.5f), Raw<float>(0.0f), Raw<float>(0.25f), Raw<float>(3.0f)}},
        {"float8", TypeFloat, 8, 0, {Raw<double>(-1e300), Raw<double>(-2.5), Raw<double>(-1e-300), Raw<double>(0.0), Raw<double>(1e-300), Raw<double>(7.0)}},
        {"float8 nan last", TypeFloat, 8, 0, {Raw<double>(-INFINITY), Raw<double>(-1.0), Raw<double>(2.0), Raw<double>(INFINITY), Raw<double>(NAN)}},
        {"date", TypeDate, 4, 0, {Date(1999, 12, 31), Date(2001, 1, 31), Date(2001, 2, 1), Date(2001, 2, 2), Date(2100, 1, 1)}},
        {"time", TypeTime, 4, 0, {Time(0, 0, 0, 1), Time(0, 0, 1, 0), Time(1, 59, 59, 99), Time(2, 0, 0, 0), Time(23, 0, 0, 0)}},
        {"decimal", TypeDecimal, 3, 0, {{0x12, 0x34, 0x5D}, {0x00, 0x00, 0x1D}, {0x00, 0x00, 0x0F}, {0x00, 0x05, 0x0F}, {0x99, 0x99, 0x9F}}},
        {"money", TypeMoney, 3, 0, {{0x00, 0x10, 0x0D}, {0x00, 0x01, 0x0B}, {0x00, 0x01, 0x0C}, {0x01, 0x00, 0x0F}}},
        {"numeric", TypeNumeric, 4, 0, {Text("002J", 4), Text("001J", 4), Text("0000", 4), Text("0005", 4), Text("001A", 4), Text("0099", 4)}},
        {"numeric sts", TypeNumericSts, 3, 0, {Text("12-", 3), Text("05-", 3), Text("00+", 3), Text("07+", 3), Text("40+", 3)}},
        {"bfloat4", TypeBFloat, 4, 0, {{0x00, 0x00, 0x80, 0x81}, {0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x80}, {0x00, 0x00, 0x00, 0x81}, {0x00, 0x00, 0x00, 0x82}}},
        {"lstring", TypeLString, 6, 0, {{0, 'z', 'z'}, {2, 'a', 'b', 'z', 'z'}, {3, 'a', 'b', 'c'}, {1, 'b', 'a', 'a'}}},
        {"zstring", TypeZString, 6, 0, {Text("", 6), {'a', 0, 'z', 'z'}, Text("ab", 6), Text("b", 6)}},
        {"unsigned", TypeUnsignedBinary, 2, 0, {Raw<uint16_t>(1), Raw<uint16_t>(0xFF), Raw<uint16_t>(0x100), Raw<uint16_t>(0xFFFF)}},
        {"logical", TypeLogical, 1, 0, {{0}, {1}}},
        {"autoincrement", TypeAutoIncrement, 4, 0, {Raw<int32_t>(1), Raw<int32_t>(2), Raw<int32_t>(300)}},
        {"currency", TypeCurrency, 8, 0, {Raw<int64_t>(-10000), Raw<int64_t>(0), Raw<int64_t>(10000)}},
        {"timestamp", TypeTimestamp, 8, 0, {Raw<uint64_t>(1), Raw<uint64_t>(0x100), Raw<uint64_t>(0x8000000000000000ull)}},
        {"string", TypeString, 3, 0, {Text("ABC", 3), Text("ABD", 3), Text("abc", 3)}},
        {"string nocase", TypeString, 6, KeyCaseInsensitive, {Text("apple", 6), Text("BANANA", 6), Text("cherry", 6), Text("\xC0\xC1", 6), Text("\xE2", 6)}},
        {"int4 descending", TypeInteger, 4, KeyDescending, {Raw<int32_t>(9), Raw<int32_t>(0), Raw<int32_t>(-1), Raw<int32_t>(-9)}},
        {"float8 descending", TypeFloat, 8, KeyDescending, {Raw<double>(2.5), Raw<double>(-0.5), Raw<double>(-3.0)}},
    };
}

class KeyOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(KeyOrder, FirstToLastFollowsTheType) {
    const OrderCase& c = GetParam();
    std::string dir = TempDirectory("order");
    std::string name = dir + "K" + std::to_string(c.type) + "_" + std::to_string(c.length) + "_" + std::to_string(c.flags) + ".DAT";
    BtrFile f;
    const uint16_t recordLength = static_cast<uint16_t>(4 + c.length);
    ASSERT_EQ(f.Create(name, FileSpec(recordLength, {{{5, c.length, c.type, c.flags}}})), 0);
    ASSERT_EQ(f.Open(name), 0);
    // Insert in an order different from the expected one: odd places, then even places.
    std::vector<size_t> order;
    for (size_t i = 1; i < c.ascending.size(); i += 2) order.push_back(i);
    for (size_t i = 0; i < c.ascending.size(); i += 2) order.push_back(i);
    for (size_t i : order) {
        Bytes record(recordLength, 0);
        int32_t id = static_cast<int32_t>(i);
        std::memcpy(record.data(), &id, 4);
        std::copy(c.ascending[i].begin(), c.ascending[i].end(), record.begin() + 4);
        ASSERT_EQ(f.Insert(record), 0) << "value " << i;
    }
    std::vector<int32_t> seen;
    for (int16_t s = f.Get(OpGetFirst, 0); s == 0; s = f.Get(OpGetNext, 0)) {
        int32_t id;
        std::memcpy(&id, f.lastRecord.data(), 4);
        seen.push_back(id);
    }
    std::vector<int32_t> expected;
    for (size_t i = 0; i < c.ascending.size(); ++i) expected.push_back(static_cast<int32_t>(i));
    EXPECT_EQ(seen, expected);
    // And backwards from the last.
    std::vector<int32_t> back;
    for (int16_t s = f.Get(OpGetLast, 0); s == 0; s = f.Get(OpGetPrevious, 0)) {
        int32_t id;
        std::memcpy(&id, f.lastRecord.data(), 4);
        back.insert(back.begin(), id);
    }
    EXPECT_EQ(back, expected);
    f.Close();
}

INSTANTIATE_TEST_SUITE_P(Types, KeyOrder, ::testing::ValuesIn(Cases()), [](const auto& info) {
    std::string n = info.param.name;
    for (auto& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
});

// A key with an alternate collating sequence orders through its map.
TEST(KeyOrderAcs, CollatingSequenceMapsBytes) {
    std::string dir = TempDirectory("acs");
    Bytes spec = FileSpec(4, {{{1, 4, TypeString, KeyAltCollation, 0, 0}}});
    AltCollatingSequence acs{};
    acs.signature = kAcsSignature;
    std::memcpy(acs.name, "REVERSE ", 8);
    for (int i = 0; i < 256; ++i) acs.map[i] = static_cast<uint8_t>(255 - i);
    const auto* p = reinterpret_cast<const uint8_t*>(&acs);
    spec.insert(spec.end(), p, p + sizeof acs);
    BtrFile f;
    ASSERT_EQ(f.Create(dir + "ACS.DAT", spec), 0);
    ASSERT_EQ(f.Open(dir + "ACS.DAT"), 0);
    for (const char* v : {"aaaa", "zzzz", "mmmm"}) ASSERT_EQ(f.Insert(Text(v, 4)), 0);
    ASSERT_EQ(f.Get(OpGetFirst, 0), 0);
    EXPECT_EQ(f.lastRecord, Text("zzzz", 4));
    // Stat gives the sequence back after the key specifications.
    Bytes stat;
    ASSERT_EQ(f.Stat(stat, kStatBufferSize + kAcsSize), 0);
    EXPECT_EQ(f.lastLength, 16u + 16u + kAcsSize);
    EXPECT_EQ(stat[32], kAcsSignature);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&stat[33]), 8), "REVERSE ");
    f.Close();
}

TEST(KeyOrderAcs, MissingSequenceIsRefused) {
    std::string dir = TempDirectory("acs");
    BtrFile f;
    EXPECT_EQ(f.Create(dir + "NOACS.DAT", FileSpec(4, {{{1, 4, TypeString, KeyAltCollation}}})), StatusAcsError);
}

// Multi-segment keys: each segment by its own type and direction.
TEST(KeyOrderSegments, SegmentsCompareInTurn) {
    std::string dir = TempDirectory("segments");
    BtrFile f;
    // key: int2 ascending, then string descending
    ASSERT_EQ(f.Create(dir + "SEG.DAT", FileSpec(6, {{{1, 2, TypeInteger}, {3, 4, TypeString, KeyDescending}}})), 0);
    ASSERT_EQ(f.Open(dir + "SEG.DAT"), 0);
    auto rec = [](int16_t n, const char* s) {
        Bytes r = Raw(n);
        Bytes t = Text(s, 4);
        r.insert(r.end(), t.begin(), t.end());
        return r;
    };
    for (auto r : {rec(2, "aaaa"), rec(-1, "bbbb"), rec(2, "cccc"), rec(-1, "aaaa")}) ASSERT_EQ(f.Insert(r), 0);
    std::vector<Bytes> expected = {rec(-1, "bbbb"), rec(-1, "aaaa"), rec(2, "cccc"), rec(2, "aaaa")};
    std::vector<Bytes> seen;
    for (int16_t s = f.Get(OpGetFirst, 0); s == 0; s = f.Get(OpGetNext, 0)) seen.push_back(f.lastRecord);
    EXPECT_EQ(seen, expected);
    f.Close();
}

}  // namespace
