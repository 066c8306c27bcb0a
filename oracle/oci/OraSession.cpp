#include "oracle/oci/OraSession.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "oracle/core/CustomDADataSet.h"
#include "oracle/core/DASQLMonitor.h"
#include "oracle/core/WaitCursor.h"
#include "oracle/oci/ConnectDialog.h"
#include "oracle/oci/ConnectForm.h"
#include "oracle/oci/OraDataSet.h"
#include "oracle/oci/OraError.h"
#include "oracle/oci/OraFields.h"
#include "oracle/oci/OraNestedTable.h"
#include "oracle/oci/OraParser.h"
#include "oracle/oci/OraQuery.h"
#include "oracle/oci/OraSQL.h"
#include "oracle/oci/OraSQLMonitor.h"
#include "oracle/oci/OraSqlText.h"
#include "platform/Field.h"
#include "platform/Forms.h"
#include "platform/ScreenCursors.h"

namespace oracle {

using namespace platform;

namespace {

// Oracle errors that mean the link to the server is gone.
constexpr std::array<int32_t, 5> FatalConnectionErrors = {28, 1012, 3113, 3114, 12203};
// The largest PL/SQL string: the bind size of the compile-error listing.
constexpr int CompileErrorsSize = 32767;
// "PL/SQL: compilation error": the banner query of an OCI 7 client may meet it.
constexpr int32_t OraPlsqlCompilationError = 6550;

std::vector<TOraSession*>* sessionList = nullptr;
TOraSession* defaultSession = nullptr;

const char* const CharsetIdBlock = "begin SELECT NLS_CHARSET_ID(:Charset) INTO :Result FROM Dual; end;";
const char* const CharLengthBlock =
    "begin SELECT Nvl(Lengthb(Chr(65536)), Nvl(Lengthb(Chr(65536)), 1)) INTO :Result FROM Dual; end;";
const char* const VersionBlock =
    "begin SELECT Version INTO :Result FROM SYS.PRODUCT_COMPONENT_VERSION WHERE Upper(Product) LIKE '%ORACLE%'; "
    "end;";
const char* const SessionNLSQuery =
    "SELECT * FROM nls_session_parameters WHERE parameter = 'NLS_DATE_FORMAT' or parameter = "
    "'NLS_DATE_LANGUAGE'ORDER BY parameter";

// The error listing of a stored unit, one line per message, each ending with "\r".
const char* const CompileErrorsBlock =
    "declare\rCURSOR Cur IS\rSELECT Line,Position,Text\rFROM User_Errors\rWHERE Name = :Name and Type = :Type\r"
    "ORDER BY Sequence;\rRec User_Errors%ROWTYPE;\rStartPos INTEGER;\rEndPos INTEGER;\rbegin\r:Res := '';\r"
    "for Rec in Cur loop\r:Res := :Res || RPad(Rec.Line || '/' || Rec.Position, 8);\rStartPos := 1;\rEndPos := 1;\r"
    "while EndPos > 0 and StartPos <= Length(Rec.Text) loop\rEndPos := InStr(Rec.Text, Chr(10), StartPos);\r"
    "if EndPos > 0 then\rif EndPos <> StartPos then\rif StartPos > 1 then\r:Res := :Res || RPad(' ', 10);\r"
    "end if;\r:Res := :Res || LTrim(SubStr(Rec.Text, StartPos, EndPos - StartPos)) || Chr(13);\rend if;\relse\r"
    "if StartPos > 1 then\r:Res := :Res || RPad(' ', 10);\rend if;\r"
    ":Res := :Res || LTrim(SubStr(Rec.Text, StartPos)) || Chr(13);\rend if;\rStartPos := EndPos + 1;\r"
    "end loop;\rend loop;\rend;";

// Restores a flag on leaving the scope.
class TFlagScope {
public:
    TFlagScope(bool& flag, bool value) : flag_(flag), saved_(flag) { flag_ = value; }
    ~TFlagScope() { flag_ = saved_; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
    bool saved_;
};

}  // namespace

const std::vector<TOraSession*>& SessionList() {
    static const std::vector<TOraSession*> none;
    return sessionList ? *sessionList : none;
}

TOraSession* DefaultSession() { return defaultSession; }

void DisconnectAllSessions() {
    for (TOraSession* session : std::vector<TOraSession*>(SessionList())) {
        try {
            session->Disconnect();
        } catch (...) {
            // One session's failure does not keep the others connected.
        }
    }
}

AnsiString ExtractVersionNumber(const AnsiString& banner) {
    const size_t dot = banner.find('.');
    if (dot == AnsiString::npos || dot == 0) return AnsiString();
    const size_t blank = banner.find(' ', dot);
    if (blank == AnsiString::npos) return AnsiString();
    // The whole major number: one character before the "." would make 10.2 read as 0.2.
    size_t start = dot - 1;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(banner[start - 1]))) --start;
    return banner.substr(start, blank - start);
}

