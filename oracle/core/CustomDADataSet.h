// TCustomDADataSet: the engine-neutral SQL dataset. Its record store is a back-end
// record set; an inner statement holds its SQL text, parameters and macros. It opens
// queries, executes statements without rows, follows a master dataset, and applies
// record changes by running insert, update, delete, refresh and check statements
// through its update dataset. TDADataSet is the published generic form; the Oracle
// dataset and query derive from it.
#pragma once

#include <functional>
#include <memory>

#include "oracle/core/CustomDASQL.h"
#include "oracle/core/MemDataSet.h"
#include "oracle/core/QdAccess.h"
#include "oracle/core/SharedObject.h"
#include "platform/DataLink.h"
#include "platform/Params.h"

namespace oracle {

class TCustomDAConnection;
class TCustomDADataSet;
class TDADataSet;

enum TRefreshOption : int { roAfterInsert = 1, roAfterUpdate = 2, roBeforeEdit = 4 };
using TRefreshOptions = int;

// Kinds of the statements a dataset runs, one bit each.
enum TStatementType : int {
    stQuery = 1, stInsert = 2, stUpdate = 4, stDelete = 8, stLock = 16, stRefresh = 32, stCheck = 64, stCustom = 128
};
using TStatementTypes = int;

class TDADataSetOptions : public platform::TPersistent {
public:
    explicit TDADataSetOptions(TCustomDADataSet* owner) : owner_(owner) {}
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    bool RequiredFields() const { return requiredFields_; }
    void SetRequiredFields(bool value);
    bool StrictUpdate = true;
    bool NumberRange() const { return numberRange_; }
    void SetNumberRange(bool value);
    bool QueryRecCount = false;
    bool ReturnParams = false;
    bool TrimFixedChar() const { return trimFixedChar_; }
    void SetTrimFixedChar(bool value);
    bool LongStrings() const { return longStrings_; }
    void SetLongStrings(bool value);

    void CopyToTarget(platform::TPersistent& target) const override;

private:
    TCustomDADataSet* owner_;
    bool requiredFields_ = true;
    bool numberRange_ = false;
    bool trimFixedChar_ = true;
    bool longStrings_ = true;
};

// The detail side of a master/detail pair.
class TDADetailDataLink : public platform::TDataLink {
public:
    explicit TDADetailDataLink(TCustomDADataSet* detail) : detail_(detail) {}
    TCustomDADataSet* DetailDataSet() const { return detail_; }

protected:
    void ActiveChanged() override;
    void RecordChanged(platform::TField* field) override;
    void CheckBrowseMode() override;

private:
    TCustomDADataSet* detail_;
};

// Supplies the statement texts of a dataset by update kind (modify 0, insert 1, delete 2).
class TDADataSetUpdateObject : public platform::TComponent {
public:
    using platform::TComponent::TComponent;
    platform::TStringList& RefreshSQL() { return refreshSQL_; }
    void SetRefreshSQL(const platform::TStrings& lines);
    virtual TCustomDADataSet* DataSet() const = 0;
    virtual void SetDataSet(TCustomDADataSet* dataSet) = 0;
    virtual platform::TStrings& SQL(platform::TUpdateKind kind) = 0;

private:
    platform::TStringList refreshSQL_;
};

// Field types whose values are objects of the record (blobs, LOBs, cursors, objects,
// collections, references): parameters share them and never write them back.
bool FieldTypeHoldsObject(platform::TFieldType type);

class TCustomDADataSet : public TMemDataSet {
public:
    using TUpdateExecuteEvent =
        std::function<void(TCustomDADataSet& dataSet, TStatementTypes kinds, platform::TParams& params)>;
    using TAfterExecuteEvent = std::function<void(platform::TComponent& sender, bool result)>;

