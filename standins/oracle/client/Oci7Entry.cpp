// ociw32.dll: the OCI7 functions of the stand-in client. Log-on data areas and cursor
// data areas belong to the program; the state behind them is kept here, keyed by their
// addresses. Statuses follow the version 7 interface: 0, 4 at the end of a fetch, -303
// past the select list, else minus the ORA code (which oerhms turns into its text).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "standins/oracle/client/Oci7Logon.h"
#include "standins/oracle/client/PieceExchange.h"
#include "standins/oracle/protocol/ObjectImage.h"
#include "standins/oracle/client/TnsNames.h"
#include "standins/oracle/client/ValueCodec.h"
#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/RowidText.h"
#include "standins/oracle/protocol/StatementKind.h"

using namespace orastandin;
using namespace oracle::oci;

#define OCI_EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr sword EndOfFetch = OCI7_END_OF_FETCH;
constexpr sword PastSelectList = OCI7_PAST_SELECT_LIST;

struct Logon {
  std::unique_ptr<ServerConnection> owned;  // of olog
  // A log-on data area made from a version 8 service context: its server's connection, while
  // the service context lives.
  std::function<ServerConnection*()> borrowed;
  ServerConnection* Connection() const { return owned ? owned.get() : borrowed ? borrowed() : nullptr; }
  std::int64_t sessionId = 0;  // for breaks
  std::string breakKey;
  int lastCode = 0;
  std::string lastText;
};

struct CursorBind {
  std::string name;
  ub1* buffer = nullptr;
  sword length = 0;
  sword type = 0;
  sb2* indicator = nullptr;
  ub4 skip = 0;
  ub4 indicatorSkip = sizeof(sb2);
  bool piecewise = false;  // obindps opcode 0: the value comes through ogetpi/osetpi
  // A PL/SQL table (obindps opcode 1 with a maximum size): room for maxElements items,
  // *currentElements of them in use (set on return).
  ub4 maxElements = 0;
  ub4* currentElements = nullptr;
};

struct CursorDefine {
  ub1* buffer = nullptr;
  sword length = 0;
  sword type = 0;
  sb2* indicator = nullptr;
  ub2* rlen = nullptr;
  ub2* rcode = nullptr;
  ub4 skip = 0, indicatorSkip = sizeof(sb2), rlenSkip = sizeof(ub2), rcodeSkip = sizeof(ub2);
  bool piecewise = false;  // odefinps opcode 0: the value goes out through ogetpi/osetpi
};

struct Cursor {
  Lda_Def* lda = nullptr;
  std::string sql;
  std::vector<CursorBind> binds;
  std::map<sword, CursorDefine> defines;
  bool executed = false;
  ExecuteReply result;
  std::size_t nextRow = 0;
  // Piecewise values: binds' values being collected (-3129), a fetch stopped at a piecewise
  // define's value (-3130).
  PieceCollector inPieces;
  PieceOutlet outPiece;  // a define's value (fetch) or an out bind's (the position in outBinds)
  std::vector<std::pair<std::size_t, Value>> outBinds;  // values returned to piecewise binds, by bind
  struct PendingFetch {
    bool active = false;
    sword rows = 0, delivered = 0;
    std::vector<sword> positionsDone;
  } fetch;
};

// The state behind the program's data areas, keyed by their addresses.
template <class T>
class AreaMap {
 public:
  T* Find(const void* area) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(area);
    return it == entries_.end() ? nullptr : it->second.get();
  }
  T& FindOrCreate(const void* area) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& slot = entries_[area];
    if (!slot) slot = std::make_unique<T>();
    return *slot;
  }
  T& Renew(const void* area) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& slot = entries_[area];
    slot = std::make_unique<T>();
    return *slot;
  }
  void Drop(const void* area) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.erase(area);
  }

 private:
  std::mutex mutex_;
  std::map<const void*, std::unique_ptr<T>> entries_;
};

