// The engine session: configuration from the registry, loading and unloading the client,
// client identifiers, databases by directory, and logical to Btrieve field types.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "btrieve/engines/BtrieveEngineError.h"
#include "tests/btrieve/engines/EngineTestSupport.h"

using namespace btrieve;
using namespace btrtest;

namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartBtrieveEngines();
        DoneBtrieveClient();
        BtrieveSettings() = TBtrieveSettings{};
        ClearBtrieveConfiguration();
    }
    void TearDown() override {
        sessions.FreeAll();
        ClearBtrieveConfiguration();
        BtrieveSettings() = TBtrieveSettings{};
        StopBtrieveEngines();
    }
    TBtrSession* Start(const char* name = nullptr, const char* directory = nullptr) {
        return static_cast<TBtrSession*>(CreateSessionOf<TBtrSession>(nullptr, directory, name, &sessions));
    }
    TQuillonCollection sessions;
};

TEST_F(SessionTest, DefaultsWithoutConfiguration) {
    TBtrSession* session = Start("S");
    EXPECT_TRUE(BtrieveClientLoaded());
    EXPECT_TRUE(BtrieveSettings().stringPaddedSpaces);
    EXPECT_TRUE(BtrieveSettings().trueRecordCount);
    EXPECT_FALSE(BtrieveSettings().readTolerant);
    EXPECT_EQ(session->GetDriverName(), "BTRIEVE");
    EXPECT_EQ(session->RegRoot(), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(session->RegPath(), "\\Software\\Quillon\\Btrieve");
    // A second session initialises the requester again; "already initialised" is no error.
    EXPECT_NO_THROW(Start("T"));
}

TEST_F(SessionTest, ConfigurationValues) {
    PutConfiguration("Fields", "StringPaddedSpaces", 0);
    PutConfiguration("Fields", "Read", 1);
    PutConfiguration("Fields", "write", 1);
    PutConfiguration("Fields", "SmallIntAsByte", 1);
    PutConfiguration("Fields", "IntegersShowAsZero", 1);
    PutConfiguration("Records", "TrueRecordCount", 0);
    PutConfiguration("Btrieve Client", "IgnoreSQLDatabases", 1);
    PutConfiguration("Default Session", "Name", "FromRegistry");
    PutConfiguration("Default Session", "Directory", "C:\\Somewhere");
    TBtrSession* session = Start();
    const TBtrieveSettings& s = BtrieveSettings();
    EXPECT_FALSE(s.stringPaddedSpaces);
    EXPECT_TRUE(s.readTolerant);
    EXPECT_TRUE(s.writeTolerant);
    EXPECT_TRUE(s.smallIntAsByte);
    EXPECT_TRUE(s.integersShowAsZero);
    EXPECT_FALSE(s.trueRecordCount);
    EXPECT_TRUE(s.ignoreSqlDatabases);
    EXPECT_EQ(session->GetName(), "FromRegistry");
    EXPECT_EQ(session->NetDir(), "C:\\Somewhere");
    // Names given by the caller win over the registry's.
    EXPECT_EQ(Start("Mine", "D:\\")->GetName(), "Mine");
}

TEST_F(SessionTest, IntlValuesSwitchTheCodePageConversion) {
    // OEM 866 "А" is 0x80; ANSI 1251 "А" is 0xC0.
    const char oem[] = "\x80", ansi[] = "\xC0";
    char out[2] = {};
    bool changed = false;
    {
        TBtrSession* converting = Start("C");
        converting->NativeToAnsi(changed, out, 1, oem);
        EXPECT_EQ(out[0], ansi[0]);
        converting->AnsiToNative(changed, out, 1, ansi);
        EXPECT_EQ(out[0], oem[0]);
        sessions.FreeAll();
    }
    PutConfiguration("Intl", "IgnoreAnsiOEM", 1);
    PutConfiguration("Intl", "IgnoreOEMAnsi", 1);
    TBtrSession* plain = Start("P");
    EXPECT_TRUE(plain->IgnoresAnsiToOem());
    EXPECT_TRUE(plain->IgnoresOemToAnsi());
    plain->NativeToAnsi(changed, out, 1, oem);
    EXPECT_EQ(out[0], oem[0]);
    plain->AnsiToNative(changed, out, 1, ansi);
    EXPECT_EQ(out[0], ansi[0]);
}

TEST_F(SessionTest, MissingClientLibraryStopsTheSession) {
    PutConfiguration("Btrieve Client", "DLLName", "NO-SUCH-CLIENT.DLL");
    PutConfiguration("Btrieve Client", "Options", "/m:64");
    try {
        Start("S");
        FAIL() << "a session started without its client";
    } catch (const EBtrieveEngineError& e) {
        EXPECT_EQ(e.Status(), 20);
        EXPECT_EQ(e.KeyText(), "/m:64");
    }
    EXPECT_EQ(sessions.Count(), 0);
    // The name is used in lower case: the client under a capitalised name loads.
    PutConfiguration("Btrieve Client", "DLLName", "WBTRV32.DLL");
    EXPECT_NO_THROW(Start("S"));
}

TEST_F(SessionTest, TheLastSessionOnTheMainThreadUnloadsTheClient) {
    TBtrSession* first = Start("A");
    TBtrSession* second = Start("B");
    FreeHandle(first);
    EXPECT_TRUE(BtrieveClientLoaded());
    // Stopped on another thread, the last session leaves the client loaded.
    std::thread worker([&] { FreeHandle(second); });
    worker.join();
    EXPECT_TRUE(BtrieveClientLoaded());
    FreeHandle(Start("C"));
    EXPECT_FALSE(BtrieveClientLoaded());
}

TEST_F(SessionTest, ClientIdentifiersDifferBetweenSessions) {
    TBtrSession* a = Start("A");
    TBtrSession* b = Start("B");
    const uint8_t* id = a->ClientId();
    EXPECT_GE(id[12], 'A');
    EXPECT_LE(id[12], 'Z');
    EXPECT_GE(id[13], 'A');
    EXPECT_LE(id[13], 'Z');
    EXPECT_LT(id[14], 24);
    EXPECT_LT(id[15], 60);
    EXPECT_NE(std::memcmp(a->ClientId(), b->ClientId(), 16), 0);
}

TEST_F(SessionTest, PathsOpenDirectoriesAsDatabases) {
    const std::string dir = ScratchDirectory("session-db");
    TBtrSession* session = Start("S");
    for (const std::string& name : {dir.substr(0, dir.size() - 1), dir}) {
        TBaseDatabase* database = nullptr;
        session->OpenDatabase(name.c_str(), 0, 0, nullptr, 0, nullptr, nullptr, database);
        ASSERT_NE(dynamic_cast<TBtrDatabase*>(database), nullptr);
        EXPECT_EQ(FieldText(database->Desc().physicalName, 261), dir);
        EXPECT_EQ(FieldText(database->Desc().name, 32), "Btrieve (FILE.DDF)");
        EXPECT_EQ(database->GetDbType(), "BTRIEVE");
        EXPECT_EQ(static_cast<TBtrDatabase*>(database)->ClientId(), session->ClientId());
    }
    EXPECT_TRUE(session->DatabaseOpened());
    // A plain word is an alias: unknown here.
    TBaseDatabase* database = nullptr;
    try {
        session->OpenDatabase("NoSuchAlias", 0, 0, nullptr, 0, nullptr, nullptr, database);
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::UnknownDb);
    }
}

