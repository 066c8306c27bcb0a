#include <gtest/gtest.h>

#include <cstring>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/base/RightsRegistry.h"
#include "btrieve/base/SqlStmt.h"

using namespace btrieve;

namespace {

int g_alive = 0;

class TCounted : public TBapiListItem {
public:
    TCounted(TQuillonCollection* collection, int key = 0) : TBapiListItem(nullptr, nullptr), key(key) {
        ++g_alive;
        JoinCollection(collection);
    }
    ~TCounted() override { --g_alive; }
    void AfterCreate() override { ++created; }
    void BeforeDestroy() override { ++g_destroyHooks; }
    int key;
    int created = 0;
    static inline int g_destroyHooks = 0;
};

class TIntCollection : public TSortedCollection {
public:
    const void* KeyOf(TBapiListItem* item) const override { return &static_cast<TCounted*>(item)->key; }
    int Compare(const void* a, const void* b) const override {
        return *static_cast<const int*>(a) - *static_cast<const int*>(b);
    }
};

}  // namespace

TEST(Collections, HandlesLeaveTheirCollectionAndTheRestAreFreedOnce) {
    g_alive = 0;
    {
        TQuillonCollection collection;
        auto* a = MakeHandle<TCounted>(&collection);
        MakeHandle<TCounted>(&collection);
        MakeHandle<TCounted>(&collection);
        EXPECT_EQ(collection.Count(), 3);
        FreeHandle(a);
        EXPECT_EQ(collection.Count(), 2);
        EXPECT_EQ(g_alive, 2);
        EXPECT_EQ(collection.Get(-1), nullptr);
        EXPECT_EQ(collection.Get(2), nullptr);
        EXPECT_THROW(collection.Items(2), platform::Exception);
    }
    EXPECT_EQ(g_alive, 0);
}

TEST(Collections, HooksReachTheWholeHandle) {
    TCounted::g_destroyHooks = 0;
    {
        TQuillonCollection collection;
        auto* item = MakeHandle<TCounted>(&collection);
        EXPECT_EQ(item->created, 1);
        MakeHandle<TCounted>(&collection);
        FreeHandle(item);
        EXPECT_EQ(TCounted::g_destroyHooks, 1);
    }
    EXPECT_EQ(TCounted::g_destroyHooks, 2);
}

TEST(Collections, FreedHandlesAreNoLongerLive) {
    TQuillonCollection collection;
    auto* item = MakeHandle<TCounted>(&collection);
    EXPECT_TRUE(TBapiListItem::IsLive(item));
    FreeHandle(item);
    EXPECT_FALSE(TBapiListItem::IsLive(item));
    EXPECT_FALSE(TBapiListItem::IsLive(nullptr));
}

TEST(SortedCollection, DuplicatesGoInFrontOfEqualKeys) {
    TIntCollection sorted;
    for (int k : {7, 3, 5, 5}) MakeHandle<TCounted>(&sorted, k);
    int position = -1;
    const int five = 5;
    EXPECT_TRUE(sorted.Search(&five, position));
    EXPECT_EQ(position, 1);
    auto* added = MakeHandle<TCounted>(&sorted, 5);
    EXPECT_EQ(sorted.IndexOf(added), 1);

    TIntCollection unique;
    unique.Duplicates = false;
    for (int k : {3, 5, 7}) MakeHandle<TCounted>(&unique, k);
    EXPECT_TRUE(unique.Search(&five, position));
    EXPECT_EQ(position, 1);
    auto* refused = MakeHandle<TCounted>(&unique, 5);
    EXPECT_EQ(unique.Count(), 3);
    EXPECT_EQ(refused->Collection(), nullptr);
    FreeHandle(refused);
}

