#include "oracle/oci/OCIConnection.h"

#include <cstdlib>
#include <cstring>
#include <exception>

#include "oracle/core/Assertion.h"
#include "oracle/oci/OCICommand.h"
#include "oracle/oci/OCIRecordSet.h"
#include "oracle/oci/OciLoader.h"
#include "platform/Application.h"
#include "platform/DataSetTypes.h"
#include "platform/ScopeExit.h"
#include "platform/SysUtils.h"

namespace oracle {

using namespace oracle::oci;
using platform::Attempt;

namespace {

const OraText* Text(const std::string& value) { return reinterpret_cast<const OraText*>(value.c_str()); }

}  // namespace

void EnsureOCIInit() { InitOCI(); }

void TConnectionMutex::Acquire() {
    const DWORD self = GetCurrentThreadId();
    AcquireSRWLockExclusive(&guard_);
    if (owner_ != 0 && owner_ != self) {
        ++waiting_;
        while (owner_ != 0) SleepConditionVariableSRW(&released_, &guard_, INFINITE, 0);
        --waiting_;
    }
    owner_ = self;
    ++depth_;
    ReleaseSRWLockExclusive(&guard_);
}

bool TConnectionMutex::TryAcquire() {
    const DWORD self = GetCurrentThreadId();
    AcquireSRWLockExclusive(&guard_);
    const bool free = owner_ == 0 || owner_ == self;
    if (free) {
        owner_ = self;
        ++depth_;
    }
    ReleaseSRWLockExclusive(&guard_);
    return free;
}

unsigned TConnectionMutex::Waiting() {
    AcquireSRWLockShared(&guard_);
    const unsigned waiting = waiting_;
    ReleaseSRWLockShared(&guard_);
    return waiting;
}

void TConnectionMutex::Release() {
    AcquireSRWLockExclusive(&guard_);
    bool wake = false;
    if (owner_ == GetCurrentThreadId() && --depth_ == 0) {
        owner_ = 0;
        wake = waiting_ > 0;
    }
    ReleaseSRWLockExclusive(&guard_);
    if (wake) WakeConditionVariable(&released_);
}

void TConnectionMutex::Abandon(DWORD threadId) {
    AcquireSRWLockExclusive(&guard_);
    bool wake = false;
    if (threadId != 0 && owner_ == threadId) {
        owner_ = 0;
        depth_ = 0;
        wake = waiting_ > 0;
    }
    ReleaseSRWLockExclusive(&guard_);
    if (wake) WakeConditionVariable(&released_);
}

TOCIConnection::TOCIConnection() { autoCommit_ = true; }

TOCIConnection::~TOCIConnection() {
    try {
        Disconnect();
    } catch (...) {
        // A destructor reports nothing; Disconnect released everything it held.
    }
    if (utilWindow_) DestroyWindow(utilWindow_);
}

void TOCIConnection::CheckOCI() const {
    if (ociVersion_ != 1 && ociVersion_ != 2) RaiseLibraryError("OCI is not inizialized");
}

void TOCIConnection::CheckOCI80() const {
    if (ociVersion_ != 2) RaiseLibraryError("Need Oracle 8 Call Interface");
}

void TOCIConnection::Check(sword status) {
    if (status != OCI_SUCCESS) ProcessError(ociVersion_, status);
}

void TOCIConnection::ProcessError(uint8_t ociVersion, sword status) {
    int32_t code = 0;
    std::string message;
    if (ociVersion == 1) {
        if (status == -9) status = OCI_ERROR;
        char buffer[512] = {};
        Oci.oerhms(lda_.get(), static_cast<sb2>(status), reinterpret_cast<OraText*>(buffer), sizeof buffer);
        message.assign(buffer, strnlen(buffer, sizeof buffer));
        message = platform::TrimRight(message);
        code = std::abs(status);
    } else if (ociVersion == 2) {
        code = GetOraError(status, message, errorHandle_);
        lastErrorCode_ = code;
        // Warnings pass, except a statement compiled with errors.
        if (status == OCI_SUCCESS_WITH_INFO && code != 24344) return;
    } else {
        CheckOCI();
    }
    lastErrorCode_ = code;
    EOraError error(code, message);
    TDAErrorReport report{&error, true};
    if (onError_) onError_(ErrorReportArgument(report));
    if (report.Fail) throw error;
    platform::Abort();
}

void TOCIConnection::AllocHandle(void** handle, ub4 type) {
    if (*handle == nullptr) Check(Oci.OCIHandleAlloc(OciClient().Environment, handle, type, 0, nullptr));
}

void TOCIConnection::Connect() {
    if (connected_) return;
    if (!OciClient().EnvironmentReady) EnsureOCIInit();
    if (ociVersion_ == 0) ociVersion_ = OciClient().CallInterface;
    statementOciVersion_ = ociVersion_;
    if (ociVersion_ == 1)
        ConnectOci7();
    else if (ociVersion_ == 2)
        ConnectOci8();
    else
        CheckOCI();
    connected_ = true;
}

void TOCIConnection::ConnectOci7() {
    try {
        if (!lda_) lda_ = std::make_unique<Lda_Def>();
        if (!hda_) hda_ = std::make_unique<std::array<ub1, HdaSize>>();
        hda_->fill(0);
        Check(Oci.olog(lda_.get(), hda_->data(), Text(username_), -1, Text(password_), -1, Text(server_), -1, 0));
        if (threadSafety_ && !OCI7ThreadInitDone()) InitOCI7Thread(true);
        maxStringSize_ = 2000;
    } catch (...) {
        ReleaseOci7Areas();
        throw;
    }
}

void TOCIConnection::ConnectOci8() {
    errorHandle_ = OciClient().ErrorHandle;
    bool attached = false;
    try {
        AllocHandle(reinterpret_cast<void**>(&svcCtx_), OCI_HTYPE_SVCCTX);
        AllocHandle(reinterpret_cast<void**>(&serverHandle_), OCI_HTYPE_SERVER);
        AllocHandle(reinterpret_cast<void**>(&sessionHandle_), OCI_HTYPE_SESSION);
        Check(Oci.OCIServerAttach(serverHandle_, errorHandle_, Text(server_), static_cast<sb4>(server_.size()), OCI_DEFAULT));
        attached = true;
        Check(Oci.OCIAttrSet(svcCtx_, OCI_HTYPE_SVCCTX, serverHandle_, 0, OCI_ATTR_SERVER, errorHandle_));
        ub4 credentials = OCI_CRED_EXT;
        if (!username_.empty()) {
            Check(Oci.OCIAttrSet(sessionHandle_, OCI_HTYPE_SESSION, username_.data(), static_cast<ub4>(username_.size()),
                                 OCI_ATTR_USERNAME, errorHandle_));
            Check(Oci.OCIAttrSet(sessionHandle_, OCI_HTYPE_SESSION, password_.data(), static_cast<ub4>(password_.size()),
                                 OCI_ATTR_PASSWORD, errorHandle_));
            credentials = OCI_CRED_RDBMS;
        }
        const ub4 mode = connectMode_ == cmSysOper ? OCI_SYSOPER : connectMode_ == cmSysDBA ? OCI_SYSDBA : OCI_DEFAULT;
        Check(Oci.OCISessionBegin(svcCtx_, errorHandle_, sessionHandle_, credentials, mode));
        Check(Oci.OCIAttrSet(svcCtx_, OCI_HTYPE_SVCCTX, sessionHandle_, 0, OCI_ATTR_SESSION, errorHandle_));
        // A failed version query leaves the buffer empty: the server counts as not Oracle7.
        char banner[8] = {};
        const bool oracle7 = Oci.OCIServerVersion(svcCtx_, errorHandle_, reinterpret_cast<OraText*>(banner),
                                                  sizeof banner, OCI_HTYPE_SVCCTX) == OCI_SUCCESS &&
                             banner[6] == '7';
        maxStringSize_ = oracle7 ? 2000 : 4000;
        if ((OciClient().EntryGroups & egOCI7) && oracle7) statementOciVersion_ = 1;
    } catch (...) {
        // Clean-up failures are secondary: the log-on error is the one to report.
        if (attached) Oci.OCIServerDetach(serverHandle_, errorHandle_, OCI_DEFAULT);
        FreeOci8Handles();
        errorHandle_ = nullptr;
        throw;
    }
}

sword TOCIConnection::FreeOci8Handles() {
    sword first = OCI_SUCCESS;
    const auto release = [&first](void* handle, ub4 type) {
        if (handle == nullptr) return;
        const sword status = Oci.OCIHandleFree(handle, type);
        if (first == OCI_SUCCESS) first = status;
    };
    release(sessionHandle_, OCI_HTYPE_SESSION);
    release(serverHandle_, OCI_HTYPE_SERVER);
    release(svcCtx_, OCI_HTYPE_SVCCTX);
    sessionHandle_ = nullptr;
    serverHandle_ = nullptr;
    svcCtx_ = nullptr;
    return first;
}

void TOCIConnection::ReleaseOci7Areas() {
    lda_.reset();
    hda_.reset();
    ldaFromSvcCtx_ = false;
}

void TOCIConnection::Disconnect() {
    if (!connected_) return;
    std::exception_ptr failure;
    if (ociVersion_ == 1) {
        Attempt(failure, [&] { Check(Oci.ologof(lda_.get())); });
        ReleaseOci7Areas();
    } else if (ociVersion_ == 2) {
        DisconnectOci8();
        return;
    } else {
        CheckOCI();
    }
    connected_ = false;
    if (failure) std::rethrow_exception(failure);
}

void TOCIConnection::DisconnectOci8() {
    std::exception_ptr failure;
    Attempt(failure, [&] { Check(Oci.OCISessionEnd(svcCtx_, errorHandle_, sessionHandle_, OCI_DEFAULT)); });
    Attempt(failure, [&] { Check(Oci.OCIServerDetach(serverHandle_, errorHandle_, OCI_DEFAULT)); });
    const sword freed = FreeOci8Handles();
    Attempt(failure, [&] { Check(freed); });
    errorHandle_ = nullptr;
    ReleaseOci7Areas();
    connected_ = false;
    if (failure) std::rethrow_exception(failure);
}

void TOCIConnection::Commit() {
    if (!connected_) return;
    TConnectionLock lock(*this);
    if (ociVersion_ == 1)
        Check(Oci.ocom(lda_.get()));
    else if (ociVersion_ == 2)
        Check(Oci.OCITransCommit(svcCtx_, errorHandle_, OCI_DEFAULT));
    else
        CheckOCI();
}

void TOCIConnection::Rollback() {
    if (!connected_) return;
    if (ociVersion_ == 1)
        Check(Oci.orol(lda_.get()));
    else if (ociVersion_ == 2)
        Check(Oci.OCITransRollback(svcCtx_, errorHandle_, OCI_DEFAULT));
    else
        CheckOCI();
}

void TOCIConnection::StartTransaction() { Commit(); }

Lda_Def* TOCIConnection::GetLDA() {
    if (ociVersion_ == 1) return lda_.get();
    if (ociVersion_ != 2) CheckOCI();
    if (!lda_) {
        lda_ = std::make_unique<Lda_Def>();
        ldaFromSvcCtx_ = true;
    }
    Check(Oci.OCISvcCtxToLda(svcCtx_, errorHandle_, lda_.get()));
    return lda_.get();
}

OCISvcCtx* TOCIConnection::GetSvcCtx() const {
    CheckOCI80();
    return svcCtx_;
}

void TOCIConnection::BreakExec() {
    if (!connected_) return;
    if (ociVersion_ == 1)
        Check(Oci.obreak(lda_.get()));
    else if (ociVersion_ == 2)
        Check(Oci.OCIBreak(svcCtx_, errorHandle_));
    else
        CheckOCI();
}

void TOCIConnection::Lock() {
    if (threadSafety_) mutex_.Acquire();
}

bool TOCIConnection::TryLock() { return !threadSafety_ || mutex_.TryAcquire(); }

void TOCIConnection::Unlock() {
    if (threadSafety_) mutex_.Release();
}

unsigned TOCIConnection::LockWaiters() { return threadSafety_ ? mutex_.Waiting() : 0; }

void TOCIConnection::SetOCIVersion(uint8_t value) {
    if (value == ociVersion_) return;
    Disconnect();
    ociVersion_ = value;
}

bool TOCIConnection::SetProp(int id, const platform::Variant& value) {
    switch (id) {
        case prThreadSafety:
            threadSafety_ = value.AsBoolean();
            return true;
        case prCharsetId:
            charsetId_ = static_cast<uint16_t>(value.AsInteger());
            return true;
        case prDateFormat:
            dateFormat_ = value.AsString();
            return true;
        case prConnectMode:
            connectMode_ = static_cast<TConnectMode>(value.AsInteger());
            return true;
        case prCharLength:
            charLength_ = static_cast<uint16_t>(value.AsInteger());
            return true;
        default:
            return TQdConnection::SetProp(id, value);
    }
}

bool TOCIConnection::AssignEvent(int id, TQdEventHandler handler) {
    if (id != evConnectionError) return TQdConnection::AssignEvent(id, std::move(handler));
    onError_ = std::move(handler);
    return true;
}

bool TOCIConnection::GetProp(int id, platform::Variant& value) {
    if (id == prMaxStringSize) {
        value = platform::Variant(maxStringSize_);
        return true;
    }
    return TQdConnection::GetProp(id, value);
}

// Background operations

namespace {

const char* const UtilWindowClass = "VimbraUtilWnd";
constexpr UINT WM_THREAD_DONE = WM_USER;
constexpr UINT WM_THREAD_FAILED = WM_USER + 1;

struct TThreadRecord {
    void* Object;
    std::function<void()> Routine;
    std::function<void(bool)> EndRoutine;
    HWND Window;
};

HINSTANCE ModuleInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ModuleInstance), &module);
    return module;
}

