// Object types and values over an in-process fake of the client's object calls (the
// stand-in client has no object types): type layout from a describe, attribute paths,
// typed access, collection growth, REF pins and nested writes.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraDataTypes.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraObject.h"
#include "oracle/oci/OraType.h"
#include "oracle/oci/RefData.h"
#include "oracle/oci/TableData.h"
#include "tests/oracle/oci/FakeObjectClient.h"

namespace oracle {
namespace {

// Swaps the object calls of the entry-point table for the fake and restores them after.
class OraObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = InstallFakeObjectClient(client_);

        FakeParam person;
        person.typeCode = OCI_TYPECODE_OBJECT;
        person.attributes = {Attribute("NAME", SQLT_CHR, 20), Attribute("AGE", SQLT_NUM, 22, 3, 0),
                             Attribute("HIRED", SQLT_DAT, 7), Attribute("SALARY", SQLT_NUM, 22, 8, 2)};
        client_.types["PERSON_T"] = person;
        FakeParam address;
        address.typeCode = OCI_TYPECODE_OBJECT;
        address.attributes = {Attribute("STREET", SQLT_CHR, 30), Attribute("CITY", SQLT_CHR, 20)};
        client_.types["ADDRESS_T"] = address;
        FakeParam phones;
        phones.typeCode = OCI_TYPECODE_NAMEDCOLLECTION;
        phones.collectionCode = OCI_TYPECODE_VARRAY;
        phones.element = {Attribute("", SQLT_CHR, 20)};
        phones.element.front().elementCount = 10;
        client_.types["PHONES_T"] = phones;
        FakeParam numbers = phones;
        numbers.element = {Attribute("", SQLT_NUM, 22, 0, -127)};
        client_.types["NUMBERS_T"] = numbers;
        FakeParam numberTable = numbers;
        numberTable.collectionCode = OCI_TYPECODE_TABLE;
        client_.types["NUMTAB_T"] = numberTable;
        FakeParam names = phones;
        names.collectionCode = OCI_TYPECODE_TABLE;
        client_.types["NAMES_T"] = names;
        FakeParam employee;
        employee.typeCode = OCI_TYPECODE_OBJECT;
        employee.attributes = {Attribute("NAME", SQLT_CHR, 20), NamedType("ADDR", SQLT_NTY, "ADDRESS_T"),
                               NamedType("PHONES", SQLT_NTY, "PHONES_T"), Attribute("AGE", SQLT_NUM, 22, 3, 0),
                               NamedType("BOSS", SQLT_REF, "EMPLOYEE_T")};
        client_.types["EMPLOYEE_T"] = employee;
        FakeParam document;
        document.typeCode = OCI_TYPECODE_OBJECT;
        document.attributes = {Attribute("ID", SQLT_NUM, 22, 3, 0), Attribute("BODY", SQLT_CLOB),
                               Attribute("PICTURE", SQLT_BLOB)};
        client_.types["DOCUMENT_T"] = document;
    }

    void TearDown() override { RemoveFakeObjectClient(saved_); }

    // A type described through the fake; the test holds one reference.
    TOraType* Describe(const std::string& name) {
        types_.emplace_back(NewShared<TOraType>(svc_, name), [](TOraType* t) { t->Release(); });
        return types_.back().get();
    }

    OCISvcCtx* const svc_ = reinterpret_cast<OCISvcCtx*>(uintptr_t{0x1000});
    FakeClient client_;

private:
    TOciEntryPoints saved_{};
    std::vector<std::unique_ptr<TOraType, void (*)(TOraType*)>> types_;
};

