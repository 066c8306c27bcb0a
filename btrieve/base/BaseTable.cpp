#include "btrieve/base/BaseTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "btrieve/base/BaseCacheTable.h"
#include "btrieve/base/BaseDatabase.h"
#include "btrieve/base/BaseUtils.h"
#include "platform/DBScreen.h"

namespace btrieve {

namespace {

// Long scans let the application handle its messages now and then.
void RunMessagePump() { platform::DBApplication().ProcessMessages(); }

template <class T>
int Sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Signed or unsigned integers of 1, 2, 4 or 8 bytes by value; other widths are equal.
int CompareIntegers(const void* v1, const void* v2, uint16_t length, bool isSigned) {
    switch (length) {
    case 1: return isSigned ? Sign(LoadUnaligned<int8_t>(v1), LoadUnaligned<int8_t>(v2)) : Sign(LoadUnaligned<uint8_t>(v1), LoadUnaligned<uint8_t>(v2));
    case 2: return isSigned ? Sign(LoadUnaligned<int16_t>(v1), LoadUnaligned<int16_t>(v2)) : Sign(LoadUnaligned<uint16_t>(v1), LoadUnaligned<uint16_t>(v2));
    case 4: return isSigned ? Sign(LoadUnaligned<int32_t>(v1), LoadUnaligned<int32_t>(v2)) : Sign(LoadUnaligned<uint32_t>(v1), LoadUnaligned<uint32_t>(v2));
    case 8: return isSigned ? Sign(LoadUnaligned<int64_t>(v1), LoadUnaligned<int64_t>(v2)) : Sign(LoadUnaligned<uint64_t>(v1), LoadUnaligned<uint64_t>(v2));
    default: return 0;
    }
}

bool IsTrue(const void* v, uint16_t length) {
    switch (length) {
    case 1: return LoadUnaligned<uint8_t>(v) != 0;
    case 2: return LoadUnaligned<uint16_t>(v) != 0;
    case 4: return LoadUnaligned<uint32_t>(v) != 0;
    default: return LoadUnaligned<uint64_t>(v) != 0;
    }
}

AnsiString TextUpTo(const void* v, uint16_t length) {
    return FieldText(static_cast<const char*>(v), length);
}

// Scratch record buffer for one call; the cursor forgets it when the call ends.
class TScopedRecBuf {
public:
    TScopedRecBuf(TBaseTable& cursor, size_t size) : cursor_(cursor), buffer_(std::max<size_t>(size, 1)) {}
    ~TScopedRecBuf() {
        if (cursor_.GetRecBuf() == buffer_.data()) cursor_.SetRecBuf(nullptr);
    }
    uint8_t* data() { return buffer_.data(); }

private:
    TBaseTable& cursor_;
    std::vector<uint8_t> buffer_;
};

}  // namespace

TBaseTable::TBaseTable(TBapiListItem* owner, TQuillonCollection* collection, const char* tableName,
                       const char* indexName, int32_t openMode, int32_t shareMode)
    : TBapiListItem(owner, collection), openMode_(openMode), shareMode_(shareMode), fieldCache_(this) {
    SetTableName(tableName);
    if (indexName) indexName_ = AnsiString(indexName).substr(0, 260);
}

TBaseTable::~TBaseTable() = default;

uint8_t* TBaseTable::ExtraBuf() {
    if (extraBuf_.empty() && GetExtraBufSize() > 0) extraBuf_.assign(GetExtraBufSize(), 0);
    return extraBuf_.empty() ? nullptr : extraBuf_.data();
}

void TBaseTable::GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) {
    switch (id & 0xFFFF) {
    case 0: {
        const uint16_t count = 23;
        PutPropValue(value, bufferLength, &count, sizeof count, length);
        return;
    }
    case 1:
        length = 0;
        return;
    case 5: {
        const uint32_t zero = 0;
        PutPropValue(value, bufferLength, &zero, sizeof zero, length);
        return;
    }
    case 15: {
        const uint32_t count = static_cast<uint32_t>(fieldCache_.Count());
        PutPropValue(value, bufferLength, &count, sizeof count, length);
        return;
    }
    default:
        TBapiListItem::GetProp(id, value, length, bufferLength);
    }
}

