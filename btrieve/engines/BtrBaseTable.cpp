#include "btrieve/engines/BtrBaseTable.h"

#include <algorithm>
#include <cstring>

#include "btrieve/base/BaseDatabase.h"
#include "btrieve/base/BaseUtils.h"
#include "btrieve/engines/BtrieveApi.h"
#include "btrieve/engines/BtrieveEngineError.h"
#include "btrieve/engines/BlobText.h"
#include "btrieve/engines/BtrDatabase.h"
#include "btrieve/engines/BtrTable.h"
#include "btrieve/engines/BtrieveFields.h"
#include "btrieve/engines/WinBtr.h"

namespace btrieve {

namespace {

template <class T>
int Sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// The value of a tag in the upper-cased name: the text after it, as written, up to ";".
bool TagValue(const AnsiString& name, const AnsiString& upper, const char* tag, size_t maxLength, AnsiString& value) {
    const size_t at = upper.find(tag);
    if (at == AnsiString::npos) return false;
    const size_t from = at + std::strlen(tag);
    const size_t end = name.find(';', from);
    value = name.substr(from, (end == AnsiString::npos ? name.size() : end) - from).substr(0, maxLength);
    return true;
}

}  // namespace

TBtrBaseTable::TBtrBaseTable(TBapiListItem* database, const uint8_t* clientId, int32_t shareMode, int32_t openMode,
                             const char* tableName, TQuillonCollection* collection)
    : TBaseTable(database, collection, tableName, nullptr, openMode, shareMode), clientId_(clientId) {
    // The base constructor saw only its own SetTableName: parse the suffixes now.
    SetTableName(tableName);
}

TBtrBaseTable::~TBtrBaseTable() = default;

void TBtrBaseTable::SetTableName(const char* name) {
    if (!name) return;
    const AnsiString text(name);
    const AnsiString upper = platform::AnsiUpperCase(text);
    AnsiString value;
    if (TagValue(text, upper, ";OWNER:", kOwnerNameSize, value)) ownerName_ = value;
    nameHasResource_ = TagValue(text, upper, ";RES:", 260, value);
    if (nameHasResource_) resourceName_ = value;
    TBaseTable::SetTableName(text.substr(0, std::min<size_t>(text.find(';'), 255)).c_str());
}

int TBtrBaseTable::IndexNameNumber(const AnsiString& name) const {
    for (size_t i = 0; i < indexNames_.size(); ++i)
        if (!indexNames_[i].empty() && platform::AnsiSameText(indexNames_[i], name)) return static_cast<int>(i);
    return -1;
}

void TBtrBaseTable::SetIndexName(int keyNumber, const AnsiString& name) {
    if (keyNumber < 0 || keyNumber > 127) return;
    if (indexNames_.size() <= static_cast<size_t>(keyNumber)) indexNames_.resize(keyNumber + 1);
    indexNames_[keyNumber] = name;
}

void TBtrBaseTable::ShortenRecord(uint8_t*, TFieldCacheItem& item, uint32_t usedLength) {
    SetDataLength(GetDataBufferSize() + usedLength - item.Desc().length);
}

void TBtrBaseTable::FieldToPhysical(uint16_t localType, uint16_t localSize, uint8_t* fieldData, const void* value,
                                    uint16_t, int16_t units) {
    WriteBtrieveField(static_cast<uint8_t>(localType), localSize, units, fieldData, value);
}

void TBtrBaseTable::GetFieldValue(TFieldCacheItem& item, uint8_t* record, bool& blank, void* value) {
    CheckParam(record);
    item.Bind(record);
    std::vector<uint8_t> scratch;
    void* out = value;
    if (!out) {
        scratch.assign(std::max<size_t>(item.LocalSize() + 1u, 256), 0);
        out = scratch.data();
    }
    ReadBtrieveField(static_cast<uint8_t>(item.LocalType()), item.LocalSize(), item.Desc().units2, blank, out,
                     item.FieldData());
    if (blank && value) std::memset(value, 0, BlankValueSize(item.Desc().fieldType, item.Desc().length));
}

void TBtrBaseTable::PutFieldValue(TFieldCacheItem& item, const void* value) {
    if (!value) {
        std::memset(item.FieldData(), 0, item.LocalSize());
        return;
    }
    WriteBtrieveField(static_cast<uint8_t>(item.LocalType()), item.LocalSize(), item.Desc().units2,
                      item.FieldData(), value);
}

int TBtrBaseTable::CompareFieldValues(uint16_t type, TFieldCacheItem* item, const void* value2, const void* value1,
                                      bool caseInsensitive, uint16_t length) {
    const auto* v1 = static_cast<const uint8_t*>(value1);
    const auto* v2 = static_cast<const uint8_t*>(value2);
    if (type == fldtype::ZString && item && item->LocalType() == TypeLString && length > 0) {
        // The length byte never reaches beyond the field.
        const size_t room = length - 1u;
        AnsiString a(reinterpret_cast<const char*>(v1 + 1), std::min<size_t>(v1[0], room));
        AnsiString b(reinterpret_cast<const char*>(v2 + 1), std::min<size_t>(v2[0], room));
        if (caseInsensitive) {
            a = platform::AnsiUpperCase(a);
            b = platform::AnsiUpperCase(b);
        }
        const int c = a.compare(b);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    if (type == fldtype::Date && length >= 4) {
        int16_t y1, y2;
        std::memcpy(&y1, v1 + 2, 2);
        std::memcpy(&y2, v2 + 2, 2);
        if (int c = Sign(y1, y2)) return c;
        if (int c = Sign(v1[1], v2[1])) return c;
        return Sign(v1[0], v2[0]);
    }
    if (type == fldtype::Float) {
        double d1 = 0, d2 = 0;
        if (item) {
            bool blank = false;
            const uint8_t btrieveType = static_cast<uint8_t>(item->LocalType());
            try {
                ReadBtrieveField(btrieveType, length, item->Desc().units2, blank, &d1, v1);
            } catch (const EQuillonEngineError&) {
                d1 = 0;
            }
            try {
                ReadBtrieveField(btrieveType, length, item->Desc().units2, blank, &d2, v2);
            } catch (const EQuillonEngineError&) {
                d2 = 0;
            }
        } else {
            std::memcpy(&d1, v1, 8);
            std::memcpy(&d2, v2, 8);
        }
        return Sign(d1, d2);
    }
    if (type == fldtype::Time && length >= 4) {
        for (int i = 3; i >= 0; --i)
            if (int c = Sign(v1[i], v2[i])) return c;
        return 0;
    }
    return TBaseTable::CompareFieldValues(type, item, value2, value1, caseInsensitive, length);
}

void TBtrBaseTable::CloneCursor(bool, bool, TBaseTable*& cursor) {
    auto* database = dynamic_cast<TBaseDatabase*>(Owner());
    if (!database) RaiseEngineError(rc::InvalidParam);
    AnsiString name = GetTableName();
    if (hasResourceDef_) name += ";RES:" + resourceName_;
    if (!ownerName_.empty()) name += ";OWNER:" + ownerName_;
    database->OpenTable(name.c_str(), nullptr, IndexName(), nullptr, 0, OpenMode(), ShareMode(), 0, false, nullptr,
                        cursor);
    TCursorProps props;
    cursor->GetCursorProps(props);
}

void TBtrBaseTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result) {
    CheckParam(bookmark1);
    CheckParam(bookmark2);
    uint32_t p1, p2;
    std::memcpy(&p1, bookmark1, 4);
    std::memcpy(&p2, bookmark2, 4);
    if (p1 != 0 && p2 != 0 && p1 == p2) {
        result = 0;
        return;
    }
    TBaseTable::CompareBookMarks(bookmark1, bookmark2, result);
    if (result == 0 && p1 != 0 && p2 != 0 && !IndexDesc().unique) result = p1 < p2 ? -1 : 1;
}

void TBtrBaseTable::RegisterBlobs() {
    blobCount_ = 0;
    for (auto& slot : blobSlots_) slot = TBlobSlot{};
    for (int n = 1; n <= FieldCache().Count(); ++n) {
        const uint16_t sub = FieldCache().Item(n).Desc().subType;
        if (sub != fldsubtype::Memo && sub != fldsubtype::Binary && sub != fldsubtype::Graphic) continue;
        // The slots are fixed: further blob fields stay plain fields.
        if (blobCount_ == kMaxBlobs) break;
        blobSlots_[blobCount_++].fieldNumber = n;
    }
}

namespace {

constexpr uint16_t kEndOfBlob = 0x2207;
constexpr uint16_t kBlobOffsetTooLarge = 0x270E;
constexpr uint16_t kInvalidBlobLength = 0x272D;
constexpr uint16_t kBlobNotOpened = 0x2A01;

bool IsMemo(const TFieldCacheItem& item) { return item.Desc().subType == fldsubtype::Memo; }

// Length of the text in a memo field: up to its zero byte, never its last byte.
uint32_t MemoTextLength(const TFieldCacheItem& item) {
    const uint16_t length = item.Desc().length;
    if (length == 0) return 0;
    const auto* data = reinterpret_cast<const char*>(item.FieldData());
    return static_cast<uint32_t>(strnlen(data, length - 1u));
}

}  // namespace

TBtrBaseTable::TBlobSlot& TBtrBaseTable::SlotOf(uint16_t field, uint8_t* record, TFieldCacheItem*& item) {
    item = &FieldCache().Item(field);
    const uint16_t sub = item->Desc().subType;
    if (sub != fldsubtype::Memo && sub != fldsubtype::Binary && sub != fldsubtype::Graphic)
        RaiseEngineError(rc::InvalidParam);
    for (int i = 0; i < blobCount_; ++i) {
        if (blobSlots_[i].fieldNumber != field) continue;
        if (record) item->Bind(record);
        return blobSlots_[i];
    }
    RaiseEngineError(kBlobNotOpened);
}

bool TBtrBaseTable::IsLastField(const TFieldCacheItem& item) {
    uint16_t count = 0, length = 0;
    GetFieldCountAndRecLen(count, length);
    return item.Desc().offset + item.Desc().length >= length;
}

void TBtrBaseTable::OpenBlob(uint8_t* record, uint16_t field, int) {
    TFieldCacheItem* item = nullptr;
    TBlobSlot& slot = SlotOf(field, record, item);
    if (!slot.stream) slot.stream = std::make_unique<platform::TMemoryStream>();
    slot.stream->Clear();
    slot.changed = false;
}

void TBtrBaseTable::GetBlobSize(uint8_t* record, uint16_t field, uint32_t& size) {
    CheckParam(record);
    TFieldCacheItem* item = nullptr;
    TBlobSlot& slot = SlotOf(field, record, item);
    // Computed on the field as it is: reading a size must not change the record.
    if (IsMemo(*item)) {
        size = MemoTextLength(*item);
        return;
    }
    if (!slot.stream) slot.stream = std::make_unique<platform::TMemoryStream>();
    if (slot.changed) {
        size = static_cast<uint32_t>(slot.stream->Size());
        return;
    }
    const uint32_t textLength = MemoTextLength(*item);
    if (textLength > 0) {
        slot.stream->Clear();
        platform::TMemoryStream text;
        text.WriteBuffer(item->FieldData(), static_cast<int32_t>(textLength));
        try {
            DecodeBlobText(text, *slot.stream);
        } catch (const platform::EConvertError&) {
            slot.stream->Clear();
            size = 0;
            return;
        }
    }
    size = static_cast<uint32_t>(slot.stream->Size());
}

void TBtrBaseTable::GetBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, void* destination,
                            uint32_t& bytesRead) {
    CheckParam(record);
    bytesRead = 0;
    if (!destination || length == 0) RaiseEngineError(rc::InvalidParam);
    TFieldCacheItem* item = nullptr;
    TBlobSlot& slot = SlotOf(field, record, item);
    const uint16_t fieldLength = item->Desc().length;
    if (offset >= fieldLength) RaiseEngineError(kBlobOffsetTooLarge);
    auto* out = static_cast<uint8_t*>(destination);
    if (IsMemo(*item)) {
        const uint32_t text = MemoTextLength(*item);
        const uint32_t available = text > offset ? text - offset : 0;
        const uint32_t copied = std::min(std::min(available, length), static_cast<uint32_t>(fieldLength - offset));
        std::memcpy(out, item->FieldData() + offset, copied);
        std::memset(out + copied, 0, length - copied);
        bytesRead = copied;
        RaiseEngineError(kEndOfBlob);
    }
    std::memset(out, 0, length);
    LoadStoredBlob(record, field, slot);
    if (offset >= slot.stream->Size()) RaiseEngineError(kEndOfBlob);
    slot.stream->SetPosition(offset);
    bytesRead = static_cast<uint32_t>(slot.stream->StreamRead(out, static_cast<int32_t>(length)));
    if (slot.stream->Position() >= slot.stream->Size()) RaiseEngineError(kEndOfBlob);
}