TEST_F(OraObjectTest, TypeLayoutFollowsTheAttributes) {
    TOraType* type = Describe("scott.person_t");
    EXPECT_EQ(type->Name, "scott.person_t");
    EXPECT_EQ(type->DataType, dtObject);
    ASSERT_EQ(type->AttributeCount(), 4);
    // NAME is held by pointer; the date is aligned to 4, the number after it is not.
    const int p = static_cast<int>(sizeof(void*));
    const int offsets[] = {0, p, p + 24, p + 31};
    const int indicatorOffsets[] = {2, 4, 6, 8};
    const int dataSizes[] = {p, 22, 7, 22};
    for (int i = 0; i < 4; ++i) {
        const TAttribute* a = type->Attributes(i);
        EXPECT_EQ(a->DataOffset, offsets[i]) << a->Name;
        EXPECT_EQ(a->IndicatorOffset, indicatorOffsets[i]) << a->Name;
        EXPECT_EQ(type->AttributeDataSize(a), dataSizes[i]) << a->Name;
        EXPECT_EQ(a->AttributeNo, i + 1);
    }
    EXPECT_EQ(type->DataSize, p + 53);  // 57 with 4-byte pointers
    EXPECT_EQ(type->IndicatorSize, 10);
    EXPECT_EQ(type->Attributes(0)->DataType, dtString);
    EXPECT_EQ(type->Attributes(0)->Size, 21);
    EXPECT_EQ(type->Attributes(1)->DataType, dtInteger);
    EXPECT_EQ(type->Attributes(3)->DataType, dtFloat);
    EXPECT_EQ(type->Attributes(3)->Scale, 2);

    TOraType* phones = Describe("PHONES_T");
    EXPECT_EQ(phones->DataType, dtArray);
    EXPECT_EQ(phones->Size, 10);
    EXPECT_EQ(phones->Attributes(0)->Name, "ELEMENT");
}

TEST_F(OraObjectTest, NestedTypesAreSharedAndSized) {
    TOraType* employee = Describe("EMPLOYEE_T");
    const TAttribute* addr = employee->Attributes(1);
    const TAttribute* phones = employee->Attributes(2);
    const TAttribute* boss = employee->Attributes(4);
    ASSERT_NE(addr->ObjectType(), nullptr);
    auto* address = static_cast<TOraType*>(addr->ObjectType());
    EXPECT_EQ(addr->DataType, dtObject);
    EXPECT_EQ(employee->AttributeDataSize(addr), address->DataSize);  // embedded
    EXPECT_EQ(phones->DataType, dtArray);
    EXPECT_EQ(employee->AttributeDataSize(phones), sizeof(void*));  // held by pointer
    EXPECT_EQ(boss->DataType, dtReference);
    EXPECT_EQ(boss->ObjectType(), employee);  // found in the type list, not described again
    // The embedded object's indicators follow the employee's NAME indicator.
    EXPECT_EQ(addr->IndicatorOffset, 4);
    EXPECT_EQ(phones->IndicatorOffset, 4 + address->IndicatorSize);
}

// An employee instance: NAME, ADDR (STREET, CITY), PHONES (three texts), AGE, BOSS.
class EmployeeTest : public OraObjectTest {
protected:
    void SetUp() override {
        OraObjectTest::SetUp();
        type_ = Describe("EMPLOYEE_T");
        instance_ = std::make_unique<TInstance>(type_);
        auto* address = static_cast<TOraType*>(type_->Attributes(1)->ObjectType());
        instance_->Set(type_->Attributes(0), client_.NewString("SMITH"));
        const TAttribute* addr = type_->Attributes(1);
        std::memcpy(instance_->data.data() + addr->DataOffset + address->Attributes(1)->DataOffset,
                    &(city_ = client_.NewString("PARIS")), sizeof(void*));
        phones_.texts = true;
        phones_.elementSize = sizeof(void*);
        for (const char* phone : {"100", "200", "300"}) {
            FakeString s{phone};
            const OCIInd present = IndNotNull;
            FakeCollAppend(nullptr, nullptr, &s, &present, reinterpret_cast<OCIColl*>(&phones_));
        }
        instance_->Set(type_->Attributes(2), &phones_);
        OCINumber age{};
        FakeNumberFromInt(nullptr, &(ageValue_ = 42), 4, 0, &age);
        instance_->Set(type_->Attributes(3), age);
        object_ = NewShared<TOraObject>(type_);
        object_->SetSvcCtx(svc_);
        object_->SetInstance(instance_->data.data());
        object_->SetIndicator(instance_->indicators.data());
    }

