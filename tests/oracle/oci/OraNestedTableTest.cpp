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
#include "tests/oracle/oci/NestedFixtures.h"

namespace oracle {
namespace {

using namespace platform;
using test::FieldSpec;
using test::OraMemDataSet;

// --- the fake client: two types, collections of numbers and pinned objects -------------

struct FakeParam {
    ub2 typeCode = 0;
    ub2 collectionCode = 0;
    std::vector<FakeParam> attributes;  // object attributes, or a collection's one element
    std::string name;
    ub2 dataType = 0;
    ub2 dataSize = 0;
    sb2 precision = 0;
    sb1 scale = 0;
};

struct FakeString {
    std::string text;
};

// A collection of numbers; a number keeps a double in its first bytes.
struct FakeNumbers {
    std::deque<OCINumber> slots;
    std::deque<OCIInd> indicators;
    std::deque<bool> deleted;

    void Append(double value, OCIInd indicator = IndNotNull) {
        OCINumber number{};
        std::memcpy(number.bytes, &value, sizeof value);
        slots.push_back(number);
        indicators.push_back(indicator);
        deleted.push_back(false);
    }
    std::vector<double> Values() const {
        std::vector<double> values;
        for (size_t i = 0; i < slots.size(); ++i) {
            if (deleted[i]) continue;
            double value = 0;
            std::memcpy(&value, slots[i].bytes, sizeof value);
            values.push_back(indicators[i] == IndNull ? -1 : value);
        }
        return values;
    }
};

// An instance of PERSON_T (NAME text, AGE number) that a REF pins.
struct FakePerson {
    struct Data {
        OCIString* name;
        OCINumber age;
    } data{};
    OCIInd indicators[3] = {IndNotNull, IndNotNull, IndNotNull};
};

struct FakeClient {
    std::map<std::string, FakeParam> types;
    std::deque<FakeString> strings;
    std::deque<FakeParam*> describes;
    std::map<const OCIRef*, FakePerson*> targets;
    int flushes = 0;
};

FakeClient* fake = nullptr;

template <class T>
void Put(dvoid* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

sword OCI_CALL FakeTypeByName(OCIEnv*, OCIError*, const OCISvcCtx*, const OraText*, ub4, const OraText* name, ub4 length,
                              const OraText*, ub4, ub2, ub4, OCIType** tdo) {
    auto it = fake->types.find(std::string(reinterpret_cast<const char*>(name), length));
    if (it == fake->types.end()) return OCI_ERROR;
    *tdo = reinterpret_cast<OCIType*>(&it->second);
    return OCI_SUCCESS;
}

sword OCI_CALL FakeHandleAlloc(const dvoid*, dvoid** handle, ub4, std::size_t, dvoid**) {
    fake->describes.push_back(nullptr);
    *handle = &fake->describes.back();
    return OCI_SUCCESS;
}

sword OCI_CALL FakeHandleFree(dvoid*, ub4) { return OCI_SUCCESS; }

sword OCI_CALL FakeDescribeAny(OCISvcCtx*, OCIError*, dvoid* name, ub4 length, ub1, ub1, ub1, OCIDescribe* describe) {
    std::string text(static_cast<const char*>(name), length);
    if (const size_t dot = text.find('.'); dot != std::string::npos) text.erase(0, dot + 1);
    auto it = fake->types.find(text);
    if (it == fake->types.end()) return OCI_ERROR;
    *reinterpret_cast<FakeParam**>(describe) = &it->second;
    return OCI_SUCCESS;
}

sword OCI_CALL FakeAttrGet(const dvoid* handle, ub4 handleType, dvoid* value, ub4* size, ub4 attribute, OCIError*) {
    if (handleType == OCI_HTYPE_DESCRIBE) {
        Put(value, *static_cast<FakeParam* const*>(handle));
        return OCI_SUCCESS;
    }
    auto* p = static_cast<const FakeParam*>(handle);
    switch (attribute) {
    case OCI_ATTR_TYPECODE: Put(value, p->typeCode); break;
    case OCI_ATTR_COLLECTION_TYPECODE: Put(value, p->collectionCode); break;
    case OCI_ATTR_NUM_TYPE_ATTRS: Put(value, static_cast<ub2>(p->attributes.size())); break;
    case OCI_ATTR_LIST_TYPE_ATTRS: Put(value, p); break;
    case OCI_ATTR_COLLECTION_ELEMENT: Put(value, &p->attributes.front()); break;
    case OCI_ATTR_NUM_ELEMS: Put(value, ub4{0}); break;
    case OCI_ATTR_NAME:
        Put(value, reinterpret_cast<const OraText*>(p->name.c_str()));
        if (size) *size = static_cast<ub4>(p->name.size());
        break;
    case OCI_ATTR_DATA_TYPE: Put(value, p->dataType); break;
    case OCI_ATTR_DATA_SIZE: Put(value, p->dataSize); break;
    case OCI_ATTR_PRECISION: Put(value, p->precision); break;
    case OCI_ATTR_SCALE: Put(value, p->scale); break;
    default: return OCI_ERROR;
    }
    return OCI_SUCCESS;
}

sword OCI_CALL FakeParamGet(const dvoid* list, ub4, OCIError*, dvoid** param, ub4 position) {
    *param = const_cast<FakeParam*>(&static_cast<const FakeParam*>(list)->attributes.at(position - 1));
    return OCI_SUCCESS;
}

sword OCI_CALL FakeNumberFromInt(OCIError*, const dvoid* value, uword, uword, OCINumber* number) {
    int32_t i;
    std::memcpy(&i, value, sizeof i);
    Put(number->bytes, static_cast<double>(i));
    return OCI_SUCCESS;
}

sword OCI_CALL FakeNumberToInt(OCIError*, const OCINumber* number, uword, uword, dvoid* result) {
    double d;
    std::memcpy(&d, number->bytes, sizeof d);
    Put(result, static_cast<int32_t>(d));
    return OCI_SUCCESS;
}

sword OCI_CALL FakeNumberFromReal(OCIError*, const dvoid* value, uword, OCINumber* number) {
    std::memcpy(number->bytes, value, sizeof(double));
    return OCI_SUCCESS;
}

sword OCI_CALL FakeNumberToReal(OCIError*, const OCINumber* number, uword, dvoid* result) {
    std::memcpy(result, number->bytes, sizeof(double));
    return OCI_SUCCESS;
}

OraText* OCI_CALL FakeStringPtr(OCIEnv*, const OCIString* string) {
    return reinterpret_cast<OraText*>(const_cast<char*>(reinterpret_cast<const FakeString*>(string)->text.c_str()));
}

FakeNumbers& NumbersOf(const void* collection) {
    return *static_cast<FakeNumbers*>(const_cast<void*>(collection));
}

sword OCI_CALL FakeCollSize(OCIEnv*, OCIError*, const OCIColl* coll, sb4* size) {
    *size = static_cast<sb4>(NumbersOf(coll).slots.size());
    return OCI_SUCCESS;
}

sword OCI_CALL FakeCollGetElem(OCIEnv*, OCIError*, const OCIColl* coll, sb4 index, boolean* exists, dvoid** element,
                               dvoid** indicator) {
    FakeNumbers& c = NumbersOf(coll);
    const auto i = static_cast<size_t>(index);
    *exists = index >= 0 && i < c.slots.size() && !c.deleted[i];
    *element = *exists ? &c.slots[i] : nullptr;
    *indicator = *exists ? &c.indicators[i] : nullptr;
    return OCI_SUCCESS;
}

sword OCI_CALL FakeCollAppend(OCIEnv*, OCIError*, const dvoid* element, const dvoid* indicator, OCIColl* coll) {
    FakeNumbers& c = NumbersOf(coll);
    c.slots.push_back(*static_cast<const OCINumber*>(element));
    c.indicators.push_back(*static_cast<const OCIInd*>(indicator));
    c.deleted.push_back(false);
    return OCI_SUCCESS;
}

sword OCI_CALL FakeCollAssignElem(OCIEnv*, OCIError*, sb4 index, const dvoid* element, const dvoid* indicator,
                                  OCIColl* coll) {
    FakeNumbers& c = NumbersOf(coll);
    const auto i = static_cast<size_t>(index);
    if (index < 0 || i >= c.slots.size()) return OCI_ERROR;
    c.slots[i] = *static_cast<const OCINumber*>(element);
    c.indicators[i] = *static_cast<const OCIInd*>(indicator);
    return OCI_SUCCESS;
}

sword OCI_CALL FakeTableNext(OCIEnv*, OCIError*, sb4 index, const OCITable* table, sb4* next, boolean* exists) {
    const FakeNumbers& c = NumbersOf(table);
    *exists = 0;
    for (size_t i = static_cast<size_t>(index + 1); i < c.slots.size(); ++i)
        if (!c.deleted[i]) {
            *next = static_cast<sb4>(i);
            *exists = 1;
            break;
        }
    return OCI_SUCCESS;
}

sword OCI_CALL FakeTableSize(OCIEnv*, OCIError*, const OCITable* table, sb4* size) {
    const FakeNumbers& c = NumbersOf(table);
    *size = static_cast<sb4>(std::count(c.deleted.begin(), c.deleted.end(), false));
    return OCI_SUCCESS;
}

sword OCI_CALL FakeTableDelete(OCIEnv*, OCIError*, sb4 index, OCITable* table) {
    NumbersOf(table).deleted.at(static_cast<size_t>(index)) = true;
    return OCI_SUCCESS;
}

boolean OCI_CALL FakeRefIsNull(OCIEnv*, const OCIRef* ref) { return ref == nullptr; }

sword OCI_CALL FakeObjectPin(OCIEnv*, OCIError*, OCIRef* ref, void*, ub4, ub2, ub4, dvoid** object) {
    auto it = fake->targets.find(ref);
    if (it == fake->targets.end()) return OCI_ERROR;
    *object = &it->second->data;
    return OCI_SUCCESS;
}

sword OCI_CALL FakeObjectGetInd(OCIEnv*, OCIError*, dvoid* instance, dvoid** indicators) {
    for (auto& [ref, person] : fake->targets)
        if (&person->data == instance) {
            *indicators = person->indicators;
            return OCI_SUCCESS;
        }
    return OCI_ERROR;
}

sword OCI_CALL FakeObjectMarkUpdate(OCIEnv*, OCIError*, dvoid*) { return OCI_SUCCESS; }

sword OCI_CALL FakeObjectFlush(OCIEnv*, OCIError*, dvoid*) {
    ++fake->flushes;
    return OCI_SUCCESS;
}

FakeParam Attribute(const std::string& name, ub2 dataType, ub2 size, sb2 precision = 0, sb1 scale = 0) {
    FakeParam p;
    p.name = name;
    p.dataType = dataType;
    p.dataSize = size;
    p.precision = precision;
    p.scale = scale;
    return p;
}

// Holds one counted reference for the test's lifetime.
template <class T>
using Held = std::unique_ptr<T, void (*)(T*)>;
template <class T>
Held<T> Hold(T* object) {
    return {object, [](T* o) { o->Release(); }};
}

// The fake swapped into the entry-point table, with a parent dataset whose records hold
// nested tables of numbers (ITEMS) and REFs to persons (OWNER).
class NestedTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = Oci;
        fake = &client_;
        Oci.OCITypeByName = FakeTypeByName;
        Oci.OCIHandleAlloc = FakeHandleAlloc;
        Oci.OCIHandleFree = FakeHandleFree;
        Oci.OCIDescribeAny = FakeDescribeAny;
        Oci.OCIAttrGet = FakeAttrGet;
        Oci.OCIParamGet = FakeParamGet;
        Oci.OCINumberFromInt = FakeNumberFromInt;
        Oci.OCINumberToInt = FakeNumberToInt;
        Oci.OCINumberFromReal = FakeNumberFromReal;
        Oci.OCINumberToReal = FakeNumberToReal;
        Oci.OCIStringPtr = FakeStringPtr;
        Oci.OCICollSize = FakeCollSize;
        Oci.OCICollGetElem = FakeCollGetElem;
        Oci.OCICollAppend = FakeCollAppend;
        Oci.OCICollAssignElem = FakeCollAssignElem;
        Oci.OCITableNext = FakeTableNext;
        Oci.OCITableSize = FakeTableSize;
        Oci.OCITableDelete = FakeTableDelete;
        Oci.OCIRefIsNull = FakeRefIsNull;
        Oci.OCIObjectPin = FakeObjectPin;
        Oci.OCIObjectGetInd = FakeObjectGetInd;
        Oci.OCIObjectMarkUpdate = FakeObjectMarkUpdate;
        Oci.OCIObjectFlush = FakeObjectFlush;

        FakeParam numbers;
        numbers.typeCode = OCI_TYPECODE_NAMEDCOLLECTION;
        numbers.collectionCode = OCI_TYPECODE_TABLE;
        numbers.attributes = {Attribute("", SQLT_NUM, 22, 0, -127)};
        client_.types["NUMTAB_T"] = numbers;
        FakeParam person;
        person.typeCode = OCI_TYPECODE_OBJECT;
        person.attributes = {Attribute("NAME", SQLT_CHR, 20), Attribute("AGE", SQLT_NUM, 22, 3, 0)};
        client_.types["PERSON_T"] = person;
        numberTable_ = Hold(NewShared<TOraType>(svc_, "NUMTAB_T"));
        personType_ = Hold(NewShared<TOraType>(svc_, "PERSON_T"));
    }

