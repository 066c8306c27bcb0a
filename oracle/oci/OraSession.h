// TOraSession: the Oracle session component. Holds the log-on values and the connect
// mode, owns one TOCIConnection and, after each log-on, adapts the new server session to
// its options (character set, character length, date format and language). Every living
// session is in SessionList; DefaultSession serves statements and datasets that name none.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "oracle/core/CustomDAConnection.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraParams.h"
#include "platform/ModuleUnits.h"

namespace oracle {

class TOraSession;
class TOraSQL;

class TOraSessionOptions : public platform::TPersistent {
public:
    explicit TOraSessionOptions(TOraSession* session) : session_(session) {}
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    bool NeverConnect = false;
    bool Net = false;
    bool UseOCI7() const { return useOCI7_; }
    void SetUseOCI7(bool value);
    const platform::AnsiString& Charset() const { return charset_; }
    void SetCharset(const platform::AnsiString& value);
    // 0 asks the server; 1..6 bytes per character.
    uint8_t CharLength() const { return charLength_; }
    void SetCharLength(uint8_t value) { charLength_ = value; }
    // The explicit value, else the server session's.
    platform::AnsiString DateFormat() const;
    void SetDateFormat(const platform::AnsiString& value);
    platform::AnsiString DateLanguage() const;
    void SetDateLanguage(const platform::AnsiString& value);
    const platform::AnsiString& ExplicitDateFormat() const { return dateFormat_; }
    const platform::AnsiString& ExplicitDateLanguage() const { return dateLanguage_; }

    void CopyToTarget(platform::TPersistent& target) const override;

private:
    friend class TOraSession;
    bool useOCI7_ = false;
    platform::AnsiString charset_;
    uint8_t charLength_ = 1;
    platform::AnsiString dateFormat_;
    platform::AnsiString dateLanguage_;
    platform::AnsiString sessionDateFormat_;
    platform::AnsiString sessionDateLanguage_;
    TOraSession* session_;
};

class TOraSession : public TCustomDAConnection {
public:
    using TConnectChangeEvent = std::function<void(TOraSession& sender, bool connected)>;

    explicit TOraSession(platform::TComponent* owner);
    void AfterConstruction() override;
    ~TOraSession() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TOracleHome Home() const { return home_; }
    void SetHome(TOracleHome value);
    bool Debug() const { return debug_; }
    void SetDebug(bool value);
    bool ThreadSafety() const { return threadSafety_; }
    void SetThreadSafety(bool value);
    bool ConnectPrompt() const { return LoginPrompt(); }
    void SetConnectPrompt(bool value) { SetLoginPrompt(value); }
    TConnectMode ConnectMode() const { return connectMode_; }
    void SetConnectMode(TConnectMode value);
    TOraSessionOptions& Options() { return options_; }
    const TOraSessionOptions& Options() const { return options_; }
    void SetOptions(const TOraSessionOptions& value) { value.CopyToTarget(options_); }
    uint16_t MaxStringSize() const { return maxStringSize_; }
    platform::AnsiString ConnectString() const override;
    void SetConnectString(const platform::AnsiString& value) override;
    void SetConnected(bool value) override;
    TConnectChangeEvent OnConnectChange;

    // Runs one statement on the internal statement; answers the value of :Result or null.
    platform::Variant ExecuteStatement(const platform::AnsiString& text, const std::vector<platform::Variant>& values);
    TOraParam& ParamByName(const platform::AnsiString& name);
    TOraSQL& InternalSQL();
    void Savepoint(const platform::AnsiString& name);
    void RollbackToSavepoint(const platform::AnsiString& name);
    // The server's error listing of the stored unit the text creates; empty for other texts.
    platform::AnsiString GetCompileErrors(const platform::AnsiString& text);
    platform::AnsiString GetServerVersion();
    uint8_t OCIVersion() const { return connection_ ? connection_->OCIVersion() : 0; }
    oci::OCISvcCtx* OCIServiceContext() const;
    TOCIConnection* OraConnection() const { return connection_; }
    void SetSessionParameter(const platform::AnsiString& name, const platform::AnsiString& value);
    void ReadSessionNLS();

    void BeginTransaction() override;
    bool IsFatalConnectionError(const EDAError& error) const override;
    void AttachConnectionObject(std::unique_ptr<TQdConnection> object) override;
    // TOraSQLMonitor's class: Oracle parameter lines and the "Vimbra" debug window.
    const TDASQLMonitorClass& SQLMonitorClass() const override;
    // A TOraSQL working on this session.
    std::unique_ptr<TCustomDASQL> NewSQLObject() override;
    // A TOraDataSet working on this session.
    std::unique_ptr<TCustomDADataSet> NewDataSet() override;
    void CopyToTarget(platform::TPersistent& target) const override;

protected:
    void NewConnectionObject() override;
    std::unique_ptr<TCustomConnectDialog> NewConnectDialog() override;
    void EstablishConnection() override;
    void ReleaseConnection() override;

private:
    friend class TOraSessionOptions;
    // The steps after the log-on: string size, charset, character length, date settings.
    void AdaptNewSession();
    void ApplyCharset();
    void ApplyCharLength();
    void ApplyUseOCI7(bool value);
    // Runs a statement with monitor notices off.
    platform::Variant ExecuteUntraced(const platform::AnsiString& text, const std::vector<platform::Variant>& values);

    bool debug_ = false;
    platform::AnsiString serverVersion_;
    std::unique_ptr<TOraSQL> internalSQL_;
    TOraSessionOptions options_;
    TOracleHome home_ = ohDefault;
    bool threadSafety_ = true;
    uint16_t maxStringSize_ = 0;
    TConnectMode connectMode_ = cmNormal;
    TOCIConnection* connection_ = nullptr;
};

// The living sessions in creation order, and the session of components that name none.
const std::vector<TOraSession*>& SessionList();
TOraSession* DefaultSession();
// Disconnects every session; failures are ignored.
void DisconnectAllSessions();
// The version number of a server banner (the text from the digit before the first "."
// up to the next blank), or empty.
platform::AnsiString ExtractVersionNumber(const platform::AnsiString& banner);

// Whether a server of that version answers NLS_CHARSET_ID (8.1 and later; not 8.0 or 7).
bool ServerKnowsCharsetIds(const platform::AnsiString& serverVersion);

// Module start and stop of the session unit.
void AddOraSessionUnit(platform::TModuleUnits& units);

}  // namespace oracle
