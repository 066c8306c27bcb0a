#include "oracle/core/Data.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "oracle/core/FilterExpression.h"
#include "oracle/core/ObjectType.h"
#include "platform/SysUtils.h"

namespace oracle {

namespace {

constexpr double MSecsPerDay = 86400000.0;
// Days from 1 January of year 1 (day 1) to 30 December 1899.
constexpr double DateDelta = 693594.0;

template <class T>
T* LoadPointer(const uint8_t* slot) {
    T* value = nullptr;
    std::memcpy(&value, slot, sizeof(value));
    return value;
}

template <class T>
void StorePointer(uint8_t* slot, T* value) {
    std::memcpy(slot, &value, sizeof(value));
}

}  // namespace

double DateTimeToMSecs(double dateTime) {
    const double date = std::trunc(dateTime) + DateDelta;
    const double time = std::round(std::fabs(dateTime - std::trunc(dateTime)) * MSecsPerDay);
    return date * MSecsPerDay + time;
}

double MSecsToDateTime(double msecs) {
    const double date = std::floor(msecs / MSecsPerDay);
    const double time = msecs - date * MSecsPerDay;
    const double days = date - DateDelta;
    return days < 0 ? days - time / MSecsPerDay : days + time / MSecsPerDay;
}

TData::TData() = default;

TData::~TData() = default;

TFieldDesc& TData::FieldAt(int fieldNo) const {
    Check(fieldNo >= 1 && fieldNo <= FieldCount(), UnitMemData, "Invalid field number");
    return *fields_.Items(fieldNo - 1);
}

// Life cycle

void TData::Prepare() {
    if (prepared_) return;
    InternalPrepare();
    prepared_ = true;
    if (deferredFields_) return;
    try {
        InitFields();
    } catch (...) {
        prepared_ = false;
        InternalUnprepare();
        throw;
    }
}

void TData::Unprepare() {
    if (!prepared_) return;
    prepared_ = false;
    if (AutoInitFields) fields_.ClearItems();
    InternalUnprepare();
}

void TData::InitFields() {
    if (active_) return;
    if (AutoInitFields) {
        fields_.ClearItems();
        InternalInitFields();
    }
    dataSize_ = 0;
    for (int i = 0; i < fields_.Count(); ++i) {
        TFieldDesc* field = fields_.Items(i);
        field->Offset = dataSize_;
        dataSize_ += field->Size;
    }
    recordSize_ = GetIndicatorSize() + dataSize_;
}

void TData::Open() {
    if (active_) return;
    InitData();
    autoPrepared_ = !prepared_;
    try {
        if (!prepared_) Prepare();
        ParseFilterText(filterText_);
        InternalOpen();
        active_ = true;
    } catch (...) {
        FreeData();
        FreeFilterExpression();
        if (autoPrepared_) Unprepare();
        throw;
    }
}

void TData::Close() {
    // The store ends closed (and unprepared when opening prepared it) even when the
    // back end fails to close; the first failure is the one reported.
    const auto finish = [this] {
        FreeData();
        active_ = false;
        FreeFilterExpression();
        if (autoPrepared_) {
            autoPrepared_ = false;
            if (!KeepPrepared) Unprepare();
        }
    };
    try {
        if (active_) InternalClose();
    } catch (...) {
        try {
            finish();
        } catch (...) {
        }
        throw;
    }
    finish();
}

void TData::Reopen() {
    Close();
    Open();
}

void TData::InitData() {
    bof_ = true;
    eof_ = true;
    recordCount_ = 0;
    recordNoOffset_ = 0;
}

void TData::SetCachedUpdates(bool value) {
    if (value == cachedUpdates_) return;
    if (!value) CancelUpdates();
    cachedUpdates_ = value;
    if (value) SetFilterItemTypes(DefaultCachedItemTypes);
}

void TData::DoInsertRecord() {
    if (InsertRecordHandler) InsertRecordHandler();
}

void TData::DoDeleteRecord() {
    if (DeleteRecordHandler) DeleteRecordHandler();
}

void TData::DoUpdateRecord() {
    if (UpdateRecordHandler) UpdateRecordHandler();
}

void TData::DoApplyRecord(TUpdateKind kind, TUpdateAction& action) {
    if (ApplyRecordHandler) ApplyRecordHandler(kind, action);
}

void TData::SetCacheRecBuf(void* newBuf, void* oldBuf) {
    newCacheRecBuf_ = newBuf;
    oldCacheRecBuf_ = oldBuf;
}

// Attribute fields

std::string TData::AttributePath(const TFieldDesc& field) const {
    std::string path = field.Name;
    for (const TFieldDesc* parent = field.ParentField; parent && parent->ParentField;
         parent = parent->ParentField)
        path = parent->Name + (parent->DataType == dtArray ? "" : ".") + path;
    return path;
}

TDBObject* TData::TopObject(const TFieldDesc& field, const void* record) const {
    const TFieldDesc* top = &field;
    while (top->ParentField) top = top->ParentField;
    return LoadPointer<TDBObject>(FieldData(record, *top));
}

// Field values

bool TData::GetNull(int fieldNo, const void* record) {
    const TFieldDesc& field = FieldAt(fieldNo);
    if (field.ParentField) {
        TDBObject* object = TopObject(field, record);
        bool isNull = true;
        if (object) object->GetAttributeValue(AttributePath(field), nullptr, isNull);
        return isNull;
    }
    return static_cast<const uint8_t*>(record)[dataSize_ + fieldNo - 1] == 1;
}

void TData::SetNull(int fieldNo, void* record, bool isNull) {
    const TFieldDesc& field = FieldAt(fieldNo);
    if (field.ParentField) {
        if (isNull) {
            if (TDBObject* object = TopObject(field, record)) object->SetAttributeValue(AttributePath(field), nullptr);
        }
        return;
    }
    static_cast<uint8_t*>(record)[dataSize_ + fieldNo - 1] = isNull ? 1 : 0;
    if (isNull && GetBlobTypes().Contains(field.DataType))
        if (TBlob* blob = LoadPointer<TBlob>(FieldData(record, field))) blob->Clear();
}

void TData::GetField(int fieldNo, const void* record, void* dest, bool& isNull) {
    const TFieldDesc& field = FieldAt(fieldNo);
    isNull = GetNull(fieldNo, record);
    if (!dest) return;
    if (isNull && !GetComplexTypes().Contains(field.DataType)) return;
    if (field.ParentField) {
        if (TDBObject* object = TopObject(field, record)) object->GetAttributeValue(AttributePath(field), dest, isNull);
        return;
    }
    const uint8_t* source = FieldData(record, field);
    switch (field.DataType) {
        case dtDateTime:
            GetDateFromBuf(source, dest, 0);
            break;
        case dtVariant:
            throw platform::EConvertError("Cannot convert type");
        default:
            std::memcpy(dest, source, field.Size);
    }
    if (field.DataType == dtString && field.Fixed && TrimFixedChar && !isNull) {
        // Trailing blanks of a fixed-width column are padding; start at the text's real end.
        char* text = static_cast<char*>(dest);
        size_t end = 0;
        while (end < field.Length && end < field.Size && text[end] != '\0') ++end;
        while (end > 0 && text[end - 1] == ' ') text[--end] = '\0';
    }
}

namespace {

// The binary digits after the point of a finite value: its decimal expansion has exactly as
// many digits after the point.
int FractionalBinaryDigits(double value) {
    if (value == 0) return 0;
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);  // in [0.5, 1)
    auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));   // the 53 bits, exactly
    int trailingZeros = 0;
    while ((mantissa & 1) == 0) {
        mantissa >>= 1;
        ++trailingZeros;
    }
    return std::max(0, 53 - exponent - trailingZeros);
}

}  // namespace

