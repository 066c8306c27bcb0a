// The stand-in's wire format, shared by the native server and the Windows client:
// length-prefixed frames holding little-endian integers, strings and typed values.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace orastandin {

// Requests a client sends; every reply starts with a ReplyStatus byte.
enum class Request : std::uint8_t {
  Logon = 1, Logoff, Execute, Commit, Rollback, Version, Break, SetHook, LobStore, FileRead,
  ObjectFlush  // U8 remove, the REF's image, the object's image
};
enum class ReplyStatus : std::uint8_t { Ok = 0, Error = 1 };

// A cell or bind value. Dates travel as Text in "YYYY-MM-DD HH:MM:SS" form, with IsDate set.
struct Value {
  enum class Kind : std::uint8_t { Null = 0, Integer, Real, Text, Blob };
  Kind kind = Kind::Null;
  std::int64_t integer = 0;
  double real = 0;
  std::string bytes;  // text or blob contents
  bool isDate = false;
  std::string lob;  // a LOB value's place ("TABLE\tCOLUMN\trow id") when it may be written back

  static Value Null() { return {}; }
  static Value Int(std::int64_t v) { Value r; r.kind = Kind::Integer; r.integer = v; return r; }
  static Value Float(double v) { Value r; r.kind = Kind::Real; r.real = v; return r; }
  static Value Text(std::string s) { Value r; r.kind = Kind::Text; r.bytes = std::move(s); return r; }
  static Value Date(std::string s) { Value r = Text(std::move(s)); r.isDate = true; return r; }
  static Value Raw(std::string s) { Value r; r.kind = Kind::Blob; r.bytes = std::move(s); return r; }
  bool IsNull() const { return kind == Kind::Null; }
};

// Oracle's internal type codes, as describe reports them.
namespace oratype {
constexpr int Varchar2 = 1, Number = 2, Long = 8, Rowid = 11, Date = 12, Raw = 23, LongRaw = 24,
              Char = 96, Named = 108, Ref = 110, Clob = 112, Blob = 113, Bfile = 114,
              Cursor = 116;  // a CURSOR(subquery) column: the cell is the index of its cursor
}

struct ColumnInfo {
  std::string name;
  int oraType = oratype::Varchar2;
  int size = 0;
  int precision = 0;
  int scale = 0;
  bool nullable = true;
  std::string typeName;  // an object, collection or REF column's type
};

struct BindValue {
  std::string name;  // upper-cased unless it was quoted; no colon
  Value value;
};

struct ExecuteRequest {
  std::string sql;
  std::vector<std::string> bindNames;
  std::vector<std::vector<Value>> iterations;  // one row of values per iteration
  bool describeOnly = false;
};

struct ErrorReply {
  int code = 0;
  std::string text;  // "ORA-nnnnn: ..." with its final line feed
  int offset = 0;    // parse error offset in the statement text
};

// A query a PL/SQL block opened for a cursor bind (OPEN :c FOR SELECT ...), or (bind
// empty) one cell of a CURSOR(subquery) column.
struct OpenedCursor {
  std::string bind;
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Value>> rows;
};

struct ExecuteReply {
  int statementType = 0;
  std::int64_t rowsAffected = 0;
  std::string rowid;  // ROWID text of the last row inserted, updated or deleted; empty if none
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Value>> rows;
  std::vector<BindValue> outBinds;  // values a PL/SQL block assigned
  std::string dateFormat;           // the session's NLS_DATE_FORMAT after the statement
  ErrorReply warning;               // code 0, or success with information (e.g. ORA-24344)
  std::vector<OpenedCursor> cursors;
};

// Thrown on a malformed frame.
class WireError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class WireWriter {
 public:
  void U8(std::uint8_t v) { data_.push_back(static_cast<char>(v)); }
  void I64(std::int64_t v);
  void F64(double v);
  void Str(const std::string& s);
  void Val(const Value& v);
  void Column(const ColumnInfo& c);
  void Execute(const ExecuteRequest& r);
  void Reply(const ExecuteReply& r);
  void Error(const ErrorReply& e);
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
};

class WireReader {
 public:
  explicit WireReader(std::string data) : data_(std::move(data)) {}  // owns the frame it reads
  std::uint8_t U8();
  std::int64_t I64();
  double F64();
  std::string Str();
  Value Val();
  ColumnInfo Column();
  ExecuteRequest Execute();
  ExecuteReply Reply();
  ErrorReply Error();
  bool AtEnd() const { return pos_ == data_.size(); }

 private:
  void Need(std::size_t n) const;
  std::string data_;
  std::size_t pos_ = 0;
};

// Frames are a 4-byte little-endian length then the payload.
std::string Frame(const std::string& payload);
constexpr std::uint32_t MaxFrameSize = 512u * 1024u * 1024u;
std::uint32_t FrameLength(const unsigned char header[4]);

// "YYYY-MM-DD HH:MM:SS" is the one text form of a DATE inside the stand-in.
constexpr const char* CanonicalDateFormat = "%04d-%02d-%02d %02d:%02d:%02d";

}  // namespace orastandin