struct Areas {
  Logon* FindLogon(const void* lda) { return logons.Find(lda); }
  Logon& NewLogon(const void* lda) { return logons.Renew(lda); }
  Cursor* FindCursor(const void* cda) { return cursors.Find(cda); }
  Cursor& NewCursor(const void* cda) { return cursors.Renew(cda); }
  void DropCursor(const void* cda) { cursors.Drop(cda); }
  AreaMap<Logon> logons;
  AreaMap<Cursor> cursors;
};

Areas& State() {
  static Areas areas;
  return areas;
}

std::string Text(const OraText* text, sword length) {
  if (!text) return {};
  const char* p = reinterpret_cast<const char*>(text);
  std::size_t n = length < 0 ? std::strlen(p) : static_cast<std::size_t>(length);
  while (n > 0 && p[n - 1] == '\0') --n;
  return std::string(p, n);
}

void Record(Cda_Def* area, Logon* logon, const OraError& e) {
  if (area) {
    area->returnCode = static_cast<ub2>(e.Code());
    area->v2ReturnCode = static_cast<sb2>(-e.Code());
    area->parseErrorOffset = static_cast<ub2>(e.Offset());
  }
  if (logon) {
    logon->lastCode = e.Code();
    logon->lastText = e.Text();
  }
}

// Runs a call on a data area; Oracle errors become minus their code.
template <class Body>
sword Guard(Cda_Def* area, Logon* logon, Body&& body) {
  try {
    sword status = body();
    if (area && status == 0) area->returnCode = 0, area->v2ReturnCode = 0;
    return status;
  } catch (const OraError& e) {
    Record(area, logon, e);
    return -e.Code();
  } catch (const std::exception& e) {
    OraError internal = OraError::Verbatim(600, std::string("ORA-00600: internal error code, arguments: [") + e.what() + "]\n", 0);
    Record(area, logon, internal);
    return -600;
  }
}

Logon* LogonOf(Cursor* c) { return c ? State().FindLogon(c->lda) : nullptr; }

WireWriter RequestOf(Request r) {
  WireWriter w;
  w.U8(static_cast<std::uint8_t>(r));
  return w;
}

sword SimpleCall(Lda_Def* lda, Request request) {
  Logon* logon = State().FindLogon(lda);
  return Guard(lda, logon, [&]() -> sword {
    if (!logon || !logon->Connection()) throw OraError(1012);
    logon->Connection()->Call(RequestOf(request));
    return 0;
  });
}

std::string BindNameOf(const std::string& raw) {
  std::string name = raw;
  if (!name.empty() && name[0] == ':') name.erase(0, 1);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') return name.substr(1, name.size() - 2);
  for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

void AddBind(Cursor& c, CursorBind bind) {
  for (auto& existing : c.binds)
    if (existing.name == bind.name) {
      existing = bind;
      return;
    }
  c.binds.push_back(bind);
}

// The bytes of a value handed out piece by piece.
std::string PieceBytes(const Value& v, const std::string& dateFormat) {
  if (v.IsNull()) return {};
  return v.kind == Value::Kind::Blob ? v.bytes : ValueText(v, dateFormat);
}

void StartOutBindPiece(Cursor& c, std::size_t index) {
  const Value& v = c.outBinds[index].second;
  c.outPiece.Start(PieceBytes(v, c.result.dateFormat), v.IsNull(), index, 0);
}

// Item i of a bind (an iteration's value, or a table's element).
Value ReadItem(const CursorBind& b, ub4 i) {
  const ub4 skip = b.skip ? b.skip : static_cast<ub4>(b.length);
  const sb2* ind = b.indicator ? reinterpret_cast<const sb2*>(reinterpret_cast<const char*>(b.indicator) + b.indicatorSkip * i) : nullptr;
  if (ind && *ind == -1) return Value::Null();
  return ReadExternal(b.buffer + static_cast<std::size_t>(skip) * i, b.length, static_cast<ub2>(b.type));
}

// A cursor data area bound as a cursor takes the query the block opened, ready to describe
// and fetch.
void OpenCursorResult(Cda_Def* area, Lda_Def* lda, OpenedCursor& opened, const std::string& dateFormat) {
  Cursor& target = State().NewCursor(area);
  target.lda = lda;
  target.result.statementType = StmtSelect;
  target.result.columns = std::move(opened.columns);
  target.result.rows = std::move(opened.rows);
  target.result.dateFormat = dateFormat;
  target.executed = true;
  std::memset(area, 0, CdaSize);
  area->functionType = 4;
  area->functionCode = 4;
}

void StoreRowid(Cda_Def* cda, const std::string& rowid) {
  std::memset(cda->rowid, 0, sizeof cda->rowid);
  RowidParts parts;
  if (rowid.empty() || !ParseRowidText(rowid, parts)) return;
  std::memcpy(cda->rowid + 0, &parts.object, 4);
  std::memcpy(cda->rowid + 4, &parts.file, 2);
  std::memcpy(cda->rowid + 7, &parts.block, 4);
  ub4 row = parts.row;
  std::memcpy(cda->rowid + 11, &row, 4);
}

}  // namespace

