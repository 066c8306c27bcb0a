// Block allocator of the in-memory record list: items (a header followed by one
// record) are allocated a block at a time, at a fixed stride inside the block, so
// that a back end can fetch rows straight into consecutive items.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

namespace oracle {

struct TBlockHeader;

// Header of one item; the record follows it at ItemHeaderSize.
struct TItemHeader {
    TBlockHeader* Block;
    TItemHeader* Prev;
    TItemHeader* Next;
    TItemHeader* Rollback;
    uint8_t Status;
    uint8_t Result;
    int32_t RecordNo;
    uint8_t Check;
    // Unique per allocation: tells a bookmark whether its item is still the one it named.
    uint32_t Serial;
};
using PItemHeader = TItemHeader*;

struct TBlockHeader {
    uint16_t ItemCount;
    uint16_t UsedCount;
    TBlockHeader* Newer;
    TBlockHeader* Older;
    uint8_t Check;
};
using PBlockHeader = TBlockHeader*;

inline constexpr uint8_t ItemFree = 0xDD;
inline constexpr uint8_t ItemUsed = 0xEE;
inline constexpr uint8_t BlockValid = 0xDD;
inline constexpr int ItemHeaderSize = sizeof(TItemHeader);
inline constexpr int BlockHeaderSize = (sizeof(TBlockHeader) + 7) / 8 * 8;

class TBlockManager {
public:
    TBlockManager() = default;
    TBlockManager(const TBlockManager&) = delete;
    TBlockManager& operator=(const TBlockManager&) = delete;
    ~TBlockManager() { FreeAllBlocks(); }

    uint16_t DefaultItemCount = 10;
    int RecordSize() const { return recordSize_; }
    void SetRecordSize(int size) { recordSize_ = size; }
    // Distance between consecutive items of a block (header, record, alignment).
    int ItemSize() const { return (ItemHeaderSize + recordSize_ + 7) / 8 * 8; }

    // A new block at the head of the block list; its items are not on the free list.
    PBlockHeader AllocBlock(uint16_t count);
    void FreeBlock(PBlockHeader block);
    void FreeAllBlocks();
    void AddFreeBlock();
    PItemHeader AllocItem();
    void FreeItem(PItemHeader item);
    // Empties the free list (the blocks stay allocated until freed).
    void ResetFreeList() { freeList_ = nullptr; }

    PItemHeader ItemAt(PBlockHeader block, int index) const;
    static uint8_t* ItemData(PItemHeader item) { return reinterpret_cast<uint8_t*>(item) + ItemHeaderSize; }
    void PutRecord(PItemHeader item, const void* source) const;
    void GetRecord(PItemHeader item, void* dest) const;
    void CopyData(PItemHeader from, PItemHeader to) const;
    // True when item points at a used item of a live block that still carries serial.
    bool ItemAlive(const void* item, uint32_t serial) const;
    // For back ends that fill a block of their own (AllocBlock) in one go: an item of
    // it becomes used, as AllocItem would hand it out; unused ones go to the free list.
    void UseItem(PItemHeader item);
    void ReleaseToFreeList(PItemHeader item);

private:
    void UnlinkFree(PItemHeader item);

    PItemHeader freeList_ = nullptr;
    PBlockHeader blockList_ = nullptr;
    int recordSize_ = 0;
    uint32_t nextSerial_ = 1;
    // Owns the blocks' memory, keyed by address so that a pointer can be checked.
    struct TBlockMemory {
        std::unique_ptr<uint8_t[]> Bytes;
        size_t Size;
    };
    std::map<const uint8_t*, TBlockMemory> blocks_;
};

}  // namespace oracle
