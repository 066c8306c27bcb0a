#include "standins/oracle/protocol/OracleFormats.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "standins/oracle/protocol/OraError.h"

namespace orastandin {

namespace {
const char* const kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                               "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* const kDays[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Word case follows the model: "MON" -> JAN, "Mon" -> Jan, "mon" -> jan.
std::string CaseLike(const std::string& word, const std::string& model) {
  std::string r = word;
  bool firstUpper = std::isupper(static_cast<unsigned char>(model[0]));
  bool secondUpper = model.size() > 1 && std::isupper(static_cast<unsigned char>(model[1]));
  for (std::size_t i = 0; i < r.size(); ++i) {
    bool up = i == 0 ? firstUpper : (firstUpper && secondUpper);
    r[i] = static_cast<char>(up ? std::toupper(static_cast<unsigned char>(r[i])) : std::tolower(static_cast<unsigned char>(r[i])));
  }
  return r;
}

int DayOfWeek(const DateTime& d) {  // 0 = Sunday
  int y = d.year, m = d.month;
  if (m < 3) { m += 12; --y; }
  int k = y % 100, j = y / 100;
  int h = (d.day + 13 * (m + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7;  // 0 = Saturday
  return (h + 6) % 7;
}

const char* const kElements[] = {"YYYY", "RRRR", "HH24", "HH12", "MONTH", "A.M.", "P.M.", "YY", "RR", "MON", "MM",
                                 "DDD", "DAY", "DD", "DY", "HH", "MI", "SS", "AM", "PM", "FM", "D"};

// The format element at model[i], or empty for a literal character.
std::string ElementAt(const std::string& model, std::size_t i) {
  for (const char* e : kElements) {
    std::size_t len = std::char_traits<char>::length(e);
    if (i + len <= model.size() && Upper(model.substr(i, len)) == e) return e;
  }
  return {};
}

std::string Two(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}
}  // namespace

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return days[(month - 1) % 12];
}

namespace {
// Days from 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kEpochDays = DaysFromCivil(1, 1, 1);
}  // namespace

std::int64_t SecondsOf(const DateTime& d) {
  std::int64_t days = DaysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day)) - kEpochDays;
  return days * 86400 + d.hour * 3600 + d.minute * 60 + d.second;
}

DateTime DateOfSeconds(std::int64_t seconds) {
  std::int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  std::int64_t rest = seconds - days * 86400;
  DateTime d;
  CivilFromDays(days + kEpochDays, d.year, d.month, d.day);
  d.hour = static_cast<int>(rest / 3600);
  d.minute = static_cast<int>(rest % 3600 / 60);
  d.second = static_cast<int>(rest % 60);
  return d;
}

bool ParseCanonicalDate(const std::string& text, DateTime& out) {
  DateTime d;
  int n = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d%n", &d.year, &d.month, &d.day, &n) != 3) return false;
  if (static_cast<std::size_t>(n) < text.size()) {
    int m = 0;
    if (std::sscanf(text.c_str() + n, " %d:%d:%d%n", &d.hour, &d.minute, &d.second, &m) != 3) return false;
  }
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > DaysInMonth(d.year, d.month)) return false;
  out = d;
  return true;
}

std::string CanonicalDate(const DateTime& d) {
  char b[40];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute, d.second);
  return b;
}

