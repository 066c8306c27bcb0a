// TBaseDatabase: the engine-neutral database handle. A session makes it and owns it;
// it owns the cursors opened through it, finds them by name and carries out the
// table-level operations that only need a cursor. The engines open tables and lists
// and fill transactions, renames, deletions and statements. Also the read-only list
// cursors over an array of records (TBaseListTable, TIndexListTable).
#pragma once

#include <vector>

#include "btrieve/base/BaseTable.h"

namespace btrieve {

class TSqlStmt;

class TBaseDatabase : public TBapiListItem {
public:
    TBaseDatabase(TBapiListItem* session, int32_t openMode, int32_t shareMode, uint16_t paramCount, const char* name,
                  const TEngineFieldDesc* paramDescs, const char* paramValues, const TDatabaseDesc* desc,
                  TQuillonCollection* collection);
    ~TBaseDatabase() override;

    // Properties: 0 the count (27), 2 the database type text.
    void GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) override;
    void CheckPropWritable(uint32_t id, bool raise) override;
    virtual AnsiString GetDbType() const { return "STANDARD"; }

    void SetModes(int32_t openMode, int32_t shareMode);
    virtual void SetParam(const AnsiString& name, const char* value);
    void ApplyParams(uint16_t count, const TEngineFieldDesc* descs, const char* values);
    virtual void FindCursor(const char* name, TBaseTable*& cursor);
    virtual void SetDirectory(const char* path);
    virtual AnsiString GetDirectory() const { return FieldText(desc_.physicalName, sizeof desc_.physicalName); }

    virtual void OpenTable(const char* tableName, const char* driverType, const char* indexName,
                           const char* indexTag, uint16_t indexId, int32_t openMode, int32_t shareMode,
                           int32_t translateMode, bool unidirectional, const void* optParams,
                           TBaseTable*& cursor) = 0;
    // Each record of the list begins with the zero-terminated table name.
    virtual void OpenTableList(bool extended, bool systemTables, const char* wildcard, TBaseTable*& cursor) = 0;
    virtual void OpenFieldList(const char* tableName, const char* driverType, bool physicalTypes,
                               TBaseTable*& cursor) = 0;
    virtual void OpenFileList(const char* wildcard, TBaseTable*& cursor) { OpenTableList(false, false, wildcard, cursor); }
    virtual void OpenIndexList(const char* tableName, uint16_t indexId, TBaseTable*& cursor);
    virtual void OpenVchkList(const char* tableName, TBaseTable*& cursor) { RaiseUnsupported(9025); }
    virtual void OpenProcList(bool extended, bool systemProcs, const char* qualifier, TBaseTable*& cursor) {
        RaiseUnsupported(9021);
    }
    virtual bool TableExists(const char* name);
    virtual void CountCursors(const char* name, uint32_t& count);
    virtual void FindCursorByName(const char* name, TBaseTable*& cursor);
    virtual void EmptyTable(TBaseTable* cursor, const char* tableName);
    virtual void CreateTable(bool overwrite, TTableCreateDesc& desc);
    virtual void CreateInMemTable(const char* name, uint16_t fieldCount, TBaseTable*& table, TEngineFieldDesc* descs);
    virtual void CreateTableObject(TTableCreateDesc& desc, TBaseTable*& table) { RaiseUnsupported(9010); }
    virtual void RenameTable(const char* oldName, const char* driverType, const char* newName) {
        RaiseUnsupported(9012);
    }
    virtual void DeleteTable(const char* tableName, const char* driverType) { RaiseUnsupported(9013); }
    virtual void AddIndex(TBaseTable* cursor, const char* tableName, bool keepCurrent, const TEngineIndexDesc& desc);
    virtual void DeleteIndex(TBaseTable* cursor, const char* tableName, uint16_t indexId, const char* tagName,
                             const char* indexName);
    virtual void BeginTran(int32_t isolation) { RaiseUnsupported(9002); }
    virtual void EndTran(int32_t endMode) { RaiseUnsupported(9003); }
    // 10 bytes: state, isolation, two zero bytes.
    void GetTranInfo(void* information) const;
    virtual void Connect() {
        connected_ = false;
        RaiseUnsupported(9014);
    }
    virtual void Disconnect() { connected_ = false; }
    virtual void ExecDirect(uint16_t language, const char* text, TBaseTable** cursor);
    virtual void AllocStmt(uint16_t language, TSqlStmt*& statement) { RaiseUnsupported(9017); }
    void PrepareStmt(TSqlStmt*& statement, const char* text) { PrepareStmtExt(2, text, statement); }
    virtual void PrepareStmtExt(uint16_t language, const char* text, TSqlStmt*& statement) { RaiseUnsupported(9018); }
    virtual void PrepareProc(const char* procName, uint16_t paramCount, TSqlStmt*& statement, const void* params) {
        RaiseUnsupported(9020);
    }

    TQuillonCollection& Cursors() { return cursors_; }
    const TQuillonCollection& Cursors() const { return cursors_; }
    int32_t TranState() const { return tranState_; }
    bool Connected() const { return connected_; }
    int32_t OpenMode() const { return openMode_; }
    int32_t ShareMode() const { return shareMode_; }
    AnsiString Name() const { return name_; }
    const TDatabaseDesc& Desc() const { return desc_; }
    AnsiString UserName() const { return userName_; }

protected:
    int32_t tranState_ = 0;
    int32_t tranIsolation_ = 0;
    bool connected_ = false;

private:
    TQuillonCollection cursors_;
    int32_t openMode_ = 0;
    int32_t shareMode_ = 0;
    AnsiString name_;
    TDatabaseDesc desc_{};
    AnsiString userName_;
};

// A read-only cursor over an owned array of equal records: only SetToBegin and next moves.
class TBaseListTable : public TReadOnlyTable {
public:
    TBaseListTable(TBapiListItem* database, uint16_t count, const void* records, uint16_t recordSize,
                   TQuillonCollection* collection);

    uint16_t GetRecordSize() const override { return recordSize_; }
    void SetToBegin() override;
    void GetNextRecord(int lock, uint8_t* record, TRecordProps* props) override;
    uint16_t Count() const { return count_; }

private:
    uint16_t count_;
    uint16_t recordSize_;
    std::vector<uint8_t> records_;
    uint16_t current_ = 0;
};

// Index descriptors of a table, one per record.
class TIndexListTable : public TBaseListTable {
public:
    TIndexListTable(TBapiListItem* database, uint16_t count, const TEngineIndexDesc* descs,
                    TQuillonCollection* collection)
        : TBaseListTable(database, count, descs, sizeof(TEngineIndexDesc), collection) {}
};

}  // namespace btrieve
