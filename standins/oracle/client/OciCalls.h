// Helpers the stand-in client's entry points share: error records, argument texts, the
// connected service context, requests, locators.
#pragma once
#include <cstring>
#include <string>

#include "standins/oracle/client/OciHandles.h"

#define OCI_EXPORT extern "C" __declspec(dllexport)

namespace orastandin::oci {

inline sword Fail(ErrorHandle* err, const OraError& e) {
  if (err) err->Set(e);
  return OCI_ERROR;
}

inline ErrorHandle* ErrorOf(const void* h) { return Handles().Find<ErrorHandle>(h, OCI_HTYPE_ERROR); }

// Runs a call; Oracle errors become OCI_ERROR with the record on the error handle.
template <class Body>
sword Guard(const void* errhp, Body&& body) {
  ErrorHandle* err = ErrorOf(errhp);
  try {
    return body(err);
  } catch (const OraError& e) {
    return Fail(err, e);
  } catch (const std::exception& e) {
    return Fail(err, OraError::Verbatim(600, std::string("ORA-00600: internal error code, arguments: [") + e.what() + "]\n", 0));
  }
}

inline std::string TextArg(const OraText* text, sb4 length) {
  if (!text) return {};
  const char* p = reinterpret_cast<const char*>(text);
  std::size_t n = length < 0 ? std::strlen(p) : static_cast<std::size_t>(length);
  while (n > 0 && p[n - 1] == '\0') --n;
  return std::string(p, n);
}

inline SvcCtxHandle* ConnectedService(OCISvcCtx* svchp) {
  auto* svc = Handles().Find<SvcCtxHandle>(svchp, OCI_HTYPE_SVCCTX);
  if (!svc) return nullptr;
  if (!svc->server || !Handles().Contains(svc->server) || !svc->server->connection) throw OraError(3114);
  return svc;
}

inline WireWriter RequestOf(Request r) {
  WireWriter w;
  w.U8(static_cast<std::uint8_t>(r));
  return w;
}

inline LobDescriptor* AnyLocator(const void* locator) {
  if (auto* lob = Handles().Find<LobDescriptor>(locator, OCI_DTYPE_LOB)) return lob;
  return Handles().Find<LobDescriptor>(locator, OCI_DTYPE_FILE);
}

}  // namespace orastandin::oci
