#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "TestBinding.h"
#include "btrieve/base/VirtEng.h"
#include "btrieve/components/DBEngineError.h"
#include "btrieve/components/QnBatchMove.h"
#include "btrieve/components/VCLScreenApplication.h"
#include "platform/DataLink.h"
#include "platform/Field.h"

using namespace btrieve;
using namespace testbinding;
using platform::Variant;
using testengine::Row;
using testengine::TTestStore;

namespace {

class TableTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTestStore::Get().Reset();
        TTestStore::Get().tables["T"] = {Row(1, "one", 10), Row(2, "two", 20), Row(3, "three", 30),
                                         Row(7, "seven", 70), Row(8, "eight", 80)};
        StartBinding();
        database_ = platform::NewUnownedComponent<TTestDatabase>();
        database_->SetDatabaseName("C:\\DATA");
        database_->OpenConnection();
    }
    void TearDown() override {
        masterSource_.reset();
        tables_.clear();
        database_.reset();
        StopBinding();
    }
    TTestTable& NewTable(const char* name = "T") {
        tables_.push_back(platform::NewUnownedComponent<TTestTable>());
        TTestTable& table = *tables_.back();
        table.SetDatabaseName("C:\\DATA");
        table.SetTableName(name);
        return table;
    }
    TTestTable& OpenTable(const char* name = "T") {
        TTestTable& table = NewTable(name);
        table.OpenDataSet();
        return table;
    }
    static std::vector<int> Ids(TTestTable& table) {
        std::vector<int> ids;
        for (table.MoveToFirst(); !table.Eof(); table.MoveToNext()) ids.push_back(table.FieldNamed("ID")->ReadAsInteger());
        return ids;
    }
    // Posts a change of the current record's NAME to "changed" into the update cache.
    static void PostCachedNameChange(TTestTable& table) {
        table.BeginEdit();
        table.FieldNamed("NAME")->WriteAsString("changed");
        table.PostChanges();
    }
    // A detail table on "T" that follows the master table "M" (records 2 and 7) by ID.
    TTestTable& OpenDetail(TTestTable*& master) {
        TTestStore::Get().tables["M"] = {Row(2, "master2"), Row(7, "master7")};
        master = &OpenTable("M");
        masterSource_ = std::make_unique<platform::TDataSource>(nullptr);
        masterSource_->SetDataSet(master);
        TTestTable& detail = NewTable();
        detail.SetMasterSource(masterSource_.get());
        detail.SetMasterFields("ID");
        detail.OpenDataSet();
        return detail;
    }
    static std::vector<int> StoredIds() {
        std::vector<int> ids;
        for (const auto& row : TTestStore::Get().tables["T"]) ids.push_back(row.id);
        return ids;
    }

    std::unique_ptr<TTestDatabase> database_;
    std::unique_ptr<platform::TDataSource> masterSource_;
    std::vector<std::unique_ptr<TTestTable>> tables_;
};

uint16_t EngineCode(const std::function<void()>& action) {
    try {
        action();
    } catch (const ETDBEngineError& error) {
        return error.ErrorCode();
    }
    return 0;
}

}  // namespace

TEST_F(TableTest, OpensAndWalksTheRecords) {
    TTestTable& table = OpenTable();
    ASSERT_EQ(table.FieldDefs().Count(), 3);
    EXPECT_EQ(table.FieldDefs().Items(0).DataType(), platform::ftInteger);
    EXPECT_EQ(table.FieldDefs().Items(1).DataType(), platform::ftString);
    EXPECT_EQ(table.FieldDefs().Items(1).Size(), 12);
    EXPECT_EQ(table.FieldDefs().Items(2).DataType(), platform::ftSmallint);
    EXPECT_EQ(Ids(table), (std::vector<int>{1, 2, 3, 7, 8}));
    EXPECT_EQ(table.CountRecords(), 5);
    EXPECT_EQ(table.CurrentRecordNumber(), -1);
    table.MoveToLast();
    EXPECT_EQ(table.FieldNamed("NAME")->ReadAsString(), "eight");
    table.MoveToPrior();
    EXPECT_EQ(table.FieldNamed("FLAG")->ReadAsInteger(), 70);
    const platform::TBookmark mark = table.CurrentBookmarkString();
    table.MoveToFirst();
    EXPECT_TRUE(table.IsBookmarkValid(mark));
    table.GotoBookmark(mark);
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 7);
    EXPECT_EQ(table.Database(), database_.get());
    table.CloseDataSet();
    EXPECT_EQ(table.Database(), nullptr);
    EXPECT_TRUE(database_->Connected());
}

TEST_F(TableTest, EditsInsertsAndDeletes) {
    TTestTable& table = OpenTable();
    ASSERT_TRUE(table.IsModifiable());
    table.MoveToNext();
    table.BeginEdit();
    table.FieldNamed("NAME")->WriteAsString("TWO");
    table.PostChanges();
    EXPECT_STREQ(TTestStore::Get().tables["T"][1].name, "TWO");

    table.BeginInsert();
    table.FieldNamed("ID")->WriteAsInteger(5);
    table.FieldNamed("NAME")->WriteAsString("five");
    table.FieldNamed("FLAG")->WriteAsInteger(50);
    table.PostChanges();
    EXPECT_EQ(StoredIds(), (std::vector<int>{1, 2, 3, 5, 7, 8}));
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 5);

    table.DeleteRecord();
    EXPECT_EQ(StoredIds(), (std::vector<int>{1, 2, 3, 7, 8}));

    // A refused change is the engine's error with its code; the dataset stays editing.
    TTestStore::Get().refuseModify.insert(1);
    table.MoveToFirst();
    table.BeginEdit();
    table.FieldNamed("FLAG")->WriteAsInteger(11);
    EXPECT_EQ(EngineCode([&] { table.PostChanges(); }), 0x2801);
    table.CancelChanges();
    TTestStore::Get().refuseDelete.insert(1);
    EXPECT_EQ(EngineCode([&] { table.DeleteRecord(); }), 0x2801);
    // A duplicate key.
    table.BeginInsert();
    table.FieldNamed("ID")->WriteAsInteger(2);
    EXPECT_EQ(EngineCode([&] { table.PostChanges(); }), 0x2601);
    table.CancelChanges();
}

