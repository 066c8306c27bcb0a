#include "oracle/core/MemDataSet.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "oracle/core/MemData.h"
#include "oracle/core/ObjectType.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/ScopeExit.h"

namespace oracle {

using namespace platform;

// ---------------------------------------------------------------- type mappings

TFieldType FieldTypeForDataType(TDataType code) {
    switch (code) {
        case dtUnknown: return ftUnknown;
        case dtString: return ftString;
        case dtInteger: return ftInteger;
        case dtFloat: return ftFloat;
        case dtDateTime: return ftDateTime;
        case dtBoolean: return ftBoolean;
        case dtBlob: return ftBlob;
        case dtMemo: return ftMemo;
        case dtObject: return ftADT;
        case dtReference: return ftReference;
        case dtArray: return ftArray;
        case dtTable: return ftDataSet;
        case dtVariant: return ftVariant;
        default: AssertionFailed(UnitMemDS, "Unknown data type");
    }
}

TDataType DataTypeForFieldType(TFieldType type) {
    switch (type) {
        case ftString: case ftFixedChar: return dtString;
        case ftSmallint: case ftInteger: case ftWord: return dtInteger;
        case ftBoolean: return dtBoolean;
        case ftFloat: return dtFloat;
        case ftCurrency: return dtCurrency;
        case ftDate: case ftTime: case ftDateTime: return dtDateTime;
        case ftBlob: return dtBlob;
        case ftMemo: return dtMemo;
        case ftLargeint: return dtLargeint;
        case ftADT: return dtObject;
        case ftArray: return dtArray;
        case ftReference: return dtReference;
        case ftDataSet: return dtTable;
        case ftVariant: return dtVariant;
        default: return dtUnknown;
    }
}

// ---------------------------------------------------------------- construction

TMemDataSet::TMemDataSet(TComponent* owner) : TDataSet(owner) { CreateRecordStore(); }

const TClassInfo& TMemDataSet::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TMemDataSet", &TDataSet::StaticClassInfo());
        i.Property("CachedUpdates", &TMemDataSet::CachedUpdates, &TMemDataSet::SetCachedUpdates);
        i.FieldProperty("LocalUpdate", &TMemDataSet::LocalUpdate);
        i.FieldProperty("LocalConstraints", &TMemDataSet::LocalConstraints);
        return i;
    }();
    return info;
}

TMemDataSet::~TMemDataSet() {
    platform::CleanUpStep([this] { CloseDataSet(); });
    platform::CleanUpStep([this] { UnprepareDataSet(); });
}

void TMemDataSet::CreateRecordStore() { AttachRecordStore(std::make_unique<TMemData>()); }

void TMemDataSet::AttachRecordStore(std::unique_ptr<TData> store) {
    data_ = std::move(store);
    if (!data_) return;
    data_->SetCachedUpdates(cachedUpdates_);
    data_->InsertRecordHandler = [this] { WithModifiedKept(&TMemDataSet::ApplyInsert); };
    data_->DeleteRecordHandler = [this] { WithModifiedKept(&TMemDataSet::ApplyDelete); };
    data_->UpdateRecordHandler = [this] { WithModifiedKept(&TMemDataSet::ApplyUpdate); };
    data_->ApplyRecordHandler = [this](TUpdateKind kind, TUpdateAction& action) { ApplyRecord(kind, action); };
}

void TMemDataSet::WithModifiedKept(void (TMemDataSet::*apply)()) {
    if (LocalUpdate) return;
    const bool modified = Modified();
    try {
        (this->*apply)();
    } catch (...) {
        SetModified(modified);
        throw;
    }
    SetModified(modified);
}

void TMemDataSet::SetCachedUpdates(bool value) {
    cachedUpdates_ = value;
    if (data_) data_->SetCachedUpdates(value);
}

void TMemDataSet::PostRecordChanges() {
    if (State() == dsEdit)
        WithModifiedKept(&TMemDataSet::ApplyUpdate);
    else
        WithModifiedKept(&TMemDataSet::ApplyInsert);
}