bool ServerKnowsCharsetIds(const AnsiString& serverVersion) {
    // Compared as numbers: as texts "10.2" would sort below "8" and the charset be
    // ignored on every later server.
    return !serverVersion.empty() && CompareVersionText(serverVersion, "8") > 0;
}

namespace {

std::vector<const TClassInfo*> OraComponentClasses() {
    return {&TOraSession::StaticClassInfo(), &TOraQuery::StaticClassInfo(), &TOraSQL::StaticClassInfo(),
            &TConnectDialog::StaticClassInfo(), &TOraNestedTable::StaticClassInfo()};
}

}  // namespace

void AddOraSessionUnit(TModuleUnits& units) {
    units.Add(
        "Ora",
        [] {
            defaultSession = nullptr;
            delete std::exchange(sessionList, nullptr);
            // The module's own look for pending non-blocking work; without the resource the
            // background cursor stays the screen's default. It is made at its first use.
            ScreenCursors().SetResource(crBackground, HInstance(), "SQLARROW");
            RegisterComponentClass(TConnectForm::StaticClassInfo());
            // The components a form description of the program may declare.
            for (const TClassInfo* info : OraComponentClasses()) RegisterComponentClass(*info);
            // Forms of a program may name the Oracle field classes; a DLL has no forms of its own.
            if (platform::ModuleIsProgram()) RegisterOraFieldClasses();
        },
        [] {
            if (platform::ModuleIsProgram()) UnregisterOraFieldClasses();
            for (const TClassInfo* info : OraComponentClasses()) UnregisterComponentClass(*info);
            UnregisterComponentClass(TConnectForm::StaticClassInfo());
            ScreenCursors().Remove(crBackground);
            DisconnectAllSessions();
            delete std::exchange(sessionList, nullptr);
            defaultSession = nullptr;
        });
}

// ================================================================ TOraSessionOptions

const TClassInfo& TOraSessionOptions::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TOraSessionOptions", &TPersistent::StaticClassInfo());
        i.FieldProperty("NeverConnect", &TOraSessionOptions::NeverConnect);
        i.Property("UseOCI7", &TOraSessionOptions::UseOCI7, &TOraSessionOptions::SetUseOCI7);
        i.Property("Charset", &TOraSessionOptions::Charset, &TOraSessionOptions::SetCharset);
        i.Property("CharLength", &TOraSessionOptions::CharLength, &TOraSessionOptions::SetCharLength);
        i.Property("DateFormat", &TOraSessionOptions::DateFormat, &TOraSessionOptions::SetDateFormat);
        i.Property("DateLanguage", &TOraSessionOptions::DateLanguage, &TOraSessionOptions::SetDateLanguage);
        i.FieldProperty("Net", &TOraSessionOptions::Net);
        return i;
    }();
    return info;
}

void TOraSessionOptions::SetUseOCI7(bool value) {
    if (value == useOCI7_) return;
    if (session_)
        session_->ApplyUseOCI7(value);
    else
        useOCI7_ = value;
}

void TOraSessionOptions::SetCharset(const AnsiString& value) {
    if (value == charset_) return;
    charset_ = value;
    if (session_ && session_->Connected()) session_->ApplyCharset();
}

AnsiString TOraSessionOptions::DateFormat() const {
    if (!dateFormat_.empty()) return dateFormat_;
    if (sessionDateFormat_.empty() && session_) session_->ReadSessionNLS();
    return sessionDateFormat_;
}

