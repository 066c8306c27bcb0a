#include "oracle/oci/OraParams.h"

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "oracle/core/DAError.h"
#include "oracle/core/MemDataSet.h"
#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OraDataTypes.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraObject.h"
#include "platform/Field.h"
#include "platform/Streams.h"

#include <cstring>

namespace oracle {

using namespace platform;

namespace {

// The value object a parameter of the type holds, or none.
TSharedObject* NewValueObject(TFieldType type) {
    switch (type) {
        case ftBlob: case ftMemo: return NewShared<TBlob>();
        case ftCursor: return NewShared<TOraCursor>();
        case ftADT: return NewShared<TOraObject>();
        case ftArray: return NewShared<TOraArray>();
        case ftReference: return NewShared<TOraRef>();
        case ftDataSet: return NewShared<TOraNestTable>();
        case ftOraBlob: case ftOraClob: return NewShared<TOraLob>();
        default: return type == FieldTypeBFile ? NewShared<TOraFile>() : nullptr;
    }
}

bool HasValueObject(TFieldType type) {
    switch (type) {
        case ftBlob: case ftMemo: case ftCursor: case ftADT: case ftArray: case ftReference: case ftDataSet:
        case ftOraBlob: case ftOraClob: return true;
        default: return type == FieldTypeBFile;
    }
}

}  // namespace

AnsiString OraMessage(int id) {
    switch (id) {
        case SObjectFieldExpected: return "Type of field should be Object";
        case SMissingDataSetField: return "Missing DataSetField property";
        case SUnsupportedDataType: return "Unsupported data type";
        case STypeCannotBeTable: return "This type cannot consist in table";
        case SUserTransactionInProgress: return "User transaction is already in progress";
        default: return LoadDAString(id);
    }
}

namespace {

bool IsStringType(TFieldType type) { return type == ftString || type == ftFixedChar; }

}  // namespace

// ================================================================ type mappings

TFieldType OraDataTypeToFieldType(TDataType code) {
    switch (code) {
        case dtCursor: return ftCursor;
        case dtOraBlob: return ftOraBlob;
        case dtOraClob: return ftOraClob;
        case dtBFile: return FieldTypeBFile;
        case dtLabel: return FieldTypeLabel;
        case dtFixedChar: return ftFixedChar;
        case 33: return ftUnknown;
        default: return FieldTypeForDataType(code);
    }
}

TDataType OraFieldTypeToDataType(TFieldType type) {
    if (type == FieldTypeBFile) return dtBFile;
    if (type == FieldTypeLabel) return dtLabel;
    switch (type) {
        case ftString: return dtString;
        case ftSmallint: case ftInteger: case ftWord: case ftLargeint: return dtInteger;
        case ftBoolean: return dtBoolean;
        case ftFloat: case ftCurrency: return dtFloat;
        case ftDate: case ftTime: case ftDateTime: return dtDateTime;
        case ftBlob: return dtBlob;
        case ftOraBlob: return dtOraBlob;
        case ftOraClob: return dtOraClob;
        case ftMemo: return dtMemo;
        case ftCursor: return dtCursor;
        case ftFixedChar: return dtFixedChar;
        case ftADT: return dtObject;
        case ftReference: return dtReference;
        case ftArray: return dtArray;
        case ftDataSet: return dtTable;
        default: return dtUnknown;
    }
}

// ================================================================ TOraParam

TOraParam::TOraParam(TCollection* collection) : TParam(collection) {}

TOraParam::~TOraParam() { ReleaseObject(valueObject_); }

const TClassInfo& TOraParam::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TOraParam", &TParam::StaticClassInfo());
        // The Oracle kinds beyond the framework's types are written by number (100, 101).
        i.EnumProperty("DataType", static_cast<TFieldType (TOraParam::*)() const>(&TOraParam::DataType),
                       &TOraParam::SetDataType, FieldTypeNames());
        i.Property("Size", &TOraParam::Size, static_cast<void (TOraParam::*)(int)>(&TOraParam::SetSize));
        i.Property("Table", &TOraParam::Table, &TOraParam::SetTable);
        i.Property("Length", &TOraParam::Length, &TOraParam::SetLength);
        i.Property("Value", &TOraParam::Value, &TOraParam::SetValue);
        i.EnumProperty("SubDataType", &TOraParam::SubDataType, &TOraParam::SetSubDataType,
                       {{"stNone", stNone}, {"stOraBlob", stOraBlob}, {"stOraClob", stOraClob}});
        return i;
    }();
    return info;
}