void TMemDataSet::ApplyRecord(TUpdateKind kind, TUpdateAction& action) {
    const bool modified = Modified();
    const auto frameworkKind = static_cast<platform::TUpdateKind>(kind);
    int result = uaFail;
    // The handlers and the apply statements see the record being applied (with its
    // calculated fields), not the dataset's current one; what they change in it goes
    // back to the store with the record.
    auto* storeRecord = static_cast<char*>(data_->NewCacheRecBuf());
    std::vector<char> record(static_cast<size_t>(std::max(bufferSize_, data_->RecordSize())), 0);
    if (storeRecord) {
        std::memcpy(record.data(), storeRecord, static_cast<size_t>(data_->RecordSize()));
        FillCalcFields(record.data());
    }
    char* const previousApply = applyBuffer_;
    if (storeRecord) applyBuffer_ = record.data();
    const auto finish = [&] {
        applyBuffer_ = previousApply;
        if (storeRecord) std::memcpy(storeRecord, record.data(), static_cast<size_t>(data_->RecordSize()));
    };
    try {
        if (OnUpdateRecord) {
            OnUpdateRecord(*this, frameworkKind, result);
            if (result == uaAbort) Abort();
        }
        if (!OnUpdateRecord || result == uaDefault) {
            try {
                switch (kind) {
                    case ukModify: ApplyUpdate(); break;
                    case ukInsert: ApplyInsert(); break;
                    case ukDelete: ApplyDelete(); break;
                }
                result = uaApplied;
            } catch (const EDatabaseError& error) {
                if (!OnUpdateError) throw;
                result = uaFail;
                OnUpdateError(*this, error, frameworkKind, result);
                if (result == uaFail) throw;
                if (result == uaAbort) Abort();
            }
        }
    } catch (...) {
        finish();
        SetModified(modified);
        throw;
    }
    finish();
    SetModified(modified);
    action = static_cast<TUpdateAction>(result);
}

void TMemDataSet::CopyToTarget(TPersistent& target) const {
    auto* dataSet = dynamic_cast<TMemDataSet*>(&target);
    if (!dataSet) {
        TDataSet::CopyToTarget(target);
        return;
    }
    dataSet->SetCachedUpdates(cachedUpdates_);
    dataSet->LocalConstraints = LocalConstraints;
    dataSet->LocalUpdate = LocalUpdate;
}

void TMemDataSet::ChangeBlockReadSize(int size) {
    if (size == BlockReadSize()) return;
    if (size > 0 || size < -1) UpdateCursorPos();
    TDataSet::ChangeBlockReadSize(size);
}

void TMemDataSet::CheckPrepared() const {
    if (!Prepared()) DatabaseError("DataSet is not prepared");
}

void TMemDataSet::PrepareDataSet() {
    if (Prepared()) return;
    data_->Prepare();
    if (!data_->DeferredFields()) FieldDefsFromStore();
}

void TMemDataSet::UnprepareDataSet() {
    if (!data_) return;
    if (Active()) CloseDataSet();
    data_->Unprepare();
}

// ---------------------------------------------------------------- field definitions

void TMemDataSet::FieldDefsFromStore() {
    TFieldDefs& defs = FieldDefs();
    defs.BeginUpdate();
    try {
        defs.Clear();
        const TFieldDescs& fields = data_->Fields();
        // Field number of the descriptor of one attribute or element of parent, as the
        // store made it; 0 when there is none.
        auto attributeNo = [&](const TFieldDesc* parent, const std::string& name) {
            for (int i = 0; i < fields.Count(); ++i) {
                const TFieldDesc* desc = fields.Items(i);
                if (desc->ParentField == parent && desc->Name == name) return i + 1;
            }
            return 0;
        };
        // Children read their values by field number through the store, which finds
        // them in the object of the top-level field: each child takes the number of its
        // attribute's descriptor. A child the store has no descriptor for could only
        // read another field's bytes, so it is left out.
        std::function<void(TFieldDefs&, const TFieldDesc&)> addChildren = [&](TFieldDefs& children,
                                                                             const TFieldDesc& parent) {
            TObjectType* type = parent.ObjectType();
            if (!type) return;
            const bool isObject = type->DataType == dtObject || type->DataType == dtTable;
            const int count = isObject ? 1 : std::clamp<int>(type->Size, 0, MaxArrayItems);
            for (int a = 0; a < type->AttributeCount(); ++a) {
                TAttribute* attribute = type->Attributes(a);
                for (int i = 0; i < count; ++i) {
                    const std::string index = std::to_string(i);
                    const int fieldNo = attributeNo(&parent, isObject ? attribute->Name : "[" + index + "]");
                    if (fieldNo == 0) continue;
                    const TFieldType childType = FieldTypeFor(attribute->DataType);
                    const std::string name = isObject ? attribute->Name : index;
                    TFieldDef& child = children.Add(name, childType, childType == ftString ? attribute->Length : 0);
                    child.SetFieldNo(fieldNo);
                    if (childType == ftADT || childType == ftArray) addChildren(child.ChildDefs(), *fields.Items(fieldNo - 1));
                }
            }
        };
        for (int i = 0; i < fields.Count(); ++i) {
            const TFieldDesc& desc = *fields.Items(i);
            if (desc.HiddenObject || (desc.ParentField && !desc.ParentField->HiddenObject)) continue;
            const TFieldType type = FieldTypeFor(desc.DataType);
            if (type == ftUnknown) continue;
            int size = 0;
            if (type == ftString || type == ftGuid)
                size = std::max<int>(desc.Length, 1);
            else if (type == ftBytes || type == ftVarBytes)
                size = desc.Size;
            TFieldDef& def = defs.Add(desc.Name, type, size, desc.Required && LocalConstraints);
            def.SetFieldNo(i + 1);
            if (type == ftInteger || type == ftFloat) def.SetPrecision(desc.Length);
            if (type == ftADT || type == ftArray) addChildren(def.ChildDefs(), desc);
            TFieldAttributes attributes = def.Attributes();
            if (desc.ReadOnly) attributes |= faReadonly;
            if (desc.Hidden) attributes |= faHiddenCol;
            if (desc.Fixed) attributes |= faFixed;
            def.SetAttributes(attributes);
        }
    } catch (...) {
        defs.EndUpdate();
        throw;
    }
    defs.EndUpdate();
}

