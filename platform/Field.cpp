#include "platform/Field.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_set>
#include <vector>

#include "platform/DataSet.h"
#include "platform/FieldDefs.h"
#include "platform/Rounding.h"
#include "platform/Streams.h"

namespace platform {

namespace {

bool IsIntegerKind(TFieldType t) { return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc; }
bool IsFloatKind(TFieldType t) { return t == ftFloat || t == ftCurrency || t == ftBCD; }
bool IsDateKind(TFieldType t) { return t == ftDate || t == ftTime || t == ftDateTime; }

// Room for one value of a field (its data and a terminating zero), zero-filled; on the stack
// for the usual sizes, so that a text read costs no allocation besides its result.
class TValueBuffer {
public:
    explicit TValueBuffer(const TField& field) {
        const size_t size = static_cast<size_t>(field.DataSize()) + 1;
        if (size > sizeof local_)
            heap_.assign(size, '\0');
        else
            std::memset(local_, 0, size);
    }
    TValueBuffer(const TValueBuffer&) = delete;
    TValueBuffer& operator=(const TValueBuffer&) = delete;
    char* data() { return heap_.empty() ? local_ : heap_.data(); }

private:
    char local_[256];
    std::vector<char> heap_;
};

}  // namespace

// ================================================================ TField

TField::TField(TComponent* owner) : TComponent(owner) {}

TField::~TField() {
    if (fieldList_) fieldList_->Remove(this);
}

void TField::SetFieldName(const AnsiString& name) {
    if (dataSet_ && dataSet_->Active()) DatabaseError("Cannot perform this operation on an open dataset");
    fieldName_ = name;
}

void TField::SetFieldKind(TFieldKind kind) {
    if (dataSet_ && dataSet_->Active()) DatabaseError("Cannot perform this operation on an open dataset");
    fieldKind_ = kind;
}

void TField::SetSize(int size) {
    if (dataSet_ && dataSet_->Active()) DatabaseError("Cannot perform this operation on an open dataset");
    size_ = size;
}

int TField::Index() const { return fieldList_ ? fieldList_->IndexOf(this) : -1; }

void TField::BindToDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_ && fieldList_) return;
    if ((dataSet_ && dataSet_->Active()) || (dataSet && dataSet->Active()))
        DatabaseError("Cannot perform this operation on an open dataset");
    if (fieldList_) fieldList_->Remove(this);
    dataSet_ = nullptr;
    if (dataSet) dataSet->Fields().Insert(this);
}

void TField::Bind(const TFieldDef&) {}

bool TField::GetData(void* buffer) const {
    if (!dataSet_) DatabaseError("Field '" + DisplayName() + "' has no dataset");
    return dataSet_->ReadFieldData(const_cast<TField*>(this), buffer);
}

void TField::SetData(const void* buffer) {
    if (!dataSet_) DatabaseError("Field '" + DisplayName() + "' has no dataset");
    if (!FieldIsModifiable()) DatabaseError("Field '" + DisplayName() + "' cannot be modified");
    dataSet_->StoreFieldData(this, buffer);
}

bool TField::IsNull() const { return !GetData(nullptr); }

AnsiString TField::FieldClassDescription() const {
    AnsiString kind = ClassName();
    if (!kind.empty() && kind[0] == 'T') kind.erase(0, 1);
    const AnsiString suffix = "Field";
    if (kind.size() > suffix.size() && kind.compare(kind.size() - suffix.size(), suffix.size(), suffix) == 0)
        kind.resize(kind.size() - suffix.size());
    AnsiString description = "(" + kind + ")";
    return dataSet_ && !IsNull() ? AnsiUpperCase(description) : description;
}

void TField::AccessError(const char* typeName) const {
    DatabaseError("Field '" + DisplayName() + "' cannot be accessed as type " + typeName);
}

AnsiString TField::ReadAsString() const { AccessError("String"); }
void TField::WriteAsString(const AnsiString&) { AccessError("String"); }
int32_t TField::ReadAsInteger() const { AccessError("Integer"); }
void TField::WriteAsInteger(int32_t) { AccessError("Integer"); }
int64_t TField::ReadAsLargeInt() const { AccessError("LargeInt"); }
void TField::WriteAsLargeInt(int64_t) { AccessError("LargeInt"); }
double TField::ReadAsFloat() const { AccessError("Float"); }
void TField::WriteAsFloat(double) { AccessError("Float"); }
bool TField::ReadAsBoolean() const { AccessError("Boolean"); }
void TField::WriteAsBoolean(bool) { AccessError("Boolean"); }
TDateTime TField::ReadAsDateTime() const { AccessError("DateTime"); }
void TField::WriteAsDateTime(TDateTime) { AccessError("DateTime"); }
Variant TField::ReadAsVariant() const { AccessError("Variant"); }

