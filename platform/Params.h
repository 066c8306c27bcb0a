// Parameters of a statement or query: name, field type, direction and value. The
// Oracle library's statements and datasets keep their bind values in a TParams and
// derive their own parameter class from TParam.
#pragma once

#include "platform/Classes.h"
#include "platform/DataSetTypes.h"
#include "platform/Variant.h"

namespace platform {

class TField;
class TParams;

enum TParamType : int { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParam : public TCollectionItem {
public:
    explicit TParam(TCollection* collection);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    const AnsiString& Name() const { return name_; }
    void SetName(const AnsiString& name) { name_ = name; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type);
    TParamType ParamType() const { return paramType_; }
    void SetParamType(TParamType type) { paramType_ = type; }
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }

    // The value; setting it binds the parameter and, while the type is unknown, gives
    // it the type of the value.
    const Variant& Value() const { return value_; }
    virtual void SetValue(const Variant& value);
    bool IsNull() const { return value_.IsClear(); }
    // A value (or null) was set since the last Clear.
    bool Bound() const { return bound_; }
    void SetBound(bool value) { bound_ = value; }
    // Null, unbound; the type stays.
    void Clear();

    AnsiString AsString() const { return value_.IsClear() ? AnsiString() : value_.AsString(); }
    void SetAsString(const AnsiString& v) { SetTypedValue(ftString, Variant(v)); }
    int32_t AsInteger() const { return value_.IsClear() ? 0 : value_.AsInteger(); }
    void SetAsInteger(int32_t v) { SetTypedValue(ftInteger, Variant(v)); }
    double AsFloat() const { return value_.IsClear() ? 0 : value_.AsDouble(); }
    void SetAsFloat(double v) { SetTypedValue(ftFloat, Variant(v)); }
    bool AsBoolean() const { return !value_.IsClear() && value_.AsBoolean(); }
    void SetAsBoolean(bool v) { SetTypedValue(ftBoolean, Variant(v)); }
    TDateTime AsDateTime() const { return value_.IsClear() ? 0 : value_.AsDateTime(); }
    void SetAsDateTime(TDateTime v) { SetTypedValue(ftDateTime, Variant::FromDateTime(v)); }

    // Name, type and value of a field.
    void AssignField(const TField& field);
    // Value and type of a field, keeping the parameter's name.
    void AssignFieldValue(const TField& field, const Variant& value);
    // Takes name, type, direction, size and value of another parameter.
    void CopyFromSource(const TPersistent* source) override;
    AnsiString ItemDisplayName() const override { return name_.empty() ? ClassName() : name_; }

protected:
    void SetTypedValue(TFieldType type, const Variant& value);

private:
    AnsiString name_;
    TFieldType dataType_ = ftUnknown;
    TParamType paramType_ = ptUnknown;
    int size_ = 0;
    Variant value_ = Variant::Null();
    bool bound_ = false;
};

class TParams : public TOwnedCollection {
public:
    // owner: the statement or dataset holding the parameters; factory: the item class.
    explicit TParams(TPersistent* owner = nullptr, ItemFactory factory = ItemsOf<TParam>());
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TParam& Items(int index) const { return static_cast<TParam&>(Item(index)); }
    TParam& AddParam() { return static_cast<TParam&>(Add()); }
    TParam& CreateParam(TFieldType type, const AnsiString& name, TParamType paramType);
    // Case-insensitive; none when absent.
    TParam* FindParam(const AnsiString& name) const;
    // Raises "Parameter '%s' not found".
    TParam& ParamByName(const AnsiString& name) const;
    // Copies the values (and types) of same-named parameters of `source`.
    void AssignValues(const TParams& source);
    // Values of the named parameters (";"-separated): one value or an array.
    Variant ParamValues(const AnsiString& names) const;
    void SetParamValues(const AnsiString& names, const Variant& values);
};

}  // namespace platform
