// TOraDataSet: the SQL dataset bound to a TOraSession. It reads through the OCI record
// set and command, and adds record locks through savepoints, a key filled from an
// Oracle sequence, the record count asked of the server, the ROWID of inserted rows,
// field origins and the Oracle field classes. TOraDataSetOptions are its options.
// The installation exports and the session's own housekeeping use it through TOraQuery.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "oracle/core/CustomDADataSet.h"
#include "oracle/core/FieldDesc.h"
#include "oracle/oci/OraParams.h"

namespace oracle {

class TOraSession;
class TOraDataSet;
class TOCIRecordSet;
class TOCICommand;

enum TLockMode : uint8_t { lmNone, lmLockImmediate, lmLockDelayed };
enum TSequenceMode : uint8_t { smInsert, smPost };

class TOraDataSetOptions : public TDADataSetOptions {
public:
    explicit TOraDataSetOptions(TOraDataSet* owner);
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    bool KeepPrepared() const { return keepPrepared_; }
    void SetKeepPrepared(bool value);
    bool AutoClose() const { return autoClose_; }
    void SetAutoClose(bool value);
    bool FieldsOrigin() const { return fieldsOrigin_; }
    void SetFieldsOrigin(bool value) { fieldsOrigin_ = value; }
    bool DefaultValues() const { return defaultValues_; }
    void SetDefaultValues(bool value) { defaultValues_ = value; }
    bool FieldsAsString() const { return fieldsAsString_; }
    void SetFieldsAsString(bool value);
    bool DeferredLobRead() const { return deferredLobRead_; }
    void SetDeferredLobRead(bool value);
    bool CacheLobs() const { return cacheLobs_; }
    void SetCacheLobs(bool value);

    // The base's options, then all of these but DeferredLobRead.
    void CopyToTarget(platform::TPersistent& target) const override;

private:
    TOraDataSet* oraOwner_;
    bool keepPrepared_ = false;
    bool autoClose_ = false;
    bool fieldsOrigin_ = false;
    bool defaultValues_ = false;
    bool fieldsAsString_ = false;
    bool deferredLobRead_ = false;
    bool cacheLobs_ = true;
};

class TOraDataSet : public TCustomDADataSet {
public:
    using TOraUpdateExecuteEvent =
        std::function<void(TOraDataSet& sender, TStatementTypes statementTypes, TOraParams& params)>;

    explicit TOraDataSet(platform::TComponent* owner);
    ~TOraDataSet() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TOraSession* Session() const;
    void SetSession(TOraSession* session);
    TOraParams& Params() const { return static_cast<TOraParams&>(TCustomDADataSet::Params()); }
    TOraDataSetOptions& OptionsDS() const { return static_cast<TOraDataSetOptions&>(Options()); }
    void SetOptionsDS(const TOraDataSetOptions& value) { value.CopyToTarget(Options()); }

    TLockMode LockMode() const { return lockMode_; }
    void SetLockMode(TLockMode value) { lockMode_ = value; }
    TSequenceMode SequenceMode() const { return sequenceMode_; }
    void SetSequenceMode(TSequenceMode value) { sequenceMode_ = value; }
    const platform::AnsiString& KeySequence() const { return keySequence_; }
    void SetKeySequence(const platform::AnsiString& value);
    const platform::AnsiString& KeyFields() const { return keyFields_; }
    // Only while closed; names separated by ";".
    virtual void SetKeyFields(const platform::AnsiString& value);
    const TFieldDescs& KeyFieldDescs() const { return keyFieldDescs_; }
    bool NonBlocking() const { return TCustomDADataSet::NonBlocking; }
    void SetNonBlocking(bool value);

    platform::TDataSet::TDataSetNotifyEvent BeforeFetch, AfterFetch;
    TOraUpdateExecuteEvent BeforeUpdateExecute, AfterUpdateExecute;

    TOCIRecordSet* OraRecordSet() const { return oraRecordSet_; }
    TOCICommand* OraCommand() const { return oraCommand_; }
    // The ROWID the last successful update statement returned.
    const platform::AnsiString& ReturnedRowId() const { return returnedRowId_; }

    // "LOCK_" and the component name (its last 25 characters when longer); an unnamed
    // dataset's own number instead of the name.
    platform::AnsiString LockSavepointName() const;
    void LockRecord();
    void UnlockRecord();
    // Takes the next value of KeySequence into the first key field.
    void FetchKeySequenceValue();
    // Called by the record set around each block of rows.
    void BlockFetchEvent(bool beforeBlock);

    TCustomDAConnection* UsedConnection() const override;
    // The session in use; "Connection is not defined" without one.
    TOraSession& UsedSession() const;
    void DisconnectDataSet() override;
    platform::AnsiString ProviderTableName() override;
    bool PerformSQL(const platform::AnsiString& text, TStatementTypes kinds) override;
    void SetActive(bool value) override;
    void StreamingCompleted() override;
    void CopyToTarget(platform::TPersistent& target) const override;

protected:
    virtual platform::AnsiString LockSQLText() { return platform::AnsiString(); }
    virtual void LockCurrentRecord();

    std::unique_ptr<TCustomDASQL> NewInnerSQL() override;
    std::unique_ptr<TDADataSetOptions> NewDataSetOptions() override;
    void CreateRecordStore() override;
    void AttachRecordStore(std::unique_ptr<TData> store) override;
    platform::TFieldType FieldTypeFor(TDataType code) override { return OraDataTypeToFieldType(code); }
    std::unique_ptr<platform::TField> FieldClassForType(platform::TFieldType type) override;
    void ActivateCursor(bool infoOnly) override;
    void FireAfterOpen() override;
    void StorageInsert() override;
    void ApplyDelete() override;
    void ApplyUpdate() override;
    void ExecuteCommand() override;
    int CountRecordsByQuery() override;
    void NewUpdateDataSet() override;
    void ParamFromField(platform::TParam& param, platform::TField& field, bool old) override;
    void AfterInsertHook() override;
    bool FireBeforeUpdateExecute(TStatementTypes kinds, bool askOnly) override;
    void FireAfterUpdateExecute(TStatementTypes kinds) override;
    bool CursorReturnsRows() override;
    platform::AnsiString AddWhereCondition(const platform::AnsiString& text,
                                           const platform::AnsiString& condition) override;
    platform::AnsiString RemoveWhereClause(const platform::AnsiString& text) override;
    platform::AnsiString ReplaceOrderBy(const platform::AnsiString& text, const platform::AnsiString& fields) override;
    platform::AnsiString OrderByClause(const platform::AnsiString& text) override;

private:
    friend class TOraDataSetOptions;
    TLockMode lockMode_ = lmNone;
    TSequenceMode sequenceMode_ = smPost;
    platform::AnsiString keySequence_;
    platform::AnsiString keyFields_;
    TFieldDescs keyFieldDescs_;
    TOCIRecordSet* oraRecordSet_ = nullptr;
    TOCICommand* oraCommand_ = nullptr;
    platform::AnsiString returnedRowId_;
    // A default field named ROWID is made invisible at open.
    bool hideRowId_ = true;
    // Numbers the datasets of the process (the savepoint of an unnamed one).
    uint32_t instanceNumber_ = 0;
    // Active as read from a form, applied when the form is complete.
    bool streamedActive_ = false;
};

}  // namespace oracle
