// Object, collection and REF values against the stand-in server: columns of those kinds
// described, fetched into the record set's rows (attributes, elements, REFs pinned to their
// objects), parameters of those kinds bound in and out, and the nested-table dataset
// following a query's current record.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/ObjectType.h"
#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OCIRecordSet.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraNestedTable.h"
#include "oracle/oci/OraObject.h"
#include "oracle/oci/OraParamDesc.h"
#include "oracle/oci/OraSQL.h"
#include "oracle/oci/OraType.h"
#include "platform/Field.h"
#include "tests/oracle/oci/OraQueryFixture.h"

#include <windows.h>

namespace oracle {
namespace {

using platform::Variant;

template <class T>
using Held = std::unique_ptr<T, void (*)(T*)>;
template <class T>
Held<T> Hold(T* object) {
    return Held<T>(object, [](T* o) { ReleaseObject(o); });
}

std::vector<double> Numbers(TOraArray& array) {
    std::vector<double> numbers;
    for (int i = 0; i < array.Size(); ++i) numbers.push_back(array.ElementAsFloat(i));
    return numbers;
}

// Types and tables of one test (their names carry a suffix of their own, so that tests
// against the same server never meet):
//   ADDR (STREET VARCHAR2(20), ZIP NUMBER(5)), PHONES VARRAY(3) OF VARCHAR2(12),
//   TAGS TABLE OF NUMBER, PERSON (NAME VARCHAR2(10), AGE NUMBER(3)), PERSONS OF PERSON,
//   CONTACTS (ID, HOME ADDR, PHONES, TAGS nested, WHO REF PERSON).
struct TContactSchema {
    explicit TContactSchema(std::function<void(const std::string&)> exec) : exec_(std::move(exec)) {
        const std::string suffix = testing::UniqueNameSuffix();
        addr_ = "OC_ADDR" + suffix;
        phones_ = "OC_PHONES" + suffix;
        tags_ = "OC_TAGS" + suffix;
        person_ = "OC_PERSON" + suffix;
        persons_ = "OC_PERSONS" + suffix;
        contacts_ = "OC_CONTACTS" + suffix;
        exec_("CREATE TYPE " + addr_ + " AS OBJECT (STREET VARCHAR2(20), ZIP NUMBER(5))");
        exec_("CREATE TYPE " + phones_ + " AS VARRAY(3) OF VARCHAR2(12)");
        exec_("CREATE TYPE " + tags_ + " AS TABLE OF NUMBER");
        exec_("CREATE TYPE " + person_ + " AS OBJECT (NAME VARCHAR2(10), AGE NUMBER(3))");
        exec_("CREATE TABLE " + persons_ + " OF " + person_);
        exec_("CREATE TABLE " + contacts_ + " (ID NUMBER(9), HOME " + addr_ + ", PHONES " + phones_ + ", TAGS " + tags_ +
              ", WHO REF " + person_ + ") NESTED TABLE TAGS STORE AS " + contacts_ + "_T");
        exec_("INSERT INTO " + persons_ + " VALUES ('Ann', 30)");
        exec_("INSERT INTO " + persons_ + " VALUES ('Bob', 40)");
    }

    void InsertContacts() {
        exec_("INSERT INTO " + contacts_ + " SELECT 1, " + addr_ + "('Main 1', 12345), " + phones_ + "('555', '556'), " +
              tags_ + "(7, 8, 9), REF(P) FROM " + persons_ + " P WHERE P.NAME = 'Ann'");
        exec_("INSERT INTO " + contacts_ + " VALUES (2, NULL, NULL, " + tags_ + "(), NULL)");
        exec_("INSERT INTO " + contacts_ + " SELECT 3, " + addr_ + "('Side 2', NULL), " + phones_ + "('777'), " + tags_ +
              "(1), REF(P) FROM " + persons_ + " P WHERE P.NAME = 'Bob'");
    }

    std::function<void(const std::string&)> exec_;
    std::string addr_, phones_, tags_, person_, persons_, contacts_;
};

// The record set and the command on a connection of their own.
class ObjectColumnsTest : public testing::OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", testing::ProgramFolder() + "\\oci.dll");
        connection_.SetUsername("scott");
        connection_.SetPassword("tiger");
        connection_.SetServer("SETRIX_TEST");
        connection_.Connect();
        schema_ = std::make_unique<TContactSchema>([this](const std::string& sql) {
            SCOPED_TRACE(sql);
            std::unique_ptr<TQdCommand> command = connection_.CreateCommand();
            command->SetSQL(sql);
            try {
                command->Execute(1);
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
                throw;
            }
        });
        addr_ = schema_->addr_;
        phones_ = schema_->phones_;
        tags_ = schema_->tags_;
        person_ = schema_->person_;
        persons_ = schema_->persons_;
        contacts_ = schema_->contacts_;
    }
    void Exec(const std::string& sql) { schema_->exec_(sql); }
    void InsertContacts() { schema_->InsertContacts(); }

