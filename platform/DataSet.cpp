#include "platform/DataSet.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/DataLink.h"
#include "platform/ScopeExit.h"
#include "platform/Streams.h"

namespace platform {


TDataSet::TDataSet(TComponent* owner) : TComponent(owner), fields_(this), fieldDefs_(this) {}

TDataSet::~TDataSet() {
    // The most-derived class has closed the dataset; what remains are links and fields.
    // Detaching tells the linked datasets, whose handlers may fail.
    for (TDataSource* source : std::vector<TDataSource*>(dataSources_))
        CleanUpStep([&] { source->SetDataSet(nullptr); });
    if (dataSetField_ && dataSetField_->NestedDataSet() == this)
        CleanUpStep([&] { dataSetField_->SetNestedDataSet(nullptr); });
    AssignDataSetField(nullptr);
    fields_.RemoveAll();
}

// ---------------------------------------------------------------- open and close

const TClassInfo& TDataSet::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TDataSet", &TComponent::StaticClassInfo());
        i.Property("Active", &TDataSet::Active, &TDataSet::SetActive);
        i.Property("AutoCalcFields", &TDataSet::AutoCalcFields, &TDataSet::SetAutoCalcFields);
        i.Property("Filter", &TDataSet::Filter, &TDataSet::SetFilter);
        i.Property("Filtered", &TDataSet::Filtered, &TDataSet::SetFiltered);
        i.SetProperty("FilterOptions", &TDataSet::FilterOptions, &TDataSet::SetFilterOptions,
                      {{"foCaseInsensitive", foCaseInsensitive}, {"foNoPartialCompare", foNoPartialCompare}});
        i.Property("ObjectView", &TDataSet::ObjectView, &TDataSet::SetObjectView);
        return i;
    }();
    return info;
}

void TDataSet::StreamingCompleted() {
    TComponent::StreamingCompleted();
    if (streamedActive_) {
        streamedActive_ = false;
        SetActive(true);
    }
}

void TDataSet::SetActive(bool value) {
    if (InState(csReading) || InState(csLoading)) {
        streamedActive_ = value;
        return;
    }
    if (value == (state_ != dsInactive)) return;
    if (value) {
        OpenNow();
    } else {
        CloseNow();
    }
}

void TDataSet::OpenNow() {
    Notify(BeforeOpen);
    state_ = dsOpening;
    try {
        defaultFields_ = fields_.Count() == 0;
        ActivateCursor(false);
    } catch (...) {
        state_ = dsInactive;
        try {
            DeactivateCursor();
        } catch (...) {
            // The open's own failure is the one to report.
        }
        throw;
    }
    state_ = dsInactive;
    SetState(dsBrowse);
    FireAfterOpen();
    if (!IsEmpty()) FireAfterScroll();
}

void TDataSet::CloseNow() {
    bool destroying = destroying_ || InState(csDestroying);
    if (!destroying) Notify(BeforeClose);
    ReleaseModifiedFields();
    SetState(dsInactive);
    DeactivateCursor();
    if (!destroying) Notify(AfterClose);
}

void TDataSet::CloseBeforeDestruction() {
    destroying_ = true;
    CleanUpStep([this] { SetActive(false); });
}

void TDataSet::ActivateCursor(bool infoOnly) {
    if (infoOnly) {
        StorageLoadFieldDefs();
        return;
    }
    StorageOpen();
    UpdateBufferCount();
    ClearBuffers();
    StorageToStart();
    GetNextRecords();
    bof_ = true;
}

void TDataSet::DeactivateCursor() {
    blockReadSize_ = 0;
    SetBufferListSize(0);
    StorageClose();
}

