// The relational engine as the library reaches it: its two libraries loaded on first
// need and bound by name, the version check, the mapping of its statuses to the
// library's errors, and the process-wide flag of a loaded engine. Used by the
// relational session, database, statements and cursors.
#pragma once

#include <functional>

#include "btrieve/engines/BtrieveEngineError.h"
#include "btrieve/engines/RelationalApi.h"

namespace btrieve {

// A relational status; its result code comes from the same map as the Btrieve statuses,
// its key text is the user name or path of a failed log-in.
class EScalableSQLEngineError : public EBtrieveEngineError {
public:
    using EBtrieveEngineError::EBtrieveEngineError;
};

// 0 and the informational (negative) statuses return; 9 is the end of the data; every
// other status raises EScalableSQLEngineError.
void CheckSqlStatus(int16_t status);

// The entry points the library calls; the others are bound only to check they exist.
struct TSqlEntryPoints {
    XGetSessionIdFn getSessionId = nullptr;
    XPutSessionIdFn putSessionId = nullptr;
    XqlCursorFn cursor = nullptr;
    XqlCompileFn compile = nullptr;
    XqlDescribeFn describe = nullptr;
    XqlExecFn exec = nullptr;
    XqlFetchFn fetch = nullptr;
    XqlFreeFn free = nullptr;
    XqlLoginFn login = nullptr;
    XqlLogoutFn logout = nullptr;
    XqlStopFn stop = nullptr;
    XqlSubstFn subst = nullptr;
    XqlVersionFn version = nullptr;
    XFetchFn xFetch = nullptr;
    XInsertFn xInsert = nullptr;
    XRemoveFn xRemove = nullptr;
    XResetFn xReset = nullptr;
    XUpdateFn xUpdate = nullptr;
    SqlGetCountDatabaseNamesFn countDatabaseNames = nullptr;
    SqlGetCountDatabaseNamesFn countRemoteDatabaseNames = nullptr;
    SqlGetDatabaseNamesFn databaseNames = nullptr;
    SqlGetDatabaseNamesFn remoteDatabaseNames = nullptr;
};

// The bound entry points; only valid while SqlEngineLoaded().
const TSqlEntryPoints& SqlEngine();
bool SqlEngineLoaded();
bool SqlNameLibraryLoaded();

// 0 when the statement library is (or now gets) loaded with every entry point bound,
// 200 when it cannot be loaded or lacks an entry point (the missing name is reported).
// Loads the name library too unless the relational database list is switched off.
int16_t LoadSqlEngine();
void UnloadSqlEngine();
// The engine is loaded, reports major version 4 and was reset.
bool CheckSqlEngine();
// Sets the engine-loaded flag on a successful load; a failure is tried again next time.
bool EnsureSqlEngineLoaded();
bool SqlEngineLoadedFlag();
void ClearSqlEngineLoadedFlag();

// Programs that check the engine once per process (the configuration export tool) keep
// the first answer, a failure included.
void SetSqlEngineCheckedOnce(bool once);

// Where a missing entry point is reported; the debugger's output unless replaced.
using TSqlLoadErrorReporter = std::function<void(const AnsiString& message)>;
void SetSqlLoadErrorReporter(TSqlLoadErrorReporter reporter);
// The library files loaded; the engine's own names unless replaced (for tests).
void SetSqlLibraryNames(const AnsiString& statementLibrary, const AnsiString& nameLibrary);

}  // namespace btrieve
