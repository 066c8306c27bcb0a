// GetOrvelOracleConfig, SetOrvelOracleParams and MoveOrvelConfig through setrix.dll against
// the stand-in server: the configuration row of a schema of the test's own, read into
// orvel_data.ini, updated from it and from the product's Btrieve files, and read back
// through ExecSQL.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/oracle/oci/OciFixtures.h"
#include "tests/setup/ProductFiles.h"
#include "tests/setup/SetrixLibrary.h"

namespace {

using oracle::testing::OracleRegistryTest;
using oracle::testing::ProgramFolder;

const char* const kServer = "SETRIX_TEST";
const char* const kUser = "STX_ORVEL";
const char* const kPassword = "ORVEL";

using ExecSqlFn = int(const char*, const char*, const char*, const char*);
using ParamsFn = int(const char*, const char*, const char*, const char*);

class ConfigurationMoves : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
        // The schema stays from an earlier test; its table is made anew.
        Exec("SYSTEM", "MANAGER", "CREATE USER " + std::string(kUser) + " IDENTIFIED BY " + kPassword);
        Exec(kUser, kPassword, "DROP TABLE ORVEL_CONFIGURATION");
        ASSERT_EQ(Exec(kUser, kPassword,
                       "CREATE TABLE ORVEL_CONFIGURATION (ID NUMBER, ORVEL_NUM NUMBER, ORVEL_TYPE NUMBER, "
                       "DEF_SERV NUMBER, EXCHANGE_DIRECTORY VARCHAR2(200), CASHE_DIRECTORY VARCHAR2(200), "
                       "ARCHIVE_DIRECTORY VARCHAR2(200), DUMP_DIRECTORY VARCHAR2(200), "
                       "REPORT_DIRECTORY VARCHAR2(200), EXCHANGE_WAY NUMBER, EXCHANGE_PERIOD NUMBER, "
                       "PROCESS_AFTER_GET NUMBER, CONTROL_AFTER_START NUMBER, USE_MAIL_SENDER NUMBER, "
                       "ORVEL_NUMBER NUMBER, DEFAULT_SERVICE NUMBER)"),
                  1);
        ASSERT_EQ(Exec(kUser, kPassword,
                       "INSERT INTO ORVEL_CONFIGURATION VALUES (1, 77, 9, 99, 'old', 'old', 'old', 'old', 'old', "
                       "9, 9, 9, 9, 9, 77, 99)"),
                  1);
    }
    void TearDown() override {
        RemoveTree(root);
        OracleRegistryTest::TearDown();
    }

    int Exec(const std::string& user, const std::string& password, const std::string& sql) {
        return setrix_.Fn<ExecSqlFn>("ExecSQL")(user.c_str(), password.c_str(), kServer, sql.c_str());
    }
    // Whether the configuration row meets the condition.
    bool Holds(const std::string& condition) {
        return Exec(kUser, kPassword,
                    "DECLARE n NUMBER; BEGIN SELECT ID INTO n FROM ORVEL_CONFIGURATION WHERE " + condition +
                        "; END;") == 1;
    }
    int SetOrvelOracleParams(const char* password, const std::string& iniDir) {
        return setrix_.Fn<ParamsFn>("SetOrvelOracleParams")(kUser, password, kServer, iniDir.c_str());
    }
    int GetOrvelOracleConfig(const char* password, const std::string& iniDir) {
        return setrix_.Fn<ParamsFn>("GetOrvelOracleConfig")(kUser, password, kServer, iniDir.c_str());
    }
    std::string IniValue(const std::string& section, const std::string& key) const {
        char value[256];
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "<none>", value, sizeof value,
                                 (root + "orvel_data.ini").c_str());
        return value;
    }
    int MoveOrvelConfig(const std::string& dataDir, const char* password = kPassword) {
        return setrix_.Fn<ParamsFn>("MoveOrvelConfig")(dataDir.c_str(), kUser, password, kServer);
    }
    // root\Data\ with the product's files, TRFIL023 holding `row`.
    std::string MakeDataDirectory(const std::string& row) const {
        const std::string dataDir = root + "Data\\";
        CreateDirectoryA(dataDir.c_str(), nullptr);
        productfiles::Write(dataDir, productfiles::WithRows(productfiles::Description(), {{"TRFIL023", row}}));
        return dataDir;
    }
    bool Untouched() { return Holds("ORVEL_NUM = 77 AND EXCHANGE_DIRECTORY = 'old' AND USE_MAIL_SENDER = 9"); }

    SetrixLibrary setrix_;
    std::string root = TempDirectory();
};