TEST_F(TableTest, OpenFailuresAreReported) {
    TTestTable& unnamed = NewTable("");
    EXPECT_THROW(unnamed.OpenDataSet(), platform::EDatabaseError);
    TTestTable& missing = NewTable("NOSUCH");
    EXPECT_EQ(EngineCode([&] { missing.OpenDataSet(); }), 0x2704);
    EXPECT_FALSE(missing.Active());
    EXPECT_EQ(missing.Database(), nullptr);
    TTestTable& readOnly = NewTable();
    readOnly.SetReadOnly(true);
    readOnly.OpenDataSet();
    EXPECT_FALSE(readOnly.IsModifiable());
    // A table the engine keeps read-only opens read-only; one it refuses every way
    // gives its error instead of being asked again for ever.
    readOnlyTables() = {{"T", false}};
    TTestTable& engineReadOnly = OpenTable();
    EXPECT_FALSE(engineReadOnly.IsModifiable());
    readOnlyTables() = {{"T", true}};
    EXPECT_EQ(EngineCode([&] { NewTable().OpenDataSet(); }), rc::TableReadOnly);
    readOnlyTables().clear();
}

// The table asks the engine for its first index unless DefaultIndex is off (index
// 0xFFFF), for an exclusive open when Exclusive (share mode 1) and a read-only one when
// ReadOnly (open mode 1); a table the engine keeps read-only is asked for once more
// read-only.
TEST_F(TableTest, OpenArgumentsFollowDefaultIndexExclusiveAndReadOnly) {
    using Open = TEngineCalls::TTableOpen;
    struct Case {
        const char* what;
        bool defaultIndex, exclusive, readOnly, engineReadOnly;
        std::vector<Open> opens;
    };
    const Case cases[] = {
        {"defaults", true, false, false, false, {{0, 0, 0}}},
        {"no default index", false, false, false, false, {{0xFFFF, 0, 0}}},
        {"exclusive", true, true, false, false, {{0, 0, 1}}},
        {"read-only", true, false, true, false, {{0, 1, 0}}},
        {"all three", false, true, true, false, {{0xFFFF, 1, 1}}},
        {"kept read-only by the engine", true, true, false, true, {{0, 0, 1}, {0, 1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TTestTable& table = NewTable();
        table.SetDefaultIndex(c.defaultIndex);
        table.SetExclusive(c.exclusive);
        table.SetReadOnly(c.readOnly);
        if (c.engineReadOnly) readOnlyTables() = {{"T", false}};
        EngineCalls().opens.clear();
        table.OpenDataSet();
        readOnlyTables().clear();
        EXPECT_EQ(EngineCalls().opens, c.opens);
        EXPECT_EQ(table.IsModifiable(), !c.readOnly && !c.engineReadOnly);
        table.CloseDataSet();
    }
}

// A table the engine refuses for insufficient rights is opened again when the session's
// password request says to go on; a request that says no, or that goes on without
// bringing the rights, ends in the engine's refusal.
TEST_F(TableTest, InsufficientRightsAskTheSessionForAPasswordAndOpenAgain) {
    TTestStore::Get().tables["P"] = {Row(1, "secret")};
    struct Case {
        const char* what;
        bool goOn;    // the request's answer
        bool grants;  // the request brings the rights (a password the engine takes)
        uint16_t code;
    };
    const Case cases[] = {
        {"password given", true, true, 0},
        {"request declined", false, false, 0x2902},
        {"going on without the rights", true, false, 0x2902},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        protectedTables() = {"P"};
        int asked = 0;
        List().primary->OnPassword = [&](TQnSession&, bool& goOn) {
            ++asked;
            if (c.grants) protectedTables().clear();
            goOn = c.goOn;
        };
        EngineCalls().opens.clear();
        TTestTable& table = NewTable("P");
        EXPECT_EQ(EngineCode([&] { table.OpenDataSet(); }), c.code);
        EXPECT_EQ(table.Active(), c.code == 0);
        if (c.code == 0) {
            EXPECT_EQ(table.FieldNamed("NAME")->ReadAsString(), "secret");
        }
        // Every time the request goes on, the engine is asked again; without the rights
        // the retries end all the same.
        if (c.goOn && !c.grants) {
            EXPECT_GT(asked, 1);
        } else {
            EXPECT_EQ(asked, 1);
        }
        EXPECT_EQ(EngineCalls().opens.size(), static_cast<size_t>(c.goOn ? asked + (c.grants ? 1 : 0) : 1));
        table.CloseDataSet();
    }
    List().primary->OnPassword = nullptr;
    protectedTables().clear();
}

// Index definitions from the engine's descriptors: options from the descriptor's flags,
// the key fields by name, descending fields where only some descend, the expression of
// an expression index, and a tag named with its index file as the source.
TEST_F(TableTest, IndexDefinitionsDecodeTheDescriptorFlags) {
    using namespace platform;
    struct Case {
        const char* what;
        std::function<void(TEngineIndexDesc&)> describe;
        const char* name;
        const char* source;
        const char* fields;
        const char* descFields;
        TIndexOptions options;
    };
    const Case cases[] = {
        {"plain", [](TEngineIndexDesc&) {}, "IDXA", "", "NAME;ID", "", 0},
        {"primary", [](TEngineIndexDesc& d) { d.primary = -1; }, "IDXA", "", "NAME;ID", "", ixPrimary},
        {"unique", [](TEngineIndexDesc& d) { d.unique = -1; }, "IDXA", "", "NAME;ID", "", ixUnique},
        {"case-insensitive", [](TEngineIndexDesc& d) { d.caseInsensitive = -1; }, "IDXA", "", "NAME;ID", "",
         ixCaseInsensitive},
        {"not maintained", [](TEngineIndexDesc& d) { d.maintained = 0; }, "IDXA", "", "NAME;ID", "", ixNonMaintained},
        {"descending, every field",
         [](TEngineIndexDesc& d) {
             d.descending = -1;
             d.descendingPerField[0] = d.descendingPerField[1] = -1;
         },
         "IDXA", "", "NAME;ID", "", ixDescending},
        {"one field descending", [](TEngineIndexDesc& d) { d.descendingPerField[1] = -1; }, "IDXA", "", "NAME;ID",
         "ID", 0},
        {"expression",
         [](TEngineIndexDesc& d) {
             d.expressionIndex = -1;
             std::strcpy(d.keyExpression, "UPPER(NAME)");
             d.descendingPerField[0] = -1;
         },
         "IDXA", "", "UPPER(NAME)", "", ixExpression},
        {"tag of an index file",
         [](TEngineIndexDesc& d) {
             std::strcpy(d.name, "C:\\DATA\\T.MDX");
             std::strcpy(d.tagName, "BYNAME");
         },
         "BYNAME", "T.MDX", "NAME;ID", "", 0},
        {"everything at once",
         [](TEngineIndexDesc& d) {
             d.primary = d.unique = d.descending = d.caseInsensitive = -1;
             d.maintained = 0;
         },
         "IDXA", "", "NAME;ID", "", ixPrimary | ixUnique | ixDescending | ixCaseInsensitive | ixNonMaintained},
    };
    TTestStore::Get().tables["IX"] = {Row(1)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TEngineIndexDesc desc{};
        std::strcpy(desc.name, "IDXA");
        desc.maintained = -1;
        desc.fieldsInKey = 2;
        desc.keyFields[0] = 2;
        desc.keyFields[1] = 1;
        c.describe(desc);
        describedIndexes() = {desc};
        TTestTable& table = NewTable("IX");
        table.IndexDefs().Update();
        ASSERT_EQ(table.IndexDefs().Count(), 1);
        const TIndexDef& def = table.IndexDefs().Items(0);
        EXPECT_EQ(def.Name(), c.name);
        EXPECT_EQ(def.Source(), c.source);
        EXPECT_EQ(def.Fields(), c.fields);
        EXPECT_EQ(def.DescFields(), c.descFields);
        EXPECT_EQ(def.Options(), c.options);
        EXPECT_EQ(def.Expression(), (c.options & ixExpression) ? c.fields : "");
    }
    describedIndexes().clear();
}

TEST_F(TableTest, PersistentFieldsFromDefinitionsOfAClosedTable) {
    TTestTable& table = NewTable();
    database_->CloseConnection();
    table.FieldDefs().Update();
    ASSERT_EQ(table.FieldDefs().Count(), 3);
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(table.Database(), nullptr);
    for (int i = 0; i < table.FieldDefs().Count(); ++i) {
        const platform::TFieldDef& def = table.FieldDefs().Items(i);
        std::unique_ptr<platform::TField> field;
        if (def.DataType() == platform::ftString)
            field = std::make_unique<platform::TStringField>();
        else if (def.DataType() == platform::ftSmallint)
            field = std::make_unique<platform::TSmallintField>();
        else
            field = std::make_unique<platform::TIntegerField>();
        field->SetFieldName(def.Name());
        field->SetSize(def.Size());
        table.Fields().Add(std::move(field));
    }
    table.OpenDataSet();
    EXPECT_FALSE(table.DefaultFields());
    table.MoveToFirst();
    EXPECT_TRUE(table.LocateByValues("ID", Variant(7), 0));
    table.BeginEdit();
    table.FieldNamed("FLAG")->WriteAsInteger(71);
    table.PostChanges();
    EXPECT_EQ(TTestStore::Get().tables["T"][3].flag, 71);
}

TEST_F(TableTest, IndexDefinitionsAndIndexSwitch) {
    TTestTable& table = OpenTable();
    table.IndexDefs().Update();
    ASSERT_EQ(table.IndexDefs().Count(), 4);
    EXPECT_EQ(table.IndexDefs().Items(1).Fields(), "NAME;ID");
    table.SetIndexName("IDX2");
    EXPECT_EQ(table.IndexName(), "IDX2");
    EXPECT_EQ(table.KeyFieldCount(), 1);
    table.SetIndexFieldNames("ID");
    EXPECT_EQ(table.IndexFieldNames(), "ID");
    EXPECT_EQ(table.IndexName(), "");
    EXPECT_EQ(Ids(table), (std::vector<int>{1, 2, 3, 7, 8}));
}

// On a database that is not of the standard type (the Btrieve database) a closed table
// reads its index definitions from the engine's index list, which leaves out the indexes
// the engine does not maintain; the cursor opens on the chosen index at once; and the
// cursor takes the update mode and the auto-refresh properties of the fields.
TEST_F(TableTest, TablesOfATypedDatabaseOpenOnTheirIndex) {
    EngineCalls() = {};
    auto typed = platform::NewUnownedComponent<TTestDatabase>();
    typed->SetDatabaseName("C:\\TYPED");
    typed->OpenConnection();
    ASSERT_TRUE(typed->SQLBased());
    TTestTable& table = NewTable();
    table.SetDatabaseName("C:\\TYPED");
    const auto indexNames = [&table] {
        std::vector<AnsiString> names;
        for (int i = 0; i < table.IndexDefs().Count(); ++i) names.push_back(table.IndexDefs().Items(i).Name());
        return names;
    };
    table.IndexDefs().Update();
    EXPECT_EQ(EngineCalls().indexLists, 1);
    EXPECT_EQ(indexNames(), (std::vector<AnsiString>{"IDX0", "IDX1", "IDX2"}));
    EXPECT_EQ(table.IndexDefs().Items(1).Fields(), "NAME;ID");

    struct Case {
        const char* indexName;
        const char* indexFields;
        const char* opened;
    };
    // The index named by the table is looked up in the index list again before the open.
    for (const Case& c : {Case{"IDX2", "", "IDX2"}, Case{"", "NAME;ID", "IDX1"}, Case{"", "", ""}}) {
        EngineCalls().tableOpens.clear();
        if (*c.indexFields)
            table.SetIndexFieldNames(c.indexFields);
        else
            table.SetIndexName(c.indexName);
        table.OpenDataSet();
        EXPECT_EQ(EngineCalls().tableOpens, (std::vector<std::string>{c.opened})) << c.opened;
        EXPECT_EQ(Ids(table), (std::vector<int>{1, 2, 3, 7, 8}));
        table.CloseDataSet();
    }
    // An open cursor gives every index, the ones not maintained marked as such.
    table.OpenDataSet();
    table.IndexDefs().Update();
    EXPECT_EQ(indexNames(), (std::vector<AnsiString>{"IDX0", "IDX1", "IDX2", "IDX3"}));
    EXPECT_TRUE(table.IndexDefs().Items(3).Options() & platform::ixNonMaintained);
    EXPECT_EQ(EngineCalls().indexLists, 3);
    table.CloseDataSet();

    // Update mode and auto-refresh: the fields by their position, read-only tables
    // without the update mode.
    std::unique_ptr<platform::TField> id = std::make_unique<platform::TIntegerField>();
    id->SetFieldName("ID");
    id->SetAutoGenerateValue(platform::arAutoInc);
    std::unique_ptr<platform::TField> name = std::make_unique<platform::TStringField>();
    name->SetFieldName("NAME");
    name->SetSize(12);
    std::unique_ptr<platform::TField> flag = std::make_unique<platform::TSmallintField>();
    flag->SetFieldName("FLAG");
    flag->SetAutoGenerateValue(platform::arDefault);
    table.Fields().Add(std::move(id));
    table.Fields().Add(std::move(name));
    table.Fields().Add(std::move(flag));
    table.SetUpdateMode(platform::upWhereChanged);
    table.SetAutoRefresh(true);
    EngineCalls().cursorProps.clear();
    table.OpenDataSet();
    table.SetUpdateMode(platform::upWhereKeyOnly);
    EXPECT_EQ(EngineCalls().cursorProps, (std::vector<std::string>{"0x4050000=1", "0x50017=1", "0x50015=1,-1",
                                                                    "0x50016=3,-1", "0x4050000=2"}));
    table.CloseDataSet();
    table.SetReadOnly(true);
    table.SetAutoRefresh(false);
    EngineCalls().cursorProps.clear();
    table.OpenDataSet();
    EXPECT_EQ(EngineCalls().cursorProps, (std::vector<std::string>{"0x50015=1,-1", "0x50016=3,-1"}));
    table.CloseDataSet();

    // A table without an index lists none, closed as open.
    TTestStore::Get().tables["PLAIN"] = {Row(1)};
    TTestTable& plain = NewTable("PLAIN");
    plain.SetDatabaseName("C:\\TYPED");
    EXPECT_NO_THROW(plain.IndexDefs().Update());
    EXPECT_EQ(plain.IndexDefs().Count(), 0);
    EXPECT_EQ(EngineCalls().indexLists, 4);
    plain.OpenDataSet();
    plain.IndexDefs().Update();
    EXPECT_EQ(plain.IndexDefs().Count(), 0);
}

TEST_F(TableTest, LocateUsesTheIndexTheLookupCursorOrAFilter) {
    TTestTable& table = OpenTable();
    // The leading key field of the current index: the dataset's own cursor.
    EXPECT_TRUE(table.LocateByValues("ID", Variant(3), 0));
    EXPECT_EQ(table.FieldNamed("NAME")->ReadAsString(), "three");
    EXPECT_FALSE(table.LocateByValues("ID", Variant(9), 0));
    EXPECT_EQ(table.LookupCursor(), nullptr);
    // Another field with an index of its own: the lookup cursor.
    EXPECT_TRUE(table.LocateByValues("NAME", Variant("seven"), 0));
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 7);
    EXPECT_NE(table.LookupCursor(), nullptr);
    // No index fits: a filter scan from the start; the filter leaves the cursor after.
    EXPECT_TRUE(table.LocateByValues("FLAG;NAME", Variant::ArrayOf({Variant(20), Variant("two")}), 0));
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 2);
    EXPECT_FALSE(table.LocateByValues("FLAG;NAME", Variant::ArrayOf({Variant(20), Variant("one")}), 0));
    EXPECT_EQ(Ids(table), (std::vector<int>{1, 2, 3, 7, 8}));
    // Partial key on a last text field.
    EXPECT_TRUE(table.LocateByValues("FLAG", Variant(80), 0));
    EXPECT_TRUE(table.LocateByValues("NAME", Variant("th"), platform::loPartialKey));
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 3);
    // Lookup leaves the position alone.
    table.MoveToFirst();
    EXPECT_EQ(table.LookupValues("ID", Variant(8), "NAME").AsString(), "eight");
    EXPECT_TRUE(table.LookupValues("ID", Variant(9), "NAME").IsNull());
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 1);
}

