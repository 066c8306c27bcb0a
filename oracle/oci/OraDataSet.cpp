#include "oracle/oci/OraDataSet.h"

#include <atomic>

#include "oracle/core/DAError.h"
#include "oracle/core/DASQLMonitor.h"
#include "oracle/core/WaitCursor.h"
#include "oracle/oci/FieldOrigins.h"
#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OCIRecordSet.h"
#include "oracle/oci/OraError.h"
#include "oracle/oci/OraFields.h"
#include "oracle/oci/OraNestedTable.h"
#include "oracle/oci/OraParser.h"
#include "oracle/oci/OraSQL.h"
#include "oracle/oci/OraSession.h"
#include "oracle/oci/OraSqlText.h"
#include "platform/Field.h"
#include "platform/ScopeExit.h"

namespace oracle {

using namespace platform;

namespace {

// Savepoint names are identifiers of at most 30 characters.
constexpr size_t SavepointNameTail = 25;

bool SharesValueObject(TFieldType type) { return FieldTypeHoldsObject(type) || type == FieldTypeBFile; }

// The statement without a FOR UPDATE clause of its own: a counting query around it may
// not lock, and the server refuses it there.
AnsiString WithoutForUpdate(const AnsiString& sql) {
    TOraParser parser(sql);
    parser.OmitComment = true;
    std::string token;
    int depth = 0;
    for (int code = parser.GetNext(token); code != lcEnd; code = parser.GetNext(token)) {
        if (token == "(") {
            ++depth;
        } else if (token == ")") {
            --depth;
        } else if (depth == 0 && code != lcString && AnsiUpperCase(token) == "FOR") {
            const int start = parser.PrevPos();
            std::string next;
            if (parser.GetNext(next) != lcEnd && AnsiUpperCase(next) == "UPDATE") return TrimRight(sql.substr(0, start));
            parser.Back();
        }
    }
    return sql;
}

}  // namespace

// ================================================================ options

TOraDataSetOptions::TOraDataSetOptions(TOraDataSet* owner) : TDADataSetOptions(owner), oraOwner_(owner) {}

const TClassInfo& TOraDataSetOptions::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TOraDataSetOptions", &TDADataSetOptions::StaticClassInfo());
        i.Property("KeepPrepared", &TOraDataSetOptions::KeepPrepared, &TOraDataSetOptions::SetKeepPrepared);
        i.Property("AutoClose", &TOraDataSetOptions::AutoClose, &TOraDataSetOptions::SetAutoClose);
        i.Property("FieldsOrigin", &TOraDataSetOptions::FieldsOrigin, &TOraDataSetOptions::SetFieldsOrigin);
        i.Property("DefaultValues", &TOraDataSetOptions::DefaultValues, &TOraDataSetOptions::SetDefaultValues);
        i.Property("FieldsAsString", &TOraDataSetOptions::FieldsAsString, &TOraDataSetOptions::SetFieldsAsString);
        i.Property("DeferredLobRead", &TOraDataSetOptions::DeferredLobRead, &TOraDataSetOptions::SetDeferredLobRead);
        i.Property("CacheLobs", &TOraDataSetOptions::CacheLobs, &TOraDataSetOptions::SetCacheLobs);
        return i;
    }();
    return info;
}

void TOraDataSetOptions::SetKeepPrepared(bool value) {
    keepPrepared_ = value;
    if (oraOwner_ && oraOwner_->RecordSet()) oraOwner_->RecordSet()->SetProp(prKeepPrepared, Variant(value));
}

void TOraDataSetOptions::SetAutoClose(bool value) {
    autoClose_ = value;
    if (oraOwner_ && oraOwner_->RecordSet()) oraOwner_->RecordSet()->SetProp(prAutoClose, Variant(value));
}

void TOraDataSetOptions::SetFieldsAsString(bool value) {
    fieldsAsString_ = value;
    if (oraOwner_ && oraOwner_->Command()) oraOwner_->Command()->SetProp(prFieldsAsString, Variant(value));
}

void TOraDataSetOptions::SetDeferredLobRead(bool value) {
    deferredLobRead_ = value;
    if (oraOwner_ && oraOwner_->RecordSet()) oraOwner_->RecordSet()->SetProp(prDeferredLobRead, Variant(value));
}

