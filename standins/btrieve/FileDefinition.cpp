#include "standins/btrieve/FileDefinition.h"

#include <algorithm>
#include <cstring>

namespace wbtrv {

using namespace btrieve;

namespace {

constexpr uint32_t kMaxKeys = 119;
constexpr uint16_t kMinPageSize = 512;

// Flags every segment of one key must share.
constexpr uint16_t kKeyWideFlags = KeyDuplicates | KeyModifiable | KeyNullAllSegments |
                                   KeyNullAnySegment;

// Reads the segments of one key starting at *at; advances *at. Returns a status.
int16_t ReadKeySegments(const uint8_t* data, uint32_t length, uint32_t& at, uint16_t recordLength,
                        KeyDefinition& key) {
    for (;;) {
        if (at + sizeof(KeySegmentSpec) > length) return StatusDataBufferTooShort;
        KeySegmentSpec spec;
        std::memcpy(&spec, data + at, sizeof spec);
        at += sizeof spec;
        if (spec.position == 0 || spec.length == 0 ||
            uint32_t(spec.position) - 1 + spec.length > recordLength)
            return StatusKeyPositionError;
        if (!IsValidSegmentType(spec.dataType, spec.length)) return StatusKeyTypeError;
        KeySegment segment;
        segment.offset = spec.position - 1;
        segment.length = spec.length;
        segment.flags = spec.flags;
        segment.type = spec.dataType;
        segment.nullValue = spec.nullValue;
        segment.acsNumber = spec.acsNumber;
        if (!key.segments.empty() &&
            (key.segments.front().flags & kKeyWideFlags) != (segment.flags & kKeyWideFlags))
            return StatusKeyFlagsError;
        key.number = spec.keyNumber & 0x7F;
        key.segments.push_back(segment);
        if (key.Length() > kMaxKeyLength) return StatusKeyLengthError;
        if (!(spec.flags & KeySegmented)) return StatusOk;
    }
}

bool IsAutoIncrementKey(const KeyDefinition& key) {
    return std::any_of(key.segments.begin(), key.segments.end(),
                       [](const KeySegment& s) { return s.type == TypeAutoIncrement; });
}

int16_t CheckKey(const KeyDefinition& key, size_t sequenceCount) {
    if (IsAutoIncrementKey(key) && (key.segments.size() != 1 || key.AllowsDuplicates()))
        return StatusKeyFlagsError;
    for (const auto& s : key.segments)
        if ((s.flags & KeyAltCollation) && s.acsNumber >= sequenceCount) return StatusAcsError;
    return StatusOk;
}

bool ReadSequence(const uint8_t* data, uint32_t length, uint32_t at, CollatingSequence& out) {
    if (at + kAcsSize > length) return false;
    AltCollatingSequence raw;
    std::memcpy(&raw, data + at, sizeof raw);
    if (raw.signature != kAcsSignature) return false;
    out.name.assign(raw.name, strnlen(raw.name, sizeof raw.name));
    std::memcpy(out.map, raw.map, sizeof out.map);
    return true;
}

size_t SequencesNeeded(const std::vector<KeyDefinition>& keys) {
    size_t needed = 0;
    for (const auto& key : keys)
        for (const auto& s : key.segments)
            if (s.flags & KeyAltCollation) needed = std::max<size_t>(needed, s.acsNumber + 1u);
    return needed;
}

}  // namespace

const KeyDefinition* FileDefinition::FindKey(int number) const {
    for (const auto& key : keys)
        if (key.number == number) return &key;
    return nullptr;
}

uint8_t FileDefinition::FreeKeyNumber() const {
    uint8_t n = 0;
    while (FindKey(n)) ++n;
    return n;
}

uint32_t FileDefinition::SerializedSize() const {
    uint32_t size = sizeof(FileSpecHeader);
    for (const auto& key : keys) size += uint32_t(key.segments.size() * sizeof(KeySegmentSpec));
    return size + uint32_t(sequences.size() * kAcsSize);
}

Bytes FileDefinition::Serialize(uint32_t recordCount,
                                const std::vector<uint32_t>& distinctCounts) const {
    Bytes out(SerializedSize(), 0);
    FileSpecHeader header{};
    header.recordLength = recordLength;
    header.pageSize = pageSize;
    header.keyCount = static_cast<uint8_t>(keys.size());
    header.recordCount = recordCount;
    header.fileFlags = fileFlags;
    std::memcpy(out.data(), &header, sizeof header);
    uint32_t at = sizeof header;
    for (size_t k = 0; k < keys.size(); ++k) {
        const auto& key = keys[k];
        for (size_t i = 0; i < key.segments.size(); ++i) {
            const auto& s = key.segments[i];
            KeySegmentSpec spec{};
            spec.position = s.offset + 1;
            spec.length = s.length;
            spec.flags = static_cast<uint16_t>(i + 1 < key.segments.size() ? s.flags | KeySegmented
                                                                          : s.flags & ~KeySegmented);
            spec.uniqueValues = k < distinctCounts.size() ? distinctCounts[k] : 0;
            spec.dataType = s.type;
            spec.nullValue = s.nullValue;
            spec.keyNumber = key.number;
            spec.acsNumber = s.acsNumber;
            std::memcpy(out.data() + at, &spec, sizeof spec);
            at += sizeof spec;
        }
    }
    for (const auto& seq : sequences) {
        AltCollatingSequence raw{};
        raw.signature = kAcsSignature;
        std::memcpy(raw.name, seq.name.data(), std::min<size_t>(seq.name.size(), sizeof raw.name));
        std::memcpy(raw.map, seq.map, sizeof raw.map);
        std::memcpy(out.data() + at, &raw, sizeof raw);
        at += kAcsSize;
    }
    return out;
}

int16_t ParseFileDefinition(const uint8_t* data, uint32_t length, bool keepNumbers,
                            FileDefinition& out) {
    if (!data || length < sizeof(FileSpecHeader)) return StatusDataBufferTooShort;
    FileSpecHeader header;
    std::memcpy(&header, data, sizeof header);
    FileDefinition def;
    def.recordLength = header.recordLength;
    def.pageSize = header.pageSize;
    def.fileFlags = header.fileFlags & FileVariableLength;
    if (def.recordLength == 0) return StatusRecordLengthError;
    if (def.pageSize < kMinPageSize || def.pageSize % kMinPageSize) return StatusPageSizeError;
    if (header.keyCount > kMaxKeys) return StatusKeyCountError;
    uint32_t at = sizeof header;
    for (uint32_t k = 0; k < header.keyCount; ++k) {
        KeyDefinition key;
        if (int16_t status = ReadKeySegments(data, length, at, def.recordLength, key)) return status;
        if (!keepNumbers) key.number = static_cast<uint8_t>(k);
        if (def.FindKey(key.number)) return StatusInvalidKeyNumber;
        def.keys.push_back(std::move(key));
    }
    std::sort(def.keys.begin(), def.keys.end(),
              [](const KeyDefinition& a, const KeyDefinition& b) { return a.number < b.number; });
    for (size_t i = 0, needed = SequencesNeeded(def.keys); i < needed; ++i) {
        CollatingSequence seq;
        if (!ReadSequence(data, length, at, seq)) return StatusAcsError;
        def.sequences.push_back(seq);
        at += kAcsSize;
    }
    for (const auto& key : def.keys)
        if (int16_t status = CheckKey(key, def.sequences.size())) return status;
    out = std::move(def);
    return StatusOk;
}

int16_t ParseKeyDefinition(const uint8_t* data, uint32_t length, const FileDefinition& file,
                           KeyDefinition& out) {
    if (!data) return StatusDataBufferTooShort;
    uint32_t at = 0;
    KeyDefinition key;
    if (int16_t status = ReadKeySegments(data, length, at, file.recordLength, key)) return status;
    if (int16_t status = CheckKey(key, file.sequences.size())) return status;
    out = std::move(key);
    return StatusOk;
}

}  // namespace wbtrv
