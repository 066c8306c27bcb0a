// The stand-in oci.dll under Wine: loading as the Oracle layer loads it, log-on and its
// errors, statements with binds and defines, ROWIDs, transactions and the test hooks.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "standins/oracle/client/StandinControl.h"
#include "standins/oracle/client/TnsNames.h"
#include "standins/oracle/protocol/OraError.h"
#include "tests/standins/oracle/OciLibrary.h"

namespace orastandin::testing {
namespace {

std::string FileVersion(const char* file) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file, &ignored);
  if (size == 0) return {};
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(file, 0, size, data.data())) return {};
  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 4)
    return {};
  char path[64];
  wsprintfA(path, "\\StringFileInfo\\%04X%04X\\FileVersion", translation[0], translation[1]);
  char* text = nullptr;
  if (!VerQueryValueA(data.data(), path, reinterpret_cast<void**>(&text), &length)) return {};
  return text;
}

TEST(OciClient, BothLibrariesCarryANineVersion) {
  EXPECT_EQ(FileVersion("oci.dll"), "9.2.0.1.0");
  EXPECT_EQ(FileVersion("ociw32.dll"), "9.2.0.1.0");
}

TEST(OciClient, ExportsTheOci8ObjectAnd81EntryPoints) {
  const char* const names[] = {
      "OCIAttrGet", "OCIAttrSet", "OCIBindArrayOfStruct", "OCIBindByName", "OCIBindByPos", "OCIBindDynamic",
      "OCIBindObject", "OCIBreak", "OCIDefineArrayOfStruct", "OCIDefineByPos", "OCIDefineDynamic", "OCIDefineObject",
      "OCIDescribeAny", "OCIDescriptorAlloc", "OCIDescriptorFree", "OCIEnvInit", "OCIErrorGet", "OCIHandleAlloc",
      "OCIHandleFree", "OCIInitialize", "OCILdaToSvcCtx", "OCIParamGet", "OCIPasswordChange", "OCIServerAttach",
      "OCIServerDetach", "OCIServerVersion", "OCISessionBegin", "OCISessionEnd", "OCIStmtExecute", "OCIStmtFetch",
      "OCIStmtGetPieceInfo", "OCIStmtPrepare", "OCIStmtSetPieceInfo", "OCISvcCtxToLda", "OCITransCommit",
      "OCITransRollback", "OCILobAppend", "OCILobAssign", "OCILobCharSetForm", "OCILobCharSetId", "OCILobCopy",
      "OCILobDisableBuffering", "OCILobEnableBuffering", "OCILobErase", "OCILobFileClose", "OCILobFileExists",
      "OCILobFileGetName", "OCILobFileIsOpen", "OCILobFileOpen", "OCILobFileSetName", "OCILobFlushBuffer",
      "OCILobGetLength", "OCILobIsEqual", "OCILobLoadFromFile", "OCILobLocatorIsInit", "OCILobRead", "OCILobTrim",
      "OCILobWrite", "OCICacheFlush", "OCICacheFree", "OCICacheRefresh", "OCICacheUnmark", "OCICacheUnpin",
      "OCIObjectCopy", "OCIObjectExists", "OCIObjectFlush", "OCIObjectFree", "OCIObjectGetAttr", "OCIObjectGetInd",
      "OCIObjectGetObjectRef", "OCIObjectGetProperty", "OCIObjectGetTypeRef", "OCIObjectIsDirty", "OCIObjectIsLocked",
      "OCIObjectLock", "OCIObjectMarkDelete", "OCIObjectMarkDeleteByRef", "OCIObjectMarkUpdate", "OCIObjectNew",
      "OCIObjectPin", "OCIObjectPinCountReset", "OCIObjectPinTable", "OCIObjectRefresh", "OCIObjectSetAttr",
      "OCIObjectUnmark", "OCIObjectUnmarkByRef", "OCIObjectUnpin", "OCITypeByName", "OCITypeByRef", "OCICollAppend",
      "OCICollAssign", "OCICollAssignElem", "OCICollGetElem", "OCICollMax", "OCICollSize", "OCICollTrim",
      "OCIDateAssign", "OCIDateFromText", "OCIDateGetDate", "OCIDateGetTime", "OCIDateSetDate", "OCIDateSetTime",
      "OCIDateToText", "OCINumberAssign", "OCINumberFromInt", "OCINumberFromReal", "OCINumberFromText",
      "OCINumberToInt", "OCINumberToReal", "OCINumberToText", "OCIRefAssign", "OCIRefClear", "OCIRefIsEqual",
      "OCIRefIsNull", "OCIStringAllocSize", "OCIStringAssign", "OCIStringAssignText", "OCIStringPtr",
      "OCIStringResize", "OCIStringSize", "OCITableDelete", "OCITableExists", "OCITableFirst", "OCITableLast",
      "OCITableNext", "OCITablePrev", "OCITableSize", "OCIEnvCreate", "OCIDirPathAbort", "OCIDirPathColArrayEntryGet",
      "OCIDirPathColArrayEntrySet", "OCIDirPathColArrayRowGet", "OCIDirPathColArrayReset",
      "OCIDirPathColArrayToStream", "OCIDirPathFinish", "OCIDirPathLoadStream", "OCIDirPathPrepare",
      "OCIDirPathStreamReset"};
  EXPECT_EQ(std::size(names), 138u);
  HMODULE oci = LoadLibraryA("oci.dll");
  ASSERT_NE(oci, nullptr);
  for (const char* name : names) EXPECT_NE(GetProcAddress(oci, name), nullptr) << name;
  FreeLibrary(oci);
}

