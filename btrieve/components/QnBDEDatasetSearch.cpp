// TQnBDEDataset: index information, key buffers and ranges, index switching, filters,
// record search, Locate and Lookup, and the switch to cached updates.
#include <algorithm>
#include <cstring>

#include "btrieve/base/VirtEng.h"
#include "btrieve/components/DBEngineError.h"
#include "btrieve/components/QnBDEDataset.h"
#include "platform/FilterExpression.h"
#include "platform/ScopeExit.h"

namespace btrieve {

using namespace platform;

namespace {

constexpr int kCachedUpdateCallback = 25;

int16_t FilterThunk(intptr_t clientData, const uint8_t* record, int32_t) {
    return reinterpret_cast<TQnBDEDataset*>(clientData)->FilterCallback(record) ? 1 : 0;
}

// A temporary dataset state for a scope.
class TTempState {
public:
    TTempState(TDataSetState previous, std::function<void(TDataSetState)> restore)
        : previous_(previous), restore_(std::move(restore)) {}
    ~TTempState() { restore_(previous_); }
    TTempState(const TTempState&) = delete;
    TTempState& operator=(const TTempState&) = delete;

private:
    TDataSetState previous_;
    std::function<void(TDataSetState)> restore_;
};

bool IsTextType(TFieldType type) { return type == ftString || type == ftFixedChar || type == ftWideString; }

Variant ValueAt(const Variant& values, size_t index, size_t count) {
    if (count > 1 || values.IsArray()) return values.IsArray() ? values[values.LowBound() + static_cast<int>(index)] : values;
    return values;
}

}  // namespace

// ---------------------------------------------------------------- index information

void TQnBDEDataset::GetIndexInfo() {
    TEngineIndexDesc desc{};
    if (Engine().GetIndexDesc(cursor_, 0, desc) != 0) return;
    expressionIndex_ = desc.expressionIndex != 0;
    caseInsensitiveIndex_ = desc.caseInsensitive != 0;
    keySize_ = desc.keyLength;
    if (!expressionIndex_) {
        keyFieldCount_ = std::min<int>(desc.fieldsInKey, 16);
        std::copy(std::begin(desc.keyFields), std::end(desc.keyFields), keyFieldNumbers_.begin());
    }
}

TField* TQnBDEDataset::IndexField(int index) {
    if (index < 0 || index >= keyFieldCount_) DatabaseError("Field index out of range");
    const int fieldNo = keyFieldNumbers_[static_cast<size_t>(index)];
    TField* field = Fields().FieldByNumber(fieldNo);
    if (!field) {
        AnsiString name;
        for (int i = 0; i < FieldDefs().Count(); ++i)
            if (FieldDefs().Items(i).FieldNo() == fieldNo) name = FieldDefs().Items(i).Name();
        DatabaseErrorFmt("Cannot access index field '%s'", name);
    }
    return field;
}

void TQnBDEDataset::SetIndexField(int index, const Variant& value) { IndexField(index)->SetValue(value); }

bool TQnBDEDataset::MapsToIndex(const std::vector<TField*>& fields, bool caseInsensitive) {
    for (TField* field : fields)
        if (IsTextType(field->DataType()) && caseInsensitive != caseInsensitiveIndex_) return false;
    if (keyFieldCount_ < static_cast<int>(fields.size())) return false;
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i]->FieldNo() != keyFieldNumbers_[i]) return false;
    return true;
}

void TQnBDEDataset::SwitchToIndex(const AnsiString& indexName, const AnsiString& tagName) {
    const bool hadRange = ResetCursorRange();
    UpdateCursorPos();
    uint16_t code = Engine().SwitchToIndex(cursor_, indexName.c_str(), tagName.c_str(), 0, true);
    if (code == rc::NoCurrRec) code = Engine().SwitchToIndex(cursor_, indexName.c_str(), tagName.c_str(), 0, false);
    if (code != 0 && hadRange) {
        // The index stays as it was: so does its range (a detail table would otherwise
        // show every record after a refused switch).
        try {
            SetCursorRange();
        } catch (const platform::Exception&) {
        }
    }
    Check(code);
    keyFieldCount_ = 0;
    keySize_ = 0;
    RebuildBufferList();
    GetIndexInfo();
}

void TQnBDEDataset::RebuildBufferList() {
    try {
        SetBufferListSize(0);
        InitBufferPointers(true);
        SetBufferListSize(BufferCount() + 1);
    } catch (...) {
        CloseAfterFailedRebuild();
        throw;
    }
}

