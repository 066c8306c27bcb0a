#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/IniFiles.h"
#include "platform/TextFile.h"

using namespace platform;

namespace {

// Each test gets its own file in the temporary directory.
class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        path_ = AnsiString(dir) + "setrix_ini_" + std::to_string(GetCurrentProcessId()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
        DeleteFileA(path_.c_str());
    }
    void TearDown() override { DeleteFileA(path_.c_str()); }

    void WriteRaw(const std::string& text) {
        THandleOwner f(CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written;
        WriteFile(f.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    AnsiString path_;
};

// Section and key names of the configuration export tool, in code page 1251.
const AnsiString kConfiguration = "\xCA\xEE\xED\xF4\xE8\xE3\xF3\xF0\xE0\xF6\xE8\xFF";  // Конфигурация
const AnsiString kIssuerId = "ID \xFD\xEC\xE8\xF2\xE5\xED\xF2\xE0";                      // ID эмитента

}  // namespace

TEST_F(IniFileTest, WritesCreateTheFileAndReadBackKeepingOtherKeys) {
    WriteRaw("; comment\r\n[ORVEL_DATA]\r\nKEEP=1\r\nORVELNUM=old\r\n[OTHER]\r\nX = y \r\n");
    {
        TIniFile ini(path_);
        ini.PutString("ORVEL_DATA", "orvelnum", "42");
        ini.PutString(kConfiguration, kIssuerId, "1234");
        ini.PutInteger("Numbers", "Negative", -5);
        ini.PutBool("Numbers", "Flag", true);
        ini.FlushFile();
    }
    TIniFile ini(path_);
    EXPECT_EQ(ini.GetString("ORVEL_DATA", "ORVELNUM"), "42");
    EXPECT_EQ(ini.GetString("orvel_data", "Keep"), "1");
    EXPECT_EQ(ini.GetString("OTHER", "X"), "y");
    EXPECT_EQ(ini.GetString(kConfiguration, kIssuerId), "1234");
    EXPECT_EQ(ini.GetInteger("Numbers", "Negative", 0), -5);
    EXPECT_TRUE(ini.GetBool("Numbers", "Flag", false));
    EXPECT_EQ(ini.GetString("ORVEL_DATA", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.GetInteger("OTHER", "X", 7), 7);  // not a number
    const AnsiString text = ReadFileText(path_);
    EXPECT_NE(text.find("; comment"), AnsiString::npos);
}

TEST_F(IniFileTest, ANewFileHoldsItsTextsInTheAnsiCodePage) {
    {
        TIniFile ini(path_);
        ini.PutString(kConfiguration, kIssuerId, "1234");
    }
    // Other programs read the file as code page 1251 bytes.
    const AnsiString text = ReadFileText(path_);
    EXPECT_NE(text.find("[" + kConfiguration + "]"), AnsiString::npos) << text;
    EXPECT_NE(text.find(kIssuerId + "=1234"), AnsiString::npos) << text;
}

TEST_F(IniFileTest, MissingFileReadsDefaultsAndListsNothing) {
    TIniFile ini(path_);
    EXPECT_EQ(ini.GetString("ORVEL_DATA", "EXCHANGE_DIRECTORY"), "");
    EXPECT_FALSE(ini.SectionExists("ORVEL_DATA"));
    TStringList names;
    names.Add("stale");
    ini.GetSectionNames(names);
    EXPECT_EQ(names.Count(), 0);
    ini.RemoveKey("ORVEL_DATA", "X");
    ini.RemoveSection("ORVEL_DATA");
    EXPECT_FALSE(FileExists(path_));
}

TEST_F(IniFileTest, SectionsKeysAndValuesAreListedInFileOrder) {
    WriteRaw("[B]\r\nk2=v2\r\nk1=\"quoted value\"\r\n[A]\r\nz=1\r\n");
    TIniFile ini(path_);
    TStringList list;
    ini.GetSectionNames(list);
    EXPECT_EQ(list.CommaText(), "B,A");
    ini.GetSectionKeys("b", list);
    EXPECT_EQ(list.CommaText(), "k2,k1");
    ini.GetSectionValues("B", list);
    EXPECT_EQ(list.Values("k1"), "quoted value");
    EXPECT_TRUE(ini.KeyExists("A", "Z"));
    ini.RemoveKey("B", "k2");
    EXPECT_FALSE(ini.KeyExists("B", "k2"));
    ini.RemoveSection("A");
    EXPECT_FALSE(ini.SectionExists("A"));
    EXPECT_TRUE(ini.SectionExists("B"));
}

TEST_F(IniFileTest, LongValuesAreReadWhole) {
    const AnsiString longValue(5000, 'x');
    TIniFile ini(path_);
    ini.PutString("S", "Long", longValue);
    EXPECT_EQ(ini.GetString("S", "Long"), longValue);
}

TEST_F(IniFileTest, WritingWhereNoFileCanBeMadeRaises) {
    TIniFile ini(path_ + "\\no\\such\\dir\\x.ini");
    EXPECT_THROW(ini.PutString("S", "K", "V"), EIniFileException);
}
