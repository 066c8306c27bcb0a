// Object values in tables: object tables with their object ids and REFs, columns of object,
// collection and REF types, and the writes of a client's object cache.
#include <gtest/gtest.h>

#include <map>

#include "standins/oracle/protocol/ObjectImage.h"
#include "tests/native/OracleServerTestSupport.h"

namespace orastandin::testing {
namespace {

class OracleObjectTableTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    Exec(*session_, "create type address_t as object (street varchar2(20), zip number(5))");
    Exec(*session_, "create type phones_t as table of varchar2(12)");
    Exec(*session_, "create type scores_t as varray(2) of number");
    Exec(*session_, "create type person_t as object (name varchar2(10), age number(3), born date)");
    Exec(*session_, "create table persons of person_t");
  }

  ObjectImage Image(const Value& v) {
    ObjectImage image;
    EXPECT_TRUE(v.kind == Value::Kind::Blob && ObjectImage::Decode(v.bytes, image));
    return image;
  }
  ObjectImage ImageOf(Session& s, const std::string& sql, const std::vector<BindValue>& binds = {}) {
    ExecuteReply r = Exec(s, sql, binds);
    EXPECT_FALSE(r.rows.empty()) << sql;
    return r.rows.empty() ? ObjectImage{} : Image(r.rows[0][0]);
  }
  // An object's attributes as text, joined by "|".
  static std::string Items(const ObjectImage& image) {
    std::string text;
    for (std::size_t i = 0; i < image.items.size(); ++i) text += (i ? "|" : "") + TextOf(image.items[i]);
    return text;
  }
  ObjectImage RefTo(const std::string& name) {
    return ImageOf(*session_, "select ref(p) from persons p where p.name = :n", {{"N", Value::Text(name)}});
  }
};

TEST_F(OracleObjectTableTest, RowsOfAnObjectTableAreObjectsWithTheirAttributesAsColumns) {
  Exec(*session_, "insert into persons values (person_t('Ann', 30, to_date('2001-02-03', 'YYYY-MM-DD')))");
  Exec(*session_, "insert into persons values ('Bob', 40, null)");
  Exec(*session_, "insert into persons (name, age) values ('Cid', 50)");
  ExecuteReply all = Exec(*session_, "select * from persons order by name");
  ASSERT_EQ(all.columns.size(), 3u);
  EXPECT_EQ(all.columns[1].name, "AGE");
  EXPECT_EQ(all.columns[2].oraType, oratype::Date);
  EXPECT_EQ(Scalar(*session_, "select count(*) from persons where age >= 40"), "2");
  EXPECT_EQ(Scalar(*session_, "select table_type from user_object_tables where table_name = 'PERSONS'"), "PERSON_T");

  // An object of one attribute gives its value too (not itself).
  Exec(*session_, "create type tag_t as object (label varchar2(10))");
  Exec(*session_, "create table tags of tag_t");
  Exec(*session_, "insert into tags values (tag_t('red'))");
  Exec(*session_, "insert into tags values ('blue')");
  EXPECT_EQ(Scalar(*session_, "select count(*) from tags where label in ('red', 'blue')"), "2");

  ObjectImage ann = ImageOf(*session_, "select value(p) from persons p where name = 'Ann'");
  EXPECT_EQ(ann.kind, ObjectImage::Kind::Object);
  EXPECT_EQ(ann.typeName, "PERSON_T");
  EXPECT_EQ(Items(ann), "Ann|30|2001-02-03 00:00:00");
  EXPECT_TRUE(ann.items[2].isDate);
}

