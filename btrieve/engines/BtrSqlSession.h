// TBtrSqlSession: the engine session of every Btrieve session. It behaves as the Btrieve
// session and adds the relational engine: its databases are relational databases that
// log in on first need, and the database list offers the engine's databases beside the
// registered aliases. The last of these sessions stops and unloads the engine.
#pragma once

#include "btrieve/base/BaseDatabase.h"
#include "btrieve/engines/BtrSession.h"

namespace btrieve {

class TBtrSqlSession : public TBtrSession {
public:
    using TBtrSession::TBtrSession;
    ~TBtrSqlSession() override;

    void SetDescDbType(bool keep, TDatabaseDesc& desc) override;
    void CreateDatabaseObject(const TDatabaseDesc& desc, TBaseDatabase*& database, int32_t openMode,
                              int32_t shareMode, const char* password, uint16_t paramCount,
                              const TEngineFieldDesc* paramDescs, const char* paramValues) override;
    void OpenDatabaseList(TBaseTable*& cursor) override;
};

// The databases a relational session offers: the registered aliases, then the engine's
// local databases, then its remote ones (named "@" + the engine's name).
class TSSQLDatabaseTable : public TBaseListTable {
public:
    TSSQLDatabaseTable(TBaseSession* session, TQuillonCollection* collection);

private:
    TSSQLDatabaseTable(TBaseSession* session, const std::vector<TDatabaseDesc>& entries,
                       TQuillonCollection* collection);
    static std::vector<TDatabaseDesc> CollectEntries(TBaseSession& session);
};

}  // namespace btrieve
