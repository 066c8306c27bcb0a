// The TField family: one column of a dataset's current record, read and written through
// the dataset's ReadFieldData / StoreFieldData in the field's native buffer form, and
// converted to and from text, numbers, dates, booleans and variants. Used by every
// dataset caller (ReadAsString, WriteAsInteger...) and by the libraries' own field classes.
//
// Native buffer forms: string zero-terminated (Size + 1 bytes); smallint int16, word
// uint16, integer int32, largeint int64; boolean int16 0 / -1; float, currency and BCD
// double; date int32 day number (1 = 1 January of year 1); time int32 milliseconds of
// the day; date-time double milliseconds (day number x 86400000 + milliseconds); bytes
// Size bytes; var-bytes a uint16 length then Size bytes; blobs through blob streams.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/Classes.h"
#include "platform/DataSetTypes.h"
#include "platform/DateTime.h"
#include "platform/Variant.h"

namespace platform {

class TDataSet;
class TFieldDef;
class TFields;
class TStream;

class TField : public TComponent {
public:
    using TFieldNotifyEvent = std::function<void(TField&)>;

    explicit TField(TComponent* owner = nullptr);
    ~TField() override;
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // ---- identity ----
    const AnsiString& FieldName() const { return fieldName_; }
    void SetFieldName(const AnsiString& name);
    AnsiString DisplayName() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(const AnsiString& label) { displayLabel_ = label; }
    // Storage field number (from 1), 0 for calculated and lookup fields.
    int FieldNo() const { return fieldNo_; }
    TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind kind);
    bool IsCalculated() const { return fieldKind_ == fkCalculated || fieldKind_ == fkLookup; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    void SetSize(int size);
    // Bytes of the native buffer form.
    virtual int DataSize() const { return 0; }
    virtual bool IsBlob() const { return false; }
    // Offset of the field's slot (has-value byte, then value) in the calculated area.
    int Offset() const { return offset_; }
    int Index() const;

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    bool Required() const { return required_; }
    void SetRequired(bool value) { required_ = value; }
    bool Visible() const { return visible_; }
    void SetVisible(bool value) { visible_ = value; }
    const AnsiString& DefaultExpression() const { return defaultExpression_; }
    void SetDefaultExpression(const AnsiString& value) { defaultExpression_ = value; }
    const AnsiString& Origin() const { return origin_; }
    void SetOrigin(const AnsiString& value) { origin_ = value; }
    TAutoRefreshFlag AutoGenerateValue() const { return autoGenerate_; }
    void SetAutoGenerateValue(TAutoRefreshFlag value) { autoGenerate_ = value; }

    // Lookup fields: value of LookupResultField in LookupDataSet where LookupKeyFields
    // equal this dataset's KeyFields.
    TDataSet* LookupDataSet() const { return lookupDataSet_; }
    void SetLookupDataSet(TDataSet* ds) { lookupDataSet_ = ds; }
    AnsiString KeyFields, LookupKeyFields, LookupResultField;

    // ---- dataset ----
    TDataSet* DataSet() const { return dataSet_; }
    // Attach to a dataset (appended to its field list) or detach (null); the dataset
    // must be closed.
    void BindToDataSet(TDataSet* dataSet);
    // The object or array field this field is a member of, none at the top level.
    class TObjectField* ParentField() const { return parentField_; }

    // ---- values ----
    bool IsNull() const;
    void Clear() { SetData(nullptr); }
    // Native form of the value; false when null.
    bool GetData(void* buffer) const;
    void SetData(const void* buffer);

    virtual AnsiString ReadAsString() const;
    virtual void WriteAsString(const AnsiString& value);
    virtual int32_t ReadAsInteger() const;
    virtual void WriteAsInteger(int32_t value);
    virtual int64_t ReadAsLargeInt() const;
    virtual void WriteAsLargeInt(int64_t value);
    virtual double ReadAsFloat() const;
    virtual void WriteAsFloat(double value);
    virtual bool ReadAsBoolean() const;
    virtual void WriteAsBoolean(bool value);
    virtual TDateTime ReadAsDateTime() const;
    virtual void WriteAsDateTime(TDateTime value);
    // Null when the field is null.
    virtual Variant ReadAsVariant() const;
    // Null or empty clears the field; other values go through the typed writers.
    virtual void WriteAsVariant(const Variant& value);
    Variant Value() const { return ReadAsVariant(); }
    void SetValue(const Variant& value) { WriteAsVariant(value); }
    Variant OldValue() const;
    Variant NewValue() const;

    // Checks a native value before the dataset stores it (range checks, OnValidate).
    virtual void Validate(const void* buffer);
    // The field's value changed (OnChange).
    virtual void Change();
    // Blob fields: the value was written through a stream in this record.
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    // Text converted between the storage's and the program's code page.
    bool Transliterate() const { return transliterate_; }
    void SetTransliterate(bool value) { transliterate_ = value; }
    // False for field classes whose values the program never writes (they only show
    // what the server holds); every write through the field is then refused.
    virtual bool FieldIsModifiable() const { return true; }
    // The class's kind in parentheses ("(Blob)" for TBlobField), upper-cased when the
    // field holds a value: what is shown for values without a text form.
    virtual AnsiString FieldClassDescription() const;

    TFieldNotifyEvent OnValidate, OnChange;

protected:
    // Subclasses fix their type; a field bound to a definition of a related type
    // (smallint under an integer field) adopts it in Bind.
    void SetDataType(TFieldType type) { dataType_ = type; }
    // A field adopts what it needs from its definition when the dataset opens.
    virtual void Bind(const TFieldDef& def);
    [[noreturn]] void AccessError(const char* typeName) const;
    // Blob helpers for the blob family.
    AnsiString ReadBlobText() const;
    void WriteBlobText(const AnsiString& value);

private:
    friend class TDataSet;
    friend class TFields;
    friend class TObjectField;

    AnsiString fieldName_;
    AnsiString displayLabel_;
    int fieldNo_ = 0;
    TFieldKind fieldKind_ = fkData;
    TFieldType dataType_ = ftUnknown;
    int size_ = 0;
    int offset_ = 0;
    bool readOnly_ = false;
    bool required_ = false;
    bool visible_ = true;
    bool modified_ = false;
    bool transliterate_ = true;
    AnsiString defaultExpression_;
    AnsiString origin_;
    TAutoRefreshFlag autoGenerate_ = arNone;
    TDataSet* lookupDataSet_ = nullptr;
    TDataSet* dataSet_ = nullptr;
    TObjectField* parentField_ = nullptr;
    TFields* fieldList_ = nullptr;  // the list the field stands in
};

// The ordered field list of a dataset or of an object field. It holds the fields; fields
// created by a component owner are taken out of the list when that owner frees them.
class TFields {
public:
    explicit TFields(TDataSet* dataSet, TObjectField* parent = nullptr)
        : dataSet_(dataSet), parent_(parent) {}
    ~TFields();
    TFields(const TFields&) = delete;
    TFields& operator=(const TFields&) = delete;

