// CREATE TYPE fills the type catalogue that a client's describe of a type reads.
#include <gtest/gtest.h>

#include "tests/native/OracleServerTestSupport.h"

namespace orastandin::testing {
namespace {

class OracleTypeTest : public ServerTest {
 protected:
  // The rows of a query, cells joined by "|", rows by ";" (NULL as "").
  std::string Rows(const std::string& sql) {
    std::string text;
    for (const auto& row : Exec(*session_, sql).rows) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) text += "|";
        text += TextOf(row[i]);
      }
      text += ";";
    }
    return text;
  }
};

TEST_F(OracleTypeTest, ObjectTypesListTheirAttributesInOrder) {
  Exec(*session_, "create or replace type address_t as object (\n  street varchar2(40),\n  zip char(5),\n"
                  "  house number(4),\n  area number(8,2),\n  weight number,\n  since date,\n"
                  "  member function label return varchar2\n)");
  Exec(*session_, "create type person_t as object (name varchar2(30), home address_t, boss ref person_t, "
                  "notes clob)");
  EXPECT_EQ(Rows("select type_name, typecode, attributes from user_types order by type_name"),
            "ADDRESS_T|OBJECT|6;PERSON_T|OBJECT|4;");
  EXPECT_EQ(Rows("select attr_no, attr_name, attr_type_mod, attr_type_owner, attr_type_name, length, precision, scale "
                 "from all_type_attrs where owner = 'SCOTT' and type_name = 'ADDRESS_T' order by attr_no"),
            "1|STREET|||VARCHAR2|40||;2|ZIP|||CHAR|5||;3|HOUSE|||NUMBER||4|0;4|AREA|||NUMBER||8|2;"
            "5|WEIGHT|||NUMBER|||;6|SINCE|||DATE|||;");
  EXPECT_EQ(Rows("select attr_name, attr_type_mod, attr_type_owner, attr_type_name from user_type_attrs "
                 "where type_name = 'PERSON_T' and attr_no > 1 order by attr_no"),
            "HOME||SCOTT|ADDRESS_T;BOSS|REF|SCOTT|PERSON_T;NOTES|||CLOB;");
  EXPECT_EQ(Rows("select object_type, status from user_objects where object_name = 'PERSON_T'"), "TYPE|VALID;");
}

TEST_F(OracleTypeTest, CollectionTypesNameTheirElement) {
  Exec(*session_, "create type point_t as object (x number, y number)");
  Exec(*session_, "create type scores_t as varray(10) of number(5)");
  Exec(*session_, "create type names_t is table of varchar2(20)");
  Exec(*session_, "create type path_t as varying array (100) of scott.point_t");
  EXPECT_EQ(Rows("select type_name, typecode, attributes from user_types where typecode = 'COLLECTION' "
                 "order by type_name"),
            "NAMES_T|COLLECTION|0;PATH_T|COLLECTION|0;SCORES_T|COLLECTION|0;");
  EXPECT_EQ(Rows("select type_name, coll_type, upper_bound, elem_type_mod, elem_type_owner, elem_type_name, length, "
                 "precision, scale from all_coll_types order by type_name"),
            "NAMES_T|TABLE||||VARCHAR2|20||;PATH_T|VARYING ARRAY|100||SCOTT|POINT_T|||;"
            "SCORES_T|VARYING ARRAY|10|||NUMBER||5|0;");
}

TEST_F(OracleTypeTest, ReplacingOrDroppingATypeRenewsItsRows) {
  Exec(*session_, "create type pair_t as object (a number, b number)");
  EXPECT_EQ(ErrorOf(*session_, "create type pair_t as object (a number)"), 955);
  Exec(*session_, "create or replace type pair_t as object (first varchar2(5))");
  EXPECT_EQ(Rows("select attr_name from user_type_attrs where type_name = 'PAIR_T'"), "FIRST;");
  Exec(*session_, "drop type pair_t");
  EXPECT_EQ(Rows("select count(*) from user_types"), "0;");
  EXPECT_EQ(Rows("select count(*) from user_type_attrs"), "0;");
}

// A spec that names an unknown type or does not parse keeps the type invalid and without rows.
TEST_F(OracleTypeTest, SpecsThatDoNotParseAreKeptInvalid) {
  const char* const specs[] = {
      "create or replace type bad_t as object (home nowhere_t)",
      "create or replace type bad_t as object ()",
      "create or replace type bad_t as object (a number, a date)",
      "create or replace type bad_t as varray of number",
      "create or replace type bad_t as object (a number",
      "create or replace type bad_t as record (a number)",
  };
  for (const char* spec : specs) {
    ExecuteReply r = Exec(*session_, spec);
    EXPECT_EQ(r.warning.code, 24344) << spec;
    EXPECT_EQ(Rows("select status from user_objects where object_name = 'BAD_T'"), "INVALID;") << spec;
    EXPECT_EQ(Rows("select count(*) from user_types"), "0;") << spec;
    EXPECT_EQ(Rows("select count(*) from user_errors where name = 'BAD_T'"), "1;") << spec;
  }
}

}  // namespace
}  // namespace orastandin::testing
