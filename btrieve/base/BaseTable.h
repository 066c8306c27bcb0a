// TBaseTable: the engine-neutral cursor. The engines fill its primitives (first,
// last, next and prior record, bookmarks, key search, field conversion, writes);
// the base turns them into the cursor the dataset layer relies on: before-first and
// after-last positions, key ranges, record filters, relative moves, counting by
// scanning, bulk deletion, field access and key comparison. The memory table, the
// delayed-update cursor and the list cursors derive from it too.
#pragma once

#include <array>
#include <memory>
#include <type_traits>
#include <vector>

#include "btrieve/base/BapiListItem.h"
#include "btrieve/base/EngineRecords.h"
#include "btrieve/base/FieldCache.h"

namespace btrieve {

class TFilterListItem;

// Record filter callback: (client data, record, physical record number 0), non-zero accepts.
using TFilterCallback = int16_t (*)(intptr_t clientData, const uint8_t* record, int32_t physRecNo);

// Filter information (position in the list, handle and the filter's settings).
struct TFilterInfo {
    uint16_t position;
    TFilterListItem* filter;
    intptr_t clientData;
    uint16_t priority;
    int16_t canAbort;
    TFilterCallback callback;
    const uint8_t* expression;
    int16_t active;
};

// Arguments of an engine callback registration, passed through unchanged.
struct TCallBackArgs {
    uint32_t kind;
    intptr_t clientData;
    uint16_t bufferLength;
    void* callback;
    void* buffer;
};

// Cursor states.
namespace cursorstate {
constexpr uint8_t Unpositioned = 0, OnRecord = 1, BeforeFirst = 2, AfterLast = 3, Repositioning = 4, Closed = 5;
}

// Lock values of the record reads and inserts: the engines lock a record only on Write.
namespace recordlock {
constexpr int None = 0, Write = 1;
}

// Search conditions of the key primitives.
namespace searchcond {
constexpr int Equal = 0, GreaterOrEqual = 1, Greater = 2, Less = 3, LessOrEqual = 4;
}

class TBaseTable : public TBapiListItem {
public:
    static constexpr size_t kKeyBufferSize = 256;
    // The index id that names no index.
    static constexpr uint16_t kNoIndex = 0xFFFF;

    // One end of a key range.
    struct TRangeBlock {
        bool keyItself = false;
        bool active = false;
        uint16_t fieldCount = 0;
        uint16_t partialLength = 0;
        const uint8_t* keyPointer = nullptr;  // the block's own key, or the caller's record
        bool inclusive = false;
        bool openCall = false;
        uint8_t key[kKeyBufferSize] = {};
    };

    // One key field of the current index as the engine describes it.
    struct TKeyPart {
        bool descending = false;
        int32_t size = 0;
        int32_t type = 0;
        bool overrideType = false;
    };

    TBaseTable(TBapiListItem* owner, TQuillonCollection* collection, const char* tableName, const char* indexName,
               int32_t openMode, int32_t shareMode);
    ~TBaseTable() override;

    // Properties: 0 count (23), 1 none, 5 zero, 15 field count; setting 20 marks repositioning.
    void GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) override;
    void SetProp(uint32_t id, intptr_t value) override;
    void CheckPropWritable(uint32_t id, bool raise) override;

    uint8_t State() const { return state_; }
    void SetState(uint8_t state) { state_ = state; }
    uint8_t Direction() const { return direction_; }
    virtual uint8_t* GetRecBuf() const { return recBuf_; }
    virtual void SetRecBuf(uint8_t* record) { recBuf_ = record; }
    // The engine's own per-cursor buffer of GetExtraBufSize zero bytes, made on first use.
    virtual uint16_t GetExtraBufSize() const { return 0; }
    uint8_t* ExtraBuf();
    uint8_t* GetLastRecBuf() const { return lastRecBuf_; }
    void SetLastRecBuf(uint8_t* record) { lastRecBuf_ = record; }
    int32_t OpenMode() const { return openMode_; }
    int32_t ShareMode() const { return shareMode_; }
    void SetShareMode(int32_t mode) { shareMode_ = mode; }
    const char* IndexName() const { return indexName_.c_str(); }
    bool FiltersActive() const { return filtersActive_; }
    const TRangeBlock& RangeStart() const { return rangeStart_; }
    const TRangeBlock& RangeEnd() const { return rangeEnd_; }
    bool SameRangeShape() const { return sameRangeShape_; }
    // True while GetIndexDescs runs (the engines read it).
    bool ListingIndexes() const { return listingIndexes_; }
    TQuillonFieldCache& FieldCache() { return fieldCache_; }
    TQuillonCollection& Filters() { return filters_; }
    TEngineIndexDesc& IndexDesc() { return indexDesc_; }
    std::array<TKeyPart, 64>& KeyParts() { return keyParts_; }