TEST(OciClient, UnsupportedCallsAndForeignHandlesAnswerErrors) {
  OciLibrary oci;
  using Stub = sword (*)(void*, void*);
  auto dirPathAbort = oci.Bind<Stub>("OCIDirPathAbort");
  EXPECT_EQ(dirPathAbort(nullptr, oci.err), OCI_ERROR);
  std::string text;
  EXPECT_EQ(oci.LastError(&text), 3001);
  EXPECT_EQ(text, "ORA-03001: unimplemented feature\n");
  int notAHandle = 0;
  EXPECT_EQ(oci.HandleFree(&notAHandle, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  EXPECT_EQ(oci.HandleFree(oci.err, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);  // wrong type
  void* h = nullptr;
  EXPECT_EQ(oci.HandleAlloc(&notAHandle, &h, OCI_HTYPE_STMT, 0, nullptr), OCI_INVALID_HANDLE);
}

class OciServerTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_SERVER(); }
};

TEST_F(OciServerTest, LogonFailuresCarryOracleCodesAndTexts) {
  OciLibrary oci;
  struct Case { const char* server; const char* user; const char* password; int code; bool attachFails; };
  const Case cases[] = {
      {"SETRIX_TEST", "SCOTT", "wrong", 1017, false},
      {"SETRIX_TEST", "NOBODY", "x", 1017, false},
      {"NO_SUCH_ALIAS", "SCOTT", "TIGER", 12154, true},
      {"SETRIX_NOLISTENER", "SCOTT", "TIGER", 12541, true},
      {"127.0.0.1:1/SETRIX", "SCOTT", "TIGER", 12541, true},
  };
  for (const auto& c : cases) {
    OciConnection connection(oci, c.server, c.user, c.password);
    std::string text;
    EXPECT_EQ(oci.LastError(&text), c.code) << c.server << " " << c.user;
    EXPECT_EQ(connection.attachStatus == OCI_ERROR, c.attachFails) << c.server;
    EXPECT_EQ(text.substr(0, 9), "ORA-" + std::string(c.code < 10000 ? "0" : "") + std::to_string(c.code));
    EXPECT_EQ(text.back(), '\n');
  }
  OciConnection wrong(oci, "SETRIX_TEST", "SCOTT", "wrong");
  std::string text;
  oci.LastError(&text);
  EXPECT_EQ(text, "ORA-01017: invalid username/password; logon denied\n");
}

TEST_F(OciServerTest, ALateLogonAnswerTimesOut) {
  InstallServerHook("SETRIX_TEST", "logon:1:delay:2500@LATE");
  OciLibrary oci;
  OciConnection connection(oci, "SETRIX_QUICK", "LATE", "LATE");
  EXPECT_EQ(connection.logonStatus, OCI_ERROR);
  EXPECT_EQ(oci.LastError(), 12535);
}

TEST_F(OciServerTest, LogonWithAliasesAndSysdba) {
  OciLibrary oci;
  OciConnection alias(oci, "setrix_alt", "scott", "tiger");
  EXPECT_EQ(alias.logonStatus, OCI_SUCCESS);
  OciConnection sysdba(oci, "SETRIX_TEST", "SYS", "CHANGE_ON_INSTALL", OCI_SYSDBA);
  EXPECT_EQ(sysdba.logonStatus, OCI_SUCCESS);
  OciConnection refused(oci, "SETRIX_TEST", "SCOTT", "TIGER", OCI_SYSDBA);
  EXPECT_EQ(oci.LastError(), 1031);
}

TEST_F(OciServerTest, ServerVersionFitsTheBuffer) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  OraText small[8];
  EXPECT_EQ(oci.ServerVersion(c.svc, oci.err, small, sizeof small, OCI_HTYPE_SVCCTX), OCI_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(small), "Setrix9");  // the 7th character is not 7: not a version 7 server
  OraText full[255];
  oci.ServerVersion(c.svc, oci.err, full, sizeof full, OCI_HTYPE_SVCCTX);
  EXPECT_NE(std::strstr(reinterpret_cast<char*>(full), "Release 9.2.0.1.0 - "), nullptr);
}

TEST_F(OciServerTest, ArrayDmlThenArrayFetchWithDescribe) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  std::string table = UniqueName("FETCHED");
  ASSERT_EQ(c.Run("CREATE TABLE " + table + " (ID NUMBER(9), NAME VARCHAR2(10), AMT NUMBER(10,2), D DATE)"), OCI_SUCCESS);

  struct Row { sb4 id; char name[11]; double amt; ub1 date[7]; };
  Row rows[3] = {{1, "one", 1.5, {120, 101, 1, 15, 13, 31, 1}},
                 {2, "two", -2.25, {119, 199, 12, 31, 24, 60, 60}},
                 {3, "", 0, {120, 101, 1, 1, 1, 1, 1}}};
  sb2 nameInd[3] = {0, 0, -1};
  std::string insert = "INSERT INTO " + table + "\n(ID, NAME, AMT, D) VALUES\n(:ID, :NAME, :AMT, :D)";
  ASSERT_EQ(oci.StmtPrepare(c.stmt, oci.err, reinterpret_cast<const OraText*>(insert.c_str()),
                            static_cast<ub4>(insert.size() + 1), OCI_NTV_SYNTAX, 0), OCI_SUCCESS);
  ub2 type = 0;
  oci.AttrGet(c.stmt, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, oci.err);
  EXPECT_EQ(type, OCI_STMT_INSERT);
  OCIBind* binds[4] = {};
  oci.BindByName(c.stmt, &binds[0], oci.err, reinterpret_cast<const OraText*>("ID"), 2, &rows[0].id, 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0);
  oci.BindByName(c.stmt, &binds[1], oci.err, reinterpret_cast<const OraText*>(":name"), 5, rows[0].name, 11, SQLT_STR, nameInd, nullptr, nullptr, 0, nullptr, 0);
  oci.BindByName(c.stmt, &binds[2], oci.err, reinterpret_cast<const OraText*>("AMT"), 3, &rows[0].amt, 8, SQLT_FLT, nullptr, nullptr, nullptr, 0, nullptr, 0);
  oci.BindByName(c.stmt, &binds[3], oci.err, reinterpret_cast<const OraText*>("D"), 1, rows[0].date, 7, SQLT_DAT, nullptr, nullptr, nullptr, 0, nullptr, 0);
  for (OCIBind* b : binds) oci.BindArrayOfStruct(b, oci.err, sizeof(Row), sizeof(sb2), 0, 0);
  ASSERT_EQ(oci.StmtExecute(c.svc, c.stmt, oci.err, 3, 0, nullptr, nullptr, 0), OCI_SUCCESS);
  ub4 count = 0;
  oci.AttrGet(c.stmt, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, oci.err);
  EXPECT_EQ(count, 3u);

  ASSERT_EQ(c.Run("SELECT ID, NAME, AMT, D, TO_CHAR(D, 'YYYY-MM-DD HH24:MI:SS') FROM " + table + " ORDER BY ID", 0), OCI_SUCCESS);
  ub4 columns = 0;
  oci.AttrGet(c.stmt, OCI_HTYPE_STMT, &columns, nullptr, OCI_ATTR_PARAM_COUNT, oci.err);
  ASSERT_EQ(columns, 5u);
  struct Described { const char* name; ub2 type; ub2 size; sb2 precision; sb1 scale; };
  const Described described[] = {{"ID", SQLT_NUM, 22, 9, 0}, {"NAME", SQLT_CHR, 10, 0, 0}, {"AMT", SQLT_NUM, 22, 10, 2},
                                 {"D", SQLT_DAT, 7, 0, 0}};
  for (ub4 i = 0; i < 4; ++i) {
    OCIParam* p = nullptr;
    ASSERT_EQ(oci.ParamGet(c.stmt, OCI_HTYPE_STMT, oci.err, reinterpret_cast<void**>(&p), i + 1), OCI_SUCCESS);
    OraText* name = nullptr;
    ub4 nameLength = 0;
    ub2 dataType = 0, dataSize = 0;
    sb2 precision = -1;
    sb1 scale = -1;
    oci.AttrGet(p, OCI_DTYPE_PARAM, &name, &nameLength, OCI_ATTR_NAME, oci.err);
    oci.AttrGet(p, OCI_DTYPE_PARAM, &dataType, nullptr, OCI_ATTR_DATA_TYPE, oci.err);
    oci.AttrGet(p, OCI_DTYPE_PARAM, &dataSize, nullptr, OCI_ATTR_DATA_SIZE, oci.err);
    oci.AttrGet(p, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, oci.err);
    oci.AttrGet(p, OCI_DTYPE_PARAM, &scale, nullptr, OCI_ATTR_SCALE, oci.err);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), nameLength), described[i].name);
    EXPECT_EQ(dataType, described[i].type) << described[i].name;
    EXPECT_EQ(dataSize, described[i].size) << described[i].name;
    EXPECT_EQ(precision, described[i].precision) << described[i].name;
    EXPECT_EQ(scale, described[i].scale) << described[i].name;
  }

  struct Fetched { sb4 id; char name[11]; double amt; ub1 date[7]; char text[20]; sb2 ind[5]; };
  Fetched f[2] = {};
  OCIDefine* defines[5] = {};
  oci.DefineByPos(c.stmt, &defines[0], oci.err, 1, &f[0].id, 4, SQLT_INT, &f[0].ind[0], nullptr, nullptr, 0);
  oci.DefineByPos(c.stmt, &defines[1], oci.err, 2, f[0].name, 11, SQLT_STR, &f[0].ind[1], nullptr, nullptr, 0);
  oci.DefineByPos(c.stmt, &defines[2], oci.err, 3, &f[0].amt, 8, SQLT_FLT, &f[0].ind[2], nullptr, nullptr, 0);
  oci.DefineByPos(c.stmt, &defines[3], oci.err, 4, f[0].date, 7, SQLT_DAT, &f[0].ind[3], nullptr, nullptr, 0);
  oci.DefineByPos(c.stmt, &defines[4], oci.err, 5, f[0].text, 20, SQLT_STR, &f[0].ind[4], nullptr, nullptr, 0);
  for (OCIDefine* d : defines) oci.DefineArrayOfStruct(d, oci.err, sizeof(Fetched), sizeof(Fetched), 0, 0);
  ASSERT_EQ(oci.StmtFetch(c.stmt, oci.err, 2, OCI_FETCH_NEXT, 0), OCI_SUCCESS);
  EXPECT_EQ(f[0].id, 1);
  EXPECT_STREQ(f[0].name, "one");
  EXPECT_EQ(f[0].amt, 1.5);
  EXPECT_EQ(std::memcmp(f[0].date, rows[0].date, 7), 0);
  EXPECT_STREQ(f[0].text, "2001-01-15 12:30:00");
  EXPECT_EQ(f[1].id, 2);
  EXPECT_EQ(f[1].amt, -2.25);
  EXPECT_STREQ(f[1].text, "1999-12-31 23:59:59");
  Fetched before = f[1];
  EXPECT_EQ(oci.StmtFetch(c.stmt, oci.err, 2, OCI_FETCH_NEXT, 0), OCI_NO_DATA);
  EXPECT_EQ(f[0].id, 3);
  EXPECT_EQ(f[0].ind[1], -1);
  EXPECT_EQ(std::memcmp(&before, &f[1], sizeof before), 0);  // no second row in the last block
  oci.AttrGet(c.stmt, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, oci.err);
  EXPECT_EQ(count, 3u);
}

