#include "oracle/oci/OraFields.h"

namespace oracle {

using namespace platform;

TCursorField::TCursorField(TComponent* owner) : TField(owner) { SetDataType(ftCursor); }

TBFileField::TBFileField(TComponent* owner) : TBlobField(owner) { SetDataType(FieldTypeBFile); }

AnsiString TBFileField::FieldClassDescription() const {
    // DataSet() first: a field without a dataset holds nothing.
    return DataSet() && !IsNull() ? "(BFILE)" : "(BFile)";
}

void TBFileField::SetBlobType(TFieldType) {
    TBlobField::SetBlobType(ftBlob);
    SetDataType(FieldTypeBFile);
}

AnsiString TOraDataSetField::ReadAsString() const { return IsNull() ? "(DataSet)" : "(DATASET)"; }

AnsiString TOraReferenceField::ReadAsString() const { return IsNull() ? "(Reference)" : "(REFERENCE)"; }

TLabelField::TLabelField(TComponent* owner) : TField(owner) { SetDataType(FieldTypeLabel); }

const TClassInfo& TCursorField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TCursorField>("TCursorField", &TField::StaticClassInfo());
    return info;
}

const TClassInfo& TBFileField::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TBFileField>("TBFileField", &TBlobField::StaticClassInfo());
        i.Property("AutoRefresh", &TBFileField::AutoRefresh, &TBFileField::SetAutoRefresh);
        return i;
    }();
    return info;
}

const TClassInfo& TOraDataSetField::StaticClassInfo() {
    static const TClassInfo info =
        TClassInfo::Of<TOraDataSetField>("TOraDataSetField", &TDataSetField::StaticClassInfo());
    return info;
}

const TClassInfo& TOraReferenceField::StaticClassInfo() {
    static const TClassInfo info =
        TClassInfo::Of<TOraReferenceField>("TOraReferenceField", &TReferenceField::StaticClassInfo());
    return info;
}

const TClassInfo& TLabelField::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TLabelField>("TLabelField", &TField::StaticClassInfo());
    return info;
}

std::unique_ptr<TField> OraFieldForType(TFieldType type) {
    if (type == FieldTypeBFile) return NewUnownedComponent<TBFileField>();
    if (type == FieldTypeLabel) return NewUnownedComponent<TLabelField>();
    switch (type) {
    case ftCursor: return NewUnownedComponent<TCursorField>();
    case ftReference: return NewUnownedComponent<TOraReferenceField>();
    case ftDataSet: return NewUnownedComponent<TOraDataSetField>();
    case ftFmtMemo: {
        // A formatted memo is kept as raw bytes here, not as text.
        auto field = NewUnownedComponent<TBlobField>();
        field->SetBlobType(ftFmtMemo);
        return field;
    }
    // The platform has no field classes for these; no Oracle column produces them.
    case ftTimeStamp: case ftVariant: case ftInterface: case ftIDispatch: case ftGuid: case ftFMTBcd:
        return nullptr;
    default: return DefaultFieldForType(type);
    }
}

void RegisterOraFieldClasses() {
    RegisterComponentClass(TCursorField::StaticClassInfo());
    RegisterComponentClass(TBFileField::StaticClassInfo());
    RegisterComponentClass(TOraDataSetField::StaticClassInfo());
    RegisterComponentClass(TOraReferenceField::StaticClassInfo());
}

void UnregisterOraFieldClasses() {
    UnregisterComponentClass(TOraReferenceField::StaticClassInfo());
    UnregisterComponentClass(TOraDataSetField::StaticClassInfo());
    UnregisterComponentClass(TBFileField::StaticClassInfo());
    UnregisterComponentClass(TCursorField::StaticClassInfo());
}

}  // namespace oracle
