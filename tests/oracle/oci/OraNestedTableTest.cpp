// The nested-table dataset over collections and REFs that an in-process fake of the
// client's object calls holds (no server): binding, following a parent dataset's current
// record, changes passed to the parent, and the dataset's refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraNestedTable.h"
#include "oracle/oci/OraObject.h"
#include "oracle/oci/OraType.h"
#include "platform/DataLink.h"
#include "tests/oracle/oci/FakeObjectClient.h"
#include "tests/oracle/oci/NestedFixtures.h"

namespace oracle {
namespace {

using namespace platform;
using test::FieldSpec;
using test::OraMemDataSet;

template <class T>
using Held = std::unique_ptr<T, void (*)(T*)>;

// Values of a collection of numbers; a null element reads as -1.
std::vector<double> NumbersIn(const FakeCollection& c) {
    std::vector<double> values;
    for (size_t i = 0; i < c.slots.size(); ++i) {
        if (c.deleted[i]) continue;
        double value = 0;
        std::memcpy(&value, c.slots[i].data(), sizeof value);
        values.push_back(c.indicators[i] == IndNull ? -1 : value);
    }
    return values;
}

void AppendNumber(FakeCollection& c, double value) {
    OCINumber number{};
    FakeNumberFromReal(nullptr, &value, sizeof value, &number);
    const OCIInd present = IndNotNull;
    FakeCollAppend(nullptr, nullptr, &number, &present, reinterpret_cast<OCIColl*>(&c));
}

// The fake swapped into the entry-point table, with a parent dataset whose records hold
// nested tables of numbers (ITEMS) and REFs to persons (OWNER).
class NestedTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = InstallFakeObjectClient(client_);
        FakeParam numbers;
        numbers.typeCode = OCI_TYPECODE_NAMEDCOLLECTION;
        numbers.collectionCode = OCI_TYPECODE_TABLE;
        numbers.element = {Attribute("", SQLT_NUM, 22, 0, -127)};
        client_.types["NUMTAB_T"] = numbers;
        FakeParam person;
        person.typeCode = OCI_TYPECODE_OBJECT;
        person.attributes = {Attribute("NAME", SQLT_CHR, 20), Attribute("AGE", SQLT_NUM, 22, 3, 0)};
        client_.types["PERSON_T"] = person;
        FakeParam people = numbers;
        people.element = {NamedType("", SQLT_NTY, "PERSON_T")};
        client_.types["PEOPLE_T"] = people;
        numberTable_ = Hold(NewShared<TOraType>(svc_, "NUMTAB_T"));
        personType_ = Hold(NewShared<TOraType>(svc_, "PERSON_T"));
    }

    void TearDown() override {
        nested_.reset();
        parent_.reset();
        tables_.clear();
        refs_.clear();
        people_.clear();
        numberTable_.reset();
        personType_.reset();
        RemoveFakeObjectClient(saved_);
    }

    // A nested table value over elements.
    TOraNestTable* Table(FakeCollection& elements) {
        auto* table = NewShared<TOraNestTable>(numberTable_.get());
        table->SetSvcCtx(svc_);
        table->SetInstance(&elements);
        table->SetIndicator(&tableIndicator_);
        tables_.push_back(Hold(table));
        return table;
    }

    // A REF value pointing to a new person.
    TOraRef* Ref(const std::string& name, int age) {
        people_.push_back(std::make_unique<TInstance>(personType_.get()));
        TInstance& person = *people_.back();
        person.Set(personType_->Attributes(0), client_.NewString(name));
        OCINumber number{};
        FakeNumberFromInt(nullptr, &age, sizeof age, 0, &number);
        person.Set(personType_->Attributes(1), number);
        auto* address = reinterpret_cast<const OCIRef*>(&person);  // any distinct non-nil REF
        client_.pinnedByRef[address] = {person.data.data(), person.indicators.data()};
        auto* ref = NewShared<TOraRef>(personType_.get());
        ref->SetSvcCtx(svc_);
        ref->SetRef(const_cast<OCIRef*>(address));
        refs_.push_back(Hold(ref));
        return ref;
    }

