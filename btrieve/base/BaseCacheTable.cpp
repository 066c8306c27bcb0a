#include "btrieve/base/BaseCacheTable.h"

#include <algorithm>
#include <cstring>

namespace btrieve {

namespace {

TCursorProps PropsOf(TBaseTable* cursor) {
    TCursorProps props{};
    try {
        cursor->GetCursorProps(props);
    } catch (const EQuillonEngineError&) {
        std::memset(&props, 0, sizeof props);
    }
    return props;
}

}  // namespace

TBaseCacheTable::TBaseCacheTable(TBaseTable* wrapped)
    : TBaseTable(CheckParam(wrapped)->Owner(), wrapped->Collection(), wrapped->GetTableName(), nullptr,
                 PropsOf(wrapped).openMode, PropsOf(wrapped).shareMode),
      base_(wrapped) {
    const TCursorProps props = PropsOf(wrapped);
    std::vector<TEngineFieldDesc> descs(props.fieldCount);
    if (!descs.empty()) wrapped->GetFieldDescs(descs.data());
    cache_ = std::make_unique<TMemTable>(this, wrapped, descs.data(), wrapped->GetBookmarkSize(),
                                         static_cast<uint16_t>(descs.size()), wrapped->GetTableName(), nullptr);
    bookmark_.assign(std::max<size_t>(wrapped->GetBookmarkSize(), 1), 0);
}

TBaseCacheTable::~TBaseCacheTable() = default;

void TBaseCacheTable::ReadBaseBookmark() {
    std::fill(bookmark_.begin(), bookmark_.end(), 0);
    base_->GetBookMark(bookmark_.data());
}

bool TBaseCacheTable::ShowThroughCache(uint8_t* record, TRecordProps* props) {
    bool cached = false;
    try {
        ReadBaseBookmark();
        cache_->SetToBookMark(bookmark_.data());
        cached = true;
    } catch (const EQuillonEngineError&) {
    }
    if (!cache_->StatusVisible(statusMask_, cached)) return false;
    if (cached) {
        const TMemTableRecord* current = cache_->Current();
        if (!hideCachedImages_ && record)
            std::memcpy(record, current->Image.data(),
                        std::min<size_t>(current->Image.size(), base_->GetRecBufSize()));
        if (props) *props = current->Props;
    } else if (props) {
        std::memset(props, 0, sizeof *props);
    }
    return true;
}

void TBaseCacheTable::GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) {
    switch (id & 0xFFFF) {
    case 3:
        PutPropValue(value, bufferLength, &statusMask_, 1, length);
        return;
    case 4: {
        const uint8_t hide = hideCachedImages_ ? 1 : 0;
        PutPropValue(value, bufferLength, &hide, 1, length);
        return;
    }
    case 5: {
        const uint32_t count = static_cast<uint32_t>(cache_->Records().Count());
        PutPropValue(value, bufferLength, &count, sizeof count, length);
        return;
    }
    default:
        base_->GetProp(id, value, length, bufferLength);
    }
}

void TBaseCacheTable::SetProp(uint32_t id, intptr_t value) {
    switch (id & 0xFFFF) {
    case 3: statusMask_ = static_cast<uint8_t>(value); return;
    case 4: hideCachedImages_ = value > 0; return;
    default: base_->SetProp(id, value);
    }
}

void TBaseCacheTable::GoFirstInRange() {
    base_->SetRecBuf(GetRecBuf());
    base_->GoFirstInRange();
    if (!ShowThroughCache(GetRecBuf(), nullptr)) GetNextRecord(0, GetRecBuf(), nullptr);
}

void TBaseCacheTable::GoLastInRange() {
    base_->SetRecBuf(GetRecBuf());
    base_->GoLastInRange();
    if (!ShowThroughCache(GetRecBuf(), nullptr)) GetPriorRecord(0, GetRecBuf(), nullptr);
}

void TBaseCacheTable::GetNextRecord(int lock, uint8_t* record, TRecordProps* props) {
    do {
        base_->GetNextRecord(lock, record, props);
    } while (!ShowThroughCache(record, props));
}

void TBaseCacheTable::GetPriorRecord(int lock, uint8_t* record, TRecordProps* props) {
    do {
        base_->GetPriorRecord(lock, record, props);
    } while (!ShowThroughCache(record, props));
}

void TBaseCacheTable::GetRecord(int lock, uint8_t* record, TRecordProps* props) {
    base_->GetRecord(lock, record, props);
    if (!ShowThroughCache(record, props)) RaiseEngineError(rc::NoCurrRec);
}

void TBaseCacheTable::ModifyRecord(uint8_t* record, bool releaseLock) {
    ReadBaseBookmark();
    cache_->ModifyWithKey(record, bookmark_.data());
    // The change waits in the cache; the lock the edit took on the record goes now, as a
    // direct update gives it up, not whenever the cursor next locks or closes.
    if (releaseLock) base_->RelRecordLock(false);
}

void TBaseCacheTable::DeleteRecord(uint8_t* record) {
    ReadBaseBookmark();
    cache_->DeleteWithKey(record, bookmark_.data());
}

void TBaseCacheTable::EndDelayedUpdates(TBaseTable*& cursor) {
    const bool lost = cache_->HasUnappliedChanges();
    cursor = base_;
    FreeHandle(this);  // nothing of this cursor may be touched from here on
    if (lost) RaiseEngineErrorMsg(rc::ObjImplicitlyDropped, "Cached changes that were not applied were discarded");
}

void TBaseCacheTable::ApplyDelayedUpdates(int command) {
    switch (command) {
    case applycmd::Commit:
        cache_->ClearAll();
        return;
    case applycmd::Cancel:
        cache_->EmptyTable();
        return;
    case applycmd::CancelCurrent:
        try {
            ReadBaseBookmark();
            cache_->SetToBookMark(bookmark_.data());
            cache_->DeleteRecord(nullptr);
        } catch (const EQuillonEngineError&) {
        }
        return;
    case applycmd::Write:
        cache_->ApplyToBase();
        return;
    default:
        return;
    }
}

}  // namespace btrieve
