#include "btrieve/engines/BtrTable.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/engines/BtrieveFields.h"

namespace btrieve {

namespace {

constexpr size_t kSpecHeader = sizeof(FileSpecHeader);
constexpr size_t kSegment = sizeof(KeySegmentSpec);
constexpr int kMaxSegments = 119;

KeySegmentSpec SegmentAt(const uint8_t* spec, int index) {
    KeySegmentSpec segment;
    std::memcpy(&segment, spec + kSpecHeader + index * kSegment, sizeof segment);
    return segment;
}

bool IsBoundary(const EQuillonEngineError& e) { return dynamic_cast<const EQuillonBoundryError*>(&e) != nullptr; }

// A record buffer for one call: the file must not keep it as its buffer afterwards.
class TCallBuffer {
public:
    TCallBuffer(TWinBtr& file, size_t size) : file_(file), buffer_(std::max<size_t>(size, 4), 0) {}
    ~TCallBuffer() { file_.UseBuffer(file_.DataBuffer()); }
    uint8_t* data() { return buffer_.data(); }

private:
    TWinBtr& file_;
    std::vector<uint8_t> buffer_;
};

}  // namespace

TBtrTable::TBtrTable(TBapiListItem* database, const uint8_t* clientId, int32_t shareMode, int32_t openMode,
                     const char* tableName, TQuillonCollection* collection)
    : TBtrBaseTable(database, clientId, shareMode, openMode, tableName, collection),
      file_(std::make_unique<TWinBtr>(clientId)) {}

TBtrTable::~TBtrTable() {
    if (file_ && file_->IsOpen()) {
        try {
            file_->Close();
        } catch (...) {
        }
    }
}

void TBtrTable::AfterCreate() {
    if (!file_) file_ = std::make_unique<TWinBtr>(ClientId());
}

void TBtrTable::BeforeDestroy() {
    try {
        CloseCursor();
    } catch (...) {
    }
    file_.reset();
}

uint8_t* TBtrTable::GetRecBuf() const {
    // The record buffer of the move in progress, else the file's own.
    uint8_t* current = TBaseTable::GetRecBuf();
    return current ? current : file_->DataBuffer();
}

void TBtrTable::SetRecBuf(uint8_t* record) {
    file_->UseBuffer(record);
    TBaseTable::SetRecBuf(record);
}

uint16_t TBtrTable::GetRecordSize() const { return static_cast<uint16_t>(file_->BufferSize()); }

void TBtrTable::OpenCursor() {
    TBaseTable::OpenCursor();
    const int8_t mode = ShareMode() == 1 ? kOpenExclusive : OpenMode() == 1 ? kOpenReadOnly : kOpenNormal;
    SetState(cursorstate::Closed);
    file_->Open(GetFileName(), OwnerName().c_str(), mode);
    SetState(cursorstate::Unpositioned);
}

void TBtrTable::CloseCursor() {
    TBaseTable::CloseCursor();
    try {
        file_->Close();
    } catch (const EBtrieveEngineError& e) {
        if (e.Status() != StatusFileNotOpen) throw;
    }
}

void TBtrTable::DescFromDictRecord(uint16_t fieldNumber, const uint8_t* record, uint16_t& localSize,
                                   uint16_t& localType, TEngineFieldDesc& desc) {
    desc = DictFieldToDesc(record, fieldNumber);
    localType = record[fieldddf::DataType];
    std::memcpy(&localSize, record + fieldddf::Size, 2);
    desc.localType = localType;
    desc.localSize = localSize;
}

void TBtrTable::ComputeLayout() {
    uint16_t count = 0, length = 0;
    GetFieldCountAndRecLen(count, length);
    RegisterBlobs();
}

int TBtrTable::CompareFieldValues(uint16_t type, TFieldCacheItem* item, const void* value2, const void* value1,
                                  bool caseInsensitive, uint16_t length) {
    if (type == fldtype::ZString && acsActive_ && item) {
        // Translated copies: the callers' keys and records stay as they are.
        std::vector<uint8_t> a(static_cast<const uint8_t*>(value1), static_cast<const uint8_t*>(value1) + length);
        std::vector<uint8_t> b(static_cast<const uint8_t*>(value2), static_cast<const uint8_t*>(value2) + length);
        const bool lstring = item->LocalType() == TypeLString;
        TranslateAcs(a.data(), a.size(), lstring);
        TranslateAcs(b.data(), b.size(), lstring);
        return TBtrBaseTable::CompareFieldValues(type, item, b.data(), a.data(), caseInsensitive, length);
    }
    return TBtrBaseTable::CompareFieldValues(type, item, value2, value1, caseInsensitive, length);
}

void TBtrTable::TranslateAcs(uint8_t* bytes, size_t length, bool lstring) const {
    const uint8_t* map = acsTable_ + 9;
    if (lstring) {
        for (size_t i = 1; i < length; ++i) bytes[i] = map[bytes[i]];
        return;
    }
    for (size_t i = 0; i < length && bytes[i] != 0; ++i) bytes[i] = map[bytes[i]];
}

// ---- Bookmarks ----

void TBtrTable::GetBookMark(void* bookmark) {
    auto* out = static_cast<uint8_t*>(CheckParam(bookmark));
    std::memset(out, 0, kBookmarkSize);
    std::memcpy(out + 4, file_->KeyBuffer(), kKeyBufferSize);
    const uint32_t position = file_->GetPosition();
    std::memcpy(out, &position, 4);
    if (rereadPending_) file_->GetDirectOwn(position);
}

bool TBtrTable::HoldsPlaceOnFailedMove() {
    // A read that fails leaves the record manager's position and the key buffer as they
    // were, but for a variable-length record too long for the buffer, which is delivered in
    // part after the move. A key range or a filter may read on past the record before the
    // move fails; a pending re-read moves the file when the bookmark is read.
    if (!file_->IsOpen() || State() != cursorstate::OnRecord || rereadPending_) return false;
    if (RangeStart().active || RangeEnd().active || FiltersActive()) return false;
    FileSpecHeader header;
    std::memcpy(&header, file_->StatBuffer(), sizeof header);
    return header.recordLength != 0 && !(header.fileFlags & FileVariableLength);
}

void TBtrTable::SetToBookMark(const void* bookmark) {
    const auto* in = static_cast<const uint8_t*>(CheckAssigned(bookmark, rc::InvalidHandle));
    uint32_t position;
    std::memcpy(&position, in, 4);
    if (position != 0) {
        try {
            file_->GetDirectOwn(position);
            std::memcpy(file_->KeyBuffer(), in + 4, kKeyBufferSize);
            SetState(cursorstate::OnRecord);
            return;
        } catch (const EBtrieveEngineError&) {
        }
    }
    // The record is gone: the nearest key at or after the kept one, else before, else the start.
    const bool narrowed = RangeStart().active || RangeEnd().active || FiltersActive();
    TCallBuffer buffer(*file_, GetRecordSize());
    uint8_t* record = narrowed ? buffer.data() : nullptr;
    try {
        KeySearch(searchcond::GreaterOrEqual, true, record, in + 4, 0, 0);
    } catch (const EQuillonEngineError& e) {
        if (!IsBoundary(e)) throw;
        try {
            KeySearch(searchcond::LessOrEqual, true, record, in + 4, 0, 0);
        } catch (const EQuillonEngineError& e2) {
            if (!IsBoundary(e2)) throw;
            SetToBegin();
            return;
        }
    }
    if (narrowed) {
        SetDirection(1);
        RangeAndFilterLoop(record);
    }
}

void TBtrTable::ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) {
    const auto* in = static_cast<const uint8_t*>(CheckAssigned(bookmark, rc::InvalidHandle));
    uint32_t position;
    std::memcpy(&position, in, 4);
    SetRecBuf(record);
    SetLockMode(lock);
    try {
        file_->GetDirect(position);
        std::memcpy(file_->KeyBuffer(), in + 4, kKeyBufferSize);
    } catch (const EBtrieveEngineError&) {
        file_->ClearLockBias();
        if (lock) {
            try {
                SetRecBuf(record);
                file_->GetDirect(position);
            } catch (const EQuillonEngineError&) {
            }
            throw;
        }
        SetToKey(2, true, in + 4, 0, 0);
    }
    SetState(cursorstate::OnRecord);
}