void TField::WriteAsVariant(const Variant& value) {
    if (value.IsClear()) {
        Clear();
        return;
    }
    TFieldType type = DataType();
    if (type == ftString || type == ftFixedChar || type == ftWideString || type == ftBytes ||
        type == ftVarBytes || IsBlob())
        WriteAsString(value.AsString());
    else if (IsIntegerKind(type))
        WriteAsInteger(value.AsInteger());
    else if (type == ftLargeint)
        WriteAsLargeInt(value.AsInt64());
    else if (IsFloatKind(type))
        WriteAsFloat(value.AsDouble());
    else if (type == ftBoolean)
        WriteAsBoolean(value.AsBoolean());
    else if (IsDateKind(type))
        WriteAsDateTime(value.AsDateTime());
    else
        AccessError("Variant");
}

Variant TField::OldValue() const {
    return dataSet_ ? dataSet_->FieldValueInState(dsOldValue, const_cast<TField*>(this)) : Variant::Null();
}

Variant TField::NewValue() const {
    return dataSet_ ? dataSet_->FieldValueInState(dsNewValue, const_cast<TField*>(this)) : Variant::Null();
}

void TField::Validate(const void*) {
    if (OnValidate) OnValidate(*this);
}

void TField::Change() {
    if (OnChange) OnChange(*this);
}

AnsiString TField::ReadBlobText() const {
    if (!dataSet_) DatabaseError("Field '" + DisplayName() + "' has no dataset");
    if (dataSet_->State() == dsBlockRead && FieldNo() > 0) {
        // A block holds records the cursor has moved past: the dataset reads the blob of
        // the block's record itself, and a record it cannot read gives an empty value.
        std::vector<char> data;
        const int read = dataSet_->ReadBlobFieldData(FieldNo(), data);
        AnsiString text = read > 0 ? AnsiString(data.data(), static_cast<size_t>(read)) : AnsiString();
        if (Transliterate() && !text.empty()) dataSet_->ConvertCharset(text.c_str(), text.data(), false);
        return text;
    }
    std::unique_ptr<TStream> stream = dataSet_->OpenBlobStream(const_cast<TField*>(this), bmRead);
    if (!stream) return AnsiString();
    int64_t size = stream->Size();
    AnsiString text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    stream->SetPosition(0);
    int64_t got = size > 0 ? stream->StreamRead(text.data(), static_cast<int32_t>(size)) : 0;
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

void TField::WriteBlobText(const AnsiString& value) {
    if (!dataSet_) DatabaseError("Field '" + DisplayName() + "' has no dataset");
    if (!FieldIsModifiable()) DatabaseError("Field '" + DisplayName() + "' cannot be modified");
    std::unique_ptr<TStream> stream = dataSet_->OpenBlobStream(this, bmWrite);
    if (!stream) DatabaseError("Field '" + DisplayName() + "' has no blob storage");
    if (!value.empty()) stream->WriteBuffer(value.data(), static_cast<int32_t>(value.size()));
}

// ================================================================ TFields

TFields::~TFields() {
    for (TField* field : list_) field->fieldList_ = nullptr;
    for (TField* field : list_) field->dataSet_ = nullptr;
}

TField* TFields::FieldAt(int index) const {
    if (index < 0 || index >= Count()) DatabaseError("Field index out of range");
    return list_[static_cast<size_t>(index)];
}

TField* TFields::FindField(const AnsiString& name) const {
    for (TField* field : list_)
        if (AnsiSameText(field->FieldName(), name)) return field;
    return nullptr;
}

TField* TFields::FieldByNumber(int fieldNo) const {
    for (TField* field : list_)
        if (field->FieldNo() == fieldNo) return field;
    return nullptr;
}

int TFields::IndexOf(const TField* field) const {
    auto at = std::find(list_.begin(), list_.end(), field);
    return at == list_.end() ? -1 : static_cast<int>(at - list_.begin());
}

void TFields::Join(TField* field) {
    list_.push_back(field);
    field->fieldList_ = this;
    field->dataSet_ = dataSet_;
    field->parentField_ = parent_;
}

TField* TFields::Add(std::unique_ptr<TField> field) {
    TField* raw = field.get();
    if (raw->fieldList_) raw->fieldList_->Remove(raw);
    if (raw->Owner()) {
        // A component owner keeps it; the list only refers to it.
        field.release();
    } else {
        owned_.push_back(std::move(field));
    }
    Join(raw);
    return raw;
}

void TFields::Insert(TField* field) { Join(field); }

void TFields::Remove(TField* field) {
    auto at = std::find(list_.begin(), list_.end(), field);
    if (at == list_.end()) return;
    list_.erase(at);
    field->fieldList_ = nullptr;
    field->dataSet_ = nullptr;
    field->parentField_ = nullptr;
    for (auto& owned : owned_)
        if (owned.get() == field) {
            owned.release();  // the field is being freed or detached by its caller
            break;
        }
    owned_.erase(std::remove(owned_.begin(), owned_.end(), nullptr), owned_.end());
}

void TFields::RemoveAll() {
    std::vector<TField*> fields = std::move(list_);
    list_.clear();
    std::vector<std::unique_ptr<TField>> owned = std::move(owned_);
    owned_.clear();
    std::unordered_set<TField*> ownedHere;
    for (auto& f : owned) ownedHere.insert(f.get());
    for (TField* field : fields) {
        field->fieldList_ = nullptr;
        field->dataSet_ = nullptr;
        field->parentField_ = nullptr;
    }
    owned.clear();
    for (TField* field : fields) {
        if (ownedHere.count(field)) continue;
        TComponent* owner = field->Owner();
        if (owner && !owner->InState(csDestroying)) owner->RemoveComponent(field);
    }
}

// ================================================================ TStringField

TStringField::TStringField(TComponent* owner) : TField(owner) {
    SetDataType(ftString);
    SetSize(20);
}

void TStringField::Bind(const TFieldDef& def) {
    if (def.Size() > 0) SetSize(def.Size());
    if (def.DataType() == ftFixedChar || def.DataType() == ftString) SetDataType(def.DataType());
}

AnsiString TStringField::ReadAsString() const {
    TValueBuffer buffer(*this);
    if (!GetData(buffer.data())) return AnsiString();
    return AnsiString(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(Size())));
}

