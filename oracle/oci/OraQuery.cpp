#include "oracle/oci/OraQuery.h"

#include "oracle/oci/OraSession.h"
#include "oracle/oci/OraSqlText.h"
#include "platform/DataSetTypes.h"

namespace oracle {

using namespace platform;

namespace {

bool StartsWithWord(const AnsiString& text, const char* word) {
    const AnsiString upper = AnsiUpperCase(Trim(text));
    return upper.compare(0, std::char_traits<char>::length(word), word) == 0;
}

}  // namespace

TCustomOraQuery::TCustomOraQuery(TComponent* owner) : TOraDataSet(owner) {
    for (TStringList* list : {&sqlInsert_, &sqlDelete_, &sqlUpdate_, &sqlLock_, &sqlRefresh_})
        list->OnChange = [this](TStringList&) { ScanMacros(); };
}

TCustomOraQuery::~TCustomOraQuery() {
    try {
        CloseBeforeDestruction();
    } catch (...) {
        // A destructor must not throw.
    }
    for (TStringList* list : {&sqlRefresh_, &sqlLock_, &sqlUpdate_, &sqlDelete_, &sqlInsert_}) list->OnChange = nullptr;
}

namespace {

// One of the five statement lists, written as its lines.
TPropertyInfo StatementLinesProperty(const AnsiString& name, TStringList& (TCustomOraQuery::*list)(),
                                     void (TCustomOraQuery::*setter)(const TStrings&)) {
    TPropertyInfo info;
    info.Name = name;
    info.Write = [setter](TPersistent& object, const Variant& value) {
        TStringList lines;
        lines.AssignText(value.AsString());
        (static_cast<TCustomOraQuery&>(object).*setter)(lines);
    };
    info.Read = [list](const TPersistent& object) {
        auto& query = const_cast<TCustomOraQuery&>(static_cast<const TCustomOraQuery&>(object));
        return Variant((query.*list)().JoinedText());
    };
    return info;
}

}  // namespace

const TClassInfo& TCustomOraQuery::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TCustomOraQuery", &TOraDataSet::StaticClassInfo());
        i.AddProperty(StatementLinesProperty("SQLInsert", &TCustomOraQuery::SQLInsert, &TCustomOraQuery::SetSQLInsert));
        i.AddProperty(StatementLinesProperty("SQLDelete", &TCustomOraQuery::SQLDelete, &TCustomOraQuery::SetSQLDelete));
        i.AddProperty(StatementLinesProperty("SQLUpdate", &TCustomOraQuery::SQLUpdate, &TCustomOraQuery::SetSQLUpdate));
        i.AddProperty(StatementLinesProperty("SQLLock", &TCustomOraQuery::SQLLock, &TCustomOraQuery::SetSQLLock));
        i.AddProperty(
            StatementLinesProperty("SQLRefresh", &TCustomOraQuery::SQLRefresh, &TCustomOraQuery::SetSQLRefresh));
        i.SetProperty("Options", &TCustomOraQuery::OptionsSet, &TCustomOraQuery::SetOptionsSet,
                      {{"doRequiredFields", doRequiredFields}, {"doStrictUpdate", doStrictUpdate},
                       {"doDefaultValue", doDefaultValue}, {"doLongStrings", doLongStrings},
                       {"doNumberRange", doNumberRange}, {"doKeepPrepared", doKeepPrepared},
                       {"doAutoClose", doAutoClose}, {"doQueryRecCount", doQueryRecCount}});
        i.EnumProperty("RefreshMode", &TCustomOraQuery::RefreshMode, &TCustomOraQuery::SetRefreshMode,
                       {{"rmNone", rmNone},
                        {"rmAfterInsert", rmAfterInsert},
                        {"rmAfterUpdate", rmAfterUpdate},
                        {"rmAlways", rmAlways}});
        i.Property("ReturnParams", &TCustomOraQuery::ReturnParams, &TCustomOraQuery::SetReturnParams);
        return i;
    }();
    return info;
}