// ---- Keys ----

uint16_t TBtrTable::CurrentKeyLength() const {
    auto& self = const_cast<TBtrTable&>(*this);
    return std::min<uint16_t>(self.IndexDesc().keyLength, kKeyBufferSize);
}

int TBtrTable::OperationOfCondition(int condition) {
    switch (condition) {
    case searchcond::GreaterOrEqual: return OpGetGreaterOrEqual;
    case searchcond::Greater: return OpGetGreater;
    case searchcond::Less: return OpGetLess;
    case searchcond::LessOrEqual: return OpGetLessOrEqual;
    default: return OpGetEqual;
    }
}

void TBtrTable::FillKeyLimits(uint8_t* key, uint16_t fieldCount, bool upward) {
    const int parts = std::min<int>(IndexDesc().fieldsInKey, 16);
    size_t offset = 0;
    for (int i = 0; i < parts && offset < kKeyBufferSize; ++i) {
        const TKeyPart& part = KeyParts()[i];
        const size_t size = std::min<size_t>(static_cast<size_t>(std::max(part.size, 0)), kKeyBufferSize - offset);
        if (i >= fieldCount) {
            const bool largest = part.descending == upward;
            uint8_t* p = key + offset;
            const uint8_t physical = partTypes_[i];
            if ((physical == TypeInteger || physical == TypeAutoIncrement || physical == TypeCurrency) && size >= 1 &&
                size <= 8) {
                // Signed little-endian: the top byte carries the sign.
                std::memset(p, largest ? 0xFF : 0x00, size);
                p[size - 1] = largest ? 0x7F : 0x80;
            } else if ((physical == TypeDecimal || physical == TypeMoney) && size >= 1) {
                // Signed numbers in digits order by value: all nines, positive or negative.
                std::memset(p, 0x99, size);
                p[size - 1] = largest ? 0x9F : 0x9D;
            } else if (physical == TypeNumeric && size >= 1) {
                std::memset(p, '9', size);
                p[size - 1] = largest ? 'I' : 'R';
            } else if (physical == TypeNumericSa && size >= 1) {
                std::memset(p, '9', size);
                if (!largest) p[size - 1] = 'y';
            } else if (physical == TypeNumericSts && size >= 2) {
                std::memset(p, '9', size - 1);
                p[size - 1] = largest ? '+' : '-';
            } else if (physical == TypeBFloat && (size == 4 || size == 8)) {
                // Highest exponent and mantissa; the sign bit tops the byte below the exponent.
                std::memset(p, 0xFF, size);
                p[size - 2] = largest ? 0x7F : 0xFF;
            } else if (physical == TypeFloat && size == 8) {
                const double v = largest ? DBL_MAX : -DBL_MAX;
                std::memcpy(p, &v, 8);
            } else if (physical == TypeFloat && size == 4) {
                const float v = largest ? FLT_MAX : -FLT_MAX;
                std::memcpy(p, &v, 4);
            } else {
                std::memset(p, largest ? 0xFF : 0x00, size);
            }
        }
        offset += size;
    }
    if (offset < kKeyBufferSize) key[offset] = 0;
}

