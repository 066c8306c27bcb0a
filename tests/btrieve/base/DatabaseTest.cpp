#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TestEngine.h"
#include "btrieve/base/MemTable.h"
#include "btrieve/base/SqlStmt.h"

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

// A database that notes the open arguments of the cursors it opens and the table
// operations its cursors run; cursors of table "BAD" refuse those operations.
class TNotingDatabase : public TTestDatabase {
public:
    using TTestDatabase::TTestDatabase;
    struct TOpen {
        uint16_t indexId;
        int32_t openMode;
        int32_t shareMode;
        bool operator==(const TOpen&) const = default;
    };
    struct TNotingCursor : TTestCursor {
        using TTestCursor::TTestCursor;
        void EmptyTable() override { Run("empty"); }
        void AddIndex(const TEngineIndexDesc& desc) override { Run("add " + std::to_string(desc.indexId)); }
        void DeleteIndex(const char*, const char*, uint16_t number) override { Run("delete " + std::to_string(number)); }
        void CloseCursor() override {
            owner->notes.push_back("close");
            TTestCursor::CloseCursor();
        }
        void Run(const std::string& what) {
            owner->notes.push_back(what);
            if (std::string(GetTableName()) == "BAD") RaiseEngineError(0x2801);
        }
        TNotingDatabase* owner = nullptr;
    };
    void OpenTable(const char* tableName, const char*, const char*, const char*, uint16_t indexId, int32_t openMode,
                   int32_t shareMode, int32_t, bool, const void*, TBaseTable*& cursor) override {
        opens.push_back({indexId, openMode, shareMode});
        auto* opened = MakeHandle<TNotingCursor>(this, &Cursors(), tableName, openMode, shareMode);
        opened->owner = this;
        opened->OpenCursor();
        cursor = opened;
    }
    std::vector<TOpen> opens;
    std::vector<std::string> notes;
};

// A statement whose execution fails, and a database that prepares it.
class TFailingStmt : public TSqlStmt {
public:
    using TSqlStmt::TSqlStmt;
    void SetParams(uint16_t, const TEngineFieldDesc*, const void*) override {}
    void Execute(TBaseTable**) override { RaiseEngineError(0x2A04); }
    void Prepare(bool) override {}
};

class TStatementDatabase : public TTestDatabase {
public:
    using TTestDatabase::TTestDatabase;
    void AllocStmt(uint16_t language, TSqlStmt*& statement) override {
        statement = made = MakeHandle<TFailingStmt>(this, language, nullptr, nullptr);
    }
    void PrepareStmtExt(uint16_t, const char* text, TSqlStmt*& statement) override {
        if (failPrepare) RaiseEngineError(0x2A04);
        statement->SetText(text);
    }
    TSqlStmt* made = nullptr;
    bool failPrepare = false;
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

// Emptying a table and adding or deleting an index work on the caller's cursor; without
// one, on a cursor opened exclusively for the operation and closed and freed afterwards,
// also when the operation fails.
TEST(DatabaseTableOperations, RunOnTheGivenCursorOrOnAnExclusiveTemporaryOne) {
    TTestStore::Get().Reset();
    TTestStore::Get().tables["T"] = {Row(1)};
    TTestStore::Get().tables["BAD"] = {Row(1)};
    struct Case {
        const char* what;
        std::function<void(TBaseDatabase&, TBaseTable*, const char*)> run;
        uint16_t indexId;  // the index the temporary cursor opens on
        std::string note;
    };
    TEngineIndexDesc index{};
    index.indexId = 3;
    const Case cases[] = {
        {"empty", [](TBaseDatabase& db, TBaseTable* c, const char* t) { db.EmptyTable(c, t); }, 0, "empty"},
        {"add index", [&](TBaseDatabase& db, TBaseTable* c, const char* t) { db.AddIndex(c, t, false, index); }, 3,
         "add 3"},
        {"delete index",
         [](TBaseDatabase& db, TBaseTable* c, const char* t) { db.DeleteIndex(c, t, 2, nullptr, "IDX2"); }, 2,
         "delete 2"},
    };
    using Open = TNotingDatabase::TOpen;
    using Notes = std::vector<std::string>;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto* db = MakeHandle<TNotingDatabase>(nullptr, 0, 0, 0, "DB", nullptr, nullptr, nullptr, nullptr);
        TBaseTable* own = nullptr;
        db->OpenTable("T", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, own);
        db->opens.clear();
        c.run(*db, own, "T");
        EXPECT_TRUE(db->opens.empty());
        EXPECT_EQ(db->notes, Notes{c.note});
        EXPECT_EQ(db->Cursors().Count(), 1);  // the caller's cursor stays

        for (const char* table : {"T", "BAD"}) {
            SCOPED_TRACE(table);
            db->notes.clear();
            db->opens.clear();
            EXPECT_EQ(CodeOf([&] { c.run(*db, nullptr, table); }), std::string(table) == "BAD" ? 0x2801 : 0);
            EXPECT_EQ(db->opens, (std::vector<Open>{{c.indexId, 0, 1}}));
            EXPECT_EQ(db->notes, (Notes{c.note, "close"}));
            EXPECT_EQ(db->Cursors().Count(), 1);  // the temporary cursor is freed
        }
        FreeHandle(db);
    }
}

// A statement made for a direct execution is freed whether preparing or executing it fails.
TEST(DatabaseExecDirect, FreesItsStatementWhenExecutionFails) {
    for (bool failPrepare : {false, true}) {
        SCOPED_TRACE(failPrepare ? "prepare fails" : "execution fails");
        auto* db = MakeHandle<TStatementDatabase>(nullptr, 0, 0, 0, "DB", nullptr, nullptr, nullptr, nullptr);
        db->failPrepare = failPrepare;
        TBaseTable* cursor = nullptr;
        EXPECT_EQ(CodeOf([&] { db->ExecDirect(2, "select 1", &cursor); }), 0x2A04);
        ASSERT_NE(db->made, nullptr);
        EXPECT_FALSE(TBapiListItem::IsLive(db->made));
        FreeHandle(db);
    }
}