    void TearDown() override {
        object_->Release();
        OraObjectTest::TearDown();
    }

    TOraType* type_ = nullptr;
    std::unique_ptr<TInstance> instance_;
    FakeString* city_ = nullptr;
    FakeCollection phones_;
    int32_t ageValue_ = 0;
    TOraObject* object_ = nullptr;
};

TEST_F(EmployeeTest, PathsReachEmbeddedObjectsAndElements) {
    EXPECT_EQ(object_->AttrAsString("NAME"), "SMITH");
    EXPECT_EQ(object_->AttrAsString("addr.city"), "PARIS");
    EXPECT_EQ(object_->AttrAsString("PHONES[2]"), "300");
    EXPECT_EQ(object_->AttrAsString(" PHONES[0]"), "100");
    EXPECT_EQ(object_->AttrAsInteger("AGE"), 42);
    EXPECT_DOUBLE_EQ(object_->AttrAsFloat("AGE"), 42.0);
    // A missing element reads as null instead of through a nil pointer.
    EXPECT_TRUE(object_->AttrIsNull("PHONES[7]"));
    EXPECT_EQ(object_->AttrAsString("PHONES[7]"), "");
    bool isNull = false;
    char text[32] = {};
    object_->GetAttributeValue("ADDR.CITY", text, isNull);
    EXPECT_FALSE(isNull);
    EXPECT_STREQ(text, "PARIS");

    for (const char* bad : {"PHONES[", "NOPE", "NAME.FIRST", "ADDR.NOPE", "PHONES[x]"}) {
        try {
            object_->AttrIsNull(bad);
            ADD_FAILURE() << bad;
        } catch (const platform::Exception& e) {
            EXPECT_STREQ(e.what(), "Invalid attribute name") << bad;
        }
    }
}