void TBtrBaseTable::PutBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, const void* source) {
    CheckParam(record);
    TFieldCacheItem* item = nullptr;
    TBlobSlot& slot = SlotOf(field, record, item);
    if (IsMemo(*item)) {
        slot.changed = true;
        const uint16_t fieldLength = item->Desc().length;
        // The text and its terminator stay inside the field.
        if (fieldLength == 0 || offset >= fieldLength) RaiseEngineError(kBlobOffsetTooLarge);
        const uint32_t count = std::min<uint32_t>(length, fieldLength - 1u - offset);
        uint8_t* data = item->FieldData();
        if (source) std::memcpy(data + offset, source, count);
        else std::memset(data + offset, 0, count);
        data[offset + count] = 0;
        if (IsLastField(*item)) ShortenRecord(record, *item, offset + count == 0 ? 0 : offset + count + 1);
        return;
    }
    if (!slot.stream) slot.stream = std::make_unique<platform::TMemoryStream>();
    if (offset + length < 1) {
        slot.stream->Clear();
        slot.changed = true;
        return;
    }
    LoadStoredBlob(record, field, slot);
    slot.changed = true;
    if (length == 0) return;
    slot.stream->SetPosition(offset);
    if (source) {
        slot.stream->WriteBuffer(source, static_cast<int32_t>(length));
    } else {
        const std::vector<uint8_t> zeros(length, 0);
        slot.stream->WriteBuffer(zeros.data(), static_cast<int32_t>(length));
    }
}

