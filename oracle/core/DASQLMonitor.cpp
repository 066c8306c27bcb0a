#include "oracle/core/DASQLMonitor.h"

#include <cstdint>
#include <cstdlib>

#include <objbase.h>

#include "oracle/core/CustomDAConnection.h"
#include "oracle/core/CustomDADataSet.h"
#include "oracle/core/CustomDASQL.h"
#include "oracle/core/DAError.h"
#include "oracle/core/DebugForm.h"
#include "platform/DBScreen.h"
#include "platform/DateTime.h"
#include "platform/Registry.h"

namespace oracle {

using namespace platform;

namespace {

TCustomDASQLMonitor* currentMonitor = nullptr;

// Whether a dataset or statement asked for the debug window.
bool HasDebug(TComponent* component) {
    if (auto* statement = dynamic_cast<TCustomDASQL*>(component)) return statement->Debug;
    if (auto* dataSet = dynamic_cast<TCustomDADataSet*>(component)) return dataSet->Debug;
    return false;
}

TCustomDAConnection* SessionOf(TComponent* component) {
    if (auto* statement = dynamic_cast<TCustomDASQL*>(component)) return statement->CommandConnection();
    if (auto* dataSet = dynamic_cast<TCustomDADataSet*>(component)) return dataSet->UsedConnection();
    return nullptr;
}

AnsiString Identity(const void* object) {
    // Eight digits as the monitor shows them; wider addresses keep all their digits.
    return IntToHex(static_cast<int64_t>(reinterpret_cast<uintptr_t>(object)), 8);
}

AnsiString TrimTrailing(const AnsiString& text) {
    size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(0, end);
}

void ShowFor(const TDASQLMonitorClass& monitorClass, TComponent* component, const AnsiString& text,
             const AnsiString& title, const TParams* params) {
    ShowDebugWindow(monitorClass.ProductName(), component, text, title, monitorClass.ParamsToText(params));
}

}  // namespace

AnsiString FieldTypeDisplayName(TFieldType type) {
    static const char* const names[] = {
        "Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float", "Currency", "BCD", "Date",
        "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic", "FmtMemo", "ParadoxOle",
        "DBaseOle", "TypedBinary", "Cursor", "FixedChar", "WideString", "LargeInt", "ADT", "Array", "Reference",
        "DataSet", "OraBlob", "OraClob", "Variant", "Interface", "IDispatch", "Guid", "TimeStamp", "FMTBcd"};
    const int index = static_cast<int>(type);
    return index >= 0 && index < static_cast<int>(std::size(names)) ? names[index] : "Unknown";
}

AnsiString ParamDirectionText(TParamType type) {
    switch (type) {
        case ptInput: return "IN";
        case ptOutput: return "OUT";
        case ptInputOutput: return "IN/OUT";
        case ptResult: return "RESULT";
        default: return AnsiString();
    }
}

AnsiString ComposeParamLine(const AnsiString& name, const AnsiString& type, const AnsiString& direction,
                            const AnsiString& value) {
    AnsiString line = ":" + name;
    AnsiString kind = type;
    if (!direction.empty()) kind += (kind.empty() ? "" : ",") + direction;
    if (!kind.empty()) line += " (" + kind + ")";
    if (!value.empty()) line += " = " + value;
    return line;
}

AnsiString TDASQLMonitorClass::ParamToText(const TParam& param) const {
    AnsiString type = FieldTypeDisplayName(param.DataType());
    const bool isText = param.DataType() == ftString || param.DataType() == ftFixedChar ||
                        param.DataType() == ftWideString;
    if (isText) type += "[" + IntToStr(static_cast<int64_t>(param.AsString().size())) + "]";
    AnsiString value;
    if (param.IsNull()) {
        value = "<NULL>";
    } else {
        switch (param.DataType()) {
            case ftDate: value = DateToStr(param.AsDateTime()); break;
            case ftBlob: case ftMemo: case ftBytes: case ftVarBytes:
                value = "<BLOB:" + IntToStr(static_cast<int64_t>(param.AsString().size())) + ">";
                break;
            case ftCursor: value = "<CURSOR>"; break;
            case ftString: case ftDateTime: case ftFixedChar: value = "'" + param.AsString() + "'"; break;
            default: value = param.AsString(); break;
        }
    }
    return ComposeParamLine(param.Name(), type, ParamDirectionText(param.ParamType()), value);
}

AnsiString TDASQLMonitorClass::ParamsToText(const TParams* params) const {
    AnsiString text;
    if (!params) return text;
    for (int i = 0; i < params->Count(); ++i) text += ParamToText(params->Items(i)) + " \r\n";
    return text;
}

const TDASQLMonitorClass& DASQLMonitorClass() {
    static const TDASQLMonitorClass base;
    return base;
}

// ---------------------------------------------------------------- instance

TCustomDASQLMonitor::TCustomDASQLMonitor(TComponent* owner) : TComponent(owner) {}

void TCustomDASQLMonitor::AfterConstruction() {
    TComponent::AfterConstruction();
    if (!currentMonitor) currentMonitor = this;
    SetActive(true);
}

TCustomDASQLMonitor::~TCustomDASQLMonitor() {
    try {
        SetActive(false);
    } catch (...) {
    }
    outside_.reset();
    if (currentMonitor == this) currentMonitor = nullptr;
}

TCustomDASQLMonitor* TCustomDASQLMonitor::CurrentMonitor() { return currentMonitor; }

void TCustomDASQLMonitor::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    if (!(options_ & moSQLMonitor)) return;
    if (value)
        RegisterWithMonitor();
    else
        UnregisterFromMonitor();
}