    int Count() const { return static_cast<int>(list_.size()); }
    // Field at a 0-based position; raises "Field index out of range" outside.
    TField* FieldAt(int index) const;
    TField* FindField(const AnsiString& name) const;
    TField* FieldByNumber(int fieldNo) const;
    int IndexOf(const TField* field) const;
    // Appends a field owned by this list (or by its component owner, when it has one).
    TField* Add(std::unique_ptr<TField> field);
    // Frees every field object of the list.
    void RemoveAll();
    TDataSet* DataSet() const { return dataSet_; }

private:
    friend class TField;
    friend class TObjectField;
    void Insert(TField* field);  // a field joins (owned elsewhere)
    void Remove(TField* field);  // a field leaves (freed or detached)
    void Join(TField* field);

    TDataSet* dataSet_;
    TObjectField* parent_;
    std::vector<TField*> list_;
    std::vector<std::unique_ptr<TField>> owned_;
};

// ---- text ----
class TStringField : public TField {
public:
    explicit TStringField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    int DataSize() const override { return Size() + 1; }
    bool FixedChar() const { return DataType() == ftFixedChar; }
    void SetFixedChar(bool value) { SetDataType(value ? ftFixedChar : ftString); }
    AnsiString ReadAsString() const override;
    void WriteAsString(const AnsiString& value) override;
    int32_t ReadAsInteger() const override;
    void WriteAsInteger(int32_t value) override { WriteAsString(IntToStr(value)); }
    int64_t ReadAsLargeInt() const override;
    void WriteAsLargeInt(int64_t value) override { WriteAsString(IntToStr(value)); }
    double ReadAsFloat() const override;
    void WriteAsFloat(double value) override;
    bool ReadAsBoolean() const override;
    void WriteAsBoolean(bool value) override { WriteAsString(value ? "T" : "F"); }
    TDateTime ReadAsDateTime() const override;
    void WriteAsDateTime(TDateTime value) override { WriteAsString(DateTimeToStr(value)); }
    Variant ReadAsVariant() const override;

protected:
    void Bind(const TFieldDef& def) override;
};

// ---- numbers ----
class TNumericField : public TField {
public:
    using TField::TField;
    int Precision() const { return precision_; }
    void SetPrecision(int value) { precision_ = value; }
    void WriteAsString(const AnsiString& value) override;

protected:
    int precision_ = 0;
};

// Integer kinds: smallint, word, integer and auto-increment share it; the native width
// follows the definition the field is bound to.
class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    int DataSize() const override;
    int32_t MinValue() const { return minValue_; }
    int32_t MaxValue() const { return maxValue_; }
    // min = max = 0: no range check.
    void SetRange(int32_t minValue, int32_t maxValue) { minValue_ = minValue; maxValue_ = maxValue; }
    AnsiString ReadAsString() const override;
    int32_t ReadAsInteger() const override;
    void WriteAsInteger(int32_t value) override;
    int64_t ReadAsLargeInt() const override { return ReadAsInteger(); }
    void WriteAsLargeInt(int64_t value) override;
    double ReadAsFloat() const override { return ReadAsInteger(); }
    void WriteAsFloat(double value) override;
    bool ReadAsBoolean() const override { return ReadAsInteger() != 0; }
    void WriteAsBoolean(bool value) override { WriteAsInteger(value ? 1 : 0); }
    Variant ReadAsVariant() const override;
    void Validate(const void* buffer) override;

protected:
    void Bind(const TFieldDef& def) override;
    bool ReadValue(int32_t& value) const;

private:
    int32_t minValue_ = 0;
    int32_t maxValue_ = 0;
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};
class TWordField : public TIntegerField {
public:
    explicit TWordField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};
