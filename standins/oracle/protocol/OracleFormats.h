// Oracle's text forms of dates and numbers: format models for TO_CHAR/TO_DATE/TO_NUMBER
// and the default text of a NUMBER. Used by the server's SQL functions.
#pragma once
#include <cstdint>
#include <string>

namespace orastandin {

struct DateTime {
  int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The stand-in stores dates as "YYYY-MM-DD HH:MM:SS"; a date alone is accepted too.
bool ParseCanonicalDate(const std::string& text, DateTime& out);
std::string CanonicalDate(const DateTime& d);
DateTime Now();

// Oracle format models (YYYY, RR, MM, MON, MONTH, DD, DY, DAY, HH24, HH12, MI, SS, AM, "text"...).
std::string FormatDate(const DateTime& d, const std::string& model);
DateTime ParseDate(const std::string& text, const std::string& model);  // throws OraError

std::string NumberText(double v);
std::string NumberText(std::int64_t v);
std::string FormatNumber(double v, const std::string& model);
bool ParseNumber(const std::string& text, double& out);

int DaysInMonth(int year, int month);

// Seconds since 0001-01-01 00:00:00, for date arithmetic.
std::int64_t SecondsOf(const DateTime& d);
DateTime DateOfSeconds(std::int64_t seconds);

}  // namespace orastandin