    virtual const char* GetTableName() const { return tableName_.c_str(); }
    virtual void SetTableName(const char* name);
    virtual const char* GetFileName() const { return fileName_.c_str(); }
    virtual void SetFileName(const char* name);

    virtual void CheckRange(const uint8_t* record);
    virtual uint16_t GetRecordSize() const { return recordSize_; }
    void SetRecordSize(uint16_t size) { recordSize_ = size; }
    virtual uint16_t GetRecBufSize();
    virtual uint16_t GetBookmarkSize() const { return 256; }
    virtual void FindFieldDesc(uint16_t offsetPlusOne, uint16_t length, TEngineFieldDesc& desc);
    virtual int MapRangeSearchCond(bool inclusive, bool isStart) const;

    // Engine primitives: read that record into the record buffer of the call.
    virtual void PhysFirst() { RaiseBOF(); }
    virtual void PhysLast() { RaiseEOF(); }
    virtual void PhysNext() { RaiseEOF(); }
    virtual void PhysPrior() { RaiseBOF(); }
    virtual void FieldToLogical(uint16_t localType, uint16_t localSize, bool& blank, void* value,
                                const uint8_t* fieldData, uint16_t fieldLength, int16_t units) {
        blank = false;
    }
    virtual void FieldToPhysical(uint16_t localType, uint16_t localSize, uint8_t* fieldData, const void* value,
                                 uint16_t fieldLength, int16_t units) {}
    // Sign of value1 against value2 by logical type.
    virtual int CompareFieldValues(uint16_t type, TFieldCacheItem* item, const void* value2, const void* value1,
                                   bool caseInsensitive, uint16_t length);
    virtual void GetFieldValue(TFieldCacheItem& item, uint8_t* record, bool& blank, void* value);
    virtual void PutFieldValue(TFieldCacheItem& item, const void* value);
    virtual bool HasNullFlags() const { return false; }
    virtual void GetFieldCountAndRecLen(uint16_t& count, uint16_t& recordLength);

