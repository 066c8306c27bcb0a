// Writes fixture tables as data files of our record manager, and the dictionary files
// FILE.DDF, FIELD.DDF and INDEX.DDF that describe them and themselves. Used by the fixture
// tool and by tests that link it directly.
#pragma once

#include <string>
#include <vector>

#include "standins/btrieve/FixtureDescription.h"

namespace wbtrv {

class FixtureWriter {
public:
    // Files are written into this directory (relative locations are taken from there).
    explicit FixtureWriter(std::string directory);

    void WriteTable(const FixtureTable& table);
    // The three dictionary tables (ids 1-3) followed by the given tables.
    void WriteDictionary(const std::vector<FixtureTable>& tables);
    // The dictionary's own tables as fixture tables, filled for the given tables.
    static std::vector<FixtureTable> DictionaryTables(const std::vector<FixtureTable>& tables);

private:
    std::string PathOf(const std::string& location) const;
    std::string directory_;
};

}  // namespace wbtrv
