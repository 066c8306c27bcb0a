#include "Forms.h"

#include <algorithm>

namespace platform {

namespace {

const char* const kFormClass = "TForm";
const char* const kControlProp = "TWinControl";

// The module the platform is linked into: its forms' window class belongs to it.
HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

// The window class lives only while forms exist: a DLL's classes outlive its unload, and
// a class left behind would point at code that is gone.
int& LiveForms() {
    static int count = 0;
    return count;
}

void FormClassNeeded(WNDPROC proc) {
    if (LiveForms()++ > 0) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    RegisterClassExA(&wc);
}

void FormClassDone() {
    if (--LiveForms() == 0) UnregisterClassA(kFormClass, ThisModule());
}

struct DisabledWindows {
    HWND keep;
    std::vector<HWND> windows;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM context) {
    auto* d = reinterpret_cast<DisabledWindows*>(context);
    if (window != d->keep && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        d->windows.push_back(window);
    }
    return TRUE;
}

}  // namespace

// ---- TWinControl ----

TWinControl::TWinControl(TForm& form, const char* windowClass, DWORD style, DWORD exStyle) : form_(form) {
    const auto id = static_cast<INT_PTR>(100 + form.controls_.size());
    handle_ = CreateWindowExA(exStyle, windowClass, "", style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, form.Handle(),
                              reinterpret_cast<HMENU>(id), ThisModule(), nullptr);
    if (!handle_) throw Exception(AnsiString("Cannot create a control of class ") + windowClass);
    SetPropA(handle_, kControlProp, this);
    defaultProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::SubclassProc)));
    Send(WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    form.controls_.push_back(this);
}

TWinControl::~TWinControl() {
    auto& list = form_.controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(defaultProc_));
    RemovePropA(handle_, kControlProp);
    DestroyWindow(handle_);
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    MoveWindow(handle_, left, top, width, height, TRUE);
}

void TWinControl::SetFocus() { ::SetFocus(handle_); }

bool TWinControl::Focused() const {
    const HWND focus = GetFocus();
    return focus == handle_ || IsChild(handle_, focus);
}

bool TWinControl::Enabled() const { return IsWindowEnabled(handle_) != FALSE; }

void TWinControl::SetEnabled(bool enabled) { EnableWindow(handle_, enabled ? TRUE : FALSE); }

AnsiString TWinControl::WindowText() const {
    const int length = GetWindowTextLengthA(handle_);
    AnsiString text(static_cast<size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(handle_, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

void TWinControl::PutWindowText(const AnsiString& text) { SetWindowTextA(handle_, text.c_str()); }

LRESULT TWinControl::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(handle_, message, wParam, lParam);
}

void TWinControl::Notify(WORD) {}

void TWinControl::KeyPress(char& key) {
    if (OnKeyPress) OnKeyPress(key);
}

LRESULT CALLBACK TWinControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* control = static_cast<TWinControl*>(GetPropA(window, kControlProp));
    if (!control) return DefWindowProcA(window, message, wParam, lParam);
    return control->ControlProc(message, wParam, lParam);
}

LRESULT TWinControl::ControlProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            if (wParam == VK_TAB) {
                form_.SelectNext(this, GetKeyState(VK_SHIFT) >= 0);
                return 0;
            }
            break;
        case WM_CHAR: {
            if (wParam == '\t') return 0;  // handled as focus movement on key down
            char key = static_cast<char>(wParam);
            form_.PreviewKey(key);
            if (key != 0) form_.Dispatch([&] { KeyPress(key); });
            if (key == 0) return 0;
            wParam = static_cast<unsigned char>(key);
            break;
        }
        default:
            break;
    }
    return CallWindowProcA(defaultProc_, handle_, message, wParam, lParam);
}

// ---- TForm ----

