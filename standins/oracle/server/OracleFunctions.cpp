#include "standins/oracle/server/OracleFunctions.h"

#include <cmath>
#include <cstring>
#include <string>

#include "standins/oracle/protocol/RowidText.h"
#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/OracleFormats.h"
#include "standins/oracle/server/OracleTypes.h"
#include "standins/oracle/server/Session.h"

namespace orastandin {

namespace {

Session& SessionOf(sqlite3_context* ctx) { return *static_cast<Session*>(sqlite3_user_data(ctx)); }

// '' is NULL in Oracle.
bool IsNull(sqlite3_value* v) {
  return sqlite3_value_type(v) == SQLITE_NULL || (sqlite3_value_type(v) == SQLITE_TEXT && sqlite3_value_bytes(v) == 0);
}

bool IsNumber(sqlite3_value* v) {
  int t = sqlite3_value_type(v);
  return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

std::string Text(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return NumberText(static_cast<std::int64_t>(sqlite3_value_int64(v)));
    case SQLITE_FLOAT: return NumberText(sqlite3_value_double(v));
    case SQLITE_NULL: return {};
    default: {
      const void* p = sqlite3_value_blob(v);
      return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
    }
  }
}

bool AsDate(sqlite3_value* v, DateTime& d) { return sqlite3_value_type(v) == SQLITE_TEXT && ParseCanonicalDate(Text(v), d); }

double AsNumber(sqlite3_value* v) {
  if (IsNumber(v)) return sqlite3_value_double(v);
  double d;
  if (!ParseNumber(Text(v), d)) throw OraError(1722);
  return d;
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  if (s.empty()) sqlite3_result_null(ctx);
  else sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void ResultNumber(sqlite3_context* ctx, double d) {
  if (d == std::floor(d) && std::fabs(d) < 9e18) sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(d));
  else sqlite3_result_double(ctx, d);
}


// A BFILE value is "DIRECTORY/file name".
void BfileName(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  ResultText(ctx, Text(a[0]) + "/" + Text(a[1]));
}

void EmptyClob(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_text(ctx, "", 0, SQLITE_STATIC); }
void EmptyBlob(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_zeroblob(ctx, 0); }

void SysDate(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, CanonicalDate(Now())); }
void UserFn(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, SessionOf(ctx).User()); }
void BannerFn(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, SessionOf(ctx).Db().Banner()); }
// The product is what the banner names before its release.
void ProductFn(sqlite3_context* ctx, int, sqlite3_value**) {
  const std::string& banner = SessionOf(ctx).Db().Banner();
  ResultText(ctx, banner.substr(0, banner.find(" Release ")));
}
void VersionFn(sqlite3_context* ctx, int, sqlite3_value**) {
  const std::string& banner = SessionOf(ctx).Db().Banner();
  std::size_t at = banner.find("Release ");
  std::string v = at == std::string::npos ? banner : banner.substr(at + 8);
  ResultText(ctx, v.substr(0, v.find(' ')));
}
void RowidTextFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, RowidText(RowidOf(sqlite3_value_int64(a[0]))));
}
void NextValFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  sqlite3_result_int64(ctx, SessionOf(ctx).NextVal(Text(a[0])));
}
void CurrValFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  sqlite3_result_int64(ctx, SessionOf(ctx).CurrVal(Text(a[0])));
}
void ConcatFn(sqlite3_context* ctx, int, sqlite3_value** a) { ResultText(ctx, Text(a[0]) + Text(a[1])); }
void DivFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  double d = AsNumber(a[1]);
  if (d == 0) throw OraError(1476);
  ResultNumber(ctx, AsNumber(a[0]) / d);
}
// + and - of Oracle: numbers, a date plus or minus days, the days between two dates.
template <bool add>
void ArithmeticFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  DateTime x, y;
  bool xDate = AsDate(a[0], x), yDate = AsDate(a[1], y);
  if (xDate && yDate) {
    if (add) throw OraError(975);
    return ResultNumber(ctx, static_cast<double>(SecondsOf(x) - SecondsOf(y)) / 86400.0);
  }
  if (xDate || yDate) {
    if (yDate && !add) throw OraError(932);
    const DateTime& date = xDate ? x : y;
    double days = AsNumber(xDate ? a[1] : a[0]);
    auto shift = static_cast<std::int64_t>(std::llround(days * 86400.0));
    return ResultText(ctx, CanonicalDate(DateOfSeconds(SecondsOf(date) + (add ? shift : -shift))));
  }
  if (sqlite3_value_type(a[0]) == SQLITE_INTEGER && sqlite3_value_type(a[1]) == SQLITE_INTEGER) {
    sqlite3_int64 l = sqlite3_value_int64(a[0]), r = sqlite3_value_int64(a[1]), out;
    if (!(add ? __builtin_add_overflow(l, r, &out) : __builtin_sub_overflow(l, r, &out)))
      return sqlite3_result_int64(ctx, out);
  }
  double l = AsNumber(a[0]), r = AsNumber(a[1]);
  ResultNumber(ctx, add ? l + r : l - r);
}