namespace orastandin {

void AttachLogonArea(Lda_Def* lda, std::function<ServerConnection*()> connection, std::int64_t sessionId,
                     const std::string& breakKey) {
  Logon& logon = State().logons.FindOrCreate(lda);
  logon.owned.reset();
  logon.borrowed = std::move(connection);
  logon.sessionId = sessionId;
  logon.breakKey = breakKey;
  std::memset(lda, 0, CdaSize);
}

}  // namespace orastandin

OCI_EXPORT sword opinit(ub4) { return 0; }

OCI_EXPORT sword olog(Lda_Def* lda, ub1* hda, const OraText* uid, sword uidl, const OraText* pswd, sword pswdl,
                      const OraText* conn, sword connl, ub4 mode) {
  if (!lda) return -1012;
  Logon& logon = State().NewLogon(lda);
  return Guard(lda, &logon, [&]() -> sword {
    std::string user = Text(uid, uidl), password = Text(pswd, pswdl), server = Text(conn, connl);
    if (password.empty() && user.find('/') != std::string::npos) {  // "user/password[@server]"
      std::string rest = user.substr(user.find('/') + 1);
      user = user.substr(0, user.find('/'));
      password = rest.substr(0, rest.find('@'));
      if (rest.find('@') != std::string::npos) server = rest.substr(rest.find('@') + 1);
    }
    if (hda) std::memset(hda, 0, HdaSize);
    logon.owned = std::make_unique<ServerConnection>(ResolveServerName(server));
    ServerConnection* connection = logon.owned.get();
    WireWriter w = RequestOf(Request::Logon);
    w.Str(user);
    w.Str(password);
    w.Str(connection->Address().service);
    w.I64(mode);
    w.U8(0);
    std::string body = connection->Call(w, connection->Address().connectTimeoutMs);
    WireReader reply(body);
    reply.Str();  // the banner
    logon.sessionId = reply.I64();
    logon.breakKey = reply.Str();
    return 0;
  });
}

OCI_EXPORT sword ologof(Lda_Def* lda) {
  sword status = SimpleCall(lda, Request::Logoff);
  if (Logon* logon = State().FindLogon(lda)) logon->owned.reset();
  return status;
}

OCI_EXPORT sword ocom(Lda_Def* lda) { return SimpleCall(lda, Request::Commit); }
OCI_EXPORT sword orol(Lda_Def* lda) { return SimpleCall(lda, Request::Rollback); }
OCI_EXPORT sword obreak(Lda_Def* lda) {
  Logon* logon = State().FindLogon(lda);
  if (!logon) return -1012;
  try {
    if (ServerConnection* connection = logon->Connection(); connection && logon->sessionId != 0)
      SendBreak(connection->Address(), logon->sessionId, logon->breakKey);
  } catch (const std::exception&) {
    // A break that cannot be delivered leaves the call to finish.
  }
  return 0;
}

