// TData: the abstract record store of the Oracle library. It fixes the record
// layout from its field descriptors, reads and writes single field values in
// caller-owned record buffers, runs the prepare/open life cycle and holds the
// filter settings. TMemData keeps records in memory; back ends fetch them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/DataTypes.h"
#include "oracle/core/FieldDesc.h"
#include "platform/Variant.h"

namespace oracle {

class TBlob;
class TObjectType;
class TFilterExpression;
class TDBObject;

// Most elements of an array type that are given descriptors.
inline constexpr int MaxArrayItems = 100;

// Position of a record, as the dataset stores it in its record buffers. The item
// serial lets a store tell whether the record it named still exists.
struct TBookmark {
    int32_t Generation = 0;
    int32_t RecordNo = -1;
    uint32_t ItemSerial = 0;
    void* Item = nullptr;
};
inline constexpr int BookmarkSize = sizeof(TBookmark);

// A scratch record of a store's RecordSize bytes.
using TRecordBuffer = std::vector<uint8_t>;

class TData {
public:
    using THandler = std::function<void()>;
    using TApplyRecordHandler = std::function<void(TUpdateKind, TUpdateAction&)>;
    using TFilterFunc = std::function<bool(const void* record)>;

    TData();
    TData(const TData&) = delete;
    TData& operator=(const TData&) = delete;
    // Stores whose InternalClose/InternalUnprepare matter call Close in their own destructor.
    virtual ~TData();

    THandler InsertRecordHandler;
    THandler DeleteRecordHandler;
    THandler UpdateRecordHandler;
    TApplyRecordHandler ApplyRecordHandler;
    bool AutoInitFields = true;
    bool KeepPrepared = false;
    bool TrimFixedChar = false;
    bool KeepEmptyStrings = false;
    TFilterFunc FilterFunc;
    bool FilterCaseInsensitive = false;
    bool FilterNoPartialCompare = false;

    int RecordSize() const { return recordSize_; }
    int DataSize() const { return dataSize_; }
    bool DeferredFields() const { return deferredFields_; }
    bool Active() const { return active_; }
    bool Prepared() const { return prepared_; }
    bool AutoPrepared() const { return autoPrepared_; }
    bool CachedUpdates() const { return cachedUpdates_; }
    void SetCachedUpdates(bool value);
    TItemTypes FilterItemTypes() const { return filterItemTypes_; }
    int RecordNoOffset() const { return recordNoOffset_; }
    const void* FilterRecBuf() const { return filterRecBuf_; }
    void* NewCacheRecBuf() const { return newCacheRecBuf_; }
    void* OldCacheRecBuf() const { return oldCacheRecBuf_; }

    TFieldDescs& Fields() { return fields_; }
    const TFieldDescs& Fields() const { return fields_; }
    int FieldCount() const { return fields_.Count(); }
    TFieldDesc* FindField(const std::string& name) const { return fields_.FindField(name); }
    TFieldDesc* FieldByName(const std::string& name) const { return fields_.FieldByName(name); }

    // Life cycle.
    virtual void Open();
    virtual void Close();
    virtual void Prepare();
    virtual void Unprepare();
    virtual void Reopen();
    virtual void InitFields();

    // Field values; field numbers are 1-based. dest/value are in the framework's native form.
    virtual void GetField(int fieldNo, const void* record, void* dest, bool& isNull);
    virtual bool GetNull(int fieldNo, const void* record);
    virtual void SetNull(int fieldNo, void* record, bool isNull);
    // value nil stores null.
    void PutField(int fieldNo, void* record, const void* value);
    virtual void GetFieldAsVariant(int fieldNo, const void* record, platform::Variant& value);
    virtual void PutFieldAsVariant(int fieldNo, void* record, const platform::Variant& value);
    virtual void GetDateFromBuf(const void* source, void* dest, int format);
    virtual void PutDateToBuf(void* dest, const void* source, int format);
    virtual TDataTypeSet GetBlobTypes() const;
    virtual TDataTypeSet GetComplexTypes() const;

    // Records.
    virtual bool Eof() const { return eof_; }
    virtual bool Bof() const { return bof_; }
    virtual int GetRecordCount() { return -1; }
    virtual int GetRecordNo() { return -1; }
    virtual void SetRecordNo(int) {}
    virtual void GetRecord(void* dest) = 0;
    virtual void GetNextRecord(void* dest) = 0;
    virtual void GetPriorRecord(void* dest) = 0;
    virtual void PutRecord(const void* source) = 0;
    virtual void AppendRecord(const void* source) = 0;
    virtual void InsertRecord(const void* source) = 0;
    virtual void UpdateRecord(const void* source) = 0;
    virtual void DeleteRecord() = 0;
    virtual void CancelRecord(void* record);
    virtual void CreateComplexFields(void* record, bool withBlobs);
    virtual void FreeComplexFields(void* record, bool withBlobs);
    virtual void CopyComplexFields(const void* source, void* dest, bool withBlobs);
    void InitRecord(void* record);
    void EditRecord(void* record);
    void PostRecord(void* record);
    void InitObjectFields(TObjectType* objectType, TFieldDesc* parentField);