DateTime Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string FormatDate(const DateTime& d, const std::string& model) {
  std::string out;
  for (std::size_t i = 0; i < model.size();) {
    if (model[i] == '"') {
      std::size_t end = model.find('"', i + 1);
      if (end == std::string::npos) end = model.size();
      out += model.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    std::string e = ElementAt(model, i);
    if (e.empty()) { out += model[i++]; continue; }
    std::string src = model.substr(i, e.size());
    i += e.size();
    char b[16];
    if (e == "YYYY" || e == "RRRR") { std::snprintf(b, sizeof b, "%04d", d.year); out += b; }
    else if (e == "YY" || e == "RR") out += Two(d.year % 100);
    else if (e == "MM") out += Two(d.month);
    else if (e == "MON") out += CaseLike(std::string(kMonths[d.month - 1]).substr(0, 3), src);
    else if (e == "MONTH") { std::string m = kMonths[d.month - 1]; m.resize(9, ' '); out += CaseLike(m, src); }
    else if (e == "DD") out += Two(d.day);
    else if (e == "DDD") {
      int doy = d.day;
      for (int m = 1; m < d.month; ++m) doy += DaysInMonth(d.year, m);
      std::snprintf(b, sizeof b, "%03d", doy);
      out += b;
    } else if (e == "D") out += std::to_string(DayOfWeek(d) + 1);
    else if (e == "DY") out += CaseLike(std::string(kDays[DayOfWeek(d)]).substr(0, 3), src);
    else if (e == "DAY") { std::string w = kDays[DayOfWeek(d)]; w.resize(9, ' '); out += CaseLike(w, src); }
    else if (e == "HH24") out += Two(d.hour);
    else if (e == "HH" || e == "HH12") out += Two(d.hour % 12 == 0 ? 12 : d.hour % 12);
    else if (e == "MI") out += Two(d.minute);
    else if (e == "SS") out += Two(d.second);
    else if (e == "AM" || e == "PM") out += CaseLike(d.hour < 12 ? "AM" : "PM", src);
    else if (e == "A.M." || e == "P.M.") out += CaseLike(d.hour < 12 ? "A.M." : "P.M.", src);
  }
  return out;
}

DateTime ParseDate(const std::string& text, const std::string& model) {
  DateTime d;
  Now();
  DateTime now = Now();
  d.year = now.year;
  d.month = now.month;
  bool pm = false, twelveHour = false;
  std::size_t p = 0;
  auto skipBlanks = [&] { while (p < text.size() && text[p] == ' ') ++p; };
  auto number = [&](std::size_t maxDigits) {
    skipBlanks();
    std::size_t start = p;
    bool negative = p < text.size() && text[p] == '-' && maxDigits == 4;
    if (negative) ++p;
    while (p < text.size() && p - start < maxDigits && std::isdigit(static_cast<unsigned char>(text[p]))) ++p;
    if (p == start + (negative ? 1 : 0)) throw OraError(1858);
    return std::atoi(text.substr(start, p - start).c_str());
  };
  for (std::size_t i = 0; i < model.size();) {
    if (model[i] == '"') {
      std::size_t end = model.find('"', i + 1);
      if (end == std::string::npos) end = model.size();
      p += end - i - 1;
      i = end + 1;
      continue;
    }
    std::string e = ElementAt(model, i);
    if (e.empty()) {  // separators match any punctuation or none
      if (p < text.size() && !std::isalnum(static_cast<unsigned char>(text[p]))) ++p;
      ++i;
      continue;
    }
    i += e.size();
    if (p >= text.size()) {
      if (e == "FM") continue;
      break;  // a shorter input leaves the rest at its default
    }
    if (e == "YYYY" || e == "RRRR") d.year = number(4);
    else if (e == "YY") d.year = now.year / 100 * 100 + number(2);
    else if (e == "RR") { int y = number(2); d.year = y < 50 ? 2000 + y : 1900 + y; }
    else if (e == "MM") d.month = number(2);
    else if (e == "MON" || e == "MONTH") {
      skipBlanks();
      int found = 0;
      for (int m = 0; m < 12 && !found; ++m) {
        std::string full = kMonths[m], abbr = full.substr(0, 3);
        if (Upper(text.substr(p, full.size())) == full) { found = m + 1; p += full.size(); }
        else if (Upper(text.substr(p, 3)) == abbr) { found = m + 1; p += 3; }
      }
      if (!found) throw OraError(1843);
      d.month = found;
    } else if (e == "DD") d.day = number(2);
    else if (e == "DY" || e == "DAY") { while (p < text.size() && std::isalpha(static_cast<unsigned char>(text[p]))) ++p; }
    else if (e == "HH24") d.hour = number(2);
    else if (e == "HH" || e == "HH12") { d.hour = number(2); twelveHour = true; }
    else if (e == "MI") d.minute = number(2);
    else if (e == "SS") d.second = number(2);
    else if (e == "AM" || e == "PM" || e == "A.M." || e == "P.M.") {
      skipBlanks();
      pm = Upper(text.substr(p, 1)) == "P";
      p += e.size();
    } else if (e == "DDD" || e == "D") number(3);
  }
  skipBlanks();
  if (p < text.size()) throw OraError(1830);
  if (twelveHour) d.hour = d.hour % 12 + (pm ? 12 : 0);
  if (d.month < 1 || d.month > 12) throw OraError(1843);
  if (d.day < 1 || d.day > DaysInMonth(d.year, d.month)) throw OraError(1847);
  if (d.hour > 23 || d.minute > 59 || d.second > 59) throw OraError(1861);
  return d;
}

std::string NumberText(std::int64_t v) { return std::to_string(v); }

std::string NumberText(double v) {
  if (std::isnan(v) || std::isinf(v)) return v < 0 ? "-~" : "~";
  if (v == std::floor(v) && std::fabs(v) < 1e18) return std::to_string(static_cast<std::int64_t>(v));
  char b[64];
  for (int precision = 15; precision <= 17; ++precision) {
    std::snprintf(b, sizeof b, "%.*g", precision, v);
    if (std::strtod(b, nullptr) == v) break;
  }
  std::string s = b;
  if (s.find('e') != std::string::npos) {
    std::snprintf(b, sizeof b, "%.20f", v);
    s = b;
    while (!s.empty() && s.back() == '0') s.pop_back();
  }
  // Oracle writes no zero before the decimal point: .5, -.25
  if (s.rfind("0.", 0) == 0) s.erase(0, 1);
  else if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
  return s;
}

std::string FormatNumber(double v, const std::string& model) {
  std::string m = Upper(model);
  bool fillMode = m.rfind("FM", 0) == 0;
  if (fillMode) m.erase(0, 2);
  std::size_t dot = m.find_first_of(".D");
  std::string intPart = m.substr(0, dot);
  std::string fracPart = dot == std::string::npos ? "" : m.substr(dot + 1);
  int decimals = 0;
  for (char c : fracPart) if (c == '9' || c == '0') ++decimals;
  int intDigits = 0;
  for (char c : intPart) if (c == '9' || c == '0') ++intDigits;
  char b[128];
  std::snprintf(b, sizeof b, "%.*f", decimals, std::fabs(v));
  std::string digits = b;
  std::string whole = digits.substr(0, digits.find('.'));
  std::string frac = decimals ? digits.substr(digits.find('.') + 1) : "";
  if (static_cast<int>(whole.size()) > intDigits && !(whole == "0" && intDigits == 0)) return std::string(m.size() + 1, '#');
  std::size_t zeroAt = intPart.find('0');
  int minDigits = zeroAt == std::string::npos ? 0 : intDigits - static_cast<int>(std::count_if(intPart.begin(), intPart.begin() + zeroAt, [](char c) { return c == '9'; }));
  if (whole == "0" && minDigits == 0 && decimals > 0) whole.clear();
  if (static_cast<int>(whole.size()) < minDigits) whole = std::string(static_cast<std::size_t>(minDigits) - whole.size(), '0') + whole;
  // Group separators where the model puts them, counted from the right.
  std::string withGroups;
  int digitPos = 0;
  for (auto it = intPart.rbegin(); it != intPart.rend(); ++it) {
    if (*it == '9' || *it == '0') {
      if (digitPos < static_cast<int>(whole.size())) withGroups.insert(0, 1, whole[whole.size() - 1 - digitPos]);
      ++digitPos;
    } else if ((*it == ',' || *it == 'G') && digitPos < static_cast<int>(whole.size())) {
      withGroups.insert(0, 1, ',');
    }
  }
  std::string out = (v < 0 ? "-" : "") + withGroups;
  if (dot != std::string::npos) out += "." + frac;
  if (!fillMode) {
    std::size_t width = intPart.size() + (dot != std::string::npos ? fracPart.size() + 1 : 0) + 1;
    if (out.size() < width) out = std::string(width - out.size(), ' ') + out;
  }
  return out;
}

bool ParseNumber(const std::string& text, double& out) {
  std::string t;
  for (char c : text)
    if (c != ' ' && c != ',') t += c;
  if (t.empty()) return false;
  char* end = nullptr;
  out = std::strtod(t.c_str(), &end);
  return end && *end == '\0';
}

}  // namespace orastandin
