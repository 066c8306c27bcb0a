// TQnBDEDataset: the dataset framework over one engine cursor reached through the
// facade. It fills record buffers from the cursor, builds field definitions from the
// cursor's descriptors, reads and writes fields and blobs, keeps bookmarks, posts,
// deletes and counts, reads in blocks, and offers key ranges, index switching,
// filters, Locate and Lookup, and cached updates. The table component supplies the
// cursor; the engine binding supplies the facade.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <vector>

#include "btrieve/base/EngineRecords.h"
#include "btrieve/base/FilterListItem.h"
#include "btrieve/components/CallHelpers.h"
#include "platform/DataSet.h"

namespace btrieve {

class TVirtEng;
class TBaseTable;
class TQnSessionlist;
class TQnSession;
class TQnBDEDataset;

// An object that applies cached updates for a dataset; the dataset layer only links it.
class TQnDataSetUpdateObject : public platform::TComponent {
public:
    using platform::TComponent::TComponent;
    virtual TQnBDEDataset* GetDataSet() = 0;
    virtual void SetDataSet(TQnBDEDataset* dataSet) = 0;
    virtual void Apply(platform::TUpdateKind kind) = 0;
};

class TQnBDEDataset : public platform::TDataSet {
public:
    using TUpdateErrorEvent = std::function<void(platform::TDataSet&, const platform::EDatabaseError&,
                                                 platform::TUpdateKind, platform::TUpdateAction&)>;
    using TUpdateRecordEvent =
        std::function<void(platform::TDataSet&, platform::TUpdateKind, platform::TUpdateAction&)>;

    // Key buffer header: modified, exclusive, field count; the record part follows.
    static constexpr int kKeyHeaderSize = 6;
    enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave, kiCount };

    explicit TQnBDEDataset(platform::TComponent* owner);
    ~TQnBDEDataset() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    void AfterConstruction() override;

    // ---- engine binding ----
    virtual TVirtEng* EngineInstance() = 0;
    virtual void BindSessionList() = 0;
    virtual TQnSession* PrimarySession() = 0;
    virtual TBaseTable* CreateEngineCursor() { return nullptr; }
    virtual void DestroyEngineCursor();
    virtual void ReleaseLookupCursor() {}
    virtual TBaseTable* LookupCursorForFields(const AnsiString& fields, bool caseInsensitive) { return nullptr; }
    virtual void AfterCursorCreated() {}

    TBaseTable* Cursor() const { return cursor_; }
    void SetCursor(TBaseTable* cursor) { cursor_ = cursor; }
    // The facade, for a call on the cursor. A bookmark the last fetch left unread is read
    // first, while the cursor still stands on its record.
    TVirtEng& Engine();

    // ---- dataset operations ----
    bool IsBookmarkValid(const platform::TBookmark& bookmark) override;
    int OrderBookmarks(const platform::TBookmark& a, const platform::TBookmark& b) override;
    int CountRecords() override;
    int CurrentRecordNumber() override;
    void MoveToRecordNumber(int recordNumber) override;
    bool HasSequenceNumbers() override;
    bool IsModifiable() override;
    platform::TUpdateStatus RecordUpdateStatus() override;
    bool CopyCurrentRecord(char* buffer) override;
    bool ReadFieldData(platform::TField* field, void* dest) override;
    bool ReadFieldDataByNumber(int fieldNo, void* dest) override;
    void StoreFieldData(platform::TField* field, const void* value) override;
    int ReadBlobFieldData(int fieldNo, std::vector<char>& data) override;
    void ReleaseBlobField(platform::TField* field) override;
    platform::Variant FieldValueInState(platform::TDataSetState state, platform::TField* field) override;
    void StoreFieldValueInState(platform::TDataSetState state, platform::TField* field,
                                const platform::Variant& value) override;
    AnsiString QualifiedFieldName(platform::TField* field) override;
    bool IsIndexedField(platform::TField* field) override;
    int ConvertCharset(const char* source, char* dest, bool toNative) override;
    void PostChanges() override;
    void CancelChanges() override;
    void ChangeBlockReadSize(int size) override;
    bool LocateByValues(const AnsiString& keyFields, const platform::Variant& keyValues,
                        platform::TLocateOptions options) override;
    platform::Variant LookupValues(const AnsiString& keyFields, const platform::Variant& keyValues,
                                   const AnsiString& resultFields) override;
    void SetFilter(const AnsiString& text) override;
    void SetFilterOptions(platform::TFilterOptions options) override;
    void SetFiltered(bool value) override;
    void SetOnFilterRecord(TFilterRecordEvent handler) override;

