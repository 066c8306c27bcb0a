// JOUR.SH, the card journal, for the benchmarks that read it: a file of N records with the
// product's layout (and, for a dictionary-driven reader, the dictionary files beside it),
// and the record's fields as a raw reader takes them out of the bytes.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// Day number, second of the day, card number, client, text line, personnel id. The file's
// doubles are unaligned: a record is copied out field by field.
struct JournalRecord {
    int32_t day;
    int32_t second;
    double card;
    double client;
    char text[100];
    double personnel;

    static constexpr uint32_t kLength = 132;
    static JournalRecord From(const uint8_t* record);
    // The text line without its trailing blanks and zero bytes.
    std::string TextLine() const;
};

// JOUR.SH with that many records written into the folder (which ends with a backslash);
// with FILE.DDF, FIELD.DDF and INDEX.DDF naming it when withDictionary is set.
void WriteJournal(const std::string& folder, uint32_t records, bool withDictionary);

}  // namespace bench
