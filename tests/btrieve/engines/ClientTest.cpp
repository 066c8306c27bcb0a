// The Btrieve client binding, the status errors and the file object, against our record
// manager stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "btrieve/engines/BtrieveClient.h"
#include "btrieve/engines/BtrieveEngineError.h"
#include "btrieve/engines/WinBtr.h"
#include "tests/btrieve/engines/EngineTestSupport.h"

using namespace btrieve;
using btrtest::ClientScope;

namespace {

struct StatusCase {
    int32_t status;
    const char* key;
    uint16_t code;
    const char* message;
};

TEST(BtrieveStatus, MapsToResultCodesAndMessages) {
    const StatusCase cases[] = {
        {12, "C:\\X.DAT", 0x2704,
         "Btrieve Status 12 - The record manager cannot find the specified file.\r\nKey=[C:\\X.DAT]"},
        {4, "", 0x2206, "Btrieve Status 4 - The application cannot find the key value."},
        {85, "", 0x2803, "Btrieve Status 85 - The file is locked."},
        {70, "", 70, "Btrieve Error 70."},
        {2999, "", 2999, "Btrieve Error 2999."},
        {29, "", 29, "Btrieve Status 29 - The key length is not valid."},
        {1, "", 0x2702, nullptr},
        {204, "T", 0x2728, nullptr},
        {-105, "", 0, nullptr},
        {-109, "", 0x2202, nullptr},
        {2120, "", 0x250E, nullptr},
    };
    for (const auto& c : cases) {
        const EBtrieveEngineError e(c.status, c.key);
        EXPECT_EQ(e.Code(), c.code) << c.status;
        EXPECT_EQ(e.NativeCode(), c.status);
        if (c.message) EXPECT_EQ(e.GetNativeText(), c.message) << c.status;
    }
    // A long key is cut with the message at 255 characters.
    const EBtrieveEngineError longKey(12, std::string(400, 'x'));
    EXPECT_EQ(longKey.KeyLength(), 255);
    EXPECT_EQ(longKey.GetNativeText().size(), 255u);
}

TEST(BtrieveStatus, EndOfFileIsTheBoundaryError) {
    EXPECT_THROW(RaiseBtrieveError(9), EQuillonEOFError);
    EXPECT_THROW(RaiseBtrieveKeyError(9, "k"), EQuillonEOFError);
    try {
        RaiseBtrieveError(9);
    } catch (const EBtrieveEngineError&) {
        ADD_FAILURE() << "end of file raised as a Btrieve failure";
    } catch (const EQuillonEOFError&) {
    }
    EXPECT_THROW(RaiseBtrieveKeyError(8, "k"), EBtrieveEngineError);
}

TEST(BtrieveClientBinding, LoadsInitialisesAndUnloads) {
    EXPECT_EQ(InitBtrieveClient("/opt", "no-such-client.dll"), 20);
    EXPECT_FALSE(BtrieveClientLoaded());
    EXPECT_EQ(DoneBtrieveClient(), 0);
    uint32_t length = 0;
    uint8_t block[128] = {}, key[256] = {};
    EXPECT_EQ(CallBtrieve(OpStat, block, nullptr, &length, key, 255, 0, nullptr), 20);

    ASSERT_EQ(InitBtrieveClient("", nullptr), 0);
    EXPECT_TRUE(BtrieveClientLoaded());
    EXPECT_EQ(InitBtrieveClient("", nullptr), StatusAlreadyInitialised);
    EXPECT_EQ(DoneBtrieveClient(), 0);
    EXPECT_FALSE(BtrieveClientLoaded());
    EXPECT_EQ(InitBtrieveClient("", nullptr), 0);
    DoneBtrieveClient();
}

class WinBtrTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(client.status, 0);
        dir = btrtest::ScratchDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
        btrtest::WriteFixture(dir,
                              "table People PEOPLE.DAT\n"
                              "field ID integer 4\n"
                              "field NAME string 12\n"
                              "key ID\n"
                              "key NAME dup mod\n"
                              "row 1 Anna\n"
                              "row 2 Boris\n"
                              "row 3 Clara\n"
                              "table Plain PLAIN.DAT\n"
                              "field CODE integer 2\n"
                              "row 10\nrow 20\nrow 30\n"
                              "table Var VAR.DAT variable length=20\n"
                              "field ID string 4\n"
                              "field TEXT string 16\n"
                              "key ID\n");
    }
    static int32_t IdOf(const uint8_t* record) {
        int32_t id;
        std::memcpy(&id, record, 4);
        return id;
    }

    ClientScope client;
    std::string dir;
};

