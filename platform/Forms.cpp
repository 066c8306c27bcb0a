#include "Forms.h"

#include <algorithm>

#include "Controls.h"
#include "FileCtrls.h"

namespace platform {

namespace {

const char* const kFormClass = "TForm";
const char* const kControlProp = "TWinControl";

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
    wc.hInstance = HInstance();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    RegisterClassExA(&wc);
}

void FormClassDone() {
    if (--LiveForms() == 0) UnregisterClassA(kFormClass, HInstance());
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

TWinControl::TWinControl(TComponent* owner, const char* windowClass, DWORD style, DWORD exStyle)
    : TComponent(owner), form_(dynamic_cast<TForm*>(owner)) {
    if (!form_) throw EComponentError(AnsiString("A control of class ") + windowClass + " needs a form as its owner");
    const auto id = static_cast<INT_PTR>(100 + form_->controls_.size());
    handle_ = CreateWindowExA(exStyle, windowClass, "", style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, form_->Handle(),
                              reinterpret_cast<HMENU>(id), HInstance(), nullptr);
    if (!handle_) throw EComponentError(AnsiString("Cannot create a control of class ") + windowClass);
    SetPropA(handle_, kControlProp, this);
    defaultProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::SubclassProc)));
    Send(WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    form_->controls_.push_back(this);
}

TWinControl::~TWinControl() {
    if (!handle_) return;
    auto& list = form_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(defaultProc_));
    RemovePropA(handle_, kControlProp);
    DestroyWindow(handle_);
}

const TClassInfo& TWinControl::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TWinControl", &TComponent::StaticClassInfo());
        i.Property("Left", &TWinControl::Left, &TWinControl::SetLeft);
        i.Property("Top", &TWinControl::Top, &TWinControl::SetTop);
        i.Property("Width", &TWinControl::Width, &TWinControl::SetWidth);
        i.Property("Height", &TWinControl::Height, &TWinControl::SetHeight);
        i.Property("Enabled", &TWinControl::Enabled, &TWinControl::SetEnabled);
        return i;
    }();
    return info;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    MoveWindow(handle_, left, top, width, height, TRUE);
}

void TWinControl::SetFocus() { ::SetFocus(handle_); }

bool TWinControl::Focused() const {
    const HWND focus = GetFocus();
    return focus == handle_ || IsChild(handle_, focus);
}

bool TWinControl::Enabled() const { return IsWindowEnabled(handle_) != FALSE; }

void TWinControl::SetEnabled(bool enabled) { EnableWindow(handle_, enabled ? TRUE : FALSE); }

void TWinControl::SetColors(COLORREF text, int backgroundSysColor) {
    textColor_ = text;
    backgroundSysColor_ = backgroundSysColor;
    InvalidateRect(handle_, nullptr, TRUE);
}

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
                form_->SelectNext(this, GetKeyState(VK_SHIFT) >= 0);
                return 0;
            }
            break;
        case WM_CHAR: {
            if (wParam == '\t') return 0;  // handled as focus movement on key down
            char key = static_cast<char>(wParam);
            form_->PreviewKey(key);
            if (key != 0) form_->Dispatch([&] { KeyPress(key); });
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

TForm::TForm(TComponent* owner) : TComponent(owner) {
    FormClassNeeded(&TForm::FormProc);
    handle_ = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kFormClass, "",
                              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0, 0, 0, 0, nullptr, nullptr,
                              HInstance(), this);
    if (!handle_) {
        FormClassDone();
        throw EComponentError("Cannot create the window of a form");
    }
    PlaceWindow();
}

TForm::~TForm() {
    // The controls go first, while the form they report to is still whole.
    DestroyComponents();
    if (handle_) {
        SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
    FormClassDone();
}

const TClassInfo& TForm::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TForm>("TForm", &TComponent::StaticClassInfo());
        i.Property("Caption", &TForm::Caption, &TForm::SetCaption);
        i.Property("ClientWidth", &TForm::ClientWidth, &TForm::SetClientWidth);
        i.Property("ClientHeight", &TForm::ClientHeight, &TForm::SetClientHeight);
        i.Property("KeyPreview", &TForm::KeyPreview, &TForm::SetKeyPreview);
        return i;
    }();
    return info;
}

