// The Oracle SQL monitor: the session's monitor class, which writes Oracle parameters
// with their bind sizes, arrays, LOBs, files and object types, and reports savepoints.
#pragma once

#include "oracle/core/DASQLMonitor.h"

namespace oracle {

class TOraSQLMonitorClass : public TDASQLMonitorClass {
public:
    platform::AnsiString ProductName() const override { return "Vimbra"; }
    platform::AnsiString ParamToText(const platform::TParam& param) const override;
};

// The Oracle monitor class, the one TOraSession names.
const TDASQLMonitorClass& OraSQLMonitorClass();

class TOraSQLMonitor : public TCustomDASQLMonitor {
public:
    using TCustomDASQLMonitor::TCustomDASQLMonitor;

    // Reach only the current monitor instance; without one they do nothing.
    static void NotifySavepoint(const TDASQLMonitorClass& monitorClass, TCustomDAConnection& session,
                                const platform::AnsiString& name);
    static void NotifyRollbackToSavepoint(const TDASQLMonitorClass& monitorClass, TCustomDAConnection& session,
                                          const platform::AnsiString& name);

protected:
    const TDASQLMonitorClass& MonitorClass() const override { return OraSQLMonitorClass(); }
};

}  // namespace oracle
