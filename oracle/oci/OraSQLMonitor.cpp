#include "oracle/oci/OraSQLMonitor.h"

#include <cstdint>

#include "oracle/core/Blob.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraObject.h"
#include "oracle/oci/OraParams.h"
#include "platform/DateTime.h"

namespace oracle {

using namespace platform;

namespace {

bool IsObjectKind(TFieldType type) {
    return type == ftADT || type == ftArray || type == ftReference || type == ftDataSet;
}

// Types that always get the Oracle form; the others only as arrays or PL/SQL tables.
bool HasOracleForm(TFieldType type) {
    switch (type) {
        case ftString: case ftBlob: case ftMemo: case ftCursor: case ftFixedChar: case ftOraBlob: case ftOraClob:
            return true;
        default: return IsObjectKind(type) || type == FieldTypeBFile || type == FieldTypeLabel;
    }
}

// A value object's own description stands for the value: files, cursors and objects are
// never shown as null (asking a file for its size would read it from the server).
bool ShownAsNull(const TOraParam& param) {
    const TFieldType type = param.DataType();
    if (type == FieldTypeBFile || type == ftCursor || IsObjectKind(type)) return false;
    return param.ValueIsNull();
}

AnsiString ObjectTypeName(const TOraParam& param) {
    auto* object = dynamic_cast<TOraObject*>(param.ValueObject());
    return object && object->Type() ? AnsiString(object->Type()->Name) : AnsiString("unknown");
}

int32_t ItemCount(const TOraParam& param) {
    auto* collection = dynamic_cast<TOraArray*>(param.ValueObject());
    return collection ? collection->Size() : 0;
}

AnsiString TypePart(const TOraParam& param) {
    const TFieldType type = param.DataType();
    const bool isArray = param.Table() || param.Length() > 1;
    switch (type) {
        case ftString: case ftFixedChar: {
            AnsiString text = type == ftString ? "String" : "FixedChar";
            if (!isArray) return text + "[" + IntToStr(static_cast<int64_t>(param.ValueAsString().size())) + "]";
            return param.Size() > 0 ? text + "[" + IntToStr(param.Size()) + "]" : text;
        }
        case ftBlob: return "Blob";
        case ftMemo: return "Memo";
        case ftCursor: return "Cursor";
        case ftADT: return "Object:" + ObjectTypeName(param);
        case ftArray: return "Array:" + ObjectTypeName(param);
        case ftReference: return "Ref:" + ObjectTypeName(param);
        case ftDataSet: return "Table:" + ObjectTypeName(param);
        case ftOraBlob: return "BLOB";
        case ftOraClob: return "CLOB";
        default:
            if (type == FieldTypeBFile) return "BFile";
            if (type == FieldTypeLabel) return "Label";
            return FieldTypeDisplayName(type);
    }
}

AnsiString ValuePart(const TOraParam& param) {
    const TFieldType type = param.DataType();
    if (param.Table()) return "<PL/SQL TABLE[" + IntToStr(param.Length()) + "]>";
    if (param.Length() >= 2) return "<ARRAY[" + IntToStr(param.Length()) + "]>";
    if (ShownAsNull(param)) return "<NULL>";
    switch (type) {
        case ftDate: return DateToStr(param.AsDateTime());
        case ftBlob: case ftMemo: return "<BLOB:" + IntToStr(static_cast<int64_t>(param.ValueAsString().size())) + ">";
        case ftOraBlob: case ftOraClob:
            return "<LOB:" + IntToStr(static_cast<TBlob*>(param.ValueObject())->GetSize()) + ">";
        case ftCursor: return "<CURSOR>";
        case ftADT: return "<OBJECT of " + ObjectTypeName(param) + ">";
        case ftReference: return "<REF of " + ObjectTypeName(param) + ">";
        case ftArray: return "<VARRAY[" + IntToStr(ItemCount(param)) + "]>";
        case ftDataSet: return "<TABLE[" + IntToStr(ItemCount(param)) + "]>";
        case ftString: case ftDateTime: case ftFixedChar: return "'" + param.ValueAsString() + "'";
        default: break;
    }
    if (type == FieldTypeBFile) {
        auto* file = static_cast<TOraFile*>(param.ValueObject());
        return "<BFileName('" + AnsiString(file->FileDir()) + "' ,'" + AnsiString(file->FileName()) + "')>";
    }
    return param.ValueAsString();
}

}  // namespace

AnsiString TOraSQLMonitorClass::ParamToText(const TParam& param) const {
    const auto* oraParam = dynamic_cast<const TOraParam*>(&param);
    if (!oraParam || (!HasOracleForm(param.DataType()) && !oraParam->Table() && oraParam->Length() <= 0))
        return TDASQLMonitorClass::ParamToText(param);
    // Results are listed without a direction in this form.
    const AnsiString direction = param.ParamType() == ptResult ? AnsiString() : ParamDirectionText(param.ParamType());
    return ComposeParamLine(param.Name(), TypePart(*oraParam), direction, ValuePart(*oraParam));
}

const TDASQLMonitorClass& OraSQLMonitorClass() {
    static const TOraSQLMonitorClass oracleClass;
    return oracleClass;
}

void TOraSQLMonitor::NotifySavepoint(const TDASQLMonitorClass&, TCustomDAConnection& session, const AnsiString& name) {
    if (TCustomDASQLMonitor* monitor = CurrentMonitor())
        monitor->ConnectionLine(session, "Savepoint " + name + ": ", mtTransact, tfTransact);
}

void TOraSQLMonitor::NotifyRollbackToSavepoint(const TDASQLMonitorClass&, TCustomDAConnection& session,
                                               const AnsiString& name) {
    if (TCustomDASQLMonitor* monitor = CurrentMonitor())
        monitor->ConnectionLine(session, "Rollback to savepoint " + name + ": ", mtTransact, tfTransact);
}

}  // namespace oracle
