#include "platform/DataSetTypes.h"

namespace platform {

const std::vector<std::pair<AnsiString, TFieldType>>& FieldTypeNames() {
    static const std::vector<std::pair<AnsiString, TFieldType>> names = {
        {"ftUnknown", ftUnknown}, {"ftString", ftString}, {"ftSmallint", ftSmallint}, {"ftInteger", ftInteger},
        {"ftWord", ftWord}, {"ftBoolean", ftBoolean}, {"ftFloat", ftFloat}, {"ftCurrency", ftCurrency},
        {"ftBCD", ftBCD}, {"ftDate", ftDate}, {"ftTime", ftTime}, {"ftDateTime", ftDateTime},
        {"ftBytes", ftBytes}, {"ftVarBytes", ftVarBytes}, {"ftAutoInc", ftAutoInc}, {"ftBlob", ftBlob},
        {"ftMemo", ftMemo}, {"ftGraphic", ftGraphic}, {"ftFmtMemo", ftFmtMemo}, {"ftParadoxOle", ftParadoxOle},
        {"ftDBaseOle", ftDBaseOle}, {"ftTypedBinary", ftTypedBinary}, {"ftCursor", ftCursor},
        {"ftFixedChar", ftFixedChar}, {"ftWideString", ftWideString}, {"ftLargeint", ftLargeint},
        {"ftADT", ftADT}, {"ftArray", ftArray}, {"ftReference", ftReference}, {"ftDataSet", ftDataSet},
        {"ftOraBlob", ftOraBlob}, {"ftOraClob", ftOraClob}, {"ftVariant", ftVariant},
        {"ftInterface", ftInterface}, {"ftIDispatch", ftIDispatch}, {"ftGuid", ftGuid},
        {"ftTimeStamp", ftTimeStamp}, {"ftFMTBcd", ftFMTBcd}};
    return names;
}

bool IsBlobType(TFieldType type) {
    switch (type) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
        return true;
    default:
        return false;
    }
}

std::vector<AnsiString> SplitFieldNames(const AnsiString& names) {
    std::vector<AnsiString> result;
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find(';', start);
        if (end == AnsiString::npos) end = names.size();
        AnsiString name = Trim(names.substr(start, end - start));
        if (!name.empty()) result.push_back(name);
        start = end + 1;
    }
    return result;
}

void DatabaseError(const AnsiString& message) { throw EDatabaseError(message); }

void Abort() { throw EAbort(); }

}  // namespace platform
