#include "btrieve/base/MemTable.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace btrieve {

TMemTableRecord::TMemTableRecord(TMemTable* table, const uint8_t* image, const void* key,
                                 TQuillonCollection* collection, int insertAt)
    : TBapiListItem(table, nullptr), Image(table->ImageLength(), 0), Key(table->GetBookmarkSize(), 0) {
    if (image) std::memcpy(Image.data(), image, Image.size());
    if (key) {
        std::memcpy(Key.data(), key, Key.size());
    } else {
        const int32_t number = collection && insertAt < 0 ? collection->Count() + 1 : 1;
        std::memcpy(Key.data(), &number, std::min<size_t>(sizeof number, Key.size()));
    }
    if (insertAt >= 0) JoinCollectionAt(collection, insertAt);
    else JoinCollection(collection);
    Props.physRecNumber = static_cast<uint32_t>(collection ? collection->Count() : 0);
}

const void* TCacheCollection::KeyOf(TBapiListItem* item) const {
    return static_cast<TMemTableRecord*>(item)->Key.data();
}

int TCacheCollection::Compare(const void* key1, const void* key2) const {
    try {
        int32_t result = 0;
        table_.CompareBookMarks(key1, key2, result);
        return result;
    } catch (const EQuillonEngineError&) {
        return 1;
    }
}

uint16_t TMemTable::FieldLengthForType(const TEngineFieldDesc& desc) {
    switch (desc.fieldType) {
    case fldtype::ZString: return static_cast<uint16_t>(desc.units1 + 1);
    case fldtype::Date: case fldtype::Float: case fldtype::Time: case fldtype::Timestamp: return 8;
    case fldtype::Bool: case fldtype::Int16: case fldtype::UInt16: return 2;
    case fldtype::Int32: case fldtype::UInt32: return 4;
    case fldtype::Bcd: return static_cast<uint16_t>(desc.units2 < 0 ? -desc.units2 : desc.units2);
    case fldtype::FloatIeee: return 10;
    default: return static_cast<uint16_t>(desc.units1);
    }
}

TMemTable::TMemTable(TBapiListItem* owner, TBaseTable* baseCursor, TEngineFieldDesc* descs, uint16_t bookmarkSize,
                     uint16_t fieldCount, const char* tableName, TQuillonCollection* collection)
    : TBaseTable(owner, collection, tableName, nullptr, 0, 0),
      records_(*this),
      bookmarkSize_(bookmarkSize),
      baseCursor_(baseCursor) {
    uint32_t offset = 0;
    for (uint16_t i = 0; descs && i < fieldCount; ++i) {
        TEngineFieldDesc& d = descs[i];
        if (d.length == 0) d.length = FieldLengthForType(d);
        d.offset = static_cast<uint16_t>(offset);
        offset += d.length;
        TEngineFieldDesc cached = d;
        cached.fieldNumber = static_cast<uint16_t>(i + 1);
        cached.localType = d.fieldType;
        cached.localSize = d.length;
        FieldCache().Add(cached);
    }
    if (offset > 0xFFFF) RaiseEngineError(rc::InvalidTableCreate);
    recordLength_ = static_cast<uint16_t>(offset);
    // A cache keeps whole record buffers of the cursor it wraps: its images are filled
    // from and written to buffers of exactly that size, whatever its fields add up to.
    imageLength_ = baseCursor ? baseCursor->GetRecBufSize() : recordLength_;
    if (FieldCache().Count() > 0) {
        uint16_t count = 0, length = 0;
        GetFieldCountAndRecLen(count, length);
    }
}

TMemTable::~TMemTable() { ClearAll(); }

void TMemTable::GetFieldDesc(uint16_t fieldNumber, uint16_t& localSize, uint16_t& localType, TEngineFieldDesc& desc) {
    RaiseEngineError(rc::InvalidRecStruct);  // every field is in the cache from the start
}

TMemTableRecord* TMemTable::RecordAt(int position) const {
    return static_cast<TMemTableRecord*>(records_.Get(position - 1));
}

void TMemTable::MoveTo(int position) {
    position_ = position;
    successorAtPosition_ = false;
    current_ = RecordAt(position);
}

void TMemTable::PhysFirst() {
    if (records_.Count() == 0) RaiseEOF();
    position_ = 1;
    successorAtPosition_ = false;
    GetRecord(0, GetRecBuf(), nullptr);
}

void TMemTable::PhysLast() {
    if (records_.Count() == 0) RaiseBOF();
    position_ = records_.Count();
    successorAtPosition_ = false;
    GetRecord(0, GetRecBuf(), nullptr);
}

