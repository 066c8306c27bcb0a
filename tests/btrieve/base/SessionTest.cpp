#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "TestEngine.h"
#include "btrieve/base/MemTable.h"

using namespace btrieve;
using namespace testengine;

namespace {

const char kAliases[] = "\\Software\\Quillon\\Btrieve\\Aliases\\";

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTestStore::Get().Reset();
        session_.reset(static_cast<TTestSession*>(CreateSessionOf<TTestSession>(nullptr, "C:\\NET", "S1", nullptr)));
        RemoveTestAliases();
    }
    void TearDown() override { RemoveTestAliases(); }

    void RemoveTestAliases() {
        for (const char* name : {"SETRIXTEST_A", "SETRIXTEST_B", "SETRIXTEST_C", "SETRIXTEST_MEM"}) RemoveAlias(name);
    }
    static void RemoveAlias(const char* name) {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        registry.RemoveKey(AnsiString(kAliases) + name);
    }
    static void WriteAlias(const char* name, const char* physical, const char* description) {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.EnterKey(AnsiString(kAliases) + name, true));
        registry.PutString("Description", description);
        registry.PutString("PhysicalName", physical);
    }
    // Names of the test aliases the database list gives, with their physical names.
    std::vector<std::pair<AnsiString, AnsiString>> ListedTestAliases(bool deleteBAfterOpen = false) {
        std::vector<std::pair<AnsiString, AnsiString>> found;
        TBaseTable* list = nullptr;
        session_->OpenDatabaseList(list);
        if (deleteBAfterOpen) RemoveAlias("SETRIXTEST_B");
        TDatabaseDesc desc;
        while (CodeOf([&] { list->GetNextRecord(0, reinterpret_cast<uint8_t*>(&desc), nullptr); }) == 0)
            if (AnsiString(desc.name).rfind("SETRIXTEST_", 0) == 0) found.emplace_back(desc.name, desc.physicalName);
        session_->CloseList(list);
        return found;
    }

    std::unique_ptr<TTestSession> session_;
};

}  // namespace

TEST(ParamText, PairsNeedTheirClosingQuote) {
    using P = std::vector<std::pair<AnsiString, AnsiString>>;
    EXPECT_EQ(ParseParamText("PATH:\"C:\\DATA\";USER NAME:\"SYSADM\""),
              (P{{"PATH", "C:\\DATA"}, {"USER NAME", "SYSADM"}}));
    EXPECT_EQ(ParseParamText("A:\"x;y:z\""), (P{{"A", "x;y:z"}}));
    EXPECT_EQ(ParseParamText("A:x;B:\"y\""), (P{{"B", "y"}}));
    EXPECT_EQ(ParseParamText("A:\"x\"junk;B:\"y\""), (P{{"A", "x"}, {"B", "y"}}));
    EXPECT_EQ(ParseParamText("X: \"v\""), (P{{"X", " v"}}));
    EXPECT_TRUE(ParseParamText(nullptr).empty());
    // A doubled quote inside quotes is one quote of the value; an empty value still ends
    // at its second quote.
    EXPECT_EQ(ParseParamText("A:\"x\"\"y\";B:\"\"\"\""), (P{{"A", "x\"y"}, {"B", "\""}}));
    EXPECT_EQ(ParseParamText("A:\"\";B:\"y\""), (P{{"A", ""}, {"B", "y"}}));
}

