#include "btrieve/components/QnBDEDataset.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "btrieve/base/VirtEng.h"
#include "btrieve/components/DBEngineError.h"

namespace btrieve {

using namespace platform;

namespace {

constexpr uint32_t kInsertModeProp = 0x50014;
constexpr uint32_t kQualifiedNameProp = 0x50010;
constexpr uint32_t kRequiredCountProp = 0x5000F;
constexpr uint32_t kHiddenFieldsProp = 0x4050004;
constexpr uint32_t kOldRecordProp = 0x5050004;
constexpr uint32_t kObjectTypeProp = 0x50011;
constexpr size_t kMaxBlockBytes = 0x10000;

// Field types by logical type (0 to 24).
const TFieldType kTypeOfLogical[] = {
    ftUnknown, ftString, ftDate, ftBlob, ftBoolean, ftSmallint, ftInteger, ftFloat, ftBCD,
    ftBytes, ftTime, ftDateTime, ftWord, ftInteger, ftUnknown, ftVarBytes, ftUnknown, ftUnknown,
    ftLargeint, ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftTimeStamp};

TFieldType BlobTypeOfSubtype(uint16_t subType) {
    switch (subType) {
    case 22: return ftMemo;
    case 24: return ftFmtMemo;
    case 25: return ftParadoxOle;
    case 26: return ftGraphic;
    case 27: return ftDBaseOle;
    case 28: return ftTypedBinary;
    case 33: return ftOraClob;
    case 34: return ftOraBlob;
    default: return ftBlob;
    }
}

}  // namespace

#pragma pack(push, 1)
struct TQnBDEDataset::TRecInfo {
    int32_t recordNumber;
    uint8_t updateStatus;
    uint8_t bookmarkFlag;
};
#pragma pack(pop)
static_assert(sizeof(int32_t) + 2 == 6);

const TClassInfo& TQnBDEDataset::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TQnBDEDataset", &TDataSet::StaticClassInfo());
        i.Property("CachedUpdates", &TQnBDEDataset::CachedUpdates, &TQnBDEDataset::SetCachedUpdates);
        return i;
    }();
    return info;
}

TQnBDEDataset::TQnBDEDataset(TComponent* owner) : TDataSet(owner) {}

void TQnBDEDataset::AfterConstruction() {
    TDataSet::AfterConstruction();
    BindSessionList();
}

TQnBDEDataset::~TQnBDEDataset() {
    // The binding closes the dataset in its destructor; here the links go.
    if (updateObject_ && updateObject_->GetDataSet() == this) updateObject_->SetDataSet(nullptr);
    updateObject_ = nullptr;
}

TVirtEng& TQnBDEDataset::Engine() {
    TVirtEng& engine = BareEngine();
    if (unreadBookmark_) ReadUnreadBookmark(engine);
    return engine;
}

TVirtEng& TQnBDEDataset::BareEngine() {
    TVirtEng* engine = EngineInstance();
    if (!engine) DatabaseError("Session is not active");
    return *engine;
}

void TQnBDEDataset::ReadUnreadBookmark(TVirtEng& engine) {
    char* buffer = unreadBookmark_;
    unreadBookmark_ = nullptr;
    if (buffer && cursor_) engine.GetBookMark(cursor_, buffer + bookmarkOfs_);
}

bool TQnBDEDataset::MayLeaveUnread(TVirtEng& engine, const char* leaving, TGetMode mode) {
    if (mode == gmCurrent || BufferCount() != 1 || leaving != ActiveBuffer()) return false;
    bool holds = false;
    return engine.HoldsPlaceOnFailedMove(cursor_, holds) == 0 && holds;
}

void TQnBDEDataset::Check(uint16_t code) { btrieve::Check(Engine(), code); }

TQnBDEDataset::TRecInfo& TQnBDEDataset::InfoOf(char* buffer) const {
    return *reinterpret_cast<TRecInfo*>(buffer + recInfoOfs_);
}

// ---------------------------------------------------------------- open and close

void TQnBDEDataset::ActivateCursor(bool infoOnly) {
    if (infoOnly) {
        if (cursor_) TDataSet::ActivateCursor(true);
        return;
    }
    if (!cursor_) cursor_ = CreateEngineCursor();
    if (!cursor_) throw ENoResultSet("Error creating cursor handle");
    TDataSet::ActivateCursor(false);
}

void TQnBDEDataset::DeactivateCursor() {
    try {
        TDataSet::DeactivateCursor();
    } catch (...) {
        if (cursor_) DestroyEngineCursor();
        cursor_ = nullptr;
        throw;
    }
    if (cursor_) DestroyEngineCursor();
    cursor_ = nullptr;
}