void TBaseTable::SetProp(uint32_t id, intptr_t value) {
    if ((id & 0xFFFF) == 20) state_ = cursorstate::Repositioning;
}

void TBaseTable::CheckPropWritable(uint32_t id, bool raise) {
    const uint32_t low = id & 0xFFFF;
    if ((low == 0 || low == 1) && raise) RaiseEngineError(rc::NotSupported);
}

void TBaseTable::SetTableName(const char* name) {
    if (name) tableName_ = AnsiString(name).substr(0, 260);
}

void TBaseTable::SetFileName(const char* name) {
    fileName_ = name ? platform::Trim(name).substr(0, 260) : AnsiString();
}

uint16_t TBaseTable::GetRecBufSize() {
    if (!HasNullFlags()) return GetRecordSize();
    return static_cast<uint16_t>(GetRecordSize() + fieldCache_.Count() * 8 + 1);
}

int TBaseTable::MapRangeSearchCond(bool inclusive, bool isStart) const {
    if (isStart) return inclusive ? searchcond::GreaterOrEqual : searchcond::Greater;
    return inclusive ? searchcond::LessOrEqual : searchcond::Less;
}

void TBaseTable::GetFieldCountAndRecLen(uint16_t& count, uint16_t& recordLength) {
    count = static_cast<uint16_t>(fieldCache_.Count());
    if (count == 0) RaiseEngineError(rc::InvalidRecStruct);
    if (recLenCache_ == 0) {
        for (int i = 1; i <= fieldCache_.Count(); ++i) {
            const auto& d = fieldCache_.Item(i).Desc();
            recLenCache_ = std::max<uint16_t>(recLenCache_, static_cast<uint16_t>(d.offset + d.length));
        }
    }
    recordLength = recLenCache_;
}

void TBaseTable::CloneCursor(bool readOnly, bool unidirectional, TBaseTable*& cursor) {
    auto* database = dynamic_cast<TBaseDatabase*>(Owner());
    if (!database) RaiseEngineError(rc::InvalidParam);
    database->OpenTable(GetTableName(), nullptr, indexName_.c_str(), nullptr, 0, readOnly ? 1 : openMode_,
                        shareMode_, 0, unidirectional, nullptr, cursor);
}

void TBaseTable::GetFieldDescs(TEngineFieldDesc* descs) {
    CheckParam(descs);
    for (int i = 1; i <= fieldCache_.Count(); ++i) {
        const TFieldCacheItem& item = fieldCache_.Item(i);
        descs[i - 1] = item.Desc();
        descs[i - 1].localSize = item.LocalSize();
    }
}

void TBaseTable::SetToCursor(TBaseTable* target) {
    CheckParam(target);
    std::vector<uint8_t> bookmark(std::max<size_t>(GetBookmarkSize(), 1), 0);
    GetBookMark(bookmark.data());
    target->SetToBookMark(bookmark.data());
}

void TBaseTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result) {
    CheckParam(bookmark1);
    CheckParam(bookmark2);
    int32_t r = 0;
    CompareKeys(BookmarkToKey(bookmark1), BookmarkToKey(bookmark2), r, 0, 0);
    result = r < 0 ? -1 : r > 0 ? 1 : 0;
}

void TBaseTable::GoFirstInRange() {
    // Both kinds of bound hold their key in the block by now (a record bound's key
    // was extracted when the range was set), so the search is always by that key.
    if (rangeStart_.active)
        KeySearch(MapRangeSearchCond(rangeStart_.inclusive, true), true, GetRecBuf(), rangeStart_.key,
                  rangeStart_.partialLength, rangeStart_.fieldCount);
    else
        PhysFirst();
}

