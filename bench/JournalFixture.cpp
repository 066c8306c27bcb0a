#include "bench/JournalFixture.h"

#include <cstdio>
#include <cstring>

#include "bench/BenchSupport.h"
#include "standins/btrieve/FixtureDescription.h"
#include "standins/btrieve/FixtureWriter.h"

namespace bench {

JournalRecord JournalRecord::From(const uint8_t* record) {
    JournalRecord r;
    std::memcpy(&r.day, record, 8);
    std::memcpy(&r.card, record + 8, 16);
    std::memcpy(r.text, record + 24, sizeof r.text);
    std::memcpy(&r.personnel, record + 124, 8);
    return r;
}

std::string JournalRecord::TextLine() const {
    size_t used = sizeof text;
    while (used > 0 && (text[used - 1] == ' ' || text[used - 1] == '\0')) --used;
    return std::string(text, used);
}

void WriteJournal(const std::string& folder, uint32_t records, bool withDictionary) {
    std::string description;
    {
        FILE* file = std::fopen((ProgramFolder() + "product.tables").c_str(), "rb");
        if (!file) Die("no product.tables beside the program");
        char chunk[4096];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) description.append(chunk, got);
        std::fclose(file);
    }
    for (wbtrv::FixtureTable& table : wbtrv::ParseFixtureDescription(description)) {
        if (table.name != "JOUR.SH") continue;
        table.rows.clear();
        for (uint32_t i = 0; i < records; ++i) {
            const std::string values[] = {std::to_string(730486 + i / 500), std::to_string((i * 37) % 86400),
                                          std::to_string(4276000000000000.0 + i), std::to_string(500 + i % 97),
                                          "card " + std::to_string(i) + " taken at the gate", std::to_string(i % 13)};
            wbtrv::Bytes row;
            for (size_t f = 0; f < table.fields.size(); ++f) {
                const wbtrv::Bytes value = wbtrv::EncodeFieldValue(table.fields[f], values[f]);
                row.insert(row.end(), value.begin(), value.end());
            }
            table.rows.push_back(std::move(row));
        }
        wbtrv::FixtureWriter writer(folder);
        writer.WriteTable(table);
        if (withDictionary) {
            table.rows.clear();
            writer.WriteDictionary({table});
        }
        return;
    }
    Die("product.tables has no JOUR.SH");
}

}  // namespace bench
