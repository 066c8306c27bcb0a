// The records of one data file held in memory, with one ordered index per key. Records are
// addressed by physical positions that stay fixed and are never reused; duplicates of a key
// keep the order in which their key values were stored.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "standins/btrieve/FileDefinition.h"

namespace wbtrv {

struct IndexEntry {
    std::string key;
    uint64_t sequence = 0;  // insertion order among equal key values; 0 = not indexed
    uint32_t position = 0;
};

class IndexOrder {
public:
    explicit IndexOrder(const KeyCollation* collation) : collation_(collation) {}
    bool operator()(const IndexEntry& a, const IndexEntry& b) const {
        int c = collation_->Compare(a.key, b.key);
        return c ? c < 0 : a.sequence < b.sequence;
    }

private:
    const KeyCollation* collation_;
};

using Index = std::set<IndexEntry, IndexOrder>;

struct StoredRecord {
    Bytes data;
    std::vector<uint64_t> sequences;  // per key slot
};

class RecordTable {
public:
    using Records = std::map<uint32_t, StoredRecord>;

    RecordTable() = default;
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    // Sets the definition; keys that stay the same keep their order, new ones are built.
    // Returns a duplicate status when a new unique key meets duplicates (nothing changes).
    int16_t Define(const FileDefinition& definition);
    FileDefinition Definition() const;
    uint16_t RecordLength() const { return header_.recordLength; }

    const Records& AllRecords() const { return records_; }
    const StoredRecord* Find(uint32_t position) const;
    uint32_t NextPosition() const { return lastPosition_ + 1; }

    // Key slots: one per key, in ascending key number.
    int SlotOf(int keyNumber) const;
    size_t SlotCount() const { return slots_.size(); }
    const KeyDefinition& KeyOf(int slot) const { return slots_[slot]->key; }
    const Index& IndexOf(int slot) const { return slots_[slot]->index; }
    const KeyCollation& CollationOf(int slot) const { return slots_[slot]->collation; }
    // The entry of a record in a key slot; sequence 0 when the record's key is null.
    IndexEntry EntryOf(int slot, uint32_t position) const;

    // Checks before a change.
    int16_t CheckLength(size_t length) const;
    int16_t CheckUnique(const Bytes& record, uint32_t ignorePosition) const;
    int16_t CheckModifiable(const Bytes& before, const Bytes& after) const;
    // Gives autoincrement key fields that hold 0 the next value.
    void FillAutoIncrement(Bytes& record) const;

    // Changes without checks (also used to replay the file and to roll back).
    void Put(uint32_t position, Bytes data);
    void Restore(uint32_t position, StoredRecord record);
    void Remove(uint32_t position);

    // Distinct key values per key slot; kept until the next change, as a file's header keeps them.
    const std::vector<uint32_t>& DistinctCounts() const;

private:
    struct KeySlot {
        explicit KeySlot(KeyDefinition k, const std::vector<CollatingSequence>& sequences)
            : key(std::move(k)), collation(key, sequences), index(IndexOrder(&collation)) {}
        KeyDefinition key;
        KeyCollation collation;
        Index index;
    };

    void IndexRecord(size_t slot, uint32_t position, StoredRecord& record, uint64_t sequence);
    void UnindexRecord(size_t slot, uint32_t position, const StoredRecord& record);

    FileDefinition header_;  // keys and sequences live in slots_ and sequences_
    std::vector<CollatingSequence> sequences_;
    std::vector<std::unique_ptr<KeySlot>> slots_;
    Records records_;
    uint32_t lastPosition_ = 0;
    uint64_t nextSequence_ = 1;
    // Counting walks every index: a status call must not cost a walk while nothing changed.
    mutable std::optional<std::vector<uint32_t>> distinctCounts_;
};

}  // namespace wbtrv