void TBaseTable::GoLastInRange() {
    if (rangeEnd_.active)
        KeySearch(MapRangeSearchCond(rangeEnd_.inclusive, false), true, GetRecBuf(), rangeEnd_.key,
                  rangeEnd_.partialLength, rangeEnd_.fieldCount);
    else
        PhysLast();
}

void TBaseTable::CheckRange(const uint8_t* record) {
    uint8_t key[kKeyBufferSize] = {};
    uint16_t keyLength = 0;
    if (rangeStart_.active) {
        ExtractKeyRaw(record, key, keyLength, rangeStart_.partialLength, rangeStart_.fieldCount);
        int32_t result = 0;
        CompareKeys(key, rangeStart_.key, result, rangeStart_.partialLength, rangeStart_.fieldCount);
        if (result < 0 || (result == 0 && !rangeStart_.inclusive)) RaiseBOF();
    }
    if (rangeEnd_.active) {
        if (!(rangeStart_.active && sameRangeShape_)) {
            std::memset(key, 0, sizeof key);
            ExtractKeyRaw(record, key, keyLength, rangeEnd_.partialLength, rangeEnd_.fieldCount);
        }
        int32_t result = 0;
        CompareKeys(key, rangeEnd_.key, result, rangeEnd_.partialLength, rangeEnd_.fieldCount);
        if (result > 0 || (result == 0 && !rangeEnd_.inclusive)) RaiseEOF();
    }
}

void TBaseTable::RangeAndFilterLoop(uint8_t* record) {
    if (!record) return;
    CheckRange(record);
    if (!filtersActive_) return;
    while (!RecordPassesFilters(record)) {
        SetRecBuf(record);
        if (direction_ == 2) PhysPrior();
        else PhysNext();
        CheckRange(record);
    }
}

void TBaseTable::GetNextRecord(int lock, uint8_t* record, TRecordProps* props) {
    direction_ = 1;
    SetRecBuf(record);
    switch (state_) {
    case cursorstate::Unpositioned:
    case cursorstate::BeforeFirst: GoFirstInRange(); break;
    case cursorstate::OnRecord:
    case cursorstate::Repositioning: PhysNext(); break;
    default: RaiseEOF();
    }
    RangeAndFilterLoop(record);
    // The move reached a record: a locked re-read must find the cursor on it.
    state_ = cursorstate::OnRecord;
    if (lock) GetRecord(lock, record, props);
    else FillRecProps(props);
    state_ = cursorstate::OnRecord;
}

void TBaseTable::GetPriorRecord(int lock, uint8_t* record, TRecordProps* props) {
    direction_ = 2;
    SetRecBuf(record);
    switch (state_) {
    case cursorstate::Unpositioned:
    case cursorstate::AfterLast: GoLastInRange(); break;
    case cursorstate::OnRecord:
    case cursorstate::Repositioning: PhysPrior(); break;
    default: RaiseBOF();
    }
    RangeAndFilterLoop(record);
    state_ = cursorstate::OnRecord;
    if (lock) GetRecord(lock, record, props);
    else FillRecProps(props);
    state_ = cursorstate::OnRecord;
}

void TBaseTable::RereadCurrent(int lock, uint8_t* record) {
    std::vector<uint8_t> bookmark(std::max<size_t>(GetBookmarkSize(), 1), 0);
    GetBookMark(bookmark.data());
    ReadAtBookmark(bookmark.data(), record, lock);
}