void TDataSet::RequireOpen() const {
    if (state_ == dsInactive) DatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::RequireClosed() const {
    if (state_ != dsInactive) DatabaseError("Cannot perform this operation on an open dataset");
}

void TDataSet::SetState(TDataSetState state) {
    if (state_ == state) return;
    state_ = state;
    modified_ = false;
    DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState state) {
    TDataSetState previous = state_;
    state_ = state;
    return previous;
}

void TDataSet::RestoreState(TDataSetState previous) { state_ = previous; }

// ---------------------------------------------------------------- record buffers

char* TDataSet::NewRecordBuffer() {
    size_t size = static_cast<size_t>(RecordBufferSize() + calcFieldsSize_);
    return static_cast<char*>(std::calloc(size == 0 ? 1 : size, 1));
}

void TDataSet::DisposeRecordBuffer(char*& buffer) {
    std::free(buffer);
    buffer = nullptr;
}

void TDataSet::ResetRecordBuffer(char* buffer) {
    StorageInitRecord(buffer);
    ResetCalcFieldArea(buffer);
    WriteBookmarkFlag(buffer, bfInserted);
}

void TDataSet::ResetCalcFieldArea(char* buffer) {
    if (calcFieldsSize_ > 0)
        std::memset(buffer + RecordBufferSize(), 0, static_cast<size_t>(calcFieldsSize_));
}

char* TDataSet::ActiveBuffer() const {
    return buffers_.empty() ? nullptr : buffers_[static_cast<size_t>(activeRecord_)];
}

char* TDataSet::TempBuffer() const {
    return buffers_.empty() ? nullptr : buffers_.back();
}

void TDataSet::SetBufferListSize(int count) {
    if (count < 0) count = 0;
    size_t wanted = static_cast<size_t>(count);
    while (buffers_.size() > wanted) {
        char* buffer = buffers_.back();
        buffers_.pop_back();
        DisposeRecordBuffer(buffer);
    }
    while (buffers_.size() < wanted) buffers_.push_back(NewRecordBuffer());
    if (count == 0) {
        // The window keeps its size; the records must be read again.
        ClearBuffers();
        return;
    }
    bufferCount_ = count - 1;
    if (recordCount_ > bufferCount_) recordCount_ = bufferCount_;
    if (activeRecord_ >= std::max(recordCount_, 1)) activeRecord_ = std::max(recordCount_ - 1, 0);
    if (currentRecord_ >= recordCount_) currentRecord_ = -1;
}

void TDataSet::UpdateBufferCount() {
    int wanted = 1;
    for (TDataSource* source : dataSources_) wanted = std::max(wanted, source->LinkBufferCount());
    if (wanted != bufferCount_ || buffers_.empty()) {
        SetBufferListSize(wanted + 1);
        if (state_ == dsBrowse && recordCount_ > 0) {
            UpdateCursorPos();
            Resync(0);
        }
    }
}

void TDataSet::ClearBuffers() {
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = true;
    eof_ = true;
}

void TDataSet::ActivateBuffers() {
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = false;
    eof_ = false;
}

void TDataSet::MoveBuffer(int from, int to) {
    if (from == to) return;
    char* buffer = buffers_[static_cast<size_t>(from)];
    buffers_.erase(buffers_.begin() + from);
    buffers_.insert(buffers_.begin() + to, buffer);
}

void TDataSet::SetCurrentRecord(int index) {
    if (currentRecord_ == index) return;
    char* buffer = buffers_[static_cast<size_t>(index)];
    switch (ReadBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
        StorageToRecord(buffer);
        break;
    case bfBOF:
        StorageToStart();
        break;
    case bfEOF:
        StorageToEnd();
        break;
    }
    currentRecord_ = index;
}

void TDataSet::UpdateCursorPos() {
    if (recordCount_ > 0) SetCurrentRecord(activeRecord_);
}

bool TDataSet::GetNextRecord() {
    if (recordCount_ > 0) SetCurrentRecord(recordCount_ - 1);
    bool ok = FetchRecord(buffers_[static_cast<size_t>(recordCount_)], gmNext, true) == grOK;
    if (!ok) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();
        return true;
    }
    if (recordCount_ < bufferCount_) {
        ++recordCount_;
    } else {
        MoveBuffer(0, recordCount_);
        if (activeRecord_ > 0) --activeRecord_;
    }
    currentRecord_ = recordCount_ - 1;
    return true;
}

bool TDataSet::GetPriorRecord() {
    if (recordCount_ > 0) SetCurrentRecord(0);
    bool ok = FetchRecord(buffers_[static_cast<size_t>(recordCount_)], gmPrior, true) == grOK;
    if (!ok) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();
        return true;
    }
    MoveBuffer(recordCount_, 0);
    if (recordCount_ < bufferCount_) ++recordCount_;
    if (activeRecord_ < recordCount_ - 1) ++activeRecord_;
    currentRecord_ = 0;
    return true;
}

