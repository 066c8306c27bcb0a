// ecdump.exe end to end: registry values, the alias for its own directory, and the three
// identifiers of the product's configuration tables in the INI file it is given.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/IniFiles.h"
#include "platform/Registry.h"
#include "standins/btrieve/FixtureWriter.h"

namespace {

using platform::AnsiString;

const char* const kIntlKey = "\\SOFTWARE\\Quillon\\Btrieve\\Configuration\\Intl";
const char* const kAliasKey = "\\SOFTWARE\\Quillon\\Btrieve\\ALIASES\\BTI_edit";
// Section and key names in code page 1251.
const AnsiString kConfiguration = "\xCA\xEE\xED\xF4\xE8\xE3\xF3\xF0\xE0\xF6\xE8\xFF";      // Конфигурация
const AnsiString kOwner = "\xDD\xEC\xE8\xF2\xE5\xED\xF2 \xE2\xEB\xE0\xE4\xE5\xEB\xE5\xF6";  // Эмитент владелец
const AnsiString kIssuer = "ID \xFD\xEC\xE8\xF2\xE5\xED\xF2\xE0";                           // ID эмитента
const AnsiString kBranch = "ID \xF4\xE8\xEB\xE8\xE0\xEB\xE0";                               // ID филиала
const AnsiString kOwnerIssuer = "ID \xFD\xEC\xE8\xF2\xE5\xED\xF2\xE0 \xE2\xEB\xE0\xE4\xE5\xEB\xFC\xF6";

std::string ProgramDirectory() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string here(self);
    return here.substr(0, here.find_last_of('\\') + 1);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void EmptyDirectory(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((dir + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

class EcdumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        dir = std::string(base) + "ecdump-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
              std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(dir.c_str(), nullptr);
        EmptyDirectory(dir);
        PlacePrograms();
        productTables = ReadFile(ProgramDirectory() + "product.tables");
        ASSERT_FALSE(productTables.empty());
        RemoveRegistryValues();
    }
    void TearDown() override {
        RemoveRegistryValues();
        EmptyDirectory(dir);
        RemoveDirectoryA(dir.c_str());
    }
    // ecdump.exe and the record manager beside the data, as the installation places them.
    // Where no copy can be written (a test limiting the size of the files it writes), a
    // link to the program's file does.
    void PlacePrograms() {
        for (const char* name : {"ecdump.exe", "wbtrv32.dll"}) {
            const std::string from = ProgramDirectory() + name, to = dir + name;
            if (CopyFileA(from.c_str(), to.c_str(), FALSE)) continue;
            DeleteFileA(to.c_str());
            ASSERT_TRUE(CreateHardLinkA(to.c_str(), from.c_str(), nullptr)) << name;
        }
    }
    static void RemoveRegistryValues() {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        registry.RemoveKey(kAliasKey);
        registry.RemoveKey(kIntlKey);
    }

    // The product's tables, with `edit` applied to their description first.
    void WriteProductFiles(const std::string& description, bool dictionary = true) {
        const auto tables = wbtrv::ParseFixtureDescription(description);
        wbtrv::FixtureWriter writer(dir);
        for (const auto& table : tables) writer.WriteTable(table);
        if (dictionary) writer.WriteDictionary(tables);
    }
    // The first `from` after `after`.
    static std::string Replaced(std::string text, const std::string& from, const std::string& to,
                                const std::string& after = "") {
        const size_t at = text.find(from, text.find(after));
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    }

    // Runs the copy of ecdump with one argument (none when empty); its exit code.
    DWORD Run(const std::string& argument) {
        std::string commandLine = "\"" + dir + "ecdump.exe\"";
        if (!argument.empty()) commandLine += " \"" + argument + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        EXPECT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si,
                                   &pi));
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
        DWORD code = 1234;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        return code;
    }

    static bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string dir;
    std::string productTables;
};

TEST_F(EcdumpTest, WritesTheThreeIdentifiersAndKeepsTheRestOfTheFile) {
    WriteProductFiles(productTables);
    const std::string ini = dir + "orvel.ini";
    {
        platform::TIniFile existing(ini);
        existing.PutString("Other", "Key", "kept");
        existing.PutString(kConfiguration, kIssuer, "old");
    }
    // An existing Intl value of 0 is overwritten.
    {
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.EnterKey(kIntlKey, true));
        registry.PutInteger("IgnoreAnsiOEM", 0);
    }
    EXPECT_EQ(Run(ini), 0u);
    platform::TIniFile written(ini);
    EXPECT_EQ(written.GetString(kConfiguration, kIssuer), "1234");
    EXPECT_EQ(written.GetString(kConfiguration, kBranch), "5");
    EXPECT_EQ(written.GetString(kOwner, kOwnerIssuer), "77");
    EXPECT_EQ(written.GetString("Other", "Key"), "kept");
    // A file that does not exist yet is made with the two sections.
    const std::string fresh = dir + "fresh.ini";
    EXPECT_EQ(Run(fresh), 0u);
    platform::TIniFile made(fresh);
    EXPECT_EQ(made.GetString(kConfiguration, kBranch), "5");
    EXPECT_EQ(made.GetString(kOwner, kOwnerIssuer), "77");

    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.EnterKeyReadOnly(kIntlKey));
    EXPECT_EQ(registry.GetInteger("IgnoreAnsiOEM"), 1);
    EXPECT_EQ(registry.GetInteger("IgnoreOEMAnsi"), 1);
}

