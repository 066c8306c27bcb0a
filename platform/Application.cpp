#include "platform/Application.h"

#include <windows.h>

#include <mutex>

#include "platform/DBScreen.h"
#include "platform/DataSetTypes.h"
#include "platform/SysUtils.h"

namespace platform {

namespace {

std::mutex& HandlerLock() {
    static std::mutex lock;
    return lock;
}

TExceptionEvent& Handler() {
    static TExceptionEvent handler;
    return handler;
}

AnsiString ProgramTitle() {
    AnsiString title = DBApplication().GetTitle();
    if (!title.empty()) return title;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    title = path;
    const size_t slash = title.find_last_of("\\/");
    if (slash != AnsiString::npos) title.erase(0, slash + 1);
    const size_t dot = title.rfind('.');
    if (dot != AnsiString::npos) title.erase(dot);
    return title;
}

}  // namespace

void SetApplicationOnException(TExceptionEvent handler) {
    const std::lock_guard<std::mutex> hold(HandlerLock());
    Handler() = std::move(handler);
}

bool ApplicationHasExceptionHandler() {
    const std::lock_guard<std::mutex> hold(HandlerLock());
    return static_cast<bool>(Handler());
}

void ApplicationHandleException(TComponent* sender, const std::exception& error) {
    // The silent abort (and what derives from it) cancels an operation without a word:
    // neither the program's handler nor a message box waiting for a click hears of it.
    if (dynamic_cast<const EAbort*>(&error)) return;
    TExceptionEvent handler;
    {
        const std::lock_guard<std::mutex> hold(HandlerLock());
        handler = Handler();
    }
    try {
        if (handler)
            handler(sender, error);
        else
            ShowException(error);
    } catch (...) {
        // The handler of last resort has nobody to pass a failure to.
    }
}

void ShowException(const std::exception& error) {
    MessageBoxA(nullptr, error.what(), ProgramTitle().c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace platform
