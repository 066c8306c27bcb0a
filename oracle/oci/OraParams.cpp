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

// The texts of the parameters' own message identifiers.
}  // namespace

AnsiString OraMessage(int id) {
    switch (id) {
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
    static const TClassInfo info("TOraParam", &TParam::StaticClassInfo());
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

TOraParam* TOraParams::FindParam(const AnsiString& name) const {
    return static_cast<TOraParam*>(TParams::FindParam(name));
}

TOraParam& TOraParams::ParamByName(const AnsiString& name) const {
    return static_cast<TOraParam&>(TParams::ParamByName(name));
}

void TOraParams::ReleaseServerHandles() {
    for (int i = 0; i < Count(); ++i) Items(i).ReleaseServerHandles();
}

}  // namespace oracle
