// GetOrvelBtrieveConfig: the settings of TRFIL008.DAT and TRFIL023.DAT, written by the
// fixture writer into a scratch "Data" directory, land in orvel_data.ini beside them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ProductFiles.h"
#include "SetrixLibrary.h"

namespace {

using IntOf1 = int(const char*);

// A TRFIL023 record (the first 20 fields; the rest stay zero).
std::string ExchangeRow(const std::string& exchange, const std::string& dump, const std::string& cache,
                        bool scheme = false, bool branches = false) {
    return "row \"" + exchange + "\" \"" + dump + "\" \"" + cache + "\" \"\" \"\" false false true 15 0 true false " +
           (scheme ? "true" : "false") + " false " + (branches ? "true" : "false") +
           " false false false true false\n";
}

std::string IniValue(const std::string& path, const char* key) {
    char value[512] = {};
    GetPrivateProfileStringA("ORVEL_DATA", key, "<missing>", value, sizeof value, path.c_str());
    return value;
}

class BtrieveConfigExport : public ::testing::Test {
protected:
    void TearDown() override { RemoveTree(root); }

    // The data directory root\Data\ with the product's files, TRFIL023 holding `row`.
    std::string MakeDataDirectory(const std::string& row) const {
        const std::string dataDir = root + "Data\\";
        CreateDirectoryA(dataDir.c_str(), nullptr);
        productfiles::Write(dataDir, productfiles::WithRows(productfiles::Description(), {{"TRFIL023", row}}));
        return dataDir;
    }

    SetrixLibrary dll;
    std::string root = TempDirectory();
    IntOf1* getOrvelBtrieveConfig = dll.Fn<IntOf1>("GetOrvelBtrieveConfig");
};

TEST_F(BtrieveConfigExport, WritesTheEightKeysInOrderAndKeepsTheOtherContent) {
    const std::string dataDir = MakeDataDirectory(ExchangeRow("C:\\ORVEL\\EXCHANGE", "", "\\CACHE\\", false, true));
    const std::string ini = dataDir + "orvel_data.ini";
    WriteFileBytes(ini, "[OTHER]\r\nKEPT=1\r\n[ORVEL_DATA]\r\nOLD=2\r\nDEFSERV=99\r\n");

    EXPECT_EQ(getOrvelBtrieveConfig(("  " + dataDir + "  ").c_str()), 1);
    EXPECT_EQ(ReadFileBytes(ini),
              "[OTHER]\r\nKEPT=1\r\n[ORVEL_DATA]\r\nOLD=2\r\nDEFSERV=3\r\n"
              "ORVELNUM=12\r\nORVELTYPE=1\r\n"
              "EXCHANGE_DIRECTORY=C:\\ORVEL\\EXCHANGE\r\n"
              "CASHE_DIRECTORY=" + root + "CACHE\\\r\n"
              "ARCHIVE_DIRECTORY=" + root + "Archive\r\n"
              "DUMP_DIRECTORY=" + root + "Backup\r\n"
              "REPORT_DIRECTORY=C:\\ORVEL\\REPORTS\\\r\n");
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
}

TEST_F(BtrieveConfigExport, SchemeTypeCacheAndDumpDirectories) {
    const struct {
        bool scheme, branches;
        const char* cache;
        const char* dump;
        const char* type;
        std::string cacheDirectory, dumpDirectory;
    } cases[] = {
        {false, false, "", "", "2", root, root + "Backup"},
        {true, false, "CACHE", "D:\\DUMP", "3", root + "CACHE\\", "D:\\DUMP"},
        {false, true, "CACHE\\", "", "1", root + "CACHE\\", root + "Backup"},
        {true, true, "\\CACHE", "", "1", root + "CACHE\\", root + "Backup"},
        {false, false, "\\", "", "2", root, root + "Backup"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cache) + " " + c.type);
        const std::string dataDir = MakeDataDirectory(ExchangeRow("X", c.dump, c.cache, c.scheme, c.branches));
        ASSERT_EQ(getOrvelBtrieveConfig(dataDir.c_str()), 1);
        const std::string ini = dataDir + "orvel_data.ini";
        EXPECT_EQ(IniValue(ini, "ORVELTYPE"), c.type);
        EXPECT_EQ(IniValue(ini, "CASHE_DIRECTORY"), c.cacheDirectory);
        EXPECT_EQ(IniValue(ini, "DUMP_DIRECTORY"), c.dumpDirectory);
    }
}