void TQnBDEDataset::DestroyEngineCursor() {
    if (!EngineInstance() || !cursor_) return;
    Engine().RelRecordLock(cursor_, false);
    Engine().CloseCursor(cursor_);
}

void TQnBDEDataset::StorageOpen() {
    if (cachedUpdates_) Check(Engine().BeginDelayedUpdates(cursor_));
    TCursorProps props{};
    Check(Engine().GetCursorProps(cursor_, props));
    recordSize_ = props.recordBufferSize;
    SetBookmarkSize(props.bookmarkSize);
    canModify_ = props.openMode == 0 && !props.temporaryTable;
    seqNums_ = props.sequenceNumbers;
    constraintLayer_ = Constraints().Count() > 0 && IsModifiable();
    if (constraintLayer_) {
        // The facade keeps no cursor callbacks: without them the constraints stay with
        // the dataset instead of refusing the open.
        const uint16_t code = Engine().RegisterCursorCallBack(this, nullptr);
        if (code == rc::NotAvailable)
            constraintLayer_ = false;
        else
            Check(code);
    }
    StorageLoadFieldDefs();
    GetIndexInfo();
    if (DefaultFields()) BuildDefaultFields();
    BindFields(true);
    if (ObjectView()) GetObjectTypeNames(Fields());
    InitBufferPointers(false);
    if (cachedUpdates_) {
        AllocCachedUpdateBuffers(true);
        SetUpdateCallback(UpdateCallbackRequired());
    }
    AllocKeyBuffers();
    Check(Engine().SetToBegin(cursor_));
    AfterCursorCreated();
    if (!Filter().empty()) exprFilter_ = CreateExprFilter(Filter(), FilterOptions(), 0);
    if (OnFilterRecord()) funcFilter_ = CreateFuncFilter(1);
    if (Filtered()) ActivateFilters();
}

void TQnBDEDataset::GetObjectTypeNames(TFields& fields) {
    for (int i = 0; i < fields.Count(); ++i) {
        auto* object = dynamic_cast<TObjectField*>(fields.FieldAt(i));
        if (!object) continue;
#pragma pack(push, 1)
        struct {
            uint16_t fieldNo;
            char name[34];
        } request{};
#pragma pack(pop)
        request.fieldNo = static_cast<uint16_t>(object->FieldNo());
        uint16_t length = 0;
        if (Engine().GetProp(cursor_, kObjectTypeProp, &request, sizeof request, length) == 0) {
            const AnsiString name = FieldText(request.name, 33).substr(0, 32);
            if (!name.empty()) object->SetObjectType(name);
        }
        GetObjectTypeNames(object->Fields());
    }
}

void TQnBDEDataset::StorageClose() {
    exprFilter_ = nullptr;
    funcFilter_ = nullptr;
    FreeKeyBuffers();
    uint16_t cacheEnd = 0;
    if (cachedUpdates_) {
        SetUpdateCallback(false);
        AllocCachedUpdateBuffers(false);
        if (constraintLayer_ && EngineInstance()) Engine().UnregisterCallBack();
        if (EngineInstance() && cursor_) cacheEnd = Engine().EndDelayedUpdates(cursor_);
    }
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    keyFieldCount_ = 0;
    keySize_ = 0;
    expressionIndex_ = false;
    caseInsensitiveIndex_ = false;
    canModify_ = false;
    blobCache_.clear();
    FreeBlockBuffer();
    // Cached changes never applied went with the cache: the close still completes, then
    // says so, as leaving cached updates does.
    if (cacheEnd == rc::ObjImplicitlyDropped) Check(cacheEnd);
}

void TQnBDEDataset::StorageHandleError(const std::exception&) { HandleAppException(this); }

void TQnBDEDataset::InitBufferPointers(bool reread) {
    if (reread) {
        TCursorProps props{};
        Check(Engine().GetCursorProps(cursor_, props));
        recordSize_ = props.recordBufferSize;
        SetBookmarkSize(props.bookmarkSize);
    }
    blobCacheOfs_ = recordSize_ + CalcFieldsSize();
    recInfoOfs_ = blobCacheOfs_ + static_cast<int>(sizeof(void*)) * BlobFieldCount();
    bookmarkOfs_ = recInfoOfs_ + static_cast<int>(sizeof(TRecInfo));
    recBufSize_ = bookmarkOfs_ + BookmarkSize();
}

// ---------------------------------------------------------------- field definitions