TEST_F(ConfigurationMoves, SetOrvelOracleParamsCopiesTheFiveDirectoriesQuoted) {
    WriteFileBytes(root + "orvel_data.ini",
                   "[ORVEL_DATA]\r\nORVELNUM=5\r\nEXCHANGE_DIRECTORY=C:\\O'Brien\\EX\r\nCASHE_DIRECTORY=C:\\CACHE\\\r\n"
                   "ARCHIVE_DIRECTORY=C:\\ARCH\\\r\nDUMP_DIRECTORY=C:\\DUMP\\\r\nREPORT_DIRECTORY=C:\\REP\\\r\n");
    std::string dir = root;
    dir.pop_back();  // the trailing backslash is added
    EXPECT_EQ(SetOrvelOracleParams(kPassword, " " + dir + " "), 1);
    EXPECT_TRUE(Holds("EXCHANGE_DIRECTORY = 'C:\\O''Brien\\EX' AND CASHE_DIRECTORY = 'C:\\CACHE\\' AND "
                      "ARCHIVE_DIRECTORY = 'C:\\ARCH\\' AND DUMP_DIRECTORY = 'C:\\DUMP\\' AND "
                      "REPORT_DIRECTORY = 'C:\\REP\\'"));
    EXPECT_TRUE(Holds("ORVEL_NUM = 77"));
}

TEST_F(ConfigurationMoves, SetOrvelOracleParamsReportsWhatItCouldNotDo) {
    // Without the INI file nothing is emptied.
    EXPECT_EQ(SetOrvelOracleParams(kPassword, root), 0);
    EXPECT_TRUE(Untouched());
    // A log-on that fails is a failure, not a success.
    WriteFileBytes(root + "orvel_data.ini", "[ORVEL_DATA]\r\nEXCHANGE_DIRECTORY=C:\\NEW\r\n");
    EXPECT_EQ(SetOrvelOracleParams("wrong", root), 0);
    EXPECT_TRUE(Untouched());
    // Keys the file lacks are sent empty, as the file says.
    EXPECT_EQ(SetOrvelOracleParams(kPassword, root), 1);
    EXPECT_TRUE(Holds("EXCHANGE_DIRECTORY = 'C:\\NEW' AND CASHE_DIRECTORY IS NULL"));
}

TEST_F(ConfigurationMoves, MoveOrvelConfigSendsTheThirteenSettings) {
    // Background exchange on, by period; process after get on; control after start on.
    const std::string dataDir = MakeDataDirectory(
        "row \"C:\\O'Brien\\EXCHANGE\" \"\" \"\\CACHE\\\" \"\" \"\" false false true 2.5 0 true false false false "
        "true false false false true false\n");
    EXPECT_EQ(MoveOrvelConfig(dataDir), 1);
    EXPECT_FALSE(Holds("EXCHANGE_DIRECTORY = 'old'"));
    EXPECT_TRUE(Holds("ORVEL_NUM = 12 AND ORVEL_TYPE = 1 AND DEF_SERV = 3"));
    EXPECT_TRUE(Holds("EXCHANGE_DIRECTORY = 'C:\\O''Brien\\EXCHANGE' AND CASHE_DIRECTORY = '" + root + "CACHE\\'"));
    EXPECT_TRUE(Holds("ARCHIVE_DIRECTORY = '" + root + "Archive' AND DUMP_DIRECTORY IS NULL"));
    EXPECT_TRUE(Holds("REPORT_DIRECTORY = 'C:\\ORVEL\\REPORTS\\'"));
    EXPECT_TRUE(Holds("EXCHANGE_WAY = 2 AND EXCHANGE_PERIOD = 2.5"));
    EXPECT_TRUE(Holds("PROCESS_AFTER_GET = 1 AND CONTROL_AFTER_START = 1 AND USE_MAIL_SENDER = 0"));
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
}

TEST_F(ConfigurationMoves, MoveOrvelConfigSendsFractionsWithADecimalPoint) {
    // The tests run in the product's Russian locale, whose numbers carry a decimal comma; in
    // the statement it would end the number and start another assignment.
    char separator[4] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator);
    ASSERT_STREQ(separator, ",") << "the tests' locale (scripts/wine-env) has changed";
    const struct {
        const char* period;  // TRFIL023 position 8, a 4-byte float
        const char* condition;
    } cases[] = {
        {"2.5", "EXCHANGE_PERIOD = 2.5"},
        {"-0.75", "EXCHANGE_PERIOD = -0.75"},
        {"0.125", "EXCHANGE_PERIOD = 0.125"},
        {"1024", "EXCHANGE_PERIOD = 1024"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.period);
        const std::string dataDir =
            MakeDataDirectory("row \"X\" \"\" \"\" \"\" \"\" false false true " + std::string(c.period) + " 0\n");
        ASSERT_EQ(MoveOrvelConfig(dataDir), 1);
        EXPECT_TRUE(Holds(c.condition));
    }
}

