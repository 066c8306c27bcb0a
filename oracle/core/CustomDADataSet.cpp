#include "oracle/core/CustomDADataSet.h"

#include <cstring>
#include <typeinfo>

#include "oracle/core/Assertion.h"
#include "oracle/core/CustomDAConnection.h"
#include "oracle/core/DAError.h"
#include "oracle/core/DASQLMonitor.h"
#include "oracle/core/MemData.h"
#include "oracle/core/WaitCursor.h"
#include "platform/Field.h"
#include "platform/ScopeExit.h"

namespace oracle {

using namespace platform;

// ---------------------------------------------------------------- options

void TDADataSetOptions::SetRequiredFields(bool value) {
    requiredFields_ = value;
    if (!owner_) return;
    owner_->LocalConstraints = value;
    owner_->FieldDefs().SetUpdated(false);
}

void TDADataSetOptions::SetNumberRange(bool value) {
    numberRange_ = value;
    if (owner_) owner_->NumberRange = value;
}

void TDADataSetOptions::SetTrimFixedChar(bool value) {
    trimFixedChar_ = value;
    if (owner_ && owner_->Data()) owner_->Data()->TrimFixedChar = value;
}

void TDADataSetOptions::SetLongStrings(bool value) {
    if (owner_) owner_->RequireClosedForChange();
    longStrings_ = value;
    if (!owner_) return;
    if (owner_->RecordSet()) owner_->RecordSet()->SetProp(prLongStrings, Variant(value));
    owner_->FieldDefs().SetUpdated(false);
}

const TClassInfo& TDADataSetOptions::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TDADataSetOptions", &TPersistent::StaticClassInfo());
        i.Property("RequiredFields", &TDADataSetOptions::RequiredFields, &TDADataSetOptions::SetRequiredFields);
        i.FieldProperty("StrictUpdate", &TDADataSetOptions::StrictUpdate);
        i.Property("NumberRange", &TDADataSetOptions::NumberRange, &TDADataSetOptions::SetNumberRange);
        i.FieldProperty("QueryRecCount", &TDADataSetOptions::QueryRecCount);
        i.FieldProperty("ReturnParams", &TDADataSetOptions::ReturnParams);
        i.Property("TrimFixedChar", &TDADataSetOptions::TrimFixedChar, &TDADataSetOptions::SetTrimFixedChar);
        i.Property("LongStrings", &TDADataSetOptions::LongStrings, &TDADataSetOptions::SetLongStrings);
        return i;
    }();
    return info;
}

void TDADataSetOptions::CopyToTarget(TPersistent& target) const {
    auto* options = dynamic_cast<TDADataSetOptions*>(&target);
    if (!options) {
        TPersistent::CopyToTarget(target);
        return;
    }
    options->SetRequiredFields(requiredFields_);
    options->StrictUpdate = StrictUpdate;
    options->SetNumberRange(numberRange_);
    options->QueryRecCount = QueryRecCount;
    options->ReturnParams = ReturnParams;
    options->SetTrimFixedChar(trimFixedChar_);
    if (options->LongStrings() != longStrings_) options->SetLongStrings(longStrings_);
}

// ---------------------------------------------------------------- detail link

void TDADetailDataLink::ActiveChanged() {
    if (detail_->Active() && !detail_->InState(csDestroying) && Active()) detail_->RefreshDetail();
}

void TDADetailDataLink::RecordChanged(TField* field) {
    if (!field && detail_->Active()) detail_->RefreshDetail();
}

void TDADetailDataLink::CheckBrowseMode() {
    if (!detail_->Active()) return;
    TDataSet* master = DataSet();
    const bool detailPending = detail_->State() == dsEdit || detail_->State() == dsInsert;
    if (master && master->State() == dsInsert && detailPending) return;
    detail_->CheckBrowseMode();
}

// ---------------------------------------------------------------- update object

void TDADataSetUpdateObject::SetRefreshSQL(const TStrings& lines) {
    refreshSQL_.Clear();
    refreshSQL_.AddStrings(lines);
}

// ---------------------------------------------------------------- construction

TCustomDADataSet::TCustomDADataSet(TComponent* owner)
    : TMemDataSet(owner), detailLink_(std::make_unique<TDADetailDataLink>(this)) {}

void TCustomDADataSet::AfterConstruction() {
    TMemDataSet::AfterConstruction();
    innerSQL_ = NewInnerSQL();
    options_ = NewDataSetOptions();
    CreateRecordStore();
}

TCustomDADataSet::~TCustomDADataSet() {
    try {
        CloseBeforeDestruction();
    } catch (...) {
        // A destructor must not throw; the store is freed below all the same.
    }
    try {
        UnprepareDataSet();
    } catch (...) {
    }
    if (TCustomDAConnection* session = UsedConnection()) session->DetachClient(this);
    if (updateObject_ && updateObject_->DataSet() == this) updateObject_->SetDataSet(nullptr);
    updateDataSet_.reset();
    detailLink_->SetDataSource(nullptr);
    innerSQL_.reset();
}

namespace {

// RefreshOptions, a plain set member, written [roAfterInsert, roBeforeEdit].
TPropertyInfo RefreshOptionsProperty() {
    return detail::SetPropertyInfo(
        "RefreshOptions",
        [](const TPersistent& object) { return static_cast<const TCustomDADataSet&>(object).RefreshOptions; },
        [](TPersistent& object, int bits) { static_cast<TCustomDADataSet&>(object).RefreshOptions = bits; },
        {{"roAfterInsert", roAfterInsert}, {"roAfterUpdate", roAfterUpdate}, {"roBeforeEdit", roBeforeEdit}});
}

}  // namespace