// A program reading blocks of rows learns from the statement how many the last fetch gave:
// the usual way to read the final, partial block.
TEST_F(OciServerTest, RowsFetchedCountsTheLastFetchOnly) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  std::string table = UniqueName("BLOCKS");
  ASSERT_EQ(c.Run("CREATE TABLE " + table + " (ID NUMBER(9))"), OCI_SUCCESS);
  ASSERT_EQ(c.Run("INSERT INTO " + table + " SELECT 1 FROM DUAL UNION ALL SELECT 2 FROM DUAL UNION ALL "
                  "SELECT 3 FROM DUAL UNION ALL SELECT 4 FROM DUAL UNION ALL SELECT 5 FROM DUAL"),
            OCI_SUCCESS);
  auto rowsFetched = [&] {
    ub4 rows = 99;
    EXPECT_EQ(oci.AttrGet(c.stmt, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROWS_FETCHED, oci.err), OCI_SUCCESS);
    return rows;
  };
  EXPECT_EQ(rowsFetched(), 0u);  // a statement that fetches nothing

  sb4 ids[2] = {};
  auto define = [&] {
    OCIDefine* d = nullptr;
    oci.DefineByPos(c.stmt, &d, oci.err, 1, ids, sizeof ids[0], SQLT_INT, nullptr, nullptr, nullptr, 0);
  };
  const std::string query = "SELECT ID FROM " + table + " ORDER BY ID";
  ASSERT_EQ(c.Run(query, 0), OCI_SUCCESS);
  define();
  EXPECT_EQ(rowsFetched(), 0u);
  const struct {
    sword status;
    ub4 rows;
    sb4 first;
  } blocks[] = {{OCI_SUCCESS, 2, 1}, {OCI_SUCCESS, 2, 3}, {OCI_NO_DATA, 1, 5}, {OCI_NO_DATA, 0, 5}};
  for (const auto& block : blocks) {
    SCOPED_TRACE(block.first);
    EXPECT_EQ(oci.StmtFetch(c.stmt, oci.err, 2, OCI_FETCH_NEXT, 0), block.status);
    EXPECT_EQ(rowsFetched(), block.rows);
    EXPECT_EQ(ids[0], block.first);
  }
  // An execute that fetches counts as the fetch; preparing anew forgets it.
  ASSERT_EQ(oci.StmtPrepare(c.stmt, oci.err, reinterpret_cast<const OraText*>(query.c_str()),
                            static_cast<ub4>(query.size()), OCI_NTV_SYNTAX, OCI_DEFAULT),
            OCI_SUCCESS);
  define();
  EXPECT_EQ(oci.StmtExecute(c.svc, c.stmt, oci.err, 2, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(rowsFetched(), 2u);
  EXPECT_EQ(c.Run("DELETE FROM " + table + " WHERE ID > 3"), OCI_SUCCESS);
  EXPECT_EQ(rowsFetched(), 0u);
}

TEST_F(OciServerTest, TruncatedValuesReportTheirLength) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  ASSERT_EQ(c.Run("SELECT 'abcdef', 0.5, CAST('ab' AS CHAR(4)) FROM DUAL", 0), OCI_SUCCESS);
  char text[4], number[8], padded[8];
  sb2 ind[3];
  ub2 length[3];
  OCIDefine* d[3] = {};
  oci.DefineByPos(c.stmt, &d[0], oci.err, 1, text, sizeof text, SQLT_STR, &ind[0], &length[0], nullptr, 0);
  oci.DefineByPos(c.stmt, &d[1], oci.err, 2, number, sizeof number, SQLT_STR, &ind[1], &length[1], nullptr, 0);
  oci.DefineByPos(c.stmt, &d[2], oci.err, 3, padded, sizeof padded, SQLT_STR, &ind[2], &length[2], nullptr, 0);
  EXPECT_EQ(oci.StmtFetch(c.stmt, oci.err, 1, OCI_FETCH_NEXT, 0), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(oci.LastError(), 1406);
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(ind[0], 6);
  EXPECT_STREQ(number, ".5");
  EXPECT_EQ(ind[1], 0);
  EXPECT_STREQ(padded, "ab");
}

TEST_F(OciServerTest, RowidOfTheInsertedRowFillsTheDescriptor) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  std::string table = UniqueName("ROWIDS");
  ASSERT_EQ(c.Run("CREATE TABLE " + table + " (A NUMBER)"), OCI_SUCCESS);
  ASSERT_EQ(c.Run("INSERT INTO " + table + " VALUES (1)"), OCI_SUCCESS);
  ASSERT_EQ(c.Run("INSERT INTO " + table + " VALUES (2)"), OCI_SUCCESS);
  void* rowid = nullptr;
  ASSERT_EQ(oci.DescriptorAlloc(oci.env, &rowid, OCI_DTYPE_ROWID, 0, nullptr), OCI_SUCCESS);
  ASSERT_EQ(oci.AttrGet(c.stmt, OCI_HTYPE_STMT, rowid, nullptr, OCI_ATTR_ROWID, oci.err), OCI_SUCCESS);
  const ub1* bytes = *reinterpret_cast<ub1* const*>(static_cast<char*>(rowid) + RowidPointerOffset);
  ASSERT_NE(bytes, nullptr);
  ub4 object = (bytes[1] << 24) | (bytes[2] << 16) | (bytes[3] << 8) | bytes[4];
  ub2 row = static_cast<ub2>((bytes[11] << 8) | bytes[12]);
  EXPECT_NE(object, 0u);
  EXPECT_EQ(row, 2);  // the second row stored in the table
  // The descriptor binds as the row's ROWID and a ROWID column defines into one.
  std::string byRowid = "SELECT A, ROWID FROM " + table + " WHERE ROWID = :R";
  oci.StmtPrepare(c.stmt, oci.err, reinterpret_cast<const OraText*>(byRowid.c_str()), static_cast<ub4>(byRowid.size() + 1), 1, 0);
  OCIBind* b = nullptr;
  oci.BindByName(c.stmt, &b, oci.err, reinterpret_cast<const OraText*>("R"), 1, &rowid, sizeof rowid, SQLT_RDD, nullptr, nullptr, nullptr, 0, nullptr, 0);
  ASSERT_EQ(oci.StmtExecute(c.svc, c.stmt, oci.err, 0, 0, nullptr, nullptr, 0), OCI_SUCCESS);
  void* fetchedRowid = nullptr;
  oci.DescriptorAlloc(oci.env, &fetchedRowid, OCI_DTYPE_ROWID, 0, nullptr);
  sb4 a = 0;
  OCIDefine* d[2] = {};
  oci.DefineByPos(c.stmt, &d[0], oci.err, 1, &a, 4, SQLT_INT, nullptr, nullptr, nullptr, 0);
  oci.DefineByPos(c.stmt, &d[1], oci.err, 2, &fetchedRowid, sizeof fetchedRowid, SQLT_RDD, nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(oci.StmtFetch(c.stmt, oci.err, 1, OCI_FETCH_NEXT, 0), OCI_SUCCESS);
  EXPECT_EQ(a, 2);
  const ub1* again = *reinterpret_cast<ub1* const*>(static_cast<char*>(fetchedRowid) + RowidPointerOffset);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(std::memcmp(again, bytes, RowidByteCount), 0);
  oci.DescriptorFree(fetchedRowid, OCI_DTYPE_ROWID);
  ASSERT_EQ(c.Run("SELECT A FROM " + table, 0), OCI_SUCCESS);
  EXPECT_EQ(oci.AttrGet(c.stmt, OCI_HTYPE_STMT, rowid, nullptr, OCI_ATTR_ROWID, oci.err), OCI_NO_DATA);
  oci.DescriptorFree(rowid, OCI_DTYPE_ROWID);
}

TEST_F(OciServerTest, CommitAndRollbackAcrossConnections) {
  OciLibrary oci;
  OciConnection writer(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  OciConnection reader(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(writer.logonStatus, OCI_SUCCESS);
  std::string table = UniqueName("TX");
  ASSERT_EQ(writer.Run("CREATE TABLE " + table + " (A NUMBER)"), OCI_SUCCESS);
  auto count = [&](OciConnection& c) {
    sb4 n = -1;
    c.Run("SELECT COUNT(*) FROM " + table, 0);
    OCIDefine* d = nullptr;
    oci.DefineByPos(c.stmt, &d, oci.err, 1, &n, 4, SQLT_INT, nullptr, nullptr, nullptr, 0);
    oci.StmtFetch(c.stmt, oci.err, 1, OCI_FETCH_NEXT, 0);
    return n;
  };
  writer.Run("INSERT INTO " + table + " VALUES (1)");
  EXPECT_EQ(count(reader), 0);
  EXPECT_EQ(oci.TransCommit(writer.svc, oci.err, 0), OCI_SUCCESS);
  EXPECT_EQ(count(reader), 1);
  writer.Run("INSERT INTO " + table + " VALUES (2)");
  EXPECT_EQ(oci.TransRollback(writer.svc, oci.err, 0), OCI_SUCCESS);
  EXPECT_EQ(count(writer), 1);
}

TEST_F(OciServerTest, StatementErrorsCarryCodeTextAndOffset) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  EXPECT_EQ(c.Run("SELECT * FROM NO_SUCH_TABLE_HERE", 0), OCI_ERROR);
  std::string text;
  EXPECT_EQ(oci.LastError(&text), 942);
  EXPECT_EQ(text, "ORA-00942: table or view does not exist\n");
  EXPECT_EQ(c.Run("SELECT nocolumn FROM DUAL", 0), OCI_ERROR);
  EXPECT_EQ(oci.LastError(&text), 904);
  ub2 offset = 0;
  oci.AttrGet(c.stmt, OCI_HTYPE_STMT, &offset, nullptr, OCI_ATTR_PARSE_ERROR_OFFSET, oci.err);
  EXPECT_EQ(offset, 7);
}

TEST_F(OciServerTest, PlsqlBlockWritesOutBinds) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  std::string block = "begin SELECT NLS_CHARSET_ID(:Charset) INTO :Result FROM Dual; end;";
  oci.StmtPrepare(c.stmt, oci.err, reinterpret_cast<const OraText*>(block.c_str()), static_cast<ub4>(block.size() + 1), 1, 0);
  char charset[] = "CL8MSWIN1251";
  sb4 result = 0;
  sb2 ind = 0;
  OCIBind* b1 = nullptr;
  OCIBind* b2 = nullptr;
  oci.BindByName(c.stmt, &b1, oci.err, reinterpret_cast<const OraText*>("Charset"), 7, charset, sizeof charset, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0);
  oci.BindByName(c.stmt, &b2, oci.err, reinterpret_cast<const OraText*>("Result"), 6, &result, 4, SQLT_INT, &ind, nullptr, nullptr, 0, nullptr, 0);
  ASSERT_EQ(oci.StmtExecute(c.svc, c.stmt, oci.err, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS);
  EXPECT_EQ(result, 171);
  EXPECT_EQ(ind, 0);
  ub4 rows = 0;
  oci.AttrGet(c.stmt, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, oci.err);
  EXPECT_EQ(rows, 1u);
}

// PL/SQL tables (maxarr and the current element count): the elements in use go in, the
// elements the block left come back with their count; more than the room is ORA-06513.
TEST_F(OciServerTest, PlsqlTableBindsCarryTheirElementsBothWays) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  auto run = [&](const std::string& block, std::int32_t* numbers, ub4* numberCount, char (*names)[8], sb2* nameInd,
                 ub2* nameLength, ub4* nameCount, ub4 nameRoom, std::int32_t* total) {
    oci.StmtPrepare(c.stmt, oci.err, reinterpret_cast<const OraText*>(block.c_str()),
                    static_cast<ub4>(block.size() + 1), 1, 0);
    OCIBind* b[3] = {};
    oci.BindByName(c.stmt, &b[0], oci.err, reinterpret_cast<const OraText*>("T"), 1, numbers, 4, SQLT_INT, nullptr,
                   nullptr, nullptr, 5, numberCount, 0);
    oci.BindByName(c.stmt, &b[1], oci.err, reinterpret_cast<const OraText*>("N"), 1, names, 8, SQLT_STR, nameInd,
                   nameLength, nullptr, nameRoom, nameCount, 0);
    oci.BindByName(c.stmt, &b[2], oci.err, reinterpret_cast<const OraText*>("TOTAL"), 5, total, 4, SQLT_INT, nullptr,
                   nullptr, nullptr, 0, nullptr, 0);
    return oci.StmtExecute(c.svc, c.stmt, oci.err, 1, 0, nullptr, nullptr, 0);
  };
  std::int32_t numbers[5] = {10, 20, 30, 99, 99};
  ub4 numberCount = 3, nameCount = 0;
  char names[4][8] = {};
  sb2 nameInd[4] = {5, 5, 5, 5};
  ub2 nameLength[4] = {};
  std::int32_t total = 0;
  const std::string block =
      "begin :total := 0; for i in 1 .. :t.count loop :total := :total + :t(i); :n(i) := 'n' || :t(i); end loop; "
      ":t(4) := 40; :n(4) := null; end;";
  ASSERT_EQ(run(block, numbers, &numberCount, names, nameInd, nameLength, &nameCount, 4, &total), OCI_SUCCESS)
      << oci.LastError();
  EXPECT_EQ(total, 60);  // the fourth element was not in use when the block began
  EXPECT_EQ(numberCount, 4u);
  EXPECT_EQ(numbers[3], 40);
  EXPECT_EQ(nameCount, 4u);
  EXPECT_STREQ(names[2], "n30");
  EXPECT_EQ(nameLength[0], 3);
  EXPECT_EQ(nameInd[0], 0);
  EXPECT_EQ(nameInd[3], -1);

  EXPECT_EQ(run(block, numbers, &numberCount, names, nameInd, nameLength, &nameCount, 3, &total), OCI_ERROR);
  EXPECT_EQ(oci.LastError(), 6513);
}

TEST_F(OciServerTest, CursorBindReceivesTheOpenedQuery) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  OCIStmt* cursor = nullptr;
  oci.HandleAlloc(oci.env, reinterpret_cast<void**>(&cursor), OCI_HTYPE_STMT, 0, nullptr);
  std::string block = "begin open :cur for select 'a' || dummy letters from dual; end;";
  oci.StmtPrepare(c.stmt, oci.err, reinterpret_cast<const OraText*>(block.c_str()), static_cast<ub4>(block.size() + 1), 1, 0);
  OCIBind* b = nullptr;
  oci.BindByName(c.stmt, &b, oci.err, reinterpret_cast<const OraText*>("CUR"), 3, &cursor, 0, SQLT_RSET, nullptr, nullptr, nullptr, 0, nullptr, 0);
  ASSERT_EQ(oci.StmtExecute(c.svc, c.stmt, oci.err, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS);
  ub4 columns = 0;
  oci.AttrGet(cursor, OCI_HTYPE_STMT, &columns, nullptr, OCI_ATTR_PARAM_COUNT, oci.err);
  EXPECT_EQ(columns, 1u);
  char letters[8] = {};
  OCIDefine* d = nullptr;
  oci.DefineByPos(cursor, &d, oci.err, 1, letters, sizeof letters, SQLT_STR, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(oci.StmtFetch(cursor, oci.err, 1, OCI_FETCH_NEXT, 0), OCI_SUCCESS);
  EXPECT_STREQ(letters, "aX");
  EXPECT_EQ(oci.StmtFetch(cursor, oci.err, 1, OCI_FETCH_NEXT, 0), OCI_NO_DATA);
  oci.HandleFree(cursor, OCI_HTYPE_STMT);
}

// Each fetched row writes its cursor into the statement handle the program put in the
// row's slot; the handles then fetch their own rows.
TEST_F(OciServerTest, CursorColumnFillsTheHandleInEachRowsSlot) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  const auto run = [&](const std::string& sql, ub4 iterations) {
    oci.StmtPrepare(c.stmt, oci.err, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size() + 1), 1, 0);
    return oci.StmtExecute(c.svc, c.stmt, oci.err, iterations, 0, nullptr, nullptr, 0);
  };
  ASSERT_EQ(run("create table occ_master (id number(4))", 1), OCI_SUCCESS);
  ASSERT_EQ(run("create table occ_detail (id number(4), name varchar2(10))", 1), OCI_SUCCESS);
  for (const char* insert : {"insert into occ_master values (1)", "insert into occ_master values (2)",
                             "insert into occ_detail values (1, 'one')", "insert into occ_detail values (1, 'uno')"})
    ASSERT_EQ(run(insert, 1), OCI_SUCCESS);
  ASSERT_EQ(run("select id, cursor(select name from occ_detail d where d.id = m.id order by name) names "
                "from occ_master m order by id", 0),
            OCI_SUCCESS);
  void* parameter = nullptr;
  ub2 type = 0;
  ASSERT_EQ(oci.ParamGet(c.stmt, OCI_HTYPE_STMT, oci.err, &parameter, 2), OCI_SUCCESS);
  oci.AttrGet(parameter, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, oci.err);
  EXPECT_EQ(type, SQLT_RSET);
  OCIStmt* cursors[2] = {};
  for (OCIStmt*& cursor : cursors) oci.HandleAlloc(oci.env, reinterpret_cast<void**>(&cursor), OCI_HTYPE_STMT, 0, nullptr);
  sb2 indicators[2] = {5, 5};
  OCIDefine* d = nullptr;
  oci.DefineByPos(c.stmt, &d, oci.err, 2, cursors, 0, SQLT_RSET, indicators, nullptr, nullptr, 0);
  oci.DefineArrayOfStruct(d, oci.err, sizeof(OCIStmt*), sizeof(sb2), 0, 0);
  EXPECT_EQ(oci.StmtFetch(c.stmt, oci.err, 2, OCI_FETCH_NEXT, 0), OCI_SUCCESS);
  EXPECT_EQ(indicators[0], 0);
  EXPECT_EQ(indicators[1], 0);
  const std::vector<std::string> expected[2] = {{"one", "uno"}, {}};
  for (int row = 0; row < 2; ++row) {
    char name[11] = {};
    OCIDefine* nameDefine = nullptr;
    oci.DefineByPos(cursors[row], &nameDefine, oci.err, 1, name, sizeof name, SQLT_STR, nullptr, nullptr, nullptr, 0);
    for (const std::string& text : expected[row]) {
      ASSERT_EQ(oci.StmtFetch(cursors[row], oci.err, 1, OCI_FETCH_NEXT, 0), OCI_SUCCESS) << row;
      EXPECT_EQ(std::string(name), text);
    }
    EXPECT_EQ(oci.StmtFetch(cursors[row], oci.err, 1, OCI_FETCH_NEXT, 0), OCI_NO_DATA) << row;
    oci.HandleFree(cursors[row], OCI_HTYPE_STMT);
  }
  EXPECT_EQ(run("drop table occ_master", 1), OCI_SUCCESS);
  EXPECT_EQ(run("drop table occ_detail", 1), OCI_SUCCESS);
}