const TClassInfo& TOraQuery::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TOraQuery>("TOraQuery", &TCustomOraQuery::StaticClassInfo());
    return info;
}

void TCustomOraQuery::CopyLines(TStringList& target, const TStrings& lines) {
    const TStringsUpdate update(target);
    target.Clear();
    target.AddStrings(lines);
}

// ---------------------------------------------------------------- texts

AnsiString TCustomOraQuery::Expanded(AnsiString text) {
    if (Macros().Count() > 0) Macros().Expand(text);
    return text;
}

AnsiString TCustomOraQuery::InsertSQLText() {
    if (UpdateObject()) return TOraDataSet::InsertSQLText();
    return Expanded(sqlInsert_.JoinedText());
}

AnsiString TCustomOraQuery::DeleteSQLText() {
    if (UpdateObject()) return TOraDataSet::DeleteSQLText();
    return Expanded(sqlDelete_.JoinedText());
}

AnsiString TCustomOraQuery::UpdateSQLText() {
    if (UpdateObject()) return TOraDataSet::UpdateSQLText();
    return Expanded(sqlUpdate_.JoinedText());
}

AnsiString TCustomOraQuery::RefreshSQLText() {
    if (UpdateObject()) return UpdateObject()->RefreshSQL().JoinedText();
    // A refresh given as just a WHERE clause is added to the query's own text.
    return Expanded(RefreshSQLFromWhere(FinalSQL(), sqlRefresh_.JoinedText()));
}

AnsiString TCustomOraQuery::LockSQLText() {
    const AnsiString lock = sqlLock_.JoinedText();
    // A lock given as just a FOR UPDATE clause follows the refresh statement.
    if (StartsWithWord(lock, "FOR")) return Expanded(LockSQLFromFor(RefreshSQLText(), lock));
    return Expanded(Trim(lock));
}

void TCustomOraQuery::ScanMacros() {
    Macros().Scan(SQL().JoinedText() + sqlInsert_.JoinedText() + sqlUpdate_.JoinedText() + sqlDelete_.JoinedText() +
                  sqlLock_.JoinedText() + sqlRefresh_.JoinedText());
}

// ---------------------------------------------------------------- editing rules

bool TCustomOraQuery::IsModifiable() {
    if (TOraDataSet::IsModifiable()) return true;
    if (ReadOnly) return false;
    return sqlInsert_.Count() > 0 || sqlUpdate_.Count() > 0 || sqlDelete_.Count() > 0;
}

bool TCustomOraQuery::ChangeAllowed(const TStringList& statement) {
    if (statement.Count() > 0 || LocalUpdate) return true;
    if (CachedUpdates() && RecordUpdateStatus() == platform::usInserted && sqlInsert_.Count() > 0) return true;
    return (CachedUpdates() && OnUpdateRecord) || UpdateObject();
}

void TCustomOraQuery::FireBeforeInsert() {
    TOraDataSet::FireBeforeInsert();
    if (BeforeChangeHook()) return;
    if (sqlInsert_.Count() > 0 || LocalUpdate || (CachedUpdates() && OnUpdateRecord) || UpdateObject()) return;
    Abort();
}

void TCustomOraQuery::FireBeforeEdit() {
    TOraDataSet::FireBeforeEdit();
    if (!BeforeChangeHook() && !ChangeAllowed(sqlUpdate_)) Abort();
}

void TCustomOraQuery::FireBeforeDelete() {
    TOraDataSet::FireBeforeDelete();
    if (!BeforeChangeHook() && !ChangeAllowed(sqlDelete_)) Abort();
}

// ---------------------------------------------------------------- applying

void TCustomOraQuery::ApplyInsert() {
    const bool hasInsert = sqlInsert_.Count() > 0 || (UpdateObject() && UpdateObject()->SQL(platform::ukInsert).Count() > 0);
    if (!KeySequence().empty() && SequenceMode() == smPost && KeyFieldDescs().Count() > 0 && hasInsert)
        FetchKeySequenceValue();
    TOraDataSet::ApplyInsert();
}