    // Positions.
    virtual void SetToBegin();
    virtual void SetToEnd();
    virtual void GetBookmark(TBookmark& bookmark);
    // The bookmark of the record a filter is testing (the current record when none is).
    virtual void GetTestedBookmark(TBookmark& bookmark) { GetBookmark(bookmark); }
    virtual void SetToBookmark(const TBookmark& bookmark);
    virtual bool BookmarkValid(const TBookmark* bookmark);
    virtual int CompareBookmarks(const TBookmark* a, const TBookmark* b);

    // Cached updates.
    virtual TUpdateStatus GetUpdateStatus() { return usUnmodified; }
    virtual TUpdateResult GetUpdateResult() { return urNone; }
    virtual void SetCacheRecBuf(void* newBuf, void* oldBuf);
    virtual bool UpdatesPending() { return false; }
    virtual void ApplyUpdates() {}
    virtual void CommitUpdates() {}
    virtual void CancelUpdates() {}
    virtual void RestoreUpdates() {}
    virtual void RevertRecord() {}
    virtual void GetOldRecord(void*) {}
    virtual void SetFilterItemTypes(TItemTypes types) { filterItemTypes_ = types; }
    virtual void FilterUpdated() {}

    // Blobs held in records.
    TBlob* GetBlob(int fieldNo, const void* record);
    virtual uint32_t ReadBlob(int fieldNo, const void* record, uint32_t position, uint32_t count, void* dest);
    virtual void WriteBlob(int fieldNo, void* record, uint32_t position, uint32_t count, const void* source);
    virtual void TruncateBlob(int fieldNo, void* record, uint32_t size);
    virtual uint32_t GetBlobSize(int fieldNo, const void* record);

    bool HasFieldOfTypes(TDataTypeSet types) const;
    bool HasBlobFields() const { return HasFieldOfTypes(GetBlobTypes()); }
    bool HasComplexFields() const { return HasFieldOfTypes(GetComplexTypes()); }
    TRecordBuffer AllocRecBuf() const { return TRecordBuffer(static_cast<size_t>(recordSize_), 0); }

    // Filter expression.
    const std::string& FilterText() const { return filterText_; }
    // On an active store the text is parsed at once; a bad text leaves the old filter in force.
    void SetFilterText(const std::string& text);
    bool HasFilter() const;
    const TFilterExpression* FilterExpression() const { return filterExpression_.get(); }

    // Descriptor of a field number; numbers outside 1..FieldCount are an assertion.
    TFieldDesc& FieldAt(int fieldNo) const;

protected:
    virtual void InternalPrepare() { deferredFields_ = false; }
    virtual void InternalUnprepare() {}
    virtual void InternalOpen() {}
    virtual void InternalClose() {}
    virtual void InitData();
    virtual void FreeData() { InitData(); }
    virtual void InternalInitFields() {}
    virtual int GetIndicatorSize() const { return FieldCount(); }
    virtual void DoInsertRecord();
    virtual void DoDeleteRecord();
    virtual void DoUpdateRecord();
    virtual void DoApplyRecord(TUpdateKind kind, TUpdateAction& action);

    // True when the record passes the filter function and the filter expression.
    bool FilterAccepts(const void* record);
    void FreeFilterExpression();
    void ParseFilterText(const std::string& text);
    // Object slot and attribute path of an attribute field.
    std::string AttributePath(const TFieldDesc& field) const;
    TDBObject* TopObject(const TFieldDesc& field, const void* record) const;
    static uint8_t* FieldData(void* record, const TFieldDesc& field) {
        return static_cast<uint8_t*>(record) + field.Offset;
    }
    static const uint8_t* FieldData(const void* record, const TFieldDesc& field) {
        return static_cast<const uint8_t*>(record) + field.Offset;
    }
    void RoundToScale(double& value, const TFieldDesc& field) const;
    // Stores a value in native form and clears the null state.
    void StoreNative(int fieldNo, void* record, const void* value);

    int recordSize_ = 0;
    int dataSize_ = 0;
    bool cachedUpdates_ = false;
    bool deferredFields_ = false;
    TItemTypes filterItemTypes_ = AllItemTypes;
    const void* filterRecBuf_ = nullptr;
    int recordNoOffset_ = 0;
    int recordCount_ = 0;
    bool bof_ = true;
    bool eof_ = true;
    void* newCacheRecBuf_ = nullptr;
    void* oldCacheRecBuf_ = nullptr;
    bool active_ = false;
    bool prepared_ = false;
    bool autoPrepared_ = false;

    // Every blob slot of a record (top-level blob fields): the slot receives what change answers.
    void ForEachBlobSlot(void* record, const std::function<TBlob*(TBlob*)>& change);
    void ForEachBlob(void* record, const std::function<void(TBlob*)>& action);

private:

    TFieldDescs fields_;
    std::string filterText_;
    std::unique_ptr<TFilterExpression> filterExpression_;
};

// Date helpers of the base store: the platform's date-time (days since 30 December
// 1899) and the framework's time stamp in milliseconds (day 1 = 1 January of year 1).
double DateTimeToMSecs(double dateTime);
double MSecsToDateTime(double msecs);

}  // namespace oracle
