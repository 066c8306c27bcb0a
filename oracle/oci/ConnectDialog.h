// TConnectDialog: the Oracle log-on dialog a session shows when it connects with its
// prompt on. It names the log-on form class (TConnectForm), the registry place of the
// log-on history and lists the known servers: from that history, or from the aliases of
// the client's tnsnames.ora.
#pragma once

#include "oracle/core/CustomConnectDialog.h"
#include "platform/StringList.h"

namespace oracle {

class TOraSession;

class TConnectDialog : public TCustomConnectDialog {
public:
    explicit TConnectDialog(platform::TComponent* owner) : TCustomConnectDialog(owner) {}
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    bool ReadAliases = false;

    platform::AnsiString DefaultDialogClass() const override { return "TConnectForm"; }
    platform::AnsiString RegistryPath() const override { return "\\SOFTWARE\\Hollis\\Vimbra\\"; }
    platform::AnsiString ServerValueName() const override { return "Server"; }
    void FillServerList(platform::TStrings& list) override { ReadServerList(list, nullptr); }
    // The servers of the history, or (ReadAliases) of tnsnames.ora; session none means
    // the dialog's own.
    void ReadServerList(platform::TStrings& list, TOraSession* session);
};

// The alias names a tnsnames.ora text defines, in order (a ".WORLD" domain dropped).
void ReadTnsAliases(const platform::AnsiString& text, platform::TStrings& list);
// Where the client's tnsnames.ora is: the first existing of the places searched, or
// empty with `lastTried` the last place looked at.
platform::AnsiString FindTnsNamesFile(platform::AnsiString& lastTried);

}  // namespace oracle
