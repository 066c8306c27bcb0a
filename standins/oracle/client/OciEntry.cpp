// oci.dll: the OCI8, object and 8.1 entry points of the stand-in client. The calls the
// Oracle layer makes work against the stand-in server; the others answer OCI_ERROR with
// ORA-03001 on the error handle they are given.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "standins/oracle/client/OciCalls.h"
#include "standins/oracle/client/OciHandles.h"
#include "standins/oracle/client/Oci7Logon.h"
#include "standins/oracle/client/OciObjects.h"
#include "standins/oracle/client/TnsNames.h"
#include "standins/oracle/protocol/ObjectImage.h"
#include "standins/oracle/client/ValueCodec.h"
#include "standins/oracle/protocol/RowidText.h"
#include "standins/oracle/protocol/StatementKind.h"

using namespace orastandin;
using namespace orastandin::oci;


namespace {

// Bind names without the colon; unquoted names are upper-cased.
std::string BindName(std::string name) {
  if (!name.empty() && name[0] == ':') name.erase(0, 1);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') return name.substr(1, name.size() - 2);
  for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// Placeholder names in order of appearance, for binds by position.
std::vector<std::string> Placeholders(const std::string& sql) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    char c = sql[i];
    if (c == '\'' || c == '"') {
      std::size_t end = sql.find(c, i + 1);
      if (c == '"' && i > 0 && sql[i - 1] == ':') {
        names.push_back(sql.substr(i + 1, end - i - 1));
      }
      i = end == std::string::npos ? sql.size() : end;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      i = sql.find('\n', i);
      if (i == std::string::npos) break;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      i = sql.find("*/", i + 2);
      if (i == std::string::npos) break;
      ++i;
    } else if (c == ':' && i + 1 < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '_')) {
      std::size_t b = i + 1, e = b;
      while (e < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[e])) || sql[e] == '_' || sql[e] == '$' || sql[e] == '#')) ++e;
      names.push_back(BindName(sql.substr(b, e - b)));
      i = e - 1;
    }
  }
  return names;
}

template <class T>
T* At(void* base, ub4 skip, ub4 index) {
  return base ? reinterpret_cast<T*>(static_cast<char*>(base) + static_cast<std::size_t>(skip) * index) : nullptr;
}

// A ROWID descriptor in a program's slot (a pointer to the descriptor pointer).
RowidDescriptor* RowidIn(void* slot) {
  return slot ? Handles().Find<RowidDescriptor>(*static_cast<void**>(slot), OCI_DTYPE_ROWID) : nullptr;
}

Value RowidValue(const RowidDescriptor* d) {
  if (!d || !d->data) return Value::Null();
  const ub1* b = d->data;
  RowidParts p;
  p.object = (static_cast<std::uint32_t>(b[1]) << 24) | (b[2] << 16) | (b[3] << 8) | b[4];
  p.file = static_cast<std::uint16_t>((b[5] << 8) | b[6]);
  p.block = (static_cast<std::uint32_t>(b[7]) << 24) | (b[8] << 16) | (b[9] << 8) | b[10];
  p.row = static_cast<std::uint16_t>((b[11] << 8) | b[12]);
  return Value::Text(RowidText(p));
}

void FillRowid(RowidDescriptor* d, const Value& v) {
  if (!d) return;
  RowidParts parts;
  if (v.IsNull() || !ParseRowidText(v.bytes, parts)) {
    d->data = nullptr;
    return;
  }
  RowidBytes(parts, d->bytes);
  d->data = d->bytes;
}

bool IsLobType(ub2 dty) { return dty == SQLT_CLOB || dty == SQLT_BLOB || dty == SQLT_BFILEE || dty == SQLT_CFILEE; }
bool IsFileType(ub2 dty) { return dty == SQLT_BFILEE || dty == SQLT_CFILEE; }
bool IsObjectType(ub2 dty) { return dty == SQLT_NTY || dty == SQLT_REF; }

// The instance (or REF) slot and indicator structure slot of row or iteration i.
void** ObjectSlot(void** slots, ub4 skip, ub4 i) { return At<void*>(slots, skip ? skip : sizeof(void*), i); }

// The locator in a program's slot (a pointer to the locator pointer).
LobDescriptor* LocatorIn(void* slot) {
  if (!slot) return nullptr;
  auto* lob = AnyLocator(*static_cast<void**>(slot));
  if (!lob) throw OraError(22275);
  return lob;
}

void FillLocator(LobDescriptor& lob, const Value& v, ub2 dty) {
  lob.initialized = !v.IsNull();
  if (IsFileType(dty)) {  // "DIRECTORY/file name"
    std::size_t slash = v.bytes.find('/');
    lob.directory = v.bytes.substr(0, slash);
    lob.fileName = slash == std::string::npos ? std::string() : v.bytes.substr(slash + 1);
    lob.binary = dty == SQLT_BFILEE;
    lob.opened = false;
    lob.data.clear();
    return;
  }
  lob.binary = dty == SQLT_BLOB;
  lob.data = v.bytes;
  lob.place = v.lob;
}

Value ReadBind(BindHandle& b, ub4 iteration, std::size_t index, const PieceCollector& pieces) {
  if (b.maxElements > 0 && !b.dataAtExec) {  // a PL/SQL table: its elements in use, as a collection
    ObjectImage table;
    table.kind = ObjectImage::Kind::Collection;
    BindHandle element = b;
    element.maxElements = 0;
    const ub4 count = std::min(b.currentElements ? *b.currentElements : b.maxElements, b.maxElements);
    for (ub4 e = 0; e < count; ++e) table.items.push_back(ReadBind(element, e, index, pieces));
    return table.AsValue();
  }
  if (b.dataAtExec && !b.inCallback) {  // collected piece by piece through OCIStmtSetPieceInfo
    std::string data;
    if (!pieces.ValueOf(index, iteration, data)) return Value::Null();
    return ReadExternal(data.data(), static_cast<sb4>(data.size()), b.dty);
  }
  if (b.dataAtExec && b.inCallback) {
    std::string data;
    bool isNull = false;
    ub1 piece = OCI_FIRST_PIECE;
    for (int guard = 0; guard < 1000000; ++guard) {
      dvoid* buffer = nullptr;
      ub4 length = 0;
      dvoid* indicator = nullptr;
      ub1 answered = piece;
      if (b.inCallback(b.inContext, reinterpret_cast<OCIBind*>(&b), iteration, 0, &buffer, &length, &answered,
                       &indicator) != OCI_CONTINUE)
        throw OraError(1013);
      if (indicator && *static_cast<sb2*>(indicator) == -1) isNull = true;
      if (buffer && length) data.append(static_cast<const char*>(buffer), length);
      if (answered == OCI_LAST_PIECE || answered == OCI_ONE_PIECE) break;
      piece = OCI_NEXT_PIECE;
    }
    if (isNull || data.empty()) return Value::Null();
    return ReadExternal(data.data(), static_cast<sb4>(data.size()), b.dty);
  }
  if (IsObjectType(b.dty)) {
    if (!b.object.instances) throw OraError(1008);  // OCIBindObject was not called
    void** instance = ObjectSlot(b.object.instances, b.valueSkip, iteration);
    void** indicators = b.object.indicators ? ObjectSlot(b.object.indicators, 0, iteration) : nullptr;
    return ObjectBindValue(b.dty, *instance, indicators ? *indicators : nullptr);
  }
  sb2* indicator = At<sb2>(b.indicator, b.indicatorSkip, iteration);
  if (indicator && *indicator == -1) return Value::Null();
  if (b.dty == SQLT_RSET) return Value::Null();  // a cursor the block opens
  if (b.dty == SQLT_RDD) return RowidValue(RowidIn(At<char>(b.value, b.valueSkip ? b.valueSkip : sizeof(void*), iteration)));
  if (IsLobType(b.dty)) {
    LobDescriptor* lob = LocatorIn(At<char>(b.value, b.valueSkip ? b.valueSkip : sizeof(void*), iteration));
    if (!lob || !lob->initialized) return Value::Null();
    if (IsFileType(b.dty)) return Value::Text(lob->directory + "/" + lob->fileName);
    return lob->binary ? Value::Raw(lob->data) : Value::Text(lob->data);
  }
  ub4 skip = b.valueSkip ? b.valueSkip : static_cast<ub4>(b.valueSize);
  ub2* alen = At<ub2>(b.alen, b.alenSkip, iteration);
  sb4 length = alen ? *alen : b.valueSize;
  return ReadExternal(At<char>(b.value, skip, iteration), length, b.dty);
}