TEST_F(EmployeeTest, TypedAccessChecksTheAttributeType) {
    struct Case {
        std::function<void()> call;
        const char* message;
    };
    const Case cases[] = {
        {[&] { object_->AttrAsInteger("NAME"); }, "Cannot convert type to OCINumber"},
        {[&] { object_->AttrAsDateTime("AGE"); }, "Cannot convert type to OCIDate"},
        {[&] { object_->AttrAsString("AGE"); }, "Cannot convert type to OCIString"},
        {[&] { object_->AttrAsObject("NAME"); }, "Cannot convert type to Object"},
        {[&] { object_->AttrAsLob("AGE"); }, "Cannot convert type to Lob"},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.message;
        } catch (const platform::EConvertError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    try {
        object_->AttrAsObject("ADDR.CITY");
        ADD_FAILURE();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Comlex attribute is not supported");
    }
    instance_->SetNull(type_->Attributes(3));
    EXPECT_TRUE(object_->AttrIsNull("AGE"));
    EXPECT_EQ(object_->AttrAsInteger("AGE"), 0);
}

TEST_F(EmployeeTest, WritingANestedAttributeMarksEveryEnclosingObject) {
    const TAttribute* addr = type_->Attributes(1);
    instance_->SetNull(addr);
    object_->SetAttrAsString("ADDR.CITY", "ROME");
    EXPECT_EQ(client_.setAttrNames, (std::vector<std::string>{"ADDR", "CITY"}));
    EXPECT_EQ(client_.setAttrIndicator, IndNotNull);
    EXPECT_EQ(instance_->indicators[static_cast<size_t>(addr->IndicatorOffset) / 2], IndNotNull);
    object_->SetAttrNull("NAME");
    EXPECT_EQ(client_.setAttrIndicator, IndNull);
}

TEST_F(EmployeeTest, ChildObjectsLiveInTheOwnersInstance) {
    TOraObject* address = object_->AttrAsObject("ADDR");
    EXPECT_EQ(object_->AttrAsObject("ADDR"), address);  // kept as a child
    EXPECT_EQ(address->AttrAsString("CITY"), "PARIS");
    auto* phones = dynamic_cast<TOraArray*>(object_->AttrAsObject("PHONES"));
    ASSERT_NE(phones, nullptr);
    EXPECT_EQ(phones->Size(), 3);
    EXPECT_EQ(phones->ElementAsString(1), "200");
    auto* boss = dynamic_cast<TOraRef*>(object_->AttrAsObject("BOSS"));
    ASSERT_NE(boss, nullptr);
    EXPECT_TRUE(boss->IsNull());  // no REF stored
    EXPECT_EQ(client_.pins, 0);
}

TEST_F(OraObjectTest, LobAttributesLendTheirLocators) {
    TOraType* type = Describe("DOCUMENT_T");
    const TAttribute* body = type->Attributes(1);
    const TAttribute* picture = type->Attributes(2);
    // Both LOB kinds start on a pointer boundary after the 22-byte number.
    const int p = static_cast<int>(sizeof(void*));
    EXPECT_EQ(body->DataType, dtOraClob);
    EXPECT_EQ(body->DataOffset, (22 + p - 1) / p * p);
    EXPECT_EQ(picture->DataType, dtOraBlob);
    EXPECT_EQ(picture->DataOffset, body->DataOffset + p);

    TInstance document(type);
    char locator = 0;
    document.Set(body, reinterpret_cast<OCILobLocator*>(&locator));
    document.SetNull(body);  // a null LOB is not read
    {
        auto object = Hold(NewShared<TOraObject>(type));
        object->SetSvcCtx(svc_);
        object->SetInstance(document.data.data());
        object->SetIndicator(document.indicators.data());
        TOraLob* lob = object->AttrAsLob("BODY");
        EXPECT_EQ(lob->Locator(), reinterpret_cast<OCILobLocator*>(&locator));
        EXPECT_EQ(object->AttrAsLob("BODY"), lob);
    }
    EXPECT_TRUE(client_.objectCalls.empty());  // the lent locator was not freed
}

TEST_F(OraObjectTest, WritingPastTheEndGrowsTheCollectionWithNulls) {
    TOraType* type = Describe("NUMBERS_T");
    FakeCollection numbers;
    auto array = Hold(NewShared<TOraArray>(type));
    array->SetSvcCtx(svc_);
    OCIInd collectionIndicator = IndNull;
    array->SetInstance(&numbers);
    array->SetIndicator(&collectionIndicator);
    array->SetElementAsInteger(5, 7);
    EXPECT_EQ(array->Size(), 6);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(array->ElementIsNull(i)) << i;
    EXPECT_EQ(array->ElementAsInteger(5), 7);
    EXPECT_EQ(collectionIndicator, IndNotNull);
    EXPECT_EQ(array->AppendElement(), 6);
    EXPECT_TRUE(array->ElementIsNull(6));
    // Past the end reads as null or 0 alike.
    EXPECT_FALSE(array->ElementIsNull(40));
    EXPECT_EQ(array->ElementAsInteger(40), 0);
    EXPECT_EQ(array->ElementAsFloat(40), 0.0);
    try {
        array->SetElementAsString(0, "x");
        ADD_FAILURE();
    } catch (const platform::EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot convert type to String");
    }
    try {
        auto table = Hold(NewShared<TOraNestTable>(type));
        table->CheckType();
        ADD_FAILURE();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Type of object must be Table");
    }
}

TEST_F(OraObjectTest, ARefThatCannotBePinnedReadsAsNull) {
    TOraType* type = Describe("PERSON_T");
    auto ref = Hold(NewShared<TOraRef>(type));
    ref->SetSvcCtx(svc_);
    EXPECT_TRUE(ref->IsNull());
    try {
        ref->Refresh();
        ADD_FAILURE();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "OCIRef is not assigned");
    }
    char target = 0;
    ref->SetRef(reinterpret_cast<OCIRef*>(&target));
    EXPECT_FALSE(ref->IsNull());
    ref->Refresh();  // the pin fails: no error
    EXPECT_EQ(client_.pins, 1);
    EXPECT_TRUE(ref->IsNull());
}

