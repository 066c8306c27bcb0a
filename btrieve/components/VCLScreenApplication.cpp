#include "btrieve/components/VCLScreenApplication.h"

#include <objbase.h>
#include <windows.h>

#include <memory>

namespace btrieve {

namespace {
struct TScreenState {
    int cursor = TVCLScreenApplication::kDefaultCursor;
    AnsiString title;
    bool comInitialized = false;
};

TScreenState& State() {
    static TScreenState state;
    return state;
}
}  // namespace

int TVCLScreenApplication::ScreenCursor() { return State().cursor; }
void TVCLScreenApplication::SetScreenCursor(int id) { State().cursor = id; }

platform::TDBScreenCursor TVCLScreenApplication::GetCursor() {
    switch (State().cursor) {
    case kDefaultCursor: return platform::dcrDefault;
    case kHourGlassCursor: return platform::dcrHourGlass;
    case kSqlWaitCursor: return platform::dcrSQLWait;
    default: return platform::dcrOther;
    }
}

void TVCLScreenApplication::SetCursor(platform::TDBScreenCursor cursor) {
    switch (cursor) {
    case platform::dcrDefault: State().cursor = kDefaultCursor; break;
    case platform::dcrHourGlass: State().cursor = kHourGlassCursor; break;
    case platform::dcrSQLWait: State().cursor = kSqlWaitCursor; break;
    default: break;
    }
}

AnsiString TVCLScreenApplication::GetTitle() { return State().title; }
void TVCLScreenApplication::SetTitle(const AnsiString& title) { State().title = title; }

void TVCLScreenApplication::ProcessMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void StartComponentsUnit(bool inProgram) {
    auto adapter = std::make_shared<TVCLScreenApplication>();
    platform::SetDBScreen(adapter);
    platform::SetDBApplication(adapter);
    if (inProgram) State().comInitialized = SUCCEEDED(CoInitialize(nullptr));
}

void StopComponentsUnit() {
    platform::SetDBScreen(nullptr);
    platform::SetDBApplication(nullptr);
    if (State().comInitialized) {
        State().comInitialized = false;
        CoUninitialize();
    }
}

}  // namespace btrieve
