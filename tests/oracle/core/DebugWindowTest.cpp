// The debug window of statements with Debug set: shown before the statement runs, closed
// with Escape, and opened next time where it was left. Needs a display.
#include <gtest/gtest.h>

#include <windows.h>

#include "DAFixtures.h"
#include "platform/Registry.h"

namespace oracle {
namespace {

using namespace oracle::test;

// Runs inside the window's modal loop: notes the window, optionally moves it, and
// presses Escape in its memo.
struct WindowDriver {
    static inline std::vector<std::string> Captions;
    static inline std::vector<std::string> Texts;
    static inline std::vector<RECT> Bounds;
    static inline bool Move = false;
    // The look, noted from the first window.
    static inline bool Sizeable = false;
    static inline COLORREF LabelText = CLR_INVALID;
    static inline COLORREF MemoBackground = CLR_INVALID;
    static inline LOGFONTA MemoFont{};
    static inline RECT MemoInClient{};
    static inline RECT Client{};

    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
        HWND found = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND w, LPARAM out) -> BOOL {
                char title[256] = {};
                GetWindowTextA(w, title, sizeof(title));
                if (IsWindowVisible(w) && std::string(title).find(" Debug: ") != std::string::npos) {
                    *reinterpret_cast<HWND*>(out) = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        if (!found) return;
        KillTimer(nullptr, id);
        char title[256] = {};
        GetWindowTextA(found, title, sizeof(title));
        Captions.push_back(title);
        RECT bounds{};
        GetWindowRect(found, &bounds);
        Bounds.push_back(bounds);
        const HWND memo = FindWindowExA(found, nullptr, "EDIT", nullptr);
        char text[1024] = {};
        GetWindowTextA(memo, text, sizeof(text));
        Texts.push_back(text);
        if (Move) SetWindowPos(found, nullptr, 10, 20, 500, 300, SWP_NOZORDER);
        if (Captions.size() == 1) NoteTheLook(found, memo);
        PostMessageA(memo, WM_CHAR, 27, 0);
    }
    static void Arm() { SetTimer(nullptr, 0, 20, Tick); }

    static void NoteTheLook(HWND window, HWND memo) {
        Sizeable = (GetWindowLongPtrA(window, GWL_STYLE) & WS_THICKFRAME) != 0;
        // The colours the window hands its controls to draw with.
        const HDC dc = CreateCompatibleDC(nullptr);
        const HWND label = FindWindowExA(window, nullptr, "Static", "Before execution");
        SendMessageA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
        LabelText = GetTextColor(dc);
        SendMessageA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(memo));
        MemoBackground = GetBkColor(dc);
        DeleteDC(dc);
        const auto font = reinterpret_cast<HFONT>(SendMessageA(memo, WM_GETFONT, 0, 0));
        GetObjectA(font, sizeof(MemoFont), &MemoFont);
        GetClientRect(window, &Client);
        GetWindowRect(memo, &MemoInClient);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&MemoInClient), 2);
    }
};

TEST(DebugWindow, ShowsTheStatementBeforeItRunsAndKeepsItsPlace) {
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    registry.RemoveKey("\\SOFTWARE\\Hollis\\DBAccess\\Debug");

    FakeServer server;
    auto session = NewSession(server);
    auto statement = platform::NewUnownedComponent<TDASQL>();
    statement->SetName("Upd");
    statement->SetConnection(session.get());
    statement->SetSQLText("update t set a = :a");
    statement->Params().ParamByName("a").SetAsInteger(1);
    statement->Debug = true;

    WindowDriver::Move = true;
    WindowDriver::Arm();
    statement->Execute();  // prepared on the way: one window only
    ASSERT_EQ(WindowDriver::Captions.size(), 1u);
    EXPECT_EQ(WindowDriver::Captions[0], "DataAccess Debug: Upd  [Execute]");
    EXPECT_EQ(WindowDriver::Texts[0], "update t set a = :a\r\n\r\n:a (Integer) = 1 \r\n");
    EXPECT_EQ(WindowDriver::Bounds[0].right - WindowDriver::Bounds[0].left, GetSystemMetrics(SM_CXSCREEN) / 2);
    EXPECT_EQ(server.Count("execute update t set a = :a\r\n"), 1);
    // A sizeable window whose memo, in a fixed font on the button face, fills all but the
    // bar above and the strip on its left, also after the window was made 500 x 300.
    EXPECT_TRUE(WindowDriver::Sizeable);
    EXPECT_EQ(WindowDriver::LabelText, COLORREF{0x800000});
    EXPECT_EQ(WindowDriver::MemoBackground, GetSysColor(COLOR_BTNFACE));
    EXPECT_STREQ(WindowDriver::MemoFont.lfFaceName, "Courier New");
    EXPECT_EQ(WindowDriver::MemoFont.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(WindowDriver::MemoInClient.left, 15);
    EXPECT_EQ(WindowDriver::MemoInClient.top, 24);
    EXPECT_EQ(WindowDriver::MemoInClient.right, WindowDriver::Client.right);
    EXPECT_EQ(WindowDriver::MemoInClient.bottom, WindowDriver::Client.bottom);

    WindowDriver::Move = false;
    WindowDriver::Arm();
    statement->Prepare();
    WindowDriver::Arm();
    statement->Execute();
    ASSERT_EQ(WindowDriver::Captions.size(), 3u);
    EXPECT_EQ(WindowDriver::Captions[1], "DataAccess Debug: Upd  [Prepare]");
    EXPECT_EQ(WindowDriver::Captions[2], "DataAccess Debug: Upd  [Execute]");
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(WindowDriver::Bounds[i].left, 10);
        EXPECT_EQ(WindowDriver::Bounds[i].top, 20);
        EXPECT_EQ(WindowDriver::Bounds[i].right, 510);
        EXPECT_EQ(WindowDriver::Bounds[i].bottom, 320);
    }
    registry.RemoveKey("\\SOFTWARE\\Hollis\\DBAccess\\Debug");
}

}  // namespace
}  // namespace oracle