void TBtrBaseTable::TruncateBlob(uint8_t* record, uint16_t field, uint32_t length) {
    CheckParam(record);
    TFieldCacheItem* item = nullptr;
    TBlobSlot& slot = SlotOf(field, record, item);
    // A memo ends where its terminator goes; an emptied blob needs nothing stored.
    if (IsMemo(*item) || length == 0) {
        PutBlob(record, field, length, 0, nullptr);
        return;
    }
    LoadStoredBlob(record, field, slot);
    slot.changed = true;
    if (slot.stream->Size() > length) slot.stream->SetSize(length);
}

void TBtrBaseTable::LoadStoredBlob(uint8_t* record, uint16_t field, TBlobSlot& slot) {
    if (!slot.stream) slot.stream = std::make_unique<platform::TMemoryStream>();
    if (slot.changed || slot.stream->Size() > 0) return;
    uint32_t size = 0;
    GetBlobSize(record, field, size);
}

void TBtrBaseTable::FreeBlob(uint8_t*, uint16_t field) {
    for (int i = 0; i < blobCount_; ++i) {
        if (blobSlots_[i].fieldNumber != field) continue;
        blobSlots_[i].stream.reset();
        blobSlots_[i].changed = false;
    }
}

void TBtrBaseTable::PrepareBlobs(uint8_t* record) {
    for (int i = 0; i < blobCount_; ++i) {
        TBlobSlot& slot = blobSlots_[i];
        TFieldCacheItem& item = FieldCache().Item(slot.fieldNumber);
        item.Bind(record);
        const uint16_t fieldLength = item.Desc().length;
        if (IsMemo(item)) {
            uint32_t size = MemoTextLength(item);
            if (size < fieldLength) {
                item.FieldData()[size] = 0;
                ++size;
            }
            if (IsLastField(item)) SetDataLength(GetDataBufferSize() + size - fieldLength);
            continue;
        }
        if (!slot.changed) continue;
        uint32_t size = 0;
        if (slot.stream && slot.stream->Size() > 0) {
            platform::TMemoryStream text;
            EncodeBlobText(*slot.stream, text);
            text.WriteBuffer("", 1);
            if (text.Size() > fieldLength) RaiseEngineError(kInvalidBlobLength);
            size = static_cast<uint32_t>(text.Size());
            std::memcpy(item.FieldData(), text.Memory(), size);
        } else {
            // An emptied blob empties its field: the old text would bring the old value back.
            std::memset(item.FieldData(), 0, fieldLength);
            size = fieldLength > 0 ? 1 : 0;
        }
        if (IsLastField(item) && size > 0) ShortenRecord(record, item, size);
        if (slot.stream) slot.stream->Clear();
        slot.changed = false;
    }
}