    std::string ContactsQuery() const {
        return "SELECT ID, HOME, PHONES, TAGS, WHO FROM " + contacts_ + " ORDER BY ID";
    }

    TOCIConnection& Connection() { return connection_; }

    std::unique_ptr<TOCIRecordSet> RecordSet(const std::string& sql) {
        std::unique_ptr<TQdRecordSet> created = Connection().CreateRecordSet();
        std::unique_ptr<TOCIRecordSet> recordSet(static_cast<TOCIRecordSet*>(created.release()));
        recordSet->SetSQL(sql);
        return recordSet;
    }

    // The value object of an object, collection or REF column of a record.
    template <class T>
    static T* ObjectIn(TOCIRecordSet& recordSet, const char* name, const void* record) {
        TDBObject* object = nullptr;
        bool isNull = false;
        recordSet.GetField(recordSet.FieldByName(name)->FieldNo, record, &object, isNull);
        return dynamic_cast<T*>(object);
    }

    static std::string Text(TOCIRecordSet& recordSet, const char* name, const void* record) {
        Variant value;
        recordSet.GetFieldAsVariant(recordSet.FieldByName(name)->FieldNo, record, value);
        return value.IsNull() ? "<null>" : value.AsString();
    }


    TOCIConnection connection_;
    std::unique_ptr<TContactSchema> schema_;
    std::string addr_, phones_, tags_, person_, persons_, contacts_;
};

TEST_F(ObjectColumnsTest, ColumnsDescribeAsTheirTypesWithAttributeFields) {
    auto recordSet = RecordSet(ContactsQuery());
    recordSet->Open();
    const struct {
        const char* name;
        TDataType type;
        std::string objectType;
    } columns[] = {{"HOME", dtObject, addr_},
                   {"PHONES", dtArray, phones_},
                   {"TAGS", dtTable, tags_},
                   {"WHO", dtReference, person_}};
    for (const auto& column : columns) {
        SCOPED_TRACE(column.name);
        TFieldDesc* field = recordSet->FindField(column.name);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->DataType, column.type);
        EXPECT_EQ(field->ParentField, nullptr);
        ASSERT_NE(field->ObjectType(), nullptr);
        EXPECT_TRUE(platform::AnsiSameText(field->ObjectType()->Name, "SCOTT." + column.objectType))
            << field->ObjectType()->Name;
    }
    // An object's attributes and a VARRAY's elements up to its bound get descriptors of
    // their own; a nested table and a REF do not.
    const struct {
        const char* path;
        TDataType type;
        const char* parent;
    } attributes[] = {{"HOME.STREET", dtString, "HOME"},
                      {"HOME.ZIP", dtInteger, "HOME"},
                      {"PHONES[0]", dtString, "PHONES"},
                      {"PHONES[2]", dtString, "PHONES"}};
    for (const auto& attribute : attributes) {
        SCOPED_TRACE(attribute.path);
        TFieldDesc* field = recordSet->FindField(attribute.path);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->DataType, attribute.type);
        ASSERT_NE(field->ParentField, nullptr);
        EXPECT_EQ(field->ParentField->Name, attribute.parent);
    }
    EXPECT_EQ(recordSet->FindField("PHONES[3]"), nullptr);
    EXPECT_EQ(recordSet->FieldCount(), 5 + 2 + 3);

    // Another query on the same types finds them described already.
    auto other = RecordSet("SELECT WHO, HOME FROM " + contacts_);
    other->Open();
    EXPECT_EQ(other->FindField("HOME")->ObjectType(), recordSet->FindField("HOME")->ObjectType());
    EXPECT_EQ(other->FindField("WHO")->ObjectType(), recordSet->FindField("WHO")->ObjectType());
}

// One block for all rows; one row per block (every block defined anew); one row per block
// in a single reused block (its values freed and made again).
struct TFetchMode {
    int fetchRows;
    bool uniDirectional;
};
class ObjectValuesTest : public ObjectColumnsTest, public ::testing::WithParamInterface<TFetchMode> {};

