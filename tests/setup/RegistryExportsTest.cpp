#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <functional>
#include <string>
#include <vector>

#include "SetrixLibrary.h"
#include "platform/Registry.h"

using platform::TRegistry;
using platform::TStringList;

namespace {

using IntOf1 = int(const char*);
using IntOf2 = int(const char*, const char*);
using IntOf3 = int(const char*, const char*, const char*);
using TextOf1 = const char*(const char*);
using TextOf2 = const char*(const char*, const char*);

class Hklm : public TRegistry {
public:
    Hklm() { SetRootKey(HKEY_LOCAL_MACHINE); }
};

class RegistryExports : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override {
        Clean();
        RemoveTree(installDir);
        RemoveTree(otherDir);
    }
    void Clean() {
        for (const std::string& key : locked_) SetAccess(key, WRITE_DAC, "D:P(A;;KA;;;WD)");
        locked_.clear();
        Hklm reg;
        for (const char* key : {"\\SOFTWARE\\SetrixExportTests", "\\SOFTWARE\\Orvel", "\\SOFTWARE\\Quarn"})
            reg.RemoveKey(key);
        if (reg.EnterKey("\\", false)) reg.RemoveValue("SetrixProbe");
    }
    static void PutString(const std::string& key, const char* name, const std::string& value) {
        Hklm reg;
        ASSERT_TRUE(reg.EnterKey(key, true));
        reg.PutString(name, value);
    }
    static bool KeyExists(const std::string& key) {
        Hklm reg;
        return reg.KeyExists(key);
    }
    // Leaves everyone only the right to read the key, as HKEY_LOCAL_MACHINE is for a user
    // without administrator rights; Clean gives the rights back.
    void MakeReadOnly(const std::string& key) {
        SetAccess(key, KEY_ALL_ACCESS, "D:P(A;;KR;;;WD)");
        locked_.push_back(key);
    }
    // key begins with a backslash; the access list is in the system's text form.
    static void SetAccess(const std::string& key, REGSAM openWith, const char* accessList) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str() + 1, 0, openWith, &handle), ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(accessList, SDDL_REVISION_1, &descriptor,
                                                                          nullptr));
        EXPECT_EQ(RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        LocalFree(descriptor);
        RegCloseKey(handle);
    }
    static void PutInteger(const std::string& key, const char* name, int value) {
        Hklm reg;
        ASSERT_TRUE(reg.EnterKey(key, true));
        reg.PutInteger(name, value);
    }
    static bool ValueExists(const std::string& key, const char* name) {
        Hklm reg;
        return reg.EnterKeyReadOnly(key) && reg.ValueExists(name);
    }

    SetrixLibrary dll;
    IntOf1* createKey = dll.Fn<IntOf1>("RegCreateHKLMKey");
    IntOf1* deleteKey = dll.Fn<IntOf1>("RegDeleteHKLMKey");
    IntOf3* createValue = dll.Fn<IntOf3>("RegCreateHKLMValue");
    IntOf2* deleteValue = dll.Fn<IntOf2>("RegDeleteHKLMValue");
    TextOf1* keyList = dll.Fn<TextOf1>("RegGetHKLMKeyList");
    TextOf2* deleteVersion = dll.Fn<TextOf2>("RegDeleteOrvelVer");
    std::string installDir = TempDirectory();
    std::string otherDir = TempDirectory();
    std::vector<std::string> locked_;
};

}  // namespace

TEST_F(RegistryExports, KeysAndValuesRoundTrip) {

    EXPECT_EQ(createKey("SOFTWARE\\SetrixExportTests\\Beta\\Deep"), 0);
    EXPECT_EQ(createKey("\\SOFTWARE\\SetrixExportTests\\alpha"), 0);
    EXPECT_EQ(createKey("SOFTWARE\\SetrixExportTests\\alpha"), 0);
    EXPECT_STREQ(keyList("SOFTWARE\\SetrixExportTests"), "alpha\r\nBeta\r\n");
    EXPECT_STREQ(keyList("SOFTWARE\\SetrixExportTests\\alpha"), "");
    EXPECT_STREQ(keyList("SOFTWARE\\SetrixExportTests\\missing"), "");

    EXPECT_EQ(createValue("SOFTWARE\\SetrixExportTests\\New\\Key", "Dir", "C:\\\xCF\xF0\xEE\xE3"), 0);
    {
        Hklm reg;
        ASSERT_TRUE(reg.EnterKey("\\SOFTWARE\\SetrixExportTests\\New\\Key", false));
        EXPECT_EQ(reg.GetString("Dir"), "C:\\\xCF\xF0\xEE\xE3");
    }
    EXPECT_EQ(deleteValue("SOFTWARE\\SetrixExportTests\\New\\Key", "Dir"), 0);
    EXPECT_EQ(deleteValue("SOFTWARE\\SetrixExportTests\\New\\Key", "Dir"), 0);  // already gone
    EXPECT_EQ(deleteValue("SOFTWARE\\SetrixExportTests\\Nowhere", "Dir"), 0);   // no key

    EXPECT_EQ(deleteKey("SOFTWARE\\SetrixExportTests\\Beta"), 0);
    EXPECT_FALSE(KeyExists("\\SOFTWARE\\SetrixExportTests\\Beta\\Deep"));
    EXPECT_EQ(deleteKey("SOFTWARE\\SetrixExportTests\\Beta"), 0);  // missing: still 0
    EXPECT_STREQ(keyList("SOFTWARE\\SetrixExportTests"), "alpha\r\nNew\r\n");
}

