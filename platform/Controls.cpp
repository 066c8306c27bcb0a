#include "Controls.h"

#include <algorithm>

namespace platform {

// ---- TEdit ----

TEdit::TEdit(TComponent* owner)
    : TWinControl(owner, "EDIT", ES_AUTOHSCROLL | ES_LEFT | WS_TABSTOP, WS_EX_CLIENTEDGE) {}

const TClassInfo& TEdit::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TEdit>("TEdit", &TWinControl::StaticClassInfo());
        i.Property("Text", &TEdit::Text, &TEdit::SetText);
        return i;
    }();
    return info;
}

int TEdit::SelStart() const {
    DWORD start = 0, end = 0;
    Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}

void TEdit::SetSelStart(int position) { Send(EM_SETSEL, static_cast<WPARAM>(position), position); }

void TEdit::SetPasswordChar(char c) {
    Send(EM_SETPASSWORDCHAR, static_cast<unsigned char>(c));
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TEdit::Notify(WORD code) {
    if (code == EN_CHANGE && OnChange) OnChange();
}

// ---- TButton ----

TButton::TButton(TComponent* owner) : TWinControl(owner, "BUTTON", BS_PUSHBUTTON | WS_TABSTOP) {}

const TClassInfo& TButton::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TButton>("TButton", &TWinControl::StaticClassInfo());
        i.Property("Caption", &TButton::Caption, &TButton::SetCaption);
        return i;
    }();
    return info;
}

void TButton::Click() {
    if (OnClick) OnClick();
}

void TButton::Notify(WORD code) {
    if (code == BN_CLICKED) Click();
}

void TButton::KeyPress(char& key) {
    TWinControl::KeyPress(key);
    if (key != '\r') return;
    key = 0;
    Click();
}

// ---- TListControl ----

TListControl::TListControl(TComponent* owner, const char* windowClass, DWORD style, DWORD exStyle,
                           const Messages& messages)
    : TWinControl(owner, windowClass, style, exStyle), messages_(messages) {}

int TListControl::Count() const { return static_cast<int>(Send(messages_.count)); }

AnsiString TListControl::Item(int index) const {
    const LRESULT length = Send(messages_.getTextLength, static_cast<WPARAM>(index));
    if (length < 0) throw EStringListError("List index out of bounds (" + IntToStr(index) + ")");
    AnsiString text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT got = Send(messages_.getText, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max<LRESULT>(got, 0)));
    return text;
}

void TListControl::Clear() { Send(messages_.reset); }

int TListControl::Add(const AnsiString& item) {
    return static_cast<int>(Send(messages_.add, 0, reinterpret_cast<LPARAM>(item.c_str())));
}

void TListControl::Assign(const TStrings& items) {
    Clear();
    for (int i = 0; i < items.Count(); ++i) Add(items[i]);
}

int TListControl::ItemIndex() const { return static_cast<int>(Send(messages_.getSelection)); }

void TListControl::SetItemIndex(int index) { Send(messages_.setSelection, static_cast<WPARAM>(index)); }

// ---- TListBox ----

TListBox::TListBox(TComponent* owner)
    : TListControl(owner, "LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                   {LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_RESETCONTENT, LB_ADDSTRING, LB_GETCURSEL,
                    LB_SETCURSEL}) {}

const TClassInfo& TListBox::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TListBox>("TListBox", &TWinControl::StaticClassInfo());
    return info;
}

void TListBox::Notify(WORD code) {
    if (code == LBN_SELCHANGE && OnClick) OnClick();
    if (code == LBN_DBLCLK && OnDblClick) OnDblClick();
}

void TListBox::KeyPress(char& key) {
    TWinControl::KeyPress(key);
    if (key == '\r') {
        key = 0;
        if (OnDblClick) OnDblClick();
    }
}

// ---- TComboBox ----

TComboBox::TComboBox(TComponent* owner)
    : TListControl(owner, "COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0,
                   {CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_RESETCONTENT, CB_ADDSTRING, CB_GETCURSEL,
                    CB_SETCURSEL}) {}

const TClassInfo& TComboBox::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TComboBox>("TComboBox", &TWinControl::StaticClassInfo());
    return info;
}

void TComboBox::Notify(WORD code) {
    if (code == CBN_SELCHANGE && OnChange) OnChange();
}

}  // namespace platform
