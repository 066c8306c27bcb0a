// The dataset framework's two outside references: the screen (the mouse cursor shown
// while data work runs) and the application (title, message pump). They start as
// implementations that do nothing; a library with a user interface installs its own
// (the Btrieve library's screen adapter).
#pragma once

#include <memory>

#include "platform/SysUtils.h"

namespace platform {

enum TDBScreenCursor : int { dcrDefault, dcrHourGlass, dcrSQLWait, dcrOther };

class IDBScreen {
public:
    virtual ~IDBScreen() = default;
    virtual TDBScreenCursor GetCursor() = 0;
    virtual void SetCursor(TDBScreenCursor cursor) = 0;
};

class IDBApplication {
public:
    virtual ~IDBApplication() = default;
    virtual AnsiString GetTitle() = 0;
    virtual void SetTitle(const AnsiString& title) = 0;
    virtual void ProcessMessages() = 0;
};

// The installed references (never null).
IDBScreen& DBScreen();
IDBApplication& DBApplication();
// Install an implementation; null puts the do-nothing one back. The framework shares
// ownership, so an object serving both roles lives while either reference holds it.
void SetDBScreen(std::shared_ptr<IDBScreen> screen);
void SetDBApplication(std::shared_ptr<IDBApplication> application);

}  // namespace platform