void TStringField::WriteAsString(const AnsiString& value) {
    TValueBuffer buffer(*this);
    std::memcpy(buffer.data(), value.data(), std::min(value.size(), static_cast<size_t>(Size())));
    SetData(buffer.data());
}

int32_t TStringField::ReadAsInteger() const { return Variant(Trim(ReadAsString())).AsInteger(); }
int64_t TStringField::ReadAsLargeInt() const { return Variant(Trim(ReadAsString())).AsInt64(); }
double TStringField::ReadAsFloat() const { return Variant(Trim(ReadAsString())).AsDouble(); }
void TStringField::WriteAsFloat(double value) { WriteAsString(FloatToStr(value)); }

bool TStringField::ReadAsBoolean() const {
    AnsiString s = Trim(ReadAsString());
    if (s.empty()) return false;
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    return c == 'T' || c == 'Y' || c == '1';
}

TDateTime TStringField::ReadAsDateTime() const { return StrToDateTime(ReadAsString()); }

Variant TStringField::ReadAsVariant() const {
    TValueBuffer buffer(*this);
    if (!GetData(buffer.data())) return Variant::Null();
    return Variant(AnsiString(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(Size()))));
}

// ================================================================ numbers

void TNumericField::WriteAsString(const AnsiString& value) {
    AnsiString text = Trim(value);
    if (text.empty()) {
        Clear();
        return;
    }
    if (DataType() == ftLargeint)
        WriteAsLargeInt(Variant(text).AsInt64());
    else if (IsIntegerKind(DataType()))
        WriteAsInteger(Variant(text).AsInteger());
    else
        WriteAsFloat(Variant(text).AsDouble());
}

TIntegerField::TIntegerField(TComponent* owner) : TNumericField(owner) { SetDataType(ftInteger); }
TSmallintField::TSmallintField(TComponent* owner) : TIntegerField(owner) { SetDataType(ftSmallint); }
TWordField::TWordField(TComponent* owner) : TIntegerField(owner) { SetDataType(ftWord); }
TAutoIncField::TAutoIncField(TComponent* owner) : TIntegerField(owner) { SetDataType(ftAutoInc); }

int TIntegerField::DataSize() const { return DataType() == ftSmallint || DataType() == ftWord ? 2 : 4; }

void TIntegerField::Bind(const TFieldDef& def) {
    // The storage's width decides the native form, whatever class the caller chose.
    if (IsIntegerKind(def.DataType())) SetDataType(def.DataType());
    if (def.Precision() > 0) SetPrecision(def.Precision());
}

