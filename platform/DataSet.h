// TDataSet: the dataset framework's state machine over a window of record buffers.
// A derived dataset supplies the storage (the Storage*, Fetch*, bookmark and field-data
// operations); the framework drives navigation, editing, calculated fields, filters,
// events and data links through them. The Oracle library's record-store dataset and the
// Btrieve library's cursor dataset derive from it; the installation exports and Ecdump
// use it through OpenDataSet, MoveToFirst, FieldNamed, BeginEdit, PostChanges...
//
// Two-phase life: a derived class's constructor may not rely on virtual calls from this
// base, and the most-derived destructor must close the dataset (CloseDataSet) itself,
// because the storage operations are gone once its own destructor has run.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/CheckConstraints.h"
#include "platform/Classes.h"
#include "platform/DataSetTypes.h"
#include "platform/Field.h"
#include "platform/FieldDefs.h"
#include "platform/Variant.h"

namespace platform {

class TDataSource;
class TDataSetField;
class TStream;

class TDataSet : public TComponent {
public:
    using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
    // action: 0 fail (raise), 1 abort (silently), 2 retry.
    enum TDataAction { daFail, daAbort, daRetry };
    using TDataSetErrorEvent = std::function<void(TDataSet&, const EDatabaseError&, TDataAction&)>;
    using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

    explicit TDataSet(TComponent* owner);
    ~TDataSet() override;
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    // Opens when Active was read as true from a form description.
    void StreamingCompleted() override;

    // ---- opening and closing ----
    bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
    // Write accessor of Active: opens (before-open event, ActivateCursor, browse state,
    // after-open event) or closes (before-close, DeactivateCursor, after-close). While
    // the component is being read the value is only kept for StreamingCompleted.
    virtual void SetActive(bool value);
    void OpenDataSet() { SetActive(true); }
    void CloseDataSet() { SetActive(false); }
    TDataSetState State() const { return state_; }

    // ---- navigation ----
    void MoveToFirst();
    void MoveToLast();
    void MoveToNext();
    void MoveToPrior();
    // Moves up to distance records (negative: backwards); gives the distance moved.
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const;
    // Re-reads the records around the current one from the storage.
    void RefreshRecords();
    // Record search honouring Filter and OnFilterRecord even when not Filtered.
    bool FindFirst() { return SearchRecord(true, true); }
    bool FindLast() { return SearchRecord(true, false); }
    bool FindNext() { return SearchRecord(false, true); }
    bool FindPrior() { return SearchRecord(false, false); }
    bool Found() const { return found_; }

    // ---- editing ----
    void BeginEdit();
    void BeginInsert();
    void BeginAppend();
    // Post and Cancel; the libraries add their own steps and call these.
    virtual void PostChanges();
    virtual void CancelChanges();
    void DeleteRecord();
    // Posts a pending edit or insert (after a data-link check); raises when inactive.
    void CheckBrowseMode();
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    // The dataset accepts changes at all.
    virtual bool IsModifiable();

    // ---- bookmarks ----
    // Bookmark property: the active record's bookmark (empty when there is none).
    virtual TBookmark CurrentBookmarkString();
    void GotoBookmark(const TBookmark& bookmark);
    virtual bool IsBookmarkValid(const TBookmark& bookmark);
    // -1, 0, 1 ordering of two bookmarks; default: both empty 0, one empty orders first.
    virtual int OrderBookmarks(const TBookmark& a, const TBookmark& b);
    int BookmarkSize() const { return bookmarkSize_; }

    // ---- record counts and numbers ----
    virtual int CountRecords();
    virtual int CurrentRecordNumber();
    virtual void MoveToRecordNumber(int recordNumber);
    virtual bool HasSequenceNumbers();
    virtual TUpdateStatus RecordUpdateStatus();
    // Copies the active record's storage form into buffer; false when there is none.
    virtual bool CopyCurrentRecord(char* buffer);

