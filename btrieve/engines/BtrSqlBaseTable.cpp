#include "btrieve/engines/BtrSqlBaseTable.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "btrieve/engines/BtrSqlDatabase.h"
#include "btrieve/engines/BtrieveFields.h"
#include "btrieve/engines/SqlEngine.h"

namespace btrieve {

namespace {

constexpr uint16_t kRecordLengthSize = 2;
constexpr uint16_t kPositionDataSize = kSqlPositionSize - kRecordLengthSize;
constexpr uint16_t kDifferentBookmarks = 0x2725;
constexpr uint16_t kComputedCountType = 1, kComputedCountSize = 4;
constexpr uint16_t kComputedFloatType = 2, kComputedFloatSize = 8;
constexpr const char* kAllFields = "*.*";

uint16_t LengthWord(const void* data) {
    uint16_t length;
    std::memcpy(&length, data, sizeof length);
    return length;
}

void SetLengthWord(void* data, uint16_t length) { std::memcpy(data, &length, sizeof length); }

// A position copied into a buffer: its length word never takes more bytes than a
// position has.
void CopyPosition(uint8_t* destination, const void* bookmark) {
    const uint16_t length = std::min(LengthWord(bookmark), kPositionDataSize);
    SetLengthWord(destination, length);
    std::memcpy(destination + kRecordLengthSize, static_cast<const uint8_t*>(bookmark) + kRecordLengthSize, length);
}

void CheckRowFound(uint32_t count) {
    if (count == 0) RaiseEngineError(rc::NoCurrRec);
}

}  // namespace

TBtrSqlBaseTable::TBtrSqlBaseTable(TBapiListItem* statement, int16_t sessionId, const uint8_t* clientId,
                                   int16_t cursorId, TQuillonCollection* collection)
    : TBtrBaseTable(statement, clientId, 0, 0, nullptr, collection),
      sessionId_(static_cast<uint16_t>(sessionId)),
      cursorId_(cursorId) {}

void TBtrSqlBaseTable::MakeCurrent() const { PutSqlSession(static_cast<int16_t>(sessionId_)); }

void TBtrSqlBaseTable::GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) {
    switch (id & 0xFFFF) {
    case 0: PutPropValue(value, bufferLength, &property0_, sizeof property0_, length); return;
    case 1: PutPropValue(value, bufferLength, &cursorId_, sizeof cursorId_, length); return;
    default: TBtrBaseTable::GetProp(id, value, length, bufferLength);
    }
}

void TBtrSqlBaseTable::SetProp(uint32_t id, intptr_t value) {
    if ((id & 0xFFFF) == 0) {
        property0_ = static_cast<uint8_t>(value);
        return;
    }
    TBtrBaseTable::SetProp(id, value);
}

void TBtrSqlBaseTable::CheckPropWritable(uint32_t id, bool raise) {
    if ((id & 0xFFFF) == 1) {
        if (raise) RaiseEngineError(rc::NotSupported);
        return;
    }
    TBtrBaseTable::CheckPropWritable(id, raise);
}

uint16_t TBtrSqlBaseTable::GetBookmarkSize() const { return kSqlPositionSize; }

void TBtrSqlBaseTable::Fetch(uint16_t option) {
    MakeCurrent();
    std::vector<uint8_t> scratch;
    uint8_t* record = GetRecBuf();
    if (!record) {
        scratch.assign(std::max<uint16_t>(GetRecordSize(), 1), 0);
        record = scratch.data();
    }
    uint32_t length = GetRecordSize();
    uint32_t count = 1;
    const int16_t status = SqlEngine().fetch(cursorId_, option, &length, record, &count, 0, 0);
    if (status != SqlStatusNoRow) {
        CheckSqlStatus(status);
        return;
    }
    if (count > 0) return;
    const uint16_t move = option & ~FetchLockBias;
    if (move == FetchFirst || move == FetchPrior) RaiseBOF();
    RaiseEOF();
}

void TBtrSqlBaseTable::OpenCursor() {
    MakeCurrent();
    CheckSqlStatus(SqlEngine().exec(cursorId_));
    TBtrBaseTable::OpenCursor();
    DescribeColumns();
}