TEST_P(ObjectValuesTest, RowsHoldAttributesElementsAndPinnedRefs) {
    InsertContacts();
    auto recordSet = RecordSet(ContactsQuery());
    ASSERT_TRUE(recordSet->SetProp(prFetchRows, Variant(GetParam().fetchRows)));
    ASSERT_TRUE(recordSet->SetProp(prUniDirectional, Variant(GetParam().uniDirectional)));
    recordSet->Open();
    const struct {
        const char* street;
        const char* zip;
        std::vector<std::string> phones;
        std::vector<double> tags;
        const char* who;
    } expected[] = {{"Main 1", "12345", {"555", "556"}, {7, 8, 9}, "Ann"},
                    {"<null>", "<null>", {}, {}, nullptr},
                    {"Side 2", "<null>", {"777"}, {1}, "Bob"}};
    TRecordBuffer record = recordSet->AllocRecBuf();
    for (const auto& row : expected) {
        SCOPED_TRACE(row.street);
        recordSet->GetNextRecord(record.data());
        ASSERT_FALSE(recordSet->Eof());
        EXPECT_EQ(Text(*recordSet, "HOME.STREET", record.data()), row.street);
        EXPECT_EQ(Text(*recordSet, "HOME.ZIP", record.data()), row.zip);
        const bool homeNull = std::string(row.street) == "<null>";
        EXPECT_EQ(recordSet->GetNull(recordSet->FieldByName("HOME")->FieldNo, record.data()), homeNull);

        auto* phones = ObjectIn<TOraArray>(*recordSet, "PHONES", record.data());
        ASSERT_NE(phones, nullptr);
        std::vector<std::string> phoneTexts;
        for (int i = 0; i < phones->Size(); ++i) phoneTexts.push_back(phones->ElementAsString(i));
        EXPECT_EQ(phoneTexts, row.phones);
        for (size_t i = 0; i < 3; ++i) {
            const std::string path = "PHONES[" + std::to_string(i) + "]";
            EXPECT_EQ(Text(*recordSet, path.c_str(), record.data()), i < row.phones.size() ? row.phones[i] : "<null>");
        }

        auto* tags = ObjectIn<TOraNestTable>(*recordSet, "TAGS", record.data());
        ASSERT_NE(tags, nullptr);
        EXPECT_EQ(Numbers(*tags), row.tags);

        auto* who = ObjectIn<TOraRef>(*recordSet, "WHO", record.data());
        ASSERT_NE(who, nullptr);
        EXPECT_EQ(recordSet->GetNull(recordSet->FieldByName("WHO")->FieldNo, record.data()), row.who == nullptr);
        if (row.who) {
            ASSERT_NE(who->Instance(), nullptr);  // pinned while fetching
            EXPECT_EQ(who->AttrAsString("NAME"), row.who);
        } else {
            EXPECT_TRUE(who->IsNull());
        }
    }
    recordSet->GetNextRecord(record.data());
    EXPECT_TRUE(recordSet->Eof());
}

INSTANTIATE_TEST_SUITE_P(FetchModes, ObjectValuesTest,
                         ::testing::Values(TFetchMode{25, false}, TFetchMode{1, false}, TFetchMode{1, true}),
                         [](const ::testing::TestParamInfo<TFetchMode>& info) {
                             return "Rows" + std::to_string(info.param.fetchRows) +
                                    (info.param.uniDirectional ? "UniDirectional" : "");
                         });

// An edited copy of a row holds objects of its own: changing it leaves the row alone.
TEST_F(ObjectColumnsTest, AnEditedCopyOfARowHoldsItsOwnObjects) {
    InsertContacts();
    auto recordSet = RecordSet(ContactsQuery());
    recordSet->Open();
    TRecordBuffer record = recordSet->AllocRecBuf();
    recordSet->GetNextRecord(record.data());
    ASSERT_FALSE(recordSet->Eof());
    TRecordBuffer copy = recordSet->AllocRecBuf();
    std::memcpy(copy.data(), record.data(), copy.size());
    recordSet->CreateComplexFields(copy.data(), false);
    recordSet->CopyComplexFields(record.data(), copy.data(), false);

    auto* home = ObjectIn<TOraObject>(*recordSet, "HOME", copy.data());
    ASSERT_NE(home, ObjectIn<TOraObject>(*recordSet, "HOME", record.data()));
    EXPECT_EQ(home->AttrAsString("STREET"), "Main 1");
    home->SetAttrAsString("STREET", "Changed");
    auto* phones = ObjectIn<TOraArray>(*recordSet, "PHONES", copy.data());
    ASSERT_EQ(phones->Size(), 2);
    phones->SetElementAsString(0, "000");
    auto* who = ObjectIn<TOraRef>(*recordSet, "WHO", copy.data());
    EXPECT_FALSE(who->RefIsNull());
    EXPECT_EQ(who->AttrAsString("NAME"), "Ann");

    EXPECT_EQ(Text(*recordSet, "HOME.STREET", record.data()), "Main 1");
    EXPECT_EQ(Text(*recordSet, "PHONES[0]", record.data()), "555");
    EXPECT_EQ(Text(*recordSet, "HOME.STREET", copy.data()), "Changed");
    recordSet->FreeComplexFields(copy.data(), false);
}