    explicit TCustomDADataSet(platform::TComponent* owner);
    // The inner statement, the options and the record set (the session's kind).
    void AfterConstruction() override;
    ~TCustomDADataSet() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // ---- session ----
    TCustomDAConnection* Connection() const { return connection_; }
    virtual void SetConnection(TCustomDAConnection* session);
    // The session in use (the Oracle dataset: or the default one).
    virtual TCustomDAConnection* UsedConnection() const { return connection_; }
    // "Connection is not defined" without a session; connects it.
    void RequireConnection();
    // The session disconnects: close, unprepare, field definitions outdated.
    virtual void DisconnectDataSet();
    // The record set follows a new session's connection object.
    void RebindRecordSet();

    // ---- statement ----
    platform::TStringList& SQL() { return innerSQL_->SQL(); }
    void SetSQLText(const platform::AnsiString& text) { innerSQL_->SetSQLText(text); }
    platform::AnsiString SQLText() const { return innerSQL_->SQLText(); }
    platform::TParams& Params() const { return innerSQL_->Params(); }
    void SetParams(const platform::TParams& values) { innerSQL_->SetParams(values); }
    TMacros& Macros() { return innerSQL_->Macros(); }
    bool ParamCheck() const { return innerSQL_->ParamCheck(); }
    void SetParamCheck(bool value) { innerSQL_->SetParamCheck(value); }
    TCustomDASQL& InnerSQL() const { return *innerSQL_; }
    platform::TParam* FindParam(const platform::AnsiString& name) const { return Params().FindParam(name); }
    // The SQL text with its macros expanded.
    platform::AnsiString FinalSQL() const;
    // The text given to the command: FinalSQL with FilterSQL and the master condition.
    virtual platform::AnsiString EffectiveSQL();
    // Macros changed: text renewed; an open dataset unprepares when it closes.
    void MacrosChanged();
    virtual void ScanMacros();

    // ---- options ----
    int FetchRows() const { return fetchRows_; }
    void SetFetchRows(int value);
    bool FetchAll() const { return fetchAll_; }
    void SetFetchAll(bool value);
    bool UniDirectional() const { return uniDirectional_; }
    void SetUniDirectional(bool value);
    bool AutoCommit() const { return autoCommit_; }
    void SetAutoCommit(bool value);
    bool Debug = false;
    bool ReadOnly = false;
    bool NonBlocking = false;
    // No monitor notices (the update dataset).
    bool Untraced = false;
    TRefreshOptions RefreshOptions = 0;
    TDADataSetOptions& Options() const { return *options_; }
    void SetOptions(const TDADataSetOptions& value) { value.CopyToTarget(*options_); }
    const platform::AnsiString& FilterSQL() const { return filterSQL_; }
    void SetFilterSQL(const platform::AnsiString& value);
    const platform::AnsiString& MasterFields() const { return masterFields_; }
    void SetMasterFields(const platform::AnsiString& value);
    const platform::AnsiString& DetailFields() const { return detailFields_; }
    void SetDetailFields(const platform::AnsiString& value);
    platform::TDataSource* MasterSource() const { return detailLink_->DataSource(); }
    void SetMasterSource(platform::TDataSource* source);
    platform::TDataSource* DataSource() override { return MasterSource(); }
    TDADataSetUpdateObject* UpdateObject() const { return updateObject_; }
    void SetUpdateObject(TDADataSetUpdateObject* value);
    // A change of the statement or of a setting that the dataset must be closed for.
    // While the component is read from a description it is not open yet: nothing closes,
    // and the Active value read so far stays for StreamingCompleted, so the order of the
    // description's lines does not matter.
    void CloseForChange();
    // As CloseForChange while loading or designing; otherwise an open dataset refuses
    // the change (RequireClosed).
    void RequireClosedForChange();

    TAfterExecuteEvent AfterExecute;
    TUpdateExecuteEvent BeforeUpdateExecute;
    TUpdateExecuteEvent AfterUpdateExecute;