TEST_F(OracleObjectTableTest, ARefNamesOneObjectUntilItIsDeleted) {
  // Described by their kind even without rows.
  ExecuteReply empty = Exec(*session_, "select p.name, ref(p) r, value(p), address_t('x', 1) from persons p");
  ASSERT_EQ(empty.columns.size(), 4u);
  const struct {
    int oraType;
    const char* typeName;
  } kinds[] = {{oratype::Varchar2, ""}, {oratype::Ref, "PERSON_T"}, {oratype::Named, "PERSON_T"},
               {oratype::Named, "ADDRESS_T"}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(empty.columns[i].oraType, kinds[i].oraType) << i;
    EXPECT_EQ(empty.columns[i].typeName, kinds[i].typeName) << i;
  }
  Exec(*session_, "insert into persons values (person_t('Ann', 30, null))");
  Exec(*session_, "insert into persons values (person_t('Bob', 40, null))");
  ExecuteReply described = Exec(*session_, "select ref(p) from persons p where p.name = 'Ann'");
  ASSERT_EQ(described.columns.size(), 1u);
  EXPECT_EQ(described.columns[0].oraType, oratype::Ref);
  EXPECT_EQ(described.columns[0].typeName, "PERSON_T");
  ObjectImage ann = RefTo("Ann"), bob = RefTo("Bob");
  EXPECT_EQ(ann.kind, ObjectImage::Kind::Ref);
  EXPECT_EQ(ann.table, "PERSONS");
  EXPECT_NE(ann.oid, bob.oid);
  EXPECT_EQ(Items(ImageOf(*session_, "select deref(:r) from dual", {{"R", ann.AsValue()}})), "Ann|30|");

  // A new row never takes a deleted object's id: the old REF stays dangling.
  Exec(*session_, "delete from persons where name = 'Bob'");
  Exec(*session_, "insert into persons values (person_t('Dan', 20, null))");
  EXPECT_EQ(Scalar(*session_, "select deref(:r) from dual", {{"R", bob.AsValue()}}), "");
  EXPECT_NE(RefTo("Dan").oid, bob.oid);
}

TEST_F(OracleObjectTableTest, ColumnsOfObjectCollectionAndRefTypesKeepTheirValues) {
  Exec(*session_, "create table contacts (id number, home address_t, phones phones_t, scores scores_t, "
                  "who ref person_t scope is persons) nested table phones store as contact_phones");
  Exec(*session_, "insert into persons values (person_t('Ann', 30, null))");
  Exec(*session_, "insert into contacts select 1, address_t('Main 1', 12345), phones_t('555', '556'), "
                  "scores_t(7), ref(p) from persons p where p.name = 'Ann'");
  Exec(*session_, "insert into contacts values (2, null, phones_t(), null, null)");
  ExecuteReply r = Exec(*session_, "select home, phones, scores, who from contacts order by id");
  ASSERT_EQ(r.columns.size(), 4u);
  const struct {
    int oraType;
    const char* typeName;
  } expected[] = {{oratype::Named, "ADDRESS_T"}, {oratype::Named, "PHONES_T"}, {oratype::Named, "SCORES_T"},
                  {oratype::Ref, "PERSON_T"}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.columns[i].oraType, expected[i].oraType) << i;
    EXPECT_EQ(r.columns[i].typeName, expected[i].typeName) << i;
  }
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(Items(Image(r.rows[0][0])), "Main 1|12345");
  EXPECT_EQ(Image(r.rows[0][1]).kind, ObjectImage::Kind::Collection);
  EXPECT_EQ(Items(Image(r.rows[0][1])), "555|556");
  EXPECT_EQ(Items(Image(r.rows[0][2])), "7");
  EXPECT_EQ(Image(r.rows[0][3]).oid, RefTo("Ann").oid);
  EXPECT_TRUE(r.rows[1][0].IsNull());
  EXPECT_EQ(Image(r.rows[1][1]).items.size(), 0u);
  EXPECT_EQ(Items(ImageOf(*session_, "select deref(who) from contacts where id = 1")), "Ann|30|");
}

TEST_F(OracleObjectTableTest, ConstructorsCheckTheirArguments) {
  Exec(*session_, "create table places (id number, home address_t, scores scores_t)");
  const struct {
    const char* sql;
    int code;
  } cases[] = {
      {"insert into places values (1, address_t('Main'), null)", 2315},
      {"insert into places values (1, address_t('Main', 1, 2), null)", 2315},
      {"insert into places values (1, address_t('Main', 'x'), null)", 1722},
      {"insert into places values (1, address_t('a much too long street name', 1), null)", 1401},
      {"insert into places values (1, null, scores_t(1, 2, 3))", 22909},
      {"insert into places values (1, scores_t(1), null)", 932},
      {"insert into persons values (person_t('Ann', 30))", 2315},
      {"select ref(q) from persons p", 904},
      {"create table bad of scores_t", 22913},
      {"create table bad of nothing_t", 902},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(*session_, c.sql), c.code) << c.sql;
  EXPECT_EQ(Scalar(*session_, "select count(*) from places"), "0");
}

