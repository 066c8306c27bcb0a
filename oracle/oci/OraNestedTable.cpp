#include "oracle/oci/OraNestedTable.h"

#include <cstring>
#include <memory>

#include "oracle/oci/OraObject.h"
#include "oracle/oci/OraParams.h"
#include "oracle/oci/RefData.h"
#include "oracle/oci/TableData.h"
#include "platform/Field.h"
#include "platform/ScopeExit.h"

namespace oracle {

using namespace platform;

namespace {

// The value object of field desc in a record of store.
TOraObject* ObjectInRecord(TData& store, const TFieldDesc& desc, const void* record) {
    TOraObject* object = nullptr;
    bool isNull = true;
    store.GetField(desc.FieldNo, record, &object, isNull);
    return object;
}

[[noreturn]] void RaiseObjectFieldExpected() { DatabaseError(OraMessage(SObjectFieldExpected)); }

}  // namespace

TOraObject* GetFieldObject(TDataSet& dataSet, const AnsiString& fieldName) {
    auto* parent = dynamic_cast<TMemDataSet*>(&dataSet);
    if (!parent || !parent->Active()) return nullptr;
    char* record = parent->StateBuffer();
    if (!record) return nullptr;
    TData& store = *parent->Data();
    const TFieldDesc& desc = *store.FieldByName(fieldName);
    if (desc.DataType < dtObject || desc.DataType > dtTable) RaiseObjectFieldExpected();
    return ObjectInRecord(store, desc, record);
}

// ---------------------------------------------------------------- construction

TOraNestedTable::TOraNestedTable(TComponent* owner) : TMemDataSet(owner) {
    // The base constructor made the base's store; the rows of a nested table need their own.
    CreateRecordStore();
    SetObjectView(true);
}

TOraNestedTable::~TOraNestedTable() {
    CloseBeforeDestruction();
    platform::CleanUpStep([this] { UnprepareDataSet(); });
}

void TOraNestedTable::CreateRecordStore() { AttachRecordStore(std::make_unique<TTableData>()); }

const TClassInfo& TOraNestedTable::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TOraNestedTable>("TOraNestedTable", &TDataSet::StaticClassInfo());
        i.ComponentProperty("DataSetField", &TOraNestedTable::SetDataSetField);
        i.Property("ObjectView", &TOraNestedTable::ObjectView, &TOraNestedTable::SetObjectView);
        return i;
    }();
    return info;
}

// ---------------------------------------------------------------- bindings

TOraArray* TOraNestedTable::TableObject() const {
    auto* store = dynamic_cast<TTableData*>(Data());
    return store ? store->Table() : nullptr;
}

TOraRef* TOraNestedTable::RefObject() const {
    auto* store = dynamic_cast<TRefData*>(Data());
    return store ? store->Ref() : nullptr;
}

void TOraNestedTable::BindTable(TOraArray* table) {
    if (table == TableObject()) {
        if (!DataSetField() && Active() && table) RefreshRecords();
        return;
    }
    // Active() is false while the dataset opens: a binding made by the open itself
    // must not close it.
    const bool wasActive = Active();
    if (wasActive) CloseDataSet();
    UnprepareDataSet();
    if (!dynamic_cast<TTableData*>(Data())) AttachRecordStore(std::make_unique<TTableData>());
    static_cast<TTableData*>(Data())->SetTable(table);
    if (wasActive) OpenDataSet();
}

void TOraNestedTable::BindRef(TOraRef* ref) {
    if (ref == RefObject()) return;
    if (!ref || !dynamic_cast<TRefData*>(Data())) {
        if (Active()) CloseDataSet();
        UnprepareDataSet();
        if (!dynamic_cast<TRefData*>(Data())) AttachRecordStore(std::make_unique<TRefData>());
    }
    static_cast<TRefData*>(Data())->SetRef(ref);
    if (ref && Active()) RefreshRecords();
}

void TOraNestedTable::BindFieldObject(TOraObject* object) {
    if (DataSetField()->DataType() == ftDataSet)
        BindTable(dynamic_cast<TOraArray*>(object));
    else
        BindRef(dynamic_cast<TOraRef*>(object));
}

void TOraNestedTable::SetDataSetField(TDataSetField* field) {
    TMemDataSet::SetDataSetField(field);
    if (field) return;
    BindTable(nullptr);
    BindRef(nullptr);
}

// ---------------------------------------------------------------- open and close

void TOraNestedTable::ActivateCursor(bool infoOnly) {
    if (TDataSetField* field = DataSetField()) {
        TDataSet* parent = field->DataSet();
        if (!parent) DatabaseError(OraMessage(SMissingDataSetField));
        if (!parent->Active()) parent->OpenDataSet();
        if (auto* parentStore = dynamic_cast<TMemDataSet*>(parent)) {
            const TFieldDesc& desc = *parentStore->Data()->FieldByName(field->FieldName());
            if (desc.DataType != dtReference && desc.DataType != dtTable) RaiseObjectFieldExpected();
            // The parent's active record, not its store's position: the store may stand on
            // another record (a window of several records, a record being inserted).
            if (const char* record = parentStore->StateBuffer())
                BindFieldObject(ObjectInRecord(*parentStore->Data(), desc, record));
        }
        FieldDefs().SetHiddenFields(parent->FieldDefs().HiddenFields());
    }
    if (!DataSetField() && !TableObject() && !RefObject()) {
        AnsiString message = OraMessage(SMissingDataSetField);
        if (!Name().empty()) message = Name() + ": " + message;
        DatabaseError(message);
    }
    TMemDataSet::ActivateCursor(infoOnly);
}

void TOraNestedTable::DeactivateCursor() {
    // The bindings go also when closing the cursor failed: the dataset is closed then too.
    auto dropBindings = [this] {
        if (!DataSetField()) return;
        BindTable(nullptr);
        BindRef(nullptr);
    };
    try {
        TMemDataSet::DeactivateCursor();
    } catch (...) {
        dropBindings();
        throw;
    }
    dropBindings();
}

void TOraNestedTable::DispatchDataEvent(TDataEvent event, intptr_t info) {
    if (event == deParentScroll && DataSetField() && DataSetField()->DataSet())
        BindFieldObject(GetFieldObject(*DataSetField()->DataSet(), DataSetField()->FieldName()));
    TMemDataSet::DispatchDataEvent(event, info);
}

// ---------------------------------------------------------------- changes and the parent

void TOraNestedTable::MarkParentModified() {
    if (!DataSetField() || !DataSetField()->DataSet()) return;
    TDataSet* parent = DataSetField()->DataSet();
    parent->BeginEdit();
    parent->SetModified(true);
}

void TOraNestedTable::FireAfterPost() {
    TMemDataSet::FireAfterPost();
    MarkParentModified();
}

void TOraNestedTable::FireBeforeDelete() {
    TMemDataSet::FireBeforeDelete();
    MarkParentModified();
}

void TOraNestedTable::FireBeforeInsert() {
    TMemDataSet::FireBeforeInsert();
    TDataSetField* field = DataSetField();
    if (field && field->DataType() == ftDataSet && field->DataSet() && field->DataSet()->State() == dsInsert)
        field->DataSet()->PostChanges();
}

bool TOraNestedTable::IsModifiable() {
    TDataSetField* field = DataSetField();
    if (!field) return true;
    if (field->DataType() == ftReference) return false;
    return field->DataSet() ? field->DataSet()->IsModifiable() : true;
}

}  // namespace oracle