OCI_EXPORT sword oerhms(Lda_Def* lda, sb2 rcode, OraText* buf, sword bufsiz) {
  int code = rcode < 0 ? -rcode : rcode;
  Logon* logon = State().FindLogon(lda);
  std::string text = logon && logon->lastCode == code ? logon->lastText : OraError::TextOf(code);
  if (!buf || bufsiz <= 0) return 0;
  std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(bufsiz - 1));
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return static_cast<sword>(n);
}

OCI_EXPORT sword oopen(Cda_Def* cursor, Lda_Def* lda, OraText*, sword, sword, OraText*, sword) {
  if (!cursor) return -1001;
  Logon* logon = State().FindLogon(lda);
  return Guard(cursor, logon, [&]() -> sword {
    if (!logon || !logon->Connection()) throw OraError(1012);
    std::memset(cursor, 0, CdaSize);
    State().NewCursor(cursor).lda = lda;
    return 0;
  });
}

OCI_EXPORT sword oclose(Cda_Def* cursor) {
  if (!State().FindCursor(cursor)) return -1001;
  State().DropCursor(cursor);
  return 0;
}

OCI_EXPORT sword oparse(Cda_Def* cursor, const OraText* sqlstm, sb4 sqllen, sword, ub4) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c) throw OraError(1001);
    c->sql = Text(sqlstm, sqllen);
    c->binds.clear();
    c->defines.clear();
    c->executed = false;
    c->inPieces.Reset();
    c->outPiece.Reset();
    c->outBinds.clear();
    c->fetch = {};
    cursor->functionType = static_cast<ub2>(FunctionCodeOf(c->sql));
    cursor->functionCode = static_cast<ub1>(cursor->functionType);
    cursor->rowsProcessed = 0;
    return 0;
  });
}

OCI_EXPORT sword obndrv(Cda_Def* cursor, const OraText* sqlvar, sword sqlvl, ub1* progv, sword progvl, sword ftype,
                        sword, sb2* indp, OraText*, sword, sword) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c) throw OraError(1001);
    AddBind(*c, {BindNameOf(Text(sqlvar, sqlvl)), progv, progvl, ftype, indp});
    return 0;
  });
}

OCI_EXPORT sword obndrn(Cda_Def* cursor, sword sqlvnum, ub1* progv, sword progvl, sword ftype, sword, sb2* indp,
                        OraText*, sword, sword) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c) throw OraError(1001);
    AddBind(*c, {std::to_string(sqlvnum), progv, progvl, ftype, indp});
    return 0;
  });
}

OCI_EXPORT sword obindps(Cda_Def* cursor, ub1 opcode, const OraText* sqlvar, sword sqlvl, ub1* pvctx, sb4 progvl,
                         sword ftype, sword, sb2* indp, ub2*, ub2*, sb4 pv_skip, sb4 ind_skip, sb4, sb4, ub4 maxsiz,
                         ub4* cursiz, OraText*, sb4, sword) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c) throw OraError(1001);
    if (opcode > 1) throw OraError(3001);
    CursorBind b{BindNameOf(Text(sqlvar, sqlvl)), pvctx, static_cast<sword>(progvl), ftype, indp};
    b.skip = static_cast<ub4>(pv_skip);
    b.indicatorSkip = ind_skip > 0 ? static_cast<ub4>(ind_skip) : sizeof(sb2);
    b.piecewise = opcode == 0;
    if (opcode == 1 && maxsiz > 0) {
      b.maxElements = maxsiz;
      b.currentElements = cursiz;
    }
    AddBind(*c, b);
    return 0;
  });
}

