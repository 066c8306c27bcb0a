#include "standins/relational/DatabaseNames.h"

#include <windows.h>

namespace wssql {

std::vector<NamedDatabase> ListDatabases(bool remote) {
    const char* variable = remote ? "WSSQL_REMOTE_DATABASES" : "WSSQL_DATABASES";
    std::vector<NamedDatabase> list;
    const DWORD size = GetEnvironmentVariableA(variable, nullptr, 0);
    if (size == 0) return list;
    std::string text(size, '\0');
    text.resize(GetEnvironmentVariableA(variable, text.data(), size));
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string entry = text.substr(start, end - start);
        const size_t equals = entry.find('=');
        if (equals != std::string::npos && equals > 0)
            list.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
        start = end + 1;
    }
    return list;
}

}  // namespace wssql
