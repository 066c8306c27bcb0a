#include "btrieve/components/QnSession.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/base/VirtEng.h"
#include "btrieve/components/DBEngineError.h"
#include "btrieve/components/QnDatabase.h"
#include "btrieve/components/QnDBDataset.h"
#include "platform/DBScreen.h"
#include "platform/ScopeExit.h"

namespace btrieve {

using platform::AnsiSameText;
using platform::DatabaseError;
using platform::DatabaseErrorFmt;
using platform::TComponent;

namespace {

constexpr uint32_t kNetDirProp = 0x20002;
constexpr uint32_t kConfigModeProp = 0x2000C;
constexpr uint16_t kMultipleInit = 0x2A07;
constexpr int kSqlWaitCallback = 21;
constexpr int kPasswordCallback = 28;

// Frees a component the library made (owned ones leave their owner as they go).
void FreeComponent(TComponent* component) {
    if (component->Owner())
        component->Owner()->RemoveComponent(component).reset();
}

// The engine lock for a scope.
class TEngineLock {
public:
    explicit TEngineLock(TQnSession& session) : session_(session) { session_.EnterEngineLock(); }
    ~TEngineLock() { session_.LeaveEngineLock(); }
    TEngineLock(const TEngineLock&) = delete;
    TEngineLock& operator=(const TEngineLock&) = delete;

private:
    TQnSession& session_;
};

AnsiString OemText(const AnsiString& text, size_t maxLength) {
    AnsiString oem;
    AnsiToOemStr(text.substr(0, maxLength), oem);
    return oem;
}

}  // namespace

// ---------------------------------------------------------------- session list

void TQnSessionlist::Start() { CreateEngineLock(); }

void TQnSessionlist::Finish() {
    {
        platform::TThreadListLock lock(sessions_);
        while (lock.List().Count() > 0) {
            auto* session = static_cast<TQnSession*>(lock.List().Last());
            auto adopted = std::find_if(adopted_.begin(), adopted_.end(),
                                        [session](const auto& held) { return held.get() == session; });
            if (adopted != adopted_.end()) {
                std::unique_ptr<TQnSession> freed = std::move(*adopted);
                adopted_.erase(adopted);
                freed.reset();
            } else if (session->Owner()) {
                FreeComponent(session);
            } else {
                // An unowned session its creator keeps: it only leaves the list.
                lock.List().Remove(session);
            }
        }
    }
    DestroyEngineLock();
}

void TQnSessionlist::AddSession(TQnSession* session) {
    platform::TThreadListLock lock(sessions_);
    if (lock.List().Count() == 0) session->MarkPrimary();
    lock.List().Add(session);
}

void TQnSessionlist::RemoveSession(TQnSession* session) {
    platform::TThreadListLock lock(sessions_);
    lock.List().Remove(session);
}

void TQnSessionlist::AdoptSession(std::unique_ptr<TQnSession> session) { adopted_.push_back(std::move(session)); }

TQnSession* TQnSessionlist::FindSession(const AnsiString& name) {
    if (name.empty()) return PrimarySession();
    platform::TThreadListLock lock(sessions_);
    for (int i = 0; i < lock.List().Count(); ++i) {
        auto* session = static_cast<TQnSession*>(lock.List().Get(i));
        if (AnsiSameText(session->SessionName(), name)) return session;
    }
    return nullptr;
}

TQnSession* TQnSessionlist::GetSession(const AnsiString& name) {
    TQnSession* session = FindSession(name);
    if (!session) DatabaseErrorFmt("Invalid session name %s", name);
    return session;
}

int TQnSessionlist::Count() {
    platform::TThreadListLock lock(sessions_);
    return lock.List().Count();
}

TQnSession* TQnSessionlist::Sessions(int index) {
    platform::TThreadListLock lock(sessions_);
    return static_cast<TQnSession*>(lock.List().Get(index));
}

// ---------------------------------------------------------------- session: life

const platform::TClassInfo& TQnSession::StaticClassInfo() {
    static const platform::TClassInfo info = [] {
        platform::TClassInfo i("TQnSession", &TComponent::StaticClassInfo());
        i.Property("Active", &TQnSession::Active, &TQnSession::SetActive);
        i.Property("AutoSessionName", &TQnSession::AutoSessionName, &TQnSession::SetAutoSessionName);
        i.Property("KeepConnections", &TQnSession::KeepConnections, &TQnSession::SetKeepConnections);
        i.WriteOnlyProperty("NetFileDir", &TQnSession::SetNetFileDir);
        i.WriteOnlyProperty("PrivateDir", &TQnSession::SetPrivateDir);
        i.Property("SessionName", &TQnSession::SessionName, &TQnSession::SetSessionName);
        i.Property("SQLHourGlass", &TQnSession::SQLHourGlass, &TQnSession::SetSQLHourGlass);
        return i;
    }();
    return info;
}

TQnSession::TQnSession(TComponent* owner) : TComponent(owner) {}

void TQnSession::AfterConstruction() {
    ValidateAutoSession(Owner(), false);
    sessionList_ = BindSessionList();
    sessionList_->AddSession(this);
}

TQnSession::~TQnSession() {
    // Databases that outlive their session must not keep pointing at it.
    while (!databases_.empty()) {
        TQnDatabase* database = databases_.back();
        database->SessionGoing(this);
        if (!databases_.empty() && databases_.back() == database) databases_.pop_back();
    }
    if (sessionList_) sessionList_->RemoveSession(this);
}

void TQnSession::StopBeforeDestruction() {
    if (stopped_) return;
    stopped_ = true;
    IncludeState(platform::csDestroying);
    // Its databases close on the way, and may fail to; the session stops all the same.
    platform::CleanUpStep([this] { SetActive(false); });
    if (autoSessionName_ && sessionNumber_ >= 0 && sessionList_) {
        TEngineLock lock(*this);
        sessionList_->SessionNumbers().Set(sessionNumber_, false);
        sessionNumber_ = -1;
    }
}

TVirtEng& TQnSession::Engine() {
    TVirtEng* engine = EngineInstance();
    if (!engine) DatabaseError("Session is not active");
    return *engine;
}

// ---------------------------------------------------------------- active

void TQnSession::SetActive(bool value) {
    if (InState(platform::csReading) || InState(platform::csLoading)) {
        streamedActive_ = value;
        return;
    }
    if (value != Active()) SwitchSessionActive(value);
}

void TQnSession::SwitchSessionActive(bool active) {
    TEngineLock lock(*this);
    if (active)
        StartSession();
    else
        StopSession();
}

void TQnSession::StartSession() {
    if (OnStartup) OnStartup(*this);
    if (sessionName_.empty()) DatabaseError("Session name missing");
    if (!primary_) {
        TQnSession* primary = PrimarySession();
        if (primary && primary != this) primary->SetActive(true);
    }
    if (primary_) {
        StartEngine();
    } else {
        TBaseSession* session = nullptr;
        Check(Engine(), Engine().StartSession(nullptr, session, nullptr));
        handle_ = session;
    }
    try {
        SetCallbacks(true);
        if (!netFileDir_.empty()) SetNetFileDir(netFileDir_);
        if (!privateDir_.empty()) SetPrivateDir(privateDir_);
        SetConfigMode(7);
    } catch (...) {
        StopSession();
        throw;
    }
}

void TQnSession::StopSession() {
    if (!handle_) return;
    TVirtEng* engine = EngineInstance();
    // A database or session that reports on closing (a dataset's cached changes dropped)
    // is closed all the same and the stop goes on; the first report passes on at the end.
    std::exception_ptr failure;
    if (primary_ && sessionList_) {
        // Freeing the facade ends every engine session in it: the other active
        // sessions stop first, so none is left holding a dead handle.
        for (int i = sessionList_->Count() - 1; i >= 0; --i) {
            TQnSession* other = sessionList_->Sessions(i);
            if (other && other != this && other->Active())
                platform::Attempt(failure, [other] { other->SetActive(false); });
        }
    }
    if (engine) engine->SetCurrSession(handle_);
    for (int i = static_cast<int>(databases_.size()) - 1; i >= 0; --i) {
        if (i >= static_cast<int>(databases_.size())) continue;
        TQnDatabase* database = databases_[static_cast<size_t>(i)];
        platform::Attempt(failure, [database] { database->CloseConnection(); });
        if (database->Temporary() && database->Owner()) FreeComponent(database);
    }
    SetCallbacks(false);
    if (!primary_) {
        TBaseSession* closing = handle_;
        handle_ = nullptr;
        if (engine) {
            platform::Attempt(failure, [&] { Check(*engine, engine->CloseSession(closing)); });
            TQnSession* primary = PrimarySession();
            if (primary && primary->handle_) engine->SetCurrSession(primary->handle_);
        }
    } else {
        handle_ = nullptr;
        if (!detached_) AssignEngineInstance(nullptr);
    }
    if (failure) std::rethrow_exception(failure);
}

void TQnSession::StartEngine() {
    platform::IDBScreen& screen = platform::DBScreen();
    const bool showHourGlass = screen.GetCursor() == platform::dcrDefault;
    if (showHourGlass) screen.SetCursor(platform::dcrHourGlass);
    auto restoreCursor = [&] {
        if (showHourGlass && screen.GetCursor() == platform::dcrHourGlass) screen.SetCursor(platform::dcrDefault);
    };
    try {
        uint16_t result = kMultipleInit;
        bool created = false;
        if (!EngineInstance()) {
            try {
                auto engine = std::make_unique<TVirtEng>(EngineSessionClass());
                result = engine->StartResult();
                AssignEngineInstance(std::move(engine));
                created = true;
            } catch (const EQuillonEngineError& error) {
                result = error.Code();
            }
        }
        if (result != 0 && result != kMultipleInit) {
            if (!created) {
                TVirtEng scratch(nullptr);
                RaiseDatasetError(scratch, result);
            }
            ETDBEngineError error(*EngineInstance(), result);
            // A facade that failed to start is not kept for the next try.
            AssignEngineInstance(nullptr);
            throw error;
        }
        TBaseSession* session = nullptr;
        Check(Engine(), Engine().GetCurrSession(session));
        handle_ = session;
    } catch (...) {
        restoreCursor();
        throw;
    }
    restoreCursor();
}

void TQnSession::SetCallbacks(bool on) {
    if (!on) {
        callbacks_.clear();
        return;
    }
    if (sqlHourGlass_)
        callbacks_.push_back(std::make_unique<TQnBDECallback>(EngineInstance(), this, nullptr, kSqlWaitCallback,
                                                              nullptr, 0, nullptr, false));
    callbacks_.push_back(std::make_unique<TQnBDECallback>(EngineInstance(), this, nullptr, kPasswordCallback, nullptr,
                                                          0, nullptr, false));
}

// ---------------------------------------------------------------- engine session

void TQnSession::MakeCurrent() {
    if (handle_)
        Check(Engine(), Engine().SetCurrSession(handle_));
    else
        SetActive(true);
}

TBaseSession* TQnSession::Handle() {
    MakeCurrent();
    return handle_;
}

void TQnSession::LockSession() {
    // Every level takes the (recursive) engine lock: a count held by one thread must
    // not let another thread past it.
    EnterEngineLock();
    if (lockCount_ > 0) {
        ++lockCount_;
        return;
    }
    lockCount_ = 1;
    try {
        MakeCurrent();
    } catch (...) {
        // A lock whose session could not be made current is given back at once.
        lockCount_ = 0;
        LeaveEngineLock();
        throw;
    }
}

void TQnSession::UnlockSession() {
    if (lockCount_ <= 0) return;
    --lockCount_;
    LeaveEngineLock();
}

void TQnSession::CheckInactive() {
    if (Active()) DatabaseError("Cannot perform this operation on an active session");
}

int32_t TQnSession::GetConfigMode() {
    TQnSessionLock lock(*this);
    return GetIntProp(Engine(), handle_, kConfigModeProp);
}

void TQnSession::SetConfigMode(int32_t mode) {
    TQnSessionLock lock(*this);
    Check(Engine(), Engine().SetProp(handle_, kConfigModeProp, mode));
}

void TQnSession::SetConfigModeMapped(int32_t mode) { SetConfigMode(mode == 7 ? 2 : mode); }

AnsiString TQnSession::NetFileDir() {
    if (!Active() || InState(platform::csWriting)) return platform::AnsiUpperCase(netFileDir_);
    TQnSessionLock lock(*this);
    char buffer[261] = {};
    uint16_t length = 0;
    Check(Engine(), Engine().GetProp(handle_, kNetDirProp, buffer, sizeof buffer - 1, length));
    AnsiString text;
    NativeToAnsiStr(Engine(), nullptr, buffer, text);
    return platform::AnsiUpperCase(text);
}

void TQnSession::SetNetFileDir(const AnsiString& value) {
    if (Active()) {
        TQnSessionLock lock(*this);
        char buffer[261];
        AnsiToNativeBuf(Engine(), nullptr, value, 260, buffer);
        Check(Engine(), Engine().SetProp(handle_, kNetDirProp, reinterpret_cast<intptr_t>(buffer)));
    }
    netFileDir_ = value;
}

AnsiString TQnSession::PrivateDir() {
    if (!Active() || InState(platform::csWriting)) return platform::AnsiUpperCase(privateDir_);
    TQnSessionLock lock(*this);
    TSessionInfo info{};
    Check(Engine(), Engine().GetSesInfo(info));
    AnsiString text;
    NativeToAnsiStr(Engine(), nullptr, FieldText(info.privateDir, sizeof info.privateDir).c_str(), text);
    return platform::AnsiUpperCase(text);
}

void TQnSession::SetPrivateDir(const AnsiString& value) {
    if (Active()) {
        TQnSessionLock lock(*this);
        char buffer[261];
        AnsiToNativeBuf(Engine(), nullptr, value, 260, buffer);
        Check(Engine(), Engine().SetPrivateDir(buffer));
    }
    privateDir_ = value;
}

// ---------------------------------------------------------------- databases

void TQnSession::DBNotification(int kind, void* parameter) {
    if (OnDBNotify) OnDBNotify(kind, parameter);
}

void TQnSession::AddDatabase(TQnDatabase* database) {
    databases_.push_back(database);
    DBNotification(2, database);
}

void TQnSession::RemoveDatabase(TQnDatabase* database) {
    databases_.erase(std::remove(databases_.begin(), databases_.end(), database), databases_.end());
    DBNotification(3, database);
}

TQnDatabase* TQnSession::FindDatabase(const AnsiString& name) {
    for (TQnDatabase* database : databases_)
        if ((!database->DatabaseName().empty() || database->Temporary()) &&
            AnsiSameText(database->DatabaseName(), name))
            return database;
    return nullptr;
}

TQnDatabase* TQnSession::FindDatabaseOfOwner(const AnsiString& name, TComponent* owner) {
    if (owner)
        for (TQnDatabase* database : databases_)
            if (database->Owner() == owner && database->HandleShared() &&
                AnsiSameText(database->DatabaseName(), name))
                return database;
    return FindDatabase(name);
}

TBaseDatabase* TQnSession::FindSharedHandle(const AnsiString& name) {
    for (TQnDatabase* database : databases_)
        if (database->Connected() && database->HandleShared() && AnsiSameText(database->DatabaseName(), name))
            return database->Handle();
    return nullptr;
}

TQnDatabase* TQnSession::OpenDatabase(const AnsiString& name, TComponent* owner) {
    TQnSessionLock lock(*this);
    TQnDatabase* database = FindDatabaseOfOwner(name, owner);
    // An idle temporary database kept for its alias (connected, or disconnected with the
    // alias's values in its parameters) would go on working in the place the alias named
    // when it connected: once the alias says otherwise it is let go and made afresh.
    if (database && database->Temporary() && database->RefCount() == 0 && database->Owner() &&
        database->AliasParamsChanged()) {
        FreeComponent(database);
        database = nullptr;
    }
    bool created = false;
    if (!database) {
        database = static_cast<TQnDatabase*>(DatabaseComponentClass().CreateOwned(*this));
        created = true;
        try {
            database->SetDatabaseName(name);
            database->SetKeepConnection(keepConnections_);
            database->SetTemporary(true);
        } catch (...) {
            FreeComponent(database);
            throw;
        }
    }
    try {
        database->OpenConnection();
    } catch (...) {
        if (created) FreeComponent(database);
        throw;
    }
    database->SetRefCount(database->RefCount() + 1);
    return database;
}

void TQnSession::CloseDatabase(TQnDatabase* database) {
    if (database->RefCount() > 0) database->SetRefCount(database->RefCount() - 1);
    if (database->RefCount() != 0 || database->KeepConnection()) return;
    if (database->Temporary()) {
        // A database closing its own datasets is still at work: it stays, disconnected.
        if (!database->InState(platform::csDestroying) && !database->Releasing() && database->Owner())
            FreeComponent(database);
    } else {
        database->CloseConnection();
    }
}

void TQnSession::CloseEngineDatabase(TQnDatabase* database) {
    for (TQnDatabase* other : databases_)
        if (other != database && other->Handle() && AnsiSameText(other->DatabaseName(), database->DatabaseName()))
            return;
    TBaseDatabase* handle = database->Handle();
    if (EngineInstance()) EngineInstance()->CloseDatabase(handle);
}

bool TQnSession::GetPassword() {
    if (OnPassword) {
        bool continueOpen = false;
        OnPassword(*this, continueOpen);
        return continueOpen;
    }
    // No password dialog in this library.
    return false;
}

// ---------------------------------------------------------------- configuration

void TQnSession::GetConfigParams(const AnsiString& pathFormat, const AnsiString& name, platform::TStrings& list) {
    TQnSessionLock lock(*this);
    const AnsiString path = platform::Format(pathFormat, name);
    TBaseTable* cursor = nullptr;
    Check(Engine(), Engine().OpenCfgInfoList(nullptr, 1, 0, path.c_str(), cursor));
    try {
        TConfigNode node{};
        while (Engine().GetNextRecord(cursor, 0, reinterpret_cast<uint8_t*>(&node), nullptr) == 0) {
            AnsiString value;
            NativeToAnsiStr(Engine(), nullptr, FieldText(node.value, sizeof node.value).c_str(), value);
            list.Add(platform::Format("%s=%s", FieldText(node.nodeName, sizeof node.nodeName), value));
        }
    } catch (...) {
        Engine().CloseCursor(cursor);
        throw;
    }
    Engine().CloseCursor(cursor);
}

void TQnSession::GetAliasParams(const AnsiString& alias, platform::TStrings& list) {
    platform::TStringsUpdate update(list);
    list.Clear();
    GetConfigParams("\\DATABASES\\%s\\DB OPEN", OemText(alias, 260), list);
}

void TQnSession::GetDriverParams(const AnsiString& driver, platform::TStrings& list) {
    list.Clear();
    if (AnsiSameText(driver, "STANDARD"))
        list.Add(platform::Format("%s=", "PATH"));
    else
        GetConfigParams("\\DRIVERS\\%s\\DB OPEN", OemText(driver, 260), list);
}

void TQnSession::InternalAddAlias(const AnsiString& name, const AnsiString& driver, bool restoreMode,
                                  int32_t configMode, const platform::TStrings& params) {
    AnsiString text;
    ParamsToAliasText(params, text);
    AnsiString defaultDriver = params.Values("DEFAULT DRIVER");
    if (defaultDriver.empty() && !AnsiSameText(driver, "STANDARD")) defaultDriver = driver;
    {
        TQnSessionLock lock(*this);
        const int32_t previous = GetConfigMode();
        try {
            SetConfigModeMapped(configMode);
            Check(Engine(), Engine().AddAlias(nullptr, OemText(name, 260).c_str(),
                                              OemText(defaultDriver, 260).c_str(), text.c_str(), true));
        } catch (...) {
            if (restoreMode) SetConfigMode(previous);
            throw;
        }
        if (restoreMode) SetConfigMode(previous);
    }
    AnsiString notified = name;
    DBNotification(4, &notified);
}

void TQnSession::InternalDeleteAlias(const AnsiString& name) {
    AnsiString notified = name;
    DBNotification(5, &notified);
    TQnSessionLock lock(*this);
    // Deleted under the same (OEM) name it was added with.
    Engine().DeleteAlias(nullptr, OemText(name, 260).c_str());
}

// ---------------------------------------------------------------- automatic names

void TQnSession::ValidateAutoSession(TComponent* owner, bool enabling) {
    if (!owner) return;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        auto* other = dynamic_cast<TQnSession*>(owner->Components(i));
        if (!other || other == this) continue;
        if (enabling)
            DatabaseError("Cannot enable AutoSessionName property with more than one session on a form or data-module");
        if (other->AutoSessionName())
            DatabaseErrorFmt("Cannot add a session to the form or data-module while session '%s' has AutoSessionName enabled",
                             other->Name());
    }
}