void TData::RoundToScale(double& value, const TFieldDesc& field) const {
    if (field.Scale <= 0 || !std::isfinite(value)) return;
    // A value with no more decimals than the scale reads back as itself: the text round
    // trip (costly for a NUMBER column without a scale, whose Scale is 127) is spared.
    if (FractionalBinaryDigits(value) <= field.Scale) return;
    char text[400];
    std::snprintf(text, sizeof(text), "%.*f", static_cast<int>(field.Scale), value);
    value = std::strtod(text, nullptr);
}

void TData::PutField(int fieldNo, void* record, const void* value) {
    const TFieldDesc& field = FieldAt(fieldNo);
    if (!value) {
        SetNull(fieldNo, record, true);
        return;
    }
    if (field.ParentField) {
        TDBObject* object = TopObject(field, record);
        Check(object != nullptr, UnitMemData, "Object field holds no object");
        object->SetAttributeValue(AttributePath(field), value);
        return;
    }
    if (field.DataType == dtString && !KeepEmptyStrings && *static_cast<const char*>(value) == '\0') {
        SetNull(fieldNo, record, true);
        return;
    }
    uint8_t* dest = FieldData(record, field);
    switch (field.DataType) {
        case dtString: {
            // Never read past the source's terminator, always store one.
            if (field.Size == 0) break;
            const auto* text = static_cast<const char*>(value);
            size_t length = 0;
            while (length + 1 < field.Size && text[length] != '\0') ++length;
            std::memcpy(dest, text, length);
            std::memset(dest + length, 0, field.Size - length);
            break;
        }
        case dtFloat: {
            double number;
            std::memcpy(&number, value, sizeof(number));
            RoundToScale(number, field);
            std::memcpy(dest, &number, sizeof(number));
            break;
        }
        case dtDateTime:
            PutDateToBuf(dest, value, 0);
            break;
        case dtVariant:
            throw platform::EConvertError("Cannot convert type");
        default:
            std::memcpy(dest, value, field.Size);
    }
    SetNull(fieldNo, record, false);
}