void TMemTable::PhysNext() {
    const int next = successorAtPosition_ ? std::max(position_, 1) : position_ + 1;
    if (next > records_.Count()) RaiseEOF();
    position_ = next;
    successorAtPosition_ = false;
    try {
        GetRecord(0, GetRecBuf(), nullptr);
    } catch (const EQuillonEngineError&) {
        RaiseEOF();
    }
}

void TMemTable::PhysPrior() {
    if (position_ <= 1) RaiseBOF();
    --position_;
    successorAtPosition_ = false;
    try {
        GetRecord(0, GetRecBuf(), nullptr);
    } catch (const EQuillonEngineError&) {
        RaiseBOF();
    }
}

void TMemTable::FieldToLogical(uint16_t, uint16_t, bool& blank, void* value, const uint8_t* fieldData,
                               uint16_t fieldLength, int16_t) {
    blank = false;
    if (value && fieldData) std::memcpy(value, fieldData, fieldLength);
}

void TMemTable::FieldToPhysical(uint16_t, uint16_t, uint8_t* fieldData, const void* value, uint16_t fieldLength,
                                int16_t) {
    if (!fieldData) return;
    // A memory table keeps no null flags: a null value is a field of zero bytes.
    if (value)
        std::memcpy(fieldData, value, fieldLength);
    else
        std::memset(fieldData, 0, fieldLength);
}

void TMemTable::GetBookMark(void* bookmark) {
    if (!current_) RaiseEngineError(rc::NoCurrRec);
    CheckParam(bookmark);
    std::memcpy(bookmark, current_->Key.data(), current_->Key.size());
}

void TMemTable::SetToBookMark(const void* bookmark) {
    CheckParam(bookmark);
    for (int i = 1; i <= records_.Count(); ++i) {
        MoveTo(i);
        // Records inserted into a cache have no bookmark of the wrapped cursor; those of
        // a plain memory table carry keys of their own and are found like the others.
        if (baseCursor_ && current_->UpdateStatus() == updstatus::Inserted) continue;
        int32_t result = 1;
        CompareBookMarks(bookmark, current_->Key.data(), result);
        if (result == 0) {
            state_ = cursorstate::OnRecord;
            return;
        }
    }
    RaiseEOF();
}

void TMemTable::ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) {
    SetToBookMark(bookmark);
    if (record) std::memcpy(record, current_->Image.data(), std::min<size_t>(current_->Image.size(), GetRecBufSize()));
}

void TMemTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result) {
    if (baseCursor_) {
        baseCursor_->CompareBookMarks(bookmark1, bookmark2, result);
        return;
    }
    CheckParam(bookmark1);
    CheckParam(bookmark2);
    int32_t a, b;
    std::memcpy(&a, bookmark1, sizeof a);
    std::memcpy(&b, bookmark2, sizeof b);
    result = a < b ? -1 : a > b ? 1 : 0;
}

void TMemTable::FillRecProps(TRecordProps* props) {
    if (props && current_) *props = current_->Props;
}

void TMemTable::GetRecord(int lock, uint8_t* record, TRecordProps* props) {
    if (records_.Count() == 0) RaiseEOF();
    if (position_ <= 0) position_ = 1;
    if (position_ > records_.Count()) RaiseEOF();
    successorAtPosition_ = false;
    current_ = RecordAt(position_);
    if (!current_) RaiseEngineError(rc::NoCurrRec);
    if (record) std::memcpy(record, current_->Image.data(), std::min<size_t>(current_->Image.size(), GetRecBufSize()));
    FillRecProps(props);
    state_ = cursorstate::OnRecord;
}

void TMemTable::DeleteRecord(uint8_t*) {
    if (!current_) RaiseEngineError(rc::NoCurrRec);
    FreeHandle(current_);
    current_ = nullptr;
    // The position stays: the next record has moved into it, so a prior move reaches
    // the record before, the current record is that next one, and so is a next move.
    successorAtPosition_ = true;
    state_ = cursorstate::Repositioning;
}

void TMemTable::GetSeqNo(uint32_t& number) {
    TMemTableRecord* record = RecordAt(position_);
    if (!record) RaiseEngineError(rc::NoCurrRec);
    number = record->Props.seqNumber;
}

void TMemTable::SetToSeqNo(uint32_t number) {
    for (int i = 1; i <= records_.Count(); ++i) {
        if (RecordAt(i)->Props.seqNumber == number) {
            MoveTo(i);
            state_ = cursorstate::OnRecord;
            return;
        }
    }
    RaiseEOF();
}

void TMemTable::EmptyTable() {
    ClearAll();
    state_ = cursorstate::Unpositioned;
}

bool TMemTable::StatusVisible(uint8_t mask, bool hasRecord) const {
    if (!hasRecord || !current_) return (mask & 8) != 0;
    switch (current_->UpdateStatus()) {
    case updstatus::Modified: return (mask & 1) != 0;
    case updstatus::Inserted: return (mask & 2) != 0;
    case updstatus::Deleted: return (mask & 4) != 0;
    default: return true;
    }
}

