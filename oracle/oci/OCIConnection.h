// TOCIConnection: the Oracle back-end connection. Logs on and off through the version 7
// call interface (a log-on data area) or the version 8 one (server attach and session
// begin), runs commits and rollbacks, turns client statuses into EOraError (with the
// OnError hook) and serialises the statement work of its commands and record sets on its
// own lock. Created by the Oracle session component.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "oracle/core/CustomDAConnection.h"
#include "oracle/core/QdAccess.h"
#include "oracle/oci/OciApi.h"
#include "oracle/oci/OraError.h"
#include "platform/TextFile.h"

namespace oracle {

enum TConnectMode : uint8_t { cmNormal, cmSysOper, cmSysDBA };

// Property and event identifiers the Oracle connection adds.
inline constexpr int prThreadSafety = 51;
inline constexpr int prCharsetId = 56;
inline constexpr int prMaxStringSize = 58;
inline constexpr int prDateFormat = 60;
inline constexpr int prConnectMode = 62;
inline constexpr int prCharLength = 63;

inline constexpr const char* UnitOraClasses = "OraClasses";

// The lock of a connection: recursive like a mutex, but held and released in user mode,
// so that the uncontended case, every OCI call of a single-threaded program, costs no
// round trip to the system. A thread stopped by force while it holds the lock leaves it
// abandoned; the next thread to wait takes it over, as it would an abandoned mutex.
class TConnectionMutex {
public:
    void Acquire();
    // Takes the lock only when no other thread holds it; answers whether it did.
    bool TryAcquire();
    void Release();
    // Threads waiting in Acquire at this moment.
    unsigned Waiting();
    // The thread has ended without releasing the lock: it is free again.
    void Abandon(DWORD threadId);

private:
    SRWLOCK guard_ = SRWLOCK_INIT;
    CONDITION_VARIABLE released_ = CONDITION_VARIABLE_INIT;
    DWORD owner_ = 0;
    unsigned depth_ = 0;
    unsigned waiting_ = 0;
};

class TOCIConnection : public TQdConnection {
public:
    TOCIConnection();
    ~TOCIConnection() override;

    void Connect() override;
    void Disconnect() override;
    void StartTransaction() override;
    void Commit() override;
    void Rollback() override;
    bool SetProp(int id, const platform::Variant& value) override;
    bool GetProp(int id, platform::Variant& value) override;
    // evConnectionError: the handler gets the address of a TDAErrorReport; clearing its
    // Fail flag turns the error into the silent abort.
    bool AssignEvent(int id, TQdEventHandler handler) override;
    std::unique_ptr<TQdCommand> CreateCommand() override;
    std::unique_ptr<TQdRecordSet> CreateRecordSet() override;

    // Nothing for status 0, else ProcessError with the connection's call level.
    void Check(oci::sword status);
    // Raises EOraError for the status (or the silent abort when OnError clears the fail
    // flag); a success with information passes unless it reports a compilation error.
    void ProcessError(uint8_t ociVersion, oci::sword status);
    // "OCI is not inizialized" unless the call level is 7 or 8.
    void CheckOCI() const;
    // "Need Oracle 8 Call Interface" unless the call level is 8.
    void CheckOCI80() const;

    oci::Lda_Def* GetLDA();
    oci::OCISvcCtx* GetSvcCtx() const;
    oci::OCIError* ErrorHandle() const { return errorHandle_; }
    // Interrupts a call another thread runs on this connection; takes no lock.
    void BreakExec();
    void Lock();
    // Takes the lock unless another thread holds it, without waiting; answers whether it did.
    bool TryLock();
    void Unlock();
    // Threads waiting for the lock at this moment (0 without thread safety).
    unsigned LockWaiters();

    uint8_t OCIVersion() const { return ociVersion_; }
    // A different call level disconnects first.
    void SetOCIVersion(uint8_t value);
    uint8_t StatementOCIVersion() const { return statementOciVersion_; }
    bool ThreadSafety() const { return threadSafety_; }
    uint16_t CharsetId() const { return charsetId_; }
    uint16_t MaxStringSize() const { return maxStringSize_; }
    const std::string& DateFormat() const { return dateFormat_; }
    TConnectMode ConnectMode() const { return connectMode_; }
    uint16_t CharLength() const { return charLength_; }
    int32_t LastErrorCode() const { return lastErrorCode_; }
    // The hidden window that reports background operations; nil until the first RunThread.
    HWND UtilWindow() const { return utilWindow_; }

private:
    void ConnectOci7();
    void ConnectOci8();
    void DisconnectOci8();
    void ReleaseOci7Areas();
    // Frees the session, server and service context handles; answers the first failure.
    oci::sword FreeOci8Handles();
    void AllocHandle(void** handle, oci::ub4 type);

    bool threadSafety_ = true;
    uint16_t charsetId_ = 0;
    uint16_t maxStringSize_ = 0;
    uint8_t ociVersion_ = 0;
    uint8_t statementOciVersion_ = 0;
    int32_t lastErrorCode_ = 0;
    std::string dateFormat_;
    TConnectMode connectMode_ = cmNormal;
    uint16_t charLength_ = 0;
    TQdEventHandler onError_;
    std::unique_ptr<oci::Lda_Def> lda_;
    std::unique_ptr<std::array<oci::ub1, oci::HdaSize>> hda_;
    bool ldaFromSvcCtx_ = false;
    oci::OCISvcCtx* svcCtx_ = nullptr;
    oci::OCIServer* serverHandle_ = nullptr;
    oci::OCISession* sessionHandle_ = nullptr;
    oci::OCIError* errorHandle_ = nullptr;
    TConnectionMutex mutex_;
    HWND utilWindow_ = nullptr;

    friend HANDLE RunThread(TOCIConnection&, void*, std::function<void()>, std::function<void(bool)>);
    friend bool StopThread(TOCIConnection&, HANDLE);
};

// Holds a connection's lock for a scope.
class TConnectionLock {
public:
    explicit TConnectionLock(TOCIConnection& connection) : connection_(connection) { connection_.Lock(); }
    ~TConnectionLock() { connection_.Unlock(); }
    TConnectionLock(const TConnectionLock&) = delete;
    TConnectionLock& operator=(const TConnectionLock&) = delete;

private:
    TOCIConnection& connection_;
};

// Asks the loader for the shared environment (loading the client when needed).
void EnsureOCIInit();

// Runs routine on a worker thread of its own; its end routine (success flag) runs on the
// thread that created the connection's utility window, when that thread dispatches its
// messages. A failure of the routine is raised there again, after the end routine, and
// handed to the application's exception handler (the silent abort stays silent). Answers
// the thread.
HANDLE RunThread(TOCIConnection& connection, void* object, std::function<void()> routine,
                 std::function<void(bool success)> endRoutine);
// Interrupts the connection's running call and waits for the worker to end; a worker that
// does not end within the wait is terminated (and gives up the connection's lock if it
// held it). Answers whether the worker has ended.
bool StopThread(TOCIConnection& connection, HANDLE thread);

}  // namespace oracle
