#include "standins/btrieve/RecordTable.h"

#include <algorithm>
#include <cstring>

namespace wbtrv {

using namespace btrieve;

namespace {

constexpr size_t kMaxVariableRecord = 16 * 1024 * 1024;

bool SameSegments(const KeyDefinition& a, const KeyDefinition& b) {
    if (a.number != b.number || a.segments.size() != b.segments.size()) return false;
    for (size_t i = 0; i < a.segments.size(); ++i) {
        const auto &x = a.segments[i], &y = b.segments[i];
        if (x.offset != y.offset || x.length != y.length || x.type != y.type ||
            x.nullValue != y.nullValue || x.acsNumber != y.acsNumber ||
            (x.flags & ~KeySegmented) != (y.flags & ~KeySegmented))
            return false;
    }
    return true;
}

int64_t ReadInteger(const uint8_t* p, uint32_t length) {
    uint64_t v = 0;
    for (uint32_t i = length; i-- > 0;) v = (v << 8) | p[i];
    if (length < 8 && (v >> (length * 8 - 1)) & 1) v |= ~uint64_t(0) << (length * 8);
    return static_cast<int64_t>(v);
}

}  // namespace

int16_t RecordTable::Define(const FileDefinition& definition) {
    distinctCounts_.reset();
    sequences_ = definition.sequences;
    std::vector<std::unique_ptr<KeySlot>> slots;
    std::vector<int> oldSlot;
    for (const auto& key : definition.keys) {
        int reused = -1;
        for (size_t o = 0; o < slots_.size() && reused < 0; ++o)
            if (slots_[o] && SameSegments(slots_[o]->key, key)) reused = static_cast<int>(o);
        oldSlot.push_back(reused);
        if (reused >= 0) {
            slots.push_back(std::move(slots_[reused]));
            continue;
        }
        // A new key: index the existing records in physical order, refusing duplicates.
        auto slot = std::make_unique<KeySlot>(key, sequences_);
        for (const auto& [position, record] : records_) {
            IndexEntry entry{slot->key.Extract(record.data), 0, position};
            if (slot->key.IsNullIn(entry.key)) continue;
            if (!slot->key.AllowsDuplicates()) {
                auto it = slot->index.lower_bound(entry);
                if (it != slot->index.end() && slot->collation.Compare(it->key, entry.key) == 0) {
                    // Put the slots taken over back before refusing.
                    for (size_t s = 0; s < slots.size(); ++s)
                        if (oldSlot[s] >= 0) slots_[oldSlot[s]] = std::move(slots[s]);
                    return StatusDuplicateKey;
                }
            }
            entry.sequence = nextSequence_++;
            slot->index.insert(std::move(entry));
        }
        slots.push_back(std::move(slot));
    }
    for (auto& [position, record] : records_) {
        std::vector<uint64_t> sequences(slots.size(), 0);
        for (size_t s = 0; s < slots.size(); ++s)
            if (oldSlot[s] >= 0 && size_t(oldSlot[s]) < record.sequences.size())
                sequences[s] = record.sequences[oldSlot[s]];
        record.sequences = std::move(sequences);
    }
    for (size_t s = 0; s < slots.size(); ++s) {
        if (oldSlot[s] >= 0) continue;
        for (const auto& entry : slots[s]->index) records_[entry.position].sequences[s] = entry.sequence;
    }
    slots_ = std::move(slots);
    header_.recordLength = definition.recordLength;
    header_.pageSize = definition.pageSize;
    header_.fileFlags = definition.fileFlags;
    return StatusOk;
}

FileDefinition RecordTable::Definition() const {
    FileDefinition def = header_;
    def.keys.clear();
    for (const auto& slot : slots_) def.keys.push_back(slot->key);
    def.sequences = sequences_;
    return def;
}

const StoredRecord* RecordTable::Find(uint32_t position) const {
    auto it = records_.find(position);
    return it == records_.end() ? nullptr : &it->second;
}

int RecordTable::SlotOf(int keyNumber) const {
    for (size_t s = 0; s < slots_.size(); ++s)
        if (slots_[s]->key.number == keyNumber) return static_cast<int>(s);
    return -1;
}

IndexEntry RecordTable::EntryOf(int slot, uint32_t position) const {
    const StoredRecord* record = Find(position);
    if (!record) return {};
    return IndexEntry{slots_[slot]->key.Extract(record->data), record->sequences[slot], position};
}

int16_t RecordTable::CheckLength(size_t length) const {
    size_t minimum = 1;
    for (const auto& slot : slots_) minimum = std::max<size_t>(minimum, slot->key.EndInRecord());
    size_t maximum = header_.fileFlags & FileVariableLength ? kMaxVariableRecord : header_.recordLength;
    return length < minimum || length > maximum ? StatusDataBufferTooShort : StatusOk;
}

int16_t RecordTable::CheckUnique(const Bytes& record, uint32_t ignorePosition) const {
    for (const auto& slot : slots_) {
        if (slot->key.AllowsDuplicates()) continue;
        IndexEntry probe{slot->key.Extract(record), 0, 0};
        if (slot->key.IsNullIn(probe.key)) continue;
        auto it = slot->index.lower_bound(probe);
        for (; it != slot->index.end() && slot->collation.Compare(it->key, probe.key) == 0; ++it)
            if (it->position != ignorePosition) return StatusDuplicateKey;
    }
    return StatusOk;
}

int16_t RecordTable::CheckModifiable(const Bytes& before, const Bytes& after) const {
    for (const auto& slot : slots_)
        if (!slot->key.IsModifiable() && slot->key.Extract(before) != slot->key.Extract(after))
            return StatusKeyNotModifiable;
    return StatusOk;
}

void RecordTable::FillAutoIncrement(Bytes& record) const {
    for (const auto& slot : slots_) {
        const KeySegment& s = slot->key.segments.front();
        if (s.type != TypeAutoIncrement || s.offset + s.length > record.size()) continue;
        if (ReadInteger(record.data() + s.offset, s.length) != 0) continue;
        int64_t highest = 0;
        for (const auto* entry : {slot->index.empty() ? nullptr : &*slot->index.begin(),
                                  slot->index.empty() ? nullptr : &*slot->index.rbegin()})
            if (entry)
                highest = std::max(highest, ReadInteger(reinterpret_cast<const uint8_t*>(entry->key.data()), s.length));
        uint64_t next = static_cast<uint64_t>(highest + 1);
        for (uint32_t i = 0; i < s.length; ++i) record[s.offset + i] = static_cast<uint8_t>(next >> (8 * i));
    }
}

void RecordTable::IndexRecord(size_t slot, uint32_t position, StoredRecord& record, uint64_t sequence) {
    distinctCounts_.reset();
    auto& keySlot = *slots_[slot];
    IndexEntry entry{keySlot.key.Extract(record.data), 0, position};
    if (keySlot.key.IsNullIn(entry.key)) {
        record.sequences[slot] = 0;
        return;
    }
    entry.sequence = sequence ? sequence : nextSequence_++;
    nextSequence_ = std::max(nextSequence_, entry.sequence + 1);
    record.sequences[slot] = entry.sequence;
    keySlot.index.insert(std::move(entry));
}

void RecordTable::UnindexRecord(size_t slot, uint32_t position, const StoredRecord& record) {
    distinctCounts_.reset();
    if (slot >= record.sequences.size() || record.sequences[slot] == 0) return;
    auto& keySlot = *slots_[slot];
    keySlot.index.erase(IndexEntry{keySlot.key.Extract(record.data), record.sequences[slot], position});
}

void RecordTable::Put(uint32_t position, Bytes data) {
    lastPosition_ = std::max(lastPosition_, position);
    auto it = records_.find(position);
    if (it == records_.end()) {
        StoredRecord record{std::move(data), std::vector<uint64_t>(slots_.size(), 0)};
        for (size_t s = 0; s < slots_.size(); ++s) IndexRecord(s, position, record, 0);
        records_.emplace(position, std::move(record));
        return;
    }
    StoredRecord& record = it->second;
    std::vector<uint64_t> keep(slots_.size(), 0);
    for (size_t s = 0; s < slots_.size(); ++s) {
        // A key whose value stays equal keeps its place among its duplicates.
        const auto& slot = *slots_[s];
        if (record.sequences[s] && slot.collation.Compare(slot.key.Extract(record.data), slot.key.Extract(data)) == 0)
            keep[s] = record.sequences[s];
        UnindexRecord(s, position, record);
    }
    record.data = std::move(data);
    for (size_t s = 0; s < slots_.size(); ++s) IndexRecord(s, position, record, keep[s]);
}

void RecordTable::Restore(uint32_t position, StoredRecord restored) {
    Remove(position);
    lastPosition_ = std::max(lastPosition_, position);
    restored.sequences.resize(slots_.size(), 0);
    auto& record = records_.emplace(position, StoredRecord{std::move(restored.data), {}}).first->second;
    record.sequences.assign(slots_.size(), 0);
    for (size_t s = 0; s < slots_.size(); ++s)
        if (restored.sequences[s]) IndexRecord(s, position, record, restored.sequences[s]);
        else IndexRecord(s, position, record, 0);
}

void RecordTable::Remove(uint32_t position) {
    auto it = records_.find(position);
    if (it == records_.end()) return;
    for (size_t s = 0; s < slots_.size(); ++s) UnindexRecord(s, position, it->second);
    records_.erase(it);
}

const std::vector<uint32_t>& RecordTable::DistinctCounts() const {
    if (distinctCounts_) return *distinctCounts_;
    std::vector<uint32_t> counts;
    for (const auto& slot : slots_) {
        uint32_t count = 0;
        const std::string* previous = nullptr;
        for (const auto& entry : slot->index) {
            if (!previous || slot->collation.Compare(*previous, entry.key) != 0) ++count;
            previous = &entry.key;
        }
        counts.push_back(count);
    }
    distinctCounts_ = std::move(counts);
    return *distinctCounts_;
}

}  // namespace wbtrv
