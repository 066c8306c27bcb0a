// TMemDataSet: the dataset component of the Oracle library. It presents a TData
// record store through the platform's dataset framework (browse, edit, filter,
// cached updates) and owns the store; the SQL dataset replaces the in-memory store
// by a back-end record set. TBlobStream is the stream over one blob field of the
// current record. Also the two mappings between type codes and field types.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "oracle/core/Data.h"
#include "platform/DataSet.h"
#include "platform/Streams.h"

namespace oracle {

// Framework field type of a data type code; "Unknown data type" for codes without one.
platform::TFieldType FieldTypeForDataType(TDataType code);
// Data type code of a framework field type (parameters); 0 for types without one.
TDataType DataTypeForFieldType(platform::TFieldType type);

// Asks OnUpdateRecord's caller to run the built-in apply.
inline constexpr int uaDefault = 10;

class TMemDataSet : public platform::TDataSet {
public:
    using TUpdateErrorEvent = std::function<void(platform::TDataSet&, const platform::EDatabaseError&,
                                                 platform::TUpdateKind, int& action)>;
    using TUpdateRecordEvent = std::function<void(platform::TDataSet&, platform::TUpdateKind, int& action)>;

    explicit TMemDataSet(platform::TComponent* owner);
    ~TMemDataSet() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TData* Data() const { return data_.get(); }
    bool CachedUpdates() const { return cachedUpdates_; }
    void SetCachedUpdates(bool value);
    bool LocalUpdate = false;
    bool LocalConstraints = true;
    bool NumberRange = false;
    TUpdateErrorEvent OnUpdateError;
    TUpdateRecordEvent OnUpdateRecord;

    bool Prepared() const { return data_ && data_->Prepared(); }
    // "DataSet is not prepared" unless the store is.
    void CheckPrepared() const;
    virtual void PrepareDataSet();
    virtual void UnprepareDataSet();

    // The record buffer that field access uses in the current state, or nil.
    char* StateBuffer();
    // Whether the store is applying a cached change: the fields then show that record.
    bool ApplyingCachedChange() const { return applyBuffer_ != nullptr; }

    void SetFilter(const platform::AnsiString& text) override;
    void SetFiltered(bool value) override;
    void SetFilterOptions(platform::TFilterOptions options) override;
    void SetOnFilterRecord(TFilterRecordEvent handler) override;

    bool ReadFieldData(platform::TField* field, void* dest) override;
    bool ReadFieldDataByNumber(int fieldNo, void* dest) override;
    void StoreFieldData(platform::TField* field, const void* value) override;
    std::unique_ptr<platform::TStream> OpenBlobStream(platform::TField* field, platform::TBlobStreamMode mode) override;
    bool IsBookmarkValid(const platform::TBookmark& bookmark) override;
    // In the filter state: the bookmark of the record under test.
    platform::TBookmark CurrentBookmarkString() override;
    int OrderBookmarks(const platform::TBookmark& a, const platform::TBookmark& b) override;
    int CountRecords() override;
    int CurrentRecordNumber() override;
    void MoveToRecordNumber(int recordNumber) override;
    bool HasSequenceNumbers() override { return true; }
    platform::TUpdateStatus RecordUpdateStatus() override;
    void CancelChanges() override;
    // A dataset of this kind receives CachedUpdates, LocalConstraints and LocalUpdate.
    void CopyToTarget(platform::TPersistent& target) const override;
    void ChangeBlockReadSize(int size) override;
    bool LocateByValues(const platform::AnsiString& keyFields, const platform::Variant& keyValues,
                        platform::TLocateOptions options) override;
    platform::Variant LookupValues(const platform::AnsiString& keyFields, const platform::Variant& keyValues,
                                   const platform::AnsiString& resultFields) override;

protected:
    // Store binding; a derived dataset creates its own store in its constructor.
    virtual void CreateRecordStore();
    virtual void AttachRecordStore(std::unique_ptr<TData> store);
    virtual void FieldDefsFromStore();
    virtual platform::TFieldType FieldTypeFor(TDataType code) { return FieldTypeForDataType(code); }
    virtual void ApplyNumberRanges(platform::TFieldDef& def);
    virtual void PostRecordChanges();
    virtual void ApplyInsert() {}
    virtual void ApplyDelete() {}
    virtual void ApplyUpdate() {}