TEST_F(SessionTest, AliasesInMemory) {
    session_->AddAlias(0, "A1", nullptr, "PATH:\"C:\\DATA\";USER NAME:\"SYSADM\"", false);
    int32_t count = 0;
    std::vector<TEngineFieldDesc> descs;
    std::vector<char> values;
    session_->ReadCfgRecord(0, "\\DATABASES\\A1\\DB INFO", &values, &descs, count);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(descs[0].name, "PATH");
    EXPECT_EQ(descs[0].offset, 0);
    EXPECT_EQ(descs[0].length, 8);
    EXPECT_STREQ(descs[1].name, "USER NAME");
    EXPECT_EQ(descs[1].offset, 8);
    EXPECT_EQ(descs[1].length, 7);
    EXPECT_STREQ(values.data() + 8, "SYSADM");

    session_->AddAlias(0, "A1", nullptr, "PATH:\"D:\\OTHER\"", false);
    EXPECT_EQ(session_->CfgRecords().Count(), 1);
    session_->ReadCfgRecord(0, "\\DATABASES\\A1\\DB INFO", &values, &descs, count);
    EXPECT_EQ(count, 1);

    // A long parameter text is taken whole, not cut into a fixed buffer.
    const AnsiString longValue(6000, 'x');
    session_->AddAlias(0, "BIG", nullptr, ("PATH:\"" + longValue + "\"").c_str(), false);
    session_->ReadCfgRecord(0, "\\DATABASES\\BIG\\DB INFO", &values, &descs, count);
    EXPECT_EQ(AnsiString(values.data()), longValue);
}

TEST_F(SessionTest, DeletingAnAliasLeavesAliasesThatOnlyStartLikeIt) {
    session_->AddAlias(0, "A", nullptr, "PATH:\"C:\\A\"", false);
    session_->AddAlias(0, "AB", nullptr, "PATH:\"C:\\AB\"", false);
    session_->DeleteAlias(0, "a");
    ASSERT_EQ(session_->CfgRecords().Count(), 1);
    EXPECT_EQ(static_cast<TBaseCfgrecord*>(session_->CfgRecords().Get(0))->Path, "\\DATABASES\\AB\\DB INFO");
    EXPECT_NO_THROW(session_->DeleteAlias(0, "NOSUCH"));
}

// Configuration records are found and deleted by any part of their path.
TEST_F(SessionTest, ConfigurationRecordsMatchAnyPartOfTheirPath) {
    const char* const paths[] = {"\\DATABASES\\A\\DB INFO", "\\DATABASES\\AB\\DB INFO", "\\DATABASES\\C\\DB OPEN"};
    const auto fill = [&] {
        session_->CfgRecords().FreeAll();
        for (const char* path : paths) session_->WriteCfgRecord(0, path, nullptr, nullptr, 0);
    };
    const auto remaining = [&] {
        std::vector<AnsiString> left;
        for (auto* item : session_->CfgRecords()) left.push_back(static_cast<TBaseCfgrecord*>(item)->Path);
        return left;
    };
    struct Case {
        const char* text;
        bool found;
        std::vector<AnsiString> leftAfterDelete;
    };
    const Case cases[] = {
        {"\\A", true, {paths[2]}},  // both aliases that start so, one after the other
        {"AB\\", true, {paths[0], paths[2]}},
        {"DB OPEN", true, {paths[0], paths[1]}},
        {"DB ", true, {}},
        {"db open", false, {paths[0], paths[1], paths[2]}},  // the text as it stands
        {"\\X\\", false, {paths[0], paths[1], paths[2]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        fill();
        EXPECT_EQ(CodeOf([&] { session_->CfgPathExists(0, c.text); }), c.found ? 0 : rc::Eof);
        EXPECT_EQ(CodeOf([&] { session_->DeleteCfgRecords(0, c.text); }), c.found ? 0 : rc::Eof);
        EXPECT_EQ(remaining(), c.leftAfterDelete);
    }
}

// 0x20002 is the process's current directory; 0x20003 and 0x2000C are two names of one
// configuration mode, written and read through either.
TEST_F(SessionTest, PropertiesGiveTheCurrentDirectoryAndTheConfigurationMode) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string moved = std::string(temp) + "SETRIXTEST-CWD";
    CreateDirectoryA(moved.c_str(), nullptr);
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(moved.c_str()));
    char expected[MAX_PATH];
    GetCurrentDirectoryA(sizeof expected, expected);
    char directory[MAX_PATH + 1] = {};
    uint16_t length = 0;
    const uint16_t code = CodeOf([&] { session_->GetProp(0x20002, directory, length, sizeof directory); });
    SetCurrentDirectoryA(saved);
    RemoveDirectoryA(moved.c_str());
    ASSERT_EQ(code, 0);
    EXPECT_STREQ(directory, expected);
    EXPECT_EQ(length, std::strlen(expected) + 1);

    struct Case {
        uint32_t written;
        int32_t mode;
    };
    for (const Case& c : {Case{0x20003, 5}, Case{0x2000C, 7}, Case{0x20003, 0}}) {
        session_->SetProp(c.written, c.mode);
        for (uint32_t read : {0x20003u, 0x2000Cu}) {
            int32_t mode = -1;
            length = 0;
            session_->GetProp(read, &mode, length, sizeof mode);
            EXPECT_EQ(mode, c.mode) << std::hex << c.written << " read as " << read;
            EXPECT_EQ(length, sizeof mode);
        }
    }
    session_->SetProp(0x20004, 9);  // another id changes nothing
    int32_t mode = -1;
    session_->GetProp(0x2000C, &mode, length, sizeof mode);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(CodeOf([&] { session_->GetProp(0x20004, &mode, length, sizeof mode); }), rc::NotSupported);
}