// The bytes of a value handed out piece by piece.
std::string PieceData(const Value& v, ub2 dty, const std::string& dateFormat) {
  if (v.IsNull()) return {};
  if (v.kind == Value::Kind::Blob && (dty == SQLT_BIN || dty == SQLT_LBI)) return v.bytes;
  return ValueText(v, dateFormat);
}

// Hands a value to a program's callback piece by piece: each call names a buffer and its
// room; the piece passed is firstPiece, then OCI_NEXT_PIECE, until the value is out.
template <class Callback>
void WritePieces(const std::string& data, bool isNull, ub1 firstPiece, Callback&& callback) {
  std::size_t done = 0;
  ub1 piece = firstPiece;
  for (;;) {
    dvoid* buffer = nullptr;
    ub4* length = nullptr;
    dvoid* indicator = nullptr;
    ub2* rcode = nullptr;
    if (callback(&buffer, &length, &piece, &indicator, &rcode) != OCI_CONTINUE) throw OraError(1013);
    ub4 room = length ? *length : 0;
    ub4 n = static_cast<ub4>(std::min<std::size_t>(room, data.size() - done));
    if (buffer && n) std::memcpy(buffer, data.data() + done, n);
    if (length) *length = n;
    if (indicator) *static_cast<sb2*>(indicator) = isNull ? -1 : 0;
    if (rcode) *rcode = 0;
    done += n;
    if (done >= data.size() || n == 0) return;
    piece = OCI_NEXT_PIECE;
  }
}

void WriteBind(BindHandle& b, const Value& v, const std::string& dateFormat, SvcCtxHandle* service) {
  if (IsObjectType(b.dty) && b.object.instances) {
    StoreObjectValue(b.object.type, b.dty, b.object.instances, b.object.indicators, v, service);
    return;
  }
  if (b.maxElements > 0) {  // a PL/SQL table: each element in its place, the count in use
    const ub4 count = WriteTable({b.value, b.valueSkip, b.valueSize, b.dty, b.indicator, b.indicatorSkip, b.alen,
                                  b.alenSkip, b.rcode, b.rcodeSkip, b.maxElements},
                                 v, dateFormat);
    if (b.currentElements) *b.currentElements = count;
    return;
  }
  if (b.outCallback) {
    WritePieces(PieceData(v, b.dty, dateFormat), v.IsNull(), OCI_ONE_PIECE,
                [&](dvoid** buffer, ub4** length, ub1* piece, dvoid** indicator, ub2** rcode) {
                  return b.outCallback(b.outContext, reinterpret_cast<OCIBind*>(&b), 0, 0, buffer, length, piece,
                                       indicator, rcode);
                });
    return;
  }
  if (!b.value && !b.indicator) return;
  if (b.dty == SQLT_RSET) return;  // filled from the opened cursors
  if (b.dty == SQLT_RDD) {
    FillRowid(RowidIn(b.value), v);
    if (b.indicator) *static_cast<sb2*>(b.indicator) = v.IsNull() ? -1 : 0;
    return;
  }
  if (IsLobType(b.dty)) {
    if (LobDescriptor* lob = LocatorIn(b.value)) FillLocator(*lob, v, b.dty);
    if (b.indicator) *static_cast<sb2*>(b.indicator) = v.IsNull() ? -1 : 0;
    return;
  }
  WriteResult r;
  if (b.value) r = WriteExternal(v, nullptr, b.dty, b.value, b.valueSize, dateFormat);
  else r.indicator = v.IsNull() ? -1 : 0;
  if (b.indicator) *static_cast<sb2*>(b.indicator) = r.indicator;
  if (b.alen) *b.alen = static_cast<ub2>(r.length);
  if (b.rcode) *b.rcode = r.truncated ? 1406 : (v.IsNull() ? 1405 : 0);
}

// The release this library reports in its version block (the one a program's loader reads):
// major, minor and build numbers.
struct Release {
  unsigned major = 0, minor = 0, build = 0;
};
Release OwnRelease() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnRelease), &self);
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  DWORD ignored = 0;
  std::vector<char> block(GetFileVersionInfoSizeA(path, &ignored));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  if (block.empty() || !GetFileVersionInfoA(path, 0, static_cast<DWORD>(block.size()), block.data()) ||
      !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &size) || !info)
    return {};
  return {HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS)};
}

// Releases from 8.1.6 up to 9 write a dynamic define's indicator at the address its callback
// gave plus the row within the fetch, as if the address were that of an array's first
// indicator; a program that knows it hands them an address moved back by as many rows.
bool ShiftsDynamicDefineIndicators() {
  static const bool shifts = [] {
    const Release r = OwnRelease();
    return r.major == 8 && (r.minor > 1 || (r.minor == 1 && r.build >= 6));
  }();
  return shifts;
}

// Copies rows of the result into the defines; true when a value was cut short. A dynamic
// define without a callback stops the row (NeedPiece) until its value has been handed out.
enum class RowDelivery { Whole, Truncated, NeedPiece };
void OpenCursorResult(StmtHandle& target, OpenedCursor& cursor, const std::string& dateFormat);