TEST_F(OciServerTest, BreakFromAnotherThreadStopsTheRunningCall) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  auto brk = oci.Bind<OCIBreakProc>("OCIBreak");
  EXPECT_EQ(brk(c.svc, oci.err), OCI_SUCCESS);  // nothing running: nothing happens
  // The client cannot see the statement start on the server, and a break that comes before
  // it is lost: the other thread breaks again until the call has returned.
  struct Breaker {
    OCIBreakProc call;
    OCISvcCtx* svc;
    OCIError* err;
    HANDLE returned;
  } breaker{brk, c.svc, oci.err, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD {
        auto* b = static_cast<Breaker*>(p);
        do b->call(b->svc, b->err);
        while (WaitForSingleObject(b->returned, 20) == WAIT_TIMEOUT);
        return 0;
      },
      &breaker, 0, nullptr);
  EXPECT_EQ(c.Run("WITH RECURSIVE c(x) AS (SELECT 1 FROM DUAL UNION ALL SELECT x + 1 FROM c) SELECT COUNT(*) FROM c", 0),
            OCI_ERROR);
  EXPECT_EQ(oci.LastError(), 1013);
  SetEvent(breaker.returned);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(breaker.returned);
  EXPECT_EQ(c.Run("SELECT * FROM DUAL", 0), OCI_SUCCESS);
}