TEST(Utilities, TextAndBufferOperations) {
    EXPECT_EQ(KeepNumericChars(" -12,5e3"), "-1253");
    EXPECT_TRUE(IsPathName("A.DAT", true));
    EXPECT_FALSE(IsPathName("A.DAT", false));
    EXPECT_TRUE(IsPathName("C:X", false));
    EXPECT_EQ(ExpandTablePath("T.DAT", "C:\\D"), "C:\\D\\T.DAT");
    EXPECT_EQ(ExpandTablePath("E:\\X\\T.DAT", "C:\\D"), "E:\\X\\T.DAT");
    EXPECT_EQ(AddBackslash("C:\\D\\"), "C:\\D\\");
    EXPECT_EQ(BufToTrimmedStr("  ab \t\n", 7), "ab");
    EXPECT_EQ(CharPos('b', "abc"), 2u);
    EXPECT_EQ(CharPos('x', "abc"), 0u);
    EXPECT_EQ(RemoveChar("\"A\"B", '"'), "AB");
    EXPECT_EQ(PadLongStr("ab", 4), "ab  ");
    EXPECT_EQ(CompareBytes("\x01\x80", "\x01\x7F", 2), 1);

    char quoted[] = "a,'b,\"c,d";
    ReplaceCharOutsideQuotes(quoted, std::strlen(quoted), ',', ';');
    // The double quote closes what the single quote opened: the last comma is outside.
    EXPECT_STREQ(quoted, "a;'b,\"c;d");

    AnsiString text = "one two one";
    EXPECT_TRUE(StrReplaceFirst(text, "one", nullptr, 255));
    EXPECT_EQ(text, " two one");
    EXPECT_FALSE(StrReplaceFirst(text, "zzz", "x", 255));
    text = "abcdef";
    EXPECT_TRUE(StrReplaceFirst(text, "b", "XYZ", 5));
    EXPECT_EQ(text, "aXYZc");

    char padded[6];
    StrToPaddedBuf(padded, "abcdefgh", 6);
    EXPECT_EQ(std::string(padded, 6), "abcdef");
    StrToPaddedBuf(padded, "ab", 6);
    EXPECT_EQ(std::string(padded, 6), "ab    ");
}

TEST(RightsRegistry, RelativeAndAbsolutePaths) {
    TRightsRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    registry.RemoveKey("\\Software\\SetrixTest\\BtrBase");
    ASSERT_TRUE(registry.OpenKey("\\Software\\SetrixTest\\BtrBase", true));
    EXPECT_EQ(registry.CurrentPath(), "Software\\SetrixTest\\BtrBase");
    ASSERT_TRUE(registry.OpenKey("Child", true));
    EXPECT_EQ(registry.CurrentPath(), "Software\\SetrixTest\\BtrBase\\Child");
    registry.SetAccessMask(KEY_READ);
    EXPECT_FALSE(registry.OpenKey("Missing", false));
    EXPECT_EQ(registry.CurrentPath(), "Software\\SetrixTest\\BtrBase\\Child");
    ASSERT_TRUE(registry.OpenKey("\\Software\\SetrixTest", false));
    EXPECT_EQ(registry.CurrentPath(), "Software\\SetrixTest");
    registry.CloseKey();
    EXPECT_TRUE(registry.RemoveKey("\\Software\\SetrixTest\\BtrBase"));
}

namespace {
class TPlainStmt : public TSqlStmt {
public:
    using TSqlStmt::TSqlStmt;
    void SetParams(uint16_t, const TEngineFieldDesc*, const void*) override {}
    void Execute(TBaseTable**) override {}
    void Prepare(bool) override {}
};
}  // namespace

TEST(SqlStmt, TextIsKeptInTheOemPageAndPropertiesAreChecked) {
    TPlainStmt stmt(nullptr, 2, "select \xC0\xE1", nullptr);  // "Аб" in code page 1251
    EXPECT_STREQ(stmt.Text(), "select \x80\xA1");                // and in code page 866
    uint16_t count = 0, length = 0;
    stmt.GetProp(1, &count, length, sizeof count);
    EXPECT_EQ(count, 32);
    EXPECT_THROW(stmt.CheckPropWritable(1, true), EQuillonEngineError);
    EXPECT_NO_THROW(stmt.CheckPropWritable(16, true));
    stmt.SetProp(16, 5);
    EXPECT_EQ(stmt.PropValue16(), 5);
    // A buffer too small for the value is refused, not overrun.
    uint8_t small = 0;
    EXPECT_THROW(stmt.GetProp(16, &small, length, 1), EQuillonEngineError);
    stmt.SetText(nullptr);
    EXPECT_EQ(stmt.Text(), nullptr);
}