TEST_F(WinBtrTest, OpenFailureNamesTheFile) {
    TWinBtr file;
    const std::string missing = dir + "MISSING.DAT";
    try {
        file.Open(missing.c_str(), nullptr, kOpenNormal);
        FAIL() << "opened a missing file";
    } catch (const EBtrieveEngineError& e) {
        EXPECT_EQ(e.Status(), StatusFileNotFound);
        EXPECT_EQ(e.KeyText(), missing);
        EXPECT_NE(e.GetNativeText().find("Key=[" + missing + "]"), std::string::npos);
    }
    EXPECT_FALSE(file.IsOpen());
    // A name the key buffer cannot hold is refused before the call.
    const std::string tooLong = dir + std::string(300, 'n');
    EXPECT_THROW(file.Open(tooLong.c_str(), nullptr, kOpenNormal), EBtrieveEngineError);
}

TEST_F(WinBtrTest, KeyedAndKeylessFilesMoveBothWays) {
    TWinBtr people;
    people.Open((dir + "PEOPLE.DAT").c_str(), nullptr, kOpenNormal);
    EXPECT_FALSE(people.StepMode());
    EXPECT_EQ(people.RecordLength(), 16u);
    EXPECT_EQ(people.BufferSize(), 16);
    EXPECT_EQ(people.RecordCount(), 3u);
    EXPECT_EQ(people.KeyCount(), 2u);
    people.GetLast();
    EXPECT_EQ(IdOf(people.DataBuffer()), 3);
    people.GetPrior();
    EXPECT_EQ(IdOf(people.DataBuffer()), 2);
    int32_t wanted = 1;
    people.GetEqual(&wanted, 4, 0);
    EXPECT_EQ(IdOf(people.DataBuffer()), 1);
    EXPECT_THROW(people.GetPrior(), EQuillonEOFError);

    TWinBtr plain;
    plain.Open((dir + "PLAIN.DAT").c_str(), nullptr, kOpenReadOnly);
    EXPECT_TRUE(plain.StepMode());
    std::vector<int16_t> codes;
    plain.GetFirst();
    for (;;) {
        int16_t code;
        std::memcpy(&code, plain.DataBuffer(), 2);
        codes.push_back(code);
        try {
            plain.GetNext();
        } catch (const EQuillonEOFError&) {
            break;
        }
    }
    EXPECT_EQ(codes, (std::vector<int16_t>{10, 20, 30}));
    plain.GetLast();
    plain.GetPrior();
    int16_t code;
    std::memcpy(&code, plain.DataBuffer(), 2);
    EXPECT_EQ(code, 20);
}

TEST_F(WinBtrTest, RefusedArguments) {
    TWinBtr file;
    auto statusOf = [](auto&& action) {
        try {
            action();
        } catch (const EBtrieveEngineError& e) {
            return e.Status();
        }
        return 0;
    };
    EXPECT_EQ(statusOf([&] { file.Close(); }), StatusFileNotOpen);
    file.Open((dir + "PEOPLE.DAT").c_str(), nullptr, kOpenNormal);
    EXPECT_EQ(statusOf([&] { file.KeyCall(OpGetEqual, nullptr, 0, 4); }), StatusNullKeyBuffer);
    std::vector<uint8_t> key(300, 0);
    EXPECT_EQ(statusOf([&] { file.KeyCall(OpGetEqual, key.data(), 0, 257); }), StatusKeyLengthError);
    const std::string longPath(300, 'd');
    EXPECT_EQ(statusOf([&] { file.SetDirectory(longPath.c_str()); }), StatusKeyLengthError);
}

TEST_F(WinBtrTest, FailedCallForgetsTheCallersBuffer) {
    TWinBtr file;
    file.Open((dir + "PEOPLE.DAT").c_str(), nullptr, kOpenNormal);
    {
        std::vector<uint8_t> scratch(16, 0);
        file.UseBuffer(scratch.data());
        int32_t missing = 99;
        EXPECT_THROW(file.GetEqual(&missing, 4, 0), EBtrieveEngineError);
    }
    // The scratch buffer is gone: the next read must land in the file's own buffer.
    EXPECT_EQ(file.CurrentBuffer(), file.DataBuffer());
    file.GetFirst();
    EXPECT_EQ(IdOf(file.DataBuffer()), 1);
}