void TOraDataSetOptions::SetCacheLobs(bool value) {
    cacheLobs_ = value;
    if (oraOwner_ && oraOwner_->Command()) oraOwner_->Command()->SetProp(prCacheLobs, Variant(value));
}

void TOraDataSetOptions::CopyToTarget(TPersistent& target) const {
    TDADataSetOptions::CopyToTarget(target);
    auto* options = dynamic_cast<TOraDataSetOptions*>(&target);
    if (!options) return;
    options->SetKeepPrepared(keepPrepared_);
    options->SetAutoClose(autoClose_);
    options->SetFieldsOrigin(fieldsOrigin_);
    options->SetDefaultValues(defaultValues_);
    options->SetFieldsAsString(fieldsAsString_);
    options->SetCacheLobs(cacheLobs_);
}

// ================================================================ construction

TOraDataSet::TOraDataSet(TComponent* owner) : TCustomDADataSet(owner) {
    static std::atomic<uint32_t> instances{0};
    instanceNumber_ = ++instances;
    SetNestedDataSetClass(&TOraNestedTable::StaticClassInfo());
}

TOraDataSet::~TOraDataSet() {
    try {
        CloseBeforeDestruction();
    } catch (...) {
        // A destructor must not throw.
    }
    // The base's destructor sees only an explicit session; a dataset working on the
    // default one leaves its client list here.
    if (!Connection()) {
        if (TOraSession* session = DefaultSession(); session && session->HasClient(this)) session->DetachClient(this);
    }
}

const TClassInfo& TOraDataSet::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TOraDataSet", &TCustomDADataSet::StaticClassInfo());
        i.Property("KeySequence", &TOraDataSet::KeySequence, &TOraDataSet::SetKeySequence);
        i.Property("KeyFields", &TOraDataSet::KeyFields, &TOraDataSet::SetKeyFields);
        i.Property("NonBlocking", &TOraDataSet::NonBlocking, &TOraDataSet::SetNonBlocking);
        i.EnumProperty("LockMode", &TOraDataSet::LockMode, &TOraDataSet::SetLockMode,
                       {{"lmNone", lmNone}, {"lmLockImmediate", lmLockImmediate}, {"lmLockDelayed", lmLockDelayed}});
        i.EnumProperty("SequenceMode", &TOraDataSet::SequenceMode, &TOraDataSet::SetSequenceMode,
                       {{"smInsert", smInsert}, {"smPost", smPost}});
        i.ComponentProperty("Session", &TOraDataSet::SetSession);
        i.ObjectProperty("OptionsDS", &TOraDataSet::OptionsDS);
        return i;
    }();
    return info;
}

std::unique_ptr<TCustomDASQL> TOraDataSet::NewInnerSQL() {
    return NewUnownedComponent<TOraSQL>(static_cast<TCustomDADataSet*>(this));
}

std::unique_ptr<TDADataSetOptions> TOraDataSet::NewDataSetOptions() {
    return std::make_unique<TOraDataSetOptions>(this);
}

TOraSession* TOraDataSet::Session() const { return dynamic_cast<TOraSession*>(Connection()); }

void TOraDataSet::SetSession(TOraSession* session) { SetConnection(session); }

TCustomDAConnection* TOraDataSet::UsedConnection() const {
    if (Connection()) return Connection();
    return DefaultSession();
}

TOraSession& TOraDataSet::UsedSession() const {
    auto* session = dynamic_cast<TOraSession*>(UsedConnection());
    if (!session) DADatabaseError(SConnectionNotDefined);
    return *session;
}

void TOraDataSet::DisconnectDataSet() {
    Params().ReleaseServerHandles();
    TCustomDADataSet::DisconnectDataSet();
}

// ---------------------------------------------------------------- record set

void TOraDataSet::CreateRecordStore() {
    TCustomDADataSet::CreateRecordStore();
    if (!RecordSet()) AttachRecordStore(std::make_unique<TOCIRecordSet>());
}