// Value ranges from precision and scale, computed so that no limit overflows the
// field's own type: integer limits stay within 32 bits, and a precision of 0 (not
// known) sets no range at all.
void TMemDataSet::ApplyNumberRanges(TFieldDef& def) {
    if (def.DataType() != ftInteger && def.DataType() != ftFloat) return;
    TField* field = FindField(def.Name());
    const TFieldDesc* desc = data_->FindField(def.Name());
    if (!field || !desc || desc->Length == 0) return;
    if (def.DataType() == ftInteger) {
        auto* integer = dynamic_cast<TIntegerField*>(field);
        if (!integer) return;
        const double limit = std::pow(10.0, desc->Length) - 1;
        const int32_t maximum = limit >= std::numeric_limits<int32_t>::max()
                                    ? std::numeric_limits<int32_t>::max()
                                    : static_cast<int32_t>(limit);
        integer->SetRange(-maximum, maximum);
        return;
    }
    auto* number = dynamic_cast<TFloatField*>(field);
    if (!number || desc->Length > 15) return;
    number->SetPrecision(desc->Length);
    const double maximum = std::pow(10.0, desc->Length - desc->Scale) - std::pow(10.0, -desc->Scale);
    number->SetRange(-maximum, maximum);
}

// ---------------------------------------------------------------- open and close

void TMemDataSet::StorageOpen() {
    const bool wasPrepared = data_->Prepared();
    data_->Open();
    if (!wasPrepared || data_->DeferredFields()) FieldDefsFromStore();
    if (DefaultFields()) BuildDefaultFields();
    if (NumberRange)
        for (int i = 0; i < FieldDefs().Count(); ++i) ApplyNumberRanges(FieldDefs().Items(i));
    BindFields(true);
    if (ObjectView()) NameObjectTypes(Fields());
    SetBookmarkSize(oracle::BookmarkSize);
    recordInfoOffset_ = data_->RecordSize() + CalcFieldsSize();
    bookmarkOffset_ = recordInfoOffset_ + static_cast<int>(sizeof(TRecordInfo));
    bufferSize_ = bookmarkOffset_ + oracle::BookmarkSize;
    if (Filtered()) ActivateFilters();
}

void TMemDataSet::NameObjectTypes(TFields& fields) {
    for (int i = 0; i < fields.Count(); ++i) {
        auto* object = dynamic_cast<TObjectField*>(fields.FieldAt(i));
        if (!object) continue;
        const int fieldNo = object->FieldNo();
        if (fieldNo >= 1 && fieldNo <= data_->FieldCount()) {
            const TObjectType* type = data_->Fields().Items(fieldNo - 1)->ObjectType();
            if (type) object->SetObjectType(type->Name);
        }
        NameObjectTypes(object->Fields());
    }
}

void TMemDataSet::ActivateCursor(bool infoOnly) {
    TDataSet::ActivateCursor(infoOnly);
    if (!infoOnly) spareBuffer_.assign(static_cast<size_t>(bufferSize_), 0);
}

void TMemDataSet::DeactivateCursor() {
    try {
        if (data_->HasComplexFields() && ActiveBuffer()) {
            if (inserting_)
                data_->FreeComplexFields(ActiveBuffer(), true);
            else if (editing_)
                data_->FreeComplexFields(ActiveBuffer(), false);
        }
    } catch (...) {
        // The cursor closes also when freeing a pending record's values failed.
        inserting_ = editing_ = false;
        spareBuffer_.clear();
        TDataSet::DeactivateCursor();
        throw;
    }
    inserting_ = editing_ = false;
    spareBuffer_.clear();
    TDataSet::DeactivateCursor();
}

void TMemDataSet::StorageClose() {
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    data_->Close();
}

void TMemDataSet::StorageLoadFieldDefs() {
    data_->InitFields();
    FieldDefsFromStore();
}

// ---------------------------------------------------------------- record buffers

char* TMemDataSet::NewRecordBuffer() {
    return static_cast<char*>(std::calloc(static_cast<size_t>(std::max(bufferSize_, 1)), 1));
}

void TMemDataSet::DisposeRecordBuffer(char*& buffer) {
    std::free(buffer);
    buffer = nullptr;
}