void NvlFn(sqlite3_context* ctx, int, sqlite3_value** a) { sqlite3_result_value(ctx, IsNull(a[0]) ? a[1] : a[0]); }
void Nvl2Fn(sqlite3_context* ctx, int, sqlite3_value** a) { sqlite3_result_value(ctx, IsNull(a[0]) ? a[2] : a[1]); }

bool SameValue(sqlite3_value* x, sqlite3_value* y) {
  if (IsNull(x) || IsNull(y)) return IsNull(x) && IsNull(y);
  if (IsNumber(x) || IsNumber(y)) {
    double a, b;
    if (IsNumber(x)) a = sqlite3_value_double(x); else if (!ParseNumber(Text(x), a)) return false;
    if (IsNumber(y)) b = sqlite3_value_double(y); else if (!ParseNumber(Text(y), b)) return false;
    return a == b;
  }
  return Text(x) == Text(y);
}

void DecodeFn(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (argc < 3) throw OraError(938);
  for (int i = 1; i + 1 < argc; i += 2)
    if (SameValue(a[0], a[i])) return sqlite3_result_value(ctx, a[i + 1]);
  if (argc % 2 == 0) return sqlite3_result_value(ctx, a[argc - 1]);
  sqlite3_result_null(ctx);
}

void ToCharFn(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  DateTime d;
  if (AsDate(a[0], d))
    return ResultText(ctx, FormatDate(d, argc > 1 ? Text(a[1]) : SessionOf(ctx).NlsValue("NLS_DATE_FORMAT")));
  if (IsNumber(a[0])) {
    double v = sqlite3_value_double(a[0]);
    if (argc > 1) return ResultText(ctx, FormatNumber(v, Text(a[1])));
    return ResultText(ctx, Text(a[0]));
  }
  ResultText(ctx, Text(a[0]));
}

void ToDateFn(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  DateTime d;
  std::string text = Text(a[0]);
  if (argc == 1 && ParseCanonicalDate(text, d)) return ResultText(ctx, CanonicalDate(d));
  ResultText(ctx, CanonicalDate(ParseDate(text, argc > 1 ? Text(a[1]) : SessionOf(ctx).NlsValue("NLS_DATE_FORMAT"))));
}

void ToNumberFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  ResultNumber(ctx, AsNumber(a[0]));
}