void TOraDataSet::AttachRecordStore(std::unique_ptr<TData> store) {
    TCustomDADataSet::AttachRecordStore(std::move(store));
    oraRecordSet_ = dynamic_cast<TOCIRecordSet*>(RecordSet());
    oraCommand_ = oraRecordSet_ ? oraRecordSet_->OCICommand() : nullptr;
    if (!oraRecordSet_) return;
    const TOraDataSetOptions& options = OptionsDS();
    oraRecordSet_->SetProp(prKeepPrepared, Variant(options.KeepPrepared()));
    oraRecordSet_->SetProp(prAutoClose, Variant(options.AutoClose()));
    oraRecordSet_->SetProp(prDeferredLobRead, Variant(options.DeferredLobRead()));
    oraRecordSet_->AssignEvent(evBlockFetch, [this](const Variant& starting) { BlockFetchEvent(starting.AsBoolean()); });
    oraCommand_->SetProp(prNonBlocking, Variant(NonBlocking()));
    oraCommand_->SetProp(prFieldsAsString, Variant(options.FieldsAsString()));
    oraCommand_->SetProp(prCacheLobs, Variant(options.CacheLobs()));
}

void TOraDataSet::BlockFetchEvent(bool beforeBlock) {
    if (NonBlocking()) return;
    if (beforeBlock) {
        SetWaitCursor(crSQLWait);
        if (BeforeFetch) BeforeFetch(*this);
    } else if (AfterFetch) {
        AfterFetch(*this);
    }
}

std::unique_ptr<TField> TOraDataSet::FieldClassForType(TFieldType type) { return OraFieldForType(type); }

// ---------------------------------------------------------------- properties

void TOraDataSet::SetKeySequence(const AnsiString& value) { keySequence_ = Trim(value); }

void TOraDataSet::SetKeyFields(const AnsiString& value) {
    const AnsiString fields = Trim(value);
    if (fields == keyFields_) return;
    RequireClosed();
    keyFieldDescs_.ClearItems();
    size_t start = 0;
    while (start <= fields.size()) {
        size_t end = fields.find(';', start);
        if (end == AnsiString::npos) end = fields.size();
        const AnsiString name = Trim(fields.substr(start, end - start));
        if (!name.empty()) {
            auto desc = std::make_unique<TFieldDesc>();
            desc->Name = name;
            keyFieldDescs_.Add(std::move(desc));
        }
        start = end + 1;
    }
    keyFields_ = fields;
}

void TOraDataSet::SetNonBlocking(bool value) {
    TCustomDADataSet::NonBlocking = value;
    if (oraCommand_) oraCommand_->SetProp(prNonBlocking, Variant(value));
}

AnsiString TOraDataSet::ProviderTableName() { return FirstTableName(InnerSQL().FinalStatementText()); }

// ---------------------------------------------------------------- open

void TOraDataSet::SetActive(bool value) {
    if (InState(csReading)) {
        streamedActive_ = value;
        return;
    }
    TCustomDADataSet::SetActive(value);
}

void TOraDataSet::StreamingCompleted() {
    TCustomDADataSet::StreamingCompleted();
    if (!streamedActive_) return;
    streamedActive_ = false;
    TOraSession* session = Session();
    if (session && session->Options().NeverConnect && !InState(csDesigning)) return;
    try {
        OpenDataSet();
    } catch (...) {
        // At design time the failure is only shown; the form still loads.
        if (!InState(csDesigning)) throw;
    }
}

void TOraDataSet::ActivateCursor(bool infoOnly) {
    TCustomDADataSet::ActivateCursor(infoOnly);
    if (infoOnly) return;
    if (OptionsDS().FieldsOrigin() || OptionsDS().DefaultValues())
        ReadFieldOrigins(*this, OptionsDS().DefaultValues());
    if (hideRowId_ && DefaultFields()) {
        if (TField* rowId = FindField("ROWID")) rowId->SetVisible(false);
    }
}

void TOraDataSet::FireAfterOpen() {
    TCustomDADataSet::FireAfterOpen();
    // Nested tables re-read their rows from this dataset's first record.
    for (TDataSet* nested : NestedDataSets())
        if (nested->Active()) nested->DataEvent(deParentScroll, 0);
}

bool TOraDataSet::CursorReturnsRows() {
    CheckPrepared();
    return oraRecordSet_ && oraRecordSet_->CursorReady();
}

