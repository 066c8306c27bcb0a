#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
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
    // The changes are written at FlushFile: that is where a file that cannot be made fails.
    TIniFile ini(path_ + "\\no\\such\\dir\\x.ini");
    ini.PutString("S", "K", "V");
    EXPECT_THROW(ini.FlushFile(), EIniFileException);
    // A name beyond the path limit names no file: refused at once.
    TIniFile overlong(path_ + std::string(MAX_PATH, 'x'));
    EXPECT_THROW(overlong.PutString("S", "K", "V"), EIniFileException);
}

// The profile functions are the measure of reading: every answer below is compared with
// theirs on the same file.
TEST_F(IniFileTest, ReadsAsTheProfileFunctionsDo) {
    const char* const texts[] = {
        "; head\r\n\r\n[Main]\r\n  Key = value  \r\nquoted=\"q v\"\r\nsingle='s'\r\nhalf=\"x\r\nnoequals\r\n"
        ";c=1\r\nempty=\r\n=nameless\r\n\r\n[main]\r\nKey=second\r\nOther=o\r\n",
        // Code page 1251 names.
        "[\xCA\xEE\xED\xF4\xE8\xE3\xF3\xF0\xE0\xF6\xE8\xFF]\r\nID \xFD\xEC\xE8\xF2\xE5\xED\xF2\xE0=1234\r\n",
        // Other line ends, a last line without one, keys before any section.
        "k=top\n[A]\nx=1\ny = 2",
        "[B]\rk=v\r[A]\r\nx=3\n",
        // Section lines the profile functions read their own way.
        "[ Sp ]\r\nk=1\r\n[NoClose\r\nk=2\r\n[a]b]\r\nk=3\r\n[]\r\nk=4\r\n\t[Tab]\t\r\nk=5\r\n",
    };
    const char* const sections[] = {"Main", "MAIN", " main ", "Missing", "", "A", "B", " Sp ", "Sp", "a]b", "a",
                                    "NoClose", "Tab", kConfiguration.c_str()};
    const char* const keys[] = {"Key", " KEY ", "quoted", "single", "half", "noequals", ";c", "empty", "Other",
                                "x", "y", "k", "[NoClose", "", "missing", "id \xFD\xEC\xE8\xF2\xE5\xED\xF2\xE0"};
    auto profileText = [&](const char* section, const char* key, const char* fallback) {
        char buffer[4096];
        const DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer, path_.c_str());
        std::string text(buffer, n);
        for (char& c : text)
            if (c == '\0') c = ',';  // lists: names ended by zeros
        return text;
    };
    auto joined = [](const TStrings& list) {
        std::string text;
        for (int i = 0; i < list.Count(); ++i) text += list[i] + ",";
        return text;
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        WriteRaw(text);
        const TIniFile ini(path_);
        TStringList list;
        ini.GetSectionNames(list);
        EXPECT_EQ(joined(list), profileText(nullptr, nullptr, ""));
        for (const char* section : sections) {
            SCOPED_TRACE(section);
            // (Wine's profile functions list no keys for a name with blanks around it, though
            // they find its values: the keys of the trimmed name are listed here.)
            if (Trim(section) == section) {
                ini.GetSectionKeys(section, list);
                EXPECT_EQ(joined(list), profileText(section, nullptr, ""));
            }
            for (const char* key : keys) {
                EXPECT_EQ(ini.GetString(section, key, "dflt  "), profileText(section, key, "dflt  ")) << key;
                EXPECT_EQ(ini.GetString(section, key, "\"quoted dflt\""), profileText(section, key, "\"quoted dflt\""))
                    << key;
            }
        }
    }
    // Windows finds names without regard to the case of any letter; Wine's profile functions
    // fold the Latin ones only.
    const TIniFile ini(path_);
    WriteRaw(texts[1]);
    EXPECT_EQ(ini.GetString("\xCA\xCE\xCD\xD4\xC8\xC3\xD3\xD0\xC0\xD6\xC8\xDF",  // КОНФИГУРАЦИЯ
                            "id \xDD\xCC\xC8\xD2\xC5\xCD\xD2\xC0"),                   // id ЭМИТЕНТА
              "1234");
}