void TQnBDEDataset::StorageLoadFieldDefs() {
    TCursorProps props{};
    Check(Engine().GetCursorProps(cursor_, props));
    int count = props.fieldCount;
    int hidden = 0;
    if (FieldDefs().HiddenFields() && Engine().SetProp(cursor_, kHiddenFieldsProp, 1) == 0) {
        Check(Engine().GetCursorProps(cursor_, props));
        hidden = props.fieldCount - count;
        count = props.fieldCount;
    }
    TBits required;
    const int32_t requiredSize = GetIntProp(Engine(), cursor_, kRequiredCountProp);
    required.SetSize((requiredSize < 1 ? count : requiredSize) + 1);
    for (uint16_t check = 1; check <= props.valCheckCount; ++check) {
        TValCheckDesc desc{};
        if (Engine().GetVChkDesc(cursor_, check, desc) != 0) continue;
        if (desc.required && !desc.hasDefault) required.Set(desc.fieldNumber, true);
    }
    std::vector<TEngineFieldDesc> descs(static_cast<size_t>(count));
    if (count > 0) Check(Engine().GetFieldDescs(cursor_, descs.data()));
    FieldDefs().BeginUpdate();
    try {
        FieldDefs().Clear();
        size_t index = static_cast<size_t>(FieldNoOfs() - 1);
        int fieldNo = FieldNoOfs();
        while (index < descs.size()) AddFieldDesc(descs, index, FieldDefs(), required, fieldNo);
        if (hidden > 0) {
            Engine().SetProp(cursor_, kHiddenFieldsProp, 0);
            for (int i = std::max(0, FieldDefs().Count() - hidden); i < FieldDefs().Count(); ++i)
                FieldDefs().Items(i).SetAttributes(FieldDefs().Items(i).Attributes() | faHiddenCol);
        }
    } catch (...) {
        FieldDefs().EndUpdate();
        throw;
    }
    FieldDefs().EndUpdate();
    FieldDefs().SetUpdated(true);
}

void TQnBDEDataset::AddFieldDesc(const std::vector<TEngineFieldDesc>& descs, size_t& index, TFieldDefs& defs,
                                 const TBits& required, int& fieldNo) {
    const TEngineFieldDesc desc = descs[index++];
    AnsiString baseName;
    NativeToAnsiStr(Engine(), nullptr, FieldText(desc.name, sizeof desc.name).c_str(), baseName);
    AnsiString name = baseName;
    for (int n = 1; defs.Find(name); ++n) name = Format("%s_%d", baseName, n);

    TFieldType type = desc.fieldType < std::size(kTypeOfLogical) ? kTypeOfLogical[desc.fieldType] : ftUnknown;
    int size = 0;
    int precision = 0;
    bool isRequired = desc.fieldNumber < required.Size() && required.Get(desc.fieldNumber);
    switch (desc.fieldType) {
    case 1: case 9: case 15: case 20: case 21: case 22:
        size = desc.units1;
        if (desc.units1 == 0) type = ftUnknown;
        break;
    case 5: case 12:
        if (desc.length == 1)
            type = ftSmallint;
        else if (desc.length != 2)
            type = ftUnknown;
        break;
    case 6:
        if (desc.subType == 29) {
            type = ftAutoInc;
            isRequired = false;
        }
        break;
    case 7:
        if (desc.subType == 21) type = ftCurrency;
        break;
    case 8:
        size = std::abs(desc.units2);
        precision = desc.units1;
        break;
    case 3:
        size = desc.units1;
        type = BlobTypeOfSubtype(desc.subType);
        break;
    default:
        break;
    }
    TFieldDef& def = defs.Add(name, type, size, false);
    def.SetFieldNo(fieldNo++);
    def.SetPrecision(precision);
    TFieldAttributes attributes = isRequired ? faRequired : 0;
    if (desc.rights == 1) attributes |= faReadonly;
    if (desc.subType == 31) attributes |= faFixed;
    if (type == ftADT && desc.subType == 35) attributes |= faUnNamed;
    def.SetAttributes(attributes);
    def.SetInternalCalcField(desc.calculated != 0);
    if (type == ftADT) {
        for (int child = 0; child < desc.units1 && index < descs.size(); ++child)
            AddFieldDesc(descs, index, def.ChildDefs(), required, fieldNo);
    } else if (type == ftArray && index < descs.size()) {
        // The element takes the array's name followed by "[0]"; the array's numbers
        // cover every element.
        std::vector<TEngineFieldDesc> element(1, descs[index++]);
        CopyToField(element[0].name, sizeof element[0].name, FieldText(desc.name, sizeof desc.name) + "[0]");
        size_t elementIndex = 0;
        int elementNo = fieldNo;
        AddFieldDesc(element, elementIndex, def.ChildDefs(), required, elementNo);
        fieldNo += desc.units2;
    }
}

