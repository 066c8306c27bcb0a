#include "oracle/core/CustomDAConnection.h"

#include <algorithm>

#include "oracle/core/Assertion.h"
#include "oracle/core/CustomConnectDialog.h"
#include "oracle/core/CustomDADataSet.h"
#include "oracle/core/CustomDASQL.h"
#include "oracle/core/DASQLMonitor.h"
#include "oracle/core/WaitCursor.h"
#include "platform/DataSet.h"
#include "platform/ScopeExit.h"

namespace oracle {

using namespace platform;

Variant ErrorReportArgument(TDAErrorReport& report) {
    return Variant(static_cast<int64_t>(reinterpret_cast<intptr_t>(&report)));
}

TDAErrorReport& ErrorReportOf(const Variant& argument) {
    return *reinterpret_cast<TDAErrorReport*>(static_cast<intptr_t>(argument.AsInt64()));
}

TCustomDAConnection::TCustomDAConnection(TComponent* owner) : TCustomConnection(owner) { SetLoginPrompt(true); }

void TCustomDAConnection::AfterConstruction() {
    TCustomConnection::AfterConstruction();
    NewConnectionObject();
}

void TCustomDAConnection::DisconnectForDestruction() {
    destroying_ = true;
    try {
        Disconnect();
    } catch (...) {
        // A destructor must not throw; the connection object goes all the same.
    }
}

TCustomDAConnection::~TCustomDAConnection() {
    DisconnectForDestruction();
    if (connectDialog_) connectDialog_->RemoveConnectionUser(this);
    // The clients unprepare and close as they let go; a failure there stops none of them.
    for (TCustomDASQL* statement : std::vector<TCustomDASQL*>(statementClients_))
        platform::CleanUpStep([&] { statement->SetConnection(nullptr); });
    while (ClientDataSetCount() > 0) {
        TDataSet* client = ClientDataSets(ClientDataSetCount() - 1);
        if (auto* dataSet = dynamic_cast<TCustomDADataSet*>(client))
            platform::CleanUpStep([&] { dataSet->SetConnection(nullptr); });
        if (ClientDataSetCount() > 0 && ClientDataSets(ClientDataSetCount() - 1) == client)
            TCustomConnection::DetachClient(client);
    }
    statementClients_.clear();
    connectionObject_.reset();
}

const TClassInfo& TCustomDAConnection::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TCustomDAConnection", &TCustomConnection::StaticClassInfo());
        i.Property("Username", &TCustomDAConnection::Username, &TCustomDAConnection::SetUsername);
        i.Property("Password", &TCustomDAConnection::Password, &TCustomDAConnection::SetPassword);
        i.Property("Server", &TCustomDAConnection::Server, &TCustomDAConnection::SetServer);
        i.Property("AutoCommit", &TCustomDAConnection::AutoCommit, &TCustomDAConnection::SetAutoCommit);
        i.ComponentProperty("ConnectDialog", &TCustomDAConnection::SetConnectDialog);
        return i;
    }();
    return info;
}

const TDASQLMonitorClass& TCustomDAConnection::SQLMonitorClass() const { return DASQLMonitorClass(); }

std::unique_ptr<TCustomConnectDialog> TCustomDAConnection::NewConnectDialog() {
    return NewUnownedComponent<TCustomConnectDialog>();
}

std::unique_ptr<TCustomDADataSet> TCustomDAConnection::NewDataSet() {
    auto dataSet = NewUnownedComponent<TDADataSet>();
    dataSet->SetConnection(this);
    return dataSet;
}

std::unique_ptr<TCustomDASQL> TCustomDAConnection::NewSQLObject() {
    auto statement = NewUnownedComponent<TDASQL>();
    statement->SetConnection(this);
    return statement;
}

// ---------------------------------------------------------------- log-on values

void TCustomDAConnection::SetUsername(const AnsiString& value) {
    if (value == username_) return;
    Disconnect();
    username_ = value;
    if (connectionObject_) connectionObject_->SetUsername(value.c_str());
}

void TCustomDAConnection::SetPassword(const AnsiString& value) {
    if (value == password_) return;
    Disconnect();
    password_ = value;
    if (connectionObject_) connectionObject_->SetPassword(value.c_str());
}

void TCustomDAConnection::SetServer(const AnsiString& value) {
    if (value == server_) return;
    Disconnect();
    server_ = value;
    if (connectionObject_) connectionObject_->SetServer(value.c_str());
}

void TCustomDAConnection::RestoreLogOnValues(const AnsiString& username, const AnsiString& password,
                                             const AnsiString& server) {
    username_ = username;
    password_ = password;
    server_ = server;
    if (!connectionObject_) return;
    connectionObject_->SetUsername(username.c_str());
    connectionObject_->SetPassword(password.c_str());
    connectionObject_->SetServer(server.c_str());
}