TEST_F(ObjectColumnsTest, ARefWhoseObjectIsGoneReadsAsNull) {
    InsertContacts();
    Exec("DELETE FROM " + persons_ + " WHERE NAME = 'Bob'");
    auto recordSet = RecordSet("SELECT ID, WHO FROM " + contacts_ + " WHERE ID = 3");
    recordSet->Open();
    TRecordBuffer record = recordSet->AllocRecBuf();
    recordSet->GetNextRecord(record.data());
    ASSERT_FALSE(recordSet->Eof());
    EXPECT_TRUE(recordSet->GetNull(recordSet->FieldByName("WHO")->FieldNo, record.data()));
}

// A new row's object is null until an attribute gets a value through its field.
TEST_F(ObjectColumnsTest, ANewRowsObjectTakesAttributesThroughItsFields) {
    auto recordSet = RecordSet(ContactsQuery());
    recordSet->Open();
    TRecordBuffer record = recordSet->AllocRecBuf();
    recordSet->InitRecord(record.data());
    recordSet->CreateComplexFields(record.data(), true);
    const int home = recordSet->FieldByName("HOME")->FieldNo;
    EXPECT_TRUE(recordSet->GetNull(home, record.data()));
    const char street[] = "New 5";
    recordSet->PutField(recordSet->FieldByName("HOME.STREET")->FieldNo, record.data(), street);
    EXPECT_FALSE(recordSet->GetNull(home, record.data()));
    EXPECT_EQ(Text(*recordSet, "HOME.STREET", record.data()), "New 5");
    EXPECT_EQ(Text(*recordSet, "HOME.ZIP", record.data()), "<null>");
    // Cleared through the field, the object and its attributes are null again.
    recordSet->SetNull(home, record.data(), true);
    EXPECT_TRUE(recordSet->GetNull(home, record.data()));
    EXPECT_EQ(Text(*recordSet, "HOME.STREET", record.data()), "<null>");
    recordSet->FreeComplexFields(record.data(), true);
}

// A REF given another REF's value leaves the object pinned for its old value: it reads the
// new one's object, or none when the new value is null.
TEST_F(ObjectColumnsTest, AReassignedRefReadsItsNewObject) {
    auto refs = RecordSet("SELECT NAME, REF(P) R FROM " + persons_ + " P ORDER BY NAME");
    refs->Open();
    TRecordBuffer ann = refs->AllocRecBuf(), bob = refs->AllocRecBuf();
    refs->GetNextRecord(ann.data());
    refs->GetNextRecord(bob.data());
    ASSERT_FALSE(refs->Eof());
    auto personType = Hold(NewShared<TOraType>(Connection().GetSvcCtx(), person_));
    auto none = Hold(NewShared<TOraRef>(personType.get()));
    auto who = Hold(NewShared<TOraRef>(personType.get()));
    who->SetSvcCtx(Connection().GetSvcCtx());
    const struct {
        TOraRef* source;
        const char* name;
    } steps[] = {{ObjectIn<TOraRef>(*refs, "R", ann.data()), "Ann"},
                 {ObjectIn<TOraRef>(*refs, "R", bob.data()), "Bob"},
                 {none.get(), nullptr},
                 {ObjectIn<TOraRef>(*refs, "R", ann.data()), "Ann"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name ? step.name : "null");
        who->AssignObject(step.source);
        EXPECT_EQ(who->IsNull(), step.name == nullptr);
        if (step.name)
            EXPECT_EQ(who->AttrAsString("NAME"), step.name);
        else
            EXPECT_EQ(who->Instance(), nullptr);
    }
}