const TClassInfo& TCustomDADataSet::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TCustomDADataSet", &TMemDataSet::StaticClassInfo());
        i.Property("ParamCheck", &TCustomDADataSet::ParamCheck, &TCustomDADataSet::SetParamCheck);
        i.Property("SQL", &TCustomDADataSet::SQLText, &TCustomDADataSet::SetSQLText);
        i.ObjectProperty("Params", &TCustomDADataSet::Params);
        i.ObjectProperty("Macros", &TCustomDADataSet::Macros);
        i.ComponentProperty("MasterSource", &TCustomDADataSet::SetMasterSource);
        i.Property("MasterFields", &TCustomDADataSet::MasterFields, &TCustomDADataSet::SetMasterFields);
        i.Property("DetailFields", &TCustomDADataSet::DetailFields, &TCustomDADataSet::SetDetailFields);
        i.FieldProperty("Debug", &TCustomDADataSet::Debug);
        i.FieldProperty("ReadOnly", &TCustomDADataSet::ReadOnly);
        i.Property("FetchRows", &TCustomDADataSet::FetchRows, &TCustomDADataSet::SetFetchRows);
        i.Property("FetchAll", &TCustomDADataSet::FetchAll, &TCustomDADataSet::SetFetchAll);
        i.Property("UniDirectional", &TCustomDADataSet::UniDirectional, &TCustomDADataSet::SetUniDirectional);
        i.Property("AutoCommit", &TCustomDADataSet::AutoCommit, &TCustomDADataSet::SetAutoCommit);
        i.Property("FilterSQL", &TCustomDADataSet::FilterSQL, &TCustomDADataSet::SetFilterSQL);
        i.AddProperty(RefreshOptionsProperty());
        i.ObjectProperty("Options", &TCustomDADataSet::Options);
        i.ComponentProperty("UpdateObject", &TCustomDADataSet::SetUpdateObject);
        return i;
    }();
    return info;
}

const TClassInfo& TDADataSet::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TDADataSet>("TDADataSet", &TCustomDADataSet::StaticClassInfo());
        i.ComponentProperty("Connection", &TCustomDADataSet::SetConnection);
        return i;
    }();
    return info;
}

void TCustomDADataSet::DeclareStreamedValues(TStreamedValues& values) {
    TMemDataSet::DeclareStreamedValues(values);
    innerSQL_->DeclareStreamedValues(values);
}

std::unique_ptr<TCustomDASQL> TCustomDADataSet::NewInnerSQL() {
    return NewUnownedComponent<TCustomDASQL>(this);
}

std::unique_ptr<TDADataSetOptions> TCustomDADataSet::NewDataSetOptions() {
    return std::make_unique<TDADataSetOptions>(this);
}

// ---------------------------------------------------------------- session and record set

void TCustomDADataSet::SetConnection(TCustomDAConnection* session) {
    if (session == connection_ && session == UsedConnection()) return;
    // The session it already works on (the default one) becoming its own changes nothing
    // for the dataset: it stays open, and an Active read from a form is kept.
    TCustomDAConnection* old = UsedConnection();
    if (old && old != session) {
        // While its description is read the dataset is neither open nor prepared, and a
        // close would only drop the Active it was given.
        if (!InState(csReading)) DisconnectDataSet();
        old->DetachClient(this);
    }
    connection_ = session;
    TCustomDAConnection* now = UsedConnection();
    if (now && !now->HasClient(this)) {
        now->AttachClient(this);
        RebindRecordSet();
        if (recordSet_) recordSet_->SetConnection(now->ConnectionObject());
    }
    DataEvent(dePropertyChange, 0);
}

void TCustomDADataSet::RequireConnection() {
    TCustomDAConnection* session = UsedConnection();
    if (!session) DADatabaseError(SConnectionNotDefined);
    if (!session->Connected()) session->Connect();
    if (!connection_ && !session->HasClient(this)) {
        session->AttachClient(this);
        RebindRecordSet();
        if (recordSet_) recordSet_->SetConnection(session->ConnectionObject());
    }
}

void TCustomDADataSet::DisconnectDataSet() {
    CloseDataSet();
    UnprepareDataSet();
    FieldDefs().SetUpdated(false);
}

void TCustomDADataSet::RebindRecordSet() {
    TCustomDAConnection* session = UsedConnection();
    if (session && session->ConnectionObject() && recordSet_) {
        const std::unique_ptr<TQdRecordSet> probe = session->ConnectionObject()->CreateRecordSet();
        if (probe && typeid(*probe) == typeid(*recordSet_)) return;
    }
    if (Active()) CloseDataSet();
    UnprepareDataSet();
    CreateRecordStore();
}

void TCustomDADataSet::CreateRecordStore() {
    TCustomDAConnection* session = UsedConnection();
    if (session && session->ConnectionObject())
        AttachRecordStore(session->ConnectionObject()->CreateRecordSet());
    else
        // Without a session the dataset keeps an empty store of its own.
        AttachRecordStore(std::make_unique<TMemData>());
}