void TQnBDEDataset::CloseAfterFailedRebuild() {
    // A dataset whose buffers could not be rebuilt cannot stay open. Its cursor is closed
    // here: once the state is inactive the framework's close would see nothing to close,
    // and a later open would take up the old cursor. The rebuild's failure is the one the
    // caller hears of, not a failure of this close.
    CleanUpStep([this] { SetState(dsInactive); });
    CleanUpStep([this] { DeactivateCursor(); });
}

// ---------------------------------------------------------------- key buffers

void TQnBDEDataset::InitKeyBuffer(std::vector<char>& buffer) {
    buffer.assign(static_cast<size_t>(kKeyHeaderSize + recordSize_), 0);
    Engine().InitRecord(cursor_, reinterpret_cast<uint8_t*>(buffer.data() + kKeyHeaderSize));
}

void TQnBDEDataset::AllocKeyBuffers() {
    try {
        for (auto& buffer : keyBuffers_) InitKeyBuffer(buffer);
    } catch (...) {
        FreeKeyBuffers();
        throw;
    }
    currentKey_ = kiRangeStart;
}

void TQnBDEDataset::FreeKeyBuffers() {
    for (auto& buffer : keyBuffers_) {
        buffer.clear();
        buffer.shrink_to_fit();
    }
}

void TQnBDEDataset::PostKeyBuffer(bool commit) {
    DataEvent(deCheckBrowseMode, 0);
    auto& current = keyBuffers_[currentKey_];
    if (commit) {
        if (!current.empty()) current[0] = Modified() ? 1 : 0;
    } else {
        current = keyBuffers_[kiSave];
    }
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
}

void TQnBDEDataset::SetLinkRanges(const std::vector<TField*>& masterFields) {
    {
        TTempState state(SetTempState(dsSetKey), [this](TDataSetState s) { RestoreState(s); });
        currentKey_ = kiRangeStart;
        auto& start = keyBuffers_[kiRangeStart];
        InitKeyBuffer(start);
        start[0] = 1;
        for (size_t i = 0; i < masterFields.size(); ++i) IndexField(static_cast<int>(i))->SetValue(masterFields[i]->Value());
        const auto count = static_cast<int32_t>(masterFields.size());
        std::memcpy(start.data() + 2, &count, sizeof count);
    }
    keyBuffers_[kiRangeEnd] = keyBuffers_[kiRangeStart];
}

bool TQnBDEDataset::SetCursorRange() {
    auto& start = keyBuffers_[kiRangeStart];
    auto& end = keyBuffers_[kiRangeEnd];
    if (start == keyBuffers_[kiCurRangeStart] && end == keyBuffers_[kiCurRangeEnd]) return false;
    const auto fieldCountOf = [](const std::vector<char>& buffer) {
        int32_t count = 0;
        if (buffer.size() >= kKeyHeaderSize) std::memcpy(&count, buffer.data() + 2, sizeof count);
        return static_cast<uint16_t>(std::max(count, 0));
    };
    const bool startSet = !start.empty() && start[0] != 0;
    const bool endSet = !end.empty() && end[0] != 0;
    const void* startKey = startSet ? start.data() + kKeyHeaderSize : nullptr;
    const void* endKey = endSet ? end.data() + kKeyHeaderSize : nullptr;
    // Without a known key length nothing is extracted (the extraction would overrun
    // an index buffer of no size): the bounds go to the engine as records.
    bool useKeys = keySize_ > 0;
    std::vector<char> index(static_cast<size_t>(std::max(keySize_, 0)) * 2);
    if (useKeys && startSet)
        useKeys = Engine().ExtractKey(cursor_, reinterpret_cast<const uint8_t*>(startKey), index.data()) == 0;
    if (useKeys && endSet)
        useKeys = Engine().ExtractKey(cursor_, reinterpret_cast<const uint8_t*>(endKey), index.data() + keySize_) == 0;
    if (useKeys) {
        if (startSet) startKey = index.data();
        if (endSet) endKey = index.data() + keySize_;
    }
    Check(Engine().SetRange(cursor_, useKeys, fieldCountOf(start), 0, startKey, !(startSet && start[1] == 1),
                            fieldCountOf(end), 0, endKey, !(endSet && end[1] == 1)));
    keyBuffers_[kiCurRangeStart] = start;
    keyBuffers_[kiCurRangeEnd] = end;
    ReleaseLookupCursor();
    return true;
}

