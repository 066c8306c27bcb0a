#include "btrieve/engines/BtrSqlDatabase.h"

#include <cstring>

#include "btrieve/base/BaseSession.h"
#include "btrieve/base/RightsRegistry.h"
#include "btrieve/engines/BtrSqlProcTable.h"
#include "btrieve/engines/SSQLSqlStmt.h"
#include "btrieve/engines/SqlEngine.h"

namespace btrieve {

namespace {

constexpr size_t kLoginTextSize = 31;
constexpr uint16_t kSqlLanguage = 2;
constexpr int32_t kAbortTransaction = 2;

bool Contains(const char* field, size_t size, char c) { return FieldText(field, size).find(c) != AnsiString::npos; }

}  // namespace

void PutSqlSession(int16_t sessionId) { CheckSqlStatus(SqlEngine().putSessionId(sessionId)); }

TBtrSqlDatabase::TBtrSqlDatabase(TBapiListItem* session, const TDatabaseDesc& desc, const char* password,
                                 int32_t openMode, int32_t shareMode, uint16_t paramCount,
                                 const TEngineFieldDesc* paramDescs, const char* paramValues,
                                 TQuillonCollection* collection)
    : TBtrDatabase(session, desc, password, openMode, shareMode, paramCount, paramDescs, paramValues, collection) {
    // The base applied the open parameters before this class existed, so only its own
    // names: "User" and "Password" are taken now. A password given to the open wins.
    const AnsiString given = Password();
    ApplyParams(paramCount, paramDescs, paramValues);
    if (!given.empty()) SetPassword(given);
    if (paramCount == 0) ReadAliasLogin();
}

TBtrSqlDatabase::~TBtrSqlDatabase() { TBtrSqlDatabase::BeforeDestroy(); }

void TBtrSqlDatabase::BeforeDestroy() {
    // Result cursors and statements hold engine cursors of this log-in.
    Cursors().FreeAll();
    statements_.FreeAll();
    try {
        Disconnect();
    } catch (const platform::Exception&) {
        connected_ = false;
    }
}

TBaseSession& TBtrSqlDatabase::Session() const { return *static_cast<TBaseSession*>(Owner()); }

void TBtrSqlDatabase::ReadAliasLogin() {
    TRightsRegistry registry;
    registry.SetRootKey(Session().RegRoot());
    registry.SetAccessMask(KEY_READ);
    if (!registry.OpenKey(Session().AliasKeyPath(FieldText(Desc().name, sizeof Desc().name)), false)) return;
    if (registry.ValueExists("User")) {
        const AnsiString user = registry.GetString("User");
        if (!user.empty()) TBaseDatabase::SetParam("USER NAME", user.c_str());
    }
    if (Password().empty() && registry.ValueExists("Password")) {
        const AnsiString password = registry.GetString("Password");
        if (!password.empty()) SetPassword(password.substr(0, kLoginTextSize));
    }
}

void TBtrSqlDatabase::SetParam(const AnsiString& name, const char* value) {
    if (platform::AnsiSameText(name, "User") || platform::AnsiSameText(name, "USER NAME")) {
        TBaseDatabase::SetParam("USER NAME", value);
    } else if (platform::AnsiSameText(name, "Password")) {
        SetPassword(AnsiString(value ? value : "").substr(0, kLoginTextSize));
    }
}

void TBtrSqlDatabase::OpenTableList(bool extended, bool systemTables, const char* wildcard, TBaseTable*& cursor) {
    if (Contains(Desc().name, sizeof Desc().name, '@') &&
        FieldText(Desc().dbType, sizeof Desc().dbType).find("BTRIEVE") != AnsiString::npos)
        throw EScalableSQLEngineError(SqlStatusDatabaseNotFound);
    TBtrDatabase::OpenTableList(extended, systemTables, wildcard, cursor);
}

void TBtrSqlDatabase::OpenProcList(bool, bool, const char*, TBaseTable*& cursor) {
    cursor = OpenNewCursor(MakeHandle<TBtrSqlProcTable>(this, ClientId(), DatabaseDirectory(), &Cursors()));
}

void TBtrSqlDatabase::BeginTran(int32_t isolation) {
    if (tranState_ == 1) RaiseEngineError(rc::ActiveTran);
    if (LoggedIn()) {
        ExecDirect(kSqlLanguage, "START TRANSACTION", nullptr);
        tranState_ = 1;
        btrieveTransaction_ = false;
        return;
    }
    TBtrDatabase::BeginTran(isolation);
    btrieveTransaction_ = true;
}

void TBtrSqlDatabase::EndTran(int32_t endMode) {
    if (tranState_ != 1) RaiseEngineError(rc::NoActiveTran);
    if (btrieveTransaction_) {
        // A commit the record manager refuses leaves its transaction open: the next end
        // still belongs to the record manager, not to a relational log-in.
        TBtrDatabase::EndTran(endMode);
        btrieveTransaction_ = false;
        return;
    }
    tranState_ = 0;
    ExecDirect(kSqlLanguage, endMode == kAbortTransaction ? "ROLLBACK WORK" : "COMMIT WORK", nullptr);
}

void TBtrSqlDatabase::EnsureEngine() {
    if (engineChecked_) return;
    if (!EnsureSqlEngineLoaded()) throw EScalableSQLEngineError(SqlStatusEngineMissing);
    engineChecked_ = true;
}

void TBtrSqlDatabase::Connect() {
    if (LoggedIn()) return;
    EnsureEngine();
    char dictionaryPath[kSqlLoginPathSize] = {};
    char dataPath[kSqlLoginPathSize] = {};
    const AnsiString name = FieldText(Desc().name, sizeof Desc().name);
    const AnsiString physical = FieldText(Desc().physicalName, sizeof Desc().physicalName);
    if (name.find('@') != AnsiString::npos) {
        std::strncpy(dictionaryPath, name.c_str(), kSqlLoginPathSize - 1);
    } else {
        std::strncpy(dictionaryPath, physical.c_str(), kSqlLoginPathSize - 1);
        std::strncpy(dataPath, physical.c_str(), kSqlLoginPathSize - 1);
    }
    const int16_t option = CheckSqlEngine() ? 1 : 0;
    const AnsiString user = UserName();
    const AnsiString password = Password();
    const int16_t status = SqlEngine().login(user.c_str(), password.c_str(), dictionaryPath, dataPath, "", option);
    switch (status) {
    case SqlStatusOk:
        sessionId_ = -1;
        CheckSqlStatus(SqlEngine().getSessionId(&sessionId_));
        connected_ = true;
        return;
    case SqlStatusBadPassword: throw EScalableSQLEngineError(status, user);
    default:
        // 51 included: the database is not logged in, so whatever needed the log-in
        // must not go on as if it were.
        throw EScalableSQLEngineError(status, physical);
    }
}

void TBtrSqlDatabase::Disconnect() {
    if (LoggedIn() && SqlEngineLoaded()) {
        connected_ = false;
        PutSqlSession(sessionId_);
        CheckSqlStatus(SqlEngine().logout());
    }
    connected_ = false;
}

void TBtrSqlDatabase::AllocStmt(uint16_t, TSqlStmt*& statement) {
    EnsureEngine();
    statement = MakeHandle<TSSQLSqlStmt>(this, 0, nullptr, sessionId_, ClientId(), &statements_);
}

void TBtrSqlDatabase::PrepareStmtExt(uint16_t language, const char* text, TSqlStmt*& statement) {
    if (language != kSqlLanguage) RaiseUnsupported(9018);
    Connect();
    if (!statement) statement = MakeHandle<TSSQLSqlStmt>(this, 0, nullptr, sessionId_, ClientId(), &statements_);
    auto* sqlStatement = static_cast<TSSQLSqlStmt*>(statement);
    sqlStatement->SetSessionId(sessionId_);
    sqlStatement->SetText(text);
}

void TBtrSqlDatabase::PrepareProc(const char* procName, uint16_t paramCount, TSqlStmt*& statement, const void*) {
    CheckParam(procName);
    Connect();
    const AnsiString text = AnsiString("CALL ") + procName + "();";
    statement = MakeHandle<TSSQLSqlStmt>(this, 1, text.c_str(), sessionId_, ClientId(), &statements_);
    statement->Prepare(paramCount != 0);
}

}  // namespace btrieve