TEST_F(EcdumpTest, WithoutArgumentWritesOnlyTheRegistry) {
    WriteProductFiles(productTables);
    EXPECT_EQ(Run(""), 0u);
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.EnterKeyReadOnly(kAliasKey));
    EXPECT_EQ(registry.GetString("Description"), "Marlo5 database alias");
    char shortPath[MAX_PATH] = {};
    const std::string longPath = dir.substr(0, dir.size() - 1);
    ASSERT_NE(GetShortPathNameA(longPath.c_str(), shortPath, MAX_PATH), 0u);
    EXPECT_EQ(registry.GetString("PhysicalName"), shortPath);
    registry.CloseKey();
    ASSERT_TRUE(registry.EnterKeyReadOnly(kIntlKey));
    EXPECT_EQ(registry.GetInteger("IgnoreOEMAnsi"), 1);
}

// Every failure ends the run with exit code 0 and without touching the INI file.
TEST_F(EcdumpTest, FailuresWriteNoOutput) {
    struct Case {
        const char* what;
        std::string description;
        bool dictionary;
    };
    const Case cases[] = {
        {"no dictionary files", productTables, false},
        {"a declared field the dictionary lacks",
         Replaced(productTables, "field \"ID филиала\" float 8", "field \"Поле 04\" float 8"), true},
        {"a declared field of ecfil154 the dictionary lacks",
         Replaced(Replaced(productTables, "\"ID эмитента владельц\" float 8", "\"Поле 00\" float 8"),
                  "key \"ID эмитента владельц\"", "key \"Поле 00\""),
         true},
        {"a declared field of another type",
         Replaced(productTables, "field \"ID эмитента\" float 8", "field \"ID эмитента\" integer 4"), true},
        {"an empty table", Replaced(productTables, "row 77 0 0\n", ""), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmptyDirectory(dir);
        PlacePrograms();
        WriteProductFiles(c.description, c.dictionary);
        const std::string ini = dir + "out.ini";
        EXPECT_EQ(Run(ini), 0u);
        EXPECT_FALSE(Exists(ini));
        // The registry values are written all the same.
        platform::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        EXPECT_TRUE(registry.EnterKeyReadOnly(kAliasKey));
    }
}

// The product's dictionary names the fields ecdump does not read in words of its own, and
// may type them otherwise than the stand-in's description: only the three fields it reads
// matter.
TEST_F(EcdumpTest, ReadsADictionaryThatNamesTheOtherFieldsInItsOwnWords) {
    std::string description = productTables;
    for (size_t at = description.find("\"Поле "); at != std::string::npos; at = description.find("\"Поле ", at))
        description.replace(at, std::string("\"Поле ").size(), "\"Реквизит ");
    description = Replaced(description, "field \"Реквизит 05\" float 8", "field \"Остаток\" integer 4", "table ECFIL003");
    description = Replaced(description, "field \"Реквизит 01\"", "field \"Признак\"", "table ECFIL154");
    WriteProductFiles(description);
    const std::string ini = dir + "orvel.ini";
    EXPECT_EQ(Run(ini), 0u);
    platform::TIniFile written(ini);
    EXPECT_EQ(written.GetString(kConfiguration, kIssuer), "1234");
    EXPECT_EQ(written.GetString(kConfiguration, kBranch), "5");
    EXPECT_EQ(written.GetString(kOwner, kOwnerIssuer), "77");
}

// Run by CTest with no file allowed past SETRIX_FILE_SIZE_LIMIT bytes (as on a full disk):
// the three keys reach the INI file together or not at all.
TEST_F(EcdumpTest, DISABLED_AWriteThatFailsLeavesTheIniFileAsItWas) {
    const char* limitText = std::getenv("SETRIX_FILE_SIZE_LIMIT");
    ASSERT_NE(limitText, nullptr) << "run through file-size-limit.sh";
    const size_t limit = std::stoul(limitText);
    WriteProductFiles(productTables);
    const std::string ini = dir + "orvel.ini";
    std::string before = "[" + kConfiguration + "]\r\n" + kIssuer + "=old\r\n[OTHER]\r\nP=";
    before += std::string(limit - before.size() - 2 - 8, 'p') + "\r\n";
    {
        std::ofstream out(ini, std::ios::binary);
        out << before;
    }
    ASSERT_EQ(ReadFile(ini), before);
    EXPECT_EQ(Run(ini), 0u);
    EXPECT_EQ(ReadFile(ini), before);
}

}  // namespace
