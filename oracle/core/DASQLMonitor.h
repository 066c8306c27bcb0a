// SQL monitors: every component of the data-access layer reports its statements,
// connects, transactions and errors through the class-level Notify* hooks, naming the
// monitor class of its session (TCustomDAConnection::SQLMonitorClass). The first
// monitor component created while none is current receives the notices and passes them
// to its OnSQL event and to an outside monitor. TOraSQLMonitor's class formats Oracle
// parameters its own way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Classes.h"
#include "platform/Params.h"

namespace oracle {

class EDAError;
class TCustomDAConnection;

enum TMonitorOption : int { moDialog = 1, moSQLMonitor = 2, moCustom = 4, moHandled = 8 };
using TMonitorOptions = int;

// Flags that OnSQL receives.
enum TDATraceFlag : int { tfQPrepare = 0, tfQExecute = 1, tfError = 3, tfConnect = 5, tfTransact = 6 };

// Event kinds an outside monitor asks for (MonitorTraceFlags).
inline constexpr uint16_t mtPrepare = 1;
inline constexpr uint16_t mtExecute = 2;
inline constexpr uint16_t mtError = 8;
inline constexpr uint16_t mtConnect = 32;
inline constexpr uint16_t mtTransact = 64;
inline constexpr uint16_t mtParams = 1024;

// The class-level operations of a monitor class.
class TDASQLMonitorClass {
public:
    virtual ~TDASQLMonitorClass() = default;
    virtual platform::AnsiString ProductName() const { return "DataAccess"; }
    // One parameter as a line: ":EMPNO (Integer,IN) = 7369".
    virtual platform::AnsiString ParamToText(const platform::TParam& param) const;
    // Each parameter's line followed by " \r\n".
    platform::AnsiString ParamsToText(const platform::TParams* params) const;
};

// The base monitor class.
const TDASQLMonitorClass& DASQLMonitorClass();

// What parameter lines show of a field type ("String", "Integer", "Date"...) and of a
// direction ("IN", "OUT", "IN/OUT", "RESULT"; empty for an unknown one).
platform::AnsiString FieldTypeDisplayName(platform::TFieldType type);
platform::AnsiString ParamDirectionText(platform::TParamType type);
// ":NAME (type,direction) = value", each part left out when empty.
platform::AnsiString ComposeParamLine(const platform::AnsiString& name, const platform::AnsiString& type,
                                      const platform::AnsiString& direction, const platform::AnsiString& value);

class TCustomDASQLMonitor : public platform::TComponent {
public:
    using TOnSQLEvent = std::function<void(void* sender, const platform::AnsiString& text, TDATraceFlag flag)>;

    explicit TCustomDASQLMonitor(platform::TComponent* owner);
    ~TCustomDASQLMonitor() override;
    void AfterConstruction() override;

    // The instance that receives notices, or none.
    static TCustomDASQLMonitor* CurrentMonitor();

    // Hooks the components call with their session's monitor class. component is the
    // statement or dataset; implicit: the prepare is part of an execution.
    static void NotifyPrepare(const TDASQLMonitorClass& monitorClass, platform::TComponent* component,
                              const platform::AnsiString& text, bool implicit, const platform::TParams* params);
    static void NotifyExecute(const TDASQLMonitorClass& monitorClass, platform::TComponent* component,
                              const platform::AnsiString& text, const platform::AnsiString& kind,
                              const platform::TParams* params);
    static void NotifyConnect(const TDASQLMonitorClass& monitorClass, TCustomDAConnection& session);
    static void NotifyDisconnect(const TDASQLMonitorClass& monitorClass, TCustomDAConnection& session);
    static void NotifyCommit(const TDASQLMonitorClass& monitorClass, TCustomDAConnection& session);
    static void NotifyRollback(const TDASQLMonitorClass& monitorClass, TCustomDAConnection& session);
    static void NotifyError(const TDASQLMonitorClass& monitorClass, const EDAError& error);

    bool Active() const { return active_; }
    void SetActive(bool value);
    TMonitorOptions Options() const { return options_; }
    void SetOptions(TMonitorOptions value);
    // Event kinds the outside monitor asked for (it sets them through its callback).
    uint16_t MonitorTraceFlags() const { return traceFlags_; }
    void SetMonitorTraceFlags(uint16_t flags) { traceFlags_ = flags; }

    TOnSQLEvent OnSQL;

    // The instance operations behind the hooks (only while Active).
    virtual void Prepare(const TDASQLMonitorClass& monitorClass, platform::TComponent* component,
                         const platform::AnsiString& text, bool implicit, const platform::TParams* params);
    virtual void Execute(const TDASQLMonitorClass& monitorClass, platform::TComponent* component,
                         const platform::AnsiString& text, const platform::AnsiString& kind,
                         const platform::TParams* params);
    void ConnectionLine(TCustomDAConnection& session, const platform::AnsiString& prefix, uint16_t monitorFlag,
                        TDATraceFlag flag);
    void Error(const EDAError& error);

    // " [name$XXXXXXXX] " (with the session's for a statement or dataset) when moHandled is set.
    platform::AnsiString ObjectInfo(platform::TComponent* component) const;

protected:
    // The class whose product name and parameter form this instance's debug window uses.
    virtual const TDASQLMonitorClass& MonitorClass() const;
    // Passes a line to the outside monitor; the base has no outside monitor to reach.
    virtual void SendToMonitor(const platform::AnsiString& text);
    // Registers with the outside monitor application (COM) when it is installed.
    virtual void RegisterWithMonitor();
    virtual void UnregisterFromMonitor();
    bool Wants(uint16_t monitorFlag) const { return (options_ & moSQLMonitor) && (traceFlags_ & monitorFlag); }

private:
    struct TOutsideMonitor;
    bool active_ = false;
    bool registered_ = false;
    std::unique_ptr<TOutsideMonitor> outside_;
    uint16_t traceFlags_ = 0;
    TMonitorOptions options_ = moDialog | moSQLMonitor | moCustom;
};

// The published monitor component.
class TDASQLMonitor : public TCustomDASQLMonitor {
public:
    using TCustomDASQLMonitor::TCustomDASQLMonitor;
};

}  // namespace oracle