void TBtrBaseTable::CreatePhysical(const char* name, bool) {
    ResetCreateFlag();
    auto* database = dynamic_cast<TBtrDatabase*>(Owner());
    if (!database) RaiseEngineError(rc::InvalidParam);
    const AnsiString tableName = name ? name : "";
    const AnsiString fileName = GetFileName();
    const AnsiString directory = fileName.substr(0, fileName.find_last_of("\\:") + 1);
    AnsiString location = platform::AnsiSameText(AddBackslash(directory), database->DatabaseDirectory())
                              ? ExtractFileNamePart(fileName)
                              : fileName;
    location = platform::AnsiUpperCase(location);
    // The location must fit its 64 characters: a cut path would name another file.
    if (location.size() > fileddf::LocSize) RaiseEngineErrorMsg(rc::InvalidParam, location);
    // Inside the caller's transaction the entries are part of it; otherwise they get one
    // of their own, so that a failure leaves neither dictionary file half written.
    const bool ownTransaction = database->TranState() != 1;
    if (ownTransaction) database->BeginTran(2);
    try {
        uint16_t fileId = 0;
        {
            TWinBtr fileDdf(ClientId());
            fileDdf.Open((database->DatabaseDirectory() + "FILE.DDF").c_str(), database->OwnerName().c_str(),
                         kOpenNormal);
            fileDdf.GetLast();
            std::memcpy(&fileId, fileDdf.DataBuffer(), 2);
            ++fileId;
            uint8_t* record = fileDdf.DataBuffer();
            std::memset(record, ' ', fileDdf.BufferSize());
            std::memcpy(record, &fileId, 2);
            StrToPaddedBuf(record + fileddf::Name, tableName.substr(0, fileddf::NameSize), fileddf::NameSize);
            StrToPaddedBuf(record + fileddf::Loc, location, fileddf::LocSize);
            record[fileddf::Flags] = 0;
            fileDdf.Insert();
        }
        TWinBtr fieldDdf(ClientId());
        fieldDdf.Open((database->DatabaseDirectory() + "FIELD.DDF").c_str(), database->OwnerName().c_str(),
                      kOpenNormal);
        uint16_t baseId = 0;
        try {
            fieldDdf.GetLast();
            std::memcpy(&baseId, fieldDdf.DataBuffer(), 2);
        } catch (const EQuillonBoundryError&) {
        }
        for (int n = 1; n <= FieldCache().Count(); ++n) {
            const TFieldCacheItem& item = FieldCache().Item(n);
            uint8_t* record = fieldDdf.DataBuffer();
            std::memset(record, 0, fieldDdf.BufferSize());
            const uint16_t id = static_cast<uint16_t>(baseId + n);
            const uint16_t offset = item.Desc().offset, size = item.Desc().length;
            std::memcpy(record + fieldddf::Id, &id, 2);
            std::memcpy(record + fieldddf::File, &fileId, 2);
            StrToPaddedBuf(record + fieldddf::Name, item.FieldName().substr(0, fieldddf::NameSize),
                           fieldddf::NameSize);
            record[fieldddf::DataType] = static_cast<uint8_t>(item.LocalType());
            std::memcpy(record + fieldddf::Offset, &offset, 2);
            std::memcpy(record + fieldddf::Size, &size, 2);
            // The decimals, as the field reads them back (units 2).
            record[fieldddf::Dec] = static_cast<uint8_t>(item.Desc().units2);
            fieldDdf.Insert();
        }
    } catch (...) {
        if (ownTransaction) {
            try {
                database->EndTran(2);
            } catch (...) {
            }
        }
        throw;
    }
    if (ownTransaction) database->EndTran(0);
}

}  // namespace btrieve
