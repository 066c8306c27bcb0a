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

 public:
  // A new instance of the named type (null when a call fails); its descriptor into tdo.
  void* NewInstance(const std::string& type, ub2 typeCode, OCIType** tdo) {
    void* instance = nullptr;
    EXPECT_EQ(Call<OCITypeByNameProc>("OCITypeByName")(oci_->env, oci_->err, connection_->svc,
                                                       reinterpret_cast<const OraText*>(""), 0,
                                                       reinterpret_cast<const OraText*>(type.c_str()),
                                                       static_cast<ub4>(type.size()), nullptr, 0, OCI_DURATION_SESSION,
                                                       OCI_TYPEGET_HEADER, tdo),
              OCI_SUCCESS);
    EXPECT_EQ(Call<OCIObjectNewProc>("OCIObjectNew")(oci_->env, oci_->err, connection_->svc, typeCode, *tdo, nullptr,
                                                     OCI_DURATION_SESSION, 1, &instance),
              OCI_SUCCESS);
    return instance;
  }
};

std::size_t RoundUp(std::size_t value, std::size_t multiple) { return (value + multiple - 1) / multiple * multiple; }

TEST_F(OciObjectTest, InstancesFollowTheLayoutAndIndicatorRules) {
  const std::string address = UniqueName("OADDR_T"), person = UniqueName("OPERSON_T");
  Create("create type " + address + " as object (street varchar2(40), house number(4), since date)");
  Create("create type " + person + " as object (name varchar2(30), home " + address + ", boss ref " + person + ")");
  OCIType* tdo = nullptr;
  void* instance = NewInstance(person, OCI_TYPECODE_OBJECT, &tdo);
  ASSERT_NE(instance, nullptr);
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

// A collection of the given type, freed with the holder.
class Collection {
 public:
  Collection(OciObjectTest& test, OciLibrary& oci, const std::string& type) : oci_(oci) {
    OCIType* tdo = nullptr;
    instance_ = test.NewInstance(type, OCI_TYPECODE_NAMEDCOLLECTION, &tdo);
  }
  ~Collection() {
    if (instance_) oci_.Bind<OCIObjectFreeProc>("OCIObjectFree")(oci_.env, oci_.err, instance_, OCI_OBJECTFREE_FORCE);
  }
  OCIColl* get() const { return static_cast<OCIColl*>(instance_); }

 private:
  OciLibrary& oci_;
  void* instance_ = nullptr;
};

TEST_F(OciObjectTest, CollectionsAppendAssignAndDeleteElements) {
  const std::string numbers = UniqueName("ONUMS_T"), names = UniqueName("ONAMES_T");
  Create("create type " + numbers + " as varray(3) of number");
  Create("create type " + names + " as table of varchar2(20)");
  auto append = Call<OCICollAppendProc>("OCICollAppend");
  auto assignElem = Call<OCICollAssignElemProc>("OCICollAssignElem");
  auto getElem = Call<OCICollGetElemProc>("OCICollGetElem");
  auto collSize = Call<OCICollSizeProc>("OCICollSize");
  auto fromInt = Call<OCINumberFromIntProc>("OCINumberFromInt");
  auto toInt = Call<OCINumberToIntProc>("OCINumberToInt");

  Collection varray(*this, *oci_, numbers);
  ASSERT_NE(varray.get(), nullptr);
  for (std::int32_t v : {10, 20, 30}) {
    OCINumber n{};
    fromInt(oci_->err, &v, sizeof v, OCI_NUMBER_SIGNED, &n);
    OCIInd notNull = IndNotNull;
    ASSERT_EQ(append(oci_->env, oci_->err, &n, &notNull, varray.get()), OCI_SUCCESS);
  }
  OCINumber extra{};
  EXPECT_EQ(append(oci_->env, oci_->err, &extra, nullptr, varray.get()), OCI_ERROR);  // beyond the bound of 3
  EXPECT_EQ(oci_->LastError(), 22165);
  OCIInd isNull = IndNull;
  ASSERT_EQ(assignElem(oci_->env, oci_->err, 1, &extra, &isNull, varray.get()), OCI_SUCCESS);
  EXPECT_EQ(assignElem(oci_->env, oci_->err, 3, &extra, &isNull, varray.get()), OCI_ERROR);
  sb4 size = 0;
  collSize(oci_->env, oci_->err, varray.get(), &size);
  EXPECT_EQ(size, 3);
  boolean exists = 0;
  void* element = nullptr;
  void* indicator = nullptr;
  ASSERT_EQ(getElem(oci_->env, oci_->err, varray.get(), 2, &exists, &element, &indicator), OCI_SUCCESS);
  ASSERT_TRUE(exists);
  std::int32_t value = 0;
  toInt(oci_->err, static_cast<OCINumber*>(element), sizeof value, OCI_NUMBER_SIGNED, &value);
  EXPECT_EQ(value, 30);
  getElem(oci_->env, oci_->err, varray.get(), 1, &exists, &element, &indicator);
  EXPECT_EQ(*static_cast<OCIInd*>(indicator), IndNull);
  getElem(oci_->env, oci_->err, varray.get(), 3, &exists, &element, &indicator);
  EXPECT_FALSE(exists);

  // Texts are copied in; deleted slots of a nested table keep the others' indexes.
  Collection table(*this, *oci_, names);
  auto assignText = Call<OCIStringAssignTextProc>("OCIStringAssignText");
  auto stringPtr = Call<OCIStringPtrProc>("OCIStringPtr");
  OCIString* text = nullptr;
  for (const char* word : {"alpha", "beta", "gamma"}) {
    assignText(oci_->env, oci_->err, reinterpret_cast<const OraText*>(word), static_cast<ub4>(std::strlen(word)), &text);
    ASSERT_EQ(append(oci_->env, oci_->err, text, nullptr, table.get()), OCI_SUCCESS);
  }
  Call<OCIStringResizeProc>("OCIStringResize")(oci_->env, oci_->err, 0, &text);
  auto tableDelete = Call<OCITableDeleteProc>("OCITableDelete");
  ASSERT_EQ(tableDelete(oci_->env, oci_->err, 1, table.get()), OCI_SUCCESS);
  EXPECT_EQ(tableDelete(oci_->env, oci_->err, 1, table.get()), OCI_ERROR);
  EXPECT_EQ(oci_->LastError(), 22160);
  EXPECT_EQ(tableDelete(oci_->env, oci_->err, 0, reinterpret_cast<OCITable*>(varray.get())), OCI_ERROR);
  sb4 tableSize = 0;
  Call<OCITableSizeProc>("OCITableSize")(oci_->env, oci_->err, table.get(), &tableSize);
  collSize(oci_->env, oci_->err, table.get(), &size);
  EXPECT_EQ(tableSize, 2);
  EXPECT_EQ(size, 3);
  sb4 next = -1;
  Call<OCITableNextProc>("OCITableNext")(oci_->env, oci_->err, 0, table.get(), &next, &exists);
  EXPECT_TRUE(exists);
  EXPECT_EQ(next, 2);
  getElem(oci_->env, oci_->err, table.get(), 1, &exists, &element, &indicator);
  EXPECT_FALSE(exists);
  getElem(oci_->env, oci_->err, table.get(), 2, &exists, &element, &indicator);
  ASSERT_TRUE(exists);
  OCIString* slot = *static_cast<OCIString**>(element);
  EXPECT_STREQ(reinterpret_cast<char*>(stringPtr(oci_->env, slot)), "gamma");

  Collection copy(*this, *oci_, names);
  ASSERT_EQ(Call<OCICollAssignProc>("OCICollAssign")(oci_->env, oci_->err, table.get(), copy.get()), OCI_SUCCESS);
  Call<OCITableSizeProc>("OCITableSize")(oci_->env, oci_->err, copy.get(), &tableSize);
  EXPECT_EQ(tableSize, 2);
  getElem(oci_->env, oci_->err, copy.get(), 0, &exists, &element, &indicator);
  ASSERT_TRUE(exists);
  EXPECT_NE(*static_cast<OCIString**>(element), nullptr);
  EXPECT_STREQ(reinterpret_cast<char*>(stringPtr(oci_->env, *static_cast<OCIString**>(element))), "alpha");
}

// An object's collection attribute holds an empty collection of its own, freed with the object.
TEST_F(OciObjectTest, CollectionAttributesHoldTheirOwnCollections) {
  const std::string scores = UniqueName("OSCORES_T"), player = UniqueName("OPLAYER_T");
  Create("create type " + scores + " as varray(4) of number");
  Create("create type " + player + " as object (id number, scores " + scores + ")");
  OCIType* tdo = nullptr;
  void* instance = NewInstance(player, OCI_TYPECODE_OBJECT, &tdo);
  ASSERT_NE(instance, nullptr);
  // SCORES follows the 22-byte ID on a pointer boundary.
  OCIColl* collection = nullptr;
  std::memcpy(&collection, static_cast<unsigned char*>(instance) + RoundUp(sizeof(OCINumber), sizeof(void*)),
              sizeof collection);
  ASSERT_NE(collection, nullptr);
  OCINumber zero{};
  ASSERT_EQ(Call<OCICollAppendProc>("OCICollAppend")(oci_->env, oci_->err, &zero, nullptr, collection), OCI_SUCCESS);
  sb4 size = 0;
  auto collSize = Call<OCICollSizeProc>("OCICollSize");
  ASSERT_EQ(collSize(oci_->env, oci_->err, collection, &size), OCI_SUCCESS);
  EXPECT_EQ(size, 1);
  Call<OCIObjectFreeProc>("OCIObjectFree")(oci_->env, oci_->err, instance, OCI_OBJECTFREE_FORCE);
  EXPECT_EQ(collSize(oci_->env, oci_->err, collection, &size), OCI_ERROR);  // gone with its object
  EXPECT_EQ(oci_->LastError(), 21560);
}

// SetAttr reaches objects inside collections (given their type and indicator structure) and
// takes whole embedded objects and collections, copied in.
TEST_F(OciObjectTest, SetAttrWritesElementObjectsAndWholeEmbeddedValues) {
  const std::string point = UniqueName("OPOINT_T"), path = UniqueName("OPATH_T"), shape = UniqueName("OSHAPE_T");
  Create("create type " + point + " as object (x number, y number)");
  Create("create type " + path + " as varray(5) of " + point);
  Create("create type " + shape + " as object (origin " + point + ", path " + path + ")");
  OCIType* pointType = nullptr;
  OCIType* pathType = nullptr;
  OCIType* shapeType = nullptr;
  void* origin = NewInstance(point, OCI_TYPECODE_OBJECT, &pointType);
  void* route = NewInstance(path, OCI_TYPECODE_NAMEDCOLLECTION, &pathType);
  void* figure = NewInstance(shape, OCI_TYPECODE_OBJECT, &shapeType);
  ASSERT_TRUE(origin && route && figure);
  auto setAttr = Call<OCIObjectSetAttrProc>("OCIObjectSetAttr");
  auto fromInt = Call<OCINumberFromIntProc>("OCINumberFromInt");
  auto toInt = Call<OCINumberToIntProc>("OCINumberToInt");
  auto set = [&](void* instance, void* indicators, OCIType* tdo, const char* name, const void* value,
                 const void* valueIndicators = nullptr) {
    const OraText* names[] = {reinterpret_cast<const OraText*>(name)};
    const ub4 lengths[] = {static_cast<ub4>(std::strlen(name))};
    return setAttr(oci_->env, oci_->err, instance, indicators, tdo, names, lengths, 1, nullptr, 0, IndNotNull,
                   valueIndicators, value);
  };
  auto number = [&](std::int32_t v) {
    OCINumber n{};
    fromInt(oci_->err, &v, sizeof v, OCI_NUMBER_SIGNED, &n);
    return n;
  };
  auto readInt = [&](const void* at) {
    std::int32_t v = -1;
    toInt(oci_->err, static_cast<const OCINumber*>(at), sizeof v, OCI_NUMBER_SIGNED, &v);
    return v;
  };
  void* originInd = nullptr;
  Call<OCIObjectGetIndProc>("OCIObjectGetInd")(oci_->env, oci_->err, origin, &originInd);
  const OCINumber seven = number(7), eight = number(8);
  ASSERT_EQ(set(origin, originInd, pointType, "X", &seven), OCI_SUCCESS);
  ASSERT_EQ(set(origin, originInd, pointType, "Y", &eight), OCI_SUCCESS);

  // An element appended null, then written attribute by attribute in place.
  std::vector<unsigned char> empty(2 * sizeof(OCINumber), 0);
  OCIInd nulls[] = {IndNull, IndNull, IndNull};
  ASSERT_EQ(Call<OCICollAppendProc>("OCICollAppend")(oci_->env, oci_->err, empty.data(), nulls,
                                                     static_cast<OCIColl*>(route)),
            OCI_SUCCESS);
  boolean exists = 0;
  void* element = nullptr;
  void* elementInd = nullptr;
  Call<OCICollGetElemProc>("OCICollGetElem")(oci_->env, oci_->err, static_cast<OCIColl*>(route), 0, &exists, &element,
                                             &elementInd);
  ASSERT_TRUE(exists);
  EXPECT_EQ(set(element, nullptr, pointType, "X", &seven), OCI_INVALID_HANDLE);  // without its indicator structure
  ASSERT_EQ(set(element, elementInd, pointType, "X", &seven), OCI_SUCCESS) << oci_->LastError();
  EXPECT_EQ(readInt(element), 7);
  EXPECT_EQ(static_cast<OCIInd*>(elementInd)[1], IndNotNull);

  // Whole values: ORIGIN at 0 (two numbers), PATH after it on a pointer boundary.
  void* figureInd = nullptr;
  Call<OCIObjectGetIndProc>("OCIObjectGetInd")(oci_->env, oci_->err, figure, &figureInd);
  ASSERT_EQ(set(figure, figureInd, shapeType, "ORIGIN", origin, originInd), OCI_SUCCESS) << oci_->LastError();
  ASSERT_EQ(set(figure, figureInd, shapeType, "PATH", route), OCI_SUCCESS) << oci_->LastError();
  auto* bytes = static_cast<unsigned char*>(figure);
  EXPECT_EQ(readInt(bytes + sizeof(OCINumber)), 8);
  OCIColl* copied = nullptr;
  std::memcpy(&copied, bytes + RoundUp(2 * sizeof(OCINumber), sizeof(void*)), sizeof copied);
  ASSERT_NE(copied, nullptr);
  EXPECT_NE(static_cast<void*>(copied), route);  // the object keeps a collection of its own
  sb4 size = 0;
  Call<OCICollSizeProc>("OCICollSize")(oci_->env, oci_->err, copied, &size);
  EXPECT_EQ(size, 1);
  const OCIInd* indicators = static_cast<OCIInd*>(figureInd);
  EXPECT_EQ(indicators[1], IndNotNull);  // ORIGIN's own
  EXPECT_EQ(indicators[2], IndNotNull);  // ORIGIN.X

  // GetAttr by the same paths: where the value lies, its null status, an object's indicators.
  auto getAttr = Call<OCIObjectGetAttrProc>("OCIObjectGetAttr");
  auto get = [&](std::initializer_list<const char*> path, OCIInd* status, void** nullStruct, void** value) {
    std::vector<const OraText*> names;
    std::vector<ub4> lengths;
    for (const char* n : path) {
      names.push_back(reinterpret_cast<const OraText*>(n));
      lengths.push_back(static_cast<ub4>(std::strlen(n)));
    }
    return getAttr(oci_->env, oci_->err, figure, figureInd, shapeType, names.data(), lengths.data(),
                   static_cast<ub4>(names.size()), nullptr, 0, status, nullStruct, value, nullptr);
  };
  OCIInd status = IndNull;
  void* nullStruct = nullptr;
  void* value = nullptr;
  ASSERT_EQ(get({"ORIGIN", "Y"}, &status, &nullStruct, &value), OCI_SUCCESS);
  EXPECT_EQ(status, IndNotNull);
  EXPECT_EQ(value, bytes + sizeof(OCINumber));
  EXPECT_EQ(nullStruct, nullptr);
  ASSERT_EQ(get({"ORIGIN"}, &status, &nullStruct, &value), OCI_SUCCESS);
  EXPECT_EQ(nullStruct, &static_cast<OCIInd*>(figureInd)[1]);
  ASSERT_EQ(get({"PATH"}, &status, &nullStruct, &value), OCI_SUCCESS);
  EXPECT_EQ(*static_cast<OCIColl**>(value), copied);
  EXPECT_EQ(get({"ORIGIN", "Z"}, &status, &nullStruct, &value), OCI_ERROR);
  EXPECT_EQ(oci_->LastError(), 904);
  for (void* instance : {origin, route, figure})
    Call<OCIObjectFreeProc>("OCIObjectFree")(oci_->env, oci_->err, instance, OCI_OBJECTFREE_FORCE);
}

}  // namespace
}  // namespace orastandin::testing
