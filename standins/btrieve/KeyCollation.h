// Key definitions of a data file and the order of key values by each segment's data type.
// Used by the record store's indexes and by the file definition parser.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "btrieve/engines/BtrieveApi.h"

namespace wbtrv {

using Bytes = std::vector<uint8_t>;

struct KeySegment {
    uint16_t offset = 0;  // 0-based
    uint16_t length = 0;
    uint16_t flags = 0;   // btrieve::BtrKeyFlag
    uint8_t type = btrieve::TypeString;
    uint8_t nullValue = 0;
    uint8_t acsNumber = 0;
};

struct KeyDefinition {
    uint8_t number = 0;
    std::vector<KeySegment> segments;

    uint16_t Flags() const { return segments.empty() ? 0 : segments.front().flags; }
    bool AllowsDuplicates() const { return Flags() & btrieve::KeyDuplicates; }
    bool IsModifiable() const { return Flags() & btrieve::KeyModifiable; }
    uint32_t Length() const;
    // The key value of a record: the segments' bytes one after the other.
    std::string Extract(const Bytes& record) const;
    // A record whose key holds the null value is left out of the index.
    bool IsNullIn(const std::string& keyValue) const;
    // The byte just past the last segment; a record must be at least this long.
    uint32_t EndInRecord() const;
};

// An alternate collating sequence: each byte is compared through its map.
struct CollatingSequence {
    std::string name;
    uint8_t map[256] = {};
};

// Orders two key values of one key definition: <0, 0, >0.
class KeyCollation {
public:
    KeyCollation(const KeyDefinition& key, const std::vector<CollatingSequence>& sequences)
        : key_(&key), sequences_(&sequences) {}
    int Compare(const std::string& a, const std::string& b) const;

private:
    int CompareSegment(const KeySegment& segment, const uint8_t* a, const uint8_t* b) const;

    const KeyDefinition* key_;
    const std::vector<CollatingSequence>* sequences_;
};

// Whether a segment type accepts this length (integers of 1-8 bytes, floats of 4 or 8...).
bool IsValidSegmentType(uint8_t type, uint16_t length);

}  // namespace wbtrv
