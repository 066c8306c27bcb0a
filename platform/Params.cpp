#include "platform/Params.h"

#include "platform/Field.h"

namespace platform {

namespace {

TFieldType FieldTypeForVariant(const Variant& value) {
    switch (value.VarType()) {
    case varSmallint: case varShortInt: case varByte: return ftSmallint;
    case varWord: return ftWord;
    case varInteger: case varLongWord: return ftInteger;
    case varInt64: return ftLargeint;
    case varSingle: case varDouble: return ftFloat;
    case varCurrency: return ftCurrency;
    case varDate: return ftDateTime;
    case varBoolean: return ftBoolean;
    case varString: return ftString;
    default: return ftUnknown;
    }
}

}  // namespace

// ================================================================ TParam

TParam::TParam(TCollection* collection) : TCollectionItem(collection) {}

const TClassInfo& TParam::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TParam", &TCollectionItem::StaticClassInfo());
        i.Property("Name", &TParam::Name, &TParam::SetName);
        i.EnumProperty("DataType", &TParam::DataType, &TParam::SetDataType, FieldTypeNames());
        i.EnumProperty("ParamType", &TParam::ParamType, &TParam::SetParamType,
                       {{"ptUnknown", ptUnknown}, {"ptInput", ptInput}, {"ptOutput", ptOutput},
                        {"ptInputOutput", ptInputOutput}, {"ptResult", ptResult}});
        i.Property("Size", &TParam::Size, &TParam::SetSize);
        i.Property("Value", &TParam::Value, &TParam::SetValue);
        return i;
    }();
    return info;
}

void TParam::SetDataType(TFieldType type) {
    dataType_ = type;
    Changed(false);
}

void TParam::SetValue(const Variant& value) {
    if (dataType_ == ftUnknown) dataType_ = FieldTypeForVariant(value);
    value_ = value;
    bound_ = true;
    Changed(false);
}

void TParam::SetTypedValue(TFieldType type, const Variant& value) {
    dataType_ = type;
    value_ = value;
    bound_ = true;
    Changed(false);
}

void TParam::Clear() {
    value_ = Variant::Null();
    bound_ = false;
}

void TParam::AssignField(const TField& field) {
    name_ = field.FieldName();
    AssignFieldValue(field, field.ReadAsVariant());
}

void TParam::AssignFieldValue(const TField& field, const Variant& value) {
    dataType_ = field.DataType();
    if (field.DataType() == ftString || field.DataType() == ftFixedChar) size_ = field.Size();
    value_ = value;
    bound_ = true;
    Changed(false);
}

void TParam::CopyFromSource(const TPersistent* source) {
    const auto* param = dynamic_cast<const TParam*>(source);
    if (!param) {
        TCollectionItem::CopyFromSource(source);
        return;
    }
    name_ = param->name_;
    dataType_ = param->dataType_;
    paramType_ = param->paramType_;
    size_ = param->size_;
    value_ = param->value_;
    bound_ = param->bound_;
    Changed(false);
}

// ================================================================ TParams

TParams::TParams(TPersistent* owner, ItemFactory factory) : TOwnedCollection(owner, std::move(factory)) {}

const TClassInfo& TParams::StaticClassInfo() {
    static const TClassInfo info("TParams", &TCollection::StaticClassInfo());
    return info;
}

TParam& TParams::CreateParam(TFieldType type, const AnsiString& name, TParamType paramType) {
    TParam& param = AddParam();
    param.SetName(name);
    param.SetDataType(type);
    param.SetParamType(paramType);
    return param;
}

TParam* TParams::FindParam(const AnsiString& name) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(Items(i).Name(), name)) return &Items(i);
    return nullptr;
}

TParam& TParams::ParamByName(const AnsiString& name) const {
    TParam* param = FindParam(name);
    if (!param) DatabaseError("Parameter '" + name + "' not found");
    return *param;
}

void TParams::AssignValues(const TParams& source) {
    BeginUpdate();
    try {
        for (int i = 0; i < source.Count(); ++i) {
            const TParam& from = source.Items(i);
            if (TParam* to = FindParam(from.Name())) {
                to->SetDataType(from.DataType());
                to->SetValue(from.Value());
                to->SetBound(from.Bound());
            }
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

Variant TParams::ParamValues(const AnsiString& names) const {
    std::vector<AnsiString> list = SplitFieldNames(names);
    if (list.size() == 1) return ParamByName(list[0]).Value();
    std::vector<Variant> values;
    for (const AnsiString& name : list) values.push_back(ParamByName(name).Value());
    return Variant::ArrayOf(values);
}

void TParams::SetParamValues(const AnsiString& names, const Variant& values) {
    std::vector<AnsiString> list = SplitFieldNames(names);
    if (list.size() == 1 && !values.IsArray()) {
        ParamByName(list[0]).SetValue(values);
        return;
    }
    for (size_t i = 0; i < list.size(); ++i)
        ParamByName(list[i]).SetValue(values[values.LowBound() + static_cast<int>(i)]);
}

}  // namespace platform