TEST_F(TableTest, LookupGivesCalculatedAndLookupFields) {
    // Each record of T carries twice its flag (calculated) and the name of its master
    // record in M (lookup, none for 3).
    TTestStore::Get().tables["M"] = {Row(2, "master2"), Row(7, "master7")};
    TTestTable& master = OpenTable("M");
    TTestTable& table = NewTable();
    const auto add = [&](std::unique_ptr<platform::TField> field, const char* name, int size = 0) {
        field->SetFieldName(name);
        if (size > 0) field->SetSize(size);
        platform::TField* added = field.get();
        table.Fields().Add(std::move(field));
        return added;
    };
    add(std::make_unique<platform::TIntegerField>(), "ID");
    add(std::make_unique<platform::TStringField>(), "NAME", 12);
    add(std::make_unique<platform::TSmallintField>(), "FLAG");
    add(std::make_unique<platform::TIntegerField>(), "TWICE")->SetFieldKind(platform::fkCalculated);
    platform::TField* masterName = add(std::make_unique<platform::TStringField>(), "MASTER", 12);
    masterName->SetFieldKind(platform::fkLookup);
    masterName->SetLookupDataSet(&master);
    masterName->KeyFields = "ID";
    masterName->LookupKeyFields = "ID";
    masterName->LookupResultField = "NAME";
    table.OnCalcFields = [](platform::TDataSet& dataset) {
        dataset.FieldNamed("TWICE")->WriteAsInteger(dataset.FieldNamed("FLAG")->ReadAsInteger() * 2);
    };
    table.OpenDataSet();

    const Variant found = table.LookupValues("ID", Variant(7), "NAME;TWICE;MASTER");
    ASSERT_TRUE(found.IsArray());
    EXPECT_EQ(found[0].AsString(), "seven");
    EXPECT_EQ(found[1].AsInteger(), 140);
    EXPECT_EQ(found[2].AsString(), "master7");
    // Found through the lookup cursor of another index as well.
    EXPECT_EQ(table.LookupValues("NAME", Variant("two"), "TWICE").AsInteger(), 40);
    EXPECT_TRUE(table.LookupValues("ID", Variant(3), "MASTER").IsNull());
    EXPECT_TRUE(table.LookupValues("ID", Variant(9), "TWICE").IsNull());
    // The dataset stays on its record, whose own calculated fields are untouched.
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 1);
    EXPECT_EQ(table.FieldNamed("TWICE")->ReadAsInteger(), 20);
    EXPECT_TRUE(table.FieldNamed("MASTER")->IsNull());
}