RowDelivery DeliverRow(StmtHandle& s, const std::vector<Value>& row, ub4 slot) {
  bool truncated = false;
  for (auto& [position, d] : s.defines) {
    if (!Handles().Contains(d) || position == 0 || position > row.size()) continue;
    const Value& v = row[position - 1];
    const ColumnInfo* column = position <= s.result.columns.size() ? &s.result.columns[position - 1] : nullptr;
    if (d->dynamic && !d->callback) {
      auto& done = s.fetch.positionsDone;
      if (std::find(done.begin(), done.end(), position) != done.end()) continue;
      s.outPiece.Start(PieceData(v, d->dty, s.result.dateFormat), v.IsNull(), position, slot);
      return RowDelivery::NeedPiece;
    }
    if (d->dynamic && d->callback) {
      WritePieces(PieceData(v, d->dty, s.result.dateFormat), v.IsNull(), OCI_FIRST_PIECE,
                  [&](dvoid** buffer, ub4** length, ub1* piece, dvoid** indicator, ub2** rcode) {
                    const sb4 status = d->callback(d->context, reinterpret_cast<OCIDefine*>(d), slot, buffer, length,
                                                   piece, indicator, rcode);
                    if (*indicator && ShiftsDynamicDefineIndicators()) *indicator = static_cast<sb2*>(*indicator) + slot;
                    return status;
                  });
      continue;
    }
    if (IsObjectType(d->dty) && d->object.instances) {
      void** indicators = d->object.indicators ? ObjectSlot(d->object.indicators, 0, slot) : nullptr;
      StoreObjectValue(d->object.type, d->dty, ObjectSlot(d->object.instances, d->valueSkip, slot), indicators, v,
                       s.service);
      if (sb2* ind = At<sb2>(d->indicator, d->indicatorSkip, slot)) *ind = v.IsNull() ? -1 : 0;
      continue;
    }
    if (d->dty == SQLT_RSET) {
      // A CURSOR(subquery) column: the program's statement handle in the slot takes the
      // cursor the cell names, ready to fetch.
      if (!v.IsNull()) {
        void** handle = At<void*>(d->value, d->valueSkip ? d->valueSkip : sizeof(void*), slot);
        auto* target = handle ? Handles().Find<StmtHandle>(*handle, OCI_HTYPE_STMT) : nullptr;
        if (!target || v.kind != Value::Kind::Integer || v.integer < 0 ||
            static_cast<std::size_t>(v.integer) >= s.result.cursors.size())
          throw OraError(24338);
        OpenedCursor cursor = s.result.cursors[static_cast<std::size_t>(v.integer)];
        target->service = s.service;
        OpenCursorResult(*target, cursor, s.result.dateFormat);
      }
      if (sb2* ind = At<sb2>(d->indicator, d->indicatorSkip, slot)) *ind = v.IsNull() ? -1 : 0;
      continue;
    }
    if (d->dty == SQLT_RDD) {
      FillRowid(RowidIn(At<char>(d->value, d->valueSkip ? d->valueSkip : sizeof(void*), slot)), v);
      if (sb2* ind = At<sb2>(d->indicator, d->indicatorSkip, slot)) *ind = v.IsNull() ? -1 : 0;
      continue;
    }
    if (IsLobType(d->dty)) {
      if (LobDescriptor* lob = LocatorIn(At<char>(d->value, d->valueSkip ? d->valueSkip : sizeof(void*), slot)))
        FillLocator(*lob, v, d->dty);
      if (sb2* ind = At<sb2>(d->indicator, d->indicatorSkip, slot)) *ind = v.IsNull() ? -1 : 0;
      continue;
    }
    ub4 skip = d->valueSkip ? d->valueSkip : static_cast<ub4>(d->valueSize);
    WriteResult r;
    if (d->value) r = WriteExternal(v, column, d->dty, At<char>(d->value, skip, slot), d->valueSize, s.result.dateFormat);
    else r.indicator = v.IsNull() ? -1 : 0;
    if (sb2* ind = At<sb2>(d->indicator, d->indicatorSkip, slot)) *ind = r.indicator;
    if (ub2* rlen = At<ub2>(d->rlen, d->rlenSkip, slot)) *rlen = static_cast<ub2>(r.length);
    if (ub2* rcode = At<ub2>(d->rcode, d->rcodeSkip, slot)) *rcode = r.truncated ? 1406 : (v.IsNull() ? 1405 : 0);
    truncated = truncated || r.truncated;
  }
  return truncated ? RowDelivery::Truncated : RowDelivery::Whole;
}

// A column's describe; object and REF columns name their type and its schema (the user's:
// all users share the server's one name space).
ParamDescriptor* ColumnParam(const ColumnInfo& column, StmtHandle& owner) {
  auto* p = Handles().Create<ParamDescriptor>(OCI_DTYPE_PARAM, &owner);
  p->column = column;
  p->typeName = column.typeName;
  if (!column.typeName.empty() && owner.service && owner.service->session) p->schemaName = owner.service->session->user;
  return p;
}

// A statement handle bound as a cursor takes the query the block opened, ready to fetch.
void OpenCursorResult(StmtHandle& target, OpenedCursor& cursor, const std::string& dateFormat) {
  target.result = {};
  target.result.statementType = StmtSelect;
  target.result.columns = std::move(cursor.columns);
  target.result.rows = std::move(cursor.rows);
  target.result.dateFormat = dateFormat;
  target.statementType = StmtSelect;
  target.functionCode = 4;
  target.executed = true;
  target.describedOnly = false;
  target.nextRow = 0;
  target.rowCount = 0;
  target.rowsFetched = 0;
  for (ParamDescriptor* p : target.params) Handles().Free(p, OCI_DTYPE_PARAM);
  target.params.clear();
  for (const auto& column : target.result.columns) target.params.push_back(ColumnParam(column, target));
}

// Success, or success with the information the execution carried (e.g. ORA-24344).
sword ExecutionStatus(StmtHandle& s, ErrorHandle* err) {
  if (s.result.warning.code == 0) return OCI_SUCCESS;
  if (err) err->Set(OraError::Verbatim(s.result.warning.code, s.result.warning.text, 0));
  return OCI_SUCCESS_WITH_INFO;
}

void StartOutBindPiece(StmtHandle& s, std::size_t index) {
  const auto& [bind, value] = s.outBinds[index];
  s.outPiece.Start(PieceData(value, bind->dty, s.result.dateFormat), value.IsNull(), index, 0);
}

sword Fetch(StmtHandle& s, ErrorHandle* err, ub4 rows) {
  if (!s.executed || s.describedOnly || s.statementType != StmtSelect) throw OraError(1002);
  auto& f = s.fetch;
  if (f.active) {  // a fetch stopped at a piece: the program gave a buffer for it (or not yet)
    if (s.outPiece.Active()) {
      if (!s.outPiece.Deliver()) return OCI_NEED_DATA;
      f.positionsDone.push_back(static_cast<ub4>(s.outPiece.Position()));
    }
    rows = f.rows;
  } else {
    if (rows == 0) {  // cancels the cursor
      s.nextRow = s.result.rows.size();
      s.rowsFetched = 0;
      return OCI_SUCCESS;
    }
    f = {};
    f.active = true;
    f.rows = rows;
  }
  while (f.delivered < rows && s.nextRow < s.result.rows.size()) {
    RowDelivery r = DeliverRow(s, s.result.rows[s.nextRow], f.delivered);
    if (r == RowDelivery::NeedPiece) return OCI_NEED_DATA;
    f.truncated = f.truncated || r == RowDelivery::Truncated;
    f.positionsDone.clear();
    ++s.nextRow;
    ++f.delivered;
  }
  const ub4 delivered = f.delivered;
  const bool truncated = f.truncated;
  f = {};
  s.rowCount += delivered;
  s.rowsFetched = delivered;
  if (delivered < rows) {
    if (err) err->Set(OraError(1403));
    return OCI_NO_DATA;
  }
  if (truncated) {
    if (err) err->Set(OraError(1406));
    return OCI_SUCCESS_WITH_INFO;
  }
  return OCI_SUCCESS;
}

