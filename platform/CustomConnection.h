// TCustomConnection: the connection component base. Connected's write accessor runs
// the before/after events around EstablishConnection and ReleaseConnection, which the
// libraries fill (the Oracle session, the Btrieve database); it keeps the datasets that
// work on the connection (its clients) and tells them when it connects or disconnects.
#pragma once

#include <functional>
#include <vector>

#include "platform/Classes.h"
#include "platform/DataSetTypes.h"
#include "platform/StringList.h"

namespace platform {

class TDataSet;

class TCustomConnection : public TComponent {
public:
    using TNotifyEvent = std::function<void(TCustomConnection&)>;
    // Asked for a user name and password when LoginPrompt is on ("USER NAME" and
    // "PASSWORD" lines of loginParams).
    using TLoginEvent = std::function<void(TCustomConnection&, TStrings& loginParams)>;

    explicit TCustomConnection(TComponent* owner);
    // The most-derived class disconnects; here the clients only forget the connection.
    ~TCustomConnection() override;
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // Read accessor of Connected; false here, the libraries answer from their handles.
    virtual bool Connected() const { return false; }
    // Write accessor: while the component is being read the value is only kept for
    // StreamingCompleted; otherwise connect (BeforeConnect, EstablishConnection,
    // clients told, AfterConnect) or disconnect (BeforeDisconnect, clients told,
    // ReleaseConnection, AfterDisconnect). Nothing when unchanged.
    virtual void SetConnected(bool value);
    void OpenConnection() { SetConnected(true); }
    void CloseConnection() { SetConnected(false); }

    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool value) { loginPrompt_ = value; }

    virtual void AttachClient(TDataSet* dataSet);
    virtual void DetachClient(TDataSet* dataSet);
    int ClientDataSetCount() const { return static_cast<int>(clients_.size()); }
    TDataSet* ClientDataSets(int index) const;

    // Connects when Connected was read as true from a form description.
    void StreamingCompleted() override;

    TNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
    TLoginEvent OnLogin;

protected:
    virtual void EstablishConnection() {}
    virtual void ReleaseConnection() {}
    // Every client dataset receives the connect-change data event.
    void NotifyConnectionClients(bool connecting);
    bool StreamedConnected() const { return streamedConnected_; }
    void SetStreamedConnected(bool value) { streamedConnected_ = value; }

private:
    bool loginPrompt_ = false;
    bool streamedConnected_ = false;
    std::vector<TDataSet*> clients_;
};

}  // namespace platform
