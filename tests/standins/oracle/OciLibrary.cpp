#include "tests/standins/oracle/OciLibrary.h"

#include <gtest/gtest.h>

#include <atomic>

namespace orastandin::testing {

std::string StandinFolder() {
  char buffer[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("SETRIX_ORACLE_STANDIN", buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  SetEnvironmentVariableA("TNS_ADMIN", buffer);
  return std::string(buffer, n);
}

OciLibrary::OciLibrary(const char* path) {
  module = LoadLibraryA(path);
  EXPECT_NE(module, nullptr);
  EnvCreate = Bind<OCIEnvCreateProc>("OCIEnvCreate");
  HandleAlloc = Bind<OCIHandleAllocProc>("OCIHandleAlloc");
  HandleFree = Bind<OCIHandleFreeProc>("OCIHandleFree");
  DescriptorAlloc = Bind<OCIDescriptorAllocProc>("OCIDescriptorAlloc");
  DescriptorFree = Bind<OCIDescriptorFreeProc>("OCIDescriptorFree");
  ErrorGet = Bind<OCIErrorGetProc>("OCIErrorGet");
  AttrSet = Bind<OCIAttrSetProc>("OCIAttrSet");
  AttrGet = Bind<OCIAttrGetProc>("OCIAttrGet");
  ServerAttach = Bind<OCIServerAttachProc>("OCIServerAttach");
  ServerDetach = Bind<OCIServerDetachProc>("OCIServerDetach");
  SessionBegin = Bind<OCISessionBeginProc>("OCISessionBegin");
  SessionEnd = Bind<OCISessionEndProc>("OCISessionEnd");
  ServerVersion = Bind<OCIServerVersionProc>("OCIServerVersion");
  TransCommit = Bind<OCITransCommitProc>("OCITransCommit");
  TransRollback = Bind<OCITransRollbackProc>("OCITransRollback");
  StmtPrepare = Bind<OCIStmtPrepareProc>("OCIStmtPrepare");
  StmtExecute = Bind<OCIStmtExecuteProc>("OCIStmtExecute");
  StmtFetch = Bind<OCIStmtFetchProc>("OCIStmtFetch");
  BindByName = Bind<OCIBindByNameProc>("OCIBindByName");
  BindByPos = Bind<OCIBindByPosProc>("OCIBindByPos");
  BindArrayOfStruct = Bind<OCIBindArrayOfStructProc>("OCIBindArrayOfStruct");
  BindDynamic = Bind<OCIBindDynamicProc>("OCIBindDynamic");
  DefineByPos = Bind<OCIDefineByPosProc>("OCIDefineByPos");
  DefineArrayOfStruct = Bind<OCIDefineArrayOfStructProc>("OCIDefineArrayOfStruct");
  DefineDynamic = Bind<OCIDefineDynamicProc>("OCIDefineDynamic");
  ParamGet = Bind<OCIParamGetProc>("OCIParamGet");
  EXPECT_EQ(EnvCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr), OCI_SUCCESS);
  EXPECT_EQ(HandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr), OCI_SUCCESS);
}

OciLibrary::~OciLibrary() {
  if (env) HandleFree(env, OCI_HTYPE_ENV);
  if (module) FreeLibrary(module);
}

int OciLibrary::LastError(std::string* text) const {
  sb4 code = 0;
  OraText buffer[512] = {};
  if (ErrorGet(err, 1, nullptr, &code, buffer, sizeof buffer, OCI_HTYPE_ERROR) != OCI_SUCCESS) return 0;
  if (text) *text = reinterpret_cast<char*>(buffer);
  return code;
}

OciConnection::OciConnection(OciLibrary& library, const std::string& name, const std::string& user,
                             const std::string& password, ub4 mode)
    : oci(library) {
  oci.HandleAlloc(oci.env, reinterpret_cast<void**>(&server), OCI_HTYPE_SERVER, 0, nullptr);
  oci.HandleAlloc(oci.env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  oci.HandleAlloc(oci.env, reinterpret_cast<void**>(&session), OCI_HTYPE_SESSION, 0, nullptr);
  oci.HandleAlloc(oci.env, reinterpret_cast<void**>(&stmt), OCI_HTYPE_STMT, 0, nullptr);
  attachStatus = oci.ServerAttach(server, oci.err, reinterpret_cast<const OraText*>(name.c_str()),
                                  static_cast<sb4>(name.size()), 0);
  if (attachStatus != OCI_SUCCESS) return;
  oci.AttrSet(svc, OCI_HTYPE_SVCCTX, server, 0, OCI_ATTR_SERVER, oci.err);
  oci.AttrSet(session, OCI_HTYPE_SESSION, const_cast<char*>(user.c_str()), static_cast<ub4>(user.size()),
              OCI_ATTR_USERNAME, oci.err);
  oci.AttrSet(session, OCI_HTYPE_SESSION, const_cast<char*>(password.c_str()), static_cast<ub4>(password.size()),
              OCI_ATTR_PASSWORD, oci.err);
  logonStatus = oci.SessionBegin(svc, oci.err, session, OCI_CRED_RDBMS, mode);
  if (logonStatus == OCI_SUCCESS) oci.AttrSet(svc, OCI_HTYPE_SVCCTX, session, 0, OCI_ATTR_SESSION, oci.err);
}

OciConnection::~OciConnection() {
  if (logonStatus == OCI_SUCCESS) oci.SessionEnd(svc, oci.err, session, 0);
  if (attachStatus == OCI_SUCCESS) oci.ServerDetach(server, oci.err, 0);
  oci.HandleFree(stmt, OCI_HTYPE_STMT);
  oci.HandleFree(session, OCI_HTYPE_SESSION);
  oci.HandleFree(svc, OCI_HTYPE_SVCCTX);
  oci.HandleFree(server, OCI_HTYPE_SERVER);
}

sword OciConnection::Run(const std::string& sql, ub4 iters) {
  sword status = oci.StmtPrepare(stmt, oci.err, reinterpret_cast<const OraText*>(sql.c_str()),
                                 static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT);
  if (status != OCI_SUCCESS) return status;
  return oci.StmtExecute(svc, stmt, oci.err, iters, 0, nullptr, nullptr, OCI_DEFAULT);
}

void OciSessionTest::SetUp() {
  SKIP_WITHOUT_SERVER();
  oci_ = std::make_unique<OciLibrary>();
  connection_ = std::make_unique<OciConnection>(*oci_, "SETRIX_TEST", "SCOTT", "TIGER");
  ASSERT_EQ(connection_->logonStatus, OCI_SUCCESS);
}

void OciSessionTest::Create(const std::string& sql) { ASSERT_EQ(connection_->Run(sql), OCI_SUCCESS) << sql; }

std::string UniqueName(const char* prefix) {
  static std::atomic<int> counter{0};
  return std::string(prefix) + "_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}

}  // namespace orastandin::testing