TEST_F(OraObjectTest, ObjectsNeedATypeAndAServiceContext) {
    auto untyped = Hold(NewShared<TOraObject>());
    try {
        untyped->AllocObject();
        ADD_FAILURE();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Type of object must be defined");
    }
    auto object = Hold(NewShared<TOraObject>(Describe("PERSON_T")));
    try {
        object->AttrIsNull("NAME");  // allocates on first use: no service context
        ADD_FAILURE();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "OCISvcCtx is not defined");
    }
    object->AutoCreate = false;
    try {
        object->AttrIsNull("NAME");
        ADD_FAILURE();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Object is not allocated");
    }
    try {
        TOraType* none = NewShared<TOraType>(nullptr, "PERSON_T");
        none->Release();
        ADD_FAILURE();
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "OCISvcCtx is not defined");
    }
}

TEST_F(OraObjectTest, RefStoreShowsThePinnedObjectAsOneRecord) {
    TOraType* type = Describe("PERSON_T");
    {
        TRefData store;
        try {
            store.Open();
            ADD_FAILURE();
        } catch (const platform::Exception& e) {
            EXPECT_STREQ(e.what(), "Reference is not defined");
        }
    }
    auto ref = Hold(NewShared<TOraRef>(type));
    ref->SetSvcCtx(svc_);
    TRefData store;
    store.SetRef(ref.get());
    store.Open();
    ASSERT_EQ(store.FieldCount(), 5);  // REF and the four attributes
    EXPECT_TRUE(store.Fields().Items(0)->HiddenObject);
    TRecordBuffer record = store.AllocRecBuf();
    store.GetNextRecord(record.data());
    EXPECT_TRUE(store.Eof());  // a null REF has no record

    TInstance person(type);
    person.Set(type->Attributes(0), client_.NewString("SMITH"));
    client_.pinTarget = person.data.data();
    client_.pinIndicators = person.indicators.data();
    char target = 0;
    ref->SetRef(reinterpret_cast<OCIRef*>(&target));
    store.Reopen();
    store.GetNextRecord(record.data());
    ASSERT_FALSE(store.Eof());
    char name[32] = {};
    bool isNull = true;
    store.GetField(store.FieldByName("NAME")->FieldNo, record.data(), name, isNull);
    EXPECT_FALSE(isNull);
    EXPECT_STREQ(name, "SMITH");
    // Posting writes the object back and never marks it deleted.
    store.UpdateRecord(record.data());
    EXPECT_EQ(client_.objectCalls, (std::vector<std::string>{"mark update", "flush"}));
    store.GetNextRecord(record.data());
    EXPECT_TRUE(store.Eof());
    store.GetPriorRecord(record.data());
    EXPECT_FALSE(store.Bof());
}

// A collection store over a fake collection of numbers.
class TableStoreTest : public OraObjectTest {
protected:
    TOraArray* Collection(const std::string& typeName, FakeCollection& elements) {
        TOraType* type = Describe(typeName);
        collection_ = type->DataType == dtTable ? NewShared<TOraNestTable>(type) : NewShared<TOraArray>(type);
        collection_->SetSvcCtx(svc_);
        collection_->SetInstance(&elements);
        collection_->SetIndicator(&indicator_);
        return collection_;
    }
    void TearDown() override {
        if (collection_) collection_->Release();
        OraObjectTest::TearDown();
    }
    static void AppendNumber(FakeCollection& c, double value, OCIInd indicator = IndNotNull) {
        OCINumber number{};
        FakeNumberFromReal(nullptr, &value, sizeof value, &number);
        FakeCollAppend(nullptr, nullptr, &number, &indicator, reinterpret_cast<OCIColl*>(&c));
    }

