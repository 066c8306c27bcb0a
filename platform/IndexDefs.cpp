#include "platform/IndexDefs.h"


namespace platform {

namespace {

// "A; b ;C" -> "A;B;C" for comparing field lists.
AnsiString NormalisedFieldList(const AnsiString& fields) {
    AnsiString result;
    for (const AnsiString& name : SplitFieldNames(fields)) result += (result.empty() ? "" : ";") + AnsiUpperCase(name);
    return result;
}

}  // namespace

TIndexDef& TIndexDefs::Add(const AnsiString& name, const AnsiString& fields, TIndexOptions options) {
    return Append(std::make_unique<TIndexDef>(name, fields, options));
}

TIndexDef* TIndexDefs::GetIndexForFields(const AnsiString& fields, bool caseInsensitive) const {
    AnsiString wanted = NormalisedFieldList(fields);
    for (int i = 0; i < Count(); ++i) {
        TIndexDef& def = Items(i);
        if ((def.Options() & ixExpression) != 0) continue;
        bool defCase = (def.Options() & ixCaseInsensitive) != 0;
        if (defCase == caseInsensitive && NormalisedFieldList(def.Fields()) == wanted) return &def;
    }
    return nullptr;
}

TIndexDef& TIndexDefs::FindIndexForFields(const AnsiString& fields) const {
    AnsiString wanted = NormalisedFieldList(fields);
    for (int i = 0; i < Count(); ++i) {
        TIndexDef& def = Items(i);
        if ((def.Options() & ixExpression) == 0 && NormalisedFieldList(def.Fields()) == wanted)
            return def;
    }
    DatabaseErrorFmt("No index for fields '%s'", fields);
}

void TIndexDefs::Update() {
    if (!Updated() && updateHandler_) updateHandler_();
    SetUpdated(true);
}

}  // namespace platform
