#include "btrieve/engines/SqlEngine.h"

#include <windows.h>

#include <cstring>
#include <iterator>

#include "btrieve/engines/BtrieveFields.h"

namespace btrieve {

namespace {

struct TSqlEngineState {
    HMODULE statementLibrary = nullptr;
    HMODULE nameLibrary = nullptr;
    TSqlEntryPoints entries;
    bool engineLoaded = false;
    bool checkedOnce = false;
    bool checked = false;
    bool checkAnswer = false;
    AnsiString statementLibraryName = kSqlStatementLibrary;
    AnsiString nameLibraryName = kSqlNameLibrary;
    TSqlLoadErrorReporter reporter;
};

TSqlEngineState& State() {
    static TSqlEngineState state;
    return state;
}

// No message box: the library runs inside unattended installations, where a modal box
// would stop the run with nobody there to close it. The engine is reported unusable.
void ReportLoadError(const AnsiString& message) {
    if (State().reporter) {
        State().reporter(message);
        return;
    }
    OutputDebugStringA(message.c_str());
}

// Looks every name up in order; stops at (and reports) the first missing one.
bool BindAll(HMODULE module, const char* const* names, size_t count, const char* libraryName,
             void (*keep)(const char* name, FARPROC address)) {
    for (size_t i = 0; i < count; ++i) {
        const FARPROC address = GetProcAddress(module, names[i]);
        if (!address) {
            ReportLoadError(AnsiString("Error Loading Dynamic Function ") + names[i] + " from " + libraryName);
            return false;
        }
        keep(names[i], address);
    }
    return true;
}

template <class Fn>
void KeepIf(const char* name, const char* wanted, FARPROC address, Fn& slot) {
    if (std::strcmp(name, wanted) == 0) slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
}

void KeepStatementEntry(const char* name, FARPROC address) {
    TSqlEntryPoints& e = State().entries;
    KeepIf(name, "_xGetSessionID", address, e.getSessionId);
    KeepIf(name, "_xPutSessionID", address, e.putSessionId);
    KeepIf(name, "_XQLCursor", address, e.cursor);
    KeepIf(name, "_XQLCompile", address, e.compile);
    KeepIf(name, "XQLDescribe", address, e.describe);
    KeepIf(name, "XQLExec", address, e.exec);
    KeepIf(name, "_XQLFetch", address, e.fetch);
    KeepIf(name, "_XQLFree", address, e.free);
    KeepIf(name, "_XQLLogin", address, e.login);
    KeepIf(name, "_XQLLogout", address, e.logout);
    KeepIf(name, "_XQLStop", address, e.stop);
    KeepIf(name, "XQLSubst", address, e.subst);
    KeepIf(name, "XQLVersion", address, e.version);
    KeepIf(name, "xFetch", address, e.xFetch);
    KeepIf(name, "xInsert", address, e.xInsert);
    KeepIf(name, "xRemove", address, e.xRemove);
    KeepIf(name, "xReset", address, e.xReset);
    KeepIf(name, "xUpdate", address, e.xUpdate);
}

void KeepNameEntry(const char* name, FARPROC address) {
    TSqlEntryPoints& e = State().entries;
    KeepIf(name, "SQLGetCountDatabaseNames", address, e.countDatabaseNames);
    KeepIf(name, "SQLGetCountRemoteDatabaseNames", address, e.countRemoteDatabaseNames);
    KeepIf(name, "SQLGetDatabaseNames", address, e.databaseNames);
    KeepIf(name, "SQLGetRemoteDatabaseNames", address, e.remoteDatabaseNames);
}

void ClearNameEntries() {
    TSqlEntryPoints& e = State().entries;
    e.countDatabaseNames = e.countRemoteDatabaseNames = nullptr;
    e.databaseNames = e.remoteDatabaseNames = nullptr;
}

void FreeStatementLibrary() {
    TSqlEngineState& s = State();
    if (s.statementLibrary) FreeLibrary(s.statementLibrary);
    s.statementLibrary = nullptr;
    const TSqlEntryPoints names = s.entries;
    s.entries = TSqlEntryPoints{};
    s.entries.countDatabaseNames = names.countDatabaseNames;
    s.entries.countRemoteDatabaseNames = names.countRemoteDatabaseNames;
    s.entries.databaseNames = names.databaseNames;
    s.entries.remoteDatabaseNames = names.remoteDatabaseNames;
}

bool RunEngineCheck() {
    TSqlEngineState& s = State();
    if (!s.statementLibrary) LoadSqlEngine();
    if (!s.statementLibrary) return false;
    SqlVersionRecord record{};
    std::memcpy(record.signature, "XVER", 4);
    record.size = sizeof record;
    if (s.entries.version(&record) != 0 || record.major != kSqlEngineMajorVersion) return false;
    char options = 0;
    s.entries.xReset(&options);
    return true;
}

}  // namespace

void CheckSqlStatus(int16_t status) {
    if (status <= 0) return;
    if (status == SqlStatusEndOfData) RaiseEOF();
    throw EScalableSQLEngineError(status);
}

const TSqlEntryPoints& SqlEngine() { return State().entries; }
bool SqlEngineLoaded() { return State().statementLibrary != nullptr; }
bool SqlNameLibraryLoaded() { return State().nameLibrary != nullptr; }

int16_t LoadSqlEngine() {
    TSqlEngineState& s = State();
    if (s.statementLibrary) return 0;
    s.statementLibrary = LoadLibraryA(s.statementLibraryName.c_str());
    if (!s.statementLibrary) return SqlStatusEngineNotLoaded;
    // A library without one of the entry points is not the engine: leaving the rest
    // unbound would let a later call jump through an empty pointer.
    if (!BindAll(s.statementLibrary, kSqlEntryNames, std::size(kSqlEntryNames), kSqlStatementLibrary,
                 KeepStatementEntry)) {
        FreeStatementLibrary();
        return SqlStatusEngineNotLoaded;
    }
    TBtrieveSettings& settings = BtrieveSettings();
    if (!settings.ignoreSqlDatabases && !s.nameLibrary) {
        s.nameLibrary = LoadLibraryA(s.nameLibraryName.c_str());
        if (!s.nameLibrary) {
            settings.ignoreSqlDatabases = true;
        } else if (!BindAll(s.nameLibrary, kSqlNameEntryNames, std::size(kSqlNameEntryNames), kSqlNameLibrary,
                            KeepNameEntry)) {
            // Without every name entry point the database list comes from the registry.
            FreeLibrary(s.nameLibrary);
            s.nameLibrary = nullptr;
            ClearNameEntries();
            settings.ignoreSqlDatabases = true;
        }
    }
    return 0;
}

void UnloadSqlEngine() {
    TSqlEngineState& s = State();
    FreeStatementLibrary();
    if (s.nameLibrary) FreeLibrary(s.nameLibrary);
    s.nameLibrary = nullptr;
    ClearNameEntries();
}

bool CheckSqlEngine() {
    TSqlEngineState& s = State();
    if (!s.checkedOnce) return RunEngineCheck();
    if (s.checked) return s.checkAnswer;
    s.checked = true;
    s.checkAnswer = RunEngineCheck();
    return s.checkAnswer;
}

bool EnsureSqlEngineLoaded() {
    TSqlEngineState& s = State();
    if (!s.engineLoaded) s.engineLoaded = LoadSqlEngine() == 0;
    return s.engineLoaded;
}

bool SqlEngineLoadedFlag() { return State().engineLoaded; }
void ClearSqlEngineLoadedFlag() { State().engineLoaded = false; }

void SetSqlEngineCheckedOnce(bool once) {
    TSqlEngineState& s = State();
    s.checkedOnce = once;
    s.checked = false;
    s.checkAnswer = false;
}

void SetSqlLoadErrorReporter(TSqlLoadErrorReporter reporter) { State().reporter = std::move(reporter); }

void SetSqlLibraryNames(const AnsiString& statementLibrary, const AnsiString& nameLibrary) {
    State().statementLibraryName = statementLibrary;
    State().nameLibraryName = nameLibrary;
}

}  // namespace btrieve
