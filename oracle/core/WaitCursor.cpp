#include "oracle/core/WaitCursor.h"

#include <windows.h>

#include "platform/DBScreen.h"

namespace oracle {

bool WaitCursorEnabled = true;

namespace {

constexpr UINT HoldInterval = 30;

UINT_PTR holdTimer = 0;
DWORD lastRequest = 0;
int backgroundCount = 0;
DWORD mainThread = 0;

bool OnMainThread() { return mainThread == 0 || GetCurrentThreadId() == mainThread; }

void SetScreenCursor(int cursor) {
    platform::TDBScreenCursor value = platform::dcrDefault;
    if (cursor == crSQLWait)
        value = platform::dcrSQLWait;
    else if (cursor == crBackground)
        value = platform::dcrOther;
    platform::DBScreen().SetCursor(value);
}

void CALLBACK HoldTimerTick(HWND, UINT, UINT_PTR, DWORD) { WaitCursorTimerCheck(false); }

}  // namespace

int ScreenCursor() {
    switch (platform::DBScreen().GetCursor()) {
        case platform::dcrSQLWait: return crSQLWait;
        case platform::dcrOther: return crBackground;
        case platform::dcrHourGlass: return -11;
        default: return crDefault;
    }
}

void SetWaitCursor(int cursor) {
    if (!WaitCursorEnabled || !OnMainThread()) return;
    switch (cursor) {
        case crBackground:
            ++backgroundCount;
            SetScreenCursor(crBackground);
            break;
        case crSQLWait:
            if (holdTimer == 0) holdTimer = SetTimer(nullptr, 0, HoldInterval, HoldTimerTick);
            if (ScreenCursor() != crSQLWait) SetScreenCursor(crSQLWait);
            lastRequest = GetTickCount();
            break;
        case crDefault:
            if (backgroundCount > 0) {
                if (ScreenCursor() != crSQLWait) --backgroundCount;
                SetScreenCursor(backgroundCount > 0 ? crBackground : crDefault);
            } else {
                SetScreenCursor(crDefault);
            }
            break;
        default:
            // Restoring another cursor leaves the SQL-wait cursor to the hold timer.
            break;
    }
}

void WaitCursorTimerCheck(bool force) {
    if (holdTimer == 0) return;
    if (!force && GetTickCount() - lastRequest <= HoldInterval) return;
    KillTimer(nullptr, holdTimer);
    holdTimer = 0;
    lastRequest = 0;
    SetWaitCursor(crDefault);
}

bool WaitCursorTimerRunning() { return holdTimer != 0; }

void InitializeWaitCursor() {
    mainThread = GetCurrentThreadId();
    WaitCursorEnabled = true;
    backgroundCount = 0;
}

void FinalizeWaitCursor() { WaitCursorTimerCheck(true); }

}  // namespace oracle
