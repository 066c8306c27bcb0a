// Object and array columns of a query: in its update statements a parameter named after
// such a column gets the current record's object, also when the query has no field for the
// column (persistent fields leaving it out), and the server stores the edited value; dates
// inside objects and in date columns serve as Locate and Lookup keys.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "oracle/oci/OraFields.h"
#include "oracle/oci/OraNestedTable.h"
#include "oracle/oci/OraObject.h"
#include "platform/Field.h"
#include "tests/oracle/oci/OraQueryFixture.h"

#include <windows.h>

namespace oracle {
namespace {

class UpdateObjectsTest : public testing::OraQueryTest {
protected:
    void SetUp() override {
        OraQueryTest::SetUp();
        const std::string suffix = testing::UniqueNameSuffix();
        addr_ = "UO_ADDR" + suffix;
        phones_ = "UO_PHONES" + suffix;
        table_ = "UO_PEOPLE" + suffix;
        Exec("CREATE TYPE " + addr_ + " AS OBJECT (STREET VARCHAR2(20), ZIP NUMBER(5))");
        Exec("CREATE TYPE " + phones_ + " AS VARRAY(3) OF VARCHAR2(12)");
        Exec("CREATE TABLE " + table_ + " (ID NUMBER(9), HOME " + addr_ + ", PHONES " + phones_ + ", NOTE VARCHAR2(10))");
        Exec("INSERT INTO " + table_ + " VALUES (1, " + addr_ + "('Main 1', 12345), " + phones_ + "('555', '556'), 'a')");
        Exec("INSERT INTO " + table_ + " VALUES (2, " + addr_ + "('Side 2', 54321), " + phones_ + "('777'), 'b')");
    }

    // The query over the table, with only the ID field when persistent fields are asked for.
    std::unique_ptr<TOraQuery> NewPeopleQuery(bool onlyId) {
        auto query = NewQuery("SELECT ID, HOME, PHONES, NOTE FROM " + table_ + " ORDER BY ID");
        if (onlyId) {
            query->PrepareDataSet();
            platform::TFieldDef* def = query->FieldDefs().Find("ID");
            EXPECT_NE(def, nullptr);
            idField_ = OraFieldForType(def->DataType());
            idField_->SetFieldName("ID");
            idField_->BindToDataSet(query.get());
        }
        return query;
    }

    void Release(TOraQuery& query) {
        query.CloseDataSet();
        if (idField_) idField_->BindToDataSet(nullptr);
    }

    struct TRow {
        std::string street;
        std::vector<std::string> phones;
    };
    TRow ReadBack(int id) {
        auto query = NewQuery("SELECT HOME, PHONES FROM " + table_ + " WHERE ID = " + std::to_string(id));
        query->OpenDataSet();
        TRow row;
        if (query->Eof()) return row;
        row.street = GetFieldObject(*query, "HOME")->AttrAsString("STREET");
        auto* phones = dynamic_cast<TOraArray*>(GetFieldObject(*query, "PHONES"));
        for (int i = 0; phones && i < phones->Size(); ++i) row.phones.push_back(phones->ElementAsString(i));
        query->CloseDataSet();
        return row;
    }