void TCustomDADataSet::AttachRecordStore(std::unique_ptr<TData> store) {
    TMemDataSet::AttachRecordStore(std::move(store));
    recordSet_ = dynamic_cast<TQdRecordSet*>(Data());
    command_ = nullptr;
    if (recordSet_) {
        command_ = recordSet_->Command();
        recordSet_->SetProp(prUniDirectional, Variant(uniDirectional_));
        recordSet_->SetProp(prFetchRows, Variant(fetchRows_));
        recordSet_->SetProp(prFetchAll, Variant(fetchAll_));
        if (options_) recordSet_->SetProp(prLongStrings, Variant(options_->LongStrings()));
        recordSet_->AssignEvent(evRecordSetExecuted, [this](const Variant& argument) {
            RecordSetExecuted(argument.IsClear() || argument.AsBoolean());
        });
        recordSet_->AssignEvent(evAllRowsFetched, [this](const Variant&) { AllFetchedHandler(); });
        recordSet_->AssignEvent(evBlockFetch, [this](const Variant& starting) {
            if (!NonBlocking && starting.AsBoolean()) SetWaitCursor(crSQLWait);
        });
        if (TCustomDAConnection* session = UsedConnection())
            recordSet_->SetConnection(session->ConnectionObject());
    }
    if (options_ && Data()) Data()->TrimFixedChar = options_->TrimFixedChar();
    if (innerSQL_) {
        innerSQL_->AttachCommand(command_);
        if (command_) {
            command_->SetProp(prAutoCommit, Variant(autoCommit_));
            command_->AssignEvent(evAfterExecute, [this](const Variant& argument) {
                CommandExecuted(argument.IsClear() || argument.AsBoolean());
            });
        }
    }
    updateDataSet_.reset();
}

void TCustomDADataSet::DispatchDataEvent(TDataEvent event, intptr_t info) {
    if (event == deConnectChange && info == 0) DisconnectDataSet();
    TMemDataSet::DispatchDataEvent(event, info);
}

// ---------------------------------------------------------------- text

AnsiString TCustomDADataSet::FinalSQL() const { return innerSQL_->FinalStatementText(); }

std::vector<std::pair<AnsiString, AnsiString>> TCustomDADataSet::LinkFieldPairs() const {
    const std::vector<AnsiString> masters = SplitFieldNames(masterFields_);
    const std::vector<AnsiString> details = SplitFieldNames(detailFields_);
    std::vector<std::pair<AnsiString, AnsiString>> pairs;
    for (size_t i = 0; i < masters.size() && i < details.size(); ++i) pairs.emplace_back(masters[i], details[i]);
    return pairs;
}

bool TCustomDADataSet::LinkedToMaster() const {
    return MasterSource() && !masterFields_.empty() && !detailFields_.empty();
}

AnsiString TCustomDADataSet::EffectiveSQL() {
    AnsiString text = innerSQL_->FinalStatementText();
    if (!filterSQL_.empty()) text = AddWhereCondition(text, filterSQL_);
    if (LinkedToMaster()) {
        AnsiString condition;
        for (const auto& [master, detail] : LinkFieldPairs()) {
            if (!condition.empty()) condition += " and ";
            condition += detail + " = :" + master;
        }
        if (!condition.empty()) text = AddWhereCondition(text, condition);
    }
    return text;
}

void TCustomDADataSet::ScanMacros() { Macros().Scan(SQL().JoinedText()); }

void TCustomDADataSet::MacrosChanged() {
    innerSQL_->StatementTextChanged();
    if (Active())
        unprepareOnClose_ = true;
    else
        UnprepareDataSet();
}

void TCustomDADataSet::ReapplyText() {
    const bool wasActive = Active();
    CloseDataSet();
    UnprepareDataSet();
    MacrosChanged();
    if (wasActive) OpenDataSet();
}

// ---------------------------------------------------------------- properties

void TCustomDADataSet::SetFetchRows(int value) {
    if (value < 1 || value > 10000) DADatabaseError(SInvalidFetchRows);
    fetchRows_ = value;
    if (recordSet_) recordSet_->SetProp(prFetchRows, Variant(value));
}

void TCustomDADataSet::SetFetchAll(bool value) {
    // A unidirectional store keeps only its newest block, so it cannot hold all rows: it
    // turns bidirectional first, which an open dataset refuses before anything has changed.
    if (value) SetUniDirectional(false);
    fetchAll_ = value;
    if (recordSet_) recordSet_->SetProp(prFetchAll, Variant(value));
    if (!value) return;
    if (Active() && recordSet_) {
        recordSet_->FetchAllRows();
        Resync(0);
    }
}

void TCustomDADataSet::SetUniDirectional(bool value) {
    if (value == uniDirectional_) return;
    RequireClosedForChange();
    uniDirectional_ = value;
    if (recordSet_) recordSet_->SetProp(prUniDirectional, Variant(value));
    if (value) SetFetchAll(false);
}

void TCustomDADataSet::SetAutoCommit(bool value) {
    autoCommit_ = value;
    if (command_) command_->SetProp(prAutoCommit, Variant(value));
}

void TCustomDADataSet::SetFilterSQL(const AnsiString& value) {
    if (value == filterSQL_) return;
    const AnsiString old = filterSQL_;
    const bool wasActive = Active();
    filterSQL_ = Trim(value);
    CloseForChange();
    UnprepareDataSet();
    MacrosChanged();
    if (!wasActive) return;
    try {
        OpenDataSet();
    } catch (...) {
        filterSQL_ = old;
        MacrosChanged();
        throw;
    }
}

