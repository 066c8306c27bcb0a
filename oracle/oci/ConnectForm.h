// TConnectForm: the modal log-on form of the Oracle connect dialog: user name, password
// and server, a Connect and a Cancel button. Connect logs the dialog's session on; a
// failed log-on is shown and counted, and after the dialog's Retries failures the form
// ends as cancelled.
#pragma once

#include "platform/Controls.h"
#include "platform/Forms.h"

namespace oracle {

class TCustomConnectDialog;
class TFormText;

class TConnectForm : public platform::TForm {
public:
    explicit TConnectForm(platform::TComponent* owner);
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TCustomConnectDialog* ConnectDialog() const { return connectDialog_; }
    // Takes the dialog and fills the form from it and from its session.
    void SetConnectDialog(TCustomConnectDialog* dialog);
    int AttemptsLeft() const { return attemptsLeft_; }
    bool Retry() const { return retry_; }

    platform::TEdit* edUsername = nullptr;
    platform::TEdit* edPassword = nullptr;
    platform::TComboBox* edServer = nullptr;
    platform::TButton* btConnect = nullptr;
    platform::TButton* btCancel = nullptr;

    void btConnectClick();

protected:
    virtual void DoInit();
    virtual void DoConnect();

private:
    platform::AnsiString ServerText() const;

    TFormText* lbUsername_ = nullptr;
    TFormText* lbPassword_ = nullptr;
    TFormText* lbServer_ = nullptr;
    TCustomConnectDialog* connectDialog_ = nullptr;
    int attemptsLeft_ = 0;
    bool retry_ = false;
};

}  // namespace oracle