bool TIntegerField::ReadValue(int32_t& value) const {
    char buffer[8] = {};
    if (!GetData(buffer)) return false;
    switch (DataType()) {
    case ftSmallint: {
        int16_t v;
        std::memcpy(&v, buffer, 2);
        value = v;
        break;
    }
    case ftWord: {
        uint16_t v;
        std::memcpy(&v, buffer, 2);
        value = v;
        break;
    }
    default:
        std::memcpy(&value, buffer, 4);
    }
    return true;
}

int32_t TIntegerField::ReadAsInteger() const {
    int32_t value = 0;
    return ReadValue(value) ? value : 0;
}

AnsiString TIntegerField::ReadAsString() const {
    int32_t value = 0;
    return ReadValue(value) ? IntToStr(value) : AnsiString();
}

Variant TIntegerField::ReadAsVariant() const {
    int32_t value = 0;
    return ReadValue(value) ? Variant(value) : Variant::Null();
}

void TIntegerField::WriteAsInteger(int32_t value) {
    int32_t low = std::numeric_limits<int32_t>::min(), high = std::numeric_limits<int32_t>::max();
    if (DataType() == ftSmallint) low = -32768, high = 32767;
    if (DataType() == ftWord) low = 0, high = 65535;
    if (value < low || value > high)
        DatabaseError(IntToStr(value) + " is not a valid value for field '" + DisplayName() +
                      "'. The allowed range is " + IntToStr(low) + " to " + IntToStr(high));
    char buffer[4] = {};
    if (DataSize() == 2) {
        uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(buffer, &v, 2);
    } else {
        std::memcpy(buffer, &value, 4);
    }
    SetData(buffer);
}

void TIntegerField::WriteAsLargeInt(int64_t value) {
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        DatabaseError(IntToStr(value) + " is not a valid value for field '" + DisplayName() + "'");
    WriteAsInteger(static_cast<int32_t>(value));
}

void TIntegerField::WriteAsFloat(double value) {
    double rounded = RoundHalfEven(value);
    if (!(rounded >= std::numeric_limits<int32_t>::min() && rounded <= std::numeric_limits<int32_t>::max()))
        DatabaseError(FloatToStr(value) + " is not a valid value for field '" + DisplayName() + "'");
    WriteAsInteger(static_cast<int32_t>(rounded));
}

void TIntegerField::Validate(const void* buffer) {
    if (buffer && (minValue_ != 0 || maxValue_ != 0)) {
        int32_t value = 0;
        if (DataType() == ftSmallint) {
            int16_t v;
            std::memcpy(&v, buffer, 2);
            value = v;
        } else if (DataType() == ftWord) {
            uint16_t v;
            std::memcpy(&v, buffer, 2);
            value = v;
        } else {
            std::memcpy(&value, buffer, 4);
        }
        if (value < minValue_ || value > maxValue_)
            DatabaseError(IntToStr(value) + " is not a valid value for field '" + DisplayName() +
                          "'. The allowed range is " + IntToStr(minValue_) + " to " + IntToStr(maxValue_));
    }
    TField::Validate(buffer);
}

TLargeintField::TLargeintField(TComponent* owner) : TNumericField(owner) { SetDataType(ftLargeint); }

int64_t TLargeintField::ReadAsLargeInt() const {
    int64_t value = 0;
    return GetData(&value) ? value : 0;
}

int32_t TLargeintField::ReadAsInteger() const {
    int64_t value = ReadAsLargeInt();
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        DatabaseError(IntToStr(value) + " is not a valid integer value of field '" + DisplayName() + "'");
    return static_cast<int32_t>(value);
}

AnsiString TLargeintField::ReadAsString() const {
    int64_t value = 0;
    return GetData(&value) ? IntToStr(value) : AnsiString();
}

Variant TLargeintField::ReadAsVariant() const {
    int64_t value = 0;
    return GetData(&value) ? Variant(value) : Variant::Null();
}

void TLargeintField::WriteAsLargeInt(int64_t value) { SetData(&value); }

void TLargeintField::WriteAsFloat(double value) {
    double rounded = RoundHalfEven(value);
    if (!(rounded >= -9.2233720368547758e18 && rounded < 9.2233720368547758e18))
        DatabaseError(FloatToStr(value) + " is not a valid value for field '" + DisplayName() + "'");
    WriteAsLargeInt(static_cast<int64_t>(rounded));
}

TFloatField::TFloatField(TComponent* owner) : TNumericField(owner) {
    SetDataType(ftFloat);
    precision_ = 15;
}
TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner) { SetDataType(ftCurrency); }
TBCDField::TBCDField(TComponent* owner) : TFloatField(owner) { SetDataType(ftBCD); }

void TFloatField::Bind(const TFieldDef& def) {
    if (IsFloatKind(def.DataType())) SetDataType(def.DataType());
    if (def.Precision() > 0) SetPrecision(def.Precision());
}