void TBtrTable::ExtractKeyRaw(const uint8_t* record, void* key, uint16_t& keyLength, uint16_t partialLength,
                              uint16_t fieldCount) {
    if (!record) record = GetLastRecBuf();
    CheckParam(record);
    auto* out = static_cast<uint8_t*>(CheckParam(key));
    const int keyFields = std::min<int>(IndexDesc().fieldsInKey, 16);
    int parts = fieldCount ? fieldCount : (partialLength ? 1 : keyFields);
    parts = std::min(parts, keyFields);
    keyLength = 0;
    for (int i = 0; i < parts; ++i) {
        const TKeyPart& part = KeyParts()[i];
        const uint16_t size = static_cast<uint16_t>(std::max(part.size, 0));
        if (keyLength + size > kKeyBufferSize) break;
        const bool last = i == parts - 1;
        const uint16_t take = last && partialLength ? std::min(partialLength, size) : size;
        uint8_t* target = out + keyLength;
        std::memset(target, 0, size);
        if (rawPositions_[i] != 0) {
            std::memcpy(target, record + rawPositions_[i] - 1, take);
        } else {
            TFieldCacheItem& item = FieldCache().Item(IndexDesc().keyFields[i]);
            std::vector<uint8_t> value(std::max<size_t>(item.LocalSize() + 1u, 256), 0);
            try {
                bool blank = false;
                GetFieldValue(item, const_cast<uint8_t*>(record), blank, value.data());
                if (last && partialLength && item.Desc().fieldType == fldtype::ZString && take < value.size())
                    value[take] = 0;
                if (!blank) {
                    std::vector<uint8_t> physical(std::max<size_t>(size, item.LocalSize()), 0);
                    WriteBtrieveField(static_cast<uint8_t>(item.LocalType()), item.LocalSize(), item.Desc().units2,
                                      physical.data(), value.data());
                    std::memcpy(target, physical.data(), take);
                }
            } catch (const EBtrieveEngineError&) {
                std::memset(target, 0, size);
            }
        }
        keyLength = static_cast<uint16_t>(keyLength + size);
    }
}