class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

class TLargeintField : public TNumericField {
public:
    explicit TLargeintField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    int DataSize() const override { return 8; }
    AnsiString ReadAsString() const override;
    int32_t ReadAsInteger() const override;
    void WriteAsInteger(int32_t value) override { WriteAsLargeInt(value); }
    int64_t ReadAsLargeInt() const override;
    void WriteAsLargeInt(int64_t value) override;
    double ReadAsFloat() const override { return static_cast<double>(ReadAsLargeInt()); }
    void WriteAsFloat(double value) override;
    Variant ReadAsVariant() const override;
};

// Float kinds: float, currency and BCD keep a double.
class TFloatField : public TNumericField {
public:
    explicit TFloatField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    int DataSize() const override { return 8; }
    double MinValue() const { return minValue_; }
    double MaxValue() const { return maxValue_; }
    void SetRange(double minValue, double maxValue) { minValue_ = minValue; maxValue_ = maxValue; }
    AnsiString ReadAsString() const override;
    int32_t ReadAsInteger() const override;
    void WriteAsInteger(int32_t value) override { WriteAsFloat(value); }
    int64_t ReadAsLargeInt() const override;
    void WriteAsLargeInt(int64_t value) override { WriteAsFloat(static_cast<double>(value)); }
    double ReadAsFloat() const override;
    void WriteAsFloat(double value) override;
    Variant ReadAsVariant() const override;
    void Validate(const void* buffer) override;

protected:
    void Bind(const TFieldDef& def) override;

private:
    double minValue_ = 0;
    double maxValue_ = 0;
};
class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};
class TBCDField : public TFloatField {
public:
    explicit TBCDField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

class TBooleanField : public TField {
public:
    explicit TBooleanField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    int DataSize() const override { return 2; }
    AnsiString ReadAsString() const override;
    // "T", "True", "Y", "Yes", "1" and "F", "False", "N", "No", "0" (any case); "" is null.
    void WriteAsString(const AnsiString& value) override;
    bool ReadAsBoolean() const override;
    void WriteAsBoolean(bool value) override;
    int32_t ReadAsInteger() const override { return ReadAsBoolean() ? 1 : 0; }
    void WriteAsInteger(int32_t value) override { WriteAsBoolean(value != 0); }
    Variant ReadAsVariant() const override;
};

// Date, time and date-time: the native forms differ, the program sees a TDateTime.
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    int DataSize() const override;
    void Bind(const TFieldDef& def) override;
    AnsiString ReadAsString() const override;
    void WriteAsString(const AnsiString& value) override;
    TDateTime ReadAsDateTime() const override;
    void WriteAsDateTime(TDateTime value) override;
    double ReadAsFloat() const override { return ReadAsDateTime(); }
    void WriteAsFloat(double value) override { WriteAsDateTime(value); }
    Variant ReadAsVariant() const override;
};
class TDateField : public TDateTimeField {
public:
    explicit TDateField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};