void TData::GetDateFromBuf(const void* source, void* dest, int format) {
    double value;
    std::memcpy(&value, source, sizeof(value));
    if (format == 0) value = DateTimeToMSecs(value);
    std::memcpy(dest, &value, sizeof(value));
}

void TData::PutDateToBuf(void* dest, const void* source, int format) {
    double value;
    std::memcpy(&value, source, sizeof(value));
    if (format == 0) value = MSecsToDateTime(value);
    std::memcpy(dest, &value, sizeof(value));
}

TDataTypeSet TData::GetBlobTypes() const { return {dtBlob, dtMemo}; }

TDataTypeSet TData::GetComplexTypes() const { return GetBlobTypes(); }

bool TData::HasFieldOfTypes(TDataTypeSet types) const {
    for (int i = 0; i < fields_.Count(); ++i)
        if (types.Contains(fields_.Items(i)->DataType)) return true;
    return false;
}

// Records

void TData::ForEachBlobSlot(void* record, const std::function<TBlob*(TBlob*)>& change) {
    const TDataTypeSet blobTypes = GetBlobTypes();
    for (int i = 0; i < fields_.Count(); ++i) {
        const TFieldDesc& field = *fields_.Items(i);
        if (field.ParentField || !blobTypes.Contains(field.DataType)) continue;
        uint8_t* slot = FieldData(record, field);
        StorePointer(slot, change(LoadPointer<TBlob>(slot)));
    }
}

void TData::ForEachBlob(void* record, const std::function<void(TBlob*)>& action) {
    ForEachBlobSlot(record, [&action](TBlob* blob) {
        if (blob) action(blob);
        return blob;
    });
}

void TData::CreateComplexFields(void* record, bool withBlobs) {
    if (withBlobs) ForEachBlobSlot(record, [](TBlob*) { return NewShared<TBlob>(); });
}

void TData::FreeComplexFields(void* record, bool withBlobs) {
    if (!withBlobs) return;
    ForEachBlobSlot(record, [](TBlob* blob) -> TBlob* {
        ReleaseObject(blob);
        return nullptr;
    });
}

void TData::CopyComplexFields(const void*, void*, bool withBlobs) {
    Check(!withBlobs, UnitMemData, "Blob values cannot be copied");
}

void TData::CancelRecord(void* record) {
    FreeComplexFields(record, false);
    if (HasBlobFields()) ForEachBlob(record, [](TBlob* blob) { blob->Cancel(); });
}

void TData::InitRecord(void* record) {
    // Zero-filled in every case, so that a new record never carries stale bytes.
    std::memset(record, 0, static_cast<size_t>(recordSize_));
    for (int n = 1; n <= FieldCount(); ++n)
        if (!fields_.Items(n - 1)->ParentField) SetNull(n, record, true);
}

void TData::EditRecord(void* record) {
    TRecordBuffer scratch = AllocRecBuf();
    GetRecord(scratch.data());
    CreateComplexFields(scratch.data(), false);
    CopyComplexFields(record, scratch.data(), false);
    PutRecord(scratch.data());
}

void TData::PostRecord(void* record) {
    TRecordBuffer scratch = AllocRecBuf();
    GetRecord(scratch.data());
    UpdateRecord(record);
    if (HasBlobFields()) ForEachBlob(record, [](TBlob* blob) { blob->Commit(); });
    FreeComplexFields(scratch.data(), false);
}