void TBtrTable::GetRecordForKey(bool directKey, uint16_t fieldCount, uint16_t partialLength, const void* key,
                                uint8_t* record) {
    CheckParam(key);
    uint8_t searched[kKeyBufferSize] = {};
    const int keyFields = std::min<int>(IndexDesc().fieldsInKey, 16);
    if (directKey) {
        // Only the parts the caller gives are read from its key.
        size_t given = 0;
        if (partialLength) {
            given = partialLength;
        } else {
            const int parts = fieldCount ? std::min<int>(fieldCount, keyFields) : keyFields;
            for (int i = 0; i < parts; ++i) given += static_cast<size_t>(std::max(KeyParts()[i].size, 0));
        }
        if (fieldCount) FillKeyLimits(searched, fieldCount, true);
        std::memcpy(searched, key, std::min<size_t>(given, kKeyBufferSize));
    } else {
        FillKeyLimits(searched, fieldCount, true);
        uint16_t extracted = 0;
        ExtractKeyRaw(static_cast<const uint8_t*>(key), searched, extracted, partialLength, fieldCount);
    }
    if (record) SetRecBuf(record);
    const bool partial = partialLength != 0 || (fieldCount != 0 && fieldCount < keyFields);
    const int operation = partial ? OpGetGreaterOrEqual : OpGetEqual;
    const uint16_t length = CurrentKeyLength() ? CurrentKeyLength() : static_cast<uint16_t>(kKeyBufferSize);
    file_->ClearKey(kKeyBufferSize);
    file_->KeyCall(static_cast<uint16_t>(operation), searched, file_->KeyNumber(), length);
    CheckPartialKey(operation, fieldCount, record, searched, partialLength);
    SetState(cursorstate::OnRecord);
}

void TBtrTable::CheckPartialKey(int operation, uint16_t fieldCount, const uint8_t* record, const uint8_t* searchedKey,
                                uint16_t partialLength) {
    if (operation == OpGetGreaterOrEqual && (fieldCount || partialLength)) {
        int32_t result = 0;
        CompareKeys(file_->KeyBuffer(), searchedKey, result, partialLength, fieldCount);
        if (result != 0) RaiseBtrieveError(StatusKeyNotFound);
    }
    SetDirection(1);
    RangeAndFilterLoop(const_cast<uint8_t*>(record));
}

void TBtrTable::KeySearch(int searchCondition, bool keyItself, uint8_t* record, const void* key,
                          uint16_t partialLength, uint16_t fieldCount) {
    CheckParam(key);
    const uint16_t length = CurrentKeyLength() ? CurrentKeyLength() : static_cast<uint16_t>(kKeyBufferSize);
    uint8_t searched[kKeyBufferSize] = {};
    // The missing parts take the values that keep the search on the right side of the
    // given parts: smallest for "at or after" and "before", largest for "after" and
    // "at or before" (an exclusive bound must skip every record of its prefix).
    const bool upward = searchCondition == searchcond::GreaterOrEqual || searchCondition == searchcond::Less;
    FillKeyLimits(searched, fieldCount, upward);
    if (keyItself) {
        const int keyFields = std::min<int>(IndexDesc().fieldsInKey, 16);
        const int parts = fieldCount ? std::min<int>(fieldCount, keyFields) : keyFields;
        size_t given = 0;
        for (int i = 0; i < parts; ++i) given += static_cast<size_t>(std::max(KeyParts()[i].size, 0));
        if (partialLength && partialLength < given) given = partialLength;
        if (keyFields == 0) given = length;
        std::memcpy(searched, key, std::min<size_t>(given, kKeyBufferSize));
    } else {
        uint16_t extracted = 0;
        ExtractKeyRaw(static_cast<const uint8_t*>(key), searched, extracted, partialLength, fieldCount);
    }
    // The record goes straight to the caller's buffer; without one, to the file's own
    // (a remembered buffer of an earlier call may be gone by now).
    file_->UseBuffer(record ? record : file_->DataBuffer());
    file_->ClearKey(kKeyBufferSize);
    file_->KeyCall(static_cast<uint16_t>(OperationOfCondition(searchCondition)), searched, file_->KeyNumber(), length);
    SetState(cursorstate::OnRecord);
}