double TFloatField::ReadAsFloat() const {
    double value = 0;
    return GetData(&value) ? value : 0;
}

AnsiString TFloatField::ReadAsString() const {
    double value = 0;
    return GetData(&value) ? FloatToStr(value) : AnsiString();
}

Variant TFloatField::ReadAsVariant() const {
    double value = 0;
    if (!GetData(&value)) return Variant::Null();
    if (DataType() == ftCurrency) return Variant(Currency::FromDouble(value));
    return Variant(value);
}

int32_t TFloatField::ReadAsInteger() const {
    double value = RoundHalfEven(ReadAsFloat());
    if (!(value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()))
        DatabaseError(ReadAsString() + " is not a valid integer value of field '" + DisplayName() + "'");
    return static_cast<int32_t>(value);
}

int64_t TFloatField::ReadAsLargeInt() const {
    double value = RoundHalfEven(ReadAsFloat());
    if (!(value >= -9.2233720368547758e18 && value < 9.2233720368547758e18))
        DatabaseError(ReadAsString() + " is not a valid integer value of field '" + DisplayName() + "'");
    return static_cast<int64_t>(value);
}

void TFloatField::WriteAsFloat(double value) {
    if (!std::isfinite(value)) DatabaseError("Invalid value for field '" + DisplayName() + "'");
    SetData(&value);
}

void TFloatField::Validate(const void* buffer) {
    if (buffer && (minValue_ != 0 || maxValue_ != 0)) {
        double value;
        std::memcpy(&value, buffer, 8);
        if (value < minValue_ || value > maxValue_)
            DatabaseError(FloatToStr(value) + " is not a valid value for field '" + DisplayName() +
                          "'. The allowed range is " + FloatToStr(minValue_) + " to " + FloatToStr(maxValue_));
    }
    TField::Validate(buffer);
}

// ================================================================ boolean

TBooleanField::TBooleanField(TComponent* owner) : TField(owner) { SetDataType(ftBoolean); }

bool TBooleanField::ReadAsBoolean() const {
    int16_t value = 0;
    return GetData(&value) && value != 0;
}

AnsiString TBooleanField::ReadAsString() const {
    int16_t value = 0;
    if (!GetData(&value)) return AnsiString();
    return value != 0 ? "True" : "False";
}

Variant TBooleanField::ReadAsVariant() const {
    int16_t value = 0;
    return GetData(&value) ? Variant(value != 0) : Variant::Null();
}

void TBooleanField::WriteAsBoolean(bool value) {
    int16_t native = value ? -1 : 0;
    SetData(&native);
}

void TBooleanField::WriteAsString(const AnsiString& value) {
    AnsiString text = AnsiUpperCase(Trim(value));
    if (text.empty()) {
        Clear();
    } else if (text == "T" || text == "TRUE" || text == "Y" || text == "YES" || text == "1") {
        WriteAsBoolean(true);
    } else if (text == "F" || text == "FALSE" || text == "N" || text == "NO" || text == "0") {
        WriteAsBoolean(false);
    } else {
        DatabaseError("'" + value + "' is not a valid boolean value for field '" + DisplayName() + "'");
    }
}

// ================================================================ dates and times

TDateTimeField::TDateTimeField(TComponent* owner) : TField(owner) { SetDataType(ftDateTime); }
TDateField::TDateField(TComponent* owner) : TDateTimeField(owner) { SetDataType(ftDate); }
TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner) { SetDataType(ftTime); }

int TDateTimeField::DataSize() const { return DataType() == ftDateTime ? 8 : 4; }

void TDateTimeField::Bind(const TFieldDef& def) {
    // Date, time and date-time columns differ in their native form; the field reads
    // the form its column has.
    if (IsDateKind(def.DataType())) SetDataType(def.DataType());
}

TDateTime TDateTimeField::ReadAsDateTime() const {
    double buffer[1] = {0};
    if (!GetData(buffer)) return 0;
    if (DataType() == ftDate) {
        int32_t day;
        std::memcpy(&day, buffer, 4);
        return static_cast<TDateTime>(day - DateDelta);
    }
    if (DataType() == ftTime) {
        int32_t msecs;
        std::memcpy(&msecs, buffer, 4);
        return static_cast<TDateTime>(msecs) / MSecsPerDay;
    }
    if (buffer[0] == 0) return 0;
    return TimeStampToDateTime(MSecsToTimeStamp(buffer[0]));
}

