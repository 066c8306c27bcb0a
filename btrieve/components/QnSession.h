// TQnSessionlist and TQnSession: the library-wide list of session components and the
// session component itself, which owns one engine session of the facade, keeps its
// database components, reads alias and driver parameters and adds or deletes aliases.
// The engine binding fills the abstract operations (the facade, the primary session,
// the classes to create, the engine lock); databases and tables reach their session
// through the list.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "btrieve/base/BaseSession.h"
#include "btrieve/components/CallHelpers.h"
#include "platform/Classes.h"

namespace btrieve {

class TVirtEng;
class TQnSession;
class TQnDatabase;

class TQnSessionlist {
public:
    TQnSessionlist() = default;
    virtual ~TQnSessionlist() = default;
    TQnSessionlist(const TQnSessionlist&) = delete;
    TQnSessionlist& operator=(const TQnSessionlist&) = delete;

    // Two-phase life: the binding calls Start right after constructing the list and
    // Finish from its destructor (the operations they run are its own).
    void Start();
    // Frees every session still listed, the last first, then the engine lock.
    void Finish();

    virtual TVirtEng* EngineInstance() = 0;
    virtual TQnSession* PrimarySession() = 0;
    virtual const platform::TClassInfo& SessionComponentClass() = 0;
    virtual void CreateEngineLock() = 0;
    virtual void DestroyEngineLock() = 0;

    // The first session added becomes the primary one.
    void AddSession(TQnSession* session);
    void RemoveSession(TQnSession* session);
    // An unowned session whose life the list keeps (the primary session).
    void AdoptSession(std::unique_ptr<TQnSession> session);
    // Empty name: the primary session; else by name regardless of case; none when unknown.
    TQnSession* FindSession(const AnsiString& name);
    // As FindSession; raises "Invalid session name %s" when there is none.
    TQnSession* GetSession(const AnsiString& name);
    int Count();
    TQnSession* Sessions(int index);
    platform::TBits& SessionNumbers() { return sessionNumbers_; }

private:
    platform::TThreadList sessions_;
    platform::TBits sessionNumbers_;
    std::vector<std::unique_ptr<TQnSession>> adopted_;
};

class TQnSession : public platform::TComponent {
public:
    using TPasswordEvent = std::function<void(TQnSession&, bool& continueOpen)>;
    using TStartupEvent = std::function<void(TQnSession&)>;
    // Kinds: 0 database opened, 1 closing, 2 added, 3 removed, 4 alias added, 5 alias deleted.
    using TNotificationEvent = std::function<void(int kind, void* parameter)>;

    explicit TQnSession(platform::TComponent* owner);
    ~TQnSession() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    // Binds the session list and joins it (after the construction's checks).
    void AfterConstruction() override;

    // ---- engine binding ----
    virtual TVirtEng* EngineInstance() = 0;
    // Keeps the library's facade; none frees the one kept.
    virtual void AssignEngineInstance(std::unique_ptr<TVirtEng> engine) = 0;
    virtual void EnterEngineLock() = 0;
    // Takes the engine lock when no other thread holds it; false at once when one does.
    virtual bool TryEnterEngineLock() = 0;
    virtual void LeaveEngineLock() = 0;
    virtual TQnSessionlist* BindSessionList() = 0;
    virtual TSessionClass EngineSessionClass() = 0;
    virtual TQnSession* PrimarySession() = 0;
    virtual const platform::TClassInfo& DatabaseComponentClass() = 0;
    virtual const platform::TClassInfo& TableComponentClass() = 0;
    virtual void SwitchSessionActive(bool active);

    // ---- properties ----
    bool Active() const { return handle_ != nullptr; }
    void SetActive(bool value);
    bool AutoSessionName() const { return autoSessionName_; }
    void SetAutoSessionName(bool value);
    bool KeepConnections() const { return keepConnections_; }
    void SetKeepConnections(bool value) { keepConnections_ = value; }
    AnsiString NetFileDir();
    void SetNetFileDir(const AnsiString& value);
    AnsiString PrivateDir();
    void SetPrivateDir(const AnsiString& value);
    const AnsiString& SessionName() const { return sessionName_; }
    void SetSessionName(const AnsiString& value);
    bool SQLHourGlass() const { return sqlHourGlass_; }
    void SetSQLHourGlass(bool value) { sqlHourGlass_ = value; }
    TPasswordEvent OnPassword;
    TStartupEvent OnStartup;
    TNotificationEvent OnDBNotify;