TEST_F(TableTest, FiltersFromTextAndEvent) {
    TTestTable& table = OpenTable();
    table.MoveToLast();
    table.SetFilter("FLAG > 20");
    // Changing the filter of an unfiltered dataset does not move it.
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 8);
    table.SetFiltered(true);
    EXPECT_EQ(Ids(table), (std::vector<int>{3, 7, 8}));
    table.SetFilter("FLAG < 30");
    EXPECT_EQ(Ids(table), (std::vector<int>{1, 2}));
    table.SetOnFilterRecord([](platform::TDataSet& dataset, bool& accept) {
        accept = dataset.FieldNamed("ID")->ReadAsInteger() != 1;
    });
    EXPECT_EQ(Ids(table), (std::vector<int>{2}));
    table.SetFiltered(false);
    EXPECT_EQ(Ids(table).size(), 5u);
    // A search honours the filters without filtering the dataset.
    table.SetFilter("");
    EXPECT_TRUE(table.FindFirst());
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 2);
    EXPECT_TRUE(table.FindNext());
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 3);
    EXPECT_EQ(Ids(table).size(), 5u);
}

TEST_F(TableTest, FailingFilterEventIsReportedAndAccepts) {
    TTestTable& table = OpenTable();
    int reported = 0;
    SetAppExceptionHandler([&](platform::TComponent*, const std::exception&) { ++reported; });
    table.SetOnFilterRecord([](platform::TDataSet& dataset, bool& accept) {
        if (dataset.FieldNamed("ID")->ReadAsInteger() == 2) throw platform::EDatabaseError("bad record");
        accept = false;
    });
    table.SetFiltered(true);
    EXPECT_EQ(Ids(table), (std::vector<int>{2}));
    EXPECT_GE(reported, 1);
    SetAppExceptionHandler(nullptr);
}

