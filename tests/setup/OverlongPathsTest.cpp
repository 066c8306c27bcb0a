// Paths of 1 MiB from a hostile host. The system keeps an ANSI text's length in 16 bits, so
// such a path reaches a file function cut to its beginning. Each text below begins with a
// file or folder of the test: the export must leave it alone and answer its failure, or,
// where a file only adds to the answer (a version list), answer without it.
#include <gtest/gtest.h>

#include <functional>

#include "SetrixLibrary.h"

namespace {

using TextOf1 = const char*(const char*);
using TextOf2 = const char*(const char*, const char*);
using IntOf1 = int(const char*);

const char* const kUnknownVersion = "\xCD\xE5\xE8\xE7\xE2.";  // "Неизв."
// "123456789" is the CRC-32 check text; its CRC is CBF43926.
const char* const kCheckText = "123456789";

class OverlongPaths : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFileBytes(victim, "the victim's own text\r\n");
        SetFileAttributesA(victim.c_str(), FILE_ATTRIBUTE_READONLY);
        WriteFileBytes(ignoreList, "nothing\r\n");
        WriteFileBytes(iniFile, "ODER=1,2,3,4,5,6,USER,PASSWORD,9,10,11,12,13,14,15,16,17,18,SERVER,\r\n");
        for (const char* sub : {"Orvel", "Orvel\\Programm"}) CreateDirectoryA((dir + sub).c_str(), nullptr);
        WriteFileBytes(controlFile, kCheckText);
        WriteFileBytes(gateFile, kCheckText);
        WriteFileBytes(dir + "Orvel\\orvel.ini", "[ORVEL_DATA]\r\n");
        WriteFileBytes(versionList, "CBF43926 - 5.11.0.0\r\n");
        CreateDirectoryA(folder.c_str(), nullptr);
        WriteFileBytes(folder + "\\inside.txt", "x");
    }
    void TearDown() override {
        SetFileAttributesA(victim.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveTree(dir);
    }

    bool VictimUntouched() const {
        const DWORD attributes = GetFileAttributesA(victim.c_str());
        return ReadFileBytes(victim) == "the victim's own text\r\n" && attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_READONLY);
    }

    SetrixLibrary dll;
    std::string dir = TempDirectory();
    std::string victim = dir + "victim.txt";
    std::string ignoreList = dir + "ignore.lst";
    std::string iniFile = dir + "orvel.ini";
    std::string controlFile = dir + "Orvel\\Programm\\dexal.ctl";
    std::string gateFile = dir + "Orvel\\Programm\\gate.ctl";
    std::string versionList = dir + "versions.lst";
    std::string folder = dir + "folder";
};

}  // namespace

TEST_F(OverlongPaths, ExportsActOnNothingTheTextBeginsWith) {
    const struct {
        const char* what;
        std::function<std::string()> call;  // the export's answer as text
        std::string answer;
    } cases[] = {
        {"WriteLine",
         [&] {
             dll.Fn<void(const char*, const char*)>("WriteLine")(CutShortTo(victim, "x").c_str(), "hostile");
             return std::string();
         },
         ""},
        // The log itself, and the checked copy beside it (the log's name and "_").
        {"CheckLog", [&] { return dll.Fn<TextOf2>("CheckLog")(CutShortTo(victim, "x").c_str(), ignoreList.c_str()); },
         "???"},
        {"CheckLog copy",
         [&] { return dll.Fn<TextOf2>("CheckLog")(CutShortTo(victim, "x", 1).c_str(), ignoreList.c_str()); }, "???"},
        {"CheckLog ignore list",
         [&] { return dll.Fn<TextOf2>("CheckLog")(victim.c_str(), CutShortTo(ignoreList, "x").c_str()); }, "???"},
        {"CalcFileMD5", [&] { return dll.Fn<TextOf1>("CalcFileMD5")(CutShortTo(victim, "x").c_str()); }, ""},
        {"GetIniDBUser", [&] { return dll.Fn<TextOf1>("GetIniDBUser")(CutShortTo(iniFile, "x").c_str()); }, ""},
        {"GetOrvelVersion",
         [&] { return dll.Fn<TextOf2>("GetOrvelVersion")(CutShortTo(controlFile, "x").c_str(), versionList.c_str()); },
         kUnknownVersion},
        {"GetOrvelVersion list",
         [&] { return dll.Fn<TextOf2>("GetOrvelVersion")(controlFile.c_str(), CutShortTo(versionList, "x").c_str()); },
         kUnknownVersion},
        {"ProcessDexalList",
         [&] { return dll.Fn<TextOf2>("ProcessDexalList")(CutShortTo(controlFile, "x").c_str(), versionList.c_str()); },
         ""},
        // A version list that cannot be read leaves the versions unknown, whatever its length.
        {"ProcessDexalList list",
         [&] { return dll.Fn<TextOf2>("ProcessDexalList")(controlFile.c_str(), CutShortTo(versionList, "x").c_str()); },
         "Orvel <" + std::string(kUnknownVersion) + ">  -  " + dir + "Orvel"},
        {"ProcessDexalList list of 260 characters",
         [&] {
             const std::string list = versionList + std::string(260 - versionList.size(), 'x');
             return dll.Fn<TextOf2>("ProcessDexalList")(controlFile.c_str(), list.c_str());
         },
         "Orvel <" + std::string(kUnknownVersion) + ">  -  " + dir + "Orvel"},
        {"ProcessGateList list",
         [&] { return dll.Fn<TextOf2>("ProcessGateList")(gateFile.c_str(), CutShortTo(versionList, "x").c_str()); },
         "GATE <" + std::string(kUnknownVersion) + ">  -  " + dir + "Orvel"},
        {"DeleteFolder",
         [&] { return std::to_string(dll.Fn<IntOf1>("DeleteFolder")(CutShortTo(folder, "\\d").c_str()) != 0); }, "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.answer);
        EXPECT_TRUE(VictimUntouched());
        EXPECT_EQ(ReadFileBytes(folder + "\\inside.txt"), "x");
        EXPECT_EQ(GetFileAttributesA((victim + "x").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    // The same calls with the plain paths do their work.
    EXPECT_STREQ(dll.Fn<TextOf1>("GetIniDBUser")(iniFile.c_str()), "USER");
    EXPECT_STREQ(dll.Fn<TextOf2>("GetOrvelVersion")(controlFile.c_str(), versionList.c_str()), "5.11.0.0");
    EXPECT_EQ(std::string(dll.Fn<TextOf2>("ProcessDexalList")(controlFile.c_str(), versionList.c_str())),
              "Orvel <5.11.0.0>  -  " + dir + "Orvel");
}

// A command line the system cannot start whole is not started cut short.
TEST_F(OverlongPaths, ExecuteProgramStartsNoCommandLineBeyondTheSystemsLimit) {
    auto executeProgram = dll.Fn<IntOf1>("ExecuteProgram");
    const std::string child = "\"" + ProgramDirectory() + "setrix-exit-child.exe\" exit 0";
    EXPECT_LE(executeProgram(CutShortTo(child, " ").c_str()), 31);
    EXPECT_LE(executeProgram((child + std::string(32767 - child.size(), ' ')).c_str()), 31);
    EXPECT_GT(executeProgram(child.c_str()), 31);
}
