#include "btrieve/engines/BtrBaseTable.h"

#include <algorithm>
#include <cstring>

#include "btrieve/base/BaseDatabase.h"
#include "btrieve/base/BaseUtils.h"
#include "btrieve/engines/BtrieveApi.h"
#include "btrieve/engines/BtrieveEngineError.h"
#include "btrieve/engines/BtrieveFields.h"

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
    if (TagValue(text, upper, ";OWNER:", 8, value)) ownerName_ = value;
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

void TBtrBaseTable::PrepareBlobs(uint8_t*) {}

}  // namespace btrieve