bool TOraParam::IsLobType(TFieldType type) {
    return type == ftBlob || type == ftMemo || type == ftOraBlob || type == ftOraClob || type == FieldTypeBFile;
}

bool TOraParam::IsObjectType(TFieldType type) { return type >= ftADT && type <= ftDataSet; }

void TOraParam::SyncValueObject() const {
    const TFieldType type = DataType();
    if (type == valueObjectType_ && (valueObject_ != nullptr) == HasValueObject(type)) return;
    ReleaseObject(std::exchange(valueObject_, nullptr));
    valueObjectType_ = type;
    valueObject_ = NewValueObject(type);
}

TSharedObject* TOraParam::ValueObject() const {
    SyncValueObject();
    return valueObject_;
}

void TOraParam::SetDataType(TFieldType type) {
    if (type == DataType() && type == valueObjectType_) return;
    TParam::SetDataType(type);
    SyncValueObject();
}

void TOraParam::SetSubDataType(TSubFieldType value) {
    if (value == subDataType_) return;
    if (value == stOraBlob) SetDataType(ftOraBlob);
    if (value == stOraClob) SetDataType(ftOraClob);
    subDataType_ = value;
}

int TOraParam::Size() const { return IsStringType(DataType()) ? TParam::Size() : 0; }

// ---------------------------------------------------------------- tables

void TOraParam::SetTable(bool value) {
    if (value == table_) return;
    if (value) {
        const TFieldType type = DataType();
        if (type != ftString && type != ftInteger && type != ftFloat && type != ftDateTime && type != ftFixedChar)
            throw Exception(OraMessage(STypeCannotBeTable));
    } else if (TParam::Value().IsArray()) {
        const Variant first = TParam::Value()[TParam::Value().LowBound()];
        TParam::SetValue(first);
    }
    table_ = value;
}

int TOraParam::Length() const {
    const Variant& value = TParam::Value();
    return value.IsArray() ? value.HighBound() : 1;
}

void TOraParam::SetLength(int value) {
    const Variant& current = TParam::Value();
    if (value > 1) {
        if (DataType() == ftUnknown) DADatabaseErrorFmt(SUnknownParamDataType, Name());
        if (current.IsArray()) {
            Variant resized = current;
            resized.Redim(value);
            TParam::SetValue(resized);
        } else {
            TParam::SetValue(Variant::Array(1, value));
        }
    } else if (current.IsArray()) {
        const Variant first = current[current.LowBound()];
        TParam::SetValue(first);
    }
}

// ---------------------------------------------------------------- values

TBlob* TOraParam::BlobValue() {
    if (DataType() == ftUnknown) SetDataType(ftBlob);
    return IsLobType(DataType()) ? static_cast<TBlob*>(ValueObject()) : nullptr;
}

TOraFile* TOraParam::BFileValue() {
    if (DataType() == ftUnknown) SetDataType(FieldTypeBFile);
    return DataType() == FieldTypeBFile ? static_cast<TOraFile*>(ValueObject()) : nullptr;
}

TOraObject* TOraParam::ObjectValue() {
    if (DataType() == ftUnknown) SetDataType(ftADT);
    return IsObjectType(DataType()) ? static_cast<TOraObject*>(ValueObject()) : nullptr;
}

TOraArray* TOraParam::ArrayValue() {
    if (DataType() == ftUnknown) SetDataType(ftArray);
    return DataType() == ftArray || DataType() == ftDataSet ? static_cast<TOraArray*>(ValueObject()) : nullptr;
}

TOraNestTable* TOraParam::NestTableValue() {
    if (DataType() == ftUnknown) SetDataType(ftDataSet);
    return DataType() == ftDataSet ? static_cast<TOraNestTable*>(ValueObject()) : nullptr;
}

Variant TOraParam::Value() const {
    if (IsLobType(DataType())) return Variant(ValueAsString());
    return TParam::Value();
}

void TOraParam::WriteLobText(const AnsiString& text) {
    auto* blob = static_cast<TBlob*>(ValueObject());
    blob->SetAsString(text);
    SetBound(true);
}

void TOraParam::SetValue(const Variant& value) {
    if (IsLobType(DataType())) {
        WriteLobText(value.IsClear() ? AnsiString() : value.AsString());
        return;
    }
    TParam::SetValue(value);
}