// ---------------------------------------------------------------- record buffers

char* TQnBDEDataset::NewRecordBuffer() {
    return static_cast<char*>(std::calloc(static_cast<size_t>(std::max(recBufSize_, 1)), 1));
}

void TQnBDEDataset::DisposeRecordBuffer(char*& buffer) {
    if (buffer == unreadBookmark_) unreadBookmark_ = nullptr;
    blobCache_.erase(buffer);
    std::free(buffer);
    buffer = nullptr;
}

void TQnBDEDataset::StorageInitRecord(char* buffer) { Engine().InitRecord(cursor_, reinterpret_cast<uint8_t*>(buffer)); }

void TQnBDEDataset::ResetCalcFieldArea(char* buffer) {
    if (CalcFieldsSize() > 0) std::memset(buffer + recordSize_, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TQnBDEDataset::ResetRecordBuffer(char* buffer) {
    TDataSet::ResetRecordBuffer(buffer);
    ClearBlobCache(buffer);
    TRecInfo& info = InfoOf(buffer);
    info.updateStatus = usInserted;
    info.bookmarkFlag = bfInserted;
    info.recordNumber = -1;
}

TGetResult TQnBDEDataset::FetchRecord(char* buffer, TGetMode mode, bool check) {
    TVirtEng& engine = BareEngine();
    // The record the cursor leaves: its bookmark is read now unless the fetch may leave it
    // unread; a buffer that takes the new record needs none.
    char* leaving = unreadBookmark_ == buffer ? nullptr : unreadBookmark_;
    unreadBookmark_ = nullptr;
    if (leaving && !MayLeaveUnread(engine, leaving, mode)) {
        engine.GetBookMark(cursor_, leaving + bookmarkOfs_);
        leaving = nullptr;
    }
    auto* record = reinterpret_cast<uint8_t*>(buffer);
    uint16_t code = 0;
    switch (mode) {
    case gmCurrent: code = engine.GetRecord(cursor_, 0, record, &recordProps_); break;
    case gmNext: code = engine.GetNextRecord(cursor_, 0, record, &recordProps_); break;
    case gmPrior: code = engine.GetPriorRecord(cursor_, 0, record, &recordProps_); break;
    }
    if (code != 0) {
        // The record left stays in the window, and the cursor still answers for it.
        if (leaving) engine.GetBookMark(cursor_, leaving + bookmarkOfs_);
        if (code == rc::Bof) return grBOF;
        if (code == rc::Eof) return grEOF;
        if (check) Check(code);
        return grError;
    }
    TRecInfo& info = InfoOf(buffer);
    info.updateStatus = static_cast<uint8_t>(recordProps_.recordStatus & 0xFF);
    info.bookmarkFlag = bfCurrent;
    info.recordNumber = -1;
    ClearBlobCache(buffer);
    // Read when asked for, or before the cursor moves on (also by a calculated field's handler).
    unreadBookmark_ = buffer;
    FillCalcFields(buffer);
    return grOK;
}

void TQnBDEDataset::ReadBookmarkData(const char* buffer, TBookmark& bookmark) {
    if (buffer == unreadBookmark_ && EngineInstance()) ReadUnreadBookmark(*EngineInstance());
    bookmark.assign(buffer + bookmarkOfs_, static_cast<size_t>(BookmarkSize()));
}

void TQnBDEDataset::WriteBookmarkData(char* buffer, const TBookmark& bookmark) {
    if (buffer == unreadBookmark_) unreadBookmark_ = nullptr;
    std::memset(buffer + bookmarkOfs_, 0, static_cast<size_t>(BookmarkSize()));
    std::memcpy(buffer + bookmarkOfs_, bookmark.data(), std::min(bookmark.size(), static_cast<size_t>(BookmarkSize())));
}

TBookmarkFlag TQnBDEDataset::ReadBookmarkFlag(const char* buffer) {
    return static_cast<TBookmarkFlag>(InfoOf(const_cast<char*>(buffer)).bookmarkFlag);
}

void TQnBDEDataset::WriteBookmarkFlag(char* buffer, TBookmarkFlag flag) {
    InfoOf(buffer).bookmarkFlag = static_cast<uint8_t>(flag);
}

// ---------------------------------------------------------------- positioning

void TQnBDEDataset::StorageToStart() { Check(Engine().SetToBegin(cursor_)); }
void TQnBDEDataset::StorageToEnd() { Check(Engine().SetToEnd(cursor_)); }

void TQnBDEDataset::StorageToBookmark(const TBookmark& bookmark) {
    if (bookmark.size() < static_cast<size_t>(BookmarkSize())) DatabaseError("Record not found");
    Check(Engine().SetToBookMark(cursor_, bookmark.data()));
}

void TQnBDEDataset::StorageToRecord(char* buffer) {
    TBookmark bookmark;
    ReadBookmarkData(buffer, bookmark);
    StorageToBookmark(bookmark);
}

int TQnBDEDataset::OrderBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() && b.empty()) return 0;
    if (a.empty()) return 1;
    if (b.empty()) return -1;
    int32_t result = 0;
    Check(Engine().CompareBookMarks(cursor_, a.data(), b.data(), result));
    return result == 2 ? 0 : result;
}