struct LongSource {
  std::string data;
  std::size_t sent = 0;
  std::vector<ub1> pieces;
};

sb4 OCI_CALL SendLongPiece(dvoid* context, OCIBind*, ub4, ub4, dvoid** buffer, ub4* length, ub1* piece, dvoid** indicator) {
  auto* source = static_cast<LongSource*>(context);
  static sb2 notNull = 0;
  std::size_t n = std::min<std::size_t>(65514, source->data.size() - source->sent);
  *buffer = source->data.data() + source->sent;
  *length = static_cast<ub4>(n);
  source->sent += n;
  *piece = source->sent >= source->data.size() ? OCI_LAST_PIECE : (source->sent == n ? OCI_FIRST_PIECE : OCI_NEXT_PIECE);
  source->pieces.push_back(*piece);
  *indicator = &notNull;
  return OCI_CONTINUE;
}

struct LongSink {
  std::string data;
  char chunk[30000];
  ub4 length = 0;
  sb2 indicator = 0;
};

sb4 OCI_CALL ReceiveLongPiece(dvoid* context, OCIDefine*, ub4, dvoid** buffer, ub4** length, ub1*, dvoid** indicator, ub2** rcode) {
  auto* sink = static_cast<LongSink*>(context);
  if (sink->length) sink->data.append(sink->chunk, sink->length);
  sink->length = sizeof sink->chunk;
  *buffer = sink->chunk;
  *length = &sink->length;
  *indicator = &sink->indicator;
  *rcode = nullptr;
  return OCI_CONTINUE;
}

