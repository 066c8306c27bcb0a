// TMemData: the record store that keeps all records in memory as a doubly linked
// list of block-allocated items. It numbers and filters records, keeps bookmarks
// and, with cached updates, records inserts, edits and deletes until they are
// applied, committed or cancelled. Back-end record sets derive from it.
#pragma once

#include <cstdint>
#include <list>

#include "oracle/core/BlockManager.h"
#include "oracle/core/Data.h"

namespace oracle {

class TMemData : public TData {
public:
    TMemData();
    ~TMemData() override;

    int32_t Generation() const { return generation_; }
    TBlockManager& BlockManager() { return blockManager_; }

    void InitFields() override;
    bool Eof() const override { return !currentItem_ && eof_; }
    bool Bof() const override { return !currentItem_ && bof_; }
    int GetRecordCount() override { return recordCount_; }
    int GetRecordNo() override;
    void SetRecordNo(int recordNo) override;

    void GetRecord(void* dest) override;
    void GetNextRecord(void* dest) override;
    void GetPriorRecord(void* dest) override;
    void PutRecord(const void* source) override;
    void AppendRecord(const void* source) override;
    void InsertRecord(const void* source) override;
    void UpdateRecord(const void* source) override;
    void DeleteRecord() override;

    void SetToBegin() override;
    void SetToEnd() override;
    void GetBookmark(TBookmark& bookmark) override;
    void GetTestedBookmark(TBookmark& bookmark) override;
    void SetToBookmark(const TBookmark& bookmark) override;
    bool BookmarkValid(const TBookmark* bookmark) override;
    int CompareBookmarks(const TBookmark* a, const TBookmark* b) override;

    TUpdateStatus GetUpdateStatus() override;
    TUpdateResult GetUpdateResult() override;
    bool UpdatesPending() override;
    void ApplyUpdates() override;
    void CommitUpdates() override;
    void CancelUpdates() override;
    void RestoreUpdates() override;
    void RevertRecord() override;
    void GetOldRecord(void* dest) override;
    void SetFilterItemTypes(TItemTypes types) override;
    void FilterUpdated() override;

    // Reads further records from the source; true when any arrived.
    virtual bool Fetch() { return false; }
    // Whether fetching leaves the records already in the store in place (a store that
    // keeps only its newest block frees them).
    virtual bool FetchKeepsRecords() const { return true; }

    // Number of pending change entries (applied or not).
    int ChangeCount() const { return static_cast<int>(changes_.size()); }

protected:
    void InitData() override;
    void FreeData() override;

    bool OmitRecord(PItemHeader item);
    void InsertItem(PItemHeader item);
    void AppendItem(PItemHeader item);
    void DeleteItem(PItemHeader item);
    // Keeps the numbers of visible items consecutive: mode 0 after an insert at
    // item, 1 after a delete next to item (its former neighbour), 2 renumbers all.
    void ReorderItems(PItemHeader item, int mode);
    int VisibleNo(PItemHeader item) const { return item->RecordNo + recordNoOffset_; }
    void BookmarkOf(PItemHeader item, TBookmark& bookmark) const;

    PItemHeader firstItem_ = nullptr;
    PItemHeader lastItem_ = nullptr;
    PItemHeader currentItem_ = nullptr;
    // The item a filter is testing, while it does.
    PItemHeader testedItem_ = nullptr;

private:
    struct TChange {
        PItemHeader Item;
        uint64_t Id;
    };
    using TChangeList = std::list<TChange>;

    void AddChange(PItemHeader item);
    TChangeList::iterator FindChange(PItemHeader item);
    void EraseChange(TChangeList::iterator change);
    // Reverts one item to its state before its change; answers whether it stays.
    void RevertItem(PItemHeader item);
    void FreeRollback(PItemHeader item);
    // The rollback record owns copies of the blob values as they were, so that a
    // revert brings them back; these move into or are released with the record.
    void CopyRollbackBlobs(PItemHeader rollback);
    void ReleaseBlobs(PItemHeader item);
    void RestoreRollback(PItemHeader item);
    void FreeRecordObjects(PItemHeader item);
    void CopyOut(PItemHeader item, void* dest) const;
    int32_t NewGeneration();

    TBlockManager blockManager_;
    TChangeList changes_;
    uint64_t nextChangeId_ = 1;
    int32_t generation_ = 0;
    // While applying: the entry being applied and the one after it, kept valid when
    // a handler reverts records.
    uint64_t applyingChange_ = 0;
    bool applyingChangeErased_ = false;
    TChangeList::iterator applyNext_;
    bool applying_ = false;
};

// Module start: the generation counter begins at 1.
void InitializeMemData();

}  // namespace oracle