int TDataSet::GetNextRecords() {
    int count = 0;
    while (recordCount_ < bufferCount_ && GetNextRecord()) ++count;
    return count;
}

int TDataSet::GetPriorRecords() {
    int count = 0;
    while (recordCount_ < bufferCount_ && GetPriorRecord()) ++count;
    return count;
}

void TDataSet::Resync(TResyncMode mode) {
    char* target = buffers_[static_cast<size_t>(recordCount_)];
    if (mode & rmExact) {
        CursorPosChanged();
        if (FetchRecord(target, gmCurrent, true) != grOK) DatabaseError("Record not found");
    } else if (FetchRecord(target, gmCurrent, false) != grOK &&
               FetchRecord(target, gmNext, false) != grOK &&
               FetchRecord(target, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange, 0);
        return;
    }
    int before = (mode & rmCenter) ? (bufferCount_ - 1) / 2 : std::min(activeRecord_, bufferCount_ - 1);
    MoveBuffer(recordCount_, 0);
    ActivateBuffers();
    while (before > 0 && GetPriorRecord()) --before;
    GetNextRecords();
    GetPriorRecords();
    DataEvent(deDataSetChange, 0);
}

// ---------------------------------------------------------------- navigation

bool TDataSet::IsEmpty() const { return recordCount_ == 0; }

void TDataSet::MoveToFirst() { MoveToEnd(true); }
void TDataSet::MoveToLast() { MoveToEnd(false); }

void TDataSet::MoveToEnd(bool first) {
    CheckBrowseMode();
    FireBeforeScroll();
    ClearBuffers();
    try {
        if (first) {
            StorageToStart();
            GetNextRecord();
            GetNextRecords();
        } else {
            StorageToEnd();
            GetPriorRecord();
            GetPriorRecords();
            if (recordCount_ > 0) activeRecord_ = recordCount_ - 1;
        }
    } catch (...) {
        (first ? bof_ : eof_) = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    (first ? bof_ : eof_) = true;
    DataEvent(deDataSetChange, 0);
    FireAfterScroll();
}

void TDataSet::MoveToNext() {
    if (state_ == dsBlockRead)
        NextInBlockRead();
    else
        MoveBy(1);
}

void TDataSet::MoveToPrior() { MoveBy(-1); }

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    int moved = 0;
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        FireBeforeScroll();
        bof_ = false;
        eof_ = false;
        int oldRecordCount = recordCount_;
        int shifted = 0;  // records the window moved by (forward positive)
        while (distance > 0) {
            if (activeRecord_ < recordCount_ - 1) {
                ++activeRecord_;
            } else {
                bool full = recordCount_ == bufferCount_;
                if (!GetNextRecord()) {
                    eof_ = true;
                    break;
                }
                if (full) ++shifted;
                activeRecord_ = recordCount_ - 1;
            }
            --distance;
            ++moved;
        }
        while (distance < 0) {
            if (activeRecord_ > 0) {
                --activeRecord_;
            } else {
                bool full = recordCount_ == bufferCount_;
                if (!GetPriorRecord()) {
                    bof_ = true;
                    break;
                }
                if (full) --shifted;
                activeRecord_ = 0;
            }
            ++distance;
            --moved;
        }
        if (recordCount_ != oldRecordCount)
            DataEvent(deDataSetChange, 0);
        else
            DataEvent(deDataSetScroll, shifted);
        FireAfterScroll();
    }
    return moved;
}

void TDataSet::RefreshRecords() {
    CheckBrowseMode();
    UpdateCursorPos();
    Notify(BeforeRefresh);
    StorageRefresh();
    Resync(0);
    Notify(AfterRefresh);
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    CheckBrowseMode();
    FireBeforeScroll();
    StorageToBookmark(bookmark);
    Resync(rmExact | rmCenter);
    FireAfterScroll();
}

bool TDataSet::SearchRecord(bool, bool) { return false; }

void TDataSet::NextInBlockRead() { MoveBy(1); }