TEST_F(OciServerTest, LongValuesTravelInPieces) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  std::string table = UniqueName("LONGS");
  ASSERT_EQ(c.Run("CREATE TABLE " + table + " (L LONG)"), OCI_SUCCESS);
  LongSource source;
  for (int i = 0; source.data.size() < 150000; ++i) source.data += "line " + std::to_string(i) + "\n";
  source.data.resize(150000);
  std::string insert = "INSERT INTO " + table + " VALUES (:L)";
  oci.StmtPrepare(c.stmt, oci.err, reinterpret_cast<const OraText*>(insert.c_str()), static_cast<ub4>(insert.size() + 1), 1, 0);
  OCIBind* b = nullptr;
  oci.BindByName(c.stmt, &b, oci.err, reinterpret_cast<const OraText*>("L"), 1, nullptr, 2147483647, SQLT_LNG, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC);
  oci.BindDynamic(b, oci.err, &source, SendLongPiece, nullptr, nullptr);
  ASSERT_EQ(oci.StmtExecute(c.svc, c.stmt, oci.err, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS);
  EXPECT_EQ(source.pieces, (std::vector<ub1>{OCI_FIRST_PIECE, OCI_NEXT_PIECE, OCI_LAST_PIECE}));

  ASSERT_EQ(c.Run("SELECT L FROM " + table, 0), OCI_SUCCESS);
  LongSink sink;
  OCIDefine* d = nullptr;
  oci.DefineByPos(c.stmt, &d, oci.err, 1, nullptr, 2147483647, SQLT_LNG, nullptr, nullptr, nullptr, OCI_DYNAMIC_FETCH);
  oci.DefineDynamic(d, oci.err, &sink, ReceiveLongPiece);
  ASSERT_EQ(oci.StmtFetch(c.stmt, oci.err, 1, OCI_FETCH_NEXT, 0), OCI_SUCCESS);
  sink.data.append(sink.chunk, sink.length);
  EXPECT_EQ(sink.data.size(), source.data.size());
  EXPECT_TRUE(sink.data == source.data);
}

