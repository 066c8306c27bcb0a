// The module-wide wait cursor: every component of the data-access layer shows the
// SQL-wait cursor (-17) while blocking SQL work runs and the background cursor (-30)
// while non-blocking work is pending. The SQL-wait cursor is held by a 30 ms timer of
// the main thread's message loop, so a run of short statements does not flicker.
// Only the main thread (the one that started the module) changes the cursor.
#pragma once

namespace oracle {

inline constexpr int crDefault = 0;
inline constexpr int crSQLWait = -17;
inline constexpr int crBackground = -30;

// On by default; the layer turns it off briefly around an implicit prepare.
extern bool WaitCursorEnabled;

// The screen cursor as the platform's screen reference shows it.
int ScreenCursor();
// -17 shows the SQL-wait cursor and (re)starts the hold timer; -30 counts one more
// background operation; 0 counts one down (unless the SQL-wait cursor shows) and
// restores the background or the default cursor; other values do nothing.
void SetWaitCursor(int cursor);
// The hold timer's check: after more than 30 ms since the last -17 request (or when
// forced) the timer stops and the cursor is restored.
void WaitCursorTimerCheck(bool force);
// Module start (the calling thread becomes the main thread) and end.
void InitializeWaitCursor();
void FinalizeWaitCursor();
// Whether the hold timer runs (for checks).
bool WaitCursorTimerRunning();

// Saves the screen cursor, shows the SQL-wait cursor, and sets the saved one back.
class TWaitCursorScope {
public:
    TWaitCursorScope() : saved_(ScreenCursor()) { SetWaitCursor(crSQLWait); }
    ~TWaitCursorScope() { SetWaitCursor(saved_); }
    TWaitCursorScope(const TWaitCursorScope&) = delete;
    TWaitCursorScope& operator=(const TWaitCursorScope&) = delete;

private:
    int saved_;
};

}  // namespace oracle