bool TQnBDEDataset::ResetCursorRange() {
    const bool startSet = !keyBuffers_[kiCurRangeStart].empty() && keyBuffers_[kiCurRangeStart][0] != 0;
    const bool endSet = !keyBuffers_[kiCurRangeEnd].empty() && keyBuffers_[kiCurRangeEnd][0] != 0;
    if (!startSet && !endSet) return false;
    Check(Engine().ResetRange(cursor_));
    InitKeyBuffer(keyBuffers_[kiCurRangeStart]);
    InitKeyBuffer(keyBuffers_[kiCurRangeEnd]);
    ReleaseLookupCursor();
    return true;
}

// ---------------------------------------------------------------- filters

std::vector<uint8_t> TQnBDEDataset::ExpressionFor(const AnsiString& text, TFilterOptions options) {
    TFilterExpression expression(text, options, [this](const AnsiString& name, TFilterExpression::FieldInfo& info) {
        TField* field = FindField(name);
        if (!field) return false;
        info.FieldNo = field->FieldNo();
        info.DataType = field->DataType();
        return true;
    });
    return expression.Tree();
}

TFilterListItem* TQnBDEDataset::CreateExprFilter(const AnsiString& text, TFilterOptions options, uint16_t priority) {
    const std::vector<uint8_t> tree = ExpressionFor(text, options);
    TFilterListItem* filter = nullptr;
    Check(Engine().AddFilter(cursor_, 0, priority, false, tree.data(), nullptr, filter));
    return filter;
}

TFilterListItem* TQnBDEDataset::CreateFuncFilter(uint16_t priority) {
    TFilterListItem* filter = nullptr;
    Check(Engine().AddFilter(cursor_, reinterpret_cast<intptr_t>(this), priority, false, nullptr, FilterThunk, filter));
    return filter;
}

TFilterListItem* TQnBDEDataset::CreateLookupFilter(const std::vector<TField*>& fields, const Variant& values,
                                                   uint16_t priority, TLocateOptions options) {
    TFilterExpressionBuilder builder;
    TFilterExpressionBuilder::NodeId root = -1;
    for (size_t i = 0; i < fields.size(); ++i) {
        TField* field = fields[i];
        const Variant value = ValueAt(values, i, fields.size());
        const bool last = i + 1 == fields.size();
        const int partial = last && (options & loPartialKey) ? static_cast<int>(value.AsString().size()) : 0;
        const auto left = builder.AddField(field->FieldName(), field->FieldNo(), field->DataType());
        const auto right = builder.AddConstant(value, field->DataType());
        const auto equal = builder.AddComparison(fopEqual, left, right, (options & loCaseInsensitive) != 0, partial);
        root = root < 0 ? equal : builder.AddBinary(fopAnd, root, equal);
    }
    const std::vector<uint8_t> tree = builder.Build(root);
    TFilterListItem* filter = nullptr;
    Check(Engine().AddFilter(cursor_, 0, priority, false, tree.data(), nullptr, filter));
    return filter;
}

bool TQnBDEDataset::FilterCallback(const uint8_t* record) {
    TTempState state(SetTempState(dsFilter), [this](TDataSetState s) { RestoreState(s); });
    char* previous = filterBuffer_;
    filterBuffer_ = reinterpret_cast<char*>(const_cast<uint8_t*>(record));
    bool accept = true;
    try {
        if (OnFilterRecord()) OnFilterRecord()(*this, accept);
    } catch (const std::exception&) {
        HandleAppException(this);
    }
    filterBuffer_ = previous;
    return accept;
}

void TQnBDEDataset::ActivateFilters() {
    if (exprFilter_ && Engine().ActivateFilter(cursor_, exprFilter_) != 0) {
        Engine().DropFilter(cursor_, exprFilter_);
        exprFilter_ = nullptr;
        exprFilter_ = CreateExprFilter(Filter(), FilterOptions(), 0);
        Check(Engine().ActivateFilter(cursor_, exprFilter_));
    }
    if (funcFilter_ && Engine().ActivateFilter(cursor_, funcFilter_) != 0) {
        Engine().DropFilter(cursor_, funcFilter_);
        funcFilter_ = nullptr;
        funcFilter_ = CreateFuncFilter(1);
        Check(Engine().ActivateFilter(cursor_, funcFilter_));
    }
}

void TQnBDEDataset::DeactivateFilters() {
    if (funcFilter_) Check(Engine().DeactivateFilter(cursor_, funcFilter_));
    if (exprFilter_) Check(Engine().DeactivateFilter(cursor_, exprFilter_));
}