void TCustomDASQLMonitor::SetOptions(TMonitorOptions value) {
    options_ = value;
    if (!active_) return;
    if (options_ & moSQLMonitor)
        RegisterWithMonitor();
    else
        UnregisterFromMonitor();
}

// ---------------------------------------------------------------- outside monitor

namespace {

const CLSID MonitorClassId = {0xCB9879E2, 0x4395, 0x11D0, {0x9F, 0xFC, 0x00, 0xA0, 0x24, 0x8E, 0x4B, 0x9A}};
const IID MonitorClientId = {0xCB9879E1, 0x4395, 0x11D0, {0x9F, 0xFC, 0x00, 0xA0, 0x24, 0x8E, 0x4B, 0x9A}};

// The outside monitor application's client interface.
struct ISMClient : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RegisterClient(int id, const char* name, IUnknown* monitor,
                                                     IUnknown* callback) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddStatement(const char* text, int length) = 0;
};

// What the outside monitor calls back with the event kinds it wants.
struct ISMTraceFlags : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetTraceFlags(uint16_t flags) = 0;
};

class TTraceFlagsCallback : public ISMTraceFlags {
public:
    explicit TTraceFlagsCallback(TCustomDASQLMonitor& monitor) : monitor_(monitor) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = iid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    // The monitor component owns this object; the outside monitor's references do not free it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SetTraceFlags(uint16_t flags) override {
        monitor_.SetMonitorTraceFlags(flags);
        return S_OK;
    }

private:
    TCustomDASQLMonitor& monitor_;
};

}  // namespace

struct TCustomDASQLMonitor::TOutsideMonitor {
    explicit TOutsideMonitor(TCustomDASQLMonitor& monitor) : Callback(monitor) {}
    ~TOutsideMonitor() {
        if (Client) Client->Release();
        if (ComInitialized) CoUninitialize();
    }
    TTraceFlagsCallback Callback;
    ISMClient* Client = nullptr;
    bool ComInitialized = false;
};

void TCustomDASQLMonitor::RegisterWithMonitor() {
    if (registered_ || currentMonitor != this) return;
    // A class that is not registered cannot be created; asking COM for it anyway can
    // take seconds while it looks for a server.
    platform::TRegistry classes(KEY_READ);
    classes.SetRootKey(HKEY_CLASSES_ROOT);
    if (!classes.KeyExists("CLSID\\{CB9879E2-4395-11D0-9FFC-00A0248E4B9A}")) return;
    auto outside = std::make_unique<TOutsideMonitor>(*this);
    if (FAILED(CoInitialize(nullptr))) return;
    outside->ComInitialized = true;
    IUnknown* object = nullptr;
    if (FAILED(CoCreateInstance(MonitorClassId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&object))))
        return;  // no outside monitor installed: the COM initialisation is undone with `outside`
    for (int attempt = 0; attempt < 10; ++attempt) {
        AnsiString name = DBApplication().GetTitle();
        if (InState(csDesigning)) name += ": " + MonitorClass().ProductName();
        std::srand(GetTickCount());
        const int id = std::rand() % 10000 + 1;
        ISMClient* client = nullptr;
        if (FAILED(object->QueryInterface(MonitorClientId, reinterpret_cast<void**>(&client))) || !client) continue;
        if (SUCCEEDED(client->RegisterClient(id, name.c_str(), &outside->Callback, &outside->Callback))) {
            outside->Client = client;
            break;
        }
        client->Release();
    }
    object->Release();
    registered_ = true;
    outside_ = std::move(outside);
}

void TCustomDASQLMonitor::UnregisterFromMonitor() {
    registered_ = false;
    outside_.reset();
}

void TCustomDASQLMonitor::SendToMonitor(const AnsiString& text) {
    if (outside_ && outside_->Client) outside_->Client->AddStatement(text.c_str(), static_cast<int>(text.size()));
}

const TDASQLMonitorClass& TCustomDASQLMonitor::MonitorClass() const { return DASQLMonitorClass(); }

AnsiString TCustomDASQLMonitor::ObjectInfo(TComponent* component) const {
    if (!(options_ & moHandled) || !component) return AnsiString();
    AnsiString info = " [" + component->Name() + "$" + Identity(component);
    if (TCustomDAConnection* session = SessionOf(component))
        info += "; " + session->Name() + "$" + Identity(session);
    return info + "] ";
}

