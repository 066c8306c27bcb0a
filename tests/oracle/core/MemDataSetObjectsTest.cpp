// Object and array columns of the in-memory dataset: the member fields of an object or
// array field read and write their own attributes, never the bytes of another column.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "oracle/core/MemDataSet.h"
#include "oracle/core/ObjectType.h"
#include "platform/Field.h"

namespace oracle {
namespace {

using namespace platform;

// An object value keeping its attributes by path: texts, and the integer attributes
// (paths ending in ZIP) as 32-bit numbers.
class ValueObject : public TDBObject {
public:
    std::map<std::string, std::string> values;
    static bool IsNumber(const std::string& path) { return path.size() >= 3 && path.substr(path.size() - 3) == "ZIP"; }
    void GetAttributeValue(const std::string& path, void* dest, bool& isNull) override {
        auto it = values.find(path);
        isNull = it == values.end();
        if (!dest || isNull) return;
        if (IsNumber(path)) {
            const int32_t number = std::stoi(it->second);
            std::memcpy(dest, &number, sizeof(number));
        } else {
            std::strcpy(static_cast<char*>(dest), it->second.c_str());
        }
    }
    void SetAttributeValue(const std::string& path, const void* value) override {
        if (!value)
            values.erase(path);
        else if (IsNumber(path))
            values[path] = std::to_string(*static_cast<const int32_t*>(value));
        else
            values[path] = static_cast<const char*>(value);
    }
};

using test::AddAttribute;
using test::MakeType;

// Columns ID, HOME ADDR_T (STREET, ZIP, LINES LINES_T(2) OF VARCHAR), PHONES PHONES_T(3)
// OF VARCHAR, NOTE; the store's descriptors, in order:
//   1 ID, 2 HOME, 3 STREET, 4 ZIP, 5 LINES, 6 [0], 7 [1], 8 PHONES, 9 [0], 10 [1], 11 [2], 12 NOTE.
class ObjectColumns : public ::testing::Test {
protected:
    struct Row {
        int32_t id;
        std::map<std::string, std::string> home, phones;
        const char* note;
    };

    void SetUp() override {
        lines_ = MakeType("LINES_T", dtArray, 2);
        AddAttribute(lines_, "ELEMENT", dtString, 8);
        addr_ = MakeType("ADDR_T", dtObject);
        AddAttribute(addr_, "STREET", dtString, 20);
        AddAttribute(addr_, "ZIP", dtInteger, 5);
        AddAttribute(addr_, "LINES", dtArray, 0, lines_);
        phones_ = MakeType("PHONES_T", dtArray, 3);
        AddAttribute(phones_, "ELEMENT", dtString, 12);
    }
    void TearDown() override {
        ds_.reset();
        for (ValueObject* object : objects_) object->Release();
        for (TObjectType* type : {addr_, phones_, lines_}) type->Release();
    }

    // withAttributes false: the store knows the object types of its columns but made no
    // descriptors for their attributes.
    void MakeDataSet(bool withAttributes) {
        ds_ = std::make_unique<TMemDataSet>(nullptr);
        TData& store = *ds_->Data();
        store.AutoInitFields = false;
        test::AddField(store, {"ID", dtInteger, 9});
        TFieldDesc* home = test::AddField(store, {"HOME", dtObject});
        home->SetObjectType(addr_);
        if (withAttributes) store.InitObjectFields(addr_, home);
        TFieldDesc* phones = test::AddField(store, {"PHONES", dtArray});
        phones->SetObjectType(phones_);
        if (withAttributes) store.InitObjectFields(phones_, phones);
        test::AddField(store, {"NOTE", dtString, 10});
    }

    // Rows are put into the open store directly: the dataset makes no objects of its own.
    void Append(const Row& row) {
        TData& store = *ds_->Data();
        std::vector<char> record(static_cast<size_t>(store.RecordSize()));
        store.InitRecord(record.data());
        store.PutField(1, record.data(), &row.id);
        store.PutField(store.FindField("NOTE")->FieldNo, record.data(), row.note);
        for (auto [column, values] : {std::pair{"HOME", &row.home}, std::pair{"PHONES", &row.phones}}) {
            if (values->empty()) continue;
            auto* object = NewShared<ValueObject>();
            objects_.push_back(object);
            object->values = *values;
            const TFieldDesc* desc = store.FindField(column);
            TDBObject* held = object;
            std::memcpy(record.data() + desc->Offset, &held, sizeof(held));
            store.SetNull(desc->FieldNo, record.data(), false);
        }
        store.AppendRecord(record.data());
    }

    std::vector<Row> Rows() const {
        return {{1, {{"STREET", "Main 1"}, {"ZIP", "12345"}, {"LINES[0]", "left"}, {"LINES[1]", "up"}},
                 {{"[0]", "555"}, {"[1]", "556"}}, "first"},
                {2, {}, {}, "second"},
                {3, {{"STREET", "Side 2"}, {"LINES[1]", "down"}}, {{"[0]", "777"}}, "third"}};
    }

