// TForm and TWinControl: the runtime's forms over plain Win32 windows. A form is a
// top-level window with a dialog frame, built in code, shown modally in a message loop of
// its own; controls are Win32 child windows whose keys and notifications reach C++ event
// handlers. Used by the directory chooser and the Oracle log-on and connect dialogs.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "SysUtils.h"

namespace platform {

// What ended a modal form; the values are the message-box results of the same meaning.
enum TModalResult : int { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrYes = IDYES, mrNo = IDNO };

using TNotifyEvent = std::function<void()>;
// A typed character; the handler may change it, or set it to 0 to swallow it.
using TKeyPressEvent = std::function<void(char& key)>;

class TForm;

class TWinControl {
public:
    virtual ~TWinControl();
    TWinControl(const TWinControl&) = delete;
    TWinControl& operator=(const TWinControl&) = delete;

    HWND Handle() const { return handle_; }
    TForm& Form() const { return form_; }
    void SetBounds(int left, int top, int width, int height);
    void SetFocus();
    bool Focused() const;
    bool Enabled() const;
    void SetEnabled(bool enabled);

    TKeyPressEvent OnKeyPress;

protected:
    TWinControl(TForm& form, const char* windowClass, DWORD style, DWORD exStyle = 0);

    AnsiString WindowText() const;
    void PutWindowText(const AnsiString& text);
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    // A WM_COMMAND notification code the control sent to its form.
    virtual void Notify(WORD code);
    // A character typed into the control, after the form's key preview; 0 swallows it.
    virtual void KeyPress(char& key);

private:
    friend class TForm;
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT ControlProc(UINT message, WPARAM wParam, LPARAM lParam);

    TForm& form_;
    HWND handle_ = nullptr;
    WNDPROC defaultProc_ = nullptr;
};

class TForm {
public:
    // A form with a dialog frame and a system menu, its client area of the given size,
    // centred on the screen, hidden until shown.
    TForm(const AnsiString& caption, int clientWidth, int clientHeight);
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return handle_; }
    AnsiString Caption() const;

    // Shows the form and runs its message loop until a modal result is set; the other
    // windows of the thread are disabled meanwhile. Returns the modal result.
    int ShowModal();
    int ModalResult() const { return modalResult_; }
    // A result other than mrNone ends ShowModal.
    void SetModalResult(int result) { modalResult_ = result; }
    // As the system menu's close: the modal result becomes mrCancel.
    void Close();

    // A message box owned by the form (MessageBoxA flags); returns the button pressed.
    int ShowMessageBox(const AnsiString& text, const AnsiString& caption, UINT flags) const;

    // With key preview on, the form sees every typed character before its controls.
    bool KeyPreview = false;
    TKeyPressEvent OnKeyPress;
    // Runs when ShowModal starts, before the form becomes visible.
    TNotifyEvent OnShow;

    // Moves the focus to the next (or previous) control that takes it, in creation order.
    void SelectNext(const TWinControl* current, bool forward);

private:
    friend class TWinControl;
    static LRESULT CALLBACK FormProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs an event handler; a failure shows its message as the runtime does.
    void Dispatch(const std::function<void()>& handler) const;
    void PreviewKey(char& key);

    HWND handle_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::vector<TWinControl*> controls_;
    int modalResult_ = mrNone;
};

}  // namespace platform