void CopyText(const std::string& text, OraText* buffer, ub4 size) {
  if (!buffer || size == 0) return;
  std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

// --- environment and handles ------------------------------------------------------------

OCI_EXPORT sword OCIInitialize(ub4, dvoid*, dvoid*, dvoid*, dvoid*) { return OCI_SUCCESS; }

OCI_EXPORT sword OCIEnvInit(OCIEnv** envp, ub4, std::size_t, dvoid** usrmempp) {
  if (!envp) return OCI_INVALID_HANDLE;
  *envp = reinterpret_cast<OCIEnv*>(Handles().Create<EnvHandle>(OCI_HTYPE_ENV, nullptr));
  if (usrmempp) *usrmempp = nullptr;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIEnvCreate(OCIEnv** envp, ub4 mode, dvoid*, dvoid*, dvoid*, dvoid*, std::size_t xtramem,
                              dvoid** usrmempp) {
  return OCIEnvInit(envp, mode, xtramem, usrmempp);
}

OCI_EXPORT sword OCIHandleAlloc(const dvoid* parenth, dvoid** hndlpp, ub4 type, std::size_t, dvoid** usrmempp) {
  if (!hndlpp || !Handles().Find<EnvHandle>(parenth, OCI_HTYPE_ENV)) return OCI_INVALID_HANDLE;
  void* h = nullptr;
  switch (type) {
    case OCI_HTYPE_ERROR: h = Handles().Create<ErrorHandle>(type, parenth); break;
    case OCI_HTYPE_SVCCTX:
      h = Handles().Create<SvcCtxHandle>(type, parenth);
      static_cast<SvcCtxHandle*>(h)->env = parenth;
      break;
    case OCI_HTYPE_STMT: h = Handles().Create<StmtHandle>(type, parenth); break;
    case OCI_HTYPE_DESCRIBE: h = Handles().Create<DescribeHandle>(type, parenth); break;
    case OCI_HTYPE_SERVER: h = Handles().Create<ServerHandle>(type, parenth); break;
    case OCI_HTYPE_SESSION: h = Handles().Create<SessionHandle>(type, parenth); break;
    default: return OCI_ERROR;
  }
  *hndlpp = h;
  if (usrmempp) *usrmempp = nullptr;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIHandleFree(dvoid* hndlp, ub4 type) {
  return Handles().Free(hndlp, type) ? OCI_SUCCESS : OCI_INVALID_HANDLE;
}

OCI_EXPORT sword OCIDescriptorAlloc(const dvoid* parenth, dvoid** descpp, ub4 type, std::size_t, dvoid** usrmempp) {
  if (!descpp || !Handles().Find<EnvHandle>(parenth, OCI_HTYPE_ENV)) return OCI_INVALID_HANDLE;
  switch (type) {
    case OCI_DTYPE_ROWID: *descpp = Handles().Create<RowidDescriptor>(type, parenth); break;
    case OCI_DTYPE_LOB:
    case OCI_DTYPE_FILE: *descpp = Handles().Create<LobDescriptor>(type, parenth); break;
    case OCI_DTYPE_PARAM: *descpp = Handles().Create<ParamDescriptor>(type, parenth); break;
    default: return OCI_ERROR;
  }
  if (usrmempp) *usrmempp = nullptr;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDescriptorFree(dvoid* descp, ub4 type) {
  return Handles().Free(descp, type) ? OCI_SUCCESS : OCI_INVALID_HANDLE;
}

OCI_EXPORT sword OCIErrorGet(dvoid* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp, ub4 bufsiz,
                             ub4 type) {
  if (!Handles().Contains(hndlp)) return OCI_INVALID_HANDLE;
  if (sqlstate) CopyText("", sqlstate, 6);
  ErrorHandle* err = type == OCI_HTYPE_ERROR ? ErrorOf(hndlp) : nullptr;
  if (!err || !err->hasRecord || recordno != 1) return OCI_NO_DATA;
  if (errcodep) *errcodep = err->code;
  CopyText(err->text, bufp, bufsiz);
  return OCI_SUCCESS;
}

// --- attributes ---------------------------------------------------------------------------

OCI_EXPORT sword OCIAttrSet(dvoid* trgthndlp, ub4 trghndltyp, dvoid* attributep, ub4 size, ub4 attrtype,
                            OCIError* errhp) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    if (!Handles().Is(trgthndlp, trghndltyp)) return OCI_INVALID_HANDLE;
    if (trghndltyp == OCI_HTYPE_SESSION) {
      auto* session = static_cast<SessionHandle*>(trgthndlp);
      std::string text = TextArg(static_cast<const OraText*>(attributep), static_cast<sb4>(size));
      if (attrtype == OCI_ATTR_USERNAME) session->user = text;
      else if (attrtype == OCI_ATTR_PASSWORD) session->password = text;
      else throw OraError(24315);
      return OCI_SUCCESS;
    }
    if (trghndltyp == OCI_HTYPE_SVCCTX) {
      auto* svc = static_cast<SvcCtxHandle*>(trgthndlp);
      if (attrtype == OCI_ATTR_SERVER) {
        svc->server = Handles().Find<ServerHandle>(attributep, OCI_HTYPE_SERVER);
        return svc->server ? OCI_SUCCESS : OCI_INVALID_HANDLE;
      }
      if (attrtype == OCI_ATTR_SESSION) {
        svc->session = Handles().Find<SessionHandle>(attributep, OCI_HTYPE_SESSION);
        return svc->session ? OCI_SUCCESS : OCI_INVALID_HANDLE;
      }
      throw OraError(24315);
    }
    // The character set of binds and defines and the LOB-empty flag are accepted as they come.
    if ((trghndltyp == OCI_HTYPE_BIND || trghndltyp == OCI_HTYPE_DEFINE) && attrtype == OCI_ATTR_CHARSET_ID)
      return OCI_SUCCESS;
    if (trghndltyp == OCI_DTYPE_LOB && attrtype == OCI_ATTR_LOBEMPTY) {
      auto* lob = Handles().Find<LobDescriptor>(trgthndlp, OCI_DTYPE_LOB);
      lob->initialized = true;
      lob->data.clear();
      lob->place.clear();
      return OCI_SUCCESS;
    }
    throw OraError(24315);
  });
}

OCI_EXPORT sword OCIAttrGet(const dvoid* trgthndlp, ub4 trghndltyp, dvoid* attributep, ub4* sizep, ub4 attrtype,
                            OCIError* errhp) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    if (!Handles().Is(trgthndlp, trghndltyp) || !attributep) return OCI_INVALID_HANDLE;
    auto put = [&](auto value) {
      std::memcpy(attributep, &value, sizeof value);
      if (sizep) *sizep = sizeof value;
      return OCI_SUCCESS;
    };
    auto putText = [&](const std::string& text) {
      *static_cast<const OraText**>(attributep) = reinterpret_cast<const OraText*>(text.c_str());
      if (sizep) *sizep = static_cast<ub4>(text.size());
      return OCI_SUCCESS;
    };
    if (trghndltyp == OCI_HTYPE_STMT) {
      auto* s = static_cast<StmtHandle*>(const_cast<dvoid*>(trgthndlp));
      switch (attrtype) {
        case OCI_ATTR_STMT_TYPE: return put(static_cast<ub2>(s->statementType));
        case OCI_ATTR_SQLFNCODE: return put(static_cast<ub2>(s->functionCode));
        case OCI_ATTR_ROW_COUNT: return put(static_cast<ub4>(s->rowCount));
        case OCI_ATTR_ROWS_FETCHED: return put(static_cast<ub4>(s->rowsFetched));
        case OCI_ATTR_PARAM_COUNT: return put(static_cast<ub4>(s->result.columns.size()));
        case OCI_ATTR_PARSE_ERROR_OFFSET: return put(static_cast<ub2>(s->parseErrorOffset));
        case OCI_ATTR_ROWID: {
          auto* d = Handles().Find<RowidDescriptor>(attributep, OCI_DTYPE_ROWID);
          if (!d) return OCI_INVALID_HANDLE;
          RowidParts parts;
          if (s->result.rowid.empty() || !ParseRowidText(s->result.rowid, parts)) {
            d->data = nullptr;
            return OCI_NO_DATA;
          }
          RowidBytes(parts, d->bytes);
          d->data = d->bytes;
          return OCI_SUCCESS;
        }
        default: throw OraError(24315);
      }
    }
    if (trghndltyp == OCI_DTYPE_PARAM) {
      const auto* p = static_cast<const ParamDescriptor*>(trgthndlp);
      const ColumnInfo& c = p->column;
      switch (attrtype) {
        case OCI_ATTR_DATA_SIZE: return put(static_cast<ub2>(c.size));
        case OCI_ATTR_DATA_TYPE: return put(static_cast<ub2>(c.oraType));
        case OCI_ATTR_NAME: return putText(c.name);
        case OCI_ATTR_PRECISION: return put(static_cast<sb2>(c.precision));
        case OCI_ATTR_SCALE: return put(static_cast<sb1>(c.scale));
        case OCI_ATTR_IS_NULL: return put(static_cast<ub1>(c.nullable ? 1 : 0));
        case OCI_ATTR_TYPE_NAME: return putText(p->typeName);
        case OCI_ATTR_SCHEMA_NAME: return putText(p->schemaName);
        case OCI_ATTR_TYPECODE: return put(p->typeCode);
        case OCI_ATTR_COLLECTION_TYPECODE: return put(p->collectionTypeCode);
        case OCI_ATTR_NUM_TYPE_ATTRS:
          return put(static_cast<ub2>(p->attributeList ? p->attributeList->list.size() : 0));
        case OCI_ATTR_LIST_TYPE_ATTRS:
          if (!p->attributeList) throw OraError(24315);
          return put(static_cast<void*>(p->attributeList));
        case OCI_ATTR_COLLECTION_ELEMENT:
          if (!p->element) throw OraError(24315);
          return put(static_cast<void*>(p->element));
        case OCI_ATTR_NUM_ELEMS: return put(p->numElems);
        default: throw OraError(24315);
      }
    }
    if (trghndltyp == OCI_HTYPE_DESCRIBE && attrtype == OCI_ATTR_PARAM) {
      auto* describe = static_cast<const DescribeHandle*>(trgthndlp);
      if (!describe->root) throw OraError(24315);
      return put(static_cast<void*>(describe->root));
    }
    if (trghndltyp == OCI_HTYPE_SVCCTX) {
      auto* svc = static_cast<SvcCtxHandle*>(const_cast<dvoid*>(trgthndlp));
      if (attrtype == OCI_ATTR_SERVER) return put(static_cast<void*>(svc->server));
      if (attrtype == OCI_ATTR_SESSION) return put(static_cast<void*>(svc->session));
    }
    throw OraError(24315);
  });
}

