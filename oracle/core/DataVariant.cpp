// Variant access to the values of a TData record: the conversions between the
// stored forms and the runtime's variants.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "oracle/core/Data.h"
#include "oracle/core/ObjectType.h"

namespace oracle {

using platform::Variant;

namespace {

[[noreturn]] void CannotConvert() { throw platform::EConvertError("Cannot convert type"); }

bool IsIntegerType(platform::TVarType type) {
    switch (type) {
        case platform::varSmallint:
        case platform::varInteger:
        case platform::varShortInt:
        case platform::varByte:
        case platform::varWord:
        case platform::varLongWord:
        case platform::varInt64:
            return true;
        default:
            return false;
    }
}

// An integral value of a variant, refused when it does not fit the field.
int64_t RangeChecked(int64_t value, int64_t low, int64_t high) {
    if (value < low || value > high) CannotConvert();
    return value;
}

int64_t RoundedToInteger(double value) {
    if (!std::isfinite(value) || value < -2147483648.5 || value > 2147483647.5) CannotConvert();
    return static_cast<int64_t>(std::nearbyint(value));
}

}  // namespace

void TData::GetFieldAsVariant(int fieldNo, const void* record, Variant& value) {
    const TFieldDesc& field = FieldAt(fieldNo);
    if (GetNull(fieldNo, record)) {
        value = Variant::Null();
        return;
    }
    std::vector<uint8_t> buffer(std::max<size_t>({field.Size, size_t{field.Length} + 1, 16}), 0);
    bool isNull = false;
    GetField(fieldNo, record, buffer.data(), isNull);
    if (isNull) {
        value = Variant::Null();
        return;
    }
    auto read = [&buffer](auto sample) {
        std::memcpy(&sample, buffer.data(), sizeof(sample));
        return sample;
    };
    switch (field.DataType) {
        case dtString:
            value = Variant(std::string(reinterpret_cast<const char*>(buffer.data())));
            break;
        case dtSmallint:
            value = Variant(read(int16_t{}));
            break;
        case dtInteger:
            value = Variant(read(int32_t{}));
            break;
        case dtFloat:
        case dtCurrency:
            value = Variant(read(double{}));
            break;
        case dtDateTime:
            value = Variant::FromDateTime(MSecsToDateTime(read(double{})));
            break;
        case dtWord:
            value = Variant(read(uint16_t{}));
            break;
        case dtBoolean:
            value = Variant(read(int16_t{}) != 0);
            break;
        case dtLargeint:
            value = Variant(read(int64_t{}));
            break;
        default:
            CannotConvert();
    }
}

void TData::StoreNative(int fieldNo, void* record, const void* value) {
    const TFieldDesc& field = FieldAt(fieldNo);
    if (field.ParentField) {
        TDBObject* object = TopObject(field, record);
        Check(object != nullptr, UnitMemData, "Object field holds no object");
        object->SetAttributeValue(AttributePath(field), value);
        return;
    }
    std::memcpy(FieldData(record, field), value, field.Size);
    SetNull(fieldNo, record, false);
}

void TData::PutFieldAsVariant(int fieldNo, void* record, const Variant& value) {
    const TFieldDesc& field = FieldAt(fieldNo);
    if (value.IsClear()) {
        SetNull(fieldNo, record, true);
        return;
    }
    const platform::TVarType type = value.VarType();
    switch (field.DataType) {
        case dtString: {
            // At most Size - 1 characters, always terminated; an attribute has no room
            // in the record (Size 0) and holds up to its declared length.
            const size_t room = field.ParentField ? size_t{field.Length} + 1 : size_t{field.Size};
            std::vector<char> text(std::max<size_t>(room, 1), '\0');
            const std::string source = value.AsString();
            std::memcpy(text.data(), source.data(), std::min(source.size(), text.size() - 1));
            StoreNative(fieldNo, record, text.data());
            return;
        }
        case dtSmallint:
        case dtWord: {
            if (type != platform::varSmallint && type != platform::varInteger && type != platform::varByte &&
                type != platform::varWord && type != platform::varShortInt)
                CannotConvert();
            const int64_t number = field.DataType == dtSmallint ? RangeChecked(value.AsInt64(), -32768, 32767)
                                                                : RangeChecked(value.AsInt64(), 0, 65535);
            const uint16_t stored = static_cast<uint16_t>(number);
            StoreNative(fieldNo, record, &stored);
            return;
        }
        case dtInteger: {
            int64_t number;
            if (IsIntegerType(type))
                number = value.AsInt64();
            else if (type == platform::varSingle || type == platform::varDouble || type == platform::varCurrency)
                number = RoundedToInteger(value.AsDouble());
            else if (type == platform::varString)
                number = platform::StrToInt64(value.AsString());
            else
                CannotConvert();
            const int32_t stored = static_cast<int32_t>(RangeChecked(number, INT32_MIN, INT32_MAX));
            StoreNative(fieldNo, record, &stored);
            return;
        }
        case dtFloat:
        case dtCurrency: {
            double number;
            if (type == platform::varSmallint || type == platform::varInteger || type == platform::varByte)
                number = static_cast<double>(value.AsInteger());
            else if (type == platform::varSingle || type == platform::varDouble || type == platform::varCurrency ||
                     type == platform::varString) {
                number = value.AsDouble();
                RoundToScale(number, field);
            } else
                CannotConvert();
            StoreNative(fieldNo, record, &number);
            return;
        }
        case dtDateTime: {
            const double dateTime = value.AsDateTime();
            if (field.ParentField) {
                const double msecs = DateTimeToMSecs(dateTime);
                StoreNative(fieldNo, record, &msecs);
            } else {
                PutDateToBuf(FieldData(record, field), &dateTime, 1);
                SetNull(fieldNo, record, false);
            }
            return;
        }
        case dtBoolean: {
            if (type != platform::varBoolean) CannotConvert();
            const int16_t stored = value.AsBoolean() ? -1 : 0;
            StoreNative(fieldNo, record, &stored);
            return;
        }
        case dtLargeint: {
            if (type != platform::varInt64) CannotConvert();
            const int64_t stored = value.AsInt64();
            StoreNative(fieldNo, record, &stored);
            return;
        }
        case dtBlob:
        case dtMemo: {
            TBlob* blob = field.ParentField ? nullptr : GetBlob(fieldNo, record);
            Check(blob != nullptr, UnitMemData, "Blob field holds no value");
            blob->SetAsString(value.AsString());
            SetNull(fieldNo, record, false);
            return;
        }
        default:
            CannotConvert();
    }
}

}  // namespace oracle