std::vector<uint8_t> TMemTable::FreeKey() const {
    // Numbers by count would repeat after a deletion, and two records sharing a key
    // share a bookmark: a new record takes the number after the highest one held.
    int32_t highest = 0;
    const size_t size = std::min<size_t>(sizeof highest, GetBookmarkSize());
    for (auto* item : records_) {
        int32_t number = 0;
        std::memcpy(&number, static_cast<const TMemTableRecord*>(item)->Key.data(), size);
        highest = std::max(highest, number);
    }
    const int32_t next = highest + 1;
    std::vector<uint8_t> key(GetBookmarkSize(), 0);
    std::memcpy(key.data(), &next, size);
    return key;
}

void TMemTable::AddRecord(const uint8_t* record) {
    CheckParam(record);
    const std::vector<uint8_t> key = baseCursor_ ? std::vector<uint8_t>() : FreeKey();
    const void* ownKey = key.empty() ? nullptr : key.data();
    TMemTableRecord* added;
    if (records_.Count() == 0 || position_ <= 0)
        added = MakeHandle<TMemTableRecord>(this, record, ownKey, &records_);
    else
        added = MakeHandle<TMemTableRecord>(this, record, ownKey, &records_, position_ - 1);
    // The new record took the position: a next move goes past it.
    successorAtPosition_ = false;
    added->SetUpdateStatus(updstatus::Inserted);
}

void TMemTable::AddWithKey(const uint8_t* image, const void* key) {
    const std::vector<uint8_t> ownKey = key || baseCursor_ ? std::vector<uint8_t>() : FreeKey();
    if (!ownKey.empty()) key = ownKey.data();
    MakeHandle<TMemTableRecord>(this, image, key, &records_);
    MoveTo(records_.Count());
    state_ = cursorstate::OnRecord;
}

void TMemTable::FindOrAdd(const uint8_t* image, const void* key) {
    if (!key) {
        if (!current_) RaiseEngineError(rc::NoCurrRec);
        return;
    }
    try {
        SetToBookMark(key);
    } catch (const EQuillonEngineError&) {
        AddWithKey(image, key);
        SetToBookMark(key);
    }
}

void TMemTable::ModifyWithKey(const uint8_t* image, const void* key) {
    FindOrAdd(image, key);
    if (image) std::memcpy(current_->Image.data(), image, current_->Image.size());
    current_->SetUpdateStatus(updstatus::Modified);
    current_->Props.deleteFlag = 0;
    current_->Applied = false;
}

void TMemTable::DeleteWithKey(const uint8_t* image, const void* key) {
    FindOrAdd(image, key);
    current_->SetUpdateStatus(updstatus::Deleted);
    current_->Props.deleteFlag = -1;
    current_->Applied = false;
}

bool TMemTable::HasUnappliedChanges() const {
    for (auto* item : records_) {
        const auto* record = static_cast<const TMemTableRecord*>(item);
        if (record->UpdateStatus() != updstatus::Unmodified && !record->Applied) return true;
    }
    return false;
}

void TMemTable::ApplyToBase() {
    CheckHandle(baseCursor_);
    // A change written once is not written again; a change the base cursor refuses
    // stays unapplied, the others go on, and the first refusal is reported.
    // The refusal goes on as it was raised: a copy of the base class would lose what the
    // engine's own error carries (the record manager's status and its text).
    std::exception_ptr firstError;
    for (int i = records_.Count(); i >= 1; --i) {
        TMemTableRecord* record = RecordAt(i);
        if (record->Applied) continue;
        try {
            switch (record->UpdateStatus()) {
            case updstatus::Modified:
                baseCursor_->SetToBookMark(record->Key.data());
                baseCursor_->SetUpdateHint(1);
                baseCursor_->ModifyRecord(record->Image.data(), true);
                break;
            case updstatus::Inserted:
                baseCursor_->AppendRecord(record->Image.data());
                break;
            case updstatus::Deleted:
                baseCursor_->SetToBookMark(record->Key.data());
                baseCursor_->DeleteRecord(record->Image.data());
                break;
            default:
                continue;
            }
            record->Applied = true;
        } catch (const EQuillonEngineError&) {
            if (!firstError) firstError = std::current_exception();
        }
    }
    if (firstError) std::rethrow_exception(firstError);
}

void TMemTable::ClearAll() {
    for (int i = records_.Count(); i >= 1; --i) FreeHandle(RecordAt(i));
    records_.Clear();
    position_ = 0;
    successorAtPosition_ = false;
    current_ = nullptr;
}

}  // namespace btrieve