    void ActivateCursor(bool infoOnly) override;
    void DeactivateCursor() override;
    void StorageOpen() override;
    void StorageClose() override;
    bool StorageIsOpen() override { return data_->Active(); }
    void StorageLoadFieldDefs() override;
    void StorageRefresh() override { data_->Reopen(); }
    platform::TGetResult FetchRecord(char* buffer, platform::TGetMode mode, bool check) override;
    char* NewRecordBuffer() override;
    void DisposeRecordBuffer(char*& buffer) override;
    int RecordBufferSize() override { return data_->RecordSize(); }
    void ResetRecordBuffer(char* buffer) override;
    void StorageInitRecord(char* buffer) override;
    void ReadBookmarkData(const char* buffer, platform::TBookmark& bookmark) override;
    void WriteBookmarkData(char* buffer, const platform::TBookmark& bookmark) override;
    platform::TBookmarkFlag ReadBookmarkFlag(const char* buffer) override;
    void WriteBookmarkFlag(char* buffer, platform::TBookmarkFlag flag) override;
    void StorageToStart() override { data_->SetToBegin(); }
    void StorageToEnd() override { data_->SetToEnd(); }
    void StorageToBookmark(const platform::TBookmark& bookmark) override;
    void StorageToRecord(char* buffer) override;
    void StorageEdit() override;
    void StorageInsert() override { inserting_ = true; }
    void StoragePost() override;
    void StorageCancel() override;
    void StorageAddRecord(char* buffer, bool append) override;
    void StorageDelete() override { data_->DeleteRecord(); }
    // To the application's exception handler, else the platform's display: never lost.
    void StorageHandleError(const std::exception& error) override;
    friend class TBlobStream;
    void FireOnNewRecord() override;
    bool SearchRecord(bool restart, bool goForward) override;

    // Options of the record search: case-insensitive, partial key, nearest, from the
    // current record on, backwards.
    enum TLocateFlag { lfCaseInsensitive = 1, lfPartialKey = 2, lfNearest = 4, lfContinue = 8, lfBackward = 16 };
    // Finds the first record whose key fields match; found leaves the store on it unless
    // keepPosition. found receives the record.
    bool LocateRecord(const platform::AnsiString& keyFields, const platform::Variant& keyValues, int options,
                      bool keepPosition, TRecordBuffer& found);

private:
    // Record information behind the calculated area of a buffer.
    struct TRecordInfo {
        int32_t RecordNumber;
        uint8_t UpdateStatus;
        uint8_t BookmarkFlag;
        uint8_t Unused[2];
    };
    TRecordInfo& InfoOf(char* buffer) const { return *reinterpret_cast<TRecordInfo*>(buffer + recordInfoOffset_); }
    static TBookmark DecodeBookmark(const platform::TBookmark& bookmark);
    void ApplyRecord(TUpdateKind kind, TUpdateAction& action);
    void WithModifiedKept(void (TMemDataSet::*apply)());
    void ActivateFilters();
    void DeactivateFilters();
    bool RecordFilter(const void* record);
    // After a filter change on an open dataset: the store renumbers, the window refills.
    void RefreshFiltered();
    void FreeBuffer(std::vector<char>& buffer);
    // Object view: object fields, their members included, carry the names of their types.
    void NameObjectTypes(platform::TFields& fields);

    std::unique_ptr<TData> data_;
    std::vector<char> spareBuffer_;
    char* filterBuffer_ = nullptr;
    char* lookupBuffer_ = nullptr;  // the record a lookup reads its result fields from
    char* applyBuffer_ = nullptr;   // the cached change being applied
    bool cachedUpdates_ = false;
    bool inserting_ = false;
    bool editing_ = false;
    int recordInfoOffset_ = 0;
    int bookmarkOffset_ = 0;
    int bufferSize_ = 0;
};

// Stream over one blob field of the dataset's current record.
class TBlobStream : public platform::TStream {
public:
    TBlobStream(platform::TField* field, platform::TBlobStreamMode mode);
    ~TBlobStream() override;

    int32_t StreamRead(void* buffer, int32_t count) override;
    int32_t StreamWrite(const void* buffer, int32_t count) override;
    int64_t Reposition(int64_t offset, platform::TSeekOrigin origin) override;
    // Cuts the value at the position.
    void Truncate();

private:
    platform::TField* field_;
    TMemDataSet* dataSet_;
    char* buffer_ = nullptr;
    platform::TBlobStreamMode mode_;
    int fieldNo_;
    bool opened_ = false;
    bool modified_ = false;
    int64_t position_ = 0;
};

}  // namespace oracle