void TDateTimeField::WriteAsDateTime(TDateTime value) {
    TTimeStamp stamp = DateTimeToTimeStamp(value);
    if (DataType() == ftDate) {
        int32_t day = stamp.Date;
        SetData(&day);
    } else if (DataType() == ftTime) {
        int32_t msecs = stamp.Time;
        SetData(&msecs);
    } else {
        double msecs = TimeStampToMSecs(stamp);
        SetData(&msecs);
    }
}

AnsiString TDateTimeField::ReadAsString() const {
    if (IsNull()) return AnsiString();
    TDateTime value = ReadAsDateTime();
    if (DataType() == ftDate) return DateToStr(value);
    if (DataType() == ftTime) return TimeToStr(value);
    return DateTimeToStr(value);
}

void TDateTimeField::WriteAsString(const AnsiString& value) {
    AnsiString text = Trim(value);
    if (text.empty()) {
        Clear();
        return;
    }
    if (DataType() == ftDate)
        WriteAsDateTime(StrToDate(text));
    else if (DataType() == ftTime)
        WriteAsDateTime(StrToTime(text));
    else
        WriteAsDateTime(StrToDateTime(text));
}

Variant TDateTimeField::ReadAsVariant() const {
    if (IsNull()) return Variant::Null();
    return Variant::FromDateTime(ReadAsDateTime());
}

// ================================================================ bytes

TBytesField::TBytesField(TComponent* owner) : TField(owner) {
    SetDataType(ftBytes);
    SetSize(16);
}
TVarBytesField::TVarBytesField(TComponent* owner) : TBytesField(owner) { SetDataType(ftVarBytes); }

void TBytesField::Bind(const TFieldDef& def) {
    if (def.Size() > 0) SetSize(def.Size());
}

AnsiString TBytesField::ReadAsString() const {
    TValueBuffer buffer(*this);
    if (!GetData(buffer.data())) return AnsiString();
    return AnsiString(buffer.data(), static_cast<size_t>(Size()));
}

void TBytesField::WriteAsString(const AnsiString& value) {
    TValueBuffer buffer(*this);
    std::memcpy(buffer.data(), value.data(), std::min(value.size(), static_cast<size_t>(Size())));
    SetData(buffer.data());
}

Variant TBytesField::ReadAsVariant() const {
    if (IsNull()) return Variant::Null();
    return Variant(ReadAsString());
}

AnsiString TVarBytesField::ReadAsString() const {
    TValueBuffer buffer(*this);
    if (!GetData(buffer.data())) return AnsiString();
    uint16_t length;
    std::memcpy(&length, buffer.data(), 2);
    length = static_cast<uint16_t>(std::min<int>(length, Size()));
    return AnsiString(buffer.data() + 2, length);
}

void TVarBytesField::WriteAsString(const AnsiString& value) {
    TValueBuffer buffer(*this);
    uint16_t length = static_cast<uint16_t>(std::min(value.size(), static_cast<size_t>(Size())));
    std::memcpy(buffer.data(), &length, 2);
    std::memcpy(buffer.data() + 2, value.data(), length);
    SetData(buffer.data());
}

// ================================================================ blobs

TBlobField::TBlobField(TComponent* owner) : TField(owner) { SetDataType(ftBlob); }
TMemoField::TMemoField(TComponent* owner) : TBlobField(owner) { SetDataType(ftMemo); }
TGraphicField::TGraphicField(TComponent* owner) : TBlobField(owner) { SetDataType(ftGraphic); }

void TBlobField::Bind(const TFieldDef& def) {
    if (IsBlobType(def.DataType())) SetDataType(def.DataType());
    SetSize(def.Size());
}

Variant TBlobField::ReadAsVariant() const {
    if (IsNull()) return Variant::Null();
    return Variant(ReadBlobText());
}

int TBlobField::BlobSize() const {
    std::unique_ptr<TStream> stream = DataSet() ? DataSet()->OpenBlobStream(const_cast<TBlobField*>(this), bmRead)
                                                : nullptr;
    return stream ? static_cast<int>(stream->Size()) : 0;
}

void TBlobField::LoadFromStream(TStream& source) {
    AnsiString text(static_cast<size_t>(source.Size() - source.Position()), '\0');
    int64_t got = text.empty() ? 0 : source.StreamRead(text.data(), static_cast<int32_t>(text.size()));
    text.resize(static_cast<size_t>(got));
    WriteBlobText(text);
}

