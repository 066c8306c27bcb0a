#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "standins/btrieve/LogFile.h"
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
    // The DLL carries a version resource.
    char path[MAX_PATH];
    ASSERT_TRUE(GetModuleFileNameA(lib.module_, path, MAX_PATH));
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));
    char* name = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\OriginalFilename",
                               reinterpret_cast<void**>(&name), &length));
    EXPECT_STREQ(name, "wbtrv32.dll");
}

TEST(RecordManager, CreateInsertAndReadBack) {
    std::string dir = TempDirectory("basic");
    BtrFile f;
    ASSERT_EQ(f.Create(dir + "T.DAT", FileSpec(24, {{{1, 4, TypeInteger}}})), 0);
    ASSERT_EQ(f.Open(dir + "T.DAT"), 0);
    for (int id : {5, -3, 10}) ASSERT_EQ(f.Insert(Record(24, id, std::string("n").append(std::to_string(id)))), 0);
    ASSERT_EQ(f.Get(OpGetFirst, 0), 0);
    EXPECT_EQ(IdOf(f.lastRecord), -3);
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);
    EXPECT_EQ(IdOf(f.lastRecord), 5);
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);
    EXPECT_EQ(IdOf(f.lastRecord), 10);
    EXPECT_EQ(f.Get(OpGetNext, 0), StatusEndOfFile);
    EXPECT_EQ(f.Close(), 0);
}

namespace {

// A file of 32-byte records: id (int4 @0, key 0 with duplicates), name (string 20 @4,
// key 1 unique, case-insensitive), 8 bytes of payload.
constexpr uint16_t kLength = 32;

Bytes People(int32_t id, const std::string& name) { return Record(kLength, id, name); }

class PeopleFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = TempDirectory("people");
        path = dir + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".DAT";
        ASSERT_EQ(f.Create(path, FileSpec(kLength, {{{1, 4, TypeInteger, KeyDuplicates | KeyModifiable}},
                                                    {{5, 20, TypeString, KeyCaseInsensitive | KeyModifiable}}})),
                  0);
        ASSERT_EQ(f.Open(path), 0);
        for (auto [id, name] : std::vector<std::pair<int, std::string>>{
                 {10, "Anna"}, {20, "Boris"}, {20, "Clara"}, {30, "Dmitri"}, {20, "Eva"}})
            ASSERT_EQ(f.Insert(People(id, name)), 0);
    }
    void TearDown() override { f.Close(); }

    std::string NameOf(const Bytes& r) {
        std::string s(r.begin() + 4, r.begin() + 24);
        return s.substr(0, s.find_last_not_of(' ') + 1);
    }

    std::string dir, path;
    BtrFile f;
};

struct SearchCase {
    uint16_t op;
    int32_t key;
    int16_t status;
    const char* name;  // record found
};

TEST_F(PeopleFile, SearchOperationsByKey) {
    const SearchCase cases[] = {
        {OpGetEqual, 20, 0, "Boris"},       // first of the duplicates, in insertion order
        {OpGetEqual, 25, StatusKeyNotFound, ""},
        {OpGetGreaterOrEqual, 15, 0, "Boris"},
        {OpGetGreaterOrEqual, 20, 0, "Boris"},
        {OpGetGreater, 20, 0, "Dmitri"},
        {OpGetGreater, 30, StatusEndOfFile, ""},
        {OpGetGreaterOrEqual, 31, StatusEndOfFile, ""},
        {OpGetLess, 20, 0, "Anna"},
        {OpGetLess, 10, StatusEndOfFile, ""},
        {OpGetLessOrEqual, 20, 0, "Eva"},  // last of the duplicates
        {OpGetLessOrEqual, 9, StatusEndOfFile, ""},
        {OpGetFirst, 0, 0, "Anna"},
        {OpGetLast, 0, 0, "Dmitri"},
    };
    for (const auto& c : cases) {
        Bytes key(4);
        std::memcpy(key.data(), &c.key, 4);
        EXPECT_EQ(f.Get(c.op, 0, key), c.status) << "op " << c.op << " key " << c.key;
        if (c.status == 0) {
            EXPECT_EQ(NameOf(f.lastRecord), c.name) << "op " << c.op << " key " << c.key;
            int32_t returnedKey;
            std::memcpy(&returnedKey, f.Key(), 4);
            EXPECT_EQ(returnedKey, IdOf(f.lastRecord));
        }
    }
}