TEST_F(OciServerTest, LobsAreWrittenThroughReturnedLocatorsAndReadBack) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  auto lobWrite = oci.Bind<OCILobWriteProc>("OCILobWrite");
  auto lobRead = oci.Bind<OCILobReadProc>("OCILobRead");
  auto lobLength = oci.Bind<OCILobGetLengthProc>("OCILobGetLength");
  auto lobIsInit = oci.Bind<OCILobLocatorIsInitProc>("OCILobLocatorIsInit");
  std::string table = UniqueName("DOCS");
  ASSERT_EQ(c.Run("CREATE TABLE " + table + " (ID NUMBER, BODY CLOB)"), OCI_SUCCESS);

  OCILobLocator* locator = nullptr;
  ASSERT_EQ(oci.DescriptorAlloc(oci.env, reinterpret_cast<void**>(&locator), OCI_DTYPE_LOB, 0, nullptr), OCI_SUCCESS);
  boolean initialized = 1;
  lobIsInit(oci.env, oci.err, locator, &initialized);
  EXPECT_EQ(initialized, 0);
  std::string insert = "INSERT INTO " + table + " VALUES (1, EMPTY_CLOB()) RETURNING BODY INTO :BODY";
  oci.StmtPrepare(c.stmt, oci.err, reinterpret_cast<const OraText*>(insert.c_str()), static_cast<ub4>(insert.size() + 1), 1, 0);
  OCIBind* b = nullptr;
  oci.BindByName(c.stmt, &b, oci.err, reinterpret_cast<const OraText*>("BODY"), 4, &locator, sizeof locator, SQLT_CLOB, nullptr, nullptr, nullptr, 0, nullptr, 0);
  ASSERT_EQ(oci.StmtExecute(c.svc, c.stmt, oci.err, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS);
  lobIsInit(oci.env, oci.err, locator, &initialized);
  EXPECT_EQ(initialized, 1);
  char text[] = "hello, large object";
  ub4 amount = sizeof text - 1;
  ASSERT_EQ(lobWrite(c.svc, oci.err, locator, &amount, 1, text, amount, OCI_ONE_PIECE, nullptr, nullptr, 0, 0), OCI_SUCCESS);
  ASSERT_EQ(oci.TransCommit(c.svc, oci.err, 0), OCI_SUCCESS);

  OCILobLocator* fetched = nullptr;
  oci.DescriptorAlloc(oci.env, reinterpret_cast<void**>(&fetched), OCI_DTYPE_LOB, 0, nullptr);
  ASSERT_EQ(c.Run("SELECT BODY FROM " + table, 0), OCI_SUCCESS);
  OCIDefine* d = nullptr;
  oci.DefineByPos(c.stmt, &d, oci.err, 1, &fetched, sizeof fetched, SQLT_CLOB, nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(oci.StmtFetch(c.stmt, oci.err, 1, OCI_FETCH_NEXT, 0), OCI_SUCCESS);
  ub4 length = 0;
  lobLength(c.svc, oci.err, fetched, &length);
  EXPECT_EQ(length, sizeof text - 1);
  char back[8] = {};
  amount = 5;
  ASSERT_EQ(lobRead(c.svc, oci.err, fetched, &amount, 8, back, sizeof back, nullptr, nullptr, 0, 0), OCI_SUCCESS);
  EXPECT_EQ(amount, 5u);
  EXPECT_STREQ(back, "large");
  amount = 1;
  EXPECT_EQ(lobWrite(c.svc, oci.err, fetched, &amount, 1, text, 1, OCI_ONE_PIECE, nullptr, nullptr, 0, 0), OCI_ERROR);
  EXPECT_EQ(oci.LastError(), 22920);  // a selected locator is not locked for writing
  oci.DescriptorFree(fetched, OCI_DTYPE_LOB);
  oci.DescriptorFree(locator, OCI_DTYPE_LOB);
}

TEST_F(OciServerTest, FileLocatorsReadFilesOfDirectoryAliases) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  std::string name = UniqueName("file") + ".txt";
  std::ofstream(StandinFolder() + "/" + name, std::ios::binary) << "bytes of a file";
  std::string serverPath = StandinFolder().substr(2);  // the server sees Z:/x as /x
  std::string alias = UniqueName("DIR");
  ASSERT_EQ(c.Run("CREATE OR REPLACE DIRECTORY " + alias + " AS '" + serverPath + "'"), OCI_SUCCESS);
  ASSERT_EQ(c.Run("SELECT BFILENAME('" + alias + "', '" + name + "'), BFILENAME('NO_SUCH_DIR', 'x') FROM DUAL", 0), OCI_SUCCESS);
  OCILobLocator* files[2] = {};
  OCIDefine* d[2] = {};
  for (int i = 0; i < 2; ++i) {
    oci.DescriptorAlloc(oci.env, reinterpret_cast<void**>(&files[i]), OCI_DTYPE_FILE, 0, nullptr);
    oci.DefineByPos(c.stmt, &d[i], oci.err, i + 1, &files[i], sizeof files[i], SQLT_BFILEE, nullptr, nullptr, nullptr, 0);
  }
  ASSERT_EQ(oci.StmtFetch(c.stmt, oci.err, 1, OCI_FETCH_NEXT, 0), OCI_SUCCESS);
  auto getName = oci.Bind<OCILobFileGetNameProc>("OCILobFileGetName");
  auto exists = oci.Bind<OCILobFileExistsProc>("OCILobFileExists");
  auto open = oci.Bind<OCILobFileOpenProc>("OCILobFileOpen");
  auto close = oci.Bind<OCILobFileCloseProc>("OCILobFileClose");
  auto length = oci.Bind<OCILobGetLengthProc>("OCILobGetLength");
  auto read = oci.Bind<OCILobReadProc>("OCILobRead");
  OraText directory[50], file[50];
  ub2 directoryLength = 50, fileLength = 50;
  ASSERT_EQ(getName(oci.env, oci.err, files[0], directory, &directoryLength, file, &fileLength), OCI_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(directory), directoryLength), alias);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(file), fileLength), name);
  boolean flag = 0;
  ASSERT_EQ(exists(c.svc, oci.err, files[0], &flag), OCI_SUCCESS);
  EXPECT_EQ(flag, 1);
  ub4 size = 0;
  EXPECT_EQ(length(c.svc, oci.err, files[0], &size), OCI_ERROR);  // not opened yet
  ASSERT_EQ(open(c.svc, oci.err, files[0], OCI_FILE_READONLY), OCI_SUCCESS);
  length(c.svc, oci.err, files[0], &size);
  EXPECT_EQ(size, 15u);
  char buffer[32] = {};
  ub4 amount = 0;
  ASSERT_EQ(read(c.svc, oci.err, files[0], &amount, 1, buffer, sizeof buffer, nullptr, nullptr, 0, 0), OCI_SUCCESS);
  EXPECT_STREQ(buffer, "bytes of a file");
  close(c.svc, oci.err, files[0]);
  EXPECT_EQ(exists(c.svc, oci.err, files[1], &flag), OCI_ERROR);
  EXPECT_EQ(oci.LastError(), 22285);
  for (auto* f : files) oci.DescriptorFree(f, OCI_DTYPE_FILE);
}

