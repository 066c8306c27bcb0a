// Helpers of the Btrieve engine's tests: scratch directories, fixture tables written by
// the record manager's fixture writer, and the client library loaded for a test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "btrieve/engines/BtrieveClient.h"
#include "standins/btrieve/FixtureWriter.h"

namespace btrtest {

// A fresh directory per test (name + process id), with a trailing backslash.
inline std::string ScratchDirectory(const std::string& name) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    const std::string dir = std::string(base) + "btreng-" + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\";
}

// Writes the tables of a description and the dictionary that lists them.
inline void WriteFixture(const std::string& directory, const std::string& description) {
    const auto tables = wbtrv::ParseFixtureDescription(description);
    wbtrv::FixtureWriter writer(directory);
    for (const auto& table : tables) writer.WriteTable(table);
    writer.WriteDictionary(tables);
}

// The client loaded and initialised for one test, unloaded after it.
class ClientScope {
public:
    ClientScope() { status = btrieve::InitBtrieveClient("", nullptr); }
    ~ClientScope() { btrieve::DoneBtrieveClient(); }
    int16_t status;
};

}  // namespace btrtest
