#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "TestEngine.h"
#include "btrieve/base/MemTable.h"

using namespace btrieve;
using namespace testengine;

namespace {

// A database that counts the table objects it makes for new tables.
class TCreatingDatabase : public TTestDatabase {
public:
    using TTestDatabase::TTestDatabase;
    void CreateTableObject(TTableCreateDesc& desc, TBaseTable*& table) override {
        ++objects;
        auto* created = MakeHandle<TCreatingCursor>(this, nullptr, desc.tableName, 0, 0);
        created->owner = this;
        table = created;
    }
    struct TCreatingCursor : TTestCursor {
        using TTestCursor::TTestCursor;
        void CreatePhysical(const char* name, bool overwrite) override { owner->createdAs = name; }
        TCreatingDatabase* owner = nullptr;
    };
    int objects = 0;
    std::string createdAs;
};

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTestStore::Get().Reset();
        TTestStore::Get().tables["T"] = {Row(1), Row(2)};
        TTestStore::Get().tables["U"] = {Row(7)};
        database_ = MakeHandle<TCreatingDatabase>(nullptr, 0, 0, 0, "DB", nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override { FreeHandle(database_); }
    TBaseTable* Open(const char* name) {
        TBaseTable* cursor = nullptr;
        database_->OpenTable(name, nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor);
        return cursor;
    }
    TCreatingDatabase* database_ = nullptr;
};

}  // namespace

TEST_F(DatabaseTest, CursorsAreFoundByTableOrFileName) {
    TBaseTable* t1 = Open("T");
    TBaseTable* t2 = Open("T");
    Open("U");
    TBaseTable* found = nullptr;
    database_->FindCursor("t", found);
    EXPECT_EQ(found, t1);
    database_->FindCursor("T.DAT", found);  // a dot makes it a path: file names are compared
    EXPECT_EQ(found, t1);
    database_->FindCursorByName("U;owner", found);
    EXPECT_STREQ(found->GetTableName(), "U");
    t1->SetFileName("");
    database_->FindCursor("T", found);
    EXPECT_EQ(found, t2);  // a cursor without a file name is never the answer
    try {
        database_->FindCursor("NONE", found);
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::NoSuchTable);
        EXPECT_EQ(e.ErrorMessage(), "NONE");
    }
    uint32_t count = 0;
    database_->CountCursors("t", count);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(CodeOf([&] { database_->CountCursors("NONE", count); }), rc::NoSuchTable);
}

TEST_F(DatabaseTest, TablesExistByListOrByFile) {
    char name[] = "u";
    EXPECT_TRUE(database_->TableExists(name));
    EXPECT_FALSE(database_->TableExists("NOPE"));
    EXPECT_EQ(database_->Cursors().Count(), 0);  // the table list is freed

    char directory[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    database_->SetDirectory(directory);
    const std::string file = std::string(directory) + "SETRIXBTRBASE.DAT";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
    EXPECT_TRUE(database_->TableExists("SETRIXBTRBASE.DAT"));
    DeleteFileA(file.c_str());
    EXPECT_FALSE(database_->TableExists("SETRIXBTRBASE.DAT"));
}

TEST_F(DatabaseTest, CreatingATableThatExistsMakesNoObject) {
    TTableCreateDesc desc{};
    std::strcpy(desc.tableName, "U");
    EXPECT_EQ(CodeOf([&] { database_->CreateTable(false, desc); }), rc::FileExists);
    EXPECT_EQ(database_->objects, 0);
    std::strcpy(desc.tableName, "C:\\DIR\\NEWTAB.DAT");
    database_->CreateTable(true, desc);
    EXPECT_EQ(database_->objects, 1);
    EXPECT_EQ(database_->createdAs, "NEWTAB");
}

TEST_F(DatabaseTest, IndexListsLeaveNoExtraCursorOpen) {
    TBaseTable* list = nullptr;
    database_->OpenIndexList("T", 0, list);
    EXPECT_EQ(database_->Cursors().Count(), 1);  // the list itself; the temporary cursor is gone
    TEngineIndexDesc desc;
    list->GetNextRecord(0, reinterpret_cast<uint8_t*>(&desc), nullptr);
    EXPECT_STREQ(desc.name, "IDX0");
    list->GetNextRecord(0, reinterpret_cast<uint8_t*>(&desc), nullptr);
    EXPECT_EQ(desc.fieldsInKey, 2);
    EXPECT_EQ(CodeOf([&] { list->InsertRecord(0, reinterpret_cast<uint8_t*>(&desc)); }), rc::TableReadOnly);

    // A table without indexes has no list, and the cursor opened to learn that is gone again.
    TTestStore::Get().tables["PLAIN"] = {Row(1)};
    EXPECT_EQ(CodeOf([&] { database_->OpenIndexList("PLAIN", 0, list); }), rc::NotIndexed);
    EXPECT_EQ(database_->Cursors().Count(), 1);
}

TEST_F(DatabaseTest, ParametersModesAndMemoryTables) {
    TEngineFieldDesc param{};
    std::strcpy(param.name, "user name");
    const char values[] = "SYSADM";
    auto* database = MakeHandle<TTestDatabase>(nullptr, 1, 1, 1, "NAME-LONGER-THAN-THIRTY-ONE-CHARACTERS", &param,
                                               values, nullptr, nullptr);
    EXPECT_EQ(database->UserName(), "SYSADM");
    EXPECT_EQ(database->Name().size(), 31u);
    uint8_t info[10];
    database->GetTranInfo(info);
    EXPECT_EQ(info[0], 0);
    EXPECT_EQ(CodeOf([&] { database->BeginTran(0); }), rc::NotSupported);
    EXPECT_EQ(CodeOf([&] { database->CheckPropWritable(2, true); }), rc::NotSupported);
    FreeHandle(database);

    TEngineFieldDesc descs[2] = {};
    descs[0].fieldType = fldtype::Int32;
    descs[1].fieldType = fldtype::ZString;
    descs[1].units1 = 5;
    TBaseTable* table = nullptr;
    database_->CreateInMemTable("MEM", 2, table, descs);
    EXPECT_EQ(table->GetRecordSize(), 10);
    EXPECT_EQ(database_->Cursors().IndexOf(table), 0);
    EXPECT_EQ(CodeOf([&] { database_->CreateInMemTable("MEM", 0, table, descs); }), rc::InvalidParam);
}