    // The parent: (1, table a, REF to ann), (2, table b, REF to bob); filled, not opened.
    void FillParent() {
        for (double v : {1, 2}) AppendNumber(a_, v);
        for (double v : {10, 20, 30}) AppendNumber(b_, v);
        TOraNestTable* tableA = Table(a_);
        TOraNestTable* tableB = Table(b_);
        TOraRef* ann = Ref("ANN", 31);
        TOraRef* bob = Ref("BOB", 42);
        parent_ = std::make_unique<OraMemDataSet>(std::vector<FieldSpec>{
            {"ID", dtInteger}, {"ITEMS", dtTable}, {"OWNER", dtReference}, {"ADDR", dtObject}});
        auto record = [](int id, TOraNestTable* table, TOraRef* ref) {
            return [=](TData& data, void* rec) {
                data.PutField(1, rec, &id);
                data.PutField(2, rec, &table);
                data.PutField(3, rec, &ref);
            };
        };
        parent_->Fill({record(1, tableA, ann), record(2, tableB, bob)});
    }
    void OpenParent() {
        FillParent();
        parent_->OpenDataSet();
    }

    TOraNestedTable& NestedOn(const char* fieldName) {
        nested_ = std::make_unique<TOraNestedTable>();
        nested_->SetDataSetField(static_cast<TDataSetField*>(parent_->FieldNamed(fieldName)));
        return *nested_;
    }

    static std::vector<double> Rows(TDataSet& ds) {
        std::vector<double> rows;
        for (ds.MoveToFirst(); !ds.Eof(); ds.MoveToNext()) rows.push_back(ds.FieldNamed("ELEMENT")->ReadAsFloat());
        return rows;
    }

    OCISvcCtx* const svc_ = reinterpret_cast<OCISvcCtx*>(uintptr_t{0x1000});
    FakeClient client_;
    FakeCollection a_, b_;
    std::unique_ptr<OraMemDataSet> parent_;
    std::unique_ptr<TOraNestedTable> nested_;

private:
    TOciEntryPoints saved_{};
    OCIInd tableIndicator_ = IndNotNull;
    std::vector<std::unique_ptr<TInstance>> people_;
    Held<TOraType> numberTable_{nullptr, nullptr};
    Held<TOraType> personType_{nullptr, nullptr};
    std::vector<Held<TOraNestTable>> tables_;
    std::vector<Held<TOraRef>> refs_;
};

