#include <gtest/gtest.h>

#include "SetrixLibrary.h"

namespace {

using IntOf1 = int(const char*);
using TextOf2 = const char*(const char*, const char*);

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class FileExports : public ::testing::Test {
protected:
    void TearDown() override {
        SetCurrentDirectoryA(ProgramDirectory().c_str());
        RemoveTree(dir);
    }

    SetrixLibrary dll;
    std::string dir = TempDirectory();
};

}  // namespace

TEST_F(FileExports, DeleteFolderRemovesTheWholeTree) {
    auto deleteFolder = dll.Fn<IntOf1>("DeleteFolder");
    const std::string tree = dir + "tree";
    CreateDirectoryA(tree.c_str(), nullptr);
    CreateDirectoryA((tree + "\\sub").c_str(), nullptr);
    WriteFileBytes(tree + "\\sub\\locked.txt", "x");
    SetFileAttributesA((tree + "\\sub\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(tree + "\\top.txt", "y");
    EXPECT_EQ(deleteFolder(tree.c_str()), 0);
    EXPECT_FALSE(Exists(tree + "\\sub\\locked.txt"));
    EXPECT_FALSE(Exists(tree + "\\top.txt"));

    // A relative path is taken from the current directory; a single file goes as well.
    CreateDirectoryA((dir + "relative").c_str(), nullptr);
    WriteFileBytes(dir + "single.txt", "z");
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    EXPECT_EQ(deleteFolder("relative"), 0);
    EXPECT_FALSE(Exists(dir + "relative"));
    EXPECT_EQ(deleteFolder("single.txt"), 0);
    EXPECT_FALSE(Exists(dir + "single.txt"));

    EXPECT_NE(deleteFolder((dir + "missing").c_str()), 0);
    EXPECT_NE(deleteFolder((dir + std::string(300, 'd')).c_str()), 0);
}

// Paths that name the current directory, its parent or a root are refused: the host
// never means to wipe them. The current directory holds a file that must survive.
TEST_F(FileExports, DeleteFolderRefusesTheCurrentDirectoryAndRoots) {
    auto deleteFolder = dll.Fn<IntOf1>("DeleteFolder");
    const std::string current = dir + "current";
    CreateDirectoryA(current.c_str(), nullptr);
    WriteFileBytes(current + "\\keep.txt", "keep");
    ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
    for (const char* path : std::initializer_list<const char*>{"", "   ", ".", ".\\", "..", "..\\", "\\", "/", nullptr}) {
        EXPECT_NE(deleteFolder(path), 0) << (path ? path : "(null)");
        EXPECT_TRUE(Exists(current + "\\keep.txt")) << (path ? path : "(null)");
    }
    // Relative paths that lead back to the current directory or above it: the bare drive
    // (a script's empty folder name after its drive) and steps back out of a folder.
    const std::string drive = current.substr(0, 2);
    CreateDirectoryA((current + "\\sub").c_str(), nullptr);
    for (const std::string& path : {drive, drive + ".", drive + "sub\\..", std::string("sub\\.."),
                                    std::string("sub\\..\\.."), std::string("sub/../")}) {
        EXPECT_NE(deleteFolder(path.c_str()), 0) << path;
        EXPECT_TRUE(Exists(current + "\\keep.txt")) << path;
    }
    // The same directory named absolutely is the script's plain wish (an uninstaller may
    // run inside what it removes); a relative path below the current directory still goes.
    EXPECT_EQ(deleteFolder("sub\\..\\sub"), 0);
    EXPECT_FALSE(Exists(current + "\\sub"));
}

// A folder's name never holds a wildcard: the shell would delete whatever matches, and a
// pattern that matches nothing is no success either.
TEST_F(FileExports, DeleteFolderRefusesWildcards) {
    auto deleteFolder = dll.Fn<IntOf1>("DeleteFolder");
    for (const char* name : {"match1", "match2", "other"}) {
        CreateDirectoryA((dir + name).c_str(), nullptr);
        WriteFileBytes(dir + name + "\\keep.txt", "keep");
    }
    for (const std::string& path : {dir + "match*", dir + "match?", dir + "*", dir + "*.*", dir + "none*",
                                    dir + "none?", dir + "match<", dir + "match1\\*", dir + "ma*\\keep.txt"}) {
        EXPECT_NE(deleteFolder(path.c_str()), 0) << path;
        for (const char* name : {"match1", "match2", "other"})
            EXPECT_EQ(ReadFileBytes(dir + name + "\\keep.txt"), "keep") << path << " " << name;
    }
    EXPECT_EQ(deleteFolder((dir + "match1").c_str()), 0);
    EXPECT_FALSE(Exists(dir + "match1"));
}

TEST_F(FileExports, WriteLineAppendsAndCreates) {
    auto writeLine = dll.Fn<void(const char*, const char*)>("WriteLine");
    const std::string file = dir + "out.txt";
    writeLine(file.c_str(), "first");
    writeLine(file.c_str(), "");
    writeLine(file.c_str(), "\xEF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_EQ(ReadFileBytes(file), "first\r\n\r\n\xEF\xF0\xE8\xE2\xE5\xF2\r\n");

    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    writeLine(file.c_str(), "more");
    EXPECT_EQ(ReadFileBytes(file), "first\r\n\r\n\xEF\xF0\xE8\xE2\xE5\xF2\r\nmore\r\n");
    EXPECT_EQ(GetFileAttributesA(file.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));

    writeLine((dir + "no\\such\\folder.txt").c_str(), "lost");  // no crash, nothing written
    writeLine(nullptr, nullptr);
    EXPECT_FALSE(Exists(dir + "no"));
}

TEST_F(FileExports, CheckLogCountsErrorsAndIgnoredLines) {
    auto checkLog = dll.Fn<TextOf2>("CheckLog");
    const std::string separator(121, '=');
    const std::string ignore = dir + "ignore.lst";
    WriteFileBytes(ignore,
                   "ORA-00955 name is already used\r\n"
                   "also ORA-00955 here\r\n"
                   "  ORA-00955\r\n"
                   "Warning: Package created with compilation errors.\r\n");
    const std::string log = dir + "install.log";
    WriteFileBytes(log,
                   "Table created.\r\n"
                   "ORA-00942: table or view does not exist\r\n"
                   "ORA-00955: name is already used by an existing object\r\n"
                   "Warning: Package created with compilation errors.\r\n"
                   "Error at line 1: ORA-00001 comes too late\r\n"
                   "SP2-0734: unknown command\r\n"
                   "\r\n"
                   "  ORA-01031: insufficient privileges\n"
                   "Warning: Package Body created with compilation errors.");
    SetFileAttributesA(log.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_STREQ(checkLog(log.c_str(), ignore.c_str()), "5 3");
    const auto framed = [&](const std::string& line) { return separator + "\r\n" + line + "\r\n" + separator + "\r\n"; };
    EXPECT_EQ(ReadFileBytes(log), "Table created.\r\n" + framed("ORA-00942: table or view does not exist") +
                                      "ORA-00955: name is already used by an existing object\r\n" +
                                      framed("Warning: Package created with compilation errors.") +
                                      "Error at line 1: ORA-00001 comes too late\r\n" +
                                      framed("SP2-0734: unknown command") + "\r\n" +
                                      framed("  ORA-01031: insufficient privileges") +
                                      framed("Warning: Package Body created with compilation errors."));
    EXPECT_FALSE(Exists(log + "_"));

    const std::string empty = dir + "empty.log";
    WriteFileBytes(empty, "");
    EXPECT_STREQ(checkLog(empty.c_str(), ignore.c_str()), "0 0");
    EXPECT_EQ(ReadFileBytes(empty), "");
}

TEST_F(FileExports, CheckLogKeepsTheLogWhenItCannotCheck) {
    auto checkLog = dll.Fn<TextOf2>("CheckLog");
    const std::string ignore = dir + "ignore.lst", log = dir + "install.log";
    WriteFileBytes(ignore, "nothing\r\n");
    const std::string original = "ORA-00942: table or view does not exist\r\n";
    WriteFileBytes(log, original);

    EXPECT_STREQ(checkLog(log.c_str(), (dir + "missing.lst").c_str()), "???");
    EXPECT_STREQ(checkLog((dir + "missing.log").c_str(), ignore.c_str()), "???");
    EXPECT_FALSE(Exists(dir + "missing.log_"));
    EXPECT_STREQ(checkLog((dir + std::string(300, 'l')).c_str(), ignore.c_str()), "???");
    EXPECT_STREQ(checkLog(nullptr, nullptr), "???");

    // The checked copy cannot take the log's place while another program holds it open
    // without sharing its deletion: the log must stay as it was.
    {
        HeldOpen copy(log + "_", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
        ASSERT_TRUE(copy.Valid());
        EXPECT_STREQ(checkLog(log.c_str(), ignore.c_str()), "???");
    }
    EXPECT_EQ(ReadFileBytes(log), original);
    EXPECT_STREQ(checkLog(log.c_str(), ignore.c_str()), "1 0");
}

TEST_F(FileExports, ComputerName) {
    auto computerName = dll.Fn<const char*()>("GetComputerName");
    const std::string name = computerName();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 15u);
    EXPECT_EQ(name.find('\0'), std::string::npos);
    char expected[256];
    DWORD length = sizeof expected;
    ASSERT_TRUE(GetComputerNameA(expected, &length));
    EXPECT_EQ(name, std::string(expected, length).substr(0, 15));
}