    void TearDown() override {
        nested_.reset();
        parent_.reset();
        tables_.clear();
        refs_.clear();
        numberTable_.reset();
        personType_.reset();
        Oci = saved_;
        fake = nullptr;
    }

    // A nested table value over elements.
    TOraNestTable* Table(FakeNumbers& elements) {
        auto* table = NewShared<TOraNestTable>(numberTable_.get());
        table->SetSvcCtx(svc_);
        table->SetInstance(&elements);
        table->SetIndicator(&tableIndicator_);
        tables_.push_back(Hold(table));
        return table;
    }

    // A REF value pointing to person.
    TOraRef* Ref(FakePerson& person, const std::string& name, int age) {
        client_.strings.push_back({name});
        person.data.name = reinterpret_cast<OCIString*>(&client_.strings.back());
        const double value = age;
        std::memcpy(person.data.age.bytes, &value, sizeof value);
        auto* ref = NewShared<TOraRef>(personType_.get());
        ref->SetSvcCtx(svc_);
        auto* address = reinterpret_cast<OCIRef*>(&person + 1000);  // any distinct non-nil REF
        client_.targets[address] = &person;
        ref->SetRef(address);
        refs_.push_back(Hold(ref));
        return ref;
    }

    // The parent: (1, table a, REF to ann), (2, table b, REF to bob); filled, not opened.
    void FillParent() {
        a_.Append(1);
        a_.Append(2);
        b_.Append(10);
        b_.Append(20);
        b_.Append(30);
        TOraNestTable* tableA = Table(a_);
        TOraNestTable* tableB = Table(b_);
        TOraRef* ann = Ref(ann_, "ANN", 31);
        TOraRef* bob = Ref(bob_, "BOB", 42);
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
    FakeNumbers a_, b_;
    FakePerson ann_, bob_;
    std::unique_ptr<OraMemDataSet> parent_;
    std::unique_ptr<TOraNestedTable> nested_;

private:
    TOciEntryPoints saved_{};
    OCIInd tableIndicator_ = IndNotNull;
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

TEST_F(NestedTableTest, OpeningOpensTheParent) {
    FillParent();
    // A persistent dataset field of the closed parent.
    auto items = NewUnownedComponent<TOraDataSetField>();
    items->SetFieldName("ITEMS");
    items->BindToDataSet(parent_.get());
    {
        TOraNestedTable nested;
        nested.SetDataSetField(items.get());
        nested.OpenDataSet();
        EXPECT_TRUE(parent_->Active());
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
        EXPECT_EQ(a_.Values(), c.elements) << c.what;
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
    EXPECT_EQ(a_.Values(), (std::vector<double>{7, 2}));
    EXPECT_EQ(parent_->State(), dsBrowse);
    EXPECT_EQ(parent_->FieldNamed("ID")->ReadAsInteger(), 2);
    EXPECT_EQ(Rows(nested), (std::vector<double>{10, 20, 30}));
}

TEST_F(NestedTableTest, InsertingIntoANewParentRecordPostsTheParentFirst) {
    OpenParent();
    FakeNumbers c;
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
    EXPECT_EQ(c.Values(), (std::vector<double>{99}));
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
    a_.Append(3);
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