OCI_EXPORT sword OCIParamGet(const dvoid* hndlp, ub4 htype, OCIError* errhp, dvoid** parmdpp, ub4 pos) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    if (htype == OCI_DTYPE_PARAM) {  // an entry of a describe's list
      auto* list = Handles().Find<ParamDescriptor>(hndlp, OCI_DTYPE_PARAM);
      if (!list || !parmdpp) return OCI_INVALID_HANDLE;
      if (pos == 0 || pos > list->list.size()) throw OraError(24334);
      *parmdpp = list->list[pos - 1];
      return OCI_SUCCESS;
    }
    auto* s = Handles().Find<StmtHandle>(hndlp, htype);
    if (!s || htype != OCI_HTYPE_STMT || !parmdpp) return OCI_INVALID_HANDLE;
    if (!s->executed || pos == 0 || pos > s->params.size()) throw OraError(24334);
    *parmdpp = s->params[pos - 1];
    return OCI_SUCCESS;
  });
}

// --- connection ---------------------------------------------------------------------------

// A log-on data area for the version 7 functions of this library, running over the service
// context's server connection and session while they last.
OCI_EXPORT sword OCISvcCtxToLda(OCISvcCtx* svchp, OCIError* errhp, Lda_Def* ldap) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    SvcCtxHandle* svc = ConnectedService(svchp);
    if (!svc || !ldap) return OCI_INVALID_HANDLE;
    if (!svc->session || !svc->session->begun) throw OraError(1012);
    AttachLogonArea(
        ldap,
        [svchp]() -> ServerConnection* {
          auto* live = Handles().Find<SvcCtxHandle>(svchp, OCI_HTYPE_SVCCTX);
          if (!live || !live->server || !Handles().Contains(live->server)) return nullptr;
          return live->server->connection.get();
        },
        svc->server->sessionId, svc->server->breakKey);
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblinkLen, ub4) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    auto* server = Handles().Find<ServerHandle>(srvhp, OCI_HTYPE_SERVER);
    if (!server) return OCI_INVALID_HANDLE;
    server->connection = std::make_unique<ServerConnection>(ResolveServerName(TextArg(dblink, dblinkLen)));
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4) {
  auto* server = Handles().Find<ServerHandle>(srvhp, OCI_HTYPE_SERVER);
  if (!server) return OCI_INVALID_HANDLE;
  server->connection.reset();
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt, ub4 mode) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    auto* session = Handles().Find<SessionHandle>(usrhp, OCI_HTYPE_SESSION);
    SvcCtxHandle* svc = ConnectedService(svchp);
    if (!svc || !session) return OCI_INVALID_HANDLE;
    WireWriter w = RequestOf(Request::Logon);
    w.Str(session->user);
    w.Str(session->password);
    w.Str(svc->server->connection->Address().service);
    w.I64(mode);
    w.U8(credt == OCI_CRED_EXT ? 1 : 0);
    std::string body = svc->server->connection->Call(w, svc->server->connection->Address().connectTimeoutMs);
    WireReader reply(body);
    svc->server->banner = reply.Str();
    svc->server->sessionId = reply.I64();
    svc->server->breakKey = reply.Str();
    session->begun = true;
    svc->session = session;
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    SvcCtxHandle* svc = ConnectedService(svchp);
    if (!svc) return OCI_INVALID_HANDLE;
    auto* session = Handles().Find<SessionHandle>(usrhp ? static_cast<void*>(usrhp) : svc->session, OCI_HTYPE_SESSION);
    svc->server->connection->Call(RequestOf(Request::Logoff));
    if (session) session->begun = false;
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIServerVersion(dvoid* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype) {
  std::string banner;
  try {
    ServerHandle* server = Handles().Find<ServerHandle>(hndlp, OCI_HTYPE_SERVER);
    if (auto* svc = Handles().Find<SvcCtxHandle>(hndlp, OCI_HTYPE_SVCCTX)) server = svc->server;
    if (server && Handles().Contains(server)) {
      if (server->banner.empty() && server->connection)
        server->banner = WireReader(server->connection->Call(RequestOf(Request::Version))).Str();
      banner = server->banner;
    }
  } catch (...) {
    banner.clear();  // the version is only informative: never a failure
  }
  CopyText(banner, bufp, bufsz);
  return OCI_SUCCESS;
}

namespace {
// A request without arguments or answer on a logged-on service context.
sword ServiceCall(OCISvcCtx* svchp, OCIError* errhp, Request request) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    SvcCtxHandle* svc = ConnectedService(svchp);
    if (!svc) return OCI_INVALID_HANDLE;
    svc->server->connection->Call(RequestOf(request));
    return OCI_SUCCESS;
  });
}
}  // namespace