TEST_F(RegistryExports, FailuresOfTheRegistryLayerGiveOne) {
    // Key names are limited to 255 characters; the root itself can never be deleted.
    const std::string tooLong = "SOFTWARE\\SetrixExportTests\\" + std::string(300, 'k');
    EXPECT_EQ(createKey(tooLong.c_str()), 1);
    EXPECT_EQ(createValue(tooLong.c_str(), "v", "x"), 1);
    EXPECT_EQ(deleteKey(""), 1);
}

// A key the caller may only read keeps its value: that is a failure, not a missing key.
TEST_F(RegistryExports, AValueThatCannotBeDeletedGivesOne) {
    const std::string key = "\\SOFTWARE\\SetrixExportTests\\Locked";
    PutString(key, "Dir", "C:\\KEPT");
    MakeReadOnly(key);
    EXPECT_EQ(deleteValue("SOFTWARE\\SetrixExportTests\\Locked", "Dir"), 1);
    EXPECT_TRUE(ValueExists(key, "Dir"));
    EXPECT_EQ(deleteValue("SOFTWARE\\SetrixExportTests\\Locked\\Missing", "Dir"), 0);
}

// A key that stays after the deletion is a failure, whatever keeps it: no right to delete
// it, no right to open it at all, or a subkey that cannot be deleted (the subkeys before
// it go, the key and the rest stay). Only a key that is not there counts as deleted.
TEST_F(RegistryExports, AKeyThatCannotBeDeletedGivesOne) {
    const std::string root = "\\SOFTWARE\\SetrixExportTests";
    const struct {
        const char* locked;      // below root, its rights taken away
        const char* accessList;  // what is left to everyone
        const char* deleted;     // the key the export is asked to delete, below root
        std::vector<const char*> stay, gone;
    } cases[] = {
        {"\\Locked", "D:P(A;;KR;;;WD)", "Locked", {"\\Locked"}, {}},
        {"\\Closed", "D:P", "Closed", {"\\Closed"}, {}},
        {"\\Tree\\B", "D:P(A;;KR;;;WD)", "Tree", {"\\Tree", "\\Tree\\B", "\\Tree\\C"}, {"\\Tree\\A"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deleted);
        for (const char* sub : {"\\A", "\\B", "\\C"}) PutString(root + "\\Tree" + sub, "v", "x");
        PutString(root + c.locked, "Dir", "C:\\KEPT");
        SetAccess(root + c.locked, KEY_ALL_ACCESS, c.accessList);
        locked_.push_back(root + c.locked);
        EXPECT_EQ(deleteKey(("SOFTWARE\\SetrixExportTests\\" + std::string(c.deleted)).c_str()), 1);
        SetAccess(root + c.locked, WRITE_DAC, "D:P(A;;KA;;;WD)");
        for (const char* key : c.stay) EXPECT_TRUE(KeyExists(root + key)) << key;
        for (const char* key : c.gone) EXPECT_FALSE(KeyExists(root + key)) << key;
        Clean();
    }
}

// What the product's registry holds but cannot be read as it must be ends the deletion with
// "!" and deletes nothing.
TEST_F(RegistryExports, DeleteOrvelVersionReportsRegistryFailures) {
    const std::string instances = "\\SOFTWARE\\Quarn\\Orvel\\";
    const struct {
        const char* version;
        std::function<void()> arrange;
        std::string remaining;  // the key that must still be there
    } cases[] = {
        {"5.10.0.0", [&] { PutInteger("\\SOFTWARE\\Orvel", "InstallDir", 1); }, "\\SOFTWARE\\Orvel"},
        {"5.10.0.0",
         [&] {
             PutString("\\SOFTWARE\\Orvel", "InstallDir", installDir);
             PutString("\\SOFTWARE\\Orvel", "Version", "5.10.0.0");
             MakeReadOnly("\\SOFTWARE\\Orvel");
         },
         "\\SOFTWARE\\Orvel"},
        {"5.12.0.0", [&] { PutInteger(instances + "5.12.0.0_1", "InstallDir", 1); }, instances + "5.12.0.0_1"},
        // An instance listed before the matching one cannot be opened.
        {"5.12.0.0",
         [&] {
             PutString(instances + "5.12.0.0_1", "InstallDir", otherDir);
             PutString(instances + "5.12.0.0_2", "InstallDir", installDir);
             MakeReadOnly(instances + "5.12.0.0_1");
         },
         instances + "5.12.0.0_2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remaining);
        Clean();
        c.arrange();
        EXPECT_STREQ(deleteVersion(c.version, installDir.c_str()), "!");
        EXPECT_TRUE(KeyExists(c.remaining));
    }
}

// Key paths and value names the registry cannot hold are refused before anything is
// opened. Texts of 1 MiB whose beginning names a key or value the test watches: the
// parent of the key the path goes on to (above), a key beside it, the root itself.
TEST_F(RegistryExports, TextsTheRegistryCannotHoldTouchNothing) {
    const std::string above = "SOFTWARE\\SetrixExportTests";
    const std::string beside = above + "\\Beside";
    const std::string target = above + "\\Target";
    PutString("\\" + above, "Keep", "above");
    PutString("\\" + beside, "Keep", "beside");
    PutString("\\" + target + "\\Deep", "Keep", "deep");
    PutString("\\" + target, "Keep", "target");
    auto untouched = [&] {
        Hklm reg;
        bool whole = reg.EnterKey("\\" + above, false) && reg.GetString("Keep") == "above" &&
                     reg.GetString("") == "" && reg.EnterKey("\\" + beside, false) && reg.GetString("Keep") == "beside" &&
                     reg.EnterKey("\\" + target, false) && reg.GetString("Keep") == "target" &&
                     reg.GetString("") == "" && reg.EnterKey("\\" + target + "\\Deep", false) &&
                     reg.GetString("Keep") == "deep";
        reg.CloseKey();
        whole = whole && reg.EnterKey("\\", false) && !reg.ValueExists("SetrixProbe");
        return whole;
    };
    ASSERT_TRUE(untouched());

    // One long key name below the watched key, or a path of short names as long.
    const std::string longName = "\\" + std::string(300, 'n');
    const struct {
        std::string path;
        bool cutToTheRoot;  // not deleted from even here: the test would take the machine's keys
    } paths[] = {
        {CutShortTo(above, longName), false},
        {CutShortTo(beside, longName), false},
        {CutShortTo(above, "\\n"), false},
        {CutShortTo(beside, "\\n"), false},
        {above + "\\" + std::string(256, 'n'), false},
        {CutShortTo("", std::string(300, 'n')), true},
    };
    for (const auto& [path, cutToTheRoot] : paths) {
        SCOPED_TRACE(path.substr(0, 40) + "... (" + std::to_string(path.size()) + " characters)");
        EXPECT_EQ(createKey(path.c_str()), 1);
        EXPECT_EQ(createValue(path.c_str(), "SetrixProbe", "x"), 1);
        EXPECT_EQ(deleteValue(path.c_str(), "Keep"), 1);
        EXPECT_STREQ(keyList(path.c_str()), "");
        if (!cutToTheRoot) EXPECT_EQ(deleteKey(path.c_str()), 1);
        EXPECT_TRUE(untouched());
    }
    // Value names beyond 16,383 characters, one of them cut to the key's default value.
    for (const std::string& name : {CutShortTo("Keep", "v"), CutShortTo("", "v"), std::string(65536, 'v'),
                                    std::string(16384, 'v')}) {
        SCOPED_TRACE(name.substr(0, 10) + "... (" + std::to_string(name.size()) + " characters)");
        EXPECT_EQ(createValue(target.c_str(), name.c_str(), "x"), 1);
        EXPECT_EQ(createValue((target + "\\New").c_str(), name.c_str(), "x"), 1);
        EXPECT_EQ(deleteValue(target.c_str(), name.c_str()), 1);
        EXPECT_FALSE(KeyExists("\\" + target + "\\New"));
        EXPECT_TRUE(untouched());
    }
    // A path that names no key below the root is refused by every export.
    for (const char* path : {"", "\\", "\\\\"}) {
        SCOPED_TRACE(std::string("'") + path + "'");
        EXPECT_EQ(createKey(path), 1);
        EXPECT_EQ(createValue(path, "SetrixProbe", "x"), 1);
        EXPECT_EQ(deleteValue(path, "SetrixProbe"), 1);
        EXPECT_EQ(deleteKey(path), 1);
        EXPECT_STREQ(keyList(path), "");
        EXPECT_TRUE(untouched());
    }
    // Long texts within the limits still work: a value name of 16,383 characters, and a key
    // name of 200 (the system's ANSI functions take key paths of up to 260 characters).
    const std::string longest = target + "\\" + std::string(200, 'k');
    EXPECT_EQ(createKey(longest.c_str()), 0);
    EXPECT_EQ(createValue(longest.c_str(), std::string(16383, 'v').c_str(), "x"), 0);
    EXPECT_EQ(deleteValue(longest.c_str(), std::string(16383, 'v').c_str()), 0);
    EXPECT_EQ(deleteKey(longest.c_str()), 0);
    EXPECT_FALSE(KeyExists("\\" + longest));
    EXPECT_TRUE(untouched());
}

TEST_F(RegistryExports, DeleteOrvelVersionOfOldLayout) {
    PutString("\\SOFTWARE\\Orvel", "InstallDir", installDir);  // long form, trailing backslash
    PutString("\\SOFTWARE\\Orvel", "Version", "5.10.0.0");

    EXPECT_STREQ(deleteVersion("5.11.0.0", installDir.c_str()), "?");
    EXPECT_STREQ(deleteVersion("5.10.0.0", otherDir.c_str()), "-");
    EXPECT_STREQ(deleteVersion("5.12.0.0", installDir.c_str()), "-");
    EXPECT_STREQ(deleteVersion("4.0", installDir.c_str()), "-");
    EXPECT_TRUE(KeyExists("\\SOFTWARE\\Orvel"));

    // The directory compares by its short, upper-case form, with or without the backslash.
    std::string noSlash = installDir.substr(0, installDir.size() - 1);
    EXPECT_STREQ(deleteVersion(" 5.10.0.0 ", noSlash.c_str()), "ok");
    EXPECT_FALSE(KeyExists("\\SOFTWARE\\Orvel"));
    EXPECT_STREQ(deleteVersion("5.10.0.0", installDir.c_str()), "-");
}

TEST_F(RegistryExports, DeleteOrvelInstanceSkipsOtherVersionsAndDirectories) {
    const std::string base = "\\SOFTWARE\\Quarn\\Orvel\\";
    PutString(base + "5.12.0.0_1", "InstallDir", otherDir);
    PutString(base + "5.12.0.0_2", "InstallDir", installDir);
    PutString(base + "5.11.0.0_1", "InstallDir", installDir);
    PutString(base + "5.13.0.0_1", "InstallDir", installDir);

    EXPECT_STREQ(deleteVersion("5.12.0.0", installDir.c_str()), "ok");
    EXPECT_FALSE(KeyExists(base + "5.12.0.0_2"));
    EXPECT_TRUE(KeyExists(base + "5.12.0.0_1"));
    EXPECT_TRUE(KeyExists(base + "5.11.0.0_1"));
    EXPECT_TRUE(KeyExists(base + "5.13.0.0_1"));
    EXPECT_STREQ(deleteVersion("5.12.0.0", installDir.c_str()), "-");
}

TEST_F(RegistryExports, DeleteOrvelVersionOfMissingDirectoryTouchesNothing) {
    PutString("\\SOFTWARE\\Orvel", "InstallDir", "C:\\no\\such\\dir\\");
    PutString("\\SOFTWARE\\Orvel", "Version", "5.9.2.0");
    EXPECT_STREQ(deleteVersion("5.9.2.0", "C:\\no\\such\\dir\\"), "-");
    EXPECT_TRUE(KeyExists("\\SOFTWARE\\Orvel"));
    // A directory text of 1 MiB whose beginning is the recorded directory names no
    // directory either.
    PutString("\\SOFTWARE\\Orvel", "InstallDir", installDir);
    EXPECT_STREQ(deleteVersion("5.9.2.0", CutShortTo(installDir, "d").c_str()), "-");
    EXPECT_TRUE(KeyExists("\\SOFTWARE\\Orvel"));
}

TEST_F(RegistryExports, LoadingWritesOnlyMissingBtrieveIntlValues) {
    const char* intl = "\\SOFTWARE\\Quillon\\Btrieve\\Configuration\\Intl";
    dll.Unload();
    {
        Hklm reg;
        reg.RemoveKey(intl);
        ASSERT_TRUE(reg.EnterKey(intl, true));
        reg.PutInteger("IgnoreAnsiOEM", 0);
    }
    for (int load = 0; load < 2; ++load) {
        SetrixLibrary again;
        Hklm reg;
        ASSERT_TRUE(reg.EnterKey(intl, false));
        EXPECT_EQ(reg.GetInteger("IgnoreAnsiOEM"), 0);
        EXPECT_EQ(reg.GetInteger("IgnoreOEMAnsi"), 1);
    }
}
