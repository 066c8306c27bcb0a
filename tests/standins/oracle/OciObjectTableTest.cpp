// Objects stored in tables through oci.dll: persistent objects of object tables in the
// client's object cache (new, pin, flush, mark-delete, copy, REFs), and object, collection
// and REF columns fetched with OCIDefineObject and written with OCIBindObject.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/standins/oracle/OciLibrary.h"

namespace orastandin::testing {
namespace {

// person: NAME (an OCIString*) at 0, AGE (an OCINumber) after it; indicators: the object's,
// NAME's, AGE's.
constexpr std::size_t NameOffset = 0, AgeOffset = sizeof(void*);

class OciObjectTableTest : public OciSessionTest {
 protected:
  void SetUp() override {
    OciSessionTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    person_ = UniqueName("TPERSON_T");
    persons_ = UniqueName("TPERSONS");
    Create("create type " + person_ + " as object (name varchar2(10), age number(3))");
    Create("create table " + persons_ + " of " + person_);
    personType_ = Type(person_);
  }

  template <class F>
  F Call(const char* name) {
    return oci_->Bind<F>(name);
  }
  OCIType* Type(const std::string& name) {
    OCIType* tdo = nullptr;
    EXPECT_EQ(Call<OCITypeByNameProc>("OCITypeByName")(oci_->env, oci_->err, connection_->svc,
                                                       reinterpret_cast<const OraText*>(""), 0,
                                                       reinterpret_cast<const OraText*>(name.c_str()),
                                                       static_cast<ub4>(name.size()), nullptr, 0, OCI_DURATION_SESSION,
                                                       OCI_TYPEGET_HEADER, &tdo),
              OCI_SUCCESS);
    return tdo;
  }
  int Error() { return oci_->LastError(); }