OCI_EXPORT sword odefin(Cda_Def* cursor, sword pos, ub1* buf, sword bufl, sword ftype, sword, sb2* indp, OraText*,
                        sword, sword, ub2* rlen, ub2* rcode) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c) throw OraError(1001);
    c->defines[pos] = {buf, bufl, ftype, indp, rlen, rcode};
    return 0;
  });
}

OCI_EXPORT sword odefinps(Cda_Def* cursor, ub1 opcode, sword pos, ub1* bufctx, sb4 bufl, sword ftype, sword, sb2* indp,
                          OraText*, sb4, sword, ub2* rlen, ub2* rcode, sb4 pv_skip, sb4 ind_skip, sb4 alen_skip,
                          sb4 rc_skip) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c) throw OraError(1001);
    if (opcode > 1) throw OraError(3001);
    CursorDefine d{bufctx, static_cast<sword>(bufl), ftype, indp, rlen, rcode};
    d.piecewise = opcode == 0;
    d.skip = static_cast<ub4>(pv_skip);
    if (ind_skip > 0) d.indicatorSkip = static_cast<ub4>(ind_skip);
    if (alen_skip > 0) d.rlenSkip = static_cast<ub4>(alen_skip);
    if (rc_skip > 0) d.rcodeSkip = static_cast<ub4>(rc_skip);
    c->defines[pos] = d;
    return 0;
  });
}

OCI_EXPORT sword ofen(Cda_Def* cursor, sword nrows);

OCI_EXPORT sword oexn(Cda_Def* cursor, sword iters, sword) {
  Cursor* c = State().FindCursor(cursor);
  Logon* logon = LogonOf(c);
  return Guard(cursor, logon, [&]() -> sword {
    if (!c) throw OraError(1001);
    if (!logon || !logon->Connection()) throw OraError(1012);
    if (c->executed && c->fetch.active) return ofen(cursor, 0);  // the fetch waits for a piece's buffer
    if (c->executed && !c->outBinds.empty()) {  // an out bind's value waits for the program's buffers
      if (!c->outPiece.Deliver()) return OCI7_NEED_PIECE_OUT;
      const std::size_t next = c->outPiece.Position() + 1;
      if (next < c->outBinds.size()) {
        StartOutBindPiece(*c, next);
        return OCI7_NEED_PIECE_OUT;
      }
      c->outBinds.clear();
      return 0;
    }
    bool query = StatementTypeOf(c->sql) == StmtSelect;
    ExecuteRequest request;
    request.sql = c->sql;
    for (const auto& b : c->binds) request.bindNames.push_back(b.name);
    int count = query ? 1 : std::max(iters, 1);
    PieceCollector& pieces = c->inPieces;
    if (!pieces.Active()) {
      std::vector<PieceCollector::Slot> wanted;
      for (int i = 0; i < count; ++i)
        for (std::size_t k = 0; k < c->binds.size(); ++k)
          if (c->binds[k].piecewise) wanted.push_back({k, static_cast<std::uint32_t>(i)});
      if (!wanted.empty()) {
        pieces.Start(std::move(wanted));
        return OCI7_NEED_PIECE_IN;
      }
    } else {
      pieces.TakeAnswer();
      if (!pieces.Complete()) return OCI7_NEED_PIECE_IN;
    }
    struct CollectedOnExit {
      PieceCollector& pieces;
      ~CollectedOnExit() { pieces.Reset(); }
    } collected{pieces};
    for (int i = 0; i < count; ++i) {
      std::vector<Value> row;
      for (std::size_t k = 0; k < c->binds.size(); ++k) {
        const CursorBind& b = c->binds[k];
        std::string data;
        if (b.piecewise) {
          row.push_back(pieces.ValueOf(k, static_cast<std::uint32_t>(i), data)
                            ? ReadExternal(data.data(), static_cast<sb4>(data.size()), static_cast<ub2>(b.type))
                            : Value::Null());
          continue;
        }
        if (b.type == SQLT_CUR) {  // a cursor the block opens
          row.push_back(Value::Null());
        } else if (b.maxElements > 0) {  // a PL/SQL table: its elements in use, as a collection
          ObjectImage table;
          table.kind = ObjectImage::Kind::Collection;
          const ub4 inUse = std::min(b.currentElements ? *b.currentElements : b.maxElements, b.maxElements);
          for (ub4 e = 0; e < inUse; ++e) table.items.push_back(ReadItem(b, e));
          row.push_back(table.AsValue());
        } else {
          row.push_back(ReadItem(b, static_cast<ub4>(i)));
        }
      }
      request.iterations.push_back(std::move(row));
    }
    WireWriter w = RequestOf(Request::Execute);
    w.Execute(request);
    c->result = WireReader(logon->Connection()->Call(w)).Reply();
    c->executed = true;
    c->nextRow = 0;
    c->fetch = {};
    c->outPiece.Reset();
    c->outBinds.clear();
    cursor->rowsProcessed = query ? 0 : static_cast<ub4>(c->result.rowsAffected);
    StoreRowid(cursor, c->result.rowid);
    for (const auto& out : c->result.outBinds)
      for (std::size_t k = 0; k < c->binds.size(); ++k) {
        CursorBind& b = c->binds[k];
        if (b.name != out.name) continue;
        if (b.piecewise) {
          c->outBinds.emplace_back(k, out.value);
        } else if (b.type == SQLT_CUR) {
          continue;  // takes the query the block opened, below
        } else if (b.maxElements > 0) {
          const ub4 count = WriteTable({b.buffer, b.skip, b.length, static_cast<ub2>(b.type), b.indicator,
                                        b.indicatorSkip, nullptr, sizeof(ub2), nullptr, sizeof(ub2), b.maxElements},
                                       out.value, c->result.dateFormat);
          if (b.currentElements) *b.currentElements = count;
        } else if (b.buffer) {
          WriteResult r = WriteExternal(out.value, nullptr, static_cast<ub2>(b.type), b.buffer, b.length, c->result.dateFormat);
          if (b.indicator) *b.indicator = r.indicator;
        }
      }
    for (OpenedCursor& opened : c->result.cursors)
      for (const CursorBind& b : c->binds)
        if (b.name == opened.bind && b.type == SQLT_CUR && b.buffer)
          OpenCursorResult(reinterpret_cast<Cda_Def*>(b.buffer), c->lda, opened, c->result.dateFormat);
    if (!c->outBinds.empty()) {
      StartOutBindPiece(*c, 0);
      return OCI7_NEED_PIECE_OUT;
    }
    return 0;
  });
}

