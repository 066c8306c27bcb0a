// The on-disk form of a data file: a fixed header, then frames appended one after the
// other, each holding a batch of changes (definition, record images, deletions) with a
// checksum. A batch is either whole on disk or ignored, so a process killed mid-write leaves
// the file as it was before that batch. Also holds the byte-range locks that several
// processes sharing the file use.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/TextFile.h"
#include "standins/btrieve/KeyCollation.h"

namespace wbtrv {

// One batch of changes in the frame payload encoding.
class ChangeBatch {
public:
    enum Kind : uint8_t { Definition = 'S', PutRecord = 'P', DeleteRecord = 'D', Owner = 'O' };

    void AddDefinition(const Bytes& definition);
    void AddPut(uint32_t position, const Bytes& data);
    void AddDelete(uint32_t position);
    void AddOwner(const std::string& owner, uint8_t accessMode);
    bool Empty() const { return bytes_.empty(); }
    const Bytes& Data() const { return bytes_; }
    void Clear() { bytes_.clear(); }

    struct Item {
        Kind kind;
        uint32_t position;
        const uint8_t* data;
        uint32_t length;
    };
    // Walks a payload; false when it is malformed.
    static bool ForEach(const Bytes& payload, const std::function<void(const Item&)>& visit);

private:
    void PutU32(uint32_t v);
    Bytes bytes_;
};

class LogFile {
public:
    // Writes a new file holding only the definition, through a temporary file and a rename.
    static int16_t Create(const std::string& path, const Bytes& definition);

    // Opens an existing file; checks the header. Returns a status (12, 30, 2...).
    int16_t Open(const std::string& path);
    bool Writable() const { return writable_; }

    // Applies the complete frames written since the last call (by any process).
    int16_t CatchUp(const std::function<void(const Bytes& payload)>& apply);
    // Appends one frame after the last complete one and flushes it to disk.
    int16_t Append(const Bytes& payload);

    // Range locks shared with the other processes that opened the file.
    bool TryLock(uint64_t offset, bool exclusive);
    void Unlock(uint64_t offset);
    // The right to append; waits briefly for another writer.
    bool LockWriter();
    // Damage before the end of the file (not a torn last write): reads go on, writes stop.
    bool Damaged() const { return damaged_; }
    void UnlockWriter() { Unlock(kWriterRegion); }

    static constexpr uint64_t kWriterRegion = 0x7000000000000000ull;
    static constexpr uint64_t kOpenRegion = 0x7000000000000001ull;
    static constexpr uint64_t kRecordLockBase = 0x6000000000000000ull;

private:
    platform::THandleOwner file_;
    bool writable_ = false;
    uint64_t validEnd_ = 0;
    bool damaged_ = false;
};

}  // namespace wbtrv
