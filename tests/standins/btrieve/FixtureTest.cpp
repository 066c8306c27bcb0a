// The fixture writer: value encodings, data files, and dictionary files that describe the
// tables and themselves; and the tool run on the product's description.
#include <gtest/gtest.h>

#include "standins/btrieve/FixtureWriter.h"
#include "tests/standins/btrieve/BtrieveTestClient.h"

using namespace btrieve;
using namespace btrtest;
using wbtrv::FixtureField;

namespace {

struct EncodingCase {
    uint8_t type;
    uint16_t size;
    uint8_t decimals;
    const char* value;
    Bytes bytes;
};

TEST(FixtureValues, EncodingsByType) {
    const EncodingCase cases[] = {
        {TypeDecimal, 3, 2, "-123.45", {0x12, 0x34, 0x5D}},
        {TypeDecimal, 3, 2, "12.5", {0x01, 0x25, 0x0F}},
        {TypeNumeric, 6, 2, "-1.21", {'0', '0', '0', '1', '2', 'J'}},
        {TypeNumeric, 4, 0, "-10", {'0', '0', '1', '}'}},
        {TypeNumericSts, 4, 1, "-2.5", {'0', '2', '5', '-'}},
        {TypeBFloat, 4, 0, "1", {0x00, 0x00, 0x00, 0x81}},
        {TypeBFloat, 4, 0, "-0.5", {0x00, 0x00, 0x80, 0x80}},
        {TypeInteger, 2, 0, "-2", {0xFE, 0xFF}},
        {TypeLogical, 1, 0, "true", {1}},
        {TypeString, 5, 0, "AB", {'A', 'B', ' ', ' ', ' '}},
        {TypeString, 3, 0, "\xD0\x96", {0xC6, ' ', ' '}},  // UTF-8 Cyrillic stored in 1251
        {TypeZString, 4, 0, "ABCDE", {'A', 'B', 'C', 0}},
        {TypeLString, 4, 0, "AB", {2, 'A', 'B', 0}},
        {TypeDate, 4, 0, "2001-02-03", {3, 2, 0xD1, 0x07}},
        {TypeTime, 4, 0, "13:14:15.16", {16, 15, 14, 13}},
        {TypeCurrency, 8, 0, "1.5", {0x98, 0x3A, 0, 0, 0, 0, 0, 0}},
        {TypeFloat, 4, 0, "null", {0, 0, 0, 0}},
        {TypeZString, 0, 0, "ignored", {}},
        {TypeLString, 0, 0, "ignored", {}},
    };
    for (const auto& c : cases) {
        FixtureField f;
        f.name = "f";
        f.type = c.type;
        f.size = c.size;
        f.decimals = c.decimals;
        EXPECT_EQ(wbtrv::EncodeFieldValue(f, c.value), c.bytes) << int(c.type) << " " << c.value;
    }
}

TEST(FixtureValues, MistakesAreReportedWithTheLine) {
    const char* bad[] = {
        "field x integer 4",                                  // before a table
        "table T T.DAT\nfield x integer 4\nrow abc",          // not a number
        "table T T.DAT\nfield x decimal 2 dec=1\nrow 12345",  // too many digits
        "table T T.DAT\nkey nosuch",                          // unknown field
        "table T T.DAT\nfield x integer 4\nrow 1 2",          // too many values
        "table T T.DAT bogus=1",
    };
    for (const char* text : bad) EXPECT_THROW(wbtrv::ParseFixtureDescription(text), wbtrv::EFixtureError) << text;
    try {
        wbtrv::ParseFixtureDescription("table T T.DAT\nfield x integer 4\n\nrow abc");
    } catch (const wbtrv::EFixtureError& e) {
        EXPECT_NE(e.Message().find("line 4"), std::string::npos) << e.Message();
    }
}

uint16_t U16(const Bytes& r, size_t at) { return static_cast<uint16_t>(r[at] | r[at + 1] << 8); }

std::string Trimmed(const Bytes& r, size_t at, size_t width) {
    std::string s(r.begin() + at, r.begin() + at + width);
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

TEST(FixtureFiles, DataAndDictionaryFiles) {
    std::string dir = TempDirectory("fixture");
    auto tables = wbtrv::ParseFixtureDescription(
        "# two tables\n"
        "table People PEOPLE.DAT\n"
        "field ID integer 4\n"
        "field DATE date 4\n"
        "field NAME string 20\n"
        "field AMOUNT float 8\n"
        "key ID+DATE\n"
        "key NAME dup nocase desc\n"
        "indexname 1 \"By name\"\n"
        "row 1 2001-01-01 Anna 10.5\n"
        "row 2 2001-01-02 \"Boris B\" -3\n"
        "table Sub SUB\\T2.DAT id=20 owner=KEEPOUT\n"
        "field CODE integer 2\n"
        "row 7\n");
    wbtrv::FixtureWriter writer(dir);
    for (const auto& t : tables) writer.WriteTable(t);
    writer.WriteDictionary(tables);

    BtrFile people;
    ASSERT_EQ(people.Open(dir + "PEOPLE.DAT"), 0);
    Bytes stat;
    ASSERT_EQ(people.Stat(stat), 0);
    EXPECT_EQ(U16(stat, 0), 36);
    EXPECT_EQ(stat[4], 2);
    EXPECT_EQ(U16(stat, 16 + 4), KeySegmented);
    EXPECT_EQ(U16(stat, 48 + 4), KeyDuplicates | KeyCaseInsensitive | KeyDescending);
    ASSERT_EQ(people.Get(OpGetFirst, 1), 0);  // descending names
    EXPECT_EQ(Trimmed(people.lastRecord, 8, 20), "Boris B");
    double amount;
    std::memcpy(&amount, people.lastRecord.data() + 28, 8);
    EXPECT_EQ(amount, -3.0);
    people.Close();
    BtrFile sub;
    EXPECT_EQ(sub.Open(dir + "SUB\\T2.DAT"), StatusBadOwner);
    ASSERT_EQ(sub.Open(dir + "SUB\\T2.DAT", 0, "KEEPOUT"), 0);
    sub.Close();

    // FILE.DDF: the dictionary's own tables (system flag), then the two tables.
    BtrFile files;
    ASSERT_EQ(files.Open(dir + "FILE.DDF", 0, "..RW...."), 0);
    std::vector<std::tuple<uint16_t, std::string, std::string, uint8_t>> fileRows;
    for (int16_t s = files.Get(OpGetFirst, 0); s == 0; s = files.Get(OpGetNext, 0)) {
        ASSERT_EQ(files.lastRecord.size(), 97u);
        fileRows.emplace_back(U16(files.lastRecord, 0), Trimmed(files.lastRecord, 2, 20),
                              Trimmed(files.lastRecord, 22, 64), files.lastRecord[86]);
    }
    decltype(fileRows) expectedFiles = {{1, "X$File", "FILE.DDF", 0x10}, {2, "X$Field", "FIELD.DDF", 0x10},
                                        {3, "X$Index", "INDEX.DDF", 0x10}, {4, "People", "PEOPLE.DAT", 0},
                                        {20, "Sub", "SUB\\T2.DAT", 0}};
    EXPECT_EQ(fileRows, expectedFiles);
    ASSERT_EQ(files.Get(OpGetLast, 0), 0);
    EXPECT_EQ(U16(files.lastRecord, 0), 20);
    // A table is renamed by updating its record.
    Bytes renamed = files.lastRecord;
    std::memcpy(renamed.data() + 2, "Renamed", 7);
    EXPECT_EQ(files.Update(renamed), 0);
    files.Close();

    // FIELD.DDF by key 1 (file id): the table's fields in order, then its index name.
    BtrFile fields;
    ASSERT_EQ(fields.Open(dir + "FIELD.DDF"), 0);
    Bytes key = {4, 0, 0, 0};
    std::vector<std::tuple<std::string, uint8_t, uint16_t, uint16_t>> fieldRows;
    for (int16_t s = fields.Get(OpGetGreaterOrEqual, 1, key); s == 0 && U16(fields.lastRecord, 2) == 4;
         s = fields.Get(OpGetNext, 1))
        fieldRows.emplace_back(Trimmed(fields.lastRecord, 4, 20), fields.lastRecord[24], U16(fields.lastRecord, 25),
                               U16(fields.lastRecord, 27));
    decltype(fieldRows) expectedFields = {{"ID", TypeInteger, 0, 4}, {"DATE", TypeDate, 4, 4}, {"NAME", TypeString, 8, 20},
                                          {"AMOUNT", TypeFloat, 28, 8}, {"By name", 255, 1, 0}};
    EXPECT_EQ(fieldRows, expectedFields);
    // The system tables' own fields are there too.
    key = {1, 0, 0, 0};
    ASSERT_EQ(fields.Get(OpGetEqual, 1, key), 0);
    EXPECT_EQ(Trimmed(fields.lastRecord, 4, 20), "Xf$Id");
    fields.Close();

    // INDEX.DDF: one record per key segment.
    BtrFile indexes;
    ASSERT_EQ(indexes.Open(dir + "INDEX.DDF"), 0);
    key = {4, 0};
    std::vector<std::tuple<uint16_t, uint16_t, uint16_t>> parts;  // key number, part, flags
    for (int16_t s = indexes.Get(OpGetEqual, 0, key); s == 0 && U16(indexes.lastRecord, 0) == 4;
         s = indexes.Get(OpGetNext, 0))
        parts.emplace_back(U16(indexes.lastRecord, 4), U16(indexes.lastRecord, 6), U16(indexes.lastRecord, 8));
    decltype(parts) expectedParts = {{0, 0, KeySegmented}, {0, 1, 0}, {1, 0, KeyDuplicates | KeyCaseInsensitive | KeyDescending}};
    EXPECT_EQ(parts, expectedParts);
    key = {1, 0};
    ASSERT_EQ(indexes.Get(OpGetEqual, 0, key), 0);  // the dictionary's own keys are described too
    EXPECT_EQ(U16(indexes.lastRecord, 8), KeyModifiable);
    indexes.Close();
}

TEST(FixtureTool, WritesTheProductTables) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string here(self);
    here = here.substr(0, here.find_last_of('\\') + 1);
    std::string dir = TempDirectory("product");
    std::string commandLine = "\"" + here + "btrfixture.exe\" \"" + here + "product.tables\" \"" + dir.substr(0, dir.size() - 1) + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    ASSERT_EQ(code, 0u);

    struct Expect {
        const char* file;
        uint16_t recordLength;
        size_t fields;
    } expected[] = {{"ECFIL003.DAT", 640, 40}, {"ECFIL016.DAT", 89, 4},  {"ECFIL055.DAT", 34, 6},
                    {"ECFIL075.DAT", 262, 30}, {"ECFIL084.DAT", 1100, 30}, {"ECFIL119.DAT", 60, 7},
                    {"ECFIL154.DAT", 154, 9},  {"TRFIL008.DAT", 212, 5},  {"TRFIL023.DAT", 419, 30},
                    {"JOUR.SH", 132, 6}};
    BtrFile files, fields;
    ASSERT_EQ(files.Open(dir + "FILE.DDF"), 0);
    ASSERT_EQ(fields.Open(dir + "FIELD.DDF"), 0);
    for (const auto& e : expected) {
        BtrFile data;
        ASSERT_EQ(data.Open(dir + e.file), 0) << e.file;
        Bytes stat;
        ASSERT_EQ(data.Stat(stat), 0);
        EXPECT_EQ(U16(stat, 0), e.recordLength) << e.file;
        data.Close();
        // Its dictionary entry and field count.
        uint16_t id = 0;
        for (int16_t s = files.Get(OpGetFirst, 0); s == 0; s = files.Get(OpGetNext, 0))
            if (Trimmed(files.lastRecord, 22, 64) == e.file) id = U16(files.lastRecord, 0);
        ASSERT_NE(id, 0) << e.file;
        Bytes key = {uint8_t(id), uint8_t(id >> 8), 0, 0};
        size_t count = 0;
        uint16_t end = 0;
        for (int16_t s = fields.Get(OpGetGreaterOrEqual, 1, key); s == 0 && U16(fields.lastRecord, 2) == id;
             s = fields.Get(OpGetNext, 1)) {
            ++count;
            end = static_cast<uint16_t>(U16(fields.lastRecord, 25) + U16(fields.lastRecord, 27));
        }
        EXPECT_EQ(count, e.fields) << e.file;
        EXPECT_EQ(end, e.recordLength) << e.file;
    }
    // A field named in the installation exports, in code page 1251.
    Bytes key = {0, 0, 0, 0};
    bool found = false;
    for (int16_t s = fields.Get(OpGetFirst, 0); s == 0; s = fields.Get(OpGetNext, 0))
        if (Trimmed(fields.lastRecord, 4, 20) == "\xCA\xEE\xEB-\xE2\xEE \xE4\xED\xE5\xE9 \xE2\xF0\xE5\xEC. \xEA\xF0") {
            found = true;
            EXPECT_EQ(U16(fields.lastRecord, 25), 16);
            EXPECT_EQ(fields.lastRecord[24], TypeFloat);
        }
    EXPECT_TRUE(found);
    files.Close();
    fields.Close();
    // The journal's records.
    BtrFile journal;
    ASSERT_EQ(journal.Open(dir + "JOUR.SH"), 0);
    ASSERT_EQ(journal.Get(OpGetFirst, 0), 0);
    int32_t day;
    std::memcpy(&day, journal.lastRecord.data(), 4);
    EXPECT_EQ(day, 730486);
    journal.Close();
}

}  // namespace
