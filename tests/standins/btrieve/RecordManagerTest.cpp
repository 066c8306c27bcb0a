#include <gtest/gtest.h>

#include "tests/standins/btrieve/BtrieveTestClient.h"

using namespace btrieve;
using namespace btrtest;

namespace {

Bytes Record(uint16_t length, int32_t id, const std::string& name) {
    Bytes r(length, ' ');
    std::memcpy(r.data(), &id, 4);
    std::memcpy(r.data() + 4, name.data(), std::min<size_t>(name.size(), length - 4));
    return r;
}

int32_t IdOf(const Bytes& r) {
    int32_t id;
    std::memcpy(&id, r.data(), 4);
    return id;
}

}  // namespace

TEST(RecordManager, LibraryExportsEntryPoints) {
    auto& lib = ClientLibrary::Get();
    ASSERT_NE(lib.module_, nullptr);
    EXPECT_NE(lib.call, nullptr);
    EXPECT_NE(lib.callId, nullptr);
    EXPECT_NE(lib.init, nullptr);
    EXPECT_NE(lib.stop, nullptr);
}

TEST(RecordManager, CreateInsertAndReadBack) {
    std::string dir = TempDirectory("basic");
    BtrFile f;
    ASSERT_EQ(f.Create(dir + "T.DAT", FileSpec(24, {{{1, 4, TypeInteger}}})), 0);
    ASSERT_EQ(f.Open(dir + "T.DAT"), 0);
    for (int id : {5, -3, 10}) ASSERT_EQ(f.Insert(Record(24, id, "n" + std::to_string(id))), 0);
    ASSERT_EQ(f.Get(OpGetFirst, 0), 0);
    EXPECT_EQ(IdOf(f.lastRecord), -3);
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);
    EXPECT_EQ(IdOf(f.lastRecord), 5);
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);
    EXPECT_EQ(IdOf(f.lastRecord), 10);
    EXPECT_EQ(f.Get(OpGetNext, 0), StatusEndOfFile);
    EXPECT_EQ(f.Close(), 0);
}