void TCustomDADataSet::CloseForChange() {
    if (InState(csReading) || InState(csLoading)) return;
    CloseDataSet();
}

void TCustomDADataSet::RequireClosedForChange() {
    if (InState(csReading) || InState(csLoading) || InState(csDesigning))
        CloseForChange();
    else
        RequireClosed();
}

void TCustomDADataSet::SetMasterFields(const AnsiString& value) {
    if (value == masterFields_) return;
    masterFields_ = value;
    if (LinkedToMaster()) ReapplyText();
}

void TCustomDADataSet::SetDetailFields(const AnsiString& value) {
    if (value == detailFields_) return;
    detailFields_ = value;
    if (LinkedToMaster()) ReapplyText();
}

void TCustomDADataSet::SetMasterSource(TDataSource* source) {
    if (source == MasterSource()) return;
    if (source && IsLinkedTo(source)) DatabaseError("Circular datalinks are not allowed");
    detailLink_->SetDataSource(source);
    if (LinkedToMaster()) ReapplyText();
}

void TCustomDADataSet::SetUpdateObject(TDADataSetUpdateObject* value) {
    if (value == updateObject_) return;
    if (updateObject_ && updateObject_->DataSet() == this) updateObject_->SetDataSet(nullptr);
    updateObject_ = value;
    if (!value) return;
    if (TCustomDADataSet* other = value->DataSet(); other && other != this) other->SetUpdateObject(nullptr);
    value->SetDataSet(this);
}

// ---------------------------------------------------------------- prepare, open, execute

void TCustomDADataSet::PrepareDataSet() {
    if (Prepared()) return;
    RequireConnection();
    if (!Untraced)
        TCustomDASQLMonitor::NotifyPrepare(UsedConnection()->SQLMonitorClass(), this, EffectiveSQL(),
                                           unprepareOnClose_, &Params());
    SetWaitCursor(crSQLWait);
    innerSQL_->WriteParams();
    TMemDataSet::PrepareDataSet();
}

void TCustomDADataSet::UnprepareDataSet() {
    if (!Prepared()) return;
    TMemDataSet::UnprepareDataSet();
    unprepareOnClose_ = false;
}

void TCustomDADataSet::ActivateCursor(bool infoOnly) {
    RequireConnection();
    if (infoOnly) {
        TMemDataSet::ActivateCursor(true);
        return;
    }
    if (MasterSource() && MasterSource()->DataSet() && MasterSource()->DataSet()->Active()) ParamsFromMaster();
    queriedRecordCount_ = options_->QueryRecCount ? CountRecordsByQuery() : 0;
    if (!Untraced)
        TCustomDASQLMonitor::NotifyExecute(UsedConnection()->SQLMonitorClass(), this, EffectiveSQL(), "", &Params());
    if (!NonBlocking) {
        SetWaitCursor(crSQLWait);
    } else {
        SetWaitCursor(crBackground);
        DisableControls();
        openPending_ = true;
    }
    try {
        if (!unprepareOnClose_) innerSQL_->WriteParams();
        TMemDataSet::ActivateCursor(false);
        rowsAffected_ = -1;
    } catch (...) {
        if (NonBlocking) {
            openPending_ = false;
            EnableControls();
            SetWaitCursor(crDefault);
        }
        throw;
    }
}

void TCustomDADataSet::DeactivateCursor() {
    platform::TScopeExit pending([this] { EndPendingBackgroundWork(); });
    TMemDataSet::DeactivateCursor();
    if (unprepareOnClose_) UnprepareDataSet();
}

void TCustomDADataSet::StorageClose() {
    try {
        TMemDataSet::StorageClose();
    } catch (const EDAError& error) {
        // Closing a dataset whose connection is lost succeeds.
        TCustomDAConnection* session = UsedConnection();
        if (!session || !session->IsFatalConnectionError(error)) throw;
    }
}

void TCustomDADataSet::ExecuteDataSet() {
    if (Executing()) return;
    RequireConnection();
    if (Active()) CloseDataSet();
    if (!NonBlocking) SetWaitCursor(crSQLWait);
    try {
        unprepareOnClose_ = !Prepared();
        if (!Prepared()) {
            const bool saved = WaitCursorEnabled;
            WaitCursorEnabled = false;
            try {
                PrepareDataSet();
            } catch (...) {
                WaitCursorEnabled = saved;
                throw;
            }
            WaitCursorEnabled = saved;
        }
        if (CursorReturnsRows()) {
            OpenDataSet();
        } else {
            if (!Untraced)
                TCustomDASQLMonitor::NotifyExecute(UsedConnection()->SQLMonitorClass(), this, EffectiveSQL(), "",
                                                   &Params());
            if (NonBlocking) SetWaitCursor(crBackground);
            if (!unprepareOnClose_) innerSQL_->WriteParams();
            ExecuteCommand();
        }
    } catch (...) {
        if (NonBlocking) SetWaitCursor(crDefault);
        // A statement prepared for this execution does not stay prepared after a failure.
        if (unprepareOnClose_ && !Active()) {
            try {
                UnprepareDataSet();
            } catch (...) {
            }
        }
        throw;
    }
}

void TCustomDADataSet::ExecuteCommand() {
    Check(command_ != nullptr, UnitDBAccess, "Dataset has no command");
    command_->Execute(1);
}