void TCustomDASQLMonitor::Prepare(const TDASQLMonitorClass& monitorClass, TComponent* component,
                                  const AnsiString& text, bool implicit, const TParams* params) {
    if (!active_) return;
    const AnsiString sql = TrimTrailing(text);
    if (!implicit && (options_ & moDialog) && (!(options_ & moCustom) || HasDebug(component)))
        ShowFor(MonitorClass(), component, sql, "Prepare", params);
    const AnsiString paramLines = TrimTrailing(monitorClass.ParamsToText(params));
    if (Wants(mtPrepare)) {
        SendToMonitor("SQL Prepare" + ObjectInfo(component) + ": " + sql);
        if (!paramLines.empty() && Wants(mtParams)) SendToMonitor(paramLines);
    }
    if (OnSQL) OnSQL(component, paramLines.empty() ? sql : sql + "\r\n" + paramLines, tfQPrepare);
}

void TCustomDASQLMonitor::Execute(const TDASQLMonitorClass& monitorClass, TComponent* component,
                                  const AnsiString& text, const AnsiString& kind, const TParams* params) {
    if (!active_) return;
    const AnsiString sql = TrimTrailing(text);
    if ((options_ & moDialog) && (!(options_ & moCustom) || HasDebug(component)))
        ShowFor(MonitorClass(), component, sql, kind.empty() ? AnsiString("Execute") : kind, params);
    const AnsiString paramLines = TrimTrailing(monitorClass.ParamsToText(params));
    if (Wants(mtExecute)) {
        SendToMonitor("SQL Execute" + (kind.empty() ? AnsiString() : " [" + kind + "]") + ObjectInfo(component) +
                      ": " + sql);
        if (!paramLines.empty() && Wants(mtParams)) SendToMonitor(paramLines);
    }
    if (OnSQL) OnSQL(component, paramLines.empty() ? sql : sql + "\r\n" + paramLines, tfQExecute);
}

void TCustomDASQLMonitor::ConnectionLine(TCustomDAConnection& session, const AnsiString& prefix,
                                         uint16_t monitorFlag, TDATraceFlag flag) {
    if (!active_) return;
    const AnsiString line = prefix + session.Username() + "@" + session.Server() + ObjectInfo(&session);
    if (Wants(monitorFlag)) SendToMonitor(line);
    if (OnSQL) OnSQL(&session, line, flag);
}

void TCustomDASQLMonitor::Error(const EDAError& error) {
    if (!active_) return;
    const AnsiString line = "Error: " + error.Message();
    if (Wants(mtError)) SendToMonitor(line);
    if (OnSQL) OnSQL(const_cast<EDAError*>(&error), line, tfError);
}

// ---------------------------------------------------------------- class-level hooks

void TCustomDASQLMonitor::NotifyPrepare(const TDASQLMonitorClass& monitorClass, TComponent* component,
                                        const AnsiString& text, bool implicit, const TParams* params) {
    if (currentMonitor)
        currentMonitor->Prepare(monitorClass, component, text, implicit, params);
    else if (!implicit && HasDebug(component))
        ShowFor(monitorClass, component, TrimTrailing(text), "Prepare", params);
}

void TCustomDASQLMonitor::NotifyExecute(const TDASQLMonitorClass& monitorClass, TComponent* component,
                                        const AnsiString& text, const AnsiString& kind, const TParams* params) {
    if (currentMonitor)
        currentMonitor->Execute(monitorClass, component, text, kind, params);
    else if (HasDebug(component))
        ShowFor(monitorClass, component, TrimTrailing(text), kind.empty() ? AnsiString("Execute") : kind, params);
}

void TCustomDASQLMonitor::NotifyConnect(const TDASQLMonitorClass&, TCustomDAConnection& session) {
    if (currentMonitor) currentMonitor->ConnectionLine(session, "Connect: ", mtConnect, tfConnect);
}

void TCustomDASQLMonitor::NotifyDisconnect(const TDASQLMonitorClass&, TCustomDAConnection& session) {
    if (currentMonitor) currentMonitor->ConnectionLine(session, "Disconnect: ", mtConnect, tfConnect);
}

void TCustomDASQLMonitor::NotifyCommit(const TDASQLMonitorClass&, TCustomDAConnection& session) {
    if (currentMonitor) currentMonitor->ConnectionLine(session, "Commit: ", mtTransact, tfTransact);
}

void TCustomDASQLMonitor::NotifyRollback(const TDASQLMonitorClass&, TCustomDAConnection& session) {
    if (currentMonitor) currentMonitor->ConnectionLine(session, "Rollback: ", mtTransact, tfTransact);
}

void TCustomDASQLMonitor::NotifyError(const TDASQLMonitorClass&, const EDAError& error) {
    if (currentMonitor) currentMonitor->Error(error);
}

}  // namespace oracle
