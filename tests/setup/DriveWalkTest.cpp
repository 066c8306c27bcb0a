#include <gtest/gtest.h>

#include <cstdlib>

#include "SetrixLibrary.h"

// Runs only inside the Wine prefix that drive-walk.sh prepares: D: is a fixed drive and
// E: a CD-ROM, both throwaway trees; D:\loop links back to D:\ and D:\cdrom-link to E:\.
// Elsewhere the walk would cover every fixed drive of the machine.

namespace {

const char* const kUnknown = "\xCD\xE5\xE8\xE7\xE2.";  // "Неизв."

void Installation(const std::string& dir, const std::string& controlText, bool withIni) {
    for (size_t i = 0; i <= dir.size(); ++i)  // the folder with all its parents
        if (i == dir.size() || (dir[i] == '\\' && i > 2)) CreateDirectoryA(dir.substr(0, i).c_str(), nullptr);
    CreateDirectoryA((dir + "\\Programm").c_str(), nullptr);
    WriteFileBytes(dir + "\\Programm\\dexal.ctl", controlText);
    if (withIni) WriteFileBytes(dir + "\\orvel.ini", "[ORVEL_DATA]\r\n");
}

}  // namespace

TEST(DriveWalk, ListsInstallationsOfTheFixedDrivesOnly) {
    if (!std::getenv("SETRIX_DRIVE_WALK_PREFIX")) GTEST_SKIP() << "needs the prefix of drive-walk.sh";
    SetrixLibrary dll;
    auto dexalVersionList = dll.Fn<const char*(const char*)>("GetDexalVersionList");
    const std::string temp = TempDirectory();
    const std::string list = temp + "versions.lst";
    WriteFileBytes(list, "CBF43926 - 5.11.0.0\r\n");

    std::string deep = "D:\\Deep";
    for (int level = 0; level < 30; ++level) deep += "\\l" + std::to_string(level);
    Installation("D:\\Orvel", "123456789", true);
    Installation(deep + "\\Inst", "another build", true);
    Installation("D:\\NoIni", "123456789", false);
    Installation("E:\\Orvel", "123456789", true);  // a CD-ROM is no installation place
    Installation(temp + "OnC", "123456789", true);

    const std::string expected = "Orvel <5.11.0.0>  -  " + temp + "OnC\r\n" + "Orvel <5.11.0.0>  -  D:\\Orvel\r\n" +
                                 "Orvel <" + kUnknown + ">  -  " + deep + "\\Inst";
    EXPECT_EQ(std::string(dexalVersionList(list.c_str())), expected);
    // A version list that cannot be read (its path beyond the file path limit) leaves every
    // version unknown; the installations are listed all the same.
    const std::string unknown = std::string("Orvel <") + kUnknown + ">  -  ";
    EXPECT_EQ(std::string(dexalVersionList((list + std::string(300, 'x')).c_str())),
              unknown + temp + "OnC\r\n" + unknown + deep + "\\Inst\r\n" + unknown + "D:\\Orvel");

    // A control file named without a folder is no installation, though the current
    // drive's root looks like one.
    CreateDirectoryA("D:\\Programm", nullptr);
    WriteFileBytes("D:\\Programm\\gate.ctl", "123456789");
    WriteFileBytes("D:\\Programm\\dexal.ctl", "123456789");
    WriteFileBytes("D:\\root.ini", "");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA("D:\\"));
    EXPECT_STREQ(dll.Fn<const char*(const char*, const char*)>("ProcessGateList")("gate.ctl", list.c_str()), "");
    EXPECT_STREQ(dll.Fn<const char*(const char*, const char*)>("ProcessDexalList")("dexal.ctl", list.c_str()), "");
    SetCurrentDirectoryA(previous);

    // A drive's root is never deleted as a folder.
    auto deleteFolder = dll.Fn<int(const char*)>("DeleteFolder");
    for (const char* root : {"D:\\", "D:", "d:\\\\", "D:\\."}) {
        EXPECT_NE(deleteFolder(root), 0) << root;
        EXPECT_EQ(GetFileAttributesA("D:\\Orvel\\orvel.ini"), DWORD(FILE_ATTRIBUTE_ARCHIVE)) << root;
    }
    RemoveTree(temp);
}
