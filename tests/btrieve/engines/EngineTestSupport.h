// Helpers of the Btrieve engine's tests: scratch directories, fixture tables written by
// the record manager's fixture writer, and the client library loaded for a test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "btrieve/engines/BtrieveClient.h"
#include "standins/btrieve/FixtureWriter.h"

namespace btrtest {

// Deletes what a directory holds, its subdirectories included.
inline void EmptyDirectory(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyDirectory(path);
            RemoveDirectoryA(path.c_str());
        } else {
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// An empty directory per test (name + process id; process ids come back), with a
// trailing backslash.
inline std::string ScratchDirectory(const std::string& name) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    const std::string dir = std::string(base) + "btreng-" + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    EmptyDirectory(dir);
    return dir + "\\";
}

// Writes the tables of a description and the dictionary that lists them.
inline void WriteFixture(const std::string& directory, const std::string& description) {
    const auto tables = wbtrv::ParseFixtureDescription(description);
    wbtrv::FixtureWriter writer(directory);
    for (const auto& table : tables) writer.WriteTable(table);
    writer.WriteDictionary(tables);
}

// The client loaded and initialised for one test, unloaded after it.
class ClientScope {
public:
    ClientScope() { status = btrieve::InitBtrieveClient("", nullptr); }
    ~ClientScope() { btrieve::DoneBtrieveClient(); }
    int16_t status;
};

}  // namespace btrtest

#include "btrieve/engines/BtrDatabase.h"
#include "btrieve/engines/BtrSession.h"
#include "btrieve/engines/BtrTable.h"
#include "btrieve/engines/BtrieveFields.h"
#include "platform/Registry.h"

namespace btrtest {

// The library's configuration key, emptied before and after a test that sets it.
inline void ClearBtrieveConfiguration() {
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.RemoveKey("\\Software\\Quillon\\Btrieve\\Configuration");
}

inline void PutConfiguration(const char* subkey, const char* name, int32_t value) {
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.EnterKey(std::string("\\Software\\Quillon\\Btrieve\\Configuration\\") + subkey, true));
    registry.PutInteger(name, value);
}

inline void PutConfiguration(const char* subkey, const char* name, const char* value) {
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.EnterKey(std::string("\\Software\\Quillon\\Btrieve\\Configuration\\") + subkey, true));
    registry.PutString(name, value);
}

// A table to create: an integer key field CODE and a second field, keyed on CODE.
struct TwoFieldTable {
    TwoFieldTable(const char* fileName, const char* secondName, uint16_t secondType, uint16_t secondLength,
                  int16_t decimals = 0) {
        std::strcpy(fields[0].name, "CODE");
        fields[0].fieldType = btrieve::TypeInteger;
        fields[0].length = 4;
        std::strcpy(fields[1].name, secondName);
        fields[1].fieldType = secondType;
        fields[1].offset = 4;
        fields[1].length = secondLength;
        fields[1].units2 = decimals;
        index.fieldsInKey = 1;
        index.keyFields[0] = 1;
        index.unique = -1;
        std::strcpy(desc.tableName, fileName);
        desc.fieldCount = 2;
        desc.fields = fields;
        desc.indexCount = 1;
        desc.indexes = &index;
    }
    btrieve::TEngineFieldDesc fields[2] = {};
    btrieve::TEngineIndexDesc index{};
    btrieve::TTableCreateDesc desc{};
};

// The people table of the database and cursor tests.
inline const char* kPeopleTables =
    "table People PEOPLE.DAT\n"
    "field ID integer 4\n"
    "field DATE date 4\n"
    "field NAME string 20\n"
    "field AMOUNT float 8\n"
    "key ID+DATE\n"
    "key NAME dup mod nocase\n"
    "indexname 1 ByName\n"
    "row 1 2001-01-01 Anna 10.5\n"
    "row 2 2001-01-02 Boris -3\n"
    "row 3 2001-01-03 Clara 7\n"
    "row 4 2001-01-04 boris 1\n"
    "table Sub SUB\\T2.DAT id=20\n"
    "field CODE integer 2\n"
    "row 7\n"
    "table Plain PLAIN.DAT\n"
    "field CODE integer 2\n"
    "row 1\nrow 2\nrow 3\n";

// An engine session over a fixture directory, its database and helpers to read records.
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        btrieve::StartBtrieveEngines();
        btrieve::BtrieveSettings() = btrieve::TBtrieveSettings{};
        ClearBtrieveConfiguration();
        dir = ScratchDirectory(::testing::UnitTest::GetInstance()->current_test_info()->name());
        WriteFixture(dir, Tables());
        session = btrieve::CreateSessionOf<btrieve::TBtrSession>(nullptr, nullptr, "Test", &sessions);
        btrieve::TBaseDatabase* opened = nullptr;
        session->OpenDatabase(dir.c_str(), 0, 0, nullptr, 0, nullptr, nullptr, opened);
        db = static_cast<btrieve::TBtrDatabase*>(opened);
    }
    void TearDown() override {
        sessions.FreeAll();
        btrieve::StopBtrieveEngines();
    }
    virtual std::string Tables() const { return kPeopleTables; }

    btrieve::TBaseTable* Open(const char* name, const char* index = nullptr) {
        btrieve::TBaseTable* cursor = nullptr;
        db->OpenTable(name, nullptr, index, nullptr, 0, 0, 0, 0, false, nullptr, cursor);
        return cursor;
    }
    static std::vector<uint8_t> Record(btrieve::TBaseTable* cursor) {
        return std::vector<uint8_t>(cursor->GetRecBufSize() + 1u, 0);
    }
    template <class T>
    static T Field(btrieve::TBaseTable* cursor, uint16_t n, std::vector<uint8_t>& record) {
        T value{};
        bool blank = false;
        cursor->GetField(n, record.data(), blank, &value);
        return value;
    }
    static std::string Text(btrieve::TBaseTable* cursor, uint16_t n, std::vector<uint8_t>& record) {
        char value[300] = {};
        bool blank = false;
        cursor->GetField(n, record.data(), blank, value);
        return value;
    }
    // Field 1 (a 4-byte integer) of every record from the start, in the cursor's order.
    static std::vector<int32_t> Ids(btrieve::TBaseTable* cursor) {
        std::vector<int32_t> ids;
        auto record = Record(cursor);
        cursor->SetToBegin();
        try {
            for (;;) {
                cursor->GetNextRecord(0, record.data(), nullptr);
                ids.push_back(Field<int32_t>(cursor, 1, record));
            }
        } catch (const btrieve::EQuillonBoundryError&) {
        }
        return ids;
    }

    std::string dir;
    btrieve::TQuillonCollection sessions;
    btrieve::TBaseSession* session = nullptr;
    btrieve::TBtrDatabase* db = nullptr;
};

}  // namespace btrtest