  // Attributes read by offset, as the Oracle layer reads them.
  std::string Name(void* instance) {
    OCIString* text = nullptr;
    std::memcpy(&text, static_cast<char*>(instance) + NameOffset, sizeof text);
    return text ? reinterpret_cast<const char*>(Call<OCIStringPtrProc>("OCIStringPtr")(oci_->env, text)) : "";
  }
  int Age(void* instance) {
    std::int32_t age = -1;
    Call<OCINumberToIntProc>("OCINumberToInt")(oci_->err, reinterpret_cast<const OCINumber*>(
                                                              static_cast<char*>(instance) + AgeOffset),
                                               sizeof age, OCI_NUMBER_SIGNED, &age);
    return age;
  }
  OCIInd* Indicators(void* instance) {
    void* indicators = nullptr;
    EXPECT_EQ(Call<OCIObjectGetIndProc>("OCIObjectGetInd")(oci_->env, oci_->err, instance, &indicators), OCI_SUCCESS);
    return static_cast<OCIInd*>(indicators);
  }
  void SetPerson(void* instance, const char* name, std::int32_t age) {
    OCIString* text = nullptr;
    Call<OCIStringAssignTextProc>("OCIStringAssignText")(oci_->env, oci_->err, reinterpret_cast<const OraText*>(name),
                                                         static_cast<ub4>(std::strlen(name)), &text);
    OCINumber number{};
    Call<OCINumberFromIntProc>("OCINumberFromInt")(oci_->err, &age, sizeof age, OCI_NUMBER_SIGNED, &number);
    auto setAttr = Call<OCIObjectSetAttrProc>("OCIObjectSetAttr");
    for (auto [attribute, value] : {std::pair<const char*, const void*>{"NAME", text}, {"AGE", &number}}) {
      const OraText* names[] = {reinterpret_cast<const OraText*>(attribute)};
      const ub4 lengths[] = {static_cast<ub4>(std::strlen(attribute))};
      ASSERT_EQ(setAttr(oci_->env, oci_->err, instance, Indicators(instance), personType_, names, lengths, 1, nullptr, 0,
                        IndNotNull, nullptr, value),
                OCI_SUCCESS);
    }
    Call<OCIStringResizeProc>("OCIStringResize")(oci_->env, oci_->err, 0, &text);
  }
  OCIRef* NewRef() {
    void* ref = nullptr;
    EXPECT_EQ(Call<OCIObjectNewProc>("OCIObjectNew")(oci_->env, oci_->err, connection_->svc, OCI_TYPECODE_REF, nullptr,
                                                     nullptr, OCI_DURATION_SESSION, 1, &ref),
              OCI_SUCCESS);
    return static_cast<OCIRef*>(ref);
  }
  sword Pin(OCIRef* ref, void** object) {
    return Call<OCIObjectPinProc>("OCIObjectPin")(oci_->env, oci_->err, ref, nullptr, OCI_PIN_LATEST,
                                                  OCI_DURATION_SESSION, OCI_LOCK_NONE, object);
  }
  sword Free(void* object) {
    return Call<OCIObjectFreeProc>("OCIObjectFree")(oci_->env, oci_->err, object, OCI_OBJECTFREE_FORCE);
  }
  std::string Scalar(OciConnection& c, const std::string& sql) {
    char text[64] = {};
    sb2 indicator = 0;
    EXPECT_EQ(oci_->StmtPrepare(c.stmt, oci_->err, reinterpret_cast<const OraText*>(sql.c_str()),
                                static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT),
              OCI_SUCCESS);
    OCIDefine* define = nullptr;
    oci_->DefineByPos(c.stmt, &define, oci_->err, 1, text, sizeof text, SQLT_STR, &indicator, nullptr, nullptr, 0);
    const sword status = oci_->StmtExecute(c.svc, c.stmt, oci_->err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_TRUE(status == OCI_SUCCESS || status == OCI_NO_DATA) << sql << ": " << Error();
    return status == OCI_SUCCESS && indicator == 0 ? text : "";
  }
  // The REFs of a query's first column, fetched into REF slots of the program's own.
  std::vector<OCIRef*> FetchRefs(const std::string& sql, std::vector<OCIRef*> slots) {
    EXPECT_EQ(oci_->StmtPrepare(connection_->stmt, oci_->err, reinterpret_cast<const OraText*>(sql.c_str()),
                                static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT),
              OCI_SUCCESS);
    OCIDefine* define = nullptr;
    EXPECT_EQ(oci_->DefineByPos(connection_->stmt, &define, oci_->err, 1, nullptr, 0, SQLT_REF, nullptr, nullptr,
                                nullptr, 0),
              OCI_SUCCESS);
    EXPECT_EQ(Call<OCIDefineObjectProc>("OCIDefineObject")(define, oci_->err, personType_,
                                                           reinterpret_cast<void**>(slots.data()), nullptr, nullptr,
                                                           nullptr),
              OCI_SUCCESS);
    const sword status = oci_->StmtExecute(connection_->svc, connection_->stmt, oci_->err,
                                           static_cast<ub4>(slots.size()), 0, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_TRUE(status == OCI_SUCCESS || status == OCI_NO_DATA) << Error();
    return slots;
  }

  std::string person_, persons_;
  OCIType* personType_ = nullptr;
};

TEST_F(OciObjectTableTest, ANewPersistentObjectIsStoredWhenFlushedAndPinnedFromTheCache) {
  void* table = nullptr;
  ASSERT_EQ(Call<OCIObjectPinTableProc>("OCIObjectPinTable")(oci_->env, oci_->err, connection_->svc, nullptr, 0,
                                                             reinterpret_cast<const OraText*>(persons_.c_str()),
                                                             static_cast<ub4>(persons_.size()), nullptr,
                                                             OCI_DURATION_SESSION, &table),
            OCI_SUCCESS);
  void* object = nullptr;
  ASSERT_EQ(Call<OCIObjectNewProc>("OCIObjectNew")(oci_->env, oci_->err, connection_->svc, OCI_TYPECODE_OBJECT,
                                                   personType_, table, OCI_DURATION_SESSION, 1, &object),
            OCI_SUCCESS);
  SetPerson(object, "Ann", 30);
  OCIRef* ref = NewRef();
  auto getRef = Call<OCIObjectGetObjectRefProc>("OCIObjectGetObjectRef");
  ASSERT_EQ(getRef(oci_->env, oci_->err, object, ref), OCI_SUCCESS);
  EXPECT_FALSE(Call<OCIRefIsNullProc>("OCIRefIsNull")(oci_->env, ref));
  void* pinned = nullptr;
  ASSERT_EQ(Pin(ref, &pinned), OCI_SUCCESS);  // not stored yet: the cache holds it
  EXPECT_EQ(pinned, object);

  auto flush = Call<OCIObjectFlushProc>("OCIObjectFlush");
  ASSERT_EQ(flush(oci_->env, oci_->err, object), OCI_SUCCESS) << Error();
  EXPECT_EQ(Scalar(*connection_, "select name || '/' || age from " + persons_), "Ann/30");
  OciConnection other(*oci_, "SETRIX_TEST", "SCOTT", "TIGER");
  EXPECT_EQ(Scalar(other, "select count(*) from " + persons_), "0");  // until committed
  ASSERT_EQ(oci_->TransCommit(connection_->svc, oci_->err, 0), OCI_SUCCESS);
  EXPECT_EQ(Scalar(other, "select count(*) from " + persons_), "1");

  // The REF fetched by SQL names the same object: pinning it gives the cached instance, refreshed.
  ASSERT_EQ(other.Run("update " + persons_ + " set age = 31"), OCI_SUCCESS);
  ASSERT_EQ(oci_->TransCommit(other.svc, oci_->err, 0), OCI_SUCCESS);
  std::vector<OCIRef*> refs = FetchRefs("select ref(p) from " + persons_ + " p", {nullptr});
  ASSERT_NE(refs[0], nullptr);
  ASSERT_EQ(Pin(refs[0], &pinned), OCI_SUCCESS) << Error();
  EXPECT_EQ(pinned, object);
  EXPECT_EQ(Age(object), 31);

  SetPerson(object, "Ann", 32);
  ASSERT_EQ(flush(oci_->env, oci_->err, object), OCI_SUCCESS);
  EXPECT_EQ(Scalar(*connection_, "select age from " + persons_), "32");
  ASSERT_EQ(Call<OCIObjectMarkDeleteProc>("OCIObjectMarkDelete")(oci_->env, oci_->err, object), OCI_SUCCESS);
  EXPECT_EQ(Pin(ref, &pinned), OCI_ERROR);
  EXPECT_EQ(Error(), 21700);
  ASSERT_EQ(flush(oci_->env, oci_->err, object), OCI_SUCCESS);
  EXPECT_EQ(Scalar(*connection_, "select count(*) from " + persons_), "0");
  EXPECT_EQ(Call<OCIObjectUnpinProc>("OCIObjectUnpin")(oci_->env, oci_->err, object), OCI_SUCCESS);
  for (void* freed : {static_cast<void*>(ref), static_cast<void*>(refs[0]), object, table})
    EXPECT_EQ(Free(freed), OCI_SUCCESS);
}

TEST_F(OciObjectTableTest, PinningLatestFailsOnceAnotherSessionDeletedTheObject) {
  Create("insert into " + persons_ + " values (" + person_ + "('Bob', 40))");
  Create("insert into " + persons_ + " values ('Cid', 50)");
  Create("commit");
  std::vector<OCIRef*> refs = FetchRefs("select ref(p) from " + persons_ + " p order by name", {nullptr, NewRef()});
  void* bob = nullptr;
  void* cid = nullptr;
  ASSERT_EQ(Pin(refs[0], &bob), OCI_SUCCESS) << Error();
  ASSERT_EQ(Pin(refs[1], &cid), OCI_SUCCESS) << Error();
  EXPECT_EQ(Name(bob), "Bob");
  EXPECT_EQ(Age(cid), 50);
  EXPECT_EQ(Indicators(bob)[0], IndNotNull);

  OciConnection other(*oci_, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(other.Run("delete from " + persons_ + " where name = 'Bob'"), OCI_SUCCESS);
  ASSERT_EQ(Pin(refs[0], &bob), OCI_SUCCESS);  // the deletion is not committed yet
  ASSERT_EQ(oci_->TransCommit(other.svc, oci_->err, 0), OCI_SUCCESS);
  EXPECT_EQ(Pin(refs[0], &bob), OCI_ERROR);
  EXPECT_EQ(Error(), 21700);
  for (void* freed : {static_cast<void*>(refs[0]), static_cast<void*>(refs[1]), bob, cid}) EXPECT_EQ(Free(freed), OCI_SUCCESS);
}

TEST_F(OciObjectTableTest, RefsAreCopiedClearedAndTestedForNull) {
  Create("insert into " + persons_ + " values ('Dan', 20)");
  std::vector<OCIRef*> refs = FetchRefs("select ref(p) from " + persons_ + " p", {nullptr});
  auto isNull = Call<OCIRefIsNullProc>("OCIRefIsNull");
  auto assign = Call<OCIRefAssignProc>("OCIRefAssign");
  OCIRef* fresh = NewRef();
  EXPECT_TRUE(isNull(oci_->env, fresh));
  EXPECT_TRUE(isNull(oci_->env, nullptr));
  OCIRef* copy = nullptr;
  ASSERT_EQ(assign(oci_->env, oci_->err, refs[0], &copy), OCI_SUCCESS);  // a new target
  ASSERT_EQ(assign(oci_->env, oci_->err, refs[0], &fresh), OCI_SUCCESS);  // into an existing one
  Call<OCIRefClearProc>("OCIRefClear")(oci_->env, refs[0]);
  EXPECT_TRUE(isNull(oci_->env, refs[0]));
  void* pinned = nullptr;
  EXPECT_EQ(Pin(refs[0], &pinned), OCI_ERROR);
  for (OCIRef* ref : {copy, fresh}) {
    EXPECT_FALSE(isNull(oci_->env, ref));
    ASSERT_EQ(Pin(ref, &pinned), OCI_SUCCESS) << Error();
    EXPECT_EQ(Name(pinned), "Dan");
  }
  // A null REF in the result leaves the slot's REF null.
  refs = FetchRefs("select null from dual", {copy});
  EXPECT_EQ(refs[0], copy);
  EXPECT_TRUE(isNull(oci_->env, copy));
}

TEST_F(OciObjectTableTest, CopiesAreDeepAndTransientObjectsHaveNoRef) {
  Create("insert into " + persons_ + " values ('Eve', 33)");
  std::vector<OCIRef*> refs = FetchRefs("select ref(p) from " + persons_ + " p", {nullptr});
  void* eve = nullptr;
  ASSERT_EQ(Pin(refs[0], &eve), OCI_SUCCESS);
  void* copy = nullptr;
  ASSERT_EQ(Call<OCIObjectNewProc>("OCIObjectNew")(oci_->env, oci_->err, connection_->svc, OCI_TYPECODE_OBJECT,
                                                   personType_, nullptr, OCI_DURATION_SESSION, 1, &copy),
            OCI_SUCCESS);
  ASSERT_EQ(Call<OCIObjectCopyProc>("OCIObjectCopy")(oci_->env, oci_->err, connection_->svc, eve, Indicators(eve), copy,
                                                     Indicators(copy), personType_, OCI_DURATION_SESSION, 0),
            OCI_SUCCESS);
  SetPerson(copy, "Fay", 1);
  EXPECT_EQ(Name(eve), "Eve");
  EXPECT_EQ(Age(eve), 33);
  EXPECT_EQ(Name(copy), "Fay");

  OCIRef* ref = NewRef();
  const struct {
    const char* what;
    sword status;
  } failures[] = {
      {"get-object-ref", Call<OCIObjectGetObjectRefProc>("OCIObjectGetObjectRef")(oci_->env, oci_->err, copy, ref)},
      {"flush", Call<OCIObjectFlushProc>("OCIObjectFlush")(oci_->env, oci_->err, copy)},
      {"mark-delete", Call<OCIObjectMarkDeleteProc>("OCIObjectMarkDelete")(oci_->env, oci_->err, copy)},
  };
  for (const auto& f : failures) EXPECT_EQ(f.status, OCI_ERROR) << f.what;
  EXPECT_EQ(Error(), 21710);

  // Only object tables take new persistent objects, and only of their own type.
  void* table = nullptr;
  auto pinTable = Call<OCIObjectPinTableProc>("OCIObjectPinTable");
  const std::string relational = UniqueName("TRELATIONAL");
  Create("create table " + relational + " (id number)");
  EXPECT_EQ(pinTable(oci_->env, oci_->err, connection_->svc, nullptr, 0, reinterpret_cast<const OraText*>(relational.c_str()),
                     static_cast<ub4>(relational.size()), nullptr, OCI_DURATION_SESSION, &table),
            OCI_ERROR);
  EXPECT_EQ(Error(), 942);
  const std::string other = UniqueName("TOTHER_T");
  Create("create type " + other + " as object (id number)");
  ASSERT_EQ(pinTable(oci_->env, oci_->err, connection_->svc, nullptr, 0, reinterpret_cast<const OraText*>(persons_.c_str()),
                     static_cast<ub4>(persons_.size()), nullptr, OCI_DURATION_SESSION, &table),
            OCI_SUCCESS);
  void* wrong = nullptr;
  EXPECT_EQ(Call<OCIObjectNewProc>("OCIObjectNew")(oci_->env, oci_->err, connection_->svc, OCI_TYPECODE_OBJECT,
                                                   Type(other), table, OCI_DURATION_SESSION, 1, &wrong),
            OCI_ERROR);
  EXPECT_EQ(Error(), 932);
  for (void* freed : {static_cast<void*>(refs[0]), static_cast<void*>(ref), eve, copy, table}) EXPECT_EQ(Free(freed), OCI_SUCCESS);
}

}  // namespace
}  // namespace orastandin::testing
