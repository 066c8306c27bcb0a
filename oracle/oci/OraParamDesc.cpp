#include "oracle/oci/OraParamDesc.h"

#include <algorithm>
#include <cstring>

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "oracle/oci/OciCodecs.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraObject.h"
#include "platform/SysUtils.h"

namespace oracle {

namespace {

const char* const UnitOraClasses = "OraClasses";

[[noreturn]] void CannotConvert() { throw platform::EConvertError("Cannot convert type"); }

}  // namespace

void TOraParamDesc::AllocBuffer() {
    switch (dataType_) {
        case dtString:
        case dtFixedChar:
            itemSize_ = stringItemSize_;
            break;
        case dtInteger:
        case dtBoolean:
            itemSize_ = 4;
            break;
        case dtFloat:
            itemSize_ = 8;
            break;
        case dtDateTime:
            itemSize_ = 7;
            break;
        case dtUnknown:
        case dtBlob:
        case dtMemo:
        case dtObject:
        case dtReference:
        case dtArray:
        case dtTable:
        case dtCursor:
        case dtOraBlob:
        case dtOraClob:
        case dtBFile:
        case dtCFile:
        case dtLabel:
            itemSize_ = 0;
            break;
        default:
            AssertionFailed(UnitOraClasses, "Unknown data type");
    }
    buffer_.assign(static_cast<size_t>(itemSize_) * static_cast<size_t>(tableLength_), 0);
    if (tableLength_ >= 2) indicators_.assign(static_cast<size_t>(tableLength_), -1);
    singleIndicator_ = -1;
}

void TOraParamDesc::FreeBuffer() {
    buffer_.clear();
    indicators_.clear();
    object_ = nullptr;
}

void TOraParamDesc::SetDataType(TDataType value) {
    if (value == dataType_) return;
    FreeBuffer();
    dataType_ = value;
    AllocBuffer();
}

void TOraParamDesc::SetSize(int32_t value) {
    size_ = value;
    if (dataType_ != dtString && dataType_ != dtFixedChar) return;
    const uint32_t itemSize = value < 1 ? 2 : static_cast<uint32_t>(value) + 1;
    if (itemSize == itemSize_) return;
    FreeBuffer();
    stringItemSize_ = itemSize;
    AllocBuffer();
}

void TOraParamDesc::SetTableLength(int32_t value) {
    if (value == tableLength_) return;
    FreeBuffer();
    tableLength_ = value;
    AllocBuffer();
}

void TOraParamDesc::SetObject(TSharedObject* object) {
    FreeBuffer();
    object_ = object;
}

TBlob* TOraParamDesc::Blob() const {
    return dataType_ == dtBlob || dataType_ == dtMemo ? dynamic_cast<TBlob*>(object_) : nullptr;
}

void TOraParamDesc::CheckIndex(int index) const {
    if (index < 1 || index > tableLength_) throw platform::ERangeError("Index of array is not range");
}

oci::sb2 TOraParamDesc::GetIndicator(int index) {
    if (dataType_ == dtCursor) return 0;
    CheckIndex(index);
    return IndicatorBuffer()[index - 1];
}

void TOraParamDesc::SetIndicator(int index, oci::sb2 value) {
    CheckIndex(index);
    IndicatorBuffer()[index - 1] = value;
}

void TOraParamDesc::SetItemNull(int index, bool value) {
    CheckIndex(index);
    if (!value) {
        SetIndicator(index, 0);
        return;
    }
    SetIndicator(index, -1);
    switch (dataType_) {
        case dtString:
        case dtInteger:
        case dtFloat:
        case dtDateTime:
            if (itemSize_ > 0) std::memset(Item(index), 0, dataType_ == dtString ? 1 : itemSize_);
            break;
        case dtBlob:
        case dtMemo:
        case dtOraBlob:
        case dtOraClob:
            if (auto* blob = dynamic_cast<TBlob*>(object_)) blob->Clear();
            break;
        default:
            break;
    }
}

platform::TDateTime TOraParamDesc::GetItemAsDateTime(int index) {
    if (ItemIsNull(index) || dataType_ != dtDateTime) return 0;
    return OraDateToDateTime(Item(index));
}

void TOraParamDesc::SetItemAsDateTime(int index, platform::TDateTime value) {
    CheckIndex(index);
    SetDataType(dtDateTime);
    DateTimeToOraDate(Item(index), value);
    SetIndicator(index, 0);
}

double TOraParamDesc::GetItemAsFloat(int index) {
    if (ItemIsNull(index) || dataType_ != dtFloat) return 0;
    double value;
    std::memcpy(&value, Item(index), sizeof value);
    return value;
}

void TOraParamDesc::SetItemAsFloat(int index, double value) {
    CheckIndex(index);
    SetDataType(dtFloat);
    std::memcpy(Item(index), &value, sizeof value);
    SetIndicator(index, 0);
}

int32_t TOraParamDesc::GetItemAsInteger(int index) {
    if (ItemIsNull(index) || (dataType_ != dtInteger && dataType_ != dtBoolean)) return 0;
    int32_t value;
    std::memcpy(&value, Item(index), sizeof value);
    return value;
}

void TOraParamDesc::SetItemAsInteger(int index, int32_t value) {
    CheckIndex(index);
    SetDataType(dtInteger);
    std::memcpy(Item(index), &value, sizeof value);
    SetIndicator(index, 0);
}

std::string TOraParamDesc::GetItemAsString(int index) {
    if (ItemIsNull(index) || (dataType_ != dtString && dataType_ != dtFixedChar) || itemSize_ == 0) return {};
    const char* text = reinterpret_cast<const char*>(Item(index));
    return std::string(text, strnlen(text, itemSize_));
}

void TOraParamDesc::SetItemAsString(int index, const std::string& value) {
    CheckIndex(index);
    if (dataType_ != dtFixedChar) SetDataType(dtString);
    if (value.empty()) {
        SetItemNull(index, true);
        return;
    }
    if (itemSize_ == 0) return;
    const size_t length = std::min<size_t>(value.size(), itemSize_ - 1);
    std::memcpy(Item(index), value.data(), length);
    Item(index)[length] = 0;
    SetIndicator(index, 0);
}

platform::Variant TOraParamDesc::GetItemAsVariant(int index) {
    CheckIndex(index);
    if (ItemIsNull(index)) return dataType_ == dtString ? platform::Variant("") : platform::Variant::Null();
    switch (dataType_) {
        case dtUnknown:
            return {};
        case dtString:
        case dtFixedChar:
            return platform::Variant(GetItemAsString(index));
        case dtInteger:
            return platform::Variant(GetItemAsInteger(index));
        case dtFloat:
            return platform::Variant(GetItemAsFloat(index));
        case dtDateTime:
            return platform::Variant::FromDateTime(GetItemAsDateTime(index));
        case dtBlob:
        case dtMemo:
            if (TBlob* blob = Blob()) return platform::Variant(blob->AsString());
            return platform::Variant::Null();
        default:
            return platform::Variant::Null();
    }
}

void TOraParamDesc::SetItemAsVariant(int index, const platform::Variant& value) {
    using namespace platform;
    CheckIndex(index);
    if (value.IsClear()) {
        SetItemNull(index, true);
        return;
    }
    const TVarType type = value.VarType();
    if (dataType_ == dtUnknown) {
        switch (type) {
            case varSmallint:
            case varInteger:
            case varByte:
                SetDataType(dtInteger);
                break;
            case varSingle:
            case varDouble:
            case varCurrency:
                SetDataType(dtFloat);
                break;
            case varDate:
                SetDataType(dtDateTime);
                break;
            case varOleStr:
            case varString:
                SetDataType(dtString);
                SetSize(static_cast<int32_t>(value.AsString().size()));
                break;
            default:
                throw EConvertError("Unknown data type");
        }
    }
    const bool numeric = type == varSmallint || type == varInteger || type == varSingle || type == varDouble ||
                         type == varCurrency || type == varByte;
    const bool text = type == varString || type == varOleStr;
    switch (dataType_) {
        case dtString:
        case dtFixedChar:
            SetItemAsString(index, value.AsString());
            break;
        case dtInteger:
            if (!numeric && !text) CannotConvert();
            SetItemAsInteger(index, value.AsInteger());
            break;
        case dtFloat:
            if (!numeric && !text) CannotConvert();
            SetItemAsFloat(index, value.AsDouble());
            break;
        case dtDateTime:
            SetItemAsDateTime(index, value.AsDateTime());
            break;
        default:
            CannotConvert();
    }
}

void TOraParamDesc::GetValue(platform::Variant& value) {
    if (tableLength_ < 2) {
        value = GetItemAsVariant(1);
        return;
    }
    value = platform::Variant::Array(1, tableLength_);
    for (int i = 1; i <= tableLength_; ++i) value[i] = GetItemAsVariant(i);
}

bool TOraParamDesc::SetValue(const platform::Variant& value) {
    if (value.IsArray()) {
        // Text elements are not cut to the first one's length: the items take the longest.
        const bool stringType = dataType_ == dtString || dataType_ == dtFixedChar;
        if (dataType_ == dtUnknown || stringType) {
            const platform::Variant* first = nullptr;
            size_t longest = 0;
            for (int i = value.LowBound(); i <= value.HighBound(); ++i) {
                if (!first && !value[i].IsClear()) first = &value[i];
                if (value[i].IsString()) longest = std::max(longest, value[i].AsString().size());
            }
            if ((stringType || (first && first->IsString())) && longest > 0) {
                if (!stringType) SetDataType(dtString);
                if (longest + 1 > itemSize_) SetSize(static_cast<int32_t>(longest));
            }
        }
        // Elements map to items 1.. whatever the array's lower bound.
        SetTableLength(value.ElementCount());
        for (int i = value.LowBound(); i <= value.HighBound(); ++i) SetItemAsVariant(i - value.LowBound() + 1, value[i]);
    } else {
        SetItemAsVariant(1, value);
    }
    return GetNull();
}

void TOraParamDesc::SyncNullFromObject() {
    switch (dataType_) {
        case dtBlob:
        case dtMemo: {
            TBlob* blob = Blob();
            IndicatorBuffer()[0] = blob == nullptr || blob->GetSize() == 0 ? -1 : 0;
            break;
        }
        case dtObject:
        case dtReference:
        case dtArray:
        case dtTable:
        case dtBFile:
        case dtCFile:
        case dtCursor:
        case dtOraBlob:
        case dtOraClob:
            if (object_ == nullptr) {
                IndicatorBuffer()[0] = -1;
            } else if (dataType_ == dtCursor || dataType_ == dtOraBlob || dataType_ == dtOraClob) {
                IndicatorBuffer()[0] = 0;
            } else if (auto* file = dynamic_cast<TOraFile*>(object_)) {
                IndicatorBuffer()[0] = file->FileDir().empty() && file->FileName().empty() ? -1 : 0;
            } else if (auto* ref = dynamic_cast<TOraRef*>(object_)) {
                // A REF travels without its object being pinned.
                IndicatorBuffer()[0] = ref->RefIsNull() ? -1 : 0;
            } else if (auto* value = dynamic_cast<TOraObject*>(object_)) {
                IndicatorBuffer()[0] = value->Instance() ? 0 : -1;
            }
            break;
        default:
            break;
    }
}

}  // namespace oracle
