#include "DialogDriver.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

constexpr auto kPatience = std::chrono::seconds(15);

struct Search {
    DWORD thread;
    std::string caption;
    HWND found = nullptr;
};

std::string WindowText(HWND window) {
    char text[1024] = {};
    // WM_GETTEXT works across threads; GetWindowText would not read another thread's edit.
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

BOOL CALLBACK MatchCaption(HWND window, LPARAM context) {
    auto* s = reinterpret_cast<Search*>(context);
    if (IsWindowVisible(window) && WindowText(window) == s->caption) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

// Ends whatever the thread still shows: message boxes get their negative answer, forms
// and browsers are closed.
void CloseEverything(DWORD thread) {
    std::vector<HWND> windows;
    EnumThreadWindows(thread, &CollectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        if (!IsWindowVisible(window)) continue;
        if (GetDlgItem(window, IDNO)) PostMessageA(window, WM_COMMAND, IDNO, 0);
        else if (GetDlgItem(window, IDCANCEL)) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        else if (GetDlgItem(window, IDOK) && GetDlgItem(window, 0xFFFF)) PostMessageA(window, WM_COMMAND, IDOK, 0);
        else PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

// The marker Settle posts; its lParam is the event the hook sets once the thread took it.
const UINT kSettleMarker = RegisterWindowMessageA("SetrixDialogDriverSettle");

LRESULT CALLBACK SeeSettleMarker(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == kSettleMarker)
        SetEvent(reinterpret_cast<HANDLE>(message->lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void DialogDriver::Settle(HWND window) {
    const HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, &SeeSettleMarker, nullptr, target);
    DWORD waited = WAIT_FAILED;
    if (hook && PostMessageA(window, kSettleMarker, 0, reinterpret_cast<LPARAM>(taken)))
        waited = WaitForSingleObject(
            taken, static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(kPatience).count()));
    if (hook) UnhookWindowsHookEx(hook);
    // A marker not taken in time may still be: its event stays valid until then.
    if (waited == WAIT_OBJECT_0) CloseHandle(taken);
    if (waited != WAIT_OBJECT_0) throw std::runtime_error("timed out: the dialog's posted messages handled");
}

void DialogDriver::WaitUntil(const std::function<bool()>& condition, const char* what) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error(std::string("timed out: ") + what);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

HWND DialogDriver::Window(const std::string& caption) {
    Search search{target, caption};
    WaitUntil(
        [&] {
            EnumThreadWindows(target, &MatchCaption, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        ("window \"" + caption + "\"").c_str());
    return search.found;
}

HWND DialogDriver::WindowOfClass(const char* windowClass) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            std::vector<HWND> windows;
            EnumThreadWindows(target, &CollectWindow, reinterpret_cast<LPARAM>(&windows));
            for (HWND window : windows) {
                char name[64] = {};
                GetClassNameA(window, name, sizeof name);
                if (IsWindowVisible(window) && std::string(name) == windowClass) found = window;
            }
            return found != nullptr;
        },
        (std::string("window of class ") + windowClass).c_str());
    return found;
}

HWND DialogDriver::Child(HWND parent, const char* windowClass, int index) {
    HWND child = nullptr;
    for (int i = 0; i <= index; ++i) {
        child = FindWindowExA(parent, child, windowClass, nullptr);
        if (!child) throw std::runtime_error(std::string("no control of class ") + windowClass);
    }
    return child;
}

HWND DialogDriver::Button(HWND parent, const std::string& caption) {
    HWND button = FindWindowExA(parent, nullptr, "Button", caption.c_str());
    if (!button) throw std::runtime_error("no button \"" + caption + "\"");
    return button;
}

std::string DialogDriver::Text(HWND window) { return WindowText(window); }

void DialogDriver::SetText(HWND edit, const std::string& text) {
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void DialogDriver::Type(HWND control, char c) { PostMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1); }

void DialogDriver::Click(HWND button) {
    PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

void DialogDriver::Choose(HWND combo, int index) {
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

std::string DialogDriver::MessageText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

void DialogDriver::Answer(HWND box, int buttonId) { PostMessageA(box, WM_COMMAND, buttonId, 0); }

std::string DialogDriver::Acknowledge(const std::string& caption) {
    const HWND box = Window(caption);
    const std::string text = MessageText(box);
    Answer(box, IDOK);
    WaitUntil([&] { return !IsWindow(box); }, ("message box \"" + caption + "\" closed").c_str());
    return text;
}

std::string RunWithDialogs(const std::function<void(DialogDriver&)>& script, const std::function<void()>& call) {
    DialogDriver driver;
    driver.target = GetCurrentThreadId();
    std::atomic<bool> returned{false};
    std::string failure;
    std::thread user([&] {
        try {
            script(driver);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        // The watchdog: after a grace period for the script's last action, whatever is still
        // open gets closed until the export returns.
        for (int wait = 0; wait < 100 && !returned; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        while (!returned) {
            CloseEverything(driver.target);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    call();
    returned = true;
    user.join();
    return failure;
}