OCI_EXPORT sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4) { return ServiceCall(svchp, errhp, Request::Commit); }

OCI_EXPORT sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4) {
  return ServiceCall(svchp, errhp, Request::Rollback);
}

// Another thread breaks a running call: the server stops it and the call fails with ORA-01013.
// With nothing running, nothing happens.
OCI_EXPORT sword OCIBreak(dvoid* hndlp, OCIError*) {
  ServerHandle* server = Handles().Find<ServerHandle>(hndlp, OCI_HTYPE_SERVER);
  if (auto* svc = Handles().Find<SvcCtxHandle>(hndlp, OCI_HTYPE_SVCCTX)) server = svc->server;
  if (!server) return Handles().Contains(hndlp) ? OCI_SUCCESS : OCI_INVALID_HANDLE;
  try {
    if (server->connection && server->sessionId != 0)
      SendBreak(server->connection->Address(), server->sessionId, server->breakKey);
  } catch (const std::exception&) {
    // A break that cannot be delivered leaves the call to finish.
  }
  return OCI_SUCCESS;
}

// --- statements ---------------------------------------------------------------------------

OCI_EXPORT sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmtLen, ub4, ub4) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    auto* s = Handles().Find<StmtHandle>(stmtp, OCI_HTYPE_STMT);
    if (!s) return OCI_INVALID_HANDLE;
    s->sql = TextArg(stmt, static_cast<sb4>(stmtLen));
    s->statementType = static_cast<ub2>(StatementTypeOf(s->sql));
    s->functionCode = 0;
    s->executed = false;
    s->result = {};
    s->rowCount = 0;
    s->rowsFetched = 0;
    s->parseErrorOffset = 0;
    s->inPieces.Reset();
    s->outPiece.Reset();
    s->fetch = {};
    s->outBinds.clear();
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4, const OCISnapshot*,
                                OCISnapshot*, ub4 mode) {
  return Guard(errhp, [&](ErrorHandle* err) -> sword {
    auto* s = Handles().Find<StmtHandle>(stmtp, OCI_HTYPE_STMT);
    SvcCtxHandle* svc = ConnectedService(svchp);
    if (!s || !svc) return OCI_INVALID_HANDLE;
    if (s->sql.empty()) throw OraError(900);
    if (s->executed && s->fetch.active) return Fetch(*s, err, 0);  // the fetch it began waits for a piece
    if (s->executed && !s->outBinds.empty()) {  // an out bind's value waits for the program's buffers
      if (!s->outPiece.Deliver()) return OCI_NEED_DATA;
      const std::size_t next = s->outPiece.Position() + 1;
      if (next < s->outBinds.size()) {
        StartOutBindPiece(*s, next);
        return OCI_NEED_DATA;
      }
      s->outBinds.clear();
      return ExecutionStatus(*s, err);
    }
    bool query = s->statementType == StmtSelect;
    bool describeOnly = (mode & OCI_DESCRIBE_ONLY) != 0;
    if (!query && !describeOnly && iters == 0) throw OraError(24333);
    ExecuteRequest request;
    request.sql = s->sql;
    request.describeOnly = describeOnly;
    // Binds of an earlier statement on this handle are not this one's: their program memory
    // may be gone, so they are neither read nor sent.
    const std::vector<std::string> placeholders = Placeholders(s->sql);
    s->binds.erase(std::remove_if(s->binds.begin(), s->binds.end(),
                                  [&](BindHandle* b) {
                                    return !Handles().Contains(b) ||
                                           std::find(placeholders.begin(), placeholders.end(), b->name) ==
                                               placeholders.end();
                                  }),
                   s->binds.end());
    for (BindHandle* b : s->binds) request.bindNames.push_back(b->name);
    ub4 iterations = query || describeOnly ? 1 : iters;
    // Data-at-execution binds without callbacks: their values are asked for piece by piece.
    PieceCollector& pieces = s->inPieces;
    if (!pieces.Active()) {
      std::vector<PieceCollector::Slot> wanted;
      for (ub4 i = 0; i < iterations && !describeOnly; ++i)
        for (std::size_t k = 0; k < s->binds.size(); ++k)
          if (s->binds[k]->dataAtExec && !s->binds[k]->inCallback) wanted.push_back({k, i});
      if (!wanted.empty()) {
        pieces.Start(std::move(wanted));
        return OCI_NEED_DATA;
      }
    } else {
      pieces.TakeAnswer();
      if (!pieces.Complete()) return OCI_NEED_DATA;
    }
    struct CollectedOnExit {
      PieceCollector& pieces;
      ~CollectedOnExit() { pieces.Reset(); }
    } collected{pieces};
    for (ub4 i = 0; i < iterations; ++i) {
      std::vector<Value> row;
      for (std::size_t k = 0; k < s->binds.size(); ++k) row.push_back(ReadBind(*s->binds[k], i, k, pieces));
      request.iterations.push_back(std::move(row));
    }
    WireWriter w = RequestOf(Request::Execute);
    w.Execute(request);
    s->executed = false;
    s->fetch = {};
    s->outPiece.Reset();
    s->outBinds.clear();
    s->service = svc;
    s->functionCode = static_cast<ub2>(FunctionCodeOf(s->sql));
    try {
      s->result = WireReader(svc->server->connection->Call(w)).Reply();
    } catch (const OraError& e) {
      s->parseErrorOffset = static_cast<ub2>(e.Offset());
      throw;
    }
    s->parseErrorOffset = 0;
    s->executed = true;
    s->describedOnly = describeOnly;
    s->nextRow = 0;
    s->rowCount = query ? 0 : static_cast<ub4>(s->result.rowsAffected);
    s->rowsFetched = 0;
    for (ParamDescriptor* p : s->params) Handles().Free(p, OCI_DTYPE_PARAM);
    s->params.clear();
    for (const auto& column : s->result.columns) s->params.push_back(ColumnParam(column, *s));
    for (const auto& out : s->result.outBinds)
      for (BindHandle* b : s->binds) {
        if (b->name != out.name) continue;
        if (b->dataAtExec && !b->outCallback) s->outBinds.emplace_back(b, out.value);  // piece by piece
        else WriteBind(*b, out.value, s->result.dateFormat, svc);
      }
    for (auto& cursor : s->result.cursors)
      for (BindHandle* b : s->binds)
        if (b->name == cursor.bind && b->dty == SQLT_RSET && b->value) {
          auto* target = Handles().Find<StmtHandle>(*static_cast<void**>(b->value), OCI_HTYPE_STMT);
          if (!target) throw OraError(24338);
          target->service = svc;
          OpenCursorResult(*target, cursor, s->result.dateFormat);
        }
    if (query && !describeOnly && iters > 0) return Fetch(*s, err, iters);
    if (!s->outBinds.empty()) {
      StartOutBindPiece(*s, 0);
      return OCI_NEED_DATA;
    }
    return ExecutionStatus(*s, err);
  });
}

OCI_EXPORT sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2, ub4) {
  return Guard(errhp, [&](ErrorHandle* err) -> sword {
    auto* s = Handles().Find<StmtHandle>(stmtp, OCI_HTYPE_STMT);
    if (!s) return OCI_INVALID_HANDLE;
    return Fetch(*s, err, nrows);
  });
}

// --- binds and defines --------------------------------------------------------------------