// Parameters of object kinds through the command: an INSERT takes an object, a collection
// and a REF; a block hands an object and a collection back.
TEST_F(ObjectColumnsTest, ObjectParametersBindInAndOut) {
    auto addrType = Hold(NewShared<TOraType>(Connection().GetSvcCtx(), addr_));
    auto phonesType = Hold(NewShared<TOraType>(Connection().GetSvcCtx(), phones_));
    auto personType = Hold(NewShared<TOraType>(Connection().GetSvcCtx(), person_));

    // The REF of Ann, read through a query.
    auto refs = RecordSet("SELECT REF(P) R FROM " + persons_ + " P WHERE P.NAME = 'Ann'");
    refs->Open();
    TRecordBuffer refRecord = refs->AllocRecBuf();
    refs->GetNextRecord(refRecord.data());
    ASSERT_FALSE(refs->Eof());
    auto* ann = ObjectIn<TOraRef>(*refs, "R", refRecord.data());
    ASSERT_NE(ann, nullptr);

    auto home = Hold(NewShared<TOraObject>(addrType.get()));
    home->SetSvcCtx(Connection().GetSvcCtx());
    home->SetAttrAsString("STREET", "Hill 3");
    home->SetAttrAsInteger("ZIP", 4711);
    auto phones = Hold(NewShared<TOraArray>(phonesType.get()));
    phones->SetSvcCtx(Connection().GetSvcCtx());
    phones->SetElementAsString(0, "111");
    phones->SetElementAsString(1, "222");
    auto who = Hold(NewShared<TOraRef>(personType.get()));
    who->SetSvcCtx(Connection().GetSvcCtx());
    who->AssignObject(ann);

    std::unique_ptr<TQdCommand> insert = Connection().CreateCommand();
    insert->SetSQL("INSERT INTO " + contacts_ + " (ID, HOME, PHONES, WHO) VALUES (5, :HOME, :PHONES, :WHO)");
    const struct {
        const char* name;
        TDataType type;
        TOraObject* value;
    } inputs[] = {{"HOME", dtObject, home.get()}, {"PHONES", dtArray, phones.get()}, {"WHO", dtReference, who.get()}};
    for (const auto& input : inputs) {
        auto* param = static_cast<TOraParamDesc*>(insert->FindParam(input.name));
        ASSERT_NE(param, nullptr) << input.name;
        param->SetDataType(input.type);
        param->SetParamType(pdInput);
        param->SetObject(input.value);
    }
    insert->Execute(1);
    refs.reset();

    auto recordSet = RecordSet("SELECT HOME, PHONES, WHO FROM " + contacts_ + " WHERE ID = 5");
    recordSet->Open();
    TRecordBuffer record = recordSet->AllocRecBuf();
    recordSet->GetNextRecord(record.data());
    ASSERT_FALSE(recordSet->Eof());
    EXPECT_EQ(Text(*recordSet, "HOME.STREET", record.data()), "Hill 3");
    EXPECT_EQ(Text(*recordSet, "HOME.ZIP", record.data()), "4711");
    EXPECT_EQ(Text(*recordSet, "PHONES[1]", record.data()), "222");
    auto* fetchedWho = ObjectIn<TOraRef>(*recordSet, "WHO", record.data());
    ASSERT_NE(fetchedWho, nullptr);
    EXPECT_EQ(fetchedWho->AttrAsString("NAME"), "Ann");
    recordSet.reset();

    // Out of a block: the bound objects receive the values.
    auto person = Hold(NewShared<TOraObject>(personType.get()));
    auto numbers = Hold(NewShared<TOraArray>(phonesType.get()));
    std::unique_ptr<TQdCommand> block = Connection().CreateCommand();
    auto bob = Hold(NewShared<TOraRef>(personType.get()));
    block->SetSQL("begin select value(p) into :P from " + persons_ + " p where p.name = 'Bob'; :N := " + phones_ +
                  "('9', '8', '7'); select ref(p) into :R from " + persons_ + " p where p.name = 'Bob'; end;");
    const struct {
        const char* name;
        TDataType type;
        TOraObject* value;
    } outputs[] = {{"P", dtObject, person.get()}, {"N", dtArray, numbers.get()}, {"R", dtReference, bob.get()}};
    for (const auto& output : outputs) {
        auto* param = static_cast<TOraParamDesc*>(block->FindParam(output.name));
        ASSERT_NE(param, nullptr) << output.name;
        param->SetDataType(output.type);
        param->SetParamType(pdOutput);
        param->SetObject(output.value);
    }
    block->Execute(1);
    EXPECT_EQ(person->AttrAsString("NAME"), "Bob");
    EXPECT_EQ(person->AttrAsInteger("AGE"), 40);
    ASSERT_EQ(numbers->Size(), 3);
    EXPECT_EQ(numbers->ElementAsString(2), "7");
    ASSERT_FALSE(bob->RefIsNull());
    EXPECT_EQ(bob->AttrAsInteger("AGE"), 40);
}