    TOraArray* collection_ = nullptr;
    OCIInd indicator_ = IndNotNull;
};

TEST_F(TableStoreTest, ExistingElementsInIndexOrder) {
    FakeCollection numbers;
    for (double v : {1.0, 2.0, 3.0, 4.0}) AppendNumber(numbers, v);
    numbers.deleted[1] = true;
    TTableData store;
    store.SetTable(Collection("NUMTAB_T", numbers));
    store.Open();
    ASSERT_EQ(store.FieldCount(), 1);
    EXPECT_EQ(store.Fields().Items(0)->Name, "ELEMENT");
    TRecordBuffer record = store.AllocRecBuf();
    std::vector<double> seen;
    for (store.GetNextRecord(record.data()); !store.Eof(); store.GetNextRecord(record.data())) {
        double value = 0;
        bool isNull = true;
        store.GetField(1, record.data(), &value, isNull);
        EXPECT_FALSE(isNull);
        seen.push_back(value);
    }
    EXPECT_EQ(seen, (std::vector<double>{1, 3, 4}));
    EXPECT_EQ(store.GetRecordCount(), 3);
    // An element deleted behind the store's back reads as null, not through a nil element.
    store.SetToBegin();
    store.GetNextRecord(record.data());
    numbers.deleted[0] = true;
    store.GetRecord(record.data());
    EXPECT_TRUE(store.GetNull(1, record.data()));
}

TEST_F(TableStoreTest, AppendingAddsANullElementAtTheEnd) {
    FakeCollection numbers;
    AppendNumber(numbers, 5);
    TTableData store;
    store.SetTable(Collection("NUMBERS_T", numbers));
    store.Open();
    TRecordBuffer record = store.AllocRecBuf();
    store.InitRecord(record.data());
    store.AppendRecord(record.data());
    ASSERT_EQ(numbers.slots.size(), 2u);
    EXPECT_EQ(numbers.indicators[1], IndNull);
    // The new record stands for element 1 and reads back null.
    store.GetRecord(record.data());
    EXPECT_TRUE(store.GetNull(1, record.data()));
    // Editing it writes the element.
    const double value = 8.5;
    std::memcpy(record.data(), &value, sizeof value);
    store.SetNull(1, record.data(), false);
    store.PutRecord(record.data());
    EXPECT_EQ(numbers.indicators[1], IndNotNull);
    EXPECT_DOUBLE_EQ(collection_->ElementAsFloat(1), 8.5);
}

TEST_F(TableStoreTest, NullTextElementsReadAsNullFields) {
    FakeCollection names;
    names.texts = true;
    names.elementSize = sizeof(void*);
    for (const char* text : {"ANN", "", "a name longer than twenty characters"}) {
        FakeString s{text};
        const OCIInd indicator = *text ? IndNotNull : IndNull;
        FakeCollAppend(nullptr, nullptr, &s, &indicator, reinterpret_cast<OCIColl*>(&names));
    }
    TTableData store;
    store.SetTable(Collection("NAMES_T", names));
    store.Open();
    TRecordBuffer record = store.AllocRecBuf();
    std::vector<std::string> seen;
    for (store.GetNextRecord(record.data()); !store.Eof(); store.GetNextRecord(record.data())) {
        char text[64] = {};
        bool isNull = false;
        store.GetField(1, record.data(), text, isNull);
        seen.push_back(isNull ? "<null>" : text);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"ANN", "<null>", "a name longer than t"}));
}

}  // namespace
}  // namespace oracle
