// Object instances through oci.dll: laid out as the Oracle layer reads them by offset, with
// their indicator structures, written through OCIObjectSetAttr.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/standins/oracle/OciLibrary.h"

namespace orastandin::testing {
namespace {

class OciObjectTest : public OciSessionTest {
 protected:
  template <class F>
  F Call(const char* name) {
    return oci_->Bind<F>(name);
  }
};

std::size_t RoundUp(std::size_t value, std::size_t multiple) { return (value + multiple - 1) / multiple * multiple; }

TEST_F(OciObjectTest, InstancesFollowTheLayoutAndIndicatorRules) {
  const std::string address = UniqueName("OADDR_T"), person = UniqueName("OPERSON_T");
  Create("create type " + address + " as object (street varchar2(40), house number(4), since date)");
  Create("create type " + person + " as object (name varchar2(30), home " + address + ", boss ref " + person + ")");
  OCIType* tdo = nullptr;
  ASSERT_EQ(Call<OCITypeByNameProc>("OCITypeByName")(oci_->env, oci_->err, connection_->svc,
                                                     reinterpret_cast<const OraText*>(""), 0,
                                                     reinterpret_cast<const OraText*>(person.c_str()),
                                                     static_cast<ub4>(person.size()), nullptr, 0, OCI_DURATION_SESSION,
                                                     OCI_TYPEGET_HEADER, &tdo),
            OCI_SUCCESS);
  void* instance = nullptr;
  ASSERT_EQ(Call<OCIObjectNewProc>("OCIObjectNew")(oci_->env, oci_->err, connection_->svc, OCI_TYPECODE_OBJECT, tdo,
                                                   nullptr, OCI_DURATION_SESSION, 1, &instance),
            OCI_SUCCESS);
  void* nullStruct = nullptr;
  ASSERT_EQ(Call<OCIObjectGetIndProc>("OCIObjectGetInd")(oci_->env, oci_->err, instance, &nullStruct), OCI_SUCCESS);
  auto* indicators = static_cast<OCIInd*>(nullStruct);
  // person: self, NAME, HOME (self, STREET, HOUSE, SINCE), BOSS.
  const OCIInd fresh[] = {IndNotNull, IndNull, IndNull, IndNull, IndNull, IndNull, IndNull};
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(indicators[i], fresh[i]) << i;

  // Offsets: NAME 0; HOME on a pointer boundary, inside it STREET 0, HOUSE after the pointer,
  // SINCE on a 4-byte boundary after the 22-byte number.
  const std::size_t home = RoundUp(sizeof(void*), sizeof(void*));
  const std::size_t house = home + sizeof(void*);
  const std::size_t since = home + RoundUp(sizeof(void*) + sizeof(OCINumber), 4);

  auto resize = Call<OCIStringResizeProc>("OCIStringResize");
  auto assignText = Call<OCIStringAssignTextProc>("OCIStringAssignText");
  auto stringPtr = Call<OCIStringPtrProc>("OCIStringPtr");
  auto setAttr = Call<OCIObjectSetAttrProc>("OCIObjectSetAttr");
  OCIString* text = nullptr;
  assignText(oci_->env, oci_->err, reinterpret_cast<const OraText*>("Scott"), 5, &text);
  auto set = [&](std::initializer_list<const char*> path, const void* value, OCIInd status = IndNotNull) {
    std::vector<const OraText*> names;
    std::vector<ub4> lengths;
    for (const char* n : path) {
      names.push_back(reinterpret_cast<const OraText*>(n));
      lengths.push_back(static_cast<ub4>(std::strlen(n)));
    }
    return setAttr(oci_->env, oci_->err, instance, nullStruct, tdo, names.data(), lengths.data(),
                   static_cast<ub4>(names.size()), nullptr, 0, status, nullptr, value);
  };
  ASSERT_EQ(set({"NAME"}, text), OCI_SUCCESS);
  assignText(oci_->env, oci_->err, reinterpret_cast<const OraText*>("Main Street"), 11, &text);
  ASSERT_EQ(set({"HOME", "STREET"}, text), OCI_SUCCESS);
  OCINumber number{};
  std::int32_t value = 42;
  Call<OCINumberFromIntProc>("OCINumberFromInt")(oci_->err, &value, sizeof value, OCI_NUMBER_SIGNED, &number);
  ASSERT_EQ(set({"HOME", "HOUSE"}, &number), OCI_SUCCESS);
  OCIDate date{};
  date.year = 2026;
  date.month = 12;
  date.day = 10;
  ASSERT_EQ(set({"HOME", "SINCE"}, &date), OCI_SUCCESS);

  auto* bytes = static_cast<unsigned char*>(instance);
  OCIString* name = nullptr;
  std::memcpy(&name, bytes, sizeof name);
  EXPECT_STREQ(reinterpret_cast<char*>(stringPtr(oci_->env, name)), "Scott");
  OCIString* street = nullptr;
  std::memcpy(&street, bytes + home, sizeof street);
  EXPECT_STREQ(reinterpret_cast<char*>(stringPtr(oci_->env, street)), "Main Street");
  std::int32_t back = 0;
  Call<OCINumberToIntProc>("OCINumberToInt")(oci_->err, reinterpret_cast<OCINumber*>(bytes + house), sizeof back,
                                             OCI_NUMBER_SIGNED, &back);
  EXPECT_EQ(back, 42);
  OCIDate stored{};
  std::memcpy(&stored, bytes + since, sizeof stored);
  EXPECT_EQ(stored.year, 2026);
  EXPECT_EQ(stored.day, 10);
  const OCIInd written[] = {IndNotNull, IndNotNull, IndNull, IndNotNull, IndNotNull, IndNotNull, IndNull};
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(indicators[i], written[i]) << i;

  ASSERT_EQ(set({"HOME", "HOUSE"}, nullptr, IndNull), OCI_SUCCESS);
  EXPECT_EQ(indicators[4], IndNull);
  EXPECT_EQ(set({"HOME", "NOWHERE"}, &number), OCI_ERROR);
  EXPECT_EQ(oci_->LastError(), 904);

  auto objectFree = Call<OCIObjectFreeProc>("OCIObjectFree");
  EXPECT_EQ(objectFree(oci_->env, oci_->err, instance, OCI_OBJECTFREE_FORCE), OCI_SUCCESS);
  EXPECT_EQ(stringPtr(oci_->env, name), nullptr);  // the instance's texts went with it
  EXPECT_EQ(objectFree(oci_->env, oci_->err, instance, OCI_OBJECTFREE_FORCE), OCI_INVALID_HANDLE);
  resize(oci_->env, oci_->err, 0, &text);
}

}  // namespace
}  // namespace orastandin::testing