TEST_F(PeopleFile, DuplicatesKeepInsertionOrderBothWays) {
    std::vector<std::string> names;
    for (int16_t s = f.Get(OpGetFirst, 0); s == 0; s = f.Get(OpGetNext, 0)) names.push_back(NameOf(f.lastRecord));
    EXPECT_EQ(names, (std::vector<std::string>{"Anna", "Boris", "Clara", "Eva", "Dmitri"}));
    names.clear();
    for (int16_t s = f.Get(OpGetLast, 0); s == 0; s = f.Get(OpGetPrevious, 0)) names.push_back(NameOf(f.lastRecord));
    EXPECT_EQ(names, (std::vector<std::string>{"Dmitri", "Eva", "Clara", "Boris", "Anna"}));
}

TEST_F(PeopleFile, CaseInsensitiveUniqueKey) {
    EXPECT_EQ(f.Insert(People(40, "ANNA")), StatusDuplicateKey);
    Bytes key(20, ' ');
    std::memcpy(key.data(), "dmitri", 6);
    ASSERT_EQ(f.Get(OpGetEqual, 1, key), 0);
    EXPECT_EQ(NameOf(f.lastRecord), "Dmitri");
}

TEST_F(PeopleFile, DeleteKeepsPlaceForNextAndPrevious) {
    Bytes key(4);
    int32_t id = 20;
    std::memcpy(key.data(), &id, 4);
    ASSERT_EQ(f.Get(OpGetEqual, 0, key), 0);
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);  // Clara
    ASSERT_EQ(f.Delete(), 0);
    EXPECT_EQ(f.lastLength, 1234u);  // data length untouched
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);
    EXPECT_EQ(NameOf(f.lastRecord), "Eva");
    ASSERT_EQ(f.Get(OpGetEqual, 0, key), 0);
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);  // Eva now
    ASSERT_EQ(f.Delete(), 0);
    ASSERT_EQ(f.Get(OpGetPrevious, 0), 0);
    EXPECT_EQ(NameOf(f.lastRecord), "Boris");
    EXPECT_EQ(f.Delete(), 0);
    EXPECT_EQ(f.Delete(), StatusNoCurrency);
}

TEST_F(PeopleFile, DataLengthUntouchedWhereNoDataReturns) {
    ASSERT_EQ(f.Get(OpGetFirst, 0), 0);
    Bytes changed = f.lastRecord;
    changed[28] = 'X';
    uint32_t length = 32;
    Bytes copy = changed;
    ASSERT_EQ(f.Call(OpUpdate, copy.data(), &length, const_cast<uint8_t*>(f.Key()), 0), 0);
    EXPECT_EQ(length, 32u);
    Bytes r = People(50, "Fyodor");
    length = 32;
    ASSERT_EQ(f.Call(OpInsert, r.data(), &length, const_cast<uint8_t*>(f.Key()), 0), 0);
    EXPECT_EQ(length, 32u);
    uint32_t unlockLength = 777;
    uint32_t position = 0;
    EXPECT_EQ(f.Call(OpUnlock, &position, &unlockLength, const_cast<uint8_t*>(f.Key()), 0), 0);
    EXPECT_EQ(unlockLength, 777u);
    ASSERT_EQ(f.Simple(OpBeginTransaction), 0);
    uint32_t endLength = 99;
    EXPECT_EQ(f.Call(OpEndTransaction, nullptr, &endLength, const_cast<uint8_t*>(f.Key()), 0), 0);
    EXPECT_EQ(endLength, 99u);
}

TEST_F(PeopleFile, ShortDataBufferGivesWhatFits) {
    EXPECT_EQ(f.Get(OpGetFirst, 0, {}, 10), StatusDataBufferTooShort);
    EXPECT_EQ(f.lastLength, 10u);
    Bytes anna = People(10, "Anna");
    EXPECT_EQ(f.lastRecord, Bytes(anna.begin(), anna.begin() + 10));
    // Currency was set: the next record follows.
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);
    EXPECT_EQ(NameOf(f.lastRecord), "Boris");
}

TEST_F(PeopleFile, RefusedCalls) {
    BtrFile closed;
    EXPECT_EQ(closed.Get(OpGetFirst, 0), StatusFileNotOpen);
    EXPECT_EQ(f.Get(OpGetFirst, 5), StatusInvalidKeyNumber);
    BtrFile fresh;
    ASSERT_EQ(fresh.Open(path), 0);
    EXPECT_EQ(fresh.Get(OpGetNext, 0), StatusNoCurrency);
    EXPECT_EQ(fresh.Update(People(1, "x")), StatusNoCurrency);
    EXPECT_EQ(fresh.Insert(Bytes(3, 0)), StatusDataBufferTooShort);  // shorter than the keys
    EXPECT_EQ(fresh.Insert(Bytes(kLength + 1, 0)), StatusDataBufferTooShort);
    EXPECT_EQ(fresh.Open(dir + "MISSING.DAT"), StatusFileNotFound);
    EXPECT_EQ(fresh.Simple(OpEndTransaction), StatusNoTransaction);
    EXPECT_EQ(fresh.Simple(OpAbortTransaction), StatusNoTransaction);
    ASSERT_EQ(fresh.Simple(OpBeginTransaction), 0);
    EXPECT_EQ(fresh.Simple(OpBeginTransaction), StatusTransactionActive);
    EXPECT_EQ(fresh.Simple(OpAbortTransaction), 0);
    EXPECT_EQ(fresh.Close(), 0);
    EXPECT_EQ(fresh.Close(), StatusFileNotOpen);
}