void TBtrSqlBaseTable::DescribeColumns() {
    if (described_) return;
    uint32_t size = kRecordLengthSize;
    for (int n = 1;; ++n) {
        try {
            const TEngineFieldDesc& desc = FieldCache().Item(n).Desc();
            size += desc.length;
        } catch (const EScalableSQLEngineError& e) {
            if (e.Status() != SqlStatusNoSuchColumn) throw;
            break;
        }
    }
    size += kSqlRowSpare;
    SetRecordSize(static_cast<uint16_t>(std::min<uint32_t>(size, USHRT_MAX)));
    RegisterBlobs();
    described_ = true;
}

void TBtrSqlBaseTable::GetFieldDesc(uint16_t fieldNumber, uint16_t& localSize, uint16_t& localType,
                                    TEngineFieldDesc& desc) {
    MakeCurrent();
    int16_t type = 0, size = 0, decimals = 0, displaySize = 0, nameLength = 0;
    char name[kSqlColumnNameSize + 1] = {};
    uint32_t offset = kRecordLengthSize;
    for (uint16_t i = 1; i <= fieldNumber; ++i) {
        if (i > 1) offset += static_cast<uint16_t>(size);
        nameLength = kSqlColumnNameSize;
        std::memset(name, 0, sizeof name);
        CheckSqlStatus(SqlEngine().describe(cursorId_, static_cast<int16_t>(i), &type, &size, &decimals, &displaySize,
                                            &nameLength, name));
    }
    if (size + nameLength == 0) RaiseEngineError(rc::InvalidParam);
    AnsiString columnName(name, strnlen(name, kSqlColumnNameSize));
    if (size == 0 && type == kSqlComputedType) {
        // A computed column: the engine gives its value by the function's kind.
        const AnsiString upper = platform::AnsiUpperCase(columnName);
        if (upper.find("COUNT(") != AnsiString::npos) {
            type = kComputedCountType;
            size = kComputedCountSize;
        } else if ((upper.find("SUM(") != AnsiString::npos || upper.find("AVG(") != AnsiString::npos) &&
                   decimals == 0) {
            type = kComputedFloatType;
            size = kComputedFloatSize;
        }
    }
    uint8_t dictRecord[32] = {};
    AnsiString dictName = columnName;
    std::replace(dictName.begin(), dictName.end(), '^', '_');
    std::memcpy(dictRecord + fieldddf::Name, dictName.data(), std::min<size_t>(dictName.size(), fieldddf::NameSize));
    if (dictName.size() < fieldddf::NameSize)
        std::memset(dictRecord + fieldddf::Name + dictName.size(), ' ', fieldddf::NameSize - dictName.size());
    dictRecord[fieldddf::DataType] = static_cast<uint8_t>(type);
    const uint16_t fieldOffset = static_cast<uint16_t>(offset);
    const uint16_t fieldSize = static_cast<uint16_t>(size);
    std::memcpy(dictRecord + fieldddf::Offset, &fieldOffset, 2);
    std::memcpy(dictRecord + fieldddf::Size, &fieldSize, 2);
    dictRecord[fieldddf::Dec] = static_cast<uint8_t>(decimals);
    desc = DictFieldToDesc(dictRecord, fieldNumber);
    std::replace(dictName.begin(), dictName.end(), '\0', ' ');
    CopyToField(desc.name, sizeof desc.name, dictName.substr(0, 31));
    localType = static_cast<uint16_t>(type);
    localSize = fieldSize;
}

void TBtrSqlBaseTable::GetCursorProps(TCursorProps& props) {
    DescribeColumns();
    TBaseTable::GetCursorProps(props);
    // Every described column, no more: a further field would be asked of the engine
    // and refused.
    props.fieldCount = static_cast<uint16_t>(FieldCache().Count());
    props.recordSize = GetRecordSize();
    props.recordBufferSize = GetRecordSize();
}

void TBtrSqlBaseTable::PutFieldValue(TFieldCacheItem& item, const void* value) {
    if (BlobCount() > 0 && value && item.Desc().subType == fldsubtype::Memo && IsLastField(item)) {
        const auto* text = static_cast<const uint8_t*>(value);
        // Into the record the caller is editing, which need not be the cursor's buffer.
        PutBlob(item.Record(), item.Desc().fieldNumber, 0, text[0], text + 1);
        return;
    }
    TBtrBaseTable::PutFieldValue(item, value);
}