bool TQnBDEDataset::IsBookmarkValid(const TBookmark& bookmark) {
    if (!cursor_ || bookmark.size() < static_cast<size_t>(BookmarkSize())) return false;
    CursorPosChanged();
    return Engine().SetToBookMark(cursor_, bookmark.data()) == 0 &&
           Engine().GetRecord(cursor_, 0, nullptr, nullptr) == 0;
}

// ---------------------------------------------------------------- editing

void TQnBDEDataset::StorageEdit() {
    // The record stays locked until Post or Cancel: another client's change in between
    // would otherwise be overwritten without a word.
    Check(Engine().GetRecord(cursor_, recordlock::Write, reinterpret_cast<uint8_t*>(ActiveBuffer()), nullptr));
    ClearBlobCache(ActiveBuffer());
}

void TQnBDEDataset::StorageInsert() {
    Engine().SetProp(cursor_, kInsertModeProp, 1);
    CursorPosChanged();
}

void TQnBDEDataset::StoragePost() {
    TDataSet::StoragePost();
    auto* record = reinterpret_cast<uint8_t*>(ActiveBuffer());
    if (State() == dsEdit)
        Check(Engine().ModifyRecord(cursor_, record, true));
    else
        Check(Engine().InsertRecord(cursor_, 0, record));
}

void TQnBDEDataset::StorageCancel() {
    if (State() == dsEdit) Engine().RelRecordLock(cursor_, false);
}

void TQnBDEDataset::StorageAddRecord(char* buffer, bool append) {
    auto* record = reinterpret_cast<uint8_t*>(buffer);
    Check(append ? Engine().AppendRecord(cursor_, record) : Engine().InsertRecord(cursor_, 0, record));
}

void TQnBDEDataset::StorageDelete() {
    const uint16_t code = Engine().DeleteRecord(cursor_, nullptr);
    // A record that is gone already is no failure.
    if (code != 0 && (code >> 8) != 0x22) Check(code);
}

void TQnBDEDataset::StorageRefresh() {
    if (DataSetField() && DataSetField()->DataType() == ftReference)
        Check(Engine().ForceRecordReread(cursor_, reinterpret_cast<uint8_t*>(ActiveBuffer())));
    else
        Check(Engine().ForceReread(cursor_));
}

void TQnBDEDataset::PostChanges() {
    const bool settingKey = State() == dsSetKey;
    TDataSet::PostChanges();
    if (settingKey) PostKeyBuffer(true);
}

void TQnBDEDataset::CancelChanges() {
    const bool settingKey = State() == dsSetKey;
    TDataSet::CancelChanges();
    if (settingKey) PostKeyBuffer(false);
}

void TQnBDEDataset::RereadActiveRecord() {
    if (IsEmpty()) return;
    UpdateCursorPos();
    Check(Engine().GetRecord(cursor_, 0, reinterpret_cast<uint8_t*>(ActiveBuffer()), nullptr));
}