void TCustomDADataSet::CommandExecuted(bool success) {
    if (success) {
        innerSQL_->ReadParams();
        Variant rows;
        command_->GetProp(prRowsProcessed, rows);
        rowsAffected_ = rows.AsInteger();
    }
    if (NonBlocking) SetWaitCursor(crDefault);
    // A command that ran for an open leaves unpreparing to the close.
    if (unprepareOnClose_ && !Active() && State() != dsOpening) UnprepareDataSet();
    if (AfterExecute) AfterExecute(*this, success);
}

void TCustomDADataSet::RecordSetExecuted(bool success) {
    const bool background = openPending_;
    openPending_ = false;
    // The fetch of all rows that follows resets the cursor when it ends.
    fetchPending_ = background && success && fetchAll_;
    if (success) innerSQL_->ReadParams();
    if (NonBlocking) {
        if (!success)
            CloseDataSet();
        else if (Active())
            Resync(0);
    }
    if (!(success && fetchAll_)) SetWaitCursor(crDefault);
    if (NonBlocking) EnableControls();
    if (AfterExecute) AfterExecute(*this, success);
}

void TCustomDADataSet::AllFetchedHandler() {
    fetchPending_ = false;
    if (NonBlocking) SetWaitCursor(crDefault);
}

void TCustomDADataSet::EndPendingBackgroundWork() {
    if (openPending_) {
        openPending_ = false;
        EnableControls();
        SetWaitCursor(crDefault);
    }
    if (fetchPending_) {
        fetchPending_ = false;
        SetWaitCursor(crDefault);
    }
}

void TCustomDADataSet::StorageRefresh() {
    queriedRecordCount_ = options_->QueryRecCount ? CountRecordsByQuery() : 0;
    if (!Untraced)
        TCustomDASQLMonitor::NotifyExecute(UsedConnection()->SQLMonitorClass(), this, EffectiveSQL(), "Refresh",
                                           &Params());
    SetWaitCursor(crSQLWait);
    innerSQL_->WriteParams();
    TMemDataSet::StorageRefresh();
    rowsAffected_ = -1;
}

bool TCustomDADataSet::AllRowsFetched() const { return recordSet_ && recordSet_->AllFetched(); }

int TCustomDADataSet::CountRecords() {
    if (Active() && !AllRowsFetched() && options_->QueryRecCount && queriedRecordCount_ != 0 && command_) {
        Variant fetched;
        command_->GetProp(prRowsProcessed, fetched);
        return Data()->GetRecordCount() + queriedRecordCount_ - fetched.AsInteger();
    }
    return TMemDataSet::CountRecords();
}

void TCustomDADataSet::StorageEdit() {
    BeforeEditHook();
    TMemDataSet::StorageEdit();
}

void TCustomDADataSet::WhilePosting(const std::function<void()>& post) {
    postingRecord_ = true;
    try {
        post();
    } catch (...) {
        postingRecord_ = false;
        throw;
    }
    postingRecord_ = false;
}

void TCustomDADataSet::StoragePost() {
    WhilePosting([this] { TMemDataSet::StoragePost(); });
}

void TCustomDADataSet::PostRecordChanges() {
    WhilePosting([this] { TMemDataSet::PostRecordChanges(); });
}

void TCustomDADataSet::FireOnNewRecord() {
    TDataSet* master = MasterSource() ? MasterSource()->DataSet() : nullptr;
    if (LinkedToMaster() && master && master->Active()) {
        for (const auto& [masterName, detailName] : LinkFieldPairs()) {
            TField* from = master->FindField(masterName);
            TField* to = FindField(detailName);
            if (from && to) to->SetValue(from->Value());
        }
    }
    TMemDataSet::FireOnNewRecord();
}

bool TCustomDADataSet::IsModifiable() {
    return !ReadOnly && (LocalUpdate || (CachedUpdates() && OnUpdateRecord) || updateObject_);
}

TSharedObject* TCustomDADataSet::GetBlob(const AnsiString& fieldName) {
    TField* field = FieldNamed(fieldName);
    const TFieldDesc* desc = field->FieldNo() > 0 ? &Data()->FieldAt(field->FieldNo()) : nullptr;
    if (!desc || !Data()->GetComplexTypes().Contains(desc->DataType)) DADatabaseError(SNotBlob);
    return ValueObjectOf(*desc);
}

TSharedObject* TCustomDADataSet::ValueObjectOf(const TFieldDesc& desc) {
    char* buffer = StateBuffer();
    if (!buffer) return nullptr;
    TSharedObject* value = nullptr;
    std::memcpy(&value, buffer + desc.Offset, sizeof(value));
    return value;
}

void TCustomDADataSet::CopyToTarget(TPersistent& target) const {
    TMemDataSet::CopyToTarget(target);
    auto* dataSet = dynamic_cast<TCustomDADataSet*>(&target);
    if (!dataSet) return;
    dataSet->SetConnection(connection_);
    dataSet->SetParamCheck(ParamCheck());
    dataSet->SetSQLText(innerSQL_->SQL().JoinedText());
    dataSet->SetFilterSQL(filterSQL_);
    dataSet->innerSQL_->SetMacros(innerSQL_->Macros());
    dataSet->Params().CopyFromSource(&Params());
    dataSet->Debug = Debug;
    dataSet->SetFetchRows(fetchRows_);
    dataSet->SetUniDirectional(uniDirectional_);
    dataSet->SetAutoCommit(autoCommit_);
    dataSet->RefreshOptions = RefreshOptions;
}

