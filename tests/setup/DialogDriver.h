// Drives the dialogs an export shows, the way a user would, from a thread of its own:
// it finds the windows of the thread that runs the export, types, presses buttons and
// answers message boxes through window messages. Once its script ends (or fails) it closes
// whatever the export still shows, so a dialog never blocks the test run.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class DialogDriver {
public:
    // A top-level window of the export's thread with this caption, visible; waits for it.
    HWND Window(const std::string& caption);
    // A visible top-level window of the export's thread of this window class ("#32770" for
    // message boxes and the shell's dialogs); waits for it.
    HWND WindowOfClass(const char* windowClass);
    // The index-th child of the window class ("Edit", "Button", "ListBox", "ComboBox").
    HWND Child(HWND parent, const char* windowClass, int index = 0);
    // The button with this caption.
    HWND Button(HWND parent, const std::string& caption);

    std::string Text(HWND window);
    // Sets the text as a paste does (the control reports the change).
    void SetText(HWND edit, const std::string& text);
    // Types one character into the control (queued: it may open a message box).
    void Type(HWND control, char c);
    // Presses the button (queued).
    void Click(HWND button);
    // Chooses the line of a drop-down list as the user does (queued).
    void Choose(HWND combo, int index);

    // The text of a message box, and pressing one of its buttons (IDOK, IDYES, IDNO...).
    std::string MessageText(HWND box);
    void Answer(HWND box, int buttonId);

    // Waits for the message box of that caption, presses its OK button, waits until it is
    // gone and returns its text.
    std::string Acknowledge(const std::string& caption);

    // Waits until the export's thread has taken from its queue every message posted to its
    // windows before this call, and so handled them (unless one opened a modal loop): a
    // marker posted to the window behind them is taken after them. A sent message would not
    // do, as the thread handles sent messages before posted ones.
    void Settle(HWND window);

    // Waits until the condition holds (or fails the script).
    void WaitUntil(const std::function<bool()>& condition, const char* what);

    // The export's thread id: set by Run.
    DWORD target = 0;
};

// Runs `call` on this thread while `script` drives its dialogs from another one. Returns
// the script's failure ("" when it ran through).
std::string RunWithDialogs(const std::function<void(DialogDriver&)>& script, const std::function<void()>& call);