TGetResult TMemDataSet::FetchRecord(char* buffer, TGetMode mode, bool) {
    switch (mode) {
        case gmCurrent: data_->GetRecord(buffer); break;
        case gmNext: data_->GetNextRecord(buffer); break;
        case gmPrior: data_->GetPriorRecord(buffer); break;
    }
    if (data_->Bof()) return grBOF;
    if (data_->Eof()) return grEOF;
    TRecordInfo& info = InfoOf(buffer);
    info.RecordNumber = data_->GetRecordNo();
    info.UpdateStatus = data_->GetUpdateStatus();
    info.BookmarkFlag = bfCurrent;
    FillCalcFields(buffer);
    TBookmark bookmark;
    data_->GetBookmark(bookmark);
    std::memcpy(buffer + bookmarkOffset_, &bookmark, sizeof(bookmark));
    return grOK;
}

void TMemDataSet::StorageInitRecord(char* buffer) {
    data_->InitRecord(buffer);
    if (data_->HasComplexFields()) data_->CreateComplexFields(buffer, true);
}

void TMemDataSet::ResetRecordBuffer(char* buffer) {
    TDataSet::ResetRecordBuffer(buffer);
    TRecordInfo& info = InfoOf(buffer);
    info.RecordNumber = 0;
    info.UpdateStatus = usInserted;
    info.BookmarkFlag = bfInserted;
    if (!spareBuffer_.empty()) data_->InitRecord(spareBuffer_.data());
}

TBookmark TMemDataSet::DecodeBookmark(const platform::TBookmark& bookmark) {
    TBookmark decoded;
    if (bookmark.size() >= sizeof(decoded)) std::memcpy(&decoded, bookmark.data(), sizeof(decoded));
    return decoded;
}

void TMemDataSet::ReadBookmarkData(const char* buffer, platform::TBookmark& bookmark) {
    bookmark.assign(buffer + bookmarkOffset_, oracle::BookmarkSize);
}

void TMemDataSet::WriteBookmarkData(char* buffer, const platform::TBookmark& bookmark) {
    if (bookmark.size() >= static_cast<size_t>(oracle::BookmarkSize))
        std::memcpy(buffer + bookmarkOffset_, bookmark.data(), oracle::BookmarkSize);
    else
        std::memset(buffer + bookmarkOffset_, 0, oracle::BookmarkSize);
}

TBookmarkFlag TMemDataSet::ReadBookmarkFlag(const char* buffer) {
    return static_cast<TBookmarkFlag>(InfoOf(const_cast<char*>(buffer)).BookmarkFlag);
}

void TMemDataSet::WriteBookmarkFlag(char* buffer, TBookmarkFlag flag) {
    InfoOf(buffer).BookmarkFlag = static_cast<uint8_t>(flag);
}

void TMemDataSet::StorageToBookmark(const platform::TBookmark& bookmark) {
    data_->SetToBookmark(DecodeBookmark(bookmark));
}

void TMemDataSet::StorageToRecord(char* buffer) {
    platform::TBookmark bookmark;
    ReadBookmarkData(buffer, bookmark);
    StorageToBookmark(bookmark);
}

platform::TBookmark TMemDataSet::CurrentBookmarkString() {
    if (State() != dsFilter) return TDataSet::CurrentBookmarkString();
    TBookmark tested;
    data_->GetTestedBookmark(tested);
    return platform::TBookmark(reinterpret_cast<const char*>(&tested), sizeof(tested));
}

bool TMemDataSet::IsBookmarkValid(const platform::TBookmark& bookmark) {
    if (bookmark.size() < static_cast<size_t>(oracle::BookmarkSize)) return false;
    const TBookmark decoded = DecodeBookmark(bookmark);
    return data_->BookmarkValid(&decoded);
}

int TMemDataSet::OrderBookmarks(const platform::TBookmark& a, const platform::TBookmark& b) {
    const TBookmark first = DecodeBookmark(a), second = DecodeBookmark(b);
    return data_->CompareBookmarks(a.empty() ? nullptr : &first, b.empty() ? nullptr : &second);
}

int TMemDataSet::CountRecords() { return data_->Active() ? data_->GetRecordCount() : 0; }

int TMemDataSet::CurrentRecordNumber() {
    char* buffer = StateBuffer();
    return buffer ? InfoOf(buffer).RecordNumber : 0;
}

void TMemDataSet::MoveToRecordNumber(int recordNumber) {
    CheckBrowseMode();
    FireBeforeScroll();
    data_->SetRecordNo(recordNumber);
    Resync(0);
    FireAfterScroll();
}

platform::TUpdateStatus TMemDataSet::RecordUpdateStatus() {
    if (!cachedUpdates_ || IsEmpty()) return platform::usUnmodified;
    char* buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    return buffer ? static_cast<platform::TUpdateStatus>(InfoOf(buffer).UpdateStatus) : platform::usUnmodified;
}