    // ---- record layout ----
    int RecordSize() const { return recordSize_; }
    int RecBufSize() const { return recBufSize_; }
    int RecInfoOfs() const { return recInfoOfs_; }
    int BookmarkOfs() const { return bookmarkOfs_; }
    int BlobCacheOfs() const { return blobCacheOfs_; }
    bool CacheBlobs() const { return cacheBlobs_; }
    void SetCacheBlobs(bool value) { cacheBlobs_ = value; }
    // The record buffer of the current state (none when there is none).
    char* GetActiveRecBuf();
    // Blob cache of a record buffer, one slot per blob field.
    const std::optional<AnsiString>* GetBlobData(platform::TField* field, const char* buffer);
    void SetBlobData(platform::TField* field, const char* buffer, const AnsiString& data);
    void ClearBlobCacheEntry(platform::TField* field, const char* buffer);
    void ClearBlobCache(const char* buffer);
    bool IsActiveBuffer(const char* buffer) const { return buffer && buffer == ActiveBuffer(); }
    // Reads the active record from the cursor again (before a blob of it is opened).
    void RereadActiveRecord();

    // ---- index information and key ranges ----
    void GetIndexInfo();
    int KeyFieldCount() const { return keyFieldCount_; }
    int KeySize() const { return keySize_; }
    platform::TField* IndexField(int index);
    void SetIndexField(int index, const platform::Variant& value);
    bool MapsToIndex(const std::vector<platform::TField*>& fields, bool caseInsensitive);
    void SwitchToIndex(const AnsiString& indexName, const AnsiString& tagName);
    void SetLinkRanges(const std::vector<platform::TField*>& masterFields);
    bool SetCursorRange();
    bool ResetCursorRange();
    char* KeyBuffer(TKeyIndex index) { return keyBuffers_[index].empty() ? nullptr : keyBuffers_[index].data(); }
    void PostKeyBuffer(bool commit);

    // ---- cached updates ----
    bool CachedUpdates() const { return cachedUpdates_; }
    void SetCachedUpdates(bool value);
    TQnDataSetUpdateObject* UpdateObject() const { return updateObject_; }
    void SetUpdateObject(TQnDataSetUpdateObject* value);
    TUpdateErrorEvent OnUpdateError;
    TUpdateRecordEvent OnUpdateRecord;
    void CheckCachedUpdateMode();
    bool UpdateCallbackRequired() const;
    bool ForceUpdateCallback() const;

    // ---- filters ----
    TFilterListItem* ExprFilter() const { return exprFilter_; }
    TFilterListItem* FuncFilter() const { return funcFilter_; }
    bool FilterCallback(const uint8_t* record);
    bool LocateRecord(const AnsiString& keyFields, const platform::Variant& keyValues, platform::TLocateOptions options,
                      bool moveCursor);

protected:
    void ActivateCursor(bool infoOnly) override;
    void DeactivateCursor() override;
    void StorageOpen() override;
    void StorageClose() override;
    bool StorageIsOpen() override { return cursor_ != nullptr; }
    void StorageHandleError(const std::exception& error) override;
    void StorageLoadFieldDefs() override;
    void StorageRefresh() override;
    platform::TGetResult FetchRecord(char* buffer, platform::TGetMode mode, bool check) override;
    char* NewRecordBuffer() override;
    void DisposeRecordBuffer(char*& buffer) override;
    int RecordBufferSize() override { return recordSize_; }
    void ResetRecordBuffer(char* buffer) override;
    void StorageInitRecord(char* buffer) override;
    void ResetCalcFieldArea(char* buffer) override;
    void ReadBookmarkData(const char* buffer, platform::TBookmark& bookmark) override;
    void WriteBookmarkData(char* buffer, const platform::TBookmark& bookmark) override;
    platform::TBookmarkFlag ReadBookmarkFlag(const char* buffer) override;
    void WriteBookmarkFlag(char* buffer, platform::TBookmarkFlag flag) override;
    void StorageToStart() override;
    void StorageToEnd() override;
    void StorageToBookmark(const platform::TBookmark& bookmark) override;
    void StorageToRecord(char* buffer) override;
    void StorageEdit() override;
    void StorageInsert() override;
    void StoragePost() override;
    void StorageCancel() override;
    void StorageAddRecord(char* buffer, bool append) override;
    void StorageDelete() override;
    bool SearchRecord(bool restart, bool goForward) override;
    void NextInBlockRead() override;

