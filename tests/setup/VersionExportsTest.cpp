#include <gtest/gtest.h>

#include <cstdlib>

#include "SetrixLibrary.h"
#include "platform/Registry.h"

namespace {

using TextOf1 = const char*(const char*);
using TextOf2 = const char*(const char*, const char*);

const char* const kUnknown = "\xCD\xE5\xE8\xE7\xE2.";  // "Неизв."
// "123456789" is the CRC-32 check text; its CRC is CBF43926.
const char* const kCheckText = "123456789";

class Hklm : public platform::TRegistry {
public:
    Hklm() { SetRootKey(HKEY_LOCAL_MACHINE); }
};

class VersionExports : public ::testing::Test {
protected:
    void SetUp() override { CleanRegistry(); }
    void TearDown() override {
        CleanRegistry();
        RemoveTree(dir);
    }
    static void CleanRegistry() { Hklm().RemoveKey("\\SOFTWARE\\Quarn"); }
    static void AddInstance(const std::string& name, const std::string& installDir) {
        Hklm reg;
        ASSERT_TRUE(reg.EnterKey("\\SOFTWARE\\Quarn\\Orvel\\" + name, true));
        reg.PutString("InstallDir", installDir);
    }
    std::string List(const std::string& text) {
        const std::string path = dir + "versions.lst";
        WriteFileBytes(path, text);
        return path;
    }
    // An installation directory with its control file and, when asked, an INI file.
    std::string Installation(const std::string& name, const char* controlFile, const std::string& contents,
                             bool withIni) {
        const std::string install = dir + name;
        CreateDirectoryA(install.c_str(), nullptr);
        CreateDirectoryA((install + "\\Programm").c_str(), nullptr);
        WriteFileBytes(install + "\\Programm\\" + controlFile, contents);
        if (withIni) WriteFileBytes(install + "\\orvel.ini", "[ORVEL_DATA]\r\n");
        return install;
    }

    SetrixLibrary dll;
    std::string dir = TempDirectory();
    decltype(dll.Fn<TextOf2>("")) orvelVersion = dll.Fn<TextOf2>("GetOrvelVersion");
};

}  // namespace

TEST_F(VersionExports, LooksUpTheFileByItsCrcInTheList) {
    const std::string file = dir + "dexal.ctl";
    WriteFileBytes(file, kCheckText);
    struct Case {
        const char* list;
        const char* version;
    } cases[] = {
        {"CBF43926 - 5.11.0.0\r\n", "5.11.0.0"},
        {"  cbf43926 - 5.10.0.0  ", "5.10.0.0"},                   // trimmed, ASCII upper-cased
        {"build cbf43926 of spring", "BUILD CBF43926 OF SPRING"},  // no dash: the whole line
        {"other - 1.0\r\n\r\nCBF43926-5.9.3.0\nCBF43926 - 5.9.4.0\n", "5.9.3.0"},  // the first match wins
        {"CBF43926 - 5.9 - beta", "5.9 - BETA"},                   // after the first dash only
        {"12345678 - 5.11.0.0\r\n", kUnknown},
        {"", kUnknown},
        {"\x01\x02\xFF---\r\n\r\n-\n", kUnknown},
    };
    for (const Case& c : cases) EXPECT_STREQ(orvelVersion(file.c_str(), List(c.list).c_str()), c.version) << c.list;
    EXPECT_STREQ(orvelVersion(file.c_str(), (dir + "missing.lst").c_str()), kUnknown);
    EXPECT_STREQ(orvelVersion(file.c_str(), dir.c_str()), kUnknown);  // a directory is no list
}

