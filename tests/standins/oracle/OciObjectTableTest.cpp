// Objects stored in tables through oci.dll: persistent objects of object tables in the
// client's object cache (new, pin, flush, mark-delete, copy, REFs), and object, collection
// and REF columns fetched with OCIDefineObject and written with OCIBindObject.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
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
  EXPECT_EQ(flush(oci_->env, oci_->err, object), OCI_SUCCESS);  // nothing left to delete
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

// contact: ID, HOME (address: STREET an OCIString* at 0, ZIP an OCINumber after it),
// PHONES (a nested table of texts), WHO (a REF to a person).
class OciObjectColumnTest : public OciObjectTableTest {
 protected:
  void SetUp() override {
    OciObjectTableTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    address_ = UniqueName("TADDRESS_T");
    phones_ = UniqueName("TPHONES_T");
    contacts_ = UniqueName("TCONTACTS");
    Create("create type " + address_ + " as object (street varchar2(20), zip number(5))");
    Create("create type " + phones_ + " as table of varchar2(12)");
    Create("create table " + contacts_ + " (id number, home " + address_ + ", phones " + phones_ + ", who ref " +
           person_ + ") nested table phones store as " + contacts_ + "_PHONES");
    addressType_ = Type(address_);
    phonesType_ = Type(phones_);
  }