AnsiString TForm::Caption() const {
    const int length = GetWindowTextLengthA(handle_);
    AnsiString text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(std::max(GetWindowTextA(handle_, text.data(), length + 1), 0)));
    return text;
}

void TForm::SetCaption(const AnsiString& caption) { SetWindowTextA(handle_, caption.c_str()); }

void TForm::SetClientWidth(int width) {
    clientWidth_ = width;
    PlaceWindow();
}

void TForm::SetClientHeight(int height) {
    clientHeight_ = height;
    PlaceWindow();
}

void TForm::PlaceWindow() {
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_EXSTYLE));
    RECT frame{0, 0, clientWidth_, clientHeight_};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int left = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    const int top = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
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

RECT TForm::ClientRect() const {
    RECT client{};
    GetClientRect(handle_, &client);
    return client;
}

bool TForm::Sizeable() const { return (GetWindowLongPtrA(handle_, GWL_STYLE) & WS_THICKFRAME) != 0; }

void TForm::SetSizeable(bool sizeable) {
    constexpr LONG_PTR frame = WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE);
    LONG_PTR exStyle = GetWindowLongPtrA(handle_, GWL_EXSTYLE);
    style = sizeable ? style | frame : style & ~frame;
    exStyle = sizeable ? exStyle & ~WS_EX_DLGMODALFRAME : exStyle | WS_EX_DLGMODALFRAME;
    SetWindowLongPtrA(handle_, GWL_STYLE, style);
    SetWindowLongPtrA(handle_, GWL_EXSTYLE, exStyle);
    PlaceWindow();
}

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
    if (keyPreview_ && OnKeyPress) Dispatch([&] { OnKeyPress(key); });
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
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT: {
            const auto child = reinterpret_cast<HWND>(lParam);
            for (TWinControl* c : controls_) {
                if (c->Handle() != child || (c->textColor_ == CLR_INVALID && c->backgroundSysColor_ < 0)) continue;
                const auto dc = reinterpret_cast<HDC>(wParam);
                const int background = c->backgroundSysColor_ >= 0 ? c->backgroundSysColor_
                                       : message == WM_CTLCOLOREDIT ? COLOR_WINDOW
                                                                     : COLOR_BTNFACE;
                if (c->textColor_ != CLR_INVALID) ::SetTextColor(dc, c->textColor_);
                ::SetBkColor(dc, GetSysColor(background));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
            }
            break;
        }
        case WM_SIZE:
            if (OnResize) Dispatch(OnResize);
            return 0;
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

HINSTANCE HInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&HInstance), &module);
    return module;
}

bool ModuleIsProgram() { return HInstance() == GetModuleHandleA(nullptr); }

void RegisterFormClasses() {
    RegisterComponentClass(TForm::StaticClassInfo());
    RegisterComponentClass(TEdit::StaticClassInfo());
    RegisterComponentClass(TButton::StaticClassInfo());
    RegisterComponentClass(TListBox::StaticClassInfo());
    RegisterComponentClass(TComboBox::StaticClassInfo());
    RegisterComponentClass(TDirectoryListBox::StaticClassInfo());
    RegisterComponentClass(TDriveComboBox::StaticClassInfo());
}

void UnregisterFormClasses() {
    UnregisterComponentClass(TDriveComboBox::StaticClassInfo());
    UnregisterComponentClass(TDirectoryListBox::StaticClassInfo());
    UnregisterComponentClass(TComboBox::StaticClassInfo());
    UnregisterComponentClass(TListBox::StaticClassInfo());
    UnregisterComponentClass(TButton::StaticClassInfo());
    UnregisterComponentClass(TEdit::StaticClassInfo());
    UnregisterComponentClass(TForm::StaticClassInfo());
}

}  // namespace platform