void TCustomOraQuery::BeforeEditHook() {
    if (CachedUpdates()) return;
    TStatementTypes kinds = 0;
    AnsiString text;
    if (LockMode() == lmLockImmediate) {
        if (StartsWithWord(sqlLock_.JoinedText(), "FOR")) {
            text = LockSQLText();
            kinds = stLock;
        } else {
            LockRecord();
        }
    }
    if (RefreshOptions & roBeforeEdit) kinds |= stRefresh;
    if (kinds == 0) return;
    if ((kinds & stRefresh) && text.empty()) text = RefreshSQLText();
    if (kinds & stLock) UsedSession().Savepoint(LockSavepointName());
    PerformSQL(text, kinds);
}

void TCustomOraQuery::StorageCancel() {
    TOraDataSet::StorageCancel();
    if (LockMode() == lmLockImmediate && State() != dsInsert && !CachedUpdates()) UnlockRecord();
}

// ---------------------------------------------------------------- older option forms

TOraDataSetOptions1 TCustomOraQuery::OptionsSet() const {
    const TOraDataSetOptions& options = OptionsDS();
    TOraDataSetOptions1 set = 0;
    if (options.RequiredFields()) set |= doRequiredFields;
    if (options.StrictUpdate) set |= doStrictUpdate;
    if (options.LongStrings()) set |= doLongStrings;
    if (options.NumberRange()) set |= doNumberRange;
    if (options.KeepPrepared()) set |= doKeepPrepared;
    if (options.AutoClose()) set |= doAutoClose;
    if (options.QueryRecCount) set |= doQueryRecCount;
    return set;
}

void TCustomOraQuery::SetOptionsSet(TOraDataSetOptions1 value) {
    TOraDataSetOptions& options = OptionsDS();
    options.SetRequiredFields((value & doRequiredFields) != 0);
    options.StrictUpdate = (value & doStrictUpdate) != 0;
    if (options.LongStrings() != ((value & doLongStrings) != 0)) options.SetLongStrings((value & doLongStrings) != 0);
    options.SetNumberRange((value & doNumberRange) != 0);
    options.SetKeepPrepared((value & doKeepPrepared) != 0);
    options.SetAutoClose((value & doAutoClose) != 0);
    options.QueryRecCount = (value & doQueryRecCount) != 0;
}

TRefreshMode TCustomOraQuery::RefreshMode() const {
    const bool afterInsert = (RefreshOptions & roAfterInsert) != 0;
    const bool afterUpdate = (RefreshOptions & roAfterUpdate) != 0;
    if (afterInsert && afterUpdate) return rmAlways;
    if (afterUpdate) return rmAfterUpdate;
    if (afterInsert) return rmAfterInsert;
    return rmNone;
}

void TCustomOraQuery::SetRefreshMode(TRefreshMode value) {
    if (value == rmAfterInsert || value == rmAlways)
        RefreshOptions |= roAfterInsert;
    else
        RefreshOptions &= ~roAfterInsert;
    if (value == rmAfterUpdate || value == rmAlways)
        RefreshOptions |= roAfterUpdate;
    else
        RefreshOptions &= ~roAfterUpdate;
}

// ---------------------------------------------------------------- copying

void TCustomOraQuery::CopyToTarget(TPersistent& target) const {
    if (auto* query = dynamic_cast<TCustomOraQuery*>(&target)) {
        query->SetSQLInsert(sqlInsert_);
        query->SetSQLDelete(sqlDelete_);
        query->SetSQLUpdate(sqlUpdate_);
        query->SetSQLLock(sqlLock_);
        query->SetSQLRefresh(sqlRefresh_);
    }
    TOraDataSet::CopyToTarget(target);
}

}  // namespace oracle