TEST_F(PeopleFile, ReadOnlyOpenRefusesChanges) {
    BtrFile ro;
    ASSERT_EQ(ro.Open(path, kOpenReadOnly), 0);
    ASSERT_EQ(ro.Get(OpGetFirst, 0), 0);
    EXPECT_EQ(ro.Update(ro.lastRecord), StatusAccessDenied);
    EXPECT_EQ(ro.Delete(), StatusAccessDenied);
    EXPECT_EQ(ro.Insert(People(99, "Zed")), StatusAccessDenied);
    ro.Close();
}

TEST_F(PeopleFile, ExclusiveOpenExcludesOthers) {
    BtrFile other;
    EXPECT_EQ(other.Open(path, kOpenExclusive), StatusIncompatibleMode);
    f.Close();
    ASSERT_EQ(other.Open(path, kOpenExclusive), 0);
    BtrFile third;
    EXPECT_EQ(third.Open(path), StatusIncompatibleMode);
    other.Close();
    ASSERT_EQ(f.Open(path), 0);
}

TEST_F(PeopleFile, UpdateChecksKeys) {
    ASSERT_EQ(f.Get(OpGetFirst, 1), 0);  // Anna
    EXPECT_EQ(f.Update(People(10, "boris")), StatusDuplicateKey);
    ASSERT_EQ(f.Update(People(25, "Anna")), 0);
    Bytes key(4);
    int32_t id = 25;
    std::memcpy(key.data(), &id, 4);
    ASSERT_EQ(f.Get(OpGetEqual, 0, key), 0);
    EXPECT_EQ(NameOf(f.lastRecord), "Anna");
    // A key without the modifiable flag refuses a changed value.
    BtrFile g;
    std::string fixed = dir + "FIXED.DAT";
    ASSERT_EQ(g.Create(fixed, FileSpec(kLength, {{{1, 4, TypeInteger}}})), 0);
    ASSERT_EQ(g.Open(fixed), 0);
    ASSERT_EQ(g.Insert(People(1, "a")), 0);
    EXPECT_EQ(g.Update(People(2, "a")), StatusKeyNotModifiable);
    EXPECT_EQ(g.Update(People(1, "b")), 0);
    g.Close();
}

TEST_F(PeopleFile, StatGivesTheSpecificationBack) {
    Bytes stat;
    ASSERT_EQ(f.Stat(stat), 0);
    FileSpecHeader header;
    std::memcpy(&header, stat.data(), sizeof header);
    EXPECT_EQ(header.recordLength, kLength);
    EXPECT_EQ(header.pageSize, 4096);
    EXPECT_EQ(header.keyCount, 2);
    EXPECT_EQ(header.recordCount, 5u);
    EXPECT_EQ(f.lastLength, 16u + 2 * 16u);
    KeySegmentSpec k0, k1;
    std::memcpy(&k0, stat.data() + 16, 16);
    std::memcpy(&k1, stat.data() + 32, 16);
    EXPECT_EQ(k0.position, 1);
    EXPECT_EQ(k0.flags, KeyDuplicates | KeyModifiable);
    EXPECT_EQ(k0.keyNumber, 0);
    EXPECT_EQ(k0.uniqueValues, 3u);
    EXPECT_EQ(k1.keyNumber, 1);
    EXPECT_EQ(k1.dataType, TypeString);
    EXPECT_EQ(k1.flags, KeyCaseInsensitive | KeyModifiable);
    // Too small a buffer: what fits, and status 22.
    EXPECT_EQ(f.Stat(stat, 20), StatusDataBufferTooShort);
    EXPECT_EQ(f.lastLength, 20u);
}