void TDataSet::ChangeBlockReadSize(int size) {
    if (size == blockReadSize_) return;
    if (size > 0) {
        RequireOpen();
        CheckBrowseMode();
        SetState(dsBlockRead);
    } else if (state_ == dsBlockRead) {
        SetState(dsBrowse);
    }
    blockReadSize_ = size;
}

// ---------------------------------------------------------------- editing

bool TDataSet::IsModifiable() { return true; }

void TDataSet::BeginEdit() {
    if (state_ == dsEdit || state_ == dsInsert) return;
    if (recordCount_ == 0) {
        BeginInsert();
        return;
    }
    CheckBrowseMode();
    if (!IsModifiable()) DatabaseError("Cannot modify a read-only dataset");
    FireBeforeEdit();
    UpdateCursorPos();
    RunWithErrorEvent(OnEditError, [this] { StorageEdit(); });
    SetState(dsEdit);
    DataEvent(deRecordChange, 0);
    Notify(AfterEdit);
}

void TDataSet::BeginInsert() { BeginInsertOrAppend(false); }
void TDataSet::BeginAppend() { BeginInsertOrAppend(true); }

void TDataSet::BeginInsertOrAppend(bool append) {
    CheckBrowseMode();
    if (!IsModifiable()) DatabaseError("Cannot modify a read-only dataset");
    FireBeforeInsert();
    FireBeforeScroll();
    // The new record is prepared in the spare buffer first, so that a failure there
    // leaves the window as it was.
    char* fresh = TempBuffer();
    ResetRecordBuffer(fresh);
    try {
        if (!append && recordCount_ > 0) {
            // The new buffer takes the active record's place; the storage is brought
            // to that record so that the post inserts before it.
            UpdateCursorPos();
            TBookmark before;
            ReadBookmarkData(ActiveBuffer(), before);
            WriteBookmarkData(fresh, before);
            WriteBookmarkFlag(fresh, bfInserted);
            MoveBuffer(static_cast<int>(buffers_.size()) - 1, activeRecord_);
            if (recordCount_ < bufferCount_) ++recordCount_;
            currentRecord_ = activeRecord_;
        } else {
            // Appending (or inserting into an empty window): the new record follows
            // the last one; the window shows the records before it.
            WriteBookmarkFlag(fresh, append ? bfEOF : bfBOF);
            ClearBuffers();
            MoveBuffer(static_cast<int>(buffers_.size()) - 1, 0);
            recordCount_ = 1;
            activeRecord_ = 0;
            bof_ = false;
            eof_ = false;
            if (append) {
                SetCurrentRecord(0);
                GetPriorRecords();
                activeRecord_ = recordCount_ - 1;
            }
        }
        StorageInsert();
    } catch (...) {
        CursorPosChanged();
        Resync(0);
        throw;
    }
    SetState(dsInsert);
    try {
        FireOnNewRecord();
    } catch (...) {
        SetState(dsBrowse);
        CursorPosChanged();
        Resync(0);
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange, 0);
    Notify(AfterInsert);
    FireAfterScroll();
}

void TDataSet::PostChanges() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    DataEvent(deUpdateRecord, 0);
    Notify(BeforePost);
    RunWithErrorEvent(OnPostError, [this] {
        UpdateCursorPos();
        StoragePost();
    });
    ReleaseModifiedFields();
    SetState(dsBrowse);
    Resync(0);
    FireAfterPost();
}

void TDataSet::StoragePost() { CheckRequiredFields(); }

void TDataSet::CancelChanges() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    Notify(BeforeCancel);
    bool inserting = state_ == dsInsert;
    UpdateCursorPos();
    StorageCancel();
    ReleaseModifiedFields();
    SetState(dsBrowse);
    if (inserting) CursorPosChanged();
    Resync(0);
    Notify(AfterCancel);
}

void TDataSet::DeleteRecord() {
    RequireOpen();
    if (state_ == dsInsert) {
        CancelChanges();
        return;
    }
    if (recordCount_ == 0) DatabaseError("Cannot perform this operation on an empty dataset");
    DataEvent(deCheckBrowseMode, 0);
    FireBeforeDelete();
    FireBeforeScroll();
    RunWithErrorEvent(OnDeleteError, [this] {
        UpdateCursorPos();
        StorageDelete();
    });
    ReleaseModifiedFields();
    SetState(dsBrowse);
    CursorPosChanged();
    Resync(0);
    Notify(AfterDelete);
    FireAfterScroll();
}

