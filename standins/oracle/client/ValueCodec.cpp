#include "standins/oracle/client/ValueCodec.h"

#include <cmath>
#include <cstring>

#include "standins/oracle/protocol/ObjectImage.h"
#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/OracleFormats.h"

namespace orastandin {

using namespace oracle::oci;

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : bytes) {
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}

double AsDouble(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return static_cast<double>(v.integer);
    case Value::Kind::Real: return v.real;
    default: {
      double d;
      if (!ParseNumber(v.bytes, d)) throw OraError(1722);
      return d;
    }
  }
}

DateTime DateOf(const Value& v) {
  DateTime d;
  if (v.kind != Value::Kind::Text || !ParseCanonicalDate(v.bytes, d)) throw OraError(1858);
  return d;
}

}  // namespace

Value ReadExternal(const void* data, sb4 length, ub2 dty) {
  const auto* p = static_cast<const unsigned char*>(data);
  if (!p) return Value::Null();
  switch (dty) {
    case SQLT_INT:
      if (length == 1) return Value::Int(*reinterpret_cast<const std::int8_t*>(p));
      if (length == 2) { std::int16_t v; std::memcpy(&v, p, 2); return Value::Int(v); }
      if (length == 8) { std::int64_t v; std::memcpy(&v, p, 8); return Value::Int(v); }
      { std::int32_t v; std::memcpy(&v, p, 4); return Value::Int(v); }
    case SQLT_FLT:
      if (length == 4) { float f; std::memcpy(&f, p, 4); return Value::Float(f); }
      { double d; std::memcpy(&d, p, 8); return Value::Float(d); }
    case SQLT_DAT: {
      DateTime d{(p[0] - 100) * 100 + (p[1] - 100), p[2], p[3], p[4] - 1, p[5] - 1, p[6] - 1};
      return Value::Date(CanonicalDate(d));
    }
    case SQLT_STR:
    case SQLT_AVC: {
      std::size_t n = length > 0 ? strnlen(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length)) : 0;
      return n == 0 ? Value::Null() : Value::Text(std::string(reinterpret_cast<const char*>(p), n));
    }
    case SQLT_BIN:
    case SQLT_LBI:
      return length <= 0 ? Value::Null() : Value::Raw(std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length)));
    default:  // CHR, AFC, LNG and other character data
      return length <= 0 ? Value::Null() : Value::Text(std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length)));
  }
}

std::string ValueText(const Value& v, const std::string& dateFormat) {
  switch (v.kind) {
    case Value::Kind::Null: return {};
    case Value::Kind::Integer: return NumberText(v.integer);
    case Value::Kind::Real: return NumberText(v.real);
    case Value::Kind::Blob: return Hex(v.bytes);
    case Value::Kind::Text: {
      DateTime d;
      if (v.isDate && ParseCanonicalDate(v.bytes, d)) return FormatDate(d, dateFormat.empty() ? "DD-MON-RR" : dateFormat);
      return v.bytes;
    }
  }
  return {};
}

