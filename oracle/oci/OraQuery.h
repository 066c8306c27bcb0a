// TCustomOraQuery: the Oracle dataset with five statements of its user's own for
// writing back changes (insert, update, delete, lock, refresh). Statements are never
// generated: without a statement, an update object, an update handler or local
// updates, a change is refused. TOraQuery is the published form, used by the
// installation exports for queries and the journal move.
#pragma once

#include <cstdint>

#include "oracle/oci/OraDataSet.h"
#include "platform/StringList.h"

namespace oracle {

enum TRefreshMode : uint8_t { rmNone, rmAfterInsert, rmAfterUpdate, rmAlways };

// The older set form of the dataset options, kept for reading old form descriptions.
enum TOraDataSetOption1 : int {
    doRequiredFields = 1 << 0,
    doStrictUpdate = 1 << 1,
    doDefaultValue = 1 << 2,
    doLongStrings = 1 << 3,
    doNumberRange = 1 << 4,
    doKeepPrepared = 1 << 5,
    doAutoClose = 1 << 6,
    doQueryRecCount = 1 << 7
};
using TOraDataSetOptions1 = int;

class TCustomOraQuery : public TOraDataSet {
public:
    explicit TCustomOraQuery(platform::TComponent* owner);
    ~TCustomOraQuery() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    platform::TStringList& SQLInsert() { return sqlInsert_; }
    void SetSQLInsert(const platform::TStrings& lines) { CopyLines(sqlInsert_, lines); }
    platform::TStringList& SQLDelete() { return sqlDelete_; }
    void SetSQLDelete(const platform::TStrings& lines) { CopyLines(sqlDelete_, lines); }
    platform::TStringList& SQLUpdate() { return sqlUpdate_; }
    void SetSQLUpdate(const platform::TStrings& lines) { CopyLines(sqlUpdate_, lines); }
    platform::TStringList& SQLLock() { return sqlLock_; }
    void SetSQLLock(const platform::TStrings& lines) { CopyLines(sqlLock_, lines); }
    platform::TStringList& SQLRefresh() { return sqlRefresh_; }
    void SetSQLRefresh(const platform::TStrings& lines) { CopyLines(sqlRefresh_, lines); }

    // Older forms of the options, read and written through the current ones.
    TOraDataSetOptions1 OptionsSet() const;
    void SetOptionsSet(TOraDataSetOptions1 value);
    TRefreshMode RefreshMode() const;
    void SetRefreshMode(TRefreshMode value);
    bool ReturnParams() const { return OptionsDS().ReturnParams; }
    void SetReturnParams(bool value) { OptionsDS().ReturnParams = value; }

    bool IsModifiable() override;
    void ScanMacros() override;
    void CopyToTarget(platform::TPersistent& target) const override;

protected:
    // A descendant answering true skips the checks before Insert, Edit and Delete.
    virtual bool BeforeChangeHook() { return false; }

    void FireBeforeDelete() override;
    void FireBeforeEdit() override;
    void FireBeforeInsert() override;
    void StorageCancel() override;
    void ApplyInsert() override;
    void BeforeEditHook() override;
    platform::AnsiString InsertSQLText() override;
    platform::AnsiString DeleteSQLText() override;
    platform::AnsiString UpdateSQLText() override;
    platform::AnsiString RefreshSQLText() override;
    platform::AnsiString LockSQLText() override;

private:
    static void CopyLines(platform::TStringList& target, const platform::TStrings& lines);
    platform::AnsiString Expanded(platform::AnsiString text);
    // Edit and Delete may go on: own statement, local updates, or a record only in the cache.
    bool ChangeAllowed(const platform::TStringList& statement);

    platform::TStringList sqlInsert_;
    platform::TStringList sqlDelete_;
    platform::TStringList sqlUpdate_;
    platform::TStringList sqlLock_;
    platform::TStringList sqlRefresh_;
};

class TOraQuery : public TCustomOraQuery {
public:
    using TCustomOraQuery::TCustomOraQuery;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

}  // namespace oracle
