// TVCLScreenApplication: the library's screen and application adapter for the dataset
// framework. It maps the framework's cursor kinds to screen cursor ids (0 default,
// -11 hour-glass, -17 SQL wait) and serves the application's title and message pump.
// The library installs it when its components unit starts.
#pragma once

#include "platform/DBScreen.h"

namespace btrieve {

using platform::AnsiString;

class TVCLScreenApplication : public platform::IDBScreen, public platform::IDBApplication {
public:
    static constexpr int kDefaultCursor = 0;
    static constexpr int kHourGlassCursor = -11;
    static constexpr int kSqlWaitCursor = -17;

    platform::TDBScreenCursor GetCursor() override;
    void SetCursor(platform::TDBScreenCursor cursor) override;
    AnsiString GetTitle() override;
    void SetTitle(const AnsiString& title) override;
    void ProcessMessages() override;

    // The screen's cursor id and the application's title as the program keeps them.
    static int ScreenCursor();
    static void SetScreenCursor(int id);
};

// Unit start and end of the dataset components: install the adapter (and, in a
// program, initialise COM for the main thread), then take both back.
void StartComponentsUnit(bool inProgram);
void StopComponentsUnit();

}  // namespace btrieve