TEST_F(ObjectColumnsTest, AnObjectParameterWithoutItsObjectIsRefused) {
    std::unique_ptr<TQdCommand> insert = Connection().CreateCommand();
    insert->SetSQL("INSERT INTO " + contacts_ + " (ID, HOME) VALUES (6, :HOME)");
    auto* param = static_cast<TOraParamDesc*>(insert->FindParam("HOME"));
    ASSERT_NE(param, nullptr);
    param->SetDataType(dtObject);
    param->SetParamType(pdInput);
    try {
        insert->Execute(1);
        FAIL() << "bound without an object";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Unknown type of parameter HOME");
    }
}

// The query shows the columns as fields; the nested-table dataset on TAGS follows the
// query's current record.
class ObjectQueryTest : public testing::OraQueryTest {};

TEST_F(ObjectQueryTest, FieldsAndTheNestedTableFollowingItsRecord) {
    TContactSchema schema([this](const std::string& sql) { Exec(sql); });
    schema.InsertContacts();
    auto query = NewQuery("SELECT ID, HOME, PHONES, TAGS, WHO FROM " + schema.contacts_ + " ORDER BY ID");
    query->OpenDataSet();
    ASSERT_TRUE(query->Active());
    EXPECT_EQ(query->FieldNamed("WHO")->DataType(), platform::ftReference);
    EXPECT_EQ(query->FieldNamed("TAGS")->DataType(), platform::ftDataSet);
    auto* home = GetFieldObject(*query, "HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(home->AttrAsString("STREET"), "Main 1");
    EXPECT_EQ(home->AttrAsInteger("ZIP"), 12345);
    auto* phones = dynamic_cast<TOraArray*>(GetFieldObject(*query, "PHONES"));
    ASSERT_NE(phones, nullptr);
    EXPECT_EQ(phones->ElementAsString(1), "556");
    auto* who = dynamic_cast<TOraRef*>(GetFieldObject(*query, "WHO"));
    ASSERT_NE(who, nullptr);
    EXPECT_EQ(who->AttrAsString("NAME"), "Ann");

    TOraNestedTable nested;
    nested.SetDataSetField(static_cast<platform::TDataSetField*>(query->FieldNamed("TAGS")));
    nested.OpenDataSet();
    const auto rows = [&nested] {
        std::vector<double> values;
        for (nested.MoveToFirst(); !nested.Eof(); nested.MoveToNext())
            values.push_back(nested.Fields().FieldAt(0)->ReadAsFloat());
        return values;
    };
    const std::vector<std::vector<double>> expected = {{7, 8, 9}, {}, {1}};
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(query->FieldNamed("ID")->ReadAsInteger(), static_cast<int>(i + 1));
        EXPECT_EQ(rows(), expected[i]);
        query->MoveToNext();
    }
    query->MoveToFirst();
    EXPECT_EQ(rows(), expected[0]);

    // On the REF field the nested dataset shows the object it points to, or nothing.
    TOraNestedTable owner;
    owner.SetDataSetField(static_cast<platform::TDataSetField*>(query->FieldNamed("WHO")));
    owner.OpenDataSet();
    const char* const owners[] = {"Ann", nullptr, "Bob"};
    for (const char* name : owners) {
        SCOPED_TRACE(name ? name : "none");
        EXPECT_EQ(owner.IsEmpty(), name == nullptr);
        if (name) EXPECT_EQ(owner.FieldNamed("NAME")->ReadAsString(), name);
        query->MoveToNext();
    }
    owner.CloseDataSet();
    nested.CloseDataSet();
    query->CloseDataSet();
}

