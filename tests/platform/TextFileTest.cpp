#include <gtest/gtest.h>

#include <fstream>

#include "platform/TextFile.h"

using namespace platform;

TEST(TextFile, ReadsEveryKindOfLineEnd) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const AnsiString path = AnsiString(dir) + "setrix_textfile_test.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << "one\r\ntwo\nthree\r\r\nlast";
    }
    TTextFile file(path);
    AnsiString line;
    std::vector<AnsiString> lines;
    while (file.ReadLine(line)) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<AnsiString>{"one", "two", "three", "", "last"}));
    DeleteFileA(path.c_str());
}

TEST(TextFile, MissingFileRaises) {
    EXPECT_THROW(TTextFile("C:\\no\\such\\file.txt"), EInOutError);
    EXPECT_FALSE(FileExists("C:\\no\\such\\file.txt"));
    EXPECT_TRUE(DirectoryExists("C:\\windows"));
}
