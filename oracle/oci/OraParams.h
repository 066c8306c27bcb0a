// TOraParam: a bind variable of an Oracle statement or dataset. The platform's parameter
// plus a bind size for strings, PL/SQL table binding (the value is an array indexed from
// 1) and a shared value object for the kinds a variant cannot hold (LOBs, files, cursors,
// objects, arrays, references, nested tables). TOraParams is their collection. Also the
// two mappings between record-store data type codes and field types the Oracle
// components use.
#pragma once

#include <cstdint>
#include <string>

#include "oracle/core/DataTypes.h"
#include "platform/Params.h"
#include "platform/StringList.h"

namespace oracle {

class TSharedObject;
class TBlob;
class TOraFile;
class TOraObject;
class TOraArray;
class TOraNestTable;

// Field types of the Oracle components beyond the framework's.
inline constexpr platform::TFieldType FieldTypeBFile = static_cast<platform::TFieldType>(100);
inline constexpr platform::TFieldType FieldTypeLabel = static_cast<platform::TFieldType>(101);

enum TSubFieldType : uint8_t { stNone, stOraBlob, stOraClob };

// Message identifiers of the Oracle components' texts.
inline constexpr int SObjectFieldExpected = 65171;
inline constexpr int SMissingDataSetField = 65172;
inline constexpr int SUnsupportedDataType = 65185;
inline constexpr int STypeCannotBeTable = 65187;
inline constexpr int SUserTransactionInProgress = 65311;
// The text of a message identifier of the Oracle components (else the layer's table).
platform::AnsiString OraMessage(int id);

platform::TFieldType OraDataTypeToFieldType(TDataType code);
TDataType OraFieldTypeToDataType(platform::TFieldType type);

class TOraParam : public platform::TParam {
public:
    explicit TOraParam(platform::TCollection* collection);
    ~TOraParam() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // Changing the type releases the old value object and makes the new type's one.
    void SetDataType(platform::TFieldType type);
    TSubFieldType SubDataType() const { return subDataType_; }
    void SetSubDataType(TSubFieldType value);
    // Read back as 0 for types other than strings.
    int Size() const;
    bool Table() const { return table_; }
    void SetTable(bool value);
    int Length() const;
    void SetLength(int value);

    // LOB types: the value object's content as text.
    platform::Variant Value() const;
    void SetValue(const platform::Variant& value) override;
    platform::AnsiString ValueAsString() const;
    void ClearValue();
    bool ValueIsNull() const;
    void AssignText(const platform::AnsiString& text);

    // The value object, or none for types that keep their value in the variant.
    TSharedObject* ValueObject() const;
    TBlob* BlobValue();
    TOraFile* BFileValue();
    TOraObject* ObjectValue();
    TOraArray* ArrayValue();
    TOraNestTable* NestTableValue();
    // Takes a reference to the object; the parameter then counts as bound and not null.
    void ShareValueObject(TSharedObject* object);
    // Server-side instances and LOB locators go before the session disconnects.
    void ReleaseServerHandles();

    void CopyFromSource(const platform::TPersistent* source) override;
    void CopyToTarget(platform::TPersistent& target) const override;
    void AssignField(const platform::TField& field);

    static bool IsLobType(platform::TFieldType type);
    static bool IsObjectType(platform::TFieldType type);

private:
    // Brings the value object in line with the type, which the base may have set alone.
    void SyncValueObject() const;
    void CopyParam(const platform::TParam& source);
    void WriteLobText(const platform::AnsiString& text);

    bool table_ = false;
    TSubFieldType subDataType_ = stNone;
    mutable TSharedObject* valueObject_ = nullptr;
    mutable platform::TFieldType valueObjectType_ = platform::ftUnknown;
};

class TOraParams : public platform::TParams {
public:
    explicit TOraParams(platform::TPersistent* owner = nullptr);
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TOraParam& Items(int index) const { return static_cast<TOraParam&>(Item(index)); }
    TOraParam* FindParam(const platform::AnsiString& name) const;
    TOraParam& ParamByName(const platform::AnsiString& name) const;
    void ReleaseServerHandles();
    // Reads the parameter values of an older form description (its binary value "Data");
    // the collection never writes it. A short or malformed block raises EReadError.
    void ReadData(const std::string& data);
    // "Data": read only, for older form descriptions.
    void DeclareStreamedValues(platform::TStreamedValues& values) override;
};

}  // namespace oracle