TEST_F(SessionTest, NamesResolveToPathsMemoryAliasesThenRegistryAliases) {
    TDatabaseDesc desc;
    session_->GetDatabaseDesc("C:\\DATA", desc, true);
    EXPECT_STREQ(desc.name, "PATH");
    EXPECT_STREQ(desc.text, "PATH");
    EXPECT_STREQ(desc.physicalName, "C:\\DATA\\");
    EXPECT_STREQ(desc.dbType, "STANDARD");

    WriteAlias("SETRIXTEST_MEM", "C:\\REG", "from registry");
    WriteAlias("SETRIXTEST_A", "C:\\ALPHA", "alpha");
    session_->AddAlias(0, "SETRIXTEST_MEM", nullptr, "PATH:\"C:\\MEMORY\"", false);
    session_->GetDatabaseDesc("setrixtest_mem", desc, true);
    EXPECT_STREQ(desc.physicalName, "C:\\MEMORY");
    session_->GetDatabaseDesc("SETRIXTEST_A", desc, false);
    EXPECT_STREQ(desc.physicalName, "C:\\ALPHA\\");
    EXPECT_STREQ(desc.text, "alpha");
    EXPECT_STREQ(desc.dbType, "STANDARD");
    try {
        session_->GetDatabaseDesc("SETRIXTEST_NONE", desc, false);
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::UnknownDb);
        EXPECT_EQ(e.ErrorMessage(), "SETRIXTEST_NONE");
    }
    EXPECT_EQ(session_->Lists().Count(), 0);  // the lists are freed on every path
}

TEST_F(SessionTest, AMemoryAliasTakesWhicheverOfPathAndPhysicalNameComesFirst) {
    struct {
        const char* params;
        const char* physical;
    } cases[] = {
        {"PhysicalName:\"C:\\P\";PATH:\"C:\\Q\"", "C:\\P"},
        {"PATH:\"C:\\Q\";PhysicalName:\"C:\\P\"", "C:\\Q"},
        {"Description:\"d\";PhysicalName:\"C:\\P\"", "C:\\P"},
        {"Description:\"d\";path:\"C:\\Q\"", ""},  // the names are matched exactly
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params);
        session_->AddAlias(0, "SETRIXTEST_MEM", nullptr, c.params, false);
        TDatabaseDesc desc;
        session_->GetDatabaseDesc("SETRIXTEST_MEM", desc, true);
        EXPECT_STREQ(desc.physicalName, c.physical);
    }
}

TEST_F(SessionTest, AnAliasKeyThatCannotBeReadDoesNotEndTheList) {
    WriteAlias("SETRIXTEST_A", "C:\\A", "");
    WriteAlias("SETRIXTEST_B", "C:\\B", "");
    WriteAlias("SETRIXTEST_C", "C:\\C\\", "");
    using L = std::vector<std::pair<AnsiString, AnsiString>>;
    EXPECT_EQ(ListedTestAliases(), (L{{"SETRIXTEST_A", "C:\\A\\"}, {"SETRIXTEST_B", "C:\\B\\"}, {"SETRIXTEST_C", "C:\\C\\"}}));
    // B goes between the listing of the key names and the reading of its key.
    EXPECT_EQ(ListedTestAliases(true), (L{{"SETRIXTEST_A", "C:\\A\\"}, {"SETRIXTEST_C", "C:\\C\\"}}));
}