TEST_F(TableTest, DetailFollowsItsMasterThroughKeyRanges) {
    TTestTable* masterTable = nullptr;
    TTestTable& detail = OpenDetail(masterTable);
    TTestTable& master = *masterTable;
    EXPECT_EQ(Ids(detail), (std::vector<int>{2}));
    master.MoveToNext();
    EXPECT_EQ(detail.FieldNamed("ID")->ReadAsInteger(), 7);
    EXPECT_EQ(Ids(detail), (std::vector<int>{7}));
    // The same range again leaves the cursor alone.
    EXPECT_FALSE(detail.SetCursorRange());
    // A new detail record takes the master's key.
    detail.BeginInsert();
    EXPECT_EQ(detail.FieldNamed("ID")->ReadAsInteger(), 7);
    detail.CancelChanges();
    platform::TDataSource detailSource(nullptr);
    detailSource.SetDataSet(&detail);
    EXPECT_EQ(ErrorText([&] { master.SetMasterSource(&detailSource); }), "Circular datalinks are not allowed");
}

TEST_F(TableTest, CachedUpdatesKeepTheDatasetOpen) {
    TTestTable& table = OpenTable();
    table.MoveToNext();
    EXPECT_THROW(table.FieldNamed("ID")->OldValue(), platform::EDatabaseError);
    table.SetCachedUpdates(true);
    EXPECT_TRUE(table.Active());
    EXPECT_EQ(table.FieldNamed("ID")->ReadAsInteger(), 2);
    table.SetCachedUpdates(false);
    EXPECT_TRUE(table.Active());
    EXPECT_EQ(Ids(table), (std::vector<int>{1, 2, 3, 7, 8}));
    // Locate with cached updates scans with a filter.
    table.SetCachedUpdates(true);
    EXPECT_TRUE(table.LocateByValues("ID", Variant(7), 0));
    EXPECT_EQ(table.FieldNamed("NAME")->ReadAsString(), "seven");
    table.CloseDataSet();
}

TEST_F(TableTest, KeyFieldAccessChecksItsIndex) {
    TTestTable& table = OpenTable();
    EXPECT_EQ(table.IndexField(0)->FieldName(), "ID");
    EXPECT_THROW(table.IndexField(1), platform::EDatabaseError);
    EXPECT_TRUE(table.IsIndexedField(table.FieldNamed("ID")));
    EXPECT_FALSE(table.IsIndexedField(table.FieldNamed("NAME")));
}

TEST_F(TableTest, BatchMoveKeepsSettingsOnly) {
    platform::TComponent owner(nullptr);
    auto* move = static_cast<TQnBatchMove*>(NewTable().BatchMoveClass().CreateOwned(owner));
    EXPECT_TRUE(move->AbortOnKeyViol());
    EXPECT_TRUE(move->Transliterate());
    EXPECT_EQ(move->Mode(), platform::batAppend);
    {
        auto source = platform::NewUnownedComponent<TTestTable>();
        move->SetSource(source.get());
        move->SetDestination(source.get());
        EXPECT_EQ(move->Source(), source.get());
    }
    EXPECT_EQ(move->Source(), nullptr);
    EXPECT_EQ(move->Destination(), nullptr);
}