// The member fields of the query's object and array fields read their own attributes and
// elements (not the bytes of another column), whether or not the query shows objects.
class ObjectViewQueryTest : public testing::OraQueryTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ObjectViewQueryTest, MemberFieldsReadTheirAttributes) {
    TContactSchema schema([this](const std::string& sql) { Exec(sql); });
    schema.InsertContacts();
    auto query = NewQuery("SELECT ID, HOME, PHONES FROM " + schema.contacts_ + " ORDER BY ID");
    query->SetObjectView(GetParam());
    query->OpenDataSet();
    const auto member = [](platform::TField* parent, const char* name) -> platform::TField* {
        auto* object = dynamic_cast<platform::TObjectField*>(parent);
        return object ? object->Fields().FindField(name) : nullptr;
    };
    const auto text = [](platform::TField* field) -> std::string {
        return !field ? "<none>" : field->IsNull() ? "<null>" : field->ReadAsString();
    };
    platform::TField* home = query->FieldNamed("HOME");
    platform::TField* phones = query->FieldNamed("PHONES");
    const struct {
        int id;
        const char *street, *zip, *phone0, *phone1, *phone2;
    } expected[] = {
        {1, "Main 1", "12345", "555", "556", "<null>"},
        {2, "<null>", "<null>", "<null>", "<null>", "<null>"},
        {3, "Side 2", "<null>", "777", "<null>", "<null>"},
    };
    for (const auto& row : expected) {
        SCOPED_TRACE(row.id);
        ASSERT_FALSE(query->Eof());
        EXPECT_EQ(query->FieldNamed("ID")->ReadAsInteger(), row.id);
        EXPECT_EQ(text(member(home, "STREET")), row.street);
        EXPECT_EQ(text(member(home, "ZIP")), row.zip);
        EXPECT_EQ(text(member(phones, "0")), row.phone0);
        EXPECT_EQ(text(member(phones, "1")), row.phone1);
        EXPECT_EQ(text(member(phones, "2")), row.phone2);
        query->MoveToNext();
    }
    EXPECT_TRUE(query->Eof());
    // Object view names the object fields after their types.
    const std::string typeName = dynamic_cast<platform::TObjectField&>(*home).ObjectType();
    if (GetParam())
        EXPECT_NE(typeName.find(schema.addr_), std::string::npos) << typeName;
    else
        EXPECT_EQ(typeName, "");
    query->CloseDataSet();
}

INSTANTIATE_TEST_SUITE_P(ObjectView, ObjectViewQueryTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "On" : "Off"; });

// The statement component's object and nested-table parameters: a nested table goes into
// an INSERT, an object comes back out of a block.
TEST_F(ObjectQueryTest, StatementObjectParametersTravelBothWays) {
    TContactSchema schema([this](const std::string& sql) { Exec(sql); });
    oci::OCISvcCtx* const svcCtx = session_->OraConnection()->GetSvcCtx();
    auto tagsType = Hold(NewShared<TOraType>(svcCtx, schema.tags_));
    auto personType = Hold(NewShared<TOraType>(svcCtx, schema.person_));

    auto insert = platform::NewUnownedComponent<TOraSQL>();
    insert->SetSession(session_.get());
    insert->SetSQLText("INSERT INTO " + schema.contacts_ + " (ID, TAGS) VALUES (8, :TAGS)");
    TOraNestTable* tags = insert->ParamByName("TAGS").NestTableValue();
    ASSERT_NE(tags, nullptr);
    tags->SetObjectType(tagsType.get());
    tags->SetSvcCtx(svcCtx);
    tags->SetElementAsFloat(0, 4);
    tags->SetElementAsFloat(1, 5);
    insert->ParamByName("TAGS").SetParamType(platform::ptInput);
    insert->Execute();

    auto block = platform::NewUnownedComponent<TOraSQL>();
    block->SetSession(session_.get());
    block->SetSQLText("begin select value(p) into :P from " + schema.persons_ + " p where p.name = 'Ann'; " +
                      "select tags into :T from " + schema.contacts_ + " where id = 8; end;");
    TOraObject* person = block->ParamByName("P").ObjectValue();
    ASSERT_NE(person, nullptr);
    person->SetObjectType(personType.get());
    block->ParamByName("P").SetParamType(platform::ptOutput);
    TOraNestTable* back = block->ParamByName("T").NestTableValue();
    back->SetObjectType(tagsType.get());
    block->ParamByName("T").SetParamType(platform::ptOutput);
    block->Execute();
    EXPECT_EQ(person->AttrAsString("NAME"), "Ann");
    EXPECT_EQ(person->AttrAsInteger("AGE"), 30);
    EXPECT_EQ(Numbers(*back), (std::vector<double>{4, 5}));
}