    void OpenWithRows(bool objectView) {
        ds_->SetObjectView(objectView);
        ds_->OpenDataSet();
        for (const Row& row : Rows()) Append(row);
        ds_->MoveToFirst();
    }

    static TField* Child(TField* parent, const char* name) {
        auto* object = dynamic_cast<TObjectField*>(parent);
        return object ? object->Fields().FindField(name) : nullptr;
    }
    static std::string Text(TField* field) { return !field ? "<none>" : field->IsNull() ? "<null>" : field->ReadAsString(); }

    TObjectType* addr_ = nullptr;
    TObjectType* phones_ = nullptr;
    TObjectType* lines_ = nullptr;
    std::vector<ValueObject*> objects_;
    std::unique_ptr<TMemDataSet> ds_;
};

TEST_F(ObjectColumns, ChildDefinitionsTakeTheFieldNumbersOfTheirAttributes) {
    MakeDataSet(true);
    ds_->PrepareDataSet();
    TFieldDefs& defs = ds_->FieldDefs();
    ASSERT_EQ(defs.Count(), 4);
    EXPECT_EQ(defs.Items(3).Name(), "NOTE");
    EXPECT_EQ(defs.Items(3).FieldNo(), 12);

    const struct {
        std::vector<std::string> path;  // top-level definition, then child names
        TFieldType type;
        int size;
        int fieldNo;
    } cases[] = {
        {{"HOME", "STREET"}, ftString, 20, 3},    {{"HOME", "ZIP"}, ftInteger, 0, 4},
        {{"HOME", "LINES"}, ftArray, 0, 5},       {{"HOME", "LINES", "0"}, ftString, 8, 6},
        {{"HOME", "LINES", "1"}, ftString, 8, 7}, {{"PHONES", "0"}, ftString, 12, 9},
        {{"PHONES", "2"}, ftString, 12, 11},
    };
    for (const auto& c : cases) {
        TFieldDef* def = defs.Find(c.path[0]);
        for (size_t i = 1; def && i < c.path.size(); ++i) def = def->ChildDefs().Find(c.path[i]);
        SCOPED_TRACE(c.path.back());
        ASSERT_NE(def, nullptr);
        EXPECT_EQ(def->DataType(), c.type);
        EXPECT_EQ(def->Size(), c.size);
        EXPECT_EQ(def->FieldNo(), c.fieldNo);
        EXPECT_FALSE(def->Required());
    }
    EXPECT_EQ(defs.Find("HOME")->ChildDefs().Count(), 3);
    EXPECT_EQ(defs.Find("PHONES")->ChildDefs().Count(), 3);
}

class ObjectColumnsInView : public ObjectColumns, public ::testing::WithParamInterface<bool> {};

TEST_P(ObjectColumnsInView, MemberFieldsReadTheirOwnAttributes) {
    MakeDataSet(true);
    OpenWithRows(GetParam());
    const struct {
        int id;
        const char *street, *zip, *line1, *phone0, *phone1, *note;
    } expected[] = {
        {1, "Main 1", "12345", "up", "555", "556", "first"},
        {2, "<null>", "<null>", "<null>", "<null>", "<null>", "second"},
        {3, "Side 2", "<null>", "down", "777", "<null>", "third"},
    };
    TField* home = ds_->FieldNamed("HOME");
    TField* phones = ds_->FieldNamed("PHONES");
    for (const auto& row : expected) {
        SCOPED_TRACE(row.id);
        ASSERT_FALSE(ds_->Eof());
        EXPECT_EQ(ds_->FieldNamed("ID")->ReadAsInteger(), row.id);
        EXPECT_EQ(Text(Child(home, "STREET")), row.street);
        EXPECT_EQ(Text(Child(home, "ZIP")), row.zip);
        EXPECT_EQ(Text(Child(Child(home, "LINES"), "1")), row.line1);
        EXPECT_EQ(Text(Child(phones, "0")), row.phone0);
        EXPECT_EQ(Text(Child(phones, "1")), row.phone1);
        EXPECT_EQ(Text(ds_->FieldNamed("NOTE")), row.note);
        ds_->MoveToNext();
    }
    EXPECT_TRUE(ds_->Eof());
}

TEST_P(ObjectColumnsInView, ObjectFieldsCarryTheirTypeNamesOnlyInObjectView) {
    MakeDataSet(true);
    OpenWithRows(GetParam());
    auto typeOf = [](TField* field) { return dynamic_cast<TObjectField&>(*field).ObjectType(); };
    const std::string addr = GetParam() ? "ADDR_T" : "", phones = GetParam() ? "PHONES_T" : "",
                      lines = GetParam() ? "LINES_T" : "";
    EXPECT_EQ(typeOf(ds_->FieldNamed("HOME")), addr);
    EXPECT_EQ(typeOf(ds_->FieldNamed("PHONES")), phones);
    EXPECT_EQ(typeOf(Child(ds_->FieldNamed("HOME"), "LINES")), lines);
}

TEST_P(ObjectColumnsInView, MemberFieldsWriteTheirOwnAttributes) {
    MakeDataSet(true);
    OpenWithRows(GetParam());
    TField* street = Child(ds_->FieldNamed("HOME"), "STREET");
    TField* phone = Child(ds_->FieldNamed("PHONES"), "1");
    ASSERT_TRUE(street && phone);
    ds_->BeginEdit();
    street->WriteAsString("Elm 3");
    phone->WriteAsString("999");
    ds_->PostChanges();
    EXPECT_EQ(objects_[0]->values["STREET"], "Elm 3");
    EXPECT_EQ(objects_[1]->values["[1]"], "999");
    EXPECT_EQ(ds_->FieldNamed("ID")->ReadAsInteger(), 1);
    EXPECT_EQ(Text(ds_->FieldNamed("NOTE")), "first");
}

INSTANTIATE_TEST_SUITE_P(ObjectView, ObjectColumnsInView, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "On" : "Off"; });

// Without attribute descriptors a member has no field number of its own: it is left out
// rather than read another column's bytes.
TEST_F(ObjectColumns, MembersWithoutDescriptorsAreLeftOut) {
    MakeDataSet(false);
    OpenWithRows(true);
    EXPECT_FALSE(ds_->FieldDefs().Find("HOME")->HasChildDefs());
    EXPECT_FALSE(ds_->FieldDefs().Find("PHONES")->HasChildDefs());
    EXPECT_EQ(dynamic_cast<TObjectField&>(*ds_->FieldNamed("HOME")).Fields().Count(), 0);
    EXPECT_EQ(ds_->FieldNamed("NOTE")->ReadAsString(), "first");
}

// A date attribute of an object column is a key like a date column: Locate and Lookup read
// it through the store from the row's object.
class DatedObject : public TDBObject {
public:
    std::map<std::string, double> msecs;
    void GetAttributeValue(const std::string& path, void* dest, bool& isNull) override {
        auto it = msecs.find(path);
        isNull = it == msecs.end();
        if (dest && !isNull) std::memcpy(dest, &it->second, sizeof(double));
    }
    void SetAttributeValue(const std::string& path, const void* value) override {
        if (value)
            std::memcpy(&msecs[path], value, sizeof(double));
        else
            msecs.erase(path);
    }
};

TEST(ObjectAttributeKeys, LocateAndLookupReadDateAttributesFromTheirObjects) {
    TObjectType* person = MakeType("PERSON_T", dtObject);
    AddAttribute(person, "BORN", dtDateTime, 0);
    std::vector<DatedObject*> objects;
    {
        TMemDataSet ds(nullptr);
        TData& store = *ds.Data();
        store.AutoInitFields = false;
        test::AddField(store, {"ID", dtInteger, 9});
        TFieldDesc* who = test::AddField(store, {"WHO", dtObject});
        who->SetObjectType(person);
        store.InitObjectFields(person, who);
        test::AddField(store, {"DUE", dtDateTime});
        ds.OpenDataSet();

        const TDateTime d1 = EncodeDate(1990, 5, 17), d2 = EncodeDate(2001, 1, 2), d3 = EncodeDate(2020, 12, 31);
        const struct {
            int32_t id;
            const TDateTime* born;  // none: the row's object is null
            TDateTime due;
        } rows[] = {{1, &d1, d2}, {2, nullptr, d3}, {3, &d3, d1}};
        for (const auto& row : rows) {
            std::vector<char> record(static_cast<size_t>(store.RecordSize()));
            store.InitRecord(record.data());
            store.PutField(1, record.data(), &row.id);
            const double due = DateTimeToMSecs(row.due);
            store.PutField(store.FindField("DUE")->FieldNo, record.data(), &due);
            if (row.born) {
                auto* object = NewShared<DatedObject>();
                objects.push_back(object);
                object->msecs["BORN"] = DateTimeToMSecs(*row.born);
                TDBObject* held = object;
                std::memcpy(record.data() + who->Offset, &held, sizeof(held));
                store.SetNull(who->FieldNo, record.data(), false);
            }
            store.AppendRecord(record.data());
        }
        ds.MoveToFirst();

        const struct {
            const char* field;
            Variant key;
            int id;  // 0: not found
        } cases[] = {
            {"WHO.BORN", Variant::FromDateTime(d3), 3}, {"WHO.BORN", Variant::FromDateTime(d1), 1},
            {"WHO.BORN", Variant::FromDateTime(d2), 0}, {"WHO.BORN", Variant::Null(), 2},
            {"DUE", Variant::FromDateTime(d3), 2},      {"DUE", Variant::FromDateTime(d1), 3},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.field) + " " + std::to_string(c.id));
            ds.MoveToFirst();
            EXPECT_EQ(ds.LocateByValues(c.field, c.key, 0), c.id != 0);
            EXPECT_EQ(ds.FieldNamed("ID")->ReadAsInteger(), c.id != 0 ? c.id : 1);
            const Variant looked = ds.LookupValues(c.field, c.key, "ID");
            if (c.id != 0)
                EXPECT_EQ(looked.AsInteger(), c.id);
            else
                EXPECT_TRUE(looked.IsNull());
        }
        ds.CloseDataSet();
    }
    for (DatedObject* object : objects) object->Release();
    person->Release();
}

}  // namespace
}  // namespace oracle
