// TQnTable: the dataset component that opens one table of a database by name. It
// builds field and index definitions from the engine (also while closed), opens the
// cursor on the chosen index, follows a master dataset through key ranges, and keeps
// a second cursor for Locate and Lookup on other fields. The engine binding fills the
// abstract operations and creates the blob streams.
#pragma once

#include "btrieve/components/QnDBDataset.h"
#include "platform/DataLink.h"
#include "platform/IndexDefs.h"

namespace btrieve {

class TQnTable : public TQnDBDataset {
public:
    explicit TQnTable(platform::TComponent* owner);
    ~TQnTable() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    virtual const platform::TClassInfo& BatchMoveClass() = 0;

    // ---- properties ----
    bool DefaultIndex() const { return defaultIndex_; }
    void SetDefaultIndex(bool value) { defaultIndex_ = value; }
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    bool StoreDefs() const { return storeDefs_; }
    void SetStoreDefs(bool value) { storeDefs_ = value; }
    const AnsiString& TableName() const { return tableName_; }
    void SetTableName(const AnsiString& value);
    AnsiString IndexFieldNames() const { return fieldsIndex_ ? indexText_ : AnsiString(); }
    void SetIndexFieldNames(const AnsiString& value) { SetIndex(value, !value.empty()); }
    AnsiString IndexName() const { return fieldsIndex_ ? AnsiString() : indexText_; }
    void SetIndexName(const AnsiString& value) { SetIndex(value, false); }
    platform::TIndexDefs& IndexDefs() { return indexDefs_; }
    void SetIndexDefs(const platform::TIndexDefs& value);
    const AnsiString& MasterFields() const { return masterLink_.FieldNames(); }
    void SetMasterFields(const AnsiString& value) { masterLink_.SetFieldNames(value); }
    platform::TDataSource* MasterSource() const { return masterLink_.DataSource(); }
    void SetMasterSource(platform::TDataSource* value);
    platform::TDataSource* DataSource() override { return masterLink_.DataSource(); }

    bool IsModifiable() override;
    TBaseTable* LookupCursor() const { return lookupCursor_; }

    // ---- ranges of the master link ----
    void ApplyRange();
    void CancelRange();

protected:
    TBaseTable* CreateEngineCursor() override;
    void DestroyEngineCursor() override;
    void ReleaseLookupCursor() override;
    TBaseTable* LookupCursorForFields(const AnsiString& fields, bool caseInsensitive) override;
    void AfterCursorCreated() override;
    void DefinitionsChanged() override { storeDefs_ = true; }
    void FireOnNewRecord() override;
    void PrepareFieldDefinitions() override;
    void RefreshIndexDefinitions() override;
    void ListDetailLinkFields(std::vector<platform::TField*>& masterFields,
                              std::vector<platform::TField*>& detailFields) override;
    void DispatchDataEvent(platform::TDataEvent event, intptr_t info) override;

private:
    TBaseTable* GetHandle(const AnsiString& indexName, const AnsiString& tag);
    // The engine name (OEM, at most 127 characters) of the index the text names.
    AnsiString GetIndexParams(const AnsiString& text, bool fieldsFlag, AnsiString& tag);
    void SetIndex(const AnsiString& text, bool fieldsFlag);
    void CheckMasterRange();
    void MasterChanged();
    void MasterDisabled();
    void IndexDefsFromCursor();
    void IndexDefsFromList();
    void DecodeIndexDesc(const TEngineIndexDesc& desc, AnsiString& name, AnsiString& source, AnsiString& fields,
                         AnsiString& descFields, platform::TIndexOptions& options);
    AnsiString FieldNameOfNumber(int fieldNo);
    // Retries an open while the session obtained a password for it (a bounded number of times).
    template <class Open>
    void OpenWithRetry(Open&& open);

    bool storeDefs_ = false;
    platform::TIndexDefs indexDefs_;
    platform::TMasterDataLink masterLink_;
    bool defaultIndex_ = true;
    bool exclusive_ = false;
    bool readOnly_ = false;
    bool fieldsIndex_ = false;
    AnsiString tableName_;
    AnsiString indexText_;
    TBaseTable* lookupCursor_ = nullptr;
    AnsiString lookupFields_;
    bool lookupCaseInsensitive_ = false;
    bool lookupAsked_ = false;
};

}  // namespace btrieve
