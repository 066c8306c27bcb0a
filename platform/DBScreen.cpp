#include "platform/DBScreen.h"

namespace platform {

namespace {

class SilentScreen : public IDBScreen {
public:
    TDBScreenCursor GetCursor() override { return dcrDefault; }
    void SetCursor(TDBScreenCursor) override {}
};

class SilentApplication : public IDBApplication {
public:
    AnsiString GetTitle() override { return AnsiString(); }
    void SetTitle(const AnsiString&) override {}
    void ProcessMessages() override {}
};

std::shared_ptr<IDBScreen>& ScreenSlot() {
    static std::shared_ptr<IDBScreen> slot = std::make_shared<SilentScreen>();
    return slot;
}

std::shared_ptr<IDBApplication>& ApplicationSlot() {
    static std::shared_ptr<IDBApplication> slot = std::make_shared<SilentApplication>();
    return slot;
}

}  // namespace

IDBScreen& DBScreen() { return *ScreenSlot(); }
IDBApplication& DBApplication() { return *ApplicationSlot(); }

void SetDBScreen(std::shared_ptr<IDBScreen> screen) {
    ScreenSlot() = screen ? std::move(screen) : std::make_shared<SilentScreen>();
}

void SetDBApplication(std::shared_ptr<IDBApplication> application) {
    ApplicationSlot() = application ? std::move(application) : std::make_shared<SilentApplication>();
}

}  // namespace platform