void TDataSet::CheckBrowseMode() {
    RequireOpen();
    // A nested dataset's pending change belongs to this dataset's current record: it is
    // posted (and marks this record modified) before the record is posted or left.
    for (TDataSet* nested : NestedDataSets())
        if (nested->Active()) nested->CheckBrowseMode();
    DataEvent(deCheckBrowseMode, 0);
    switch (state_) {
    case dsEdit:
    case dsInsert:
        DataEvent(deUpdateRecord, 0);
        if (modified_)
            PostChanges();
        else
            CancelChanges();
        break;
    case dsSetKey:
        PostChanges();
        break;
    default:
        break;
    }
}

void TDataSet::ReleaseModifiedFields() {
    std::function<void(TFields&)> release = [&](TFields& list) {
        for (int i = 0; i < list.Count(); ++i) {
            TField* field = list.FieldAt(i);
            if (field->Modified()) {
                ReleaseBlobField(field);
                field->SetModified(false);
            }
            if (auto* object = dynamic_cast<TObjectField*>(field)) release(object->Fields());
        }
    };
    release(fields_);
}

void TDataSet::CheckRequiredFields() {
    for (int i = 0; i < fields_.Count(); ++i) {
        TField* field = fields_.FieldAt(i);
        if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData && field->IsNull())
            DatabaseErrorFmt("Field '%s' must have a value", field->DisplayName());
    }
}

void TDataSet::RunWithErrorEvent(const TDataSetErrorEvent& event, const std::function<void()>& action) {
    for (;;) {
        try {
            action();
            return;
        } catch (const EDatabaseError& error) {
            if (!event) throw;
            TDataAction decision = daFail;
            event(*this, error, decision);
            if (decision == daFail) throw;
            if (decision == daAbort) Abort();
            // daRetry: run the action again.
        }
    }
}

// ---------------------------------------------------------------- bookmarks and counts

TBookmark TDataSet::CurrentBookmarkString() {
    TBookmark bookmark;
    if (Active() && recordCount_ > 0 && ReadBookmarkFlag(ActiveBuffer()) == bfCurrent)
        ReadBookmarkData(ActiveBuffer(), bookmark);
    return bookmark;
}

bool TDataSet::IsBookmarkValid(const TBookmark&) { return false; }

int TDataSet::OrderBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() && b.empty()) return 0;
    if (a.empty()) return -1;
    if (b.empty()) return 1;
    return 0;
}

int TDataSet::CountRecords() { return -1; }
int TDataSet::CurrentRecordNumber() { return -1; }
void TDataSet::MoveToRecordNumber(int) {}
bool TDataSet::HasSequenceNumbers() { return false; }
TUpdateStatus TDataSet::RecordUpdateStatus() { return usUnmodified; }
bool TDataSet::CopyCurrentRecord(char*) { return false; }

// ---------------------------------------------------------------- fields

TField* TDataSet::FindField(const AnsiString& name) const { return fields_.FindField(name); }

TField* TDataSet::FieldNamed(const AnsiString& name) const {
    TField* field = FindField(name);
    if (!field) {
        AnsiString message = "Field '" + name + "' not found";
        if (!Name().empty()) message = Name() + ": " + message;
        DatabaseError(message);
    }
    return field;
}

std::vector<TField*> TDataSet::FieldList(const AnsiString& names) const {
    std::vector<TField*> result;
    for (const AnsiString& name : SplitFieldNames(names)) result.push_back(FieldNamed(name));
    return result;
}

Variant TDataSet::FieldValues(const AnsiString& names) const {
    std::vector<TField*> list = FieldList(names);
    if (list.size() == 1) return list[0]->ReadAsVariant();
    std::vector<Variant> values;
    for (TField* field : list) values.push_back(field->ReadAsVariant());
    return Variant::ArrayOf(values);
}

bool TDataSet::ReadFieldData(TField*, void*) { return false; }
bool TDataSet::ReadFieldDataByNumber(int, void*) { return false; }

void TDataSet::StoreFieldData(TField*, const void*) {
    DatabaseError("Dataset not in edit or insert mode");
}