    // ---- work ----
    void Execute() { ExecuteDataSet(); }
    virtual void ExecuteDataSet();
    bool Executing() const { return innerSQL_->Executing(); }
    bool AllRowsFetched() const;
    int RowsAffected() const { return rowsAffected_; }
    int QueriedRecordCount() const { return queriedRecordCount_; }
    TFieldDesc* FieldDescByName(const platform::AnsiString& name) const { return Data()->FieldByName(name); }
    // The value object of a blob or other complex field of the current record (none
    // without one); "Field is not BLOB" for other fields.
    TSharedObject* GetBlob(const platform::AnsiString& fieldName);
    // The value object of a complex column of the current record (none without one).
    TSharedObject* ValueObjectOf(const TFieldDesc& desc);
    TQdRecordSet* RecordSet() const { return recordSet_; }
    TQdCommand* Command() const { return command_; }
    TCustomDADataSet* UpdateDataSet() const { return updateDataSet_.get(); }
    bool PostingRecord() const { return postingRecord_; }
    // Runs an update statement of the given kinds for the current record; false (and
    // nothing done) for an empty text.
    virtual bool PerformSQL(const platform::AnsiString& text, TStatementTypes kinds);

    void PrepareDataSet() override;
    void UnprepareDataSet() override;
    bool IsModifiable() override;
    int CountRecords() override;
    void CopyToTarget(platform::TPersistent& target) const override;
    // The inner statement's "ParamData" and "MacroData".
    void DeclareStreamedValues(platform::TStreamedValues& values) override;

    // ---- provider interface (a data provider drives the dataset through these) ----
    void ProviderBeginTransaction();
    void ProviderFinishTransaction(bool commit);
    bool ProviderInTransaction() const;
    void ProviderRunCommand() { ExecuteDataSet(); }
    // Runs a statement whose parameters are written "?" on a statement of the session;
    // gives the rows it affected.
    int ProviderRunStatement(const platform::AnsiString& text, const platform::TParams* params);
    platform::TParams& ProviderParameterList() const { return Params(); }
    platform::AnsiString ProviderQuoteChar() const { return "\""; }
    virtual platform::AnsiString ProviderTableName() { return platform::AnsiString(); }
    bool ProviderIsSqlBased() const { return true; }
    bool ProviderSupportsSql() const { return true; }
    bool ProviderApplyRecord() const { return false; }
    void ProviderResetCursor();
    void ProviderAssignParams(const platform::TParams& params);
    void ProviderAssignCommandText(const platform::AnsiString& text);

    // ---- master/detail (the detail link calls these) ----
    // Parameters take the master's field values; true when any changed.
    bool ParamsFromMaster();
    void RefreshDetail();

protected:
    virtual std::unique_ptr<TCustomDASQL> NewInnerSQL();
    virtual std::unique_ptr<TDADataSetOptions> NewDataSetOptions();
    virtual void ExecuteCommand();
    virtual int CountRecordsByQuery() { return 0; }
    virtual void BeforeEditHook() {}
    virtual platform::AnsiString InsertSQLText();
    virtual platform::AnsiString DeleteSQLText();
    virtual platform::AnsiString UpdateSQLText();
    virtual platform::AnsiString RefreshSQLText();
    virtual void RefreshCurrentRecord();
    virtual void NewUpdateDataSet();
    virtual bool FieldUsableAsParam(platform::TField*) { return true; }
    virtual bool ReturnParamsOption() { return options_->ReturnParams; }
    virtual void ParamFromField(platform::TParam& param, platform::TField& field, bool old);
    // The store's column behind a field given to ParamFromField: a field of this dataset by
    // its number, a temporary object or array field (bound to no dataset) by its name;
    // none for calculated fields.
    const TFieldDesc* ParamFieldDesc(const platform::TField& field) const;
    virtual void AfterInsertHook() {}
    virtual bool FireBeforeUpdateExecute(TStatementTypes kinds, bool askOnly);
    virtual void FireAfterUpdateExecute(TStatementTypes kinds);
    virtual bool CursorReturnsRows() { return false; }
    virtual platform::AnsiString AddWhereCondition(const platform::AnsiString& text, const platform::AnsiString&) {
        return text;
    }
    virtual platform::AnsiString RemoveWhereClause(const platform::AnsiString& text) { return text; }
    virtual platform::AnsiString ReplaceOrderBy(const platform::AnsiString& text, const platform::AnsiString&) {
        return text;
    }
    virtual platform::AnsiString OrderByClause(const platform::AnsiString&) { return platform::AnsiString(); }
    // Record-store type code of a field descriptor by name.
    TDataType FieldTypeByName(const platform::AnsiString& name) const { return Data()->FieldByName(name)->DataType; }