TEST_F(SessionTest, RegistryAliasesAreWrittenAndShownAsConfigurationRows) {
    session_->AddRegistryAlias("SETRIXTEST_A", "PhysicalName:\"C:\\DATA\";Description:\"test\";User:\"SYSADM\"");
    {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.EnterKey("\\SOFTWARE\\QUILLON\\BTRIEVE\\ALIASES\\SETRIXTEST_A", false));
        EXPECT_EQ(registry.GetString("physicalname"), "C:\\DATA");
        registry.PutInteger("Count", 42);
        const BYTE blob[2] = {1, 2};
        RegSetValueExA(registry.CurrentKey(), "Raw", 0, REG_BINARY, blob, 2);
        registry.PutString("Zone", "north");
        registry.PutString("alpha", "first");
        registry.PutString("Key-b", "hyphen");
        registry.PutString("KeyA", "letter");
    }
    // What the rows should be, in the order the registry enumerates the key's values:
    // one row per string or integer value; "User" is shown as "USER NAME" where it
    // stands, and no empty "USER NAME" row follows.
    const std::map<AnsiString, AnsiString> shown = {{"Count", "42"},      {"Description", "test"},
                                                     {"PhysicalName", "C:\\DATA"}, {"User", "SYSADM"},
                                                     {"Zone", "north"},   {"alpha", "first"},
                                                     {"Key-b", "hyphen"}, {"KeyA", "letter"}};
    std::vector<std::pair<AnsiString, AnsiString>> expected;
    {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.EnterKey(AnsiString(kAliases) + "SETRIXTEST_A", false));
        platform::TStringList names;
        registry.GetValueNames(names);
        for (int i = 0; i < names.Count(); ++i) {
            const auto value = shown.find(names[i]);
            if (value != shown.end()) expected.emplace_back(names[i] == "User" ? "USER NAME" : names[i], value->second);
        }
    }
    ASSERT_EQ(expected.size(), shown.size());
    ASSERT_NE(expected.back().first, "USER NAME");  // the row must not stand last by chance
    // Nor may the registry's order be that of a sort of the names: by their bytes
    // ("Zone" before "alpha") or by the locale, with or without case, which passes over
    // the hyphen ("KeyA" before "Key-b").
    using Row = std::pair<AnsiString, AnsiString>;
    const std::function<bool(const Row&, const Row&)> sorts[] = {
        [](const Row& a, const Row& b) { return a.first < b.first; },
        [](const Row& a, const Row& b) { return platform::AnsiCompareStr(a.first, b.first) < 0; },
        [](const Row& a, const Row& b) { return platform::AnsiCompareText(a.first, b.first) < 0; },
    };
    for (const auto& before : sorts) {
        auto sorted = expected;
        std::stable_sort(sorted.begin(), sorted.end(), before);
        ASSERT_NE(sorted, expected);
    }

    TBaseTable* rows = nullptr;
    session_->OpenCfgInfoList(rows, "\\DATABASES\\SETRIXTEST_A\\DB INFO");
    std::vector<std::pair<AnsiString, AnsiString>> got;
    TConfigNode node;
    while (CodeOf([&] { rows->GetNextRecord(0, reinterpret_cast<uint8_t*>(&node), nullptr); }) == 0)
        got.emplace_back(node.nodeName, node.value);
    EXPECT_EQ(got, expected);
    session_->CloseList(rows);

    session_->OpenCfgInfoList(rows, "\\DATABASES\\C:\\DIR\\DB OPEN");
    rows->GetNextRecord(0, reinterpret_cast<uint8_t*>(&node), nullptr);
    EXPECT_STREQ(node.nodeName, "PATH");
    EXPECT_STREQ(node.value, "C:\\DIR");
    rows->GetNextRecord(0, reinterpret_cast<uint8_t*>(&node), nullptr);
    EXPECT_STREQ(node.nodeName, "USER NAME");
    EXPECT_EQ(node.dataType, 1);
    session_->CloseList(rows);

    session_->DeleteRegistryAlias("SETRIXTEST_A");
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(registry.KeyExists(AnsiString(kAliases) + "SETRIXTEST_A"));
}