    // ---- fields ----
    TFields& Fields() { return fields_; }
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    // Record-level check constraints (kept, not evaluated by the framework).
    TCheckConstraints& Constraints() { return constraints_; }
    TField* FindField(const AnsiString& name) const;
    // The field named so; raises "Field '%s' not found" (with the dataset's name).
    TField* FieldNamed(const AnsiString& name) const;
    // Fields named in a ";"-separated list, in list order; raises for an unknown name.
    std::vector<TField*> FieldList(const AnsiString& names) const;
    // Values of the named fields: one value, or an array for several names.
    Variant FieldValues(const AnsiString& names) const;
    bool DefaultFields() const { return defaultFields_; }
    bool ObjectView() const { return objectView_; }
    void SetObjectView(bool value) { objectView_ = value; }
    bool AutoCalcFields() const { return autoCalcFields_; }
    void SetAutoCalcFields(bool value) { autoCalcFields_ = value; }
    // First field number of the storage's own fields (1 throughout both libraries).
    int FieldNoOfs() const { return 1; }

    // Field data of the record buffer that the current state selects. dest may be null
    // (only the has-value answer is wanted).
    virtual bool ReadFieldData(TField* field, void* dest);
    virtual bool ReadFieldDataByNumber(int fieldNo, void* dest);
    // value null: set the field to null.
    virtual void StoreFieldData(TField* field, const void* value);
    // The whole blob of a data field into data (grown as needed); the byte count.
    virtual int ReadBlobFieldData(int fieldNo, std::vector<char>& data);
    virtual std::unique_ptr<TStream> OpenBlobStream(TField* field, TBlobStreamMode mode);
    virtual void ReleaseBlobField(TField* field);
    // The field's value as seen in another state (old value, new value).
    virtual Variant FieldValueInState(TDataSetState state, TField* field);
    virtual void StoreFieldValueInState(TDataSetState state, TField* field, const Variant& value);
    virtual AnsiString QualifiedFieldName(TField* field);
    virtual bool IsIndexedField(TField* field);
    // Code-page translation of a zero-terminated text; gives its length.
    virtual int ConvertCharset(const char* source, char* dest, bool toNative);
    // Calculated and lookup fields of buffer: cleared, then computed.
    void FillCalcFields(char* buffer);
    // The named fields of buffer once its calculated and lookup fields are computed, read
    // in the same calc-fields state (outside it those fields give no value).
    Variant CalculatedFieldValues(char* buffer, const AnsiString& names);

    // ---- locate and lookup ----
    virtual bool LocateByValues(const AnsiString& keyFields, const Variant& keyValues,
                                TLocateOptions options);
    virtual Variant LookupValues(const AnsiString& keyFields, const Variant& keyValues,
                                 const AnsiString& resultFields);

    // ---- filters (write accessors are the libraries' to replace) ----
    const AnsiString& Filter() const { return filterText_; }
    virtual void SetFilter(const AnsiString& text);
    bool Filtered() const { return filtered_; }
    virtual void SetFiltered(bool value);
    TFilterOptions FilterOptions() const { return filterOptions_; }
    virtual void SetFilterOptions(TFilterOptions options);
    const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
    virtual void SetOnFilterRecord(TFilterRecordEvent handler);

    // ---- block reading ----
    int BlockReadSize() const { return blockReadSize_; }
    virtual void ChangeBlockReadSize(int size);

    // ---- data sources and nested datasets ----
    // Read accessor of DataSource: the master source of this dataset, none by default.
    virtual TDataSource* DataSource() { return nullptr; }
    // True when the dataset of `source` follows this dataset, directly or through other
    // masters (this dataset may then not follow `source`: "Circular datalinks...").
    bool IsLinkedTo(const TDataSource* source) const;
    TDataSetField* DataSetField() const { return dataSetField_; }
    virtual void SetDataSetField(TDataSetField* field);
    // Datasets showing the rows behind this dataset's nested-table and reference fields;
    // the active ones get a parent-scroll event whenever this dataset's current record
    // changes.
    std::vector<TDataSet*> NestedDataSets() const;
    // The class of the datasets made for this dataset's fields' rows when a program asks a
    // dataset field for its nested dataset (TDataSetField::NestedDataSetOrNew).
    const TClassInfo* NestedDataSetClass() const { return nestedDataSetClass_; }
    void SetNestedDataSetClass(const TClassInfo* info) { nestedDataSetClass_ = info; }
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }
    // Sends a data event to the dataset's sources and their links.
    void DataEvent(TDataEvent event, intptr_t info);