// Other callers' text stays byte for byte: only the lines a change concerns are touched.
TEST_F(IniFileTest, WritesTouchOnlyTheLinesTheyChange) {
    WriteRaw("; head\r\n\r\n[A]\n  k1 = old  \n; note\n\n[B]\r\nx=1");
    {
        TIniFile ini(path_);
        ini.PutString("a", "K1", "new");
        ini.PutString("A", "k2", "  v2");
        ini.PutString("B", "y", "2");
        ini.PutString("C", "z", "3");
        ini.PutString("B", "x", "1");  // no change
        ini.FlushFile();
    }
    EXPECT_EQ(ReadFileText(path_), "; head\r\n\r\n[A]\nk1=new\n; note\nk2=v2\r\n\n[B]\r\nx=1\r\ny=2\r\n[C]\r\nz=3\r\n");
    {
        TIniFile ini(path_);
        ini.RemoveKey("a", "k1");
        ini.RemoveSection("b");
    }
    EXPECT_EQ(ReadFileText(path_), "; head\r\n\r\n[A]\n; note\nk2=v2\r\n\n[C]\r\nz=3\r\n");
}

// The changes of one object reach the file together: at FlushFile, or when the object
// ends, but not when an exception ends it; a failed write drops them and leaves the file.
TEST_F(IniFileTest, ChangesReachTheFileTogetherOrNotAtAll) {
    const std::string before = "[S]\r\nOLD=1\r\n";
    WriteRaw(before);
    {
        TIniFile ini(path_);
        ini.PutString("S", "A", "1");
        ini.PutString("S", "OLD", "2");
        EXPECT_EQ(ini.GetString("S", "OLD"), "2");  // the object sees its own changes
        EXPECT_EQ(ReadFileText(path_), before);
        ini.FlushFile();
        EXPECT_EQ(ReadFileText(path_), "[S]\r\nOLD=2\r\nA=1\r\n");
    }
    WriteRaw(before);
    try {
        TIniFile ini(path_);
        ini.PutString("S", "A", "1");
        throw Exception("the work broke off");
    } catch (const Exception&) {
    }
    EXPECT_EQ(ReadFileText(path_), before);
    {
        TIniFile ini(path_);
        ini.PutString("S", "A", "1");
    }
    EXPECT_EQ(ReadFileText(path_), "[S]\r\nOLD=1\r\nA=1\r\n");

    WriteRaw(before);
    {
        TIniFile ini(path_);
        ini.PutString("S", "A", "1");
        ASSERT_TRUE(SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_THROW(ini.FlushFile(), EIniFileException);
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(ReadFileText(path_), before);
}

// Run by CTest with every file the process writes limited to SETRIX_FILE_SIZE_LIMIT bytes
// (tests/support/file-size-limit.sh): the system refuses writes beyond it, as a full disk
// does. A file rewritten in place was left cut at the limit.
TEST_F(IniFileTest, DISABLED_AWriteThatFailsLeavesTheFileAsItWas) {
    const char* limitText = std::getenv("SETRIX_FILE_SIZE_LIMIT");
    ASSERT_NE(limitText, nullptr) << "run through file-size-limit.sh";
    const size_t limit = std::stoul(limitText);
    // A folder of its own, to see that nothing is left beside the file.
    const AnsiString dir = path_ + ".d\\";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    path_ = dir + "orvel_data.ini";
    // The limit is in force: a file cannot grow past it.
    WriteRaw(std::string(limit + 1, 'x'));
    ASSERT_EQ(ReadFileText(path_).size(), limit);

    std::string before = "; the product's settings\r\n[OTHER]\r\nKEEP=1\r\n[ORVEL_DATA]\r\nORVELNUM=1\r\n";
    before += "[PADDING]\r\nP=" + std::string(limit - before.size() - 16, 'p') + "\r\n";
    WriteRaw(before);
    ASSERT_EQ(ReadFileText(path_), before);
    {
        TIniFile ini(path_);
        ini.PutString("ORVEL_DATA", "ORVELNUM", "12");
        ini.PutString("ORVEL_DATA", "CASHE_DIRECTORY", "C:\\ORVEL\\CACHE\\");
        EXPECT_THROW(ini.FlushFile(), EIniFileException);
    }
    EXPECT_EQ(ReadFileText(path_), before);
    DeleteFileA(path_.c_str());
    // Nothing was left beside it.
    EXPECT_TRUE(RemoveDirectoryA(dir.c_str()));
}
