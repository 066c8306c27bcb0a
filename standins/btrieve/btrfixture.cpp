// The fixture tool: writes the data files of a table description and, unless told not
// to, the dictionary files describing them.
//   btrfixture <description file> <output directory> [--no-dictionary]
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "standins/btrieve/FixtureWriter.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && std::strcmp(argv[3], "--no-dictionary") != 0)) {
        std::fprintf(stderr, "usage: btrfixture <description file> <output directory> [--no-dictionary]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "btrfixture: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    try {
        auto tables = wbtrv::ParseFixtureDescription(text.str());
        wbtrv::FixtureWriter writer(argv[2]);
        for (const auto& table : tables) writer.WriteTable(table);
        if (argc == 3) writer.WriteDictionary(tables);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "btrfixture: %s\n", e.what());
        return 1;
    }
    return 0;
}