void TBtrSqlBaseTable::GetBookMark(void* bookmark) {
    CheckParam(bookmark);
    MakeCurrent();
    std::memset(bookmark, 0, kSqlPositionSize);
    uint32_t count = 1;
    CheckSqlStatus(SqlEngine().xFetch(cursorId_, kSqlPositionSize, FetchPosition, &count, 0, bookmark));
    CheckRowFound(count);
}

void TBtrSqlBaseTable::SetToBookMark(const void* bookmark) {
    CheckParam(bookmark);
    MakeCurrent();
    const size_t size = 3u * std::max<size_t>(GetRecordSize(), kSqlPositionSize);
    std::vector<uint8_t> scratch(size, 0);
    CopyPosition(scratch.data(), bookmark);
    uint32_t count = 1;
    CheckSqlStatus(SqlEngine().xFetch(cursorId_, static_cast<uint32_t>(size), FetchAtPosition, &count, -1,
                                      scratch.data()));
    CheckRowFound(count);
    SetState(cursorstate::OnRecord);
}

void TBtrSqlBaseTable::ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) {
    CheckParam(bookmark);
    CheckParam(record);
    MakeCurrent();
    std::vector<uint8_t> position(kSqlPositionSize, 0);
    CopyPosition(position.data(), bookmark);
    // The record buffer may be shorter than a position: only what fits is handed over.
    const uint16_t recordSize = std::max<uint16_t>(GetRecordSize(), kRecordLengthSize);
    std::memcpy(record, position.data(), std::min<size_t>(recordSize, position.size()));
    uint32_t count = 1;
    const uint16_t option = FetchAtPosition + (lock == 1 ? FetchLockBias : 0);
    CheckSqlStatus(SqlEngine().xFetch(cursorId_, recordSize, option, &count, -1, record));
    CheckRowFound(count);
    SetRecBuf(record);
    SetState(cursorstate::OnRecord);
}

void TBtrSqlBaseTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result) {
    CheckParam(bookmark1);
    CheckParam(bookmark2);
    const uint16_t length = LengthWord(bookmark1);
    if (length != LengthWord(bookmark2)) RaiseEngineError(kDifferentBookmarks);
    const auto* a = static_cast<const uint8_t*>(bookmark1) + kRecordLengthSize;
    const auto* b = static_cast<const uint8_t*>(bookmark2) + kRecordLengthSize;
    result = 0;
    for (uint16_t i = 0; i < std::min(length, kPositionDataSize) / 4; ++i) {
        int32_t x, y;
        std::memcpy(&x, a + 4 * i, 4);
        std::memcpy(&y, b + 4 * i, 4);
        if (x != y) {
            result = x < y ? -1 : 1;
            return;
        }
    }
}

void TBtrSqlBaseTable::InsertRecord(int lock, uint8_t* record) {
    CheckParam(record);
    MakeCurrent();
    if (LengthWord(record) == 0) {
        uint16_t length = GetRecordSize();
        const int count = FieldCache().Count();
        if (count > 0) {
            const TEngineFieldDesc& last = FieldCache().Item(count).Desc();
            if (last.subType == fldsubtype::Memo) {
                const auto* text = reinterpret_cast<const char*>(record + last.offset);
                length = static_cast<uint16_t>(last.offset + strnlen(text, last.length));
            }
        }
        SetLengthWord(record, length);
    }
    uint32_t count = 1;
    CheckSqlStatus(SqlEngine().xInsert(cursorId_, 1, kAllFields, &count, record));
    SetRecBuf(record);
    Fetch(FetchCurrent + (lock == 1 ? FetchLockBias : 0));
}

void TBtrSqlBaseTable::ModifyRecord(uint8_t* record, bool releaseLock) {
    CheckParam(record);
    MakeCurrent();
    uint32_t count = 1;
    CheckSqlStatus(SqlEngine().xUpdate(cursorId_, 1, kAllFields, &count, record));
    SetRecBuf(record);
    if (releaseLock) {
        uint32_t length = 0, none = 0;
        SqlEngine().fetch(cursorId_, FetchRelease, &length, record, &none, 0, 0);
    }
    Fetch(FetchCurrent);
}

