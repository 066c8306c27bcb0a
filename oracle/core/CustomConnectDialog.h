// TCustomConnectDialog: the engine-neutral log-on dialog component. It remembers user
// name and server per application under HKEY_CURRENT_USER, runs a modal log-on form of
// a registered form class (which connects the session) and keeps a server history. The
// Oracle connect dialog fills the four class operations.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Classes.h"
#include "platform/StringList.h"

namespace oracle {

class TCustomDAConnection;

enum TLabelSet : int {
    lsCustom, lsEnglish, lsFrench, lsGerman, lsItalian, lsPolish, lsPortuguese, lsRussian, lsSpanish
};

class TCustomConnectDialog : public platform::TComponent {
public:
    explicit TCustomConnectDialog(platform::TComponent* owner);
    ~TCustomConnectDialog() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // Runs the log-on form for Connection; true when the user logged on.
    virtual bool Execute();

    TCustomDAConnection* Connection() const { return connection_; }
    void SetConnection(TCustomDAConnection* session) { connection_ = session; }
    // Sessions whose ConnectDialog is this dialog.
    void AddConnectionUser(TCustomDAConnection* session);
    void RemoveConnectionUser(TCustomDAConnection* session);
    int ConnectionUserCount() const { return static_cast<int>(connectionUsers_.size()); }

    uint16_t Retries() const { return retries_; }
    void SetRetries(uint16_t value) { retries_ = value; }
    const platform::AnsiString& DialogClass() const { return dialogClass_; }
    void SetDialogClass(const platform::AnsiString& value) { dialogClass_ = value; }
    bool SavePassword() const { return savePassword_; }
    void SetSavePassword(bool value) { savePassword_ = value; }
    bool StoreLogInfo() const { return storeLogInfo_; }
    void SetStoreLogInfo(bool value) { storeLogInfo_ = value; }
    TLabelSet LabelSet() const { return labelSet_; }
    // Any set but lsCustom loads the six texts from the message table.
    void SetLabelSet(TLabelSet value);

    // The six texts of the log-on form; writing one (outside loading) makes the set lsCustom.
    const platform::AnsiString& Caption() const { return texts_[0]; }
    void SetCaption(const platform::AnsiString& v) { SetText(0, v); }
    const platform::AnsiString& UsernameLabel() const { return texts_[1]; }
    void SetUsernameLabel(const platform::AnsiString& v) { SetText(1, v); }
    const platform::AnsiString& PasswordLabel() const { return texts_[2]; }
    void SetPasswordLabel(const platform::AnsiString& v) { SetText(2, v); }
    const platform::AnsiString& ServerLabel() const { return texts_[3]; }
    void SetServerLabel(const platform::AnsiString& v) { SetText(3, v); }
    const platform::AnsiString& ConnectButton() const { return texts_[4]; }
    void SetConnectButton(const platform::AnsiString& v) { SetText(4, v); }
    const platform::AnsiString& CancelButton() const { return texts_[5]; }
    void SetCancelButton(const platform::AnsiString& v) { SetText(5, v); }

    // Class operations the Oracle dialog fills: the form class used by default, the
    // registry path of the history (ending in a backslash), the value name of the server
    // and the servers to keep in the history.
    virtual platform::AnsiString DefaultDialogClass() const { return platform::AnsiString(); }
    virtual platform::AnsiString RegistryPath() const { return platform::AnsiString(); }
    virtual platform::AnsiString ServerValueName() const { return "Server"; }
    virtual void FillServerList(platform::TStrings&) {}

protected:
    // Creates and shows the log-on form modally; gives its modal result.
    virtual int RunLogOnForm();

private:
    void SetText(int index, const platform::AnsiString& value);
    void ReadLogInfo();
    void WriteLogInfo();

    TCustomDAConnection* connection_ = nullptr;
    std::vector<TCustomDAConnection*> connectionUsers_;
    uint16_t retries_ = 3;
    platform::AnsiString dialogClass_;
    bool savePassword_ = false;
    bool storeLogInfo_ = true;
    TLabelSet labelSet_ = lsEnglish;
    platform::AnsiString texts_[6];
};

// True when the application is one of the development environments the components
// are designed in (never in this system's programs).
bool InDevelopmentEnvironment();

}  // namespace oracle