// ---------------------------------------------------------------- field data

char* TMemDataSet::StateBuffer() {
    switch (State()) {
        case dsBrowse:
        case dsBlockRead:
            if (applyBuffer_) return applyBuffer_;
            return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit:
        case dsInsert:
        case dsNewValue:
            return ActiveBuffer();
        case dsCalcFields:
            return lookupBuffer_ ? lookupBuffer_ : CalcBuffer();
        case dsFilter:
            return filterBuffer_;
        case dsOldValue:
            if (spareBuffer_.empty()) return nullptr;
            if (applyBuffer_ && data_->OldCacheRecBuf()) {
                // The store keeps the old version of the change it applies.
                std::memcpy(spareBuffer_.data(), data_->OldCacheRecBuf(), static_cast<size_t>(data_->RecordSize()));
                return spareBuffer_.data();
            }
            UpdateCursorPos();
            data_->GetOldRecord(spareBuffer_.data());
            return spareBuffer_.data();
        default:
            return nullptr;
    }
}

bool TMemDataSet::ReadFieldData(TField* field, void* dest) {
    char* buffer = StateBuffer();
    if (!buffer) return false;
    if (field->FieldNo() > 0) {
        bool isNull = true;
        data_->GetField(field->FieldNo(), buffer, dest, isNull);
        return !isNull;
    }
    const TDataSetState state = State();
    if (state != dsBrowse && state != dsEdit && state != dsInsert && state != dsCalcFields) return false;
    const char* slot = buffer + data_->RecordSize() + field->Offset();
    if (!slot[0]) return false;
    if (dest) std::memcpy(dest, slot + 1, static_cast<size_t>(field->DataSize()));
    return true;
}

bool TMemDataSet::ReadFieldDataByNumber(int fieldNo, void* dest) {
    char* buffer = StateBuffer();
    if (!buffer) return false;
    bool isNull = true;
    data_->GetField(fieldNo, buffer, dest, isNull);
    return !isNull;
}