OCI_EXPORT sword oexec(Cda_Def* cursor) { return oexn(cursor, 1, 0); }

OCI_EXPORT sword odescr(Cda_Def* cursor, sword pos, sb4* dbsize, sb2* dbtype, sb1* cbuf, sb4* cbufl, sb4* dsize,
                        sb2* prec, sb2* scale, sb2* nullok) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c) throw OraError(1001);
    if (!c->executed) {  // the version 7 interface describes a parsed query: run it for its columns
      ExecuteRequest request;
      request.sql = c->sql;
      request.describeOnly = true;
      WireWriter w = RequestOf(Request::Execute);
      w.Execute(request);
      Logon* logon = LogonOf(c);
      if (!logon || !logon->Connection()) throw OraError(1012);
      c->result = WireReader(logon->Connection()->Call(w)).Reply();
    }
    if (pos < 1 || pos > static_cast<sword>(c->result.columns.size())) return PastSelectList;
    const ColumnInfo& col = c->result.columns[static_cast<std::size_t>(pos - 1)];
    if (dbsize) *dbsize = col.size;
    if (dbtype) *dbtype = static_cast<sb2>(col.oraType);
    if (cbuf && cbufl) {
      std::size_t n = std::min<std::size_t>(col.name.size(), static_cast<std::size_t>(std::max<sb4>(*cbufl, 0)));
      std::memcpy(cbuf, col.name.data(), n);
      *cbufl = static_cast<sb4>(n);
    }
    if (dsize) *dsize = col.oraType == oratype::Number ? 40 : col.oraType == oratype::Date ? 9 : col.size;
    if (prec) *prec = static_cast<sb2>(col.precision);
    if (scale) *scale = static_cast<sb2>(col.scale);
    if (nullok) *nullok = col.nullable ? 1 : 0;
    return 0;
  });
}