TEST_F(BtrieveConfigExport, EachCallReadsItsOwnDataDirectory) {
    const std::string first = MakeDataDirectory(ExchangeRow("FIRST", "", ""));
    const std::string secondRoot = TempDirectory();
    const std::string second = secondRoot + "Data\\";
    CreateDirectoryA(second.c_str(), nullptr);
    productfiles::Write(second, productfiles::WithRows(productfiles::Description(),
                                                       {{"TRFIL023", ExchangeRow("SECOND", "", "")}}));
    EXPECT_EQ(getOrvelBtrieveConfig(first.c_str()), 1);
    EXPECT_EQ(getOrvelBtrieveConfig(second.c_str()), 1);
    EXPECT_EQ(IniValue(first + "orvel_data.ini", "EXCHANGE_DIRECTORY"), "FIRST");
    EXPECT_EQ(IniValue(second + "orvel_data.ini", "EXCHANGE_DIRECTORY"), "SECOND");
    EXPECT_EQ(IniValue(second + "orvel_data.ini", "ARCHIVE_DIRECTORY"), secondRoot + "Archive");
    RemoveTree(secondRoot);
}

TEST_F(BtrieveConfigExport, FailuresWriteNoIniFile) {
    // No such directory: the dictionary cannot be written.
    EXPECT_EQ(getOrvelBtrieveConfig((root + "Data\\").c_str()), 0);
    // A data directory without the transit settings file.
    const std::string dataDir = MakeDataDirectory(ExchangeRow("X", "", ""));
    DeleteFileA((dataDir + "TRFIL008.DAT").c_str());
    EXPECT_EQ(getOrvelBtrieveConfig(dataDir.c_str()), 0);
    EXPECT_FALSE(productfiles::Exists(dataDir + "orvel_data.ini"));
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));

    // Settings files without their record hold no settings: the INI file keeps its own.
    for (const char* table : {"TRFIL008", "TRFIL023"}) {
        SCOPED_TRACE(table);
        RemoveTree(dataDir);
        CreateDirectoryA(dataDir.c_str(), nullptr);
        productfiles::Write(dataDir, productfiles::WithRows(productfiles::Description(), {{table, ""}}));
        WriteFileBytes(dataDir + "orvel_data.ini", "[ORVEL_DATA]\r\nORVELNUM=5\r\n");
        EXPECT_EQ(getOrvelBtrieveConfig(dataDir.c_str()), 0);
        EXPECT_EQ(ReadFileBytes(dataDir + "orvel_data.ini"), "[ORVEL_DATA]\r\nORVELNUM=5\r\n");
        EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
    }

    // The INI file goes to the parent's "Data" folder: another name for the data directory
    // leaves it without a folder to be written to.
    const std::string otherDir = root + "Base\\";
    CreateDirectoryA(otherDir.c_str(), nullptr);
    productfiles::Write(otherDir);
    RemoveTree(dataDir);
    EXPECT_EQ(getOrvelBtrieveConfig(otherDir.c_str()), 0);
    EXPECT_FALSE(productfiles::Exists(dataDir));
    EXPECT_TRUE(productfiles::DictionaryRemoved(otherDir));
}

// Run by CTest with no file allowed past SETRIX_FILE_SIZE_LIMIT bytes, as on a full disk
// (tests/support/file-size-limit.sh). The eight keys reach orvel_data.ini together or not
// at all: rewritten in place, the file was left cut at the limit and the export answered 1.
TEST_F(BtrieveConfigExport, DISABLED_AWriteThatFailsLeavesTheIniFileAsItWasAndAnswers0) {
    const char* limitText = std::getenv("SETRIX_FILE_SIZE_LIMIT");
    ASSERT_NE(limitText, nullptr) << "run through file-size-limit.sh";
    const size_t limit = std::stoul(limitText);
    const std::string dataDir = MakeDataDirectory(ExchangeRow("C:\\ORVEL\\EXCHANGE", "", "\\CACHE\\"));
    const std::string ini = dataDir + "orvel_data.ini";
    std::string before = "[ORVEL_DATA]\r\nORVELNUM=5\r\nCASHE_DIRECTORY=C:\\OLD\\\r\n[OTHER]\r\nP=";
    before += std::string(limit - before.size() - 2 - 64, 'p') + "\r\n";
    WriteFileBytes(ini, before);
    ASSERT_EQ(ReadFileBytes(ini), before);

    EXPECT_EQ(getOrvelBtrieveConfig(dataDir.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(ini), before);
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
}

}  // namespace