TEST(ScreenAdapter, CursorKindsAndTitle) {
    StartComponentsUnit(false);
    platform::IDBScreen& screen = platform::DBScreen();
    struct {
        int id;
        platform::TDBScreenCursor kind;
    } cases[] = {{0, platform::dcrDefault}, {-11, platform::dcrHourGlass}, {-17, platform::dcrSQLWait}, {5, platform::dcrOther}};
    for (const auto& c : cases) {
        TVCLScreenApplication::SetScreenCursor(c.id);
        EXPECT_EQ(screen.GetCursor(), c.kind);
    }
    screen.SetCursor(platform::dcrOther);
    EXPECT_EQ(TVCLScreenApplication::ScreenCursor(), 5);
    screen.SetCursor(platform::dcrHourGlass);
    EXPECT_EQ(TVCLScreenApplication::ScreenCursor(), -11);
    screen.SetCursor(platform::dcrDefault);
    platform::DBApplication().SetTitle("Setup");
    EXPECT_EQ(platform::DBApplication().GetTitle(), "Setup");
    platform::DBApplication().ProcessMessages();
    StopComponentsUnit();
}

TEST_F(TableTest, OldValuesComeFromTheCachedUpdateCursor) {
    TTestTable& table = OpenTable();
    table.SetCachedUpdates(true);
    table.MoveToNext();
    PostCachedNameChange(table);
    EXPECT_EQ(table.FieldNamed("NAME")->ReadAsString(), "changed");
    // The old record is read into the old-record buffer, not over the record properties.
    EXPECT_EQ(table.FieldNamed("NAME")->OldValue().AsString(), "two");
    EXPECT_EQ(table.FieldNamed("ID")->OldValue().AsInteger(), 2);
    // Leaving cached updates with a change not applied says so; the dataset stays open.
    EXPECT_EQ(EngineCode([&] { table.SetCachedUpdates(false); }), rc::ObjImplicitlyDropped);
    EXPECT_TRUE(table.Active());
    EXPECT_FALSE(table.CachedUpdates());
    EXPECT_EQ(Ids(table), (std::vector<int>{1, 2, 3, 7, 8}));
}

TEST_F(TableTest, ClosingWithUnappliedCachedChangesReportsThem) {
    TTestTable& table = OpenTable();
    table.SetCachedUpdates(true);
    table.MoveToNext();
    PostCachedNameChange(table);
    EXPECT_EQ(EngineCode([&] { table.CloseDataSet(); }), rc::ObjImplicitlyDropped);
    // The close itself is complete: no cursor, no database held.
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(table.Cursor(), nullptr);
    EXPECT_EQ(table.Database(), nullptr);
    EXPECT_STREQ(TTestStore::Get().tables["T"][1].name, "two");
    // Without changes, or with cached updates off, a close is quiet.
    table.OpenDataSet();
    EXPECT_EQ(EngineCode([&] { table.CloseDataSet(); }), 0);
    table.SetCachedUpdates(false);
    table.OpenDataSet();
    table.BeginEdit();
    table.FieldNamed("NAME")->WriteAsString("ONE");
    table.PostChanges();
    EXPECT_EQ(EngineCode([&] { table.CloseDataSet(); }), 0);
    EXPECT_STREQ(TTestStore::Get().tables["T"][0].name, "ONE");
}

// A database disconnect or a session stop closing datasets that hold cached changes never
// applied goes through with every dataset and its own close, then reports the first of them.
TEST_F(TableTest, ShutdownOverUnappliedCachedChangesCompletesThenReports) {
    TTestStore::Get().tables["M"] = {Row(2, "master2"), Row(7, "master7")};
    const struct {
        const char* way;
        std::function<void()> close;
        bool sessionStops;
    } cases[] = {
        {"database disconnect", [&] { database_->CloseConnection(); }, false},
        {"session stop", [&] { List().primary->SetActive(false); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.way);
        database_->OpenConnection();
        // Datasets close from the last one opened: the changes sit in the first and the last.
        TTestTable& first = OpenTable();
        TTestTable& plain = OpenTable("M");
        TTestTable& last = OpenTable();
        for (TTestTable* cached : {&first, &last}) {
            cached->SetCachedUpdates(true);
            cached->MoveToFirst();
            PostCachedNameChange(*cached);
        }
        EXPECT_EQ(EngineCode(c.close), rc::ObjImplicitlyDropped);
        EXPECT_FALSE(database_->Connected());
        EXPECT_EQ(List().primary->Active(), !c.sessionStops);
        for (TTestTable* table : {&first, &plain, &last}) {
            EXPECT_FALSE(table->Active());
            EXPECT_EQ(table->Database(), nullptr);
        }
        EXPECT_STREQ(TTestStore::Get().tables["T"][0].name, "one");
        // Connected again, the database serves its datasets as before.
        database_->OpenConnection();
        plain.OpenDataSet();
        EXPECT_EQ(Ids(plain), (std::vector<int>{2, 7}));
        plain.CloseDataSet();
    }
}

TEST_F(TableTest, ReplacedFiltersLeaveTheCursor) {
    TTestTable& table = OpenTable();
    const auto filterCount = [&] {
        TCursorProps props{};
        List().engine->GetCursorProps(table.Cursor(), props);
        return props.filterCount;
    };
    table.SetFilter("FLAG > 10");
    table.SetFilter("FLAG > 20");
    table.SetFilter("FLAG > 30");
    EXPECT_EQ(filterCount(), 1);
    EXPECT_TRUE(table.LocateByValues("FLAG;NAME", Variant::ArrayOf({Variant(30), Variant("three")}), 0));
    EXPECT_EQ(filterCount(), 1);
    table.SetFilter("");
    EXPECT_EQ(filterCount(), 0);
}

TEST_F(TableTest, ModifiableTableWithConstraintsOpens) {
    TTestTable& table = NewTable();
    table.Constraints().Add();
    table.OpenDataSet();
    EXPECT_TRUE(table.Active());
    EXPECT_TRUE(table.IsModifiable());
}

TEST_F(TableTest, BlockReadingWalksEveryRecordWhateverTheSize) {
    for (int size : {1, 2, 1000000000}) {
        TTestTable& table = OpenTable();
        table.ChangeBlockReadSize(size);
        ASSERT_EQ(table.State(), platform::dsBlockRead);
        std::vector<int> ids;
        for (int guard = 0; !table.Eof() && guard < 20; ++guard) {
            ids.push_back(table.FieldNamed("ID")->ReadAsInteger());
            table.MoveToNext();
        }
        // Blocks are read from the active record on, to the end and no further.
        EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 7, 8})) << size;
        table.ChangeBlockReadSize(0);
        table.CloseDataSet();
    }
}