// Stat answers the distinct values of each key after every kind of change, rolled back
// ones included: its counts must never lag behind the records.
TEST_F(PeopleFile, StatCountsFollowEveryChange) {
    struct Counts {
        uint32_t records, ids, names;
    };
    auto stat = [&] {
        Bytes spec;
        EXPECT_EQ(f.Stat(spec), 0);
        FileSpecHeader header;
        KeySegmentSpec k0, k1;
        std::memcpy(&header, spec.data(), sizeof header);
        std::memcpy(&k0, spec.data() + 16, sizeof k0);
        std::memcpy(&k1, spec.data() + 32, sizeof k1);
        return Counts{header.recordCount, k0.uniqueValues, k1.uniqueValues};
    };
    auto onName = [&](const char* name) {
        Bytes key(20, ' ');
        std::memcpy(key.data(), name, std::strlen(name));
        ASSERT_EQ(f.Get(OpGetEqual, 1, key), 0);
    };
    struct Step {
        const char* what;
        std::function<void()> change;
        Counts expected;
    };
    const Step steps[] = {
        {"as made", [] {}, {5, 3, 5}},
        {"insert of a new id", [&] { ASSERT_EQ(f.Insert(People(40, "Fyodor")), 0); }, {6, 4, 6}},
        {"update onto an existing id",
         [&] {
             onName("Fyodor");
             ASSERT_EQ(f.Update(People(10, "Fyodor")), 0);
         },
         {6, 3, 6}},
        {"delete of the last of an id",
         [&] {
             onName("Dmitri");
             ASSERT_EQ(f.Delete(), 0);
         },
         {5, 2, 5}},
        {"insert inside a transaction",
         [&] {
             ASSERT_EQ(f.Simple(OpBeginTransaction), 0);
             ASSERT_EQ(f.Insert(People(60, "Galina")), 0);
         },
         {6, 3, 6}},
        {"the transaction aborted", [&] { ASSERT_EQ(f.Simple(OpAbortTransaction), 0); }, {5, 2, 5}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        const Counts counts = stat();
        EXPECT_EQ(counts.records, step.expected.records);
        EXPECT_EQ(counts.ids, step.expected.ids);
        EXPECT_EQ(counts.names, step.expected.names);
    }
}

TEST_F(PeopleFile, PositionsAndGetDirect) {
    Bytes key(20, ' ');
    std::memcpy(key.data(), "Clara", 5);
    ASSERT_EQ(f.Get(OpGetEqual, 1, key), 0);
    uint32_t position = 0;
    ASSERT_EQ(f.GetPosition(position), 0);
    ASSERT_EQ(f.Get(OpGetFirst, 0), 0);
    ASSERT_EQ(f.GetDirect(position, 0), 0);
    EXPECT_EQ(NameOf(f.lastRecord), "Clara");
    int32_t keyOut;
    std::memcpy(&keyOut, f.Key(), 4);
    EXPECT_EQ(keyOut, 20);
    // Currency is set in key 0 at Clara: next is Eva (its duplicate).
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);
    EXPECT_EQ(NameOf(f.lastRecord), "Eva");
    ASSERT_EQ(f.GetDirect(position, 0), 0);
    ASSERT_EQ(f.Delete(), 0);
    EXPECT_EQ(f.GetDirect(position, 0), StatusRecordDeleted);
    EXPECT_EQ(f.GetDirect(987654, 0), StatusRecordDeleted);
    EXPECT_EQ(f.GetPosition(position), StatusNoCurrency);
}

TEST_F(PeopleFile, StepsFollowPhysicalOrder) {
    std::vector<std::string> names;
    for (int16_t s = f.Get(OpStepFirst, 0); s == 0; s = f.Get(OpStepNext, 0)) names.push_back(NameOf(f.lastRecord));
    EXPECT_EQ(names, (std::vector<std::string>{"Anna", "Boris", "Clara", "Dmitri", "Eva"}));
    names.clear();
    for (int16_t s = f.Get(OpStepLast, 0); s == 0; s = f.Get(OpStepPrevious, 0)) names.push_back(NameOf(f.lastRecord));
    EXPECT_EQ(names, (std::vector<std::string>{"Eva", "Dmitri", "Clara", "Boris", "Anna"}));
}

TEST_F(PeopleFile, PercentagesRoundTrip) {
    // Find Percentage of each record by key, then Get By Percentage finds the same record.
    for (int16_t s = f.Get(OpGetFirst, 0); s == 0;) {
        std::string name = NameOf(f.lastRecord);
        uint32_t position;
        ASSERT_EQ(f.GetPosition(position), 0);
        uint32_t percentage = 0, length = 4;
        ASSERT_EQ(f.Call(OpFindPercentage, &percentage, &length, const_cast<uint8_t*>(f.Key()), 0), 0);
        EXPECT_LE(percentage, 10000u);
        BtrFile g;
        ASSERT_EQ(g.Open(path), 0);
        Bytes buffer(64);
        std::memcpy(buffer.data(), &percentage, 4);
        length = 64;
        ASSERT_EQ(g.Call(OpGetByPercentage, buffer.data(), &length, const_cast<uint8_t*>(g.Key()), 0), 0);
        buffer.resize(length);
        EXPECT_EQ(NameOf(buffer), name);
        // Physical: by position.
        uint32_t physical = position;
        length = 4;
        ASSERT_EQ(f.Call(OpFindPercentage, &physical, &length, const_cast<uint8_t*>(f.Key()), -1), 0);
        buffer.assign(64, 0);
        std::memcpy(buffer.data(), &physical, 4);
        length = 64;
        ASSERT_EQ(g.Call(OpGetByPercentage, buffer.data(), &length, const_cast<uint8_t*>(g.Key()), -1), 0);
        buffer.resize(length);
        EXPECT_EQ(NameOf(buffer), name);
        g.Close();
        ASSERT_EQ(f.GetDirect(position, 0), 0);
        s = f.Get(OpGetNext, 0);
    }
}