void TBtrTable::IndexForFields(const char* fieldList, uint16_t& indexNumber, char* indexName) {
    CheckParam(fieldList);
    const AnsiString list(fieldList);
    const int named = IndexNameNumber(list);
    if (named >= 0) {
        indexNumber = static_cast<uint16_t>(named);
        if (indexName) CopyToField(indexName, 32, list);
        return;
    }
    if (list.find('@') != AnsiString::npos) {
        TBtrBaseTable::IndexForFields(fieldList, indexNumber, indexName);
        return;
    }
    AnsiString text = list;
    const size_t blank = text.find(' ');
    if (blank != AnsiString::npos && blank != 0) text = text.substr(0, blank);
    const AnsiString digits = KeepNumericChars(text);
    if (digits.empty()) RaiseEngineError(rc::InvalidIndexName);
    const long number = std::strtol(digits.c_str(), nullptr, 10);
    if (number < 0 || number > 127) RaiseBtrieveKeyError(StatusInvalidKeyNumber, digits);
    indexNumber = static_cast<uint16_t>(number);
    if (indexName) CopyToField(indexName, 32, list);
}

void TBtrTable::SwitchToKey(int keyNumber) {
    if (keyNumber < 0 || static_cast<uint32_t>(keyNumber) >= file_->SafeKeyCount())
        RaiseBtrieveKeyError(StatusInvalidKeyNumber, platform::IntToStr(keyNumber));
    file_->SetKeyNumber(static_cast<int8_t>(keyNumber));
    acsActive_ = file_->KeyUsesAcs();
    if (acsActive_) file_->GetKeyAcs(acsTable_);
}

void TBtrTable::SwitchToIndex(const char* indexName, const char* tagName, uint16_t indexNumber, bool keepPosition) {
    uint16_t number = indexNumber;
    if (indexName && *indexName) IndexForFields(indexName, number, nullptr);
    std::vector<uint8_t> bookmark(kBookmarkSize, 0);
    if (keepPosition) {
        try {
            GetBookMark(bookmark.data());
        } catch (const EBtrieveEngineError&) {
            RaiseEngineError(rc::NoCurrRec);
        }
    }
    ResetRange();
    SwitchToKey(number);
    BuildIndexDesc(number, IndexDesc(), KeyParts());
    if (keepPosition) SetToBookMark(bookmark.data());
}