// ---------------------------------------------------------------- provider interface

void TCustomDADataSet::ProviderBeginTransaction() {
    TCustomDAConnection* session = UsedConnection();
    if (session && autoCommit_ && session->AutoCommit()) session->BeginTransaction();
}

void TCustomDADataSet::ProviderFinishTransaction(bool commit) {
    TCustomDAConnection* session = UsedConnection();
    if (!session || !autoCommit_ || !session->AutoCommit()) return;
    if (commit)
        session->Commit();
    else
        session->Rollback();
}

bool TCustomDADataSet::ProviderInTransaction() const {
    TCustomDAConnection* session = UsedConnection();
    return session && session->InTransaction();
}

// "?" marks outside strings and comments become ":1", ":2"... in order.
int TCustomDADataSet::ProviderRunStatement(const AnsiString& text, const TParams* params) {
    RequireConnection();
    std::unique_ptr<TCustomDASQL> statement = UsedConnection()->NewSQLObject();
    statement->Debug = Debug;
    TParser parser(text);
    parser.OmitBlank = false;
    parser.OmitComment = false;
    parser.Uppercase = false;
    parser.QuotedString = true;
    AnsiString numbered;
    int number = 0;
    std::string token;
    for (int code = parser.GetNext(token); code != lcEnd; code = parser.GetNext(token))
        numbered += code != lcString && code != lcComment && token == "?" ? ":" + IntToStr(++number) : token;
    statement->SetSQLText(numbered);
    TParams& own = statement->Params();
    for (int i = 0; params && i < own.Count() && i < params->Count(); ++i) {
        TParam& param = own.Items(i);
        param.CopyFromSource(&params->Items(i));
        param.SetName(IntToStr(i + 1));
        if (param.ParamType() == ptUnknown) param.SetParamType(ptInput);
    }
    statement->Execute();
    return statement->RowsAffected();
}

void TCustomDADataSet::ProviderResetCursor() {
    if (!Active()) return;
    CloseDataSet();
    OpenDataSet();
}

void TCustomDADataSet::ProviderAssignParams(const TParams& params) {
    if (params.Count() > 0) Params().CopyFromSource(&params);
    CloseDataSet();
}

void TCustomDADataSet::ProviderAssignCommandText(const AnsiString& text) {
    if (!text.empty()) SetSQLText(text);
}

// ---------------------------------------------------------------- master/detail

bool TCustomDADataSet::ParamsFromMaster() {
    TDataSet* master = MasterSource() ? MasterSource()->DataSet() : nullptr;
    if (!master) return false;
    bool changed = false;
    TParams& params = Params();
    for (int i = 0; i < params.Count(); ++i) {
        TParam& param = params.Items(i);
        TField* field = master->FindField(param.Name());
        // Other parameters keep the direction the user gave them.
        if (!field) continue;
        const Variant value = field->Value();
        if (!param.Bound() || VarCompareValue(param.Value(), value) != TVariantRelationship::vrEqual) {
            param.AssignFieldValue(*field, value);
            changed = true;
        }
        param.SetParamType(ptInput);
    }
    return changed;
}

