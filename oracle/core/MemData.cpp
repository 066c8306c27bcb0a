#include "oracle/core/MemData.h"

#include <cstdlib>
#include <utility>

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "platform/ScopeExit.h"

namespace oracle {

namespace {

int32_t generationCounter = 1;

}  // namespace

void InitializeMemData() { generationCounter = 1; }

TMemData::TMemData() { InitData(); }

TMemData::~TMemData() {
    platform::CleanUpStep([this] { Close(); });
}

int32_t TMemData::NewGeneration() { return ++generationCounter; }

void TMemData::InitData() {
    TData::InitData();
    firstItem_ = lastItem_ = currentItem_ = nullptr;
    changes_.clear();
    blockManager_.ResetFreeList();
    generation_ = NewGeneration();
}

void TMemData::FreeData() {
    if (HasComplexFields())
        for (PItemHeader item = firstItem_; item; item = item->Next) {
            FreeRecordObjects(item);
            if (item->Rollback) ReleaseBlobs(item->Rollback);
        }
    changes_.clear();
    blockManager_.FreeAllBlocks();
    InitData();
}

void TMemData::InitFields() {
    TData::InitFields();
    blockManager_.SetRecordSize(recordSize_);
}

void TMemData::FreeRecordObjects(PItemHeader item) {
    if (HasComplexFields()) FreeComplexFields(TBlockManager::ItemData(item), true);
}

void TMemData::FreeRollback(PItemHeader item) {
    if (!item->Rollback) return;
    ReleaseBlobs(item->Rollback);
    blockManager_.FreeItem(item->Rollback);
    item->Rollback = nullptr;
}

void TMemData::CopyRollbackBlobs(PItemHeader rollback) {
    ForEachBlobSlot(TBlockManager::ItemData(rollback), [](TBlob* blob) { return blob ? blob->CopyOriginal() : nullptr; });
}

void TMemData::ReleaseBlobs(PItemHeader item) {
    ForEachBlobSlot(TBlockManager::ItemData(item), [](TBlob* blob) -> TBlob* {
        ReleaseObject(blob);
        return nullptr;
    });
}

void TMemData::RestoreRollback(PItemHeader item) {
    // Only the blobs differ between the two versions; other owned values are shared.
    ReleaseBlobs(item);
    blockManager_.CopyData(item->Rollback, item);
    blockManager_.FreeItem(item->Rollback);
    item->Rollback = nullptr;
}

void TMemData::CopyOut(PItemHeader item, void* dest) const {
    if (dest) blockManager_.GetRecord(item, dest);
}

// Item list

bool TMemData::OmitRecord(PItemHeader item) {
    if (!item) return true;
    if (cachedUpdates_ && !(filterItemTypes_ & ItemTypeBit(static_cast<TUpdateStatus>(item->Status)))) return true;
    const PItemHeader outer = std::exchange(testedItem_, item);
    platform::TScopeExit restore([this, outer] { testedItem_ = outer; });
    return !FilterAccepts(TBlockManager::ItemData(item));
}

void TMemData::InsertItem(PItemHeader item) {
    PItemHeader before = nullptr;
    if (Eof())
        before = nullptr;
    else if (Bof())
        before = firstItem_;
    else
        before = currentItem_;
    item->Next = before;
    item->Prev = before ? before->Prev : lastItem_;
    if (item->Prev)
        item->Prev->Next = item;
    else
        firstItem_ = item;
    if (before)
        before->Prev = item;
    else
        lastItem_ = item;
    currentItem_ = item;
    bof_ = eof_ = false;
}

void TMemData::AppendItem(PItemHeader item) {
    item->Prev = lastItem_;
    item->Next = nullptr;
    item->RecordNo = lastItem_ ? lastItem_->RecordNo + 1 : 1;
    if (lastItem_)
        lastItem_->Next = item;
    else
        firstItem_ = item;
    lastItem_ = item;
}

void TMemData::DeleteItem(PItemHeader item) {
    if (item->Prev)
        item->Prev->Next = item->Next;
    else
        firstItem_ = item->Next;
    if (item->Next)
        item->Next->Prev = item->Prev;
    else
        lastItem_ = item->Prev;
    if (currentItem_ == item) currentItem_ = item->Next ? item->Next : item->Prev;
    if (!firstItem_) {
        currentItem_ = nullptr;
        bof_ = eof_ = true;
    }
    FreeRollback(item);
    blockManager_.FreeItem(item);
}

void TMemData::ReorderItems(PItemHeader item, int mode) {
    PItemHeader start = nullptr;
    bool forward = true;
    if (mode == 2) {
        start = firstItem_;
        if (!start) {
            recordCount_ = 0;
            recordNoOffset_ = 0;
            return;
        }
    } else {
        if (!item) return;
        int reference;
        if (item->Next)
            reference = item->Next->RecordNo;
        else if (item->Prev)
            reference = item->Prev->RecordNo;
        else {
            item->RecordNo = 1;
            recordNoOffset_ = 0;
            return;
        }
        // Walk the shorter side: the far side keeps its numbers and shifts by the offset.
        forward = (recordCount_ + recordNoOffset_) / 2 < reference;
        start = item;
    }

    if (forward) {
        int number = 1;
        PItemHeader before = start->Prev;
        while (before && OmitRecord(before)) before = before->Prev;
        if (before)
            number = before->RecordNo + 1;
        else
            recordNoOffset_ = 0;
        for (PItemHeader p = start; p; p = p->Next)
            if (!OmitRecord(p)) p->RecordNo = number++;
        if (mode == 2) recordCount_ = number - 1;
    } else {
        int number;
        PItemHeader after = start->Next;
        while (after && OmitRecord(after)) after = after->Next;
        if (after) {
            number = after->RecordNo - 1;
            recordNoOffset_ += mode == 0 ? 1 : -1;
        } else {
            number = recordCount_;
            recordNoOffset_ = 0;
        }
        for (PItemHeader p = start; p; p = p->Prev)
            if (!OmitRecord(p)) p->RecordNo = number--;
    }
}

// Navigation

int TMemData::GetRecordNo() { return currentItem_ ? VisibleNo(currentItem_) : 0; }

void TMemData::SetRecordNo(int recordNo) {
    if (!firstItem_ || recordNo <= 0) return;
    // Hidden items keep stale numbers: only visible ones are compared, and a walk
    // stops once it has passed the number.
    auto walk = [this, recordNo](PItemHeader p, bool forward) -> PItemHeader {
        while (p) {
            if (!OmitRecord(p)) {
                const int number = VisibleNo(p);
                if (number == recordNo) return p;
                if (forward ? number > recordNo : number < recordNo) return nullptr;
            }
            if (forward) {
                if (!p->Next) {
                    // A fetch may drop the records already read (a unidirectional set):
                    // then the walk goes on with the first that arrived.
                    const uint32_t serial = p->Serial;
                    if (!Fetch()) return nullptr;
                    p = blockManager_.ItemAlive(p, serial) ? p->Next : firstItem_;
                } else {
                    p = p->Next;
                }
            } else {
                p = p->Prev;
            }
        }
        return nullptr;
    };
    PItemHeader current = currentItem_ ? currentItem_ : firstItem_;
    const int fromLast = std::abs(VisibleNo(lastItem_) - recordNo);
    const int fromCurrent = std::abs(VisibleNo(current) - recordNo);
    PItemHeader start;
    bool forward;
    if (recordNo < fromLast && recordNo < fromCurrent) {
        start = firstItem_;
        forward = true;
    } else {
        start = fromLast < fromCurrent ? lastItem_ : current;
        forward = recordNo > VisibleNo(start);
    }
    PItemHeader found = walk(start, forward);
    if (!found) found = walk(firstItem_, true);
    if (!found) return;
    currentItem_ = found;
    bof_ = eof_ = false;
}

void TMemData::SetToBegin() {
    currentItem_ = nullptr;
    bof_ = true;
    eof_ = firstItem_ == nullptr;
}

void TMemData::SetToEnd() {
    currentItem_ = nullptr;
    eof_ = true;
    bof_ = firstItem_ == nullptr;
}

void TMemData::GetRecord(void* dest) {
    if (Eof() || Bof() || !currentItem_) return;
    if (OmitRecord(currentItem_))
        GetNextRecord(dest);
    else
        CopyOut(currentItem_, dest);
}

void TMemData::GetNextRecord(void* dest) {
    if (Eof()) return;
    PItemHeader item;
    if (Bof()) {
        bof_ = false;
        item = firstItem_;
    } else {
        item = currentItem_ ? currentItem_->Next : firstItem_;
    }
    while (item && OmitRecord(item)) item = item->Next;
    if (!item) {
        currentItem_ = nullptr;
        eof_ = true;
        return;
    }
    currentItem_ = item;
    bof_ = eof_ = false;
    CopyOut(item, dest);
}

void TMemData::GetPriorRecord(void* dest) {
    if (Bof()) return;
    PItemHeader item;
    if (Eof()) {
        eof_ = false;
        item = lastItem_;
    } else {
        item = currentItem_ ? currentItem_->Prev : lastItem_;
    }
    while (item && OmitRecord(item)) item = item->Prev;
    if (!item) {
        currentItem_ = nullptr;
        bof_ = true;
        return;
    }
    currentItem_ = item;
    bof_ = eof_ = false;
    CopyOut(item, dest);
}

void TMemData::GetOldRecord(void* dest) {
    if (Eof() || Bof() || !currentItem_) return;
    CopyOut(currentItem_->Rollback ? currentItem_->Rollback : currentItem_, dest);
}

void TMemData::PutRecord(const void* source) {
    Check(currentItem_ != nullptr, UnitMemData, "No current record");
    blockManager_.PutRecord(currentItem_, source);
}

// Changes

void TMemData::AddChange(PItemHeader item) { changes_.push_back(TChange{item, nextChangeId_++}); }

TMemData::TChangeList::iterator TMemData::FindChange(PItemHeader item) {
    for (auto it = changes_.begin(); it != changes_.end(); ++it)
        if (it->Item == item) return it;
    return changes_.end();
}

void TMemData::EraseChange(TChangeList::iterator change) {
    if (change == changes_.end()) return;
    if (applying_) {
        if (change->Id == applyingChange_) applyingChangeErased_ = true;
        if (change == applyNext_) ++applyNext_;
    }
    changes_.erase(change);
}

void TMemData::AppendRecord(const void* source) {
    SetToEnd();
    InsertRecord(source);
}

void TMemData::InsertRecord(const void* source) {
    const PItemHeader savedCurrent = currentItem_;
    const bool savedBof = bof_, savedEof = eof_;
    PItemHeader item = blockManager_.AllocItem();
    InsertItem(item);
    try {
        if (cachedUpdates_) {
            AddChange(item);
            item->Status = usInserted;
            item->Result = urNone;
        } else {
            DoInsertRecord();
        }
    } catch (...) {
        EraseChange(FindChange(item));
        DeleteItem(item);
        currentItem_ = savedCurrent;
        bof_ = savedBof;
        eof_ = savedEof;
        throw;
    }
    blockManager_.PutRecord(item, source);
    ++recordCount_;
    ReorderItems(item, 0);
}

void TMemData::UpdateRecord(const void* source) {
    Check(currentItem_ != nullptr, UnitMemData, "No current record");
    PItemHeader item = currentItem_;
    if (cachedUpdates_) {
        if (item->Status == usUnmodified) AddChange(item);
        if (!(item->Status == usInserted && item->Result != urApplied)) {
            item->Status = usModified;
            if (!item->Rollback) {
                PItemHeader rollback = blockManager_.AllocItem();
                blockManager_.CopyData(item, rollback);
                item->Rollback = rollback;
                CopyRollbackBlobs(rollback);
            }
        }
        item->Result = urNone;
    } else {
        DoUpdateRecord();
    }
    blockManager_.PutRecord(item, source);
}

void TMemData::DeleteRecord() {
    Check(currentItem_ != nullptr, UnitMemData, "No current record");
    // The next records are fetched first so that one follows the deleted record, unless
    // fetching would free the record being deleted.
    if (currentItem_ == lastItem_ && FetchKeepsRecords()) Fetch();
    PItemHeader item = currentItem_;
    // Renumbering starts from a neighbour when the item itself is freed.
    PItemHeader renumberFrom = item;
    bool removed = false;
    const auto removeItem = [&] {
        removed = true;
        renumberFrom = item->Next ? item->Next : item->Prev;
        FreeRecordObjects(item);
        DeleteItem(item);
    };
    if (!cachedUpdates_) {
        DoDeleteRecord();
        removeItem();
    } else {
        switch (item->Status) {
            case usUnmodified:
                AddChange(item);
                break;
            case usModified:
                RestoreRollback(item);
                break;
            case usInserted:
                EraseChange(FindChange(item));
                removeItem();
                break;
            default:
                return;  // already deleted
        }
        if (!removed) {
            item->Status = usDeleted;
            item->Result = urNone;
        }
    }
    --recordCount_;
    ReorderItems(renumberFrom, 1);
}

void TMemData::ApplyUpdates() {
    if (!cachedUpdates_) return;
    const PItemHeader savedCurrent = currentItem_;
    const uint32_t savedSerial = savedCurrent ? savedCurrent->Serial : 0;
    TRecordBuffer ownNew, ownOld;
    void* newBuf = newCacheRecBuf_;
    void* oldBuf = oldCacheRecBuf_;
    if (!newBuf) newBuf = (ownNew = AllocRecBuf()).data();
    if (!oldBuf) oldBuf = (ownOld = AllocRecBuf()).data();
    // The apply handler finds the two versions of the change where the store keeps them.
    void* const givenNew = newCacheRecBuf_;
    void* const givenOld = oldCacheRecBuf_;
    newCacheRecBuf_ = newBuf;
    oldCacheRecBuf_ = oldBuf;
    platform::TScopeExit restoreBuffers([&] {
        newCacheRecBuf_ = givenNew;
        oldCacheRecBuf_ = givenOld;
    });

    applying_ = true;
    try {
        auto it = changes_.begin();
        while (it != changes_.end()) {
            PItemHeader item = it->Item;
            if (item->Result == urApplied) {
                ++it;
                continue;
            }
            currentItem_ = item;
            bof_ = eof_ = false;
            applyingChange_ = it->Id;
            applyingChangeErased_ = false;
            applyNext_ = std::next(it);
            TUpdateAction action = urFail;
            switch (item->Status) {
                case usModified:
                    blockManager_.GetRecord(item, newBuf);
                    blockManager_.GetRecord(item->Rollback ? item->Rollback : item, oldBuf);
                    DoApplyRecord(ukModify, action);
                    if (!applyingChangeErased_) blockManager_.PutRecord(item, newBuf);
                    break;
                case usInserted:
                    blockManager_.GetRecord(item, newBuf);
                    blockManager_.GetRecord(item, oldBuf);
                    DoApplyRecord(ukInsert, action);
                    if (!applyingChangeErased_) blockManager_.PutRecord(item, newBuf);
                    break;
                case usDeleted:
                    blockManager_.GetRecord(item, newBuf);
                    blockManager_.GetRecord(item, oldBuf);
                    DoApplyRecord(ukDelete, action);
                    break;
                default:
                    AssertionFailed(UnitMemData, "Invalid update status");
            }
            if (applyingChangeErased_) {
                it = applyNext_;
                continue;
            }
            item->Result = action;
            if (action != urRetry) it = applyNext_;
        }
    } catch (...) {
        applying_ = false;
        throw;
    }
    applying_ = false;
    if (!savedCurrent || blockManager_.ItemAlive(savedCurrent, savedSerial)) currentItem_ = savedCurrent;
}

bool TMemData::UpdatesPending() {
    for (const TChange& change : changes_)
        if (change.Item->Result != urApplied) return true;
    return false;
}

void TMemData::CommitUpdates() {
    if (UpdatesPending()) ApplyUpdates();
    for (auto it = changes_.begin(); it != changes_.end();) {
        PItemHeader item = it->Item;
        if (item->Result != urApplied) {
            ++it;
            continue;
        }
        it = changes_.erase(it);
        FreeRollback(item);
        if (item->Status == usDeleted) {
            FreeRecordObjects(item);
            DeleteItem(item);
        } else {
            item->Status = usUnmodified;
            item->Result = urNone;
        }
    }
}

void TMemData::RevertItem(PItemHeader item) {
    switch (item->Status) {
        case usModified:
            RestoreRollback(item);
            break;
        case usInserted:
            FreeRecordObjects(item);
            DeleteItem(item);
            return;
        default:
            break;
    }
    item->Status = usUnmodified;
    item->Result = urNone;
}

void TMemData::CancelUpdates() {
    while (!changes_.empty()) {
        PItemHeader item = changes_.front().Item;
        EraseChange(changes_.begin());
        RevertItem(item);
    }
    ReorderItems(nullptr, 2);
}

void TMemData::RevertRecord() {
    if (!currentItem_) return;
    auto change = FindChange(currentItem_);
    if (change == changes_.end()) return;
    PItemHeader item = currentItem_;
    EraseChange(change);
    RevertItem(item);
    // A reverted insert or delete changes what is visible: renumber so that
    // RecordCount and the record numbers stay right.
    ReorderItems(nullptr, 2);
}

void TMemData::RestoreUpdates() {
    if (!cachedUpdates_) return;
    for (TChange& change : changes_) change.Item->Result = urNone;
}

TUpdateStatus TMemData::GetUpdateStatus() {
    return currentItem_ ? static_cast<TUpdateStatus>(currentItem_->Status) : usUnmodified;
}

TUpdateResult TMemData::GetUpdateResult() {
    return currentItem_ ? static_cast<TUpdateResult>(currentItem_->Result) : urNone;
}

void TMemData::SetFilterItemTypes(TItemTypes types) {
    filterItemTypes_ = types;
    FilterUpdated();
}

void TMemData::FilterUpdated() {
    ReorderItems(nullptr, 2);
    eof_ = recordCount_ == 0;
}

// Bookmarks

void TMemData::BookmarkOf(PItemHeader item, TBookmark& bookmark) const {
    bookmark.Generation = generation_;
    bookmark.Item = item;
    bookmark.ItemSerial = item ? item->Serial : 0;
    bookmark.RecordNo = item ? VisibleNo(item) : -1;
}

void TMemData::GetBookmark(TBookmark& bookmark) { BookmarkOf(currentItem_, bookmark); }

void TMemData::GetTestedBookmark(TBookmark& bookmark) {
    BookmarkOf(testedItem_ ? testedItem_ : currentItem_, bookmark);
}

void TMemData::SetToBookmark(const TBookmark& bookmark) {
    if (bookmark.Generation == generation_) {
        // Only the item the bookmark named, never another record that took its place.
        if (blockManager_.ItemAlive(bookmark.Item, bookmark.ItemSerial)) {
            currentItem_ = static_cast<PItemHeader>(bookmark.Item);
            bof_ = eof_ = false;
        }
        return;
    }
    if (bookmark.RecordNo != -1) SetRecordNo(bookmark.RecordNo);
}

bool TMemData::BookmarkValid(const TBookmark* bookmark) {
    return bookmark && !(bookmark->RecordNo == -1 && bookmark->Item == nullptr);
}

int TMemData::CompareBookmarks(const TBookmark* a, const TBookmark* b) {
    if (a && b && a->Generation == b->Generation && a->Item == b->Item && a->ItemSerial == b->ItemSerial) return 0;
    return TData::CompareBookmarks(a, b);
}

}  // namespace oracle