// A failure nobody waits for goes to the application's exception handler (or its display),
// which keeps the silent abort silent.
void HandleBackgroundFailure(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        platform::ApplicationHandleException(nullptr, error);
    } catch (...) {
        platform::ApplicationHandleException(nullptr, platform::Exception("Background operation failed"));
    }
}

LRESULT CALLBACK UtilWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return 0;
    if (message != WM_THREAD_DONE && message != WM_THREAD_FAILED) return DefWindowProcA(window, message, wParam, lParam);
    std::unique_ptr<TThreadRecord> record(reinterpret_cast<TThreadRecord*>(wParam));
    std::unique_ptr<std::exception_ptr> failure(reinterpret_cast<std::exception_ptr*>(lParam));
    // Nothing may leave a window procedure: failures go to the application's handler.
    try {
        if (record->EndRoutine) record->EndRoutine(message == WM_THREAD_DONE);
        record.reset();
        if (failure && *failure) std::rethrow_exception(*failure);
    } catch (...) {
        HandleBackgroundFailure(std::current_exception());
    }
    return 0;
}

DWORD WINAPI WorkerThreadProc(LPVOID parameter) {
    auto* record = static_cast<TThreadRecord*>(parameter);
    try {
        record->Routine();
        PostMessageA(record->Window, WM_THREAD_DONE, reinterpret_cast<WPARAM>(record), 0);
    } catch (...) {
        // Every failure, not only the runtime's exceptions, reaches the window's thread.
        auto failure = std::make_unique<std::exception_ptr>(std::current_exception());
        PostMessageA(record->Window, WM_THREAD_FAILED, reinterpret_cast<WPARAM>(record),
                     reinterpret_cast<LPARAM>(failure.release()));
    }
    return 0;
}