void TData::InitObjectFields(TObjectType* objectType, TFieldDesc* parentField) {
    if (!objectType) return;
    const bool isObject = objectType->DataType == dtObject || objectType->DataType == dtTable;
    const int count = isObject ? 1 : std::clamp<int>(objectType->Size, 0, MaxArrayItems);
    const std::string parentName = parentField ? parentField->ActualName : std::string();
    for (int a = 0; a < objectType->AttributeCount(); ++a) {
        TAttribute* attribute = objectType->Attributes(a);
        for (int i = 0; i < count; ++i) {
            auto desc = std::make_unique<TFieldDesc>();
            desc->ParentField = parentField;
            if (isObject) {
                desc->Name = attribute->Name;
                desc->ActualName = parentName + "." + desc->Name;
            } else {
                desc->Name = "[" + std::to_string(i) + "]";
                desc->ActualName = parentName + desc->Name;
            }
            desc->DataType = attribute->DataType;
            desc->Length = attribute->Length;
            desc->Size = 0;
            desc->FieldNo = static_cast<uint16_t>(FieldCount() + 1);
            desc->SetObjectType(attribute->ObjectType());
            TFieldDesc* added = fields_.Add(std::move(desc));
            if (added->DataType == dtObject || added->DataType == dtArray)
                InitObjectFields(attribute->ObjectType(), added);
        }
    }
}

// Positions

void TData::SetToBegin() {
    bof_ = true;
    eof_ = false;
}

void TData::SetToEnd() {
    eof_ = true;
    bof_ = false;
}

void TData::GetBookmark(TBookmark& bookmark) { bookmark.RecordNo = GetRecordNo(); }

void TData::SetToBookmark(const TBookmark& bookmark) {
    if (bookmark.RecordNo != -1) SetRecordNo(bookmark.RecordNo);
}

bool TData::BookmarkValid(const TBookmark* bookmark) { return bookmark && bookmark->RecordNo != -1; }

int TData::CompareBookmarks(const TBookmark* a, const TBookmark* b) {
    if (!a && !b) return 0;
    if (!a) return 1;
    if (!b) return -1;
    if (a->RecordNo < b->RecordNo) return -1;
    return a->RecordNo == b->RecordNo ? 0 : 1;
}

// Blobs

TBlob* TData::GetBlob(int fieldNo, const void* record) {
    const TFieldDesc& field = FieldAt(fieldNo);
    if (!GetBlobTypes().Contains(field.DataType)) throw platform::Exception("Field is not BLOB");
    return LoadPointer<TBlob>(FieldData(record, field));
}

uint32_t TData::ReadBlob(int fieldNo, const void* record, uint32_t position, uint32_t count, void* dest) {
    TBlob* blob = GetBlob(fieldNo, record);
    return blob ? blob->Read(position, count, dest) : 0;
}

void TData::WriteBlob(int fieldNo, void* record, uint32_t position, uint32_t count, const void* source) {
    TBlob* blob = GetBlob(fieldNo, record);
    Check(blob != nullptr, UnitMemData, "Blob field holds no value");
    blob->SetCached(true);
    blob->Write(position, count, source);
    SetNull(fieldNo, record, false);
}

void TData::TruncateBlob(int fieldNo, void* record, uint32_t size) {
    TBlob* blob = GetBlob(fieldNo, record);
    Check(blob != nullptr, UnitMemData, "Blob field holds no value");
    blob->SetCached(true);
    blob->Truncate(size);
    if (size == 0) SetNull(fieldNo, record, true);
}

uint32_t TData::GetBlobSize(int fieldNo, const void* record) {
    TBlob* blob = GetBlob(fieldNo, record);
    return blob ? blob->GetSize() : 0;
}

// Filter

bool TData::HasFilter() const { return static_cast<bool>(FilterFunc) || filterExpression_ != nullptr; }

bool TData::FilterAccepts(const void* record) {
    filterRecBuf_ = record;
    if (FilterFunc && !FilterFunc(record)) return false;
    if (filterExpression_ && !filterExpression_->Eval(*this)) return false;
    return true;
}

void TData::FreeFilterExpression() { filterExpression_.reset(); }

void TData::ParseFilterText(const std::string& text) {
    // The new tree replaces the old one only once it parsed.
    filterExpression_ = TFilterExpression::Parse(*this, text);
}

void TData::SetFilterText(const std::string& text) {
    if (text == filterText_) return;
    if (active_) ParseFilterText(text);
    filterText_ = text;
}

}  // namespace oracle