void TBaseTable::GetRecord(int lock, uint8_t* record, TRecordProps* props) {
    SetRecBuf(record);
    switch (state_) {
    case cursorstate::OnRecord:
        try {
            RereadCurrent(lock, record);
            RangeAndFilterLoop(record);
        } catch (const EQuillonEngineError&) {
            if (rereadPending_) {
                rereadPending_ = false;
                state_ = cursorstate::Unpositioned;
                GetNextRecord(lock, record, props);
                return;
            }
            if (lock == recordlock::Write) RelRecordLock(false);
            throw;
        }
        FillRecProps(props);
        return;
    case cursorstate::BeforeFirst: RaiseBOF();
    case cursorstate::AfterLast: RaiseEOF();
    case cursorstate::Repositioning:
        try {
            GetNextRecord(lock, record, props);
        } catch (const EQuillonEngineError&) {
            try {
                GetPriorRecord(lock, record, props);
            } catch (const EQuillonEngineError&) {
                state_ = cursorstate::Unpositioned;
                GetNextRecord(lock, record, props);
            }
        }
        return;
    default: RaiseEngineError(rc::NoCurrRec);
    }
}

void TBaseTable::GetRelativeRecord(int32_t count, int lock, TRecordProps* props, uint8_t* record) {
    if (count == 0) RaiseEngineError(rc::InvalidParam);
    const int64_t steps = count < 0 ? -static_cast<int64_t>(count) : count;
    for (int64_t i = 1; i <= steps; ++i) {
        const int stepLock = i == steps ? lock : 0;
        if (count > 0) GetNextRecord(stepLock, record, props);
        else GetPriorRecord(stepLock, record, props);
    }
}

void TBaseTable::InitRecord(uint8_t* record) {
    CheckParam(record);
    std::memset(record, 0, GetRecBufSize());
    if (HasNullFlags()) fieldCache_.BindAll(record);
    SetLastRecBuf(record);
}

void TBaseTable::ReadBlock(uint32_t& count, uint8_t* buffer, size_t bufferSize) {
    const uint32_t asked = count;
    count = 0;
    if (asked == 0) return;
    CheckParam(buffer);
    const size_t step = GetRecBufSize();
    if (step == 0 || asked > bufferSize / step) RaiseEngineError(rc::InvalidParam);
    try {
        while (count < asked) {
            GetNextRecord(0, buffer + static_cast<size_t>(count) * step, nullptr);
            ++count;
        }
    } catch (const EQuillonBoundryError&) {
    }
}

void TBaseTable::WriteBlock(uint32_t& count, uint8_t* buffer, size_t bufferSize) {
    const uint32_t asked = count;
    count = 0;
    if (asked == 0) return;
    CheckParam(buffer);
    const size_t step = GetRecBufSize();
    if (step == 0 || asked > bufferSize / step) RaiseEngineError(rc::InvalidParam);
    while (count < asked) {
        InsertRecord(0, buffer + static_cast<size_t>(count) * step);
        ++count;
    }
}

void TBaseTable::GetCursorProps(TCursorProps& props) {
    std::memset(&props, 0, sizeof props);
    uint16_t count = 0, recordLength = 0;
    GetFieldCountAndRecLen(count, recordLength);
    props.fieldCount = count;
    props.recordSize = recordLength;
    props.recordBufferSize = HasNullFlags() ? GetRecBufSize() : recordLength;
    props.keySize = indexDesc_.keyLength;
    props.bookmarkSize = GetBookmarkSize();
    props.bookmarkStable = shareMode_ == 1 ? -1 : 0;
    props.openMode = openMode_;
    props.shareMode = shareMode_;
    props.sequenceNumbers = -1;
    props.translateMode = 0;
    props.unidirectional = -1;
    props.tableRights = 255;
    props.filterCount = static_cast<uint16_t>(filters_.Count());
}