int TDataSet::ReadBlobFieldData(int fieldNo, std::vector<char>& data) {
    TField* field = fields_.FieldByNumber(fieldNo);
    if (!field) return 0;
    std::unique_ptr<TStream> stream = OpenBlobStream(field, bmRead);
    if (!stream) return 0;
    int64_t size = stream->Size();
    if (static_cast<int64_t>(data.size()) < size) data.resize(static_cast<size_t>(size));
    stream->SetPosition(0);
    return static_cast<int>(stream->StreamRead(data.data(), static_cast<int32_t>(size)));
}

std::unique_ptr<TStream> TDataSet::OpenBlobStream(TField*, TBlobStreamMode) { return nullptr; }

void TDataSet::ReleaseBlobField(TField*) {}

Variant TDataSet::FieldValueInState(TDataSetState state, TField* field) {
    TDataSetState previous = SetTempState(state);
    try {
        Variant value = field->ReadAsVariant();
        RestoreState(previous);
        return value;
    } catch (...) {
        RestoreState(previous);
        throw;
    }
}

void TDataSet::StoreFieldValueInState(TDataSetState state, TField* field, const Variant& value) {
    TDataSetState previous = SetTempState(state);
    try {
        field->WriteAsVariant(value);
    } catch (...) {
        RestoreState(previous);
        throw;
    }
    RestoreState(previous);
}

AnsiString TDataSet::QualifiedFieldName(TField* field) {
    AnsiString name = field->FieldName();
    for (TField* parent = field->ParentField(); parent; parent = parent->ParentField())
        name = parent->FieldName() + "." + name;
    return name;
}

bool TDataSet::IsIndexedField(TField*) { return false; }

int TDataSet::ConvertCharset(const char* source, char* dest, bool) {
    size_t length = std::strlen(source);
    if (dest != source) std::memcpy(dest, source, length + 1);
    return static_cast<int>(length);
}

void TDataSet::InCalcFieldsState(char* buffer, const std::function<void()>& work) {
    const TDataSetState previous = SetTempState(dsCalcFields);
    char* const previousBuffer = calcBuffer_;
    calcBuffer_ = buffer;
    TScopeExit restore([&] {
        calcBuffer_ = previousBuffer;
        RestoreState(previous);
    });
    work();
}

void TDataSet::FillCalcFields(char* buffer) {
    if (calcFieldsSize_ == 0) return;
    InCalcFieldsState(buffer, [&] {
        ResetCalcFieldArea(buffer);
        for (int i = 0; i < fields_.Count(); ++i) {
            TField* field = fields_.FieldAt(i);
            if (field->FieldKind() != fkLookup || !field->LookupDataSet()) continue;
            TDataSet* lookup = field->LookupDataSet();
            if (!lookup->Active()) continue;
            Variant keys = FieldValues(field->KeyFields);
            field->WriteAsVariant(lookup->LookupValues(field->LookupKeyFields, keys, field->LookupResultField));
        }
        Notify(OnCalcFields);
    });
}

Variant TDataSet::CalculatedFieldValues(char* buffer, const AnsiString& names) {
    Variant values;
    InCalcFieldsState(buffer, [&] {
        FillCalcFields(buffer);
        values = FieldValues(names);
    });
    return values;
}

int TDataSet::BlobFieldIndex(const TField* field) const {
    int index = 0;
    for (int i = 0; i < fields_.Count(); ++i) {
        TField* f = fields_.FieldAt(i);
        if (!f->IsBlob() || f->FieldKind() != fkData) continue;
        if (f == field) return index;
        ++index;
    }
    return -1;
}

std::unique_ptr<TField> TDataSet::FieldClassForType(TFieldType type) { return DefaultFieldForType(type); }

void TDataSet::BuildDefaultFields() {
    std::function<void(TFieldDefs&, TObjectField*)> build = [&](TFieldDefs& defs, TObjectField* parent) {
        for (int i = 0; i < defs.Count(); ++i) {
            TFieldDef& def = defs.Items(i);
            if ((def.Attributes() & faHiddenCol) != 0 && !fieldDefs_.HiddenFields()) continue;
            std::unique_ptr<TField> made = FieldClassForType(def.DataType());
            if (!made) continue;
            made->SetFieldName(def.Name());
            made->SetSize(def.Size());
            made->SetRequired(def.Required());
            made->SetReadOnly((def.Attributes() & faReadonly) != 0);
            if (def.InternalCalcField()) made->SetFieldKind(fkInternalCalc);
            made->Bind(def);
            auto* object = dynamic_cast<TObjectField*>(made.get());
            TField* field = parent ? parent->AddChild(std::move(made)) : fields_.Add(std::move(made));
            if (object && def.HasChildDefs()) build(def.ChildDefs(), object);
            (void)field;
        }
    };
    build(fieldDefs_, nullptr);
    defaultFields_ = true;
}