int TOraDataSet::CountRecordsByQuery() {
    const AnsiString text = RecordCountSQL(WithoutForUpdate(EffectiveSQL()));
    std::unique_ptr<TCustomDADataSet> counter = UsedSession().NewDataSet();
    counter->Untraced = true;
    counter->SetSQLText(text);
    counter->Params().CopyFromSource(&Params());
    counter->PrepareDataSet();
    auto* counterCommand = dynamic_cast<TOCICommand*>(counter->Command());
    if (!counterCommand || counterCommand->SQLType() != SQL_SELECT) return 0;
    TCustomDASQLMonitor::NotifyExecute(UsedConnection()->SQLMonitorClass(), this, text, "Get RecCount",
                                       &counter->Params());
    counter->OpenDataSet();
    if (counter->IsEmpty()) return 0;
    return counter->Fields().FieldAt(0)->ReadAsInteger();
}

// ---------------------------------------------------------------- commands

void TOraDataSet::ExecuteCommand() {
    try {
        TCustomDADataSet::ExecuteCommand();
    } catch (EOraError& error) {
        if (error.ErrorCode() != OraSuccessWithCompilationErrors) throw;
        AnsiString listing;
        try {
            listing = UsedSession().GetCompileErrors(EffectiveSQL());
        } catch (...) {
            // The listing could not be read: the server's own message stays.
            throw error;
        }
        if (!listing.empty()) error.SetMessage(listing);
        throw;
    }
}

void TOraDataSet::NewUpdateDataSet() {
    TCustomDADataSet::NewUpdateDataSet();
    if (auto* update = dynamic_cast<TOraDataSet*>(UpdateDataSet()))
        update->OptionsDS().SetCacheLobs(OptionsDS().CacheLobs());
}

bool TOraDataSet::PerformSQL(const AnsiString& text, TStatementTypes kinds) {
    // A lock query and a key-sequence block report no processed rows of their own: the
    // base's count check is for DML. A lock is checked by the rows it found instead.
    const bool ownCheck = (kinds & ~(stLock | stCustom)) == 0;
    TDADataSetOptions& options = Options();
    const bool strict = options.StrictUpdate;
    if (ownCheck) options.StrictUpdate = false;
    {
        const TScopeExit restore([&] { options.StrictUpdate = strict; });
        if (!TCustomDADataSet::PerformSQL(text, kinds)) return false;
    }
    if (ownCheck && (kinds & stLock)) {
        TCustomDADataSet& update = *UpdateDataSet();
        const bool rows = update.Active();
        const int found = rows ? update.Data()->GetRecordCount() : update.RowsAffected();
        if (rows) update.CloseDataSet();
        if (strict && found != 1) DADatabaseErrorFmt(rows ? SRefreshFailed : SUpdateFailed, found);
    }
    returnedRowId_.clear();
    if (auto* update = dynamic_cast<TOraDataSet*>(UpdateDataSet()); update && update->OraCommand()) {
        try {
            returnedRowId_ = update->OraCommand()->GetRowId();
        } catch (const Exception&) {
            // A statement without a cursor left (a lock query closed) has no ROWID to give.
        }
    }
    return true;
}

void TOraDataSet::AfterInsertHook() {
    TField* rowId = FindField("ROWID");
    if (!rowId || returnedRowId_.empty()) return;
    const bool readOnly = rowId->ReadOnly();
    const TDataSetState saved = SetTempState(State());
    rowId->SetReadOnly(false);
    try {
        rowId->WriteAsString(returnedRowId_);
    } catch (...) {
        rowId->SetReadOnly(readOnly);
        RestoreState(saved);
        throw;
    }
    rowId->SetReadOnly(readOnly);
    RestoreState(saved);
}

void TOraDataSet::ParamFromField(TParam& param, TField& field, bool old) {
    auto* oraParam = dynamic_cast<TOraParam*>(&param);
    const TFieldDesc* desc = SharesValueObject(field.DataType()) ? ParamFieldDesc(field) : nullptr;
    if (!oraParam || !desc || !Data()->GetComplexTypes().Contains(desc->DataType)) {
        TCustomDADataSet::ParamFromField(param, field, old);
        return;
    }
    oraParam->SetDataType(OraDataTypeToFieldType(desc->DataType));
    oraParam->ShareValueObject(ValueObjectOf(*desc));
}

bool TOraDataSet::FireBeforeUpdateExecute(TStatementTypes kinds, bool askOnly) {
    if (!BeforeUpdateExecute) return false;
    if (!askOnly) BeforeUpdateExecute(*this, kinds, static_cast<TOraParams&>(UpdateDataSet()->Params()));
    return true;
}