void TQnSession::SetAutoSessionName(bool value) {
    if (value == autoSessionName_) return;
    if (value) {
        CheckInactive();
        ValidateAutoSession(Owner(), true);
        {
            TEngineLock lock(*this);
            sessionNumber_ = sessionList_->SessionNumbers().OpenBit();
            sessionList_->SessionNumbers().Set(sessionNumber_, true);
        }
        autoSessionName_ = true;
        UpdateAutoSessionName();
    } else {
        TEngineLock lock(*this);
        if (sessionNumber_ >= 0) sessionList_->SessionNumbers().Set(sessionNumber_, false);
        sessionNumber_ = -1;
        autoSessionName_ = false;
    }
}

void TQnSession::UpdateAutoSessionName() {
    updatingAutoName_ = true;
    try {
        SetSessionName(platform::Format("%s_%d", Name(), sessionNumber_ + 1));
    } catch (...) {
        updatingAutoName_ = false;
        throw;
    }
    updatingAutoName_ = false;
    SetSessionNames();
}

void TQnSession::SetSessionNames() {
    TComponent* owner = Owner();
    if (!owner) return;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        TComponent* component = owner->Components(i);
        if (auto* dataset = dynamic_cast<TQnDBDataset*>(component)) {
            if (!AnsiSameText(dataset->SessionName(), sessionName_)) dataset->SetSessionName(sessionName_);
        } else if (auto* database = dynamic_cast<TQnDatabase*>(component)) {
            if (!AnsiSameText(database->SessionName(), sessionName_)) database->SetSessionName(sessionName_);
        }
    }
}