void TBtrTable::BuildIndexDesc(int keyNumber, TEngineIndexDesc& desc, std::array<TKeyPart, 64>& keyParts) {
    const bool own = &keyParts == &KeyParts();
    std::memset(&desc, 0, sizeof desc);
    keyParts.fill(TKeyPart{});
    if (own) {
        rawPositions_.fill(0);
        partTypes_.fill(0);
    }
    if (!file_->IsOpen()) RaiseBtrieveKeyError(StatusFileNotOpen, GetTableName());
    std::vector<uint8_t> spec(kStatBufferSize, 0);
    file_->CopyStat(spec.data());
    const int wanted = keyNumber == 0 && !ListingIndexes() ? file_->KeyNumber() : keyNumber;
    const int keyCount = spec[4];
    AnsiString name;
    int key = 0, segment = 0;
    bool found = false;
    for (int s = 0; s < kMaxSegments && key < keyCount; ++s) {
        const KeySegmentSpec seg = SegmentAt(spec.data(), s);
        if (key == wanted && segment < 16) {
            ++segment;
            TEngineFieldDesc field{};
            bool raw = false;
            try {
                FindFieldDesc(seg.position, seg.length, field);
            } catch (const EQuillonEngineError&) {
                try {
                    FindFieldDesc(static_cast<uint16_t>(seg.position + 1), seg.length, field);
                } catch (const EQuillonEngineError&) {
                    raw = true;
                    const int count = FieldCache().Count();
                    int at = 0;
                    for (int n = 1; n <= count && at == 0; ++n)
                        if (FieldCache().Item(n).Desc().offset + 1 >= seg.position) at = n;
                    if (at == 0) {
                        const TEngineFieldDesc& lastField = FieldCache().Item(count).Desc();
                        if (count == 0 || lastField.offset + lastField.length < seg.position)
                            RaiseEngineErrorMsg(0x2727, AnsiString("Table: ") + GetTableName());
                        at = count;
                    } else if (at > 1 && FieldCache().Item(at).Desc().offset + 1 > seg.position) {
                        --at;
                    }
                    field = FieldCache().Item(at).Desc();
                    CopyToField(field.name, sizeof field.name, ">" + FieldText(field.name, sizeof field.name));
                }
            }
            const int j = segment - 1;
            TKeyPart& part = keyParts[j];
            part.size = seg.length;
            part.type = MapBtrieveType(seg.dataType, seg.length).type;
            part.descending = (seg.flags & KeyDescending) != 0;
            part.overrideType = true;
            if (own) {
                rawPositions_[j] = raw ? seg.position : 0;
                partTypes_[j] = seg.dataType;
            }
            desc.indexId = static_cast<uint16_t>(key);
            desc.primary = key == 0 ? -1 : 0;
            desc.maintained = -1;
            desc.keyFields[j] = field.fieldNumber;
            desc.descendingPerField[j] = part.descending ? -1 : 0;
            ++desc.fieldsInKey;
            desc.keyLength = static_cast<uint16_t>(desc.keyLength + seg.length);
            desc.blockSize = desc.keyLength;
            if (segment == 1) {
                desc.unique = (seg.flags & KeyDuplicates) ? 0 : -1;
                desc.descending = part.descending ? -1 : 0;
            }
            if (seg.flags & KeyCaseInsensitive) desc.caseInsensitive = -1;
            const AnsiString fieldName = FieldText(field.name, sizeof field.name);
            name += segment == 1 ? platform::Format("%2d - ", static_cast<int>(seg.keyNumber)) + fieldName
                                 : "+" + fieldName;
        }
        if (!(seg.flags & KeySegmented)) {
            if (key == wanted) {
                found = true;
                break;
            }
            ++key;
        }
    }
    if (!found) RaiseEngineError(rc::NoSuchIndex);
    if (static_cast<size_t>(wanted) < IndexNames().size() && !IndexNames()[wanted].empty()) name = IndexNames()[wanted];
    CopyToField(desc.name, sizeof desc.name, name);
}

void TBtrTable::GetIndexDesc(uint16_t indexNumber, TEngineIndexDesc& desc) {
    std::array<TKeyPart, 64> scratch{};
    BuildIndexDesc(indexNumber, desc, scratch);
}

void TBtrTable::AddIndex(const TEngineIndexDesc& desc) {
    const int fields = std::min<int>(desc.fieldsInKey, 16);
    if (fields == 0) RaiseEngineError(rc::InvalidParam);
    std::vector<KeySegmentSpec> specs(fields);
    for (int i = 0; i < fields; ++i) {
        TFieldCacheItem& item = FieldCache().Item(desc.keyFields[i]);
        KeySegmentSpec& s = specs[i];
        s = KeySegmentSpec{};
        s.position = static_cast<uint16_t>(item.Desc().offset + 1);
        s.length = item.LocalSize();
        s.flags = KeyModifiable;
        if (i + 1 < fields) s.flags |= KeySegmented;
        if (!desc.unique) s.flags |= KeyDuplicates;
        if (desc.descending) s.flags |= KeyDescending;
        if (desc.caseInsensitive) s.flags |= KeyCaseInsensitive;
        s.dataType = static_cast<uint8_t>(item.LocalType());
    }
    // Without a number of its own the new key takes the next one: the names follow the keys.
    const size_t at = desc.indexId != 0 ? desc.indexId : file_->SafeKeyCount();
    file_->AddIndex(specs.data(), static_cast<uint32_t>(fields), desc.indexId);
    auto& names = IndexNames();
    if (names.size() < at) names.resize(at);
    names.insert(names.begin() + static_cast<std::ptrdiff_t>(at), FieldText(desc.name, sizeof desc.name));
}