namespace {
sword Bind(StmtHandle* s, OCIBind** bindpp, const std::string& name, dvoid* valuep, sb4 valueSize, ub2 dty, dvoid* indp,
           ub2* alenp, ub2* rcodep, ub4 maxElements, ub4* currentElements, ub4 mode) {
  if (!s || !bindpp) return OCI_INVALID_HANDLE;
  BindHandle* b = nullptr;
  for (BindHandle* existing : s->binds)
    if (Handles().Contains(existing) && existing->name == name) b = existing;
  if (!b) {
    b = Handles().Create<BindHandle>(OCI_HTYPE_BIND, s);
    s->binds.push_back(b);
  }
  *b = BindHandle{};
  b->statement = s;
  b->name = name;
  b->value = valuep;
  b->valueSize = valueSize;
  b->dty = dty;
  b->indicator = indp;
  b->alen = alenp;
  b->rcode = rcodep;
  b->maxElements = maxElements;
  b->currentElements = currentElements;
  b->dataAtExec = (mode & OCI_DATA_AT_EXEC) != 0;
  *bindpp = reinterpret_cast<OCIBind*>(b);
  return OCI_SUCCESS;
}
}  // namespace

OCI_EXPORT sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindpp, OCIError* errhp, const OraText* placeholder,
                               sb4 placehLen, dvoid* valuep, sb4 valueSize, ub2 dty, dvoid* indp, ub2* alenp,
                               ub2* rcodep, ub4 maxarrLen, ub4* curelep, ub4 mode) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    return Bind(Handles().Find<StmtHandle>(stmtp, OCI_HTYPE_STMT), bindpp, BindName(TextArg(placeholder, placehLen)),
                valuep, valueSize, dty, indp, alenp, rcodep, maxarrLen, curelep, mode);
  });
}

OCI_EXPORT sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindpp, OCIError* errhp, ub4 position, dvoid* valuep,
                              sb4 valueSize, ub2 dty, dvoid* indp, ub2* alenp, ub2* rcodep, ub4 maxarrLen,
                              ub4* curelep, ub4 mode) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    auto* s = Handles().Find<StmtHandle>(stmtp, OCI_HTYPE_STMT);
    if (!s) return OCI_INVALID_HANDLE;
    std::vector<std::string> names = Placeholders(s->sql);
    if (position == 0 || position > names.size()) throw OraError(1036);
    return Bind(s, bindpp, names[position - 1], valuep, valueSize, dty, indp, alenp, rcodep, maxarrLen, curelep, mode);
  });
}

OCI_EXPORT sword OCIBindArrayOfStruct(OCIBind* bindp, OCIError* errhp, ub4 pvskip, ub4 indskip, ub4 alskip, ub4 rcskip) {
  auto* b = Handles().Find<BindHandle>(bindp, OCI_HTYPE_BIND);
  if (!b) return OCI_INVALID_HANDLE;
  b->valueSkip = pvskip;
  b->indicatorSkip = indskip;
  b->alenSkip = alskip;
  b->rcodeSkip = rcskip;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIBindDynamic(OCIBind* bindp, OCIError* errhp, dvoid* ictxp, OCICallbackInBind icbfp, dvoid* octxp,
                                OCICallbackOutBind ocbfp) {
  auto* b = Handles().Find<BindHandle>(bindp, OCI_HTYPE_BIND);
  if (!b) return OCI_INVALID_HANDLE;
  b->inContext = ictxp;
  b->inCallback = icbfp;
  b->outContext = octxp;
  b->outCallback = ocbfp;
  b->dataAtExec = true;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnpp, OCIError* errhp, ub4 position, dvoid* valuep,
                                sb4 valueSize, ub2 dty, dvoid* indp, ub2* rlenp, ub2* rcodep, ub4 mode) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    auto* s = Handles().Find<StmtHandle>(stmtp, OCI_HTYPE_STMT);
    if (!s || !defnpp) return OCI_INVALID_HANDLE;
    if (position == 0) throw OraError(1007);
    DefineHandle*& d = s->defines[position];
    if (!d || !Handles().Contains(d)) d = Handles().Create<DefineHandle>(OCI_HTYPE_DEFINE, s);
    *d = DefineHandle{};
    d->statement = s;
    d->position = position;
    d->value = valuep;
    d->valueSize = valueSize;
    d->dty = dty;
    d->indicator = indp;
    d->rlen = rlenp;
    d->rcode = rcodep;
    d->dynamic = (mode & OCI_DYNAMIC_FETCH) != 0;
    *defnpp = reinterpret_cast<OCIDefine*>(d);
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIDefineArrayOfStruct(OCIDefine* defnp, OCIError*, ub4 pvskip, ub4 indskip, ub4 rlskip, ub4 rcskip) {
  auto* d = Handles().Find<DefineHandle>(defnp, OCI_HTYPE_DEFINE);
  if (!d) return OCI_INVALID_HANDLE;
  d->valueSkip = pvskip;
  d->indicatorSkip = indskip;
  d->rlenSkip = rlskip;
  d->rcodeSkip = rcskip;
  return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDefineDynamic(OCIDefine* defnp, OCIError*, dvoid* octxp, OCICallbackDefine ocbfp) {
  auto* d = Handles().Find<DefineHandle>(defnp, OCI_HTYPE_DEFINE);
  if (!d) return OCI_INVALID_HANDLE;
  d->context = octxp;
  d->callback = ocbfp;
  d->dynamic = true;
  return OCI_SUCCESS;
}

// The object (or REF) of a bind of type SQLT_NTY or SQLT_REF: pgvpp holds the instance
// pointer (successive ones by the bind's skip), indpp (when given) its indicator structure.
OCI_EXPORT sword OCIBindObject(OCIBind* bindp, OCIError* errhp, const OCIType* type, dvoid** pgvpp, ub4*, dvoid** indpp,
                               ub4*) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    auto* b = Handles().Find<BindHandle>(bindp, OCI_HTYPE_BIND);
    if (!b || !pgvpp) return OCI_INVALID_HANDLE;
    if (!IsObjectType(b->dty)) throw OraError(932);
    b->object = {Handles().Find<TypeDescriptor>(type, StandinTypeDescriptor), pgvpp, indpp};
    if (b->dty == SQLT_NTY && !b->object.type) throw OraError(21560, "3");
    return OCI_SUCCESS;
  });
}

// Fetched objects fill the instances in the slots pgvpp holds (new ones for empty slots);
// REFs fill or replace the REF pointers there.
OCI_EXPORT sword OCIDefineObject(OCIDefine* defnp, OCIError* errhp, const OCIType* type, dvoid** pgvpp, ub4*,
                                 dvoid** indpp, ub4*) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    auto* d = Handles().Find<DefineHandle>(defnp, OCI_HTYPE_DEFINE);
    if (!d || !pgvpp) return OCI_INVALID_HANDLE;
    if (!IsObjectType(d->dty)) throw OraError(932);
    d->object = {Handles().Find<TypeDescriptor>(type, StandinTypeDescriptor), pgvpp, indpp};
    if (d->dty == SQLT_NTY && !d->object.type) throw OraError(21560, "3");
    return OCI_SUCCESS;
  });
}

