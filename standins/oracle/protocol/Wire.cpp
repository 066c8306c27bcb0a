#include "standins/oracle/protocol/Wire.h"

#include <cstring>

namespace orastandin {

void WireWriter::I64(std::int64_t v) {
  auto u = static_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i) data_.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

void WireWriter::F64(double v) {
  std::int64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  I64(bits);
}

void WireWriter::Str(const std::string& s) {
  I64(static_cast<std::int64_t>(s.size()));
  data_ += s;
}

void WireWriter::Val(const Value& v) {
  U8(static_cast<std::uint8_t>(v.kind));
  U8((v.isDate ? 1 : 0) | (v.lob.empty() ? 0 : 2));
  if (!v.lob.empty()) Str(v.lob);
  switch (v.kind) {
    case Value::Kind::Null: break;
    case Value::Kind::Integer: I64(v.integer); break;
    case Value::Kind::Real: F64(v.real); break;
    case Value::Kind::Text:
    case Value::Kind::Blob: Str(v.bytes); break;
  }
}

void WireWriter::Column(const ColumnInfo& c) {
  Str(c.name);
  I64(c.oraType);
  I64(c.size);
  I64(c.precision);
  I64(c.scale);
  U8(c.nullable ? 1 : 0);
  Str(c.typeName);
}

void WireWriter::Execute(const ExecuteRequest& r) {
  Str(r.sql);
  I64(static_cast<std::int64_t>(r.bindNames.size()));
  for (const auto& n : r.bindNames) Str(n);
  I64(static_cast<std::int64_t>(r.iterations.size()));
  for (const auto& row : r.iterations) {
    I64(static_cast<std::int64_t>(row.size()));
    for (const auto& v : row) Val(v);
  }
  U8(r.describeOnly ? 1 : 0);
}

void WireWriter::Reply(const ExecuteReply& r) {
  I64(r.statementType);
  I64(r.rowsAffected);
  Str(r.rowid);
  I64(static_cast<std::int64_t>(r.columns.size()));
  for (const auto& c : r.columns) Column(c);
  I64(static_cast<std::int64_t>(r.rows.size()));
  for (const auto& row : r.rows) {
    I64(static_cast<std::int64_t>(row.size()));
    for (const auto& v : row) Val(v);
  }
  I64(static_cast<std::int64_t>(r.outBinds.size()));
  for (const auto& b : r.outBinds) {
    Str(b.name);
    Val(b.value);
  }
  Str(r.dateFormat);
  Error(r.warning);
  I64(static_cast<std::int64_t>(r.cursors.size()));
  for (const auto& c : r.cursors) {
    Str(c.bind);
    I64(static_cast<std::int64_t>(c.columns.size()));
    for (const auto& column : c.columns) Column(column);
    I64(static_cast<std::int64_t>(c.rows.size()));
    for (const auto& row : c.rows) {
      I64(static_cast<std::int64_t>(row.size()));
      for (const auto& v : row) Val(v);
    }
  }
}

void WireWriter::Error(const ErrorReply& e) {
  I64(e.code);
  Str(e.text);
  I64(e.offset);
}

void WireReader::Need(std::size_t n) const {
  if (data_.size() - pos_ < n) throw WireError("truncated frame");
}

std::uint8_t WireReader::U8() {
  Need(1);
  return static_cast<std::uint8_t>(data_[pos_++]);
}

std::int64_t WireReader::I64() {
  Need(8);
  std::uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= static_cast<std::uint64_t>(static_cast<unsigned char>(data_[pos_ + i])) << (8 * i);
  pos_ += 8;
  return static_cast<std::int64_t>(u);
}

double WireReader::F64() {
  std::int64_t bits = I64();
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

std::string WireReader::Str() {
  std::int64_t n = I64();
  if (n < 0) throw WireError("negative length");
  Need(static_cast<std::size_t>(n));
  std::string s = data_.substr(pos_, static_cast<std::size_t>(n));
  pos_ += static_cast<std::size_t>(n);
  return s;
}

Value WireReader::Val() {
  Value v;
  std::uint8_t kind = U8();
  if (kind > static_cast<std::uint8_t>(Value::Kind::Blob)) throw WireError("bad value kind");
  v.kind = static_cast<Value::Kind>(kind);
  std::uint8_t flags = U8();
  v.isDate = (flags & 1) != 0;
  if (flags & 2) v.lob = Str();
  switch (v.kind) {
    case Value::Kind::Null: break;
    case Value::Kind::Integer: v.integer = I64(); break;
    case Value::Kind::Real: v.real = F64(); break;
    case Value::Kind::Text:
    case Value::Kind::Blob: v.bytes = Str(); break;
  }
  return v;
}

ColumnInfo WireReader::Column() {
  ColumnInfo c;
  c.name = Str();
  c.oraType = static_cast<int>(I64());
  c.size = static_cast<int>(I64());
  c.precision = static_cast<int>(I64());
  c.scale = static_cast<int>(I64());
  c.nullable = U8() != 0;
  c.typeName = Str();
  return c;
}

namespace {
std::size_t Count(WireReader& r) {
  std::int64_t n = r.I64();
  if (n < 0 || n > static_cast<std::int64_t>(MaxFrameSize)) throw WireError("bad count");
  return static_cast<std::size_t>(n);
}
}  // namespace

ExecuteRequest WireReader::Execute() {
  ExecuteRequest r;
  r.sql = Str();
  for (std::size_t i = 0, n = Count(*this); i < n; ++i) r.bindNames.push_back(Str());
  for (std::size_t i = 0, n = Count(*this); i < n; ++i) {
    std::vector<Value> row;
    for (std::size_t j = 0, m = Count(*this); j < m; ++j) row.push_back(Val());
    r.iterations.push_back(std::move(row));
  }
  r.describeOnly = U8() != 0;
  return r;
}

ExecuteReply WireReader::Reply() {
  ExecuteReply r;
  r.statementType = static_cast<int>(I64());
  r.rowsAffected = I64();
  r.rowid = Str();
  for (std::size_t i = 0, n = Count(*this); i < n; ++i) r.columns.push_back(Column());
  for (std::size_t i = 0, n = Count(*this); i < n; ++i) {
    std::vector<Value> row;
    for (std::size_t j = 0, m = Count(*this); j < m; ++j) row.push_back(Val());
    r.rows.push_back(std::move(row));
  }
  for (std::size_t i = 0, n = Count(*this); i < n; ++i) {
    BindValue b;
    b.name = Str();
    b.value = Val();
    r.outBinds.push_back(std::move(b));
  }
  r.dateFormat = Str();
  r.warning = Error();
  for (std::size_t i = 0, n = Count(*this); i < n; ++i) {
    OpenedCursor c;
    c.bind = Str();
    for (std::size_t j = 0, m = Count(*this); j < m; ++j) c.columns.push_back(Column());
    for (std::size_t j = 0, m = Count(*this); j < m; ++j) {
      std::vector<Value> row;
      for (std::size_t k = 0, w = Count(*this); k < w; ++k) row.push_back(Val());
      c.rows.push_back(std::move(row));
    }
    r.cursors.push_back(std::move(c));
  }
  return r;
}

ErrorReply WireReader::Error() {
  ErrorReply e;
  e.code = static_cast<int>(I64());
  e.text = Str();
  e.offset = static_cast<int>(I64());
  return e;
}

std::string Frame(const std::string& payload) {
  std::string out;
  auto n = static_cast<std::uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  return out + payload;
}

std::uint32_t FrameLength(const unsigned char header[4]) {
  return header[0] | (header[1] << 8) | (header[2] << 16) | (static_cast<std::uint32_t>(header[3]) << 24);
}

}  // namespace orastandin
