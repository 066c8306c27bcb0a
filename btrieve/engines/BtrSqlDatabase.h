// TBtrSqlDatabase: the database of every Btrieve session. It is a Btrieve database of
// dictionary files that can, in addition, log in to the relational engine and run SQL
// statements; the log-in happens on the first statement, procedure or transaction
// that needs it. A name containing "@" names a database of the engine's server.
#pragma once

#include "btrieve/engines/BtrDatabase.h"

namespace btrieve {

class TBaseSession;

class TBtrSqlDatabase : public TBtrDatabase {
public:
    TBtrSqlDatabase(TBapiListItem* session, const TDatabaseDesc& desc, const char* password, int32_t openMode,
                    int32_t shareMode, uint16_t paramCount, const TEngineFieldDesc* paramDescs,
                    const char* paramValues, TQuillonCollection* collection);
    ~TBtrSqlDatabase() override;

    AnsiString GetDbType() const override { return "SQL"; }
    void SetParam(const AnsiString& name, const char* value) override;
    void OpenTableList(bool extended, bool systemTables, const char* wildcard, TBaseTable*& cursor) override;
    void OpenProcList(bool extended, bool systemProcs, const char* qualifier, TBaseTable*& cursor) override;
    void BeginTran(int32_t isolation) override;
    void EndTran(int32_t endMode) override;
    // Logs in to the relational engine.
    void Connect() override;
    void Disconnect() override;
    void AllocStmt(uint16_t language, TSqlStmt*& statement) override;
    void PrepareStmtExt(uint16_t language, const char* text, TSqlStmt*& statement) override;
    void PrepareProc(const char* procName, uint16_t paramCount, TSqlStmt*& statement, const void* params) override;
    void BeforeDestroy() override;

    int16_t SessionId() const { return sessionId_; }
    bool LoggedIn() const { return connected_; }
    // Loads the engine once per database; 2103 when it cannot be used.
    void EnsureEngine();

private:
    TBaseSession& Session() const;
    void ReadAliasLogin();

    TQuillonCollection statements_;
    int16_t sessionId_ = -1;
    bool engineChecked_ = false;
    bool btrieveTransaction_ = false;
};

// Makes the engine session current before a call of a statement, cursor or database.
void PutSqlSession(int16_t sessionId);

}  // namespace btrieve