AnsiString TOraParam::ValueAsString() const {
    if (IsLobType(DataType())) return static_cast<TBlob*>(ValueObject())->AsString();
    return AsString();
}

void TOraParam::ClearValue() {
    if (IsLobType(DataType()))
        static_cast<TBlob*>(ValueObject())->Clear();
    else
        Clear();
}

bool TOraParam::ValueIsNull() const {
    if (IsLobType(DataType())) return static_cast<TBlob*>(ValueObject())->GetSize() == 0;
    if (IsStringType(DataType()) && !IsNull() && !TParam::Value().IsArray() && AsString().empty()) return true;
    return IsNull();
}

void TOraParam::AssignText(const AnsiString& text) {
    SetDataType(ftMemo);
    WriteLobText(text);
}

void TOraParam::ShareValueObject(TSharedObject* object) {
    if (object) object->AddRef();
    ReleaseObject(std::exchange(valueObject_, object));
    valueObjectType_ = DataType();
    TParam::SetValue(Variant(AnsiString("Object")));
}

void TOraParam::ReleaseServerHandles() {
    if (!valueObject_ || valueObjectType_ != DataType()) return;
    if (IsObjectType(DataType()))
        static_cast<TOraObject*>(valueObject_)->FreeObject();
    else if (DataType() == ftOraBlob || DataType() == ftOraClob)
        static_cast<TOraLob*>(valueObject_)->FreeLob();
}

// ---------------------------------------------------------------- copying

void TOraParam::CopyParam(const TParam& source) {
    SetDataType(source.DataType());
    if (source.IsNull() && !IsLobType(source.DataType())) {
        ClearValue();
    } else if (!IsLobType(DataType()) || dynamic_cast<const TOraParam*>(&source)) {
        TParam::SetValue(source.Value());
    } else {
        SetValue(source.Value());
    }
    SetName(source.Name());
    if (ParamType() == ptUnknown) SetParamType(source.ParamType());
    SetBound(source.Bound());
}

void TOraParam::CopyFromSource(const TPersistent* source) {
    if (const auto* param = dynamic_cast<const TOraParam*>(source)) {
        CopyParam(*param);
        SetSize(param->TParam::Size());
        table_ = param->table_;
        subDataType_ = param->subDataType_;
        // The copy shares the value object: a LOB written through one is seen through the other.
        if (param->ValueObject()) {
            const bool bound = param->Bound();
            ShareValueObject(param->ValueObject());
            if (!IsObjectType(DataType())) TParam::SetValue(param->TParam::Value());
            SetBound(bound);
        }
        return;
    }
    if (const auto* param = dynamic_cast<const TParam*>(source)) {
        CopyParam(*param);
        return;
    }
    if (const auto* field = dynamic_cast<const TField*>(source)) {
        AssignField(*field);
        return;
    }
    // An object that writes itself to a stream (a picture) becomes the bytes of a blob.
    if (auto* streamable = dynamic_cast<IStreamPersist*>(const_cast<TPersistent*>(source))) {
        if (DataType() != ftBlob && DataType() != ftMemo) throw Exception(OraMessage(SUnsupportedDataType));
        TMemoryStream stream;
        streamable->SaveToStream(stream);
        static_cast<TBlob*>(ValueObject())->LoadFromStream(stream);
        SetBound(true);
        return;
    }
    TParam::CopyFromSource(source);
}

void TOraParam::CopyToTarget(TPersistent& target) const {
    if (auto* field = dynamic_cast<TField*>(&target)) {
        field->WriteAsVariant(Value());
        return;
    }
    TParam::CopyToTarget(target);
}

void TOraParam::AssignField(const TField& field) {
    const Variant value = field.ReadAsVariant();
    TFieldType type = field.DataType();
    if (type == ftMemo && field.Size() > 255) type = ftString;
    SetDataType(type);
    if (value.IsClear())
        ClearValue();
    else
        SetValue(value);
    SetName(field.FieldName());
}

// ================================================================ TOraParams

TOraParams::TOraParams(TPersistent* owner) : TParams(owner, ItemsOf<TOraParam>()) {}

const TClassInfo& TOraParams::StaticClassInfo() {
    static const TClassInfo info("TOraParams", &TParams::StaticClassInfo());
    return info;
}