    // ---- events ----
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert,
        AfterInsert, BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel,
        BeforeDelete, AfterDelete, BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh,
        OnCalcFields, OnNewRecord;
    TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

protected:
    // ---- storage operations the libraries fill ----
    // Open: info only reads the field definitions (StorageLoadFieldDefs); otherwise
    // StorageOpen, the buffer window is allocated and filled from the first record.
    virtual void ActivateCursor(bool infoOnly);
    // Close: buffers disposed, then StorageClose.
    virtual void DeactivateCursor();
    virtual void StorageOpen() = 0;
    virtual void StorageClose() = 0;
    virtual bool StorageIsOpen() = 0;
    // An exception inside a framework callback (a filter or blob event): default nothing.
    virtual void StorageHandleError(const std::exception& error);
    virtual void StorageLoadFieldDefs() = 0;
    virtual void StorageRefresh() {}

    virtual TGetResult FetchRecord(char* buffer, TGetMode mode, bool check) = 0;
    // Zero-filled memory of RecordBufferSize() + the calculated area by default.
    virtual char* NewRecordBuffer();
    virtual void DisposeRecordBuffer(char*& buffer);
    virtual int RecordBufferSize() = 0;
    // A buffer becomes a new record: calculated area cleared, StorageInitRecord.
    virtual void ResetRecordBuffer(char* buffer);
    virtual void StorageInitRecord(char* buffer) = 0;
    virtual void ResetCalcFieldArea(char* buffer);

    virtual void ReadBookmarkData(const char* buffer, TBookmark& bookmark) = 0;
    virtual void WriteBookmarkData(char* buffer, const TBookmark& bookmark) = 0;
    virtual TBookmarkFlag ReadBookmarkFlag(const char* buffer) = 0;
    virtual void WriteBookmarkFlag(char* buffer, TBookmarkFlag flag) = 0;

    virtual void StorageToStart() = 0;
    virtual void StorageToEnd() = 0;
    virtual void StorageToBookmark(const TBookmark& bookmark) = 0;
    virtual void StorageToRecord(char* buffer) = 0;

    virtual void StorageEdit() {}
    virtual void StorageInsert() {}
    // Default: the required-field check.
    virtual void StoragePost();
    virtual void StorageCancel() {}
    virtual void StorageAddRecord(char* buffer, bool append) = 0;
    virtual void StorageDelete() = 0;

    virtual bool SearchRecord(bool restart, bool goForward);
    virtual void NextInBlockRead();
    virtual void DispatchDataEvent(TDataEvent event, intptr_t info);
    virtual void FireOnNewRecord();
    virtual void FireAfterOpen();
    virtual void FireBeforeDelete();
    virtual void FireBeforeEdit();
    virtual void FireBeforeInsert();
    virtual void FireAfterPost();
    // Field definitions changed (a batch ended with changes).
    virtual void DefinitionsChanged() {}
    // Bring FieldDefs up to date: from the open storage, or by an info-only open.
    virtual void PrepareFieldDefinitions();
    virtual void RefreshIndexDefinitions() {}
    // The master and detail fields of a master/detail link; default both empty.
    virtual void ListDetailLinkFields(std::vector<TField*>& masterFields,
                                      std::vector<TField*>& detailFields);
    // The field class for a definition's type when default fields are built.
    virtual std::unique_ptr<TField> FieldClassForType(TFieldType type);

    // ---- services for the libraries ----
    // For the most-derived destructor: closes the dataset without the close events
    // (their handlers may be gone already).
    void CloseBeforeDestruction();
    void RequireOpen() const;
    void RequireClosed() const;
    void SetState(TDataSetState state);
    // Temporary state around a field access; restore with RestoreState.
    TDataSetState SetTempState(TDataSetState state);
    void RestoreState(TDataSetState previous);

    char* ActiveBuffer() const;
    char* TempBuffer() const;
    char* CalcBuffer() const { return calcBuffer_; }
    int BufferCount() const { return bufferCount_; }
    // Number of buffers holding records (0 when empty).
    int BufferedRecordCount() const { return recordCount_; }
    char* Buffer(int index) const { return buffers_[static_cast<size_t>(index)]; }
    // Resize the buffer list to count buffers, the last being the temporary one
    // (0: none at all, BufferCount() kept); the records held must be re-read
    // (Resync) afterwards.
    void SetBufferListSize(int count);
    void SetBookmarkSize(int size) { bookmarkSize_ = size; }

