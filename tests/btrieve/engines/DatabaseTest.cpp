// The Btrieve database: tables found through the dictionary by name or path, field
// definitions from FIELD.DDF, table and field lists, creating, renaming and deleting
// tables, and transactions.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "btrieve/engines/BtrListTables.h"
#include "btrieve/engines/BtrieveEngineError.h"
#include "tests/btrieve/engines/EngineTestSupport.h"

using namespace btrieve;
using namespace btrtest;

namespace {

using DatabaseTest = EngineFixture;

std::vector<std::string> TableNames(TBtrDatabase* db, bool system) {
    TBaseTable* list = nullptr;
    db->OpenTableList(false, system, nullptr, list);
    std::vector<std::string> names;
    std::vector<uint8_t> record(list->GetRecBufSize(), 0);
    try {
        for (;;) {
            list->GetNextRecord(0, record.data(), nullptr);
            names.emplace_back(reinterpret_cast<char*>(record.data()));
        }
    } catch (const EQuillonBoundryError&) {
    }
    FreeHandle(list);
    return names;
}

int32_t NativeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EQuillonEngineError& e) {
        return e.NativeCode();
    }
    return 0;
}

TEST_F(DatabaseTest, TablesByNameOrPath) {
    TBaseTable* byName = Open("people");
    EXPECT_EQ(std::string(byName->GetFileName()), dir + "PEOPLE.DAT");
    EXPECT_EQ(Ids(byName), (std::vector<int32_t>{1, 2, 3, 4}));
    // A file name is matched against the locations, any case.
    TBaseTable* byFile = Open("people.dat");
    EXPECT_EQ(std::string(byFile->GetFileName()), dir + "PEOPLE.DAT");
    TBaseTable* byPath = Open((dir + "PLAIN.DAT").c_str());
    EXPECT_EQ(std::string(byPath->GetFileName()), dir + "PLAIN.DAT");
    // A location with a subdirectory lies below the database directory.
    TBaseTable* sub = Open("Sub");
    EXPECT_EQ(std::string(sub->GetFileName()), dir + "SUB\\T2.DAT");
    auto record = Record(sub);
    sub->GetNextRecord(0, record.data(), nullptr);
    EXPECT_EQ(Field<int16_t>(sub, 1, record), 7);

    try {
        Open("Nobody");
        FAIL() << "opened a table the dictionary does not list";
    } catch (const EBtrieveEngineError& e) {
        EXPECT_EQ(e.Status(), 204);
        EXPECT_EQ(e.Code(), rc::NoSuchTable);
        EXPECT_EQ(e.KeyText(), "Nobody");
    }
}

TEST_F(DatabaseTest, FieldDefinitionsFromTheDictionary) {
    auto* people = static_cast<TBtrTable*>(Open("People"));
    ASSERT_EQ(people->FieldCache().Count(), 4);
    EXPECT_EQ(people->FieldCache().Item(3).FieldName(), "NAME");
    EXPECT_EQ(people->FieldCache().Item(3).LocalType(), TypeString);
    EXPECT_EQ(people->FieldCache().Item(4).Desc().offset, 28);
    EXPECT_EQ(people->FieldCache().Item(2).Desc().fieldType, fldtype::Date);
    // The index name record names key 1 and is no field.
    ASSERT_EQ(people->IndexNames().size(), 2u);
    EXPECT_EQ(people->IndexNames()[1], "ByName");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(people->ExtraBuf()) + 2, 6), "People");

    // A second cursor takes the first one's definitions, index names included.
    auto* second = static_cast<TBtrTable*>(Open("People", "ByName"));
    EXPECT_EQ(second->FieldCache().Count(), 4);
    EXPECT_EQ(second->File().KeyNumber(), 1);
    auto record = Record(second);
    second->SetToBegin();
    second->GetNextRecord(0, record.data(), nullptr);
    EXPECT_EQ(Text(second, 3, record), "Anna");
}