struct TranslateCase {
    uint16_t logical;
    uint16_t subType;
    uint16_t length;
    uint16_t btrieveType;
    uint16_t btrieveLength;
};

TEST_F(SessionTest, LogicalFieldsBecomeBtrieveTypes) {
    TBtrSession* session = Start("S");
    const TranslateCase cases[] = {
        {fldtype::ZString, 0, 21, TypeZString, 21},    {fldtype::Date, 0, 0, TypeDate, 4},
        {fldtype::Blob, fldsubtype::Memo, 300, TypeNote, 300}, {fldtype::Blob, 0, 300, TypeString, 300},
        {fldtype::Bool, 0, 0, TypeLogical, 2},         {fldtype::Bool, 0, 1, TypeLogical, 1},
        {fldtype::Int16, 0, 0, TypeInteger, 2},        {fldtype::Int32, 0, 0, TypeInteger, 4},
        {fldtype::Float, 0, 0, TypeFloat, 8},          {fldtype::Float, 0, 4, TypeFloat, 4},
        {fldtype::Bcd, 0, 6, TypeDecimal, 6},          {fldtype::Bytes, 0, 6, TypeUnsignedBinary, 6},
        {fldtype::Time, 0, 0, TypeTime, 4},            {fldtype::Timestamp, 0, 0, TypeTimestamp, 8},
        {fldtype::UInt16, 0, 0, TypeUnsignedBinary, 2}, {fldtype::UInt32, 0, 0, TypeUnsignedBinary, 4},
        {fldtype::FloatIeee, 0, 0, TypeFloat, 8},      {fldtype::VarBytes, 0, 10, TypeLString, 10},
        {fldtype::Int64, 0, 0, TypeInteger, 8},        {fldtype::UInt64, 0, 0, TypeUnsignedBinary, 8},
    };
    for (const auto& c : cases) {
        TEngineFieldDesc in{}, out{};
        in.fieldType = c.logical;
        in.subType = c.subType;
        in.length = c.length;
        session->TranslateRecordStructure(nullptr, 1, &in, &out);
        EXPECT_EQ(out.fieldType, c.btrieveType) << c.logical;
        EXPECT_EQ(out.length, c.btrieveLength) << c.logical;
    }
    TEngineFieldDesc in{}, out{};
    in.fieldType = 16;
    auto refused = [&](auto&& call) {
        try {
            call();
        } catch (const EQuillonEngineError& e) {
            return e.Code() == rc::NotSupported;
        }
        return false;
    };
    EXPECT_TRUE(refused([&] { session->TranslateRecordStructure(nullptr, 1, &in, &out); }));
    in.fieldType = fldtype::Int16;
    EXPECT_TRUE(refused([&] { session->TranslateRecordStructure(nullptr, 0, &in, &out); }));
    EXPECT_TRUE(refused([&] { session->TranslateRecordStructure("PARADOX", 1, &in, &out); }));
}

}  // namespace
