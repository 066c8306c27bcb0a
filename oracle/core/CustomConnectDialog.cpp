#include "oracle/core/CustomConnectDialog.h"

#include <algorithm>
#include <memory>

#include "oracle/core/CustomDAConnection.h"
#include "oracle/core/DAError.h"
#include "platform/DBScreen.h"
#include "platform/Forms.h"
#include "platform/Registry.h"

namespace oracle {

using namespace platform;

bool InDevelopmentEnvironment() {
    // The components are never designed inside this system's programs.
    return false;
}

TCustomConnectDialog::TCustomConnectDialog(TComponent* owner) : TComponent(owner) { SetLabelSet(lsEnglish); }

TCustomConnectDialog::~TCustomConnectDialog() {
    for (TCustomDAConnection* session : std::vector<TCustomDAConnection*>(connectionUsers_))
        session->SetConnectDialog(nullptr);
}

const TClassInfo& TCustomConnectDialog::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TCustomConnectDialog", &TComponent::StaticClassInfo());
        i.Property("Retries", &TCustomConnectDialog::Retries, &TCustomConnectDialog::SetRetries);
        i.Property("DialogClass", &TCustomConnectDialog::DialogClass, &TCustomConnectDialog::SetDialogClass);
        i.Property("SavePassword", &TCustomConnectDialog::SavePassword, &TCustomConnectDialog::SetSavePassword);
        i.Property("StoreLogInfo", &TCustomConnectDialog::StoreLogInfo, &TCustomConnectDialog::SetStoreLogInfo);
        i.Property("LabelSet", &TCustomConnectDialog::LabelSet, &TCustomConnectDialog::SetLabelSet);
        i.Property("Caption", &TCustomConnectDialog::Caption, &TCustomConnectDialog::SetCaption);
        i.Property("UsernameLabel", &TCustomConnectDialog::UsernameLabel, &TCustomConnectDialog::SetUsernameLabel);
        i.Property("PasswordLabel", &TCustomConnectDialog::PasswordLabel, &TCustomConnectDialog::SetPasswordLabel);
        i.Property("ServerLabel", &TCustomConnectDialog::ServerLabel, &TCustomConnectDialog::SetServerLabel);
        i.Property("ConnectButton", &TCustomConnectDialog::ConnectButton, &TCustomConnectDialog::SetConnectButton);
        i.Property("CancelButton", &TCustomConnectDialog::CancelButton, &TCustomConnectDialog::SetCancelButton);
        return i;
    }();
    return info;
}

void TCustomConnectDialog::AddConnectionUser(TCustomDAConnection* session) {
    if (std::find(connectionUsers_.begin(), connectionUsers_.end(), session) == connectionUsers_.end())
        connectionUsers_.push_back(session);
}

void TCustomConnectDialog::RemoveConnectionUser(TCustomDAConnection* session) {
    connectionUsers_.erase(std::remove(connectionUsers_.begin(), connectionUsers_.end(), session),
                           connectionUsers_.end());
}

void TCustomConnectDialog::SetLabelSet(TLabelSet value) {
    labelSet_ = value;
    if (value == lsCustom) return;
    int base = 100;
    switch (value) {
        case lsFrench: base = 200; break;
        case lsGerman: base = 300; break;
        case lsItalian: base = 400; break;
        case lsPolish: base = 500; break;
        case lsPortuguese: base = 600; break;
        case lsRussian: base = 0; break;
        case lsSpanish: base = 700; break;
        default: break;
    }
    for (int i = 0; i < 6; ++i) texts_[i] = LoadDAString(base + i).substr(0, 50);
}

void TCustomConnectDialog::SetText(int index, const AnsiString& value) {
    texts_[index] = value;
    if (!InState(csLoading) && !InState(csReading)) labelSet_ = lsCustom;
}

int TCustomConnectDialog::RunLogOnForm() {
    const TClassInfo& formClass = dialogClass_.empty() || InState(csDesigning)
                                      ? GetComponentClass(DefaultDialogClass())
                                      : GetComponentClass(dialogClass_);
    std::unique_ptr<TComponent> component = formClass.CreateUnowned();
    if (const TPropertyInfo* property = formClass.FindProperty("ConnectDialog");
        property && property->IsComponentReference)
        property->WriteComponent(*component, this);
    auto* form = dynamic_cast<TForm*>(component.get());
    if (!form) throw EInvalidCast(formClass.ClassName() + " is not a form");
    return form->ShowModal();
}

// Log-on values remembered for the application: the user name always, the server when
// it is stored; the password is kept only under the rules of SavePassword.
void TCustomConnectDialog::ReadLogInfo() {
    const AnsiString title = DBApplication().GetTitle();
    const bool development = InDevelopmentEnvironment();
    const AnsiString remembered = connection_->Username();
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_CURRENT_USER);
    const bool opened = registry.EnterKeyReadOnly(RegistryPath() + "Connect\\" + title);
    if (opened && registry.ValueExists("Username") && (!development || connection_->Username().empty()))
        connection_->SetUsername(registry.GetString("Username"));
    if (savePassword_ || development) {
        if (!AnsiSameText(connection_->Username(), remembered)) connection_->SetPassword("");
    } else {
        connection_->SetPassword("");
    }
    if (opened && registry.ValueExists(ServerValueName()) && (!development || connection_->Server().empty()))
        connection_->SetServer(registry.GetString(ServerValueName()));
}

void TCustomConnectDialog::WriteLogInfo() {
    const AnsiString title = DBApplication().GetTitle();
    TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (registry.EnterKey(RegistryPath() + "Connect\\" + title, true)) {
        registry.PutString("Username", connection_->Username());
        registry.PutString(ServerValueName(), connection_->Server());
    }
    registry.CloseKey();
    if (!registry.EnterKey(RegistryPath() + "Connect", false)) return;
    TStringList servers;
    FillServerList(servers);
    registry.PutString(ServerValueName() + "1", connection_->Server());
    int number = 2;
    for (int i = 0; i < servers.Count(); ++i) {
        if (AnsiSameText(servers[i], connection_->Server())) continue;
        registry.PutString(ServerValueName() + IntToStr(number++), servers[i]);
    }
}

bool TCustomConnectDialog::Execute() {
    if (!connection_) DADatabaseError(SConnectionNotDefined);
    const AnsiString username = connection_->Username();
    const AnsiString password = connection_->Password();
    const AnsiString server = connection_->Server();
    bool result = false;
    try {
        if (storeLogInfo_) ReadLogInfo();
        result = RunLogOnForm() == mrOk && connection_->Connected();
        if (result && storeLogInfo_) WriteLogInfo();
    } catch (...) {
        if (!connection_->Connected()) {
            connection_->RestoreLogOnValues(username, password, server);
        }
        throw;
    }
    if (!result) connection_->RestoreLogOnValues(username, password, server);
    return result;
}

}  // namespace oracle