void TOraDataSet::FireAfterUpdateExecute(TStatementTypes kinds) {
    if (AfterUpdateExecute) AfterUpdateExecute(*this, kinds, static_cast<TOraParams&>(UpdateDataSet()->Params()));
}

// ---------------------------------------------------------------- SQL text operations

AnsiString TOraDataSet::AddWhereCondition(const AnsiString& text, const AnsiString& condition) {
    return oracle::AddWhereCondition(text, condition);
}

AnsiString TOraDataSet::RemoveWhereClause(const AnsiString& text) { return oracle::RemoveWhereClause(text); }

AnsiString TOraDataSet::ReplaceOrderBy(const AnsiString& text, const AnsiString& fields) {
    return oracle::ReplaceOrderBy(text, fields);
}

AnsiString TOraDataSet::OrderByClause(const AnsiString& text) { return oracle::OrderByClause(text); }

// ---------------------------------------------------------------- keys and locks

void TOraDataSet::FetchKeySequenceValue() {
    TDADataSetOptions& options = Options();
    const bool returnParams = options.ReturnParams;
    options.ReturnParams = true;
    const TScopeExit restore([&] { options.ReturnParams = returnParams; });
    PerformSQL("begin\r  SELECT " + keySequence_ + ".NEXTVAL INTO :" + keyFieldDescs_.Items(0)->Name +
                   " FROM Dual;\rend;",
               stCustom);
}

void TOraDataSet::StorageInsert() {
    TCustomDADataSet::StorageInsert();
    if (keySequence_.empty() || sequenceMode_ != smInsert || keyFieldDescs_.Count() == 0) return;
    // The new record is in place but the dataset enters the insert state only after
    // this step; the key is written into the new record all the same.
    const TDataSetState saved = SetTempState(dsInsert);
    const TScopeExit restore([&] { RestoreState(saved); });
    FetchKeySequenceValue();
}

AnsiString TOraDataSet::LockSavepointName() const {
    const AnsiString& name = Name();
    // Datasets without a name would share one savepoint: the unlock of one would then
    // roll back to where another set its lock. Each of them gets a name of its own.
    if (name.empty()) return "LOCK_" + IntToHex(instanceNumber_, 8);
    return "LOCK_" + (name.size() > SavepointNameTail ? name.substr(name.size() - SavepointNameTail) : name);
}

void TOraDataSet::LockRecord() {
    if (Eof()) return;
    UpdateCursorPos();
    UsedSession().Savepoint(LockSavepointName());
    LockCurrentRecord();
}

void TOraDataSet::LockCurrentRecord() {
    // Going on without a lock statement would edit as if the record were locked.
    if (!PerformSQL(LockSQLText(), stLock)) DatabaseError("No statement to lock the record with");
}

void TOraDataSet::UnlockRecord() {
    // Everything the session did since the savepoint goes back with the lock, also what
    // other datasets and statements of the session changed meanwhile without a commit.
    try {
        UsedSession().RollbackToSavepoint(LockSavepointName());
    } catch (...) {
        // No savepoint to go back to (the transaction ended): nothing is locked.
    }
}

void TOraDataSet::ApplyDelete() {
    if (lockMode_ != lmNone) LockRecord();
    try {
        TCustomDADataSet::ApplyDelete();
    } catch (...) {
        if (lockMode_ != lmNone) UnlockRecord();
        throw;
    }
}

void TOraDataSet::ApplyUpdate() {
    if (lockMode_ == lmLockDelayed) LockRecord();
    // Without an update statement the base runs nothing; the lock then goes at once.
    const bool hasStatement = !UpdateSQLText().empty();
    try {
        TCustomDADataSet::ApplyUpdate();
    } catch (...) {
        if (lockMode_ == lmLockDelayed) UnlockRecord();
        throw;
    }
    if (!hasStatement && lockMode_ != lmNone) UnlockRecord();
}

// ---------------------------------------------------------------- copying

void TOraDataSet::CopyToTarget(TPersistent& target) const {
    TCustomDADataSet::CopyToTarget(target);
    auto* dataSet = dynamic_cast<TOraDataSet*>(&target);
    if (!dataSet) return;
    dataSet->SetNonBlocking(NonBlocking());
    dataSet->lockMode_ = lockMode_;
    dataSet->SetKeyFields(keyFields_);
}

}  // namespace oracle