AnsiString TOraSessionOptions::DateLanguage() const {
    if (!dateLanguage_.empty()) return dateLanguage_;
    if (sessionDateLanguage_.empty() && session_) session_->ReadSessionNLS();
    return sessionDateLanguage_;
}

void TOraSessionOptions::SetDateFormat(const AnsiString& value) {
    const AnsiString format = value.empty() ? sessionDateFormat_ : value;
    if (session_) session_->SetSessionParameter("NLS_DATE_FORMAT", format);
    dateFormat_ = format;
    if (session_ && session_->OraConnection()) session_->OraConnection()->SetProp(prDateFormat, Variant(format));
}

void TOraSessionOptions::SetDateLanguage(const AnsiString& value) {
    const AnsiString language = value.empty() ? sessionDateLanguage_ : value;
    if (session_) session_->SetSessionParameter("NLS_DATE_LANGUAGE", language);
    dateLanguage_ = language;
}

void TOraSessionOptions::CopyToTarget(TPersistent& target) const {
    auto* options = dynamic_cast<TOraSessionOptions*>(&target);
    if (!options) {
        TPersistent::CopyToTarget(target);
        return;
    }
    options->NeverConnect = NeverConnect;
    options->SetUseOCI7(useOCI7_);
    options->SetCharset(charset_);
    options->SetCharLength(charLength_);
    options->SetDateFormat(DateFormat());
    options->SetDateLanguage(dateLanguage_);
}

// ================================================================ TOraSession

TOraSession::TOraSession(TComponent* owner) : TCustomDAConnection(owner), options_(this) {}

void TOraSession::AfterConstruction() {
    TCustomDAConnection::AfterConstruction();
    if (!defaultSession) defaultSession = this;
    if (!sessionList)
        sessionList = new std::vector<TOraSession*>();
    else if (!sessionList->empty())
        home_ = sessionList->front()->home_;
    sessionList->push_back(this);
}

TOraSession::~TOraSession() {
    internalSQL_.reset();
    // Here, not in the base: the Oracle steps of the disconnect must still run.
    DisconnectForDestruction();
    if (sessionList) {
        sessionList->erase(std::remove(sessionList->begin(), sessionList->end(), this), sessionList->end());
        if (defaultSession == this) defaultSession = sessionList->empty() ? nullptr : sessionList->front();
    } else if (defaultSession == this) {
        defaultSession = nullptr;
    }
}

const TClassInfo& TOraSession::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TOraSession>("TOraSession", &TCustomDAConnection::StaticClassInfo());
        i.EnumProperty("Home", &TOraSession::Home, &TOraSession::SetHome,
                       {{"ohDefault", ohDefault}, {"ohHome0", ohHome0}, {"ohHome1", ohHome1}, {"ohHome2", ohHome2},
                        {"ohHome3", ohHome3}, {"ohHome4", ohHome4}, {"ohHome5", ohHome5}});
        i.Property("Debug", &TOraSession::Debug, &TOraSession::SetDebug);
        i.Property("ThreadSafety", &TOraSession::ThreadSafety, &TOraSession::SetThreadSafety);
        i.Property("ConnectPrompt", &TOraSession::ConnectPrompt, &TOraSession::SetConnectPrompt);
        i.EnumProperty("ConnectMode", &TOraSession::ConnectMode, &TOraSession::SetConnectMode,
                       {{"cmNormal", cmNormal}, {"cmSysOper", cmSysOper}, {"cmSysDBA", cmSysDBA}});
        i.ObjectProperty("Options", &TOraSession::Options);
        i.Property("Username", &TOraSession::Username, &TOraSession::SetUsername);
        i.Property("Password", &TOraSession::Password, &TOraSession::SetPassword);
        i.Property("Server", &TOraSession::Server, &TOraSession::SetServer);
        i.Property("ConnectString", &TOraSession::ConnectString, &TOraSession::SetConnectString);
        i.Property("AutoCommit", &TOraSession::AutoCommit, &TOraSession::SetAutoCommit);
        return i;
    }();
    return info;
}

const TDASQLMonitorClass& TOraSession::SQLMonitorClass() const { return OraSQLMonitorClass(); }

std::unique_ptr<TCustomConnectDialog> TOraSession::NewConnectDialog() {
    return NewUnownedComponent<TConnectDialog>();
}

