// Field classes of the Oracle components' own column kinds (cursors, BFILEs, nested
// tables, REFs, PL/SQL labels) and the table that picks the field class for a field
// type. The Oracle dataset builds its default fields through OraFieldForType; the
// session unit registers the classes for form descriptions.
#pragma once

#include <memory>

#include "oracle/oci/OraParams.h"
#include "platform/Field.h"

namespace oracle {

// A column holding a cursor the server opened.
class TCursorField : public platform::TField {
public:
    explicit TCursorField(platform::TComponent* owner = nullptr);
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

// A BFILE column: a locator of a file on the server, shown but never written.
class TBFileField : public platform::TBlobField {
public:
    explicit TBFileField(platform::TComponent* owner = nullptr);
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    bool AutoRefresh() const { return autoRefresh_; }
    void SetAutoRefresh(bool value) { autoRefresh_ = value; }
    bool FieldIsModifiable() const override { return false; }
    platform::AnsiString FieldClassDescription() const override;
    // Read as a plain blob; whatever is written, the field stays a BFILE.
    platform::TFieldType BlobType() const override { return platform::ftBlob; }
    void SetBlobType(platform::TFieldType type) override;

private:
    bool autoRefresh_ = true;
};

class TOraDataSetField : public platform::TDataSetField {
public:
    explicit TOraDataSetField(platform::TComponent* owner = nullptr) : TDataSetField(owner) {}
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    // "(DataSet)", upper-cased when the field holds a nested table.
    platform::AnsiString ReadAsString() const override;
};

class TOraReferenceField : public platform::TReferenceField {
public:
    explicit TOraReferenceField(platform::TComponent* owner = nullptr) : TReferenceField(owner) {}
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    // "(Reference)", upper-cased when the field holds a REF.
    platform::AnsiString ReadAsString() const override;
};

// A PL/SQL label: it has no value a program could use.
class TLabelField : public platform::TField {
public:
    explicit TLabelField(platform::TComponent* owner = nullptr);
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    platform::Variant ReadAsVariant() const override { return platform::Variant::Null(); }
};

// A new field of the class the Oracle components use for a field type (framework types
// and FieldTypeBFile, FieldTypeLabel); none for types without a class.
std::unique_ptr<platform::TField> OraFieldForType(platform::TFieldType type);

// The class registry entries of TCursorField, TBFileField, TOraDataSetField and
// TOraReferenceField (module start of a program, not of a shared library).
void RegisterOraFieldClasses();
void UnregisterOraFieldClasses();

}  // namespace oracle
