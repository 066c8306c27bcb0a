// TBaseCacheTable: the delayed-update cursor. It wraps an open cursor: reads go to
// the wrapped cursor, while inserts, modifications and deletions are kept in a
// memory table keyed by the wrapped cursor's bookmarks, shown through the moves, and
// written to the wrapped cursor only when the caller applies them.
#pragma once

#include <memory>

#include "btrieve/base/MemTable.h"

namespace btrieve {

namespace applycmd {
constexpr int Commit = 0, Cancel = 1, CancelCurrent = 2, Write = 3;
}

class TBaseCacheTable : public TBaseTable {
public:
    explicit TBaseCacheTable(TBaseTable* wrapped);
    ~TBaseCacheTable() override;

    TBaseTable* BaseCursor() const { return base_; }
    TMemTable& Cache() { return *cache_; }
    uint8_t StatusMask() const { return statusMask_; }
    bool HideCachedImages() const { return hideCachedImages_; }
    // Shows the wrapped cursor's current record as the cache has it; false hides it.
    bool ShowThroughCache(uint8_t* record, TRecordProps* props);

    // Own behaviour.
    void GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) override;
    void SetProp(uint32_t id, intptr_t value) override;
    void GoFirstInRange() override;
    void GoLastInRange() override;
    void GetNextRecord(int lock, uint8_t* record, TRecordProps* props) override;
    void GetPriorRecord(int lock, uint8_t* record, TRecordProps* props) override;
    void GetRecord(int lock, uint8_t* record, TRecordProps* props) override;
    void InsertRecord(int lock, uint8_t* record) override { cache_->AddRecord(record); }
    void AppendRecord(uint8_t* record) override { cache_->AddRecord(record); }
    void ModifyRecord(uint8_t* record, bool releaseLock) override;
    void DeleteRecord(uint8_t* record) override;
    void SwitchToIndex(const char*, const char*, uint16_t, bool) override { RaiseEngineError(rc::NoSuchIndex); }
    void BeginDelayedUpdates(TBaseTable*&) override { RaiseUnsupported(9074); }
    // Hands the wrapped cursor back and frees this cursor. Changes not written are
    // dropped, and that is reported (0x3201) rather than passed over in silence.
    void EndDelayedUpdates(TBaseTable*& cursor) override;
    void ApplyDelayedUpdates(int command) override;
    void GetUpdateCache(TBaseTable*& table) override { table = CheckParam(cache_.get()); }