void TOraParams::DeclareStreamedValues(TStreamedValues& values) {
    TParams::DeclareStreamedValues(values);
    values.DefineBinary("Data", [this](const std::string& data) { ReadData(data); });
}

TOraParam* TOraParams::FindParam(const AnsiString& name) const {
    return static_cast<TOraParam*>(TParams::FindParam(name));
}

TOraParam& TOraParams::ParamByName(const AnsiString& name) const {
    return static_cast<TOraParam&>(TParams::ParamByName(name));
}

void TOraParams::ReleaseServerHandles() {
    for (int i = 0; i < Count(); ++i) Items(i).ReleaseServerHandles();
}

namespace {

// The largest value an entry of the stored form carries (texts: two bytes less).
constexpr size_t StoredDataLimit = 2048;
constexpr size_t StoredTextLimit = 2046;
// The most elements a stored PL/SQL table parameter is taken with.
constexpr uint32_t StoredLengthLimit = 65535;

// Little-endian reader of the stored form; running past the end is a stream read error.
class TStoredDataReader {
public:
    explicit TStoredDataReader(const std::string& data) : data_(data) {}
    uint32_t Number(size_t bytes) {
        Need(bytes);
        uint32_t value = 0;
        for (size_t i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(data_[pos_ + i])) << (8 * i);
        pos_ += bytes;
        return value;
    }
    std::string Bytes(size_t count) {
        Need(count);
        std::string bytes = data_.substr(pos_, count);
        pos_ += count;
        return bytes;
    }

private:
    void Need(size_t count) const {
        if (count > data_.size() - pos_) throw EReadError("Stream read error");
    }
    const std::string& data_;
    size_t pos_ = 0;
};

template <class T>
T FromBytes(const std::string& bytes) {
    if (bytes.size() != sizeof(T)) throw EReadError("Stream read error");
    T value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

// A value in the native form of its type.
Variant StoredValue(TFieldType type, const std::string& bytes) {
    switch (type) {
        case ftString: case ftFixedChar: return Variant(AnsiString(bytes));
        case ftSmallint: return Variant(static_cast<int32_t>(FromBytes<int16_t>(bytes)));
        case ftWord: return Variant(static_cast<int32_t>(FromBytes<uint16_t>(bytes)));
        case ftInteger: return Variant(FromBytes<int32_t>(bytes));
        case ftLargeint: return Variant(FromBytes<int64_t>(bytes));
        case ftBoolean: return Variant(FromBytes<int16_t>(bytes) != 0);
        case ftFloat: case ftCurrency: return Variant(FromBytes<double>(bytes));
        case ftDate: case ftTime: case ftDateTime: return Variant::FromDateTime(FromBytes<double>(bytes));
        default: return Variant(AnsiString(bytes));
    }
}

}  // namespace

void TOraParams::ReadData(const std::string& data) {
    TStoredDataReader reader(data);
    const uint32_t version = reader.Number(1);
    const uint32_t count = reader.Number(2);
    // An entry is always there: a block that says none is damaged, not empty.
    if (count == 0) throw EReadError("Stream read error");
    for (uint32_t entry = 0; entry < count; ++entry) {
        TOraParam& param = ParamByName(reader.Bytes(reader.Number(1)));
        param.SetDataType(OraDataTypeToFieldType(static_cast<TDataType>(reader.Number(2))));
        const TFieldType type = param.DataType();
        const bool text = type == ftString || type == ftFixedChar;
        if (type != ftUnknown && type != ftBlob && type != ftMemo && type != ftCursor) {
            if (text) param.SetSize(static_cast<int32_t>(reader.Number(4)));
            const size_t length = reader.Number(2);
            // The original reader copied into a fixed area of this size: longer is damage.
            if (length > (text ? StoredTextLimit : StoredDataLimit)) throw EReadError("Stream read error");
            const std::string bytes = reader.Bytes(length);
            if (!TOraParam::IsObjectType(type)) param.SetValue(StoredValue(type, bytes));
        }
        if (reader.Number(1) != 0) param.ClearValue();
        param.SetTable(reader.Number(1) != 0);
        const uint32_t length = reader.Number(4);
        // Elements are allocated at once: a damaged count must not exhaust the memory.
        if (length > StoredLengthLimit) throw EReadError("Stream read error");
        param.SetLength(static_cast<int32_t>(length));
        if (version >= 2) param.SetParamType(static_cast<TParamType>(reader.Number(1)));
    }
}

}  // namespace oracle
