#include "standins/oracle/client/NetTimeouts.h"

#include <cctype>
#include <climits>
#include <fstream>
#include <sstream>

#include "standins/oracle/client/TnsNames.h"

namespace orastandin {

namespace {

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// "30", "30 sec", "500ms", "2 min" in milliseconds; 0 for anything else.
int Milliseconds(const std::string& value) {
  std::size_t digits = 0;
  while (digits < value.size() && std::isdigit(static_cast<unsigned char>(value[digits]))) ++digits;
  if (digits == 0 || digits > 9) return 0;
  const long long number = std::stoll(value.substr(0, digits));
  const std::string unit = Upper(Trim(value.substr(digits)));
  long long ms = 0;
  if (unit.empty() || unit == "SEC") ms = number * 1000;
  else if (unit == "MS") ms = number;
  else if (unit == "MIN") ms = number * 60 * 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

NetTimeouts ParseNetTimeouts(const std::string& text) {
  NetTimeouts timeouts;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    line = line.substr(0, line.find('#'));
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = Upper(Trim(line.substr(0, eq)));
    const std::string value = Trim(line.substr(eq + 1));
    if (name == "SQLNET.RECV_TIMEOUT") timeouts.receiveMs = Milliseconds(value);
    else if (name == "SQLNET.SEND_TIMEOUT") timeouts.sendMs = Milliseconds(value);
  }
  return timeouts;
}

NetTimeouts ReadNetTimeouts() {
  for (const auto& folder : TnsSearchFolders()) {
    std::ifstream in(folder + "\\sqlnet.ora");
    if (!in) continue;
    std::stringstream text;
    text << in.rdbuf();
    return ParseNetTimeouts(text.str());
  }
  return {};
}

}  // namespace orastandin