bool TQnBDEDataset::CopyCurrentRecord(char* buffer) {
    if (IsEmpty() || ReadBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
    UpdateCursorPos();
    return Engine().GetRecord(cursor_, 0, reinterpret_cast<uint8_t*>(buffer), nullptr) == 0;
}

// ---------------------------------------------------------------- counts and numbers

int TQnBDEDataset::CountRecords() {
    RequireOpen();
    uint32_t count = 0;
    if (Engine().GetExactRecordCount(cursor_, count) == 0) return static_cast<int>(count);
    if (Engine().GetRecordCount(cursor_, count) == 0) return static_cast<int>(count);
    return -1;
}

int TQnBDEDataset::CurrentRecordNumber() {
    RequireOpen();
    char* buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    return buffer && !IsEmpty() ? InfoOf(buffer).recordNumber : -1;
}

void TQnBDEDataset::MoveToRecordNumber(int recordNumber) {
    CheckBrowseMode();
    if (seqNums_ != 1 || recordNumber == CurrentRecordNumber()) return;
    if (Engine().SetToSeqNo(cursor_, static_cast<uint32_t>(recordNumber)) == 0) Resync(rmCenter);
}

bool TQnBDEDataset::HasSequenceNumbers() { return seqNums_ == 1 && !Filtered(); }

bool TQnBDEDataset::IsModifiable() { return canModify_ || ForceUpdateCallback(); }

TUpdateStatus TQnBDEDataset::RecordUpdateStatus() {
    if (!cachedUpdates_) return usUnmodified;
    char* buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    return buffer ? static_cast<TUpdateStatus>(InfoOf(buffer).updateStatus) : usUnmodified;
}

AnsiString TQnBDEDataset::QualifiedFieldName(TField* field) {
    if (field->FieldNo() <= 0) return TDataSet::QualifiedFieldName(field);
#pragma pack(push, 1)
    struct {
        uint16_t fieldNo;
        char text[1025];
    } request{};
#pragma pack(pop)
    request.fieldNo = static_cast<uint16_t>(field->FieldNo());
    uint16_t length = 0;
    // An engine that does not know the property leaves the framework's answer.
    if (Engine().GetProp(cursor_, kQualifiedNameProp, &request, sizeof request, length) != 0)
        return TDataSet::QualifiedFieldName(field);
    AnsiString name;
    NativeToAnsiStr(Engine(), nullptr, FieldText(request.text, sizeof request.text).c_str(), name);
    return name;
}

int TQnBDEDataset::ConvertCharset(const char* source, char* dest, bool toNative) {
    const size_t length = std::strlen(source);
    if (toNative)
        AnsiToNativeChars(Engine(), nullptr, source, length, dest);
    else
        NativeToAnsiChars(Engine(), nullptr, source, length, dest);
    if (source != dest) dest[length] = '\0';
    return static_cast<int>(length);
}

bool TQnBDEDataset::IsIndexedField(TField* field) {
    if (field->FieldNo() <= 0) return false;
    for (int i = 0; i < keyFieldCount_; ++i)
        if (keyFieldNumbers_[static_cast<size_t>(i)] == field->FieldNo()) return true;
    return false;
}

// ---------------------------------------------------------------- field data

char* TQnBDEDataset::GetActiveRecBuf() {
    switch (State()) {
    case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert: return ActiveBuffer();
    case dsSetKey: return KeyBuffer(currentKey_) ? KeyBuffer(currentKey_) + kKeyHeaderSize : nullptr;
    case dsCalcFields: return CalcBuffer();
    case dsFilter: return filterBuffer_;
    case dsNewValue: return inUpdateCallback_ && !newRecord_.empty() ? newRecord_.data() : ActiveBuffer();
    case dsOldValue: return inUpdateCallback_ && !oldRecord_.empty() ? oldRecord_.data() : GetOldRecord();
    case dsBlockRead:
        return blockBuffer_.empty() ? nullptr
                                    : reinterpret_cast<char*>(blockBuffer_.data()) +
                                          static_cast<size_t>(recordSize_) * static_cast<size_t>(blockIndex_);
    default: return nullptr;
    }
}

char* TQnBDEDataset::GetOldRecord() {
    if (oldRecord_.empty()) return nullptr;
    UpdateCursorPos();
    if (Engine().SetProp(cursor_, kOldRecordProp, 1) != 0) return nullptr;
    // The old record goes into the record buffer argument, not the properties.
    const uint16_t code = Engine().GetRecord(cursor_, 0, reinterpret_cast<uint8_t*>(oldRecord_.data()), nullptr);
    Engine().SetProp(cursor_, kOldRecordProp, 0);
    return code == 0 ? oldRecord_.data() : nullptr;
}

bool TQnBDEDataset::ReadFieldDataByNumber(int fieldNo, void* dest) {
    char* buffer = GetActiveRecBuf();
    if (!buffer) return false;
    if (scratch_.size() < static_cast<size_t>(recordSize_) + 256) scratch_.resize(static_cast<size_t>(recordSize_) + 256);
    bool blank = true;
    const uint16_t code = BareEngine().GetField(cursor_, static_cast<uint16_t>(fieldNo),
                                                reinterpret_cast<uint8_t*>(buffer), dest ? dest : scratch_.data(), blank);
    if (code != 0) {
        if (State() == dsBlockRead) return false;
        Check(code);
    }
    return !blank;
}

bool TQnBDEDataset::ReadFieldData(TField* field, void* dest) {
    if (field->FieldNo() > 0) return ReadFieldDataByNumber(field->FieldNo(), dest);
    const TDataSetState state = State();
    char* buffer = state == dsBlockRead ? TempBuffer() : GetActiveRecBuf();
    if (!buffer) return false;
    if (state != dsBrowse && state != dsEdit && state != dsInsert && state != dsCalcFields && state != dsBlockRead)
        return false;
    const char* slot = buffer + recordSize_ + field->Offset();
    if (slot[0] && dest) std::memcpy(dest, slot + 1, static_cast<size_t>(field->DataSize()));
    return slot[0] != 0;
}

void TQnBDEDataset::StoreFieldData(TField* field, const void* value) {
    const TDataSetState state = State();
    if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields && state != dsFilter &&
        state != dsNewValue && state != dsInternalCalc)
        DatabaseError("Dataset not in edit or insert mode");
    if (state == dsSetKey && (field->IsCalculated() || (keyFieldCount_ > 0 && !IsIndexedField(field))))
        DatabaseErrorFmt("Field '%s' is not indexed and cannot be modified", field->DisplayName());
    char* buffer = GetActiveRecBuf();
    if (!buffer) DatabaseError("Dataset not in edit or insert mode");
    if (field->IsCalculated()) {
        char* slot = buffer + recordSize_ + field->Offset();
        slot[0] = value ? 1 : 0;
        if (value) std::memcpy(slot + 1, value, static_cast<size_t>(field->DataSize()));
    } else if (field->FieldNo() > 0) {
        if (state == dsCalcFields) DatabaseError("Dataset not in edit or insert mode");
        if (field->ReadOnly() && state != dsSetKey && state != dsFilter)
            DatabaseErrorFmt("Field '%s' cannot be modified", field->DisplayName());
        field->Validate(value);
        if (field->FieldKind() != fkInternalCalc)
            Check(Engine().PutField(cursor_, static_cast<uint16_t>(field->FieldNo()),
                                    reinterpret_cast<uint8_t*>(buffer), value));
    }
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

Variant TQnBDEDataset::FieldValueInState(TDataSetState state, TField* field) {
    CheckCachedUpdateMode();
    return TDataSet::FieldValueInState(state, field);
}

void TQnBDEDataset::StoreFieldValueInState(TDataSetState state, TField* field, const Variant& value) {
    CheckCachedUpdateMode();
    TDataSet::StoreFieldValueInState(state, field, value);
}

// ---------------------------------------------------------------- blobs

int TQnBDEDataset::ReadBlobFieldData(int fieldNo, std::vector<char>& data) {
    const bool blockReading = State() == dsBlockRead;
    char* buffer = GetActiveRecBuf();
    if (!buffer) return 0;
    auto* record = reinterpret_cast<uint8_t*>(buffer);
    const auto field = static_cast<uint16_t>(fieldNo);
    if (Engine().OpenBlob(cursor_, record, field, 1) != 0) return 0;
    uint32_t size = 0;
    uint32_t read = 0;
    uint16_t code = Engine().GetBlobSize(cursor_, record, field, size);
    if (code == 0 && size > 0) {
        if (size >= data.size()) data.resize(size + size / 4);
        code = Engine().GetBlob(cursor_, record, field, 0, size, data.data(), read);
        // Reading a whole blob reaches its end: the engine may say so with the bytes read.
        if (code == rc::EndOfBlob) code = 0;
    }
    Engine().FreeBlob(cursor_, record, field);
    if (code != 0) {
        if (!blockReading) Check(code);
        return 0;
    }
    return size == 0 ? 0 : static_cast<int>(read);
}

void TQnBDEDataset::ReleaseBlobField(TField* field) {
    if (cursor_ && ActiveBuffer())
        Engine().FreeBlob(cursor_, reinterpret_cast<uint8_t*>(ActiveBuffer()), static_cast<uint16_t>(field->FieldNo()));
}

const std::optional<AnsiString>* TQnBDEDataset::GetBlobData(TField* field, const char* buffer) {
    auto found = blobCache_.find(buffer);
    const int slot = BlobFieldIndex(field);
    if (found == blobCache_.end() || slot < 0 || static_cast<size_t>(slot) >= found->second.size()) return nullptr;
    return &found->second[static_cast<size_t>(slot)];
}

void TQnBDEDataset::SetBlobData(TField* field, const char* buffer, const AnsiString& data) {
    if (!IsActiveBuffer(buffer)) return;
    const int slot = BlobFieldIndex(field);
    if (slot < 0) return;
    auto& slots = blobCache_[buffer];
    if (slots.size() < static_cast<size_t>(BlobFieldCount())) slots.resize(static_cast<size_t>(BlobFieldCount()));
    slots[static_cast<size_t>(slot)] = data;
}

void TQnBDEDataset::ClearBlobCacheEntry(TField* field, const char* buffer) {
    auto found = blobCache_.find(buffer);
    const int slot = BlobFieldIndex(field);
    if (found != blobCache_.end() && slot >= 0 && static_cast<size_t>(slot) < found->second.size())
        found->second[static_cast<size_t>(slot)].reset();
}

void TQnBDEDataset::ClearBlobCache(const char* buffer) {
    if (cacheBlobs_) blobCache_.erase(buffer);
}

// ---------------------------------------------------------------- block reading

bool TQnBDEDataset::CanBlockRead() {
    if (BufferCount() > 1 || DataSetField()) return false;
    for (int i = 0; i < Fields().Count(); ++i) {
        const TFieldType type = Fields().FieldAt(i)->DataType();
        if (type == ftReference || type == ftDataSet) return false;
    }
    return true;
}

void TQnBDEDataset::FreeBlockBuffer() {
    blockBuffer_.clear();
    blockBuffer_.shrink_to_fit();
    blockSize_ = blockIndex_ = blockCount_ = blockTotal_ = 0;
    activeRecordInBlock_ = false;
}

void TQnBDEDataset::ChangeBlockReadSize(int size) {
    if (size == BlockReadSize()) return;
    if (size < 1) {
        TDataSet::ChangeBlockReadSize(size);
        FreeBlockBuffer();
        return;
    }
    // A pending edit or insert is posted before the first block is read: the block must
    // hold the records as they are stored, the changed one included.
    CheckBrowseMode();
    if (Eof() || !CanBlockRead() || recordSize_ <= 0) return;
    FreeBlockBuffer();
    UpdateCursorPos();
    // The block never exceeds 64 KB (or one record): a large count cannot overflow it.
    const size_t wanted = size == INT_MAX ? kMaxBlockBytes
                                          : std::min(static_cast<size_t>(size) * static_cast<size_t>(recordSize_),
                                                     std::max(kMaxBlockBytes, static_cast<size_t>(recordSize_)));
    blockBuffer_.assign(wanted, 0);
    // The first block starts with the active record: the engine's block read moves on
    // from the cursor's record, which would pass the active record by.
    const uint16_t code = Engine().GetRecord(cursor_, recordlock::None, blockBuffer_.data(), nullptr);
    if (code != 0) {
        FreeBlockBuffer();
        Check(code);
    }
    activeRecordInBlock_ = true;
    Engine().SetProp(cursor_, kInsertModeProp, 0);
    blockSize_ = static_cast<int>(wanted / static_cast<size_t>(recordSize_));
    blockIndex_ = blockSize_;
    blockCount_ = blockSize_;
    blockTotal_ = 0;
    TDataSet::ChangeBlockReadSize(size);
    NextInBlockRead();
}

void TQnBDEDataset::NextInBlockRead() {
    if (blockIndex_ < blockCount_ - 1) {
        ++blockIndex_;
    } else if (blockCount_ < blockSize_) {
        MoveToLast();
        return;
    } else {
        const uint32_t held = activeRecordInBlock_ ? 1 : 0;
        activeRecordInBlock_ = false;
        const size_t heldBytes = static_cast<size_t>(held) * static_cast<size_t>(recordSize_);
        uint32_t count = static_cast<uint32_t>(blockCount_) - held;
        if (count > 0) {
            const uint16_t code =
                Engine().ReadBlock(cursor_, count, blockBuffer_.data() + heldBytes, blockBuffer_.size() - heldBytes);
            if (code != 0 && code != rc::Eof) Check(code);
        }
        count += held;
        blockCount_ = static_cast<int>(count);
        // No record read is the end, whether the engine says end of file or not.
        if (count == 0) {
            MoveToLast();
            return;
        }
        blockTotal_ += blockCount_;
        blockIndex_ = 0;
    }
    if (CalcFieldsSize() > 0 && TempBuffer()) {
        std::memcpy(TempBuffer(), blockBuffer_.data() + static_cast<size_t>(recordSize_) * static_cast<size_t>(blockIndex_),
                    static_cast<size_t>(recordSize_));
        FillCalcFields(TempBuffer());
    }
    DataEvent(deDataSetScroll, 0);
}

}  // namespace btrieve