// An alias name longer than a registry key name can be is refused as a wrong argument,
// an engine error that the facade turns into a result code, with the registry's reason.
TEST_F(SessionTest, AnAliasNameTheRegistryCannotHoldIsAWrongArgument) {
    const AnsiString name(300, 'A');
    const std::function<void()> calls[] = {
        [&] { session_->AddRegistryAlias(name.c_str(), "PhysicalName:\"C:\\DATA\""); },
        [&] { session_->DeleteRegistryAlias(name.c_str()); },
    };
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "an alias name of 300 characters was taken";
        } catch (const EQuillonEngineError& e) {
            EXPECT_EQ(e.Code(), rc::InvalidParam);
            EXPECT_EQ(e.ErrorMessage(), "Registry key name too long (300 characters)");
        }
    }
}

TEST_F(SessionTest, OpeningWithDescriptionAndPhysicalNameLooksNothingUp) {
    std::vector<TEngineFieldDesc> params(2);
    std::strcpy(params[0].name, "description");
    std::strcpy(params[1].name, "PHYSICALNAME");
    const char values[] = "desc\0C:\\X";
    params[0].offset = 0;
    params[1].offset = 5;
    TBaseDatabase* database = nullptr;
    session_->OpenDatabase("SETRIXTEST_NONE", 0, 0, nullptr, 2, params.data(), values, database);
    ASSERT_NE(database, nullptr);
    EXPECT_STREQ(session_->lastDesc.physicalName, "C:\\X");
    EXPECT_STREQ(session_->lastDesc.dbType, "QUILLON");
    EXPECT_EQ(session_->Databases().Count(), 1);
    EXPECT_EQ(CodeOf([&] { session_->OpenDatabase(nullptr, 0, 0, nullptr, 0, nullptr, nullptr, database); }),
              rc::InvalidParam);
}

TEST_F(SessionTest, SessionInformationAndCodePages) {
    TTestStore::Get().tables["T"] = {Row(1)};
    TBaseDatabase* database = NewDatabase(session_.get());
    TBaseTable* cursor = nullptr;
    database->OpenTable("T", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor);
    session_->SetPrivateDir("C:\\PRIV");
    TSessionInfo info;
    session_->GetSesInfo(info);
    const auto* bytes = reinterpret_cast<const char*>(&info);
    EXPECT_STREQ(bytes + 2, "S1");
    EXPECT_EQ(info.databases, 1);
    EXPECT_EQ(info.cursors, 1);
    EXPECT_STREQ(bytes + 40, "C:\\NET");
    EXPECT_STREQ(bytes + 301, "C:\\PRIV");
    uint32_t count = 0;
    session_->CountTableCursors(true, "t", count);
    EXPECT_EQ(count, 1u);
    NewDatabase(session_.get());  // a second database without a cursor on T adds nothing
    session_->CountTableCursors(true, "T", count);
    EXPECT_EQ(count, 1u);

    bool changed = true;
    char oem[3] = {}, ansi[3] = {};
    session_->AnsiToNative(changed, oem, 2, "\xC0\xE1");
    EXPECT_FALSE(changed);
    EXPECT_EQ(std::string(oem, 2), "\x80\xA1");
    session_->NativeToAnsi(changed, ansi, 2, oem);
    EXPECT_EQ(std::string(ansi, 2), "\xC0\xE1");
    session_->SetIntlFlags(true, true);
    session_->AnsiToNative(changed, oem, 2, "\xC0\xE1");
    EXPECT_EQ(std::string(oem, 2), "\xC0\xE1");
}