TEST_F(PeopleFile, GetKeyReturnsNoData) {
    Bytes key(4);
    int32_t id = 30;
    std::memcpy(key.data(), &id, 4);
    EXPECT_EQ(f.Get(OpGetEqual + kGetKeyBias, 0, key, 32), 0);
    EXPECT_EQ(f.lastLength, 32u);
    EXPECT_EQ(f.lastRecord, Bytes(32, 0xEE));
    ASSERT_EQ(f.Get(OpGetPrevious, 0), 0);
    EXPECT_EQ(NameOf(f.lastRecord), "Eva");
}

TEST_F(PeopleFile, ChangesSurviveReopen) {
    ASSERT_EQ(f.Get(OpGetFirst, 0), 0);
    ASSERT_EQ(f.Delete(), 0);
    ASSERT_EQ(f.Get(OpGetLast, 0), 0);
    ASSERT_EQ(f.Update(People(35, "Dmitri")), 0);
    f.Close();
    ASSERT_EQ(f.Open(path), 0);
    std::vector<std::string> names;
    for (int16_t s = f.Get(OpGetFirst, 0); s == 0; s = f.Get(OpGetNext, 0)) names.push_back(NameOf(f.lastRecord));
    EXPECT_EQ(names, (std::vector<std::string>{"Boris", "Clara", "Eva", "Dmitri"}));
}

TEST_F(PeopleFile, CreateAndDropIndex) {
    // A unique index over duplicate values is refused.
    Bytes spec = FileSpec(kLength, {{{1, 4, TypeInteger}}});
    Bytes segments(spec.begin() + 16, spec.end());
    uint32_t length = static_cast<uint32_t>(segments.size());
    EXPECT_EQ(f.Call(OpCreateIndex, segments.data(), &length, const_cast<uint8_t*>(f.Key()), 0), StatusDuplicateKey);
    // A descending payload index, given key number 5.
    Bytes payload = FileSpec(kLength, {{{25, 8, TypeString, KeyDuplicates | KeyDescending}}});
    segments.assign(payload.begin() + 16, payload.end());
    length = static_cast<uint32_t>(segments.size());
    ASSERT_EQ(f.Call(OpCreateIndex, segments.data(), &length, const_cast<uint8_t*>(f.Key()), int8_t(0x80 | 5)), 0);
    Bytes stat;
    ASSERT_EQ(f.Stat(stat), 0);
    EXPECT_EQ(stat[4], 3);
    EXPECT_EQ(stat[16 + 32 + 14], 5);
    ASSERT_EQ(f.Get(OpGetFirst, 5), 0);
    // Without a manual number the lowest free one is taken.
    length = static_cast<uint32_t>(segments.size());
    ASSERT_EQ(f.Call(OpCreateIndex, segments.data(), &length, const_cast<uint8_t*>(f.Key()), 0), 0);
    ASSERT_EQ(f.Stat(stat), 0);
    EXPECT_EQ(stat[16 + 32 + 14], 2);
    EXPECT_EQ(stat[16 + 48 + 14], 5);
    // Drop key 1 and renumber: 2 becomes 1, 5 becomes 4.
    EXPECT_EQ(f.Simple(OpDropIndex, 1), 0);
    ASSERT_EQ(f.Stat(stat), 0);
    EXPECT_EQ(stat[4], 3);
    EXPECT_EQ(stat[16 + 16 + 14], 1);
    EXPECT_EQ(stat[16 + 32 + 14], 4);
    // Drop with the keep-numbers bit.
    EXPECT_EQ(f.Simple(OpDropIndex, int8_t(0x80 | 1)), 0);
    ASSERT_EQ(f.Stat(stat), 0);
    EXPECT_EQ(stat[16 + 16 + 14], 4);
    EXPECT_EQ(f.Simple(OpDropIndex, 7), StatusInvalidKeyNumber);
    EXPECT_EQ(f.Get(OpGetFirst, 1), StatusInvalidKeyNumber);
    // The definition is in the file: a reopen sees it.
    f.Close();
    ASSERT_EQ(f.Open(path), 0);
    ASSERT_EQ(f.Stat(stat), 0);
    EXPECT_EQ(stat[4], 2);
    EXPECT_EQ(stat[16 + 16 + 14], 4);
}

}  // namespace