    // The storage no longer stands on the active record / bring it there.
    void CursorPosChanged() { currentRecord_ = -1; }
    void UpdateCursorPos();
    // Re-read the window around the storage's position (rmExact: the record must be
    // there; rmCenter: put it in the middle of the window).
    void Resync(TResyncMode mode);

    int CalcFieldsSize() const { return calcFieldsSize_; }
    int BlobFieldCount() const { return blobFieldCount_; }
    // Index among the blob fields of a blob field (its slot), -1 otherwise.
    int BlobFieldIndex(const TField* field) const;

    // Create field objects from the definitions (owned by the dataset).
    void BuildDefaultFields();
    // Attach fields to their definitions (raises for a field not in the storage) and
    // compute the calculated area, or detach them.
    void BindFields(bool binding);
    void DestroyFields();
    void SetDefaultFields(bool value) { defaultFields_ = value; }
    void CheckRequiredFields();

    void FireBeforeScroll();
    void FireAfterScroll();
    void SetFound(bool value) { found_ = value; }
    // Stores filter settings without the libraries' extra steps.
    void StoreFilterText(const AnsiString& text) { filterText_ = text; }
    void StoreFiltered(bool value) { filtered_ = value; }
    void StoreFilterOptions(TFilterOptions value) { filterOptions_ = value; }
    void StoreOnFilterRecord(TFilterRecordEvent handler) { onFilterRecord_ = std::move(handler); }
    void AttachDataSource(TDataSource* source);
    void DetachDataSource(TDataSource* source);
    friend class TDataSource;
    friend class TField;
    friend class TFieldDefs;
    friend class TDataLink;
    friend class TDataSetField;

private:
    // Runs work in the calc-fields state with buffer as the calculated fields' record.
    void InCalcFieldsState(char* buffer, const std::function<void()>& work);
    // The record being edited is done with (posted, cancelled, deleted, or the dataset
    // closes): blob fields written through a stream in it let the storage free their
    // values (ReleaseBlobField) and are no longer modified, so that the next record's
    // streams check editing again.
    void ReleaseModifiedFields();
    // The DataSetField is being freed: the dataset closes and forgets it.
    void DataSetFieldGone(TDataSetField* field);
    void AssignDataSetField(TDataSetField* field);
    void Notify(const TDataSetNotifyEvent& event) {
        if (event) event(*this);
    }
    void MoveToEnd(bool first);
    void ActivateBuffers();
    void ClearBuffers();
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();
    void SetCurrentRecord(int index);
    void MoveBuffer(int from, int to);
    void BeginInsertOrAppend(bool append);
    void UpdateBufferCount();
    void RunWithErrorEvent(const TDataSetErrorEvent& event, const std::function<void()>& action);
    void OpenNow();
    void CloseNow();

    TDataSetState state_ = dsInactive;
    TFields fields_;
    TFieldDefs fieldDefs_;
    TCheckConstraints constraints_{this};
    std::vector<char*> buffers_;
    int bufferCount_ = 0;
    int recordCount_ = 0;
    int activeRecord_ = 0;
    int currentRecord_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    bool modified_ = false;
    bool found_ = false;
    bool defaultFields_ = false;
    bool objectView_ = false;
    bool autoCalcFields_ = true;
    bool filtered_ = false;
    int bookmarkSize_ = 0;
    int calcFieldsSize_ = 0;
    int blobFieldCount_ = 0;
    int blockReadSize_ = 0;
    int disableCount_ = 0;
    TDataSetState disableState_ = dsInactive;
    bool pendingScrollEvent_ = false;
    bool streamedActive_ = false;
    bool destroying_ = false;
    char* calcBuffer_ = nullptr;
    AnsiString filterText_;
    TFilterOptions filterOptions_ = 0;
    TFilterRecordEvent onFilterRecord_;
    TDataSetField* dataSetField_ = nullptr;
    const TClassInfo* nestedDataSetClass_ = nullptr;
    std::vector<TDataSource*> dataSources_;
};

}  // namespace platform