void TOraSession::NewConnectionObject() { AttachConnectionObject(std::make_unique<TOCIConnection>()); }

void TOraSession::AttachConnectionObject(std::unique_ptr<TQdConnection> object) {
    TCustomDAConnection::AttachConnectionObject(std::move(object));
    connection_ = dynamic_cast<TOCIConnection*>(ConnectionObject());
    if (!connection_) return;
    connection_->SetProp(prThreadSafety, Variant(threadSafety_));
    connection_->SetProp(prConnectMode, Variant(static_cast<int32_t>(connectMode_)));
}

oci::OCISvcCtx* TOraSession::OCIServiceContext() const {
    return connection_ && connection_->OCIVersion() == 2 ? connection_->GetSvcCtx() : nullptr;
}

// ---------------------------------------------------------------- properties

void TOraSession::SetDebug(bool value) {
    debug_ = value;
    InternalSQL().Debug = value;
}

void TOraSession::SetThreadSafety(bool value) {
    threadSafety_ = value;
    if (connection_) connection_->SetProp(prThreadSafety, Variant(value));
}

void TOraSession::SetConnectMode(TConnectMode value) {
    connectMode_ = value;
    if (connection_) connection_->SetProp(prConnectMode, Variant(static_cast<int32_t>(value)));
}

void TOraSession::SetHome(TOracleHome value) {
    if (value == home_) return;
    Disconnect();
    DisconnectAllSessions();
    if (!(InState(csLoading) && !OciClient().ClientLibraryPath.empty())) FreeOCI();
    home_ = value;
    OciClient().SelectedHome = value;
    for (TOraSession* session : SessionList()) session->home_ = value;
}

void TOraSession::ApplyUseOCI7(bool value) {
    Disconnect();
    options_.useOCI7_ = value;
    if (connection_) connection_->SetOCIVersion(value ? 1 : OciClient().CallInterface);
}

AnsiString TOraSession::ConnectString() const {
    AnsiString text = Username();
    if (!Password().empty()) text += "/" + Password();
    if (!Server().empty()) text += "@" + Server();
    return text;
}

void TOraSession::SetConnectString(const AnsiString& value) {
    if (value == ConnectString()) return;
    Disconnect();
    const size_t slash = value.find('/');
    const size_t at = value.find('@');
    SetUsername(slash == AnsiString::npos ? AnsiString() : value.substr(0, slash));
    SetPassword(AnsiString());
    SetServer(AnsiString());
    if (at == AnsiString::npos) {
        if (slash != AnsiString::npos)
            SetPassword(value.substr(slash + 1));
        else
            SetUsername(value);
        return;
    }
    // A slash after the at-sign belongs to the server ("host:port/service").
    if (slash != AnsiString::npos && slash < at)
        SetPassword(value.substr(slash + 1, at - slash - 1));
    else
        SetUsername(value.substr(0, at));
    SetServer(value.substr(at + 1));
}

void TOraSession::SetConnected(bool value) {
    if (InState(csReading) && value && options_.NeverConnect && !InState(csDesigning))
        return;
    TCustomDAConnection::SetConnected(value);
}

// ---------------------------------------------------------------- connect and disconnect

void TOraSession::EstablishConnection() {
    serverVersion_.clear();
    TCustomDAConnection::EstablishConnection();
    try {
        AdaptNewSession();
    } catch (...) {
        // A connect that fails must not leave a server session behind that reads as connected.
        try {
            connection_->Disconnect();
        } catch (...) {
        }
        serverVersion_.clear();
        options_.sessionDateFormat_.clear();
        options_.sessionDateLanguage_.clear();
        throw;
    }
    if (OnConnectChange) OnConnectChange(*this, true);
}

void TOraSession::AdaptNewSession() {
    Variant size;
    if (connection_->GetProp(prMaxStringSize, size)) maxStringSize_ = static_cast<uint16_t>(size.AsInteger());
    ApplyCharset();
    ApplyCharLength();
    ReadSessionNLS();
    if (!options_.dateFormat_.empty()) {
        options_.SetDateFormat(options_.dateFormat_);
    } else {
        if (options_.sessionDateFormat_.empty()) ReadSessionNLS();
        connection_->SetProp(prDateFormat, Variant(options_.sessionDateFormat_));
    }
    if (!options_.dateLanguage_.empty()) options_.SetDateLanguage(options_.dateLanguage_);
}

