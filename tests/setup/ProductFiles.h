// The product's data files for the export tests: the fixture tool's table descriptions,
// written by the record manager's fixture writer, with the records of chosen tables
// replaced by a test's own.
#pragma once

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

#include "SetrixLibrary.h"
#include "standins/btrieve/FixtureWriter.h"

namespace productfiles {

inline std::string Description() {
    std::ifstream in(ProgramDirectory() + "product.tables", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The description with the "row" lines of each named table replaced by the given lines
// (UTF-8, one "row ..." per line).
inline std::string WithRows(std::string description, const std::map<std::string, std::string>& rowsByTable) {
    for (const auto& [table, rows] : rowsByTable) {
        const size_t header = description.find("table " + table + " ");
        if (header == std::string::npos) throw std::runtime_error("no table " + table);
        size_t line = description.find('\n', header) + 1;
        while (description.compare(line, 6, "field ") == 0 || description.compare(line, 4, "key ") == 0)
            line = description.find('\n', line) + 1;
        size_t end = line;
        while (description.compare(end, 4, "row ") == 0) end = description.find('\n', end) + 1;
        description.replace(line, end - line, rows);
    }
    return description;
}

inline void Write(const std::string& directory, const std::string& description = Description()) {
    wbtrv::FixtureWriter writer(directory);
    for (const auto& table : wbtrv::ParseFixtureDescription(description)) writer.WriteTable(table);
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool DictionaryRemoved(const std::string& directory) {
    for (const char* name : {"FIELD.DDF", "FILE.DDF", "INDEX.DDF"})
        if (Exists(directory + name)) return false;
    return true;
}

}  // namespace productfiles