void TBtrSqlBaseTable::DeleteRecord(uint8_t*) {
    MakeCurrent();
    uint32_t count = 1;
    CheckSqlStatus(SqlEngine().xRemove(cursorId_, 1, kAllFields, &count));
    SetState(cursorstate::Repositioning);
}

void TBtrSqlBaseTable::ReadBlock(uint32_t& count, uint8_t* buffer, size_t bufferSize) {
    CheckParam(buffer);
    MakeCurrent();
    // Never more rows than the caller's buffer holds.
    const uint32_t rowSize = std::max<uint16_t>(GetRecordSize(), 1);
    count = std::min<uint32_t>(count, static_cast<uint32_t>(bufferSize / rowSize));
    uint32_t length = rowSize * count;
    const int16_t status = SqlEngine().fetch(cursorId_, FetchNext, &length, buffer, &count, 0, 0);
    if (status != SqlStatusNoRow) CheckSqlStatus(status);
}

void TBtrSqlBaseTable::WriteBlock(uint32_t& count, uint8_t* buffer, size_t bufferSize) {
    CheckParam(buffer);
    MakeCurrent();
    const uint32_t rowSize = std::max<uint16_t>(GetRecordSize(), 1);
    count = std::min<uint32_t>(count, static_cast<uint32_t>(bufferSize / rowSize));
    CheckSqlStatus(SqlEngine().xInsert(cursorId_, 1, kAllFields, &count, buffer));
}

void TBtrSqlBaseTable::ShortenRecord(uint8_t* record, TFieldCacheItem& item, uint32_t usedLength) {
    SetLengthWord(record, static_cast<uint16_t>(item.Desc().offset + usedLength));
}

void TBtrSqlAggTable::PhysFirst() {
    TBtrSqlBaseTable::PhysFirst();
    row_ = 1;
}

void TBtrSqlAggTable::PhysLast() {
    TBtrSqlBaseTable::PhysLast();
    // The last row's number is counted: a bookmark taken there (or after moving back
    // from there) must be found again by reading from the start.
    int32_t rows = 1;
    TBtrSqlBaseTable::PhysFirst();
    try {
        for (;;) {
            TBtrSqlBaseTable::PhysNext();
            ++rows;
        }
    } catch (const EQuillonEOFError&) {
    }
    TBtrSqlBaseTable::PhysLast();
    row_ = rows;
}

void TBtrSqlAggTable::PhysNext() {
    TBtrSqlBaseTable::PhysNext();
    ++row_;
}

void TBtrSqlAggTable::PhysPrior() {
    if (row_ < 2) RaiseBOF();
    TBtrSqlBaseTable::PhysPrior();
    --row_;
}

void TBtrSqlAggTable::GetBookMark(void* bookmark) {
    CheckParam(bookmark);
    std::memcpy(bookmark, &row_, sizeof row_);
}

void TBtrSqlAggTable::SetToBookMark(const void* bookmark) {
    CheckParam(bookmark);
    int32_t wanted;
    std::memcpy(&wanted, bookmark, sizeof wanted);
    uint8_t* const callerRecord = GetRecBuf();
    std::vector<uint8_t> scratch(std::max<uint16_t>(GetRecordSize(), 1), 0);
    SetState(cursorstate::Unpositioned);
    do {
        GetNextRecord(0, scratch.data(), nullptr);
    } while (row_ != wanted);
    SetRecBuf(callerRecord);
    SetState(cursorstate::OnRecord);
}

void TBtrSqlAggTable::ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) {
    CheckParam(record);
    SetToBookMark(bookmark);
    // The search read into its own buffer: the row is read again into the caller's.
    SetRecBuf(record);
    Fetch(FetchCurrent + (lock == 1 ? FetchLockBias : 0));
    SetState(cursorstate::OnRecord);
}

void TBtrSqlAggTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result) {
    CheckParam(bookmark1);
    CheckParam(bookmark2);
    int32_t a, b;
    std::memcpy(&a, bookmark1, 4);
    std::memcpy(&b, bookmark2, 4);
    result = a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace btrieve
