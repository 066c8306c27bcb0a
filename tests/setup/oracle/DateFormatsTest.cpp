// The short date format that the record exports and the journal move leave set in the
// library: the date texts of its later calls follow it. The tests' usual locale writes
// dates just as those formats do, so this runs under the US English locale, in a prefix of
// its own (other-locale.sh); elsewhere it is skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "tests/oracle/oci/OciFixtures.h"
#include "tests/setup/ProductFiles.h"
#include "tests/setup/SetrixLibrary.h"

namespace {

using oracle::testing::OracleRegistryTest;
using oracle::testing::ProgramFolder;

const char* const kServer = "SETRIX_TEST";
const char* const kUser = "STX_FORMATS";
const char* const kPassword = "FORMATS";
const char* const kTable = "STX_JOUR_FORMATS";

class LeftDateFormat : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        if (!std::getenv("SETRIX_OTHER_LOCALE")) GTEST_SKIP() << "needs the prefix of other-locale.sh";
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
        SetrixLibrary dll;
        Exec(dll, "SYSTEM", "MANAGER", "CREATE USER " + std::string(kUser) + " IDENTIFIED BY " + kPassword);
        productfiles::Write(dataDir);
    }
    void TearDown() override {
        RemoveTree(dataDir);
        OracleRegistryTest::TearDown();
    }

    static int Exec(const SetrixLibrary& dll, const std::string& user, const std::string& password,
                    const std::string& sql) {
        return dll.Fn<int(const char*, const char*, const char*, const char*)>("ExecSQL")(
            user.c_str(), password.c_str(), kServer, sql.c_str());
    }
    // The library's text of the date 2 January 2001.
    static std::string DateText(const SetrixLibrary& dll) {
        return dll.Fn<const char*(const char*, const char*, const char*, const char*)>("GetSQLResult")(
            kUser, kPassword, kServer, "SELECT TO_DATE('2001-01-02', 'YYYY-MM-DD') FROM DUAL");
    }

    std::string dataDir = TempDirectory();
};

TEST_F(LeftDateFormat, FollowsTheLastRecordExportOrJournalMove) {
    const std::string settings = dataDir + "TRFIL008.DAT";
    const struct {
        const char* name;
        std::function<void(const SetrixLibrary&)> call;
        const char* dateText;
    } cases[] = {
        {"ReadBTI", [&](const SetrixLibrary& dll) { dll.Fn<const char*(const char*, int)>("ReadBTI")(settings.c_str(), 0); },
         "02/01/2001"},
        {"WriteBTI",
         [&](const SetrixLibrary& dll) { dll.Fn<int(const char*, int, const char*)>("WriteBTI")(settings.c_str(), 0, "12"); },
         "02/01/2001"},
        {"MoveJourSh2Oracle",
         [&](const SetrixLibrary& dll) {
             Exec(dll, kUser, kPassword, "DROP TABLE " + std::string(kTable));
             EXPECT_EQ(dll.Fn<int(const char*, const char*, const char*, const char*, const char*)>("MoveJourSh2Oracle")(
                           dataDir.c_str(), kTable, kUser, kPassword, kServer),
                       1);
         },
         "02.01.2001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetrixLibrary dll;
        ASSERT_EQ(DateText(dll), "1/2/2001");  // the locale's month/day/year
        c.call(dll);
        EXPECT_EQ(DateText(dll), c.dateText);
        EXPECT_EQ(DateText(dll), c.dateText);  // and it stays so
    }
}

}  // namespace