void TBlobField::SaveToStream(TStream& target) const {
    AnsiString text = ReadBlobText();
    if (!text.empty()) target.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

// ================================================================ objects

TObjectField::TObjectField(TComponent* owner) : TField(owner) {
    fields_ = std::make_unique<TFields>(nullptr, this);
}

TObjectField::~TObjectField() { fields_->RemoveAll(); }

TField* TObjectField::AddChild(std::unique_ptr<TField> field) {
    TField* raw = fields_->Add(std::move(field));
    raw->dataSet_ = DataSet();
    return raw;
}

Variant TObjectField::ReadAsVariant() const {
    std::vector<Variant> values;
    for (int i = 0; i < fields_->Count(); ++i) values.push_back(fields_->FieldAt(i)->ReadAsVariant());
    return Variant::ArrayOf(values);
}

AnsiString TObjectField::ReadAsString() const {
    switch (DataType()) {
    case ftArray: return "(Array)";
    case ftDataSet: return "(DataSet)";
    case ftReference: return "(Reference)";
    default: return "(ADT)";
    }
}

TADTField::TADTField(TComponent* owner) : TObjectField(owner) { SetDataType(ftADT); }
TArrayField::TArrayField(TComponent* owner) : TObjectField(owner) { SetDataType(ftArray); }
TDataSetField::TDataSetField(TComponent* owner) : TObjectField(owner) { SetDataType(ftDataSet); }
TDataSetField::~TDataSetField() {
    if (nestedDataSet_) nestedDataSet_->DataSetFieldGone(this);
}

TDataSet* TDataSetField::NestedDataSetOrNew() {
    if (nestedDataSet_ || !DataSet() || !DataSet()->NestedDataSetClass()) return nestedDataSet_;
    const TClassInfo& info = *DataSet()->NestedDataSetClass();
    if (!info.InheritsFrom(TDataSet::StaticClassInfo()))
        DatabaseError(info.ClassName() + " is not a dataset class");
    auto* nested = static_cast<TDataSet*>(info.CreateOwned(*DataSet()));
    nested->SetObjectView(true);
    nested->SetDataSetField(this);
    return nested;
}
TReferenceField::TReferenceField(TComponent* owner) : TDataSetField(owner) { SetDataType(ftReference); }

// ================================================================ class descriptions

const TClassInfo& TField::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TField", &TComponent::StaticClassInfo());
        i.Property("FieldName", &TField::FieldName, &TField::SetFieldName);
        i.WriteOnlyProperty("DisplayLabel", &TField::SetDisplayLabel);
        i.Property("Size", &TField::Size, &TField::SetSize);
        i.Property("Required", &TField::Required, &TField::SetRequired);
        i.Property("ReadOnly", &TField::ReadOnly, &TField::SetReadOnly);
        i.Property("Visible", &TField::Visible, &TField::SetVisible);
        i.EnumProperty("FieldKind", &TField::FieldKind, &TField::SetFieldKind,
                       {{"fkData", fkData}, {"fkCalculated", fkCalculated}, {"fkLookup", fkLookup},
                        {"fkInternalCalc", fkInternalCalc}});
        i.ComponentProperty("DataSet", &TField::BindToDataSet);
        return i;
    }();
    return info;
}

const TClassInfo& TStringField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TStringField>("TStringField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TIntegerField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TIntegerField>("TIntegerField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TSmallintField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TSmallintField>("TSmallintField", &TIntegerField::StaticClassInfo());
    return info;
}
const TClassInfo& TWordField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TWordField>("TWordField", &TIntegerField::StaticClassInfo());
    return info;
}
const TClassInfo& TAutoIncField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TAutoIncField>("TAutoIncField", &TIntegerField::StaticClassInfo());
    return info;
}
const TClassInfo& TLargeintField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TLargeintField>("TLargeintField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TFloatField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TFloatField>("TFloatField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TCurrencyField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TCurrencyField>("TCurrencyField", &TFloatField::StaticClassInfo());
    return info;
}
const TClassInfo& TBCDField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TBCDField>("TBCDField", &TFloatField::StaticClassInfo());
    return info;
}
const TClassInfo& TBooleanField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TBooleanField>("TBooleanField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TDateTimeField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TDateTimeField>("TDateTimeField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TDateField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TDateField>("TDateField", &TDateTimeField::StaticClassInfo());
    return info;
}
const TClassInfo& TTimeField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TTimeField>("TTimeField", &TDateTimeField::StaticClassInfo());
    return info;
}
const TClassInfo& TBytesField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TBytesField>("TBytesField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TVarBytesField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TVarBytesField>("TVarBytesField", &TBytesField::StaticClassInfo());
    return info;
}
const TClassInfo& TBlobField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TBlobField>("TBlobField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TMemoField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TMemoField>("TMemoField", &TBlobField::StaticClassInfo());
    return info;
}
const TClassInfo& TGraphicField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TGraphicField>("TGraphicField", &TBlobField::StaticClassInfo());
    return info;
}
const TClassInfo& TADTField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TADTField>("TADTField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TArrayField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TArrayField>("TArrayField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TDataSetField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TDataSetField>("TDataSetField", &TField::StaticClassInfo());
    return info;
}
const TClassInfo& TReferenceField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TReferenceField>("TReferenceField", &TDataSetField::StaticClassInfo());
    return info;
}