    // Everything else is the wrapped cursor's.
    void CheckPropWritable(uint32_t id, bool raise) override { base_->CheckPropWritable(id, raise); }
    const char* GetTableName() const override { return base_->GetTableName(); }
    void SetTableName(const char* name) override { base_->SetTableName(name); }
    const char* GetFileName() const override { return base_->GetFileName(); }
    void SetFileName(const char* name) override { base_->SetFileName(name); }
    void CheckRange(const uint8_t* record) override { base_->CheckRange(record); }
    uint16_t GetRecordSize() const override { return base_->GetRecordSize(); }
    uint16_t GetRecBufSize() override { return base_->GetRecBufSize(); }
    uint16_t GetBookmarkSize() const override { return base_->GetBookmarkSize(); }
    void FindFieldDesc(uint16_t o, uint16_t l, TEngineFieldDesc& d) override { base_->FindFieldDesc(o, l, d); }
    void PhysFirst() override { base_->PhysFirst(); }
    void PhysLast() override { base_->PhysLast(); }
    void PhysNext() override { base_->PhysNext(); }
    void PhysPrior() override { base_->PhysPrior(); }
    void FieldToLogical(uint16_t t, uint16_t s, bool& b, void* v, const uint8_t* f, uint16_t l, int16_t u) override {
        base_->FieldToLogical(t, s, b, v, f, l, u);
    }
    void FieldToPhysical(uint16_t t, uint16_t s, uint8_t* f, const void* v, uint16_t l, int16_t u) override {
        base_->FieldToPhysical(t, s, f, v, l, u);
    }
    int CompareFieldValues(uint16_t t, TFieldCacheItem* i, const void* v2, const void* v1, bool ci,
                           uint16_t l) override {
        return base_->CompareFieldValues(t, i, v2, v1, ci, l);
    }
    void GetFieldValue(TFieldCacheItem& i, uint8_t* r, bool& b, void* v) override { base_->GetFieldValue(i, r, b, v); }
    void PutFieldValue(TFieldCacheItem& i, const void* v) override { base_->PutFieldValue(i, v); }
    bool HasNullFlags() const override { return base_->HasNullFlags(); }
    void GetFieldCountAndRecLen(uint16_t& c, uint16_t& l) override { base_->GetFieldCountAndRecLen(c, l); }
    void OpenCursor() override { base_->OpenCursor(); }
    void CloseCursor() override { base_->CloseCursor(); }
    void CloneCursor(bool r, bool u, TBaseTable*& c) override { base_->CloneCursor(r, u, c); }
    void GetFieldDesc(uint16_t n, uint16_t& s, uint16_t& t, TEngineFieldDesc& d) override {
        base_->GetFieldDesc(n, s, t, d);
    }
    void GetFieldDescs(TEngineFieldDesc* d) override { base_->GetFieldDescs(d); }
    void SetToBegin() override { base_->SetToBegin(); }
    void SetToEnd() override { base_->SetToEnd(); }
    void SetToCursor(TBaseTable* t) override { base_->SetToCursor(t); }
    void GetBookMark(void* b) override { base_->GetBookMark(b); }
    void SetToBookMark(const void* b) override { base_->SetToBookMark(b); }
    void ReadAtBookmark(const void* b, uint8_t* r, int l) override { base_->ReadAtBookmark(b, r, l); }
    const void* BookmarkToKey(const void* b) override { return base_->BookmarkToKey(b); }
    void CompareBookMarks(const void* a, const void* b, int32_t& r) override { base_->CompareBookMarks(a, b, r); }
    void FillRecProps(TRecordProps* p) override { base_->FillRecProps(p); }
    void RereadCurrent(int l, uint8_t* r) override { base_->RereadCurrent(l, r); }
    void GetRecordForKey(bool d, uint16_t c, uint16_t p, const void* k, uint8_t* r) override {
        base_->GetRecordForKey(d, c, p, k, r);
    }
    void GetVChkDesc(uint16_t n, TValCheckDesc& d) override { base_->GetVChkDesc(n, d); }
    void ReleaseLockPrim(bool a) override { base_->ReleaseLockPrim(a); }
    void RelRecordLock(bool a) override { base_->RelRecordLock(a); }
    void InitRecord(uint8_t* r) override { base_->InitRecord(r); }
    void GetSeqNo(uint32_t& n) override { base_->GetSeqNo(n); }
    void SetToSeqNo(uint32_t n) override { base_->SetToSeqNo(n); }
    void GetCursorProps(TCursorProps& p) override { base_->GetCursorProps(p); }
    void GetRecordCount(uint32_t& c) override { base_->GetRecordCount(c); }
    void GetExactRecordCount(uint32_t& c) override { base_->GetExactRecordCount(c); }
    void GetPhysPosition(uint32_t& p) override { base_->GetPhysPosition(p); }
    void SetToPhysPosition(uint32_t p) override { base_->SetToPhysPosition(p); }
    void ForceReread() override { base_->ForceReread(); }
    void ForceRecordReread(uint8_t* r) override { base_->ForceRecordReread(r); }
    void CreatePhysical(const char* n, bool o) override { base_->CreatePhysical(n, o); }
    void SetRange(bool k, uint16_t sc, uint16_t sp, const void* sk, bool si, uint16_t ec, uint16_t ep,
                  const void* ek, bool ei) override {
        base_->SetRange(k, sc, sp, sk, si, ec, ep, ek, ei);
    }
    void ResetRange() override { base_->ResetRange(); }
    void CompareKeys(const void* a, const void* b, int32_t& r, uint16_t p, uint16_t c) override {
        base_->CompareKeys(a, b, r, p, c);
    }
    void IndexForFields(const char* l, uint16_t& n, char* name) override { base_->IndexForFields(l, n, name); }
    void SetToKey(int c, bool k, const void* key, uint16_t p, uint16_t n) override { base_->SetToKey(c, k, key, p, n); }
    void KeySearch(int c, bool k, uint8_t* r, const void* key, uint16_t p, uint16_t n) override {
        base_->KeySearch(c, k, r, key, p, n);
    }
    void ExtractKey(const uint8_t* r, void* k) override { base_->ExtractKey(r, k); }
    void ExtractKeyRaw(const uint8_t* r, void* k, uint16_t& l, uint16_t p, uint16_t c) override {
        base_->ExtractKeyRaw(r, k, l, p, c);
    }
    void GetIndexDesc(uint16_t n, TEngineIndexDesc& d) override { base_->GetIndexDesc(n, d); }
    void GetIndexDescs(TEngineIndexDesc* d) override { base_->GetIndexDescs(d); }
    void DeleteAllRecords() override { base_->DeleteAllRecords(); }
    void EmptyTable() override { base_->EmptyTable(); }
    void AddIndex(const TEngineIndexDesc& d) override { base_->AddIndex(d); }
    void DeleteIndex(const char* n, const char* t, uint16_t i) override { base_->DeleteIndex(n, t, i); }
    void SetLockMode(int m) override { base_->SetLockMode(m); }
    void SetUpdateHint(int h) override { base_->SetUpdateHint(h); }
    void OpenBlob(uint8_t* r, uint16_t f, int m) override { base_->OpenBlob(r, f, m); }
    void GetBlobSize(uint8_t* r, uint16_t f, uint32_t& s) override { base_->GetBlobSize(r, f, s); }
    void GetBlob(uint8_t* r, uint16_t f, uint32_t o, uint32_t l, void* d, uint32_t& n) override {
        base_->GetBlob(r, f, o, l, d, n);
    }
    void PutBlob(uint8_t* r, uint16_t f, uint32_t o, uint32_t l, const void* s) override {
        base_->PutBlob(r, f, o, l, s);
    }
    void TruncateBlob(uint8_t* r, uint16_t f, uint32_t l) override { base_->TruncateBlob(r, f, l); }
    void FreeBlob(uint8_t* r, uint16_t f) override { base_->FreeBlob(r, f); }
    void GetField(uint16_t n, uint8_t* r, bool& b, void* v) override { base_->GetField(n, r, b, v); }
    void PutField(uint16_t n, uint8_t* r, const void* v) override { base_->PutField(n, r, v); }
    void VerifyField(uint16_t n, uint8_t* r, bool& b) override { base_->VerifyField(n, r, b); }
    void UpdateFilterFlag() override { base_->UpdateFilterFlag(); }
    void AddFilter(intptr_t c, uint16_t p, bool a, const uint8_t* e, TFilterCallback cb,
                   TFilterListItem*& f) override {
        base_->AddFilter(c, p, a, e, cb, f);
    }
    void DropFilter(TFilterListItem* f) override { base_->DropFilter(f); }
    void ActivateFilter(TFilterListItem* f) override { base_->ActivateFilter(f); }
    void DeactivateFilter(TFilterListItem* f) override { base_->DeactivateFilter(f); }
    void GetFilterInfo(TFilterListItem* f, TFilterInfo& i) override { base_->GetFilterInfo(f, i); }
    bool RecordPassesFilters(uint8_t* r) override { return base_->RecordPassesFilters(r); }
    void RegisterCallBack(const TCallBackArgs& a) override { base_->RegisterCallBack(a); }
    void CallBackInfo(TCallBackArgs& a) override { base_->CallBackInfo(a); }

private:
    void ReadBaseBookmark();

    TBaseTable* base_;
    std::unique_ptr<TMemTable> cache_;
    uint8_t statusMask_ = 11;
    bool hideCachedImages_ = false;
    std::vector<uint8_t> bookmark_;
};

}  // namespace btrieve