    void CreateRecordStore() override;
    void AttachRecordStore(std::unique_ptr<TData> store) override;
    void PostRecordChanges() override;
    void ApplyInsert() override;
    void ApplyDelete() override;
    void ApplyUpdate() override;

    void ActivateCursor(bool infoOnly) override;
    void DeactivateCursor() override;
    void StorageClose() override;
    void StorageRefresh() override;
    void StorageEdit() override;
    void StoragePost() override;
    void FireOnNewRecord() override;
    void DispatchDataEvent(platform::TDataEvent event, intptr_t info) override;

private:
    friend class TDADataSetOptions;
    void CommandExecuted(bool success);
    void RecordSetExecuted(bool success);
    void AllFetchedHandler();
    // A close before a background open or fetch has reported: the controls and the wait
    // cursor are given back here, as the record set drops the reports of work it stopped.
    void EndPendingBackgroundWork();
    // Runs the base's posting step with PostingRecord on.
    void WhilePosting(const std::function<void()>& post);
    // The (master, detail) field name pairs of the master/detail link.
    std::vector<std::pair<platform::AnsiString, platform::AnsiString>> LinkFieldPairs() const;
    bool LinkedToMaster() const;
    // Close, unprepare, text renewed, reopen when it was open.
    void ReapplyText();
    void BindUpdateParams(TStatementTypes kinds, std::vector<bool>& oldParams);
    // The top-level object or array column of that name; none when there is none.
    const TFieldDesc* TopLevelObjectColumn(const platform::AnsiString& name) const;
    void ReadRefreshedRecord(TStatementTypes kinds);
    // The current record takes the value object a refresh statement read for one of its
    // complex fields.
    void TakeOverValueObject(const uint8_t* readSlot, char* current, const TFieldDesc& to,
                             platform::TDataSetState state);
    void WriteBackParams(const std::vector<bool>& oldParams);

    TCustomDAConnection* connection_ = nullptr;
    std::unique_ptr<TCustomDASQL> innerSQL_;
    std::unique_ptr<TDADataSetOptions> options_;
    std::unique_ptr<TDADetailDataLink> detailLink_;
    std::unique_ptr<TCustomDADataSet> updateDataSet_;
    TDADataSetUpdateObject* updateObject_ = nullptr;
    TQdRecordSet* recordSet_ = nullptr;
    TQdCommand* command_ = nullptr;
    int fetchRows_ = 25;
    bool fetchAll_ = false;
    bool uniDirectional_ = false;
    bool autoCommit_ = true;
    int rowsAffected_ = -1;
    int queriedRecordCount_ = 0;
    bool unprepareOnClose_ = false;
    // A non-blocking open, or the fetch of all rows after it, has not reported its end yet.
    bool openPending_ = false;
    bool fetchPending_ = false;
    bool postingRecord_ = false;
    platform::AnsiString filterSQL_;
    platform::AnsiString masterFields_;
    platform::AnsiString detailFields_;
};

class TDADataSet : public TCustomDADataSet {
public:
    using TCustomDADataSet::TCustomDADataSet;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

}  // namespace oracle