HWND CreateUtilWindow() {
    const HINSTANCE instance = ModuleInstance();
    WNDCLASSA registered{};
    const bool known = GetClassInfoA(instance, UtilWindowClass, &registered) != 0;
    if (!known || registered.lpfnWndProc != &UtilWndProc) {
        if (known) UnregisterClassA(UtilWindowClass, instance);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &UtilWndProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = UtilWindowClass;
        RegisterClassA(&windowClass);
    }
    // A message-only window: it only receives posted messages and needs no display.
    const HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, UtilWindowClass, "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, instance, nullptr);
    if (window == nullptr) AssertionFailed(UnitOraClasses);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&UtilWndProc));
    return window;
}

}  // namespace

HANDLE RunThread(TOCIConnection& connection, void* object, std::function<void()> routine,
                 std::function<void(bool)> endRoutine) {
    if (connection.utilWindow_ == nullptr) connection.utilWindow_ = CreateUtilWindow();
    auto record = std::make_unique<TThreadRecord>(
        TThreadRecord{object, std::move(routine), std::move(endRoutine), connection.utilWindow_});
    const HANDLE thread = CreateThread(nullptr, 0, &WorkerThreadProc, record.get(), 0, nullptr);
    if (thread == nullptr) AssertionFailed(UnitOraClasses, "Cannot start a worker thread");
    record.release();  // the utility window frees it
    return thread;
}

bool StopThread(TOCIConnection& connection, HANDLE thread) {
    try {
        connection.BreakExec();
    } catch (...) {
        // The worker reports its own end; a failed interruption only means waiting longer.
    }
    if (WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0) return true;
    const DWORD worker = GetThreadId(thread);
    if (!TerminateThread(thread, 0)) return false;
    WaitForSingleObject(thread, INFINITE);
    connection.mutex_.Abandon(worker);
    return true;
}

std::unique_ptr<TQdCommand> TOCIConnection::CreateCommand() { return std::make_unique<TOCICommand>(this); }

std::unique_ptr<TQdRecordSet> TOCIConnection::CreateRecordSet() {
    auto recordSet = std::make_unique<TOCIRecordSet>();
    recordSet->SetConnection(this);
    return recordSet;
}

}  // namespace oracle