void TDataSet::BindFields(bool binding) {
    calcFieldsSize_ = 0;
    blobFieldCount_ = 0;
    std::function<void(TFields&, TFieldDefs*)> bind = [&](TFields& list, TFieldDefs* defs) {
        for (int i = 0; i < list.Count(); ++i) {
            TField* field = list.FieldAt(i);
            if (binding && (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)) {
                TFieldDef* def = defs ? defs->Find(field->FieldName()) : nullptr;
                if (!def && field->FieldKind() == fkData) {
                    AnsiString message = "Field '" + field->DisplayName() + "' not found";
                    if (!Name().empty()) message = Name() + ": " + message;
                    DatabaseError(message);
                }
                if (def) {
                    field->fieldNo_ = def->FieldNo();
                    field->Bind(*def);
                    // The storage writes its column's native form into the field's
                    // buffers: a field of another width would overrun them.
                    int expected = NativeDataSize(def->DataType(), def->Size());
                    if (expected > 0 && field->FieldKind() == fkData && !field->IsBlob() &&
                        field->DataSize() != expected) {
                        AnsiString message = "Type mismatch for field '" + field->DisplayName() + "'";
                        if (!Name().empty()) message = Name() + ": " + message;
                        DatabaseError(message);
                    }
                }
                if (auto* object = dynamic_cast<TObjectField*>(field))
                    bind(object->Fields(), def && def->HasChildDefs() ? &def->ChildDefs() : nullptr);
            }
            if (field->IsCalculated()) {
                field->offset_ = calcFieldsSize_;
                calcFieldsSize_ += field->DataSize() + 1;
            }
            if (field->IsBlob() && field->FieldKind() == fkData) ++blobFieldCount_;
        }
    };
    bind(fields_, &fieldDefs_);
    if (!binding) calcFieldsSize_ = 0;
}

void TDataSet::DestroyFields() {
    fields_.RemoveAll();
    defaultFields_ = false;
}

void TDataSet::PrepareFieldDefinitions() {
    if (StorageIsOpen()) {
        StorageLoadFieldDefs();
        return;
    }
    ActivateCursor(true);
}

void TDataSet::ListDetailLinkFields(std::vector<TField*>& masterFields, std::vector<TField*>& detailFields) {
    masterFields.clear();
    detailFields.clear();
}

// ---------------------------------------------------------------- locate and lookup

bool TDataSet::LocateByValues(const AnsiString&, const Variant&, TLocateOptions) { return false; }

Variant TDataSet::LookupValues(const AnsiString&, const Variant&, const AnsiString&) { return Variant::Null(); }

// ---------------------------------------------------------------- filters

void TDataSet::SetFilter(const AnsiString& text) {
    if (Active() && filtered_) CheckBrowseMode();
    filterText_ = text;
}

void TDataSet::SetFiltered(bool value) {
    if (Active()) CheckBrowseMode();
    filtered_ = value;
}

void TDataSet::SetFilterOptions(TFilterOptions options) {
    if (Active() && filtered_) CheckBrowseMode();
    filterOptions_ = options;
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
    if (Active() && filtered_) CheckBrowseMode();
    onFilterRecord_ = std::move(handler);
}

// ---------------------------------------------------------------- events and links

bool TDataSet::IsLinkedTo(const TDataSource* source) const {
    TDataSet* dataSet = source ? source->DataSet() : nullptr;
    for (int depth = 0; dataSet && depth < 1000; ++depth) {
        if (dataSet == this) return true;
        TDataSource* master = dataSet->DataSource();
        dataSet = master ? master->DataSet() : nullptr;
    }
    return false;
}