WriteResult WriteExternal(const Value& v, const ColumnInfo* column, ub2 dty, void* dest, sb4 capacity,
                          const std::string& dateFormat) {
  WriteResult r;
  if (v.IsNull()) {
    r.indicator = -1;
    return r;
  }
  auto* out = static_cast<unsigned char*>(dest);
  switch (dty) {
    case SQLT_INT: {
      double d = std::round(AsDouble(v));
      if (capacity == 1) { std::int8_t x = static_cast<std::int8_t>(d); std::memcpy(out, &x, 1); }
      else if (capacity == 2) { std::int16_t x = static_cast<std::int16_t>(d); std::memcpy(out, &x, 2); }
      else if (capacity >= 8) { std::int64_t x = static_cast<std::int64_t>(d); std::memcpy(out, &x, 8); }
      else { std::int32_t x = static_cast<std::int32_t>(d); std::memcpy(out, &x, 4); }
      r.length = static_cast<ub4>(capacity >= 8 ? 8 : capacity);
      return r;
    }
    case SQLT_FLT: {
      double d = AsDouble(v);
      if (capacity == 4) { float f = static_cast<float>(d); std::memcpy(out, &f, 4); r.length = 4; }
      else { std::memcpy(out, &d, 8); r.length = 8; }
      return r;
    }
    case SQLT_DAT: {
      DateTime d = DateOf(v);
      if (capacity < 7) throw OraError(1406);
      unsigned char b[7] = {static_cast<unsigned char>(d.year / 100 + 100), static_cast<unsigned char>(d.year % 100 + 100),
                            static_cast<unsigned char>(d.month), static_cast<unsigned char>(d.day),
                            static_cast<unsigned char>(d.hour + 1), static_cast<unsigned char>(d.minute + 1),
                            static_cast<unsigned char>(d.second + 1)};
      std::memcpy(out, b, 7);
      r.length = 7;
      return r;
    }
    case SQLT_BIN:
    case SQLT_LBI: {
      std::string bytes = v.kind == Value::Kind::Blob || v.kind == Value::Kind::Text ? v.bytes : ValueText(v, dateFormat);
      std::size_t n = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(std::max(capacity, 0)));
      std::memcpy(out, bytes.data(), n);
      r.length = static_cast<ub4>(n);
      r.truncated = n < bytes.size();
      if (r.truncated) r.indicator = static_cast<sb2>(std::min<std::size_t>(bytes.size(), 32767));
      return r;
    }
    default: {
      std::string text = ValueText(v, dateFormat);
      if (column && column->oraType == oratype::Char && static_cast<int>(text.size()) < column->size)
        text.resize(static_cast<std::size_t>(column->size), ' ');
      bool terminated = dty == SQLT_STR || dty == SQLT_AVC;
      std::size_t room = static_cast<std::size_t>(std::max(capacity, 0));
      if (terminated && room > 0) --room;
      std::size_t n = std::min(room, text.size());
      std::memcpy(out, text.data(), n);
      if (dty == SQLT_AFC && n < room) std::memset(out + n, ' ', room - n), n = room;
      if (terminated && capacity > 0) out[n] = '\0';
      r.length = static_cast<ub4>(n);
      r.truncated = n < text.size();
      if (r.truncated) r.indicator = static_cast<sb2>(std::min<std::size_t>(text.size(), 32767));
      return r;
    }
  }
}

ub4 WriteTable(const TableArray& table, const Value& v, const std::string& dateFormat) {
  ObjectImage image;
  if (!v.IsNull() && !ObjectImage::Decode(v.bytes, image)) throw OraError(6502);
  if (image.items.size() > table.maxElements) throw OraError(6513);
  const ub4 skip = table.itemSkip ? table.itemSkip : static_cast<ub4>(table.itemSize);
  const auto at = [](void* base, ub4 stride, ub4 index) {
    return base ? static_cast<char*>(base) + static_cast<std::size_t>(stride) * index : nullptr;
  };
  for (ub4 e = 0; e < image.items.size(); ++e) {
    const Value& item = image.items[e];
    WriteResult r;
    if (table.items) r = WriteExternal(item, nullptr, table.dty, at(table.items, skip, e), table.itemSize, dateFormat);
    else r.indicator = item.IsNull() ? -1 : 0;
    if (char* ind = at(table.indicators, table.indicatorSkip, e)) std::memcpy(ind, &r.indicator, sizeof r.indicator);
    if (char* length = at(table.lengths, table.lengthSkip, e)) {
      const ub2 n = static_cast<ub2>(r.length);
      std::memcpy(length, &n, sizeof n);
    }
    if (char* code = at(table.codes, table.codeSkip, e)) {
      const ub2 c = r.truncated ? 1406 : (item.IsNull() ? 1405 : 0);
      std::memcpy(code, &c, sizeof c);
    }
  }
  return static_cast<ub4>(image.items.size());
}

}  // namespace orastandin