TEST_F(DatabaseTest, TableAndFieldLists) {
    EXPECT_EQ(TableNames(db, false), (std::vector<std::string>{"People", "Sub", "Plain"}));
    EXPECT_EQ(TableNames(db, true),
              (std::vector<std::string>{"X$File", "X$Field", "X$Index", "People", "Sub", "Plain"}));
    TBaseTable* fields = nullptr;
    db->OpenFieldList("People", nullptr, false, fields);
    std::vector<std::string> names;
    std::vector<uint16_t> numbers;
    TEngineFieldDesc desc{};
    try {
        for (;;) {
            fields->GetNextRecord(0, reinterpret_cast<uint8_t*>(&desc), nullptr);
            names.emplace_back(desc.name);
            numbers.push_back(desc.fieldNumber);
        }
    } catch (const EQuillonBoundryError&) {
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ID", "DATE", "NAME", "AMOUNT"}));
    EXPECT_EQ(numbers, (std::vector<uint16_t>{1, 2, 3, 4}));
    uint32_t count = 0;
    fields->GetRecordCount(count);
    EXPECT_EQ(count, 4u);
    FreeHandle(fields);
}

TEST_F(DatabaseTest, DeleteTableTakesTheWholeNameOnly) {
    // A part of a name is not the table.
    EXPECT_EQ(NativeOf([&] { db->DeleteTable("PEO", nullptr); }), 204);
    EXPECT_NO_THROW(Open("People"));
    db->Cursors().FreeAll();
    try {
        db->DeleteTable("people", nullptr);
    } catch (const EQuillonEngineError& e) {
        FAIL() << e.Code() << " " << e.NativeCode() << " " << e.GetNativeText();
    }
    EXPECT_EQ(NativeOf([&] { Open("People"); }), 204);
    EXPECT_EQ(TableNames(db, false), (std::vector<std::string>{"Sub", "Plain"}));
    // Its FIELD.DDF records are gone; the data file stays.
    TBaseTable* fieldDdf = nullptr;
    db->OpenDictionary("FIELD.DDF", fieldDdf);
    auto record = Record(fieldDdf);
    fieldDdf->SetToBegin();
    try {
        for (;;) {
            fieldDdf->GetNextRecord(0, record.data(), nullptr);
            uint16_t file;
            std::memcpy(&file, record.data() + 2, 2);
            EXPECT_NE(file, 4) << "a field of the deleted table is left";
        }
    } catch (const EQuillonBoundryError&) {
    }
    EXPECT_NE(GetFileAttributesA((dir + "PEOPLE.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DatabaseTest, DeleteTableJoinsTheCallersTransaction) {
    // Inside a transaction of the caller the deletion is part of it: an abort brings the
    // table back, a commit keeps it deleted.
    db->BeginTran(0);
    EXPECT_NO_THROW(db->DeleteTable("People", nullptr));
    EXPECT_EQ(db->TranState(), 1);
    db->EndTran(2);
    EXPECT_EQ(Ids(Open("People")), (std::vector<int32_t>{1, 2, 3, 4}));
    db->Cursors().FreeAll();
    db->BeginTran(0);
    db->DeleteTable("People", nullptr);
    db->EndTran(0);
    EXPECT_EQ(NativeOf([&] { Open("People"); }), 204);
}

TEST_F(DatabaseTest, RenameTableKeepsTheNameFindable) {
    db->RenameTable("People", nullptr, "Folk");
    EXPECT_EQ(NativeOf([&] { Open("People"); }), 204);
    EXPECT_EQ(Ids(Open("Folk")), (std::vector<int32_t>{1, 2, 3, 4}));
    // A shorter name leaves nothing of the old one behind.
    EXPECT_EQ(TableNames(db, false), (std::vector<std::string>{"Folk", "Sub", "Plain"}));
}

TEST_F(DatabaseTest, TransactionsCommitAndAbort) {
    db->BeginTran(0);
    EXPECT_EQ(db->TranState(), 1);
    try {
        db->BeginTran(0);
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::ActiveTran);
    }
    TBaseTable* plain = Open("Plain");
    auto record = Record(plain);
    const int16_t code = 9;
    plain->InitRecord(record.data());
    plain->PutField(1, record.data(), &code);
    plain->InsertRecord(0, record.data());
    db->EndTran(2);
    EXPECT_EQ(db->TranState(), 0);
    uint32_t count = 0;
    plain->GetRecordCount(count);
    EXPECT_EQ(count, 3u);
    db->BeginTran(0);
    plain->InsertRecord(0, record.data());
    db->EndTran(0);
    plain->GetRecordCount(count);
    EXPECT_EQ(count, 4u);

    // A transaction the client no longer has: the abort fails, the next one still begins.
    db->BeginTran(0);
    TWinBtr stopper(db->ClientId());
    stopper.Stop();
    EXPECT_THROW(db->EndTran(2), EBtrieveEngineError);
    EXPECT_EQ(db->TranState(), 0);
    EXPECT_NO_THROW(db->BeginTran(0));
    db->EndTran(0);
}

TEST_F(DatabaseTest, CreatedTablesOpenWithTheirFieldsAndKeys) {
    TwoFieldTable table("NEW.DAT", "TITLE", TypeString, 10);
    TTableCreateDesc& desc = table.desc;
    TBaseTable* created = nullptr;
    db->CreateTableObject(desc, created);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(std::string(created->GetFileName()), dir + "NEW.DAT");
    auto record = Record(created);
    ASSERT_EQ(record.size(), 15u);
    for (int32_t code : {5, 3}) {
        created->InitRecord(record.data());
        created->PutField(1, record.data(), &code);
        created->PutField(2, record.data(), "T");
        created->InsertRecord(0, record.data());
    }
    EXPECT_EQ(Ids(created), (std::vector<int32_t>{3, 5}));
    EXPECT_EQ(Text(created, 2, record), "T");

    // A key on a field the descriptor does not have is refused before anything is made.
    table.index.keyFields[0] = 7;
    std::strcpy(desc.tableName, "BAD.DAT");
    EXPECT_THROW(db->CreateTableObject(desc, created), EQuillonEngineError);
    EXPECT_EQ(GetFileAttributesA((dir + "BAD.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DatabaseTest, ATableCreatedWithAPasswordHasItAsOwner) {
    TwoFieldTable table("OWNED.DAT", "TITLE", TypeString, 10);
    std::strcpy(table.desc.password, "SECRET");
    db->CreateTable(false, table.desc);
    auto statusOfOpen = [&](const char* owner) -> int16_t {
        TWinBtr file(db->ClientId());
        try {
            file.Open((dir + "OWNED.DAT").c_str(), owner, kOpenNormal);
        } catch (const EBtrieveEngineError& e) {
            return e.Status();
        }
        return 0;
    };
    EXPECT_EQ(statusOfOpen(nullptr), StatusBadOwner);
    EXPECT_EQ(statusOfOpen("OTHER"), StatusBadOwner);
    EXPECT_EQ(statusOfOpen("SECRET"), 0);
    // The dictionary knows the table; its owner name opens it.
    db->Cursors().FreeAll();
    EXPECT_THROW(Open("OWNED"), EBtrieveEngineError);
    TBaseTable* owned = Open("OWNED;OWNER:SECRET");
    auto record = Record(owned);
    const int32_t code = 7;
    owned->InitRecord(record.data());
    owned->PutField(1, record.data(), &code);
    owned->InsertRecord(0, record.data());
    EXPECT_EQ(Ids(owned), (std::vector<int32_t>{7}));

    // A password longer than an owner name makes no file rather than an unprotected one.
    TwoFieldTable longer("LONGER.DAT", "TITLE", TypeString, 10);
    std::strcpy(longer.desc.password, "NINECHARS");
    EXPECT_THROW(db->CreateTable(false, longer.desc), EQuillonEngineError);
    EXPECT_EQ(GetFileAttributesA((dir + "LONGER.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A new file whose owner cannot be set goes even when its close fails too, and the
// caller hears why the owner could not be set.
TEST_F(DatabaseTest, ACreatedFileThatCannotTakeItsOwnerGoesEvenWhenItWillNotClose) {
    // The fixture's session loaded the record manager; a client that fails the calls the
    // test arms stands in front of it from here on.
    DoneBtrieveClient();
    ASSERT_EQ(InitBtrieveClient("", "btrfaults.dll"), 0);
    using ArmFn = void(WINAPI*)(uint16_t operation, int16_t status);
    const auto arm = reinterpret_cast<ArmFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("btrfaults.dll"), "ArmFailure")));
    ASSERT_NE(arm, nullptr);
    arm(OpSetOwner, StatusAccessDenied);
    arm(OpClose, StatusIoError);
    TwoFieldTable table("OWNED.DAT", "TITLE", TypeString, 10);
    std::strcpy(table.desc.password, "SECRET");
    TBaseTable* created = nullptr;
    try {
        db->CreateTableObject(table.desc, created);
        FAIL() << "a file without its owner was made";
    } catch (const EBtrieveEngineError& e) {
        EXPECT_EQ(e.Status(), StatusAccessDenied);
    }
    EXPECT_EQ(GetFileAttributesA((dir + "OWNED.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DatabaseTest, CreatingOverAnExistingFileIsRefused) {
    // The client's current directory is elsewhere: the database directory decides.
    TwoFieldTable table("PLAIN.DAT", "TITLE", TypeString, 10);
    try {
        db->CreateTable(false, table.desc);
        FAIL() << "replaced an existing data file";
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::FileExists);
    }
    db->Cursors().FreeAll();
    EXPECT_EQ(Ids(Open("Plain")).size(), 3u);
}

TEST_F(DatabaseTest, DictionaryOpensWithTheFixedOwnerName) {
    EXPECT_EQ(db->OwnerName(), "..RW....");
    EXPECT_EQ(db->DictionaryPath("c:\\x\\FILE.DDF"), dir + "FILE.DDF;OWNER:..RW....");

    // A dictionary guarded by that owner name, as the product's is: it opens, and the
    // tables it lists open by name; a database whose password names another owner is
    // refused by the record manager.
    const std::string owned = ScratchDirectory("OwnedDictionary");
    const auto tables = wbtrv::ParseFixtureDescription(kPeopleTables);
    wbtrv::FixtureWriter writer(owned);
    for (const auto& table : tables) writer.WriteTable(table);
    for (auto table : wbtrv::FixtureWriter::DictionaryTables(tables)) {
        table.owner = "..RW....";
        writer.WriteTable(table);
    }
    const auto openOn = [&](const char* password) {
        TBaseDatabase* opened = nullptr;
        session->OpenDatabase(owned.c_str(), 0, 0, password, 0, nullptr, nullptr, opened);
        return static_cast<TBtrDatabase*>(opened);
    };
    TBtrDatabase* guarded = openOn(nullptr);
    TBaseTable* fileDdf = nullptr;
    guarded->OpenDictionary("FILE.DDF", fileDdf);
    EXPECT_GT(fileDdf->FieldCache().Count(), 0);
    EXPECT_EQ(Ids(fileDdf).size(), 6u);
    FreeHandle(fileDdf);  // the dictionary opens exclusively
    TBaseTable* people = nullptr;
    guarded->OpenTable("people", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, people);
    EXPECT_EQ(Ids(people), (std::vector<int32_t>{1, 2, 3, 4}));

    TBtrDatabase* other = openOn("OTHER");
    EXPECT_EQ(other->OwnerName(), "OTHER");
    EXPECT_EQ(NativeOf([&] { other->OpenDictionary("FILE.DDF", fileDdf); }), StatusBadOwner);
}

}  // namespace