void TOraSession::ReleaseConnection() {
    serverVersion_.clear();
    options_.sessionDateFormat_.clear();
    options_.sessionDateLanguage_.clear();
    TCustomDAConnection::ReleaseConnection();
    if (OnConnectChange) OnConnectChange(*this, false);
}

void TOraSession::ApplyCharset() {
    connection_->SetProp(prCharsetId, Variant(int32_t{0}));
    if (options_.charset_.empty()) return;
    if (!ServerKnowsCharsetIds(GetServerVersion())) return;
    const Variant id = ExecuteUntraced(CharsetIdBlock, {Variant(options_.charset_), Variant(int32_t{0})});
    if (id.IsClear()) throw Exception("Cannot find charset " + options_.charset_);
    connection_->SetProp(prCharsetId, Variant(id.AsInteger()));
}

void TOraSession::ApplyCharLength() {
    int32_t length = options_.charLength_;
    if (length == 0) {
        const Variant result = ExecuteUntraced(CharLengthBlock, {Variant(int32_t{0})});
        length = result.IsClear() ? 1 : result.AsInteger();
    }
    connection_->SetProp(prCharLength, Variant(static_cast<int32_t>(static_cast<uint16_t>(length))));
}

void TOraSession::ReadSessionNLS() {
    if (!Connected() || OciClient().LiteClient) return;
    try {
        auto query = NewDataSet();
        query->SetSQLText(SessionNLSQuery);
        query->OpenDataSet();
        options_.sessionDateFormat_ = query->FieldNamed("Value")->ReadAsString();
        query->MoveToNext();
        options_.sessionDateLanguage_ = query->FieldNamed("Value")->ReadAsString();
    } catch (...) {
        // The date settings then stay empty; the session works all the same.
    }
}

void TOraSession::SetSessionParameter(const AnsiString& name, const AnsiString& value) {
    if (!Connected() || value.empty() || OciClient().LiteClient) return;
    // A quote inside the value would end the literal early and let the rest run as SQL.
    AnsiString quoted;
    for (char c : value) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    ExecuteStatement("ALTER SESSION SET " + name + " = '" + quoted + "'", {});
}

// ---------------------------------------------------------------- statements

TOraSQL& TOraSession::InternalSQL() {
    if (!internalSQL_) {
        internalSQL_ = NewUnownedComponent<TOraSQL>();
        internalSQL_->SetSession(this);
        internalSQL_->Debug = debug_;
    }
    return *internalSQL_;
}

Variant TOraSession::ExecuteStatement(const AnsiString& text, const std::vector<Variant>& values) {
    TOraSQL& statement = InternalSQL();
    statement.SetSQLText(AnsiString());
    statement.SetSQLText(text);
    TOraParams& params = statement.Params();
    for (int i = 0; i < params.Count(); ++i)
        params.Items(i).SetValue(static_cast<size_t>(i) < values.size() ? values[static_cast<size_t>(i)]
                                                                        : Variant::Null());
    TOraParam* result = params.FindParam("Result");
    if (result && result->DataType() == ftUnknown) result->SetDataType(ftString);
    statement.Execute();
    return result ? result->Value() : Variant::Null();
}

Variant TOraSession::ExecuteUntraced(const AnsiString& text, const std::vector<Variant>& values) {
    TFlagScope untraced(InternalSQL().Untraced, true);
    return ExecuteStatement(text, values);
}

std::unique_ptr<TCustomDASQL> TOraSession::NewSQLObject() {
    auto statement = NewUnownedComponent<TOraSQL>();
    statement->SetSession(this);
    return statement;
}

std::unique_ptr<TCustomDADataSet> TOraSession::NewDataSet() {
    auto dataSet = NewUnownedComponent<TOraDataSet>();
    dataSet->SetSession(this);
    return dataSet;
}

TOraParam& TOraSession::ParamByName(const AnsiString& name) { return InternalSQL().ParamByName(name); }