void TDataSet::SetDataSetField(TDataSetField* field) {
    RequireClosed();
    if (dataSetField_ && dataSetField_ != field && dataSetField_->NestedDataSet() == this)
        dataSetField_->SetNestedDataSet(nullptr);
    AssignDataSetField(field);
    if (field) field->SetNestedDataSet(this);
}

namespace {
// Datasets that show the rows of another dataset's field: while there are none (the usual
// case), a dataset's scrolling need not look for nested datasets among its fields.
std::atomic<int> nestedDataSetCount{0};
}  // namespace

void TDataSet::AssignDataSetField(TDataSetField* field) {
    if (!dataSetField_ && field) ++nestedDataSetCount;
    if (dataSetField_ && !field) --nestedDataSetCount;
    dataSetField_ = field;
}

void TDataSet::DataSetFieldGone(TDataSetField* field) {
    if (dataSetField_ != field) return;
    try {
        CloseDataSet();
    } catch (...) {
        // The field is going away in any case; the dataset must not keep pointing at it.
    }
    AssignDataSetField(nullptr);
}

std::vector<TDataSet*> TDataSet::NestedDataSets() const {
    std::vector<TDataSet*> nested;
    if (nestedDataSetCount == 0) return nested;
    std::function<void(TFields&)> collect = [&](TFields& list) {
        for (int i = 0; i < list.Count(); ++i) {
            TField* field = list.FieldAt(i);
            if (auto* dataSetField = dynamic_cast<TDataSetField*>(field); dataSetField && dataSetField->NestedDataSet())
                nested.push_back(dataSetField->NestedDataSet());
            if (auto* object = dynamic_cast<TObjectField*>(field)) collect(object->Fields());
        }
    };
    collect(const_cast<TFields&>(fields_));
    return nested;
}

void TDataSet::StorageHandleError(const std::exception&) {}

void TDataSet::FireOnNewRecord() { Notify(OnNewRecord); }
void TDataSet::FireAfterOpen() { Notify(AfterOpen); }
void TDataSet::FireBeforeDelete() { Notify(BeforeDelete); }
void TDataSet::FireBeforeEdit() { Notify(BeforeEdit); }
void TDataSet::FireBeforeInsert() { Notify(BeforeInsert); }
void TDataSet::FireAfterPost() { Notify(AfterPost); }
void TDataSet::FireBeforeScroll() {
    if (state_ != dsBlockRead) Notify(BeforeScroll);
}
void TDataSet::FireAfterScroll() {
    if (state_ != dsBlockRead) Notify(AfterScroll);
}

void TDataSet::DisableControls() {
    if (disableCount_++ == 0) {
        disableState_ = state_;
        pendingScrollEvent_ = false;
    }
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0 || --disableCount_ > 0) return;
    if (state_ != disableState_) DataEvent(deUpdateState, 0);
    if (state_ != dsInactive) DataEvent(deDataSetChange, 0);
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info) { DispatchDataEvent(event, info); }

void TDataSet::DispatchDataEvent(TDataEvent event, intptr_t info) {
    if (event == deFieldChange) {
        auto* field = reinterpret_cast<TField*>(info);
        if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) modified_ = true;
        if (state_ != dsSetKey) {
            if (autoCalcFields_ && calcFieldsSize_ > 0 && (state_ == dsEdit || state_ == dsInsert) &&
                field->FieldKind() == fkData)
                FillCalcFields(ActiveBuffer());
            field->Change();
        }
    }
    // Nested datasets follow the current record also while controls are disabled: what
    // they show is data, not display.
    if (event == deDataSetScroll || event == deDataSetChange)
        for (TDataSet* nested : NestedDataSets())
            if (nested->Active()) nested->DataEvent(deParentScroll, 0);
    if (disableCount_ > 0 && event != deUpdateState) return;
    for (TDataSource* source : std::vector<TDataSource*>(dataSources_)) source->DataEvent(event, info);
}

void TDataSet::AttachDataSource(TDataSource* source) {
    if (std::find(dataSources_.begin(), dataSources_.end(), source) == dataSources_.end())
        dataSources_.push_back(source);
    if (Active()) UpdateBufferCount();
}

void TDataSet::DetachDataSource(TDataSource* source) {
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source), dataSources_.end());
}

}  // namespace platform