void TCustomDAConnection::SetAutoCommit(bool value) {
    autoCommit_ = value;
    if (connectionObject_) connectionObject_->SetProp(prAutoCommit, Variant(value));
}

void TCustomDAConnection::SetConnectDialog(TCustomConnectDialog* dialog) {
    if (connectDialog_) connectDialog_->RemoveConnectionUser(this);
    connectDialog_ = dialog;
    if (connectDialog_) connectDialog_->AddConnectionUser(this);
}

// ---------------------------------------------------------------- clients

void TCustomDAConnection::AttachClient(TDataSet* dataSet) { TCustomConnection::AttachClient(dataSet); }

void TCustomDAConnection::DetachClient(TDataSet* dataSet) { TCustomConnection::DetachClient(dataSet); }

void TCustomDAConnection::AttachStatement(TCustomDASQL* statement) {
    if (statement && !HasStatementClient(statement)) statementClients_.push_back(statement);
}

void TCustomDAConnection::DetachStatement(TCustomDASQL* statement) {
    statementClients_.erase(std::remove(statementClients_.begin(), statementClients_.end(), statement),
                            statementClients_.end());
}

bool TCustomDAConnection::HasStatementClient(const TCustomDASQL* statement) const {
    return std::find(statementClients_.begin(), statementClients_.end(), statement) != statementClients_.end();
}

bool TCustomDAConnection::HasClient(const TDataSet* dataSet) const {
    for (int i = 0; i < ClientDataSetCount(); ++i)
        if (ClientDataSets(i) == dataSet) return true;
    return false;
}

void TCustomDAConnection::NotifyClients(bool connecting) {
    NotifyConnectionClients(connecting);
    for (TCustomDASQL* statement : std::vector<TCustomDASQL*>(statementClients_))
        if (HasStatementClient(statement)) statement->ConnectChanged(connecting);
}

void TCustomDAConnection::AttachConnectionObject(std::unique_ptr<TQdConnection> object) {
    connectionObject_ = std::move(object);
    if (!connectionObject_) return;
    connectionObject_->SetProp(prAutoCommit, Variant(autoCommit_));
    InstallErrorHook(*connectionObject_);
    for (TCustomDASQL* statement : std::vector<TCustomDASQL*>(statementClients_)) {
        statement->RebindCommand();
        if (statement->Command()) statement->Command()->SetConnection(connectionObject_.get());
    }
    for (int i = 0; i < ClientDataSetCount(); ++i)
        if (auto* dataSet = dynamic_cast<TCustomDADataSet*>(ClientDataSets(i))) {
            dataSet->RebindRecordSet();
            if (dataSet->RecordSet()) dataSet->RecordSet()->SetConnection(connectionObject_.get());
        }
}

void TCustomDAConnection::InstallErrorHook(TQdConnection& object) {
    object.AssignEvent(evConnectionError, [this](const Variant& argument) {
        TDAErrorReport& report = ErrorReportOf(argument);
        ErrorHook(*report.Error, report.Fail);
    });
}

// ---------------------------------------------------------------- connect and disconnect

bool TCustomDAConnection::Connected() const { return connectionObject_ && connectionObject_->GetConnected(); }

bool TCustomDAConnection::NeedsLoginPrompt() const {
    if (!InState(csDesigning)) return LoginPrompt();
    if (InState(csReading) || ConnectOnLoad()) return false;
    return LoginPrompt() || username_.empty() || password_.empty();
}

void TCustomDAConnection::SetConnected(bool value) {
    if (value == Connected()) return;
    // Only while its description is read: once every component is there (csLoading
    // alone), a dataset finishing its loading before the session may connect it.
    const bool reading = InState(csReading);
    if (value) {
        if (reading) {
            SetConnectOnLoad(true);
            return;
        }
        if (!NeedsLoginPrompt()) {
            PerformConnect();
            return;
        }
        std::unique_ptr<TCustomConnectDialog> temporary;
        TCustomConnectDialog* dialog = connectDialog_;
        if (!dialog) {
            temporary = NewConnectDialog();
            dialog = temporary.get();
        }
        dialog->SetConnection(this);
        if (!dialog->Execute()) {
            if (ConnectOnLoad() || InState(csDesigning)) DADatabaseError(SCannotConnect);
            Abort();
        }
        return;
    }

    std::exception_ptr noticeError;
    try {
        NotifyClientsOfDisconnect();
    } catch (...) {
        noticeError = std::current_exception();
    }
    if (reading) {
        SetConnectOnLoad(false);
    } else {
        if (BeforeDisconnect) BeforeDisconnect(*this);
        // The connection closes even when a client fails to let go of it.
        try {
            NotifyClients(false);
        } catch (...) {
            if (!noticeError) noticeError = std::current_exception();
        }
        ReleaseConnection();
        if (AfterDisconnect) AfterDisconnect(*this);
    }
    if (noticeError) std::rethrow_exception(noticeError);
}