void TMemDataSet::StoreFieldData(TField* field, const void* value) {
    const TDataSetState state = State();
    // The record of a cached change being applied takes values back from the server.
    const bool applying = applyBuffer_ && (state == dsBrowse || state == dsBlockRead);
    if (!applying && state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields &&
        state != dsFilter && state != dsNewValue && state != dsInternalCalc)
        DatabaseError("Dataset not in edit or insert mode");
    char* buffer = StateBuffer();
    if (!buffer) DatabaseError("Dataset not in edit or insert mode");
    if (field->FieldNo() <= 0) {
        char* slot = buffer + data_->RecordSize() + field->Offset();
        slot[0] = value ? 1 : 0;
        if (value) std::memcpy(slot + 1, value, static_cast<size_t>(field->DataSize()));
    } else {
        if (state == dsCalcFields) DatabaseError("Dataset not in edit or insert mode");
        if (field->ReadOnly() && state != dsSetKey && state != dsFilter)
            DatabaseErrorFmt("Field '%s' cannot be modified", field->DisplayName());
        field->Validate(value);
        if (field->FieldKind() != fkInternalCalc) data_->PutField(field->FieldNo(), buffer, value);
    }
    if (!applying && state != dsCalcFields && state != dsFilter && state != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

std::unique_ptr<TStream> TMemDataSet::OpenBlobStream(TField* field, TBlobStreamMode mode) {
    return std::make_unique<TBlobStream>(field, mode);
}

// ---------------------------------------------------------------- editing

void TMemDataSet::StorageEdit() {
    editing_ = true;
    data_->EditRecord(ActiveBuffer());
}

void TMemDataSet::StoragePost() {
    TDataSet::StoragePost();
    if (State() == dsEdit)
        data_->PostRecord(ActiveBuffer());
    else
        data_->InsertRecord(ActiveBuffer());
    inserting_ = editing_ = false;
}

void TMemDataSet::StorageCancel() {
    const bool wasInserting = inserting_;
    inserting_ = editing_ = false;
    if (!wasInserting) data_->CancelRecord(ActiveBuffer());
}

void TMemDataSet::CancelChanges() {
    if (inserting_ && data_->HasComplexFields() && ActiveBuffer())
        data_->FreeComplexFields(ActiveBuffer(), true);
    TDataSet::CancelChanges();
}

void TMemDataSet::StorageAddRecord(char* buffer, bool append) {
    if (append)
        data_->AppendRecord(buffer);
    else
        data_->InsertRecord(buffer);
}

void TMemDataSet::FireOnNewRecord() {
    for (int i = 0; i < Fields().Count(); ++i) {
        TField* field = Fields().FieldAt(i);
        if (!field->DefaultExpression().empty()) field->WriteAsString(field->DefaultExpression());
    }
    TDataSet::FireOnNewRecord();
}

// ---------------------------------------------------------------- filters

bool TMemDataSet::RecordFilter(const void* record) {
    const TDataSetState previous = SetTempState(dsFilter);
    filterBuffer_ = static_cast<char*>(const_cast<void*>(record));
    bool accept = true;
    try {
        if (OnFilterRecord()) OnFilterRecord()(*this, accept);
    } catch (const std::exception& error) {
        StorageHandleError(error);
    }
    RestoreState(previous);
    return accept;
}

void TMemDataSet::StorageHandleError(const std::exception& error) { ApplicationHandleException(this, error); }

void TMemDataSet::ActivateFilters() {
    DeactivateFilters();
    if (OnFilterRecord()) data_->FilterFunc = [this](const void* record) { return RecordFilter(record); };
    if (!Trim(Filter()).empty()) data_->SetFilterText(Filter());
}

void TMemDataSet::DeactivateFilters() {
    data_->FilterFunc = nullptr;
    data_->SetFilterText("");
}

void TMemDataSet::RefreshFiltered() {
    data_->FilterUpdated();
    Resync(0);
    MoveToFirst();
}

void TMemDataSet::SetFiltered(bool value) {
    if (Active()) {
        CheckBrowseMode();
        UpdateCursorPos();
    }
    if (value == Filtered()) return;
    if (value)
        ActivateFilters();
    else
        DeactivateFilters();
    StoreFiltered(value);
    if (Active()) RefreshFiltered();
}

void TMemDataSet::SetFilter(const AnsiString& text) {
    if (text == Filter()) return;
    if (Active() && Filtered()) CheckBrowseMode();
    // A text that does not parse raises here and leaves the filter in force as it was.
    data_->SetFilterText(Filtered() && !Trim(text).empty() ? text : "");
    StoreFilterText(text);
    if (Active() && Filtered()) RefreshFiltered();
}

void TMemDataSet::SetFilterOptions(TFilterOptions options) {
    if (options == FilterOptions()) return;
    if (Active() && Filtered()) CheckBrowseMode();
    data_->FilterCaseInsensitive = (options & foCaseInsensitive) != 0;
    data_->FilterNoPartialCompare = (options & foNoPartialCompare) != 0;
    StoreFilterOptions(options);
    if (Active() && Filtered()) RefreshFiltered();
}

void TMemDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
    if (Active() && Filtered()) CheckBrowseMode();
    StoreOnFilterRecord(std::move(handler));
    if (Filtered() && OnFilterRecord())
        data_->FilterFunc = [this](const void* record) { return RecordFilter(record); };
    else
        data_->FilterFunc = nullptr;
    if (Active() && Filtered()) RefreshFiltered();
}

// ---------------------------------------------------------------- blob stream

TBlobStream::TBlobStream(TField* field, TBlobStreamMode mode)
    : field_(field), dataSet_(dynamic_cast<TMemDataSet*>(field->DataSet())), mode_(mode), fieldNo_(field->FieldNo()) {
    Check(dataSet_ != nullptr, UnitMemDS, "Blob field of another dataset");
    buffer_ = dataSet_->StateBuffer();
    if (!buffer_) return;
    if (dataSet_->State() == dsFilter) DatabaseErrorFmt("Cannot access field '%s' in a filter", field->DisplayName());
    if (!field->Modified() && mode != bmRead) {
        if (field->ReadOnly() || !field->FieldIsModifiable())
            DatabaseErrorFmt("Field '%s' cannot be modified", field->DisplayName());
        if (dataSet_->State() != dsEdit && dataSet_->State() != dsInsert)
            DatabaseError("Dataset not in edit or insert mode");
    }
    opened_ = true;
    if (mode == bmWrite) Truncate();
}

TBlobStream::~TBlobStream() {
    if (opened_ && modified_) field_->SetModified(true);
    if (!modified_) return;
    // A destructor must not throw: a failing change notice (OnChange, calculated fields)
    // is reported as the dataset reports its handlers' failures; the written value stays.
    try {
        dataSet_->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field_));
    } catch (const std::exception& error) {
        dataSet_->StorageHandleError(error);
    } catch (...) {
        dataSet_->StorageHandleError(Exception("Field change notification failed"));
    }
}

int32_t TBlobStream::StreamRead(void* buffer, int32_t count) {
    if (!opened_ || count <= 0) return 0;
    const uint32_t size = dataSet_->Data()->GetBlobSize(fieldNo_, buffer_);
    if (position_ >= size) return 0;
    const uint32_t read = dataSet_->Data()->ReadBlob(fieldNo_, buffer_, static_cast<uint32_t>(position_),
                                                     static_cast<uint32_t>(count), buffer);
    position_ += read;
    return static_cast<int32_t>(read);
}