    std::string addr_, phones_, table_;
    std::unique_ptr<platform::TField> idField_;
};

// Default fields (the columns have fields of their own, objects not shown as objects) and
// persistent fields without the object columns.
TEST_F(UpdateObjectsTest, EditedObjectsReachTheServerWithOrWithoutTheirFields) {
    const struct {
        const char* name;
        bool onlyId;
    } setups[] = {{"default fields", false}, {"only the ID field", true}};
    const char* const streets[] = {"Hill 3", "Lane 4"};
    for (int s = 0; s < 2; ++s) {
        const auto& setup = setups[s];
        SCOPED_TRACE(setup.name);
        auto query = NewPeopleQuery(setup.onlyId);
        query->SetObjectView(false);
        query->SQLUpdate().Add("UPDATE " + table_ + " SET home = :HOME, phones = :PHONES WHERE id = :OLD_ID");
        query->OpenDataSet();
        ASSERT_TRUE(query->Active());
        EXPECT_EQ(query->FindField("HOME") == nullptr, setup.onlyId);
        query->MoveToNext();  // the second row
        query->BeginEdit();
        GetFieldObject(*query, "HOME")->SetAttrAsString("STREET", streets[s]);
        auto* phones = dynamic_cast<TOraArray*>(GetFieldObject(*query, "PHONES"));
        ASSERT_NE(phones, nullptr);
        phones->SetElementAsString(1, "888");
        query->PostChanges();
        EXPECT_EQ(query->RowsAffected(), 1);
        Release(*query);

        const TRow second = ReadBack(2);
        EXPECT_EQ(second.street, streets[s]);
        EXPECT_EQ(second.phones, (std::vector<std::string>{"777", "888"}));
        const TRow first = ReadBack(1);
        EXPECT_EQ(first.street, "Main 1");
        EXPECT_EQ(first.phones, (std::vector<std::string>{"555", "556"}));
    }
}

// Only object and array columns stand in for missing fields: a plain column left out of the
// persistent fields is still no parameter source.
TEST_F(UpdateObjectsTest, APlainColumnWithoutAFieldIsNoParameterSource) {
    auto query = NewPeopleQuery(true);
    query->SQLUpdate().Add("UPDATE " + table_ + " SET note = :NOTE WHERE id = :OLD_ID");
    query->OpenDataSet();
    query->BeginEdit();
    try {
        query->PostChanges();
        ADD_FAILURE() << "posted without a source for NOTE";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Not found field corresponding parameter NOTE");
    }
    query->CancelChanges();
    Release(*query);
}

// Date keys against server dates: a DATE column and a DATE attribute of an object column.
TEST_F(UpdateObjectsTest, LocateAndLookupFindServerDatesInColumnsAndAttributes) {
    const std::string suffix = testing::UniqueNameSuffix();
    const std::string stay = "UO_STAY" + suffix;
    const std::string visits = "UO_VISITS" + suffix;
    Exec("CREATE TYPE " + stay + " AS OBJECT (SINCE DATE, ROOM NUMBER(3))");
    Exec("CREATE TABLE " + visits + " (ID NUMBER(9), STAY " + stay + ", SEEN DATE)");
    Exec("INSERT INTO " + visits + " VALUES (1, " + stay + "(TO_DATE('2001-02-03', 'YYYY-MM-DD'), 10), " +
         "TO_DATE('2010-05-06 07:08:09', 'YYYY-MM-DD HH24:MI:SS'))");
    Exec("INSERT INTO " + visits + " VALUES (2, NULL, TO_DATE('2001-02-03', 'YYYY-MM-DD'))");
    Exec("INSERT INTO " + visits + " VALUES (3, " + stay + "(TO_DATE('2010-05-06', 'YYYY-MM-DD'), 20), NULL)");
    auto query = NewQuery("SELECT ID, STAY, SEEN FROM " + visits + " ORDER BY ID");
    query->OpenDataSet();
    const platform::TDateTime feb3 = platform::EncodeDate(2001, 2, 3), may6 = platform::EncodeDate(2010, 5, 6);
    const platform::TDateTime may6Time = may6 + (7 * 3600 + 8 * 60 + 9) / 86400.0;
    const struct {
        const char* field;
        platform::Variant key;
        int id;  // 0: not found
    } cases[] = {
        {"STAY.SINCE", platform::Variant::FromDateTime(may6), 3},
        {"STAY.SINCE", platform::Variant::FromDateTime(feb3), 1},
        {"STAY.SINCE", platform::Variant::FromDateTime(may6Time), 0},
        {"SEEN", platform::Variant::FromDateTime(feb3), 2},
        {"SEEN", platform::Variant::FromDateTime(may6Time), 1},
        {"SEEN", platform::Variant::FromDateTime(may6), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + std::to_string(c.id));
        query->MoveToFirst();
        EXPECT_EQ(query->LocateByValues(c.field, c.key, 0), c.id != 0);
        EXPECT_EQ(query->FieldNamed("ID")->ReadAsInteger(), c.id != 0 ? c.id : 1);
        const platform::Variant looked = query->LookupValues(c.field, c.key, "ID");
        EXPECT_EQ(looked.IsNull() ? 0 : looked.AsInteger(), c.id);
    }
    query->CloseDataSet();
}

}  // namespace
}  // namespace oracle