TForm::TForm(const AnsiString& caption, int clientWidth, int clientHeight) {
    FormClassNeeded(&TForm::FormProc);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int left = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    const int top = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    handle_ = CreateWindowExA(exStyle, kFormClass, caption.c_str(), style, left, top, width, height, nullptr,
                              nullptr, ThisModule(), this);
    if (!handle_) {
        FormClassDone();
        throw Exception("Cannot create the window of form \"" + caption + "\"");
    }
}

TForm::~TForm() {
    if (handle_) {
        SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
    FormClassDone();
}

AnsiString TForm::Caption() const {
    char text[512] = {};
    GetWindowTextA(handle_, text, sizeof text);
    return text;
}

int TForm::ShowModal() {
    modalResult_ = mrNone;
    DisabledWindows disabled{handle_, {}};
    EnumThreadWindows(GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&disabled));
    if (OnShow) Dispatch(OnShow);
    if (modalResult_ == mrNone && handle_) {
        ShowWindow(handle_, SW_SHOWNORMAL);
        UpdateWindow(handle_);
        const HWND focus = GetFocus();
        if (focus != handle_ && !IsChild(handle_, focus)) SelectNext(nullptr, true);
    }
    while (modalResult_ == mrNone && handle_) {
        MSG msg;
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // the host's loop must see it too
            modalResult_ = mrCancel;
            break;
        }
        if (got == -1) {
            modalResult_ = mrCancel;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
    for (HWND window : disabled.windows) EnableWindow(window, TRUE);
    if (handle_) ShowWindow(handle_, SW_HIDE);
    return modalResult_;
}

void TForm::Close() { modalResult_ = mrCancel; }

int TForm::ShowMessageBox(const AnsiString& text, const AnsiString& caption, UINT flags) const {
    return ::MessageBoxA(handle_, text.c_str(), caption.c_str(), flags);
}

void TForm::SelectNext(const TWinControl* current, bool forward) {
    const int count = static_cast<int>(controls_.size());
    if (count == 0) return;
    int start = -1;
    for (int i = 0; i < count; ++i)
        if (controls_[static_cast<size_t>(i)] == current) start = i;
    for (int step = 1; step <= count; ++step) {
        int i = forward ? start + step : (start < 0 ? count : start) - step;
        i = ((i % count) + count) % count;
        TWinControl* c = controls_[static_cast<size_t>(i)];
        const LONG_PTR style = GetWindowLongPtrA(c->Handle(), GWL_STYLE);
        if ((style & WS_TABSTOP) && IsWindowVisible(c->Handle()) && IsWindowEnabled(c->Handle())) {
            c->SetFocus();
            return;
        }
    }
}

void TForm::Dispatch(const std::function<void()>& handler) const {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowMessageBox(e.what(), Caption(), MB_OK | MB_ICONERROR);
    } catch (...) {
    }
}

void TForm::PreviewKey(char& key) {
    if (KeyPreview && OnKeyPress) Dispatch([&] { OnKeyPress(key); });
}

LRESULT CALLBACK TForm::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<TForm*>(create->lpCreateParams)->handle_ = window;
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!form) return DefWindowProcA(window, message, wParam, lParam);
    return form->WndProc(message, wParam, lParam);
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND self = handle_;
    switch (message) {
        case WM_COMMAND: {
            const auto child = reinterpret_cast<HWND>(lParam);
            for (TWinControl* c : controls_) {
                if (c->Handle() == child) {
                    const WORD code = HIWORD(wParam);
                    Dispatch([&] { c->Notify(code); });
                    break;
                }
            }
            return 0;
        }
        case WM_CHAR: {
            char key = static_cast<char>(wParam);
            PreviewKey(key);
            return 0;
        }
        case WM_ACTIVATE:
            // Give the focus back to the control that had it (after a message box, say).
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (IsChild(handle_, focus)) lastFocus_ = focus;
            } else if (lastFocus_ && IsChild(handle_, lastFocus_)) {
                ::SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            Close();
            return 0;
        case WM_NCDESTROY:
            handle_ = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcA(self, message, wParam, lParam);
}

}  // namespace platform