void TBtrTable::DeleteIndex(const char* indexName, const char* tagName, uint16_t indexNumber) {
    uint16_t number = indexNumber;
    if (indexName && *indexName) IndexForFields(indexName, number, nullptr);
    file_->DropIndex(number);
    auto& names = IndexNames();
    if (number < names.size()) names.erase(names.begin() + number);
}

// ---- Records ----

void TBtrTable::SetLockMode(int mode) {
    if (mode == 1) file_->LockNextRead();
}

void TBtrTable::AcqTableLock(int lock) {
    if (lock == 0) return;
    if (holdsTableLock_) RaiseBtrieveError(StatusFileLocked);
    file_->BeginTran(true);
    holdsTableLock_ = true;
}

void TBtrTable::RelTableLock(int lock) {
    if (lock == 0 || !holdsTableLock_) return;
    file_->EndTran();
    holdsTableLock_ = false;
}

void TBtrTable::InsertRecord(int lock, uint8_t* record) {
    CheckParam(record);
    SetRecBuf(record);
    if (BtrieveSettings().stringPaddedSpaces) {
        for (int n = 1; n <= FieldCache().Count(); ++n) {
            TFieldCacheItem& item = FieldCache().Item(n);
            // Blob fields keep text of their own: blanks would read as a memo of blanks.
            const uint16_t sub = item.Desc().subType;
            if (item.LocalType() != TypeString || sub == fldsubtype::Memo || sub == fldsubtype::Binary ||
                sub == fldsubtype::Graphic)
                continue;
            bool blank = false;
            GetFieldValue(item, record, blank, nullptr);
            if (blank) PutFieldValue(item, "");
        }
    }
    PrepareBlobs(record);
    SetRecBuf(record);
    file_->Insert();
    if (lock == 1) GetRecord(lock, record, nullptr);
    SetState(cursorstate::OnRecord);
}

void TBtrTable::ModifyRecord(uint8_t* record, bool releaseLock) {
    CheckParam(record);
    SetRecBuf(record);
    PrepareBlobs(record);
    SetRecBuf(record);
    file_->Update();
    if (!releaseLock) GetRecord(1, record, nullptr);
}

void TBtrTable::DeleteRecord(uint8_t* record) {
    SetRecBuf(record);
    file_->Delete();
    SetState(cursorstate::Repositioning);
}

void TBtrTable::GetRecordCount(uint32_t& count) {
    if (BtrieveSettings().trueRecordCount && (RangeStart().active || RangeEnd().active || FiltersActive())) {
        TBaseTable::GetRecordCount(count);
        return;
    }
    count = file_->SafeRecordCount();
}

void TBtrTable::GetSeqNo(uint32_t& number) {
    uint32_t percentage = 0;
    file_->FindPercentage(true, percentage);
    uint32_t count = 0;
    GetRecordCount(count);
    uint32_t n = static_cast<uint32_t>(std::llround(percentage / 10000.0 * count));
    // Percentages count records before this one: the last record is number count.
    if (count > 0) n = std::min(n, count - 1);
    number = n + 1;
}

void TBtrTable::SetToSeqNo(uint32_t number) {
    uint32_t count = 0;
    GetRecordCount(count);
    // Record n has n - 1 records before it; rounding up keeps the division landing on it.
    uint32_t percentage = 10000;
    if (count > 0 && number < count)
        percentage = number <= 1 ? 0 : static_cast<uint32_t>(std::ceil(10000.0 * (number - 1) / count));
    file_->GetByPercentage(true, percentage);
    SetState(cursorstate::OnRecord);
}

void TBtrTable::GetCursorProps(TCursorProps& props) {
    TBaseTable::GetCursorProps(props);
    CopyToField(props.tableName, sizeof props.tableName, GetTableName());
    uint16_t count = 0, recordSize = 0;
    GetFieldCountAndRecLen(count, recordSize);
    const uint32_t fileLength = file_->RecordLength();
    if (fileLength < recordSize) file_->AllocDataBuffer(recordSize);
    else if (fileLength > recordSize) recordSize = static_cast<uint16_t>(fileLength);
    props.fieldCount = count;
    props.recordSize = recordSize;
    props.recordBufferSize = recordSize;
    props.indexCount = static_cast<uint16_t>(file_->SafeKeyCount());
    props.blockSize = static_cast<uint16_t>(file_->PageSize());
}

}  // namespace btrieve