TEST_F(WinBtrTest, InsertLengthsAndShortRecords) {
    TWinBtr file;
    file.Open((dir + "VAR.DAT").c_str(), nullptr, kOpenNormal);
    ASSERT_EQ(file.BufferSize(), 20);
    std::memset(file.DataBuffer(), 'x', 20);
    file.SetPendingLength(5);
    file.Insert();
    std::memset(file.DataBuffer(), 'y', 20);
    file.Insert();  // the pending length went back to the buffer size
    std::memset(file.DataBuffer(), 0xEE, 20);
    file.GetFirst();
    EXPECT_EQ(file.DataLength(), 5u);
    // The bytes the record does not have read as zero.
    const std::vector<uint8_t> expected = {'x', 'x', 'x', 'x', 'x', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(file.DataBuffer(), file.DataBuffer() + 20), expected);
    file.GetNext();
    EXPECT_EQ(file.DataLength(), 20u);
    EXPECT_EQ(file.DataBuffer()[19], 'y');
}

TEST_F(WinBtrTest, LockedReadKeepsThePositionUntilUpdate) {
    TWinBtr file;
    file.Open((dir + "PEOPLE.DAT").c_str(), nullptr, kOpenNormal);
    file.GetFirst();
    const uint32_t first = file.GetPosition();
    file.LockNextRead();
    file.GetFirst();
    EXPECT_EQ(file.LockPosition(), first);
    // Only that one read was biased.
    file.GetNext();
    EXPECT_EQ(file.LockPosition(), first);
    file.GetFirst();
    std::memcpy(file.DataBuffer() + 4, "Anja        ", 12);
    file.Update();
    EXPECT_EQ(file.LockPosition(), 0u);
    // Another client can lock the updated record now.
    uint8_t otherId[16] = {1, 2, 3};
    TWinBtr other(otherId);
    other.Open((dir + "PEOPLE.DAT").c_str(), nullptr, kOpenNormal);
    other.LockNextRead();
    other.GetFirst();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(other.DataBuffer()) + 4, 4), "Anja");
    other.Unlock();
}

TEST_F(WinBtrTest, IndexWorkKeepsTheCurrentKey) {
    TWinBtr file;
    file.Open((dir + "PEOPLE.DAT").c_str(), nullptr, kOpenExclusive);
    file.SetKeyNumber(1);
    KeySegmentSpec segment{};
    segment.position = 1;
    segment.length = 4;
    segment.flags = KeyModifiable | KeyDuplicates;
    segment.dataType = TypeInteger;
    file.AddIndex(&segment, 1, 0);
    EXPECT_EQ(file.KeyCount(), 3u);
    EXPECT_EQ(file.KeyNumber(), 1);
    file.GetFirst();  // still by name
    EXPECT_EQ(std::string(reinterpret_cast<char*>(file.DataBuffer()) + 4, 4), "Anna");
    file.DropIndex(0);
    EXPECT_EQ(file.KeyCount(), 2u);
    // The name key moved down to number 0 and stays the current key.
    EXPECT_EQ(file.KeyNumber(), 0);
    file.GetLast();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(file.DataBuffer()) + 4, 5), "Clara");
}

TEST_F(WinBtrTest, PercentagesAndDirectReads) {
    TWinBtr file;
    file.Open((dir + "PEOPLE.DAT").c_str(), nullptr, kOpenNormal);
    file.GetLast();
    uint32_t percentage = 0;
    file.FindPercentage(true, percentage);
    EXPECT_GT(percentage, 5000u);
    EXPECT_EQ(IdOf(file.DataBuffer()), 3);  // positioned on the record again
    file.GetByPercentage(true, 0);
    EXPECT_EQ(IdOf(file.DataBuffer()), 1);
    const uint32_t position = file.GetPosition();
    file.GetLast();
    file.GetDirectOwn(position);
    EXPECT_EQ(IdOf(file.DataBuffer()), 1);
}