void TBaseTable::GetRecordCount(uint32_t& count) {
    count = 0;
    TScopedRecBuf record(*this, GetRecBufSize());
    std::vector<uint8_t> bookmark(std::max<size_t>(GetBookmarkSize(), 1), 0);
    // A cursor on no record (unpositioned or at either end) goes back to its end, not
    // to the record the engine read last: the next move must find the first (or last).
    const uint8_t savedState = state_;
    bool positioned = savedState != cursorstate::BeforeFirst && savedState != cursorstate::AfterLast &&
                      savedState != cursorstate::Unpositioned;
    if (positioned) {
        try {
            GetBookMark(bookmark.data());
        } catch (const EQuillonEngineError&) {
            positioned = false;
        }
    }
    SetToBegin();
    try {
        for (;;) {
            GetNextRecord(0, record.data(), nullptr);
            ++count;
            if (count % 16 == 0) RunMessagePump();
        }
    } catch (const EQuillonBoundryError&) {
    }
    if (positioned) SetToBookMark(bookmark.data());
    else if (savedState == cursorstate::AfterLast) SetToEnd();
    else SetToBegin();
}

void TBaseTable::ForceRecordReread(uint8_t* record) {
    ForceReread();
    GetRecord(0, record, nullptr);
}

void TBaseTable::FillRangeBlock(TRangeBlock& block, bool keyItself, uint16_t fieldCount, uint16_t partialLength,
                                const void* key, bool inclusive) {
    block = TRangeBlock{};
    block.keyItself = keyItself;
    block.active = key != nullptr;
    block.fieldCount = fieldCount;
    block.partialLength = partialLength;
    block.inclusive = inclusive;
    block.openCall = fieldCount == 0 && partialLength == 0;
    if (!keyItself) {
        block.keyPointer = static_cast<const uint8_t*>(key);
        return;
    }
    block.keyPointer = block.key;
    if (key) std::memcpy(block.key, key, std::min<size_t>(indexDesc_.keyLength, kKeyBufferSize));
    if (fieldCount != 0) return;
    // All fields of the index, less those the key leaves blank.
    const int keyFields = std::min<int>(indexDesc_.fieldsInKey, 16);
    int count = keyFields;
    size_t partOffset = 0;
    std::vector<uint8_t> scratch(kKeyBufferSize + 1);
    for (int i = 0; i < keyFields && partOffset < kKeyBufferSize; ++i) {
        TFieldCacheItem& item = fieldCache_.Item(indexDesc_.keyFields[i]);
        TEngineFieldDesc& desc = item.Desc();
        const TEngineFieldDesc saved = desc;
        desc.offset = 0;
        desc.nullOffset = 0;
        bool blank = false;
        try {
            GetFieldValue(item, block.key + partOffset, blank, scratch.data());
        } catch (...) {
            desc = saved;
            item.Bind(nullptr);
            throw;
        }
        desc = saved;
        item.Bind(nullptr);
        const size_t partSize = keyParts_[i].size > 0 ? static_cast<size_t>(keyParts_[i].size) : saved.length;
        if (blank) --count;
        partOffset += partSize;
    }
    block.fieldCount = static_cast<uint16_t>(count);
    if (count == 0) block.active = false;
}

void TBaseTable::ActivateRangeBlock(TRangeBlock& block) {
    if (!block.active || block.keyItself) return;
    try {
        uint16_t keyLength = 0;
        ExtractKeyRaw(block.keyPointer, block.key, keyLength, block.partialLength, block.fieldCount);
    } catch (const EQuillonEngineError&) {
        block.active = false;
    }
}

void TBaseTable::SetRange(bool keyItself, uint16_t startFieldCount, uint16_t startPartialLength, const void* startKey,
                          bool startInclusive, uint16_t endFieldCount, uint16_t endPartialLength, const void* endKey,
                          bool endInclusive) {
    ResetRange();
    TRangeBlock start, end;
    FillRangeBlock(start, keyItself, startFieldCount, startPartialLength, startKey, startInclusive);
    FillRangeBlock(end, keyItself, endFieldCount, endPartialLength, endKey, endInclusive);
    ActivateRangeBlock(start);
    ActivateRangeBlock(end);
    rangeStart_ = start;
    rangeEnd_ = end;
    // The blocks were filled as locals: their own keys now live in the members.
    if (rangeStart_.keyItself) rangeStart_.keyPointer = rangeStart_.key;
    if (rangeEnd_.keyItself) rangeEnd_.keyPointer = rangeEnd_.key;
    sameRangeShape_ = rangeStart_.active && rangeEnd_.active && rangeStart_.fieldCount == rangeEnd_.fieldCount &&
                      rangeStart_.partialLength == rangeEnd_.partialLength;
}

