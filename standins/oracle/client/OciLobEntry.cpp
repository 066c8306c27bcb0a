// oci.dll: the LOB and file locator functions of the stand-in client. A LOB locator holds its
// value; one returned by RETURNING ... INTO knows its row and writes through to it. A file
// locator names a directory alias and a file and reads the file when opened.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "standins/oracle/client/OciCalls.h"

using namespace orastandin;
using namespace orastandin::oci;

// --- LOB locators ---------------------------------------------------------------------------

namespace {
// A LOB locator, or a file locator that has been opened.
LobDescriptor* Lob(const void* locp) {
  LobDescriptor* lob = AnyLocator(locp);
  if (lob && Handles().Is(locp, OCI_DTYPE_FILE) && !lob->opened) throw OraError(22289, "FILE READ");
  return lob;
}

// Asks the server for a file of a file locator: true when it exists; contents when wanted.
bool ReadServerFile(OCISvcCtx* svchp, const LobDescriptor& file, bool contentsWanted, std::string& contents) {
  SvcCtxHandle* svc = ConnectedService(svchp);
  if (!svc) throw OraError(3114);
  WireWriter w = RequestOf(Request::FileRead);
  w.Str(file.directory);
  w.Str(file.fileName);
  w.U8(contentsWanted ? 1 : 0);
  std::string body = svc->server->connection->Call(w);
  WireReader reply(body);
  bool exists = reply.U8() != 0;
  contents = reply.Str();
  return exists;
}

LobDescriptor* FileLocator(const void* filep) { return Handles().Find<LobDescriptor>(filep, OCI_DTYPE_FILE); }

// Sends the locator's new contents to the row it belongs to.
void StoreLob(OCISvcCtx* svchp, const LobDescriptor& lob) {
  if (lob.place.empty()) throw OraError(22920);
  SvcCtxHandle* svc = ConnectedService(svchp);
  if (!svc) throw OraError(3114);
  Value v = lob.binary ? Value::Raw(lob.data) : Value::Text(lob.data);
  v.lob = lob.place;
  WireWriter w = RequestOf(Request::LobStore);
  w.Val(v);
  svc->server->connection->Call(w);
}
}  // namespace

OCI_EXPORT sword OCILobFileSetName(OCIEnv*, OCIError*, OCILobLocator** filepp, const OraText* dirAlias, ub2 dLength,
                                   const OraText* fileName, ub2 fLength) {
  LobDescriptor* file = filepp ? FileLocator(*filepp) : nullptr;
  if (!file) return OCI_INVALID_HANDLE;
  file->directory = TextArg(dirAlias, dLength);
  file->fileName = TextArg(fileName, fLength);
  file->initialized = true;
  file->opened = false;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCILobFileGetName(OCIEnv*, OCIError*, const OCILobLocator* filep, OraText* dirAlias, ub2* dLength,
                                   OraText* fileName, ub2* fLength) {
  LobDescriptor* file = FileLocator(filep);
  if (!file) return OCI_INVALID_HANDLE;
  auto give = [](const std::string& text, OraText* buffer, ub2* length) {
    if (!length) return;
    std::size_t n = std::min<std::size_t>(text.size(), *length);
    if (buffer) std::memcpy(buffer, text.data(), n);
    *length = static_cast<ub2>(n);
  };
  give(file->directory, dirAlias, dLength);
  give(file->fileName, fileName, fLength);
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCILobFileExists(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep, boolean* flag) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    LobDescriptor* file = FileLocator(filep);
    if (!file || !flag) return OCI_INVALID_HANDLE;
    std::string ignored;
    *flag = ReadServerFile(svchp, *file, false, ignored) ? 1 : 0;
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCILobFileOpen(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep, ub1) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    LobDescriptor* file = FileLocator(filep);
    if (!file) return OCI_INVALID_HANDLE;
    ReadServerFile(svchp, *file, true, file->data);
    file->opened = true;
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCILobFileClose(OCISvcCtx*, OCIError*, OCILobLocator* filep) {
  LobDescriptor* file = FileLocator(filep);
  if (!file) return OCI_INVALID_HANDLE;
  file->opened = false;
  file->data.clear();
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCILobFileIsOpen(OCISvcCtx*, OCIError*, OCILobLocator* filep, boolean* flag) {
  LobDescriptor* file = FileLocator(filep);
  if (!file || !flag) return OCI_INVALID_HANDLE;
  *flag = file->opened ? 1 : 0;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCILobLocatorIsInit(OCIEnv*, OCIError* errhp, const OCILobLocator* locp, boolean* isInitialized) {
  LobDescriptor* lob = AnyLocator(locp);
  if (!lob || !isInitialized) return OCI_INVALID_HANDLE;
  *isInitialized = lob->initialized ? 1 : 0;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCILobGetLength(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, ub4* lenp) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    LobDescriptor* lob = Lob(locp);
    if (!lob || !lenp) return OCI_INVALID_HANDLE;
    *lenp = static_cast<ub4>(lob->data.size());
    return OCI_SUCCESS;
  });
}

// Offsets are 1-based; an amount of 0 reads to the end. Single-byte data: characters are bytes.
OCI_EXPORT sword OCILobRead(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset, dvoid* bufp,
                            ub4 bufl, dvoid*, dvoid*, ub2, ub1) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    LobDescriptor* lob = Lob(locp);
    if (!lob || !amtp) return OCI_INVALID_HANDLE;
    if (!lob->initialized) throw OraError(22275);
    std::size_t start = offset > 0 ? offset - 1 : 0;
    std::size_t available = start < lob->data.size() ? lob->data.size() - start : 0;
    std::size_t want = *amtp == 0 ? available : std::min<std::size_t>(*amtp, available);
    std::size_t n = std::min<std::size_t>(want, bufl);
    if (bufp && n) std::memcpy(bufp, lob->data.data() + start, n);
    *amtp = static_cast<ub4>(n);
    return n == 0 && available == 0 && offset > lob->data.size() + 1 ? OCI_NO_DATA : OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCILobWrite(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset, dvoid* bufp,
                             ub4 buflen, ub1, dvoid*, dvoid*, ub2, ub1) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    LobDescriptor* lob = Lob(locp);
    if (!lob || !amtp) return OCI_INVALID_HANDLE;
    if (!lob->initialized) throw OraError(22275);
    LobDescriptor changed = *lob;
    std::size_t start = offset > 0 ? offset - 1 : 0;
    std::size_t n = std::min<std::size_t>(*amtp ? *amtp : buflen, buflen);
    if (changed.data.size() < start) changed.data.resize(start, changed.binary ? '\0' : ' ');
    if (changed.data.size() < start + n) changed.data.resize(start + n);
    if (n) std::memcpy(changed.data.data() + start, bufp, n);
    StoreLob(svchp, changed);
    *lob = changed;
    *amtp = static_cast<ub4>(n);
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCILobTrim(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4 newlen) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    LobDescriptor* lob = Lob(locp);
    if (!lob) return OCI_INVALID_HANDLE;
    if (!lob->initialized) throw OraError(22275);
    LobDescriptor changed = *lob;
    if (newlen < changed.data.size()) changed.data.resize(newlen);
    StoreLob(svchp, changed);
    *lob = changed;
    return OCI_SUCCESS;
  });
}