void TCustomDADataSet::RefreshDetail() {
    DisableControls();
    try {
        TDataSet* master = MasterSource() ? MasterSource()->DataSet() : nullptr;
        if (master && master->Active() && master->State() != dsSetKey && ParamsFromMaster()) {
            if (!Untraced)
                TCustomDASQLMonitor::NotifyExecute(UsedConnection()->SQLMonitorClass(), this, EffectiveSQL(),
                                                   "Refresh", &Params());
            SetWaitCursor(crSQLWait);
            innerSQL_->WriteParams();
            if (BeforeRefresh) BeforeRefresh(*this);
            CheckBrowseMode();
            UpdateCursorPos();
            try {
                Data()->Reopen();
            } catch (...) {
                Resync(0);
                if (AfterRefresh) AfterRefresh(*this);
                throw;
            }
            Resync(0);
            if (AfterRefresh) AfterRefresh(*this);
            rowsAffected_ = -1;
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

}  // namespace oracle

// ---------------------------------------------------------------- update statements

namespace oracle {

using namespace platform;

namespace {

bool IsOldValueName(const AnsiString& name) { return name.size() >= 4 && AnsiSameText(name.substr(0, 4), "OLD_"); }

AnsiString KindNames(TStatementTypes kinds) {
    static const char* const names[] = {"Query", "Insert", "Update", "Delete", "Lock", "Refresh", "Check", "Custom"};
    AnsiString text;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(kinds & (1 << bit))) continue;
        if (!text.empty()) text += ",";
        text += names[bit];
    }
    return text;
}


// Makes a read-only field writable while a value is assigned.
void AssignToField(TField& field, const Variant& value) {
    const bool readOnly = field.ReadOnly();
    field.SetReadOnly(false);
    try {
        field.SetValue(value);
    } catch (...) {
        field.SetReadOnly(readOnly);
        throw;
    }
    field.SetReadOnly(readOnly);
}

}  // namespace

bool FieldTypeHoldsObject(TFieldType type) {
    switch (type) {
        case ftBlob: case ftMemo: case ftCursor: case ftADT: case ftArray: case ftReference: case ftDataSet:
        case ftOraBlob: case ftOraClob:
            return true;
        default:
            return false;
    }
}

AnsiString TCustomDADataSet::InsertSQLText() {
    return updateObject_ ? updateObject_->SQL(platform::ukInsert).JoinedText() : AnsiString();
}

AnsiString TCustomDADataSet::DeleteSQLText() {
    return updateObject_ ? updateObject_->SQL(platform::ukDelete).JoinedText() : AnsiString();
}

AnsiString TCustomDADataSet::UpdateSQLText() {
    return updateObject_ ? updateObject_->SQL(platform::ukModify).JoinedText() : AnsiString();
}

AnsiString TCustomDADataSet::RefreshSQLText() {
    return updateObject_ ? updateObject_->RefreshSQL().JoinedText() : AnsiString();
}

void TCustomDADataSet::ApplyInsert() {
    if (!PerformSQL(InsertSQLText(), stInsert)) return;
    AfterInsertHook();
    if (RefreshOptions & roAfterInsert) RefreshCurrentRecord();
}

void TCustomDADataSet::ApplyDelete() { PerformSQL(DeleteSQLText(), stDelete); }

void TCustomDADataSet::ApplyUpdate() {
    if (PerformSQL(UpdateSQLText(), stUpdate) && (RefreshOptions & roAfterUpdate)) RefreshCurrentRecord();
}

void TCustomDADataSet::RefreshCurrentRecord() { PerformSQL(RefreshSQLText(), stRefresh); }

void TCustomDADataSet::NewUpdateDataSet() {
    if (!updateDataSet_) {
        RequireConnection();
        updateDataSet_ = UsedConnection()->NewDataSet();
        updateDataSet_->Untraced = true;
    }
    updateDataSet_->Options().SetTrimFixedChar(options_->TrimFixedChar());
}

void TCustomDADataSet::ParamFromField(TParam& param, TField& field, bool old) {
    param.AssignFieldValue(field, old ? field.OldValue() : field.Value());
}

const TFieldDesc* TCustomDADataSet::ParamFieldDesc(const TField& field) const {
    if (field.FieldNo() > 0) return &Data()->FieldAt(field.FieldNo());
    return field.DataSet() ? nullptr : TopLevelObjectColumn(field.FieldName());
}

const TFieldDesc* TCustomDADataSet::TopLevelObjectColumn(const AnsiString& name) const {
    const TFieldDescs& descs = Data()->Fields();
    for (int i = 0; i < descs.Count(); ++i) {
        const TFieldDesc* desc = descs.Items(i);
        if (!desc->ParentField && (desc->DataType == dtObject || desc->DataType == dtArray) &&
            AnsiSameText(desc->Name, name))
            return desc;
    }
    return nullptr;
}

bool TCustomDADataSet::FireBeforeUpdateExecute(TStatementTypes kinds, bool askOnly) {
    if (!BeforeUpdateExecute) return false;
    if (!askOnly) BeforeUpdateExecute(*this, kinds, updateDataSet_->Params());
    return true;
}

void TCustomDADataSet::FireAfterUpdateExecute(TStatementTypes kinds) {
    if (AfterUpdateExecute) AfterUpdateExecute(*this, kinds, updateDataSet_->Params());
}

void TCustomDADataSet::BindUpdateParams(TStatementTypes kinds, std::vector<bool>& oldParams) {
    TParams& params = updateDataSet_->Params();
    oldParams.assign(static_cast<size_t>(params.Count()), false);
    for (int i = 0; i < params.Count(); ++i) {
        TParam& param = params.Items(i);
        AnsiString name = param.Name();
        const bool oldValue = IsOldValueName(name);
        if (oldValue) name = name.substr(4);
        oldParams[static_cast<size_t>(i)] = oldValue;
        if (TField* field = FindField(name)) {
            ParamFromField(param, *field, oldValue && State() != dsInsert);
        } else if (const TFieldDesc* column = TopLevelObjectColumn(name)) {
            // An object or array column without a field of its own (persistent fields
            // leaving it out) still gives its value: through a field made for the moment.
            std::unique_ptr<TField> temporary;
            if (column->DataType == dtObject)
                temporary = NewUnownedComponent<TADTField>();
            else
                temporary = NewUnownedComponent<TArrayField>();
            temporary->SetFieldName(column->Name);
            ParamFromField(param, *temporary, false);
        } else if (TParam* own = FindParam(name); own && (kinds & stRefresh)) {
            const AnsiString keep = param.Name();
            param.CopyFromSource(own);
            param.SetName(keep);
        } else if (!FireBeforeUpdateExecute(kinds, true)) {
            DADatabaseErrorFmt(SNoCorrespondParam, param.Name());
        }
        param.SetParamType(ptInput);
    }
    if (FireBeforeUpdateExecute(kinds, false)) {
        for (int i = 0; i < params.Count(); ++i)
            if (params.Items(i).DataType() == ftUnknown) DADatabaseErrorFmt(SUnknownParamDataType, params.Items(i).Name());
    }
}

void TCustomDADataSet::ReadRefreshedRecord(TStatementTypes kinds) {
    TData& source = *updateDataSet_->Data();
    TData& target = *Data();
    TRecordBuffer record = source.AllocRecBuf();
    source.SetToBegin();
    source.GetNextRecord(record.data());
    char* current = StateBuffer();
    if (source.Eof() || !current) return;
    const TDataSetState state = State();
    const bool compareOld = state == dsEdit || state == dsInsert || state == dsSetKey;
    // The scratch record is a plain copy of the store's: it owns no value objects.
    for (int i = 0; i < source.FieldCount(); ++i) {
        const TFieldDesc& from = *source.Fields().Items(i);
        if (from.ParentField) continue;
        const TFieldDesc* to = target.FindField(from.Name);
        if (!to) continue;
        if (!source.GetComplexTypes().Contains(from.DataType)) {
            Variant value;
            source.GetFieldAsVariant(from.FieldNo, record.data(), value);
            TField* field = FindField(from.Name);
            if (!field) continue;
            if (kinds & stCheck) {
                const Variant mine = compareOld ? field->OldValue() : field->Value();
                if (VarCompareValue(mine, value) != TVariantRelationship::vrEqual) DADatabaseError(SRecordChanged);
            } else if (!postingRecord_) {
                target.PutFieldAsVariant(to->FieldNo, current, value);
            } else {
                AssignToField(*field, value);
            }
        } else if ((kinds & stRefresh) && target.GetComplexTypes().Contains(to->DataType) &&
                   to->DataType == from.DataType) {
            TakeOverValueObject(record.data() + from.Offset, current, *to, state);
        }
    }
    // A cached change being applied goes back to the store with its record.
    if ((kinds & stRefresh) && !postingRecord_ && state != dsInsert && !ApplyingCachedChange()) {
        UpdateCursorPos();
        target.PutRecord(current);
    }
}

void TCustomDADataSet::TakeOverValueObject(const uint8_t* readSlot, char* current, const TFieldDesc& to,
                                           TDataSetState state) {
    TData& target = *Data();
    // The statement's record holds its own reference; the current record takes one too.
    TSharedObject* shared = nullptr;
    TSharedObject* previous = nullptr;
    std::memcpy(&shared, readSlot, sizeof(shared));
    std::memcpy(&previous, current + to.Offset, sizeof(previous));
    if (shared == previous) return;
    if (shared) shared->AddRef();
    std::memcpy(current + to.Offset, &shared, sizeof(shared));
    target.SetNull(to.FieldNo, current, shared == nullptr);
    // A record being edited shares its blobs with the store's record (a cancel finds
    // them there): the store takes the new value too, so the old one goes exactly once.
    if (state == dsEdit && previous) {
        if (!postingRecord_) UpdateCursorPos();
        TRecordBuffer stored = target.AllocRecBuf();
        target.GetRecord(stored.data());
        TSharedObject* storedObject = nullptr;
        std::memcpy(&storedObject, stored.data() + to.Offset, sizeof(storedObject));
        if (storedObject == previous) {
            std::memcpy(stored.data() + to.Offset, &shared, sizeof(shared));
            target.SetNull(to.FieldNo, stored.data(), shared == nullptr);
            target.PutRecord(stored.data());
        }
    }
    ReleaseObject(previous);
    if (state == dsEdit || state == dsInsert) {
        if (auto* blob = dynamic_cast<TBlobField*>(FindField(to.Name))) blob->SetModified(true);
    }
}

void TCustomDADataSet::WriteBackParams(const std::vector<bool>& oldParams) {
    TParams& params = updateDataSet_->Params();
    for (int i = 0; i < params.Count(); ++i) {
        if (oldParams[static_cast<size_t>(i)]) continue;
        const TParam& param = params.Items(i);
        TField* field = FindField(param.Name());
        if (!field || !FieldUsableAsParam(field) || FieldTypeHoldsObject(field->DataType())) continue;
        AssignToField(*field, param.Value());
    }
}

bool TCustomDADataSet::PerformSQL(const AnsiString& text, TStatementTypes kinds) {
    if (text.empty()) return false;
    NewUpdateDataSet();
    TCustomDADataSet& update = *updateDataSet_;
    update.SetSQLText(text);
    update.SetAutoCommit((kinds & (stInsert | stUpdate | stDelete)) ? autoCommit_ : false);

    std::vector<bool> oldParams;
    try {
        BindUpdateParams(kinds, oldParams);
    } catch (...) {
        if (!Untraced)
            TCustomDASQLMonitor::NotifyExecute(UsedConnection()->SQLMonitorClass(), this, text, KindNames(kinds),
                                               &update.Params());
        throw;
    }
    if (!Untraced)
        TCustomDASQLMonitor::NotifyExecute(UsedConnection()->SQLMonitorClass(), this, text, KindNames(kinds),
                                           &update.Params());

    update.PrepareDataSet();
    const bool returnsRows = update.CursorReturnsRows() || update.Data()->FieldCount() > 0;
    if ((kinds & (stRefresh | stCheck)) && returnsRows) {
        try {
            update.OpenDataSet();
            const int found = update.Data()->GetRecordCount();
            rowsAffected_ = found;
            if (options_->StrictUpdate && found != 1) DADatabaseErrorFmt(SRefreshFailed, found);
            // An empty result changes nothing.
            if (found > 0) ReadRefreshedRecord(kinds);
        } catch (...) {
            update.CloseDataSet();
            throw;
        }
        update.CloseDataSet();
    } else {
        update.ExecuteDataSet();
        rowsAffected_ = update.RowsAffected();
        if (options_->StrictUpdate && rowsAffected_ != 1) DADatabaseErrorFmt(SUpdateFailed, rowsAffected_);
        if (ReturnParamsOption() || (kinds & stRefresh)) WriteBackParams(oldParams);
    }
    FireAfterUpdateExecute(kinds);
    return true;
}

}  // namespace oracle