class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

// Raw bytes; the value is a text holding them.
class TBytesField : public TField {
public:
    explicit TBytesField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    int DataSize() const override { return Size(); }
    AnsiString ReadAsString() const override;
    void WriteAsString(const AnsiString& value) override;
    Variant ReadAsVariant() const override;

protected:
    void Bind(const TFieldDef& def) override;
};
class TVarBytesField : public TBytesField {
public:
    explicit TVarBytesField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    int DataSize() const override { return Size() + 2; }
    AnsiString ReadAsString() const override;
    void WriteAsString(const AnsiString& value) override;
};

// Blob kinds: the value goes through the dataset's OpenBlobStream.
class TBlobField : public TField {
public:
    explicit TBlobField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    bool IsBlob() const override { return true; }
    virtual TFieldType BlobType() const { return DataType(); }
    virtual void SetBlobType(TFieldType type) { SetDataType(type); }
    // Whole value as bytes; empty when null.
    AnsiString ReadAsString() const override { return ReadBlobText(); }
    void WriteAsString(const AnsiString& value) override { WriteBlobText(value); }
    Variant ReadAsVariant() const override;
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    int BlobSize() const;

protected:
    void Bind(const TFieldDef& def) override;
};
class TMemoField : public TBlobField {
public:
    explicit TMemoField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};
class TGraphicField : public TBlobField {
public:
    explicit TGraphicField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

// Object kinds: a field made of member fields (ADT), of elements (array), a nested
// dataset, or a reference to an object.
class TObjectField : public TField {
public:
    explicit TObjectField(TComponent* owner = nullptr);
    ~TObjectField() override;
    TFields& Fields() { return *fields_; }
    const AnsiString& ObjectType() const { return objectType_; }
    void SetObjectType(const AnsiString& value) { objectType_ = value; }
    // Member fields join through here (they are owned by this field's list).
    TField* AddChild(std::unique_ptr<TField> field);
    Variant ReadAsVariant() const override;
    AnsiString ReadAsString() const override;

private:
    std::unique_ptr<TFields> fields_;
    AnsiString objectType_;
};
class TADTField : public TObjectField {
public:
    explicit TADTField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};
class TArrayField : public TObjectField {
public:
    explicit TArrayField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};
class TDataSetField : public TObjectField {
public:
    explicit TDataSetField(TComponent* owner = nullptr);
    // A nested dataset showing this field's rows is closed and loses its field.
    ~TDataSetField() override;
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    TDataSet* NestedDataSet() const { return nestedDataSet_; }
    void SetNestedDataSet(TDataSet* ds) { nestedDataSet_ = ds; }
    // The nested dataset; when there is none yet, one of the dataset's nested-dataset class
    // is made (owned by the dataset, object view on) and shows this field's rows. None
    // when the dataset names no such class.
    TDataSet* NestedDataSetOrNew();

private:
    TDataSet* nestedDataSet_ = nullptr;
};
class TReferenceField : public TDataSetField {
public:
    explicit TReferenceField(TComponent* owner = nullptr);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    int DataSize() const override { return static_cast<int>(sizeof(void*)); }
};

// Makes the field classes known to form descriptions (module start of the programs
// whose forms declare persistent fields).
void RegisterFieldClasses();

// Bytes of the native form of a storage column of this type and size; 0 when the
// form is not a plain buffer (blobs, objects).
int NativeDataSize(TFieldType type, int size);

// The field class the framework uses for a field type (none for types without one).
std::unique_ptr<TField> DefaultFieldForType(TFieldType type);

}  // namespace platform