TEST_F(VersionExports, EmptyAndUnreadableFiles) {
    const std::string empty = dir + "empty.ctl";
    WriteFileBytes(empty, "");
    EXPECT_STREQ(orvelVersion(empty.c_str(), List("00000000 - 5.9.2.0").c_str()), "5.9.2.0");

    // An unreadable file has no CRC; not even a line that every CRC would match finds it.
    const std::string list = List("\r\n - 5.9.2.0\r\n00000000 - 5.9.2.0\r\n");
    const std::string missing = dir + "missing.ctl";
    const std::string tooLong = dir + std::string(400, 'x') + ".ctl";
    EXPECT_STREQ(orvelVersion(missing.c_str(), list.c_str()), kUnknown);
    EXPECT_STREQ(orvelVersion(tooLong.c_str(), list.c_str()), kUnknown);
    EXPECT_STREQ(orvelVersion(dir.c_str(), list.c_str()), kUnknown);
    EXPECT_STREQ(orvelVersion(nullptr, nullptr), kUnknown);

    const std::string locked = dir + "locked.ctl";
    WriteFileBytes(locked, "");
    HeldOpen exclusive(locked, GENERIC_READ, 0);
    ASSERT_TRUE(exclusive.Valid());
    EXPECT_STREQ(orvelVersion(locked.c_str(), list.c_str()), kUnknown);
}