OCI_EXPORT sword ofen(Cda_Def* cursor, sword nrows) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c || !c->executed) throw OraError(1002);
    auto& f = c->fetch;
    if (f.active) {  // stopped at a piecewise value: the program gave a buffer for its piece (or not yet)
      if (c->outPiece.Active()) {
        if (!c->outPiece.Deliver()) return OCI7_NEED_PIECE_OUT;
        f.positionsDone.push_back(static_cast<sword>(c->outPiece.Position()));
      }
      nrows = f.rows;
    } else {
      f = {};
      f.active = true;
      f.rows = nrows;
    }
    sword& delivered = f.delivered;
    while (delivered < nrows && c->nextRow < c->result.rows.size()) {
      const auto& row = c->result.rows[c->nextRow];
      for (auto& [pos, d] : c->defines) {
        if (pos < 1 || pos > static_cast<sword>(row.size())) continue;
        if (d.piecewise) {
          if (std::find(f.positionsDone.begin(), f.positionsDone.end(), pos) != f.positionsDone.end()) continue;
          const Value& v = row[static_cast<std::size_t>(pos - 1)];
          c->outPiece.Start(PieceBytes(v, c->result.dateFormat), v.IsNull(), static_cast<std::size_t>(pos),
                            static_cast<std::uint32_t>(delivered));
          return OCI7_NEED_PIECE_OUT;
        }
        ub4 skip = d.skip ? d.skip : static_cast<ub4>(d.length);
        const ColumnInfo* col = &c->result.columns[static_cast<std::size_t>(pos - 1)];
        WriteResult r = WriteExternal(row[static_cast<std::size_t>(pos - 1)], col, static_cast<ub2>(d.type),
                                      d.buffer + static_cast<std::size_t>(skip) * delivered, d.length, c->result.dateFormat);
        if (d.indicator) *reinterpret_cast<sb2*>(reinterpret_cast<char*>(d.indicator) + d.indicatorSkip * delivered) = r.indicator;
        if (d.rlen) *reinterpret_cast<ub2*>(reinterpret_cast<char*>(d.rlen) + d.rlenSkip * delivered) = static_cast<ub2>(r.length);
        if (d.rcode) *reinterpret_cast<ub2*>(reinterpret_cast<char*>(d.rcode) + d.rcodeSkip * delivered) = r.truncated ? 1406 : 0;
      }
      f.positionsDone.clear();
      ++c->nextRow;
      ++delivered;
    }
    const sword fetched = delivered;
    f = {};
    cursor->rowsProcessed += static_cast<ub4>(fetched);
    if (fetched < nrows) {
      cursor->returnCode = 1403;
      return EndOfFetch;
    }
    return 0;
  });
}

OCI_EXPORT sword ofetch(Cda_Def* cursor) { return ofen(cursor, 1); }

OCI_EXPORT sword ocan(Cda_Def* cursor) {
  Cursor* c = State().FindCursor(cursor);
  if (!c) return -1001;
  c->nextRow = c->result.rows.size();
  return 0;
}