void TBaseTable::ResetRange() {
    rangeStart_.active = false;
    rangeEnd_.active = false;
    sameRangeShape_ = false;
}

void TBaseTable::SetToKey(int condition, bool keyItself, const void* key, uint16_t partialLength,
                          uint16_t fieldCount) {
    const int searchCondition = condition == 1 ? searchcond::Greater
                                : condition == 2 ? searchcond::GreaterOrEqual
                                                 : searchcond::Equal;
    TScopedRecBuf record(*this, GetRecBufSize());
    SetRecBuf(record.data());
    try {
        KeySearch(searchCondition, keyItself, record.data(), key, partialLength, fieldCount);
    } catch (const EQuillonEngineError&) {
        if (condition == 0) throw;
        SetToEnd();
        return;
    }
    direction_ = 1;
    RangeAndFilterLoop(record.data());
}

void TBaseTable::ExtractKey(const uint8_t* record, void* key) {
    uint16_t keyLength = 0;
    ExtractKeyRaw(record, key, keyLength, 0, 0);
}

void TBaseTable::GetIndexDesc(uint16_t indexNumber, TEngineIndexDesc& desc) {
    std::memset(&desc, 0, sizeof desc);
    RaiseEngineError(rc::InvalidHandle);
}

void TBaseTable::GetIndexDescs(TEngineIndexDesc* descs) {
    TCursorProps props;
    GetCursorProps(props);
    if (props.indexCount == 0) return;
    CheckParam(descs);
    struct TListing {
        bool& flag;
        ~TListing() { flag = false; }
    } listing{listingIndexes_};
    listingIndexes_ = true;
    for (uint16_t i = 0; i < props.indexCount; ++i) {
        std::memset(&descs[i], 0, sizeof descs[i]);
        GetIndexDesc(i, descs[i]);
    }
}

void TBaseTable::DeleteAllRecords() {
    // Each pass deletes the records the cursor shows: only those inside the range
    // and accepted by the active filters. The last refusal is kept as it was raised,
    // the engine's own error class and status text with it.
    std::exception_ptr lastError;
    for (int pass = 1; pass <= 5; ++pass) {
        TScopedRecBuf record(*this, GetRecBufSize());
        try {
            for (;;) {
                SetToBegin();
                GetNextRecord(0, record.data(), nullptr);
                try {
                    DeleteRecord(record.data());
                } catch (const EQuillonEngineError&) {
                    lastError = std::current_exception();
                    throw;
                }
                RunMessagePump();
            }
        } catch (const EQuillonEngineError&) {
        }
        uint32_t remaining = 0;
        GetRecordCount(remaining);
        if (remaining == 0) {
            lastError = nullptr;
            break;
        }
    }
    SetToBegin();
    // Records that would not go are a failure, not an empty table.
    if (lastError) std::rethrow_exception(lastError);
}

void TBaseTable::EmptyTable() {
    const int32_t savedShareMode = shareMode_;
    const bool wasClosed = state_ == cursorstate::Closed;
    const bool reopened = wasClosed || shareMode_ != 1;
    // Emptying takes every record, not only those the range and the filters show;
    // both are in force again afterwards.
    const bool startActive = rangeStart_.active, endActive = rangeEnd_.active;
    const bool sameShape = sameRangeShape_, filtersActive = filtersActive_;
    rangeStart_.active = false;
    rangeEnd_.active = false;
    sameRangeShape_ = false;
    filtersActive_ = false;
    // The cursor goes back to its own share mode and open state whatever happens.
    auto restore = [&] {
        rangeStart_.active = startActive;
        rangeEnd_.active = endActive;
        sameRangeShape_ = sameShape;
        filtersActive_ = filtersActive;
        shareMode_ = savedShareMode;
        if (!reopened) return;
        CloseCursor();
        if (!wasClosed) {
            OpenCursor();
            TCursorProps props;
            GetCursorProps(props);
        }
    };
    try {
        if (reopened) {
            CloseCursor();
            shareMode_ = 1;
            OpenCursor();
        }
        TCursorProps props;
        GetCursorProps(props);
        DeleteAllRecords();
    } catch (...) {
        try {
            restore();
        } catch (...) {
        }
        throw;
    }
    restore();
}