  struct Row {
    void* home = nullptr;
    void* phones = nullptr;
    OCIRef* who = nullptr;
  };
  // Fetches home, phones and who of the contacts in id order into rows (its slots filled in
  // place or, when empty, with new instances).
  sword FetchContacts(std::vector<Row>& rows) {
    const std::string sql = "select home, phones, who from " + contacts_ + " order by id";
    EXPECT_EQ(oci_->StmtPrepare(connection_->stmt, oci_->err, reinterpret_cast<const OraText*>(sql.c_str()),
                                static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT),
              OCI_SUCCESS);
    const struct {
      ub2 dty;
      OCIType* type;
      void** slot;
    } columns[] = {{SQLT_NTY, addressType_, &rows[0].home},
                   {SQLT_NTY, phonesType_, &rows[0].phones},
                   {SQLT_REF, personType_, reinterpret_cast<void**>(&rows[0].who)}};
    for (ub4 i = 0; i < 3; ++i) {
      OCIDefine* define = nullptr;
      EXPECT_EQ(oci_->DefineByPos(connection_->stmt, &define, oci_->err, i + 1, nullptr, 0, columns[i].dty, nullptr,
                                  nullptr, nullptr, 0),
                OCI_SUCCESS);
      EXPECT_EQ(oci_->DefineArrayOfStruct(define, oci_->err, sizeof(Row), 0, 0, 0), OCI_SUCCESS);
      EXPECT_EQ(Call<OCIDefineObjectProc>("OCIDefineObject")(define, oci_->err, columns[i].type, columns[i].slot,
                                                             nullptr, nullptr, nullptr),
                OCI_SUCCESS);
    }
    return oci_->StmtExecute(connection_->svc, connection_->stmt, oci_->err, static_cast<ub4>(rows.size()), 0, nullptr,
                             nullptr, OCI_DEFAULT);
  }
  std::vector<std::string> Phones(void* collection) {
    sb4 size = -1;
    EXPECT_EQ(Call<OCICollSizeProc>("OCICollSize")(oci_->env, oci_->err, static_cast<OCIColl*>(collection), &size),
              OCI_SUCCESS);
    std::vector<std::string> phones;
    for (sb4 i = 0; i < size; ++i) {
      boolean exists = 0;
      void* element = nullptr;
      void* indicator = nullptr;
      Call<OCICollGetElemProc>("OCICollGetElem")(oci_->env, oci_->err, static_cast<OCIColl*>(collection), i, &exists,
                                                 &element, &indicator);
      phones.push_back(exists ? reinterpret_cast<const char*>(Call<OCIStringPtrProc>("OCIStringPtr")(
                                    oci_->env, *static_cast<OCIString**>(element)))
                              : "?");
    }
    return phones;
  }
  void* NewInstance(OCIType* type, ub2 typeCode) {
    void* instance = nullptr;
    EXPECT_EQ(Call<OCIObjectNewProc>("OCIObjectNew")(oci_->env, oci_->err, connection_->svc, typeCode, type, nullptr,
                                                     OCI_DURATION_SESSION, 1, &instance),
              OCI_SUCCESS);
    return instance;
  }
  // Binds each named placeholder to the object (or REF) in its slot.
  sword ExecuteWithObjects(const std::string& sql, std::vector<std::tuple<const char*, ub2, OCIType*, void**>> binds) {
    EXPECT_EQ(oci_->StmtPrepare(connection_->stmt, oci_->err, reinterpret_cast<const OraText*>(sql.c_str()),
                                static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT),
              OCI_SUCCESS);
    for (auto& [name, dty, type, slot] : binds) {
      OCIBind* bind = nullptr;
      EXPECT_EQ(oci_->BindByName(connection_->stmt, &bind, oci_->err, reinterpret_cast<const OraText*>(name),
                                 static_cast<sb4>(std::strlen(name)), nullptr, 0, dty, nullptr, nullptr, nullptr, 0,
                                 nullptr, OCI_DEFAULT),
                OCI_SUCCESS);
      EXPECT_EQ(Call<OCIBindObjectProc>("OCIBindObject")(bind, oci_->err, type, slot, nullptr, nullptr, nullptr),
                OCI_SUCCESS);
    }
    return oci_->StmtExecute(connection_->svc, connection_->stmt, oci_->err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
  }
  void SetText(void* instance, OCIType* type, const char* attribute, const char* value) {
    OCIString* text = nullptr;
    Call<OCIStringAssignTextProc>("OCIStringAssignText")(oci_->env, oci_->err, reinterpret_cast<const OraText*>(value),
                                                         static_cast<ub4>(std::strlen(value)), &text);
    const OraText* names[] = {reinterpret_cast<const OraText*>(attribute)};
    const ub4 lengths[] = {static_cast<ub4>(std::strlen(attribute))};
    ASSERT_EQ(Call<OCIObjectSetAttrProc>("OCIObjectSetAttr")(oci_->env, oci_->err, instance, Indicators(instance), type,
                                                             names, lengths, 1, nullptr, 0, IndNotNull, nullptr, text),
              OCI_SUCCESS);
  }
  std::string Street(void* address) { return Name(address); }  // the same layout: a text first, a number after
  int Zip(void* address) { return Age(address); }

  std::string address_, phones_, contacts_;
  OCIType* addressType_ = nullptr;
  OCIType* phonesType_ = nullptr;
};

TEST_F(OciObjectColumnTest, ObjectColumnsDescribeTheirTypeAndFillTheProgramsInstancesInPlace) {
  Create("insert into " + persons_ + " values ('Ann', 30)");
  Create("insert into " + contacts_ + " select 1, " + address_ + "('Main 1', 12345), " + phones_ +
         "('555', '556'), ref(p) from " + persons_ + " p");
  Create("insert into " + contacts_ + " values (2, null, " + phones_ + "(), null)");
  std::vector<Row> rows(3);
  void* own = NewInstance(addressType_, OCI_TYPECODE_OBJECT);
  rows[0].home = own;
  ASSERT_EQ(FetchContacts(rows), OCI_NO_DATA) << Error();

  const struct {
    ub2 dataType;
    const std::string typeName;
  } described[] = {{SQLT_NTY, address_}, {SQLT_NTY, phones_}, {SQLT_REF, person_}};
  for (ub4 i = 0; i < 3; ++i) {
    void* param = nullptr;
    ASSERT_EQ(oci_->ParamGet(connection_->stmt, OCI_HTYPE_STMT, oci_->err, &param, i + 1), OCI_SUCCESS);
    ub2 type = 0;
    oci_->AttrGet(param, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, oci_->err);
    EXPECT_EQ(type, described[i].dataType) << i;
    for (auto [attribute, expected] : {std::pair<ub4, std::string>{OCI_ATTR_TYPE_NAME, described[i].typeName},
                                       {OCI_ATTR_SCHEMA_NAME, "SCOTT"}}) {
      OraText* text = nullptr;
      ub4 length = 0;
      oci_->AttrGet(param, OCI_DTYPE_PARAM, &text, &length, attribute, oci_->err);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(text), length), expected) << i;
    }
  }

  EXPECT_EQ(rows[0].home, own);
  EXPECT_EQ(Street(own), "Main 1");
  EXPECT_EQ(Zip(own), 12345);
  EXPECT_EQ(Indicators(own)[0], IndNotNull);
  EXPECT_EQ(Phones(rows[0].phones), (std::vector<std::string>{"555", "556"}));
  void* ann = nullptr;
  ASSERT_EQ(Pin(rows[0].who, &ann), OCI_SUCCESS) << Error();
  EXPECT_EQ(Name(ann), "Ann");

  ASSERT_NE(rows[1].home, nullptr);  // a new instance, null
  EXPECT_EQ(Indicators(rows[1].home)[0], IndNull);
  EXPECT_TRUE(Phones(rows[1].phones).empty());
  EXPECT_TRUE(Call<OCIRefIsNullProc>("OCIRefIsNull")(oci_->env, rows[1].who));
  EXPECT_EQ(rows[2].home, nullptr);  // no third row
}