void RegisterFieldClasses() {
    RegisterComponentClass(TStringField::StaticClassInfo());
    RegisterComponentClass(TIntegerField::StaticClassInfo());
    RegisterComponentClass(TSmallintField::StaticClassInfo());
    RegisterComponentClass(TWordField::StaticClassInfo());
    RegisterComponentClass(TAutoIncField::StaticClassInfo());
    RegisterComponentClass(TLargeintField::StaticClassInfo());
    RegisterComponentClass(TFloatField::StaticClassInfo());
    RegisterComponentClass(TCurrencyField::StaticClassInfo());
    RegisterComponentClass(TBCDField::StaticClassInfo());
    RegisterComponentClass(TBooleanField::StaticClassInfo());
    RegisterComponentClass(TDateTimeField::StaticClassInfo());
    RegisterComponentClass(TDateField::StaticClassInfo());
    RegisterComponentClass(TTimeField::StaticClassInfo());
    RegisterComponentClass(TBytesField::StaticClassInfo());
    RegisterComponentClass(TVarBytesField::StaticClassInfo());
    RegisterComponentClass(TBlobField::StaticClassInfo());
    RegisterComponentClass(TMemoField::StaticClassInfo());
    RegisterComponentClass(TGraphicField::StaticClassInfo());
    RegisterComponentClass(TADTField::StaticClassInfo());
    RegisterComponentClass(TArrayField::StaticClassInfo());
    RegisterComponentClass(TDataSetField::StaticClassInfo());
    RegisterComponentClass(TReferenceField::StaticClassInfo());
}

// ================================================================ default classes

int NativeDataSize(TFieldType type, int size) {
    switch (type) {
    case ftString: case ftFixedChar: return size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: return 4;
    case ftLargeint: case ftFloat: case ftCurrency: case ftBCD: case ftDateTime: return 8;
    case ftBytes: return size;
    case ftVarBytes: return size + 2;
    default: return 0;
    }
}

std::unique_ptr<TField> DefaultFieldForType(TFieldType type) {
    std::unique_ptr<TField> field;
    switch (type) {
    case ftString: field = NewUnownedComponent<TStringField>(); break;
    case ftFixedChar: {
        auto f = NewUnownedComponent<TStringField>();
        f->SetFixedChar(true);
        field = std::move(f);
        break;
    }
    case ftSmallint: field = NewUnownedComponent<TSmallintField>(); break;
    case ftInteger: field = NewUnownedComponent<TIntegerField>(); break;
    case ftWord: field = NewUnownedComponent<TWordField>(); break;
    case ftAutoInc: field = NewUnownedComponent<TAutoIncField>(); break;
    case ftLargeint: field = NewUnownedComponent<TLargeintField>(); break;
    case ftBoolean: field = NewUnownedComponent<TBooleanField>(); break;
    case ftFloat: field = NewUnownedComponent<TFloatField>(); break;
    case ftCurrency: field = NewUnownedComponent<TCurrencyField>(); break;
    case ftBCD: field = NewUnownedComponent<TBCDField>(); break;
    case ftDate: field = NewUnownedComponent<TDateField>(); break;
    case ftTime: field = NewUnownedComponent<TTimeField>(); break;
    case ftDateTime: field = NewUnownedComponent<TDateTimeField>(); break;
    case ftBytes: field = NewUnownedComponent<TBytesField>(); break;
    case ftVarBytes: field = NewUnownedComponent<TVarBytesField>(); break;
    case ftMemo: case ftFmtMemo: case ftOraClob: {
        auto f = NewUnownedComponent<TMemoField>();
        f->SetBlobType(type);
        field = std::move(f);
        break;
    }
    case ftGraphic: field = NewUnownedComponent<TGraphicField>(); break;
    case ftBlob: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftOraBlob: {
        auto f = NewUnownedComponent<TBlobField>();
        f->SetBlobType(type);
        field = std::move(f);
        break;
    }
    case ftADT: field = NewUnownedComponent<TADTField>(); break;
    case ftArray: field = NewUnownedComponent<TArrayField>(); break;
    case ftDataSet: field = NewUnownedComponent<TDataSetField>(); break;
    case ftReference: field = NewUnownedComponent<TReferenceField>(); break;
    default: break;
    }
    return field;
}

}  // namespace platform