TEST(RecordManagerFiles, VariableAndShortRecords) {
    std::string dir = TempDirectory("variable");
    BtrFile f;
    ASSERT_EQ(f.Create(dir + "VAR.DAT", FileSpec(8, {{{1, 4, TypeInteger}}}, FileVariableLength)), 0);
    ASSERT_EQ(f.Open(dir + "VAR.DAT"), 0);
    Bytes longRecord(300, 'v');
    int32_t id = 1;
    std::memcpy(longRecord.data(), &id, 4);
    ASSERT_EQ(f.Insert(longRecord), 0);
    Bytes shortRecord(5, 's');
    id = 2;
    std::memcpy(shortRecord.data(), &id, 4);
    ASSERT_EQ(f.Insert(shortRecord), 0);
    ASSERT_EQ(f.Get(OpGetFirst, 0), 0);
    EXPECT_EQ(f.lastRecord, longRecord);
    ASSERT_EQ(f.Get(OpGetNext, 0), 0);
    EXPECT_EQ(f.lastRecord, shortRecord);
    f.Close();
}

TEST(RecordManagerFiles, KeylessFileSteps) {
    std::string dir = TempDirectory("keyless");
    BtrFile f;
    ASSERT_EQ(f.Create(dir + "NOKEY.DAT", FileSpec(4, {})), 0);
    ASSERT_EQ(f.Open(dir + "NOKEY.DAT"), 0);
    EXPECT_EQ(f.Get(OpStepFirst, 0), StatusEndOfFile);
    for (const char* v : {"aaaa", "bbbb", "cccc"}) ASSERT_EQ(f.Insert(Bytes(v, v + 4)), 0);
    std::string seen;
    for (int16_t s = f.Get(OpStepFirst, 0); s == 0; s = f.Get(OpStepNext, 0)) seen += char(f.lastRecord[0]);
    EXPECT_EQ(seen, "abc");
    EXPECT_EQ(f.Get(OpGetFirst, 0), StatusInvalidKeyNumber);
    Bytes stat;
    ASSERT_EQ(f.Stat(stat), 0);
    EXPECT_EQ(stat[4], 0);
    f.Close();
}

TEST(RecordManagerFiles, CreateRefusals) {
    std::string dir = TempDirectory("create");
    BtrFile f;
    struct Case {
        const char* what;
        Bytes spec;
        int16_t status;
    } cases[] = {
        {"key past the record", FileSpec(4, {{{3, 4, TypeInteger}}}), StatusKeyPositionError},
        {"bad integer length", FileSpec(8, {{{1, 3, TypeInteger}}}), StatusKeyTypeError},
        {"bad page size", FileSpec(8, {{{1, 4, TypeInteger}}}, 0, 1000), StatusPageSizeError},
        {"zero record length", FileSpec(0, {}), StatusRecordLengthError},
        {"short buffer", Bytes(10, 0), StatusDataBufferTooShort},
        {"mixed duplicate flags", FileSpec(8, {{{1, 4, TypeInteger, KeyDuplicates}, {5, 4, TypeInteger}}}), StatusKeyFlagsError},
    };
    for (auto& c : cases) EXPECT_EQ(f.Create(dir + "BAD.DAT", c.spec), c.status) << c.what;
    ASSERT_EQ(f.Create(dir + "ONE.DAT", FileSpec(8, {})), 0);
    EXPECT_EQ(f.Create(dir + "ONE.DAT", FileSpec(8, {}), -1), StatusFileExists);
    ASSERT_EQ(f.Open(dir + "ONE.DAT"), 0);
    BtrFile g;
    EXPECT_EQ(g.Create(dir + "ONE.DAT", FileSpec(8, {})), StatusFileLocked);
    f.Close();
    EXPECT_EQ(g.Create(dir + "ONE.DAT", FileSpec(8, {})), 0);
}

