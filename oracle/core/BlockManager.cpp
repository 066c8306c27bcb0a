#include "oracle/core/BlockManager.h"

#include <cstring>

#include "oracle/core/Assertion.h"

namespace oracle {

PBlockHeader TBlockManager::AllocBlock(uint16_t count) {
    const size_t size = BlockHeaderSize + size_t{count} * ItemSize();
    auto bytes = std::make_unique<uint8_t[]>(size);
    const uint8_t* key = bytes.get();
    auto* block = reinterpret_cast<PBlockHeader>(bytes.get());
    *block = TBlockHeader{count, 0, nullptr, blockList_, BlockValid};
    if (blockList_) blockList_->Newer = block;
    blockList_ = block;
    blocks_.emplace(key, TBlockMemory{std::move(bytes), size});
    for (int i = 0; i < count; ++i) {
        PItemHeader item = ItemAt(block, i);
        std::memset(item, 0, sizeof(TItemHeader));
        item->Block = block;
        item->Check = ItemFree;
    }
    return block;
}

PItemHeader TBlockManager::ItemAt(PBlockHeader block, int index) const {
    return reinterpret_cast<PItemHeader>(reinterpret_cast<uint8_t*>(block) + BlockHeaderSize +
                                         size_t(index) * ItemSize());
}

void TBlockManager::FreeBlock(PBlockHeader block) {
    Check(block->Check == BlockValid, UnitMemData, "Invalid block");
    if (block->Newer)
        block->Newer->Older = block->Older;
    else
        blockList_ = block->Older;
    if (block->Older) block->Older->Newer = block->Newer;
    blocks_.erase(reinterpret_cast<const uint8_t*>(block));
}

void TBlockManager::FreeAllBlocks() {
    blocks_.clear();
    blockList_ = nullptr;
    freeList_ = nullptr;
}

void TBlockManager::ReleaseToFreeList(PItemHeader item) {
    item->Check = ItemFree;
    item->Prev = nullptr;
    item->Next = freeList_;
    if (freeList_) freeList_->Prev = item;
    freeList_ = item;
}

void TBlockManager::AddFreeBlock() {
    PBlockHeader block = AllocBlock(DefaultItemCount);
    // The last item of the block ends up at the head and is handed out first.
    for (int i = 0; i < block->ItemCount; ++i) ReleaseToFreeList(ItemAt(block, i));
}

void TBlockManager::UnlinkFree(PItemHeader item) {
    if (item->Prev)
        item->Prev->Next = item->Next;
    else if (freeList_ == item)
        freeList_ = item->Next;
    if (item->Next) item->Next->Prev = item->Prev;
    item->Prev = item->Next = nullptr;
}

PItemHeader TBlockManager::AllocItem() {
    if (!freeList_) AddFreeBlock();
    PItemHeader item = freeList_;
    UseItem(item);
    return item;
}

void TBlockManager::UseItem(PItemHeader item) {
    Check(item->Check == ItemFree, UnitMemData, "Invalid item");
    UnlinkFree(item);
    item->Check = ItemUsed;
    item->Rollback = nullptr;
    item->Status = 0;
    item->Result = 5;
    item->RecordNo = 0;
    item->Serial = nextSerial_++;
    ++item->Block->UsedCount;
}

void TBlockManager::FreeItem(PItemHeader item) {
    Check(item->Check == ItemUsed, UnitMemData, "Invalid item");
    item->Check = ItemFree;
    PBlockHeader block = item->Block;
    if (block->UsedCount > 1) {
        --block->UsedCount;
        ReleaseToFreeList(item);
        return;
    }
    for (int i = 0; i < block->ItemCount; ++i) {
        PItemHeader other = ItemAt(block, i);
        if (other == item) continue;
        Check(other->Check == ItemFree, UnitMemData, "Invalid item");
        UnlinkFree(other);
    }
    FreeBlock(block);
}

void TBlockManager::PutRecord(PItemHeader item, const void* source) const {
    std::memcpy(ItemData(item), source, static_cast<size_t>(recordSize_));
}

void TBlockManager::GetRecord(PItemHeader item, void* dest) const {
    std::memcpy(dest, ItemData(item), static_cast<size_t>(recordSize_));
}

void TBlockManager::CopyData(PItemHeader from, PItemHeader to) const {
    std::memcpy(ItemData(to), ItemData(from), static_cast<size_t>(recordSize_));
}

bool TBlockManager::ItemAlive(const void* item, uint32_t serial) const {
    const auto* address = static_cast<const uint8_t*>(item);
    auto it = blocks_.upper_bound(address);
    if (!item || it == blocks_.begin()) return false;
    --it;
    const uint8_t* firstItem = it->first + BlockHeaderSize;
    if (address < firstItem || address >= it->first + it->second.Size) return false;
    if ((address - firstItem) % ItemSize() != 0) return false;
    const auto* header = static_cast<const TItemHeader*>(item);
    return header->Check == ItemUsed && header->Serial == serial;
}

}  // namespace oracle
