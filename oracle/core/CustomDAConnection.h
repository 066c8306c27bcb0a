// TCustomDAConnection: the engine-neutral session component. It holds the log-on
// values, owns one back-end connection object, connects and disconnects through the
// platform's connection component, runs transactions, receives the back end's errors
// (ErrorHook) and keeps its statements and datasets bound to its connection object.
// The Oracle session derives from it and fills the factory operations.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "oracle/core/DAError.h"
#include "oracle/core/QdAccess.h"
#include "platform/CustomConnection.h"

namespace oracle {

class TCustomConnectDialog;
class TCustomDADataSet;
class TCustomDASQL;
class TDASQLMonitorClass;

// Event of the connection object that reports its errors: the argument carries the
// address of a TDAErrorReport.
inline constexpr int evConnectionError = 101;

// What the connection object hands ErrorHook: the error and the flag that decides
// whether it re-raises it (true) or turns it into a silent abort (cleared).
struct TDAErrorReport {
    const EDAError* Error;
    bool Fail;
};
// The event argument that carries a report, and the report it carries.
platform::Variant ErrorReportArgument(TDAErrorReport& report);
TDAErrorReport& ErrorReportOf(const platform::Variant& argument);

class TCustomDAConnection : public platform::TCustomConnection {
public:
    using TDAConnectionErrorEvent = std::function<void(TCustomDAConnection&, const EDAError&, bool& fail)>;

    explicit TCustomDAConnection(platform::TComponent* owner);
    // Runs NewConnectionObject, which a derived session fills.
    void AfterConstruction() override;
    ~TCustomDAConnection() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // Connected: the connection object's state; the write accessor connects (with the
    // log-on dialog when needed) or disconnects.
    bool Connected() const override;
    void SetConnected(bool value) override;
    void Connect() { SetConnected(true); }
    void Disconnect() { SetConnected(false); }
    // Connects without the log-on dialog.
    void PerformConnect();

    void Commit();
    void Rollback();
    virtual void BeginTransaction();
    bool InTransaction() const { return inTransaction_; }

    const platform::AnsiString& Username() const { return username_; }
    void SetUsername(const platform::AnsiString& value);
    const platform::AnsiString& Password() const { return password_; }
    void SetPassword(const platform::AnsiString& value);
    const platform::AnsiString& Server() const { return server_; }
    void SetServer(const platform::AnsiString& value);
    bool AutoCommit() const { return autoCommit_; }
    void SetAutoCommit(bool value);
    // Puts log-on values back without disconnecting (a cancelled log-on dialog).
    void RestoreLogOnValues(const platform::AnsiString& username, const platform::AnsiString& password,
                            const platform::AnsiString& server);
    virtual platform::AnsiString ConnectString() const { return platform::AnsiString(); }
    virtual void SetConnectString(const platform::AnsiString&) {}
    TCustomConnectDialog* ConnectDialog() const { return connectDialog_; }
    void SetConnectDialog(TCustomConnectDialog* dialog);
    bool InErrorHandling() const { return inErrorHandling_; }
    TDAConnectionErrorEvent OnError;

    // The back-end connection object (none until a session creates one).
    TQdConnection* ConnectionObject() const { return connectionObject_.get(); }
    // Takes the object; the statements and datasets working on the session are bound to it.
    virtual void AttachConnectionObject(std::unique_ptr<TQdConnection> object);

    // Datasets (the platform's client list) and statements (StatementClients).
    void AttachClient(platform::TDataSet* dataSet) override;
    void DetachClient(platform::TDataSet* dataSet) override;
    void AttachStatement(TCustomDASQL* statement);
    void DetachStatement(TCustomDASQL* statement);
    bool HasStatementClient(const TCustomDASQL* statement) const;
    bool HasClient(const platform::TDataSet* dataSet) const;
    int StatementClientCount() const { return static_cast<int>(statementClients_.size()); }

    virtual const TDASQLMonitorClass& SQLMonitorClass() const;
    virtual bool IsFatalConnectionError(const EDAError&) const { return false; }
    // New components working on this session; the caller keeps them.
    virtual std::unique_ptr<TCustomDADataSet> NewDataSet();
    virtual std::unique_ptr<TCustomDASQL> NewSQLObject();

    // To another session: the log-on values and the log-on prompt flag.
    void CopyToTarget(platform::TPersistent& target) const override;
    void StreamingCompleted() override;

    // The error hook the connection object calls (event 101).
    void ErrorHook(const EDAError& error, bool& fail);

protected:
    virtual void NewConnectionObject() { AttachConnectionObject(nullptr); }
    // Makes ErrorHook see every error of the object: by default as its event 101.
    virtual void InstallErrorHook(TQdConnection& object);
    // The dialog class made when the session has no ConnectDialog of its own.
    virtual std::unique_ptr<TCustomConnectDialog> NewConnectDialog();
    virtual bool NeedsLoginPrompt() const;
    void EstablishConnection() override;
    void ReleaseConnection() override;
    // For the most-derived destructor: disconnects while the session's own operations
    // still exist; a fatal error of the commit or disconnect is dropped, nothing is raised.
    void DisconnectForDestruction();

private:
    // Every dataset and statement hears of the connect or disconnect.
    void NotifyClients(bool connecting);
    // The disconnect notice; a fatal error a client raises is dropped and the notice
    // repeated once.
    void NotifyClientsOfDisconnect();
    void DisconnectIgnoringErrors();
    bool ConnectOnLoad() const { return StreamedConnected(); }
    void SetConnectOnLoad(bool value) { SetStreamedConnected(value); }

    std::vector<TCustomDASQL*> statementClients_;
    platform::AnsiString username_;
    platform::AnsiString server_;
    platform::AnsiString password_;
    bool autoCommit_ = true;
    bool inTransaction_ = false;
    bool inErrorHandling_ = false;
    bool destroying_ = false;
    TCustomConnectDialog* connectDialog_ = nullptr;
    std::unique_ptr<TQdConnection> connectionObject_;
};

}  // namespace oracle