void TCustomDAConnection::NotifyClientsOfDisconnect() {
    // A client that keeps raising the same fatal error (a dead link) is told once more,
    // not for ever.
    try {
        NotifyClients(false);
    } catch (const EDAError& error) {
        if (!IsFatalConnectionError(error)) throw;
        try {
            NotifyClients(false);
        } catch (const EDAError& again) {
            if (!IsFatalConnectionError(again)) throw;
        }
    }
}

void TCustomDAConnection::PerformConnect() {
    if (InState(csReading)) {
        SetConnectOnLoad(true);
        return;
    }
    if (Connected()) return;
    if (BeforeConnect) BeforeConnect(*this);
    EstablishConnection();
    NotifyClients(true);
    if (AfterConnect) AfterConnect(*this);
}

void TCustomDAConnection::EstablishConnection() {
    Check(connectionObject_ != nullptr, UnitDBAccess, "Session has no connection object");
    TCustomDASQLMonitor::NotifyConnect(SQLMonitorClass(), *this);
    TWaitCursorScope waitCursor;
    connectionObject_->SetUsername(username_.c_str());
    connectionObject_->SetPassword(password_.c_str());
    connectionObject_->SetServer(server_.c_str());
    connectionObject_->Connect();
}

void TCustomDAConnection::ReleaseConnection() {
    std::exception_ptr commitError;
    if (inTransaction_) {
        try {
            Commit();
        } catch (...) {
            commitError = std::current_exception();
        }
    }
    try {
        TCustomDASQLMonitor::NotifyDisconnect(SQLMonitorClass(), *this);
        if (connectionObject_) connectionObject_->Disconnect();
    } catch (const EDAError& error) {
        if (!(destroying_ && IsFatalConnectionError(error))) throw;
    }
    inTransaction_ = false;
    if (!commitError) return;
    try {
        std::rethrow_exception(commitError);
    } catch (const EDAError& error) {
        if (!(destroying_ && IsFatalConnectionError(error))) throw;
    }
}

void TCustomDAConnection::DisconnectIgnoringErrors() {
    try {
        Disconnect();
    } catch (...) {
        // The session is going down after a fatal error; whatever else fails is moot.
    }
}

// ---------------------------------------------------------------- transactions

void TCustomDAConnection::BeginTransaction() {
    Check(connectionObject_ != nullptr, UnitDBAccess, "Session has no connection object");
    connectionObject_->StartTransaction();
    inTransaction_ = true;
    connectionObject_->SetProp(prAutoCommit, Variant(false));
}

void TCustomDAConnection::Commit() {
    Check(connectionObject_ != nullptr, UnitDBAccess, "Session has no connection object");
    TCustomDASQLMonitor::NotifyCommit(SQLMonitorClass(), *this);
    connectionObject_->Commit();
    inTransaction_ = false;
    connectionObject_->SetProp(prAutoCommit, Variant(autoCommit_));
}

void TCustomDAConnection::Rollback() {
    Check(connectionObject_ != nullptr, UnitDBAccess, "Session has no connection object");
    TCustomDASQLMonitor::NotifyRollback(SQLMonitorClass(), *this);
    connectionObject_->Rollback();
    inTransaction_ = false;
    connectionObject_->SetProp(prAutoCommit, Variant(autoCommit_));
}

// ---------------------------------------------------------------- errors and streaming

void TCustomDAConnection::ErrorHook(const EDAError& error, bool& fail) {
    TCustomDASQLMonitor::NotifyError(SQLMonitorClass(), error);
    if (!inErrorHandling_ && IsFatalConnectionError(error)) {
        inErrorHandling_ = true;
        DisconnectIgnoringErrors();
        inErrorHandling_ = false;
    }
    if (OnError) OnError(*this, error, fail);
}

void TCustomDAConnection::StreamingCompleted() {
    TComponent::StreamingCompleted();
    if (!ConnectOnLoad()) return;
    try {
        Connect();
    } catch (...) {
        SetConnectOnLoad(false);
        throw;
    }
    SetConnectOnLoad(false);
}

void TCustomDAConnection::CopyToTarget(TPersistent& target) const {
    auto* session = dynamic_cast<TCustomDAConnection*>(&target);
    if (!session) {
        TCustomConnection::CopyToTarget(target);
        return;
    }
    session->SetUsername(username_);
    session->SetPassword(password_);
    session->SetServer(server_);
    session->SetLoginPrompt(LoginPrompt());
}

}  // namespace oracle
