// The stand-in oci.dll loaded and bound by name as the Oracle layer does, with an
// environment, an error handle and helpers to log on and run statements.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oracle/oci/OciApi.h"

namespace orastandin::testing {

using namespace oracle::oci;

// The folder holding the fixture's tnsnames.ora (TNS_ADMIN is pointed at it), or empty
// when no server was started.
std::string StandinFolder();

#define SKIP_WITHOUT_SERVER() \
  if (StandinFolder().empty()) GTEST_SKIP() << "no stand-in server (SETRIX_NATIVE_TREE unset)"

struct OciLibrary {
  explicit OciLibrary(const char* path = "oci.dll");
  ~OciLibrary();
  OciLibrary(const OciLibrary&) = delete;
  OciLibrary& operator=(const OciLibrary&) = delete;

  template <class F>
  F Bind(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  // The code and text of the error handle's record.
  int LastError(std::string* text = nullptr) const;

  HMODULE module = nullptr;
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIEnvCreateProc EnvCreate;
  OCIHandleAllocProc HandleAlloc;
  OCIHandleFreeProc HandleFree;
  OCIDescriptorAllocProc DescriptorAlloc;
  OCIDescriptorFreeProc DescriptorFree;
  OCIErrorGetProc ErrorGet;
  OCIAttrSetProc AttrSet;
  OCIAttrGetProc AttrGet;
  OCIServerAttachProc ServerAttach;
  OCIServerDetachProc ServerDetach;
  OCISessionBeginProc SessionBegin;
  OCISessionEndProc SessionEnd;
  OCIServerVersionProc ServerVersion;
  OCITransCommitProc TransCommit;
  OCITransRollbackProc TransRollback;
  OCIStmtPrepareProc StmtPrepare;
  OCIStmtExecuteProc StmtExecute;
  OCIStmtFetchProc StmtFetch;
  OCIBindByNameProc BindByName;
  OCIBindByPosProc BindByPos;
  OCIBindArrayOfStructProc BindArrayOfStruct;
  OCIBindDynamicProc BindDynamic;
  OCIDefineByPosProc DefineByPos;
  OCIDefineArrayOfStructProc DefineArrayOfStruct;
  OCIDefineDynamicProc DefineDynamic;
  OCIParamGetProc ParamGet;
};

// One logged-on connection: server, service context and session handles.
struct OciConnection {
  OciConnection(OciLibrary& oci, const std::string& server, const std::string& user, const std::string& password,
                ub4 mode = OCI_DEFAULT);
  ~OciConnection();
  OciConnection(const OciConnection&) = delete;
  OciConnection& operator=(const OciConnection&) = delete;

  // Prepares and executes a statement without binds; returns the status.
  sword Run(const std::string& sql, ub4 iters = 1);

  OciLibrary& oci;
  OCIServer* server = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* session = nullptr;
  OCIStmt* stmt = nullptr;
  sword attachStatus = OCI_ERROR;
  sword logonStatus = OCI_ERROR;
};

// A test logged on as SCOTT through the fixture's server (skipped without one).
class OciSessionTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Runs a statement that must succeed.
  void Create(const std::string& sql);

  std::unique_ptr<OciLibrary> oci_;
  std::unique_ptr<OciConnection> connection_;
};

// A table name no other test uses.
std::string UniqueName(const char* prefix);

}  // namespace orastandin::testing