    // Field definitions from descriptors; fieldNo counts on across calls.
    void AddFieldDesc(const std::vector<TEngineFieldDesc>& descs, size_t& index, platform::TFieldDefs& defs,
                      const platform::TBits& required, int& fieldNo);
    void InitBufferPointers(bool reread);
    void ReallocBuffers();
    char* GetOldRecord();
    void Check(uint16_t code);
    // Drops the buffer window and builds it again after the layout changed.
    void RebuildBufferList();
    // Leaves the dataset closed, its cursor with it, after its buffers could not be rebuilt.
    void CloseAfterFailedRebuild();

private:
    struct TRecInfo;
    TRecInfo& InfoOf(char* buffer) const;
    // The facade as it is: for the fetch, which settles an unread bookmark itself, and for
    // field reads of a record buffer, which leave the cursor where it is.
    TVirtEng& BareEngine();
    void ReadUnreadBookmark(TVirtEng& engine);
    // Whether a fetch may leave the unread bookmark of `leaving` unread: when it succeeds
    // the window of one record moves on and drops that record; when it fails the cursor
    // still answers for the record.
    bool MayLeaveUnread(TVirtEng& engine, const char* leaving, platform::TGetMode mode);
    void AllocKeyBuffers();
    void FreeKeyBuffers();
    void InitKeyBuffer(std::vector<char>& buffer);
    void AllocCachedUpdateBuffers(bool allocate);
    void SetUpdateCallback(bool on);
    TFilterListItem* CreateExprFilter(const AnsiString& text, platform::TFilterOptions options, uint16_t priority);
    TFilterListItem* CreateFuncFilter(uint16_t priority);
    TFilterListItem* CreateLookupFilter(const std::vector<platform::TField*>& fields, const platform::Variant& values,
                                        uint16_t priority, platform::TLocateOptions options);
    void ActivateFilters();
    void DeactivateFilters();
    void ChangeFilter(TFilterListItem*& filter, TFilterListItem* replacement);
    void FreeBlockBuffer();
    void GetObjectTypeNames(platform::TFields& fields);
    bool CanBlockRead();
    void SetFilterData(const AnsiString& text, platform::TFilterOptions options);
    std::vector<uint8_t> ExpressionFor(const AnsiString& text, platform::TFilterOptions options);

    TBaseTable* cursor_ = nullptr;
    // The buffer of the record the last fetch delivered, its bookmark not read yet: most
    // records of a scan are left before anyone asks for theirs, and reading one costs the
    // engine a call. The cursor stands on that record.
    char* unreadBookmark_ = nullptr;
    TRecordProps recordProps_{};
    TFilterListItem* exprFilter_ = nullptr;
    TFilterListItem* funcFilter_ = nullptr;
    char* filterBuffer_ = nullptr;
    std::array<uint16_t, 16> keyFieldNumbers_{};
    int keyFieldCount_ = 0;
    int keySize_ = 0;
    bool expressionIndex_ = false;
    bool caseInsensitiveIndex_ = false;
    std::unique_ptr<TQnBDECallback> updateCallback_;
    bool inUpdateCallback_ = false;
    std::vector<char> oldRecord_;
    std::vector<char> newRecord_;
    std::array<std::vector<char>, kiCount> keyBuffers_;
    TKeyIndex currentKey_ = kiRangeStart;
    int16_t seqNums_ = 0;
    // Sizes of the record layout: 32 bits, so that large records cannot wrap them.
    int recordSize_ = 0;
    int bookmarkOfs_ = 0;
    int recInfoOfs_ = 0;
    int blobCacheOfs_ = 0;
    int recBufSize_ = 0;
    bool canModify_ = false;
    bool cacheBlobs_ = true;
    bool constraintLayer_ = false;
    int blockSize_ = 0;
    int blockIndex_ = 0;
    int blockCount_ = 0;
    int blockTotal_ = 0;
    // The block buffer's first slot holds the active record, read when block reading began.
    bool activeRecordInBlock_ = false;
    std::vector<uint8_t> blockBuffer_;
    bool cachedUpdates_ = false;
    TQnDataSetUpdateObject* updateObject_ = nullptr;
    std::map<const char*, std::vector<std::optional<AnsiString>>> blobCache_;
    std::vector<char> scratch_;
};

}  // namespace btrieve