// A session that disconnects gives back what the parameters of its statements and datasets
// hold on the client's side: object instances and LOB locators are unknown to the client
// afterwards (freeing them again is refused).
TEST_F(ObjectQueryTest, ParameterObjectsAndLocatorsAreFreedAtDisconnect) {
    TContactSchema schema([this](const std::string& sql) { Exec(sql); });
    const std::string table = schema.contacts_ + "_DOCS";
    Exec("CREATE TABLE " + table + " (ID NUMBER(9), WHO " + schema.person_ + ", DOC CLOB)");
    const std::string insert =
        "INSERT INTO " + table + " (ID, WHO, DOC) VALUES (1, :WHO, EMPTY_CLOB()) RETURNING DOC INTO :DOC";
    oci::OCISvcCtx* const svcCtx = session_->OraConnection()->GetSvcCtx();
    auto personType = Hold(NewShared<TOraType>(svcCtx, schema.person_));
    auto statement = platform::NewUnownedComponent<TOraSQL>();
    statement->SetSession(session_.get());
    statement->SetSQLText(insert);
    auto query = NewQuery(insert);
    const struct {
        const char* holder;
        TOraParams& params;
        std::function<void()> execute;
    } holders[] = {
        {"statement", statement->Params(), [&] { statement->Execute(); }},
        {"dataset", query->Params(), [&] { query->ExecuteDataSet(); }},
    };
    struct THeld {
        const char* holder;
        void* instance;
        oci::OCILobLocator* locator;
    };
    std::vector<THeld> held;
    const auto& client = OciClient();
    for (const auto& h : holders) {
        SCOPED_TRACE(h.holder);
        TOraParam& who = h.params.ParamByName("WHO");
        TOraObject* person = who.ObjectValue();
        person->SetObjectType(personType.get());
        person->SetSvcCtx(svcCtx);
        person->SetAttrAsString("NAME", h.holder);
        who.SetParamType(platform::ptInput);
        TOraParam& doc = h.params.ParamByName("DOC");
        doc.SetDataType(platform::ftOraClob);
        doc.SetParamType(platform::ptOutput);
        h.execute();
        auto* lob = dynamic_cast<TOraLob*>(doc.BlobValue());
        ASSERT_NE(lob, nullptr);
        held.push_back({h.holder, person->Instance(), lob->Locator()});
        // Both live on the client while the session is connected.
        void* indicator = nullptr;
        EXPECT_EQ(Oci.OCIObjectGetInd(client.Environment, client.ErrorHandle, held.back().instance, &indicator),
                  oci::OCI_SUCCESS);
        oci::ub4 length = 1;
        EXPECT_EQ(Oci.OCILobGetLength(svcCtx, client.ErrorHandle, held.back().locator, &length), oci::OCI_SUCCESS);
        EXPECT_EQ(length, 0u);
    }
    EXPECT_EQ(Count(*session_, table), 2);
    session_->Disconnect();
    for (const THeld& h : held) {
        EXPECT_EQ(Oci.OCIObjectFree(client.Environment, client.ErrorHandle, h.instance, oci::OCI_OBJECTFREE_FORCE),
                  oci::OCI_INVALID_HANDLE)
            << h.holder;
        EXPECT_EQ(Oci.OCIDescriptorFree(h.locator, oci::OCI_DTYPE_LOB), oci::OCI_INVALID_HANDLE) << h.holder;
    }
}

// A nested table of objects: the nested dataset's fields are the element type's attributes.
TEST_F(ObjectQueryTest, ANestedTableOfObjectsShowsTheirAttributes) {
    TContactSchema schema([this](const std::string& sql) { Exec(sql); });
    const std::string people = schema.person_ + "_TAB", teams = schema.contacts_ + "_TEAMS";
    Exec("CREATE TYPE " + people + " AS TABLE OF " + schema.person_);
    Exec("CREATE TABLE " + teams + " (ID NUMBER(9), MEMBERS " + people + ") NESTED TABLE MEMBERS STORE AS " + teams +
         "_M");
    Exec("INSERT INTO " + teams + " VALUES (1, " + people + "(" + schema.person_ + "('Cy', 21), " + schema.person_ +
         "('Di', 22)))");
    Exec("INSERT INTO " + teams + " VALUES (2, " + people + "(" + schema.person_ + "('Ed', 23)))");
    auto query = NewQuery("SELECT ID, MEMBERS FROM " + teams + " ORDER BY ID");
    query->OpenDataSet();
    TOraNestedTable members;
    members.SetDataSetField(static_cast<platform::TDataSetField*>(query->FieldNamed("MEMBERS")));
    members.OpenDataSet();
    const std::vector<std::vector<std::string>> expected = {{"Cy:21", "Di:22"}, {"Ed:23"}};
    for (const auto& team : expected) {
        std::vector<std::string> rows;
        for (members.MoveToFirst(); !members.Eof(); members.MoveToNext())
            rows.push_back(members.FieldNamed("NAME")->ReadAsString() + ":" + members.FieldNamed("AGE")->ReadAsString());
        EXPECT_EQ(rows, team);
        query->MoveToNext();
    }
}

}  // namespace
}  // namespace oracle