    virtual void OpenCursor() { state_ = cursorstate::Unpositioned; }
    virtual void CloseCursor() { state_ = cursorstate::Closed; }
    virtual void CloneCursor(bool readOnly, bool unidirectional, TBaseTable*& cursor);
    virtual void GetFieldDesc(uint16_t fieldNumber, uint16_t& localSize, uint16_t& localType, TEngineFieldDesc& desc) {
        RaiseUnsupported(9060);
    }
    // One descriptor per cached field; the array holds the cursor's field count.
    virtual void GetFieldDescs(TEngineFieldDesc* descs);
    virtual void SetToBegin() { state_ = cursorstate::BeforeFirst; }
    virtual void SetToEnd() { state_ = cursorstate::AfterLast; }
    virtual void SetToCursor(TBaseTable* target);
    virtual void GetBookMark(void* bookmark) { RaiseUnsupported(9040); }
    // Whether a next or prior move that fails leaves the cursor able to answer the bookmark
    // of the record it stands on now, so that a caller about to leave that record need not
    // read its bookmark first.
    virtual bool HoldsPlaceOnFailedMove() { return false; }
    virtual void SetToBookMark(const void* bookmark) { RaiseUnsupported(9041); }
    virtual void ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) { RaiseUnsupported(9073); }
    virtual const void* BookmarkToKey(const void* bookmark) { return bookmark; }
    virtual void CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result);
    virtual void GoFirstInRange();
    virtual void GoLastInRange();
    virtual void FillRecProps(TRecordProps* props) {}
    virtual void GetNextRecord(int lock, uint8_t* record, TRecordProps* props);
    virtual void GetPriorRecord(int lock, uint8_t* record, TRecordProps* props);
    virtual void RereadCurrent(int lock, uint8_t* record);
    virtual void GetRecord(int lock, uint8_t* record, TRecordProps* props);
    virtual void GetRelativeRecord(int32_t count, int lock, TRecordProps* props, uint8_t* record);
    virtual void GetRecordForKey(bool directKey, uint16_t fieldCount, uint16_t partialLength, const void* key,
                                 uint8_t* record) {
        RaiseEngineError(rc::InvalidHandle);
    }
    virtual void GetVChkDesc(uint16_t checkNumber, TValCheckDesc& desc) { RaiseUnsupported(9042); }
    virtual void AcqTableLock(int lock) { RaiseUnsupported(9044); }
    virtual void RelTableLock(int lock) { RaiseUnsupported(9045); }
    virtual void ReleaseLockPrim(bool all) {}
    virtual void RelRecordLock(bool all) { ReleaseLockPrim(all); }
    virtual void InitRecord(uint8_t* record);
    virtual void InsertRecord(int lock, uint8_t* record) {}
    virtual void ModifyRecord(uint8_t* record, bool releaseLock) {}
    virtual void DeleteRecord(uint8_t* record) {}
    virtual void AppendRecord(uint8_t* record) { InsertRecord(0, record); }
    // count: in the number asked for, out the number done. The buffer holds bufferSize bytes.
    virtual void ReadBlock(uint32_t& count, uint8_t* buffer, size_t bufferSize);
    virtual void WriteBlock(uint32_t& count, uint8_t* buffer, size_t bufferSize);
    virtual void GetSeqNo(uint32_t& number) { RaiseUnsupported(9048); }
    virtual void SetToSeqNo(uint32_t number) { RaiseUnsupported(9049); }
    virtual void GetCursorProps(TCursorProps& props);
    virtual void GetRecordCount(uint32_t& count);
    virtual void GetExactRecordCount(uint32_t& count) { GetRecordCount(count); }
    virtual void GetPhysPosition(uint32_t& position) { RaiseUnsupported(9050); }
    virtual void SetToPhysPosition(uint32_t position) { RaiseUnsupported(9051); }
    void ResetCreateFlag() { createFlag_ = 0; }
    virtual void ForceReread() { rereadPending_ = true; }
    virtual void ForceRecordReread(uint8_t* record);
    virtual void CreatePhysical(const char* name, bool overwrite) { ResetCreateFlag(); }
    virtual void SetRange(bool keyItself, uint16_t startFieldCount, uint16_t startPartialLength, const void* startKey,
                          bool startInclusive, uint16_t endFieldCount, uint16_t endPartialLength, const void* endKey,
                          bool endInclusive);
    virtual void ResetRange();
    virtual void CompareKeys(const void* key1, const void* key2, int32_t& result, uint16_t partialLength,
                             uint16_t fieldCount);
    // "@A@B": the index whose key is exactly those fields; a name without "@" is copied out.
    virtual void IndexForFields(const char* fieldList, uint16_t& indexNumber, char* indexName);
    virtual void SwitchToIndex(const char* indexName, const char* tagName, uint16_t indexNumber, bool keepPosition) {
        RaiseUnsupported(9053);
    }
    // condition: 0 equal, 1 greater, 2 greater or equal.
    virtual void SetToKey(int condition, bool keyItself, const void* key, uint16_t partialLength, uint16_t fieldCount);
    virtual void KeySearch(int searchCondition, bool keyItself, uint8_t* record, const void* key,
                           uint16_t partialLength, uint16_t fieldCount) {
        RaiseEngineError(rc::NotAvailable);
    }
    virtual void ExtractKey(const uint8_t* record, void* key);
    virtual void ExtractKeyRaw(const uint8_t* record, void* key, uint16_t& keyLength, uint16_t partialLength,
                               uint16_t fieldCount) {
        RaiseEngineError(rc::NotAvailable);
    }
    virtual void GetIndexDesc(uint16_t indexNumber, TEngineIndexDesc& desc);
    virtual void GetIndexDescs(TEngineIndexDesc* descs);
    virtual void DeleteAllRecords();
    virtual void EmptyTable();
    virtual void AddIndex(const TEngineIndexDesc& desc) { RaiseUnsupported(9054); }
    virtual void DeleteIndex(const char* indexName, const char* tagName, uint16_t indexNumber) {
        RaiseUnsupported(9055);
    }
    virtual void BeginDelayedUpdates(TBaseTable*& cursor);
    virtual void EndDelayedUpdates(TBaseTable*& cursor) { RaiseUnsupported(9056); }
    virtual void ApplyDelayedUpdates(int command) { RaiseUnsupported(9057); }
    virtual void GetUpdateCache(TBaseTable*& table) { RaiseUnsupported(9058); }
    virtual void SetLockMode(int mode) {}
    virtual void SetUpdateHint(int hint) {}
    void* GetHandleAddr() { return &userWord_; }
    virtual void OpenBlob(uint8_t* record, uint16_t field, int openMode) { RaiseUnsupported(9061); }
    virtual void GetBlobSize(uint8_t* record, uint16_t field, uint32_t& size) { RaiseUnsupported(9062); }
    virtual void GetBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, void* destination,
                         uint32_t& bytesRead) {
        RaiseUnsupported(9063);
    }
    virtual void PutBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, const void* source) {
        RaiseUnsupported(9064);
    }
    virtual void TruncateBlob(uint8_t* record, uint16_t field, uint32_t length) {
        PutBlob(record, field, length, 0, nullptr);
    }
    virtual void FreeBlob(uint8_t* record, uint16_t field) {}
    virtual void GetField(uint16_t fieldNumber, uint8_t* record, bool& blank, void* value);
    virtual void PutField(uint16_t fieldNumber, uint8_t* record, const void* value);
    virtual void VerifyField(uint16_t fieldNumber, uint8_t* record, bool& blank) {
        GetField(fieldNumber, record, blank, nullptr);
    }

    // Filters.
    virtual void UpdateFilterFlag();
    virtual void AddFilter(intptr_t clientData, uint16_t priority, bool canAbort, const uint8_t* expression,
                           TFilterCallback callback, TFilterListItem*& filter);
    virtual void DropFilter(TFilterListItem* filter);
    virtual void ActivateFilter(TFilterListItem* filter);
    virtual void DeactivateFilter(TFilterListItem* filter);
    virtual void GetFilterInfo(TFilterListItem* filter, TFilterInfo& info);
    virtual bool RecordPassesFilters(uint8_t* record);

    virtual void RegisterCallBack(const TCallBackArgs& args) { RaiseUnsupported(9094); }
    virtual void CallBackInfo(TCallBackArgs& args) { RaiseUnsupported(9095); }