TEST_F(OciObjectColumnTest, ObjectBindsWriteObjectsCollectionsAndRefs) {
  Create("insert into " + persons_ + " values ('Bob', 40)");
  std::vector<OCIRef*> refs = FetchRefs("select ref(p) from " + persons_ + " p", {nullptr});
  void* home = NewInstance(addressType_, OCI_TYPECODE_OBJECT);
  SetText(home, addressType_, "STREET", "Side 2");
  void* phones = NewInstance(phonesType_, OCI_TYPECODE_NAMEDCOLLECTION);
  OCIString* text = nullptr;
  Call<OCIStringAssignTextProc>("OCIStringAssignText")(oci_->env, oci_->err, reinterpret_cast<const OraText*>("777"), 3,
                                                       &text);
  OCIInd present = IndNotNull;
  ASSERT_EQ(Call<OCICollAppendProc>("OCICollAppend")(oci_->env, oci_->err, text, &present, static_cast<OCIColl*>(phones)),
            OCI_SUCCESS);
  ASSERT_EQ(ExecuteWithObjects("insert into " + contacts_ + " values (1, :home, :phones, :who)",
                               {{"HOME", SQLT_NTY, addressType_, &home},
                                {"PHONES", SQLT_NTY, phonesType_, &phones},
                                {"WHO", SQLT_REF, personType_, reinterpret_cast<void**>(&refs[0])}}),
            OCI_SUCCESS)
      << Error();
  Indicators(home)[0] = IndNull;  // a null object is stored as null
  ASSERT_EQ(ExecuteWithObjects("insert into " + contacts_ + " (id, home) values (2, :home)",
                               {{"HOME", SQLT_NTY, addressType_, &home}}),
            OCI_SUCCESS);
  std::vector<Row> rows(2);
  ASSERT_EQ(FetchContacts(rows), OCI_SUCCESS) << Error();
  EXPECT_EQ(Street(rows[0].home), "Side 2");
  EXPECT_EQ(Indicators(rows[0].home)[2], IndNull);  // ZIP was never set
  EXPECT_EQ(Phones(rows[0].phones), std::vector<std::string>{"777"});
  void* bob = nullptr;
  ASSERT_EQ(Pin(rows[0].who, &bob), OCI_SUCCESS);
  EXPECT_EQ(Name(bob), "Bob");
  EXPECT_EQ(Indicators(rows[1].home)[0], IndNull);

  // Into an object table the object gives the row; a block hands one back through its bind.
  void* person = NewInstance(personType_, OCI_TYPECODE_OBJECT);
  SetPerson(person, "Gus", 7);
  ASSERT_EQ(ExecuteWithObjects("insert into " + persons_ + " values (:p)", {{"P", SQLT_NTY, personType_, &person}}),
            OCI_SUCCESS)
      << Error();
  void* out = NewInstance(personType_, OCI_TYPECODE_OBJECT);
  ASSERT_EQ(ExecuteWithObjects("begin select value(p) into :o from " + persons_ + " p where p.name = 'Gus'; end;",
                               {{"O", SQLT_NTY, personType_, &out}}),
            OCI_SUCCESS)
      << Error();
  EXPECT_EQ(Name(out), "Gus");
  EXPECT_EQ(Age(out), 7);

  // An object of another type does not fit the column.
  EXPECT_EQ(ExecuteWithObjects("insert into " + contacts_ + " (id, home) values (3, :home)",
                               {{"HOME", SQLT_NTY, personType_, &person}}),
            OCI_ERROR);
  EXPECT_EQ(Error(), 932);
}

}  // namespace
}  // namespace orastandin::testing
