// Types described through oci.dll as the Oracle layer reads them: OCITypeByName, then
// OCIDescribeAny and the parameters of the type, its attributes or its collection element.
#include <gtest/gtest.h>

#include <string>

#include "tests/standins/oracle/OciLibrary.h"

namespace orastandin::testing {
namespace {

class OciTypeTest : public OciSessionTest {
 protected:
  void SetUp() override {
    OciSessionTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    describeAny_ = oci_->Bind<OCIDescribeAnyProc>("OCIDescribeAny");
    typeByName_ = oci_->Bind<OCITypeByNameProc>("OCITypeByName");
    ASSERT_EQ(oci_->HandleAlloc(oci_->env, reinterpret_cast<void**>(&describe_), OCI_HTYPE_DESCRIBE, 0, nullptr),
              OCI_SUCCESS);
  }
  void TearDown() override {
    if (describe_) oci_->HandleFree(describe_, OCI_HTYPE_DESCRIBE);
  }

  // The type's parameter, or null when the describe fails.
  OCIParam* Describe(const std::string& name) {
    std::string text = name;
    if (describeAny_(connection_->svc, oci_->err, text.data(), static_cast<ub4>(text.size()), OCI_OTYPE_NAME, 0,
                     OCI_PTYPE_TYPE, describe_) != OCI_SUCCESS)
      return nullptr;
    OCIParam* param = nullptr;
    EXPECT_EQ(oci_->AttrGet(describe_, OCI_HTYPE_DESCRIBE, &param, nullptr, OCI_ATTR_PARAM, oci_->err), OCI_SUCCESS);
    return param;
  }
  template <class T>
  T Attr(const void* param, ub4 attribute) {
    T value{};
    EXPECT_EQ(oci_->AttrGet(param, OCI_DTYPE_PARAM, &value, nullptr, attribute, oci_->err), OCI_SUCCESS) << attribute;
    return value;
  }
  std::string Text(const void* param, ub4 attribute) {
    OraText* text = nullptr;
    ub4 length = 0;
    EXPECT_EQ(oci_->AttrGet(param, OCI_DTYPE_PARAM, &text, &length, attribute, oci_->err), OCI_SUCCESS) << attribute;
    return text ? std::string(reinterpret_cast<char*>(text), length) : std::string();
  }
  sword TypeByName(const std::string& schema, const std::string& name, OCIType** tdo) {
    return typeByName_(oci_->env, oci_->err, connection_->svc, reinterpret_cast<const OraText*>(schema.c_str()),
                       static_cast<ub4>(schema.size()), reinterpret_cast<const OraText*>(name.c_str()),
                       static_cast<ub4>(name.size()), nullptr, 0, OCI_DURATION_SESSION, OCI_TYPEGET_HEADER, tdo);
  }

