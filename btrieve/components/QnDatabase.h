// TQnDatabase: the connection component of the dataset layer. It names a database,
// optionally resolves it through an alias, belongs to a session component and holds
// one engine database handle while connected. Tables find it by DatabaseName; the
// engine binding fills the abstract operations.
#pragma once

#include <functional>
#include <memory>

#include "btrieve/base/BaseDatabase.h"
#include "platform/CustomConnection.h"
#include "platform/StringList.h"

namespace btrieve {

class TVirtEng;
class TQnSession;
class TQnSessionlist;

class TQnDatabase : public platform::TCustomConnection {
public:
    explicit TQnDatabase(platform::TComponent* owner);
    ~TQnDatabase() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    // Binds the session list and the session (abstract operations are reachable here).
    void AfterConstruction() override;

    // ---- engine binding ----
    virtual bool InitialLoginPrompt() { return true; }
    virtual TVirtEng* EngineInstance() = 0;
    virtual void BindSessionList() = 0;
    virtual TQnSession* PrimarySession() = 0;

    // ---- properties ----
    AnsiString AliasName() const { return aliased_ ? storedName_ : AnsiString(); }
    void SetAliasName(const AnsiString& value);
    bool Connected() const override { return handle_ != nullptr; }
    const AnsiString& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const AnsiString& value);
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool value);
    bool HandleShared() const { return handleShared_; }
    void SetHandleShared(bool value) { handleShared_ = value; }
    bool KeepConnection() const { return keepConnection_; }
    void SetKeepConnection(bool value);
    platform::TStringList& Params() { return params_; }
    void SetParams(const platform::TStrings& value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    const AnsiString& SessionName() const { return sessionName_; }
    void SetSessionName(const AnsiString& value);
    platform::TTransIsolation TransIsolation() const { return transIsolation_; }
    void SetTransIsolation(platform::TTransIsolation value) { transIsolation_ = value; }

    bool Temporary() const { return temporary_; }
    void SetTemporary(bool value) { temporary_ = value; }
    bool SessionAlias() const { return sessionAlias_; }
    bool SQLBased() const { return sqlBased_; }
    bool AcquiredHandle() const { return acquiredHandle_; }
    bool PseudoIndexes() const { return pseudoIndexes_; }
    int RefCount() const { return refCount_; }
    // True while the database disconnects (and closes its datasets).
    bool Releasing() const { return releasing_; }
    // Whether the alias parameters read at the last connect are no longer those in the
    // configuration (also when they cannot be read any more).
    bool AliasParamsChanged();
    void SetRefCount(int value) { refCount_ = value; }
    TBaseDatabase* Handle() const { return handle_; }
    TQnSession* Session() const { return session_; }
    TQnSessionlist* SessionList() const { return sessionList_; }

    void CheckInactive();
    void CheckDatabaseName();
    void CheckSessionName(bool required);
    void ValidateName(const AnsiString& name);
    void SetHandle(TBaseDatabase* handle);
    void SetDirectory(const AnsiString& directory);
    void CloseDataSets();

    void StreamingCompleted() override;
    void ComponentNotice(platform::TComponent* component, bool inserted) override;
    // The session is going away: a database of another session than the primary one
    // closes and joins the primary session; one of the primary session is left without.
    void SessionGoing(TQnSession* session);

protected:
    void EstablishConnection() override;
    void ReleaseConnection() override;
    void StoreSessionList(TQnSessionlist* list) { sessionList_ = list; }
    // For the binding's destructor: disconnect while its operations still exist.
    void CloseBeforeDestruction();

private:
    AnsiString GetConnectParams();
    void Login(platform::TStrings& loginParams);
    bool OpenFromExisting();
    void ReadDatabaseType();
    void OpenEngineDatabase(const AnsiString& password);
    void BindSession(TQnSession* session);
    TVirtEng& Engine();

    platform::TTransIsolation transIsolation_ = platform::tiReadCommitted;
    bool keepConnection_ = true;
    bool temporary_ = false;
    bool sessionAlias_ = false;
    bool aliased_ = false;
    bool sqlBased_ = false;
    bool acquiredHandle_ = false;
    bool pseudoIndexes_ = false;
    bool handleShared_ = false;
    bool exclusive_ = false;
    bool readOnly_ = false;
    bool releasing_ = false;
    int refCount_ = 0;
    TBaseDatabase* handle_ = nullptr;
    TQnSession* session_ = nullptr;
    platform::TStringList params_;
    AnsiString sessionName_;
    AnsiString databaseName_;
    AnsiString storedName_;
    AnsiString connectedAliasParams_;
    TQnSessionlist* sessionList_ = nullptr;
};

}  // namespace btrieve