TEST_F(WinBtrTest, CollatingSequenceOfTheKeyNotOfTheSegment) {
    // Key 0 has two segments; key 1, the third specification, uses a collating sequence.
    std::vector<uint8_t> spec(kStatBufferSize, 0);
    FileSpecHeader header{};
    header.recordLength = 10;
    header.pageSize = 4096;
    header.keyCount = 2;
    std::memcpy(spec.data(), &header, sizeof header);
    KeySegmentSpec segments[3] = {};
    segments[0] = {1, 2, KeySegmented, 0, TypeInteger, 0, {}, 0, 0};
    segments[1] = {3, 2, 0, 0, TypeInteger, 0, {}, 0, 0};
    segments[2] = {5, 6, KeyAltCollation | KeyDuplicates, 0, TypeString, 0, {}, 0, 0};
    std::memcpy(spec.data() + 16, segments, sizeof segments);
    AltCollatingSequence folding{};
    folding.signature = kAcsSignature;
    std::memcpy(folding.name, "UPPER", 5);
    for (int c = 0; c < 256; ++c) folding.map[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
    std::memcpy(spec.data() + 16 + sizeof segments, &folding, sizeof folding);
    TWinBtr file;
    file.Create((dir + "ACS.DAT").c_str(), spec.data(), kStatBufferSize);
    file.Open((dir + "ACS.DAT").c_str(), nullptr, kOpenNormal);
    EXPECT_EQ(file.KeyCount(), 2u);
    file.SetKeyNumber(0);
    EXPECT_FALSE(file.KeyUsesAcs());
    file.SetKeyNumber(1);
    EXPECT_TRUE(file.KeyUsesAcs());
    uint8_t sequence[kAcsSize] = {};
    file.GetKeyAcs(sequence);
    EXPECT_EQ(sequence[0], kAcsSignature);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sequence) + 1, 5), "UPPER");
    EXPECT_EQ(sequence[9 + 'q'], 'Q');
}

TEST_F(WinBtrTest, SpecificationsLongerThanTheStatBufferStillOpen) {
    // Seven keys with a collating sequence each: the specification outgrows the 1920-byte
    // stat buffer; the file opens on what fits, and the extended Stat reaches the last one.
    constexpr int kKeys = 7;
    std::vector<uint8_t> spec(16 + kKeys * sizeof(KeySegmentSpec) + kKeys * kAcsSize, 0);
    ASSERT_GT(spec.size(), kStatBufferSize);
    FileSpecHeader header{};
    header.recordLength = 2 * kKeys;
    header.pageSize = 4096;
    header.keyCount = kKeys;
    std::memcpy(spec.data(), &header, sizeof header);
    for (int k = 0; k < kKeys; ++k) {
        const KeySegmentSpec segment = {static_cast<uint16_t>(2 * k + 1), 2, KeyAltCollation | KeyDuplicates, 0,
                                        TypeString, 0, {}, 0, static_cast<uint8_t>(k)};
        std::memcpy(spec.data() + 16 + k * sizeof segment, &segment, sizeof segment);
        AltCollatingSequence sequence{};
        sequence.signature = kAcsSignature;
        sequence.name[0] = static_cast<char>('A' + k);
        for (int c = 0; c < 256; ++c) sequence.map[c] = static_cast<uint8_t>(c);
        std::memcpy(spec.data() + 16 + kKeys * sizeof segment + k * kAcsSize, &sequence, sizeof sequence);
    }
    TWinBtr file;
    file.Create((dir + "WIDE.DAT").c_str(), spec.data(), static_cast<uint32_t>(spec.size()));
    file.Open((dir + "WIDE.DAT").c_str(), nullptr, kOpenNormal);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.RecordLength(), 2u * kKeys);
    EXPECT_EQ(file.KeyCount(), static_cast<uint32_t>(kKeys));
    file.SetKeyNumber(kKeys - 1);
    ASSERT_TRUE(file.KeyUsesAcs());
    uint8_t sequence[kAcsSize] = {};
    file.GetKeyAcs(sequence);
    EXPECT_EQ(sequence[1], 'A' + kKeys - 1);
    // Outside Stat a short buffer is still a failure.
    uint8_t shortBuffer[4] = {};
    EXPECT_THROW(file.CallRaw(OpStat, shortBuffer, sizeof shortBuffer), EBtrieveEngineError);
}

}  // namespace