  OCIDescribeAnyProc describeAny_ = nullptr;
  OCITypeByNameProc typeByName_ = nullptr;
  OCIDescribe* describe_ = nullptr;
};

TEST_F(OciTypeTest, ObjectTypeDescribesEachAttribute) {
  const std::string address = UniqueName("ADDR_T"), person = UniqueName("PERSON_T");
  Create("create type " + address + " as object (street varchar2(40), zip char(5), house number(4), "
         "area number(8,2), weight number, since date)");
  Create("create type " + person + " as object (name varchar2(30), home " + address + ", boss ref " + person +
         ", notes clob)");

  OCIType* tdo = nullptr;
  ASSERT_EQ(TypeByName("SCOTT", person, &tdo), OCI_SUCCESS);
  OCIType* again = nullptr;
  ASSERT_EQ(TypeByName("SCOTT", person, &again), OCI_SUCCESS);
  EXPECT_EQ(again, tdo);  // one descriptor per type

  OCIParam* type = Describe("scott." + person);
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(Attr<ub2>(type, OCI_ATTR_TYPECODE), OCI_TYPECODE_OBJECT);
  ASSERT_EQ(Attr<ub2>(type, OCI_ATTR_NUM_TYPE_ATTRS), 4);
  void* list = nullptr;
  ASSERT_EQ(oci_->AttrGet(type, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_TYPE_ATTRS, oci_->err), OCI_SUCCESS);
  const struct {
    const char* name;
    ub2 dataType;
    std::string typeName;
  } expected[] = {{"NAME", SQLT_CHR, "VARCHAR2"}, {"HOME", SQLT_NTY, address}, {"BOSS", SQLT_REF, person},
                  {"NOTES", SQLT_CLOB, "CLOB"}};
  for (ub4 i = 0; i < 4; ++i) {
    void* attribute = nullptr;
    ASSERT_EQ(oci_->ParamGet(list, OCI_DTYPE_PARAM, oci_->err, &attribute, i + 1), OCI_SUCCESS);
    EXPECT_EQ(Text(attribute, OCI_ATTR_NAME), expected[i].name);
    EXPECT_EQ(Attr<ub2>(attribute, OCI_ATTR_DATA_TYPE), expected[i].dataType) << expected[i].name;
    EXPECT_EQ(Text(attribute, OCI_ATTR_TYPE_NAME), expected[i].typeName);
    if (expected[i].dataType == SQLT_NTY || expected[i].dataType == SQLT_REF) {
      EXPECT_EQ(Text(attribute, OCI_ATTR_SCHEMA_NAME), "SCOTT");
    }
  }
  void* beyond = nullptr;
  EXPECT_EQ(oci_->ParamGet(list, OCI_DTYPE_PARAM, oci_->err, &beyond, 5), OCI_ERROR);
  EXPECT_EQ(oci_->LastError(), 24334);

  // Another user reaches the type under its owner's name (one name space for all users).
  OciConnection system(*oci_, "SETRIX_TEST", "SYSTEM", "MANAGER");
  ASSERT_EQ(system.logonStatus, OCI_SUCCESS);
  std::string qualified = "SCOTT." + person;
  EXPECT_EQ(describeAny_(system.svc, oci_->err, qualified.data(), static_cast<ub4>(qualified.size()), OCI_OTYPE_NAME,
                         0, OCI_PTYPE_TYPE, describe_),
            OCI_SUCCESS);

  // The scalar attributes: sizes, precisions and scales as the layer maps them to fields.
  type = Describe(address);
  ASSERT_NE(type, nullptr);
  ASSERT_EQ(oci_->AttrGet(type, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_TYPE_ATTRS, oci_->err), OCI_SUCCESS);
  const struct {
    ub2 dataType, size;
    sb2 precision;
    sb1 scale;
  } scalars[] = {{SQLT_CHR, 40, 0, 0}, {SQLT_AFC, 5, 0, 0},   {SQLT_NUM, 22, 4, 0},
                 {SQLT_NUM, 22, 8, 2}, {SQLT_NUM, 22, 0, -127}, {SQLT_DAT, 7, 0, 0}};
  for (ub4 i = 0; i < 6; ++i) {
    void* attribute = nullptr;
    ASSERT_EQ(oci_->ParamGet(list, OCI_DTYPE_PARAM, oci_->err, &attribute, i + 1), OCI_SUCCESS);
    EXPECT_EQ(Attr<ub2>(attribute, OCI_ATTR_DATA_TYPE), scalars[i].dataType) << i;
    EXPECT_EQ(Attr<ub2>(attribute, OCI_ATTR_DATA_SIZE), scalars[i].size) << i;
    EXPECT_EQ(Attr<sb2>(attribute, OCI_ATTR_PRECISION), scalars[i].precision) << i;
    EXPECT_EQ(Attr<sb1>(attribute, OCI_ATTR_SCALE), scalars[i].scale) << i;
  }
}

TEST_F(OciTypeTest, CollectionTypesDescribeTheirElement) {
  const std::string point = UniqueName("POINT_T"), path = UniqueName("PATH_T"), names = UniqueName("NAMES_T");
  Create("create type " + point + " as object (x number, y number)");
  Create("create type " + path + " as varray(100) of " + point);
  Create("create type " + names + " as table of varchar2(20)");
  const struct {
    std::string name;
    ub2 collection;
    ub4 bound;
    ub2 elementType;
    ub2 size;
    std::string elementTypeName;
  } cases[] = {{path, OCI_TYPECODE_VARRAY, 100, SQLT_NTY, 0, point},
               {names, OCI_TYPECODE_TABLE, 0, SQLT_CHR, 20, "VARCHAR2"}};
  for (const auto& c : cases) {
    OCIParam* type = Describe(c.name);
    ASSERT_NE(type, nullptr) << c.name;
    EXPECT_EQ(Attr<ub2>(type, OCI_ATTR_TYPECODE), OCI_TYPECODE_NAMEDCOLLECTION);
    EXPECT_EQ(Attr<ub2>(type, OCI_ATTR_COLLECTION_TYPECODE), c.collection);
    OCIParam* element = nullptr;
    ASSERT_EQ(oci_->AttrGet(type, OCI_DTYPE_PARAM, &element, nullptr, OCI_ATTR_COLLECTION_ELEMENT, oci_->err),
              OCI_SUCCESS);
    EXPECT_EQ(Attr<ub4>(element, OCI_ATTR_NUM_ELEMS), c.bound);
    EXPECT_EQ(Attr<ub2>(element, OCI_ATTR_DATA_TYPE), c.elementType);
    if (c.size) {
      EXPECT_EQ(Attr<ub2>(element, OCI_ATTR_DATA_SIZE), c.size);
    }
    EXPECT_EQ(Text(element, OCI_ATTR_TYPE_NAME), c.elementTypeName);
    EXPECT_EQ(Text(element, OCI_ATTR_NAME), "");
  }
}

TEST_F(OciTypeTest, UnknownTypesAreReportedAsMissingObjects) {
  EXPECT_EQ(Describe("NO_SUCH_TYPE_T"), nullptr);
  std::string text;
  EXPECT_EQ(oci_->LastError(&text), 4043);
  EXPECT_EQ(text, "ORA-04043: object NO_SUCH_TYPE_T does not exist\n");
  OCIType* tdo = nullptr;
  EXPECT_EQ(TypeByName("", "NO_SUCH_TYPE_T", &tdo), OCI_ERROR);
  EXPECT_EQ(oci_->LastError(), 4043);
  // A table is not a type: only types are described.
  const std::string table = UniqueName("NOT_A_TYPE");
  Create("create table " + table + " (n number)");
  EXPECT_EQ(Describe(table), nullptr);
  EXPECT_EQ(oci_->LastError(), 4043);
}

}  // namespace
}  // namespace orastandin::testing