TEST_F(OracleObjectTableTest, AFlushStoresUpdatesAndDeletesInTheSessionsTransaction) {
  ObjectImage ref;
  ref.kind = ObjectImage::Kind::Ref;
  ref.typeName = "PERSON_T";
  ref.table = "PERSONS";
  ref.oid = 4242;
  ObjectImage object;
  object.typeName = "PERSON_T";
  object.items = {Value::Text("Eve"), Value::Int(33), Value::Null()};
  session_->FlushObject(false, ref.AsValue(), object.AsValue());
  EXPECT_EQ(RefTo("Eve").oid, 4242);
  auto other = Logon();
  EXPECT_EQ(Scalar(*other, "select count(*) from persons"), "0");  // not committed yet

  object.items[1] = Value::Int(34);
  session_->FlushObject(false, ref.AsValue(), object.AsValue());
  session_->Commit();
  EXPECT_EQ(Scalar(*other, "select age from persons"), "34");
  EXPECT_EQ(Scalar(*other, "select count(*) from persons"), "1");

  session_->FlushObject(true, ref.AsValue(), Value::Null());
  EXPECT_EQ(Scalar(*session_, "select count(*) from persons"), "0");
  try {
    session_->FlushObject(true, ref.AsValue(), Value::Null());
    ADD_FAILURE() << "deleted twice";
  } catch (const OraError& e) {
    EXPECT_EQ(e.Code(), 21700);
  }
  session_->Rollback();
  EXPECT_EQ(Scalar(*session_, "select name from persons"), "Eve");

  // Objects keep their attributes' types: the wrong count, a text too long, a number too large.
  const struct {
    std::vector<Value> items;
    int code;
  } wrong[] = {{{Value::Text("Eve")}, 932},
               {{Value::Text("Evangelina!"), Value::Int(1), Value::Null()}, 1401},
               {{Value::Text("Eve"), Value::Int(1000), Value::Null()}, 1438}};
  for (const auto& w : wrong) {
    object.items = w.items;
    try {
      session_->FlushObject(false, ref.AsValue(), object.AsValue());
      ADD_FAILURE() << w.code;
    } catch (const OraError& e) {
      EXPECT_EQ(e.Code(), w.code);
    }
  }
  EXPECT_EQ(Scalar(*session_, "select age from persons"), "34");
}

TEST_F(OracleObjectTableTest, DroppingAnObjectTableForgetsItsObjects) {
  Exec(*session_, "insert into persons values (person_t('Ann', 30, null))");
  ObjectImage ann = RefTo("Ann");
  Exec(*session_, "drop table persons");
  EXPECT_EQ(Scalar(*session_, "select count(*) from user_object_tables"), "0");
  EXPECT_EQ(Scalar(*session_, "select deref(:r) from dual", {{"R", ann.AsValue()}}), "");
  Exec(*session_, "create table persons of person_t");
  Exec(*session_, "insert into persons values (person_t('Bob', 40, null))");
  EXPECT_EQ(Scalar(*session_, "select name from persons"), "Bob");
}

// PL/SQL table binds travel as collections: elements read by index and bounds, assigned
// elements grow the table.
TEST_F(OracleObjectTableTest, BlocksReadAndWriteTableBinds) {
  ObjectImage numbers;
  numbers.kind = ObjectImage::Kind::Collection;
  numbers.items = {Value::Int(10), Value::Int(20), Value::Int(30)};
  ExecuteReply r = Exec(*session_,
                        "begin :total := 0; for i in 1 .. :t.count loop :total := :total + :t(i); end loop; "
                        ":t(5) := :t.last * 2; :o(2) := 'x'; :first := :o.first; end;",
                        {{"T", numbers.AsValue()}, {"TOTAL", Value::Null()}, {"O", Value::Null()},
                         {"FIRST", Value::Null()}});
  std::map<std::string, Value> out;
  for (const auto& b : r.outBinds) out[b.name] = b.value;
  EXPECT_EQ(TextOf(out["TOTAL"]), "60");
  EXPECT_EQ(Items(Image(out["T"])), "10|20|30||6");
  EXPECT_EQ(Items(Image(out["O"])), "|x");
  EXPECT_EQ(TextOf(out["FIRST"]), "1");
  EXPECT_EQ(ErrorOf(*session_, "begin :x := 1; end;"), 0);
  EXPECT_NE(ErrorOf(*session_, "declare v number; begin v := :t(1); end;"), 0);  // an unbound table
}

}  // namespace
}  // namespace orastandin::testing