TEST_F(NestedTableTest, RowsFollowTheParentsCurrentRecordWhileStayingOpen) {
    OpenParent();
    TOraNestedTable& nested = NestedOn("ITEMS");
    nested.OpenDataSet();
    EXPECT_EQ(Rows(nested), (std::vector<double>{1, 2}));
    TData* store = nested.Data();

    parent_->MoveToNext();
    EXPECT_TRUE(nested.Active());
    // The last element is reached before the others were read.
    nested.MoveToLast();
    EXPECT_EQ(nested.FieldNamed("ELEMENT")->ReadAsFloat(), 30);
    nested.MoveToPrior();
    EXPECT_EQ(nested.FieldNamed("ELEMENT")->ReadAsFloat(), 20);
    EXPECT_EQ(Rows(nested), (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(nested.Data(), store);  // the collection store is kept
    parent_->MoveToFirst();
    EXPECT_EQ(Rows(nested), (std::vector<double>{1, 2}));
    EXPECT_EQ(nested.TableObject(), GetFieldObject(*parent_, "ITEMS"));
    EXPECT_EQ(nested.RefObject(), nullptr);

    // Closing drops the binding; opening again takes the parent's current record.
    nested.CloseDataSet();
    EXPECT_EQ(nested.TableObject(), nullptr);
    parent_->MoveToLast();
    nested.OpenDataSet();
    EXPECT_EQ(Rows(nested), (std::vector<double>{10, 20, 30}));
}

TEST_F(NestedTableTest, AWindowOfParentRecordsDoesNotMisleadTheNestedDataSet) {
    OpenParent();
    // A control showing two parent records at once: the parent's store reads ahead and
    // stands on the second record while the first is the current one.
    TDataSource source;
    source.SetDataSet(parent_.get());
    TDataLink grid;
    grid.SetDataSource(&source);
    grid.SetBufferCount(2);
    parent_->MoveToFirst();
    TOraNestedTable& nested = NestedOn("ITEMS");
    nested.OpenDataSet();
    EXPECT_EQ(Rows(nested), (std::vector<double>{1, 2}));
    parent_->MoveToNext();
    EXPECT_EQ(Rows(nested), (std::vector<double>{10, 20, 30}));
    parent_->MoveToPrior();
    nested.CloseDataSet();
    nested.OpenDataSet();
    EXPECT_EQ(Rows(nested), (std::vector<double>{1, 2}));
    nested.CloseDataSet();
    grid.SetDataSource(nullptr);
}

TEST_F(NestedTableTest, ADataSetFieldMakesItsNestedDataSetOfTheParentsClass) {
    OpenParent();
    auto* items = static_cast<TDataSetField*>(parent_->FieldNamed("ITEMS"));
    EXPECT_EQ(items->NestedDataSetOrNew(), nullptr);  // the parent names no class
    parent_->SetNestedDataSetClass(&TOraNestedTable::StaticClassInfo());
    TDataSet* made = items->NestedDataSetOrNew();
    auto* nested = dynamic_cast<TOraNestedTable*>(made);
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(items->NestedDataSetOrNew(), made);
    EXPECT_EQ(nested->Owner(), parent_.get());
    EXPECT_TRUE(nested->ObjectView());
    nested->OpenDataSet();
    parent_->MoveToNext();
    EXPECT_EQ(Rows(*nested), (std::vector<double>{10, 20, 30}));
}

TEST_F(NestedTableTest, OpeningOpensTheParent) {
    FillParent();
    // A persistent dataset field of the closed parent.
    auto items = NewUnownedComponent<TOraDataSetField>();
    items->SetFieldName("ITEMS");
    items->BindToDataSet(parent_.get());
    parent_->FieldDefs().SetHiddenFields(true);
    {
        TOraNestedTable nested;
        nested.SetDataSetField(items.get());
        nested.OpenDataSet();
        EXPECT_TRUE(parent_->Active());
        EXPECT_TRUE(nested.FieldDefs().HiddenFields());  // the parent's setting
        EXPECT_EQ(Rows(nested), (std::vector<double>{1, 2}));
        EXPECT_EQ(parent_->NestedDataSets(), (std::vector<TDataSet*>{&nested}));
    }
    parent_->CloseDataSet();
    items->BindToDataSet(nullptr);
}

TEST_F(NestedTableTest, ARefShowsOneReadOnlyRecord) {
    OpenParent();
    TOraNestedTable& nested = NestedOn("OWNER");
    nested.OpenDataSet();
    ASSERT_NE(nested.RefObject(), nullptr);
    EXPECT_EQ(nested.TableObject(), nullptr);
    EXPECT_FALSE(nested.IsEmpty());
    EXPECT_EQ(nested.FieldNamed("NAME")->ReadAsString(), "ANN");
    EXPECT_FALSE(nested.IsModifiable());
    try {
        nested.BeginEdit();
        ADD_FAILURE() << "a REF record was edited";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Cannot modify a read-only dataset");
    }
    parent_->MoveToNext();
    EXPECT_EQ(nested.FieldNamed("NAME")->ReadAsString(), "BOB");
    EXPECT_EQ(nested.FieldNamed("AGE")->ReadAsInteger(), 42);
}

TEST_F(NestedTableTest, ANestedTableIsModifiableWhenItsParentIs) {
    class ReadOnlyParent : public OraMemDataSet {
    public:
        using OraMemDataSet::OraMemDataSet;
        bool IsModifiable() override { return false; }
    };
    OpenParent();
    EXPECT_TRUE(NestedOn("ITEMS").IsModifiable());
    ReadOnlyParent readOnly({{"ITEMS", dtTable}});
    readOnly.OpenWith({});
    TOraNestedTable nested;
    nested.SetDataSetField(static_cast<TDataSetField*>(readOnly.FieldNamed("ITEMS")));
    EXPECT_FALSE(nested.IsModifiable());
    EXPECT_TRUE(TOraNestedTable().IsModifiable());
}

TEST_F(NestedTableTest, ChangesMarkTheParentRecordModified) {
    OpenParent();
    TOraNestedTable& nested = NestedOn("ITEMS");
    nested.OpenDataSet();
    struct Case {
        const char* what;
        std::function<void(TDataSet&)> change;
        std::vector<double> elements;
    };
    const Case cases[] = {
        {"post", [](TDataSet& ds) {
             ds.BeginEdit();
             ds.FieldNamed("ELEMENT")->WriteAsFloat(5);
             ds.PostChanges();
         }, {5, 2}},
        {"delete", [](TDataSet& ds) { ds.DeleteRecord(); }, {2}},
    };
    for (const Case& c : cases) {
        nested.MoveToFirst();
        c.change(nested);
        EXPECT_EQ(parent_->State(), dsEdit) << c.what;
        EXPECT_TRUE(parent_->Modified()) << c.what;
        EXPECT_EQ(NumbersIn(a_), c.elements) << c.what;
        parent_->PostChanges();
    }
}

TEST_F(NestedTableTest, APendingChangeIsPostedBeforeTheParentMoves) {
    OpenParent();
    TOraNestedTable& nested = NestedOn("ITEMS");
    nested.OpenDataSet();
    nested.BeginEdit();
    nested.FieldNamed("ELEMENT")->WriteAsFloat(7);
    parent_->MoveToNext();
    EXPECT_EQ(NumbersIn(a_), (std::vector<double>{7, 2}));
    EXPECT_EQ(parent_->State(), dsBrowse);
    EXPECT_EQ(parent_->FieldNamed("ID")->ReadAsInteger(), 2);
    EXPECT_EQ(Rows(nested), (std::vector<double>{10, 20, 30}));
}

TEST_F(NestedTableTest, InsertingIntoANewParentRecordPostsTheParentFirst) {
    OpenParent();
    FakeCollection c;
    TOraNestTable* tableC = Table(c);
    parent_->OnNewRecord = [&](TDataSet& ds) {
        ds.FieldNamed("ID")->WriteAsInteger(3);
        ds.FieldNamed("ITEMS")->SetData(&tableC);
    };
    TOraNestedTable& nested = NestedOn("ITEMS");
    nested.OpenDataSet();
    parent_->BeginAppend();
    // The new record's own (empty) table, not the rows of the record it follows.
    EXPECT_EQ(nested.TableObject(), tableC);
    EXPECT_TRUE(nested.IsEmpty());

    nested.BeginAppend();
    EXPECT_EQ(parent_->State(), dsBrowse);
    EXPECT_EQ(parent_->CountRecords(), 3);
    nested.FieldNamed("ELEMENT")->WriteAsFloat(99);
    nested.PostChanges();
    EXPECT_EQ(NumbersIn(c), (std::vector<double>{99}));
    EXPECT_EQ(parent_->FieldNamed("ID")->ReadAsInteger(), 3);
    EXPECT_TRUE(parent_->Modified());
}

TEST_F(NestedTableTest, WithoutAParentTheBoundObjectIsShown) {
    OpenParent();
    TOraNestedTable nested;
    nested.SetName("Lines");
    try {
        nested.OpenDataSet();
        ADD_FAILURE() << "opened with nothing to show";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Lines: Missing DataSetField property");
    }
    auto* table = static_cast<TOraArray*>(GetFieldObject(*parent_, "ITEMS"));
    nested.BindTable(table);
    nested.OpenDataSet();
    EXPECT_EQ(Rows(nested), (std::vector<double>{1, 2}));
    EXPECT_TRUE(nested.IsModifiable());
    // Binding the same collection again re-reads it.
    AppendNumber(a_, 3);
    nested.BindTable(table);
    EXPECT_EQ(Rows(nested), (std::vector<double>{1, 2, 3}));
    // A REF takes the place of the collection; the dataset keeps its state.
    TOraRef* owner = static_cast<TOraRef*>(GetFieldObject(*parent_, "OWNER"));
    nested.BindRef(owner);
    EXPECT_FALSE(nested.Active());
    EXPECT_EQ(nested.TableObject(), nullptr);
    EXPECT_EQ(nested.RefObject(), owner);
    nested.OpenDataSet();
    EXPECT_EQ(nested.FieldNamed("NAME")->ReadAsString(), "ANN");
    nested.BindRef(nullptr);
    EXPECT_FALSE(nested.Active());
    EXPECT_EQ(nested.RefObject(), nullptr);
    // Taking the dataset away from a parent field drops what was bound.
    nested.SetDataSetField(static_cast<TDataSetField*>(parent_->FieldNamed("ITEMS")));
    nested.BindTable(table);
    nested.SetDataSetField(nullptr);
    EXPECT_EQ(nested.TableObject(), nullptr);
}

TEST_F(NestedTableTest, ANestedTableOfObjectsShowsTheirAttributes) {
    auto peopleType = Hold(NewShared<TOraType>(svc_, "PEOPLE_T"));
    const TOraType* personType = dynamic_cast<TOraType*>(peopleType->Attributes(0)->ObjectType());
    ASSERT_NE(personType, nullptr);
    FakeCollection people;
    people.elementSize = personType->DataSize;
    for (const auto& [name, age] : {std::pair<const char*, int>{"ANN", 31}, {"BOB", 42}}) {
        TInstance person(personType);
        person.Set(personType->Attributes(0), client_.NewString(name));
        OCINumber number{};
        FakeNumberFromInt(nullptr, &age, sizeof age, 0, &number);
        person.Set(personType->Attributes(1), number);
        FakeCollAppend(nullptr, nullptr, person.data.data(), person.indicators.data(),
                       reinterpret_cast<OCIColl*>(&people));
        people.objectIndicators.push_back(person.indicators);
    }
    auto table = Hold(NewShared<TOraNestTable>(peopleType.get()));
    table->SetSvcCtx(svc_);
    table->SetInstance(&people);
    OCIInd present = IndNotNull;
    table->SetIndicator(&present);

    TOraNestedTable nested;
    nested.BindTable(table.get());
    nested.OpenDataSet();
    // The element's own object column is left out; its attributes are the fields.
    ASSERT_EQ(nested.FieldDefs().Count(), 2);
    EXPECT_EQ(nested.FieldDefs().Items(0).Name(), "NAME");
    EXPECT_EQ(nested.FieldDefs().Items(1).Name(), "AGE");
    std::vector<std::string> rows;
    for (nested.MoveToFirst(); !nested.Eof(); nested.MoveToNext())
        rows.push_back(nested.FieldNamed("NAME")->ReadAsString() + " " + nested.FieldNamed("AGE")->ReadAsString());
    EXPECT_EQ(rows, (std::vector<std::string>{"ANN 31", "BOB 42"}));
    nested.CloseDataSet();
}

TEST_F(NestedTableTest, FieldsOfAnotherKindAreRefused) {
    OpenParent();
    struct Case {
        const char* field;
        const char* message;
    };
    for (const Case& c : {Case{"ID", "Type of field should be Object"}, Case{"NOPE", "Filed NOPE not found"}}) {
        try {
            GetFieldObject(*parent_, c.field);
            ADD_FAILURE() << c.field;
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), c.message) << c.field;
        }
    }
    EXPECT_NO_THROW(GetFieldObject(*parent_, "ADDR"));  // object columns are accepted
    // An object column shown through a dataset field cannot open as rows.
    parent_->CloseDataSet();
    auto addr = NewUnownedComponent<TOraDataSetField>();
    addr->SetFieldName("ADDR");
    addr->BindToDataSet(parent_.get());
    {
        TOraNestedTable nested;
        nested.SetDataSetField(addr.get());
        try {
            nested.OpenDataSet();
            ADD_FAILURE() << "an object column opened as rows";
        } catch (const EDatabaseError& e) {
            EXPECT_STREQ(e.what(), "Type of field should be Object");
        }
        EXPECT_FALSE(nested.Active());
    }
    parent_->CloseDataSet();
    addr->BindToDataSet(nullptr);
    // A closed or empty parent has no object to give.
    EXPECT_EQ(GetFieldObject(*parent_, "ITEMS"), nullptr);
}

TEST_F(NestedTableTest, AFreedParentFieldClosesAndDetachesTheNestedDataSet) {
    OpenParent();
    TOraNestedTable& nested = NestedOn("ITEMS");
    nested.OpenDataSet();
    // The parent's default fields are freed when it closes.
    parent_->CloseDataSet();
    EXPECT_FALSE(nested.Active());
    EXPECT_EQ(nested.DataSetField(), nullptr);
    // The other way round: a freed nested dataset leaves no trace in the parent's field.
    parent_->OpenDataSet();
    {
        TOraNestedTable shortLived;
        shortLived.SetDataSetField(static_cast<TDataSetField*>(parent_->FieldNamed("ITEMS")));
        shortLived.OpenDataSet();
        EXPECT_EQ(parent_->NestedDataSets().size(), 1u);
    }
    EXPECT_TRUE(parent_->NestedDataSets().empty());
    parent_->MoveToNext();
}

}  // namespace
}  // namespace oracle