void TQnBDEDataset::ChangeFilter(TFilterListItem*& filter, TFilterListItem* replacement) {
    if (!Filtered()) {
        // The replaced filter leaves the cursor instead of lingering there unused.
        if (filter) Engine().DropFilter(cursor_, filter);
        filter = replacement;
        return;
    }
    CursorPosChanged();
    ReleaseLookupCursor();
    Engine().SetToBegin(cursor_);
    if (filter) Engine().DropFilter(cursor_, filter);
    filter = replacement;
    if (filter) Engine().ActivateFilter(cursor_, filter);
}

void TQnBDEDataset::SetFilterData(const AnsiString& text, TFilterOptions options) {
    if (Active()) {
        CheckBrowseMode();
        if (text != Filter() || options != FilterOptions()) {
            TFilterListItem* replacement = text.empty() ? nullptr : CreateExprFilter(text, options, 0);
            ChangeFilter(exprFilter_, replacement);
        }
    }
    StoreFilterText(text);
    StoreFilterOptions(options);
    if (Active() && Filtered()) MoveToFirst();
}

void TQnBDEDataset::SetFilter(const AnsiString& text) { SetFilterData(text, FilterOptions()); }
void TQnBDEDataset::SetFilterOptions(TFilterOptions options) { SetFilterData(Filter(), options); }

void TQnBDEDataset::SetFiltered(bool value) {
    if (!Active()) {
        StoreFiltered(value);
        return;
    }
    CheckBrowseMode();
    if (value != Filtered()) {
        ReleaseLookupCursor();
        Engine().SetToBegin(cursor_);
        if (value)
            ActivateFilters();
        else
            DeactivateFilters();
        StoreFiltered(value);
    }
    MoveToFirst();
}

void TQnBDEDataset::SetOnFilterRecord(TFilterRecordEvent handler) {
    if (!Active()) {
        StoreOnFilterRecord(std::move(handler));
        return;
    }
    CheckBrowseMode();
    const bool changes = static_cast<bool>(handler) != static_cast<bool>(OnFilterRecord());
    StoreOnFilterRecord(std::move(handler));
    if (changes) ChangeFilter(funcFilter_, OnFilterRecord() ? CreateFuncFilter(1) : nullptr);
    if (Filtered()) MoveToFirst();
}

// ---------------------------------------------------------------- search, locate, lookup

bool TQnBDEDataset::SearchRecord(bool restart, bool goForward) {
    CheckBrowseMode();
    FireBeforeScroll();
    SetFound(false);
    UpdateCursorPos();
    CursorPosChanged();
    const bool activateHere = !Filtered();
    if (activateHere) ActivateFilters();
    uint16_t status = 0;
    // The filters judge the record read into the temporary buffer.
    auto* record = reinterpret_cast<uint8_t*>(TempBuffer());
    try {
        if (goForward) {
            if (restart) Check(Engine().SetToBegin(cursor_));
            status = Engine().GetNextRecord(cursor_, 0, record, nullptr);
        } else {
            if (restart) Check(Engine().SetToEnd(cursor_));
            status = Engine().GetPriorRecord(cursor_, 0, record, nullptr);
        }
    } catch (...) {
        if (activateHere) DeactivateFilters();
        throw;
    }
    if (activateHere) DeactivateFilters();
    if (status == 0) {
        Resync(rmExact | rmCenter);
        SetFound(true);
        FireAfterScroll();
    }
    return Found();
}

bool TQnBDEDataset::LocateRecord(const AnsiString& keyFields, const Variant& keyValues, TLocateOptions options,
                                 bool moveCursor) {
    CheckBrowseMode();
    CursorPosChanged();
    char* buffer = TempBuffer();
    const std::vector<TField*> fields = FieldList(keyFields);
    if (fields.empty() || !buffer) return false;
    const bool caseInsensitive = (options & loCaseInsensitive) != 0;
    TBaseTable* lookup = nullptr;
    if (!cachedUpdates_) lookup = MapsToIndex(fields, caseInsensitive) ? cursor_ : LookupCursorForFields(keyFields, caseInsensitive);
    uint16_t status = 0;
    auto* record = reinterpret_cast<uint8_t*>(buffer);
    if (lookup) {
        uint16_t fieldCount = static_cast<uint16_t>(fields.size());
        uint16_t partialLength = 0;
        {
            TTempState state(SetTempState(dsFilter), [this](TDataSetState s) { RestoreState(s); });
            char* previous = filterBuffer_;
            filterBuffer_ = buffer;
            try {
                Engine().InitRecord(lookup, record);
                for (size_t i = 0; i < fields.size(); ++i) fields[i]->SetValue(ValueAt(keyValues, i, fields.size()));
                if ((options & loPartialKey) && fields.back()->DataType() == ftString) {
                    --fieldCount;
                    partialLength = static_cast<uint16_t>(fields.back()->ReadAsString().size());
                }
            } catch (...) {
                filterBuffer_ = previous;
                throw;
            }
            filterBuffer_ = previous;
        }
        status = Engine().GetRecordForKey(lookup, false, fieldCount, partialLength, record, record);
        if (status == 0 && moveCursor && lookup != cursor_) status = Engine().SetToCursor(cursor_, lookup);
    } else {
        Check(Engine().SetToBegin(cursor_));
        TFilterListItem* filter = CreateLookupFilter(fields, keyValues, 2, options);
        // The lookup filter leaves the cursor whatever happens: left behind it would
        // keep filtering every later move.
        try {
            Check(Engine().ActivateFilter(cursor_, filter));
            status = Engine().GetNextRecord(cursor_, 0, record, nullptr);
        } catch (...) {
            Engine().DropFilter(cursor_, filter);
            throw;
        }
        Engine().DropFilter(cursor_, filter);
    }
    return status == 0;
}