protected:
    // Range check and filter loop after a move (nothing for a null record).
    void RangeAndFilterLoop(uint8_t* record);
    void FillRangeBlock(TRangeBlock& block, bool keyItself, uint16_t fieldCount, uint16_t partialLength,
                        const void* key, bool inclusive);
    void ActivateRangeBlock(TRangeBlock& block);
    void SetFiltersActive(bool active) { filtersActive_ = active; }
    uint16_t RecLenCache() const { return recLenCache_; }
    void SetDirection(uint8_t direction) { direction_ = direction; }

    uint8_t state_ = cursorstate::Closed;
    uint8_t direction_ = 1;
    bool rereadPending_ = false;
    bool listingIndexes_ = false;

private:
    int32_t CompareOneKeyField(int i, const uint8_t*& key1, const uint8_t*& key2, uint16_t size, bool& decided);

    uint8_t* recBuf_ = nullptr;
    uint8_t* lastRecBuf_ = nullptr;
    uint32_t userWord_ = 0;
    uint16_t recordSize_ = 0;
    uint16_t recLenCache_ = 0;
    TRangeBlock rangeStart_;
    TRangeBlock rangeEnd_;
    bool filtersActive_ = false;
    int32_t openMode_;
    int32_t shareMode_;
    uint8_t createFlag_ = 0;
    std::vector<uint8_t> extraBuf_;
    TEngineIndexDesc indexDesc_{};
    std::array<TKeyPart, 64> keyParts_{};
    bool sameRangeShape_ = false;
    AnsiString indexName_;
    AnsiString tableName_;
    AnsiString fileName_;
    TQuillonFieldCache fieldCache_;
    TQuillonCollection filters_;
};

// A cursor that only lists: every write is refused rather than ignored.
class TReadOnlyTable : public TBaseTable {
public:
    using TBaseTable::TBaseTable;
    void InsertRecord(int, uint8_t*) override { RaiseEngineError(rc::TableReadOnly); }
    void AppendRecord(uint8_t*) override { RaiseEngineError(rc::TableReadOnly); }
    void ModifyRecord(uint8_t*, bool) override { RaiseEngineError(rc::TableReadOnly); }
    void DeleteRecord(uint8_t*) override { RaiseEngineError(rc::TableReadOnly); }
};

// A handle made for one operation (a cursor, a list, a statement): freed on every
// path, a cursor closed first unless `close` is cleared.
template <class T>
class TTemporary {
public:
    TTemporary() = default;
    ~TTemporary() {
        if (!item) return;
        if constexpr (std::is_base_of_v<TBaseTable, T>) {
            try {
                if (close) item->CloseCursor();
            } catch (...) {
            }
        }
        FreeHandle(item);
    }
    TTemporary(const TTemporary&) = delete;
    TTemporary& operator=(const TTemporary&) = delete;
    T* item = nullptr;
    bool close = true;
};

// Hands out a cursor just made once it is open; a cursor that does not open is freed
// again, so that no caller is left holding a half-made one.
template <class T>
T* OpenNewCursor(T* cursor) {
    try {
        cursor->OpenCursor();
    } catch (...) {
        FreeHandle(cursor);
        throw;
    }
    return cursor;
}

}  // namespace btrieve
