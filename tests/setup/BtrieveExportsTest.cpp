// ReadBTI, WriteBTI, UpdateFixedPrice and SetLSK over the product's data files, written by
// the record manager's fixture writer into a scratch directory and read back through the
// record manager's own client entry points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "SetrixLibrary.h"
#include "platform/Registry.h"
#include "standins/btrieve/FixtureWriter.h"
#include "tests/standins/btrieve/BtrieveTestClient.h"

namespace {

using TextOf2 = const char*(const char*, int);
using IntOf3 = int(const char*, int, const char*);
using IntOf1 = int(const char*);

constexpr const char* AliasKey = "\\SOFTWARE\\Quillon\\Btrieve\\ALIASES\\BTI_edit";

std::string ProductDescription() {
    std::ifstream in(ProgramDirectory() + "product.tables", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The description without the lines that contain `line`.
std::string Without(std::string description, const std::string& line) {
    const size_t at = description.find(line);
    if (at == std::string::npos) throw std::runtime_error("no line " + line);
    const size_t end = description.find('\n', at);
    description.erase(description.rfind('\n', at) + 1, end - description.rfind('\n', at));
    return description;
}

void WriteProductFiles(const std::string& directory, const std::string& description = ProductDescription()) {
    wbtrv::FixtureWriter writer(directory);
    for (const auto& table : wbtrv::ParseFixtureDescription(description)) writer.WriteTable(table);
}

// Every record of a data file, in physical order.
std::vector<btrtest::Bytes> Records(const std::string& path) {
    btrtest::BtrFile file;
    if (file.Open(path) != 0) throw std::runtime_error("cannot open " + path);
    std::vector<btrtest::Bytes> records;
    for (int16_t status = file.Get(btrieve::OpStepFirst, 0); status == 0; status = file.Get(btrieve::OpStepNext, 0))
        records.push_back(file.lastRecord);
    file.Close();
    return records;
}

double FloatAt(const btrtest::Bytes& record, size_t offset) {
    double value;
    std::memcpy(&value, record.data() + offset, sizeof value);
    return value;
}

std::string TextAt(const btrtest::Bytes& record, size_t offset, size_t size) {
    return std::string(record.begin() + offset, record.begin() + offset + size);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class BtrieveExports : public ::testing::Test {
protected:
    void TearDown() override { RemoveTree(dataDir); }

    // The dictionary is gone again and the alias names the data directory.
    void ExpectCleanedUpAndAliased() const {
        for (const char* name : {"FIELD.DDF", "FILE.DDF", "INDEX.DDF"}) EXPECT_FALSE(Exists(dataDir + name)) << name;
        platform::TRegistry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.EnterKey(AliasKey, false));
        EXPECT_EQ(reg.GetString("Description"), "Btrieve eidtor database alias");
        char shortPath[MAX_PATH] = {};
        GetShortPathNameA(dataDir.c_str(), shortPath, MAX_PATH);
        std::string expected = shortPath;
        expected.pop_back();  // no trailing backslash
        EXPECT_EQ(reg.GetString("PhysicalName"), expected);
    }

    SetrixLibrary dll;
    std::string dataDir = TempDirectory();
    TextOf2* readBti = dll.Fn<TextOf2>("ReadBTI");
    IntOf3* writeBti = dll.Fn<IntOf3>("WriteBTI");
    IntOf1* setLsk = dll.Fn<IntOf1>("SetLSK");
    IntOf1* updateFixedPrice = dll.Fn<IntOf1>("UpdateFixedPrice");
};

struct ReadCase {
    const char* file;
    int position;
    const char* text;
};

TEST_F(BtrieveExports, ReadBtiReadsAFieldOfTheFirstRecordByPosition) {
    WriteProductFiles(dataDir);
    const ReadCase cases[] = {
        {"ECFIL016.DAT", 0, "1"},
        {"ecfil016.dat", 1, "\xD1\xF5\xE5\xEC\xE0 1"},  // "Схема 1", trailing blanks gone
        {"ECFIL016.DAT", 3, "False"},
        {"ECFIL003.DAT", 2, "1234"},
        {"TRFIL008.DAT", 0, "12"},
        {"TRFIL008.DAT", 2, "C:\\ORVEL\\REPORTS\\REPORT.TXT"},
        {"TRFIL008.DAT", 4, "3"},
        {"TRFIL023.DAT", 7, "True"},
        {"TRFIL023.DAT", 8, "15"},
        {"ECFIL154.DAT", 2, "0"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.position));
        EXPECT_STREQ(readBti((dataDir + c.file).c_str(), c.position), c.text);
    }
    ExpectCleanedUpAndAliased();
}

TEST_F(BtrieveExports, FailuresGiveTheFailureResultAndStillRemoveTheDictionary) {
    WriteProductFiles(dataDir);
    const std::string scheme = dataDir + "ECFIL016.DAT";
    EXPECT_STREQ(readBti(scheme.c_str(), 4), "");   // past the last field
    EXPECT_STREQ(readBti(scheme.c_str(), -1), "");
    EXPECT_EQ(writeBti(scheme.c_str(), 4, "x"), 0);
    EXPECT_STREQ(readBti((dataDir + "ECFIL084.DAT").c_str(), 0), "");  // no record
    EXPECT_STREQ(readBti((dataDir + "NOSUCH.DAT").c_str(), 0), "");    // not in the dictionary
    DeleteFileA((dataDir + "ECFIL119.DAT").c_str());
    EXPECT_STREQ(readBti((dataDir + "ECFIL119.DAT").c_str(), 0), "");  // no data file
    EXPECT_EQ(writeBti((dataDir + "ECFIL119.DAT").c_str(), 0, "1"), 0);
    ExpectCleanedUpAndAliased();

    // A directory that does not exist: the dictionary cannot be written.
    EXPECT_STREQ(readBti((dataDir + "missing\\ECFIL016.DAT").c_str(), 0), "");
    EXPECT_EQ(setLsk((dataDir + "missing").c_str()), 0);
    EXPECT_EQ(updateFixedPrice((dataDir + "missing").c_str()), 0);
    EXPECT_FALSE(Exists(dataDir + "missing"));

    // The file is unchanged by the failed writes.
    EXPECT_EQ(Records(scheme).size(), 5u);
    EXPECT_STREQ(readBti(scheme.c_str(), 1), "\xD1\xF5\xE5\xEC\xE0 1");
}

// Names of the files in a directory, sorted.
std::vector<std::string> FileNames(const std::string& directory) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((directory + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// A path of 1 MiB names no file, even where the system would cut it to a data file or to
// a directory the test watches: nothing is read, written or created.
TEST_F(BtrieveExports, APathOfAMegabyteNamesNothing) {
    WriteProductFiles(dataDir);
    const std::string settings = dataDir + "TRFIL008.DAT";
    const std::vector<std::string> before = FileNames(dataDir);
    EXPECT_STREQ(readBti(CutShortTo(settings, "x").c_str(), 4), "");
    EXPECT_EQ(writeBti(CutShortTo(settings, "x").c_str(), 4, "9"), 0);
    // The directory texts, cut to the data directory once a backslash or a file name is added.
    for (const std::string& directory :
         {CutShortTo(dataDir, "x", 0), CutShortTo(dataDir + "decoy", "x", 1), CutShortTo(dataDir, "x", 9)}) {
        EXPECT_EQ(setLsk(directory.c_str()), 0);
        EXPECT_EQ(updateFixedPrice(directory.c_str()), 0);
    }
    EXPECT_EQ(FileNames(dataDir), before);
    EXPECT_STREQ(readBti(settings.c_str(), 4), "3");
}

TEST_F(BtrieveExports, WorkAfterTheLibraryWasUnloadedAndLoadedAgain) {
    WriteProductFiles(dataDir);
    const std::string path = dataDir + "TRFIL008.DAT";
    EXPECT_EQ(writeBti(path.c_str(), 4, "5"), 1);
    dll.Unload();
    SetrixLibrary again;
    EXPECT_STREQ(again.Fn<TextOf2>("ReadBTI")(path.c_str(), 4), "5");
    EXPECT_EQ(again.Fn<IntOf3>("WriteBTI")(path.c_str(), 4, "6"), 1);
    EXPECT_STREQ(again.Fn<TextOf2>("ReadBTI")(path.c_str(), 4), "6");
}

TEST_F(BtrieveExports, ADictionaryTheDirectoryHeldIsPutBack) {
    WriteProductFiles(dataDir);
    WriteFileBytes(dataDir + "FILE.DDF", "the product's own dictionary");
    WriteFileBytes(dataDir + "INDEX.DDF", "");
    EXPECT_STREQ(readBti((dataDir + "ECFIL003.DAT").c_str(), 2), "1234");
    EXPECT_EQ(ReadFileBytes(dataDir + "FILE.DDF"), "the product's own dictionary");
    EXPECT_TRUE(Exists(dataDir + "INDEX.DDF"));
    EXPECT_EQ(ReadFileBytes(dataDir + "INDEX.DDF"), "");
    EXPECT_FALSE(Exists(dataDir + "FIELD.DDF"));
}

struct WriteCase {
    const char* file;
    int position;
    const char* text;
    const char* readBack;
};

// Numbers are texts in the user's locale.
std::string DecimalSeparator() {
    char separator[4] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator);
    return separator;
}

TEST_F(BtrieveExports, WriteBtiRoundTripsEachFieldType) {
    WriteProductFiles(dataDir);
    const std::string twoAndHalf = "2" + DecimalSeparator() + "5";
    const WriteCase cases[] = {
        {"TRFIL023.DAT", 0, "D:\\\xCE\xC1\xCC\xC5\xCD", "D:\\\xCE\xC1\xCC\xC5\xCD"},  // string, code page 1251
        {"TRFIL023.DAT", 7, "False", "False"},                                          // logical
        {"TRFIL023.DAT", 8, twoAndHalf.c_str(), twoAndHalf.c_str()},                    // float 4
        {"TRFIL023.DAT", 9, "-7", "-7"},                                                // integer 2
        {"ECFIL154.DAT", 2, "30", "30"},                                                // float 8
        {"ECFIL003.DAT", 0, "123456", "123456"},                                        // integer 4
        {"ECFIL016.DAT", 1, "\xCD\xEE\xE2\xE0\xFF", "\xCD\xEE\xE2\xE0\xFF"},           // first record only
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.position));
        const std::string path = dataDir + c.file;
        EXPECT_EQ(writeBti(path.c_str(), c.position, c.text), 1);
        EXPECT_STREQ(readBti(path.c_str(), c.position), c.readBack);
    }
    // Other fields and records keep their values.
    EXPECT_STREQ(readBti((dataDir + "TRFIL023.DAT").c_str(), 10), "True");
    EXPECT_STREQ(readBti((dataDir + "ECFIL003.DAT").c_str(), 2), "1234");
    const auto schemes = Records(dataDir + "ECFIL016.DAT");
    ASSERT_EQ(schemes.size(), 5u);
    EXPECT_EQ(FloatAt(schemes[1], 0), 2.0);
    EXPECT_EQ(TextAt(schemes[1], 8, 7), "\xD1\xF5\xE5\xEC\xE0 2");
    ExpectCleanedUpAndAliased();
}

TEST_F(BtrieveExports, WriteBtiInsertsIntoAnEmptyFileAndClearsReadOnly) {
    WriteProductFiles(dataDir);
    const std::string empty = dataDir + "ECFIL119.DAT";
    EXPECT_EQ(writeBti(empty.c_str(), 5, "\xCF\xE5\xF0\xE2\xFB\xE9"), 1);
    EXPECT_EQ(Records(empty).size(), 1u);
    EXPECT_STREQ(readBti(empty.c_str(), 5), "\xCF\xE5\xF0\xE2\xFB\xE9");

    const std::string settings = dataDir + "ECFIL075.DAT";
    SetFileAttributesA(settings.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(writeBti(settings.c_str(), 21, "True"), 1);
    EXPECT_FALSE(GetFileAttributesA(settings.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_STREQ(readBti(settings.c_str(), 21), "True");
}

TEST_F(BtrieveExports, BareFileNamesWorkInTheProgramDirectory) {
    // The program's directory holds the test's own files: use one table file only.
    const std::string programDir = ProgramDirectory();
    const std::string path = programDir + "TRFIL008.DAT";
    auto tables = wbtrv::ParseFixtureDescription(ProductDescription());
    for (const auto& table : tables)
        if (table.location == "TRFIL008.DAT") wbtrv::FixtureWriter(programDir).WriteTable(table);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(writeBti("TRFIL008.DAT", 0, "44"), 1);
    EXPECT_FALSE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_STREQ(readBti("TRFIL008.DAT", 0), "44");
    for (const char* name : {"FIELD.DDF", "FILE.DDF", "INDEX.DDF"}) EXPECT_FALSE(Exists(programDir + name)) << name;
    DeleteFileA(path.c_str());
}

// ECFIL016 record: scheme number (float 8), description (40), reserve (40), flag (1).
struct Scheme {
    double number;
    std::string description;
    bool flag;
};

std::vector<Scheme> Schemes(const std::string& directory) {
    std::vector<Scheme> schemes;
    for (const auto& record : Records(directory + "ECFIL016.DAT"))
        schemes.push_back({FloatAt(record, 0), TextAt(record, 8, 40), record[88] != 0});
    return schemes;
}

bool SettingsFlag(const std::string& directory, size_t offset) {
    const auto records = Records(directory + "ECFIL075.DAT");
    if (records.empty()) throw std::runtime_error("no settings record");
    return records[0][offset] != 0;
}

constexpr size_t FixedPriceOffset = 253;     // ECFIL075 position 21
constexpr size_t CombinedSchemeOffset = 259; // ECFIL075 position 27
const std::string CombinedDescription =
    "\xCB\xD1\xCA     (\xEB\xE8\xEC\xE8\xF2\xED\xE0\xFF \xF1\xF5\xE5\xEC\xE0 "
    "\xEA\xEE\xEC\xE1\xE8\xED\xE8\xF0\xEE\xE2\xE0\xED\xED\xE0\xFF)";

TEST_F(BtrieveExports, SetLskAddsTheCombinedSchemeOnceAndFlagsTheSettings) {
    WriteProductFiles(dataDir);
    SetFileAttributesA((dataDir + "ECFIL075.DAT").c_str(), FILE_ATTRIBUTE_READONLY);
    // Scheme 1 is off, 3 off, 8 on: the combined flag is on.
    EXPECT_EQ(setLsk(dataDir.c_str()), 1);
    auto schemes = Schemes(dataDir);
    ASSERT_EQ(schemes.size(), 6u);
    EXPECT_EQ(schemes.back().number, 9.0);
    EXPECT_EQ(schemes.back().description, CombinedDescription);
    EXPECT_TRUE(schemes.back().flag);
    EXPECT_TRUE(SettingsFlag(dataDir, CombinedSchemeOffset));
    ExpectCleanedUpAndAliased();

    // A second run finds scheme 9 and only updates its flag (no trailing backslash here).
    std::string withoutBackslash = dataDir;
    withoutBackslash.pop_back();
    EXPECT_EQ(setLsk(withoutBackslash.c_str()), 1);
    schemes = Schemes(dataDir);
    EXPECT_EQ(schemes.size(), 6u);
    EXPECT_TRUE(schemes.back().flag);
    ExpectCleanedUpAndAliased();
}

TEST_F(BtrieveExports, SetLskWithoutSourceSchemesAddsAnInactiveScheme) {
    std::string description = ProductDescription();
    for (const char* line : {"row 1 \"", "row 3 \"", "row 8 \""}) description = Without(description, line);
    WriteProductFiles(dataDir, description);
    EXPECT_EQ(writeBti((dataDir + "ECFIL075.DAT").c_str(), 27, "True"), 1);

    EXPECT_EQ(setLsk(dataDir.c_str()), 1);
    const auto schemes = Schemes(dataDir);
    ASSERT_EQ(schemes.size(), 3u);
    EXPECT_EQ(schemes.back().number, 9.0);
    EXPECT_FALSE(schemes.back().flag);
    EXPECT_FALSE(SettingsFlag(dataDir, CombinedSchemeOffset));
}

// A limit-scheme file whose index leaves out every record with a null key: its key covers
// the first six bytes of the scheme number, which are zero for every whole number, so a
// scheme is in the file but never found by its number, the one SetLSK inserts too. The
// export then changes no other scheme in its place and leaves the settings alone.
TEST_F(BtrieveExports, SetLskWhoseInsertedSchemeCannotBeFoundChangesNothingElse) {
    const std::string unindexed =
        "table ECFIL016 ECFIL016.DAT\n"
        "field \"\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87\" string 6 at=0\n"  // "Ключ"
        "field \"ID \xD1\x81\xD1\x85\xD0\xB5\xD0\xBC\xD1\x8B\" float 8 at=0\n"  // "ID схемы"
        "field \"\xD0\x9E\xD0\xBF\xD0\xB8\xD1\x81\xD0\xB0\xD0\xBD\xD0\xB8\xD0\xB5\" string 40\n"
        "field \"\xD0\xA0\xD0\xB5\xD0\xB7\xD0\xB5\xD1\x80\xD0\xB2\" string 40\n"
        "field \"\xD0\xA4\xD0\xBB\xD0\xB0\xD0\xB3\" logical 1\n"
        "key \"\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87\" mod null=0\n"
        "row \"\" 1 \"one\" \"\" false\n"
        "row \"\" 2 \"two\" \"\" true\n"
        "row \"\" 8 \"eight\" \"\" true\n";
    std::string description = ProductDescription();
    const size_t begin = description.find("table ECFIL016 ");
    description.replace(begin, description.find("\ntable ", begin) + 1 - begin, unindexed);
    WriteProductFiles(dataDir, description);
    ASSERT_EQ(writeBti((dataDir + "ECFIL075.DAT").c_str(), 27, "True"), 1);

    EXPECT_EQ(setLsk(dataDir.c_str()), 0);
    const auto schemes = Schemes(dataDir);
    ASSERT_EQ(schemes.size(), 4u);
    EXPECT_EQ(schemes.back().number, 9.0);
    const bool flags[] = {false, true, true};
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(schemes[i].flag, flags[i]) << schemes[i].number;
    EXPECT_TRUE(SettingsFlag(dataDir, CombinedSchemeOffset));
    ExpectCleanedUpAndAliased();
}

TEST_F(BtrieveExports, UpdateFixedPriceCombinesSchemesTwoAndSeven) {
    WriteProductFiles(dataDir);
    SetFileAttributesA((dataDir + "ECFIL154.DAT").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(updateFixedPrice(dataDir.c_str()), 1);  // scheme 2 on, 7 off
    EXPECT_TRUE(SettingsFlag(dataDir, FixedPriceOffset));
    EXPECT_EQ(FloatAt(Records(dataDir + "ECFIL154.DAT")[0], 16), 7.0);
    ExpectCleanedUpAndAliased();

    // A set storage period stays.
    EXPECT_EQ(writeBti((dataDir + "ECFIL154.DAT").c_str(), 2, "12"), 1);
    EXPECT_EQ(updateFixedPrice(dataDir.c_str()), 1);
    EXPECT_EQ(FloatAt(Records(dataDir + "ECFIL154.DAT")[0], 16), 12.0);
}

TEST_F(BtrieveExports, UpdateFixedPriceWithoutSchemeSevenStillDefaultsTheStoragePeriod) {
    WriteProductFiles(dataDir, Without(ProductDescription(), "row 7 \""));
    EXPECT_EQ(updateFixedPrice(dataDir.c_str()), 0);
    EXPECT_FALSE(SettingsFlag(dataDir, FixedPriceOffset));
    EXPECT_EQ(FloatAt(Records(dataDir + "ECFIL154.DAT")[0], 16), 7.0);
    ExpectCleanedUpAndAliased();
}

// No transaction spans the posts of one export: a step that fails leaves what the steps
// before it posted, and the export answers 0. The file of the failing step is missing or
// held by another program.
enum class Unavailable { Missing, HeldOpen };

void MakeUnavailable(const std::string& path, Unavailable how, std::optional<HeldOpen>& holder) {
    if (how == Unavailable::Missing)
        ASSERT_TRUE(DeleteFileA(path.c_str()));
    else
        ASSERT_TRUE(holder.emplace(path, GENERIC_READ | GENERIC_WRITE, 0).Valid());
}

TEST_F(BtrieveExports, UpdateFixedPriceFailingAtTheStoragePeriodKeepsTheFixedPrice) {
    for (Unavailable how : {Unavailable::Missing, Unavailable::HeldOpen}) {
        SCOPED_TRACE(static_cast<int>(how));
        WriteProductFiles(dataDir);
        {
            std::optional<HeldOpen> holder;
            MakeUnavailable(dataDir + "ECFIL154.DAT", how, holder);
            EXPECT_EQ(updateFixedPrice(dataDir.c_str()), 0);
        }
        EXPECT_TRUE(SettingsFlag(dataDir, FixedPriceOffset));  // scheme 2 on, 7 off: posted
        ExpectCleanedUpAndAliased();
    }
}

TEST_F(BtrieveExports, SetLskFailingAtTheSettingsKeepsTheCombinedScheme) {
    for (Unavailable how : {Unavailable::Missing, Unavailable::HeldOpen}) {
        SCOPED_TRACE(static_cast<int>(how));
        WriteProductFiles(dataDir);
        {
            std::optional<HeldOpen> holder;
            MakeUnavailable(dataDir + "ECFIL075.DAT", how, holder);
            EXPECT_EQ(setLsk(dataDir.c_str()), 0);
        }
        const auto schemes = Schemes(dataDir);
        ASSERT_EQ(schemes.size(), 6u);
        EXPECT_EQ(schemes.back().number, 9.0);
        EXPECT_TRUE(schemes.back().flag);
        ExpectCleanedUpAndAliased();
    }
}

}  // namespace