void TruncFn(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  DateTime d;
  if (AsDate(a[0], d)) {
    std::string unit = argc > 1 ? Text(a[1]) : "DD";
    for (auto& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (unit == "MI") d.second = 0;
    else if (unit == "HH" || unit == "HH24") d.minute = d.second = 0;
    else {
      d.hour = d.minute = d.second = 0;
      if (unit == "MM" || unit == "MON" || unit == "MONTH") d.day = 1;
      if (unit == "YYYY" || unit == "YY" || unit == "YEAR" || unit == "RR") d.day = d.month = 1;
    }
    return ResultText(ctx, CanonicalDate(d));
  }
  double scale = std::pow(10.0, argc > 1 ? AsNumber(a[1]) : 0.0);
  ResultNumber(ctx, std::trunc(AsNumber(a[0]) * scale) / scale);
}

void AddMonthsFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  DateTime d;
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  if (!AsDate(a[0], d)) throw OraError(1861);
  int months = d.year * 12 + (d.month - 1) + static_cast<int>(AsNumber(a[1]));
  bool lastDay = d.day == DaysInMonth(d.year, d.month);
  d.year = months / 12;
  d.month = months % 12 + 1;
  if (lastDay || d.day > DaysInMonth(d.year, d.month)) d.day = DaysInMonth(d.year, d.month);
  ResultText(ctx, CanonicalDate(d));
}

void LastDayFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  DateTime d;
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  if (!AsDate(a[0], d)) throw OraError(1861);
  d.day = DaysInMonth(d.year, d.month);
  ResultText(ctx, CanonicalDate(d));
}

void InstrFn(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  std::string s = Text(a[0]), sub = Text(a[1]);
  long pos = argc > 2 ? static_cast<long>(AsNumber(a[2])) : 1;
  long occurrence = argc > 3 ? static_cast<long>(AsNumber(a[3])) : 1;
  if (pos == 0 || occurrence < 1) return sqlite3_result_int(ctx, 0);
  long found = 0;
  if (pos > 0) {
    std::size_t at = static_cast<std::size_t>(pos - 1);
    while ((at = s.find(sub, at)) != std::string::npos) {
      if (++found == occurrence) return sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(at + 1));
      ++at;
    }
  } else {
    long start = static_cast<long>(s.size()) + pos;
    for (long at = start; at >= 0; --at)
      if (s.compare(static_cast<std::size_t>(at), sub.size(), sub) == 0 && ++found == occurrence)
        return sqlite3_result_int64(ctx, at + 1);
  }
  sqlite3_result_int(ctx, 0);
}

void SubstrFn(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  std::string s = Text(a[0]);
  long pos = static_cast<long>(AsNumber(a[1]));
  long len = static_cast<long>(s.size());
  if (pos == 0) pos = 1;
  if (pos < 0) pos = len + pos + 1;
  if (pos < 1 || pos > len) return sqlite3_result_null(ctx);
  long count = argc > 2 ? (IsNull(a[2]) ? -1 : static_cast<long>(AsNumber(a[2]))) : len;
  if (count < 1) return sqlite3_result_null(ctx);
  ResultText(ctx, s.substr(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(count)));
}

void LengthbFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(Text(a[0]).size()));
}

void ChrFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  char c = static_cast<char>(static_cast<long>(AsNumber(a[0])) & 0xFF);
  sqlite3_result_text(ctx, &c, 1, SQLITE_TRANSIENT);
}

void ModFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  double x = AsNumber(a[0]), y = AsNumber(a[1]);
  ResultNumber(ctx, y == 0 ? x : std::fmod(x, y));
}

template <double (*f)(double)>
void MathFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  ResultNumber(ctx, f(AsNumber(a[0])));
}
double Sign(double v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

void PowerFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  ResultNumber(ctx, std::pow(AsNumber(a[0]), AsNumber(a[1])));
}

template <bool left>
void PadFn(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  std::string s = Text(a[0]);
  long n = static_cast<long>(AsNumber(a[1]));
  std::string pad = argc > 2 ? Text(a[2]) : " ";
  if (n <= 0 || pad.empty()) return sqlite3_result_null(ctx);
  auto width = static_cast<std::size_t>(n);
  if (s.size() >= width) return ResultText(ctx, s.substr(0, width));
  std::string fill;
  while (fill.size() < width - s.size()) fill += pad;
  fill.resize(width - s.size());
  ResultText(ctx, left ? fill + s : s + fill);
}

void CharsetIdFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  std::string name = Text(a[0]);
  for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  int id = name == "US7ASCII" ? 1 : name == "WE8ISO8859P1" ? 31 : name == "CL8MSWIN1251" ? 171
         : name == "WE8MSWIN1252" ? 178 : name == "UTF8" ? 871 : name == "AL32UTF8" ? 873 : 0;
  if (id == 0) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, id);
}

template <bool greatest>
void ExtremeFn(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  int best = 0;
  for (int i = 0; i < argc; ++i) {
    if (IsNull(a[i])) return sqlite3_result_null(ctx);
    if (i == 0) continue;
    bool numeric = IsNumber(a[best]) && IsNumber(a[i]);
    int cmp = numeric ? (sqlite3_value_double(a[i]) > sqlite3_value_double(a[best]) ? 1
                         : sqlite3_value_double(a[i]) < sqlite3_value_double(a[best]) ? -1 : 0)
                      : Text(a[i]).compare(Text(a[best]));
    if (greatest ? cmp > 0 : cmp < 0) best = i;
  }
  sqlite3_result_value(ctx, a[best]);
}

// A value as a column of the declared type stores it: numbers rounded to the scale and
// checked against the precision, texts checked against the length, dates in the stored form.
void ColumnValueFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  DeclaredType t = ParseDeclaredType(Text(a[1]));
  if (t.oraType == oratype::Number) {
    double v = AsNumber(a[0]);
    if (t.scale != -127) {
      double factor = std::pow(10.0, t.scale);
      v = std::round(v * factor) / factor;
    }
    if (t.precision > 0 && t.scale != -127 && std::fabs(v) >= std::pow(10.0, t.precision - t.scale)) throw OraError(1438);
    return ResultNumber(ctx, v);
  }
  if (t.oraType == oratype::Varchar2 || t.oraType == oratype::Char) {
    std::string s = Text(a[0]);
    if (static_cast<int>(s.size()) > t.size) throw OraError(1401);
    return ResultText(ctx, s);
  }
  if (t.oraType == oratype::Date) {
    DateTime d;
    std::string s = Text(a[0]);
    if (sqlite3_value_type(a[0]) == SQLITE_TEXT && ParseCanonicalDate(s, d)) return ResultText(ctx, CanonicalDate(d));
    if (sqlite3_value_type(a[0]) != SQLITE_TEXT) throw OraError(932);
    return ResultText(ctx, CanonicalDate(ParseDate(s, SessionOf(ctx).NlsValue("NLS_DATE_FORMAT"))));
  }
  sqlite3_result_value(ctx, a[0]);
}

void TypeNameFn(sqlite3_context* ctx, int, sqlite3_value** a) { ResultText(ctx, ParseDeclaredType(Text(a[0])).name); }
void TypeLengthFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  DeclaredType t = ParseDeclaredType(Text(a[0]));
  sqlite3_result_int(ctx, t.oraType == 12 ? 7 : t.oraType == 2 ? 22 : t.size);
}
void TypePrecisionFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  DeclaredType t = ParseDeclaredType(Text(a[0]));
  if (t.oraType != 2 || t.precision == 0) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, t.precision);
}
void TypeScaleFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  DeclaredType t = ParseDeclaredType(Text(a[0]));
  if (t.oraType != 2 || t.scale == -127) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, t.scale);
}

struct Registration {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
  bool deterministic;
};

}  // namespace

