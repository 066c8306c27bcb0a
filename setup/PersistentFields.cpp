#include "setup/PersistentFields.h"

#include "platform/DataSet.h"
#include "platform/Field.h"
#include "platform/FieldDefs.h"
#include "setup/ModuleState.h"

namespace setrix {

using namespace platform;

namespace {

// The field class of a definition's type. Types without a class of their own here get the
// framework's class for them, so that their values are never read through the wrong buffer
// form; only types the framework has no field for fall back to a string field.
TField* NewFieldFor(TFieldType type, TDataSet& table) {
    switch (type) {
    case ftString: return NewComponent<TStringField>(table);
    case ftSmallint: case ftInteger: return NewComponent<TIntegerField>(table);
    case ftWord: return NewComponent<TWordField>(table);
    case ftBoolean: return NewComponent<TBooleanField>(table);
    case ftFloat: return NewComponent<TFloatField>(table);
    case ftCurrency: return NewComponent<TCurrencyField>(table);
    case ftBCD: return NewComponent<TBCDField>(table);
    case ftDate: return NewComponent<TDateField>(table);
    case ftTime: return NewComponent<TTimeField>(table);
    case ftDateTime: return NewComponent<TDateTimeField>(table);
    case ftBytes: return NewComponent<TBytesField>(table);
    case ftVarBytes: return NewComponent<TVarBytesField>(table);
    case ftAutoInc: return NewComponent<TAutoIncField>(table);
    case ftBlob: case ftOraBlob: case ftOraClob: return NewComponent<TBlobField>(table);
    case ftMemo: return NewComponent<TMemoField>(table);
    case ftGraphic: return NewComponent<TGraphicField>(table);
    case ftLargeint: return NewComponent<TLargeintField>(table);
    default: return NewComponent<TStringField>(table);
    }
}

void ReadDefinitions(TDataSet& table, std::vector<FieldDescription>& descriptions) {
    table.Fields().RemoveAll();
    table.OpenDataSet();
    TFieldDefs& defs = table.FieldDefs();
    for (int i = 0; i < defs.Count(); ++i) descriptions.push_back({nullptr, defs.Items(i).Name(), defs.Items(i).DataType()});
    table.CloseDataSet();
}

void BuildFields(TDataSet& table, std::vector<FieldDescription>& descriptions) {
    for (FieldDescription& description : descriptions) {
        TField* field = NewFieldFor(description.DataType, table);
        description.Field = field;
        field->SetFieldName(description.Name);
        field->BindToDataSet(&table);
        field->SetFieldKind(fkData);
    }
    if (table.Active()) table.CloseDataSet();
    TFieldDefs& defs = table.FieldDefs();
    defs.Reload();
    for (int i = table.Fields().Count() - 1; i >= 0; --i) {
        TField* field = table.Fields().FieldAt(i);
        const int position = defs.PositionOfName(field->FieldName());
        if (position < 0)
            // "Field ... not found in dataset ..." (code page 1251).
            DatabaseError("\xCF\xEE\xEB\xE5 \"" + field->FieldName() + "\" \xED\xE5 \xED\xE0\xE9\xE4\xE5\xED\xEE \xE2 \xED\xE0\xE1\xEE\xF0\xE5 \xE4\xE0\xED\xED\xFB\xF5 \"" + table.Name() + "\"");
        field->SetSize(defs.Items(position).Size());
    }
}

}  // namespace

void CreatePersistentFields(TDataSet& table) {
    std::vector<FieldDescription>& descriptions = State().FieldDescriptions;
    descriptions.clear();
    ReadDefinitions(table, descriptions);
    try {
        BuildFields(table, descriptions);
    } catch (...) {
        // The table works on with the fields made so far.
    }
}

}  // namespace setrix