TEST(RecordManagerFiles, ForeignAndDamagedFilesGiveStatus) {
    std::string dir = TempDirectory("foreign");
    auto write = [&](const std::string& name, const std::string& content) {
        HANDLE h = CreateFileA((dir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD done;
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
        CloseHandle(h);
    };
    write("TEXT.DAT", "this is not a data file at all, just some text\r\n");
    write("EMPTY.DAT", "");
    BtrFile f;
    EXPECT_EQ(f.Open(dir + "TEXT.DAT"), StatusNotOurFile);
    EXPECT_EQ(f.Open(dir + "EMPTY.DAT"), StatusNotOurFile);
    // Our header with a garbled first frame: no definition can be read.
    ASSERT_EQ(f.Create(dir + "GOOD.DAT", FileSpec(8, {{{1, 4, TypeInteger}}})), 0);
    HANDLE h = CreateFileA((dir + "GOOD.DAT").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFilePointer(h, 30, nullptr, FILE_BEGIN);
    DWORD done;
    WriteFile(h, "XXXX", 4, &done, nullptr);
    CloseHandle(h);
    EXPECT_EQ(f.Open(dir + "GOOD.DAT"), StatusIoError);
}

TEST(RecordManagerFiles, DirectoryOperations) {
    std::string dir = TempDirectory("directory");
    BtrFile f;
    f.SetKeyText(dir.substr(0, dir.size() - 1));
    ASSERT_EQ(f.Simple(OpSetDirectory), 0);
    ASSERT_EQ(f.Simple(OpGetDirectory), 0);
    EXPECT_STRCASEEQ(reinterpret_cast<const char*>(f.Key()), dir.substr(0, dir.size() - 1).c_str());
    // Relative names now resolve there.
    ASSERT_EQ(f.Create("REL.DAT", FileSpec(8, {})), 0);
    EXPECT_NE(GetFileAttributesA((dir + "REL.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
    f.SetKeyText(dir + "NO SUCH DIR");
    EXPECT_EQ(f.Simple(OpSetDirectory), StatusFileNotFound);
}

TEST(RecordManagerFiles, AutoIncrementAndNullKeys) {
    std::string dir = TempDirectory("autoinc");
    BtrFile f;
    // key 0 autoincrement @1; key 1 int2 @5 with null value 0 (records with 0 left out)
    ASSERT_EQ(f.Create(dir + "AUTO.DAT", FileSpec(8, {{{1, 4, TypeAutoIncrement}},
                                                     {{5, 2, TypeInteger, KeyDuplicates | KeyNullAllSegments | KeyModifiable}}})),
              0);
    ASSERT_EQ(f.Open(dir + "AUTO.DAT"), 0);
    Bytes r(8, 0);
    ASSERT_EQ(f.Insert(r), 0);
    int32_t id;
    std::memcpy(&id, f.lastRecord.data(), 4);
    EXPECT_EQ(id, 1);
    id = 10;
    std::memcpy(r.data(), &id, 4);
    r[4] = 7;
    ASSERT_EQ(f.Insert(r), 0);
    r.assign(8, 0);
    ASSERT_EQ(f.Insert(r), 0);
    std::memcpy(&id, f.lastRecord.data(), 4);
    EXPECT_EQ(id, 11);
    EXPECT_EQ(f.Insert(f.lastRecord), StatusDuplicateKey);
    int count = 0;
    for (int16_t s = f.Get(OpGetFirst, 1); s == 0; s = f.Get(OpGetNext, 1)) ++count;
    EXPECT_EQ(count, 1);
    f.Close();
}

TEST(RecordManagerFiles, OwnerNameGuardsTheFile) {
    std::string dir = TempDirectory("owner");
    struct Case {
        int8_t accessMode;
        const char* given;
        int16_t openStatus;
        bool canWrite;
    } cases[] = {
        {0, "SECRET12", 0, true},
        {0, "WRONG", StatusBadOwner, false},
        {0, "", StatusBadOwner, false},
        {1, "", 0, false},  // reading without the name
        {1, "SECRET12", 0, true},
    };
    for (const auto& c : cases) {
        std::string path = dir + "OWNED" + std::to_string(c.accessMode) + ".DAT";
        BtrFile f;
        ASSERT_EQ(f.Create(path, FileSpec(8, {{{1, 4, TypeInteger}}})), 0);
        ASSERT_EQ(f.Open(path), 0);
        char owner[] = "SECRET12";
        f.SetKeyText(owner);
        uint32_t length = 9;
        ASSERT_EQ(f.Call(OpSetOwner, owner, &length, const_cast<uint8_t*>(f.Key()), c.accessMode), 0);
        length = 9;
        EXPECT_EQ(f.Call(OpSetOwner, owner, &length, const_cast<uint8_t*>(f.Key()), c.accessMode), StatusOwnerAlreadySet);
        f.Close();
        BtrFile g;
        EXPECT_EQ(g.Open(path, 0, c.given), c.openStatus) << c.given;
        if (c.openStatus == 0) {
            EXPECT_EQ(g.Insert(Bytes(8, 1)), c.canWrite ? 0 : StatusAccessDenied) << c.given;
            g.Close();
        }
    }
    // A file without an owner takes any owner name.
    BtrFile f;
    ASSERT_EQ(f.Create(dir + "FREE.DAT", FileSpec(8, {})), 0);
    EXPECT_EQ(f.Open(dir + "FREE.DAT", 0, "..RW...."), 0);
    f.Close();
}

TEST(RecordManagerFiles, InitVersionAndStop) {
    auto& lib = ClientLibrary::Get();
    char options[] = "";
    ASSERT_EQ(lib.stop(), 0);  // from a known state
    EXPECT_EQ(lib.init(options), 0);
    EXPECT_EQ(lib.init(options), StatusAlreadyInitialised);
    BtrFile f;
    uint8_t version[5] = {};
    uint32_t length = 5;
    ASSERT_EQ(f.Call(OpVersion, version, &length, const_cast<uint8_t*>(f.Key()), 0), 0);
    EXPECT_EQ(length, 5u);
    std::string dir = TempDirectory("stop");
    ASSERT_EQ(f.Create(dir + "S.DAT", FileSpec(8, {})), 0);
    ASSERT_EQ(f.Open(dir + "S.DAT"), 0);
    EXPECT_EQ(lib.stop(), 0);
    EXPECT_EQ(f.Get(OpStepFirst, 0), StatusFileNotOpen);
    EXPECT_EQ(lib.init(options), 0);
}

TEST(RecordManagerFiles, DamageBeforeTheEndStopsWritesNotReads) {
    std::string dir = TempDirectory("damage");
    std::string path = dir + "D.DAT";
    BtrFile f;
    ASSERT_EQ(f.Create(path, FileSpec(8, {{{1, 4, TypeInteger}}})), 0);
    ASSERT_EQ(f.Open(path), 0);
    for (int i = 1; i <= 3; ++i) {
        Bytes r(8, 0);
        r[0] = static_cast<uint8_t>(i);
        ASSERT_EQ(f.Insert(r), 0);
    }
    f.Close();
    // Flip a byte inside the second record's frame (each insert is one frame at the end).
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info));
    const DWORD frame = 12 + 9 + 8;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFilePointer(h, static_cast<LONG>(info.nFileSizeLow - frame - 3), nullptr, FILE_BEGIN);
    DWORD done;
    WriteFile(h, "\x55", 1, &done, nullptr);
    CloseHandle(h);
    ASSERT_EQ(f.Open(path), 0);
    int count = 0;
    for (int16_t s = f.Get(OpGetFirst, 0); s == 0; s = f.Get(OpGetNext, 0)) ++count;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(f.Insert(Bytes(8, 9)), StatusIoError);  // would cut off the third record's frame
    f.Close();
}

// Frames with a valid checksum but contents we never write: the file answers statuses.
TEST(RecordManagerFiles, HostileFramesDoNotCrash) {
    std::string dir = TempDirectory("hostile");
    auto u32 = [](Bytes& b, uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto item = [&](char kind, uint32_t position, const Bytes& data) {
        Bytes b{static_cast<uint8_t>(kind)};
        u32(b, position);
        u32(b, static_cast<uint32_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        return b;
    };
    Bytes badDefinition(16, 0xFF);
    const std::vector<Bytes> payloads = {
        item('P', 0xFFFFFFFF, Bytes(8, 1)),          // the last position: inserts must stop
        item('P', 0, Bytes(8, 2)),                   // position 0
        item('P', 5, Bytes(1, 3)),                   // shorter than the key
        item('S', 0, badDefinition),                 // a definition that does not parse
        item('D', 12345, {}),                        // deletes what is not there
        item('O', 0, Bytes(1000, 'x')),              // an owner name far too long
        Bytes{'Z', 1, 2, 3},                         // unknown kind, cut short
        item('P', 6, Bytes(70000, 4)),               // longer than the record
    };
    for (size_t i = 0; i < payloads.size(); ++i) {
        std::string path = dir + "H" + std::to_string(i) + ".DAT";
        BtrFile f;
        ASSERT_EQ(f.Create(path, FileSpec(8, {{{1, 4, TypeInteger}}})), 0);
        {
            wbtrv::LogFile log;
            ASSERT_EQ(log.Open(path), 0);
            ASSERT_EQ(log.CatchUp([](const wbtrv::Bytes&) {}), 0);
            ASSERT_EQ(log.Append(payloads[i]), 0);
        }
        int16_t status = f.Open(path, 0, "x");
        if (i == 0) ASSERT_EQ(status, 0);
        if (status != 0) continue;  // any status will do; no crash
        for (int16_t s = f.Get(OpGetFirst, 0); s == 0 || s == StatusDataBufferTooShort; s = f.Get(OpGetNext, 0)) {
        }
        for (int16_t s = f.Get(OpStepFirst, 0); s == 0 || s == StatusDataBufferTooShort; s = f.Get(OpStepNext, 0)) {
        }
        Bytes stat;
        f.Stat(stat);
        Bytes r(8, 0);
        r[0] = 77;
        int16_t insert = f.Insert(r);
        if (i == 0) EXPECT_EQ(insert, StatusDiskFull);
        f.Close();
    }
}