void TOraSession::Savepoint(const AnsiString& name) {
    // The monitor shows savepoints among the transaction lines, before the statement itself.
    TOraSQLMonitor::NotifySavepoint(SQLMonitorClass(), *this, name);
    ExecuteStatement("SAVEPOINT " + name, {Variant::Null()});
}

void TOraSession::RollbackToSavepoint(const AnsiString& name) {
    TOraSQLMonitor::NotifyRollbackToSavepoint(SQLMonitorClass(), *this, name);
    ExecuteStatement("ROLLBACK TO SAVEPOINT " + name, {Variant::Null()});
}

AnsiString TOraSession::GetServerVersion() {
    if (OciClient().LiteClient) return OciClient().ClientVersionText + " Lite";
    if (!serverVersion_.empty()) return serverVersion_;
    TFlagScope untraced(InternalSQL().Untraced, true);
    try {
        if (OCIVersion() == 1) {
            ExecuteStatement(VersionBlock, {Variant::Null()});
            serverVersion_ = InternalSQL().ParamByName("Result").ValueAsString();
        } else {
            std::array<char, 256> banner{};
            connection_->Check(Oci.OCIServerVersion(connection_->GetSvcCtx(), connection_->ErrorHandle(),
                                                    reinterpret_cast<OraText*>(banner.data()), 255, OCI_HTYPE_SVCCTX));
            serverVersion_ = ExtractVersionNumber(banner.data());
        }
    } catch (const EOraError& error) {
        if (error.ErrorCode() != OraPlsqlCompilationError) throw;
    }
    return serverVersion_;
}

AnsiString TOraSession::GetCompileErrors(const AnsiString& text) {
    TOraSQL& statement = InternalSQL();
    TFlagScope debugOff(statement.Debug, false);
    TOraParser parser(text);
    parser.OmitComment = true;
    std::string token;
    auto next = [&] {
        parser.GetNext(token);
        return AnsiUpperCase(token);
    };
    if (next() != "CREATE") return AnsiString();
    AnsiString word = next();
    if (word == "OR") {
        if (next() != "REPLACE") return AnsiString();
        word = next();
    }
    if (word != "FUNCTION" && word != "PACKAGE" && word != "PROCEDURE" && word != "TRIGGER" && word != "TYPE")
        return AnsiString();
    AnsiString kind = word;
    parser.GetNext(token);
    // A type body is looked up as such, like a package body (else "BODY" were the name).
    if ((kind == "PACKAGE" || kind == "TYPE") && AnsiUpperCase(token) == "BODY") {
        kind += " BODY";
        parser.GetNext(token);
    }
    AnsiString name = token;
    parser.GetNext(token);
    if (token == ".") {
        parser.GetNext(token);
        name = token;
    }
    statement.SetSQLText(AnsiString());
    statement.SetSQLText(CompileErrorsBlock);
    statement.ParamByName("Res").SetDataType(ftString);
    // Room for a long listing: the session's largest string would cut it with ORA-06502.
    statement.ParamByName("Res").SetSize(CompileErrorsSize);
    statement.ParamByName("Res").SetValue(Variant(AnsiString()));
    // A quoted name is stored as written, without its quotes; "No errors" would hide the real ones.
    statement.ParamByName("Name").SetValue(Variant(AnsiString(DictionarySpelling(name))));
    statement.ParamByName("Type").SetValue(Variant(AnsiUpperCase(kind)));
    statement.Execute();
    const AnsiString errors = statement.ParamByName("Res").ValueAsString();
    return errors.empty() ? AnsiString("No errors") : errors;
}

// ---------------------------------------------------------------- transactions and errors

void TOraSession::BeginTransaction() {
    if (InTransaction()) DatabaseError(OraMessage(SUserTransactionInProgress));
    TCustomDAConnection::BeginTransaction();
}

bool TOraSession::IsFatalConnectionError(const EDAError& error) const {
    return std::find(FatalConnectionErrors.begin(), FatalConnectionErrors.end(), error.ErrorCode()) !=
           FatalConnectionErrors.end();
}

void TOraSession::CopyToTarget(TPersistent& target) const {
    TCustomDAConnection::CopyToTarget(target);
    if (auto* session = dynamic_cast<TOraSession*>(&target)) {
        session->SetHome(home_);
        options_.CopyToTarget(session->options_);
    }
}

}  // namespace oracle