// The CRC only reads: a read-only file keeps its attribute, and a file that another
// program shares for reading only is identified as well.
TEST_F(VersionExports, ReadsFilesWithoutChangingThem) {
    const std::string list = List("CBF43926 - 5.11.0.0\r\n");
    const std::string readOnly = dir + "readonly.ctl";
    WriteFileBytes(readOnly, kCheckText);
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_STREQ(orvelVersion(readOnly.c_str(), list.c_str()), "5.11.0.0");
    EXPECT_EQ(GetFileAttributesA(readOnly.c_str()), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::string shared = dir + "inuse.ctl";
    WriteFileBytes(shared, kCheckText);
    HeldOpen reader(shared, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(reader.Valid());
    EXPECT_STREQ(orvelVersion(shared.c_str(), list.c_str()), "5.11.0.0");
}

TEST_F(VersionExports, InstanceSuffixFromTheProductRegistry) {
    const std::string install = Installation("Orvel", "dexal.ctl", kCheckText, true);
    const std::string file = install + "\\Programm\\dexal.ctl";
    struct Instance {
        const char* name;
        std::string installDir;
    };
    struct Case {
        const char* version;
        std::vector<Instance> instances;
        const char* expected;
    } cases[] = {
        {"5.12.0.0", {{"5.12.0.0_2", install + "\\"}}, "5.12.0.0_2"},
        {"5.12.0.0", {{"5.12.0.0_12", install}}, "5.12.0.0_12"},  // a two-digit instance stays whole
        {"5.13.0.0", {{"5.13.0.0_1", dir + "Other"}, {"5.13.0.0_3", install}}, "5.13.0.0_3"},
        {"5.12.0.0", {{"5.13.0.0_1", install}, {"5.12.0.0_5", dir + "Other"}}, "5.12.0.0"},
        {"5.12.0.0", {{"5.12.0.0", install}}, "5.12.0.0"},  // a name without an instance number
        {"5.12.0.0", {{"5.12.0.0_7", CharUpperA(std::string(install).data())}}, "5.12.0.0_7"},
        // Versions compare by their numbers: 10.0.0.0 is later than 5.12.0.0, 5.9.4.0 earlier.
        {"10.0.0.0", {{"10.0.0.0_4", install}}, "10.0.0.0_4"},
        {"5.12.1", {{"5.12.1_2", install}}, "5.12.1_2"},
        {"5.9.4.0", {{"5.9.4.0_1", install}}, "5.9.4.0"},
        {"5.11.9.9", {{"5.11.9.9_1", install}}, "5.11.9.9"},
        {"5.12.0.0", {}, "5.12.0.0"},
    };
    for (const Case& c : cases) {
        CleanRegistry();
        for (const Instance& i : c.instances) AddInstance(i.name, i.installDir);
        const std::string list = List(std::string("CBF43926 - ") + c.version);
        EXPECT_STREQ(orvelVersion(file.c_str(), list.c_str()), c.expected) << c.version;
    }
}

TEST_F(VersionExports, MD5OfWholeFiles) {
    auto md5 = dll.Fn<TextOf1>("CalcFileMD5");
    const std::string empty = dir + "empty", abc = dir + "abc", large = dir + "large";
    WriteFileBytes(empty, "");
    WriteFileBytes(abc, "abc");
    WriteFileBytes(large, std::string(1 << 20, 'a'));
    EXPECT_STREQ(md5(empty.c_str()), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_STREQ(md5(abc.c_str()), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_STREQ(md5(large.c_str()), "7202826A7791073FE2787F0C94603278");
    EXPECT_STREQ(md5((dir + "missing").c_str()), "");
    EXPECT_STREQ(md5((dir + std::string(400, 'y')).c_str()), "");
    EXPECT_STREQ(md5(dir.c_str()), "");
}

TEST_F(VersionExports, ModuleVersionValues) {
    auto moduleVersion = dll.Fn<TextOf2>("GetModuleVersion");
    const std::string bin = ProgramDirectory();
    const std::string notAModule = dir + "text.dll";
    WriteFileBytes(notAModule, "MZ but nothing else");
    struct Case {
        std::string file;
        const char* value;
        const char* expected;
    } cases[] = {
        {bin + "version-english.dll", "FileVersion", "5.12.0.0 en"},
        {bin + "version-russian.dll", "FileVersion", "5.12.0.0 ru"},
        {bin + "version-both.dll", "FileVersion", "5.12.0.0 en"},  // the English block first
        {bin + "version-both.dll", "Comments", "\xC2\xE5\xF0\xF1\xE8\xFF"},  // only in the Russian one
        {bin + "version-english.dll", "ProductName", "Orvel"},
        {bin + "version-english.dll", "Empty", ""},
        // Empty in the English block is an answer: the Russian block is not asked.
        {bin + "version-both.dll", "Empty", ""},
        {bin + "version-russian.dll", "Empty", "held in ru"},
        {bin + "version-english.dll", "Missing", ""},
        {bin + "version-english.dll", "", ""},
        {bin + "version-other.dll", "FileVersion", ""},  // neither block
        {bin + "setrix-exit-child.exe", "FileVersion", ""},  // no version resource at all
        {notAModule, "FileVersion", ""},
        {dir + "missing.dll", "FileVersion", ""},
        {dir + std::string(400, 'z') + ".dll", "FileVersion", ""},
    };
    for (const Case& c : cases) EXPECT_STREQ(moduleVersion(c.file.c_str(), c.value), c.expected) << c.file << " " << c.value;
}

TEST_F(VersionExports, InstallationLinesFromGivenPaths) {
    auto dexalList = dll.Fn<TextOf2>("ProcessDexalList");
    auto gateList = dll.Fn<TextOf2>("ProcessGateList");
    const std::string list = List("CBF43926 - 5.11.0.0\r\n");
    const std::string known = Installation("Known", "dexal.ctl", kCheckText, true);
    const std::string other = Installation("Other", "dexal.ctl", "another build", true);
    const std::string noIni = Installation("NoIni", "dexal.ctl", kCheckText, false);
    const std::string gate = Installation("Gate", "gate.ctl", kCheckText, true);
    const std::string gateNoIni = Installation("GateNoIni", "gate.ctl", kCheckText, false);

    const std::string paths = other + "\\Programm\\dexal.ctl\r\n" + known + "\\Programm\\dexal.ctl\n" + noIni +
                              "\\Programm\\dexal.ctl\r\n\r\n" + known + "\\Programm\\DEXAL.CTL\r\n" + gate +
                              "\\Programm\\gate.ctl\r\ndexal.ctl\r\n" + dir + "Missing\\Programm\\dexal.ctl";
    EXPECT_EQ(std::string(dexalList(paths.c_str(), list.c_str())),
              "Orvel <5.11.0.0>  -  " + known + "\r\nOrvel <" + kUnknown + ">  -  " + other);

    const std::string gatePaths = gate + "\\Programm\\gate.ctl\r\n" + gateNoIni + "\\Programm\\gate.ctl\r\ngate.ctl";
    EXPECT_EQ(std::string(gateList(gatePaths.c_str(), list.c_str())), "GATE <5.11.0.0>  -  " + gate);
    EXPECT_STREQ(gateList("", list.c_str()), "");
    EXPECT_STREQ(dexalList("", list.c_str()), "");
    EXPECT_STREQ(dexalList(nullptr, nullptr), "");
    // Without a version list every installation is listed with an unknown version.
    EXPECT_EQ(std::string(gateList(gatePaths.c_str(), (dir + "missing.lst").c_str())),
              std::string("GATE <") + kUnknown + ">  -  " + gate);
}
