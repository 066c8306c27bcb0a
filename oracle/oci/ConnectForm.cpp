#include "oracle/oci/ConnectForm.h"

#include "oracle/core/CustomConnectDialog.h"
#include "oracle/core/CustomDAConnection.h"
#include "oracle/core/DAError.h"

namespace oracle {

using namespace platform;

// A static child window of the form: the panel's bevel or a label.
class TFormText : public TWinControl {
public:
    TFormText(TComponent* owner, DWORD style, DWORD exStyle)
        : TWinControl(owner, "STATIC", style | WS_CHILD | WS_VISIBLE, exStyle) {}
    void SetText(const AnsiString& text) { PutWindowText(text); }
};

namespace {

// Log-on failures that point at a field of the form.
constexpr int32_t OraNullPassword = 1005;
constexpr int32_t OraInvalidLogon = 1017;
constexpr int32_t OraUnknownService = 12154;
constexpr int32_t OraUnknownAddress = 12203;
// Lines the server list shows when dropped down.
constexpr int ServerListLines = 10;
constexpr int EditLimit = 32767;

}  // namespace

TConnectForm::TConnectForm(TComponent* owner) : TForm(owner) {
    SetCaption("Connect");
    SetClientWidth(291);
    SetClientHeight(175);
    auto* panel = NewComponent<TFormText>(*this, SS_ETCHEDFRAME, 0);
    panel->SetBounds(8, 8, 273, 121);
    auto label = [this](int top, const char* text) {
        auto* control = NewComponent<TFormText>(*this, 0, 0);
        control->SetBounds(16, top, 73, 13);
        control->SetText(text);
        return control;
    };
    lbUsername_ = label(20, "Username");
    lbPassword_ = label(54, "Password");
    lbServer_ = label(88, "Server");
    edUsername = NewComponent<TEdit>(*this);
    edUsername->SetBounds(104, 16, 153, 21);
    SendMessageA(edUsername->Handle(), EM_LIMITTEXT, EditLimit, 0);
    edPassword = NewComponent<TEdit>(*this);
    edPassword->SetBounds(104, 50, 153, 21);
    SendMessageA(edPassword->Handle(), EM_LIMITTEXT, EditLimit, 0);
    edPassword->SetPasswordChar('*');
    edServer = NewComponent<TComboBox>(*this);
    // A combo box's height includes its dropped-down list.
    edServer->SetBounds(104, 84, 153, 21 + ServerListLines * 13);
    btConnect = NewComponent<TButton>(*this);
    btConnect->SetCaption("Connect");
    btConnect->SetBounds(52, 141, 89, 25);
    btConnect->OnClick = [this] { btConnectClick(); };
    btCancel = NewComponent<TButton>(*this);
    btCancel->SetCaption("Cancel");
    btCancel->SetBounds(148, 141, 89, 25);
    btCancel->OnClick = [this] { SetModalResult(mrCancel); };
    // Enter connects, Escape cancels, as the default and cancel buttons do.
    SetKeyPreview(true);
    OnKeyPress = [this](char& key) {
        if (key == VK_RETURN && !btCancel->Focused()) {
            key = 0;
            btConnectClick();
        } else if (key == VK_ESCAPE) {
            key = 0;
            SetModalResult(mrCancel);
        }
    };
    OnShow = [this] {
        if (!edPassword->Focused()) edUsername->SetFocus();
    };
}

const TClassInfo& TConnectForm::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TConnectForm>("TConnectForm", &TForm::StaticClassInfo());
        i.ComponentProperty("ConnectDialog", &TConnectForm::SetConnectDialog);
        return i;
    }();
    return info;
}

void TConnectForm::SetConnectDialog(TCustomConnectDialog* dialog) {
    connectDialog_ = dialog;
    if (dialog) DoInit();
}

AnsiString TConnectForm::ServerText() const {
    const int index = edServer->ItemIndex();
    return index < 0 ? AnsiString() : edServer->Item(index);
}

void TConnectForm::DoInit() {
    retry_ = false;
    attemptsLeft_ = connectDialog_->Retries();
    SetCaption(connectDialog_->Caption());
    lbUsername_->SetText(connectDialog_->UsernameLabel());
    lbPassword_->SetText(connectDialog_->PasswordLabel());
    lbServer_->SetText(connectDialog_->ServerLabel());
    btConnect->SetCaption(connectDialog_->ConnectButton());
    btCancel->SetCaption(connectDialog_->CancelButton());
    TStringList servers;
    connectDialog_->FillServerList(servers);
    edServer->Assign(servers);
    TCustomDAConnection* session = connectDialog_->Connection();
    if (!session) return;
    edUsername->SetText(session->Username());
    edPassword->SetText(session->Password());
    // The list only picks: a server it does not hold joins it.
    int index = -1;
    for (int i = 0; i < edServer->Count(); ++i)
        if (AnsiSameText(edServer->Item(i), session->Server())) index = i;
    if (index < 0 && !session->Server().empty()) index = edServer->Add(session->Server());
    edServer->SetItemIndex(index);
    if (!session->Username().empty() && session->Password().empty()) edPassword->SetFocus();
}

void TConnectForm::btConnectClick() { DoConnect(); }

void TConnectForm::DoConnect() {
    TCustomDAConnection* session = connectDialog_->Connection();
    session->Disconnect();
    session->SetPassword(edPassword->Text());
    session->SetServer(ServerText());
    session->SetUsername(edUsername->Text());
    try {
        session->PerformConnect();
        SetModalResult(mrOk);
    } catch (const EDAError& error) {
        --attemptsLeft_;
        retry_ = true;
        if (attemptsLeft_ <= 0) SetModalResult(mrCancel);
        switch (error.ErrorCode()) {
            case OraNullPassword: edPassword->SetFocus(); break;
            case OraInvalidLogon:
                if (!edUsername->Focused()) edPassword->SetFocus();
                break;
            case OraUnknownService: case OraUnknownAddress: edServer->SetFocus(); break;
            default: break;
        }
        throw;
    }
}

}  // namespace oracle