void TQnSession::SetSessionName(const AnsiString& value) {
    if (autoSessionName_ && !updatingAutoName_)
        DatabaseError("Cannot modify SessionName while AutoSessionName is enabled");
    CheckInactive();
    if (!value.empty() && sessionList_) {
        TQnSession* other = sessionList_->FindSession(value);
        if (other && other != this) DatabaseErrorFmt("Duplicate session name '%s'", value);
    }
    sessionName_ = value;
}

void TQnSession::StreamingCompleted() {
    try {
        TComponent::StreamingCompleted();
        if (autoSessionName_) SetSessionNames();
        if (streamedActive_) {
            streamedActive_ = false;
            SetActive(true);
        }
    } catch (...) {
        if (!InState(platform::csDesigning)) throw;
        HandleAppException(this);
    }
}

void TQnSession::ComponentNotice(TComponent* component, bool inserted) {
    TComponent::ComponentNotice(component, inserted);
    if (!autoSessionName_ || !inserted) return;
    if (auto* dataset = dynamic_cast<TQnDBDataset*>(component))
        dataset->SetSessionName(sessionName_);
    else if (auto* database = dynamic_cast<TQnDatabase*>(component))
        database->SetSessionName(sessionName_);
}

void TQnSession::SetName(const AnsiString& name) {
    TComponent::SetName(name);
    if (autoSessionName_) UpdateAutoSessionName();
}

}  // namespace btrieve
