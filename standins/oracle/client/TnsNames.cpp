#include "standins/oracle/client/TnsNames.h"

#include <windows.h>

#include <cctype>
#include <climits>
#include <fstream>
#include <sstream>

#include "standins/oracle/protocol/OraError.h"

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

std::string Environment(const char* name) {
  char buffer[2048];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

std::string RegistryText(const char* key, const char* value) {
  HKEY h;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return {};
  char buffer[2048];
  DWORD size = sizeof buffer, type = 0;
  std::string result;
  if (RegQueryValueExA(h, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS &&
      type == REG_SZ && size > 0)
    result.assign(buffer, strnlen(buffer, size));
  RegCloseKey(h);
  return result;
}

// The home of the running client library: the folder above its BIN folder.
std::string OwnHome() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnHome), &self);
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  std::string folder(path, n);
  folder = folder.substr(0, folder.find_last_of("\\/"));
  std::size_t slash = folder.find_last_of("\\/");
  if (slash == std::string::npos || Upper(folder.substr(slash + 1)) != "BIN") return {};
  return folder.substr(0, slash);
}

std::string DescriptorValue(const std::string& descriptor, const char* key) {
  std::string upper = Upper(descriptor);
  std::string k = key;
  for (std::size_t at = upper.find(k); at != std::string::npos; at = upper.find(k, at + 1)) {
    if (at > 0 && (std::isalnum(static_cast<unsigned char>(upper[at - 1])) || upper[at - 1] == '_')) continue;
    std::size_t i = at + k.size();
    while (i < upper.size() && std::isspace(static_cast<unsigned char>(upper[i]))) ++i;
    if (i >= upper.size() || upper[i] != '=') continue;
    std::size_t end = descriptor.find(')', i);
    return Trim(descriptor.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1));
  }
  return {};
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

std::vector<std::string> TnsSearchFolders() {
  std::vector<std::string> folders;
  auto add = [&](const std::string& f) {
    if (!f.empty()) folders.push_back(f);
  };
  add(Environment("TNS_ADMIN"));
  add(RegistryText("SOFTWARE\\ORACLE", "TNS_ADMIN"));
  std::string home = Environment("ORACLE_HOME");
  if (!home.empty()) add(home + "\\network\\admin");
  home = OwnHome();
  if (!home.empty()) add(home + "\\network\\admin");
  home = RegistryText("SOFTWARE\\ORACLE", "ORACLE_HOME");
  if (!home.empty()) add(home + "\\network\\admin");
  return folders;
}

bool ParseDescriptor(const std::string& descriptor, ServerAddress& out) {
  ServerAddress a;
  a.host = DescriptorValue(descriptor, "HOST");
  std::string port = DescriptorValue(descriptor, "PORT");
  a.service = DescriptorValue(descriptor, "SERVICE_NAME");
  if (a.service.empty()) a.service = DescriptorValue(descriptor, "SID");
  std::string timeout = DescriptorValue(descriptor, "CONNECT_TIMEOUT");
  if (a.host.empty() || a.service.empty()) return false;
  a.port = port.empty() ? 1521 : std::atoi(port.c_str());
  if (!timeout.empty()) a.connectTimeoutMs = std::atoi(timeout.c_str()) * 1000;
  out = a;
  return true;
}

std::string FindAlias(const std::string& text, const std::string& alias) {
  // Entries are "NAME[, NAME2] = (...)" at parenthesis depth 0; '#' starts a comment.
  std::string clean;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) clean += line.substr(0, line.find('#')) + "\n";
  std::string wanted = Upper(Trim(alias));
  std::size_t i = 0;
  while (i < clean.size()) {
    std::size_t eq = clean.find('=', i);
    if (eq == std::string::npos) break;
    std::string names = clean.substr(i, eq - i);
    std::size_t open = clean.find('(', eq);
    if (open == std::string::npos) break;
    int depth = 0;
    std::size_t close = open;
    for (; close < clean.size(); ++close) {
      if (clean[close] == '(') ++depth;
      if (clean[close] == ')' && --depth == 0) break;
    }
    std::istringstream list(names);
    for (std::string name; std::getline(list, name, ',');) {
      std::string n = Upper(Trim(name));
      if (n == wanted || n.substr(0, n.find('.')) == wanted) return clean.substr(open, close - open + 1);
    }
    i = close + 1;
  }
  return {};
}

namespace {
ServerAddress ResolveAddress(const std::string& name) {
  std::string n = Trim(name);
  if (n.empty()) n = Trim(Environment("LOCAL"));  // the default database of a client without a name
  if (n.empty()) n = Trim(Environment("TWO_TASK"));
  if (n.empty()) throw OraError(12560);
  if (n.rfind("//", 0) == 0) n.erase(0, 2);
  ServerAddress address;
  if (!n.empty() && n[0] == '(') {
    if (ParseDescriptor(n, address)) return address;
    throw OraError(12154);
  }
  if (n.find('/') != std::string::npos || n.find(':') != std::string::npos) {  // host[:port][/service]
    std::string hostPort = n.substr(0, n.find('/'));
    address.service = n.find('/') == std::string::npos ? std::string() : n.substr(n.find('/') + 1);
    address.host = hostPort.substr(0, hostPort.find(':'));
    if (hostPort.find(':') != std::string::npos) address.port = std::atoi(hostPort.c_str() + hostPort.find(':') + 1);
    if (address.host.empty()) throw OraError(12154);
    return address;
  }
  for (const auto& folder : TnsSearchFolders()) {
    std::ifstream in(folder + "\\tnsnames.ora");
    if (!in) continue;
    std::stringstream text;
    text << in.rdbuf();
    std::string descriptor = FindAlias(text.str(), n);
    if (!descriptor.empty() && ParseDescriptor(descriptor, address)) return address;
  }
  throw OraError(12154);
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

ServerAddress ResolveServerName(const std::string& name) {
  ServerAddress address = ResolveAddress(name);
  address.timeouts = ReadNetTimeouts();
  return address;
}

}  // namespace orastandin