int32_t TBlobStream::StreamWrite(const void* buffer, int32_t count) {
    if (!opened_ || count <= 0) return 0;
    dataSet_->Data()->WriteBlob(fieldNo_, buffer_, static_cast<uint32_t>(position_), static_cast<uint32_t>(count),
                                buffer);
    position_ += count;
    modified_ = true;
    return count;
}

int64_t TBlobStream::Reposition(int64_t offset, TSeekOrigin origin) {
    int64_t target = offset;
    if (origin == soCurrent)
        target = position_ + offset;
    else if (origin == soEnd)
        target = (opened_ ? dataSet_->Data()->GetBlobSize(fieldNo_, buffer_) : 0) + offset;
    // Positions before the start or beyond what a blob can address are cut to the limits.
    position_ = std::clamp<int64_t>(target, 0, std::numeric_limits<uint32_t>::max());
    return position_;
}

void TBlobStream::Truncate() {
    if (!opened_) return;
    dataSet_->Data()->TruncateBlob(fieldNo_, buffer_, static_cast<uint32_t>(position_));
    modified_ = true;
}

}  // namespace oracle

namespace oracle {

using namespace platform;

namespace {

std::vector<std::string> SplitFieldNames(const std::string& names) {
    std::vector<std::string> list;
    size_t start = 0;
    while (start <= names.size()) {
        const size_t end = names.find(';', start);
        const std::string name = Trim(names.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (!name.empty()) list.push_back(name);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return list;
}

// One key of a record search, already in the form the comparison needs.
struct TSearchKey {
    enum TKind { kNull, kText, kInteger, kFloat, kDate } Kind = kNull;
    int FieldNo = 0;
    const TFieldDesc* Field = nullptr;
    std::string Text;
    int32_t Integer = 0;
    double Float = 0;
    std::vector<uint8_t> Date;  // in the store's form
    double DateValue = 0;       // as the store's field access reads it
};

}  // namespace

bool TMemDataSet::LocateRecord(const AnsiString& keyFields, const Variant& keyValues, int options, bool keepPosition,
                               TRecordBuffer& found) {
    const std::vector<std::string> names = SplitFieldNames(keyFields);
    std::vector<TSearchKey> keys;
    for (size_t i = 0; i < names.size(); ++i) {
        TSearchKey key;
        key.Field = data_->FieldByName(names[i]);
        key.FieldNo = key.Field->FieldNo;
        Variant value;
        if (keyValues.IsArray()) {
            const int index = keyValues.LowBound() + static_cast<int>(i);
            value = index <= keyValues.HighBound() ? keyValues[index] : Variant::Null();
        } else {
            value = i == 0 ? keyValues : Variant::Null();
        }
        if (value.IsClear()) {
            key.Kind = TSearchKey::kNull;
        } else if (value.IsString()) {
            key.Kind = TSearchKey::kText;
            key.Text = value.AsString();
        } else {
            switch (key.Field->DataType) {
                case dtInteger:
                    key.Kind = TSearchKey::kInteger;
                    key.Integer = value.AsInteger();
                    break;
                case dtFloat:
                    key.Kind = TSearchKey::kFloat;
                    key.Float = value.AsDouble();
                    break;
                case dtDateTime: {
                    key.Kind = TSearchKey::kDate;
                    key.Date.assign(std::max<size_t>(key.Field->Size, sizeof(double)), 0);
                    const double dateTime = value.AsDateTime();
                    data_->PutDateToBuf(key.Date.data(), &dateTime, 1);
                    // The key as the store's field access gives values: the date in the
                    // store's own precision, as a date-time in milliseconds.
                    data_->GetDateFromBuf(key.Date.data(), &key.DateValue, 0);
                    break;
                }
                default:
                    throw EConvertError("Cannot convert type");
            }
        }
        keys.push_back(std::move(key));
    }

    const bool caseInsensitive = (options & lfCaseInsensitive) != 0;
    const bool partial = (options & lfPartialKey) != 0;
    const bool nearest = (options & lfNearest) != 0;
    auto fieldText = [this](const TSearchKey& key, const void* record) -> std::string {
        switch (key.Field->DataType) {
            case dtString: {
                Variant value;
                data_->GetFieldAsVariant(key.FieldNo, record, value);
                return value.AsString();
            }
            case dtInteger: {
                Variant value;
                data_->GetFieldAsVariant(key.FieldNo, record, value);
                return IntToStr(value.AsInteger());
            }
            case dtFloat: {
                Variant value;
                data_->GetFieldAsVariant(key.FieldNo, record, value);
                return FloatToStr(value.AsDouble());
            }
            case dtDateTime: {
                Variant value;
                data_->GetFieldAsVariant(key.FieldNo, record, value);
                return DateToStr(std::trunc(value.AsDateTime()));
            }
            default:
                if (data_->GetBlobTypes().Contains(key.Field->DataType)) {
                    TBlob* blob = data_->GetBlob(key.FieldNo, record);
                    return blob ? blob->AsString() : std::string();
                }
                throw EConvertError("Cannot convert type");
        }
    };
    auto matches = [&](const TSearchKey& key, const void* record) {
        const bool isNull = data_->GetNull(key.FieldNo, record);
        if (key.Kind == TSearchKey::kNull) return isNull;
        if (isNull) return false;
        switch (key.Kind) {
            case TSearchKey::kText: {
                std::string text = fieldText(key, record);
                if (partial) text = text.substr(0, key.Text.size());
                const int order = caseInsensitive ? AnsiCompareText(key.Text, text) : AnsiCompareStr(key.Text, text);
                return order == 0 || (nearest && order < 0);
            }
            case TSearchKey::kInteger: {
                int32_t value = 0;
                bool null = false;
                data_->GetField(key.FieldNo, record, &value, null);
                return value == key.Integer || (nearest && value >= key.Integer);
            }
            case TSearchKey::kFloat: {
                double value = 0;
                bool null = false;
                data_->GetField(key.FieldNo, record, &value, null);
                return value == key.Float || (nearest && value >= key.Float);
            }
            case TSearchKey::kDate: {
                // Read through the store: an attribute's value lives in its object, not at
                // an offset of the record.
                double value = 0;
                bool null = false;
                data_->GetField(key.FieldNo, record, &value, null);
                return value == key.DateValue;
            }
            default:
                return false;
        }
    };

    TBookmark saved;
    data_->GetBookmark(saved);
    if (!(options & (lfContinue | lfBackward))) data_->SetToBegin();
    found = data_->AllocRecBuf();
    bool isFound = false;
    while (true) {
        if (options & lfBackward)
            data_->GetPriorRecord(found.data());
        else
            data_->GetNextRecord(found.data());
        if (data_->Bof() || data_->Eof()) break;
        bool all = true;
        for (const TSearchKey& key : keys)
            if (!matches(key, found.data())) {
                all = false;
                break;
            }
        if (all) {
            isFound = true;
            break;
        }
    }
    if (keepPosition || !isFound) data_->SetToBookmark(saved);
    return isFound;
}

bool TMemDataSet::LocateByValues(const AnsiString& keyFields, const Variant& keyValues, TLocateOptions options) {
    CheckBrowseMode();
    FireBeforeScroll();
    TRecordBuffer record;
    const bool found = LocateRecord(keyFields, keyValues, options & (lfCaseInsensitive | lfPartialKey), false, record);
    if (found) {
        Resync(rmExact);
        FireAfterScroll();
    } else {
        CursorPosChanged();
    }
    return found;
}

Variant TMemDataSet::LookupValues(const AnsiString& keyFields, const Variant& keyValues,
                                  const AnsiString& resultFields) {
    CheckBrowseMode();
    TRecordBuffer record;
    if (!LocateRecord(keyFields, keyValues, 0, true, record)) {
        CursorPosChanged();
        return Variant::Null();
    }
    CursorPosChanged();
    // The result is what the fields show for the record found, calculated fields
    // included: the record gets a calculated-field area and is read in that state.
    std::vector<char> buffer(static_cast<size_t>(std::max(bufferSize_, data_->RecordSize())), 0);
    std::memcpy(buffer.data(), record.data(), static_cast<size_t>(data_->RecordSize()));
    FillCalcFields(buffer.data());
    const std::vector<std::string> names = SplitFieldNames(resultFields);
    std::vector<Variant> values;
    const TDataSetState previous = SetTempState(dsCalcFields);
    lookupBuffer_ = buffer.data();
    try {
        for (const std::string& name : names) values.push_back(FieldNamed(name)->Value());
    } catch (...) {
        lookupBuffer_ = nullptr;
        RestoreState(previous);
        throw;
    }
    lookupBuffer_ = nullptr;
    RestoreState(previous);
    if (values.size() == 1) return values.front();
    return Variant::ArrayOf(values);
}

bool TMemDataSet::SearchRecord(bool restart, bool goForward) {
    CheckBrowseMode();
    FireBeforeScroll();
    SetFound(false);
    UpdateCursorPos();
    CursorPosChanged();
    // Unfiltered datasets search with their filter all the same, for this search only.
    const bool temporary = !Filtered();
    if (temporary) ActivateFilters();
    bool found = false;
    try {
        if (restart) {
            if (goForward)
                data_->SetToBegin();
            else
                data_->SetToEnd();
        }
        if (goForward)
            data_->GetNextRecord(nullptr);
        else
            data_->GetPriorRecord(nullptr);
        found = !data_->Bof() && !data_->Eof();
    } catch (...) {
        if (temporary) DeactivateFilters();
        throw;
    }
    if (temporary) DeactivateFilters();
    if (found) {
        Resync(rmExact | rmCenter);
        SetFound(true);
        FireAfterScroll();
    }
    return found;
}

}  // namespace oracle