TEST_F(ConfigurationMoves, MoveOrvelConfigExchangeWayAndSchemeType) {
    const struct {
        const char* flags;  // background, period, processing, time/period, scheme, -, branches
        int way, type;
    } cases[] = {
        {"false 15 0 false false false false false", 1, 2},
        {"true 15 0 false true true false false", 3, 3},
        {"true 15 0 false false true false true", 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        const std::string dataDir = MakeDataDirectory("row \"X\" \"D:\\DUMP\" \"\" \"\" \"\" false false " +
                                                      std::string(c.flags) + " false false false false true\n");
        ASSERT_EQ(MoveOrvelConfig(dataDir), 1);
        EXPECT_TRUE(Holds("EXCHANGE_WAY = " + std::to_string(c.way) + " AND ORVEL_TYPE = " + std::to_string(c.type)));
        EXPECT_TRUE(Holds("CASHE_DIRECTORY = '" + root + "' AND DUMP_DIRECTORY = 'D:\\DUMP'"));
        EXPECT_TRUE(Holds("PROCESS_AFTER_GET = 0 AND CONTROL_AFTER_START = 0 AND USE_MAIL_SENDER = 1"));
    }
}

TEST_F(ConfigurationMoves, MoveOrvelConfigFailures) {
    // No data directory: nothing to read, nothing sent.
    EXPECT_EQ(MoveOrvelConfig(root + "Data\\"), 0);
    EXPECT_TRUE(Untouched());
    // A settings file without its record has no settings to send: the row keeps its own.
    const std::string emptyDir = MakeDataDirectory("");
    EXPECT_EQ(MoveOrvelConfig(emptyDir), 0);
    EXPECT_TRUE(Untouched());
    EXPECT_TRUE(productfiles::DictionaryRemoved(emptyDir));
    // The settings are read but the log-on fails.
    const std::string dataDir = MakeDataDirectory("row \"X\" \"\" \"\" \"\" \"\" false false false 15 0\n");
    EXPECT_EQ(MoveOrvelConfig(dataDir, "wrong"), 0);
    EXPECT_TRUE(Untouched());
    EXPECT_TRUE(productfiles::DictionaryRemoved(dataDir));
    // The log-on works but the statements fail: a schema without the configuration table.
    ASSERT_EQ(Exec(kUser, kPassword, "DROP TABLE ORVEL_CONFIGURATION"), 1);
    EXPECT_EQ(MoveOrvelConfig(dataDir), 0);
}

TEST_F(ConfigurationMoves, GetOrvelOracleConfigWritesTheEightSettings) {
    ASSERT_EQ(Exec(kUser, kPassword,
                   "UPDATE ORVEL_CONFIGURATION SET ORVEL_NUMBER = 12, ORVEL_TYPE = 3, DEFAULT_SERVICE = 4, "
                   "EXCHANGE_DIRECTORY = 'C:\\EX\\', CASHE_DIRECTORY = 'C:\\CACHE\\', "
                   "ARCHIVE_DIRECTORY = 'C:\\ARCH\\', DUMP_DIRECTORY = NULL, REPORT_DIRECTORY = 'C:\\REP\\'"),
              1);
    WriteFileBytes(root + "orvel_data.ini", "[OTHER]\r\nKEY=kept\r\n[ORVEL_DATA]\r\nORVELNUM=1\r\nEXTRA=kept\r\n");
    // Blanks around the directory and its trailing backslash are dropped.
    EXPECT_EQ(GetOrvelOracleConfig(kPassword, " " + root + " "), 1);
    const struct {
        const char* key;
        const char* value;
    } expected[] = {
        {"ORVELNUM", "12"},
        {"ORVELTYPE", "3"},
        {"DEFSERV", "4"},
        {"EXCHANGE_DIRECTORY", "C:\\EX\\"},
        {"CASHE_DIRECTORY", "C:\\CACHE\\"},
        {"ARCHIVE_DIRECTORY", "C:\\ARCH\\"},
        {"DUMP_DIRECTORY", ""},
        {"REPORT_DIRECTORY", "C:\\REP\\"},
        {"EXTRA", "kept"},
    };
    for (const auto& e : expected) EXPECT_EQ(IniValue("ORVEL_DATA", e.key), e.value) << e.key;
    EXPECT_EQ(IniValue("OTHER", "KEY"), "kept");
    EXPECT_TRUE(Holds("ORVEL_NUM = 77"));
}

TEST_F(ConfigurationMoves, GetOrvelOracleConfigWritesNothingItCouldNotRead) {
    const std::string before = "[ORVEL_DATA]\r\nORVELNUM=1\r\n";
    WriteFileBytes(root + "orvel_data.ini", before);
    EXPECT_EQ(GetOrvelOracleConfig("wrong", root), 0);
    // A table without its row holds no settings to write.
    ASSERT_EQ(Exec(kUser, kPassword, "DELETE FROM ORVEL_CONFIGURATION"), 1);
    EXPECT_EQ(GetOrvelOracleConfig(kPassword, root), 0);
    ASSERT_EQ(Exec(kUser, kPassword, "DROP TABLE ORVEL_CONFIGURATION"), 1);
    EXPECT_EQ(GetOrvelOracleConfig(kPassword, root), 0);
    EXPECT_EQ(ReadFileBytes(root + "orvel_data.ini"), before);
}

// A directory of 1 MiB names no directory: nothing is written, not even where the path's
// beginning points (the system keeps an ANSI text's length in 16 bits).
TEST_F(ConfigurationMoves, GetOrvelOracleConfigWritesNothingForADirectoryThatCannotExist) {
    const std::string decoy = root + "decoy.ini";
    const size_t added = std::string("\\orvel_data.ini").size();
    for (const std::string& iniDir : {CutShortTo(decoy, "d", added), CutShortTo(root + "decoy", "d", added)}) {
        EXPECT_EQ(GetOrvelOracleConfig(kPassword, iniDir), 0);
        EXPECT_EQ(SetOrvelOracleParams(kPassword, iniDir), 0);
    }
    EXPECT_EQ(GetFileAttributesA(decoy.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((root + "decoy").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Untouched());
}

// An INI directory that is empty or blank names no folder: the file would land at the root
// of the current drive.
TEST_F(ConfigurationMoves, GetOrvelOracleConfigWritesNothingWithoutADirectory) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    // The current drive's root, as the bare "\\orvel_data.ini" would name it.
    const std::string atRoot = std::string(previous, 2) + "\\orvel_data.ini";
    ASSERT_EQ(GetFileAttributesA(atRoot.c_str()), INVALID_FILE_ATTRIBUTES) << "left by someone else";
    for (const char* iniDir : {"", "   ", "\\", " \\ "}) {
        SCOPED_TRACE(std::string("[") + iniDir + "]");
        EXPECT_EQ(GetOrvelOracleConfig(kPassword, iniDir), 0);
        EXPECT_EQ(GetFileAttributesA(atRoot.c_str()), INVALID_FILE_ATTRIBUTES);
        DeleteFileA(atRoot.c_str());
    }
}

// A setting the Btrieve files hold no number for is not moved: the column keeps its value
// (NULL would clear it), and the export says the move was not whole.
TEST_F(ConfigurationMoves, MoveOrvelConfigLeavesAColumnWhoseNumberIsEmpty) {
    const std::string dataDir = root + "Data\\";
    CreateDirectoryA(dataDir.c_str(), nullptr);
    // TRFIL008 without its issuer and its service ("null": no value).
    productfiles::Write(dataDir, productfiles::WithRows(
                                     productfiles::Description(),
                                     {{"TRFIL008", "row null \"\" \"C:\\REP\\R.TXT\" 0 null\n"},
                                      {"TRFIL023", "row \"C:\\EX\" \"\" \"\" \"\" \"\" false false true 15 0\n"}}));
    EXPECT_EQ(MoveOrvelConfig(dataDir), 0);
    EXPECT_TRUE(Holds("ORVEL_NUM = 77 AND DEF_SERV = 99"));
    // The settings that have their values are moved all the same.
    EXPECT_TRUE(Holds("EXCHANGE_DIRECTORY = 'C:\\EX' AND REPORT_DIRECTORY = 'C:\\REP\\' AND EXCHANGE_PERIOD = 15"));
}

// Run by CTest with no file allowed past SETRIX_FILE_SIZE_LIMIT bytes, as on a full disk
// (tests/support/file-size-limit.sh): the eight keys reach orvel_data.ini together or not
// at all, and a failed write answers 0.
TEST_F(ConfigurationMoves, DISABLED_GetOrvelOracleConfigOnAFullDiskLeavesTheFileAsItWas) {
    const char* limitText = std::getenv("SETRIX_FILE_SIZE_LIMIT");
    ASSERT_NE(limitText, nullptr) << "run through file-size-limit.sh";
    const size_t limit = std::stoul(limitText);
    std::string before = "[ORVEL_DATA]\r\nORVELNUM=1\r\n[OTHER]\r\nP=";
    before += std::string(limit - before.size() - 2 - 64, 'p') + "\r\n";
    WriteFileBytes(root + "orvel_data.ini", before);
    ASSERT_EQ(ReadFileBytes(root + "orvel_data.ini"), before);
    EXPECT_EQ(GetOrvelOracleConfig(kPassword, root), 0);
    EXPECT_EQ(ReadFileBytes(root + "orvel_data.ini"), before);
}

}  // namespace