void TBaseTable::BeginDelayedUpdates(TBaseTable*& cursor) {
    cursor = MakeHandle<TBaseCacheTable>(this);
}

// ---- Fields, keys and comparisons ----

void TBaseTable::FindFieldDesc(uint16_t offsetPlusOne, uint16_t length, TEngineFieldDesc& desc) {
    const TFieldCacheItem* found = nullptr;
    for (int i = 1; i <= fieldCache_.Count(); ++i) {
        const TFieldCacheItem& item = fieldCache_.Item(i);
        if (item.Desc().offset + 1 != offsetPlusOne) continue;
        found = &item;
        if (item.Desc().length == length) break;
    }
    if (!found) RaiseEngineErrorMsg(rc::InvalidRecStruct, AnsiString("Table: ") + GetTableName());
    desc = found->Desc();
    desc.localSize = found->LocalSize();
}

int TBaseTable::CompareFieldValues(uint16_t type, TFieldCacheItem* item, const void* value2, const void* value1,
                                   bool caseInsensitive, uint16_t length) {
    switch (type) {
    case fldtype::ZString: {
        AnsiString a = TextUpTo(value1, length), b = TextUpTo(value2, length);
        if (caseInsensitive) {
            a = platform::AnsiUpperCase(a);
            b = platform::AnsiUpperCase(b);
        }
        const int c = a.compare(b);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    case fldtype::Bool:
        if (length != 1 && length != 2 && length != 4 && length != 8) return 0;
        return Sign(IsTrue(value1, length), IsTrue(value2, length));
    case fldtype::Int16: return CompareIntegers(value1, value2, length, true);
    case fldtype::UInt16: return CompareIntegers(value1, value2, length, false);
    case fldtype::Int32: return Sign(LoadUnaligned<int32_t>(value1), LoadUnaligned<int32_t>(value2));
    case fldtype::UInt32: return Sign(LoadUnaligned<uint32_t>(value1), LoadUnaligned<uint32_t>(value2));
    case fldtype::Float: return Sign(LoadUnaligned<double>(value1), LoadUnaligned<double>(value2));
    case fldtype::Timestamp:
        return Sign(static_cast<double>(LoadUnaligned<int64_t>(value1)), static_cast<double>(LoadUnaligned<int64_t>(value2)));
    default: return CompareBytes(value1, value2, length);
    }
}

void TBaseTable::GetFieldValue(TFieldCacheItem& item, uint8_t* record, bool& blank, void* value) {
    CheckParam(record);
    item.Bind(record);
    blank = item.IsBlank();
    if (blank || !value) return;
    FieldToLogical(item.LocalType(), item.LocalSize(), blank, value, item.FieldData(), item.Desc().length,
                   item.Desc().units1);
}

void TBaseTable::PutFieldValue(TFieldCacheItem& item, const void* value) {
    FieldToPhysical(item.LocalType(), item.LocalSize(), item.FieldData(), value, item.Desc().length,
                    item.Desc().units1);
}

void TBaseTable::GetField(uint16_t fieldNumber, uint8_t* record, bool& blank, void* value) {
    CheckParam(record);
    TFieldCacheItem& item = fieldCache_.Item(fieldNumber);
    item.Bind(record);
    if (value) {
        GetFieldValue(item, record, blank, value);
    } else if (HasNullFlags()) {
        blank = item.IsBlank();
        return;
    } else {
        std::vector<uint8_t> scratch(item.Desc().length >= 256 ? item.Desc().length + 1u : 256u);
        GetFieldValue(item, record, blank, scratch.data());
    }
    item.SetBlank(blank);
}

void TBaseTable::PutField(uint16_t fieldNumber, uint8_t* record, const void* value) {
    CheckParam(record);
    TFieldCacheItem& item = fieldCache_.Item(fieldNumber);
    item.Bind(record);
    // A null value goes to the engine too: the engine knows how its records hold one.
    PutFieldValue(item, value);
    item.SetChanged(true);
    item.SetBlank(value == nullptr);
}

void TBaseTable::CompareKeys(const void* key1, const void* key2, int32_t& result, uint16_t partialLength,
                             uint16_t fieldCount) {
    result = 0;
    CheckParam(key1);
    if (!key2) key2 = CheckParam(GetRecBuf());
    const int keyFields = std::min<int>(indexDesc_.fieldsInKey, 16);
    int count;
    if (fieldCount == 0) {
        if (partialLength != 0) return;
        count = keyFields;
    } else {
        count = std::min<int>(fieldCount, keyFields);
    }
    const auto* k1 = static_cast<const uint8_t*>(key1);
    const auto* k2 = static_cast<const uint8_t*>(key2);
    for (int i = 0; i < count; ++i) {
        TFieldCacheItem& item = fieldCache_.Item(indexDesc_.keyFields[i]);
        uint16_t type = item.LocalType();
        uint16_t size = item.LocalSize();
        if (partialLength != 0 && i == count - 1) {
            size = partialLength;
        } else if (keyParts_[i].overrideType) {
            size = static_cast<uint16_t>(keyParts_[i].size);
            type = static_cast<uint16_t>(keyParts_[i].type);
        }
        int c = CompareFieldValues(type, &item, k2, k1, indexDesc_.caseInsensitive != 0, size);
        k1 += size;
        k2 += size;
        if (c != 0) {
            if (keyParts_[i].descending) c = c < 0 ? 1 : -1;
            result = c;
            return;
        }
    }
}

void TBaseTable::IndexForFields(const char* fieldList, uint16_t& indexNumber, char* indexName) {
    CheckParam(fieldList);
    const AnsiString list(fieldList);
    if (list.find('@') == AnsiString::npos) {
        if (indexName) CopyToField(indexName, 32, list);
        return;
    }
    constexpr size_t kMaxNames = 16;
    std::vector<uint16_t> numbers;
    size_t pos = list.find('@');
    while (pos != AnsiString::npos) {
        const size_t next = list.find('@', pos + 1);
        const AnsiString name = list.substr(pos + 1, next == AnsiString::npos ? AnsiString::npos : next - pos - 1);
        // An index key holds at most 16 fields: a longer list matches none.
        if (numbers.size() == kMaxNames) RaiseEngineError(rc::InvalidIndexName);
        numbers.push_back(static_cast<uint16_t>(fieldCache_.FieldNumber(name)));
        pos = next;
    }
    if (numbers.empty()) RaiseEngineError(rc::InvalidIndexName);
    // An engine ends the search with its error past the last index; one that answers
    // for every number is asked no further than the index numbers go (0xFFFF is none).
    for (uint16_t n = 0; n < kNoIndex; ++n) {
        TEngineIndexDesc desc;
        GetIndexDesc(n, desc);
        if (desc.fieldsInKey < numbers.size()) continue;
        if (!std::equal(numbers.begin(), numbers.end(), desc.keyFields)) continue;
        if (numbers.size() < 16 && desc.keyFields[numbers.size()] != 0) continue;
        indexNumber = n;
        if (indexName) CopyToField(indexName, 32, FieldText(desc.name, sizeof desc.name));
        return;
    }
    RaiseEngineError(rc::InvalidIndexName);
}

}  // namespace btrieve
