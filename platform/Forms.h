// TForm and TWinControl: the runtime's forms over plain Win32 windows. A form is a
// component and a top-level window with a dialog frame, shown modally in a message loop of
// its own; its controls are components it owns and Win32 child windows whose keys and
// notifications reach event handlers. Forms and controls have published properties, so a
// form can be built from a form description (FormReader.h). Used by the directory chooser
// and the Oracle log-on and connect dialogs.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "Classes.h"
#include "SysUtils.h"

namespace platform {

// What ended a modal form; the values are the message-box results of the same meaning.
enum TModalResult : int { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrYes = IDYES, mrNo = IDNO };

using TNotifyEvent = std::function<void()>;
// A typed character; the handler may change it, or set it to 0 to swallow it.
using TKeyPressEvent = std::function<void(char& key)>;

class TForm;

class TWinControl : public TComponent {
public:
    ~TWinControl() override;

    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    HWND Handle() const { return handle_; }
    // The form that owns the control; its window is the control's parent.
    TForm& Form() const { return *form_; }
    // Position and size in the form's client area.
    void SetBounds(int left, int top, int width, int height);
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
    void SetTop(int top) { SetBounds(left_, top, width_, height_); }
    void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
    void SetHeight(int height) { SetBounds(left_, top_, width_, height); }
    void SetFocus();
    bool Focused() const;
    bool Enabled() const;
    void SetEnabled(bool enabled);
    // Colours of a static or read-only control (labels, panels, read-only edits): the text
    // colour (CLR_INVALID: the system's) and a system colour index for the background (-1:
    // the system's).
    void SetColors(COLORREF text, int backgroundSysColor = -1);

    TKeyPressEvent OnKeyPress;

protected:
    // The owner must be a form: EComponentError otherwise.
    TWinControl(TComponent* owner, const char* windowClass, DWORD style, DWORD exStyle = 0);

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

    TForm* form_;
    HWND handle_ = nullptr;
    WNDPROC defaultProc_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    COLORREF textColor_ = CLR_INVALID;
    int backgroundSysColor_ = -1;
};

class TForm : public TComponent {
public:
    // A form with a dialog frame and a system menu, hidden until shown; its window is
    // kept centred on the screen as its client area changes size.
    explicit TForm(TComponent* owner);
    ~TForm() override;

    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    HWND Handle() const { return handle_; }
    AnsiString Caption() const;
    void SetCaption(const AnsiString& caption);
    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }
    void SetClientWidth(int width);
    void SetClientHeight(int height);

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

    // A sizeable form has a frame the user drags and the minimise and maximise boxes; a
    // dialog frame (the default) has neither.
    bool Sizeable() const;
    void SetSizeable(bool sizeable);

    // With key preview on, the form sees every typed character before its controls.
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool on) { keyPreview_ = on; }
    TKeyPressEvent OnKeyPress;
    // Runs when ShowModal starts, before the form becomes visible.
    TNotifyEvent OnShow;
    // Runs when the client area changed its size (the new size in ClientRect).
    TNotifyEvent OnResize;
    RECT ClientRect() const;

    // Moves the focus to the next (or previous) control that takes it, in creation order.
    void SelectNext(const TWinControl* current, bool forward);

private:
    friend class TWinControl;
    static LRESULT CALLBACK FormProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs an event handler; a failure shows its message as the runtime does.
    void Dispatch(const std::function<void()>& handler) const;
    void PreviewKey(char& key);

    void PlaceWindow();

    HWND handle_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::vector<TWinControl*> controls_;
    int modalResult_ = mrNone;
    int clientWidth_ = 0, clientHeight_ = 0;
    bool keyPreview_ = false;
};

// The module (program or DLL) the platform is linked into: its forms' window class and
// the form descriptions in its resources belong to it.
HINSTANCE HInstance();
// Whether the code runs in the program itself rather than in a DLL it loaded.
bool ModuleIsProgram();

// Makes the form and control classes known to form descriptions; the module's start and
// stop call these.
void RegisterFormClasses();
void UnregisterFormClasses();

}  // namespace platform