TEST_F(TableTest, QualifiedNameFallsBackWhenTheEngineHasNone) {
    TTestTable& table = OpenTable();
    EXPECT_EQ(table.QualifiedFieldName(table.FieldNamed("NAME")), "NAME");
}

namespace {
// Exposes the building of field definitions from engine descriptors.
class TDescTable : public TTestTable {
public:
    using TTestTable::TTestTable;
    using TQnBDEDataset::AddFieldDesc;
};

TEngineFieldDesc Desc(const char* name, uint16_t type, uint16_t subType = 0, int16_t units1 = 0, int16_t units2 = 0,
                      uint16_t length = 0, uint16_t fieldNumber = 0) {
    TEngineFieldDesc desc{};
    std::strcpy(desc.name, name);
    desc.fieldType = type;
    desc.subType = subType;
    desc.units1 = units1;
    desc.units2 = units2;
    desc.length = length;
    desc.fieldNumber = fieldNumber;
    return desc;
}
}  // namespace

TEST_F(TableTest, FieldDefinitionsFromEngineDescriptors) {
    auto table = platform::NewUnownedComponent<TDescTable>();
    const std::vector<TEngineFieldDesc> descs = {
        Desc("ID", 6, 29, 0, 0, 4, 1),  Desc("ID", 5, 0, 0, 0, 1, 2),   Desc("ID", 5, 0, 0, 0, 4, 3),
        Desc("S", 1, 0, 20, 0, 21, 4),  Desc("E", 1, 0, 0, 0, 0, 5),    Desc("M", 7, 21, 0, 0, 8, 6),
        Desc("B", 8, 0, 10, -2, 6, 7),  Desc("N", 3, 22, 10, 0, 10, 8), Desc("G", 3, 26, 10, 0, 10, 9),
        Desc("A", 21, 0, 4, 2, 8, 10),  Desc("X", 6, 0, 0, 0, 4, 11),   Desc("L", 19, 0, 0, 0, 8, 12),
        Desc("Z", 30, 0, 0, 0, 1, 13)};
    platform::TBits required;
    required.SetSize(20);
    required.Set(1, true);
    required.Set(4, true);
    platform::TFieldDefs& defs = table->FieldDefs();
    size_t index = 0;
    int fieldNo = 1;
    while (index < descs.size()) table->AddFieldDesc(descs, index, defs, required, fieldNo);
    struct Expected {
        const char* name;
        platform::TFieldType type;
        int size;
        int fieldNo;
        bool required;
    } expected[] = {
        {"ID", platform::ftAutoInc, 0, 1, false},  // an auto-increment field is never required
        {"ID_1", platform::ftSmallint, 0, 2, false},
        {"ID_2", platform::ftUnknown, 0, 3, false},
        {"S", platform::ftString, 20, 4, true},
        {"E", platform::ftUnknown, 0, 5, false},
        {"M", platform::ftCurrency, 0, 6, false},
        {"B", platform::ftBCD, 2, 7, false},
        {"N", platform::ftMemo, 10, 8, false},
        {"G", platform::ftGraphic, 10, 9, false},
        {"A", platform::ftArray, 4, 10, false},
        {"L", platform::ftLargeint, 0, 13, false},  // two above the element
        {"Z", platform::ftUnknown, 0, 14, false},
    };
    ASSERT_EQ(defs.Count(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < defs.Count(); ++i) {
        const platform::TFieldDef& def = defs.Items(i);
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(def.Name(), expected[i].name);
        EXPECT_EQ(def.DataType(), expected[i].type);
        EXPECT_EQ(def.Size(), expected[i].size);
        EXPECT_EQ(def.FieldNo(), expected[i].fieldNo);
        EXPECT_EQ(def.Required(), expected[i].required);
    }
    EXPECT_EQ(defs.Items(6).Precision(), 10);
    // The array's element takes the array's name and the next field number.
    platform::TFieldDef& array = defs.Items(9);
    ASSERT_TRUE(array.HasChildDefs());
    ASSERT_EQ(array.ChildDefs().Count(), 1);
    EXPECT_EQ(array.ChildDefs().Items(0).Name(), "A[0]");
    EXPECT_EQ(array.ChildDefs().Items(0).FieldNo(), 11);
    EXPECT_EQ(array.ChildDefs().Items(0).DataType(), platform::ftInteger);
}

namespace {
// A dataset that makes no cursor of its own.
class TCursorlessDataset : public TQnDBDataset {
public:
    using TQnDBDataset::TQnDBDataset;
    ~TCursorlessDataset() override { CloseBeforeDestruction(); }
    TVirtEng* EngineInstance() override { return List().engine.get(); }
    void BindSessionList() override { StoreSessionList(&List()); }
    TQnSession* PrimarySession() override { return List().primary; }
};

class TRecordingUpdateObject : public TQnDataSetUpdateObject {
public:
    using TQnDataSetUpdateObject::TQnDataSetUpdateObject;
    TQnBDEDataset* GetDataSet() override { return dataSet; }
    void SetDataSet(TQnBDEDataset* value) override { dataSet = value; }
    void Apply(platform::TUpdateKind) override {}
    TQnBDEDataset* dataSet = nullptr;
};
}  // namespace

TEST_F(TableTest, DatasetWithoutCursorCannotOpen) {
    auto dataset = platform::NewUnownedComponent<TCursorlessDataset>();
    dataset->SetDatabaseName("C:\\DATA");
    EXPECT_EQ(ErrorText([&] { dataset->OpenDataSet(); }), "Error creating cursor handle");
    EXPECT_FALSE(dataset->Active());
    EXPECT_EQ(dataset->Database(), nullptr);
}

TEST_F(TableTest, UpdateObjectsAndUpdateEventsOpenReadOnlyButModifiable) {
    TTestTable& first = NewTable();
    TTestTable& second = NewTable();
    auto updates = platform::NewUnownedComponent<TRecordingUpdateObject>();
    first.SetUpdateObject(updates.get());
    EXPECT_EQ(updates->dataSet, &first);
    second.SetUpdateObject(updates.get());
    EXPECT_EQ(updates->dataSet, &second);
    EXPECT_EQ(first.UpdateObject(), nullptr);

    first.SetCachedUpdates(true);
    first.OnUpdateRecord = [](platform::TDataSet&, platform::TUpdateKind, platform::TUpdateAction&) {};
    first.OpenDataSet();
    TCursorProps props{};
    List().engine->GetCursorProps(first.Cursor(), props);
    EXPECT_EQ(props.openMode, 1);
    EXPECT_TRUE(first.IsModifiable());
    second.SetUpdateObject(nullptr);
    EXPECT_EQ(updates->dataSet, nullptr);
}

TEST_F(TableTest, LookupCursorThatCouldNotTakeItsIndexIsNotKept) {
    TTestTable& table = OpenTable();
    table.IndexDefs().Update();
    // An index the engine does not know: the lookup cursor cannot be switched to it.
    table.IndexDefs().Add("NOSUCH", "FLAG", 0);
    EXPECT_THROW(table.LocateByValues("FLAG", Variant(80), 0), ETDBEngineError);
    EXPECT_EQ(table.LookupCursor(), nullptr);
    // Asked again, the same failure, never an answer from a cursor on another index.
    EXPECT_THROW(table.LocateByValues("FLAG", Variant(80), 0), ETDBEngineError);
}

TEST_F(TableTest, RefusedIndexSwitchKeepsTheMasterRange) {
    TTestTable* masterTable = nullptr;
    TTestTable& detail = OpenDetail(masterTable);
    TTestTable& master = *masterTable;
    EXPECT_THROW(detail.SetIndexName("NOSUCH"), ETDBEngineError);
    EXPECT_EQ(Ids(detail), (std::vector<int>{2}));
    master.MoveToNext();
    EXPECT_EQ(Ids(detail), (std::vector<int>{7}));
}

namespace {
// A table whose record buffers can be refused, as they are when memory runs out.
class TBufferRefusingTable : public TTestTable {
public:
    using TTestTable::TTestTable;
    bool refuseBuffers = false;

protected:
    char* NewRecordBuffer() override {
        if (refuseBuffers) platform::DatabaseError("Out of record buffers");
        return TTestTable::NewRecordBuffer();
    }
};
}  // namespace

// The buffers are built again after an index switch or a switch of cached updates; when
// that fails the dataset is closed, its engine cursor with it, and opens again afresh.
TEST_F(TableTest, DatasetWhoseBuffersCannotBeRebuiltClosesItsCursor) {
    const struct {
        const char* name;
        std::function<void(TTestTable&)> change;
    } cases[] = {
        {"index switch", [](TTestTable& table) { table.SetIndexName("IDX2"); }},
        {"cached updates on", [](TTestTable& table) { table.SetCachedUpdates(true); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto table = platform::NewUnownedComponent<TBufferRefusingTable>();
        table->SetDatabaseName("C:\\DATA");
        table->SetTableName("T");
        const int cursorsBefore = database_->Handle()->Cursors().Count();
        table->OpenDataSet();
        table->MoveToNext();
        table->refuseBuffers = true;
        EXPECT_EQ(ErrorText([&] { c.change(*table); }), "Out of record buffers");
        EXPECT_FALSE(table->Active());
        EXPECT_EQ(table->Cursor(), nullptr);
        EXPECT_EQ(table->Database(), nullptr);
        EXPECT_EQ(database_->Handle()->Cursors().Count(), cursorsBefore);

        table->refuseBuffers = false;
        table->OpenDataSet();
        EXPECT_EQ(Ids(*table), (std::vector<int>{1, 2, 3, 7, 8}));
        table->CloseDataSet();
        EXPECT_EQ(database_->Handle()->Cursors().Count(), cursorsBefore);
    }
}

// Block reading started while a record is edited or inserted posts the change first, and
// the block holds the record as posted.
TEST_F(TableTest, BlockReadingPostsThePendingChangeFirst) {
    const struct {
        const char* name;
        std::function<void(TTestTable&)> change;
        std::vector<AnsiString> names;
    } cases[] = {
        {"edit",
         [](TTestTable& table) {
             table.BeginEdit();
             table.FieldNamed("NAME")->WriteAsString("changed");
         },
         {"changed", "two", "three", "seven", "eight"}},
        {"insert",
         [](TTestTable& table) {
             // At the end: until the insert is posted the dataset shows itself at its end.
             table.MoveToLast();
             table.BeginInsert();
             table.FieldNamed("ID")->WriteAsInteger(5);
             table.FieldNamed("NAME")->WriteAsString("five");
         },
         {"five", "seven", "eight"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTestStore::Get().tables["T"] = {Row(1, "one", 10), Row(2, "two", 20), Row(3, "three", 30),
                                         Row(7, "seven", 70), Row(8, "eight", 80)};
        TTestTable& table = OpenTable();
        c.change(table);
        table.ChangeBlockReadSize(10);
        ASSERT_EQ(table.State(), platform::dsBlockRead);
        std::vector<AnsiString> names;
        for (int guard = 0; !table.Eof() && guard < 20; ++guard) {
            names.push_back(table.FieldNamed("NAME")->ReadAsString());
            table.MoveToNext();
        }
        EXPECT_EQ(names, c.names);
        table.ChangeBlockReadSize(0);
        table.CloseDataSet();
    }
}
