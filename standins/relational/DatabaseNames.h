// The databases the engine offers by name. They are configured in the environment of the
// process: WSSQL_DATABASES (local) and WSSQL_REMOTE_DATABASES, each a list of
// "NAME=directory" entries separated by ";".
#pragma once

#include <string>
#include <vector>

namespace wssql {

struct NamedDatabase {
    std::string name;
    std::string directory;
};

std::vector<NamedDatabase> ListDatabases(bool remote);

}  // namespace wssql