    bool IsPrimary() const { return primary_; }
    void MarkPrimary() { primary_ = true; }
    int SessionNumber() const { return sessionNumber_; }
    TQnSessionlist* SessionList() const { return sessionList_; }

    // ---- engine session ----
    // The engine session handle; an inactive session starts first.
    TBaseSession* Handle();
    void LockSession();
    void UnlockSession();
    void CheckInactive();
    int32_t GetConfigMode();
    void SetConfigMode(int32_t mode);
    void SetConfigModeMapped(int32_t mode);

    // ---- databases ----
    void DBNotification(int kind, void* parameter);
    void AddDatabase(TQnDatabase* database);
    void RemoveDatabase(TQnDatabase* database);
    int DatabaseCount() const { return static_cast<int>(databases_.size()); }
    TQnDatabase* Databases(int index) const { return databases_[static_cast<size_t>(index)]; }
    TQnDatabase* FindDatabase(const AnsiString& name);
    TQnDatabase* FindDatabaseOfOwner(const AnsiString& name, platform::TComponent* owner);
    TBaseDatabase* FindSharedHandle(const AnsiString& name);
    TQnDatabase* OpenDatabase(const AnsiString& name, platform::TComponent* owner);
    TQnDatabase* OpenDatabaseByName(const AnsiString& name) { return OpenDatabase(name, nullptr); }
    void CloseDatabase(TQnDatabase* database);
    void CloseEngineDatabase(TQnDatabase* database);
    bool GetPassword();

    // ---- configuration and aliases ----
    void GetConfigParams(const AnsiString& pathFormat, const AnsiString& name, platform::TStrings& list);
    void GetAliasParams(const AnsiString& alias, platform::TStrings& list);
    void GetDriverParams(const AnsiString& driver, platform::TStrings& list);
    void InternalAddAlias(const AnsiString& name, const AnsiString& driver, bool restoreMode, int32_t configMode,
                          const platform::TStrings& params);
    void InternalDeleteAlias(const AnsiString& name);

    // ---- component model ----
    void StreamingCompleted() override;
    void ComponentNotice(platform::TComponent* component, bool inserted) override;
    void SetName(const AnsiString& name) override;

protected:
    // Undoes the base's checks that need the list (the binding's destructor stops first).
    void StopBeforeDestruction();

private:
    void StartSession();
    void StopSession();
    void StartEngine();
    void MakeCurrent();
    void SetCallbacks(bool on);
    void ValidateAutoSession(platform::TComponent* owner, bool enabling);
    void UpdateAutoSessionName();
    void SetSessionNames();
    TVirtEng& Engine();

    TBaseSession* handle_ = nullptr;
    std::vector<TQnDatabase*> databases_;
    std::vector<std::unique_ptr<TQnBDECallback>> callbacks_;
    bool streamedActive_ = false;
    bool keepConnections_ = true;
    bool sqlHourGlass_ = true;
    bool autoSessionName_ = false;
    bool updatingAutoName_ = false;
    bool detached_ = false;
    AnsiString sessionName_;
    int sessionNumber_ = -1;
    AnsiString netFileDir_;
    AnsiString privateDir_;
    int lockCount_ = 0;
    TQnSessionlist* sessionList_ = nullptr;
    bool primary_ = false;
    bool stopped_ = false;
};

// Holds a session's lock (the engine lock, the session's engine session current) for a scope.
class TQnSessionLock {
public:
    explicit TQnSessionLock(TQnSession& session) : session_(session) { session_.LockSession(); }
    ~TQnSessionLock() { session_.UnlockSession(); }
    TQnSessionLock(const TQnSessionLock&) = delete;
    TQnSessionLock& operator=(const TQnSessionLock&) = delete;

private:
    TQnSession& session_;
};

}  // namespace btrieve
