#include "btrieve/base/BapiListItem.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace btrieve {

namespace {

// Addresses of the handles alive now.
struct TLiveHandles {
    std::mutex lock;
    std::unordered_set<const void*> set;
    std::atomic<uint64_t> freed{0};
};

TLiveHandles& LiveHandles() {
    static TLiveHandles live;
    return live;
}

}  // namespace

TQuillonCollection::~TQuillonCollection() { FreeAll(); }

bool TQuillonCollection::Add(TBapiListItem* item) {
    items_.push_back(item);
    return true;
}

void TQuillonCollection::Insert(int index, TBapiListItem* item) {
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, item);
}

TBapiListItem* TQuillonCollection::Get(int index) const {
    return index >= 0 && index < Count() ? items_[index] : nullptr;
}

TBapiListItem* TQuillonCollection::Items(int index) const {
    if (index < 0 || index >= Count())
        throw platform::EStringListError("List index out of bounds (" + platform::IntToStr(index) + ")");
    return items_[index];
}

int TQuillonCollection::IndexOf(const TBapiListItem* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TQuillonCollection::Delete(int index) {
    if (index >= 0 && index < Count()) items_.erase(items_.begin() + index);
}

void TQuillonCollection::Remove(const TBapiListItem* item) {
    const int index = IndexOf(item);
    if (index >= 0) Delete(index);
}

void TQuillonCollection::FreeItem(TBapiListItem* item) {
    if (!item) return;
    std::unique_ptr<TBapiListItem> owned(item);
    owned->BeforeDestroy();
}

void TQuillonCollection::FreeAll() {
    // A freed handle takes itself out, so the walk goes from the end.
    for (int i = Count() - 1; i >= 0; --i) {
        if (i >= Count()) continue;  // a handle took others with it
        FreeItem(items_[i]);
    }
    items_.clear();
}

bool TSortedCollection::Search(const void* key, int& position) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int c = Compare(KeyOf(Get(mid)), key);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (!Duplicates) lo = mid;
            }
        }
    }
    position = lo;
    return found;
}

bool TSortedCollection::Add(TBapiListItem* item) {
    int position = 0;
    if (Search(KeyOf(item), position) && !Duplicates) return false;
    Insert(position, item);
    return true;
}

TBapiListItem::TBapiListItem(TBapiListItem* owner, TQuillonCollection* collection) : owner_(owner) {
    {
        auto& live = LiveHandles();
        std::lock_guard guard(live.lock);
        live.set.insert(this);
    }
    collection_ = nullptr;
    JoinCollection(collection);
}

void TBapiListItem::JoinCollection(TQuillonCollection* collection) {
    if (collection && collection->Add(this)) collection_ = collection;
}

TBapiListItem::~TBapiListItem() {
    if (collection_) collection_->Remove(this);
    auto& live = LiveHandles();
    std::lock_guard guard(live.lock);
    // Counted before the handle leaves the set: a thread that saw the old count cannot then
    // take this handle for one it had accepted.
    live.freed.fetch_add(1, std::memory_order_release);
    live.set.erase(this);
}

void TBapiListItem::JoinCollectionAt(TQuillonCollection* collection, int index) {
    if (!collection) return;
    collection->Insert(index, this);
    collection_ = collection;
}

bool TBapiListItem::IsLive(const void* handle) {
    if (!handle) return false;
    auto& live = LiveHandles();
    std::lock_guard guard(live.lock);
    return live.set.count(handle) != 0;
}

uint64_t TBapiListItem::FreedCount() { return LiveHandles().freed.load(std::memory_order_acquire); }

void TBapiListItem::GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) {
    RaiseUnsupported(9125);
}

void PutPropValue(void* value, uint16_t bufferLength, const void* data, uint16_t size, uint16_t& length) {
    CheckParam(value);
    if (bufferLength < size) RaiseEngineError(rc::InvalidParam);
    std::memcpy(value, data, size);
    length = size;
}

}  // namespace btrieve