// Which piecewise value oexn (-3129) or ofen (-3130) waits for: its piece, the context the
// program bound it with, and its iteration or row.
OCI_EXPORT sword ogetpi(Cda_Def* cursor, ub1* piecep, dvoid** ctxpp, ub4* iterp, ub4* indexp) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c) throw OraError(1001);
    if (!piecep || !ctxpp || !iterp || !indexp) throw OraError(1009);
    *indexp = 0;
    if (c->inPieces.Active() && !c->inPieces.Complete()) {
      *piecep = c->inPieces.PieceAsked();
      *ctxpp = c->binds[c->inPieces.Current().bind].buffer;
      *iterp = c->inPieces.Current().iteration;
      return 0;
    }
    if (!c->outBinds.empty() && c->outPiece.Active()) {
      *piecep = c->outPiece.PieceOffered();
      *ctxpp = c->binds[c->outBinds[c->outPiece.Position()].first].buffer;
      *iterp = 0;
      return 0;
    }
    if (c->fetch.active && c->outPiece.Active()) {
      *piecep = c->outPiece.PieceOffered();
      *ctxpp = c->defines[static_cast<sword>(c->outPiece.Position())].buffer;
      *iterp = c->outPiece.Row();
      return 0;
    }
    throw OraError(1002);  // nothing is waiting for a piece
  });
}

// The program's answer: the piece of a bind's value, or the buffer for a define's next piece
// (*lenp is its room, then the bytes written). A bind's indicator of -1 makes its value null.
OCI_EXPORT sword osetpi(Cda_Def* cursor, ub1 piece, dvoid* bufp, ub4* lenp) {
  Cursor* c = State().FindCursor(cursor);
  return Guard(cursor, LogonOf(c), [&]() -> sword {
    if (!c) throw OraError(1001);
    if (!lenp) throw OraError(1009);
    if (c->inPieces.Active() && !c->inPieces.Complete()) {
      const CursorBind& b = c->binds[c->inPieces.Current().bind];
      const sb2* ind = b.indicator ? reinterpret_cast<const sb2*>(reinterpret_cast<const char*>(b.indicator) +
                                                                  b.indicatorSkip * c->inPieces.Current().iteration)
                                   : nullptr;
      c->inPieces.Answer(bufp, *lenp, piece, ind && *ind == -1);
      return 0;
    }
    if (!c->outBinds.empty() && c->outPiece.Active()) {
      const CursorBind& b = c->binds[c->outBinds[c->outPiece.Position()].first];
      c->outPiece.SetBuffer(bufp, lenp, b.indicator);
      return 0;
    }
    if (c->fetch.active && c->outPiece.Active()) {
      const CursorDefine& d = c->defines[static_cast<sword>(c->outPiece.Position())];
      sb2* ind = d.indicator ? reinterpret_cast<sb2*>(reinterpret_cast<char*>(d.indicator) +
                                                      d.indicatorSkip * c->outPiece.Row())
                             : nullptr;
      c->outPiece.SetBuffer(bufp, lenp, ind);
      return 0;
    }
    throw OraError(1002);
  });
}

namespace {
sword Unsupported(void* area) {
  if (Cursor* c = State().FindCursor(area)) Record(static_cast<Cda_Def*>(area), LogonOf(c), OraError(3001));
  else if (Logon* l = State().FindLogon(area)) Record(static_cast<Cda_Def*>(area), l, OraError(3001));
  return -3001;
}
}  // namespace

#define OCI7_UNSUPPORTED(name) \
  OCI_EXPORT sword name(void* area, ...) { return Unsupported(area); }

OCI7_UNSUPPORTED(obndra)
OCI7_UNSUPPORTED(ocof)
OCI7_UNSUPPORTED(ocon)
OCI7_UNSUPPORTED(odessp)
OCI7_UNSUPPORTED(oermsg)
OCI7_UNSUPPORTED(oexfet)
OCI7_UNSUPPORTED(oflng)
OCI7_UNSUPPORTED(ognfd)
OCI7_UNSUPPORTED(onbclr)
OCI7_UNSUPPORTED(onbset)
OCI7_UNSUPPORTED(onbtst)
OCI7_UNSUPPORTED(oopt)
OCI7_UNSUPPORTED(sqllda)
OCI7_UNSUPPORTED(sqlld2)
