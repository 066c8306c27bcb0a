// The definition of a data file: record length, page size, flags, keys and collating
// sequences. Parsed from the Create and Create Index buffers, written back by Stat, and kept
// in the data file itself in the same byte layout.
#pragma once

#include <cstdint>
#include <vector>

#include "standins/btrieve/KeyCollation.h"

namespace wbtrv {

struct FileDefinition {
    uint16_t recordLength = 0;
    uint16_t pageSize = 4096;
    uint16_t fileFlags = 0;
    std::vector<KeyDefinition> keys;  // ascending key numbers; numbers may have gaps
    std::vector<CollatingSequence> sequences;

    bool VariableLength() const { return fileFlags & btrieve::FileVariableLength; }
    const KeyDefinition* FindKey(int number) const;
    // The lowest key number not in use.
    uint8_t FreeKeyNumber() const;
    // Length of the layout Serialize writes.
    uint32_t SerializedSize() const;
    // The specification layout; recordCount and the per-key distinct counts are Stat's.
    Bytes Serialize(uint32_t recordCount, const std::vector<uint32_t>& distinctCounts) const;
};

// Parses a Create buffer; keys are numbered 0, 1, ... unless keepNumbers (our own file
// header, where byte 14 of each segment holds its key number). Returns a status.
int16_t ParseFileDefinition(const uint8_t* data, uint32_t length, bool keepNumbers,
                            FileDefinition& out);

// Parses the segments of one key (Create Index) against an existing definition.
int16_t ParseKeyDefinition(const uint8_t* data, uint32_t length, const FileDefinition& file,
                           KeyDefinition& out);

}  // namespace wbtrv
