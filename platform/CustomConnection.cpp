#include "platform/CustomConnection.h"

#include <algorithm>

#include "platform/DataSet.h"

namespace platform {

TCustomConnection::TCustomConnection(TComponent* owner) : TComponent(owner) {}

TCustomConnection::~TCustomConnection() = default;

const TClassInfo& TCustomConnection::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TCustomConnection", &TComponent::StaticClassInfo());
        i.Property("Connected", &TCustomConnection::Connected, &TCustomConnection::SetConnected);
        i.Property("LoginPrompt", &TCustomConnection::LoginPrompt, &TCustomConnection::SetLoginPrompt);
        return i;
    }();
    return info;
}

void TCustomConnection::SetConnected(bool value) {
    if (InState(csReading) || InState(csLoading)) {
        streamedConnected_ = value;
        return;
    }
    if (value == Connected()) return;
    if (value) {
        if (BeforeConnect) BeforeConnect(*this);
        EstablishConnection();
        NotifyConnectionClients(true);
        if (AfterConnect) AfterConnect(*this);
    } else {
        if (BeforeDisconnect) BeforeDisconnect(*this);
        NotifyConnectionClients(false);
        ReleaseConnection();
        if (AfterDisconnect) AfterDisconnect(*this);
    }
}

void TCustomConnection::AttachClient(TDataSet* dataSet) {
    if (dataSet && std::find(clients_.begin(), clients_.end(), dataSet) == clients_.end())
        clients_.push_back(dataSet);
}

void TCustomConnection::DetachClient(TDataSet* dataSet) {
    clients_.erase(std::remove(clients_.begin(), clients_.end(), dataSet), clients_.end());
}

TDataSet* TCustomConnection::ClientDataSets(int index) const {
    if (index < 0 || index >= ClientDataSetCount()) DatabaseError("List index out of bounds (" + IntToStr(index) + ")");
    return clients_[static_cast<size_t>(index)];
}

void TCustomConnection::NotifyConnectionClients(bool connecting) {
    for (TDataSet* client : std::vector<TDataSet*>(clients_)) client->DataEvent(deConnectChange, connecting ? 1 : 0);
}

void TCustomConnection::StreamingCompleted() {
    TComponent::StreamingCompleted();
    if (streamedConnected_) {
        streamedConnected_ = false;
        SetConnected(true);
    }
}

}  // namespace platform
