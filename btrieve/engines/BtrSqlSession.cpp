#include "btrieve/engines/BtrSqlSession.h"

#include "btrieve/engines/BtrSqlDatabase.h"
#include "btrieve/engines/BtrieveClient.h"
#include "btrieve/engines/BtrieveFields.h"
#include "btrieve/engines/SqlEngine.h"
#include "platform/TextFile.h"

namespace btrieve {

namespace {

void AddEngineDatabases(std::vector<TDatabaseDesc>& entries, SqlGetCountDatabaseNamesFn count,
                        SqlGetDatabaseNamesFn next, const char* text) {
    if (!count || !next) return;
    uint16_t total = 0;
    if (count(&total) != 0) return;
    for (uint16_t i = 0; i < total; ++i) {
        char name[kSqlDatabaseNameSize + 1] = {};
        uint16_t length = kSqlDatabaseNameSize;
        if (next(name, &length) != 0) return;
        if (name[0] == '\0') continue;
        const AnsiString named = "@" + platform::Trim(AnsiString(name));
        TDatabaseDesc desc{};
        CopyToField(desc.name, sizeof desc.name, named);
        CopyToField(desc.text, sizeof desc.text, text);
        CopyToField(desc.physicalName, sizeof desc.physicalName, named);
        CopyToField(desc.dbType, sizeof desc.dbType, "BTRIEVE");
        entries.push_back(desc);
    }
}

}  // namespace

TBtrSqlSession::~TBtrSqlSession() {
    // The databases log out while the engine is still there.
    Databases().FreeAll();
    Lists().FreeAll();
    const bool last = Collection() && Collection()->Count() == 1 && Collection()->IndexOf(this) == 0;
    if (SqlEngineLoadedFlag() && last) {
        if (OnBtrieveMainThread() && SqlEngineLoaded()) {
            SqlEngine().stop();
            UnloadSqlEngine();
        }
        ClearSqlEngineLoadedFlag();
    }
}

void TBtrSqlSession::SetDescDbType(bool keep, TDatabaseDesc& desc) {
    if (desc.dbType[0] != '@') {
        TBtrSession::SetDescDbType(keep, desc);
        return;
    }
    if (FieldText(desc.name, sizeof desc.name).find('@') != AnsiString::npos) return;
    const AnsiString physical = FieldText(desc.physicalName, sizeof desc.physicalName);
    if (!platform::FileExists(AddBackslash(physical) + kSqlUserFile)) TBtrSession::SetDescDbType(keep, desc);
}

void TBtrSqlSession::CreateDatabaseObject(const TDatabaseDesc& desc, TBaseDatabase*& database, int32_t openMode,
                                          int32_t shareMode, const char* password, uint16_t paramCount,
                                          const TEngineFieldDesc* paramDescs, const char* paramValues) {
    const TDatabaseDesc copy = desc;
    std::vector<char> values;
    std::vector<TEngineFieldDesc> descs;
    if (paramCount == 0) {
        int32_t count = 0;
        try {
            ReadCfgRecord(CfgMode(), ("\\DATABASES\\" + FieldText(copy.name, sizeof copy.name) + "\\DB INFO").c_str(),
                          &values, &descs, count);
        } catch (const EQuillonBoundryError&) {
            // No configuration record: the alias's registry values are used instead.
        }
        paramCount = static_cast<uint16_t>(descs.size());
        paramDescs = descs.data();
        paramValues = values.data();
    }
    auto* sqlDatabase = MakeHandle<TBtrSqlDatabase>(this, copy, password, openMode, shareMode, paramCount,
                                                    paramDescs, paramValues, &Databases());
    sqlDatabase->SetClientId(ClientId());
    MarkDatabaseOpened();
    database = sqlDatabase;
}

void TBtrSqlSession::OpenDatabaseList(TBaseTable*& cursor) {
    TBtrieveSettings& settings = BtrieveSettings();
    if (!settings.ignoreSqlDatabases) {
        if (CheckSqlEngine() && EnsureSqlEngineLoaded() && SqlNameLibraryLoaded()) {
            cursor = MakeHandle<TSSQLDatabaseTable>(this, &Lists());
            return;
        }
        settings.ignoreSqlDatabases = true;
    }
    TBtrSession::OpenDatabaseList(cursor);
}

TSSQLDatabaseTable::TSSQLDatabaseTable(TBaseSession* session, TQuillonCollection* collection)
    : TSSQLDatabaseTable(session, CollectEntries(*session), collection) {}

TSSQLDatabaseTable::TSSQLDatabaseTable(TBaseSession* session, const std::vector<TDatabaseDesc>& entries,
                                       TQuillonCollection* collection)
    : TBaseListTable(session, static_cast<uint16_t>(entries.size()), entries.data(), sizeof(TDatabaseDesc),
                     collection) {}

std::vector<TDatabaseDesc> TSSQLDatabaseTable::CollectEntries(TBaseSession& session) {
    std::vector<TDatabaseDesc> entries;
    {
        TQuillonCollection lists;
        auto* aliases = MakeHandle<TRegDBListTable>(&session, "BTRIEVE", &lists);
        aliases->OpenCursor();
        try {
            for (;;) {
                TDatabaseDesc desc{};
                aliases->GetNextRecord(0, reinterpret_cast<uint8_t*>(&desc), nullptr);
                entries.push_back(desc);
            }
        } catch (const EQuillonEOFError&) {
        }
    }
    const TSqlEntryPoints& engine = SqlEngine();
    AddEngineDatabases(entries, engine.countDatabaseNames, engine.databaseNames, "LOCAL");
    AddEngineDatabases(entries, engine.countRemoteDatabaseNames, engine.remoteDatabaseNames, "REMOTE");
    return entries;
}

}  // namespace btrieve