// Which value a call that answered OCI_NEED_DATA waits for: a bind's (in) or a define's (out).
OCI_EXPORT sword OCIStmtGetPieceInfo(OCIStmt* stmtp, OCIError* errhp, dvoid** hndlpp, ub4* typep, ub1* inoutp,
                                     ub4* iterp, ub4* idxp, ub1* piecep) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    auto* s = Handles().Find<StmtHandle>(stmtp, OCI_HTYPE_STMT);
    if (!s || !hndlpp || !typep || !inoutp || !iterp || !idxp || !piecep) return OCI_INVALID_HANDLE;
    *idxp = 0;
    if (s->inPieces.Active() && !s->inPieces.Complete()) {
      *hndlpp = s->binds[s->inPieces.Current().bind];
      *typep = OCI_HTYPE_BIND;
      *inoutp = OCI_PARAM_IN;
      *iterp = s->inPieces.Current().iteration;
      *piecep = s->inPieces.PieceAsked();
      return OCI_SUCCESS;
    }
    if (!s->outBinds.empty() && s->outPiece.Active()) {
      *hndlpp = s->outBinds[s->outPiece.Position()].first;
      *typep = OCI_HTYPE_BIND;
      *inoutp = OCI_PARAM_OUT;
      *iterp = 0;
      *piecep = s->outPiece.PieceOffered();
      return OCI_SUCCESS;
    }
    if (s->fetch.active && s->outPiece.Active()) {
      *hndlpp = s->defines[static_cast<ub4>(s->outPiece.Position())];
      *typep = OCI_HTYPE_DEFINE;
      *inoutp = OCI_PARAM_OUT;
      *iterp = s->outPiece.Row();
      *piecep = s->outPiece.PieceOffered();
      return OCI_SUCCESS;
    }
    throw OraError(1002);  // nothing is waiting for a piece
  });
}

// The program's answer: the piece of a bind's value (in), or the buffer for a define's next
// piece (out; *alenp is its room, then the bytes written).
OCI_EXPORT sword OCIStmtSetPieceInfo(dvoid* hndlp, ub4 type, OCIError* errhp, const dvoid* bufp, ub4* alenp, ub1 piece,
                                     const dvoid* indp, ub2* rcodep) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    if (type == OCI_HTYPE_BIND) {
      auto* b = Handles().Find<BindHandle>(hndlp, OCI_HTYPE_BIND);
      if (!b || !Handles().Contains(b->statement)) return OCI_INVALID_HANDLE;
      StmtHandle& s = *b->statement;
      if (!s.outBinds.empty() && s.outPiece.Active()) {  // the buffer for an out value's next piece
        if (!alenp) return OCI_INVALID_HANDLE;
        s.outPiece.SetBuffer(const_cast<dvoid*>(bufp), alenp, static_cast<sb2*>(const_cast<dvoid*>(indp)));
        if (rcodep) *rcodep = 0;
        return OCI_SUCCESS;
      }
      const bool isNull = indp && *static_cast<const sb2*>(indp) == -1;
      b->statement->inPieces.Answer(bufp, alenp ? *alenp : 0, piece, isNull);
      return OCI_SUCCESS;
    }
    if (type == OCI_HTYPE_DEFINE) {
      auto* d = Handles().Find<DefineHandle>(hndlp, OCI_HTYPE_DEFINE);
      if (!d || !Handles().Contains(d->statement) || !alenp) return OCI_INVALID_HANDLE;
      d->statement->outPiece.SetBuffer(const_cast<dvoid*>(bufp), alenp, static_cast<sb2*>(const_cast<dvoid*>(indp)));
      if (rcodep) *rcodep = 0;
      return OCI_SUCCESS;
    }
    return OCI_INVALID_HANDLE;
  });
}

// --- what this client does not offer -------------------------------------------------------

namespace {
sword Unsupported(void* first, void* second) {
  for (void* h : {first, second})
    if (ErrorHandle* err = ErrorOf(h)) err->Set(OraError(3001));
  return OCI_ERROR;
}
}  // namespace

#define OCI_UNSUPPORTED(name) \
  OCI_EXPORT sword name(void* first, void* second, ...) { return Unsupported(first, second); }

OCI_UNSUPPORTED(OCILdaToSvcCtx)
OCI_UNSUPPORTED(OCIPasswordChange)
OCI_UNSUPPORTED(OCILobAppend)
OCI_UNSUPPORTED(OCILobAssign)
OCI_UNSUPPORTED(OCILobCharSetForm)
OCI_UNSUPPORTED(OCILobCharSetId)
OCI_UNSUPPORTED(OCILobCopy)
OCI_UNSUPPORTED(OCILobDisableBuffering)
OCI_UNSUPPORTED(OCILobEnableBuffering)
OCI_UNSUPPORTED(OCILobErase)
OCI_UNSUPPORTED(OCILobFlushBuffer)
OCI_UNSUPPORTED(OCILobIsEqual)
OCI_UNSUPPORTED(OCILobLoadFromFile)
OCI_UNSUPPORTED(OCICacheFlush)
OCI_UNSUPPORTED(OCICacheFree)
OCI_UNSUPPORTED(OCICacheRefresh)
OCI_UNSUPPORTED(OCICacheUnmark)
OCI_UNSUPPORTED(OCICacheUnpin)
OCI_UNSUPPORTED(OCIObjectExists)
OCI_UNSUPPORTED(OCIObjectGetProperty)
OCI_UNSUPPORTED(OCIObjectGetTypeRef)
OCI_UNSUPPORTED(OCIObjectIsDirty)
OCI_UNSUPPORTED(OCIObjectIsLocked)
OCI_UNSUPPORTED(OCIObjectLock)
OCI_UNSUPPORTED(OCIObjectMarkDeleteByRef)
OCI_UNSUPPORTED(OCIObjectMarkUpdate)
OCI_UNSUPPORTED(OCIObjectPinCountReset)
OCI_UNSUPPORTED(OCIObjectRefresh)
OCI_UNSUPPORTED(OCIObjectUnmark)
OCI_UNSUPPORTED(OCIObjectUnmarkByRef)
OCI_UNSUPPORTED(OCITypeByRef)
OCI_UNSUPPORTED(OCICollMax)
OCI_UNSUPPORTED(OCICollTrim)
OCI_UNSUPPORTED(OCIDateAssign)
OCI_UNSUPPORTED(OCIDateFromText)
OCI_UNSUPPORTED(OCIDateGetDate)
OCI_UNSUPPORTED(OCIDateGetTime)
OCI_UNSUPPORTED(OCIDateSetDate)
OCI_UNSUPPORTED(OCIDateSetTime)
OCI_UNSUPPORTED(OCIDateToText)
OCI_UNSUPPORTED(OCINumberFromText)
OCI_UNSUPPORTED(OCINumberToText)
OCI_UNSUPPORTED(OCIRefIsEqual)
OCI_UNSUPPORTED(OCIStringAllocSize)
OCI_UNSUPPORTED(OCITableExists)
OCI_UNSUPPORTED(OCITableFirst)
OCI_UNSUPPORTED(OCITableLast)
OCI_UNSUPPORTED(OCITablePrev)
OCI_UNSUPPORTED(OCIDirPathAbort)
OCI_UNSUPPORTED(OCIDirPathColArrayEntryGet)
OCI_UNSUPPORTED(OCIDirPathColArrayEntrySet)
OCI_UNSUPPORTED(OCIDirPathColArrayRowGet)
OCI_UNSUPPORTED(OCIDirPathColArrayReset)
OCI_UNSUPPORTED(OCIDirPathColArrayToStream)
OCI_UNSUPPORTED(OCIDirPathFinish)
OCI_UNSUPPORTED(OCIDirPathLoadStream)
OCI_UNSUPPORTED(OCIDirPathPrepare)
OCI_UNSUPPORTED(OCIDirPathStreamReset)