void RegisterOracleFunctions(sqlite3* db, Session* session) {
  const Registration functions[] = {
      {"ORA_SYSDATE", 0, Guarded<SysDate>, false},
      {"EMPTY_CLOB", 0, Guarded<EmptyClob>, true},
      {"BFILENAME", 2, Guarded<BfileName>, true},
      {"EMPTY_BLOB", 0, Guarded<EmptyBlob>, true},
      {"ORA_USER", 0, Guarded<UserFn>, false},
      {"ORA_BANNER", 0, Guarded<BannerFn>, false},
      {"ORA_VERSION", 0, Guarded<VersionFn>, false},
      {"ORA_PRODUCT", 0, Guarded<ProductFn>, false},
      {"ORA_ROWID_TEXT", 1, Guarded<RowidTextFn>, true},
      {"ORA_NEXTVAL", 1, Guarded<NextValFn>, false},
      {"ORA_CURRVAL", 1, Guarded<CurrValFn>, false},
      {"ORA_CONCAT", 2, Guarded<ConcatFn>, true},
      {"ORA_DIV", 2, Guarded<DivFn>, true},
      {"ORA_ADD", 2, Guarded<ArithmeticFn<true>>, true},
      {"ORA_SUB", 2, Guarded<ArithmeticFn<false>>, true},
      {"NVL", 2, Guarded<NvlFn>, true},
      {"NVL2", 3, Guarded<Nvl2Fn>, true},
      {"DECODE", -1, Guarded<DecodeFn>, true},
      {"TO_CHAR", 1, Guarded<ToCharFn>, false},
      {"TO_CHAR", 2, Guarded<ToCharFn>, true},
      {"TO_DATE", 1, Guarded<ToDateFn>, false},
      {"TO_DATE", 2, Guarded<ToDateFn>, true},
      {"TO_NUMBER", 1, Guarded<ToNumberFn>, true},
      {"TO_NUMBER", 2, Guarded<ToNumberFn>, true},
      {"TRUNC", 1, Guarded<TruncFn>, true},
      {"TRUNC", 2, Guarded<TruncFn>, true},
      {"ADD_MONTHS", 2, Guarded<AddMonthsFn>, true},
      {"LAST_DAY", 1, Guarded<LastDayFn>, true},
      {"INSTR", 2, Guarded<InstrFn>, true},
      {"INSTR", 3, Guarded<InstrFn>, true},
      {"INSTR", 4, Guarded<InstrFn>, true},
      {"SUBSTR", 2, Guarded<SubstrFn>, true},
      {"SUBSTR", 3, Guarded<SubstrFn>, true},
      {"LENGTHB", 1, Guarded<LengthbFn>, true},
      {"CHR", 1, Guarded<ChrFn>, true},
      {"MOD", 2, Guarded<ModFn>, true},
      {"CEIL", 1, Guarded<MathFn<std::ceil>>, true},
      {"FLOOR", 1, Guarded<MathFn<std::floor>>, true},
      {"SIGN", 1, Guarded<MathFn<Sign>>, true},
      {"POWER", 2, Guarded<PowerFn>, true},
      {"LPAD", 2, Guarded<PadFn<true>>, true},
      {"LPAD", 3, Guarded<PadFn<true>>, true},
      {"RPAD", 2, Guarded<PadFn<false>>, true},
      {"RPAD", 3, Guarded<PadFn<false>>, true},
      {"NLS_CHARSET_ID", 1, Guarded<CharsetIdFn>, true},
      {"GREATEST", -1, Guarded<ExtremeFn<true>>, true},
      {"LEAST", -1, Guarded<ExtremeFn<false>>, true},
      {"ORA_TYPE_NAME", 1, Guarded<TypeNameFn>, true},
      {"ORA_COLUMN_VALUE", 2, Guarded<ColumnValueFn>, false},
      {"ORA_TYPE_LENGTH", 1, Guarded<TypeLengthFn>, true},
      {"ORA_TYPE_PRECISION", 1, Guarded<TypePrecisionFn>, true},
      {"ORA_TYPE_SCALE", 1, Guarded<TypeScaleFn>, true},
  };
  for (const auto& f : functions)
    sqlite3_create_function_v2(db, f.name, f.args, SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0), session,
                               f.fn, nullptr, nullptr, nullptr);
}

}  // namespace orastandin