// A client installed as <home>\bin\oci.dll finds <home>\network\admin\tnsnames.ora.
TEST_F(OciServerTest, AliasesComeFromTheClientsOwnHome) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string home = std::string(temp) + UniqueName("home");
  CreateDirectoryA(home.c_str(), nullptr);
  CreateDirectoryA((home + "\\bin").c_str(), nullptr);
  CreateDirectoryA((home + "\\network").c_str(), nullptr);
  CreateDirectoryA((home + "\\network\\admin").c_str(), nullptr);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string folder(self);
  folder = folder.substr(0, folder.find_last_of("\\/"));
  ASSERT_TRUE(CopyFileA((folder + "\\oci.dll").c_str(), (home + "\\bin\\oci.dll").c_str(), FALSE));
  std::ifstream fixture(StandinFolder() + "\\tnsnames.ora");
  std::stringstream text;
  text << fixture.rdbuf();
  std::ofstream(home + "\\network\\admin\\tnsnames.ora") << "HOME_ONLY = " << FindAlias(text.str(), "SETRIX_TEST") << "\n";
  SetEnvironmentVariableA("TNS_ADMIN", nullptr);
  {
    OciLibrary oci((home + "\\bin\\oci.dll").c_str());
    OciConnection c(oci, "HOME_ONLY", "SCOTT", "TIGER");
    EXPECT_EQ(c.logonStatus, OCI_SUCCESS);
  }
  OciLibrary other;
  OciConnection unknown(other, "HOME_ONLY", "SCOTT", "TIGER");  // the test folder is no home
  EXPECT_EQ(other.LastError(), 12154);
  StandinFolder();
}

TEST_F(OciServerTest, HooksFailAndDropCallsOfOneUser) {
  OciLibrary oci;
  OciConnection c(oci, "SETRIX_TEST", "CLIENT_HOOKED", "HOOKED");
  ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
  InstallServerHook("SETRIX_TEST", "execute:2:fail:942@CLIENT_HOOKED");
  EXPECT_EQ(c.Run("SELECT * FROM DUAL", 0), OCI_SUCCESS);
  EXPECT_EQ(c.Run("SELECT * FROM DUAL", 0), OCI_ERROR);
  EXPECT_EQ(oci.LastError(), 942);
  EXPECT_EQ(c.Run("SELECT * FROM DUAL", 0), OCI_SUCCESS);
  InstallServerHook("SETRIX_TEST", "execute:1:info:24344@CLIENT_HOOKED");
  EXPECT_EQ(c.Run("CREATE TABLE " + UniqueName("INFO") + " (A NUMBER)"), OCI_SUCCESS_WITH_INFO);
  std::string text;
  EXPECT_EQ(oci.LastError(&text), 24344);
  EXPECT_EQ(text, "ORA-24344: success with compilation error\n");
  InstallServerHook("SETRIX_TEST", "commit:1:drop@CLIENT_HOOKED");
  EXPECT_EQ(oci.TransCommit(c.svc, oci.err, 0), OCI_ERROR);
  EXPECT_EQ(oci.LastError(), 3113);
  EXPECT_EQ(c.Run("SELECT * FROM DUAL", 0), OCI_ERROR);
  EXPECT_EQ(oci.LastError(), 3114);
}

// The version 7 functions of oci.dll run over a session's log-on data area
// (OCISvcCtxToLda): in its transaction, and no longer once the session has ended.
TEST_F(OciServerTest, Version7StatementsOverTheSession) {
  OciLibrary oci;
  auto svcCtxToLda = oci.Bind<OCISvcCtxToLdaProc>("OCISvcCtxToLda");
  auto oopen = oci.Bind<oopenProc>("oopen");
  auto oparse = oci.Bind<oparseProc>("oparse");
  auto oexn = oci.Bind<oexnProc>("oexn");
  auto oerhms = oci.Bind<oerhmsProc>("oerhms");
  auto oclose = oci.Bind<ocloseProc>("oclose");
  ASSERT_NE(oopen, nullptr);
  Lda_Def lda{};
  Cda_Def cda{};
  const std::string table = UniqueName("SVCLDA");
  const auto run = [&](const std::string& sql) {
    if (oparse(&cda, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<sb4>(sql.size() + 1), 0, 2) != 0)
      return -1;
    return oexn(&cda, 1, 0);
  };
  {
    OciConnection c(oci, "SETRIX_TEST", "SCOTT", "TIGER");
    ASSERT_EQ(c.logonStatus, OCI_SUCCESS);
    ASSERT_EQ(svcCtxToLda(c.svc, oci.err, &lda), OCI_SUCCESS);
    ASSERT_EQ(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
    ASSERT_EQ(run("CREATE TABLE " + table + " (N NUMBER)"), 0);
    ASSERT_EQ(run("INSERT INTO " + table + " VALUES (1)"), 0);
    EXPECT_EQ(cda.rowsProcessed, 1u);
    EXPECT_EQ(c.Run("DELETE FROM " + table), OCI_SUCCESS);  // the same transaction sees the row
    ub4 rows = 0;
    oci.AttrGet(c.stmt, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, oci.err);
    EXPECT_EQ(rows, 1u);
    const sword status = run("SELECT * FROM NO_SUCH_TABLE_SVC");
    EXPECT_EQ(status, -942);
    OraText text[512];
    oerhms(&lda, static_cast<sb2>(status), text, sizeof text);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text)).rfind("ORA-00942", 0), 0u);
    EXPECT_EQ(run("DROP TABLE " + table), 0);
  }
  EXPECT_EQ(run("SELECT * FROM DUAL"), -1012);  // the session has ended
  oclose(&cda);
}

}  // namespace
}  // namespace orastandin::testing