bool TQnBDEDataset::LocateByValues(const AnsiString& keyFields, const Variant& keyValues, TLocateOptions options) {
    FireBeforeScroll();
    const bool found = LocateRecord(keyFields, keyValues, options, true);
    if (found) {
        Resync(rmExact | rmCenter);
        FireAfterScroll();
    }
    return found;
}

Variant TQnBDEDataset::LookupValues(const AnsiString& keyFields, const Variant& keyValues,
                                    const AnsiString& resultFields) {
    if (!LocateRecord(keyFields, keyValues, 0, false)) return Variant::Null();
    return CalculatedFieldValues(TempBuffer(), resultFields);
}

// ---------------------------------------------------------------- cached updates

void TQnBDEDataset::CheckCachedUpdateMode() {
    if (!cachedUpdates_) DatabaseError("Not in cached update mode");
}

bool TQnBDEDataset::UpdateCallbackRequired() const {
    return cachedUpdates_ && (OnUpdateError || OnUpdateRecord || updateObject_);
}

bool TQnBDEDataset::ForceUpdateCallback() const { return cachedUpdates_ && (OnUpdateRecord || updateObject_); }

void TQnBDEDataset::SetUpdateCallback(bool on) {
    if (on && !updateCallback_)
        updateCallback_ = std::make_unique<TQnBDECallback>(EngineInstance(), this, cursor_, kCachedUpdateCallback,
                                                           nullptr, 0, nullptr, false);
    else if (!on)
        updateCallback_.reset();
}

void TQnBDEDataset::AllocCachedUpdateBuffers(bool allocate) {
    if (allocate) {
        oldRecord_.assign(static_cast<size_t>(recordSize_), 0);
        newRecord_.assign(static_cast<size_t>(recordSize_), 0);
    } else {
        oldRecord_.clear();
        newRecord_.clear();
    }
}

void TQnBDEDataset::ReallocBuffers() {
    try {
        FreeKeyBuffers();
        SetBufferListSize(0);
        InitBufferPointers(true);
        SetBufferListSize(BufferCount() + 1);
        AllocKeyBuffers();
    } catch (...) {
        CloseAfterFailedRebuild();
        throw;
    }
}

void TQnBDEDataset::SetCachedUpdates(bool value) {
    if (!Active() || InState(csDesigning)) {
        cachedUpdates_ = value;
        return;
    }
    if (value == cachedUpdates_) return;
    CheckBrowseMode();
    UpdateCursorPos();
    const uint16_t code = value ? Engine().BeginDelayedUpdates(cursor_) : Engine().EndDelayedUpdates(cursor_);
    // Changes dropped with the cache are reported once the dataset is consistent again.
    if (code != 0 && code != rc::ObjImplicitlyDropped) Check(code);
    cachedUpdates_ = value;
    ReallocBuffers();
    AllocCachedUpdateBuffers(value);
    SetUpdateCallback(value && UpdateCallbackRequired());
    Resync(0);
    if (code == rc::ObjImplicitlyDropped) Check(code);
}

void TQnBDEDataset::SetUpdateObject(TQnDataSetUpdateObject* value) {
    if (value == updateObject_) return;
    if (updateObject_ && updateObject_->GetDataSet() == this) updateObject_->SetDataSet(nullptr);
    updateObject_ = value;
    if (!value) return;
    auto* other = value->GetDataSet();
    if (other && other != this) other->SetUpdateObject(nullptr);
    value->SetDataSet(this);
}

}  // namespace btrieve
