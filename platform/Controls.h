// The standard controls of the runtime's forms over the Win32 ones: edit, button, list
// box and drop-down list. Used by the directory chooser and the Oracle log-on dialogs.
#pragma once

#include "Forms.h"
#include "StringList.h"

namespace platform {

// A one-line edit field.
class TEdit : public TWinControl {
public:
    explicit TEdit(TComponent* owner);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    AnsiString Text() const { return WindowText(); }
    void SetText(const AnsiString& text) { PutWindowText(text); }
    // The caret position (characters before it); setting it clears the selection.
    int SelStart() const;
    void SetSelStart(int position);
    // Password fields show this character instead of the text (0: plain).
    void SetPasswordChar(char c);

    // The text changed, by typing, pasting or SetText.
    TNotifyEvent OnChange;

protected:
    void Notify(WORD code) override;
};

// A push button; Enter on the focused button presses it, as a click does.
class TButton : public TWinControl {
public:
    explicit TButton(TComponent* owner);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    AnsiString Caption() const { return WindowText(); }
    void SetCaption(const AnsiString& caption) { PutWindowText(caption); }
    // Presses the button as a click does.
    void Click();

    TNotifyEvent OnClick;

protected:
    void Notify(WORD code) override;
    void KeyPress(char& key) override;
};

// Lines of a list shown in a list box or a drop-down list; the control keeps the texts.
class TListControl : public TWinControl {
public:
    int Count() const;
    AnsiString Item(int index) const;
    void Clear();
    int Add(const AnsiString& item);
    void Assign(const TStrings& items);
    // The selected line, -1 for none.
    int ItemIndex() const;
    void SetItemIndex(int index);

protected:
    struct Messages {
        UINT count, getTextLength, getText, reset, add, getSelection, setSelection;
    };
    TListControl(TComponent* owner, const char* windowClass, DWORD style, DWORD exStyle, const Messages& messages);

private:
    Messages messages_;
};

// A list box; a double click (or Enter) opens the selected line.
class TListBox : public TListControl {
public:
    explicit TListBox(TComponent* owner);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TNotifyEvent OnClick;     // the selection changed
    TNotifyEvent OnDblClick;  // a line was opened

protected:
    void Notify(WORD code) override;
    void KeyPress(char& key) override;
};

// A drop-down list the user can only pick from.
class TComboBox : public TListControl {
public:
    explicit TComboBox(TComponent* owner);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // The user picked another line.
    TNotifyEvent OnChange;

protected:
    void Notify(WORD code) override;
};

}  // namespace platform
